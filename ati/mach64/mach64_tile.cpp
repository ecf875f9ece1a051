/*
 * Mach64 tiles and stipples: the pattern is staged once in the TileArea
 * and every box is then one blit that enters the pattern at the box's phase
 * and lets the engine wrap it. A transparent stipple is staged in two
 * colours, its 0 bits in one that differs from the foreground in its low
 * byte, and drawn with the colour compare on the source keeping those out.
 */
#include "mach64.h"

typedef enum { M64_TILE, M64_STIPPLE, M64_OPAQUE_STIPPLE } m64Pattern;

/* The low byte inverted: never equal to the foreground. */
#define STIPPLE_KEY_FLIP 0xFFu

/* The staging colour of a transparent stipple's 0 bits as the pixel lands
 * in video memory: a GC's pixel may carry bits above the depth, which the
 * staged pixel loses and the compare would still see. */
static inline uint32_t m64StippleKey(const teskScreenPrivate *priv, Pixel fg) {
    uint32_t bits = priv->depth >= 32 ? 0xFFFFFFFFu : (1u << priv->depth) - 1u;
    return ((uint32_t)fg ^ STIPPLE_KEY_FLIP) & bits;
}

static inline uint32_t m64TileMix(int alu) {
    return UNAME(RasterOps)[alu & 0xF];
}

static inline uint32_t m64TileYX(int x, int y) {
    return (uint32_t)(uint16_t)x << 16 | (uint32_t)(uint16_t)y;
}

static inline Bool m64PatternFits(int pw, int ph, int count) {
    return pw >= 1 && ph >= 1 && pw <= TILE_AREA_WIDTH && ph <= TILE_AREA_HEIGHT && count >= 2;
}

/* SRC_OFF_PITCH naming the TileArea's top-left pixel. */
static uint32_t m64TileSourceWord(const teskScreenPrivate *priv) {
    uint32_t offset =
        ((uint32_t)priv->tileArea.y * (uint32_t)priv->width + (uint32_t)priv->tileArea.x) *
        (uint32_t)m64BytesPerPixel(priv->depth);
    return (offset >> 3 & 0x3FFFFFu) | priv->pitchWord;
}

/* Scissors over the pattern while it is staged; the shadows keep the clip. */
static void m64OpenTileArea(const teskScreenPrivate *priv, int pw, int ph) {
    int tx = priv->tileArea.x, ty = priv->tileArea.y;
    FifoSpaceWait(priv, 2);
    m64Out(priv, SC_LEFT_RIGHT, m64TileYX(tx + pw, tx));
    m64Out(priv, SC_TOP_BOTTOM, m64TileYX(ty + ph, ty));
}

static void m64RestoreScissors(const teskScreenPrivate *priv) {
    FifoSpaceWait(priv, 2);
    m64Out(priv, SC_LEFT_RIGHT, priv->shadowScissorX);
    m64Out(priv, SC_TOP_BOTTOM, priv->shadowScissorY);
}

static void m64PatternSetUp(teskScreenPrivate *priv, m64Pattern kind, int pw, int ph, int alu,
                            uint32_t planemask, Pixel fg) {
    uint32_t mix = m64TileMix(alu);
    uint32_t code = priv->pixWidthCode;
    uint32_t source = m64TileSourceWord(priv);
    uint32_t patternSize = (uint32_t)pw << 16 | (uint32_t)ph;

    switch (kind) {
    case M64_TILE:
        FifoSpaceWait(priv, 8);
        m64Out(priv, SRC_OFF_PITCH, source);
        m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
        m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
        m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix | mix << 16);
        m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT);
        m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_ROTATE);
        m64Out(priv, SRC_HEIGHT2_WIDTH2, patternSize);
        m64Out(priv, SRC_Y_X_START, 0);
        break;
    case M64_STIPPLE:
        FifoSpaceWait(priv, 12);
        m64Out(priv, SRC_OFF_PITCH, source);
        m64Out(priv, SRC_HEIGHT2_WIDTH2, patternSize);
        m64Out(priv, SRC_Y_X_START, 0);
        m64Out(priv, CLR_CMP_CNTL, CLR_CMP_SOURCE_EQUAL);
        m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
        m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
        m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix << 16 | UNAME(RasterOps)[GXnoop]);
        m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT);
        m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_ROTATE);
        m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64DstPixWidth(code) | code << 8);
        m64OutShadowed(priv, &priv->shadowCmpColor, CLR_CMP_CLR, m64StippleKey(priv, fg));
        m64OutShadowed(priv, &priv->shadowCmpMask, CLR_CMP_MASK, 0xFFFFFFFFu);
        break;
    case M64_OPAQUE_STIPPLE:
        FifoSpaceWait(priv, 9);
        m64Out(priv, SRC_OFF_PITCH, source);
        m64Out(priv, SRC_HEIGHT2_WIDTH2, patternSize);
        m64Out(priv, SRC_Y_X_START, 0);
        m64OutShadowed(priv, &priv->shadowDstCntl, DST_CNTL, DST_CNTL_X_RIGHT | DST_CNTL_Y_DOWN);
        m64OutShadowed(priv, &priv->shadowWriteMask, DP_WRITE_MASK, planemask);
        m64OutShadowed(priv, &priv->shadowDpMix, DP_MIX, mix | mix << 16);
        m64OutShadowed(priv, &priv->shadowDpSrc, DP_SRC, DP_SRC_BLIT);
        m64OutShadowed(priv, &priv->shadowSrcCntl, SRC_CNTL, SRC_CNTL_ROTATE);
        m64OutShadowed(priv, &priv->shadowPixWidth, DP_PIX_WIDTH, m64DstPixWidth(code) | code << 8);
        break;
    }
}

