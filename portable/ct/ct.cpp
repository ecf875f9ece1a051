/*
 * The frame of every ct build: the records the server binds, the screen
 * private, Probe, Init, InitHW and FreeScreen.
 */
#include "ct.h"

/* ---- Globals (one copy per library) ---- */

static int32_t NAME(Generation) = -1;
int NAME(ScreenPrivateIndex) = -1;
int NAME(GCPrivateIndex) = -1;
int NAME(InitOnlyFlag) = 0;
int NAME(HardwareCursorFlag) = ctTraits.hardwareCursor;
int NAME(WrapGCFlag) = 1;

static const char msgPixelInfo[] = "Init(): can't find pixel info in grafinfo file.\n";
static const char msgDepth[] = "Init(): %d-bit depth not supported.\n";
static const char msgMemory[] = "Init(): Missing MEMORY in grafinfo file.\n";
/* The plane-mask patterns need a chunk of the off-screen heap, which takes
 * nothing wider than the screen's line: say why such a screen is refused. */
static const char msgPatterns[] = "Init(): no room in video memory for the plane-mask patterns.\n";
/* Every drawing operation takes its pitch, width and height from engine
 * fields of 13 bits (65550) or 12 bits (65548, 6430x): a line or a height
 * beyond them would be cut short by the chip while the driver still feeds
 * and addresses the whole of it. */
static const char msgEngineSize[] = "Init(): %dx%d screen is too large for the BitBlt engine.\n";

#define DEFAULT_ONBOARD_MIN 5
#define DEFAULT_ONBOARD_MAX 2
#define DEFAULT_MONITOR_MM 300
#define DEFAULT_RGBBITS 6
#define MAX_SCREEN_DIMENSION 0x7FFF

/* ---- Records ---- */

static Bool NAME(Probe)(int unused, ScreenConfig *config);
static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv);
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
                                    0,
                                    5.0f};

#if CT_16BIT
DRV_EXPORT VisualRec NAME(Visual15) = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
DRV_EXPORT VisualRec NAME(Visual16) = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
#else
DRV_EXPORT VisualRec NAME(Visual8) = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
#endif

/* Transparent stipples stay with the server's routines. */
DRV_EXPORT PrivOps NAME(SolidPrivOps) = {
    NAME(SolidFillRects), NAME(SolidFS), {.ZeroSegs = NAME(SolidZeroSegs)},
    genSolidGCOp4,        genSolidGCOp5, genSolidGCOp6};
DRV_EXPORT PrivOps NAME(TiledPrivOps) = {
    NAME(TiledFillRects), NAME(TiledFS), {.GCOp3 = genTiledGCOp3},
    genTiledGCOp4,        genTiledGCOp5, genTiledGCOp6};
