/*
 * hobra: 8-bit text fonts in planes 3 to depth - 1 of the planeArea. Each
 * plane holds S fonts one above the other, each font 256 cells of 16 x 32
 * pixels in rows of N; a font slot is one such font in one plane, and the
 * slots with the same place in different planes share their cell
 * positions. The frame-buffer layer decides which font goes into which
 * slot; a run of text is then one plane-expansion blit per character.
 */
#include "hobra.h"

#define TEXT8_FIRST_PLANE 3
#define TEXT8_CELL_WIDTH 16
#define TEXT8_CELL_HEIGHT 32
#define TEXT8_GLYPHS 256

/* The line the assertion names is the one its message has always given. */
#define TEXT8_ASSERT_LINE 546

typedef struct _hobraFontCell {
    int16_t x, y;
} hobraFontCell;

typedef struct _hobraFontSlot {
    int32_t readMask, writeMask;
    hobraFontCell cells[TEXT8_GLYPHS];
} hobraFontSlot;

#if defined(__i386__)
static_assert(sizeof(hobraFontSlot) == 8 + 4 * TEXT8_GLYPHS, "two words and 256 cells");
#endif

#define CELL_FG 0xFFFFFFFFu
#define CELL_BG 0

static hobraFontSlot *hobraSlots(const hobraScreenPrivate *priv) {
    return (hobraFontSlot *)priv->fontSlots;
}

/* The slot `slot` of the table, or null when there is no such slot. */
static const hobraFontSlot *hobraSlotOf(const hobraScreenPrivate *priv, int slot) {
    hobraFontSlot *slots = hobraSlots(priv);
    if (!slots || slot < 0 || slot >= priv->fontSlotCount)
        return 0;
    return &slots[slot];
}

/* P font planes, N cells a row, F rows of cells a font, S fonts a plane. */
typedef struct _hobraText8Layout {
    int planes, perRow, rows, perPlane;
} hobraText8Layout;

static hobraText8Layout hobraText8LayoutOf(const hobraScreenPrivate *priv) {
    hobraText8Layout l;
    l.planes = priv->depth - TEXT8_FIRST_PLANE;
    l.perRow = priv->planeArea.width / TEXT8_CELL_WIDTH;
    l.rows = l.perRow > 0 ? (l.perRow + TEXT8_GLYPHS - 1) / l.perRow : 0;
    l.perPlane = l.rows > 0 ? priv->planeArea.height / (l.rows * TEXT8_CELL_HEIGHT) : 0;
    return l;
}

void hobraInitializeText8(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    const hobraText8Layout l = hobraText8LayoutOf(priv);
    priv->fontSlots = 0;
    priv->fontSlotCount = l.planes * l.perPlane;
    if (priv->fontSlotCount <= 0) {
        ErrorF("HOBRA: ASSERTION failed in %s at line %d\n", "hobraGlCache", TEXT8_ASSERT_LINE);
        priv->fontSlotCount = 0;
        return;
    }
    hobraFontSlot *slots =
        (hobraFontSlot *)Xalloc((uint32_t)priv->fontSlotCount * (uint32_t)sizeof(hobraFontSlot));
    /* Without a table no slot is offered; text goes through the layer. */
    if (!slots) {
        priv->fontSlotCount = 0;
        return;
    }
    for (int i = 0; i < l.planes; i++)
        for (int k = 0; k < l.perPlane; k++) {
            hobraFontSlot *s = &slots[i * l.perPlane + k];
            /* Plane 7 is read through bit 0 of the read mask. */
            const uint32_t write = 1u << (TEXT8_FIRST_PLANE + i);
            s->writeMask = (int32_t)write;
            s->readMask = (int32_t)((write << 1) | (write >> 7));
            const int top = priv->planeArea.y + k * l.rows * TEXT8_CELL_HEIGHT;
            for (int g = 0; g < TEXT8_GLYPHS; g++) {
                s->cells[g].x = (int16_t)(priv->planeArea.x + TEXT8_CELL_WIDTH * (g % l.perRow));
                s->cells[g].y = (int16_t)(top + TEXT8_CELL_HEIGHT * (g / l.perRow));
            }
        }
    priv->fontSlots = slots;
}

