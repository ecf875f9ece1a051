/*
 * gd6 family: the engine's wait, reset and start, the bank register, and the
 * BitBLT primitives: copies between the screen and the staging area, copies
 * inside video memory, and the window operation CopyRect with its
 * plane-masked path through the staging area.
 *
 * Every primitive waits for the engine before it programs it and starts the
 * operation without waiting for its end: the next operation (or processor
 * access) waits instead.
 */
#include "gd6.h"

uint8_t NAME(RasterOps)[16];

void gd6InitRasterOps(void) {
    static const uint8_t codes[16] = {0x00, 0x05, 0x09, 0x0D, 0x50, 0x06, 0x59, 0x6D,
                                      0x90, 0x95, 0x0B, 0xAD, 0xD0, 0xD6, 0xDA, 0x0E};
    for (int alu = 0; alu < 16; alu++)
        NAME(RasterOps)[alu] = codes[alu];
}

static uint8_t gd6Rop(int alu) {
    return NAME(RasterOps)[alu & 0xF];
}

/* A hung engine never clears its busy bit; after a long run of busy reads
 * each further poll is preceded by a reset, and the wait goes on until the
 * engine answers. */
void gd6EngineIdleWait(void) {
    uint32_t busy = 0;
    outb(VGA_GC_INDEX, GR_STATUS);
    while (inb(VGA_GC_DATA) & BLT_STATUS_BUSY) {
        if (busy < ENGINE_BUSY_LIMIT)
            busy++;
        if (busy >= ENGINE_BUSY_LIMIT)
            gd6WriteGR(GR_STATUS, BLT_RESET);
    }
}

void gd6EngineStart(void) {
    gd6WriteGR(GR_STATUS, BLT_START);
}

void gd6EngineReset(void) {
    gd6WriteGR(GR_STATUS, BLT_RESET);
}

uint32_t gd6BankBase(const gd6ScreenPrivate *priv, uint32_t address) {
    return address & ~((1u << (priv->bankShift + BANK_INDEX_SHIFT)) - 1);
}

void gd6SetBank(const gd6ScreenPrivate *priv, uint32_t address) {
    gd6WriteGR(GR_BANK, (uint8_t)(address >> (priv->bankShift + BANK_INDEX_SHIFT)));
}

void gd6RestoreBank(const gd6ScreenPrivate *priv) {
    gd6SetBank(priv, priv->windowAddr);
}

/* ---- Expansion colours ---- */

static void gd6WriteColour(const uint8_t regs[4], Pixel colour) {
    for (int i = 0; i < 4; i++)
        gd6WriteGR(regs[i], (uint8_t)(colour >> (8 * (i % BPP))));
}

static const uint8_t gd6FgRegs[4] = {GR_FG0, GR_FG1, GR_FG2, GR_FG3};
static const uint8_t gd6BgRegs[4] = {GR_BG0, GR_BG1, GR_BG2, GR_BG3};

void gd6SetExpandForeground(Pixel fg) {
    gd6WriteColour(gd6FgRegs, fg);
}

void gd6SetExpandColours(Pixel fg, Pixel bg) {
    gd6WriteColour(gd6FgRegs, fg);
    gd6WriteColour(gd6BgRegs, bg);
}

/* GR0 and GR1 are also the VGA set/reset registers: leave them clear for the
 * plain write modes. */
void gd6ClearExpandColours(void) {
    gd6WriteGR(GR_FG0, 0);
    if (BPP > 1)
        gd6WriteGR(GR_FG1, 0);
    gd6WriteGR(GR_BG0, 0);
    if (BPP > 1)
        gd6WriteGR(GR_BG1, 0);
}

void gd6WindowWriteSwapped(uint8_t *window, const uint8_t *bits, uint32_t n) {
    for (uint32_t i = 0; i < n; i++)
        mmWrite8(window + i, ddxBitSwap[bits[i]]);
}

/* ---- Programming one copy ---- */

typedef struct _Gd6Copy {
    uint32_t src, srcPitch;
    uint32_t dst, dstPitch;
    uint32_t widthBytes; /* at least 1 */
    uint32_t height;     /* at least 1 */
    uint8_t rop;
    uint8_t mode;
} Gd6Copy;

/* Waits, programs every register the copy uses and starts it. */
static void gd6RunCopy(const Gd6Copy *c) {
    gd6EngineIdleWait();
    gd6WriteGR(GR_ROP, c->rop);
    gd6WriteGR24(GR_SRC_ADDR, c->src);
    gd6WriteGR16(GR_SRC_PITCH, c->srcPitch);
    gd6WriteGR24(GR_DST_ADDR, c->dst);
    gd6WriteGR16(GR_DST_PITCH, c->dstPitch);
    gd6WriteGR16(GR_WIDTH, c->widthBytes - 1);
    gd6WriteGR16(GR_HEIGHT, c->height - 1);
    gd6WriteGR(GR_MODE, c->mode);
    gd6EngineStart();
}