DRV_EXPORT PrivOps NAME(StippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
DRV_EXPORT PrivOps NAME(OpStippledPrivOps) = {
    NAME(OpStippledFillRects), NAME(OpStippledFS), {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,        genOpStippledGCOp5, genOpStippledGCOp6};

DRV_EXPORT WinOps NAME(WinOps) = {NAME(CopyRect),
                                  NAME(DrawSolidRects),
                                  NAME(DrawImage),
                                  NAME(DrawMonoImage),
                                  NAME(DrawOpaqueMonoImage),
                                  NAME(ReadImage),
                                  NAME(DrawPoints),
                                  NAME(TileRects),
                                  NAME(DrawMonoGlyphs),
                                  {.DrawFontText = NAME(DrawFontText)},
                                  genWinOp11,
                                  genWinOp12,
                                  genWinOp13,
                                  genWinOp14,
                                  NAME(ValidateWindowGC)};
}

/* ---- Binding ---- */

static Bool NAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Hardware ---- */

static Bool NAME(InitHW)(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    uint32_t physBase = 0, length = 0;
    void *mapped = 0;
    if (!grafGetMemInfo(ctGrafinfo(pScreen), 0, &physBase, &length, &mapped) || !mapped) {
        ErrorF(msgMemory);
        return 0;
    }
    /* The 65550's registers and host-data port lie in the same aperture,
     * above its video memory: an area that does not reach them would have
     * every engine access land outside the mapping. */
    if (CT_IS_65550 && length < CT_MEMORY_NEEDED_65550) {
        ErrorF(msgMemory);
        return 0;
    }
    priv->fbBase = (uint8_t *)mapped;
    priv->fbSize = length;
    if (CT_IS_65550)
        ct_membase = priv->fbBase;

    NAME(SetGraphics)(pScreen);

    if (ctTraits.chip == CT_65548) {
        ctWriteXR(XR_IO_BASE, XR07_ENGINE_PORTS);
        ctWriteXR(XR_LINEAR_BASE, (uint8_t)(physBase >> 20));
    } else if (ctTraits.chip == CT_6430X) {
        ctWriteXR(XR_IO_BASE, XR07_ENGINE_PORTS);
    }
    if (NAME(InitOnlyFlag))
        FatalError("Intentional termination\n");
    return 1;
}

/* ---- Screen ---- */

static void NAME(FreeScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (!priv)
        return;
    NAME(MaskPatternClose)(pScreen);
    if (CT_IS_6430X) {
        NAME(OnboardClose)(pScreen);
        NAME(CursorFree)(pScreen);
    } else {
        NAME(CursorFree)(pScreen);
        NAME(OnboardClose)(pScreen);
    }
    /* The screen may outlive the private: its CreateGC must not lead here. */
    if (pScreen->CreateGC == NAME(CreateGC))
        pScreen->CreateGC = priv->wrappedCreateGC;
    Xfree(priv);
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = 0;
}

/* The visual of the build for DEPTH, with the private's colour fields. */
static VisualRec *ctChooseVisual(GrafinfoHandle graf, ctScreenPrivPtr priv, int depth) {
#if CT_16BIT
    (void)graf;
    if (depth == 15) {
        priv->allPlanes = 0x7FFF;
        return &NAME(Visual15);
    }
    if (depth == 16) {
        priv->allPlanes = 0xFFFF;
        return &NAME(Visual16);
    }
    return 0;
#else
    if (depth != 8)
        return 0;
    int rgbBits = DEFAULT_RGBBITS;
    grafGetInt(graf, "RGBBITS", &rgbBits);
    /* The DAC shift is 16 - RGBBITS: only 1 to 16 bits make a shift. */
    if (rgbBits < 1 || rgbBits > 16)
        rgbBits = DEFAULT_RGBBITS;
    NAME(Visual8).bitsPerRGBValue = (uint16_t)rgbBits;
    priv->dacShift = 16 - rgbBits;
    priv->allPlanes = 0xFF;
    return &NAME(Visual8);
#endif
}

static void ctInstallHooks(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &NAME(SolidPrivOps);
#if CT_16BIT
    nfb->SetColor = (SetColorProc)NoopDDA;
    nfb->LoadColormap = (LoadColormapProc)NoopDDA;
#else
    nfb->SetColor = NAME(SetColor);
    nfb->LoadColormap = genLoadColormap;
#endif
    nfb->BlankScreen = NAME(BlankScreen);
    nfb->ValidateWindowPriv = NAME(ValidateWindowPriv);
}

/* Everything after the private's allocation; 0 on failure. */
static Bool ctInitScreen(ScreenPtr pScreen, ctScreenPrivPtr priv, int depth) {
    GrafinfoHandle graf = ctGrafinfo(pScreen);
    VisualRec *visual = ctChooseVisual(graf, priv, depth);
    if (!visual) {
        ErrorF(msgDepth, depth);
        return 0;
    }
    uint32_t engineMax = CT_IS_65550 ? BR_PITCH_MASK : DR_PITCH_MASK;
    if ((uint32_t)priv->stride > engineMax || (uint32_t)priv->height > engineMax) {
        ErrorF(msgEngineSize, priv->width, priv->height);
        return 0;
    }
    if (!nfbAddVisual(pScreen, visual))
        return 0;
    ctInstallHooks(pScreen);
    if (!NAME(InitHW)(pScreen))
        return 0;
    NAME(BitBltInit)(pScreen);
    if (!NAME(OnboardInit)(pScreen))
        return 0;
    if (!NAME(MaskPatternInit)(pScreen)) {
        ErrorF(msgPatterns);
        return 0;
    }
    NAME(CursorInitialize)(pScreen);
    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &NAME(SysInfo));
    nfbSetOptions(pScreen, 50, NFB_OPT_ZEROSEGS, 0);
    return 1;
}

static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    GrafinfoHandle graf = ctGrafinfo(pScreen);
    ctProcessOptions(pScreen, argc, argv);

    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* Sizes the server's 16-bit coordinates cannot hold would break every
     * address computed from them. */
    if (width <= 0 || height <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int onboardMin = DEFAULT_ONBOARD_MIN, onboardMax = DEFAULT_ONBOARD_MAX;
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "ONBOARDMIN", &onboardMin);
    grafGetInt(graf, "ONBOARDMAX", &onboardMax);
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;

    if ((uint32_t)NAME(Generation) != serverGeneration) {
        /* A refused index is not remembered: the next Init asks again. */
        int screenIndex = AllocateScreenPrivateIndex();
        if (screenIndex < 0)
            return 0;
        NAME(ScreenPrivateIndex) = screenIndex;
        if (NAME(WrapGCFlag))
            NAME(GCPrivateIndex) = AllocateGCPrivateIndex();
        NAME(Generation) = (int32_t)serverGeneration;
    }

    ctScreenPrivPtr priv = (ctScreenPrivPtr)Xalloc(sizeof(ctScreenPrivate));
    if (!priv)
        return 0;
    memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = priv;
    priv->pitch = width;
    priv->width = width;
    priv->height = height;
    priv->depth = depth;
    /* A depth no visual has fails below; until then its size must not
     * overflow the line's. */
    priv->bytesPerPixel = depth >= 1 && depth <= 32 ? (depth + 7) / 8 : CT_BPP;
    priv->stride = priv->bytesPerPixel * width;
    priv->onboardMin = onboardMin;
    priv->onboardMax = onboardMax;
    priv->hwCursor = NAME(HardwareCursorFlag);
    if (NAME(WrapGCFlag) && NAME(GCPrivateIndex) >= 0) {
        AllocateGCPrivate(pScreen, NAME(GCPrivateIndex), sizeof(ctGCPriv));
        priv->wrappedCreateGC = pScreen->CreateGC;
        pScreen->CreateGC = NAME(CreateGC);
    }

    if (ctInitScreen(pScreen, priv, depth))
        return 1;
    /* The server closes only screens that started: the private goes here. */
    NAME(FreeScreen)(0, pScreen);
    return 0;
}
