/*
 * nte family: image writes and reads, monochrome images and glyphs. Pixel
 * data crosses through the engine's pixel-transfer port (pravo, skerl) or the
 * transfer area at the start of the engine window (tunga); the pravo builds
 * read images straight from the linear frame buffer. 1-bit data is expanded
 * by the engine, which takes the leftmost pixel in a byte's top bit, so every
 * bitmap byte is reversed on its way.
 *
 * No routine reads a byte past the caller's rows: an odd byte at a row's end
 * goes alone in a padded transfer.
 */
#include "nte.h"

/* Bytes of a host pixel: the pixel as video memory holds it. */
#define PIXEL_BYTES (nteTraits.pixelBytes)

/* The widest bitmap row the engine takes in one rectangle (its 12-bit width
 * counter); a monochrome image shifted wider than this is drawn in parts. */
#define NTE_MONO_PART (NTE_COORD_LIMIT / 2)

/* ---- pixel data to and from the engine ---- */

/* One row of `bytes` bytes of host pixels: 16-bit transfers, the last odd
 * byte alone in the low half. tunga moves a row of whole 32-bit words as one
 * block over the transfer area. */
static void nteSendRow(const nteScreenPrivate *priv, const uint8_t *row, uint32_t bytes) {
    uint32_t words = bytes / 2;
#if NTE_HAS_MEMBASE
    if (NTE_WINDOW) {
        if (bytes % 4 == 0) {
            mmWriteBlock32(priv->memBase, row, bytes / 4);
            return;
        }
        for (uint32_t i = 0; i < words; i++) {
            uint16_t w;
            __builtin_memcpy(&w, row + 2 * i, sizeof w);
            mmWrite16(priv->memBase, w);
        }
        if (bytes & 1)
            mmWrite16(priv->memBase, row[bytes - 1]);
        return;
    }
#endif
    (void)priv;
    ioOutsw(NTE_PIX_TRANS, row, words);
    if (bytes & 1)
        outw(NTE_PIX_TRANS, row[bytes - 1]);
}

/* Positions and sizes of a host-data rectangle, the command written once the
 * engine is idle (it then takes transfer words, not registers). */
static void nteStartHostRect(NteQueue *q, int x, int y, int w, int h) {
    nteQueueReg(q, NTE_CUR_X, (uint16_t)x);
    nteQueueReg(q, NTE_CUR_Y, (uint16_t)y);
    nteQueueReg(q, NTE_MAJ_AXIS, (uint16_t)(w - 1));
    nteQueueMulti(q, MULTI_HEIGHT, h - 1);
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    if (nteBoxEmpty(box))
        return;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    NteQueue q = nteQueue(priv, REG32_WRITES + 5);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_HOST));
    nteStartHostRect(&q, box->x1, box->y1, w, h);
    EngineIdleWait();
    nteOutReg(priv, NTE_CMD, CMD_HOST_PIXELS);
    uint32_t bytes = (uint32_t)w * (uint32_t)PIXEL_BYTES;
    for (int row = 0; row < h; row++)
        nteSendRow(priv, pixels + (intptr_t)row * stride, bytes);
}

/* pravo: straight from the linear frame buffer at the engine's pitch, once
 * the engine has let go of video memory. */
#if NTE_HAS_PITCH
static void nteReadFrameBuffer(const nteScreenPrivate *priv, const BoxRec *box, uint8_t *dst,
                               int stride) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    size_t line = (size_t)priv->pitch * (size_t)PIXEL_BYTES;
    const uint8_t *src =
        priv->memBase + ((size_t)box->y1 * (size_t)priv->pitch + (size_t)box->x1) * PIXEL_BYTES;
    EngineIdleWait();
    for (int row = 0; row < h; row++)
        __builtin_memcpy(dst + (intptr_t)row * stride, src + (size_t)row * line,
                         (size_t)w * PIXEL_BYTES);
}
#endif

#if !NTE_HAS_PITCH
/* One row read back: 16-bit transfers, an odd last pixel from the low byte
 * of one more. tunga reads a row of whole 32-bit words as one block unless
 * PIXTRANSEXTBUG says the chip cannot. */
