// fuska glyph lists (DrawMonoGlyphs) and 8-bit font text (DrawFontText) at
// the four depths: colour expansion of rows staged in the ScratchArea,
// against the reference renderer across alus and plane masks, the engine's
// operations, and the fallbacks for alus the engine does not serve and for
// glyphs and runs the ScratchArea cannot hold.
#include "fuska_fixture.h"

namespace {

using namespace fuskatest;

// Glyph bitmaps that outlive the call, with random bits past each glyph's
// width and in the padding of its rows: only the box's pixels count.
struct GlyphSet {
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> glyphs;

    void add(const BoxRec &b, int padding, std::mt19937 &rng) {
        const int w = std::max(b.x2 - b.x1, 0), h = std::max(b.y2 - b.y1, 0);
        const int stride = (w + 7) / 8 + padding;
        bitmaps.emplace_back(size_t(stride) * size_t(h) + 1);
        for (uint8_t &v : bitmaps.back())
            v = uint8_t(rng());
        glyphs.push_back({b, stride, bitmaps.back().data(), int32_t(glyphs.size())});
    }
};

GlyphSet mixedGlyphs(uint32_t seed) {
    std::mt19937 rng(seed);
    GlyphSet g;
    const BoxRec boxes[] = {
        {2, 3, 3, 4},      {10, 2, 17, 15},    {20, 5, 28, 21},
        {30, 0, 39, 13},   {45, 10, 61, 26},   {70, 7, 87, 20},
        {90, 30, 123, 66}, {150, 60, 199, 80}, {130, 12, 130, 20}, // empty
    };
    int padding = 0;
    for (const BoxRec &b : boxes)
        g.add(b, padding++ % 3, rng);
    return g;
}

class FuskaGlyphs : public FuskaScreen {};

TEST_P(FuskaGlyphs, EveryAluAndPlaneMaskMatchesTheRenderer) {
    startScreen();
    size_t fallbacks = 0;
    uint32_t seed = 1;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks) {
            SCOPED_TRACE(caseName(alu, pm));
            GlyphSet g = mixedGlyphs(seed++);
            s->drawMonoGlyphs(g.glyphs, caseColour(alu, colour(seed)), alu, pm);
            fallbacks += fallsBack(depth, alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), fallbacks);
}

