/*
 * Monochrome images, glyphs and text: the engine expands rows of 1-bit data
 * written to the data port whose address carries the row's bit count, set
 * bits in colour 1 and, for opaque transfers, clear bits in colour 0. The
 * bits go out as the layer delivers them, leftmost pixel in the least
 * significant bit.
 */
#include "zandel.h"

#define MONO_COLUMN 32
#define GLYPH_MAX_WIDTH 16

/* The colour an operation writes: GXclear and GXset write 0 and all ones
 * whatever the caller's colour. */
static uint32_t zandelMonoColour(zandelScreenPrivPtr priv, Pixel c, int alu) {
    if (alu == GXclear)
        return 0;
    if (alu == GXset)
        return 0xFFFFFFFFu;
    return zandelPixelReplicate(priv->pixelSize, c);
}

/* Colours, plane mask and raster for a run of 1-bit transfers; 0 when the
 * engine never became idle. */
static Bool zandelMonoSetup(zandelScreenPrivPtr priv, Pixel fg, Pixel bg, int opaque, int alu,
                            uint32_t planemask) {
    alu = zandelAlu(alu);
    if (alu < 0)
        return 0;
    const uint32_t c1 = zandelMonoColour(priv, fg, alu);
    const uint32_t c0 = zandelMonoColour(priv, bg, alu);
    if (!zandelWaitIdle(priv))
        return 0;
    zandelWrite(priv, ZANDEL_PLANE_MASK, zandelPlaneMask(priv->pixelSize, planemask));
    zandelWrite(priv, ZANDEL_COLOR1, c1);
    if (opaque)
        zandelWrite(priv, ZANDEL_COLOR0, c0);
    zandelWrite(priv, ZANDEL_RASTER,
                priv->copyRop[alu & 15] | (opaque ? 0 : ZANDEL_RASTER_TRANSPARENT));
    return 1;
}

static void zandelTransfer(zandelScreenPrivPtr priv, int x1, int x2, int y) {
    zandelWrite(priv, ZANDEL_DEV_X0, (uint32_t)x1);
    zandelWrite(priv, ZANDEL_DEV_X1Y1, (uint32_t)x1 << 16 | (uint32_t)(y & 0xFFFF));
    zandelWrite(priv, ZANDEL_DEV_X2, (uint32_t)x2);
    zandelWrite(priv, ZANDEL_DEV_Y3, 1);
}

/* The first `bytes` bytes at `p` (1 to 4) as one value, lowest first; no
 * byte past them is read. */
static uint32_t zandelBits(const uint8_t *p, int bytes) {
    uint32_t v = 0;
    __builtin_memcpy(&v, p, (size_t)bytes);
    return v;
}

static void zandelMono(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                       int opaque, int alu, uint32_t planemask, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    if (!zandelMonoSetup(priv, fg, bg, opaque, alu, planemask))
        return;
    const BoxRec clip = priv->clipBox;
    const uint32_t b = (uint32_t)priv->pixelSize;
    /* The data starts on a byte: the pixels before the box's left edge go
     * out too, and the clip keeps them off the screen. */
    const int narrowed = clip.x1 < box->x1;
    if (narrowed) {
        zandelWrite(priv, ZANDEL_CLIP_MIN, (uint32_t)box->x1 << 16 | (uint32_t)clip.y1);
        zandelWrite(priv, ZANDEL_BYTE_CLIP_MIN, ((uint32_t)box->x1 * b) << 16 | (uint32_t)clip.y1);
    }
    const int l = box->x1 - (startBit & 7);
    const uint8_t *src = bits + startBit / 8;
    const int rows = box->y2 - box->y1;
    const int columns = (box->x2 - l) / MONO_COLUMN, m = (box->x2 - l) % MONO_COLUMN;
    int x = l;
    Bool ok = 1;
    for (int c = 0; c < columns && ok; c++, x += MONO_COLUMN, src += 4) {
        zandelTransfer(priv, x, x + MONO_COLUMN, box->y1);
        const uint8_t *row = src;
        for (int r = 0; r < rows; r++, row += stride)
            zandelWrite(priv, ZANDEL_MONO_DATA(MONO_COLUMN), zandelBits(row, 4));
    }
    if (m != 0) {
        zandelTransfer(priv, x, box->x2, box->y1);
        const uint8_t *row = src;
        for (int r = 0; r < rows; r++, row += stride)
            zandelWrite(priv, ZANDEL_MONO_DATA(m), zandelBits(row, (m + 7) / 8));
    }
    if (!zandelWaitIdle(priv))
        return;
    if (narrowed) {
        zandelWrite(priv, ZANDEL_CLIP_MIN, (uint32_t)clip.x1 << 16 | (uint32_t)clip.y1);
        zandelWrite(priv, ZANDEL_BYTE_CLIP_MIN, ((uint32_t)clip.x1 * b) << 16 | (uint32_t)clip.y1);
    }
}

void zandelDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    zandelMono(box, bits, startBit, stride, fg, 0, 0, alu, planemask, pDraw);
}

void zandelDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    zandelMono(box, bits, startBit, stride, fg, bg, 1, alu, planemask, pDraw);
}

