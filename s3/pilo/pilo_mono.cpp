/*
 * pilo: 1-bit data drawn in colour. Host bitmaps go through the transfer
 * port with each bit choosing the foreground or background mix; bitmaps in
 * video memory are expanded plane by plane by a blit whose read mask picks
 * the plane.
 *
 * The server's bitmaps hold the leftmost pixel in the least significant bit
 * of each byte, the engine takes it in the most significant: every byte is
 * mirrored on its way out.
 */
#include "pilo.h"

/* Mirrored data goes out in pieces from a buffer on the stack: no
 * allocation on the drawing path, and nothing to do when one fails. */
#define PILO_MIRROR_WORDS 128

/* The engine splits host bitmaps at this column (depth 4 and 8). */
#define MONO_SPLIT 1024

/* The mirrored byte at `i`, or 0 past the caller's `avail` bytes. */
static inline uint32_t piloMirrored(const uint8_t *bytes, uint32_t i, uint32_t avail) {
    return i < avail ? ddxBitSwap[bytes[i]] : 0u;
}

void piloOffsetBlockOutB(const uint8_t *bytes, uint32_t count, int shift) {
    for (uint32_t i = 0; i < count; i++) {
        uint32_t b = shift < 8 ? ((uint32_t)ddxBitSwap[bytes[i]] << shift) & 0xFF : 0;
        outb(PILO_PIX_TRANS, (uint8_t)b);
    }
}

/* Word i takes its bits from the mirrored bytes 2i to 2i + 2; the last of
 * them may lie past the row, where the caller's data can end: bytes at or
 * past `avail` are taken as 0 (their bits fall past the row and are
 * dropped by the engine). */
void piloOffsetBlockOutW(const uint8_t *bytes, uint32_t count, int shift, uint32_t avail) {
    const int back = 8 - shift;
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t b0 = piloMirrored(bytes, 2 * i, avail);
        const uint32_t b1 = piloMirrored(bytes, 2 * i + 1, avail);
        const uint32_t b2 = piloMirrored(bytes, 2 * i + 2, avail);
        const uint32_t lo = ((b0 << shift) | (b1 >> back)) & 0xFF;
        const uint32_t hi = ((b1 << shift) | (b2 >> back)) & 0xFF;
        outw(PILO_PIX_TRANS, (uint16_t)(lo | hi << 8));
    }
}

void piloCBlockOutB(const uint8_t *bytes, uint32_t count) {
    uint8_t buffer[2 * PILO_MIRROR_WORDS];
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < sizeof buffer ? count - done : (uint32_t)sizeof buffer;
        for (uint32_t i = 0; i < n; i++)
            buffer[i] = ddxBitSwap[bytes[done + i]];
        piloBlockOutB(buffer, n);
        done += n;
    }
}

/* `count` words from 2 x count mirrored bytes (byte 2i low, 2i + 1 high);
 * bytes at or past `avail` are sent as 0. */
void piloCBlockOutW(const uint8_t *bytes, uint32_t count, uint32_t avail) {
    uint16_t buffer[PILO_MIRROR_WORDS];
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < PILO_MIRROR_WORDS ? count - done : PILO_MIRROR_WORDS;
        for (uint32_t i = 0; i < n; i++) {
            const uint32_t at = 2 * (done + i);
            buffer[i] = (uint16_t)(piloMirrored(bytes, at, avail) |
                                   piloMirrored(bytes, at + 1, avail) << 8);
        }
        ioOutsw(PILO_PIX_TRANS, buffer, n);
        done += n;
    }
}

/* From the second wait on, the same for both expansions. */
static void piloFixedBlitStart(int x, int y, int wm1, int hm1, int clipRight, uint16_t command) {
    FifoSpaceWait(5);
    piloOutPos(PILO_CUR_X, x);
    piloOutPos(PILO_CUR_Y, y);
    piloOut(PILO_MAJ_AXIS, (uint32_t)wm1);
    piloOutMulti(MULTI_HEIGHT, hm1);
    piloOutMulti(MULTI_CLIP_RIGHT, clipRight);
    EngineIdleWait();
    piloOut(PILO_CMD, command);
}

void piloFixedBlit(int x, int y, int wm1, int hm1, int clipRight, int code, Pixel fg,
                   uint32_t planemask, uint16_t command) {
    FifoSpaceWait(6);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_HOST_BITS);
    piloOut(PILO_BG_MIX, MIX_KEEP);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg);
    piloFixedBlitStart(x, y, wm1, hm1, clipRight, command);
}

