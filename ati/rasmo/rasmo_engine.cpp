/*
 * rasmo: engine access (the two waits, reset and defaults), the hardware
 * clip, the palette with the blanking that goes through it, and the console
 * switch.
 */
#include "rasmo.h"

/* The 8514/A mix codes by X alu. */
const uint16_t rasmoRasterOp[16] = {0x1, 0xC, 0xD, 0x7, 0xE, 0x3, 0x5, 0xB,
                                    0xF, 0x6, 0x0, 0xA, 0x4, 0x9, 0x8, 0x2};

/* ---- waits ---- */

/* Until `entries` of the 16 FIFO entries are free: each queued entry sets
 * one more low bit of the FIFO status. */
void rasmoFifoSpaceWait(int entries) {
    const uint16_t full = (uint16_t)(0x10000u >> entries);
    while (inw(FIFO_STAT) & full)
        ;
}

/* Bounded: a stuck engine must not hang a mode switch, and the reset or
 * status write that follows recovers it. */
void rasmoEngineIdleWait(void) {
    for (int i = 0; i < ENGINE_IDLE_LIMIT; i++)
        if (!(inw(GE_STAT) & GE_BUSY))
            return;
}

/* ---- the engine ---- */

void rasmoInitCop(ScreenPtr pScreen) {
    (void)pScreen;
    outw(SUBSYS_CNTL, SUBSYS_RESET);
    outw(SUBSYS_CNTL, SUBSYS_RUN);
    rasmoEngineIdleWait();
    outw(SUBSYS_CNTL, SUBSYS_CLEAR_STATUS);
    outw(ENGINE_CLEAR, 0);
    outw(SRC_X_START, 0);
    outw(SRC_X_END, 1);
    /* Copies read their source through the read mask: all planes. */
    outw(RD_MASK, 0xFFFF);
}

void rasmoStopCop(ScreenPtr pScreen) {
    (void)pScreen;
    rasmoEngineIdleWait();
    outw(SUBSYS_CNTL, SUBSYS_CLEAR_STATUS);
}

void rasmoSaveCop(ScreenPtr pScreen) {
    rasmoStopCop(pScreen);
}

/* Every operation programs what it uses: nothing to restore. */
void rasmoRestoreCop(ScreenPtr pScreen) {
    (void)pScreen;
}

/* ---- the hardware clip ---- */

static void rasmoWriteClip(const rasmoScreenPrivate *priv) {
    rasmoFifoSpaceWait(4);
    outw(SCISSOR_LEFT, (uint16_t)priv->clipX1);
    outw(SCISSOR_TOP, (uint16_t)priv->clipY1);
    outw(SCISSOR_RIGHT, (uint16_t)(priv->clipX2 - 1));
    outw(SCISSOR_BOTTOM, (uint16_t)(priv->clipY2 - 1));
}

static void rasmoNoClip(rasmoScreenPrivPtr priv) {
    priv->clipX1 = 0;
    priv->clipY1 = 0;
    priv->clipX2 = CLIP_LIMIT;
    priv->clipY2 = CLIP_LIMIT;
}

void rasmoSetClip(BoxPtr boxes, int count, DrawablePtr pDraw) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    if (count != 0) {
        priv->clipX1 = boxes[0].x1;
        priv->clipY1 = boxes[0].y1;
        priv->clipX2 = boxes[0].x2;
        priv->clipY2 = boxes[0].y2;
    } else {
        rasmoNoClip(priv);
    }
    rasmoWriteClip(priv);
}

void rasmoInitClip(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    rasmoNoClip(priv);
    rasmoWriteClip(priv);
}

void rasmoRestoreClip(ScreenPtr pScreen) {
    rasmoWriteClip(RASMO_PRIV(pScreen));
}

/* ---- the palette ---- */

static void rasmoDacWrite(int index, uint16_t red, uint16_t green, uint16_t blue) {
    outb(DAC_W_INDEX, (uint8_t)index);
    outb(DAC_DATA, (uint8_t)(red >> DAC_SHIFT));
    outb(DAC_DATA, (uint8_t)(green >> DAC_SHIFT));
    outb(DAC_DATA, (uint8_t)(blue >> DAC_SHIFT));
}

void rasmoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    (void)pScreen;
    rasmoDacWrite(index, red, green, blue);
}

/* The components of colormap entry `e`: its own or, for a shared entry, the
 * shared colours'. */
static uint16_t entryRed(const Entry *e) {
    return e->fShared ? e->co.shco.red->color : e->co.local.red;
}
static uint16_t entryGreen(const Entry *e) {
    return e->fShared ? e->co.shco.green->color : e->co.local.green;
}
static uint16_t entryBlue(const Entry *e) {
    return e->fShared ? e->co.shco.blue->color : e->co.local.blue;
}

