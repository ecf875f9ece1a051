/*
 * The console switch, blanking and the window hook.
 */
#include "ct.h"

void NAME(SetGraphics)(ScreenPtr pScreen) {
    grafExec(ctGrafinfo(pScreen), "SetGraphics", 0);
    if (CT_IS_65550) {
        ctWriteXR(XR_BITBLT, (uint8_t)((ctReadXR(XR_BITBLT) & XR20_CLEAR_5) | XR20_ENABLE));
        ctWriteXR(XR_BITBLT, (uint8_t)((ctReadXR(XR_BITBLT) | XR20_ENABLE) & XR20_CLEAR_1));
    } else {
        ctWriteXR(XR_MISC_40, XR40_ENGINE);
        ctWriteXR(XR_DEVICE_HIGH, (uint8_t)(ctReadXR(XR_DEVICE_HIGH) | XR03_ENGINE));
    }
}

/* The engine must be idle before its state is reset and the console's mode
 * procedure takes the chip. */
Bool NAME(SetText)(ScreenPtr pScreen) {
    ctWaitIdle();
    if (CT_IS_65550)
        ctWriteXR(XR_BITBLT, (uint8_t)(ctReadXR(XR_BITBLT) | XR20_RESET));
    else
        ctWriteXR(XR_DEVICE_HIGH, (uint8_t)(ctReadXR(XR_DEVICE_HIGH) & XR03_CLEAR_1));
    return grafExec(ctGrafinfo(pScreen), "SetText", 0);
}

void ctDoText(ScreenPtr pScreen) {
    NAME(SetText)(pScreen);
}

void NAME(SaveGState)(ScreenPtr pScreen) {
    ctCursorOff(pScreen, 1);
}

void NAME(RestoreGState)(ScreenPtr pScreen) {
    NAME(BitBltScreenSwitch)(pScreen);
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
    ctCursorOn(pScreen);
}

int NAME(BlankScreen)(int on, ScreenPtr pScreen) {
    inb(CT_INPUT_STATUS_1);
    if (on) {
        ctCursorOff(pScreen, 0);
        outb(CT_ATTR_INDEX, CT_ATTR_PICTURE_OFF);
    } else {
        ctCursorOn(pScreen);
        outb(CT_ATTR_INDEX, CT_ATTR_PICTURE_ON);
    }
    return 1;
}

void NAME(ValidateWindowPriv)(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &NAME(WinOps);
}
