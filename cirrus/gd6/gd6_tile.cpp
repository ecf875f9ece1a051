/*
 * gd6 family: tiled rectangles and stippled fills. The tile, or the stipple
 * expanded into two colours by the processor in the chip's colour-expansion
 * write mode, is put at the origin of the staging area and doubled over it;
 * each box is then copied from the area at the pattern-origin phase, in
 * bands and columns when it is larger than the area.
 */
#include "gd6.h"

/* The staged area: W x H pixels, rows `pitch` bytes apart. */
typedef struct _Gd6Area {
    int width, height;
    int pitch;
} Gd6Area;

static Bool gd6ScreenReplicable(int alu) {
    switch (alu & 0xF) {
    case GXclear:
    case GXcopy:
    case GXcopyInverted:
    case GXset:
        return 1;
    default:
        return 0;
    }
}

static int gd6Gcd(int a, int b) {
    while (b) {
        int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

static int gd6RoundUp(int v, int unit) {
    return (v + unit - 1) / unit * unit;
}

static Bool gd6AreaFits(const gd6ScreenPrivate *priv, int w, int h) {
    return (uint64_t)w * (uint64_t)h * (uint64_t)BPP <= priv->windowSize;
}

/*
 * Picks the staged area for a tile or stipple of tw x th. `unit` is what the
 * area's width must be a multiple of (the tile width; for stipples also a
 * whole number of expanded bytes). The area is at least twice the tile each
 * way, so that a copy from any phase stays inside it and every band and
 * column makes progress; false when no such area fits the window.
 */
static Bool gd6SizeArea(const gd6ScreenPrivate *priv, const BoxRec *boxes, int count, int tw,
                        int th, int unit, Gd6Area *area) {
    int minW = gd6RoundUp(2 * tw, unit), minH = 2 * th;
    if (!gd6AreaFits(priv, minW, minH))
        return 0;
    int W = minW, H = minH;
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        if (w < W || h < H)
            continue;
        if ((uint64_t)w * (uint64_t)h * (uint64_t)BPP < priv->windowSize) {
            W = w;
            H = h;
        } else {
            W = H = (int)priv->chunk;
            break;
        }
    }
    W -= W % unit;
    H -= H % th;
    if (W < minW)
        W = minW;
    if (H < minH)
        H = minH;
    if (!gd6AreaFits(priv, W, H)) {
        W = minW;
        H = minH;
    }
    area->width = W;
    area->height = H;
    area->pitch = W * BPP;
    return 1;
}

static int gd6PhaseOf(int v, int origin, int size) {
    int p = (v - origin) % size;
    return p < 0 ? p + size : p;
}

static DDXPointRec gd6Phase(const BoxRec *box, DDXPointPtr origin, int tw, int th) {
    DDXPointRec p = {(int16_t)gd6PhaseOf(box->x1, origin->x, tw),
                     (int16_t)gd6PhaseOf(box->y1, origin->y, th)};
    return p;
}

/* ---- Bands and columns ---- */

void gd6TileAreaSlowXExpand(BoxPtr band, DDXPointPtr windowPoint, int columnWidth, int alu,
                            int windowPitch, DrawablePtr pDraw) {
    int h = band->y2 - band->y1;
    for (int x = band->x1; x < band->x2; x += columnWidth) {
        int w = band->x2 - x < columnWidth ? band->x2 - x : columnWidth;
        NAME(BlitFromWindow)(pDraw, windowPoint, x, band->y1, w, h, windowPitch, alu);
    }
}

void NAME(TileAreaSlow)(BoxPtr box, DDXPointPtr windowPoint, int bandHeight, int columnWidth,
                        int alu, int windowPitch, DrawablePtr pDraw) {
    for (int y = box->y1; y < box->y2; y += bandHeight) {
        BoxRec band = {box->x1, (int16_t)y, box->x2,
                       (int16_t)(box->y2 - y < bandHeight ? box->y2 : y + bandHeight)};
        gd6TileAreaSlowXExpand(&band, windowPoint, columnWidth, alu, windowPitch, pDraw);
    }
}

void gd6StippleAreaSlowXExpand(BoxPtr band, DDXPointPtr windowPoint, int columnWidth, int alu,
                               int windowPitch, Pixel transparent, DrawablePtr pDraw) {
    int h = band->y2 - band->y1;
    for (int x = band->x1; x < band->x2; x += columnWidth) {
        int w = band->x2 - x < columnWidth ? band->x2 - x : columnWidth;
        NAME(TransparentBlitFromWindow)
        (pDraw, windowPoint, x, band->y1, w, h, windowPitch, transparent, alu);
    }
}

void gd6StippleAreaSlow(BoxPtr box, DDXPointPtr windowPoint, int bandHeight, int columnWidth,
                        int alu, int windowPitch, Pixel transparent, DrawablePtr pDraw) {
    for (int y = box->y1; y < box->y2; y += bandHeight) {
        BoxRec band = {box->x1, (int16_t)y, box->x2,
                       (int16_t)(box->y2 - y < bandHeight ? box->y2 : y + bandHeight)};
        gd6StippleAreaSlowXExpand(&band, windowPoint, columnWidth, alu, windowPitch, transparent,
                                  pDraw);
    }
}

/* ---- Copying the staged area to the boxes ---- */

/* One box from a staged area whose first tw x th pixels are the tile: one
 * copy, a copy and the layer's replication, or bands and columns. */
static void gd6FillFromArea(BoxPtr box, const Gd6Area *area, int tw, int th, DDXPointPtr origin,
                            int alu, DrawablePtr pDraw) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    int usableW = area->width - tw, usableH = area->height - th;
    DDXPointRec phase = gd6Phase(box, origin, tw, th);
    if (w < usableW && h < usableH) {
        NAME(BlitFromWindow)(pDraw, &phase, box->x1, box->y1, w, h, area->pitch, alu);
    } else if (gd6ScreenReplicable(alu)) {
        int cw = w < usableW ? w : usableW, ch = h < usableH ? h : usableH;
        NAME(BlitFromWindow)(pDraw, &phase, box->x1, box->y1, cw, ch, area->pitch, alu);
        nfbReplicateArea(box, cw, ch, ~0u, pDraw);
    } else {
        NAME(TileAreaSlow)(box, &phase, usableH, usableW, alu, area->pitch, pDraw);
    }
}

