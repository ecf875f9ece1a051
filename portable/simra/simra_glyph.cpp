/*
 * simra: the glyph cache in bit planes, and text fonts held in it.
 *
 * Every bit plane of the glyph area is a store of its own, cut into equal
 * cells when first used; a glyph takes one cell of one plane, written by a
 * host expansion whose plane mask is that plane's bit and drawn by a screen
 * expansion that tests the bit. A whole 8-bit text font takes a run of
 * adjacent cells of one plane, marked with the glyph key -1. Cells are never
 * evicted: a glyph that finds none is sent from its bitmap.
 *
 * The cache is absent (no bucket or plane table) on a screen without a
 * glyph area, after a refused allocation, and between SaveGState and
 * RestoreGState; glyphs then go through the host data port.
 */
#include "simra.h"

static Bool simraHasCache(const simraScreenPrivate *priv) {
    return priv->glyphAreaHeight > 0 && priv->buckets && priv->planes;
}

/* One plane per bit of the depth. At depth 15 the pixels' top bit is
 * outside every colour and mask the engine is given, so it cannot hold
 * glyphs. */
static int simraPlaneCount(const simraScreenPrivate *priv) {
    int n = 0;
    for (uint32_t m = priv->pixelMask; m; m >>= 1)
        n += (int)(m & 1);
    return n;
}

void simraInitGlCache(simraScreenPrivPtr priv) {
    const uint32_t planeBytes = (uint32_t)simraPlaneCount(priv) * sizeof(simraGlyphPlane);
    priv->buckets = (simraGlyphCell **)Xalloc(GLYPH_BUCKETS * sizeof(simraGlyphCell *));
    priv->planes = (simraGlyphPlane *)Xalloc(planeBytes);
    if (!priv->buckets || !priv->planes) {
        Xfree(priv->buckets);
        Xfree(priv->planes);
        priv->buckets = 0;
        priv->planes = 0;
        return;
    }
    __builtin_memset(priv->buckets, 0, GLYPH_BUCKETS * sizeof(simraGlyphCell *));
    __builtin_memset(priv->planes, 0, planeBytes);
}

/* Marks the cache absent, so that nothing uses or frees it again before
 * the next simraInitGlCache. */
void simraDeallocGlCache(simraScreenPrivPtr priv) {
    if (priv->planes) {
        for (int i = 0; i < simraPlaneCount(priv); i++)
            Xfree(priv->planes[i].cells);
        Xfree(priv->planes);
    }
    Xfree(priv->buckets);
    priv->planes = 0;
    priv->buckets = 0;
}

static simraGlyphCell **simraBucket(simraScreenPrivPtr priv, int32_t fontId, int32_t key) {
    return &priv->buckets[(fontId + (key >> 4)) & GLYPH_BUCKET_MASK];
}

static simraGlyphCell *FindGlyph(simraScreenPrivPtr priv, int32_t fontId, int32_t key) {
    for (simraGlyphCell *c = *simraBucket(priv, fontId, key); c; c = c->next)
        if (c->fontId == fontId && c->glyphKey == key)
            return c;
    return 0;
}

/* The first empty plane, cut into width x height cells; null when the area
 * holds fewer than `count` of them, no plane is empty or the cell array is
 * refused (the plane then stays empty). */
static simraGlyphPlane *AllocPlane(simraScreenPrivPtr priv, int width, int height, int count) {
    const int32_t cells = (priv->glyphAreaHeight / height) * (priv->glyphAreaWidth / width);
    if (count > cells)
        return 0;
    for (int i = 0; i < simraPlaneCount(priv); i++) {
        simraGlyphPlane *p = &priv->planes[i];
        if (p->cells)
            continue;
        p->cells = (simraGlyphCell *)Xalloc((uint32_t)cells * sizeof(simraGlyphCell));
        if (!p->cells)
            return 0;
        p->cellCount = cells;
        p->cellWidth = width;
        p->cellHeight = height;
        simraGlyphCell *c = p->cells;
        for (int y = 0; y + height <= priv->glyphAreaHeight; y += height)
            for (int x = 0; x + width <= priv->glyphAreaWidth; x += width, c++) {
                c->next = c + 1;
                c->fontId = 0;
                c->glyphKey = 0;
                c->x = x;
                c->y = priv->glyphAreaY + y;
                c->plane = (uint8_t)i;
            }
        p->cells[cells - 1].next = 0;
        p->freeList = p->cells;
        return p;
    }
    return 0;
}

/* A run of `count` free cells that follow each other both in the free list
 * and in the cell array, from the plane whose cells fit closest. */
