/*
 * Mach64 glyph cache and glyph batches. A glyph met for the first time is
 * packed into a free 512-bit cell of the GlyphArea; every glyph of a call is
 * queued, and the batch is drawn at the end of the call with one colour
 * expansion per glyph from its cell, read as a linear 1-bit source. A glyph
 * the cache refuses is drawn at once through the window's DrawMonoImage
 * slot. The cache never evicts: cells come back when their font goes
 * (ClearFont) or when the screen is taken away.
 */
#include "mach64.h"

/* Init allocates the batch as PENDING_GLYPHS entries of this size. */
static_assert(sizeof(teskPendingGlyph) == PENDING_GLYPH_BYTES, "a batch entry is 12 bytes");

static teskGlyphCells *m64Cells(const teskScreenPrivate *priv) {
    return (teskGlyphCells *)priv->glyphCells;
}

static teskCacheBucket *m64Buckets(const teskScreenPrivate *priv) {
    return (teskCacheBucket *)priv->buckets;
}

uint32_t LNAME(GlyphBucket)(uintptr_t fontKey, uint32_t glyphKey) {
    uint32_t f = (uint32_t)fontKey * 0x1FAD500u;
    uint32_t g = glyphKey * 0x1FAD5u;
    return ((f >> 14) + (g >> 14)) % GLYPH_BUCKETS;
}

/* ---- The cache ---- */

/* Cells line by line, left to right within a line, on the free list in
 * that order. */
Bool UNAME(GlCacheInit)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    const int depth = priv->depth;
    const int cellPixels = (GLYPH_CELL_BITS + depth - 1) / depth;
    const int perLine = priv->glyphArea.width / cellPixels;
    const int count = perLine * priv->glyphArea.height;

    teskGlyphCells *cells = (teskGlyphCells *)Xalloc(sizeof(teskGlyphCells));
    if (!cells)
        return 0;
    cells->cellUsedList = 0;
    cells->cellFreeList = 0;
    cells->block = 0;
    priv->glyphCells = cells;
    if (count > 0) {
        cells->block = (teskGlyphCell *)Xalloc((uint32_t)((size_t)count * sizeof(teskGlyphCell)));
        if (!cells->block)
            return 0;
    }
    teskGlyphCell **link = &cells->cellFreeList;
    for (int i = 0; i < priv->glyphArea.height; i++)
        for (int j = 0; j < perLine; j++) {
            teskGlyphCell *c = &cells->block[i * perLine + j];
            c->fontKey = 0;
            c->glyphKey = 0;
            c->cellPos = m64CellPos(priv->glyphArea.x + (GLYPH_CELL_BITS * j + depth - 1) / depth,
                                    priv->glyphArea.y + i);
            *link = c;
            link = &c->next;
        }
    *link = 0;

    priv->bucketGrowth = GLYPH_BUCKET_GROWTH;
    priv->bucketCount = GLYPH_BUCKETS;
    teskCacheBucket *buckets =
        (teskCacheBucket *)Xalloc((uint32_t)(GLYPH_BUCKETS * sizeof(teskCacheBucket)));
    if (!buckets)
        return 0;
    for (int b = 0; b < GLYPH_BUCKETS; b++) {
        buckets[b].entries = 0;
        buckets[b].size = 0;
    }
    priv->buckets = buckets;
    return 1;
}

/* Also frees what a GlCacheInit that failed half way had made. */
void UNAME(GlCacheClose)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    teskCacheBucket *buckets = m64Buckets(priv);
    if (buckets) {
        for (int b = 0; b < GLYPH_BUCKETS; b++)
            Xfree(buckets[b].entries);
        Xfree(buckets);
    }
    teskGlyphCells *cells = m64Cells(priv);
    if (cells) {
        Xfree(cells->block);
        Xfree(cells);
    }
    priv->buckets = 0;
    priv->glyphCells = 0;
}

int UNAME(GlReadCacheEntry)(ScreenPtr pScreen, uintptr_t fontKey, uint32_t glyphKey,
                            uint32_t *cellPos) {
    const teskCacheBucket *b =
        &m64Buckets(M64_PRIV(pScreen))[LNAME(GlyphBucket)(fontKey, glyphKey)];
    for (int i = 0; i < b->size; i++) {
        const teskCacheEntry *e = &b->entries[i];
        if (e->used && e->fontKey == fontKey && e->glyphKey == glyphKey) {
            *cellPos = e->cellPos;
            return 1;
        }
    }
    return 0;
}

