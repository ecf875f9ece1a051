/*
 * hobra: binding, screen initialisation, the engine start, the off-screen
 * layout (SaveUnderArea, CursorArea, TileArea and the planeArea whose bit
 * planes hold the scratch, glyph and font stores), GC and window validation
 * and the close.
 */
#include "hobra.h"

int hobraScreenPrivateIndex = -1;

/* Init sets nplanes, ColormapEntries and, with RGBBITS, bitsPerRGBValue in
 * place; what it stores stays for later screens and generations. */
VisualRec hobraVisual = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};

static SysInfo hobraSysInfo = {0,
                               hobraSetGraphics,
                               hobraSetText,
                               hobraSaveGState,
                               hobraRestoreGState,
                               hobraCloseScreen,
                               1,
                               1,
                               1,
                               5.0f};

static int hobraValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);

PrivOps hobraSolidPrivOps = {genSolidFillRects, hobraSolidFS,  {.ZeroSeg = hobraFillZeroSeg},
                             genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
static PrivOps hobraTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                    genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
static PrivOps hobraStippledPrivOps = {
    hobraStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,       genStippledGCOp5, genStippledGCOp6};
static PrivOps hobraOpStippledPrivOps = {
    hobraOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,       genOpStippledGCOp5, genOpStippledGCOp6};

/* Slots the engine does not draw yet hold the server's routines, which
 * work through DrawImage and ReadImage. */
WinOps hobraWinOps = {hobraCopyRect,
                      hobraDrawSolidRects,
                      hobraDrawImage,
                      hobraDrawMonoImage,
                      hobraDrawOpaqueMonoImage,
                      hobraReadImage,
                      hobraDrawPoints,
                      hobraTileRects,
                      hobraDrawMonoGlyphs,
                      {.DrawFontText8 = hobraDrawFontText},
                      genWinOp11,
                      genWinOp12,
                      genWinOp13,
                      hobraSetClipRegions,
                      hobraValidateWindowGC};

/* hobraWinOps with the ATI clip routine, for the screens whose boards have
 * its ports (ATICLIPREG). */
static WinOps hobraAtiClipWinOps;

/* Defaults of the grafinfo keys */
#define DEFAULT_MON_WIDTH 274
#define DEFAULT_MON_HEIGHT 207
#define DAC_COMPONENT_BITS 16
#define ENGINE_ECHO 0x123

/* The OffScreenArea's fixed sub-areas */
#define SAVE_UNDER_SIZE 64
#define CURSOR_MAX 48
#define OFFSCR_MIN_LINES 128
#define GLYPH_BATCH 256
#define TEXT8_CELL_W 16
#define TEXT8_CELL_H 32

static const char msgBadDepth[] = "hobraProbe(): bad grafinfo DEPTH(%d)\n";
static const char msgDims1[] = "8514a: grafinfo error -";
static const char msgDims2[] = " invalid dimensions (%dx%dx%d)\n";
static const char msgNeedValue[] = "HOBRA: need grafinfo value for %s\n";
static const char msgOffscreen1[] = "HOBRA: off-screen memory needs at least 128 lines and be >";
static const char msgOffscreen2[] = " pixels wide.\n";
static const char msgOffscreenPlace[] =
    "HOBRA: off-screen memory at (%d, %d), %d x %d, must lie in video memory (%d x %d) off the "
    "screen, from a column that is a multiple of 4.\n";
static const char msgSetGraphics[] = "HOBRA: SetGraphics not specified in grafinfo file!\n";

/* A required key; a missing one ends the server. */
static int hobraGrafinfoMustGetInt(GrafinfoHandle graf, const char *key, int32_t *out) {
    int value;
    int found = grafGetInt(graf, key, &value);
    if (!found)
        FatalError(msgNeedValue, key);
    *out = value;
    return found;
}

/* ---- Probe ---- */

static Bool hobraProbe(int unused, ScreenConfig *config) {
    (void)unused;
    GrafinfoHandle graf = config->grafinfo;
    if (!grafQuery(graf, "IGNOREPROBE")) {
        /* The error-term register reads back what was written: nothing
         * else at these ports does. */
        outw(HOBRA_ERR_TERM, ENGINE_ECHO);
        if (inw(HOBRA_ERR_TERM) != ENGINE_ECHO)
            return 0;
    }
    hobraBuildRasterOps();
    hobraInitTransMorgrify();

    int depth;
    if (!grafGetInt(graf, "DEPTH", &depth))
        return 0;
    if (depth != 4 && depth != 8) {
        ErrorF(msgBadDepth, depth);
        return 0;
    }
    if (!ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad))
        return 0;
    int width, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height))
        return 0;
    return 1;
}

