// Stippled fills and spans through the engine's 16 x 8 pattern, and
// zero-width segments on its line engine.
#include "hwio.h"
#include "quarn.h"

namespace {

constexpr uint32_t kCommand = 0x1C00, kBackground = 0x1C20, kForeground = 0x1C24,
                   kPattern0 = 0x1C30, kShift = 0x1C50, kSign = 0x1C58, kLength = 0x1C5C,
                   kErrorMinor = 0x1C60, kError = 0x1C64, kErrorDiagonal = 0x1C68, kDestY = 0x1C90,
                   kDestLeft = 0x1CA8, kDestRight = 0x1CAC, kLineX = 0x1CB0, kGo = 0x100;
constexpr uint32_t kPatternFill = 0x3004, kTransparent = 0x40000000, kLine = 0x04004800;
constexpr int kPatternWidth = 16, kPatternHeight = 8;
enum { STATE_SEGMENTS = 1, STATE_STIPPLED_RECTS = 6, STATE_STIPPLED_SPANS = 7 };

void out(quarnScreenPrivate *priv, uint32_t offset, uint32_t value) {
    mmWrite32(priv->regs + offset, value);
}

bool powerOfTwoUpTo(int n, int limit) {
    return n > 0 && n <= limit && (n & (n - 1)) == 0;
}

// The offset of the pattern's first column and row for an origin, inside
// the stipple's own period: the shift register's fields are 4 and 3 bits.
int patternOffset(int origin, int period) {
    const int o = period - origin % period;
    return ((o % period) + period) % period;
}

// Set-up shared by rectangles and spans; false when the request goes to the
// generic routine.
bool stippleSetup(GCPtr pGC, DrawablePtr pDraw, int state, int transparent, uint32_t wait) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    if (GenericFallback(priv, gc->planemask))
        return false;
    const PixmapRec *st = pGC->stipple;
    if (st == nullptr ||
        quarnLoadStipple(priv->regs + 0x1C00, st->drawable.width, st->drawable.height, st->devKind,
                         static_cast<const uint8_t *>(st->devPrivate)) != 0)
        return false;
    const int32_t values[QUARN_SHADOWS] = {gc->alu, static_cast<int32_t>(gc->planemask),
                                           static_cast<int32_t>(gc->fgPixel),
                                           static_cast<int32_t>(gc->bgPixel), transparent};
    if (quarnNeedsSetup(priv, state, values, 0x1F)) {
        uint32_t mask = gc->planemask, fg = gc->fgPixel, bg = gc->bgPixel;
        quarnNormalSetup(priv, &mask, &fg, &bg);
        MGA_WAIT(priv, wait);
        out(priv, kCommand,
            quarnALU[gc->alu & 0xF] | kPatternFill | (transparent ? kTransparent : 0));
        out(priv, kForeground, fg);
        out(priv, kBackground, bg);
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
    }
    const int x = patternOffset(gc->patOrg.x, st->drawable.width);
    const int y = patternOffset(gc->patOrg.y, st->drawable.height);
    MGA_WAIT(priv, 1);
    out(priv, kShift, static_cast<uint32_t>(x | y * 16));
    return true;
}

void fillLines(quarnScreenPrivate *priv, int x1, int x2, int y, int lines) {
    MGA_WAIT(priv, 4);
    out(priv, kDestLeft, static_cast<uint32_t>(x1));
    out(priv, kDestRight, static_cast<uint32_t>(x2));
    out(priv, kDestY, static_cast<uint32_t>(y));
    out(priv, kLength + kGo, static_cast<uint32_t>(lines));
}

void doStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count, int transparent) {
    if (!stippleSetup(pGC, pDraw, STATE_STIPPLED_RECTS, transparent, 4)) {
        (transparent ? genStippledFillRects : genOpStippledFillRects)(pGC, pDraw, boxes, count);
        return;
    }
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    for (int i = 0; i < count; i++)
        if (boxes[i].x2 > boxes[i].x1 && boxes[i].y2 > boxes[i].y1)
            fillLines(priv, boxes[i].x1, boxes[i].x2, boxes[i].y1, boxes[i].y2 - boxes[i].y1);
}

void doStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count,
                  int transparent) {
    if (!stippleSetup(pGC, pDraw, STATE_STIPPLED_SPANS, transparent, 5)) {
        (transparent ? genStippledFS : genOpStippledFS)(pGC, pDraw, points, widths, count);
        return;
    }
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    for (int i = 0; i < count; i++)
        if (widths[i] > 0)
            fillLines(priv, points[i].x, points[i].x + widths[i], points[i].y, 1);
}

} // namespace

extern "C" {

int quarnLoadStipple(uint8_t *engine, int w, int h, int stride, const uint8_t *bits) {
    if (!powerOfTwoUpTo(w, kPatternWidth) || !powerOfTwoUpTo(h, kPatternHeight) ||
        stride != (w == kPatternWidth ? 2 : 1))
        return 1;
    uint16_t rows[kPatternHeight];
    for (int k = 0; k < kPatternHeight; k++) {
        const int r = k % h;
        if (w == kPatternWidth) {
            rows[k] = static_cast<uint16_t>(bits[2 * r] | bits[2 * r + 1] << 8);
            continue;
        }
        const uint16_t cell = static_cast<uint16_t>(bits[r] & ((1u << w) - 1));
        uint16_t row = 0;
        for (int j = 0; j < kPatternWidth / w; j++)
            row = static_cast<uint16_t>(row | cell << (w * j));
        rows[k] = row;
    }
    // The engine block starts at register 0x1C00; its FIFO status at 0x1E10.
    while ((mmRead32(engine + (0x1E10 - 0x1C00)) & static_cast<uint32_t>(mga_mask)) < 4) {
    }
    for (int wd = 0; wd < 4; wd++)
        mmWrite32(engine + (kPattern0 - 0x1C00) + 4 * static_cast<uint32_t>(wd),
                  static_cast<uint32_t>(rows[2 * wd]) | static_cast<uint32_t>(rows[2 * wd + 1])
                                                            << 16);
    return 0;
}

void quarnStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    doStippledFillRects(pGC, pDraw, boxes, count, 1);
}
void quarnOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count) {
    doStippledFillRects(pGC, pDraw, boxes, count, 0);
}
void quarnStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count) {
    doStippledFS(pGC, pDraw, points, widths, count, 1);
}
void quarnOpStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count) {
    doStippledFS(pGC, pDraw, points, widths, count, 0);
}

void quarnSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const nfbGCPrivPtr gc = NFB_GC_PRIV(pGC);
    if (GenericFallback(priv, gc->planemask)) {
        genSolidZeroSegs(pGC, pDraw, segs, count);
        return;
    }
    const int32_t values[QUARN_SHADOWS] = {gc->alu, static_cast<int32_t>(gc->planemask),
                                           static_cast<int32_t>(gc->fgPixel), 0, 0};
    if (quarnNeedsSetup(priv, STATE_SEGMENTS, values,
                        QUARN_USES_ALU | QUARN_USES_PLANEMASK | QUARN_USES_FG)) {
        uint32_t mask = gc->planemask, fg = gc->fgPixel;
        quarnNormalSetup(priv, &mask, &fg, nullptr);
        MGA_WAIT(priv, 3);
        out(priv, kCommand, quarnALU[gc->alu & 0xF] | kLine);
        out(priv, kForeground, fg);
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
    }
    for (int i = 0; i < count; i++) {
        const ZeroSegRec &s = segs[i];
        uint32_t sign = s.axis == 0 ? 1 : 0;
        if (s.signdx < 0)
            sign += 2;
        if (s.signdy < 0)
            sign += 4;
        MGA_WAIT(priv, 7);
        out(priv, kSign, sign);
        out(priv, kError, static_cast<uint32_t>(s.e));
        out(priv, kErrorMinor, static_cast<uint32_t>(s.e1));
        out(priv, kErrorDiagonal, static_cast<uint32_t>(s.e2));
        out(priv, kLineX, static_cast<uint32_t>(s.x));
        out(priv, kDestY, static_cast<uint32_t>(s.y));
        out(priv, kLength + kGo, static_cast<uint32_t>(s.len));
    }
}

} // extern "C"
