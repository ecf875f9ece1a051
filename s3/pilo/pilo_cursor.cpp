/*
 * pilo: the S3 hardware cursor, a 64 x 64 image of AND and XOR bits that the
 * engine writes into the CursorArea, placed and coloured through the CRTC
 * extension registers. At depth 4 and 8 its colours are palette entries
 * matched to the cursor's colours in the installed colormap; at depth 16 the
 * chip counts bytes, so every cursor pixel is doubled (at most 32 of them in
 * a row), the two bit planes lie in the two byte halves, and the colours are
 * all ones or all zeros.
 */
#include "pilo.h"

#define CURSOR_SIZE 64
#define CURSOR_WIDTH16 32
#define CURSOR_HOT_MAX16 (CURSOR_WIDTH16 - 1)
#define CURSOR_GROUPS 4      /* 16-pixel groups of a row at depth 4 and 8 */
#define CURSOR_ROW_BYTES16 4 /* bitmap bytes of a row at depth 16 */
#define CURSOR_WORDS 512
#define CURSOR_PLANE_WORDS16 256
#define CURSOR_COLOUR16_ON 0xFF

#define CURSOR_UPLOAD 0x53B1 /* host pixels, 16-bit transfers */

static Bool piloHWRealizeCursor(ScreenPtr, CursorPtr);
static Bool piloHWUnrealizeCursor(ScreenPtr, CursorPtr);
static void piloHWSetCursor(ScreenPtr, CursorPtr, int x, int y);
static void piloHWSetCursor16(ScreenPtr, CursorPtr, int x, int y);
static void piloHWMoveCursor(ScreenPtr, int x, int y);
static void piloHWMoveCursor16(ScreenPtr, int x, int y);

static PointerFuncs piloHWCursFuncs = {piloHWRealizeCursor, piloHWUnrealizeCursor, piloHWSetCursor,
                                       piloHWMoveCursor};
/* Depth 16 has a record of its own rather than rewritten slots: two screens
 * of different depths share the library's static records. */
static PointerFuncs piloHWCursFuncs16 = {piloHWRealizeCursor, piloHWUnrealizeCursor,
                                         piloHWSetCursor16, piloHWMoveCursor16};

static void piloRecolorCursor(ScreenPtr, CursorPtr, Bool displayed);

void piloHWCursorInitialize(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    PointerFuncs *funcs = priv->depth == 16 ? &piloHWCursFuncs16 : &piloHWCursFuncs;
    if (!vexoPointerInitialize(pScreen, funcs, 0, 1))
        FatalError("piloHWCursorInitialize(): Cannot initialize cursor\n");
    piloWriteCR(priv, CR39, CR39_UNLOCK);
    priv->interlaced = (int16_t)(piloReadCR(priv, CR42) & CR42_INTERLACED);
    piloModifyCR(priv, CR45, (uint8_t)~CR45_CURSOR_ON, 0);
    priv->cursorShown = 0;
    priv->cursorCmap = 0;
    priv->currentCursor = 0;
    pScreen->RecolorCursor = piloRecolorCursor;
}

/* The image is built at every SetCursor: nothing is kept. */
static Bool piloHWRealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    (void)pScreen;
    (void)pCurs;
    return 1;
}

static Bool piloHWUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    (void)pScreen;
    (void)pCurs;
    return 1;
}

/* ---- colours ---- */

static int piloSameColours(const piloScreenPrivate *priv, const CursorRec *c) {
    return c->foreRed == priv->cursorFgItem.red && c->foreGreen == priv->cursorFgItem.green &&
           c->foreBlue == priv->cursorFgItem.blue && c->backRed == priv->cursorBgItem.red &&
           c->backGreen == priv->cursorBgItem.green && c->backBlue == priv->cursorBgItem.blue;
}

static void piloSetItem(xColorItem *item, uint32_t pixel, uint16_t r, uint16_t g, uint16_t b) {
    item->pixel = pixel;
    item->red = r;
    item->green = g;
    item->blue = b;
}

/* Depth 16: the cursor colours are not palette entries; a colour with any
 * component set shows as all ones. */
