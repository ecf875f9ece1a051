/*
 * pilo: binding, the engine presence test, screen initialisation with its
 * grafinfo keys, visual and memory detection, the fixed off-screen layouts,
 * best sizes, and window and GC validation.
 */
#include "pilo.h"

int piloScreenPrivateIndex = -1;
static uint32_t piloServerGeneration = (uint32_t)-1;

uint8_t piloRasterOps[16];

/* Rewritten by piloInit for the depth. */
static VisualRec piloVisual = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};

static SysInfo piloSysInfo = {
    0,   piloSetGraphics, piloSetText, piloSaveGState, piloRestoreGState, piloCloseScreen, 1, 1, 1,
    5.0f};

static int piloValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);
static int piloValidateWindowGC16(GCPtr, uint32_t changes, DrawablePtr);

static PrivOps piloSolidPrivOps = {genSolidFillRects, genSolidFS,    {.ZeroSeg = piloFillZeroSeg},
                                   genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
static PrivOps piloTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                   genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
static PrivOps piloStippledPrivOps = {
    piloStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,      genStippledGCOp5, genStippledGCOp6};
static PrivOps piloOpStippledPrivOps = {
    piloOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,      genOpStippledGCOp5, genOpStippledGCOp6};

static PrivOps piloSolidPrivOps16 = {
    genSolidFillRects, genSolidFS,    {.ZeroSeg = piloFillZeroSeg16},
    genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
static PrivOps piloTiledPrivOps16 = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                     genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
static PrivOps piloStippledPrivOps16 = {
    piloStippledFillRects16, genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,        genStippledGCOp5, genStippledGCOp6};
static PrivOps piloOpStippledPrivOps16 = {
    piloOpStippledFillRects16, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,        genOpStippledGCOp5, genOpStippledGCOp6};

/* The driver offers no text-font slots and no hardware clip. Without slots
 * the layer calls the text slot in its ten-argument form (the font's
 * private), so that is the generic routine it holds. */
static WinOps piloWinOps = {piloCopyRect,
                            piloDrawSolidRects,
                            piloDrawImage,
                            piloDrawMonoImage,
                            piloDrawOpaqueMonoImage,
                            piloReadImage,
                            piloDrawPoints,
                            piloTileRects,
                            piloDrawMonoGlyphs,
                            {.DrawFontText = genDrawFontText},
                            genWinOp11,
                            genWinOp12,
                            genWinOp13,
                            genWinOp14,
                            piloValidateWindowGC};

static WinOps piloWinOps16 = {piloCopyBox16,
                              piloDrawSolidRects16,
                              piloDrawImage16,
                              piloDrawMonoImage16,
                              piloDrawOpaqueMonoImage16,
                              piloReadImage16,
                              piloDrawPoints16,
                              piloTileRects16,
                              piloDrawMonoGlyphs16,
                              {.DrawFontText = genDrawFontText},
                              genWinOp11,
                              genWinOp12,
                              genWinOp13,
                              genWinOp14,
                              piloValidateWindowGC16};

/* Defaults of the grafinfo keys. */
#define DEFAULT_RGBBITS 6
#define DEFAULT_RGBBITS16 5
#define DEFAULT_MON_WIDTH 250
#define DEFAULT_MON_HEIGHT 180
#define DAC_COMPONENT_BITS 16
/* 6-bit DAC at depth 16: the palette there is not what the picture shows,
 * but its writes must still use a defined shift. */
#define DAC_SHIFT16 (DAC_COMPONENT_BITS - 6)
#define DEFAULT_RED16 0x7C00
#define DEFAULT_GREEN16 0x3E0
#define DEFAULT_BLUE16 0x1F
#define ENGINE_ERRTERM_ECHO 0x123

static const char msgFatal[] = "piloInit(): %s.\n";
static const char msgBadWidth[] = "missing or invalid grafinfo value for PIXWIDTH";
static const char msgBadHeight[] = "missing or invalid grafinfo value for PIXHEIGHT";
static const char msgNoDepth[] = "missing grafinfo value for DEPTH";
static const char msgBadDepth[] = "invalid grafinfo value for DEPTH";
static const char msgMemory[] = "piloInit(): %s\n";
static const char msgMemoryCode[] = "card not reporting memory size correctly, assuming 1 Meg.";
static const char msgRequested[] = "piloInit(): requested width,height (%d, %d)\n";
static const char msgAllowed[] = "piloInit(): is greater than allowed width,height (%d, %d)\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";
static const char msgBadSize[] = "invalid grafinfo value for PIXWIDTH, PIXHEIGHT, or DEPTH";

/* ---- small routines ---- */

/* The bit number of the lowest set bit; 0 for none. */
static int piloRightMostOne(uint32_t mask) {
    if (mask == 0)
        return 0;
    int bit = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        bit++;
    }
    return bit;
}

static void piloInitializeMultihead(ScreenPtr pScreen) {
    (void)pScreen;
}

static void piloInitRasterOps(void) {
    static const uint8_t codes[16] = {0x01, 0x0C, 0x0D, 0x07, 0x0E, 0x03, 0x05, 0x0B,
                                      0x0F, 0x06, 0x00, 0x0A, 0x04, 0x09, 0x08, 0x02};
    for (int alu = 0; alu < 16; alu++)
        piloRasterOps[alu] = codes[alu];
}

static void piloQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    switch (cls) {
    case CursorShape:
        *width = priv->depth == 16 ? 32 : 64;
        *height = 64;
        break;
    case TileShape: {
        int w = priv->tileArea.width / 2, h = priv->tileArea.height / 2;
        if (*width > w)
            *width = (uint16_t)w;
        if (*height > h)
            *height = (uint16_t)h;
        break;
    }
    case StippleShape:
        if (*width > priv->glyphArea.width)
            *width = (uint16_t)priv->glyphArea.width;
        if (*height > priv->glyphArea.height)
            *height = (uint16_t)priv->glyphArea.height;
        break;
    default:
        break;
    }
}

