// pilo zero-width segments through the engine's line command at depths 4, 8
// and 16 (both byte halves), the terms the registers cannot hold going to
// the server's routine, and the GC records chosen by fill style and colours.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

ZeroSegRec seg(int x, int y, int sdx, int sdy, int axis, int len, int e, int e1, int e2) {
    ZeroSegRec r{};
    r.x = int16_t(x);
    r.y = int16_t(y);
    r.signdx = int16_t(sdx);
    r.signdy = int16_t(sdy);
    r.axis = int16_t(axis);
    r.len = int16_t(len);
    r.e = e;
    r.e1 = e1;
    r.e2 = e2;
    return r;
}

// A Bresenham segment from (x, y) by (dx, dy), both ends drawn.
ZeroSegRec line(int x, int y, int dx, int dy) {
    int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    bool yMajor = ady > adx;
    int major = yMajor ? ady : adx, minor = yMajor ? adx : ady;
    return seg(x, y, dx < 0 ? -1 : 1, dy < 0 ? -1 : 1, yMajor, major + 1, 2 * minor - major,
               2 * minor, 2 * minor - 2 * major);
}

std::vector<uint32_t> masksOf(int depth) {
    switch (depth) {
    case 4:
        return {~0u, 0x5};
    case 8:
        return {~0u, 0x3C};
    default:
        return {~0u, 0x00FF, 0xFF00, 0x0FF0};
    }
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 16 ? (c & 0xFFFF) : depth == 8 ? (c & 0xFF) : (c & 0xF);
}

class PiloLine : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ =
            std::make_unique<harness::Screen>("pilo", smallConfig(GetParam(), 80, 24),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        s_->fillRandom(7);
        server::clearGenCalls();
    }
    harness::Screen &s() { return *s_; }
    sim::S3EngineCore &engine() { return board(s()).engine(); }
    std::unique_ptr<harness::Screen> s_;
};

TEST_P(PiloLine, SegmentsInEveryOctantOverAlusAndMasks) {
    const int depth = GetParam();
    const std::vector<ZeroSegRec> segs = {
        line(40, 10, 30, 7),
        line(40, 10, -30, 7),
        line(40, 10, 30, -7),
        line(40, 10, -30, -7),
        line(20, 12, 5, 11),
        line(20, 12, -5, 11),
        line(20, 12, 5, -11),
        line(20, 12, -5, -11),
        seg(5, 5, 1, 1, 0, 1, 0, 0, 0),
        seg(50, 20, 1, 1, 0, 10, 0, 3, -9), // e 0: the first step is axial
        line(0, 23, 79, 0),                 // the whole bottom line
    };
    const std::vector<uint32_t> masks = masksOf(depth);
    int k = 0;
    for (uint32_t pm : masks)
        for (int alu = 0; alu < 16; alu++, k++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            GCPtr gc = s().createGC({.alu = alu, .planemask = pm, .fg = colourOf(depth, k)});
            s().zeroSegs(gc, segs);
            EXPECT_SCREEN_SAME(s());
        }
    EXPECT_TRUE(server::genCalls().empty());
    const uint64_t halves = depth == 16 ? 2 : 1;
    EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Line), halves * segs.size() * size_t(k));
}

