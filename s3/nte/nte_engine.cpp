/*
 * nte family: the engine side of the screen state. The raster-op table, the
 * mode switch with the engine defaults and a cleared screen, the return to
 * text mode, the full-extent scissors, blanking and the 8-bit palette.
 */
#include "nte.h"

uint8_t NAME(RasterOps)[16];

/* The 8514/A mix code of each X alu. */
void nteInitRasterOps(void) {
    static const uint8_t codes[16] = {0x01, 0x0C, 0x0D, 0x07, 0x0E, 0x03, 0x05, 0x0B,
                                      0x0F, 0x06, 0x00, 0x0A, 0x04, 0x09, 0x08, 0x02};
    for (int alu = 0; alu < 16; alu++)
        NAME(RasterOps)[alu] = codes[alu];
}

/* Scissors over the rectangle from (0, 0) to (right, bottom), after room
 * for their four writes; the monochrome routines learn where they stand. */
static void nteFullScissors(nteScreenPrivate *priv, int right, int bottom) {
    FifoSpaceWait(4);
    nteOutMulti(priv, MULTI_SCISSOR_TOP, 0);
    nteOutMulti(priv, MULTI_SCISSOR_LEFT, 0);
    nteOutMulti(priv, MULTI_SCISSOR_RIGHT, right);
    nteOutMulti(priv, MULTI_SCISSOR_BOTTOM, bottom);
    priv->scissorLeft = 0;
    priv->scissorTop = 0;
    priv->scissorRight = right & MULTI_VALUE_MASK;
    priv->scissorBottom = bottom & MULTI_VALUE_MASK;
}

/* The visible screen to pixel 0 with the engine. At 32-bit pixels the mask
 * and the colour take two writes each, so the ten writes go in two groups,
 * each behind its own wait. */
static void nteClearScreen(const nteScreenPrivate *priv) {
    const int setup = 2 * REG32_WRITES + 1; /* write mask, mix, colour */
    const int start = 5;                    /* positions, sizes, command */
    if (setup + start <= NTE_FIFO_DEPTH)
        FifoSpaceWait(setup + start);
    else
        FifoSpaceWait(setup);
    nteOutReg32(priv, NTE_WRITE_MASK, PLANEMASK_ALL);
    nteOutReg(priv, NTE_FG_MIX, (uint16_t)(NAME(RasterOps)[GXcopy] | MIX_SRC_FOREGROUND));
    nteOutReg32(priv, NTE_FG_COLOUR, 0);
    if (setup + start > NTE_FIFO_DEPTH)
        FifoSpaceWait(start);
    nteOutReg(priv, NTE_CUR_X, 0);
    nteOutReg(priv, NTE_MAJ_AXIS, (uint16_t)(priv->width - 1));
    nteOutReg(priv, NTE_CUR_Y, 0);
    nteOutMulti(priv, MULTI_HEIGHT, priv->height - 1);
    nteOutReg(priv, NTE_CMD, CMD_FILL);
}

/* tunga: the window answers only once 0x4AE8 bit 0x20 is set, and that
 * register is reached by port, after the FIFO has drained. */
static void nteEnableWindow(void) {
    FifoSpaceWait(NTE_FIFO_DEPTH);
    outw(NTE_ADV_FUNC, (uint16_t)(inw(NTE_ADV_FUNC) | ADV_FUNC_ENABLE_WINDOW));
}

/* The mode set: the mode procedure, then the engine's defaults, the screen
 * clear and the palette. Nothing past the procedure is done when it is
 * missing or fails, or when `fits` (given at Init) refuses the mode it set. */
