/*
 * dulmo: binding, controller assignment, screen initialisation (the
 * server's frame-buffer code, flat or banked operations), the console
 * switch with the palette save and restore, blanking, the palette hook,
 * the engine wait and GC validation.
 */
#include "dulmo.h"

int dulmoScreenPrivateIndex = -1;
static uint32_t dulmoGeneration = (uint32_t)-1;

/* Controller assignment, per server generation. */
static int dulmo_first_screen = 1;
static int dulmo_no_multi_screen = 0;
static uint8_t dulmo_next_id = 0;

/* The palette each controller showed before the server took it: saved once
 * per controller for the whole life of the process, as every later switch to
 * text restores it, whatever generation the screen was set up in. */
static uint8_t dulmoSavedDac[256][768];
static uint8_t dulmoDacSaved[256];

#define DEFAULT_MONITOR_MM 300
#define DULMO_PITCH_WIDE 2048
#define DULMO_PITCH_NARROW 1024
#define DULMO_CURSOR_WIDE 64
#define DULMO_CURSOR_NARROW 32
#define DULMO_CLASS_1024 6
#define DULMO_CLASS_1280 14
#define DULMO_REVISION_CHIP 0x71
#define DULMO_MAX_MEMORY 0x200000u

static const char msgIndex[] = "dulmo: Screen private index allocation error.\n";
static const char msgPrivate[] = "dulmo: Screen private data memory allocation error.\n";
static const char msgSize[] = "dulmo: Grafinfo PIXWIDTH or PIXHEIGHT error.\n";
static const char msgFbType[] = "dulmo: Grafinfo FBTYPE error.\n";
static const char msgMemory[] = "dulmo: Grafinfo MEMORY error.\n";
static const char msgUsedfbBank[] = "dulmo: Incompatible grafinfo USEDFB and BANK.\n";
static const char msgCfb[] = "dulmo: Using CFB code, index %d\n";
static const char msgScreenInit[] = "dulmo: nfbScreenInit error.\n";
static const char msgAddVisual[] = "dulmo: nfbAddVisual error.\n";
static const char msgNoCache[] = "dulmo: Could not enable glyph cache.\n";
static const char msgHardware[] = "dulmo: FAILED TO INITIALIZE HARDWARE.\n";
static const char msgNoMulti[] = "dulmo: Dulmoion multi-screen support NOT enabled.\n";
static const char msgPrimaryFirst[] = "dulmo: Primary controller must be first (ID = 0).\n";
static const char msgAdapter[] =
    "dulmo: The configured graphics adapter is not a Dulmoion 1024 or 1280.\n";
static const char msgConfigure[] = "dulmo: Configure the correct graphics adapter and try again.\n";
static const char msgSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgFillStyle[] = "dulmoValidateWindowGC: illegal fillStyle\n";

/* ---- Records ---- */

static Bool dulmoProbe(int unused, ScreenConfig *config);
static Bool dulmoInit(int index, ScreenPtr pScreen, int argc, char **argv);
static void dulmoSaveGState(ScreenPtr pScreen);
static void dulmoRestoreGState(ScreenPtr pScreen);
static void dulmoCloseScreen(int index, ScreenPtr pScreen);
static void dulmoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                          ScreenPtr pScreen);
static void dulmoValidateWindowPriv(WindowPtr pWin);

extern "C" {

__attribute__((visibility("default")))
ScreenInfo dulmoScreenInfo = {dulmoProbe, dulmoInit, "dulmo", {0, 0, 0, 0, 0, 0, 0, 0, 0}};

__attribute__((visibility("default"))) SysInfo dulmoSysInfo = {0,
                                                               dulmoSetGraphics,
                                                               dulmoSetText,
                                                               dulmoSaveGState,
                                                               dulmoRestoreGState,
                                                               dulmoCloseScreen,
                                                               1,
                                                               1,
                                                               1,
                                                               5.0f};

__attribute__((visibility("default")))
VisualRec dulmoVisual = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};

__attribute__((visibility("default"))) PrivOps dulmoFlatSolidPrivOps = {
    genSolidFillRects, dulmoSolidFillSpans, {.ZeroSeg = dulmoSolidZeroSeg},
    genSolidGCOp4,     genSolidGCOp5,       genSolidGCOp6};
