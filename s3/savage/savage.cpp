/*
 * savage: binding, screen initialisation, the bounded engine wait, the mode
 * set with the engine turned on and the plane mask primed, the switch back
 * to text, and the choice of the window and GC records.
 */
#include "savage.h"

int savageScreenPrivateIndex = -1;
static uint32_t savageGeneration = (uint32_t)-1;
volatile uint32_t savageWait;

/* ROP3 codes by alu over the source (S = 0xCC), shifted into bits 16-23. */
const uint32_t savageROP[16] = {0x00u << 16, 0x88u << 16, 0x44u << 16, 0xCCu << 16,
                                0x22u << 16, 0xAAu << 16, 0x66u << 16, 0xEEu << 16,
                                0x11u << 16, 0x99u << 16, 0x55u << 16, 0xDDu << 16,
                                0x33u << 16, 0xBBu << 16, 0x77u << 16, 0xFFu << 16};

static VisualRec Visual8 = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec Visual15 = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
static VisualRec Visual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
static VisualRec Visual24 = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};
static VisualRec Visual32 = {0, TrueColor, 8, 256, 32, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};

static int savageValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);

static SysInfo savageSysInfo = {0,
                                savageSetGraphics,
                                savageSetText,
                                savageSaveGState,
                                savageRestoreGState,
                                savageCloseScreen,
                                1,
                                1,
                                1,
                                5.0f};

/* ---- Operation records ---- */

