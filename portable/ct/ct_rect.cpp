/*
 * Whole rectangles and single pixels: copies and solid fills by the engine,
 * points by the processor.
 */
#include "ct.h"

void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if ((alu & 0xF) == GXnoop)
        return;
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genCopyRect(dst, src, alu, planemask, pDraw);
        return;
    }
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    int sx = src->x, sy = src->y, dx = dst->x1, dy = dst->y1;
    uint32_t control = NAME(PixelOps)[alu & 0xF];
    if (sy < dy && sy + h > dy) {
        /* The source above and overlapping: from the bottom row up. */
        sy += h - 1;
        dy = dst->y2 - 1;
        control |= CT_IS_65550 ? CT550_COPY_YDEC : CT548_COPY_BOTTOM_UP;
    } else if (sy == dy && sx < dx && sx + w > dx) {
        /* The same rows, the source to the left and overlapping. */
        sx += w - 1;
        dx = dst->x2 - 1;
        control |= CT_IS_65550 ? CT550_COPY_XDEC : CT548_COPY_RIGHT_TO_LEFT;
    } else if (!CT_IS_65550) {
        control |= CT548_COPY_FORWARD;
    }
    ctWaitIdle();
    ctSetControl(control);
    ctSetPitches((uint32_t)priv->stride, (uint32_t)priv->stride);
    ctSetSource(ctAddress(priv, sx, sy));
    ctSetDest(ctAddress(priv, dx, dy));
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
}

void NAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    if ((alu & 0xF) == GXnoop)
        return;
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genDrawSolidRects(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    ctWaitIdle();
    if (CT_IS_65550)
        ctSetControl(NAME(PatternOps)[alu & 0xF] | CT550_SOLID_PATTERN);
    else
        ctSetControl(NAME(PixelOps)[alu & 0xF] | CT548_SOLID);
    ctSetPitches(0, (uint32_t)priv->stride);
    ctSetSolidColour(fg);
    for (int i = 0; i < count; i++) {
        const BoxRec &b = boxes[i];
        ctWaitIdle();
        ctSetDest(ctAddress(priv, b.x1, b.y1));
        ctStart((uint32_t)((b.x2 - b.x1) * CT_BPP), (uint32_t)(b.y2 - b.y1));
    }
}

/* Any alu and plane mask, pixel by pixel. */
void ctDrawPointsFB(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    uint32_t mask = planemask & priv->allPlanes;
    if (mask == 0)
        return;
    ctWaitIdle();
    if ((alu & 0xF) != GXnoop) {
        for (int i = 0; i < count; i++) {
            uint8_t *at = ctPixel(priv, points[i].x, points[i].y);
            ctStorePixel(at, xMergeAlu(alu, fg, ctLoadPixel(at), mask));
        }
    }
    ctFlushProcessor(priv);
}

void NAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        ctDrawPointsFB(points, count, fg, alu, planemask, pDraw);
        return;
    }
    uint32_t colour;
    switch (alu & 0xF) {
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
        ctDrawPointsFB(points, count, fg, alu, ~0u, pDraw);
        return;
    }
    ctWaitIdle();
    for (int i = 0; i < count; i++)
        ctStorePixel(ctPixel(priv, points[i].x, points[i].y), colour);
    ctFlushProcessor(priv);
}

void NAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    switch (alu & 0xF) {
    case GXclear:
    case GXinvert:
    case GXset:
        /* These do not depend on the tile. */
        NAME(DrawSolidRects)(boxes, count, 0, alu, planemask, pDraw);
        return;
    case GXnoop:
        return;
    default:
        break;
    }
    /* The tile goes into the image cache for this call only. */
    int w = tileWidth, h = tileHeight;
    ctOnboardChunk *chunk =
        NAME(ImageCacheLoad)(pDraw->pScreen, tile, tileStride, CT_BPP * 8, &w, &h, 0, 0);
    if (!chunk) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    NAME(ImageCacheCopyRects)(boxes, count, chunk, w, h, patOrg, alu, planemask, pDraw);
    NAME(ImageCacheFree)(pDraw->pScreen, chunk);
}