/* ---- Init ---- */

#define HOBRA_MEMORY_SIDE 1024 /* video memory: 1024 x 1024 pixels */

/* Steps 3 and 4: the screen's size and depth. The engine draws 4 or 8
 * planes only: any other depth would size the colormap past its 16 bits.
 * The board's memory is a square of 1024 pixels: a larger screen would have
 * the engine draw past its end. */
static Bool hobraReadDimensions(hobraScreenPrivPtr priv) {
    hobraGrafinfoMustGetInt(priv->grafinfo, "PIXWIDTH", &priv->width);
    hobraGrafinfoMustGetInt(priv->grafinfo, "PIXHEIGHT", &priv->height);
    hobraGrafinfoMustGetInt(priv->grafinfo, "DEPTH", &priv->depth);
    if (priv->width < 1 || priv->height < 1 || priv->width > HOBRA_MEMORY_SIDE ||
        priv->height > HOBRA_MEMORY_SIDE || priv->depth < 1 ||
        (priv->depth != 4 && priv->depth != 8)) {
        ErrorF(msgDims1);
        ErrorF(msgDims2, priv->width, priv->height, priv->depth);
        return 0;
    }
    return 1;
}

/* Steps 6 to 8: the visual, the DAC shift and the across-plane routine. */
static void hobraReadVisualKeys(hobraScreenPrivPtr priv) {
    int rgbBits;
    /* A value no 16-bit component can be shifted to keeps the visual's. */
    if (grafGetInt(priv->grafinfo, "RGBBITS", &rgbBits) && rgbBits >= 1 &&
        rgbBits <= DAC_COMPONENT_BITS)
        hobraVisual.bitsPerRGBValue = (uint16_t)rgbBits;
    priv->dacShift = DAC_COMPONENT_BITS - hobraVisual.bitsPerRGBValue;
    hobraVisual.nplanes = (uint16_t)priv->depth;
    hobraVisual.ColormapEntries = (uint16_t)(1u << priv->depth);

    priv->blanked = 0;
    int repBug = 0;
    grafGetInt(priv->grafinfo, "REPBUG", &repBug);
    priv->apBlockOut = repBug ? hobraSlowAPBlockOutW : hobraAPBlockOutW;
}

/* Steps 9 to 12: the off-screen rectangle, the DAC ports, the clip form
 * and the data wait. */
static void hobraReadBoardKeys(hobraScreenPrivPtr priv) {
    GrafinfoHandle graf = priv->grafinfo;
    hobraGrafinfoMustGetInt(graf, "OFFSCRX", &priv->offscrX);
    hobraGrafinfoMustGetInt(graf, "OFFSCRY", &priv->offscrY);
    hobraGrafinfoMustGetInt(graf, "OFFSCRW", &priv->offscrWidth);
    hobraGrafinfoMustGetInt(graf, "OFFSCRH", &priv->offscrHeight);

    int port;
    priv->palWrite = DEFAULT_PALWRITE;
    priv->palRead = DEFAULT_PALREAD;
    priv->palMask = DEFAULT_PALMASK;
    priv->palData = DEFAULT_PALDATA;
    if (grafGetInt(graf, "PALWRITE", &port))
        priv->palWrite = (uint16_t)port;
    if (grafGetInt(graf, "PALREAD", &port))
        priv->palRead = (uint16_t)port;
    if (grafGetInt(graf, "PALMASK", &port))
        priv->palMask = (uint16_t)port;
    if (grafGetInt(graf, "PALDATA", &port))
        priv->palData = (uint16_t)port;

    /* The clip routine is the screen's: a board with the ATI clip ports
     * gets a record of its own, so that another screen's windows keep
     * theirs. */
    priv->atiClip = grafQuery(graf, "ATICLIPREG") ? 1 : 0;
    if (priv->atiClip) {
        hobraAtiClipWinOps = hobraWinOps;
        hobraAtiClipWinOps.SetClipRegions = atiSetClipRegions;
    }

    int wait = 0;
    grafGetInt(graf, "F82C481", &wait);
    priv->waitBeforeData = wait;
}

static int16_t hobraMax16(int64_t a, int64_t b) {
    return (int16_t)(a > b ? a : b);
}

