// rasmo hardware cursor and best sizes: the sprite the board shows after
// SetCursor (right-aligned image, offsets, position, the cut at the screen's
// top and left edges), its colours at both depths, RecolorCursor, the
// console switch that clears it, the software cursor, a refused hardware
// cursor, and QueryBestSize.
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

// A cursor pattern of `w` x `h` with all three kinds of pixel.
std::vector<std::string> pattern(int w, int h) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++)
            r += "FB.F.BB..FFB"[(x * 7 + y * 5 + x * y) % 12];
        rows.push_back(r);
    }
    return rows;
}

// What the board should show for rows of a cursor pattern: '1' foreground,
// '0' background, '.' transparent, from column `left` and row `top` on, as
// wide and high as the sprite shows.
std::vector<std::string> expectedSprite(const std::vector<std::string> &rows, int w, int h,
                                        int left, int top, int shownW, int shownH) {
    std::vector<std::string> out;
    for (int j = 0; j < shownH; j++) {
        std::string r;
        for (int i = 0; i < shownW; i++) {
            const int x = left + i, y = top + j;
            const char c = x < w && y < h ? rows[size_t(y)][size_t(x)] : '.';
            r += c == 'F' ? '1' : c == 'B' ? '0' : '.';
        }
        out.push_back(r);
    }
    return out;
}

class RasmoCursor : public testing::TestWithParam<int> {
  protected:
    void start(int width, int height) {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(width, height, GetParam()),
                                              quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
    }
    void SetUp() override { start(128, 96); }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    sim::Mach32Cursor cursor() { return mach32Of(*s).cursor(); }
    const uint8_t *area() { return mach32Of(*s).vram()->data() + privOf(*s)->cursorOffset; }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoCursor, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// Init leaves the sprite area transparent and the cursor off; a 16 x 16
// cursor is loaded into the last four bytes of its rows, shown with offsets
// 48 and 48 at the hot spot's place.
TEST_P(RasmoCursor, SixteenBySixteenRightAligned) {
    const rasmoScreenPrivate &p = *privOf(*s);
    EXPECT_EQ(p.cursorMaxWidth, 64);
    EXPECT_EQ(p.cursorMaxHeight, 64);
    EXPECT_FALSE(cursor().enabled());
    for (int i = 0; i < 1024; i++)
        ASSERT_EQ(area()[i], 0xAA) << i;

    const std::vector<std::string> rows = pattern(16, 16);
    auto c = harness::makeCursor(rows, 3, 4);
    ASSERT_EQ(s->realizeCursor(c->ptr()), 1);
    s->setCursor(c->ptr(), 100, 50);
    s->drain();
    EXPECT_EQ(p.spriteXOffset, 48);
    EXPECT_EQ(p.spriteYOffset, 48);
    const sim::Mach32Cursor k = cursor();
    EXPECT_TRUE(k.enabled());
    EXPECT_EQ(k.x(), 97);
    EXPECT_EQ(k.y(), 46);
    EXPECT_EQ(k.hOffset(), 48);
    EXPECT_EQ(k.vOffset(), 48);
    EXPECT_EQ(k.imageOffset(), uint32_t(p.cursorOffset));
    EXPECT_EQ(k.shown(), expectedSprite(rows, 16, 16, 0, 0, 16, 16));
    // Each image row lies in bytes 12 to 15 of its 16-byte sprite row (pixel
    // columns cursorX + 12 to + 15 at depth 8); the rest keep the clear.
    const uint8_t *image = static_cast<const uint8_t *>(c->rec.devPriv[0]);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0], 4);
    EXPECT_EQ(image[1], 16);
    for (int r = 0; r < 64; r++)
        for (int b = 0; b < 16; b++) {
            const uint8_t want = r < 16 && b >= 12 ? image[4 + 4 * r + b - 12] : 0xAA;
            ASSERT_EQ(area()[16 * r + b], want) << r << ", " << b;
        }
    EXPECT_NE(s->screen()->RecolorCursor, nullptr);
    // No cursor: hidden, the image left in place.
    s->setCursor(nullptr, 0, 0);
    EXPECT_FALSE(cursor().enabled());
    EXPECT_EQ(cursor().shown(), expectedSprite(rows, 16, 16, 0, 0, 16, 16));
    EXPECT_EQ(s->unrealizeCursor(c->ptr()), 1);
    EXPECT_EQ(c->rec.devPriv[0], nullptr);
    EXPECT_EQ(s->failureText(), "");
}

