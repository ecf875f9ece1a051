/*
 * gd5436 family: binding, screen initialisation in its two flavours (pitch
 * from the procedure "GetScreenPitch" with memory checks, or from the key
 * PITCH), the off-screen layout, hardware start-up and close.
 */
#include "gd5436.h"

int NAME(ScreenPrivateIndex) = -1;
static uint32_t NAME(Generation) = (uint32_t)-1;

uint8_t NAME(RasterOps)[16];

/* One visual per build. */
#if defined(GD5436_BUILD_BRISKO8) || defined(GD5436_BUILD_LOMVI8)
static VisualRec NAME(Visual) = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
#elif defined(GD5436_BUILD_BRISKO15)
static VisualRec NAME(Visual) = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
#elif defined(GD5436_BUILD_BRISKO16) || defined(GD5436_BUILD_LOMVI16)
static VisualRec NAME(Visual) = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
#else
static VisualRec NAME(Visual) = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};
#endif

static void NAME(CloseScreen)(int index, ScreenPtr pScreen);

static SysInfo NAME(SysInfo) = {0,
                                NAME(SetGraphics),
                                NAME(SetText),
                                NAME(SaveGState),
                                NAME(RestoreGState),
                                NAME(CloseScreen),
                                1,
                                1,
                                1,
                                5.0f};

/* Default for MON_WIDTH and MON_HEIGHT, in millimetres. */
#define DEFAULT_MONITOR_MM 300
/* Units of the "InstalledMemory" result: 64 KB, in its low byte. */
#define INSTALLED_MEMORY_SHIFT 16
#define INSTALLED_MEMORY_MASK 0xFF
/* A screen dimension must fit the server's 16-bit coordinates. */
#define MAX_SCREEN_DIMENSION 0x7FFF
/* The CRTC offset register counts the pitch in units of 8 bytes. */
#define PITCH_UNIT 8
#define PITCH_UNITS_MAX 0x1FF /* CR13 with CR1B bit 4 as bit 8 */
/* Video memory is laid out in whole kilobytes, the cursor patterns' unit. */
#define MEMORY_UNIT 1024u

static const char msgPixelInfo[] = "gd5436: can't find pixel info in grafinfo file.\n";
static const char msgPitchInfo[] = "gd5436: can't find pitch info in grafinfo file.\n";
static const char msgNoMemory[] = "gd5436: Missing MEMORY for fb in grafinfo file.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgInstalledMemory[] = "grafinfo file needs PROCEDURE InstalledMemory\n";
static const char msgGetScreenPitch[] = "grafinfo file needs PROCEDURE GetScreenPitch\n";
static const char msgMemsize[] = "memsize not enough for %d\n";
static const char msgMemsizePadding[] = "memsize not enough for %d (with padding) pitch %d\n";
static const char msgOffscreen[] = "Not enough offscreen memory available.\n"
                                   "Try a lower resolution or fewer colors.\n";
static const char msgPitchUnit[] = "gd5436: pitch %d is not a multiple of 8.\n";
static const char msgPitchRange[] = "gd5436: pitch %d is more than the 4088 bytes the display "
                                    "can show.\n";

void gd5436InitRasterOps(void) {
    static const uint8_t codes[16] = {0x00, 0x05, 0x09, 0x0D, 0x50, 0x06, 0x59, 0x6D,
                                      0x90, 0x95, 0x0B, 0xAD, 0xD0, 0xD6, 0xDA, 0x0E};
    for (int alu = 0; alu < 16; alu++)
        NAME(RasterOps)[alu] = codes[alu];
}