PrivOps savageSolidPrivOps = {genSolidFillRects, savageSolidFS, {.ZeroSegs = savageSolidZeroSegs},
                              genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps savageTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                              genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps savageStippledPrivOps = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps savageOpStippledPrivOps = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

static WinOps savageWinOps = {savageCopyRect,
                              savageDrawSolidRects,
                              savageDrawImage,
                              savageDrawMonoImage,
                              savageDrawOpaqueMonoImage,
                              savageReadImage,
                              savageDrawPoints,
                              genTileRects,
                              genDrawMonoGlyphs,
                              {genDrawFontText},
                              genWinOp11,
                              genWinOp12,
                              genWinOp13,
                              genWinOp14,
                              savageValidateWindowGC};

#define DEFAULT_MONITOR_MM 300
#define MAX_SCREEN_DIMENSION 0x7FFF /* the server's coordinates are 16-bit */
/* The frame-buffer layer options: segments in list form (0x20) and the two
 * further flags the server defines for this interface version. */
#define SAVAGE_NFB_OPTIONS (NFB_OPT_ZEROSEGS | 0x0C)

static const char msgStatusMask[] = "savage: can't find STATUSMASK info in grafinfo file.\n";
static const char msgPixelInfo[] = "savage: can't find pixel info in grafinfo file.\n";
static const char msgDepth[] = "savage: DEPTH %d is not 8, 15, 16, 24 or 32.\n";
static const char msgGeometry[] = "savage: a screen of %d x %d with %d bytes a line is not "
                                  "possible at depth %d.\n";
static const char msgNoMemory[] = "savage: Missing MEMORY in grafinfo file.\n";
static const char msgNoRegs[] = "savage: Missing REGS for registers in grafinfo file.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgMemory[] = "savage: the screen and its cursor need %u bytes of video "
                                "memory, the board has %u.\n";
static const char msgMemoryCode[] = "savage: memory code %#x in CR36 names no memory size.\n";

/* ---- The engine ---- */

/* Bounded: an engine that never comes back ends the server rather than
 * hanging it. */
void savageEngineIdleWait(const savageScreenPrivate *priv) {
    uint32_t mask = priv->statusMask;
    savageWait = 0;
    while ((savageRead(priv, REG_STATUS) & mask) != mask) {
        savageWait = savageWait + 1;
        if (savageWait >= SAVAGE_WAIT_LIMIT)
            break;
    }
    if (savageWait == SAVAGE_WAIT_LIMIT)
        FatalError("savage timeout");
}

/* The mode set proper; false when the mode procedure did not run. */
static Bool savageSetMode(ScreenPtr pScreen) {
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    int depth = pScreen->rootDepth;
    Bool ran = grafExec(savageGrafinfo(pScreen), "SetGraphics", 0) != 0;

    neltoOutCR(CR58, (uint8_t)(neltoInCR(CR58) | CR58_LINEAR));
    neltoOutCR(CR66, (uint8_t)(neltoInCR(CR66) | CR66_RESET_BITS));
    neltoOutCR(CR66, (uint8_t)(neltoInCR(CR66) & ~CR66_RELEASE));
    savageWrite(priv, REG_ENGINE_CONTROL, savageRead(priv, REG_ENGINE_CONTROL) | ENGINE_CONTROL_ON);

    /* The engine now holds the whole depth; a mask of all ones matches it. */
    priv->planeMaskShadow = 0xFFFFFFFFu;
    savageSeq q;
    q.priv = priv;
    q.n = 0;
    savageSeqPut(&q, CMD_PLANE_MASK);
    savageSeqPut(&q, savageDepthMask(depth));
    savageSeqFlush(&q);

    if (depth == 8)
        savageRestoreColormap(pScreen);
    return ran;
}

/* Back from the console there is nobody to tell of a failed mode
 * procedure; the screen goes on with what the driver set up itself. */
void savageSetGraphics(ScreenPtr pScreen) {
    (void)savageSetMode(pScreen);
}

/* The console gets an idle engine, turned off. */
Bool savageSetText(ScreenPtr pScreen) {
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    if (priv && priv->regBase) {
        savageEngineIdleWait(priv);
        savageWrite(priv, REG_ENGINE_CONTROL,
                    savageRead(priv, REG_ENGINE_CONTROL) & ~ENGINE_CONTROL_ON);
    }
    neltoOutCR(CR58, (uint8_t)(neltoInCR(CR58) & ~CR58_LINEAR));
    return grafExec(savageGrafinfo(pScreen), "SetText", 0);
}

/* ---- Window and GC records ---- */

static void savageValidateWindowPriv(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &savageWinOps;
}

/* An opaque stipple draws as a solid fill while its two colours agree, so
 * a colour change may call for the other record. */
static int savageValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    Bool opaque = pGC->fillStyle == FillOpaqueStippled;
    if ((changes & GCFillStyle) || (opaque && (changes & (GCForeground | GCBackground)))) {
        PrivOps *ops;
        switch (pGC->fillStyle) {
        case FillSolid:
            ops = &savageSolidPrivOps;
            break;
        case FillTiled:
            ops = &savageTiledPrivOps;
            break;
        case FillStippled:
            ops = &savageStippledPrivOps;
            break;
        default:
            ops = pGC->fgPixel == pGC->bgPixel ? &savageSolidPrivOps : &savageOpStippledPrivOps;
            break;
        }
        NFB_GC_PRIV(pGC)->ops = ops;
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Screen initialisation ---- */

static VisualPtr savageVisualFor(int depth) {
    switch (depth) {
    case 8:
        return &Visual8;
    case 15:
        return &Visual15;
    case 16:
        return &Visual16;
    case 24:
        return &Visual24;
    case 32:
        return &Visual32;
    default:
        return 0;
    }
}

/* Sizes every address and command word is computed from; false after the
 * message. */
static Bool savageCheckGeometry(const savageScreenPrivate *priv, int depth) {
    if (!savageVisualFor(depth)) {
        ErrorF(msgDepth, depth);
        return 0;
    }
    int64_t line = (int64_t)priv->width * savageBytesPerPixel(depth);
    if (priv->width <= 0 || priv->height <= 0 || priv->width > MAX_SCREEN_DIMENSION ||
        priv->height > MAX_SCREEN_DIMENSION || priv->pitchBytes < line) {
        ErrorF(msgGeometry, priv->width, priv->height, priv->pitchBytes, depth);
        return 0;
    }
    return 1;
}

static Bool savageReadKeys(ScreenPtr pScreen, savageScreenPrivPtr priv, int *depth) {
    GrafinfoHandle graf = savageGrafinfo(pScreen);
    int mask = 0;
    if (!grafGetInt(graf, "STATUSMASK", &mask)) {
        ErrorF(msgStatusMask);
        return 0;
    }
    priv->statusMask = (uint32_t)mask;
    int width, pitch, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXBYTES", &pitch) ||
        !grafGetInt(graf, "PIXHEIGHT", &height) || !grafGetInt(graf, "DEPTH", depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    priv->pitchBytes = pitch;
    return savageCheckGeometry(priv, *depth);
}

static Bool savageInitHW(ScreenPtr pScreen) {
    savageScreenPrivPtr priv = SAVAGE_PRIV(pScreen);
    GrafinfoHandle graf = savageGrafinfo(pScreen);
    void *fb = 0, *regs = 0;
    uint32_t phys = 0, mapped = 0;
    if (!grafGetMemInfo(graf, 0, &phys, &mapped, &fb) || !fb) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->fbBase = (uint8_t *)fb;
    priv->fbPhys = phys;
    if (!grafGetMemInfo(graf, "REGS", 0, 0, &regs) || !regs) {
        ErrorF(msgNoRegs);
        return 0;
    }
    priv->regBase = (volatile uint8_t *)regs;
    Bool hardwareCursor = !savageSoftwareCursorAsked(savageGrafinfo(pScreen));
    if (!savageCheckMemory(priv->height, priv->pitchBytes, mapped, hardwareCursor, msgMemory,
                           msgMemoryCode))
        return 0;
    /* A mode procedure that is missing or stopped half way leaves a mode
     * nobody described: refused. */
    if (!savageSetMode(pScreen)) {
        ErrorF(msgNoSetGraphics);
        savageSetText(pScreen);
        return 0;
    }
    return 1;
}

static Bool savageInitScreen(ScreenPtr pScreen, savageScreenPrivPtr priv, int depth) {
    GrafinfoHandle graf = savageGrafinfo(pScreen);
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, savageVisualFor(depth)))
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (depth == 8) {
        nfb->SetColor = savageSetColor;
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->BlankScreen = savageBlankScreen;
    nfb->gcTemplate->ops = &savageSolidPrivOps;
    nfb->ValidateWindowPriv = savageValidateWindowPriv;
    return 1;
}

/* Everything after the private; a refusal leaves the private to the
 * caller to free. */
static Bool savageInitRest(ScreenPtr pScreen, savageScreenPrivPtr priv) {
    int depth = 0;
    if (!savageReadKeys(pScreen, priv, &depth))
        return 0;
    if (!savageInitScreen(pScreen, priv, depth))
        return 0;
    if (!savageInitHW(pScreen))
        return 0;

    GrafinfoHandle graf = savageGrafinfo(pScreen);
    int v = 0;
    priv->noFill = 0;
    if (grafGetInt(graf, "NOFILL", &v) && v != 0)
        priv->noFill = 1;
    v = 0;
    if (grafGetInt(graf, "NEWCURSCOLOR", &v) && v != 0)
        priv->newCursColor = 1;
    if (savageSoftwareCursorAsked(graf))
        vexoSWCursorInitialize(pScreen);
    else
        savageCursorInitialize(pScreen);

    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &savageSysInfo);
    nfbSetOptions(pScreen, 50, SAVAGE_NFB_OPTIONS, 0);
    return 1;
}

static Bool savageInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    /* The generation is taken first: a refused index is not asked for again
     * in this generation, and every Init of it fails. */
    if (savageGeneration != serverGeneration) {
        savageGeneration = serverGeneration;
        savageScreenPrivateIndex = AllocateScreenPrivateIndex();
        if (savageScreenPrivateIndex < 0)
            savageScreenPrivateIndex = -1;
    }
    if (savageScreenPrivateIndex < 0)
        return 0;
    savageScreenPrivPtr priv = (savageScreenPrivPtr)Xalloc(sizeof(savageScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[savageScreenPrivateIndex].ptr = priv;

    if (!savageInitRest(pScreen, priv)) {
        Xfree(priv);
        pScreen->devPrivates[savageScreenPrivateIndex].ptr = 0;
        return 0;
    }
    return 1;
}

extern "C" {
DRV_EXPORT ScreenInfo savageScreenInfo = {savageSetup, savageInit, "savage", {}};
}
