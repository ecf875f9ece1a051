/*
 * nte family: screen-to-screen copies, solid rectangles, points, zero-width
 * segments and the hardware scissor. Each routine queues its writes behind
 * FIFO waits and returns without waiting for the engine; the next
 * operation's wait orders it. The engine applies every alu and plane mask,
 * so nothing here falls back for them.
 */
#include "nte.h"

void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    if (nteBoxEmpty(dst))
        return;
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint16_t command = CMD_BLIT;
    /* Overlapping copies run away from the destination: right to left when
     * the source lies left of it, bottom to top when above it. */
    if (sx < dst->x1) {
        sx += w - 1;
        dx = dst->x2 - 1;
        command &= (uint16_t)~CMD_X_INCREASING;
    }
    if (sy < dst->y1) {
        sy += h - 1;
        dy = dst->y2 - 1;
        command &= (uint16_t)~CMD_Y_INCREASING;
    }

    NteQueue q = nteQueue(priv, REG32_WRITES + 1);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_MEMORY));
    q = nteQueue(priv, 7);
    nteQueueReg(&q, NTE_CUR_X, (uint16_t)sx);
    nteQueueReg(&q, NTE_CUR_Y, (uint16_t)sy);
    nteQueueReg(&q, NTE_DEST_X, (uint16_t)dx);
    nteQueueReg(&q, NTE_DEST_Y, (uint16_t)dy);
    nteQueueReg(&q, NTE_MAJ_AXIS, (uint16_t)(w - 1));
    nteQueueMulti(&q, MULTI_HEIGHT, h - 1);
    nteQueueReg(&q, NTE_CMD, command);
}

void NAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    NteQueue q = nteQueue(priv, 2 * REG32_WRITES + 1);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_FOREGROUND));
    nteQueueReg32(&q, NTE_FG_COLOUR, fg);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (nteBoxEmpty(b))
            continue;
        FifoSpaceWait(5);
        nteOutReg(priv, NTE_CUR_X, (uint16_t)b->x1);
        nteOutReg(priv, NTE_MAJ_AXIS, (uint16_t)(b->x2 - b->x1 - 1));
        nteOutReg(priv, NTE_CUR_Y, (uint16_t)b->y1);
        nteOutMulti(priv, MULTI_HEIGHT, b->y2 - b->y1 - 1);
        nteOutReg(priv, NTE_CMD, CMD_FILL);
    }
}

static void ntePoint(const nteScreenPrivate *priv, const DDXPointRec *p) {
    nteOutReg(priv, NTE_CUR_X, (uint16_t)p->x);
    nteOutReg(priv, NTE_CUR_Y, (uint16_t)p->y);
    nteOutReg(priv, NTE_CMD, CMD_POINT);
}

/* A point is a line of one pixel: the major axis count 0, set once. Points
 * go two per wait. */
void NAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    if (count <= 0)
        return;
    NteQueue q = nteQueue(priv, 2 * REG32_WRITES + 2);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_FOREGROUND));
    nteQueueReg32(&q, NTE_FG_COLOUR, fg);
    nteQueueReg(&q, NTE_MAJ_AXIS, 0);
    int i = 0;
    for (; i + 1 < count; i += 2) {
        FifoSpaceWait(6);
        ntePoint(priv, &points[i]);
        ntePoint(priv, &points[i + 1]);
    }
    if (i < count) {
        FifoSpaceWait(3);
        ntePoint(priv, &points[i]);
    }
}

/* The engine's line registers hold 13-bit e and e1, a 14-bit e2 and a
 * 12-bit length; terms beyond them go to the generic routine. */
static int nteSegmentFits(int e, int e1, int e2, int len) {
    return e >= LINE_ERR_MIN && e <= LINE_ERR_MAX && e1 >= LINE_ERR_MIN && e1 <= LINE_ERR_MAX &&
           e2 >= LINE_DIAG_MIN && e2 <= LINE_DIAG_MAX && len <= MULTI_VALUE_MASK;
}

