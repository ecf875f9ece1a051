// fuska tiled rectangles (TileRects) at the four depths: tiles of 2, 4 or 8
// pixels each way through the engine's 8 x 8 pattern, other tiles staged in
// the ScratchArea, replicated and copied; negative and odd pattern origins;
// the pattern cell's layout; the fallbacks to the generic routine.
#include "fuska_fixture.h"

namespace {

using namespace fuskatest;

constexpr int kStripLine = 80; // the first multiple of 16 at or below the screen

struct Tile {
    int width, height, stride;
    std::vector<uint8_t> pixels;
};

class FuskaTile : public FuskaScreen {
  protected:
    // Random client pixels with random padding past each row.
    Tile randomTile(int w, int h, uint32_t seed) {
        int stride = w * clientBytes() + 3;
        return {w, h, stride, randomImage(h, stride, seed)};
    }
    void tileRects(const std::vector<BoxRec> &boxes, const Tile &t, DDXPointRec org,
                   int alu = GXcopy, uint32_t pm = ~0u) {
        s->tileRects(boxes, t.pixels, t.stride, t.width, t.height, org, alu, pm);
    }
    // The tile's client pixel at (x, y), as the frame buffer holds it.
    uint32_t tilePixel(const Tile &t, int x, int y) const {
        const uint8_t *p = t.pixels.data() + y * t.stride + x * clientBytes();
        uint32_t v = 0;
        for (int i = 0; i < s->bytesPerPixel(); i++)
            v |= uint32_t(p[i]) << (8 * i);
        return v;
    }
    uint32_t memPixel(uint32_t offset) {
        s->drain();
        const uint8_t *p = adapter().vram()->data() + offset;
        uint32_t v = 0;
        for (int i = 0; i < s->bytesPerPixel(); i++)
            v |= uint32_t(p[i]) << (8 * i);
        return v;
    }
};

const std::vector<BoxRec> kBoxes = {
    {0, 0, 37, 23},    {41, 5, 42, 70}, {50, 3, 131, 4},
    {60, 30, 199, 80}, {3, 40, 40, 41}, {7, 50, 7, 60}, // empty
};

const DDXPointRec kOrigins[] = {{0, 0}, {-3, -5}, {5, 7}, {-1, 3}, {13, -11}, {-200, 101}};

struct Size {
    int w, h;
    bool pattern;
};
const Size kSizes[] = {
    {2, 2, true},  {4, 2, true},  {8, 8, true},  {2, 8, true},    {8, 4, true},
    {1, 1, false}, {3, 3, false}, {5, 7, false}, {16, 16, false}, {13, 2, false},
    {8, 3, false}, {6, 4, false}, {1, 9, false},
};

TEST_P(FuskaTile, SizeClassesAndOriginsMatchTheRenderer) {
    startScreen();
    uint32_t seed = 1;
    for (const Size &sz : kSizes)
        for (DDXPointRec org : kOrigins) {
            SCOPED_TRACE("tile " + std::to_string(sz.w) + " x " + std::to_string(sz.h) +
                         ", origin " + std::to_string(org.x) + ", " + std::to_string(org.y));
            engine().clearLog();
            tileRects(kBoxes, randomTile(sz.w, sz.h, seed++), org);
            EXPECT_EQ(opsOf(sim::FuskaOpKind::Pattern), sz.pattern ? kBoxes.size() - 1 : 0u);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
}

TEST_P(FuskaTile, AlusAndPlaneMasksOnBothPaths) {
    startScreen();
    size_t fallbacks = 0;
    uint32_t seed = 100;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Size sz : {Size{4, 8, true}, Size{7, 5, false}}) {
                SCOPED_TRACE(caseName(alu, pm) + (sz.pattern ? ", pattern" : ", staged"));
                tileRects(kBoxes, randomTile(sz.w, sz.h, seed), {int16_t(-int(seed % 9)), 3}, alu,
                          pm);
                seed++;
                fallbacks += fallsBack(depth, alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), fallbacks);
}

// Pattern rows hold 8 pixels: a 2 x 2 tile's row is t0 t1 t0 t1 ..., and rows
// 2 to 7 repeat rows 0 and 1. The pattern offset register takes the
// origin's x; the fill reads the cell from the strip line, byte column 128.
TEST_P(FuskaTile, PatternCellLayout) {
    startScreen();
    const int bpp = s->bytesPerPixel();
    const int rowBytes = bpp == 3 ? 32 : 8 * bpp;
    for (Size sz : {Size{2, 2, true}, Size{4, 2, true}, Size{8, 8, true}}) {
        SCOPED_TRACE(std::to_string(sz.w) + " x " + std::to_string(sz.h));
        engine().clearLog();
        Tile t = randomTile(sz.w, sz.h, uint32_t(sz.w * 10 + sz.h));
        tileRects({{10, 10, 20, 20}}, t, {-3, 0});
        ASSERT_EQ(log().size(), 1u);
        EXPECT_EQ(log()[0].kind, sim::FuskaOpKind::Pattern);
        EXPECT_EQ(log()[0].srcX, 128);
        EXPECT_EQ(log()[0].srcY, kStripLine);
        EXPECT_EQ(log()[0].regs.patternOffset, uint16_t(-3));
        const uint32_t cell = uint32_t(kPitch * kStripLine + 128);
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 8; c++) {
                int at = r * rowBytes + c * bpp;
                uint32_t offset = cell + uint32_t(at / 128 * kPitch + at % 128);
                EXPECT_EQ(memPixel(offset), tilePixel(t, c % sz.w, r % sz.h))
                    << "row " << r << ", column " << c;
            }
        // At 3 bytes a pixel each row ends with a copy of its first 8 bytes,
        // and the cell takes two lines of 128 bytes.
        if (bpp == 3)
            for (int r = 0; r < 8; r++) {
                int at = r * rowBytes;
                const uint8_t *row = adapter().vram()->data() + cell + at / 128 * kPitch + at % 128;
                EXPECT_EQ(std::vector<uint8_t>(row + 24, row + 32),
                          std::vector<uint8_t>(row, row + 8));
            }
    }
    EXPECT_SCREEN_SAME(*s);
}

