/*
 * gd5436 family: the 64 x 64 two-colour hardware cursor. The pattern lives in
 * the last kilobyte of the video memory the driver uses (the CursorArea), 16
 * bytes a row: plane 0 then plane 1, leftmost pixel in the most significant
 * bit. Position, enable and pattern select are extended sequencer registers;
 * the pattern select names the CursorArea among the chip's last 16 KB, which
 * Init worked out (the last kilobyte, unless the register block hides it).
 */
#include "gd5436.h"

/* A cursor image to download: the server's bitmaps (least significant bit
 * leftmost), possibly cut at the left or top edge of the screen. */
typedef struct _gd5436CursorImage {
    const uint8_t *source;
    const uint8_t *mask;
    int width, height; /* pixels and rows the bitmaps hold from here */
    int stride;        /* bytes from one row to the next */
} gd5436CursorImage;

static void gd5436WriteSequencer(uint8_t reg, uint8_t value) {
    outw(VGA_SEQ_INDEX, (uint16_t)(value << 8 | reg));
}

static int gd5436CursorStride(CursorPtr cursor) {
    return PixmapBytePad(cursor->bits->width, 1);
}

static uint8_t *gd5436CursorArea(gd5436ScreenPrivPtr priv) {
    return priv->fbBase + priv->memSize - CURSOR_AREA_BYTES;
}

/* Pixels beyond the cursor's width in its last byte are not part of it. */
static uint8_t gd5436LastByteMask(int width) {
    return (width & 7) ? (uint8_t)((1u << (width & 7)) - 1) : 0xFF;
}

static void gd5436DownloadImage(ScreenPtr pScreen, const gd5436CursorImage *image,
                                CursorPtr colours) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pScreen);
    int w = image->width < CURSOR_SIZE ? image->width : CURSOR_SIZE;
    int rows = image->height < CURSOR_SIZE ? image->height : CURSOR_SIZE;
    if (w < 0)
        w = 0;
    if (rows < 0)
        rows = 0;
    int rowBytes = (w + 7) / 8;

    EngineIdleWait(priv->bltBase);
    /* The chip fetches the pattern on its own; keep it off the bus while the
     * processor rewrites it. */
    gd5436WriteSequencer(SR_CONFIG, priv->savedSR17 & ~SR17_CURSOR_WRITE_BLOCK);
    uint8_t *area = gd5436CursorArea(priv);
    __builtin_memset(area, 0, CURSOR_AREA_BYTES);
    const uint8_t *src = image->source, *mask = image->mask;
    for (int r = 0; r < rows; r++) {
        uint8_t *plane0 = area + r * CURSOR_ROW_BYTES;
        uint8_t *plane1 = plane0 + CURSOR_PLANE_BYTES;
        for (int j = 0; j < rowBytes; j++) {
            uint8_t m = mask[j];
            if (j == rowBytes - 1)
                m &= gd5436LastByteMask(w);
            plane0[j] = ddxBitSwap[src[j] & m];
            plane1[j] = ddxBitSwap[m];
        }
        src += image->stride;
        mask += image->stride;
    }
    gd5436WriteSequencer(SR_CONFIG, priv->savedSR17);

    gd5436WriteSequencer(SR_CURSOR_CTRL, SR12_COLOUR_ACCESS);
    NAME(SetColor)
    (0, DAC_CURSOR_BG_INDEX, colours->backRed, colours->backGreen, colours->backBlue, pScreen);
    NAME(SetColor)
    (0, DAC_CURSOR_FG_INDEX, colours->foreRed, colours->foreGreen, colours->foreBlue, pScreen);
    gd5436WriteSequencer(SR_CURSOR_IMAGE, priv->cursorPattern);
    gd5436WriteSequencer(SR_CURSOR_CTRL, SR12_CURSOR_ON_64);
}

static void gd5436DownloadCursor(ScreenPtr pScreen, CursorPtr cursor, int stride) {
    gd5436CursorImage image = {cursor->bits->source, cursor->bits->mask, cursor->bits->width,
                               cursor->bits->height, stride};
    gd5436DownloadImage(pScreen, &image, cursor);
}

/* Drops the leftmost `shift` pixels of each row: rows of `bytesPerRow` bytes,
 * `stride` apart; the last byte of a row takes nothing from beyond it. */
static void gd5436AdjustCursorImage(uint8_t *srcOut, uint8_t *maskOut, const uint8_t *srcIn,
                                    const uint8_t *maskIn, int shift, int bytesPerRow, int stride,
                                    int rows) {
    for (int r = 0; r < rows; r++) {
        int row = r * stride;
        for (int j = 0; j < bytesPerRow; j++) {
            int next = j + 1 < bytesPerRow;
            srcOut[row + j] = (uint8_t)((srcIn[row + j] >> shift) |
                                        (next ? srcIn[row + j + 1] << (8 - shift) : 0));
            maskOut[row + j] = (uint8_t)((maskIn[row + j] >> shift) |
                                         (next ? maskIn[row + j + 1] << (8 - shift) : 0));
        }
    }
}

