/*
 * neo: the chip's 64 x 64 two-plane hardware cursor. The image is built in
 * the screen private when the cursor is set and copied to the fixed place
 * the chip reads it from; near the top and left edges, where the position
 * registers cannot go below 0, the image itself is shifted.
 */
#include "neo.h"

/* Cursor registers: 32-bit words from regBase + cursorRegs. */
#define CUR_ENABLE 0
#define CUR_X 4
#define CUR_Y 8
#define CUR_BG 12
#define CUR_FG 16
#define CUR_ADDRESS 20

#define CURSOR_SIZE 64
#define CURSOR_ROW_BYTES 16
#define CURSOR_PLANE_BYTES 8
#define CURSOR_UNITS 4 /* 16-bit units of one plane row */

/* Each byte with its bits in the opposite order. */
struct ByteReversedTable {
    uint8_t v[256];
    constexpr ByteReversedTable() : v() {
        for (int i = 0; i < 256; i++) {
            int r = 0;
            for (int b = 0; b < 8; b++)
                if (i & (1 << b))
                    r |= 0x80 >> b;
            v[i] = (uint8_t)r;
        }
    }
    constexpr uint8_t operator[](uint8_t b) const { return v[b]; }
};
static constexpr ByteReversedTable byte_reversed;

static Bool neoRealizeCursor(ScreenPtr, CursorPtr);
static Bool neoUnrealizeCursor(ScreenPtr, CursorPtr);
static void neoSetCursor(ScreenPtr, CursorPtr, int x, int y);
static void neoMoveCursor(ScreenPtr, int x, int y);

static PointerFuncs neoPointerFuncs = {neoRealizeCursor, neoUnrealizeCursor, neoSetCursor,
                                       neoMoveCursor};

static inline void neoCursorOut(const neoScreenPrivate *priv, uint32_t reg, uint32_t value) {
    mmWrite32(priv->regBase + priv->cursorRegs + reg, value);
}

/* The address register takes the 1 KB code with its low nibble on top. */
static uint32_t neoCursorAddress(const neoScreenPrivate *priv) {
    return (priv->cursorAddrCode & 0xF) << 8 | ((priv->cursorAddrCode >> 4) & 0xFF);
}

void NAME(CursorInitialize)(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    if (!vexoPointerInitialize(pScreen, &neoPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    priv->hotX = 0;
    priv->hotY = 0;
}

static Bool neoRealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    (void)pScreen;
    (void)pCurs;
    return 1;
}

static Bool neoUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    (void)pScreen;
    (void)pCurs;
    return 1;
}

static void neoRecolorCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    const neoScreenPrivate *priv = NEO_PRIV(pScreen);
    neoCursorOut(priv, CUR_FG,
                 (uint32_t)(pCurs->foreBlue >> 8) << 16 | (uint32_t)(pCurs->foreGreen >> 8) << 8 |
                     (uint32_t)(pCurs->foreRed >> 8));
    neoCursorOut(priv, CUR_BG,
                 (uint32_t)(pCurs->backBlue >> 8) << 16 | (uint32_t)(pCurs->backGreen >> 8) << 8 |
                     (uint32_t)(pCurs->backRed >> 8));
}

/* Plane 0 holds NOT source AND mask (the background), plane 1 the mask:
 * a pixel outside the mask has both bits clear. */
static void neoBuildImage(neoScreenPrivPtr priv, const CursorBits *bits) {
    const int rowBytes = (int)PixmapBytePad(bits->width, 1);
    const int rows = bits->height < CURSOR_SIZE ? bits->height : CURSOR_SIZE;
    for (int y = 0; y < CURSOR_SIZE; y++) {
        uint8_t *plane0 = priv->cursorImage + y * CURSOR_ROW_BYTES;
        uint8_t *plane1 = plane0 + CURSOR_PLANE_BYTES;
        for (int u = 0; u < CURSOR_UNITS; u++) {
            for (int k = 0; k < 2; k++) {
                /* Nothing past the end of a bitmap row is read. */
                const int b = 2 * u + k;
                uint8_t s = 0, m = 0;
                if (y < rows && b < rowBytes) {
                    s = byte_reversed[bits->source[y * rowBytes + b]];
                    m = byte_reversed[bits->mask[y * rowBytes + b]];
                }
                plane0[2 * u + k] = (uint8_t)(~s & m);
                plane1[2 * u + k] = m;
            }
        }
    }
}

/* The image now in video memory. */
static const uint8_t *neoShownImage(const neoScreenPrivate *priv) {
    return priv->lastShiftX || priv->lastShiftY ? priv->cursorShifted : priv->cursorImage;
}