void piloOpaqueFixedBlit(int x, int y, int wm1, int hm1, int clipRight, int code, Pixel bg,
                         Pixel fg, uint32_t planemask, uint16_t command) {
    FifoSpaceWait(7);
    piloOut(PILO_WRITE_MASK, planemask);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_HOST_BITS);
    piloOut(PILO_BG_MIX, (uint32_t)code);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_BG_COLOUR, bg);
    piloOut(PILO_FG_COLOUR, fg);
    piloFixedBlitStart(x, y, wm1, hm1, clipRight, command);
}

/* One expansion: where, how and in which colours. */
typedef struct {
    int opaque;
    int code;
    Pixel fg, bg;
    uint32_t planemask;
} piloMonoColours;

typedef struct {
    const uint8_t *bits;
    int startBit, stride, height;
    uint32_t rowBytes; /* bytes every row of the caller's bitmap holds */
} piloMonoData;

static void piloMonoStart(const piloMonoColours *c, int x, int y, int w, int h, uint16_t command) {
    if (c->opaque)
        piloOpaqueFixedBlit(x, y, w - 1, h - 1, x + w - 1, c->code, c->bg, c->fg, c->planemask,
                            command);
    else
        piloFixedBlit(x, y, w - 1, h - 1, x + w - 1, c->code, c->fg, c->planemask, command);
}

/* Bytes of a row from `offset` on that the caller's bitmap holds. */
static uint32_t piloRowAvail(const piloMonoData *d, uint32_t offset) {
    return d->rowBytes > offset ? d->rowBytes - offset : 0;
}

/* The bits of a `width`-pixel piece starting at bit `startBit` of each row. */
static void piloMonoSend(const piloMonoData *d, int startBit, int width) {
    const uint32_t h = (uint32_t)d->height;
    if (d->stride < 2) {
        /* One byte a row. */
        if (startBit)
            piloOffsetBlockOutB(d->bits, h, startBit);
        else
            piloCBlockOutB(d->bits, h);
        return;
    }
    const uint32_t n = (uint32_t)(width + 15) / 16;
    const uint32_t offset = (uint32_t)startBit / 8;
    const int shift = startBit & 7;
    const uint32_t avail = piloRowAvail(d, offset);
    if (startBit == 0 && (uint32_t)d->stride == 2 * n) {
        piloCBlockOutW(d->bits, h * n, (uint32_t)d->stride * (h - 1) + d->rowBytes);
        return;
    }
    for (uint32_t row = 0; row < h; row++) {
        const uint8_t *line = d->bits + (size_t)row * (size_t)d->stride + offset;
        if (shift)
            piloOffsetBlockOutW(line, n, shift, avail);
        else
            piloCBlockOutW(line, n, avail);
    }
}

static void piloRestoreClip(DrawablePtr pDraw) {
    const piloScreenPrivate *priv = PILO_PRIV(pDraw->pScreen);
    FifoSpaceWait(1);
    piloOutMulti(MULTI_CLIP_RIGHT, priv->clipRight);
}

static piloMonoData piloMonoDataOf(const BoxRec *box, const uint8_t *bits, int startBit,
                                   int stride) {
    piloMonoData d = {bits, startBit, stride, box->y2 - box->y1,
                      (uint32_t)(startBit + (box->x2 - box->x1) + 7) / 8};
    return d;
}

/* Depth 4 and 8: the box in two pieces either side of column 1024. */
static void piloMonoImage(const BoxRec *box, const uint8_t *bits, int startBit, int stride,
                          const piloMonoColours *c, DrawablePtr pDraw) {
    if (piloBoxEmpty(box))
        return;
    const piloMonoData d = piloMonoDataOf(box, bits, startBit, stride);
    const uint16_t command = stride < 2 ? CMD_EXPAND_BYTES : CMD_EXPAND_WORDS;
    int bit = startBit;
    if (box->x1 < MONO_SPLIT) {
        const int x2 = box->x2 < MONO_SPLIT ? box->x2 : MONO_SPLIT;
        piloMonoStart(c, box->x1, box->y1, x2 - box->x1, d.height, command);
        piloMonoSend(&d, bit, x2 - box->x1);
        bit += MONO_SPLIT - box->x1;
    }
    if (box->x2 > MONO_SPLIT) {
        const int x1 = box->x1 > MONO_SPLIT ? box->x1 : MONO_SPLIT;
        piloMonoStart(c, x1, box->y1, box->x2 - x1, d.height, command);
        piloMonoSend(&d, bit, box->x2 - x1);
    }
    piloRestoreClip(pDraw);
}

