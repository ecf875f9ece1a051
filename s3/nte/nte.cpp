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
    NAME(StippledFillRects), genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,        genStippledGCOp5, genStippledGCOp6};
static PrivOps NAME(OpStippledPrivOps) = {
    NAME(OpStippledFillRects), genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,        genOpStippledGCOp5, genOpStippledGCOp6};

/* Two window records that differ in slot 10 only. The layer calls that slot
 * in its eleven-argument form (glyph width and font slot) on a screen that
 * offered text font slots, and in the ten-argument form (the font private)
 * on any other: a window gets the record whose slot 10 takes the arguments
 * its screen's layer passes, whichever screen of the build started last. */
#define NTE_WIN_OPS(text)                                                                          \
    {                                                                                              \
        NAME(CopyRect), NAME(DrawSolidRects), NAME(DrawImage), NAME(DrawMonoImage),                \
            NAME(DrawOpaqueMonoImage), NAME(ReadImage), NAME(DrawPoints), NAME(TileRects),         \
            NAME(DrawMonoGlyphs), text, genWinOp11, genWinOp12, genWinOp13, NAME(SetClipRegions),  \
            NAME(ValidateWindowGC)                                                                 \
    }

/* No font store: the server's generic text routine. */
static WinOps NAME(WinOps) = NTE_WIN_OPS({.DrawFontText = genDrawFontText});
/* The font store set up: text from the FontArea. */
static WinOps NAME(TextWinOps) = NTE_WIN_OPS({.DrawFontText8 = NAME(DrawFontText)});

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
static const char msgScreenTooLarge[] = "nte: a screen of %d x %d on lines of %d pixels needs more "
                                        "than the %u bytes of video memory.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgOffScreenKeys[] =
    "nte: OSX, OSY, OSWIDTH, OSHEIGHT (%d, %d, %d, %d) reach past the engine's line, video "
    "memory or onto the screen; the off-screen area is (%d, %d, %d, %d).\n";
static const char msgCursorLine[] = "nte: HWCURSORY %d leaves no room for the cursor image below "
                                    "the screen in video memory; software cursor.\n";
static const char msgBiosQuery[] = "nte: BIOS scanline size query failed, continuing...\n";

static Bool NAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- the video memory and the BIOS query ---- */

/* Pixels per line for a CR50 width code; 0 for a code without one. */
static int32_t nteLineFromCR50(uint8_t cr50) {
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
        return 0;
    }
}

/* Video memory in bytes for the memory code in CR36; 0 for a code outside
 * the table. */
static uint32_t nteMemoryBytes(uint16_t config) {
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
        return MEGABYTE / 2;
    default:
        return 0;
    }
}

static uint16_t nteMemoryConfig(const nteScreenPrivate *priv) {
    return (uint16_t)(nteReadCR(priv, CR36) | nteReadCR(priv, CR37) << 8);
}

/* Video memory in bytes from the memory code the BIOS left in CR36. A code
 * outside the table ends the server. */
static uint32_t nteMemorySize(const nteScreenPrivate *priv) {
    uint16_t config = nteMemoryConfig(priv);
    uint32_t bytes = nteMemoryBytes(config);
    if (bytes == MEGABYTE / 2) {
        ErrorF(msgHalfMeg1);
        ErrorF(msgHalfMeg2);
        ErrorF(msgHalfMeg3);
    } else if (bytes == 0) {
        ErrorF(msgConfReg, config);
        FatalError(msgMemorySize);
    }
    return bytes;
}

/* Lines of the engine's length that video memory holds; 0 when the line or
 * the memory is not known. */
static int64_t nteMemoryLines(const nteScreenPrivate *priv) {
    if (priv->linePixels <= 0 || priv->memoryBytes == 0)
        return 0;
    return (int64_t)priv->memoryBytes / ((int64_t)priv->linePixels * nteTraits.pixelBytes);
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

    /* No strip reaches past the engine's line or past video memory. */
    if (pixels > priv->linePixels)
        pixels = priv->linePixels;
    if (lines > nteMemoryLines(priv))
        lines = nteMemoryLines(priv);
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

/* The OffScreenArea cut to what the engine's lines and video memory hold:
 * no column past the line's end (it would wrap onto the next line, the
 * visible screen's among them), no line past memory. An area over the
 * visible screen would have fonts and patterns drawn on it: none then.
 * False when the area changed. */
static Bool nteFitOffScreen(nteScreenPrivPtr priv) {
    int64_t x = priv->osX, y = priv->osY, w = priv->osWidth, h = priv->osHeight;
    if (w == 0 && h == 0)
        return 1;
    int64_t lines = nteMemoryLines(priv);
    if (w > priv->linePixels - x)
        w = priv->linePixels - x;
    if (h > lines - y)
        h = lines - y;
    if (w <= 0 || h <= 0 || (x < priv->width && y < priv->height))
        x = y = w = h = 0;
    if (x == priv->osX && y == priv->osY && w == priv->osWidth && h == priv->osHeight)
        return 1;
    priv->osX = (int32_t)x;
    priv->osY = (int32_t)y;
    priv->osWidth = (int32_t)w;
    priv->osHeight = (int32_t)h;
    return 0;
}

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
        (int64_t)y + h > NTE_COORD_LIMIT) {
        ErrorF(msgOffScreenKeys, x, y, w, h, 0, 0, 0, 0);
        return 1;
    }
    priv->osX = x;
    priv->osY = y;
    priv->osWidth = w;
    priv->osHeight = h;
    if (!nteFitOffScreen(priv))
        ErrorF(msgOffScreenKeys, x, y, w, h, priv->osX, priv->osY, priv->osWidth, priv->osHeight);
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