/* ---- Staging copies ---- */

void gd6BlitToWindowOffset(DrawablePtr pDraw, int x, int y, int w, int h, uint32_t offset,
                           int windowPitch) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if (w <= 0 || h <= 0)
        return;
    Gd6Copy c = {gd6ScreenAddr(priv, x, y),
                 (uint32_t)priv->pitch,
                 priv->windowAddr + offset,
                 (uint32_t)windowPitch,
                 (uint32_t)(w * BPP),
                 (uint32_t)h,
                 gd6Rop(GXcopy),
                 BLT_MODE_FORWARD};
    gd6RunCopy(&c);
}

void NAME(BlitToWindow)(DrawablePtr pDraw, int x, int y, int w, int h, int windowPitch) {
    gd6BlitToWindowOffset(pDraw, x, y, w, h, 0, windowPitch);
}

static uint32_t gd6WindowPointAddr(const gd6ScreenPrivate *priv, DDXPointPtr pt, int windowPitch) {
    return priv->windowAddr + (uint32_t)pt->x * (uint32_t)BPP +
           (uint32_t)windowPitch * (uint32_t)pt->y;
}

/* A copy of w x h pixels from the window point to (x, y) on the screen. */
static Gd6Copy gd6FromWindow(const gd6ScreenPrivate *priv, DDXPointPtr windowPoint, int x, int y,
                             int w, int h, int windowPitch, int alu, uint8_t mode) {
    Gd6Copy c = {gd6WindowPointAddr(priv, windowPoint, windowPitch),
                 (uint32_t)windowPitch,
                 gd6ScreenAddr(priv, x, y),
                 (uint32_t)priv->pitch,
                 (uint32_t)(w * BPP),
                 (uint32_t)h,
                 gd6Rop(alu),
                 mode};
    return c;
}

void NAME(BlitFromWindow)(DrawablePtr pDraw, DDXPointPtr windowPoint, int x, int y, int w, int h,
                          int windowPitch, int alu) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if (w <= 0 || h <= 0)
        return;
    Gd6Copy c = gd6FromWindow(priv, windowPoint, x, y, w, h, windowPitch, alu, BLT_MODE_FORWARD);
    gd6RunCopy(&c);
}

void gd6WriteTransparentColour(Pixel transparent) {
    if (BPP == 1) {
        /* The engine compares byte by byte, alternating halves of the register. */
        gd6WriteGR(GR_TRANSPARENT, (uint8_t)transparent);
        gd6WriteGR(GR_TRANSPARENT + 1, (uint8_t)transparent);
    } else {
        gd6WriteGR16(GR_TRANSPARENT, transparent);
    }
}

void NAME(TransparentBlitFromWindow)(DrawablePtr pDraw, DDXPointPtr windowPoint, int x, int y,
                                     int w, int h, int windowPitch, Pixel transparent, int alu) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    if (w <= 0 || h <= 0)
        return;
    Gd6Copy c = gd6FromWindow(priv, windowPoint, x, y, w, h, windowPitch, alu,
                              (uint8_t)(BLT_MODE_TRANSPARENT | gd6Traits.modeDepthBits));
    gd6EngineIdleWait();
    gd6WriteTransparentColour(transparent);
    gd6RunCopy(&c);
}

void NAME(LinearBlit)(BoxPtr box, uint32_t base, int pitch, DrawablePtr pDraw) {
    (void)pDraw;
    if (box->x1 >= box->x2 || box->y1 >= box->y2)
        return;
    Gd6Copy c = {base,
                 (uint32_t)pitch,
                 base + (uint32_t)box->x1 * (uint32_t)BPP + (uint32_t)pitch * (uint32_t)box->y1,
                 (uint32_t)pitch,
                 (uint32_t)((box->x2 - box->x1) * BPP),
                 (uint32_t)(box->y2 - box->y1),
                 gd6Rop(GXcopy),
                 BLT_MODE_FORWARD};
    gd6RunCopy(&c);
}

static void gd6LinearBlitBox(int x1, int y1, int x2, int y2, uint32_t base, int pitch,
                             DrawablePtr pDraw) {
    BoxRec box = {(int16_t)x1, (int16_t)y1, (int16_t)x2, (int16_t)y2};
    NAME(LinearBlit)(&box, base, pitch, pDraw);
}

