/*
 * hobra: the display cursor. The 8514/A has none of its own, so the driver
 * draws it for the server's sprite layer: the two shapes of the cursor
 * (where it shows the source colour, and where only the mask colour) sit in
 * plane 0 of the CursorArea and paint the screen by two plane expansions;
 * the screen under the cursor is kept in the SaveUnderArea. Also the
 * screen's best-size answers, which come from the same layout.
 */
#include "hobra.h"

/* The cursor as the driver keeps it, per CursorBits and screen. */
typedef struct _hobraCursorImage {
    uint8_t *fgImage;      /* source AND mask */
    uint8_t *bgImage;      /* mask AND NOT source */
    int32_t stride;        /* bytes per row, the server's 1-bit padding */
    int32_t x, y;          /* where it was last drawn */
    int32_t width, height; /* its size cut to cursorMax */
} hobraCursorImage;

#if defined(__i386__)
static_assert(sizeof(hobraCursorImage) == 28, "a cursor image is seven words");
#endif

/* The lines the assertions name are the ones their messages have always
 * given. */
#define SAVE_ASSERT_LINE 327
#define RESTORE_ASSERT_LINE 382
#define CURSOR_PLANE_READ 2 /* plane 0 */

static int hobraDCMin(int a, int b) {
    return a < b ? a : b;
}

static hobraCursorImage *hobraImageOf(ScreenPtr pScreen, CursorPtr pCursor) {
    return (hobraCursorImage *)pCursor->bits->devPriv[pScreen->myNum];
}

static DrawablePtr hobraRootDrawable(ScreenPtr pScreen) {
    WindowPtr root = WindowTable[pScreen->myNum];
    return root ? &root->drawable : 0;
}

static void hobraFreeImage(hobraCursorImage *image) {
    if (!image)
        return;
    Xfree(image->fgImage);
    Xfree(image->bgImage);
    Xfree(image);
}

static Bool hobraDCRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    CursorBitsPtr bits = pCursor->bits;
    /* Bits shared by several cursors were realized with the first. */
    if (bits->refcnt > 1 && bits->devPriv[pScreen->myNum])
        return 1;
    const int stride = (int)PixmapBytePad(bits->width, 1);
    const uint32_t size = (uint32_t)stride * bits->height;
    hobraCursorImage *image = (hobraCursorImage *)Xalloc(sizeof(hobraCursorImage));
    if (!image)
        return 0;
    image->fgImage = (uint8_t *)Xalloc(size ? size : 1);
    image->bgImage = (uint8_t *)Xalloc(size ? size : 1);
    if (!image->fgImage || !image->bgImage) {
        hobraFreeImage(image);
        return 0;
    }
    __builtin_memset(image->fgImage, 0, size);
    __builtin_memset(image->bgImage, 0, size);
    const int rowBytes = (bits->width + 7) / 8;
    for (int r = 0; r < bits->height; r++)
        for (int i = 0; i < rowBytes; i++) {
            const int at = r * stride + i;
            const uint8_t mask = bits->mask[at];
            image->fgImage[at] = bits->source[at] & mask;
            image->bgImage[at] = image->fgImage[at] ^ mask;
        }
    image->stride = stride;
    image->x = 0;
    image->y = 0;
    image->width = hobraDCMin(bits->width, HOBRA_PRIV(pScreen)->cursorMax);
    image->height = hobraDCMin(bits->height, HOBRA_PRIV(pScreen)->cursorMax);
    bits->devPriv[pScreen->myNum] = image;
    return 1;
}

static Bool hobraDCUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    CursorBitsPtr bits = pCursor->bits;
    if (bits->refcnt >= 2)
        return 1;
    hobraFreeImage((hobraCursorImage *)bits->devPriv[pScreen->myNum]);
    bits->devPriv[pScreen->myNum] = 0;
    /* The shapes in the CursorArea belong to no cursor now: a later one at
     * the same address must store its own. */
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    if (priv->currentCursor == pCursor)
        priv->currentCursor = 0;
    return 1;
}

/* A bitmap into plane 0 of off-screen memory. */
static void hobraDCDrawOffScreenBitmap(ScreenPtr pScreen, uint8_t *bits, int stride,
                                       DDXPointPtr corner, int width, int height) {
    BoxRec box = {(int16_t)corner->x, (int16_t)corner->y, (int16_t)(corner->x + width),
                  (int16_t)(corner->y + height)};
    BoxRec clip;
    hobraOpenScissors(HOBRA_PRIV(pScreen), &clip);
    hobraDrawOpaqueMonoImage(&box, bits, 0, stride, 1, 0, GXcopy, 1, hobraRootDrawable(pScreen));
    hobraCloseScissors(HOBRA_PRIV(pScreen), &clip);
}

