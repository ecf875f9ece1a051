// The MGA drawing engine's frame and the solid operations: the raster-op
// table, the FIFO wait, the engine-state cache, the plane-mask rule, the
// hardware clip and GC validation; solid fills, spans, rectangles, points
// and screen-to-screen copies; the colormap hooks.
#include "hwio.h"
#include "quarn.h"

namespace {

// Engine registers (byte offsets in the register window); a write at the
// offset + 0x100 starts the operation the command word names.
constexpr uint32_t kCommand = 0x1C00, kForeground = 0x1C24, kPattern0 = 0x1C30,
                   kPointStart = 0x1C40, kPointEnd = 0x1C44, kShift = 0x1C50, kSign = 0x1C58,
                   kLength = 0x1C5C, kSourceEnd = 0x1C60, kSourceStart = 0x1C6C,
                   kSourcePitch = 0x1C74, kDestY = 0x1C90, kClipTop = 0x1C98, kClipBottom = 0x1C9C,
                   kClipLeft = 0x1CA0, kClipRight = 0x1CA4, kDestLeft = 0x1CA8, kDestRight = 0x1CAC,
                   kFifoStatus = 0x1E10, kGo = 0x100;
constexpr uint32_t kSignRightToLeft = 0x1, kSignBottomToTop = 0x4;
constexpr int kDirectColor = 5;

// Command words, before the alu's bits.
constexpr uint32_t kFillGC = 0x40007804, kFillWindow = 0x44007804, kPoints = 0x44000003,
                   kScreenCopy = 0x04004008;

// Engine set-ups the cache tells apart.
enum {
    STATE_NONE = 0,
    STATE_SPANS = 2,
    STATE_FILL = 3,
    STATE_RECTS = 4,
    STATE_POINTS = 5,
    STATE_COPY = 9
};

} // namespace

// The alu with its four bits reversed in bits 16-19; bit 4 when it reads
// the destination.
extern "C" const uint32_t quarnALU[16] = {0x00000, 0x80010, 0x40010, 0xC0000, 0x20010, 0xA0010,
                                          0x60010, 0xE0010, 0x10010, 0x90010, 0x50010, 0xD0010,
                                          0x30000, 0xB0010, 0x70010, 0xF0000};

namespace {

void out(quarnScreenPrivate *priv, uint32_t offset, uint32_t value) {
    mmWrite32(priv->regs + offset, value);
}

quarnScreenPrivate *privOf(DrawablePtr pDraw) {
    return QUARN_PRIV(pDraw->pScreen);
}

} // namespace

// Waits until the FIFO has `count` free entries.
void MGA_WAIT(quarnScreenPrivate *priv, uint32_t count) {
    while ((mmRead32(priv->regs + kFifoStatus) & static_cast<uint32_t>(mga_mask)) < count) {
    }
}

// An empty FIFO, then the engine idle: the processor may touch video memory.
void quarnWaitIdle(quarnScreenPrivate *priv) {
    MGA_WAIT(priv, static_cast<uint32_t>(mga_status));
    while (mmRead32(priv->regs + QUARN_STATUS) & QUARN_STATUS_BUSY) {
    }
}

uint32_t PixelReplicate(const quarnScreenPrivate *priv, uint32_t value) {
    switch (priv->depth) {
    case 8:
        return (value & 0xFF) * 0x01010101u;
    case 16:
        return (value & 0xFFFF) * 0x00010001u;
    default:
        return value;
    }
}

void quarnNormalSetup(const quarnScreenPrivate *priv, uint32_t *a, uint32_t *b, uint32_t *c) {
    uint32_t *values[] = {a, b, c};
    for (uint32_t *v : values)
        if (v != nullptr)
            *v = PixelReplicate(priv, *v);
}

// Boards whose plane-mask register must never be written: the twister with
// memory type 5.
bool quarnPlaneMaskRule(const quarnScreenPrivate *priv) {
    const uint32_t device = priv->board->ulChipID >> 16;
    return (device == 0x1000 || device == 0x1001) && (priv->board->ulMemoryType & 0xFF) == 5;
}

