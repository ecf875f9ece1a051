/*
 * garsk: binding, the exported records, screen initialisation from
 * grafinfo, the register pointers, the console switch, blanking, the palette
 * hook and the choice of operation records.
 */
#include "garsk.h"

int garskScreenPrivateIndex = -1;
/* The server generation the index above belongs to; it is recorded only once
 * an index was had, so a failed allocation is tried again by the next Init. */
static int garskGeneration = -1;

static const char msgAllocation[] = "GARSK:  Allocation error.\n";
static const char msgNoIndex[] = "GARSK:  Couldn't allocate screen private index.\n";
static const char msgMemory[] = "GARSK:  Memory allocation Error.\n";
static const char msgNoPrivate[] = "GARSK:  Couldn't allocate screen private data.\n";
static const char msgPixelInfo[] = "GARSK: can't find pixel info in grafinfo file.\n";
static const char msgNoFbType[] = "GARSK:  Unable to determine FBTYPE from grafinfo file\n";
static const char msgHardware[] = "GARSK:  Failed to Initialize Hardware\n";
static const char msgNoClass[] = "GARSK:  Missing Class in Grafinfo File.\n";
static const char msgNoMemory[] = "GARSK:  Missing Memory in grafinfo file. \n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgFillStyle[] = "garskValidateWindowGC: illegal fillStyle\n";

static Bool garskProbe(int unused, ScreenConfig *config);
static Bool garskInit(int index, ScreenPtr pScreen, int argc, char **argv);
static void garskSetGraphics(ScreenPtr pScreen);
static Bool garskSetText(ScreenPtr pScreen);
static void garskSaveGState(ScreenPtr pScreen);
static void garskRestoreGState(ScreenPtr pScreen);
static void garskFreeScreen(int index, ScreenPtr pScreen);
static void garskValidateWindowPriv(WindowPtr pWin);

extern "C" {

DRV_EXPORT ScreenInfo garskScreenInfo = {garskProbe, garskInit, "garsk", {}};

DRV_EXPORT SysInfo garskSysInfo = {0,
                                   garskSetGraphics,
                                   garskSetText,
                                   garskSaveGState,
                                   garskRestoreGState,
                                   garskFreeScreen,
                                   1,
                                   1,
                                   1,
                                   5.0f};

/* The palette takes 6 bits per component (garskSetColor drops the rest). */
DRV_EXPORT VisualRec garskVisual = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};

DRV_EXPORT PrivOps garskSolidPrivOps = {
    genSolidFillRects, genSolidFS,    {.ZeroSeg = genSolidZeroSeg},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
DRV_EXPORT PrivOps garskTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                        genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
DRV_EXPORT PrivOps garskStippledPrivOps = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
DRV_EXPORT PrivOps garskOpStippledPrivOps = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

/* Images go through the linear frame buffer or the window; everything
 * else is the accelerator's, the same in both forms. */
DRV_EXPORT WinOps garskFlatWinOps = {garskCopyRect,
                                     garskDrawSolidRects,
                                     garskDrawImage,
                                     garskDrawMonoImage,
                                     garskDrawOpaqueMonoImage,
                                     garskReadImage,
                                     garskDrawPoints,
                                     garskTileRects,
                                     garskDrawMonoGlyphs,
                                     {.DrawFontText = genDrawFontText},
                                     genWinOp11,
                                     genWinOp12,
                                     genWinOp13,
                                     genWinOp14,
                                     garskValidateWindowGC};
DRV_EXPORT WinOps garskBankedWinOps = {garskCopyRect,
                                       garskDrawSolidRects,
                                       garskDrawBankedImage,
                                       garskDrawMonoImage,
                                       garskDrawOpaqueMonoImage,
                                       garskReadBankedImage,
                                       garskDrawBankedPoints,
                                       garskTileRects,
                                       garskDrawMonoGlyphs,
                                       {.DrawFontText = genDrawFontText},
                                       genWinOp11,
                                       genWinOp12,
                                       genWinOp13,
                                       genWinOp14,
                                       garskValidateWindowGC};
}

