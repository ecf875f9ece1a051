// The gd5436 family's 64 x 64 hardware cursor on the GD54xx adapter model:
// the pattern the driver downloads into the last kilobyte of video memory,
// its colours, the position registers, the clipped copies at the left and top
// edges of the screen, and hiding.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "models/gd5436_adapter.h"
#include "server.h"

namespace {

using Pixel3 = sim::CirrusCursor::Pixel;
using Image = sim::CirrusCursor::Image;

// An asymmetric cursor: no row or column repeats another, so a shift or a
// mirror in either direction shows.
const std::vector<std::string> kArrow = {
    "FFFFFFFFFFFFB.......", //
    "FBBBBBBBBBF.........", //
    "FB......BF..........", //
    "FB...FBF............", //
    "FB..F.......X.......", //
    "FBF...........B.....", //
    "FF..................", //
    "F.................BF", //
    "....................", //
    ".........F..........", //
    "..B.................", //
    "B..................F", //
};

Pixel3 pixelOf(char c) {
    switch (c) {
    case 'B':
        return Pixel3::Background;
    case 'F':
    case 'X':
        return Pixel3::Foreground;
    default:
        return Pixel3::Transparent;
    }
}

// The pattern the chip should show for `rows` cut by dx columns on the left
// and dy rows at the top.
Image expectedImage(const std::vector<std::string> &rows, int dx = 0, int dy = 0) {
    Image image(64, std::vector<Pixel3>(64, Pixel3::Transparent));
    for (int y = 0; y < 64; y++) {
        int sy = y + dy;
        if (sy >= static_cast<int>(rows.size()))
            break;
        const std::string &r = rows[static_cast<size_t>(sy)];
        for (int x = 0; x < 64; x++) {
            int sx = x + dx;
            if (sx < static_cast<int>(r.size()))
                image[static_cast<size_t>(y)][static_cast<size_t>(x)] =
                    pixelOf(r[static_cast<size_t>(sx)]);
        }
    }
    return image;
}

std::string picture(const Image &image) {
    std::string s;
    for (const auto &row : image) {
        for (Pixel3 p : row)
            s += p == Pixel3::Transparent ? '.' : p == Pixel3::Background ? 'B' : 'F';
        s += '\n';
    }
    return s;
}

#define EXPECT_CURSOR_IMAGE(adapter, want)                                                         \
    EXPECT_EQ(picture((adapter).cursor().image()), picture(want))

// The build's example board, or the one named.
graf::Config exampleConfig(const std::string &driver, std::string boardName = "") {
    if (boardName.empty())
        boardName = driver.rfind("brisko", 0) == 0  ? "gd5480"
                    : driver.rfind("lomvi", 0) == 0 ? "gd5446"
                                                    : "gd5436";
    graf::Config c = harness::loadConfig("cirrus/gd5436/" + boardName + ".graf");
    if (driver == "lomvi16") {
        c.ints["DEPTH"] = 16;
        c.ints["PITCH"] = 2048;
    }
    return c;
}

class CursorTest : public testing::Test {
  protected:
    void start(const std::string &driver = "brisko8", const std::string &board = "") {
        screen =
            std::make_unique<harness::Screen>(driver, exampleConfig(driver, board),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(screen->start()) << screen->failureText();
        adapter = dynamic_cast<sim::Gd5436Adapter *>(screen->adapter());
        ASSERT_NE(adapter, nullptr);
        patternEnd = adapter->memSize();
    }
    void TearDown() override {
        if (screen)
            screen->freeScreen();
    }

    std::vector<sim::vga::IndexedRegisters::Write> seqWrites() const {
        return adapter->vga().seq.writes();
    }
    void clearSeqWrites() { adapter->vga().seq.clearWrites(); }
    // Pattern downloads since the last clear: each ends by selecting the pattern.
    int downloads() const {
        auto w = seqWrites();
        return static_cast<int>(std::count_if(
            w.begin(), w.end(), [](const auto &x) { return (x.index & 0x1F) == 0x13; }));
    }
    const uint8_t *cursorArea() const { return adapter->vram()->data() + patternEnd - 1024; }

    std::unique_ptr<harness::Screen> screen;
    sim::Gd5436Adapter *adapter = nullptr;
    uint32_t patternEnd = 0; // where the CursorArea ends: the last kilobyte's end
};

// ----------------------------------------------------------- the pattern --

// A build on a board, and the pattern its CursorArea is: the last kilobyte
// of video memory, or on a 4 MB board, where the register block hides part of
// that kilobyte, the one before it.
struct PatternCase {
    const char *driver;
    const char *board; // "": the build's example board
    uint8_t sr13;
    uint32_t hiddenBytes; // video memory after the CursorArea
};

void PrintTo(const PatternCase &c, std::ostream *os) {
    *os << c.driver << " " << c.board;
}

std::string patternName(const testing::TestParamInfo<PatternCase> &info) {
    std::string board = info.param.board;
    board.erase(std::remove(board.begin(), board.end(), '-'), board.end());
    return std::string(info.param.driver) + (board.empty() ? "" : "On" + board);
}

class CursorPattern : public CursorTest, public testing::WithParamInterface<PatternCase> {};

TEST_P(CursorPattern, AsymmetricCursorIsDownloadedPlaneByPlaneWithItsColours) {
    const PatternCase &k = GetParam();
    start(k.driver, k.board);
    patternEnd = adapter->memSize() - k.hiddenBytes;
    // What lies after the CursorArea is not the driver's to write.
    uint8_t *after = adapter->vram()->data() + patternEnd;
    const uint32_t plain = std::min<uint32_t>(k.hiddenBytes, 768); // below the register block
    for (uint32_t i = 0; i < plain; i++)
        after[i] = uint8_t(i * 5 + 1);
    auto cursor = harness::makeCursor(kArrow, 2, 1, 0xFC00, 0x8000, 0x0400, 0x0400, 0x0000, 0xFFFF);
    const sim::vga::Dac::Entry palette0 = adapter->dacEntry(0), palette15 = adapter->dacEntry(15);
    // An engine operation still running must be finished before the
    // processor writes the pattern (the model reports the access otherwise).
    screen->copyRect({0, 0, 400, 300}, {10, 10});
    clearSeqWrites();
    screen->setCursor(cursor->ptr(), 200, 150);

    EXPECT_TRUE(adapter->cursor().enabled());
    EXPECT_EQ(adapter->cursor().x(), 198);
    EXPECT_EQ(adapter->cursor().y(), 149);
    EXPECT_EQ(adapter->sr(0x13), k.sr13);
    EXPECT_EQ(adapter->cursor().patternOffset(), patternEnd - 1024);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow));
    for (uint32_t i = 0; i < plain; i++)
        ASSERT_EQ(after[i], uint8_t(i * 5 + 1)) << "byte " << i << " after the CursorArea";

