/*
 * pilo: tiled boxes and stippled fills. The pattern is staged once per call
 * off screen and widened there by the layer's replication: a tile as pixels
 * in the TileArea, a stipple as one bit plane, plane 0 of the GlyphArea
 * (planes 1 to 7 hold the glyph cache and are never written here). Each box
 * is then drawn by screen-to-screen blits from the phase its pattern origin
 * gives; what the staging areas cannot hold goes to the server's generic
 * routines with the arguments unchanged.
 */
#include "pilo.h"

/* The plane a stipple is staged in and expanded from. */
#define STIPPLE_PLANE 0x01
#define ALL_PLANES 0xFFFFFFFFu

/* Where a box at `v` starts in the staged pattern: its offset from the
 * pattern origin, kept in 0 to period - 1 whichever side of the origin the
 * box lies. */
static int piloPhase(int v, int origin, int period) {
    int r = (int)(((int64_t)v - origin) % period);
    return r < 0 ? r + period : r;
}

/* Alus whose result depends on the pattern alone: a part of the box already
 * drawn can be repeated over the rest of it. */
static int piloReplicable(int alu) {
    return alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
}

static int piloBoxWidth(const BoxRec *b) {
    return b->x2 > b->x1 ? b->x2 - b->x1 : 0;
}

static int piloBoxHeight(const BoxRec *b) {
    return b->y2 > b->y1 ? b->y2 - b->y1 : 0;
}

/* The largest box width and height of a call. */
static void piloLargestBox(const BoxRec *boxes, int count, int *maxW, int *maxH) {
    *maxW = 0;
    *maxH = 0;
    for (int i = 0; i < count; i++) {
        if (piloBoxWidth(&boxes[i]) > *maxW)
            *maxW = piloBoxWidth(&boxes[i]);
        if (piloBoxHeight(&boxes[i]) > *maxH)
            *maxH = piloBoxHeight(&boxes[i]);
    }
}

static BoxRec piloBox(int x1, int y1, int x2, int y2) {
    BoxRec b = {(int16_t)x1, (int16_t)y1, (int16_t)x2, (int16_t)y2};
    return b;
}

/* ---- tiles ---- */

void piloTileAreaSlowXExpand(BoxPtr band, DDXPointPtr src, int columnWidth, int alu,
                             uint32_t planemask, DrawablePtr pDraw, CopyRectProc copy) {
    const int w = band->x2 - band->x1;
    const int n = w / columnWidth, rest = w % columnWidth;
    for (int i = 0; i <= n; i++) {
        const int x1 = band->x1 + i * columnWidth;
        const int x2 = i < n ? x1 + columnWidth : x1 + rest;
        if (x2 == x1)
            continue;
        BoxRec column = piloBox(x1, band->y1, x2, band->y2);
        DDXPointRec from = *src;
        copy(&column, &from, alu, planemask, pDraw);
    }
}

/* Bands and columns as large as the staged pattern, the last of each what
 * remains; both sizes are whole patterns, so every piece starts at the
 * box's phase and copies from the same corner. */
void piloTileAreaSlow(BoxPtr box, DDXPointPtr src, int bandHeight, int columnWidth, int alu,
                      uint32_t planemask, DrawablePtr pDraw, CopyRectProc copy) {
    const int h = box->y2 - box->y1;
    const int n = h / bandHeight, rest = h % bandHeight;
    for (int i = 0; i <= n; i++) {
        const int y1 = box->y1 + i * bandHeight;
        const int y2 = i < n ? y1 + bandHeight : y1 + rest;
        if (y2 == y1)
            continue;
        BoxRec band = piloBox(box->x1, y1, box->x2, y2);
        piloTileAreaSlowXExpand(&band, src, columnWidth, alu, planemask, pDraw, copy);
    }
}

/* What differs between the depths: the staging writes and the copy. */
typedef struct _piloTileRoutines {
    DrawImageProc image;
    DrawOpaqueMonoImageProc mono;
    CopyRectProc copy;
} piloTileRoutines;

static const piloTileRoutines piloTile8 = {piloDrawImage, piloDrawOpaqueMonoImage, piloCopyRect};
static const piloTileRoutines piloTile16 = {piloDrawImage16, piloDrawOpaqueMonoImage16,
                                            piloCopyBox16};