__attribute__((visibility("default")))
PrivOps dulmoBankedSolidPrivOps = {genSolidFillRects, genSolidFS,    {.ZeroSeg = dulmoSolidZeroSeg},
                                   genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
__attribute__((visibility("default")))
PrivOps dulmoTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                             genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
__attribute__((visibility("default")))
PrivOps dulmoStippledPrivOps = {genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
                                genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
__attribute__((visibility("default"))) PrivOps dulmoOpStippledPrivOps = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

__attribute__((visibility("default"))) WinOps dulmoFlatWinOps = {dulmoCopyRect,
                                                                 dulmoDrawSolidRects,
                                                                 dulmoDrawImage,
                                                                 dulmoDrawMonoImage,
                                                                 dulmoDrawOpaqueMonoImage,
                                                                 dulmoReadImage,
                                                                 dulmoDrawPoints,
                                                                 genTileRects,
                                                                 dulmoUncachedDrawMonoGlyphs,
                                                                 {.DrawFontText = genDrawFontText},
                                                                 genWinOp11,
                                                                 genWinOp12,
                                                                 genWinOp13,
                                                                 genWinOp14,
                                                                 dulmoValidateWindowGC};

__attribute__((visibility("default")))
WinOps dulmoGlyphCacheFlatWinOps = {dulmoCopyRect,
                                    dulmoDrawSolidRects,
                                    dulmoDrawImage,
                                    dulmoDrawMonoImage,
                                    dulmoDrawOpaqueMonoImage,
                                    dulmoReadImage,
                                    dulmoDrawPoints,
                                    genTileRects,
                                    dulmoCachedDrawMonoGlyphs,
                                    {.DrawFontText = genDrawFontText},
                                    genWinOp11,
                                    genWinOp12,
                                    genWinOp13,
                                    genWinOp14,
                                    dulmoValidateWindowGC};

__attribute__((visibility("default")))
WinOps dulmoBankedWinOps = {dulmoCopyRect,
                            dulmoDrawSolidRects,
                            dulmoDrawBankedImage,
                            genDrawMonoImage,
                            dulmoDrawOpaqueMonoImage,
                            dulmoReadBankedImage,
                            dulmoDrawBankedPoints,
                            genTileRects,
                            dulmoUncachedDrawMonoGlyphs,
                            {.DrawFontText = genDrawFontText},
                            genWinOp11,
                            genWinOp12,
                            genWinOp13,
                            genWinOp14,
                            dulmoValidateWindowGC};

} /* extern "C" */

const uint8_t alu_to_hwrop[16] = {0x00, 0x08, 0x04, 0x0C, 0x02, 0x0A, 0x06, 0x0E,
                                  0x01, 0x09, 0x05, 0x0D, 0x03, 0x0B, 0x07, 0x0F};

/* Grafinfo strings compared without the C library's string routines. */
static int dulmoSameString(const char *a, const char *b) {
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

/* ---- Engine wait ---- */

void dulmoEngineIdleWait(void) {
    if (!(ioIn8(DULMO_STATUS) & DULMO_BUSY))
        return;
    for (int i = 0; i < ENGINE_WAIT_READS; i++)
        if (!(ioIn8(DULMO_STATUS) & DULMO_BUSY))
            return;
    /* A hung engine is reset rather than waited on for ever. */
    ioOut8(DULMO_CONTROL, ENGINE_RESET);
}

/* ---- Binding ---- */

static Bool dulmoProbe(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* dacSave per screen mirrors the process-wide copy of its controller. */
static void dulmoKeepDac(dulmoScreenPrivPtr p) {
    uint8_t id = (uint8_t)p->controllerId;
    memcpy(p->dacSave, dulmoSavedDac[id], sizeof p->dacSave);
}

static Bool dulmoCFBInit(ScreenPtr pScreen, void *fb, int width, int height, int mmWidth,
                         int mmHeight, int depth) {
    (void)depth;
    nfbScreenPrivPtr mine = (nfbScreenPrivPtr)Xalloc(sizeof(nfbScreenPrivate));
    if (!mine)
        return 0;
    if (!cfbScreenInit(pScreen, fb, width, height, mmWidth, mmHeight, width)) {
        Xfree(mine);
        return 0;
    }
    pScreen->InstallColormap = nfbInstallColormap;
    pScreen->UninstallColormap = nfbUninstallColormap;
    pScreen->ListInstalledColormaps = nfbListInstalledColormaps;
    pScreen->StoreColors = nfbStoreColors;
    pScreen->SaveScreen = nfbSaveScreen;
    pScreen->blackPixel = 0;
    pScreen->whitePixel = 1;
    /* Every field the layer does not set here is left empty rather than
     * holding whatever the block held: the server reads hooks such as
     * ValidateWindowPriv and ClearFont from this record. */
    memset(mine, 0, sizeof *mine);
    mine->installedCmap = 0;
    mine->SetColor = dulmoSetColor;
    mine->LoadColormap = genLoadColormap;
    mine->BlankScreen = dulmoBlankScreen;
    memcpy(&mine->screenPixmap, pScreen->devPrivate, sizeof(PixmapRec));
    Xfree(pScreen->devPrivate);
    pScreen->devPrivate = mine;
    return 1;
}

/* The video memory the banked window's page registers reach: 16 banks of
 * 64 KB in 4 KB units, and on the 1280-wide set-up (16 KB units) the 2 MB
 * the boards carry at most. */
static uint64_t dulmoBankReach(int width) {
    return width == 1280 ? DULMO_MAX_MEMORY : DULMO_MAX_MEMORY / 2;
}

static Bool dulmoInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)argc;
    (void)argv;
    GrafinfoHandle graf = ddxActiveScreens[pScreen->myNum]->config->grafinfo;

    if (dulmoGeneration != serverGeneration) {
        int newIndex = AllocateScreenPrivateIndex();
        if (newIndex < 0) {
            ErrorF(msgIndex);
            return 0;
        }
        /* Recorded only once the index is there, so a later screen of the
         * same generation tries again rather than using no index. */
        dulmoGeneration = serverGeneration;
        dulmoScreenPrivateIndex = newIndex;
        dulmo_first_screen = 1;
        dulmo_no_multi_screen = 0;
    }

    dulmoScreenPrivPtr p = (dulmoScreenPrivPtr)Xalloc(sizeof(dulmoScreenPrivate));
    if (!p) {
        ErrorF(msgPrivate);
        return 0;
    }
    memset(p, 0, sizeof *p);
    pScreen->devPrivates[dulmoScreenPrivateIndex].ptr = p;
    p->bankCache = -1;
    p->gr10Pending = 0;
    p->engineBusy = 0;
    p->glyphCacheOn = 0;
    p->grafinfo = graf;

    int width = 0, height = 0, depth = 8;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        width <= 0 || height <= 0) {
        ErrorF(msgSize);
        return 0;
    }
    p->pixWidth = width;
    p->pixHeight = height;
    /* Without DEPTH the screen is the 8-bit screen the driver offers. */
    grafGetInt(graf, "DEPTH", &depth);

    if (width == 1280) {
        p->pitch = depth == 8 ? DULMO_PITCH_WIDE : DULMO_PITCH_NARROW;
        p->pitchShift = depth == 8 ? 11 : 10;
        p->cursorSize = DULMO_CURSOR_WIDE;
    } else {
        p->pitch = depth == 8 ? DULMO_PITCH_NARROW : DULMO_PITCH_NARROW / 2;
        p->pitchShift = depth == 8 ? 10 : 9;
        p->cursorSize = DULMO_CURSOR_NARROW;
    }

    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    char *fbType = 0;
    if (!grafGetString(graf, "FBTYPE", &fbType) || !fbType) {
        ErrorF(msgFbType);
        return 0;
    }
    int banked = dulmoSameString(fbType, "BANK");

    void *mapped = 0;
    uint32_t length = 0;
    if (!grafGetMemInfo(graf, 0, 0, &length, &mapped) || !mapped) {
        ErrorF(msgMemory);
        return 0;
    }
    p->apertureBase = (uint8_t *)mapped;
    p->apertureLength = length;

    if (grafQuery(graf, "USEDFB")) {
        if (banked)
            FatalError(msgUsedfbBank);
        /* The server's code draws the whole screen, line by line, there. */
        if ((uint64_t)width * (uint64_t)height > length) {
            ErrorF(msgMemory);
            return 0;
        }
        ErrorF(msgCfb, index);
        if (!dulmoCFBInit(pScreen, mapped, width, height, mmWidth, mmHeight, depth))
            return 0;
    } else {
        /* The processor must reach every pixel: a flat screen lies inside
         * the area (its last line may be longer than the pitch at depths
         * other than 8), and a banked line inside the window. */
        uint64_t flatEnd = ((uint64_t)(height - 1) << p->pitchShift) + (uint64_t)width;
        uint64_t bankedBytes = (uint64_t)height << p->pitchShift;
        if (banked ? width > p->pitch || bankedBytes > dulmoBankReach(width) : flatEnd > length) {
            ErrorF(msgMemory);
            return 0;
        }
        if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight)) {
            ErrorF(msgScreenInit);
            return 0;
        }
        if (!nfbAddVisual(pScreen, &dulmoVisual)) {
            ErrorF(msgAddVisual);
            return 0;
        }
        nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
        nfb->SetColor = dulmoSetColor;
        nfb->LoadColormap = genLoadColormap;
        nfb->BlankScreen = dulmoBlankScreen;
        nfb->ValidateWindowPriv = dulmoValidateWindowPriv;

        char *cache = 0;
        int wantCache =
            grafGetString(graf, "GLYPH_CACHE", &cache) && cache && dulmoSameString(cache, "YES");
        if (!banked) {
            p->winOps = &dulmoFlatWinOps;
            if (wantCache) {
                p->glyphCacheOn = dulmoInitGlyphCache(pScreen);
                if (p->glyphCacheOn) {
                    p->winOps = &dulmoGlyphCacheFlatWinOps;
                    nfb->ClearFont = dulmoGlyphCacheClearFont;
                } else {
                    ErrorF(msgNoCache);
                }
            }
            p->solidOps = &dulmoFlatSolidPrivOps;
        } else {
            p->winOps = &dulmoBankedWinOps;
            p->glyphCacheOn = 0;
            p->solidOps = &dulmoBankedSolidPrivOps;
        }
        nfb->gcTemplate->ops = p->solidOps;
        nfbSetOptions(pScreen, 50, 0, 0);
    }

    if (!dulmoInitHW(pScreen)) {
        ErrorF(msgHardware);
        return 0;
    }
    dulmoCursorInitialize(pScreen);
    Bool made =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!made)
        return 0;
    vexoSysInfoInit(pScreen, &dulmoSysInfo);
    return 1;
}

