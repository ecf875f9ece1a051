/*
 * gd5436 family: the BitBLT drawing routines (screen copies, solid
 * rectangles, spans and points), the GC and window operation records with the
 * validation hooks that install them, and the GXcopy zero-width segments the
 * processor draws itself.
 *
 * Engine protocol: every operation starts with EngineIdleWait, because the
 * previous call may have left an operation running. A single operation is
 * programmed completely and started by writing BLT_START. A batch turns
 * autostart on, writes the registers common to its items once, and per item
 * waits for room and writes the item's size and then its destination
 * address, which starts it; it ends with an idle wait and autostart off, so
 * the next caller finds the engine in single-start mode.
 */
#include "gd5436.h"

/* ---- Register access ---- */

static inline void bltWrite8(volatile uint8_t *blt, uint32_t reg, uint8_t v) {
    mmWrite8(blt + reg, v);
}
static inline void bltWrite16(volatile uint8_t *blt, uint32_t reg, uint16_t v) {
    mmWrite16(blt + reg, v);
}
static inline void bltWrite32(volatile uint8_t *blt, uint32_t reg, uint32_t v) {
    mmWrite32(blt + reg, v);
}

/* The colour registers take the pixel at its own width: 8, 16 or 32 bits. */
static void bltWriteColour(volatile uint8_t *blt, uint32_t reg, Pixel colour) {
    switch (PIXEL_BYTES) {
    case 1:
        bltWrite8(blt, reg, (uint8_t)colour);
        break;
    case 2:
        bltWrite16(blt, reg, (uint16_t)colour);
        break;
    default:
        bltWrite32(blt, reg, colour & PLANEMASK_ALL);
        break;
    }
}

/* Source address: bits 0-15, then bits 16-23. */
static void bltWriteSource(volatile uint8_t *blt, uint32_t addr) {
    bltWrite16(blt, BLT_SRC_ADDR, (uint16_t)addr);
    bltWrite8(blt, BLT_SRC_ADDR_HI, (uint8_t)(addr >> 16));
}

/* Width in bytes and height in lines, each less one. Callers never pass an
 * empty extent: the registers would wrap to 0xFFFF and draw a huge area. */
static void bltWriteSize(volatile uint8_t *blt, int widthBytes, int lines) {
    bltWrite16(blt, BLT_WIDTH, (uint16_t)(widthBytes - 1));
    bltWrite16(blt, BLT_HEIGHT, (uint16_t)(lines - 1));
}

static inline Bool gd5436AllPlanes(uint32_t planemask) {
    return (planemask & PLANEMASK_ALL) == PLANEMASK_ALL;
}

static inline uint8_t gd5436Rop(int alu) {
    return NAME(RasterOps)[alu & 0xF];
}

/* ---- Screen-to-screen copy ---- */

void NAME(CopyRect)(BoxPtr pbox, DDXPointPtr psrc, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (!gd5436AllPlanes(planemask)) {
        genCopyRect(pbox, psrc, alu & 0xFF, planemask, pDraw);
        return;
    }
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    volatile uint8_t *blt = priv->bltBase;
    int w = pbox->x2 - pbox->x1, h = pbox->y2 - pbox->y1;
    if (w <= 0 || h <= 0)
        return;
    uint32_t src = gd5436PixelOffset(priv, psrc->x, psrc->y);
    uint32_t dst = gd5436PixelOffset(priv, pbox->x1, pbox->y1);
    uint8_t mode = BLT_MODE_COPY;
    if (src < dst) {
        /* The source lies before the destination: walk from the last byte
         * down and left so an overlap is read before it is overwritten. */
        uint32_t last = (uint32_t)priv->pitch * (uint32_t)(h - 1) + (uint32_t)(w * PIXEL_BYTES) - 1;
        src += last;
        dst += last;
        mode = BLT_MODE_BACKWARDS;
    }
    EngineIdleWait(blt);
    bltWrite8(blt, BLT_ROP, gd5436Rop(alu));
    bltWriteSource(blt, src);
    bltWrite16(blt, BLT_SRC_PITCH, (uint16_t)priv->pitch);
    bltWrite32(blt, BLT_DST_ADDR, dst);
    bltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    bltWriteSize(blt, w * PIXEL_BYTES, h);
    bltWrite8(blt, BLT_MODE, mode);
    bltWrite8(blt, BLT_STATUS, BLT_START);
}