/* ---- the engine presence test ---- */

static void piloCrtcPorts(uint16_t *index, uint16_t *data, uint16_t *status) {
    if (inb(VGA_MISC_READ) & MISC_COLOUR_CRTC) {
        *index = 0x3D4;
        *data = 0x3D5;
        *status = 0x3DA;
    } else {
        *index = 0x3B4;
        *data = 0x3B5;
        *status = 0x3BA;
    }
}

static void piloProbeCR(uint16_t index, uint16_t data, uint8_t reg, uint8_t value) {
    outb(index, reg);
    outb(data, value);
}

static uint8_t piloProbeReadCR(uint16_t index, uint16_t data, uint8_t reg) {
    outb(index, reg);
    return inb(data);
}

static Bool piloProbe(int unused, ScreenConfig *config) {
    (void)unused;
    uint16_t index, data, status;
    piloCrtcPorts(&index, &data, &status);
    piloProbeCR(index, data, CR38, CR38_UNLOCK);
    piloProbeCR(index, data, CR39, CR39_UNLOCK);
    piloProbeCR(index, data, CR40, (uint8_t)(piloProbeReadCR(index, data, CR40) | CR40_ENGINE_ON));
    outw(PILO_ERR_TERM, ENGINE_ERRTERM_ECHO);
    uint16_t echo = inw(PILO_ERR_TERM);
    piloProbeCR(index, data, CR38, CR38_LOCK);
    piloProbeCR(index, data, CR39, CR39_LOCK);
    piloProbeCR(index, data, CR40, (uint8_t)(piloProbeReadCR(index, data, CR40) & ~CR40_ENGINE_ON));
    if (echo != ENGINE_ERRTERM_ECHO)
        return 0;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- the off-screen layouts ---- */

typedef struct _piloLayout {
    int32_t maxWidth, maxHeight;
    int32_t clipRight, clipBottom;
    piloArea glyph, tile;
    int32_t softwareCursor;
    uint16_t cursorAddress;
    piloArea cursor;
} piloLayout;

/* The areas of every layout lie apart: in the 2 MB wide depth-8 layout the
 * TileArea takes the free lines below the GlyphArea, and in the 1024-line
 * depth-4 layout it ends above the software cursor's areas. */
static const piloLayout piloLayouts[] = {
    /* 512 KB, depth 4 */
    {1024, 768, 1023, 1023, {0, 768, 1024, 128}, {0, 896, 1024, 126}, 0, 511, {0, 1022, 1024, 2}},
    /* 512 KB, depth 8 */
    {640, 480, 1023, 511, {0, 480, 1024, 30}, {640, 0, 384, 480}, 0, 511, {0, 511, 1024, 1}},
    /* 1 or 2 MB, depth 4, at most 1022 lines */
    {1280,
     1022,
     2047,
     1023,
     {1280, 0, 768, 512},
     {1280, 512, 768, 510},
     0,
     1023,
     {0, 1023, 2048, 1}},
    /* 1 or 2 MB, depth 4, more lines: the software cursor */
    {1280, 1024, 2047, 1023, {1280, 0, 768, 512}, {1280, 512, 768, 431}, 1, 0, {0, 0, 0, 0}},
    /* 1 MB, or 2 MB up to 1024 columns, depth 8 */
    {1024, 768, 1023, 1023, {0, 768, 1024, 128}, {0, 896, 1024, 126}, 0, 1023, {0, 1023, 1024, 1}},
    /* 2 MB, depth 8, wider than 1024 */
    {1280,
     1024,
     1279,
     1637,
     {0, 1024, 1280, 512},
     {0, 1536, 1280, 100},
     0,
     2045,
     {0, 1636, 1024, 1}},
    /* 1 or 2 MB, depth 16 */
    {640, 480, 2047, 511, {0, 480, 2048, 30}, {640, 0, 384, 480}, 0, 1022, {0, 511, 2048, 1}},
};

/* The software cursor's areas in the 1024-line depth-4 layout. */
#define SAVE_UNDER_X 1280
#define SPRITE_FG_X 1360
#define SPRITE_BG_X 1440
#define SPRITE_Y 943

/* The layout of memory and depth, or null where there is none (512 KB at
 * depth 16). */
static const piloLayout *piloChooseLayout(const piloScreenPrivate *priv) {
    if (priv->memoryKB == 512) {
        if (priv->depth == 4)
            return &piloLayouts[0];
        if (priv->depth == 8)
            return &piloLayouts[1];
        return 0;
    }
    switch (priv->depth) {
    case 4:
        return (uint32_t)priv->height <= 1022 ? &piloLayouts[2] : &piloLayouts[3];
    case 8:
        if (priv->memoryKB == 2048 && (uint32_t)priv->width > 1024)
            return &piloLayouts[5];
        return &piloLayouts[4];
    default:
        return &piloLayouts[6];
    }
}

static void piloApplyLayout(piloScreenPrivPtr priv, const piloLayout *l) {
    priv->clipRight = (int16_t)l->clipRight;
    priv->clipBottom = (int16_t)l->clipBottom;
    priv->glyphArea = l->glyph;
    priv->tileArea = l->tile;
    priv->softwareCursor = l->softwareCursor;
    if (l->softwareCursor) {
        priv->saveUnderX = SAVE_UNDER_X;
        priv->saveUnderY = SPRITE_Y;
        priv->spriteFgX = SPRITE_FG_X;
        priv->spriteFgY = SPRITE_Y;
        priv->spriteBgX = SPRITE_BG_X;
        priv->spriteBgY = SPRITE_Y;
    } else {
        priv->cursorAddress = l->cursorAddress;
        priv->cursorArea = l->cursor;
    }
}

/* ---- Init ---- */

/* Step 4: the size and depth keys; anything missing or out of range ends
 * the server. */
static void piloReadPixelKeys(piloScreenPrivPtr priv) {
    GrafinfoHandle graf = priv->grafinfo;
    int width, height, depth;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || width < 1)
        FatalError(msgFatal, msgBadWidth);
    if (!grafGetInt(graf, "PIXHEIGHT", &height) || height < 1)
        FatalError(msgFatal, msgBadHeight);
    if (!grafGetInt(graf, "DEPTH", &depth))
        FatalError(msgFatal, msgNoDepth);
    if (depth != 4 && depth != 8 && depth != 16)
        FatalError(msgFatal, msgBadDepth);
    priv->width = width;
    priv->height = height;
    priv->depth = depth;
}

