/*
 * fuska: binding, screen initialisation, the off-screen layout, the mode set
 * with its tiles-per-line choice, blanking, the console-switch callbacks, the
 * window-private hook and the close.
 */
#include "fuska.h"

int fuskaScreenPrivateIndex = -1;
static uint32_t fuskaGeneration = (uint32_t)-1;

uint8_t fuskaRasterOps[16];

static VisualRec Visual8 = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec Visual15 = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
static VisualRec Visual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
static VisualRec Visual24 = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};

static void fuskaSaveGState(ScreenPtr);
static void fuskaRestoreGState(ScreenPtr);
static void fuskaCloseScreen(int index, ScreenPtr);

static SysInfo fuskaSysInfo = {0,
                               fuskaSetGraphics,
                               fuskaSetText,
                               fuskaSaveGState,
                               fuskaRestoreGState,
                               fuskaCloseScreen,
                               1,
                               1,
                               1,
                               5.0f};

/* One record per pixel size, so that screens of different depths each keep
 * their own image routines. */
#define FUSKA_WINOPS(drawImage, readImage)                                                         \
    {                                                                                              \
        fuskaCopyRect, fuskaDrawSolidRects, drawImage, genDrawMonoImage, genDrawOpaqueMonoImage,   \
            readImage, fuskaDrawPoints, fuskaTileRects, fuskaDrawMonoGlyphs, {fuskaDrawFontText},  \
            genWinOp11, genWinOp12, genWinOp13, genWinOp14, fuskaValidateWindowGC                  \
    }

WinOps fuskaWinOps = FUSKA_WINOPS(fuska_8bppDrawImage, fuska_8bppReadImage);
static WinOps fuskaWinOps16 = FUSKA_WINOPS(fuska_16bppDrawImage, fuska_16bppReadImage);
static WinOps fuskaWinOps24 = FUSKA_WINOPS(fuska_24bppDrawImage, fuska_24bppReadImage);

#define DEFAULT_MONITOR_MM 300
/* "InstalledMemory" counts 64 KB units in its low byte. */
#define INSTALLED_MEMORY_SHIFT 16
#define INSTALLED_MEMORY_MASK 0xFF
/* The server's coordinates are 16-bit. */
#define MAX_SCREEN_DIMENSION 0x7FFF

static const int tilesPerLineTable[8] = {5, 8, 10, 13, 16, 20, 26, 32};
static const uint16_t pixelFormatTable[3] = {0x0000, 0x1400, 0x2400};

static const char msgPixelInfo[] = "fuska: can't find pixel info in grafinfo file.\n";
static const char msgDepth[] = "fuska: DEPTH %d is not 8, 15, 16 or 24.\n";
static const char msgInstalledMemory[] = "grafinfo file needs PROCEDURE InstalledMemory\n";
static const char msgNoRegs[] = "fuska: Missing REGS for registers in grafinfo file.\n";
static const char msgNoMemory[] = "fuska: Missing MEMORY for fb in grafinfo file.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgGetScreenPitch[] = "grafinfo file needs PROCEDURE GetScreenPitch\n";
static const char msgMemsize[] = "memsize not enough for %d\n";
static const char msgMemsizePadding[] = "memsize not enough for %d (with padding) pitch %d\n";
static const char msgOffscreenSize[] = "Offscreen size %d x %d\n";
static const char msgOffscreen[] = "Not enough offscreen memory available.\n"
                                   "Try a lower resolution or fewer colors.\n";
static const char msgTilesPerLine[] = "Cannot find enough TPL for %d\n";
static const char msgPitchNotLine[] = "fuska: pitch %d is not the tiled line of %d bytes\n";

/* ROP3 codes by X alu; the source is the operand the engine's operations
 * feed (copied pixels, the fill colour, the pattern, expanded colours). */
