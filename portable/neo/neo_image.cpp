/*
 * neo: images through the linear frame buffer, by the processor; a raster
 * operation or plane mask other than a plain copy is done pixel by pixel.
 */
#include "neo.h"

static uint8_t *neoPixelAddr(const neoScreenPrivate *priv, int x, int y) {
    return priv->fbBase + (ptrdiff_t)y * priv->pitch + (ptrdiff_t)x * neoBuild.pixelBytes;
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    neoScreenPrivPtr priv = NEO_PRIV(pDraw->pScreen);
    if (box->x1 >= box->x2 || box->y1 >= box->y2)
        return;
    const size_t n = (size_t)(box->x2 - box->x1) * (size_t)neoBuild.pixelBytes;
    const uint8_t *src = neoPixelAddr(priv, box->x1, box->y1);
    for (int y = box->y1; y < box->y2; y++, src += priv->pitch, dst += stride)
        __builtin_memcpy(dst, src, n);
}

static uint32_t neoApplyAlu(int alu, uint32_t s, uint32_t d) {
    switch (alu & 15) {
    case GXclear:
        return 0;
    case GXand:
        return s & d;
    case GXandReverse:
        return s & ~d;
    case GXcopy:
        return s;
    case GXandInverted:
        return ~s & d;
    case GXnoop:
        return d;
    case GXxor:
        return s ^ d;
    case GXor:
        return s | d;
    case GXnor:
        return ~(s | d);
    case GXequiv:
        return ~s ^ d;
    case GXinvert:
        return ~d;
    case GXorReverse:
        return s | ~d;
    case GXcopyInverted:
        return ~s;
    case GXorInverted:
        return ~s | d;
    case GXnand:
        return ~(s & d);
    default:
        return 0xFFFFFFFFu;
    }
}

static uint32_t neoLoad(const uint8_t *p) {
    return neoBuild.pixelBytes == 2 ? (uint32_t)(p[0] | p[1] << 8) : p[0];
}

static void neoStore(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    if (neoBuild.pixelBytes == 2)
        p[1] = (uint8_t)(v >> 8);
}

static void NAME(DrawImageWithPlanemask)(int x, int y, int w, int h, const uint8_t *pixels,
                                         int stride, int alu, uint32_t planemask,
                                         DrawablePtr pDraw) {
    neoScreenPrivPtr priv = NEO_PRIV(pDraw->pScreen);
    const uint32_t m = planemask & neoBuild.planeMaskFull;
    if (m == 0 || w <= 0 || h <= 0 || (alu & 15) == GXnoop)
        return;
    const int bpp = neoBuild.pixelBytes;
    for (int row = 0; row < h; row++) {
        uint8_t *d = neoPixelAddr(priv, x, y + row);
        const uint8_t *s = pixels + (ptrdiff_t)row * stride;
        for (int i = 0; i < w; i++, d += bpp, s += bpp) {
            const uint32_t dv = neoLoad(d);
            neoStore(d, (dv & ~m) | (neoApplyAlu(alu, neoLoad(s), dv) & m));
        }
    }
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    neoScreenPrivPtr priv = NEO_PRIV(pDraw->pScreen);
    if (box->x1 >= box->x2 || box->y1 >= box->y2)
        return;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (alu == GXcopy && (planemask & neoBuild.planeMaskFull) == neoBuild.planeMaskFull) {
        const size_t n = (size_t)w * (size_t)neoBuild.pixelBytes;
        uint8_t *dst = neoPixelAddr(priv, box->x1, box->y1);
        for (int y = 0; y < h; y++, dst += priv->pitch)
            __builtin_memcpy(dst, pixels + (ptrdiff_t)y * stride, n);
        return;
    }
    NAME(DrawImageWithPlanemask)(box->x1, box->y1, w, h, pixels, stride, alu, planemask, pDraw);
}
