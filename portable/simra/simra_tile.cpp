/*
 * simra: tiles and stipples. One pattern is held in video memory at a time,
 * under the serial number of the pixmap it came from: a pattern of at most
 * 8 x 8 with power-of-two sides fills the 64-pixel pattern cell and is drawn
 * by the engine's pattern commands; a larger one is placed at the staging
 * area's origin and doubled to twice its size, so that a tile-sized window
 * at any phase holds it in phase, and boxes are covered by screen copies.
 * Stipples are held as pixels that are all ones where the stipple is set;
 * the engine expands them testing bit 0.
 */
#include "simra.h"

#define PATTERN_SIDE 8
#define STIPPLE_PLANE 1

static uint32_t simraModeScreen(const simraScreenPrivate *priv) {
    return priv->pixelSizeBits | MODE_SCREEN;
}

static Bool simraPatternSide(int side) {
    return side == 1 || side == 2 || side == 4 || side == 8;
}

/* When the screen fills video memory to its last line, the cell lies
 * beyond it: such a cell is not there to be used. */
static Bool simraPatternCellUsable(const simraScreenPrivate *priv) {
    const uint64_t start = (uint64_t)priv->pitch * (uint32_t)priv->patternY +
                           (uint64_t)priv->bytesPerPixel * (uint32_t)priv->patternX;
    return priv->patternY < WD_COORD_LIMIT &&
           start + (uint64_t)PATTERN_PIXELS * (uint32_t)priv->bytesPerPixel <= priv->memorySize;
}

static uint32_t simraPatternOffset(const simraScreenPrivate *priv) {
    return priv->pitch * (uint32_t)priv->patternY +
           (uint32_t)priv->bytesPerPixel * (uint32_t)priv->patternX;
}

static void simraStorePixel(uint8_t *cell, int index, int bpp, uint32_t pixel) {
    cell[index * bpp] = (uint8_t)pixel;
    if (bpp == 2)
        cell[index * bpp + 1] = (uint8_t)(pixel >> 8);
}

/* The 8 x 8 cell: each pattern row repeated across, the rows repeated down. */
static void simraWritePatternCell(simraScreenPrivPtr priv, const uint8_t *data, int stride,
                                  int width, int height, Bool stipple) {
    const int bpp = priv->bytesPerPixel;
    uint8_t cell[PATTERN_PIXELS * 2];
    for (int y = 0; y < PATTERN_SIDE; y++) {
        const uint8_t *row = data + (ptrdiff_t)(y % height) * stride;
        for (int x = 0; x < PATTERN_SIDE; x++) {
            const int sx = x % width;
            uint32_t pixel;
            if (stipple)
                pixel = (row[sx / 8] >> (sx % 8)) & 1 ? (bpp == 2 ? 0xFFFFu : 0xFFu) : 0;
            else
                pixel = bpp == 2 ? (uint32_t)(row[2 * sx] | row[2 * sx + 1] << 8) : row[sx];
            simraStorePixel(cell, y * PATTERN_SIDE + x, bpp, pixel);
        }
    }
    simraWaitIdle();
    simraWalk walk;
    const uint32_t n = (uint32_t)(PATTERN_PIXELS * bpp);
    simraWalkStart(priv, &walk, simraPatternOffset(priv), n);
    simraWindowWrite(walk.at, cell, n);
}

/* Copies the box's own top-left cellW x cellH cell over the whole box,
 * doubling the covered part each time. Block 1 is selected on entry. */
static void simraReplicateArea(simraRegs *r, int x, int y, int w, int h, int cellW, int cellH) {
    simraScreenPrivPtr priv = r->priv;
    simraWaitQueue(4);
    simraB1(r, B1_SRC_X, (uint32_t)x);
    simraB1(r, B1_SRC_Y, (uint32_t)y);
    simraB1(r, B1_MODE, simraModeScreen(priv));
    if (cellW < w) {
        const int copyH = cellH < h ? cellH : h;
        Bool first = 1;
        for (int covered = cellW; covered < w;) {
            const int n = covered < w - covered ? covered : w - covered;
            if (first) {
                simraWaitQueue(3);
                simraB1(r, B1_HEIGHT, (uint32_t)(copyH - 1));
            } else {
                simraWaitQueue(4);
            }
            simraB1(r, B1_WIDTH, (uint32_t)(n - 1));
            simraB1(r, B1_DST_X, (uint32_t)(x + covered));
            simraB1(r, B1_DST_Y, (uint32_t)y);
            simraB1(r, B1_COMMAND, CMD_COPY);
            first = 0;
            covered += n;
        }
    }
    if (cellH < h) {
        Bool first = 1;
        for (int covered = cellH; covered < h;) {
            const int n = covered < h - covered ? covered : h - covered;
            if (first) {
                simraWaitQueue(3);
                simraB1(r, B1_WIDTH, (uint32_t)(w - 1));
                simraB1(r, B1_HEIGHT, (uint32_t)(n - 1));
                simraB1(r, B1_DST_X, (uint32_t)x);
            } else {
                simraWaitQueue(5);
                simraB1(r, B1_HEIGHT, (uint32_t)(n - 1));
            }
            simraB1(r, B1_DST_Y, (uint32_t)(y + covered));
            simraB1(r, B1_COMMAND, CMD_COPY);
            first = 0;
            covered += n;
        }
    }
}

