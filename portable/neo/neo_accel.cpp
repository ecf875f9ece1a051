/*
 * neo: the drawing engines. Copies, solid rectangles, points, spans and
 * monochrome images on the 209X and 2200 engines, and the 2070 routines of
 * the 2070 records. Every routine waits for the engine to be idle before it
 * programs it and again before it returns, so the processor may touch the
 * frame buffer at any time between calls.
 */
#include "neo.h"

static inline void neoOut(const neoScreenPrivate *priv, uint32_t reg, uint32_t value) {
    mmWrite32(priv->regBase + reg, value);
}

static void neoWaitIdle(const neoScreenPrivate *priv) {
    while (mmRead32(priv->regBase + ENG_STATUS) & STATUS_BUSY) {
    }
}

static inline Bool neoFullMask(uint32_t planemask) {
    return (planemask & neoBuild.planeMaskFull) == neoBuild.planeMaskFull;
}

/* The 209X and 2200 colour registers: the byte twice over at depth 8. */
static inline uint32_t neoColour(Pixel pixel) {
    return neoBuild.pixelBytes == 1 ? (pixel | pixel << 8) : pixel;
}

/* The 2070 takes a 16-bit pixel with its bytes swapped. */
static inline uint32_t neoColour2070(Pixel pixel) {
    return neoBuild.pixelBytes == 1 ? (pixel | pixel << 8) : ((pixel >> 8) & 0xFF) | pixel << 8;
}

static inline uint32_t neoRop(int alu) {
    return (uint32_t)NAME(RasterOps)[alu & 15] << CMD_ROP_SHIFT;
}

static inline uint32_t neoXY(int x, int y) {
    return (uint32_t)(uint16_t)y << 16 | (uint16_t)x;
}

static inline uint32_t neoSize(int w, int h) {
    return (uint32_t)(uint16_t)h << 16 | (uint16_t)w;
}

static inline uint32_t neoOffset(const neoScreenPrivate *priv, int x, int y) {
    return (uint32_t)(y * priv->pitch + x * neoBuild.pixelBytes);
}

/* The first register group of an operation: idle, then (2200) the mode
 * word, whose store also reaches the command's lower half; the command
 * is written next. */
static void neoBegin(const neoScreenPrivate *priv, Bool gen2200) {
    neoWaitIdle(priv);
    if (gen2200)
        mmWrite32(priv->regBase + ENG_MODE, priv->blitMode);
}

/* ---- 209X and 2200 ---- */

/* The copy runs top-left first unless the destination lies below the
 * source, or level with it and to its right: then from the bottom-right
 * pixels, so an overlapping source is read before it is overwritten. */
static void neoCopyRect(BoxPtr dst, DDXPointPtr src, int alu, DrawablePtr pDraw, Bool gen2200) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint32_t cmd = (gen2200 ? CMD2200_COPY : priv->bltFlags | CMD209X_XY) | neoRop(alu);
    if (!(dy < sy || (dy == sy && dx < sx))) {
        cmd |= CMD_BOTTOM_RIGHT;
        sx += w - 1;
        sy += h - 1;
        dx += w - 1;
        dy += h - 1;
    }
    neoBegin(priv, gen2200);
    neoOut(priv, ENG_COMMAND, cmd);
    if (gen2200) {
        neoOut(priv, ENG_PITCHES, (uint32_t)priv->pitch << 16 | (uint32_t)priv->pitch);
        neoOut(priv, ENG_SRC, neoOffset(priv, sx, sy));
        neoOut(priv, ENG_DST, neoOffset(priv, dx, dy));
    } else {
        neoOut(priv, ENG_SRC, neoXY(sx, sy));
        neoOut(priv, ENG_DST, neoXY(dx, dy));
    }
    neoOut(priv, ENG_SIZE, neoSize(w, h));
    neoWaitIdle(priv);
}

static void neoBeginFill(const neoScreenPrivate *priv, Pixel fg, int alu, Bool gen2200) {
    neoBegin(priv, gen2200);
    neoOut(priv, ENG_COMMAND,
           (gen2200 ? CMD2200_FILL : priv->bltFlags | CMD209X_XY) | CMD_SOLID | neoRop(alu));
    neoOut(priv, ENG_FG, neoColour(fg));
}

static void neoFillAt(const neoScreenPrivate *priv, uint32_t dst, uint32_t size) {
    neoWaitIdle(priv);
    neoOut(priv, ENG_DST, dst);
    neoOut(priv, ENG_SIZE, size);
}

/* Empty and inverted boxes are passed over: their sizes would not fit the
 * size register's halves. */
static void neoSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, DrawablePtr pDraw,
                          Bool gen2200) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    neoBeginFill(priv, fg, alu, gen2200);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 > b->x1 && b->y2 > b->y1)
            neoFillAt(priv, neoXY(b->x1, b->y1), neoSize(b->x2 - b->x1, b->y2 - b->y1));
    }
    neoWaitIdle(priv);
}

