// garsk's hardware sprite, which the driver itself never installs: reached
// through the build with every name visible, registered with
// garskCursorInitialize. The sprite image in video memory, what the board
// shows at screen positions, the sprite registers and their order, the
// presets near the screen's edges and the retrace waits.
#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <vector>

#include "garsk_fixture.h"

#ifdef GARSK_OPEN_LIB

namespace {

using namespace garsktest;

constexpr uint32_t kSpriteMemory = 0xC0200;

class GarskCursor : public testing::Test {
  protected:
    void SetUp() override {
        screen_ = std::make_unique<harness::Screen>(GARSK_OPEN_LIB,
                                                    garskConfig(kFlatFile, 256, 128), strict());
        ASSERT_TRUE(screen_->start()) << screen_->failureText();
        void *h = dlopen(GARSK_OPEN_LIB, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(h, nullptr);
        auto init = reinterpret_cast<Bool (*)(ScreenPtr)>(dlsym(h, "garskCursorInitialize"));
        dlclose(h);
        ASSERT_NE(init, nullptr);
        ASSERT_TRUE(init(s().screen()));
        ASSERT_NE(s().pointer(), nullptr);
    }
    harness::Screen &s() { return *screen_; }
    sim::GarskAdapter &board() { return garskOf(s()); }
    uint16_t spriteWord(int line, int word) {
        const uint8_t *v = board().vram()->data() + kSpriteMemory + line * 16 + word * 2;
        return static_cast<uint16_t>(v[0] | v[1] << 8);
    }
    std::vector<sim::vga::IndexedRegisters::Write> spriteWrites() {
        return board().sprite().writes();
    }
    uint8_t lastWrite(uint8_t index) {
        uint8_t v = 0;
        for (const auto &w : spriteWrites())
            if (w.index == index)
                v = w.value;
        return v;
    }
    std::unique_ptr<harness::Screen> screen_;
};

// A cursor of `w` x `h` with a pattern that tells its pixels apart: each
// row a mix of transparent, background and foreground.
std::vector<std::string> patternRows(int w, int h) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++)
            r += ".BF"[(x * 7 + y * 3 + x * y) % 3];
        rows.push_back(r);
    }
    return rows;
}

// The sprite's code for a cursor character: 0 foreground, 1 background, 2
// transparent.
int codeOf(char c) {
    return c == 'F' ? 0 : c == 'B' ? 1 : 2;
}

TEST_F(GarskCursor, SixteenSquareIsRightAlignedOnTheBottomLines) {
    const auto rows = patternRows(16, 16);
    auto cursor = harness::makeCursor(rows, 0, 0);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    std::fill_n(board().vram()->data() + kSpriteMemory, 64 * 16, 0x5C);
    s().setCursor(cursor->ptr(), 100, 50);
    for (int line = 0; line < 48; line++)
        for (int word = 0; word < 8; word++)
            ASSERT_EQ(spriteWord(line, word), 0x5C5C) << "line " << line << " untouched";
    for (int line = 48; line < 64; line++) {
        for (int word = 0; word < 6; word++)
            EXPECT_EQ(spriteWord(line, word), 0xAAAA) << "line " << line;
        for (int word = 6; word < 8; word++) {
            uint16_t want = 0;
            for (int k = 0; k < 8; k++)
                want |=
                    static_cast<uint16_t>(codeOf(rows[line - 48][(word - 6) * 8 + k]) << (2 * k));
            EXPECT_EQ(spriteWord(line, word), want) << "line " << line << " word " << word;
        }
    }
    for (int y = 48; y < 68; y++)
        for (int x = 96; x < 118; x++) {
            const bool inside = x >= 100 && x < 116 && y >= 50 && y < 66;
            EXPECT_EQ(board().spriteAt(x, y), inside ? codeOf(rows[y - 50][x - 100]) : -1)
                << x << "," << y;
        }
}

// The registers a cursor is set with, in the order the sprite takes them.
TEST_F(GarskCursor, SetCursorRegisterOrder) {
    auto cursor = harness::makeCursor(patternRows(16, 16), 5, 7);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    board().sprite().clearWrites();
    s().setCursor(cursor->ptr(), 300, 20);
    const std::vector<std::pair<int, int>> want = {
        {0xEB, 2},  {0xEC, 0}, {0xED, 0},    {0xE2, 48},   {0xE6, 48},   {0xE0, 0x27}, {0xE1, 1},
        {0xE4, 13}, {0xE5, 0}, {0xEA, 0x03}, {0xE9, 0x00}, {0xE8, 0x80}, {0xF7, 0x80}};
    std::vector<std::pair<int, int>> got;
    for (const auto &w : spriteWrites())
        got.emplace_back(w.index, w.value);
    EXPECT_EQ(got, want);
}