    // Row 0: pixels 0-11 foreground, 12 background; row 4: 0, 1, 4 and 12.
    const uint8_t *row0 = cursorArea(), *row4 = cursorArea() + 4 * 16;
    EXPECT_EQ(std::vector<uint8_t>(row0, row0 + 16),
              (std::vector<uint8_t>{0xFF, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF, 0xF8, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(row4, row4 + 16),
              (std::vector<uint8_t>{0x88, 0x08, 0, 0, 0, 0, 0, 0, 0xC8, 0x08, 0, 0, 0, 0, 0, 0}));

    // Colours through the cursor-colour access, not into palette entries 0 and 15.
    EXPECT_EQ(adapter->cursor().foreground(), (sim::vga::Dac::Entry{0x3F, 0x20, 0x01}));
    EXPECT_EQ(adapter->cursor().background(), (sim::vga::Dac::Entry{0x01, 0x00, 0x3F}));
    EXPECT_EQ(adapter->dacEntry(0), palette0);
    EXPECT_EQ(adapter->dacEntry(15), palette15);
    EXPECT_FALSE(adapter->cursor().colourAccess());

    // Off while the pattern changes; SR17 bit 6 cleared around the writes.
    std::vector<std::pair<int, int>> control;
    for (const auto &w : seqWrites())
        if ((w.index & 0x1F) == 0x12 || (w.index & 0x1F) == 0x17)
            control.push_back({w.index & 0x1F, w.value});
    const int sr17 = 0x44; // as the example board's mode set leaves it
    EXPECT_EQ(control,
              (std::vector<std::pair<int, int>>{
                  {0x12, 0x00}, {0x17, sr17 & ~0x40}, {0x17, sr17}, {0x12, 0x02}, {0x12, 0x05}}));
}

const PatternCase kPatternCases[] = {
    {"brisko8", "", 0x3F, 0},
    {"lomvi16", "", 0x3F, 0},
    {"hadra24", "", 0x3F, 0},
    {"lomvi8", "gd5446-4mb", 0x3B, 1024},
    {"lomvi16", "gd5446-4mb", 0x3B, 1024},
};

INSTANTIATE_TEST_SUITE_P(Builds, CursorPattern, testing::ValuesIn(kPatternCases), patternName);

TEST_F(CursorTest, LargeCursorShowsItsTopLeft64By64AndHotSpotIsClamped) {
    start();
    std::vector<std::string> rows;
    for (int y = 0; y < 70; y++) {
        std::string r;
        for (int x = 0; x < 80; x++)
            r += ".BF"[(x * 7 + y * 3 + x / 9) % 3];
        rows.push_back(r);
    }
    auto cursor = harness::makeCursor(rows, 70, 3);
    screen->setCursor(cursor->ptr(), 100, 100);
    EXPECT_EQ(adapter->cursor().x(), 100 - 63);
    EXPECT_EQ(adapter->cursor().y(), 97);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(rows));

    // 80 wide and 20 high: the other 44 rows are transparent.
    rows.resize(20);
    auto shortCursor = harness::makeCursor(rows, 0, 70);
    screen->setCursor(shortCursor->ptr(), 100, 100);
    EXPECT_EQ(adapter->cursor().y(), 100 - 63);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(rows));
}

