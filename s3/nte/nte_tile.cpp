/*
 * nte family: tiled and stippled boxes. The pattern is staged once per call
 * in the ScratchArea (a tile as pixels, a stipple in plane 0), widened there
 * to whole patterns as large as the boxes need, and each box is then covered
 * by screen-to-screen blits from the phase its pattern origin gives. What
 * the ScratchArea cannot hold goes to the server's generic routines.
 */
#include "nte.h"

/* The staged copy: W x H pixels of whole patterns from the ScratchArea's
 * corner, and W' x H' (one pattern less each way), the largest box one blit
 * covers from any phase. */
typedef struct _NteStage {
    int width, height;
    int blitWidth, blitHeight;
} NteStage;

/* The staged extents: the pattern, raised to the size of the first, middle
 * and last boxes, kept within the ScratchArea, in whole patterns, at least
 * two each way. The caller has checked that two patterns fit. */
static NteStage nteStagingExtents(const nteScreenPrivate *priv, const BoxRec *boxes, int count,
                                  int pw, int ph) {
    int w = pw, h = ph;
    const int probe[3] = {0, count / 2, count - 1};
    for (int i = 0; i < 3; i++) {
        const BoxRec *b = &boxes[probe[i]];
        if (b->x2 - b->x1 > w)
            w = b->x2 - b->x1;
        if (b->y2 - b->y1 > h)
            h = b->y2 - b->y1;
    }
    if (w > priv->scratchWidth)
        w = priv->scratchWidth;
    if (h > priv->scratchHeight)
        h = priv->scratchHeight;
    w = pw * (w / pw);
    h = ph * (h / ph);
    if (w < 2 * pw)
        w = 2 * pw;
    if (h < 2 * ph)
        h = 2 * ph;
    NteStage s = {w, h, w - pw, h - ph};
    return s;
}

/* Where in the staged copy a box at `v` starts: its offset from the pattern
 * origin, kept in 0 to period - 1 whichever side of the origin it lies. */
static int ntePhase(int v, int origin, int period) {
    int r = (int)(((int64_t)v - origin) % period);
    return r < 0 ? r + period : r;
}

static DDXPointRec nteSourceCorner(const nteScreenPrivate *priv, const BoxRec *b,
                                   const DDXPointRec *org, int pw, int ph) {
    DDXPointRec p;
    p.x = (int16_t)(priv->scratchX + ntePhase(b->x1, org->x, pw));
    p.y = (int16_t)(priv->scratchY + ntePhase(b->y1, org->y, ph));
    return p;
}

/* Does the box lie within the scissors the client set? */
static int nteInsideScissors(const nteScreenPrivate *priv, const BoxRec *b) {
    return b->x1 >= priv->scissorLeft && b->x2 - 1 <= priv->scissorRight &&
           b->y1 >= priv->scissorTop && b->y2 - 1 <= priv->scissorBottom;
}

/* A box cut into bands `bandHeight` lines high and each band into pieces
 * `pieceWidth` pixels wide, the last of each the remaining lines or pixels;
 * `piece` covers one from the staged copy. Band and piece sizes are whole
 * patterns, so every piece starts at the box's phase. */
typedef void (*NtePieceProc)(const BoxRec *piece, const DDXPointRec *src, void *closure);

static void nteSlowXExpand(const BoxRec *band, const DDXPointRec *src, int pieceWidth,
                           NtePieceProc piece, void *closure) {
    for (int x = band->x1; x < band->x2; x += pieceWidth) {
        BoxRec p = *band;
        p.x1 = (int16_t)x;
        p.x2 = (int16_t)(x + pieceWidth < band->x2 ? x + pieceWidth : band->x2);
        piece(&p, src, closure);
    }
}

static void nteSlow(const BoxRec *box, const DDXPointRec *src, int bandHeight, int pieceWidth,
                    NtePieceProc piece, void *closure) {
    for (int y = box->y1; y < box->y2; y += bandHeight) {
        BoxRec band = *box;
        band.y1 = (int16_t)y;
        band.y2 = (int16_t)(y + bandHeight < box->y2 ? y + bandHeight : box->y2);
        nteSlowXExpand(&band, src, pieceWidth, piece, closure);
    }
}

/* ---- tiles ---- */

