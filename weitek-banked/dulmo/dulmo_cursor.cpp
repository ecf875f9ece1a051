/*
 * dulmo: the hardware cursor of the board's palette chip, a two-plane image
 * of 32 x 32 (64 x 64 on the 1280-wide set-up), two colours and a position.
 */
#include "dulmo.h"

static const char msgCursor[] = "dulmo: Cannot initialize Hardware Cursor\n";

static Bool dulmoRealizeCursor(ScreenPtr pScreen, CursorPtr pCurs);
static Bool dulmoUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCurs);
static void dulmoSetCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y);
static void dulmoMoveCursor(ScreenPtr pScreen, int x, int y);

static PointerFuncs dulmoPointerFuncs = {dulmoRealizeCursor, dulmoUnrealizeCursor, dulmoSetCursor,
                                         dulmoMoveCursor};

void dulmoCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &dulmoPointerFuncs, 0, 1))
        FatalError(msgCursor);
}

static void dulmoCursorBits(int on) {
    uint8_t v = ioIn8(DULMO_CURSOR_CMD);
    ioOut8(DULMO_CURSOR_CMD, on ? (uint8_t)(v | 3) : (uint8_t)(v & ~3));
}

void dulmoCursorOn(int on, ScreenPtr pScreen) {
    dulmoSelect(DULMO_PRIV(pScreen));
    dulmoCursorBits(on);
}

static Bool dulmoRealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    int size = p->cursorSize;
    uint32_t bytes = (uint32_t)(size * size / 4);
    uint8_t *image = (uint8_t *)Xalloc(bytes);
    pCurs->devPriv[pScreen->myNum] = image;
    if (!image)
        return 0;
    memset(image, 0, bytes);
    CursorBitsPtr bits = pCurs->bits;
    if (bits->height == 0)
        return 1;
    int n = bits->width > size ? size / 8 : ((bits->width - 1) >> 3) + 1;
    int rows = bits->height < size ? bits->height : size;
    int stride = PixmapBytePad(bits->width, 1);
    int rowBytes = size / 8;
    uint8_t *plane0 = image, *plane1 = image + size * size / 8;
    for (int row = 0; row < rows; row++) {
        const uint8_t *src = bits->source + row * stride;
        const uint8_t *mask = bits->mask + row * stride;
        for (int i = 0; i < n; i++) {
            plane0[row * rowBytes + i] = ddxBitSwap[src[i]];
            plane1[row * rowBytes + i] = ddxBitSwap[mask[i]];
        }
    }
    return 1;
}

static Bool dulmoUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    /* The image stays while the cursor is still in use elsewhere. */
    if (pCurs->refcnt > 0)
        return 1;
    Xfree(pCurs->devPriv[pScreen->myNum]);
    pCurs->devPriv[pScreen->myNum] = 0;
    return 1;
}

static void dulmoPlaceCursor(dulmoScreenPrivPtr p, int x, int y) {
    int px = x + p->cursorOffsetX, py = y + p->cursorOffsetY;
    ioOut8(DULMO_CURSOR_X_LO, (uint8_t)px);
    ioOut8(DULMO_CURSOR_X_HI, (uint8_t)(px >> 8));
    ioOut8(DULMO_CURSOR_Y_LO, (uint8_t)py);
    ioOut8(DULMO_CURSOR_Y_HI, (uint8_t)(py >> 8));
}

static void dulmoSetCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y) {
    if (!pCurs) {
        dulmoCursorOn(0, pScreen);
        return;
    }
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    int size = p->cursorSize;
    const uint8_t *image = (const uint8_t *)pCurs->devPriv[pScreen->myNum];
    dulmoSelect(p);
    dulmoCursorBits(0);
    ioOut8(DULMO_CURSOR_ADDR, 0);
    if (size == 64) {
        uint8_t v = ioIn8(DULMO_CURSOR_CTL);
        ioOut8(DULMO_CURSOR_CTL, (uint8_t)(v & ~3));
    }
    if (image)
        for (int i = 0; i < size * size / 4; i++)
            ioOut8(DULMO_CURSOR_DATA, image[i]);
    ioOut8(DULMO_CURSOR_ADDR, 2);
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->foreRed >> 8));
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->foreGreen >> 8));
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->foreBlue >> 8));
    ioOut8(DULMO_CURSOR_ADDR, 1);
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->backRed >> 8));
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->backGreen >> 8));
    ioOut8(DULMO_CURSOR_COLOUR, (uint8_t)(pCurs->backBlue >> 8));
    dulmoCursorBits(1);
    p->cursorOffsetX = size - pCurs->bits->xhot;
    p->cursorOffsetY = size - pCurs->bits->yhot;
    dulmoPlaceCursor(p, x, y);
}

static void dulmoMoveCursor(ScreenPtr pScreen, int x, int y) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoSelect(p);
    dulmoPlaceCursor(p, x, y);
}
