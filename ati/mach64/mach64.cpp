/*
 * Mach64 binding and screen initialisation: the ScreenInfo and SysInfo
 * records, Probe, the grafinfo keys, the depth and visual, the video-memory
 * size, the off-screen layout, the hooks handed to the frame-buffer layer,
 * and FreeScreen.
 */
#include "mach64.h"

int UNAME(ScreenPrivateIndex) = -1;
static uint32_t UNAME(Generation) = (uint32_t)-1;

/* bitsPerRGBValue 6 and 256 colormap entries as built; RGBBITS may change
 * the first of the record Init chooses. */
static VisualRec UNAME(Visual) = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec UNAME(Visual16) = {0, TrueColor, 6, 256, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
static VisualRec UNAME(Visual32x) = {0, TrueColor, 6, 256, 32, 0xFF, 0xFF00, 0xFF0000, 0, 8, 16};
static VisualRec UNAME(Visual32x1) = {0,        TrueColor, 6,  256, 32, 0xFF000000u,
                                      0xFF0000, 0xFF00,    24, 16,  8};
static VisualRec UNAME(Visual32x2) = {0,        TrueColor,   6, 256, 32, 0xFF00,
                                      0xFF0000, 0xFF000000u, 8, 16,  24};
static VisualRec UNAME(Visual32) = {0, TrueColor, 6, 256, 32, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};

static void UNAME(FreeScreen)(int index, ScreenPtr pScreen);

static SysInfo UNAME(SysInfo) = {0,
                                 UNAME(SetGraphics),
                                 UNAME(SetText),
                                 UNAME(SaveGState),
                                 UNAME(RestoreGState),
                                 UNAME(FreeScreen),
                                 1,
                                 1,
                                 1,
                                 5.0f};

#define DEFAULT_MON_WIDTH 274
#define DEFAULT_MON_HEIGHT 207
#define RGBBITS_MAX 16

/* ---- Probe ---- */

static Bool UNAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    GrafinfoHandle graf = config->grafinfo;
    int v;
    UNAME(BuildRasterOps)();
    if (!grafGetInt(graf, "DEPTH", &v))
        return 0;
    if (!ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad))
        return 0;
    if (!grafGetInt(graf, "PIXWIDTH", &v) || !grafGetInt(graf, "PIXHEIGHT", &v))
        return 0;
    return 1;
}

/* ---- Init ---- */

static void UNAME(GrafinfoMustGetInt)(GrafinfoHandle graf, const char *key, int *value) {
    if (!grafGetInt(graf, key, value))
        FatalError(M64_SHOUT ": need grafinfo value for %s\n", key);
}

static VisualPtr m64VisualForDepth(teskScreenPrivate *priv) {
    switch (priv->depth) {
    case 8:
        priv->pixWidthCode = PIX_WIDTH_8;
        return &UNAME(Visual);
    case 16:
        priv->pixWidthCode = PIX_WIDTH_16;
        return &UNAME(Visual16);
    case 32:
        priv->pixWidthCode = PIX_WIDTH_32;
        return &UNAME(Visual32x);
    default:
        FatalError(" invalid dimensions (%dx%dx%d)\n", priv->width, priv->height, priv->depth);
    }
}

/* The 32-bit pixel layout the adapter reported (colour support bits 4-7). */
static VisualPtr m64Visual32(const teskScreenPrivate *priv) {
    if (priv->colorSupport & 0x10)
        return &UNAME(Visual32x);
    if (priv->colorSupport & 0x20)
        return &UNAME(Visual32x1);
    if (priv->colorSupport & 0x40)
        return &UNAME(Visual32x2);
    if (priv->colorSupport & 0x80)
        return &UNAME(Visual32);
    ErrorF("\n Unknown color support 32bpp");
    return &UNAME(Visual32x);
}

/* Video memory in KB by MEM_CNTL and the chip class; 0 for a bad code. */
static int32_t m64MemoryKB(const teskScreenPrivate *priv) {
    static const int32_t newClass[16] = {0, 1024, 0, 2048, 0, 0, 0, 4096,
                                         0, 6144, 0, 8128, 0, 0, 0, 0};
    static const int32_t oldClass[8] = {512, 1024, 2048, 4096, 6144, 8128, 0, 0};
    uint32_t memCntl = m64In(priv, MEM_CNTL);
    if (LNAME(NewChipClass)(priv))
        return newClass[memCntl & 0xF];
    uint32_t code = memCntl & 0x7;
    if (code == 0 && !m64Traits.oldCodeFromZero)
        return 0;
    return oldClass[code];
}