// ---------------------------------------------------------- positioning --

TEST_F(CursorTest, PositionLowBitsRideInTheIndexByte) {
    start();
    auto cursor = harness::makeCursor({"F"}, 0, 0);
    screen->setCursor(cursor->ptr(), 0, 0);
    struct Case {
        int x, y;
        uint8_t xIndex, xData, yIndex, yData;
    };
    for (Case c :
         {Case{0, 0, 0x10, 0x00, 0x11, 0x00}, Case{7, 8, 0xF0, 0x00, 0x11, 0x01},
          Case{13, 1029, 0xB0, 0x01, 0xB1, 0x80}, Case{2047, 2040, 0xF0, 0xFF, 0x11, 0xFF}}) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        clearSeqWrites();
        screen->moveCursor(c.x, c.y);
        auto w = seqWrites();
        ASSERT_EQ(w.size(), 2u);
        EXPECT_EQ(w[0].index, c.xIndex);
        EXPECT_EQ(w[0].value, c.xData);
        EXPECT_EQ(w[1].index, c.yIndex);
        EXPECT_EQ(w[1].value, c.yData);
        EXPECT_EQ(adapter->cursor().x(), c.x);
        EXPECT_EQ(adapter->cursor().y(), c.y);
    }
}

struct EdgeCase {
    const char *what;
    int xhot, yhot;
    int x, y;       // MoveCursor
    int dx, dy;     // columns and rows cut off
    int posX, posY; // what the chip is given
};

std::string edgeName(const testing::TestParamInfo<EdgeCase> &info) {
    return info.param.what;
}

class CursorEdge : public CursorTest, public testing::WithParamInterface<EdgeCase> {};

TEST_P(CursorEdge, ClippedCopyAtTheEdgeThenExactlyOneDownloadBack) {
    const EdgeCase &c = GetParam();
    start();
    auto cursor = harness::makeCursor(kArrow, c.xhot, c.yhot);
    screen->setCursor(cursor->ptr(), 300, 300);

    // The engine may still be copying when the cursor moves: the pattern is
    // only written once it is idle (the model reports the access otherwise).
    screen->copyRect({0, 100, 200, 200}, {0, 0});
    clearSeqWrites();
    screen->moveCursor(c.x, c.y);
    EXPECT_EQ(downloads(), 1);
    EXPECT_TRUE(adapter->cursor().enabled());
    EXPECT_EQ(adapter->cursor().x(), c.posX);
    EXPECT_EQ(adapter->cursor().y(), c.posY);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow, c.dx, c.dy));

    // Back inside: the full pattern again, once.
    screen->copyRect({0, 100, 200, 200}, {0, 0});
    clearSeqWrites();
    screen->moveCursor(20 + c.xhot, 20 + c.yhot);
    EXPECT_EQ(downloads(), 1);
    EXPECT_EQ(adapter->cursor().x(), 20);
    EXPECT_EQ(adapter->cursor().y(), 20);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow));
    clearSeqWrites();
    screen->moveCursor(40, 40);
    EXPECT_EQ(downloads(), 0);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow));
}

