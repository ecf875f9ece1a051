/*
 * simra: binding, screen initialisation with the video-memory layout, the
 * engine's fixed registers, the console switch, blanking, best sizes and
 * window and GC validation.
 */
#include "simra.h"

int simraScreenPrivateIndex = -1;
static int simraServerGeneration = -1;

/* Set from the moment "SetGraphics" has run until "SetText" has: the mode
 * belongs to the adapter, not to a screen, so a second screen or a new
 * server generation finds the engine already programmed. */
static int wdModeChanged = 0;

#define GC_TILE 0x400
#define GC_STIPPLE 0x800
#define GC_DISPATCH (GCFillStyle | GCForeground | GCBackground)

static Bool simraProbe(int unused, ScreenConfig *config);
static Bool simraInit(int index, ScreenPtr pScreen, int argc, char **argv);
static void simraSetGraphics(ScreenPtr pScreen);
static Bool simraSetText(ScreenPtr pScreen);
static void simraSaveGState(ScreenPtr pScreen);
static void simraRestoreGState(ScreenPtr pScreen);
static void simraCloseScreen(int index, ScreenPtr pScreen);

static const char msgDepth[] = "simra: unsupported screen depth: %d\n";
static const char msgPixelInfo[] = "simra: can't find pixel info in grafinfo file.\n";
static const char msgNoMemory[] = "simra: missing MEMORY in grafinfo file.\n";
static const char msgInsufficient[] = "simra: insufficient memory for mode\n";

extern "C" {

DRV_EXPORT ScreenInfo simraScreenInfo = {simraProbe, simraInit, "simra", {}};

DRV_EXPORT SysInfo simraSysInfo = {0,
                                   simraSetGraphics,
                                   simraSetText,
                                   simraSaveGState,
                                   simraRestoreGState,
                                   simraCloseScreen,
                                   1,
                                   1,
                                   1,
                                   5.0f};

DRV_EXPORT VisualRec simraVisual = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};
DRV_EXPORT VisualRec simraVisual15 = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
DRV_EXPORT VisualRec simraVisual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};

DRV_EXPORT int nextFontId = 1;
}

/* ---- Binding ---- */

static Bool simraProbe(int unused, ScreenConfig *config) {
    (void)unused;
    switch (config->depth) {
    case 8:
    case 15:
    case 16:
    case 24:
        return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
    default:
        ErrorF(msgDepth, config->depth);
        return 0;
    }
}

static GrafinfoHandle simraGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Memory layout ---- */

static uint32_t simraMemorySize(void) {
    outb(VGA_GC_INDEX, GR_MEMORY);
    switch (inb(VGA_GC_DATA) >> GR_MEMORY_SHIFT) {
    case 2:
        return 512 * 1024;
    case 3:
        return 1024 * 1024;
    default:
        return 256 * 1024;
    }
}

static void simraSetDepth(simraScreenPrivPtr priv, int width, int depth) {
    switch (depth) {
    case 8:
        priv->pixelSizeBits = PIXEL_SIZE_8;
        priv->bytesPerPixel = 1;
        priv->pixelMask = 0xFF;
        break;
    case 15:
        priv->pixelSizeBits = PIXEL_SIZE_16;
        priv->bytesPerPixel = 2;
        priv->pixelMask = 0x7FFF;
        break;
    case 16:
        priv->pixelSizeBits = PIXEL_SIZE_16;
        priv->bytesPerPixel = 2;
        priv->pixelMask = 0xFFFF;
        break;
    default:
        priv->pixelSizeBits = PIXEL_SIZE_8;
        priv->bytesPerPixel = 3;
        priv->pixelMask = 0xFFFFFF;
        break;
    }
    priv->engineWidth = (uint32_t)width * (priv->bytesPerPixel == 3 ? 3u : 1u);
    priv->pitch = (uint32_t)width * (uint32_t)priv->bytesPerPixel;
}

/* Lines the engine can reach: its y coordinates are 12 bits, so memory
 * beyond line 4095 of a narrow screen is no use to it. */
static uint32_t simraEngineLines(const simraScreenPrivate *priv) {
    uint32_t lines = priv->memorySize / priv->pitch;
    return lines > WD_COORD_LIMIT ? WD_COORD_LIMIT : lines;
}

