// hobra's glyph cache in planes 1 and 2 of the planeArea and the glyph
// batch: the cells and font slots each layout gives, glyph pixels against
// the reference renderer over alus, plane masks and both depths, where each
// glyph size goes (class 0, class 1, drawn at once), a glyph stored once,
// buckets growing by three, the batch doubling, ClearFont of one font, the
// flush before the console, and refused memory.
#include <algorithm>
#include <memory>
#include <random>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

// ---- the driver's cache records, as it lays them out ----

struct Cell {
    nfbFontPrivPtr font;
    int32_t glyph;
    int32_t cellPos;
    Cell *next;
};
struct GlyphClass {
    Cell *used;
    Cell *free;
};
struct Entry {
    int32_t used, readMask;
    nfbFontPrivPtr font;
    int32_t glyph, cellPos;
};
struct Bucket {
    Entry *entries;
    int32_t size;
};
struct FontSlot {
    int32_t readMask, writeMask;
    struct {
        int16_t x, y;
    } cells[256];
};

int length(const Cell *c) {
    int n = 0;
    for (; c; c = c->next)
        n++;
    return n;
}
GlyphClass &glyphClass(harness::Screen &s, int k) {
    return *static_cast<GlyphClass **>(privateOf(s).glClasses)[k];
}
int usedCells(harness::Screen &s, int k) {
    return length(glyphClass(s, k).used);
}
int freeCells(harness::Screen &s, int k) {
    return length(glyphClass(s, k).free);
}
const FontSlot &fontSlot(harness::Screen &s, int slot) {
    return static_cast<const FontSlot *>(privateOf(s).fontSlots)[slot];
}

// The bucket the driver's hash gives a font key and a glyph key.
uint32_t bucketOf(nfbFontPrivPtr font, int32_t glyph) {
    const uint32_t f = uint32_t(reinterpret_cast<uintptr_t>(font)), g = uint32_t(glyph);
    return (((f * 0x1FAD500u) >> 14) + ((g * 0x1FAD5u) >> 14)) % 1024u;
}
Bucket &bucket(harness::Screen &s, uint32_t index) {
    return static_cast<Bucket *>(privateOf(s).buckets)[index];
}

// ---- glyphs ----

// A glyph's bitmap with every bit random, also past its width in each row.
struct Glyph {
    int width = 0, height = 0, stride = 0;
    int32_t key = 0;
    std::vector<uint8_t> bits;
    MonoGlyphRec at(int x, int y) {
        return {{int16_t(x), int16_t(y), int16_t(x + width), int16_t(y + height)},
                stride,
                bits.data(),
                key};
    }
};
Glyph glyph(int width, int height, int32_t key, int stride = 0) {
    Glyph g{width, height, stride ? stride : (width + 7) / 8, key, {}};
    std::mt19937 rng(uint32_t(key) * 7919u + uint32_t(width * 31 + height));
    g.bits.resize(size_t(g.stride * height));
    for (uint8_t &b : g.bits)
        b = uint8_t(rng());
    return g;
}

// How many times the trace's engine writes put `value` on `port`.
int writesOf(const sim::Trace &t, uint16_t port, uint16_t value) {
    int n = 0;
    for (const PortWrite &w : engineWrites(t))
        n += w.first == port && w.second == value;
    return n;
}
int blits(const sim::Trace &t) {
    return writesOf(t, sim::hobraport::Command, 0xC0F3);
}
int acrossPlaneTransfers(const sim::Trace &t) {
    return writesOf(t, sim::hobraport::Command, 0x53F3);
}

// Bit `plane` of the pixel at (x, y) of video memory.
int planeBit(harness::Screen &s, int x, int y, int plane) {
    s.drain();
    return (adapter(s).vram()->data()[size_t(y) * 1024 + size_t(x)] >> plane) & 1;
}
int glyphBit(const Glyph &g, int col, int row) {
    return (g.bits[size_t(row * g.stride + col / 8)] >> (col % 8)) & 1;
}
// The glyph's pixels are in bit `plane` at (x, y).
void expectInPlane(harness::Screen &s, const Glyph &g, int x, int y, int plane) {
    for (int row = 0; row < g.height; row++)
        for (int col = 0; col < g.width; col++)
            ASSERT_EQ(planeBit(s, x + col, y + row, plane), glyphBit(g, col, row))
                << "plane " << plane << " at " << col << ", " << row;
}

