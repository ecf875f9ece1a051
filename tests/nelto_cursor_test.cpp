// nelto hardware cursor and palette: the image's unit after the screen, the
// image bytes, the position and edge offsets, the colour stacks by depth,
// SetColor's re-colouring of the cursor and the palette reload.
#include "nelto_fixture.h"

namespace neltotest {
namespace {

harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

TEST(NeltoCursor, ImageInTheUnitAfterTheScreen) {
    harness::Screen s("nelto", neltoConfig(1024, 768, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const sim::S3Cursor &c = neltoOf(s).cursor();
    EXPECT_EQ(c.imageOffset(), 769u * 1024u);
    EXPECT_FALSE(c.enabled());
    auto cursor = harness::makeCursor({"FFBB", "F..B"}, 1, 1);
    s.setCursor(cursor->ptr(), 100, 50);
    EXPECT_TRUE(c.enabled());
    EXPECT_EQ(c.imageOffset(), 787456u);
    EXPECT_EQ(c.x(), 99);
    EXPECT_EQ(c.y(), 49);
    using P = sim::S3Cursor::Pixel;
    sim::S3Cursor::Image img = c.image();
    EXPECT_EQ(img[0][0], P::Foreground);
    EXPECT_EQ(img[0][2], P::Background);
    EXPECT_EQ(img[1][1], P::Transparent);
    EXPECT_EQ(img[1][3], P::Background);
    EXPECT_EQ(img[0][4], P::Transparent);
    EXPECT_EQ(img[2][0], P::Transparent);
    // The screen itself is untouched.
    s.mirror() = ref::Canvas(1024, 768, 1, 8);
    EXPECT_SCREEN_SAME(s);
    // No cursor: off, the unit kept.
    s.setCursor(nullptr, 0, 0);
    EXPECT_FALSE(c.enabled());
    EXPECT_EQ(c.imageOffset(), 787456u);
}

// An 8-pixel cursor: one pair from its single byte (AND 0xFF00 with the
// reversed complement of the mask, XOR the reversed mask-and-source), then
// three transparent pairs; rows below it transparent.
TEST(NeltoCursor, EightPixelCursorImageBytes) {
    harness::Screen s("nelto", neltoConfig(64, 16, 16), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    // Mask 0b00111101 (bits from the left: pixels 0, 2-5), source on 0 and 4.
    auto cursor = harness::makeCursor({"F.BBFB.."}, 0, 0);
    s.setCursor(cursor->ptr(), 10, 5);
    s.drain();
    const uint8_t *img = neltoOf(s).vram()->data() + neltoOf(s).cursor().imageOffset();
    uint8_t m = 0x3D, src = 0x11;
    uint16_t andWord = uint16_t(0xFF00 | ddxBitSwap[uint8_t(~m)]);
    uint16_t xorWord = ddxBitSwap[uint8_t(m & src)];
    EXPECT_EQ(img[0] | img[1] << 8, andWord);
    EXPECT_EQ(img[2] | img[3] << 8, xorWord);
    for (int pair = 1; pair < 4; pair++) {
        EXPECT_EQ(img[pair * 4] | img[pair * 4 + 1] << 8, 0xFFFF);
        EXPECT_EQ(img[pair * 4 + 2] | img[pair * 4 + 3] << 8, 0x0000);
    }
    for (int i = 16; i < 1024; i += 4) {
        ASSERT_EQ(img[i] | img[i + 1] << 8, 0xFFFF) << i;
        ASSERT_EQ(img[i + 2] | img[i + 3] << 8, 0) << i;
    }
}

TEST(NeltoCursor, EdgeOffsetsAndPosition) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::NeltoAdapter &a = neltoOf(s);
    auto cursor = harness::makeCursor({"FF", "FF"}, 10, 10);
    s.setCursor(cursor->ptr(), 30, 20);
    struct Case {
        int x, y;
        uint8_t cr4e, cr4f;
        int cx, cy;
    } cases[] = {
        {30, 20, 0, 0, 20, 10}, {10, 5, 0, 4, 0, 0},      // y' -5: 4
        {10, 4, 0, 6, 0, 0},    {7, 10, 3, 0, 0, 0},      // y' -6: 6; x' -3
        {300, 9, 0, 0, 290, 0}, {-80, -80, 63, 62, 0, 0}, // offsets stop at the image's end
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
        s.moveCursor(c.x, c.y);
        EXPECT_EQ(a.cr(0x4E), c.cr4e);
        EXPECT_EQ(a.cr(0x4F), c.cr4f);
        EXPECT_EQ(a.cursor().x(), c.cx);
        EXPECT_EQ(a.cursor().y(), c.cy);
    }
}

struct ColourCase {
    int depth;
    bool newCursColor;
    std::vector<uint8_t> fg, bg;
};

class NeltoCursorColours : public testing::TestWithParam<ColourCase> {};

TEST_P(NeltoCursorColours, StackBytesByDepth) {
    const ColourCase &c = GetParam();
    graf::Config cfg = neltoConfig(64, 16, c.depth);
    if (c.newCursColor)
        cfg.ints["NEWCURSCOLOR"] = 1;
    harness::Screen s("nelto", cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    if (c.depth == 8) {
        ColormapPtr map = s.defaultColormap();
        map->red[0].co.local = {0, 0, 0};
        map->red[1].co.local = {0xFFFF, 0xFFFF, 0xFFFF};
        map->red[9].co.local = {0x1200, 0x3400, 0x5600};
        map->red[17].co.local = {0xF000, 0x8000, 0x1000};
        s.nfb()->installedCmap = map;
    }
    auto cursor = harness::makeCursor({"FB"}, 0, 0, 0xF0A0, 0x8070, 0x1020, 0x1234, 0x3456, 0x5678);
    sim::NeltoAdapter &a = neltoOf(s);
    s.setCursor(cursor->ptr(), 3, 3);
    // The second CR45 read (before the background) restarted both stacks.
    ASSERT_EQ(a.foregroundWrites(), 0);
    ASSERT_EQ(a.backgroundWrites(), int(c.bg.size()));
    for (size_t i = 0; i < c.fg.size(); i++) {
        EXPECT_EQ(a.cursorForeground()[i], c.fg[i]) << i;
        EXPECT_EQ(a.cursorBackground()[i], c.bg[i]) << i;
    }
    // Setting the cursor again writes the stacks afresh (a CR45 read first).
    s.setCursor(cursor->ptr(), 4, 4);
    EXPECT_EQ(a.backgroundWrites(), int(c.bg.size()));
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
}

INSTANTIATE_TEST_SUITE_P(Depths, NeltoCursorColours,
                         testing::Values(
                             // Palette indices, twice: the closest entries 17 and 9.
                             ColourCase{8, false, {17, 17}, {9, 9}},
                             // 5-6-5 from the components, low byte first.
                             ColourCase{15, false, {0x02, 0xF4}, {0xAA, 0x11}},
                             ColourCase{16, false, {0x02, 0xF4}, {0xAA, 0x11}},
                             // Blue, green, red.
                             ColourCase{24, false, {0x10, 0x80, 0xF0}, {0x56, 0x34, 0x12}},
                             ColourCase{32, false, {0x10, 0x80, 0xF0}, {0x56, 0x34, 0x12}},
                             ColourCase{8, true, {0x10, 0x80, 0xF0}, {0x56, 0x34, 0x12}}),
                         [](const auto &info) {
                             return "depth" + std::to_string(info.param.depth) +
                                    (info.param.newCursColor ? "new" : "");
                         });

// SetColor on a cursor colour's entry re-colours the cursor once; other
// entries, or the same colour again, only reach the DAC.
TEST(NeltoPalette, SetColorRecoloursTheCursorOnce) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    map->red[5].co.local = {0xFFFF, 0, 0};
    map->red[6].co.local = {0, 0, 0xFFFF};
    s.nfb()->installedCmap = map;
    auto cursor = harness::makeCursor({"FB"}, 0, 0, 0xFFFF, 0, 0, 0, 0, 0xFFFF);
    s.setCursor(cursor->ptr(), 3, 3);
    sim::NeltoAdapter &a = neltoOf(s);
    ASSERT_EQ(a.cursorForeground()[0], 5);
    ASSERT_EQ(a.cursorBackground()[0], 6);

    auto cr45Reads = [&] {
        size_t n = 0;
        const sim::Trace &t = s.machine().trace();
        for (size_t i = 1; i < t.size(); i++)
            n += t[i].kind == sim::Access::PortIn && t[i].address == 0x3D5 &&
                 t[i - 1].kind == sim::Access::PortOut && t[i - 1].address == 0x3D4 &&
                 t[i - 1].value == 0x45;
        return n;
    };
    struct Case {
        int index;
        uint16_t r, g, b;
        size_t recolourings;
    } cases[] = {{7, 0x1000, 0x2000, 0x3000, 0},
                 {5, 0xFFFF, 0, 0, 0},
                 {5, 0x8000, 0, 0, 1},
                 {6, 0, 0, 0x8000, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        s.machine().clearTrace();
        a.vga().dac.clearWrites();
        s.setColor(c.index, c.r, c.g, c.b);
        // One re-colouring reads CR45 before each of the two stacks.
        EXPECT_EQ(cr45Reads(), 2 * c.recolourings);
        ASSERT_EQ(a.vga().dac.writes().size(), 1u);
        EXPECT_EQ(
            a.vga().dac.entry(c.index),
            (sim::vga::Dac::Entry{uint8_t(c.r >> 10), uint8_t(c.g >> 10), uint8_t(c.b >> 10)}));
    }
}

// The reload after a mode set hands the entries over as kept: an 8-bit
// value in a component's low byte stays there (and reaches the DAC as 0).
TEST(NeltoPalette, ModeSetReloadsTheColormapUnwidened) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = server::createColormap(s.screen(), &s.screen()->visuals[0]);
    map->red[5].co.local = {0x8000, 0x4000, 0xFFFF};
    map->red[6].fShared = 1;
    SHAREDCOLOR r{0x00FC, 1}, g{0xFC00, 1}, b{0, 1};
    map->red[6].co.shco = {&r, &g, &b};
    s.nfb()->installedCmap = map;
    s.switchAway();
    s.switchBack();
    sim::NeltoAdapter &a = neltoOf(s);
    EXPECT_EQ(a.vga().dac.entry(5), (sim::vga::Dac::Entry{0x20, 0x10, 0x3F}));
    EXPECT_EQ(a.vga().dac.entry(6), (sim::vga::Dac::Entry{0x00, 0x3F, 0x00}));
}

} // namespace
} // namespace neltotest
