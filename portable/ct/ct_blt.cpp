/*
 * The BitBlt engine layer: raster-op tables, the dummy-write address, the
 * unbounded recovery wait and the fatal time-out.
 */
#include "ct.h"

/* The base of the 65550's memory-mapped engine registers (the frame buffer). */
uint8_t *ct_membase = 0;

/* The X11 alus as the engine's raster operations on source and destination. */
uint32_t NAME(PixelOps)[16] = {0x00, 0x88, 0x44, 0xCC, 0x22, 0xAA, 0x66, 0xEE,
                               0x11, 0x99, 0x55, 0xDD, 0x33, 0xBB, 0x77, 0xFF};
/* The same on pattern and destination. */
uint32_t NAME(PatternOps)[16] = {0x00, 0xA0, 0x50, 0xF0, 0x0A, 0xAA, 0x5A, 0xFA,
                                 0x05, 0xA5, 0x55, 0xF5, 0x0F, 0xAF, 0x5F, 0xFF};
/* The alu where the pattern is 1, the destination kept where it is 0. */
uint32_t NAME(MaskOps)[16] = {0x0A, 0x8A, 0x4A, 0xCA, 0x2A, 0xAA, 0x6A, 0xEA,
                              0x1A, 0x9A, 0x5A, 0xDA, 0x3A, 0xBA, 0x7A, 0xFA};

/* The first word is where the recovery wait writes; the last is a flag
 * word kept for resets. */
static struct {
    volatile uint32_t *dummy;
    uint32_t reserved[2];
    uint32_t last;
} ctBitBltInfo;

void NAME(BitBltInit)(ScreenPtr pScreen) {
    ctBitBltInfo.dummy = (volatile uint32_t *)CT_PRIV(pScreen)->fbBase;
}

void NAME(BitBltScreenSwitch)(ScreenPtr pScreen) {
    ctBitBltInfo.dummy = (volatile uint32_t *)CT_PRIV(pScreen)->fbBase;
}

static uint32_t ctStatus(void) {
    return CT_IS_65550 ? ctReadXR(XR_BITBLT) : ioIn32(DR04_CONTROL);
}

static Bool ctStatusBusy(uint32_t status) {
    return CT_IS_65550 ? (status & XR20_BUSY) != 0 : (status & DR04_BUSY) != 0;
}

/* Writes to video memory nudge a stuck engine along; there is no bound. */
uint32_t NAME(BitBltSync)(void) {
    uint32_t status = ctStatus();
    while (ctStatusBusy(status)) {
        /* Before Init has set it up there is nowhere to write. */
        if (ctBitBltInfo.dummy)
            *ctBitBltInfo.dummy = 0;
        status = ctStatus();
    }
    return status;
}

void NAME(BitBltTimeoutError)(void) {
    NAME(BitBltSync)();
    FatalError("BitBlt engine timeout\n");
}

void NAME(BitBltSanityCheck)(void) {
    uint32_t count = 1;
    while (ctEngineBusy()) {
        if (count >= CT_SANITY_BOUND)
            NAME(BitBltTimeoutError)();
        count++;
    }
}

void NAME(BitBltInfoReset)(void) {
    ctBitBltInfo.last = 0;
}

/* A debugging aid: the format goes out as it is, its arguments unused. */
void NAME(BitBltDebugF)(const char *format, ...) {
    ErrorF("%s", format);
}