/* The cursor at its position, cut at the screen's edges: the mask colour
 * through the background shape, then the source colour through the
 * foreground shape. Pixels outside the mask keep the screen. */
static void hobraDCBlitCursor(ScreenPtr pScreen, const hobraCursorImage *image, Pixel fg,
                              Pixel bg) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pScreen);
    int x = image->x, y = image->y, w = image->width, h = image->height;
    DDXPointRec fgSrc = {priv->cursorFgX, priv->cursorFgY};
    DDXPointRec bgSrc = {priv->cursorBgX, priv->cursorBgY};
    if (x < 0) {
        fgSrc.x = (int16_t)(fgSrc.x - x);
        bgSrc.x = (int16_t)(bgSrc.x - x);
        w += x;
        x = 0;
    }
    if (y < 0) {
        fgSrc.y = (int16_t)(fgSrc.y - y);
        bgSrc.y = (int16_t)(bgSrc.y - y);
        h += y;
        y = 0;
    }
    if (x + w > priv->width)
        w = priv->width - x;
    if (y + h > priv->height)
        h = priv->height - y;
    if (w <= 0 || h <= 0)
        return;
    BoxRec dst = {(int16_t)x, (int16_t)y, (int16_t)(x + w), (int16_t)(y + h)};
    DrawablePtr root = hobraRootDrawable(pScreen);
    hobraSetupCardForBlit(bg, GXcopy, CURSOR_PLANE_READ, ALL_PLANES);
    hobraStretchBlit(root, &bgSrc, &dst);
    hobraSetupCardForBlit(fg, GXcopy, CURSOR_PLANE_READ, ALL_PLANES);
    hobraStretchBlit(root, &fgSrc, &dst);
    hobraResetCardFromBlit();
}

static void hobraDCPutUpCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y, Pixel fg,
                               Pixel bg) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    hobraCursorImage *image = hobraImageOf(pScreen, pCursor);
    if (!image)
        return;
    DDXPointRec fgAt = {priv->cursorFgX, priv->cursorFgY};
    DDXPointRec bgAt = {priv->cursorBgX, priv->cursorBgY};
    hobraDCDrawOffScreenBitmap(pScreen, image->fgImage, image->stride, &fgAt, image->width,
                               image->height);
    hobraDCDrawOffScreenBitmap(pScreen, image->bgImage, image->stride, &bgAt, image->width,
                               image->height);
    image->x = x;
    image->y = y;
    priv->currentCursor = pCursor;
    hobraDCBlitCursor(pScreen, image, fg, bg);
}

static void hobraDCSaveUnderCursor(ScreenPtr pScreen, int x, int y, int w, int h) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    const int size = priv->saveUnderSize;
    w = hobraDCMin(w, size);
    h = hobraDCMin(h, size);
    priv->savedX = x;
    priv->savedY = y;
    priv->savedWidth = w;
    priv->savedHeight = h;

    const int ux = priv->saveUnderX, uy = priv->saveUnderY;
    int x1 = ux, y1 = uy, x2 = hobraDCMin(ux + w, ux + size), y2 = hobraDCMin(uy + h, uy + size);
    int sx = x, sy = y;
    if (x < 0) {
        sx = 0;
        x1 -= x;
    }
    if (y < 0) {
        sy = 0;
        y1 -= y;
    }
    if (x + w > priv->width)
        x2 -= x + w - priv->width;
    if (y + h > priv->height)
        y2 -= y + h - priv->height;

    if (x1 <= x2 && y1 <= y2 && sx >= 0 && sx <= priv->width && sy >= 0 && sy <= priv->height &&
        x1 >= ux && x2 <= ux + size && y1 >= uy && y2 <= uy + size) {
        BoxRec dst = {(int16_t)x1, (int16_t)y1, (int16_t)x2, (int16_t)y2};
        DDXPointRec src = {(int16_t)sx, (int16_t)sy};
        BoxRec clip;
        hobraOpenScissors(priv, &clip);
        hobraCopyRect(&dst, &src, GXcopy, ALL_PLANES, 0);
        hobraCloseScissors(priv, &clip);
    } else {
        ErrorF("assertion failure: %s %d\n", "hobraDispCur", SAVE_ASSERT_LINE);
    }
}