/* ---- Tiles ---- */

static void gd6StageTile(const gd6ScreenPrivate *priv, const uint8_t *tile, int tileStride, int tw,
                         int th, const Gd6Area *area) {
    uint32_t rowBytes = (uint32_t)(tw * BPP);
    for (int y = 0; y < th; y++) {
        const uint8_t *s = tile + (int64_t)y * tileStride;
        uint8_t *d = priv->windowBase + (uint32_t)y * (uint32_t)area->pitch;
        for (uint32_t i = 0; i < rowBytes; i++)
            mmWrite8(d + i, s[i]);
    }
}

void NAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    Gd6Area area;
    if (count <= 0)
        return;
    if (!tile || !patOrg || tileWidth <= 0 || tileHeight <= 0 || !gd6FullPlanemask(planemask) ||
        (count == 1 && gd6ScreenReplicable(alu)) ||
        !gd6SizeArea(priv, boxes, count, tileWidth, tileHeight, tileWidth, &area)) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    gd6EngineIdleWait();
    gd6StageTile(priv, tile, tileStride, tileWidth, tileHeight, &area);
    NAME(ReplicateLinear)
    (priv->windowAddr, area.width, area.height, tileWidth, tileHeight, area.pitch, pDraw);
    for (int i = 0; i < count; i++)
        gd6FillFromArea(&boxes[i], &area, tileWidth, tileHeight, patOrg, alu, pDraw);
}

/* ---- Stipples ---- */

/* The stipple of a GC, as the fills need it. */
typedef struct _Gd6Stipple {
    const uint8_t *bits;
    int stride, width, height;
} Gd6Stipple;

static Bool gd6StippleOf(GCPtr pGC, Gd6Stipple *st) {
    PixmapPtr pm = pGC->stipple;
    if (!pm || !pm->devPrivate || pm->drawable.width == 0 || pm->drawable.height == 0)
        return 0;
    st->bits = (const uint8_t *)pm->devPrivate;
    st->stride = pm->devKind;
    st->width = pm->drawable.width;
    st->height = pm->drawable.height;
    return 1;
}

/* Area widths for a stipple: whole tiles, and whole expanded bytes so that
 * every stipple row starts on a processor byte of its own. */
static int gd6StippleUnit(int tw) {
    return tw / gd6Gcd(tw, 8) * 8;
}

/* Where the expansion reaches the staging area: the window offset of its
 * first pixel with the bank set for the expanded address space. */