/* The caller has just missed the key. Refused: a glyph wider than 32
 * pixels or of more than 512, a full cache, or a bucket that cannot grow. */
int UNAME(GlAddCacheEntry)(ScreenPtr pScreen, uintptr_t fontKey, uint32_t glyphKey, int width,
                           int height, uint32_t *cellPos) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    teskGlyphCells *cells = m64Cells(priv);
    if (width > GLYPH_CACHE_MAX_WIDTH || width * height > GLYPH_CELL_BITS || !cells->cellFreeList)
        return 0;
    teskCacheBucket *b = &m64Buckets(priv)[LNAME(GlyphBucket)(fontKey, glyphKey)];
    int slot = 0;
    while (slot < b->size && b->entries[slot].used)
        slot++;
    if (slot == b->size) {
        int size = b->size + priv->bucketGrowth;
        teskCacheEntry *grown = (teskCacheEntry *)Xrealloc(
            b->entries, (uint32_t)((size_t)size * sizeof(teskCacheEntry)));
        if (!grown)
            return 0;
        for (int i = b->size; i < size; i++)
            grown[i].used = 0;
        b->entries = grown;
        b->size = size;
    }
    teskGlyphCell *c = cells->cellFreeList;
    cells->cellFreeList = c->next;
    c->next = cells->cellUsedList;
    cells->cellUsedList = c;
    c->fontKey = fontKey;
    c->glyphKey = glyphKey;

    teskCacheEntry *e = &b->entries[slot];
    e->used = 1;
    e->fontKey = fontKey;
    e->glyphKey = glyphKey;
    e->cellPos = c->cellPos;
    *cellPos = c->cellPos;
    return 1;
}

static void m64GlDeleteCacheEntry(ScreenPtr pScreen, uintptr_t fontKey, uint32_t glyphKey) {
    teskCacheBucket *b = &m64Buckets(M64_PRIV(pScreen))[LNAME(GlyphBucket)(fontKey, glyphKey)];
    for (int i = 0; i < b->size; i++) {
        teskCacheEntry *e = &b->entries[i];
        if (e->used && e->fontKey == fontKey && e->glyphKey == glyphKey) {
            e->used = 0;
            return;
        }
    }
}

/* The ClearFont hook: the font's cells are free again, the other fonts'
 * glyphs stay. */
void UNAME(GlClearCache)(nfbFontPrivPtr font, ScreenPtr pScreen) {
    teskGlyphCells *cells = m64Cells(M64_PRIV(pScreen));
    if (!cells)
        return;
    const uintptr_t key = (uintptr_t)font;
    teskGlyphCell **link = &cells->cellUsedList;
    while (*link) {
        teskGlyphCell *c = *link;
        if (c->fontKey != key) {
            link = &c->next;
            continue;
        }
        m64GlDeleteCacheEntry(pScreen, key, c->glyphKey);
        *link = c->next;
        c->next = cells->cellFreeList;
        cells->cellFreeList = c;
    }
}

/* Everything goes before the screen is taken away. */
void UNAME(GlFlushCache)(ScreenPtr pScreen) {
    teskGlyphCells *cells = m64Cells(M64_PRIV(pScreen));
    if (!cells)
        return;
    while (cells->cellUsedList) {
        teskGlyphCell *c = cells->cellUsedList;
        m64GlDeleteCacheEntry(pScreen, c->fontKey, c->glyphKey);
        cells->cellUsedList = c->next;
        c->next = cells->cellFreeList;
        cells->cellFreeList = c;
    }
}

/* ---- Batches ---- */

void UNAME(StartGlyphs)(DrawablePtr pDraw, Pixel fg, int alu, uint32_t planemask) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    priv->batchFg = fg;
    priv->batchAlu = (uint8_t)alu;
    priv->batchPlanemask = planemask;
}

/* Caches the glyph when it is new and queues it: 1. Refused (0): the
 * caller draws it at once. An empty box or a missing bitmap has nothing to
 * draw: 1, with nothing cached or queued. */
