/*
 * The image cache: a tile or stipple in off-screen memory, as an 8 x 8
 * pattern the engine repeats by itself or as a block copied piece by piece.
 */
#include "ct.h"

#define CT_PATTERN_SIDE 8

static inline Bool ctSmallSide(int n) {
    return n == 1 || n == 2 || n == 4 || n == 8;
}

static inline uint32_t ctTilePixel(const uint8_t *tile, int stride, int x, int y) {
    return ctLoadPixel(tile + y * stride + x * CT_BPP);
}

/* An 8 x 8 pattern of the tile, or none when the tile does not repeat
 * within 8 pixels each way. */
ctOnboardChunk *ctBuild8x8Tile(ScreenPtr pScreen, const uint8_t *tile, int stride, int w, int h) {
    Bool smallW = ctSmallSide(w), smallH = ctSmallSide(h);
    if (!((smallW || w == 16) && (smallH || h == 16)))
        return 0;
    ctWaitIdle();
    ctOnboardChunk *chunk = NAME(OnboardAlloc)(pScreen, CT_PATTERN_SIDE, CT_PATTERN_SIDE,
                                               CT_PATTERN_SIDE * CT_BPP, __FILE__, __LINE__);
    if (!chunk)
        return 0;
    uint8_t *at = NAME(OnboardVAddr)(chunk);
    for (int j = 0; j < CT_PATTERN_SIDE; j++)
        for (int k = 0; k < CT_PATTERN_SIDE; k++) {
            uint32_t v = ctTilePixel(tile, stride, k % w, j % h);
            /* A 16-pixel side repeats only when its halves are equal. */
            Bool repeats = (h != 16 || ctTilePixel(tile, stride, k % w, j + 8) == v) &&
                           (w != 16 || ctTilePixel(tile, stride, k + 8, j % h) == v) &&
                           (w != 16 || h != 16 || ctTilePixel(tile, stride, k + 8, j + 8) == v);
            if (!repeats) {
                NAME(OnboardFree)(pScreen, chunk, __FILE__, __LINE__);
                return 0;
            }
            ctStorePixel(at + (j * CT_PATTERN_SIDE + k) * CT_BPP, v);
        }
    ctFlushProcessor(CT_PRIV(pScreen));
    return chunk;
}

/* Stipples are never patterns: they need both colours, which the engine's
 * pattern fills do not take. */
ctOnboardChunk *ctBuild8x8Stipple(ScreenPtr pScreen, const uint8_t *bits, int stride, int w,
                                  int h) {
    (void)pScreen;
    (void)bits;
    (void)stride;
    (void)w;
    (void)h;
    return 0;
}

static uint32_t ctSquareRoot(uint32_t n) {
    uint32_t r = 0;
    while ((uint64_t)(r + 1) * (r + 1) <= n)
        r++;
    return r;
}

static void ctCopyInCache(const ctScreenPrivate *priv, int alu, uint32_t srcPitch,
                          uint32_t dstPitch, uint32_t src, uint32_t dst, int w, int h) {
    ctWaitIdle();
    ctSetControl(NAME(PixelOps)[alu & 0xF] | (CT_IS_65550 ? 0 : CT548_COPY_FORWARD));
    ctSetPitches(srcPitch, dstPitch);
    ctWaitIdle();
    ctSetSource(src);
    ctSetDest(dst);
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
    (void)priv;
}

