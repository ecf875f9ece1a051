// The ct image cache as TileRects uses it: 8 x 8 patterns and blocks, their
// sizes from the heap and the ONBOARDMIN and ONBOARDMAX keys, and the fills
// against the reference renderer at several pattern origins.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ct_fixture.h"

namespace {

using namespace cttest;

class CtCache : public ::testing::TestWithParam<Build> {
  protected:
    // "-opsflag 0": the 65550's default mask gives TileRects to the server.
    void start(int width = 64, int height = 32,
               std::vector<std::pair<std::string, int>> keys = {}) {
        b = GetParam();
        graf::Config cfg = ctConfig(b, width, height);
        for (const auto &[k, v] : keys)
            cfg.ints[k] = v;
        s = std::make_unique<harness::Screen>(b.driver, cfg, options({"-opsflag", "0"}));
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(21);
        server::clearGenCalls();
        server::clearErrorMessages();
        ctOf(*s).clearOps();
    }
    void TearDown() override {
        if (s) {
            s->freeScreen();
            EXPECT_EQ(server::errorMessages(), std::vector<std::string>{});
        }
    }
    int bpp() const { return s->bytesPerPixel(); }
    std::vector<uint8_t> tile(int w, int h, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> t(size_t(w * h * bpp()));
        for (uint8_t &v : t)
            v = uint8_t(rng());
        return t;
    }
    // Operations that loaded host colour data (a block's first copy).
    std::vector<sim::CtOp> hostLoads() {
        std::vector<sim::CtOp> out;
        for (const sim::CtOp &op : ctOf(*s).ops())
            if (op.regs[4] & (is65550(b) ? 0x400u : 0x4000u))
                out.push_back(op);
        return out;
    }
    uint32_t dstPitch(const sim::CtOp &op) const { return (op.regs[0] >> 16) & 0x1FFF; }

    Build b;
    std::unique_ptr<harness::Screen> s;
};

const DDXPointRec kOrigins[] = {{0, 0}, {3, 5}, {-3, -1}, {13, 2}};

struct TileCase {
    const char *name;
    int w, h;
    bool pattern;
    void (*change)(std::vector<uint8_t> &, int bpp); // null: random as it is
};

void quadrantsEqual(std::vector<uint8_t> &t, int bpp) {
    // 16 x 16 from its top-left 8 x 8 quadrant.
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            for (int k = 0; k < bpp; k++)
                t[size_t((y * 16 + x) * bpp + k)] = t[size_t(((y % 8) * 16 + x % 8) * bpp + k)];
}

void oneDiffers(std::vector<uint8_t> &t, int bpp) {
    quadrantsEqual(t, bpp);
    t[size_t((9 * 16 + 12) * bpp)] ^= 1;
}

const TileCase kTiles[] = {
    {"tile4x2", 4, 2, true, nullptr},
    {"tile8x8", 8, 8, true, nullptr},
    {"tile16x16Equal", 16, 16, true, quadrantsEqual},
    {"tile16x16OneDiffers", 16, 16, false, oneDiffers},
    {"tile5x3", 5, 3, false, nullptr},
    {"tile3x7", 3, 7, false, nullptr},
};

TEST_P(CtCache, TilesAsPatternsOrBlocksAtEveryOrigin) {
    // Blocks are squares of about a fifth of the free memory, which on this
    // small screen would be wider than a scan line: the heap refuses those.
    start(64, 32, {{"ONBOARDMIN", 1000}});
    uint32_t seed = 1;
    for (const TileCase &c : kTiles)
        for (const DDXPointRec &org : kOrigins)
            for (int alu : {GXcopy, GXxor}) {
                SCOPED_TRACE(std::string(c.name) + " origin " + std::to_string(org.x) + "," +
                             std::to_string(org.y) + " alu " + std::to_string(alu));
                std::vector<uint8_t> t = tile(c.w, c.h, seed++);
                if (c.change)
                    c.change(t, bpp());
                ctOf(*s).clearOps();
                s->tileRects({{3, 3, 40, 17}, {45, 0, 64, 32}, {0, 20, 30, 31}}, t, c.w * bpp(),
                             c.w, c.h, org, alu);
                EXPECT_SCREEN_SAME(*s);
                EXPECT_EQ(hostLoads().empty(), c.pattern);
            }
    EXPECT_TRUE(server::genCalls().empty()) << server::genCalls()[0].routine;
}

// A box at y1 3 with the origin's y at 5 starts at pattern row 6.
TEST_P(CtCache, PatternRowFromTheOrigin) {
    start();
    std::vector<uint8_t> t = tile(8, 8, 3);
    s->tileRects({{0, 3, 16, 11}}, t, 8 * bpp(), 8, 8, {0, 5}, GXcopy);
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(ctOf(*s).ops().size(), 1u);
    uint32_t control = ctOf(*s).ops()[0].regs[4];
    EXPECT_EQ(is65550(b) ? (control >> 20) & 7 : (control >> 16) & 7, 6u);
}

struct BlockCase {
    const char *name;
    int screenW, screenH;
    std::vector<std::pair<std::string, int>> keys;
    int w, h;
    int blockW; // 0: refused
};

void PrintTo(const BlockCase &c, std::ostream *os) {
    *os << c.name;
}

// 320 x 140 at 16 bits on 1 MB leaves 479,488 free pixels: small = 95,897,
// whose square root is 309, as with 480,000.
const BlockCase kBlocks[] = {
    // small = 96,000, side 309: 30 tiles each way.
    {"side309", 320, 140, {}, 10, 10, 300},
    // Wider than the square's side: the block keeps the tile's width.
    {"widerThanSide", 320, 140, {}, 315, 2, 315},
    // Over half the free memory: refused, nothing allocated.
    {"overHalf", 320, 140, {}, 500, 480, 0},
    // ONBOARDMIN of 0 counts as absent (5); ONBOARDMAX of 0 as 2.
    {"minZero", 320, 140, {{"ONBOARDMIN", 0}, {"ONBOARDMAX", 0}}, 10, 10, 300},
    {"min100", 320, 140, {{"ONBOARDMIN", 100}}, 10, 10, 60},
};

class CtCacheBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(CtCacheBlocks, BlockSizeFromTheFreeMemory) {
    const BlockCase &c = GetParam();
    graf::Config cfg = ctConfig(kBelki16, c.screenW, c.screenH);
    for (const auto &[k, v] : c.keys)
        cfg.ints[k] = v;
    harness::Screen s("belki16", cfg, options());
    ASSERT_TRUE(s.start()) << s.failureText();
    server::clearGenCalls();
    ctOf(s).clearOps();
    std::mt19937 rng(5);
    std::vector<uint8_t> t(size_t(c.w * c.h * 2));
    for (uint8_t &v : t)
        v = uint8_t(rng());
    s.tileRects({{1, 2, 150, 40}}, t, c.w * 2, c.w, c.h, {7, 1}, GXcopy);
    EXPECT_SCREEN_SAME(s);
    if (c.blockW == 0) {
        EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    } else {
        ASSERT_FALSE(ctOf(s).ops().empty());
        EXPECT_EQ((ctOf(s).ops()[0].regs[0] >> 16) & 0xFFF, uint32_t(c.blockW * 2) & 0xFFF);
    }
    EXPECT_TRUE(server::errorMessages().empty());
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CtCacheBlocks, ::testing::ValuesIn(kBlocks),
                         [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Builds, CtCache, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
