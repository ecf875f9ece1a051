/*
 * nelto: binding, screen initialisation, the bounded engine wait, the mode
 * set with the engine reset and its defaults, blanking, the console-switch
 * callbacks, the hardware clip, the choice of the window and GC records and
 * the close.
 */
#include "nelto.h"

int neltoScreenPrivateIndex = -1;
static uint32_t neltoGeneration = (uint32_t)-1;
volatile uint32_t neltoWait;

/* ROP3 codes by alu, shifted into the command word: over the source (S =
 * 0xCC) for blits and expansions, over the pattern (P = 0xF0) for fills. */
const uint32_t neltoROP[16] = {0x00u << 17, 0x88u << 17, 0x44u << 17, 0xCCu << 17,
                               0x22u << 17, 0xAAu << 17, 0x66u << 17, 0xEEu << 17,
                               0x11u << 17, 0x99u << 17, 0x55u << 17, 0xDDu << 17,
                               0x33u << 17, 0xBBu << 17, 0x77u << 17, 0xFFu << 17};
const uint32_t neltoPROP[16] = {0x00u << 17, 0xA0u << 17, 0x50u << 17, 0xF0u << 17,
                                0x0Au << 17, 0xAAu << 17, 0x5Au << 17, 0xFAu << 17,
                                0x05u << 17, 0xA5u << 17, 0x55u << 17, 0xF5u << 17,
                                0x0Fu << 17, 0xAFu << 17, 0x5Fu << 17, 0xFFu << 17};

static VisualRec Visual8 = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec Visual15 = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
static VisualRec Visual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
static VisualRec Visual24 = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};
static VisualRec Visual32 = {0, TrueColor, 8, 256, 32, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};

static void neltoClipRegions(BoxPtr boxes, int count, DrawablePtr);
static int neltoValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);

static SysInfo neltoSysInfo = {0,
                               neltoSetGraphics,
                               neltoSetText,
                               neltoSaveGState,
                               neltoRestoreGState,
                               neltoCloseScreen,
                               1,
                               1,
                               1,
                               5.0f};

/* ---- Operation records ---- */

/* The solid record once per pixel size, so that screens of different
 * depths each keep their own segment routine; the template's record leaves
 * segments to the server until a GC is validated. */
#define NELTO_SOLID_OPS(zeroSegs)                                                                  \
    {                                                                                              \
        genSolidFillRects, genSolidFS, {.ZeroSegs = zeroSegs}, genSolidGCOp4, genSolidGCOp5,       \
            genSolidGCOp6                                                                          \
    }

