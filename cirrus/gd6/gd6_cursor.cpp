/*
 * gd6 family: the 32 x 32 or 64 x 64 hardware cursor. Its image lies at the
 * end of the cursor bank (the chip's pattern area), written through the bank
 * window; the sequencer holds its position and enable. The chip cannot show
 * a cursor that starts left of or above the screen, so such a cursor is
 * shown from a copy of its bitmaps that drops the columns and rows outside.
 */
#include "gd6.h"

static const char msgNoCursor[] = "Cannot initialize Hardware Cursor\n";

#define SR_CURSOR_PATTERN 0x13
#define SR12_CURSOR_ON 0x01
#define SR12_COLOUR_ACCESS 0x02
#define SR12_CURSOR_64 0x04
#define CURSOR_PATTERN_LAST 0x3F /* the pattern that ends the pattern area */
#define CURSOR_DAC_BACKGROUND 0
#define CURSOR_DAC_FOREGROUND 15
#define CURSOR_MAX 64
#define CURSOR_MAX_ROW_BYTES (CURSOR_MAX / 8 + 1)

/* A cursor's two bitmaps as the download takes them. */
typedef struct _Gd6CursorBits {
    const uint8_t *source, *mask;
    int width, height;
    int stride;
} Gd6CursorBits;

static void gd6SeqWrite(uint8_t index, uint8_t value) {
    outw(VGA_SEQ_INDEX, (uint16_t)(value << 8 | index));
}

static Bool gd6RealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static Bool gd6UnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

void gd6AdjustCursorImage(uint8_t *newSource, uint8_t *newMask, const uint8_t *source,
                          const uint8_t *mask, int shift, int bytesPerRow, int stride, int rows) {
    for (int y = 0; y < rows; y++) {
        const uint8_t *s = source + (int64_t)y * stride, *m = mask + (int64_t)y * stride;
        uint8_t *ns = newSource + (int64_t)y * stride, *nm = newMask + (int64_t)y * stride;
        for (int i = 0; i < bytesPerRow; i++) {
            Bool last = i == bytesPerRow - 1;
            ns[i] = (uint8_t)(s[i] >> shift | (last ? 0 : s[i + 1] << (8 - shift)));
            nm[i] = (uint8_t)(m[i] >> shift | (last ? 0 : m[i + 1] << (8 - shift)));
        }
    }
}

static uint32_t gd6CursorImageSize(const gd6ScreenPrivate *priv) {
    return (uint32_t)(priv->cursorSize / 8) * (uint32_t)priv->cursorSize * 2;
}

/* The image in the window while the bank shows the cursor bank. */
static uint8_t *gd6CursorImage(const gd6ScreenPrivate *priv) {
    uint32_t end = priv->gr0bBits ? CURSOR_AREA_END_LARGE : CURSOR_AREA_END_SMALL;
    uint32_t inBank = priv->cursorAddr - gd6BankBase(priv, priv->cursorAddr);
    return priv->windowBase + inBank + end - gd6CursorImageSize(priv);
}

/* Plane 0 and plane 1 of row y: a 64 x 64 image interleaves them row by
 * row, a 32 x 32 one keeps all plane-0 rows first. */
static void gd6CursorRowAt(const gd6ScreenPrivate *priv, uint8_t *image, int y, uint8_t **plane0,
                           uint8_t **plane1) {
    int rowBytes = priv->cursorSize / 8;
    if (priv->cursorSize == CURSOR_MAX) {
        *plane0 = image + y * 2 * rowBytes;
        *plane1 = *plane0 + rowBytes;
    } else {
        *plane0 = image + y * rowBytes;
        *plane1 = image + priv->cursorSize * rowBytes + y * rowBytes;
    }
}

static void gd6WriteCursorBits(const gd6ScreenPrivate *priv, const Gd6CursorBits *cb) {
    uint8_t *image = gd6CursorImage(priv);
    uint32_t size = gd6CursorImageSize(priv);
    for (uint32_t i = 0; i < size; i++)
        mmWrite8(image + i, 0);
    int w = cb->width < priv->cursorSize ? cb->width : priv->cursorSize;
    int h = cb->height < priv->cursorSize ? cb->height : priv->cursorSize;
    if (w <= 0 || h <= 0)
        return;
    int n = (w + 7) / 8;
    /* Bits past the width in the last byte are padding, not cursor. */
    uint8_t lastMask = (uint8_t)(w % 8 ? (1u << (w % 8)) - 1 : 0xFF);
    for (int y = 0; y < h; y++) {
        uint8_t *p0, *p1;
        gd6CursorRowAt(priv, image, y, &p0, &p1);
        const uint8_t *s = cb->source + (int64_t)y * cb->stride;
        const uint8_t *m = cb->mask + (int64_t)y * cb->stride;
        for (int i = 0; i < n; i++) {
            uint8_t keep = i == n - 1 ? lastMask : 0xFF;
            mmWrite8(p0 + i, ddxBitSwap[(uint8_t)(s[i] & m[i] & keep)]);
            mmWrite8(p1 + i, ddxBitSwap[(uint8_t)(m[i] & keep)]);
        }
    }
}

