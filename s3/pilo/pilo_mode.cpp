/*
 * pilo: the mode switch (with the built-in register set for the S3
 * extensions when MODEASSIST asks for it), the engine's reset and defaults,
 * the return to text mode, the console-switch callbacks, the palette and
 * blanking.
 */
#include "pilo.h"

/* The built-in register set of the graphics mode. */
static const uint8_t piloSerData[5] = {0x01, 0x21, 0x0F, 0x00, 0x0E};
static const uint8_t piloCrtData[25] = {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
                                        0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x8C,
                                        0xDF, 0x80, 0x60, 0xE7, 0x04, 0xAB, 0xFF};
static const uint8_t piloCrtData16[25] = {0xC3, 0x9F, 0xA1, 0x85, 0xA9, 0x01, 0x0B, 0x3E, 0x00,
                                          0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x8C,
                                          0xDF, 0x00, 0x60, 0xE7, 0x04, 0xAB, 0xFF};
static const uint8_t piloGrData[9] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x0F, 0xFF};
/* Entry 16 (mode control) gets its 8-bit-pixel bit by depth before use. */
static uint8_t piloAttData[20] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
                                  0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x01, 0x00, 0x0F, 0x00};

#define ATTR_MODE_CONTROL 16
#define ATTR_MODE_8BIT 0x40
#define MODE_RETRACE_WAITS 15
#define SCREEN_ON_RETRACE_WAITS 2
#define SR0_RUN 0x03
#define SR1 0x01
#define MISC_KEEP 0x11
#define MISC_GRAPHICS 0xEE
#define DAC_16BIT 0x80 /* DAC mask bit that the 16-bit mode sets */

/* CR bits the mode switch owns, as masks of the bits it keeps. */
#define CR31_KEEP 0xC5
#define CR31_ENGINE 0x08
#define CR31_2K_MAP 0x02
#define CR32_KEEP (uint8_t) ~0x40
#define CR32_2K_MAP 0x40
#define CR34_FIFO 0x10
#define CR35_KEEP 0xF0
#define CR3A_ENHANCED 0x10
#define CR3B_FROM_TOTAL 5
#define CR42_KEEP 0xD0
#define CR42_16BIT 0x04
#define CR43_KEEP 0xF0
#define CR43_DAC_ACCESS 0x02
#define CR43_16BIT 0x0D
#define CR45_KEEP 0xFC

static void RetraceWait(const piloScreenPrivate *priv) {
    uint16_t status = (uint16_t)priv->statusPort;
    if (!(inb(status) & STATUS_VRETRACE))
        while (!(inb(status) & STATUS_VRETRACE))
            ;
    while (inb(status) & STATUS_VRETRACE)
        ;
}

/* The attribute index port after a flip-flop reset; with bit 5 clear the
 * display is off. */
static void piloAttrIndex(const piloScreenPrivate *priv, uint8_t index) {
    (void)inb((uint16_t)priv->statusPort);
    outb(VGA_ATTR, index);
}

static void piloWriteSR(uint8_t index, uint8_t value) {
    outb(VGA_SEQ_INDEX, index);
    outb(VGA_SEQ_DATA, value);
}

static uint8_t piloReadSR(uint8_t index) {
    outb(VGA_SEQ_INDEX, index);
    return inb(VGA_SEQ_DATA);
}