static uint32_t gd6ExpandBankOffset(const gd6ScreenPrivate *priv, uint8_t *bank) {
    uint32_t e = priv->windowAddr >> gd6Traits.expandBytesShift;
    uint32_t shift = priv->bankShift + BANK_INDEX_SHIFT;
    *bank = (uint8_t)(e >> shift);
    return e & ((1u << shift) - 1);
}

static Bool gd6ExpansionFits(const gd6ScreenPrivate *priv, const Gd6Area *area) {
    uint8_t bank;
    uint32_t offset = gd6ExpandBankOffset(priv, &bank);
    uint32_t bytes = (uint32_t)area->height * (uint32_t)area->width / 8;
    return offset + bytes <= priv->windowSize;
}

/* After the engine wait: the stipple's rows expanded into the first and
 * second colour at the staging origin, then doubled over the area. */
static void gd6ExpandStipple(const gd6ScreenPrivate *priv, const Gd6Stipple *st, Pixel first,
                             Pixel second, const Gd6Area *area, DrawablePtr pDraw) {
    uint8_t bank;
    uint32_t offset = gd6ExpandBankOffset(priv, &bank);
    uint32_t rowStep = (uint32_t)area->width / 8;
    uint32_t n = (uint32_t)(st->width + 7) / 8;
    gd6WriteGR(GR_EXTENSIONS, (uint8_t)(priv->gr0bBits | gd6Traits.gr0bExpand));
    gd6WriteGR(GR_WRITE_MODE, WRITE_MODE_EXPAND_OPAQUE);
    gd6WriteGR(GR_BANK, bank);
    gd6SetExpandColours(first, second);
    for (int y = 0; y < st->height; y++)
        gd6WindowWriteSwapped(priv->windowBase + offset + (uint32_t)y * rowStep,
                              st->bits + (int64_t)y * st->stride, n);
    gd6WriteGR(GR_EXTENSIONS, (uint8_t)(priv->gr0bBits | GR0B_EXTENDED_WRITES));
    gd6WriteGR(GR_WRITE_MODE, WRITE_MODE_NORMAL);
    gd6RestoreBank(priv);
    gd6ClearExpandColours();
    NAME(ReplicateLinear)
    (priv->windowAddr, area->width, area->height, st->width, st->height, area->pitch, pDraw);
}

/* Sizes the area for the GC's stipple; false sends the request to the server. */
static Bool gd6PrepareStipple(const gd6ScreenPrivate *priv, GCPtr pGC, BoxPtr boxes, int count,
                              Gd6Stipple *st, Gd6Area *area) {
    if (!gd6StippleOf(pGC, st))
        return 0;
    if (!gd6SizeArea(priv, boxes, count, st->width, st->height, gd6StippleUnit(st->width), area))
        return 0;
    return gd6ExpansionFits(priv, area);
}

void NAME(OpStippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    if (count <= 0)
        return;
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    Gd6Stipple st;
    Gd6Area area;
    if (!gd6PrepareStipple(priv, pGC, boxes, count, &st, &area)) {
        genOpStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    gd6EngineIdleWait();
    gd6ExpandStipple(priv, &st, gcPriv->fgPixel, gcPriv->bgPixel, &area, pDraw);
    for (int i = 0; i < count; i++)
        gd6FillFromArea(&boxes[i], &area, st.width, st.height, &gcPriv->patOrg, gcPriv->alu, pDraw);
}

void NAME(StippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    if (count <= 0)
        return;
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    Gd6Stipple st;
    Gd6Area area;
    if (!gd6PrepareStipple(priv, pGC, boxes, count, &st, &area)) {
        genStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    /* Every 0 bit becomes the colour the transparent copy leaves alone. */
    Pixel transparent = ~gcPriv->fgPixel;
    gd6EngineIdleWait();
    gd6ExpandStipple(priv, &st, gcPriv->fgPixel, transparent, &area, pDraw);
    int usableW = area.width - st.width, usableH = area.height - st.height;
    for (int i = 0; i < count; i++) {
        BoxPtr b = &boxes[i];
        int w = b->x2 - b->x1, h = b->y2 - b->y1;
        if (w <= 0 || h <= 0)
            continue;
        DDXPointRec phase = gd6Phase(b, &gcPriv->patOrg, st.width, st.height);
        if (w < usableW && h < usableH)
            NAME(TransparentBlitFromWindow)
        (pDraw, &phase, b->x1, b->y1, w, h, area.pitch, transparent, gcPriv->alu);
        else gd6StippleAreaSlow(b, &phase, usableH, usableW, gcPriv->alu, area.pitch, transparent,
                                pDraw);
    }
}
