// nelto drawing at the five depths, compared with the reference renderer:
// copies in every direction, solid rectangles, points, monochrome images
// (transparent and opaque), images by the engine and by the processor,
// image reads and zero-width segments, across alus and plane masks; the
// generic fallbacks and the narrow-rectangle bit of the command words.
#include "nelto_fixture.h"

namespace neltotest {
namespace {

class NeltoDraw : public NeltoScreen {
  protected:
    void SetUp() override { startScreen(); }
    // The engine serves a case unless the mask is partial or the screen is
    // unaccelerated (depth 32).
    bool engineCase(uint32_t planemask) const {
        return accelerated() && (planemask & depthMask(depth)) == depthMask(depth);
    }
};

TEST_P(NeltoDraw, SolidRectsAcrossAlusAndPlaneMasks) {
    size_t fallbacks = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Pixel fg : {colour(uint32_t(alu)), kAllOnes}) {
                SCOPED_TRACE(caseName(alu, pm) + ", fg " + std::to_string(fg));
                int o = alu * 3;
                s->drawSolidRects({{int16_t(o), 2, int16_t(o + 40), 30},
                                   {int16_t(100 - o), int16_t(10 + alu), 128, 48},
                                   {5, 5, 5, 40}, // empty
                                   {0, 47, 1, 48}},
                                  fg, alu, pm);
                fallbacks += !engineCase(pm);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_EQ(server::genCallsOf("genDrawSolidRects").size(), fallbacks);
}

TEST_P(NeltoDraw, PointsAcrossAlusAndPlaneMasks) {
    size_t fallbacks = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks) {
            SCOPED_TRACE(caseName(alu, pm));
            s->drawPoints({{0, 0}, {127, 47}, {int16_t(alu * 5), int16_t(alu * 2)}, {64, 20}},
                          alu % 2 ? kAllOnes : colour(uint32_t(alu) + 40), alu, pm);
            fallbacks += !engineCase(pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(server::genCallsOf("genDrawPoints").size(), fallbacks);
}

struct Copy {
    const char *name;
    BoxRec dst;
    DDXPointRec src;
    bool narrow;
};

const Copy kCopies[] = {
    {"63 wide, down right, overlapping", {20, 10, 83, 40}, {10, 4}, true},
    {"64 wide, up left, overlapping", {5, 3, 69, 33}, {12, 9}, false},
    {"64 wide, right on the same rows", {40, 10, 104, 30}, {33, 10}, false},
    {"63 wide, left on the same rows", {3, 12, 66, 44}, {9, 12}, true},
    {"down, same columns", {30, 15, 100, 47}, {30, 5}, false},
    {"up, same columns", {30, 2, 100, 30}, {30, 12}, false},
    {"down left", {0, 20, 50, 45}, {70, 2}, true},
    {"up right", {77, 0, 127, 20}, {2, 25}, true},
    {"onto itself", {50, 20, 60, 30}, {50, 20}, true},
    {"empty", {40, 40, 40, 45}, {0, 0}, true},
};

TEST_P(NeltoDraw, CopiesInEveryDirection) {
    const int alus[] = {GXcopy, GXxor, GXinvert, GXandInverted, GXorReverse, GXnand};
    size_t fallbacks = 0;
    for (const Copy &c : kCopies)
        for (int alu : alus)
            for (uint32_t pm : {~0u, 0xF0F0F05Au}) {
                SCOPED_TRACE(std::string(c.name) + ", " + caseName(alu, pm));
                engine().clearLog();
                s->copyRect(c.dst, c.src, alu, pm);
                fallbacks += !engineCase(pm);
                EXPECT_SCREEN_SAME(*s);
                bool empty = c.dst.x2 == c.dst.x1;
                if (empty) {
                    EXPECT_EQ(drawingOps(), 0u);
                }
                // The generic copy may draw through the driver's image slots.
                if (!engineCase(pm) || empty)
                    continue;
                ASSERT_EQ(engine().log().size(), 1u);
                const sim::NeltoOp &op = engine().log()[0];
                EXPECT_EQ((op.command & 0x10000) != 0, c.narrow);
                EXPECT_EQ((op.command & 0x2000000) != 0, c.src.x >= c.dst.x1);
                EXPECT_EQ((op.command & 0x4000000) != 0, c.src.y >= c.dst.y1);
                EXPECT_EQ(op.command & 0x1C, format());
            }
    EXPECT_EQ(server::genCallsOf("genCopyRect").size(), fallbacks);
}

// A bitmap of `h` rows `stride` bytes apart, exactly as long as its rows
// need: a read past the last row is an overflow.
std::vector<uint8_t> bitmap(int w, int h, int stride, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size_t(stride) * size_t(h - 1) + size_t((w + 7) / 8));
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

TEST_P(NeltoDraw, MonoImagesTransparentAndOpaque) {
    struct Shape {
        BoxRec box;
        int stride;
    } shapes[] = {{{3, 2, 60, 20}, 8}, {{70, 30, 71, 31}, 4}, {{10, 25, 127, 47}, 17}};
    size_t fallbacks = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : {~0u, 0x0000FFFFu})
            for (const Shape &sh : shapes) {
                SCOPED_TRACE(caseName(alu, pm));
                int w = sh.box.x2 - sh.box.x1, h = sh.box.y2 - sh.box.y1;
                std::vector<uint8_t> bits = bitmap(w, h, sh.stride, uint32_t(alu * 31 + w));
                Pixel fg = colour(uint32_t(alu) + 3), bg = alu % 3 ? kAllOnes : colour(77);
                s->drawMonoImage(sh.box, bits, 0, sh.stride, fg, alu, pm);
                s->drawOpaqueMonoImage(sh.box, bits, 0, sh.stride, fg, bg, alu, pm);
                EXPECT_SCREEN_SAME(*s);
                bool generic = alu == GXclear || alu == GXinvert || alu == GXset || !engineCase(pm);
                // Unaccelerated, the slot is the server's own.
                fallbacks += accelerated() ? alu != GXnoop && generic : 1;
            }
    EXPECT_EQ(server::genCallsOf("genDrawMonoImage").size(), fallbacks);
    EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), fallbacks);
}