/* Step 3 of the mode switch: the built-in register set. */
static void piloLoadModeRegisters(const piloScreenPrivate *priv) {
    const int depth = priv->depth;
    const int twoK = depth != 8 && priv->memoryKB == 1024;

    RetraceWait(priv);
    piloAttrIndex(priv, 0x00);
    piloWriteSR(SR1, (uint8_t)(piloReadSR(SR1) | SR1_SCREEN_OFF));

    RetraceWait(priv);
    for (int i = 0; i < 5; i++)
        piloWriteSR((uint8_t)i, piloSerData[i]);

    const uint8_t *crt = depth == 16 ? piloCrtData16 : piloCrtData;
    piloWriteCR(priv, CR11, 0);
    for (int i = 0; i < 25; i++)
        piloWriteCR(priv, (uint8_t)i, crt[i]);

    for (int i = 0; i < 9; i++) {
        outb(VGA_GC_INDEX, (uint8_t)i);
        outb(VGA_GC_DATA, piloGrData[i]);
    }

    if (depth == 4)
        piloAttData[ATTR_MODE_CONTROL] &= (uint8_t)~ATTR_MODE_8BIT;
    else
        piloAttData[ATTR_MODE_CONTROL] |= ATTR_MODE_8BIT;
    (void)inb((uint16_t)priv->statusPort);
    for (int i = 0; i < 20; i++) {
        outb(VGA_ATTR, (uint8_t)i);
        outb(VGA_ATTR, piloAttData[i]);
    }

    outb(VGA_MISC_WRITE, (uint8_t)((inb(VGA_MISC_READ) & MISC_KEEP) | MISC_GRAPHICS));
    piloWriteCR(priv, CR38, CR38_UNLOCK);
    piloWriteCR(priv, CR39, CR39_UNLOCK);

    piloModifyCR(priv, CR31, CR31_KEEP, (uint8_t)(CR31_ENGINE | (twoK ? CR31_2K_MAP : 0)));
    piloModifyCR(priv, CR32, CR32_KEEP, twoK ? CR32_2K_MAP : 0);
    piloModifyCR(priv, CR34, 0xFF, CR34_FIFO);
    piloModifyCR(priv, CR35, CR35_KEEP, 0);
    piloModifyCR(priv, CR3A, (uint8_t)~CR3A_ENHANCED, depth != 4 ? CR3A_ENHANCED : 0);
    piloWriteCR(priv, CR3B, (uint8_t)(crt[0] - CR3B_FROM_TOTAL));
    piloModifyCR(priv, CR40, 0xFF, CR40_ENGINE_ON);
    piloModifyCR(priv, CR42, CR42_KEEP, depth == 16 ? CR42_16BIT : 0);
    piloModifyCR(priv, CR43, CR43_KEEP, CR43_DAC_ACCESS);
    /* CR43 is still the selected index: its data port is written directly. */
    if (depth == 16) {
        outb(VGA_DAC_MASK, (uint8_t)(inb(VGA_DAC_MASK) | DAC_16BIT));
        outb((uint16_t)priv->crtcDataPort,
             (uint8_t)((inb((uint16_t)priv->crtcDataPort) & CR43_KEEP) | CR43_16BIT));
    } else {
        outb(VGA_DAC_MASK, (uint8_t)(inb(VGA_DAC_MASK) & ~DAC_16BIT));
        outb((uint16_t)priv->crtcDataPort,
             (uint8_t)(inb((uint16_t)priv->crtcDataPort) & CR43_KEEP));
    }
    piloModifyCR(priv, CR45, CR45_KEEP, 0);
    outw(PILO_ADV_FUNC, ADV_FUNC_GRAPHICS);
}

/* Step 7: the engine reset and its defaults. */
static void piloResetEngine(const piloScreenPrivate *priv) {
    FifoSpaceWait(7);
    outw(PILO_SUBSYS_CTL, SUBSYS_RESET);
    outw(PILO_SUBSYS_CTL, SUBSYS_RUN);
    piloOut(PILO_WRITE_MASK, 0xFF);
    piloOut(PILO_READ_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_BG_COLOUR, 0);
    piloOut(PILO_FG_COLOUR, 0);
    FifoSpaceWait(8);
    piloOut(PILO_BG_MIX, MIX_REPLACE);
    piloOut(PILO_FG_MIX, MIX_SRC_FOREGROUND | MIX_REPLACE);
    piloOutMulti(MULTI_CLIP_TOP, 0);
    piloOutMulti(MULTI_CLIP_LEFT, 0);
    piloOutMulti(MULTI_CLIP_RIGHT, priv->clipRight);
    piloOutMulti(MULTI_CLIP_BOTTOM, priv->clipBottom);
    piloOut(PILO_CUR_X, 0);
    piloOut(PILO_CUR_Y, 0);
}

