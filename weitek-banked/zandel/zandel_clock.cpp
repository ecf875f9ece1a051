/*
 * Pixel and memory clocks: the ICD2061A synthesiser loaded serially through
 * configuration register 0x42, the RGB525's own pixel PLL, or the RGB511's
 * synthesisers. Frequencies are in 10 kHz units.
 */
#include "zandel.h"

/* Configuration register 0x42: the synthesiser's lines. Bit 0 stays set. */
#define IC_DATA 0x08
#define IC_CLOCK 0x04
#define IC_KEEP 0x01
#define IC_WORD_BITS 24
#define IC_UNLOCK_PULSES 5

#define ICD_DEFAULT_FREQ 3150
#define ICD_MIN_VCO 5000
#define ICD_REF4 5727 /* four times the 14.318 MHz reference */

/* RGB525 registers the clock set-up writes. */
#define RGB525_MISC_CLOCK 0x02
#define RGB525_PIXEL_FORMAT 0x06
#define RGB525_PLL_CONTROL1 0x10
#define RGB525_PLL_CONTROL2 0x11
#define RGB525_PLL_REF_DIV 0x14
#define RGB525_F0 0x20
#define RGB525_MISC1 0x70

#define RGB511_MEM_SYNTH 0x58
#define RGB511_PIXEL_SYNTH 0x48
#define RGB511_LOAD_MULT 100
#define RGB511_LIMIT 12000
#define RGB511_REF 1432
#define DAC_COMMAND 6

static const uint16_t icdVcoIndex[16] = {5100, 5320, 5850, 6070,  6440,  6680,  7350,  7560,
                                         8090, 8320, 9150, 10000, 12000, 12000, 12000, 12000};

typedef struct _Rgb511Row {
    uint16_t freq;
    uint8_t bytes[3];
} Rgb511Row;

static const Rgb511Row rgb511Table[] = {
    {2517, {0x1A, 0xC0, 0x88}},  {2832, {0x3D, 0xC2, 0x88}},  {3150, {0x56, 0xC3, 0x68}},
    {3600, {0x12, 0x80, 0x66}},  {3750, {0x28, 0x82, 0x66}},  {4000, {0x36, 0x83, 0x68}},
    {4490, {0x17, 0x80, 0x66}},  {4725, {0x33, 0x82, 0x86}},  {4950, {0x43, 0x83, 0x88}},
    {5000, {0x1A, 0x80, 0x88}},  {5400, {0x1C, 0x80, 0x88}},  {5500, {0x2C, 0x81, 0x88}},
    {5700, {0x1E, 0x80, 0x88}},  {6000, {0x41, 0x82, 0x88}},  {6300, {0x2A, 0x43, 0x68}},
    {6500, {0x50, 0x47, 0x68}},  {6600, {0x23, 0x42, 0x66}},  {6735, {0x2D, 0x43, 0x66}},
    {6750, {0x40, 0x45, 0x66}},  {7200, {0x12, 0x40, 0x66}},  {7425, {0x32, 0x43, 0x66}},
    {7500, {0x28, 0x42, 0x66}},  {7700, {0x29, 0x42, 0x68}},  {7875, {0x2A, 0x42, 0x66}},
    {8000, {0x36, 0x43, 0x66}},  {8980, {0x17, 0x40, 0x66}},  {9450, {0x33, 0x42, 0x66}},
    {9750, {0x27, 0x41, 0x66}},  {9900, {0x43, 0x43, 0x88}},  {10000, {0x1A, 0x40, 0x68}},
    {10800, {0x1C, 0x40, 0x86}}, {11000, {0x2C, 0x41, 0x68}}, {12000, {0x41, 0x42, 0x88}},
};

static const uint32_t rgb511Divisors[5] = {716, 477, 358, 283, 239};

void zandelDelay(int msec) {
    nap(msec);
}

uint32_t zandelCalc_ICD2061a(int frequency, int override) {
    if (override != 0)
        return (uint32_t) override;
    uint16_t f = (uint16_t)frequency;
    if (f == 0)
        f = ICD_DEFAULT_FREQ;
    uint32_t m = 0;
    while (f < ICD_MIN_VCO) {
        f = (uint16_t)(f * 2);
        m++;
    }
    uint32_t index = 0;
    for (uint32_t k = 0; k < 16; k++) {
        if (icdVcoIndex[k] > f) {
            index = k;
            break;
        }
    }
    int best = 10000;
    uint32_t bestP = 0, bestQ = 0;
    for (uint32_t p = 0; p < 128; p++) {
        /* Below this Q the estimate would not fit 16 bits. */
        for (uint32_t q = (p + 3) * ICD_REF4 / 32767; q < 128; q++) {
            const int16_t estimate = (int16_t)((p + 3) * ICD_REF4 / (2 * (q + 2)));
            const int error = estimate > f ? estimate - f : f - estimate;
            if (error < best) {
                best = error;
                bestP = p;
                bestQ = q;
            }
        }
    }
    return index << 17 | bestP << 10 | m << 7 | bestQ;
}