static void piloTile(const piloTileRoutines *r, BoxPtr boxes, int count, uint8_t *tile,
                     int tileStride, int tw, int th, DDXPointPtr patOrg, int alu,
                     uint32_t planemask, DrawablePtr pDraw) {
    const piloArea ta = PILO_PRIV(pDraw->pScreen)->tileArea;
    const int replicable = piloReplicable(alu);
    const uint32_t across = tw > 0 ? (uint32_t)ta.width / (uint32_t)tw : 0;
    const uint32_t down = th > 0 ? (uint32_t)ta.height / (uint32_t)th : 0;
    if (!tile || across < 2 || down < 2 || (count < 2 && replicable)) {
        genTileRects(boxes, count, tile, tileStride, tw, th, patOrg, alu, planemask, pDraw);
        return;
    }
    if (!boxes || count <= 0)
        return;
    const int repW = tw * (int)(across - 1), repH = th * (int)(down - 1);

    BoxRec one = piloBox(ta.x, ta.y, ta.x + tw, ta.y + th);
    if (pDraw->bitsPerPixel == 1)
        r->mono(&one, tile, 0, tileStride, 1, 0, GXcopy, ALL_PLANES, pDraw);
    else
        r->image(&one, tile, tileStride, GXcopy, ALL_PLANES, pDraw);
    int maxW, maxH;
    piloLargestBox(boxes, count, &maxW, &maxH);
    const int stagedW = tw + maxW < ta.width ? tw + maxW : ta.width;
    const int stagedH = th + maxH < ta.height ? th + maxH : ta.height;
    BoxRec staged = piloBox(ta.x, ta.y, ta.x + stagedW, ta.y + stagedH);
    nfbReplicateArea(&staged, tw, th, ALL_PLANES, pDraw);

    const DDXPointRec org = patOrg ? *patOrg : DDXPointRec{0, 0};
    for (int i = 0; i < count; i++) {
        BoxPtr b = &boxes[i];
        if (piloBoxEmpty(b))
            continue;
        const int w = b->x2 - b->x1, h = b->y2 - b->y1;
        DDXPointRec src = {(int16_t)(ta.x + piloPhase(b->x1, org.x, tw)),
                           (int16_t)(ta.y + piloPhase(b->y1, org.y, th))};
        if (w < repW && h < repH) {
            r->copy(b, &src, alu, planemask, pDraw);
        } else if (replicable) {
            BoxRec part =
                piloBox(b->x1, b->y1, b->x1 + (w < repW ? w : repW), b->y1 + (h < repH ? h : repH));
            r->copy(&part, &src, alu, planemask, pDraw);
            BoxRec whole = *b;
            nfbReplicateArea(&whole, repW, repH, planemask, pDraw);
        } else {
            piloTileAreaSlow(b, &src, repH, repW, alu, planemask, pDraw, r->copy);
        }
    }
}

void piloTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                   int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                   DrawablePtr pDraw) {
    piloTile(&piloTile8, boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu,
             planemask, pDraw);
}

void piloTileRects16(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    piloTile(&piloTile16, boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu,
             planemask, pDraw);
}

/* ---- stipples ---- */

typedef struct _piloStippleColours {
    int opaque;
    int code;
    Pixel fg, bg;
    uint32_t planemask;
} piloStippleColours;

static void piloStippleSetUp(const piloStippleColours *c) {
    if (c->opaque)
        piloSetupOpaqueStretchBlit(c->code, c->bg, c->fg, STIPPLE_PLANE, c->planemask);
    else
        piloSetupStretchBlit(c->code, c->fg, STIPPLE_PLANE, c->planemask);
}

/* The low and high byte halves of a depth-16 fill's colours and mask. */
static piloStippleColours piloStippleHalf(const piloStippleColours *c, int shift) {
    piloStippleColours h = *c;
    h.fg = (c->fg >> shift) & 0xFF;
    h.bg = (c->bg >> shift) & 0xFF;
    h.planemask = (c->planemask >> shift) & 0xFF;
    return h;
}

/* One band of a box, expanded from the staged stipple; at depth 16 into
 * both halves, the source always in the low half. */
