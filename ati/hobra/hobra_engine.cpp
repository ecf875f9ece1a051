/*
 * hobra: the raster-op table and the hardware clip in its two register
 * forms (the 8514/A scissors through the multifunction register, or the
 * ATI boards' own scissor ports).
 */
#include "hobra.h"

uint32_t hobraRasterOps[16];

/* The 8514/A mix code of each X alu. */
void hobraBuildRasterOps(void) {
    static const uint32_t codes[16] = {0x1, 0xC, 0xD, 0x7, 0xE, 0x3, 0x5, 0xB,
                                       0xF, 0x6, 0x0, 0xA, 0x4, 0x9, 0x8, 0x2};
    for (int alu = 0; alu < 16; alu++)
        hobraRasterOps[alu] = codes[alu];
}

/* The box the clip takes: the whole drawing space, or the first box (the
 * engine has one clip rectangle). */
static const BoxRec *hobraClipBox(hobraScreenPrivPtr priv, BoxPtr boxes, int count) {
    priv->clip = count == 0 ? priv->fullClip : boxes[0];
    return &priv->clip;
}

static hobraScreenPrivPtr hobraDrawablePriv(DrawablePtr pDraw) {
    return HOBRA_PRIV(pDraw->pScreen);
}

void hobraSetClipRegions(BoxPtr boxes, int count, DrawablePtr pDraw) {
    const BoxRec *b = hobraClipBox(hobraDrawablePriv(pDraw), boxes, count);
    FifoSpaceWait(4);
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_LEFT | (b->x1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_TOP | (b->y1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_RIGHT | ((b->x2 - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_BOTTOM | ((b->y2 - 1) & MULTI_VALUE_MASK)));
}

void atiSetClipRegions(BoxPtr boxes, int count, DrawablePtr pDraw) {
    const BoxRec *b = hobraClipBox(hobraDrawablePriv(pDraw), boxes, count);
    FifoSpaceWait(4);
    outw(HOBRA_ATI_SCISSOR_LEFT, (uint16_t)(b->x1 & MULTI_VALUE_MASK));
    outw(HOBRA_ATI_SCISSOR_TOP, (uint16_t)(b->y1 & MULTI_VALUE_MASK));
    outw(HOBRA_ATI_SCISSOR_RIGHT, (uint16_t)((b->x2 - 1) & MULTI_VALUE_MASK));
    outw(HOBRA_ATI_SCISSOR_BOTTOM, (uint16_t)((b->y2 - 1) & MULTI_VALUE_MASK));
}

/* The ATI scissor ports and the multifunction scissors are one set of
 * registers, so the multifunction form serves both clip forms here. `clip`
 * follows the scissors, so the direct bitmap path narrows and restores the
 * right scissor against what they hold during a store. */
static void hobraWriteScissors(const BoxRec *b) {
    FifoSpaceWait(4);
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_LEFT | (b->x1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_TOP | (b->y1 & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_RIGHT | ((b->x2 - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_BOTTOM | ((b->y2 - 1) & MULTI_VALUE_MASK)));
}

void hobraOpenScissors(hobraScreenPrivPtr priv, BoxRec *saved) {
    *saved = priv->clip;
    priv->clip = priv->fullClip;
    hobraWriteScissors(&priv->clip);
}

void hobraCloseScissors(hobraScreenPrivPtr priv, const BoxRec *saved) {
    priv->clip = *saved;
    hobraWriteScissors(&priv->clip);
}
