/*
 * dulmo: the blitter's coordinate loaders, rectangle copies, solid
 * rectangles, points on the flat frame buffer, zero-width segments and
 * solid spans.
 */
#include "dulmo.h"

/* Error terms and lengths the line engine's registers hold. */
#define LINE_TERM_MIN (-2048)
#define LINE_TERM_MAX 2047
#define LINE_MIN_LENGTH 5
#define COPY_BLOCK_SHIFT 11

void dulmoZip(int width, int height, int x, int y) {
    ioOut16(DULMO_WIDTH, (uint16_t)width);
    ioOut16(DULMO_HEIGHT, (uint16_t)height);
    ioOut16(DULMO_SRC_X, (uint16_t)x);
    ioOut16(DULMO_DST_X, (uint16_t)x);
    ioOut16(DULMO_SRC_Y, (uint16_t)y);
    ioOut16(DULMO_DST_Y, (uint16_t)y);
}

void dulmoSquirt(uint32_t source, int height, int width, int x, int y) {
    ioOut16(DULMO_SRC_Y, (uint16_t)(source >> 16));
    ioOut16(DULMO_SRC_X, (uint16_t)source);
    ioOut16(DULMO_HEIGHT, (uint16_t)height);
    ioOut16(DULMO_WIDTH, (uint16_t)width);
    ioOut16(DULMO_DST_X, (uint16_t)x);
    ioOut16(DULMO_DST_Y, (uint16_t)y);
    ioOut8(DULMO_CONTROL, START_FORWARD);
}

void dulmoSpit(int x1, int y1, int x2, int y2) {
    ioOut16(DULMO_SRC_X, (uint16_t)x1);
    ioOut16(DULMO_SRC_Y, (uint16_t)y1);
    ioOut16(DULMO_END_X, (uint16_t)x2);
    ioOut16(DULMO_END_Y, (uint16_t)y2);
}

void dulmoCopyRect(BoxPtr pDst, DDXPointPtr pSrc, int alu, uint32_t planemask, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoSelect(p);
    dulmoWaitIfBusy(p);
    if (p->gr10Pending) {
        ioOut8(DULMO_GR_INDEX, GR_GLYPH_STATE);
        ioOut8(DULMO_GR_DATA, 0x40);
        ioOut8(DULMO_GR_DATA, 0x28);
        p->gr10Pending = 0;
    }
    int width = pDst->x2 - pDst->x1, height = pDst->y2 - pDst->y1;
    uint32_t srcAddr = ((uint32_t)pSrc->y << p->pitchShift) + (uint32_t)pSrc->x;
    uint32_t dstAddr = ((uint32_t)pDst->y1 << p->pitchShift) + (uint32_t)pDst->x1;
    dulmoStatusSetup(0);
    if (p->chipRevisionFlag == 1 && alu == GXcopy &&
        (srcAddr >> COPY_BLOCK_SHIFT) == (dstAddr >> COPY_BLOCK_SHIFT)) {
        dulmoSetGR(GR_OP_MODE, OP_COPY_REV);
        ioOut8(DULMO_ROP, alu_to_hwrop[6]);
    } else {
        dulmoSetGR(GR_OP_MODE, OP_COPY);
        ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
    }
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    ioOut16(DULMO_WIDTH, (uint16_t)width);
    ioOut16(DULMO_HEIGHT, (uint16_t)height);
    ioOut8(DULMO_BLT_MODE, BLT_COPY_FILL);
    uint8_t start;
    if (pSrc->y < pDst->y1 || (pSrc->y == pDst->y1 && pSrc->x < pDst->x1)) {
        ioOut16(DULMO_SRC_X, (uint16_t)(pSrc->x + width - 1));
        ioOut16(DULMO_SRC_Y, (uint16_t)(pSrc->y + height - 1));
        ioOut16(DULMO_DST_X, (uint16_t)(pDst->x2 - 1));
        ioOut16(DULMO_DST_Y, (uint16_t)(pDst->y2 - 1));
        start = START_BACKWARD;
    } else {
        ioOut16(DULMO_SRC_X, (uint16_t)pSrc->x);
        ioOut16(DULMO_SRC_Y, (uint16_t)pSrc->y);
        ioOut16(DULMO_DST_X, (uint16_t)pDst->x1);
        ioOut16(DULMO_DST_Y, (uint16_t)pDst->y1);
        start = START_FORWARD;
    }
    ioOut8(DULMO_CONTROL, start);
    p->engineBusy = 1;
}

void dulmoDrawSolidRects(BoxPtr pBox, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoSelect(p);
    dulmoWaitIfBusy(p);
    dulmoStatusSetup(1);
    dulmoSetGR(GR_OP_MODE, OP_FILL);
    ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    dulmoSetGR(GR_FG, (uint8_t)fg);
    dulmoSetGR(GR_BG, (uint8_t)fg);
    for (int i = 0; i < count; i++, pBox++) {
        dulmoZip(pBox->x2 - pBox->x1, pBox->y2 - pBox->y1, pBox->x1, pBox->y1);
        ioOut8(DULMO_BLT_MODE, BLT_COPY_FILL);
        ioOut8(DULMO_CONTROL, START_FORWARD);
        dulmoWaitDone();
    }
    p->engineBusy = 1;
}