/* Steps 13 and 14: the size check and the OffScreenArea's sub-areas. */
static void hobraLayOutOffScreen(hobraScreenPrivPtr priv) {
    priv->saveUnderSize = SAVE_UNDER_SIZE;
    priv->cursorMax = CURSOR_MAX;
    const uint32_t minWidth = (uint32_t)(priv->saveUnderSize + 2 * priv->cursorMax + 10);
    if (priv->offscrHeight < OFFSCR_MIN_LINES || (uint32_t)priv->offscrWidth <= minWidth)
        FatalError("%s %d %s", msgOffscreen1, (int)minWidth, msgOffscreen2);

    /* Sums in 64 bits: the keys may be anything a grafinfo file holds. */
    const int64_t x = priv->offscrX, y = priv->offscrY;
    const int64_t w = priv->offscrWidth, h = priv->offscrHeight;
    /* Every area is drawn in by the engine and the across-plane transfer,
     * which moves 4 pixels at a time from a column that is a multiple of
     * 4: the rectangle must lie in video memory, off the visible screen,
     * from such a column. */
    if (x < 0 || y < 0 || w < 0 || x % 4 != 0 || x + w > HOBRA_MEMORY_SIDE ||
        y + h > HOBRA_MEMORY_SIDE || (x < priv->width && y < priv->height))
        FatalError(msgOffscreenPlace, priv->offscrX, priv->offscrY, priv->offscrWidth,
                   priv->offscrHeight, HOBRA_MEMORY_SIDE, HOBRA_MEMORY_SIDE);
    priv->fullClip.x1 = 0;
    priv->fullClip.y1 = 0;
    priv->fullClip.x2 = hobraMax16(priv->width, x + w);
    priv->fullClip.y2 = hobraMax16(priv->height, y + h);
    priv->clip = priv->fullClip;

    priv->saveUnderX = (int16_t)x;
    priv->saveUnderY = (int16_t)y;
    priv->cursorFgX = (int16_t)(x + priv->saveUnderSize);
    priv->cursorFgY = (int16_t)y;
    priv->cursorBgX = (int16_t)(priv->cursorFgX + priv->cursorMax);
    priv->cursorBgY = (int16_t)y;
    priv->planeArea.x = (int32_t)x;
    priv->planeArea.y = (int32_t)(y + priv->saveUnderSize);
    priv->planeArea.width = (int32_t)w;
    priv->planeArea.height = (int32_t)((y + h) - (y + priv->saveUnderSize));
    priv->tileArea.x = priv->cursorBgX + priv->cursorMax;
    priv->tileArea.y = (int32_t)y;
    priv->tileArea.width = (int32_t)((x + w) - priv->tileArea.x);
    priv->tileArea.height = priv->saveUnderSize;
}

/* Steps 16 and 17: screen, visual and the frame-buffer layer's hooks. */
static Bool hobraInitScreen(ScreenPtr pScreen, hobraScreenPrivPtr priv) {
    int mmWidth = DEFAULT_MON_WIDTH, mmHeight = DEFAULT_MON_HEIGHT;
    int w, h;
    if (grafGetInt(priv->grafinfo, "MON_WIDTH", &w) &&
        grafGetInt(priv->grafinfo, "MON_HEIGHT", &h)) {
        mmWidth = w;
        mmHeight = h;
    }
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, &hobraVisual))
        return 0;

    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &hobraSolidPrivOps;
    nfb->SetColor = hobraSetColor;
    nfb->LoadColormap = hobraLoadColormap;
    nfb->BlankScreen = hobraBlankScreen;
    nfb->driverFlag = 1;
    nfb->ValidateWindowPriv = hobraValidateWindowPriv;
    nfb->ClearFont = hobraGlClearCache;
    pScreen->QueryBestSize = hobraQueryBestSize;
    return 1;
}

/* What the private holds, and the private itself. */
static void hobraReleasePrivate(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if (!priv)
        return;
    hobraGlCacheClose(pScreen);
    hobraCloseText8(pScreen);
    Xfree(priv->pending);
    Xfree(priv);
    pScreen->devPrivates[hobraScreenPrivateIndex].ptr = 0;
}

