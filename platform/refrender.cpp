// The reference renderer. Every routine works pixel by pixel through
// Canvas::get/put/merge so that each one can be checked by eye against the
// meaning of its slot. Geometry is clipped to the canvas before any loop, so
// a bad call costs at most one pass over the visible pixels and never writes
// outside the canvas.
#include "refrender.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace ref {

namespace {

// A half-open span [lo, hi) of coordinates; empty when hi <= lo.
struct Range {
    int lo, hi;
    bool empty() const { return hi <= lo; }
};

Range intersect(Range a, Range b) {
    return {std::max(a.lo, b.lo), std::min(a.hi, b.hi)};
}

// The part of a box that lies on the canvas, as column and row ranges.
struct Clip {
    Range xs, ys;
    bool empty() const { return xs.empty() || ys.empty(); }
};

Clip clipBox(const Canvas &c, int x1, int y1, int x2, int y2) {
    return {intersect({x1, x2}, {0, c.width}), intersect({y1, y2}, {0, c.height})};
}

Clip clipBox(const Canvas &c, const BoxRec &b) {
    return clipBox(c, b.x1, b.y1, b.x2, b.y2);
}

bool onCanvas(const Canvas &c, int x, int y) {
    return x >= 0 && y >= 0 && x < c.width && y < c.height;
}

// Little-endian load and store of `n` bytes; the renderer's pixels, client
// pixels and canvas bytes are all laid out this way.
uint32_t load(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void store(uint8_t *p, int n, uint32_t v) {
    for (int i = 0; i < n; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

const uint8_t *rowOf(const uint8_t *base, int row, int stride) {
    return base + std::ptrdiff_t(row) * stride;
}

uint8_t *rowOf(uint8_t *base, int row, int stride) {
    return base + std::ptrdiff_t(row) * stride;
}

// Bit `i` of a bitmap row, leftmost pixel in the least significant bit.
bool bitAt(const uint8_t *row, int i) {
    return (row[i >> 3] >> (i & 7)) & 1;
}

// The pattern coordinate of screen coordinate `v` for a pattern of `size`
// whose origin is at `org`; also right for positions left of or above it.
int wrap(int v, int org, int size) {
    int m = (v - org) % size;
    return m < 0 ? m + size : m;
}

uint32_t clientPixel(const Canvas &c, const uint8_t *pixels, int stride, int x, int y) {
    int n = clientPixelBytes(c);
    return load(rowOf(pixels, y, stride) + std::ptrdiff_t(x) * n, n);
}

bool validBpp(int bpp) {
    return bpp >= 1 && bpp <= 4;
}

} // namespace

// ---- Canvas ----

Canvas::Canvas(int w, int h, int bpp, int d, int p)
    : width(w), height(h), bytesPerPixel(bpp), depth(d) {
    if (w < 0 || h < 0 || !validBpp(bpp))
        throw std::invalid_argument("ref::Canvas: bad size or pixel size");
    // Any size a configuration names, without overflow: a row must fit an int.
    int64_t wide = int64_t{w} * bpp;
    if (wide > INT32_MAX)
        throw std::invalid_argument("ref::Canvas: a row of more than 2 GB");
    int rowBytes = static_cast<int>(wide);
    if (p != 0 && p < rowBytes)
        throw std::invalid_argument("ref::Canvas: pitch shorter than a row");
    pitch = p != 0 ? p : rowBytes;
    bytes.assign(std::size_t(pitch) * std::size_t(h), 0);
}

Canvas Canvas::fromMemory(const uint8_t *mem, int w, int h, int bpp, int d, int p) {
    Canvas c(w, h, bpp, d, p);
    std::copy(mem, mem + c.bytes.size(), c.bytes.begin());
    return c;
}

uint32_t Canvas::pixelMask() const {
    return depth >= 32 ? ~0u : (1u << depth) - 1;
}

// Off-canvas reads give 0 and off-canvas writes are dropped, so every caller
// is safe even where its own clipping is loose.
uint32_t Canvas::get(int x, int y) const {
    if (!onCanvas(*this, x, y))
        return 0;
    return load(&bytes[std::size_t(y) * pitch + std::size_t(x) * bytesPerPixel], bytesPerPixel);
}

void Canvas::put(int x, int y, uint32_t v) {
    if (!onCanvas(*this, x, y))
        return;
    store(&bytes[std::size_t(y) * pitch + std::size_t(x) * bytesPerPixel], bytesPerPixel, v);
}

void Canvas::merge(int x, int y, uint32_t src, int alu, uint32_t planemask) {
    if (!onCanvas(*this, x, y))
        return;
    uint32_t dst = get(x, y);
    uint32_t pm = planemask & pixelMask();
    put(x, y, (dst & ~pm) | (applyAlu(alu, src, dst) & pm));
}

// ---- Raster operations ----

uint32_t applyAlu(int alu, uint32_t src, uint32_t dst) {
    // The server hands the alu over as a word whose low byte counts; a low
    // byte beyond the sixteen functions changes nothing.
    switch (alu & 0xFF) {
    case GXclear:
        return 0;
    case GXand:
        return src & dst;
    case GXandReverse:
        return src & ~dst;
    case GXcopy:
        return src;
    case GXandInverted:
        return ~src & dst;
    case GXnoop:
        return dst;
    case GXxor:
        return src ^ dst;
    case GXor:
        return src | dst;
    case GXnor:
        return ~(src | dst);
    case GXequiv:
        return ~src ^ dst;
    case GXinvert:
        return ~dst;
    case GXorReverse:
        return src | ~dst;
    case GXcopyInverted:
        return ~src;
    case GXorInverted:
        return ~src | dst;
    case GXnand:
        return ~(src & dst);
    case GXset:
        return ~0u;
    default:
        return dst;
    }
}

// ---- Comparison ----

std::string Diff::describe() const {
    if (count == 0)
        return "no pixels differ";
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d pixel%s differ%s, first at (%d,%d): want 0x%0*x got 0x%0*x",
                  count, count == 1 ? "" : "s", count == 1 ? "s" : "", firstX, firstY, digits,
                  unsigned(want), digits, unsigned(got));
    return buf;
}

namespace {

// A row for which `sameRow(y)` holds (its bytes are those of the other
// picture) has no differing pixel; the others are looked at pixel by pixel
// under the depth's mask, `gotAt` telling each pixel of the other picture.
template <class SameRow, class GotAt>
Diff compareWith(const Canvas &want, SameRow sameRow, GotAt gotAt) {
    Diff d;
    d.digits = 2 * want.bytesPerPixel;
    uint32_t mask = want.pixelMask();
    for (int y = 0; y < want.height; ++y) {
        if (sameRow(y))
            continue;
        for (int x = 0; x < want.width; ++x) {
            uint32_t w = want.get(x, y) & mask;
            uint32_t g = 0;
            bool present = gotAt(x, y, &g);
            g &= mask;
            if (present && w == g)
                continue;
            if (d.count++ == 0) {
                d.firstX = x;
                d.firstY = y;
                d.want = w;
                d.got = g;
            }
        }
    }
    return d;
}

const uint8_t *canvasRow(const Canvas &c, int y) {
    return rowOf(c.bytes.data(), y, c.pitch);
}

std::size_t rowBytes(const Canvas &c) {
    return std::size_t(c.width) * std::size_t(c.bytesPerPixel);
}

} // namespace

Diff compare(const Canvas &want, const uint8_t *mem, int pitch) {
    int n = want.bytesPerPixel;
    return compareWith(
        want,
        [&](int y) {
            return std::memcmp(canvasRow(want, y), rowOf(mem, y, pitch), rowBytes(want)) == 0;
        },
        [&](int x, int y, uint32_t *got) {
            *got = load(rowOf(mem, y, pitch) + std::ptrdiff_t(x) * n, n);
            return true;
        });
}

// Where a `got` smaller than `want` has no pixel, the pixel differs (and reads
// as 0), so a size mismatch cannot go unnoticed.
Diff compare(const Canvas &want, const Canvas &got) {
    bool sameLayout = got.bytesPerPixel == want.bytesPerPixel && got.width >= want.width;
    return compareWith(
        want,
        [&](int y) {
            return sameLayout && y < got.height &&
                   std::memcmp(canvasRow(want, y), canvasRow(got, y), rowBytes(want)) == 0;
        },
        [&](int x, int y, uint32_t *value) {
            *value = got.get(x, y);
            return onCanvas(got, x, y);
        });
}

// ---- WinOps slots ----

int clientPixelBytes(const Canvas &c) {
    return c.bytesPerPixel >= 3 ? 4 : c.bytesPerPixel;
}

void copyRect(Canvas &c, const BoxRec &dst, DDXPointRec src, int alu, uint32_t planemask) {
    int dx = src.x - dst.x1, dy = src.y - dst.y1; // source = destination + (dx, dy)
    // Only destination pixels whose source pixel is on the canvas too.
    Clip k = clipBox(c, dst);
    k.xs = intersect(k.xs, {-dx, c.width - dx});
    k.ys = intersect(k.ys, {-dy, c.height - dy});
    if (k.empty())
        return;
    // Reading the whole source before writing makes any overlap come out as
    // if source and destination were distinct.
    int w = k.xs.hi - k.xs.lo;
    std::vector<uint32_t> saved;
    saved.reserve(std::size_t(w) * std::size_t(k.ys.hi - k.ys.lo));
    for (int y = k.ys.lo; y < k.ys.hi; ++y)
        for (int x = k.xs.lo; x < k.xs.hi; ++x)
            saved.push_back(c.get(x + dx, y + dy));
    std::size_t i = 0;
    for (int y = k.ys.lo; y < k.ys.hi; ++y)
        for (int x = k.xs.lo; x < k.xs.hi; ++x)
            c.merge(x, y, saved[i++], alu, planemask);
}

void drawSolidRects(Canvas &c, const BoxRec *boxes, int count, Pixel fg, int alu,
                    uint32_t planemask) {
    for (int i = 0; i < count; ++i) {
        Clip k = clipBox(c, boxes[i]);
        for (int y = k.ys.lo; y < k.ys.hi; ++y)
            for (int x = k.xs.lo; x < k.xs.hi; ++x)
                c.merge(x, y, fg, alu, planemask);
    }
}

void drawImage(Canvas &c, const BoxRec &box, const uint8_t *pixels, int stride, int alu,
               uint32_t planemask) {
    Clip k = clipBox(c, box);
    for (int y = k.ys.lo; y < k.ys.hi; ++y)
        for (int x = k.xs.lo; x < k.xs.hi; ++x)
            c.merge(x, y, clientPixel(c, pixels, stride, x - box.x1, y - box.y1), alu, planemask);
}

void readImage(const Canvas &c, const BoxRec &box, uint8_t *dst, int stride) {
    int n = clientPixelBytes(c);
    // A 3-byte pixel fills the low three bytes of its client pixel; the
    // fourth byte keeps whatever the caller had there.
    int written = std::min(n, c.bytesPerPixel);
    Clip k = clipBox(c, box);
    for (int y = k.ys.lo; y < k.ys.hi; ++y) {
        uint8_t *row = rowOf(dst, y - box.y1, stride);
        for (int x = k.xs.lo; x < k.xs.hi; ++x)
            store(row + std::ptrdiff_t(x - box.x1) * n, written, c.get(x, y));
    }
}

namespace {

// Pixel x1 + i of row r takes bit (startBit + i) counted from bits + r * stride.
void drawMono(Canvas &c, const BoxRec &box, const uint8_t *bits, int startBit, int stride, Pixel fg,
              Pixel bg, bool opaque, int alu, uint32_t planemask) {
    Clip k = clipBox(c, box);
    k.xs = intersect(k.xs, {box.x1 - startBit, k.xs.hi}); // no bits before the first byte
    for (int y = k.ys.lo; y < k.ys.hi; ++y) {
        const uint8_t *row = rowOf(bits, y - box.y1, stride);
        for (int x = k.xs.lo; x < k.xs.hi; ++x) {
            if (bitAt(row, startBit + x - box.x1))
                c.merge(x, y, fg, alu, planemask);
            else if (opaque)
                c.merge(x, y, bg, alu, planemask);
        }
    }
}

} // namespace

void drawMonoImage(Canvas &c, const BoxRec &box, const uint8_t *bits, int startBit, int stride,
                   Pixel fg, int alu, uint32_t planemask) {
    drawMono(c, box, bits, startBit, stride, fg, 0, false, alu, planemask);
}

void drawOpaqueMonoImage(Canvas &c, const BoxRec &box, const uint8_t *bits, int startBit,
                         int stride, Pixel fg, Pixel bg, int alu, uint32_t planemask) {
    drawMono(c, box, bits, startBit, stride, fg, bg, true, alu, planemask);
}

void drawPoints(Canvas &c, const DDXPointRec *points, int count, Pixel fg, int alu,
                uint32_t planemask) {
    for (int i = 0; i < count; ++i)
        c.merge(points[i].x, points[i].y, fg, alu, planemask);
}

void tileRects(Canvas &c, const BoxRec *boxes, int count, const uint8_t *tile, int tileStride,
               int tileWidth, int tileHeight, DDXPointRec patOrg, int alu, uint32_t planemask) {
    if (tile == nullptr || tileWidth <= 0 || tileHeight <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        Clip k = clipBox(c, boxes[i]);
        for (int y = k.ys.lo; y < k.ys.hi; ++y) {
            int ty = wrap(y, patOrg.y, tileHeight);
            for (int x = k.xs.lo; x < k.xs.hi; ++x) {
                int tx = wrap(x, patOrg.x, tileWidth);
                c.merge(x, y, clientPixel(c, tile, tileStride, tx, ty), alu, planemask);
            }
        }
    }
}

void drawMonoGlyphs(Canvas &c, const MonoGlyphRec *glyphs, int count, Pixel fg, int alu,
                    uint32_t planemask) {
    for (int i = 0; i < count; ++i) {
        const MonoGlyphRec &g = glyphs[i];
        if (g.bits != nullptr)
            drawMono(c, g.box, g.bits, 0, g.stride, fg, 0, false, alu, planemask);
    }
}

namespace {

// Bit (col, row) of a character's glyph; a missing glyph, a code past the
// font's glyph count and rows below the glyph height all read as 0 bits, so
// a box taller than the font never reads past a bitmap.
bool glyphBit(const Text8FontInfo &font, uint8_t code, int col, int row) {
    if (font.glyphs == nullptr || code >= font.nglyphs || row >= font.glyphHeight)
        return false;
    const uint8_t *bits = font.glyphs[code];
    return bits != nullptr && bitAt(rowOf(bits, row, font.glyphStride), col);
}

} // namespace

void drawFontText(Canvas &c, const BoxRec &box, const uint8_t *chars, int count,
                  const Text8FontInfo &font, Pixel fg, Pixel bg, int alu, uint32_t planemask,
                  bool transparent) {
    int gw = font.glyphWidth;
    if (count <= 0 || gw <= 0)
        return;
    // The run ends at its last cell or at the box, whichever comes first.
    int64_t runEnd = int64_t(box.x1) + int64_t(count) * gw;
    int x2 = int(std::min<int64_t>(box.x2, runEnd));
    Clip k = clipBox(c, box.x1, box.y1, x2, box.y2);
    for (int y = k.ys.lo; y < k.ys.hi; ++y)
        for (int x = k.xs.lo; x < k.xs.hi; ++x) {
            int offset = x - box.x1;
            if (glyphBit(font, chars[offset / gw], offset % gw, y - box.y1))
                c.merge(x, y, fg, alu, planemask);
            else if (!transparent)
                c.merge(x, y, bg, alu, planemask);
        }
}

void replicateArea(Canvas &c, const BoxRec &box, int cellWidth, int cellHeight,
                   uint32_t planemask) {
    if (cellWidth <= 0 || cellHeight <= 0)
        return;
    Clip k = clipBox(c, box);
    if (k.empty())
        return;
    // Snapshot the cell (only the part that can be reached) before drawing:
    // with GXcopy the cell maps onto itself, but the snapshot keeps that from
    // depending on drawing order.
    int cw = std::min(cellWidth, box.x2 - box.x1), ch = std::min(cellHeight, box.y2 - box.y1);
    std::vector<uint32_t> cell(std::size_t(cw) * std::size_t(ch));
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
            cell[std::size_t(y) * cw + x] = c.get(box.x1 + x, box.y1 + y);
    for (int y = k.ys.lo; y < k.ys.hi; ++y)
        for (int x = k.xs.lo; x < k.xs.hi; ++x) {
            int cx = (x - box.x1) % cellWidth, cy = (y - box.y1) % cellHeight;
            // A cell pixel off the canvas has no value to repeat.
            if (onCanvas(c, box.x1 + cx, box.y1 + cy))
                c.merge(x, y, cell[std::size_t(cy) * cw + cx], GXcopy, planemask);
        }
}

// ---- PrivOps slots ----

bool fillPixelAt(const Canvas &c, const GCValues &gc, int x, int y, uint32_t *value) {
    switch (gc.fillStyle) {
    case FillSolid:
        *value = gc.fg;
        return true;
    case FillTiled:
        if (gc.tile == nullptr || gc.tileWidth <= 0 || gc.tileHeight <= 0)
            return false;
        *value = clientPixel(c, gc.tile, gc.tileStride, wrap(x, gc.patOrg.x, gc.tileWidth),
                             wrap(y, gc.patOrg.y, gc.tileHeight));
        return true;
    case FillStippled:
    case FillOpaqueStippled: {
        if (gc.stipple == nullptr || gc.stippleWidth <= 0 || gc.stippleHeight <= 0)
            return false;
        int sx = wrap(x, gc.patOrg.x, gc.stippleWidth), sy = wrap(y, gc.patOrg.y, gc.stippleHeight);
        if (bitAt(rowOf(gc.stipple, sy, gc.stippleStride), sx)) {
            *value = gc.fg;
            return true;
        }
        if (gc.fillStyle == FillOpaqueStippled) {
            *value = gc.bg;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

namespace {

void fillPixel(Canvas &c, const GCValues &gc, int x, int y) {
    uint32_t v;
    if (fillPixelAt(c, gc, x, y, &v))
        c.merge(x, y, v, gc.alu, gc.planemask);
}

} // namespace

void fillRects(Canvas &c, const GCValues &gc, const BoxRec *boxes, int count) {
    for (int i = 0; i < count; ++i) {
        Clip k = clipBox(c, boxes[i]);
        for (int y = k.ys.lo; y < k.ys.hi; ++y)
            for (int x = k.xs.lo; x < k.xs.hi; ++x)
                fillPixel(c, gc, x, y);
    }
}

void fillSpans(Canvas &c, const GCValues &gc, const DDXPointRec *starts, const int *widths,
               int count) {
    for (int i = 0; i < count; ++i) {
        int x = starts[i].x, y = starts[i].y;
        int64_t end = int64_t(x) + std::max(widths[i], 0);
        Clip k = clipBox(c, x, y, int(std::min<int64_t>(end, c.width)), y + 1);
        if (k.empty())
            continue;
        for (int px = k.xs.lo; px < k.xs.hi; ++px)
            fillPixel(c, gc, px, y);
    }
}

void zeroSegs(Canvas &c, const GCValues &gc, const ZeroSegRec *segs, int count) {
    for (int i = 0; i < count; ++i) {
        const ZeroSegRec &s = segs[i];
        zeroSeg(c, gc, s.signdx, s.signdy, s.axis, s.x, s.y, s.e, s.e1, s.e2, s.len);
    }
}

namespace {

// True when a point moving by steps of sign `sign` along one coordinate can
// no longer come back into [0, size).
bool leftForGood(int v, int sign, int size) {
    return (v < 0 && sign <= 0) || (v >= size && sign >= 0);
}

} // namespace

void zeroSeg(Canvas &c, const GCValues &gc, int signdx, int signdy, int axis, int x1, int y1, int e,
             int e1, int e2, int len) {
    // The error term is kept wide: a long segment with large terms must not
    // overflow where the 32-bit sum of a real engine would simply wrap.
    int64_t err = e;
    int64_t x = x1, y = y1;
    for (int i = 0; i < len; ++i) {
        // Both coordinates only ever move one way, so once the point has left
        // the canvas in its direction of travel no further pixel can land.
        if (leftForGood(int(std::clamp<int64_t>(x, -1, c.width)), signdx, c.width) ||
            leftForGood(int(std::clamp<int64_t>(y, -1, c.height)), signdy, c.height))
            return;
        fillPixel(c, gc, int(x), int(y));
        if (err > 0) {
            x += signdx;
            y += signdy;
            err += e2;
        } else {
            if (axis == 0)
                x += signdx;
            else
                y += signdy;
            err += e1;
        }
    }
}

} // namespace ref

// ---- thin lines ----

namespace ref {

namespace {

// The dash pattern walked pixel by pixel: a list of odd length counts twice,
// on and off trading places the second time; an empty or all-zero list is
// one endless dash.
class Dasher {
  public:
    Dasher(const LineValues &v) : dashed_(v.lineStyle != 0) {
        lens_.assign(v.dashes.begin(), v.dashes.end());
        if (lens_.size() % 2)
            lens_.insert(lens_.end(), v.dashes.begin(), v.dashes.end());
        int64_t total = 0;
        for (int l : lens_)
            total += l;
        if (total == 0) {
            dashed_ = false;
            return;
        }
        int64_t skip = v.dashOffset % total;
        left_ = lens_[0];
        while (skip >= left_) {
            skip -= left_;
            advance();
        }
        left_ -= skip;
    }
    // Whether the next pixel is in a dash; moves on by one pixel.
    bool next() {
        if (!dashed_)
            return true;
        const bool on = k_ % 2 == 0;
        if (--left_ <= 0)
            advance();
        return on;
    }

  private:
    void advance() {
        do {
            k_ = (k_ + 1) % lens_.size();
            left_ = lens_[k_];
        } while (left_ == 0);
    }
    bool dashed_;
    std::vector<int> lens_;
    size_t k_ = 0;
    int64_t left_ = 0;
};

bool inClip(const LineValues &v, int x, int y) {
    for (const BoxRec &b : v.clip)
        if (x >= b.x1 && x < b.x2 && y >= b.y1 && y < b.y2)
            return true;
    return false;
}

void linePixel(Canvas &c, const LineValues &v, Dasher &d, int x, int y) {
    const bool on = d.next();
    if (!on && v.lineStyle != 2)
        return;
    if (onCanvas(c, x, y) && inClip(v, x, y))
        c.merge(x, y, on ? v.fg : v.bg, v.alu, v.planemask);
}

void segment(Canvas &c, const LineValues &v, Dasher &d, int x1, int y1, int x2, int y2) {
    thinLine(x1, y1, x2, y2, [&](int x, int y) { linePixel(c, v, d, x, y); });
}

// Screen points of a point list.
void screenPoints(const LineValues &v, int mode, const DDXPointRec *points, int count,
                  std::vector<int> *xs, std::vector<int> *ys) {
    int x = v.origin.x, y = v.origin.y;
    for (int i = 0; i < count; ++i) {
        if (mode == CoordModePrevious && i > 0) {
            x += points[i].x;
            y += points[i].y;
        } else {
            x = v.origin.x + points[i].x;
            y = v.origin.y + points[i].y;
        }
        xs->push_back(x);
        ys->push_back(y);
    }
}

} // namespace

void polylines(Canvas &c, const LineValues &v, int mode, const DDXPointRec *points, int count) {
    if (!points || count < 2)
        return;
    std::vector<int> xs, ys;
    screenPoints(v, mode, points, count, &xs, &ys);
    Dasher d(v);
    for (int i = 1; i < count; ++i)
        segment(c, v, d, xs[i - 1], ys[i - 1], xs[i], ys[i]);
    const bool closed = xs[count - 1] == xs[0] && ys[count - 1] == ys[0];
    if (v.capStyle != 0 && (!closed || count == 2))
        linePixel(c, v, d, xs[count - 1], ys[count - 1]);
}

void polySegment(Canvas &c, const LineValues &v, const xSegment *segs, int count) {
    for (int i = 0; segs && i < count; ++i) {
        const xSegment &s = segs[i];
        const int x1 = v.origin.x + s.x1, y1 = v.origin.y + s.y1;
        const int x2 = v.origin.x + s.x2, y2 = v.origin.y + s.y2;
        Dasher d(v);
        segment(c, v, d, x1, y1, x2, y2);
        if (v.capStyle != 0)
            linePixel(c, v, d, x2, y2);
    }
}

void polyRectangle(Canvas &c, const LineValues &v, const xRectangle *rects, int count) {
    for (int i = 0; rects && i < count; ++i) {
        const xRectangle &r = rects[i];
        const int x = r.x, y = r.y, x2 = x + r.width, y2 = y + r.height;
        const DDXPointRec p[5] = {{int16_t(x), int16_t(y)},
                                  {int16_t(x2), int16_t(y)},
                                  {int16_t(x2), int16_t(y2)},
                                  {int16_t(x), int16_t(y2)},
                                  {int16_t(x), int16_t(y)}};
        polylines(c, v, CoordModeOrigin, p, 5);
    }
}

void polyPoint(Canvas &c, const LineValues &v, int mode, const DDXPointRec *points, int count) {
    if (!points || count < 1)
        return;
    std::vector<int> xs, ys;
    screenPoints(v, mode, points, count, &xs, &ys);
    for (int i = 0; i < count; ++i)
        if (onCanvas(c, xs[i], ys[i]) && inClip(v, xs[i], ys[i]))
            c.merge(xs[i], ys[i], v.fg, v.alu, v.planemask);
}

void clippedSpans(Canvas &c, const LineValues &v, const DDXPointRec *starts, const int *widths,
                  int count) {
    for (int i = 0; starts && widths && i < count; ++i)
        for (const BoxRec &b : v.clip) {
            const int y = starts[i].y;
            if (y < b.y1 || y >= b.y2)
                continue;
            const Clip k = clipBox(c, std::max<int>(starts[i].x, b.x1), y,
                                   std::min<int>(starts[i].x + widths[i], b.x2), y + 1);
            if (k.empty())
                continue;
            for (int x = k.xs.lo; x < k.xs.hi; ++x)
                c.merge(x, y, v.fg, v.alu, v.planemask);
        }
}

LineValues lineValuesOf(GCPtr gc, DrawablePtr d) {
    LineValues v;
    const nfbGCPrivate *p = NFB_GC_PRIV(gc);
    v.alu = p->alu;
    v.planemask = p->planemask;
    v.fg = p->fgPixel;
    v.bg = p->bgPixel;
    v.lineStyle = static_cast<int>(gc->lineStyle);
    v.capStyle = static_cast<int>(gc->capStyle);
    v.dashes.assign(gc->dash, gc->dash ? gc->dash + gc->numInDashList : gc->dash);
    v.dashOffset = gc->dashOffset;
    v.origin = {d->x, d->y};
    v.clip.clear();
    if (const RegionRec *clip = p->compositeClip)
        v.clip.assign(REGION_RECTS(clip), REGION_RECTS(clip) + REGION_NUM_RECTS(clip));
    return v;
}

} // namespace ref
