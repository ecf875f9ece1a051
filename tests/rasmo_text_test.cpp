// rasmo 8-bit text fonts in bit planes: the cell table and the slots, the
// download by plane (rows split at a line's end), text transparent and
// opaque from one plane per character at both depths, the four slots side
// by side, count 0, and copies after text (the read mask back on all
// planes).
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

class RasmoText : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(128, 96, GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(3);
    }
    uint32_t someMask() const { return GetParam() == 8 ? 0x6Cu : 0xF00Fu; }
    // Text of `font` at (x, y), as wide as its characters.
    int text(const harness::Font &font, int x, int y, const std::string &chars, int alu,
             uint32_t pm, bool transparent) {
        const BoxRec box = {int16_t(x), int16_t(y), int16_t(x + font.width * int(chars.size())),
                            int16_t(y + font.height)};
        return s->drawText(box, chars, font, 0x3A5u & s->allPlanes(), 0x5C6u & s->allPlanes(), alu,
                           pm, transparent);
    }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoText, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// The cells lie below the screen, outside a window's clip: the download
// opens the scissors, and the window's clip holds again for the text and
// after it.
TEST_P(RasmoText, FontsDownloadUnderAWindowsClip) {
    const BoxRec window = {4, 6, 120, 80};
    s->setClipRegions({window});
    auto font = harness::Font::random(8, 16, 256, 9);
    const std::string chars = harness::textRun(13, 2);
    text(*font, 6, 10, chars, GXcopy, ~0u, false);
    text(*font, 9, 40, chars, GXxor, someMask(), true);
    EXPECT_SCREEN_SAME(*s);
    const rasmoScreenPrivate *p = privOf(*s);
    EXPECT_EQ((std::vector<int>{p->clipX1, p->clipY1, p->clipX2, p->clipY2}),
              (std::vector<int>{window.x1, window.y1, window.x2, window.y2}));
    const sim::S3Regs &r = mach32Of(*s).engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{window.x1, window.y1, window.x2 - 1, window.y2 - 1}));
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoText, TransparentAndOpaqueTextInEverySlot) {
    // Rows one byte apart (8 wide), and padded rows with stray bits past the
    // glyph's width (10 wide, the cell's width).
    std::vector<std::unique_ptr<harness::Font>> fonts;
    fonts.push_back(harness::Font::random(8, 16, 256, 1));
    fonts.push_back(harness::Font::padded(10, 20, 3, 256, 2));
    fonts.push_back(harness::Font::random(6, 9, 200, 3));
    fonts.push_back(harness::Font::padded(9, 13, 2, 256, 4));
    const std::string chars = harness::textRun(9, 5) + "\x41\xFF";
    for (size_t f = 0; f < fonts.size(); f++) {
        SCOPED_TRACE("font " + std::to_string(f));
        const harness::Font &font = *fonts[f];
        std::string c = chars;
        for (char &ch : c)
            ch = char(uint8_t(ch) % font.count);
        EXPECT_EQ(text(font, 1, 1, c, GXcopy, ~0u, false), int(f));
        EXPECT_SCREEN_SAME(*s);
        text(font, 3, 25, c, GXcopy, ~0u, true);
        text(font, 0, 50, c, GXxor, someMask(), false);
        text(font, 2, 70, c, GXor, someMask(), true);
        EXPECT_SCREEN_SAME(*s);
    }
    // Every font still draws from its own planes.
    text(*fonts[0], 8, 5, chars, GXcopy, ~0u, false);
    text(*fonts[1], 8, 30, chars, GXinvert, ~0u, true);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// The text leaves the read mask on one plane unless it puts it back: a copy
// after it would read one plane only.
TEST_P(RasmoText, CopiesAfterText) {
    auto font = harness::Font::random(8, 16, 256, 9);
    text(*font, 4, 4, "Mach", GXcopy, ~0u, false);
    s->copyRect({60, 40, 120, 90}, {2, 2});
    s->copyRect({61, 41, 121, 91}, {60, 40}, GXxor);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoText, CountZeroDrawsNothing) {
    auto font = harness::Font::random(8, 16, 256, 9);
    text(*font, 4, 4, "x", GXcopy, ~0u, false);
    s->machine().clearTrace();
    EXPECT_EQ(text(*font, 4, 30, "", GXcopy, ~0u, false), 0);
    EXPECT_EQ(portWrites(*s), std::vector<PortWrite>{}) << show(portWrites(*s));
    EXPECT_SCREEN_SAME(*s);
}

// 1024 pixels a line at depth 8 with the font area at column 0 of line 486:
// cells lie 200 pixels apart and wrap at the line's end.
class RasmoFontStore : public testing::Test {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(1024, 16, 8), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        priv = privOf(*s);
        cells = static_cast<const uint32_t *>(priv->fontCells);
    }
    // Plane bit `plane` of the `n`th pixel of cell `cell`.
    int planeBit(int cell, int n, uint32_t plane) {
        const uint32_t c = cells[cell];
        const size_t at = size_t((c >> 16) * 1024 + (c & 0xFFFF) + n);
        return (mach32Of(*s).vram()->data()[at] & plane) != 0;
    }
    static int glyphBit(const harness::Font &f, int code, int n) {
        const int row = n / f.width, col = n % f.width;
        return (f.glyphs[size_t(code)][size_t(row * f.stride + col / 8)] >> (col % 8)) & 1;
    }
    std::unique_ptr<harness::Screen> s;
    rasmoScreenPrivate *priv = nullptr;
    const uint32_t *cells = nullptr;
};