static Bool m64ServerText(const teskScreenPrivate *priv, int32_t memoryKB) {
    return m64Traits.serverTextAt800x600x32 && priv->width == 800 && priv->height == 600 &&
           priv->depth == 32 && memoryKB == 2048;
}

/* Areas below the screen, in pixels and lines. Every line counts the
 * screen's bytes per pixel, so no area lies beyond video memory. */
static void m64LayOutOffScreen(teskScreenPrivate *priv, int32_t lines) {
    int32_t w = priv->width, h = priv->height;
    priv->offScreen = (m64Area){0, h, w, lines};
    priv->glyphArea = (m64Area){0, h + GLYPH_AREA_TOP, w - TILE_AREA_WIDTH, TILE_AREA_HEIGHT};
    priv->tileArea =
        (m64Area){w - TILE_AREA_WIDTH, h + GLYPH_AREA_TOP, TILE_AREA_WIDTH, TILE_AREA_HEIGHT};
    priv->fontArea = (m64Area){0, h + FONT_AREA_TOP, w, lines - FONT_AREA_SPARE};
}

/* Whether Init left text to the server (and offered no font slots). */
Bool LNAME(LeavesTextToServer)(const teskScreenPrivate *priv) {
#if M64_HAS_MEMORYKB
    return m64ServerText(priv, priv->memoryKB);
#else
    (void)priv;
    return 0;
#endif
}

static void m64InstallHooks(ScreenPtr pScreen, const teskScreenPrivate *priv) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    pScreen->QueryBestSize = UNAME(QueryBestSize);
    nfb->gcTemplate->ops = &UNAME(SolidPrivOps);
    nfb->LoadColormap = UNAME(LoadColormap);
    nfb->SetColor = priv->depth == 8 ? UNAME(SetColor) : (SetColorProc)NoopDDA;
    nfb->BlankScreen = UNAME(BlankScreen);
    nfb->ClearFont = UNAME(GlClearCache);
    nfb->driverFlag = 1;
    nfb->ValidateWindowPriv = UNAME(ValidateWindowPriv);
}

/* Returns 0 for the refusals that make Init return 0; the private is then
 * the caller's to free. */
static Bool m64InitScreen(ScreenPtr pScreen, teskScreenPrivate *priv) {
    GrafinfoHandle graf = priv->grafinfo;
    int v;

    if (!grafGetInt(graf, "PIXWIDTH", &v) || !grafGetInt(graf, "PIXHEIGHT", &v))
        FatalError("\nCan't find pixel info in grafinfo file.\n");
    UNAME(GrafinfoMustGetInt)(graf, "PIXWIDTH", &priv->width);
    UNAME(GrafinfoMustGetInt)(graf, "PIXHEIGHT", &priv->height);
    UNAME(GrafinfoMustGetInt)(graf, "DEPTH", &priv->depth);
    UNAME(GrafinfoMustGetInt)(graf, "FREQUENCY", &priv->frequency);
    if (priv->width < 1 || priv->height < 1 || priv->depth < 1) {
        ErrorF("\nMach 64: grafinfo error -");
        FatalError(" invalid dimensions (%dx%dx%d)\n", priv->width, priv->height, priv->depth);
    }
    VisualPtr visual = m64VisualForDepth(priv);

    int mmWidth, mmHeight;
    if (!grafGetInt(graf, "MON_WIDTH", &mmWidth) || !grafGetInt(graf, "MON_HEIGHT", &mmHeight)) {
        mmWidth = DEFAULT_MON_WIDTH;
        mmHeight = DEFAULT_MON_HEIGHT;
    }
    /* A value outside 1-16 would give a negative or oversized shift. */
    if (grafGetInt(graf, "RGBBITS", &v) && v >= 1 && v <= RGBBITS_MAX)
        visual->bitsPerRGBValue = (uint16_t)v;
    priv->dacShift = 16 - visual->bitsPerRGBValue;

    UNAME(InitHW)(pScreen);

    if (priv->depth == 32) {
        visual = m64Visual32(priv);
        m64Out(priv, FIFO_STAT, m64In(priv, FIFO_STAT) & 0xFF);
    }

    int32_t memoryKB = m64MemoryKB(priv);
    if (memoryKB == 0) {
        /* Back to text mode; no palette has been saved yet to restore. */
        LNAME(ToText)(pScreen, 0);
        FatalError("\n Memory size: bad value");
    }
    uint64_t memoryBytes = (uint64_t)memoryKB * 1024;
    uint64_t lineBytes = (uint64_t)priv->width * (uint64_t)m64BytesPerPixel(priv->depth);
    /* Leaving text to the server, vandu's 800 x 600 x 32 on 2 MB needs no
     * FontArea: the cursor, glyph and tile lines are enough. */
    uint64_t linesNeeded =
        m64ServerText(priv, memoryKB) ? GLYPH_AREA_TOP + TILE_AREA_HEIGHT : OFFSCREEN_LINES_NEEDED;
    if (memoryBytes < ((uint64_t)priv->height + linesNeeded) * lineBytes)
        FatalError("\nInsufficient Memory for this configuration.");
    m64LayOutOffScreen(priv, (int32_t)(memoryBytes / lineBytes) - priv->height);

    priv->cursorSize = CURSOR_SIZE;
    priv->currentCursor = 0;
    priv->pendingCapacity = PENDING_GLYPHS;
    priv->pendingCount = 0;
    priv->pending = Xalloc(PENDING_GLYPHS * PENDING_GLYPH_BYTES);
    if (!priv->pending)
        return 0;
    priv->clipMaxX = (int16_t)(priv->width - 1);
    priv->clipMaxY = (int16_t)(priv->height - 1);
    priv->fontSlotCount = 0;
    priv->fontSlots = 0;

    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight) ||
        !nfbAddVisual(pScreen, visual))
        return 0;

