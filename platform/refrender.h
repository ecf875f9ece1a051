// The reference renderer: an independent software implementation of what each
// slot of the server interface means, on a plain canvas. It is the oracle of
// the pixel tests and the drawing engine of the stand-in's generic routines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nfb.h"

namespace ref {

// A screen image: `bytesPerPixel` is 1, 2, 3 (packed 24-bit, low byte first) or
// 4; `depth` (8, 15, 16, 24) decides which pixel bits a plane mask can reach.
struct Canvas {
    int width = 0, height = 0;
    int bytesPerPixel = 1;
    int depth = 8;
    int pitch = 0; // bytes per row
    std::vector<uint8_t> bytes;

    Canvas() = default;
    Canvas(int width, int height, int bytesPerPixel, int depth, int pitch = 0);
    // A copy of `height` rows of `pitch` bytes at `mem`.
    static Canvas fromMemory(const uint8_t *mem, int width, int height, int bytesPerPixel,
                             int depth, int pitch);

    uint32_t pixelMask() const; // the depth's low bits all set
    uint32_t get(int x, int y) const;
    void put(int x, int y, uint32_t v);
    // Combine `src` into (x, y) under alu and plane mask, as the X functions do.
    void merge(int x, int y, uint32_t src, int alu, uint32_t planemask);
};

// X11 raster operation on whole words.
uint32_t applyAlu(int alu, uint32_t src, uint32_t dst);

// Pixels of the visible `width` x `height` that differ between the canvas and
// memory laid out like it (`pitch` bytes per row).
struct Diff {
    int count = 0;
    int firstX = -1, firstY = -1;
    uint32_t want = 0, got = 0;
    int digits = 2; // hex digits per value in describe(): two per pixel byte
    std::string describe() const;
};
Diff compare(const Canvas &want, const uint8_t *mem, int pitch);
Diff compare(const Canvas &want, const Canvas &got);

// ---- WinOps slots (screen coordinates, already clipped) ----
// Client pixel images hold 1, 2 or 4 bytes per pixel (4 when the canvas has 3 or 4).
int clientPixelBytes(const Canvas &);

void copyRect(Canvas &, const BoxRec &dst, DDXPointRec src, int alu, uint32_t planemask);
void drawSolidRects(Canvas &, const BoxRec *boxes, int count, Pixel fg, int alu,
                    uint32_t planemask);
void drawImage(Canvas &, const BoxRec &box, const uint8_t *pixels, int stride, int alu,
               uint32_t planemask);
void readImage(const Canvas &, const BoxRec &box, uint8_t *dst, int stride);
void drawMonoImage(Canvas &, const BoxRec &box, const uint8_t *bits, int startBit, int stride,
                   Pixel fg, int alu, uint32_t planemask);
void drawOpaqueMonoImage(Canvas &, const BoxRec &box, const uint8_t *bits, int startBit, int stride,
                         Pixel fg, Pixel bg, int alu, uint32_t planemask);
void drawPoints(Canvas &, const DDXPointRec *points, int count, Pixel fg, int alu,
                uint32_t planemask);
void tileRects(Canvas &, const BoxRec *boxes, int count, const uint8_t *tile, int tileStride,
               int tileWidth, int tileHeight, DDXPointRec patOrg, int alu, uint32_t planemask);
void drawMonoGlyphs(Canvas &, const MonoGlyphRec *glyphs, int count, Pixel fg, int alu,
                    uint32_t planemask);
// A run of 8-bit characters of a fixed-width font from the box's top-left corner;
// each cell is `glyphWidth` wide and as high as the box.
void drawFontText(Canvas &, const BoxRec &box, const uint8_t *chars, int count,
                  const Text8FontInfo &font, Pixel fg, Pixel bg, int alu, uint32_t planemask,
                  bool transparent);
void replicateArea(Canvas &, const BoxRec &box, int cellWidth, int cellHeight, uint32_t planemask);

// ---- PrivOps slots: the GC's fill values (nfbGCPrivate) and its pattern ----
struct GCValues {
    int fillStyle = FillSolid;
    int alu = GXcopy;
    uint32_t planemask = ~0u;
    Pixel fg = 0, bg = 0;
    DDXPointRec patOrg = {0, 0};   // screen coordinates
    const uint8_t *tile = nullptr; // client pixels
    int tileStride = 0, tileWidth = 0, tileHeight = 0;
    const uint8_t *stipple = nullptr; // 1 bit per pixel, least significant bit leftmost
    int stippleStride = 0, stippleWidth = 0, stippleHeight = 0;
};
// The fill value at (x, y) for the GC's style; false where a stipple leaves the pixel.
bool fillPixelAt(const Canvas &, const GCValues &, int x, int y, uint32_t *value);
void fillRects(Canvas &, const GCValues &, const BoxRec *boxes, int count);
void fillSpans(Canvas &, const GCValues &, const DDXPointRec *starts, const int *widths, int count);
void zeroSegs(Canvas &, const GCValues &, const ZeroSegRec *segs, int count);
void zeroSeg(Canvas &, const GCValues &, int signdx, int signdy, int axis, int x1, int y1, int e,
             int e1, int e2, int len);

} // namespace ref