static Bool NAME(Setup)(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* Video memory the driver may use: what the adapter reports, but only up to
 * what the mapped area holds below the register block, in whole kilobytes, so
 * that the CursorArea at its end is neither past the mapping nor under the
 * block. (On a 4 MB board the block covers the last kilobyte.) An area length
 * of 0 is unknown and limits nothing but the block. */
static uint32_t gd5436UsableMemory(uint32_t installed, uint32_t areaLength) {
    uint32_t limit = BLT_BLOCK_OFFSET;
    if (areaLength != 0 && areaLength < limit)
        limit = areaLength;
    limit &= ~(MEMORY_UNIT - 1);
    return installed < limit ? installed : limit;
}

/* SR13 for the CursorArea that ends at `usable`: the chip's patterns are the
 * last 16 KB of its memory, which ends at `chipEnd`. Where the usable memory
 * stops short of that end the pattern is an earlier one; a distance the
 * patterns cannot reach (an answer past anything mapped, whose real size
 * cannot be known) keeps the first. */
static uint8_t gd5436CursorPattern(uint32_t chipEnd, uint32_t usable) {
    uint32_t before = chipEnd > usable ? (chipEnd - usable) / MEMORY_UNIT : 0;
    if (before > SR13_PATTERNS - 1)
        before = SR13_PATTERNS - 1;
    return (uint8_t)(SR13_LAST_PATTERN - (before << SR13_PATTERN_SHIFT));
}

Bool gd5436InitHW(ScreenPtr pScreen) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pScreen);
    void *mapped = 0;
    if (!grafGetMemInfo(gd5436Grafinfo(pScreen), 0, 0, 0, &mapped) || !mapped) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->fbBase = (uint8_t *)mapped;
    /* Without the mode procedure nothing would show what gets drawn. */
    if (!gd5436SetGraphicsMode(pScreen)) {
        ErrorF(msgNoSetGraphics);
        return 0;
    }
    outb(VGA_SEQ_INDEX, SR_CONFIG);
    priv->savedSR17 = inb(VGA_SEQ_DATA);
    return 1;
}

/* Steps shared by both flavours up to the pixel keys: the raster-op table,
 * the private index, the private itself and PIXWIDTH, PIXHEIGHT, DEPTH.
 * Returns the private, or null after any message. */
static gd5436ScreenPrivPtr gd5436BeginInit(ScreenPtr pScreen, int *bpp) {
    GrafinfoHandle graf = gd5436Grafinfo(pScreen);
    gd5436InitRasterOps();
    if (NAME(Generation) != serverGeneration) {
        /* A refused index is asked for again at the next Init. */
        int index = AllocateScreenPrivateIndex();
        if (index < 0)
            return 0;
        NAME(ScreenPrivateIndex) = index;
        NAME(Generation) = serverGeneration;
    }

    gd5436ScreenPrivPtr priv = (gd5436ScreenPrivPtr)Xalloc(sizeof(gd5436ScreenPrivate));
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = priv;

    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* Sizes the server's coordinates cannot hold would break every address
     * computed from them; a depth other than the build's own would be drawn
     * with the wrong pixels. */
    if (width <= 0 || height <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION || depth != gd5436Traits.depth) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    *bpp = (depth + 1) / 8;
    priv->width = width;
    priv->height = height;
    return priv;
}

/* Screen, visual and the frame-buffer layer's hooks. */
static Bool gd5436InitScreen(ScreenPtr pScreen, gd5436ScreenPrivPtr priv) {
    GrafinfoHandle graf = gd5436Grafinfo(pScreen);
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, &NAME(Visual)))
        return 0;

    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &NAME(SolidPrivOps);
    if (gd5436Traits.pseudoColor) {
        nfb->SetColor = NAME(SetColor);
        nfb->LoadColormap = genLoadColormap;
    } else {
        nfb->SetColor = (SetColorProc)NoopDDA;
        nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    }
    nfb->BlankScreen = NAME(BlankScreen);
    nfb->ValidateWindowPriv = NAME(ValidateWindowPriv);
    return 1;
}

/* Runs "InstalledMemory"; returns 0 after the message when it does not run. */
static Bool gd5436InstalledMemory(ScreenPtr pScreen, int *installed) {
    *installed = 0;
    if (!grafExec(gd5436Grafinfo(pScreen), "InstalledMemory", installed)) {
        ErrorF(msgInstalledMemory);
        return 0;
    }
    return 1;
}

