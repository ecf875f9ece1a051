/*
 * garsk: the accelerator's raster-op tables and the window operations that
 * program it: copies, solid rectangles, points, monochrome images and
 * glyphs by colour expansion of processor data.
 */
#include "garsk.h"

/* ROP3 codes over source S (0xCC), pattern P (0xF0) and destination D
 * (0xAA), by X alu. */
const uint8_t alu_to_src_rop[16] = {0x00, 0x88, 0x44, 0xCC, 0x22, 0xAA, 0x66, 0xEE,
                                    0x11, 0x99, 0x55, 0xDD, 0x33, 0xBB, 0x77, 0xFF};
const uint8_t alu_to_pat_rop[16] = {0x00, 0xA0, 0x50, 0xF0, 0x0A, 0xAA, 0x5A, 0xFA,
                                    0x05, 0xA5, 0x55, 0xF5, 0x0F, 0xAF, 0x5F, 0xFF};
/* The source form where the pattern (the plane mask) is 1, the destination
 * where it is 0. */
const uint8_t alu_to_plane_rop[16] = {0x0A, 0x8A, 0x4A, 0xCA, 0x2A, 0xAA, 0x6A, 0xEA,
                                      0x1A, 0x9A, 0x5A, 0xDA, 0x3A, 0xBA, 0x7A, 0xFA};

void garskLoadCell(garskScreenPrivate *priv, uint32_t cell, Pixel pixel) {
    garskPut32(priv->mmuBase2, cell);
    LoadFillColor(pixel, priv->apWindow2, priv->regStatus);
}

uint8_t garskPlaneMaskSetup(garskScreenPrivate *priv, int alu, uint32_t planemask,
                            uint32_t patternOffset) {
    if (garskFullMask(planemask))
        return alu_to_src_rop[alu & 15];
    garskLoadCell(priv, GARSK_CELL_PATTERN, planemask);
    garskPut32(priv->regPatternAddr, GARSK_CELL_PATTERN + patternOffset);
    garskPut8(priv->regPatternWrap, GARSK_WRAP_CELL);
    return alu_to_plane_rop[alu & 15];
}

/* ---- Copies ---- */

void garskCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    /* Overlapping copies read each pixel before it is overwritten when they
     * run away from the side the destination moved towards. */
    const bool forward = dst->y1 < src->y || (dst->y1 == src->y && dst->x1 < src->x);
    uint32_t dstAddr, srcAddr;
    uint8_t direction;
    if (forward) {
        direction = GARSK_FORWARD;
        dstAddr = garskAddress(priv, dst->x1, dst->y1);
        srcAddr = garskAddress(priv, src->x, src->y);
    } else {
        direction = GARSK_BACKWARD;
        dstAddr = garskAddress(priv, dst->x2 - 1, dst->y2 - 1);
        srcAddr = garskAddress(priv, src->x + w - 1, src->y + h - 1);
    }
    const uint8_t rop = garskPlaneMaskSetup(priv, alu, planemask, direction);
    garskWaitIdle(priv);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
    garskPut8(priv->regSourceWrap, GARSK_WRAP_NONE);
    garskPut16(priv->regYCount, (uint32_t)(h - 1));
    garskPut16(priv->regXCount, (uint32_t)(w - 1));
    garskPut32(priv->regSourceAddr, srcAddr);
    garskPut8(priv->regFgRop, rop);
    garskPut8(priv->regDirection, direction);
    garskPut32(priv->mmuBase0, dstAddr);
    garskStart(priv);
    garskWaitIdle(priv);
    garskPut8(priv->regDirection, GARSK_FORWARD);
}

/* ---- Solid rectangles and points ---- */

void garskDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    if (count == 0)
        return;
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    garskLoadCell(priv, GARSK_CELL_FG, fg);
    const uint8_t rop = garskPlaneMaskSetup(priv, alu, planemask, 0);
    garskWaitIdle(priv);
    garskPut8(priv->regFgRop, rop);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut32(priv->regSourceAddr, GARSK_CELL_FG);
    garskPut8(priv->regSourceWrap, GARSK_WRAP_CELL);
    for (int i = 0; i < count; i++) {
        const BoxRec &b = boxes[i];
        if (b.x2 <= b.x1 || b.y2 <= b.y1)
            continue;
        garskWaitIdle(priv);
        garskPut16(priv->regYCount, (uint32_t)(b.y2 - b.y1 - 1));
        garskPut16(priv->regXCount, (uint32_t)(b.x2 - b.x1 - 1));
        garskPut32(priv->mmuBase0, garskAddress(priv, b.x1, b.y1));
        garskStart(priv);
    }
}

/* One pixel per byte written, at the address written: the bus must carry
 * bytes whatever the previous operation left in the bus size, so it is set
 * for every plane mask (and only once the engine is idle). */
void garskDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const uint8_t rop = garskPlaneMaskSetup(priv, alu, planemask, 0);
    garskWaitIdle(priv);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut8(priv->regRouting, GARSK_ROUTE_PIXEL);
    garskPut8(priv->regFgRop, rop);
    garskPut16(priv->regXCount, 0);
    garskPut16(priv->regYCount, 0);
    for (int i = 0; i < count; i++) {
        garskPut32(priv->mmuBase0, (uint32_t)points[i].x + (uint32_t)points[i].y * GARSK_PITCH);
        mmWrite8(priv->apWindow0, (uint8_t)fg);
    }
    garskWaitIdle(priv);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
}

void garskDrawBankedPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr pDraw) {
    garskDrawPoints(points, count, fg, alu, planemask, pDraw);
}

/* ---- Colour expansion ---- */

/* Transparent expansion: CPU data is a mix mask choosing the foreground
 * cell where it is 1 and keeping the destination where it is 0. */
static void garskExpansionSetup(garskScreenPrivate *priv, Pixel fg, int alu, uint32_t planemask) {
    garskLoadCell(priv, GARSK_CELL_FG, fg);
    const uint8_t rop = garskPlaneMaskSetup(priv, alu, planemask, 0);
    if (!garskFullMask(planemask))
        garskWaitIdle(priv);
    garskPut8(priv->regFgRop, rop);
    garskPut8(priv->regRouting, GARSK_ROUTE_MIX);
    garskPut32(priv->regSourceAddr, GARSK_CELL_FG);
    garskPut8(priv->regSourceWrap, GARSK_WRAP_CELL);
    garskPut8(priv->regBgRop, GARSK_ROP_KEEP_DEST);
}

/* The bytes of a row as one bus unit, from the bytes that exist only: the
 * last row of an unpadded bitmap ends its buffer, and the engine drops the
 * bits past the row's width anyway. */
static inline uint32_t garskUnit(const uint8_t *row, int from, int n, int size) {
    uint32_t v = 0;
    for (int i = 0; i < size && from + i < n; i++)
        v |= (uint32_t)row[from + i] << (8 * i);
    return v;
}

/* Rows of n mask bytes starting at a byte boundary, in the widest bus unit
 * the row fills. */
static void garskSendMaskRows(garskScreenPrivate *priv, const uint8_t *bits, int stride, int n,
                              int h) {
    if (n == 1) {
        for (int y = 0; y < h; y++, bits += stride)
            mmWrite8(priv->apWindow0, bits[0]);
    } else if (n <= 3) {
        garskPut8(priv->regBusSize, GARSK_BUS_16);
        for (int y = 0; y < h; y++, bits += stride)
            for (int i = 0; i < n; i += 2)
                mmWrite16(priv->apWindow0, (uint16_t)garskUnit(bits, i, n, 2));
    } else {
        garskPut8(priv->regBusSize, GARSK_BUS_32);
        for (int y = 0; y < h; y++, bits += stride)
            for (int i = 0; i < n; i += 4)
                mmWrite32(priv->apWindow0, garskUnit(bits, i, n, 4));
    }
}

void garskDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    garskExpansionSetup(priv, fg, alu, planemask);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut16(priv->regYCount, (uint32_t)(h - 1));
    const uint32_t addr = garskAddress(priv, box->x1, box->y1);
    garskPut32(priv->mmuBase0, addr);
    bits += startBit >> 3;
    const int s = startBit & 7;
    if (s == 0) {
        garskPut16(priv->regXCount, (uint32_t)(w - 1));
        garskSendMaskRows(priv, bits, stride, (w + 7) >> 3, h);
        return;
    }
    /* A row that starts inside a byte: its first byte shifted down, then
     * the whole bytes, then the part byte at its end. */
    garskPut16(priv->regXCount, (uint32_t)(w >= 8 ? 7 - s : w - 1));
    const uint8_t *row = bits;
    for (int y = 0; y < h; y++, row += stride)
        mmWrite8(priv->apWindow0, (uint8_t)(row[0] >> s));
    const int t = w + s - 8;
    const int k = t >= 0 ? t / 8 : 0;
    if (t >= 8) {
        garskPut32(priv->mmuBase0, addr + 8 - (uint32_t)s);
        garskPut16(priv->regXCount, (uint32_t)(8 * k - 1));
        row = bits;
        for (int y = 0; y < h; y++, row += stride)
            for (int i = 1; i <= k; i++)
                mmWrite8(priv->apWindow0, row[i]);
    }
    const int r = (w + s) % 8;
    if (t >= 0 && r != 0) {
        garskPut32(priv->mmuBase0, addr + 8 - (uint32_t)s + 8 * (uint32_t)k);
        garskPut16(priv->regXCount, (uint32_t)(r - 1));
        row = bits;
        for (int y = 0; y < h; y++, row += stride)
            mmWrite8(priv->apWindow0, row[k + 1]);
    }
}

/* Pixels of the bits from `first` upward of one mask byte, foreground for
 * a 1 and background for a 0, sent as source pixels. */
static void garskSendExpanded(garskScreenPrivate *priv, uint8_t byte, int first, int count,
                              Pixel fg, Pixel bg) {
    for (int i = 0; i < count; i++)
        mmWrite8(priv->apWindow0, (uint8_t)(((byte >> (first + i)) & 1) ? fg : bg));
}

/* Opaque expansion of a box at video address `addr`: the foreground cell
 * is already at 0xC0000 and the background at 0xC0004; the registers but
 * the raster codes and the counts are set here. */
void garskOpaqueExpand(garskScreenPrivate *priv, uint32_t addr, int w, int h, const uint8_t *bits,
                       int startBit, int stride, Pixel fg, Pixel bg, uint8_t fgRop, uint8_t bgRop) {
    garskWaitIdle(priv);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut8(priv->regRouting, GARSK_ROUTE_MIX);
    garskPut8(priv->regPatternWrap, GARSK_WRAP_CELL);
    garskPut8(priv->regSourceWrap, GARSK_WRAP_CELL);
    garskPut32(priv->regPatternAddr, GARSK_CELL_OPAQUE_BG);
    garskPut32(priv->regSourceAddr, GARSK_CELL_PATTERN);
    garskPut16(priv->regYCount, (uint32_t)(h - 1));
    garskPut16(priv->regXCount, (uint32_t)(w - 1));
    garskPut8(priv->regBgRop, bgRop);
    garskPut8(priv->regFgRop, fgRop);
    garskPut32(priv->mmuBase0, addr);
    bits += startBit >> 3;
    const int s = startBit & 7;
    if (s == 0) {
        garskSendMaskRows(priv, bits, stride, (w + 7) >> 3, h);
        return;
    }
    /* The part bytes at both ends are expanded here and sent as pixels; the
     * whole bytes between them go to the engine as a mask. */
    const int first = (w + s >= 8 ? 8 - s : w);
    garskPut8(priv->regRouting, GARSK_ROUTE_SOURCE);
    garskPut16(priv->regXCount, (uint32_t)(first - 1));
    const uint8_t *row = bits;
    for (int y = 0; y < h; y++, row += stride)
        garskSendExpanded(priv, row[0], s, first, fg, bg);
    const int t = w + s - 8;
    const int k = t >= 0 ? t / 8 : 0;
    if (t >= 8) {
        garskWaitIdle(priv);
        garskPut8(priv->regRouting, GARSK_ROUTE_MIX);
        garskPut16(priv->regYCount, (uint32_t)(h - 1));
        garskPut32(priv->mmuBase0, addr + 8 - (uint32_t)s);
        garskPut16(priv->regXCount, (uint32_t)(8 * k - 1));
        row = bits;
        for (int y = 0; y < h; y++, row += stride)
            for (int i = 1; i <= k; i++)
                mmWrite8(priv->apWindow0, row[i]);
    }
    const int r = (w + s) % 8;
    if (t >= 0 && r != 0) {
        garskPut8(priv->regRouting, GARSK_ROUTE_SOURCE);
        garskPut16(priv->regXCount, (uint32_t)(r - 1));
        garskPut16(priv->regYCount, (uint32_t)(h - 1));
        garskPut32(priv->mmuBase0, addr + 8 - (uint32_t)s + 8 * (uint32_t)k);
        row = bits;
        for (int y = 0; y < h; y++, row += stride)
            garskSendExpanded(priv, row[k + 1], 0, r, fg, bg);
    }
}