const EdgeCase kEdgeCases[] = {
    // Hot spot (5, 5) moved to (2, 10): the pattern from its fourth column at x 0, y 5.
    {"LeftByThree", 5, 5, 2, 10, 3, 0, 0, 5},
    {"TopByThree", 5, 5, 10, 2, 0, 3, 5, 0},
    {"Corner", 5, 5, 1, 1, 4, 4, 0, 0},
    {"LeftByAWholeByte", 0, 0, -8, 7, 8, 0, 0, 7},
    {"LeftAcrossTwoBytes", 3, 2, -14, -1, 17, 3, 0, 0},
    {"TopOnlyRowsLeft", 0, 0, 30, -11, 0, 11, 30, 0},
    // Entirely beyond the edge: nothing of it is shown.
    {"BeyondTheLeftEdge", 0, 0, -200, 50, 200, 0, 0, 50},
    {"BeyondTheTopEdge", 4, 4, 50, -30000, 0, 30004, 46, 0},
};

INSTANTIATE_TEST_SUITE_P(Brisko8, CursorEdge, testing::ValuesIn(kEdgeCases), edgeName);

TEST_F(CursorTest, EveryMoveAtTheEdgeRedownloadsTheClippedCopy) {
    start();
    auto cursor = harness::makeCursor(kArrow, 0, 0);
    screen->setCursor(cursor->ptr(), 100, 100);
    clearSeqWrites();
    screen->moveCursor(-1, 10);
    screen->moveCursor(-2, 10);
    EXPECT_EQ(downloads(), 2);
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow, 2, 0));
    EXPECT_EQ(server::liveBlockCount(), 1u); // the private; the shifted copies are freed
}

TEST_F(CursorTest, ShiftedCopyWithoutMemoryKeepsTheCursorAtTheEdge) {
    start();
    auto cursor = harness::makeCursor(kArrow, 0, 0);
    screen->setCursor(cursor->ptr(), 100, 100);
    clearSeqWrites();
    server::failAllocationAfter(0);
    screen->moveCursor(-3, 10);
    server::failAllocationAfter(-1);
    EXPECT_EQ(downloads(), 0);
    EXPECT_EQ(adapter->cursor().x(), 0);
    EXPECT_EQ(adapter->cursor().y(), 10);
    EXPECT_TRUE(adapter->cursor().enabled());
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage(kArrow));
}

// ---------------------------------------------------------------- hiding --

TEST_F(CursorTest, MoveBeforeAnySetCursorDoesNothing) {
    start();
    screen->machine().clearTrace();
    screen->moveCursor(10, 10);
    screen->moveCursor(-5, -5);
    EXPECT_EQ(screen->machine().accessCount(), 0u);
    EXPECT_FALSE(adapter->cursor().enabled());
}

TEST_F(CursorTest, HiddenCursorStaysHiddenAndIsNeverTouchedAgain) {
    start();
    auto cursor = harness::makeCursor(kArrow, 5, 5);
    screen->setCursor(cursor->ptr(), 100, 100);
    screen->moveCursor(2, 2); // the clipped copy is in place
    screen->setCursor(nullptr, 50, 50);
    EXPECT_FALSE(adapter->cursor().enabled());
    // The server may free a cursor once it is hidden.
    cursor.reset();

    screen->machine().clearTrace();
    screen->moveCursor(-4, -4);
    screen->moveCursor(60, 60);
    EXPECT_EQ(screen->machine().accessCount(), 0u);
    EXPECT_FALSE(adapter->cursor().enabled());

    // A new cursor shows again, whole.
    auto next = harness::makeCursor({"FB", "BF"}, 0, 0);
    screen->setCursor(next->ptr(), 70, 80);
    EXPECT_TRUE(adapter->cursor().enabled());
    EXPECT_CURSOR_IMAGE(*adapter, expectedImage({"FB", "BF"}));
}

TEST_F(CursorTest, UnrealizedCurrentCursorIsNotDownloadedAgain) {
    start();
    auto cursor = harness::makeCursor(kArrow, 0, 0);
    EXPECT_TRUE(screen->realizeCursor(cursor->ptr()));
    screen->setCursor(cursor->ptr(), 100, 100);
    screen->moveCursor(-3, 0);
    EXPECT_TRUE(screen->unrealizeCursor(cursor->ptr()));
    cursor.reset();
    clearSeqWrites();
    screen->moveCursor(50, 50);
    EXPECT_EQ(downloads(), 0);
}

} // namespace
