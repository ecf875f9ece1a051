// simra tiles and stipples: the pattern cell and the staging area as they
// are loaded, tiled, stippled and opaque-stippled boxes and spans of both
// kinds at depths 8, 15 and 16 over alus, plane masks and pattern origins
// compared with the reference renderer, cell-by-cell cover against copy and
// doubling, the serial-number key, and the generic routines when a pattern
// cannot be held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "simra_fixture.h"

namespace {

using namespace simratest;
using sim::Wd90c33Adapter;

std::vector<uint32_t> tilePixels(int depth, int w, int h, int seed) {
    std::vector<uint32_t> px(size_t(w * h));
    const uint32_t mask = depth == 8 ? 0xFF : depth == 15 ? 0x7FFF : 0xFFFF;
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint32_t(i) * 0x9E37u + uint32_t(seed) * 0x1F3u + 0x51u) & mask;
    return px;
}

std::vector<std::string> stippleRows(int w, int h, int seed) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++)
            r += ((x * 7 + y * 3 + seed) % 5) < 2 ? 'X' : '.';
        rows.push_back(r);
    }
    return rows;
}

// Processor writes to the window since the trace was cleared: a pattern
// written into video memory.
size_t windowWrites(harness::Screen &s) {
    size_t n = 0;
    for (const sim::Access &a : s.machine().trace())
        n += a.kind == sim::Access::MemWrite;
    return n;
}

// ---- what a load leaves in video memory ----

uint32_t vramPixel(harness::Screen &s, int x, int y) {
    const Private &p = privateOf(s);
    const uint8_t *m =
        board(s).vram()->data() + size_t(p.pitch) * size_t(y) + size_t(x) * size_t(p.bytesPerPixel);
    return p.bytesPerPixel == 2 ? uint32_t(m[0] | m[1] << 8) : m[0];
}