/* Covers the box cell by cell from the tile-sized window at (sx, sy). Block
 * 1 is selected on entry. */
static void simraCoverArea(simraRegs *r, int sx, int sy, int tileW, int tileH, int x, int y, int w,
                           int h, Bool mono) {
    const uint32_t command = mono ? CMD_EXPAND : CMD_COPY;
    simraWaitQueue(6);
    simraB1(r, B1_SRC_X, (uint32_t)sx);
    simraB1(r, B1_SRC_Y, (uint32_t)sy);
    for (int cy = y; cy < y + h; cy += tileH) {
        const int ch = y + h - cy < tileH ? y + h - cy : tileH;
        for (int cx = x; cx < x + w; cx += tileW) {
            const int cw = x + w - cx < tileW ? x + w - cx : tileW;
            simraWaitQueue(3);
            simraB1(r, B1_WIDTH, (uint32_t)(cw - 1));
            simraB1(r, B1_HEIGHT, (uint32_t)(ch - 1));
            simraB1(r, B1_DST_X, (uint32_t)cx);
            simraB1(r, B1_DST_Y, (uint32_t)cy);
            simraB1(r, B1_COMMAND, command);
        }
    }
}

static void simraFinishLoad(simraScreenPrivPtr priv, simraRegs *r, int width, int height,
                            uint32_t key) {
    simraReplicateArea(r, priv->tileAreaX, priv->tileAreaY, 2 * width, 2 * height, width, height);
    simraEnd(r);
    priv->loadedKey = key;
    priv->loadedKind = LOADED_STAGING;
}

static int simraPatternLoaded(simraScreenPrivPtr priv, uint32_t key) {
    priv->loadedKey = key;
    priv->loadedKind = LOADED_PATTERN;
    return LOADED_PATTERN;
}

static Bool simraFitsStaging(const simraScreenPrivate *priv, int width, int height) {
    return width <= priv->tileAreaMaxWidth && height <= priv->tileAreaMaxHeight;
}

static int simraLoadTile(const uint8_t *pixels, int stride, int width, int height,
                         simraScreenPrivPtr priv, uint32_t key) {
    if (priv->loadedKey != 0 && priv->loadedKey == key)
        return priv->loadedKind;
    if (width <= 0 || height <= 0)
        return 0;
    if (simraPatternSide(width) && simraPatternSide(height)) {
        if (!simraPatternCellUsable(priv))
            return 0;
        simraWritePatternCell(priv, pixels, stride, width, height, 0);
        return simraPatternLoaded(priv, key);
    }
    if (!simraFitsStaging(priv, width, height))
        return 0;
    const uint32_t n = (uint32_t)(width * priv->bytesPerPixel);
    simraWaitIdle();
    simraWalk walk;
    simraWalkStart(priv, &walk,
                   priv->pitch * (uint32_t)priv->tileAreaY +
                       (uint32_t)(priv->tileAreaX * priv->bytesPerPixel),
                   n);
    for (int y = 0; y < height; y++) {
        if (y)
            simraWalkNext(priv, &walk);
        simraWindowWrite(walk.at, pixels + (ptrdiff_t)y * stride, n);
    }
    simraRegs r = simraBegin(priv);
    simraWaitQueue(4);
    simraReg(&r, WD_B3, B3_PLANE_MASK, 0xFF);
    simraReg(&r, WD_B3, B3_PLANE_MASK + 1, 0xFF);
    simraB1(&r, B1_ROP, simraRop(GXcopy));
    simraFinishLoad(priv, &r, width, height, key);
    return LOADED_STAGING;
}

