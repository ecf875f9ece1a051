/*
 * Tiled and opaque-stippled fills, staged below the visible screen (see
 * staging.h); what staging cannot serve goes to the generic routines.
 */
#include "staging.h"
#include "zandel.h"

static void zandelSetClip(BoxPtr boxes, int n, DrawablePtr pDraw) {
    zandelSetClipRegions(boxes, n, pDraw);
}

static void zandelDrawTile(BoxPtr box, const TileStagingPattern *p, DrawablePtr pDraw) {
    zandelDrawImage(box, p->bits, p->stride, GXcopy, 0xFFFFFFFFu, pDraw);
}

static void zandelDrawStipple(BoxPtr box, const TileStagingPattern *p, DrawablePtr pDraw) {
    zandelDrawOpaqueMonoImage(box, p->bits, 0, p->stride, p->fg, p->bg, GXcopy, 0xFFFFFFFFu, pDraw);
}

void zandelTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                               DrawablePtr pDraw) {
    TileStagingAreaSlowXExpand(box, src, piece, alu, planemask, pDraw, zandelCopyRect);
}

void zandelTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlow(box, src, band, piece, alu, planemask, pDraw, zandelCopyRect);
}

void zandelOpStippledFillAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu,
                                         uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlowXExpand(box, src, piece, alu, planemask, pDraw, zandelCopyRect);
}

void zandelOpStippledFillAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                                  uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlow(box, src, band, piece, alu, planemask, pDraw, zandelCopyRect);
}

static const TileStagingOps zandelTileStaging = {zandelDrawTile, zandelCopyRect, zandelSetClip,
                                                 zandelTileAreaSlow};
static const TileStagingOps zandelStippleStaging = {zandelDrawStipple, zandelCopyRect,
                                                    zandelSetClip, zandelOpStippledFillAreaSlow};

static TileStagingRequest zandelStagingRequest(zandelScreenPrivPtr priv, BoxPtr boxes, int n,
                                               int alu, uint32_t planemask) {
    TileStagingRequest req;
    __builtin_memset(&req, 0, sizeof(req));
    req.boxes = boxes;
    req.n = n;
    req.alu = alu;
    req.planemask = planemask;
    req.area.x = priv->offScreen.x;
    req.area.y = priv->offScreen.y;
    req.area.width = priv->offScreen.width;
    req.area.height = priv->offScreen.height;
    req.clip = &priv->clipBox;
    return req;
}

void zandelTileRects(BoxPtr boxes, int n, uint8_t *tile, int tileStride, int tw, int th,
                     DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (zandelAlu(alu) < 0)
        return;
    TileStagingRequest req = zandelStagingRequest(priv, boxes, n, zandelAlu(alu), planemask);
    req.pattern.width = tw;
    req.pattern.height = th;
    req.pattern.bits = tile;
    req.pattern.stride = tileStride;
    req.origin = *patOrg;
    /* The clip is loaded again from a copy: staging changes the private's. */
    const BoxRec clip = priv->clipBox;
    req.clip = &clip;
    if (!TileStaging(&req, &zandelTileStaging, pDraw))
        genTileRects(boxes, n, tile, tileStride, tw, th, patOrg, alu, planemask, pDraw);
}

void zandelOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr stipple = pGC->stipple;
    if (stipple == nullptr) {
        genOpStippledFillRects(pGC, pDraw, boxes, n);
        return;
    }
    if (zandelAlu(gcPriv->alu) < 0)
        return;
    TileStagingRequest req =
        zandelStagingRequest(priv, boxes, n, zandelAlu(gcPriv->alu), gcPriv->planemask);
    req.pattern.width = stipple->drawable.width;
    req.pattern.height = stipple->drawable.height;
    req.pattern.bits = (uint8_t *)stipple->devPrivate;
    req.pattern.stride = stipple->devKind;
    req.pattern.fg = gcPriv->fgPixel;
    req.pattern.bg = gcPriv->bgPixel;
    req.origin = gcPriv->patOrg;
    const BoxRec clip = priv->clipBox;
    req.clip = &clip;
    if (!TileStaging(&req, &zandelStippleStaging, pDraw))
        genOpStippledFillRects(pGC, pDraw, boxes, n);
}
