/*
 * simra: images. The processor moves plain copies through the window row by
 * row; everything the raster operation or the plane mask touches goes
 * through the engine's host data port.
 */
#include "simra.h"

static uint32_t simraOffset(const simraScreenPrivate *priv, int x, int y) {
    return priv->pitch * (uint32_t)y + (uint32_t)priv->bytesPerPixel * (uint32_t)x;
}

void simraReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    const uint32_t n = (uint32_t)w * (uint32_t)priv->bytesPerPixel;
    simraWaitIdle();
    simraWalk walk;
    simraWalkStart(priv, &walk, simraOffset(priv, box->x1, box->y1), n);
    for (int row = 0; row < h; row++) {
        if (row)
            simraWalkNext(priv, &walk);
        simraWindowRead(dst + (ptrdiff_t)row * stride, walk.at, n);
    }
}

static void simraWriteImage(simraScreenPrivPtr priv, BoxPtr box, const uint8_t *pixels,
                            int stride) {
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    const uint32_t n = (uint32_t)w * (uint32_t)priv->bytesPerPixel;
    simraWaitIdle();
    simraWalk walk;
    simraWalkStart(priv, &walk, simraOffset(priv, box->x1, box->y1), n);
    for (int row = 0; row < h; row++) {
        if (row)
            simraWalkNext(priv, &walk);
        simraWindowWrite(walk.at, pixels + (ptrdiff_t)row * stride, n);
    }
}

/* Each row goes as 32-bit units that start `lead` pixels before it, so
 * that units fall on the engine's own 32-bit boundaries; the engine skips
 * the lead pixels and drops those past the row's end. They are sent as 0:
 * the caller's buffer holds only the image's own pixels. */
static void simraEngineImage(simraScreenPrivPtr priv, BoxPtr box, const uint8_t *pixels, int stride,
                             int alu, uint32_t planemask) {
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    const int bpp = priv->bytesPerPixel;
    const int lead = bpp == 1 ? (box->x1 & 3) : (box->x1 & 1);
    const int units = bpp == 1 ? (w + lead + 3) / 4 : (w + lead + 1) / 2;
    uint8_t row[(WD_COORD_LIMIT + 4) * 2];
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraB1(&r, B1_SRC_X, (uint32_t)lead);
    simraB1(&r, B1_SRC_Y, 0);
    simraB1(&r, B1_DST_X, (uint32_t)box->x1);
    simraB1(&r, B1_DST_Y, (uint32_t)box->y1);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_ROP, simraRop(alu));
    simraWaitQueue(4);
    simraB1(&r, B1_WIDTH, (uint32_t)(w - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(h - 1));
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_HOST_COLOUR);
    simraB1(&r, B1_COMMAND, CMD_HOST_COLOUR);
    simraWaitEmpty();
    __builtin_memset(row, 0, (size_t)units * 4);
    for (int y = 0; y < h; y++) {
        __builtin_memcpy(row + lead * bpp, pixels + (ptrdiff_t)y * stride, (size_t)(w * bpp));
        for (int u = 0; u < units; u++) {
            const uint8_t *p = row + 4 * u;
            ioOut16(WD_HOST_LOW, (uint16_t)(p[0] | p[1] << 8));
            ioOut16(WD_HOST_HIGH, (uint16_t)(p[2] | p[3] << 8));
        }
    }
    simraEnd(&r);
}

void simraDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    planemask &= priv->pixelMask;
    if (alu == GXcopy && planemask == priv->pixelMask)
        simraWriteImage(priv, box, pixels, stride);
    else
        simraEngineImage(priv, box, pixels, stride, alu, planemask);
}

/* ---- Monochrome images ---- */

/* 4-pixel groups of each row, which start at the group holding the start
 * bit; the engine skips the pixels before it. */
static void simraSendMonoImage(BoxPtr box, const uint8_t *bits, int startBit, int stride) {
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    const int groups = (startBit + w + 3) / 4 - startBit / 4;
    const uint8_t *first = bits + startBit / 8;
    const Bool oddStart = (startBit & 4) != 0;
    for (int y = 0; y < h; y++)
        simraSendMonoRow(first + (ptrdiff_t)y * stride, groups, oddStart);
}

/* At two bytes per pixel an image this thin is cheaper for the server. */
static Bool simraMonoTooSmall(const simraScreenPrivate *priv, BoxPtr box) {
    return priv->bytesPerPixel == 2 && (box->x2 - box->x1 <= 2 || box->y2 - box->y1 <= 2);
}

void simraDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    if (simraMonoTooSmall(priv, box)) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_SRC_X, (uint32_t)(startBit & 3));
    simraB1(&r, B1_SRC_Y, 0);
    simraB1(&r, B1_DST_X, (uint32_t)box->x1);
    simraB1(&r, B1_DST_Y, (uint32_t)box->y1);
    simraWaitQueue(2);
    simraB1(&r, B1_WIDTH, (uint32_t)(box->x2 - box->x1 - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(box->y2 - box->y1 - 1));
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_HOST_MONO_TRANSPARENT);
    simraB1(&r, B1_COMMAND, CMD_HOST_MONO);
    simraWaitEmpty();
    simraSendMonoImage(box, bits, startBit, stride);
    simraEnd(&r);
}

void simraDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    if (simraMonoTooSmall(priv, box)) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_BG, bg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraB1(&r, B1_SRC_X, (uint32_t)(startBit & 3));
    simraB1(&r, B1_SRC_Y, 0);
    simraWaitEmpty();
    simraB1(&r, B1_DST_X, (uint32_t)box->x1);
    simraB1(&r, B1_DST_Y, (uint32_t)box->y1);
    simraB1(&r, B1_WIDTH, (uint32_t)(box->x2 - box->x1 - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(box->y2 - box->y1 - 1));
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_HOST_MONO);
    simraB1(&r, B1_COMMAND, CMD_HOST_MONO);
    simraWaitEmpty();
    simraSendMonoImage(box, bits, startBit, stride);
    simraEnd(&r);
}
