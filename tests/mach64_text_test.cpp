// Mach64 text fonts: the slot layout offered to the layer, fonts downloaded
// into their slots (codes past the font blank) and drawn transparent and
// opaque against the reference renderer over builds, depths, alus and plane
// masks; the FIFO waits of a long run; what a download leaves for the next
// routine; slots and glyph counts out of range; and vandu's 800 x 600 x 32
// screen on 2 MB, which leaves glyphs and text to the server.
#include "mach64_fixture.h"

namespace m64test {
namespace {

const teskFontSlot &slotOf(harness::Screen &s, int slot) {
    return static_cast<const teskFontSlot *>(privateOf(s).fontSlots)[slot];
}

// 1024 x 768 at depth 8 on 2 MB: 1280 lines below the screen, a FontArea
// of 1230 lines, 16 cells a line, 16 lines a font, 76 slots. At depth 32
// a cell is 16 pixels: 64 cells a line, 4 lines a font.
TEST(Mach64TextLayout, SlotsOfTheFontArea) {
    struct Case {
        int depth, height, slots, cellPixels, linesPerFont;
    } cases[] = {{8, 768, 76, 64, 16}, {32, 16, 111, 16, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        harness::beginCase();
        harness::Screen s("tesk", m64Config(kTesk, c.depth, 1024, c.height), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        const teskScreenPrivate &p = privateOf(s);
        EXPECT_EQ(p.fontSlotCount, c.slots);
        EXPECT_TRUE(s.registered().text8);
        EXPECT_EQ(s.registered().text8Slots, c.slots);
        EXPECT_EQ(s.registered().text8CellWidth, 16);
        EXPECT_EQ(s.registered().text8CellHeight, 32);
        const int perLine = 1024 / c.cellPixels;
        for (int slot : {0, 1, c.slots - 1})
            for (int code : {0, 17, perLine, 255}) {
                EXPECT_EQ(slotOf(s, slot).cells[code].x, c.cellPixels * (code % perLine));
                EXPECT_EQ(slotOf(s, slot).cells[code].y,
                          c.height + 49 + slot * c.linesPerFont + code / perLine);
            }
        EXPECT_LE((p.fontArea.y + c.slots * c.linesPerFont) * 1024 * (c.depth / 8), 2 << 20);
        s.freeScreen();
        EXPECT_FALSE(s.registered().text8);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

struct TextCase {
    Build build;
    int depth;
};

class Mach64Text : public testing::TestWithParam<TextCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            GetParam().build.driver, m64Config(GetParam().build, GetParam().depth, kWidth, 40),
            quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(6);
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    int text(const harness::Font &f, int x, int y, const std::string &chars, int alu, uint32_t pm,
             bool transparent, uint32_t seed) {
        const BoxRec box = {int16_t(x), int16_t(y), int16_t(x + f.width * int(chars.size())),
                            int16_t(y + f.height)};
        return s->drawText(box, chars, f, colour(seed), colour(seed + 9), alu, pm, transparent);
    }
    std::unique_ptr<harness::Screen> s;
};

// Fonts of 95 glyphs (codes 95 to 255 blank), of padded rows, of the
// largest glyph a cell takes, and narrow ones; each in its own slot.
TEST_P(Mach64Text, TransparentAndOpaqueRuns) {
    std::vector<std::unique_ptr<harness::Font>> fonts;
    fonts.push_back(harness::Font::random(8, 16, 95, 1));
    fonts.push_back(harness::Font::padded(12, 20, 3, 256, 2));
    fonts.push_back(harness::Font::random(16, 32, 256, 3));
    fonts.push_back(harness::Font::padded(5, 7, 2, 200, 4));
    const std::string chars = harness::textRun(13, 60) + "\x5E\x5F\xFF";
    const int alus[] = {GXcopy, GXxor, GXnand, GXorInverted};
    for (size_t f = 0; f < fonts.size(); f++) {
        SCOPED_TRACE("font " + std::to_string(f));
        const harness::Font &font = *fonts[f];
        const int run = std::min<int>(int(chars.size()), 600 / font.width);
        const std::string c = chars.substr(0, size_t(run));
        EXPECT_EQ(text(font, 1, 0, c, GXcopy, ~0u, false, 1), int(f));
        EXPECT_SCREEN_SAME(*s);
        for (int i = 0; i < 4; i++)
            text(font, 3 + i * 5, 40 - font.height - i, c, alus[i], i % 2 ? 0x5A5AA5A5u : ~0u,
                 i >= 2, uint32_t(i + 2));
        EXPECT_SCREEN_SAME(*s);
    }
    // Every font still draws from its own slot.
    text(*fonts[0], 30, 2, chars, GXcopy, ~0u, true, 7);
    text(*fonts[2], 50, 1, chars.substr(0, 20), GXinvert, ~0u, false, 8);
    EXPECT_SCREEN_SAME(*s);
}

// Spans and points after a download, which leaves the data path at one bit
// a pixel: they draw in the screen's format.
TEST_P(Mach64Text, SpansAndPointsRightAfterADownload) {
    auto font = harness::Font::random(8, 16, 256, 5);
    int slot = -1;
    s->call("DownloadFont8", [&] { slot = server::text8SlotFor(s->screen(), &font->info); });
    EXPECT_EQ(slot, 0);
    GCPtr gc = s->createGC({.alu = GXxor, .fg = colour(3)});
    s->fillSpans(gc, {{5, 3}, {100, 20}}, {50, 70});
    s->drawPoints({{7, 7}, {600, 30}}, colour(4), GXcopy);
    EXPECT_SCREEN_SAME(*s);
}

std::vector<TextCase> textCases() {
    std::vector<TextCase> out;
    for (const Build &b : kBuilds)
        for (int depth : {8, 16, 32})
            out.push_back({b, depth});
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Text, testing::ValuesIn(textCases()), [](const auto &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
});

// Twenty characters: empty-FIFO waits before the loop and before characters
// 3, 11 and 19; DST_Y_X once; the background colour only when opaque.
TEST(Mach64TextWords, WaitsEveryEightCharactersAndOneDestination) {
    harness::Screen s("vandu", m64Config(kVandu, 8, kWidth, 40), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto font = harness::Font::random(8, 16, 256, 5);
    const std::string chars = harness::textRun(20, 3);
    s.drawText({0, 0, 8, 16}, "x", *font, 1, 2); // downloaded before the trace

    for (bool transparent : {false, true}) {
        SCOPED_TRACE(transparent ? "transparent" : "opaque");
        s.machine().clearTrace();
        s.drawText({10, 20, 170, 36}, chars, *font, transparent ? 5 : 3, transparent ? 6 : 4,
                   GXcopy, ~0u, transparent);
        const teskScreenPrivate &p = privateOf(s);
        const std::string area = p.aperture ? "APERTURE" : "REGS";
        const uint32_t offset =
            p.aperture ? uint32_t(reinterpret_cast<uint8_t *>(p.regs) - p.aperture) : 0xFC00u;
        const int region = s.machine().regionIndex(area);
        std::vector<int> waitedBefore;
        int polls = 0, dstYX = 0, bkgd = 0, ch = 0;
        for (const sim::Access &a : s.machine().trace()) {
            if (a.region != region || a.width != 4 || a.address < offset ||
                a.address >= offset + 0x400)
                continue;
            const int index = int((a.address - offset) / 4);
            if (a.kind == sim::Access::MemRead && index == FIFO_STAT)
                polls++;
            if (a.kind != sim::Access::MemWrite)
                continue;
            dstYX += index == DST_Y_X;
            bkgd += index == DP_BKGD_CLR;
            if (index == SRC_OFF_PITCH && ch < 20) {
                if (polls > 0)
                    waitedBefore.push_back(ch);
                ch++;
            }
            polls = 0;
        }
        EXPECT_EQ(waitedBefore, (std::vector<int>{0, 3, 11, 19}));
        EXPECT_EQ(dstYX, 1);
        EXPECT_EQ(bkgd, transparent ? 0 : 1);
        EXPECT_SCREEN_SAME(s);
    }
}

// A slot outside the table goes to the server's routine for the form; a
// download of more than 256 glyphs stores 256.
TEST(Mach64TextWords, SlotsAndCountsOutOfRange) {
    harness::Screen s("merro", m64Config(kMerro, 16, kWidth, 40), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const int last = privateOf(s).fontSlotCount - 1;
    std::vector<std::vector<uint8_t>> bitmaps(300, std::vector<uint8_t>(16, 0xFF));
    std::vector<uint8_t *> glyphs;
    for (auto &b : bitmaps)
        glyphs.push_back(b.data());
    auto download = s.registered().downloadFont8;
    ASSERT_NE(download, nullptr);
    s.call("DownloadFont8", [&] { download(glyphs.data(), 300, 8, 16, 1, last, s.screen()); });
    s.call("DownloadFont8", [&] { download(glyphs.data(), 5, 8, 16, 1, last + 1, s.screen()); });
    s.call("DownloadFont8", [&] { download(glyphs.data(), 5, 8, 16, 1, -1, s.screen()); });

    uint8_t chars[] = {1, 2, 3};
    BoxRec box = {0, 0, 24, 16};
    for (int slot : {last + 1, -1}) {
        server::clearGenCalls();
        s.call("DrawFontText8", [&] {
            s.winOps()->text.DrawFontText8(&box, chars, 3, 8, slot, 1, 0, GXcopy, ~0u, 0,
                                           s.drawable());
        });
        EXPECT_EQ(server::genCallsOf("genWinOp10").size(), 1u) << slot;
    }
}

// vandu at 800 x 600 x 32 on 2 MB: glyphs and text are the server's, no
// slot is offered, the cache is built all the same and never filled.
TEST(Mach64TextVandu, ServerTextAt800x600x32On2MB) {
    harness::Screen s("vandu", m64Config(kVandu, 32, 800, 600), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.winOps()->DrawMonoGlyphs, genDrawMonoGlyphs);
    EXPECT_EQ(s.winOps()->text.DrawFontText, genDrawFontText);
    EXPECT_FALSE(s.registered().text8);
    EXPECT_EQ(privateOf(s).fontSlotCount, 0);
    EXPECT_EQ(privateOf(s).offScreen.height, 55);
    EXPECT_NE(privateOf(s).glyphCells, nullptr);

    auto font = harness::Font::random(8, 16, 256, 5);
    s.drawText({10, 500, 42, 516}, "Mach", *font, 0xFF00FF, 0x00FF00);
    MonoGlyphRec g{{100, 100, 108, 116}, 1, font->glyphs[7], 7};
    s.drawMonoGlyphs({g}, 0x123456, GXxor, ~0u, font->priv());
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), 1u);
    EXPECT_EQ(static_cast<teskGlyphCells *>(privateOf(s).glyphCells)->cellUsedList, nullptr);
    EXPECT_SCREEN_SAME(s);
    s.switchAway();
    s.switchBack();
    font.reset();
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// Beside it a vandu screen of another mode keeps the driver's glyph and
// text routines and the slots its layer was offered.
TEST(Mach64TextVandu, AnotherScreenOfTheLibraryKeepsItsText) {
    harness::Screen a("vandu", m64Config(kVandu, 32, 800, 600),
                      {.screenNumber = 0, .reporter = HARNESS_GTEST_REPORTER});
    harness::Screen b("vandu", m64Config(kVandu, 8, kWidth, 40),
                      {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(b.start()) << b.failureText();
    ASSERT_TRUE(a.start()) << a.failureText();
    EXPECT_EQ(a.winOps()->DrawMonoGlyphs, genDrawMonoGlyphs);
    EXPECT_NE(b.winOps()->DrawMonoGlyphs, genDrawMonoGlyphs);
    EXPECT_TRUE(b.registered().text8);
    auto font = harness::Font::random(8, 16, 256, 5);
    b.fillRandom(3);
    EXPECT_EQ(b.drawText({10, 10, 42, 26}, "Mach", *font, 1, 2), 0);
    MonoGlyphRec g{{100, 10, 108, 26}, 1, font->glyphs[7], 7};
    b.drawMonoGlyphs({g}, 0x5A, GXxor, ~0u, font->priv());
    a.drawText({10, 500, 42, 516}, "Mach", *font, 0xFF00FF, 0x00FF00);
    EXPECT_SCREEN_SAME(a);
    EXPECT_SCREEN_SAME(b);
    font.reset();
    a.freeScreen();
    b.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
} // namespace m64test