/* Depth 16: the whole box in each byte half, from the same bits. */
static void piloMonoImage16(const BoxRec *box, const uint8_t *bits, int startBit, int stride,
                            const piloMonoColours *c, DrawablePtr pDraw) {
    if (piloBoxEmpty(box))
        return;
    const piloMonoData d = piloMonoDataOf(box, bits, startBit, stride);
    const uint16_t command = stride < 2 ? CMD_EXPAND_BYTES : CMD_EXPAND_WORDS;
    const int w = box->x2 - box->x1;
    piloMonoColours low = *c, high = *c;
    low.fg &= 0xFF;
    low.bg &= 0xFF;
    low.planemask &= 0xFF;
    high.fg = (c->fg >> 8) & 0xFF;
    high.bg = (c->bg >> 8) & 0xFF;
    high.planemask = (c->planemask >> 8) & 0xFF;
    piloMonoStart(&low, box->x1, box->y1, w, d.height, command);
    piloMonoSend(&d, startBit, w);
    piloMonoStart(&high, box->x1 + BYTE_HALF, box->y1, w, d.height, command);
    piloMonoSend(&d, startBit, w);
    piloRestoreClip(pDraw);
}

void piloDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                       uint32_t planemask, DrawablePtr pDraw) {
    const piloMonoColours c = {0, piloRasterOps[alu & 0xF], fg & 0xFF, 0, planemask & 0xFF};
    piloMonoImage(box, bits, startBit, stride, &c, pDraw);
}

void piloDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                             Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    const piloMonoColours c = {1, piloRasterOps[alu & 0xF], fg & 0xFF, bg & 0xFF, planemask & 0xFF};
    piloMonoImage(box, bits, startBit, stride, &c, pDraw);
}

void piloDrawMonoImage16(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    const piloMonoColours c = {0, piloRasterOps[alu & 0xF], fg, 0, planemask};
    piloMonoImage16(box, bits, startBit, stride, &c, pDraw);
}

void piloDrawOpaqueMonoImage16(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    const piloMonoColours c = {1, piloRasterOps[alu & 0xF], fg, bg, planemask};
    piloMonoImage16(box, bits, startBit, stride, &c, pDraw);
}

/* ---- plane expansion of bitmaps in video memory ---- */

void piloSetupStretchBlit(int code, Pixel fg, uint32_t readMask, uint32_t writeMask) {
    FifoSpaceWait(6);
    piloOut(PILO_READ_MASK, readMask);
    piloOut(PILO_WRITE_MASK, writeMask);
    piloOut(PILO_MULTI, PIXCNTL_MEMORY_BITS);
    piloOut(PILO_BG_MIX, MIX_KEEP);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_FG_COLOUR, fg);
}

void piloSetupOpaqueStretchBlit(int code, Pixel bg, Pixel fg, uint32_t readMask,
                                uint32_t writeMask) {
    FifoSpaceWait(7);
    piloOut(PILO_READ_MASK, readMask);
    piloOut(PILO_WRITE_MASK, writeMask);
    piloOut(PILO_MULTI, PIXCNTL_MEMORY_BITS);
    piloOut(PILO_BG_MIX, (uint32_t)code);
    piloOut(PILO_FG_MIX, (uint32_t)code | MIX_SRC_FOREGROUND);
    piloOut(PILO_BG_COLOUR, bg);
    piloOut(PILO_FG_COLOUR, fg);
}

void piloStretchBlit(int sx, int sy, int dx, int dy, int wm1, int hm1, uint16_t command) {
    FifoSpaceWait(7);
    piloOutPos(PILO_CUR_X, sx);
    piloOutPos(PILO_CUR_Y, sy);
    piloOutPos(PILO_DEST_X, dx);
    piloOutPos(PILO_DEST_Y, dy);
    piloOut(PILO_MAJ_AXIS, (uint32_t)wm1);
    piloOutMulti(MULTI_HEIGHT, hm1);
    piloOut(PILO_CMD, command);
}