static int simraLoadStipple(const uint8_t *bits, int stride, int width, int height,
                            simraScreenPrivPtr priv, uint32_t key) {
    if (priv->loadedKey != 0 && priv->loadedKey == key)
        return priv->loadedKind;
    if (width <= 0 || height <= 0)
        return 0;
    if (simraPatternSide(width) && simraPatternSide(height)) {
        if (!simraPatternCellUsable(priv))
            return 0;
        simraWritePatternCell(priv, bits, stride, width, height, 1);
        return simraPatternLoaded(priv, key);
    }
    if (!simraFitsStaging(priv, width, height))
        return 0;
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_BG, 0);
    simraReg16(&r, B3_FG, priv->pixelMask);
    simraReg16(&r, B3_PLANE_MASK, priv->pixelMask);
    simraB1(&r, B1_SRC_X, 0);
    simraB1(&r, B1_SRC_Y, 0);
    simraWaitEmpty();
    simraB1(&r, B1_DST_X, (uint32_t)priv->tileAreaX);
    simraB1(&r, B1_DST_Y, (uint32_t)priv->tileAreaY);
    simraB1(&r, B1_WIDTH, (uint32_t)(width - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(height - 1));
    simraB1(&r, B1_ROP, simraRop(GXcopy));
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_HOST_MONO);
    simraB1(&r, B1_COMMAND, CMD_HOST_MONO);
    simraWaitEmpty();
    const int groups = (width + 3) / 4;
    for (int y = 0; y < height; y++)
        simraSendMonoRow(bits + (ptrdiff_t)y * stride, groups, 0);
    simraFinishLoad(priv, &r, width, height, key);
    return LOADED_STAGING;
}

/* ---- Phase and source ---- */

typedef struct _simraPattern {
    int kind;
    int width, height;
    int xoff, yoff;
} simraPattern;

static int simraMod(int a, int m) {
    int v = a % m;
    return v < 0 ? v + m : v;
}

static simraPattern simraPatternOf(int kind, int width, int height, DDXPointPtr patOrg) {
    simraPattern p = {kind, width, height, simraMod(patOrg->x, width), simraMod(patOrg->y, height)};
    return p;
}

/* Where the pattern at (x, y)'s phase starts. */
static void simraSource(const simraScreenPrivate *priv, const simraPattern *p, int x, int y,
                        int *sx, int *sy) {
    const int tx = simraMod(x - p->xoff, p->width), ty = simraMod(y - p->yoff, p->height);
    if (p->kind == LOADED_PATTERN) {
        *sx = priv->patternX + PATTERN_SIDE * ty + tx;
        *sy = priv->patternY;
    } else {
        *sx = priv->tileAreaX + tx;
        *sy = priv->tileAreaY + ty;
    }
}

/* ---- Boxes ---- */

