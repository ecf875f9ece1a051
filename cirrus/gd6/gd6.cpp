/*
 * gd6 family: binding, screen initialisation, the mode set with its engine
 * and bank set-up and colormap reload, the palette, blanking, the
 * console-switch callbacks and the close.
 */
#include "gd6.h"

int NAME(ScreenPrivateIndex) = -1;
static uint32_t NAME(Generation) = (uint32_t)-1;

#if defined(GD6_BUILD_TOLVA16)
static VisualRec NAME(Visual) = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
/* The same two-byte pixels with five bits of green, for a mode set at DEPTH
 * 15: the server's pixels must have the layout the mode procedure chose. */
static VisualRec NAME(Visual15) = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
#define GD6_OTHER_DEPTH 15
#else
static VisualRec NAME(Visual) = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
#endif

/* The build's visual for a DEPTH, or none when the build cannot draw it. */
static VisualRec *gd6VisualFor(int depth) {
    if (depth == NAME(Visual).nplanes)
        return &NAME(Visual);
#if defined(GD6_OTHER_DEPTH)
    if (depth == GD6_OTHER_DEPTH)
        return &NAME(Visual15);
#endif
    return 0;
}

static Bool NAME(SetText)(ScreenPtr);
static void NAME(SaveGState)(ScreenPtr);
static void NAME(RestoreGState)(ScreenPtr);
static void NAME(FreeScreen)(int index, ScreenPtr);

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

#define DEFAULT_MONITOR_MM 300

static const char msgPixelInfo[] = "gd6: can't find pixel info in grafinfo file.\n";
static const char msgNoWindowAddr[] = "gd6: Need a value for WINDOWADDR in grafinfo file";
static const char msgNoCursorAddr[] = "gd6: Need a value for CURSORADDR in grafinfo file";
static const char msgNoMemory[] = "gd6: Missing MEMORY in grafinfo file.\n";
static const char msgWindowBank[] =
    "gd6: WINDOWADDR is not a bank boundary the bank register can reach.\n";
static const char msgCursorBank[] =
    "gd6: CURSORADDR is not a bank boundary the bank register can reach.\n";
static const char msgBadWindowSize[] = "gd6: WINDOWSIZE is larger than the MEMORY window.\n";
static const char msgSmallWindowSize[] = "gd6: WINDOWSIZE is too small to stage two pixels.\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";

/* ---- Binding ---- */

