// The reference renderer against small hand-worked cases: it is the oracle of
// every pixel test, so each slot is pinned here to values worked out on paper.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "refrender.h"

namespace {

using Grid = std::vector<std::vector<uint32_t>>;

// A canvas whose pixels are the rows of `g`.
ref::Canvas canvasOf(const Grid &g, int bpp = 1, int depth = 8) {
    ref::Canvas c(int(g[0].size()), int(g.size()), bpp, depth);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            c.put(x, y, g[y][x]);
    return c;
}

Grid gridOf(const ref::Canvas &c) {
    Grid g(c.height, std::vector<uint32_t>(c.width));
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            g[y][x] = c.get(x, y);
    return g;
}

ref::Canvas filled(int w, int h, uint32_t v, int bpp = 1, int depth = 8) {
    return canvasOf(Grid(h, std::vector<uint32_t>(w, v)), bpp, depth);
}

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// ---- Canvas ----

TEST(RefCanvas, PixelMaskFollowsDepth) {
    struct Case {
        int bpp, depth;
        uint32_t mask;
    } cases[] = {{1, 8, 0xFF},      {2, 15, 0x7FFF},   {2, 16, 0xFFFF},
                 {3, 24, 0xFFFFFF}, {4, 24, 0xFFFFFF}, {4, 32, 0xFFFFFFFF}};
    for (const Case &k : cases)
        EXPECT_EQ(ref::Canvas(1, 1, k.bpp, k.depth).pixelMask(), k.mask) << k.bpp << "/" << k.depth;
}

TEST(RefCanvas, PitchDefaultsToRowBytesAndMayBeLonger) {
    ref::Canvas c(5, 3, 3, 24);
    EXPECT_EQ(c.pitch, 15);
    EXPECT_EQ(c.bytes.size(), 45u);

    ref::Canvas wide(5, 3, 2, 16, 16);
    wide.put(4, 2, 0xBEEF);
    EXPECT_EQ(wide.bytes[2 * 16 + 8], 0xEF);
    EXPECT_EQ(wide.bytes[2 * 16 + 9], 0xBE);

    EXPECT_THROW(ref::Canvas(5, 3, 2, 16, 9), std::invalid_argument);
    EXPECT_THROW(ref::Canvas(5, 3, 5, 16), std::invalid_argument);
}

TEST(RefCanvas, PackedPixelsAreLowByteFirst) {
    ref::Canvas c(3, 2, 3, 24);
    c.put(1, 1, 0xAA112233); // only three bytes fit
    const uint8_t want[] = {0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(&c.bytes[9 + 3], want, 3), 0);
    EXPECT_EQ(c.get(1, 1), 0x112233u);
    EXPECT_EQ(c.bytes[9 + 6], 0); // the neighbour is untouched
    EXPECT_EQ(c.bytes[9 + 2], 0);
}

TEST(RefCanvas, OffCanvasAccessIsIgnored) {
    ref::Canvas c = filled(2, 2, 7);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
        c.put(x, y, 1);
        c.merge(x, y, 1, GXcopy, ~0u);
        EXPECT_EQ(c.get(x, y), 0u);
    }
    EXPECT_EQ(gridOf(c), Grid({{7, 7}, {7, 7}}));
}

TEST(RefCanvas, FromMemoryKeepsPitch) {
    const uint8_t mem[] = {1, 2, 9, 3, 4, 9};
    ref::Canvas c = ref::Canvas::fromMemory(mem, 2, 2, 1, 8, 3);
    EXPECT_EQ(gridOf(c), Grid({{1, 2}, {3, 4}}));
}

// ---- Raster operations and plane masks ----

TEST(RefAlu, EveryFunctionOnOnePair) {
    // src 1100, dst 1010 in every nibble: each function's truth table in turn.
    const uint32_t src = 0xCCCCCCCC, dst = 0xAAAAAAAA;
    const uint32_t want[16] = {0x00000000, 0x88888888, 0x44444444, 0xCCCCCCCC,
                               0x22222222, 0xAAAAAAAA, 0x66666666, 0xEEEEEEEE,
                               0x11111111, 0x99999999, 0x55555555, 0xDDDDDDDD,
                               0x33333333, 0xBBBBBBBB, 0x77777777, 0xFFFFFFFF};
    for (int alu = 0; alu < 16; ++alu) {
        EXPECT_EQ(ref::applyAlu(alu, src, dst), want[alu]) << "alu " << alu;
        ref::Canvas c = filled(1, 1, 0xAA);
        c.merge(0, 0, 0xCC, alu, ~0u);
        EXPECT_EQ(c.get(0, 0), want[alu] & 0xFF) << "alu " << alu;
    }
}

