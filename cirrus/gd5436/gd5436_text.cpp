/*
 * gd5436 family: glyph lists and runs of 8-bit characters of a fixed-width
 * font, expanded by the BitBLT engine from 1-bit rows staged in the
 * ScratchArea.
 *
 * There is no glyph cache: every call stages its glyphs again. The server's
 * bitmaps hold their leftmost pixel in the least significant bit, the
 * engine's expansion source in the most significant one, so every staged
 * byte goes through ddxBitSwap. A staged glyph is (width + 7) / 8 bytes per
 * row, rows packed one after another.
 *
 * Only the alus that read the source are expanded by the engine; the three
 * that do not (GXclear, GXinvert, GXset) are left to the generic routines, as
 * is a partial plane mask, which the engine cannot apply. Whatever would not
 * fit between the ScratchArea's start and the CursorArea goes to the generic
 * routine too, rather than being staged over the cursor pattern or past video
 * memory.
 *
 * A text run ends at its box's right edge: characters that start beyond it
 * are not drawn, and the one it cuts is drawn only up to it.
 */
#include "gd5436.h"

/* Width in pixels and height in lines; the registers take bytes and lines
 * less one. Never called with an empty extent. */
static void textWriteSize(volatile uint8_t *blt, int pixels, int lines) {
    gd5436BltWriteSize(blt, pixels * PIXEL_BYTES, lines);
}

/* ---- When the engine path applies ---- */

static Bool gd5436TextAllPlanes(uint32_t planemask) {
    return (planemask & PLANEMASK_ALL) == PLANEMASK_ALL;
}

/* Alus whose result does not depend on the source. */
static Bool gd5436SourcelessAlu(int alu) {
    alu &= 0xF;
    return alu == GXclear || alu == GXinvert || alu == GXset;
}

/* Staged bytes of one row of a glyph `width` pixels wide. */
static int gd5436GlyphRowBytes(int width) {
    return (width + 7) / 8;
}

/* ---- Staging ---- */

/* `rows` rows of `rowBytes` bytes each, `stride` apart in the bitmap, packed
 * and bit-reversed at `dst`. A null bitmap stages blank rows. Returns the
 * bytes staged. */
static int64_t gd5436StageRows(uint8_t *dst, const uint8_t *bits, int stride, int rowBytes,
                               int rows) {
    for (int r = 0; r < rows; r++) {
        uint8_t *d = dst + (int64_t)r * rowBytes;
        if (!bits) {
            __builtin_memset(d, 0, (size_t)rowBytes);
            continue;
        }
        const uint8_t *s = bits + (intptr_t)r * stride;
        for (int i = 0; i < rowBytes; i++)
            d[i] = ddxBitSwap[s[i]];
    }
    return (int64_t)rows * rowBytes;
}

/* ---- DrawMonoGlyphs ---- */

/* Every glyph's staged bitmap fits, so none is staged past the room. */
static Bool gd5436GlyphsFit(const gd5436ScreenPrivate *priv, const MonoGlyphRec *glyphs,
                            int count) {
    int64_t room = gd5436ScratchBytes(priv);
    for (int i = 0; i < count; i++) {
        int w = glyphs[i].box.x2 - glyphs[i].box.x1;
        int h = glyphs[i].box.y2 - glyphs[i].box.y1;
        if (w > 0 && h > 0 && (int64_t)gd5436GlyphRowBytes(w) * h > room)
            return 0;
    }
    return 1;
}

void NAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    if (!gd5436TextAllPlanes(planemask) || gd5436SourcelessAlu(alu) ||
        !gd5436GlyphsFit(priv, glyphs, count)) {
        genDrawMonoGlyphs(glyphs, count, fg, alu & 0xFF, planemask, font, pDraw);
        return;
    }
    if (count <= 0)
        return;
    volatile uint8_t *blt = priv->bltBase;
    uint8_t *staging = priv->fbBase + priv->offAddr;

    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWriteSource(blt, (uint32_t)priv->offAddr);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, fg);
    gd5436BltWrite8(blt, BLT_MODE, gd5436ModeFor(BLT_MODE_EXPAND_TRANSPARENT));
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART);
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        if (w <= 0 || h <= 0)
            continue;
        /* The previous glyph must have left the ScratchArea before it is
         * overwritten. */
        EngineIdleWait(blt);
        gd5436StageRows(staging, g->bits, g->stride, gd5436GlyphRowBytes(w), h);
        textWriteSize(blt, w, h);
        gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, g->box.x1, g->box.y1));
    }
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART_OFF);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, 0);
}

/* ---- DrawFontText ---- */

/* The drawn part of a run: `count` characters of `width` pixels and `rows`
 * lines, the last `lastWidth` pixels wide where the box's edge cuts it. */
typedef struct _gd5436TextRun {
    const Text8FontInfo *info;
    const uint8_t *chars;
    int count; /* characters that start inside the box */
    int width, rows;
    int lastWidth;
    int rowBytes; /* staged bytes per glyph row */
    int block;    /* staged bytes per character, a multiple of 4 */
} gd5436TextRun;

/* Fills `run` from the call; 0 when the font cannot be drawn as 8-bit text. */
static Bool gd5436TextRunFor(gd5436TextRun *run, const BoxRec *box, const uint8_t *chars, int count,
                             const nfbFontPrivate *font) {
    if (!font || !font->text8Info || !font->text8Info->usable || font->text8Info->glyphWidth <= 0)
        return 0;
    run->info = font->text8Info;
    run->chars = chars;
    run->width = run->info->glyphWidth;
    run->rows = box->y2 - box->y1;
    int span = box->x2 - box->x1;
    int64_t cells = span > 0 ? ((int64_t)span + run->width - 1) / run->width : 0;
    run->count = count < cells ? count : (int)cells;
    run->lastWidth = run->width;
    if (run->count > 0 && (int64_t)run->count * run->width > span)
        run->lastWidth = span - (run->count - 1) * run->width;
    run->rowBytes = gd5436GlyphRowBytes(run->width);
    int64_t bytes = (int64_t)run->rows * run->rowBytes;
    run->block = (int)((bytes + 3) & ~(int64_t)3);
    return 1;
}

static Bool gd5436TextRunFits(const gd5436ScreenPrivate *priv, const gd5436TextRun *run) {
    return (int64_t)run->count * run->block <= (int64_t)gd5436ScratchBytes(priv);
}

/* Pixels of character i that are drawn. */
static int gd5436CellWidth(const gd5436TextRun *run, int i) {
    return i == run->count - 1 ? run->lastWidth : run->width;
}

/* The glyph of a character code; null (blank) for a code the font has no
 * glyph for. */
static const uint8_t *gd5436GlyphOf(const Text8FontInfo *info, uint8_t code) {
    if (!info->glyphs || code >= info->nglyphs)
        return 0;
    return info->glyphs[code];
}

/* Every character's glyph, in order, one block each from `staging`; a cut
 * character's rows only as wide as the part drawn, since the expansion takes
 * its rows packed at the width it draws. Rows below the font's height (a box
 * taller than the font) are blank rather than read past the bitmap. */
static void gd5436StageRun(uint8_t *staging, const gd5436TextRun *run) {
    int fontRows = run->info->glyphHeight > 0 ? run->info->glyphHeight : 0;
    int bitmapRows = run->rows < fontRows ? run->rows : fontRows;
    for (int i = 0; i < run->count; i++) {
        uint8_t *d = staging + (int64_t)i * run->block;
        const uint8_t *bits = gd5436GlyphOf(run->info, run->chars[i]);
        int rowBytes = gd5436GlyphRowBytes(gd5436CellWidth(run, i));
        int64_t done = gd5436StageRows(d, bits, run->info->glyphStride, rowBytes, bitmapRows);
        gd5436StageRows(d + done, 0, 0, rowBytes, run->rows - bitmapRows);
    }
}

