/*
 * orvel: the probe itself. It reads the board's configuration bytes through
 * the index and data ports the zandel driver uses for a board off PCI: one
 * index write, then one data read, per byte; the data port is never written.
 */
#include "orvel.h"

#include <stdint.h>
#include <stdio.h>

#include "hwio.h"

#define CFG_INDEX_PORT 0x9100
#define CFG_DATA_PORT 0x9104

#define CFG_VENDOR_LOW 0x00
#define CFG_DEVICE_LOW 0x02
#define CFG_BASE_LOW 0x12 /* bits 16-23 of the memory base; 0x13 holds 24-31 */

#define WEITEK_VENDOR 0x100E
#define WEITEK_P9100 0x9100

static unsigned cfgByte(uint8_t index) {
    ioOut8(CFG_INDEX_PORT, index);
    return ioIn8(CFG_DATA_PORT);
}

/* A 16-bit value from two bytes, low byte first. */
static unsigned cfgWord(uint8_t lowIndex) {
    const unsigned low = cfgByte(lowIndex);
    const unsigned high = cfgByte((uint8_t)(lowIndex + 1));
    return low | high << 8;
}

unsigned vendor_id(void) {
    return cfgWord(CFG_VENDOR_LOW);
}

unsigned device_id(void) {
    return cfgWord(CFG_DEVICE_LOW);
}

unsigned mem_base(void) {
    return cfgWord(CFG_BASE_LOW);
}

int orvelProbe(void) {
    /* Without the privilege the first port access fails in the system's own
     * way; there is nothing better to do with the result. */
    sysi86(ORVEL_SI86_IOPL, 3);
    if (vendor_id() != WEITEK_VENDOR)
        return 1;
    if (device_id() != WEITEK_P9100)
        return 1;
    printf("%#X\n", mem_base());
    return 0;
}

#if defined(__i386__)
int main(void) {
    return orvelProbe();
}
#endif