// Near the left and top edges the sprite stays at 0 and the presets skip
// what lies off the screen.
TEST_F(GarskCursor, PresetsNearTheScreenEdges) {
    struct Case {
        int x, y;
        int xPreset, xPos, yPreset, yPos;
    };
    const Case cases[] = {
        {10, 10, 48, 5, 48, 3},   {3, 3, 50, 0, 52, 0}, {0, 0, 53, 0, 55, 0},
        {-4, -9, 53, 0, 55, 0},   {5, 7, 48, 0, 48, 0}, {1, 200, 52, 0, 48, 193},
        {600, 1, 48, 595, 54, 0},
    };
    auto cursor = harness::makeCursor(patternRows(16, 16), 5, 7);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    s().setCursor(cursor->ptr(), 50, 50);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        board().sprite().clearWrites();
        s().moveCursor(c.x, c.y);
        std::vector<int> order;
        for (const auto &w : spriteWrites())
            order.push_back(w.index);
        EXPECT_EQ(order, (std::vector<int>{0xE2, 0xE6, 0xE0, 0xE1, 0xE4, 0xE5}));
        EXPECT_EQ(lastWrite(0xE2), c.xPreset);
        EXPECT_EQ(lastWrite(0xE6), c.yPreset);
        EXPECT_EQ(lastWrite(0xE0) | lastWrite(0xE1) << 8, c.xPos);
        EXPECT_EQ(lastWrite(0xE4) | lastWrite(0xE5) << 8, c.yPos);
    }
}

