/*
 * The RAMDAC's registers as the chip shows them: DAC register k at
 * 0x200 + 4k, a byte written in all four lanes and read in bits 16-23.
 */
#include "zandel.h"

#define DAC_LANES 0x01010101u
#define DAC_READ_SHIFT 16

/* RGB525 indexed registers: index low, index high, data. */
#define RGB525_INDEX_LOW 4
#define RGB525_INDEX_HIGH 5
#define RGB525_DATA 6
/* RGB511 indexed registers: the palette write index, and its data port. */
#define RGB511_INDEX 0
#define RGB511_DATA 10

void zandelPutDacByte(zandelScreenPrivPtr priv, int k, int value) {
    zandelWrite(priv, ZANDEL_DAC(k), ((uint32_t)value & 0xFF) * DAC_LANES);
    /* A read elsewhere on the chip lets the RAMDAC finish its write before
     * the next one; the value is of no use. */
    (void)zandelRead(priv, ZANDEL_POWERUP);
}

int zandelGetDacByte(zandelScreenPrivPtr priv, int k) {
    return (int)((zandelRead(priv, ZANDEL_DAC(k)) >> DAC_READ_SHIFT) & 0xFF);
}

void zandelPut525(zandelScreenPrivPtr priv, int reg, int value) {
    zandelPutDacByte(priv, RGB525_INDEX_LOW, reg);
    zandelPutDacByte(priv, RGB525_INDEX_HIGH, 0);
    zandelPutDacByte(priv, RGB525_DATA, value);
}

void zandelPut511(zandelScreenPrivPtr priv, int reg, int value) {
    zandelPutDacByte(priv, RGB511_INDEX, reg);
    zandelPutDacByte(priv, RGB511_DATA, value);
}
