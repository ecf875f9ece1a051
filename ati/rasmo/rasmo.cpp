/*
 * rasmo: binding, screen initialisation, the memory layout (the
 * OffScreenArea cut into the CursorArea, the FontArea and the TileArea) and
 * the close.
 */
#include <string.h>

#include "rasmo.h"

int rasmoScreenPrivateIndex = -1;
int rasmoGeneration = -1;

static Bool rasmoProbe(int unused, ScreenConfig *config);
static Bool rasmoInit(int index, ScreenPtr pScreen, int argc, char **argv);
static void rasmoFreeScreen(int index, ScreenPtr pScreen);

DRV_EXPORT ScreenInfo rasmoScreenInfo = {rasmoProbe, rasmoInit, "rasmo", {}};

static SysInfo rasmoSysInfo = {0,
                               rasmoSetGraphics,
                               rasmoSetText,
                               rasmoSaveGState,
                               rasmoRestoreGState,
                               rasmoFreeScreen,
                               1,
                               1,
                               1,
                               5.0f};

static VisualRec rasmoVisual8 = {0, PseudoColor, 6, 256, 8, 0, 0, 0, 0, 0, 0};
static VisualRec rasmoVisual16 = {0, TrueColor, 6, 64, 16, 0xF800, 0x07E0, 0x001F, 11, 5, 0};

static const char msgDepth[] = "rasmo: unsupported screen depth: %d\n";
static const char msgPixelInfo[] = "rasmo: can't find pixel info in grafinfo file.\n";
static const char msgMemory1[] = "rasmo: not enough video memory on the";
static const char msgMemory2[] = " Mach-32 card to run this graphics mode\n";
static const char msgNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";

static Bool rasmoProbe(int unused, ScreenConfig *config) {
    (void)unused;
    if (config->depth == 8 || config->depth == 16)
        return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
    ErrorF(msgDepth, config->depth);
    return 0;
}

/* ---- memory layout ---- */

uint32_t rasmoSizeMem(void) {
    uint16_t info = inw(MEM_INFO);
    return MEM_UNIT << ((info >> MEM_INFO_SHIFT) & MEM_INFO_CODE);
}

/* A byte offset of video memory as a pixel column and line. */
static void rasmoPlace(const rasmoScreenPrivate *priv, int32_t offset, int16_t *x, int16_t *y) {
    *y = (int16_t)(offset / priv->pitchBytes);
    *x = (int16_t)((offset % priv->pitchBytes) >> priv->pixelShift);
}

Bool rasmoInitMem(rasmoScreenPrivPtr priv, int width, int height, int depth) {
    outb(MEM_BOUNDARY, 0);
    priv->pixelShift = depth == 16 ? 1 : 0;
    priv->pitchBytes = ((width << priv->pixelShift) + PITCH_ALIGN - 1) & ~(PITCH_ALIGN - 1);
    priv->pitch = priv->pitchBytes >> priv->pixelShift;

    /* The engine addresses no more than 1536 lines, whatever is installed. */
    int32_t mem = (int32_t)rasmoSizeMem();
    if ((mem + priv->pitchBytes - 1) / priv->pitchBytes > MAX_LINES)
        mem = MAX_LINES * priv->pitchBytes;
    const int32_t screen = height * priv->pitchBytes;

    /* The cursor and font areas come off the top of the usable memory,
     * cursor first, so the TileArea below never reaches them. */
    if (!(priv->flags & RASMO_SW_CURSOR)) {
        if (mem - screen < CURSOR_AREA_BYTES) {
            priv->flags |= RASMO_SW_CURSOR;
        } else {
            mem -= CURSOR_AREA_BYTES;
            priv->cursorOffset = mem;
            rasmoPlace(priv, mem, &priv->cursorX, &priv->cursorY);
        }
    }
    if (mem - screen < FONT_AREA_BYTES) {
        priv->fontOffset = 0;
    } else {
        mem -= FONT_AREA_BYTES;
        priv->fontOffset = mem;
        rasmoPlace(priv, mem, &priv->fontX, &priv->fontY);
    }

    const int32_t lines = mem / priv->pitchBytes;
    priv->offscreenX = 0;
    priv->offscreenY = (int16_t)height;
    priv->offscreenWidth = priv->pitch;
    priv->offscreenHeight = lines - height;
    if (priv->offscreenHeight < TILE_AREA_MIN && priv->pitch - width >= TILE_AREA_MIN) {
        priv->offscreenX = (int16_t)width;
        priv->offscreenY = 0;
        priv->offscreenWidth = priv->pitch - width;
        priv->offscreenHeight = lines;
    }
    return screen <= mem;
}

/* The layout is fixed at Init: nothing to restore. */
void rasmoRestoreMem(ScreenPtr pScreen) {
    (void)pScreen;
}

/* ---- start-up ---- */

