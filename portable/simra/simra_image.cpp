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

void simraDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    (void)alu;
    (void)planemask;
    simraWriteImage(priv, box, pixels, stride);
}
