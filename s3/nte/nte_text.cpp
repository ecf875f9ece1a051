/*
 * nte family: the text font store. Downloaded 8-bit fonts live in the
 * FontArea, the upper half of the OffScreenArea, as 16 x 16 cells; a font
 * takes one bit plane of 256 cells, so the same cells hold as many fonts as
 * the screen has planes. A text run is one screen-to-screen blit per
 * character: the read mask picks the font's plane and the engine expands it
 * into the foreground and background colours.
 */
#include "nte.h"

#define FONT_SLOTS_MAX 16

static void NAME(DownloadFont8)(uint8_t **glyphs, int count, int width, int height, int stride,
                                int fontSlot, ScreenPtr pScreen);

/* The cells of each plane's fonts, row by row from (osX, osY): osWidth / 16
 * across (a partial column at the right holds no cell) by osHeight / 32 rows
 * (those that fit the upper half). Slot k of every plane uses the same
 * cells. Returns 0, with no store, when fewer than 256 cells fit or the
 * table cannot be had; the ScratchArea then takes the whole OffScreenArea. */
Bool nteInitTE8(ScreenPtr pScreen, nteScreenPrivPtr priv) {
    uint32_t across = (uint32_t)priv->osWidth >> 4;
    uint32_t cells = across * ((uint32_t)priv->osHeight >> 5);
    priv->fontSlotCount = 0;
    priv->fontSlots = 0;
    if (cells < FONT_CELLS || priv->depth <= 0)
        return 0;
    uint32_t perPlane = cells / FONT_CELLS;
    uint32_t count = perPlane * (uint32_t)priv->depth;
    if (count > FONT_SLOTS_MAX)
        count = FONT_SLOTS_MAX;
    FontSlot *slots = (FontSlot *)Xalloc((uint32_t)(count * sizeof(FontSlot)));
    if (!slots)
        return 0;
    const uint32_t rowEnd = across * FONT_CELL_SIZE;
    uint32_t k = 0;
    for (int plane = 0; k < count && plane < priv->depth; plane++) {
        uint32_t x = 0, y = 0;
        for (uint32_t f = 0; f < perPlane && k < count; f++, k++) {
            slots[k].planeMask = 1u << plane;
            for (int code = 0; code < FONT_CELLS; code++) {
                slots[k].cells[code].x = (uint16_t)(priv->osX + (int32_t)x);
                slots[k].cells[code].y = (uint16_t)(priv->osY + (int32_t)y);
                x += FONT_CELL_SIZE;
                if (x >= rowEnd) {
                    x = 0;
                    y += FONT_CELL_SIZE;
                }
            }
        }
    }
    priv->fontSlots = slots;
    priv->fontSlotCount = (int32_t)count;
    nfbInitializeText8(pScreen, (int)count, FONT_CELL_SIZE, FONT_CELL_SIZE, NAME(DownloadFont8), 0);
    return 1;
}

static const FontSlot *nteSlot(const nteScreenPrivate *priv, int fontSlot) {
    if (!priv->fontSlots || fontSlot < 0 || fontSlot >= priv->fontSlotCount)
        return 0;
    return &priv->fontSlots[fontSlot];
}

static BoxRec nteCellBox(const FontSlot *slot, int code, int width, int height) {
    BoxRec b;
    b.x1 = (int16_t)slot->cells[code].x;
    b.y1 = (int16_t)slot->cells[code].y;
    b.x2 = (int16_t)(b.x1 + width);
    b.y2 = (int16_t)(b.y1 + height);
    return b;
}

/* Each glyph into its cell of the slot's plane, 1 bits setting the plane's
 * bit and 0 bits clearing it; the other fonts sharing the cells stay. At
 * most 256 glyphs, and nothing beyond the 16 x 16 cell. A code without a
 * glyph is cleared in the plane, so it draws as no bits rather than what an
 * earlier font of the slot left there. */
