/*
 * Slots 1 and 2 of the solid, tiled and opaque-stippled GC records: solid
 * fills by the engine, tiles and opaque stipples copied from the GC's image
 * in the image cache.
 */
#include "ct.h"

static void ctSolidBegin(const ctScreenPrivate *priv, int alu, Pixel fg) {
    ctWaitIdle();
    if (CT_IS_65550)
        ctSetControl(NAME(PixelOps)[alu & 0xF] | CT550_SOLID);
    else
        ctSetControl(NAME(PixelOps)[alu & 0xF] | CT548_SOLID);
    ctSetPitches((uint32_t)priv->stride, (uint32_t)priv->stride);
    ctSetSolidColour(fg);
}

static void ctSolidOne(const ctScreenPrivate *priv, int x, int y, int w, int h) {
    ctWaitIdle();
    ctSetDest(ctAddress(priv, x, y));
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
}

void NAME(SolidFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if ((gp->alu & 0xF) == GXnoop)
        return;
    if (!ctAllPlanes(priv, gp->planemask)) {
        genSolidFillRects(pGC, pDraw, boxes, count);
        return;
    }
    ctSolidBegin(priv, gp->alu, gp->fgPixel);
    for (int i = 0; i < count; i++)
        ctSolidOne(priv, boxes[i].x1, boxes[i].y1, boxes[i].x2 - boxes[i].x1,
                   boxes[i].y2 - boxes[i].y1);
}

void NAME(SolidFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if ((gp->alu & 0xF) == GXnoop)
        return;
    if (!ctAllPlanes(priv, gp->planemask)) {
        genSolidFS(pGC, pDraw, starts, widths, count);
        return;
    }
    ctSolidBegin(priv, gp->alu, gp->fgPixel);
    for (int i = 0; i < count; i++)
        ctSolidOne(priv, starts[i].x, starts[i].y, widths[i], 1);
}

/* What a tiled or opaque-stippled fill does before it reads the cache. */
typedef enum { CT_FILL_CACHE, CT_FILL_SOLID, CT_FILL_NOTHING, CT_FILL_GENERIC } CtFillWay;

static CtFillWay ctFillWay(GCPtr pGC, const ctScreenPrivate *priv) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    if (!ctAllPlanes(priv, gp->planemask))
        return CT_FILL_GENERIC;
    switch (gp->alu & 0xF) {
    case GXclear:
    case GXinvert:
    case GXset:
        return CT_FILL_SOLID;
    case GXnoop:
        return CT_FILL_NOTHING;
    default:
        return CT_FILL_CACHE;
    }
}

/* The GC's image in the cache, loaded now when it has none; none when the
 * cache refuses it (the next fill tries again). */
static ctGCPrivPtr ctCachedImage(GCPtr pGC, Bool tiled) {
    ctGCPrivPtr cp = ctGCPrivOf(pGC);
    if (!cp)
        return 0;
    if (!cp->cachedImage) {
        nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
        if (tiled)
            NAME(CacheGCPixmap)(pGC, pGC->tile, 0, 0);
        else
            NAME(CacheGCPixmap)(pGC, pGC->stipple, gp->fgPixel, gp->bgPixel);
    }
    return cp->cachedImage ? cp : 0;
}

/* A tile given as a pixel value has no pixmap to cache, and an image the
 * GC cached for another style must not stand in for it. */
static inline Bool ctTileIsPixmap(GCPtr pGC) {
    return !pGC->tileIsPixel && pGC->tile != 0;
}

void NAME(TiledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctTileIsPixmap(pGC)) {
        genTiledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    switch (ctFillWay(pGC, priv)) {
    case CT_FILL_SOLID:
        NAME(DrawSolidRects)(boxes, count, 0, gp->alu, gp->planemask, pDraw);
        return;
    case CT_FILL_NOTHING:
        return;
    case CT_FILL_CACHE:
        if (ctGCPrivPtr cp = ctCachedImage(pGC, 1)) {
            NAME(ImageCacheCopyRects)
            (boxes, count, cp->cachedImage, cp->cachedWidth, cp->cachedHeight, &gp->patOrg, gp->alu,
             gp->planemask, pDraw);
            return;
        }
        break;
    case CT_FILL_GENERIC:
        break;
    }
    PixmapPtr tile = pGC->tile;
    genTileRects(boxes, count, (uint8_t *)tile->devPrivate, tile->devKind, tile->drawable.width,
                 tile->drawable.height, &gp->patOrg, gp->alu, gp->planemask, pDraw);
}

void NAME(TiledFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctTileIsPixmap(pGC)) {
        genTiledFS(pGC, pDraw, starts, widths, count);
        return;
    }
    switch (ctFillWay(pGC, priv)) {
    case CT_FILL_SOLID:
        NAME(SolidFS)(pGC, pDraw, starts, widths, count);
        return;
    case CT_FILL_NOTHING:
        return;
    case CT_FILL_CACHE:
        if (ctGCPrivPtr cp = ctCachedImage(pGC, 1)) {
            NAME(ImageCacheFS)
            (starts, widths, count, cp->cachedImage, cp->cachedWidth, cp->cachedHeight, &gp->patOrg,
             gp->alu, gp->planemask, pDraw);
            return;
        }
        break;
    case CT_FILL_GENERIC:
        break;
    }
    genTiledFS(pGC, pDraw, starts, widths, count);
}

void NAME(OpStippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    switch (ctFillWay(pGC, priv)) {
    case CT_FILL_SOLID:
        NAME(DrawSolidRects)(boxes, count, 0, gp->alu, gp->planemask, pDraw);
        return;
    case CT_FILL_NOTHING:
        return;
    case CT_FILL_CACHE:
        if (pGC->stipple)
            if (ctGCPrivPtr cp = ctCachedImage(pGC, 0)) {
                NAME(ImageCacheCopyRects)
                (boxes, count, cp->cachedImage, cp->cachedWidth, cp->cachedHeight, &gp->patOrg,
                 gp->alu, gp->planemask, pDraw);
                return;
            }
        break;
    case CT_FILL_GENERIC:
        break;
    }
    genOpStippledFillRects(pGC, pDraw, boxes, count);
}

void NAME(OpStippledFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    switch (ctFillWay(pGC, priv)) {
    case CT_FILL_SOLID:
        NAME(SolidFS)(pGC, pDraw, starts, widths, count);
        return;
    case CT_FILL_NOTHING:
        return;
    case CT_FILL_CACHE:
        if (pGC->stipple)
            if (ctGCPrivPtr cp = ctCachedImage(pGC, 0)) {
                NAME(ImageCacheFS)
                (starts, widths, count, cp->cachedImage, cp->cachedWidth, cp->cachedHeight,
                 &gp->patOrg, gp->alu, gp->planemask, pDraw);
                return;
            }
        break;
    case CT_FILL_GENERIC:
        break;
    }
    genOpStippledFS(pGC, pDraw, starts, widths, count);
}

/* Transparent stipples stay with the server's routines: no record holds
 * these. */
void NAME(StippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    (void)pGC;
    (void)pDraw;
    (void)boxes;
    (void)count;
}

void NAME(StippledFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    (void)pGC;
    (void)pDraw;
    (void)starts;
    (void)widths;
    (void)count;
}
