/*
 * Mach64 packed glyph store: glyphs kept in off-screen memory as one stream
 * of width x height bits, row after row with no gap, in a 512-bit cell. The
 * engine writes the stream itself: for the length of a store the data path
 * treats video memory as 1-bit pixels and the cell's address becomes the
 * destination origin, so one host-data operation puts the bits in place.
 * The drawing routines read a cell back as a linear 1-bit source.
 *
 * A store is bracketed: SetupStoreCompressed, StoreCompressed for each
 * glyph, ResetFromCompressed.
 */
#include "mach64.h"

#define CELL_WORDS (GLYPH_CELL_BITS / 32)

/* The offset word of the cell at pixel (x, y): its byte address in 8-byte
 * units, with the screen's pitch. */
uint32_t LNAME(CellOffsetWord)(const teskScreenPrivate *priv, int x, int y) {
    uint32_t bytes =
        ((uint32_t)y * (uint32_t)priv->width + (uint32_t)x) * (uint32_t)priv->depth / 8;
    return (bytes >> 3 & 0x3FFFFFu) | priv->pitchWord;
}

void UNAME(SetupStoreCompressed)(teskScreenPrivate *priv) {
    LNAME(CheckedWait)(priv, "SetupCompressed");
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, 0xFFFFFFFFu);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, 0);
    /* 1 bits write ones, 0 bits zeros, whatever the colours. */
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX,
                   UNAME(RasterOps)[GXset] << 16 | UNAME(RasterOps)[GXclear]);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_HOST_BITS_RAW);
    /* The scissors count from the cell's origin too: a clip the window left
     * there would cut the stream short and leave a damaged glyph cached. */
    m64Out(priv, SC_LEFT_RIGHT, (uint32_t)(GLYPH_CELL_BITS - 1) << 16);
    m64Out(priv, SC_TOP_BOTTOM, 0);
}

/* Packs `height` rows of `width` bits, `stride` bytes apart, into one
 * stream; only the glyph's own bits are taken, whatever the padding of its
 * rows. Returns the stream's length in words. */
static int m64Pack(const uint8_t *bitmap, int stride, int width, int height,
                   uint32_t words[CELL_WORDS]) {
    uint8_t bytes[GLYPH_CELL_BITS / 8] = {0};
    int out = 0;
    uint32_t acc = 0;
    int pending = 0;
    const int whole = width / 8, rest = width % 8;
    for (int j = 0; j < height; j++) {
        const uint8_t *row = bitmap + (size_t)j * (size_t)stride;
        for (int k = 0; k < whole; k++) {
            acc |= (uint32_t)row[k] << pending;
            bytes[out++] = (uint8_t)acc;
            acc >>= 8;
        }
        if (rest) {
            acc |= (uint32_t)(row[whole] & (0xFFu >> (8 - rest))) << pending;
            pending += rest;
            if (pending >= 8) {
                bytes[out++] = (uint8_t)acc;
                acc >>= 8;
                pending -= 8;
            }
        }
    }
    if (pending)
        bytes[out++] = (uint8_t)acc;
    int n = (out + 3) / 4;
    for (int i = 0; i < n; i++)
        words[i] = (uint32_t)bytes[4 * i] | (uint32_t)bytes[4 * i + 1] << 8 |
                   (uint32_t)bytes[4 * i + 2] << 16 | (uint32_t)bytes[4 * i + 3] << 24;
    return n;
}

/* A glyph of more than a cell's bits, or an empty one, is not stored. */
void UNAME(StoreCompressed)(int width, int height, int cellX, int cellY, const uint8_t *bitmap,
                            int stride, teskScreenPrivate *priv) {
    if (width <= 0 || height <= 0 || width > GLYPH_CELL_BITS || height > GLYPH_CELL_BITS ||
        width * height > GLYPH_CELL_BITS || !bitmap)
        return;
    uint32_t words[CELL_WORDS];
    int n = m64Pack(bitmap, stride, width, height, words);

    FifoSpaceWait(priv, 3);
    m64Out(priv, DST_OFF_PITCH, LNAME(CellOffsetWord)(priv, cellX, cellY));
    m64OutDstYX(priv, 0);
    /* One line of 32 x n one-bit pixels, fed from the host. */
    m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)n << 21 | 1u);
    /* A full cell and its closing word are more than the FIFO holds: then
     * each word waits for its own entry. */
    Bool paced = n + 1 > FIFO_ENTRIES;
    if (!paced)
        FifoSpaceWait(priv, n + 1);
    for (int i = 0; i < n; i++) {
        if (paced)
            FifoSpaceWait(priv, 1);
        m64Out(priv, HOST_DATA0, words[i]);
    }
    if (paced)
        FifoSpaceWait(priv, 1);
    m64Out(priv, HOST_DATA0, 0);
}

void UNAME(ResetFromCompressed)(teskScreenPrivate *priv) {
    FifoSpaceWait(priv, 3);
    m64Out(priv, DST_OFF_PITCH, priv->pitchWord);
    m64Out(priv, SC_LEFT_RIGHT, priv->shadowScissorX);
    m64Out(priv, SC_TOP_BOTTOM, priv->shadowScissorY);
}

/* One colour expansion from a cell; the caller has set the data path. */
extern "C" DRV_EXPORT void UNAME(Expansion)(int width, int height, int cellX, int cellY, int dstX,
                                            int dstY, teskScreenPrivate *priv) {
    if (width == 0 || height == 0)
        return;
    FifoSpaceWait(priv, 3);
    m64Out(priv, SRC_OFF_PITCH, LNAME(CellOffsetWord)(priv, cellX, cellY));
    m64OutDstYX(priv, (uint32_t)(uint16_t)dstX << 16 | (uint32_t)(uint16_t)dstY);
    m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)(uint16_t)width << 16 | (uint32_t)(uint16_t)height);
}

void UNAME(ResetFromExpansion)(teskScreenPrivate *priv) {
    FifoSpaceWait(priv, 1);
    m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
}
