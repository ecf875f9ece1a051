/*
 * gd5436 family: tiled boxes and stippled fills from a pattern staged in the
 * ScratchArea. The pattern is drawn there once, widened by the layer's
 * nfbReplicateArea until a box of any size in the call can be cut out of it
 * at any phase, and each box is then one autostarted engine copy from its
 * phase.
 *
 * A transparent stipple is staged opaquely with a background that can never
 * equal the foreground (its complement) and copied with that background as
 * the engine's transparent colour, so only the 1 bits reach the screen.
 */
#include "gd5436.h"

/* The staged pattern: where it lies in off-screen pixels, its cell size and
 * the phase origin of the boxes. */
typedef struct {
    int x, y;          /* top-left of the staged pattern */
    int width, height; /* one pattern cell */
    int originX, originY;
} gd5436Pattern;

/* Largest width and height of the boxes. */
static void gd5436LargestBox(const BoxRec *boxes, int count, int *maxW, int *maxH) {
    *maxW = 0;
    *maxH = 0;
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        if (w > *maxW)
            *maxW = w;
        if (h > *maxH)
            *maxH = h;
    }
}

/* One side of the staging rectangle: a box as large as `largest` cut out at
 * any phase below `cell` stays inside it. A side of 1 needs just the cell. */
static int gd5436StagingSide(int largest, int cell) {
    if (largest == 1)
        return cell;
    return (largest > cell ? largest : cell) + cell;
}

/* Whether a staging rectangle at off-screen line `y` fits the space it may
 * use (`lines` lines from `y`) and stays clear of the CursorArea. */
static Bool gd5436StagingFits(const gd5436ScreenPrivate *priv, int y, int lines, int sw, int sh) {
    if (sw > priv->offWidth || sh > lines)
        return 0;
    uint64_t end = (uint64_t)gd5436PixelOffset(priv, priv->offX, y + sh - 1) +
                   (uint64_t)sw * (uint32_t)PIXEL_BYTES;
    return end <= gd5436ScratchEnd(priv);
}

/* Phase of a coordinate within a pattern cell, never negative. */
static int gd5436Phase(int v, int origin, int cell) {
    int p = (v - origin) % cell;
    return p < 0 ? p + cell : p;
}

/* The staged cell widened to the staging rectangle, when that is larger. */
static void gd5436Replicate(const gd5436Pattern *pat, int sw, int sh, DrawablePtr pDraw) {
    if (sw <= pat->width && sh <= pat->height)
        return;
    BoxRec area = {(int16_t)pat->x, (int16_t)pat->y, (int16_t)(pat->x + sw),
                   (int16_t)(pat->y + sh)};
    nfbReplicateArea(&area, pat->width, pat->height, PLANEMASK_ALL, pDraw);
}

/* Each box one engine copy from its phase of the staged pattern. */
static void gd5436CopyPattern(gd5436ScreenPrivPtr priv, const gd5436Pattern *pat,
                              const BoxRec *boxes, int count, int alu, uint8_t mode) {
    volatile uint8_t *blt = priv->bltBase;
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite16(blt, BLT_SRC_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite8(blt, BLT_MODE, mode);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        int w = b->x2 - b->x1, h = b->y2 - b->y1;
        if (w <= 0 || h <= 0)
            continue;
        int xo = gd5436Phase(b->x1, pat->originX, pat->width);
        int yo = gd5436Phase(b->y1, pat->originY, pat->height);
        EngineRoomWait(blt);
        gd5436BltWriteSource(blt, gd5436PixelOffset(priv, pat->x + xo, pat->y + yo));
        gd5436BltWriteSize(blt, w * PIXEL_BYTES, h);
        gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, b->x1, b->y1));
    }
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART_OFF);
}

/* Alus whose result does not depend on the destination. */
static Bool gd5436SimpleAlu(int alu) {
    return alu == GXclear || alu == GXcopy || alu == GXinvert || alu == GXcopyInverted ||
           alu == GXset;
}

/* Whether the engine takes the tiles: the doubled tile fits the ScratchArea,
 * all planes are written, and staging pays (a single box or boxes one line
 * high under an alu that ignores the screen are as quick for the generic
 * routine). Gives the largest box when it does. */
static Bool gd5436TileWorthStaging(const gd5436ScreenPrivate *priv, const BoxRec *boxes, int count,
                                   int tileWidth, int tileHeight, int alu, uint32_t planemask,
                                   int *maxW, int *maxH) {
    Bool simple = gd5436SimpleAlu(alu);
    if (tileWidth <= 0 || tileHeight <= 0 || 2 * tileWidth > priv->offWidth ||
        2 * tileHeight > priv->offHeight || (planemask & PLANEMASK_ALL) != PLANEMASK_ALL ||
        (count < 2 && simple))
        return 0;
    gd5436LargestBox(boxes, count, maxW, maxH);
    return !(*maxH == 1 && simple);
}

void NAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    gd5436Pattern pat = {priv->offX, priv->offY, tileWidth, tileHeight, 0, 0};
    int maxW = 0, maxH = 0;
    alu &= 0xFF;
    Bool accelerate = gd5436TileWorthStaging(priv, boxes, count, tileWidth, tileHeight, alu,
                                             planemask, &maxW, &maxH);
    int sw = gd5436StagingSide(maxW, tileWidth), sh = gd5436StagingSide(maxH, tileHeight);
    if (!accelerate || !gd5436StagingFits(priv, pat.y, priv->offHeight, sw, sh)) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    pat.originX = patOrg->x;
    pat.originY = patOrg->y;
    BoxRec cell = {(int16_t)pat.x, (int16_t)pat.y, (int16_t)(pat.x + tileWidth),
                   (int16_t)(pat.y + tileHeight)};
    NAME(DrawImage)(&cell, tile, tileStride, GXcopy, PLANEMASK_ALL, pDraw);
    gd5436Replicate(&pat, sw, sh, pDraw);
    gd5436CopyPattern(priv, &pat, boxes, count, alu, BLT_MODE_COPY);
}

/* Stages the GC's stipple below the opaque-row staging line (offY), in
 * fg and bg, and widens it for the boxes. False when it does not fit. */
static Bool gd5436StageStipple(GCPtr pGC, DrawablePtr pDraw, const BoxRec *boxes, int count,
                               Pixel fg, Pixel bg, gd5436Pattern *pat) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    PixmapPtr stipple = pGC->stipple;
    if (!stipple)
        return 0;
    int pw = stipple->drawable.width, ph = stipple->drawable.height;
    int lines = priv->offHeight - 1;
    if (pw <= 0 || ph <= 0 || 2 * pw > priv->offWidth || 2 * ph > lines)
        return 0;
    int maxW, maxH;
    gd5436LargestBox(boxes, count, &maxW, &maxH);
    int sw = gd5436StagingSide(maxW, pw), sh = gd5436StagingSide(maxH, ph);
    pat->x = priv->offX;
    pat->y = priv->offY + 1;
    pat->width = pw;
    pat->height = ph;
    if (!gd5436StagingFits(priv, pat->y, lines, sw, sh))
        return 0;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    pat->originX = gcPriv->patOrg.x;
    pat->originY = gcPriv->patOrg.y;
    BoxRec cell = {(int16_t)pat->x, (int16_t)pat->y, (int16_t)(pat->x + pw),
                   (int16_t)(pat->y + ph)};
    NAME(DrawOpaqueMonoImage)
    (&cell, (uint8_t *)stipple->devPrivate, 0, stipple->devKind, fg, bg, GXcopy, PLANEMASK_ALL,
     pDraw);
    gd5436Replicate(pat, sw, sh, pDraw);
    return 1;
}

void NAME(OpStippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    gd5436Pattern pat;
    if (!gd5436StageStipple(pGC, pDraw, boxes, count, gcPriv->fgPixel, gcPriv->bgPixel, &pat)) {
        genOpStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    gd5436CopyPattern(GD5436_PRIV(pDraw->pScreen), &pat, boxes, count, gcPriv->alu, BLT_MODE_COPY);
}

/* The transparent colour register compares bytes at one pixel byte, so the
 * colour goes in both of its bytes; at two it is the whole pixel. */
static uint16_t gd5436TransparentColour(Pixel colour) {
    if (PIXEL_BYTES == 1)
        return (uint16_t)((colour & 0xFF) * 0x0101u);
    return (uint16_t)colour;
}

void NAME(StippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    Pixel fg = gcPriv->fgPixel, bg = ~gcPriv->fgPixel;
    gd5436Pattern pat;
    /* The engine has no transparent copy of 3-byte pixels. */
    if (!gd5436Traits.transparentStipple ||
        !gd5436StageStipple(pGC, pDraw, boxes, count, fg, bg, &pat)) {
        genStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    EngineIdleWait(priv->bltBase);
    gd5436BltWrite16(priv->bltBase, BLT_TRANSPARENT, gd5436TransparentColour(bg));
    gd5436CopyPattern(priv, &pat, boxes, count, gcPriv->alu,
                      gd5436ModeFor(BLT_MODE_TRANSPARENT_COPY));
}
