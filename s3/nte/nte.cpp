/*
 * nte family: binding, screen initialisation, the off-screen layout (the
 * OffScreenArea from the grafinfo keys or the video BIOS, its FontArea,
 * ScratchArea and CursorArea), the cursor choice, GC and window validation
 * and the close.
 */
#include "nte.h"

int NAME(ScreenPrivateIndex) = -1;
static uint32_t NAME(Generation) = (uint32_t)-1;

/* One visual per build; the 8-bit one takes RGBBITS at Init. */
#if defined(NTE_BUILD_PRAVO8) || defined(NTE_BUILD_SKERL8) || defined(NTE_BUILD_TUNGA8)
static VisualRec NAME(Visual) = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
#elif defined(NTE_BUILD_PRAVO16) || defined(NTE_BUILD_SKERL16) || defined(NTE_BUILD_TUNGA16)
static VisualRec NAME(Visual) = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
#else
static VisualRec NAME(Visual) = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};
#endif

static void NAME(FreeScreen)(int index, ScreenPtr pScreen);

static SysInfo NAME(SysInfo) = {0,
                                NAME(SetGraphics),
                                NAME(SetText),
                                NAME(SaveGState),
                                NAME(RestoreGState),
                                NAME(FreeScreen),
                                1,
                                1,
                                1,
                                5.0f};

static int NAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);