static void simraLayout(simraScreenPrivPtr priv, int width, int height) {
    const uint32_t bpp = (uint32_t)priv->bytesPerPixel;
    const uint32_t lines = simraEngineLines(priv);
    const uint32_t cellBytes = PATTERN_PIXELS * bpp;
    uint32_t screenEnd = priv->pitch * (uint32_t)height;
    screenEnd = (screenEnd + cellBytes - 1) / cellBytes * cellBytes;
    const uint32_t cell = screenEnd + cellBytes;
    priv->patternX = (int32_t)((cell % priv->pitch) / bpp);
    priv->patternY = (int32_t)(cell / priv->pitch);

    int32_t spare = (int32_t)lines - height - 1;
    if (spare < 0)
        spare = 0;
    int32_t staging = (spare / 2) & ~1;
    if (staging > STAGING_MAX_LINES)
        staging = STAGING_MAX_LINES;
    if (staging < STAGING_MIN_LINES)
        staging = 0;
    priv->tileAreaX = 0;
    priv->tileAreaY = height + 1;
    priv->tileAreaMaxWidth = (int32_t)(priv->engineWidth / 2);
    priv->tileAreaMaxHeight = staging / 2;

    priv->glyphAreaY = height + 1 + staging;
    priv->glyphAreaWidth = width;
    priv->glyphAreaHeight = spare - staging >= GLYPH_MIN_LINES ? spare - staging : 0;
}

Bool simraInitMem(ScreenPtr pScreen, int width, int height, int depth) {
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    const uint32_t memory = simraMemorySize();
    simraSetDepth(priv, width, depth);
    if (memory / priv->pitch < (uint32_t)height)
        return 0;
    priv->memorySize = memory;
    simraLayout(priv, width, height);
    priv->loadedKey = 0;
    return 1;
}

/* ---- Engine set-up and the console switch ---- */

static void simraSetupEngine(ScreenPtr pScreen) {
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    uint32_t bottom = priv->memorySize / priv->pitch;
    if (bottom > WD_COORD_LIMIT - 1)
        bottom = WD_COORD_LIMIT - 1;
    simraRegs r = simraBegin(priv);
    simraWaitEmpty();
    simraReg(&r, WD_B3, B3_RESET, 0);
    simraReg(&r, WD_B3, B3_LINE_LENGTH, priv->engineWidth);
    simraB1(&r, B1_CLIP_LEFT, 0);
    simraB1(&r, B1_CLIP_RIGHT, (uint32_t)pScreen->width - 1);
    simraWaitEmpty();
    simraB1(&r, B1_CLIP_TOP, 0);
    simraB1(&r, B1_CLIP_BOTTOM, bottom);
    ioOut8(WD_STATUS, WD_ENGINE_ENABLE);
    simraEnd(&r);
}

static void simraSetGraphics(ScreenPtr pScreen) {
    if (wdModeChanged)
        return;
    grafExec(simraGrafinfo(pScreen), "SetGraphics", 0);
    wdModeChanged = 1;
    simraSetupEngine(pScreen);
}

static Bool simraSetText(ScreenPtr pScreen) {
    simraWaitIdle();
    if (wdModeChanged) {
        grafExec(simraGrafinfo(pScreen), "SetText", 0);
        wdModeChanged = 0;
    }
    return 1;
}

void simraInitHW(ScreenPtr pScreen) {
    simraSetGraphics(pScreen);
    simraSetBank(SIMRA_PRIV(pScreen), 0);
}

/* The console may overwrite video memory: every cached glyph and font is
 * forgotten (the cache is marked absent until it is made again). */
static void simraSaveGState(ScreenPtr pScreen) {
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    if (priv->glyphAreaHeight > 0)
        simraDeallocGlCache(priv);
}

static void simraRestoreGState(ScreenPtr pScreen) {
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    if (priv->glyphAreaHeight > 0)
        simraInitGlCache(priv);
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
    priv->loadedKey = 0;
    simraSetBank(priv, 0);
}

static void simraCloseScreen(int index, ScreenPtr pScreen) {
    (void)index;
    simraScreenPrivPtr priv = SIMRA_PRIV(pScreen);
    if (!priv)
        return;
    if (priv->glyphAreaHeight > 0)
        simraDeallocGlCache(priv);
    Xfree(priv);
    pScreen->devPrivates[simraScreenPrivateIndex].ptr = 0;
}

static int simraBlankScreen(int on, ScreenPtr pScreen) {
    (void)pScreen;
    inb(VGA_INPUT_STATUS_1);
    outb(VGA_ATTR_INDEX, on ? ATTR_PICTURE_OFF : ATTR_PICTURE_ON);
    return 1;
}

static void simraQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    switch (cls) {
    case CursorShape:
        if (pScreen->rootDepth == 8)
            *width = *height = 64;
        else
            mfbQueryBestSize(cls, width, height, pScreen);
        break;
    case TileShape:
    case StippleShape: {
        uint16_t minWidth = pScreen->rootDepth == 8                                  ? 8
                            : (pScreen->rootDepth == 15 || pScreen->rootDepth == 16) ? 4
                                                                                     : 0;
        if (*width < minWidth)
            *width = minWidth;
        if (*height < 8)
            *height = 8;
        break;
    }
    default:
        break;
    }
}

/* ---- Validation ---- */

static void simraValidateWindowPriv(WindowPtr pWin) {
    uint8_t depth = pWin->drawable.depth;
    if (depth == 8 || depth == 15 || depth == 16)
        NFB_WINDOW_PRIV(pWin)->ops = &simraWinOps;
}

