/*
 * rasmo: the Mach32 hardware cursor, a 64 x 64 sprite of 2 bits per pixel in
 * the CursorArea, and the screen's best sizes.
 *
 * Each X cursor is converted once, when it is realised, into an image of
 * 2-bit codes (4-byte header, then its rows); setting the cursor loads the
 * image into video memory through the engine, right-aligned in the sprite's
 * rows, and the chip's horizontal and vertical offsets hide the sprite's
 * columns left of the image and its rows below it. Without a CursorArea, or
 * when USESWCURSOR asks for it, the server draws the cursor.
 */
#include "rasmo.h"

/* Image header bytes. */
#define IMG_ROW_BYTES 0
#define IMG_ROWS 1
#define IMG_HOT_X 2
#define IMG_HOT_Y 3
#define IMG_HEADER 4

#define CURSOR_WIDTH_AT_1280 56
#define SCREEN_WIDTH_1280 1280
#define SPRITE_TRANSPARENT 0xAAAA /* every 2-bit field transparent */
#define SPRITE_BYTES (CURSOR_SIZE * CURSOR_ROW_BYTES)

/* Pixel codes from a source nibble (3 where set, 2 where clear) and from a
 * mask nibble (1 where set, 2 where clear): their AND is 0 for colour 0,
 * 1 for colour 1 and 2 for transparent, four pixels a byte, the leftmost in
 * the low bits. */
static const uint8_t convCursSrc[16] = {0xAA, 0xAB, 0xAE, 0xAF, 0xBA, 0xBB, 0xBE, 0xBF,
                                        0xEA, 0xEB, 0xEE, 0xEF, 0xFA, 0xFB, 0xFE, 0xFF};
static const uint8_t convCursMsk[16] = {0xAA, 0xA9, 0xA6, 0xA5, 0x9A, 0x99, 0x96, 0x95,
                                        0x6A, 0x69, 0x66, 0x65, 0x5A, 0x59, 0x56, 0x55};
/* The valid low bits of a row's last bitmap byte, by width mod 8. */
static const uint8_t maskLast[8] = {0xFF, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F};

static int rasmoMin(int a, int b) {
    return a < b ? a : b;
}

/* ---- the clip lifted for the sprite area ---- */

static Bool rasmoClipIsWhole(const rasmoScreenPrivate *priv) {
    return priv->clipX1 == 0 && priv->clipY1 == 0 && priv->clipX2 == CLIP_LIMIT &&
           priv->clipY2 == CLIP_LIMIT;
}

Bool rasmoOpenClip(ScreenPtr pScreen, BoxRec *saved) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    if (rasmoClipIsWhole(priv))
        return 0;
    saved->x1 = priv->clipX1;
    saved->y1 = priv->clipY1;
    saved->x2 = priv->clipX2;
    saved->y2 = priv->clipY2;
    rasmoInitClip(pScreen);
    return 1;
}

void rasmoCloseClip(ScreenPtr pScreen, const BoxRec *saved) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    priv->clipX1 = saved->x1;
    priv->clipY1 = saved->y1;
    priv->clipX2 = saved->x2;
    priv->clipY2 = saved->y2;
    rasmoRestoreClip(pScreen);
}

/* ---- realise ---- */

static Bool rasmoRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    const CursorBits *bits = pCursor->bits;
    const int w = rasmoMin(bits->width, priv->cursorMaxWidth);
    const int h = rasmoMin(bits->height, priv->cursorMaxHeight);
    const int n = (w + 7) / 8;
    uint8_t *image = (uint8_t *)Xalloc((uint32_t)(IMG_HEADER + h * 2 * n));
    if (!image)
        return 0;
    pCursor->devPriv[pScreen->myNum] = image;
    image[IMG_ROW_BYTES] = (uint8_t)(2 * n);
    image[IMG_ROWS] = (uint8_t)h;
    image[IMG_HOT_X] = (uint8_t)rasmoMin(bits->xhot, priv->cursorMaxWidth - 1);
    image[IMG_HOT_Y] = (uint8_t)rasmoMin(bits->yhot, priv->cursorMaxHeight - 1);

    const int stride = PixmapBytePad(bits->width, 1);
    uint8_t *out = image + IMG_HEADER;
    for (int row = 0; row < h; row++) {
        const uint8_t *src = bits->source + row * stride;
        const uint8_t *msk = bits->mask + row * stride;
        for (int i = 0; i < n; i++) {
            uint8_t s = src[i], m = msk[i];
            if (i == n - 1) {
                s &= maskLast[w % 8];
                m &= maskLast[w % 8];
            }
            *out++ = convCursSrc[s & 0xF] & convCursMsk[m & 0xF];
            *out++ = convCursSrc[s >> 4] & convCursMsk[m >> 4];
        }
    }
    return 1;
}

