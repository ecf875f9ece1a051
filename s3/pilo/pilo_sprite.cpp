/*
 * pilo: the cursor the driver draws itself, for the one layout without room
 * for the hardware cursor. The server's sprite layer decides when to save,
 * restore and draw; the driver keeps the cursor as two 1-bit images in plane
 * 0 of its SpriteImageAreas (foreground: mask and source; background: mask
 * and not source) and draws it as two transparent plane expansions. The
 * screen under it is kept in the 80 x 80 SaveUnderArea.
 */
#include "pilo.h"

/* The sprite images hold at most this much of a cursor. */
#define SPRITE_MAX 64
/* The side of the SaveUnderArea. */
#define SAVE_UNDER_MAX 80
/* The plane of the sprite images. */
#define SPRITE_PLANE 0x01

static Bool piloSWRealizeCursor(ScreenPtr, CursorPtr);
static Bool piloSWUnrealizeCursor(ScreenPtr, CursorPtr);
static void piloSWPutUpCursor(ScreenPtr, CursorPtr, int x, int y, Pixel fg, Pixel bg);
static void piloSWSaveUnderCursor(ScreenPtr, int x, int y, int w, int h);
static void piloSWRestoreUnderCursor(ScreenPtr, int x, int y, int w, int h);
static void piloSWMoveCursor(ScreenPtr, CursorPtr, int x, int y, int w, int h, int dx, int dy,
                             Pixel fg, Pixel bg);
static void piloSWChangeSave(ScreenPtr, int x, int y, int w, int h, int dx, int dy);

static SpriteCursorFuncs piloSWCursFuncs = {
    piloSWRealizeCursor,      piloSWUnrealizeCursor, piloSWPutUpCursor, piloSWSaveUnderCursor,
    piloSWRestoreUnderCursor, piloSWMoveCursor,      piloSWChangeSave};

void piloSWCursorInitialize(ScreenPtr pScreen) {
    if (!vexoSpriteInitialize(pScreen, &piloSWCursFuncs))
        FatalError("piloSWCursorInitialize(): Cannot initialize cursor\n");
    PILO_PRIV(pScreen)->spriteCursor = 0;
}

static Bool piloSWRealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    (void)pScreen;
    (void)pCurs;
    return 1;
}

/* A cursor that goes away no longer owns the sprite images: a new cursor
 * the server may place at the same address must have its own drawn. */
static Bool piloSWUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCurs) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (priv->spriteCursor == pCurs)
        priv->spriteCursor = 0;
    return 1;
}

/* One sprite image: the mask, then the source combined into it under `alu`,
 * both in plane 0 only. */
static void piloSWDrawImage(ScreenPtr pScreen, const CursorBits *bits, int stride, int x, int y,
                            int alu) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    DrawablePtr root = &WindowTable[pScreen->myNum]->drawable;
    BoxRec box = {(int16_t)x, (int16_t)y, (int16_t)(x + priv->spriteWidth),
                  (int16_t)(y + priv->spriteHeight)};
    piloDrawOpaqueMonoImage(&box, bits->mask, 0, stride, 1, 0, GXcopy, SPRITE_PLANE, root);
    piloDrawOpaqueMonoImage(&box, bits->source, 0, stride, 1, 0, alu, SPRITE_PLANE, root);
}

static void piloSWDrawImages(ScreenPtr pScreen, CursorPtr pCurs) {
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    const CursorBits *bits = pCurs->bits;
    const int rowBytes = PixmapBytePad(bits->width, 1);
    priv->spriteWidth = bits->width < SPRITE_MAX ? bits->width : SPRITE_MAX;
    priv->spriteHeight = bits->height < SPRITE_MAX ? bits->height : SPRITE_MAX;
    piloSWDrawImage(pScreen, bits, rowBytes, priv->spriteFgX, priv->spriteFgY, GXand);
    piloSWDrawImage(pScreen, bits, rowBytes, priv->spriteBgX, priv->spriteBgY, GXandInverted);
    priv->spriteCursor = pCurs;
}