static void piloStippleBand(const piloStippleColours *c, int halves, int sx, int sy, int x, int y,
                            int w, int h) {
    if (!halves) {
        piloStretchBlit(sx, sy, x, y, w - 1, h - 1, CMD_BLIT);
        return;
    }
    const piloStippleColours low = piloStippleHalf(c, 0), high = piloStippleHalf(c, 8);
    piloStippleSetUp(&low);
    piloStretchBlit(sx, sy, x, y, w - 1, h - 1, CMD_BLIT);
    piloStippleSetUp(&high);
    piloStretchBlit(sx, sy, x + BYTE_HALF, y, w - 1, h - 1, CMD_BLIT);
}

static void piloStippleGeneric(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, int opaque) {
    if (opaque)
        genOpStippledFillRects(pGC, pDraw, boxes, count);
    else
        genStippledFillRects(pGC, pDraw, boxes, count);
}

static void piloStippleFill(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, int opaque,
                            int halves) {
    const piloArea ga = PILO_PRIV(pDraw->pScreen)->glyphArea;
    const nfbGCPrivate *gcPriv = NFB_GC_PRIV(pGC);
    PixmapPtr stipple = pGC->stipple;
    const int sw = stipple ? stipple->drawable.width : 0;
    const int sh = stipple ? stipple->drawable.height : 0;
    if (!stipple || !stipple->devPrivate || sw == 0 || sh == 0 || ga.width < 2 * sw ||
        ga.height < 2 * sh) {
        piloStippleGeneric(pGC, pDraw, boxes, count, opaque);
        return;
    }
    int maxW, maxH;
    piloLargestBox(boxes, count, &maxW, &maxH);
    if (sw + maxW > ga.width) {
        piloStippleGeneric(pGC, pDraw, boxes, count, opaque);
        return;
    }
    if (!boxes || count <= 0)
        return;

    /* Plane 0 only: the glyph cells in the other planes stay. */
    BoxRec one = piloBox(ga.x, ga.y, ga.x + sw, ga.y + sh);
    piloDrawOpaqueMonoImage(&one, (uint8_t *)stipple->devPrivate, 0, stipple->devKind, ALL_PLANES,
                            0, GXcopy, STIPPLE_PLANE, pDraw);
    /* Bands of whole stipples as high as the staged copy allows from any
     * phase; when the GlyphArea holds the largest box below one stipple,
     * every box is one band. */
    int stagedH, repH;
    if (ga.height - sh < sh + maxH) {
        stagedH = ga.height;
        repH = sh * ((ga.height - sh) / sh);
    } else {
        stagedH = sh + maxH;
        repH = maxH;
    }
    BoxRec staged = piloBox(ga.x, ga.y, ga.x + sw + maxW, ga.y + stagedH);
    nfbReplicateArea(&staged, sw, sh, STIPPLE_PLANE, pDraw);
    if (repH <= 0)
        return;

    const piloStippleColours c = {opaque, piloRasterOps[gcPriv->alu & 0xF], gcPriv->fgPixel,
                                  gcPriv->bgPixel, gcPriv->planemask};
    if (!halves) {
        const piloStippleColours low = piloStippleHalf(&c, 0);
        piloStippleSetUp(&low);
    }
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (piloBoxEmpty(b))
            continue;
        const int sx = ga.x + piloPhase(b->x1, gcPriv->patOrg.x, sw);
        const int sy = ga.y + piloPhase(b->y1, gcPriv->patOrg.y, sh);
        const int w = b->x2 - b->x1, h = b->y2 - b->y1;
        for (int y = 0; y < h; y += repH)
            piloStippleBand(&c, halves, sx, sy, b->x1, b->y1 + y, w, h - y < repH ? h - y : repH);
    }
}

void piloStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    piloStippleFill(pGC, pDraw, boxes, count, 0, 0);
}

void piloStippledFillRects16(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    piloStippleFill(pGC, pDraw, boxes, count, 0, 1);
}

void piloOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    piloStippleFill(pGC, pDraw, boxes, count, 1, 0);
}

void piloOpStippledFillRects16(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    piloStippleFill(pGC, pDraw, boxes, count, 1, 1);
}
