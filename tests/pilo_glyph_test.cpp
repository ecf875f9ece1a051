// pilo glyphs: the cache in bit planes 1 to 7 of the GlyphArea (3 planes at
// depth 4), each glyph written into a cell once and then drawn by one
// plane expansion (two at depth 16); glyphs no plane can take drawn from
// their bitmaps. Pixels are compared with the reference renderer; the
// cache's choices are read from the engine (the cell a blit reads, the
// plane its read mask picks) and from the driver's buckets.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

constexpr uint16_t kBlit = 0xC0F3;

// The driver's bucket records, as the cache keeps them.
struct Entry {
    uint32_t inUse, planeMask;
    uintptr_t font;
    int32_t glyph;
    int16_t x, y;
};
struct Bucket {
    Entry *entries;
    int32_t capacity;
};
struct Cell {
    uintptr_t font;
    int32_t glyph;
    int16_t x, y;
    Cell *next;
};
struct PlaneList {
    Cell *used, *free;
};

// Glyph bitmaps of exactly the bytes their rows hold (a read past them is
// caught), boxes and keys.
struct Glyphs {
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> recs;
    void add(int x, int y, int w, int h, int32_t key, uint32_t seed, int pad = 0) {
        const int rowBytes = (w + 7) / 8, stride = rowBytes + pad;
        std::vector<uint8_t> b(h > 0 ? size_t(stride) * size_t(h - 1) + size_t(rowBytes) : 1);
        for (size_t i = 0; i < b.size(); i++)
            b[i] = uint8_t((i * 2654435761u + seed * 97u) >> 11);
        bitmaps.push_back(std::move(b));
        recs.push_back({{int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + h)},
                        stride > 0 ? stride : 1,
                        nullptr,
                        key});
        for (size_t i = 0; i < recs.size(); i++)
            recs[i].bits = bitmaps[i].data();
    }
    // The same glyphs (keys and bitmaps) at other places.
    Glyphs movedBy(int dx, int dy) const {
        Glyphs g = *this;
        for (size_t i = 0; i < g.recs.size(); i++) {
            BoxRec &b = g.recs[i].box;
            b = {int16_t(b.x1 + dx), int16_t(b.y1 + dy), int16_t(b.x2 + dx), int16_t(b.y2 + dy)};
            if (i < g.bitmaps.size())
                g.recs[i].bits = g.bitmaps[i].data();
        }
        return g;
    }
};

// Font privates the cache keys on (only their addresses count).
nfbFontPrivate gFontA, gFontB, gFontC;

std::vector<uint32_t> masksOf(int depth) {
    switch (depth) {
    case 4:
        return {~0u, 0x5, 0xA};
    case 8:
        return {~0u, 0x3C, 0xC3};
    default:
        return {~0u, 0x00FF, 0xFF00, 0x0FF0};
    }
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 16 ? (c & 0xFFFF) : depth == 8 ? (c & 0xFF) : (c & 0xF);
}

