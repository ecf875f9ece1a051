// Monochrome images of the gd6 drivers (tolva8, tolva16 in a small and a
// large mode) against the reference renderer: bitmaps staged in the window
// and expanded by the engine, from every starting bit and at widths that are
// and are not whole bytes, transparent and opaque, across alus; row halving
// when the window cannot hold the bits; the aligned copy of a bitmap that
// starts inside a byte, and the generic routine when that copy cannot be had.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "gd6_fixture.h"
#include "harness.h"
#include "models/gd6_adapter.h"

namespace {

using namespace gd6test;

std::vector<uint8_t> randomBits(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = uint8_t(rng());
    return v;
}

size_t expansions(harness::Screen &s) {
    size_t n = 0;
    for (const auto &op : dynamic_cast<sim::Gd6Adapter *>(s.adapter())->blt().log())
        n += op.kind == sim::BltKind::Expand || op.kind == sim::BltKind::TransparentExpand;
    return n;
}

class Gd6Mono : public ::testing::TestWithParam<Build> {
  protected:
    void start(int windowSize = 0) {
        graf::Config cfg = harness::loadConfig(GetParam().config);
        if (windowSize)
            cfg.ints["WINDOWSIZE"] = windowSize;
        s = std::make_unique<harness::Screen>(GetParam().driver, cfg,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(5);
        server::clearGenCalls();
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u >> 9) & s->allPlanes(); }
    std::unique_ptr<harness::Screen> s;
};

// Every combination of starting bit and width a row can fall into: whole
// bytes, a partial last byte, a bitmap shorter than a byte, and starting
// bits inside and past the first byte.
TEST_P(Gd6Mono, StartingBitsAndWidthsMatchTheRenderer) {
    start();
    const int startBits[] = {0, 1, 3, 7, 8, 13};
    const int widths[] = {1, 5, 8, 9, 16, 17, 63, 100};
    const int alus[] = {GXcopy, GXxor, GXand, GXorInverted};
    int y = 0, seed = 1;
    for (int startBit : startBits) {
        for (int w : widths) {
            const int h = 3 + w % 5, stride = (startBit + w + 7) / 8 + 1;
            const int alu = alus[seed % 4];
            auto bits = randomBits(size_t(stride * h), uint32_t(seed));
            BoxRec box = {int16_t(7 + seed % 11), int16_t(y), int16_t(7 + seed % 11 + w),
                          int16_t(y + h)};
            SCOPED_TRACE("start bit " + std::to_string(startBit) + ", width " + std::to_string(w));
            s->drawMonoImage(box, bits, startBit, stride, colour(seed), alu);
            box.x1 = int16_t(box.x1 + 200);
            box.x2 = int16_t(box.x2 + 200);
            s->drawOpaqueMonoImage(box, bits, startBit, stride, colour(seed + 1), colour(seed + 2),
                                   alu);
            EXPECT_SCREEN_SAME(*s);
            y += h + 1;
            seed++;
        }
    }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
}

TEST_P(Gd6Mono, EveryAluTransparentAndOpaque) {
    start();
    auto bits = randomBits(6 * 40, 77);
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        BoxRec box = {int16_t(3 + alu * 30), 50, int16_t(3 + alu * 30 + 45), 90};
        s->drawMonoImage(box, bits, 2, 6, colour(alu + 3), alu);
        box.y1 = 100;
        box.y2 = 140;
        s->drawOpaqueMonoImage(box, bits, 0, 6, colour(alu + 4), colour(alu + 5), alu);
    }
    EXPECT_SCREEN_SAME(*s);
}

// 640 x 100 bits are 8,000 bytes: a 4 KB window takes them in two halves of
// 50 rows, a 2 KB one in four of 25.
TEST_P(Gd6Mono, BitmapsLargerThanTheWindowGoInRowHalves) {
    struct Case {
        int windowSize;
        size_t parts;
    };
    for (Case c : {Case{0, 1}, Case{4096, 2}, Case{2048, 4}}) {
        SCOPED_TRACE("window " + std::to_string(c.windowSize));
        start(c.windowSize);
        auto bits = randomBits(81 * 100, 3);
        dynamic_cast<sim::Gd6Adapter *>(s->adapter())->blt().clearLog();
        s->drawOpaqueMonoImage({10, 10, 650, 110}, bits, 3, 81, colour(1), colour(2), GXcopy);
        EXPECT_EQ(expansions(*s), c.parts);
        EXPECT_SCREEN_SAME(*s);
        s.reset();
    }
}

// A starting bit inside a byte costs one aligned copy, freed before the call
// returns; whole bytes are only skipped.
TEST_P(Gd6Mono, AlignedCopyOnlyForAStartInsideAByte) {
    start();
    auto bits = randomBits(8 * 20, 9);
    const size_t live = server::liveBlockCount();
    uint64_t before = server::allocationCount();
    s->drawMonoImage({20, 20, 60, 40}, bits, 8, 8, colour(1), GXcopy);
    EXPECT_EQ(server::allocationCount(), before);
    s->drawMonoImage({20, 50, 60, 70}, bits, 3, 8, colour(2), GXcopy);
    EXPECT_EQ(server::allocationCount(), before + 1);
    EXPECT_EQ(server::liveBlockCount(), live);
    EXPECT_SCREEN_SAME(*s);
}

// Without memory for the aligned copy the generic routine draws the bitmap.
TEST_P(Gd6Mono, NoMemoryForTheAlignedCopyFallsBackToTheGenericRoutine) {
    start();
    auto bits = randomBits(8 * 20, 10);
    server::failAllocationAfter(0);
    s->drawMonoImage({20, 20, 61, 40}, bits, 5, 8, colour(1), GXxor);
    s->drawOpaqueMonoImage({100, 20, 141, 40}, bits, 5, 8, colour(2), colour(3), GXcopy);
    server::failAllocationAfter(-1);
    EXPECT_EQ(server::genCallsOf("genDrawMonoImage").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), 1u);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Mono, PartialPlaneMaskGoesToTheGenericRoutineUnchanged) {
    start();
    auto bits = randomBits(4 * 10, 11);
    BoxRec box = {30, 30, 60, 40};
    const uint32_t mask = 0x0F;
    s->drawMonoImage(box, bits, 1, 4, colour(1), GXcopy, mask);
    auto calls = server::genCallsOf("genDrawMonoImage");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[2], 1u);
    EXPECT_EQ(calls[0].args[3], 4u);
    EXPECT_EQ(calls[0].args[6], mask);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Mono, EmptyBoxesDrawNothing) {
    start();
    auto bits = randomBits(16, 12);
    dynamic_cast<sim::Gd6Adapter *>(s->adapter())->blt().clearLog();
    s->drawMonoImage({40, 40, 40, 50}, bits, 0, 2, colour(1), GXcopy);
    s->drawOpaqueMonoImage({40, 40, 50, 40}, bits, 0, 2, colour(1), colour(2), GXcopy);
    EXPECT_EQ(expansions(*s), 0u);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Mono, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
