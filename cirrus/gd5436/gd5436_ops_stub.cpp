/*
 * TEMPORARY engine records for the gd5436 family, until the BitBLT drawing
 * routines land in gd5436_blt.cpp (which replaces this file).
 *
 * What is here: every PrivOps record filled with the server's generic
 * routines; the WinOps record with generic routines except the two image
 * slots, which have no generic routine and are done by the processor (read
 * back; GXcopy copied directly, other alus and partial plane masks merged
 * byte by byte); ValidateWindowGC with the family's record selection by fill
 * style, plane mask and alu; ValidateWindowPriv.
 */
#include "gd5436.h"

/* ---- GC operation records ---- */

PrivOps NAME(PlanemaskSolidPrivOps) = {
    genSolidFillRects, genSolidFS,    {.ZeroSegs = genSolidZeroSegs},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps NAME(SolidPrivOps) = {genSolidFillRects, genSolidFS,    {.ZeroSegs = genSolidZeroSegs},
                              genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps NAME(GXcopySolidPrivOps) = {
    genSolidFillRects, genSolidFS,    {.ZeroSegs = genSolidZeroSegs},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps NAME(TiledPrivOps) = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                              genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps NAME(StippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps NAME(PlanemaskStippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps NAME(OpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};
PrivOps NAME(PlanemaskOpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

/* ---- Processor image paths ---- */

/* Client pixels: 1 or 2 bytes, or 4 when video memory holds 3-byte pixels. */
#define CLIENT_PIXEL_BYTES (gd5436Traits.pixel24 ? 4 : PIXEL_BYTES)

static uint8_t gd5436ApplyAlu(int alu, uint8_t src, uint8_t dst) {
    switch (alu) {
    case GXclear:
        return 0;
    case GXand:
        return src & dst;
    case GXandReverse:
        return src & ~dst;
    case GXcopy:
        return src;
    case GXandInverted:
        return ~src & dst;
    case GXnoop:
        return dst;
    case GXxor:
        return src ^ dst;
    case GXor:
        return src | dst;
    case GXnor:
        return ~(src | dst);
    case GXequiv:
        return ~src ^ dst;
    case GXinvert:
        return ~dst;
    case GXorReverse:
        return src | ~dst;
    case GXcopyInverted:
        return ~src;
    case GXorInverted:
        return ~src | dst;
    case GXnand:
        return ~(src & dst);
    default:
        return 0xFF;
    }
}

static uint8_t *gd5436ScreenAddress(gd5436ScreenPrivPtr priv, int x, int y) {
    return priv->fbBase + gd5436PixelOffset(priv, x, y);
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    EngineIdleWait(priv->bltBase);
    for (int y = 0; y < h; y++) {
        const uint8_t *s = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        uint8_t *d = dst + (intptr_t)y * stride;
        if (!gd5436Traits.pixel24) {
            __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
            continue;
        }
        /* The client pixel's fourth byte is left as it was. */
        for (int x = 0; x < w; x++)
            for (int k = 0; k < 3; k++)
                d[x * 4 + k] = s[x * 3 + k];
    }
}

/* Any alu under any plane mask, byte by byte: new = (dst AND NOT pm) OR
 * (f(src, dst) AND pm). */
void gd5436DrawImageWithPlanemask(BoxPtr box, uint8_t *pixels, int stride, int alu,
                                  uint32_t planemask, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    alu &= 0xF;
    planemask &= PLANEMASK_ALL;
    EngineIdleWait(priv->bltBase);
    if (planemask == 0 || alu == GXnoop || w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        uint8_t *d = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        const uint8_t *s = pixels + (intptr_t)y * stride;
        for (int x = 0; x < w; x++) {
            for (int k = 0; k < PIXEL_BYTES; k++) {
                uint8_t pm = (uint8_t)(planemask >> (8 * k));
                uint8_t *db = d + x * PIXEL_BYTES + k;
                uint8_t f = gd5436ApplyAlu(alu, s[x * CLIENT_PIXEL_BYTES + k], *db);
                *db = (uint8_t)((*db & ~pm) | (f & pm));
            }
        }
    }
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if ((planemask & PLANEMASK_ALL) != PLANEMASK_ALL || (alu & 0xFF) != GXcopy) {
        gd5436DrawImageWithPlanemask(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    EngineIdleWait(priv->bltBase);
    if (w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        uint8_t *d = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        const uint8_t *s = pixels + (intptr_t)y * stride;
        if (!gd5436Traits.pixel24) {
            __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
            continue;
        }
        for (int x = 0; x < w; x++)
            for (int k = 0; k < 3; k++)
                d[x * 3 + k] = s[x * 4 + k];
    }
}

/* ---- Window operations and validation ---- */

WinOps NAME(WinOps) = {genCopyRect,
                       genDrawSolidRects,
                       NAME(DrawImage),
                       genDrawMonoImage,
                       genDrawOpaqueMonoImage,
                       NAME(ReadImage),
                       genDrawPoints,
                       genTileRects,
                       genDrawMonoGlyphs,
                       {.DrawFontText = genDrawFontText},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       genWinOp14,
                       NAME(ValidateWindowGC)};

static PrivOps *gd5436ChooseOps(GCPtr pGC) {
    Bool allPlanes = (pGC->planemask & PLANEMASK_ALL) == PLANEMASK_ALL;
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
    default:
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
