/*
 * garsk: tiles, images and the banked window.
 *
 * Tiles are filled from a hardware pattern when they are small powers of
 * two, else staged once below the screen and copied from there. Images
 * move through the linear frame buffer, or through the 64 KB window whose
 * read and write segments are chosen apart; writes that need the alu or the
 * plane mask go through the engine as source pixels.
 */
#include "garsk.h"
#include "../zandel/staging.h"

/* ---- The banked window ---- */

#define GARSK_SEGMENT_LOW 0x3CB
#define GARSK_SEGMENT 0x3CD
#define GARSK_WINDOW_LINES 64

/* The read segment: its low four bits in the high nibble of 0x3CD, its
 * bits 4 and 5 in bits 4 and 5 of 0x3CB; the ports' other bits kept. */
void garskSetReadSegment(int segment) {
    const uint8_t seg = inb(GARSK_SEGMENT);
    outb(GARSK_SEGMENT, (uint8_t)((seg & 0x0F) | ((segment & 0x0F) << 4)));
    const uint8_t low = inb(GARSK_SEGMENT_LOW);
    outb(GARSK_SEGMENT_LOW, (uint8_t)((low & ~0x30) | (segment & 0x30)));
}

/* The write segment: the low nibble of 0x3CD, with the low nibble of 0x3CB
 * cleared. */
void garskSetWriteSegment(int segment) {
    const uint8_t seg = inb(GARSK_SEGMENT);
    outb(GARSK_SEGMENT, (uint8_t)((seg & 0xF0) | (segment & 0x0F)));
    const uint8_t low = inb(GARSK_SEGMENT_LOW);
    outb(GARSK_SEGMENT_LOW, (uint8_t)(low & 0xF0));
}

/* ---- Rows between memory and the frame buffer ---- */

/* w bytes from frame-buffer address `fb` to `dst`, aligned on the frame
 * buffer's side: bytes up to a 4-byte boundary, words, then the rest. */
static void garskReadRow(const volatile uint8_t *fb, uint8_t *dst, int w) {
    int i = 0;
    if (w > 3)
        for (; ((uintptr_t)(fb + i) & 3) != 0; i++)
            dst[i] = mmRead8(fb + i);
    for (; i + 4 <= w; i += 4) {
        const uint32_t v = mmRead32(fb + i);
        for (int b = 0; b < 4; b++)
            dst[i + b] = (uint8_t)(v >> (8 * b));
    }
    if (i + 2 <= w) {
        const uint16_t v = mmRead16(fb + i);
        dst[i] = (uint8_t)v;
        dst[i + 1] = (uint8_t)(v >> 8);
        i += 2;
    }
    if (i < w)
        dst[i] = mmRead8(fb + i);
}

static void garskWriteRow(volatile uint8_t *fb, const uint8_t *src, int w) {
    int i = 0;
    if (w > 3)
        for (; ((uintptr_t)(fb + i) & 3) != 0; i++)
            mmWrite8(fb + i, src[i]);
    for (; i + 4 <= w; i += 4)
        mmWrite32(fb + i, (uint32_t)src[i] | (uint32_t)src[i + 1] << 8 |
                              (uint32_t)src[i + 2] << 16 | (uint32_t)src[i + 3] << 24);
    if (i + 2 <= w) {
        mmWrite16(fb + i, (uint16_t)(src[i] | src[i + 1] << 8));
        i += 2;
    }
    if (i < w)
        mmWrite8(fb + i, src[i]);
}

/* In the linear frame buffer, the aperture windows and the register block
 * lie over lines 96 to 127: the processor cannot reach those lines there. */
#define GARSK_HIDDEN_FIRST 96
#define GARSK_HIDDEN_END 128

/* The part of [y1, y2) on the hidden lines, as [*h1, *h2) (empty when
 * *h1 == *h2). */
static void garskHiddenRows(int y1, int y2, int *h1, int *h2) {
    *h1 = y1 > GARSK_HIDDEN_FIRST ? y1 : GARSK_HIDDEN_FIRST;
    *h2 = y2 < GARSK_HIDDEN_END ? y2 : GARSK_HIDDEN_END;
    if (*h2 < *h1)
        *h2 = *h1;
}