static void NAME(DownloadFont8)(uint8_t **glyphs, int count, int width, int height, int stride,
                                int fontSlot, ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    const FontSlot *slot = nteSlot(priv, fontSlot);
    if (!slot)
        return;
    int n = !glyphs || count < 0 ? 0 : count > FONT_CELLS ? FONT_CELLS : count;
    int w = width > FONT_CELL_SIZE ? FONT_CELL_SIZE : width;
    int h = height > FONT_CELL_SIZE ? FONT_CELL_SIZE : height;
    if (w <= 0 || h <= 0)
        n = 0;
    /* The root window stands for the screen, as the drawing slots take it. */
    WindowPtr root = WindowTable[pScreen->myNum];
    DrawableRec screenDrawable = {};
    screenDrawable.pScreen = pScreen;
    DrawablePtr pDraw = root ? &root->drawable : &screenDrawable;

    NteScissors client = nteOpenScissors(priv, priv->clipRight, priv->clipBottom);
    BoxRec blank[FONT_CELLS];
    int blanks = 0;
    for (int code = 0; code < FONT_CELLS; code++) {
        if (code >= n || !glyphs[code]) {
            blank[blanks++] = nteCellBox(slot, code, FONT_CELL_SIZE, FONT_CELL_SIZE);
            continue;
        }
        BoxRec cell = nteCellBox(slot, code, w, h);
        NAME(DrawOpaqueMonoImage)
        (&cell, glyphs[code], 0, stride, 0xFFFFFFFFu, 0, GXcopy, slot->planeMask, pDraw);
    }
    if (blanks)
        NAME(DrawSolidRects)(blank, blanks, 0, GXcopy, slot->planeMask, pDraw);
    nteSetScissors(priv, &client);
}

/* The character cells a text run may read: no wider or taller than a cell. */
static int nteTextFits(int glyphWidth, const BoxRec *box) {
    return glyphWidth > 0 && glyphWidth <= FONT_CELL_SIZE && box->y2 - box->y1 <= FONT_CELL_SIZE;
}

/* A run of characters side by side from the box's corner, each the glyph
 * width further on; the run ends at the box's right edge. Parts of a cell
 * outside the engine's coordinates are left out of its blit. */
void NAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int fontSlot,
                        Pixel fg, Pixel bg, int alu, uint32_t planemask, int transparent,
                        DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    const FontSlot *slot = nteSlot(priv, fontSlot);
    int gw = glyphWidth;
    if (!slot || !nteTextFits(gw, box)) {
        genWinOp10(box, chars, count, glyphWidth, fontSlot, fg, bg, alu, planemask, transparent,
                   pDraw);
        return;
    }
    int top = box->y1 < 0 ? 0 : box->y1;
    int bottom = box->y2 > NTE_COORD_LIMIT ? NTE_COORD_LIMIT : box->y2;
    int right = box->x2 > NTE_COORD_LIMIT ? NTE_COORD_LIMIT : box->x2;
    if (!chars || count <= 0 || bottom <= top || right <= box->x1)
        return;
    int h = bottom - top;
    int skipRows = top - box->y1;

    uint16_t fgMix = nteMix(alu, MIX_SRC_FOREGROUND);
    /* Background source 0: the background colour, or the destination kept. */
    uint16_t bgMix = nteMix((transparent & 0xFF) ? GXnoop : alu, 0);
    NteQueue q = nteQueue(priv, REG32_WRITES);
    nteQueueReg32(&q, NTE_FG_COLOUR, fg);
    q = nteQueue(priv, 3 * REG32_WRITES + 5);
    nteQueueReg32(&q, NTE_BG_COLOUR, bg);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_MEMORY_BITS);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(planemask));
    nteQueueReg32(&q, NTE_READ_MASK, slot->planeMask);
    nteQueueReg(&q, NTE_FG_MIX, fgMix);
    nteQueueReg(&q, NTE_BG_MIX, bgMix);
    nteQueueReg(&q, NTE_MAJ_AXIS, (uint16_t)(gw - 1));
    nteQueueMulti(&q, MULTI_HEIGHT, h - 1);

    int width = gw; /* the blit width programmed */
    int64_t x = box->x1;
    for (int i = 0; i < count && x < right; i++, x += gw) {
        int from = x < 0 ? 0 : (int)x;
        int to = x + gw > right ? right : (int)(x + gw);
        if (to <= from)
            continue;
        if (to - from != width) {
            width = to - from;
            FifoSpaceWait(1);
            nteOutReg(priv, NTE_MAJ_AXIS, (uint16_t)(width - 1));
        }
        int code = chars[i];
        FifoSpaceWait(5);
        nteOutReg(priv, NTE_CUR_X, (uint16_t)(slot->cells[code].x + (from - x)));
        nteOutReg(priv, NTE_CUR_Y, (uint16_t)(slot->cells[code].y + skipRows));
        nteOutReg(priv, NTE_DEST_Y, (uint16_t)top);
        nteOutReg(priv, NTE_DEST_X, (uint16_t)from);
        nteOutReg(priv, NTE_CMD, CMD_BLIT);
    }

    q = nteQueue(priv, REG32_WRITES + 1);
    nteQueueReg32(&q, NTE_READ_MASK, 0xFFFFFFFFu);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_FOREGROUND);
}
