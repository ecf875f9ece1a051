// The neo hardware cursor: what the chip shows after each move compared
// with the X cursor at the pointer (shifts at the top and left edges, a
// cursor wholly off them, moves that keep the shifts), the image built from
// padded bitmap rows, colours, no cursor, the console switch, where the
// server draws the cursor instead, and a refused cursor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "neo_fixture.h"

namespace {

using namespace neotest;
using RW = NeoAdapter::RegWrite;
using CP = NeoAdapter::CursorPixel;

// A 64 x 64 cursor in which no row or column repeats another, so a shift
// by any amount in either direction shows.
std::vector<std::string> patternRows(int width, int height) {
    std::vector<std::string> rows;
    for (int y = 0; y < height; y++) {
        std::string r;
        for (int x = 0; x < width; x++) {
            const unsigned v = (unsigned(x) * 7u + unsigned(y) * 13u + unsigned(x * y)) % 5u;
            r += v == 0 ? 'B' : v < 3 ? 'F' : '.';
        }
        rows.push_back(r);
    }
    return rows;
}

// What the X cursor shows on the screen with the pointer at (px, py), over
// the screen's top-left `w` x `h` pixels.
std::string expected(const std::vector<std::string> &rows, int hotX, int hotY, int px, int py,
                     int w, int h) {
    std::string s;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const int cy = y - (py - hotY), cx = x - (px - hotX);
            char c = '.';
            if (cy >= 0 && cy < int(rows.size()) && cy < 64 && cx >= 0 &&
                cx < int(rows[size_t(cy)].size()) && cx < 64)
                c = rows[size_t(cy)][size_t(cx)] == 'B'   ? 'B'
                    : rows[size_t(cy)][size_t(cx)] == '.' ? '.'
                                                          : 'F';
            s += c;
        }
        s += '\n';
    }
    return s;
}

std::string shown(const NeoAdapter &b, int w, int h) {
    std::string s;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const CP p = b.cursorAt(x, y);
            s += p == CP::Background ? 'B' : p == CP::Foreground ? 'F' : '.';
        }
        s += '\n';
    }
    return s;
}

constexpr int kW = 100, kH = 90;

class NeoCursorMoves : public testing::TestWithParam<Build> {};

TEST_P(NeoCursorMoves, ShownAsTheXCursorAfterEachMove) {
    auto s = startScreen(GetParam(), 96);
    NeoAdapter &b = board(*s);
    ASSERT_NE(s->pointer(), nullptr);
    EXPECT_EQ(b.cursorRegisters(), GetParam().engine == Engine::E2200 ? 0x1000u : 0x100u);
    const std::vector<std::string> rows = patternRows(64, 64);
    auto cur = harness::makeCursor(rows, 5, 5);
    const Private &p = privateOf(*s);
    const uint32_t address = (p.cursorAddrCode & 0xF) << 8 | (p.cursorAddrCode >> 4 & 0xFF);
    struct Move {
        const char *what;
        int x, y;
        bool visible;
        int regX, regY; // the position registers (when visible)
    };
    const Move moves[] = {
        {"hot spot (5, 5) at (2, 3): at (0, 0), 3 left and 2 up", 2, 3, true, 0, 0},
        {"(3, 3): shifts 2 and 2", 3, 3, true, 0, 0},
        {"(20, 20): unshifted", 20, 20, true, 15, 15},
        {"shift of 40: the right 24 columns at the edge", -35, 10, true, 0, 5},
        {"(-70, 10): wholly off the left edge", -70, 10, false, 0, 0},
        {"back at (10, 10)", 10, 10, true, 5, 5},
        {"wholly off the top", 30, -60, false, 0, 0},
        {"a row at the top", 30, -53, true, 25, 0},
    };
    bool first = true;
    for (const Move &m : moves) {
        SCOPED_TRACE(m.what);
        if (first)
            s->setCursor(cur->ptr(), m.x, m.y);
        else
            s->moveCursor(m.x, m.y);
        first = false;
        const NeoAdapter::CursorState c = b.cursor();
        EXPECT_EQ(c.enabled, m.visible);
        EXPECT_EQ(c.imageOffset, p.cursorAddrCode * 1024);
        if (m.visible) {
            EXPECT_EQ(c.x, m.regX);
            EXPECT_EQ(c.y, m.regY);
        }
        EXPECT_EQ(shown(b, kW, kH), m.visible ? expected(rows, 5, 5, m.x, m.y, kW, kH)
                                              : expected({}, 0, 0, 0, 0, kW, kH));
    }
    // A move that keeps both shifts writes only the address and position.
    s->moveCursor(40, 40);
    b.clearLog();
    s->moveCursor(41, 43);
    EXPECT_EQ(b.cursorLog(), (std::vector<RW>{{20, 4, address}, {4, 4, 36}, {8, 4, 38}}));
    EXPECT_EQ(shown(b, kW, kH), expected(rows, 5, 5, 41, 43, kW, kH));
    // The screen's pixels stay as they were.
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Builds, NeoCursorMoves, ::testing::ValuesIn(kBuilds), buildName);

struct Fixture {
    std::unique_ptr<harness::Screen> s;
    NeoAdapter *b;
};

Fixture screen209X() {
    Fixture f;
    f.s = startScreen({8, Engine::E209X}, 96);
    f.b = &board(*f.s);
    return f;
}