void hobraCloseText8(ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if (!priv)
        return;
    Xfree(priv->fontSlots);
    priv->fontSlots = 0;
    priv->fontSlotCount = 0;
}

/* The slot's cells in its plane: the font's rows one under the other. A
 * font with fewer glyphs, or shorter ones, than the last one leaves no part
 * of that one behind. */
static void hobraClearSlot(const hobraScreenPrivate *priv, const hobraFontSlot *s,
                           DrawablePtr pDraw) {
    const hobraText8Layout l = hobraText8LayoutOf(priv);
    BoxRec area = {s->cells[0].x, s->cells[0].y,
                   (int16_t)(s->cells[0].x + l.perRow * TEXT8_CELL_WIDTH),
                   (int16_t)(s->cells[0].y + l.rows * TEXT8_CELL_HEIGHT)};
    hobraDrawSolidRects(&area, 1, 0, GXcopy, (uint32_t)s->writeMask, pDraw);
}

/* The DownloadFont8 callback: each glyph into its cell of the slot's plane,
 * drawn on the root window. */
void hobraDownloadFont8(uint8_t **glyphs, int count, int width, int height, int stride, int slot,
                        ScreenPtr pScreen) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    const hobraFontSlot *s = hobraSlotOf(priv, slot);
    WindowPtr root = WindowTable[pScreen->myNum];
    if (!s || !root || !glyphs || width <= 0 || height <= 0)
        return;
    DrawablePtr pDraw = &root->drawable;
    /* A slot has 256 cells: more glyphs would write past the table. */
    if (count > TEXT8_GLYPHS)
        count = TEXT8_GLYPHS;
    if (width > TEXT8_CELL_WIDTH)
        width = TEXT8_CELL_WIDTH;
    if (height > TEXT8_CELL_HEIGHT)
        height = TEXT8_CELL_HEIGHT;
    BoxRec clip;
    hobraOpenScissors(priv, &clip);
    hobraClearSlot(priv, s, pDraw);
    for (int i = 0; i < count; i++) {
        if (!glyphs[i])
            continue;
        const int x = s->cells[i].x, y = s->cells[i].y;
        BoxRec cell = {(int16_t)x, (int16_t)y, (int16_t)(x + width), (int16_t)(y + height)};
        hobraDrawOpaqueMonoImage(&cell, glyphs[i], 0, stride, CELL_FG, CELL_BG, GXcopy,
                                 (uint32_t)s->writeMask, pDraw);
    }
    hobraCloseScissors(priv, &clip);
}

/* Slot 10 in the form the layer calls after nfbInitializeText8. Opaque
 * text always paints GXcopy, as image text does, whatever the alu. */
void hobraDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    const hobraFontSlot *s = hobraSlotOf(HOBRA_PRIV(pDraw->pScreen), slot);
    if (!s) {
        genWinOp10(box, chars, count, glyphWidth, slot, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    if (transparent & 0xFF)
        hobraSetupCardForBlit(fg, alu & 0xF, (uint32_t)s->readMask, planemask);
    else
        hobraSetupCardForOpaqueBlit(fg, bg, GXcopy, (uint32_t)s->readMask, planemask);
    BoxRec dst = {box->x1, box->y1, (int16_t)(box->x1 + glyphWidth), box->y2};
    for (int i = 0; i < count; i++) {
        DDXPointRec src = {s->cells[chars[i]].x, s->cells[chars[i]].y};
        hobraStretchBlit(pDraw, &src, &dst);
        dst.x1 = (int16_t)(dst.x1 + glyphWidth);
        dst.x2 = (int16_t)(dst.x2 + glyphWidth);
    }
    hobraResetCardFromBlit();
}
