/*
 * Mach64 monochrome images: a 1-bit bitmap is expanded by the engine as it
 * arrives through HOST_DATA0, one line per operation. The engine takes the
 * first pixel in the least significant bit, as the server's bitmaps hold it,
 * so the bits go out as they are, only shifted to the box's starting bit.
 */
#include "mach64.h"

static inline uint32_t m64MonoMix(int alu) {
    return UNAME(RasterOps)[alu & 0xF];
}

/* The destination in the screen's code, the host data one bit per pixel. */
static inline uint32_t m64MonoPixWidth(const teskScreenPrivate *priv) {
    return m64DstPixWidth(priv->pixWidthCode) | DP_PIX_LSB_FIRST;
}

/* ---- Host data ---- */

/* Word k of a line whose bits fill `bytes` bytes; bytes past them are
 * never read, so the last line of a bitmap may end anywhere. */
static uint32_t m64BitsWord(const uint8_t *line, int k, int bytes) {
    int at = k * 4;
    int have = bytes - at;
    if (have <= 0)
        return 0;
    if (have > 4)
        have = 4;
    uint32_t w = 0;
    for (int i = 0; i < have; i++)
        w |= (uint32_t)line[at + i] << (8 * i);
    return w;
}

extern "C" DRV_EXPORT void UNAME(PackNSend)(teskScreenPrivate *priv, uint32_t *bits, int x, int y,
                                            int width, int height, int startBit, int stride) {
    /* An empty box starts no operation: its closing word would find none. */
    if (width <= 0 || height <= 0)
        return;
    int words = (width + 31) / 32;
    const uint8_t *line = (const uint8_t *)bits;
    int shift = startBit;
    if (startBit >= 32) {
        line += (startBit / 32) * 4;
        shift = startBit % 32;
    }
    /* The line's own bits: from `shift` to `shift + width`. */
    int lineBytes = (shift + width + 7) / 8;
    uint32_t size = (uint32_t)width << 16 | 1u;

    for (int i = 0; i < height; i++, line += stride) {
        FifoSpaceWait(priv, 2);
        m64OutDstYX(priv, (uint32_t)(uint16_t)x << 16 | (uint32_t)(uint16_t)(y + i));
        m64Out(priv, DST_HEIGHT_WIDTH, size);
        if (words <= FIFO_ENTRIES)
            FifoSpaceWait(priv, words);
        for (int j = 0; j < words; j++) {
            if (words > FIFO_ENTRIES)
                FifoSpaceWait(priv, 1);
            uint32_t w = m64BitsWord(line, j, lineBytes);
            if (shift != 0)
                w = w >> shift | m64BitsWord(line, j + 1, lineBytes) << (32 - shift);
            m64Out(priv, HOST_DATA0, w);
        }
        FifoSpaceWait(priv, 1);
        m64Out(priv, HOST_DATA0, 0);
    }
}

/* ---- Expansion ---- */

void UNAME(FixedDraw)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                      uint32_t planemask, DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    FifoSpaceWait(priv, 6);
    /* 0 bits leave the destination. */
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX,
                   m64MonoMix(alu) << 16 | UNAME(RasterOps)[GXnoop]);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, fg);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_HOST_BITS);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64MonoPixWidth(priv));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    UNAME(PackNSend)
    (priv, (uint32_t *)bits, box->x1, box->y1, box->x2 - box->x1, box->y2 - box->y1, startBit,
     stride);
}

static void UNAME(FixedOpaqueDraw)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                   Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    uint32_t mix = m64MonoMix(alu);
    FifoSpaceWait(priv, 7);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix | mix << 16);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, fg);
    m64OutShadowed(priv, &priv->shadowBgColor, DP_BKGD_CLR, bg);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_DEFAULT);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_HOST_BITS);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64MonoPixWidth(priv));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    UNAME(PackNSend)
    (priv, (uint32_t *)bits, box->x1, box->y1, box->x2 - box->x1, box->y2 - box->y1, startBit,
     stride);
}

/* A box wider than the screen is beyond what one engine line takes here:
 * the server draws it. */
void UNAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                          uint32_t planemask, DrawablePtr pDraw) {
    if (box->x2 - box->x1 > M64_PRIV(pDraw->pScreen)->width) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu & 0xFF, planemask, pDraw);
        return;
    }
    UNAME(FixedDraw)(box, bits, startBit, stride, fg, alu, planemask, pDraw);
}

void UNAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (box->x2 - box->x1 > M64_PRIV(pDraw->pScreen)->width) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu & 0xFF, planemask, pDraw);
        return;
    }
    UNAME(FixedOpaqueDraw)(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
}