ctOnboardChunk *NAME(ImageCacheLoad)(ScreenPtr pScreen, const uint8_t *pixels, int stride,
                                     int depth, int *width, int *height, Pixel fg, Pixel bg) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    const int w = *width, h = *height;
    ctOnboardChunk *chunk = depth == 1 ? ctBuild8x8Stipple(pScreen, pixels, stride, w, h)
                                       : ctBuild8x8Tile(pScreen, pixels, stride, w, h);
    if (chunk) {
        *width = *height = CT_PATTERN_SIDE;
        return chunk;
    }
    *width = *height = 0;
    if (w <= 0 || h <= 0)
        return 0;
    /* Keys of 0 or below would divide by nothing: they count as absent. */
    int32_t minDiv = priv->onboardMin > 0 ? priv->onboardMin : 5;
    int32_t maxDiv = priv->onboardMax > 0 ? priv->onboardMax : 2;
    uint32_t available = NAME(OnboardAvailable)(pScreen);
    uint32_t small = available / (uint32_t)minDiv, large = available / (uint32_t)maxDiv;
    uint64_t area = (uint64_t)w * (uint32_t)h;
    int W = w, H = h;
    if (area < small) {
        int side = (int)ctSquareRoot(small);
        /* A side shorter than the image keeps the image's own size. */
        W = side >= w ? w * (side / w) : w;
        H = side >= h ? h * (side / h) : h;
    } else if (area > large) {
        return 0;
    }
    chunk = NAME(OnboardAlloc)(pScreen, W, H, W * CT_BPP, __FILE__, __LINE__);
    if (!chunk)
        return 0;
    uint32_t base = (uint32_t)NAME(OnboardOffset)(chunk, 0, 0);
    uint32_t pitch = (uint32_t)(W * CT_BPP);
    ctWaitIdle();
    if (depth == 1) {
        if (CT_IS_65550) {
            ctSetControl(NAME(PixelOps)[GXcopy] | CT550_MONO_OPAQUE);
            mmWrite32(ct_membase + BR02_FG, ctEngineColour(fg));
            mmWrite32(ct_membase + BR01_BG, ctEngineColour(bg));
        } else {
            ctSetControl(NAME(PixelOps)[GXcopy] | CT548_MONO_OPAQUE);
            ioOut32(DR03_FG, ctEngineColour(fg));
            ioOut32(DR02_BG, ctEngineColour(bg));
        }
#if CT_65550_BUILD
        NAME(DoDrawMonoImage)(priv->fbBase, (int)pitch, base, w, h, pixels, stride, 0);
#else
        NAME(DoDrawMonoImage)(priv->fbBase, (int)pitch, base, w, h, pixels, stride);
#endif
    } else {
        /* Each row goes from its first byte in whole words, so in the
         * engine's stream the rows lie that many words apart, whatever the
         * tile's own stride: that is the source pitch. */
        uint32_t rowWords = (uint32_t)(w * CT_BPP + 3) / 4;
        ctSetControl(NAME(PixelOps)[GXcopy] |
                     (CT_IS_65550 ? CT550_HOST_COLOUR : CT548_HOST_COLOUR));
        ctSetPitches(rowWords * 4, pitch);
        ctSetSource(0);
        ctSetDest(base);
        ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
        uint32_t bytes = (uint32_t)(w * CT_BPP);
        uint32_t sent = 0;
        for (int r = 0; r < h; r++)
            for (uint32_t k = 0; k < rowWords; k++, sent++) {
                uint32_t word = 0;
                for (uint32_t j = 0; j < 4 && 4 * k + j < bytes; j++)
                    word |= (uint32_t)pixels[r * stride + 4 * k + j] << (8 * j);
                if (CT_IS_65550)
                    mmWrite32(priv->fbBase + CT_HOST_PORT_65550, word);
                else
                    mmWrite32(priv->fbBase, word);
            }
        if (CT_IS_65550 && (sent & 1))
            mmWrite32(priv->fbBase + CT_HOST_PORT_65550, 0);
    }
    for (int x = w; x < W; x += w)
        ctCopyInCache(priv, GXcopy, pitch, pitch, base, base + (uint32_t)(x * CT_BPP), w, h);
    for (int y = h; y < H; y += h)
        ctCopyInCache(priv, GXcopy, pitch, pitch, base, base + (uint32_t)y * pitch, W, h);
    *width = W;
    *height = H;
    return chunk;
}

void NAME(ImageCacheFree)(ScreenPtr pScreen, ctOnboardChunk *chunk) {
    NAME(OnboardFree)(pScreen, chunk, __FILE__, __LINE__);
}

static inline int ctMod(int a, int m) {
    int r = a % m;
    return r < 0 ? r + m : r;
}

/* The engine takes a pattern's column from the destination's x: a pattern
 * whose origin is not on a multiple of 8 is turned by that phase for the
 * drawing and turned back after. */
static void ctRotatePattern(const ctScreenPrivate *priv, ctOnboardChunk *chunk, int phase) {
    if (phase == 0)
        return;
    ctWaitIdle();
    uint8_t *at = NAME(OnboardVAddr)(chunk);
    for (int j = 0; j < CT_PATTERN_SIDE; j++) {
        uint32_t row[CT_PATTERN_SIDE];
        for (int k = 0; k < CT_PATTERN_SIDE; k++)
            row[k] = ctLoadPixel(at + (j * CT_PATTERN_SIDE + k) * CT_BPP);
        for (int k = 0; k < CT_PATTERN_SIDE; k++)
            ctStorePixel(at + (j * CT_PATTERN_SIDE + ctMod(k + phase, CT_PATTERN_SIDE)) * CT_BPP,
                         row[k]);
    }
    ctFlushProcessor(priv);
}

