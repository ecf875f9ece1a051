/*
 * pilo: the pixel-transfer routines (plain, packed 4-bit pixels, and the two
 * byte halves of 16-bit pixels) and the generic blit set-ups.
 */
#include "pilo.h"

/* Words go out in batches from a buffer on the stack: no allocation on the
 * drawing path. */
#define PILO_BATCH 256

static void piloFlush(const uint16_t *words, uint32_t n) {
    if (n)
        ioOutsw(PILO_PIX_TRANS, words, n);
}

void piloBlockOutW(const uint8_t *data, uint32_t count, uint32_t bytes) {
    if (bytes >= 2 * count) {
        ioOutsw(PILO_PIX_TRANS, data, count);
        return;
    }
    /* The caller's data ends inside the last word: pad it. */
    uint32_t whole = bytes / 2;
    if (whole > count)
        whole = count;
    ioOutsw(PILO_PIX_TRANS, data, whole);
    for (uint32_t i = whole; i < count; i++) {
        uint32_t at = 2 * i;
        uint16_t w = 0;
        if (at < bytes)
            w = data[at];
        outw(PILO_PIX_TRANS, w);
    }
}

void piloBlockOutB(const uint8_t *data, uint32_t count) {
    ioOutsb(PILO_PIX_TRANS, data, count);
}

void piloBlockInW(uint8_t *buffer, uint32_t count) {
    ReadDataWait();
    ioInsw(PILO_PIX_TRANS, buffer, count);
}

/* Four server pixels (one per byte, low nibble) to one word: the first in
 * bits 4-7, the second in 0-3, the third in 12-15, the fourth in 8-11.
 * Pixels at or past `pixels` are sent as 0. */
void piloN2BlockOutW(const uint8_t *data, uint32_t count, uint32_t pixels) {
    uint16_t words[PILO_BATCH];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t p[4] = {0, 0, 0, 0};
        for (uint32_t k = 0; k < 4; k++)
            if (4 * i + k < pixels)
                p[k] = data[4 * i + k];
        words[n++] = (uint16_t)(((p[0] & 0xF) << 4) | (p[1] & 0xF) | ((p[2] & 0xF) << 12) |
                                ((p[3] & 0xF) << 8));
        if (n == PILO_BATCH) {
            piloFlush(words, n);
            n = 0;
        }
    }
    piloFlush(words, n);
}

void piloN2BlockInW(uint8_t *buffer, uint32_t count) {
    uint16_t words[PILO_BATCH];
    ReadDataWait();
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < PILO_BATCH ? count - done : PILO_BATCH;
        ioInsw(PILO_PIX_TRANS, words, n);
        for (uint32_t j = 0; j < n; j++) {
            uint16_t w = words[j];
            uint8_t *p = buffer + 4 * (done + j);
            p[0] = (uint8_t)((w >> 4) & 0xF);
            p[1] = (uint8_t)(w & 0xF);
            p[2] = (uint8_t)((w >> 12) & 0xF);
            p[3] = (uint8_t)((w >> 8) & 0xF);
        }
        done += n;
    }
}

/* One half of 16-bit pixels: word i is the byte of pixel 2i and of pixel
 * 2i + 1 (data[4i] and data[4i + 2]); a pixel at or past `pixels` is 0. */
void piloB2BlockOutW(const uint8_t *data, uint32_t count, uint32_t pixels) {
    uint16_t words[PILO_BATCH];
    uint32_t n = 0;
    FifoSpaceWait(8);
    for (uint32_t i = 0; i < count; i++) {
        uint16_t lo = 2 * i < pixels ? data[4 * i] : 0;
        uint16_t hi = 2 * i + 1 < pixels ? data[4 * i + 2] : 0;
        words[n++] = (uint16_t)(lo | hi << 8);
        if (n == PILO_BATCH) {
            piloFlush(words, n);
            n = 0;
        }
    }
    piloFlush(words, n);
}

void piloB2BlockInW(uint8_t *buffer, uint32_t count) {
    uint16_t words[PILO_BATCH];
    ReadDataWait();
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < PILO_BATCH ? count - done : PILO_BATCH;
        ioInsw(PILO_PIX_TRANS, words, n);
        for (uint32_t j = 0; j < n; j++) {
            uint8_t *p = buffer + 4 * (done + j);
            p[0] = (uint8_t)words[j];
            p[2] = (uint8_t)(words[j] >> 8);
        }
        done += n;
    }
}

void piloPixelBlit(int x, int y, int wm1, int hm1, int code, uint16_t pixelControl,
                   uint32_t readMask, uint32_t writeMask, uint16_t command) {
    FifoSpaceWait(8);
    piloOut(PILO_WRITE_MASK, writeMask);
    piloOut(PILO_READ_MASK, readMask);
    piloOut(PILO_MULTI, pixelControl);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_HOST);
    piloOutPos(PILO_CUR_X, x);
    piloOutPos(PILO_CUR_Y, y);
    piloOut(PILO_MAJ_AXIS, (uint32_t)wm1);
    piloOutMulti(MULTI_HEIGHT, hm1);
    EngineIdleWait();
    piloOut(PILO_CMD, command);
}

void piloCpyRect(int sx, int sy, int dx, int dy, int wm1, int hm1, int code, uint32_t planemask,
                 uint16_t command) {
    FifoSpaceWait(4);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_READ_MASK, planemask);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_MEMORY);
    FifoSpaceWait(7);
    piloOutPos(PILO_CUR_X, sx);
    piloOutPos(PILO_CUR_Y, sy);
    piloOutPos(PILO_DEST_X, dx);
    piloOutPos(PILO_DEST_Y, dy);
    piloOut(PILO_MAJ_AXIS, (uint32_t)wm1);
    piloOutMulti(MULTI_HEIGHT, hm1);
    piloOut(PILO_CMD, command);
}
