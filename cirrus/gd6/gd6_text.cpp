/*
 * gd6 family: glyphs and font text. The 8-bit build writes glyphs and fast
 * text with the processor through the window in the chip's transparent
 * colour-expansion write mode, each processor byte becoming 8 pixels on the
 * screen itself. The general text path stages the glyph bits and lets the
 * engine expand them; the slow path draws each character as a monochrome
 * image.
 */
#include "gd6.h"

static const Text8FontInfo *gd6FontInfo(nfbFontPrivPtr font) {
    return font ? font->text8Info : 0;
}

static const uint8_t *gd6GlyphOf(const Text8FontInfo *info, uint8_t c) {
    if (!info || !info->glyphs || c >= info->nglyphs)
        return 0;
    return info->glyphs[c];
}

/* ---- Slow path: a monochrome image per character ---- */

void gd6SlowDrawFontText(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                         Pixel bg, int alu, uint32_t planemask, int transparent,
                         DrawablePtr pDraw) {
    const Text8FontInfo *info = gd6FontInfo(font);
    if (count <= 0 || !info || info->glyphWidth <= 0)
        return;
    int gw = info->glyphWidth;
    /* The bitmaps hold glyphHeight rows: a box taller than that has no
     * glyph bits below them, only background for opaque text. */
    int rows = box->y2 - box->y1;
    if (info->glyphHeight < rows)
        rows = info->glyphHeight > 0 ? info->glyphHeight : 0;
    int16_t glyphEnd = (int16_t)(box->y1 + rows);
    int x = box->x1;
    /* The box ends the text: a character past its right edge is not drawn,
     * the one it cuts only up to it. */
    for (int i = 0; i < count && x < box->x2; i++, x += gw) {
        uint8_t *glyph = (uint8_t *)gd6GlyphOf(info, chars[i]);
        int right = box->x2 - x < gw ? box->x2 : x + gw;
        BoxRec cell = {(int16_t)x, box->y1, (int16_t)right, box->y2};
        if (!glyph) {
            /* A character without a bitmap has no 1 bits: opaque text still
             * owes its cell the background. */
            if (!transparent)
                NAME(DrawSolidRects)(&cell, 1, bg, alu, planemask, pDraw);
            continue;
        }
        BoxRec bits = {cell.x1, cell.y1, cell.x2, glyphEnd};
        BoxRec below = {cell.x1, glyphEnd, cell.x2, cell.y2};
        if (bits.y2 > bits.y1 && transparent) {
            NAME(DrawMonoImage)(&bits, glyph, 0, info->glyphStride, fg, alu, planemask, pDraw);
        } else if (bits.y2 > bits.y1) {
            NAME(DrawOpaqueMonoImage)
            (&bits, glyph, 0, info->glyphStride, fg, bg, alu, planemask, pDraw);
        }
        if (!transparent && below.y2 > below.y1)
            NAME(DrawSolidRects)(&below, 1, bg, alu, planemask, pDraw);
    }
}

/* ---- General path: glyph bits staged, expanded by the engine ---- */

static void gd6StageGlyphs(const gd6ScreenPrivate *priv, const uint8_t *chars, int count,
                           const Text8FontInfo *info, int h) {
    uint32_t a = (uint32_t)(info->glyphWidth + 7) / 8;
    uint8_t *at = priv->windowBase;
    for (int i = 0; i < count; i++) {
        const uint8_t *glyph = gd6GlyphOf(info, chars[i]);
        for (int y = 0; y < h; y++, at += a) {
            if (glyph && y < info->glyphHeight) {
                gd6WindowWriteSwapped(at, glyph + (int64_t)y * info->glyphStride, a);
            } else {
                for (uint32_t k = 0; k < a; k++)
                    mmWrite8(at + k, 0);
            }
        }
    }
}

