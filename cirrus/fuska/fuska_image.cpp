/*
 * fuska: image write and read by the processor, once per pixel size. Client
 * images hold 1, 2 or 4 bytes per pixel (depth 24 as 32-bit pixels whose low
 * three bytes are the frame buffer's three); the frame buffer holds 1, 2 or
 * 3. Plain copies go straight into the frame buffer, other alus are staged
 * for the engine, and what the engine cannot do is done in software.
 */
#include "fuska.h"

static inline uint32_t fuskaLoad(const uint8_t *p, int n) {
    uint32_t v = p[0];
    if (n > 1)
        v |= (uint32_t)p[1] << 8;
    if (n > 2)
        v |= (uint32_t)p[2] << 16;
    if (n > 3)
        v |= (uint32_t)p[3] << 24;
    return v;
}

static inline void fuskaStore(uint8_t *p, int n, uint32_t v) {
    p[0] = (uint8_t)v;
    if (n > 1)
        p[1] = (uint8_t)(v >> 8);
    if (n > 2)
        p[2] = (uint8_t)(v >> 16);
}

/* `fbBytes` per frame-buffer pixel, `clientBytes` per client pixel. */
static void fuskaDrawImageRaw(BoxPtr box, const uint8_t *pixels, int stride, int alu,
                              uint32_t planemask, DrawablePtr pDraw, int fbBytes, int clientBytes) {
    ScreenPtr pScreen = pDraw->pScreen;
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    uint32_t m = planemask & fuskaPixelMask(pScreen->rootDepth);
    if (m == 0 || (alu & 0xF) == GXnoop)
        return;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    fuskaEngineIdleWait(priv);
    for (int y = 0; y < h; y++) {
        uint8_t *dst =
            priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitch + (intptr_t)box->x1 * fbBytes;
        const uint8_t *src = pixels + (intptr_t)y * stride;
        for (int x = 0; x < w; x++) {
            uint32_t d = fuskaLoad(dst, fbBytes);
            uint32_t s = fuskaLoad(src, clientBytes);
            fuskaStore(dst, fbBytes, xMergeAlu(alu, s, d, m));
            dst += fbBytes;
            src += clientBytes;
        }
    }
}

/* Rows of client pixels to frame-buffer rows `pitch` bytes apart; at depth 24
 * the first three bytes of each 4-byte client pixel. */
static void fuskaCopyRows(uint8_t *dst, intptr_t pitch, const uint8_t *pixels, int stride, int w,
                          int h, int fbBytes, int clientBytes) {
    for (int y = 0; y < h; y++) {
        uint8_t *d = dst + (intptr_t)y * pitch;
        const uint8_t *src = pixels + (intptr_t)y * stride;
        if (fbBytes == clientBytes) {
            __builtin_memcpy(d, src, (size_t)w * (size_t)fbBytes);
            continue;
        }
        for (int x = 0; x < w; x++)
            fuskaStore(d + x * fbBytes, fbBytes, fuskaLoad(src + x * clientBytes, clientBytes));
    }
}

static void fuskaDrawImageCopy(BoxPtr box, const uint8_t *pixels, int stride, DrawablePtr pDraw,
                               int fbBytes, int clientBytes) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    fuskaEngineIdleWait(priv);
    uint8_t *dst = priv->fbBase + (intptr_t)box->y1 * priv->pitch + (intptr_t)box->x1 * fbBytes;
    fuskaCopyRows(dst, priv->pitch, pixels, stride, w, h, fbBytes, clientBytes);
}

/* The engine applies the alu and plane mask while it copies the image from
 * the ScratchArea. An image wider than the ScratchArea is done in software;
 * one taller than it goes in halves, top first, so nothing is written past
 * the end of video memory. */
static void fuskaDrawImageIndirect(BoxPtr box, const uint8_t *pixels, int stride, int alu,
                                   uint32_t planemask, DrawablePtr pDraw, int fbBytes,
                                   int clientBytes) {
    ScreenPtr pScreen = pDraw->pScreen;
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    if (priv->offWidth < w || priv->offHeight <= 0) {
        fuskaDrawImageRaw(box, pixels, stride, alu, planemask, pDraw, fbBytes, clientBytes);
        return;
    }
    if (priv->offHeight < h) {
        int top = h / 2;
        BoxRec upper = {box->x1, box->y1, box->x2, (int16_t)(box->y1 + top)};
        BoxRec lower = {box->x1, (int16_t)(box->y1 + top), box->x2, box->y2};
        fuskaDrawImageIndirect(&upper, pixels, stride, alu, planemask, pDraw, fbBytes, clientBytes);
        fuskaDrawImageIndirect(&lower, pixels + (intptr_t)stride * top, stride, alu, planemask,
                               pDraw, fbBytes, clientBytes);
        return;
    }
    int depth = pScreen->rootDepth;
    /* The previous copy may still be reading the ScratchArea. */
    fuskaEngineIdleWait(priv);
    fuskaCopyRows(priv->fbBase + priv->offAddr, priv->pitch, pixels, stride, w, h, fbBytes,
                  clientBytes);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_COPY | fuskaRasterOps[alu & 0xF]);
    fuskaWrite32(priv, REG_PLANE_MASK, fuskaPlaneMaskValue(depth, planemask));
    fuskaWrite32(priv, REG_SOURCE, XY(priv->offX, priv->offY));
    fuskaStart(priv, REG_DESTINATION, XY(box->x1, box->y1), w, h);
}

/* GXcopy under a full plane mask is a plain processor copy; the engine
 * serves the other alus it has ROP3 codes for; the rest (GXnor, GXnand,
 * partial plane masks at depth 24) is done in software. */
static void fuskaDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                           DrawablePtr pDraw, int fbBytes, int clientBytes) {
    int depth = pDraw->pScreen->rootDepth;
    uint32_t full = fuskaPixelMask(depth);
    if (fuskaNeedsFallback(depth, alu, planemask))
        fuskaDrawImageRaw(box, pixels, stride, alu, planemask, pDraw, fbBytes, clientBytes);
    else if ((alu & 0xFF) != GXcopy || (planemask & full) != full)
        fuskaDrawImageIndirect(box, pixels, stride, alu, planemask, pDraw, fbBytes, clientBytes);
    else
        fuskaDrawImageCopy(box, pixels, stride, pDraw, fbBytes, clientBytes);
}

static void fuskaReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw, int fbBytes,
                           int clientBytes) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    fuskaEngineIdleWait(priv);
    for (int y = 0; y < h; y++) {
        const uint8_t *src =
            priv->fbBase + (intptr_t)(box->y1 + y) * priv->pitch + (intptr_t)box->x1 * fbBytes;
        uint8_t *dst = out + (intptr_t)y * stride;
        /* Only the frame buffer's bytes of each client pixel are written. */
        for (int x = 0; x < w; x++)
            fuskaStore(dst + x * clientBytes, fbBytes, fuskaLoad(src + x * fbBytes, fbBytes));
    }
}

void fuska_8bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    fuskaDrawImage(box, pixels, stride, alu, planemask, pDraw, 1, 1);
}
void fuska_16bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    fuskaDrawImage(box, pixels, stride, alu, planemask, pDraw, 2, 2);
}
void fuska_24bppDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    fuskaDrawImage(box, pixels, stride, alu, planemask, pDraw, 3, 4);
}
void fuska_8bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    fuskaReadImage(box, dst, stride, pDraw, 1, 1);
}
void fuska_16bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    fuskaReadImage(box, dst, stride, pDraw, 2, 2);
}
void fuska_24bppReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    fuskaReadImage(box, dst, stride, pDraw, 3, 4);
}
