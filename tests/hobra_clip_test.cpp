// hobra's off-screen stores under a window's clip: staged bitmaps,
// stipples, tiles, the glyph cache and downloaded text fonts lie outside
// any window, so the scissors open over the whole drawing space while a
// store is written, and the window's clip holds again for the drawing and
// after the call, in both clip forms.
#include <functional>
#include <memory>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

struct ClipCase {
    const char *label;
    std::function<void(harness::Screen &)> draw; // inside kWindow
};

void PrintTo(const ClipCase &c, std::ostream *os) {
    *os << c.label;
}

// A window well inside the 128 x 64 screen; every case draws inside it.
const BoxRec kWindow = {8, 4, 120, 60};

std::vector<uint8_t> bits(int bytes, unsigned seed) {
    std::vector<uint8_t> b(static_cast<size_t>(bytes));
    for (uint8_t &v : b) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

const std::vector<std::string> kStipple = {"X..X.XX.", ".XX..X.X", "X.X.X..X", "..XXX.X."};

const ClipCase kCases[] = {
    {"StagedBitmap",
     [](harness::Screen &s) {
         // x1 not a multiple of 4: stored into plane 0 of the planeArea first.
         s.drawOpaqueMonoImage({13, 6, 110, 40}, bits(13 * 34, 1), 3, 13, 0x5A, 0xC3);
         s.drawMonoImage({10, 41, 70, 58}, bits(8 * 17, 2), 1, 8, 0x3C);
     }},
    {"Stipples",
     [](harness::Screen &s) {
         for (int style : {FillStippled, FillOpaqueStippled}) {
             GCPtr gc = s.createGC({.fillStyle = style,
                                    .alu = GXxor,
                                    .fg = 0x96,
                                    .bg = 0x21,
                                    .stipple = s.stipple(kStipple),
                                    .patOrg = {3, 1}});
             s.fillRects(gc, {{9, 5, 60, 30}, {62, 20, 119, 59}});
         }
     }},
    {"Tiles",
     [](harness::Screen &s) {
         std::vector<uint8_t> tile = bits(6 * 5, 3);
         s.tileRects({{9, 5, 60, 30}, {62, 20, 119, 59}}, tile, 6, 6, 5, {1, 2});
         s.tileRects({{20, 31, 50, 59}, {70, 5, 118, 18}}, tile, 6, 6, 5, {0, 0}, GXxor);
     }},
    {"GlyphCache",
     [](harness::Screen &s) {
         static std::unique_ptr<harness::Font> font;
         font = harness::Font::random(9, 14, 64, 5);
         std::vector<MonoGlyphRec> glyphs;
         for (int i = 0; i < 10; i++) {
             int x = 10 + i * 10, y = 6 + (i % 3) * 16;
             glyphs.push_back({{int16_t(x), int16_t(y), int16_t(x + 9), int16_t(y + 14)},
                               font->stride,
                               font->glyphs[static_cast<size_t>(i + 1)],
                               i + 1});
         }
         s.drawMonoGlyphs(glyphs, 0x7E, GXcopy, ~0u, font->priv());
     }},
    {"TextFont",
     [](harness::Screen &s) {
         static std::unique_ptr<harness::Font> font;
         font = harness::Font::random(8, 16, 256, 6);
         const std::string chars = harness::textRun(12, 3);
         s.drawText({12, 8, 12 + 8 * 12, 24}, chars, *font, 0x41, 0xB2);
         s.drawText({12, 30, 12 + 8 * 12, 46}, chars, *font, 0x1F, 0, GXcopy, ~0u, true);
     }},
};

class HobraWindowClip : public testing::TestWithParam<std::tuple<const char *, ClipCase>> {};

TEST_P(HobraWindowClip, StoresOpenTheScissorsAndTheWindowsClipComesBack) {
    const auto &[file, c] = GetParam();
    harness::Screen s("hobra", smallBoard(8, 128, 64, file), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(7);
    s.setClipRegions({kWindow});
    c.draw(s);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(box(privateOf(s).clip), box(kWindow));
    const sim::S3Regs &r = adapter(s).engine().regs();
    EXPECT_EQ(
        (std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight + 1, r.scissorBottom + 1}),
        box(kWindow));
    EXPECT_EQ(s.failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(Stores, HobraWindowClip,
                         testing::Combine(testing::Values(kBoard8, kBoardAti),
                                          testing::ValuesIn(kCases)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == kBoard8 ? "Scissors"
                                                                                   : "AtiPorts") +
                                    std::get<1>(info.param).label;
                         });

} // namespace