static simraGlyphCell *simraAllocGlyphMem(simraScreenPrivPtr priv, int width, int height,
                                          int count) {
    if (height > priv->glyphAreaHeight)
        return 0;
    simraGlyphPlane *loose = 0, *close = 0;
    for (int i = 0; i < simraPlaneCount(priv); i++) {
        simraGlyphPlane *p = &priv->planes[i];
        if (!p->cells || !p->freeList || p->cellWidth < width || p->cellHeight < height)
            continue;
        loose = p;
        if (p->cellWidth - GLYPH_CLOSE_FIT <= width && p->cellHeight - GLYPH_CLOSE_FIT <= height)
            close = p;
    }
    simraGlyphPlane *p = close;
    if (!p)
        p = AllocPlane(priv, width, height, count);
    if (!p)
        p = loose;
    if (!p)
        return 0;
    simraGlyphCell **link = &p->freeList;
    while (*link) {
        simraGlyphCell *first = *link, *last = first;
        int n = 1;
        while (n < count && last->next == last + 1) {
            last = last->next;
            n++;
        }
        if (n == count) {
            *link = last->next;
            last->next = 0;
            return first;
        }
        link = &last->next;
    }
    return 0;
}

static simraGlyphCell *AllocGlyph(simraScreenPrivPtr priv, int32_t fontId, int32_t key, int width,
                                  int height) {
    const int side = width > height ? width : height;
    simraGlyphCell *c = simraAllocGlyphMem(priv, side, side, 1);
    if (!c)
        return 0;
    c->fontId = fontId;
    c->glyphKey = key;
    simraGlyphCell **head = simraBucket(priv, fontId, key);
    c->next = *head;
    *head = c;
    return c;
}

/* Set bits become 1 and clear bits 0 in the plane's bit of the cell; the
 * other planes keep what they hold. */
static void simraLoadGlyph(simraScreenPrivPtr priv, int width, int height, const uint8_t *bits,
                           int stride, int x, int y, int plane) {
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, priv->pixelMask);
    simraReg16(&r, B3_BG, 0);
    simraReg16(&r, B3_PLANE_MASK, 1u << plane);
    simraWaitEmpty();
    simraB1(&r, B1_SRC_X, 0);
    simraB1(&r, B1_SRC_Y, 0);
    simraB1(&r, B1_DST_X, (uint32_t)x);
    simraB1(&r, B1_DST_Y, (uint32_t)y);
    simraB1(&r, B1_WIDTH, (uint32_t)(width - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(height - 1));
    simraB1(&r, B1_ROP, simraRop(GXcopy));
    simraWaitQueue(6);
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_HOST_MONO);
    simraB1(&r, B1_COMMAND, CMD_HOST_MONO);
    simraWaitEmpty();
    for (int row = 0; row < height; row++)
        simraSendMonoRow(bits + (ptrdiff_t)row * stride, (width + 3) / 4, 0);
    simraEnd(&r);
}

static void simraDrawGlyph(simraScreenPrivPtr priv, const BoxRec *box, const simraGlyphCell *c,
                           Pixel fg, int alu, uint32_t planemask) {
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraReg16(&r, B3_SOURCE_PLANE, 1u << c->plane);
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraWaitEmpty();
    simraB1(&r, B1_SRC_X, (uint32_t)c->x);
    simraB1(&r, B1_SRC_Y, (uint32_t)c->y);
    simraB1(&r, B1_DST_X, (uint32_t)box->x1);
    simraB1(&r, B1_DST_Y, (uint32_t)box->y1);
    simraB1(&r, B1_WIDTH, (uint32_t)(box->x2 - box->x1 - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(box->y2 - box->y1 - 1));
    simraB1(&r, B1_ROP, simraRop(alu));
    simraWaitQueue(6);
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_SCREEN_TRANSPARENT);
    simraB1(&r, B1_COMMAND, CMD_EXPAND);
    simraEnd(&r);
}

static void simraAssignFontId(nfbFontPrivPtr font) {
    nextFontId += 1;
    font->fontId = nextFontId;
}

void simraDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    /* Without a font nothing tells one glyph from another: none is kept. */
    if (font && font->fontId <= 0)
        simraAssignFontId(font);
    for (int i = 0; i < count; i++) {
        MonoGlyphRec *g = &glyphs[i];
        const int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        if (w <= 0 || h <= 0)
            continue;
        simraGlyphCell *c = 0;
        if (font && simraHasCache(priv) && (w >= GLYPH_MIN_CACHED || h >= GLYPH_MIN_CACHED)) {
            c = FindGlyph(priv, font->fontId, g->glyphKey);
            if (!c) {
                c = AllocGlyph(priv, font->fontId, g->glyphKey, w, h);
                if (c)
                    simraLoadGlyph(priv, w, h, g->bits, g->stride, c->x, c->y, c->plane);
            }
        }
        if (c)
            simraDrawGlyph(priv, &g->box, c, fg, alu, planemask);
        else
            simraDrawMonoImage(&g->box, g->bits, 0, g->stride, fg, alu, planemask, pDraw);
    }
}