/* One glyph's rows of up to 16 bits, a byte or two a row. */
static void zandelGlyph(zandelScreenPrivPtr priv, int x1, int y1, int x2, int y2,
                        const uint8_t *bits, int stride) {
    const int w = x2 - x1, bytes = (w + 7) / 8;
    zandelWrite(priv, ZANDEL_DEV_X0, (uint32_t)x1);
    zandelWrite(priv, ZANDEL_DEV_X1Y1, (uint32_t)x1 << 16 | (uint32_t)(y1 & 0xFFFF));
    zandelWrite(priv, ZANDEL_DEV_X2, (uint32_t)x2);
    for (int y = y1; y < y2; y++, bits += stride)
        zandelWrite(priv, ZANDEL_MONO_DATA(w), zandelBits(bits, bytes));
}

/* A glyph the port takes in one row unit: 1 to 16 pixels, rows a byte or
 * two apart, at least as many bytes as its width needs. */
static int zandelGlyphFits(int width, int stride) {
    return width >= 1 && width <= GLYPH_MAX_WIDTH && stride >= (width + 7) / 8 && stride <= 2;
}

void zandelDrawMonoGlyphs(MonoGlyphRec *glyphs, int n, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    for (int i = 0; i < n; i++) {
        if (!zandelGlyphFits(glyphs[i].box.x2 - glyphs[i].box.x1, glyphs[i].stride)) {
            genDrawMonoGlyphs(glyphs, n, fg, alu, planemask, font, pDraw);
            return;
        }
    }
    if (!zandelMonoSetup(priv, fg, 0, 0, alu, planemask))
        return;
    zandelWrite(priv, ZANDEL_DEV_Y3, 1);
    for (int i = 0; i < n; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        if (g->box.y2 > g->box.y1)
            zandelGlyph(priv, g->box.x1, g->box.y1, g->box.x2, g->box.y2, g->bits, g->stride);
    }
}

/* The glyph of a character, or null for a code the font lacks. */
static uint8_t *zandelGlyphOf(const Text8FontInfo *font, uint8_t c) {
    return c < font->nglyphs ? font->glyphs[c] : nullptr;
}

void zandelDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                        Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    const Text8FontInfo *font = fontPriv->text8Info;
    const int width = font->glyphWidth;
    if (width > GLYPH_MAX_WIDTH) {
        zandelgenDrawFontText(box, chars, n, fontPriv, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (width <= 0 || n <= 0)
        return;
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (!zandelMonoSetup(priv, fg, bg, !transparent, alu, planemask))
        return;
    zandelWrite(priv, ZANDEL_DEV_Y3, 1);
    /* A missing glyph, and rows below a glyph's own, draw as clear bits:
     * nothing is read past a bitmap. */
    const int bytes = (width + 7) / 8, rows = box->y2 - box->y1;
    for (int i = 0; i < n; i++) {
        const int x = box->x1 + i * width;
        const uint8_t *g = zandelGlyphOf(font, chars[i]);
        zandelWrite(priv, ZANDEL_DEV_X0, (uint32_t)x);
        zandelWrite(priv, ZANDEL_DEV_X1Y1, (uint32_t)x << 16 | (uint32_t)(box->y1 & 0xFFFF));
        zandelWrite(priv, ZANDEL_DEV_X2, (uint32_t)(x + width));
        for (int r = 0; r < rows; r++) {
            const uint32_t v = g != nullptr && r < font->glyphHeight
                                   ? zandelBits(g + (size_t)r * (size_t)font->glyphStride, bytes)
                                   : 0;
            zandelWrite(priv, ZANDEL_MONO_DATA(width), v);
        }
    }
}

/* Text whose glyphs are too wide for the port's row unit, through the
 * window's own operations. */
void zandelgenDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                           Pixel bg, int alu, uint32_t planemask, int transparent,
                           DrawablePtr pDraw) {
    const Text8FontInfo *font = fontPriv->text8Info;
    WinOps *ops = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
    const int width = font->glyphWidth, stride = font->glyphStride;
    if (n <= 0 || width <= 0)
        return;
    int useImages = ops->DrawMonoGlyphs == genDrawMonoGlyphs;
    MonoGlyphRec *list = nullptr;
    if (!useImages) {
        if (!transparent) {
            ops->DrawSolidRects(box, 1, bg, alu, planemask, pDraw);
            transparent = 1;
        }
        list = (MonoGlyphRec *)Xalloc((uint32_t)((size_t)n * sizeof(MonoGlyphRec)));
        /* Without the list, the characters go one by one. */
        useImages = list == nullptr;
    }
    if (useImages) {
        for (int i = 0; i < n; i++) {
            uint8_t *g = zandelGlyphOf(font, chars[i]);
            if (g == nullptr)
                continue;
            BoxRec cell = {(int16_t)(box->x1 + i * width), box->y1,
                           (int16_t)(box->x1 + (i + 1) * width), box->y2};
            if (transparent)
                ops->DrawMonoImage(&cell, g, 0, stride, fg, alu, planemask, pDraw);
            else
                ops->DrawOpaqueMonoImage(&cell, g, 0, stride, fg, bg, alu, planemask, pDraw);
        }
        return;
    }
    int count = 0;
    for (int i = 0; i < n; i++) {
        uint8_t *g = zandelGlyphOf(font, chars[i]);
        if (g == nullptr)
            continue;
        MonoGlyphRec *r = &list[count++];
        r->box.x1 = (int16_t)(box->x1 + i * width);
        r->box.y1 = box->y1;
        r->box.x2 = (int16_t)(box->x1 + (i + 1) * width);
        r->box.y2 = box->y2;
        r->stride = stride;
        r->bits = g;
        r->glyphKey = (int32_t)(uintptr_t)g;
    }
    ops->DrawMonoGlyphs(list, count, fg, alu, planemask, fontPriv, pDraw);
    Xfree(list);
}
