/*
 * The RAMDAC's part of a mode set and of the way back to text: the RGB525
 * path (its own PLL, its text-mode registers saved once and restored at every
 * switch to text) and the Bt485-class and RGB511 paths.
 */
#include "zandel.h"

#define RGB525_INDEX_LOW 4
#define RGB525_INDEX_HIGH 5
#define RGB525_DATA 6
#define DAC_WRITE_INDEX 0
#define DAC_PIXEL_MASK 2
#define DAC_COMMAND0 6
#define DAC_COMMAND1 8
#define DAC_COMMAND2 9
#define DAC_INDEXED_DATA 10

#define RGB525_PIXEL_FORMAT 0x0A
#define RGB525_MISC2 0x71

#define ENABLE_SETTLE_MS 120
#define BT485_HALVE_ABOVE 6750

/* The RGB525 registers kept over a mode: bit k of word j names 32j + k. */
static const uint32_t _zandel_525regs[8] = {0x001FFFFF, 0x007FFFFF, 0x000701FF, 0xFFFFFFFF,
                                            0xC1FC0007, 0x00000003, 0,          0};

/* The RGB525 as the first enable of the process found it. */
static uint8_t dacreg[256];
static int FirstTimePhysicalEnable = 1;

static int zandelSaved525(int reg) {
    return (_zandel_525regs[reg >> 5] >> (reg & 31)) & 1;
}

/* Indexed by pixel size 1, 2 and 4. */
static int zandelBySize(int pixelSize, int one, int two, int four) {
    return pixelSize == 1 ? one : pixelSize == 2 ? two : four;
}

static void _zandel_Crt525EnterCritSect(void) {}
static void _zandel_Crt525LeaveCritSect(void) {}

static void _zandel_Save525Regs(zandelScreenPrivPtr priv, uint8_t *buffer) {
    for (int r = 0; r < 256; r++) {
        if (!zandelSaved525(r))
            continue;
        zandelPutDacByte(priv, RGB525_INDEX_LOW, r);
        zandelPutDacByte(priv, RGB525_INDEX_HIGH, 0);
        buffer[r] = (uint8_t)zandelGetDacByte(priv, RGB525_DATA);
    }
}

static void _zandel_Restore525Regs(zandelScreenPrivPtr priv) {
    /* The PLL and the pixel path go back to VGA operation before the saved
     * values return. */
    static const uint8_t first[9][2] = {{0x90, 3},    {0x70, 0x40}, {0x0A, 3},
                                        {0x71, 0x41}, {0x71, 0x40}, {0x71, 0},
                                        {0x70, 0},    {0x90, 0},    {0x91, 0}};
    for (const auto &w : first)
        zandelPut525(priv, w[0], w[1]);
    for (int r = 0; r < 256; r++) {
        if (!zandelSaved525(r))
            continue;
        zandelPutDacByte(priv, RGB525_INDEX_LOW, r);
        zandelPutDacByte(priv, RGB525_INDEX_HIGH, r >> 8);
        zandelPutDacByte(priv, RGB525_DATA, priv->dacSave[r]);
    }
}

static void _zandel_Set525Dac(zandelScreenPrivPtr priv) {
    zandelPut525(priv, RGB525_MISC2, priv->pll525 ? 0x45 : 0x85);
    zandelPut525(priv, RGB525_PIXEL_FORMAT, zandelBySize(priv->pixelSize, 0x03, 0x04, 0x06));
    zandelPut525(priv, 0x0B, 0);
    zandelPut525(priv, 0x0C, 0xC6);
    zandelPut525(priv, 0x0D, 1);
    zandelPut525(priv, 0x0E, 3);
    zandelPutDacByte(priv, DAC_PIXEL_MASK, 0xFF);
}

static void _zandel_Init525Dac(zandelScreenPrivPtr priv, int mode) {
    (void)mode;
    zandelBackendSequence(priv, _zandel_Set525Dac);
}

void zandelCrt525Enable(zandelScreenPrivPtr priv, int mode) {
    _zandel_Crt525EnterCritSect();
    zandelNativeModeOf(priv, 1);
    if (FirstTimePhysicalEnable)
        _zandel_Save525Regs(priv, dacreg);
    __builtin_memcpy(priv->dacSave, dacreg, sizeof priv->dacSave);
    _zandel_Init525Dac(priv, mode);
    _zandel_Set525Clock(priv, priv->pixClock);
    zandelDelay(ENABLE_SETTLE_MS);
    FirstTimePhysicalEnable = 0;
    _zandel_Crt525LeaveCritSect();
}

