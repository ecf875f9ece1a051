/*
 * The drawing engine and the processor paths: the minterm tables, the wait,
 * the clip, solid rectangles, spans and screen copies in the engine; points,
 * zero-width segments and images by the processor in the frame buffer.
 *
 * The engine takes 16-bit minterms over its foreground, background, source
 * and destination operands; colours and plane masks go in unchanged.
 */
#include "wexla.h"

/* Polls of the status register before a wait gives up: far above any real
 * wait, and below the point where a caller would take the server for hung. */
#define WEXLA_WAIT_LIMIT 200000

static const char msgTimeout[] = "wexla: drawing engine timed out, operation abandoned\n";

uint32_t wexlaFGRasterOps[16];
uint32_t wexlaFBRasterOps[16];

/* Operands: foreground 0xFF00 for fills, source 0xCCCC for copies,
 * destination 0xAAAA. The upper halves are part of the values the engine
 * has always been given. */
static const uint32_t wexlaFillMinterms[16] = {
    0x00000000, 0x0000AA00, 0x00005500, 0x0000FF00, 0x000000AA,       0x0000AAAA,
    0x000055AA, 0x0000FFAA, 0xFFFF0055, 0xFFFFAA55, WEXLA_NO_MINTERM, 0xFFFFFF55,
    0xFFFF00FF, 0xFFFFAAFF, 0xFFFF55FF, 0x0000FFFF};
static const uint32_t wexlaCopyMinterms[16] = {
    0x00000000, 0x00008888, 0x00004444, 0x0000CCCC, 0x00002222,       0x0000AAAA,
    0x00006666, 0x0000EEEE, 0xFFFF1111, 0xFFFF9999, WEXLA_NO_MINTERM, 0xFFFFDDDD,
    0xFFFF3333, 0xFFFFBBBB, 0xFFFF7777, 0x0000FFFF};

void wexlaBuildRasterOps(void) {
    for (int alu = 0; alu < 16; alu++) {
        wexlaFGRasterOps[alu] = wexlaFillMinterms[alu];
        wexlaFBRasterOps[alu] = wexlaCopyMinterms[alu];
    }
}

Bool EngineIdleWait(wexlaScreenPrivPtr priv) {
    for (int i = 0; i < WEXLA_WAIT_LIMIT; i++)
        if ((wexlaRead(priv, WEXLA_STATUS) & WEXLA_STATUS_BUSY) == 0)
            return 1;
    ErrorF(msgTimeout);
    return 0;
}

static inline uint32_t wexlaXY(int x, int y) {
    return (uint32_t)(x & 0xFFFF) << 16 | (uint32_t)(y & 0xFFFF);
}

/* ---- Clip ---- */

void wexlaSetClipRegions(BoxPtr boxes, int n, DrawablePtr pDraw) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    /* The engine has one clip rectangle: only the first box counts. */
    const BoxRec box = n > 0 ? boxes[0] : priv->screenBox;
    if (!EngineIdleWait(priv))
        return;
    priv->clipBox = box;
    wexlaWrite(priv, WEXLA_CLIP_MIN, wexlaXY(box.x1, box.y1));
    wexlaWrite(priv, WEXLA_CLIP_MAX, wexlaXY(box.x2 - 1, box.y2 - 1));
}

/* ---- Engine fills and copies ---- */

static Bool wexlaFillSetup(wexlaScreenPrivPtr priv, Pixel fg, int alu, uint32_t planemask) {
    if (!EngineIdleWait(priv))
        return 0;
    wexlaWrite(priv, WEXLA_RASTER, wexlaFGRasterOps[alu]);
    wexlaWrite(priv, WEXLA_PLANE_MASK, planemask);
    wexlaWrite(priv, WEXLA_FOREGROUND, (uint32_t)fg);
    return 1;
}

static Bool wexlaQuad(wexlaScreenPrivPtr priv, int x1, int y1, int x2, int y2) {
    if (!EngineIdleWait(priv))
        return 0;
    wexlaWrite(priv, WEXLA_RECT_VERTEX, wexlaXY(x1, y1));
    wexlaWrite(priv, WEXLA_RECT_VERTEX, wexlaXY(x2, y2));
    (void)wexlaRead(priv, WEXLA_QUAD_CMD);
    return 1;
}

void wexlaDrawSolidRects(BoxPtr boxes, int n, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    const int a = wexlaAlu(alu);
    if (a == GXinvert) {
        genDrawSolidRects(boxes, n, fg, alu, planemask, pDraw);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (a < 0 || n <= 0 || !wexlaFillSetup(priv, fg, a, planemask))
        return;
    for (int i = 0; i < n; i++)
        if (!wexlaQuad(priv, boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2))
            return;
}

void wexlaSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int n) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    const int a = wexlaAlu(gcPriv->alu);
    if (a == GXinvert) {
        genSolidFS(pGC, pDraw, points, widths, n);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (a < 0 || n <= 0 || !wexlaFillSetup(priv, gcPriv->fgPixel, a, gcPriv->planemask))
        return;
    for (int i = 0; i < n; i++)
        if (!wexlaQuad(priv, points[i].x, points[i].y, points[i].x + widths[i], points[i].y + 1))
            return;
}

