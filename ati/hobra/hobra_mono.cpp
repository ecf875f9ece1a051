/*
 * hobra: monochrome images. A bitmap whose rows start on a byte at an x the
 * across-plane transfer takes (a multiple of 4) goes to the engine directly,
 * each bit choosing the foreground or the background mix. Any other bitmap
 * is staged: stored band by band into plane 0 of the planeArea, each band
 * painted by one plane expansion.
 */
#include "hobra.h"

/* Plane 0 as the read mask of a plane expansion names it. */
#define READ_MASK_PLANE0 2
#define STAGING_PLANE 1 /* write mask of plane 0 */

/* The bitmap rows of a transfer: the whole bitmap at once, or row by row. */
typedef struct _hobraMonoRows {
    uint8_t *bits;  /* whole: h rows of n bytes back to back */
    uint8_t **rows; /* otherwise: one pointer a row */
} hobraMonoRows;

static int hobraEmptyBox(const BoxRec *box) {
    return box->x2 <= box->x1 || box->y2 <= box->y1;
}

static int hobraRowBytes(const BoxRec *box) {
    return (box->x2 - box->x1 + 7) / 8;
}

/* The direct path. The engine takes whole bytes of each row, so the right
 * scissor stands at the box's edge during the transfer when the clip's
 * does not already cut there, and returns to the clip's afterwards. The
 * ATI scissor ports and the multifunction scissors are one set of
 * registers, so `clip` is what the right scissor held in both clip forms. */
static void hobraFixedTransfer(const BoxRec *box, const hobraMonoRows *data, Pixel fg, Pixel bg,
                               int alu, uint32_t planemask, int opaque, DrawablePtr pDraw) {
    if (hobraEmptyBox(box))
        return;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    const int n = hobraRowBytes(box), h = box->y2 - box->y1;
    if (opaque) {
        FifoSpaceWait(HOBRA_FIFO_DEPTH);
        outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
        outw(HOBRA_READ_MASK, ALL_PLANES);
        outw(HOBRA_MULTI, PIXCNTL_HOST_BITS);
        outw(HOBRA_BG_COLOUR, (uint16_t)bg);
        outw(HOBRA_FG_COLOUR, (uint16_t)fg);
        outw(HOBRA_BG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_BACKGROUND));
        outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND));
        outw(HOBRA_CUR_X, (uint16_t)(box->x1 & POS_MASK));
        FifoSpaceWait(5);
    } else {
        FifoSpaceWait(6);
        outw(HOBRA_WRITE_MASK, (uint16_t)planemask);
        outw(HOBRA_READ_MASK, ALL_PLANES);
        outw(HOBRA_MULTI, PIXCNTL_HOST_BITS);
        outw(HOBRA_FG_COLOUR, (uint16_t)fg);
        /* The 0 bits keep the destination. */
        outw(HOBRA_BG_MIX, (uint16_t)hobraRasterOps[GXnoop]);
        outw(HOBRA_FG_MIX, (uint16_t)(hobraRasterOps[alu & 0xF] | MIX_SRC_FOREGROUND));
        FifoSpaceWait(6);
        outw(HOBRA_CUR_X, (uint16_t)(box->x1 & POS_MASK));
    }
    outw(HOBRA_CUR_Y, (uint16_t)(box->y1 & POS_MASK));
    outw(HOBRA_MAJ_AXIS, (uint16_t)(n * 8 - 1));
    outw(HOBRA_MULTI, (uint16_t)(MULTI_HEIGHT | ((h - 1) & MULTI_VALUE_MASK)));
    const int narrowed = box->x2 < priv->clip.x2;
    if (narrowed)
        outw(HOBRA_MULTI, (uint16_t)(MULTI_SCISSOR_RIGHT | ((box->x2 - 1) & MULTI_VALUE_MASK)));
    outw(HOBRA_CMD, CMD_ACROSS_PLANE);
    if (priv->waitBeforeData)
        FifoSpaceWait(HOBRA_FIFO_DEPTH);
    if (data->rows == 0) {
        priv->apBlockOut(data->bits, h * n);
    } else {
        for (int i = 0; i < h; i++)
            priv->apBlockOut(data->rows[i], n);
    }
    if (narrowed) {
        FifoSpaceWait(1);
        outw(HOBRA_MULTI,
             (uint16_t)(MULTI_SCISSOR_RIGHT | ((priv->clip.x2 - 1) & MULTI_VALUE_MASK)));
    }
}

/* The whole bitmap in one transfer; its rows are (width + 7) / 8 bytes
 * apart, so the starting bit and the stride are not read. */
static void hobraFixedDraw(BoxPtr box, uint8_t *bits, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr pDraw) {
    hobraMonoRows data = {bits, 0};
    hobraFixedTransfer(box, &data, fg, 0, alu, planemask, 0, pDraw);
}

static void hobraFixedOpaqueDraw(BoxPtr box, uint8_t *bits, Pixel fg, Pixel bg, int alu,
                                 uint32_t planemask, DrawablePtr pDraw) {
    hobraMonoRows data = {bits, 0};
    hobraFixedTransfer(box, &data, fg, bg, alu, planemask, 1, pDraw);
}

