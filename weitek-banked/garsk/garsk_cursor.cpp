/*
 * garsk: the 64 x 64 two-bit hardware sprite. Nothing in the driver
 * installs it (the server's software cursor is used); a build that wants
 * it calls garskCursorInitialize.
 *
 * The sprite image lives at 0xC0200, 64 lines of 16 bytes, two bits a
 * pixel with the leftmost pixel in the low bits: 0 foreground, 1
 * background, 2 transparent. A cursor is right-aligned in the 64-pixel
 * row and fills the bottom lines; the presets skip the columns and lines
 * above and left of it.
 */
#include "garsk.h"

#define GARSK_SPRITE_SIZE 64
#define GARSK_SPRITE_ROW_BYTES 16
#define GARSK_CURSOR_IMAGE_BYTES (GARSK_SPRITE_SIZE * GARSK_SPRITE_ROW_BYTES)
#define GARSK_TRANSPARENT_WORD 0xAAAA
#define GARSK_INPUT_STATUS 0x3DA
#define GARSK_RETRACE 0x80

/* Bit k of the index moved to bit 2k. */
static uint16_t garskCurs_tab[256];

/* The low s bits: s / 2 transparent codes, for the even s a right-aligned
 * image leaves free at the start of its first word. */
static const uint16_t unalign[16] = {0,      0, 0x0002, 0, 0x000A, 0, 0x002A, 0,
                                     0x00AA, 0, 0x02AA, 0, 0x0AAA, 0, 0x2AAA, 0};

static void garskCursorTables(void) {
    for (int i = 0; i < 256; i++) {
        uint16_t v = 0;
        for (int k = 0; k < 8; k++)
            if (i & (1 << k))
                v |= (uint16_t)(1u << (2 * k));
        garskCurs_tab[i] = v;
    }
}

static void garskSpriteWrite(int index, int value) {
    outb(GARSK_SPRITE_INDEX, (uint8_t)index);
    outb(GARSK_SPRITE_DATA, (uint8_t)value);
}

static void garskWaitRetrace(void) {
    while (!(inb(GARSK_INPUT_STATUS) & GARSK_RETRACE))
        ;
}

static Bool garskRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    CursorBitsPtr bits = pCursor->bits;
    uint16_t *image = (uint16_t *)Xalloc(GARSK_CURSOR_IMAGE_BYTES);
    if (image == NULL)
        return 0;
    bits->devPriv[pScreen->myNum] = image;
    if (garskCurs_tab[1] == 0)
        garskCursorTables();
    for (int i = 0; i < GARSK_CURSOR_IMAGE_BYTES / 2; i++)
        image[i] = GARSK_TRANSPARENT_WORD;

    const int width = bits->width, height = bits->height;
    const int w = width < GARSK_SPRITE_SIZE ? width : GARSK_SPRITE_SIZE;
    const int rows = height < GARSK_SPRITE_SIZE ? height : GARSK_SPRITE_SIZE;
    const int n = (2 * w + 15) / 16; /* data words a row */
    const int s = 16 * n - 2 * w;    /* transparent bits before the first pixel */
    const int pad = width < GARSK_SPRITE_SIZE ? (GARSK_SPRITE_SIZE - width) / 8 : 0;
    const int bitStride = PixmapBytePad(width, 1);
    uint16_t *out = image;
    for (int y = 0; y < rows; y++) {
        const uint8_t *src = bits->source + y * bitStride;
        const uint8_t *mask = bits->mask + y * bitStride;
        for (int i = 0; i < pad; i++)
            *out++ = GARSK_TRANSPARENT_WORD;
        uint16_t prev = 0;
        for (int i = 0; i < n; i++) {
            const uint16_t m = garskCurs_tab[mask[i]], b = garskCurs_tab[src[i]];
            const uint16_t e = (uint16_t)((~b & m) | ((m ^ 0x5555) << 1));
            if (s == 0)
                *out++ = e;
            else if (i == 0)
                *out++ = (uint16_t)((e << s) | unalign[s]);
            else
                *out++ = (uint16_t)((prev >> (16 - s)) | (e << s));
            prev = e;
        }
        /* A row never has more than eight words. */
        out = image + (y + 1) * (GARSK_SPRITE_ROW_BYTES / 2);
    }
    return 1;
}

static Bool garskUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    if (pCursor->refcnt != 0)
        return 0;
    Xfree(pCursor->bits->devPriv[pScreen->myNum]);
    pCursor->bits->devPriv[pScreen->myNum] = NULL;
    return 1;
}