/* A colour mask key of depth 16: present, non-zero and within the pixel. */
static void piloMaskKey(GrafinfoHandle graf, const char *name, uint32_t *mask) {
    int value;
    if (grafGetInt(graf, name, &value) && value != 0 && ((uint32_t)value & ~0xFFFFu) == 0)
        *mask = (uint32_t)value;
}

/* Step 6: the visual of the depth. RGBBITS counts only where its shift and
 * entry count are ones the DAC and the visual can hold. */
static void piloSetUpVisual(piloScreenPrivPtr priv) {
    GrafinfoHandle graf = priv->grafinfo;
    VisualRec *v = &piloVisual;
    int rgbBits;
    v->nplanes = (uint16_t)priv->depth;
    if (priv->depth == 16) {
        uint32_t red = DEFAULT_RED16, green = DEFAULT_GREEN16, blue = DEFAULT_BLUE16;
        v->class_ = TrueColor;
        v->bitsPerRGBValue = DEFAULT_RGBBITS16;
        /* 1 << bits must fit the visual's 16-bit entry count. */
        if (grafGetInt(graf, "RGBBITS", &rgbBits) && rgbBits >= 1 && rgbBits <= 15)
            v->bitsPerRGBValue = (uint16_t)rgbBits;
        piloMaskKey(graf, "REDMASK", &red);
        piloMaskKey(graf, "GRNMASK", &green);
        piloMaskKey(graf, "BLUMASK", &blue);
        v->redMask = red;
        v->greenMask = green;
        v->blueMask = blue;
        v->offsetRed = (uint32_t)piloRightMostOne(red);
        v->offsetGreen = (uint32_t)piloRightMostOne(green);
        v->offsetBlue = (uint32_t)piloRightMostOne(blue);
        v->ColormapEntries = (uint16_t)(1u << v->bitsPerRGBValue);
        priv->dacShift = DAC_SHIFT16;
        return;
    }
    v->class_ = PseudoColor;
    v->bitsPerRGBValue = DEFAULT_RGBBITS;
    if (grafGetInt(graf, "RGBBITS", &rgbBits) && rgbBits >= 1 && rgbBits <= DAC_COMPONENT_BITS)
        v->bitsPerRGBValue = (uint16_t)rgbBits;
    v->redMask = v->greenMask = v->blueMask = 0;
    v->offsetRed = v->offsetGreen = v->offsetBlue = 0;
    priv->dacShift = DAC_COMPONENT_BITS - v->bitsPerRGBValue;
    v->ColormapEntries = (uint16_t)(1u << priv->depth);
}

