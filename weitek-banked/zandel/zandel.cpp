/*
 * zandel: binding, the grafinfo parameters, screen initialisation, the
 * console-switch callbacks, blanking, GC and window validation, the close.
 * The mode itself is set by the RAMDAC enable routines.
 */
#include "zandel.h"

int zandelScreenPrivateIndex = -1;
static uint32_t zandelGeneration = (uint32_t)-1;

static VisualRec zandelVisual = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec zandelVisual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x07E0, 0x001F, 11, 5, 0};
static VisualRec zandelVisual24 = {0,        TrueColor, 8,  256, 24, 0xFF0000,
                                   0x00FF00, 0x0000FF,  16, 8,   0};

static void zandelSaveGState(ScreenPtr pScreen);
static void zandelRestoreGState(ScreenPtr pScreen);
static void zandelFreeScreen(int index, ScreenPtr pScreen);

static SysInfo zandelSysInfo = {0,
                                zandelSetGraphics,
                                zandelSetText,
                                zandelSaveGState,
                                zandelRestoreGState,
                                zandelFreeScreen,
                                1,
                                1,
                                1,
                                5.0f};

static const char msgPixelInfo[] = "zandel: can't find pixel info in grafinfo file.\n";
static const char msgNoMemory[] = "zandel: Missing MEMORY in grafinfo file.\n";
static const char msgNoParms[] = "zandel: Missing ZANDEL parms in grafinfo file.\n";
static const char msgNoCfgSpace[] = "zandel: unable to open configuration space.\n";
static const char msgBadRamdac[] = "zandel: RAMDAC type not recognized.\n";
static const char msgNoRoom[] = "zandel: not enough memory for requested mode %dx%d-%s\n";
static const char msgNoLine[] =
    "zandel: a line of %d bytes is not what the system configuration holds (%u)\n";

#define DEFAULT_MONITOR_MM 300
#define MAX_SCREEN_DIMENSION 0x7FFF
#define INTERRUPT_SETTING 0x2A
#define TEXT_SETTLE_MS 100

/* ---- Records ---- */

PrivOps zandelSolidPrivOps = {zandelSolidFillRects, zandelSolidFS, {.ZeroSeg = zandelSolidZeroSeg},
                              genSolidGCOp4,        genSolidGCOp5, genSolidGCOp6};
PrivOps zandelTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                              genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps zandelStippledPrivOps = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps zandelOpStippledPrivOps = {
    zandelOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,        genOpStippledGCOp5, genOpStippledGCOp6};
ExtraGCOps zandelExtraGCOps = {zandelPolyZeroSeg};

WinOps zandelWinOps = {zandelCopyRect,
                       zandelDrawSolidRects,
                       zandelDrawImage,
                       zandelDrawMonoImage,
                       zandelDrawOpaqueMonoImage,
                       zandelReadImage,
                       zandelDrawPoints,
                       zandelTileRects,
                       zandelDrawMonoGlyphs,
                       {.DrawFontText = zandelDrawFontText},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       zandelSetClipRegions,
                       zandelValidateWindowGC};

/* ---- Binding ---- */

