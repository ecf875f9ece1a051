// pilo monochrome images: host bitmaps expanded through the transfer port
// at depths 4, 8 and 16, transparent and opaque, at every starting bit and
// stride, split at column 1024, and the right clip put back afterwards.
// Bitmaps are handed over at exactly the bytes their rows hold, so a read
// past them is caught.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

std::vector<uint32_t> masksOf(int depth) {
    switch (depth) {
    case 4:
        return {~0u, 0x5, 0xA};
    case 8:
        return {~0u, 0x3C, 0xC3};
    default:
        return {~0u, 0x00FF, 0xFF00, 0x0FF0};
    }
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 16 ? (c & 0xFFFF) : depth == 8 ? (c & 0xFF) : (c & 0xF);
}

// The bytes a bitmap of these rows holds, and no more.
std::vector<uint8_t> bitmap(int startBit, int width, int height, int stride, int seed) {
    const size_t rowBytes = size_t(startBit + width + 7) / 8;
    std::vector<uint8_t> bits(size_t(stride) * size_t(height - 1) + rowBytes);
    for (size_t i = 0; i < bits.size(); i++)
        bits[i] = uint8_t(i * 37 + size_t(seed) * 11 + 5);
    return bits;
}

class PiloMono : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ =
            std::make_unique<harness::Screen>("pilo", smallConfig(GetParam(), 80, 24),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        s_->fillRandom(9);
        server::clearGenCalls();
    }
    harness::Screen &s() { return *s_; }
    sim::S3EngineCore &engine() { return board(s()).engine(); }
    int clipRight() { return privateOf(s()).clipRight; }
    std::unique_ptr<harness::Screen> s_;
};

// Every starting bit 0 to 31 (byte-aligned, shifted, past the first byte),
// widths that end inside a word, on a word and past it, the tightest
// stride and a wide one, transparent and opaque in turn, over alus and
// masks.
TEST_P(PiloMono, EveryStartingBitStrideAndAlu) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    const int widths[] = {1, 5, 8, 13, 16, 17, 31, 40};
    for (int sb = 0; sb < 32; sb++)
        for (int wide = 0; wide < 2; wide++) {
            const int k = sb * 2 + wide;
            const int w = widths[k % 8], h = 1 + k % 4;
            const int tight = (sb + w + 7) / 8;
            const int stride = wide ? tight + 5 : tight < 2 ? 2 : tight;
            const int x = 3 + (k * 7) % 30, y = k % 19;
            const BoxRec box = {int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + h)};
            const std::vector<uint8_t> bits = bitmap(sb, w, h, stride, k);
            const int alu = k % 16;
            const uint32_t pm = masks[size_t(k) % masks.size()];
            SCOPED_TRACE("start bit " + std::to_string(sb) + " width " + std::to_string(w) +
                         " stride " + std::to_string(stride) + " alu " + std::to_string(alu));
            if (k % 3 == 0)
                s().drawOpaqueMonoImage(box, bits, sb, stride, colourOf(depth, k),
                                        colourOf(depth, k + 1), alu, pm);
            else
                s().drawMonoImage(box, bits, sb, stride, colourOf(depth, k), alu, pm);
            EXPECT_SCREEN_SAME(s());
            EXPECT_EQ(engine().regs().scissorRight, clipRight());
        }
    EXPECT_TRUE(server::genCalls().empty());
}