static Bool NAME(Probe)(int unused, ScreenConfig *config) {
    (void)unused;
    gd6InitRasterOps();
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Palette and blanking ---- */

void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    outb(VGA_DAC_WRITE_INDEX, (uint8_t)index);
    outb(VGA_DAC_DATA, (uint8_t)((red >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(VGA_DAC_DATA, (uint8_t)((green >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(VGA_DAC_DATA, (uint8_t)((blue >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
}

static int NAME(BlankScreen)(int on, ScreenPtr pScreen) {
    (void)pScreen;
    inb(VGA_INPUT_STATUS_1);
    outb(VGA_ATTR_INDEX, on ? ATTR_PICTURE_OFF : ATTR_PICTURE_ON);
    return 1;
}

/* A component as the colormap keeps it; an 8-bit value in either byte still
 * reaches the DAC's top bits. */
static uint16_t gd6Component(uint16_t v) {
    return (uint16_t)(v | v << 8);
}

static void gd6EntryColour(const Entry *e, uint16_t *red, uint16_t *green, uint16_t *blue) {
    if (e->fShared) {
        *red = e->co.shco.red->color;
        *green = e->co.shco.green->color;
        *blue = e->co.shco.blue->color;
    } else {
        *red = e->co.local.red;
        *green = e->co.local.green;
        *blue = e->co.local.blue;
    }
}

static uint16_t gd6SharedOrLocal(const Entry *e, int component) {
    uint16_t c[3];
    gd6EntryColour(e, &c[0], &c[1], &c[2]);
    return c[component];
}

static void gd6ReloadPseudoColor(ColormapPtr cmap, ScreenPtr pScreen) {
    for (int i = 0; i < cmap->pVisual->ColormapEntries; i++) {
        uint16_t r, g, b;
        gd6EntryColour(&cmap->red[i], &r, &g, &b);
        NAME(SetColor)(0, i, gd6Component(r), gd6Component(g), gd6Component(b), pScreen);
    }
}

/* Every pixel value of a direct-colour map, each component looked up in its
 * own entry array. */
static void gd6ReloadDirect(ColormapPtr cmap, ScreenPtr pScreen) {
    const VisualRec *v = cmap->pVisual;
    uint32_t count = v->nplanes >= 32 ? 0 : 1u << v->nplanes;
    for (uint32_t p = 0; p < count; p++) {
        uint16_t r = gd6SharedOrLocal(&cmap->red[(p & v->redMask) >> v->offsetRed], 0);
        uint16_t g = gd6SharedOrLocal(&cmap->green[(p & v->greenMask) >> v->offsetGreen], 1);
        uint16_t b = gd6SharedOrLocal(&cmap->blue[(p & v->blueMask) >> v->offsetBlue], 2);
        NAME(SetColor)(0, (int)p, gd6Component(r), gd6Component(g), gd6Component(b), pScreen);
    }
}

static void gd6ReloadColormap(ScreenPtr pScreen) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap || !cmap->pVisual || !cmap->red)
        return;
    if (cmap->pVisual->class_ == PseudoColor)
        gd6ReloadPseudoColor(cmap, pScreen);
    else if (cmap->green && cmap->blue)
        gd6ReloadDirect(cmap, pScreen);
}

/* ---- Mode set and console switch ---- */

static int gd6ReadCursorSize(void) {
    outb(VGA_SEQ_INDEX, SR_DRAM_CONTROL);
    uint8_t sr0f = inb(VGA_SEQ_DATA);
    return ((sr0f >> SR0F_CURSOR_SHIFT) & SR0F_CURSOR_MASK) == SR0F_CURSOR_64 ? 64 : 32;
}

/* The mode set; 0 when the mode procedure is missing or fails, in which
 * case the driver's own engine and bank set-up is not done either. */
static Bool gd6SetMode(ScreenPtr pScreen) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    if (!grafExec(gd6Grafinfo(pScreen), "SetGraphics", 0))
        return 0;
    gd6EngineReset();
    priv->cursorSize = gd6ReadCursorSize();
    gd6RestoreBank(priv);
    uint8_t gr0b = gd6ReadGR(GR_EXTENSIONS);
    gd6WriteGR(GR_EXTENSIONS, (uint8_t)(gr0b | priv->gr0bBits | GR0B_EXTENDED_WRITES));
    outw(VGA_SEQ_INDEX, MAP_MASK_ALL << 8 | SR_MAP_MASK);
    /* The mode procedure may have cleared or reused off-screen memory, so the
     * pattern's colour is no longer known. */
    priv->patternKnown = 0;
    gd6ReloadColormap(pScreen);
    return 1;
}

/* Back from the console there is nobody to tell of a failed mode set; the
 * screen goes on with whatever the procedure did. */
void NAME(SetGraphics)(ScreenPtr pScreen) {
    gd6SetMode(pScreen);
}

static Bool NAME(SetText)(ScreenPtr pScreen) {
    return grafExec(gd6Grafinfo(pScreen), "SetText", 0);
}

/* The mode procedures own the adapter's state, and every operation programs
 * all the engine registers it uses: nothing to save or restore. */
static void NAME(SaveGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

static void NAME(RestoreGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

static void NAME(FreeScreen)(int index, ScreenPtr pScreen) {
    (void)index;
    Xfree(pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr);
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = 0;
}

static void NAME(QueryBestSize)(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    if (cls != CursorShape)
        return;
    if (*width > (uint16_t)pScreen->width)
        *width = (uint16_t)pScreen->width;
    if (*height > (uint16_t)pScreen->height)
        *height = (uint16_t)pScreen->height;
}

/* ---- Screen initialisation ---- */

static uint32_t gd6SquareRoot(uint32_t n) {
    uint32_t r = 0;
    while ((uint64_t)(r + 1) * (r + 1) <= n)
        r++;
    return r;
}

static uint64_t gd6ScreenBytes(const gd6ScreenPrivate *priv) {
    return (uint64_t)(uint32_t)priv->pitch * (uint32_t)priv->height;
}

/* Video memory the eight-bit bank register can show through the window. */
static uint64_t gd6BankReach(const gd6ScreenPrivate *priv) {
    return (uint64_t)0x100 << (priv->bankShift + BANK_INDEX_SHIFT);
}

/* The cursor bank's bytes from cursorAddr: the pattern at its start, the
 * cursor image at its end. */
static uint32_t gd6CursorAreaBytes(const gd6ScreenPrivate *priv) {
    return priv->gr0bBits ? CURSOR_AREA_END_LARGE : CURSOR_AREA_END_SMALL;
}

static Bool gd6Overlap(uint64_t a, uint64_t aBytes, uint64_t b, uint64_t bBytes) {
    return a < b + bBytes && b < a + aBytes;
}

/* The staging area is overwritten by every operation the processor takes
 * part in: it must lie clear of the visible screen and of the cursor bank.
 * How much video memory the board has is the grafinfo data's business: the
 * driver is told no size it could check against. */
static void gd6CheckStagingArea(const gd6ScreenPrivate *priv) {
    uint64_t start = priv->windowAddr, bytes = priv->windowSize;
    if (gd6Overlap(start, bytes, 0, gd6ScreenBytes(priv)) ||
        gd6Overlap(start, bytes, priv->cursorAddr, gd6CursorAreaBytes(priv)))
        FatalError(msgNoWindowAddr);
}

static Bool NAME(InitHW)(ScreenPtr pScreen) {
    gd6ScreenPrivPtr priv = GD6_PRIV(pScreen);
    GrafinfoHandle graf = gd6Grafinfo(pScreen);
    uint32_t length = 0;
    void *mapped = 0;
    if (!grafGetMemInfo(graf, 0, 0, &length, &mapped) || !mapped)
        FatalError(msgNoMemory);
    /* The cursor, the pattern and the expansions address the window as a
     * whole bank; a shorter mapping would send them past its end. */
    if (length < BANK_WINDOW_BYTES)
        FatalError(msgNoMemory);
    priv->windowBase = (uint8_t *)mapped;
    priv->windowSize = length;
    int size;
    if (grafGetInt(graf, "WINDOWSIZE", &size)) {
        /* A window larger than the mapping would send the processor past it. */
        if (size <= 0 || (uint32_t)size > length)
            FatalError(msgBadWindowSize);
        /* Every staged path halves its work down to one pixel, and a
         * plane-masked copy stages a pixel of the destination and one of the
         * source side by side: below two pixels nothing can be staged. */
        if ((uint32_t)size < 2 * (uint32_t)BPP)
            FatalError(msgSmallWindowSize);
        priv->windowSize = (uint32_t)size;
    }
    gd6CheckStagingArea(priv);
    if (!gd6SetMode(pScreen)) {
        ErrorF(msgNoSetGraphics);
        /* The procedure may have stopped half way: leave text mode behind. */
        grafExec(graf, "SetText", 0);
        return 0;
    }
    return 1;
}

/* The screen private, stored at the driver's index in the screen. */
static gd6ScreenPrivPtr gd6AllocPrivate(ScreenPtr pScreen) {
    if (NAME(Generation) != serverGeneration) {
        /* A refused index is not remembered: the next Init asks again. */
        int index = AllocateScreenPrivateIndex();
        if (index < 0)
            return 0;
        NAME(ScreenPrivateIndex) = index;
        NAME(Generation) = serverGeneration;
    }
    gd6ScreenPrivPtr priv = (gd6ScreenPrivPtr)Xalloc(sizeof(gd6ScreenPrivate));
    if (priv)
        __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[NAME(ScreenPrivateIndex)].ptr = priv;
    return priv;
}

static Bool gd6ReadPixelKeys(GrafinfoHandle graf, gd6ScreenPrivPtr priv, int *depthOut,
                             VisualRec **visual) {
    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* Sizes the server's coordinates cannot hold would break every address
     * computed from them; and the server's pixels must have the size the
     * build draws with, so only the build's own depths will do. */
    *visual = gd6VisualFor(depth);
    if (width <= 0 || height <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION || !*visual) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    *depthOut = depth;
    /* Counted in whole pixel bytes: at depth 15 a pixel still takes two, and
     * the 4 KB banks reach only the first megabyte. */
    Bool large = (int64_t)BPP * height * width >= LARGE_MODE_BYTES;
    priv->gr0bBits = large ? GR0B_LARGE_BANKS : 0;
    priv->bankShift = large ? BANK_SHIFT_LARGE : BANK_SHIFT_SMALL;
    priv->alignShift = (uint32_t)(large ? gd6Traits.alignShiftLarge : gd6Traits.alignShiftSmall);
    int pitch = width * BPP;
    grafGetInt(graf, "PIXBYTES", &pitch);
    /* Shorter lines would overlap; the engine's pitch registers hold 16 bits. */
    if (pitch < width * BPP || pitch > MAX_PITCH) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->pitch = pitch;
    int flag = 0;
    grafGetInt(graf, "GD5434", &flag);
    priv->gd5434 = flag;
    flag = 0;
    grafGetInt(graf, "GD5434IMAGE", &flag);
    priv->gd5434Image = flag;
    return 1;
}

/* The chip variants whose expansion paths the server draws instead. */
static void gd6ApplyVariants(const gd6ScreenPrivate *priv) {
    /* Both ways: the records outlive a server generation, whose successor
     * may be configured otherwise. */
    NAME(StippledPrivOps).FillRects = priv->gd5434 ? genStippledFillRects : GD6_STIPPLED_FILL_RECTS;
    NAME(WinOps).DrawMonoImage = priv->gd5434Image ? genDrawMonoImage : GD6_DRAW_MONO_IMAGE;
    NAME(WinOps).DrawOpaqueMonoImage =
        priv->gd5434Image ? genDrawOpaqueMonoImage : GD6_DRAW_OPAQUE_MONO_IMAGE;
}

static void gd6ReadAddresses(GrafinfoHandle graf, gd6ScreenPrivPtr priv) {
    int value;
    if (!grafGetInt(graf, "WINDOWADDR", &value))
        FatalError(msgNoWindowAddr);
    priv->windowAddr = (uint32_t)value;
    if (!grafGetInt(graf, "CURSORADDR", &value))
        FatalError(msgNoCursorAddr);
    priv->cursorAddr = (uint32_t)value;
    priv->patternKnown = 0;
    priv->patternAddr = priv->cursorAddr;
}

/* The window shows whole banks, and the bank register has eight bits: an
 * address inside a bank, or beyond the last one, would have the processor
 * read and write memory other than the engine's. */
static void gd6CheckBankAddress(const gd6ScreenPrivate *priv, uint32_t address,
                                const char *message) {
    uint32_t shift = priv->bankShift + BANK_INDEX_SHIFT;
    if ((address & ((1u << shift) - 1)) != 0 || (address >> shift) > 0xFF)
        FatalError("%s", message);
}

/* The pattern and cursor image are written there and the chip fetches the
 * cursor from there: the bank must lie clear of the screen. */
static void gd6CheckCursorArea(const gd6ScreenPrivate *priv) {
    if (gd6Overlap(priv->cursorAddr, gd6CursorAreaBytes(priv), 0, gd6ScreenBytes(priv)))
        FatalError(msgNoCursorAddr);
}

static void gd6InstallHooks(ScreenPtr pScreen) {
    pScreen->QueryBestSize = NAME(QueryBestSize);
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &NAME(SolidPrivOps);
    nfb->SetColor = NAME(SetColor);
    nfb->LoadColormap = genLoadColormap;
    nfb->BlankScreen = NAME(BlankScreen);
    nfb->ValidateWindowPriv = NAME(ValidateWindowPriv);
}

/* Everything after the private's allocation; 0 on failure. */
static Bool NAME(InitScreen)(ScreenPtr pScreen, gd6ScreenPrivPtr priv) {
    GrafinfoHandle graf = gd6Grafinfo(pScreen);
    int depth = 0;
    VisualRec *visual = 0;
    if (!gd6ReadPixelKeys(graf, priv, &depth, &visual))
        return 0;
    if (gd6ScreenBytes(priv) > gd6BankReach(priv)) {
        /* Processor-drawn segments bank to every screen address. */
        ErrorF(msgPixelInfo);
        return 0;
    }
    gd6ApplyVariants(priv);

    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    gd6ReadAddresses(graf, priv);
    gd6CheckBankAddress(priv, priv->windowAddr, msgWindowBank);
    gd6CheckBankAddress(priv, priv->cursorAddr, msgCursorBank);
    gd6CheckCursorArea(priv);

    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, visual))
        return 0;
    gd6InstallHooks(pScreen);
    if (!NAME(InitHW)(pScreen))
        return 0;

    priv->chunk = gd6SquareRoot(priv->windowSize);
    if (gd6Traits.chunkHalved)
        priv->chunk /= 2;

    if (priv->gd5434 && depth != 16)
        vexoSWCursorInitialize(pScreen);
    else
        NAME(CursorInitialize)(pScreen);

    Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &NAME(SysInfo));
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static Bool NAME(Init)(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    gd6ScreenPrivPtr priv = gd6AllocPrivate(pScreen);
    if (!priv)
        return 0;
    if (NAME(InitScreen)(pScreen, priv))
        return 1;
    /* The server closes only screens that started: free the private here. */
    NAME(FreeScreen)(0, pScreen);
    return 0;
}

extern "C" {
DRV_EXPORT ScreenInfo NAME(ScreenInfo) = {NAME(Probe), NAME(Init), DRIVER_NAME, {}};
}
