/*
 * rasmo: stippled, opaque-stippled and tiled boxes.
 *
 * Two engine paths. The pattern path loads one row of a small pattern at a
 * time into the pattern registers (monochrome bits for stipples, colour
 * words for tiles) and draws every scanline of every box that uses that row
 * as one run, the pattern index set to the box's offset into the pattern.
 * The staging path draws the pattern once into the TileArea through the
 * window's own image slots, doubles it there, and fills each box with a copy
 * from it and then with copies of the part of the box already drawn, each
 * doubling what is there. What neither path takes goes to the server.
 */
#include "rasmo.h"

#define MONO_PATTERN_MAX 32 /* bits of the monochrome pattern */
#define COLOUR_PATTERN_WORDS 16
#define TILE8_PATTERN_MAX 32 /* 8-bit pixels: two a word */
#define TILE16_PATTERN_MAX 16

/* ---- shared ---- */

/* a - origin brought into 0 to size - 1, also for an origin right of or
 * below a. */
static int rasmoPatternOffset(int a, int origin, int size) {
    int m = (a - origin) % size;
    return m < 0 ? m + size : m;
}

static Bool rasmoWiderThan(const BoxRec *boxes, int count, int w) {
    for (int i = 0; i < count; i++)
        if (boxes[i].x2 - boxes[i].x1 > w)
            return 1;
    return 0;
}

/* Per-box offsets into the pattern, one x and y pair a box; null when there
 * is no memory for them. */
static int16_t *rasmoOffsetTable(const BoxRec *boxes, int count, int w, int h, DDXPointPtr org) {
    int16_t *table = (int16_t *)Xalloc((uint32_t)(2 * count * sizeof(int16_t)));
    if (!table)
        return 0;
    for (int i = 0; i < count; i++) {
        table[2 * i] = (int16_t)rasmoPatternOffset(boxes[i].x1, org->x, w);
        table[2 * i + 1] = (int16_t)rasmoPatternOffset(boxes[i].y1, org->y, h);
    }
    return table;
}

/* Every scanline of every box that uses pattern row `row` as one run
 * starting at the box's offset into the pattern. */
static void rasmoPatternRuns(const BoxRec *boxes, int count, const int16_t *offsets, int row,
                             int h) {
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        int y = b->y1 + row - offsets[2 * i + 1];
        if (y < b->y1)
            y += h;
        for (; y < b->y2; y += h) {
            rasmoFifoSpaceWait(4);
            outw(PATT_INDEX, (uint16_t)offsets[2 * i]);
            outw(CUR_X, (uint16_t)b->x1);
            outw(CUR_Y, (uint16_t)y);
            outw(RUN_LENGTH, (uint16_t)(b->x2 - b->x1));
        }
    }
}

/* ---- pattern path ---- */

/* Byte i of a stipple row, 0 past the row's bytes. */
static uint8_t rasmoStippleByte(const PixmapRec *st, const uint8_t *row, int i) {
    return i < st->devKind ? ddxBitSwap[row[i]] : 0;
}

/* The monochrome pattern: 1 bits take the foreground, 0 bits the background
 * (opaque) or leave the screen. 0 when the offset table cannot be had. */
