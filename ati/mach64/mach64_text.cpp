/*
 * Mach64 text fonts: fixed-width 8-bit fonts of at most 16 x 32 pixels held
 * whole in the FontArea, one font per slot, each glyph packed into a 512-bit
 * cell. A run of characters is one colour expansion per character, the
 * engine moving the destination on by the glyph width after each.
 */
#include "mach64.h"

/* Where the slot layout reports a FontArea too small for one font. */
#if defined(MACH64_BUILD_TESK)
#define NO_SLOT_LINE 493
#elif defined(MACH64_BUILD_VANDU)
#define NO_SLOT_LINE 496
#else
#define NO_SLOT_LINE 501
#endif

/* Codes a font does not have are stored from this: rows read as zeros
 * with a stride of 0. */
static const uint8_t m64Blank[GLYPH_CELL_BITS / 8] = {0};

static teskFontSlot *m64Slot(const teskScreenPrivate *priv, int fontSlot) {
    if (!priv->fontSlots || fontSlot < 0 || fontSlot >= priv->fontSlotCount)
        return 0;
    return &((teskFontSlot *)priv->fontSlots)[fontSlot];
}

/* Code k of slot s lies at x + cell pixels x (k mod cells per line), y + s x
 * lines per font + k / cells per line. */
int UNAME(InitializeText8)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    const m64Area *area = &priv->fontArea;
    const int cellPixels = (priv->depth + GLYPH_CELL_BITS - 1) / priv->depth;
    const int perLine = area->width / cellPixels;
    const int linesPerFont = perLine > 0 ? (perLine + FONT_GLYPHS - 1) / perLine : 0;
    const int count = linesPerFont > 0 ? area->height / linesPerFont : 0;
    priv->fontSlotCount = 0;
    priv->fontSlots = 0;
    if (count <= 0) {
        ErrorF(M64_SHOUT ": ASSERTION failed in %s at line %d\n", M64_STR(M64_LOWER) "GlCache",
               NO_SLOT_LINE);
        return 0;
    }
    teskFontSlot *slots = (teskFontSlot *)Xalloc((uint32_t)((size_t)count * sizeof(teskFontSlot)));
    if (!slots)
        return -1;
    for (int s = 0; s < count; s++)
        for (int k = 0; k < FONT_GLYPHS; k++) {
            slots[s].cells[k].x = (uint16_t)(area->x + cellPixels * (k % perLine));
            slots[s].cells[k].y = (uint16_t)(area->y + s * linesPerFont + k / perLine);
        }
    priv->fontSlots = slots;
    priv->fontSlotCount = count;
    return count;
}

void UNAME(CloseText8)(ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    if (priv->fontSlots)
        Xfree(priv->fontSlots);
    priv->fontSlots = 0;
    priv->fontSlotCount = 0;
}

/* One idle wait for the whole font. A slot the table does not have stores
 * nothing; a slot holds 256 glyphs, and the codes the font lacks are
 * written blank so that no earlier font of the slot shows through. */
void UNAME(DownloadFont8)(uint8_t **glyphs, int count, int width, int height, int stride,
                          int fontSlot, ScreenPtr pScreen) {
    teskScreenPrivate *priv = M64_PRIV(pScreen);
    const teskFontSlot *slot = m64Slot(priv, fontSlot);
    if (!slot)
        return;
    const int n = !glyphs || count < 0 ? 0 : count > FONT_GLYPHS ? FONT_GLYPHS : count;
    UNAME(SetupStoreCompressed)(priv);
    for (int k = 0; k < FONT_GLYPHS; k++) {
        const Bool have = k < n && glyphs[k];
        UNAME(StoreCompressed)
        (width, height, slot->cells[k].x, slot->cells[k].y, have ? glyphs[k] : m64Blank,
         have ? stride : 0, priv);
    }
    UNAME(ResetFromCompressed)(priv);
}

/* The character cells a run may read: glyphs of a cell's bits at most. */
static Bool m64TextFits(int glyphWidth, int height) {
    return glyphWidth > 0 && height > 0 && glyphWidth <= GLYPH_CELL_BITS &&
           height <= GLYPH_CELL_BITS && glyphWidth * height <= GLYPH_CELL_BITS;
}

/* x1, y1 and the height of the box are used; the run is `count` glyphs
 * wide whatever x2 says. */
void UNAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int fontSlot,
                         Pixel fg, Pixel bg, int alu, uint32_t planemask, int transparent,
                         DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    const teskFontSlot *slot = m64Slot(priv, fontSlot);
    const int gw = (uint16_t)glyphWidth;
    const int h = box->y2 - box->y1;
    if (!slot || !m64TextFits(gw, h)) {
        genWinOp10(box, chars, count, glyphWidth, fontSlot, fg, bg, alu, planemask, transparent,
                   pDraw);
        return;
    }
    const uint32_t mix = UNAME(RasterOps)[alu & 0xF];
    const uint32_t size = (uint32_t)gw << 16 | (uint32_t)h;

    FifoSpaceWait(priv, 12);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL,
                   DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN | DST_CNTL_X_ADVANCE);
    m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_LINEAR);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH,
                   m64DstPixWidth(priv->pixWidthCode) | DP_PIX_LSB_FIRST);
    m64Out(priv, SRC_Y_X, 0);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT_BITS);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, fg);
    if (transparent & 0xFF) {
        m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix << 16 | UNAME(RasterOps)[GXnoop]);
    } else {
        m64OutShadowed(priv, &priv->shadowBgColor, DP_BKGD_CLR, bg);
        m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix | mix << 16);
    }
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    m64Out(priv, SRC_HEIGHT1_WIDTH1, size);
    m64OutDstYX(priv, (uint32_t)(uint16_t)box->x1 << 16 | (uint32_t)(uint16_t)box->y1);

    /* Two writes a character: an empty FIFO holds eight of them. */
    FifoSpaceWait(priv, FIFO_ENTRIES);
    for (int i = 0; i < count; i++) {
        if ((count - 1 - i) % 8 == 0)
            FifoSpaceWait(priv, FIFO_ENTRIES);
        const int code = chars[i];
        m64Out(priv, SRC_OFF_PITCH,
               LNAME(CellOffsetWord)(priv, slot->cells[code].x, slot->cells[code].y));
        m64Out(priv, DST_HEIGHT_WIDTH, size);
    }
    FifoSpaceWait(priv, 1);
    m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
}
