/*
 * savage drawing: copies, solid rectangles, points, solid spans,
 * monochrome images and images as command sequences on the command port;
 * image reads, GXcopy image writes under a full mask and zero-width
 * segments by the processor after the bounded wait.
 */
#include "savage.h"

static inline uint32_t savageAlu(int alu) {
    return (uint32_t)alu & 0xF;
}

/* GXclear, GXinvert and GXset ignore the source: no colour or data words. */
static inline Bool savageNoSource(int alu) {
    uint32_t a = savageAlu(alu);
    return a == GXclear || a == GXinvert || a == GXset;
}

static inline void savageSeqBegin(savageSeq *q, savageScreenPrivate *priv) {
    q->priv = priv;
    q->n = 0;
}

static inline void savageSeqEnd(savageSeq *q) {
    savageSeqPut(q, CMD_END);
    savageSeqFlush(q);
}

/* The mask goes out only when it differs from the one the engine holds. */
void savagePlaneMask(savageSeq *q, uint32_t planemask, int depth) {
    if (planemask == q->priv->planeMaskShadow)
        return;
    savageSeqPut(q, CMD_PLANE_MASK);
    savageSeqPut(q, planemask & savageDepthMask(depth));
    q->priv->planeMaskShadow = planemask;
}

/* ---- Copies ---- */

/* Backward only when the source overlaps the destination and comes first
 * in scan order: any other copy reads each source pixel before it is
 * overwritten when run forward. */
void savageCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx = src->x, sy = src->y;
    Bool overlap = dst->x1 < sx + w && dst->y1 < sy + h && sx < dst->x2 && sy < dst->y2;
    Bool earlier = sy < dst->y1 || (sy == dst->y1 && sx < dst->x1);
    Bool backward = overlap && earlier;
    int fromX = sx, fromY = sy, toX = dst->x1, toY = dst->y1;
    if (backward) {
        fromX = sx + w - 1;
        fromY = sy + h - 1;
        toX = dst->x2 - 1;
        toY = dst->y2 - 1;
    }
    savageSeq q;
    savageSeqBegin(&q, priv);
    savagePlaneMask(&q, planemask, pScreen->rootDepth);
    uint32_t rop = savageROP[savageAlu(alu)];
    if (savageNoSource(alu)) {
        savageSeqPut(&q, (backward ? CMD_NOSOURCE_BACKWARD : CMD_FILL) | rop);
    } else {
        savageSeqPut(&q, (backward ? CMD_COPY_BACKWARD : CMD_COPY) | rop);
        savageSeqPut(&q, savageXY(fromX, fromY));
    }
    savageSeqPut(&q, savageXY(toX, toY));
    savageSeqPut(&q, savageXY(w, h));
    savageSeqEnd(&q);
}

/* ---- Fills ---- */

static void savageFillHead(savageSeq *q, Pixel fg, int alu, uint32_t planemask, int depth) {
    savagePlaneMask(q, planemask, depth);
    uint32_t rop = savageROP[savageAlu(alu)];
    if (savageNoSource(alu)) {
        savageSeqPut(q, CMD_FILL | rop);
    } else {
        savageSeqPut(q, CMD_FILL_COLOUR | rop);
        savageSeqPut(q, (uint32_t)fg);
    }
}

void savageDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if (savageAlu(alu) == GXnoop)
        return;
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    if (priv->noFill) {
        genDrawSolidRects(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    savageSeq q;
    savageSeqBegin(&q, priv);
    savageFillHead(&q, fg, alu, planemask, pScreen->rootDepth);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        savageSeqPut(&q, savageXY(b->x1, b->y1));
        savageSeqPut(&q, savageXY(b->x2 - b->x1, b->y2 - b->y1));
    }
    savageSeqEnd(&q);
}

void savageDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    if (savageAlu(alu) == GXnoop)
        return;
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    if (priv->noFill) {
        genDrawPoints(points, count, fg, alu, planemask, pDraw);
        return;
    }
    savageSeq q;
    savageSeqBegin(&q, priv);
    savageFillHead(&q, fg, alu, planemask, pScreen->rootDepth);
    for (int i = 0; i < count; i++) {
        savageSeqPut(&q, savageXY(points[i].x, points[i].y));
        savageSeqPut(&q, ONE_PIXEL);
    }
    savageSeqEnd(&q);
}

/* GXnoop is sent as it is: its ROP leaves the destination. */
void savageSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    if (priv->noFill) {
        genSolidFS(pGC, pDraw, starts, widths, count);
        return;
    }
    nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    savageSeq q;
    savageSeqBegin(&q, priv);
    savageFillHead(&q, gc->fgPixel, gc->alu, gc->planemask, pScreen->rootDepth);
    for (int i = 0; i < count; i++) {
        if (widths[i] <= 0)
            continue;
        savageSeqPut(&q, savageXY(starts[i].x, starts[i].y));
        savageSeqPut(&q, savageXY(widths[i], 1));
    }
    savageSeqEnd(&q);
}

void savageSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    savageZeroSegs(pGC, pDraw, segs, count, savageBytesPerPixel(pDraw->pScreen->rootDepth));
}

/* ---- Monochrome images ---- */

/* Each row goes out as whole 32-pixel words, the leftmost pixel in the top
 * bit. Only the caller's pixels are read: the `lead` pixels before the box
 * and the padding after it go as 0 and the clip word hides them. */