/* The image moved up by shiftY rows (clear rows entering at the bottom)
 * and left by shiftX pixels, each plane row as one 64-bit run of pixels. */
static void neoShiftImage(neoScreenPrivPtr priv, int shiftX, int shiftY) {
    for (int y = 0; y < CURSOR_SIZE; y++) {
        const uint8_t *from =
            y + shiftY < CURSOR_SIZE
                ? priv->cursorImage + (y + shiftY) * CURSOR_ROW_BYTES
                : priv->cursorBlank + (y + shiftY - CURSOR_SIZE) * CURSOR_ROW_BYTES;
        uint8_t *to = priv->cursorShifted + y * CURSOR_ROW_BYTES;
        for (int p = 0; p < CURSOR_ROW_BYTES; p += CURSOR_PLANE_BYTES) {
            uint64_t run = 0;
            for (int i = 0; i < CURSOR_PLANE_BYTES; i++)
                run |= (uint64_t)byte_reversed[from[p + i]] << (8 * i);
            run >>= shiftX;
            for (int i = 0; i < CURSOR_PLANE_BYTES; i++)
                to[p + i] = byte_reversed[(uint8_t)(run >> (8 * i))];
        }
    }
}

/* The hardware shows the cursor while it is set and not parked wholly off
 * the top or left edge. */
static void neoCursorEnable(const neoScreenPrivate *priv) {
    neoCursorOut(priv, CUR_ENABLE, priv->cursorShown && !priv->cursorParked ? 1 : 0);
}

static void neoMoveCursor(ScreenPtr pScreen, int x, int y) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    x -= priv->hotX;
    y -= priv->hotY;
    /* A cursor wholly beyond the top or left edge would reach the position
     * registers as a negative number: it is hidden until it comes back. */
    if (x <= -CURSOR_SIZE || y <= -CURSOR_SIZE) {
        if (!priv->cursorParked) {
            priv->cursorParked = 1;
            neoCursorEnable(priv);
        }
        return;
    }
    int shiftX = 0, shiftY = 0;
    if (x < 0) {
        shiftX = -x;
        x = 0;
    }
    if (y < 0) {
        shiftY = -y;
        y = 0;
    }
    if (shiftX != priv->lastShiftX || shiftY != priv->lastShiftY) {
        if (shiftX || shiftY) {
            neoShiftImage(priv, shiftX, shiftY);
            __builtin_memcpy(priv->cursorMem, priv->cursorShifted, CURSOR_IMAGE_BYTES);
        } else {
            __builtin_memcpy(priv->cursorMem, priv->cursorImage, CURSOR_IMAGE_BYTES);
        }
        priv->lastShiftX = shiftX;
        priv->lastShiftY = shiftY;
    }
    neoCursorOut(priv, CUR_ADDRESS, neoCursorAddress(priv));
    neoCursorOut(priv, CUR_X, (uint32_t)x);
    neoCursorOut(priv, CUR_Y, (uint32_t)y);
    if (priv->cursorParked) {
        priv->cursorParked = 0;
        neoCursorEnable(priv);
    }
}

static void neoDownloadCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    __builtin_memset(priv->cursorBlank, 0, CURSOR_IMAGE_BYTES);
    neoBuildImage(priv, pCurs->bits);
    neoCursorOut(priv, CUR_ENABLE, 0);
    neoCursorOut(priv, CUR_ADDRESS, neoCursorAddress(priv));
    __builtin_memcpy(priv->cursorMem, priv->cursorImage, CURSOR_IMAGE_BYTES);
    priv->lastShiftX = 0;
    priv->lastShiftY = 0;
    neoRecolorCursor(pScreen, pCurs);
    /* Hidden while the image and position change; shown by the move unless
     * it parks the cursor off the screen. */
    priv->cursorShown = 0;
    priv->cursorParked = 0;
    neoMoveCursor(pScreen, x, y);
    priv->cursorShown = 1;
    neoCursorEnable(priv);
}

/* No cursor means none is shown. */
static void neoSetCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    if (!pCurs) {
        priv->cursorShown = 0;
        neoCursorEnable(priv);
        return;
    }
    priv->hotX = pCurs->bits->xhot;
    priv->hotY = pCurs->bits->yhot;
    neoDownloadCursor(pScreen, pCurs, x, y);
}

/* Back from the console: the image may have been overwritten there, and
 * the cursor was hidden on the way out. */
void neoRestoreCursor(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    if (!priv->cursorMem || !priv->cursorShown)
        return;
    __builtin_memcpy(priv->cursorMem, neoShownImage(priv), CURSOR_IMAGE_BYTES);
    neoCursorOut(priv, CUR_ADDRESS, neoCursorAddress(priv));
    neoCursorEnable(priv);
}
