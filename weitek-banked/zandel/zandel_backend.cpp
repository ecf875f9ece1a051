/*
 * The video back end every mode set runs: system configuration, the memory
 * probe and the words derived from what it found, and the CRTC timing.
 */
#include "zandel.h"

#define PROBE_WORDS 32
#define PROBE_MARK_OFFSET 0x20000
#define PROBE_MARK 0x5A5A5A5Au

/* Memory configuration codes tried by the probe, largest first. */
#define MEMCONF_WIDE_4MB 0x37
#define MEMCONF_WIDE_2MB 0x35
#define MEMCONF_NARROW_2MB 0x33

#define FAST_LOAD_LIMIT 3300

/* One field of the system configuration word: amounts largest first. */
typedef struct _SysConfRow {
    uint32_t amount;
    uint32_t bits;
} SysConfRow;

static const SysConfRow sysConfField0[] = {
    {4096, 0x60000000}, {2048, 0x40000000}, {1024, 0x20000000}, {0, 0}};
static const SysConfRow sysConfField1[] = {{2048, 0x700000}, {1024, 0x600000}, {512, 0x500000},
                                           {256, 0x400000},  {128, 0x300000},  {0, 0}};
static const SysConfRow sysConfField2[] = {{1024, 0xC0000}, {512, 0xA0000}, {256, 0x80000},
                                           {128, 0x60000},  {64, 0x40000},  {0, 0}};
static const SysConfRow sysConfField3[] = {{512, 0x14000}, {256, 0x10000}, {128, 0xC000},
                                           {64, 0x8000},   {32, 0x4000},   {0, 0}};
static const SysConfRow *const sysConfFields[] = {sysConfField0, sysConfField1, sysConfField2,
                                                  sysConfField3};

uint32_t zandelBuildSysConf(int pixelSize, int lineBytes) {
    uint32_t word;
    switch (pixelSize) {
    case 1:
        word = 0x08003000;
        break;
    case 2:
        word = 0x0C003000;
        break;
    case 3:
        word = 0x1C003000;
        break;
    case 4:
        word = 0x14003000;
        break;
    default:
        word = 0x3000;
        break;
    }
    /* The line as up to four powers of two, one per field; a remainder no
     * field can hold is dropped. */
    uint32_t left = (uint32_t)lineBytes;
    for (const SysConfRow *field : sysConfFields) {
        for (const SysConfRow *row = field; row->amount != 0; row++) {
            if (left >= row->amount) {
                word |= row->bits;
                left -= row->amount;
                break;
            }
        }
    }
    return word;
}

uint32_t zandelSysConfPitch(uint32_t word) {
    static const uint32_t masks[4] = {0xE0000000u, 0x700000u, 0xE0000u, 0x1C000u};
    uint32_t pitch = 0;
    for (int f = 0; f < 4; f++)
        for (const SysConfRow *row = sysConfFields[f]; row->amount != 0; row++)
            if ((word & masks[f]) == row->bits)
                pitch += row->amount;
    return pitch;
}

int _zandel_log2(uint32_t v) {
    /* Below 1 no halving reaches 1: count none rather than loop. */
    int n = 0;
    while (v > 1) {
        v >>= 1;
        n++;
    }
    return n;
}

int _zandel_TestMem(uint8_t *frameBuffer, int words) {
    mmWrite32(frameBuffer + PROBE_MARK_OFFSET, PROBE_MARK);
    for (int i = 0; i < words; i++)
        mmWrite32(frameBuffer + 4 * i, ~(uint32_t)i);
    for (int i = 0; i < words; i++)
        if (mmRead32(frameBuffer + 4 * i) != ~(uint32_t)i)
            return 0;
    return 1;
}