Bool dulmoInitHW(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    if (dulmo_first_screen) {
        dulmo_first_screen = 0;
        p->controllerId = (int8_t)ioIn8(DULMO_SELECT);
        p->primaryScreen = 1;
        if (p->controllerId != 0)
            dulmo_no_multi_screen = 1;
        else
            dulmo_next_id = 1;
    } else {
        p->primaryScreen = 0;
        if (dulmo_no_multi_screen) {
            ErrorF(msgNoMulti);
            ErrorF(msgPrimaryFirst);
            return 0;
        }
        p->controllerId = (int8_t)dulmo_next_id;
        dulmo_next_id++;
    }

    dulmoSelect(p);
    dulmoSetGR(GR_UNLOCK, GR_UNLOCK_KEY);
    uint8_t chip = dulmoGetGR(GR_CHIP_ID);
    int cls = chip >> 3;
    if (cls != DULMO_CLASS_1024 && cls != DULMO_CLASS_1280) {
        ErrorF(msgAdapter);
        ErrorF(msgConfigure);
        return 0;
    }
    p->chipRevisionFlag = 0;
    if (chip == DULMO_REVISION_CHIP && dulmoGetGR(GR_CHIP_REV) == 1)
        p->chipRevisionFlag = 1;

    if (!dulmoDacSaved[(uint8_t)p->controllerId]) {
        dulmoSaveDACState(pScreen);
        dulmoDacSaved[(uint8_t)p->controllerId] = 1;
    }
    dulmoKeepDac(p);
    if (serverGeneration == 1) {
        int result = 0;
        dulmoSelect(p);
        if (!grafExec(p->grafinfo, "SetGraphics", &result)) {
            ErrorF(msgSetGraphics);
            return 0;
        }
        dulmoRestoreColormap(pScreen);
        dulmoBlankScreen(0, pScreen);
    }
    return 1;
}