/* Downloads the part of the current cursor right of column dx and below row
 * dy. A cursor entirely beyond the edge leaves an empty pattern. Returns 0
 * when the shifted copy cannot be allocated and nothing was downloaded. */
static Bool gd5436DownloadClipped(ScreenPtr pScreen, CursorPtr cursor, int dx, int dy) {
    CursorBitsPtr bits = cursor->bits;
    int stride = gd5436CursorStride(cursor);
    gd5436CursorImage image = {bits->source, bits->mask, bits->width - dx, bits->height - dy,
                               stride};
    if (image.width <= 0 || image.height <= 0) {
        image.width = image.height = 0;
        gd5436DownloadImage(pScreen, &image, cursor);
        return 1;
    }
    uint32_t start = (uint32_t)dy * (uint32_t)stride;
    int shift = dx & 7;
    if (shift == 0) {
        image.source = bits->source + start + dx / 8;
        image.mask = bits->mask + start + dx / 8;
        gd5436DownloadImage(pScreen, &image, cursor);
        return 1;
    }

    uint32_t size = (uint32_t)bits->height * (uint32_t)stride;
    uint8_t *src = (uint8_t *)Xalloc(size);
    uint8_t *mask = (uint8_t *)Xalloc(size);
    if (!src || !mask) {
        Xfree(src);
        Xfree(mask);
        return 0;
    }
    int bytesPerRow = (image.width + shift + 7) / 8;
    gd5436AdjustCursorImage(src, mask, bits->source + start + dx / 8, bits->mask + start + dx / 8,
                            shift, bytesPerRow, stride, image.height);
    image.source = src;
    image.mask = mask;
    gd5436DownloadImage(pScreen, &image, cursor);
    Xfree(src);
    Xfree(mask);
    return 1;
}

static void gd5436WritePosition(gd5436ScreenPrivPtr priv, int x, int y) {
    EngineIdleWait(priv->bltBase);
    outw(VGA_SEQ_INDEX,
         (uint16_t)(((x & CURSOR_POSITION_MASK) << CURSOR_POSITION_SHIFT) | SR_CURSOR_X));
    outw(VGA_SEQ_INDEX,
         (uint16_t)(((y & CURSOR_POSITION_MASK) << CURSOR_POSITION_SHIFT) | SR_CURSOR_Y));
}

static void gd5436MoveCursor(ScreenPtr pScreen, int x, int y) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pScreen);
    CursorPtr cursor = priv->currentCursor;
    /* No cursor shown (none set yet, or hidden since): nothing to move. */
    if (!cursor)
        return;
    int x0 = x - priv->cursorHotX;
    int y0 = y - priv->cursorHotY;
    if (x0 < 0 || y0 < 0) {
        /* The chip cannot place the pattern left of or above the screen:
         * show the visible part at the edge instead. */
        int dx = x0 < 0 ? -x0 : 0;
        int dy = y0 < 0 ? -y0 : 0;
        if (gd5436DownloadClipped(pScreen, cursor, dx, dy))
            priv->cursorShifted = 1;
        x0 += dx;
        y0 += dy;
    } else if (priv->cursorShifted) {
        priv->cursorShifted = 0;
        gd5436DownloadCursor(pScreen, cursor, gd5436CursorStride(cursor));
    }
    gd5436WritePosition(priv, x0, y0);
}

static void gd5436SetCursor(ScreenPtr pScreen, CursorPtr cursor, int x, int y) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pScreen);
    EngineIdleWait(priv->bltBase);
    gd5436WriteSequencer(SR_CURSOR_CTRL, SR12_CURSOR_OFF);
    priv->cursorShifted = 0;
    if (!cursor) {
        /* The server may free the old cursor once it is hidden. */
        priv->currentCursor = 0;
        return;
    }
    priv->currentCursor = cursor;
    priv->cursorHotX = (int16_t)(cursor->bits->xhot < priv->cursorSize ? cursor->bits->xhot
                                                                       : priv->cursorSize - 1);
    priv->cursorHotY = (int16_t)(cursor->bits->yhot < priv->cursorSize ? cursor->bits->yhot
                                                                       : priv->cursorSize - 1);
    gd5436DownloadCursor(pScreen, cursor, gd5436CursorStride(cursor));
    gd5436MoveCursor(pScreen, x, y);
}

/* The pattern is built at SetCursor time; nothing is kept per cursor. */
static Bool gd5436RealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    (void)pScreen;
    (void)cursor;
    return 1;
}

static Bool gd5436UnrealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pScreen);
    /* Never re-download a cursor the server is about to free. */
    if (priv && priv->currentCursor == cursor)
        priv->currentCursor = 0;
    return 1;
}

static PointerFuncs gd5436PointerFuncs = {gd5436RealizeCursor, gd5436UnrealizeCursor,
                                          gd5436SetCursor, gd5436MoveCursor};

Bool NAME(CursorInitialize)(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &gd5436PointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    return 1;
}