/* ---- Solid fills: rectangles, spans and points ---- */

/* Idle wait, then the registers every item of a solid batch shares, and
 * autostart on. */
static void gd5436BeginSolidBatch(volatile uint8_t *blt, int pitch, Pixel fg, int alu) {
    EngineIdleWait(blt);
    bltWrite8(blt, BLT_ROP, gd5436Rop(alu));
    bltWriteColour(blt, BLT_FG_COLOUR, fg);
    bltWriteColour(blt, BLT_BG_COLOUR, fg);
    bltWrite16(blt, BLT_DST_PITCH, (uint16_t)pitch);
    bltWrite8(blt, BLT_MODE, gd5436ModeFor(BLT_MODE_SOLID_FILL));
    bltWrite8(blt, BLT_MODE_EXT, BLT_MODE_EXT_SOLID);
    bltWrite8(blt, BLT_STATUS, BLT_AUTOSTART);
}

/* The next item, once the engine can take it: its size (when it has one of
 * its own) and its destination, which starts it. */
static void gd5436StartItem(volatile uint8_t *blt, uint32_t dst) {
    bltWrite32(blt, BLT_DST_ADDR, dst);
}

static void gd5436EndBatch(volatile uint8_t *blt) {
    EngineIdleWait(blt);
    bltWrite8(blt, BLT_STATUS, BLT_AUTOSTART_OFF);
}

static void gd5436FillBoxes(gd5436ScreenPrivPtr priv, BoxPtr pbox, int nbox, Pixel fg, int alu) {
    volatile uint8_t *blt = priv->bltBase;
    gd5436BeginSolidBatch(blt, priv->pitch, fg, alu);
    for (int i = 0; i < nbox; i++) {
        const BoxRec *b = &pbox[i];
        int w = b->x2 - b->x1, h = b->y2 - b->y1;
        if (w <= 0 || h <= 0)
            continue;
        EngineRoomWait(blt);
        bltWriteSize(blt, w * PIXEL_BYTES, h);
        gd5436StartItem(blt, gd5436PixelOffset(priv, b->x1, b->y1));
    }
    gd5436EndBatch(blt);
}

void NAME(DrawSolidRects)(BoxPtr pbox, int nbox, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if (!gd5436AllPlanes(planemask)) {
        genDrawSolidRects(pbox, nbox, fg, alu & 0xFF, planemask, pDraw);
        return;
    }
    gd5436FillBoxes(GD5436_PRIV(pDraw->pScreen), pbox, nbox, fg, alu);
}

/* Installed only with an all-ones plane mask (ValidateWindowGC), so the
 * mask is not tested again. */
void NAME(SolidFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr pbox, int nbox) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd5436FillBoxes(GD5436_PRIV(pDraw->pScreen), pbox, nbox, gcPriv->fgPixel, gcPriv->alu);
}

void NAME(SolidFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr ppt, int *pwidth, int nspans) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    volatile uint8_t *blt = priv->bltBase;
    gd5436BeginSolidBatch(blt, priv->pitch, gcPriv->fgPixel, gcPriv->alu);
    bltWrite16(blt, BLT_HEIGHT, 0); /* every span is one line */
    for (int i = 0; i < nspans; i++) {
        if (pwidth[i] <= 0)
            continue;
        EngineRoomWait(blt);
        bltWrite16(blt, BLT_WIDTH, (uint16_t)(pwidth[i] * PIXEL_BYTES - 1));
        gd5436StartItem(blt, gd5436PixelOffset(priv, ppt[i].x, ppt[i].y));
    }
    gd5436EndBatch(blt);
}

void NAME(DrawPoints)(DDXPointPtr ppt, int npts, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    if (!gd5436AllPlanes(planemask)) {
        genDrawPoints(ppt, npts, fg, alu & 0xFF, planemask, pDraw);
        return;
    }
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    volatile uint8_t *blt = priv->bltBase;
    gd5436BeginSolidBatch(blt, priv->pitch, fg, alu);
    bltWriteSize(blt, PIXEL_BYTES, 1);
    for (int i = 0; i < npts; i++) {
        EngineRoomWait(blt);
        gd5436StartItem(blt, gd5436PixelOffset(priv, ppt[i].x, ppt[i].y));
    }
    gd5436EndBatch(blt);
}

/* ---- Zero-width segments by the processor ---- */

/* Installed only for GXcopy with an all-ones plane mask, so the pixel is
 * simply stored, its low bytes low byte first. */
