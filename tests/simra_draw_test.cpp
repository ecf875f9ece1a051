// simra drawing through the WD90C33 engine and the window: fills, spans,
// points, copies, segments, images and monochrome images at depths 8, 15 and
// 16 over alus and plane masks, compared with the reference renderer; the
// register groups per primitive, the copy corners, the segment's error term,
// the image lead pixels and monochrome groups; the engine's queue limit.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "simra_fixture.h"

namespace {

using namespace simratest;
using sim::Wd90c33Adapter;
using RW = Wd90c33Adapter::RegWrite;

std::vector<uint32_t> masksOf(int depth) {
    switch (depth) {
    case 8:
        return {~0u, 0x3C, 0xC3};
    case 15:
        return {~0u, 0x3FFF, 0x7C1F};
    default:
        return {~0u, 0x00FF, 0xFF00, 0x0FF0};
    }
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 8 ? (c & 0xFF) : depth == 15 ? (c & 0x7FFF) : (c & 0xFFFF);
}

class SimraDraw : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ = startScreen(smallConfig(GetParam()));
        s_->fillRandom(5);
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

TEST_P(SimraDraw, FillsSpansAndSolidRectsOverAlusAndMasks) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    int k = 0;
    for (int alu = 0; alu < 16; alu++, k++) {
        const uint32_t mask = masks[size_t(k) % masks.size()];
        SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
        GCPtr gc = s().createGC({.alu = alu, .planemask = mask, .fg = colourOf(depth, k)});
        // Empty boxes and spans sit among the others: nothing of them is drawn.
        s().fillRects(gc, {{0, 0, 7, 3}, {5, 5, 5, 9}, {10, 5, 64, 6}, {3, 20, 4, 24}});
        s().fillSpans(gc, {{1, 10}, {20, 11}, {63, 12}, {8, 13}}, {30, 0, 1, 56});
        s().drawSolidRects({{40, 1, 50, 2}, {9, 9, 9, 12}, {2, 14, 61, 19}}, colourOf(depth, k + 1),
                           alu, mask);
        EXPECT_SCREEN_SAME(s());
    }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(SimraDraw, PointsOverAlusAndMasks) {
    const int depth = GetParam();
    for (int alu = 0; alu < 16; alu += 3)
        for (uint32_t mask : masksOf(depth)) {
            s().drawPoints({{0, 0}, {63, 23}, {1, 0}, {40, 11}, {40, 11}}, colourOf(depth, alu),
                           alu, mask);
            EXPECT_SCREEN_SAME(s());
        }
}

// Every direction of a copy, overlapping and apart, with alus and masks.
TEST_P(SimraDraw, CopiesInEveryDirection) {
    const std::vector<uint32_t> masks = masksOf(GetParam());
    const std::vector<std::pair<int, int>> shifts = {{1, 0},  {-1, 0}, {0, 1},   {0, -1}, {5, 3},
                                                     {-5, 3}, {5, -3}, {-5, -3}, {0, 0},  {25, 2}};
    int k = 0;
    for (auto [dx, dy] : shifts)
        for (int alu : {GXcopy, GXxor, GXandInverted}) {
            const BoxRec dst = {32, 8, 59, 17};
            const DDXPointRec src = {int16_t(dst.x1 - dx), int16_t(dst.y1 - dy)};
            SCOPED_TRACE("shift " + std::to_string(dx) + ", " + std::to_string(dy));
            s().copyRect(dst, src, alu, masks[size_t(k++) % masks.size()]);
            EXPECT_SCREEN_SAME(s());
        }
    s().copyRect({10, 10, 10, 20}, {0, 0});
    s().copyRect({10, 10, 20, 10}, {0, 0});
    EXPECT_SCREEN_SAME(s());
}

// One segment in each octant; the error terms reach 0 on the way, so the
// engine's decision rule is pinned in both x directions.
TEST_P(SimraDraw, SegmentsInEveryOctant) {
    const int depth = GetParam();
    struct Octant {
        int signdx, signdy, axis;
    };
    const Octant octants[] = {{1, 1, 0},  {1, 1, 1},  {-1, 1, 0},  {-1, 1, 1},
                              {1, -1, 0}, {1, -1, 1}, {-1, -1, 0}, {-1, -1, 1}};
    int k = 0;
    for (const Octant &o : octants)
        for (int e : {0, -1, -4, 3}) {
            SCOPED_TRACE(std::to_string(o.signdx) + " " + std::to_string(o.signdy) + " axis " +
                         std::to_string(o.axis) + " e " + std::to_string(e));
            GCPtr gc = s().createGC({.alu = k % 2 ? GXxor : GXcopy,
                                     .planemask = masksOf(depth)[size_t(k) % 3],
                                     .fg = colourOf(depth, k)});
            k++;
            // 8 major steps, 4 minor: e1 = 2 x 4, e2 = 2 x (4 - 8).
            ZeroSegRec seg{32, 12, int16_t(o.signdx), int16_t(o.signdy), int16_t(o.axis), 9, e,
                           8,  -8};
            s().zeroSegs(gc, {seg});
            EXPECT_SCREEN_SAME(s());
        }
    GCPtr gc = s().createGC();
    board(s()).clearLog();
    s().zeroSegs(gc, {ZeroSegRec{5, 5, 1, 1, 0, 0, 0, 2, -2}});
    EXPECT_EQ(board(s()).stats().commands, 0u) << "a segment of no pixels is not sent";
}

TEST_P(SimraDraw, ImagesByProcessorAndEngine) {
    const int depth = GetParam();
    const int bpp = depth == 8 ? 1 : 2;
    const std::vector<uint32_t> masks = masksOf(depth);
    int k = 0;
    for (int x1 : {0, 1, 2, 3, 6})
        for (int w : {1, 3, 4, 5, 13}) {
            const int h = 1 + k % 3, extra = k % 2 ? 3 : 0;
            const int stride = (w + extra) * bpp;
            const BoxRec box = {int16_t(x1 + 40), int16_t(1 + k % 19), int16_t(x1 + 40 + w),
                                int16_t(1 + k % 19 + h)};
            // Exactly the image's bytes: nothing past its last pixel is read.
            std::vector<uint8_t> pixels(size_t(stride) * size_t(h - 1) + size_t(w * bpp));
            for (size_t i = 0; i < pixels.size(); i++)
                pixels[i] = uint8_t(i * 29 + size_t(k) * 7 + 3);
            if (depth == 15)
                for (size_t i = 1; i < pixels.size(); i += 2)
                    pixels[i] &= 0x7F;
            const int alu = k % 4 == 0 ? GXcopy : (k * 5) % 16;
            SCOPED_TRACE("x1 " + std::to_string(x1) + " w " + std::to_string(w));
            s().drawImage(box, pixels, stride, alu, masks[size_t(k) % masks.size()]);
            EXPECT_SCREEN_SAME(s());
            EXPECT_EQ(s().readImage(box, stride), s().expectedImage(box, stride));
            k++;
        }
    s().drawImage({5, 5, 5, 9}, {}, 4, GXxor);
    EXPECT_SCREEN_SAME(s());
}

TEST_P(SimraDraw, MonoImagesTransparentAndOpaque) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    int k = 0;
    for (int startBit : {0, 2, 5, 12})
        for (int w : {1, 3, 8, 9, 21}) {
            const int h = 3 + k % 3, stride = 6 + (k % 2) * 4;
            std::vector<uint8_t> bits(size_t(stride * h));
            for (size_t i = 0; i < bits.size(); i++)
                bits[i] = uint8_t(i * 37 + size_t(k) * 11 + 5);
            const BoxRec box = {int16_t(3 + k), int16_t(k % 17), int16_t(3 + k + w),
                                int16_t(k % 17 + h)};
            const int alu = (k * 7) % 16;
            const uint32_t mask = masks[size_t(k) % masks.size()];
            SCOPED_TRACE("start bit " + std::to_string(startBit) + " w " + std::to_string(w));
            s().drawMonoImage(box, bits, startBit, stride, colourOf(depth, k), alu, mask);
            EXPECT_SCREEN_SAME(s());
            s().drawOpaqueMonoImage(box, bits, startBit, stride, colourOf(depth, k + 1),
                                    colourOf(depth, k + 2), alu, mask);
            EXPECT_SCREEN_SAME(s());
            k++;
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, SimraDraw, ::testing::Values(8, 15, 16), depthName);

// ---- register groups ----

TEST(SimraRegisters, WritesPerPrimitiveAndBlockSelects) {
    auto s = startScreen(smallConfig(16));
    Wd90c33Adapter &b = board(*s);
    GCPtr gc = s->createGC({.fg = 0xF81F});
    s->fillRects(gc, {{0, 0, 4, 4}});
    struct Case {
        const char *what;
        std::function<void()> draw;
        size_t setup, each, n;
    };
    const Case cases[] = {
        {"GC rectangles",
         [&] {
             s->fillRects(gc, {{0, 0, 4, 4}, {5, 5, 9, 6}, {1, 8, 2, 9}});
         },
         6, 5, 3},
        {"spans",
         [&] {
             s->fillSpans(gc, {{0, 1}, {3, 2}}, {5, 6});
         },
         7, 4, 2},
        {"points",
         [&] {
             s->drawPoints({{0, 0}, {1, 1}, {2, 2}, {3, 3}}, 0xF81F);
         },
         8, 3, 4},
        {"window rectangles",
         [&] {
             s->drawSolidRects({{0, 0, 4, 4}, {5, 5, 9, 6}}, 7);
         },
         6, 5, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        b.clearLog();
        c.draw();
        EXPECT_EQ(b.regWrites().size(), c.setup + c.each * c.n);
        EXPECT_EQ(b.stats().blockSelects, 2u) << "block 3 for colours, block 1 for geometry";
        EXPECT_EQ(b.stats().commands, c.n);
        EXPECT_EQ(privateOf(*s).blockShadow, 1u);
    }
    b.clearLog();
    s->fillRects(gc, {{0, 0, 4, 4}});
    EXPECT_EQ(b.regWrites()[2], (RW{3, 2, 0x1F}));
    EXPECT_EQ(b.regWrites()[3], (RW{3, 3, 0xF8}));
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraRegisters, CopyCornersAndDirections) {
    auto s = startScreen(smallConfig(8));
    Wd90c33Adapter &b = board(*s);
    s->fillRandom(2);
    b.clearLog();
    s->copyRect({20, 10, 30, 15}, {17, 8});
    EXPECT_EQ(b.reg(1, 0), 0x380);
    EXPECT_EQ(b.reg(1, 2), 26);
    EXPECT_EQ(b.reg(1, 3), 12);
    EXPECT_EQ(b.reg(1, 4), 29);
    EXPECT_EQ(b.reg(1, 5), 14);
    s->copyRect({20, 10, 30, 15}, {20, 10});
    EXPECT_EQ(b.reg(1, 0), 0x200);
    EXPECT_EQ(b.reg(1, 2), 20);
    EXPECT_EQ(b.reg(1, 4), 20);
    EXPECT_EQ(b.reg(1, 5), 10);
    EXPECT_SCREEN_SAME(*s);
}

TEST(SimraRegisters, SegmentLowersTheErrorTermForXDecreasing) {
    auto s = startScreen(smallConfig(8));
    GCPtr gc = s->createGC();
    s->machine().clearTrace();
    s->zeroSegs(gc, {ZeroSegRec{30, 10, -1, 1, 0, 6, 5, 4, -8}});
    std::vector<uint32_t> errTerms;
    for (const sim::Access &a : s->machine().trace())
        if (a.kind == sim::Access::PortOut && a.address == 0x23CC)
            errTerms.push_back(a.value);
    EXPECT_EQ(errTerms, std::vector<uint32_t>({4}));
    EXPECT_EQ(board(*s).reg(1, 0), 0x910);
    EXPECT_SCREEN_SAME(*s);
}

// ---- images ----

TEST(SimraImages, LeadPixelsAndUnitsPerRow) {
    struct Case {
        int depth, x1, w, lead, units;
    };
    for (Case c : {Case{8, 6, 5, 2, 2}, Case{16, 3, 4, 1, 3}, Case{8, 0, 4, 0, 1}}) {
        SCOPED_TRACE(c.depth);
        harness::beginCase();
        auto s = startScreen(smallConfig(c.depth));
        Wd90c33Adapter &b = board(*s);
        const int bpp = c.depth == 8 ? 1 : 2, h = 3;
        std::vector<uint8_t> pixels(size_t(c.w * bpp * h), 0x5A);
        b.clearLog();
        s->drawImage({int16_t(c.x1), 2, int16_t(c.x1 + c.w), int16_t(2 + h)}, pixels, c.w * bpp,
                     GXxor);
        EXPECT_EQ(b.reg(1, 2), c.lead);
        EXPECT_EQ(b.stats().hostWords, uint64_t(2 * c.units * h));
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(SimraImages, PlainCopiesGoThroughTheWindowOthersThroughTheEngine) {
    // 1024 pixels a line: rows 63 to 65 cross the first 64 KB.
    auto s = startScreen(boardConfig(1024, 15, 1024, 100));
    Wd90c33Adapter &b = board(*s);
    s->fillRandom(8);
    std::vector<uint8_t> pixels(size_t(300 * 2 * 3));
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint8_t(i % 2 ? (i * 3) & 0x7F : i * 3 + 1);
    const BoxRec box = {700, 63, 1000, 66};
    struct Case {
        uint32_t mask;
        uint64_t commands;
    };
    for (Case c : {Case{0xFFFFFFFF, 0}, Case{0x7FFF, 0}, Case{0x3FFF, 1}}) {
        SCOPED_TRACE(c.mask);
        b.clearLog();
        s->drawImage(box, pixels, 600, GXcopy, c.mask);
        EXPECT_EQ(b.stats().commands, c.commands);
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_EQ(s->readImage(box), s->expectedImage(box));
}

TEST(SimraImages, MonoGroupsFollowTheStartBit) {
    struct Case {
        int startBit, w, skip, groupsPerRow;
    };
    for (Case c : {Case{5, 3, 1, 1}, Case{2, 8, 2, 3}, Case{0, 9, 0, 3}}) {
        SCOPED_TRACE(c.startBit);
        harness::beginCase();
        auto s = startScreen(smallConfig(8));
        Wd90c33Adapter &b = board(*s);
        const std::vector<uint8_t> bits = {0xA5, 0x3C, 0x0F, 0x96, 0xF0, 0x18};
        b.clearLog();
        s->drawMonoImage({4, 4, int16_t(4 + c.w), 6}, bits, c.startBit, 3, 9, GXcopy);
        EXPECT_EQ(b.reg(1, 2), c.skip);
        EXPECT_EQ(b.stats().hostWords, uint64_t(2 * c.groupsPerRow));
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(SimraImages, ThinMonoImagesAtTwoBytesPerPixelGoToTheServer) {
    const std::vector<uint8_t> bits(20 * 4, 0x55);
    for (int depth : {8, 16}) {
        harness::beginCase();
        auto s = startScreen(smallConfig(depth));
        s->drawMonoImage({3, 2, 5, 22}, bits, 0, 4, 3, GXcopy);
        s->drawOpaqueMonoImage({7, 2, 9, 22}, bits, 0, 4, 3, 4, GXcopy);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(server::genCallsOf("genDrawMonoImage").size(), depth == 16 ? 1u : 0u);
        EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), depth == 16 ? 1u : 0u);
    }
}

// ---- the model's strictness ----

TEST(SimraModel, ReportsRegisterWritesBeyondTheQueueAndStrayHostData) {
    std::vector<std::string> reported;
    harness::Options o;
    o.reporter = [&](const std::string &m) { reported.push_back(m); };
    harness::Screen s("simra", smallConfig(8), o);
    ASSERT_TRUE(s.start());
    sim::Machine &m = s.machine();
    s.drain();
    m.portOut(0x23C0, 2, 1);
    for (int i = 0; i < 9; i++)
        m.portOut(0x23C2, 2, 0x4000 | uint32_t(i));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("queue full"), std::string::npos) << reported[0];
    reported.clear();
    s.drain();
    m.portOut(0x23C4, 2, 0);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("no operation waiting"), std::string::npos) << reported[0];
}

} // namespace