PrivOps neltoSolidPrivOps = NELTO_SOLID_OPS(genSolidZeroSegs);
static PrivOps neltoSolidPrivOps8 = NELTO_SOLID_OPS(nelto_8bppSolidZeroSegs);
static PrivOps neltoSolidPrivOps16 = NELTO_SOLID_OPS(nelto_16bppSolidZeroSegs);
static PrivOps neltoSolidPrivOps24 = NELTO_SOLID_OPS(nelto_24bppSolidZeroSegs);
static PrivOps neltoSolidPrivOps32 = NELTO_SOLID_OPS(nelto_32bppSolidZeroSegs);
PrivOps neltoTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                             genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps neltoStippledPrivOps = {genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
                                genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps neltoOpStippledPrivOps = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

/* Window records, accelerated and not, once per pixel size: the image
 * slots are the size's own and no record is rewritten at run time. */
#define NELTO_WINOPS(drawImage, readImage)                                                         \
    {                                                                                              \
        neltoCopyRect, neltoDrawSolidRects, drawImage, neltoDrawMonoImage,                         \
            neltoDrawOpaqueMonoImage, readImage, neltoDrawPoints, genTileRects, genDrawMonoGlyphs, \
            {genDrawFontText}, genWinOp11, genWinOp12, genWinOp13, neltoClipRegions,               \
            neltoValidateWindowGC                                                                  \
    }
#define NELTO_NOACC_WINOPS(drawImage, readImage)                                                   \
    {                                                                                              \
        genCopyRect, genDrawSolidRects, drawImage, genDrawMonoImage, genDrawOpaqueMonoImage,       \
            readImage, genDrawPoints, genTileRects, genDrawMonoGlyphs, {genDrawFontText},          \
            genWinOp11, genWinOp12, genWinOp13, genWinOp14, neltoValidateWindowGC                  \
    }

static WinOps neltoWinOps[4] = {
    NELTO_WINOPS(nelto_8bppDrawImage, nelto_8bppReadImage),
    NELTO_WINOPS(nelto_16bppDrawImage, nelto_16bppReadImage),
    NELTO_WINOPS(nelto_24bppDrawImage, nelto_24bppReadImage),
    NELTO_WINOPS(nelto_32bppDrawImage, nelto_32bppReadImage),
};
static WinOps neltoNoAccWinOps[4] = {
    NELTO_NOACC_WINOPS(nelto_8bppDrawImage, nelto_8bppReadImage),
    NELTO_NOACC_WINOPS(nelto_16bppDrawImage, nelto_16bppReadImage),
    NELTO_NOACC_WINOPS(nelto_24bppDrawImage, nelto_24bppReadImage),
    NELTO_NOACC_WINOPS(nelto_32bppDrawImage, nelto_32bppReadImage),
};

#define DEFAULT_MONITOR_MM 300
#define MAX_SCREEN_DIMENSION 0x7FFF /* the server's coordinates are 16-bit */
#define MAX_ENGINE_FIELD 0xFFFF     /* strides, sizes and clips are 16-bit halves */
#define RESET_TRIES 50
#define RESET_NAP_MS 20

static const char msgPixelInfo[] = "nelto: can't find pixel info in grafinfo file.\n";
static const char msgDepth[] = "nelto: DEPTH %d is not 8, 15, 16, 24 or 32.\n";
static const char msgGeometry[] = "nelto: a screen of %d x %d with %d bytes a line is not "
                                  "possible at depth %d.\n";
static const char msgNoMemory[] = "nelto: Missing MEMORY in grafinfo file.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgMemory[] = "nelto: the screen and its cursor need %u bytes of video memory, "
                                "the board has %u.\n";
static const char msgMemoryCode[] = "nelto: memory code %#x in CR36 names no memory size.\n";

/* ---- The engine ---- */

/* Bounded: an engine that never comes back ends the server rather than
 * hanging it. */
void neltoEngineIdleWait(const neltoScreenPrivate *priv) {
    neltoWait = 0;
    while (!(neltoRead(priv, REG_STATUS) & STATUS_IDLE)) {
        neltoWait = neltoWait + 1;
        if (neltoWait >= NELTO_WAIT_LIMIT)
            break;
    }
    if (neltoWait == NELTO_WAIT_LIMIT)
        FatalError("nelto timeout");
}

/* The engine starts only when it reads busy right after the reset and idle
 * once it had time to come up. */
static void neltoResetEngine(const neltoScreenPrivate *priv, uint32_t format) {
    if (neltoRead(priv, REG_STATUS) & STATUS_IDLE)
        return;
    for (int i = 0; i < RESET_TRIES; i++) {
        neltoWrite(priv, REG_STATUS, RESET_HOLD);
        neltoWrite(priv, REG_STATUS, RESET_RELEASE);
        neltoWrite(priv, REG_COMMAND, CMD_RESET | format);
        if (neltoRead(priv, REG_STATUS) & STATUS_IDLE)
            continue;
        nap(RESET_NAP_MS);
        if (neltoRead(priv, REG_STATUS) & STATUS_IDLE)
            return;
    }
    FatalError("cannot initialize S3D engine.");
}

static void neltoCommandAndWait(const neltoScreenPrivate *priv, uint32_t command) {
    neltoWrite(priv, REG_COMMAND, command);
    neltoEngineIdleWait(priv);
}

static void neltoEngineDefaults(const neltoScreenPrivate *priv, int depth) {
    uint32_t k = CMD_RESET | neltoFormat(depth);
    uint32_t strides = (uint32_t)priv->pitchBytes | (uint32_t)priv->pitchBytes << 16;
    int columns = neltoEngineColumns(priv->width, depth);

    neltoWrite(priv, REG_SRC_BASE2, 0);
    neltoWrite(priv, REG_SRC_BASE, 0);
    neltoWrite(priv, REG_DST_BASE2, 0);
    neltoWrite(priv, REG_DST_BASE, 0);
    neltoCommandAndWait(priv, k);

    neltoWrite(priv, REG_CLIP_X, (uint32_t)(columns - 1));
    neltoWrite(priv, REG_CLIP_Y, (uint32_t)(priv->height - 1));
    neltoCommandAndWait(priv, k);

    neltoWrite(priv, REG_STRIDES2, strides);
    neltoWrite(priv, REG_STRIDES, strides);
    neltoWrite(priv, REG_PATTERN_FG3, 0);
    neltoWrite(priv, REG_PATTERN_FG, 0);
    neltoWrite(priv, REG_PATTERN_BG3, 0);
    neltoWrite(priv, REG_PATTERN_BG, 0);
    neltoCommandAndWait(priv, k);

    neltoWrite(priv, REG_SOURCE_FG, 0);
    neltoWrite(priv, REG_SOURCE_BG, 0);
    neltoWrite(priv, REG_MONO_PATTERN0, 0xFFFFFFFFu);
    neltoWrite(priv, REG_MONO_PATTERN1, 0xFFFFFFFFu);
    neltoCommandAndWait(priv, k);
    neltoEngineIdleWait(priv);
}

/* Every byte of the visible screen to 0: at depth 32 as 8-bit pixels. */
static void neltoClearScreen(const neltoScreenPrivate *priv, int depth) {
    neltoCommandAndWait(priv, CMD_CLEAR | neltoFormat(depth));
    neltoWrite(priv, REG_SIZE, SIZE_WH(neltoEngineColumns(priv->width, depth), priv->height));
    neltoWrite(priv, REG_DESTINATION, 0);
    neltoEngineIdleWait(priv);
}

/* The mode set proper; false when the mode procedure did not run. */
static Bool neltoSetMode(ScreenPtr pScreen) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    int depth = pScreen->rootDepth;
    Bool ran = grafExec(neltoGrafinfo(pScreen), "SetGraphics", 0) != 0;

    neltoOutCR(CR38, CR38_KEY);
    neltoOutCR(CR39, CR39_KEY);
    neltoOutCR(CR40, (uint8_t)(neltoInCR(CR40) | CR40_ENHANCED));
    neltoOutCR(CR59, (uint8_t)(priv->fbPhys >> 24));
    neltoOutCR(CR5A, (uint8_t)(priv->fbPhys >> 16));
    neltoOutCR(CR53, (uint8_t)((neltoInCR(CR53) & CR53_KEEP) | CR53_MMIO));
    neltoOutCR(CR58, (uint8_t)(neltoInCR(CR58) | CR58_LINEAR));

    neltoResetEngine(priv, neltoFormat(depth));
    neltoEngineDefaults(priv, depth);
    neltoClearScreen(priv, depth);
    if (depth == 8)
        neltoRestoreColormap(pScreen);
    return ran;
}