static void zandelIcByte(zandelScreenPrivPtr priv, int value) {
    priv->cfgWrite(priv->cfgHandle, ZANDEL_CFG_CLOCK, value);
}

void zandelWriteIC(zandelScreenPrivPtr priv, uint32_t word) {
    const int high = IC_KEEP | IC_DATA | IC_CLOCK, dataOnly = IC_KEEP | IC_DATA;
    const int clockOnly = IC_KEEP | IC_CLOCK;
    zandelIcByte(priv, high);
    for (int i = 0; i < IC_UNLOCK_PULSES; i++) {
        zandelIcByte(priv, dataOnly);
        zandelIcByte(priv, high);
    }
    zandelIcByte(priv, IC_KEEP);
    zandelIcByte(priv, clockOnly);
    zandelIcByte(priv, IC_KEEP);
    zandelIcByte(priv, clockOnly);
    /* Each bit as its complement at the falling clock edge, then itself at
     * the rising one. */
    for (int bit = 0; bit < IC_WORD_BITS; bit++) {
        const int d = (word >> bit) & 1 ? IC_DATA : 0;
        const int n = IC_DATA - d;
        zandelIcByte(priv, n | IC_KEEP | IC_CLOCK);
        zandelIcByte(priv, n | IC_KEEP);
        zandelIcByte(priv, d | IC_KEEP);
        zandelIcByte(priv, d | IC_KEEP | IC_CLOCK);
    }
    zandelIcByte(priv, high);
    zandelIcByte(priv, dataOnly);
    zandelIcByte(priv, high);
}

void zandelSetClock(zandelScreenPrivPtr priv, int pixelClock, int memClock) {
    zandelWriteIC(priv, zandelCalc_ICD2061a(memClock, priv->overrideMemClock) | ICD_SELECT_MEMORY);
    zandelWriteIC(priv, zandelCalc_ICD2061a(pixelClock, priv->icdSerPixClk) | ICD_SELECT_PIXEL);
    zandelWriteIC(priv, (uint32_t)priv->icdCtrlPixClk | 0xC18000);
    zandelWriteIC(priv, 0xC38000);
    zandelWriteIC(priv, ICD_SELECT_CONTROL);
}

void zandelSetMemClock(zandelScreenPrivPtr priv, int memClock) {
    zandelWriteIC(priv, zandelCalc_ICD2061a(memClock, priv->overrideMemClock) | ICD_SELECT_MEMORY);
}

/* The RGB525 frequency code of f, in one of four ranges by its step. */
int _zandel_Calc_IBM525(int frequency) {
    int f = frequency;
    /* Frequencies no range holds take the nearest range's limit. */
    if (f < 1625)
        f = 1625;
    else if (f > 25000)
        f = 25000;
    else if (f > 3200 && f < 3250)
        f = f - 3200 < 3250 - f ? 3200 : 3250;
    else if (f > 6400 && f < 6500)
        f = f - 6400 < 6500 - f ? 6400 : 6500;

    int code;
    if (f <= 3200) {
        const int r = f - f % 25 + (f % 25 >= 13 ? 25 : 0);
        code = (4 * r - 6500) / 100;
    } else if (f <= 6400) {
        const int r = f - f % 50 + (f % 50 >= 25 ? 50 : 0);
        code = ((2 * r - 6500) / 100) | 0x40;
    } else if (f <= 12800) {
        const int r = f - f % 100 + (f % 100 >= 50 ? 100 : 0);
        code = ((r - 6500) / 100) | 0x80;
    } else {
        const int r = f - f % 200 + (f % 200 >= 100 ? 200 : 0);
        /* Just above 12800 the fourth range rounds down to 12800, whose
         * code is the third range's. */
        code = r <= 12800 ? _zandel_Calc_IBM525(12800) : ((r / 2 - 6500) / 100) | 0xC0;
    }
    return code & 0xFF;
}

