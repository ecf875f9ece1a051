/*
 * Mach64 engine access: the exported register entry points, the raster-op
 * table, the idle wait with its diagnostics and engine reset, the chip-class
 * test, and the mode set with the engine defaults (InitHW).
 */
#include "mach64.h"

/* ---- Build traits ---- */

/* 1600 x 1200 timing differs between the Rage Pro and the Mach64 boards. */
static const uint8_t crt_1600x1200_60_pro[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0xFF, 0xC7, 0xCB, 0x34, 0xF1,
    0x04, 0xAF, 0x04, 0xB9, 0x04, 0x28, 0xFF, 0xF0, 0x3C, 0x00, 0x00};
static const uint8_t crt_1600x1200_72_pro[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0x03, 0xC7, 0xCC, 0x38, 0xE1,
    0x04, 0xAF, 0x04, 0xB0, 0x04, 0x23, 0xFF, 0xF0, 0x4B, 0x00, 0x00};
static const uint8_t crt_1600x1200_75_pro[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0x03, 0xC7, 0xCC, 0x31, 0xE1,
    0x04, 0xAF, 0x04, 0xB2, 0x04, 0x25, 0xFF, 0x58, 0x4D, 0x00, 0x00};
static const uint8_t crt_1600x1200_60_m64[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x84, 0x00, 0x28, 0xFF, 0xC7, 0xCC, 0x31, 0xE4,
    0x04, 0xAF, 0x04, 0xB2, 0x04, 0x23, 0xFF, 0x30, 0x43, 0x00, 0x00};
static const uint8_t crt_1600x1200_72_m64[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x84, 0x00, 0x28, 0x0E, 0xC7, 0xD0, 0x38, 0xE1,
    0x04, 0xAF, 0x04, 0xB0, 0x04, 0x23, 0xFF, 0xF0, 0x4B, 0x00, 0x00};
static const uint8_t crt_1600x1200_75_m64[M64_EXCHANGE_BYTES] = {
    0x00, 0x00, 0x80, 0x84, 0x00, 0x28, 0x03, 0xC7, 0xCC, 0x31, 0xE4,
    0x04, 0xAF, 0x04, 0xB2, 0x04, 0x25, 0xFF, 0x58, 0x4D, 0x00, 0x00};

[[maybe_unused]] static const uint8_t *const crt1600Pro[3] = {
    crt_1600x1200_60_pro, crt_1600x1200_72_pro, crt_1600x1200_75_pro};
[[maybe_unused]] static const uint8_t *const crt1600M64[3] = {
    crt_1600x1200_60_m64, crt_1600x1200_72_m64, crt_1600x1200_75_m64};

#if defined(MACH64_BUILD_TESK)
const Mach64Traits m64Traits = {1, M64_CLASS_NEW, 0, 1, 1, 1, 0, crt1600Pro, 1};
#elif defined(MACH64_BUILD_VANDU)
const Mach64Traits m64Traits = {1, M64_CLASS_PROBE, 0, 0, 0, 0, 1, crt1600M64, 0};
#else
const Mach64Traits m64Traits = {0, M64_CLASS_OLD, 1, 0, 0, 0, 0, crt1600M64, 0};
#endif

/* ---- Exported register entry points ---- */

extern "C" {

#if M64_BRACKETED
DRV_EXPORT uint32_t UNAME(_MEMR32fn)(int index, teskScreenPrivate *priv) {
    m64OpenRegisters();
    uint32_t v = mmRead32(priv->regs + index);
    m64CloseRegisters();
    return v;
}
#endif

DRV_EXPORT void UNAME(_OUTW)(uint16_t port, uint32_t value) {
    outpw(port, (uint16_t)value);
    outpw((uint16_t)(port + 2), (uint16_t)(value >> 16));
}

DRV_EXPORT uint32_t UNAME(_INW)(uint16_t port) {
    return (uint32_t)inpw(port) | (uint32_t)inpw((uint16_t)(port + 2)) << 16;
}

} /* extern "C" */