static Bool hobraInitSteps(ScreenPtr pScreen) {
    /* A new index on every call; one the server refuses cannot hold the
     * private. */
    int index = AllocateScreenPrivateIndex();
    if (index < 0)
        return 0;
    hobraScreenPrivateIndex = index;
    hobraScreenPrivPtr priv = (hobraScreenPrivPtr)Xalloc(sizeof(hobraScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[index].ptr = priv;
    priv->grafinfo = hobraScreenGrafinfo(pScreen);

    if (!hobraReadDimensions(priv))
        return 0;
    hobraReadVisualKeys(priv);
    hobraReadBoardKeys(priv);
    hobraLayOutOffScreen(priv);

    priv->pendingCapacity = GLYPH_BATCH;
    priv->pendingCount = 0;
    priv->pending =
        (hobraPendingGlyph *)Xalloc((uint32_t)(GLYPH_BATCH * sizeof(hobraPendingGlyph)));
    if (!priv->pending)
        return 0;

    if (!hobraInitScreen(pScreen, priv))
        return 0;
    /* Font slots in planes 3 and up, 16 x 32 cells; none when no font
     * fits (the layer then draws text glyph by glyph). */
    hobraInitializeText8(pScreen);
    nfbInitializeText8(pScreen, priv->fontSlotCount, TEXT8_CELL_W, TEXT8_CELL_H, hobraDownloadFont8,
                       0);
    if (!grafQuery(priv->grafinfo, "IGNOREPROBE"))
        hobraSaveDACState(pScreen);
    hobraInitHW(pScreen);
    /* A sprite layer that refuses the record leaves the screen without a
     * cursor drawn by the driver; Init goes on. */
    hobraDCInitialize(pScreen);
    /* A cache without its tables would have nowhere to keep a glyph. */
    if (!hobraGlCacheInit(pScreen)) {
        nfbCloseText8(pScreen);
        return 0;
    }
    if (!cfbCreateDefColormap(pScreen))
        return 0;
    vexoSysInfoInit(pScreen, &hobraSysInfo);
    /* The solid record holds the single-segment ZeroSeg. */
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static Bool hobraInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    if (hobraInitSteps(pScreen))
        return 1;
    /* A failed Init keeps nothing. */
    if (hobraScreenPrivateIndex >= 0)
        hobraReleasePrivate(pScreen);
    return 0;
}

/* "SetGraphics", then the engine reset and its defaults: all planes
 * written and read, GXcopy of the colours, the scissors over fullClip. */
void hobraInitHW(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if (!grafExec(priv->grafinfo, "SetGraphics", 0))
        FatalError(msgSetGraphics);

    FifoSpaceWait(HOBRA_FIFO_DEPTH);
    outw(HOBRA_SUBSYS_CNTL, SUBSYS_RESET);
    outw(HOBRA_MULTI, MULTI_MEM_CNTL | MEM_CNTL_START);
    outw(HOBRA_SUBSYS_CNTL, SUBSYS_NORMAL);
    outw(HOBRA_BG_COLOUR, 0);
    outw(HOBRA_FG_COLOUR, ALL_PLANES);
    outw(HOBRA_WRITE_MASK, ALL_PLANES);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_BG_MIX, MIX_START_BG);

    FifoSpaceWait(HOBRA_FIFO_DEPTH);
    outw(HOBRA_FG_MIX, MIX_START_FG);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
    outw(HOBRA_MULTI, MULTI_INDEX_8);
    outw(HOBRA_MULTI, MULTI_INDEX_9);
    const BoxRec *b = &priv->fullClip;
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_LEFT | (b->x1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_TOP | (b->y1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_RIGHT | ((b->x2 - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_BOTTOM | ((b->y2 - 1) & MULTI_VALUE_MASK)));
}

/* The FreeScreen slot. The private's index stays; its slot no longer
 * points at freed memory. */
void hobraCloseScreen(int index, ScreenPtr pScreen) {
    (void)index;
    hobraGlCacheClose(pScreen);
    hobraCloseText8(pScreen);
    nfbCloseText8(pScreen);
    hobraReleasePrivate(pScreen);
}

/* ---- validation ---- */

static PrivOps *hobraOpsFor(GCPtr pGC) {
    switch (pGC->fillStyle) {
    case FillSolid:
        return &hobraSolidPrivOps;
    case FillTiled:
        return &hobraTiledPrivOps;
    case FillStippled:
        return &hobraStippledPrivOps;
    default:
        /* An opaque stipple in one colour is a solid fill. */
        return pGC->fgPixel != pGC->bgPixel ? &hobraOpStippledPrivOps : &hobraSolidPrivOps;
    }
}

static int hobraValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    /* The opaque-stipple choice depends on the colours too. */
    if ((changes & GCFillStyle) ||
        (pGC->fillStyle == FillOpaqueStippled && (changes & (GCForeground | GCBackground))))
        NFB_GC_PRIV(pGC)->ops = hobraOpsFor(pGC);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

void hobraValidateWindowPriv(WindowPtr pWin) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pWin->drawable.pScreen);
    NFB_WINDOW_PRIV(pWin)->ops = priv && priv->atiClip ? &hobraAtiClipWinOps : &hobraWinOps;
}

extern "C" {
DRV_EXPORT ScreenInfo hobraScreenInfo = {hobraProbe, hobraInit, "hobra", {}};

/* Kept for the server, which may look the name up; it has nothing to do. */
DRV_EXPORT void hobraValidateVisual(void) {}
}
