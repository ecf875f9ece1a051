// zandel's tiled and opaque-stippled fills: staged below the screen or left
// to the generic routines, against the reference renderer.
#include <ostream>
#include <string>
#include <vector>

#include "zandel_fixture.h"

namespace {

using namespace zandeltest;

struct Size {
    const char *file;
    int pixelSize;
};
const Size kSizes[] = {{kRgb525File, 1}, {kVlbFile, 2}, {kRgb511File, 4}};

// 160 pixels: a line the system configuration word holds at every size,
// and room off the screen for a 64-pixel pattern twice over.
graf::Config tileConfig(const Size &size) {
    return zandelConfig(size.file, 160, 48);
}

std::vector<uint8_t> tilePixels(harness::Screen &s, int w, int h, uint32_t seed) {
    const int b = s.bytesPerPixel() == 3 ? 4 : s.bytesPerPixel();
    std::vector<uint8_t> v(size_t(w * h * b));
    for (size_t i = 0; i < v.size(); i += size_t(b)) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t p = (seed >> 8) & s.allPlanes();
        for (int k = 0; k < b; k++)
            v[i + size_t(k)] = static_cast<uint8_t>(p >> (8 * k));
    }
    return v;
}

// ---- which requests are staged ----

struct Route {
    const char *name;
    int tw, th;
    std::vector<BoxRec> boxes;
    int alu;
    bool generic;
};

const Route kRoutes[] = {
    {"OneCopyBox", 8, 8, {{10, 5, 30, 20}}, GXcopy, true},
    {"TwoCopyBoxes", 8, 8, {{10, 5, 30, 20}, {40, 5, 41, 6}}, GXcopy, false},
    {"OneXorBox", 8, 8, {{10, 5, 30, 20}}, GXxor, false},
    {"OneInvertBox", 8, 8, {{10, 5, 30, 20}}, GXinvert, false},
    {"LargeTileOnOneLineBoxes",
     64,
     64,
     {{3, 4, 90, 5}, {5, 9, 150, 10}, {0, 20, 20, 21}},
     GXcopy,
     true},
    {"SmallTileOnOneLineBoxes",
     8,
     8,
     {{3, 4, 90, 5}, {5, 9, 150, 10}, {0, 20, 20, 21}},
     GXcopy,
     false},
    {"TileWiderThanHalfTheArea", 81, 4, {{3, 4, 90, 5}, {5, 9, 150, 10}}, GXxor, true},
};

void PrintTo(const Route &c, std::ostream *os) {
    *os << c.name;
}

class ZandelTileRoute : public ::testing::TestWithParam<Route> {};

TEST_P(ZandelTileRoute, StagedOrGeneric) {
    const Route &r = GetParam();
    harness::Screen s("zandel", tileConfig(kSizes[0]), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(47);
    server::clearGenCalls();
    s.tileRects(r.boxes, tilePixels(s, r.tw, r.th, 3), r.tw, r.tw, r.th, {2, 1}, r.alu);
    EXPECT_SCREEN_SAME(s);
    const auto calls = server::genCallsOf("genTileRects");
    EXPECT_EQ(calls.size(), r.generic ? 1u : 0u);
    if (r.generic && !calls.empty()) {
        EXPECT_EQ(calls[0].args[1], r.boxes.size());
    }
    EXPECT_EQ(server::genCallsOf("nfbReplicateArea").empty(), r.generic);
}

INSTANTIATE_TEST_SUITE_P(Routes, ZandelTileRoute, ::testing::ValuesIn(kRoutes),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- pixels ----

// Small boxes (one copy), boxes larger than the staged area under simple
// alus (a piece and its replication) and under the others (bands), an
// origin right of and below the boxes, every pixel size.
TEST(ZandelTile, TilesMatchTheRenderer) {
    const std::vector<BoxRec> boxes = {
        {3, 2, 11, 9}, {20, 3, 37, 30}, {0, 0, 160, 48}, {5, 40, 155, 47}, {150, 1, 159, 46}};
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", tileConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(53);
        server::clearGenCalls();
        const uint32_t all = s.allPlanes();
        for (int alu : {GXcopy, GXxor, GXinvert, GXclear, GXcopyInverted, GXandReverse}) {
            for (uint32_t mask : {all, 0x0FF0F00Fu & all}) {
                SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", alu " +
                             std::to_string(alu) + ", plane mask " + std::to_string(mask));
                const int tw = alu == GXxor ? 5 : 8, th = alu == GXxor ? 3 : 7;
                s.tileRects(boxes, tilePixels(s, tw, th, uint32_t(alu)), tw * size.pixelSize, tw,
                            th, {5, 45}, alu, mask);
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
            }
        }
        EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
    }
}

