/*
 * fuska: palette access through the DAC ports, the colormap reload after a
 * mode set, and the 64 x 64 hardware cursor whose image lives in the
 * CursorArea of video memory and whose position, edge clipping and enable
 * are memory-mapped registers.
 */
#include "fuska.h"

#define DAC_WRITE_INDEX 0x3C8
#define DAC_DATA 0x3C9
#define DAC_ENTRIES 256
#define DAC_COMPONENT_SHIFT 10 /* a 16-bit component down to the DAC's 6 bits */
#define DAC_COMPONENT_MASK 0x3F
#define CURSOR_BACKGROUND_ENTRY 0 /* extended palette entries */
#define CURSOR_FOREGROUND_ENTRY 15

static Bool fuskaRealizeCursor(ScreenPtr, CursorPtr);
static Bool fuskaUnrealizeCursor(ScreenPtr, CursorPtr);
static void fuskaSetCursor(ScreenPtr, CursorPtr, int x, int y);
static void fuskaMoveCursor(ScreenPtr, int x, int y);

static PointerFuncs fuskaPointerFuncs = {fuskaRealizeCursor, fuskaUnrealizeCursor, fuskaSetCursor,
                                         fuskaMoveCursor};

/* ---- Palette ---- */

void fuskaSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    /* The DAC index is a byte: a larger index would land on another entry. */
    if (index < 0 || index >= DAC_ENTRIES)
        return;
    outb(DAC_WRITE_INDEX, (uint8_t)index);
    outb(DAC_DATA, (uint8_t)((red >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(DAC_DATA, (uint8_t)((green >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(DAC_DATA, (uint8_t)((blue >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
}

void fuskaRestoreCmap(ScreenPtr pScreen) {
    xReloadInstalledColormap(pScreen, fuskaSetColor);
}

/* ---- Cursor ---- */

void fuskaCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &fuskaPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
}

/* The image is built at every SetCursor: nothing is kept per cursor. */
static Bool fuskaRealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    (void)pScreen;
    (void)cursor;
    return 1;
}

static Bool fuskaUnrealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    (void)pScreen;
    (void)cursor;
    return 1;
}

static void fuskaCursorEnable(const fuskaScreenPrivate *priv, Bool on) {
    uint16_t v = fuskaRead16(priv, REG_CURSOR_CONTROL);
    v = on ? (uint16_t)(v | CURSOR_ENABLE) : (uint16_t)(v & ~CURSOR_ENABLE);
    fuskaWrite16(priv, REG_CURSOR_CONTROL, v);
}

/* One row of both planes. The server's bitmaps hold the leftmost pixel in
 * the least significant bit, the cursor hardware in the most significant
 * one; bits past the cursor's width are padding and stay clear. */
static void fuskaCursorRow(uint8_t *row, const uint8_t *src, const uint8_t *mask, int w) {
    int bytes = src ? (w + 7) / 8 : 0;
    for (int j = 0; j < CURSOR_PLANE_BYTES; j++) {
        uint8_t s = 0, m = 0;
        if (j < bytes) {
            uint8_t valid = 0xFF;
            if (j == bytes - 1 && (w & 7) != 0)
                valid = (uint8_t)((1u << (w & 7)) - 1);
            m = (uint8_t)(mask[j] & valid);
            s = (uint8_t)(src[j] & m);
        }
        row[j] = ddxBitSwap[s];
        row[CURSOR_PLANE_BYTES + j] = ddxBitSwap[m];
    }
}

static void fuskaDownloadCursor(ScreenPtr pScreen, CursorPtr cursor, int stride) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    CursorBitsPtr bits = cursor->bits;
    int w = bits->width < CURSOR_SIZE ? bits->width : CURSOR_SIZE;
    int h = bits->height < CURSOR_SIZE ? bits->height : CURSOR_SIZE;

    fuskaEngineIdleWait(priv);
    fuskaCursorEnable(priv, 0);
    uint8_t *area = priv->fbBase + priv->cursorAddr;
    for (int r = 0; r < CURSOR_SIZE; r++) {
        uint8_t *row = area + (intptr_t)(r / CURSOR_ROWS_PER_LINE) * priv->pitch +
                       (r % CURSOR_ROWS_PER_LINE) * CURSOR_ROW_BYTES;
        if (r < h)
            fuskaCursorRow(row, bits->source + (intptr_t)r * stride,
                           bits->mask + (intptr_t)r * stride, w);
        else
            fuskaCursorRow(row, 0, 0, 0);
    }
    fuskaWrite16(priv, REG_CURSOR_LOCATION, (uint16_t)(priv->cursorAddr >> CURSOR_LOCATION_SHIFT));
    fuskaWrite16(priv, REG_CURSOR_PRESET, 0);
    fuskaCursorEnable(priv, 1);

    uint8_t pal = fuskaRead8(priv, REG_PALETTE_CONTROL);
    fuskaWrite8(priv, REG_PALETTE_CONTROL, (uint8_t)(pal | PALETTE_EXTENDED));
    fuskaSetColor(0, CURSOR_BACKGROUND_ENTRY, cursor->backRed, cursor->backGreen, cursor->backBlue,
                  pScreen);
    fuskaSetColor(0, CURSOR_FOREGROUND_ENTRY, cursor->foreRed, cursor->foreGreen, cursor->foreBlue,
                  pScreen);
    fuskaWrite8(priv, REG_PALETTE_CONTROL,
                (uint8_t)(fuskaRead8(priv, REG_PALETTE_CONTROL) & ~PALETTE_EXTENDED));
}

static void fuskaSetCursor(ScreenPtr pScreen, CursorPtr cursor, int x, int y) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    /* No cursor: the server wants none on the screen. */
    if (!cursor) {
        priv->currentCursor = 0;
        fuskaCursorEnable(priv, 0);
        return;
    }
    CursorBitsPtr bits = cursor->bits;
    priv->currentCursor = cursor;
    priv->cursorHotX = (int16_t)(bits->xhot < priv->cursorSize ? bits->xhot : priv->cursorSize - 1);
    priv->cursorHotY = (int16_t)(bits->yhot < priv->cursorSize ? bits->yhot : priv->cursorSize - 1);
    fuskaDownloadCursor(pScreen, cursor, PixmapBytePad(bits->width, 1));
    fuskaMoveCursor(pScreen, x, y);
}

/* Off the left or top edge the preset hides the image's first columns or
 * rows; the image itself stays as it is. */
static void fuskaMoveCursor(ScreenPtr pScreen, int x, int y) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    int cx = x - priv->cursorHotX, cy = y - priv->cursorHotY;
    int hiddenX = 0, hiddenY = 0;
    if (cx < 0) {
        hiddenX = -cx;
        cx = 0;
    }
    if (cy < 0) {
        hiddenY = -cy;
        cy = 0;
    }
    /* More than the whole image hides the whole image; the preset's seven
     * bits must not wrap back to a small count. */
    if (hiddenX > CURSOR_SIZE)
        hiddenX = CURSOR_SIZE;
    if (hiddenY > CURSOR_SIZE)
        hiddenY = CURSOR_SIZE;
    fuskaWrite16(priv, REG_CURSOR_PRESET,
                 (uint16_t)((hiddenX & CURSOR_PRESET_MASK) << CURSOR_PRESET_X_SHIFT |
                            (hiddenY & CURSOR_PRESET_MASK)));
    fuskaWrite32(priv, REG_CURSOR_POSITION, XY(cx, cy));
}