/* ---- Palette ---- */

static void dulmoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                          ScreenPtr pScreen) {
    (void)unused;
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoSelect(p);
    if (index < 0 || index >= pScreen->visuals[0].ColormapEntries)
        return;
    ioOut8(DULMO_DAC_WRITE_INDEX, (uint8_t)index);
    ioIn8(DULMO_DELAY);
    ioOut8(DULMO_DAC_DATA, (uint8_t)(red >> 8));
    ioIn8(DULMO_DELAY);
    ioOut8(DULMO_DAC_DATA, (uint8_t)(green >> 8));
    ioIn8(DULMO_DELAY);
    ioOut8(DULMO_DAC_DATA, (uint8_t)(blue >> 8));
}

void dulmoRestoreColormap(ScreenPtr pScreen) {
    dulmoSelect(DULMO_PRIV(pScreen));
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (nfb && nfb->LoadColormap && nfb->installedCmap)
        nfb->LoadColormap(nfb->installedCmap);
}

void dulmoSaveDACState(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    uint8_t *save = dulmoSavedDac[(uint8_t)p->controllerId];
    for (int i = 0; i < 256; i++) {
        ioIn8(DULMO_DELAY);
        ioOut8(DULMO_DAC_READ_INDEX, (uint8_t)i);
        for (int c = 0; c < 3; c++) {
            ioIn8(DULMO_DELAY);
            save[3 * i + c] = ioIn8(DULMO_DAC_DATA);
        }
        ioIn8(DULMO_DELAY);
    }
}