// Origin x 5, box x1 3, tile width 8: the copy starts 6 pixels into the
// staged pattern.
TEST(ZandelTile, OriginRightOfTheBoxGivesANonNegativePhase) {
    harness::Screen s("zandel", tileConfig(kSizes[0]), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(59);
    sim::WeitekEngine &engine = zandelOf(s).engine();
    engine.clearLog();
    s.tileRects({{3, 10, 11, 14}, {3, 20, 11, 24}}, tilePixels(s, 8, 8, 9), 8, 8, 8, {5, 0},
                GXcopy);
    EXPECT_SCREEN_SAME(s);
    // The last blit fills the second box from x 6 and line 4 of the staged
    // area, which starts at the screen's height.
    const auto &log = engine.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, sim::WeitekEngine::Op::Blit);
    EXPECT_EQ(log.back().y1, 20);
    EXPECT_EQ(zandelOf(s).reg(0x3018), 6u << 16 | (48u + 4u));
}

TEST(ZandelTile, OpaqueStipplesMatchTheRenderer) {
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", tileConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(61);
        server::clearGenCalls();
        const uint32_t all = s.allPlanes();
        PixmapPtr st = s.stipple({"XX..X...X.", ".X..XXX...", "X.X.....XX", "....X.X..X"});
        for (int alu : {GXcopy, GXxor, GXinvert, GXset}) {
            SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", alu " +
                         std::to_string(alu));
            GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled,
                                   .alu = alu,
                                   .planemask = 0xF0F0F0F3u & all,
                                   .fg = 0x5A5A5A5Au & all,
                                   .bg = 0x81818181u & all,
                                   .stipple = st,
                                   .patOrg = {7, 3}});
            s.fillRects(gc, {{1, 1, 40, 20}, {0, 22, 160, 48}, {100, 2, 103, 5}});
            const ref::Diff d = s.compareSettled();
            ASSERT_EQ(d.count, 0) << d.describe();
        }
        EXPECT_TRUE(server::genCallsOf("genOpStippledFillRects").empty());
        // One box under a simple alu: the generic routine.
        GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = st});
        s.fillRects(gc, {{4, 4, 30, 30}});
        EXPECT_SCREEN_SAME(s);
        EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 1u);
    }
}

// The window's clip must not cut the pattern staged off the screen, and
// the boxes are drawn under it again.
TEST(ZandelTile, StagingRightAfterASmallClip) {
    harness::Screen s("zandel", tileConfig(kSizes[1]), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(67);
    s.setClipRegions({{0, 0, 60, 30}});
    s.tileRects({{2, 2, 20, 20}, {30, 5, 58, 28}}, tilePixels(s, 8, 8, 11), 16, 8, 8, {0, 0},
                GXxor);
    PixmapPtr st = s.stipple({"X..", ".X.", "..X"});
    GCPtr gc =
        s.createGC({.fillStyle = FillOpaqueStippled, .fg = 0x1234, .bg = 0x4321, .stipple = st});
    s.fillRects(gc, {{40, 1, 59, 4}, {1, 22, 25, 29}});
    EXPECT_SCREEN_SAME(s);
    sim::ZandelAdapter &z = zandelOf(s);
    EXPECT_EQ(z.reg(0x2224), 59u << 16 | 29u) << "the window's clip is loaded again";
}

// An area below the screen lower than twice the pattern: nothing is staged.
TEST(ZandelTile, LowAreaBelowTheScreenFallsBack) {
    graf::Config cfg = zandelConfig(kRgb525File, 1024, 1020);
    cfg.ints["MEMSIZE"] = 0x100000;
    harness::Screen s("zandel", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    server::clearGenCalls();
    s.tileRects({{0, 0, 30, 30}, {40, 0, 50, 10}}, tilePixels(s, 3, 3, 1), 3, 3, 3, {0, 0}, GXcopy);
    PixmapPtr st = s.stipple({"X.X", ".X.", "XX."});
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 4, .stipple = st});
    s.fillRects(gc, {{0, 0, 30, 30}, {40, 0, 50, 10}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 1u);
}

} // namespace