/* ---- Binding ---- */

static Bool garskProbe(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

static GrafinfoHandle garskGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Palette and blanking ---- */

static void garskSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                          ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    outb(GARSK_DAC_WRITE_INDEX, (uint8_t)index);
    outb(GARSK_DAC_DATA, (uint8_t)(red >> 10));
    outb(GARSK_DAC_DATA, (uint8_t)(green >> 10));
    outb(GARSK_DAC_DATA, (uint8_t)(blue >> 10));
}

static void garskRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

/* The picture is switched off by the sequencer's screen-off bit, which
 * keeps the timing running; another screen may own the adapter while this
 * one is not active, so its registers are left alone then. */
static int garskBlankScreen(int on, ScreenPtr pScreen) {
    (void)pScreen;
    if (!vexoScreenActive())
        return 1;
    outb(GARSK_SEQ_INDEX, GARSK_SEQ_CLOCKING);
    uint8_t clocking = inb(GARSK_SEQ_DATA);
    if (on)
        clocking |= GARSK_SEQ_SCREEN_OFF;
    else
        clocking &= (uint8_t)~GARSK_SEQ_SCREEN_OFF;
    outb(GARSK_SEQ_DATA, clocking);
    return 1;
}

/* ---- Console switch ---- */

static Bool garskRunSetGraphics(ScreenPtr pScreen) {
    int ran = grafExec(garskGrafinfo(pScreen), "SetGraphics", 0);
    garskRestoreColormap(pScreen);
    return ran;
}

static void garskSetGraphics(ScreenPtr pScreen) {
    garskRunSetGraphics(pScreen);
}

static Bool garskSetText(ScreenPtr pScreen) {
    return grafExec(garskGrafinfo(pScreen), "SetText", 0);
}

/* Every operation programs the registers it uses, and the mode procedure
 * owns the rest: nothing to keep across a switch. */
static void garskSaveGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static void garskRestoreGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static void garskFreeScreen(int index, ScreenPtr pScreen) {
    (void)index;
    garskScreenPrivPtr priv = GARSK_PRIV(pScreen);
    Xfree(priv);
    pScreen->devPrivates[garskScreenPrivateIndex].ptr = 0;
}

/* ---- Validation ---- */

static void garskValidateWindowPriv(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = GARSK_PRIV(pWin->drawable.pScreen)->winOps;
}

static PrivOps *FillStyleDispatch(GCPtr pGC, garskScreenPrivPtr priv) {
    switch (pGC->fillStyle) {
    case FillSolid:
        return priv->solidOps;
    case FillTiled:
        return &garskTiledPrivOps;
    case FillStippled:
        return &garskStippledPrivOps;
    case FillOpaqueStippled:
        return pGC->fgPixel == pGC->bgPixel ? priv->solidOps : &garskOpStippledPrivOps;
    default:
        FatalError(msgFillStyle);
    }
}

/* An opaque stipple in one colour is drawn as a solid fill; when either
 * colour changes later the record is chosen again, or the stipple would
 * stay a solid box. */
int garskValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCForeground | GCBackground))
        NFB_GC_PRIV(pGC)->ops = FillStyleDispatch(pGC, garskPrivOf(pDraw));
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Hardware ---- */

