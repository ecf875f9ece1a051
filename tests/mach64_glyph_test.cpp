// Mach64 glyph cache and glyph batches: glyph pixels through the cache and
// the engine against the reference renderer over builds, depths, alus and
// plane masks; what the cache refuses goes through the window's slot 4; the
// cells, the buckets and the batch as they fill, clear, flush and grow; and
// the allocation refusals of Init and of a growing bucket or batch.
#include <random>
#include <set>

#include "mach64_fixture.h"

namespace m64test {
namespace {

// Slot 4 calls, counted by a wrapper put in front of the window's routine.
int gSlot4Calls = 0;
DrawMonoImageProc gSlot4 = nullptr;
void countingSlot4(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                   uint32_t planemask, DrawablePtr pDraw) {
    gSlot4Calls++;
    gSlot4(box, bits, startBit, stride, fg, alu, planemask, pDraw);
}

// Glyph bitmaps the calls point at: each lives as long as the test.
struct Glyphs {
    std::vector<std::vector<uint8_t>> store;
    MonoGlyphRec make(int x, int y, int w, int h, int key, uint32_t seed, int pad = 0) {
        std::mt19937 rng(seed);
        int stride = (w + 7) / 8 + pad;
        store.emplace_back(size_t(stride * h + 1));
        for (uint8_t &b : store.back())
            b = uint8_t(rng());
        return {{int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + h)},
                stride,
                store.back().data(),
                key};
    }
};

teskGlyphCells &cellsOf(harness::Screen &s) {
    return *static_cast<teskGlyphCells *>(privateOf(s).glyphCells);
}

int listLength(const teskGlyphCell *c) {
    int n = 0;
    for (; c; c = c->next)
        n++;
    return n;
}

// Stores since the trace was cleared: each writes a cell's offset into
// DST_OFF_PITCH.
int storesSince(harness::Screen &s) {
    const teskScreenPrivate &p = privateOf(s);
    int n = 0;
    for (const RegWrite &w : registerWrites(
             s, p.aperture ? uint32_t(reinterpret_cast<uint8_t *>(p.regs) - p.aperture) : 0xFC00u,
             p.aperture ? "APERTURE" : "REGS"))
        n += w.index == DST_OFF_PITCH && w.value != p.pitchWord;
    return n;
}

struct GlyphCase {
    Build build;
    int depth;
};

class Mach64Glyphs : public testing::TestWithParam<GlyphCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            GetParam().build.driver, m64Config(GetParam().build, GetParam().depth, kWidth, 40),
            quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(8);
        gSlot4Calls = 0;
        gSlot4 = s->winOps()->DrawMonoImage;
        s->winOps()->DrawMonoImage = countingSlot4;
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    std::unique_ptr<harness::Screen> s;
    Glyphs g;
    nfbFontPrivate fontA{}, fontB{};
};

// Widths 1 to 33 (33 is refused), a 20 x 26 glyph (520 pixels, refused), a
// 16 x 32 one (512, cached), rows padded or not; drawn again from the cache
// with other alus and plane masks.
TEST_P(Mach64Glyphs, EveryWidthThroughTheCacheOrSlot4) {
    std::vector<MonoGlyphRec> glyphs;
    int x = 0, key = 0;
    for (int w = 1; w <= 33; w++) {
        int h = 1 + (w * 7) % 16;
        glyphs.push_back(g.make(x, (w * 5) % 20, w, h, key++, uint32_t(w), w % 3));
        x += w / 2 + 1;
    }
    glyphs.push_back(g.make(500, 2, 20, 26, key++, 100));
    glyphs.push_back(g.make(560, 4, 16, 32, key++, 101, 1));
    const int alus[] = {GXcopy, GXxor, GXandInverted, GXorReverse, GXset};
    const uint32_t masks[] = {~0u, 0xA5C3F00Fu};
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE("alu " + std::to_string(alus[i]));
        gSlot4Calls = 0;
        s->machine().clearTrace();
        s->drawMonoGlyphs(glyphs, colour(uint32_t(i + 1)), alus[i], masks[i % 2], &fontA);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(gSlot4Calls, 2);
        // 33 cached glyphs, stored on the first call only.
        EXPECT_EQ(storesSince(*s), i == 0 ? 33 : 0);
        // Moved down a line: the cells are read wherever the glyphs go.
        for (MonoGlyphRec &m : glyphs) {
            m.box.y1 = int16_t(m.box.y1 + 1);
            m.box.y2 = int16_t(m.box.y2 + 1);
        }
    }
    EXPECT_EQ(listLength(cellsOf(*s).cellUsedList), 33);
}

