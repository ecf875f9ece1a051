// The gd6 hardware cursor (32 x 32 or 64 x 64, by the chip's SR0F) as the
// adapter model shows it: the image the chip fetches from its pattern area,
// its colours, position and enable; shifted copies for a cursor partly off
// the left or top edge; a removed cursor that stays removed. Also the
// palette write and the screen's best sizes.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "harness.h"
#include "models/gd6_adapter.h"

namespace {

using Pixel_ = sim::CirrusCursor::Pixel;
using Image = sim::CirrusCursor::Image;

struct Build {
    const char *name;
    const char *driver;
    const char *config;
    int sr0f;       // 0: as strapped
    int cursorSize; // what the chip then offers
};

void PrintTo(const Build &b, std::ostream *os) {
    *os << b.name;
}

const Build kBuilds[] = {
    {"tolva8_64", "tolva8", "cirrus/gd6/tolva8.graf", 0, 64},
    {"tolva8_32", "tolva8", "cirrus/gd6/tolva8.graf", 3 << 3, 32},
    {"tolva16_64", "tolva16", "cirrus/gd6/tolva16.graf", 0, 64},
    {"tolva16large_32", "tolva16", "cirrus/gd6/tolva16-large.graf", 0, 32},
    {"tolva16large_64", "tolva16", "cirrus/gd6/tolva16-large.graf", 2 << 3, 64},
};

std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

// An arrow with a background outline: different from its mirror images.
const std::vector<std::string> kArrow = {
    "FFFFFFFFFFFFB", "FBBBBBBBBBBB.", "FBFFFFFB.....", "FBFFFB.......", "FB..FB......F",
    "FB...FB......", "FB....FB.....", "FB.....FB....", "FB......FB...", "B.........BB.",
};

// What the chip should show for `rows` with the first dx columns and dy rows
// dropped.
Image expected(const std::vector<std::string> &rows, int size, int dx = 0, int dy = 0) {
    Image img(size_t(size), std::vector<Pixel_>(size_t(size), Pixel_::Transparent));
    for (int y = 0; y < size; y++) {
        if (size_t(y + dy) >= rows.size())
            break;
        const std::string &r = rows[size_t(y + dy)];
        for (int x = 0; x < size && size_t(x + dx) < r.size(); x++) {
            char c = r[size_t(x + dx)];
            img[size_t(y)][size_t(x)] = c == 'F' || c == 'X' ? Pixel_::Foreground
                                        : c == 'B'           ? Pixel_::Background
                                                             : Pixel_::Transparent;
        }
    }
    return img;
}

std::string describe(const Image &img) {
    std::string s;
    for (const auto &row : img) {
        for (Pixel_ p : row)
            s += p == Pixel_::Foreground ? 'F' : p == Pixel_::Background ? 'B' : '.';
        s += '\n';
    }
    return s;
}

#define EXPECT_IMAGE(adapter, want) EXPECT_EQ(describe((adapter).cursor().image()), describe(want))

class Gd6Cursor : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        graf::Config cfg = harness::loadConfig(GetParam().config);
        if (GetParam().sr0f)
            cfg.ints["SR0F"] = GetParam().sr0f;
        s = std::make_unique<harness::Screen>(GetParam().driver, cfg,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        a = dynamic_cast<sim::Gd6Adapter *>(s->adapter());
        size = GetParam().cursorSize;
    }
    std::unique_ptr<harness::Screen> s;
    sim::Gd6Adapter *a = nullptr;
    int size = 64;
};

TEST_P(Gd6Cursor, ImageColoursAndPositionAsTheChipShowsThem) {
    auto cursor = harness::makeCursor(kArrow, 2, 1, 0xFC00, 0x8000, 0x0400, 0x0400, 0x0000, 0xFFFF);
    const auto palette0 = a->vga().dac.entry(0), palette15 = a->vga().dac.entry(15);
    // The engine still runs when the call comes: the image is written only
    // after the wait (the model reports the access otherwise).
    s->copyRect({0, 0, 300, 200}, {10, 10});
    s->setCursor(cursor->ptr(), 201, 150);

    EXPECT_TRUE(a->cursor().enabled());
    EXPECT_EQ(a->cursor().size(), size);
    EXPECT_EQ(a->cursor().x(), 199);
    EXPECT_EQ(a->cursor().y(), 149);
    EXPECT_EQ(a->sr(0x13), 0x3F);
    // The last pattern of the area: where the driver's image ends, 8 KB
    // (16 KB banks: 16 KB) into the cursor bank.
    EXPECT_EQ(a->cursor().patternOffset() + uint32_t(size * size / 4), a->memSize());
    EXPECT_IMAGE(*a, expected(kArrow, size));
    EXPECT_EQ(a->cursor().foreground(), (sim::vga::Dac::Entry{0x3F, 0x20, 0x01}));
    EXPECT_EQ(a->cursor().background(), (sim::vga::Dac::Entry{0x01, 0x00, 0x3F}));
    EXPECT_EQ(a->vga().dac.entry(0), palette0);
    EXPECT_EQ(a->vga().dac.entry(15), palette15);
    EXPECT_FALSE(a->cursor().colourAccess());
    // The processor window shows the staging area again.
    EXPECT_EQ(a->bankBase(), uint32_t(s->graf().ints["WINDOWADDR"]));
    s->drawSolidRects({{0, 0, 10, 10}}, 1);
    EXPECT_SCREEN_SAME(*s);
}

