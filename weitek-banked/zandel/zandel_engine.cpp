/*
 * The drawing engine: raster-op tables, the waits, the clip, and the solid
 * fills, spans, points, segments, copies and images.
 *
 * Every operation loads its parameters only once the engine is idle (a
 * running figure reads them), but writes the coordinates of its next figure
 * while the previous one may still run: the engine takes coordinates at any
 * time and starts a figure only when the quad or blit command is read.
 */
#include "zandel.h"

/* Polls of the status register before a wait gives up: far above any real
 * wait, and below the point where a caller would take the server for hung. */
#define ZANDEL_WAIT_LIMIT 200000

static const char msgTimeout[] = "zandel: drawing engine timed out, operation abandoned\n";

/* The three-operand codes: pattern 0xF0, source 0xCC, destination 0xAA. A
 * fill takes the pattern (the fill colour) as its source operand; GXclear
 * and GXset draw as copies of 0 and all ones. */
static const uint32_t zandelFillCodes[16] = {0xF0, 0xA0, 0x50, 0xF0, 0x0A, 0xAA, 0x5A, 0xFA,
                                             0x05, 0xA5, 0x55, 0xF5, 0x0F, 0xAF, 0x5F, 0xF0};
static const uint32_t zandelCopyCodes[16] = {0xCC, 0x88, 0x44, 0xCC, 0x22, 0xAA, 0x66, 0xEE,
                                             0x11, 0x99, 0x55, 0xDD, 0x33, 0xBB, 0x77, 0xCC};
#define ZANDEL_RASTER_USE_PATTERN 0x2000

void _zandel_BuildRasterOps(zandelScreenPrivPtr priv) {
    for (int alu = 0; alu < 16; alu++) {
        priv->fillRop[alu] = ZANDEL_RASTER_USE_PATTERN | zandelFillCodes[alu];
        priv->copyRop[alu] = zandelCopyCodes[alu];
    }
}

uint32_t zandelPlaneMask(int pixelSize, uint32_t planemask) {
    /* At 4 bytes a pixel the visual has 24 planes: the top byte is no part
     * of the picture, and writing it would show in images read back. */
    if (pixelSize == 4)
        return planemask & 0x00FFFFFFu;
    return zandelPixelReplicate(pixelSize, planemask);
}

uint32_t zandelPixelReplicate(int pixelSize, uint32_t v) {
    switch (pixelSize) {
    case 1:
        return (v & 0xFF) * 0x01010101u;
    case 2:
        return (v & 0xFFFF) * 0x00010001u;
    default:
        return v;
    }
}

static inline int zandelForcedAlu(int alu) {
    return alu == GXclear || alu == GXset;
}

/* The colour an operation writes: GXclear and GXset write 0 and all ones. */
static uint32_t zandelColour(zandelScreenPrivPtr priv, Pixel fg, int alu) {
    if (alu == GXclear)
        return 0;
    if (alu == GXset)
        return 0xFFFFFFFFu;
    return zandelPixelReplicate(priv->pixelSize, fg);
}

/* ---- Waits ---- */

Bool zandelWaitIdle(zandelScreenPrivPtr priv) {
    for (int i = 0; i < ZANDEL_WAIT_LIMIT; i++)
        if ((zandelRead(priv, ZANDEL_STATUS) & ZANDEL_STATUS_BUSY) == 0)
            return 1;
    ErrorF(msgTimeout);
    return 0;
}

Bool zandelWaitCommand(zandelScreenPrivPtr priv) {
    for (int i = 0; i < ZANDEL_WAIT_LIMIT; i++)
        if ((zandelRead(priv, ZANDEL_STATUS) & ZANDEL_STATUS_NO_CMD) == 0)
            return 1;
    ErrorF(msgTimeout);
    return 0;
}

/* Reading the blit command starts the prepared copy; bit 31 in the value
 * read says it could not start yet. */
Bool zandelStartBlit(zandelScreenPrivPtr priv) {
    for (int i = 0; i < ZANDEL_WAIT_LIMIT; i++)
        if ((zandelRead(priv, ZANDEL_BLIT_CMD) & ZANDEL_STATUS_NO_CMD) == 0)
            return 1;
    ErrorF(msgTimeout);
    return 0;
}

/* ---- Clip ---- */