typedef struct _NteTileCopy {
    int alu;
    uint32_t planemask;
    DrawablePtr pDraw;
} NteTileCopy;

static void nteTilePiece(const BoxRec *piece, const DDXPointRec *src, void *closure) {
    const NteTileCopy *c = (const NteTileCopy *)closure;
    BoxRec dst = *piece;
    DDXPointRec from = *src;
    NAME(CopyRect)(&dst, &from, c->alu, c->planemask, c->pDraw);
}

static void NAME(TileAreaSlow)(const BoxRec *box, const DDXPointRec *src, int bandHeight,
                               int pieceWidth, int alu, uint32_t planemask, DrawablePtr pDraw) {
    NteTileCopy c = {alu, planemask, pDraw};
    nteSlow(box, src, bandHeight, pieceWidth, nteTilePiece, &c);
}

/* Alus whose result depends on the tile alone: a part of the box already
 * drawn can be repeated over the rest of it. */
static int nteReplicable(int alu) {
    return alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
}

/* The box's top-left part drawn from the staged copy, then repeated over the
 * whole box. */
static void nteTileByReplication(const BoxRec *box, DDXPointRec *src, const NteStage *st, int alu,
                                 uint32_t planemask, DrawablePtr pDraw) {
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    int f = w < st->blitWidth ? w : st->blitWidth;
    int g = h < st->blitHeight ? h : st->blitHeight;
    BoxRec part = {box->x1, box->y1, (int16_t)(box->x1 + f), (int16_t)(box->y1 + g)};
    NAME(CopyRect)(&part, src, alu, planemask, pDraw);
    BoxRec whole = *box;
    nfbReplicateArea(&whole, f, g, planemask, pDraw);
}

void NAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    int replicable = nteReplicable(alu);
    if (!tile || tileWidth <= 0 || tileHeight <= 0 ||
        2 * (uint64_t)tileWidth > (uint32_t)priv->scratchWidth ||
        2 * (uint64_t)tileHeight > (uint32_t)priv->scratchHeight || (count < 2 && replicable)) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    if (!boxes || count <= 0)
        return;
    NteStage st = nteStagingExtents(priv, boxes, count, tileWidth, tileHeight);

    NteScissors client = nteOpenScissors(priv, priv->clipRight, priv->clipBottom);
    BoxRec one = {(int16_t)priv->scratchX, (int16_t)priv->scratchY,
                  (int16_t)(priv->scratchX + tileWidth), (int16_t)(priv->scratchY + tileHeight)};
    NAME(DrawImage)(&one, tile, tileStride, GXcopy, 0xFFFFFFFFu, pDraw);
    BoxRec staged = {(int16_t)priv->scratchX, (int16_t)priv->scratchY,
                     (int16_t)(priv->scratchX + st.width), (int16_t)(priv->scratchY + st.height)};
    nfbReplicateArea(&staged, tileWidth, tileHeight, 0xFFFFFFFFu, pDraw);
    nteSetScissors(priv, &client);

    DDXPointRec org = patOrg ? *patOrg : DDXPointRec{0, 0};
    for (int i = 0; i < count; i++) {
        BoxPtr b = &boxes[i];
        if (nteBoxEmpty(b))
            continue;
        DDXPointRec src = nteSourceCorner(priv, b, &org, tileWidth, tileHeight);
        if (b->x2 - b->x1 < st.blitWidth && b->y2 - b->y1 < st.blitHeight)
            NAME(CopyRect)(b, &src, alu, planemask, pDraw);
        else if (replicable && nteInsideScissors(priv, b))
            /* Repeating the box's own pixels needs all of them drawn: a box
             * the client's clip cuts goes by bands. */
            nteTileByReplication(b, &src, &st, alu, planemask, pDraw);
        else
            NAME(TileAreaSlow)(b, &src, st.blitHeight, st.blitWidth, alu, planemask, pDraw);
    }
}

/* ---- stipples ---- */

/* One blit of the staged stipple, expanded through the read mask by the
 * engine state the caller set. */
