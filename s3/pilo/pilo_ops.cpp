/*
 * pilo: rectangle copies, solid rectangles and points, at depth 4 and 8 and
 * in the two byte halves of depth 16.
 */
#include "pilo.h"

/* The corners and command of a copy: an overlapping copy to the right (or
 * downwards) starts at the far edge, so no source pixel is overwritten
 * before it is read. */
typedef struct {
    int sx, sy, dx, dy;
    uint16_t command;
} piloCopyPlan;

static piloCopyPlan piloPlanCopy(const BoxRec *dst, const DDXPointRec *src) {
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    piloCopyPlan p = {src->x, src->y, dst->x1, dst->y1, CMD_BLIT};
    if (src->x < dst->x1) {
        p.command &= (uint16_t)~CMD_X_INCREASING;
        p.sx = src->x + w - 1;
        p.dx = dst->x2 - 1;
    }
    if (src->y < dst->y1) {
        p.command &= (uint16_t)~CMD_Y_INCREASING;
        p.sy = src->y + h - 1;
        p.dy = dst->y2 - 1;
    }
    return p;
}

void piloCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    (void)pDraw;
    if (piloBoxEmpty(dst))
        return;
    piloCopyPlan p = piloPlanCopy(dst, src);
    piloCpyRect(p.sx, p.sy, p.dx, p.dy, dst->x2 - dst->x1 - 1, dst->y2 - dst->y1 - 1,
                piloRasterOps[alu & 0xF], planemask & 0xFF, p.command);
}

void piloCopyBox16(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    (void)pDraw;
    if (piloBoxEmpty(dst))
        return;
    piloCopyPlan p = piloPlanCopy(dst, src);
    const int wm1 = dst->x2 - dst->x1 - 1, hm1 = dst->y2 - dst->y1 - 1;
    const int code = piloRasterOps[alu & 0xF];
    piloCpyRect(p.sx, p.sy, p.dx, p.dy, wm1, hm1, code, planemask & 0xFF, p.command);
    piloCpyRect(p.sx + BYTE_HALF, p.sy, p.dx + BYTE_HALF, p.dy, wm1, hm1, code,
                (planemask >> 8) & 0xFF, p.command);
}

/* The set-up of a solid fill: five writes. */
static void piloSolidSetUp(int code, Pixel fg, uint32_t planemask) {
    FifoSpaceWait(5);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg);
}

static void piloSolidBox(int x, int y, int w, int h) {
    FifoSpaceWait(5);
    piloOutPos(PILO_CUR_X, x);
    piloOutPos(PILO_CUR_Y, y);
    piloOut(PILO_MAJ_AXIS, (uint32_t)(w - 1));
    piloOutMulti(MULTI_HEIGHT, h - 1);
    piloOut(PILO_CMD, CMD_FILL);
}

void piloDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                        DrawablePtr pDraw) {
    (void)pDraw;
    piloSolidSetUp(piloRasterOps[alu & 0xF], fg & 0xFF, planemask & 0xFF);
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (!piloBoxEmpty(b))
            piloSolidBox(b->x1, b->y1, b->x2 - b->x1, b->y2 - b->y1);
    }
}

void piloDrawSolidRects16(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    (void)pDraw;
    const int code = piloRasterOps[alu & 0xF];
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (piloBoxEmpty(b))
            continue;
        const int w = b->x2 - b->x1, h = b->y2 - b->y1;
        piloSolidSetUp(code, fg & 0xFF, planemask & 0xFF);
        piloSolidBox(b->x1, b->y1, w, h);
        piloSolidSetUp(code, (fg >> 8) & 0xFF, (planemask >> 8) & 0xFF);
        piloSolidBox(b->x1 + BYTE_HALF, b->y1, w, h);
    }
}

void piloDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    (void)pDraw;
    FifoSpaceWait(6);
    piloOut(PILO_WRITE_MASK, planemask & 0xFF);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, (uint32_t)piloRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg & 0xFF);
    piloOut(PILO_MAJ_AXIS, 0);
    for (int i = 0; i < count; i++) {
        FifoSpaceWait(3);
        piloOutPos(PILO_CUR_X, points[i].x);
        piloOutPos(PILO_CUR_Y, points[i].y);
        piloOut(PILO_CMD, CMD_POINT);
    }
}

void piloDrawPoints16(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    (void)pDraw;
    FifoSpaceWait(5);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, (uint32_t)piloRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND);
    piloOut(PILO_MAJ_AXIS, 0);
    for (int i = 0; i < count; i++) {
        FifoSpaceWait(5);
        piloOut(PILO_WRITE_MASK, planemask & 0xFF);
        piloOut(PILO_FG_COLOUR, fg & 0xFF);
        piloOutPos(PILO_CUR_X, points[i].x);
        piloOutPos(PILO_CUR_Y, points[i].y);
        piloOut(PILO_CMD, CMD_POINT);
        FifoSpaceWait(4);
        piloOut(PILO_WRITE_MASK, (planemask >> 8) & 0xFF);
        piloOut(PILO_FG_COLOUR, (fg >> 8) & 0xFF);
        piloOutPos(PILO_CUR_X, points[i].x + BYTE_HALF);
        piloOut(PILO_CMD, CMD_POINT);
    }
}