TEST_P(FuskaGlyphs, OneTransparentExpansionPerGlyph) {
    startScreen();
    GlyphSet g = mixedGlyphs(3);
    s->drawMonoGlyphs(g.glyphs, colour(1), GXxor);
    ASSERT_EQ(log().size(), g.glyphs.size() - 1); // the empty glyph starts nothing
    for (size_t i = 0; i < log().size(); i++) {
        SCOPED_TRACE(i);
        const BoxRec &b = g.glyphs[i].box;
        EXPECT_EQ(log()[i].kind, sim::FuskaOpKind::ExpandTransparent);
        EXPECT_EQ(log()[i].rop, 0x66);
        EXPECT_EQ(log()[i].srcX, 0);
        EXPECT_EQ(log()[i].srcY, kScratchY);
        EXPECT_EQ(log()[i].dstX, b.x1);
        EXPECT_EQ(log()[i].dstY, b.y1);
        EXPECT_EQ(log()[i].width, b.x2 - b.x1);
        EXPECT_EQ(log()[i].height, b.y2 - b.y1);
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(FuskaGlyphs, CountZeroDrawsNothing) {
    startScreen();
    s->drawMonoGlyphs({}, colour(1));
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(server::genCallsOf("genDrawMonoGlyphs").empty());
    EXPECT_SCREEN_SAME(*s);
}

// With 6 lines of ScratchArea a 7-line glyph cannot be staged: the whole list
// goes to the generic routine unchanged, and nothing is written past the end
// of video memory.
TEST_P(FuskaGlyphs, GlyphTallerThanTheScratchAreaIsGeneric) {
    startScreen(kSmallMemSize);
    std::mt19937 rng(4);
    GlyphSet g;
    g.add({10, 10, 18, 16}, 0, rng); // fits
    g.add({30, 10, 38, 10 + kSmallScratchLines + 1}, 1, rng);
    s->drawMonoGlyphs(g.glyphs, colour(2), GXcopy);
    auto calls = server::genCallsOf("genDrawMonoGlyphs");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[1], server::arg(2));
    EXPECT_EQ(calls[0].args[2], server::arg(colour(2)));
    EXPECT_EQ(calls[0].args[3], server::arg(GXcopy));
    EXPECT_EQ(calls[0].args[6], server::arg(s->drawable()));
    EXPECT_EQ(opsOf(sim::FuskaOpKind::ExpandTransparent), 0u);
    EXPECT_SCREEN_SAME(*s);

    // Exactly the ScratchArea's height is still staged.
    server::clearGenCalls();
    GlyphSet fits;
    fits.add({50, 20, 90, 20 + kSmallScratchLines}, 0, rng);
    s->drawMonoGlyphs(fits.glyphs, colour(3), GXor);
    EXPECT_TRUE(server::genCallsOf("genDrawMonoGlyphs").empty());
    EXPECT_EQ(opsOf(sim::FuskaOpKind::ExpandTransparent), 1u);
    EXPECT_SCREEN_SAME(*s);
}

// Glyphs back to back wait before restaging (the strict model reports any
// processor access while the engine runs).
TEST_P(FuskaGlyphs, EachGlyphWaitsBeforeItIsStaged) {
    startScreen();
    engine().setBusyReads(40);
    for (uint32_t i = 0; i < 4; i++) {
        GlyphSet g = mixedGlyphs(10 + i);
        s->drawMonoGlyphs(g.glyphs, colour(i), GXcopy);
    }
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Depths, FuskaGlyphs, testing::Values(8, 15, 16, 24), depthName);

// ---- font text ----

class FuskaText : public FuskaScreen {};

TEST_P(FuskaText, WidthsAlusAndPlaneMasksMatchTheRenderer) {
    startScreen();
    struct FontCase {
        int width, height, stride;
    } fonts[] = {{5, 9, 1}, {8, 13, 1}, {9, 16, 3}, {16, 20, 2}, {20, 11, 4}};
    uint32_t seed = 1;
    size_t fallbacks = 0;
    for (const FontCase &fc : fonts) {
        auto font = harness::Font::padded(fc.width, fc.height, fc.stride, 256, seed++);
        for (int alu = 0; alu < 16; alu++)
            for (uint32_t pm : kPlaneMasks)
                for (bool transparent : {false, true}) {
                    SCOPED_TRACE(caseName(alu, pm) + ", width " + std::to_string(fc.width) +
                                 (transparent ? ", transparent" : ", opaque"));
                    int count = 150 / fc.width;
                    int16_t x = int16_t(seed % 37), y = int16_t(seed % 50);
                    BoxRec box = {x, y, int16_t(x + count * fc.width), int16_t(y + fc.height)};
                    s->drawText(box, harness::textRun(count, int(seed)), *font,
                                caseColour(alu, colour(seed)), colour(seed + 7), alu, pm,
                                transparent);
                    seed++;
                    fallbacks += fallsBack(depth, alu, pm);
                    EXPECT_SCREEN_SAME(*s);
                }
    }
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), fallbacks);
}