// Widths that do not fill whole words: the first data word starts with the
// transparent pixels that right-align the image.
TEST_F(GarskCursor, WidthsBetweenWordsAreFilledBelow) {
    struct Case {
        int width;
        int padWords;
        uint16_t firstLow; // the transparent codes at the bottom of the first data word
        int lowBits;
    };
    const Case cases[] = {{20, 5, 0x00AA, 8},
                          {17, 5, 0x2AAA, 14},
                          {1, 7, 0x2AAA, 14},
                          {64, 0, 0, 0},
                          {6, 7, 0x000A, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        const auto rows = patternRows(c.width, 3);
        auto cursor = harness::makeCursor(rows, 0, 0);
        ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
        s().setCursor(cursor->ptr(), 10, 10);
        for (int word = 0; word < c.padWords; word++)
            EXPECT_EQ(spriteWord(61, word), 0xAAAA);
        if (c.lowBits > 0) {
            EXPECT_EQ(spriteWord(61, c.padWords) & ((1u << c.lowBits) - 1), c.firstLow);
        }
        // Every pixel of the cursor in the sprite memory, right-aligned.
        const int preset = lastWrite(0xE2);
        for (int r = 0; r < 3; r++)
            for (int x = 0; x < c.width; x++) {
                const int column = 64 - c.width + x;
                const uint16_t w = spriteWord(61 + r, column / 8);
                EXPECT_EQ((w >> (2 * (column % 8))) & 3, codeOf(rows[r][x])) << r << "," << x;
            }
        EXPECT_GE(preset, 64 - c.width);
        cursor->rec.refcnt = 0; // no longer in use
        ASSERT_TRUE(s().unrealizeCursor(cursor->ptr()));
    }
}

TEST_F(GarskCursor, SeventeenWideAtTheLeftEdgeKeepsItsPreset) {
    auto cursor = harness::makeCursor(patternRows(17, 4), 3, 0);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    s().setCursor(cursor->ptr(), 0, 20);
    const int atZero = lastWrite(0xE2);
    s().moveCursor(1, 20);
    EXPECT_EQ(lastWrite(0xE2), atZero);
    EXPECT_EQ(atZero, 50);
}

// A cursor larger than the sprite shows its top-left 64 x 64 and never
// writes below the sprite memory, where the colour cells lie.
TEST_F(GarskCursor, LargeCursorStaysInsideTheSpriteMemory) {
    uint8_t *vram = board().vram()->data();
    for (uint32_t a = 0xC0000; a < kSpriteMemory; a++)
        vram[a] = static_cast<uint8_t>(a * 13);
    const auto rows = patternRows(100, 100);
    auto cursor = harness::makeCursor(rows, 0, 0);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    s().setCursor(cursor->ptr(), 20, 30);
    for (uint32_t a = 0xC0000; a < kSpriteMemory; a++)
        ASSERT_EQ(vram[a], static_cast<uint8_t>(a * 13)) << std::hex << a;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            ASSERT_EQ(board().spriteAt(20 + x, 30 + y), codeOf(rows[y][x])) << x << "," << y;
    EXPECT_EQ(board().spriteAt(84, 30), -1);
    EXPECT_EQ(board().spriteAt(20, 94), -1);
}

// The retrace (bit 7 of input status 1) last read before a sprite register
// write: hiding the sprite and the one-pixel-wide reload wait for it.
int retraceBefore(harness::Screen &s, uint8_t index, uint8_t value) {
    int last = -1;
    uint8_t lastIndex = 0;
    for (const sim::Access &a : s.machine().trace()) {
        if (a.kind == sim::Access::PortIn && a.address == 0x3DA)
            last = static_cast<int>(a.value & 0x80);
        if (a.kind == sim::Access::PortOut && a.address == 0x217A)
            lastIndex = static_cast<uint8_t>(a.value);
        if (a.kind == sim::Access::PortOut && a.address == 0x217B && lastIndex == index &&
            a.value == value)
            return last;
    }
    return -2;
}

TEST_F(GarskCursor, HidingAndTheOnePixelReloadWaitForTheRetrace) {
    auto cursor = harness::makeCursor(patternRows(16, 16), 0, 0);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    s().setCursor(cursor->ptr(), 40, 40);
    ASSERT_EQ(board().spriteAt(40, 40), codeOf(patternRows(16, 16)[0][0]));

    s().machine().clearTrace();
    s().setCursor(nullptr, 0, 0);
    EXPECT_EQ(retraceBefore(s(), 0xF7, 0), 0x80);
    EXPECT_EQ(board().spriteAt(40, 40), -1);

    // A cursor with no image (its realization failed) is hidden the same way.
    auto unrealized = harness::makeCursor(patternRows(8, 8), 0, 0);
    s().setCursor(cursor->ptr(), 40, 40);
    s().machine().clearTrace();
    s().setCursor(unrealized->ptr(), 40, 40);
    EXPECT_EQ(retraceBefore(s(), 0xF7, 0), 0x80);

    // After a one-pixel-wide cursor the next one reloads the sprite (0xEF
    // 3, then 2) in the retrace; the one after does not.
    auto thin = harness::makeCursor(patternRows(1, 8), 0, 0);
    ASSERT_TRUE(s().realizeCursor(thin->ptr()));
    s().setCursor(thin->ptr(), 40, 40);
    board().sprite().clearWrites();
    s().machine().clearTrace();
    s().setCursor(cursor->ptr(), 40, 40);
    EXPECT_EQ(retraceBefore(s(), 0xEF, 3), 0x80);
    std::vector<int> ef;
    for (const auto &w : spriteWrites())
        if (w.index == 0xEF)
            ef.push_back(w.value);
    EXPECT_EQ(ef, (std::vector<int>{3, 2}));
    board().sprite().clearWrites();
    s().setCursor(cursor->ptr(), 40, 40);
    for (const auto &w : spriteWrites())
        EXPECT_NE(w.index, 0xEF);
}

TEST_F(GarskCursor, UnrealizeKeepsAnImageStillReferenced) {
    auto cursor = harness::makeCursor(patternRows(8, 8), 0, 0);
    ASSERT_TRUE(s().realizeCursor(cursor->ptr()));
    // Still referenced: the driver is asked directly, since the harness's
    // unrealize is the server freeing the cursor (count 0).
    cursor->rec.refcnt = 1;
    Bool r = 1;
    s().call("UnrealizeCursor",
             [&] { r = s().pointer()->UnrealizeCursor(s().screen(), cursor->ptr()); });
    EXPECT_FALSE(r);
    EXPECT_NE(cursor->bits.devPriv[s().screen()->myNum], nullptr);
    cursor->rec.refcnt = 0;
    EXPECT_TRUE(s().unrealizeCursor(cursor->ptr()));
}

} // namespace

#endif
