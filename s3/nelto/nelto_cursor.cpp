/*
 * nelto: the 64 x 64 hardware cursor, its image in the 1024-byte unit of
 * video memory after the visible screen and its colours in the CR4A/CR4B
 * stacks; the palette through the 6-bit DAC at depth 8.
 */
#include "nelto.h"

#define DAC_WRITE_INDEX 0x3C8
#define DAC_DATA 0x3C9
#define DAC_ENTRIES 256
#define DAC_COMPONENT_SHIFT 10
#define DAC_COMPONENT_MASK 0x3F
#define CURSOR_PAIRS 4 /* word pairs a row, 16 pixels each */
#define CURSOR_ROW_BYTES 16

static Bool neltoRealizeCursor(ScreenPtr, CursorPtr);
static Bool neltoUnrealizeCursor(ScreenPtr, CursorPtr);
static void neltoSetCursor(ScreenPtr, CursorPtr, int x, int y);
static void neltoMoveCursor(ScreenPtr, int x, int y);

static PointerFuncs neltoPointerFuncs = {neltoRealizeCursor, neltoUnrealizeCursor, neltoSetCursor,
                                         neltoMoveCursor};

/* A SetColor reached from inside a re-colouring must not start another. */
static Bool neltoRecolouring;

static void neltoCursorOff(void) {
    neltoOutCR(CR45, (uint8_t)(neltoInCR(CR45) & ~CR45_CURSOR_ON));
}

static void neltoCursorPlace(const neltoScreenPrivate *priv) {
    neltoOutCR(CR4D, (uint8_t)priv->cursorSlot);
    neltoOutCR(CR4C, (uint8_t)(priv->cursorSlot >> 8));
}

void neltoCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &neltoPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    priv->cursorSlot = priv->height * priv->pitchBytes / CURSOR_UNIT + 1;
    neltoCursorOff();
    neltoCursorPlace(priv);
}

/* The image is built at every SetCursor: nothing is kept per cursor. */
static Bool neltoRealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    (void)pScreen;
    (void)cursor;
    return 1;
}

static Bool neltoUnrealizeCursor(ScreenPtr pScreen, CursorPtr cursor) {
    (void)pScreen;
    (void)cursor;
    return 1;
}

static void neltoPutWord(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

/* AND and XOR planes, a pair of 16-bit words per 16 pixels; the server's
 * bitmaps hold the leftmost pixel in the low bit, the cursor in the top
 * bit of each byte, the left byte in a word's low half. Outside the
 * cursor's width and height every pair shows the screen. */
static void neltoBuildCursorImage(uint8_t *image, CursorBitsPtr bits) {
    for (int i = 0; i < CURSOR_IMAGE_BYTES; i += 4) {
        neltoPutWord(image + i, 0xFFFF);
        neltoPutWord(image + i + 2, 0x0000);
    }
    int w = bits->width < CURSOR_SIZE ? bits->width : CURSOR_SIZE;
    int h = bits->height < CURSOR_SIZE ? bits->height : CURSOR_SIZE;
    int bytes = (w + 7) / 8;
    int stride = PixmapBytePad(bits->width, 1);
    for (int r = 0; r < h; r++) {
        const uint8_t *src = bits->source + (intptr_t)r * stride;
        const uint8_t *mask = bits->mask + (intptr_t)r * stride;
        uint8_t *row = image + r * CURSOR_ROW_BYTES;
        int j = 0;
        for (; j + 1 < bytes; j += 2, row += 4) {
            uint8_t m0 = mask[j], m1 = mask[j + 1], s0 = src[j], s1 = src[j + 1];
            neltoPutWord(row, (uint16_t)(ddxBitSwap[(uint8_t)~m1] << 8 | ddxBitSwap[(uint8_t)~m0]));
            neltoPutWord(row + 2,
                         (uint16_t)(ddxBitSwap[m1 & s1] << 8 | ddxBitSwap[(uint8_t)(m0 & s0)]));
        }
        if (j < bytes) {
            uint8_t m = mask[j], s = src[j];
            neltoPutWord(row, (uint16_t)(0xFF00 | ddxBitSwap[(uint8_t)~m]));
            neltoPutWord(row + 2, ddxBitSwap[(uint8_t)(m & s)]);
        }
    }
}

static void neltoSetCursor(ScreenPtr pScreen, CursorPtr cursor, int x, int y) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    neltoCursorOff();
    neltoCursorPlace(priv);
    if (!cursor)
        return;
    priv->cursorHotX = cursor->bits->xhot;
    priv->cursorHotY = cursor->bits->yhot;

    /* Built on the stack: no allocation that could fail. */
    uint8_t image[CURSOR_IMAGE_BYTES];
    neltoBuildCursorImage(image, cursor->bits);
    neltoEngineIdleWait(priv);
    uint8_t *to = priv->fbBase + (intptr_t)priv->cursorSlot * CURSOR_UNIT;
    for (int i = 0; i < CURSOR_IMAGE_BYTES; i += 4) {
        uint32_t word;
        __builtin_memcpy(&word, image + i, 4);
        __builtin_memcpy(to + i, &word, 4);
    }

    neltoMoveCursor(pScreen, x, y);
    priv->currentCursor = cursor;
    neltoOutCR(CR45, (uint8_t)(neltoInCR(CR45) | CR45_CURSOR_ON));
    neltoColorCursor(pScreen);
}

/* Off the left or top edge the image is shown from an offset; the rows in
 * steps of two. The offsets stop at the image's last column and row. */