#if M64_HAS_MEMORYKB
    priv->memoryKB = memoryKB;
#endif
    if (m64ServerText(priv, memoryKB)) {
        /* A record of its own: a screen sharing the library keeps the
         * text form its layer was offered. */
        UNAME(ServerTextWinOps) = UNAME(WinOps);
        UNAME(ServerTextWinOps).DrawMonoGlyphs = genDrawMonoGlyphs;
        UNAME(ServerTextWinOps).text.DrawFontText = genDrawFontText;
    } else {
        int slots = UNAME(InitializeText8)(pScreen);
        if (slots < 0)
            return 0;
        nfbInitializeText8(pScreen, slots, FONT_CELL_WIDTH, FONT_CELL_HEIGHT, UNAME(DownloadFont8),
                           0);
    }

    m64InstallHooks(pScreen, priv);
    priv->dacWriteIndex = DAC_W_INDEX;
    priv->dacData = DAC_DATA;
    priv->dacReadIndex = DAC_R_INDEX;
    if (!grafQuery(graf, "IGNOREPROBE"))
        UNAME(SaveDACState)(pScreen);
    nfbGCOpsCacheInit();
    vexoSWCursorInitialize(pScreen);
    if (!UNAME(GlCacheInit)(pScreen))
        return 0;

    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &UNAME(SysInfo));
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static Bool UNAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    GrafinfoHandle graf = m64Grafinfo(pScreen);
    if (UNAME(Generation) != serverGeneration) {
        UNAME(ScreenPrivateIndex) = AllocateScreenPrivateIndex();
        UNAME(Generation) = serverGeneration;
    }
    /* A refused index is not asked for again in this generation. */
    if (UNAME(ScreenPrivateIndex) < 0)
        return 0;
    teskScreenPrivate *priv = (teskScreenPrivate *)Xalloc(sizeof(teskScreenPrivate));
    if (!priv)
        return 0;
    pScreen->devPrivates[UNAME(ScreenPrivateIndex)].ptr = priv;
    priv->grafinfo = graf;
    priv->pending = 0;
    priv->glyphCells = 0;
    priv->buckets = 0;
    priv->fontSlots = 0;
    priv->fontSlotCount = 0;

    if (!m64InitScreen(pScreen, priv)) {
        UNAME(GlCacheClose)(pScreen);
        if (priv->fontSlots) {
            UNAME(CloseText8)(pScreen);
            nfbCloseText8(pScreen);
        }
        if (priv->pending)
            Xfree(priv->pending);
        Xfree(priv);
        pScreen->devPrivates[UNAME(ScreenPrivateIndex)].ptr = 0;
        return 0;
    }
    return 1;
}

static void UNAME(FreeScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (!priv)
        return;
    UNAME(GlCacheClose)(pScreen);
    if (!LNAME(LeavesTextToServer)(priv)) {
        UNAME(CloseText8)(pScreen);
        nfbCloseText8(pScreen);
    }
    Xfree(priv->pending);
    Xfree(priv);
    pScreen->devPrivates[UNAME(ScreenPrivateIndex)].ptr = 0;
    nfbGCOpsCacheReset();
}

extern "C" {
DRV_EXPORT ScreenInfo M64_CAT(M64_LOWER,
                              ScreenInfo) = {UNAME(Probe), UNAME(Init), M64_STR(M64_LOWER), {}};
}
