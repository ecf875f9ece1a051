/*
 * nte family: the S3 hardware cursor. Its 64 x 64 image lives off screen
 * from the first 1024-byte unit of its line (cursorAddress, the unit the
 * chip counts in) and is uploaded through the engine at each
 * SetCursor; at 8 bits per pixel its colours are palette indices matched in
 * the installed colormap.
 */
#include "nte.h"

#define CURSOR_SIZE 64
#define CURSOR_HIDDEN_MAX (CURSOR_SIZE - 1)
#define CURSOR_IMAGE_WORDS (CURSOR_IMAGE_BYTES / 2)
#define CURSOR_ROW_BYTES 16 /* four pairs of 16-bit words: mask, then source */

static Bool nteRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

static Bool nteUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    (void)pScreen;
    (void)pCursor;
    return 1;
}

/* Columns and rows off the left and top edges are hidden instead; the
 * registers count at most the image's last column and row. */
static void nteMoveCursor(ScreenPtr pScreen, int x, int y) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    x -= priv->cursorHotX;
    y -= priv->cursorHotY;
    int hiddenX = x < 0 ? -x : 0, hiddenY = y < 0 ? -y : 0;
    nteWriteCR(priv, CR4E, (uint8_t)(hiddenX > CURSOR_HIDDEN_MAX ? CURSOR_HIDDEN_MAX : hiddenX));
    nteWriteCR(priv, CR4F, (uint8_t)(hiddenY > CURSOR_HIDDEN_MAX ? CURSOR_HIDDEN_MAX : hiddenY));
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    nteWriteCR(priv, CR47, (uint8_t)x);
    nteWriteCR(priv, CR46, (uint8_t)(x >> 8));
    nteWriteCR(priv, CR49, (uint8_t)y);
    nteWriteCR(priv, CR48, (uint8_t)(y >> 8));
}

/* CursorColorMatch: the palette entries nearest the cursor's colours, each
 * allocation given back. */
void NAME(ColorCursor)(ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    CursorPtr c = priv->currentCursor;
    if (!cmap || !c)
        return;
    xColorItem fg = {0, c->foreRed, c->foreGreen, c->foreBlue, 0, 0};
    xColorItem bg = {0, c->backRed, c->backGreen, c->backBlue, 0, 0};
    FakeAllocColor(cmap, &fg);
    FakeAllocColor(cmap, &bg);
    FakeFreeColor(cmap, fg.pixel);
    FakeFreeColor(cmap, bg.pixel);
    nteWriteCR(priv, CR_CURSOR_FG, (uint8_t)fg.pixel);
    nteWriteCR(priv, CR_CURSOR_BG, (uint8_t)bg.pixel);
    priv->cursorFgIndex = (uint8_t)fg.pixel;
    priv->cursorBgIndex = (uint8_t)bg.pixel;
}

/* The image as the chip reads it: per row four pairs of words, a mask word
 * then a source word, each two bitmap bytes bit-reversed, left byte low. */
static void nteBuildCursorImage(const CursorBits *bits, uint16_t *image) {
    int w = bits->width < CURSOR_SIZE ? bits->width : CURSOR_SIZE;
    int h = bits->height < CURSOR_SIZE ? bits->height : CURSOR_SIZE;
    int bytes = (w + 7) / 8;
    int stride = PixmapBytePad(bits->width, 1);
    for (int row = 0; row < h; row++) {
        const uint8_t *mask = bits->mask + row * stride;
        const uint8_t *source = bits->source + row * stride;
        uint16_t *out = image + row * (CURSOR_ROW_BYTES / 2);
        for (int i = 0; i < bytes; i += 2) {
            uint16_t m = ddxBitSwap[mask[i]], s = ddxBitSwap[source[i]];
            if (i + 1 < bytes) {
                m = (uint16_t)(m | ddxBitSwap[mask[i + 1]] << 8);
                s = (uint16_t)(s | ddxBitSwap[source[i + 1]] << 8);
            }
            out[i] = m;
            out[i + 1] = s;
        }
    }
}

/* The 1024 image bytes as 512 transfers to cursorAddress, where the chip
 * fetches them: one rectangle of a line per engine line the bytes cross,
 * each filled exactly by its words (two pixels of 8 bits, one of 16, half of
 * 32 a word), so no transfer is left owed. The lines may lie outside the
 * client's clip and even the full extent, so the scissors open over them
 * for the upload. */
