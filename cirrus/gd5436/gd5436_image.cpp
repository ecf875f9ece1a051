/*
 * gd5436 family: the pixel-image slots, done by the processor through the
 * linear frame buffer: read back; GXcopy copied directly; other alus and
 * partial plane masks merged byte by byte.
 */
#include "gd5436.h"

/* ---- Processor image paths ---- */

/* Client pixels: 1 or 2 bytes, or 4 when video memory holds 3-byte pixels. */
#define CLIENT_PIXEL_BYTES (gd5436Traits.pixel24 ? 4 : PIXEL_BYTES)

static uint8_t gd5436ApplyAlu(int alu, uint8_t src, uint8_t dst) {
    switch (alu) {
    case GXclear:
        return 0;
    case GXand:
        return src & dst;
    case GXandReverse:
        return src & ~dst;
    case GXcopy:
        return src;
    case GXandInverted:
        return ~src & dst;
    case GXnoop:
        return dst;
    case GXxor:
        return src ^ dst;
    case GXor:
        return src | dst;
    case GXnor:
        return ~(src | dst);
    case GXequiv:
        return ~src ^ dst;
    case GXinvert:
        return ~dst;
    case GXorReverse:
        return src | ~dst;
    case GXcopyInverted:
        return ~src;
    case GXorInverted:
        return ~src | dst;
    case GXnand:
        return ~(src & dst);
    default:
        return 0xFF;
    }
}

static uint8_t *gd5436ScreenAddress(gd5436ScreenPrivPtr priv, int x, int y) {
    return priv->fbBase + gd5436PixelOffset(priv, x, y);
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    EngineIdleWait(priv->bltBase);
    for (int y = 0; y < h; y++) {
        const uint8_t *s = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        uint8_t *d = dst + (intptr_t)y * stride;
        if (!gd5436Traits.pixel24) {
            __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
            continue;
        }
        /* The client pixel's fourth byte is left as it was. */
        for (int x = 0; x < w; x++)
            for (int k = 0; k < 3; k++)
                d[x * 4 + k] = s[x * 3 + k];
    }
}

/* Any alu under any plane mask, byte by byte: new = (dst AND NOT pm) OR
 * (f(src, dst) AND pm). */
void gd5436DrawImageWithPlanemask(BoxPtr box, uint8_t *pixels, int stride, int alu,
                                  uint32_t planemask, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    alu &= 0xF;
    planemask &= PLANEMASK_ALL;
    EngineIdleWait(priv->bltBase);
    if (planemask == 0 || alu == GXnoop || w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        uint8_t *d = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        const uint8_t *s = pixels + (intptr_t)y * stride;
        for (int x = 0; x < w; x++) {
            for (int k = 0; k < PIXEL_BYTES; k++) {
                uint8_t pm = (uint8_t)(planemask >> (8 * k));
                uint8_t *db = d + x * PIXEL_BYTES + k;
                uint8_t f = gd5436ApplyAlu(alu, s[x * CLIENT_PIXEL_BYTES + k], *db);
                *db = (uint8_t)((*db & ~pm) | (f & pm));
            }
        }
    }
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if ((planemask & PLANEMASK_ALL) != PLANEMASK_ALL || (alu & 0xFF) != GXcopy) {
        gd5436DrawImageWithPlanemask(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    EngineIdleWait(priv->bltBase);
    if (w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        uint8_t *d = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        const uint8_t *s = pixels + (intptr_t)y * stride;
        if (!gd5436Traits.pixel24) {
            __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
            continue;
        }
        for (int x = 0; x < w; x++)
            for (int k = 0; k < 3; k++)
                d[x * 3 + k] = s[x * 4 + k];
    }
}