static Bool rasmoHWStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count,
                                     Bool opaque) {
    (void)pDraw;
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    const PixmapRec *st = pGC->stipple;
    const int w = st->drawable.width, h = st->drawable.height;
    int16_t *offsets = rasmoOffsetTable(boxes, count, w, h, &gcPriv->patOrg);
    if (!offsets)
        return 0;

    rasmoFifoSpaceWait(8);
    outw(DATA_PATH, DP_MONO_PATTERN);
    outw(FRGD_MIX, rasmoRasterOp[gcPriv->alu & 0xF]);
    outw(FRGD_COLOR, (uint16_t)gcPriv->fgPixel);
    if (opaque) {
        outw(BKGD_MIX, rasmoRasterOp[gcPriv->alu & 0xF]);
        outw(BKGD_COLOR, (uint16_t)gcPriv->bgPixel);
    } else {
        outw(BKGD_MIX, rasmoRasterOp[GXnoop]);
    }
    outw(WRT_MASK, (uint16_t)gcPriv->planemask);
    outw(PATT_LENGTH, (uint16_t)(w - 1));
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);

    const uint8_t *row = (const uint8_t *)st->devPrivate;
    for (int i = 0; i < h; i++, row += st->devKind) {
        rasmoFifoSpaceWait(3);
        outw(PATT_DATA_INDEX, PATT_INDEX_MONO);
        outw(PATT_DATA,
             (uint16_t)(rasmoStippleByte(st, row, 0) | rasmoStippleByte(st, row, 1) << 8));
        if (w >= 16)
            outw(PATT_DATA,
                 (uint16_t)(rasmoStippleByte(st, row, 2) | rasmoStippleByte(st, row, 3) << 8));
        rasmoPatternRuns(boxes, count, offsets, i, h);
    }
    Xfree(offsets);
    return 1;
}

/* Word k of a tile row of q words: two 8-bit pixels (the first low) or one
 * 16-bit pixel. The half word past an odd 8-bit row is not read. */
static uint16_t rasmoTileWord(const uint8_t *row, int k, int w, int pixelShift) {
    if (pixelShift)
        return (uint16_t)(row[2 * k] | row[2 * k + 1] << 8);
    return (uint16_t)(row[2 * k] | (2 * k + 1 < w ? row[2 * k + 1] << 8 : 0));
}

/* The colour pattern, q words a tile row. 0 when the offset table cannot be
 * had. */
static Bool rasmoHWTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int w, int h,
                             DDXPointPtr patOrg, int q, int alu, uint32_t planemask,
                             int pixelShift) {
    int16_t *offsets = rasmoOffsetTable(boxes, count, w, h, patOrg);
    if (!offsets)
        return 0;
    rasmoFifoSpaceWait(5);
    outw(DATA_PATH, DP_COLOUR_PATTERN);
    outw(PATT_LENGTH, (uint16_t)(w - 1));
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(WRT_MASK, (uint16_t)planemask);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);

    const uint8_t *row = tile;
    for (int i = 0; i < h; i++, row += tileStride) {
        /* The FIFO holds 16 entries: a full row of 16 words and its index
         * write need two waits. */
        rasmoFifoSpaceWait(q < COLOUR_PATTERN_WORDS ? q + 1 : COLOUR_PATTERN_WORDS);
        outw(PATT_DATA_INDEX, PATT_INDEX_COLOUR);
        for (int k = 0; k < q; k++) {
            if (k == COLOUR_PATTERN_WORDS - 1)
                rasmoFifoSpaceWait(1);
            outw(PATT_DATA, rasmoTileWord(row, k, w, pixelShift));
        }
        rasmoPatternRuns(boxes, count, offsets, i, h);
    }
    Xfree(offsets);
    return 1;
}

/* ---- staging path ---- */

/* Staging needs a raster op that does not read the screen and room for the
 * doubled pattern. The copies of a box's drawn part would spread whatever a
 * client clip kept out of it, so a clip other than the whole space leaves
 * the boxes to the server. */
static Bool rasmoCanStage(const rasmoScreenPrivate *priv, int alu, int w, int h) {
    const Bool unclipped = priv->clipX1 == 0 && priv->clipY1 == 0 && priv->clipX2 == CLIP_LIMIT &&
                           priv->clipY2 == CLIP_LIMIT;
    return unclipped && !rop_needs_dst[alu & 0xF] && priv->offscreenWidth >= 2 * w &&
           priv->offscreenHeight >= 2 * h;
}

static void rasmoCopyTo(int x, int y) {
    outw(COPY_DEST_X, (uint16_t)x);
    outw(COPY_DEST_Y, (uint16_t)y);
    outw(CMD, CMD_COPY);
}

/* The pattern, drawn at the TileArea's corner, doubled to 2w by 2h there:
 * copied to its right, then the band below itself. Leaves the copy set up
 * with the caller's mix and plane mask. */