// The same glyph twice is packed once and drawn twice; a call of only
// refused glyphs, and one of none, leaves the engine alone after them.
TEST_P(Mach64Glyphs, RepeatsAndEmptyBatches) {
    MonoGlyphRec a = g.make(10, 3, 9, 11, 1, 1);
    MonoGlyphRec b = a;
    b.box = {40, 5, 49, 16};
    s->machine().clearTrace();
    boardOf(*s).engine().clearLog();
    s->drawMonoGlyphs({a, b}, colour(3), GXxor, ~0u, &fontA);
    EXPECT_EQ(storesSince(*s), 1);
    s->drain();
    // The store and two expansions.
    EXPECT_EQ(boardOf(*s).engine().log().size(), 3u);

    s->machine().clearTrace();
    s->drawMonoGlyphs({}, colour(4), GXcopy, ~0u, &fontA);
    EXPECT_EQ(s->machine().trace().size(), 0u);

    MonoGlyphRec wide = g.make(100, 1, 33, 8, 2, 2);
    s->drawMonoGlyphs({wide}, colour(5), GXcopy, ~0u, &fontA);
    EXPECT_EQ(gSlot4Calls, 1);
    EXPECT_SCREEN_SAME(*s);
}

// A glyph box that is empty draws nothing and costs no cell; the glyphs
// after it in the batch are drawn. A glyph without a font is drawn at once.
TEST_P(Mach64Glyphs, EmptyBoxMidBatchAndNoFont) {
    MonoGlyphRec a = g.make(10, 3, 9, 11, 1, 1);
    MonoGlyphRec empty = g.make(30, 3, 0, 11, 2, 2);
    MonoGlyphRec flat = g.make(60, 3, 5, 0, 3, 3);
    MonoGlyphRec c = g.make(80, 6, 12, 7, 4, 4);
    s->drawMonoGlyphs({a, empty, flat, c, a}, colour(1), GXcopy, ~0u, &fontA);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(listLength(cellsOf(*s).cellUsedList), 2);

    MonoGlyphRec d = g.make(200, 6, 12, 7, 9, 9);
    s->drawMonoGlyphs({d, c}, colour(2), GXxor, ~0u, nullptr);
    EXPECT_EQ(gSlot4Calls, 2);
    EXPECT_EQ(listLength(cellsOf(*s).cellUsedList), 2);
    EXPECT_SCREEN_SAME(*s);
}

std::vector<GlyphCase> glyphCases() {
    std::vector<GlyphCase> out;
    for (const Build &b : kBuilds)
        for (int depth : {8, 16, 32})
            out.push_back({b, depth});
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Glyphs, testing::ValuesIn(glyphCases()), [](const auto &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
});

// ---- the cache's books, on one build ----

class Mach64GlyphCache : public testing::Test {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("vandu", m64Config(kVandu, 8, kWidth, 40), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        gSlot4Calls = 0;
        gSlot4 = s->winOps()->DrawMonoImage;
        s->winOps()->DrawMonoImage = countingSlot4;
    }
    teskCacheBucket &bucket(uint32_t b) {
        return static_cast<teskCacheBucket *>(privateOf(*s).buckets)[b];
    }
    uint32_t hash(const nfbFontPrivate *font, uint32_t key) {
        uint32_t f = uint32_t(reinterpret_cast<uintptr_t>(font)) * 0x1FAD500u;
        return ((f >> 14) + ((key * 0x1FAD5u) >> 14)) % 1024;
    }
    std::unique_ptr<harness::Screen> s;
    Glyphs g;
    nfbFontPrivate fontA{}, fontB{};
};

// 9 cells a line (576 / 64) on 46 lines, in order on the free list.
TEST_F(Mach64GlyphCache, CellsLineByLine) {
    teskGlyphCells &c = cellsOf(*s);
    EXPECT_EQ(c.cellUsedList, nullptr);
    EXPECT_EQ(listLength(c.cellFreeList), 9 * 46);
    const teskGlyphCell *cell = c.cellFreeList;
    EXPECT_EQ(cell->cellPos, m64CellPos(0, 42));
    EXPECT_EQ(cell->next->cellPos, m64CellPos(64, 42));
    for (int i = 0; i < 9; i++)
        cell = cell->next;
    EXPECT_EQ(cell->cellPos, m64CellPos(0, 43));
    EXPECT_EQ(privateOf(*s).bucketCount, 1024);
    EXPECT_EQ(privateOf(*s).bucketGrowth, 3);
}