void fuskaInitRasterOps(void) {
    static const uint8_t codes[16] = {0x00, 0x88, 0x44, 0xCC, 0x22, 0xAA, 0x66, 0xEE,
                                      0x11, 0x99, 0x55, 0xDD, 0x33, 0xBB, 0x77, 0xFF};
    for (int alu = 0; alu < 16; alu++)
        fuskaRasterOps[alu] = codes[alu];
}

static VisualPtr fuskaVisualFor(int depth) {
    switch (depth) {
    case 8:
        return &Visual8;
    case 15:
        return &Visual15;
    case 16:
        return &Visual16;
    case 24:
        return &Visual24;
    default:
        return 0;
    }
}

static Bool fuskaSetup(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Blanking and console switch ---- */

int fuskaBlankScreen(int on, ScreenPtr pScreen) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    if (!priv || !priv->regBase)
        return 1;
    uint8_t v = fuskaRead8(priv, REG_PALETTE_CONTROL);
    if (on)
        v |= PALETTE_BLANK;
    else
        v &= (uint8_t)~PALETTE_BLANK;
    fuskaWrite8(priv, REG_PALETTE_CONTROL, v);
    return 1;
}

/* The picture goes dark while the screen is away and comes back with it. */
static void fuskaSaveGState(ScreenPtr pScreen) {
    fuskaBlankScreen(1, pScreen);
}

static void fuskaRestoreGState(ScreenPtr pScreen) {
    fuskaBlankScreen(0, pScreen);
}

/* The first table entry whose tiles hold a line of `lineBytes`; -1 if none. */
static int fuskaTilesIndex(int lineBytes) {
    for (int i = 0; i < 8; i++)
        if (tilesPerLineTable[i] * TILE_BYTES >= lineBytes)
            return i;
    return -1;
}

static void fuskaSetTiling(fuskaScreenPrivPtr priv, int depth, int tiles, int index) {
    int bpp = fuskaBytesPerPixel(depth);
    int code = 4 * (bpp - 1) + index + 17;
    uint16_t format = pixelFormatTable[bpp - 1];
    if (depth == 15)
        format |= PIXEL_FORMAT_DEPTH15;
    fuskaWrite16(priv, REG_PIXEL_SIZE, (uint16_t)((bpp - 1) << PIXEL_SIZE_SHIFT));
    fuskaWrite8(priv, REG_TILES_PER_LINE, (uint8_t)tiles);
    fuskaWrite16(priv, REG_DISPLAY_TILING,
                 (uint16_t)(((tiles << TILING_TILES_SHIFT) + code) | TILING_ENABLE));
    fuskaWrite16(priv, REG_PIXEL_FORMAT, format);
    fuskaWrite16(priv, REG_ENGINE_TILING,
                 (uint16_t)((tiles << TILING_TILES_SHIFT) | TILING_ENABLE));
}

/* The engine draws lines of whole tiles, so the display must read exactly
 * tiles x 128 bytes a line. The mode procedure sets the display offset for
 * the visible width only, in 8-byte units rounded down: adding the tile
 * padding to that falls short whenever the visible line is no multiple of 8
 * bytes (1001 pixels of 1 byte show 1016 bytes a line against 1024 drawn),
 * and leaves the padding alone when the procedure stopped before setting
 * it. The driver therefore writes the tile line itself. Bits 8 and 9 share
 * their registers with other bits, which are kept. */
static void fuskaSetDisplayLine(fuskaScreenPrivPtr priv, int tiles) {
    int v = tiles * TILE_BYTES / 8;
    uint8_t b8 = fuskaRead8(priv, REG_DISPLAY_OFFSET_B8);
    uint8_t b9 = fuskaRead8(priv, REG_DISPLAY_OFFSET_B9);
    fuskaWrite8(priv, REG_DISPLAY_OFFSET_LOW, (uint8_t)(v & 0xFF));
    fuskaWrite8(priv, REG_DISPLAY_OFFSET_B8,
                (uint8_t)((b8 & ~DISPLAY_OFFSET_B8_BIT) | ((v >> 4) & DISPLAY_OFFSET_B8_BIT)));
    fuskaWrite8(priv, REG_DISPLAY_OFFSET_B9,
                (uint8_t)((b9 & ~DISPLAY_OFFSET_B9_BIT) | ((v >> 9) & DISPLAY_OFFSET_B9_BIT)));
}