static void rasmoDoubleStaged(const rasmoScreenPrivate *priv, int w, int h, int alu,
                              uint32_t planemask) {
    const int ox = priv->offscreenX, oy = priv->offscreenY;
    rasmoFifoSpaceWait(7);
    outw(DATA_PATH, DP_COPY);
    outw(FRGD_MIX, rasmoRasterOp[GXcopy]);
    outw(WRT_MASK, 0xFFFF);
    outw(MAJ_AXIS_PCNT, (uint16_t)(w - 1));
    outw(MULTI_HEIGHT, (uint16_t)(h - 1));
    outw(CUR_X, (uint16_t)ox);
    outw(CUR_Y, (uint16_t)oy);
    rasmoFifoSpaceWait(8);
    rasmoCopyTo(ox + w, oy);
    /* The engine leaves the destination row below the block it copied. */
    outw(MAJ_AXIS_PCNT, (uint16_t)(2 * w - 1));
    outw(COPY_DEST_X, (uint16_t)ox);
    outw(CMD, CMD_COPY);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(WRT_MASK, (uint16_t)planemask);
}

/* Each box: a copy of up to w by h from the staged pattern at the box's
 * offset, then its drawn part copied to its right and below, doubling each
 * time. The first copy takes the caller's raster op; the copies of the
 * box's own part take GXcopy under the plane mask, since the raster op has
 * already been applied to what they copy (GXcopyInverted would otherwise
 * turn every second copy back). */
static void rasmoStagedBoxes(const rasmoScreenPrivate *priv, const BoxRec *boxes, int count, int w,
                             int h, DDXPointPtr org, int alu) {
    const int ox = priv->offscreenX, oy = priv->offscreenY;
    const uint16_t aluMix = rasmoRasterOp[alu & 0xF], copyMix = rasmoRasterOp[GXcopy];
    uint16_t mix = aluMix;
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        const int bw = b->x2 - b->x1, bh = b->y2 - b->y1;
        if (bw <= 0 || bh <= 0)
            continue;
        int u = bw < w ? bw : w, m = bh < h ? bh : h;
        int rw = bw - u, rh = bh - m;

        rasmoFifoSpaceWait(mix == aluMix ? 7 : 8);
        if (mix != aluMix) {
            outw(FRGD_MIX, aluMix);
            mix = aluMix;
        }
        outw(MAJ_AXIS_PCNT, (uint16_t)(u - 1));
        outw(MULTI_HEIGHT, (uint16_t)(m - 1));
        outw(CUR_X, (uint16_t)(ox + rasmoPatternOffset(b->x1, org->x, w)));
        outw(CUR_Y, (uint16_t)(oy + rasmoPatternOffset(b->y1, org->y, h)));
        rasmoCopyTo(b->x1, b->y1);
        if (rw == 0 && rh == 0)
            continue;

        const Bool switchMix = mix != copyMix;
        rasmoFifoSpaceWait(switchMix ? 3 : 2);
        if (switchMix) {
            outw(FRGD_MIX, copyMix);
            mix = copyMix;
        }
        outw(CUR_X, (uint16_t)b->x1);
        outw(CUR_Y, (uint16_t)b->y1);
        for (int x = b->x1 + u; rw != 0;) {
            const int chunk = u < rw ? u : rw;
            rasmoFifoSpaceWait(4);
            outw(MAJ_AXIS_PCNT, (uint16_t)(chunk - 1));
            rasmoCopyTo(x, b->y1);
            x += chunk;
            rw -= chunk;
            u = 2 * chunk;
        }
        if (rh == 0)
            continue;
        rasmoFifoSpaceWait(2);
        outw(MAJ_AXIS_PCNT, (uint16_t)(bw - 1));
        outw(COPY_DEST_X, (uint16_t)b->x1);
        /* Each copy's destination row is the one below the last. */
        while (rh != 0) {
            const int chunk = m < rh ? m : rh;
            rasmoFifoSpaceWait(2);
            outw(MULTI_HEIGHT, (uint16_t)(chunk - 1));
            outw(CMD, CMD_COPY);
            rh -= chunk;
            m = 2 * chunk;
        }
    }
}

