// The pilo sprite cursor (depth 4 with 1024 lines, the layout without room
// for the hardware cursor): a session of the server's sprite layer over a
// random scene (put up, move, change save, restore) with the screen compared
// after every step, the 64 x 64 limit of the images, the 80 x 80 save-under,
// cursors partly or wholly off the screen, and the images drawn again after a
// console switch and for a new cursor.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

constexpr Pixel kFg = 0xA, kBg = 0x5;

// A cursor `w` x `h` with a frame of background, foreground inside and a
// transparent diagonal, so every kind of pixel is on every edge it may cross.
std::unique_ptr<harness::Cursor> patterned(int w, int h) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++) {
            const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            r += (x == y || x + 1 == y) ? '.' : frame ? 'B' : ((x + y) % 3 ? 'F' : 'B');
        }
        rows.push_back(r);
    }
    return harness::makeCursor(rows, 0, 0);
}

class PiloSprite : public testing::Test {
  protected:
    void SetUp() override {
        s_ =
            std::make_unique<harness::Screen>("pilo", boardConfig(1024, 4, 96, 1023),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        ASSERT_EQ(privateOf(*s_).softwareCursor, 1);
        s_->fillRandom(7);
    }
    harness::Screen &s() { return *s_; }
    void expectClean(const harness::SpriteRun &run) {
        for (const std::string &p : run.problems)
            ADD_FAILURE() << p;
        EXPECT_GT(run.checks, 0);
    }
    std::unique_ptr<harness::Screen> s_;
};

TEST_F(PiloSprite, RegisteredInsteadOfTheHardwareCursor) {
    EXPECT_NE(s().sprite(), nullptr);
    EXPECT_EQ(s().pointer(), nullptr);
    EXPECT_EQ(privateOf(s()).spriteCursor, nullptr);
}

// Put up, move, change save and restore along every edge, partly off the
// screen too (x = -3 draws 13 of 16 columns from image column 3): the screen
// is the scene with the cursor after every drawing and the scene after every
// restore. A 70 x 70 cursor is drawn as its top-left 64 x 64.
TEST_F(PiloSprite, SessionsLeaveTheSceneAfterEveryRestore) {
    struct Case {
        int w, h;
    };
    for (Case c : {Case{16, 16}, Case{70, 70}, Case{33, 5}, Case{1, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        auto cur = patterned(c.w, c.h);
        harness::SpriteRun run = harness::driveSprite(
            s(), cur->ptr(), harness::spriteEdgePath(s().width(), s().height()),
            {.fg = kFg, .bg = kBg});
        expectClean(run);
        EXPECT_GT(run.moves, 0);
        EXPECT_GT(run.changeSaves, 0);
        EXPECT_EQ(privateOf(s()).spriteWidth, std::min(c.w, 64));
        EXPECT_EQ(privateOf(s()).spriteHeight, std::min(c.h, 64));
    }
    EXPECT_TRUE(server::genCalls().empty());
}

// A save-under of 100 x 100 keeps 80 x 80: the rest is not restored, and the
// SaveUnderArea does not spill into the sprite images beside it.
TEST_F(PiloSprite, SaveUnderKeptToEightyByEighty) {
    auto cur = patterned(16, 16);
    s().spritePutUp(cur->ptr(), 0, 200, kFg, kBg);
    s().mirror() = harness::withSprite(s().mirror(), *cur->ptr(), 0, 200, kFg, kBg);
    const ref::Canvas scene = s().mirror();
    s().spriteSaveUnder(0, 300, 100, 100);
    s().drawSolidRects({{0, 300, 96, 400}}, 0x3);
    s().spriteRestoreUnder(0, 300, 100, 100);
    ref::Canvas want = scene;
    for (int y = 380; y < 400; y++)
        for (int x = 0; x < 96; x++)
            want.put(x, y, 0x3);
    for (int y = 300; y < 380; y++)
        for (int x = 80; x < 96; x++)
            want.put(x, y, 0x3);
    s().mirror() = want;
    EXPECT_SCREEN_SAME(s());
    // The images of the cursor are as they were: drawn again without being
    // redrawn.
    s().spritePutUp(cur->ptr(), 40, 500, kFg, kBg);
    s().mirror() = harness::withSprite(s().mirror(), *cur->ptr(), 40, 500, kFg, kBg);
    EXPECT_SCREEN_SAME(s());
}

// A rectangle that starts left of or above the screen is saved and restored
// with every visible column and line; one wholly off the screen, and a cursor
// wholly off it, touch nothing.
TEST_F(PiloSprite, OffTheScreenSavesTheVisiblePartOrNothing) {
    auto cur = patterned(16, 16);
    const ref::Canvas scene = s().mirror();
    struct Case {
        int x, y;
    };
    for (Case c : {Case{-3, 10}, Case{10, -3}, Case{-5, -7}, Case{90, 1015}}) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
        s().spriteSaveUnder(c.x, c.y, 16, 16);
        s().spritePutUp(cur->ptr(), c.x, c.y, kFg, kBg);
        s().mirror() = harness::withSprite(scene, *cur->ptr(), c.x, c.y, kFg, kBg);
        EXPECT_SCREEN_SAME(s());
        s().spriteRestoreUnder(c.x, c.y, 16, 16);
        s().mirror() = scene;
        EXPECT_SCREEN_SAME(s());
    }
    for (Case c : {Case{-16, 10}, Case{-100, -100}, Case{96, 10}, Case{10, 1023}}) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
        s().spriteSaveUnder(c.x, c.y, 16, 16);
        s().spritePutUp(cur->ptr(), c.x, c.y, kFg, kBg);
        s().spriteRestoreUnder(c.x, c.y, 16, 16);
        EXPECT_SCREEN_SAME(s());
    }
}

// The console switch clears video memory: the first PutUpCursor after it
// draws the images again, for the same cursor too.
TEST_F(PiloSprite, ImagesDrawnAgainAfterAConsoleSwitch) {
    auto cur = patterned(20, 12);
    s().spritePutUp(cur->ptr(), 30, 30, kFg, kBg);
    s().switchAway();
    s().switchBack();
    EXPECT_EQ(privateOf(s()).spriteCursor, nullptr);
    s().syncMirror();
    s().fillRandom(9);
    expectClean(harness::driveSprite(s(), cur->ptr(), {{30, 30}, {33, 35}, {-2, 500}},
                                     {.fg = kFg, .bg = kBg}));
}

// A cursor that was unrealized no longer owns the images: another one at the
// same address is drawn from its own bits.
TEST_F(PiloSprite, NewCursorAtTheSameAddressDrawnFromItsBits) {
    auto cur = patterned(16, 16);
    s().spriteRealize(cur->ptr());
    s().spritePutUp(cur->ptr(), 10, 10, kFg, kBg);
    s().spriteUnrealize(cur->ptr());
    EXPECT_EQ(privateOf(s()).spriteCursor, nullptr);
    s().syncMirror();
    auto other = patterned(16, 16);
    cur->source = other->source;
    for (uint8_t &b : cur->source)
        b = uint8_t(~b);
    cur->bits.source = cur->source.data();
    expectClean(harness::driveSprite(s(), cur->ptr(), {{40, 40}}, {.fg = kFg, .bg = kBg}));
}

TEST(PiloSpriteInit, RefusedRegistrationEndsTheServer) {
    harness::Screen s("pilo", boardConfig(1024, 4, 96, 1024));
    server::setSpriteResult(0);
    EXPECT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "piloSWCursorInitialize(): Cannot initialize cursor\n");
}

} // namespace