/* The font's cells go back to their planes' free lists; a plane whose
 * cells are all free is emptied, to be cut to another size later. */
void simraClearFont(nfbFontPrivPtr font, ScreenPtr pScreen) {
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    if (!priv || !simraHasCache(priv) || !font)
        return;
    for (int b = 0; b < GLYPH_BUCKETS; b++) {
        simraGlyphCell **link = &priv->buckets[b];
        while (*link) {
            simraGlyphCell *c = *link;
            if (c->fontId != font->fontId) {
                link = &c->next;
                continue;
            }
            *link = c->next;
            simraGlyphPlane *p = &priv->planes[c->plane];
            c->next = p->freeList;
            p->freeList = c;
            c->fontId = 0;
        }
    }
    for (int i = 0; i < simraPlaneCount(priv); i++) {
        simraGlyphPlane *p = &priv->planes[i];
        if (!p->cells)
            continue;
        int32_t free = 0;
        for (simraGlyphCell *c = p->freeList; c; c = c->next)
            free++;
        if (free == p->cellCount) {
            Xfree(p->cells);
            p->cells = 0;
            p->freeList = 0;
            p->cellCount = 0;
        }
    }
}

/* ---- Text fonts ---- */

static simraGlyphCell *LoadFont(simraScreenPrivPtr priv, nfbFontPrivPtr font, int32_t id) {
    const Text8FontInfo *info = font->text8Info;
    /* A glyph of no width or height would cut a plane into no cells. */
    if (!info || !info->usable || info->glyphWidth <= 0 || info->glyphHeight <= 0 ||
        info->nglyphs <= 0)
        return 0;
    simraGlyphCell *run =
        simraAllocGlyphMem(priv, info->glyphWidth, info->glyphHeight, info->nglyphs);
    if (!run)
        return 0;
    for (int i = 0; i < info->nglyphs; i++) {
        simraGlyphCell *c = &run[i];
        c->glyphKey = TEXT_FONT_KEY;
        c->fontId = id;
        if (info->glyphs[i])
            simraLoadGlyph(priv, info->glyphWidth, info->glyphHeight, info->glyphs[i],
                           info->glyphStride, c->x, c->y, c->plane);
    }
    simraGlyphCell **head = simraBucket(priv, id, TEXT_FONT_KEY);
    run[info->nglyphs - 1].next = *head;
    *head = run;
    return run;
}

void simraDrawFontText8(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                        Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    simraScreenPrivPtr priv = simraPrivOf(pDraw);
    const Text8FontInfo *info = font->text8Info;
    const int height = box->y2 - box->y1;
    if (count <= 0 || height <= 0)
        return;
    /* A cell holds glyphHeight rows: a taller box would draw the rows of
     * the cells below. */
    if (!simraHasCache(priv) || !info || height > info->glyphHeight) {
        genDrawFontText(box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    const int32_t id = font->fontId > 0 ? font->fontId : nextFontId + 1;
    simraGlyphCell *run = FindGlyph(priv, id, TEXT_FONT_KEY);
    if (!run)
        run = LoadFont(priv, font, id);
    if (!run) {
        genDrawFontText(box, chars, count, font, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (font->fontId <= 0)
        simraAssignFontId(font);

    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg16(&r, B3_FG, fg);
    simraReg16(&r, B3_BG, bg);
    simraReg16(&r, B3_PLANE_MASK, planemask);
    simraReg16(&r, B3_SOURCE_PLANE, 1u << run->plane);
    simraWaitEmpty();
    simraReg16(&r, B3_PIXEL_MASK, priv->pixelMask);
    simraB1(&r, B1_WIDTH, (uint32_t)(info->glyphWidth - 1));
    simraB1(&r, B1_HEIGHT, (uint32_t)(height - 1));
    simraB1(&r, B1_ROP, simraRop(alu));
    simraB1(&r, B1_MODE, priv->pixelSizeBits | MODE_SCREEN | (transparent ? MODE_TRANSPARENT : 0));
    int x = box->x1;
    for (int i = 0; i < count; i++, x += info->glyphWidth) {
        /* Codes past the font have no cell: the run ends before them. */
        if (chars[i] >= info->nglyphs)
            continue;
        const simraGlyphCell *c = &run[chars[i]];
        simraWaitQueue(2);
        simraB1(&r, B1_SRC_X, (uint32_t)c->x);
        simraB1(&r, B1_SRC_Y, (uint32_t)c->y);
        simraB1(&r, B1_DST_X, (uint32_t)x);
        simraB1(&r, B1_DST_Y, (uint32_t)box->y1);
        simraB1(&r, B1_COMMAND, CMD_EXPAND);
    }
    simraEnd(&r);
}
