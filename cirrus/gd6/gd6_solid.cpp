/*
 * gd6 family: the operation records, GC and window validation, and solid
 * drawing. Every solid engine operation is a copy of an 8 x 8 pattern of the
 * fill colour kept at patternAddr (the start of the cursor bank); the colour
 * the pattern holds is remembered so that fills in one colour write it once.
 * Plane-masked rectangles are merged by the processor in the staging area;
 * GXcopy segments are stored by the processor through the bank window.
 */
#include "gd6.h"

/* ---- Records ---- */

PrivOps NAME(SolidPrivOps) = {genSolidFillRects, NAME(SolidFS), {.ZeroSeg = NAME(SolidZeroSeg)},
                              genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};

static PrivOps NAME(SolidPrivOpsGXcopy) = {
    genSolidFillRects, NAME(SolidFS), {.ZeroSeg = NAME(SolidZeroSegGXcopy)},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};

static PrivOps NAME(PlanemaskSolidPrivOps) = {
    genSolidFillRects, genSolidFS,    {.ZeroSeg = genSolidZeroSeg},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};

static PrivOps NAME(TiledPrivOps) = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                     genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};

PrivOps NAME(StippledPrivOps) = {
    GD6_STIPPLED_FILL_RECTS, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,        genStippledGCOp5, genStippledGCOp6};

static PrivOps NAME(PlanemaskStippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};

static PrivOps NAME(OpStippledPrivOps) = {
    NAME(OpStippledFillRects), genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,        genOpStippledGCOp5, genOpStippledGCOp6};

static PrivOps NAME(PlanemaskOpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

WinOps NAME(WinOps) = {NAME(CopyRect),
                       NAME(DrawSolidRects),
                       NAME(DrawImage),
                       GD6_DRAW_MONO_IMAGE,
                       GD6_DRAW_OPAQUE_MONO_IMAGE,
                       NAME(ReadImage),
                       NAME(DrawPoints),
                       NAME(TileRects),
                       GD6_DRAW_MONO_GLYPHS,
                       {.DrawFontText = GD6_DRAW_FONT_TEXT},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       genWinOp14,
                       NAME(ValidateWindowGC)};

void NAME(ValidateWindowPriv)(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &NAME(WinOps);
}

static PrivOps *gd6OpsFor(int fillStyle, int alu, Bool full) {
    switch (fillStyle) {
    case FillSolid:
        if (!full)
            return &NAME(PlanemaskSolidPrivOps);
        return alu == GXcopy ? &NAME(SolidPrivOpsGXcopy) : &NAME(SolidPrivOps);
    case FillTiled:
        return &NAME(TiledPrivOps);
    case FillStippled:
        return full ? &NAME(StippledPrivOps) : &NAME(PlanemaskStippledPrivOps);
    default:
        return full ? &NAME(OpStippledPrivOps) : &NAME(PlanemaskOpStippledPrivOps);
    }
}

int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCPlaneMask | GCFunction)) {
        nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
        gcPriv->ops = gd6OpsFor(pGC->fillStyle, pGC->alu, gd6FullPlanemask(pGC->planemask));
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- The pattern ---- */

/* After the engine wait: make the pattern hold `fg`. */
static void gd6LoadPattern(gd6ScreenPrivPtr priv, Pixel fg) {
    if (priv->patternKnown && fg == priv->patternColour)
        return;
    gd6SetBank(priv, priv->patternAddr);
    uint8_t *at = priv->windowBase + (priv->patternAddr - gd6BankBase(priv, priv->patternAddr));
    for (int i = 0; i < PATTERN_PIXELS; i++)
        gd6WindowWritePixel(at + i * BPP, fg);
    priv->patternColour = fg;
    priv->patternKnown = 1;
    gd6RestoreBank(priv);
}

static void gd6SetUpPatternCopy(const gd6ScreenPrivate *priv, int alu) {
    gd6WriteGR(GR_ROP, NAME(RasterOps)[alu & 0xF]);
    gd6WriteGR24(GR_SRC_ADDR, priv->patternAddr);
    gd6WriteGR16(GR_DST_PITCH, (uint32_t)priv->pitch);
    gd6WriteGR(GR_MODE, BLT_MODE_PATTERN);
}

/* Waits, loads and programs the pattern copy in `fg` with `alu`. */
void gd6BeginPatternFill(gd6ScreenPrivPtr priv, Pixel fg, int alu) {
    gd6EngineIdleWait();
    gd6LoadPattern(priv, fg);
    gd6SetUpPatternCopy(priv, alu);
}

/* One pattern copy over w x h pixels from (x, y); both at least 1. */
void gd6PatternBox(const gd6ScreenPrivate *priv, int x, int y, int w, int h) {
    gd6EngineIdleWait();
    gd6WriteGR24(GR_DST_ADDR, gd6ScreenAddr(priv, x, y));
    gd6WriteGR16(GR_WIDTH, (uint32_t)(w * BPP - 1));
    gd6WriteGR16(GR_HEIGHT, (uint32_t)(h - 1));
    gd6EngineStart();
}

/* ---- Rectangles ---- */

void NAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if (!gd6FullPlanemask(planemask)) {
        gd6DrawSolidRectsWithPlanemask(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    gd6BeginPatternFill(priv, fg, alu);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 > b->x1 && b->y2 > b->y1)
            gd6PatternBox(priv, b->x1, b->y1, b->x2 - b->x1, b->y2 - b->y1);
    }
}

