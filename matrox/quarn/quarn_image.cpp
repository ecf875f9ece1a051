// Images by the processor: the frame buffer read and written directly once
// the engine has drained its FIFO and gone idle, the alu and plane mask
// applied to each pixel.
#include <string.h>

#include "hwio.h"
#include "quarn.h"
#include "xalu.h"

namespace {

constexpr uint32_t kFifoStatus = 0x1E10;

// The processor may touch video memory only while the engine leaves it alone.
void waitIdle(quarnScreenPrivate *priv) {
    while ((mmRead32(priv->regs + kFifoStatus) & static_cast<uint32_t>(mga_mask)) <
           static_cast<uint32_t>(mga_status)) {
    }
    while (mmRead32(priv->regs + QUARN_STATUS) & QUARN_STATUS_BUSY) {
    }
}

uint8_t *pixelAddress(const quarnScreenPrivate *priv, int x, int y) {
    const int32_t pixel = priv->drawOrigin + y * priv->pitch + x;
    return priv->fb + static_cast<uint32_t>(pixel) * static_cast<uint32_t>(priv->bytesPerPixel);
}

} // namespace

extern "C" {

void quarnDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    waitIdle(priv);
    const int bpp = priv->bytesPerPixel;
    for (int y = 0; y < h; y++) {
        uint8_t *dst = pixelAddress(priv, box->x1, box->y1 + y);
        const uint8_t *src = pixels + y * stride;
        for (int x = 0; x < w; x++) {
            uint32_t s = 0, d = 0;
            memcpy(&s, src + x * bpp, static_cast<size_t>(bpp));
            memcpy(&d, dst + x * bpp, static_cast<size_t>(bpp));
            const uint32_t v = xMergeAlu(alu & 0xF, s, d, planemask);
            memcpy(dst + x * bpp, &v, static_cast<size_t>(bpp));
        }
    }
}

void quarnReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    waitIdle(priv);
    for (int y = 0; y < h; y++)
        memcpy(out + y * stride, pixelAddress(priv, box->x1, box->y1 + y),
               static_cast<size_t>(w * priv->bytesPerPixel));
}

} // extern "C"
