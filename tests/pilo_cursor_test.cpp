// The pilo hardware cursor at depths 4, 8 and 16: the image the engine
// uploads into the CursorArea of each layout (doubled into the two byte
// halves at 16), its place with the offsets for the parts off the left and
// top edges, its colours matched in the installed colormap (or all ones and
// zeros at 16) and matched again when the palette changes, hiding and
// blanking, and a console switch with the cursor shown and hidden.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "models/s3_cursor.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;
using CursorPixel = sim::S3Cursor::Pixel;

struct Build {
    const char *name;
    int memoryKB, depth, width, height;
};

// A board of every layout with a CursorArea.
const Build kBuilds[] = {
    {"Depth4Half", 512, 4, 80, 24},    {"Depth4", 1024, 4, 80, 24},
    {"Depth8Half", 512, 8, 80, 24},    {"Depth8", 1024, 8, 80, 24},
    {"Depth8Wide", 2048, 8, 1025, 24}, {"Depth16", 1024, 16, 80, 24},
};

void PrintTo(const Build &b, std::ostream *os) {
    *os << b.name;
}

// One board of each depth, for what does not depend on the layout.
const Build kDepths[] = {
    {"Depth4Half", 512, 4, 80, 24},
    {"Depth8", 1024, 8, 80, 24},
    {"Depth16", 1024, 16, 80, 24},
};

std::string buildName(const testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

sim::S3Cursor cursorOf(harness::Screen &s) {
    sim::PiloAdapter &a = board(s);
    return sim::S3Cursor(*a.vram(), a.vga().crtc,
                         a.byteHalves() ? sim::S3Cursor::Layout::ByteHalves
                                        : sim::S3Cursor::Layout::WordPairs);
}

CursorPixel kindOf(char ch) {
    return ch == 'F'   ? CursorPixel::Foreground
           : ch == 'B' ? CursorPixel::Background
                       : CursorPixel::Transparent;
}

// Rows of `w` x `h` with every kind of pixel, different in each row.
std::vector<std::string> pattern(int w, int h) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++)
            r += ".FB"[(x * 7 + y * 3 + x / 5) % 3];
        rows.push_back(r);
    }
    return rows;
}

int crX(sim::PiloAdapter &a) {
    return (a.cr(0x46) << 8) | a.cr(0x47);
}
int crY(sim::PiloAdapter &a) {
    return (a.cr(0x48) << 8) | a.cr(0x49);
}

// Writes to the cursor's registers (CR45 to CR4F) that the board ignored
// because they were locked.
std::string lockedCursorWrites(sim::PiloAdapter &a) {
    std::string t;
    for (const auto &w : a.lockedWrites())
        if (w.index >= 0x45 && w.index <= 0x4F)
            t += " CR" + std::to_string(w.index) + "=" + std::to_string(w.value);
    return t;
}

