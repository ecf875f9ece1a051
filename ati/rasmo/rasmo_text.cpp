/*
 * rasmo: 8-bit text fonts stored one bit per pixel in single bit planes of
 * the FontArea. A cell is a run of 200 consecutive pixels of linearly
 * addressed video memory (it may wrap from one line to the next); each glyph
 * occupies one plane of a cell, four glyphs share a cell and a font slot owns
 * four consecutive planes. Text is drawn by the engine expanding one plane of
 * a cell, chosen by the read plane mask, into foreground and background.
 */
#include "rasmo.h"

#define PLANES_PER_SLOT 4
#define GLYPHS_PER_SLOT (PLANES_PER_SLOT * FONT_CELLS_PER_AREA)
#define ALL_PLANES 0xFFFF

/* A cell position: x in the low 16 bits, y in the high 16 bits. */
static int cellX(uint32_t cell) {
    return (int)(cell & 0xFFFF);
}
static int cellY(uint32_t cell) {
    return (int)(cell >> 16);
}

Bool rasmoInitTE8(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    const int groups = 2 << priv->pixelShift; /* 4-plane groups per pixel */
    const int areas = PLANES_PER_SLOT / groups;
    uint32_t *cells =
        (uint32_t *)Xalloc((unsigned long)(areas * FONT_CELLS_PER_AREA) * sizeof(uint32_t));
    if (!cells)
        return 0;
    int x = priv->fontX, y = priv->fontY;
    for (int i = 0; i < areas * FONT_CELLS_PER_AREA; i++) {
        cells[i] = (uint32_t)x | (uint32_t)y << 16;
        y += FONT_CELL_PIXELS / priv->pitch;
        x += FONT_CELL_PIXELS % priv->pitch;
        if (x >= priv->pitch) {
            x -= priv->pitch;
            y += 1;
        }
    }
    priv->fontCells = cells;
    for (int a = 0; a < areas; a++)
        for (int g = 0; g < groups; g++) {
            rasmoFontSlot *slot = &priv->fontSlots[a * groups + g];
            slot->planeMask = 1u << (4 * g);
            slot->cells = cells + a * FONT_CELLS_PER_AREA;
        }
    return 1;
}

void rasmoFreeTE8(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    Xfree(priv->fontCells);
    priv->fontCells = 0;
}

/* One glyph row as a run of `width` pixels from (x, y) under the monochrome
 * pattern: 1 bits set the plane, 0 bits clear it. A row that meets the end
 * of a line goes on at column 0 of the next, the pattern index advanced by
 * the pixels already drawn. */
static void rasmoDownloadRow(const uint8_t *row, int stride, int width, int pitch, int *x, int *y) {
    const uint8_t b0 = ddxBitSwap[row[0]];
    /* The second byte belongs to the row only when rows are at least two
     * bytes apart. */
    const uint8_t b1 = stride > 1 ? ddxBitSwap[row[1]] : 0;
    rasmoFifoSpaceWait(4);
    outw(PATT_DATA_INDEX, PATT_INDEX_MONO);
    outw(PATT_DATA, (uint16_t)(b0 | b1 << 8));
    outw(PATT_INDEX, 0);
    if (*x + width < pitch) {
        outw(RUN_LENGTH, (uint16_t)width);
        *x += width;
        return;
    }
    const int e = *x + width - pitch;
    outw(RUN_LENGTH, (uint16_t)(width - e));
    rasmoFifoSpaceWait(4);
    outw(CUR_X, 0);
    outw(CUR_Y, (uint16_t)(*y + 1));
    *y += 1;
    *x = e;
    if (e > 0) {
        outw(PATT_INDEX, (uint16_t)(width - e));
        outw(RUN_LENGTH, (uint16_t)e);
    }
}