/* ---- Raster ops ---- */

uint32_t UNAME(RasterOps)[16];

void UNAME(BuildRasterOps)(void) {
    static const uint8_t mix[16] = {0x01, 0x0C, 0x0D, 0x07, 0x0E, 0x03, 0x05, 0x0B,
                                    0x0F, 0x06, 0x00, 0x0A, 0x04, 0x09, 0x08, 0x02};
    for (int alu = 0; alu < 16; alu++)
        UNAME(RasterOps)[alu] = mix[alu];
}

/* ---- Waits ---- */

/* The label of the last checked wait that completed; it outlives server
 * generations, so the first report of a generation names the previous one's
 * last wait. */
static const char *prev;

/* What a report names before any wait has completed. */
static const char *m64Previous(void) {
    return prev ? prev : "none";
}

Bool LNAME(NewChipClass)(const teskScreenPrivate *priv) {
    switch (m64Traits.chipClass) {
    case M64_CLASS_NEW:
        return 1;
    case M64_CLASS_OLD:
        return 0;
    default:
        break;
    }
    uint32_t type = m64In(priv, CONFIG_CHIP_ID) & CHIP_TYPE_MASK;
    uint32_t rev = m64In(priv, CONFIG_CHIP_ID) & CHIP_REV_FIELD;
    if (rev == 0)
        return 0;
    switch (type) {
    case 0x4754:
    case 0x5654:
    case 0x4755:
    case 0x5655:
    case 0x4756:
    case 0x475A:
        return 1;
    default:
        return 0;
    }
}

void LNAME(EngineReset)(const teskScreenPrivate *priv) {
    m64Out(priv, BUS_CNTL, (m64In(priv, BUS_CNTL) & BUS_CNTL_KEEP) | BUS_CNTL_ACK);
    m64Out(priv, GEN_TEST_CNTL, 0);
    m64Out(priv, GEN_TEST_CNTL, GEN_ENGINE_ENABLE);
    m64Out(priv, CRTC_GEN_CNTL, m64In(priv, CRTC_GEN_CNTL) & ~CRTC_BIT11);
}

void LNAME(CheckedWait)(teskScreenPrivate *priv, const char *label) {
    uint32_t busError;
    if (m64Traits.chipClass == M64_CLASS_PROBE)
        busError = LNAME(NewChipClass)(priv) ? BUS_ERROR_NEW : BUS_ERROR_OLD;
    else
        busError = m64Traits.chipClass == M64_CLASS_NEW ? BUS_ERROR_NEW : BUS_ERROR_OLD;

    if (m64In(priv, FIFO_STAT) & FIFO_ERR) {
        ErrorF("\n Fifo Overrun at %s after %s", label, m64Previous());
        LNAME(EngineReset)(priv);
    }
    if (m64In(priv, BUS_CNTL) & busError) {
        ErrorF("\n Bus Panic at %s after %s", label, m64Previous());
        LNAME(EngineReset)(priv);
    }

    /* One budget for both polls: what the FIFO took is gone for the engine. */
    uint32_t budget = WAIT_BUDGET;
    while (m64In(priv, FIFO_STAT) & FIFO_BUSY) {
        if (--budget == 0) {
            ErrorF("Long Wait@%s", label);
            LNAME(EngineReset)(priv);
            budget = WAIT_BUDGET;
            break;
        }
    }
    while (m64In(priv, GUI_STAT) & GUI_ACTIVE) {
        if (--budget == 0) {
            ErrorF("\nNot Going Idle at %s after %s", label, m64Previous());
            LNAME(EngineReset)(priv);
            break;
        }
    }
    prev = label;
}

/* ---- CRT timing tables ---- */