/* The visible screen to pixel 0 with the engine. The memory checks come
 * after the mode set, so a board too small for the screen only has the
 * lines its memory holds cleared. */
static void fuskaClearScreen(ScreenPtr pScreen, fuskaScreenPrivPtr priv, int tiles) {
    int height = pScreen->height;
    int lines = (int)((uint32_t)priv->memSize / (uint32_t)(tiles * TILE_BYTES));
    if (height > lines)
        height = lines;
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_FILL_SOURCE_COPY);
    fuskaWrite32(priv, REG_BACKGROUND, 0);
    fuskaWrite32(priv, REG_DRAW_DEFINITION, DD_FILL | fuskaRasterOps[GXcopy]);
    fuskaWrite32(priv, REG_PLANE_MASK, 0xFFFFFFFFu);
    fuskaStart(priv, REG_DESTINATION, 0, pScreen->width, height);
    fuskaEngineIdleWait(priv);
}

/* The mode set proper; false when no tiles-per-line entry holds a line, in
 * which case the adapter is back in text mode. `procedureRan` tells whether
 * the mode procedure itself ran to its end. */
static Bool fuskaSetMode(ScreenPtr pScreen, Bool *procedureRan) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    /* The mode procedure and the tiling registers change what a running
     * operation would be drawing into. */
    fuskaEngineIdleWait(priv);
    fuskaBlankScreen(1, pScreen);
    *procedureRan = grafExec(fuskaGrafinfo(pScreen), "SetGraphics", 0) != 0;
    fuskaWrite32(priv, REG_MODE_CONTROL, fuskaRead32(priv, REG_MODE_CONTROL) & ~MODE_CONTROL_BIT0);

    int depth = pScreen->rootDepth;
    int lineBytes = pScreen->width * fuskaBytesPerPixel(depth);
    int index = fuskaTilesIndex(lineBytes);
    if (index < 0) {
        ErrorF(msgTilesPerLine, lineBytes);
        fuskaSetText(pScreen);
        return 0;
    }
    int tiles = tilesPerLineTable[index];
    priv->tilesPerLine = tiles;
    fuskaSetTiling(priv, depth, tiles, index);
    fuskaSetDisplayLine(priv, tiles);
    fuskaClearScreen(pScreen, priv, tiles);

    fuskaBlankScreen(0, pScreen);
    if (depth == 8)
        fuskaRestoreCmap(pScreen);
    return 1;
}

/* Back from the console there is nobody to tell of a failed mode
 * procedure; the screen goes on with what the driver set up itself. */
void fuskaSetGraphics(ScreenPtr pScreen) {
    Bool procedureRan;
    fuskaSetMode(pScreen, &procedureRan);
}

Bool fuskaSetText(ScreenPtr pScreen) {
    fuskaScreenPrivPtr priv = FUSKA_PRIV(pScreen);
    fuskaBlankScreen(1, pScreen);
    if (priv->regBase) {
        fuskaEngineIdleWait(priv);
        fuskaWrite16(priv, REG_CURSOR_CONTROL,
                     (uint16_t)(fuskaRead16(priv, REG_CURSOR_CONTROL) & ~CURSOR_ENABLE));
    }
    grafExec(fuskaGrafinfo(pScreen), "SetText", 0);
    fuskaBlankScreen(0, pScreen);
    return 1;
}

/* ---- Window privates ---- */