Bool rasmoInitHW(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    /* The mode is set at every start-up, not only in the server's first
     * generation: a reset while on the console, or a first generation that
     * failed before this point, would otherwise leave the engine drawing
     * with no line length. */
    priv->flags &= ~RASMO_IN_GRAPHICS;
    if (!rasmoSetMode(pScreen)) {
        /* A mode procedure that is missing or stopped half way leaves a mode
         * nobody described: the screen is refused rather than shown wrong. */
        ErrorF(msgNoSetGraphics);
        rasmoSetText(pScreen);
        return 0;
    }
    rasmoInitClip(pScreen);
    return 1;
}

/* A refused start-up keeps nothing: the font store when it was set up, and
 * the private, whose slot then holds no pointer to freed memory. */
static Bool rasmoInitFailed(ScreenPtr pScreen, rasmoScreenPrivPtr priv, Bool textSetUp) {
    if (textSetUp) {
        nfbCloseText8(pScreen);
        rasmoFreeTE8(pScreen);
    }
    Xfree(priv);
    pScreen->devPrivates[rasmoScreenPrivateIndex].ptr = 0;
    return 0;
}

static Bool rasmoInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)argc;
    (void)argv;
    ScreenConfig *config = ddxActiveScreens[index]->config;
    GrafinfoHandle graf = config->grafinfo;
    const int depth = config->depth;

    int width = 0, height = 0;
    /* The engine addresses no more than 2048 pixels either way; an empty
     * screen has no lines to lay video memory out by. */
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        width <= 0 || height <= 0 || width > CLIP_LIMIT || height > CLIP_LIMIT) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);

    if ((int)serverGeneration != rasmoGeneration) {
        rasmoGeneration = (int)serverGeneration;
        rasmoScreenPrivateIndex = AllocateScreenPrivateIndex();
        if (rasmoScreenPrivateIndex < 0)
            return 0;
    }
    rasmoScreenPrivPtr priv = (rasmoScreenPrivPtr)Xalloc(sizeof(rasmoScreenPrivate));
    if (!priv)
        return 0;
    memset(priv, 0, sizeof *priv);
    pScreen->devPrivates[rasmoScreenPrivateIndex].ptr = priv;

    int swCursor = 0;
    grafGetInt(graf, "USESWCURSOR", &swCursor);
    if (swCursor)
        priv->flags |= RASMO_SW_CURSOR;
    else
        priv->flags &= ~RASMO_SW_CURSOR;

    if (!rasmoInitMem(priv, width, height, depth)) {
        ErrorF(msgMemory1);
        ErrorF(msgMemory2);
        return rasmoInitFailed(pScreen, priv, 0);
    }
    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return rasmoInitFailed(pScreen, priv, 0);

    pScreen->QueryBestSize = rasmoQueryBestSize;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &rasmoSolidPrivOps;
    nfb->ValidateWindowPriv = rasmoValidateWindowPriv;
    nfb->BlankScreen = rasmoBlankScreen;
    /* rasmoBlankScreen installs the palette routines when it shows the
     * picture. */
    nfb->SetColor = (SetColorProc)NoopDDA;
    nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    nfb->driverFlag = 1;

    if (!nfbAddVisual(pScreen, depth == 16 ? &rasmoVisual16 : &rasmoVisual8))
        return rasmoInitFailed(pScreen, priv, 0);

    /* The layer calls slot 10 in the eleven-argument form only once font
     * slots are offered. */
    if (priv->fontOffset != 0) {
        if (!rasmoInitTE8(pScreen))
            return rasmoInitFailed(pScreen, priv, 0);
        nfbInitializeText8(pScreen, FONT_SLOTS, FONT_CELL_WIDTH, FONT_CELL_HEIGHT,
                           rasmoDownloadFont8, 0);
        rasmoWinOps8.text.DrawFontText8 = rasmoDrawFontText;
        rasmoWinOps16.text.DrawFontText8 = rasmoDrawFontText;
    } else {
        rasmoWinOps8.text.DrawFontText = genDrawFontText;
        rasmoWinOps16.text.DrawFontText = genDrawFontText;
    }

    if (!rasmoInitHW(pScreen))
        return rasmoInitFailed(pScreen, priv, priv->fontOffset != 0);
    rasmoCursorInitialize(pScreen);

    if (!cfbCreateDefColormap(pScreen))
        return rasmoInitFailed(pScreen, priv, priv->fontOffset != 0);

    rasmoGCOpsCacheInit();
    vexoSysInfoInit(pScreen, &rasmoSysInfo);
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static void rasmoFreeScreen(int index, ScreenPtr pScreen) {
    (void)index;
    rasmoGCOpsCacheReset();
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    if (priv->fontOffset != 0) {
        nfbCloseText8(pScreen);
        rasmoFreeTE8(pScreen);
    }
    Xfree(priv);
}