TEST(RefAlu, OnlyTheLowByteCounts) {
    EXPECT_EQ(ref::applyAlu(0x100 | GXcopy, 5, 9), 5u);
    EXPECT_EQ(ref::applyAlu(0x40, 5, 9), 9u); // not a function: nothing changes
}

TEST(RefMerge, PlaneMaskAndPixelMask) {
    struct Case {
        int bpp, depth;
        uint32_t before;
        int alu;
        uint32_t src, pm, after;
    } cases[] = {
        {1, 8, 0xA5, GXset, 0, 0x0F, 0xAF},
        {1, 8, 0xA5, GXcopy, 0x3C, 0xF0, 0x35},
        {1, 8, 0xA5, GXxor, 0xFF, 0, 0xA5},
        {2, 16, 0x1234, GXcopy, 0xFFFF, 0x0FF0, 0x1FF4},
        // Bits above the depth stay as stored whatever the plane mask says.
        {2, 15, 0x8000, GXclear, 0, ~0u, 0x8000},
        {2, 15, 0x0000, GXset, 0, ~0u, 0x7FFF},
        {3, 24, 0x123456, GXinvert, 0, 0xFF00FF, 0xED34A9},
        {4, 24, 0xAB000000, GXcopy, 0x00112233, ~0u, 0xAB112233},
        {4, 24, 0xAB123456, GXclear, 0, ~0u, 0xAB000000},
        {4, 32, 0xAB123456, GXclear, 0, ~0u, 0},
    };
    for (const Case &k : cases) {
        ref::Canvas c(1, 1, k.bpp, k.depth);
        c.put(0, 0, k.before);
        c.merge(0, 0, k.src, k.alu, k.pm);
        EXPECT_EQ(c.get(0, 0), k.after) << std::hex << k.before << " alu " << k.alu;
    }
}

// ---- CopyRect ----

TEST(RefCopyRect, OverlapInEveryDirection) {
    // Pixel values name their original position, so every result pixel shows
    // where it was read from.
    Grid start(6, std::vector<uint32_t>(6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            start[y][x] = 10 * y + x;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            ref::Canvas c = canvasOf(start);
            DDXPointRec src = {int16_t(2 + dx), int16_t(2 + dy)};
            ref::copyRect(c, box(2, 2, 5, 5), src, GXcopy, ~0u);
            Grid want = start;
            for (int y = 2; y < 5; ++y)
                for (int x = 2; x < 5; ++x)
                    want[y][x] = start[y + dy][x + dx];
            EXPECT_EQ(gridOf(c), want) << "shift " << dx << "," << dy;
        }
}

TEST(RefCopyRect, HandWorkedRowCopies) {
    ref::Canvas right = canvasOf({{1, 2, 3, 4, 5}});
    ref::copyRect(right, box(1, 0, 4, 1), {0, 0}, GXcopy, ~0u);
    EXPECT_EQ(gridOf(right), Grid({{1, 1, 2, 3, 5}}));

    ref::Canvas left = canvasOf({{1, 2, 3, 4, 5}});
    ref::copyRect(left, box(0, 0, 3, 1), {2, 0}, GXcopy, ~0u);
    EXPECT_EQ(gridOf(left), Grid({{3, 4, 5, 4, 5}}));

    ref::Canvas x = canvasOf({{0x0F, 0xF0, 0xFF}});
    ref::copyRect(x, box(1, 0, 3, 1), {0, 0}, GXxor, 0x3C);
    EXPECT_EQ(gridOf(x), Grid({{0x0F, 0xFC, 0xCF}}));
}

TEST(RefCopyRect, OffCanvasSourceOrDestinationIsSkipped) {
    ref::Canvas c = canvasOf({{1, 2, 3}, {4, 5, 6}});
    // Source column -1 does not exist: its destination pixel keeps its value.
    ref::copyRect(c, box(0, 0, 3, 1), {-1, 1}, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{1, 4, 5}, {4, 5, 6}}));
    ref::copyRect(c, box(2, 1, 5, 3), {0, 0}, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{1, 4, 5}, {4, 5, 1}}));
}

