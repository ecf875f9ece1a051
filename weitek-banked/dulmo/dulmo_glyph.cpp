/*
 * dulmo: monochrome images and glyphs by colour expansion, and the
 * off-screen glyph cache: glyph bits kept in video memory and blitted from
 * there, the blits of one drawing call collected in a queue.
 */
#include "dulmo.h"

#define GLYPH_BUCKETS 3072
#define GLYPH_ENTRIES 1024
#define GLYPH_QUEUE 256
#define GLYPH_MAX 32
#define GLYPH_BIT_BASE 0x600000u
#define GLYPH_BIT_STEP 0x400u
#define GLYPH_ROW_BYTES 4
/* The cache's bytes in video memory: 1024 entries of 32 rows of 4 bytes. */
#define GLYPH_AREA_START 0xC0000u
#define GLYPH_AREA_END 0xE0000u

typedef struct _dulmoGlyphEntry {
    uint8_t inUse;
    uint8_t queued;
    uint32_t bitAddress;
    struct _dulmoGlyphEntry *next;
    struct _dulmoGlyphEntry **backLink;
    uint16_t height, width;
    uint32_t font;
    uint32_t glyphKey;
} dulmoGlyphEntry;

typedef struct {
    int16_t x, y;
    dulmoGlyphEntry *entry;
} dulmoGlyphQueueItem;

static dulmoGlyphQueueItem glyph_queue[GLYPH_QUEUE];
static int cur_glyph_queue_entry = 0;
static dulmoScreenPrivPtr dulmoGlyphCacheScrPriv = 0;

static uint32_t GlyphKeyHash(uint32_t font, uint32_t key) {
    uint32_t a = font * 0x1FAD500u, b = key * 0x1FAD5u;
    return ((a >> 14) + (b >> 14)) % GLYPH_BUCKETS;
}

/* The font private as the cache keys it: its 32-bit address on the target. */
static uint32_t dulmoFontKey(nfbFontPrivPtr font) {
    return (uint32_t)(uintptr_t)font;
}

static void dulmoExpandSetup(dulmoScreenPrivPtr p, uint8_t mode, Pixel fg, int alu,
                             uint32_t planemask) {
    dulmoSelect(p);
    dulmoWaitIfBusy(p);
    dulmoStatusSetup(1);
    dulmoSetGR(GR_OP_MODE, mode);
    ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    dulmoSetGR(GR_FG, (uint8_t)fg);
}

static void dulmoMonoImage(dulmoScreenPrivPtr p, BoxPtr pBox, uint8_t *bits, int startBit,
                           int stride) {
    int w = pBox->x2 - pBox->x1, h = pBox->y2 - pBox->y1;
    /* An empty box starts nothing: the bytes of its start bits would land
     * in video memory as plain writes once the board has no operation. */
    if (w <= 0 || h <= 0)
        return;
    bits += startBit / 8;
    startBit &= 7;
    ioOut16(DULMO_SRC_X, (uint16_t)startBit);
    ioOut16(DULMO_WIDTH, (uint16_t)w);
    ioOut16(DULMO_HEIGHT, (uint16_t)h);
    ioOut16(DULMO_DST_X, (uint16_t)pBox->x1);
    ioOut16(DULMO_DST_Y, (uint16_t)pBox->y1);
    ioOut8(DULMO_BLT_MODE, BLT_EXPAND);
    ioOut8(DULMO_CONTROL, START_FORWARD);
    int rowBytes = (w + startBit + 7) / 8;
    for (int row = 0; row < h; row++, bits += stride)
        for (int i = 0; i < rowBytes; i++)
            mmWrite8(p->apertureBase, ddxBitSwap[bits[i]]);
    p->engineBusy = 1;
}

void dulmoDrawMonoImage(BoxPtr pBox, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoExpandSetup(p, OP_EXPAND, fg, alu, planemask);
    dulmoMonoImage(p, pBox, bits, startBit, stride);
}

void dulmoDrawOpaqueMonoImage(BoxPtr pBox, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoExpandSetup(p, OP_PROCESSOR, fg, alu, planemask);
    dulmoSetGR(GR_BG, (uint8_t)bg);
    dulmoMonoImage(p, pBox, bits, startBit, stride);
}

void dulmoUncachedDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu,
                                 uint32_t planemask, nfbFontPrivPtr font, DrawablePtr pDraw) {
    (void)font;
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoExpandSetup(p, OP_EXPAND, fg, alu, planemask);
    ioOut16(DULMO_SRC_X, 0);
    ioOut8(DULMO_BLT_MODE, BLT_EXPAND);
    int lastW = -1, lastH = -1, lastY = -1;
    for (int g = 0; g < count; g++) {
        MonoGlyphRec *gl = &glyphs[g];
        int w = gl->box.x2 - gl->box.x1, h = gl->box.y2 - gl->box.y1;
        if (w <= 0 || h <= 0)
            continue;
        dulmoEngineIdleWait();
        if (h != lastH) {
            ioOut16(DULMO_HEIGHT, (uint16_t)h);
            lastH = h;
        }
        if (w != lastW) {
            ioOut16(DULMO_WIDTH, (uint16_t)w);
            lastW = w;
        }
        ioOut16(DULMO_DST_X, (uint16_t)gl->box.x1);
        if (gl->box.y1 != lastY) {
            ioOut16(DULMO_DST_Y, (uint16_t)gl->box.y1);
            lastY = gl->box.y1;
        }
        ioOut8(DULMO_CONTROL, START_FORWARD);
        /* The board takes exactly the bytes a row of the glyph covers. */
        int rowBytes = ((w - 1) >> 3) + 1;
        const uint8_t *bits = gl->bits;
        for (int row = 0; row < h; row++, bits += gl->stride)
            for (int i = 0; i < rowBytes; i++)
                mmWrite8(p->apertureBase, ddxBitSwap[bits[i]]);
    }
    p->engineBusy = 1;
}

/* ---- The glyph cache ---- */

static void dulmoFlushGlyphQueue(void) {
    if (cur_glyph_queue_entry == 0)
        return;
    dulmoScreenPrivPtr p = dulmoGlyphCacheScrPriv;
    dulmoWaitIfBusy(p);
    dulmoStatusSetup(1);
    dulmoSetGR(GR_OP_MODE, OP_EXPAND_MEMORY);
    ioOut8(DULMO_BLT_MODE, BLT_EXPAND);
    ioOut16(DULMO_GLYPH_BLIT, 1);
    for (int i = 0; i < cur_glyph_queue_entry; i++) {
        dulmoGlyphEntry *e = glyph_queue[i].entry;
        e->queued = 0;
        dulmoSquirt(e->bitAddress, e->height, e->width, glyph_queue[i].x, glyph_queue[i].y);
        dulmoWaitDone();
    }
    cur_glyph_queue_entry = 0;
    p->gr10Pending = 1;
    p->engineBusy = 1;
}

static void dulmoQueueGlyph(dulmoGlyphEntry *e, int x, int y) {
    if (cur_glyph_queue_entry == GLYPH_QUEUE)
        dulmoFlushGlyphQueue();
    e->queued = 1;
    glyph_queue[cur_glyph_queue_entry].entry = e;
    glyph_queue[cur_glyph_queue_entry].x = (int16_t)x;
    glyph_queue[cur_glyph_queue_entry].y = (int16_t)y;
    cur_glyph_queue_entry++;
}

static void dulmoResetEntries(dulmoScreenPrivPtr p) {
    for (int i = 0; i < GLYPH_BUCKETS; i++)
        p->glyphBuckets[i] = 0;
    for (int k = 0; k < GLYPH_ENTRIES; k++) {
        dulmoGlyphEntry *e = &p->glyphEntries[k];
        memset(e, 0, sizeof *e);
        e->bitAddress = GLYPH_BIT_BASE + (uint32_t)k * GLYPH_BIT_STEP;
    }
    p->glyphNext = 0;
}

Bool dulmoInitGlyphCache(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    /* The cache lives past the visible screen, inside the area the
     * processor reaches. */
    if ((uint64_t)p->pixHeight * (uint64_t)p->pitch > GLYPH_AREA_START ||
        p->apertureLength < GLYPH_AREA_END)
        return 0;
    p->glyphBuckets =
        (dulmoGlyphEntry **)Xalloc((uint32_t)(GLYPH_BUCKETS * sizeof(dulmoGlyphEntry *)));
    p->glyphEntries =
        (dulmoGlyphEntry *)Xalloc((uint32_t)(GLYPH_ENTRIES * sizeof(dulmoGlyphEntry)));
    if (!p->glyphBuckets || !p->glyphEntries) {
        Xfree(p->glyphBuckets);
        Xfree(p->glyphEntries);
        p->glyphBuckets = 0;
        p->glyphEntries = 0;
        return 0;
    }
    dulmoResetEntries(p);
    return 1;
}

void dulmoFreeGlyphCache(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    if (dulmoGlyphCacheScrPriv == p) {
        cur_glyph_queue_entry = 0;
        dulmoGlyphCacheScrPriv = 0;
    }
    Xfree(p->glyphBuckets);
    Xfree(p->glyphEntries);
    p->glyphBuckets = 0;
    p->glyphEntries = 0;
}