static void neoPoints(DDXPointPtr points, int count, Pixel fg, int alu, DrawablePtr pDraw,
                      Bool gen2200) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    neoBeginFill(priv, fg, alu, gen2200);
    for (int i = 0; i < count; i++)
        neoFillAt(priv, neoXY(points[i].x, points[i].y), SIZE_ONE_PIXEL);
    neoWaitIdle(priv);
}

static void neoSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count,
                     Bool gen2200) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    const nfbGCPrivate *gcPriv = NFB_GC_PRIV(pGC);
    neoBeginFill(priv, gcPriv->fgPixel, gcPriv->alu, gen2200);
    for (int i = 0; i < count; i++)
        if (widths[i] > 0)
            neoFillAt(priv, neoXY(starts[i].x, starts[i].y),
                      SIZE_ONE_ROW | ((uint32_t)widths[i] & 0xFFFF));
    neoWaitIdle(priv);
}

/* The bits go to the host-data window as one stream: each row's
 * (w + 7) / 8 bytes, bit-reversed, straight after the row before, four to
 * a word with the first byte lowest; a last partial word ends it. */
static void neoStreamBits(const neoScreenPrivate *priv, const uint8_t *bits, int stride, int w,
                          int h) {
    volatile uint8_t *window = priv->regBase + HOST_DATA_OFFSET;
    const int rowBytes = (w + 7) / 8;
    uint32_t word = 0, slot = 0;
    int filled = 0;
    for (int y = 0; y < h; y++) {
        const uint8_t *row = bits + (ptrdiff_t)y * stride;
        for (int i = 0; i < rowBytes; i++) {
            word |= (uint32_t)ddxBitSwap[row[i]] << (8 * filled);
            if (++filled == 4) {
                mmWrite32(window + 4 * slot, word);
                slot = (slot + 1) % HOST_DATA_WORDS;
                word = 0;
                filled = 0;
            }
        }
    }
    if (filled)
        mmWrite32(window + 4 * slot, word);
}

static void neoMonoImage(BoxPtr box, uint8_t *bits, int stride, Pixel fg, Pixel bg, Bool opaque,
                         int alu, DrawablePtr pDraw, Bool gen2200) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    neoBegin(priv, gen2200);
    neoOut(priv, ENG_COMMAND,
           (gen2200 ? CMD2200_MONO : priv->bltFlags) | (opaque ? CMD_MONO : CMD_MONO_TRANSPARENT) |
               neoRop(alu));
    neoOut(priv, ENG_FG, neoColour(fg));
    if (opaque)
        neoOut(priv, ENG_BG, neoColour(bg));
    if (!gen2200)
        neoOut(priv, ENG_SRC_BIT, 0);
    neoOut(priv, ENG_SRC, 0);
    neoOut(priv, ENG_DST, neoXY(box->x1, box->y1));
    neoOut(priv, ENG_SIZE, neoSize(w, h));
    neoStreamBits(priv, bits, stride, w, h);
    neoWaitIdle(priv);
}

void NAME(CopyRect209X)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                        DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genCopyRect(dst, src, alu & 0xFF, planemask, pDraw);
    else
        neoCopyRect(dst, src, alu, pDraw, 0);
}

void NAME(CopyRect2200)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                        DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genCopyRect(dst, src, alu & 0xFF, planemask, pDraw);
    else
        neoCopyRect(dst, src, alu, pDraw, 1);
}

void NAME(DrawSolidRects209X)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genDrawSolidRects(boxes, count, fg, alu & 0xFF, planemask, pDraw);
    else
        neoSolidRects(boxes, count, fg, alu, pDraw, 0);
}

void NAME(DrawSolidRects2200)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genDrawSolidRects(boxes, count, fg, alu & 0xFF, planemask, pDraw);
    else
        neoSolidRects(boxes, count, fg, alu, pDraw, 1);
}

void NAME(DrawPoints209X)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genDrawPoints(points, count, fg, alu & 0xFF, planemask, pDraw);
    else
        neoPoints(points, count, fg, alu, pDraw, 0);
}

void NAME(DrawPoints2200)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if (!neoFullMask(planemask))
        genDrawPoints(points, count, fg, alu & 0xFF, planemask, pDraw);
    else
        neoPoints(points, count, fg, alu, pDraw, 1);
}

/* The GC validation hands these records out only with a full plane mask. */
void NAME(SolidFS209X)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    neoSpans(pGC, pDraw, starts, widths, count, 0);
}

void NAME(SolidFS2200)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    neoSpans(pGC, pDraw, starts, widths, count, 1);
}

void NAME(DrawMonoImage209X)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr pDraw) {
    if (!neoFullMask(planemask) || startBit != 0)
        genDrawMonoImage(box, bits, startBit, stride, fg, alu & 0xFF, planemask, pDraw);
    else
        neoMonoImage(box, bits, stride, fg, 0, 0, alu, pDraw, 0);
}