static void nteReceiveRow(const nteScreenPrivate *priv, uint8_t *row, uint32_t bytes) {
    uint32_t words = bytes / 2;
#if NTE_HAS_MEMBASE
    if (NTE_WINDOW) {
        if (bytes % 4 == 0 && priv->pixTransExtBug == 0) {
            mmReadBlock32(priv->memBase, row, bytes / 4);
            return;
        }
        for (uint32_t i = 0; i < words; i++) {
            uint16_t w = mmRead16(priv->memBase);
            __builtin_memcpy(row + 2 * i, &w, sizeof w);
        }
        if (bytes & 1)
            row[bytes - 1] = mmRead8(priv->memBase);
        return;
    }
#endif
    (void)priv;
    ioInsw(NTE_PIX_TRANS, row, words);
    if (bytes & 1)
        row[bytes - 1] = (uint8_t)inw(NTE_PIX_TRANS);
}

/* skerl and tunga: the engine reads the rectangle back through the transfer
 * port; the first word is taken once the engine says data is ready. */
static void nteReadBack(const nteScreenPrivate *priv, const BoxRec *box, uint8_t *dst, int stride) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    NteQueue q = nteQueue(priv, 5);
    nteQueueReg(&q, NTE_FG_MIX, nteMix(GXcopy, MIX_SRC_HOST));
    nteStartHostRect(&q, box->x1, box->y1, w, h);
    EngineIdleWait();
    nteOutReg(priv, NTE_CMD, CMD_READ_BACK);
    while (!(nteStatus() & STATUS_DATA_READY))
        ;
    uint32_t bytes = (uint32_t)w * (uint32_t)PIXEL_BYTES;
    for (int row = 0; row < h; row++)
        nteReceiveRow(priv, dst + (intptr_t)row * stride, bytes);
}

#endif

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    if (nteBoxEmpty(box))
        return;
#if NTE_HAS_PITCH
    nteReadFrameBuffer(priv, box, dst, stride);
#else
    nteReadBack(priv, box, dst, stride);
#endif
}

/* ---- 1-bit data ---- */

/* A bitmap row of `bytes` bytes, each reversed, two to a transfer; an odd
 * last byte alone (a byte store in the window, the low half of a word at the
 * port). */
static void nteSendBits(const nteScreenPrivate *priv, const uint8_t *row, int bytes) {
#if NTE_HAS_MEMBASE
    if (NTE_WINDOW) {
        int pairs = bytes / 2;
        for (int i = 0; i < pairs; i++)
            mmWrite16(priv->memBase,
                      (uint16_t)(ddxBitSwap[row[2 * i]] | ddxBitSwap[row[2 * i + 1]] << 8));
        if (bytes & 1)
            mmWrite8(priv->memBase, ddxBitSwap[row[bytes - 1]]);
        return;
    }
#endif
    (void)priv;
    /* A row is at most the engine's 4096 pixels and a partial byte. */
    uint16_t words[(NTE_COORD_LIMIT + 16) / 16];
    int count = (bytes + 1) / 2;
    if (count > (int)(sizeof words / sizeof words[0]))
        count = (int)(sizeof words / sizeof words[0]);
    for (int i = 0; i < count; i++) {
        uint16_t hi = 2 * i + 1 < bytes ? ddxBitSwap[row[2 * i + 1]] : 0;
        words[i] = (uint16_t)(ddxBitSwap[row[2 * i]] | hi << 8);
    }
    ioOutsw(NTE_PIX_TRANS, words, (uint32_t)count);
}

/* A monochrome image in one engine rectangle. The rectangle starts at the
 * first bitmap byte's first bit, s pixels left of x1, and the left scissor
 * hides those pixels; it never opens left of the client's clip and is given
 * back as SetClipRegions left it. */