// A cursor wider and higher than the chip's shows its top-left part; hot
// spots beyond it are clamped to its last pixel.
TEST_P(Gd6Cursor, LargeCursorShowsItsTopLeftAndHotSpotIsClamped) {
    std::vector<std::string> rows;
    for (int y = 0; y < 70; y++) {
        std::string r;
        for (int x = 0; x < 75; x++)
            r += ".BF"[(x * 7 + y * 3 + x / 9) % 3];
        rows.push_back(r);
    }
    auto cursor = harness::makeCursor(rows, 70, 3);
    s->setCursor(cursor->ptr(), 300, 300);
    EXPECT_EQ(a->cursor().x(), 300 - (size - 1));
    EXPECT_EQ(a->cursor().y(), 297);
    EXPECT_IMAGE(*a, expected(rows, size));
}

// Hot spot x 12 at x = 5: the chip cannot start left of the screen, so it
// shows a copy without the first 7 columns at 0. Back inside, the whole
// image again.
TEST_P(Gd6Cursor, PartlyOffTheLeftOrTopEdgeShowsAShiftedCopy) {
    auto cursor = harness::makeCursor(kArrow, 12, 3);
    struct Case {
        int x, y;
        int dx, dy;
        int wantX, wantY;
    };
    const Case cases[] = {
        {5, 40, 7, 0, 0, 37}, {20, 40, 0, 0, 8, 37}, {100, 1, 0, 2, 88, 0},      {4, 0, 8, 3, 0, 0},
        {12, 3, 0, 0, 0, 0},  {0, 2, 12, 1, 0, 0},   {300, 300, 0, 0, 288, 297},
    };
    s->setCursor(cursor->ptr(), 300, 300);
    const size_t live = server::liveBlockCount();
    for (const Case &c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.x) + ", " + std::to_string(c.y));
        s->moveCursor(c.x, c.y);
        EXPECT_TRUE(a->cursor().enabled());
        EXPECT_EQ(a->cursor().x(), c.wantX);
        EXPECT_EQ(a->cursor().y(), c.wantY);
        EXPECT_IMAGE(*a, expected(kArrow, size, c.dx, c.dy));
    }
    EXPECT_EQ(server::liveBlockCount(), live);
}

// After SetCursor with no cursor, nothing shows the old one again: not a
// move, not a move out of the edge that would otherwise download it.
TEST_P(Gd6Cursor, RemovedCursorStaysOff) {
    auto cursor = harness::makeCursor(kArrow, 12, 3);
    s->setCursor(cursor->ptr(), 5, 5); // a shifted copy
    ASSERT_TRUE(a->cursor().enabled());
    s->setCursor(nullptr, 100, 100);
    EXPECT_FALSE(a->cursor().enabled());
    for (DDXPointRec p : {DDXPointRec{200, 200}, DDXPointRec{0, 0}, DDXPointRec{3, 100}}) {
        s->moveCursor(p.x, p.y);
        EXPECT_FALSE(a->cursor().enabled());
    }
    s->setCursor(cursor->ptr(), 50, 60);
    EXPECT_TRUE(a->cursor().enabled());
    EXPECT_EQ(a->cursor().x(), 38);
    EXPECT_IMAGE(*a, expected(kArrow, size));
}

// Odd coordinates: the low three bits go in the index byte. Each move comes
// while a copy still runs: the position is written only after the wait (the
// model reports the cursor registers otherwise).
TEST_P(Gd6Cursor, PositionIsExactToThePixel) {
    auto cursor = harness::makeCursor({"F"}, 0, 0);
    s->setCursor(cursor->ptr(), 0, 0);
    for (DDXPointRec p :
         {DDXPointRec{1, 2}, DDXPointRec{7, 9}, DDXPointRec{1023, 767}, DDXPointRec{517, 333}}) {
        s->copyRect({100, 100, 140, 120}, {short(p.x % 64), short(p.y % 64)});
        s->moveCursor(p.x, p.y);
        EXPECT_EQ(a->cursor().x(), p.x);
        EXPECT_EQ(a->cursor().y(), p.y);
    }
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Cursor, ::testing::ValuesIn(kBuilds), buildName);

// ---- palette and best sizes ----

TEST(Gd6Palette, ComponentsGoToTheDacAsSixBits) {
    harness::Screen s("tolva8", harness::loadConfig("cirrus/gd6/tolva8.graf"),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    auto *a = dynamic_cast<sim::Gd6Adapter *>(s.adapter());
    s.setColor(77, 0xFFFF, 0x8000, 0x03FF);
    EXPECT_EQ(a->vga().dac.entry(77), (sim::vga::Dac::Entry{0x3F, 0x20, 0x00}));
}

TEST(Gd6BestSize, CursorsAreLimitedToTheScreenOtherClassesUntouched) {
    harness::Screen s("tolva8", harness::loadConfig("cirrus/gd6/tolva8.graf"),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    struct Case {
        int cls;
        uint16_t w, h, wantW, wantH;
    };
    for (Case c : {Case{CursorShape, 2000, 2000, 1024, 768}, Case{CursorShape, 32, 900, 32, 768},
                   Case{CursorShape, 64, 64, 64, 64}, Case{TileShape, 2000, 2000, 2000, 2000},
                   Case{StippleShape, 3000, 5, 3000, 5}}) {
        uint16_t w = c.w, h = c.h;
        s.screen()->QueryBestSize(c.cls, &w, &h, s.screen());
        EXPECT_EQ(w, c.wantW);
        EXPECT_EQ(h, c.wantH);
    }
}

} // namespace
