// savage drawing at the five depths, compared with the reference renderer:
// copies in every direction, solid rectangles, points, spans, monochrome
// images from every starting bit, images by the engine and by the
// processor, image reads and zero-width segments, across alus and plane
// masks; the command words where they are the point (directions, the words
// of a monochrome row, the plane-mask words).
#include "savage_fixture.h"

namespace savagetest {
namespace {

using sim::savagereg::kPlaneMaskWord;

class SavageDraw : public SavageScreen {
  protected:
    void SetUp() override { startScreen(); }
};

TEST_P(SavageDraw, SolidRectsPointsAndSpansAcrossAlusAndPlaneMasks) {
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Pixel fg : {colour(uint32_t(alu)), kAllOnes}) {
                SCOPED_TRACE(caseName(alu, pm) + ", fg " + std::to_string(fg));
                int o = alu * 3;
                s->drawSolidRects({{int16_t(o), 2, int16_t(o + 40), 30},
                                   {int16_t(90 - o), int16_t(10 + alu), 96, 40},
                                   {5, 5, 5, 40}, // empty
                                   {0, 39, 1, 40}},
                                  fg, alu, pm);
                s->drawPoints({{0, 0}, {95, 39}, {int16_t(alu * 5), int16_t(alu * 2)}}, fg, alu,
                              pm);
                GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = fg});
                s->fillSpans(gc, {{3, 1}, {int16_t(o), 20}, {50, 39}}, {90, 10, 0});
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_TRUE(server::genCallsOf("genDrawSolidRects").empty());
    EXPECT_TRUE(server::genCallsOf("genSolidFS").empty());
}

TEST_P(SavageDraw, SpansWithGXnoopAreSentAndLeaveTheScreen) {
    GCPtr gc = s->createGC({.alu = GXnoop, .fg = colour(3)});
    s->fillSpans(gc, {{3, 1}}, {40});
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(board().log().size(), 1u);
    EXPECT_EQ(board().log()[0].command, 0x4B008000u | 0xAAu << 16);
}

struct Copy {
    const char *name;
    BoxRec dst;
    DDXPointRec src;
    bool backward;
};

const Copy kCopies[] = {
    {"one line down onto itself", {10, 11, 80, 30}, {10, 10}, true},
    {"one line up onto itself", {10, 10, 80, 30}, {10, 11}, false},
    {"side by side, source left", {20, 5, 70, 25}, {13, 5}, true},
    {"side by side, source right", {13, 5, 63, 25}, {20, 5}, false},
    {"down right, overlapping", {20, 10, 83, 38}, {10, 4}, true},
    {"up left, overlapping", {5, 3, 69, 33}, {12, 9}, false},
    {"down left, overlapping", {5, 12, 60, 36}, {12, 4}, true},
    {"apart", {0, 20, 30, 39}, {60, 2}, false},
    {"onto itself", {50, 20, 60, 30}, {50, 20}, false},
    {"empty", {40, 30, 40, 35}, {0, 0}, false},
};

TEST_P(SavageDraw, CopiesRunBackwardOnlyOverAnEarlierOverlappingSource) {
    const int alus[] = {GXcopy, GXxor, GXinvert, GXclear, GXorReverse, GXnand};
    for (const Copy &c : kCopies)
        for (int alu : alus)
            for (uint32_t pm : {~0u, 0xF0F0F05Au}) {
                SCOPED_TRACE(std::string(c.name) + ", " + caseName(alu, pm));
                board().clearLog();
                s->copyRect(c.dst, c.src, alu, pm);
                EXPECT_SCREEN_SAME(*s);
                if (c.dst.x2 == c.dst.x1) {
                    EXPECT_TRUE(board().log().empty());
                    continue;
                }
                ASSERT_EQ(board().log().size(), 1u);
                EXPECT_EQ(board().log()[0].command >> 24, c.backward ? 0x48u : 0x4Bu);
            }
    EXPECT_TRUE(server::genCallsOf("genCopyRect").empty());
}

// A bitmap exactly as long as its rows need from `startBit`: a read past
// the last row's last pixel is an overflow.
std::vector<uint8_t> bitmap(int w, int h, int stride, int startBit, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size_t(stride) * size_t(h - 1) + size_t((startBit + w + 7) / 8));
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