ZandelMemLayout zandelMemLayout(const zandelScreenPrivate *priv, uint32_t powerUp, int banks,
                                int megabytes, int fast) {
    const int wide = (powerUp & ZANDEL_PU_NARROW) == 0;
    const int half = (powerUp & ZANDEL_PU_HALF) != 0;
    const int rowMiss = priv->cyclesPerRowMiss != 4;
    const uint32_t unit = wide ? 0x200 : 0x100;
    /* One bank on a 64-bit bus: less than one bank per bus word, which
     * counts as one. */
    uint32_t l = priv->busWidth > 0 ? (uint32_t)(banks * 32 / priv->busWidth) : 1;
    if (l < 1)
        l = 1;
    const int a = _zandel_log2(l);
    int b = _zandel_log2(l * unit) - 5;
    int c = _zandel_log2((uint32_t)banks * unit) - 9;
    int d = 0;
    if (half) {
        b--;
        if (c != 0)
            c--;
        else
            d = 1;
    }
    int shift;
    if (priv->revision >= 3) {
        shift = 1;
        fast = 1;
    } else {
        shift = fast ? 2 : 1;
    }
    if (banks == 4 && priv->busWidth == 32)
        shift++;

    ZandelMemLayout out;
    out.megabytes = megabytes;
    out.banks = banks;
    out.memConf = 0xC0000000u | (uint32_t)shift << 27 | (uint32_t)a << 24 | (uint32_t)a << 22 |
                  (uint32_t)d << 21 | 0x100000 | (uint32_t)fast << 19 | (uint32_t)rowMiss << 3 |
                  0x30 | (uint32_t)(banks - 1) | (wide ? 4u : 0u);
    out.srtCtl = (uint32_t)b | 0x1E0 | (uint32_t)c << 9;
    out.srtCtl2 = (priv->timing[4] == 0 ? 1u : 0u) | (priv->timing[9] == 0 ? 4u : 0u);
    if (priv->memConf != 0)
        out.memConf = priv->memConf;
    if (priv->srtCtl != 0)
        out.srtCtl = priv->srtCtl;
    if (priv->srtCtl2 != 0)
        out.srtCtl2 = priv->srtCtl2;
    return out;
}

static int zandelProbeWith(zandelScreenPrivPtr priv, uint32_t code) {
    zandelWrite(priv, ZANDEL_MEMCONF, code);
    return _zandel_TestMem(priv->frameBuffer, PROBE_WORDS);
}

int zandelSetupVideoBackend(zandelScreenPrivPtr priv) {
    const uint32_t pu = zandelRead(priv, ZANDEL_POWERUP);
    priv->busWidth = (pu & (0xFu << ZANDEL_PU_RAMDAC_SHIFT)) != 0 ? 64 : 32;
    const int wide = (pu & ZANDEL_PU_NARROW) == 0;
    const uint32_t load =
        ((uint32_t)priv->pixClockConfig / (uint32_t)priv->busWidth) * (uint32_t)priv->pixelSize * 8;
    const int fast = load <= FAST_LOAD_LIMIT;

    int megabytes, banks;
    if (wide) {
        if (zandelProbeWith(priv, MEMCONF_WIDE_4MB)) {
            megabytes = 4;
            banks = 4;
        } else if (zandelProbeWith(priv, MEMCONF_WIDE_2MB)) {
            megabytes = 2;
            banks = 2;
        } else {
            megabytes = 1;
            banks = 1;
        }
    } else if (zandelProbeWith(priv, MEMCONF_NARROW_2MB)) {
        megabytes = 2;
        banks = 4;
    } else {
        megabytes = 1;
        banks = 2;
    }
    priv->backendReady = 1;

    /* Older chips with two wide banks on a 64-bit bus cannot run their
     * memory faster than seven times the display's load. */
    if (priv->revision < 3 && wide && banks == 2 && priv->busWidth == 64 &&
        ((pu >> ZANDEL_PU_CLOCK_SHIFT) & 7) != 1 && 7 * load < (uint32_t)priv->memClockConfig) {
        priv->memClock = (int32_t)(7 * load);
        priv->overrideMemClock = 0;
    }

    const ZandelMemLayout m = zandelMemLayout(priv, pu, banks, megabytes, fast);
    zandelWrite(priv, ZANDEL_MEMCONF, m.memConf);
    zandelWrite(priv, ZANDEL_SRTCTL, m.srtCtl);
    zandelWrite(priv, ZANDEL_SRTCTL2, m.srtCtl2);
    priv->memConf = m.memConf;
    priv->srtCtl = m.srtCtl;
    priv->srtCtl2 = m.srtCtl2;
    return megabytes;
}

/* A CRTC value never goes below 0: a wrapped one would be a huge count. */
static uint32_t crtcValue(int64_t v) {
    return v < 0 ? 0 : (uint32_t)v;
}