namespace {

bool fullMask(int depth, uint32_t planemask) {
    const uint32_t all = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
    return (planemask & all) == all;
}

} // namespace

// True when the request goes to the generic routine instead.
bool GenericFallback(const quarnScreenPrivate *priv, uint32_t planemask) {
    return quarnPlaneMaskRule(priv) && !fullMask(priv->depth, planemask);
}

namespace {} // namespace

// Compares the set-up an operation needs with the one loaded (the values it
// uses: `used` bits 0-4 for alu, plane mask, fg, bg, transparent); on a miss
// records it and returns true (the caller loads it).
bool quarnNeedsSetup(quarnScreenPrivate *priv, int state, const int32_t values[QUARN_SHADOWS],
                     unsigned used) {
    bool hit = priv->engineState == state;
    for (int i = 0; i < QUARN_SHADOWS && hit; i++)
        if ((used >> i & 1) && priv->shadow[i] != values[i])
            hit = false;
    if (hit)
        return false;
    priv->engineState = state;
    for (int i = 0; i < QUARN_SHADOWS; i++)
        if (used >> i & 1)
            priv->shadow[i] = values[i];
    return true;
}

namespace {

bool needsSetup(quarnScreenPrivate *priv, int state, int alu, uint32_t planemask, uint32_t fg,
                bool usesFg) {
    const int32_t mask = static_cast<int32_t>(planemask), colour = static_cast<int32_t>(fg);
    if (priv->engineState == state && priv->shadow[QUARN_SHADOW_ALU] == alu &&
        priv->shadow[QUARN_SHADOW_PLANEMASK] == mask &&
        (!usesFg || priv->shadow[QUARN_SHADOW_FG] == colour))
        return false;
    priv->engineState = state;
    priv->shadow[QUARN_SHADOW_ALU] = alu;
    priv->shadow[QUARN_SHADOW_PLANEMASK] = mask;
    if (usesFg)
        priv->shadow[QUARN_SHADOW_FG] = colour;
    return true;
}

// The common set-up: command word, foreground, plane mask (unless the
// board keeps its register untouched).
void loadSolid(quarnScreenPrivate *priv, uint32_t command, int alu, uint32_t planemask, uint32_t fg,
               uint32_t wait) {
    quarnNormalSetup(priv, &planemask, &fg, nullptr);
    MGA_WAIT(priv, wait);
    out(priv, kCommand, quarnALU[alu & 0xF] | command);
    out(priv, kForeground, fg);
    if (!quarnPlaneMaskRule(priv))
        out(priv, QUARN_PLANE_MASK, planemask);
}

void fillBox(quarnScreenPrivate *priv, int x1, int x2, int y, int lines) {
    MGA_WAIT(priv, 4);
    out(priv, kDestLeft, static_cast<uint32_t>(x1));
    out(priv, kDestRight, static_cast<uint32_t>(x2));
    out(priv, kDestY, static_cast<uint32_t>(y));
    out(priv, kLength + kGo, static_cast<uint32_t>(lines));
}

void fillBoxes(quarnScreenPrivate *priv, const BoxRec *boxes, int count) {
    for (int i = 0; i < count; i++) {
        const BoxRec &b = boxes[i];
        // An empty box starts nothing.
        if (b.x2 <= b.x1 || b.y2 <= b.y1)
            continue;
        fillBox(priv, b.x1, b.x2, b.y1, b.y2 - b.y1);
    }
}

} // namespace

