/*
 * hobra: the engine's box, span and line operations: screen-to-screen
 * copies, points, solid boxes, solid spans, zero-width segments, and tiling
 * through the TileArea (the tile drawn once off screen, then copied).
 */
#include "hobra.h"

/* Line error terms the engine's registers hold: e and e1 in 13 bits, e2 in
 * 14; a segment outside them goes to the frame-buffer layer. */
#define ERR_MIN (-4096)
#define ERR_MAX 4095
#define DIAG_MIN (-8192)
#define DIAG_MAX 8191

#define CMD_LINE_X_MAJOR 0x2017
#define CMD_LINE_Y_MAJOR 0x2057

static inline uint16_t hobraPos(int v) {
    return (uint16_t)(v & POS_MASK);
}

static inline uint16_t hobraHeight(int h) {
    return (uint16_t)(MULTI_HEIGHT | ((h - 1) & MULTI_VALUE_MASK));
}

static inline uint16_t hobraFillMix(int alu) {
    return (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND);
}

void hobraCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr) {
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    /* An empty box would reach the engine as 2047 once less one is masked. */
    if (w <= 0 || h <= 0)
        return;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint16_t cmd = CMD_BLIT;
    /* Overlapping source and destination: walk away from the overlap. */
    if (dx > sx) {
        sx += w - 1;
        dx += w - 1;
        cmd &= (uint16_t)~CMD_X_INCREASING;
    }
    if (dy > sy) {
        sy += h - 1;
        dy += h - 1;
        cmd &= (uint16_t)~CMD_Y_INCREASING;
    }
    FifoSpaceWait(6);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_READ_MASK, (uint16_t)planemask);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_MEMORY));
    outw(HOBRA_CUR_X, hobraPos(sx));
    outw(HOBRA_CUR_Y, hobraPos(sy));
    FifoSpaceWait(5);
    outw(HOBRA_DEST_X, hobraPos(dx));
    outw(HOBRA_DEST_Y, hobraPos(dy));
    outw(HOBRA_MAJ_AXIS, (uint16_t)((w - 1) & POS_MASK));
    outw(HOBRA_MULTI, hobraHeight(h));
    outw(HOBRA_CMD, cmd);
}

void hobraDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr) {
    FifoSpaceWait(6);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_FG_MIX, hobraFillMix(alu));
    outw(HOBRA_FG_COLOUR, (uint16_t)fg);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_MAJ_AXIS, 0);
    for (int i = 0; i < count; i++) {
        FifoSpaceWait(3);
        outw(HOBRA_CUR_X, hobraPos(points[i].x));
        outw(HOBRA_CUR_Y, hobraPos(points[i].y));
        outw(HOBRA_CMD, CMD_STROKE);
    }
}

/* One box with the fill set up beforehand: the values go whole, unmasked,
 * behind a wait on the status the block routines read. */
void hobraBlamOutBox(int x, int y, int widthLess1, int heightLess1) {
    while (ioIn16(HOBRA_STATUS2) & (0x100 >> 5))
        ;
    outw(HOBRA_CUR_X, (uint16_t)x);
    outw(HOBRA_CUR_Y, (uint16_t)y);
    outw(HOBRA_MAJ_AXIS, (uint16_t)widthLess1);
    outw(HOBRA_MULTI, (uint16_t)heightLess1);
    outw(HOBRA_CMD, CMD_FILL);
}

/* Foreground colour, mix and masks of a solid fill. */
static void hobraSolidSetup(Pixel fg, int alu, uint32_t planemask) {
    FifoSpaceWait(5);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_FG_MIX, hobraFillMix(alu));
    outw(HOBRA_FG_COLOUR, (uint16_t)fg);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_READ_MASK, ALL_PLANES);
}

void hobraDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr) {
    hobraSolidSetup(fg, alu, planemask);
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        if (w <= 0 || h <= 0)
            continue;
        hobraBlamOutBox(boxes[i].x1, boxes[i].y1, w - 1, h - 1);
    }
}

static void hobraSpan(DDXPointPtr start, int width) {
    outw(HOBRA_MAJ_AXIS, (uint16_t)((width - 1) & POS_MASK));
    outw(HOBRA_CUR_X, hobraPos(start->x));
    outw(HOBRA_CUR_Y, hobraPos(start->y));
    outw(HOBRA_CMD, CMD_STROKE);
}

/* The next span from `i` on with pixels to draw, or `count`. A zero width
 * would reach the engine as 2047 once less one is masked. */
static int hobraNextSpan(const int *widths, int i, int count) {
    while (i < count && widths[i] <= 0)
        i++;
    return i;
}

void hobraSolidFS(GCPtr pGC, DrawablePtr, DDXPointPtr starts, int *widths, int count) {
    nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    hobraSolidSetup(gc->fgPixel, gc->alu, gc->planemask);
    int i = hobraNextSpan(widths, 0, count);
    while (i < count) {
        int j = hobraNextSpan(widths, i + 1, count);
        if (j == count) {
            FifoSpaceWait(4);
            hobraSpan(&starts[i], widths[i]);
            return;
        }
        FifoSpaceWait(HOBRA_FIFO_DEPTH);
        hobraSpan(&starts[i], widths[i]);
        hobraSpan(&starts[j], widths[j]);
        i = hobraNextSpan(widths, j + 1, count);
    }
}

void hobraFillZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                      int y1, int e, int e1, int e2, int len) {
    if (e < ERR_MIN || e > ERR_MAX || e1 < ERR_MIN || e1 > ERR_MAX || e2 < DIAG_MIN ||
        e2 > DIAG_MAX) {
        genSolidZeroSeg(pGC, pDraw, signdx, signdy, axis, x1, y1, e, e1, e2, len);
        return;
    }
    if (len <= 0)
        return;
    nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    uint16_t cmd = axis == 0 ? CMD_LINE_X_MAJOR : CMD_LINE_Y_MAJOR;
    if (signdx > 0)
        cmd |= CMD_X_INCREASING;
    if (signdy > 0)
        cmd |= CMD_Y_INCREASING;
    FifoSpaceWait(HOBRA_FIFO_DEPTH);
    outw(HOBRA_WRITE_MASK, (uint16_t)gc->planemask);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_ERR_TERM, (uint16_t)e);
    outw(HOBRA_DEST_Y, (uint16_t)e1);
    outw(HOBRA_DEST_X, (uint16_t)e2);
    outw(HOBRA_FG_MIX, hobraFillMix(gc->alu));
    outw(HOBRA_FG_COLOUR, (uint16_t)gc->fgPixel);
    FifoSpaceWait(4);
    outw(HOBRA_MAJ_AXIS, (uint16_t)(len & POS_MASK));
    outw(HOBRA_CUR_X, hobraPos(x1));
    outw(HOBRA_CUR_Y, hobraPos(y1));
    outw(HOBRA_CMD, cmd);
}

/* ---- tiles ---- */

static int hobraReplicableAlu(int alu) {
    return alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
}

/* (v - origin) mod size, in 0 to size - 1. */
static int hobraPhase(int v, int origin, int size) {
    int r = (v - origin) % size;
    return r < 0 ? r + size : r;
}

static void hobraCopyPart(int x1, int y1, int x2, int y2, DDXPointPtr src, int alu,
                          uint32_t planemask, DrawablePtr pDraw) {
    BoxRec b;
    b.x1 = (int16_t)x1;
    b.y1 = (int16_t)y1;
    b.x2 = (int16_t)x2;
    b.y2 = (int16_t)y2;
    hobraCopyRect(&b, src, alu, planemask, pDraw);
}

/* One band: columns of repW pixels from x1, each copied from the source. */
void hobraTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int repW, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    int x = box->x1;
    for (; x + repW <= box->x2; x += repW)
        hobraCopyPart(x, box->y1, x + repW, box->y2, src, alu, planemask, pDraw);
    if (x < box->x2)
        hobraCopyPart(x, box->y1, box->x2, box->y2, src, alu, planemask, pDraw);
}

/* Bands of repH lines from y1; every band and column starts in the tile's
 * phase, since repW and repH are whole tiles. */
void hobraTileAreaSlow(BoxPtr box, DDXPointPtr src, int repH, int repW, int alu, uint32_t planemask,
                       DrawablePtr pDraw) {
    BoxRec band = *box;
    int y = box->y1;
    for (; y + repH <= box->y2; y += repH) {
        band.y1 = (int16_t)y;
        band.y2 = (int16_t)(y + repH);
        hobraTileAreaSlowXExpand(&band, src, repW, alu, planemask, pDraw);
    }
    if (y < box->y2) {
        band.y1 = (int16_t)y;
        band.y2 = box->y2;
        hobraTileAreaSlowXExpand(&band, src, repW, alu, planemask, pDraw);
    }
}

void hobraTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    const hobraRect *area = &priv->tileArea;
    uint32_t cols = tileWidth > 0 ? (uint32_t)area->width / (uint32_t)tileWidth : 0;
    uint32_t rows = tileHeight > 0 ? (uint32_t)area->height / (uint32_t)tileHeight : 0;
    if (cols < 2 || rows < 2 || (count < 2 && hobraReplicableAlu(alu))) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    int repW = (int)(cols - 1) * tileWidth, repH = (int)(rows - 1) * tileHeight;

    BoxRec cell;
    cell.x1 = (int16_t)area->x;
    cell.y1 = (int16_t)area->y;
    cell.x2 = (int16_t)(area->x + tileWidth);
    cell.y2 = (int16_t)(area->y + tileHeight);
    BoxRec clip;
    hobraOpenScissors(priv, &clip);
    hobraDrawImage(&cell, tile, tileStride, GXcopy, ~0u, pDraw);

    int maxW = 0, maxH = 0;
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        maxW = w > maxW ? w : maxW;
        maxH = h > maxH ? h : maxH;
    }
    BoxRec staged = cell;
    staged.x2 =
        (int16_t)(area->x + (maxW + tileWidth < area->width ? maxW + tileWidth : area->width));
    staged.y2 =
        (int16_t)(area->y + (maxH + tileHeight < area->height ? maxH + tileHeight : area->height));
    nfbReplicateArea(&staged, tileWidth, tileHeight, ~0u, pDraw);
    hobraCloseScissors(priv, &clip);

    for (int i = 0; i < count; i++) {
        BoxPtr b = &boxes[i];
        int w = b->x2 - b->x1, h = b->y2 - b->y1;
        if (w <= 0 || h <= 0)
            continue;
        DDXPointRec src;
        src.x = (int16_t)(area->x + hobraPhase(b->x1, patOrg->x, tileWidth));
        src.y = (int16_t)(area->y + hobraPhase(b->y1, patOrg->y, tileHeight));
        if (w < repW && h < repH) {
            hobraCopyRect(b, &src, alu, planemask, pDraw);
        } else if (hobraReplicableAlu(alu)) {
            hobraCopyPart(b->x1, b->y1, b->x1 + (w < repW ? w : repW),
                          b->y1 + (h < repH ? h : repH), &src, alu, planemask, pDraw);
            nfbReplicateArea(b, repW, repH, planemask, pDraw);
        } else {
            hobraTileAreaSlow(b, &src, repH, repW, alu, planemask, pDraw);
        }
    }
}