static void piloHWColorCursor16(piloScreenPrivPtr priv, CursorPtr pCurs) {
    const uint8_t fg =
        (pCurs->foreRed | pCurs->foreGreen | pCurs->foreBlue) ? CURSOR_COLOUR16_ON : 0;
    const uint8_t bg =
        (pCurs->backRed | pCurs->backGreen | pCurs->backBlue) ? CURSOR_COLOUR16_ON : 0;
    piloSetItem(&priv->cursorFgItem, fg, pCurs->foreRed, pCurs->foreGreen, pCurs->foreBlue);
    piloSetItem(&priv->cursorBgItem, bg, pCurs->backRed, pCurs->backGreen, pCurs->backBlue);
    piloWriteCR(priv, CR0E, fg);
    piloWriteCR(priv, CR0F, bg);
}

void piloHWColorCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!pCurs)
        return;
    if (priv->depth == 16) {
        priv->cursorCmap = cmap;
        priv->currentCursor = pCurs;
        piloHWColorCursor16(priv, pCurs);
        return;
    }
    if (piloSameColours(priv, pCurs) && cmap == priv->cursorCmap && pCurs == priv->currentCursor)
        return;
    priv->cursorCmap = cmap;
    priv->currentCursor = pCurs;
    /* Nothing to match in before a colormap is installed; the next
     * LoadColormap matches. */
    if (!cmap)
        return;
    piloSetItem(&priv->cursorFgItem, 0, pCurs->foreRed, pCurs->foreGreen, pCurs->foreBlue);
    FakeAllocColor(cmap, &priv->cursorFgItem);
    piloSetItem(&priv->cursorBgItem, 0, pCurs->backRed, pCurs->backGreen, pCurs->backBlue);
    FakeAllocColor(cmap, &priv->cursorBgItem);
    FakeFreeColor(cmap, priv->cursorFgItem.pixel);
    FakeFreeColor(cmap, priv->cursorBgItem.pixel);
    piloWriteCR(priv, CR0E, (uint8_t)priv->cursorFgItem.pixel);
    piloWriteCR(priv, CR0F, (uint8_t)priv->cursorBgItem.pixel);
}

/* A colormap entry changed or another map came in: match again. */
void piloHWCursorRematch(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (priv->softwareCursor)
        return;
    priv->cursorCmap = 0;
    piloHWColorCursor(pScreen, priv->currentCursor);
}

static void piloRecolorCursor(ScreenPtr pScreen, CursorPtr pCurs, Bool displayed) {
    if (pCurs && displayed)
        piloHWColorCursor(pScreen, pCurs);
}

/* ---- the image ---- */

/* The bits of a bitmap row's byte `index` that lie inside a row of `width`
 * pixels (least significant bit leftmost). */
static uint8_t piloRowByte(const uint8_t *row, int index, int width) {
    const int first = index * 8;
    if (first >= width)
        return 0;
    const int n = width - first;
    return n >= 8 ? row[index] : (uint8_t)(row[index] & ((1u << n) - 1));
}

static uint16_t piloHWConvert16(uint8_t b) {
    static const uint8_t doubled[16] = {0x00, 0x03, 0x0C, 0x0F, 0x30, 0x33, 0x3C, 0x3F,
                                        0xC0, 0xC3, 0xCC, 0xCF, 0xF0, 0xF3, 0xFC, 0xFF};
    return (uint16_t)(doubled[b >> 4] | doubled[b & 0xF] << 8);
}

/* Depth 4 and 8: 64 rows of four groups, each an AND word and an XOR word,
 * the group's first 8 pixels in the low byte, leftmost in its top bit. */