/* One row a call; each row's byte count comes from the box. */
static void hobraFixedDrawScanlines(BoxPtr box, uint8_t **rows, Pixel fg, int alu,
                                    uint32_t planemask, DrawablePtr pDraw) {
    hobraMonoRows data = {0, rows};
    hobraFixedTransfer(box, &data, fg, 0, alu, planemask, 0, pDraw);
}

static void hobraFixedOpaqueDrawScanlines(BoxPtr box, uint8_t **rows, Pixel fg, Pixel bg, int alu,
                                          uint32_t planemask, DrawablePtr pDraw) {
    hobraMonoRows data = {0, rows};
    hobraFixedTransfer(box, &data, fg, bg, alu, planemask, 1, pDraw);
}

/* The staged path: bands of at most the planeArea's height, each stored
 * into plane 0 at the planeArea's corner (x a multiple of 4, as the store
 * needs) and expanded from bit `bitOffset` of its first byte. */
static void hobraDrawMonoScanlineBlit(BoxPtr box, uint8_t **rows, int rowBytes, int bitOffset,
                                      int alu, Pixel fg, Pixel bg, uint32_t planemask, int opaque,
                                      DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    const hobraRect *area = &priv->planeArea;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    const int bandLines = area->height;
    for (int r = 0; r < h; r += bandLines) {
        const int m = h - r < bandLines ? h - r : bandLines;
        BoxRec staging;
        staging.x1 = (int16_t)area->x;
        staging.y1 = (int16_t)area->y;
        staging.x2 = (int16_t)(area->x + rowBytes * 8);
        staging.y2 = (int16_t)(area->y + m);
        BoxRec clip;
        hobraOpenScissors(priv, &clip);
        hobraFixedOpaqueDrawScanlines(&staging, rows + r, ~(Pixel)0, 0, GXcopy, STAGING_PLANE,
                                      pDraw);
        hobraCloseScissors(priv, &clip);
        if (opaque)
            hobraSetupCardForOpaqueBlit(fg, bg, alu, READ_MASK_PLANE0, planemask);
        else
            hobraSetupCardForBlit(fg, alu, READ_MASK_PLANE0, planemask);
        DDXPointRec src;
        src.x = (int16_t)(area->x + bitOffset);
        src.y = (int16_t)area->y;
        BoxRec dst;
        dst.x1 = box->x1;
        dst.y1 = (int16_t)(box->y1 + r);
        dst.x2 = (int16_t)(box->x1 + w);
        dst.y2 = (int16_t)(box->y1 + r + m);
        hobraStretchBlit(pDraw, &src, &dst);
        hobraResetCardFromBlit();
    }
}

/* The row table, then the direct path for byte-aligned rows at an x the
 * transfer takes, else the staged one. A table that cannot be had, or a
 * staging row wider than the planeArea, leaves the bitmap to the
 * frame-buffer layer. */
static void hobraDrawMonoScanlinesAny(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                      Pixel bg, int alu, uint32_t planemask, int opaque,
                                      DrawablePtr pDraw) {
    if (hobraEmptyBox(box))
        return;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    const int b = startBit & 7;
    const int n = (w + b + 7) / 8;
    const int direct = b == 0 && (box->x1 & 3) == 0;
    uint8_t **rows = 0;
    if (direct || n * 8 <= priv->planeArea.width)
        rows = (uint8_t **)Xalloc((uint32_t)((size_t)h * sizeof(uint8_t *)));
    if (!rows) {
        if (opaque)
            genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        else
            genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    for (int i = 0; i < h; i++)
        rows[i] = bits + startBit / 8 + (long)i * stride;
    if (direct && opaque)
        hobraFixedOpaqueDrawScanlines(box, rows, fg, bg, alu, planemask, pDraw);
    else if (direct)
        hobraFixedDrawScanlines(box, rows, fg, alu, planemask, pDraw);
    else
        hobraDrawMonoScanlineBlit(box, rows, n, b, alu, fg, bg, planemask, opaque, pDraw);
    Xfree(rows);
}

/* Rows start on a byte, one after the other, at an x the transfer takes. */
static int hobraMonoAligned(const BoxRec *box, int startBit, int stride) {
    return (box->x1 & 3) == 0 && startBit == 0 && stride == hobraRowBytes(box);
}

void hobraDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    if (box->x2 - box->x1 > priv->offscrWidth) {
        genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        return;
    }
    if (hobraEmptyBox(box))
        return;
    if (hobraMonoAligned(box, startBit, stride))
        hobraFixedDraw(box, bits, fg, alu, planemask, pDraw);
    else
        hobraDrawMonoScanlinesAny(box, bits, startBit, stride, fg, 0, alu, planemask, 0, pDraw);
}

void hobraDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pDraw->pScreen);
    if (box->x2 - box->x1 > priv->offscrWidth) {
        genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    if (hobraEmptyBox(box))
        return;
    if (hobraMonoAligned(box, startBit, stride))
        hobraFixedOpaqueDraw(box, bits, fg, bg, alu, planemask, pDraw);
    else
        hobraDrawMonoScanlinesAny(box, bits, startBit, stride, fg, bg, alu, planemask, 1, pDraw);
}