/* Back from the console there is nobody to tell of a failed mode
 * procedure; the screen goes on with what the driver set up itself. */
void neltoSetGraphics(ScreenPtr pScreen) {
    (void)neltoSetMode(pScreen);
}

/* The console gets an idle engine and the registers locked back. */
Bool neltoSetText(ScreenPtr pScreen) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    if (priv && priv->regBase)
        neltoEngineIdleWait(priv);
    neltoOutCR(CR38, CR38_KEY);
    neltoOutCR(CR39, CR39_KEY);
    neltoOutCR(CR40, (uint8_t)(neltoInCR(CR40) & ~CR40_ENHANCED));
    neltoOutCR(CR58, (uint8_t)(neltoInCR(CR58) & ~CR58_LINEAR));
    return grafExec(neltoGrafinfo(pScreen), "SetText", 0);
}

/* ---- Hardware clip ---- */

/* One axis of the clip: an empty range becomes one whose left lies past its
 * right, which draws nothing (a right edge of -1 would read as 65535). */
static uint32_t neltoClipRange(int lo, int hiExclusive) {
    if (hiExclusive <= lo)
        return 1u << 16;
    return (uint32_t)(uint16_t)lo << 16 | (uint32_t)(uint16_t)(hiExclusive - 1);
}

static void neltoClipRegions(BoxPtr boxes, int count, DrawablePtr pDraw) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pDraw->pScreen);
    if (count == 0) {
        neltoWrite(priv, REG_CLIP_X, (uint32_t)(priv->width - 1));
        neltoWrite(priv, REG_CLIP_Y, (uint32_t)(priv->height - 1));
        return;
    }
    neltoWrite(priv, REG_CLIP_X, neltoClipRange(boxes[0].x1, boxes[0].x2));
    neltoWrite(priv, REG_CLIP_Y, neltoClipRange(boxes[0].y1, boxes[0].y2));
}

