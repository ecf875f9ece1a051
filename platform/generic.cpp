// The server's generic drawing routines: what a driver's slot falls back to.
//
// Each routine logs its call (server::genCalls) and then really draws, in
// software, through the window's own ReadImage and DrawImage slots: it reads
// the affected part of the screen into a canvas, applies the reference
// renderer's version of the slot and writes the part back with GXcopy and an
// all-ones plane mask. A fallback therefore leaves correct pixels whatever the
// adapter's memory layout, and may call the driver's other slots, as the
// real layer's routines do.
#include <algorithm>

#include "refrender.h"
#include "server.h"

using server::arg;

namespace {

// The part of the screen a call (or one item of it) touches, grown point by
// point.
struct Area {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0; // x2, y2 exclusive
    bool any = false;
    void add(int ax1, int ay1, int ax2, int ay2) {
        if (ax2 <= ax1 || ay2 <= ay1)
            return;
        if (!any) {
            *this = {ax1, ay1, ax2, ay2, true};
            return;
        }
        x1 = std::min(x1, ax1);
        y1 = std::min(y1, ay1);
        x2 = std::max(x2, ax2);
        y2 = std::max(y2, ay2);
    }
    void add(const BoxRec &b) { add(b.x1, b.y1, b.x2, b.y2); }
    void addPoint(int x, int y) { add(x, y, x + 1, y + 1); }
};

int clientBytes(int bitsPerPixel) {
    return bitsPerPixel <= 8 ? 1 : bitsPerPixel <= 16 ? 2 : 4;
}

uint32_t depthMask(int depth) {
    return depth >= 32 ? ~0u : (1u << depth) - 1;
}

// The screen-sized canvas the routines work in; only the touched area of it is
// read from and written back to the screen.
ref::Canvas &scratch(int width, int height, int bytesPerPixel, int depth) {
    static ref::Canvas canvas;
    if (canvas.width != width || canvas.height != height || canvas.bytesPerPixel != bytesPerPixel ||
        canvas.depth != depth)
        canvas = ref::Canvas(width, height, bytesPerPixel, depth);
    return canvas;
}

// Runs `draw` on a canvas holding the screen's pixels over `area`, through
// the window's ReadImage and DrawImage slots.
template <class Draw> void drawThrough(DrawablePtr pDraw, Area area, Draw &&draw) {
    if (!pDraw || pDraw->type != DRAWABLE_WINDOW || !pDraw->pScreen || !area.any)
        return;
    nfbWindowPrivate *wp = NFB_WINDOW_PRIV(reinterpret_cast<WindowPtr>(pDraw));
    if (!wp || !wp->ops || !wp->ops->ReadImage || !wp->ops->DrawImage)
        return;
    ScreenPtr pScreen = pDraw->pScreen;
    area.x1 = std::max(area.x1, 0);
    area.y1 = std::max(area.y1, 0);
    area.x2 = std::min(area.x2, static_cast<int>(pScreen->width));
    area.y2 = std::min(area.y2, static_cast<int>(pScreen->height));
    if (area.x2 <= area.x1 || area.y2 <= area.y1)
        return;
    ref::Canvas &c =
        scratch(pScreen->width, pScreen->height, clientBytes(pDraw->bitsPerPixel), pDraw->depth);
    BoxRec box = {static_cast<int16_t>(area.x1), static_cast<int16_t>(area.y1),
                  static_cast<int16_t>(area.x2), static_cast<int16_t>(area.y2)};
    uint8_t *at = c.bytes.data() + static_cast<size_t>(area.y1) * static_cast<size_t>(c.pitch) +
                  static_cast<size_t>(area.x1) * static_cast<size_t>(c.bytesPerPixel);
    wp->ops->ReadImage(&box, at, c.pitch, pDraw);
    draw(c);
    wp->ops->DrawImage(&box, at, c.pitch, GXcopy, depthMask(pDraw->depth), pDraw);
}

// Runs `draw(canvas, i)` for the items 0 .. count-1 of a call one at a time,
// each over its own area (`areaOf(i)`). The items of a call take effect in
// order, so drawing them one by one leaves what drawing them together does,
// and only the pixels an item covers travel through the driver's image slots.
template <class AreaOf, class Draw>
void drawEach(DrawablePtr pDraw, int count, AreaOf &&areaOf, Draw &&draw) {
    for (int i = 0; i < count; i++)
        drawThrough(pDraw, areaOf(i), [&](ref::Canvas &c) { draw(c, i); });
}

// The GC's fill values as the frame-buffer layer holds them, for one style.
ref::GCValues valuesOf(GCPtr pGC, int style) {
    ref::GCValues v;
    const nfbGCPrivate *p = NFB_GC_PRIV(pGC);
    v.fillStyle = style;
    v.alu = p->alu;
    v.planemask = p->planemask;
    v.fg = p->fgPixel;
    v.bg = p->bgPixel;
    v.patOrg = p->patOrg;
    if (const PixmapRec *t = pGC->tile) {
        v.tile = static_cast<const uint8_t *>(t->devPrivate);
        v.tileStride = t->devKind;
        v.tileWidth = t->drawable.width;
        v.tileHeight = t->drawable.height;
    }
    if (const PixmapRec *s = pGC->stipple) {
        v.stipple = static_cast<const uint8_t *>(s->devPrivate);
        v.stippleStride = s->devKind;
        v.stippleWidth = s->drawable.width;
        v.stippleHeight = s->drawable.height;
    }
    return v;
}

// A style whose pattern is missing draws nothing rather than reading through
// a null pointer.
bool patternPresent(const ref::GCValues &v) {
    if (v.fillStyle == FillTiled)
        return v.tile && v.tileWidth > 0 && v.tileHeight > 0;
    if (v.fillStyle == FillStippled || v.fillStyle == FillOpaqueStippled)
        return v.stipple && v.stippleWidth > 0 && v.stippleHeight > 0;
    return true;
}

Area boxArea(const BoxRec &box) {
    Area a;
    a.add(box);
    return a;
}

Area spanArea(DDXPointRec start, int width) {
    Area a;
    a.add(start.x, start.y, start.x + width, start.y + 1);
    return a;
}

void addSegment(Area &a, int x, int y, int signdx, int signdy, int axis, int e, int e1, int e2,
                int len) {
    for (int i = 0; i < len; i++) {
        a.addPoint(x, y);
        if (e > 0) {
            x += signdx;
            y += signdy;
            e += e2;
        } else {
            if (axis == 0)
                x += signdx;
            else
                y += signdy;
            e += e1;
        }
    }
}

void fillRects(const char *name, int style, GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    server::logGenCall({name, {arg(pGC), arg(pDraw), arg(boxes), arg(count)}});
    ref::GCValues v = valuesOf(pGC, style);
    if (!patternPresent(v))
        return;
    drawEach(
        pDraw, boxes ? count : 0, [&](int i) { return boxArea(boxes[i]); },
        [&](ref::Canvas &c, int i) { ref::fillRects(c, v, &boxes[i], 1); });
}

void fillSpans(const char *name, int style, GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts,
               int *widths, int count) {
    server::logGenCall({name, {arg(pGC), arg(pDraw), arg(starts), arg(widths), arg(count)}});
    ref::GCValues v = valuesOf(pGC, style);
    if (!patternPresent(v))
        return;
    drawEach(
        pDraw, starts && widths ? count : 0, [&](int i) { return spanArea(starts[i], widths[i]); },
        [&](ref::Canvas &c, int i) { ref::fillSpans(c, v, &starts[i], &widths[i], 1); });
}

void logOnly(const char *name) {
    server::logGenCall({name, {}});
}

Area textArea(const BoxRec *box, int count, int glyphWidth) {
    Area a;
    if (box && count > 0 && glyphWidth > 0)
        a.add(box->x1, box->y1, box->x1 + count * glyphWidth, box->y2);
    return a;
}

} // namespace