static void gd5436SetMemory(ScreenPtr pScreen, gd5436ScreenPrivPtr priv, int installed) {
    uint32_t length = 0;
    void *mapped = 0;
    grafGetMemInfo(gd5436Grafinfo(pScreen), 0, 0, &length, &mapped);
    uint32_t reported = ((uint32_t)installed & INSTALLED_MEMORY_MASK) << INSTALLED_MEMORY_SHIFT;
    uint32_t usable = gd5436UsableMemory(reported, length);
    /* Memory the area does not map cannot be told from memory that is not
     * there: the chip is taken to end with the area then. */
    uint32_t chipEnd = length != 0 && reported > length ? length : reported;
    priv->bltBase = priv->fbBase + BLT_BLOCK_OFFSET;
    priv->memSize = (int)usable;
    priv->cursorPattern = gd5436CursorPattern(chipEnd, usable);
}

/* The display shows rows a whole number of CRTC offset units apart, and its
 * offset register holds nine bits of them; any other pitch would draw rows
 * where the picture does not show them. Returns 0 after the message. */
static Bool gd5436CheckPitchUnit(const gd5436ScreenPrivate *priv) {
    if (priv->pitch % PITCH_UNIT != 0) {
        ErrorF(msgPitchUnit, priv->pitch);
        return 0;
    }
    if (priv->pitch > PITCH_UNITS_MAX * PITCH_UNIT) {
        ErrorF(msgPitchRange, priv->pitch);
        return 0;
    }
    return 1;
}

/* The memory checks of the "GetScreenPitch" flavour. Returns 0 after the
 * matching message. */
static Bool gd5436CheckMemory(gd5436ScreenPrivPtr priv, int bpp) {
    int64_t rowBytes = (int64_t)bpp * priv->width;
    int64_t needed = rowBytes * priv->height;
    if ((uint64_t)(uint32_t)priv->memSize < (uint64_t)needed) {
        ErrorF(msgMemsize, (int)needed);
        return 0;
    }
    if (priv->pitch < rowBytes) {
        ErrorF(msgMemsizePadding, (int)needed, priv->pitch);
        return 0;
    }
    return 1;
}

/* The PITCH flavour trusts its pitch, but the last visible row must still end
 * inside video memory. Returns 0 after the padding message when it does not. */
static Bool gd5436CheckScreenInMemory(gd5436ScreenPrivPtr priv, int bpp) {
    int64_t rowBytes = (int64_t)bpp * priv->width;
    int64_t end = (int64_t)priv->pitch * (priv->height - 1) + rowBytes;
    if (end > priv->memSize) {
        ErrorF(msgMemsizePadding, (int)(rowBytes * priv->height), priv->pitch);
        return 0;
    }
    return 1;
}

/* The ScratchArea below the visible screen; the CursorArea is the last
 * kilobyte of video memory. Returns 0 after the message when it is empty. */
static Bool gd5436LayOutOffscreen(gd5436ScreenPrivPtr priv, int bpp) {
    priv->cursorSize = CURSOR_SIZE;
    priv->offX = 0;
    priv->offY = priv->height;
    priv->offWidth = priv->pitch / bpp;
    priv->offHeight = 0;
    if (priv->pitch > 0)
        priv->offHeight = (int)((uint32_t)priv->memSize / (uint32_t)priv->pitch) - priv->height - 1;
    if (priv->offHeight <= 0 || priv->offWidth <= 0) {
        ErrorF(msgOffscreen);
        return 0;
    }
    priv->offAddr = (int)gd5436PixelOffset(priv, priv->offX, priv->offY);
    return 1;
}

