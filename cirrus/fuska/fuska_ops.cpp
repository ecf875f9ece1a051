/*
 * fuska: the choice of a GC's operations record, and the operations the 2D
 * engine does by itself (rectangle copy, solid rectangles, spans, points),
 * with the zero-width segments the processor stores into the frame buffer.
 */
#include "fuska.h"

void fuska_8bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void fuska_16bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void fuska_24bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
static void fuskaSolidFillRects(GCPtr, DrawablePtr, BoxPtr, int);
static void fuskaSolidFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);

/* The solid record in four forms that differ in slot three only: segments
 * are stored by the processor for GXcopy under a full plane mask, and drawn
 * by the generic routine otherwise. */
#define FUSKA_SOLID_OPS(zeroSegs)                                                                  \
    {                                                                                              \
        fuskaSolidFillRects, fuskaSolidFS, {.ZeroSegs = zeroSegs}, genSolidGCOp4, genSolidGCOp5,   \
            genSolidGCOp6                                                                          \
    }

PrivOps fuskaSolidPrivOps = FUSKA_SOLID_OPS(genSolidZeroSegs);
static PrivOps fuskaSolidPrivOps8 = FUSKA_SOLID_OPS(fuska_8bppSolidZeroSegs);
static PrivOps fuskaSolidPrivOps16 = FUSKA_SOLID_OPS(fuska_16bppSolidZeroSegs);
static PrivOps fuskaSolidPrivOps24 = FUSKA_SOLID_OPS(fuska_24bppSolidZeroSegs);

PrivOps fuskaPlanemaskSolidPrivOps = {
    genSolidFillRects, genSolidFS,    {.ZeroSegs = genSolidZeroSegs},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps fuskaTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                             genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps fuskaStippledPrivOps = {genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
                                genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps fuskaOpStippledPrivOps = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

static inline uint32_t fuskaRop(int alu) {
    return fuskaRasterOps[alu & 0xF];
}

/* ---- GC validation ---- */

static PrivOps *fuskaSolidOpsFor(int depth, int alu, uint32_t planemask) {
    if (fuskaNeedsFallback(depth, alu, planemask))
        return &fuskaPlanemaskSolidPrivOps;
    uint32_t pixels = fuskaPixelMask(depth);
    if ((alu & 0xFF) != GXcopy || (planemask & pixels) != pixels)
        return &fuskaSolidPrivOps;
    switch (fuskaBytesPerPixel(depth)) {
    case 1:
        return &fuskaSolidPrivOps8;
    case 2:
        return &fuskaSolidPrivOps16;
    default:
        return &fuskaSolidPrivOps24;
    }
}

int fuskaValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFunction | GCPlaneMask | GCFillStyle)) {
        PrivOps *ops;
        switch (pGC->fillStyle) {
        case FillSolid:
            ops = fuskaSolidOpsFor(pDraw->pScreen->rootDepth, pGC->alu, pGC->planemask);
            break;
        case FillTiled:
            ops = &fuskaTiledPrivOps;
            break;
        case FillStippled:
            ops = &fuskaStippledPrivOps;
            break;
        default:
            ops = &fuskaOpStippledPrivOps;
            break;
        }
        NFB_GC_PRIV(pGC)->ops = ops;
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Copies ---- */

/* A copy to the right on the same rows would read pixels it has already
 * written: it goes in strips no wider than the shift, the rightmost first. */
static void fuskaCopyStrips(const fuskaScreenPrivate *priv, int sx, int x1, int row, int w, int h) {
    int d = x1 - sx;
    int whole = w / d;
    int rest = w % d;
    if (rest != 0) {
        int off = whole * d;
        fuskaWrite32(priv, REG_SOURCE, XY(sx + off, row));
        fuskaStart(priv, REG_DESTINATION, XY(x1 + off, row), rest, h);
    }
    for (int i = whole - 1; i >= 0; i--) {
        int off = i * d;
        fuskaWrite32(priv, REG_SOURCE, XY(sx + off, row));
        fuskaStart(priv, REG_DESTINATION, XY(x1 + off, row), d, h);
    }
}

void fuskaCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (fuskaNeedsFallback(depth, alu, planemask)) {
        genCopyRect(dst, src, alu, planemask, pDraw);
        return;
    }
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    uint32_t flag = 0;
    int srcRow = src->y, dstRow = dst->y1;
    /* Moving pixels down the screen: rows from the bottom, so no source row
     * is overwritten before it is read. */
    if (src->y < dst->y1) {
        flag = DD_BOTTOM_UP;
        srcRow = src->y + h - 1;
        dstRow = dst->y1 + h - 1;
    }
    fuskaEngineIdleWait(priv);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, flag | DD_COPY | fuskaRop(alu));
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    if (srcRow != dstRow || src->x >= dst->x1) {
        fuskaWrite32(priv, REG_SOURCE, XY(src->x, srcRow));
        fuskaStart(priv, REG_DESTINATION, XY(dst->x1, dstRow), w, h);
        return;
    }
    fuskaCopyStrips(priv, src->x, dst->x1, srcRow, w, h);
}

