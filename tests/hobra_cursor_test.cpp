// hobra's display cursor for the server's sprite layer: sessions over every
// screen edge at both depths (the screen checked with the cursor up and
// after every restore), a 64 x 64 cursor drawn 48 x 48 with 64 x 64 saved,
// the save-under cut at the left and right edges, shared cursor bits,
// moves with the current and with another cursor, the assertion reports,
// refused memory, and the best sizes.
#include <memory>
#include <string>
#include <vector>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

// A cursor of `w` x `h` whose rows mix all three kinds of pixel and differ
// from one another.
std::unique_ptr<harness::Cursor> patterned(int w, int h, int seed = 0) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++)
            r.push_back(".BFX."[size_t((x * 7 + y * 3 + seed + (x * y) % 5) % 5)]);
        rows.push_back(r);
    }
    return harness::makeCursor(rows, 0, 0);
}

// The sprite layer's sessions for this driver: it saves at most 64 x 64
// and draws at most 48 x 48 of a cursor.
harness::SpriteDrive drive(Pixel fg, Pixel bg) {
    harness::SpriteDrive d;
    d.fg = fg;
    d.bg = bg;
    d.saveSize = 64;
    d.maxCursor = 48;
    return d;
}

int commands(const sim::Trace &t, uint16_t word) {
    int n = 0;
    for (const PortWrite &w : engineWrites(t))
        n += w.first == sim::hobraport::Command && w.second == word;
    return n;
}

class HobraCursor : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", smallBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(3);
    }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, HobraCursor, testing::Values(8, 4),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