/* The tile sits at the area's origin; each copy doubles the filled part. */
void NAME(ReplicateLinear)(uint32_t base, int areaWidth, int areaHeight, int tileWidth,
                           int tileHeight, int pitch, DrawablePtr pDraw) {
    int d = tileWidth < areaWidth ? tileWidth : areaWidth;
    int e = tileHeight < areaHeight ? tileHeight : areaHeight;
    if (d <= 0 || e <= 0)
        return;
    while (d <= areaWidth / 2) {
        gd6LinearBlitBox(d, 0, 2 * d, e, base, pitch, pDraw);
        d *= 2;
    }
    if (d != areaWidth)
        gd6LinearBlitBox(d, 0, areaWidth, e, base, pitch, pDraw);
    while (e <= areaHeight / 2) {
        gd6LinearBlitBox(0, e, areaWidth, 2 * e, base, pitch, pDraw);
        e *= 2;
    }
    if (e != areaHeight)
        gd6LinearBlitBox(0, e, areaWidth, areaHeight, base, pitch, pDraw);
}

/* ---- CopyRect ---- */

void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (!gd6FullPlanemask(planemask)) {
        gd6CopyRectWithPlanemask(dst, src, alu, planemask, pDraw);
        return;
    }
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    uint32_t s = gd6ScreenAddr(priv, src->x, src->y);
    uint32_t d = gd6ScreenAddr(priv, dst->x1, dst->y1);
    uint8_t mode = BLT_MODE_FORWARD;
    if (s < d) {
        /* The source would be overwritten before it is read: run from the
         * last byte backwards. */
        d = gd6ScreenAddr(priv, dst->x2, dst->y2 - 1) - 1;
        s = gd6ScreenAddr(priv, src->x + w, src->y + h - 1) - 1;
        mode = BLT_MODE_BACKWARD;
    }
    Gd6Copy c = {
        s,           (uint32_t)priv->pitch, d,   (uint32_t)priv->pitch, (uint32_t)(w * BPP),
        (uint32_t)h, gd6Rop(alu),           mode};
    gd6RunCopy(&c);
}

/* Both halves of a split copy: when the source lies before the destination
 * the later half goes first, so that neither half overwrites source pixels
 * the other has still to read. */
static void gd6CopyHalves(const BoxRec *first, DDXPointRec firstSrc, const BoxRec *second,
                          DDXPointRec secondSrc, Bool secondFirst, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    BoxRec a = *first, b = *second;
    if (secondFirst) {
        gd6CopyRectWithPlanemask(&b, &secondSrc, alu, planemask, pDraw);
        gd6CopyRectWithPlanemask(&a, &firstSrc, alu, planemask, pDraw);
    } else {
        gd6CopyRectWithPlanemask(&a, &firstSrc, alu, planemask, pDraw);
        gd6CopyRectWithPlanemask(&b, &secondSrc, alu, planemask, pDraw);
    }
}

/* Cuts a copy that does not fit the window twice into row halves (or, for a
 * single row, column halves). */
static void gd6SplitPlanemaskCopy(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                                  DrawablePtr pDraw) {
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    BoxRec a = *dst, b = *dst;
    DDXPointRec sa = *src, sb = *src;
    Bool laterFirst;
    if (h > 1) {
        a.y2 = (int16_t)(dst->y1 + h / 2);
        b.y1 = a.y2;
        sb.y = (int16_t)(src->y + h / 2);
        laterFirst = src->y < dst->y1;
    } else {
        a.x2 = (int16_t)(dst->x1 + w / 2);
        b.x1 = a.x2;
        sb.x = (int16_t)(src->x + w / 2);
        laterFirst = src->x < dst->x1;
    }
    gd6CopyHalves(&a, sa, &b, sb, laterFirst, alu, planemask, pDraw);
}

void gd6CopyRectWithPlanemask(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                              DrawablePtr pDraw) {
    gd6ScreenPrivPtr priv = gd6PrivOf(pDraw);
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    uint32_t r = (uint32_t)(w * BPP);
    if (priv->windowSize < 2 * (uint32_t)h * r) {
        if (w == 1 && h == 1)
            return; /* a window smaller than two pixels cannot stage anything */
        gd6SplitPlanemaskCopy(dst, src, alu, planemask, pDraw);
        return;
    }
    NAME(BlitToWindow)(pDraw, dst->x1, dst->y1, w, h, (int)r);
    gd6BlitToWindowOffset(pDraw, src->x, src->y, w, h, (uint32_t)h * r, (int)r);
    gd6EngineIdleWait();
    NAME(DrawImageWithPlanemask)
    (w, h, priv->windowBase + (uint32_t)h * r, (int)r, alu, planemask, pDraw);
    DDXPointRec origin = {0, 0};
    NAME(BlitFromWindow)(pDraw, &origin, dst->x1, dst->y1, w, h, (int)r, GXcopy);
}
