/*
 * pilo: the glyph cache. Each glyph drawn is kept as a 1-bit image in one
 * bit plane of the GlyphArea (planes 1 to 7; plane 0 stages stipples) and
 * drawn from there by a plane-expansion blit. Every plane is cut into cells
 * of one size; a glyph takes a cell of the first plane whose cells hold it
 * and which has one free. Nothing is replaced: a glyph no plane can take is
 * drawn from its bitmap. Cells come back when their font goes and all at
 * once before a mode set clears video memory.
 *
 * The cache's memory is asked for as it is needed; a refused allocation
 * leaves the glyph uncached (drawn from its bitmap) and every list and
 * bucket as it was.
 */
#include "pilo.h"

typedef struct _piloGlPlaneRect {
    uint32_t planeMask;
    int32_t width, height;
} piloGlPlaneRect;

#define PILO_GL_PLANES 7
static const piloGlPlaneRect piloGlPlaneRects[PILO_GL_PLANES] = {
    {0x02, 8, 13},  {0x04, 12, 13}, {0x08, 12, 15}, {0x10, 16, 20},
    {0x20, 16, 24}, {0x40, 20, 30}, {0x80, 20, 30},
};

#define PILO_GL_BUCKETS 4096 /* a power of two: the hash is a mask */
#define PILO_GL_GROW 3

/* The foreground of a glyph written into its cell: all ones, so the cell's
 * plane takes the bitmap as it is. */
#define CELL_FG 0xFFFFFFFFu
#define CELL_BG 0

static piloGlPlaneList **piloGlPlanes(const piloScreenPrivate *priv) {
    return (piloGlPlaneList **)priv->glPlaneLists;
}

static piloGlBucket **piloGlTable(const piloScreenPrivate *priv) {
    return (piloGlBucket **)priv->glBuckets;
}

/* The bucket of a key: the plain sum, masked. Null when the table or the
 * bucket could not be allocated. */
static piloGlBucket *piloGlBucketOf(const piloScreenPrivate *priv, uintptr_t font, int32_t glyph) {
    piloGlBucket **table = piloGlTable(priv);
    if (!table || priv->glBucketCount <= 0)
        return 0;
    const uintptr_t index =
        (font + (uintptr_t)(uint32_t)glyph) & (uintptr_t)(priv->glBucketCount - 1);
    return table[index];
}

static piloGlyphEntry *piloGlFind(const piloScreenPrivate *priv, uintptr_t font, int32_t glyph) {
    piloGlBucket *b = piloGlBucketOf(priv, font, glyph);
    if (!b)
        return 0;
    for (int32_t i = 0; i < b->capacity; i++) {
        piloGlyphEntry *e = &b->entries[i];
        if (e->inUse && e->glyph == glyph && e->font == font)
            return e;
    }
    return 0;
}

/* ---- set-up and tear-down ---- */

/* A plane with its cells on the free list in row order. Cells that cannot
 * be allocated are left out; the list holds those that could. */
static piloGlPlaneList *piloGlNewPlane(const piloScreenPrivate *priv, const piloGlPlaneRect *r) {
    piloGlPlaneList *pl = (piloGlPlaneList *)Xalloc(sizeof(piloGlPlaneList));
    if (!pl)
        return 0;
    pl->used = 0;
    pl->free = 0;
    piloGlyphCell **tail = &pl->free;
    const piloArea *ga = &priv->glyphArea;
    const int across = ga->width / r->width, down = ga->height / r->height;
    for (int j = 0; j < down; j++)
        for (int k = 0; k < across; k++) {
            piloGlyphCell *c = (piloGlyphCell *)Xalloc(sizeof(piloGlyphCell));
            if (!c)
                return pl;
            c->font = 0;
            c->glyph = 0;
            c->x = (int16_t)(ga->x + k * r->width);
            c->y = (int16_t)(ga->y + j * r->height);
            c->next = 0;
            *tail = c;
            tail = &c->next;
        }
    return pl;
}

