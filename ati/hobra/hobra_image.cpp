/*
 * hobra: pixel data through the engine's data port. The burst routines that
 * size each string output to the free FIFO entries, the across-plane form of
 * 1-bit data (TransMorgrify), and the image write and read of the window
 * operations.
 */
#include "hobra.h"

/* The across-plane word of each bitmap byte (leftmost pixel in bit 0): the
 * byte's bits reversed and spread over word bits 1-4 and 9-12. */
static uint16_t TransMorgrify[256];

#define AP_WORD_BITS 0x1E1E
#define AP_CHUNK 64 /* across-plane words translated at a time */

void hobraInitTransMorgrify(void) {
    for (int b = 0; b < 256; b++) {
        uint32_t r = 0;
        for (int bit = 0; bit < 8; bit++)
            if (b & (1 << bit))
                r |= 0x80u >> bit;
        TransMorgrify[b] = (uint16_t)(((r >> 3) | (r << 9)) & AP_WORD_BITS);
    }
}

/* Free FIFO entries from the status low byte: k queued entries set its k
 * low bits, so 8 minus the lowest clear bit. */
static int hobraFreeEntries(uint16_t status) {
    int lowestClear = 0;
    while (lowestClear < HOBRA_FIFO_DEPTH && (status & (1u << lowestClear)))
        lowestClear++;
    return HOBRA_FIFO_DEPTH - lowestClear;
}

/* `count` words to the data port, each burst as long as the FIFO has room
 * for. With count 0 nothing is written (after one wait for room). */
void hobraBlockOutW(uint16_t *words, int count) {
    do {
        int free;
        while ((free = hobraFreeEntries(ioIn16(HOBRA_STATUS2))) == 0)
            ;
        int n = free < count ? free : count;
        if (n > 0)
            ioOutsw(HOBRA_PIX_TRANS, words, (uint32_t)n);
        words += n;
        count -= n;
    } while (count > 0);
}

/* The same words with single port writes, four behind each wait. */
void hobraSlowBlockOutW(uint16_t *words, int count) {
    for (; count >= 4; count -= 4, words += 4) {
        FifoSpaceWait(4);
        for (int i = 0; i < 4; i++)
            outw(HOBRA_PIX_TRANS, words[i]);
    }
    if (count > 0) {
        FifoSpaceWait(count);
        for (int i = 0; i < count; i++)
            outw(HOBRA_PIX_TRANS, words[i]);
    }
}

/* `count` words from the data port; the engine keeps pace with the reads. */
void hobraBlockInW(uint16_t *words, int count) {
    if (count > 0)
        ioInsw(HOBRA_PIX_TRANS, words, (uint32_t)count);
}

/* The across-plane words of `count` bitmap bytes, `chunk` at a time through
 * `buffer`, each batch sent by `out`. */
static void hobraAPOut(uint8_t *bytes, int count, uint16_t *buffer, int chunk,
                       void (*out)(uint16_t *, int)) {
    while (count > 0) {
        int n = count < chunk ? count : chunk;
        for (int i = 0; i < n; i++)
            buffer[i] = TransMorgrify[bytes[i]];
        out(buffer, n);
        bytes += n;
        count -= n;
    }
}

/* Translated a chunk at a time through a fixed buffer: no allocation that
 * could fail, and each chunk still goes out in bursts sized to the FIFO. */
void hobraAPBlockOutW(uint8_t *bytes, int count) {
    uint16_t chunk[AP_CHUNK];
    hobraAPOut(bytes, count, chunk, AP_CHUNK, hobraBlockOutW);
}

/* The same words with single port writes; built piecewise on the stack, so
 * a long transfer needs no stack of its size. */
void hobraSlowAPBlockOutW(uint8_t *bytes, int count) {
    uint16_t chunk[AP_CHUNK];
    hobraAPOut(bytes, count, chunk, AP_CHUNK, hobraSlowBlockOutW);
}

/* ---- images ---- */

/* One word of two pixels, the left one in the low byte. */
static void hobraOutPair(uint8_t left, uint8_t right) {
    FifoSpaceWait(1);
    outw(HOBRA_PIX_TRANS, (uint16_t)(left | right << 8));
}

/* `pixels` bytes in words from `p`; an odd last pixel goes alone in the
 * low byte, so nothing past the pixels is read. */
static void hobraOutPixels(const uint8_t *p, int pixels) {
    if (pixels / 2 > 0)
        hobraBlockOutW((uint16_t *)(void *)p, pixels / 2);
    if (pixels & 1)
        hobraOutPair(p[pixels - 1], 0);
}

/* The engine takes a box's pixels as one stream: a row's end does not end
 * a word. Odd rows go in pairs that share the word across their seam. */
static void hobraSendImage(const uint8_t *pixels, int stride, int w, int h) {
    if (stride == w) {
        hobraOutPixels(pixels, w * h);
        return;
    }
    if ((w & 1) == 0) {
        for (int row = 0; row < h; row++)
            hobraOutPixels(pixels + (size_t)row * (size_t)stride, w);
        return;
    }
    int row = 0;
    for (; row + 1 < h; row += 2) {
        const uint8_t *upper = pixels + (size_t)row * (size_t)stride;
        const uint8_t *lower = upper + stride;
        hobraOutPixels(upper, w - 1);
        hobraOutPair(upper[w - 1], lower[0]);
        hobraOutPixels(lower + 1, w - 1);
    }
    if (row < h)
        hobraOutPixels(pixels + (size_t)row * (size_t)stride, w);
}

void hobraDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    FifoSpaceWait(5);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_HOST));
    outw(HOBRA_CUR_X, (uint16_t)(box->x1 & POS_MASK));
    FifoSpaceWait(4);
    outw(HOBRA_CUR_Y, (uint16_t)(box->y1 & POS_MASK));
    outw(HOBRA_MAJ_AXIS, (uint16_t)(w - 1));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_HEIGHT | ((h - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_CMD, CMD_IMAGE_WRITE);
    if (priv->waitBeforeData)
        FifoSpaceWait(HOBRA_FIFO_DEPTH);
    hobraSendImage(pixels, stride, w, h);
}

/* Rows one at a time: w / 2 words, and for an odd width one word more
 * whose low byte is the row's last pixel. */
static void hobraLoadUnequalStrideImage(uint8_t *dst, int stride, int w, int h, int odd) {
    for (int row = 0; row < h; row++, dst += stride) {
        if (w / 2 > 0)
            hobraBlockInW((uint16_t *)(void *)dst, w / 2);
        if (odd)
            dst[w - 1] = (uint8_t)inw(HOBRA_PIX_TRANS);
    }
}

void hobraReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    int odd = w & 1;
    FifoSpaceWait(5);
    outw(HOBRA_WRITE_MASK, ALL_PLANES);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[GXcopy] | MIX_SRC_HOST));
    outw(HOBRA_CUR_X, (uint16_t)(box->x1 & POS_MASK));
    FifoSpaceWait(4);
    outw(HOBRA_CUR_Y, (uint16_t)(box->y1 & POS_MASK));
    outw(HOBRA_MAJ_AXIS, (uint16_t)(w - 1 + odd));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_HEIGHT | ((h - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_CMD, CMD_IMAGE_READ);
    if (priv->waitBeforeData)
        FifoSpaceWait(HOBRA_FIFO_DEPTH);
    if (w == 1 && h == 1)
        dst[0] = (uint8_t)inw(HOBRA_PIX_TRANS);
    else if (stride == w && !odd)
        hobraBlockInW((uint16_t *)(void *)dst, w * h / 2);
    else
        hobraLoadUnequalStrideImage(dst, stride, w, h, odd);
}
