/*
 * rasmo: images written and read pixel by pixel through the engine's pixel
 * transfer port, and monochrome images and glyphs sent through the same
 * port while the engine expands each bit to the foreground (or background)
 * colour. The processor never touches video memory.
 *
 * The engine takes host data as one stream over the destination rectangle,
 * a row's end not starting a new transfer, so contiguous images and bitmaps
 * go out as one stream of 16-bit transfers; byte transfers serve only rows
 * of an odd number of bytes that would otherwise need realigning.
 */
#include "rasmo.h"

/* ---- data pacing ---- */

/* Transfers go out eight at a time, each group after a wait for its room;
 * the last group waits for what is left. */
typedef struct _rasmoXfer {
    int sent, total;
} rasmoXfer;

static void rasmoXferRoom(rasmoXfer *t) {
    if (t->sent % DATA_BATCH == 0) {
        const int left = t->total - t->sent;
        rasmoFifoSpaceWait(left < DATA_BATCH ? left : DATA_BATCH);
    }
    t->sent++;
}

static void rasmoPutWord(rasmoXfer *t, uint16_t w) {
    rasmoXferRoom(t);
    outw(PIX_TRANS, w);
}

static void rasmoPutByte(rasmoXfer *t, uint8_t b) {
    rasmoXferRoom(t);
    outb(PIX_TRANS_8, b);
}

/* Identity for pixels, the server's bit reversal for bitmaps (the engine
 * takes the leftmost pixel in each byte's top bit). */
static uint8_t rasmoSame(uint8_t b) {
    return b;
}
static uint8_t rasmoSwap(uint8_t b) {
    return ddxBitSwap[b];
}

/* `bytes` contiguous bytes as 16-bit transfers, first byte low. An odd total
 * ends with a word built from the last byte alone: the caller's data ends
 * there. */
static void rasmoStream(rasmoXfer *t, const uint8_t *p, long bytes, uint8_t (*conv)(uint8_t)) {
    long i = 0;
    for (; i + 1 < bytes; i += 2)
        rasmoPutWord(t, (uint16_t)(conv(p[i]) | conv(p[i + 1]) << 8));
    if (i < bytes)
        rasmoPutWord(t, conv(p[i]));
}

/* Rows of `n` bytes `stride` apart: bytes when n is odd, words otherwise. */
static void rasmoRows(rasmoXfer *t, const uint8_t *p, int n, int h, int stride,
                      uint8_t (*conv)(uint8_t)) {
    for (int y = 0; y < h; y++, p += stride) {
        if (n & 1)
            for (int i = 0; i < n; i++)
                rasmoPutByte(t, conv(p[i]));
        else
            rasmoStream(t, p, n, conv);
    }
}

/* The destination rectangle; the y end write starts the operation. */
static void rasmoRect(int x1, int y1, int x2, int y2) {
    outw(CUR_X, (uint16_t)x1);
    outw(DEST_X_START, (uint16_t)x1);
    outw(DEST_X_END, (uint16_t)x2);
    outw(CUR_Y, (uint16_t)y1);
    outw(DEST_Y_END, (uint16_t)y2);
}

/* Image set-up (8 writes, one wait): configuration, mix, plane mask and the
 * rectangle. */
static void rasmoImageSetup(uint16_t config, int mix, uint32_t planemask, const BoxRec *b) {
    rasmoFifoSpaceWait(8);
    outw(DATA_PATH, config);
    outw(FRGD_MIX, (uint16_t)mix);
    outw(WRT_MASK, (uint16_t)planemask);
    rasmoRect(b->x1, b->y1, b->x2, b->y2);
}

/* ---- images ---- */

void rasmoDrawImage8(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    (void)pDraw;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    const Bool bytes = stride != w && (w & 1);
    rasmoImageSetup(bytes ? DP_HOST_PIX_8 : DP_HOST_PIX_16, rasmoRasterOp[alu & 0xF], planemask,
                    box);
    rasmoXfer t = {0, 0};
    if (stride == w) {
        const long total = (long)w * h;
        t.total = (int)((total + 1) / 2);
        rasmoStream(&t, pixels, total, rasmoSame);
    } else {
        t.total = bytes ? w * h : w / 2 * h;
        rasmoRows(&t, pixels, w, h, stride, rasmoSame);
    }
}

void rasmoDrawImage16(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    (void)pDraw;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    rasmoImageSetup(DP_HOST_PIX_16, rasmoRasterOp[alu & 0xF], planemask, box);
    rasmoXfer t = {0, w * h};
    if (stride == 2 * w)
        rasmoStream(&t, pixels, 2L * w * h, rasmoSame);
    else
        rasmoRows(&t, pixels, 2 * w, h, stride, rasmoSame);
}

/* Until the engine has pixels for the host; bounded, and the read goes on
 * regardless. */
static void rasmoDataReadyWait(void) {
    for (long i = 0; i < DATA_READY_LIMIT; i++)
        if (inw(GE_STAT) & GE_DATA_READY)
            return;
}

void rasmoReadImage8(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    (void)pDraw;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    rasmoImageSetup((w & 1) ? DP_READ_8 : DP_READ_16, rasmoRasterOp[GXcopy], 0xFF, box);
    rasmoDataReadyWait();
    for (int y = 0; y < h; y++, dst += stride) {
        if (w & 1) {
            for (int i = 0; i < w; i++)
                dst[i] = inb(PIX_TRANS_8);
        } else {
            for (int i = 0; i < w; i += 2) {
                const uint16_t v = inw(PIX_TRANS);
                dst[i] = (uint8_t)v;
                dst[i + 1] = (uint8_t)(v >> 8);
            }
        }
    }
}