/* The first unit the chip can fetch a cursor image from on or after the
 * start of `line`, in bytes. */
static uint64_t nteCursorUnitAt(const nteScreenPrivate *priv, int64_t line) {
    uint64_t at = (uint64_t)line * (uint64_t)priv->linePixels * (uint64_t)nteTraits.pixelBytes;
    return (at + CURSOR_UNIT - 1) & ~(uint64_t)(CURSOR_UNIT - 1);
}

/* An image at `address` lies in video memory, below the visible screen's
 * lines, within the engine's coordinates and the reach of CR4C/CR4D. */
static Bool nteCursorImageFits(const nteScreenPrivate *priv, uint64_t address) {
    uint64_t lineBytes = (uint64_t)priv->linePixels * (uint64_t)nteTraits.pixelBytes;
    if (lineBytes == 0)
        return 0;
    uint64_t end = address + CURSOR_IMAGE_BYTES;
    return address >= (uint64_t)priv->height * lineBytes && end <= priv->memoryBytes &&
           (end - 1) / lineBytes < NTE_COORD_LIMIT && address / CURSOR_UNIT <= CURSOR_UNIT_MAX;
}

/* True when the hardware cursor is used; sets cursorLine and cursorAddress.
 * HWCURSORY names the line whose first whole unit holds the image, and the
 * ScratchArea keeps all its lines; by default the image takes the last unit
 * that ends in the ScratchArea, whose lines from the image's first on are
 * taken from it (one line where lines are whole units). */
static Bool nteChooseCursor(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    GrafinfoHandle graf = nteGrafinfo(pScreen);
    int line;
    if (grafGetInt(graf, "HWCURSORY", &line)) {
        uint64_t address = line < 0 ? 0 : nteCursorUnitAt(priv, line);
        if (line < 0 || !nteCursorImageFits(priv, address)) {
            ErrorF(msgCursorLine, line);
            return 0;
        }
        priv->cursorLine = line;
        priv->cursorAddress = (uint32_t)address;
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
    uint64_t lineBytes = (uint64_t)priv->linePixels * (uint64_t)nteTraits.pixelBytes;
    uint64_t end = (uint64_t)(priv->scratchY + priv->scratchHeight) * lineBytes;
    if (lineBytes == 0 || end < CURSOR_IMAGE_BYTES)
        return 0;
    uint64_t address = (end - CURSOR_IMAGE_BYTES) & ~(uint64_t)(CURSOR_UNIT - 1);
    int64_t first = (int64_t)(address / lineBytes);
    if (first < priv->scratchY || !nteCursorImageFits(priv, address))
        return 0;
    priv->cursorLine = (int32_t)first;
    priv->cursorAddress = (uint32_t)address;
    priv->scratchHeight = (int32_t)(first - priv->scratchY);
    return 1;
}

/* ---- Init ---- */

/* Pixels per line from the CR50 width code; a code without one ends the
 * server. */
#if NTE_HAS_PITCH
static int32_t ntePitchFromCR50(const nteScreenPrivate *priv) {
    uint8_t cr50 = nteReadCR(priv, CR50);
    int32_t line = nteLineFromCR50(cr50);
    if (line == 0) {
        ErrorF(msgInvalidCR50, cr50);
        FatalError(msgPixelSize);
    }
    return line;
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

/* The mode the procedure set, against the board's memory: a screen taller
 * than the memory holds at the engine's line length would have the screen
 * clear, and every drawing near the bottom, run past the end of video
 * memory. A line or memory code the tables do not know is judged where it
 * is read. */
Bool nteScreenFits(ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    nteChooseCrtcPorts(priv);
    int64_t line = nteLineFromCR50(nteReadCR(priv, CR50));
    uint32_t memory = nteMemoryBytes(nteMemoryConfig(priv));
    if (line == 0 || memory == 0 ||
        line * priv->height * (int64_t)nteTraits.pixelBytes <= (int64_t)memory)
        return 1;
    ErrorF(msgScreenTooLarge, priv->width, priv->height, (int)line, memory);
    return 0;
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

    /* The mode is set and the screen cleared. */
    switch (nteSetMode(pScreen, nteScreenFits)) {
    case NTE_MODE_SET:
        break;
    case NTE_MODE_NO_PROCEDURE:
        ErrorF(msgNoSetGraphics);
        /* The procedure may have stopped half way: leave text mode behind. */
        grafExec(nteGrafinfo(pScreen), "SetText", 0);
        return 0;
    case NTE_MODE_TOO_LARGE:
        grafExec(nteGrafinfo(pScreen), "SetText", 0);
        return 0;
    }
    nteChooseCrtcPorts(priv);
    priv->linePixels = nteLineFromCR50(nteReadCR(priv, CR50));
    priv->memoryBytes = nteMemoryBytes(nteMemoryConfig(priv));

    if (nteOffScreenKeys(pScreen, priv) == 0 && !nteGetOffScreenDimensions(pScreen))
        priv->osX = priv->osY = priv->osWidth = priv->osHeight = 0;
    nteFitOffScreen(priv);
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
    /* A failed Init keeps nothing, font slots offered to the layer included. */
    if (NAME(ScreenPrivateIndex) >= 0 && NTE_PRIV(pScreen) && NTE_PRIV(pScreen)->fontSlotCount != 0)
        nfbCloseText8(pScreen);
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
    const nteScreenPrivate *priv = NTE_PRIV(pWin->drawable.pScreen);
    NFB_WINDOW_PRIV(pWin)->ops = priv->fontSlotCount != 0 ? &NAME(TextWinOps) : &NAME(WinOps);
}

extern "C" {
DRV_EXPORT ScreenInfo NAME(ScreenInfo) = {NAME(Probe), NAME(Init), DRIVER_NAME, {}};
}