void zandelLoadClip(zandelScreenPrivPtr priv, const BoxRec *box, int32_t byteX2) {
    const uint32_t x1 = (uint32_t)box->x1, y1 = (uint32_t)box->y1;
    const uint32_t x2 = (uint32_t)(box->x2 - 1), y2 = (uint32_t)(box->y2 - 1);
    const uint32_t size = (uint32_t)priv->pixelSize;
    zandelWrite(priv, ZANDEL_CLIP_MIN, x1 << 16 | y1);
    zandelWrite(priv, ZANDEL_CLIP_MAX, x2 << 16 | y2);
    zandelWrite(priv, ZANDEL_BYTE_CLIP_MIN, (x1 * size) << 16 | y1);
    zandelWrite(priv, ZANDEL_BYTE_CLIP_MAX, (uint32_t)(byteX2 - 1) << 16 | y2);
}

void zandelSetClipRegions(BoxPtr boxes, int n, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    /* The engine has one clip rectangle: only the first box counts. */
    const BoxRec box = n > 0 ? boxes[0] : priv->screenBox;
    if (!zandelWaitIdle(priv))
        return;
    priv->clipBox = box;
    zandelLoadClip(priv, &box, box.x2 * priv->pixelSize);
}

/* ---- Fills: rectangles, points, spans, segments ---- */

static Bool zandelFillSetup(zandelScreenPrivPtr priv, Pixel fg, int alu, uint32_t planemask,
                            uint32_t rasterExtra) {
    alu = zandelAlu(alu);
    if (alu < 0)
        return 0;
    const uint32_t colour = zandelColour(priv, fg, alu);
    if (!zandelWaitIdle(priv))
        return 0;
    zandelWrite(priv, ZANDEL_RASTER, priv->fillRop[alu & 15] | rasterExtra);
    zandelWrite(priv, ZANDEL_PLANE_MASK, zandelPlaneMask(priv->pixelSize, planemask));
    zandelWrite(priv, ZANDEL_COLOR0, colour);
    for (int i = 0; i < 4; i++)
        zandelWrite(priv, ZANDEL_PATTERN(i), 0);
    return 1;
}

/* Two vertices into a figure's register pair, then the start. */
static Bool zandelFigure(zandelScreenPrivPtr priv, uint32_t xReg, uint32_t yReg, int x1, int y1,
                         int x2, int y2) {
    zandelWrite(priv, xReg, (uint32_t)x1);
    zandelWrite(priv, yReg, (uint32_t)y1);
    zandelWrite(priv, xReg, (uint32_t)x2);
    zandelWrite(priv, yReg, (uint32_t)y2);
    if (!zandelWaitCommand(priv))
        return 0;
    (void)zandelRead(priv, ZANDEL_QUAD_CMD);
    return 1;
}

static Bool zandelPoint(zandelScreenPrivPtr priv, int x, int y) {
    zandelWrite(priv, ZANDEL_POINT_X, (uint32_t)x);
    zandelWrite(priv, ZANDEL_POINT_Y, (uint32_t)y);
    if (!zandelWaitCommand(priv))
        return 0;
    (void)zandelRead(priv, ZANDEL_QUAD_CMD);
    return 1;
}

void zandelDrawSolidRects(BoxPtr boxes, int n, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (!zandelFillSetup(priv, fg, alu, planemask, 0))
        return;
    for (int i = 0; i < n; i++)
        if (!zandelFigure(priv, ZANDEL_RECT_X, ZANDEL_RECT_Y, boxes[i].x1, boxes[i].y1, boxes[i].x2,
                          boxes[i].y2))
            return;
}

void zandelSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    zandelDrawSolidRects(boxes, n, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask, pDraw);
}

void zandelDrawPoints(DDXPointPtr points, int n, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (!zandelFillSetup(priv, fg, alu, planemask, ZANDEL_RASTER_QUAD_LINE))
        return;
    for (int i = 0; i < n; i++)
        if (!zandelPoint(priv, points[i].x, points[i].y))
            return;
}

void zandelSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int n) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    if (!zandelFillSetup(priv, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask,
                         ZANDEL_RASTER_QUAD_LINE))
        return;
    for (int i = 0; i < n; i++) {
        /* A line takes both its ends: an empty span draws nothing. */
        if (widths[i] <= 0)
            continue;
        if (!zandelFigure(priv, ZANDEL_LINE_X, ZANDEL_LINE_Y, points[i].x, points[i].y,
                          points[i].x + widths[i] - 1, points[i].y))
            return;
    }
}

void zandelSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                        int y1, int e, int e1, int e2, int len) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    if (!zandelFillSetup(priv, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask,
                         ZANDEL_RASTER_QUAD_LINE))
        return;
    int x = x1, y = y1;
    for (int i = 0; i < len; i++) {
        if (!zandelPoint(priv, x, y))
            return;
        if (axis != 1 || e > 0)
            x += signdx;
        if (axis == 1 || e > 0)
            y += signdy;
        e += e <= 0 ? e1 : e2;
    }
}