void fuskaValidateWindowPriv(WindowPtr pWin) {
    WinOps *ops;
    switch (fuskaScreenBpp(pWin->drawable.pScreen)) {
    case 1:
        ops = &fuskaWinOps;
        break;
    case 2:
        ops = &fuskaWinOps16;
        break;
    case 3:
        ops = &fuskaWinOps24;
        break;
    default:
        return;
    }
    NFB_WINDOW_PRIV(pWin)->ops = ops;
}

/* ---- Screen initialisation ---- */

/* The private index, the private itself and the pixel keys; null after any
 * message. */
static fuskaScreenPrivPtr fuskaBeginInit(ScreenPtr pScreen, int *depth) {
    GrafinfoHandle graf = fuskaGrafinfo(pScreen);
    fuskaInitRasterOps();
    if (fuskaGeneration != serverGeneration) {
        fuskaGeneration = serverGeneration;
        fuskaScreenPrivateIndex = AllocateScreenPrivateIndex();
    }
    if (fuskaScreenPrivateIndex < 0)
        return 0;
    fuskaScreenPrivPtr priv = (fuskaScreenPrivPtr)Xalloc(sizeof(fuskaScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[fuskaScreenPrivateIndex].ptr = priv;

    int width, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* Sizes the server's coordinates cannot hold would break every address
     * computed from them. */
    if (width <= 0 || height <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    if (!fuskaVisualFor(*depth)) {
        ErrorF(msgDepth, *depth);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    return priv;
}

static Bool fuskaInitScreen(ScreenPtr pScreen, fuskaScreenPrivPtr priv, int depth) {
    GrafinfoHandle graf = fuskaGrafinfo(pScreen);
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, fuskaVisualFor(depth)))
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (depth == 8) {
        nfb->SetColor = fuskaSetColor;
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->BlankScreen = fuskaBlankScreen;
    nfb->ValidateWindowPriv = fuskaValidateWindowPriv;
    return 1;
}

/* The two memory areas; false after the message of the missing one. The
 * usable memory never exceeds what the default area maps: an area of no
 * length maps nothing, and the memory check then refuses the screen. */
static Bool fuskaMapAreas(ScreenPtr pScreen, fuskaScreenPrivPtr priv, int installed) {
    GrafinfoHandle graf = fuskaGrafinfo(pScreen);
    void *regs = 0, *fb = 0;
    uint32_t fbLength = 0;
    if (!grafGetMemInfo(graf, "REGS", 0, 0, &regs) || !regs) {
        ErrorF(msgNoRegs);
        return 0;
    }
    priv->regBase = (volatile uint8_t *)regs;
    if (!grafGetMemInfo(graf, 0, 0, &fbLength, &fb) || !fb) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->fbBase = (uint8_t *)fb;
    uint32_t size = ((uint32_t)installed & INSTALLED_MEMORY_MASK) << INSTALLED_MEMORY_SHIFT;
    if (size > fbLength)
        size = fbLength;
    priv->memSize = (int32_t)size;
    return 1;
}

/* Memory and pitch against the visible screen; false after the message. */
static Bool fuskaCheckMemory(fuskaScreenPrivPtr priv, int bpp) {
    int64_t lineBytes = (int64_t)bpp * priv->width;
    int64_t needed = lineBytes * priv->height;
    if ((uint64_t)(uint32_t)priv->memSize < (uint64_t)needed) {
        ErrorF(msgMemsize, (int)needed);
        return 0;
    }
    if (priv->pitch < lineBytes) {
        ErrorF(msgMemsizePadding, (int)needed, priv->pitch);
        return 0;
    }
    return 1;
}

/* Strip line with the CursorArea and the pattern cell, then the ScratchArea
 * to the end of memory; false after the messages when it is empty. The
 * ScratchArea's size is worked out before any address: once it holds a line,
 * every offset below lies within video memory and so fits its field, however
 * large a pitch the procedure answered. */
static Bool fuskaLayOutOffscreen(fuskaScreenPrivPtr priv, int bpp) {
    int strip = (priv->height + STRIP_ALIGN - 1) / STRIP_ALIGN * STRIP_ALIGN;
    int offY = strip + STRIP_LINES;
    priv->offWidth = priv->pitch / bpp;
    priv->offHeight = (int32_t)((uint32_t)priv->memSize / (uint32_t)priv->pitch) - offY;
    if (priv->offHeight <= 0 || priv->offWidth <= 0) {
        ErrorF(msgOffscreenSize, priv->offWidth, priv->offHeight);
        ErrorF(msgOffscreen);
        return 0;
    }
    priv->cursorSize = CURSOR_SIZE;
    priv->cursorAddr = priv->pitch * strip;
    priv->patternX = PATTERN_COLUMN;
    priv->patternY = strip;
    priv->patternAddr = priv->cursorAddr + PATTERN_COLUMN;
    priv->offX = 0;
    priv->offY = offY;
    priv->offAddr = priv->pitch * offY;
    return 1;
}

/* The engine and the display (set by the mode set) both work in lines of
 * whole tiles, and the processor must address video memory as they do. A
 * "GetScreenPitch" that answers anything else describes a layout neither
 * draws nor shows: the screen is refused rather than drawn wrong. */
static Bool fuskaCheckPitchIsTheLine(const fuskaScreenPrivate *priv) {
    int line = priv->tilesPerLine * TILE_BYTES;
    if (priv->pitch == line)
        return 1;
    ErrorF(msgPitchNotLine, priv->pitch, line);
    return 0;
}

static Bool fuskaFinishInit(ScreenPtr pScreen) {
    fuskaCursorInitialize(pScreen);
    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &fuskaSysInfo);
    nfbSetOptions(pScreen, 50, NFB_OPT_ZEROSEGS, 0);
    return 1;
}

static Bool fuskaInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    int depth, installed = 0;
    fuskaScreenPrivPtr priv = fuskaBeginInit(pScreen, &depth);
    if (!priv || !fuskaInitScreen(pScreen, priv, depth))
        return 0;
    if (!grafExec(fuskaGrafinfo(pScreen), "InstalledMemory", &installed)) {
        ErrorF(msgInstalledMemory);
        return 0;
    }
    if (!fuskaMapAreas(pScreen, priv, installed))
        return 0;
    /* A mode that no tiling holds leaves the adapter in text mode: the
     * screen cannot be used. */
    Bool procedureRan;
    if (!fuskaSetMode(pScreen, &procedureRan))
        return 0;
    /* A mode procedure that is missing or stopped half way leaves a mode
     * nobody described: the screen is refused rather than shown wrong. */
    if (!procedureRan) {
        ErrorF(msgNoSetGraphics);
        fuskaSetText(pScreen);
        return 0;
    }
    if (!grafExec(fuskaGrafinfo(pScreen), "GetScreenPitch", &priv->pitch)) {
        ErrorF(msgGetScreenPitch);
        fuskaSetText(pScreen);
        return 0;
    }
    int bpp = fuskaBytesPerPixel(depth);
    if (!fuskaCheckMemory(priv, bpp)) {
        fuskaSetText(pScreen);
        return 0;
    }
    if (!fuskaLayOutOffscreen(priv, bpp))
        return 0;
    if (!fuskaCheckPitchIsTheLine(priv)) {
        fuskaSetText(pScreen);
        return 0;
    }
    return fuskaFinishInit(pScreen);
}

static void fuskaCloseScreen(int index, ScreenPtr pScreen) {
    (void)index;
    if (fuskaScreenPrivateIndex < 0)
        return;
    Xfree(pScreen->devPrivates[fuskaScreenPrivateIndex].ptr);
    pScreen->devPrivates[fuskaScreenPrivateIndex].ptr = 0;
}

extern "C" {
DRV_EXPORT ScreenInfo fuskaScreenInfo = {fuskaSetup, fuskaInit, "fuska", {}};
}
