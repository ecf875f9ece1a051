/*
 * gd6 family: the hardware cursor's registration. The cursor image and its
 * movement are still to come; until then the cursor is kept off.
 */
#include "gd6.h"

static const char msgNoCursor[] = "Cannot initialize Hardware Cursor\n";

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

static void gd6SetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    (void)x;
    (void)y;
    gd6EngineIdleWait();
    outw(VGA_SEQ_INDEX, SR12_CURSOR_OFF << 8 | SR_CURSOR_CTRL);
    GD6_PRIV(pScreen)->currentCursor = pCursor;
}

static void gd6MoveCursor(ScreenPtr pScreen, int x, int y) {
    (void)pScreen;
    (void)x;
    (void)y;
}

static PointerFuncs gd6PointerFuncs = {gd6RealizeCursor, gd6UnrealizeCursor, gd6SetCursor,
                                       gd6MoveCursor};

Bool NAME(CursorInitialize)(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &gd6PointerFuncs, 0, 1))
        FatalError(msgNoCursor);
    return 1;
}
