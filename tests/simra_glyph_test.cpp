// simra's glyph cache in bit planes and its text fonts: font ids, buckets,
// the fit of cells to glyphs, the cut of a plane, glyphs and text compared
// with the reference renderer over alus, plane masks and depths, refused
// allocations, and the cache across console switches and the close.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "simra_fixture.h"

namespace {

using namespace simratest;
using sim::Wd90c33Adapter;

// Glyph bitmaps of any size, kept alive for the records that point at them.
struct GlyphSet {
    std::vector<std::vector<uint8_t>> bits;
    std::vector<MonoGlyphRec> recs;

    MonoGlyphRec &add(int x, int y, int w, int h, int key, uint32_t seed) {
        const int stride = (w + 7) / 8 + 1;
        std::vector<uint8_t> b(size_t(stride * h));
        for (size_t i = 0; i < b.size(); i++)
            b[i] = uint8_t((i + 1) * 0x9Du + seed * 0x3Bu);
        bits.push_back(std::move(b));
        recs.push_back({{int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + h)},
                        stride,
                        bits.back().data(),
                        key});
        return recs.back();
    }
    // The records again, pointing at the bitmaps (which may have moved).
    std::vector<MonoGlyphRec> records() {
        for (size_t i = 0; i < recs.size(); i++)
            recs[i].bits = bits[i].data();
        return recs;
    }
};

// A font private of the server's, for glyphs that are not a text font.
struct GlyphFont {
    Text8FontInfo info{};
    FontPtr font = server::createFont(&info);
    nfbFontPrivPtr priv() const { return NFB_FONT_PRIV(font); }
    ~GlyphFont() { server::destroyFont(font); }
};

const GlyphCell *cellOf(harness::Screen &s, int fontId, int key) {
    const Private &p = privateOf(s);
    if (!p.buckets)
        return nullptr;
    for (const GlyphCell *c = p.buckets[(fontId + (key >> 4)) & 0x3FF]; c; c = c->next)
        if (c->fontId == fontId && c->glyphKey == key)
            return c;
    return nullptr;
}

// ---- ids and buckets ----

TEST(SimraGlyphIds, FontsGetIdsFromTwoAndKeysHashIntoBuckets) {
    auto s = startScreen(smallConfig(8));
    GlyphFont f1, f2;
    GlyphSet g;
    g.add(0, 0, 6, 8, 0x123, 1);
    g.add(8, 0, 6, 8, 0x133, 2);
    s->drawMonoGlyphs(g.records(), 5, GXcopy, ~0u, f1.priv());
    EXPECT_EQ(f1.priv()->fontId, 2);
    const Private &p = privateOf(*s);
    ASSERT_NE(p.buckets[0x014], nullptr);
    ASSERT_NE(p.buckets[0x015], nullptr);
    EXPECT_EQ(cellOf(*s, 2, 0x123), p.buckets[0x014]);
    EXPECT_EQ(cellOf(*s, 2, 0x133), p.buckets[0x015]);
    s->drawMonoGlyphs(g.records(), 6, GXcopy, ~0u, f2.priv());
    EXPECT_EQ(f2.priv()->fontId, 3);
    EXPECT_EQ(cellOf(*s, 3, 0x123), p.buckets[0x015]) << "new entries head their chain";
    EXPECT_SCREEN_SAME(*s);
}

// ---- fit ----

struct FitCase {
    const char *name;
    std::vector<std::pair<int, int>> before; // glyph sizes drawn first, one plane each
    int expectPlane;                         // plane of the 7 x 12 glyph
    int expectCell;                          // its cell side
};

class SimraGlyphFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(SimraGlyphFit, SevenByTwelveFindsItsCell) {
    const FitCase &c = GetParam();
    auto s = startScreen(smallConfig(8));
    GlyphFont f;
    GlyphSet g;
    int key = 0;
    for (auto [w, h] : c.before) {
        g.add(0, 0, w, h, key, uint32_t(key + 1));
        key++;
    }
    g.add(20, 0, 7, 12, 100, 9);
    s->drawMonoGlyphs(g.records(), 3, GXcopy, ~0u, f.priv());
    const GlyphCell *cell = cellOf(*s, 2, 100);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->plane, c.expectPlane);
    EXPECT_EQ(privateOf(*s).planes[cell->plane].cellWidth, c.expectCell);
    EXPECT_EQ(privateOf(*s).planes[cell->plane].cellHeight, c.expectCell);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(
    Planes, SimraGlyphFit,
    ::testing::Values(FitCase{"EmptyCacheCutsTwelveSquare", {}, 0, 12},
                      FitCase{"FourteenIsClose", {{14, 14}}, 0, 14},
                      FitCase{"SixteenIsOnlyLoose", {{16, 16}}, 1, 12},
                      // Every plane cut, the 16 x 16 one last: the loose
                      // fit is used after all.
                      FitCase{
                          "SixteenWithoutAnEmptyPlane",
                          {{6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 10}, {11, 11}, {40, 40}, {16, 16}},
                          7,
                          16}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimraGlyphPlanes, TwelveSquareCellsFillTheExampleGlyphArea) {
    auto s = startScreen(harness::loadConfig("portable/simra/simra.graf"));
    GlyphFont f;
    GlyphSet g;
    g.add(100, 100, 12, 12, 1, 1);
    s->drawMonoGlyphs(g.records(), 7, GXcopy, ~0u, f.priv());
    const Private &p = privateOf(*s);
    EXPECT_EQ(p.glyphAreaHeight, 191);
    EXPECT_EQ(p.planes[0].cellCount, 1275) << "15 rows of 85 cells";
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraGlyphPlanes, OnlyGlyphsOfSixOrMoreOnASideAreCached) {
    auto s = startScreen(smallConfig(16));
    GlyphFont f;
    GlyphSet g;
    g.add(0, 0, 5, 5, 1, 1);
    g.add(10, 0, 5, 6, 2, 2);
    s->drawMonoGlyphs(g.records(), 0x1234, GXcopy, ~0u, f.priv());
    EXPECT_EQ(cellOf(*s, 2, 1), nullptr);
    EXPECT_NE(cellOf(*s, 2, 2), nullptr);
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraGlyphPlanes, ClearFontEmptiesAPlaneForAnotherSize) {
    auto s = startScreen(smallConfig(8));
    auto f = std::make_unique<GlyphFont>();
    GlyphSet g;
    g.add(0, 0, 10, 10, 1, 1);
    g.add(12, 0, 9, 10, 2, 2);
    s->drawMonoGlyphs(g.records(), 3, GXcopy, ~0u, f->priv());
    EXPECT_EQ(privateOf(*s).planes[0].cellWidth, 10);
    s->nfb()->ClearFont(f->priv(), s->screen());
    EXPECT_EQ(privateOf(*s).planes[0].cells, nullptr);
    EXPECT_EQ(privateOf(*s).planes[0].cellCount, 0);
    GlyphFont other;
    GlyphSet g2;
    g2.add(30, 0, 20, 20, 1, 3);
    s->drawMonoGlyphs(g2.records(), 4, GXcopy, ~0u, other.priv());
    const GlyphCell *c = cellOf(*s, 3, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->plane, 0);
    EXPECT_EQ(privateOf(*s).planes[0].cellWidth, 20);
    EXPECT_SCREEN_SAME(*s);
}

// ---- pixels ----

class SimraGlyphPixels : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ = startScreen(smallConfig(GetParam()));
        s_->fillRandom(3);
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

TEST_P(SimraGlyphPixels, CachedGlyphsBesideGlyphsOfOtherPlanes) {
    const uint32_t masks[] = {~0u, 0x0F, 0xF0F0};
    GlyphFont f;
    GlyphSet g;
    // Sizes that cut several planes, drawn over each other's pixels.
    g.add(0, 0, 8, 12, 1, 1);
    g.add(6, 2, 13, 9, 2, 2);
    g.add(18, 0, 6, 6, 3, 3);
    g.add(20, 5, 3, 4, 4, 4);
    g.add(30, 1, 24, 20, 5, 5);
    g.add(2, 12, 7, 11, 6, 6);
    int k = 0;
    for (int alu : {GXcopy, GXxor, GXandInverted, GXset})
        for (uint32_t mask : masks) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            s().drawMonoGlyphs(g.records(), Pixel(0x3A5 * (k + 1)) & s().allPlanes(), alu, mask,
                               f.priv());
            k++;
            EXPECT_SCREEN_SAME(s());
        }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(SimraGlyphPixels, TextOpaqueAndTransparent) {
    auto font = harness::Font::random(7, 11, 256, 5);
    int k = 0;
    for (bool transparent : {false, true})
        for (int alu : {GXcopy, GXxor, GXorReverse})
            for (uint32_t mask : {~0u, 0x3Cu}) {
                SCOPED_TRACE(std::to_string(transparent) + " alu " + std::to_string(alu));
                const std::string text = harness::textRun(8, k);
                const BoxRec box = {int16_t(k % 5), int16_t(k % 13), int16_t(k % 5 + 7 * 8),
                                    int16_t(k % 13 + 11)};
                s().drawText(box, text, *font, Pixel(0x1F3 * (k + 1)) & s().allPlanes(),
                             Pixel(0x2C7 * (k + 2)) & s().allPlanes(), alu, mask, transparent);
                k++;
                EXPECT_SCREEN_SAME(s());
            }
    EXPECT_TRUE(server::genCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Depths, SimraGlyphPixels, ::testing::Values(8, 15, 16), depthName);

// At depth 15 the pixels' top bit is in no colour the engine is given: the
// cache keeps to the fifteen planes it can write and test.
TEST(SimraGlyphPixels15, SixteenSizesAllDrawRight) {
    auto s = startScreen(smallConfig(15, 128, 48));
    s->fillRandom(2);
    GlyphFont f;
    GlyphSet g;
    // Growing sizes: none fits a plane cut before it.
    for (int i = 0; i < 16; i++)
        g.add((i % 4) * 24, (i / 4) * 6, 6 + i, 6 + i, i, uint32_t(i));
    s->drawMonoGlyphs(g.records(), 0x7ABC, GXcopy, ~0u, f.priv());
    EXPECT_SCREEN_SAME(*s);
    s->drawMonoGlyphs(g.records(), 0x1357, GXxor, ~0u, f.priv());
    EXPECT_SCREEN_SAME(*s);
}

// ---- text fonts ----

TEST(SimraText, LoadedOnceDrawnFromTheRunWithTheModeOfTransparency) {
    auto s = startScreen(smallConfig(8));
    Wd90c33Adapter &b = board(*s);
    auto font = harness::Font::random(6, 9, 100, 11);
    b.clearLog();
    s->drawText({0, 0, 6, 9}, "A", *font, 3, 4);
    EXPECT_GT(b.stats().hostWords, 0u) << "the first string loads the font";
    EXPECT_EQ(font->priv()->fontId, 2);
    const GlyphCell *run = cellOf(*s, 2, -1);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(b.reg(1, 2), run[65].x) << "code 65 from the 66th cell";
    EXPECT_EQ(b.reg(1, 3), run[65].y);
    EXPECT_EQ(b.reg(1, 1), 0x460);
    b.clearLog();
    s->drawText({10, 10, 34, 19}, "ABCD", *font, 3, 4, GXcopy, ~0u, true);
    EXPECT_EQ(b.stats().hostWords, 0u) << "a second string only draws";
    EXPECT_EQ(b.stats().commands, 4u);
    EXPECT_EQ(b.reg(1, 1), 0x4E0);
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraText, FontsThatCannotBePlacedGoToTheServerAndKeepNoId) {
    struct Case {
        const char *name;
        int width, height, count;
    };
    // A run wider than any plane holds; glyphs without width.
    for (Case c : {Case{"TooManyCells", 30, 30, 300}, Case{"NoWidth", 0, 9, 10}}) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        auto s = startScreen(smallConfig(8));
        auto font = harness::Font::random(c.width, c.height, c.count, 1);
        s->drawText({0, 0, int16_t(2 * c.width), int16_t(c.height)}, std::string(2, '\1'), *font, 3,
                    4);
        EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
        EXPECT_EQ(font->priv()->fontId, 0);
        EXPECT_SCREEN_SAME(*s);
    }
}

// ---- refused allocations ----

TEST(SimraGlyphAlloc, RefusedTablesOrCellsLeaveGlyphsToTheHostPort) {
    for (long allowed : {0L, 1L, 2L}) {
        SCOPED_TRACE(allowed);
        harness::beginCase();
        auto s = startScreen(smallConfig(8));
        GlyphFont f;
        GlyphSet g;
        g.add(0, 0, 9, 9, 1, 1);
        // Refused at the next switch: the tables (0 or 1 allowed), or the
        // plane's cell array (2 allowed).
        s->switchAway();
        server::failAllocationAfter(allowed);
        s->switchBack();
        s->drawMonoGlyphs(g.records(), 5, GXcopy, ~0u, f.priv());
        server::failAllocationAfter(-1);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(cellOf(*s, 2, 1), nullptr);
        // With the tables, the plane stays empty and usable.
        const Private &p = privateOf(*s);
        if (allowed == 2) {
            ASSERT_NE(p.planes, nullptr);
            EXPECT_EQ(p.planes[0].cells, nullptr);
            GlyphSet g2;
            g2.add(20, 0, 9, 9, 2, 2);
            s->drawMonoGlyphs(g2.records(), 6, GXcopy, ~0u, f.priv());
            EXPECT_NE(cellOf(*s, 2, 2), nullptr);
            EXPECT_SCREEN_SAME(*s);
        } else {
            EXPECT_EQ(p.planes, nullptr);
            EXPECT_EQ(p.buckets, nullptr);
        }
        s->freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- console switch and close ----

TEST(SimraGlyphSwitch, TheCacheIsGoneWhileAwayAndMadeAnewOnReturn) {
    auto s = startScreen(smallConfig(16));
    s->fillRandom(4);
    auto font = harness::Font::random(8, 10, 64, 3);
    GlyphFont f;
    GlyphSet g;
    g.add(3, 3, 10, 10, 1, 1);
    s->drawMonoGlyphs(g.records(), 0x1234, GXcopy, ~0u, f.priv());
    s->drawText({0, 14, 32, 24}, "ABCD", *font, 0x4321, 0x1111);
    s->saveGState();
    EXPECT_EQ(privateOf(*s).planes, nullptr);
    // A font closed while away, and drawing before the mode comes back.
    s->closeFont(*font);
    s->nfb()->ClearFont(f.priv(), s->screen());
    s->drawMonoGlyphs(g.records(), 0x2222, GXxor, ~0u, f.priv());
    s->drawText({0, 14, 32, 24}, "DCBA", *font, 0x4321, 0x1111);
    EXPECT_SCREEN_SAME(*s);
    s->setText();
    s->setGraphics();
    s->restoreGState();
    EXPECT_NE(privateOf(*s).planes, nullptr);
    EXPECT_EQ(cellOf(*s, f.priv()->fontId, 1), nullptr);
    s->drawMonoGlyphs(g.records(), 0x3333, GXcopy, ~0u, f.priv());
    s->drawText({0, 14, 32, 24}, "ABCD", *font, 0x4321, 0x1111);
    EXPECT_NE(cellOf(*s, f.priv()->fontId, 1), nullptr);
    EXPECT_SCREEN_SAME(*s);

    // Closed right after the cache went away: nothing is freed twice.
    s->saveGState();
    s->freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    EXPECT_TRUE(server::memoryErrors().empty());
}

} // namespace
