/*
 * rasmo: the operation records (PrivOps per fill style, WinOps per window
 * depth), GC and window validation, and the GC-ops cache: the X GC's own
 * operation vector, one per 6-bit key, built from the template of the
 * layer's and the machine-independent routines with this driver's fast
 * line, point and span routines where the GC allows them.
 */
#include "rasmo.h"

PrivOps rasmoSolidPrivOps = {rasmoSolidFillRects, rasmoSolidFS,  {.ZeroSeg = rasmoSolidZeroSeg},
                             genSolidGCOp4,       genSolidGCOp5, genSolidGCOp6};
PrivOps rasmoTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                             genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps rasmoStippledPrivOps = {
    rasmoStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,       genStippledGCOp5, genStippledGCOp6};
PrivOps rasmoOpStippledPrivOps = {
    rasmoOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,       genOpStippledGCOp5, genOpStippledGCOp6};

/* The text slot holds the ten-argument generic form the layer calls while no
 * font slots are offered; rasmoInit puts the driver's eleven-argument form
 * there when it offers them. */
WinOps rasmoWinOps8 = {rasmoCopyRect,
                       rasmoDrawSolidRects,
                       rasmoDrawImage8,
                       rasmoDrawMonoImage,
                       rasmoDrawOpaqueMonoImage,
                       rasmoReadImage8,
                       rasmoDrawPoints,
                       rasmoTileRects8,
                       rasmoDrawMonoGlyphs,
                       {.DrawFontText = genDrawFontText},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       rasmoSetClip,
                       rasmoValidateWindowGC};
WinOps rasmoWinOps16 = {rasmoCopyRect,
                        rasmoDrawSolidRects,
                        rasmoDrawImage16,
                        rasmoDrawMonoImage,
                        rasmoDrawOpaqueMonoImage,
                        rasmoReadImage16,
                        rasmoDrawPoints,
                        rasmoTileRects16,
                        rasmoDrawMonoGlyphs,
                        {.DrawFontText = genDrawFontText},
                        genWinOp11,
                        genWinOp12,
                        genWinOp13,
                        rasmoSetClip,
                        rasmoValidateWindowGC};

const GCOps rasmoCommonOps = {
    nfbFillSpans,   nfbSetSpans,   nfbPutImage,     nfbCopyArea,  nfbCopyPlane,  nfbPolyPoint,
    miWideLine,     miPolySegment, miPolyRectangle, miPolyArc,    miFillPolygon, nfbPolyFillRect,
    miPolyFillArc,  miPolyText8,   miPolyText16,    miImageText8, miImageText16, nfbImageGlyphBlt,
    miPolyGlyphBlt, nfbPushPixels, miMiter};

/* One table for the whole driver, shared by its screens. */
static GCOps *rasmoGCOpsCache[GCOPS_CACHE_SIZE];

/* ---- GC validation ---- */

static PrivOps *rasmoFillStyleOps(GCPtr pGC) {
    switch (pGC->fillStyle) {
    case FillTiled:
        return &rasmoTiledPrivOps;
    case FillStippled:
        return &rasmoStippledPrivOps;
    case FillOpaqueStippled:
        /* Both colours alike: the stipple shows one colour, a solid fill. */
        return pGC->fgPixel == pGC->bgPixel ? &rasmoSolidPrivOps : &rasmoOpStippledPrivOps;
    default:
        return &rasmoSolidPrivOps;
    }
}

int rasmoValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    /* An opaque stipple decides between its own record and the solid one by
     * its colours, so a colour change must decide again. */
    uint32_t dispatch = GC_FILL_STYLE;
    if (pGC->fillStyle == FillOpaqueStippled)
        dispatch |= GCForeground | GCBackground;
    if (changes & dispatch)
        gcPriv->ops = rasmoFillStyleOps(pGC);

    if ((changes & GC_OPS_CHANGES) || (pGC->serialNumber & SERIAL_MASK) != pDraw->serialNumber) {
        const int key = rasmoGetGCOpsCacheIndex(pGC);
        GCOps *ops = rasmoGCOpsCache[key];
        if (!ops)
            ops = rasmoNewGCOps(key);
        /* Without memory for a vector of its own the GC takes the template,
         * whose routines serve every GC. */
        pGC->ops = ops ? (void *)ops : (void *)&rasmoCommonOps;
    }

    gcPriv->patOrg.x = (int16_t)(pGC->patOrg.x + pDraw->x);
    gcPriv->patOrg.y = (int16_t)(pGC->patOrg.y + pDraw->y);
    return 1;
}