TEST_P(NeltoDraw, MonoImageWithAStartingBitGoesToTheServer) {
    std::vector<uint8_t> bits = bitmap(44, 10, 7, 5);
    BoxRec box = {4, 4, 40, 14};
    s->drawMonoImage(box, bits, 3, 7, colour(1), GXcopy, ~0u);
    s->drawOpaqueMonoImage(box, bits, 5, 7, colour(1), colour(2), GXxor, ~0u);
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(server::genCallsOf("genDrawMonoImage").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawMonoImage")[0].args[2], server::arg(3));
    EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), 1u);
}

// Client pixels with every byte random (the fourth byte at depths 24 and 32
// too), exactly as long as the rows need.
TEST_P(NeltoDraw, ImagesByTheEngineAndByTheProcessor) {
    const int cb = clientBytes();
    struct Shape {
        BoxRec box;
        int pad;
    } shapes[] = {{{2, 1, 65, 30}, 0}, {{70, 10, 75, 47}, 3}, {{0, 40, 128, 48}, 1}};
    size_t engineImages = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (const Shape &sh : shapes) {
                SCOPED_TRACE(caseName(alu, pm));
                int w = sh.box.x2 - sh.box.x1, h = sh.box.y2 - sh.box.y1;
                int stride = w * cb + sh.pad;
                std::vector<uint8_t> pixels = randomBytes(
                    size_t(stride) * size_t(h - 1) + size_t(w * cb), uint32_t(alu * 7 + w));
                engine().clearLog();
                s->drawImage(sh.box, pixels, stride, alu, pm);
                EXPECT_SCREEN_SAME(*s);
                bool byEngine = engineCase(pm) && depth != 24 && alu != GXnoop;
                if (byEngine || !accelerated()) {
                    EXPECT_EQ(drawingOps(), byEngine ? 1u : 0u);
                }
                if (byEngine) {
                    const sim::NeltoOp &op = engine().log()[0];
                    EXPECT_EQ(op.hostWords, uint32_t((w * cb + 3) / 4 * h));
                    EXPECT_EQ((op.command & 0x10000) != 0, w < 64);
                }
                engineImages += byEngine;
            }
    if (depth == 24 || depth == 32) {
        EXPECT_EQ(engineImages, 0u);
    }
}

