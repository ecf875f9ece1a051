/*
 * neo: binding, screen initialisation, the choice of drawing records by
 * chip, the console switch with the panel outputs, blanking, best sizes,
 * validation and the palette.
 */
#include "neo.h"

int NAME(ScreenPrivateIndex) = -1;
static int NAME(Generation) = -1;

static const char msgPixelInfo[] = "neo: can't find pixel info in grafinfo file.\n";
static const char msgNoMemory[] = "neo: Missing MEMORY in grafinfo file.\n";

static Bool NAME(Probe)(int unused, ScreenConfig *config);
static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv);
static void NAME(SetGraphics)(ScreenPtr pScreen);
static Bool NAME(SetText)(ScreenPtr pScreen);
static void NAME(SaveGState)(ScreenPtr pScreen);
static void NAME(RestoreGState)(ScreenPtr pScreen);
static void NAME(FreeScreen)(int index, ScreenPtr pScreen);

extern "C" {

DRV_EXPORT ScreenInfo NAME(ScreenInfo) = {NAME(Probe), NAME(Init), DRIVER_NAME, {}};

DRV_EXPORT SysInfo NAME(SysInfo) = {0,
                                    NAME(SetGraphics),
                                    NAME(SetText),
                                    NAME(SaveGState),
                                    NAME(RestoreGState),
                                    NAME(FreeScreen),
                                    1,
                                    1,
                                    1,
                                    5.0f};

#if defined(NEO_BUILD_YSSEN8)
DRV_EXPORT VisualRec NAME(Visual) = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
#else
DRV_EXPORT VisualRec NAME(Visual) = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
#endif
}

/* ---- Binding ---- */

/* Each build draws one pixel format (the visual's depth in pixels of
 * 8 x pixelBytes bits): a screen configured otherwise is not taken. */
static Bool NAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    neoInitRasterOps();
    const int bits = 8 * neoBuild.pixelBytes;
    if (config->depth != bits || config->bitsPerPixel != bits)
        return 0;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Palette ---- */

static void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                           ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    outb(VGA_DAC_WRITE_INDEX, (uint8_t)index);
    outb(VGA_DAC_DATA, (uint8_t)(red >> DAC_COMPONENT_SHIFT));
    outb(VGA_DAC_DATA, (uint8_t)(green >> DAC_COMPONENT_SHIFT));
    outb(VGA_DAC_DATA, (uint8_t)(blue >> DAC_COMPONENT_SHIFT));
}

static void NAME(RestoreColormap)(ScreenPtr pScreen) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap)
        return;
    for (int i = 0; i < cmap->pVisual->ColormapEntries; i++) {
        const Entry *e = &cmap->red[i];
        if (e->fShared)
            NAME(SetColor)
        (0, i, e->co.shco.red->color, e->co.shco.green->color, e->co.shco.blue->color, pScreen);
        else NAME(SetColor)(0, i, e->co.local.red, e->co.local.green, e->co.local.blue, pScreen);
    }
}

/* ---- Console switch ---- */

static Bool neoPanelKeys(const neoScreenPrivate *priv) {
    return priv->internDisp || priv->externDisp;
}

static void NAME(SetGraphics)(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    grafExec(neoGrafinfo(pScreen), "SetGraphics", 0);
    outw(VGA_GC_INDEX, GR09_UNLOCK);
    outw(VGA_GC_INDEX, GR0E_SETUP);
    outw(VGA_GC_INDEX, GR11_SETUP);
    if (neoBuild.palette)
        NAME(RestoreColormap)(pScreen);
    if (neoPanelKeys(priv)) {
        outb(VGA_GC_INDEX, GR_PANEL);
        const uint8_t gr20 = inb(VGA_GC_DATA);
        priv->savedGR20 = gr20;
        uint8_t outputs =
            (priv->internDisp ? GR20_INTERNAL : 0) | (priv->externDisp ? GR20_EXTERNAL : 0);
        outb(VGA_GC_DATA, (uint8_t)((gr20 & ~GR20_OUTPUTS) | outputs));
    }
}