static void piloHWBuildImage(const CursorBits *bits, uint16_t *image) {
    const int stride = PixmapBytePad(bits->width, 1);
    uint16_t *out = image;
    for (int r = 0; r < CURSOR_SIZE; r++) {
        const int inside = r < bits->height;
        const uint8_t *src = bits->source + (size_t)r * (size_t)stride;
        const uint8_t *msk = bits->mask + (size_t)r * (size_t)stride;
        for (int g = 0; g < CURSOR_GROUPS; g++) {
            uint16_t andWord = 0, xorWord = 0;
            for (int half = 0; half < 2; half++) {
                const int index = 2 * g + half;
                const uint8_t m = inside ? piloRowByte(msk, index, bits->width) : 0;
                const uint8_t s = inside ? piloRowByte(src, index, bits->width) : 0;
                const uint8_t andByte = (uint8_t)~ddxBitSwap[m];
                const uint8_t xorByte = ddxBitSwap[(uint8_t)(s & m)];
                andWord |= (uint16_t)(andByte << (8 * half));
                xorWord |= (uint16_t)(xorByte << (8 * half));
            }
            *out++ = andWord;
            *out++ = xorWord;
        }
    }
}

/* Depth 16: two planes of 64 rows of four words, each word one bitmap byte
 * doubled; at most the first 32 pixels of a row. */
static void piloHWBuildImage16(const CursorBits *bits, uint16_t *andPlane, uint16_t *xorPlane) {
    const int stride = PixmapBytePad(bits->width, 1);
    const int width = bits->width < CURSOR_WIDTH16 ? bits->width : CURSOR_WIDTH16;
    for (int r = 0; r < CURSOR_SIZE; r++) {
        const int inside = r < bits->height;
        const uint8_t *src = bits->source + (size_t)r * (size_t)stride;
        const uint8_t *msk = bits->mask + (size_t)r * (size_t)stride;
        for (int j = 0; j < CURSOR_ROW_BYTES16; j++) {
            const uint8_t m = inside ? ddxBitSwap[piloRowByte(msk, j, width)] : 0;
            const uint8_t s = inside ? ddxBitSwap[piloRowByte(src, j, width)] : 0;
            *andPlane++ = piloHWConvert16((uint8_t)~m);
            *xorPlane++ = piloHWConvert16((uint8_t)(s & m));
        }
    }
}

static void piloHWUploadStart(const piloScreenPrivate *priv, int width) {
    FifoSpaceWait(7);
    piloOut(PILO_WRITE_MASK, 0xFF);
    piloOut(PILO_MULTI, PIXCNTL_FOREGROUND);
    piloOut(PILO_FG_MIX, MIX_SRC_HOST | MIX_REPLACE);
    piloOut(PILO_MAJ_AXIS, (uint32_t)(width - 1));
    piloOutMulti(MULTI_HEIGHT, priv->cursorArea.height - 1);
    piloOutPos(PILO_CUR_X, priv->cursorArea.x);
    piloOutPos(PILO_CUR_Y, priv->cursorArea.y);
}

static void piloHWUploadWords(const uint16_t *words, int count) {
    EngineIdleWait();
    piloOut(PILO_CMD, CURSOR_UPLOAD);
    for (int i = 0; i < count; i++)
        outw(PILO_PIX_TRANS, words[i]);
}

static void piloHWSetAddress(const piloScreenPrivate *priv) {
    piloWriteCR(priv, CR4D, (uint8_t)(priv->cursorAddress & 0xFF));
    piloWriteCR(priv, CR4C, (uint8_t)(priv->cursorAddress >> 8));
}

/* ---- placing ---- */

/* x, y: the image's top-left corner in the chip's units; a part left of or
 * above the screen is hidden through the offsets into the image. */
static void piloHWPlace(piloScreenPrivPtr priv, int x, int y) {
    int xOffset = 0, yOffset = 0;
    if (x < 0) {
        xOffset = -x;
        x = 0;
    }
    if (y < 0) {
        yOffset = -y;
        /* An interlaced picture shows the image's lines in pairs. */
        if (priv->interlaced)
            yOffset &= ~1;
        y = 0;
    }
    piloWriteCR(priv, CR4E, (uint8_t)xOffset);
    piloWriteCR(priv, CR4F, (uint8_t)yOffset);
    piloWriteCR(priv, CR47, (uint8_t)(x & 0xFF));
    piloWriteCR(priv, CR46, (uint8_t)(x >> 8));
    piloWriteCR(priv, CR49, (uint8_t)(y & 0xFF));
    piloWriteCR(priv, CR48, (uint8_t)(y >> 8));
}