/* Expansion of a staged run at (x, y) in `mode`: the engine's set-up, the
 * staging, then one autostarted expansion per character. */
static void gd5436ExpandRun(gd5436ScreenPrivPtr priv, const gd5436TextRun *run, int x, int y,
                            uint8_t mode, Pixel fg, Pixel bg, int alu) {
    volatile uint8_t *blt = priv->bltBase;
    uint32_t staging = (uint32_t)priv->offAddr;

    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWriteSource(blt, staging);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, fg);
    textWriteSize(blt, run->width, run->rows);
    gd5436BltWrite8(blt, BLT_MODE, gd5436ModeFor(mode));
    if (mode == BLT_MODE_EXPAND)
        gd5436BltWriteColour(blt, BLT_BG_COLOUR, bg);

    /* The whole run is staged before the first start, so the engine never
     * waits for the processor between characters. */
    gd5436StageRun(priv->fbBase + staging, run);

    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART);
    for (int i = 0; i < run->count; i++) {
        EngineRoomWait(blt);
        /* Under autostart, with room, the registers program the next start. */
        if (gd5436CellWidth(run, i) != run->width)
            textWriteSize(blt, gd5436CellWidth(run, i), run->rows);
        gd5436BltWriteSource(blt, staging + (uint32_t)i * (uint32_t)run->block);
        gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, x + i * run->width, y));
    }
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART_OFF);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, 0);
}

/* The background of an opaque run as one solid fill with GXcopy: the 3-byte
 * expansion is only used transparently. */
static void gd5436FillRunBackground(gd5436ScreenPrivPtr priv, const gd5436TextRun *run, int x,
                                    int y, Pixel bg) {
    volatile uint8_t *blt = priv->bltBase;
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[GXcopy]);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, bg);
    gd5436BltWriteColour(blt, BLT_BG_COLOUR, bg);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite8(blt, BLT_MODE, gd5436ModeFor(BLT_MODE_SOLID_FILL));
    gd5436BltWrite8(blt, BLT_MODE_EXT, BLT_MODE_EXT_SOLID);
    /* The characters' cells as far as the box reaches. */
    textWriteSize(blt, (run->count - 1) * run->width + run->lastWidth, run->rows);
    gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, x, y));
    gd5436BltWrite8(blt, BLT_STATUS, BLT_START);
}

/* Whether this build's engine path takes the call; the 3-byte builds expand
 * only transparently, so opaque text is accelerated there for GXcopy alone
 * (a background fill, then the characters on top). */
static Bool gd5436TextAccelerated(int alu, uint32_t planemask, int transparent) {
    if (!gd5436TextAllPlanes(planemask) || gd5436SourcelessAlu(alu))
        return 0;
    if (gd5436Traits.pixel24)
        return (alu & 0xF) == GXcopy || (transparent & 0xFF) != 0;
    return 1;
}

void NAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                        Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    gd5436TextRun run;
    if (!gd5436TextAccelerated(alu, planemask, transparent) ||
        !gd5436TextRunFor(&run, box, chars, count, font) || !gd5436TextRunFits(priv, &run)) {
        genDrawFontText(box, chars, count, font, fg, bg, alu & 0xFF, planemask, transparent & 0xFF,
                        pDraw);
        return;
    }
    if (run.count <= 0 || run.rows <= 0)
        return;
    Bool opaque = (transparent & 0xFF) == 0;
    if (!opaque) {
        gd5436ExpandRun(priv, &run, box->x1, box->y1, BLT_MODE_EXPAND_TRANSPARENT, fg, bg, alu);
    } else if (gd5436Traits.pixel24) {
        gd5436FillRunBackground(priv, &run, box->x1, box->y1, bg);
        gd5436ExpandRun(priv, &run, box->x1, box->y1, BLT_MODE_EXPAND_TRANSPARENT, fg, bg, alu);
    } else {
        gd5436ExpandRun(priv, &run, box->x1, box->y1, BLT_MODE_EXPAND, fg, bg, alu);
    }
}
