/*
 * wexla: binding, the grafinfo parameters, screen initialisation, the mode
 * set, the console-switch callbacks, blanking, GC and window validation and
 * the close.
 */
#include "wexla.h"

int wexlaScreenPrivateIndex = -1;
static uint32_t wexlaGeneration = (uint32_t)-1;

static VisualRec wexlaVisual = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};

static void wexlaSaveGState(ScreenPtr pScreen);
static void wexlaRestoreGState(ScreenPtr pScreen);
static void wexlaFreeScreen(int index, ScreenPtr pScreen);

static SysInfo wexlaSysInfo = {0,
                               wexlaSetGraphics,
                               wexlaSetText,
                               wexlaSaveGState,
                               wexlaRestoreGState,
                               wexlaFreeScreen,
                               1,
                               1,
                               1,
                               5.0f};

static const char msgInit[] = "wexlaInit(%d)\n";
static const char msgPixelInfo[] = "wexla: can't find pixel info in grafinfo file.\n";
static const char msgNoMemory[] = "wexla: Missing MEMORY in grafinfo file.\n";
static const char msgNoParms[] = "wexla: Missing WEXLA parms in grafinfo file.\n";
static const char msgNeedsProcedure[] = "grafinfo file needs PROCEDURE %s\n";

#define DEFAULT_MONITOR_MM 300
/* Boxes and clip registers hold 16-bit coordinates. */
#define MAX_SCREEN_DIMENSION 0x7FFF
#define ONE_MB 0x100000u
#define TWO_MB 0x200000u
/* MEMSIZE values from this one up configure 2 MB. */
#define MEMSIZE_TWO_MB 2
#define SETTLE_UNITS 3

/* ---- Records ---- */

PrivOps wexlaSolidPrivOps = {genSolidFillRects, wexlaSolidFS,  {.ZeroSeg = wexlaSolidZeroSeg},
                             genSolidGCOp4,     genSolidGCOp5, genSolidGCOp6};
PrivOps wexlaTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                             genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps wexlaStippledPrivOps = {genStippledFillRects, genStippledFS,    {.GCOp3 = genStippledGCOp3},
                                genStippledGCOp4,     genStippledGCOp5, genStippledGCOp6};
PrivOps wexlaOpStippledPrivOps = {
    wexlaOpStippledFillRects, genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,       genOpStippledGCOp5, genOpStippledGCOp6};

WinOps wexlaWinOps = {wexlaCopyRect,
                      wexlaDrawSolidRects,
                      wexlaDrawImage,
                      wexlaDrawMonoImage,
                      wexlaDrawOpaqueMonoImage,
                      wexlaReadImage,
                      wexlaDrawPoints,
                      wexlaTileRects,
                      wexlaDrawMonoGlyphs,
                      {.DrawFontText = wexlaDrawFontText},
                      genWinOp11,
                      genWinOp12,
                      genWinOp13,
                      wexlaSetClipRegions,
                      wexlaValidateWindowGC};

/* ---- Binding ---- */

static Bool wexlaProbe(int unused, ScreenConfig *config) {
    (void)unused;
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

/* ---- Grafinfo parameters ---- */

typedef struct _WexlaKey {
    const char *name;
    size_t field; /* offset of its 32-bit field in the private */
    Bool required;
} WexlaKey;

#define WEXLA_FIELD(f) __builtin_offsetof(wexlaScreenPrivate, f)

/* In the order they are read. */
static const WexlaKey wexlaKeys[] = {
    {"SYSCONFIG", WEXLA_FIELD(sysConfig), 1}, {"MEMSPEED", WEXLA_FIELD(memSpeed), 0},
    {"HRZT", WEXLA_FIELD(hrzt), 1},           {"HRZSR", WEXLA_FIELD(hrzsr), 1},
    {"HRZBR", WEXLA_FIELD(hrzbr), 1},         {"HRZBF", WEXLA_FIELD(hrzbf), 1},
    {"VRTT", WEXLA_FIELD(vrtt), 1},           {"VRTSR", WEXLA_FIELD(vrtsr), 1},
    {"VRTBR", WEXLA_FIELD(vrtbr), 1},         {"VRTBF", WEXLA_FIELD(vrtbf), 1},
    {"VCLK", WEXLA_FIELD(vclk), 1},           {"MEMSIZE", WEXLA_FIELD(memSize), 1},
    {"RAMWRITE", WEXLA_FIELD(ramWrite), 1},   {"PALDATA", WEXLA_FIELD(palData), 1},
    {"SRCTL", WEXLA_FIELD(srCtl), 1},         {"OEM", WEXLA_FIELD(oem), 1},
};

static Bool wexlaGetWexlaParms(ScreenPtr pScreen) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    GrafinfoHandle graf = wexlaGrafinfo(pScreen);
    for (const WexlaKey &k : wexlaKeys) {
        int value = 0;
        if (!grafGetInt(graf, k.name, &value) && k.required)
            return 0;
        __builtin_memcpy((uint8_t *)priv + k.field, &value, sizeof(int32_t));
    }
    return 1;
}