static void neltoMoveCursor(ScreenPtr pScreen, int x, int y) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    int cx = x - priv->cursorHotX, cy = y - priv->cursorHotY;
    int hiddenX = cx < 0 ? -cx : 0, hiddenY = cy < 0 ? -cy : 0;
    if (hiddenX > CURSOR_HIDDEN_MAX)
        hiddenX = CURSOR_HIDDEN_MAX;
    if (hiddenY > CURSOR_HIDDEN_MAX)
        hiddenY = CURSOR_HIDDEN_MAX;
    neltoOutCR(CR4E, (uint8_t)hiddenX);
    neltoOutCR(CR4F, (uint8_t)(hiddenY & ~1));
    if (cx < 0)
        cx = 0;
    if (cy < 0)
        cy = 0;
    neltoOutCR(CR47, (uint8_t)cx);
    neltoOutCR(CR46, (uint8_t)(cx >> 8));
    neltoOutCR(CR49, (uint8_t)cy);
    neltoOutCR(CR48, (uint8_t)(cy >> 8));
}

/* ---- Cursor colours ---- */

static uint16_t neltoPack565(uint16_t red, uint16_t green, uint16_t blue) {
    return (uint16_t)((red & 0xF800) | (green >> 10) << 5 | blue >> 11);
}

/* A CR45 read sends the stacks back to their first byte. */
static void neltoColourBytes(uint8_t reg, const uint8_t *bytes, int count) {
    (void)neltoInCR(CR45);
    for (int i = 0; i < count; i++)
        neltoOutCR(reg, bytes[i]);
}

static void neltoColourMatch(ScreenPtr pScreen, neltoScreenPrivPtr priv, CursorPtr c) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (cmap) {
        xColorItem fore = {0, c->foreRed, c->foreGreen, c->foreBlue, 0, 0};
        xColorItem back = {0, c->backRed, c->backGreen, c->backBlue, 0, 0};
        FakeAllocColor(cmap, &fore);
        FakeAllocColor(cmap, &back);
        FakeFreeColor(cmap, fore.pixel);
        FakeFreeColor(cmap, back.pixel);
        priv->cursorFgPixel = fore.pixel;
        priv->cursorBgPixel = back.pixel;
    }
    uint8_t fg[2] = {(uint8_t)priv->cursorFgPixel, (uint8_t)priv->cursorFgPixel};
    uint8_t bg[2] = {(uint8_t)priv->cursorBgPixel, (uint8_t)priv->cursorBgPixel};
    neltoColourBytes(CR4A, fg, 2);
    neltoColourBytes(CR4B, bg, 2);
}

void neltoColorCursor(ScreenPtr pScreen) {
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    CursorPtr c = priv->currentCursor;
    if (!c)
        return;
    int k = priv->newCursColor ? 32 : pScreen->rootDepth;
    if (k == 8) {
        neltoColourMatch(pScreen, priv, c);
    } else if (k == 15 || k == 16) {
        uint16_t f = neltoPack565(c->foreRed, c->foreGreen, c->foreBlue);
        uint16_t b = neltoPack565(c->backRed, c->backGreen, c->backBlue);
        uint8_t fg[2] = {(uint8_t)f, (uint8_t)(f >> 8)};
        uint8_t bg[2] = {(uint8_t)b, (uint8_t)(b >> 8)};
        neltoColourBytes(CR4A, fg, 2);
        neltoColourBytes(CR4B, bg, 2);
    } else {
        uint8_t fg[3] = {(uint8_t)(c->foreBlue >> 8), (uint8_t)(c->foreGreen >> 8),
                         (uint8_t)(c->foreRed >> 8)};
        uint8_t bg[3] = {(uint8_t)(c->backBlue >> 8), (uint8_t)(c->backGreen >> 8),
                         (uint8_t)(c->backRed >> 8)};
        neltoColourBytes(CR4A, fg, 3);
        neltoColourBytes(CR4B, bg, 3);
    }
}

/* ---- Palette ---- */

static Bool neltoCursorColourChanges(const neltoScreenPrivate *priv, int index, uint16_t red,
                                     uint16_t green, uint16_t blue) {
    CursorPtr c = priv->currentCursor;
    if (!c)
        return 0;
    if ((Pixel)index == priv->cursorFgPixel &&
        (red != c->foreRed || green != c->foreGreen || blue != c->foreBlue))
        return 1;
    return (Pixel)index == priv->cursorBgPixel &&
           (red != c->backRed || green != c->backGreen || blue != c->backBlue);
}

void neltoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    (void)unused;
    /* The DAC index is a byte: a larger index would land on another entry. */
    if (index < 0 || index >= DAC_ENTRIES)
        return;
    neltoScreenPrivPtr priv = NELTO_PRIV(pScreen);
    if (!neltoRecolouring && neltoCursorColourChanges(priv, index, red, green, blue)) {
        neltoRecolouring = 1;
        neltoColorCursor(pScreen);
        neltoRecolouring = 0;
    }
    outb(DAC_WRITE_INDEX, (uint8_t)index);
    outb(DAC_DATA, (uint8_t)((red >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(DAC_DATA, (uint8_t)((green >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
    outb(DAC_DATA, (uint8_t)((blue >> DAC_COMPONENT_SHIFT) & DAC_COMPONENT_MASK));
}

/* The installed colormap's entries as they are kept, components unwidened. */
void neltoRestoreColormap(ScreenPtr pScreen) {
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap || !cmap->red || !cmap->pVisual)
        return;
    int entries = cmap->pVisual->ColormapEntries;
    for (int i = 0; i < entries; i++) {
        uint16_t r, g, b;
        xEntryColor(&cmap->red[i], &r, &g, &b);
        neltoSetColor(0, i, r, g, b, pScreen);
    }
}
