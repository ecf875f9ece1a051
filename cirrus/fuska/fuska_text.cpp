/*
 * fuska: glyph lists and 8-bit font text by colour expansion. The 1-bit rows
 * are staged in the ScratchArea as the server hands them over (leftmost
 * pixel in the low bit, which is the order the engine expands in) and the
 * engine draws them with the foreground colour, and for opaque text the
 * background colour.
 */
#include "fuska.h"

/* Bytes of one staged row of `w` pixels. */
static inline int fuskaMonoRowBytes(int w) {
    return (w + 7) / 8;
}

/* Staged rows of a glyph `w` pixels wide and `h` lines high must stay inside
 * the ScratchArea. */
static Bool fuskaMonoFits(const fuskaScreenPrivate *priv, int64_t rowBytes, int h) {
    return rowBytes <= priv->pitch && h <= priv->offHeight;
}

/* `h` rows of `rowBytes` to the ScratchArea at byte column `column`; rows
 * the bitmap does not have (`bits` null, or at and below `bitmapRows`) are
 * staged blank. */
static void fuskaStageMono(const fuskaScreenPrivate *priv, int column, const uint8_t *bits,
                           int stride, int rowBytes, int h, int bitmapRows) {
    uint8_t *dst = priv->fbBase + priv->offAddr + column;
    for (int r = 0; r < h; r++, dst += priv->pitch) {
        if (bits && r < bitmapRows)
            __builtin_memcpy(dst, bits + (intptr_t)r * stride, (size_t)rowBytes);
        else
            __builtin_memset(dst, 0, (size_t)rowBytes);
    }
}

/* One expansion of staged bits from bit `bitX` of the ScratchArea's first
 * line to (x, y). */
static void fuskaExpand(const fuskaScreenPrivate *priv, int bitX, int x, int y, int w, int h) {
    uint32_t source = XY(bitX, priv->offY);
    fuskaWrite32(priv, REG_MONO_SOURCE, source);
    fuskaWrite32(priv, REG_MONO_SOURCE2, source);
    fuskaStart(priv, REG_DESTINATION, XY(x, y), w, h);
}

/* Every glyph of the list must fit the ScratchArea, or the whole list goes
 * to the generic routine: a glyph drawn in part would be worse than none. */
static Bool fuskaGlyphsFit(const fuskaScreenPrivate *priv, const MonoGlyphRec *glyphs, int count) {
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &glyphs[i].box;
        int w = b->x2 - b->x1, h = b->y2 - b->y1;
        if (w > 0 && h > 0 && !fuskaMonoFits(priv, fuskaMonoRowBytes(w), h))
            return 0;
    }
    return 1;
}

void fuskaDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    if (fuskaNeedsFallback(depth, alu, planemask) || (count > 0 && !glyphs) ||
        !fuskaGlyphsFit(priv, glyphs, count)) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    if (count <= 0)
        return;
    fuskaEngineIdleWait(priv);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_EXPAND_TRANSPARENT | fuskaRasterOps[alu & 0xF]);
    fuskaWrite32(priv, REG_BACKGROUND, 0);
    fuskaWrite32(priv, REG_FOREGROUND, fuskaPixelReplicate(depth, fg));
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        if (w <= 0 || h <= 0 || !g->bits)
            continue;
        /* The previous glyph may still be expanding from the same lines. */
        fuskaEngineIdleWait(priv);
        fuskaStageMono(priv, 0, g->bits, g->stride, fuskaMonoRowBytes(w), h, h);
        fuskaExpand(priv, priv->offX, g->box.x1, g->box.y1, w, h);
    }
}

/* ---- Font text ---- */

/* The glyph of a character code; null (blank) for a code past the font. */
static const uint8_t *fuskaGlyphOf(const Text8FontInfo *info, uint8_t code) {
    if (!info->glyphs || code >= info->nglyphs)
        return 0;
    return info->glyphs[code];
}

static Bool fuskaFontUsable(const nfbFontPrivate *font) {
    return font && font->text8Info && font->text8Info->usable && font->text8Info->glyphWidth > 0;
}

/* The string is staged side by side in one band of the ScratchArea, so its
 * cells together must fit one line, and its rows the ScratchArea's lines. */
static Bool fuskaTextFits(const fuskaScreenPrivate *priv, const BoxRec *box, int count,
                          int glyphWidth) {
    int64_t bytes = (int64_t)fuskaMonoRowBytes(glyphWidth) * (count > 0 ? count : 0);
    return fuskaMonoFits(priv, bytes, box->y2 - box->y1);
}

static void fuskaStageText(const fuskaScreenPrivate *priv, const Text8FontInfo *info,
                           const uint8_t *chars, int count, int h) {
    int rowBytes = fuskaMonoRowBytes(info->glyphWidth);
    int bitmapRows = info->glyphHeight > 0 ? info->glyphHeight : 0;
    for (int i = 0; i < count; i++)
        fuskaStageMono(priv, rowBytes * i, fuskaGlyphOf(info, chars[i]), info->glyphStride,
                       rowBytes, h, bitmapRows);
}

void fuskaDrawFontText(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    if (fuskaNeedsFallback(depth, alu, planemask) || !box || (count > 0 && !chars) ||
        !fuskaFontUsable(font) || !fuskaTextFits(priv, box, count, font->text8Info->glyphWidth)) {
        genDrawFontText(box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    const Text8FontInfo *info = font->text8Info;
    int gw = info->glyphWidth, h = box->y2 - box->y1;
    if (count <= 0 || h <= 0)
        return;
    int rowBytes = fuskaMonoRowBytes(gw);
    uint32_t dd = transparent ? DD_EXPAND_TRANSPARENT : DD_EXPAND_OPAQUE;
    fuskaEngineIdleWait(priv);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, dd | fuskaRasterOps[alu & 0xF]);
    fuskaWrite32(priv, REG_FOREGROUND, fuskaPixelReplicate(depth, fg));
    fuskaWrite32(priv, REG_BACKGROUND, fuskaPixelReplicate(depth, bg));
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    fuskaStageText(priv, info, chars, count, h);
    /* The run ends at the box: a last cell that reaches past it is cut. */
    for (int i = 0; i < count; i++) {
        int x = box->x1 + gw * i;
        if (x >= box->x2)
            break;
        int w = box->x2 - x < gw ? box->x2 - x : gw;
        fuskaEngineIdleWait(priv);
        fuskaExpand(priv, priv->offX + 8 * rowBytes * i, x, box->y1, w, h);
    }
}
