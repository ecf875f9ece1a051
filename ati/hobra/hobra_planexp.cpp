/*
 * hobra: plane expansion. A 1-bit picture kept in one bit plane of
 * off-screen memory paints a destination box through a blit whose mix is
 * chosen by that plane (pixel control 0xA0C0). The monochrome images, the
 * stipples, the glyph and text stores and the cursor share these routines:
 * a set-up, any number of blits, then the reset.
 */
#include "hobra.h"

/* Transparent: the 1 bits take fg under alu, the 0 bits keep the
 * destination. `readMask` picks the plane (plane k: 1 << (k + 1), plane 7:
 * 0x101). */
void hobraSetupCardForBlit(Pixel fg, int alu, uint32_t readMask, uint32_t planemask) {
    FifoSpaceWait(6);
    outw(HOBRA_BG_MIX, (uint16_t)hobraRasterOps[GXnoop]);
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND));
    outw(HOBRA_READ_MASK, (uint16_t)readMask);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_FG_COLOUR, (uint16_t)fg);
    outw(HOBRA_MULTI, PIXCNTL_MEMORY_BITS);
}

/* Two colours: the 1 bits take fg, the 0 bits bg, both under alu. */
void hobraSetupCardForOpaqueBlit(Pixel fg, Pixel bg, int alu, uint32_t readMask,
                                 uint32_t planemask) {
    FifoSpaceWait(7);
    outw(HOBRA_BG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_BACKGROUND));
    outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND));
    outw(HOBRA_MULTI, PIXCNTL_MEMORY_BITS);
    outw(HOBRA_READ_MASK, (uint16_t)readMask);
    outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
    outw(HOBRA_BG_COLOUR, (uint16_t)bg);
    outw(HOBRA_FG_COLOUR, (uint16_t)fg);
}

/* Paints `dst` from the plane bits whose top-left corner is `src`, under
 * the last set-up. An empty box would reach the engine as a count of -1,
 * a box of 2048 pixels: it draws nothing. */
void hobraStretchBlit(DrawablePtr pDraw, DDXPointPtr src, BoxPtr dst) {
    (void)pDraw;
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    FifoSpaceWait(7);
    outw(HOBRA_CUR_X, (uint16_t)(src->x & POS_MASK));
    outw(HOBRA_CUR_Y, (uint16_t)(src->y & POS_MASK));
    outw(HOBRA_DEST_X, (uint16_t)(dst->x1 & POS_MASK));
    outw(HOBRA_DEST_Y, (uint16_t)(dst->y1 & POS_MASK));
    outw(HOBRA_MAJ_AXIS, (uint16_t)(w - 1));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_HEIGHT | ((h - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_CMD, CMD_BLIT);
}

/* Every routine sets the pixel control it draws with, so nothing is left
 * to undo. */
void hobraResetCardFromBlit(void) {}