ZandelTiming zandelComputeTiming(const zandelScreenPrivate *priv, uint32_t skew) {
    const int32_t *t = priv->timing;
    const int32_t hsp = t[0], hbp = t[1], hfp = t[2], vsp = t[5], vbp = t[6], vfp = t[7];
    uint32_t div = (uint32_t)priv->busWidth / (uint32_t)(priv->pixelSize * 8);
    if (div == 0)
        div = 1;
    /* Unsigned divisions as the chip counts, then signed sums, so that a
     * value below 0 shows as one. */
    int64_t hrzsr = (int64_t)((uint32_t)hsp / div) - 1;
    int64_t hrzbr = (int64_t)((uint32_t)(hsp + hbp) / div) - skew - 4;
    int64_t hrzbf = (int64_t)((uint32_t)(hsp + hbp + priv->width) / div) - skew - 4;
    const int64_t hrzt = (int64_t)((uint32_t)(hsp + hbp + priv->width + hfp) / div) - 1;
    const int bt485 = priv->ramdacType == ZANDEL_DAC_BT485 ||
                      priv->ramdacType == ZANDEL_DAC_BT485_1 ||
                      priv->ramdacType == ZANDEL_DAC_BT485_16;
    if (bt485) {
        const int adj = (priv->pixelSize == 1 ? 12 : 9) / (int)div;
        hrzbr -= adj;
        hrzbf -= adj;
    }
    if (bt485 || priv->revision < 3) {
        /* Sync must rise before the blank: take the sync back while it can
         * go, otherwise move the blank on. */
        while (hrzsr >= hrzbr) {
            if (hsp > hfp && hrzsr > 0) {
                hrzsr--;
            } else {
                hrzbr++;
                hrzbf++;
            }
        }
    }
    ZandelTiming out;
    out.hrzsr = crtcValue(hrzsr);
    out.hrzbr = crtcValue(hrzbr);
    out.hrzbf = crtcValue(hrzbf);
    out.hrzt = crtcValue(hrzt);
    out.vrtsr = crtcValue(vsp);
    out.vrtbr = crtcValue((int64_t)vsp + vbp);
    out.vrtbf = crtcValue((int64_t)vsp + vbp + priv->height);
    out.vrtt = crtcValue((int64_t)vsp + vbp + priv->height + vfp);
    return out;
}

static void zandelWriteCrtc(zandelScreenPrivPtr priv, const ZandelTiming *t) {
    zandelWrite(priv, ZANDEL_HRZSR, t->hrzsr);
    zandelWrite(priv, ZANDEL_HRZBR, t->hrzbr);
    zandelWrite(priv, ZANDEL_HRZBF, t->hrzbf);
    zandelWrite(priv, ZANDEL_HRZT, t->hrzt);
    zandelWrite(priv, ZANDEL_VRTSR, t->vrtsr);
    zandelWrite(priv, ZANDEL_VRTBR, t->vrtbr);
    zandelWrite(priv, ZANDEL_VRTBF, t->vrtbf);
    zandelWrite(priv, ZANDEL_VRTT, t->vrtt);
}

void zandelWriteTiming(zandelScreenPrivPtr priv) {
    ZandelTiming t;
    if (priv->vrtt != 0) {
        t.hrzsr = (uint32_t)priv->hrzsr;
        t.hrzbr = (uint32_t)priv->hrzbr;
        t.hrzbf = (uint32_t)priv->hrzbf;
        t.hrzt = (uint32_t)priv->hrzt;
        t.vrtsr = (uint32_t)priv->vrtsr;
        t.vrtbr = (uint32_t)priv->vrtbr;
        t.vrtbf = (uint32_t)priv->vrtbf;
        t.vrtt = (uint32_t)priv->vrtt;
    } else {
        const uint32_t skew = (zandelRead(priv, ZANDEL_MEMCONF) >> ZANDEL_MEMCONF_SKEW_SHIFT) & 3;
        t = zandelComputeTiming(priv, skew);
    }
    zandelWriteCrtc(priv, &t);
}

void zandelBackendSequence(zandelScreenPrivPtr priv, void (*dacSetup)(zandelScreenPrivPtr)) {
    zandelWrite(priv, ZANDEL_SYSCONFIG,
                priv->sysConfig != 0
                    ? priv->sysConfig
                    : zandelBuildSysConf(priv->pixelSize, priv->width * priv->pixelSize));
    zandelWrite(priv, ZANDEL_MEMCONF, ZANDEL_MEMCONF_PROBE);
    if (dacSetup != nullptr)
        dacSetup(priv);
    priv->memoryMB = zandelSetupVideoBackend(priv);
    zandelWriteTiming(priv);
    zandelWrite(priv, ZANDEL_PREFETCH, 0x80);
    zandelWrite(priv, ZANDEL_HRZIPT, 0);
    zandelWrite(priv, ZANDEL_VRTIPT, 0);
    zandelWrite(priv, ZANDEL_RFPERIOD, (uint32_t)priv->memClock * 16 / 100);
    zandelWrite(priv, ZANDEL_RLMAX, 250);
    zandelWrite(priv, ZANDEL_PLANE_MASK, 0xFF);
    zandelWrite(priv, ZANDEL_DRAW_MODE, 10);
    zandelWrite(priv, ZANDEL_PATTERN_ORIGIN, 0);
    zandelWrite(priv, ZANDEL_PAT_ORIGIN_X, 0);
    zandelWrite(priv, ZANDEL_PAT_ORIGIN_Y, 0);
    zandelWrite(priv, ZANDEL_PLANE_MASK, 0xFFFFFFFFu);
}