#define CRT(b6, b7, b8, b9, b10, b11, b12, b13, b14, b15, b16, b17, b18, b19, b21)                 \
    {                                                                                              \
        0x00, 0x00, 0x80, 0x00, 0x00, 0x08, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15, b16,     \
            b17, b18, b19, 0x00, b21                                                               \
    }

static const uint8_t crt_640x480_60[M64_EXCHANGE_BYTES] =
    CRT(0x63, 0x4F, 0x52, 0x2C, 0x0C, 0x02, 0xDF, 0x01, 0xEA, 0x01, 0x22, 0xFF, 0xD6, 0x09, 0x00);
static const uint8_t crt_640x480_72[M64_EXCHANGE_BYTES] =
    CRT(0x67, 0x4F, 0x52, 0x25, 0x07, 0x02, 0xDF, 0x01, 0xE8, 0x01, 0x23, 0xFF, 0x30, 0x0C, 0x00);
static const uint8_t crt_640x480_75[M64_EXCHANGE_BYTES] =
    CRT(0x68, 0x4F, 0x51, 0x28, 0xF3, 0x01, 0xDF, 0x01, 0xE0, 0x01, 0x23, 0xFF, 0x4E, 0x0C, 0x00);
static const uint8_t crt_640x480_77[M64_EXCHANGE_BYTES] =
    CRT(0x66, 0x4F, 0x51, 0x28, 0xEF, 0x01, 0xDF, 0x01, 0xDF, 0x01, 0x23, 0x08, 0x4E, 0x0C, 0x04);
static const uint8_t crt_800x600_60[M64_EXCHANGE_BYTES] =
    CRT(0x83, 0x63, 0x68, 0x10, 0x73, 0x02, 0x57, 0x02, 0x58, 0x02, 0x04, 0xFF, 0xA0, 0x0F, 0x00);
static const uint8_t crt_800x600_72[M64_EXCHANGE_BYTES] =
    CRT(0x81, 0x63, 0x6A, 0x0F, 0x9B, 0x02, 0x57, 0x02, 0x7C, 0x02, 0x06, 0xFF, 0x88, 0x13, 0x00);
static const uint8_t crt_800x600_75[M64_EXCHANGE_BYTES] =
    CRT(0x83, 0x63, 0x65, 0x0A, 0x70, 0x02, 0x57, 0x02, 0x58, 0x02, 0x03, 0xFF, 0x56, 0x13, 0x00);
static const uint8_t crt_800x600_77[M64_EXCHANGE_BYTES] =
    CRT(0x81, 0x63, 0x62, 0x0A, 0x6A, 0x02, 0x57, 0x02, 0x57, 0x02, 0x03, 0x06, 0x56, 0x13, 0x00);
static const uint8_t crt_1024x768_60[M64_EXCHANGE_BYTES] =
    CRT(0xA7, 0x7F, 0x82, 0x31, 0x25, 0x03, 0xFF, 0x02, 0x02, 0x03, 0x26, 0xFF, 0x64, 0x19, 0x00);
static const uint8_t crt_1024x768_70[M64_EXCHANGE_BYTES] =
    CRT(0xA5, 0x7F, 0x82, 0x11, 0x25, 0x03, 0xFF, 0x02, 0x02, 0x03, 0x06, 0xFF, 0x4C, 0x1D, 0x00);
static const uint8_t crt_1024x768_75[M64_EXCHANGE_BYTES] =
    CRT(0xA3, 0x7F, 0x81, 0x0C, 0x1F, 0x03, 0xFF, 0x02, 0x00, 0x03, 0x03, 0xFF, 0xC3, 0x1E, 0x00);
static const uint8_t crt_1024x768_77[M64_EXCHANGE_BYTES] =
    CRT(0xA1, 0x7F, 0x80, 0x0C, 0x16, 0x03, 0xFF, 0x02, 0x00, 0x03, 0x03, 0x08, 0xC3, 0x1E, 0x00);