// A bitmap of one byte a row goes as byte transfers whatever its starting
// bit; GXcopy opaque writes 0 bits in bg and 1 bits in fg, transparent
// leaves the 0 bits.
TEST_P(PiloMono, OneByteRowsGoAsByteTransfers) {
    const int depth = GetParam();
    const uint16_t expand = 0x51F3;
    const std::vector<uint8_t> bits = {0x5A, 0x81, 0xFF, 0x00, 0x3C};
    for (int sb : {0, 1, 3}) {
        for (int opaque = 0; opaque < 2; opaque++) {
            SCOPED_TRACE("start bit " + std::to_string(sb) + (opaque ? " opaque" : ""));
            const BoxRec box = {int16_t(10 + 9 * sb), 4, int16_t(15 + 9 * sb), 9};
            engine().clearLog();
            engine().clearStats();
            if (opaque)
                s().drawOpaqueMonoImage(box, bits, sb, 1, colourOf(depth, 1), colourOf(depth, 2));
            else
                s().drawMonoImage(box, bits, sb, 1, colourOf(depth, 3));
            EXPECT_SCREEN_SAME(s());
            const size_t halves = depth == 16 ? 2 : 1;
            EXPECT_EQ(engine().log(), std::vector<uint16_t>(halves, expand));
            EXPECT_EQ(engine().stats().transfersIn, 5u * halves);
            EXPECT_EQ(engine().regs().scissorRight, clipRight());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PiloMono, testing::Values(4, 8, 16), depthName);

// Bitmaps longer than the mirroring buffer go out piece by piece, with no
// allocation that could fail on the drawing path.
TEST(PiloMonoLong, LongBitmapsNeedNoAllocation) {
    harness::Screen s("pilo", smallConfig(8, 160, 300), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(6);
    const uint64_t allocations = server::allocationCount();
    server::failAllocationAfter(0);
    // One string of 300 byte rows, and 10 words a row over 290 rows at once.
    s.drawOpaqueMonoImage({3, 0, 9, 300}, bitmap(0, 6, 300, 1, 1), 0, 1, 0x12, 0x34);
    s.drawMonoImage({0, 5, 160, 295}, bitmap(0, 160, 290, 20, 2), 0, 20, 0x56, GXxor);
    s.drawMonoImage({1, 5, 151, 295}, bitmap(8, 150, 290, 20, 3), 8, 20, 0x78, GXcopy);
    server::failAllocationAfter(-1);
    EXPECT_EQ(server::allocationCount(), allocations);
    EXPECT_SCREEN_SAME(s);
}

// A box across column 1024 goes as two expansions: the right one takes its
// bits from where the left one's end, and the clip is the layout's again.
struct SplitCase {
    const char *name;
    int memoryKB, depth, width;
};

class PiloMonoSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(PiloMonoSplit, AcrossColumn1024InTwoPieces) {
    const SplitCase &c = GetParam();
    harness::Screen s("pilo", boardConfig(c.memoryKB, c.depth, c.width, 6),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(2);
    sim::S3EngineCore &e = board(s).engine();
    const Pixel fg = c.depth == 4 ? 0xB : 0x5A, bg = c.depth == 4 ? 0x6 : 0xC3;
    for (int sb : {0, 5, 8, 29})
        for (int opaque = 0; opaque < 2; opaque++) {
            SCOPED_TRACE("start bit " + std::to_string(sb) + (opaque ? " opaque" : ""));
            const BoxRec box = {1000, 1, 1100, 5};
            const int stride = (sb + 100 + 7) / 8 + (sb & 1);
            const std::vector<uint8_t> bits = bitmap(sb, 100, 4, stride, sb);
            e.clearLog();
            if (opaque)
                s.drawOpaqueMonoImage(box, bits, sb, stride, fg, bg, GXxor);
            else
                s.drawMonoImage(box, bits, sb, stride, fg, GXcopy);
            EXPECT_EQ(e.log(), (std::vector<uint16_t>{0x53F3, 0x53F3}));
            EXPECT_EQ(e.regs().majorAxis, 75);
            EXPECT_EQ(e.regs().curX, 1024);
            EXPECT_EQ(e.regs().scissorRight, privateOf(s).clipRight);
            EXPECT_SCREEN_SAME(s);
        }
    // A box wholly right of the split is one expansion.
    e.clearLog();
    s.drawMonoImage({1030, 0, 1050, 3}, bitmap(3, 20, 3, 4, 1), 3, 4, fg, GXcopy);
    EXPECT_EQ(e.log(), (std::vector<uint16_t>{0x53F3}));
    EXPECT_SCREEN_SAME(s);
}

INSTANTIATE_TEST_SUITE_P(Boards, PiloMonoSplit,
                         testing::Values(SplitCase{"Depth8", 2048, 8, 1104},
                                         SplitCase{"Depth4", 1024, 4, 1104}),
                         [](const testing::TestParamInfo<SplitCase> &i) { return i.param.name; });

} // namespace
