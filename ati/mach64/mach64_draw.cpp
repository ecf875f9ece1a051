/*
 * Mach64 solid drawing, copies, lines and images: every request is one
 * engine operation per box, span, point, segment or image line. Each
 * routine waits for FIFO room for exactly the writes that follow, writes the
 * data-path registers through their shadows and the start register last.
 */
#include "mach64.h"

static inline uint32_t m64Mix(int alu) {
    return UNAME(RasterOps)[alu & 0xF];
}

/* The alu's code for foreground pixels, background pixels left alone. */
static inline uint32_t m64MixFgOnly(int alu) {
    return m64Mix(alu) << 16 | UNAME(RasterOps)[GXnoop];
}

static inline uint32_t m64MixBoth(int alu) {
    return m64Mix(alu) | m64Mix(alu) << 16;
}

static inline uint32_t m64YX(int x, int y) {
    return (uint32_t)(uint16_t)x << 16 | (uint32_t)(uint16_t)y;
}

static inline void m64EndWait(teskScreenPrivate *priv, const char *label) {
    if (m64Traits.rectEndWaits)
        LNAME(CheckedWait)(priv, label);
}

/* The screen's code for destination, blit source and host data. */
static inline uint32_t m64ScreenPixWidth(const teskScreenPrivate *priv) {
    uint32_t code = priv->pixWidthCode;
    return m64DstPixWidth(code) | code << 8 | code << 16;
}

/* ---- Copies ---- */

void UNAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    if (dst->y2 <= dst->y1 || dst->x2 <= dst->x1)
        return;
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    uint32_t code = priv->pixWidthCode;

    FifoSpaceWait(priv, 5);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64DstPixWidth(code) | code << 8);
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixBoth(alu));
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT);
    m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_PATTERN);

    /* Read every overlapping pixel before it is overwritten. */
    Bool leftToRight = src->x >= dst->x1;
    Bool topToBottom = src->y >= dst->y1;
    int sx = leftToRight ? src->x : src->x + w - 1;
    int dx = leftToRight ? dst->x1 : dst->x2 - 1;
    int sy = topToBottom ? src->y : src->y + h - 1;
    int dy = topToBottom ? dst->y1 : dst->y2 - 1;
    uint32_t cntl = DST_CNTL_LAST_PEL | (leftToRight ? DST_CNTL_X_RIGHT : 0) |
                    (topToBottom ? DST_CNTL_Y_DOWN : 0);
    uint32_t size = (uint32_t)w << 16 | (uint32_t)h;

    FifoSpaceWait(priv, 5);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, cntl);
    m64Out(priv, SRC_Y_X, m64YX(sx, sy));
    m64Out(priv, SRC_HEIGHT1_WIDTH1, size);
    m64OutDstYX(priv, m64YX(dx, dy));
    m64Out(priv, DST_HEIGHT_WIDTH, size);
    m64EndWait(priv, "Copy Rect");
}

/* ---- Solid rectangles, points and spans ---- */

void UNAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    FifoSpaceWait(priv, 7);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64ScreenPixWidth(priv));
    m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_PATTERN);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixBoth(alu));
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, fg);
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_FOREGROUND);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    /* A count of 0 draws nothing: no box is looked at. */
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        FifoSpaceWait(priv, 2);
        m64OutDstYX(priv, m64YX(b->x1, b->y1));
        m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)(b->x2 - b->x1) << 16 | (uint32_t)(b->y2 - b->y1));
    }
    m64EndWait(priv, "Draw Solid Rect");
}

/* DP_PIX_WIDTH is set too: a font download leaves it at one bit per pixel. */
void UNAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                       DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    FifoSpaceWait(priv, 6);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixFgOnly(alu));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, fg);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_FOREGROUND);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64ScreenPixWidth(priv));
    for (int i = 0; i < count; i++) {
        FifoSpaceWait(priv, 2);
        m64OutDstYX(priv, m64YX(points[i].x, points[i].y));
        m64Out(priv, DST_HEIGHT_WIDTH, 0x10001u);
    }
    m64EndWait(priv, "Draw Points");
}

/* DP_PIX_WIDTH is set too, as in DrawPoints. */
void UNAME(SolidFS)(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    const nfbGCPrivate *gp = NFB_GC_PRIV(pGC);
    FifoSpaceWait(priv, 6);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_FOREGROUND);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixFgOnly(gp->alu));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, gp->planemask);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, gp->fgPixel);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_DEFAULT);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64ScreenPixWidth(priv));
    for (int i = 0; i < count; i++) {
        FifoSpaceWait(priv, 2);
        m64OutDstYX(priv, m64YX(starts[i].x, starts[i].y));
        m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)(uint16_t)widths[i] << 16 | 1u);
    }
}