void _zandel_Set525Clock(zandelScreenPrivPtr priv, int pixelClock) {
    zandelWriteIC(priv,
                  zandelCalc_ICD2061a(priv->memClock, priv->overrideMemClock) | ICD_SELECT_MEMORY);
    const int code = _zandel_Calc_IBM525(pixelClock);
    switch (priv->clockType) {
    case 1:
        zandelPut525(priv, RGB525_PLL_REF_DIV,
                     priv->refClkCnt525 != 0 ? priv->refClkCnt525 & 0xFF
                                             : (int)(((uint32_t)priv->memClock / 200) & 0xFF));
        break;
    case 0:
        if (priv->pll525) {
            zandelWriteIC(priv, zandelCalc_ICD2061a(5000, priv->icdSer525Ref) | ICD_SELECT_PIXEL);
            zandelWriteIC(priv, (uint32_t)priv->icdCtrl525Ref | 0xC18000);
        } else {
            zandelWriteIC(priv, zandelCalc_ICD2061a(pixelClock, priv->overrideDotClock) |
                                    ICD_SELECT_PIXEL);
        }
        zandelPut525(priv, RGB525_PLL_REF_DIV,
                     priv->refClkCnt525 != 0 ? priv->refClkCnt525 & 0xFF : 0x19);
        break;
    default:
        ErrorF("zandel: clock type not supported");
        break;
    }
    zandelPut525(priv, RGB525_F0, priv->vidClkFreq525 != 0 ? priv->vidClkFreq525 & 0xFF : code);
    zandelPut525(priv, RGB525_PLL_CONTROL2, 0);
    zandelPut525(priv, RGB525_PLL_CONTROL1, 2);
    zandelPut525(priv, RGB525_PIXEL_FORMAT, 2);
    zandelPut525(priv, RGB525_MISC1, 1);
    zandelPut525(priv, RGB525_MISC_CLOCK,
                 priv->pixelSize == 1   ? 0x27
                 : priv->pixelSize == 2 ? 0x25
                                        : 0x23);
}

void zandelCalc511Synth(int frequency, uint8_t bytes[3]) {
    for (const Rgb511Row &row : rgb511Table) {
        if (row.freq == frequency) {
            bytes[0] = row.bytes[0];
            bytes[1] = row.bytes[1];
            bytes[2] = row.bytes[2];
            return;
        }
    }
    uint32_t f = (uint16_t)frequency;
    uint32_t post, div = 1;
    if (f > RGB511_LIMIT) {
        post = 0x00;
    } else if (2 * f > RGB511_LIMIT) {
        f *= 2;
        post = 0x40;
    } else if (4 * f > RGB511_LIMIT) {
        f *= 4;
        post = 0x80;
    } else if (8 * f > RGB511_LIMIT) {
        f *= 8;
        post = 0xC0;
    } else {
        post = 0xC0;
        f *= 16;
        /* 0 never doubles past the limit. */
        while (f != 0 && f <= RGB511_LIMIT) {
            f *= 2;
            div *= 2;
        }
    }
    int32_t best = 0x7FFF;
    uint32_t bestJ = 0, bestM = 0;
    for (uint32_t j = 0; j < 5; j++) {
        const uint32_t m = f / rgb511Divisors[j];
        if (m > 257)
            continue;
        int32_t error = (int32_t)(f * (j + 2)) - (int32_t)(m * RGB511_REF);
        if (error < 0)
            error = -error;
        if (error < best) {
            best = error;
            bestJ = j;
            bestM = m;
        }
    }
    bytes[0] = (uint8_t)(((int32_t)bestM - 2) / (int32_t)div);
    bytes[1] = (uint8_t)(post | bestJ);
    bytes[2] = 0x88;
}

void zandelProgram511Synth(zandelScreenPrivPtr priv, int frequency, int firstReg) {
    uint8_t bytes[3];
    zandelCalc511Synth(frequency, bytes);
    for (int i = 0; i < 3; i++)
        zandelPut511(priv, firstReg + i, bytes[i]);
}

void zandelProgramLoadClockMult(zandelScreenPrivPtr priv, int frequency) {
    uint16_t f = (uint16_t)frequency;
    uint8_t b = 8;
    int k = 0;
    while (f != 0 && f < RGB511_LIMIT) {
        f = (uint16_t)(f * 2);
        b = (uint8_t)(b * 2);
        k++;
    }
    zandelPut511(priv, RGB511_LOAD_MULT, b);
    zandelPut511(priv, RGB511_LOAD_MULT + 1, (k * 64 + 3) & 0xFF);
    zandelPut511(priv, RGB511_LOAD_MULT + 2, 0x88);
}

void zandelSet511Clock(zandelScreenPrivPtr priv, int pixelClock, int memClock) {
    zandelPutDacByte(priv, DAC_COMMAND, 0x82);
    zandelProgram511Synth(priv, memClock, RGB511_MEM_SYNTH);
    zandelDelay(10);
    /* Three bytes a pixel would take three quarters of the clock and the
     * load multiplier; Init admits only 1, 2 and 4. */
    zandelProgram511Synth(priv, priv->pixelSize == 3 ? pixelClock * 3 / 4 : pixelClock,
                          RGB511_PIXEL_SYNTH);
    zandelDelay(10);
    if (priv->pixelSize == 3)
        zandelProgramLoadClockMult(priv, pixelClock);
    zandelDelay(10);
    zandelPut511(priv, 7, priv->pixelSize == 3 ? 8 : 0);
    zandelPut511(priv, 8, 0x48);
    zandelDelay(10);
}
