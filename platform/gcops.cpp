// The server's GC operations that a driver may put in the X GC's operation
// vector itself (gcops.h): the frame-buffer layer's, the machine-independent
// ones and mfbPushPixels. Each logs its call with its arguments in slot
// order (server::genCalls, under its own name): a test asserts which routine
// a vector hands a request to, and with what. The spans, points and thin
// lines a solid-filled GC reaches also draw, in software through the
// reference renderer and the window's image slots as the generic routines
// do, clipped to the GC's composite clip; the others draw nothing.
#include "gcops.h"

#include <algorithm>
#include <climits>

#include "refrender.h"
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

// A bounding box grown point by point (screen coordinates, x2 and y2
// exclusive), cut to the clip's extent when drawn.
struct Bounds {
    int x1 = INT_MAX, y1 = INT_MAX, x2 = INT_MIN, y2 = INT_MIN;
    void add(int x, int y) {
        x1 = std::min(x1, x);
        y1 = std::min(y1, y);
        x2 = std::max(x2, x + 1);
        y2 = std::max(y2, y + 1);
    }
};

// Draws a solid-filled GC's request on a window through the renderer: only
// a GC whose fill is solid has the layer's meaning of these routines here.
template <class Draw> void drawLines(GCPtr gc, DrawablePtr d, const Bounds &b, Draw &&draw) {
    if (!gc || !d || gc->fillStyle != FillSolid || b.x2 <= b.x1 || b.y2 <= b.y1)
        return;
    const ref::LineValues v = ref::lineValuesOf(gc, d);
    Bounds cut;
    for (const BoxRec &box : v.clip) {
        cut.add(box.x1, box.y1);
        cut.add(box.x2 - 1, box.y2 - 1);
    }
    const int x1 = std::max(b.x1, cut.x1), y1 = std::max(b.y1, cut.y1);
    const int x2 = std::min(b.x2, cut.x2), y2 = std::min(b.y2, cut.y2);
    server::drawThroughWindow(d, x1, y1, x2, y2, [&](ref::Canvas &c) { draw(c, v); });
}

Bounds pointBounds(DrawablePtr d, int mode, const DDXPointRec *pts, int n) {
    Bounds b;
    int x = 0, y = 0;
    for (int i = 0; pts && i < n; i++) {
        if (mode == CoordModePrevious && i > 0) {
            x += pts[i].x;
            y += pts[i].y;
        } else {
            x = pts[i].x;
            y = pts[i].y;
        }
        b.add(d->x + x, d->y + y);
    }
    return b;
}

void polyline(const char *name, DrawablePtr d, GCPtr gc, int mode, int n, DDXPointPtr pts) {
    logCall(name, {arg(d), arg(gc), arg(mode), arg(n), arg(pts)});
    drawLines(gc, d, pointBounds(d, mode, pts, n), [&](ref::Canvas &c, const ref::LineValues &v) {
        ref::polylines(c, v, mode, pts, n);
    });
}

void segments(const char *name, DrawablePtr d, GCPtr gc, int n, xSegment *segs) {
    logCall(name, {arg(d), arg(gc), arg(n), arg(segs)});
    Bounds b;
    for (int i = 0; segs && i < n; i++) {
        b.add(d->x + segs[i].x1, d->y + segs[i].y1);
        b.add(d->x + segs[i].x2, d->y + segs[i].y2);
    }
    drawLines(gc, d, b,
              [&](ref::Canvas &c, const ref::LineValues &v) { ref::polySegment(c, v, segs, n); });
}

void rectangles(const char *name, DrawablePtr d, GCPtr gc, int n, xRectangle *rects) {
    logCall(name, {arg(d), arg(gc), arg(n), arg(rects)});
    Bounds b;
    for (int i = 0; rects && i < n; i++) {
        b.add(d->x + rects[i].x, d->y + rects[i].y);
        b.add(d->x + rects[i].x + rects[i].width, d->y + rects[i].y + rects[i].height);
    }
    drawLines(gc, d, b, [&](ref::Canvas &c, const ref::LineValues &v) {
        ref::polyRectangle(c, v, rects, n);
    });
}

// A text call's result: the x after the last character, as the server's
// text routines return it; the stand-in knows no glyph widths and returns x.
#define TEXT_X x
#define VOID_RESULT

} // namespace

extern "C" {

// Spans come in screen coordinates, as the machine-independent routines
// hand them on.
void nfbFillSpans(DrawablePtr d, GCPtr gc, int n, DDXPointPtr pts, int *widths, int sorted) {
    logCall("nfbFillSpans", {arg(d), arg(gc), arg(n), arg(pts), arg(widths), arg(sorted)});
    Bounds b;
    for (int i = 0; pts && widths && i < n; i++)
        if (widths[i] > 0) {
            b.add(pts[i].x, pts[i].y);
            b.add(pts[i].x + widths[i] - 1, pts[i].y);
        }
    drawLines(gc, d, b, [&](ref::Canvas &c, ref::LineValues v) {
        v.origin = {0, 0};
        ref::clippedSpans(c, v, pts, widths, n);
    });
}

void nfbPolyPoint(DrawablePtr d, GCPtr gc, int mode, int n, DDXPointPtr pts) {
    logCall("nfbPolyPoint", {arg(d), arg(gc), arg(mode), arg(n), arg(pts)});
    drawLines(gc, d, pointBounds(d, mode, pts, n), [&](ref::Canvas &c, const ref::LineValues &v) {
        ref::polyPoint(c, v, mode, pts, n);
    });
}

void nfbLineSS(DrawablePtr d, GCPtr gc, int mode, int n, DDXPointPtr pts) {
    polyline("nfbLineSS", d, gc, mode, n, pts);
}

void nfbLineSD(DrawablePtr d, GCPtr gc, int mode, int n, DDXPointPtr pts) {
    polyline("nfbLineSD", d, gc, mode, n, pts);
}

void nfbSegmentSS(DrawablePtr d, GCPtr gc, int n, xSegment *segs) {
    segments("nfbSegmentSS", d, gc, n, segs);
}

void nfbSegmentSD(DrawablePtr d, GCPtr gc, int n, xSegment *segs) {
    segments("nfbSegmentSD", d, gc, n, segs);
}

void nfbPolyRectangle(DrawablePtr d, GCPtr gc, int n, xRectangle *rects) {
    rectangles("nfbPolyRectangle", d, gc, n, rects);
}

void miPolyRectangle(DrawablePtr d, GCPtr gc, int n, xRectangle *rects) {
    rectangles("miPolyRectangle", d, gc, n, rects);
}

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

LIST_PROC(nfbPolyFillRect, xRectangle)
GLYPH_PROC(nfbImageGlyphBlt)
PUSH_PROC(nfbPushPixels)
LIST_PROC(nfbZeroPolyArc, xArc)
GLYPH_PROC(nfbSolidPolyGlyphBlt)
TEXT_PROC(int, nfbPolyTEText8, char, TEXT_X)
TEXT_PROC(void, nfbImageTEText8, char, VOID_RESULT)

POINTS_PROC(miWideLine)
POINTS_PROC(miWideDash)
POINTS_PROC(miZeroLine)
LIST_PROC(miPolySegment, xSegment)
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