void garskLoadOpaqueCells(garskScreenPrivate *priv, Pixel fg, Pixel bg) {
    garskPut32(priv->mmuBase2, GARSK_CELL_PATTERN);
    LoadFillColor(fg, priv->apWindow2, priv->regStatus);
    LoadFillColor(bg, priv->apWindow2 + (GARSK_CELL_OPAQUE_BG - GARSK_CELL_PATTERN),
                  priv->regStatus);
}

void garskDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    /* Both colour cells hold colours here, so no cell is left for a mask. */
    if (!garskFullMask(planemask)) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    garskLoadOpaqueCells(priv, fg, bg);
    garskOpaqueExpand(priv, garskAddress(priv, box->x1, box->y1), w, h, bits, startBit, stride, fg,
                      bg, alu_to_src_rop[alu & 15], alu_to_pat_rop[alu & 15]);
}

/* ---- Glyphs ---- */

/* One glyph row as the engine takes it: ceil(w / 8) bytes of mask. The
 * wide writes serve the strides whose rows fill them exactly. */
static void garskSendGlyph(garskScreenPrivate *priv, const uint8_t *bits, int stride, int w,
                           int h) {
    const int n = ((w - 1) >> 3) + 1;
    if (stride == 1 && n == 1) {
        for (int y = 0; y < h; y++, bits += stride)
            mmWrite8(priv->apWindow0, bits[0]);
    } else if (stride == 2 && n <= 2) {
        garskPut8(priv->regBusSize, GARSK_BUS_16);
        for (int y = 0; y < h; y++, bits += stride)
            mmWrite16(priv->apWindow0, (uint16_t)(bits[0] | bits[1] << 8));
    } else if (stride == 3 && n == 3) {
        for (int y = 0; y < h; y++, bits += stride)
            TriGlyphWr(priv->apWindow0, bits);
    } else {
        for (int y = 0; y < h; y++, bits += stride)
            for (int i = 0; i < n; i++)
                mmWrite8(priv->apWindow0, bits[i]);
    }
}

void garskDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    (void)font;
    if (planemask == 0 || alu == GXnoop)
        return;
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    garskExpansionSetup(priv, fg, alu, planemask);
    int lastW = -1, lastH = -1;
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec &g = glyphs[i];
        const int w = (int16_t)(g.box.x2 - g.box.x1), h = (int16_t)(g.box.y2 - g.box.y1);
        if (w <= 0 || h <= 0)
            continue;
        if (h != lastH) {
            garskPut16(priv->regYCount, (uint32_t)(h - 1));
            lastH = h;
        }
        if (w != lastW) {
            garskPut16(priv->regXCount, (uint32_t)(w - 1));
            lastW = w;
        }
        garskPut32(priv->mmuBase0, garskAddress(priv, g.box.x1, g.box.y1));
        garskWaitData(priv);
        garskPut8(priv->regBusSize, GARSK_BUS_8);
        garskSendGlyph(priv, g.bits, g.stride, w, h);
    }
}