// ---- Solid rectangles and points ----

TEST(RefSolid, RectsAndPoints) {
    ref::Canvas c = filled(4, 3, 0);
    BoxRec boxes[] = {box(1, 0, 3, 2), box(2, 2, 2, 3), box(3, 1, 9, 9), box(0, 0, 1, 0)};
    ref::drawSolidRects(c, boxes, 4, 5, GXor, ~0u);
    DDXPointRec pts[] = {{0, 2}, {-1, 0}, {4, 0}, {1, 1}};
    ref::drawPoints(c, pts, 4, 0x30, GXxor, 0xF0);
    EXPECT_EQ(gridOf(c), Grid({{0, 5, 5, 0}, {0, 0x35, 5, 5}, {0x30, 0, 0, 5}}));
}

// ---- Pixel images ----

TEST(RefImage, ClientPixelSizes) {
    EXPECT_EQ(ref::clientPixelBytes(ref::Canvas(1, 1, 1, 8)), 1);
    EXPECT_EQ(ref::clientPixelBytes(ref::Canvas(1, 1, 2, 16)), 2);
    EXPECT_EQ(ref::clientPixelBytes(ref::Canvas(1, 1, 3, 24)), 4);
    EXPECT_EQ(ref::clientPixelBytes(ref::Canvas(1, 1, 4, 24)), 4);
}

TEST(RefImage, DrawAndReadWithStride) {
    ref::Canvas c = filled(4, 3, 0x1111, 2, 16);
    // Two rows of two 16-bit pixels, rows 6 bytes apart.
    const uint8_t img[] = {0x01, 0xA0, 0x02, 0xB0, 0xEE, 0xEE, 0x03, 0xC0, 0x04, 0xD0};
    ref::drawImage(c, box(1, 1, 3, 3), img, 6, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{0x1111, 0x1111, 0x1111, 0x1111},
                               {0x1111, 0xA001, 0xB002, 0x1111},
                               {0x1111, 0xC003, 0xD004, 0x1111}}));

    uint8_t back[10];
    std::memset(back, 0x55, sizeof back);
    ref::readImage(c, box(1, 1, 3, 3), back, 6);
    const uint8_t want[] = {0x01, 0xA0, 0x02, 0xB0, 0x55, 0x55, 0x03, 0xC0, 0x04, 0xD0};
    EXPECT_EQ(std::memcmp(back, want, sizeof want), 0);
}

TEST(RefImage, PackedPixelsUseLowThreeClientBytes) {
    ref::Canvas c(2, 1, 3, 24);
    const uint32_t img[] = {0xFF332211, 0x00665544};
    ref::drawImage(c, box(0, 0, 2, 1), reinterpret_cast<const uint8_t *>(img), 8, GXcopy, ~0u);
    const uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(std::memcmp(c.bytes.data(), bytes, 6), 0);

    uint32_t back[2] = {0xAAAAAAAA, 0xBBBBBBBB};
    ref::readImage(c, box(0, 0, 2, 1), reinterpret_cast<uint8_t *>(back), 8);
    EXPECT_EQ(back[0], 0xAA332211u); // the fourth byte is left as it was
    EXPECT_EQ(back[1], 0xBB665544u);
}

TEST(RefImage, FourBytePixelsAtDepth24KeepTheirTopByte) {
    ref::Canvas c(1, 1, 4, 24);
    c.put(0, 0, 0x7F000000);
    const uint32_t img = 0xFF123456;
    ref::drawImage(c, box(0, 0, 1, 1), reinterpret_cast<const uint8_t *>(&img), 4, GXcopy, ~0u);
    EXPECT_EQ(c.get(0, 0), 0x7F123456u);
    uint32_t back = 0;
    ref::readImage(c, box(0, 0, 1, 1), reinterpret_cast<uint8_t *>(&back), 4);
    EXPECT_EQ(back, 0x7F123456u);
}