// Bits past a row's width (the bitmap's padding) are not part of the image.
TEST_P(RasmoCursor, PaddingBitsDoNotShow) {
    const std::vector<std::string> rows = pattern(13, 5);
    auto c = harness::makeCursor(rows, 0, 0);
    for (int y = 0; y < 5; y++) {
        c->source[size_t(y * c->stride + 1)] |= 0xE0;
        c->mask[size_t(y * c->stride + 1)] |= 0xE0;
    }
    ASSERT_EQ(s->realizeCursor(c->ptr()), 1);
    s->setCursor(c->ptr(), 10, 10);
    s->drain();
    EXPECT_EQ(cursor().hOffset(), 48);
    EXPECT_EQ(cursor().vOffset(), 59);
    EXPECT_EQ(cursor().shown(), expectedSprite(rows, 13, 5, 0, 0, 16, 5));
    s->unrealizeCursor(c->ptr());
}

// A sprite above or left of the screen is shown from line or column 0: the
// image address moves on by the rows cut off, the offsets grow by the rows
// and columns cut off.
TEST_P(RasmoCursor, CutAtTheTopAndLeftEdges) {
    const std::vector<std::string> rows = pattern(16, 16);
    auto c = harness::makeCursor(rows, 8, 10);
    ASSERT_EQ(s->realizeCursor(c->ptr()), 1);
    s->setCursor(c->ptr(), 40, 40);
    const uint32_t base = uint32_t(privOf(*s)->cursorOffset);
    struct Case {
        int x, y;
        int cx, cy, h, v;
        uint32_t address;
    } cases[] = {
        {40, 5, 32, 0, 48, 53, 80}, // 5 lines above the top
        {5, 30, 0, 20, 51, 48, 0},  // 3 pixels left of the screen
        {0, 0, 0, 0, 56, 58, 160},  // both
        {8, 10, 0, 0, 48, 48, 0},   // exactly at the corner
        {127, 95, 119, 85, 48, 48, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(std::to_string(k.x) + ", " + std::to_string(k.y));
        s->moveCursor(k.x, k.y);
        s->drain();
        const sim::Mach32Cursor m = cursor();
        EXPECT_EQ(m.x(), k.cx);
        EXPECT_EQ(m.y(), k.cy);
        EXPECT_EQ(m.hOffset(), k.h);
        EXPECT_EQ(m.vOffset(), k.v);
        EXPECT_EQ(m.imageOffset(), base + k.address);
        const int left = k.h - 48, top = int(k.address / 16);
        EXPECT_EQ(m.shown(), expectedSprite(rows, 16, 16, left, top, 64 - k.h, 64 - k.v));
        EXPECT_EQ(m.at(k.cx, k.cy) == sim::Mach32Cursor::Pixel::Transparent,
                  rows[size_t(top)][size_t(left)] == '.');
    }
    s->unrealizeCursor(c->ptr());
    EXPECT_EQ(s->failureText(), "");
}

// The console switch turns the cursor off; coming back clears the sprite
// area and the cursor stays off until it is set again.
TEST_P(RasmoCursor, ClearedAndHiddenAfterAConsoleSwitch) {
    auto c = harness::makeCursor(pattern(16, 16), 0, 0);
    ASSERT_EQ(s->realizeCursor(c->ptr()), 1);
    s->setCursor(c->ptr(), 20, 20);
    ASSERT_TRUE(cursor().enabled());
    s->switchAway();
    EXPECT_FALSE(cursor().enabled());
    // Each run of the clear waits for its writes.
    mach32Of(*s).ext().setStalledFifo(true);
    s->machine().clearTrace();
    s->switchBack();
    s->drain();
    EXPECT_FALSE(cursor().enabled());
    for (int i = 0; i < 1024; i++)
        ASSERT_EQ(area()[i], 0xAA) << i;
    const int runs = (1024 >> (GetParam() / 16)) / privOf(*s)->pitch;
    // The stored clip again, the set-up, the runs.
    std::vector<int> waits = {4, 5};
    waits.insert(waits.end(), size_t(runs), 3);
    EXPECT_EQ(fifoWaits(*s), waits);
    // The image loads whole under a client clip, which comes back after.
    s->setClipRegions({{0, 0, 10, 10}});
    s->setCursor(c->ptr(), 20, 20);
    EXPECT_TRUE(cursor().enabled());
    EXPECT_EQ(cursor().shown(), expectedSprite(pattern(16, 16), 16, 16, 0, 0, 16, 16));
    const sim::S3Regs &r = mach32Of(*s).engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{0, 0, 9, 9}));
    s->unrealizeCursor(c->ptr());
    EXPECT_EQ(s->failureText(), "");
}

