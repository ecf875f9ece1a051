/*
 * Mach64 hardware cursor: a 64 x 64 image of 2-bit pixels at the start of
 * off-screen memory, written there by the engine from host data. Init asks
 * the server for its software cursor; these routines run only when the
 * server calls CursorInitialize itself.
 *
 * Pixel codes: bit 0 source AND mask, bit 1 NOT mask, so 0 shows the
 * background colour, 1 the foreground and 2 the screen. The cursor is
 * right-aligned in its rows and CUR_HORZ_VERT_OFF skips the columns left
 * of it; its rows start at the top.
 */
#include "mach64.h"

/* Every DAC access of this source is followed by an ErrorF that logs
 * nothing: the access pattern the DAC has always been driven with. */
#pragma GCC diagnostic ignored "-Wformat-zero-length"

#define CURSOR_ROW_BYTES 16
#define CURSOR_TRANSPARENT_BYTE 0xAAu /* four pixels of code 2 */
#define CURSOR_FIFO_CHUNK 16          /* words between waits for an empty FIFO */
#define CURSOR_CLR0_INDEX 0xFFu

typedef struct _teskCursorPriv {
    uint8_t *plane0; /* source AND mask */
    uint8_t *plane1; /* mask */
    int32_t stride;
    int32_t widthUsed, heightUsed;
    int32_t xOffset, yOffset;
    int32_t imageOffset; /* in 8-byte units */
} teskCursorPriv;

static Bool UNAME(RealizeCursor)(ScreenPtr, CursorPtr);
static Bool UNAME(UnrealizeCursor)(ScreenPtr, CursorPtr);
static void UNAME(SetCursor)(ScreenPtr, CursorPtr, int x, int y);
static void UNAME(MoveCursor)(ScreenPtr, int x, int y);

static PointerFuncs UNAME(PointerFuncs) = {UNAME(RealizeCursor), UNAME(UnrealizeCursor),
                                           UNAME(SetCursor), UNAME(MoveCursor)};

/* Entry i: the bits of i spread to the even bit positions. */
static uint32_t LNAME(Mesh)[256];

static void m64FillMesh(void) {
    if (LNAME(Mesh)[1] != 0)
        return;
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t m = 0;
        for (int j = 0; j < 8; j++)
            if (i & (1u << j))
                m |= 1u << (2 * j);
        LNAME(Mesh)[i] = m;
    }
}

static inline teskCursorPriv *m64CursorPriv(ScreenPtr pScreen, CursorPtr cursor) {
    return (teskCursorPriv *)cursor->bits->devPriv[pScreen->myNum];
}

static inline int m64Min(int a, int b) {
    return a < b ? a : b;
}

extern "C" DRV_EXPORT Bool UNAME(CursorInitialize)(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &UNAME(PointerFuncs), 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    M64_PRIV(pScreen)->currentCursor = 0;
    return 1;
}

/* ---- Realising ---- */

static void m64FreeCursorPriv(teskCursorPriv *cp) {
    Xfree(cp->plane0);
    Xfree(cp->plane1);
    Xfree(cp);
}

/* Bits shared by several cursors are realised once, by the first. */
static Bool UNAME(RealizeCursor)(ScreenPtr pScreen, CursorPtr cursor) {
    CursorBitsPtr bits = cursor->bits;
    if (bits->refcnt >= 2)
        return 1;
    int stride = PixmapBytePad(bits->width, 1);
    size_t planeBytes = (size_t)bits->height * (size_t)stride;
    teskCursorPriv *cp = (teskCursorPriv *)Xalloc(sizeof(teskCursorPriv));
    if (!cp)
        return 0;
    /* A cursor of no rows still gets planes to free. */
    cp->plane0 = (uint8_t *)Xalloc(planeBytes ? planeBytes : 1);
    cp->plane1 = (uint8_t *)Xalloc(planeBytes ? planeBytes : 1);
    if (!cp->plane0 || !cp->plane1) {
        m64FreeCursorPriv(cp);
        return 0;
    }
    int rowBytes = (bits->width + 7) / 8;
    for (int r = 0; r < bits->height; r++) {
        const uint8_t *src = bits->source + (size_t)r * (size_t)stride;
        const uint8_t *mask = bits->mask + (size_t)r * (size_t)stride;
        uint8_t *p0 = cp->plane0 + (size_t)r * (size_t)stride;
        uint8_t *p1 = cp->plane1 + (size_t)r * (size_t)stride;
        for (int k = 0; k < rowBytes; k++) {
            p0[k] = (uint8_t)(src[k] & mask[k]);
            p1[k] = mask[k];
        }
    }
    cp->stride = stride;
    cp->widthUsed = m64Min(bits->width, CURSOR_SIZE);
    cp->heightUsed = m64Min(bits->height, CURSOR_SIZE);
    cp->xOffset = CURSOR_SIZE - cp->widthUsed;
    cp->yOffset = CURSOR_SIZE - cp->heightUsed;
    cp->imageOffset = 0;
    bits->devPriv[pScreen->myNum] = cp;
    return 1;
}

