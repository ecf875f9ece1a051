/*
 * hobra: stippled fills. The stipple is stored once into plane 0 of the
 * planeArea, repeated there by the engine to cover the largest box (or a
 * band of whole stipple heights), and each box is painted by plane
 * expansions from the corner that puts it in the stipple's phase.
 */
#include "hobra.h"

#define READ_MASK_PLANE0 2
#define STAGING_PLANE 1

/* (v - origin) mod size, in 0 to size - 1. */
static int hobraStipplePhase(int v, int origin, int size) {
    int r = (v - origin) % size;
    return r < 0 ? r + size : r;
}

static void hobraStippleFallback(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count,
                                 int opaque) {
    if (opaque)
        genOpStippledFillRects(pGC, pDraw, boxes, count);
    else
        genStippledFillRects(pGC, pDraw, boxes, count);
}

static void hobraStippleFill(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, int opaque) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr stipple = pGC->stipple;
    const hobraRect *area = &priv->planeArea;
    const int sw = stipple ? stipple->drawable.width : 0;
    const int sh = stipple ? stipple->drawable.height : 0;
    if (sw <= 0 || sh <= 0 || area->width < 2 * sw || area->height < 2 * sh) {
        hobraStippleFallback(pGC, pDraw, boxes, count, opaque);
        return;
    }

    /* Empty boxes draw nothing and do not size the replication: a band
     * height of 0 would never end a box. */
    int maxW = 0, maxH = 0;
    for (int i = 0; i < count; i++) {
        int w = boxes[i].x2 - boxes[i].x1, h = boxes[i].y2 - boxes[i].y1;
        if (w <= 0 || h <= 0)
            continue;
        maxW = w > maxW ? w : maxW;
        maxH = h > maxH ? h : maxH;
    }
    if (maxW == 0)
        return;
    if (maxW + sw > area->width) {
        hobraStippleFallback(pGC, pDraw, boxes, count, opaque);
        return;
    }

    BoxRec cell;
    cell.x1 = (int16_t)area->x;
    cell.y1 = (int16_t)area->y;
    cell.x2 = (int16_t)(area->x + sw);
    cell.y2 = (int16_t)(area->y + sh);
    BoxRec clip;
    hobraOpenScissors(priv, &clip);
    hobraDrawOpaqueMonoImage(&cell, (uint8_t *)stipple->devPrivate, 0, stipple->devKind, ~(Pixel)0,
                             0, GXcopy, STAGING_PLANE, pDraw);

    /* One band per box when the tallest box and a stipple height fit below
     * one more stipple height; else bands of whole stipple heights, so each
     * band starts in the same phase. */
    int repH, band;
    if (maxH + sh <= area->height - sh) {
        repH = maxH + sh;
        band = maxH;
    } else {
        repH = area->height;
        band = (area->height / sh - 1) * sh;
    }
    BoxRec rep = cell;
    rep.x2 = (int16_t)(area->x + maxW + sw);
    rep.y2 = (int16_t)(area->y + repH);
    nfbReplicateArea(&rep, sw, sh, STAGING_PLANE, pDraw);
    hobraCloseScissors(priv, &clip);

    const int alu = gcPriv->alu;
    if (opaque)
        hobraSetupCardForOpaqueBlit(gcPriv->fgPixel, gcPriv->bgPixel, alu, READ_MASK_PLANE0,
                                    gcPriv->planemask);
    else
        hobraSetupCardForBlit(gcPriv->fgPixel, alu, READ_MASK_PLANE0, gcPriv->planemask);

    for (int i = 0; i < count; i++) {
        BoxPtr b = &boxes[i];
        int h = b->y2 - b->y1;
        if (b->x2 <= b->x1 || h <= 0)
            continue;
        DDXPointRec src;
        src.x = (int16_t)(area->x + hobraStipplePhase(b->x1, gcPriv->patOrg.x, sw));
        src.y = (int16_t)(area->y + hobraStipplePhase(b->y1, gcPriv->patOrg.y, sh));
        BoxRec dst = *b;
        for (int y = b->y1; y < b->y2; y += band) {
            dst.y1 = (int16_t)y;
            dst.y2 = (int16_t)(y + band < b->y2 ? y + band : b->y2);
            hobraStretchBlit(pDraw, &src, &dst);
        }
    }
    hobraResetCardFromBlit();
}

void hobraStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    hobraStippleFill(pGC, pDraw, boxes, count, 0);
}

void hobraOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    hobraStippleFill(pGC, pDraw, boxes, count, 1);
}
