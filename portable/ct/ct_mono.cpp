/*
 * Colour expansion: monochrome images, glyphs and 8-bit font text, fed to
 * the engine as 1-bit rows from the processor, the bits of every byte
 * reversed (the server keeps the leftmost pixel in the lowest bit, the
 * engine takes it in the highest).
 */
#include "ct.h"

static inline void ctHostWord(const uint8_t *fbBase, uint32_t word) {
    if (CT_IS_65550)
        mmWrite32((uint8_t *)fbBase + CT_HOST_PORT_65550, word);
    else
        mmWrite32((uint8_t *)fbBase, word);
}

/* One row of `bytes` bytes as words, the last one holding what is left.
 * Returns the words sent. */
static uint32_t ctSendRow(const uint8_t *fbBase, const uint8_t *row, uint32_t bytes) {
    uint32_t words = 0;
    for (uint32_t i = 0; i < bytes; i += 4, words++) {
        uint32_t word = 0;
        for (uint32_t j = 0; j < 4 && i + j < bytes; j++)
            word |= (uint32_t)ddxBitSwap[row[i + j]] << (8 * j);
        ctHostWord(fbBase, word);
    }
    return words;
}

/* The 65550 takes host data in whole quadwords: after an odd number of
 * words one more word of 0 completes the last. */
static inline void ctEndOfData(const uint8_t *fbBase, uint32_t words) {
    if (CT_IS_65550 && (words & 1))
        ctHostWord(fbBase, 0);
}

/* The rows of w pixels after `startBit` bits (65550 only; 0 on the others):
 * each row sends the bytes its bits occupy. */
static void ctSendRows(const uint8_t *fbBase, int w, int h, const uint8_t *bits, int stride,
                       int startBit) {
    uint32_t bytes = (uint32_t)(startBit + w + 7) / 8;
    uint32_t words = 0;
    for (int r = 0; r < h; r++)
        words += ctSendRow(fbBase, bits + r * stride, bytes);
    ctEndOfData(fbBase, words);
}

#if CT_65550_BUILD
void NAME(DoDrawMonoImage)(uint8_t *fbBase, int dstPitch, uint32_t dst, int w, int h,
                           const uint8_t *bits, int stride, int startBit) {
#else
void NAME(DoDrawMonoImage)(uint8_t *fbBase, int dstPitch, uint32_t dst, int w, int h,
                           const uint8_t *bits, int stride) {
    const int startBit = 0;
#endif
    ctSetPitches(0, (uint32_t)dstPitch);
    ctSetSource(0);
    ctSetDest(dst);
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR03_MONO, BR03_MONO_BASE + (uint32_t)startBit);
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
    ctSendRows(fbBase, w, h, bits, stride, startBit);
}

static inline uint32_t ctMonoControl(int alu, Bool transparent) {
    if (CT_IS_65550)
        return NAME(PixelOps)[alu & 0xF] |
               (transparent ? CT550_MONO_TRANSPARENT : CT550_MONO_OPAQUE);
    return NAME(PixelOps)[alu & 0xF] | (transparent ? CT548_MONO_TRANSPARENT : CT548_MONO_OPAQUE);
}

static inline void ctSetExpandColours(Pixel fg, Pixel bg, Bool opaque) {
    if (CT_IS_65550) {
        mmWrite32(ct_membase + BR02_FG, ctEngineColour(fg));
        if (opaque)
            mmWrite32(ct_membase + BR01_BG, ctEngineColour(bg));
    } else {
        ioOut32(DR03_FG, ctEngineColour(fg));
        if (opaque)
            ioOut32(DR02_BG, ctEngineColour(bg));
    }
}

/* The bits of an image row from its start bit: the bytes it skips, and
 * (65550) the bits left within the first byte. */
static inline void ctMonoImage(ctScreenPrivPtr priv, BoxPtr box, uint8_t *bits, int startBit,
                               int stride) {
    const uint8_t *from = bits + startBit / 8;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
#if CT_65550_BUILD
    NAME(DoDrawMonoImage)
    (priv->fbBase, priv->stride, ctAddress(priv, box->x1, box->y1), w, h, from, stride,
     startBit % 8);
#else
    NAME(DoDrawMonoImage)
    (priv->fbBase, priv->stride, ctAddress(priv, box->x1, box->y1), w, h, from, stride);
#endif
}

void NAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    if (!CT_IS_65550 && startBit % 8 != 0) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, ~0u, pDraw);
        return;
    }
    switch (alu & 0xF) {
    case GXnoop:
        return;
    case GXinvert:
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, ~0u, pDraw);
        return;
    case GXclear:
        fg = 0;
        alu = GXcopy;
        break;
    case GXset:
        fg = ~0u;
        alu = GXcopy;
        break;
    default:
        break;
    }
    ctWaitIdle();
    ctSetControl(ctMonoControl(alu, 1));
    ctSetExpandColours(fg, 0, 0);
    ctMonoImage(priv, box, bits, startBit, stride);
}

void NAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    switch (alu & 0xF) {
    case GXclear:
    case GXinvert:
    case GXset:
        NAME(DrawSolidRects)(box, 1, fg, alu, planemask, pDraw);
        return;
    case GXnoop:
        return;
    default:
        break;
    }
    if (!CT_IS_65550 && startBit % 8 != 0) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, ~0u, pDraw);
        return;
    }
    ctWaitIdle();
    ctSetControl(ctMonoControl(alu, 0));
    ctSetExpandColours(fg, bg, 1);
    ctMonoImage(priv, box, bits, startBit, stride);
}

/* GXclear and GXset draw a colour as GXcopy; false for the alus the engine
 * leaves to the caller (GXnoop, GXinvert). */
static inline void ctSolidAlu(int *alu, Pixel *fg) {
    if ((*alu & 0xF) == GXclear) {
        *fg = 0;
        *alu = GXcopy;
    } else if ((*alu & 0xF) == GXset) {
        *fg = ~0u;
        *alu = GXcopy;
    }
}

void NAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    if ((alu & 0xF) == GXnoop)
        return;
    if ((alu & 0xF) == GXinvert) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, ~0u, font, pDraw);
        return;
    }
    ctSolidAlu(&alu, &fg);
    ctWaitIdle();
    ctSetControl(ctMonoControl(alu, 1));
    ctSetExpandColours(fg, 0, 0);
    ctSetPitches(0, (uint32_t)priv->stride);
    ctSetSource(0);
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR03_MONO, BR03_MONO_BASE);
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec &g = glyphs[i];
        int w = g.box.x2 - g.box.x1, h = g.box.y2 - g.box.y1;
        if (CT_IS_65550 && w > 32) {
            genDrawMonoGlyphs(glyphs + i, count - i, fg, alu, planemask, font, pDraw);
            return;
        }
        ctWaitIdle();
        ctSetDest(ctAddress(priv, g.box.x1, g.box.y1));
        ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
        if (CT_IS_65550 && w == 0) {
            ErrorF("DrawMonoGlyphs(): Can't handle arbitrary width images\n");
            continue;
        }
        ctSendRows(priv->fbBase, w, h, g.bits, g.stride, 0);
    }
}

void NAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                        Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    const Text8FontInfo *info = font ? font->text8Info : 0;
    if (!ctAllPlanes(priv, planemask) || !info || !info->glyphs) {
        genDrawFontText(box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (!transparent)
        alu = GXcopy;
    if ((alu & 0xF) == GXnoop)
        return;
    if ((alu & 0xF) == GXinvert) {
        genDrawFontText(box, chars, count, font, fg, bg, alu, ~0u, transparent, pDraw);
        return;
    }
    ctSolidAlu(&alu, &fg);
    ctWaitIdle();
    if (transparent) {
        ctSetControl(ctMonoControl(alu, 1));
        ctSetExpandColours(fg, 0, 0);
    } else {
        ctSetControl(ctMonoControl(GXcopy, 0));
        ctSetExpandColours(fg, bg, 1);
    }
    ctSetPitches(0, (uint32_t)priv->stride);
    ctSetSource(0);
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR03_MONO, BR03_MONO_BASE);
    const int w = info->glyphWidth, h = box->y2 - box->y1;
    int x = box->x1;
    for (int i = 0; i < count; i++, x += w) {
        /* A code the font has no glyph for draws nothing: its bitmap would
         * be read from outside the glyph table. */
        if (chars[i] >= info->nglyphs || !info->glyphs[chars[i]])
            continue;
        ctWaitIdle();
        ctSetDest(ctAddress(priv, x, box->y1));
        ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
        ctSendRows(priv->fbBase, w, h, info->glyphs[chars[i]], info->glyphStride, 0);
    }
}
