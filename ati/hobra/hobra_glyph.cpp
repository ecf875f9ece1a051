/*
 * hobra: the glyph cache in planes 1 and 2 of the planeArea, and the glyph
 * batch. A glyph is written into a cell of one plane once (foreground all
 * ones, background 0, the plane as write mask) and painted from there by a
 * plane-expansion blit as often as it is drawn. The two planes are cut into
 * cells of two sizes, tried in order; nothing is ever evicted, so a glyph no
 * cell can take is drawn at once from its bitmap. The cells come back when
 * their font goes (ClearFont) and all at once before the console takes the
 * adapter, which may overwrite video memory.
 *
 * A refused allocation counts as a full cache: the glyph is drawn from its
 * bitmap and every list and bucket stays as it was.
 */
#include "hobra.h"

/* A cell of one class, on its class's used or free list. */
typedef struct _hobraGlyphCell {
    nfbFontPrivPtr font; /* the font key: the font's private */
    int32_t glyph;
    int32_t cellPos; /* cell x in the low 16 bits, y in the high 16 */
    struct _hobraGlyphCell *next;
} hobraGlyphCell;

/* A class's lists; its cells follow the record in the same block. */
typedef struct _hobraGlyphClass {
    hobraGlyphCell *cellUsedList;
    hobraGlyphCell *cellFreeList;
} hobraGlyphClass;

typedef struct _hobraCacheEntry {
    int32_t used;
    int32_t readMask;
    nfbFontPrivPtr font;
    int32_t glyph;
    int32_t cellPos;
} hobraCacheEntry;

typedef struct _hobraCacheBucket {
    hobraCacheEntry *entries;
    int32_t size;
} hobraCacheBucket;

#if defined(__i386__)
static_assert(sizeof(hobraGlyphCell) == 16, "a cell is four words");
static_assert(sizeof(hobraGlyphClass) == 8, "a class is two words");
static_assert(sizeof(hobraCacheEntry) == 20, "an entry is five words");
static_assert(sizeof(hobraCacheBucket) == 8, "a bucket is two words");
static_assert(sizeof(hobraPendingGlyph) == 16, "a pending glyph is four words");
#endif

/* The cell classes, in the order they are tried: the plane a class lives
 * in, its masks and its cell size. */
typedef struct _hobraGlPlaneRect {
    int32_t plane;
    uint32_t writeMask, readMask;
    int32_t width, height;
} hobraGlPlaneRect;

#define HOBRA_GL_CLASSES 2
static const hobraGlPlaneRect hobraGlPlaneRects[HOBRA_GL_CLASSES] = {
    {1, 0x02, 0x04, 12, 15},
    {2, 0x04, 0x08, 16, 24},
};

#define HOBRA_GL_BUCKETS 1024
#define HOBRA_GL_GROWTH 3

/* A glyph written into its cell: all ones, so the plane takes the bitmap
 * as it is. */
#define CELL_FG 0xFFFFFFFFu
#define CELL_BG 0

static int32_t hobraCellPos(int x, int y) {
    return (int32_t)(((uint32_t)y << 16) | ((uint32_t)x & 0xFFFF));
}
static int hobraCellX(int32_t cellPos) {
    return (int16_t)((uint32_t)cellPos & 0xFFFF);
}
static int hobraCellY(int32_t cellPos) {
    return (int16_t)((uint32_t)cellPos >> 16);
}

static hobraGlyphClass **hobraGlClasses(const hobraScreenPrivate *priv) {
    return (hobraGlyphClass **)priv->glClasses;
}

static hobraCacheBucket *hobraGlBuckets(const hobraScreenPrivate *priv) {
    return (hobraCacheBucket *)priv->buckets;
}

static hobraGlyphCell *hobraClassCells(hobraGlyphClass *cls) {
    return (hobraGlyphCell *)(cls + 1);
}

/* GlyphKeyHash: the font key counts as the low 32 bits of its address. */
static uint32_t hobraGlyphKeyHash(const hobraScreenPrivate *priv, nfbFontPrivPtr font,
                                  int32_t glyph) {
    const uint32_t f = (uint32_t)(uintptr_t)font, g = (uint32_t)glyph;
    const uint32_t h = ((f * 0x1FAD500u) >> 14) + ((g * 0x1FAD5u) >> 14);
    return h % (uint32_t)priv->bucketCount;
}

/* The bucket of a key; null while the cache has no table. */
static hobraCacheBucket *hobraGlBucketOf(const hobraScreenPrivate *priv, nfbFontPrivPtr font,
                                         int32_t glyph) {
    hobraCacheBucket *table = hobraGlBuckets(priv);
    if (!table || priv->bucketCount <= 0)
        return 0;
    return &table[hobraGlyphKeyHash(priv, font, glyph)];
}

