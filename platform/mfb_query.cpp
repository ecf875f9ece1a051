// The monochrome frame buffer's QueryBestSize, which drivers hand the
// queries they do not answer themselves. It is logged like the generic
// routines; the sizes stay as asked (the stand-in has no size limits).
#include "server.h"

using server::arg;

extern "C" void mfbQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    server::logGenCall({"mfbQueryBestSize", {arg(cls), arg(width), arg(height), arg(pScreen)}});
}