// A 3 x 3 tile with boxes up to 100 x 40 is drawn into a 103 x 43 area of
// the ScratchArea; each box is copied from the column and line that match
// the origin.
TEST_P(FuskaTile, StagedAreaAndCopyOffsets) {
    startScreen();
    Tile t = randomTile(3, 3, 9);
    tileRects({{10, 10, 110, 50}, {120, 60, 130, 70}}, t, {0, 0});
    auto rep = server::genCallsOf("nfbReplicateArea");
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep[0].args[1], server::arg(3));
    EXPECT_EQ(rep[0].args[2], server::arg(3));
    for (int y = 0; y < 43; y++)
        for (int x = 0; x < 103; x++) {
            uint32_t offset = uint32_t((kScratchY + y) * kPitch + x * s->bytesPerPixel());
            ASSERT_EQ(memPixel(offset), tilePixel(t, x % 3, y % 3)) << x << ", " << y;
        }
    engine().clearLog();
    Tile wide = randomTile(16, 5, 10);
    tileRects({{0, 0, 30, 20}, {100, 33, 150, 40}}, wide, {5, -2});
    ASSERT_GE(opsOf(sim::FuskaOpKind::Copy), 2u);
    const sim::FuskaOp &first = log()[log().size() - 2], &second = log().back();
    EXPECT_EQ(first.srcX, 11); // (0 - 5) mod 16
    EXPECT_EQ(first.srcY, kScratchY + 2);
    EXPECT_EQ(first.dstX, 0);
    EXPECT_EQ(second.srcX, (100 - 5) % 16);
    EXPECT_EQ(second.srcY, kScratchY + (33 + 2) % 5);
    EXPECT_SCREEN_SAME(*s);
}

// Requests of one-line boxes, and tiles whose staged area the ScratchArea
// cannot hold, go to the generic routine with their arguments.
TEST_P(FuskaTile, StagingFallbacks) {
    startScreen(kSmallMemSize);
    Tile t = randomTile(3, 3, 11);
    tileRects({{0, 0, 100, 1}, {0, 5, 50, 6}}, t, {1, 1});
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    // 3 + 3 lines fit the 6 of the ScratchArea, 4 + 3 do not.
    tileRects({{0, 10, 100, 13}}, t, {1, 1}, GXxor);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    tileRects({{0, 20, 100, 24}}, t, {1, 1}, GXxor);
    auto calls = server::genCallsOf("genTileRects");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args[1], server::arg(1));
    EXPECT_EQ(calls[1].args[3], server::arg(t.stride));
    EXPECT_EQ(calls[1].args[4], server::arg(3));
    EXPECT_EQ(calls[1].args[5], server::arg(3));
    EXPECT_EQ(calls[1].args[7], server::arg(GXxor));
    // A tile taller than half the ScratchArea never stages.
    tileRects({{0, 30, 100, 40}}, randomTile(5, 4, 12), {0, 0});
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 3u);
    // The pattern needs no ScratchArea.
    tileRects({{0, 50, 100, 79}}, randomTile(8, 8, 13), {0, 0});
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 3u);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(FuskaTile, CountZeroDrawsNothing) {
    startScreen();
    tileRects({}, randomTile(4, 4, 1), {0, 0});
    tileRects({}, randomTile(3, 5, 2), {0, 0});
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
    EXPECT_SCREEN_SAME(*s);
}

// Requests back to back with a slow engine: the pattern cell and the
// ScratchArea are rewritten only after the previous fill or copy is done.
TEST_P(FuskaTile, RewritesWaitForTheEngine) {
    startScreen();
    engine().setBusyReads(40);
    for (uint32_t i = 0; i < 4; i++) {
        tileRects(kBoxes, randomTile(4, 4, 20 + i), {int16_t(i), int16_t(-int(i))}, GXxor);
        tileRects(kBoxes, randomTile(5, 3, 30 + i), {int16_t(i), 1}, GXor);
    }
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Depths, FuskaTile, testing::Values(8, 15, 16, 24), depthName);

} // namespace