static hobraCacheEntry *hobraGlFind(const hobraScreenPrivate *priv, nfbFontPrivPtr font,
                                    int32_t glyph) {
    hobraCacheBucket *b = hobraGlBucketOf(priv, font, glyph);
    if (!b)
        return 0;
    for (int32_t i = 0; i < b->size; i++) {
        hobraCacheEntry *e = &b->entries[i];
        if (e->used && e->glyph == glyph && e->font == font)
            return e;
    }
    return 0;
}

/* ---- set-up and tear-down ---- */

/* A class over the whole planeArea, its cells on the free list in row
 * order from the area's corner. */
static hobraGlyphClass *hobraGlNewClass(const hobraScreenPrivate *priv, const hobraGlPlaneRect *r) {
    const hobraRect *pa = &priv->planeArea;
    const int across = pa->width / r->width, down = pa->height / r->height;
    const int count = across > 0 && down > 0 ? across * down : 0;
    hobraGlyphClass *cls = (hobraGlyphClass *)Xalloc(
        (uint32_t)(sizeof(hobraGlyphClass) + (uint32_t)count * sizeof(hobraGlyphCell)));
    if (!cls)
        return 0;
    cls->cellUsedList = 0;
    cls->cellFreeList = 0;
    hobraGlyphCell *cells = hobraClassCells(cls);
    for (int i = count - 1; i >= 0; i--) {
        hobraGlyphCell *c = &cells[i];
        c->font = 0;
        c->glyph = 0;
        c->cellPos =
            hobraCellPos(pa->x + (i % across) * r->width, pa->y + (i / across) * r->height);
        c->next = cls->cellFreeList;
        cls->cellFreeList = c;
    }
    return cls;
}

Bool hobraGlCacheInit(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    priv->glClassTotal = HOBRA_GL_CLASSES;
    hobraGlyphClass **classes =
        (hobraGlyphClass **)Xalloc((uint32_t)(HOBRA_GL_CLASSES * sizeof(hobraGlyphClass *)));
    priv->glClasses = classes;
    if (!classes)
        return 0;
    for (int i = 0; i < HOBRA_GL_CLASSES; i++)
        classes[i] = 0;
    for (int i = 0; i < HOBRA_GL_CLASSES; i++)
        if (!(classes[i] = hobraGlNewClass(priv, &hobraGlPlaneRects[i])))
            return 0;

    priv->bucketGrowth = HOBRA_GL_GROWTH;
    priv->bucketCount = HOBRA_GL_BUCKETS;
    hobraCacheBucket *table =
        (hobraCacheBucket *)Xalloc((uint32_t)(HOBRA_GL_BUCKETS * sizeof(hobraCacheBucket)));
    priv->buckets = table;
    if (!table)
        return 0;
    for (int i = 0; i < HOBRA_GL_BUCKETS; i++) {
        table[i].entries = 0;
        table[i].size = 0;
    }
    for (int i = 0; i < HOBRA_GL_BUCKETS; i++) {
        hobraCacheEntry *e =
            (hobraCacheEntry *)Xalloc((uint32_t)(HOBRA_GL_GROWTH * sizeof(hobraCacheEntry)));
        if (!e)
            return 0;
        for (int k = 0; k < HOBRA_GL_GROWTH; k++)
            e[k].used = 0;
        table[i].entries = e;
        table[i].size = HOBRA_GL_GROWTH;
    }
    return 1;
}

/* Frees whatever part of the cache exists; safe on a private whose cache
 * was never or only partly set up. */
void hobraGlCacheClose(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if (!priv)
        return;
    hobraCacheBucket *table = hobraGlBuckets(priv);
    if (table) {
        for (int i = 0; i < priv->bucketCount; i++)
            Xfree(table[i].entries);
        Xfree(table);
    }
    priv->buckets = 0;
    priv->bucketCount = 0;
    hobraGlyphClass **classes = hobraGlClasses(priv);
    if (classes) {
        for (int i = 0; i < priv->glClassTotal; i++)
            Xfree(classes[i]);
        Xfree(classes);
    }
    priv->glClasses = 0;
    priv->glClassTotal = 0;
}

/* ---- entries ---- */

int hobraGlReadCacheEntry(ScreenPtr pScreen, nfbFontPrivPtr font, int32_t glyph,
                          hobraGlyphPlace *out) {
    const hobraCacheEntry *e = hobraGlFind(HOBRA_PRIV(pScreen), font, glyph);
    if (!e)
        return 0;
    out->readMask = e->readMask;
    out->cellPos = e->cellPos;
    return 1;
}