TEST(RefImage, ClippedImageKeepsItsOrigin) {
    ref::Canvas c = filled(2, 2, 0);
    const uint8_t img[] = {1, 2, 3, 4, 5, 6};
    ref::drawImage(c, box(-1, -1, 2, 1), img, 3, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{5, 6}, {0, 0}}));
    uint8_t back[6] = {};
    ref::readImage(c, box(1, -1, 3, 1), back, 2);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 4), std::vector<uint8_t>({0, 0, 6, 0}));
}

// ---- Bitmaps ----

// Row bits for starting bit 13: byte 0 is skipped whole, byte 1 gives bits
// 13..15 (its bits 5..7), byte 2 the rest. 1 bits at pixels 0, 2, 3, 5 on
// row 0 and at pixel 1 on row 1.
const uint8_t kBits13[] = {0xFF, 0xA0, 0x05, 0xFF, //
                           0xFF, 0x40, 0x00, 0xFF};

TEST(RefMono, StartingBitLandsAtX1) {
    ref::Canvas t = filled(9, 2, 0x11);
    ref::drawMonoImage(t, box(2, 0, 8, 2), kBits13, 13, 4, 0xF0, GXcopy, ~0u);
    EXPECT_EQ(gridOf(t), Grid({{0x11, 0x11, 0xF0, 0x11, 0xF0, 0xF0, 0x11, 0xF0, 0x11},
                               {0x11, 0x11, 0x11, 0xF0, 0x11, 0x11, 0x11, 0x11, 0x11}}));

    ref::Canvas o = filled(9, 2, 0x11);
    ref::drawOpaqueMonoImage(o, box(2, 0, 8, 2), kBits13, 13, 4, 0xF0, 0x0B, GXcopy, ~0u);
    EXPECT_EQ(gridOf(o), Grid({{0x11, 0x11, 0xF0, 0x0B, 0xF0, 0xF0, 0x0B, 0xF0, 0x11},
                               {0x11, 0x11, 0x0B, 0xF0, 0x0B, 0x0B, 0x0B, 0x0B, 0x11}}));
}

TEST(RefMono, AluAndClipping) {
    const uint8_t bits[] = {0x05}; // pixels 0 and 2
    ref::Canvas c = filled(2, 1, 0x0F);
    ref::drawOpaqueMonoImage(c, box(-1, 0, 3, 1), bits, 0, 1, 0xFF, 0x01, GXxor, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{0x0E, 0xF0}}));
    ref::drawMonoImage(c, box(0, 0, 2, 0), bits, 0, 1, 0x00, GXcopy, ~0u); // empty box
    EXPECT_EQ(gridOf(c), Grid({{0x0E, 0xF0}}));
}

TEST(RefMono, Glyphs) {
    const uint8_t g1[] = {0x01, 0x02, 0x03, 0x00}; // 2 rows of 10 bits, stride 2
    const uint8_t g2[] = {0x03};
    MonoGlyphRec glyphs[] = {
        {box(0, 0, 10, 2), 2, const_cast<uint8_t *>(g1), 1},
        {box(3, 2, 5, 3), 1, const_cast<uint8_t *>(g2), 2},
        {box(0, 2, 2, 3), 1, nullptr, 3},
    };
    ref::Canvas c = filled(11, 3, 0);
    ref::drawMonoGlyphs(c, glyphs, 3, 7, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{7, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0},
                               {7, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                               {0, 0, 0, 7, 7, 0, 0, 0, 0, 0, 0}}));
}

// ---- Tiles ----

const uint8_t kTile[] = {1, 2, 3, 0,  //
                         4, 5, 6, 0}; // 3 x 2, rows 4 bytes apart

TEST(RefTile, PatternOriginAnywhere) {
    struct Case {
        DDXPointRec org;
        Grid want;
    } cases[] = {
        {{0, 0}, {{1, 2, 3, 1, 2}, {4, 5, 6, 4, 5}, {1, 2, 3, 1, 2}}},
        {{-1, -4}, {{2, 3, 1, 2, 3}, {5, 6, 4, 5, 6}, {2, 3, 1, 2, 3}}},
        {{4, 1}, {{6, 4, 5, 6, 4}, {3, 1, 2, 3, 1}, {6, 4, 5, 6, 4}}},
    };
    for (const Case &k : cases) {
        ref::Canvas c = filled(5, 3, 0);
        BoxRec b = box(0, 0, 5, 3);
        ref::tileRects(c, &b, 1, kTile, 4, 3, 2, k.org, GXcopy, ~0u);
        EXPECT_EQ(gridOf(c), k.want) << k.org.x << "," << k.org.y;
    }
}