#include "gcops.h"

namespace ref {

// ---- the X GC's thin-line operations (gcops.h): drawable-relative input ----

// The zero-width line rule: the line from (x1, y1) to (x2, y2) takes one
// pixel at each position along its major axis (x when |dx| >= |dy|), the one
// whose minor coordinate lies nearest the true line; a tie takes the smaller
// coordinate, so a line draws the same pixels in either direction. `fn(x, y)`
// sees the pixels from the start up to, not including, the end point.
template <class Fn> void thinLine(int x1, int y1, int x2, int y2, Fn &&fn) {
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx >= ady;
    const int64_t n = xMajor ? adx : ady, minor = xMajor ? dy : dx;
    const int64_t step = (xMajor ? dx : dy) < 0 ? -1 : 1;
    for (int64_t i = 0; i < n; ++i) {
        // Nearest to minor * i / n, ties down: ceil((2 * minor * i - n) / 2n).
        const int64_t num = 2 * minor * i - n, den = 2 * n;
        const int64_t q = num >= 0 ? (num + den - 1) / den : -((-num) / den);
        if (xMajor)
            fn(int(x1 + step * i), int(y1 + q));
        else
            fn(int(x1 + q), int(y1 + step * i));
    }
}

// A GC's line values as the frame-buffer layer and the X GC hold them.
struct LineValues {
    int alu = GXcopy;
    uint32_t planemask = ~0u;
    Pixel fg = 1, bg = 0;
    int lineStyle = 0; // 0 solid, 1 on-off dash, 2 double dash
    int capStyle = 1;  // 0 not-last
    std::vector<uint8_t> dashes = {4, 4};
    int dashOffset = 0;
    DDXPointRec origin = {0, 0}; // the drawable's origin on the screen
    // The composite clip in screen coordinates; no box draws nothing.
    std::vector<BoxRec> clip = {{0, 0, INT16_MAX, INT16_MAX}};
};

// The line values of `gc` for drawing on `d`: its pixels, styles and dashes
// as the frame-buffer layer holds them, with the layer's composite clip.
LineValues lineValuesOf(GCPtr gc, DrawablePtr d);

// Polylines in either coordinate mode: each segment without its end pixel,
// the dashes running on across the joints; the last point is drawn unless
// the cap style is not-last or the polyline closes on its first point (a
// two-point polyline always counts as open).
void polylines(Canvas &, const LineValues &, int mode, const DDXPointRec *points, int count);
// Each segment on its own, its dashes starting afresh; the end pixel unless
// the cap style is not-last.
void polySegment(Canvas &, const LineValues &, const xSegment *segs, int count);
// Each rectangle as the closed polyline around its (width + 1) x (height + 1)
// outline from its top-left corner, clockwise, its dashes starting afresh.
void polyRectangle(Canvas &, const LineValues &, const xRectangle *rects, int count);
// Points in the foreground, mode as for polylines.
void polyPoint(Canvas &, const LineValues &, int mode, const DDXPointRec *points, int count);
// Spans in screen coordinates in the foreground, through the clip.
void clippedSpans(Canvas &, const LineValues &, const DDXPointRec *starts, const int *widths,
                  int count);

} // namespace ref