static void garskMapRegisters(garskScreenPrivPtr priv) {
    uint8_t *base = priv->apertureBase;
    priv->apWindow0 = base + GARSK_AP_WINDOW0;
    priv->apWindow1 = base + GARSK_AP_WINDOW1;
    priv->apWindow2 = base + GARSK_AP_WINDOW2;
    priv->mmuBase0 = (volatile uint32_t *)(base + GARSK_MMU_BASE0);
    priv->mmuBase1 = (volatile uint32_t *)(base + GARSK_MMU_BASE1);
    priv->mmuBase2 = (volatile uint32_t *)(base + GARSK_MMU_BASE2);
    priv->mmuControl = base + GARSK_MMU_CONTROL;
    priv->regOpState = base + GARSK_OP_STATE;
    priv->regSyncEnable = base + GARSK_SYNC_ENABLE;
    priv->regIntMask = base + GARSK_INT_MASK;
    priv->regStatus = base + GARSK_STATUS;
    priv->regPatternAddr = (volatile uint32_t *)(base + GARSK_PATTERN_ADDR);
    priv->regSourceAddr = (volatile uint32_t *)(base + GARSK_SOURCE_ADDR);
    priv->regPatternYOffset = (volatile uint16_t *)(base + GARSK_PATTERN_Y_OFFSET);
    priv->regSourceYOffset = (volatile uint16_t *)(base + GARSK_SOURCE_Y_OFFSET);
    priv->regDestYOffset = (volatile uint16_t *)(base + GARSK_DEST_Y_OFFSET);
    priv->regBusSize = base + GARSK_BUS_SIZE;
    priv->regDirection = base + GARSK_DIRECTION;
    priv->regPatternWrap = base + GARSK_PATTERN_WRAP;
    priv->regSourceWrap = base + GARSK_SOURCE_WRAP;
    priv->regXPos = (volatile uint16_t *)(base + GARSK_X_POS);
    priv->regYPos = (volatile uint16_t *)(base + GARSK_Y_POS);
    priv->regXCount = (volatile uint16_t *)(base + GARSK_X_COUNT);
    priv->regYCount = (volatile uint16_t *)(base + GARSK_Y_COUNT);
    priv->regRouting = base + GARSK_ROUTING;
    priv->regReload = base + GARSK_RELOAD;
    priv->regBgRop = base + GARSK_BG_ROP;
    priv->regFgRop = base + GARSK_FG_ROP;
    priv->regDestAddr = (volatile uint32_t *)(base + GARSK_DEST_ADDR);
}

static void garskEngineDefaults(garskScreenPrivPtr priv) {
    /* A screen of an earlier generation may have left its last operation
     * running: its registers are not to be changed under it. */
    garskWaitIdle(priv);
    garskPut8(priv->regSyncEnable, 1);
    garskPut8(priv->regIntMask, 0);
    garskPut16(priv->regXPos, 0);
    garskPut16(priv->regYPos, 0);
    garskPut8(priv->regReload, 0);
    garskPut16(priv->regSourceYOffset, GARSK_PITCH - 1);
    garskPut16(priv->regDestYOffset, GARSK_PITCH - 1);
    garskPut16(priv->regPatternYOffset, GARSK_PITCH - 1);
    garskPut8(priv->regDirection, GARSK_FORWARD);
    garskPut8(priv->regBusSize, GARSK_BUS_8);
    garskPut8(priv->regRouting, GARSK_ROUTE_NONE);
    garskPut16(priv->regXCount, 0);
    garskPut16(priv->regYCount, 0);
}

Bool garskInitHW(ScreenPtr pScreen) {
    garskScreenPrivPtr priv = GARSK_PRIV(pScreen);
    GrafinfoHandle graf = garskGrafinfo(pScreen);
    char *cls = 0;
    if (!grafGetString(graf, "CLASS", &cls)) {
        ErrorF(msgNoClass);
        return 0;
    }
    uint32_t physBase = 0, length = 0;
    void *mapped = 0;
    if (!grafGetMemInfo(graf, 0, &physBase, &length, &mapped)) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->apertureBase = (uint8_t *)mapped;
    /* The off-screen cells, the cursor image and the tile area start at
     * line 768 of the fixed 1024-byte pitch: a larger screen would draw
     * over them. */
    int width = 0, height = 0;
    grafGetInt(graf, "PIXWIDTH", &width);
    grafGetInt(graf, "PIXHEIGHT", &height);
    if (width > GARSK_MAX_WIDTH || height > GARSK_MAX_HEIGHT)
        return 0;
    garskMapRegisters(priv);

    /* A later generation keeps the mode the first one set; without it
     * there is no mode to draw in. */
    if (serverGeneration == 1 && !garskRunSetGraphics(pScreen)) {
        ErrorF(msgNoSetGraphics);
        return 0;
    }

    /* The server draws the cursor; the sprite stays off. */
    outb(GARSK_SPRITE_INDEX, GARSK_SPRITE_ENABLE);
    outb(GARSK_SPRITE_DATA, 0);

    garskEngineDefaults(priv);

    priv->bankCache = 0;
    priv->tileAreaY = GARSK_TILE_AREA_Y;
    priv->tileAreaX = 0;
    priv->pitch = GARSK_PITCH;
    priv->tileAreaWidth = GARSK_TILE_AREA_WIDTH;
    priv->tileAreaHeight = GARSK_TILE_AREA_HEIGHT;
    priv->cursorWidthOneFlag = 0;
    return 1;
}