/* ---- Images ---- */

void garskReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1;
    if (w <= 0 || box->y2 <= box->y1)
        return;
    garskWaitData(priv);
    int h1, h2;
    garskHiddenRows(box->y1, box->y2, &h1, &h2);
    for (int y = box->y1; y < box->y2; y++, dst += stride) {
        if (y >= h1 && y < h2) {
            /* Aperture 2 shows the line from its first byte. */
            garskWaitIdle(priv);
            garskPut32(priv->mmuBase2, garskAddress(priv, box->x1, y));
            garskReadRow(priv->apWindow2, dst, w);
        } else {
            garskReadRow(priv->apertureBase + (uint32_t)y * GARSK_PITCH + (uint32_t)box->x1, dst,
                         w);
        }
    }
}

void garskReadBankedImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1;
    if (w <= 0 || box->y2 <= box->y1)
        return;
    garskWaitData(priv);
    int segment = -1;
    for (int y = box->y1; y < box->y2; y++, dst += stride) {
        if (y / GARSK_WINDOW_LINES != segment) {
            segment = y / GARSK_WINDOW_LINES;
            garskSetReadSegment(segment);
        }
        garskReadRow(priv->apertureBase + (uint32_t)(y % GARSK_WINDOW_LINES) * GARSK_PITCH +
                         (uint32_t)box->x1,
                     dst, w);
    }
}

/* The bytes of a row as one bus unit, from the bytes the row has only: the
 * last row of an unpadded image ends its buffer, and the engine drops the
 * surplus bytes of a row's last unit anyway. */
static inline uint32_t garskPixelUnit(const uint8_t *row, int from, int n, int size) {
    uint32_t v = 0;
    for (int i = 0; i < size && from + i < n; i++)
        v |= (uint32_t)row[from + i] << (8 * i);
    return v;
}

/* Source pixels through the engine: the alu and plane mask apply, and the
 * processor never touches the frame buffer, so this serves both forms. */
void garskDrawBankedImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    uint8_t rop;
    if (garskFullMask(planemask)) {
        garskWaitIdle(priv);
        rop = alu_to_src_rop[alu & 15];
        garskPut8(priv->regRouting, GARSK_ROUTE_SOURCE);
    } else {
        garskLoadCell(priv, GARSK_CELL_PATTERN, planemask);
        garskWaitIdle(priv);
        rop = alu_to_plane_rop[alu & 15];
        garskPut8(priv->regRouting, GARSK_ROUTE_SOURCE);
        garskPut32(priv->regPatternAddr, GARSK_CELL_PATTERN);
        garskPut8(priv->regPatternWrap, GARSK_WRAP_CELL);
    }
    garskPut16(priv->regXCount, (uint32_t)(w - 1));
    garskPut16(priv->regYCount, (uint32_t)(h - 1));
    garskPut8(priv->regFgRop, rop);
    garskPut32(priv->mmuBase0, garskAddress(priv, box->x1, box->y1));
    const uint8_t *row = pixels;
    if (w == 1) {
        garskPut8(priv->regBusSize, GARSK_BUS_8);
        for (int y = 0; y < h; y++, row += stride)
            mmWrite8(priv->apWindow0, row[0]);
    } else if (w <= 3) {
        garskPut8(priv->regBusSize, GARSK_BUS_16);
        for (int y = 0; y < h; y++, row += stride)
            for (int i = 0; i < w; i += 2)
                mmWrite16(priv->apWindow0, (uint16_t)garskPixelUnit(row, i, w, 2));
    } else {
        garskPut8(priv->regBusSize, GARSK_BUS_32);
        for (int y = 0; y < h; y++, row += stride)
            for (int i = 0; i < w; i += 4)
                mmWrite32(priv->apWindow0, garskPixelUnit(row, i, w, 4));
    }
    garskPut8(priv->regBusSize, GARSK_BUS_8);
}

/* The processor's copy puts bytes as they are: any other alu or a partial
 * plane mask needs the engine, as do the lines the devices hide. */
void garskDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1;
    if (w <= 0 || box->y2 <= box->y1)
        return;
    if ((alu & 15) != GXcopy || !garskFullMask(planemask)) {
        garskDrawBankedImage(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    int h1, h2;
    garskHiddenRows(box->y1, box->y2, &h1, &h2);
    if (h1 < h2) {
        BoxRec hidden = {box->x1, (int16_t)h1, box->x2, (int16_t)h2};
        garskDrawBankedImage(&hidden, pixels + (h1 - box->y1) * stride, stride, alu, planemask,
                             pDraw);
    }
    garskWaitIdle(priv);
    garskWaitData(priv);
    const uint8_t *row = pixels;
    for (int y = box->y1; y < box->y2; y++, row += stride)
        if (y < h1 || y >= h2)
            garskWriteRow(priv->apertureBase + (uint32_t)y * GARSK_PITCH + (uint32_t)box->x1, row,
                          w);
}

/* A point writer for the window that nothing installs: the processor
 * combines each pixel with the foreground. */
static uint8_t garskCpuAlu(int alu, uint8_t s, uint8_t d, int *known) {
    *known = 1;
    switch (alu) {
    case GXclear:
        return 0;
    case GXand:
        return s & d;
    case GXandReverse:
        return s & ~d;
    case GXcopy:
        return s;
    case GXandInverted:
        return ~s & d;
    case GXnoop:
        return d;
    case GXxor:
        return s ^ d;
    case GXor:
        return s | d;
    case GXnor:
        return ~(s | d);
    case GXequiv:
        return ~(s ^ d);
    case GXinvert:
        return ~d;
    case GXorReverse:
        return s | ~d;
    case GXcopyInverted:
        return ~s;
    case GXorInverted:
        return ~s | d;
    case GXnand:
        return ~(s & d);
    case GXset:
        return 0xFF;
    default:
        *known = 0;
        return s;
    }
}

void garsk32DrawBankedPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                             DrawablePtr pDraw) {
    (void)planemask;
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    garskWaitData(priv);
    /* Image reads move the read segment without the cache knowing: the
     * first point sets both segments again, so each read and its write
     * reach one line. */
    priv->bankCache = -1;
    for (int i = 0; i < count; i++) {
        const int y = points[i].y, x = points[i].x;
        const int segment = y / GARSK_WINDOW_LINES;
        if (segment != priv->bankCache) {
            garskSetWriteSegment(segment);
            garskSetReadSegment(segment);
            priv->bankCache = segment;
        }
        volatile uint8_t *p =
            priv->apertureBase + (uint32_t)(y % GARSK_WINDOW_LINES) * GARSK_PITCH + (uint32_t)x;
        int known;
        const uint8_t v = garskCpuAlu(alu, (uint8_t)fg, mmRead8(p), &known);
        if (!known)
            ErrorF("garsk32DrawBankedPoints: unrecognised raster op %d\n", alu);
        mmWrite8(p, v);
    }
}

/* ---- Tiles ---- */

static int garskLog2(int v) {
    int n = 0;
    while ((1 << n) < v)
        n++;
    return n;
}

static int garskHardwareTile(int w, int h) {
    return (w == 4 || w == 8 || w == 16 || w == 32 || w == 64) &&
           (h == 1 || h == 2 || h == 4 || h == 8);
}

static int garskPhase(int v, int m) {
    int r = v % m;
    return r < 0 ? r + m : r;
}

/* The pattern at 0xC0400: each tile row twice side by side, the H lines
 * then once more below, so a pattern read starting at any phase finds W by
 * H pixels ahead of it. Aperture writes each wait for the one before to be
 * taken. */
