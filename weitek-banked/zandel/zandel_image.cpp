/*
 * Images by the processor in the frame buffer, rows PIXBYTES apart. The
 * generic routines of the server draw through these two, so every drawing
 * the driver does not accelerate ends here.
 */
#include "zandel.h"

static uint32_t zandelLoadPixel(const uint8_t *p, int size) {
    uint32_t v = 0;
    __builtin_memcpy(&v, p, (size_t)size);
    return v;
}

static void zandelStorePixel(uint8_t *p, int size, uint32_t v) {
    __builtin_memcpy(p, &v, (size_t)size);
}

void zandelDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    const int b = priv->pixelSize;
    const int row = (box->x2 - box->x1) * b;
    const int step = stride != 0 ? stride : row;
    for (int y = box->y1; y < box->y2; y++, pixels += step) {
        uint8_t *dst =
            priv->frameBuffer + (size_t)y * (size_t)priv->pixBytes + (size_t)box->x1 * (size_t)b;
        for (int x = 0; x < row; x += b) {
            const uint32_t src = zandelLoadPixel(pixels + x, b);
            zandelStorePixel(dst + x, b,
                             xMergeAlu(alu, src, zandelLoadPixel(dst + x, b), planemask));
        }
    }
}

void zandelReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    const int b = priv->pixelSize;
    const int row = (box->x2 - box->x1) * b;
    const int step = stride != 0 ? stride : row;
    for (int y = box->y1; y < box->y2; y++, dst += step)
        __builtin_memcpy(dst,
                         priv->frameBuffer + (size_t)y * (size_t)priv->pixBytes +
                             (size_t)box->x1 * (size_t)b,
                         (size_t)row);
}