// Every cell taken: the next glyph goes through slot 4 and nothing is
// evicted. ClearFont of one font frees its cells and keeps the other's.
TEST_F(Mach64GlyphCache, FullCacheEvictsNothingClearFontFreesOneFont) {
    const int cells = 9 * 46;
    std::vector<MonoGlyphRec> a, b;
    for (int i = 0; i < cells; i++) {
        MonoGlyphRec m = g.make((i * 13) % 620, (i * 7) % 30, 4, 5, i, uint32_t(i));
        (i < 300 ? a : b).push_back(m);
    }
    s->drawMonoGlyphs(a, 0x11, GXxor, ~0u, &fontA);
    s->drawMonoGlyphs(b, 0x22, GXxor, ~0u, &fontB);
    EXPECT_EQ(cellsOf(*s).cellFreeList, nullptr);
    EXPECT_EQ(gSlot4Calls, 0);

    MonoGlyphRec extra = g.make(3, 3, 6, 6, 5000, 77);
    s->machine().clearTrace();
    s->drawMonoGlyphs({extra, b[0]}, 0x33, GXxor, ~0u, &fontB);
    s->drawMonoGlyphs({a[0]}, 0x34, GXxor, ~0u, &fontA);
    EXPECT_EQ(gSlot4Calls, 1);
    EXPECT_EQ(storesSince(*s), 0);
    EXPECT_SCREEN_SAME(*s);

    s->nfb()->ClearFont(&fontA, s->screen());
    EXPECT_EQ(listLength(cellsOf(*s).cellFreeList), 300);
    EXPECT_EQ(listLength(cellsOf(*s).cellUsedList), cells - 300);
    s->machine().clearTrace();
    s->drawMonoGlyphs({b[5], b[6]}, 0x44, GXxor, ~0u, &fontB);
    EXPECT_EQ(storesSince(*s), 0);
    s->drawMonoGlyphs({a[5], extra}, 0x55, GXxor, ~0u, &fontA);
    EXPECT_EQ(storesSince(*s), 2);
    EXPECT_SCREEN_SAME(*s);
}

// A fourth key of one bucket grows it from three entries to six; ClearFont
// frees the entries and the bucket keeps its size.
TEST_F(Mach64GlyphCache, FourthKeyGrowsTheBucketToSix) {
    std::vector<int> keys;
    const uint32_t b0 = hash(&fontA, 0);
    for (uint32_t k = 0; keys.size() < 4; k++)
        if (hash(&fontA, k) == b0)
            keys.push_back(int(k));
    std::vector<MonoGlyphRec> glyphs;
    for (size_t i = 0; i < keys.size(); i++)
        glyphs.push_back(g.make(int(i) * 20, 2, 8, 8, keys[i], uint32_t(i)));
    s->drawMonoGlyphs({glyphs[0], glyphs[1], glyphs[2]}, 5, GXcopy, ~0u, &fontA);
    EXPECT_EQ(bucket(b0).size, 3);
    s->drawMonoGlyphs(glyphs, 6, GXcopy, ~0u, &fontA);
    EXPECT_EQ(bucket(b0).size, 6);
    int used = 0;
    for (int i = 0; i < 6; i++)
        used += bucket(b0).entries[i].used;
    EXPECT_EQ(used, 4);
    s->nfb()->ClearFont(&fontA, s->screen());
    EXPECT_EQ(bucket(b0).size, 6);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(bucket(b0).entries[i].used, 0);
    s->drawMonoGlyphs(glyphs, 7, GXxor, ~0u, &fontA);
    EXPECT_EQ(bucket(b0).size, 6);
    EXPECT_SCREEN_SAME(*s);
}

// 256 glyphs in one call: the batch doubles to 512 before the 256th is
// queued, and every glyph is drawn.
TEST_F(Mach64GlyphCache, TwoHundredFiftySixGlyphsDoubleTheBatch) {
    s->fillRandom(1);
    std::vector<MonoGlyphRec> glyphs;
    for (int i = 0; i < 256; i++)
        glyphs.push_back(g.make((i * 37) % 600, (i * 11) % 30, 7, 9, i % 40, uint32_t(i % 40)));
    s->drawMonoGlyphs(std::vector<MonoGlyphRec>(glyphs.begin(), glyphs.begin() + 255), 0x5A, GXxor,
                      ~0u, &fontA);
    EXPECT_EQ(privateOf(*s).pendingCapacity, 256);
    s->drawMonoGlyphs(glyphs, 0x3C, GXxor, ~0u, &fontA);
    EXPECT_EQ(privateOf(*s).pendingCapacity, 512);
    EXPECT_EQ(privateOf(*s).pendingCount, 0);
    EXPECT_SCREEN_SAME(*s);
}

