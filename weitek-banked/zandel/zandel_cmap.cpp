/*
 * Colormap and cursor. The palette is the driver's at 1 byte per pixel; the
 * deeper visuals are TrueColor. The cursor is always the server's: the
 * hardware-cursor record and its registration are kept, and nothing calls
 * them.
 */
#include "zandel.h"

#define DAC_WRITE_INDEX 0
#define DAC_PALETTE_DATA 1

void zandelSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen) {
    (void)unused;
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    if (priv->pixelSize != 1)
        return;
    zandelPutDacByte(priv, DAC_WRITE_INDEX, index & 0xFF);
    zandelPutDacByte(priv, DAC_PALETTE_DATA, red >> 8);
    zandelPutDacByte(priv, DAC_PALETTE_DATA, green >> 8);
    zandelPutDacByte(priv, DAC_PALETTE_DATA, blue >> 8);
}

void zandelRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

static Bool zandelRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static Bool zandelUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static void zandelSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    (void)pScreen;
    (void)pCursor;
    (void)x;
    (void)y;
}

static void zandelMoveCursor(ScreenPtr pScreen, int x, int y) {
    (void)pScreen;
    (void)x;
    (void)y;
}

PointerFuncs zandelPointerFuncs = {zandelRealizeCursor, zandelUnrealizeCursor, zandelSetCursor,
                                   zandelMoveCursor};

Bool zandelCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &zandelPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    return 1;
}
