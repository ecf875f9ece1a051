/*
 * Colormap and cursor. The palette sits behind the write-index and data
 * ports the grafinfo file names. The cursor is always the server's: the
 * hardware-cursor record and its registration are kept, and nothing calls
 * them.
 */
#include "wexla.h"

void wexlaSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    const uint16_t write = (uint16_t)priv->ramWrite, data = (uint16_t)priv->palData;
    outb(write, (uint8_t)(index & 0xFF));
    outb(data, (uint8_t)(red >> 8));
    outb(data, (uint8_t)(green >> 8));
    outb(data, (uint8_t)(blue >> 8));
}

void wexlaRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

static Bool wexlaRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static Bool wexlaUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static void wexlaSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    (void)pScreen;
    (void)pCursor;
    (void)x;
    (void)y;
}

static void wexlaMoveCursor(ScreenPtr pScreen, int x, int y) {
    (void)pScreen;
    (void)x;
    (void)y;
}

PointerFuncs wexlaPointerFuncs = {wexlaRealizeCursor, wexlaUnrealizeCursor, wexlaSetCursor,
                                  wexlaMoveCursor};

Bool wexlaCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &wexlaPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    return 1;
}
