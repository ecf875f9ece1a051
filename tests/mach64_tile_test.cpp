// Mach64 tiles and stipples through the engine model, compared with the
// reference renderer in the three builds at depths 8, 16 and 32: patterns up
// to the TileArea's 64 x 46 staged and blitted in their phase from negative
// and odd origins, the single-box and oversized requests handed to the
// server unchanged, the transparent stipple's staging colour and colour
// compare, and the source and compare registers put back afterwards.
#include <algorithm>
#include <random>

#include "mach64_fixture.h"

namespace m64test {
namespace {

struct TileCase {
    Build build;
    int depth;
};

std::string tileCaseName(const testing::TestParamInfo<TileCase> &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
}

std::vector<TileCase> tileCases() {
    std::vector<TileCase> out;
    for (const Build &b : kBuilds)
        for (int depth : {8, 16, 32})
            out.push_back({b, depth});
    return out;
}

struct Pattern {
    int width, height;
    DDXPointRec origin;
};

// Sizes up to the TileArea's, origins negative and not multiples of the
// pattern (origin (10, 0), 8 wide, box at x 3: phase 1).
const Pattern kPatterns[] = {
    {8, 8, {10, 0}}, {3, 5, {-7, -3}}, {64, 46, {5, 11}}, {17, 1, {-100, 2}}, {1, 13, {0, -20}},
};

// Boxes over the whole screen, an empty one between others, boxes at its
// edges.
const std::vector<BoxRec> kBoxes = {
    {3, 1, 60, 9}, {70, 4, 70, 12}, {100, 0, 300, 16}, {301, 7, 302, 8}, {600, 3, 640, 16},
};

const int kAlus[] = {GXcopy, GXxor, GXandInverted, GXorReverse, GXnand};
const uint32_t kMasks[] = {~0u, 0x0FF0F00Fu};

std::vector<std::string> stippleRows(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> rows(size_t(height), std::string(size_t(width), '.'));
    for (std::string &r : rows)
        for (char &c : r)
            c = (rng() & 1) ? 'X' : '.';
    return rows;
}

class Mach64Tile : public testing::TestWithParam<TileCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            GetParam().build.driver, m64Config(GetParam().build, GetParam().depth), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(21);
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    std::vector<uint8_t> tilePixels(int height, int stride, uint32_t seed) const {
        std::mt19937 rng(seed);
        std::vector<uint8_t> t(size_t(stride * height));
        for (uint8_t &b : t)
            b = uint8_t(rng());
        return t;
    }
    std::unique_ptr<harness::Screen> s;
};

TEST_P(Mach64Tile, TilesInTheirPhase) {
    int bpp = s->bytesPerPixel();
    int n = 0;
    for (const Pattern &p : kPatterns)
        for (int alu : kAlus) {
            uint32_t pm = kMasks[n % 2];
            int stride = p.width * bpp + 4 * (n % 2);
            std::vector<uint8_t> tile = tilePixels(p.height, stride, uint32_t(++n));
            SCOPED_TRACE(std::to_string(p.width) + " x " + std::to_string(p.height) + ", alu " +
                         std::to_string(alu));
            s->tileRects(kBoxes, tile, stride, p.width, p.height, p.origin, alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
    EXPECT_EQ(boardOf(*s).reg(SRC_OFF_PITCH), privateOf(*s).pitchWord);
}

TEST_P(Mach64Tile, StipplesInTheirPhase) {
    int n = 0;
    for (const Pattern &p : kPatterns)
        for (int opaque = 0; opaque < 2; opaque++)
            for (int alu : {GXcopy, GXxor, GXnor}) {
                PixmapPtr st = s->stipple(stippleRows(p.width, p.height, uint32_t(++n)));
                GCPtr gc = s->createGC({.fillStyle = opaque ? FillOpaqueStippled : FillStippled,
                                        .alu = alu,
                                        .planemask = kMasks[n % 2],
                                        .fg = colour(uint32_t(n)),
                                        .bg = colour(uint32_t(n) + 50),
                                        .stipple = st,
                                        .patOrg = p.origin});
                SCOPED_TRACE(std::to_string(p.width) + " x " + std::to_string(p.height) +
                             (opaque ? " opaque" : " transparent") + ", alu " +
                             std::to_string(alu));
                s->fillRects(gc, kBoxes);
                EXPECT_SCREEN_SAME(*s);
                EXPECT_EQ(boardOf(*s).reg(CLR_CMP_CNTL), 0u);
            }
    EXPECT_TRUE(server::genCallsOf("genStippledFillRects").empty());
    EXPECT_TRUE(server::genCallsOf("genOpStippledFillRects").empty());
    EXPECT_EQ(boardOf(*s).reg(SRC_OFF_PITCH), privateOf(*s).pitchWord);
}

// One box, a pattern 65 wide or 47 high: the server's routine, called with
// the request unchanged.
TEST_P(Mach64Tile, OversizedPatternsAndSingleBoxesGoToTheServer) {
    int bpp = s->bytesPerPixel();
    std::vector<BoxRec> two = {{5, 2, 90, 12}, {200, 0, 260, 16}};
    struct Limit {
        int width, height;
        std::vector<BoxRec> boxes;
    };
    const Limit limits[] = {{65, 4, two}, {6, 47, two}, {8, 8, {two[0]}}};
    size_t calls = 0;
    for (const Limit &l : limits) {
        int stride = l.width * bpp;
        std::vector<uint8_t> tile = tilePixels(l.height, stride, uint32_t(l.width));
        s->tileRects(l.boxes, tile, stride, l.width, l.height, {3, 1}, GXxor, 0xF0F0F0F0u);
        std::vector<server::GenCall> gen = server::genCallsOf("genTileRects");
        ASSERT_EQ(gen.size(), ++calls);
        EXPECT_EQ(gen.back().args[1], uint64_t(l.boxes.size()));
        EXPECT_EQ(gen.back().args[3], uint64_t(stride));
        EXPECT_EQ(gen.back().args[4], uint64_t(l.width));
        EXPECT_EQ(gen.back().args[5], uint64_t(l.height));
        EXPECT_EQ(gen.back().args[7], uint64_t(GXxor));
        EXPECT_EQ(gen.back().args[8], 0xF0F0F0F0u);
        EXPECT_SCREEN_SAME(*s);

        for (int opaque = 0; opaque < 2; opaque++) {
            PixmapPtr st = s->stipple(stippleRows(l.width, l.height, uint32_t(l.height)));
            GCPtr gc = s->createGC({.fillStyle = opaque ? FillOpaqueStippled : FillStippled,
                                    .fg = colour(1),
                                    .bg = colour(2),
                                    .stipple = st,
                                    .patOrg = {-3, 7}});
            s->fillRects(gc, l.boxes);
            EXPECT_SCREEN_SAME(*s);
        }
    }
    EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), 3u);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 3u);
}

