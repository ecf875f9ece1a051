/*
 * Mach64 screen state: blanking, the console-switch callbacks, the palette
 * saved at start-up and restored for the console, colormap loading, the GC
 * and window records, the hardware scissors and the best sizes.
 */
#include "mach64.h"

/* Every DAC access of this source is followed by an ErrorF that logs
 * nothing: the access pattern the DAC has always been driven with. */
#pragma GCC diagnostic ignored "-Wformat-zero-length"
static inline void m64DacPause(void) {
    ErrorF("");
}

/* ---- Operation records ---- */

PrivOps UNAME(SolidPrivOps) = {genSolidFillRects, UNAME(SolidFS), {.ZeroSeg = UNAME(FillZeroSeg)},
                               genSolidGCOp4,     genSolidGCOp5,  genSolidGCOp6};
PrivOps UNAME(TiledPrivOps) = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                               genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
PrivOps UNAME(StippledPrivOps) = {
    UNAME(StippledFillRects), genStippledFS,    {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,         genStippledGCOp5, genStippledGCOp6};
PrivOps UNAME(OpStippledPrivOps) = {
    UNAME(OpStippledFillRects), genOpStippledFS,    {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,         genOpStippledGCOp5, genOpStippledGCOp6};

/* Writable: the server may rewrite slots. */
WinOps UNAME(WinOps) = {UNAME(CopyRect),
                        UNAME(DrawSolidRects),
                        UNAME(DrawImage),
                        UNAME(DrawMonoImage),
                        UNAME(DrawOpaqueMonoImage),
                        UNAME(ReadImage),
                        UNAME(DrawPoints),
                        UNAME(TileRects),
                        UNAME(DrawMonoGlyphs),
                        {.DrawFontText8 = UNAME(DrawFontText)},
                        genWinOp11,
                        genWinOp12,
                        genWinOp13,
                        UNAME(SetClipRegions),
                        UNAME(ValidateWindowGC)};

/* ---- Blanking ---- */

int UNAME(BlankScreen)(int on, ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    LNAME(CheckedWait)(priv, M64_PREFIX "BlankScreen");
    uint32_t crtc = m64In(priv, CRTC_GEN_CNTL);
    m64Out(priv, CRTC_GEN_CNTL, on ? crtc | CRTC_BLANK : crtc & ~CRTC_BLANK);
    return 1;
}

/* ---- Palette saved for the console ---- */

void UNAME(SaveDACState)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    LNAME(CheckedWait)(priv, M64_PREFIX "SaveDACState");
    m64OutByte(priv, priv->dacReadIndex, 0);
    m64DacPause();
    for (int i = 0; i < 768; i++)
        priv->dacSave[i] = m64InByte(priv, priv->dacData);
}

void UNAME(RestoreDACState)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    LNAME(CheckedWait)(priv, M64_PREFIX "RestoreDACState");
    m64OutByte(priv, priv->dacWriteIndex, 0);
    m64DacPause();
    for (int i = 0; i < 768; i++) {
        m64OutByte(priv, priv->dacData, priv->dacSave[i]);
        m64DacPause();
    }
}

/* ---- Console switch ---- */

void UNAME(SetGraphics)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    UNAME(InitHW)(pScreen);
    m64Out(priv, SC_LEFT_RIGHT, priv->shadowScissorX);
    m64Out(priv, SC_TOP_BOTTOM, priv->shadowScissorY);
    m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
    UNAME(RestoreColormap)(pScreen);
}

Bool UNAME(SetText)(ScreenPtr pScreen) {
    return LNAME(ToText)(pScreen, !grafQuery(M64_PRIV(pScreen)->grafinfo, "IGNOREPROBE"));
}

Bool LNAME(ToText)(ScreenPtr pScreen, Bool restoreDac) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (restoreDac)
        UNAME(RestoreDACState)(pScreen);
    LNAME(CheckedWait)(priv, "Set Text");
    UNAME(BlankScreen)(0, pScreen);
    LNAME(CheckedWait)(priv, "Set Text");
    return grafExec(priv->grafinfo, "SetText", 0);
}

/* What the console leaves in off-screen memory is not the cache's: every
 * glyph goes. */
void UNAME(SaveGState)(ScreenPtr pScreen) {
    UNAME(GlFlushCache)(pScreen);
}

void UNAME(RestoreGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

/* ---- Colormap ---- */

static void m64DacWrite(const teskScreenPrivate *priv, int index, uint8_t r, uint8_t g, uint8_t b) {
    m64OutByte(priv, priv->dacWriteIndex, (uint8_t)index);
    m64DacPause();
    m64OutByte(priv, priv->dacData, r);
    m64DacPause();
    m64OutByte(priv, priv->dacData, g);
    m64DacPause();
    m64OutByte(priv, priv->dacData, b);
    m64DacPause();
}

void UNAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                     ScreenPtr pScreen) {
    (void)unused;
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    LNAME(CheckedWait)(priv, M64_PREFIX "SetColor");
    if (index < 0 || index >= pScreen->visuals[0].ColormapEntries)
        return;
    int shift = priv->dacShift;
    m64DacWrite(priv, index, (uint8_t)(red >> shift), (uint8_t)(green >> shift),
                (uint8_t)(blue >> shift));
}