void dulmoRestoreDACState(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    const uint8_t *save = dulmoSavedDac[(uint8_t)p->controllerId];
    for (int i = 0; i < 256; i++) {
        ioOut8(DULMO_DAC_WRITE_INDEX, (uint8_t)i);
        for (int c = 0; c < 3; c++) {
            ioIn8(DULMO_DELAY);
            ioOut8(DULMO_DAC_DATA, save[3 * i + c]);
        }
        ioIn8(DULMO_DELAY);
    }
}

int dulmoBlankScreen(int on, ScreenPtr pScreen) {
    dulmoSelect(DULMO_PRIV(pScreen));
    ioOut8(DULMO_SEQ_INDEX, 1);
    uint8_t v = ioIn8(DULMO_SEQ_DATA);
    ioOut8(DULMO_SEQ_DATA, on ? (uint8_t)(v | 0x20) : (uint8_t)(v & ~0x20));
    return 1;
}

/* ---- Console switch ---- */

void dulmoSetGraphics(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoSelect(p);
    grafExec(p->grafinfo, "SetGraphics", 0);
    dulmoRestoreColormap(pScreen);
    dulmoBlankScreen(0, pScreen);
}

Bool dulmoSetText(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoSelect(p);
    if (p->primaryScreen)
        grafExec(p->grafinfo, "SetText", 0);
    else
        dulmoBlankScreen(1, pScreen);
    dulmoRestoreDACState(pScreen);
    return 1;
}

static void dulmoSaveGState(ScreenPtr pScreen) {
    dulmoSelect(DULMO_PRIV(pScreen));
    dulmoEngineIdleWait();
}

static void dulmoRestoreGState(ScreenPtr pScreen) {
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoEngineIdleWait();
    p->bankCache = -1;
    if (p->glyphCacheOn)
        dulmoInvalidateGlyphCache(p);
}

static void dulmoCloseScreen(int index, ScreenPtr pScreen) {
    (void)index;
    dulmoScreenPrivPtr p = DULMO_PRIV(pScreen);
    dulmoCursorOn(0, pScreen);
    if (p->glyphCacheOn)
        dulmoFreeGlyphCache(pScreen);
    Xfree(p);
    pScreen->devPrivates[dulmoScreenPrivateIndex].ptr = 0;
}

/* ---- Validation ---- */

int dulmoValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    /* An opaque stipple drawn as a solid fill while its colours were equal
     * must go back to the stipple record once they differ. */
    uint32_t styleChanges = GCFillStyle;
    if (pGC->fillStyle == FillOpaqueStippled)
        styleChanges |= GCForeground | GCBackground;
    if (changes & styleChanges) {
        switch (pGC->fillStyle) {
        case FillSolid:
            gcPriv->ops = p->solidOps;
            break;
        case FillTiled:
            gcPriv->ops = &dulmoTiledPrivOps;
            break;
        case FillStippled:
            gcPriv->ops = &dulmoStippledPrivOps;
            break;
        case FillOpaqueStippled:
            gcPriv->ops = pGC->fgPixel == pGC->bgPixel ? p->solidOps : &dulmoOpStippledPrivOps;
            break;
        default:
            FatalError(msgFillStyle);
        }
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

static void dulmoValidateWindowPriv(WindowPtr pWin) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(&pWin->drawable);
    NFB_WINDOW_PRIV(pWin)->ops = p->winOps;
}