static void nteUploadCursorImage(nteScreenPrivPtr priv, const uint16_t *image) {
    const uint32_t bpp = (uint32_t)nteTraits.pixelBytes;
    const uint32_t lineBytes = (uint32_t)priv->linePixels * bpp;
    const int lastLine = (int)((priv->cursorAddress + CURSOR_IMAGE_BYTES - 1) / lineBytes);
    NteScissors client = nteOpenScissors(
        priv, priv->clipRight > priv->linePixels - 1 ? priv->clipRight : priv->linePixels - 1,
        priv->clipBottom > lastLine ? priv->clipBottom : lastLine);
    uint32_t at = priv->cursorAddress, left = CURSOR_IMAGE_BYTES;
    while (left > 0) {
        uint32_t column = at % lineBytes;
        uint32_t piece = lineBytes - column < left ? lineBytes - column : left;
        NteQueue q = nteQueue(priv, REG32_WRITES + 5);
        nteQueueReg(&q, NTE_FG_MIX, nteMix(GXcopy, MIX_SRC_HOST));
        nteQueueReg32(&q, NTE_WRITE_MASK, 0xFFFFFFFFu);
        nteQueueReg(&q, NTE_CUR_X, (uint16_t)(column / bpp));
        nteQueueReg(&q, NTE_CUR_Y, (uint16_t)(at / lineBytes));
        nteQueueReg(&q, NTE_MAJ_AXIS, (uint16_t)(piece / bpp - 1));
        nteQueueMulti(&q, MULTI_HEIGHT, 0);
        EngineIdleWait();
        nteOutReg(priv, NTE_CMD, CMD_CURSOR_UPLOAD);
        for (uint32_t i = 0; i < piece / 2; i++) {
#if NTE_HAS_MEMBASE
            if (NTE_WINDOW) {
                mmWrite16(priv->memBase, image[i]);
                continue;
            }
#endif
            outw(NTE_PIX_TRANS, image[i]);
        }
        image += piece / 2;
        at += piece;
        left -= piece;
    }
    nteSetScissors(priv, &client);
}

static void nteSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    nteWriteCR(priv, CR45, (uint8_t)(nteReadCR(priv, CR45) & ~CR45_CURSOR_ON));
    if (!pCursor)
        return;
    priv->cursorHotX = pCursor->bits->xhot;
    priv->cursorHotY = pCursor->bits->yhot;
    /* A fixed buffer: nothing to allocate, nothing that can fail. */
    uint16_t image[CURSOR_IMAGE_WORDS];
    __builtin_memset(image, 0, sizeof image);
    nteBuildCursorImage(pCursor->bits, image);
    nteUploadCursorImage(priv, image);
    nteMoveCursor(pScreen, x, y);
    nteWriteCR(priv, CR55, (uint8_t)(nteReadCR(priv, CR55) | CR55_MASK_SOURCE));
    uint8_t cr45 = nteReadCR(priv, CR45);
    if (NTE_PSEUDOCOLOR) {
        priv->currentCursor = pCursor;
        NAME(ColorCursor)(pScreen);
    }
    nteWriteCR(priv, CR45, (uint8_t)(cr45 | CR45_CURSOR_ON));
}

static PointerFuncs ntePointerFuncs = {nteRealizeCursor, nteUnrealizeCursor, nteSetCursor,
                                       nteMoveCursor};

Bool NAME(CursorInitialize)(ScreenPtr pScreen) {
    nteScreenPrivPtr priv = NTE_PRIV(pScreen);
    if (!vexoPointerInitialize(pScreen, &ntePointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    nteWriteCR(priv, CR45, (uint8_t)(nteReadCR(priv, CR45) & ~CR45_CURSOR_ON));
    nteWriteCR(priv, CR55, (uint8_t)(nteReadCR(priv, CR55) | CR55_MASK_SOURCE));
    uint32_t unit = priv->cursorAddress / CURSOR_UNIT;
    nteWriteCR(priv, CR4D, (uint8_t)unit);
    nteWriteCR(priv, CR4C, (uint8_t)(unit >> 8));
    return 1;
}
