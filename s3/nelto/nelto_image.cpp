/*
 * nelto: image writes (by the engine from host data, or by the processor
 * with the alu and plane mask applied in software), image reads and
 * zero-width segments, once per pixel size. Client images hold 1, 2 or 4
 * bytes a pixel; the frame buffer 1, 2, 3 (depth 24) or 4.
 */
#include "nelto.h"

static inline uint32_t neltoLoad(const uint8_t *p, int n) {
    uint32_t v = p[0];
    if (n > 1)
        v |= (uint32_t)p[1] << 8;
    if (n > 2)
        v |= (uint32_t)p[2] << 16;
    if (n > 3)
        v |= (uint32_t)p[3] << 24;
    return v;
}

static inline void neltoStore(uint8_t *p, int n, uint32_t v) {
    p[0] = (uint8_t)v;
    if (n > 1)
        p[1] = (uint8_t)(v >> 8);
    if (n > 2)
        p[2] = (uint8_t)(v >> 16);
    if (n > 3)
        p[3] = (uint8_t)(v >> 24);
}

/* The processor path: every pixel through the alu under the plane mask.
 * At depth 24 a client pixel's fourth byte is not used. */
static void neltoDrawImageRaw(BoxPtr box, const uint8_t *pixels, int stride, int alu,
                              uint32_t planemask, DrawablePtr pDraw, int fbBytes, int clientBytes) {
    ScreenPtr pScreen = pDraw->pScreen;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    uint32_t m = planemask & neltoDepthMask(pScreen->rootDepth);
    if (m == 0)
        return;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    neltoEngineIdleWait(priv);
    for (int y = 0; y < h; y++) {
        uint8_t *dst =
            priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitchBytes + (intptr_t)box->x1 * fbBytes;
        const uint8_t *src = pixels + (intptr_t)y * stride;
        for (int x = 0; x < w; x++) {
            uint32_t d = neltoLoad(dst, fbBytes);
            neltoStore(dst, fbBytes, xMergeAlu(alu, neltoLoad(src, fbBytes), d, m));
            dst += fbBytes;
            src += clientBytes;
        }
    }
}

/* The engine takes the image as host data and applies the alu itself. The
 * rows go out whatever the alu: the engine owes a command with a host
 * source its words even when its ROP ignores them. */
static void neltoDrawImageEngine(BoxPtr box, const uint8_t *pixels, int stride, int alu,
                                 DrawablePtr pDraw, int bytes) {
    ScreenPtr pScreen = pDraw->pScreen;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    uint32_t cmd = CMD_IMAGE | neltoROP[alu & 0xF] | neltoFormat(pScreen->rootDepth);
    if (w < NARROW_LIMIT)
        cmd |= CMD_NARROW;
    neltoEngineIdleWait(priv);
    neltoWrite(priv, REG_COMMAND, cmd);
    neltoWrite(priv, REG_SOURCE, 0);
    neltoWrite(priv, REG_SIZE, SIZE_WH(w, h));
    neltoWrite(priv, REG_DESTINATION, XY(box->x1, box->y1));
    neltoSendRows(priv, pixels, stride, h, w * bytes, 0);
}

static void neltoDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                           DrawablePtr pDraw, int fbBytes, int clientBytes) {
    ScreenPtr pScreen = pDraw->pScreen;
    int depth = pScreen->rootDepth;
    if ((alu & 0xF) == GXnoop)
        return;
    if (NELTO_PRIV(pScreen)->accel && fbBytes == clientBytes && depth != 24 &&
        neltoFullMask(depth, planemask))
        neltoDrawImageEngine(box, pixels, stride, alu, pDraw, fbBytes);
    else
        neltoDrawImageRaw(box, pixels, stride, alu, planemask, pDraw, fbBytes, clientBytes);
}

/* Only the frame buffer's bytes of each client pixel are written. */
static void neltoReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw, int fbBytes,
                           int clientBytes) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    neltoEngineIdleWait(priv);
    for (int y = 0; y < h; y++) {
        const uint8_t *src =
            priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitchBytes + (intptr_t)box->x1 * fbBytes;
        uint8_t *dst = out + (intptr_t)y * stride;
        if (fbBytes == clientBytes) {
            if (w > 0)
                __builtin_memcpy(dst, src, (size_t)w * (size_t)fbBytes);
            continue;
        }
        for (int x = 0; x < w; x++)
            neltoStore(dst + x * clientBytes, fbBytes, neltoLoad(src + x * fbBytes, fbBytes));
    }
}

void nelto_8bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    neltoDrawImage(box, pixels, stride, alu, planemask, pDraw, 1, 1);
}
void nelto_16bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    neltoDrawImage(box, pixels, stride, alu, planemask, pDraw, 2, 2);
}
void nelto_24bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    neltoDrawImage(box, pixels, stride, alu, planemask, pDraw, 3, 4);
}
void nelto_32bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    neltoDrawImage(box, pixels, stride, alu, planemask, pDraw, 4, 4);
}
void nelto_8bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    neltoReadImage(box, dst, stride, pDraw, 1, 1);
}
void nelto_16bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    neltoReadImage(box, dst, stride, pDraw, 2, 2);
}
void nelto_24bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    neltoReadImage(box, dst, stride, pDraw, 3, 4);
}
void nelto_32bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    neltoReadImage(box, dst, stride, pDraw, 4, 4);
}
void nelto_8bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    neltoZeroSegs(pGC, pDraw, segs, count, 1);
}
void nelto_16bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    neltoZeroSegs(pGC, pDraw, segs, count, 2);
}
void nelto_24bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    neltoZeroSegs(pGC, pDraw, segs, count, 3);
}
void nelto_32bppSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    neltoZeroSegs(pGC, pDraw, segs, count, 4);
}