void NAME(SolidZeroSeg)(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                        int y1, int e, int e1, int e2, int len) {
    if (!nteSegmentFits(e, e1, e2, len)) {
        genSolidZeroSeg(pGC, pDraw, signdx, signdy, axis, x1, y1, e, e1, e2, len);
        return;
    }
    if (len <= 0)
        return;
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    uint16_t command = axis ? CMD_LINE_Y_MAJOR : CMD_LINE_X_MAJOR;
    if (signdx > 0)
        command |= CMD_X_INCREASING;
    if (signdy > 0)
        command |= CMD_Y_INCREASING;

    NteQueue q = nteQueue(priv, REG32_WRITES + 1);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(gcPriv->planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(gcPriv->alu, MIX_SRC_FOREGROUND));
    q = nteQueue(priv, REG32_WRITES + 7);
    nteQueueReg32(&q, NTE_FG_COLOUR, gcPriv->fgPixel);
    nteQueueReg(&q, NTE_CUR_X, (uint16_t)x1);
    nteQueueReg(&q, NTE_CUR_Y, (uint16_t)y1);
    nteQueueReg(&q, NTE_ERR_TERM, (uint16_t)e);
    nteQueueReg(&q, NTE_DEST_Y, (uint16_t)e1);
    nteQueueReg(&q, NTE_DEST_X, (uint16_t)e2);
    nteQueueReg(&q, NTE_MAJ_AXIS, (uint16_t)len);
    nteQueueReg(&q, NTE_CMD, command);
}

/* The four scissors, and the private's note of them. */
void nteSetScissors(nteScreenPrivPtr priv, const NteScissors *sc) {
    FifoSpaceWait(4);
    nteOutMulti(priv, MULTI_SCISSOR_LEFT, sc->left);
    nteOutMulti(priv, MULTI_SCISSOR_TOP, sc->top);
    nteOutMulti(priv, MULTI_SCISSOR_RIGHT, sc->right);
    nteOutMulti(priv, MULTI_SCISSOR_BOTTOM, sc->bottom);
    priv->scissorLeft = sc->left & MULTI_VALUE_MASK;
    priv->scissorTop = sc->top & MULTI_VALUE_MASK;
    priv->scissorRight = sc->right & MULTI_VALUE_MASK;
    priv->scissorBottom = sc->bottom & MULTI_VALUE_MASK;
}

/* The driver's own drawing off the screen (fonts, staged patterns, the
 * cursor image) must not be cut by the client's clip: the scissors open from
 * (0, 0) to (right, bottom), and what was set before is returned for
 * nteSetScissors to give back. */
NteScissors nteOpenScissors(nteScreenPrivPtr priv, int right, int bottom) {
    NteScissors client = {priv->scissorLeft, priv->scissorTop, priv->scissorRight,
                          priv->scissorBottom};
    NteScissors open = {0, 0, right, bottom};
    nteSetScissors(priv, &open);
    return client;
}

/* The first box becomes the scissor rectangle; with none the scissors
 * return to the full drawing extent, OffScreenArea included. */
void NAME(SetClipRegions)(BoxPtr boxes, int count, DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    NteScissors sc = {0, 0, priv->clipRight, priv->clipBottom};
    if (count != 0) {
        sc.left = boxes[0].x1;
        sc.top = boxes[0].y1;
        sc.right = boxes[0].x2 - 1;
        sc.bottom = boxes[0].y2 - 1;
        /* An empty box lets nothing through: an edge of -1 would be the
         * widest 12-bit scissor. */
        if (sc.right < sc.left) {
            sc.left = 1;
            sc.right = 0;
        }
        if (sc.bottom < sc.top) {
            sc.top = 1;
            sc.bottom = 0;
        }
    }
    nteSetScissors(priv, &sc);
}