void rasmoLoadColormap(ColormapPtr pmap) {
    if (!pmap)
        return;
    const VisualRec *v = pmap->pVisual;
    outb(DAC_W_INDEX, 0);
    if (v->class_ == TrueColor || v->class_ == DIRECT_COLOR) {
        /* Each DAC entry takes its components from the colour channels'
         * own entries (a direct-colour visual's three maps). */
        const uint32_t n = 1u << v->nplanes;
        for (uint32_t i = 0; i < n; i++) {
            outb(DAC_DATA,
                 (uint8_t)(pmap->red[(i & v->redMask) >> v->offsetRed].co.local.red >> DAC_SHIFT));
            outb(DAC_DATA,
                 (uint8_t)(pmap->green[(i & v->greenMask) >> v->offsetGreen].co.local.green >>
                           DAC_SHIFT));
            outb(DAC_DATA, (uint8_t)(pmap->blue[(i & v->blueMask) >> v->offsetBlue].co.local.blue >>
                                     DAC_SHIFT));
        }
    } else {
        for (int i = 0; i < v->ColormapEntries; i++) {
            const Entry *e = &pmap->red[i];
            outb(DAC_DATA, (uint8_t)(entryRed(e) >> DAC_SHIFT));
            outb(DAC_DATA, (uint8_t)(entryGreen(e) >> DAC_SHIFT));
            outb(DAC_DATA, (uint8_t)(entryBlue(e) >> DAC_SHIFT));
        }
    }
    outb(DAC_MASK, DAC_ALL_PLANES);
}

/* Entry 0 black and a pixel mask of 0: every pixel shows entry 0. */
void rasmoBlankColormap(ScreenPtr pScreen) {
    (void)pScreen;
    outb(DAC_W_INDEX, 0);
    outb(DAC_DATA, 0);
    outb(DAC_DATA, 0);
    outb(DAC_DATA, 0);
    outb(DAC_MASK, 0);
}

void rasmoRestoreColormap(ScreenPtr pScreen) {
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->LoadColormap(nfb->installedCmap);
}

/* Blanking goes through the palette, so a direct-colour screen, whose
 * palette the driver does not load, has none. */
int rasmoBlankScreen(int on, ScreenPtr pScreen) {
    if (pScreen->rootDepth > 8)
        return 0;
    nfbScreenPrivPtr nfb = NFB_SCREEN_PRIV(pScreen);
    if (!on) {
        nfb->SetColor = rasmoSetColor;
        nfb->LoadColormap = rasmoLoadColormap;
        rasmoRestoreColormap(pScreen);
        return 1;
    }
    /* While blanked, palette changes must not reach the DAC; showing the
     * screen loads the whole installed colormap. */
    rasmoBlankColormap(pScreen);
    nfb->SetColor = (SetColorProc)NoopDDA;
    nfb->LoadColormap = (LoadColormapProc)NoopDDA;
    return 1;
}

/* ---- the console switch ---- */

static GrafinfoHandle rasmoGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

Bool rasmoSetMode(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    if (priv->flags & RASMO_IN_GRAPHICS)
        return 1;
    const Bool ran = grafExec(rasmoGrafinfo(pScreen), "SetGraphics", 0) != 0;
    rasmoInitCop(pScreen);
    priv->flags |= RASMO_IN_GRAPHICS;
    rasmoBlankScreen(0, pScreen);
    return ran;
}

/* Back from the console there is nobody to tell of a failed mode
 * procedure; the screen goes on with what the driver set up itself. */
void rasmoSetGraphics(ScreenPtr pScreen) {
    rasmoSetMode(pScreen);
}

Bool rasmoSetText(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    if (!(priv->flags & RASMO_IN_GRAPHICS))
        return 1;
    if (!(priv->flags & RASMO_SW_CURSOR))
        rasmoEnableCursor(0);
    rasmoStopCop(pScreen);
    grafExec(rasmoGrafinfo(pScreen), "SetText", 0);
    priv->flags &= ~RASMO_IN_GRAPHICS;
    return 1;
}

void rasmoSaveGState(ScreenPtr pScreen) {
    rasmoSaveCop(pScreen);
}

void rasmoRestoreGState(ScreenPtr pScreen) {
    rasmoRestoreColormap(pScreen);
    rasmoRestoreCop(pScreen);
    rasmoRestoreClip(pScreen);
    rasmoRestoreMem(pScreen);
    rasmoRestoreCursor(pScreen);
}