/* The pattern's phase at a coordinate: never negative. */
static inline int m64Phase(int at, int origin, int period) {
    int p = (at - origin) % period;
    return p < 0 ? p + period : p;
}

/* One blit per box; the first source rectangle runs from the phase to the
 * pattern's edge, after which the engine repeats the whole pattern. */
static void m64BlitBoxes(const teskScreenPrivate *priv, const BoxRec *boxes, int count, int pw,
                         int ph, DDXPointRec org) {
    for (int i = 0; i < count; i++) {
        const BoxRec *b = &boxes[i];
        if (b->x2 <= b->x1 || b->y2 <= b->y1)
            continue;
        int ox = m64Phase(b->x1, org.x, pw), oy = m64Phase(b->y1, org.y, ph);
        FifoSpaceWait(priv, 4);
        m64Out(priv, SRC_Y_X, m64TileYX(ox, oy));
        m64Out(priv, SRC_HEIGHT1_WIDTH1, m64TileYX(pw - ox, ph - oy));
        m64OutDstYX(priv, m64TileYX(b->x1, b->y1));
        m64Out(priv, DST_HEIGHT_WIDTH, m64TileYX(b->x2 - b->x1, b->y2 - b->y1));
    }
}

/* Later copies read the screen again, and nothing colour-keys them. */
static void m64PatternEnd(const teskScreenPrivate *priv, m64Pattern kind) {
    if (kind == M64_STIPPLE) {
        FifoSpaceWait(priv, 2);
        m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
        m64Out(priv, CLR_CMP_CNTL, 0);
        return;
    }
    FifoSpaceWait(priv, 1);
    m64Out(priv, SRC_OFF_PITCH, priv->pitchWord);
}

static BoxRec m64StagingBox(const teskScreenPrivate *priv, int pw, int ph) {
    BoxRec box;
    box.x1 = (int16_t)priv->tileArea.x;
    box.y1 = (int16_t)priv->tileArea.y;
    box.x2 = (int16_t)(priv->tileArea.x + pw);
    box.y2 = (int16_t)(priv->tileArea.y + ph);
    return box;
}

void UNAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                      int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                      DrawablePtr pDraw) {
    if (!m64PatternFits(tileWidth, tileHeight, count)) {
        genTileRects(boxes, count, tile, tileStride, tileWidth, tileHeight, patOrg, alu, planemask,
                     pDraw);
        return;
    }
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    m64OpenTileArea(priv, tileWidth, tileHeight);
    BoxRec stage = m64StagingBox(priv, tileWidth, tileHeight);
    UNAME(DrawImage)(&stage, tile, tileStride, GXcopy, 0xFFFFFFFFu, pDraw);
    m64RestoreScissors(priv);
    m64PatternSetUp(priv, M64_TILE, tileWidth, tileHeight, alu, planemask, 0);
    m64BlitBoxes(priv, boxes, count, tileWidth, tileHeight, *patOrg);
    m64PatternEnd(priv, M64_TILE);
    if (m64Traits.rectEndWaits)
        LNAME(CheckedWait)(priv, "Tile Rect");
}

static void m64StippleRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, Bool opaque) {
    PixmapPtr stipple = pGC->stipple;
    int pw = stipple->drawable.width, ph = stipple->drawable.height;
    if (!m64PatternFits(pw, ph, count)) {
        if (opaque)
            genOpStippledFillRects(pGC, pDraw, boxes, count);
        else
            genStippledFillRects(pGC, pDraw, boxes, count);
        return;
    }
    teskScreenPrivate *priv = M64_PRIV(pDraw->pScreen);
    const nfbGCPrivate *gp = NFB_GC_PRIV(pGC);
    Pixel fg = gp->fgPixel;
    Pixel bg = opaque ? gp->bgPixel : fg ^ STIPPLE_KEY_FLIP;

    m64OpenTileArea(priv, pw, ph);
    BoxRec stage = m64StagingBox(priv, pw, ph);
    UNAME(DrawOpaqueMonoImage)
    (&stage, (uint8_t *)stipple->devPrivate, 0, stipple->devKind, fg, bg, GXcopy, 0xFFFFFFFFu,
     pDraw);
    m64RestoreScissors(priv);
    m64Pattern kind = opaque ? M64_OPAQUE_STIPPLE : M64_STIPPLE;
    m64PatternSetUp(priv, kind, pw, ph, gp->alu, gp->planemask, fg);
    m64BlitBoxes(priv, boxes, count, pw, ph, gp->patOrg);
    m64PatternEnd(priv, kind);
}

void UNAME(StippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    m64StippleRects(pGC, pDraw, boxes, count, 0);
}

void UNAME(OpStippledFillRects)(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    m64StippleRects(pGC, pDraw, boxes, count, 1);
}