TEST_P(SavageDraw, MonoImagesAcrossAlusAndMasks) {
    struct Shape {
        BoxRec box;
        int stride;
    } shapes[] = {{{3, 2, 60, 20}, 8}, {{70, 30, 71, 31}, 4}, {{10, 25, 95, 39}, 13}};
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : {~0u, 0x0000FFFFu})
            for (const Shape &sh : shapes) {
                SCOPED_TRACE(caseName(alu, pm));
                int w = sh.box.x2 - sh.box.x1, h = sh.box.y2 - sh.box.y1;
                std::vector<uint8_t> bits = bitmap(w, h, sh.stride, 0, uint32_t(alu * 31 + w));
                Pixel fg = colour(uint32_t(alu) + 3), bg = alu % 3 ? kAllOnes : colour(77);
                // Checked after each: an opaque image over the whole box
                // could hide a transparent one that drew too much.
                s->drawMonoImage(sh.box, bits, 0, sh.stride, fg, alu, pm);
                EXPECT_SCREEN_SAME(*s);
                s->drawOpaqueMonoImage(sh.box, bits, 0, sh.stride, fg, bg, alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
}

// Every starting bit, at boxes that start on, just after and late in a
// 32-pixel column; x1 32 to x2 63 with starting bit 7 is the case where a
// width taken from x1's column alone would lose the right-hand pixels.
TEST_P(SavageDraw, MonoImagesFromEveryStartingBit) {
    const BoxRec boxes[] = {{32, 3, 63, 7}, {40, 10, 50, 13}, {1, 20, 95, 22}, {61, 30, 66, 33}};
    for (const BoxRec &box : boxes)
        for (int start = 0; start < 32; start++) {
            SCOPED_TRACE("box from " + std::to_string(box.x1) + ", starting bit " +
                         std::to_string(start));
            int w = box.x2 - box.x1, h = box.y2 - box.y1;
            int stride = (start + w + 7) / 8 + 1;
            std::vector<uint8_t> bits = bitmap(w, h, stride, start, uint32_t(start * 13 + w));
            s->drawMonoImage(box, bits, start, stride, colour(uint32_t(start)), GXcopy);
            s->drawOpaqueMonoImage(box, bits, start, stride, colour(5), colour(6), GXxor);
            EXPECT_SCREEN_SAME(*s);
        }
}

TEST_P(SavageDraw, MonoImageFrom40To50SendsOneWordARow) {
    std::vector<uint8_t> bits = bitmap(10, 3, 2, 0, 9);
    board().clearWords();
    s->drawMonoImage({40, 5, 50, 8}, bits, 0, 2, colour(1), GXcopy);
    EXPECT_SCREEN_SAME(*s);
    // Command, clip, fg, position, size, three data words, end.
    const std::vector<uint32_t> &w = board().words();
    ASSERT_EQ(w.size(), 9u) << show(w);
    EXPECT_EQ(w[1], 40u | 49u << 16);
    EXPECT_EQ(w[4], 32u | 3u << 16);
}

TEST_P(SavageDraw, ImagesByTheEngineAndByTheProcessor) {
    const int cb = clientBytes();
    struct Shape {
        BoxRec box;
        int pad;
    } shapes[] = {{{2, 1, 65, 30}, 0}, {{70, 10, 75, 39}, 3}, {{0, 36, 96, 40}, 1}};
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : {~0u, depthMask(depth), 0xF0F0F05Au})
            for (const Shape &sh : shapes) {
                SCOPED_TRACE(caseName(alu, pm));
                int w = sh.box.x2 - sh.box.x1, h = sh.box.y2 - sh.box.y1;
                int stride = w * cb + sh.pad;
                std::vector<uint8_t> pixels = randomBytes(
                    size_t(stride) * size_t(h - 1) + size_t(w * cb), uint32_t(alu * 7 + w));
                board().clearLog();
                s->drawImage(sh.box, pixels, stride, alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
}

// Which path a GXcopy image takes by depth and mask.
TEST_P(SavageDraw, GXcopyImagePathByMask) {
    struct Case {
        int depth;
        uint32_t pm;
        bool byEngine;
    } cases[] = {{16, 0xFFFF, false}, {16, 0x7FFF, true}, {24, 0xFFFFFF, true},
                 {24, ~0u, false},    {8, 0xFF, false},   {8, 0x7F, true},
                 {15, 0x7FFF, false}, {32, ~0u, false},   {32, 0xFFFFFF, true}};
    std::vector<uint8_t> pixels = randomBytes(size_t(8 * clientBytes() * 2), 3);
    for (const Case &c : cases) {
        if (c.depth != depth)
            continue;
        SCOPED_TRACE(caseName(GXcopy, c.pm));
        board().clearLog();
        board().clearWords();
        s->drawImage({5, 5, 13, 7}, pixels, 8 * clientBytes(), GXcopy, c.pm);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(board().log().size(), c.byEngine ? 1u : 0u);
        EXPECT_EQ(planeMaskPairs(board().words()), c.byEngine ? 1u : 0u);
    }
}

TEST_P(SavageDraw, ReadImageGivesTheScreen) {
    // Leave the engine busy: the read waits for it.
    s->drawSolidRects({{0, 0, 96, 40}}, colour(9), GXxor);
    for (BoxRec box : {BoxRec{0, 0, 96, 40}, BoxRec{5, 7, 6, 8}, BoxRec{33, 2, 90, 38}}) {
        EXPECT_EQ(s->readImage(box), s->expectedImage(box));
        int stride = (box.x2 - box.x1) * clientBytes() + 5;
        EXPECT_EQ(s->readImage(box, stride), s->expectedImage(box, stride));
    }
}

// Images whose client pixels carry bits above the depth (at depth 24 the
// processor path stores the top byte, the engine under the depth's mask does
// not): a read gives the screen in the depth's bits and leaves the bytes past
// each row as they were.
TEST_P(SavageDraw, ReadImageAfterImagesWithBitsAboveTheDepth) {
    const int cb = clientBytes();
    const uint32_t mask = depthMask(depth);
    struct Case {
        BoxRec image, read;
        uint32_t pm;
        int pad;
    } cases[] = {{{10, 3, 49, 29}, {7, 2, 45, 28}, ~0u, 9},
                 {{50, 5, 91, 33}, {47, 4, 85, 30}, mask, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(caseName(GXcopy, c.pm));
        int w = c.image.x2 - c.image.x1, h = c.image.y2 - c.image.y1;
        std::vector<uint8_t> pixels = randomBytes(size_t(w * cb * h), uint32_t(w + c.pad));
        s->drawImage(c.image, pixels, w * cb, GXcopy, c.pm);
        EXPECT_SCREEN_SAME(*s);
        int rw = c.read.x2 - c.read.x1, stride = rw * cb + c.pad;
        std::vector<uint8_t> got = s->readImage(c.read, stride),
                             want = s->expectedImage(c.read, stride);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); i++) {
            size_t inRow = i % size_t(stride);
            uint8_t m = inRow < size_t(rw * cb) ? uint8_t(mask >> (8 * (inRow % size_t(cb))))
                                                : uint8_t(0xFF);
            ASSERT_EQ(got[i] & m, want[i] & m) << "byte " << i;
        }
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

TEST_P(SavageDraw, SegmentsByTheProcessorOnlyForGXcopyUnderAFullMask) {
    ASSERT_TRUE(s->zeroSegsForm());
    std::vector<ZeroSegRec> segs = {segment(10, 10, 90, 10), segment(90, 12, 10, 12),
                                    segment(5, 0, 5, 39),    segment(0, 0, 39, 39),
                                    segment(95, 0, 60, 39),  segment(60, 30, 60, 30)};
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
        // Leave the engine busy: the processor must wait for it.
        s->drawSolidRects({{0, 0, 96, 40}}, colour(11), GXxor);
        s->zeroSegs(gc, segs);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(server::genCallsOf("genSolidZeroSegs").size(), c.generic ? 1u : 0u);
    }
}

TEST_P(SavageDraw, PlaneMaskWordsOnlyOnAChangeAndAgainAfterSetGraphics) {
    auto fill = [&](uint32_t pm) { s->drawSolidRects({{1, 1, 9, 9}}, colour(2), GXxor, pm); };
    fill(~0u);
    EXPECT_EQ(planeMaskPairs(board().words()), 0u) << show(board().words());
    fill(0x0F);
    fill(0x0F);
    EXPECT_EQ(planeMaskPairs(board().words()), 1u) << show(board().words());
    s->sysInfo()->SetText(s->screen());
    s->sysInfo()->SetGraphics(s->screen());
    board().clearWords();
    fill(0x0F);
    EXPECT_EQ(planeMaskPairs(board().words()), 1u) << show(board().words());
    EXPECT_EQ(board().planemask(), 0x0Fu);
    s->syncMirror();
    fill(0x0F);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Depths, SavageDraw, testing::ValuesIn(kDepths), depthName);

// NOFILL: rectangles, points and spans go to the server with their
// arguments; copies and images stay on the engine.
class SavageNoFill : public SavageScreen {
  protected:
    void SetUp() override {
        graf::Config cfg = savageConfig(kWidth, kHeight, GetParam());
        cfg.ints["NOFILL"] = 1;
        startScreen(kWidth, kHeight, &cfg);
    }
};

TEST_P(SavageNoFill, FillsGoToTheServer) {
    s->drawSolidRects({{1, 1, 30, 20}}, colour(1), GXxor, 0xF0F0F05Au);
    s->drawPoints({{3, 3}, {50, 30}}, colour(2), GXcopy);
    GCPtr gc = s->createGC({.alu = GXor, .fg = colour(3)});
    s->fillSpans(gc, {{3, 1}}, {40});
    // The server's routines may draw through the image slots; the copy is
    // one more command of the engine's own.
    size_t before = board().log().size();
    s->copyRect({40, 10, 60, 30}, {2, 2});
    EXPECT_EQ(board().log().size(), before + 1);
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(server::genCallsOf("genDrawSolidRects").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawSolidRects")[0].args[3], server::arg(GXxor));
    EXPECT_EQ(server::genCallsOf("genDrawPoints").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genSolidFS").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Depths, SavageNoFill, testing::Values(8, 24), depthName);

} // namespace
} // namespace savagetest