static uint32_t wexlaMemoryBytes(const wexlaScreenPrivate *priv) {
    return priv->memSize < MEMSIZE_TWO_MB ? ONE_MB : TWO_MB;
}

/* The line length the system configuration word sets: three fields, each
 * a power of two in bytes or nothing. */
static uint32_t wexlaLineBytes(uint32_t sysConfig) {
    static const uint32_t f1[] = {0, 0, 0, 128, 256, 512, 1024, 2048};
    static const uint32_t f2[] = {0, 0, 64, 128, 256, 512, 1024, 0};
    static const uint32_t f3[] = {0, 32, 64, 128, 256, 512, 0, 0};
    return f1[(sysConfig >> 20) & 7] + f2[(sysConfig >> 17) & 7] + f3[(sysConfig >> 14) & 7];
}

/* ---- Mode set ---- */

static void wexlaProgramClocks(wexlaScreenPrivPtr priv) {
    switch (priv->oem) {
    case WEXLA_OEM_OLIVE:
        wexlaProgramICDesignOlive(priv->vclk);
        wexlaProgramICDesignOlive(priv->vclk | 0x200000);
        wexlaProgramICDesignOlive(priv->vclk | 0x400000);
        wexlaProgramICDesignOlive(0xC18000);
        wexlaProgramICDesignOlive(0xA40000);
        wexlaDelay(SETTLE_UNITS);
        break;
    case WEXLA_OEM_TULIP:
        wexlaProgramICDesignTulip(priv->memSpeed);
        wexlaProgramICDesignTulip(0xC10000);
        wexlaProgramICDesignTulip(0x900000);
        wexlaProgramICDesignTulip(priv->vclk);
        wexlaProgramICDesignTulip(priv->vclk | 0x200000);
        wexlaProgramICDesignTulip(priv->vclk | 0x400000);
        wexlaTulipSettle();
        break;
    default:
        wexlaProgramICDesign(priv->vclk);
        if (priv->memSpeed != 0)
            wexlaProgramICDesign(priv->memSpeed);
        break;
    }
}

/* Runs a mode procedure and notes the first that is missing or failed. */
static void wexlaModeProcedure(ScreenPtr pScreen, const char *name) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    if (!grafExec(wexlaGrafinfo(pScreen), name, 0) && priv->failedProcedure == nullptr)
        priv->failedProcedure = name;
}