// Colours: palette entries nearest the cursor's colours at depth 8, the
// components at depth 16; RecolorCursor writes them only for a displayed
// cursor.
TEST_P(RasmoCursor, ColoursAndRecolor) {
    ColormapPtr map = s->defaultColormap();
    if (GetParam() == 8) {
        for (int i = 0; i < 256; i++)
            map->red[i].co.local = {0x0101, 0x0101, 0x0101};
        map->red[9].co.local = {0xFFFF, 0x8000, 0x0000};
        map->red[4].co.local = {0, 0, 0};
        map->red[17].co.local = {0x1000, 0x2000, 0xF000};
        s->nfb()->installedCmap = map;
    }
    auto c = harness::makeCursor(pattern(8, 8), 0, 0, 0xFFFF, 0x8000, 0x0000, 0, 0, 0);
    ASSERT_EQ(s->realizeCursor(c->ptr()), 1);
    s->machine().clearTrace();
    s->setCursor(c->ptr(), 20, 20);
    if (GetParam() == 16) {
        EXPECT_EQ(writesTo(*s, 0x3EEE), std::vector<uint32_t>{0xFF80});
        EXPECT_EQ(writesTo(*s, 0x1AEE), std::vector<uint32_t>{0x0000});
        EXPECT_EQ(writesTo(*s, 0x3AEE), std::vector<uint32_t>{0x0000});
        EXPECT_EQ(cursor().rgb(1), (sim::Mach32Cursor::Rgb{0xFF, 0x80, 0x00}));
        EXPECT_EQ(cursor().rgb(0), (sim::Mach32Cursor::Rgb{0, 0, 0}));
    } else {
        EXPECT_EQ(cursor().index(1), 9);
        EXPECT_EQ(cursor().index(0), 4);
    }
    c->rec.foreRed = 0x1000;
    c->rec.foreGreen = 0x2000;
    c->rec.foreBlue = 0xF000;
    s->machine().clearTrace();
    s->recolorCursor(c->ptr(), 0);
    EXPECT_TRUE(portWrites(*s).empty()) << show(portWrites(*s));
    s->recolorCursor(c->ptr(), 1);
    if (GetParam() == 16) {
        EXPECT_EQ(cursor().rgb(1), (sim::Mach32Cursor::Rgb{0x10, 0x20, 0xF0}));
    } else {
        EXPECT_EQ(cursor().index(1), 17);
        EXPECT_EQ(cursor().index(0), 4);
        // Without an installed colormap there is nothing to match: the
        // colours stay.
        s->nfb()->installedCmap = nullptr;
        s->machine().clearTrace();
        s->recolorCursor(c->ptr(), 1);
        s->setCursor(c->ptr(), 21, 21);
        EXPECT_TRUE(writesTo(*s, 0x1AEE).empty());
        EXPECT_EQ(cursor().index(1), 17);
        EXPECT_TRUE(cursor().enabled());
    }
    s->unrealizeCursor(c->ptr());
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoCursor, BestSizes) {
    using P = std::pair<uint16_t, uint16_t>;
    EXPECT_EQ(s->queryBestSize(CursorShape, 16, 300), (P{64, 64}));
    EXPECT_EQ(s->queryBestSize(StippleShape, 13, 5), (P{16, 5}));
    EXPECT_EQ(s->queryBestSize(StippleShape, 16, 5), (P{16, 5}));
    EXPECT_EQ(s->queryBestSize(StippleShape, 0xFFFF, 5), (P{0xFFF8, 5}));
    EXPECT_EQ(s->queryBestSize(TileShape, 13, 5), (P{13, 5}));
    EXPECT_EQ(s->queryBestSize(7, 13, 5), (P{13, 5}));
}

