// Tiles and stipples of the gd6 drivers (tolva8, tolva16 in a small and a
// large mode) against the reference renderer: the staged area sized over the
// boxes, one copy per box, screen replication for the alus that ignore the
// destination, bands and columns for the others; stipples expanded by the
// processor into two colours, transparent ones copied around their
// background. Tile and stipple sizes that are not whole bytes or powers of
// two, negative pattern origins, boxes larger than the window, and windows
// too small for the square chunk.
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

struct Size {
    int w, h;
};

std::string sizeName(Size t) {
    return std::to_string(t.w) + "x" + std::to_string(t.h);
}

class Gd6Tile : public ::testing::TestWithParam<Build> {
  protected:
    void start(int windowSize = 0) {
        graf::Config cfg = harness::loadConfig(GetParam().config);
        if (windowSize)
            cfg.ints["WINDOWSIZE"] = windowSize;
        s = std::make_unique<harness::Screen>(GetParam().driver, cfg,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(21);
        server::clearGenCalls();
    }
    sim::Gd6Adapter *gd6() const { return dynamic_cast<sim::Gd6Adapter *>(s->adapter()); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u >> 9) & s->allPlanes(); }

    // Client pixels of a tw x th tile, rows `stride` bytes apart.
    std::vector<uint8_t> tilePixels(Size t, int stride, uint32_t seed) const {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(size_t(stride * t.h));
        for (auto &b : v)
            b = uint8_t(rng());
        return v;
    }
    int tileStride(Size t) const { return t.w * s->bytesPerPixel() + 3; }

    void tile(const std::vector<BoxRec> &boxes, Size t, DDXPointRec org, int alu, uint32_t seed) {
        int stride = tileStride(t);
        s->tileRects(boxes, tilePixels(t, stride, seed), stride, t.w, t.h, org, alu);
    }

    std::vector<std::string> stippleRows(Size t, uint32_t seed) const {
        std::mt19937 rng(seed);
        std::vector<std::string> rows(size_t(t.h), std::string(size_t(t.w), '.'));
        for (auto &r : rows)
            for (auto &c : r)
                c = rng() % 3 ? 'X' : '.';
        return rows;
    }
    GCPtr stippleGC(int style, Size t, DDXPointRec org, int alu, uint32_t seed) {
        return s->createGC({.fillStyle = style,
                            .alu = alu,
                            .fg = colour(seed),
                            .bg = colour(seed + 7),
                            .stipple = s->stipple(stippleRows(t, seed)),
                            .patOrg = org});
    }

    // Engine copies that landed on the visible screen.
    size_t screenCopies() const {
        size_t n = 0;
        const uint32_t end = uint32_t(s->pitch() * s->height());
        for (const auto &op : gd6()->blt().log())
            n += op.regs.dstAddr < end &&
                 (op.kind == sim::BltKind::CopyForward || op.kind == sim::BltKind::TransparentCopy);
        return n;
    }

    std::unique_ptr<harness::Screen> s;
};

const Size kSizes[] = {{16, 16}, {5, 3}, {13, 7}, {1, 1}, {32, 8}, {3, 20}, {9, 9}};

std::vector<BoxRec> someBoxes(const harness::Screen &s) {
    const int16_t w = int16_t(s.width()), h = int16_t(s.height());
    return {{3, 5, 40, 30},
            {50, 2, 51, 90},
            {100, 100, 227, 181},
            {0, 200, w, 330},
            {int16_t(w - 37), int16_t(h - 41), w, h},
            {60, 60, 60, 70}};
}

TEST_P(Gd6Tile, TilesMatchTheRenderer) {
    start();
    const int alus[] = {GXcopy, GXxor, GXandInverted, GXset, GXcopyInverted, GXequiv};
    const DDXPointRec origins[] = {{0, 0}, {-7, -3}, {11, -20}};
    uint32_t seed = 1;
    for (Size t : kSizes) {
        for (int alu : alus) {
            SCOPED_TRACE("tile " + sizeName(t) + ", alu " + std::to_string(alu));
            tile(someBoxes(*s), t, origins[seed % 3], alu, seed);
            EXPECT_SCREEN_SAME(*s);
            seed++;
        }
    }
    EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
}

TEST_P(Gd6Tile, OneBoxWithAnAluThatIgnoresTheScreenGoesToTheGenericRoutine) {
    start();
    Size t = {16, 16};
    tile({{10, 10, 100, 50}}, t, {0, 0}, GXcopy, 1);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    tile({{10, 10, 100, 50}, {200, 10, 300, 50}}, t, {0, 0}, GXcopy, 2);
    tile({{10, 60, 100, 90}}, t, {3, 3}, GXxor, 3);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    tile({{10, 100, 100, 190}}, t, {0, 0}, GXcopy, 4);
    tile({{10, 200, 50, 290}}, t, {0, 0}, GXcopy, 4);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 3u);
    tile({{10, 300, 50, 340}, {60, 300, 90, 340}}, t, {0, 0}, GXcopy, 5);
    s->tileRects({{10, 350, 50, 360}, {60, 350, 90, 360}}, tilePixels(t, 40, 6), 40, 16, 16, {0, 0},
                 GXcopy, 0x0F);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 4u);
    EXPECT_SCREEN_SAME(*s);
}

