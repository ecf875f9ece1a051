// Every driver through server generations, as a server that resets runs it:
// on its default board (the driver tables, so a new driver is in the test as
// soon as drvrun knows how to start it), the screen draws, survives a reset
// into the next generation and a console switch, and gives back every block
// it took.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivertable.h"
#include "harness.h"
#include "server.h"

namespace {

using Board = const drivertable::Board *;

std::vector<Board> defaultBoards() {
    std::vector<Board> out;
    for (const drivertable::Board &b : drivertable::sourceTree().boards)
        if (b.isDefault)
            out.push_back(&b);
    return out;
}

// What a client draws between resets: the engine's fill and copy, compared.
void drawAndCompare(harness::Screen &s, Pixel fg) {
    int w = s.width(), h = s.height();
    s.drawSolidRects({{2, 3, 50, 20}, {int16_t(w - 9), int16_t(h - 5), int16_t(w), int16_t(h)}},
                     fg & s.allPlanes(), GXxor);
    s.copyRect({10, 30, 60, 45}, {0, 0});
    EXPECT_SCREEN_SAME(s);
}

class Generations : public testing::TestWithParam<Board> {};

TEST_P(Generations, DrawAcrossResetsAndConsoleSwitchesAndGiveEverythingBack) {
    const drivertable::Board &b = *GetParam();
    graf::Config cfg;
    std::string error;
    ASSERT_TRUE(drivertable::configOf(b, drivertable::sourceTreeReader(), cfg, error)) << error;
    harness::Screen s(b.driver, cfg, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(7);
    drawAndCompare(s, 0x5A5A5A);
    uint32_t first = serverGeneration;
    for (int generation = 2; generation <= 3; generation++) {
        SCOPED_TRACE(generation);
        ASSERT_TRUE(s.nextGeneration()) << s.failureText();
        EXPECT_NE(serverGeneration, first);
        s.fillRandom(generation);
        drawAndCompare(s, 0x3C3C3C);
        // The server repaints after a switch: what the screen held is not
        // the driver's to keep.
        s.switchAway();
        s.switchBack();
        s.fillRandom(generation + 10);
        drawAndCompare(s, 0x0F0F0F);
    }
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u) << s.failureText();
}

INSTANTIATE_TEST_SUITE_P(Drivers, Generations, testing::ValuesIn(defaultBoards()),
                         [](const testing::TestParamInfo<Board> &info) {
                             return info.param->driver;
                         });

} // namespace
