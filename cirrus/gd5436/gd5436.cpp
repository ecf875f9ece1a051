// Placeholder until the gd5436 source lands: binding only.
#include "driver.h"

#define DRV_CAT2(a, b) a##b
#define DRV_CAT(a, b) DRV_CAT2(a, b)
#define DRV_STR2(a) #a
#define DRV_STR(a) DRV_STR2(a)

static Bool Setup(int, ScreenConfig *config) {
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}
static Bool Init(int, ScreenPtr, int, char **) { return 0; }

extern "C" DRV_EXPORT ScreenInfo DRV_CAT(DRV_NAME, ScreenInfo) = {Setup, Init, DRV_STR(DRV_NAME),
                                                                 {}};