/* The cursor enable is written only where there are cursor registers: the
 * register block's first word is the engine's status. */
static Bool NAME(SetText)(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    if (priv->cursorRegs)
        mmWrite32(priv->regBase + priv->cursorRegs, 0);
    if (neoPanelKeys(priv)) {
        outb(VGA_GC_INDEX, GR_PANEL);
        outb(VGA_GC_DATA, (uint8_t)priv->savedGR20);
    }
    return grafExec(neoGrafinfo(pScreen), "SetText", 0);
}

static void NAME(SaveGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

static void NAME(RestoreGState)(ScreenPtr pScreen) {
    neoRestoreCursor(pScreen);
}

static void NAME(FreeScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    Xfree(pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr);
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = 0;
}

static int NAME(BlankScreen)(int on, ScreenPtr pScreen) {
    (void)pScreen;
    outb(VGA_SEQ_INDEX, SR_CLOCKING);
    const uint8_t sr1 = inb(VGA_SEQ_DATA);
    outb(VGA_SEQ_DATA, (uint8_t)(on ? sr1 | SR1_SCREEN_OFF : sr1 & ~SR1_SCREEN_OFF));
    return 1;
}

static void NAME(QueryBestSize)(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    if (cls != CursorShape)
        return;
    if (*width > (uint16_t)pScreen->width)
        *width = (uint16_t)pScreen->width;
    if (*height > (uint16_t)pScreen->height)
        *height = (uint16_t)pScreen->height;
}

/* ---- Validation ---- */

static void NAME(ValidateWindowPriv)(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = NAME(WinOps);
}

static PrivOps *neoOpsFor(GCPtr pGC, const nfbGCPrivate *gcPriv) {
    const Bool full = (gcPriv->planemask & neoBuild.planeMaskFull) == neoBuild.planeMaskFull;
    switch (pGC->fillStyle) {
    case FillTiled:
        return NAME(TiledPrivOps);
    case FillStippled:
        return full ? NAME(StippledPrivOps) : NAME(PlanemaskStippledPrivOps);
    case FillOpaqueStippled:
        return full ? NAME(OpStippledPrivOps) : NAME(PlanemaskOpStippledPrivOps);
    default:
        if (!full)
            return NAME(PlanemaskSolidPrivOps);
        return gcPriv->alu == GXcopy ? NAME(SolidPrivOpsGXcopy) : NAME(SolidPrivOps);
    }
}

int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCPlaneMask | GCFunction)) {
        nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
        /* The layer's copy of the values may not be filled in yet: the
         * GC's own alu and plane mask decide. */
        nfbGCPrivate values = *gcPriv;
        values.alu = pGC->alu;
        values.planemask = pGC->planemask;
        gcPriv->ops = neoOpsFor(pGC, &values);
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Render-ops selection ---- */

static void neoSelectDFB(void) {
    NAME(PlanemaskSolidPrivOps) = &NAME(DFBPlanemaskSolidPrivOps);
    NAME(TiledPrivOps) = &NAME(DFBTiledPrivOps);
    NAME(StippledPrivOps) = &NAME(DFBStippledPrivOps);
    NAME(PlanemaskStippledPrivOps) = &NAME(DFBPlanemaskStippledPrivOps);
    NAME(OpStippledPrivOps) = &NAME(DFBOpStippledPrivOps);
    NAME(PlanemaskOpStippledPrivOps) = &NAME(DFBPlanemaskOpStippledPrivOps);
}

/* The engine's line length by screen width; 0 when it has none. */
static uint32_t neoWidthCode(int width, Bool wide) {
    switch (width) {
    case 640:
        return 0x800;
    case 800:
        return 0xC00;
    case 1024:
        return 0x1000;
    case 1280:
        return wide ? 0x1800 : 0;
    default:
        return 0;
    }
}

static int neoChipCode(GrafinfoHandle graf) {
    int code;
    if (!grafGetInt(graf, "CHIPID", &code)) {
        outb(VGA_CRTC_INDEX, CR_CHIP_CODE);
        code = inb(VGA_CRTC_DATA) & CHIP_CODE_MASK;
    }
    int noAccel = 0;
    if (grafGetInt(graf, "NOACCEL", &noAccel) && noAccel)
        code = CHIP_NONE;
    return code;
}

static void neoSetCursorPlace(neoScreenPrivPtr priv, uint32_t addrCode, uint32_t regs) {
    priv->cursorAddrCode = addrCode;
    priv->cursorRegs = regs;
    priv->cursorMem = addrCode ? priv->fbBase + addrCode * 1024 : 0;
}

static void neoSelectEngine(PrivOps *solid, PrivOps *solidGXcopy, WinOps *winOps) {
    NAME(SolidPrivOps) = solid;
    NAME(SolidPrivOpsGXcopy) = solidGXcopy;
    NAME(WinOps) = winOps;
}

/* The engines address the screen by x and y with the line length of the
 * width code: a width without a code is drawn by the processor. The cursor
 * does not need the engine and stays. */
void neoInitRenderOps(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    const int chip = neoChipCode(neoGrafinfo(pScreen));
    neoSelectDFB();
    neoSelectEngine(&NAME(DFBSolidPrivOps), &NAME(DFBSolidPrivOpsGXcopy), &NAME(DFBWinOps));
    neoSetCursorPlace(priv, 0, 0);
    const uint32_t widthCode209X = neoWidthCode(priv->width, 0);
    switch (chip) {
    case CHIP_2090:
    case CHIP_2093:
        priv->bltFlags = widthCode209X | neoBuild.bltChip;
        neoSetCursorPlace(priv, 0x47E, 0x100);
        break;
    case CHIP_2097:
        priv->bltFlags = widthCode209X | neoBuild.bltChipLater;
        neoSetCursorPlace(priv, 0x7FF, 0x100);
        break;
    case CHIP_2160:
        priv->bltFlags = widthCode209X | neoBuild.bltChipLater;
        neoSetCursorPlace(priv, 0x47F, 0x100);
        break;
    case CHIP_2200:
        priv->blitMode = neoWidthCode(priv->width, 1) | neoBuild.blitModeBase;
        neoSetCursorPlace(priv, 0x9FF, 0x1000);
        if (neoWidthCode(priv->width, 1))
            neoSelectEngine(&NAME(SolidPrivOps2200), &NAME(SolidPrivOpsGXcopy2200),
                            &NAME(WinOps2200));
        return;
    default:
        return;
    }
    if (widthCode209X)
        neoSelectEngine(&NAME(SolidPrivOps209X), &NAME(SolidPrivOpsGXcopy209X), &NAME(WinOps209X));
}

/* ---- Screen initialisation ---- */

/* An area the driver reaches beyond its mapping, or beyond the video
 * memory behind the frame buffer, would be written outside it: too short
 * an area or too little memory counts as missing. */
static void neoCheckAreas(const neoScreenPrivate *priv, uint32_t fbLength, uint32_t regLength,
                          Bool accelerated) {
    uint64_t fbNeed = (uint64_t)(uint32_t)priv->pitch * (uint32_t)priv->height;
    uint64_t regNeed = 0;
    if (priv->cursorMem) {
        const uint64_t cursorEnd = (uint64_t)priv->cursorAddrCode * 1024 + CURSOR_IMAGE_BYTES;
        if (cursorEnd > fbNeed)
            fbNeed = cursorEnd;
        regNeed = priv->cursorRegs + CURSOR_REG_BYTES;
    }
    if (accelerated)
        regNeed = REG_BLOCK_BYTES;
    if (fbLength < fbNeed || regLength < regNeed)
        FatalError(msgNoMemory);
}

/* The frame-buffer area may be mapped longer than the memory behind it:
 * what the driver may use is the smaller of the two. */
static uint32_t neoVideoMemory(GrafinfoHandle graf, uint32_t fbLength) {
    int memSize = (int)DEFAULT_VIDEO_MEMORY;
    grafGetInt(graf, "MEMSIZE", &memSize);
    if (memSize <= 0)
        return 0;
    return (uint32_t)memSize < fbLength ? (uint32_t)memSize : fbLength;
}

static void NAME(InitHW)(ScreenPtr pScreen) {
    neoScreenPrivPtr priv = NEO_PRIV(pScreen);
    GrafinfoHandle graf = neoGrafinfo(pScreen);
    void *fb = 0, *regs = 0;
    uint32_t fbLength = 0, regLength = 0;
    if (!grafGetMemInfo(graf, "MEM_BASE1", 0, &fbLength, &fb) ||
        !grafGetMemInfo(graf, "MEM_BASE2", 0, &regLength, &regs) || !fb || !regs)
        FatalError(msgNoMemory);
    fbLength = neoVideoMemory(graf, fbLength);
    priv->fbBase = (uint8_t *)fb;
    priv->regBase = (uint8_t *)regs;
    int value = 1;
    grafGetInt(graf, "INTERN_DISP", &value);
    priv->internDisp = value;
    value = 0;
    grafGetInt(graf, "EXTERN_DISP", &value);
    priv->externDisp = value;
    /* The screen and the cursor place come first: the mode set writes the
     * cursor off at the next switch. */
    neoCheckAreas(priv, fbLength, regLength, 0);
    NAME(SetGraphics)(pScreen);
    neoInitRenderOps(pScreen);
    /* The chips with cursor registers are the ones with an engine. */
    neoCheckAreas(priv, fbLength, regLength, priv->cursorRegs != 0);
}

static neoScreenPrivPtr neoAllocPrivate(ScreenPtr pScreen) {
    if (NAME(Generation) != (int)serverGeneration) {
        NAME(ScreenPrivateIndex) = AllocateScreenPrivateIndex();
        NAME(Generation) = (int)serverGeneration;
    }
    neoScreenPrivPtr priv = (neoScreenPrivPtr)Xalloc(sizeof(neoScreenPrivate));
    if (priv)
        __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = priv;
    return priv;
}

static void neoInstallHooks(ScreenPtr pScreen) {
    pScreen->QueryBestSize = NAME(QueryBestSize);
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (neoBuild.palette) {
        nfb->SetColor = NAME(SetColor);
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->BlankScreen = NAME(BlankScreen);
    nfb->ValidateWindowPriv = NAME(ValidateWindowPriv);
}

/* The chip's cursor unless HWCURS asks for none, or the visible screen
 * reaches the cursor image's fixed place and would show it as pixels. */
static Bool neoHardwareCursor(const neoScreenPrivate *priv, GrafinfoHandle graf) {
    int hwcurs = 1;
    grafGetInt(graf, "HWCURS", &hwcurs);
    if (!hwcurs || !priv->cursorMem)
        return 0;
    const uint64_t screenBytes = (uint64_t)(uint32_t)priv->pitch * (uint32_t)priv->height;
    return screenBytes <= (uint64_t)priv->cursorAddrCode * 1024;
}

/* Everything after the private's allocation; 0 on failure. */
static Bool NAME(InitScreen)(ScreenPtr pScreen, neoScreenPrivPtr priv) {
    GrafinfoHandle graf = neoGrafinfo(pScreen);
    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth) || width <= 0 || height <= 0) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    priv->pitch = width * neoBuild.pixelBytes;
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, &NAME(Visual)))
        return 0;
    neoInstallHooks(pScreen);
    NAME(InitHW)(pScreen);
    NFB_SCREEN_PRIV(pScreen)->gcTemplate->ops = NAME(SolidPrivOps);
    if (neoHardwareCursor(priv, graf))
        NAME(CursorInitialize)(pScreen);
    else
        vexoSWCursorInitialize(pScreen);
    if (!cfbCreateDefColormap(pScreen))
        return 0;
    vexoSysInfoInit(pScreen, &NAME(SysInfo));
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    neoScreenPrivPtr priv = neoAllocPrivate(pScreen);
    if (!priv)
        return 0;
    if (NAME(InitScreen)(pScreen, priv))
        return 1;
    /* The server closes only screens that started. */
    NAME(FreeScreen)(0, pScreen);
    return 0;
}