void wexlaCopyRect(BoxPtr box, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    const int a = wexlaAlu(alu);
    if (a == GXinvert) {
        genCopyRect(box, src, alu, planemask, pDraw);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (a < 0 || !EngineIdleWait(priv))
        return;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    wexlaWrite(priv, WEXLA_DEV_X0Y0, wexlaXY(src->x, src->y));
    wexlaWrite(priv, WEXLA_DEV_X1Y1, wexlaXY(src->x + w - 1, src->y + h - 1));
    wexlaWrite(priv, WEXLA_DEV_X2Y2, wexlaXY(box->x1, box->y1));
    wexlaWrite(priv, WEXLA_DEV_X3Y3, wexlaXY(box->x2 - 1, box->y2 - 1));
    if (!EngineIdleWait(priv))
        return;
    wexlaWrite(priv, WEXLA_RASTER, wexlaFBRasterOps[a]);
    wexlaWrite(priv, WEXLA_PLANE_MASK, planemask);
    (void)wexlaRead(priv, WEXLA_BLIT_CMD);
}

/* ---- Processor paths ---- */

/* A pixel the frame buffer holds: inside the box of all video memory. The
 * layer hands clipped coordinates; anything else must not reach past the
 * memory. */
static inline Bool wexlaInMemory(const wexlaScreenPrivate *priv, int x, int y) {
    return x >= priv->screenBox.x1 && x < priv->screenBox.x2 && y >= priv->screenBox.y1 &&
           y < priv->screenBox.y2;
}

static inline uint8_t *wexlaPixel(const wexlaScreenPrivate *priv, int x, int y) {
    return priv->frameBuffer + (size_t)y * (size_t)priv->pixBytes + (size_t)x;
}

static inline Bool wexlaPlainStore(int alu, uint32_t planemask) {
    return wexlaAlu(alu) == GXcopy && (planemask & 0xFF) == 0xFF;
}

void wexlaDrawPoints(DDXPointPtr points, int n, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    if (!wexlaPlainStore(alu, planemask)) {
        genDrawPoints(points, n, fg, alu, planemask, pDraw);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (!EngineIdleWait(priv))
        return;
    for (int i = 0; i < n; i++)
        if (wexlaInMemory(priv, points[i].x, points[i].y))
            *wexlaPixel(priv, points[i].x, points[i].y) = (uint8_t)fg;
}

void wexlaSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len) {
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    if (!wexlaPlainStore(gcPriv->alu, gcPriv->planemask)) {
        genSolidZeroSeg(pGC, pDraw, signdx, signdy, axis, x1, y1, e, e1, e2, len);
        return;
    }
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (!EngineIdleWait(priv))
        return;
    const uint8_t fg = (uint8_t)gcPriv->fgPixel;
    int x = x1, y = y1;
    for (int i = 0; i < len; i++) {
        if (wexlaInMemory(priv, x, y))
            *wexlaPixel(priv, x, y) = fg;
        if (axis != 1 || e > 0)
            x += signdx;
        if (axis == 1 || e > 0)
            y += signdy;
        e += e <= 0 ? e1 : e2;
    }
}

/* A box wholly inside video memory, and not empty. */
static Bool wexlaBoxFits(const wexlaScreenPrivate *priv, const BoxRec *box) {
    return box->x1 < box->x2 && box->y1 < box->y2 && wexlaInMemory(priv, box->x1, box->y1) &&
           wexlaInMemory(priv, box->x2 - 1, box->y2 - 1);
}

void wexlaReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    if (!wexlaBoxFits(priv, box) || !EngineIdleWait(priv))
        return;
    const int row = box->x2 - box->x1;
    const int step = stride != 0 ? stride : row;
    for (int y = box->y1; y < box->y2; y++, dst += step)
        __builtin_memcpy(dst, wexlaPixel(priv, box->x1, y), (size_t)row);
}

/* The X definition of `alu` over source s and destination d. */
static inline uint8_t wexlaAluByte(int alu, uint8_t s, uint8_t d) {
    switch (alu) {
    case GXclear:
        return 0;
    case GXand:
        return s & d;
    case GXandReverse:
        return s & (uint8_t)~d;
    case GXcopy:
        return s;
    case GXandInverted:
        return (uint8_t)~s & d;
    case GXnoop:
        return d;
    case GXxor:
        return s ^ d;
    case GXor:
        return s | d;
    case GXnor:
        return (uint8_t) ~(s | d);
    case GXequiv:
        return (uint8_t) ~(s ^ d);
    case GXinvert:
        return (uint8_t)~d;
    case GXorReverse:
        return s | (uint8_t)~d;
    case GXcopyInverted:
        return (uint8_t)~s;
    case GXorInverted:
        return (uint8_t)~s | d;
    case GXnand:
        return (uint8_t) ~(s & d);
    default:
        return 0xFF;
    }
}

void wexlaDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pDraw->pScreen);
    const int a = wexlaAlu(alu);
    const uint8_t m = (uint8_t)planemask;
    if (a < 0 || !wexlaBoxFits(priv, box) || !EngineIdleWait(priv))
        return;
    if (m == 0 || a == GXnoop)
        return;
    const int row = box->x2 - box->x1;
    const int step = stride != 0 ? stride : row;
    for (int y = box->y1; y < box->y2; y++, pixels += step) {
        uint8_t *d = wexlaPixel(priv, box->x1, y);
        if (m == 0xFF && a == GXcopy) {
            int i = 0;
            for (; i + 4 <= row; i += 4)
                __builtin_memcpy(d + i, pixels + i, 4);
            for (; i < row; i++)
                d[i] = pixels[i];
        } else if (m == 0xFF && (a == GXclear || a == GXset)) {
            __builtin_memset(d, a == GXset ? 0xFF : 0, (size_t)row);
        } else if (m == 0xFF) {
            for (int i = 0; i < row; i++)
                d[i] = wexlaAluByte(a, pixels[i], d[i]);
        } else {
            for (int i = 0; i < row; i++)
                d[i] = (uint8_t)((d[i] & (uint8_t)~m) | (wexlaAluByte(a, pixels[i], d[i]) & m));
        }
    }
}