/* The CursorArea, the last kilobyte of the usable memory, may share the
 * ScratchArea's last line but must lie wholly after the visible screen and
 * from the ScratchArea's start on: otherwise the cursor pattern would show on
 * the screen and staging budgets would have nothing left. Returns 0 after the
 * off-screen message. */
static Bool gd5436CheckCursorArea(const gd5436ScreenPrivate *priv, int bpp) {
    int64_t cursor = (int64_t)(uint32_t)priv->memSize - CURSOR_AREA_BYTES;
    int64_t visibleEnd = (int64_t)priv->pitch * (priv->height - 1) + (int64_t)bpp * priv->width;
    if (cursor < priv->offAddr || cursor < visibleEnd) {
        ErrorF(msgOffscreen);
        return 0;
    }
    return 1;
}

/* Cursor, default colormap, console-switch record and layer options. */
static Bool gd5436FinishInit(ScreenPtr pScreen) {
    NAME(CursorInitialize)(pScreen);
    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &NAME(SysInfo));
    nfbSetOptions(pScreen, 50, NFB_OPT_ZEROSEGS, 0);
    return 1;
}

/* "GetScreenPitch" flavour: once the mode is set, a missing pitch procedure or
 * a screen that does not fit returns the adapter to text mode. */
static Bool gd5436InitWithPitchProcedure(ScreenPtr pScreen) {
    int bpp, installed;
    gd5436ScreenPrivPtr priv = gd5436BeginInit(pScreen, &bpp);
    if (!priv || !gd5436InitScreen(pScreen, priv) || !gd5436InstalledMemory(pScreen, &installed))
        return 0;
    if (!gd5436InitHW(pScreen))
        return 0;
    if (!grafExec(gd5436Grafinfo(pScreen), "GetScreenPitch", &priv->pitch)) {
        ErrorF(msgGetScreenPitch);
        NAME(SetText)(pScreen);
        return 0;
    }
    gd5436SetMemory(pScreen, priv, installed);
    if (!gd5436CheckMemory(priv, bpp) || !gd5436CheckPitchUnit(priv)) {
        NAME(SetText)(pScreen);
        return 0;
    }
    if (!gd5436LayOutOffscreen(priv, bpp) || !gd5436CheckCursorArea(priv, bpp))
        return 0;
    return gd5436FinishInit(pScreen);
}

/* PITCH flavour: the pitch is a key, and failures leave the mode as it is.
 * The visible screen is still required to lie inside video memory, so that
 * no drawing can reach past it. */
static Bool gd5436InitWithPitchKey(ScreenPtr pScreen) {
    int bpp, installed;
    gd5436ScreenPrivPtr priv = gd5436BeginInit(pScreen, &bpp);
    if (!priv)
        return 0;
    if (!grafGetInt(gd5436Grafinfo(pScreen), "PITCH", &priv->pitch)) {
        ErrorF(msgPitchInfo);
        return 0;
    }
    if (!gd5436CheckPitchUnit(priv))
        return 0;
    if (!gd5436InitScreen(pScreen, priv) || !gd5436InstalledMemory(pScreen, &installed))
        return 0;
    if (!gd5436InitHW(pScreen))
        return 0;
    gd5436SetMemory(pScreen, priv, installed);
    if (!gd5436LayOutOffscreen(priv, bpp))
        return 0;
    if (!gd5436CheckScreenInMemory(priv, bpp) || !gd5436CheckCursorArea(priv, bpp))
        return 0;
    return gd5436FinishInit(pScreen);
}

static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    if (gd5436Traits.pitchFrom == PITCH_FROM_PROCEDURE)
        return gd5436InitWithPitchProcedure(pScreen);
    return gd5436InitWithPitchKey(pScreen);
}

static void NAME(CloseScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    if (NAME(ScreenPrivateIndex) < 0)
        return;
    Xfree(pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr);
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = 0;
}

extern "C" {
DRV_EXPORT ScreenInfo NAME(ScreenInfo) = {NAME(Setup), NAME(Init), DRIVER_NAME, {}};
}
