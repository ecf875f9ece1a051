/*
 * gd6 family: the processor's side of the staging area. Images are written
 * into the window packed and copied to the screen by the engine, or copied by
 * the engine into the window and read from there; plane-masked drawing merges
 * in the window with the processor. Transfers larger than the window are
 * done in row halves (a single row too wide for it, in column halves).
 */
#include "gd6.h"

uint32_t gd6ApplyAlu(int alu, uint32_t s, uint32_t d) {
    switch (alu & 0xF) {
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
        return ~0u;
    }
}

/* ---- Window access ----
 * The window is a device: the processor reaches it through the accessors. */

uint32_t gd6WindowReadPixel(const uint8_t *at) {
    return BPP == 1 ? mmRead8(at) : mmRead16(at);
}

void gd6WindowWritePixel(uint8_t *at, uint32_t pixel) {
    if (BPP == 1)
        mmWrite8(at, (uint8_t)pixel);
    else
        mmWrite16(at, (uint16_t)pixel);
}

static void gd6WindowRead(uint8_t *dst, const uint8_t *window, uint32_t n) {
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t v = mmRead32(window + i);
        __builtin_memcpy(dst + i, &v, 4);
    }
    for (; i < n; i++)
        dst[i] = mmRead8(window + i);
}

static void gd6WindowWrite(uint8_t *window, const uint8_t *src, uint32_t n) {
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint32_t v;
        __builtin_memcpy(&v, src + i, 4);
        mmWrite32(window + i, v);
    }
    for (; i < n; i++)
        mmWrite8(window + i, src[i]);
}

static Bool gd6InWindow(const gd6ScreenPrivate *priv, const uint8_t *p) {
    return p >= priv->windowBase && p < priv->windowBase + priv->windowSize;
}

/* A client pixel, or a staged one when the data already lies in the window. */
static uint32_t gd6SourcePixel(const gd6ScreenPrivate *priv, const uint8_t *p) {
    if (gd6InWindow(priv, p))
        return gd6WindowReadPixel(p);
    if (BPP == 1)
        return *p;
    uint16_t v;
    __builtin_memcpy(&v, p, 2);
    return v;
}

/* ---- Splitting what does not fit ---- */

typedef void (*Gd6ImagePart)(BoxPtr box, uint8_t *data, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw);

/* True when the box was cut in two and both parts handed to `part`. */
static Bool gd6SplitImage(BoxPtr box, uint8_t *data, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw, Gd6ImagePart part) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if ((uint32_t)h * (uint32_t)w * (uint32_t)BPP <= priv->windowSize)
        return 0;
    BoxRec a = *box, b = *box;
    uint8_t *second = data;
    if (h > 1) {
        a.y2 = (int16_t)(box->y1 + h / 2);
        b.y1 = a.y2;
        second = data + (int64_t)stride * (h / 2);
    } else if (w > 1) {
        a.x2 = (int16_t)(box->x1 + w / 2);
        b.x1 = a.x2;
        second = data + (w / 2) * BPP;
    } else {
        return 1; /* no window holds less than a pixel: nothing can be done */
    }
    part(&a, data, stride, alu, planemask, pDraw);
    part(&b, second, stride, alu, planemask, pDraw);
    return 1;
}

/* ---- ReadImage ---- */

static void gd6ReadImagePart(BoxPtr box, uint8_t *dst, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw) {
    (void)alu;
    (void)planemask;
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    if (gd6SplitImage(box, dst, stride, alu, planemask, pDraw, gd6ReadImagePart))
        return;
    uint32_t r = (uint32_t)(w * BPP);
    NAME(BlitToWindow)(pDraw, box->x1, box->y1, w, h, (int)r);
    gd6EngineIdleWait();
    for (int row = 0; row < h; row++)
        gd6WindowRead(dst + (int64_t)row * stride, priv->windowBase + (uint32_t)row * r, r);
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    gd6ReadImagePart(box, dst, stride, GXcopy, ~0u, pDraw);
}

/* ---- DrawImage ---- */

void NAME(DrawImageWithPlanemask)(int w, int h, uint8_t *pixels, int stride, int alu,
                                  uint32_t planemask, DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    uint32_t m = planemask & PLANEMASK_ALL;
    if (m == 0 || w <= 0 || h <= 0 || (alu & 0xF) == GXnoop)
        return;
    uint32_t r = (uint32_t)(w * BPP);
    for (int y = 0; y < h; y++) {
        const uint8_t *s = pixels + (int64_t)y * stride;
        uint8_t *d = priv->windowBase + (uint32_t)y * r;
        for (int x = 0; x < w; x++, s += BPP, d += BPP) {
            uint32_t dv = gd6WindowReadPixel(d);
            uint32_t sv = gd6SourcePixel(priv, s);
            gd6WindowWritePixel(d, (dv & ~m) | (gd6ApplyAlu(alu, sv, dv) & m));
        }
    }
}

static void gd6DrawImagePart(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    if (gd6SplitImage(box, pixels, stride, alu, planemask, pDraw, gd6DrawImagePart))
        return;
    uint32_t r = (uint32_t)(w * BPP);
    DDXPointRec origin = {0, 0};
    gd6EngineIdleWait();
    if (gd6FullPlanemask(planemask)) {
        for (int row = 0; row < h; row++)
            gd6WindowWrite(priv->windowBase + (uint32_t)row * r, pixels + (int64_t)row * stride, r);
        NAME(BlitFromWindow)(pDraw, &origin, box->x1, box->y1, w, h, (int)r, alu);
        return;
    }
    NAME(BlitToWindow)(pDraw, box->x1, box->y1, w, h, (int)r);
    gd6EngineIdleWait();
    NAME(DrawImageWithPlanemask)(w, h, pixels, stride, alu, planemask, pDraw);
    NAME(BlitFromWindow)(pDraw, &origin, box->x1, box->y1, w, h, (int)r, GXcopy);
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    gd6DrawImagePart(box, pixels, stride, alu, planemask, pDraw);
}
