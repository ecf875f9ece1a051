/*
 * Zero-width segments, drawn by the processor with the error terms the
 * frame-buffer layer computed; the engine is only waited for.
 */
#include "ct.h"

/* One segment's walk: `plot` at each of its len pixels. */
template <class Plot>
static void ctWalk(const ctScreenPrivate *priv, const ZeroSegRec &s, Plot plot) {
    uint8_t *at = ctPixel(priv, s.x, s.y);
    const int32_t line = (int32_t)s.signdy * priv->pitch * CT_BPP;
    const int32_t step = (int32_t)s.signdx * CT_BPP;
    int32_t e = s.e;
    for (int i = 0; i < s.len; i++) {
        plot(at);
        /* No step past the last pixel: it may lie outside the screen. */
        if (i + 1 == s.len)
            break;
        if (s.axis == 0) {
            if (e <= 0) {
                at += step;
                e += s.e1;
            } else {
                at += step + line;
                e += s.e2;
            }
        } else {
            if (e <= 0) {
                at += line;
                e += s.e1;
            } else {
                at += line + step;
                e += s.e2;
            }
        }
    }
}

uint32_t ctSolidZeroSegsFB(ZeroSegRec *segs, int count, int alu, Pixel fg, uint32_t mask,
                           DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    ctWaitIdle();
    if ((alu & 0xF) != GXnoop)
        for (int i = 0; i < count; i++)
            ctWalk(priv, segs[i], [&](uint8_t *at) {
                ctStorePixel(at, xMergeAlu(alu, fg, ctLoadPixel(at), mask));
            });
    return *(volatile uint32_t *)priv->fbBase;
}

void NAME(SolidZeroSegs)(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    int alu = gcPriv->alu & 0xF;
    Pixel fg = gcPriv->fgPixel;
    uint32_t mask = gcPriv->planemask & priv->allPlanes;
    if (mask == 0)
        return;
    if (mask != priv->allPlanes) {
        ctSolidZeroSegsFB(segs, count, alu, fg, mask, pDraw);
        return;
    }
    uint32_t colour;
    switch (alu) {
    case GXclear:
        colour = 0;
        break;
    case GXcopy:
        colour = fg;
        break;
    case GXset:
        colour = ~0u;
        break;
    case GXnoop:
        return;
    default:
        ctSolidZeroSegsFB(segs, count, alu, fg, mask, pDraw);
        return;
    }
    ctWaitIdle();
    for (int i = 0; i < count; i++)
        ctWalk(priv, segs[i], [&](uint8_t *at) { ctStorePixel(at, colour); });
    ctFlushProcessor(priv);
}