TEST(RefTile, PackedCanvasTakesFourByteTilePixels) {
    const uint32_t tile[] = {0xFF010203, 0xFF040506};
    ref::Canvas c(3, 1, 3, 24);
    BoxRec b = box(0, 0, 3, 1);
    ref::tileRects(c, &b, 1, reinterpret_cast<const uint8_t *>(tile), 8, 2, 1, {1, 0}, GXcopy, ~0u);
    EXPECT_EQ(gridOf(c), Grid({{0x040506, 0x010203, 0x040506}}));
}

// ---- Font text ----

struct RefFontText : ::testing::Test {
    // 3 x 2 glyphs: code 1 is a top bar, code 2 a left column, code 0 missing.
    uint8_t bar[2] = {0x07, 0x00};
    uint8_t col[2] = {0x01, 0x01};
    uint8_t *glyphs[3] = {nullptr, bar, col};
    Text8FontInfo font = {1, glyphs, 3, 3, 2, 1};
};

TEST_F(RefFontText, TransparentAndOpaque) {
    const uint8_t chars[] = {1, 0, 2};
    ref::Canvas t = filled(10, 2, 9);
    ref::drawFontText(t, box(1, 0, 10, 2), chars, 3, font, 7, 4, GXcopy, ~0u, true);
    EXPECT_EQ(gridOf(t), Grid({{9, 7, 7, 7, 9, 9, 9, 7, 9, 9}, {9, 9, 9, 9, 9, 9, 9, 7, 9, 9}}));

    ref::Canvas o = filled(10, 2, 9);
    ref::drawFontText(o, box(1, 0, 10, 2), chars, 3, font, 7, 4, GXcopy, ~0u, false);
    EXPECT_EQ(gridOf(o), Grid({{9, 7, 7, 7, 4, 4, 4, 7, 4, 4}, {9, 4, 4, 4, 4, 4, 4, 7, 4, 4}}));
}

TEST_F(RefFontText, NothingToDrawOrNothingToRead) {
    const uint8_t chars[] = {1, 200};
    ref::Canvas c = filled(7, 3, 9);
    ref::drawFontText(c, box(0, 0, 6, 2), chars, 0, font, 7, 4, GXcopy, ~0u, false);
    EXPECT_EQ(gridOf(c), gridOf(filled(7, 3, 9)));

    // A code past the glyph count and rows below the glyph height read as 0
    // bits; the run stops at its last cell even when the box is wider.
    ref::drawFontText(c, box(0, 0, 7, 3), chars, 2, font, 7, 4, GXcopy, ~0u, false);
    EXPECT_EQ(gridOf(c),
              Grid({{7, 7, 7, 4, 4, 4, 9}, {4, 4, 4, 4, 4, 4, 9}, {4, 4, 4, 4, 4, 4, 9}}));
}

// ---- Area replication ----

TEST(RefReplicate, CellRepeatsOverTheBox) {
    ref::Canvas c =
        canvasOf({{0, 0, 0, 0, 0, 0}, {0, 1, 2, 0, 0, 0}, {0, 3, 4, 0, 0, 0}, {0, 0, 0, 0, 0, 0}});
    ref::replicateArea(c, box(1, 1, 6, 4), 2, 2, ~0u);
    EXPECT_EQ(
        gridOf(c),
        Grid({{0, 0, 0, 0, 0, 0}, {0, 1, 2, 1, 2, 1}, {0, 3, 4, 3, 4, 3}, {0, 1, 2, 1, 2, 1}}));

    ref::Canvas m = canvasOf({{0x0F, 0xF0, 0xAA}});
    ref::replicateArea(m, box(0, 0, 3, 1), 1, 1, 0x3C);
    EXPECT_EQ(gridOf(m), Grid({{0x0F, 0xCC, 0x8E}}));
}