/* One box of a tile or opaque stipple. */
static void simraPatternBox(simraRegs *r, const simraPattern *p, const BoxRec *b, int alu,
                            Bool mono) {
    const int w = b->x2 - b->x1, h = b->y2 - b->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx, sy;
    simraSource(r->priv, p, b->x1, b->y1, &sx, &sy);
    if (p->kind == LOADED_PATTERN) {
        simraWaitEmpty();
        simraB1(r, B1_DST_X, (uint32_t)b->x1);
        simraB1(r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(r, B1_SRC_X, (uint32_t)sx);
        simraB1(r, B1_SRC_Y, (uint32_t)sy);
        simraB1(r, B1_WIDTH, (uint32_t)(w - 1));
        simraB1(r, B1_HEIGHT, (uint32_t)(h - 1));
        simraB1(r, B1_COMMAND, mono ? CMD_MONO_PATTERN : CMD_PATTERN);
        return;
    }
    const int cw = w < p->width ? w : p->width, ch = h < p->height ? h : p->height;
    const Bool covers = p->width >= w && p->height >= h;
    if (covers || alu == GXcopy) {
        simraWaitEmpty();
        simraB1(r, B1_SRC_X, (uint32_t)sx);
        simraB1(r, B1_SRC_Y, (uint32_t)sy);
        simraB1(r, B1_DST_X, (uint32_t)b->x1);
        simraB1(r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(r, B1_WIDTH, (uint32_t)(cw - 1));
        simraB1(r, B1_HEIGHT, (uint32_t)(ch - 1));
        simraB1(r, B1_COMMAND, mono ? CMD_EXPAND : CMD_COPY);
        if (!covers)
            simraReplicateArea(r, b->x1, b->y1, w, h, cw, ch);
    } else {
        simraCoverArea(r, sx, sy, p->width, p->height, b->x1, b->y1, w, h, mono);
    }
}

/* One box of a transparent stipple: an expansion never reads its own
 * output, so a box larger than the stipple is covered cell by cell. */
static void simraStippleBox(simraRegs *r, const simraPattern *p, const BoxRec *b) {
    const int w = b->x2 - b->x1, h = b->y2 - b->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx, sy;
    simraSource(r->priv, p, b->x1, b->y1, &sx, &sy);
    if (p->kind == LOADED_PATTERN) {
        simraWaitEmpty();
        simraB1(r, B1_DST_X, (uint32_t)b->x1);
        simraB1(r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(r, B1_SRC_X, (uint32_t)sx);
        simraB1(r, B1_SRC_Y, (uint32_t)sy);
        simraB1(r, B1_WIDTH, (uint32_t)(w - 1));
        simraB1(r, B1_HEIGHT, (uint32_t)(h - 1));
        simraB1(r, B1_COMMAND, CMD_MONO_PATTERN);
    } else if (p->width < w || p->height < h) {
        simraCoverArea(r, sx, sy, p->width, p->height, b->x1, b->y1, w, h, 1);
    } else {
        simraWaitEmpty();
        simraB1(r, B1_SRC_X, (uint32_t)sx);
        simraB1(r, B1_SRC_Y, (uint32_t)sy);
        simraB1(r, B1_DST_X, (uint32_t)b->x1);
        simraB1(r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(r, B1_WIDTH, (uint32_t)(w - 1));
        simraB1(r, B1_HEIGHT, (uint32_t)(h - 1));
        simraB1(r, B1_COMMAND, CMD_EXPAND);
    }
}

/* ---- Spans ---- */

static void simraPatternSpans(simraRegs *r, const simraPattern *p, DDXPointPtr starts, int *widths,
                              int count, uint32_t command) {
    for (int i = 0; i < count; i++) {
        const int x = starts[i].x, y = starts[i].y, w = widths[i];
        if (w <= 0)
            continue;
        int sx, sy;
        simraSource(r->priv, p, x, y, &sx, &sy);
        simraWaitQueue(6);
        simraB1(r, B1_SRC_X, (uint32_t)sx);
        simraB1(r, B1_SRC_Y, (uint32_t)sy);
        const int run = p->kind == LOADED_PATTERN ? w : p->width;
        for (int px = x; px < x + w; px += run) {
            const int pw = x + w - px < run ? x + w - px : run;
            simraWaitQueue(4);
            simraB1(r, B1_WIDTH, (uint32_t)(pw - 1));
            simraB1(r, B1_DST_X, (uint32_t)px);
            simraB1(r, B1_DST_Y, (uint32_t)y);
            simraB1(r, B1_COMMAND, command);
        }
    }
}

static uint32_t simraTileCommand(int kind) {
    return kind == LOADED_PATTERN ? CMD_PATTERN : CMD_COPY;
}

static uint32_t simraStippleCommand(int kind) {
    return kind == LOADED_PATTERN ? CMD_MONO_PATTERN : CMD_EXPAND;
}

/* ---- The GC's tile ---- */

static int simraLoadGCTile(GCPtr pGC, simraScreenPrivPtr priv) {
    PixmapPtr t = pGC->tile;
    return simraLoadTile((const uint8_t *)t->devPrivate, t->devKind, t->drawable.width,
                         t->drawable.height, priv, t->drawable.serialNumber);
}

static int simraLoadGCStipple(GCPtr pGC, simraScreenPrivPtr priv) {
    PixmapPtr s = pGC->stipple;
    return simraLoadStipple((const uint8_t *)s->devPrivate, s->devKind, s->drawable.width,
                            s->drawable.height, priv, s->drawable.serialNumber);
}

void simraTiledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr t = pGC->tile;
    const int kind = simraLoadGCTile(pGC, priv);
    if (!kind) {
        genTileRects(boxes, count, (uint8_t *)t->devPrivate, t->devKind, t->drawable.width,
                     t->drawable.height, &gcPriv->patOrg, gcPriv->alu, gcPriv->planemask, pDraw);
        return;
    }
    simraPattern p = simraPatternOf(kind, t->drawable.width, t->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitQueue(4);
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraB1(&r, B1_MODE, simraModeScreen(priv));
    for (int i = 0; i < count; i++)
        simraPatternBox(&r, &p, &boxes[i], gcPriv->alu, 0);
    simraEnd(&r);
}

void simraTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    const int kind = simraLoadTile(tile, tileStride, tileWidth, tileHeight, priv, 0);
    if (!kind) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    simraPattern p = simraPatternOf(kind, tileWidth, tileHeight, patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitQueue(4);
    simraB1(&r, B1_ROP, simraRop(alu));
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_MODE, simraModeScreen(priv));
    for (int i = 0; i < count; i++)
        simraPatternBox(&r, &p, &boxes[i], alu, 0);
    simraEnd(&r);
}

void simraTiledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr t = pGC->tile;
    const int kind = simraLoadGCTile(pGC, priv);
    if (!kind) {
        for (int i = 0; i < count; i++) {
            BoxRec line = {starts[i].x, starts[i].y, (int16_t)(starts[i].x + widths[i]),
                           (int16_t)(starts[i].y + 1)};
            genTileRects(&line, 1, (uint8_t *)t->devPrivate, t->devKind, t->drawable.width,
                         t->drawable.height, &gcPriv->patOrg, gcPriv->alu, gcPriv->planemask,
                         pDraw);
        }
        return;
    }
    simraPattern p = simraPatternOf(kind, t->drawable.width, t->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraB1(&r, B1_MODE, simraModeScreen(priv));
    simraB1(&r, B1_HEIGHT, 0);
    simraPatternSpans(&r, &p, starts, widths, count, simraTileCommand(kind));
    simraEnd(&r);
}

/* ---- The GC's stipple ---- */

static void simraStippleSourcePlane(simraRegs *r) {
    simraReg(r, WD_B3, B3_SOURCE_PLANE, STIPPLE_PLANE);
    simraReg(r, WD_B3, B3_SOURCE_PLANE + 1, 0);
}

void simraStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr s = pGC->stipple;
    const int kind = simraLoadGCStipple(pGC, priv);
    if (!kind) {
        genStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    simraPattern p = simraPatternOf(kind, s->drawable.width, s->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraWaitQueue(2);
    simraStippleSourcePlane(&r);
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_SCREEN_TRANSPARENT);
    for (int i = 0; i < count; i++)
        simraStippleBox(&r, &p, &boxes[i]);
    simraEnd(&r);
}

void simraStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr s = pGC->stipple;
    const int kind = simraLoadGCStipple(pGC, priv);
    if (!kind) {
        genStippledFS(pGC, pDraw, starts, widths, count);
        return;
    }
    simraPattern p = simraPatternOf(kind, s->drawable.width, s->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraWaitQueue(2);
    simraStippleSourcePlane(&r);
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_SCREEN_TRANSPARENT);
    simraB1(&r, B1_HEIGHT, 0);
    simraPatternSpans(&r, &p, starts, widths, count, simraStippleCommand(kind));
    simraEnd(&r);
}

void simraOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr s = pGC->stipple;
    const int kind = simraLoadGCStipple(pGC, priv);
    if (!kind) {
        genOpStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    simraPattern p = simraPatternOf(kind, s->drawable.width, s->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraWaitEmpty();
    simraReg16(&r, B3_BG, gcPriv->bgPixel);
    simraStippleSourcePlane(&r);
    simraB1(&r, B1_MODE, simraModeScreen(priv));
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    for (int i = 0; i < count; i++)
        simraPatternBox(&r, &p, &boxes[i], gcPriv->alu, 1);
    simraEnd(&r);
}

void simraOpStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr s = pGC->stipple;
    const int kind = simraLoadGCStipple(pGC, priv);
    if (!kind) {
        genOpStippledFS(pGC, pDraw, starts, widths, count);
        return;
    }
    simraPattern p = simraPatternOf(kind, s->drawable.width, s->drawable.height, &gcPriv->patOrg);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraReg16(&r, B3_BG, gcPriv->bgPixel);
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraWaitEmpty();
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraStippleSourcePlane(&r);
    simraB1(&r, B1_MODE, simraModeScreen(priv));
    simraB1(&r, B1_HEIGHT, 0);
    simraPatternSpans(&r, &p, starts, widths, count, simraStippleCommand(kind));
    simraEnd(&r);
}