static Bool zandelProbe(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Grafinfo parameters ---- */

typedef struct _ZandelKey {
    const char *name;
    size_t field; /* offset of its int32_t in the private */
    int32_t fallback;
} ZandelKey;

#define ZANDEL_FIELD(f) __builtin_offsetof(zandelScreenPrivate, f)

/* The optional keys, in the order they are read. */
static const ZandelKey zandelOptionalKeys[] = {
    {"DEVICE_ID", ZANDEL_FIELD(deviceId), ZANDEL_DEVICE_ID},
    {"VENDOR_ID", ZANDEL_FIELD(vendorId), ZANDEL_VENDOR_ID},
    {"SYSCONFIG", ZANDEL_FIELD(sysConfig), 0},
    {"MEMCONF", ZANDEL_FIELD(memConf), 0},
    {"SRTCTL", ZANDEL_FIELD(srtCtl), 0},
    {"SRTCTL2", ZANDEL_FIELD(srtCtl2), 0},
    {"HRZT", ZANDEL_FIELD(hrzt), 0},
    {"HRZSR", ZANDEL_FIELD(hrzsr), 0},
    {"HRZBR", ZANDEL_FIELD(hrzbr), 0},
    {"HRZBF", ZANDEL_FIELD(hrzbf), 0},
    {"VRTT", ZANDEL_FIELD(vrtt), 0},
    {"VRTSR", ZANDEL_FIELD(vrtsr), 0},
    {"VRTBR", ZANDEL_FIELD(vrtbr), 0},
    {"VRTBF", ZANDEL_FIELD(vrtbf), 0},
    {"MEM_OFFSET", ZANDEL_FIELD(memOffset), 0x800000},
    {"RAMWRITE", ZANDEL_FIELD(ramWrite), 0x3C8},
    {"PALDATA", ZANDEL_FIELD(palData), 0x3C9},
    {"CLOCK_TYPE", ZANDEL_FIELD(clockType), -1},
    {"RAMDAC", ZANDEL_FIELD(ramdacType), -1},
    {"PIXCLOCK", ZANDEL_FIELD(pixClock), 3150},
    {"MEM_CLOCK", ZANDEL_FIELD(memClock), 4000},
    {"CYCLES_PER_ROW_MISS", ZANDEL_FIELD(cyclesPerRowMiss), 4},
    {"OVERRIDE_DOTCLOCK", ZANDEL_FIELD(overrideDotClock), 0},
    {"OVERRIDE_REFCLOCK", ZANDEL_FIELD(overrideRefClock), 0},
    {"OVERRIDE_MEMCLOCK", ZANDEL_FIELD(overrideMemClock), 0},
    {"ICD_SER_PIX_CLK", ZANDEL_FIELD(icdSerPixClk), 0},
    {"ICD_CTRL_PIX_CLK", ZANDEL_FIELD(icdCtrlPixClk), 16},
    {"ICD_SER_525_REF", ZANDEL_FIELD(icdSer525Ref), 0},
    {"ICD_CTRL_525_REF", ZANDEL_FIELD(icdCtrl525Ref), 16},
    {"REF_CLK_CNT_525", ZANDEL_FIELD(refClkCnt525), 0},
    {"VID_CLK_FREQ_525", ZANDEL_FIELD(vidClkFreq525), 0},
    {"MEM_CFG_CLR", ZANDEL_FIELD(memCfgClr), -1},
    {"MEM_CFG_SET", ZANDEL_FIELD(memCfgSet), 0},
    {"SRT_CTRL_CLR", ZANDEL_FIELD(srtCtrlClr), -1},
    {"SRT_CTRL_SET", ZANDEL_FIELD(srtCtrlSet), 0},
};

static const char *const zandelTimingKeys[10] = {"HSP", "HBP", "HFP", "HCO", "HP",
                                                 "VSP", "VBP", "VFP", "VCO", "VP"};

static Bool zandelGetZandelParms(GrafinfoHandle graf, zandelScreenPrivPtr priv) {
    for (const ZandelKey &k : zandelOptionalKeys) {
        int32_t *field = (int32_t *)((uint8_t *)priv + k.field);
        int value = k.fallback;
        grafGetInt(graf, k.name, &value);
        *field = value;
    }
    priv->pixClockConfig = priv->pixClock;
    priv->memClockConfig = priv->memClock;
    for (int i = 0; i < 10; i++) {
        int value;
        if (!grafGetInt(graf, zandelTimingKeys[i], &value))
            return 0;
        priv->timing[i] = value;
    }
    int pll = 0;
    grafGetInt(graf, "PLL525", &pll);
    priv->pll525 = pll;
    return 1;
}

/* ---- Console switch and blanking ---- */

void zandelSetGraphics(ScreenPtr pScreen) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    /* Drawing may still run from before a server reset: the mode set
     * changes the engine's geometry and registers under it. */
    zandelWaitIdle(priv);
    grafExec(zandelGrafinfo(pScreen), "SetGraphics", 0);
    if (priv->ramdacType == ZANDEL_DAC_RGB525)
        zandelCrt525Enable(priv, 0);
    else
        zandelCrt485Enable(priv, 0);
    zandelWrite(priv, ZANDEL_INTERRUPT_EN, INTERRUPT_SETTING);

    const int lineBytes = priv->pixelSize * priv->width;
    BoxRec box;
    box.x1 = 0;
    box.y1 = 0;
    box.x2 = (int16_t)lineBytes;
    /* Narrow lines over a lot of memory make more rows than a box holds:
     * the box ends at the last row it can name. */
    int32_t rows = (int32_t)((uint32_t)priv->memoryMB << 20) / lineBytes;
    if (rows > MAX_SCREEN_DIMENSION)
        rows = MAX_SCREEN_DIMENSION;
    box.y2 = (int16_t)rows;
    priv->screenBox = box;
    priv->clipBox = box;
    priv->offScreen.x = 0;
    priv->offScreen.y = priv->height;
    priv->offScreen.width = priv->width;
    priv->offScreen.height = box.y2 - priv->height;

    /* The byte clip's right edge as the mode set has always loaded it: the
     * last pixel's byte, not the line's last byte; both lie past anything
     * the layer draws. */
    zandelLoadClip(priv, &box, (box.x2 - 1) * priv->pixelSize + 1);
    zandelRestoreColormap(pScreen);
}

