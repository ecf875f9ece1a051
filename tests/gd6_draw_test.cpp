// Pixels of the gd6 drivers (tolva8, tolva16 in a small and a large mode)
// against the reference renderer: rectangle copies, solid rectangles with the
// plane-masked merge through the staging area, points, spans and zero-width
// segments, across alus and plane masks; images through the staging window;
// the operation records the GC validation installs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <ostream>
#include <string>
#include <vector>

#include "gd6_fixture.h"
#include "harness.h"
#include "models/gd6_adapter.h"

namespace {

using namespace gd6test;

const int kAlus[] = {GXclear, GXand, GXcopy, GXxor, GXequiv, GXinvert, GXorInverted, GXset};

const char *aluName(int alu) {
    static const char *const names[] = {
        "clear", "and",   "andReverse", "copy",      "andInverted",  "noop",       "xor",  "or",
        "nor",   "equiv", "invert",     "orReverse", "copyInverted", "orInverted", "nand", "set"};
    return names[alu & 15];
}

// A plane mask kind: all planes, some planes, none.
enum Mask { AllPlanes, SomePlanes, NoPlanes };

uint32_t maskValue(Mask m, uint32_t all) {
    switch (m) {
    case AllPlanes:
        return ~0u;
    case SomePlanes:
        return 0xA5C3u & all;
    case NoPlanes:
        return ~all;
    }
    return ~0u;
}

const char *maskName(Mask m) {
    return m == AllPlanes ? "all" : m == SomePlanes ? "some" : "none";
}

std::unique_ptr<harness::Screen> startScreen(const Build &b, int windowSize = 0) {
    graf::Config cfg = harness::loadConfig(b.config);
    if (windowSize)
        cfg.ints["WINDOWSIZE"] = windowSize;
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    auto s = std::make_unique<harness::Screen>(b.driver, cfg, o);
    if (!s->start())
        ADD_FAILURE() << s->failureText();
    return s;
}

sim::Gd6Adapter *gd6(harness::Screen &s) {
    return dynamic_cast<sim::Gd6Adapter *>(s.adapter());
}

// A colour of the screen's depth from a seed.
Pixel colour(const harness::Screen &s, uint32_t seed) {
    return (seed * 0x9E3779B1u >> 7) & s.allPlanes();
}

// Every bit set: a legal pixel value, and the first colour each solid test
// draws in, so that a pattern never yet loaded must still be loaded for it.
const Pixel kAllOnes = ~Pixel(0);

// ---- alu x plane mask tables ----

struct AluMask {
    Build build;
    int alu;
    Mask mask;
};

std::vector<AluMask> aluMaskCases() {
    std::vector<AluMask> out;
    for (const Build &b : kBuilds)
        for (int alu : kAlus)
            for (Mask m : {AllPlanes, SomePlanes, NoPlanes})
                out.push_back({b, alu, m});
    return out;
}

std::string aluMaskName(const ::testing::TestParamInfo<AluMask> &info) {
    return std::string(info.param.build.name) + "_" + aluName(info.param.alu) + "_" +
           maskName(info.param.mask);
}

void PrintTo(const AluMask &c, std::ostream *os) {
    *os << c.build.name << " " << aluName(c.alu) << " " << maskName(c.mask);
}

class Gd6Draw : public ::testing::TestWithParam<AluMask> {
  protected:
    void SetUp() override {
        s = startScreen(GetParam().build);
        s->fillRandom(11);
        alu = GetParam().alu;
        mask = maskValue(GetParam().mask, s->allPlanes());
    }
    std::unique_ptr<harness::Screen> s;
    int alu = GXcopy;
    uint32_t mask = ~0u;
};

TEST_P(Gd6Draw, CopyRect) {
    const int w = s->width(), h = s->height();
    struct Geometry {
        const char *what;
        BoxRec dst;
        DDXPointRec src;
    };
    const Geometry cases[] = {
        {"down and right over itself", {40, 30, 140, 90}, {35, 20}},
        {"up and left over itself", {30, 20, 130, 80}, {37, 29}},
        {"right on the same rows", {53, 100, 153, 140}, {50, 100}},
        {"left on the same rows", {50, 150, 150, 190}, {54, 150}},
        {"disjoint", {300, 200, 364, 232}, {10, 300}},
        {"to the screen's corner", {short(w - 20), short(h - 10), short(w), short(h)}, {0, 0}},
        {"empty", {70, 70, 70, 90}, {0, 0}},
        {"no rows", {70, 90, 110, 90}, {0, 0}},
        {"inverted", {110, 90, 70, 70}, {0, 0}},
    };
    for (const Geometry &g : cases) {
        SCOPED_TRACE(g.what);
        s->copyRect(g.dst, g.src, alu, mask);
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST_P(Gd6Draw, SolidRects) {
    const int w = s->width(), h = s->height();
    for (Pixel fg : {kAllOnes, colour(*s, 1)}) {
        s->drawSolidRects({{10, 10, 60, 40}, {100, 5, 101, 6}, {200, 50, 200, 80}, {0, 0, 3, 200}},
                          fg, alu, mask);
        EXPECT_SCREEN_SAME(*s);
    }
    s->drawSolidRects({{short(w - 33), short(h - 17), short(w), short(h)}}, colour(*s, 2), alu,
                      mask);
    EXPECT_SCREEN_SAME(*s);
    // The same colour again, then another: the pattern must follow.
    s->drawSolidRects({{20, 20, 90, 30}}, colour(*s, 2), alu, mask);
    s->drawSolidRects({{20, 25, 90, 35}}, colour(*s, 3), alu, mask);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Draw, Points) {
    const int w = s->width(), h = s->height();
    for (Pixel fg : {kAllOnes, colour(*s, 4)}) {
        s->drawPoints({{0, 0}, {5, 5}, {6, 5}, {short(w - 1), short(h - 1)}, {400, 17}}, fg, alu,
                      mask);
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST_P(Gd6Draw, Spans) {
    for (Pixel fg : {kAllOnes, colour(*s, 5)}) {
        GCPtr gc = s->createGC({.alu = alu, .planemask = mask, .fg = fg});
        s->fillSpans(gc, {{3, 3}, {10, 4}, {0, 5}, {short(s->width() - 9), 6}, {50, 7}},
                     {40, 1, 0, 9, 300});
        EXPECT_SCREEN_SAME(*s);
    }
}

// Segments from their end points, as the frame-buffer layer describes them.
ZeroSegRec segment(int x1, int y1, int x2, int y2, int bias) {
    int dx = x2 - x1, dy = y2 - y1;
    int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int axis = adx >= ady ? 0 : 1;
    int major = axis == 0 ? adx : ady, minor = axis == 0 ? ady : adx;
    ZeroSegRec z{};
    z.x = int16_t(x1);
    z.y = int16_t(y1);
    z.signdx = int16_t(dx < 0 ? -1 : 1);
    z.signdy = int16_t(dy < 0 ? -1 : 1);
    z.axis = int16_t(axis);
    z.len = int16_t(major + 1);
    z.e1 = 2 * minor;
    z.e2 = 2 * minor - 2 * major;
    z.e = 2 * minor - major - bias;
    return z;
}

TEST_P(Gd6Draw, Segments) {
    std::vector<ZeroSegRec> segs;
    // The eight octants from a centre, both biases, and the axis-parallel cases.
    const int cx = 300, cy = 200;
    const int ends[][2] = {{80, 30},  {30, 80},  {-30, 80}, {-80, 30}, {-80, -30}, {-30, -80},
                           {30, -80}, {80, -30}, {60, 0},   {-60, 0},  {0, 70},    {0, -70},
                           {50, 50},  {-50, 50}, {7, 3},    {0, 0}};
    for (int bias = 0; bias <= 1; bias++)
        for (const auto &e : ends)
            segs.push_back(segment(cx + bias * 3, cy, cx + bias * 3 + e[0], cy + e[1], bias));
    // A long GXcopy-path segment crossing window banks.
    segs.push_back(segment(5, 0, 25, s->height() - 1, 0));
    for (Pixel fg : {kAllOnes, colour(*s, 6)}) {
        GCPtr gc = s->createGC({.alu = alu, .planemask = mask, .fg = fg});
        s->zeroSegs(gc, segs);
        EXPECT_SCREEN_SAME(*s);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, Gd6Draw, ::testing::ValuesIn(aluMaskCases()), aluMaskName);

// ---- per build ----

class Gd6Build : public ::testing::TestWithParam<Build> {};

sim::CirrusBltCore &engine(harness::Screen &s) {
    return gd6(s)->blt();
}

TEST_P(Gd6Build, CopyDirectionFollowsAddresses) {
    auto s = startScreen(GetParam());
    s->fillRandom(3);
    engine(*s).clearLog();
    s->copyRect({20, 21, 60, 41}, {20, 20}); // source earlier: backward
    s->copyRect({20, 20, 60, 40}, {21, 20}); // source later: forward
    s->copyRect({21, 50, 61, 70}, {20, 50}); // right on the same rows: backward
    const auto &log = engine(*s).log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].kind, sim::BltKind::CopyBackward);
    EXPECT_EQ(log[1].kind, sim::BltKind::CopyForward);
    EXPECT_EQ(log[2].kind, sim::BltKind::CopyBackward);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Build, SegmentRunsArePatternCopies) {
    auto s = startScreen(GetParam());
    GCPtr gc = s->createGC({.alu = GXxor, .fg = colour(*s, 9)});
    engine(*s).clearLog();
    s->zeroSegs(gc, {segment(10, 10, 19, 10, 0)});
    ASSERT_EQ(engine(*s).log().size(), 1u) << "a horizontal run is one copy";
    EXPECT_EQ(engine(*s).log()[0].regs.width, 10 * s->bytesPerPixel() - 1);
    EXPECT_EQ(engine(*s).log()[0].kind, sim::BltKind::PatternCopy);
    engine(*s).clearLog();
    s->zeroSegs(gc, {segment(10, 20, 19, 29, 0)});
    EXPECT_EQ(engine(*s).log().size(), 10u) << "a diagonal is one copy per pixel";
    engine(*s).clearLog();
    s->zeroSegs(gc, {segment(40, 40, 43, 52, 0)});
    EXPECT_EQ(engine(*s).log().size(), 4u) << "one vertical run per column";
    EXPECT_SCREEN_SAME(*s);
}

// The 1-pixel segment draws its start pixel; e = 0 steps along the axis.
TEST_P(Gd6Build, SegmentEdgeTerms) {
    auto s = startScreen(GetParam());
    s->fillRandom(5);
    for (int alu : {GXcopy, GXxor}) {
        GCPtr gc = s->createGC({.alu = alu, .fg = colour(*s, 10 + alu)});
        s->zeroSegs(gc, {{100, 100, 1, 1, 0, 1, 5, 0, 0},
                         {100, 110, -1, -1, 0, 4, 0, -2, 2},
                         {120, 110, 1, -1, 1, 4, 0, 2, -2}});
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST_P(Gd6Build, ImagesThroughTheWindow) {
    auto s = startScreen(GetParam());
    s->fillRandom(21);
    const int bpp = s->bytesPerPixel();
    std::mt19937 rng(4);
    // 640 x 100 pixels: two (or, at 16 bits, four) slices of the 64 KB window.
    const BoxRec big = {30, 40, 670, 140};
    std::vector<uint8_t> pixels(640 * 100 * bpp + 8);
    for (auto &p : pixels)
        p = uint8_t(rng());
    if (bpp == 2)
        for (size_t i = 1; i < pixels.size(); i += 2)
            pixels[i] &= uint8_t(s->allPlanes() >> 8);
    s->drawImage(big, pixels, 640 * bpp);
    EXPECT_SCREEN_SAME(*s);
    s->drawImage({5, 5, 45, 25}, pixels, 43 * bpp, GXxor, 0x5A5A);
    EXPECT_SCREEN_SAME(*s);
    const BoxRec readBox = {1, 2, 701, 102};
    EXPECT_EQ(s->readImage(readBox, 720 * bpp), s->expectedImage(readBox, 720 * bpp));
}

// Destination addresses of the copies out of the staging area, in order.
std::vector<uint32_t> copiesOutOfWindow(harness::Screen &s, uint32_t windowAddr) {
    std::vector<uint32_t> out;
    for (const sim::BltOp &op : engine(s).log())
        if (op.regs.srcAddr == windowAddr && op.regs.dstAddr < windowAddr)
            out.push_back(op.regs.dstAddr);
    return out;
}

uint32_t windowAddrOf(harness::Screen &s) {
    return uint32_t(s.graf().ints.at("WINDOWADDR"));
}

TEST_P(Gd6Build, ImageSlicesFollowTheWindowSize) {
    for (int windowSize : {0x10000, 0x8000}) {
        SCOPED_TRACE(windowSize);
        auto s = startScreen(GetParam(), windowSize);
        const int bpp = s->bytesPerPixel();
        std::vector<uint8_t> pixels(640 * 100 * bpp, 0x21);
        engine(*s).clearLog();
        s->drawImage({0, 0, 640, 100}, pixels, 640 * bpp);
        // 64,000 bytes a slice at most: 640 x 100 x Bpp over the window.
        size_t slices = size_t(640 * 100 * bpp) <= size_t(windowSize) ? 1 : 0;
        for (int rows = 100; slices == 0; rows /= 2)
            if (640 * rows * bpp <= windowSize)
                slices = size_t(100 / rows);
        EXPECT_EQ(copiesOutOfWindow(*s, windowAddrOf(*s)).size(), slices);
        EXPECT_SCREEN_SAME(*s);
    }
}

// A plane-masked copy too large for the window goes in row halves: top half
// first, unless the source lies above the destination.
TEST_P(Gd6Build, PlanemaskedCopyHalvesInSafeOrder) {
    auto s = startScreen(GetParam(), 0x4000);
    s->fillRandom(12);
    const int bpp = s->bytesPerPixel(), pitch = s->pitch();
    const uint32_t window = windowAddrOf(*s);
    const uint32_t m = 0x3C & s->allPlanes();
    // 100 x 100 pixels: 2 x 100 x 100 x Bpp bytes are more than 16 KB.
    engine(*s).clearLog();
    s->copyRect({10, 20, 110, 120}, {12, 30}, GXcopy, m); // source below
    std::vector<uint32_t> order = copiesOutOfWindow(*s, window);
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order.front(), uint32_t(10 * bpp + 20 * pitch));
    EXPECT_SCREEN_SAME(*s);
    engine(*s).clearLog();
    s->copyRect({10, 30, 110, 130}, {12, 20}, GXcopy, m); // source above
    order = copiesOutOfWindow(*s, window);
    ASSERT_GE(order.size(), 2u);
    EXPECT_GT(order.front(), order.back());
    EXPECT_EQ(order.back(), uint32_t(10 * bpp + 30 * pitch));
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Gd6Build, RecordsByFillStylePlaneMaskAndAlu) {
    auto s = startScreen(GetParam());
    GCPtr copy = s->createGC({.alu = GXcopy});
    GCPtr x = s->createGC({.alu = GXxor});
    GCPtr masked = s->createGC({.alu = GXcopy, .planemask = 0x7});
    PrivOps *o = s->ops(copy);
    EXPECT_EQ(o->FillRects, genSolidFillRects);
    EXPECT_NE(o->FS, genSolidFS);
    EXPECT_NE(o->slot3.ZeroSeg, s->ops(x)->slot3.ZeroSeg) << "GXcopy has its own segments";
    EXPECT_EQ(o->FS, s->ops(x)->FS);
    EXPECT_EQ(s->ops(masked)->FS, genSolidFS);
    EXPECT_EQ(s->ops(masked)->slot3.ZeroSeg, genSolidZeroSeg);
    GCPtr tiled = s->createGC({.fillStyle = FillTiled, .tile = s->tile(2, 2, {1, 2, 3, 4})});
    EXPECT_EQ(s->ops(tiled)->FillRects, genTiledFillRects);
    // A change without the style, function or plane-mask bits keeps the record.
    s->changeGC(x, {.alu = GXcopy}, GCForeground);
    EXPECT_EQ(s->ops(x)->slot3.ZeroSeg, s->ops(s->createGC({.alu = GXxor}))->slot3.ZeroSeg);
    s->changeGC(x, {.alu = GXcopy}, GCFunction);
    EXPECT_EQ(s->ops(x)->slot3.ZeroSeg, o->slot3.ZeroSeg);
}

TEST_P(Gd6Build, PlanemaskedPointsGoToTheServer) {
    auto s = startScreen(GetParam());
    server::clearGenCalls();
    s->drawPoints({{3, 4}}, 1, GXcopy, 0x3);
    ASSERT_EQ(server::genCallsOf("genDrawPoints").size(), 1u);
    server::clearGenCalls();
    s->drawPoints({{3, 4}}, 1, GXcopy, s->allPlanes());
    EXPECT_TRUE(server::genCallsOf("genDrawPoints").empty());
    EXPECT_SCREEN_SAME(*s);
}

// With a small window the plane-masked paths work in slices; a copy whose
// source lies above its destination must not read rows an earlier slice has
// already overwritten.
TEST_P(Gd6Build, PlanemaskedSlicesWithASmallWindow) {
    auto s = startScreen(GetParam(), 0x800);
    s->fillRandom(8);
    const uint32_t m = 0x0FF0 & s->allPlanes();
    for (int alu : {GXcopy, GXxor, GXorReverse}) {
        SCOPED_TRACE(aluName(alu));
        s->copyRect({40, 33, 140, 73}, {40, 30}, alu, m); // down over itself
        EXPECT_SCREEN_SAME(*s);
        s->copyRect({40, 30, 140, 70}, {40, 34}, alu, m); // up over itself
        EXPECT_SCREEN_SAME(*s);
        s->copyRect({9, 200, short(s->width() - 1), 201}, {0, 200}, alu, m); // a row > half

        EXPECT_SCREEN_SAME(*s);
        s->drawSolidRects({{100, 100, 300, 180}, {0, 300, short(s->width()), 301}},
                          colour(*s, unsigned(alu)), alu, m);
        EXPECT_SCREEN_SAME(*s);
    }
    const BoxRec box = {3, 400, 203, 450};
    EXPECT_EQ(s->readImage(box), s->expectedImage(box));
}

// A fixed-seed run of random requests of every kind this part draws, with the
// screen compared after each: edges, overlaps and pattern reuse in mixes no
// table lists. A small window makes the staged paths slice.
TEST_P(Gd6Build, RandomRequests) {
    for (int windowSize : {0, 0x1000}) {
        SCOPED_TRACE(windowSize);
        auto s = startScreen(GetParam(), windowSize);
        s->fillRandom(99);
        std::mt19937 rng(1234 + unsigned(windowSize));
        const int w = s->width(), h = s->height(), bpp = s->bytesPerPixel();
        auto coord = [&](int limit) { return int(rng() % unsigned(limit)); };
        auto box = [&] {
            int x1 = coord(w), y1 = coord(h);
            int x2 = std::min(w, x1 + coord(160)), y2 = std::min(h, y1 + coord(60));
            return BoxRec{short(x1), short(y1), short(x2), short(y2)};
        };
        auto planemask = [&] { return rng() % 3 == 0 ? uint32_t(rng()) & s->allPlanes() : ~0u; };
        for (int i = 0; i < 60; i++) {
            SCOPED_TRACE(i);
            int alu = int(rng() % 16);
            Pixel fg = colour(*s, rng());
            switch (rng() % 6) {
            case 0: {
                BoxRec d = box();
                int sx = std::min(coord(w), w - (d.x2 - d.x1));
                int sy = std::min(coord(h), h - (d.y2 - d.y1));
                s->copyRect(d, {short(sx), short(sy)}, alu, planemask());
                break;
            }
            case 1:
                s->drawSolidRects({box(), box()}, fg, alu, planemask());
                break;
            case 2:
                s->drawPoints(
                    {{short(coord(w)), short(coord(h))}, {short(coord(w)), short(coord(h))}}, fg,
                    alu, planemask());
                break;
            case 3: {
                GCPtr gc = s->createGC({.alu = alu, .planemask = planemask(), .fg = fg});
                int y = coord(h), x = coord(w);
                s->fillSpans(gc, {{short(x), short(y)}}, {std::min(w - x, 1 + coord(300))});
                break;
            }
            case 4: {
                GCPtr gc = s->createGC({.alu = alu, .planemask = planemask(), .fg = fg});
                int x1 = coord(w), y1 = coord(h), x2 = coord(w), y2 = coord(h);
                s->zeroSegs(gc, {segment(x1, y1, x2, y2, int(rng() % 2))});
                break;
            }
            case 5: {
                BoxRec b = box();
                int bw = b.x2 - b.x1, bh = b.y2 - b.y1;
                std::vector<uint8_t> px(size_t(std::max(1, bw * bh * bpp)));
                for (auto &p : px)
                    p = uint8_t(rng());
                if (bpp == 2)
                    for (size_t k = 1; k < px.size(); k += 2)
                        px[k] &= uint8_t(s->allPlanes() >> 8);
                s->drawImage(b, px, bw * bpp, alu, planemask());
                break;
            }
            }
            EXPECT_SCREEN_SAME(*s);
            if (HasFailure())
                return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Build, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