static Bool rasmoUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    Xfree(pCursor->devPriv[pScreen->myNum]);
    pCursor->devPriv[pScreen->myNum] = 0;
    return 1;
}

/* ---- the sprite in video memory ---- */

void rasmoEnableCursor(int on) {
    outb(CURSOR_ENABLE, on ? CURSOR_ON : 0);
}

/* Every field transparent, by horizontal runs over the area's linear bytes;
 * each run waits for its own three writes. What a client clip keeps the
 * runs from reaching stays hidden: the cursor is off until SetCursor loads
 * an image and sets offsets that show only what it loaded. */
void rasmoClearSpriteArea(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    rasmoFifoSpaceWait(5);
    outw(DATA_PATH, DP_SOLID);
    outw(FRGD_COLOR, SPRITE_TRANSPARENT);
    outw(FRGD_MIX, rasmoRasterOp[GXcopy]);
    outw(WRT_MASK, 0xFFFF);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
    int x = priv->cursorX, y = priv->cursorY;
    for (int left = SPRITE_BYTES >> priv->pixelShift; left > 0; y++, x = 0) {
        const int run = rasmoMin(left, priv->pitch - x);
        rasmoFifoSpaceWait(3);
        outw(CUR_X, (uint16_t)x);
        outw(CUR_Y, (uint16_t)y);
        outw(RUN_LENGTH, (uint16_t)run);
        left -= run;
    }
}

/* The image right-aligned in the first rows of the sprite, one host-pixel
 * run a row; the offsets hide the sprite's columns left of it and the rows
 * below it. A sprite row is 16 bytes of linear memory and the area starts
 * on a multiple of 128 bytes, so a row never straddles a line. */
void rasmoLoadSprite(ScreenPtr pScreen, const uint8_t *image) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    const int a = image[IMG_ROW_BYTES], b = image[IMG_ROWS];
    priv->spriteHotX = image[IMG_HOT_X];
    priv->spriteHotY = image[IMG_HOT_Y];
    priv->spriteXOffset = (uint8_t)(CURSOR_SIZE - 4 * a);
    priv->spriteYOffset = (uint8_t)(CURSOR_SIZE - b);

    const int rowPixels = CURSOR_ROW_BYTES >> priv->pixelShift;
    const int imagePixels = a >> priv->pixelShift;
    int x = priv->cursorX + rowPixels - imagePixels, y = priv->cursorY;
    BoxRec clip = {0, 0, 0, 0};
    const Bool opened = rasmoOpenClip(pScreen, &clip);
    rasmoFifoSpaceWait(5);
    outw(DATA_PATH, DP_HOST_PIX_16);
    outw(FRGD_MIX, rasmoRasterOp[GXcopy]);
    outw(WRT_MASK, 0xFFFF);
    outw(LINE_OPTIONS, LINE_OPTIONS_RUN);
    outw(CUR_Y, (uint16_t)y);
    const uint8_t *row = image + IMG_HEADER;
    for (int r = 0; r < b; r++, row += a) {
        rasmoFifoSpaceWait(10);
        outw(CUR_X, (uint16_t)x);
        outw(RUN_LENGTH, (uint16_t)imagePixels);
        for (int i = 0; i < a; i += 2)
            outw(PIX_TRANS, (uint16_t)(row[i] | row[i + 1] << 8));
        x += rowPixels;
        if (x >= priv->pitch) {
            rasmoFifoSpaceWait(1);
            outw(CUR_Y, (uint16_t)++y);
            x = rowPixels - imagePixels;
        }
    }
    if (opened)
        rasmoCloseClip(pScreen, &clip);
}

/* CursorColorMatch at depth 8 (the installed colormap's nearest entries,
 * given back at once); the components themselves at depth 16. Without an
 * installed colormap there is nothing to match in: the colours stay. */
void rasmoSetSpriteColor(ScreenPtr pScreen, CursorPtr pCursor) {
    if (pScreen->rootDepth > 8) {
        outw(CURSOR_COLOURS, (uint16_t)((pCursor->foreBlue & 0xFF00) | pCursor->backBlue >> 8));
        outw(CURSOR_COLOUR0, (uint16_t)((pCursor->backRed & 0xFF00) | pCursor->backGreen >> 8));
        outw(CURSOR_COLOUR1, (uint16_t)((pCursor->foreRed & 0xFF00) | pCursor->foreGreen >> 8));
        return;
    }
    ColormapPtr cmap = NFB_SCREEN_PRIV(pScreen)->installedCmap;
    if (!cmap)
        return;
    xColorItem fg = {0, pCursor->foreRed, pCursor->foreGreen, pCursor->foreBlue, 0, 0};
    xColorItem bg = {0, pCursor->backRed, pCursor->backGreen, pCursor->backBlue, 0, 0};
    FakeAllocColor(cmap, &fg);
    FakeAllocColor(cmap, &bg);
    outw(CURSOR_COLOURS, (uint16_t)((bg.pixel & 0xFF) | (fg.pixel & 0xFF) << 8));
    FakeFreeColor(cmap, fg.pixel);
    FakeFreeColor(cmap, bg.pixel);
}