static void gd6DownloadBits(ScreenPtr pScreen, CursorPtr pCursor, const Gd6CursorBits *cb) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    gd6EngineIdleWait();
    gd6SetBank(priv, priv->cursorAddr);
    gd6WriteCursorBits(priv, cb);
    gd6RestoreBank(priv);
    gd6SeqWrite(SR_CURSOR_CTRL, SR12_COLOUR_ACCESS);
    NAME(SetColor)
    (0, CURSOR_DAC_BACKGROUND, pCursor->backRed, pCursor->backGreen, pCursor->backBlue, pScreen);
    NAME(SetColor)
    (0, CURSOR_DAC_FOREGROUND, pCursor->foreRed, pCursor->foreGreen, pCursor->foreBlue, pScreen);
    gd6SeqWrite(SR_CURSOR_PATTERN, CURSOR_PATTERN_LAST);
    gd6SeqWrite(SR_CURSOR_CTRL,
                (uint8_t)(priv->cursorSize == CURSOR_MAX ? SR12_CURSOR_ON | SR12_CURSOR_64
                                                         : SR12_CURSOR_ON));
}

void gd6DownloadCursor(ScreenPtr pScreen, CursorPtr pCursor, int sourceStride) {
    CursorBitsPtr bits = pCursor->bits;
    Gd6CursorBits cb = {bits->source, bits->mask, bits->width, bits->height, sourceStride};
    gd6DownloadBits(pScreen, pCursor, &cb);
}

static int gd6CursorStride(CursorPtr pCursor) {
    return PixmapBytePad(pCursor->bits->width, 1);
}

/* Downloads the cursor without its first dx columns and dy rows. */
static void gd6DownloadClipped(ScreenPtr pScreen, CursorPtr pCursor, int dx, int dy) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    CursorBitsPtr bits = pCursor->bits;
    int stride = gd6CursorStride(pCursor);
    Gd6CursorBits cb = {0, 0, bits->width - dx, bits->height - dy, stride};
    if (cb.width <= 0 || cb.height <= 0) {
        cb.width = cb.height = 0;
        gd6DownloadBits(pScreen, pCursor, &cb);
        return;
    }
    int64_t first = (int64_t)stride * dy + dx / 8;
    cb.source = bits->source + first;
    cb.mask = bits->mask + first;
    int shift = dx % 8;
    if (shift == 0) {
        gd6DownloadBits(pScreen, pCursor, &cb);
        return;
    }
    /* Only what the chip shows is shifted: at most the cursor's size, one
     * byte more for the bits that move in from the right. */
    static uint8_t newSource[CURSOR_MAX * CURSOR_MAX_ROW_BYTES];
    static uint8_t newMask[CURSOR_MAX * CURSOR_MAX_ROW_BYTES];
    int w = cb.width < priv->cursorSize ? cb.width : priv->cursorSize;
    int rows = cb.height < priv->cursorSize ? cb.height : priv->cursorSize;
    int available = stride - dx / 8;
    int bytes = (w + 7) / 8 + 1 < available ? (w + 7) / 8 + 1 : available;
    for (int y = 0; y < rows; y++)
        gd6AdjustCursorImage(newSource + y * CURSOR_MAX_ROW_BYTES,
                             newMask + y * CURSOR_MAX_ROW_BYTES, cb.source + (int64_t)y * stride,
                             cb.mask + (int64_t)y * stride, shift, bytes, stride, 1);
    Gd6CursorBits shifted = {newSource, newMask, w, rows, CURSOR_MAX_ROW_BYTES};
    gd6DownloadBits(pScreen, pCursor, &shifted);
}

static void gd6PlaceCursor(int x, int y) {
    gd6EngineIdleWait();
    outw(VGA_SEQ_INDEX, (uint16_t)(x << 5 | SR_CURSOR_X));
    outw(VGA_SEQ_INDEX, (uint16_t)(y << 5 | SR_CURSOR_Y));
}

static void gd6MoveCursor(ScreenPtr pScreen, int x, int y) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    CursorPtr pCursor = priv->currentCursor;
    /* No cursor: nothing may show it again until the next SetCursor. */
    if (!pCursor)
        return;
    x -= priv->cursorHotX;
    y -= priv->cursorHotY;
    if (x < 0 || y < 0) {
        int dx = x < 0 ? -x : 0, dy = y < 0 ? -y : 0;
        gd6DownloadClipped(pScreen, pCursor, dx, dy);
        priv->cursorShifted = 1;
        x += dx;
        y += dy;
    } else if (priv->cursorShifted) {
        priv->cursorShifted = 0;
        gd6DownloadCursor(pScreen, pCursor, gd6CursorStride(pCursor));
    }
    gd6PlaceCursor(x, y);
}

static int16_t gd6ClampHot(int hot, int size) {
    return (int16_t)(hot < size - 1 ? hot : size - 1);
}

static void gd6SetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    gd6EngineIdleWait();
    gd6SeqWrite(SR_CURSOR_CTRL, SR12_CURSOR_OFF);
    priv->cursorShifted = 0;
    if (!pCursor || !pCursor->bits) {
        priv->currentCursor = 0;
        return;
    }
    priv->currentCursor = pCursor;
    priv->cursorHotX = gd6ClampHot(pCursor->bits->xhot, priv->cursorSize);
    priv->cursorHotY = gd6ClampHot(pCursor->bits->yhot, priv->cursorSize);
    gd6DownloadCursor(pScreen, pCursor, gd6CursorStride(pCursor));
    gd6MoveCursor(pScreen, x, y);
}

static PointerFuncs gd6PointerFuncs = {gd6RealizeCursor, gd6UnrealizeCursor, gd6SetCursor,
                                       gd6MoveCursor};

Bool NAME(CursorInitialize)(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &gd6PointerFuncs, 0, 1))
        FatalError(msgNoCursor);
    return 1;
}