static void ctPatternFill(const ctScreenPrivate *priv, ctOnboardChunk *chunk, int alu, int x, int y,
                          int w, int h, int orgY) {
    int row = ctMod(y - orgY, CT_PATTERN_SIDE);
    ctWaitIdle();
    if (CT_IS_65550)
        ctSetControl(NAME(PatternOps)[alu & 0xF] | (uint32_t)row << CT550_PATTERN_ROW_SHIFT);
    else
        ctSetControl(NAME(PatternOps)[alu & 0xF] | CT548_PATTERN |
                     (uint32_t)row << CT548_PATTERN_ROW_SHIFT);
    ctSetSource(0);
    ctSetDest(ctAddress(priv, x, y));
    ctStart((uint32_t)(w * CT_BPP), (uint32_t)h);
    (void)chunk;
}

static void ctPatternBegin(const ctScreenPrivate *priv, ctOnboardChunk *chunk) {
    ctWaitIdle();
    uint32_t address = (uint32_t)NAME(OnboardOffset)(chunk, 0, 0);
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR05_PATTERN, address & BR_PATTERN_MASK);
    else
        ioOut32(DR01_PATTERN, address & DR_ADDR_MASK);
    ctSetPitches((uint32_t)priv->stride, (uint32_t)priv->stride);
}

/* One row band of a block fill: from (sx, sy) of the block at x1, then
 * from column 0 to x2. */
static void ctBlockBand(const ctScreenPrivate *priv, ctOnboardChunk *chunk, int alu, int W, int sx,
                        int sy, int x1, int x2, int y, int h) {
    uint32_t pitch = (uint32_t)(W * CT_BPP);
    int x = x1, from = sx;
    while (x < x2) {
        int w = (x + W - from < x2 ? x + W - from : x2) - x;
        ctCopyInCache(priv, alu, pitch, (uint32_t)priv->stride,
                      (uint32_t)NAME(OnboardOffset)(chunk, from, sy), ctAddress(priv, x, y), w, h);
        x += w;
        from = 0;
    }
}

void NAME(ImageCacheCopyRects)(BoxPtr boxes, int count, ctOnboardChunk *chunk, int W, int H,
                               DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    (void)planemask;
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (W == CT_PATTERN_SIDE && H == CT_PATTERN_SIDE) {
        int phase = ctMod(patOrg->x, CT_PATTERN_SIDE);
        ctRotatePattern(priv, chunk, phase);
        ctPatternBegin(priv, chunk);
        for (int i = 0; i < count; i++) {
            const BoxRec &b = boxes[i];
            ctPatternFill(priv, chunk, alu, b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1, patOrg->y);
        }
        ctRotatePattern(priv, chunk, ctMod(-phase, CT_PATTERN_SIDE));
        return;
    }
    for (int i = 0; i < count; i++) {
        const BoxRec &b = boxes[i];
        int sx = ctMod(b.x1 - patOrg->x, W), sy = ctMod(b.y1 - patOrg->y, H);
        int y = b.y1;
        int band = (y + H - sy < b.y2 ? y + H - sy : b.y2) - y;
        ctBlockBand(priv, chunk, alu, W, sx, sy, b.x1, b.x2, y, band);
        for (y += band; y < b.y2; y += band) {
            band = (y + H < b.y2 ? y + H : b.y2) - y;
            ctBlockBand(priv, chunk, alu, W, sx, 0, b.x1, b.x2, y, band);
        }
    }
}

void NAME(ImageCacheFS)(DDXPointPtr starts, int *widths, int count, ctOnboardChunk *chunk, int W,
                        int H, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    (void)planemask;
    ctScreenPrivPtr priv = ctPrivOf(pDraw);
    if (W == CT_PATTERN_SIDE && H == CT_PATTERN_SIDE) {
        int phase = ctMod(patOrg->x, CT_PATTERN_SIDE);
        ctRotatePattern(priv, chunk, phase);
        ctPatternBegin(priv, chunk);
        for (int i = 0; i < count; i++)
            ctPatternFill(priv, chunk, alu, starts[i].x, starts[i].y, widths[i], 1, patOrg->y);
        ctRotatePattern(priv, chunk, ctMod(-phase, CT_PATTERN_SIDE));
        return;
    }
    for (int i = 0; i < count; i++) {
        int x = starts[i].x, y = starts[i].y;
        ctBlockBand(priv, chunk, alu, W, ctMod(x - patOrg->x, W), ctMod(y - patOrg->y, H), x,
                    x + widths[i], y, 1);
    }
}