void NAME(DrawMonoImage2200)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr pDraw) {
    if (!neoFullMask(planemask) || startBit != 0)
        genDrawMonoImage(box, bits, startBit, stride, fg, alu & 0xFF, planemask, pDraw);
    else
        neoMonoImage(box, bits, stride, fg, 0, 0, alu, pDraw, 1);
}

void NAME(DrawOpaqueMonoImage209X)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                   Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (!neoFullMask(planemask) || startBit != 0)
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu & 0xFF, planemask, pDraw);
    else
        neoMonoImage(box, bits, stride, fg, bg, 1, alu, pDraw, 0);
}

void NAME(DrawOpaqueMonoImage2200)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                   Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (!neoFullMask(planemask) || startBit != 0)
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu & 0xFF, planemask, pDraw);
    else
        neoMonoImage(box, bits, stride, fg, bg, 1, alu, pDraw, 1);
}

/* ---- 2070 ----
 * No chip code selects these; they program the 2070 engine with byte
 * offsets and its own pitch registers, and take only GXcopy (spans any
 * alu, which the 2070 command carries no room for). */

static void neo2070Pitches(const neoScreenPrivate *priv) {
    neoOut(priv, ENG_SRC_PITCH, (uint32_t)priv->pitch);
    neoOut(priv, ENG_DST_PITCH, (uint32_t)priv->pitch);
    neoOut(priv, ENG_SRC_BIT, 0);
    neoOut(priv, ENG_DST, 0);
}

void NAME(CopyRect2070)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                        DrawablePtr pDraw) {
    if ((alu & 0xFF) != GXcopy) {
        genCopyRect(dst, src, alu & 0xFF, planemask, pDraw);
        return;
    }
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint32_t cmd = priv->bltFlags;
    if (!(dy < sy || (dy == sy && dx < sx))) {
        cmd |= CMD_BOTTOM_RIGHT;
        sx += w - 1;
        sy += h - 1;
        dx += w - 1;
        dy += h - 1;
    }
    neoWaitIdle(priv);
    neoOut(priv, ENG_PLANEMASK, neoBuild.pixelBytes == 1 ? planemask : planemask | planemask << 8);
    neo2070Pitches(priv);
    neoOut(priv, ENG_COMMAND, cmd);
    neoOut(priv, ENG_SIZE2070, neoSize(w - 1, h - 1));
    neoOut(priv, ENG_SRC, neoOffset(priv, sx, sy));
    neoOut(priv, ENG_SIZE, neoOffset(priv, dx, dy));
    neoWaitIdle(priv);
}

static void neo2070BeginFill(const neoScreenPrivate *priv, uint32_t cmd, Pixel fg) {
    neoWaitIdle(priv);
    neoOut(priv, ENG_COMMAND, cmd);
    neoOut(priv, ENG_PLANEMASK, 0xFFFFFFFFu);
    neoOut(priv, ENG_FG, neoColour2070(fg));
}

static void neo2070FillAt(const neoScreenPrivate *priv, uint32_t size, uint32_t offset) {
    neoWaitIdle(priv);
    neoOut(priv, ENG_SIZE2070, size);
    neoOut(priv, ENG_SIZE, offset);
}

void NAME(DrawSolidRects2070)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    if ((alu & 0xFF) != GXcopy) {
        genDrawSolidRects(boxes, count, fg, alu & 0xFF, planemask, pDraw);
        return;
    }
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    neo2070BeginFill(priv, priv->bltFlags | CMD_SOLID, fg);
    neo2070Pitches(priv);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 > b->x1 && b->y2 > b->y1)
            neo2070FillAt(priv, neoSize(b->x2 - b->x1, b->y2 - b->y1),
                          neoOffset(priv, b->x1, b->y1));
    }
    neoWaitIdle(priv);
}

void NAME(DrawPoints2070)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if ((alu & 0xFF) != GXcopy) {
        genDrawPoints(points, count, fg, alu & 0xFF, planemask, pDraw);
        return;
    }
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    neo2070BeginFill(priv, priv->bltFlags | CMD_SOLID, fg);
    for (int i = 0; i < count; i++)
        neo2070FillAt(priv, SIZE_ONE_PIXEL, neoOffset(priv, points[i].x, points[i].y));
    neoWaitIdle(priv);
}

void NAME(SolidFS2070)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    const neoScreenPrivate *priv = NEO_PRIV(pDraw->pScreen);
    neo2070BeginFill(priv, priv->bltFlags, NFB_GC_PRIV(pGC)->fgPixel);
    neo2070Pitches(priv);
    for (int i = 0; i < count; i++)
        if (widths[i] > 0)
            neo2070FillAt(priv, SIZE_ONE_ROW | ((uint32_t)widths[i] & 0xFFFF),
                          neoOffset(priv, starts[i].x, starts[i].y));
    neoWaitIdle(priv);
}
