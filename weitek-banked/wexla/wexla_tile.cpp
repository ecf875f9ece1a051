/*
 * Tiled and opaque-stippled fills, staged below the visible screen (see
 * staging.h); what staging cannot serve goes to the generic routines.
 */
#include "staging.h"
#include "wexla.h"

static void wexlaSetClip(BoxPtr boxes, int n, DrawablePtr pDraw) {
    wexlaSetClipRegions(boxes, n, pDraw);
}

static void wexlaDrawTile(BoxPtr box, const TileStagingPattern *p, DrawablePtr pDraw) {
    wexlaDrawImage(box, p->bits, p->stride, GXcopy, 0xFFFFFFFFu, pDraw);
}

static void wexlaDrawStipple(BoxPtr box, const TileStagingPattern *p, DrawablePtr pDraw) {
    wexlaDrawOpaqueMonoImage(box, p->bits, 0, p->stride, p->fg, p->bg, GXcopy, 0xFFFFFFFFu, pDraw);
}

void wexlaTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    TileStagingAreaSlowXExpand(box, src, piece, alu, planemask, pDraw, wexlaCopyRect);
}

void wexlaTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                       uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlow(box, src, band, piece, alu, planemask, pDraw, wexlaCopyRect);
}

void wexlaOpStippledFillAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu,
                                        uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlowXExpand(box, src, piece, alu, planemask, pDraw, wexlaCopyRect);
}

void wexlaOpStippledFillAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                                 uint32_t planemask, DrawablePtr pDraw) {
    TileStagingAreaSlow(box, src, band, piece, alu, planemask, pDraw, wexlaCopyRect);
}

static const TileStagingOps wexlaTileStaging = {wexlaDrawTile, wexlaCopyRect, wexlaSetClip,
                                                wexlaTileAreaSlow};
static const TileStagingOps wexlaStippleStaging = {wexlaDrawStipple, wexlaCopyRect, wexlaSetClip,
                                                   wexlaOpStippledFillAreaSlow};

/* The request's boxes, alu and area; the clip is reloaded from a copy,
 * since staging changes the private's. */
static TileStagingRequest wexlaStagingRequest(wexlaScreenPrivPtr priv, BoxPtr boxes, int n, int alu,
                                              uint32_t planemask) {
    TileStagingRequest req;
    __builtin_memset(&req, 0, sizeof(req));
    req.boxes = boxes;
    req.n = n;
    req.alu = alu;
    req.planemask = planemask;
    req.area.x = priv->offX;
    req.area.y = priv->offY;
    req.area.width = priv->offWidth;
    req.area.height = priv->offHeight;
    return req;
}

/* GXinvert reads nothing of the pattern; staged, its copies would go to
 * the generic copy, which cannot see the staging area below the screen. */
static int wexlaStagedAlu(int alu) {
    return wexlaAlu(alu) != GXinvert;
}

void wexlaTileRects(BoxPtr boxes, int n, uint8_t *tile, int tileStride, int tw, int th,
                    DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (wexlaAlu(alu) < 0)
        return;
    if (!wexlaStagedAlu(alu)) {
        genTileRects(boxes, n, tile, tileStride, tw, th, patOrg, alu, planemask, pDraw);
        return;
    }
    TileStagingRequest req = wexlaStagingRequest(priv, boxes, n, wexlaAlu(alu), planemask);
    req.pattern.width = tw;
    req.pattern.height = th;
    req.pattern.bits = tile;
    req.pattern.stride = tileStride;
    req.origin = *patOrg;
    const BoxRec clip = priv->clipBox;
    req.clip = &clip;
    if (!TileStaging(&req, &wexlaTileStaging, pDraw))
        genTileRects(boxes, n, tile, tileStride, tw, th, patOrg, alu, planemask, pDraw);
}

void wexlaOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr stipple = pGC->stipple;
    if (stipple == nullptr || !wexlaStagedAlu(gcPriv->alu)) {
        genOpStippledFillRects(pGC, pDraw, boxes, n);
        return;
    }
    if (wexlaAlu(gcPriv->alu) < 0)
        return;
    TileStagingRequest req =
        wexlaStagingRequest(priv, boxes, n, wexlaAlu(gcPriv->alu), gcPriv->planemask);
    req.pattern.width = stipple->drawable.width;
    req.pattern.height = stipple->drawable.height;
    req.pattern.bits = (uint8_t *)stipple->devPrivate;
    req.pattern.stride = stipple->devKind;
    req.pattern.fg = gcPriv->fgPixel;
    req.pattern.bg = gcPriv->bgPixel;
    req.origin = gcPriv->patOrg;
    const BoxRec clip = priv->clipBox;
    req.clip = &clip;
    if (!TileStaging(&req, &wexlaStippleStaging, pDraw))
        genOpStippledFillRects(pGC, pDraw, boxes, n);
}