class PiloCursor : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        const Build &b = GetParam();
        s_ = std::make_unique<harness::Screen>(
            "pilo", boardConfig(b.memoryKB, b.depth, b.width, b.height),
            harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

class PiloCursorDepth : public PiloCursor {};

// A 20 x 10 cursor: rows 0 to 9 from the bitmaps over 20 columns, the rest of
// the 64 x 64 image transparent; at depth 16 every pixel two byte columns.
// The address registers point at the CursorArea, the cursor is on and the
// screen is untouched.
TEST_P(PiloCursor, ImageInTheCursorArea) {
    const Build &b = GetParam();
    const Private &p = privateOf(s());
    sim::PiloAdapter &a = board(s());
    s().fillRandom(3);
    const std::vector<std::string> rows = pattern(20, 10);
    auto cur = harness::makeCursor(rows, 0, 0);
    EXPECT_TRUE(s().pointer()->RealizeCursor(s().screen(), cur->ptr()));
    s().setCursor(cur->ptr(), 30, 12);
    EXPECT_SCREEN_SAME(s());

    sim::S3Cursor c = cursorOf(s());
    EXPECT_TRUE(c.enabled());
    EXPECT_EQ(c.imageOffset(), uint32_t(p.cursorAddress) * 1024);
    const sim::S3Cursor::Image img = c.image();
    const int scale = b.depth == 16 ? 2 : 1;
    for (int r = 0; r < 64; r++)
        for (int col = 0; col < 64; col++) {
            const int x = col / scale;
            const CursorPixel want =
                r < 10 && x < 20 ? kindOf(rows[size_t(r)][size_t(x)]) : CursorPixel::Transparent;
            ASSERT_EQ(img[size_t(r)][size_t(col)], want) << "row " << r << " column " << col;
        }
    // Shown with its hot spot (0, 0) at the position.
    EXPECT_EQ(c.at(30, 12), kindOf(rows[0][0]));
    EXPECT_EQ(c.at(30 + 19, 12 + 9), kindOf(rows[9][19]));
    EXPECT_EQ(c.at(30 + 20, 12), CursorPixel::Transparent);
    EXPECT_EQ(lockedCursorWrites(a), "");
    EXPECT_TRUE(server::genCalls().empty());
}

// The words themselves for one row: at depth 4 and 8 an AND word and an XOR
// word per 16 pixels, the first 8 pixels in the low byte; at depth 16 the two
// planes in the two byte halves, each cursor pixel doubled.
TEST_P(PiloCursorDepth, WordsOfTheFirstRow) {
    const Build &b = GetParam();
    sim::PiloAdapter &a = board(s());
    auto cur = harness::makeCursor({"FB.F"}, 0, 0);
    s().setCursor(cur->ptr(), 0, 0);
    const uint8_t *img = a.vram()->data() + size_t(privateOf(s()).cursorAddress) * 1024;
    // Mask bits (leftmost first) 1101, source 1001.
    if (b.depth == 16) {
        // AND 0010 1111 doubled: 00001100 11111111; XOR 1001 0000 doubled.
        EXPECT_EQ(img[0], 0x0C);
        EXPECT_EQ(img[1], 0xFF);
        EXPECT_EQ(img[1024], 0xC3);
        EXPECT_EQ(img[1025], 0x00);
        EXPECT_EQ(img[2], 0xFF); // padding of the row: transparent
        EXPECT_EQ(img[1026], 0x00);
    } else {
        EXPECT_EQ(img[0], 0x2F);
        EXPECT_EQ(img[1], 0xFF);
        EXPECT_EQ(img[2], 0x90);
        EXPECT_EQ(img[3], 0x00);
        EXPECT_EQ(img[16], 0xFF); // row 1: transparent
        EXPECT_EQ(img[18], 0x00);
    }
}

// Hiding turns the cursor off and leaves the image alone; at depth 16
// blanking hides the cursor (one set while blanked too) and unblanking shows
// it only when it was shown.
TEST_P(PiloCursorDepth, HideBlankAndUnblank) {
    const Build &b = GetParam();
    sim::PiloAdapter &a = board(s());
    auto cur = harness::makeCursor(pattern(8, 8), 1, 1);
    s().setCursor(cur->ptr(), 10, 10);
    ASSERT_EQ(a.cr(0x45) & 1, 1);
    s().blankScreen(true);
    EXPECT_EQ(a.cr(0x45) & 1, b.depth == 16 ? 0 : 1);
    s().blankScreen(false);
    EXPECT_EQ(a.cr(0x45) & 1, 1);

    const std::vector<uint8_t> before(a.vram()->data(), a.vram()->data() + a.vram()->size());
    s().setCursor(nullptr, 10, 10);
    EXPECT_EQ(a.cr(0x45) & 1, 0);
    s().blankScreen(true);
    s().blankScreen(false);
    EXPECT_EQ(a.cr(0x45) & 1, 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), a.vram()->data()));
    // The hot spot of the last cursor still places the position.
    s().moveCursor(20, 30);
    EXPECT_EQ(crY(a), 29);

    // A cursor set while the screen is blanked stays dark until the screen
    // comes back; then it shows.
    s().blankScreen(true);
    s().setCursor(cur->ptr(), 12, 12);
    EXPECT_EQ(a.cr(0x45) & 1, b.depth == 16 ? 0 : 1);
    s().blankScreen(false);
    EXPECT_EQ(a.cr(0x45) & 1, 1);
    EXPECT_EQ(lockedCursorWrites(a), "");
}

// A console switch clears video memory: coming back the image is uploaded
// again and the cursor shown where it was when it was shown; a hidden one
// stays hidden.
TEST_P(PiloCursorDepth, ConsoleSwitchShownAndHidden) {
    sim::PiloAdapter &a = board(s());
    auto cur = harness::makeCursor(pattern(24, 16), 2, 3);
    s().setCursor(cur->ptr(), 40, 20);
    const sim::S3Cursor::Image image = cursorOf(s()).image();
    const int x = crX(a), y = crY(a);
    const uint8_t fg = a.cr(0x0E), bg = a.cr(0x0F);
    s().switchAway();
    s().switchBack();
    EXPECT_EQ(a.cr(0x45) & 1, 1);
    EXPECT_EQ(cursorOf(s()).image(), image);
    EXPECT_EQ(crX(a), x);
    EXPECT_EQ(crY(a), y);
    EXPECT_EQ(a.cr(0x0E), fg);
    EXPECT_EQ(a.cr(0x0F), bg);
    s().moveCursor(41, 21);
    EXPECT_EQ(lockedCursorWrites(a), "");

    s().setCursor(nullptr, 41, 21);
    s().switchAway();
    s().switchBack();
    EXPECT_EQ(a.cr(0x45) & 1, 0);
    s().moveCursor(42, 22);
    EXPECT_EQ(lockedCursorWrites(a), "");
}