static void hobraDCRestoreUnderCursor(ScreenPtr pScreen, int x, int y, int w, int h) {
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    const int size = priv->saveUnderSize;
    w = hobraDCMin(w, size);
    h = hobraDCMin(h, size);
    int sx = priv->saveUnderX, sy = priv->saveUnderY;
    int x1 = x, y1 = y, x2 = x + w, y2 = y + h;
    if (x < 0) {
        x1 = 0;
        sx -= x;
    }
    if (y < 0) {
        y1 = 0;
        sy -= y;
    }
    if (x + w > priv->width)
        x2 -= x + w - priv->width;
    if (y + h > priv->height)
        y2 -= y + h - priv->height;

    if (x1 <= x2 && y1 <= y2 && x1 >= 0 && x2 <= priv->width && y1 >= 0 && y2 <= priv->height &&
        sx >= priv->saveUnderX && sy >= priv->saveUnderY) {
        BoxRec dst = {(int16_t)x1, (int16_t)y1, (int16_t)x2, (int16_t)y2};
        DDXPointRec src = {(int16_t)sx, (int16_t)sy};
        hobraCopyRect(&dst, &src, GXcopy, ALL_PLANES, 0);
    } else {
        ErrorF("assertion failure: %s %d\n", "hobraDispCur", RESTORE_ASSERT_LINE);
    }
}

static void hobraDCChangeSave(ScreenPtr pScreen, int x, int y, int w, int h, int dx, int dy) {
    (void)dx;
    (void)dy;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    hobraDCRestoreUnderCursor(pScreen, priv->savedX, priv->savedY, priv->savedWidth,
                              priv->savedHeight);
    hobraDCSaveUnderCursor(pScreen, x, y, hobraDCMin(w, priv->saveUnderSize),
                           hobraDCMin(h, priv->saveUnderSize));
}

/* The cursor moves inside the saved rectangle: the screen under the old
 * place comes back, then the cursor is drawn at the new one. */
static void hobraDCMoveCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y, int w, int h,
                              int dx, int dy, Pixel fg, Pixel bg) {
    (void)w;
    (void)h;
    hobraScreenPrivPtr priv = HOBRA_PRIV(pScreen);
    hobraCursorImage *image = hobraImageOf(pScreen, pCursor);
    if (!image)
        return;
    image->x = x + dx;
    image->y = y + dy;
    hobraDCRestoreUnderCursor(pScreen, priv->savedX, priv->savedY, priv->savedWidth,
                              priv->savedHeight);
    if (pCursor == priv->currentCursor)
        hobraDCBlitCursor(pScreen, image, fg, bg);
    else
        hobraDCPutUpCursor(pScreen, pCursor, image->x, image->y, fg, bg);
}

static SpriteCursorFuncs hobraDCFuncs = {
    hobraDCRealizeCursor,      hobraDCUnrealizeCursor, hobraDCPutUpCursor, hobraDCSaveUnderCursor,
    hobraDCRestoreUnderCursor, hobraDCMoveCursor,      hobraDCChangeSave,
};

Bool hobraDCInitialize(ScreenPtr pScreen) {
    if (!vexoSpriteInitialize(pScreen, &hobraDCFuncs))
        return 0;
    HOBRA_PRIV(pScreen)->currentCursor = 0;
    return 1;
}

/* Sizes the off-screen layout can hold: a cursor is drawn 48 x 48, a tile
 * is staged twice over in the TileArea, a stipple once in the planeArea. */
void hobraQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    const hobraScreenPrivate *priv = HOBRA_PRIV(pScreen);
    switch (cls) {
    case CursorShape:
        *width = (uint16_t)priv->cursorMax;
        *height = (uint16_t)priv->cursorMax;
        break;
    case TileShape:
        *width = (uint16_t)hobraDCMin(*width, priv->tileArea.width / 2);
        *height = (uint16_t)hobraDCMin(*height, priv->tileArea.height / 2);
        break;
    case StippleShape:
        *width = (uint16_t)hobraDCMin(*width, priv->planeArea.width);
        *height = (uint16_t)hobraDCMin(*height, priv->planeArea.height);
        break;
    default:
        break;
    }
}