static piloGlBucket *piloGlNewBucket(void) {
    piloGlBucket *b = (piloGlBucket *)Xalloc(sizeof(piloGlBucket));
    if (!b)
        return 0;
    b->entries = (piloGlyphEntry *)Xalloc(PILO_GL_GROW * sizeof(piloGlyphEntry));
    b->capacity = b->entries ? PILO_GL_GROW : 0;
    for (int32_t i = 0; i < b->capacity; i++)
        b->entries[i].inUse = 0;
    return b;
}

void piloGlCacheInit(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    int count = pScreen->rootDepth - 1;
    if (count > PILO_GL_PLANES)
        count = PILO_GL_PLANES;
    if (count < 0)
        count = 0;
    priv->glPlaneCount = 0;
    piloGlPlaneList **planes = (piloGlPlaneList **)Xalloc((uint32_t)(count > 0 ? count : 1) *
                                                          (uint32_t)sizeof(piloGlPlaneList *));
    priv->glPlaneLists = planes;
    if (planes) {
        for (int i = 0; i < count; i++)
            planes[i] = piloGlNewPlane(priv, &piloGlPlaneRects[i]);
        priv->glPlaneCount = count;
    }

    priv->glBucketGrow = PILO_GL_GROW;
    priv->glBucketCount = PILO_GL_BUCKETS;
    piloGlBucket **table =
        (piloGlBucket **)Xalloc(PILO_GL_BUCKETS * (uint32_t)sizeof(piloGlBucket *));
    priv->glBuckets = table;
    if (table)
        for (int i = 0; i < PILO_GL_BUCKETS; i++)
            table[i] = piloGlNewBucket();
}

static void piloGlFreeCells(piloGlyphCell *c) {
    while (c) {
        piloGlyphCell *next = c->next;
        Xfree(c);
        c = next;
    }
}

void piloGlCacheClose(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (!priv)
        return;
    piloGlBucket **table = piloGlTable(priv);
    if (table) {
        for (int i = 0; i < priv->glBucketCount; i++)
            if (table[i]) {
                Xfree(table[i]->entries);
                Xfree(table[i]);
            }
        Xfree(table);
    }
    priv->glBuckets = 0;
    piloGlPlaneList **planes = piloGlPlanes(priv);
    if (planes) {
        for (int i = 0; i < priv->glPlaneCount; i++)
            if (planes[i]) {
                piloGlFreeCells(planes[i]->used);
                piloGlFreeCells(planes[i]->free);
                Xfree(planes[i]);
            }
        Xfree(planes);
    }
    priv->glPlaneLists = 0;
    priv->glPlaneCount = 0;
}

/* ---- entries ---- */

/* The first free entry of a bucket, the bucket grown when it has none.
 * Null when it cannot grow; the bucket is then as it was. */
static piloGlyphEntry *piloGlFreeEntry(const piloScreenPrivate *priv, piloGlBucket *b) {
    for (int32_t i = 0; i < b->capacity; i++)
        if (!b->entries[i].inUse)
            return &b->entries[i];
    const int32_t grown = b->capacity + priv->glBucketGrow;
    piloGlyphEntry *entries =
        (piloGlyphEntry *)Xrealloc(b->entries, (uint32_t)grown * (uint32_t)sizeof(piloGlyphEntry));
    if (!entries)
        return 0;
    for (int32_t i = b->capacity; i < grown; i++)
        entries[i].inUse = 0;
    piloGlyphEntry *first = &entries[b->capacity];
    b->entries = entries;
    b->capacity = grown;
    return first;
}