// A 16 x 16 cursor's rows are 32-bit padded: two units a row, the third and
// fourth of each plane row are 0; garbage past the cursor's width in the
// bitmap (the padding) is the server's to keep clear, the bytes past the
// row are never read.
TEST(NeoCursorImage, PaddedRowsAndColours) {
    Fixture f = screen209X();
    const std::vector<std::string> rows = patternRows(16, 16);
    auto cur = harness::makeCursor(rows, 0, 0, 0x1234, 0x5678, 0x9ABC, 0xFF00, 0x0100, 0x80FF);
    ASSERT_EQ(cur->stride, 4);
    f.s->setCursor(cur->ptr(), 8, 9);
    const Private &p = privateOf(*f.s);
    for (int y = 0; y < 64; y++)
        for (int i = 4; i < 8; i++) {
            EXPECT_EQ(p.cursorImage[y * 16 + i], 0) << y << " " << i;
            EXPECT_EQ(p.cursorImage[y * 16 + 8 + i], 0) << y << " " << i;
        }
    EXPECT_EQ(shown(*f.b, kW, kH), expected(rows, 0, 0, 8, 9, kW, kH));
    EXPECT_EQ(f.b->cursor().foreground, 0x9A5612u);
    EXPECT_EQ(f.b->cursor().background, 0x8001FFu);
}

// Rows taller and wider than the chip's 64 are cut to it.
TEST(NeoCursorImage, ACursorLargerThanTheChipsIsCut) {
    Fixture f = screen209X();
    const std::vector<std::string> rows = patternRows(80, 70);
    auto cur = harness::makeCursor(rows, 0, 0);
    f.s->setCursor(cur->ptr(), 0, 0);
    EXPECT_EQ(shown(*f.b, kW, kH), expected(rows, 0, 0, 0, 0, kW, kH));
}

TEST(NeoCursorShow, NoCursorHidesIt) {
    Fixture f = screen209X();
    auto cur = harness::makeCursor(patternRows(8, 8), 1, 1);
    f.s->setCursor(cur->ptr(), 20, 20);
    ASSERT_TRUE(f.b->cursor().enabled);
    f.s->setCursor(nullptr, 20, 20);
    EXPECT_FALSE(f.b->cursor().enabled);
    f.s->moveCursor(30, 30);
    EXPECT_FALSE(f.b->cursor().enabled);
}

// After the console switch the cursor shows again as it was, even when the
// console used the memory it is kept in; one that was hidden stays hidden.
TEST(NeoCursorShow, ConsoleSwitchRoundTrips) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "shown" : "hidden");
        harness::beginCase();
        Fixture f = screen209X();
        const std::vector<std::string> rows = patternRows(64, 64);
        auto cur = harness::makeCursor(rows, 5, 5);
        f.s->setCursor(cur->ptr(), 2, 30);
        if (!visible)
            f.s->setCursor(nullptr, 2, 30);
        f.s->switchAway();
        EXPECT_FALSE(f.b->cursor().enabled);
        const Private &p = privateOf(*f.s);
        std::memset(f.b->vram()->data() + p.cursorAddrCode * 1024, 0x5A, 1024);
        f.s->switchBack();
        EXPECT_EQ(f.b->cursor().enabled, visible);
        EXPECT_EQ(shown(*f.b, kW, kH),
                  visible ? expected(rows, 5, 5, 2, 30, kW, kH) : expected({}, 0, 0, 0, 0, kW, kH));
    }
}

TEST(NeoCursorChoice, TheServersCursorWhereTheChipsCannotServe) {
    struct Case {
        const char *what;
        Engine engine;
        int depth, width, height;
        int hwcurs, noAccel; // -1: key absent
        bool hardware;
    };
    const Case cases[] = {
        {"HWCURS 0", Engine::E209X, 8, 640, 48, 0, -1, false},
        {"NOACCEL 1", Engine::E2200, 8, 640, 48, -1, 1, false},
        {"1024 x 768 at depth 16 reaches the image at 0x11F800", Engine::E209X, 16, 1024, 768, -1,
         -1, false},
        {"a screen ending where the image starts", Engine::E209X, 16, 1024, 575, -1, -1, true},
        {"one row more", Engine::E209X, 16, 1024, 576, -1, -1, false},
        {"1024 x 768 at depth 16 on the 2200", Engine::E2200, 16, 1024, 768, -1, -1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        graf::Config cfg = config(c.engine, c.depth, c.width, c.height);
        if (c.hwcurs >= 0)
            cfg.ints["HWCURS"] = c.hwcurs;
        if (c.noAccel >= 0)
            cfg.ints["NOACCEL"] = c.noAccel;
        harness::Screen s(driverFor(c.depth), cfg, gtestOptions());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.pointer() != nullptr, c.hardware);
        EXPECT_EQ(s.registered().swCursor, !c.hardware);
        if (c.hardware) {
            EXPECT_EQ(s.registered().pointerArgs, (std::vector<int>{0, 1}));
        }
    }
}

TEST(NeoCursorChoice, ARefusedCursorIsFatal) {
    server::setPointerResult(0);
    std::vector<std::string> failures;
    harness::Options o;
    o.reporter = [&](const std::string &m) { failures.push_back(m); };
    harness::Screen s("yssen8", config(Engine::E209X, 8, 640, 48), o);
    EXPECT_FALSE(s.start());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
    server::setPointerResult(1);
}

} // namespace