static void savageMonoRows(savageSeq *q, const uint8_t *bits, int startBit, int stride, int lead,
                           int w, int h, int words) {
    for (int r = 0; r < h; r++) {
        const uint8_t *row = bits + (intptr_t)r * stride;
        for (int k = 0; k < words; k++) {
            uint32_t word = 0;
            int first = k * MONO_COLUMN;
            for (int j = 0; j < MONO_COLUMN; j++) {
                int i = first + j - lead;
                if (i < 0 || i >= w)
                    continue;
                int bit = startBit + i;
                if ((row[bit >> 3] >> (bit & 7)) & 1)
                    word |= 0x80000000u >> j;
            }
            savageSeqPut(q, word);
        }
    }
}

static void doMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, DrawablePtr pDraw, Bool transparent) {
    if (savageAlu(alu) == GXnoop)
        return;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    /* The row starts on the bitmap's byte boundary, so the destination
     * starts startBit & 7 pixels left of the box (never left of column 0);
     * the width covers the box from there in whole 32-pixel words. */
    int lead = startBit & 7;
    if (lead > box->x1)
        lead = box->x1;
    int x0 = box->x1 - lead;
    int width = (box->x2 - x0 + MONO_COLUMN - 1) & ~(MONO_COLUMN - 1);
    uint32_t clip = savageXY(box->x1, box->x2 - 1);
    uint32_t rop = savageROP[savageAlu(alu)];

    /* Without a source the opaque image covers the whole box; the
     * transparent one still only the bitmap's set pixels, so its bits go
     * out whatever the alu. */
    Bool noData = savageNoSource(alu) && !transparent;
    savageSeq q;
    savageSeqBegin(&q, priv);
    savagePlaneMask(&q, planemask, pScreen->rootDepth);
    if (noData) {
        savageSeqPut(&q, CMD_CLIP_ONLY | rop);
        savageSeqPut(&q, clip);
    } else if (transparent) {
        savageSeqPut(&q, CMD_MONO_TRANSPARENT | rop);
        savageSeqPut(&q, clip);
        savageSeqPut(&q, (uint32_t)fg);
    } else {
        savageSeqPut(&q, CMD_MONO_OPAQUE | rop);
        savageSeqPut(&q, clip);
        savageSeqPut(&q, (uint32_t)fg);
        savageSeqPut(&q, (uint32_t)bg);
    }
    savageSeqPut(&q, savageXY(x0, box->y1));
    savageSeqPut(&q, savageXY(width, h));
    if (!noData)
        savageMonoRows(&q, bits, startBit, stride, lead, w, h, width / MONO_COLUMN);
    savageSeqEnd(&q);
}

void savageDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    doMonoImage(box, bits, startBit, stride, fg, 0, alu, planemask, pDraw, 1);
}

void savageDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    doMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw, 0);
}

/* ---- Images ---- */

/* The processor path writes whole client pixels, so it needs every bit of
 * the pixel under the mask: the depth's bits, or all 32 at 4-byte depths. */
static Bool savageProcessorMask(int depth, uint32_t planemask) {
    if (savageBytesPerPixel(depth) == 4)
        return planemask == 0xFFFFFFFFu;
    uint32_t m = savageDepthMask(depth);
    return (planemask & m) == m;
}

/* Rows from the 4-pixel boundary at or left of the box, as words with the
 * first byte in bits 24-31; the pixels outside the box go as 0. */
static void savageImageRows(savageSeq *q, const uint8_t *pixels, int stride, int lead, int w, int h,
                            int width, int bpp) {
    int rowBytes = width * bpp, first = lead * bpp, last = (lead + w) * bpp;
    for (int r = 0; r < h; r++) {
        const uint8_t *row = pixels + (intptr_t)r * stride;
        for (int k = 0; k < rowBytes; k += 4) {
            uint32_t word = 0;
            for (int b = 0; b < 4; b++) {
                int at = k + b;
                if (at >= first && at < last)
                    word |= (uint32_t)row[at - first] << (24 - 8 * b);
            }
            savageSeqPut(q, word);
        }
    }
}

void savageDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    if (savageAlu(alu) == GXnoop)
        return;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth, bpp = savageBytesPerPixel(depth);
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);

    if (savageAlu(alu) == GXcopy && savageProcessorMask(depth, planemask)) {
        savageEngineIdleWait(priv);
        for (int y = 0; y < h; y++)
            __builtin_memcpy(priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitchBytes +
                                 (intptr_t)box->x1 * bpp,
                             pixels + (intptr_t)y * stride, (size_t)w * (size_t)bpp);
        return;
    }

    int x0 = box->x1 & ~(IMAGE_COLUMN - 1);
    int width = ((box->x2 + IMAGE_COLUMN - 1) & ~(IMAGE_COLUMN - 1)) - x0;
    uint32_t rop = savageROP[savageAlu(alu)];
    savageSeq q;
    savageSeqBegin(&q, priv);
    savagePlaneMask(&q, planemask, depth);
    savageSeqPut(&q, (savageNoSource(alu) ? CMD_CLIP_ONLY : CMD_IMAGE) | rop);
    savageSeqPut(&q, savageXY(box->x1, box->x2 - 1));
    savageSeqPut(&q, savageXY(x0, box->y1));
    savageSeqPut(&q, savageXY(width, h));
    if (!savageNoSource(alu))
        savageImageRows(&q, pixels, stride, box->x1 - x0, w, h, width, bpp);
    savageSeqEnd(&q);
}

void savageReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    int bpp = savageBytesPerPixel(pScreen->rootDepth);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    savageEngineIdleWait(priv);
    if (w <= 0)
        return;
    for (int y = 0; y < h; y++)
        __builtin_memcpy(out + (intptr_t)y * stride,
                         priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitchBytes +
                             (intptr_t)box->x1 * bpp,
                         (size_t)w * (size_t)bpp);
}