void wexlaSetGraphics(ScreenPtr pScreen) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    priv->failedProcedure = nullptr;
    /* Coming back from the console, drawing may still run: the clip is an
     * engine register it reads. */
    (void)EngineIdleWait(priv);
    grafExec(wexlaGrafinfo(pScreen), "SetText", 0);
    wexlaProgramClocks(priv);
    if (priv->oem == WEXLA_OEM_OLIVE) {
        outb(WEXLA_OLIVE_CONTROL, 0x80);
        outb(WEXLA_OLIVE_ENABLE, (uint8_t)(inb(WEXLA_OLIVE_ENABLE) | 1));
    }
    wexlaModeProcedure(pScreen, "InitDac");
    wexlaDelay(SETTLE_UNITS);
    if (priv->oem == WEXLA_OEM_OLIVE)
        wexlaProgramICDesignOlive(0xC38000);
    wexlaDelay(SETTLE_UNITS);

    wexlaWrite(priv, WEXLA_SYS_0C, WEXLA_SYS_0C_SETTING);
    wexlaWrite(priv, WEXLA_HRZ_118, 0);
    wexlaWrite(priv, WEXLA_VRT_130, 0);
    wexlaWrite(priv, WEXLA_MEM_188, WEXLA_MEM_188_SETTING);
    wexlaWrite(priv, WEXLA_MEM_190, WEXLA_MEM_190_SETTING);
    wexlaWrite(priv, WEXLA_ENG_20C, WEXLA_ENG_20C_SETTING);
    wexlaWrite(priv, WEXLA_ENG_190, 0);
    wexlaWrite(priv, WEXLA_ENG_210, 0);
    wexlaWrite(priv, WEXLA_ENG_214, 0);
    wexlaWrite(priv, WEXLA_SYSCONFIG, priv->sysConfig);
    wexlaWrite(priv, WEXLA_CLIP_MIN, 0);

    /* The whole of video memory as a box; Init keeps the line inside the
     * 16 bits a box holds, and the rows are cut to them as well. */
    const int32_t lineBytes = priv->pixelSize * priv->width;
    /* Rows lie PIXBYTES apart: the box holds no row past the memory. */
    int32_t rows = (int32_t)(wexlaMemoryBytes(priv) / (uint32_t)priv->pixBytes);
    if (rows > MAX_SCREEN_DIMENSION)
        rows = MAX_SCREEN_DIMENSION;
    BoxRec box;
    box.x1 = 0;
    box.y1 = 0;
    box.x2 = (int16_t)lineBytes;
    box.y2 = (int16_t)rows;
    priv->screenBox = box;
    priv->clipBox = box;
    priv->offX = 0;
    priv->offY = priv->height;
    priv->offWidth = priv->width;
    priv->offHeight = box.y2 > priv->height ? box.y2 - priv->height : 0;

    const uint32_t x1 = (uint32_t)box.x1, y1 = (uint32_t)box.y1;
    const uint32_t x2 = (uint32_t)box.x2 - 1, y2 = (uint32_t)box.y2 - 1;
    wexlaWrite(priv, WEXLA_CLIP_MIN, x1 << 16 | y1);
    wexlaWrite(priv, WEXLA_CLIP_MAX, x2 << 16 | y2);
    wexlaWrite(priv, WEXLA_MEMCONF, (uint32_t)priv->memSize);
    wexlaWrite(priv, WEXLA_HRZSR, priv->hrzsr);
    wexlaWrite(priv, WEXLA_HRZBR, priv->hrzbr);
    wexlaWrite(priv, WEXLA_HRZBF, priv->hrzbf);
    wexlaWrite(priv, WEXLA_HRZT, priv->hrzt);
    wexlaWrite(priv, WEXLA_VRTSR, priv->vrtsr);
    wexlaWrite(priv, WEXLA_VRTBR, priv->vrtbr);
    wexlaWrite(priv, WEXLA_VRTBF, priv->vrtbf);
    wexlaWrite(priv, WEXLA_VRTT, priv->vrtt);
    wexlaWrite(priv, WEXLA_SRCTL, priv->srCtl);

    wexlaModeProcedure(pScreen, "InitDac");
    wexlaModeProcedure(pScreen, "SetGraphics");
    wexlaRestoreColormap(pScreen);
}

/* The chip keeps its registers; the procedure gives the text mode back. */
Bool wexlaSetText(ScreenPtr pScreen) {
    return grafExec(wexlaGrafinfo(pScreen), "SetText", 0);
}

/* No register shadows or caches to keep over a switch. */
static void wexlaSaveGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static void wexlaRestoreGState(ScreenPtr pScreen) {
    (void)pScreen;
}

static int wexlaBlankScreen(int on, ScreenPtr pScreen) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    wexlaWrite(priv, WEXLA_SRCTL,
               on ? priv->srCtl & ~(uint32_t)WEXLA_SRCTL_PICTURE
                  : priv->srCtl | WEXLA_SRCTL_PICTURE);
    return 1;
}

/* Only for the uncalled paths that poke a register by offset. */
void writereg(uint32_t offset, uint32_t value, ScreenPtr pScreen) {
    wexlaWrite(WEXLA_PRIVATE(pScreen), offset, value);
}

static void wexlaFreeScreen(int index, ScreenPtr pScreen) {
    (void)index;
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    if (priv == nullptr)
        return;
    Xfree(priv);
    pScreen->devPrivates[wexlaScreenPrivateIndex].ptr = nullptr;
}

/* ---- GC and window validation ---- */

void wexlaValidateWindowPriv(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &wexlaWinOps;
}

/* An opaque stipple draws solid while its colours agree, so a colour change
 * can move it between records as a fill-style change does. */
int wexlaValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCForeground | GCBackground)) {
        nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
        switch (pGC->fillStyle) {
        case FillSolid:
            gcPriv->ops = &wexlaSolidPrivOps;
            break;
        case FillTiled:
            gcPriv->ops = &wexlaTiledPrivOps;
            break;
        case FillStippled:
            gcPriv->ops = &wexlaStippledPrivOps;
            break;
        case FillOpaqueStippled:
            gcPriv->ops =
                pGC->fgPixel == pGC->bgPixel ? &wexlaSolidPrivOps : &wexlaOpStippledPrivOps;
            break;
        default:
            break;
        }
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* ---- Start-up ---- */

static Bool wexlaInitHW(ScreenPtr pScreen) {
    wexlaScreenPrivPtr priv = WEXLA_PRIVATE(pScreen);
    GrafinfoHandle graf = wexlaGrafinfo(pScreen);
    uint32_t areaLength = 0;
    void *mapped = nullptr;
    if (!grafGetMemInfo(graf, nullptr, nullptr, &areaLength, &mapped) || mapped == nullptr) {
        ErrorF(msgNoMemory);
        return 0;
    }
    priv->registers = (uint8_t *)mapped;
    priv->frameBuffer = priv->registers + WEXLA_FRAME_OFFSET;
    if (!wexlaGetWexlaParms(pScreen)) {
        ErrorF(msgNoParms);
        return 0;
    }
    /* The registers and the memory MEMSIZE configures must lie inside the
     * area the server mapped. */
    const uint32_t memory = wexlaMemoryBytes(priv);
    if (areaLength < WEXLA_FRAME_OFFSET + memory) {
        ErrorF(msgNoMemory);
        return 0;
    }
    /* The engine draws at the line the system configuration sets, the
     * processor PIXBYTES apart: the two must agree. */
    if (wexlaLineBytes(priv->sysConfig) != (uint32_t)priv->pixBytes) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    /* Images are read and written PIXBYTES apart. */
    const uint64_t reach =
        (uint64_t)priv->pixBytes * (uint64_t)(priv->height - 1) + (uint64_t)priv->width;
    if (reach > memory) {
        ErrorF(msgPixelInfo);
        return 0;
    }

    wexlaSetGraphics(pScreen);
    /* A mode procedure that is missing or stopped half way leaves a mode
     * nobody described: the screen is refused rather than shown wrong. */
    if (priv->failedProcedure != nullptr) {
        ErrorF(msgNeedsProcedure, priv->failedProcedure);
        wexlaSetText(pScreen);
        return 0;
    }
    return 1;
}

/* The private, stored at the driver's index in the screen; null when the
 * server has none to give. */
static wexlaScreenPrivPtr wexlaAllocPrivate(ScreenPtr pScreen) {
    if (wexlaGeneration != serverGeneration) {
        const int index = AllocateScreenPrivateIndex();
        if (index < 0)
            return nullptr;
        wexlaScreenPrivateIndex = index;
        wexlaGeneration = serverGeneration;
    }
    wexlaScreenPrivPtr priv = (wexlaScreenPrivPtr)Xalloc(sizeof(wexlaScreenPrivate));
    if (priv == nullptr)
        return nullptr;
    __builtin_memset(priv, 0, sizeof(*priv));
    pScreen->devPrivates[wexlaScreenPrivateIndex].ptr = priv;
    return priv;
}

static Bool wexlaInitScreen(ScreenPtr pScreen, wexlaScreenPrivPtr priv) {
    GrafinfoHandle graf = wexlaGrafinfo(pScreen);
    int width, height;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height)) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    int mmWidth = DEFAULT_MONITOR_MM, mmHeight = DEFAULT_MONITOR_MM;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    int pixBytes = width;
    grafGetInt(graf, "PIXBYTES", &pixBytes);
    int pixelSize = 1;
    grafGetInt(graf, "PIXELSIZE", &pixelSize);
    /* The mode set divides by the line and keeps it in a 16-bit box; rows
     * narrower than the screen would overlap. */
    if (width <= 0 || height <= 0 || pixelSize <= 0 || width > MAX_SCREEN_DIMENSION ||
        height > MAX_SCREEN_DIMENSION || pixelSize > MAX_SCREEN_DIMENSION / width ||
        pixBytes < width) {
        ErrorF(msgPixelInfo);
        return 0;
    }
    priv->width = width;
    priv->height = height;
    priv->pixelSize = pixelSize;
    priv->pixBytes = pixBytes;

    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;
    if (!nfbAddVisual(pScreen, &wexlaVisual))
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &wexlaSolidPrivOps;
    nfb->SetColor = wexlaSetColor;
    nfb->LoadColormap = genLoadColormap;
    nfb->BlankScreen = wexlaBlankScreen;
    nfb->driverFlag = 1;
    nfb->ValidateWindowPriv = wexlaValidateWindowPriv;

    if (!wexlaInitHW(pScreen))
        return 0;
    vexoSWCursorInitialize(pScreen);
    const Bool cmap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!cmap)
        return 0;
    vexoSysInfoInit(pScreen, &wexlaSysInfo);
    nfbSetOptions(pScreen, 50, 0, 0);
    return 1;
}

static Bool wexlaInit(int index, ScreenPtr pScreen, int argc, char **argv) {
    (void)argc;
    (void)argv;
    ErrorF(msgInit, index);
    wexlaBuildRasterOps();
    wexlaScreenPrivPtr priv = wexlaAllocPrivate(pScreen);
    if (priv == nullptr)
        return 0;
    if (wexlaInitScreen(pScreen, priv))
        return 1;
    /* The server closes only screens that started: nothing else would free
     * the private. */
    wexlaFreeScreen(index, pScreen);
    return 0;
}

extern "C" {
DRV_EXPORT ScreenInfo wexlaScreenInfo = {wexlaProbe, wexlaInit, "wexla", {}};
}