static Bool UNAME(UnrealizeCursor)(ScreenPtr pScreen, CursorPtr cursor) {
    CursorBitsPtr bits = cursor->bits;
    if (bits->refcnt >= 2)
        return 1;
    teskCursorPriv *cp = m64CursorPriv(pScreen, cursor);
    if (!cp)
        return 1;
    /* A later move must not reach the record freed here. */
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (priv->currentCursor && priv->currentCursor->bits == bits)
        priv->currentCursor = 0;
    m64FreeCursorPriv(cp);
    bits->devPriv[pScreen->myNum] = 0;
    return 1;
}

/* ---- The image ---- */

/* Cursor pixel k of row r goes to image pixel 64 - widthUsed + k, four
 * pixels a byte, the first in the low bits; every other pixel of the image
 * shows the screen. */
static void m64BuildCursorImage(uint8_t *image, const teskCursorPriv *cp) {
    for (int i = 0; i < CURSOR_IMAGE_BYTES; i++)
        image[i] = CURSOR_TRANSPARENT_BYTE;
    int w = cp->widthUsed;
    int left = CURSOR_SIZE - w;
    for (int r = 0; r < cp->heightUsed; r++) {
        const uint8_t *p0 = cp->plane0 + (size_t)r * (size_t)cp->stride;
        const uint8_t *p1 = cp->plane1 + (size_t)r * (size_t)cp->stride;
        uint8_t *row = image + r * CURSOR_ROW_BYTES;
        for (int b = 0; b * 8 < w; b++) {
            uint32_t codes = LNAME(Mesh)[p0[b]] | LNAME(Mesh)[(uint8_t)~p1[b]] << 1;
            for (int i = 0; i < 8 && b * 8 + i < w; i++) {
                int at = left + b * 8 + i;
                int shift = 2 * (at % 4);
                uint8_t *byte = row + at / 4;
                *byte = (uint8_t)((*byte & ~(3u << shift)) | ((codes >> (2 * i)) & 3u) << shift);
            }
        }
    }
}

/* The 1024 bytes as one line of host data from the start of off-screen
 * memory, the scissors opened over all of it. */
