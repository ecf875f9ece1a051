/*
 * fuska: tiled rectangles. Tiles of 2, 4 or 8 pixels each way become the
 * engine's 8 x 8 pattern; any other tile is drawn once into the
 * ScratchArea, widened there to cover the largest box, and copied per box
 * from the offset that matches the pattern origin.
 */
#include "fuska.h"

/* Bytes of one pattern row in the pattern cell: 8 pixels, padded to 32 bytes
 * with a copy of its first 8 at 3 bytes per pixel. */
static inline int fuskaPatternRowBytes(int bpp) {
    return bpp == 3 ? 32 : 8 * bpp;
}

/* The pattern coordinate of `v` for a pattern of `size` whose origin is at
 * `org`, also left of and above the origin. */
static inline int fuskaPatternPhase(int v, int org, int size) {
    int m = (v - org) % size;
    return m < 0 ? m + size : m;
}

static inline Bool fuskaPatternSize(int n) {
    return n == 2 || n == 4 || n == 8;
}

/* The tile as the engine's 8 x 8 pattern. The engine takes cell row y mod 8
 * for screen line y and shifts columns by the pattern offset register, which
 * takes the origin's x; the origin's y is applied here, by rotating the
 * tile's rows as they are loaded. */
static void fuskaDownloadTile(const fuskaScreenPrivate *priv, int depth, const uint8_t *tile,
                              int tileStride, int tw, int th, const DDXPointRec *patOrg) {
    int bpp = fuskaBytesPerPixel(depth);
    int clientBytes = bpp == 3 ? 4 : bpp;
    int rowBytes = fuskaPatternRowBytes(bpp);
    fuskaWrite16(priv, REG_PATTERN_OFFSET, (uint16_t)patOrg->x);
    for (int r = 0; r < 8; r++) {
        const uint8_t *src = tile + (intptr_t)fuskaPatternPhase(r, patOrg->y, th) * tileStride;
        int at = r * rowBytes;
        uint8_t *row =
            priv->fbBase + priv->patternAddr + (at / TILE_BYTES) * priv->pitch + at % TILE_BYTES;
        for (int c = 0; c < 8; c++)
            __builtin_memcpy(row + c * bpp, src + (c % tw) * clientBytes, (size_t)bpp);
        if (bpp == 3)
            __builtin_memcpy(row + 24, row, 8);
    }
}

static void fuskaPatternTileRects(const fuskaScreenPrivate *priv, int depth, const BoxRec *boxes,
                                  int count, const uint8_t *tile, int tileStride, int tw, int th,
                                  const DDXPointRec *patOrg, int alu, uint32_t planemask) {
    /* The previous fill may still read the pattern cell. */
    fuskaEngineIdleWait(priv);
    fuskaDownloadTile(priv, depth, tile, tileStride, tw, th, patOrg);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_PATTERN | fuskaRasterOps[alu & 0xF]);
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        fuskaEngineIdleWait(priv);
        fuskaWrite32(priv, REG_MONO_SOURCE, XY(priv->patternX, priv->patternY));
        fuskaStart(priv, REG_DESTINATION, XY(b->x1, b->y1), b->x2 - b->x1, b->y2 - b->y1);
    }
}

/* ---- Tiles staged in the ScratchArea ---- */

/* The staged area's extent along one axis: the largest box plus one tile,
 * so a copy may start anywhere within the first tile. */
static int fuskaStagedExtent(int largest, int tileSize) {
    int span = largest == 1 ? tileSize : (largest > tileSize ? largest : tileSize);
    return span + tileSize;
}

static DrawImageProc fuskaDrawImageFor(int depth) {
    switch (fuskaBytesPerPixel(depth)) {
    case 1:
        return fuska_8bppDrawImage;
    case 2:
        return fuska_16bppDrawImage;
    default:
        return fuska_24bppDrawImage;
    }
}

/* False when the tile cannot be staged; the caller then draws generically. */
static Bool fuskaStageTile(const fuskaScreenPrivate *priv, const BoxRec *boxes, int count,
                           uint8_t *tile, int tileStride, int tw, int th, DrawablePtr pDraw) {
    if (priv->offWidth < 2 * tw || priv->offHeight < 2 * th)
        return 0;
    int maxW = 0, maxH = 0;
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        maxW = w > maxW ? w : maxW;
        maxH = h > maxH ? h : maxH;
    }
    /* One-line boxes gain nothing from staging. */
    if (maxH <= 1)
        return 0;
    int areaW = fuskaStagedExtent(maxW, tw), areaH = fuskaStagedExtent(maxH, th);
    if (areaW > priv->offWidth || areaH > priv->offHeight)
        return 0;
    BoxRec cell = {(int16_t)priv->offX, (int16_t)priv->offY, (int16_t)(priv->offX + tw),
                   (int16_t)(priv->offY + th)};
    fuskaDrawImageFor(pDraw->pScreen->rootDepth)(&cell, tile, tileStride, GXcopy, ~0u, pDraw);
    if (areaW > tw || areaH > th) {
        BoxRec area = {(int16_t)priv->offX, (int16_t)priv->offY, (int16_t)(priv->offX + areaW),
                       (int16_t)(priv->offY + areaH)};
        nfbReplicateArea(&area, tw, th, ~0u, pDraw);
    }
    return 1;
}

static void fuskaUnnaturalTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tw,
                                    int th, DDXPointPtr patOrg, int alu, uint32_t planemask,
                                    DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    if (!fuskaStageTile(priv, boxes, count, tile, tileStride, tw, th, pDraw)) {
        genTileRects(boxes, count, tile, tileStride, tw, th, patOrg, alu, planemask, pDraw);
        return;
    }
    fuskaEngineIdleWait(priv);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_COPY | fuskaRasterOps[alu & 0xF]);
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        int sx = priv->offX + fuskaPatternPhase(b->x1, patOrg->x, tw);
        int sy = priv->offY + fuskaPatternPhase(b->y1, patOrg->y, th);
        fuskaEngineIdleWait(priv);
        fuskaWrite32(priv, REG_SOURCE, XY(sx, sy));
        fuskaStart(priv, REG_DESTINATION, XY(b->x1, b->y1), b->x2 - b->x1, b->y2 - b->y1);
    }
}

void fuskaTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (fuskaNeedsFallback(depth, alu, planemask) || (count > 0 && !boxes) || !tile || !patOrg ||
        tileWidth <= 0 || tileHeight <= 0) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    if (count <= 0)
        return;
    if (fuskaPatternSize(tileWidth) && fuskaPatternSize(tileHeight))
        fuskaPatternTileRects(FUSKA_PRIV(pScreen), depth, boxes, count, tile, tileStride, tileWidth,
                              tileHeight, patOrg, alu, planemask);
    else
        fuskaUnnaturalTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu,
                                planemask, pDraw);
}
