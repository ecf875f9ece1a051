// The nte family's engine operations under the strict s3 engine model, in
// every variant and depth: copies in every overlap direction, solid
// rectangles, points, zero-width segments and the hardware scissor, under
// every alu with full and partial plane masks. Pixels are compared with the
// reference renderer; a wait that does not cover the writes after it, or a
// 32-bit register left half written, is a failure the model reports.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

class NteDraw : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().name, smallConfig(GetParam()),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(7);
        server::clearGenCalls();
        engine().clearLog();
        engine().clearStats();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::S3EngineCore &engine() { return board(*s).engine(); }
    // Every plane, and a mask that leaves some of them at every depth.
    std::vector<uint32_t> masks() const { return {s->allPlanes(), s->allPlanes() & 0xA5F0F3u}; }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    void expectNoGeneric() { EXPECT_TRUE(server::genCalls().empty()) << "a generic routine ran"; }

    std::unique_ptr<harness::Screen> s;
};

// A 40 x 20 box and its source in each direction the copy must run.
struct CopyCase {
    const char *name;
    DDXPointRec src;
    uint16_t command;
};
const BoxRec kCopyDst = box(20, 10, 60, 30);
const CopyCase kCopies[] = {
    {"one pixel left, same rows", {19, 10}, 0xC0D3},
    {"one pixel right", {21, 10}, 0xC0F3},
    {"one line up", {20, 9}, 0xC073},
    {"below and right", {30, 15}, 0xC0F3},
    {"above and left", {12, 4}, 0xC053},
    {"below and left", {8, 17}, 0xC0D3},
    {"apart", {300, 20}, 0xC0F3},
};

TEST_P(NteDraw, CopiesRunAwayFromTheOverlapUnderEveryAluAndMask) {
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            for (const CopyCase &c : kCopies)
                s->copyRect(kCopyDst, c.src, alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    expectNoGeneric();
    // The direction of each copy, as its command word says.
    engine().clearLog();
    for (const CopyCase &c : kCopies) {
        SCOPED_TRACE(c.name);
        engine().clearLog();
        s->copyRect(kCopyDst, c.src);
        ASSERT_EQ(engine().log().size(), 1u);
        EXPECT_EQ(engine().log()[0], c.command);
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(NteDraw, SolidRectanglesUnderEveryAluAndMask) {
    const std::vector<BoxRec> boxes = {box(0, 0, 1, 1), box(3, 5, 44, 6), box(600, 0, 640, 48),
                                       box(10, 10, 10, 30) /* empty */, box(100, 20, 133, 47)};
    uint32_t seed = 1;
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            s->drawSolidRects(boxes, colour(seed++), alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    expectNoGeneric();
    EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Fill), 2u * 16u * 4u) << "the empty box was drawn";
}

// One, two and three points: pairs share a wait, an odd last point has its own.
TEST_P(NteDraw, PointsSingleAndInPairsUnderEveryAluAndMask) {
    const std::vector<DDXPointRec> all = {{0, 0}, {639, 47}, {17, 3}, {17, 4}, {300, 20}};
    uint32_t seed = 3;
    for (size_t n : {1u, 2u, 3u, 5u})
        for (uint32_t pm : masks())
            for (int alu = 0; alu < 16; alu++) {
                SCOPED_TRACE("points " + std::to_string(n) + " alu " + std::to_string(alu));
                // A fill still queued: the points' waits see a FIFO partly full.
                s->drawSolidRects({box(400, 10, 420, 30)}, colour(seed++), GXxor);
                s->drawPoints(std::vector<DDXPointRec>(all.begin(), all.begin() + long(n)),
                              colour(seed++), alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
    expectNoGeneric();
    EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Point), (1u + 2u + 3u + 5u) * 32u);
}

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

// A Bresenham segment of `len` pixels from (x, y) by (dx, dy).
ZeroSegRec line(int x, int y, int dx, int dy) {
    int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    bool yMajor = ady > adx;
    int major = yMajor ? ady : adx, minor = yMajor ? adx : ady;
    return seg(x, y, dx < 0 ? -1 : 1, dy < 0 ? -1 : 1, yMajor, major + 1, 2 * minor - major,
               2 * minor, 2 * minor - 2 * major);
}

TEST_P(NteDraw, SegmentsInEveryOctantUnderEveryAluAndMask) {
    const std::vector<ZeroSegRec> segs = {
        line(100, 20, 30, 7),
        line(100, 20, -30, 7),
        line(100, 20, 30, -7),
        line(100, 20, -30, -7),
        line(200, 24, 5, 20),
        line(200, 24, -5, 20),
        line(200, 24, 5, -20),
        line(200, 24, -5, -20),
        seg(5, 5, 1, 1, 0, 1, 0, 0, 0),
        seg(300, 30, 1, 1, 0, 10, 0, 3, -9), // e 0: the first step is axial
    };
    uint32_t seed = 5;
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = colour(seed++)});
            s->zeroSegs(gc, segs);
            EXPECT_SCREEN_SAME(*s);
        }
    expectNoGeneric();
}