void dulmoInvalidateGlyphCache(dulmoScreenPrivPtr p) {
    if (p->glyphBuckets && p->glyphEntries)
        dulmoResetEntries(p);
}

static void dulmoUnlink(dulmoGlyphEntry *e) {
    *e->backLink = e->next;
    if (e->next)
        e->next->backLink = e->backLink;
    e->next = 0;
    e->backLink = 0;
}

void dulmoGlyphCacheClearFont(nfbFontPrivPtr font, ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    uint32_t key = dulmoFontKey(font);
    for (int k = 0; k < GLYPH_ENTRIES; k++) {
        dulmoGlyphEntry *e = &p->glyphEntries[k];
        if (e->inUse && e->font == key) {
            dulmoUnlink(e);
            e->inUse = 0;
        }
    }
}

static dulmoGlyphEntry *dulmoAddGlyphToCache(dulmoScreenPrivPtr p, uint32_t font, uint32_t key) {
    dulmoGlyphEntry *e = &p->glyphEntries[p->glyphNext];
    if (e->inUse && e->queued)
        return 0;
    if (e->inUse)
        dulmoUnlink(e);
    e->inUse = 1;
    e->queued = 0;
    dulmoGlyphEntry **head = &p->glyphBuckets[GlyphKeyHash(font, key)];
    e->next = *head;
    if (e->next)
        e->next->backLink = &e->next;
    e->backLink = head;
    *head = e;
    p->glyphNext = p->glyphNext == GLYPH_ENTRIES - 1 ? 0 : p->glyphNext + 1;
    return e;
}

static void dulmoDrawOffScreenGlyph(dulmoScreenPrivPtr p, uint32_t bitAddress, int height,
                                    int width, MonoGlyphRec *gl) {
    dulmoTakeFrameBuffer(p);
    dulmoStatusSetup(0);
    dulmoSetGR(GR_OP_MODE, OP_LOAD_GLYPH);
    int rowBytes = ((width - 1) >> 3) + 1;
    uint8_t *dst = p->apertureBase + bitAddress / 8;
    const uint8_t *bits = gl->bits;
    for (int row = 0; row < height; row++, bits += gl->stride)
        for (int i = 0; i < rowBytes; i++)
            mmWrite8(dst + GLYPH_ROW_BYTES * row + i, bits[i]);
}

static int dulmoTryToCacheAndHandleGlyph(dulmoScreenPrivPtr p, MonoGlyphRec *gl, uint32_t font,
                                         uint32_t key) {
    int w = gl->box.x2 - gl->box.x1, h = gl->box.y2 - gl->box.y1;
    if (w <= 0 || h <= 0 || w > GLYPH_MAX || h > GLYPH_MAX)
        return 0;
    dulmoGlyphEntry *e = dulmoAddGlyphToCache(p, font, key);
    if (!e)
        return 0;
    e->width = (uint16_t)w;
    e->height = (uint16_t)h;
    e->font = font;
    e->glyphKey = key;
    dulmoDrawOffScreenGlyph(p, e->bitAddress, h, w, gl);
    dulmoQueueGlyph(e, gl->box.x1, gl->box.y1);
    return 1;
}

void dulmoCachedDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu,
                               uint32_t planemask, nfbFontPrivPtr font, DrawablePtr pDraw) {
    /* Without a font no key tells one font's glyph from another's: such
     * glyphs are drawn uncached. */
    if (!font) {
        dulmoUncachedDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    uint32_t fontKey = dulmoFontKey(font);
    dulmoSelect(p);
    dulmoGlyphCacheScrPriv = p;
    dulmoWaitIfBusy(p);
    dulmoSetGR(GR_FG, (uint8_t)fg);
    ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    for (int g = 0; g < count; g++) {
        MonoGlyphRec *gl = &glyphs[g];
        uint32_t key = (uint32_t)gl->glyphKey;
        dulmoGlyphEntry *e = p->glyphBuckets[GlyphKeyHash(fontKey, key)];
        while (e && !(e->font == fontKey && e->glyphKey == key))
            e = e->next;
        if (e) {
            dulmoQueueGlyph(e, gl->box.x1, gl->box.y1);
        } else if (!dulmoTryToCacheAndHandleGlyph(p, gl, fontKey, key)) {
            dulmoUncachedDrawMonoGlyphs(gl, 1, fg, alu, planemask, font, pDraw);
        }
    }
    dulmoFlushGlyphQueue();
}