void server::drawThroughWindow(DrawablePtr pDraw, int x1, int y1, int x2, int y2,
                               const std::function<void(ref::Canvas &)> &draw) {
    Area a;
    a.add(x1, y1, x2, y2);
    drawThrough(pDraw, a, draw);
}

extern "C" {

// ---- PrivOps: solid ----

void genSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    fillRects("genSolidFillRects", FillSolid, pGC, pDraw, boxes, count);
}

void genSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    fillSpans("genSolidFS", FillSolid, pGC, pDraw, starts, widths, count);
}

void genSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1, int y1,
                     int e, int e1, int e2, int len) {
    server::logGenCall({"genSolidZeroSeg",
                        {arg(pGC), arg(pDraw), arg(signdx), arg(signdy), arg(axis), arg(x1),
                         arg(y1), arg(e), arg(e1), arg(e2), arg(len)}});
    Area a;
    addSegment(a, x1, y1, signdx, signdy, axis, e, e1, e2, len);
    ref::GCValues v = valuesOf(pGC, FillSolid);
    drawThrough(pDraw, a, [&](ref::Canvas &c) {
        ref::zeroSeg(c, v, signdx, signdy, axis, x1, y1, e, e1, e2, len);
    });
}

void genSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    server::logGenCall({"genSolidZeroSegs", {arg(pGC), arg(pDraw), arg(segs), arg(count)}});
    ref::GCValues v = valuesOf(pGC, FillSolid);
    drawEach(
        pDraw, segs ? count : 0,
        [&](int i) {
            const ZeroSegRec &s = segs[i];
            Area a;
            addSegment(a, s.x, s.y, s.signdx, s.signdy, s.axis, s.e, s.e1, s.e2, s.len);
            return a;
        },
        [&](ref::Canvas &c, int i) { ref::zeroSegs(c, v, &segs[i], 1); });
}