/* ---- Window and GC records ---- */

static int neltoSizeIndex(int depth) {
    switch (depth) {
    case 8:
        return 0;
    case 15:
    case 16:
        return 1;
    case 24:
        return 2;
    case 32:
        return 3;
    default:
        return -1;
    }
}

static void neltoValidateWindowPriv(WindowPtr pWin) {
    ScreenPtr pScreen = pWin->drawable.pScreen;
    int size = neltoSizeIndex(pScreen->rootDepth);
    if (size < 0)
        return;
    NFB_WINDOW_PRIV(pWin)->ops =
        NELTO_PRIV(pScreen)->accel ? &neltoWinOps[size] : &neltoNoAccWinOps[size];
}

static PrivOps *neltoSolidOpsFor(int depth) {
    switch (neltoSizeIndex(depth)) {
    case 0:
        return &neltoSolidPrivOps8;
    case 2:
        return &neltoSolidPrivOps24;
    case 3:
        return &neltoSolidPrivOps32;
    default:
        return &neltoSolidPrivOps16;
    }
}

/* An opaque stipple draws as a solid fill while its two colours agree, so
 * a colour change may call for the other record. */
static int neltoValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    Bool opaque = pGC->fillStyle == FillOpaqueStippled;
    if ((changes & GCFillStyle) || (opaque && (changes & (GCForeground | GCBackground)))) {
        PrivOps *ops;
        switch (pGC->fillStyle) {
        case FillSolid:
            ops = neltoSolidOpsFor(pDraw->pScreen->rootDepth);
            break;
        case FillTiled:
            ops = &neltoTiledPrivOps;
            break;
        case FillStippled:
            ops = &neltoStippledPrivOps;
            break;
        default:
            ops = pGC->fgPixel == pGC->bgPixel ? neltoSolidOpsFor(pDraw->pScreen->rootDepth)
                                               : &neltoOpStippledPrivOps;
            break;
        }
        NFB_GC_PRIV(pGC)->ops = ops;
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Screen initialisation ---- */

static VisualPtr neltoVisualFor(int depth) {
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

/* Sizes every address and engine field is computed from; false after the
 * message. */
static Bool neltoCheckGeometry(const neltoScreenPrivate *priv, int depth) {
    if (!neltoVisualFor(depth)) {
        ErrorF(msgDepth, depth);
        return 0;
    }
    int64_t line = (int64_t)priv->width * neltoBytesPerPixel(depth);
    if (priv->width <= 0 || priv->height <= 0 || priv->width > MAX_SCREEN_DIMENSION ||
        priv->height > MAX_SCREEN_DIMENSION || priv->pitchBytes < line ||
        priv->pitchBytes > MAX_ENGINE_FIELD ||
        neltoEngineColumns(priv->width, depth) > MAX_ENGINE_FIELD + 1) {
        ErrorF(msgGeometry, priv->width, priv->height, priv->pitchBytes, depth);
        return 0;
    }
    return 1;
}

static Bool neltoReadKeys(ScreenPtr pScreen, neltoScreenPrivPtr priv, int *depth) {
    GrafinfoHandle graf = neltoGrafinfo(pScreen);
    int width, pitch, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXBYTES", &pitch) ||
        !grafGetInt(graf, "PIXHEIGHT", &height) || !grafGetInt(graf, "DEPTH", depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    priv->pitchBytes = pitch;
    return neltoCheckGeometry(priv, *depth);
}

static Bool neltoInitHW(ScreenPtr pScreen) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    void *fb = 0;
    uint32_t phys = 0, mapped = 0;
    if (!grafGetMemInfo(neltoGrafinfo(pScreen), 0, &phys, &mapped, &fb) || !fb) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->fbBase = (uint8_t *)fb;
    priv->fbPhys = phys;
    priv->regBase = (volatile uint8_t *)fb + NELTO_ENGINE_OFFSET;
    Bool hardwareCursor = !neltoSoftwareCursorAsked(neltoGrafinfo(pScreen));
    if (!neltoCheckMemory(priv->height, priv->pitchBytes, mapped, hardwareCursor, msgMemory,
                          msgMemoryCode))
        return 0;
    /* A mode procedure that is missing or stopped half way leaves a mode
     * nobody described (the display's line among it): refused. */
    if (!neltoSetMode(pScreen)) {
        ErrorF(msgNoSetGraphics);
        neltoSetText(pScreen);
        return 0;
    }
    return 1;
}

static Bool neltoInitScreen(ScreenPtr pScreen, neltoScreenPrivPtr priv, int depth) {
    GrafinfoHandle graf = neltoGrafinfo(pScreen);
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    int accel = 1;
    grafGetInt(graf, "ACCEL", &accel);
    priv->accel = depth == 32 ? 0 : accel;
    if (!nfbAddVisual(pScreen, neltoVisualFor(depth)))
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (depth == 8) {
        nfb->SetColor = neltoSetColor;
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->BlankScreen = neltoBlankScreen;
    nfb->gcTemplate->ops = &neltoSolidPrivOps;
    nfb->ValidateWindowPriv = neltoValidateWindowPriv;
    return 1;
}

static Bool neltoInitRest(ScreenPtr pScreen, neltoScreenPrivPtr priv);

static Bool neltoInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    /* The generation is taken first: a refused index is not asked for again
     * in this generation, and every Init of it fails. */
    if (neltoGeneration != serverGeneration) {
        neltoGeneration = serverGeneration;
        neltoScreenPrivateIndex = AllocateScreenPrivateIndex();
        if (neltoScreenPrivateIndex < 0)
            neltoScreenPrivateIndex = -1;
    }
    if (neltoScreenPrivateIndex < 0)
        return 0;
    neltoScreenPrivPtr priv = (neltoScreenPrivPtr)Xalloc(sizeof(neltoScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[neltoScreenPrivateIndex].ptr = priv;

    if (!neltoInitRest(pScreen, priv)) {
        Xfree(priv);
        pScreen->devPrivates[neltoScreenPrivateIndex].ptr = 0;
        return 0;
    }
    return 1;
}

/* Everything after the private; a refusal leaves the private to the
 * caller to free. */
static Bool neltoInitRest(ScreenPtr pScreen, neltoScreenPrivPtr priv) {
    int depth = 0;
    if (!neltoReadKeys(pScreen, priv, &depth))
        return 0;
    if (!neltoInitScreen(pScreen, priv, depth))
        return 0;
    if (!neltoInitHW(pScreen))
        return 0;

    GrafinfoHandle graf = neltoGrafinfo(pScreen);
    int v = 0;
    if (grafGetInt(graf, "NEWCURSCOLOR", &v) && v != 0)
        priv->newCursColor = 1;
    if (neltoSoftwareCursorAsked(graf))
        vexoSWCursorInitialize(pScreen);
    else
        neltoCursorInitialize(pScreen);

    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &neltoSysInfo);
    nfbSetOptions(pScreen, 50, NFB_OPT_ZEROSEGS, 0);
    return 1;
}

extern "C" {
DRV_EXPORT ScreenInfo neltoScreenInfo = {neltoSetup, neltoInit, "nelto", {}};
}