void rasmoValidateWindowPriv(WindowPtr pWin) {
    nfbWindowPrivPtr winPriv = NFB_WINDOW_PRIV(pWin);
    if (pWin->drawable.depth == 8)
        winPriv->ops = &rasmoWinOps8;
    else if (pWin->drawable.depth == 16)
        winPriv->ops = &rasmoWinOps16;
}

/* ---- the GC-ops cache ---- */

static Bool rasmoHasText8(GCPtr pGC) {
    FontPtr font = pGC->font;
    if (!font || font->maxPrivate < nfbFontPrivateIndex)
        return 0;
    nfbFontPrivPtr fontPriv = NFB_FONT_PRIV(font);
    return fontPriv && fontPriv->text8Info;
}

static Bool rasmoOneBox(GCPtr pGC) {
    RegionPtr clip = NFB_GC_PRIV(pGC)->compositeClip;
    return !clip->data || clip->data->numRects == 1;
}

int rasmoGetGCOpsCacheIndex(GCPtr pGC) {
    int key = (int)pGC->fillStyle & KEY_FILL_STYLE;
    if (pGC->lineStyle == 0)
        key |= KEY_SOLID_LINE;
    if (pGC->lineWidth == 0)
        key |= KEY_THIN;
    if (rasmoHasText8(pGC))
        key |= KEY_TEXT8;
    if (rasmoOneBox(pGC))
        key |= KEY_ONE_BOX;
    return key;
}

GCOps *rasmoNewGCOps(int key) {
    GCOps *ops = (GCOps *)Xalloc(sizeof(GCOps));
    if (!ops)
        return 0;
    *ops = rasmoCommonOps;
    const int fs = key & KEY_FILL_STYLE;
    const Bool solidFill = fs == FillSolid;
    const Bool thin = (key & KEY_THIN) != 0;
    const Bool solidLine = (key & KEY_SOLID_LINE) != 0;
    const Bool text = (key & KEY_TEXT8) != 0;
    const Bool oneBox = (key & KEY_ONE_BOX) != 0;

    if (oneBox && solidFill)
        ops->FillSpans = rasmoFillSpans;
    if (oneBox)
        ops->PolyPoint = rasmoPolyPoint;

    if (thin && solidLine) {
        if (solidFill) {
            ops->Polylines = oneBox ? rasmoLineSS : nfbLineSS;
            ops->PolySegment = oneBox ? rasmoSegmentSS : nfbSegmentSS;
            ops->PolyRectangle = oneBox ? rasmoRectangleSS : nfbPolyRectangle;
            ops->PolyArc = nfbZeroPolyArc;
        } else {
            ops->Polylines = miZeroLine;
            ops->PolyRectangle = nfbPolyRectangle;
            ops->PolyArc = miZeroPolyArc;
        }
    } else if (thin) {
        if (solidFill) {
            ops->Polylines = oneBox ? rasmoLineSD : nfbLineSD;
            ops->PolySegment = oneBox ? rasmoSegmentSD : nfbSegmentSD;
            if (oneBox)
                ops->PolyRectangle = rasmoRectangleSD;
        }
        ops->PolyArc = miZeroPolyArc;
    } else if (!solidLine) {
        ops->Polylines = miWideDash;
    }

    if (solidFill && text)
        ops->PolyText8 = nfbPolyTEText8;
    if (text)
        ops->ImageText8 = nfbImageTEText8;
    if (solidFill)
        ops->PolyGlyphBlt = nfbSolidPolyGlyphBlt;
    if (fs == FillTiled)
        ops->PushPixels = mfbPushPixels;
    ops->LineHelper = 0;

    rasmoGCOpsCache[key] = ops;
    return ops;
}

void rasmoGCOpsCacheInit(void) {
    for (int i = 0; i < GCOPS_CACHE_SIZE; i++)
        rasmoGCOpsCache[i] = 0;
}

void rasmoGCOpsCacheReset(void) {
    for (int i = 0; i < GCOPS_CACHE_SIZE; i++)
        if (rasmoGCOpsCache[i]) {
            Xfree(rasmoGCOpsCache[i]);
            rasmoGCOpsCache[i] = 0;
        }
}