void genSolidGCOp4(void) {
    logOnly("genSolidGCOp4");
}
void genSolidGCOp5(void) {
    logOnly("genSolidGCOp5");
}
void genSolidGCOp6(void) {
    logOnly("genSolidGCOp6");
}

// ---- PrivOps: tiled, stippled, opaque stippled ----

void genTiledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    fillRects("genTiledFillRects", FillTiled, pGC, pDraw, boxes, count);
}
void genTiledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    fillSpans("genTiledFS", FillTiled, pGC, pDraw, starts, widths, count);
}
void genTiledGCOp3(void) {
    logOnly("genTiledGCOp3");
}
void genTiledGCOp4(void) {
    logOnly("genTiledGCOp4");
}
void genTiledGCOp5(void) {
    logOnly("genTiledGCOp5");
}
void genTiledGCOp6(void) {
    logOnly("genTiledGCOp6");
}

void genStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    fillRects("genStippledFillRects", FillStippled, pGC, pDraw, boxes, count);
}
void genStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    fillSpans("genStippledFS", FillStippled, pGC, pDraw, starts, widths, count);
}
void genStippledGCOp3(void) {
    logOnly("genStippledGCOp3");
}
void genStippledGCOp4(void) {
    logOnly("genStippledGCOp4");
}
void genStippledGCOp5(void) {
    logOnly("genStippledGCOp5");
}
void genStippledGCOp6(void) {
    logOnly("genStippledGCOp6");
}

void genOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    fillRects("genOpStippledFillRects", FillOpaqueStippled, pGC, pDraw, boxes, count);
}
void genOpStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    fillSpans("genOpStippledFS", FillOpaqueStippled, pGC, pDraw, starts, widths, count);
}
void genOpStippledGCOp3(void) {
    logOnly("genOpStippledGCOp3");
}
void genOpStippledGCOp4(void) {
    logOnly("genOpStippledGCOp4");
}
void genOpStippledGCOp5(void) {
    logOnly("genOpStippledGCOp5");
}
void genOpStippledGCOp6(void) {
    logOnly("genOpStippledGCOp6");
}

// ---- WinOps ----

void genCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    server::logGenCall({"genCopyRect", {arg(dst), arg(src), arg(alu), arg(planemask), arg(pDraw)}});
    if (!dst || !src)
        return;
    Area a;
    a.add(*dst);
    if (a.any) // the source is read too
        a.add(src->x, src->y, src->x + (dst->x2 - dst->x1), src->y + (dst->y2 - dst->y1));
    BoxRec d = *dst;
    DDXPointRec s = *src;
    drawThrough(pDraw, a, [&](ref::Canvas &c) { ref::copyRect(c, d, s, alu, planemask); });
}

void genDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                       DrawablePtr pDraw) {
    server::logGenCall({"genDrawSolidRects",
                        {arg(boxes), arg(count), arg(fg), arg(alu), arg(planemask), arg(pDraw)}});
    drawEach(
        pDraw, boxes ? count : 0, [&](int i) { return boxArea(boxes[i]); },
        [&](ref::Canvas &c, int i) { ref::drawSolidRects(c, &boxes[i], 1, fg, alu, planemask); });
}

void genDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                      uint32_t planemask, DrawablePtr pDraw) {
    server::logGenCall({"genDrawMonoImage",
                        {arg(box), arg(bits), arg(startBit), arg(stride), arg(fg), arg(alu),
                         arg(planemask), arg(pDraw)}});
    if (!box || !bits)
        return;
    drawThrough(pDraw, boxArea(*box), [&](ref::Canvas &c) {
        ref::drawMonoImage(c, *box, bits, startBit, stride, fg, alu, planemask);
    });
}

void genDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                            int alu, uint32_t planemask, DrawablePtr pDraw) {
    server::logGenCall({"genDrawOpaqueMonoImage",
                        {arg(box), arg(bits), arg(startBit), arg(stride), arg(fg), arg(bg),
                         arg(alu), arg(planemask), arg(pDraw)}});
    if (!box || !bits)
        return;
    drawThrough(pDraw, boxArea(*box), [&](ref::Canvas &c) {
        ref::drawOpaqueMonoImage(c, *box, bits, startBit, stride, fg, bg, alu, planemask);
    });
}

void genDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                   DrawablePtr pDraw) {
    server::logGenCall({"genDrawPoints",
                        {arg(points), arg(count), arg(fg), arg(alu), arg(planemask), arg(pDraw)}});
    drawEach(
        pDraw, points ? count : 0,
        [&](int i) {
            Area a;
            a.addPoint(points[i].x, points[i].y);
            return a;
        },
        [&](ref::Canvas &c, int i) { ref::drawPoints(c, &points[i], 1, fg, alu, planemask); });
}

void genTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                  int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                  DrawablePtr pDraw) {
    server::logGenCall({"genTileRects",
                        {arg(boxes), arg(count), arg(tile), arg(tileStride), arg(tileWidth),
                         arg(tileHeight), arg(patOrg), arg(alu), arg(planemask), arg(pDraw)}});
    if (!tile || tileWidth <= 0 || tileHeight <= 0)
        return;
    DDXPointRec org = patOrg ? *patOrg : DDXPointRec{0, 0};
    drawEach(
        pDraw, boxes ? count : 0, [&](int i) { return boxArea(boxes[i]); },
        [&](ref::Canvas &c, int i) {
            ref::tileRects(c, &boxes[i], 1, tile, tileStride, tileWidth, tileHeight, org, alu,
                           planemask);
        });
}

void genDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                       nfbFontPrivPtr font, DrawablePtr pDraw) {
    server::logGenCall(
        {"genDrawMonoGlyphs",
         {arg(glyphs), arg(count), arg(fg), arg(alu), arg(planemask), arg(font), arg(pDraw)}});
    drawEach(
        pDraw, glyphs ? count : 0, [&](int i) { return boxArea(glyphs[i].box); },
        [&](ref::Canvas &c, int i) { ref::drawMonoGlyphs(c, &glyphs[i], 1, fg, alu, planemask); });
}

void genDrawFontText(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg, Pixel bg,
                     int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    server::logGenCall({"genDrawFontText",
                        {arg(box), arg(chars), arg(count), arg(font), arg(fg), arg(bg), arg(alu),
                         arg(planemask), arg(transparent), arg(pDraw)}});
    if (!box || !chars || !font || !font->text8Info || !font->text8Info->usable)
        return;
    const Text8FontInfo &info = *font->text8Info;
    drawThrough(pDraw, textArea(box, count, info.glyphWidth), [&](ref::Canvas &c) {
        ref::drawFontText(c, *box, chars, count, info, fg, bg, alu, planemask, transparent != 0);
    });
}

void genWinOp10(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int fontSlot, Pixel fg,
                Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    server::logGenCall({"genWinOp10",
                        {arg(box), arg(chars), arg(count), arg(glyphWidth), arg(fontSlot), arg(fg),
                         arg(bg), arg(alu), arg(planemask), arg(transparent), arg(pDraw)}});
    if (!box || !chars || !pDraw || !pDraw->pScreen)
        return;
    const Text8FontInfo *downloaded = server::text8FontInSlot(pDraw->pScreen, fontSlot);
    if (!downloaded)
        return;
    // Cells are as wide as the call says.
    Text8FontInfo info = *downloaded;
    info.glyphWidth = glyphWidth;
    drawThrough(pDraw, textArea(box, count, glyphWidth), [&](ref::Canvas &c) {
        ref::drawFontText(c, *box, chars, count, info, fg, bg, alu, planemask, transparent != 0);
    });
}

void genWinOp11(void) {
    logOnly("genWinOp11");
}
void genWinOp12(void) {
    logOnly("genWinOp12");
}
void genWinOp13(void) {
    logOnly("genWinOp13");
}

void genWinOp14(BoxPtr boxes, int count, DrawablePtr pDraw) {
    server::logGenCall({"genWinOp14", {arg(boxes), arg(count), arg(pDraw)}});
}

} // extern "C"
