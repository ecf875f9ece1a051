/*
 * nelto: the operations the 2D engine does by itself: rectangle copies,
 * solid rectangles, points, and monochrome images expanded from host data.
 */
#include "nelto.h"

/* Host data goes out in bursts of this many words. */
#define HOST_BURST_WORDS 64

static inline uint32_t neltoAluIndex(int alu) {
    return (uint32_t)alu & 0xF;
}

/* Rows of `rowBytes` bytes, `stride` apart, as whole 32-bit words to the
 * host data port, the first byte in the low byte of a word. A row's last
 * word takes only the row's own bytes (the rest 0), so nothing past the
 * caller's rows is read. `swap`, when given, maps every byte. */
void neltoSendRows(const neltoScreenPrivate *priv, const uint8_t *rows, int stride, int h,
                   int rowBytes, const uint8_t *swap) {
    uint32_t burst[HOST_BURST_WORDS];
    volatile uint8_t *port = priv->regBase + REG_HOST_DATA;
    for (int y = 0; y < h; y++) {
        const uint8_t *row = rows + (intptr_t)y * stride;
        uint32_t n = 0;
        for (int at = 0; at < rowBytes; at += 4) {
            uint32_t word = 0;
            int left = rowBytes - at < 4 ? rowBytes - at : 4;
            for (int k = 0; k < left; k++) {
                uint8_t b = row[at + k];
                word |= (uint32_t)(swap ? swap[b] : b) << (8 * k);
            }
            burst[n++] = word;
            if (n == HOST_BURST_WORDS) {
                mmWriteRep32(port, burst, n);
                n = 0;
            }
        }
        if (n)
            mmWriteRep32(port, burst, n);
    }
}

/* ---- Copies ---- */

void neltoCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (!neltoFullMask(depth, planemask)) {
        genCopyRect(dst, src, alu, planemask, pDraw);
        return;
    }
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    /* The size register cannot say "nothing". */
    if (w <= 0 || h <= 0)
        return;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    Bool leftToRight = src->x >= dst->x1, topDown = src->y >= dst->y1;
    uint32_t cmd = CMD_COPY | neltoROP[neltoAluIndex(alu)] | neltoFormat(depth);
    if (w < NARROW_LIMIT)
        cmd |= CMD_NARROW;
    if (leftToRight)
        cmd |= CMD_X_POSITIVE;
    if (topDown)
        cmd |= CMD_Y_POSITIVE;
    /* Against the direction of travel the corners are the far ones. */
    int sx = leftToRight ? src->x : src->x + w - 1;
    int sy = topDown ? src->y : src->y + h - 1;
    int dx = leftToRight ? dst->x1 : dst->x2 - 1;
    int dy = topDown ? dst->y1 : dst->y2 - 1;
    neltoEngineIdleWait(priv);
    neltoWrite(priv, REG_COMMAND, cmd);
    neltoWrite(priv, REG_SOURCE, XY(sx, sy));
    neltoWrite(priv, REG_SIZE, SIZE_WH(w, h));
    neltoWrite(priv, REG_DESTINATION, XY(dx, dy));
}

/* ---- Solid fills ---- */

static void neltoBeginFill(const neltoScreenPrivate *priv, int depth, Pixel fg, int alu) {
    neltoEngineIdleWait(priv);
    neltoWrite(priv, REG_COMMAND, CMD_FILL | neltoPROP[neltoAluIndex(alu)] | neltoFormat(depth));
    uint32_t colour = neltoPixelReplicate(depth, fg);
    neltoWrite(priv, REG_PATTERN_FG3, colour);
    neltoWrite(priv, REG_PATTERN_FG, colour);
}

/* A no-op, then a resting command that copies pixel (0, 0) onto itself:
 * the registers no longer describe a fill. */
static void neltoEndFill(const neltoScreenPrivate *priv, int depth) {
    neltoEngineIdleWait(priv);
    neltoWrite(priv, REG_COMMAND, CMD_NOP | neltoFormat(depth));
    neltoWrite(priv, REG_SOURCE, 0);
    neltoWrite(priv, REG_DESTINATION, 0);
    neltoWrite(priv, REG_SIZE, 1);
    neltoWrite(priv, REG_COMMAND, CMD_RESTING | neltoFormat(depth));
}

void neltoDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (!neltoFullMask(depth, planemask)) {
        genDrawSolidRects(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    neltoBeginFill(priv, depth, fg, alu);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        neltoEngineIdleWait(priv);
        neltoWrite(priv, REG_SIZE, SIZE_WH(b->x2 - b->x1, b->y2 - b->y1));
        neltoWrite(priv, REG_DESTINATION, XY(b->x1, b->y1));
    }
    neltoEndFill(priv, depth);
}

/* Points queue one after another behind one 1 x 1 size. */
void neltoDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (!neltoFullMask(depth, planemask)) {
        genDrawPoints(points, count, fg, alu, planemask, pDraw);
        return;
    }
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    neltoBeginFill(priv, depth, fg, alu);
    neltoEngineIdleWait(priv);
    neltoWrite(priv, REG_SIZE, SIZE_WH(1, 1));
    for (int i = 0; i < count; i++)
        neltoWrite(priv, REG_DESTINATION, XY(points[i].x, points[i].y));
    neltoEndFill(priv, depth);
}

/* ---- Monochrome images ---- */

/* The alus whose result does not depend on the source are left to the
 * server, as are bitmaps that do not start at a byte and partial masks. */
static Bool neltoMonoFallback(int alu, int startBit, int depth, uint32_t planemask) {
    uint32_t a = neltoAluIndex(alu);
    return a == GXclear || a == GXinvert || a == GXset || startBit != 0 ||
           !neltoFullMask(depth, planemask);
}

/* Narrow by the bytes of a bitmap row. */
static void neltoExpandCommand(const neltoScreenPrivate *priv, int depth, BoxPtr box,
                               uint32_t cmd) {
    if ((box->x2 - box->x1 + 7) / 8 < NARROW_LIMIT)
        cmd |= CMD_NARROW;
    neltoWrite(priv, REG_COMMAND, cmd | neltoFormat(depth));
}

static void neltoStartExpansion(const neltoScreenPrivate *priv, BoxPtr box, uint8_t *bits,
                                int stride) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    neltoWrite(priv, REG_SOURCE, 0);
    neltoWrite(priv, REG_SIZE, SIZE_WH(w, h));
    neltoWrite(priv, REG_DESTINATION, XY(box->x1, box->y1));
    neltoSendRows(priv, bits, stride, h, (w + 7) / 8, ddxBitSwap);
}

void neltoDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (neltoAluIndex(alu) == GXnoop)
        return;
    if (neltoMonoFallback(alu, startBit, depth, planemask)) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    neltoEngineIdleWait(priv);
    neltoExpandCommand(priv, depth, box, CMD_MONO | neltoROP[neltoAluIndex(alu)]);
    uint32_t colour = neltoPixelReplicate(depth, fg);
    neltoWrite(priv, REG_PATTERN_FG3, colour);
    neltoWrite(priv, REG_PATTERN_FG, colour);
    neltoWrite(priv, REG_PATTERN_BG3, colour);
    neltoWrite(priv, REG_PATTERN_BG, colour);
    neltoWrite(priv, REG_SOURCE_FG, colour);
    neltoWrite(priv, REG_SOURCE_BG, colour);
    neltoStartExpansion(priv, box, bits, stride);
}

void neltoDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if (neltoAluIndex(alu) == GXnoop)
        return;
    if (neltoMonoFallback(alu, startBit, depth, planemask)) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    neltoEngineIdleWait(priv);
    neltoExpandCommand(priv, depth, box, CMD_OPAQUE_MONO | neltoROP[neltoAluIndex(alu)]);
    uint32_t fore = neltoPixelReplicate(depth, fg), back = neltoPixelReplicate(depth, bg);
    neltoWrite(priv, REG_PATTERN_FG3, fore);
    neltoWrite(priv, REG_PATTERN_FG, fore);
    neltoWrite(priv, REG_SOURCE_FG, fore);
    neltoWrite(priv, REG_PATTERN_BG3, back);
    neltoWrite(priv, REG_PATTERN_BG, back);
    neltoWrite(priv, REG_SOURCE_BG, back);
    neltoStartExpansion(priv, box, bits, stride);
}