static void nteStipplePiece(const BoxRec *piece, const DDXPointRec *src, void *closure) {
    const nteScreenPrivate *priv = (const nteScreenPrivate *)closure;
    FifoSpaceWait(7);
    nteOutReg(priv, NTE_CUR_X, (uint16_t)src->x);
    nteOutReg(priv, NTE_CUR_Y, (uint16_t)src->y);
    nteOutReg(priv, NTE_DEST_X, (uint16_t)piece->x1);
    nteOutReg(priv, NTE_DEST_Y, (uint16_t)piece->y1);
    nteOutReg(priv, NTE_MAJ_AXIS, (uint16_t)(piece->x2 - piece->x1 - 1));
    nteOutMulti(priv, MULTI_HEIGHT, piece->y2 - piece->y1 - 1);
    nteOutReg(priv, NTE_CMD, CMD_BLIT);
}

static void nteStippleAreaSlow(const BoxRec *box, const DDXPointRec *src, int bandHeight,
                               int pieceWidth, nteScreenPrivPtr priv) {
    nteSlow(box, src, bandHeight, pieceWidth, nteStipplePiece, priv);
}

static void nteStippleFill(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, int opaque) {
    nteScreenPrivPtr priv = NTE_PRIV(pDraw->pScreen);
    nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr stipple = pGC->stipple;
    int sw = stipple ? stipple->drawable.width : 0, sh = stipple ? stipple->drawable.height : 0;
    if (!stipple || !stipple->devPrivate || sw == 0 || sh == 0 || priv->scratchWidth < 2 * sw ||
        priv->scratchHeight < 2 * sh) {
        if (opaque)
            genOpStippledFillRects(pGC, pDraw, boxes, count);
        else
            genStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    if (!boxes || count <= 0)
        return;
    NteStage st = nteStagingExtents(priv, boxes, count, sw, sh);

    NteScissors client = nteOpenScissors(priv, priv->clipRight, priv->clipBottom);
    BoxRec one = {(int16_t)priv->scratchX, (int16_t)priv->scratchY, (int16_t)(priv->scratchX + sw),
                  (int16_t)(priv->scratchY + sh)};
    NAME(DrawOpaqueMonoImage)
    (&one, (uint8_t *)stipple->devPrivate, 0, stipple->devKind, 0xFFFFFFFFu, 0, GXcopy, 1, pDraw);
    BoxRec staged = {(int16_t)priv->scratchX, (int16_t)priv->scratchY,
                     (int16_t)(priv->scratchX + st.width), (int16_t)(priv->scratchY + st.height)};
    nfbReplicateArea(&staged, sw, sh, 1, pDraw);
    nteSetScissors(priv, &client);

    NteQueue q = nteQueue(priv, (opaque ? 4 : 3) * REG32_WRITES + 3);
    nteQueueReg32(&q, NTE_FG_COLOUR, gcPriv->fgPixel);
    if (opaque)
        nteQueueReg32(&q, NTE_BG_COLOUR, gcPriv->bgPixel);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_MEMORY_BITS);
    nteQueueReg32(&q, NTE_WRITE_MASK, ntePlanes(gcPriv->planemask));
    nteQueueReg32(&q, NTE_READ_MASK, 1);
    nteQueueReg(&q, NTE_FG_MIX, nteMix(gcPriv->alu, MIX_SRC_FOREGROUND));
    /* Background source 0: the background colour, or the destination kept. */
    nteQueueReg(&q, NTE_BG_MIX, nteMix(opaque ? (int)gcPriv->alu : (int)GXnoop, 0));

    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (nteBoxEmpty(b))
            continue;
        DDXPointRec src = nteSourceCorner(priv, b, &gcPriv->patOrg, sw, sh);
        if (b->x2 - b->x1 < st.blitWidth && b->y2 - b->y1 < st.blitHeight)
            nteStipplePiece(b, &src, priv);
        else
            nteStippleAreaSlow(b, &src, st.blitHeight, st.blitWidth, priv);
    }

    q = nteQueue(priv, REG32_WRITES + 1);
    nteQueueReg32(&q, NTE_READ_MASK, 0xFFFFFFFFu);
    nteQueueReg(&q, NTE_MULTI, PIXCNTL_FOREGROUND);
}

void NAME(StippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nteStippleFill(pGC, pDraw, boxes, count, 0);
}

void NAME(OpStippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    nteStippleFill(pGC, pDraw, boxes, count, 1);
}