static void m64LoadCursorImage(teskScreenPrivate *priv, const uint8_t *image) {
    uint32_t code = priv->pixWidthCode;
    int linePixels = CURSOR_LINE_BITS / priv->depth;
    /* At depth 8 the line is 1024 pixels, longer than a narrow screen. */
    int right = linePixels - 1 > priv->clipMaxX ? linePixels - 1 : priv->clipMaxX;

    LNAME(CheckedWait)(priv, M64_PREFIX "SetCursor");
    m64Out(priv, SC_LEFT_RIGHT, (uint32_t)right << 16);
    m64Out(priv, SC_TOP_BOTTOM, (uint32_t)(uint16_t)(priv->clipMaxY + 4) << 16);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, DP_MIX_DEFAULT);
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, 0xFFFFFFFFu);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_HOST);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64DstPixWidth(code) | code << 16);
    m64OutDstYX(priv, (uint32_t)(uint16_t)priv->offScreen.y);
    m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)linePixels << 16 | 1u);

    for (int k = 0; k < CURSOR_IMAGE_BYTES / 4; k++) {
        if (k % CURSOR_FIFO_CHUNK == 0)
            while (m64In(priv, FIFO_STAT) & FIFO_BUSY)
                ;
        const uint8_t *p = image + 4 * k;
        m64Out(priv, HOST_DATA0,
               (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
    }
    FifoSpaceWait(priv, 1);
    m64Out(priv, HOST_DATA0, 0);
    LNAME(CheckedWait)(priv, "CursorSet");
}

/* ---- Colours ---- */

/* The high byte of a 16-bit component. */
static inline uint8_t m64CursorByte(uint16_t component) {
    return (uint8_t)(component >> 8);
}

static void m64CursorDacWrite(const teskScreenPrivate *priv, uint16_t component) {
    ErrorF("");
    m64OutByte(priv, priv->dacData, m64CursorByte(component));
}

static void m64SetCursorColours(const teskScreenPrivate *priv, CursorPtr cursor) {
    uint32_t dacType = m64In(priv, CONFIG_STAT0) >> CONFIG_STAT0_DAC_SHIFT & CONFIG_STAT0_DAC_MASK;
    if (dacType == DAC_TYPE_CURSOR_IN_DAC) {
        /* FIFO_STAT's offset selects the DAC's cursor colour registers. */
        m64Out(priv, FIFO_STAT, 1);
        m64OutByte(priv, priv->dacWriteIndex, 0);
        m64CursorDacWrite(priv, cursor->backRed);
        m64CursorDacWrite(priv, cursor->backGreen);
        m64CursorDacWrite(priv, cursor->backBlue);
        m64CursorDacWrite(priv, cursor->foreRed);
        m64CursorDacWrite(priv, cursor->foreGreen);
        m64CursorDacWrite(priv, cursor->foreBlue);
        ErrorF("");
        m64Out(priv, FIFO_STAT, 0);
        return;
    }
    m64Out(priv, CUR_CLR0,
           (uint32_t)m64CursorByte(cursor->backRed) << 24 |
               (uint32_t)m64CursorByte(cursor->backGreen) << 16 |
               (uint32_t)m64CursorByte(cursor->backBlue) << 8 | CURSOR_CLR0_INDEX);
    m64Out(priv, CUR_CLR1,
           (uint32_t)m64CursorByte(cursor->foreRed) << 24 |
               (uint32_t)m64CursorByte(cursor->foreGreen) << 16 |
               (uint32_t)m64CursorByte(cursor->foreBlue) << 8);
}

/* ---- Showing and moving ---- */

static void m64CursorOff(const teskScreenPrivate *priv) {
    FifoSpaceWait(priv, 1);
    m64Out(priv, GEN_TEST_CNTL, m64In(priv, GEN_TEST_CNTL) & ~GEN_CURSOR_ENABLE);
}

static void UNAME(SetCursor)(ScreenPtr pScreen, CursorPtr cursor, int x, int y) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    m64FillMesh();
    if (!cursor) {
        m64CursorOff(priv);
        return;
    }
    teskCursorPriv *cp = m64CursorPriv(pScreen, cursor);
    /* Bits never realised on this screen have no image to show. */
    if (!cp) {
        priv->currentCursor = 0;
        m64CursorOff(priv);
        return;
    }
    priv->currentCursor = cursor;
    cp->imageOffset = priv->offScreen.y * priv->offScreen.width / (64 / priv->depth);
    cp->xOffset = CURSOR_SIZE - cp->widthUsed;
    cp->yOffset = CURSOR_SIZE - cp->heightUsed;

    uint8_t *image = (uint8_t *)Xalloc(CURSOR_IMAGE_BYTES);
    if (image) {
        m64BuildCursorImage(image, cp);
        m64LoadCursorImage(priv, image);
        Xfree(image);
    }
    m64Out(priv, SC_LEFT_RIGHT, priv->shadowScissorX);
    m64Out(priv, SC_TOP_BOTTOM, priv->shadowScissorY);
    m64Out(priv, CUR_HORZ_VERT_OFF, (uint32_t)cp->yOffset << 16 | (uint32_t)cp->xOffset);
    UNAME(MoveCursor)(pScreen, x, y);
    m64SetCursorColours(priv, cursor);
    m64Out(priv, GEN_TEST_CNTL, m64In(priv, GEN_TEST_CNTL) | GEN_CURSOR_ENABLE);
}

/* The hot spot is taken off with a floor of 0. */
static void UNAME(MoveCursor)(ScreenPtr pScreen, int x, int y) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (x == -1) {
        m64CursorOff(priv);
        return;
    }
    /* No cursor set yet: nothing to place. */
    CursorPtr cursor = priv->currentCursor;
    if (!cursor)
        return;
    const teskCursorPriv *cp = m64CursorPriv(pScreen, cursor);
    int xhot = cursor->bits->xhot, yhot = cursor->bits->yhot;
    int px = x < xhot ? 0 : x - xhot;
    int py = y < yhot ? 0 : y - yhot;
    FifoSpaceWait(priv, 3);
    m64Out(priv, CUR_HORZ_VERT_OFF, (uint32_t)cp->yOffset << 16 | (uint32_t)cp->xOffset);
    m64Out(priv, CUR_OFFSET, (uint32_t)cp->imageOffset);
    m64Out(priv, CUR_HORZ_VERT_POSN, (uint32_t)(uint16_t)py << 16 | (uint32_t)(uint16_t)px);
}