static void gd6SetUpTextExpansion(const gd6ScreenPrivate *priv, Pixel fg, Pixel bg, int alu,
                                  int transparent) {
    gd6WriteGR(GR_ROP, NAME(RasterOps)[alu & 0xF]);
    gd6WriteGR16(GR_DST_PITCH, (uint32_t)priv->pitch);
    if (transparent) {
        gd6SetExpandColours(fg, ~fg);
        gd6WriteTransparentColour(~fg);
        gd6WriteGR(GR_MODE, (uint8_t)(BLT_MODE_EXPAND_TRANSPARENT | gd6Traits.modeDepthBits));
    } else {
        gd6SetExpandColours(fg, bg);
        gd6WriteGR(GR_MODE, (uint8_t)(BLT_MODE_EXPAND | gd6Traits.modeDepthBits));
    }
}

void NAME(DrawFontTextGeneral)(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, int transparent,
                               DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    const Text8FontInfo *info = gd6FontInfo(font);
    int h = box->y2 - box->y1;
    if (count <= 0 || h <= 0 || !info || info->glyphWidth <= 0)
        return;
    int gw = info->glyphWidth;
    uint64_t a = (uint64_t)(gw + 7) / 8;
    /* The box ends the text: the engine expands the characters that fit
     * whole; the one the right edge cuts is drawn up to it alone. */
    int span = box->x2 - box->x1;
    if (span <= 0)
        return;
    int whole = span / gw;
    if (whole < count) {
        int x = box->x1 + whole * gw;
        if (x < box->x2) {
            BoxRec cut = {(int16_t)x, box->y1, box->x2, box->y2};
            gd6SlowDrawFontText(&cut, chars + whole, 1, font, fg, bg, alu, planemask, transparent,
                                pDraw);
        }
        count = whole;
        if (count == 0)
            return;
    }
    if (!gd6FullPlanemask(planemask) || priv->gd5434 ||
        (uint64_t)count * (uint64_t)h * a > priv->windowSize) {
        gd6SlowDrawFontText(box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    gd6EngineIdleWait();
    gd6StageGlyphs(priv, chars, count, info, h);
    gd6SetUpTextExpansion(priv, fg, bg, alu, transparent);
    for (int i = 0; i < count; i++) {
        gd6EngineIdleWait();
        gd6WriteGR16(GR_WIDTH, (uint32_t)(gw * BPP - 1));
        gd6WriteGR16(GR_HEIGHT, (uint32_t)(h - 1));
        gd6WriteGR24(GR_SRC_ADDR, priv->windowAddr + (uint32_t)((uint64_t)i * (uint64_t)h * a));
        gd6WriteGR24(GR_DST_ADDR, gd6ScreenAddr(priv, box->x1 + i * gw, box->y1));
        gd6EngineStart();
    }
    gd6EngineIdleWait();
    gd6ClearExpandColours();
}

#if defined(GD6_BUILD_TOLVA8)

/* ---- Processor colour expansion ---- */

/* One 1-bit row of w pixels to the window, starting s pixels into the
 * processor byte at `at`; 0 bits leave the screen alone. */
static void gd6ExpandRow(uint8_t *at, const uint8_t *bits, int w, int s) {
    int n = (w + 7) / 8;
    /* Bits past the width are padding, not glyph. */
    uint8_t lastMask = (uint8_t)(w % 8 ? (1u << (w % 8)) - 1 : 0xFF);
    uint8_t prev = 0;
    for (int i = 0; i < n; i++) {
        uint8_t g = (uint8_t)(i == n - 1 ? bits[i] & lastMask : bits[i]);
        mmWrite8(at + i, ddxBitSwap[(uint8_t)(g << s | prev >> (8 - s))]);
        prev = g;
    }
    if (s != 0)
        mmWrite8(at + n, ddxBitSwap[(uint8_t)(prev >> (8 - s))]);
}

/* Base of a processor expansion: aligned so that its expanded address is a
 * whole bank. */
static uint32_t gd6ExpandBase(const gd6ScreenPrivate *priv, uint32_t address) {
    return address & ~((1u << priv->alignShift) - 1);
}

static void gd6BeginProcessorExpansion(const gd6ScreenPrivate *priv, uint32_t base, Pixel fg) {
    gd6EngineIdleWait();
    gd6WriteGR(GR_EXTENSIONS, (uint8_t)(priv->gr0bBits | gd6Traits.gr0bExpand));
    gd6WriteGR(GR_WRITE_MODE, WRITE_MODE_EXPAND_TRANSPARENT);
    gd6WriteGR(GR_BANK, (uint8_t)((base >> gd6Traits.expandBytesShift) >>
                                  (priv->bankShift + BANK_INDEX_SHIFT)));
    gd6SetExpandForeground(fg);
}

static void gd6EndProcessorExpansion(const gd6ScreenPrivate *priv) {
    gd6WriteGR(GR_EXTENSIONS, (uint8_t)(priv->gr0bBits | GR0B_EXTENDED_WRITES));
    gd6WriteGR(GR_WRITE_MODE, WRITE_MODE_NORMAL);
    gd6RestoreBank(priv);
    gd6WriteGR(GR_FG0, 0);
}

/* Whether the processor can reach [base, end) of video memory through the
 * window at once: rows must be whole processor bytes apart. */
static Bool gd6ExpansionReaches(const gd6ScreenPrivate *priv, uint32_t base, uint64_t end) {
    if (priv->pitch % 8 != 0)
        return 0;
    return end <= (uint64_t)base + priv->windowSize;
}

static void gd6ExpandGlyph(const gd6ScreenPrivate *priv, uint32_t base, int x, int y, int w, int h,
                           const uint8_t *bits, int stride) {
    uint32_t t = gd6ScreenAddr(priv, x, y) - base;
    uint8_t *at = priv->windowBase + t / 8;
    uint32_t rowStep = (uint32_t)priv->pitch / 8;
    for (int row = 0; row < h; row++)
        gd6ExpandRow(at + (uint32_t)row * rowStep, bits + (int64_t)row * stride, w, (int)(t & 7));
}

void NAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if ((alu & 0xF) != GXcopy || !gd6FullPlanemask(planemask)) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    if (count <= 0)
        return;
    int x1 = priv->width, y1 = priv->height, x2 = 0, y2 = 0;
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &glyphs[i].box;
        x1 = b->x1 < x1 ? b->x1 : x1;
        y1 = b->y1 < y1 ? b->y1 : y1;
        x2 = b->x2 > x2 ? b->x2 : x2;
        y2 = b->y2 > y2 ? b->y2 : y2;
    }
    if (x1 >= x2 || y1 >= y2)
        return;
    uint32_t base = gd6ExpandBase(priv, gd6ScreenAddr(priv, x1, y1));
    if (!gd6ExpansionReaches(priv, base, gd6ScreenAddr(priv, x2, y2))) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    gd6BeginProcessorExpansion(priv, base, fg);
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        if (w > 0 && h > 0 && g->bits)
            gd6ExpandGlyph(priv, base, g->box.x1, g->box.y1, w, h, g->bits, g->stride);
    }
    gd6EndProcessorExpansion(priv);
}

void NAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                        Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    const Text8FontInfo *info = gd6FontInfo(font);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (count <= 0 || w <= 0 || h <= 0 || !info || info->glyphWidth <= 0)
        return;
    uint32_t m = gd6ScreenAddr(priv, box->x1, box->y1);
    uint32_t base = gd6ExpandBase(priv, m);
    if ((alu & 0xF) != GXcopy || !gd6FullPlanemask(planemask) ||
        !gd6ExpansionReaches(priv, base, gd6ScreenAddr(priv, box->x2, box->y2))) {
        NAME(DrawFontTextGeneral)
        (box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (!transparent) {
        gd6BeginPatternFill(priv, bg, GXcopy);
        gd6PatternBox(priv, box->x1, box->y1, w, h);
    }
    gd6BeginProcessorExpansion(priv, base, fg);
    int gw = info->glyphWidth;
    int rows = h < info->glyphHeight ? h : info->glyphHeight;
    for (int i = 0; i < count; i++) {
        const uint8_t *glyph = gd6GlyphOf(info, chars[i]);
        int x = box->x1 + i * gw;
        /* The box ends the text: a cell past it is not drawn. */
        int cw = box->x2 - x < gw ? box->x2 - x : gw;
        if (glyph && cw > 0)
            gd6ExpandGlyph(priv, base, x, box->y1, cw, rows, glyph, info->glyphStride);
    }
    gd6EndProcessorExpansion(priv);
}

#endif
