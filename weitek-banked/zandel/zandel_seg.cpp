/*
 * Zero-width segments given by their end points, both drawn: the pixels of
 * the zero-width line rule, handed to the window's point routine in batches.
 */
#include "zandel.h"

#define SEG_BATCH 64

/* The minor coordinate nearest the true line at step i of n; a tie takes
 * the smaller, so a segment draws the same pixels either way round. */
static int32_t zandelNearest(int64_t minor, int64_t i, int64_t n) {
    const int64_t num = 2 * minor * i - n, den = 2 * n;
    return (int32_t)(num >= 0 ? (num + den - 1) / den : -((-num) / den));
}

void zandelPolyZeroSeg(GCPtr pGC, DrawablePtr pDraw, xSegment *segs, int count) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    WinOps *ops = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
    DDXPointRec points[SEG_BATCH];
    int n = 0;
    for (int s = 0; s < count; s++) {
        const int64_t x1 = segs[s].x1, y1 = segs[s].y1;
        const int64_t dx = segs[s].x2 - x1, dy = segs[s].y2 - y1;
        const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
        const int xMajor = adx >= ady;
        const int64_t steps = xMajor ? adx : ady, minor = xMajor ? dy : dx;
        const int64_t dir = (xMajor ? dx : dy) < 0 ? -1 : 1;
        for (int64_t i = 0; i <= steps; i++) {
            const int32_t q = steps == 0 ? 0 : zandelNearest(minor, i, steps);
            points[n].x = (int16_t)(xMajor ? x1 + dir * i : x1 + q);
            points[n].y = (int16_t)(xMajor ? y1 + q : y1 + dir * i);
            if (++n == SEG_BATCH) {
                ops->DrawPoints(points, n, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask, pDraw);
                n = 0;
            }
        }
    }
    if (n > 0)
        ops->DrawPoints(points, n, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask, pDraw);
}