/* ---- Lines ---- */

/* The server's terms go to the line registers unchanged. */
void UNAME(FillZeroSeg)(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                        int y1, int e, int e1, int e2, int len) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    const nfbGCPrivate *gp = NFB_GC_PRIV(pGC);
    uint32_t code = priv->pixWidthCode;
    uint32_t cntl = DST_CNTL_LAST_PEL | (axis != 0 ? DST_CNTL_Y_MAJOR : 0) |
                    (signdx > 0 ? DST_CNTL_X_RIGHT : 0) | (signdy > 0 ? DST_CNTL_Y_DOWN : 0);
    FifoSpaceWait(priv, 11);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_FOREGROUND);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixBoth(gp->alu));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, gp->planemask);
    m64OutShadowed(priv, &priv->shadowFgColor, DP_FRGD_CLR, gp->fgPixel);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, cntl);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64DstPixWidth(code) | code << 8);
    m64OutDstYX(priv, m64YX(x1, y1));
    m64Out(priv, DST_BRES_ERR, (uint32_t)e);
    m64Out(priv, DST_BRES_INC, (uint32_t)e1);
    m64Out(priv, DST_BRES_DEC, (uint32_t)e2);
    m64Out(priv, DST_BRES_LNTH, (uint32_t)len);
}

/* ---- Images ---- */

/* Word j of a line of `bytes` bytes: the last word is built from the bytes
 * the line has, never from the bytes past it. */
static uint32_t m64LineWord(const uint8_t *line, int j, int bytes) {
    int at = j * 4;
    int have = bytes - at < 4 ? bytes - at : 4;
    uint32_t w = 0;
    for (int k = 0; k < have; k++)
        w |= (uint32_t)line[at + k] << (8 * k);
    return w;
}

void UNAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    FifoSpaceWait(priv, 5);
    m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, m64MixFgOnly(alu));
    m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
    m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
    m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_HOST);
    m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64ScreenPixWidth(priv));

    int width = box->x2 - box->x1, height = box->y2 - box->y1;
    /* A width of 0 or less would start an operation with a width word of 0
     * or a negative one. */
    if (height <= 0 || width <= 0)
        return;
    int bytes = width * m64BytesPerPixel(priv->depth);
    int words = (bytes + 3) / 4;
    const uint8_t *line = pixels;
    for (int i = 0; i < height; i++) {
        FifoSpaceWait(priv, 2);
        m64OutDstYX(priv, m64YX(box->x1, box->y1 + i));
        m64Out(priv, DST_HEIGHT_WIDTH, (uint32_t)width << 16 | 1u);
        if (words <= FIFO_ENTRIES)
            FifoSpaceWait(priv, words);
        for (int j = 0; j < words; j++) {
            if (words > FIFO_ENTRIES)
                FifoSpaceWait(priv, 1);
            m64Out(priv, HOST_DATA0, m64LineWord(line, j, bytes));
        }
        FifoSpaceWait(priv, 1);
        m64Out(priv, HOST_DATA0, 0);
        line += stride;
    }
}

void UNAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    LNAME(CheckedWait)(priv, M64_PREFIX "ReadImage");
    if (LNAME(NewChipClass)(priv))
        m64Out(priv, MEM_BUF_CNTL, m64In(priv, MEM_BUF_CNTL) | MEM_BUF_READ_ENABLE);
    int bpp = m64BytesPerPixel(priv->depth);
    int bytes = (box->x2 - box->x1) * bpp;
    if (bytes <= 0)
        return;
    for (int y = box->y1; y < box->y2; y++, dst += stride) {
        uint32_t offset = ((uint32_t)y * (uint32_t)priv->width + (uint32_t)box->x1) * (uint32_t)bpp;
        const uint8_t *from;
        if (priv->aperture) {
            from = priv->aperture + offset;
        } else {
            /* The line's page in the window's lower half, the next one in
             * its upper half: a line never runs past the second page. */
            uint32_t page = offset >> READ_PAGE_SHIFT;
            m64Out(priv, MEM_VGA_RP_SEL, page | (page + 1) << 16);
            from = priv->memWindow + (offset & READ_PAGE_MASK);
        }
        for (int k = 0; k < bytes; k++)
            dst[k] = from[k];
    }
}