/* Step 8: every line of the frame buffer as the engine sees it to 0. */
static void piloClearMemory(const piloScreenPrivate *priv) {
    FifoSpaceWait(3);
    piloOut(PILO_MAJ_AXIS, (uint32_t)priv->clipRight);
    piloOutMulti(MULTI_HEIGHT, priv->clipBottom);
    piloOut(PILO_CMD, CMD_FILL);
}

Bool piloSetGraphicsMode(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    RetraceWait(priv);
    outb(VGA_DAC_MASK, 0);
    if (priv->textDacOn && !priv->graphicsShown)
        priv->graphicsShown = 1;

    if (priv->modeAssist)
        piloLoadModeRegisters(priv);
    Bool ran = grafExec(priv->grafinfo, "SetGraphics", 0) != 0;
    if (priv->modeAssist) {
        if (priv->depth == 4 && priv->memoryKB == 512 && priv->adjustCR13)
            piloWriteCR(priv, CR13, (uint8_t)(piloReadCR(priv, CR13) >> 1));
        piloWriteCR(priv, CR38, CR38_LOCK);
        piloWriteCR(priv, CR39, CR39_LOCK);
    }
    /* Without the mode the engine may not be there: nothing is started. */
    if (!ran)
        return 0;
    for (int i = 0; i < MODE_RETRACE_WAITS; i++)
        RetraceWait(priv);

    piloResetEngine(priv);
    piloClearMemory(priv);
    piloWriteSR(0, SR0_RUN);

    for (int i = 0; i < SCREEN_ON_RETRACE_WAITS; i++)
        RetraceWait(priv);
    piloWriteSR(SR1, (uint8_t)(piloReadSR(SR1) & ~SR1_SCREEN_OFF));
    outb(VGA_DAC_MASK, 0xFF);
    piloAttrIndex(priv, ATTR_DISPLAY_ON);
    priv->blanked = 0;
    return 1;
}

void piloSetGraphics(ScreenPtr pScreen) {
    piloSetGraphicsMode(pScreen);
}

Bool piloSetText(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    FifoSpaceWait(8);
    EngineIdleWait();
    if (priv->modeAssist) {
        RetraceWait(priv);
        outb(VGA_DAC_MASK, 0);
        piloAttrIndex(priv, 0x00);
        outw(PILO_ADV_FUNC, ADV_FUNC_TEXT);
        piloWriteCR(priv, CR38, CR38_UNLOCK);
        piloWriteCR(priv, CR39, CR39_UNLOCK);
        piloModifyCR(priv, CR31, CR31_KEEP, 0);
        piloModifyCR(priv, CR32, CR32_KEEP, 0);
        piloModifyCR(priv, CR34, (uint8_t)~CR34_FIFO, 0);
        piloModifyCR(priv, CR35, CR35_KEEP, 0);
        piloModifyCR(priv, CR3A, (uint8_t)~CR3A_ENHANCED, 0);
        piloModifyCR(priv, CR40, (uint8_t)~CR40_ENGINE_ON, 0);
        piloModifyCR(priv, CR42, CR42_KEEP, 0);
        piloModifyCR(priv, CR43, CR43_KEEP, 0);
        piloModifyCR(priv, CR43, CR43_KEEP, CR43_DAC_ACCESS);
        outb(VGA_DAC_MASK, (uint8_t)(inb(VGA_DAC_MASK) & ~DAC_16BIT));
        piloModifyCR(priv, CR43, CR43_KEEP, 0);
        piloModifyCR(priv, CR45, CR45_KEEP, 0);
    }
    grafExec(priv->grafinfo, "SetText", 0);
    if (priv->modeAssist) {
        piloWriteCR(priv, CR38, CR38_LOCK);
        piloWriteCR(priv, CR39, CR39_LOCK);
    }
    outb(VGA_DAC_MASK, priv->textDacOn ? 0xFF : 0);
    priv->graphicsShown = 0;
    return 1;
}