Bool piloGlAddCacheEntry(ScreenPtr pScreen, uintptr_t font, int32_t glyph, int width, int height,
                         piloGlCellPos *out) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    piloGlPlaneList **planes = piloGlPlanes(priv);
    if (!planes)
        return 0;
    int i = 0;
    for (; i < priv->glPlaneCount; i++) {
        const piloGlPlaneRect *r = &piloGlPlaneRects[i];
        if (planes[i] && planes[i]->free && r->width >= width && r->height >= height)
            break;
    }
    if (i == priv->glPlaneCount)
        return 0;
    piloGlBucket *b = piloGlBucketOf(priv, font, glyph);
    piloGlyphEntry *e = b ? piloGlFreeEntry(priv, b) : 0;
    if (!e)
        return 0;

    piloGlPlaneList *pl = planes[i];
    piloGlyphCell *cell = pl->free;
    pl->free = cell->next;
    cell->next = pl->used;
    pl->used = cell;
    cell->font = font;
    cell->glyph = glyph;

    e->inUse = 1;
    e->planeMask = piloGlPlaneRects[i].planeMask;
    e->font = font;
    e->glyph = glyph;
    e->x = cell->x;
    e->y = cell->y;
    out->planeMask = e->planeMask;
    out->x = e->x;
    out->y = e->y;
    return 1;
}

void piloGlDeleteCacheEntry(ScreenPtr pScreen, uintptr_t font, int32_t glyph) {
    piloGlyphEntry *e = piloGlFind(PILO_PRIV(pScreen), font, glyph);
    if (e)
        e->inUse = 0;
}

/* The cell leaves the used list (at `link`) for the head of the free list. */
static void piloGlReleaseCell(ScreenPtr pScreen, piloGlPlaneList *pl, piloGlyphCell **link) {
    piloGlyphCell *c = *link;
    piloGlDeleteCacheEntry(pScreen, c->font, c->glyph);
    *link = c->next;
    c->next = pl->free;
    pl->free = c;
}

void piloGlClearCache(nfbFontPrivPtr font, ScreenPtr pScreen) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    if (!priv)
        return;
    piloGlPlaneList **planes = piloGlPlanes(priv);
    const uintptr_t key = (uintptr_t)font;
    for (int i = 0; planes && i < priv->glPlaneCount; i++) {
        if (!planes[i])
            continue;
        piloGlyphCell **link = &planes[i]->used;
        while (*link)
            if ((*link)->font == key)
                piloGlReleaseCell(pScreen, planes[i], link);
            else
                link = &(*link)->next;
    }
}

void piloGlFlushCache(ScreenPtr pScreen) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    if (!priv)
        return;
    piloGlPlaneList **planes = piloGlPlanes(priv);
    for (int i = 0; planes && i < priv->glPlaneCount; i++)
        while (planes[i] && planes[i]->used)
            piloGlReleaseCell(pScreen, planes[i], &planes[i]->used);
}

/* ---- drawing ---- */

void piloSetupStretchGlyphBlit(int code, Pixel fg, uint32_t planemask) {
    FifoSpaceWait(5);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_MULTI, PIXCNTL_MEMORY_BITS);
    piloOut(PILO_BG_MIX, MIX_KEEP);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg);
}

void piloStretchGlyphBlit(int cellX, int cellY, int x, int y, int wm1, int hm1, uint32_t plane,
                          uint16_t command) {
    FifoSpaceWait(8);
    piloOut(PILO_READ_MASK, plane);
    piloOutPos(PILO_CUR_X, cellX);
    piloOutPos(PILO_CUR_Y, cellY);
    piloOutPos(PILO_DEST_X, x);
    piloOutPos(PILO_DEST_Y, y);
    piloOut(PILO_MAJ_AXIS, (uint32_t)wm1);
    piloOutMulti(MULTI_HEIGHT, hm1);
    piloOut(PILO_CMD, command);
}

/* How a glyph is drawn: from a cell it already had, from a cell it was just
 * written into (the write replaced the engine's expansion state), or from
 * its bitmap. */
enum { GLYPH_UNCACHED, GLYPH_CACHED, GLYPH_NEWLY_CACHED };

typedef void (*piloCellWriteProc)(BoxPtr, uint8_t *, int, int, Pixel, Pixel, int, uint32_t,
                                  DrawablePtr);