TEST_F(RasmoFontStore, CellsAndSlots) {
    EXPECT_EQ(priv->fontX, 0);
    EXPECT_EQ(priv->fontY, 486);
    EXPECT_EQ(cells[0], 486u << 16);
    EXPECT_EQ(cells[1], 486u << 16 | 200);
    EXPECT_EQ(cells[5], 486u << 16 | 1000);
    EXPECT_EQ(cells[6], 487u << 16 | 176);
    const uint32_t masks[4] = {0x01, 0x10, 0x01, 0x10};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(priv->fontSlots[i].planeMask, masks[i]) << i;
        EXPECT_EQ(priv->fontSlots[i].cells, cells + (i / 2) * 64) << i;
    }
}

TEST_F(RasmoFontStore, GlyphsLieInTheirPlanesAndCells) {
    auto first = harness::Font::random(8, 16, 256, 21);
    auto second = harness::Font::random(8, 16, 256, 22);
    s->fillRandom(5);
    // Character 20 of slot 0: plane 0x01 of cell 5, which wraps after 24
    // pixels, in the middle of its fourth row.
    const BoxRec box = {900, 0, 916, 16};
    EXPECT_EQ(s->drawText(box, "\x14\x41", *first, 0xA5, 0x5A), 0);
    // Character 0x41 of slot 1: plane 0x10 << 1 = 0x20 of cell 16.
    EXPECT_EQ(s->drawText({100, 0, 116, 16}, "\x41\x14", *second, 0x33, 0xCC, GXxor, 0xFF, true),
              1);
    for (int n = 0; n < 128; n++) {
        EXPECT_EQ(planeBit(5, n, 0x01), glyphBit(*first, 20, n)) << n;
        EXPECT_EQ(planeBit(16, n, 0x20), glyphBit(*second, 0x41, n)) << n;
    }
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Without room for the FontArea no slots are offered, and the text slot
// holds the form the layer calls then.
TEST(RasmoNoFontArea, TextGoesThroughTheLayer) {
    harness::Screen s("rasmo", rasmoConfig(128, 1340, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(privOf(s)->fontOffset, 0);
    EXPECT_FALSE(s.registered().text8);
    EXPECT_EQ(s.winOps()->text.DrawFontText, genDrawFontText);
    auto font = harness::Font::random(8, 16, 256, 9);
    EXPECT_EQ(s.drawText({4, 4, 36, 20}, "Mach", *font, 1, 2), -1);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
} // namespace rasmotest