/* ---- Screen initialisation ---- */

/* Only the exact word selects the window; any other text is the linear
 * frame buffer. */
static bool garskIsBank(const char *fbType) {
    static const char bank[] = "BANK";
    for (int i = 0; i < (int)sizeof bank; i++)
        if (fbType[i] != bank[i])
            return false;
    return true;
}

static Bool garskTakeIndex(void) {
    if (garskGeneration == (int)serverGeneration)
        return 1;
    int index = AllocateScreenPrivateIndex();
    if (index < 0) {
        ErrorF(msgAllocation);
        ErrorF(msgNoIndex);
        return 0;
    }
    garskScreenPrivateIndex = index;
    garskGeneration = (int)serverGeneration;
    return 1;
}

/* A screen that did not come up keeps nothing: its private is released
 * here, as no FreeScreen follows a failed Init. */
static Bool garskGiveUp(ScreenPtr pScreen) {
    Xfree(GARSK_PRIV(pScreen));
    pScreen->devPrivates[garskScreenPrivateIndex].ptr = 0;
    return 0;
}

static Bool garskInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    GrafinfoHandle graf = garskGrafinfo(pScreen);
    if (!garskTakeIndex())
        return 0;

    garskScreenPrivPtr priv = (garskScreenPrivPtr)Xalloc(sizeof(garskScreenPrivate));
    if (!priv) {
        ErrorF(msgMemory);
        ErrorF(msgNoPrivate);
        return 0;
    }
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[garskScreenPrivateIndex].ptr = priv;
    priv->bankCache = -1;

    int width = 0, height = 0;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        width <= 0 || height <= 0) {
        ErrorF(msgPixelInfo);
        return garskGiveUp(pScreen);
    }
    int mmWidth = GARSK_DEFAULT_MON_WIDTH, mmHeight = GARSK_DEFAULT_MON_HEIGHT;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);

    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return garskGiveUp(pScreen);
    if (!nfbAddVisual(pScreen, &garskVisual))
        return garskGiveUp(pScreen);

    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->SetColor = garskSetColor;
    nfb->LoadColormap = genLoadColormap;
    nfb->BlankScreen = garskBlankScreen;
    nfb->ValidateWindowPriv = garskValidateWindowPriv;

    char *fbType = 0;
    if (!grafGetString(graf, "FBTYPE", &fbType) || !fbType) {
        ErrorF(msgNoFbType);
        return garskGiveUp(pScreen);
    }
    priv->winOps = garskIsBank(fbType) ? &garskBankedWinOps : &garskFlatWinOps;
    priv->solidOps = &garskSolidPrivOps;
    nfb->gcTemplate->ops = &garskSolidPrivOps;

    if (!garskInitHW(pScreen)) {
        ErrorF(msgHardware);
        return garskGiveUp(pScreen);
    }
    garskPut8(priv->mmuControl, GARSK_MMU_CONTROL_VALUE);

    vexoSWCursorInitialize(pScreen);
    if (pScreen->rootDepth == 1 ? !mfbCreateDefColormap(pScreen) : !cfbCreateDefColormap(pScreen))
        return garskGiveUp(pScreen);
    vexoSysInfoInit(pScreen, &garskSysInfo);
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}