static void piloHWMoveCursor(ScreenPtr pScreen, int x, int y) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    priv->cursorX = x;
    priv->cursorY = y;
    piloHWPlace(priv, x - priv->cursorHotX, y - priv->cursorHotY);
    /* A colormap change since the last move is caught here. */
    piloHWColorCursor(pScreen, priv->currentCursor);
}

static void piloHWMoveCursor16(ScreenPtr pScreen, int x, int y) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    priv->cursorX = x;
    priv->cursorY = y;
    piloHWPlace(priv, 2 * (x - priv->cursorHotX), y - priv->cursorHotY);
}

/* ---- SetCursor ---- */

static void piloHWSetCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    piloWriteCR(priv, CR39, CR39_UNLOCK);
    if (!pCurs) {
        piloModifyCR(priv, CR45, (uint8_t)~CR45_CURSOR_ON, 0);
        priv->cursorShown = 0;
        return;
    }
    priv->cursorHotX = (int16_t)pCurs->bits->xhot;
    priv->cursorHotY = (int16_t)pCurs->bits->yhot;
    piloModifyCR(priv, CR45, 0xFF, CR45_CURSOR_ON);
    priv->cursorShown = 1;
    piloHWColorCursor(pScreen, pCurs);
    piloHWSetAddress(priv);

    uint16_t image[CURSOR_WORDS];
    piloHWBuildImage(pCurs->bits, image);
    piloHWUploadStart(priv, priv->cursorArea.width);
    piloHWUploadWords(image, CURSOR_WORDS);
    piloHWMoveCursor(pScreen, x, y);
}

static void piloHWSetCursor16(ScreenPtr pScreen, CursorPtr pCurs, int x, int y) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    piloWriteCR(priv, CR39, CR39_UNLOCK);
    if (pCurs) {
        /* Only 32 pixels of a row are shown: the hot spot stays in them. */
        priv->cursorHotX =
            (int16_t)(pCurs->bits->xhot < CURSOR_HOT_MAX16 ? pCurs->bits->xhot : CURSOR_HOT_MAX16);
        priv->cursorHotY = (int16_t)pCurs->bits->yhot;
        /* The DAC mask does not hide the cursor at depth 16: on a blanked
         * screen it stays off until BlankScreen shows the picture again. */
        if (!priv->blanked)
            piloModifyCR(priv, CR45, 0xFF, CR45_CURSOR_ON);
        priv->cursorShown = 1;
        piloHWColorCursor(pScreen, pCurs);
        piloHWSetAddress(priv);

        uint16_t andPlane[CURSOR_PLANE_WORDS16], xorPlane[CURSOR_PLANE_WORDS16];
        piloHWBuildImage16(pCurs->bits, andPlane, xorPlane);
        piloHWUploadStart(priv, priv->cursorArea.width / 4);
        piloHWUploadWords(andPlane, CURSOR_PLANE_WORDS16);
        FifoSpaceWait(2);
        piloOutPos(PILO_CUR_X, priv->cursorArea.x + BYTE_HALF);
        piloOutPos(PILO_CUR_Y, priv->cursorArea.y);
        piloHWUploadWords(xorPlane, CURSOR_PLANE_WORDS16);
    } else {
        /* No cursor: off, and no image to build. */
        piloModifyCR(priv, CR45, (uint8_t)~CR45_CURSOR_ON, 0);
        priv->cursorShown = 0;
    }
    piloHWMoveCursor16(pScreen, x, y);
}

/* After a console switch: the mode set cleared video memory (the image) and
 * may have locked and reset the cursor registers. */
void piloHWCursorRestore(ScreenPtr pScreen) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (priv->softwareCursor)
        return;
    piloWriteCR(priv, CR39, CR39_UNLOCK);
    if (!priv->cursorShown || !priv->currentCursor)
        return;
    if (priv->depth == 16)
        piloHWSetCursor16(pScreen, priv->currentCursor, priv->cursorX, priv->cursorY);
    else
        piloHWSetCursor(pScreen, priv->currentCursor, priv->cursorX, priv->cursorY);
}