void rasmoReadImage16(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    (void)pDraw;
    const int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    rasmoImageSetup(DP_READ_16, rasmoRasterOp[GXcopy], 0xFFFF, box);
    rasmoDataReadyWait();
    for (int y = 0; y < h; y++, dst += stride)
        for (int i = 0; i < w; i++) {
            const uint16_t v = inw(PIX_TRANS);
            dst[2 * i] = (uint8_t)v;
            dst[2 * i + 1] = (uint8_t)(v >> 8);
        }
}

/* ---- monochrome images ---- */

/* Bitmap data of `n` bytes a row: one stream when the rows are contiguous,
 * else row by row. */
static void rasmoBitmapData(const uint8_t *bits, int n, int h, int stride) {
    rasmoXfer t = {0, 0};
    if (stride == n) {
        const long total = (long)n * h;
        t.total = (int)((total + 1) / 2);
        rasmoStream(&t, bits, total, rasmoSwap);
    } else {
        t.total = (n & 1) ? n * h : n / 2 * h;
        rasmoRows(&t, bits, n, h, stride, rasmoSwap);
    }
}

static uint16_t rasmoBitmapConfig(int n, int stride) {
    return stride != n && (n & 1) ? DP_HOST_BITS_8 : DP_HOST_BITS_16;
}

/* The engine takes whole bytes a row: the rectangle starts `lead` bits left
 * of the box and ends on a byte boundary, and the scissors hide the extra
 * bits where the clip does not already. */
static void rasmoMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                           int alu, uint32_t planemask, DrawablePtr pDraw, Bool opaque) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    const int h = box->y2 - box->y1;
    if (box->x2 <= box->x1 || h <= 0)
        return;
    const int lead = startBit & 7;
    bits += startBit >> 3;
    const int nbits = box->x2 - box->x1 + lead;
    const int n = (nbits + 7) / 8;
    const uint16_t config = rasmoBitmapConfig(n, stride);
    rasmoFifoSpaceWait(opaque ? 13 : 12);
    int x1 = box->x1, x2 = box->x2;
    Bool leftNarrowed = 0, rightNarrowed = 0;
    if (lead) {
        if (priv->clipX1 < box->x1) {
            outw(SCISSOR_LEFT, (uint16_t)box->x1);
            leftNarrowed = 1;
        }
        x1 -= lead;
    }
    if (nbits & 7) {
        if (box->x2 < priv->clipX2) {
            outw(SCISSOR_RIGHT, (uint16_t)(box->x2 - 1));
            rightNarrowed = 1;
        }
        x2 += 8 - (nbits & 7);
    }
    outw(DATA_PATH, config);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(BKGD_MIX, opaque ? rasmoRasterOp[alu & 0xF] : rasmoRasterOp[GXnoop]);
    outw(FRGD_COLOR, (uint16_t)fg);
    if (opaque)
        outw(BKGD_COLOR, (uint16_t)bg);
    outw(WRT_MASK, (uint16_t)planemask);
    rasmoRect(x1, box->y1, x2, box->y2);
    rasmoBitmapData(bits, n, h, stride);
    rasmoFifoSpaceWait(2);
    if (leftNarrowed)
        outw(SCISSOR_LEFT, (uint16_t)priv->clipX1);
    if (rightNarrowed)
        outw(SCISSOR_RIGHT, (uint16_t)(priv->clipX2 - 1));
}

void rasmoDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    rasmoMonoImage(box, bits, startBit, stride, fg, 0, alu, planemask, pDraw, 0);
}

void rasmoDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    rasmoMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw, 1);
}

/* ---- glyphs ---- */

/* Each glyph's right edge is cut by the right scissor at the smaller of the
 * glyph's and the clip's right edge; the clip's edge comes back at the end. */
void rasmoDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    (void)font;
    if (count <= 0)
        return;
    rasmoScreenPrivPtr priv = RASMO_PRIV(pDraw->pScreen);
    rasmoFifoSpaceWait(4);
    outw(FRGD_MIX, rasmoRasterOp[alu & 0xF]);
    outw(BKGD_MIX, rasmoRasterOp[GXnoop]);
    outw(FRGD_COLOR, (uint16_t)fg);
    outw(WRT_MASK, (uint16_t)planemask);
    for (int i = 0; i < count; i++) {
        const MonoGlyphRec *g = &glyphs[i];
        const BoxRec *b = &g->box;
        const int h = b->y2 - b->y1;
        if (b->x2 <= b->x1 || h <= 0)
            continue;
        const int n = (b->x2 - b->x1 + 7) / 8;
        const int right = b->x2 < priv->clipX2 ? b->x2 : priv->clipX2;
        rasmoFifoSpaceWait(7);
        outw(DATA_PATH, rasmoBitmapConfig(n, g->stride));
        outw(SCISSOR_RIGHT, (uint16_t)(right - 1));
        rasmoRect(b->x1, b->y1, b->x1 + 8 * n, b->y2);
        rasmoBitmapData(g->bits, n, h, g->stride);
    }
    rasmoFifoSpaceWait(1);
    outw(SCISSOR_RIGHT, (uint16_t)(priv->clipX2 - 1));
}