NteModeResult nteSetMode(ScreenPtr pScreen, Bool (*fits)(ScreenPtr)) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    if (!grafExec(nteGrafinfo(pScreen), "SetGraphics", 0))
        return NTE_MODE_NO_PROCEDURE;
    if (fits && !fits(pScreen))
        return NTE_MODE_TOO_LARGE;
    if (NTE_WINDOW)
        nteEnableWindow();
    else
        FifoSpaceWait(NTE_FIFO_DEPTH);
    nteFullScissors(priv, priv->width - 1, priv->height - 1);

    /* The read mask takes two writes at 32-bit pixels. */
    FifoSpaceWait(REG32_WRITES + 1);
    nteOutReg32(priv, NTE_READ_MASK, 0xFFFFFFFFu);
    nteOutReg(priv, NTE_MULTI, PIXCNTL_FOREGROUND);

    nteClearScreen(priv);
    if (NTE_PSEUDOCOLOR)
        nteRestoreColormap(pScreen);
    return NTE_MODE_SET;
}

/* Back from the console there is nobody to tell of a failed mode set; the
 * screen goes on with whatever the procedure did. */
void NAME(SetGraphics)(ScreenPtr pScreen) {
    nteSetMode(pScreen, 0);
}

Bool NAME(SetText)(ScreenPtr pScreen) {
    nteClearScreen(NTE_PRIV(pScreen));
    /* The text mode procedure reprograms the adapter: the clear must be
     * done before it runs. */
    EngineIdleWait();
    return grafExec(nteGrafinfo(pScreen), "SetText", 0);
}

/* Every operation programs the registers it uses, and SetGraphics sets the
 * rest: nothing to save. */
void NAME(SaveGState)(ScreenPtr pScreen) {
    (void)pScreen;
}

/* The scissors open over the OffScreenArea too, so the engine can stage
 * patterns and fonts there. */
void NAME(RestoreGState)(ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    nteFullScissors(priv, priv->clipRight, priv->clipBottom);
}

int NAME(BlankScreen)(int on, ScreenPtr pScreen) {
    (void)pScreen;
    outb(VGA_SEQ_INDEX, SR1);
    uint8_t sr1 = inb(VGA_SEQ_DATA);
    if (on)
        sr1 = (uint8_t)(sr1 | SR1_SCREEN_OFF);
    else
        sr1 = (uint8_t)(sr1 & ~SR1_SCREEN_OFF);
    outb(VGA_SEQ_DATA, sr1);
    return 1;
}

/* ---- palette (8-bit builds) ---- */

#define DAC_ENTRIES 256
#define DAC_REPEATS 16 /* a screen of fewer than 8 planes: every 16th entry alike */

/* Does the entry change under one of the cursor's colours? */
static int nteCursorColourChanges(const nteScreenPrivate *priv, int index, uint16_t red,
                                  uint16_t green, uint16_t blue) {
    const CursorRec *c = priv->currentCursor;
    if (!c)
        return 0;
    if (index == priv->cursorFgIndex &&
        (red != c->foreRed || green != c->foreGreen || blue != c->foreBlue))
        return 1;
    return index == priv->cursorBgIndex &&
           (red != c->backRed || green != c->backGreen || blue != c->backBlue);
}

void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen) {
    (void)unused;
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    /* The cursor's colours are matched again before the entry changes. */
    if (nteCursorColourChanges(priv, index, red, green, blue))
        NAME(ColorCursor)(pScreen);
    int shift = priv->dacShift;
    uint8_t r = (uint8_t)(red >> shift), g = (uint8_t)(green >> shift),
            b = (uint8_t)(blue >> shift);
    int copies = priv->depth == 8 ? 1 : DAC_REPEATS;
    for (int k = 0; k < copies; k++) {
        outb(VGA_DAC_WRITE_INDEX, (uint8_t)(index + DAC_REPEATS * k));
        outb(VGA_DAC_DATA, r);
        outb(VGA_DAC_DATA, g);
        outb(VGA_DAC_DATA, b);
    }
}

/* The mode procedure leaves the console's colours in the DAC. */
void nteRestoreColormap(ScreenPtr pScreen) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap || !cmap->red || !cmap->pVisual)
        return;
    int entries = cmap->pVisual->ColormapEntries;
    if (entries > DAC_ENTRIES)
        entries = DAC_ENTRIES;
    for (int i = 0; i < entries; i++) {
        uint16_t r, g, b;
        xEntryColor(&cmap->red[i], &r, &g, &b);
        NAME(SetColor)(0, i, r, g, b, pScreen);
    }
}
