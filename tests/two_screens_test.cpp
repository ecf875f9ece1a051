// Two screens in one server generation, each with its own number, adapter
// and simulated machine, drawn on alternately: of two drivers, and of one
// library whose static records the two screens share.
#include <gtest/gtest.h>

#include "harness.h"
#include "server.h"

namespace {

// A small gd5480 screen: the example procedure has timings for three
// resolutions only, and these screens need none.
graf::Config board(int width, int height) {
    graf::Builder g;
    g.config() = harness::loadConfig("cirrus/gd5436/gd5480.graf");
    g.integer("PIXWIDTH", width).integer("PIXHEIGHT", height);
    g.procedure("SetTimings", "out16 0x3D4, 0x0E11");
    return g.build();
}

harness::Options screenNumber(int n) {
    return {.screenNumber = n, .reporter = HARNESS_GTEST_REPORTER};
}

// A few steps on each screen in turn, every one compared on both screens:
// neither may disturb the other.
void drawAlternately(harness::Screen &a, harness::Screen &b) {
    a.fillRandom(1);
    b.fillRandom(2);
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        a.drawSolidRects({{4, 5, 70, 40}}, 0x3C, GXxor);
        b.drawSolidRects({{10, 2, 90, 30}, {0, 50, 16, 60}}, 0xA5, GXcopy);
        a.copyRect({20, 60, 120, 90}, {0, 0});
        b.copyRect({40, 40, 100, 70}, {45, 35});
        GCPtr ga = a.createGC({.alu = GXinvert});
        GCPtr gb = b.createGC({.fg = 0x11});
        a.fillSpans(ga, {{3, 100}, {7, 101}}, {50, 9});
        b.fillSpans(gb, {{1, 80}}, {60});
        EXPECT_SCREEN_SAME(a);
        EXPECT_SCREEN_SAME(b);
    }
}

TEST(TwoScreens, TwoDriversSideBySide) {
    harness::Screen a("brisko8", board(320, 200), screenNumber(0));
    harness::Screen b("tolva8", harness::loadConfig("cirrus/gd6/tolva8.graf"), screenNumber(1));
    ASSERT_TRUE(a.start()) << a.failureText();
    ASSERT_TRUE(b.start()) << b.failureText();
    EXPECT_EQ(a.screen()->myNum, 0);
    EXPECT_EQ(b.screen()->myNum, 1);
    ASSERT_NE(ddxActiveScreens[1], nullptr);
    EXPECT_EQ(ddxActiveScreens[1]->config, &b.config());
    EXPECT_EQ(ddxActiveScreens[1]->index, 1);
    EXPECT_EQ(WindowTable[1], b.root());
    EXPECT_NE(&a.machine(), &b.machine());
    drawAlternately(a, b);
    b.freeScreen();
    a.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// The screens of one library share its static state (the private index it
// asked for once in this generation), yet each has its own private.
TEST(TwoScreens, OneLibraryTwoBoards) {
    harness::Screen a("brisko8", board(320, 200), screenNumber(0));
    harness::Screen b("brisko8", board(400, 300), screenNumber(1));
    ASSERT_TRUE(a.start()) << a.failureText();
    ASSERT_TRUE(b.start()) << b.failureText();
    EXPECT_EQ(server::screenPrivateCount(), 1);
    EXPECT_EQ(b.width(), 400);
    drawAlternately(b, a);
    a.freeScreen();
    // The other screen goes on after its sibling closed.
    b.drawSolidRects({{0, 0, 8, 8}}, 0x77);
    EXPECT_SCREEN_SAME(b);
    b.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