// The engine's error registers hold e and e1 in 13 bits and e2 in 14; terms
// beyond them reach the generic routine unchanged, and so does a length past
// the 12-bit count.
TEST_P(NteDraw, SegmentTermsOutOfRangeGoToTheGenericRoutine) {
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
    GCPtr gc = s->createGC({.alu = GXxor, .fg = colour(9)});
    for (const Case &c : cases) {
        SCOPED_TRACE("e " + std::to_string(c.s.e) + " e1 " + std::to_string(c.s.e1) + " e2 " +
                     std::to_string(c.s.e2));
        server::clearGenCalls();
        engine().clearStats();
        s->zeroSegs(gc, {c.s});
        std::vector<server::GenCall> calls = server::genCallsOf("genSolidZeroSeg");
        EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Line), c.engine ? 1u : 0u);
        ASSERT_EQ(calls.size(), c.engine ? 0u : 1u);
        if (!c.engine) {
            using server::arg;
            std::vector<uint64_t> tail(calls[0].args.end() - 9, calls[0].args.end());
            EXPECT_EQ(tail, (std::vector<uint64_t>{arg(1), arg(1), arg(0), arg(10), arg(c.s.y),
                                                   arg(c.s.e), arg(c.s.e1), arg(c.s.e2), arg(12)}));
        }
    }
    EXPECT_SCREEN_SAME(*s);
}

// The first box becomes the scissor, the others are not looked at; count 0
// opens the scissor over the OffScreenArea as well as the screen.
TEST_P(NteDraw, ClipIsTheFirstBoxAndCountZeroTheFullExtent) {
    const sim::S3Regs &r = engine().regs();
    Private p = privateOf(*s, GetParam().variant);
    s->setClipRegions({box(5, 6, 70, 40), box(100, 1, 200, 2)});
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{5, 6, 69, 39}));
    s->setClipRegions({});
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{0, 0, p.clipRight, p.clipBottom}));
    EXPECT_GT(p.clipBottom, 47) << "the OffScreenArea lies below the screen";
    // An empty first box lets nothing through, rather than wrapping to the
    // widest scissor.
    s->setClipRegions({box(0, 0, 0, 0)});
    EXPECT_LT(r.scissorRight, r.scissorLeft);
    EXPECT_LT(r.scissorBottom, r.scissorTop);
    ref::Canvas before = s->readScreen();
    s->drawSolidRects({box(0, 0, 640, 48)}, colour(1), GXcopy);
    s->mirror() = before;
    EXPECT_SCREEN_SAME(*s);
    s->setClipRegions({});
    s->drawSolidRects({box(0, 0, 640, 48)}, colour(2), GXxor);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Builds, NteDraw, testing::ValuesIn(kBuilds), buildName);

// An alu that reads the destination under a mask of four planes is the
// engine's, not the generic routine's, in every drawing slot.
TEST(NteDrawPlaneMask, XorUnderFourPlanesIsDrawnByTheEngine) {
    const Build &b = build("pravo8");
    harness::Screen s(b.name, smallConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(4);
    server::clearGenCalls();
    sim::S3EngineCore &e = board(s).engine();
    e.clearStats();
    s.drawSolidRects({box(1, 1, 50, 20)}, 0xFF, GXxor, 0x0F);
    s.copyRect(box(60, 5, 90, 25), {55, 3}, GXxor, 0x0F);
    s.drawPoints({{3, 30}, {4, 31}}, 0xFF, GXxor, 0x0F);
    GCPtr gc = s.createGC({.alu = GXxor, .planemask = 0x0F, .fg = 0xFF});
    s.zeroSegs(gc, {line(200, 5, 40, 30)});
    EXPECT_SCREEN_SAME(s);
    EXPECT_TRUE(server::genCalls().empty());
    EXPECT_EQ(e.stats().commands, 1u + 1u + 2u + 1u);
    s.freeScreen();
}

} // namespace