/* Steps 9 to 12: the VGA ports, the DAC flag and the memory size. */
static void piloReadBoard(piloScreenPrivPtr priv) {
    uint16_t index, data, status;
    piloCrtcPorts(&index, &data, &status);
    priv->crtcIndexPort = index;
    priv->crtcDataPort = data;
    priv->statusPort = status;

    piloWriteCR(priv, CR38, CR38_UNLOCK);
    if (piloReadCR(priv, CR32) & CR32_TEXT_DAC_OFF) {
        priv->textDacOn = 0;
        (void)piloReadCR(priv, CR32);
    } else {
        priv->textDacOn = 1;
    }
    priv->graphicsShown = 0;

    switch ((piloReadCR(priv, CR36) >> CR36_MEMORY_SHIFT) & CR36_MEMORY_MASK) {
    case 0:
        priv->memoryKB = 2048;
        break;
    case 2:
        priv->memoryKB = 1024;
        break;
    case 3:
        priv->memoryKB = 512;
        break;
    default:
        ErrorF(msgMemory, msgMemoryCode);
        priv->memoryKB = 1024;
        break;
    }
    piloWriteCR(priv, CR38, CR38_LOCK);
}

/* Steps 13 and 14: the layout, or the text mode back and the server ended
 * when the screen does not fit it. */
static void piloLayOut(ScreenPtr pScreen, piloScreenPrivPtr priv) {
    const piloLayout *l = piloChooseLayout(priv);
    int maxWidth = l ? l->maxWidth : 0, maxHeight = l ? l->maxHeight : 0;
    priv->softwareCursor = 0;
    if (l)
        piloApplyLayout(priv, l);
    if (!l || (uint32_t)priv->width > (uint32_t)maxWidth ||
        (uint32_t)priv->height > (uint32_t)maxHeight) {
        piloSetText(pScreen);
        ErrorF(msgRequested, priv->width, priv->height);
        ErrorF(msgAllowed, maxWidth, maxHeight);
        FatalError(msgFatal, msgBadSize);
    }
}

static void piloSetUpHooks(ScreenPtr pScreen, piloScreenPrivPtr priv) {
    priv->savedQueryBestSize = pScreen->QueryBestSize;
    pScreen->QueryBestSize = piloQueryBestSize;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &piloSolidPrivOps;
    nfb->SetColor = piloSetColor;
    nfb->LoadColormap = piloLoadColormap;
    nfb->BlankScreen = piloBlankScreen;
    nfb->ClearFont = piloGlClearCache;
    nfb->ValidateWindowPriv = piloValidateWindowPriv;
}

/* A failed Init keeps nothing: the private goes and the screen's hook is
 * its own again. */
static Bool piloInitFailed(ScreenPtr pScreen, piloScreenPrivPtr priv) {
    if (pScreen->QueryBestSize == piloQueryBestSize)
        pScreen->QueryBestSize = priv->savedQueryBestSize;
    piloGlCacheClose(pScreen);
    Xfree(priv);
    pScreen->devPrivates[piloScreenPrivateIndex].ptr = 0;
    return 0;
}