TEST_P(HobraCursor, SessionsOverEveryEdge) {
    ASSERT_NE(s->sprite(), nullptr);
    const Pixel fg = GetParam() == 8 ? 0xC3 : 0xC, bg = GetParam() == 8 ? 0x1E : 0x5;
    for (auto [w, h] : {std::pair{16, 16}, {11, 20}, {64, 64}, {48, 30}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        auto cursor = patterned(w, h, w);
        const harness::SpriteRun run = harness::driveSprite(
            *s, cursor->ptr(), harness::spriteEdgePath(s->width(), s->height()), drive(fg, bg));
        EXPECT_TRUE(run.problems.empty()) << run.problems.front();
        EXPECT_GT(run.moves, 0);
        EXPECT_GT(run.changeSaves, 0);
    }
    // Squares wholly off the screen are reported (and nothing is copied);
    // the pixels are right all the same.
    for (const std::string &m : server::errorMessages())
        EXPECT_TRUE(m == "assertion failure: hobraDispCur 327\n" ||
                    m == "assertion failure: hobraDispCur 382\n")
            << m;
    EXPECT_TRUE(s->failures().empty()) << s->failureText();
    s->freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// The screen under a 64 x 64 box lands whole in the SaveUnderArea; the
// cursor shows its top-left 48 x 48 pixels.
TEST_P(HobraCursor, ALargeCursorIsDrawn48By48With64By64Saved) {
    auto cursor = patterned(64, 64, 1);
    const ref::Canvas scene = s->mirror();
    ASSERT_TRUE(s->spriteRealize(cursor->ptr()));
    s->spriteSaveUnder(30, 0, 64, 64);
    s->spritePutUp(cursor->ptr(), 30, 0, 0xB, 0x6);
    s->mirror() = harness::withSprite(scene, *cursor->ptr(), 30, 0, 0xB, 0x6, 48);
    EXPECT_SCREEN_SAME(*s);
    const Private &p = privateOf(*s);
    const uint8_t *vram = adapter(*s).vram()->data();
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            ASSERT_EQ(vram[size_t(p.saveUnderY + y) * 1024 + size_t(p.saveUnderX + x)],
                      scene.get(30 + x, y))
                << x << ", " << y;
    EXPECT_EQ((std::vector<int>{p.savedX, p.savedY, p.savedWidth, p.savedHeight}),
              (std::vector<int>{30, 0, 64, 64}));
    s->spriteRestoreUnder(30, 0, 64, 64);
    s->mirror() = scene;
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Partly left of the screen: the save skips the columns off it, the
// restore puts them back where they came from, and the blit starts inside
// both shapes.
TEST_P(HobraCursor, ABoxLeftOfTheScreenIsSavedAndDrawnInPart) {
    auto cursor = patterned(24, 20, 2);
    const ref::Canvas scene = s->mirror();
    ASSERT_TRUE(s->spriteRealize(cursor->ptr()));
    s->machine().clearTrace();
    s->spriteSaveUnder(-10, -4, 40, 30);
    const Private &p = privateOf(*s);
    s->drain();
    const uint8_t *vram = adapter(*s).vram()->data();
    for (int y = 0; y < 26; y++)
        for (int x = 0; x < 30; x++)
            ASSERT_EQ(vram[size_t(p.saveUnderY + 4 + y) * 1024 + size_t(p.saveUnderX + 10 + x)],
                      scene.get(x, y))
                << x << ", " << y;
    s->spritePutUp(cursor->ptr(), -10, -4, 0x4, 0x9);
    s->mirror() = harness::withSprite(scene, *cursor->ptr(), -10, -4, 0x4, 0x9, 48);
    EXPECT_SCREEN_SAME(*s);
    s->spriteRestoreUnder(-10, -4, 40, 30);
    s->mirror() = scene;
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(server::errorMessages().empty());
    EXPECT_EQ(s->failureText(), "");
}

// A cursor box reaching past the right edge of a 1024-pixel screen: 24 of
// its 32 columns are saved, restored and drawn.
TEST(HobraCursorEdge, ABoxPastTheRightEdgeKeepsItsColumnsOnTheScreen) {
    harness::Screen s("hobra", smallBoard(8, 1024, 64), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(4);
    auto cursor = patterned(32, 32, 3);
    const ref::Canvas scene = s.mirror();
    ASSERT_TRUE(s.spriteRealize(cursor->ptr()));
    s.machine().clearTrace();
    s.spriteSaveUnder(1000, 10, 32, 32);
    // The save copies 24 columns: width - 1 in the major-axis register.
    bool saw24 = false;
    for (const PortWrite &w : engineWrites(s.machine().trace()))
        saw24 |= w.first == 0xD6E8 && w.second == 23;
    EXPECT_TRUE(saw24);
    s.spritePutUp(cursor->ptr(), 1000, 10, 0x77, 0x88);
    s.mirror() = harness::withSprite(scene, *cursor->ptr(), 1000, 10, 0x77, 0x88, 48);
    EXPECT_SCREEN_SAME(s);
    s.spriteRestoreUnder(1000, 10, 32, 32);
    s.mirror() = scene;
    EXPECT_SCREEN_SAME(s);
    EXPECT_TRUE(server::errorMessages().empty());
    EXPECT_EQ(s.failureText(), "");
}

TEST_P(HobraCursor, MovesBlitTheCurrentCursorAndStoreAnotherOne) {
    auto first = patterned(16, 16, 4), second = patterned(20, 12, 5);
    const ref::Canvas scene = s->mirror();
    ASSERT_TRUE(s->spriteRealize(first->ptr()));
    ASSERT_TRUE(s->spriteRealize(second->ptr()));
    s->spriteSaveUnder(10, 10, 64, 40);
    s->spritePutUp(first->ptr(), 12, 12, 0x3, 0xC);

    // The current cursor: the restore and two plane expansions, no shape
    // crosses the data port.
    s->machine().clearTrace();
    s->spriteMove(first->ptr(), 10, 10, 64, 40, 20, 8, 0x3, 0xC);
    EXPECT_EQ(commands(s->machine().trace(), 0x53F3), 0);
    s->mirror() = harness::withSprite(scene, *first->ptr(), 30, 18, 0x3, 0xC, 48);
    EXPECT_SCREEN_SAME(*s);

    // Another cursor: its two shapes are stored first.
    s->machine().clearTrace();
    s->spriteMove(second->ptr(), 10, 10, 64, 40, 5, 20, 0xA, 0x1);
    EXPECT_EQ(commands(s->machine().trace(), 0x53F3), 2);
    EXPECT_EQ(privateOf(*s).currentCursor, second->ptr());
    s->mirror() = harness::withSprite(scene, *second->ptr(), 15, 30, 0xA, 0x1, 48);
    EXPECT_SCREEN_SAME(*s);
    s->spriteRestoreUnder(10, 10, 64, 40);
    s->mirror() = scene;
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// A cursor unrealized while its shapes are in the CursorArea, then realized
// again with other bits in the same record: its new shapes are drawn.
TEST_P(HobraCursor, ARealizedAgainCursorStoresItsNewShapes) {
    auto cursor = patterned(16, 16, 6);
    auto other = patterned(16, 16, 7);
    const ref::Canvas scene = s->mirror();
    ASSERT_TRUE(s->spriteRealize(cursor->ptr()));
    s->spriteSaveUnder(20, 10, 64, 40);
    s->spritePutUp(cursor->ptr(), 24, 12, 0x2, 0xD);
    ASSERT_TRUE(s->spriteUnrealize(cursor->ptr()));
    cursor->rec.bits = &other->bits;
    ASSERT_TRUE(s->spriteRealize(cursor->ptr()));
    s->spriteMove(cursor->ptr(), 20, 10, 64, 40, 10, 6, 0x2, 0xD);
    s->mirror() = harness::withSprite(scene, *other->ptr(), 30, 16, 0x2, 0xD, 48);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

TEST(HobraCursorRecords, SharedBitsAreRealizedOnceAndFreedWithTheLastCursor) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto cursor = patterned(16, 16, 8);
    const size_t before = server::liveBlockCount();
    ASSERT_TRUE(s.spriteRealize(cursor->ptr()));
    const size_t realized = server::liveBlockCount();
    EXPECT_EQ(realized, before + 3); // the record and the two shapes
    void *image = cursor->bits.devPriv[0];
    ASSERT_NE(image, nullptr);

    CursorRec sharer = cursor->rec;
    cursor->bits.refcnt = 2;
    EXPECT_TRUE(s.spriteRealize(&sharer));
    EXPECT_EQ(server::liveBlockCount(), realized);
    EXPECT_EQ(cursor->bits.devPriv[0], image);
    EXPECT_TRUE(s.spriteUnrealize(&sharer));
    EXPECT_EQ(server::liveBlockCount(), realized);
    cursor->bits.refcnt = 1;
    EXPECT_TRUE(s.spriteUnrealize(cursor->ptr()));
    EXPECT_EQ(server::liveBlockCount(), before);
    EXPECT_EQ(cursor->bits.devPriv[0], nullptr);
}

TEST(HobraCursorRecords, RefusedMemoryRealizesNothing) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto cursor = patterned(16, 16, 9);
    const size_t before = server::liveBlockCount();
    for (long allowed : {0L, 1L, 2L}) {
        SCOPED_TRACE(allowed);
        server::failAllocationAfter(allowed);
        EXPECT_FALSE(s.spriteRealize(cursor->ptr()));
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), before);
        EXPECT_EQ(cursor->bits.devPriv[0], nullptr);
    }
    EXPECT_EQ(s.failureText(), "");
}

// Rectangles the save or the restore cannot take are reported and leave
// the screen and the SaveUnderArea alone.
TEST(HobraCursorRecords, RectanglesOffTheScreenAreReported) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    s.machine().clearTrace();
    s.spriteSaveUnder(200, 10, 32, 32);
    EXPECT_TRUE(errorLogged("assertion failure: hobraDispCur 327\n"));
    s.spriteRestoreUnder(200, 10, 32, 32);
    EXPECT_TRUE(errorLogged("assertion failure: hobraDispCur 382\n"));
    EXPECT_EQ(commands(s.machine().trace(), 0xC0F3) + commands(s.machine().trace(), 0xC0D3) +
                  commands(s.machine().trace(), 0xC073) + commands(s.machine().trace(), 0xC053),
              0);
    EXPECT_SCREEN_SAME(s);
}

TEST(HobraBestSize, AnswersFromTheLayout) {
    harness::Screen s("hobra", board(kBoard8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    struct Case {
        int cls;
        uint16_t w, h, wantW, wantH;
    };
    const Case cases[] = {
        {CursorShape, 16, 16, 48, 48},
        {CursorShape, 200, 3, 48, 48},
        {TileShape, 200, 50, 200, 32},
        {TileShape, 900, 10, 432, 10},
        {StippleShape, 2000, 300, 1024, 192},
        {StippleShape, 16, 8, 16, 8},
        {3, 777, 555, 777, 555},
    };
    for (const Case &c : cases)
        EXPECT_EQ(s.queryBestSize(c.cls, c.w, c.h), std::make_pair(c.wantW, c.wantH))
            << c.cls << " " << c.w << " x " << c.h;
}

} // namespace