void zandelPolyZeroSeg(GCPtr pGC, DrawablePtr pDraw, xSegment *segs, int count) {
    if (count <= 0)
        return;
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    if (!zandelFillSetup(priv, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask,
                         ZANDEL_RASTER_QUAD_LINE))
        return;
    for (int i = 0; i < count; i++)
        if (!zandelFigure(priv, ZANDEL_LINE_X, ZANDEL_LINE_Y, segs[i].x1, segs[i].y1, segs[i].x2,
                          segs[i].y2))
            return;
}

/* ---- Copies ---- */

void zandelCopyRect(BoxPtr box, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    alu = zandelAlu(alu);
    if (alu < 0)
        return;
    if (zandelForcedAlu(alu)) {
        zandelDrawSolidRects(box, 1, 0, alu, planemask, pDraw);
        return;
    }
    const uint32_t b = (uint32_t)priv->pixelSize;
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    const uint32_t sx = (uint32_t)src->x, sy = (uint32_t)src->y;
    const uint32_t dx = (uint32_t)box->x1, dy = (uint32_t)box->y1;
    const uint32_t mask = zandelPlaneMask(priv->pixelSize, planemask);
    zandelWrite(priv, ZANDEL_DEV_X0Y0, (sx * b) << 16 | (sy & 0xFFFF));
    zandelWrite(priv, ZANDEL_DEV_X1Y1, ((sx + w) * b - 1) << 16 | ((sy + h - 1) & 0xFFFF));
    zandelWrite(priv, ZANDEL_DEV_X2Y2, (dx * b) << 16 | (dy & 0xFFFF));
    zandelWrite(priv, ZANDEL_DEV_X3Y3, ((dx + w) * b - 1) << 16 | ((dy + h - 1) & 0xFFFF));
    if (!zandelWaitIdle(priv))
        return;
    zandelWrite(priv, ZANDEL_RASTER, priv->copyRop[alu & 15]);
    zandelWrite(priv, ZANDEL_PLANE_MASK, mask);
    zandelStartBlit(priv);
}

/* ---- Images ---- */

void zandelDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    alu = zandelAlu(alu);
    if (alu < 0)
        return;
    if (zandelForcedAlu(alu)) {
        zandelDrawSolidRects(box, 1, 0, alu, planemask, pDraw);
        return;
    }
    const uint32_t b = (uint32_t)priv->pixelSize;
    const uint32_t x1 = (uint32_t)box->x1 * b, x2 = (uint32_t)box->x2 * b;
    const int rowBytes = (int)(x2 - x1);
    const int step = stride != 0 ? stride : rowBytes;
    zandelWrite(priv, ZANDEL_DEV_X0, x1);
    zandelWrite(priv, ZANDEL_DEV_X1Y1, x1 << 16 | (uint32_t)box->y1);
    zandelWrite(priv, ZANDEL_DEV_X2, x2);
    zandelWrite(priv, ZANDEL_DEV_Y3, 1);
    if (!zandelWaitIdle(priv))
        return;
    zandelWrite(priv, ZANDEL_RASTER, priv->copyRop[alu & 15]);
    zandelWrite(priv, ZANDEL_PLANE_MASK, zandelPlaneMask(priv->pixelSize, planemask));
    const int whole = rowBytes / 4, tail = rowBytes % 4;
    for (int y = box->y1; y < box->y2; y++, pixels += step) {
        for (int i = 0; i < whole; i++) {
            uint32_t word;
            __builtin_memcpy(&word, pixels + 4 * i, 4);
            zandelWrite(priv, ZANDEL_IMAGE_DATA, word);
        }
        /* The row's last bytes, and nothing past them: an unpadded image
         * ends there. */
        if (tail != 0) {
            uint32_t word = 0;
            __builtin_memcpy(&word, pixels + 4 * whole, (size_t)tail);
            zandelWrite(priv, ZANDEL_IMAGE_DATA, word);
        }
    }
}

void zandelReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pDraw->pScreen);
    if (!zandelWaitIdle(priv) || !zandelWaitCommand(priv))
        return;
    const int b = priv->pixelSize;
    const int row = (box->x2 - box->x1) * b;
    const int step = stride != 0 ? stride : row;
    for (int y = box->y1; y < box->y2; y++, dst += step)
        __builtin_memcpy(dst,
                         priv->frameBuffer + (size_t)y * (size_t)priv->pixBytes +
                             (size_t)box->x1 * (size_t)b,
                         (size_t)row);
}