/* ---- Solid fills ---- */

/* Fill colour, draw definition and plane mask of a run of solid fills. */
static void fuskaSetUpFill(const fuskaScreenPrivate *priv, int depth, Pixel fg, int alu,
                           uint32_t planemask) {
    fuskaEngineIdleWait(priv);
    fuskaWrite32(priv, REG_BACKGROUND, fuskaPixelReplicate(depth, fg));
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_FILL | fuskaRop(alu));
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
}

static void fuskaFillBoxes(const fuskaScreenPrivate *priv, const BoxRec *boxes, int count) {
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        fuskaEngineIdleWait(priv);
        fuskaStart(priv, REG_DESTINATION, XY(b->x1, b->y1), b->x2 - b->x1, b->y2 - b->y1);
    }
}

void fuskaDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (fuskaNeedsFallback(depth, alu, planemask)) {
        genDrawSolidRects(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    fuskaSetUpFill(priv, depth, fg, alu, planemask);
    fuskaFillBoxes(priv, boxes, count);
}

/* Validation keeps GCs the engine cannot serve away from these two. */
static void fuskaSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    ScreenPtr pScreen = pDraw->pScreen;
    nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    fuskaSetUpFill(priv, pScreen->rootDepth, gc->fgPixel, gc->alu, gc->planemask);
    fuskaFillBoxes(priv, boxes, count);
}

static void fuskaSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    ScreenPtr pScreen = pDraw->pScreen;
    nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    fuskaSetUpFill(priv, pScreen->rootDepth, gc->fgPixel, gc->alu, gc->planemask);
    for (int i = 0; i < count; i++) {
        fuskaEngineIdleWait(priv);
        fuskaStart(priv, REG_DESTINATION, XY(starts[i].x, starts[i].y), widths[i], 1);
    }
}

void fuskaDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (fuskaNeedsFallback(depth, alu, planemask)) {
        genDrawPoints(points, count, fg, alu, planemask, pDraw);
        return;
    }
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    fuskaSetUpFill(priv, depth, fg, alu, planemask);
    for (int i = 0; i < count; i++) {
        fuskaEngineIdleWait(priv);
        fuskaStart(priv, REG_DESTINATION, XY(points[i].x, points[i].y), 1, 1);
    }
}

/* ---- Zero-width segments, stored by the processor ---- */

static inline void fuskaStore8(uint8_t *p, Pixel v) {
    *p = (uint8_t)v;
}
static inline void fuskaStore16(uint8_t *p, Pixel v) {
    *(uint16_t *)p = (uint16_t)v;
}
static inline void fuskaStore24(uint8_t *p, Pixel v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
}

/* Bresenham steps from the start pixel: a diagonal step while the error
 * term is positive, an axial one otherwise. Only GXcopy GCs with a full
 * plane mask come here, so each pixel is a plain store. */
static inline void fuskaZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count, int bpp,
                                 void (*store)(uint8_t *, Pixel)) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pDraw->pScreen);
    Pixel fg = NFB_GC_PRIV(pGC)->fgPixel;
    intptr_t pitch = priv->pitch;
    fuskaEngineIdleWait(priv);
    for (int i = 0; i < count; i++) {
        const ZeroSegRec *s = &segs[i];
        intptr_t at = (intptr_t)s->y * pitch + (intptr_t)s->x * bpp;
        intptr_t axial = s->axis ? pitch * s->signdy : (intptr_t)s->signdx * bpp;
        intptr_t diagonal = pitch * s->signdy + (intptr_t)s->signdx * bpp;
        int32_t e = s->e;
        for (int n = 0; n < s->len; n++) {
            store(priv->fbBase + at, fg);
            if (e > 0) {
                at += diagonal;
                e += s->e2;
            } else {
                at += axial;
                e += s->e1;
            }
        }
    }
}

void fuska_8bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    fuskaZeroSegs(pGC, pDraw, segs, count, 1, fuskaStore8);
}

void fuska_16bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    fuskaZeroSegs(pGC, pDraw, segs, count, 2, fuskaStore16);
}

void fuska_24bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    fuskaZeroSegs(pGC, pDraw, segs, count, 3, fuskaStore24);
}