void rasmoDownloadFont8(uint8_t **glyphs, int count, int width, int height, int stride, int slot,
                        ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    if (slot < 0 || slot >= FONT_SLOTS || width <= 0 || !priv->fontCells)
        return;
    /* A slot holds 256 glyphs; more would reach another slot's cells. */
    if (count > GLYPHS_PER_SLOT)
        count = GLYPHS_PER_SLOT;
    const rasmoFontSlot *s = &priv->fontSlots[slot];
    const uint32_t *cells = (const uint32_t *)s->cells;
    static const uint8_t blank[2] = {0, 0};

    /* The cells lie off the screen, outside the clip a window left. */
    BoxRec clip;
    const Bool opened = rasmoOpenClip(pScreen, &clip);
    rasmoFifoSpaceWait(5);
    outw(DATA_PATH, DP_MONO_PATTERN);
    outw(FRGD_MIX, rasmoRasterOp[GXset]);
    outw(BKGD_MIX, rasmoRasterOp[GXclear]);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
    outw(PATT_LENGTH, (uint16_t)(width - 1));
    for (int p = 0; p < PLANES_PER_SLOT; p++) {
        rasmoFifoSpaceWait(1);
        outw(WRT_MASK, (uint16_t)(s->planeMask << p));
        for (int k = p; k < count; k += PLANES_PER_SLOT) {
            int x = cellX(cells[k / PLANES_PER_SLOT]), y = cellY(cells[k / PLANES_PER_SLOT]);
            rasmoFifoSpaceWait(2);
            outw(CUR_X, (uint16_t)x);
            outw(CUR_Y, (uint16_t)y);
            /* A missing glyph is stored blank, so no earlier font shows. */
            const uint8_t *row = glyphs[k] ? glyphs[k] : blank;
            const int step = glyphs[k] ? stride : 0;
            for (int r = 0; r < height; r++, row += step)
                rasmoDownloadRow(row, glyphs[k] ? stride : 2, width, priv->pitch, &x, &y);
        }
    }
    if (opened)
        rasmoCloseClip(pScreen, &clip);
}

/* The source is read linearly from the cell start: the source x range is the
 * whole line, so it wraps to column 0 of the next line, which is how
 * rasmoDownloadFont8 laid each glyph out. */
void rasmoDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    if (count <= 0 || slot < 0 || slot >= FONT_SLOTS || !priv->fontCells)
        return;
    const rasmoFontSlot *s = &priv->fontSlots[slot];
    const uint32_t *cells = (const uint32_t *)s->cells;
    rasmoFifoSpaceWait(9);
    outw(DATA_PATH, DP_PLANE);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(BKGD_MIX, (transparent & 0xFF) ? rasmoRasterOp[GXnoop] : rasmoRasterOp[alu & 0xF]);
    outw(FRGD_COLOR, (uint16_t)fg);
    outw(BKGD_COLOR, (uint16_t)bg);
    outw(WRT_MASK, (uint16_t)planemask);
    outw(SRC_X_START, 0);
    outw(SRC_X_END, (uint16_t)priv->pitch);
    outw(SRC_Y_DIR, SRC_Y_DOWN);
    int x = box->x1;
    for (int i = 0; i < count; i++) {
        const int k = chars[i];
        const uint32_t cell = cells[k / PLANES_PER_SLOT];
        rasmoFifoSpaceWait(8);
        outw(RD_MASK, (uint16_t)(s->planeMask << (k % PLANES_PER_SLOT)));
        outw(SRC_X, (uint16_t)cellX(cell));
        outw(SRC_Y, (uint16_t)cellY(cell));
        outw(CUR_X, (uint16_t)x);
        outw(DEST_X_START, (uint16_t)x);
        x += glyphWidth;
        outw(DEST_X_END, (uint16_t)x);
        outw(CUR_Y, (uint16_t)box->y1);
        outw(DEST_Y_END, (uint16_t)box->y2);
    }
    /* Copies read their source through the read mask too: all planes again. */
    rasmoFifoSpaceWait(1);
    outw(RD_MASK, ALL_PLANES);
}
