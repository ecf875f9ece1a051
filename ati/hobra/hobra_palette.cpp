/*
 * hobra: the palette DAC (colour hooks at depths 4 and 8), blanking by the
 * grafinfo code procedures or the DAC's pixel mask, the DAC saved for the
 * text console, and the four console-switch routines.
 */
#include "hobra.h"

#define DEPTH4_COPIES 16 /* DAC entries that show one 4-bit pixel */
#define DEPTH4_STEP 16

static uint8_t hobraDacValue(const hobraScreenPrivate *priv, uint16_t component) {
    return (uint8_t)(component >> priv->dacShift);
}

/* One entry from the write index on: the DAC moves its index on after the
 * blue. */
static void hobraDacWrite(const hobraScreenPrivate *priv, uint8_t red, uint8_t green,
                          uint8_t blue) {
    outb(priv->palData, red);
    outb(priv->palData, green);
    outb(priv->palData, blue);
}

/* At depth 4 the pixel sits in the low four bits of the DAC index: every
 * colour goes to the 16 entries that differ only above them. */
static void hobraDacWriteDepth4(const hobraScreenPrivate *priv, int index, uint8_t red,
                                uint8_t green, uint8_t blue) {
    for (int i = 0; i < DEPTH4_COPIES; i++) {
        outb(priv->palWrite, (uint8_t)(index + DEPTH4_STEP * i));
        hobraDacWrite(priv, red, green, blue);
    }
}

void hobraSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if ((uint32_t)index >= pScreen->visuals[0].ColormapEntries || priv->blanked)
        return;
    uint8_t r = hobraDacValue(priv, red), g = hobraDacValue(priv, green),
            b = hobraDacValue(priv, blue);
    if (priv->depth == 8) {
        outb(priv->palWrite, (uint8_t)index);
        hobraDacWrite(priv, r, g, b);
    } else {
        hobraDacWriteDepth4(priv, index, r, g, b);
    }
}

static void hobraEntryColour(const Entry *e, uint16_t *red, uint16_t *green, uint16_t *blue) {
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

void hobraLoadColormap(ColormapPtr pmap) {
    if (!pmap)
        return;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pmap->pScreen);
    if (priv->blanked)
        return;
    outb(priv->palWrite, 0);
    const int entries = pmap->pVisual->ColormapEntries;
    for (int i = 0; i < entries; i++) {
        uint16_t red, green, blue;
        hobraEntryColour(&pmap->red[i], &red, &green, &blue);
        uint8_t r = hobraDacValue(priv, red), g = hobraDacValue(priv, green),
                b = hobraDacValue(priv, blue);
        if (priv->depth == 8)
            hobraDacWrite(priv, r, g, b);
        else
            hobraDacWriteDepth4(priv, i, r, g, b);
    }
}

void hobraRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

/* A code procedure of the screen's grafinfo, run when it exists. */
static Bool hobraRunCode(ScreenPtr pScreen, const char *procedure) {
    GrafCode code;
    if (!grafGetFunction(hobraScreenGrafinfo(pScreen), procedure, &code))
        return 0;
    grafRunCode(code, 0);
    return 1;
}

int hobraBlankScreen(int on, ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    priv->blanked = 0;
    if (on) {
        /* Entry 0 black: with the pixel mask 0 every pixel shows it. */
        hobraSetColor(0, 0, 0, 0, 0, pScreen);
        if (!hobraRunCode(pScreen, "BlankScreen"))
            outb(priv->palMask, 0);
    } else {
        hobraRestoreColormap(pScreen);
        if (!hobraRunCode(pScreen, "UnblankScreen"))
            outb(priv->palMask, 0xFF);
    }
    priv->blanked = on;
    return 1;
}

void hobraSaveDACState(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    FifoSpaceWait(2);
    outb(priv->palRead, 0);
    for (int i = 0; i < (int)sizeof(priv->dacSave); i++)
        priv->dacSave[i] = inb(priv->palData);
}

void hobraRestoreDACState(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    FifoSpaceWait(2);
    outb(priv->palWrite, 0);
    for (int i = 0; i < (int)sizeof(priv->dacSave); i++)
        outb(priv->palData, priv->dacSave[i]);
}

/* Back from the console: the engine set up again, the picture blanked
 * until the server unblanks it (which reloads the colormap). */
void hobraSetGraphics(ScreenPtr pScreen) {
    hobraInitHW(pScreen);
    hobraBlankScreen(1, pScreen);
    hobraRestoreColormap(pScreen);
    FifoSpaceWait(3);
    outw(HOBRA_WRITE_MASK, ALL_PLANES);
    outw(HOBRA_READ_MASK, ALL_PLANES);
    outw(HOBRA_MULTI, PIXCNTL_FOREGROUND);
}

/* To the console: video memory cleared (screen and off-screen alike), its
 * palette back, the picture on, and the engine idle before "SetText"
 * changes the mode. */
Bool hobraSetText(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    WindowPtr root = WindowTable[pScreen->myNum];
    hobraDrawSolidRects(&priv->fullClip, 1, 0, GXcopy, ~0u, root ? &root->drawable : NULL);
    if (!grafQuery(hobraScreenGrafinfo(pScreen), "IGNOREPROBE"))
        hobraRestoreDACState(pScreen);
    if (!hobraRunCode(pScreen, "UnBlankScreen"))
        outb(priv->palMask, 0xFF);
    EngineIdleWait();
    return grafExec(priv->grafinfo, "SetText", 0);
}

/* The console may overwrite video memory: no glyph stays cached. */
void hobraSaveGState(ScreenPtr pScreen) {
    hobraGlFlushCache(pScreen);
}

/* hobraSetGraphics has set the engine up again. */
void hobraRestoreGState(ScreenPtr pScreen) {
    (void)pScreen;
}