// ---- GC fills ----

const uint8_t kStipple[] = {0x05, 0x02}; // 3 x 2: row 0 "X.X", row 1 ".X."

ref::GCValues gcOf(int style) {
    ref::GCValues gc;
    gc.fillStyle = style;
    gc.fg = 7;
    gc.bg = 4;
    gc.tile = kTile;
    gc.tileStride = 4;
    gc.tileWidth = 3;
    gc.tileHeight = 2;
    gc.stipple = kStipple;
    gc.stippleStride = 1;
    gc.stippleWidth = 3;
    gc.stippleHeight = 2;
    gc.patOrg = {-1, 1};
    return gc;
}

TEST(RefFill, PixelValuePerStyle) {
    // With the origin at (-1, 1), pixel (0, 0) reads pattern (1, 1) and
    // pixel (1, 1) reads pattern (2, 0).
    struct Case {
        int style, x, y;
        bool drawn;
        uint32_t value;
    } cases[] = {
        {FillSolid, 0, 0, true, 7},          {FillTiled, 0, 0, true, 5},
        {FillTiled, 1, 1, true, 3},          {FillStippled, 0, 0, true, 7},
        {FillStippled, 1, 0, false, 0},      {FillOpaqueStippled, 1, 0, true, 4},
        {FillOpaqueStippled, 1, 1, true, 7},
    };
    ref::Canvas c(4, 4, 1, 8);
    for (const Case &k : cases) {
        uint32_t v = 0;
        EXPECT_EQ(ref::fillPixelAt(c, gcOf(k.style), k.x, k.y, &v), k.drawn)
            << k.style << " at " << k.x << "," << k.y;
        if (k.drawn) {
            EXPECT_EQ(v, k.value) << k.style << " at " << k.x << "," << k.y;
        }
    }
}

TEST(RefFill, RectsAndSpansFollowTheStyle) {
    ref::GCValues gc = gcOf(FillStippled);
    gc.alu = GXxor;
    gc.planemask = 0x0F;
    gc.fg = 0xFF;
    ref::Canvas c = filled(5, 2, 0x30);
    BoxRec b = box(0, 0, 5, 2);
    ref::fillRects(c, gc, &b, 1);
    // Row 0 reads stipple row 1 ".X." from x = -1; row 1 reads "X.X".
    EXPECT_EQ(gridOf(c), Grid({{0x3F, 0x30, 0x30, 0x3F, 0x30}, {0x30, 0x3F, 0x3F, 0x30, 0x3F}}));

    ref::Canvas s = filled(5, 3, 0);
    ref::GCValues solid = gcOf(FillSolid);
    DDXPointRec starts[] = {{1, 0}, {3, 1}, {-2, 2}, {0, 5}, {0, 1}};
    int widths[] = {2, 9, 3, 4, -3};
    ref::fillSpans(s, solid, starts, widths, 5);
    EXPECT_EQ(gridOf(s), Grid({{0, 7, 7, 0, 0}, {0, 0, 0, 7, 7}, {7, 0, 0, 0, 0}}));
}

// ---- Thin segments ----

using Points = std::vector<std::pair<int, int>>;

Points drawnPixels(const ref::Canvas &c) {
    Points p;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (c.get(x, y) != 0)
                p.push_back({x, y});
    return p;
}