static PrivOps *simraOpsFor(GCPtr pGC) {
    switch (pGC->fillStyle) {
    case FillTiled:
        return &simraTiledPrivOps;
    case FillStippled:
        return &simraStippledPrivOps;
    case FillOpaqueStippled:
        return pGC->fgPixel != pGC->bgPixel ? &simraOpStippledPrivOps : &simraSolidPrivOps;
    default:
        return &simraSolidPrivOps;
    }
}

/* An opaque stipple in one colour is a solid fill; when a colour changes
 * later the record is chosen again, or the stipple would stay a solid box. */
int simraValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & GC_DISPATCH)
        NFB_GC_PRIV(pGC)->ops = simraOpsFor(pGC);
    if (changes & (GC_TILE | GC_STIPPLE))
        simraPrivOf(pDraw)->loadedKey = 0;
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Screen initialisation ---- */

/* The offset of a TrueColor component: its mask's lowest set bit. A mask
 * of 0 would give -1, so such a key counts as absent. */
static void simraReadMask(GrafinfoHandle graf, const char *key, uint32_t *mask, uint32_t *offset) {
    int value;
    if (grafGetInt(graf, key, &value) && value != 0)
        *mask = (uint32_t)value;
    uint32_t bit = 0;
    while (bit < 31 && !(*mask >> bit & 1))
        bit++;
    *offset = bit;
}

static VisualRec *simraVisualFor(ScreenPtr pScreen, GrafinfoHandle graf, int depth) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    VisualRec *visual;
    switch (depth) {
    case 8:
        visual = &simraVisual;
        nfb->SetColor = simraSetColor;
        nfb->LoadColormap = simraLoadColormap;
        break;
    case 15:
        visual = &simraVisual15;
        break;
    case 16:
        visual = &simraVisual16;
        break;
    default:
        return 0;
    }
    nfb->gcTemplate->ops = &simraSolidPrivOps;
    nfb->ClearFont = simraClearFont;
    if (depth == 8) {
        /* The DAC shift is 16 minus this: outside 1-16 it means nothing. */
        int bits = 6;
        if (!grafGetInt(graf, "RGBBITS", &bits) || bits < 1 || bits > 16)
            bits = 6;
        visual->bitsPerRGBValue = (uint16_t)bits;
    } else {
        simraReadMask(graf, "REDMASK", &visual->redMask, &visual->offsetRed);
        simraReadMask(graf, "GRNMASK", &visual->greenMask, &visual->offsetGreen);
        simraReadMask(graf, "BLUMASK", &visual->blueMask, &visual->offsetBlue);
    }
    return visual;
}

static void simraInstallHooks(ScreenPtr pScreen) {
    pScreen->QueryBestSize = simraQueryBestSize;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->BlankScreen = simraBlankScreen;
    nfb->ValidateWindowPriv = simraValidateWindowPriv;
    nfb->SetColor = (SetColorProc)NoopDDA;
    nfb->LoadColormap = (LoadColormapProc)NoopDDA;
}

static Bool simraInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)argc;
    (void)argv;
    GrafinfoHandle graf = simraGrafinfo(pScreen);
    const int depth = ddxActiveScreens[index]->config->depth;

    int width, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* The engine's coordinates are 12 bits, and every line length and
     * layout is computed from these. */
    if (width <= 0 || height <= 0 || width > WD_COORD_LIMIT || height > WD_COORD_LIMIT) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);

    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;
    simraInstallHooks(pScreen);
    VisualRec *visual = simraVisualFor(pScreen, graf, depth);
    if (!visual) {
        ErrorF(msgDepth, depth);
        return 0;
    }
    if (!nfbAddVisual(pScreen, visual))
        return 0;

    void *mapped = 0;
    if (!grafGetMemInfo(graf, 0, 0, 0, &mapped)) {
        ErrorF(msgNoMemory);
        return 0;
    }
    if ((int)serverGeneration != simraServerGeneration) {
        simraServerGeneration = (int)serverGeneration;
        simraScreenPrivateIndex = AllocateScreenPrivateIndex();
    }
    simraScreenPrivPtr priv = (simraScreenPrivPtr)Xalloc(sizeof(simraScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[simraScreenPrivateIndex].ptr = priv;
    priv->fbBase = (uint8_t *)mapped;

    /* The server closes only screens that started: a later failure frees
     * the private here rather than leave it behind. */
    if (!simraInitMem(pScreen, width, height, depth)) {
        ErrorF(msgInsufficient);
        simraCloseScreen(index, pScreen);
        return 0;
    }
    simraInitHW(pScreen);
    if (priv->glyphAreaHeight > 0)
        simraInitGlCache(priv);
    vexoSWCursorInitialize(pScreen);
    if (!cfbCreateDefColormap(pScreen)) {
        simraCloseScreen(index, pScreen);
        return 0;
    }
    vexoSysInfoInit(pScreen, &simraSysInfo);
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}