PrivOps NAME(SolidPrivOps) = {genSolidFillRects, genSolidFS,    {.ZeroSeg = NAME(SolidZeroSeg)},
                              genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
static PrivOps NAME(TiledPrivOps) = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                     genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
static PrivOps NAME(StippledPrivOps) = {
    genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
static PrivOps NAME(OpStippledPrivOps) = {
    genOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,     genOpStippledGCOp5, genOpStippledGCOp6};

WinOps NAME(WinOps) = {NAME(CopyRect),
                       NAME(DrawSolidRects),
                       NAME(DrawImage),
                       NAME(DrawMonoImage),
                       NAME(DrawOpaqueMonoImage),
                       NAME(ReadImage),
                       NAME(DrawPoints),
                       genTileRects,
                       NAME(DrawMonoGlyphs),
                       /* The ten-argument form, while no text font slots
                        * are offered to the layer. */
                       {.DrawFontText = genDrawFontText},
                       genWinOp11,
                       genWinOp12,
                       genWinOp13,
                       NAME(SetClipRegions),
                       NAME(ValidateWindowGC)};

/* Defaults of the grafinfo keys. */
#define DEFAULT_MONITOR_MM 300
#define DEFAULT_RGBBITS 6
#define DAC_COMPONENT_BITS 16
#define DEFAULT_PIXTRANSEXTBUG 1
#define DEFAULT_S3HWCURSOR 1
/* The hardware cursor is the default only where its line of 1024 pixels
 * fits the OffScreenArea from its left edge. */
#define HW_CURSOR_MIN_WIDTH 1024

/* The video BIOS scan-line query (VESA function 6, get). */
#define VBE_SCANLINE_FUNCTION 0x4F06
#define VBE_SCANLINE_GET 1
#define VBE_STATUS_AH 0xFF00

#define MEGABYTE 0x100000u

static const char msgPixelInfo[] = "NTE(): can't find pixel info in grafinfo file.\n";
[[maybe_unused]] static const char msgMissingMemory[] = "nte: Missing MEMORY in grafinfo file.\n";
[[maybe_unused]] static const char msgInvalidCR50[] = "nte: invalid system control register=%x\n";
[[maybe_unused]] static const char msgPixelSize[] = "nte: Failed to read screen pixel size\n";
static const char msgHalfMeg1[] = "nte: Card says it only has 0.5 meg of memory!\n";
static const char msgHalfMeg2[] = "Half meg cards have not been tested with this ";
static const char msgHalfMeg3[] = "driver, let's see what happens.\n";
static const char msgConfReg[] = "nte: Invalid confg_reg=%x\n";
static const char msgMemorySize[] = "nte: Unable to determine card memory size!\n";
static const char msgBiosQuery[] = "nte: BIOS scanline size query failed, continuing...\n";

static Bool NAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- the video memory and the BIOS query ---- */

/* Video memory in bytes from the memory code the BIOS left in CR36. A code
 * outside the table ends the server. */
static uint32_t nteMemorySize(const nteScreenPrivate *priv) {
    uint16_t config = (uint16_t)(nteReadCR(priv, CR36) | nteReadCR(priv, CR37) << 8);
    switch (config & CR36_MEMORY_CODE) {
    case 0x00:
        return 4 * MEGABYTE;
    case 0x40:
        return 3 * MEGABYTE;
    case 0x80:
        return 2 * MEGABYTE;
    case 0xC0:
        return MEGABYTE;
    case 0xE0:
        ErrorF(msgHalfMeg1);
        ErrorF(msgHalfMeg2);
        ErrorF(msgHalfMeg3);
        return MEGABYTE / 2;
    default:
        ErrorF(msgConfReg, config);
        FatalError(msgMemorySize);
    }
}

/* CR30 and up writable and the engine's ports on; the BIOS may have locked
 * them again. */
static void nteUnlockRegisters(const nteScreenPrivate *priv) {
    nteWriteCR(priv, CR38, CR38_UNLOCK);
    nteWriteCR(priv, CR39, CR39_UNLOCK);
    nteWriteCR(priv, CR40, (uint8_t)(nteReadCR(priv, CR40) | CR40_ENGINE_ON));
}

/* A rectangle in the engine's coordinate space, or none. */
typedef struct {
    int64_t x, y, w, h;
} NteRect;

static int64_t nteArea(const NteRect *r) {
    /* A strip with a side of 0 or less holds nothing, whatever the sign of
     * the product. */
    return r->w > 0 && r->h > 0 ? r->w * r->h : 0;
}

/* The strip beside or below the screen on lines of `pixels` by `lines`: the
 * larger one, the bottom strip when they are equal. False when neither holds
 * more than one line's worth, or the area is past what a 32-bit word counts. */
static Bool nteChooseStrip(const nteScreenPrivate *priv, int64_t pixels, int64_t lines,
                           NteRect *out) {
    NteRect right = {priv->width, 0, pixels - priv->width, lines};
    NteRect bottom = {0, priv->height, pixels, lines - priv->height};
    int64_t rightArea = nteArea(&right), bottomArea = nteArea(&bottom);
    const NteRect *chosen = bottomArea >= rightArea ? &bottom : &right;
    int64_t area = bottomArea >= rightArea ? bottomArea : rightArea;
    if (area <= 0 || area <= pixels || area > INT32_MAX)
        return 0;
    *out = *chosen;
    /* The engine reaches no further than its coordinates count. */
    if (out->x + out->w > NTE_COORD_LIMIT)
        out->w = NTE_COORD_LIMIT - out->x;
    if (out->y + out->h > NTE_COORD_LIMIT)
        out->h = NTE_COORD_LIMIT - out->y;
    return out->w > 0 && out->h > 0;
}

/* Bytes of a pixel as the BIOS with VESABIOS6BUG counts them: the 24-bit
 * builds keep 32-bit pixels. 0 for a depth below 8. */
static uint32_t nteBiosPixelBytes(const nteScreenPrivate *priv) {
    if (nteTraits.depth == 24)
        return 4;
    return priv->depth < 0 ? 0 : (uint32_t)priv->depth / 8;
}

Bool nteGetOffScreenDimensions(ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int biosBug = 0;
    grafGetInt(graf, "VESABIOS6BUG", &biosBug);
    uint32_t memSize = nteMemorySize(priv);

    int regs[4] = {VBE_SCANLINE_FUNCTION, VBE_SCANLINE_GET, 0, 0};
    Bool ran = grafVBRun(graf, regs, 4);
    nteUnlockRegisters(priv);
    if (!ran || (regs[0] & VBE_STATUS_AH) != 0) {
        ErrorF(msgBiosQuery);
        return 0;
    }

    int64_t pixels = regs[2], lines = regs[3];
    if (pixels == 0)
        return 0;
    if (biosBug) {
        /* The BIOS reports bytes where pixels belong: recount from the bytes
         * per line and the memory size. */
        uint32_t bytes = nteBiosPixelBytes(priv);
        if (bytes == 0)
            return 0;
        uint32_t perLine = (uint32_t)regs[1] / bytes;
        if (perLine == 0)
            return 0;
        pixels = perLine;
        lines = (memSize / bytes) / perLine;
    }

    NteRect r;
    if (!nteChooseStrip(priv, pixels, lines, &r))
        return 0;
    priv->osX = (int32_t)r.x;
    priv->osY = (int32_t)r.y;
    priv->osWidth = (int32_t)r.w;
    priv->osHeight = (int32_t)r.h;
    return 1;
}

/* ---- the off-screen layout ---- */

/* The four OS keys, read in order up to the first missing one. True when all
 * are present; a rectangle outside the engine's coordinate space then gives
 * no OffScreenArea rather than scissors and addresses that wrap. */
static Bool nteOffScreenKeys(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int x, y, w, h;
    if (!grafGetInt(graf, "OSX", &x) || !grafGetInt(graf, "OSY", &y) ||
        !grafGetInt(graf, "OSWIDTH", &w) || !grafGetInt(graf, "OSHEIGHT", &h))
        return 0;
    if (x < 0 || y < 0 || w < 0 || h < 0 || (int64_t)x + w > NTE_COORD_LIMIT ||
        (int64_t)y + h > NTE_COORD_LIMIT)
        return 1;
    priv->osX = x;
    priv->osY = y;
    priv->osWidth = w;
    priv->osHeight = h;
    return 1;
}

static void nteLayOutOffScreen(nteScreenPrivPtr priv) {
    uint32_t half = (uint32_t)priv->osHeight / 2;
    priv->scratchX = priv->osX;
    priv->scratchY = priv->osY + (int32_t)half;
    priv->scratchWidth = priv->osWidth;
    priv->scratchHeight = (int32_t)half;
    int32_t right = priv->osX + priv->osWidth, bottom = priv->osY + priv->osHeight;
    priv->clipRight = (right > priv->width ? right : priv->width) - 1;
    priv->clipBottom = (bottom > priv->height ? bottom : priv->height) - 1;
}

/* The FontArea: 16 x 16 cells in the upper half of the OffScreenArea, each
 * font one bit plane of 256 cells. The slots are laid out here; the text
 * path that fills and draws them registers itself with the layer. Returns 0
 * when fewer than 256 cells fit (or the table cannot be had), and the
 * ScratchArea then takes the whole OffScreenArea. */
Bool nteInitTE8(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    (void)pScreen;
    uint32_t across = (uint32_t)priv->osWidth >> 4;
    uint32_t cells = across * ((uint32_t)priv->osHeight >> 5);
    priv->fontSlotCount = 0;
    if (cells < FONT_CELLS || priv->depth <= 0)
        return 0;
    uint32_t perPlane = cells / FONT_CELLS;
    uint32_t count = perPlane * (uint32_t)priv->depth;
    if (count > 16)
        count = 16;
    FontSlot *slots = (FontSlot *)Xalloc((uint32_t)(count * sizeof(FontSlot)));
    if (!slots)
        return 0;
    uint32_t k = 0;
    for (int plane = 0; k < count && plane < priv->depth; plane++) {
        uint32_t x = 0, y = 0;
        for (uint32_t f = 0; f < perPlane && k < count; f++, k++) {
            slots[k].planeMask = 1u << plane;
            for (int code = 0; code < FONT_CELLS; code++) {
                slots[k].cells[code].x = (uint16_t)(priv->osX + (int32_t)x);
                slots[k].cells[code].y = (uint16_t)(priv->osY + (int32_t)y);
                x += FONT_CELL_SIZE;
                if (x >= (uint32_t)priv->osWidth) {
                    x = 0;
                    y += FONT_CELL_SIZE;
                }
            }
        }
    }
    priv->fontSlots = slots;
    priv->fontSlotCount = (int32_t)count;
    return 1;
}

/* True when the hardware cursor is used; sets cursorLine and takes that line
 * from the ScratchArea when the choice is the default one. */
static Bool nteChooseCursor(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int line;
    if (grafGetInt(graf, "HWCURSORY", &line)) {
        priv->cursorLine = line;
        return 1;
    }
    /* The line comes from the ScratchArea: one without lines has none to give. */
    if (priv->osWidth < HW_CURSOR_MIN_WIDTH || priv->osX != 0 || priv->depth != 8 ||
        priv->scratchHeight < 1)
        return 0;
    int enabled = DEFAULT_S3HWCURSOR;
    grafGetInt(graf, "S3HWCURSOR", &enabled);
    if (!enabled)
        return 0;
    priv->cursorLine = priv->scratchY + priv->scratchHeight - 1;
    priv->scratchHeight--;
    return 1;
}

/* ---- Init ---- */

/* Pixels per line from the CR50 width code; a code without one ends the
 * server. */
#if NTE_HAS_PITCH
static int32_t ntePitchFromCR50(const nteScreenPrivate *priv) {
    uint8_t cr50 = nteReadCR(priv, CR50);
    switch (cr50 & CR50_WIDTH_CODE) {
    case 0x00:
        return 1024;
    case 0x01:
        return 1152;
    case 0x40:
        return 640;
    case 0x80:
        return 800;
    case 0x81:
        return 1600;
    case 0xC0:
        return 1280;
    default:
        ErrorF(msgInvalidCR50, cr50);
        FatalError(msgPixelSize);
    }
}
#endif

/* The depths a build draws: the 8-bit builds serve any depth up to 8 in
 * their 8-bit pixels, the others only their own. */
static Bool nteDepthFits(int depth) {
    if (nteTraits.depth == 8)
        return depth >= 1 && depth <= 8;
    return depth == nteTraits.depth;
}

/* Steps 4 to 6: the pixel keys, RGBBITS and PIXTRANSEXTBUG. */
static Bool nteReadPixelInfo(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* The engine counts 12-bit coordinates: a screen past them cannot be
     * drawn, scissored or cleared. */
    if (width <= 0 || height <= 0 || width > NTE_COORD_LIMIT || height > NTE_COORD_LIMIT ||
        !nteDepthFits(depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    if (depth <= 8) {
        int rgbBits = DEFAULT_RGBBITS;
        grafGetInt(graf, "RGBBITS", &rgbBits);
        /* The DAC shift must be one a 16-bit component can take. */
        if (rgbBits < 1 || rgbBits > DAC_COMPONENT_BITS)
            rgbBits = DEFAULT_RGBBITS;
        NAME(Visual).bitsPerRGBValue = (uint16_t)rgbBits;
        priv->dacShift = DAC_COMPONENT_BITS - rgbBits;
    }
    priv->width = width;
    priv->height = height;
    priv->depth = depth;
    priv->pixTransExtBug = DEFAULT_PIXTRANSEXTBUG;
    grafGetInt(graf, "PIXTRANSEXTBUG", &priv->pixTransExtBug);
    return 1;
}

/* Step 7: MEMORY, long enough for what the variant reaches through it (the
 * whole engine window in tunga; the visible screen, checked once the pitch
 * is known, in pravo). */
static Bool nteMapMemory(ScreenPtr pScreen, nteScreenPrivPtr priv, uint32_t *length) {
#if NTE_HAS_MEMBASE
    void *mapped = 0;
    *length = 0;
    if (!grafGetMemInfo(nteGrafinfo(pScreen), 0, 0, length, &mapped) || !mapped ||
        (NTE_WINDOW && *length < NTE_WINDOW_SIZE)) {
        ErrorF(msgMissingMemory);
        return 0;
    }
    priv->memBase = (uint8_t *)mapped;
#else
    (void)pScreen;
    (void)priv;
    *length = 0;
#endif
    return 1;
}

/* Steps 8 and 9: screen, visual and the frame-buffer layer's hooks. */
static Bool nteInitScreen(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, &NAME(Visual)))
        return 0;

    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &NAME(SolidPrivOps);
    nfb->BlankScreen = NAME(BlankScreen);
    nfb->ValidateWindowPriv = NAME(ValidateWindowPriv);
    nfb->driverFlag = 1;
    if (NTE_PSEUDOCOLOR) {
        nfb->LoadColormap = genLoadColormap;
        nfb->SetColor = NAME(SetColor);
    } else {
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
        nfb->SetColor = (SetColorProc)NoopDDA;
    }
    return 1;
}

static void nteChooseCrtcPorts(nteScreenPrivPtr priv) {
    if (inb(VGA_MISC_READ) & MISC_COLOUR_CRTC) {
        priv->crtcIndexPort = CRTC_COLOUR_INDEX;
        priv->crtcDataPort = CRTC_COLOUR_DATA;
    } else {
        priv->crtcIndexPort = CRTC_MONO_INDEX;
        priv->crtcDataPort = CRTC_MONO_DATA;
    }
}

/* Step 17 (pravo): the pitch from CR50, and the frame buffer long enough for
 * the visible screen at that pitch, since images are read from it. */
static Bool nteReadPitch(nteScreenPrivPtr priv, uint32_t length) {
#if NTE_HAS_PITCH
    priv->pitch = ntePitchFromCR50(priv);
    uint64_t needed =
        ((uint64_t)priv->pitch * (uint64_t)(priv->height - 1) + (uint64_t)priv->width) *
        (uint64_t)nteTraits.pixelBytes;
    if (priv->pitch < priv->width || needed > length) {
        ErrorF(msgMissingMemory);
        return 0;
    }
#else
    (void)priv;
    (void)length;
#endif
    return 1;
}

static Bool nteInitSteps(ScreenPtr pScreen) {
    if (NAME(Generation) != serverGeneration) {
        /* A refused index is asked for again at the next Init. */
        int index = AllocateScreenPrivateIndex();
        if (index < 0)
            return 0;
        NAME(ScreenPrivateIndex) = index;
        NAME(Generation) = serverGeneration;
        nteInitRasterOps();
    }
    nteScreenPrivPtr priv = (nteScreenPrivPtr)Xalloc(sizeof(nteScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = priv;

    uint32_t length;
    if (!nteReadPixelInfo(pScreen, priv) || !nteMapMemory(pScreen, priv, &length) ||
        !nteInitScreen(pScreen, priv))
        return 0;

    NAME(SetGraphics)(pScreen); /* the mode is set and the screen cleared */
    nteChooseCrtcPorts(priv);

    if (nteOffScreenKeys(pScreen, priv) == 0 && !nteGetOffScreenDimensions(pScreen))
        priv->osX = priv->osY = priv->osWidth = priv->osHeight = 0;
    nteLayOutOffScreen(priv);
    if (priv->osWidth != 0 && !nteInitTE8(pScreen, priv)) {
        priv->scratchY = priv->osY;
        priv->scratchHeight = priv->osHeight;
    }
    Bool hwCursor = nteChooseCursor(pScreen, priv);
    priv->currentCursor = 0;
    if (!nteReadPitch(priv, length))
        return 0;

    if (hwCursor)
        NAME(CursorInitialize)(pScreen);
    else
        vexoSWCursorInitialize(pScreen);
    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &NAME(SysInfo));
    nfbSetOptions(pScreen, 50, 0, 0);
    NAME(RestoreGState)(pScreen);
    return 1;
}

/* What the private holds, and the private itself. */
static void nteReleasePrivate(ScreenPtr pScreen) {
    if (NAME(ScreenPrivateIndex) < 0)
        return;
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    if (!priv)
        return;
    if (priv->osWidth != 0 && priv->fontSlotCount != 0)
        Xfree(priv->fontSlots);
    Xfree(priv);
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = 0;
}

static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    if (nteInitSteps(pScreen))
        return 1;
    /* A failed Init keeps nothing. */
    nteReleasePrivate(pScreen);
    return 0;
}

static void NAME(FreeScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    nfbCloseText8(pScreen);
    nteReleasePrivate(pScreen);
}

/* ---- validation ---- */

static PrivOps *nteOpsFor(GCPtr pGC) {
    switch (pGC->fillStyle) {
    case FillSolid:
        return &NAME(SolidPrivOps);
    case FillTiled:
        return &NAME(TiledPrivOps);
    case FillStippled:
        return &NAME(StippledPrivOps);
    default:
        /* An opaque stipple in one colour is a solid fill. */
        return pGC->fgPixel != pGC->bgPixel ? &NAME(OpStippledPrivOps) : &NAME(SolidPrivOps);
    }
}

static int NAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    /* The opaque-stipple choice depends on the colours too. */
    if ((changes & GCFillStyle) ||
        (pGC->fillStyle == FillOpaqueStippled && (changes & (GCForeground | GCBackground))))
        NFB_GC_PRIV(pGC)->ops = nteOpsFor(pGC);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

void NAME(ValidateWindowPriv)(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &NAME(WinOps);
}

extern "C" {
DRV_EXPORT ScreenInfo NAME(ScreenInfo) = {NAME(Probe), NAME(Init), DRIVER_NAME, {}};
}
