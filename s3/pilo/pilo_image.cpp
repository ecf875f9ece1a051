/*
 * pilo: image writes and reads through the pixel-transfer port, repacked for
 * the frame buffer: four 4-bit pixels a word at depth 4, the bytes as they
 * are at depth 8, each byte half on its own at depth 16.
 */
#include "pilo.h"

#define READ_MIX MIX_REPLACE

void piloDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                   DrawablePtr pDraw) {
    if (piloBoxEmpty(box))
        return;
    const piloScreenPrivate *priv = PILO_PRIV(pDraw->pScreen);
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    if (stride == 0)
        stride = (int)w;
    piloPixelBlit(box->x1, box->y1, (int)w - 1, (int)h - 1, piloRasterOps[alu & 0xF],
                  PIXCNTL_FOREGROUND, 0xFF, planemask & 0xFF, CMD_HOST_PIXELS);
    if (priv->depth == 8) {
        if ((uint32_t)stride == w && (w & 1) == 0) {
            piloBlockOutW(pixels, (w * h + 1) / 2, w * h);
            return;
        }
        for (uint32_t row = 0; row < h; row++)
            piloBlockOutW(pixels + (size_t)row * (size_t)stride, (w + 1) / 2, w);
        return;
    }
    if ((uint32_t)stride == w && (w & 3) == 0) {
        piloN2BlockOutW(pixels, (w * h + 3) / 4, w * h);
        return;
    }
    for (uint32_t row = 0; row < h; row++)
        piloN2BlockOutW(pixels + (size_t)row * (size_t)stride, (w + 3) / 4, w);
}

/* One byte half of a depth-16 image: `pixels` points at the first pixel's
 * low or high byte. */
static void piloSendHalf(const uint8_t *pixels, uint32_t w, uint32_t h, int stride) {
    if ((uint32_t)stride == 2 * w && (w & 1) == 0) {
        piloB2BlockOutW(pixels, (w * h + 1) / 2, w * h);
        return;
    }
    for (uint32_t row = 0; row < h; row++)
        piloB2BlockOutW(pixels + (size_t)row * (size_t)stride, (w + 1) / 2, w);
}

void piloDrawImage16(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    (void)pDraw;
    if (piloBoxEmpty(box))
        return;
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    const int code = piloRasterOps[alu & 0xF];
    if (stride == 0)
        stride = (int)(2 * w);
    piloPixelBlit(box->x1, box->y1, (int)w - 1, (int)h - 1, code, PIXCNTL_FOREGROUND, 0xFF,
                  planemask & 0xFF, CMD_HOST_PIXELS);
    piloSendHalf(pixels, w, h, stride);
    piloPixelBlit(box->x1 + BYTE_HALF, box->y1, (int)w - 1, (int)h - 1, code, PIXCNTL_FOREGROUND,
                  0xFF, (planemask >> 8) & 0xFF, CMD_HOST_PIXELS);
    piloSendHalf(pixels + 1, w, h, stride);
}

/* One more word of the read-back. */
static uint16_t piloReadWord(void) {
    return inw(PILO_PIX_TRANS);
}

static void piloReadImage8(const BoxRec *box, uint8_t *dst, int stride) {
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    piloPixelBlit(box->x1, box->y1, (int)(w - 1 + (w & 1)), (int)h - 1, READ_MIX,
                  PIXCNTL_FOREGROUND, 0xFF, 0xFF, CMD_READ_BACK);
    if (w == 1 && h == 1) {
        ReadDataWait();
        dst[0] = (uint8_t)piloReadWord();
        return;
    }
    if ((uint32_t)stride == w && (w & 1) == 0) {
        piloBlockInW(dst, w * h / 2);
        return;
    }
    for (uint32_t row = 0; row < h; row++) {
        uint8_t *line = dst + (size_t)row * (size_t)stride;
        if (w / 2)
            piloBlockInW(line, w / 2);
        if (w & 1) {
            ReadDataWait();
            line[w - 1] = (uint8_t)piloReadWord();
        }
    }
}

static void piloReadImage4(const BoxRec *box, uint8_t *dst, int stride) {
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    const uint32_t w4 = (w + 3) & ~3u;
    piloPixelBlit(box->x1, box->y1, (int)w4 - 1, (int)h - 1, READ_MIX, PIXCNTL_FOREGROUND, 0xFF,
                  0xFF, CMD_READ_BACK);
    if (w == 1 && h == 1) {
        ReadDataWait();
        dst[0] = (uint8_t)((piloReadWord() >> 4) & 0xF);
        return;
    }
    if ((uint32_t)stride == w && (w & 3) == 0) {
        piloN2BlockInW(dst, w * h / 4);
        return;
    }
    const uint32_t r = w & 3;
    for (uint32_t row = 0; row < h; row++) {
        uint8_t *line = dst + (size_t)row * (size_t)stride;
        if (w / 4)
            piloN2BlockInW(line, w / 4);
        if (r) {
            ReadDataWait();
            uint16_t g = piloReadWord();
            line[w - r] = (uint8_t)((g >> 4) & 0xF);
            if (r >= 2)
                line[w - r + 1] = (uint8_t)(g & 0xF);
            if (r == 3)
                line[w - 1] = (uint8_t)((g >> 12) & 0xF);
        }
    }
}

void piloReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    if (piloBoxEmpty(box))
        return;
    const piloScreenPrivate *priv = PILO_PRIV(pDraw->pScreen);
    if (stride == 0)
        stride = box->x2 - box->x1;
    if (priv->depth == 8)
        piloReadImage8(box, dst, stride);
    else
        piloReadImage4(box, dst, stride);
}

/* One byte half of a depth-16 read-back into every other byte of `dst`. */
static void piloReadHalf(int x, const BoxRec *box, uint8_t *dst, int stride) {
    const uint32_t w = (uint32_t)(box->x2 - box->x1), h = (uint32_t)(box->y2 - box->y1);
    piloPixelBlit(x, box->y1, (int)(w - 1 + (w & 1)), (int)h - 1, READ_MIX, PIXCNTL_FOREGROUND,
                  0xFF, 0xFF, CMD_READ_BACK);
    if (w == 1 && h == 1) {
        ReadDataWait();
        dst[0] = (uint8_t)piloReadWord();
        return;
    }
    if ((uint32_t)stride == 2 * w && (w & 1) == 0) {
        piloB2BlockInW(dst, w * h / 2);
        return;
    }
    for (uint32_t row = 0; row < h; row++) {
        uint8_t *line = dst + (size_t)row * (size_t)stride;
        if (w / 2)
            piloB2BlockInW(line, w / 2);
        if (w & 1) {
            ReadDataWait();
            line[2 * (w - 1)] = (uint8_t)piloReadWord();
        }
    }
}

void piloReadImage16(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    (void)pDraw;
    if (piloBoxEmpty(box))
        return;
    if (stride == 0)
        stride = 2 * (box->x2 - box->x1);
    piloReadHalf(box->x1, box, dst, stride);
    piloReadHalf(box->x1 + BYTE_HALF, box, dst + 1, stride);
}
