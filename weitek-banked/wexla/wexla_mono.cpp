/*
 * Monochrome images, glyphs and text: for GXcopy the engine expands rows of
 * 1-bit data written to the data port whose address carries the row's bit
 * count, leftmost pixel in the least significant bit; every other alu goes
 * to the server's routines.
 */
#include "wexla.h"

#define MONO_COLUMN 32
#define GLYPH_MAX_WIDTH 16

/* Colours, plane mask and minterm for a run of 1-bit transfers. */
static Bool wexlaMonoSetup(wexlaScreenPrivPtr priv, Pixel fg, Pixel bg, int opaque,
                           uint32_t planemask) {
    if (!EngineIdleWait(priv))
        return 0;
    wexlaWrite(priv, WEXLA_PLANE_MASK, planemask);
    wexlaWrite(priv, WEXLA_FOREGROUND, (uint32_t)fg);
    if (opaque)
        wexlaWrite(priv, WEXLA_BACKGROUND, (uint32_t)bg);
    wexlaWrite(priv, WEXLA_RASTER, opaque ? WEXLA_MINTERM_OPAQUE : WEXLA_MINTERM_TRANSPARENT);
    return 1;
}

/* One transfer's coordinates, once the engine is idle, and the wait before
 * its data. */
static Bool wexlaTransfer(wexlaScreenPrivPtr priv, int x1, int x2, int y) {
    if (!EngineIdleWait(priv))
        return 0;
    wexlaWrite(priv, WEXLA_DEV_Y3, 1);
    wexlaWrite(priv, WEXLA_DEV_X0, (uint32_t)x1);
    wexlaWrite(priv, WEXLA_DEV_X1Y1, (uint32_t)x1 << 16 | (uint32_t)(y & 0xFFFF));
    wexlaWrite(priv, WEXLA_DEV_X2, (uint32_t)x2);
    return EngineIdleWait(priv);
}

/* The first `bytes` bytes at `p` (1 to 4) as one value, lowest first; no
 * byte past them is read. */
static uint32_t wexlaBits(const uint8_t *p, int bytes) {
    uint32_t v = 0;
    __builtin_memcpy(&v, p, (size_t)bytes);
    return v;
}

static void wexlaMono(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                      int opaque, uint32_t planemask, DrawablePtr pDraw) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    if (!wexlaMonoSetup(priv, fg, bg, opaque, planemask))
        return;
    const BoxRec clip = priv->clipBox;
    /* The data starts on a byte: the pixels before the box's left edge go
     * out too, and the clip keeps them off the screen. */
    const int narrowed = clip.x1 < box->x1;
    if (narrowed)
        wexlaWrite(priv, WEXLA_CLIP_MIN, (uint32_t)box->x1 << 16 | (uint32_t)(clip.y1 & 0xFFFF));
    const int l = box->x1 - (startBit & 7);
    const uint8_t *src = bits + startBit / 8;
    const int rows = box->y2 - box->y1;
    const int columns = (box->x2 - l) / MONO_COLUMN, m = (box->x2 - l) % MONO_COLUMN;
    int x = l;
    Bool ok = 1;
    for (int c = 0; c < columns && ok; c++, x += MONO_COLUMN, src += 4) {
        ok = wexlaTransfer(priv, x, x + MONO_COLUMN, box->y1);
        const uint8_t *row = src;
        for (int r = 0; r < rows && ok; r++, row += stride)
            wexlaWrite(priv, WEXLA_MONO_DATA(MONO_COLUMN), wexlaBits(row, 4));
    }
    /* The last column's bytes only: an unpadded source ends there. */
    if (m != 0 && ok) {
        ok = wexlaTransfer(priv, x, box->x2, box->y1);
        const uint8_t *row = src;
        for (int r = 0; r < rows && ok; r++, row += stride)
            wexlaWrite(priv, WEXLA_MONO_DATA(m), wexlaBits(row, (m + 7) / 8));
    }
    if (!EngineIdleWait(priv))
        return;
    if (narrowed)
        wexlaWrite(priv, WEXLA_CLIP_MIN, (uint32_t)clip.x1 << 16 | (uint32_t)(clip.y1 & 0xFFFF));
}

void wexlaDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    if (wexlaAlu(alu) != GXcopy) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    wexlaMono(box, bits, startBit, stride, fg, 0, 0, planemask, pDraw);
}

void wexlaDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (wexlaAlu(alu) != GXcopy) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    wexlaMono(box, bits, startBit, stride, fg, bg, 1, planemask, pDraw);
}

/* A glyph the port takes in one row unit: 1 to 16 pixels, rows a byte or
 * two apart, at least as many bytes as its width needs. */
static int wexlaGlyphFits(int width, int stride) {
    return width >= 1 && width <= GLYPH_MAX_WIDTH && stride >= (width + 7) / 8 && stride <= 2;
}