static int m64StoreGlyph(DrawablePtr pDraw, const uint8_t *bits, int stride, int width, int height,
                         const MonoGlyphRec *glyph, uintptr_t fontKey, uint32_t glyphKey) {
    ScreenPtr pScreen = pDraw->pScreen;
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (width <= 0 || height <= 0 || !bits)
        return 1;
    /* Without a font there is no key that names the glyph. */
    if (!fontKey)
        return 0;
    uint32_t cellPos;
    if (!UNAME(GlReadCacheEntry)(pScreen, fontKey, glyphKey, &cellPos)) {
        if (!UNAME(GlAddCacheEntry)(pScreen, fontKey, glyphKey, width, height, &cellPos))
            return 0;
        UNAME(SetupStoreCompressed)(priv);
        UNAME(StoreCompressed)
        (width, height, (int)(cellPos & 0xFFFF), (int)(cellPos >> 16), bits, stride, priv);
        UNAME(ResetFromCompressed)(priv);
    }
    if (priv->pendingCount + 1 >= priv->pendingCapacity) {
        int capacity = priv->pendingCapacity * 2;
        void *grown =
            Xrealloc(priv->pending, (uint32_t)((size_t)capacity * sizeof(teskPendingGlyph)));
        /* The glyph stays cached; it is drawn now instead. */
        if (!grown)
            return 0;
        priv->pending = grown;
        priv->pendingCapacity = capacity;
    }
    teskPendingGlyph *p = &((teskPendingGlyph *)priv->pending)[priv->pendingCount++];
    p->cellPos = cellPos;
    p->x1 = glyph->box.x1;
    p->y1 = glyph->box.y1;
    p->x2 = glyph->box.x2;
    p->y2 = glyph->box.y2;
    return 1;
}

static void m64FlushGlyphs(DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    if (priv->pendingCount == 0)
        return;
    LNAME(CheckedWait)(priv, "Enter Flush Glyphs");
    const uint32_t mix = UNAME(RasterOps)[priv->batchAlu & 0xF];
    FifoSpaceWait(priv, 8);
    m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_LINEAR);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH,
                   m64DstPixWidth(priv->pixWidthCode) | DP_PIX_LSB_FIRST);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT_BITS);
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, priv->batchPlanemask);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix << 16 | UNAME(RasterOps)[GXnoop]);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, priv->batchFg);
    m64Out(priv, SRC_Y_X, 0);

    const teskPendingGlyph *pending = (const teskPendingGlyph *)priv->pending;
    for (int i = 0; i < priv->pendingCount; i++) {
        const teskPendingGlyph *p = &pending[i];
        /* An empty box draws nothing; the glyphs after it still do. */
        if (p->x2 <= p->x1 || p->y2 <= p->y1)
            continue;
        uint32_t size = (uint32_t)(p->x2 - p->x1) << 16 | (uint32_t)(p->y2 - p->y1);
        FifoSpaceWait(priv, 4);
        m64Out(priv, SRC_OFF_PITCH,
               LNAME(CellOffsetWord)(priv, (int)(p->cellPos & 0xFFFF), (int)(p->cellPos >> 16)));
        m64Out(priv, SRC_HEIGHT1_WIDTH1, size);
        m64OutDstYX(priv, (uint32_t)(uint16_t)p->x1 << 16 | (uint32_t)(uint16_t)p->y1);
        m64Out(priv, DST_HEIGHT_WIDTH, size);
    }
    UNAME(ResetFromExpansion)(priv);
    priv->pendingCount = 0;
    LNAME(CheckedWait)(priv, "Leave Flush Glyphs");
}

void UNAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                           nfbFontPrivPtr font, DrawablePtr pDraw) {
    WinOps *ops = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
    DrawMonoImageProc drawNow = ops->DrawMonoImage;
    UNAME(StartGlyphs)(pDraw, fg, alu, planemask);
    for (int i = 0; i < count; i++) {
        MonoGlyphRec *g = &glyphs[i];
        if (!m64StoreGlyph(pDraw, g->bits, g->stride, g->box.x2 - g->box.x1, g->box.y2 - g->box.y1,
                           g, (uintptr_t)font, (uint32_t)g->glyphKey))
            drawNow(&g->box, g->bits, 0, g->stride, fg, alu, planemask, pDraw);
    }
    m64FlushGlyphs(pDraw);
}
