// hobra's 8-bit text fonts in planes 3 and up: text transparent and opaque
// from every slot at both depths (opaque text always GXcopy), a font's
// glyphs in its slot's plane, a smaller font replacing a larger one, more
// than 256 glyphs, a slot outside the table, no slot at all, count 0, and
// text after a console switch.
#include <memory>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

struct FontSlot {
    int32_t readMask, writeMask;
    struct {
        int16_t x, y;
    } cells[256];
};
const FontSlot &fontSlot(harness::Screen &s, int slot) {
    return static_cast<const FontSlot *>(privateOf(s).fontSlots)[slot];
}

int blits(const sim::Trace &t) {
    int n = 0;
    for (const PortWrite &w : engineWrites(t))
        n += w.first == sim::hobraport::Command && w.second == 0xC0F3;
    return n;
}

class HobraText : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", smallBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(3);
    }
    // Text of `font` at (x, y), as wide as its characters.
    int text(const harness::Font &font, int x, int y, const std::string &chars, int alu,
             uint32_t pm, bool transparent, Pixel fg = 0x3A5, Pixel bg = 0x5C6) {
        const BoxRec box = {int16_t(x), int16_t(y), int16_t(x + font.width * int(chars.size())),
                            int16_t(y + font.height)};
        return s->drawText(box, chars, font, fg & s->allPlanes(), bg & s->allPlanes(), alu, pm,
                           transparent);
    }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, HobraText, testing::Values(8, 4),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

