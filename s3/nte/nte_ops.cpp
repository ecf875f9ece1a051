/*
 * nte family: screen-to-screen copies, solid rectangles and the hardware
 * scissor. Each routine queues its writes behind FIFO waits and returns
 * without waiting for the engine; the next operation's wait orders it.
 */
#include "nte.h"

static int nteBoxEmpty(const BoxRec *b) {
    return b->x2 <= b->x1 || b->y2 <= b->y1;
}

void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    /* A size of 0 would be written as 0xFFF less one: the widest blit. */
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

    FifoSpaceWait(REG32_WRITES + 1);
    nteOutReg32(priv, NTE_WRITE_MASK, planemask);
    nteOutReg(priv, NTE_FG_MIX, (uint16_t)(NAME(RasterOps)[alu & 0xF] | MIX_SRC_MEMORY));
    FifoSpaceWait(7);
    nteOutReg(priv, NTE_CUR_X, (uint16_t)sx);
    nteOutReg(priv, NTE_CUR_Y, (uint16_t)sy);
    nteOutReg(priv, NTE_DEST_X, (uint16_t)dx);
    nteOutReg(priv, NTE_DEST_Y, (uint16_t)dy);
    nteOutReg(priv, NTE_MAJ_AXIS, (uint16_t)(w - 1));
    nteOutMulti(priv, MULTI_HEIGHT, h - 1);
    nteOutReg(priv, NTE_CMD, command);
}

void NAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    FifoSpaceWait(2 * REG32_WRITES + 1);
    nteOutReg32(priv, NTE_WRITE_MASK, planemask);
    nteOutReg(priv, NTE_FG_MIX, (uint16_t)(NAME(RasterOps)[alu & 0xF] | MIX_SRC_FOREGROUND));
    nteOutReg32(priv, NTE_FG_COLOUR, fg);
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

/* The first box becomes the scissor rectangle; with none the scissors
 * return to the full drawing extent, OffScreenArea included. */
void NAME(SetClipRegions)(BoxPtr boxes, int count, DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    FifoSpaceWait(4);
    if (count != 0) {
        nteOutMulti(priv, MULTI_SCISSOR_LEFT, boxes[0].x1);
        nteOutMulti(priv, MULTI_SCISSOR_TOP, boxes[0].y1);
        nteOutMulti(priv, MULTI_SCISSOR_RIGHT, boxes[0].x2 - 1);
        nteOutMulti(priv, MULTI_SCISSOR_BOTTOM, boxes[0].y2 - 1);
    } else {
        nteOutMulti(priv, MULTI_SCISSOR_LEFT, 0);
        nteOutMulti(priv, MULTI_SCISSOR_TOP, 0);
        nteOutMulti(priv, MULTI_SCISSOR_RIGHT, priv->clipRight);
        nteOutMulti(priv, MULTI_SCISSOR_BOTTOM, priv->clipBottom);
    }
}