static void zandelChipOff(zandelScreenPrivPtr priv) {
    zandelWrite(priv, ZANDEL_MEMCONF, 0);
    zandelWrite(priv, ZANDEL_SYSCONFIG, 0);
    zandelWrite(priv, ZANDEL_SRTCTL, 0);
    zandelWrite(priv, ZANDEL_SRTCTL2, 0);
}

void zandelCrt525Disable(zandelScreenPrivPtr priv) {
    zandelChipOff(priv);
    _zandel_Restore525Regs(priv);
    zandelNativeModeOf(priv, 0);
}

static int _zandel_Get485ClockRatio(zandelScreenPrivPtr priv, int32_t *clock) {
    switch (priv->ramdacType) {
    case ZANDEL_DAC_BT485:
    case ZANDEL_DAC_BT485_1:
    case ZANDEL_DAC_BT485_16:
        /* Above this the RAMDAC doubles the clock it is given. */
        if (*clock > BT485_HALVE_ABOVE) {
            *clock /= 2;
            return 2;
        }
        return 1;
    case ZANDEL_DAC_RGB511:
        return 1;
    default:
        return 0;
    }
}

/* The back end calls its third step with the private alone: the ratio and
 * the mode of the enable in progress wait here for it. */
static int zandelDacRatio;
static int zandelDacMode;

static void _zandel_Set485Dac(zandelScreenPrivPtr priv) {
    const int value = (zandelDacRatio == 2 ? 8 : 0) | (zandelDacMode == 64 ? 4 : 0);
    zandelPutDacByte(priv, DAC_COMMAND0, 0x82);
    zandelPutDacByte(priv, DAC_WRITE_INDEX, 1);
    zandelPutDacByte(priv, DAC_INDEXED_DATA, value);
    zandelPutDacByte(priv, DAC_COMMAND1, zandelBySize(priv->pixelSize, 0x40, 0x38, 0x10));
    zandelPutDacByte(priv, DAC_COMMAND2, 0x32);
    if (priv->ramdacType == ZANDEL_DAC_BT485_1) {
        zandelPutDacByte(priv, DAC_WRITE_INDEX, 2);
        zandelPutDacByte(priv, DAC_INDEXED_DATA, zandelBySize(priv->pixelSize, 0x20, 0x30, 0x40));
    }
    zandelPutDacByte(priv, DAC_PIXEL_MASK, 0xFF);
}

static void _zandel_Set511Dac(zandelScreenPrivPtr priv) {
    zandelPutDacByte(priv, DAC_COMMAND0, 0x82);
    zandelPut511(priv, 1, zandelDacMode == 64 ? 4 : 0);
    zandelPutDacByte(priv, DAC_COMMAND1, zandelBySize(priv->pixelSize, 0xC0, 0xB8, 0x90));
    zandelPutDacByte(priv, DAC_COMMAND2, 0x22);
    zandelPut511(priv, 2, 8);
    zandelPut511(priv, 4, 0);
    zandelPut511(priv, 9, 0);
    zandelPut511(priv, 14, 0);
    zandelPutDacByte(priv, DAC_PIXEL_MASK, 0xFF);
}

static void _zandel_Init485(zandelScreenPrivPtr priv, int ratio, int mode) {
    zandelDacRatio = ratio;
    zandelDacMode = mode;
    zandelBackendSequence(priv, priv->ramdacType == ZANDEL_DAC_RGB511 ? _zandel_Set511Dac
                                                                      : _zandel_Set485Dac);
}

void zandelCrt485Enable(zandelScreenPrivPtr priv, int mode) {
    priv->pixClock = priv->pixClockConfig;
    const int ratio = _zandel_Get485ClockRatio(priv, &priv->pixClock);
    zandelNativeModeOf(priv, 1);
    if (priv->ramdacType == ZANDEL_DAC_RGB511)
        zandelSet511Clock(priv, priv->pixClock, priv->memClock);
    else
        zandelSetClock(priv, priv->pixClock, priv->memClock);
    _zandel_Init485(priv, ratio, mode);
    zandelDelay(ENABLE_SETTLE_MS);
}

void zandelCrt485Disable(zandelScreenPrivPtr priv) {
    zandelChipOff(priv);
    zandelNativeModeOf(priv, 0);
}