/* The sprite's corner follows the pointer less the hot spot; near the
 * screen's left and top edges the sprite stays at 0 and the presets skip
 * the columns and lines that would lie off the screen. */
static void garskPositionCursor(garskScreenPrivate *priv, int x, int y) {
    const int width = priv->cursorWidth, height = priv->cursorHeight;
    int xoff = GARSK_SPRITE_SIZE - width, yoff = GARSK_SPRITE_SIZE - height;
    if (xoff < 0)
        xoff = 0;
    if (yoff < 0)
        yoff = 0;
    const int xadj = (width % 16 == 1 && width != 1) ? 1 : 0;
    int xpre, xpos, ypre, ypos;
    if (x >= priv->cursorHotX) {
        xpre = xoff + xadj;
        xpos = x - priv->cursorHotX;
    } else if (x > 0) {
        xpre = xoff + xadj + priv->cursorHotX - x;
        xpos = 0;
    } else {
        xpre = priv->cursorHotX + xoff;
        xpos = 0;
    }
    if (y >= priv->cursorHotY) {
        ypre = yoff;
        ypos = y - priv->cursorHotY;
    } else if (y > 0) {
        ypre = yoff + priv->cursorHotY - y;
        ypos = 0;
    } else {
        ypre = yoff + priv->cursorHotY;
        ypos = 0;
    }
    garskSpriteWrite(0xE2, xpre);
    garskSpriteWrite(0xE6, ypre);
    garskSpriteWrite(0xE0, xpos & 0xFF);
    garskSpriteWrite(0xE1, (xpos >> 8) & 0xFF);
    garskSpriteWrite(0xE4, ypos & 0xFF);
    garskSpriteWrite(0xE5, (ypos >> 8) & 0xFF);
}

static void garskSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    garskScreenPrivPtr priv = GARSK_PRIV(pScreen);
    if (pCursor == NULL || pCursor->bits->devPriv[pScreen->myNum] == NULL) {
        garskWaitRetrace();
        garskSpriteWrite(GARSK_SPRITE_ENABLE, 0);
        return;
    }
    CursorBitsPtr bits = pCursor->bits;
    const uint8_t *image = (const uint8_t *)bits->devPriv[pScreen->myNum];
    priv->cursorWidth = bits->width;
    priv->cursorHeight = bits->height;
    /* A cursor larger than the sprite shows its top-left 64 x 64: the
     * image then starts at the sprite's first line, never before it (the
     * colour cells lie just below). */
    int yoff = GARSK_SPRITE_SIZE - bits->height;
    if (yoff < 0)
        yoff = 0;
    const int rows = GARSK_SPRITE_SIZE - yoff;
    garskWaitIdle(priv);
    for (int r = 0; r < rows; r++)
        for (int i = 0; i < GARSK_SPRITE_ROW_BYTES; i += 4) {
            garskWaitData(priv);
            garskPut32(priv->mmuBase1,
                       GARSK_CURSOR_AREA + (uint32_t)((yoff + r) * GARSK_SPRITE_ROW_BYTES + i));
            const uint8_t *p = image + r * GARSK_SPRITE_ROW_BYTES + i;
            mmWrite32(priv->apWindow1, (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                                           (uint32_t)p[3] << 24);
        }
    garskSpriteWrite(0xEB, 2);
    garskSpriteWrite(0xEC, 0);
    garskSpriteWrite(0xED, 0);
    priv->cursorHotX = bits->xhot;
    priv->cursorHotY = bits->yhot;
    garskPositionCursor(priv, x, y);
    garskSpriteWrite(0xEA, 0x03);
    garskSpriteWrite(0xE9, 0x00);
    garskSpriteWrite(0xE8, 0x80);
    if (priv->cursorWidthOneFlag) {
        garskWaitRetrace();
        garskSpriteWrite(0xEF, 3);
        garskSpriteWrite(0xEF, 2);
        priv->cursorWidthOneFlag = 0;
    }
    if (bits->width == 1)
        priv->cursorWidthOneFlag = 1;
    garskSpriteWrite(GARSK_SPRITE_ENABLE, 0x80);
}

static void garskMoveCursor(ScreenPtr pScreen, int x, int y) {
    garskPositionCursor(GARSK_PRIV(pScreen), x, y);
}

PointerFuncs garskPointerFuncs = {garskRealizeCursor, garskUnrealizeCursor, garskSetCursor,
                                  garskMoveCursor};

Bool garskCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &garskPointerFuncs, 0, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    return 1;
}
