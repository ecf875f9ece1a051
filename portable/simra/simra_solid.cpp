/*
 * simra: solid rectangles, spans, points, screen copies and zero-width
 * segments. Each call loads colour, plane mask, raster operation and mode
 * once and then sends only geometry and a command per primitive.
 *
 * Sizes go to the engine as width - 1 and height - 1 in 12 bits: an empty
 * box, span or segment would come out as 4096 pixels, so none is sent.
 */
#include "simra.h"

static uint32_t simraSolidMode(const simraScreenPrivate *priv) {
    return priv->pixelSizeBits | MODE_SCREEN;
}

void simraSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    simraRegs r = simraBegin(priv);
    simraWaitQueue(2);
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        simraWaitQueue(2);
        simraB1(&r, B1_WIDTH, (uint32_t)(b->x2 - b->x1 - 1));
        simraB1(&r, B1_HEIGHT, (uint32_t)(b->y2 - b->y1 - 1));
        simraB1(&r, B1_DST_X, (uint32_t)b->x1);
        simraB1(&r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(&r, B1_COMMAND, CMD_FILL);
    }
    simraEnd(&r);
}

void simraDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        simraWaitQueue(3);
        simraB1(&r, B1_DST_X, (uint32_t)b->x1);
        simraB1(&r, B1_DST_Y, (uint32_t)b->y1);
        simraB1(&r, B1_WIDTH, (uint32_t)(b->x2 - b->x1 - 1));
        simraB1(&r, B1_HEIGHT, (uint32_t)(b->y2 - b->y1 - 1));
        simraB1(&r, B1_COMMAND, CMD_FILL);
    }
    simraEnd(&r);
}

void simraSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraB1(&r, B1_HEIGHT, 0);
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    for (int i = 0; i < count; i++) {
        if (widths[i] <= 0)
            continue;
        simraWaitQueue(4);
        simraB1(&r, B1_DST_X, (uint32_t)starts[i].x);
        simraB1(&r, B1_DST_Y, (uint32_t)starts[i].y);
        simraB1(&r, B1_WIDTH, (uint32_t)(widths[i] - 1));
        simraB1(&r, B1_COMMAND, CMD_FILL);
    }
    simraEnd(&r);
}

void simraDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_WIDTH, 0);
    simraB1(&r, B1_HEIGHT, 0);
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    for (int i = 0; i < count; i++) {
        simraWaitQueue(5);
        simraB1(&r, B1_DST_X, (uint32_t)points[i].x);
        simraB1(&r, B1_DST_Y, (uint32_t)points[i].y);
        simraB1(&r, B1_COMMAND, CMD_FILL);
    }
    simraEnd(&r);
}

/* An overlapping copy must read each source pixel before it is overwritten:
 * right to left when the source lies left of the destination, bottom to top
 * when it lies above, starting from the corner those directions begin at. */
void simraCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint32_t direction = 0;
    if (sx < dx) {
        direction |= CMD_RIGHT_TO_LEFT;
        sx += w - 1;
        dx += w - 1;
    }
    if (sy < dy) {
        direction |= CMD_BOTTOM_TO_TOP;
        sy += h - 1;
        dy += h - 1;
    }
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_SRC_X, (uint32_t)sx);
    simraB1(&r, B1_SRC_Y, (uint32_t)sy);
    simraB1(&r, B1_DST_X, (uint32_t)dx);
    simraB1(&r, B1_DST_Y, (uint32_t)dy);
    simraB1(&r, B1_WIDTH, (uint32_t)(w - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(h - 1));
    simraWaitQueue(5);
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    simraB1(&r, B1_COMMAND, CMD_COPY | direction);
    simraEnd(&r);
}

/* The engine decides a diagonal step on x-decreasing lines one error unit
 * earlier than the frame-buffer layer's rule; lowering e by 1 makes it draw
 * the layer's pixels. */
void simraSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    if (len <= 0)
        return;
    uint32_t direction = 0;
    if (signdx < 0) {
        direction |= CMD_LINE_X_DEC;
        e -= 1;
    }
    if (signdy < 0)
        direction |= CMD_LINE_Y_DEC;
    if (axis == 1)
        direction |= CMD_LINE_Y_MAJOR;
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    ioOut16(WD_LINE_E1, (uint16_t)e1);
    ioOut16(WD_LINE_E2, (uint16_t)e2);
    ioOut16(WD_LINE_E, (uint16_t)e);
    simraReg16(&r, B3_FG, gcPriv->fgPixel);
    simraReg16(&r, B3_PLANE_MASK, gcPriv->planemask);
    simraWaitEmpty();
    simraB1(&r, B1_ROP, simraRop(gcPriv->alu));
    simraB1(&r, B1_DST_X, (uint32_t)x1);
    simraB1(&r, B1_DST_Y, (uint32_t)y1);
    simraB1(&r, B1_WIDTH, (uint32_t)(len - 1));
    simraB1(&r, B1_MODE, simraSolidMode(priv));
    simraB1(&r, B1_COMMAND, CMD_LINE | direction);
    simraEnd(&r);
}