/* x, y: the cursor image's top-left corner. */
static void piloSWPutUpCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y, Pixel fg,
                              Pixel bg) {
    if (!pCurs)
        return;
    piloScreenPrivPtr priv = PILO_PRIV(pScreen);
    if (pCurs != priv->spriteCursor)
        piloSWDrawImages(pScreen, pCurs);

    int w = priv->spriteWidth, h = priv->spriteHeight;
    int fgX = priv->spriteFgX, fgY = priv->spriteFgY;
    int bgX = priv->spriteBgX, bgY = priv->spriteBgY;
    if (x < 0) {
        fgX -= x;
        bgX -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        fgY -= y;
        bgY -= y;
        h += y;
        y = 0;
    }
    if (x + w >= priv->width)
        w = priv->width - x;
    if (y + h >= priv->height)
        h = priv->height - y;
    /* Wholly off the screen: sizes less one would read as the widest the
     * engine takes. */
    if (w <= 0 || h <= 0)
        return;

    const int copy = piloRasterOps[GXcopy];
    piloSetupStretchBlit(copy, bg, SPRITE_PLANE, 0xFF);
    piloStretchBlit(bgX, bgY, x, y, w - 1, h - 1, CMD_BLIT);
    piloSetupStretchBlit(copy, fg, SPRITE_PLANE, 0xFF);
    piloStretchBlit(fgX, fgY, x, y, w - 1, h - 1, CMD_BLIT);
}

/* The visible part of a save-under rectangle: its corner on the screen and
 * its size, at most 80 x 80. False when nothing of it is on the screen. */
static int piloSWVisible(const piloScreenPrivate *priv, int *x, int *y, int *w, int *h) {
    if (*w > SAVE_UNDER_MAX)
        *w = SAVE_UNDER_MAX;
    if (*h > SAVE_UNDER_MAX)
        *h = SAVE_UNDER_MAX;
    const int right = *x + *w - priv->width > 0 ? *x + *w - priv->width : 0;
    const int bottom = *y + *h - priv->height > 0 ? *y + *h - priv->height : 0;
    /* The whole visible part: a rectangle that starts left of (or above)
     * the screen keeps all of its columns (lines) from 0 on, so a restore
     * leaves none of the cursor behind. */
    *w = (*x < 0 ? *w + *x : *w) - right;
    *h = (*y < 0 ? *h + *y : *h) - bottom;
    if (*x < 0)
        *x = 0;
    if (*y < 0)
        *y = 0;
    return *w > 0 && *h > 0;
}

static void piloSWSaveUnderCursor(ScreenPtr pScreen, int x, int y, int w, int h) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    if (!piloSWVisible(priv, &x, &y, &w, &h))
        return;
    piloCpyRect(x, y, priv->saveUnderX, priv->saveUnderY, w - 1, h - 1, piloRasterOps[GXcopy], 0xFF,
                CMD_BLIT);
}

static void piloSWRestoreUnderCursor(ScreenPtr pScreen, int x, int y, int w, int h) {
    const piloScreenPrivate *priv = PILO_PRIV(pScreen);
    if (!piloSWVisible(priv, &x, &y, &w, &h))
        return;
    piloCpyRect(priv->saveUnderX, priv->saveUnderY, x, y, w - 1, h - 1, piloRasterOps[GXcopy], 0xFF,
                CMD_BLIT);
}

static void piloSWMoveCursor(ScreenPtr pScreen, CursorPtr pCurs, int x, int y, int w, int h, int dx,
                             int dy, Pixel fg, Pixel bg) {
    piloSWRestoreUnderCursor(pScreen, x, y, w, h);
    piloSWPutUpCursor(pScreen, pCurs, x + dx, y + dy, fg, bg);
}

static void piloSWChangeSave(ScreenPtr pScreen, int x, int y, int w, int h, int dx, int dy) {
    piloSWRestoreUnderCursor(pScreen, x + dx, y + dy, w, h);
    piloSWSaveUnderCursor(pScreen, x, y, w, h);
}