static const uint8_t crt_1280x1024_60[M64_EXCHANGE_BYTES] =
    CRT(0xD6, 0x9F, 0xA9, 0x2E, 0x2A, 0x04, 0xFF, 0x03, 0x00, 0x04, 0x25, 0xFF, 0xF8, 0x2A, 0x00);
static const uint8_t crt_1280x1024_70[M64_EXCHANGE_BYTES] =
    CRT(0xD2, 0x9F, 0xA9, 0x0E, 0x29, 0x04, 0xFF, 0x03, 0x00, 0x04, 0x05, 0xFF, 0x38, 0x31, 0x00);
static const uint8_t crt_1280x1024_75[M64_EXCHANGE_BYTES] =
    CRT(0xD2, 0x9F, 0xA1, 0x12, 0x29, 0x04, 0xFF, 0x03, 0x00, 0x04, 0x03, 0xFF, 0xBC, 0x34, 0x00);

/* The table for a refresh rate and width; PIXHEIGHT plays no part. Null
 * when the pair has none. */
static const uint8_t *m64CrtTable(int frequency, int width) {
    const uint8_t *const *t1600 = m64Traits.crt1600;
    switch (width) {
    case 640:
        return frequency == 60   ? crt_640x480_60
               : frequency == 72 ? crt_640x480_72
               : frequency == 75 ? crt_640x480_75
               : frequency == 77 ? crt_640x480_77
                                 : 0;
    case 800:
        return frequency == 60   ? crt_800x600_60
               : frequency == 72 ? crt_800x600_72
               : frequency == 75 ? crt_800x600_75
               : frequency == 77 ? crt_800x600_77
                                 : 0;
    case 1024:
        return frequency == 60   ? crt_1024x768_60
               : frequency == 70 ? crt_1024x768_70
               : frequency == 75 ? crt_1024x768_75
               : frequency == 77 ? crt_1024x768_77
                                 : 0;
    case 1280:
        return frequency == 60   ? crt_1280x1024_60
               : frequency == 70 ? crt_1280x1024_70
               : frequency == 75 ? crt_1280x1024_75
                                 : 0;
    case 1600:
        return frequency == 60   ? t1600[0]
               : frequency == 72 ? t1600[1]
               : frequency == 75 ? t1600[2]
                                 : 0;
    default:
        return 0;
    }
}

/* The resolution code of "SetGraphics". 1600 has timing tables but no code
 * of its own: it takes the 1280 code, the largest graphics mode the
 * procedure knows, which "SetMode" then reprograms from the table. */
static int m64ResolutionCode(int width) {
    switch (width) {
    case 640:
        return 0x1280;
    case 800:
        return 0x6A80;
    case 1024:
        return 0x5580;
    default:
        return 0x8380;
    }
}

/* ---- Mode set ---- */

/* An area of the screen's grafinfo, at least `minimum` bytes long; null when
 * it is missing. A shorter area ends the server: the block and buffer the
 * driver reaches in it would lie outside it. */
static uint8_t *m64MapArea(GrafinfoHandle graf, const char *name, uint32_t minimum,
                           uint32_t *length) {
    uint32_t phys = 0, len = 0;
    void *mapped = 0;
    if (!grafGetMemInfo(graf, name, &phys, &len, &mapped) || !mapped)
        return 0;
    if (len < minimum)
        FatalError(M64_AREA_NAME ": %s in grafinfo file is 0x%X bytes, at least 0x%X needed.\n",
                   name ? name : "MEMORY", len, minimum);
    if (length)
        *length = len;
    return (uint8_t *)mapped;
}

/* The register block: at the end of the aperture (8 MB, then 4 MB), or in
 * REGS when the aperture shows none there. Only offsets inside the mapped
 * aperture are tried. */