/* The mode set on the way back clears video memory, cached glyphs too. */
void piloSaveGState(ScreenPtr pScreen) {
    piloGlFlushCache(pScreen);
}

static Bool piloRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (nfb->LoadColormap)
        nfb->LoadColormap(nfb->installedCmap);
    return 1;
}

void piloRestoreGState(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    /* The sprite images were in the cleared memory. */
    if (priv->softwareCursor)
        priv->spriteCursor = 0;
    /* So were the hardware cursor's image and registers. */
    piloHWCursorRestore(pScreen);
    piloRestoreColormap(pScreen);
}

void piloCloseScreen(int index, ScreenPtr pScreen) {
    (void)index;
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (!priv)
        return;
    pScreen->QueryBestSize = priv->savedQueryBestSize;
    piloGlCacheClose(pScreen);
    Xfree(priv);
    pScreen->devPrivates[piloScreenPrivateIndex].ptr = 0;
}

/* ---- palette ---- */

/* At depth 4 and 16 the picture reaches the DAC through 16-entry groups, so
 * every colour goes into all of them. */
static void DacWrite(const piloScreenPrivate *priv, int index, uint16_t red, uint16_t green,
                     uint16_t blue) {
    const int shift = priv->dacShift;
    const int copies = priv->depth == 8 ? 1 : 16;
    outb(VGA_DAC_MASK, 0xFF);
    for (int k = 0; k < copies; k++) {
        outb(VGA_DAC_WRITE_INDEX, (uint8_t)(index + 16 * k));
        outb(VGA_DAC_DATA, (uint8_t)(red >> shift));
        outb(VGA_DAC_DATA, (uint8_t)(green >> shift));
        outb(VGA_DAC_DATA, (uint8_t)(blue >> shift));
    }
}

void piloSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                  ScreenPtr pScreen) {
    (void)unused;
    if (index < 0 || index >= pScreen->visuals[0].ColormapEntries)
        return;
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    DacWrite(priv, index, red, green, blue);
    /* The cursor's colours may have been matched to this entry. */
    if (!priv->softwareCursor && ((uint32_t)index == priv->cursorFgItem.pixel ||
                                  (uint32_t)index == priv->cursorBgItem.pixel))
        piloHWCursorRematch(pScreen);
}

void piloLoadColormap(ColormapPtr cmap) {
    if (!cmap || !cmap->red || !cmap->pVisual)
        return;
    ScreenPtr pScreen = cmap->pScreen;
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    const int entries = cmap->pVisual->ColormapEntries;
    for (int i = 0; i < entries; i++) {
        uint16_t r, g, b;
        xEntryColor(&cmap->red[i], &r, &g, &b);
        DacWrite(priv, i, r, g, b);
    }
    piloHWCursorRematch(pScreen);
}

void piloHWCursorOn(int on, ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    piloWriteCR(priv, CR39, CR39_UNLOCK);
    piloModifyCR(priv, CR45, (uint8_t)~CR45_CURSOR_ON, on ? CR45_CURSOR_ON : 0);
}

int piloBlankScreen(int on, ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    RetraceWait(priv);
    priv->blanked = on ? 1 : 0;
    if (on) {
        outb(VGA_DAC_MASK, 0);
        piloAttrIndex(priv, 0x00);
    } else {
        outb(VGA_DAC_MASK, 0xFF);
        piloAttrIndex(priv, ATTR_DISPLAY_ON);
    }
    /* The DAC mask does not hide the cursor at depth 16. Unblanking shows it
     * again only when it was shown. */
    if (priv->depth == 16 && !priv->softwareCursor && (on || priv->cursorShown))
        piloHWCursorOn(on ? 0 : 1, pScreen);
    return 1;
}
