/*
 * Images moved by the processor, and the choice of a GC's operations.
 */
#include "ct.h"

static inline uint32_t ctLoadPixel(const uint8_t *at) {
    if (CT_BPP == 2) {
        uint16_t v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    return *at;
}

static inline void ctStorePixel(uint8_t *at, uint32_t value) {
    if (CT_BPP == 2) {
        uint16_t v = (uint16_t)value;
        memcpy(at, &v, sizeof v);
    } else {
        *at = (uint8_t)value;
    }
}

/* The processor path: any alu and plane mask, pixel by pixel. */
void NAME(DrawImageFB)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                       DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    uint32_t mask = planemask & priv->allPlanes;
    if (mask == 0)
        return;
    ctWaitIdle();
    if ((alu & 0xF) != GXnoop) {
        int w = box->x2 - box->x1;
        for (int y = box->y1; y < box->y2; y++) {
            uint8_t *dst =
                priv->fbBase + ((uint32_t)y * (uint32_t)priv->pitch + (uint32_t)box->x1) * CT_BPP;
            const uint8_t *src = pixels + (y - box->y1) * stride;
            for (int x = 0; x < w; x++, dst += CT_BPP) {
                uint32_t old = ctLoadPixel(dst);
                uint32_t in = ctLoadPixel(src + x * CT_BPP);
                ctStorePixel(dst, xMergeAlu(alu, in, old, mask));
            }
        }
    }
    (void)*(volatile uint32_t *)priv->fbBase;
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    ctWaitIdle();
    uint32_t bytes = (uint32_t)(box->x2 - box->x1) * CT_BPP;
    for (int y = box->y1; y < box->y2; y++, dst += stride)
        memcpy(dst,
               priv->fbBase + ((uint32_t)y * (uint32_t)priv->pitch + (uint32_t)box->x1) * CT_BPP,
               bytes);
}

/* The record of the GC's fill style; an opaque stipple in one colour is a
 * solid fill. */
static PrivOps *ctOpsFor(GCPtr pGC) {
    switch (pGC->fillStyle) {
    case FillTiled:
        return &NAME(TiledPrivOps);
    case FillStippled:
        return &NAME(StippledPrivOps);
    case FillOpaqueStippled:
        return pGC->fgPixel == pGC->bgPixel ? &NAME(SolidPrivOps) : &NAME(OpStippledPrivOps);
    default:
        return &NAME(SolidPrivOps);
    }
}

int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    NFB_GC_PRIV(pGC)->ops = ctOpsFor(pGC);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

int NAME(ValidateWindowGCNoWrap)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    NFB_GC_PRIV(pGC)->ops = ctOpsFor(pGC);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}