TEST_P(HobraText, TransparentAndOpaqueTextFromEverySlot) {
    // Rows of exactly the glyph's bytes, padded rows with stray bits past
    // the width, a font as large as a cell, and one with 200 glyphs whose
    // missing codes draw nothing.
    std::vector<std::unique_ptr<harness::Font>> fonts;
    fonts.push_back(harness::Font::random(8, 16, 256, 1));
    fonts.push_back(harness::Font::padded(10, 20, 3, 256, 2));
    fonts.push_back(harness::Font::random(16, 32, 256, 3));
    fonts.push_back(harness::Font::random(6, 9, 200, 4));
    fonts.push_back(harness::Font::padded(9, 13, 4, 256, 5));
    const std::string chars = harness::textRun(6, 5) + "\x41\xFF";
    const uint32_t mask = GetParam() == 8 ? 0x6Cu : 0x9u;
    for (size_t f = 0; f < fonts.size(); f++) {
        SCOPED_TRACE("font " + std::to_string(f));
        const harness::Font &font = *fonts[f];
        const int w = font.width * int(chars.size()) > 128 ? 4 : int(chars.size());
        const std::string c = chars.substr(chars.size() - size_t(w));
        EXPECT_EQ(text(font, 1, 1, c, GXcopy, ~0u, false), int(f));
        text(font, 3, 20, c, GXcopy, ~0u, true);
        text(font, 0, 30, c, GXor, mask, true);
        text(font, 5, 8, c, GXinvert, ~0u, true);
        EXPECT_SCREEN_SAME(*s);
    }
    // Every font still draws from its own slot.
    text(*fonts[0], 8, 5, chars, GXand, ~0u, true);
    text(*fonts[1], 8, 30, "hobra", GXcopy, mask, false);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Image text paints fg and bg with GXcopy whatever the GC's alu says; the
// plane mask still holds.
TEST_P(HobraText, OpaqueTextAlwaysCopies) {
    auto font = harness::Font::random(8, 16, 256, 7);
    for (int alu : {GXxor, GXand, GXclear, GXnoop}) {
        SCOPED_TRACE(alu);
        const ref::Canvas before = s->mirror();
        const BoxRec box = {4, 4, 4 + 8 * 6, 4 + 16};
        const uint32_t pm = alu == GXand ? 0x5u : ~0u;
        s->drawText(box, "8514/A", *font, 0x1E & s->allPlanes(), 0x7 & s->allPlanes(), alu, pm);
        s->mirror() = before;
        ref::drawFontText(s->mirror(), box, reinterpret_cast<const uint8_t *>("8514/A"), 6,
                          font->info, 0x1E & s->allPlanes(), 0x7 & s->allPlanes(), GXcopy, pm,
                          false);
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(HobraText, CountZeroDrawsNothing) {
    auto font = harness::Font::random(8, 16, 256, 9);
    text(*font, 4, 4, "x", GXcopy, ~0u, false);
    s->machine().clearTrace();
    EXPECT_EQ(text(*font, 4, 30, "", GXcopy, ~0u, false), 0);
    EXPECT_EQ(blits(s->machine().trace()), 0);
    EXPECT_SCREEN_SAME(*s);
}

// The console switch clears all video memory: the layer downloads the
// font again on its first use afterwards.
TEST_P(HobraText, TextAfterAConsoleSwitch) {
    auto font = harness::Font::random(8, 16, 256, 11);
    text(*font, 4, 4, "before", GXcopy, ~0u, false);
    s->switchAway();
    s->switchBack();
    s->blankScreen(false);
    s->syncMirror();
    s->fillRandom(12);
    text(*font, 4, 20, "after", GXcopy, ~0u, false);
    text(*font, 40, 40, "after", GXxor, ~0u, true);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// ---- the store ----

int planeBit(harness::Screen &s, int x, int y, int plane) {
    s.drain();
    return (adapter(s).vram()->data()[size_t(y) * 1024 + size_t(x)] >> plane) & 1;
}

// Slot 4 of an 8-plane board is plane 7; glyph 65 is the second cell of
// the second row, at 16, 32 from the planeArea's corner.
TEST(HobraTextStore, GlyphsLieInTheirSlotsPlaneAndCell) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    std::vector<std::unique_ptr<harness::Font>> fonts;
    for (int f = 0; f < 5; f++)
        fonts.push_back(harness::Font::padded(11, 17, 2, 256, uint32_t(20 + f)));
    for (int f = 0; f < 5; f++)
        EXPECT_EQ(s.drawText({0, 0, 11, 17}, "A", *fonts[size_t(f)], 1, 0), f);
    const FontSlot &slot = fontSlot(s, 4);
    EXPECT_EQ((std::vector<int>{slot.writeMask, slot.readMask}), (std::vector<int>{0x80, 0x101}));
    const Private &p = privateOf(s);
    EXPECT_EQ((std::vector<int>{slot.cells[65].x, slot.cells[65].y}),
              (std::vector<int>{p.planeArea.x + 16, p.planeArea.y + 32}));
    const harness::Font &last = *fonts[4];
    for (int row = 0; row < last.height; row++)
        for (int col = 0; col < last.width; col++) {
            const int bit = (last.glyphs[65][size_t(row * last.stride + col / 8)] >> (col % 8)) & 1;
            ASSERT_EQ(planeBit(s, slot.cells[65].x + col, slot.cells[65].y + row, 7), bit)
                << col << ", " << row;
        }
    EXPECT_EQ(s.failureText(), "");
}

// One slot only (4 planes, the planeArea below the screen): each font
// takes the place of the last, and nothing of a larger one shows through
// a smaller one.
TEST(HobraTextStore, ASmallerFontLeavesNothingOfTheLastOne) {
    graf::Config c = board(kBoard4);
    c.ints["PIXWIDTH"] = 128;
    c.ints["PIXHEIGHT"] = 64;
    c.ints["OFFSCRX"] = 0;
    c.ints["OFFSCRY"] = 768;
    c.ints["OFFSCRW"] = 1024;
    c.ints["OFFSCRH"] = 256;
    harness::Screen s("hobra", c, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(privateOf(s).fontSlotCount, 1);
    s.fillRandom(4);
    auto large = harness::Font::random(16, 32, 256, 1);
    auto small = harness::Font::random(6, 9, 100, 2);
    EXPECT_EQ(s.drawText({0, 0, 64, 32}, "\x01\x70\xC8\xFF", *large, 5, 10), 0);
    // Codes 100 and up have no glyph in the small font: they draw blank.
    EXPECT_EQ(s.drawText({0, 40, 36, 49}, "\x01\x70\xC8\xFF\x30\x63", *small, 9, 6), 0);
    EXPECT_EQ(
        s.drawText({50, 40, 86, 49}, "\x01\x70\xC8\xFF\x30\x63", *small, 3, 0, GXxor, 0xF, true),
        0);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
}

// A font of 300 glyphs fills the 256 cells of its slot and no more, also in
// the last slot of the table.
TEST(HobraTextStore, MoreThan256GlyphsStopAtTheSlotsEnd) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    std::vector<std::unique_ptr<harness::Font>> fonts;
    for (int f = 0; f < 5; f++)
        fonts.push_back(harness::Font::random(8, 12, f == 0 || f == 4 ? 300 : 256, uint32_t(f)));
    std::string all;
    for (int c = 0; c < 16; c++)
        all.push_back(char(c * 17));
    for (int f = 0; f < 5; f++)
        EXPECT_EQ(s.drawText({0, int16_t(12 * f), 128, int16_t(12 * f + 12)}, all,
                             *fonts[size_t(f)], 7, 2),
                  f);
    // The first font is still whole: the second one's download did not
    // spill into its plane.
    s.drawText({0, 50, 128, 62}, all, *fonts[0], 1, 6, GXxor, ~0u, true);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
}

// A slot the table does not have goes to the layer's generic routine with
// the call's own arguments.
TEST(HobraTextStore, ASlotOutsideTheTableGoesToTheGenericRoutine) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    DrawFontText8Proc draw = s.winOps()->text.DrawFontText8;
    uint8_t chars[] = "ab";
    for (int slot : {5, -1, 1000}) {
        SCOPED_TRACE(slot);
        server::clearGenCalls();
        BoxRec box = {2, 2, 18, 18};
        s.call("DrawFontText8",
               [&] { draw(&box, chars, 2, 8, slot, 1, 2, GXor, 0xF0, 1, s.drawable()); });
        const auto calls = server::genCallsOf("genWinOp10");
        ASSERT_EQ(calls.size(), 1u);
        using server::arg;
        EXPECT_EQ(calls[0].args,
                  (std::vector<uint64_t>{arg(&box), arg(chars), arg(2), arg(8), arg(slot), arg(1),
                                         arg(2), arg(GXor), arg(0xF0), arg(1), arg(s.drawable())}));
    }
    EXPECT_EQ(s.failureText(), "");
}

// Without a slot the layer draws text glyph by glyph through the
// monochrome image slots.
TEST(HobraTextStore, NoSlotDrawsThroughTheImageSlots) {
    graf::Config c = smallBoard(8);
    c.ints["OFFSCRH"] = 128;
    harness::Screen s("hobra", c, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(privateOf(s).fontSlotCount, 0);
    s.fillRandom(6);
    auto font = harness::Font::random(8, 16, 256, 9);
    EXPECT_EQ(s.drawText({4, 4, 36, 20}, "8514", *font, 1, 2), -1);
    EXPECT_EQ(s.drawText({5, 30, 37, 46}, "8514", *font, 3, 2, GXxor, ~0u, true), -1);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