void dulmoDrawPoints(DDXPointPtr pts, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoSelect(p);
    dulmoTakeFrameBuffer(p);
    dulmoStatusSetup(0);
    dulmoSetGR(GR_OP_MODE, OP_PROCESSOR);
    ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    for (int i = 0; i < count; i++)
        mmWrite8(p->apertureBase + ((uint32_t)pts[i].y << p->pitchShift) + pts[i].x, (uint8_t)fg);
}

static void dulmoSetGRWord(uint8_t index, int value) {
    dulmoSetGR(index, (uint8_t)value);
    dulmoSetGR((uint8_t)(index + 1), (uint8_t)(value >> 8));
}

void dulmoSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    dulmoSelect(p);
    if (len < 1)
        return;
    dulmoWaitIfBusy(p);
    dulmoStatusSetup(1);
    dulmoSetGR(GR_OP_MODE, OP_LINE);
    dulmoSetGR(GR_FG, (uint8_t)gcPriv->fgPixel);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)gcPriv->planemask);
    ioOut8(DULMO_ROP, alu_to_hwrop[gcPriv->alu & 15]);

    if (len < LINE_MIN_LENGTH || e < LINE_TERM_MIN || e > LINE_TERM_MAX || e2 < LINE_TERM_MIN ||
        e2 > LINE_TERM_MAX || e1 > LINE_TERM_MAX) {
        DDXPointPtr pts = (DDXPointPtr)Xalloc((uint32_t)len * (uint32_t)sizeof(DDXPointRec));
        if (!pts)
            return;
        int x = x1, y = y1;
        for (int i = 0; i < len; i++) {
            pts[i].x = (int16_t)x;
            pts[i].y = (int16_t)y;
            if (e > 0) {
                x += signdx;
                y += signdy;
                e += e2;
            } else {
                if (axis == 0)
                    x += signdx;
                else
                    y += signdy;
                e += e1;
            }
        }
        WinOps *ops = NFB_WINDOW_PRIV((WindowPtr)pDraw)->ops;
        ops->DrawPoints(pts, len, gcPriv->fgPixel, gcPriv->alu, gcPriv->planemask, pDraw);
        Xfree(pts);
        return;
    }
    if (e2 == 0) {
        dulmoSetGR(GR_LINE_CTL, LINE_TO_END);
        dulmoSpit(x1, y1, x1 + signdx * (len - 1), y1 + signdy * (len - 1));
    } else {
        dulmoSetGR(GR_LINE_CTL, LINE_LOAD);
        ioOut16(DULMO_SRC_X, (uint16_t)x1);
        ioOut16(DULMO_SRC_Y, (uint16_t)y1);
        dulmoSetGRWord(GR_LINE_E, e);
        dulmoSetGRWord(GR_LINE_E1, e1);
        dulmoSetGRWord(GR_LINE_E2, e2);
        int octant = (signdx < 0 ? 4 : 0) | (signdy < 0 ? 2 : 0) | (axis == 1 ? 1 : 0);
        dulmoSetGR(GR_OCTANT, (uint8_t)octant);
        dulmoSetGRWord(GR_LINE_LEN, len);
        dulmoSetGR(GR_LINE_CTL, LINE_DRAW);
    }
    p->engineBusy = 1;
}

/* A 32-pixel mask as the board takes it: each byte's bits reversed. */
static inline uint32_t dulmoSwapMask(uint32_t m) {
    return (uint32_t)ddxBitSwap[m & 0xFF] | (uint32_t)ddxBitSwap[(m >> 8) & 0xFF] << 8 |
           (uint32_t)ddxBitSwap[(m >> 16) & 0xFF] << 16 | (uint32_t)ddxBitSwap[m >> 24] << 24;
}

void dulmoSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr pts, int *widths, int count) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    dulmoSelect(p);
    if (count == 0)
        return;
    dulmoTakeFrameBuffer(p);
    dulmoStatusSetup(1);
    dulmoSetGR(GR_OP_MODE, OP_EXPAND);
    dulmoSetGR(GR_FG, (uint8_t)gcPriv->fgPixel0);
    ioOut8(DULMO_ROP, alu_to_hwrop[gcPriv->alu0 & 15]);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)gcPriv->planemask0);
    int lineShift = p->pitchShift - 3;
    for (int i = 0; i < count; i++) {
        int x = pts[i].x, y = pts[i].y, n = widths[i];
        if (n <= 0)
            continue;
        int b = x & 31;
        uint8_t *word = p->apertureBase + ((uint32_t)y << lineShift) + (uint32_t)(x >> 5) * 4;
        if (b + n < 32) {
            mmWrite32(word, dulmoSwapMask(partmasks[b][n & 31]));
            continue;
        }
        uint32_t s = starttab[b], t = endtab[(x + n) & 31];
        int words = n;
        if (s) {
            mmWrite32(word, dulmoSwapMask(s));
            word += 4;
            words = n - (32 - b);
        }
        for (words /= 32; words > 0; words--, word += 4)
            mmWrite32(word, 0xFFFFFFFFu);
        if (t)
            mmWrite32(word, dulmoSwapMask(t));
    }
}
