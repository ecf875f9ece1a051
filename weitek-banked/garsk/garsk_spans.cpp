/*
 * garsk: routines kept beside the installed ones but not installed: two
 * solid span fills and an opaque image writer for any plane mask.
 */
#include "garsk.h"

/* Spans as one-line engine fills from the foreground cell. Each span waits
 * for the one before it: the next span's counts are engine registers. */
void garskgarskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths,
                              int count) {
    if (count == 0)
        return;
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    garskLoadCell(priv, GARSK_CELL_FG, gcPriv->fgPixel0);
    const uint8_t rop = garskPlaneMaskSetup(priv, gcPriv->alu0, gcPriv->planemask0, 0);
    garskWaitIdle(priv);
    garskPut8(priv->regFgRop, rop);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut32(priv->regSourceAddr, GARSK_CELL_FG);
    garskPut8(priv->regSourceWrap, GARSK_WRAP_CELL);
    garskPut16(priv->regYCount, 0);
    for (int i = 0; i < count; i++) {
        if (widths[i] <= 0)
            continue;
        garskWaitIdle(priv);
        garskPut16(priv->regXCount, (uint32_t)(widths[i] - 1));
        garskPut32(priv->mmuBase0, garskAddress(priv, starts[i].x, starts[i].y));
        garskStart(priv);
    }
}

/* Spans fed with the colour as processor pixels: four at a time, the rest
 * a byte each (the bus size may change while the engine takes a row). */
void garskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    if (count == 0)
        return;
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    garskLoadCell(priv, GARSK_CELL_FG, gcPriv->fgPixel0);
    const uint8_t rop = garskPlaneMaskSetup(priv, gcPriv->alu0, gcPriv->planemask0, 0);
    garskWaitIdle(priv);
    garskPut8(priv->regRouting, GARSK_ROUTE_SOURCE);
    garskPut16(priv->regYCount, 0);
    garskPut8(priv->regFgRop, rop);
    garskPut8(priv->regBusSize, GARSK_BUS_32);
    const uint8_t fg = (uint8_t)gcPriv->fgPixel0;
    const uint32_t four = fg * 0x01010101u;
    for (int i = 0; i < count; i++) {
        const int n = widths[i];
        if (n <= 0)
            continue;
        garskPut16(priv->regXCount, (uint32_t)(n - 1));
        garskPut32(priv->mmuBase0, (uint32_t)starts[i].x + (uint32_t)starts[i].y * GARSK_PITCH);
        for (int k = 0; k < n / 4; k++)
            mmWrite32(priv->apWindow0, four);
        if (n % 4) {
            garskPut8(priv->regBusSize, GARSK_BUS_8);
            for (int k = 0; k < n % 4; k++)
                mmWrite8(priv->apWindow0, fg);
            garskPut8(priv->regBusSize, GARSK_BUS_32);
        }
    }
    garskPut8(priv->regBusSize, GARSK_BUS_8);
}

void testgarskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths,
                             int count) {
    (void)pGC;
    (void)pDraw;
    (void)starts;
    (void)widths;
    (void)count;
}

/* Lines of the scratch area, from line 770 to the end of video memory. */
#define GARSK_SCRATCH_LINES (1024 - (GARSK_SCRATCH_AREA / GARSK_PITCH))

/* An opaque image under any plane mask, in two stages: the image expanded
 * as it is (GXcopy) into the scratch area, so the alu acts once, then a
 * screen copy to the destination that applies the alu under the mask. The
 * scratch area holds 254 lines, so a taller image goes in bands. The copy
 * always reads below the screen and so runs forward. */
void garskOpaqueMonoPlanarImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    garskScreenPrivPtr priv = garskPrivOf(pDraw);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    for (int top = 0; top < h; top += GARSK_SCRATCH_LINES) {
        const int band = h - top < GARSK_SCRATCH_LINES ? h - top : GARSK_SCRATCH_LINES;
        garskLoadOpaqueCells(priv, fg, bg);
        garskOpaqueExpand(priv, GARSK_SCRATCH_AREA, w, band, bits + top * stride, startBit, stride,
                          fg, bg, alu_to_src_rop[GXcopy], alu_to_pat_rop[GXcopy]);
        const uint8_t rop = garskFullMask(planemask)
                                ? alu_to_src_rop[alu & 15]
                                : garskPlaneMaskSetup(priv, alu, planemask, GARSK_FORWARD);
        garskWaitIdle(priv);
        garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
        garskPut8(priv->regSourceWrap, GARSK_WRAP_NONE);
        garskPut16(priv->regYCount, (uint32_t)(band - 1));
        garskPut16(priv->regXCount, (uint32_t)(w - 1));
        garskPut32(priv->regSourceAddr, GARSK_SCRATCH_AREA);
        garskPut8(priv->regFgRop, rop);
        garskPut8(priv->regDirection, GARSK_FORWARD);
        garskPut32(priv->mmuBase0, garskAddress(priv, box->x1, box->y1 + top));
        garskStart(priv);
        garskWaitIdle(priv);
        garskPut8(priv->regDirection, GARSK_FORWARD);
    }
}