void wexlaDrawMonoGlyphs(MonoGlyphRec *glyphs, int n, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    Bool fits = wexlaAlu(alu) == GXcopy;
    for (int i = 0; i < n && fits; i++)
        fits = wexlaGlyphFits(glyphs[i].box.x2 - glyphs[i].box.x1, glyphs[i].stride);
    if (!fits) {
        genDrawMonoGlyphs(glyphs, n, fg, alu, planemask, font, pDraw);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (n <= 0 || !wexlaMonoSetup(priv, fg, 0, 0, planemask))
        return;
    for (int i = 0; i < n; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        const int w = g->box.x2 - g->box.x1, bytes = (w + 7) / 8;
        if (g->box.y2 <= g->box.y1)
            continue;
        if (!wexlaTransfer(priv, g->box.x1, g->box.x2, g->box.y1))
            return;
        const uint8_t *row = g->bits;
        for (int y = g->box.y1; y < g->box.y2; y++, row += g->stride)
            wexlaWrite(priv, WEXLA_MONO_DATA(w), wexlaBits(row, bytes));
    }
}

/* The glyph of a character, or null for a code the font lacks. */
static uint8_t *wexlaGlyphOf(const Text8FontInfo *font, uint8_t c) {
    return c < font->nglyphs ? font->glyphs[c] : nullptr;
}

void wexlaDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    const Text8FontInfo *font = fontPriv->text8Info;
    const int width = font->glyphWidth;
    if (width > GLYPH_MAX_WIDTH || wexlaAlu(alu) != GXcopy) {
        wexlagenDrawFontText(box, chars, n, fontPriv, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (width <= 0 || n <= 0 || box->y2 <= box->y1)
        return;
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (!wexlaMonoSetup(priv, fg, bg, !transparent, planemask))
        return;
    /* A missing glyph, and rows below a glyph's own, draw as clear bits:
     * nothing is read past a bitmap. The run ends at the box. */
    const int bytes = (width + 7) / 8, rows = box->y2 - box->y1;
    for (int i = 0; i < n; i++) {
        const int x = box->x1 + i * width;
        const int x2 = x + width < box->x2 ? x + width : box->x2;
        if (x2 <= x)
            break;
        const uint8_t *g = wexlaGlyphOf(font, chars[i]);
        if (!wexlaTransfer(priv, x, x2, box->y1))
            return;
        for (int r = 0; r < rows; r++) {
            const uint32_t v = g != nullptr && r < font->glyphHeight
                                   ? wexlaBits(g + (size_t)r * (size_t)font->glyphStride, bytes)
                                   : 0;
            wexlaWrite(priv, WEXLA_MONO_DATA(x2 - x), v);
        }
    }
}

/* Alus whose result does not depend on the destination: drawing the
 * background under the whole text and the glyphs over it gives what one
 * pass would. */
static int wexlaOverdrawSafe(int alu) {
    alu = wexlaAlu(alu);
    return alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
}

/* Text the engine does not expand, through the window's own operations. */
void wexlagenDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                          Pixel bg, int alu, uint32_t planemask, int transparent,
                          DrawablePtr pDraw) {
    const Text8FontInfo *font = fontPriv->text8Info;
    WinOps *ops = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
    const int width = font->glyphWidth, stride = font->glyphStride;
    if (n <= 0 || width <= 0 || box->y2 <= box->y1)
        return;
    /* A glyph's cell: its width, cut at the box, and no lower than its
     * bitmap (below it the cell is clear). */
    const int glyphY2 =
        font->glyphHeight < box->y2 - box->y1 ? box->y1 + font->glyphHeight : box->y2;
    if (!transparent && !wexlaOverdrawSafe(alu)) {
        /* Each pixel once: the background under any other alu would be
         * combined with the destination twice. */
        for (int i = 0; i < n; i++) {
            const int x = box->x1 + i * width;
            const int x2 = x + width < box->x2 ? x + width : box->x2;
            if (x2 <= x)
                break;
            uint8_t *g = wexlaGlyphOf(font, chars[i]);
            BoxRec cell = {(int16_t)x, box->y1, (int16_t)x2, (int16_t)glyphY2};
            BoxRec below = {(int16_t)x, (int16_t)glyphY2, (int16_t)x2, box->y2};
            if (g == nullptr)
                cell.y2 = box->y1, below.y1 = box->y1;
            if (cell.y2 > cell.y1)
                ops->DrawOpaqueMonoImage(&cell, g, 0, stride, fg, bg, alu, planemask, pDraw);
            if (below.y2 > below.y1)
                ops->DrawSolidRects(&below, 1, bg, alu, planemask, pDraw);
        }
        return;
    }
    if (!transparent) {
        BoxRec all = *box;
        const int64_t runEnd = (int64_t)box->x1 + (int64_t)n * width;
        if (runEnd < all.x2)
            all.x2 = (int16_t)runEnd;
        ops->DrawSolidRects(&all, 1, bg, alu, planemask, pDraw);
    }
    MonoGlyphRec *list = nullptr;
    if (ops->DrawMonoGlyphs != genDrawMonoGlyphs)
        list = (MonoGlyphRec *)Xalloc((uint32_t)((size_t)n * sizeof(MonoGlyphRec)));
    int count = 0;
    for (int i = 0; i < n; i++) {
        const int x = box->x1 + i * width;
        const int x2 = x + width < box->x2 ? x + width : box->x2;
        if (x2 <= x)
            break;
        uint8_t *g = wexlaGlyphOf(font, chars[i]);
        if (g == nullptr)
            continue;
        BoxRec cell = {(int16_t)x, box->y1, (int16_t)x2, (int16_t)glyphY2};
        /* With a generic glyph slot, or without memory for the list, the
         * characters go one by one. */
        if (list == nullptr) {
            ops->DrawMonoImage(&cell, g, 0, stride, fg, alu, planemask, pDraw);
            continue;
        }
        MonoGlyphRec *r = &list[count++];
        r->box = cell;
        r->stride = stride;
        r->bits = g;
        r->glyphKey = (int32_t)(uintptr_t)g;
    }
    if (list != nullptr) {
        ops->DrawMonoGlyphs(list, count, fg, alu, planemask, fontPriv, pDraw);
        Xfree(list);
    }
}