TEST(SimraTileLoad, SmallPowerOfTwoTilesFillThePatternCell) {
    for (int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        harness::beginCase();
        auto s = startScreen(smallConfig(depth));
        const std::vector<uint32_t> px = tilePixels(depth, 4, 2, 1);
        GCPtr gc = s->createGC({.fillStyle = FillTiled, .tile = s->tile(4, 2, px)});
        s->fillRects(gc, {{0, 0, 10, 10}});
        const Private &p = privateOf(*s);
        EXPECT_EQ(p.loadedKind, 2);
        s->drain();
        // 64 pixels one after another: each row twice across, the rows four
        // times down.
        for (int k = 0; k < 64; k++) {
            const int lin = p.patternY * s->width() + p.patternX + k;
            EXPECT_EQ(vramPixel(*s, lin % s->width(), lin / s->width()),
                      px[size_t((k / 8) % 2 * 4 + (k % 8) % 4)])
                << k;
        }
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(SimraTileLoad, OtherSizesGoToTheStagingAreaDoubled) {
    auto s = startScreen(smallConfig(8));
    const std::vector<uint32_t> px = tilePixels(8, 3, 3, 2);
    GCPtr gc = s->createGC({.fillStyle = FillTiled, .tile = s->tile(3, 3, px)});
    s->fillRects(gc, {{0, 0, 2, 2}});
    const Private &p = privateOf(*s);
    EXPECT_EQ(p.loadedKind, 1);
    s->drain();
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(vramPixel(*s, p.tileAreaX + x, p.tileAreaY + y),
                      px[size_t((y % 3) * 3 + x % 3)]);
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraTileLoad, StipplesAreHeldAsAllOnesPixels) {
    for (auto [w, h] : {std::pair{8, 4}, std::pair{5, 3}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        harness::beginCase();
        auto s = startScreen(smallConfig(16));
        const std::vector<std::string> rows = stippleRows(w, h, 3);
        GCPtr gc =
            s->createGC({.fillStyle = FillStippled, .fg = 0x1234, .stipple = s->stipple(rows)});
        s->fillRects(gc, {{0, 0, 9, 9}});
        const Private &p = privateOf(*s);
        s->drain();
        // The cell's 8 x 8 pixels, or the staging area's doubled pattern.
        const bool cell = p.loadedKind == 2;
        EXPECT_EQ(cell, w == 8);
        for (int y = 0; y < (cell ? 8 : 2 * h); y++)
            for (int x = 0; x < (cell ? 8 : 2 * w); x++) {
                const int lin = p.patternY * s->width() + p.patternX + y * 8 + x;
                const uint32_t got = cell ? vramPixel(*s, lin % s->width(), lin / s->width())
                                          : vramPixel(*s, p.tileAreaX + x, p.tileAreaY + y);
                const bool set = rows[size_t(y % h)][size_t(x % w)] == 'X';
                EXPECT_EQ(got, set ? 0xFFFFu : 0u) << x << "," << y;
            }
        EXPECT_SCREEN_SAME(*s);
    }
}

// ---- pixels ----

struct Pattern {
    int w, h;
};

class SimraTilePixels : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ = startScreen(smallConfig(GetParam()));
        s_->fillRandom(7);
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

const Pattern kPatterns[] = {{4, 2}, {8, 8}, {3, 3}, {5, 7}, {16, 2}};
const DDXPointRec kOrigins[] = {{0, 0}, {3, 0}, {-3, -1}};
const std::vector<BoxRec> kBoxes = {
    {0, 0, 2, 2}, {5, 1, 26, 13}, {30, 4, 33, 5}, {40, 0, 64, 24}, {7, 15, 7, 20}};
const std::vector<DDXPointRec> kStarts = {{1, 14}, {9, 16}, {0, 17}, {50, 23}, {3, 20}};
const std::vector<int> kWidths = {30, 1, 64, 14, 0};

uint32_t maskFor(int depth, int k) {
    const uint32_t masks8[] = {~0u, 0x3C, 0xC3};
    const uint32_t masks16[] = {~0u, 0x3FFF, 0xF00F};
    return depth == 8 ? masks8[k % 3] : masks16[k % 3];
}

TEST_P(SimraTilePixels, TiledBoxesAndSpans) {
    const int depth = GetParam();
    int k = 0;
    for (const Pattern &pat : kPatterns)
        for (const DDXPointRec &org : kOrigins)
            for (int alu : {GXcopy, GXxor, GXorInverted}) {
                SCOPED_TRACE(std::to_string(pat.w) + "x" + std::to_string(pat.h) + " origin " +
                             std::to_string(org.x) + "," + std::to_string(org.y) + " alu " +
                             std::to_string(alu));
                GCPtr gc = s().createGC(
                    {.fillStyle = FillTiled,
                     .alu = alu,
                     .planemask = maskFor(depth, k),
                     .tile = s().tile(pat.w, pat.h, tilePixels(depth, pat.w, pat.h, k)),
                     .patOrg = org});
                k++;
                s().fillRects(gc, kBoxes);
                EXPECT_SCREEN_SAME(s());
                s().fillSpans(gc, kStarts, kWidths);
                EXPECT_SCREEN_SAME(s());
            }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(SimraTilePixels, StippledAndOpaqueStippledBoxesAndSpans) {
    const int depth = GetParam();
    const uint32_t colourMask = depth == 8 ? 0xFF : depth == 15 ? 0x7FFF : 0xFFFF;
    int k = 0;
    for (const Pattern &pat : kPatterns)
        for (const DDXPointRec &org : kOrigins)
            for (int style : {FillStippled, FillOpaqueStippled}) {
                const int alu = k % 3 == 0 ? GXcopy : k % 3 == 1 ? GXxor : GXand;
                SCOPED_TRACE(std::to_string(pat.w) + "x" + std::to_string(pat.h) + " origin " +
                             std::to_string(org.x) + "," + std::to_string(org.y) + " style " +
                             std::to_string(style) + " alu " + std::to_string(alu));
                GCPtr gc = s().createGC({.fillStyle = style,
                                         .alu = alu,
                                         .planemask = maskFor(depth, k),
                                         .fg = (0x5A3Cu * uint32_t(k + 1)) & colourMask,
                                         .bg = (0x2C71u * uint32_t(k + 3)) & colourMask,
                                         .stipple = s().stipple(stippleRows(pat.w, pat.h, k)),
                                         .patOrg = org});
                k++;
                s().fillRects(gc, kBoxes);
                EXPECT_SCREEN_SAME(s());
                s().fillSpans(gc, kStarts, kWidths);
                EXPECT_SCREEN_SAME(s());
            }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(SimraTilePixels, TileRectsWithItsOwnOrigin) {
    const int depth = GetParam();
    const int bpp = depth == 8 ? 1 : 2;
    int k = 0;
    for (const Pattern &pat : kPatterns)
        for (const DDXPointRec &org : kOrigins) {
            const std::vector<uint32_t> px = tilePixels(depth, pat.w, pat.h, k);
            std::vector<uint8_t> bytes;
            for (uint32_t v : px)
                for (int b = 0; b < bpp; b++)
                    bytes.push_back(uint8_t(v >> (8 * b)));
            s().tileRects(kBoxes, bytes, pat.w * bpp, pat.w, pat.h, org, k % 2 ? GXxor : GXcopy,
                          maskFor(depth, k));
            k++;
            EXPECT_SCREEN_SAME(s());
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, SimraTilePixels, ::testing::Values(8, 15, 16), depthName);

// ---- copies against cover ----

TEST(SimraTileCover, XorCoversCellByCellCopyCopiesOnceAndDoubles) {
    auto s = startScreen(smallConfig(8));
    Wd90c33Adapter &b = board(*s);
    s->fillRandom(9);
    PixmapPtr tile = s->tile(3, 3, tilePixels(8, 3, 3, 4));
    struct Case {
        int alu;
        uint64_t commands;
    };
    // A 20 x 10 box: 7 x 4 cells, or one cell, three copies across (3, 6,
    // 12 to 20) and two down (3, 6 to 10).
    for (Case c : {Case{GXxor, 28}, Case{GXcopy, 6}}) {
        GCPtr gc = s->createGC({.fillStyle = FillTiled, .alu = c.alu, .tile = tile});
        s->fillRects(gc, {{0, 0, 2, 2}}); // the load
        b.clearLog();
        s->fillRects(gc, {{10, 5, 30, 15}});
        EXPECT_EQ(b.stats().commands, c.commands) << c.alu;
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(SimraTileCover, PatternOrigin3StartsABoxAtXZeroAtColumn5) {
    auto s = startScreen(smallConfig(8));
    GCPtr gc = s->createGC(
        {.fillStyle = FillTiled, .tile = s->tile(8, 8, tilePixels(8, 8, 8, 5)), .patOrg = {3, 0}});
    s->fillRects(gc, {{0, 0, 4, 1}});
    const Private &p = privateOf(*s);
    EXPECT_EQ(board(*s).reg(1, 2), p.patternX + 5);
    EXPECT_SCREEN_SAME(*s);
}

// ---- the key ----

TEST(SimraTileKey, LoadedOncePerPatternAndAgainAfterAChangeOrASwitch) {
    auto s = startScreen(smallConfig(16));
    PixmapPtr t1 = s->tile(8, 4, tilePixels(16, 8, 4, 1));
    PixmapPtr t2 = s->tile(8, 4, tilePixels(16, 8, 4, 2));
    GCPtr gc = s->createGC({.fillStyle = FillTiled, .tile = t1});
    s->machine().clearTrace();
    s->fillRects(gc, {{0, 0, 9, 9}});
    EXPECT_GT(windowWrites(*s), 0u);
    s->machine().clearTrace();
    s->fillRects(gc, {{10, 0, 19, 9}});
    EXPECT_EQ(windowWrites(*s), 0u) << "the same GC loads its tile once";

    s->changeGC(gc, {.fillStyle = FillTiled, .tile = t2}, 0x400);
    s->machine().clearTrace();
    s->fillRects(gc, {{20, 0, 29, 9}});
    EXPECT_GT(windowWrites(*s), 0u) << "a new tile is loaded";

    // TileRects loads under no key: every call, and the GC's next fill.
    const std::vector<uint8_t> bytes(8 * 4 * 2, 0x33);
    for (int i = 0; i < 2; i++) {
        s->machine().clearTrace();
        s->tileRects({{30, 0, 39, 9}}, bytes, 16, 8, 4, {0, 0});
        EXPECT_GT(windowWrites(*s), 0u);
    }
    s->machine().clearTrace();
    s->fillRects(gc, {{40, 0, 49, 9}});
    EXPECT_GT(windowWrites(*s), 0u);

    s->switchAway();
    s->switchBack();
    s->machine().clearTrace();
    s->fillRects(gc, {{50, 0, 59, 9}});
    EXPECT_GT(windowWrites(*s), 0u) << "the console may have overwritten the cell";
    EXPECT_SCREEN_SAME(*s);
}

// ---- patterns the screen cannot hold ----

TEST(SimraTileGeneric, TilesWiderThanTheStagingAreaGoToTheServer) {
    auto s = startScreen(smallConfig(8));
    ASSERT_EQ(privateOf(*s).tileAreaMaxWidth, 32);
    GCPtr gc =
        s->createGC({.fillStyle = FillTiled, .tile = s->tile(33, 3, tilePixels(8, 33, 3, 6))});
    s->fillRects(gc, {{0, 0, 40, 10}, {3, 12, 9, 14}});
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    server::clearGenCalls();
    s->fillSpans(gc, {{0, 20}, {5, 21}, {2, 22}}, {40, 3, 9});
    const auto calls = server::genCallsOf("genTileRects");
    ASSERT_EQ(calls.size(), 3u) << "once per span";
    for (const auto &c : calls)
        EXPECT_EQ(c.args[1], 1u) << "one one-line box";
    EXPECT_SCREEN_SAME(*s);
}

struct NoRoomCase {
    const char *name;
    int height; // on 512 KB of 1024-pixel lines
    Pattern pattern;
    bool generic;
};

class SimraTileNoRoom : public ::testing::TestWithParam<NoRoomCase> {};

TEST_P(SimraTileNoRoom, PatternsWithoutTheirAreaTakeTheGenericRoutines) {
    const NoRoomCase &c = GetParam();
    auto s = startScreen(boardConfig(512, 8, 1024, c.height));
    s->fillRandom(1);
    GCPtr tiled = s->createGC(
        {.fillStyle = FillTiled,
         .tile = s->tile(c.pattern.w, c.pattern.h, tilePixels(8, c.pattern.w, c.pattern.h, 3))});
    GCPtr stippled = s->createGC({.fillStyle = FillOpaqueStippled,
                                  .fg = 3,
                                  .bg = 4,
                                  .stipple = s->stipple(stippleRows(c.pattern.w, c.pattern.h, 1))});
    s->fillRects(tiled, {{0, 0, 20, 10}});
    s->fillRects(stippled, {{0, 20, 20, 30}});
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), c.generic ? 1u : 0u);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), c.generic ? 1u : 0u);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SimraTileNoRoom,
                         ::testing::Values(
                             // 28 spare lines: no staging area, the pattern cell still there.
                             NoRoomCase{"NoStagingSmallPattern", 483, {8, 8}, false},
                             NoRoomCase{"NoStagingLargePattern", 483, {3, 3}, true},
                             // Every line is the screen's: the pattern cell lies past the end.
                             NoRoomCase{"ExactlyPixHeight", 512, {8, 8}, true}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