// The 0 bits of a transparent stipple are staged in the foreground with its
// low byte inverted and keyed out of the blit, even where the screen holds
// that very colour; later copies are not keyed. A GC's foreground may carry
// bits above the depth: the key is the staged pixel, without them.
TEST_P(Mach64Tile, TransparentStippleKeysItsZeroBitsOut) {
    const Pixel inDepth = s->depth() == 8 ? 0x2A : 0x1234;
    const Pixel key = s->depth() == 8 ? 0xD5 : 0x12CB;
    const Pixel above = s->depth() == 32 ? 0 : ~s->allPlanes();
    for (Pixel fg : {inDepth, inDepth | above}) {
        SCOPED_TRACE("foreground " + std::to_string(fg));
        s->drawSolidRects({{0, 0, 320, 16}}, key, GXcopy);
        PixmapPtr st = s->stipple({"X..X.", ".XX..", "....X"});
        GCPtr gc = s->createGC({.fillStyle = FillStippled, .fg = fg, .stipple = st});
        s->fillRects(gc, {{0, 0, 200, 16}, {250, 3, 400, 12}});
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(privateOf(*s).shadowCmpColor, key);

        // The staged pattern, read where the TileArea lies.
        s->drain();
        const teskScreenPrivate &p = privateOf(*s);
        const uint8_t *vram = boardOf(*s).vram()->data();
        int bpp = s->bytesPerPixel();
        auto staged = [&](int x, int y) {
            size_t at = (size_t(p.tileArea.y + y) * size_t(p.width) + size_t(p.tileArea.x + x)) *
                        size_t(bpp);
            uint32_t v = 0;
            for (int i = 0; i < bpp; i++)
                v |= uint32_t(vram[at + size_t(i)]) << (8 * i);
            return v;
        };
        EXPECT_EQ(staged(0, 0), inDepth);
        EXPECT_EQ(staged(1, 0), key);
        EXPECT_EQ(staged(4, 2), inDepth);
        EXPECT_EQ(staged(3, 2), key);

        EXPECT_EQ(boardOf(*s).reg(CLR_CMP_CNTL), 0u);
        s->copyRect({400, 0, 560, 16}, {0, 0});
        EXPECT_SCREEN_SAME(*s);
    }
}

// The pattern is entered at the box's phase: origin (10, 0), 8 wide, a box
// at x 3 starts in column 1.
TEST_P(Mach64Tile, PhaseOfTheFirstSourceRectangle) {
    int bpp = s->bytesPerPixel();
    std::vector<uint8_t> tile = tilePixels(4, 8 * bpp, 77);
    std::vector<uint32_t> srcYX;
    boardOf(*s).onEngineWrite = [&](int index, uint32_t value) {
        if (index == SRC_Y_X)
            srcYX.push_back(value);
    };
    s->tileRects({{3, 5, 40, 9}, {50, 0, 50, 3}, {20, 2, 30, 4}}, tile, 8 * bpp, 8, 4, {10, 0},
                 GXcopy);
    s->drain();
    boardOf(*s).onEngineWrite = nullptr;
    // (3 - 10) mod 8 = 1, (5 - 0) mod 4 = 1; the empty box takes none;
    // (20 - 10) mod 8 = 2, 2 mod 4 = 2.
    EXPECT_EQ(srcYX, (std::vector<uint32_t>{1u << 16 | 1u, 2u << 16 | 2u}));
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Tile, testing::ValuesIn(tileCases()), tileCaseName);

} // namespace
} // namespace m64test