Bool zandelSetText(ScreenPtr pScreen) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    /* The last drawing may still run; the mode set reloads its registers. */
    zandelWaitIdle(priv);
    if (priv->ramdacType == ZANDEL_DAC_RGB525)
        zandelCrt525Disable(priv);
    else
        zandelCrt485Disable(priv);
    zandelDelay(TEXT_SETTLE_MS);
    return grafExec(zandelGrafinfo(pScreen), "SetText", 0);
}

/* No register shadows or caches to keep over a switch. */
static void zandelSaveGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static void zandelRestoreGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static int zandelBlankScreen(int on, ScreenPtr pScreen) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    zandelWrite(priv, ZANDEL_SRTCTL,
                on ? priv->srtCtl & ~(uint32_t)ZANDEL_SRTCTL_PICTURE
                   : priv->srtCtl | ZANDEL_SRTCTL_PICTURE);
    return 1;
}

static void zandelFreeScreen(int index, ScreenPtr pScreen) {
    (void)index;
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    if (priv == nullptr)
        return;
    if (priv->cfgClose != nullptr)
        priv->cfgClose(priv->cfgHandle);
    Xfree(priv);
    pScreen->devPrivates[zandelScreenPrivateIndex].ptr = nullptr;
}

/* ---- GC and window validation ---- */

void zandelValidateWindowPriv(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &zandelWinOps;
}

int zandelValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    /* An opaque stipple draws solid while its colours agree, so a colour
     * change can move it between records as a fill-style change does. */
    if (changes & (GCFillStyle | GCForeground | GCBackground)) {
        nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
        switch (pGC->fillStyle) {
        case FillSolid:
            gcPriv->ops = &zandelSolidPrivOps;
            gcPriv->extraOps = &zandelExtraGCOps;
            break;
        case FillTiled:
            gcPriv->ops = &zandelTiledPrivOps;
            break;
        case FillStippled:
            gcPriv->ops = &zandelStippledPrivOps;
            break;
        case FillOpaqueStippled:
            if (pGC->fgPixel == pGC->bgPixel) {
                gcPriv->ops = &zandelSolidPrivOps;
                gcPriv->extraOps = &zandelExtraGCOps;
            } else {
                gcPriv->ops = &zandelOpStippledPrivOps;
                if (gcPriv->extraOps == &zandelExtraGCOps)
                    gcPriv->extraOps = nullptr;
            }
            break;
        default:
            break;
        }
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Start-up ---- */

static Bool zandelInitHW(ScreenPtr pScreen) {
    zandelScreenPrivPtr priv = ZANDEL_PRIVATE(pScreen);
    GrafinfoHandle graf = zandelGrafinfo(pScreen);
    uint32_t areaLength = 0;
    void *mapped = nullptr;
    if (!grafGetMemInfo(graf, nullptr, nullptr, &areaLength, &mapped) || mapped == nullptr) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->registers = (uint8_t *)mapped;
    if (!zandelGetZandelParms(graf, priv)) {
        ErrorF(msgNoParms);
        return 0;
    }
    priv->frameBuffer = priv->registers + priv->memOffset;
    if (!zandelChooseCfgSpace(priv)) {
        ErrorF(msgNoCfgSpace);
        return 0;
    }
    zandelNativeModeOf(priv, 1);
    zandelWrite(priv, ZANDEL_SYSCONFIG, 0);
    priv->revision = (int32_t)(zandelRead(priv, ZANDEL_SYSCONFIG) & 7);
    const uint32_t pu = zandelRead(priv, ZANDEL_POWERUP);
    if (priv->clockType == -1)
        priv->clockType = (int32_t)((pu >> ZANDEL_PU_CLOCK_SHIFT) & 7);
    if (priv->ramdacType == -1)
        priv->ramdacType = (int32_t)((pu >> ZANDEL_PU_RAMDAC_SHIFT) & 0xF);

    Bool known = 1;
    switch (priv->ramdacType) {
    case ZANDEL_DAC_BT485: {
        /* Command register 3 shows through register 10 only with bit 7 of
         * command register 0 clear; its top bits name the part. */
        zandelPutDacByte(priv, 6, zandelGetDacByte(priv, 6) & 0x7F);
        const int id = zandelGetDacByte(priv, 10);
        if ((id >> 4) == 2)
            priv->ramdacType = ZANDEL_DAC_BT485_16;
        else if ((id >> 6) != 2)
            known = 0;
        break;
    }
    case ZANDEL_DAC_BT485_1:
    case ZANDEL_DAC_RGB511:
    case ZANDEL_DAC_RGB525:
        break;
    default:
        known = 0;
        break;
    }
    if (!known) {
        ErrorF(msgBadRamdac);
        zandelNativeModeOf(priv, 0);
        return 0;
    }

    zandelSetGraphics(pScreen);

    /* The memory found, as far as the register window reaches past the
     * frame buffer's offset. */
    uint64_t memory = (uint64_t)(uint32_t)priv->memoryMB << 20;
    const uint64_t reach =
        areaLength > (uint32_t)priv->memOffset ? areaLength - (uint32_t)priv->memOffset : 0;
    if (reach < memory)
        memory = reach;
    const uint64_t screen =
        (uint64_t)(uint32_t)(priv->width * priv->height) * (uint32_t)priv->pixelSize;
    /* Images are read and written at PIXBYTES per row. */
    const uint64_t rows = (uint64_t)priv->pixBytes * (uint64_t)(priv->height - 1) +
                          (uint64_t)priv->pixelSize * (uint64_t)priv->width;
    if (screen > memory || rows > memory) {
        zandelSetText(pScreen);
        ErrorF(msgNoRoom, priv->width, priv->height,
               priv->pixelSize == 1   ? "256"
               : priv->pixelSize == 2 ? "64K"
                                      : "16M");
        return 0;
    }
    /* The engine draws at the line the system configuration holds, the
     * processor reads images PIXBYTES apart: a line the word cannot hold
     * (its fields drop what is left over) or another PIXBYTES would put
     * them at odds. */
    const uint32_t word = priv->sysConfig != 0
                              ? priv->sysConfig
                              : zandelBuildSysConf(priv->pixelSize, priv->width * priv->pixelSize);
    const uint32_t pitch = zandelSysConfPitch(word);
    if (pitch != (uint32_t)priv->pixBytes ||
        pitch < (uint32_t)priv->width * (uint32_t)priv->pixelSize) {
        zandelSetText(pScreen);
        ErrorF(msgNoLine, priv->pixBytes, pitch);
        return 0;
    }
    return 1;
}

/* The private, stored at the driver's index in the screen; null when the
 * server has none to give. */
static zandelScreenPrivPtr zandelAllocPrivate(ScreenPtr pScreen) {
    if (zandelGeneration != serverGeneration) {
        const int index = AllocateScreenPrivateIndex();
        if (index < 0)
            return nullptr;
        zandelScreenPrivateIndex = index;
        zandelGeneration = serverGeneration;
    }
    zandelScreenPrivPtr priv = (zandelScreenPrivPtr)Xalloc(sizeof(zandelScreenPrivate));
    if (priv == nullptr)
        return nullptr;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[zandelScreenPrivateIndex].ptr = priv;
    return priv;
}

static Bool zandelInitScreen(ScreenPtr pScreen, zandelScreenPrivPtr priv) {
    GrafinfoHandle graf = zandelGrafinfo(pScreen);
    int width, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    int pixelSize = 1;
    grafGetInt(graf, "PIXELSIZE", &pixelSize);
    /* The mode set divides by the line, and only these sizes have a visual. */
    if (width <= 0 || height <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION || (pixelSize != 1 && pixelSize != 2 && pixelSize != 4)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* The server's pixmaps hold the screen's pixels at its bits per pixel:
     * drawing at another size would disagree with every image. */
    if (ddxActiveScreens[pScreen->myNum]->config->bitsPerPixel != 8 * pixelSize) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int pixBytes = pixelSize * width;
    grafGetInt(graf, "PIXBYTES", &pixBytes);
    if (pixBytes <= 0) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    priv->pixelSize = pixelSize;
    priv->pixBytes = pixBytes;

    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;
    VisualRec *visual = pixelSize == 1   ? &zandelVisual
                        : pixelSize == 2 ? &zandelVisual16
                                         : &zandelVisual24;
    if (!nfbAddVisual(pScreen, visual))
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (pixelSize == 1) {
        nfb->SetColor = zandelSetColor;
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->gcTemplate->ops = &zandelSolidPrivOps;
    nfb->BlankScreen = zandelBlankScreen;
    nfb->driverFlag = 1;
    nfb->ValidateWindowPriv = zandelValidateWindowPriv;

    if (!zandelInitHW(pScreen))
        return 0;
    vexoSWCursorInitialize(pScreen);
    const Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &zandelSysInfo);
    nfbSetOptions(pScreen, 50, enforceProtocol == 0 ? 1 : 0, 0);
    _zandel_BuildRasterOps(priv);
    return 1;
}

static Bool zandelInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    zandelScreenPrivPtr priv = zandelAllocPrivate(pScreen);
    if (priv == nullptr)
        return 0;
    if (zandelInitScreen(pScreen, priv))
        return 1;
    /* The server closes only screens that started: nothing else would free
     * the private. */
    zandelFreeScreen(0, pScreen);
    return 0;
}

extern "C" {
DRV_EXPORT ScreenInfo zandelScreenInfo = {zandelProbe, zandelInit, "zandel", {}};
}
