/*
 * gd6 family: the processor's side of the staging area. Images are written
 * into the window packed and copied to the screen by the engine, or copied by
 * the engine into the window and read from there; plane-masked drawing merges
 * in the window with the processor; monochrome images are staged as bits
 * and expanded by the engine. Transfers larger than the window are done in
 * row halves (a single row too wide for it, in column halves).
 */
#include "gd6.h"

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
            gd6WindowWritePixel(d, xMergeAlu(alu, sv, dv, m));
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

/* ---- Monochrome images ----
 * The bits are staged packed in the window, most significant bit leftmost,
 * and expanded by the engine onto the screen. */

typedef struct _Gd6Mono {
    Pixel fg, bg;
    int alu;
    Bool opaque;
} Gd6Mono;

void NAME(AlignMonoImage)(uint8_t *dst, const uint8_t *src, int shift, int bytesPerRow, int stride,
                          int rows) {
    for (int y = 0; y < rows; y++) {
        const uint8_t *s = src + (int64_t)y * stride;
        uint8_t *d = dst + (int64_t)y * stride;
        for (int i = 0; i < bytesPerRow - 1; i++)
            d[i] = (uint8_t)(s[i] >> shift | s[i + 1] << (8 - shift));
        if (bytesPerRow > 0)
            d[bytesPerRow - 1] = (uint8_t)(s[bytesPerRow - 1] >> shift);
    }
}

static void gd6ExpandStaged(const gd6ScreenPrivate *priv, BoxPtr box, const Gd6Mono *m) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    gd6EngineIdleWait();
    gd6WriteGR(GR_ROP, NAME(RasterOps)[m->alu & 0xF]);
    gd6WriteGR24(GR_SRC_ADDR, priv->windowAddr);
    gd6WriteGR24(GR_DST_ADDR, gd6ScreenAddr(priv, box->x1, box->y1));
    gd6WriteGR16(GR_DST_PITCH, (uint32_t)priv->pitch);
    gd6WriteGR16(GR_WIDTH, (uint32_t)(w * BPP - 1));
    gd6WriteGR16(GR_HEIGHT, (uint32_t)(h - 1));
    if (m->opaque) {
        gd6SetExpandColours(m->fg, m->bg);
        gd6WriteGR(GR_MODE, (uint8_t)(BLT_MODE_EXPAND | gd6Traits.modeDepthBits));
    } else {
        /* The 0 bits get the colour the engine leaves alone. */
        gd6SetExpandColours(m->fg, ~m->fg);
        gd6WriteTransparentColour(~m->fg);
        gd6WriteGR(GR_MODE, (uint8_t)(BLT_MODE_EXPAND_TRANSPARENT | gd6Traits.modeDepthBits));
    }
    gd6EngineStart();
}

/* Stages rows whose first pixel is bit 0 of their first byte, and expands. */
static void gd6MonoStageAndExpand(gd6ScreenPrivPtr priv, BoxPtr box, const uint8_t *bits,
                                  int stride, const Gd6Mono *m) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    uint32_t n = (uint32_t)(w + 7) / 8;
    gd6EngineIdleWait();
    for (int row = 0; row < h; row++)
        gd6WindowWriteSwapped(priv->windowBase + (uint32_t)row * n, bits + (int64_t)row * stride,
                              n);
    gd6ExpandStaged(priv, box, m);
    gd6EngineIdleWait();
    gd6ClearExpandColours();
}

static void gd6MonoPart(BoxPtr box, uint8_t *bits, int startBit, int stride, const Gd6Mono *m,
                        DrawablePtr pDraw);

/* Row halves (a single row too long for the window, column halves). */
static Bool gd6SplitMono(BoxPtr box, uint8_t *bits, int startBit, int stride, const Gd6Mono *m,
                         DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if ((uint32_t)h * ((uint32_t)(w + 7) / 8) <= priv->windowSize)
        return 0;
    BoxRec a = *box, b = *box;
    uint8_t *second = bits;
    int secondBit = startBit;
    if (h > 1) {
        a.y2 = (int16_t)(box->y1 + h / 2);
        b.y1 = a.y2;
        second = bits + (int64_t)stride * (h / 2);
    } else {
        a.x2 = (int16_t)(box->x1 + w / 2);
        b.x1 = a.x2;
        secondBit = startBit + w / 2;
    }
    gd6MonoPart(&a, bits, startBit, stride, m, pDraw);
    gd6MonoPart(&b, second, secondBit, stride, m, pDraw);
    return 1;
}

static void gd6MonoFallback(BoxPtr box, uint8_t *bits, int startBit, int stride, const Gd6Mono *m,
                            DrawablePtr pDraw) {
    if (m->opaque)
        genDrawOpaqueMonoImage(box, bits, startBit, stride, m->fg, m->bg, m->alu, ~0u, pDraw);
    else
        genDrawMonoImage(box, bits, startBit, stride, m->fg, m->alu, ~0u, pDraw);
}

static void gd6MonoPart(BoxPtr box, uint8_t *bits, int startBit, int stride, const Gd6Mono *m,
                        DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    if (gd6SplitMono(box, bits, startBit, stride, m, pDraw))
        return;
    bits += startBit / 8;
    int shift = startBit % 8;
    if (shift == 0) {
        gd6MonoStageAndExpand(priv, box, bits, stride, m);
        return;
    }
    /* The aligned row takes its last pixels from the source byte after the
     * last one a row of w pixels needs. */
    int sourceBytes = (shift + w + 7) / 8;
    uint8_t *aligned = (uint8_t *)Xalloc((uint32_t)stride * (uint32_t)h);
    if (!aligned) {
        gd6MonoFallback(box, bits, shift, stride, m, pDraw);
        return;
    }
    NAME(AlignMonoImage)(aligned, bits, shift, sourceBytes, stride, h);
    gd6MonoStageAndExpand(priv, box, aligned, stride, m);
    Xfree(aligned);
}

void NAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    if (!bits || startBit < 0 || !gd6FullPlanemask(planemask) || gd6PrivOf(pDraw)->gd5434Image) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    Gd6Mono m = {fg, 0, alu, 0};
    gd6MonoPart(box, bits, startBit, stride, &m, pDraw);
}

void NAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (!bits || startBit < 0 || !gd6FullPlanemask(planemask) || gd6PrivOf(pDraw)->gd5434Image) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    Gd6Mono m = {fg, bg, alu, 1};
    gd6MonoPart(box, bits, startBit, stride, &m, pDraw);
}