class PiloGlyphBase {
  protected:
    void start(const graf::Config &c) {
        s_ = std::make_unique<harness::Screen>(
            "pilo", c, harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        s_->fillRandom(3);
        server::clearGenCalls();
    }
    harness::Screen &s() { return *s_; }
    sim::S3EngineCore &engine() { return board(s()).engine(); }
    // Host-bitmap expansions (glyphs written into cells or drawn from their
    // bitmaps) and blits since the last clearLog().
    size_t expansions() {
        const std::vector<uint16_t> &l = engine().log();
        return size_t(std::count_if(l.begin(), l.end(),
                                    [](uint16_t w) { return w == 0x53F3 || w == 0x51F3; }));
    }
    size_t blits() {
        const std::vector<uint16_t> &l = engine().log();
        return size_t(std::count(l.begin(), l.end(), kBlit));
    }
    // The cell and plane the last expansion blit read.
    std::pair<std::pair<int, int>, uint32_t> lastCell() {
        const sim::S3Regs &r = engine().regs();
        return {{r.curX, r.curY}, r.readMask & 0xFF};
    }
    void draw(const Glyphs &g, Pixel fg, int alu = GXcopy, uint32_t pm = ~0u,
              nfbFontPrivate *font = &gFontA) {
        s().drawMonoGlyphs(g.recs, fg, alu, pm, font);
    }
    const Bucket &bucketOf(uintptr_t font, int32_t glyph) {
        const Private &p = privateOf(s());
        Bucket **table = static_cast<Bucket **>(p.glBuckets);
        return *table[(font + uintptr_t(uint32_t(glyph))) & uintptr_t(p.glBucketCount - 1)];
    }
    // Cells on plane row `row`'s used and free lists.
    std::pair<int, int> cellsOf(int row) {
        const Private &p = privateOf(s());
        const PlaneList *pl = static_cast<PlaneList **>(p.glPlaneLists)[row];
        int used = 0, free = 0;
        for (const Cell *c = pl->used; c; c = c->next)
            used++;
        for (const Cell *c = pl->free; c; c = c->next)
            free++;
        return {used, free};
    }
    void clearFont(nfbFontPrivate *font) {
        s().call("ClearFont", [&] { s().nfb()->ClearFont(font, s().screen()); });
    }
    std::unique_ptr<harness::Screen> s_;
};

class PiloGlyph : public PiloGlyphBase, public testing::TestWithParam<int> {
  protected:
    void SetUp() override { start(smallConfig(GetParam(), 128, 48)); }
    // Glyphs of every plane's size and some no plane takes (wider than 20,
    // taller than 30, or at depth 4 larger than 12 x 15), with padded and
    // odd strides.
    Glyphs mixedSet() {
        Glyphs g;
        const int sizes[][2] = {{8, 13},  {5, 7},   {12, 13}, {12, 15}, {13, 16}, {16, 20},
                                {16, 24}, {20, 30}, {1, 1},   {21, 9},  {9, 31}};
        int x = 0, k = 0;
        for (auto [w, h] : sizes) {
            g.add(x, (k * 3) % 8, w, h, 100 + k, uint32_t(k), k % 3);
            x += w - 3; // neighbours overlap
            k++;
        }
        return g;
    }
    size_t cacheable(const Glyphs &g) {
        const int depth = GetParam();
        size_t n = 0;
        for (const MonoGlyphRec &r : g.recs) {
            const int w = r.box.x2 - r.box.x1, h = r.box.y2 - r.box.y1;
            n += depth == 4 ? (w <= 12 && h <= 15) : (w <= 20 && h <= 30);
        }
        return n;
    }
};

// The first call writes each cacheable glyph into a cell and expands it
// from there; later calls only expand, under every alu and mask, at other
// places; the others come from their bitmaps every time.
TEST_P(PiloGlyph, CachedAndUncachedGlyphsOverAlusAndMasks) {
    const int depth = GetParam();
    const Glyphs set = mixedSet();
    const size_t n = set.recs.size(), cached = cacheable(set);
    const size_t halves = depth == 16 ? 2 : 1;
    engine().clearLog();
    draw(set, colourOf(depth, 0));
    EXPECT_SCREEN_SAME(s());
    EXPECT_EQ(expansions(), halves * n);
    EXPECT_EQ(blits(), halves * cached);

    const std::vector<uint32_t> masks = masksOf(depth);
    for (int alu = 0; alu < 16; alu++) {
        const uint32_t pm = masks[size_t(alu) % masks.size()];
        SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
        engine().clearLog();
        draw(set.movedBy(alu % 5, alu % 7), colourOf(depth, alu + 1), alu, pm);
        EXPECT_SCREEN_SAME(s());
        EXPECT_EQ(expansions(), halves * (n - cached));
        EXPECT_EQ(blits(), halves * cached);
    }
    EXPECT_TRUE(server::genCalls().empty());
}

// The same keys in another font are other glyphs; an empty glyph (no width
// or no height) is neither drawn nor cached, and the glyphs after it are.
TEST_P(PiloGlyph, FontsApartAndEmptyGlyphs) {
    const int depth = GetParam();
    Glyphs g;
    g.add(2, 2, 8, 10, 7, 1);
    g.add(20, 2, 0, 10, 8, 2);
    g.add(30, 2, 6, 0, 9, 3);
    g.add(40, 2, 7, 9, 10, 4);
    engine().clearLog();
    draw(g, colourOf(depth, 1), GXxor, ~0u, &gFontA);
    EXPECT_SCREEN_SAME(s());
    const size_t halves = depth == 16 ? 2 : 1;
    EXPECT_EQ(expansions(), 2 * halves);
    EXPECT_EQ(blits(), 2 * halves);
    // Font B: the same keys, new glyphs.
    engine().clearLog();
    draw(g.movedBy(3, 20), colourOf(depth, 2), GXcopy, ~0u, &gFontB);
    EXPECT_SCREEN_SAME(s());
    EXPECT_EQ(expansions(), 2 * halves);
    // The empty ones now with pixels: not found in the cache, written.
    Glyphs full;
    full.add(20, 2, 5, 10, 8, 2);
    full.add(30, 2, 6, 4, 9, 3);
    engine().clearLog();
    draw(full, colourOf(depth, 3), GXcopy, ~0u, &gFontA);
    EXPECT_SCREEN_SAME(s());
    EXPECT_EQ(expansions(), 2 * halves);
    // Without a font nothing tells the glyphs apart: two calls with the same
    // keys and other bits both draw from the bitmaps, never from a cell.
    for (uint32_t seed : {11u, 12u}) {
        Glyphs loose;
        loose.add(2, 30, 8, 10, 7, seed);
        loose.add(40, 30, 7, 9, 10, seed + 5);
        engine().clearLog();
        draw(loose, colourOf(depth, 4), GXxor, ~0u, nullptr);
        EXPECT_SCREEN_SAME(s());
        EXPECT_EQ(expansions(), 2 * halves);
        EXPECT_EQ(blits(), 0u);
    }
}

// The console switch gives the cells back before the mode set clears video
// memory: the glyphs are written again afterwards, not expanded from
// cleared cells.
TEST_P(PiloGlyph, CachedAnewAfterAConsoleSwitch) {
    const int depth = GetParam();
    const Glyphs set = mixedSet();
    const size_t n = set.recs.size(), cached = cacheable(set);
    const size_t halves = depth == 16 ? 2 : 1;
    draw(set, colourOf(depth, 1));
    EXPECT_SCREEN_SAME(s());
    s().switchAway();
    s().switchBack();
    const ref::Canvas cleared = s().readScreen();
    for (int y = 0; y < s().height(); y++)
        for (int x = 0; x < s().width(); x++)
            ASSERT_EQ(cleared.get(x, y), 0u) << x << ", " << y;
    s().syncMirror();
    for (int round = 0; round < 2; round++) {
        engine().clearLog();
        draw(set.movedBy(round, 2 * round), colourOf(depth, 2 + round), GXor);
        EXPECT_SCREEN_SAME(s());
        EXPECT_EQ(expansions(), halves * (round == 0 ? n : n - cached)) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PiloGlyph, testing::Values(4, 8, 16), depthName);

class PiloGlyphCache : public PiloGlyphBase, public testing::Test {};

// Depth 4 has planes 0x02, 0x04 and 0x08 (12 x 15 the largest cell): a
// 13 x 16 glyph is drawn from its bitmap every time.
TEST_F(PiloGlyphCache, Depth4HasThreePlanes) {
    start(smallConfig(4, 64, 24));
    EXPECT_EQ(privateOf(s()).glPlaneCount, 3);
    Glyphs big, largest;
    big.add(3, 2, 13, 16, 1, 1);
    largest.add(30, 2, 12, 15, 2, 2);
    for (int round = 0; round < 2; round++) {
        engine().clearLog();
        draw(big, 0x9, GXcopy);
        EXPECT_EQ(expansions(), 1u);
        EXPECT_EQ(blits(), 0u);
        engine().clearLog();
        draw(largest, 0x6, GXxor);
        EXPECT_EQ(expansions(), round == 0 ? 1u : 0u);
        EXPECT_EQ(lastCell().second, 0x08u);
    }
    EXPECT_SCREEN_SAME(s());
}

// With the 512 KB depth-8 layout (GlyphArea 1024 x 30) plane 0x02 has 128 x 2
// cells of 8 x 13, taken in row order; the glyph after them goes to plane
// 0x04 (12 x 13 cells).
TEST_F(PiloGlyphCache, FullPlaneGivesWayToTheNext) {
    start(boardConfig(512, 8, 64, 16));
    EXPECT_EQ(privateOf(s()).glPlaneCount, 7);
    Glyphs g;
    for (int k = 0; k < 257; k++)
        g.add((k * 7) % 56, (k * 3) % 3, 8, 13, k, uint32_t(k));
    for (int k = 0; k < 257; k++) {
        Glyphs one;
        one.recs = {g.recs[size_t(k)]};
        draw(one, uint32_t(k), GXcopy);
        const auto cell = lastCell();
        if (k < 256) {
            EXPECT_EQ(cell,
                      std::make_pair(std::make_pair(8 * (k % 128), 480 + 13 * (k / 128)), 0x02u))
                << k;
        } else {
            EXPECT_EQ(cell, std::make_pair(std::make_pair(0, 480), 0x04u));
        }
    }
    EXPECT_SCREEN_SAME(s());
    // All are found again.
    engine().clearLog();
    draw(g, 0x5A, GXxor);
    EXPECT_EQ(expansions(), 0u);
    EXPECT_SCREEN_SAME(s());
}

// Keys of one bucket: three entries fit, the fourth grows the bucket to 6;
// every one is found afterwards.
TEST_F(PiloGlyphCache, FourthKeyOfABucketGrowsIt) {
    start(smallConfig(8, 64, 24));
    const uintptr_t font = reinterpret_cast<uintptr_t>(&gFontA);
    Glyphs g;
    for (int k = 0; k < 4; k++)
        g.add(12 * k, 2, 8, 8, 5 + 4096 * k, uint32_t(k));
    Glyphs three;
    three.recs.assign(g.recs.begin(), g.recs.begin() + 3);
    draw(three, 0x11);
    EXPECT_EQ(bucketOf(font, 5).capacity, 3);
    draw(g, 0x22, GXxor);
    const Bucket &b = bucketOf(font, 5);
    ASSERT_EQ(b.capacity, 6);
    int inUse = 0;
    for (int i = 0; i < b.capacity; i++)
        inUse += b.entries[i].inUse != 0;
    EXPECT_EQ(inUse, 4);
    engine().clearLog();
    draw(g.movedBy(0, 10), 0x33, GXcopy);
    EXPECT_EQ(expansions(), 0u);
    EXPECT_SCREEN_SAME(s());
}

// ClearFont of one font gives its cells back (to the head of the free
// list, so they are taken first) and keeps every other font's.
TEST_F(PiloGlyphCache, ClearFontKeepsOtherFonts) {
    start(smallConfig(8, 96, 24));
    Glyphs a, b;
    for (int k = 0; k < 5; k++) {
        a.add(10 * k, 0, 8, 12, k, uint32_t(k));
        b.add(10 * k, 12, 8, 12, k, uint32_t(k + 10));
    }
    std::set<std::pair<int, int>> cellsOfA;
    for (const MonoGlyphRec &r : a.recs) {
        Glyphs one;
        one.recs = {r};
        draw(one, 0x40, GXcopy, ~0u, &gFontA);
        cellsOfA.insert(lastCell().first);
    }
    draw(b, 0x41, GXcopy, ~0u, &gFontB);
    clearFont(&gFontA);
    // Font B is still cached.
    engine().clearLog();
    draw(b.movedBy(40, 0), 0x42, GXxor, ~0u, &gFontB);
    EXPECT_EQ(expansions(), 0u);
    // Font A is written anew, into its old cells; then font C takes fresh
    // ones.
    for (const MonoGlyphRec &r : a.recs) {
        Glyphs one;
        one.recs = {r};
        engine().clearLog();
        draw(one.movedBy(0, 1), 0x43, GXcopy, ~0u, &gFontA);
        EXPECT_EQ(expansions(), 1u);
        EXPECT_EQ(cellsOfA.count(lastCell().first), 1u);
    }
    clearFont(&gFontA);
    Glyphs c;
    c.add(70, 0, 8, 12, 99, 7);
    draw(c, 0x44, GXcopy, ~0u, &gFontC);
    EXPECT_EQ(cellsOfA.count(lastCell().first), 1u);
    EXPECT_SCREEN_SAME(s());
}

// A bucket that cannot grow leaves its glyph uncached and drawn from its
// bitmap, the bucket and the lists as they were: the glyph is cached once
// memory is there again, the others stay found, and nothing leaks.
TEST_F(PiloGlyphCache, RefusedGrowthDrawsFromTheBitmap) {
    start(smallConfig(8, 64, 24));
    const uintptr_t font = reinterpret_cast<uintptr_t>(&gFontA);
    Glyphs g;
    for (int k = 0; k < 4; k++)
        g.add(12 * k, 2, 8, 8, 9 + 4096 * k, uint32_t(k));
    const int cells = cellsOf(0).second;
    server::failAllocationAfter(0);
    engine().clearLog();
    draw(g, 0x21, GXcopy);
    server::failAllocationAfter(-1);
    EXPECT_SCREEN_SAME(s());
    EXPECT_EQ(expansions(), 4u);
    EXPECT_EQ(blits(), 3u);
    EXPECT_EQ(bucketOf(font, 9).capacity, 3);
    // The refused glyph took no cell.
    EXPECT_EQ(cellsOf(0), std::make_pair(3, cells - 3));
    engine().clearLog();
    draw(g.movedBy(0, 12), 0x22, GXxor);
    EXPECT_EQ(expansions(), 1u);
    EXPECT_EQ(bucketOf(font, 9).capacity, 6);
    EXPECT_EQ(cellsOf(0), std::make_pair(4, cells - 4));
    EXPECT_SCREEN_SAME(s());
    s().freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// Init with memory running out part way through the cache (in the cells of
// a plane, in the buckets): the screen comes up, glyphs are drawn right
// (from cells where there are some, from bitmaps where not), and
// CloseScreen gives back all there is.
TEST_F(PiloGlyphCache, InitWithMemoryRunningOut) {
    // How many allocations a whole Init makes, and how many before the cache.
    const uint64_t before = server::allocationCount();
    start(smallConfig(8, 64, 32));
    const uint64_t whole = server::allocationCount() - before;
    s().freeScreen();
    s_.reset();
    ASSERT_GT(whole, 8192u);
    for (uint64_t allowed : {uint64_t(1), uint64_t(3), uint64_t(400), whole - 3000, whole - 1}) {
        SCOPED_TRACE("allowed " + std::to_string(allowed));
        harness::restartServer();
        s_ = std::make_unique<harness::Screen>(
            "pilo", smallConfig(8, 64, 32), harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        server::failAllocationAfter(long(allowed));
        ASSERT_TRUE(s().start()) << s().failureText();
        server::failAllocationAfter(-1);
        s().fillRandom(4);
        Glyphs g;
        for (int k = 0; k < 12; k++)
            g.add(5 * k, (k * 5) % 12, 4 + k, 6 + k, 3 * k + 1, uint32_t(k));
        for (int round = 0; round < 2; round++) {
            draw(g.movedBy(round, round), Pixel(0x30 + round), round ? GXxor : GXcopy);
            EXPECT_SCREEN_SAME(s());
        }
        s().freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
        s_.reset();
    }
}

} // namespace