extern "C" {

// ---- the frame ----

void quarnSetClipRegions(BoxPtr boxes, int count, DrawablePtr pDraw) {
    quarnClip(privOf(pDraw), boxes, count);
}

// Only the first box clips; none is the whole screen.
void quarnClip(quarnScreenPrivate *priv, const BoxRec *boxes, int count) {
    int32_t left, right, top, bottom;
    if (count != 0) {
        left = boxes[0].x1;
        right = boxes[0].x2 - 1;
        top = priv->drawOrigin + boxes[0].y1 * priv->pitch;
        bottom = priv->drawOrigin + (boxes[0].y2 - 1) * priv->pitch;
    } else {
        left = 0;
        right = priv->width - 1;
        top = 0;
        bottom = priv->drawOrigin + (priv->height - 1) * priv->pitch;
    }
    priv->clip[0] = left;
    priv->clip[1] = right;
    priv->clip[2] = top;
    priv->clip[3] = bottom;
    MGA_WAIT(priv, 4);
    out(priv, kClipLeft, static_cast<uint32_t>(left));
    out(priv, kClipRight, static_cast<uint32_t>(right));
    out(priv, kClipTop, static_cast<uint32_t>(top));
    out(priv, kClipBottom, static_cast<uint32_t>(bottom));
}

// The fill style picks the record; an opaque stipple whose colours are
// equal is a solid fill, so a change of either colour picks again too.
int quarnValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    if (changes & (GCFillStyle | GCForeground | GCBackground)) {
        nfbGCPrivPtr gcPriv = NFB_GC_PRIV(pGC);
        PrivOps *ops = &quarnSolidPrivOps;
        switch (pGC->fillStyle) {
        case FillTiled:
            ops = &quarnTiledPrivOps;
            break;
        case FillStippled:
            ops = &quarnStippledPrivOps;
            break;
        case FillOpaqueStippled:
            ops = pGC->fgPixel == pGC->bgPixel ? &quarnSolidPrivOps : &quarnOpStippledPrivOps;
            break;
        default:
            break;
        }
        gcPriv->ops = ops;
    }
    return nfbHelpValidateGC(pGC, changes, pDraw);
}

// ---- solid operations ----

void quarnSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    quarnScreenPrivate *priv = privOf(pDraw);
    const nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    if (GenericFallback(priv, gc->planemask)) {
        genSolidFillRects(pGC, pDraw, boxes, count);
        return;
    }
    if (needsSetup(priv, STATE_FILL, gc->alu, gc->planemask, gc->fgPixel, true))
        loadSolid(priv, kFillGC, gc->alu, gc->planemask, gc->fgPixel, 3);
    fillBoxes(priv, boxes, count);
}

void quarnSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count) {
    quarnScreenPrivate *priv = privOf(pDraw);
    const nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    if (GenericFallback(priv, gc->planemask)) {
        genSolidFS(pGC, pDraw, points, widths, count);
        return;
    }
    if (needsSetup(priv, STATE_SPANS, gc->alu, gc->planemask, gc->fgPixel, true))
        loadSolid(priv, kFillGC, gc->alu, gc->planemask, gc->fgPixel, 3);
    for (int i = 0; i < count; i++)
        if (widths[i] > 0)
            fillBox(priv, points[i].x, points[i].x + widths[i], points[i].y, 1);
}

void quarnDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw) {
    quarnScreenPrivate *priv = privOf(pDraw);
    if (GenericFallback(priv, planemask)) {
        genDrawSolidRects(boxes, count, fg, alu, planemask, pDraw);
        return;
    }
    alu &= 0xFF;
    if (needsSetup(priv, STATE_RECTS, alu, planemask, fg, true))
        loadSolid(priv, kFillWindow, alu, planemask, fg, 3);
    fillBoxes(priv, boxes, count);
}

void quarnDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    quarnScreenPrivate *priv = privOf(pDraw);
    if (GenericFallback(priv, planemask)) {
        genDrawPoints(points, count, fg, alu, planemask, pDraw);
        return;
    }
    alu &= 0xFF;
    if (needsSetup(priv, STATE_POINTS, alu, planemask, fg, true)) {
        loadSolid(priv, kPoints, alu, planemask, fg, 5);
        out(priv, kShift, 0x001F001F);
        out(priv, kPattern0, 0xFFFFFFFFu);
    }
    for (int i = 0; i < count; i++) {
        const uint32_t word =
            static_cast<uint32_t>(points[i].y) * 65536u + static_cast<uint16_t>(points[i].x);
        MGA_WAIT(priv, 2);
        out(priv, kPointStart, word);
        out(priv, kPointEnd + kGo, word);
    }
}

void quarnCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw) {
    quarnScreenPrivate *priv = privOf(pDraw);
    if (GenericFallback(priv, planemask)) {
        genCopyRect(dst, src, alu, planemask, pDraw);
        return;
    }
    alu &= 0xFF;
    const int w = dst->x2 - dst->x1, h = dst->y2 - dst->y1;
    if (w <= 0 || h <= 0)
        return;
    if (needsSetup(priv, STATE_COPY, alu, planemask, 0, false)) {
        uint32_t mask = planemask;
        quarnNormalSetup(priv, &mask, nullptr, nullptr);
        MGA_WAIT(priv, 2);
        out(priv, kCommand, quarnALU[alu & 0xF] | kScreenCopy);
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
    }
    int yd = dst->y1, ys = src->y;
    uint32_t sign = 0;
    int32_t srcPitch = priv->pitch;
    if (src->y < dst->y1) {
        ys = src->y + h - 1;
        yd = dst->y2 - 1;
        sign |= kSignBottomToTop;
        srcPitch = -priv->pitch;
    }
    const int32_t a = priv->drawOrigin + src->x + priv->pitch * ys;
    int32_t start = a, end = a + w - 1;
    if (src->x < dst->x1) {
        sign |= kSignRightToLeft;
        end = a;
        start = a + w - 1;
    }
    MGA_WAIT(priv, 8);
    out(priv, kSign, sign);
    out(priv, kLength, static_cast<uint32_t>(h));
    out(priv, kSourcePitch, static_cast<uint32_t>(srcPitch));
    out(priv, kDestY, static_cast<uint32_t>(yd));
    out(priv, kDestLeft, static_cast<uint32_t>(dst->x1));
    out(priv, kDestRight, static_cast<uint32_t>(dst->x2 - 1));
    out(priv, kSourceEnd, static_cast<uint32_t>(end));
    out(priv, kSourceStart + kGo, static_cast<uint32_t>(start));
    mmWrite8(priv->regs + QUARN_CRTC_INDEX, 0);
}

// ---- colormap ----

static uint16_t component(const Entry *e, int which) {
    if (e->fShared) {
        const SHAREDCOLOR *c[3] = {e->co.shco.red, e->co.shco.green, e->co.shco.blue};
        return c[which]->color;
    }
    const uint16_t c[3] = {e->co.local.red, e->co.local.green, e->co.local.blue};
    return c[which];
}

void quarnSetColor(uint32_t, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    if (priv->depth != 8)
        return;
    mmWrite8(priv->regs + QUARN_PALETTE_WRITE, static_cast<uint8_t>(index));
    mmWrite8(priv->regs + QUARN_PALETTE_DATA, static_cast<uint8_t>(red >> 8));
    mmWrite8(priv->regs + QUARN_PALETTE_DATA, static_cast<uint8_t>(green >> 8));
    mmWrite8(priv->regs + QUARN_PALETTE_DATA, static_cast<uint8_t>(blue >> 8));
}

void quarnLoadColormap(ColormapPtr cmap) {
    if (cmap == nullptr)
        return;
    quarnScreenPrivate *priv = QUARN_PRIV(cmap->pScreen);
    if (priv->depth != 8)
        return;
    uint8_t *data = priv->regs + QUARN_PALETTE_DATA;
    mmWrite8(priv->regs + QUARN_PALETTE_WRITE, 0);
    quarnDelay(1);
    const VisualRec *v = cmap->pVisual;
    if (v->class_ == TrueColor || v->class_ == kDirectColor) {
        const uint32_t count = v->nplanes >= 32 ? 0 : 1u << v->nplanes;
        for (uint32_t i = 0; i < count; i++) {
            mmWrite8(data, static_cast<uint8_t>(
                               component(&cmap->red[(i & v->redMask) >> v->offsetRed], 0) >> 8));
            mmWrite8(data,
                     static_cast<uint8_t>(
                         component(&cmap->green[(i & v->greenMask) >> v->offsetGreen], 1) >> 8));
            mmWrite8(data, static_cast<uint8_t>(
                               component(&cmap->blue[(i & v->blueMask) >> v->offsetBlue], 2) >> 8));
        }
        return;
    }
    for (int i = 0; i < v->ColormapEntries; i++)
        for (int c = 0; c < 3; c++)
            mmWrite8(data, static_cast<uint8_t>(component(&cmap->red[i], c) >> 8));
}

} // extern "C"