TEST(RefZeroSeg, ErrorTermWalk) {
    struct Case {
        int signdx, signdy, axis, x, y, e, e1, e2, len;
        Points want;
    } cases[] = {
        {1, 1, 0, 1, 1, -1, 2, -4, 3, {{1, 1}, {2, 1}, {3, 2}}},
        {1, 1, 0, 1, 1, -1, 2, -4, 1, {{1, 1}}},
        {1, 1, 0, 1, 1, 0, 2, -4, 2, {{1, 1}, {2, 1}}}, // e == 0: axial first
        {1, 1, 0, 1, 1, 1, 2, -4, 2, {{1, 1}, {2, 2}}},
        {-1, 1, 1, 4, 0, -1, 2, -4, 4, {{4, 0}, {4, 1}, {3, 2}, {3, 3}}},
        {1, -1, 0, 0, 3, 5, 0, 0, 3, {{1, 2}, {0, 3}, {2, 1}}},
        {1, 1, 0, 1, 1, -1, 2, -4, 0, {}},
    };
    for (const Case &k : cases) {
        ref::Canvas c = filled(5, 4, 0);
        ref::zeroSeg(c, gcOf(FillSolid), k.signdx, k.signdy, k.axis, k.x, k.y, k.e, k.e1, k.e2,
                     k.len);
        Points want = k.want;
        std::sort(want.begin(), want.end(), [](auto a, auto b) {
            return a.second != b.second ? a.second < b.second : a.first < b.first;
        });
        EXPECT_EQ(drawnPixels(c), want) << "seg from " << k.x << "," << k.y << " len " << k.len;

        ZeroSegRec rec = {int16_t(k.x),
                          int16_t(k.y),
                          int16_t(k.signdx),
                          int16_t(k.signdy),
                          int16_t(k.axis),
                          int16_t(k.len),
                          k.e,
                          k.e1,
                          k.e2};
        ref::Canvas l = filled(5, 4, 0);
        ref::zeroSegs(l, gcOf(FillSolid), &rec, 1);
        EXPECT_EQ(gridOf(l), gridOf(c));
    }
}

TEST(RefZeroSeg, OffCanvasAndExtremeTerms) {
    ref::Canvas c = filled(3, 3, 0);
    // Enters the canvas from the left, leaves it at the right.
    ref::zeroSeg(c, gcOf(FillSolid), 1, 1, 0, -2, 1, -1, 0, 0, 100000);
    EXPECT_EQ(drawnPixels(c), Points({{0, 1}, {1, 1}, {2, 1}}));
    // Error terms whose sum would overflow 32 bits.
    ref::Canvas d = filled(3, 3, 0);
    ref::zeroSeg(d, gcOf(FillSolid), 1, 1, 0, 0, 0, 0, INT_MAX, INT_MAX, 3);
    EXPECT_EQ(drawnPixels(d), Points({{0, 0}, {1, 0}, {2, 1}}));
    // Far away and heading further: nothing, and no run over the length.
    ref::zeroSeg(d, gcOf(FillSolid), -1, -1, 1, -5, -5, 0, 1, -1, INT_MAX);
    EXPECT_EQ(drawnPixels(d), Points({{0, 0}, {1, 0}, {2, 1}}));
}

// ---- Comparison ----

TEST(RefCompare, CountsFirstAndDescribes) {
    ref::Canvas want = canvasOf({{0, 0, 0}, {0x12, 0x12, 0}});
    const uint8_t mem[] = {0, 0, 0, 0xEE, 0, 0, 0, 0xEE};
    ref::Diff d = ref::compare(want, mem, 4);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.firstX, 0);
    EXPECT_EQ(d.firstY, 1);
    EXPECT_EQ(d.describe(), "2 pixels differ, first at (0,1): want 0x12 got 0x00");

    ref::Canvas got = canvasOf({{0, 0, 0}, {0x12, 0x12, 1}});
    EXPECT_EQ(ref::compare(want, got).describe(),
              "1 pixel differs, first at (2,1): want 0x00 got 0x01");
    EXPECT_EQ(ref::compare(want, want).count, 0);
    EXPECT_EQ(ref::compare(want, want).describe(), "no pixels differ");
}

TEST(RefCompare, OnlyPixelBitsCount) {
    ref::Canvas want(2, 1, 2, 15);
    want.put(0, 0, 0x1234);
    ref::Canvas got = want;
    got.put(0, 0, 0x9234); // the bit above the depth
    EXPECT_EQ(ref::compare(want, got).count, 0);
    got.put(1, 0, 0x0001);
    EXPECT_EQ(ref::compare(want, got).describe(),
              "1 pixel differs, first at (1,0): want 0x0000 got 0x0001");

    // A canvas too small differs wherever it has no pixel, even one of 0.
    ref::Canvas small(1, 1, 2, 15);
    small.put(0, 0, 0x1234);
    ref::Diff d = ref::compare(want, small);
    EXPECT_EQ(d.count, 1);
    EXPECT_EQ(d.firstX, 1);
}

} // namespace