// Taking the screen away drops every glyph; they are stored again after.
TEST_F(Mach64GlyphCache, ConsoleSwitchDropsTheCache) {
    std::vector<MonoGlyphRec> glyphs = {g.make(5, 5, 10, 10, 1, 1), g.make(30, 5, 10, 10, 2, 2)};
    s->drawMonoGlyphs(glyphs, 9, GXcopy, ~0u, &fontA);
    s->switchAway();
    EXPECT_EQ(cellsOf(*s).cellUsedList, nullptr);
    EXPECT_EQ(listLength(cellsOf(*s).cellFreeList), 9 * 46);
    s->switchBack();
    s->syncMirror();
    s->machine().clearTrace();
    s->drawMonoGlyphs(glyphs, 10, GXxor, ~0u, &fontA);
    EXPECT_EQ(storesSince(*s), 2);
    EXPECT_SCREEN_SAME(*s);
}

// A window clip left in the scissors does not cut a glyph being stored.
TEST_F(Mach64GlyphCache, StoreUnderAClip) {
    s->setClipRegions({{0, 5, 640, 40}});
    MonoGlyphRec a = g.make(10, 10, 16, 16, 1, 1);
    s->drawMonoGlyphs({a}, 0x7, GXcopy, ~0u, &fontA);
    s->setClipRegions({});
    MonoGlyphRec b = a;
    b.box = {100, 0, 116, 16};
    s->drawMonoGlyphs({b}, 0x8, GXcopy, ~0u, &fontA);
    EXPECT_SCREEN_SAME(*s);
}

// A bucket or a batch that cannot grow: the glyph is drawn at once.
TEST_F(Mach64GlyphCache, GrowthRefusedDrawsAtOnce) {
    s->fillRandom(2);
    // A bucket's first entries.
    server::failAllocationAfter(0);
    MonoGlyphRec a = g.make(10, 10, 8, 8, 1, 1);
    s->drawMonoGlyphs({a}, 0x7, GXxor, ~0u, &fontA);
    server::failAllocationAfter(-1);
    EXPECT_EQ(gSlot4Calls, 1);
    // The batch: the 256th glyph is drawn at once, the others queued.
    s->drawMonoGlyphs({a}, 0x7, GXxor, ~0u, &fontA);
    std::vector<MonoGlyphRec> many(256, a);
    for (int i = 0; i < 256; i++)
        many[size_t(i)].box = {int16_t(i * 2), int16_t(i % 30), int16_t(i * 2 + 8),
                               int16_t(i % 30 + 8)};
    gSlot4Calls = 0;
    server::failAllocationAfter(0);
    s->drawMonoGlyphs(many, 0x19, GXxor, ~0u, &fontA);
    server::failAllocationAfter(-1);
    EXPECT_EQ(gSlot4Calls, 1);
    EXPECT_EQ(privateOf(*s).pendingCapacity, 256);
    EXPECT_SCREEN_SAME(*s);
}

// Init returns 0 and holds nothing when the slot table or any part of the
// cache cannot be had; FreeScreen frees them all.
TEST(Mach64GlyphInit, RefusedAllocationsAndFreeScreen) {
    // The private, the batch, the slot table, the cell record, the cells,
    // the buckets.
    for (int allowed = 2; allowed <= 5; allowed++) {
        SCOPED_TRACE(allowed);
        harness::beginCase();
        harness::Screen s("tesk", m64Config(kTesk), quiet());
        ASSERT_TRUE(s.probe());
        server::failAllocationAfter(allowed);
        EXPECT_EQ(s.init(), 0);
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
    harness::beginCase();
    harness::Screen s("merro", m64Config(kMerro), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    nfbFontPrivate font{};
    Glyphs g;
    s.drawMonoGlyphs({g.make(1, 1, 5, 5, 1, 1)}, 1, GXcopy, ~0u, &font);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    EXPECT_TRUE(server::memoryErrors().empty());
}

} // namespace
} // namespace m64test