static void m64FindRegisters(teskScreenPrivate *priv, uint32_t apertureLength) {
    static const uint32_t offsets[2] = {M64_REGS_APERTURE8, M64_REGS_APERTURE4};
    if (priv->aperture) {
        for (int i = 0; i < 2; i++) {
            if (apertureLength < offsets[i] + M64_REGS_BYTES)
                continue;
            priv->regs = (uint32_t *)(priv->aperture + offsets[i]);
            if (m64In(priv, CONFIG_CHIP_ID) != NO_REGISTERS) {
                priv->regBytes = (uint8_t *)priv->regs;
                return;
            }
        }
    }
    priv->aperture = 0;
    priv->regs = (uint32_t *)(priv->regsArea + M64_REGS_IN_REGS);
    priv->regBytes = (uint8_t *)priv->regs;
}

static void m64RunModeProcedures(teskScreenPrivate *priv, const uint8_t *crt) {
    GrafinfoHandle graf = priv->grafinfo;
    int code = (int)priv->pixWidthCode;
    int result = 0;

    /* The second and fourth words of "SetGraphics" carry nothing: 0. */
    if (!grafExec(graf, "SetGraphics", &result, SETGRAPHICS_FIRST, 0,
                  m64ResolutionCode(priv->width) | code, 0))
        FatalError(M64_AREA_NAME ": SetGraphics not specified in grafinfo file!\n");
    if (result == 0)
        FatalError("\nGraphics Initialization error:Check grafinfo file");

    uint8_t *buffer = priv->regsArea + M64_EXCHANGE;
    for (int i = 0; i < M64_EXCHANGE_BYTES; i++)
        buffer[i] = crt[i];

    result = 0;
    if (!grafExec(graf, "SetMode", &result, SETMODE_SET, SETMODE_BUFFER, SETMODE_WORD | code,
                  SETMODE_FOURTH))
        FatalError("\n" M64_AREA_NAME ": SetMode not specified in grafinfo file!\n");
    if (result == 0)
        FatalError("\nCustom Mode Initialization error:Check grafinfo file");

    result = 0;
    if (!grafExec(graf, "SetMode", &result, SETMODE_QUERY, SETMODE_BUFFER, SETMODE_WORD | code,
                  SETMODE_FOURTH))
        FatalError(M64_QUERY_FAILED);
    priv->colorSupport = buffer[M64_COLOR_SUPPORT_BYTE];
}