void NAME(GXcopySolidZeroSegs)(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int nseg) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    Pixel fg = NFB_GC_PRIV(pGC)->fgPixel;
    uint8_t colour[3] = {(uint8_t)fg, (uint8_t)(fg >> 8), (uint8_t)(fg >> 16)};
    EngineIdleWait(priv->bltBase);
    for (int i = 0; i < nseg; i++) {
        const ZeroSegRec *s = &segs[i];
        intptr_t stepX = (intptr_t)s->signdx * PIXEL_BYTES;
        intptr_t stepY = (intptr_t)s->signdy * priv->pitch;
        intptr_t axial = s->axis == 0 ? stepX : stepY;
        uint8_t *p = priv->fbBase + gd5436PixelOffset(priv, s->x, s->y);
        /* Wide enough that no run of error terms overflows. */
        int64_t e = s->e;
        for (int n = 0; n < s->len; n++) {
            for (int k = 0; k < PIXEL_BYTES; k++)
                p[k] = colour[k];
            if (e > 0) {
                p += stepX + stepY;
                e += s->e2;
            } else {
                p += axial;
                e += s->e1;
            }
        }
    }
}

/* ---- GC operation records ---- */

/* Stipple fills from a pattern staged in the ScratchArea (gd5436_tile.cpp). */
#define STIPPLED_FILL_RECTS NAME(StippledFillRects)
#define OPSTIPPLED_FILL_RECTS NAME(OpStippledFillRects)

static PrivOps NAME(PlanemaskSolidPrivOps) = {
    genSolidFillRects, genSolidFS,    {.ZeroSegs = genSolidZeroSegs},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps NAME(SolidPrivOps) = {NAME(SolidFillRects), NAME(SolidFS), {.ZeroSegs = genSolidZeroSegs},
                              genSolidGCOp4,        genSolidGCOp5, genSolidGCOp6};
static PrivOps NAME(GXcopySolidPrivOps) = {
    NAME(SolidFillRects), NAME(SolidFS), {.ZeroSegs = NAME(GXcopySolidZeroSegs)},
    genSolidGCOp4,        genSolidGCOp5, genSolidGCOp6};
static PrivOps NAME(TiledPrivOps) = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                     genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
static PrivOps NAME(StippledPrivOps) = {
    STIPPLED_FILL_RECTS, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,    genStippledGCOp5, genStippledGCOp6};
static PrivOps NAME(PlanemaskStippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
static PrivOps NAME(OpStippledPrivOps) = {
    OPSTIPPLED_FILL_RECTS, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,    genOpStippledGCOp5, genOpStippledGCOp6};
static PrivOps NAME(PlanemaskOpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

/* ---- Window operations and validation ---- */

WinOps NAME(WinOps) = {NAME(CopyRect),
                       NAME(DrawSolidRects),
                       NAME(DrawImage),
                       NAME(DrawMonoImage),
                       NAME(DrawOpaqueMonoImage),
                       NAME(ReadImage),
                       NAME(DrawPoints),
                       NAME(TileRects),
                       NAME(DrawMonoGlyphs),
                       {.DrawFontText = NAME(DrawFontText)},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       genWinOp14,
                       NAME(ValidateWindowGC)};

/* The record for a GC: by fill style, then by plane mask and alu. */
static PrivOps *gd5436ChooseOps(GCPtr pGC) {
    Bool allPlanes = gd5436AllPlanes(pGC->planemask);
    switch (pGC->fillStyle) {
    case FillSolid:
        if (!allPlanes)
            return &NAME(PlanemaskSolidPrivOps);
        return pGC->alu == GXcopy ? &NAME(GXcopySolidPrivOps) : &NAME(SolidPrivOps);
    case FillTiled:
        return &NAME(TiledPrivOps);
    case FillStippled:
        if (!allPlanes || !gd5436Traits.transparentStipple)
            return &NAME(PlanemaskStippledPrivOps);
        return &NAME(StippledPrivOps);
    default: /* FillOpaqueStippled: foreground and background are not compared */
        return allPlanes ? &NAME(OpStippledPrivOps) : &NAME(PlanemaskOpStippledPrivOps);
    }
}

int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCPlaneMask | GCFunction))
        NFB_GC_PRIV(pGC)->ops = gd5436ChooseOps(pGC);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

void NAME(ValidateWindowPriv)(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &NAME(WinOps);
}