static int piloGlCellFor(DrawablePtr pDraw, uintptr_t font, const MonoGlyphRec *g, int w, int h,
                         piloCellWriteProc write, piloGlCellPos *cell) {
    /* Without a font no key tells one font's glyph from another's. */
    if (!font)
        return GLYPH_UNCACHED;
    ScreenPtr pScreen = pDraw->pScreen;
    const piloGlyphEntry *e = piloGlFind(PILO_PRIV(pScreen), font, g->glyphKey);
    if (e) {
        cell->planeMask = e->planeMask;
        cell->x = e->x;
        cell->y = e->y;
        return GLYPH_CACHED;
    }
    if (!piloGlAddCacheEntry(pScreen, font, g->glyphKey, w, h, cell))
        return GLYPH_UNCACHED;
    BoxRec box = {cell->x, cell->y, (int16_t)(cell->x + w), (int16_t)(cell->y + h)};
    write(&box, g->bits, 0, g->stride, CELL_FG, CELL_BG, GXcopy, cell->planeMask, pDraw);
    return GLYPH_NEWLY_CACHED;
}

static int piloGlyphEmpty(const MonoGlyphRec *g) {
    return g->box.x2 <= g->box.x1 || g->box.y2 <= g->box.y1;
}

void piloDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                        nfbFontPrivPtr font, DrawablePtr pDraw) {
    const int code = piloRasterOps[alu & 0xF];
    fg &= 0xFF;
    planemask &= 0xFF;
    piloSetupStretchGlyphBlit(code, fg, planemask);
    for (int i = 0; i < count; i++) {
        MonoGlyphRec *g = &glyphs[i];
        if (piloGlyphEmpty(g))
            continue;
        const int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        piloGlCellPos cell;
        switch (piloGlCellFor(pDraw, (uintptr_t)font, g, w, h, piloDrawOpaqueMonoImage, &cell)) {
        case GLYPH_UNCACHED:
            piloDrawMonoImage(&g->box, g->bits, 0, g->stride, fg, alu, planemask, pDraw);
            piloSetupStretchGlyphBlit(code, fg, planemask);
            continue;
        case GLYPH_NEWLY_CACHED:
            piloSetupStretchGlyphBlit(code, fg, planemask);
            break;
        default:
            break;
        }
        piloStretchGlyphBlit(cell.x, cell.y, g->box.x1, g->box.y1, w - 1, h - 1, cell.planeMask,
                             CMD_BLIT);
    }
}

/* Depth 16: each glyph expanded from its cell into both byte halves, the
 * set-up issued for each half. */
void piloDrawMonoGlyphs16(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    const int code = piloRasterOps[alu & 0xF];
    const Pixel fgLow = fg & 0xFF, fgHigh = (fg >> 8) & 0xFF;
    const uint32_t pmLow = planemask & 0xFF, pmHigh = (planemask >> 8) & 0xFF;
    for (int i = 0; i < count; i++) {
        MonoGlyphRec *g = &glyphs[i];
        if (piloGlyphEmpty(g))
            continue;
        const int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        piloGlCellPos cell;
        if (piloGlCellFor(pDraw, (uintptr_t)font, g, w, h, piloDrawOpaqueMonoImage16, &cell) ==
            GLYPH_UNCACHED) {
            piloDrawMonoImage16(&g->box, g->bits, 0, g->stride, fg, alu, planemask, pDraw);
            continue;
        }
        piloSetupStretchGlyphBlit(code, fgLow, pmLow);
        piloStretchGlyphBlit(cell.x, cell.y, g->box.x1, g->box.y1, w - 1, h - 1, cell.planeMask,
                             CMD_BLIT);
        piloSetupStretchGlyphBlit(code, fgHigh, pmHigh);
        piloStretchGlyphBlit(cell.x, cell.y, g->box.x1 + BYTE_HALF, g->box.y1, w - 1, h - 1,
                             cell.planeMask, CMD_BLIT);
    }
}