void gd6RenderRectWithPlanemask(int w, int h, Pixel fg, int alu, uint32_t planemask,
                                DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    uint32_t m = planemask & PLANEMASK_ALL;
    if ((alu & 0xF) == GXnoop)
        return;
    uint8_t *d = priv->windowBase;
    for (int i = 0; i < w * h; i++, d += BPP) {
        uint32_t dv = gd6WindowReadPixel(d);
        gd6WindowWritePixel(d, xMergeAlu(alu, fg, dv, m));
    }
}

static void gd6PlanemaskRect(BoxRec box, Pixel fg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box.x2 - box.x1, h = box.y2 - box.y1;
    if (w <= 0 || h <= 0)
        return;
    if (priv->windowSize < (uint32_t)h * (uint32_t)w * (uint32_t)BPP) {
        BoxRec a = box, b = box;
        if (h > 1) {
            a.y2 = (int16_t)(box.y1 + h / 2);
            b.y1 = a.y2;
        } else if (w > 1) {
            a.x2 = (int16_t)(box.x1 + w / 2);
            b.x1 = a.x2;
        } else {
            return; /* no window holds less than a pixel */
        }
        gd6PlanemaskRect(a, fg, alu, planemask, pDraw);
        gd6PlanemaskRect(b, fg, alu, planemask, pDraw);
        return;
    }
    NAME(BlitToWindow)(pDraw, box.x1, box.y1, w, h, w * BPP);
    gd6EngineIdleWait();
    gd6RenderRectWithPlanemask(w, h, fg, alu, planemask, pDraw);
    DDXPointRec origin = {0, 0};
    NAME(BlitFromWindow)(pDraw, &origin, box.x1, box.y1, w, h, w * BPP, GXcopy);
}

void gd6DrawSolidRectsWithPlanemask(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                                    DrawablePtr pDraw) {
    if ((planemask & PLANEMASK_ALL) == 0)
        return;
    for (int i = 0; i < count; i++)
        gd6PlanemaskRect(boxes[i], fg, alu, planemask, pDraw);
}

/* ---- Points and spans ---- */

void NAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    if (!gd6FullPlanemask(planemask)) {
        genDrawPoints(points, count, fg, alu, planemask, pDraw);
        return;
    }
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    gd6BeginPatternFill(priv, fg, alu);
    for (int i = 0; i < count; i++)
        gd6PatternBox(priv, points[i].x, points[i].y, 1, 1);
}

void NAME(SolidFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    gd6BeginPatternFill(priv, gcPriv->fgPixel, gcPriv->alu);
    for (int i = 0; i < count; i++) {
        /* An empty span would give the width register 0xFFFF. */
        if (widths[i] > 0)
            gd6PatternBox(priv, starts[i].x, starts[i].y, widths[i], 1);
    }
}

/* ---- Segments ---- */

/* A run of pixels on one line of the major axis, drawn from its top-left. */
typedef struct _Gd6Run {
    int x, y;   /* the first pixel of the run */
    int length; /* pixels so far */
} Gd6Run;

static void gd6DrawRun(const gd6ScreenPrivate *priv, const Gd6Run *run, int signdx, int signdy,
                       int axis) {
    if (run->length <= 0)
        return;
    if (axis == 0) {
        int left = signdx < 0 ? run->x - (run->length - 1) : run->x;
        gd6PatternBox(priv, left, run->y, run->length, 1);
    } else {
        int top = signdy < 0 ? run->y - (run->length - 1) : run->y;
        gd6PatternBox(priv, run->x, top, 1, run->length);
    }
}

/* Bresenham walk: a pixel, then an axial step (e <= 0, adding e1) or a
 * diagonal one (adding e2). Axial steps extend the current run; a diagonal
 * step closes it. */
void NAME(SolidZeroSeg)(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                        int y1, int e, int e1, int e2, int len) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if (len <= 0)
        return;
    gd6BeginPatternFill(priv, gcPriv->fgPixel, gcPriv->alu);
    int64_t err = e;
    int x = x1, y = y1;
    Gd6Run run = {x, y, 0};
    for (int i = 0; i < len; i++) {
        run.length++;
        if (err > 0) {
            gd6DrawRun(priv, &run, signdx, signdy, axis);
            x += signdx;
            y += signdy;
            err += e2;
            run.x = x;
            run.y = y;
            run.length = 0;
        } else {
            if (axis == 0)
                x += signdx;
            else
                y += signdy;
            err += e1;
        }
    }
    gd6DrawRun(priv, &run, signdx, signdy, axis);
}

/* Processor stores through the bank window; the bank follows the segment. */
void NAME(SolidZeroSegGXcopy)(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis,
                              int x1, int y1, int e, int e1, int e2, int len) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if (len <= 0)
        return;
    Pixel fg = gcPriv->fgPixel;
    int64_t a = (int64_t)gd6ScreenAddr(priv, x1, y1);
    int64_t axial = axis == 0 ? (int64_t)BPP * signdx : (int64_t)priv->pitch * signdy;
    int64_t diagonal = (int64_t)BPP * signdx + (int64_t)priv->pitch * signdy;
    gd6EngineIdleWait();
    int64_t b = gd6BankBase(priv, (uint32_t)a);
    gd6SetBank(priv, (uint32_t)b);
    int64_t err = e;
    for (int i = 0; i < len; i++) {
        if (a < b || a >= b + (int64_t)priv->windowSize - BPP) {
            b = gd6BankBase(priv, (uint32_t)a);
            gd6SetBank(priv, (uint32_t)b);
        }
        gd6WindowWritePixel(priv->windowBase + (a - b), fg);
        if (err > 0) {
            a += diagonal;
            err += e2;
        } else {
            a += axial;
            err += e1;
        }
    }
    gd6RestoreBank(priv);
}