static void nteMonoRect(nteScreenPrivPtr priv, const BoxRec *box, const uint8_t *bits, int startBit,
                        int stride, Pixel fg, Pixel bg, int opaque, int alu, uint32_t planemask) {
    int s = startBit & 7;
    bits += startBit >> 3;
    int xs = box->x1 - s;
    int w = box->x2 - xs, h = box->y2 - box->y1;
    int bytes = (w + 7) / 8;
    int left = box->x1 > priv->scissorLeft ? box->x1 : priv->scissorLeft;
    /* A start left of column 0 wraps to the right end of the 12-bit space:
     * those leading pixels must fall right of the right scissor. */
    int wrapRight = xs < 0 && priv->scissorRight > NTE_COORD_LIMIT - 1 + xs;

    NteQueue q = nteQueue(priv, 3);
    nteQueueReg(&q, NTE_CUR_X, (uint16_t)xs);
    nteQueueReg(&q, NTE_CUR_Y, (uint16_t)box->y1);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_HOST_BITS);

    q = nteQueue(priv, 2 + REG32_WRITES * (opaque ? 3 : 2) + 3 + wrapRight);
    nteQueueReg(&q, NTE_MAJ_AXIS, (uint16_t)(w - 1));
    nteQueueMulti(&q, MULTI_HEIGHT, h - 1);
    nteQueueReg32(&q, NTE_FG_COLOUR, fg);
    if (opaque)
        nteQueueReg32(&q, NTE_BG_COLOUR, bg);
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_FOREGROUND));
    /* Background source 0: the background colour, or the destination kept. */
    nteQueueReg(&q, NTE_BG_MIX, nteMix(opaque ? alu : GXnoop, 0));
    nteQueueMulti(&q, MULTI_SCISSOR_LEFT, left);
    if (wrapRight)
        nteQueueMulti(&q, MULTI_SCISSOR_RIGHT, NTE_COORD_LIMIT - 1 + xs);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));

    EngineIdleWait();
    nteOutReg(priv, NTE_CMD, CMD_HOST_BITS);
    for (int row = 0; row < h; row++)
        nteSendBits(priv, bits + (intptr_t)row * stride, bytes);

    q = nteQueue(priv, 2 + wrapRight);
    nteQueueMulti(&q, MULTI_SCISSOR_LEFT, priv->scissorLeft);
    if (wrapRight)
        nteQueueMulti(&q, MULTI_SCISSOR_RIGHT, priv->scissorRight);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_FOREGROUND);
}

static void nteMonoImage(nteScreenPrivPtr priv, BoxPtr box, uint8_t *bits, int startBit, int stride,
                         Pixel fg, Pixel bg, int opaque, int alu, uint32_t planemask) {
    if (nteBoxEmpty(box) || startBit < 0)
        return;
    BoxRec part = *box;
    /* Wider than the engine's width counter: parts that start on a byte. */
    while (part.x2 - (part.x1 - (startBit & 7)) > NTE_COORD_LIMIT) {
        BoxRec head = part;
        head.x2 = (int16_t)(part.x1 - (startBit & 7) + NTE_MONO_PART);
        nteMonoRect(priv, &head, bits, startBit, stride, fg, bg, opaque, alu, planemask);
        startBit += head.x2 - part.x1;
        part.x1 = head.x2;
    }
    nteMonoRect(priv, &part, bits, startBit, stride, fg, bg, opaque, alu, planemask);
}

void NAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    nteMonoImage(NTE_PRIV(pDraw->pScreen), box, bits, startBit, stride, fg, 0, 0, alu, planemask);
}

void NAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    nteMonoImage(NTE_PRIV(pDraw->pScreen), box, bits, startBit, stride, fg, bg, 1, alu, planemask);
}

/* Glyphs start on their bitmaps' first bit: one rectangle each, the engine
 * state set once. */
void NAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw) {
    (void)font;
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    if (count <= 0)
        return;
    NteQueue q = nteQueue(priv, 2 * REG32_WRITES + 3);
    nteQueueReg32(&q, NTE_FG_COLOUR, fg);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_HOST_BITS);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg(&q, NTE_FG_MIX, nteMix(alu, MIX_SRC_FOREGROUND));
    nteQueueReg(&q, NTE_BG_MIX, nteMix(GXnoop, 0));
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        int w = g->box.x2 - g->box.x1, h = g->box.y2 - g->box.y1;
        if (nteBoxEmpty(&g->box) || !g->bits || w > NTE_COORD_LIMIT || h > NTE_COORD_LIMIT)
            continue;
        q = nteQueue(priv, 4);
        nteStartHostRect(&q, g->box.x1, g->box.y1, w, h);
        EngineIdleWait();
        nteOutReg(priv, NTE_CMD, CMD_HOST_BITS);
        int bytes = (w + 7) / 8;
        for (int row = 0; row < h; row++)
            nteSendBits(priv, g->bits + (intptr_t)row * g->stride, bytes);
    }
    q = nteQueue(priv, 1);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_FOREGROUND);
}