/* The first free entry of a bucket, the bucket grown when it has none;
 * null when it cannot grow (the bucket is then as it was). */
static hobraCacheEntry *hobraGlFreeEntry(const hobraScreenPrivate *priv, hobraCacheBucket *b) {
    for (int32_t i = 0; i < b->size; i++)
        if (!b->entries[i].used)
            return &b->entries[i];
    const int32_t grown = b->size + priv->bucketGrowth;
    hobraCacheEntry *entries = (hobraCacheEntry *)Xrealloc(
        b->entries, (uint32_t)grown * (uint32_t)sizeof(hobraCacheEntry));
    if (!entries)
        return 0;
    for (int32_t i = b->size; i < grown; i++)
        entries[i].used = 0;
    hobraCacheEntry *first = &entries[b->size];
    b->entries = entries;
    b->size = grown;
    return first;
}

/* The caller has looked the glyph up: no duplicate test is made. */
int hobraGlAddCacheEntry(ScreenPtr pScreen, nfbFontPrivPtr font, int32_t glyph, int width,
                         int height, hobraGlyphPlace *out) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pScreen);
    hobraGlyphClass **classes = hobraGlClasses(priv);
    if (!classes)
        return 0;
    int k = 0;
    for (; k < priv->glClassTotal; k++) {
        const hobraGlPlaneRect *r = &hobraGlPlaneRects[k];
        if (classes[k] && classes[k]->cellFreeList && r->width >= width && r->height >= height)
            break;
    }
    if (k == priv->glClassTotal)
        return 0;
    hobraCacheBucket *b = hobraGlBucketOf(priv, font, glyph);
    hobraCacheEntry *e = b ? hobraGlFreeEntry(priv, b) : 0;
    if (!e)
        return 0;

    hobraGlyphClass *cls = classes[k];
    hobraGlyphCell *cell = cls->cellFreeList;
    cls->cellFreeList = cell->next;
    cell->next = cls->cellUsedList;
    cls->cellUsedList = cell;
    cell->font = font;
    cell->glyph = glyph;

    e->used = 1;
    e->readMask = (int32_t)hobraGlPlaneRects[k].readMask;
    e->font = font;
    e->glyph = glyph;
    e->cellPos = cell->cellPos;
    out->cellPos = e->cellPos;
    out->readMask = e->readMask;
    out->writeMask = (int32_t)hobraGlPlaneRects[k].writeMask;
    return 1;
}

void hobraGlDeleteCacheEntry(ScreenPtr pScreen, nfbFontPrivPtr font, int32_t glyph) {
    hobraCacheEntry *e = hobraGlFind(HOBRA_PRIV(pScreen), font, glyph);
    if (e)
        e->used = 0;
}

/* The used cell at `link` goes to the head of its class's free list. */
static void hobraGlReleaseCell(ScreenPtr pScreen, hobraGlyphClass *cls, hobraGlyphCell **link) {
    hobraGlyphCell *c = *link;
    hobraGlDeleteCacheEntry(pScreen, c->font, c->glyph);
    *link = c->next;
    c->next = cls->cellFreeList;
    cls->cellFreeList = c;
}

/* The ClearFont hook: the font's cells are free again. Their pixels stay
 * in the planes; only the bookkeeping changes. */
void hobraGlClearCache(nfbFontPrivPtr font, ScreenPtr pScreen) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pScreen);
    if (!priv)
        return;
    hobraGlyphClass **classes = hobraGlClasses(priv);
    for (int k = 0; classes && k < priv->glClassTotal; k++) {
        if (!classes[k])
            continue;
        hobraGlyphCell **link = &classes[k]->cellUsedList;
        while (*link)
            if ((*link)->font == font)
                hobraGlReleaseCell(pScreen, classes[k], link);
            else
                link = &(*link)->next;
    }
}

void hobraGlFlushCache(ScreenPtr pScreen) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pScreen);
    if (!priv)
        return;
    hobraGlyphClass **classes = hobraGlClasses(priv);
    for (int k = 0; classes && k < priv->glClassTotal; k++)
        while (classes[k] && classes[k]->cellUsedList)
            hobraGlReleaseCell(pScreen, classes[k], &classes[k]->cellUsedList);
}

/* ---- the batch ---- */

/* Every glyph of a call shares the colour, the alu and the write mask; the
 * read mask (the glyph's plane) goes with each blit. */
static void hobraSetupCardForGlyphBlit(Pixel fg, int alu, uint32_t planemask) {
    FifoSpaceWait(6);
    outw(HOBRA_BG_MIX, (uint16_t)hobraRasterOps[GXnoop]);
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND));
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_FG_COLOUR, (uint16_t)fg);
    outw(HOBRA_MULTI, PIXCNTL_MEMORY_BITS);
}