// ---- layout ----

TEST(HobraGlyphLayout, CellsAndFontSlotsFollowThePlaneArea) {
    struct Case {
        const char *name;
        const char *file;
        std::vector<std::pair<const char *, int>> keys;
        std::vector<int> planeArea;
        int class0, class1, slots;
    };
    const Case cases[] = {
        // 1024 x 192: 85 x 12 and 64 x 8 cells; 64 font cells a row, a
        // font 4 rows of 32 lines, one font a plane, planes 3 to 7.
        {"eight planes", kBoard8, {}, {0, 832, 1024, 192}, 1020, 512, 5},
        {"four planes below",
         kBoard4,
         {{"OFFSCRX", 0}, {"OFFSCRY", 768}, {"OFFSCRW", 1024}, {"OFFSCRH", 256}},
         {0, 832, 1024, 192},
         1020,
         512,
         1},
        // 384 x 960: 24 font cells a row, 11 rows a font, two fonts in plane 3.
        {"four planes beside", kBoard4, {}, {640, 64, 384, 960}, 32 * 64, 24 * 40, 2},
        // 64 lines: not one font fits.
        {"128 lines", kBoard8, {{"OFFSCRH", 128}}, {0, 832, 1024, 64}, 340, 128, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        graf::Config cfg = board(c.file);
        for (auto &[key, value] : c.keys)
            cfg.ints[key] = value;
        server::clearErrorMessages();
        harness::Screen s("hobra", cfg, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        Private &p = privateOf(s);
        EXPECT_EQ(rect(p.planeArea), c.planeArea);
        EXPECT_EQ(p.glClassTotal, 2);
        EXPECT_EQ((std::vector<int>{p.bucketCount, p.bucketGrowth}), (std::vector<int>{1024, 3}));
        EXPECT_EQ(freeCells(s, 0), c.class0);
        EXPECT_EQ(freeCells(s, 1), c.class1);
        EXPECT_EQ(usedCells(s, 0) + usedCells(s, 1), 0);
        // The cells run row by row from the area's corner.
        const Cell *first = glyphClass(s, 0).free;
        EXPECT_EQ(first->cellPos, c.planeArea[1] << 16 | c.planeArea[0]);
        EXPECT_EQ(first->next->cellPos, c.planeArea[1] << 16 | (c.planeArea[0] + 12));
        EXPECT_EQ(glyphClass(s, 1).free->next->cellPos,
                  c.planeArea[1] << 16 | (c.planeArea[0] + 16));

        EXPECT_EQ(p.fontSlotCount, c.slots);
        EXPECT_EQ(s.registered().text8Slots, c.slots);
        EXPECT_EQ(s.registered().text8CellWidth, 16);
        EXPECT_EQ(s.registered().text8CellHeight, 32);
        EXPECT_EQ(errorLogged("HOBRA: ASSERTION failed in hobraGlCache at line 546\n"),
                  c.slots == 0);
        if (c.slots == 0) {
            EXPECT_EQ(p.fontSlots, nullptr);
            continue;
        }
        const int perRow = c.planeArea[2] / 16, fontLines = (perRow + 255) / perRow * 32;
        for (int k = 0; k < c.slots; k++) {
            const FontSlot &f = fontSlot(s, k);
            const int perPlane = c.planeArea[3] / fontLines, plane = 3 + k / perPlane;
            EXPECT_EQ(f.writeMask, 1 << plane) << k;
            EXPECT_EQ(f.readMask, plane == 7 ? 0x101 : 2 << plane) << k;
            const int top = c.planeArea[1] + (k % perPlane) * fontLines;
            EXPECT_EQ((std::vector<int>{f.cells[0].x, f.cells[0].y}),
                      (std::vector<int>{c.planeArea[0], top}))
                << k;
            EXPECT_EQ(
                (std::vector<int>{f.cells[255].x, f.cells[255].y}),
                (std::vector<int>{c.planeArea[0] + 16 * (255 % perRow), top + 32 * (255 / perRow)}))
                << k;
        }
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- pixels ----

class HobraGlyphs : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", smallBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(7);
        font = harness::Font::random(8, 8, 1, 1);
    }
    nfbFontPrivPtr key() const { return font->priv(); }
    std::unique_ptr<harness::Screen> s;
    std::unique_ptr<harness::Font> font;
};

INSTANTIATE_TEST_SUITE_P(Depths, HobraGlyphs, testing::Values(8, 4),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

TEST_P(HobraGlyphs, EachSizeFindsItsPlaceAndDrawsUnderEveryAluAndMask) {
    // Rows padded to 32 bits with stray bits past the width, and rows of
    // exactly the glyph's bytes.
    Glyph small = glyph(10, 14, 1, 4), mid = glyph(14, 20, 2), big = glyph(20, 30, 3, 4);
    const Private &p = privateOf(*s);
    struct Case {
        int alu;
        uint32_t planemask;
    };
    const uint32_t all = s->allPlanes();
    const Case cases[] = {{GXcopy, all},       {GXxor, all},         {GXor, 0x5A & all},
                          {GXand, 0xF0 & all}, {GXinvert, 0x0F},     {GXequiv, all},
                          {GXset, 0x3C & all}, {GXcopyInverted, all}};
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE("alu " + std::to_string(c.alu) + " planemask " + std::to_string(c.planemask));
        const int d = n++ % 4;
        s->drawMonoGlyphs({small.at(3 + d, 2), mid.at(20, 5 + d), big.at(41 + d, 1),
                           small.at(70, 30 + d), mid.at(96 + d, 40)},
                          Pixel(0xA7 + 0x35 * n) & all, c.alu, c.planemask, key());
        EXPECT_SCREEN_SAME(*s);
    }
    // 10 x 14 in class 0 (plane 1), 14 x 20 in class 1 (plane 2), both in
    // the first cell at the area's corner; 20 x 30 fits no cell.
    EXPECT_EQ((std::vector<int>{usedCells(*s, 0), usedCells(*s, 1)}), (std::vector<int>{1, 1}));
    expectInPlane(*s, small, p.planeArea.x, p.planeArea.y, 1);
    expectInPlane(*s, mid, p.planeArea.x, p.planeArea.y, 2);
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(HobraGlyphs, AGlyphIsStoredOnceAndThenOnlyBlitted) {
    Glyph g = glyph(10, 14, 5);
    s->machine().clearTrace();
    s->drawMonoGlyphs({g.at(4, 4), g.at(30, 10)}, 3, GXcopy, ~0u, key());
    EXPECT_EQ(acrossPlaneTransfers(s->machine().trace()), 1);
    EXPECT_EQ(blits(s->machine().trace()), 2);
    s->machine().clearTrace();
    s->drawMonoGlyphs({g.at(50, 20), g.at(60, 30), g.at(8, 40)}, 5, GXxor, ~0u, key());
    EXPECT_EQ(acrossPlaneTransfers(s->machine().trace()), 0);
    EXPECT_EQ(blits(s->machine().trace()), 3);
    EXPECT_SCREEN_SAME(*s);

    // A call without glyphs draws nothing.
    s->machine().clearTrace();
    s->drawMonoGlyphs({}, 5, GXcopy, ~0u, key());
    EXPECT_EQ(blits(s->machine().trace()), 0);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Without a font nothing tells glyphs apart: the same key with other bits
// draws its own bits, so neither is kept in a cell.
TEST_P(HobraGlyphs, GlyphsWithoutAFontDrawTheirOwnBits) {
    Glyph a = glyph(10, 14, 5), b = a;
    for (uint8_t &v : b.bits)
        v = uint8_t(~v);
    s->drawMonoGlyphs({a.at(4, 4)}, 3, GXcopy, ~0u, nullptr);
    s->drawMonoGlyphs({b.at(30, 10), a.at(50, 20)}, 5, GXxor, ~0u, nullptr);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Copies and fills after glyphs: the plane expansion left behind must not
// reach them.
TEST_P(HobraGlyphs, OtherDrawingAfterGlyphs) {
    Glyph g = glyph(12, 15, 9);
    s->drawMonoGlyphs({g.at(4, 4)}, 3, GXcopy, 0x33, key());
    s->copyRect({60, 10, 100, 40}, {2, 2});
    s->drawSolidRects({{10, 40, 50, 60}}, 6, GXxor);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// ---- the cache ----

// A planeArea of 172 x 64: 14 x 4 cells of class 0, 10 x 2 of class 1.
graf::Config tinyCache() {
    graf::Config c = smallBoard(8);
    c.ints["OFFSCRW"] = 172;
    c.ints["OFFSCRH"] = 128;
    return c;
}

TEST(HobraGlyphCache, FullClassesSpillToTheNextAndThenToTheImageSlot) {
    harness::Screen s("hobra", tinyCache(), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(2);
    auto font = harness::Font::random(8, 8, 1, 1);
    EXPECT_EQ((std::vector<int>{freeCells(s, 0), freeCells(s, 1)}), (std::vector<int>{56, 20}));

    std::vector<Glyph> glyphs;
    for (int i = 0; i < 78; i++)
        glyphs.push_back(glyph(10, 14, 100 + i));
    std::vector<MonoGlyphRec> recs;
    for (int i = 0; i < 78; i++)
        recs.push_back(glyphs[size_t(i)].at((i * 13) % 118, (i * 7) % 50));
    s.drawMonoGlyphs(recs, 0x5C, GXxor, ~0u, font->priv());
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ((std::vector<int>{usedCells(s, 0), usedCells(s, 1)}), (std::vector<int>{56, 20}));
    EXPECT_EQ((std::vector<int>{freeCells(s, 0), freeCells(s, 1)}), (std::vector<int>{0, 0}));
    // Glyph 57 went to the first cell of class 1, in plane 2.
    const Private &p = privateOf(s);
    expectInPlane(s, glyphs[56], p.planeArea.x, p.planeArea.y, 2);
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());

    // The font goes: every cell is free again, in both classes.
    s.closeFont(*font);
    EXPECT_EQ((std::vector<int>{freeCells(s, 0), freeCells(s, 1)}), (std::vector<int>{56, 20}));
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
}

TEST(HobraGlyphCache, CollidingKeysGrowTheirBucketByThree) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    auto font = harness::Font::random(8, 8, 1, 1);
    // Seven glyph keys that share one bucket with this font.
    const uint32_t target = bucketOf(font->priv(), 1);
    std::vector<Glyph> glyphs;
    for (int32_t k = 1; glyphs.size() < 7 && k < 1 << 20; k++)
        if (bucketOf(font->priv(), k) == target)
            glyphs.push_back(glyph(8, 10, k));
    ASSERT_EQ(glyphs.size(), 7u);

    const int sizes[] = {3, 3, 3, 6, 6, 6, 9};
    for (size_t i = 0; i < glyphs.size(); i++) {
        s.drawMonoGlyphs({glyphs[i].at(int(i) * 16, 8)}, 9, GXcopy, ~0u, font->priv());
        EXPECT_EQ(bucket(s, target).size, sizes[i]) << i;
    }
    // All seven are found again: nothing is stored a second time.
    std::vector<MonoGlyphRec> again;
    for (size_t i = 0; i < glyphs.size(); i++)
        again.push_back(glyphs[i].at(int(i) * 16 + 2, 30));
    s.machine().clearTrace();
    s.drawMonoGlyphs(again, 0x41, GXor, ~0u, font->priv());
    EXPECT_EQ(acrossPlaneTransfers(s.machine().trace()), 0);
    EXPECT_EQ(usedCells(s, 0), 7);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraGlyphCache, ThreeHundredGlyphsDoubleTheBatch) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(4);
    auto font = harness::Font::random(8, 8, 1, 1);
    std::vector<Glyph> glyphs;
    for (int i = 0; i < 300; i++)
        glyphs.push_back(glyph(6 + i % 5, 8 + i % 7, i));
    std::vector<MonoGlyphRec> recs;
    for (int i = 0; i < 300; i++)
        recs.push_back(glyphs[size_t(i)].at((i * 17) % 116, (i * 11) % 48));
    s.drawMonoGlyphs(recs, 0x96, GXxor, 0xFE, font->priv());
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(privateOf(s).pendingCapacity, 512);
    EXPECT_EQ(privateOf(s).pendingCount, 0);
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraGlyphCache, ClearFontFreesOnlyThatFontsCells) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    auto first = harness::Font::random(8, 8, 1, 1), second = harness::Font::random(8, 8, 1, 2);
    std::vector<Glyph> glyphs;
    for (int i = 0; i < 4; i++)
        glyphs.push_back(glyph(9, 12, i));
    auto draw = [&](const harness::Font &f, int y) {
        std::vector<MonoGlyphRec> recs;
        for (int i = 0; i < 4; i++)
            recs.push_back(glyphs[size_t(i)].at(8 + 20 * i, y));
        s.machine().clearTrace();
        s.drawMonoGlyphs(recs, 0x21, GXcopy, ~0u, f.priv());
        return acrossPlaneTransfers(s.machine().trace());
    };
    // The same glyph keys in two fonts are different glyphs.
    EXPECT_EQ(draw(*first, 2), 4);
    EXPECT_EQ(draw(*second, 20), 4);
    EXPECT_EQ(usedCells(s, 0), 8);
    s.closeFont(*first);
    EXPECT_EQ(usedCells(s, 0), 4);
    EXPECT_EQ(freeCells(s, 0), 1016);
    EXPECT_EQ(draw(*second, 40), 0);
    EXPECT_EQ(draw(*first, 48), 4);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
}

// The switch to the console clears video memory: every glyph is stored
// again afterwards.
TEST(HobraGlyphCache, TheConsoleSwitchEmptiesTheCache) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto font = harness::Font::random(8, 8, 1, 1);
    Glyph a = glyph(10, 14, 1), b = glyph(14, 20, 2);
    s.drawMonoGlyphs({a.at(4, 4), b.at(40, 4)}, 7, GXcopy, ~0u, font->priv());
    s.switchAway();
    EXPECT_EQ((std::vector<int>{usedCells(s, 0), usedCells(s, 1)}), (std::vector<int>{0, 0}));
    EXPECT_EQ((std::vector<int>{freeCells(s, 0), freeCells(s, 1)}), (std::vector<int>{1020, 512}));
    s.switchBack();
    s.blankScreen(false);
    s.syncMirror();
    s.fillRandom(6);
    s.machine().clearTrace();
    s.drawMonoGlyphs({a.at(8, 30), b.at(60, 30)}, 9, GXxor, ~0u, font->priv());
    EXPECT_EQ(acrossPlaneTransfers(s.machine().trace()), 2);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraGlyphCache, RefusedMemoryDrawsTheGlyphAtOnce) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(8);
    auto font = harness::Font::random(8, 8, 1, 1);

    // A fourth key of a full bucket: the bucket cannot grow.
    const uint32_t target = bucketOf(font->priv(), 1);
    std::vector<Glyph> glyphs;
    for (int32_t k = 1; glyphs.size() < 4; k++)
        if (bucketOf(font->priv(), k) == target)
            glyphs.push_back(glyph(8, 10, k));
    std::vector<MonoGlyphRec> recs;
    for (size_t i = 0; i < 4; i++)
        recs.push_back(glyphs[i].at(int(i) * 12, 6));
    server::failAllocationAfter(0);
    s.drawMonoGlyphs(recs, 0x3C, GXxor, ~0u, font->priv());
    server::failAllocationAfter(-1);
    EXPECT_EQ(bucket(s, target).size, 3);
    EXPECT_EQ(usedCells(s, 0), 3);
    EXPECT_SCREEN_SAME(s);

    // A batch that cannot grow: glyphs past its room are drawn at once.
    std::vector<Glyph> many;
    for (int i = 0; i < 270; i++)
        many.push_back(glyph(8, 8, 1000 + i));
    recs.clear();
    for (int i = 0; i < 270; i++)
        recs.push_back(many[size_t(i)].at((i * 4) % 120, (i * 3) % 56));
    server::failAllocationAfter(0);
    s.drawMonoGlyphs(recs, 0x0F, GXxor, ~0u, font->priv());
    server::failAllocationAfter(-1);
    EXPECT_EQ(privateOf(s).pendingCapacity, 256);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// The cache's tables at Init: without them Init fails and keeps nothing.
TEST(HobraGlyphCache, InitWithoutTheCacheTablesFails) {
    for (long allowed : {2L, 3L, 4L, 5L, 6L, 200L, 1030L}) {
        SCOPED_TRACE(allowed);
        harness::Screen s("hobra", smallBoard(8), quiet());
        ASSERT_TRUE(s.probe());
        server::failAllocationAfter(allowed);
        EXPECT_EQ(s.init(), 0);
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

} // namespace
