/*
 * gd5436 family: palette through the VGA DAC, blanking through the attribute
 * controller, and the console-switch callbacks.
 */
#include "gd5436.h"

#define DAC_ENTRIES 256

void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    /* The DAC has 256 entries; an index beyond them would wrap onto another. */
    if (index < 0 || index >= DAC_ENTRIES)
        return;
    outb(VGA_DAC_WRITE_INDEX, (uint8_t)index);
    outb(VGA_DAC_DATA, (uint8_t)(red >> DAC_COMPONENT_SHIFT));
    outb(VGA_DAC_DATA, (uint8_t)(green >> DAC_COMPONENT_SHIFT));
    outb(VGA_DAC_DATA, (uint8_t)(blue >> DAC_COMPONENT_SHIFT));
}

void gd5436RestoreCmap(ScreenPtr pScreen) {
    xReloadInstalledColormap(pScreen, NAME(SetColor));
}

int NAME(BlankScreen)(int on, ScreenPtr pScreen) {
    (void)pScreen;
    inb(VGA_INPUT_STATUS_1);
    outb(VGA_ATTR_INDEX, on ? ATTR_PICTURE_OFF : ATTR_PICTURE_ON);
    return 1;
}

Bool gd5436SetGraphicsMode(ScreenPtr pScreen) {
    Bool ran = grafExec(gd5436Grafinfo(pScreen), "SetGraphics", 0) != 0;
    /* The mode procedure reloads the DAC with the console's colours. */
    if (gd5436Traits.pseudoColor)
        gd5436RestoreCmap(pScreen);
    return ran;
}

void NAME(SetGraphics)(ScreenPtr pScreen) {
    gd5436SetGraphicsMode(pScreen);
}

Bool NAME(SetText)(ScreenPtr pScreen) {
    return grafExec(gd5436Grafinfo(pScreen), "SetText", 0);
}

/* Every engine operation programs all the registers it uses, and the mode
 * procedures own the rest of the adapter state: nothing to save or restore. */
void NAME(SaveGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

void NAME(RestoreGState)(ScreenPtr pScreen) {
    (void)pScreen;
}