static void m64EntryColour(const Entry *e, uint16_t *r, uint16_t *g, uint16_t *b) {
    if (e->fShared) {
        *r = e->co.shco.red->color;
        *g = e->co.shco.green->color;
        *b = e->co.shco.blue->color;
    } else {
        *r = e->co.local.red;
        *g = e->co.local.green;
        *b = e->co.local.blue;
    }
}

void UNAME(LoadColormap)(ColormapPtr cmap) {
    if (!cmap)
        return;
    teskScreenPrivate *priv = M64_PRIV(cmap->pScreen);
    int entries = cmap->pVisual->ColormapEntries;
    int shift = priv->dacShift;
    for (int i = 0; i < entries; i++) {
        if (priv->depth != 8) {
            /* Direct colour: the DAC is an identity ramp. */
            m64DacWrite(priv, i, (uint8_t)i, (uint8_t)i, (uint8_t)i);
            continue;
        }
        uint16_t r, g, b;
        m64EntryColour(&cmap->red[i], &r, &g, &b);
        m64DacWrite(priv, i, (uint8_t)(r >> shift), (uint8_t)(g >> shift), (uint8_t)(b >> shift));
    }
}

void UNAME(RestoreColormap)(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

/* ---- GC and window records ---- */

/* An opaque stipple whose two colours agree draws as a solid fill, so a
 * change of either colour may call for the other record. */
int UNAME(ValidateWindowGC)(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    Bool opaque = pGC->fillStyle == FillOpaqueStippled;
    if ((changes & GCFillStyle) || (opaque && (changes & (GCForeground | GCBackground)))) {
        PrivOps *ops;
        switch (pGC->fillStyle) {
        case FillSolid:
            ops = &UNAME(SolidPrivOps);
            break;
        case FillTiled:
            ops = &UNAME(TiledPrivOps);
            break;
        case FillStippled:
            ops = &UNAME(StippledPrivOps);
            break;
        default:
            ops = pGC->fgPixel == pGC->bgPixel ? &UNAME(SolidPrivOps) : &UNAME(OpStippledPrivOps);
            break;
        }
        NFB_GC_PRIV(pGC)->ops = ops;
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

/* Filled by Init for vandu's screens that leave text to the server. */
WinOps UNAME(ServerTextWinOps);

void UNAME(ValidateWindowPriv)(WindowPtr pWin) {
    const teskScreenPrivate *priv = M64_PRIV(pWin->drawable.pScreen);
    NFB_WINDOW_PRIV(pWin)->ops =
        LNAME(LeavesTextToServer)(priv) ? &UNAME(ServerTextWinOps) : &UNAME(WinOps);
}

/* ---- Scissors ---- */

void UNAME(SetClipRegions)(BoxPtr boxes, int count, DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    FifoSpaceWait(priv, 2);
    uint32_t x, y;
    if (count != 0) {
        int left = boxes[0].x1 < 0 ? 0 : boxes[0].x1;
        int top = boxes[0].y1 < 0 ? 0 : boxes[0].y1;
        int right = boxes[0].x2 - 1 > priv->clipMaxX ? priv->clipMaxX : boxes[0].x2 - 1;
        int bottom = boxes[0].y2 - 1 > priv->clipMaxY ? priv->clipMaxY : boxes[0].y2 - 1;
        x = (uint32_t)(uint16_t)right << 16 | (uint32_t)(uint16_t)left;
        y = (uint32_t)(uint16_t)bottom << 16 | (uint32_t)(uint16_t)top;
    } else {
        x = (uint32_t)(uint16_t)priv->clipMaxX << 16;
        y = (uint32_t)(uint16_t)priv->clipMaxY << 16;
    }
    m64OutShadowed(priv, &priv->shadowScissorX, SC_LEFT_RIGHT, x);
    m64OutShadowed(priv, &priv->shadowScissorY, SC_TOP_BOTTOM, y);
}

/* ---- Best sizes ---- */

void UNAME(QueryBestSize)(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    const teskScreenPrivate *priv = M64_PRIV(pScreen);
    switch (cls) {
    case CursorShape:
        *width = *height = (uint16_t)priv->cursorSize;
        break;
    case TileShape:
    case StippleShape:
        if (*width > priv->tileArea.width)
            *width = (uint16_t)priv->tileArea.width;
        if (*height > priv->tileArea.height)
            *height = (uint16_t)priv->tileArea.height;
        break;
    default:
        break;
    }
}