/* Eight registers behind an empty FIFO; the positions go whole. */
static void hobraStretchGlyphBlit(int srcX, int srcY, int dstX, int dstY, int widthLess1,
                                  int heightLess1, uint32_t readMask) {
    while (hobraStatus() & 0xFF)
        ;
    outw(HOBRA_READ_MASK, (uint16_t)readMask);
    outw(HOBRA_CUR_X, (uint16_t)srcX);
    outw(HOBRA_CUR_Y, (uint16_t)srcY);
    outw(HOBRA_DEST_X, (uint16_t)dstX);
    outw(HOBRA_DEST_Y, (uint16_t)dstY);
    outw(HOBRA_MAJ_AXIS, (uint16_t)widthLess1);
    outw(HOBRA_MULTI, (uint16_t)(MULTI_HEIGHT | (heightLess1 & MULTI_VALUE_MASK)));
    outw(HOBRA_CMD, CMD_BLIT);
}

static void hobraStartGlyphs(hobraScreenPrivate *priv, Pixel fg, int alu, uint32_t planemask) {
    priv->batchFg = fg;
    priv->batchAlu = (uint8_t)alu;
    priv->batchPlanemask = planemask;
}

/* 1 when the glyph is queued (written into a cell first if it was not
 * cached); 0 when no cell can take it or the queue cannot grow. */
static int hobraStoreGlyph(DrawablePtr pDraw, uint8_t *bits, int startBit, int stride, int width,
                           int height, const MonoGlyphRec *g, nfbFontPrivPtr font, int32_t glyph) {
    /* Without a font no key tells one font's glyph from another's. */
    if (!font)
        return 0;
    ScreenPtr pScreen = pDraw->pScreen;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    hobraGlyphPlace place;
    if (!hobraGlReadCacheEntry(pScreen, font, glyph, &place)) {
        if (!hobraGlAddCacheEntry(pScreen, font, glyph, width, height, &place))
            return 0;
        const int x = hobraCellX(place.cellPos), y = hobraCellY(place.cellPos);
        BoxRec cell = {(int16_t)x, (int16_t)y, (int16_t)(x + width), (int16_t)(y + height)};
        BoxRec clip;
        hobraOpenScissors(priv, &clip);
        hobraDrawOpaqueMonoImage(&cell, bits, startBit, stride, CELL_FG, CELL_BG, GXcopy,
                                 (uint32_t)place.writeMask, pDraw);
        hobraCloseScissors(priv, &clip);
    }
    if (priv->pendingCount + 1 >= priv->pendingCapacity) {
        const int32_t capacity = priv->pendingCapacity * 2;
        hobraPendingGlyph *grown = (hobraPendingGlyph *)Xrealloc(
            priv->pending, (uint32_t)capacity * (uint32_t)sizeof(hobraPendingGlyph));
        if (!grown)
            return 0;
        priv->pending = grown;
        priv->pendingCapacity = capacity;
    }
    hobraPendingGlyph *p = &priv->pending[priv->pendingCount++];
    p->cellPos = place.cellPos;
    p->box = g->box;
    p->readMask = place.readMask;
    return 1;
}

static void hobraFlushGlyphs(hobraScreenPrivate *priv) {
    hobraSetupCardForGlyphBlit(priv->batchFg, priv->batchAlu, priv->batchPlanemask);
    for (int32_t i = 0; i < priv->pendingCount; i++) {
        const hobraPendingGlyph *p = &priv->pending[i];
        hobraStretchGlyphBlit(hobraCellX(p->cellPos), hobraCellY(p->cellPos), p->box.x1, p->box.y1,
                              p->box.x2 - p->box.x1 - 1, p->box.y2 - p->box.y1 - 1,
                              (uint32_t)p->readMask);
    }
    priv->pendingCount = 0;
}

/* Glyphs no cell takes are drawn at once through the window's monochrome
 * image slot, so before the cached glyphs of the same call; with one
 * colour and one alu for all of them the order does not show. */
void hobraDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    DrawMonoImageProc direct = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops->DrawMonoImage;
    hobraStartGlyphs(priv, fg, alu & 0xFF, planemask);
    for (int i = 0; i < count; i++) {
        MonoGlyphRec *g = &glyphs[i];
        const int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        /* An empty glyph (a space) would reach the engine as a blit 2048
         * pixels wide. */
        if (w <= 0 || h <= 0)
            continue;
        if (!hobraStoreGlyph(pDraw, g->bits, 0, g->stride, w, h, g, font, g->glyphKey))
            direct(&g->box, g->bits, 0, g->stride, fg, alu, planemask, pDraw);
    }
    hobraFlushGlyphs(priv);
}
