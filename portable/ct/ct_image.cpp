/*
 * Images: written by the engine from host data when the pixels can be fed
 * in whole units (quadwords on the 65550, words on the others), else by the
 * processor; read by the processor. And the choice of a GC's operations.
 */
#include "ct.h"

#define CT_UNIT (ctTraits.hostUnit)

static inline void ctHostData(const ctScreenPrivate *priv, uint32_t word) {
    if (CT_IS_65550)
        mmWrite32(priv->fbBase + CT_HOST_PORT_65550, word);
    else
        mmWrite32(priv->fbBase, word);
}

/* Word `k` of a row of host data that starts `lead` bytes before the
 * row's first pixel byte and has `bytes` pixel bytes: the bytes outside the
 * row are sent as 0 and never read. */
static inline uint32_t ctRowWord(const uint8_t *row, uint32_t lead, uint32_t bytes, uint32_t k) {
    uint32_t word = 0;
    for (uint32_t j = 0; j < 4; j++) {
        uint32_t at = 4 * k + j;
        if (at >= lead && at - lead < bytes)
            word |= (uint32_t)row[at - lead] << (8 * j);
    }
    return word;
}

static inline void ctStartHostImage(const ctScreenPrivate *priv, int alu, uint32_t srcPitch,
                                    uint32_t srcOffset, int x, int y, int w, int h) {
    ctWaitIdle();
    ctSetControl(NAME(PixelOps)[alu & 0xF] | (CT_IS_65550 ? CT550_HOST_COLOUR : CT548_HOST_COLOUR));
    ctSetPitches(srcPitch, (uint32_t)priv->stride);
    ctSetSource(srcOffset);
    ctSetDest(ctAddress(priv, x, y));
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
}

/* Pixels not aligned to the unit, or rows apart: each row is sent from the
 * unit its first pixel lies in to the unit its last pixel ends in. */
void ctDrawImageSlow(DrawablePtr pDraw, int alu, int x, int y, int w, int h, const uint8_t *pixels,
                     int stride) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    uint32_t lead = (uint32_t)((uintptr_t)pixels & (CT_UNIT - 1));
    uint32_t bytes = (uint32_t)(w * CT_BPP);
    /* An empty row owes the engine nothing: a word sent for it would land in
     * video memory. */
    uint32_t rowBytes = bytes ? (lead + bytes + CT_UNIT - 1) & ~(CT_UNIT - 1) : 0;
    ctStartHostImage(priv, alu, rowBytes, lead, x, y, w, h);
    for (int r = 0; r < h; r++) {
        const uint8_t *row = pixels + r * stride;
        for (uint32_t k = 0; k < rowBytes / 4; k++)
            ctHostData(priv, ctRowWord(row, lead, bytes, k));
    }
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (!ctAllPlanes(priv, planemask)) {
        NAME(DrawImageFB)(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    switch (alu & 0xF) {
    case GXclear:
    case GXinvert:
    case GXset:
        NAME(DrawSolidRects)(box, 1, 0, alu, planemask, pDraw);
        return;
    case GXnoop:
        return;
    default:
        break;
    }
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (h != 1 && stride % (int)CT_UNIT != 0) {
        NAME(DrawImageFB)(box, pixels, stride, alu, ~0u, pDraw);
        return;
    }
    if (((uintptr_t)pixels & (CT_UNIT - 1)) != 0 || (h != 1 && stride != w * CT_BPP)) {
        ctDrawImageSlow(pDraw, alu, box->x1, box->y1, w, h, pixels, stride);
        return;
    }
    /* One block: one row, or rows that follow each other in whole units. */
    uint32_t bytes = h == 1 ? (uint32_t)(w * CT_BPP) : (uint32_t)h * (uint32_t)stride;
    uint32_t words = ((bytes + CT_UNIT - 1) & ~(CT_UNIT - 1)) / 4;
    ctStartHostImage(priv, alu, (uint32_t)stride, 0, box->x1, box->y1, w, h);
    uint32_t whole = bytes / 4;
    if (CT_IS_65550) {
        for (uint32_t k = 0; k < whole; k++) {
            uint32_t word;
            memcpy(&word, pixels + 4 * k, sizeof word);
            ctHostData(priv, word);
        }
    } else {
        mmWriteBlock32(priv->fbBase, pixels, whole);
    }
    /* The last unit's bytes past the image go out as 0. */
    for (uint32_t k = whole; k < words; k++) {
        uint32_t word = ctRowWord(pixels, 0, bytes, k);
        if (CT_IS_65550)
            ctHostData(priv, word);
        else
            mmWriteBlock32(priv->fbBase + 4 * k, &word, 1);
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
            uint8_t *dst = ctPixel(priv, box->x1, y);
            const uint8_t *src = pixels + (y - box->y1) * stride;
            for (int x = 0; x < w; x++, dst += CT_BPP) {
                uint32_t old = ctLoadPixel(dst);
                /* The alus that ignore the source do not read it. */
                int a = alu & 0xF;
                uint32_t in = (a == GXclear || a == GXinvert || a == GXset)
                                  ? 0
                                  : ctLoadPixel(src + x * CT_BPP);
                ctStorePixel(dst, xMergeAlu(alu, in, old, mask));
            }
        }
    }
    ctFlushProcessor(priv);
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    ctWaitIdle();
    uint32_t bytes = (uint32_t)(box->x2 - box->x1) * CT_BPP;
    for (int y = box->y1; y < box->y2; y++, dst += stride)
        memcpy(dst, ctPixel(priv, box->x1, y), bytes);
}