// The error registers hold e and e1 in 13 bits and e2 in 14, at both pixel
// sizes: terms beyond them reach the server's routine unchanged instead of
// being cut into a wrong line. A segment of no pixels draws nothing.
TEST_P(PiloLine, TermsTheRegistersCannotHoldGoToTheServersRoutine) {
    struct Case {
        ZeroSegRec s;
        bool engine;
    };
    const Case cases[] = {
        {seg(10, 10, 1, 1, 0, 12, -1, 0, -8192), true},
        {seg(10, 11, 1, 1, 0, 12, -1, 0, -8193), false},
        {seg(10, 12, 1, 1, 0, 12, -1, 0, 8191), true},
        {seg(10, 13, 1, 1, 0, 12, -1, 0, 8192), false},
        {seg(10, 14, 1, 1, 0, 12, -4096, 4095, 0), true},
        {seg(10, 15, 1, 1, 0, 12, -4097, 0, 0), false},
        {seg(10, 16, 1, 1, 0, 12, 4096, 0, -8192), false},
        {seg(10, 17, 1, 1, 0, 12, -1, -4097, 0), false},
        {seg(10, 18, 1, 1, 0, 12, -1, 4096, 0), false},
    };
    const uint64_t halves = GetParam() == 16 ? 2 : 1;
    GCPtr gc = s().createGC({.alu = GXxor, .fg = colourOf(GetParam(), 9)});
    for (const Case &c : cases) {
        SCOPED_TRACE("e " + std::to_string(c.s.e) + " e1 " + std::to_string(c.s.e1) + " e2 " +
                     std::to_string(c.s.e2));
        server::clearGenCalls();
        engine().clearStats();
        s().zeroSegs(gc, {c.s});
        std::vector<server::GenCall> calls = server::genCallsOf("genSolidZeroSeg");
        EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Line), c.engine ? halves : 0u);
        ASSERT_EQ(calls.size(), c.engine ? 0u : 1u);
        if (!c.engine) {
            using server::arg;
            std::vector<uint64_t> tail(calls[0].args.end() - 9, calls[0].args.end());
            EXPECT_EQ(tail, (std::vector<uint64_t>{arg(1), arg(1), arg(0), arg(10), arg(c.s.y),
                                                   arg(c.s.e), arg(c.s.e1), arg(c.s.e2), arg(12)}));
        }
    }
    EXPECT_SCREEN_SAME(s());

    server::clearGenCalls();
    engine().clearStats();
    s().zeroSegs(gc, {seg(30, 5, 1, 1, 0, 0, -1, 2, -4)});
    EXPECT_EQ(engine().stats().commands, 0u);
    EXPECT_TRUE(server::genCalls().empty());
    EXPECT_SCREEN_SAME(s());
}

INSTANTIATE_TEST_SUITE_P(Depths, PiloLine, testing::Values(4, 8, 16), depthName);

// The line's registers as the command finds them: the terms, the count and
// positions masked to 11 bits, and at depth 16 the high byte's line 1024
// columns on.
TEST(PiloLineRegisters, TermsCountAndHalves) {
    harness::Screen s("pilo", smallConfig(16, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::S3EngineCore &e = board(s).engine();
    GCPtr gc = s.createGC({.alu = GXcopy, .planemask = 0xF0F0, .fg = 0xBEEF});
    e.clearLog();
    s.zeroSegs(gc, {seg(20, 9, -1, 1, 1, 5, -3, 4, -6)});
    EXPECT_EQ(e.log(), (std::vector<uint16_t>{0x20D7, 0x20D7}));
    const sim::S3Regs &r = e.regs();
    EXPECT_EQ((std::vector<int>{r.curX, r.curY, int16_t(r.errTerm), int16_t(r.destY),
                                int16_t(r.destX), r.majorAxis}),
              (std::vector<int>{20 + 1024, 9, -3, 4, -6, 5}));
    EXPECT_EQ(r.fgColour, 0xBEu);
    EXPECT_EQ(r.writeMask, 0xF0u);
    EXPECT_SCREEN_SAME(s);
}

// A GC's record by fill style, colours and pixel size: an opaque stipple in
// one colour is drawn as a solid fill, and a colour change re-chooses.
TEST(PiloLineValidation, OpaqueStippleFollowsItsColours) {
    for (int depth : {4, 8, 16}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        harness::Screen s("pilo", smallConfig(depth, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        PrivOps *solid = s.ops(s.createGC());
        PixmapPtr stipple = s.stipple({"X."});
        GCPtr gc =
            s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3, .stipple = stipple});
        EXPECT_EQ(s.ops(gc), solid);
        s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 2, .stipple = stipple},
                   GCBackground);
        PrivOps *opStippled = s.ops(gc);
        EXPECT_NE(opStippled, solid);
        EXPECT_NE(opStippled->FillRects, genOpStippledFillRects); // the driver's own
        s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 2, .bg = 2, .stipple = stipple},
                   GCForeground);
        EXPECT_EQ(s.ops(gc), solid);
        // Without the fill-style or colour bits the record stays.
        s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = stipple},
                   GCFunction);
        EXPECT_EQ(s.ops(gc), solid);
        // The solid record draws segments in every half of the pixel.
        s.fillRandom(3);
        GCPtr line1 = s.createGC({.alu = GXcopy, .fg = depth == 16 ? 0x1234u : 0x9u});
        s.zeroSegs(line1, {line(3, 3, 40, 9)});
        EXPECT_SCREEN_SAME(s);
    }
}

} // namespace