// A 100 x 40 box with a 16 x 16 tile stages 96 x 32; with GXxor it is drawn
// in bands of 16, 16 and 8 rows, each in columns of 80 and 20 pixels.
TEST_P(Gd6Tile, BoxLargerThanTheAreaIsDrawnInBandsAndColumns) {
    start();
    gd6()->blt().clearLog();
    tile({{20, 20, 120, 60}, {200, 20, 210, 30}}, {16, 16}, {-5, 9}, GXxor, 8);
    EXPECT_EQ(screenCopies(), 7u);
    EXPECT_SCREEN_SAME(*s);
}

// Boxes far larger than the window take the square chunk; a window whose
// chunk is smaller than two tiles still stages two tiles each way.
TEST_P(Gd6Tile, BoxesLargerThanTheWindowAndSmallChunks) {
    struct Case {
        int windowSize;
        Size tile;
    };
    for (Case c : {Case{0, {13, 7}}, Case{0, {64, 2}}, Case{4096, {40, 3}}, Case{4096, {3, 30}},
                   Case{4096, {17, 5}}}) {
        SCOPED_TRACE("window " + std::to_string(c.windowSize) + ", tile " + sizeName(c.tile));
        start(c.windowSize);
        std::vector<BoxRec> boxes = {{1, 2, int16_t(s->width() - 3), int16_t(s->height() - 1)},
                                     {5, 5, 30, 30}};
        tile(boxes, c.tile, {-2, -9}, GXxor, 5);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
        auto gc = stippleGC(FillOpaqueStippled, c.tile, {-1, -4}, GXequiv, 6);
        s->fillRects(gc, boxes);
        EXPECT_SCREEN_SAME(*s);
        gc = stippleGC(FillStippled, c.tile, {7, 3}, GXcopy, 7);
        s->fillRects(gc, boxes);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_TRUE(server::genCallsOf("genStippledFillRects").empty());
        EXPECT_TRUE(server::genCallsOf("genOpStippledFillRects").empty());
        s.reset();
    }
}

TEST_P(Gd6Tile, TileTooLargeForTheWindowGoesToTheGenericRoutine) {
    start(4096);
    // 2 x 40 by 2 x 30 pixels do not fit 4 KB.
    tile({{0, 0, 100, 100}, {100, 100, 200, 200}}, {40, 30}, {0, 0}, GXxor, 9);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    s->fillRects(stippleGC(FillOpaqueStippled, {40, 30}, {0, 0}, GXcopy, 10), {{0, 0, 50, 50}});
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 1u);
    s->fillRects(stippleGC(FillStippled, {40, 30}, {0, 0}, GXcopy, 11), {{0, 0, 50, 50}});
    EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), 1u);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Tile, StipplesMatchTheRenderer) {
    start();
    const int alus[] = {GXcopy, GXxor, GXand, GXset, GXnor};
    const DDXPointRec origins[] = {{0, 0}, {-3, -11}, {29, -1}};
    uint32_t seed = 1;
    for (Size t : kSizes) {
        for (int alu : alus) {
            for (int style : {FillStippled, FillOpaqueStippled}) {
                SCOPED_TRACE("stipple " + sizeName(t) + ", alu " + std::to_string(alu) +
                             (style == FillStippled ? ", transparent" : ", opaque"));
                s->fillRects(stippleGC(style, t, origins[seed % 3], alu, seed), someBoxes(*s));
                EXPECT_SCREEN_SAME(*s);
                seed++;
            }
        }
    }
    EXPECT_TRUE(server::genCallsOf("genStippledFillRects").empty());
    EXPECT_TRUE(server::genCallsOf("genOpStippledFillRects").empty());
}

// The background under a transparent stipple stays, whatever the alu does
// with the foreground.
TEST_P(Gd6Tile, TransparentStippleLeavesTheZeroBitsAlone) {
    start();
    const ref::Canvas before = s->readScreen();
    auto gc = stippleGC(FillStippled, {3, 2}, {0, 0}, GXinvert, 3);
    s->changeGC(gc, {.fillStyle = FillStippled,
                     .alu = GXinvert,
                     .fg = colour(3),
                     .stipple = s->stipple({"X..", "..."}),
                     .patOrg = {0, 0}});
    s->fillRects(gc, {{0, 0, 300, 200}, {0, 300, 30, 310}});
    EXPECT_SCREEN_SAME(*s);
    const ref::Canvas after = s->readScreen();
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 300; x++)
            if (y % 2 || x % 3) {
                ASSERT_EQ(after.get(x, y), before.get(x, y)) << x << ", " << y;
            }
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Tile, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