// An image the server cannot hold: RealizeCursor says so, and setting that
// cursor leaves the cursor off.
TEST_P(RasmoCursor, ImageWithoutMemory) {
    auto c = harness::makeCursor(pattern(8, 8), 0, 0);
    server::failAllocationAfter(0);
    EXPECT_EQ(s->realizeCursor(c->ptr()), 0);
    server::failAllocationAfter(-1);
    s->setCursor(c->ptr(), 5, 5);
    EXPECT_FALSE(cursor().enabled());
    EXPECT_EQ(s->failureText(), "");
}

// On a screen 1280 pixels wide the sprite is at most 56 wide; a larger
// cursor is cut, its hot spot kept inside the cut image.
TEST(RasmoCursorSizes, CutToTheLargestSprite) {
    struct Case {
        int width;
        int maxWidth, rowBytes, xOffset, hotX;
    } cases[] = {{1280, 56, 14, 8, 55}, {1024, 64, 16, 0, 63}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.width);
        harness::Screen s("rasmo", rasmoConfig(k.width, 16, 8), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.queryBestSize(CursorShape, 8, 8),
                  (std::pair<uint16_t, uint16_t>{uint16_t(k.maxWidth), 64}));
        const std::vector<std::string> rows = pattern(72, 72);
        auto c = harness::makeCursor(rows, 70, 70);
        ASSERT_EQ(s.realizeCursor(c->ptr()), 1);
        const uint8_t *image = static_cast<const uint8_t *>(c->rec.devPriv[0]);
        EXPECT_EQ((std::vector<int>{image[0], image[1], image[2], image[3]}),
                  (std::vector<int>{k.rowBytes, 64, k.hotX, 63}));
        s.setCursor(c->ptr(), 500, 68);
        const sim::Mach32Cursor m = mach32Of(s).cursor();
        EXPECT_EQ(m.hOffset(), k.xOffset);
        EXPECT_EQ(m.vOffset(), 0);
        EXPECT_EQ(m.x(), 500 - k.hotX);
        EXPECT_EQ(m.shown(), expectedSprite(rows, k.maxWidth, 64, 0, 0, k.maxWidth, 64));
        s.unrealizeCursor(c->ptr());
        EXPECT_EQ(s.failureText(), "");
        s.freeScreen();
    }
}

// USESWCURSOR, or no room for the sprite area: the server's cursor, no
// pointer record, the cursor register left alone at the console switch, and
// cursor sizes cut to the screen.
TEST(RasmoCursorSoftware, AskedForOrWithoutRoom) {
    for (bool asked : {true, false}) {
        SCOPED_TRACE(asked ? "asked" : "no room");
        graf::Config cfg = asked ? rasmoConfig(128, 96, 8) : rasmoConfig(1024, 512, 8, 0x80000);
        if (asked)
            cfg.ints["USESWCURSOR"] = 1;
        harness::Screen s("rasmo", cfg, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_TRUE(s.registered().swCursor);
        EXPECT_EQ(s.pointer(), nullptr);
        EXPECT_EQ(s.screen()->RecolorCursor, nullptr);
        EXPECT_EQ(s.queryBestSize(CursorShape, 2000, 20),
                  (std::pair<uint16_t, uint16_t>{uint16_t(s.width()), 20}));
        s.machine().clearTrace();
        s.switchAway();
        s.switchBack();
        EXPECT_TRUE(writesTo(s, 0x0EEF).empty());
        EXPECT_EQ(s.failureText(), "");
        s.freeScreen();
    }
}

TEST(RasmoCursorRefused, EndsTheServer) {
    harness::Screen s("rasmo", rasmoConfig(128, 96, 8), quiet());
    server::setPointerResult(0);
    EXPECT_FALSE(s.start());
    EXPECT_EQ(s.fatalMessage(), "rasmo: Cannot initialize cursor.\n");
}

} // namespace
} // namespace rasmotest
