/*
 * The 8-bit builds' colours: the VGA DAC, with components cut to the DAC's
 * width by the shift RGBBITS gives.
 */
#include "ct.h"

#if !CT_16BIT
void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen) {
    (void)unused;
    int shift = CT_PRIV(pScreen)->dacShift;
    outb(CT_DAC_WRITE_INDEX, (uint8_t)index);
    outb(CT_DAC_DATA, (uint8_t)(red >> shift));
    outb(CT_DAC_DATA, (uint8_t)(green >> shift));
    outb(CT_DAC_DATA, (uint8_t)(blue >> shift));
}
#endif
