// The server's GC operations that a driver may put in the X GC's operation
// vector itself (gcops.h): the frame-buffer layer's, the machine-independent
// ones and mfbPushPixels. Each logs its call with its arguments in slot
// order (server::genCalls, under its own name) and draws nothing: a test
// asserts which routine a vector hands a request to, and with what.
#include "gcops.h"

#include "server.h"

namespace {

using server::arg;

uint64_t argU(unsigned int v) {
    return v;
}

void logCall(const char *name, std::vector<uint64_t> args) {
    server::logGenCall({name, std::move(args)});
}

// The routines of one signature, by name.
#define SPANS_PROC(name)                                                                           \
    void name(DrawablePtr d, GCPtr gc, int n, DDXPointPtr pts, int *widths, int sorted) {          \
        logCall(#name, {arg(d), arg(gc), arg(n), arg(pts), arg(widths), arg(sorted)});             \
    }
#define POINTS_PROC(name)                                                                          \
    void name(DrawablePtr d, GCPtr gc, int mode, int n, DDXPointPtr pts) {                         \
        logCall(#name, {arg(d), arg(gc), arg(mode), arg(n), arg(pts)});                            \
    }
#define LIST_PROC(name, type)                                                                      \
    void name(DrawablePtr d, GCPtr gc, int n, type *list) {                                        \
        logCall(#name, {arg(d), arg(gc), arg(n), arg(list)});                                      \
    }
#define GLYPH_PROC(name)                                                                           \
    void name(DrawablePtr d, GCPtr gc, int x, int y, unsigned int n, CharInfoPtr *glyphs,          \
              void *base) {                                                                        \
        logCall(#name, {arg(d), arg(gc), arg(x), arg(y), argU(n), arg(glyphs), arg(base)});        \
    }
#define TEXT_PROC(ret, name, type, result)                                                         \
    ret name(DrawablePtr d, GCPtr gc, int x, int y, int count, type *chars) {                      \
        logCall(#name, {arg(d), arg(gc), arg(x), arg(y), arg(count), arg(chars)});                 \
        return result;                                                                             \
    }
#define PUSH_PROC(name)                                                                            \
    void name(GCPtr gc, PixmapPtr bitmap, DrawablePtr d, int w, int h, int x, int y) {             \
        logCall(#name, {arg(gc), arg(bitmap), arg(d), arg(w), arg(h), arg(x), arg(y)});            \
    }
#define POLYGON_PROC(name)                                                                         \
    void name(DrawablePtr d, GCPtr gc, int shape, int mode, int n, DDXPointPtr pts) {              \
        logCall(#name, {arg(d), arg(gc), arg(shape), arg(mode), arg(n), arg(pts)});                \
    }

// A text call's result: the x after the last character, as the server's
// text routines return it; the stand-in knows no glyph widths and returns x.
#define TEXT_X x
#define VOID_RESULT

} // namespace

extern "C" {

SPANS_PROC(nfbFillSpans)

void nfbSetSpans(DrawablePtr d, GCPtr gc, char *src, DDXPointPtr pts, int *widths, int n,
                 int sorted) {
    logCall("nfbSetSpans", {arg(d), arg(gc), arg(src), arg(pts), arg(widths), arg(n), arg(sorted)});
}

void nfbPutImage(DrawablePtr d, GCPtr gc, int depth, int x, int y, int w, int h, int leftPad,
                 int format, char *bits) {
    logCall("nfbPutImage", {arg(d), arg(gc), arg(depth), arg(x), arg(y), arg(w), arg(h),
                            arg(leftPad), arg(format), arg(bits)});
}

RegionPtr nfbCopyArea(DrawablePtr src, DrawablePtr dst, GCPtr gc, int srcx, int srcy, int w, int h,
                      int dstx, int dsty) {
    logCall("nfbCopyArea", {arg(src), arg(dst), arg(gc), arg(srcx), arg(srcy), arg(w), arg(h),
                            arg(dstx), arg(dsty)});
    return nullptr;
}

RegionPtr nfbCopyPlane(DrawablePtr src, DrawablePtr dst, GCPtr gc, int srcx, int srcy, int w, int h,
                       int dstx, int dsty, uint32_t bitPlane) {
    logCall("nfbCopyPlane", {arg(src), arg(dst), arg(gc), arg(srcx), arg(srcy), arg(w), arg(h),
                             arg(dstx), arg(dsty), arg(bitPlane)});
    return nullptr;
}

POINTS_PROC(nfbPolyPoint)
LIST_PROC(nfbPolyFillRect, xRectangle)
GLYPH_PROC(nfbImageGlyphBlt)
PUSH_PROC(nfbPushPixels)
POINTS_PROC(nfbLineSS)
LIST_PROC(nfbSegmentSS, xSegment)
LIST_PROC(nfbPolyRectangle, xRectangle)
POINTS_PROC(nfbLineSD)
LIST_PROC(nfbSegmentSD, xSegment)
LIST_PROC(nfbZeroPolyArc, xArc)
GLYPH_PROC(nfbSolidPolyGlyphBlt)
TEXT_PROC(int, nfbPolyTEText8, char, TEXT_X)
TEXT_PROC(void, nfbImageTEText8, char, VOID_RESULT)

POINTS_PROC(miWideLine)
POINTS_PROC(miWideDash)
POINTS_PROC(miZeroLine)
LIST_PROC(miPolySegment, xSegment)
LIST_PROC(miPolyRectangle, xRectangle)
LIST_PROC(miPolyArc, xArc)
LIST_PROC(miZeroPolyArc, xArc)
POLYGON_PROC(miFillPolygon)
LIST_PROC(miPolyFillArc, xArc)
TEXT_PROC(int, miPolyText8, char, TEXT_X)
TEXT_PROC(int, miPolyText16, uint16_t, TEXT_X)
TEXT_PROC(void, miImageText8, char, VOID_RESULT)
TEXT_PROC(void, miImageText16, uint16_t, VOID_RESULT)
GLYPH_PROC(miPolyGlyphBlt)

void miMiter(void) {
    logCall("miMiter", {});
}

PUSH_PROC(mfbPushPixels)

} // extern "C"
