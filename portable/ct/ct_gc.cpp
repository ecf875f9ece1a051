/*
 * The GC wrapper and validation: every GC of a wrapping screen carries its
 * tile or stipple in the image cache, and the wrapper around its function
 * vector lets that image go with the GC.
 */
#include "ct.h"

/* Changes after which the record or the cached image may differ. */
#define CT_DISPATCH_CHANGES (GCForeground | GCBackground | GCFillStyle | GCTile | GCStipple)

static void ctValidateGC(GCPtr, uint32_t changes, DrawablePtr);
static void ctChangeGC(GCPtr, uint32_t mask);
static void ctCopyGC(GCPtr src, uint32_t mask, GCPtr dst);
static void ctDestroyGC(GCPtr);
static void ctChangeClip(GCPtr, int type, void *value, int nrects);
static void ctDestroyClip(GCPtr);
static void ctCopyClip(GCPtr dst, GCPtr src);

static const GCFuncs ctFuncs = {ctValidateGC, ctChangeGC,    ctCopyGC,  ctDestroyGC,
                                ctChangeClip, ctDestroyClip, ctCopyClip};

Bool NAME(CreateGC)(GCPtr pGC) {
    ScreenPtr pScreen = pGC->pScreen;
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    /* The layer below may install another CreateGC while it runs: that one
     * is the one to call next time. */
    pScreen->CreateGC = priv->wrappedCreateGC;
    Bool created = pScreen->CreateGC(pGC);
    priv->wrappedCreateGC = pScreen->CreateGC;
    pScreen->CreateGC = NAME(CreateGC);
    if (!created)
        return 0;
    ctGCPrivPtr cp = ctGCPrivOf(pGC);
    if (!cp)
        return created;
    cp->savedFuncs = pGC->funcs;
    pGC->funcs = &ctFuncs;
    cp->cachedImage = 0;
    cp->cachedWidth = cp->cachedHeight = 0;
    return 1;
}

/* Around every slot: the vector below runs as the GC's own, and whatever it
 * leaves there is what the wrapper calls next time. */
static inline ctGCPrivPtr ctUnwrap(GCPtr pGC) {
    ctGCPrivPtr cp = ctGCPrivOf(pGC);
    pGC->funcs = cp->savedFuncs;
    return cp;
}

static inline void ctRewrap(GCPtr pGC, ctGCPrivPtr cp) {
    cp->savedFuncs = pGC->funcs;
    pGC->funcs = &ctFuncs;
}

static void ctValidateGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    ctGCPrivPtr cp = ctUnwrap(pGC);
    pGC->funcs->ValidateGC(pGC, changes, pDraw);
    ctRewrap(pGC, cp);
}

static void ctChangeGC(GCPtr pGC, uint32_t mask) {
    ctGCPrivPtr cp = ctUnwrap(pGC);
    pGC->funcs->ChangeGC(pGC, mask);
    ctRewrap(pGC, cp);
}

static void ctCopyGC(GCPtr src, uint32_t mask, GCPtr dst) {
    ctGCPrivPtr cp = ctUnwrap(dst);
    dst->funcs->CopyGC(src, mask, dst);
    ctRewrap(dst, cp);
}

static void ctDestroyGC(GCPtr pGC) {
    ctGCPrivPtr cp = ctUnwrap(pGC);
    if (cp->cachedImage) {
        NAME(ImageCacheFree)(pGC->pScreen, cp->cachedImage);
        cp->cachedImage = 0;
    }
    pGC->funcs->DestroyGC(pGC);
    ctRewrap(pGC, cp);
}

static void ctChangeClip(GCPtr pGC, int type, void *value, int nrects) {
    ctGCPrivPtr cp = ctUnwrap(pGC);
    pGC->funcs->ChangeClip(pGC, type, value, nrects);
    ctRewrap(pGC, cp);
}

static void ctDestroyClip(GCPtr pGC) {
    ctGCPrivPtr cp = ctUnwrap(pGC);
    pGC->funcs->DestroyClip(pGC);
    ctRewrap(pGC, cp);
}

static void ctCopyClip(GCPtr dst, GCPtr src) {
    ctGCPrivPtr cp = ctUnwrap(dst);
    dst->funcs->CopyClip(dst, src);
    ctRewrap(dst, cp);
}

int NAME(CacheGCPixmap)(GCPtr pGC, PixmapPtr pPix, Pixel fg, Pixel bg) {
    ctGCPrivPtr cp = ctGCPrivOf(pGC);
    if (!cp)
        return 0;
    if (cp->cachedImage)
        NAME(ImageCacheFree)(pGC->pScreen, cp->cachedImage);
    cp->cachedImage = 0;
    cp->cachedWidth = cp->cachedHeight = 0;
    if (!pPix)
        return 0;
    int w = pPix->drawable.width, h = pPix->drawable.height;
    cp->cachedImage = NAME(ImageCacheLoad)(pGC->pScreen, (const uint8_t *)pPix->devPrivate,
                                           pPix->devKind, pPix->drawable.depth, &w, &h, fg, bg);
    cp->cachedWidth = w;
    cp->cachedHeight = h;
    return h;
}

int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    int result = nfbHelpValidateGC(pGC, changes, pDraw);
    if (!(changes & CT_DISPATCH_CHANGES))
        return result;
    nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
    PixmapPtr toCache = 0;
    Pixel fg = 0, bg = 0;
    switch (pGC->fillStyle) {
    case FillTiled:
        gp->ops = &NAME(TiledPrivOps);
        if (!pGC->tileIsPixel)
            toCache = pGC->tile;
        break;
    case FillStippled:
        gp->ops = &NAME(StippledPrivOps);
        toCache = pGC->stipple;
        fg = ~(Pixel)0;
        break;
    case FillOpaqueStippled:
        if (gp->fgPixel == gp->bgPixel) {
            gp->ops = &NAME(SolidPrivOps);
        } else {
            gp->ops = &NAME(OpStippledPrivOps);
            toCache = pGC->stipple;
            fg = gp->fgPixel;
            bg = gp->bgPixel;
        }
        break;
    default:
        gp->ops = &NAME(SolidPrivOps);
        break;
    }
    if (toCache)
        NAME(CacheGCPixmap)(pGC, toCache, fg, bg);
    return result;
}

/* Only the record: nothing is cached in this mode. A colour change can turn
 * an opaque stipple into a solid fill or back, so it dispatches as well. */
int NAME(ValidateWindowGCNoWrap)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCForeground | GCBackground)) {
        nfbGCPrivPtr gp = NFB_GC_PRIV(pGC);
        switch (pGC->fillStyle) {
        case FillTiled:
            gp->ops = &NAME(TiledPrivOps);
            break;
        case FillStippled:
            gp->ops = &NAME(StippledPrivOps);
            break;
        case FillOpaqueStippled:
            /* The GC's own colours: the layer's copy is refreshed below. */
            gp->ops = pGC->fgPixel != pGC->bgPixel ? &NAME(OpStippledPrivOps) : &NAME(SolidPrivOps);
            break;
        default:
            gp->ops = &NAME(SolidPrivOps);
            break;
        }
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}
