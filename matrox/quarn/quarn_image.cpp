// Full-colour images: read and the plain copy by the processor once the
// engine is idle, other raster ops staged a row at a time in off-screen
// memory and blitted by the engine, and the boards whose plane-mask register
// must stay untouched in software.
#include <string.h>

#include "hwio.h"
#include "quarn.h"
#include "xalu.h"

namespace {

constexpr uint32_t kCommand = 0x1C00, kLength = 0x1C5C, kSourceEnd = 0x1C60, kSourceStart = 0x1C6C,
                   kSourcePitch = 0x1C74, kDestLeft = 0x1CA8, kDestRight = 0x1CAC,
                   kDestLineGo = 0x1D90;
constexpr uint32_t kColourBlit = 0x04006008;

void out(quarnScreenPrivate *priv, uint32_t offset, uint32_t value) {
    mmWrite32(priv->regs + offset, value);
}

uint8_t *pixelAddress(const quarnScreenPrivate *priv, int x, int y) {
    return priv->fb + priv->bytesPerPixel * (priv->drawOrigin + x) + y * priv->lineBytes;
}

template <class Pixel>
void drawRaw(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
             DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const uint32_t depthMask = priv->depth >= 32 ? 0xFFFFFFu : (1u << priv->depth) - 1;
    const uint32_t mask = planemask & depthMask;
    if (mask == 0 || box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    quarnWaitIdle(priv);
    for (int y = box->y1; y < box->y2; y++) {
        Pixel *dst = reinterpret_cast<Pixel *>(pixelAddress(priv, box->x1, y));
        const uint8_t *src = pixels + (y - box->y1) * stride;
        for (int x = 0; x < box->x2 - box->x1; x++) {
            Pixel s;
            memcpy(&s, src + x * sizeof(Pixel), sizeof s);
            dst[x] = static_cast<Pixel>(xMergeAlu(alu & 0xF, s, dst[x], mask));
        }
    }
}

} // namespace

extern "C" {

void quarnDrawImageRaw_8bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                            DrawablePtr pDraw) {
    drawRaw<uint8_t>(box, pixels, stride, alu, planemask, pDraw);
}
void quarnDrawImageRaw_16bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw) {
    drawRaw<uint16_t>(box, pixels, stride, alu, planemask, pDraw);
}
void quarnDrawImageRaw_32bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw) {
    drawRaw<uint32_t>(box, pixels, stride, alu, planemask, pDraw);
}

// The byte at the end of video memory goes after the engine is idle: the
// processor may not write video memory while the engine works.
void quarnReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    quarnWaitIdle(priv);
    priv->fb[priv->memorySize - 1] = 0xFF;
    const int bytes = priv->bytesPerPixel * (box->x2 - box->x1);
    if (bytes <= 0)
        return;
    for (int y = box->y1; y < box->y2; y++, out += stride)
        memcpy(out, pixelAddress(priv, box->x1, y), static_cast<size_t>(bytes));
}

void quarnDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    alu &= 0xFF;
    if (GenericFallback(priv, planemask)) {
        if (priv->depth == 8)
            quarnDrawImageRaw_8bpp(box, pixels, stride, alu, planemask, pDraw);
        else if (priv->depth == 16)
            quarnDrawImageRaw_16bpp(box, pixels, stride, alu, planemask, pDraw);
        else
            quarnDrawImageRaw_32bpp(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    priv->engineState = 0;
    const int w = box->x2 - box->x1;
    // An empty box starts nothing (its blit would end left of its start).
    if (w <= 0 || box->y2 <= box->y1)
        return;
    const uint32_t command = quarnALU[alu & 0xF] | kColourBlit;
    const size_t rowBytes = static_cast<size_t>(priv->bytesPerPixel * w);
    const uint32_t mask = PixelReplicate(priv, planemask);
    const bool rule = quarnPlaneMaskRule(priv);
    if (alu == GXcopy && mask == 0xFFFFFFFFu) {
        quarnWaitIdle(priv);
        if (!rule)
            out(priv, QUARN_PLANE_MASK, mask);
        quarnWaitIdle(priv);
        for (int y = box->y1; y < box->y2; y++, pixels += stride)
            memcpy(pixelAddress(priv, box->x1, y), pixels, rowBytes);
        return;
    }
    uint8_t *staging =
        priv->fb + priv->height * priv->lineBytes + priv->bytesPerPixel * priv->drawOrigin;
    const uint32_t stagingPixel =
        static_cast<uint32_t>(priv->drawOrigin + priv->height * priv->pitch);
    for (int y = box->y1; y < box->y2; y++, pixels += stride) {
        quarnWaitIdle(priv);
        if (alu != GXclear && alu != GXset) {
            if (!rule) {
                out(priv, QUARN_PLANE_MASK, 0xFFFFFFFFu);
                quarnWaitIdle(priv);
            }
            memcpy(staging, pixels, rowBytes);
        }
        MGA_WAIT(priv, 9);
        out(priv, kCommand, command);
        out(priv, kLength, 1);
        out(priv, kSourcePitch, static_cast<uint32_t>(priv->width));
        out(priv, kSourceStart, stagingPixel);
        out(priv, kSourceEnd, stagingPixel + static_cast<uint32_t>(w) - 1);
        if (!rule)
            out(priv, QUARN_PLANE_MASK, mask);
        out(priv, kDestLeft, static_cast<uint32_t>(box->x1));
        out(priv, kDestRight, static_cast<uint32_t>(box->x2 - 1));
        out(priv, kDestLineGo, static_cast<uint32_t>(y));
    }
}

} // extern "C"