static Bool piloInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)index;
    (void)argc;
    (void)argv;
    if (piloServerGeneration != serverGeneration) {
        /* A refused index is asked for again at the next Init. */
        int privIndex = AllocateScreenPrivateIndex();
        if (privIndex < 0)
            return 0;
        piloScreenPrivateIndex = privIndex;
        piloServerGeneration = serverGeneration;
    }
    piloScreenPrivPtr priv = (piloScreenPrivPtr)Xalloc(sizeof(piloScreenPrivate));
    pScreen->devPrivates[piloScreenPrivateIndex].ptr = priv;
    if (!priv)
        return 0;
    __builtin_memset(priv, 0, sizeof(*priv));
    priv->grafinfo = ddxActiveScreens[pScreen->myNum]->config->grafinfo;
    GrafinfoHandle graf = priv->grafinfo;

    piloInitializeMultihead(pScreen);
    piloReadPixelKeys(priv);
    grafGetMemInfo(graf, 0, 0, &priv->memLength, &priv->memBase);
    piloSetUpVisual(priv);

    priv->adjustCR13 = 1;
    grafGetInt(graf, "ADJCR13", &priv->adjustCR13);
    priv->modeAssist = 1;
    grafGetInt(graf, "MODEASSIST", &priv->modeAssist);

    int mmWidth, mmHeight;
    if (!grafGetInt(graf, "MON_WIDTH", &mmWidth) || !grafGetInt(graf, "MON_HEIGHT", &mmHeight)) {
        mmWidth = DEFAULT_MON_WIDTH;
        mmHeight = DEFAULT_MON_HEIGHT;
    }

    piloReadBoard(priv);
    piloLayOut(pScreen, priv);

    if (!nfbScreenInit(pScreen, priv->width, priv->height, mmWidth, mmHeight) ||
        !nfbAddVisual(pScreen, &piloVisual))
        return piloInitFailed(pScreen, priv);
    piloSetUpHooks(pScreen, priv);
    piloInitRasterOps();

    if (!piloSetGraphicsMode(pScreen)) {
        ErrorF(msgNoSetGraphics);
        /* The procedure may have stopped half way: leave text mode behind. */
        piloSetText(pScreen);
        return piloInitFailed(pScreen, priv);
    }
    piloGlCacheInit(pScreen);
    if (priv->softwareCursor)
        piloSWCursorInitialize(pScreen);
    else
        piloHWCursorInitialize(pScreen);

    if (!cfbCreateDefColormap(pScreen))
        return piloInitFailed(pScreen, priv);
    vexoSysInfoInit(pScreen, &piloSysInfo);
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

/* ---- validation ---- */

static PrivOps *piloOpsFor(GCPtr pGC, PrivOps *solid, PrivOps *tiled, PrivOps *stippled,
                           PrivOps *opStippled) {
    switch (pGC->fillStyle) {
    case FillTiled:
        return tiled;
    case FillStippled:
        return stippled;
    case FillOpaqueStippled:
        /* An opaque stipple in one colour is a solid fill. */
        return pGC->fgPixel == pGC->bgPixel ? solid : opStippled;
    default:
        return solid;
    }
}

/* The opaque-stipple choice depends on the colours too. */
static int piloOpsChange(GCPtr pGC, uint32_t changes) {
    return (changes & GCFillStyle) ||
           (pGC->fillStyle == FillOpaqueStippled && (changes & (GCForeground | GCBackground)));
}

static int piloValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (piloOpsChange(pGC, changes))
        NFB_GC_PRIV(pGC)->ops = piloOpsFor(pGC, &piloSolidPrivOps, &piloTiledPrivOps,
                                           &piloStippledPrivOps, &piloOpStippledPrivOps);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

static int piloValidateWindowGC16(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (piloOpsChange(pGC, changes))
        NFB_GC_PRIV(pGC)->ops = piloOpsFor(pGC, &piloSolidPrivOps16, &piloTiledPrivOps16,
                                           &piloStippledPrivOps16, &piloOpStippledPrivOps16);
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

void piloValidateWindowPriv(WindowPtr pWin) {
    switch (pWin->drawable.bitsPerPixel) {
    case 8:
        NFB_WINDOW_PRIV(pWin)->ops = &piloWinOps;
        break;
    case 16:
        NFB_WINDOW_PRIV(pWin)->ops = &piloWinOps16;
        break;
    default:
        break;
    }
}

extern "C" {
DRV_EXPORT ScreenInfo piloScreenInfo = {piloProbe, piloInit, "pilo", {}};
}