/* ---- position ---- */

/* A sprite left of or above the screen is shown from column or line 0 with
 * its cut-off columns skipped and its first rows passed over by a later
 * image address. */
static void rasmoMoveCursor(ScreenPtr pScreen, int x, int y) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    x -= priv->spriteHotX;
    int h = priv->spriteXOffset;
    if (x < 0) {
        h -= x;
        x = 0;
    }
    outw(CURSOR_X, (uint16_t)x);
    outw(CURSOR_H_OFFSET, (uint16_t)h);

    y -= priv->spriteHotY;
    int v = priv->spriteYOffset;
    int32_t address = priv->cursorOffset;
    if (y < 0) {
        v -= y;
        address -= CURSOR_ROW_BYTES * y;
        y = 0;
    }
    outw(CURSOR_ADDR_LO, (uint16_t)(address >> 2));
    outb(CURSOR_ADDR_HI, (uint8_t)(address >> 18));
    outw(CURSOR_Y, (uint16_t)y);
    outw(CURSOR_V_OFFSET, (uint16_t)v);
}

static void rasmoSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    rasmoEnableCursor(0);
    if (!pCursor)
        return;
    /* A cursor whose image could not be allocated stays hidden. */
    const uint8_t *image = (const uint8_t *)pCursor->devPriv[pScreen->myNum];
    if (!image)
        return;
    rasmoLoadSprite(pScreen, image);
    rasmoSetSpriteColor(pScreen, pCursor);
    rasmoMoveCursor(pScreen, x, y);
    rasmoEnableCursor(1);
}

static PointerFuncs rasmoPointerFuncs = {rasmoRealizeCursor, rasmoUnrealizeCursor, rasmoSetCursor,
                                         rasmoMoveCursor};

void rasmoRecolorCursor(ScreenPtr pScreen, CursorPtr pCursor, Bool displayed) {
    if (displayed)
        rasmoSetSpriteColor(pScreen, pCursor);
}

/* ---- start-up and the console switch ---- */

void rasmoCursorInitialize(ScreenPtr pScreen) {
    rasmoScreenPrivPtr priv = RASMO_PRIV(pScreen);
    rasmoEnableCursor(0);
    if (priv->flags & RASMO_SW_CURSOR) {
        vexoSWCursorInitialize(pScreen);
        return;
    }
    if (!vexoPointerInitialize(pScreen, &rasmoPointerFuncs, 1))
        FatalError("rasmo: Cannot initialize cursor.\n");
    pScreen->RecolorCursor = rasmoRecolorCursor;
    priv->cursorMaxWidth = CURSOR_SIZE;
    priv->cursorMaxHeight = CURSOR_SIZE;
    if (pScreen->width == SCREEN_WIDTH_1280)
        priv->cursorMaxWidth = CURSOR_WIDTH_AT_1280;
    rasmoClearSpriteArea(pScreen);
}

/* The sprite area is cleared; the cursor stays invisible until the server
 * sets it again. */
void rasmoRestoreCursor(ScreenPtr pScreen) {
    if (!(RASMO_PRIV(pScreen)->flags & RASMO_SW_CURSOR))
        rasmoClearSpriteArea(pScreen);
}

/* ---- best sizes ---- */

#define STIPPLE_ALIGN 8
#define MAX_SIZE 0xFFFF

void rasmoQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    switch (cls) {
    case CursorShape:
        if (!(RASMO_PRIV(pScreen)->flags & RASMO_SW_CURSOR)) {
            *width = RASMO_PRIV(pScreen)->cursorMaxWidth;
            *height = RASMO_PRIV(pScreen)->cursorMaxHeight;
            return;
        }
        if (*width > pScreen->width)
            *width = (uint16_t)pScreen->width;
        if (*height > pScreen->height)
            *height = (uint16_t)pScreen->height;
        return;
    case StippleShape: {
        /* Rounded up to whole bytes; the largest widths round down instead
         * of wrapping to 0. */
        int w = (*width + STIPPLE_ALIGN - 1) & ~(STIPPLE_ALIGN - 1);
        if (w > MAX_SIZE)
            w = MAX_SIZE & ~(STIPPLE_ALIGN - 1);
        *width = (uint16_t)w;
        return;
    }
    default:
        return;
    }
}