static void garskLoadHardwareTile(garskScreenPrivate *priv, const uint8_t *tile, int stride, int w,
                                  int h) {
    garskWaitIdle(priv);
    garskWaitData(priv);
    uint32_t addr = GARSK_TILE_PATTERN;
    for (int y = 0; y < h; y++) {
        const uint8_t *row = tile + y * stride;
        for (int copy = 0; copy < 2; copy++)
            for (int i = 0; i < w; i += 4, addr += 4) {
                garskWaitData(priv);
                garskPut32(priv->mmuBase1, addr);
                mmWrite32(priv->apWindow1, (uint32_t)row[i] | (uint32_t)row[i + 1] << 8 |
                                               (uint32_t)row[i + 2] << 16 |
                                               (uint32_t)row[i + 3] << 24);
            }
    }
    uint32_t from = GARSK_TILE_PATTERN;
    for (int i = 0; i < 2 * h * w / 4; i++, from += 4, addr += 4) {
        garskPut32(priv->mmuBase2, from);
        const uint32_t v = mmRead32(priv->apWindow2);
        garskWaitData(priv);
        garskPut32(priv->mmuBase1, addr);
        mmWrite32(priv->apWindow1, v);
    }
}

static void garskHardwareTileRects(garskScreenPrivate *priv, BoxPtr boxes, int count,
                                   const uint8_t *tile, int stride, int w, int h,
                                   DDXPointPtr origin, int alu) {
    garskLoadHardwareTile(priv, tile, stride, w, h);
    garskWaitIdle(priv);
    garskWaitData(priv);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
    garskPut8(priv->regPatternWrap, (uint32_t)(garskLog2(w) | (garskLog2(h) << 4)));
    garskPut16(priv->regPatternYOffset, (uint32_t)(2 * w - 1));
    garskPut8(priv->regFgRop, alu_to_pat_rop[alu & 15]);
    for (int i = 0; i < count; i++) {
        const BoxRec &b = boxes[i];
        if (b.x2 <= b.x1 || b.y2 <= b.y1)
            continue;
        const int xoff = garskPhase(b.x1 - origin->x, w), yoff = garskPhase(b.y1 - origin->y, h);
        garskWaitIdle(priv);
        garskPut16(priv->regYCount, (uint32_t)(b.y2 - b.y1 - 1));
        garskPut16(priv->regXCount, (uint32_t)(b.x2 - b.x1 - 1));
        garskPut32(priv->regPatternAddr, GARSK_TILE_PATTERN + (uint32_t)(yoff * 2 * w + xoff));
        garskPut32(priv->mmuBase0, garskAddress(priv, b.x1, b.y1));
        garskStart(priv);
    }
    garskWaitIdle(priv);
    /* The other operations read their pattern lines 1024 bytes apart. */
    garskPut16(priv->regPatternYOffset, GARSK_PITCH - 1);
}

static void garskStageTile(BoxPtr box, const TileStagingPattern *p, DrawablePtr pDraw) {
    garskDrawBankedImage(box, p->bits, p->stride, GXcopy, 0xFFFFFFFFu, pDraw);
    garskWaitData(garskPrivOf(pDraw));
}

/* The driver has no clip of its own to load around the staging. */
static void garskNoClip(BoxPtr boxes, int count, DrawablePtr pDraw) {
    (void)boxes;
    (void)count;
    garskWaitIdle(garskPrivOf(pDraw));
}

void garskTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    TileStagingAreaSlowXExpand(box, src, piece, alu, planemask, pDraw, garskCopyRect);
}

void garskTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                       uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlow(box, src, band, piece, alu, planemask, pDraw, garskCopyRect);
}

static const TileStagingOps garskTileStagingOps = {garskStageTile, garskCopyRect, garskNoClip,
                                                   garskTileAreaSlow};

void garskTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    if (count <= 0)
        return;
    if (garskHardwareTile(tileWidth, tileHeight) && garskFullMask(planemask)) {
        garskHardwareTileRects(priv, boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg,
                               alu);
        return;
    }
    TileStagingRequest req = {};
    req.boxes = boxes;
    req.n = count;
    req.pattern.width = tileWidth;
    req.pattern.height = tileHeight;
    req.pattern.bits = tile;
    req.pattern.stride = tileStride;
    req.origin = *patOrg;
    req.alu = alu & 15;
    req.planemask = planemask;
    req.area = {priv->tileAreaX, priv->tileAreaY, priv->tileAreaWidth, priv->tileAreaHeight};
    req.clip = nullptr;
    if (TileStaging(&req, &garskTileStagingOps, pDraw))
        return;
    garskWaitData(priv);
    genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                 pDraw);
}