static WinOps *rasmoWindowOps(DrawablePtr pDraw) {
    return NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
}

/* The stipple drawn in the GC's two colours at the TileArea's corner
 * through the window's own opaque bitmap slot, then the boxes. */
static void rasmoOSOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr st = pGC->stipple;
    const int w = st->drawable.width, h = st->drawable.height;
    BoxRec staged = {priv->offscreenX, priv->offscreenY, (int16_t)(priv->offscreenX + w),
                     (int16_t)(priv->offscreenY + h)};
    rasmoWindowOps(pDraw)->DrawOpaqueMonoImage(&staged, (uint8_t *)st->devPrivate, 0, st->devKind,
                                               gcPriv->fgPixel, gcPriv->bgPixel, GXcopy, ~0u,
                                               pDraw);
    rasmoDoubleStaged(priv, w, h, gcPriv->alu, gcPriv->planemask);
    rasmoStagedBoxes(priv, boxes, count, w, h, &gcPriv->patOrg, gcPriv->alu);
}

static void rasmoOSTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int w, int h,
                             DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    BoxRec staged = {priv->offscreenX, priv->offscreenY, (int16_t)(priv->offscreenX + w),
                     (int16_t)(priv->offscreenY + h)};
    rasmoWindowOps(pDraw)->DrawImage(&staged, tile, tileStride, GXcopy, ~0u, pDraw);
    rasmoDoubleStaged(priv, w, h, alu, planemask);
    rasmoStagedBoxes(priv, boxes, count, w, h, patOrg, alu);
}

/* ---- the slots ---- */

static Bool rasmoSmallPattern(int w, int h, int limit) {
    return w > 0 && h > 0 && w <= limit && h <= limit;
}

void rasmoStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    if (count <= 0)
        return;
    const PixmapRec *st = pGC->stipple;
    /* Without memory for the offset table the server draws the boxes. */
    if (!rasmoSmallPattern(st->drawable.width, st->drawable.height, MONO_PATTERN_MAX) ||
        !rasmoHWStippledFillRects(pGC, pDraw, boxes, count, 0))
        genStippledFillRects(pGC, pDraw, boxes, count);
}

void rasmoOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    if (count <= 0)
        return;
    const PixmapRec *st = pGC->stipple;
    const int w = st->drawable.width, h = st->drawable.height;
    if (rasmoSmallPattern(w, h, MONO_PATTERN_MAX) && rasmoWiderThan(boxes, count, w)) {
        if (!rasmoHWStippledFillRects(pGC, pDraw, boxes, count, 1))
            genOpStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    if (w > 0 && h > 0 && rasmoCanStage(RASMO_PRIV(pDraw->pScreen), NFB_GC_PRIV(pGC)->alu, w, h)) {
        rasmoOSOpStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    genOpStippledFillRects(pGC, pDraw, boxes, count);
}

static void rasmoTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int w, int h,
                           DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw,
                           int limit, int q) {
    if (count <= 0)
        return;
    const int pixelShift = RASMO_PRIV(pDraw->pScreen)->pixelShift;
    if (rasmoSmallPattern(w, h, limit) && rasmoWiderThan(boxes, count, w)) {
        if (!rasmoHWTileRects(boxes, count, tile, tileStride, w, h, patOrg, q, alu, planemask,
                              pixelShift))
            genTileRects(boxes, count, tile, tileStride, w, h, patOrg, alu, planemask, pDraw);
        return;
    }
    if (w > 0 && h > 0 && rasmoCanStage(RASMO_PRIV(pDraw->pScreen), alu, w, h)) {
        rasmoOSTileRects(boxes, count, tile, tileStride, w, h, patOrg, alu, planemask, pDraw);
        return;
    }
    genTileRects(boxes, count, tile, tileStride, w, h, patOrg, alu, planemask, pDraw);
}

void rasmoTileRects8(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    rasmoTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                   pDraw, TILE8_PATTERN_MAX, (tileWidth + 1) / 2);
}

void rasmoTileRects16(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                      int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    rasmoTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                   pDraw, TILE16_PATTERN_MAX, tileWidth);
}