static void m64EngineDefaults(teskScreenPrivate *priv) {
    uint32_t code = priv->pixWidthCode;
    uint32_t scissorX = (uint32_t)(priv->width - 1) << 16;
    uint32_t scissorY = (uint32_t)(priv->height - 1) << 16;
    uint32_t pixWidth = m64DstPixWidth(code) | code << 8 | code << 16;

    m64Out(priv, OVR_CLR, 1);
    m64Out(priv, CONTEXT_MASK, 0xFFFFFFFFu);
    priv->pitchWord = (uint32_t)(priv->width / 8) << 22;
    m64Out(priv, DST_OFF_PITCH, priv->pitchWord);
    m64OutDstYX(priv, 0);
    m64Out(priv, DST_HEIGHT, 0);
    m64Out(priv, DST_BRES_ERR, 0);
    m64Out(priv, DST_BRES_INC, 0);
    m64Out(priv, DST_BRES_DEC, 0);
    m64Out(priv, DST_CNTL, DST_CNTL_DEFAULT);
    LNAME(CheckedWait)(priv, M64_PREFIX "InitHW1");

    m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
    m64Out(priv, SRC_Y_X, 0);
    m64Out(priv, SRC_HEIGHT1_WIDTH1, 1);
    m64Out(priv, SRC_Y_X_START, 0);
    m64Out(priv, SRC_HEIGHT2_WIDTH2, 1);
    m64Out(priv, SRC_CNTL, SRC_CNTL_DEFAULT);
    LNAME(CheckedWait)(priv, M64_PREFIX "InitHW2");

    m64Out(priv, HOST_CNTL, 0);
    m64Out(priv, PAT_REG0, 0);
    m64Out(priv, PAT_REG1, 0);
    m64Out(priv, PAT_CNTL, 0);
    m64Out(priv, SC_LEFT_RIGHT, scissorX);
    m64Out(priv, SC_TOP_BOTTOM, scissorY);
    m64Out(priv, DP_BKGD_CLR, 0);
    m64Out(priv, DP_FRGD_CLR, 0xFFFFFFFFu);
    m64Out(priv, DP_WRITE_MASK, 0xFFFFFFFFu);
    m64Out(priv, DP_MIX, DP_MIX_DEFAULT);
    m64Out(priv, DP_SRC, DP_SRC_FOREGROUND);
    LNAME(CheckedWait)(priv, M64_PREFIX "InitHW3");

    m64Out(priv, CLR_CMP_CLR, 0);
    m64Out(priv, CLR_CMP_MASK, 0xFFFFFFFFu);
    m64Out(priv, CLR_CMP_CNTL, 0);
    m64Out(priv, DP_PIX_WIDTH, pixWidth);
    m64Out(priv, DP_CHAIN_MASK, priv->depth == 16 ? CHAIN_MASK_16 : CHAIN_MASK_OTHER);

    /* Register and shadow are set together: after this nothing is cached
     * that the chip does not hold. */
    priv->shadowDpSrc = DP_SRC_FOREGROUND;
    priv->shadowDpMix = DP_MIX_DEFAULT;
    priv->shadowWriteMask = 0xFFFFFFFFu;
    priv->shadowFgColor = 0xFFFFFFFFu;
    priv->shadowBgColor = 0;
    priv->shadowPixWidth = pixWidth;
    priv->shadowDstCntl = DST_CNTL_DEFAULT;
    priv->shadowSrcCntl = SRC_CNTL_DEFAULT;
    priv->shadowScissorX = scissorX;
    priv->shadowScissorY = scissorY;
    priv->shadowCmpColor = 0;
    priv->shadowCmpMask = 0xFFFFFFFFu;
    LNAME(CheckedWait)(priv, M64_PREFIX "InitHW");
}

Bool UNAME(InitHW)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    GrafinfoHandle graf = priv->grafinfo;
    uint32_t apertureLength = 0;

    priv->memWindow = m64MapArea(graf, 0, M64_WINDOW_BYTES, 0);
    if (!priv->memWindow)
        FatalError(M64_AREA_NAME ": Missing MEMORY in grafinfo file.\n");
    priv->regsArea = m64MapArea(graf, "REGS", M64_WINDOW_BYTES, 0);
    if (!priv->regsArea)
        FatalError(M64_AREA_NAME ": Missing Register MEMORY in grafinfo file.\n");
    priv->aperture = m64MapArea(graf, "APERTURE", 0, &apertureLength);
    m64FindRegisters(priv, apertureLength);

    const uint8_t *crt = m64CrtTable(priv->frequency, priv->width);
    if (!crt)
        FatalError(M64_SHOUT ": no CRT timing for FREQUENCY %d at PIXWIDTH %d\n", priv->frequency,
                   priv->width);
    m64RunModeProcedures(priv, crt);

    m64Out(priv, BUS_CNTL, (m64In(priv, BUS_CNTL) & BUS_CNTL_KEEP) | BUS_CNTL_ACK);
    m64Out(priv, GEN_TEST_CNTL, m64In(priv, GEN_TEST_CNTL) | GEN_ENGINE_ENABLE);
    m64Out(priv, CRTC_GEN_CNTL, m64In(priv, CRTC_GEN_CNTL) & ~CRTC_BIT11);
    if (m64Traits.extMemCntl)
        m64Out(priv, EXT_MEM_CNTL, (m64In(priv, EXT_MEM_CNTL) & EXT_MEM_KEEP) | EXT_MEM_SET);

    UNAME(BlankScreen)(1, pScreen);
    m64EngineDefaults(priv);
    UNAME(BlankScreen)(0, pScreen);
    return 1;
}