// The string is staged side by side and expanded one character at a time
// from its own byte column.
TEST_P(FuskaText, OneExpansionPerCharacterFromItsColumn) {
    startScreen();
    auto font = harness::Font::random(12, 14, 256, 5); // two bytes a row
    BoxRec box = {7, 20, 7 + 10 * 12, 34};
    s->drawText(box, harness::textRun(10, 3), *font, colour(1), colour(2), GXcopy, ~0u, false);
    ASSERT_EQ(log().size(), 10u);
    for (size_t i = 0; i < 10; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log()[i].kind, sim::FuskaOpKind::ExpandOpaque);
        EXPECT_EQ(log()[i].srcX, int(16 * i));
        EXPECT_EQ(log()[i].srcY, kScratchY);
        EXPECT_EQ(log()[i].dstX, 7 + 12 * int(i));
        EXPECT_EQ(log()[i].width, 12);
        EXPECT_EQ(log()[i].height, 14);
    }
    engine().clearLog();
    s->drawText(box, harness::textRun(10, 3), *font, colour(3), 0, GXxor, ~0u, true);
    ASSERT_EQ(log().size(), 10u);
    EXPECT_EQ(log()[0].kind, sim::FuskaOpKind::ExpandTransparent);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(FuskaText, CountZeroDrawsNothing) {
    startScreen();
    auto font = harness::Font::random(8, 10, 256, 1);
    for (bool transparent : {false, true})
        s->drawText({10, 10, 10, 20}, "", *font, colour(1), colour(2), GXcopy, ~0u, transparent);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
    EXPECT_SCREEN_SAME(*s);
}

// Codes past the font's glyphs are blank, as are rows of a box taller than
// the font; a box narrower than the run cuts its last cell.
TEST_P(FuskaText, MissingGlyphsTallBoxesAndShortBoxes) {
    startScreen();
    auto font = harness::Font::padded(9, 10, 2, 40, 8);
    std::string chars = {char(1), char(39), char(40), char(200), char(5), char(255), char(0)};
    s->drawText({3, 3, 3 + 7 * 9, 17}, chars, *font, colour(1), colour(2), GXcopy, ~0u, false);
    EXPECT_SCREEN_SAME(*s);
    // Seven cells in a box of 41 pixels: four whole, the fifth cut to 5
    // pixels at the box's edge, the last two not drawn.
    engine().clearLog();
    s->drawText({20, 40, 20 + 5 * 9 - 4, 50}, harness::textRun(7, 2), *font, colour(3), colour(4),
                GXcopy, ~0u, false);
    ASSERT_EQ(log().size(), 5u);
    EXPECT_EQ(log()[3].width, 9);
    EXPECT_EQ(log()[4].dstX, 20 + 4 * 9);
    EXPECT_EQ(log()[4].width, 5);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
}

// A run whose cells would overflow one line of the ScratchArea (24-pixel
// glyphs take 3 bytes; 214 of them need 642 of the 640 bytes) and a run
// taller than the ScratchArea go to the generic routine with their arguments.
TEST_P(FuskaText, RunsTheScratchAreaCannotHoldAreGeneric) {
    startScreen();
    auto wide = harness::Font::random(24, 8, 256, 2);
    s->drawText({0, 10, kWidth, 18}, harness::textRun(213, 1), *wide, colour(1), colour(2), GXcopy,
                ~0u, false);
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
    EXPECT_SCREEN_SAME(*s);
    s->drawText({0, 30, kWidth, 38}, harness::textRun(214, 1), *wide, colour(3), colour(4), GXor,
                ~0u, false);
    auto calls = server::genCallsOf("genDrawFontText");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[2], server::arg(214));
    EXPECT_EQ(calls[0].args[3], server::arg(wide->priv()));
    EXPECT_EQ(calls[0].args[6], server::arg(GXor));
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(FuskaText, RunTallerThanTheScratchAreaIsGeneric) {
    startScreen(kSmallMemSize);
    auto fits = harness::Font::random(8, kSmallScratchLines, 256, 3);
    auto tall = harness::Font::random(8, kSmallScratchLines + 1, 256, 4);
    s->drawText({5, 5, 85, 5 + kSmallScratchLines}, harness::textRun(10), *fits, colour(1),
                colour(2));
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
    s->drawText({5, 30, 85, 30 + kSmallScratchLines + 1}, harness::textRun(10), *tall, colour(3),
                colour(4));
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Depths, FuskaText, testing::Values(8, 15, 16, 24), depthName);

} // namespace