INSTANTIATE_TEST_SUITE_P(Layouts, PiloCursor, testing::ValuesIn(kBuilds), buildName);
INSTANTIATE_TEST_SUITE_P(Depths, PiloCursorDepth, testing::ValuesIn(kDepths), buildName);

// ------------------------------------------------------------- placing --

struct PlaceCase {
    const char *what;
    const char *file; // the mode set by the procedure keeps CR42's interlace bit
    int depth;
    int cr42; // board power-on value: bit 5 interlaced
    int xhot, yhot, x, y;
    int cr4e, cr4f, posX, posY;
};

const char kBoard[] = "s3/pilo/pilo.graf";
const char kOwnMode[] = "s3/pilo/pilo-2m.graf";

TEST(PiloCursorPlace, OffsetsInterlaceAndDoubling) {
    const PlaceCase cases[] = {
        {"five left of the edge", kBoard, 8, 0, 15, 0, 10, 5, 5, 0, 0, 5},
        {"three above, interlaced", kOwnMode, 8, 0x20, 0, 10, 20, 7, 0, 2, 20, 0},
        {"three above", kOwnMode, 8, 0, 0, 10, 20, 7, 0, 3, 20, 0},
        {"past 255", kBoard, 4, 0, 3, 4, 300, 20, 0, 0, 297, 16},
        {"hot spot 40 at 16 is 31", kBoard, 16, 0, 40, 0, 100, 50, 0, 0, 138, 50},
        {"left of the edge at 16", kBoard, 16, 0, 8, 0, 3, 0, 10, 0, 0, 0},
    };
    for (const PlaceCase &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        graf::Config cfg = boardConfig(c.file == kBoard ? 1024 : 2048, c.depth,
                                       c.depth == 16 ? 640 : 400, 100, c.file);
        cfg.ints["CR42"] = c.cr42;
        harness::Screen s("pilo", cfg, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::PiloAdapter &a = board(s);
        auto cur = harness::makeCursor(pattern(48, 20), c.xhot, c.yhot);
        s.setCursor(cur->ptr(), c.x, c.y);
        EXPECT_EQ(a.cr(0x4E), c.cr4e);
        EXPECT_EQ(a.cr(0x4F), c.cr4f);
        EXPECT_EQ(crX(a), c.posX);
        EXPECT_EQ(crY(a), c.posY);
        s.moveCursor(c.x + 1, c.y + 1);
        EXPECT_EQ(crY(a), c.posY + (c.y + 1 - c.yhot >= 0 ? 1 : 0));
        if (c.depth == 16) {
            // The image ends with the cursor's column 31 (of 48).
            const std::vector<std::string> rows = pattern(48, 20);
            sim::S3Cursor::Image img = cursorOf(s).image();
            for (size_t r = 0; r < 20; r++) {
                EXPECT_EQ(img[r][62], kindOf(rows[r][31]));
                EXPECT_EQ(img[r][63], kindOf(rows[r][31]));
            }
        }
        s.freeScreen();
    }
}

// ------------------------------------------------------------- colours --

class PiloCursorColour : public testing::Test {
  protected:
    void start(int depth) {
        s_ = std::make_unique<harness::Screen>(
            "pilo", boardConfig(1024, depth, depth == 16 ? 64 : 80, 24),
            harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

// Depth 8: the cursor's colours are matched in the installed colormap, and
// matched again when SetColor changes one of the matched entries, when
// another colormap is loaded, and when the cursor is recoloured.
TEST_F(PiloCursorColour, MatchedAgainOnEveryChange) {
    start(8);
    sim::PiloAdapter &a = board(s());
    ColormapPtr map = s().defaultColormap();
    for (int i = 0; i < 256; i++)
        map->red[i].co.local = {uint16_t(i * 0x100), 0, 0};
    s().installColormap(map);
    auto cur = harness::makeCursor(pattern(8, 8), 0, 0, 0x2000, 0, 0, 0x9000, 0, 0);
    s().setCursor(cur->ptr(), 5, 5);
    EXPECT_EQ(a.cr(0x0E), 0x20);
    EXPECT_EQ(a.cr(0x0F), 0x90);

    // An entry the cursor does not use: no new match.
    s().setColor(0x30, 0x2000, 0, 0);
    map->red[0x30].co.local = {0x2000, 0, 0};
    EXPECT_EQ(a.cr(0x0E), 0x20);
    // The foreground's own entry moves away: the next best entry is matched.
    map->red[0x20].co.local = {0xF000, 0, 0};
    s().setColor(0x20, 0xF000, 0, 0);
    EXPECT_EQ(a.cr(0x0E), 0x30);
    EXPECT_EQ(a.cr(0x0F), 0x90);

    // Another colormap.
    ColormapPtr other = server::createColormap(s().screen(), map->pVisual);
    for (int i = 0; i < 256; i++)
        other->red[i].co.local = {uint16_t(0xFF00 - i * 0x100), 0, 0};
    s().installColormap(other);
    EXPECT_EQ(a.cr(0x0E), 0xFF - 0x20);
    EXPECT_EQ(a.cr(0x0F), 0xFF - 0x90);

    // New colours of the cursor, recoloured while displayed.
    cur->rec.foreRed = 0xFF00;
    cur->rec.backRed = 0x0000;
    s().screen()->RecolorCursor(s().screen(), cur->ptr(), 1);
    EXPECT_EQ(a.cr(0x0E), 0x00);
    EXPECT_EQ(a.cr(0x0F), 0xFF);
}

// Depth 16: the colours are all ones for any colour that is not black, and
// stay so through SetColor, LoadColormap and RecolorCursor.
TEST_F(PiloCursorColour, DepthSixteenAllOnesOrZeros) {
    start(16);
    sim::PiloAdapter &a = board(s());
    auto cur = harness::makeCursor(pattern(8, 8), 0, 0, 0, 0, 0x0001, 0, 0, 0);
    s().setCursor(cur->ptr(), 5, 5);
    EXPECT_EQ(a.cr(0x0E), 0xFF);
    EXPECT_EQ(a.cr(0x0F), 0x00);
    for (int i = 0; i < 4; i++) {
        s().setColor(i, 0x1234, 0x5678, 0x9ABC);
        EXPECT_EQ(a.cr(0x0E), 0xFF);
        EXPECT_EQ(a.cr(0x0F), 0x00);
    }
    s().installColormap(s().defaultColormap());
    EXPECT_EQ(a.cr(0x0E), 0xFF);
    EXPECT_EQ(a.cr(0x0F), 0x00);
    cur->rec.foreBlue = 0;
    cur->rec.backGreen = 0x8000;
    s().screen()->RecolorCursor(s().screen(), cur->ptr(), 1);
    EXPECT_EQ(a.cr(0x0E), 0x00);
    EXPECT_EQ(a.cr(0x0F), 0xFF);
}

// ------------------------------------------------------------ start-up --

TEST(PiloCursorInit, RegisteredForTheHardwareLayouts) {
    for (int depth : {4, 8, 16}) {
        SCOPED_TRACE(depth);
        harness::beginCase();
        harness::Screen s("pilo", smallConfig(depth), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_NE(s.pointer(), nullptr);
        EXPECT_EQ(s.sprite(), nullptr);
        EXPECT_EQ(s.registered().pointerArgs, (std::vector<int>{0, 1}));
        EXPECT_NE(s.screen()->RecolorCursor, nullptr);
        EXPECT_EQ(board(s).cr(0x45) & 1, 0);
        s.freeScreen();
    }
}

// At depth 16 SetCursor without a cursor turns it off and uploads nothing.
TEST(PiloCursorInit, NoCursorAtSixteenUploadsNothing) {
    harness::Screen s("pilo", smallConfig(16, 64, 24), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::PiloAdapter &a = board(s);
    const uint64_t commands = a.engine().stats().commands;
    s.setCursor(nullptr, 10, 10);
    EXPECT_EQ(a.cr(0x45) & 1, 0);
    EXPECT_EQ(a.engine().stats().commands, commands);
}

TEST(PiloCursorInit, RefusedRegistrationEndsTheServer) {
    harness::Screen s("pilo", smallConfig(8));
    server::setPointerResult(0);
    EXPECT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "piloHWCursorInitialize(): Cannot initialize cursor\n");
}

} // namespace