TEST_P(NeltoDraw, ReadImageGivesTheScreen) {
    // Leave the engine running: the read waits for it.
    s->drawSolidRects({{0, 0, 128, 48}}, colour(9), GXxor);
    for (BoxRec box : {BoxRec{0, 0, 128, 48}, BoxRec{5, 7, 6, 8}, BoxRec{33, 2, 97, 45}}) {
        EXPECT_EQ(s->readImage(box), s->expectedImage(box));
        int stride = (box.x2 - box.x1) * clientBytes() + 5;
        EXPECT_EQ(s->readImage(box, stride), s->expectedImage(box, stride));
    }
}

ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    ZeroSegRec z{};
    z.x = int16_t(x1);
    z.y = int16_t(y1);
    z.signdx = int16_t(x2 >= x1 ? 1 : -1);
    z.signdy = int16_t(y2 >= y1 ? 1 : -1);
    int major = dx >= dy ? dx : dy, minor = dx >= dy ? dy : dx;
    z.axis = int16_t(dx >= dy ? 0 : 1);
    z.len = int16_t(major + 1);
    z.e1 = 2 * minor;
    z.e2 = 2 * minor - 2 * major;
    z.e = 2 * minor - major;
    return z;
}

TEST_P(NeltoDraw, SegmentsByTheProcessorForGXcopyUnderAFullMask) {
    ASSERT_TRUE(s->zeroSegsForm());
    std::vector<ZeroSegRec> segs = {segment(10, 10, 120, 10), segment(120, 12, 10, 12),
                                    segment(5, 0, 5, 47),     segment(0, 0, 47, 47),
                                    segment(127, 0, 80, 47),  segment(20, 40, 110, 5),
                                    segment(60, 30, 60, 30)};
    ZeroSegRec flat = segment(40, 30, 50, 35);
    flat.e = 0; // the first step is axial
    segs.push_back(flat);
    struct Case {
        int alu;
        uint32_t planemask;
        bool generic;
    } cases[] = {{GXcopy, ~0u, false},
                 {GXxor, ~0u, true},
                 {GXcopy, depthMask(depth) >> 1, true},
                 {GXand, 0x00FF00FFu, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(caseName(c.alu, c.planemask));
        server::clearGenCalls();
        GCPtr gc = s->createGC({.alu = c.alu, .planemask = c.planemask, .fg = colour(5)});
        EXPECT_NE(s->ops(gc)->slot3.ZeroSegs, genSolidZeroSegs);
        // Leave the engine running: the processor must wait for it.
        if (accelerated())
            s->drawSolidRects({{0, 0, 128, 48}}, colour(11), GXxor);
        s->zeroSegs(gc, segs);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(server::genCallsOf("genSolidZeroSegs").size(), c.generic ? 1u : 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, NeltoDraw, testing::ValuesIn(kDepths), depthName);

// Bitmap rows of 63 bytes are narrow, of 65 bytes not: a screen wide
// enough for both, at the depths the engine draws.
class NeltoWideMono : public NeltoScreen {};

TEST_P(NeltoWideMono, NarrowBitFollowsTheBytesOfARow) {
    startScreen(528, 6);
    for (int w : {504, 520}) {
        SCOPED_TRACE(w);
        int stride = (w + 7) / 8 + 1;
        std::vector<uint8_t> bits = bitmap(w, 4, stride, uint32_t(w));
        engine().clearLog();
        s->drawMonoImage({3, 1, int16_t(3 + w), 5}, bits, 0, stride, colour(2), GXcopy);
        EXPECT_SCREEN_SAME(*s);
        ASSERT_EQ(drawingOps(), 1u);
        const sim::NeltoOp &op = engine().log()[0];
        EXPECT_EQ((op.command & 0x10000) != 0, w == 504);
        EXPECT_EQ(op.hostWords, uint32_t((w / 8 + 3) / 4 * 4));
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, NeltoWideMono, testing::Values(8, 16, 24), depthName);

} // namespace
} // namespace neltotest
