// fuska drawing: GC validation and the solid record's four forms, copies in
// every overlap direction (with the strip path), solid rectangles, spans,
// points and zero-width segments at the four depths, across alus and plane
// masks, compared with the reference renderer; the generic fallbacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "models/fuska_adapter.h"

namespace {

constexpr int kWidth = 200, kHeight = 80, kPitch = 640; // 5 tiles hold 200 pixels at any depth

graf::Config fuskaConfig(int width, int height, int depth) {
    graf::Config cfg = harness::loadConfig("cirrus/fuska/fuska.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["MEMSIZE"] = 0x100000;
    return cfg;
}

sim::FuskaAdapter &fuskaOf(harness::Screen &s) {
    return *dynamic_cast<sim::FuskaAdapter *>(s.adapter());
}

uint32_t pixelMask(int depth) {
    return (1u << depth) - 1;
}

// Plane masks: all ones, a partial one with bits above the depth, and one
// that covers the low byte only.
const uint32_t kPlaneMasks[] = {~0u, 0xF0F0F05Au, 0x000000FFu};

// A pixel value with every bit set, beyond the depth too: the registers and
// stores must keep only the pixel's own bits.
constexpr Pixel kAllOnes = ~Pixel{0};

bool fallsBack(int depth, int alu, uint32_t planemask) {
    return alu == GXnor || alu == GXnand || (depth == 24 && (planemask & 0xFFFFFF) != 0xFFFFFF);
}

std::string caseName(int alu, uint32_t planemask) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "alu %d, plane mask 0x%X", alu, planemask);
    return buf;
}

class FuskaDraw : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        depth = GetParam();
        screen = std::make_unique<harness::Screen>(
            "fuska", fuskaConfig(kWidth, kHeight, depth),
            harness::Options{.pitch = kPitch, .reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(screen->start()) << screen->failureText();
        screen->fillRandom(static_cast<uint32_t>(depth));
    }
    Pixel colour(uint32_t v) const { return v & pixelMask(depth); }

    int depth = 0;
    std::unique_ptr<harness::Screen> screen;
};

TEST_P(FuskaDraw, SolidRectsAcrossAlusAndPlaneMasks) {
    harness::Screen &s = *screen;
    size_t fallbacks = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Pixel fg : {colour(0x5AC3E1u * uint32_t(alu + 1)), kAllOnes}) {
                SCOPED_TRACE(caseName(alu, pm) + ", fg " + std::to_string(fg));
                int o = alu * 3;
                s.drawSolidRects({{int16_t(o), 2, int16_t(o + 40), 30},
                                  {int16_t(150 - o), int16_t(10 + alu), 199, 79},
                                  {5, 5, 5, 40}, // empty
                                  {0, 79, 200, 80}},
                                 fg, alu, pm);
                fallbacks += fallsBack(depth, alu, pm);
                EXPECT_SCREEN_SAME(s);
            }
    EXPECT_EQ(server::genCallsOf("genDrawSolidRects").size(), fallbacks);
}

TEST_P(FuskaDraw, PointsAcrossAlusAndPlaneMasks) {
    harness::Screen &s = *screen;
    size_t fallbacks = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Pixel fg : {colour(0x13579Bu + uint32_t(alu) * 0x1F1F1Fu), kAllOnes}) {
                SCOPED_TRACE(caseName(alu, pm) + ", fg " + std::to_string(fg));
                std::vector<DDXPointRec> points = {
                    {0, 0}, {199, 79}, {int16_t(alu * 5), int16_t(alu * 4)}, {100, 40}, {101, 40}};
                s.drawPoints(points, fg, alu, pm);
                fallbacks += fallsBack(depth, alu, pm);
                EXPECT_SCREEN_SAME(s);
            }
    EXPECT_EQ(server::genCallsOf("genDrawPoints").size(), fallbacks);
}

struct Copy {
    const char *name;
    BoxRec dst;
    DDXPointRec src;
};

const Copy kCopies[] = {
    {"down right, overlapping", {20, 20, 90, 60}, {10, 12}},
    {"up left, overlapping", {10, 5, 80, 45}, {17, 11}},
    {"down, same columns", {30, 15, 100, 75}, {30, 5}},
    {"up, same columns", {30, 5, 100, 65}, {30, 15}},
    {"right on the same rows (strips)", {37, 10, 137, 50}, {30, 10}},
    {"right on the same rows, shift wider than the box", {110, 30, 190, 40}, {20, 30}},
    {"right on the same rows, uneven strips", {13, 60, 113, 79}, {0, 60}},
    {"left on the same rows", {5, 20, 105, 70}, {12, 20}},
    {"onto itself", {50, 50, 60, 60}, {50, 50}},
    {"disjoint", {150, 0, 199, 30}, {0, 40}},
    {"empty", {40, 40, 40, 50}, {0, 0}},
};

TEST_P(FuskaDraw, CopiesInEveryDirection) {
    harness::Screen &s = *screen;
    const int alus[] = {GXcopy, GXxor, GXinvert, GXandInverted, GXorReverse, GXnand};
    size_t fallbacks = 0;
    for (const Copy &c : kCopies)
        for (int alu : alus)
            for (uint32_t pm : {~0u, 0xF0F0F05Au}) {
                SCOPED_TRACE(std::string(c.name) + ", " + caseName(alu, pm));
                s.copyRect(c.dst, c.src, alu, pm);
                fallbacks += fallsBack(depth, alu, pm);
                EXPECT_SCREEN_SAME(s);
            }
    EXPECT_EQ(server::genCallsOf("genCopyRect").size(), fallbacks);
}

TEST_P(FuskaDraw, GCFillsAndSpansAcrossAlusAndPlaneMasks) {
    harness::Screen &s = *screen;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (Pixel fg : {colour(0xC0FFEEu + uint32_t(alu)), kAllOnes}) {
                SCOPED_TRACE(caseName(alu, pm) + ", fg " + std::to_string(fg));
                GCPtr gc = s.createGC({.alu = alu, .planemask = pm, .fg = fg});
                EXPECT_EQ(s.ops(gc)->FillRects == genSolidFillRects, fallsBack(depth, alu, pm));
                s.fillRects(gc, {{int16_t(alu), 0, int16_t(alu + 60), 20}, {120, 30, 121, 31}});
                // A span of width 0 draws nothing.
                s.fillSpans(gc, {{3, int16_t(40 + alu)}, {150, 77}, {10, 78}},
                            {int(20 + alu * 5), 50, 0});
                EXPECT_SCREEN_SAME(s);
            }
}

// A segment from (x1, y1) to (x2, y2), both end points drawn, as the layer
// hands it over: Bresenham terms on the major axis.
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

std::vector<ZeroSegRec> segments() {
    std::vector<ZeroSegRec> v = {
        segment(10, 10, 190, 10),  segment(190, 12, 10, 12), segment(5, 0, 5, 79),
        segment(7, 79, 7, 0),      segment(0, 0, 79, 79),    segment(199, 0, 120, 79),
        segment(20, 70, 180, 20),  segment(30, 5, 60, 78),   segment(100, 78, 90, 2),
        segment(150, 40, 150, 40),
    };
    // A first step with e 0 is axial.
    ZeroSegRec flat = segment(40, 30, 50, 35);
    flat.e = 0;
    v.push_back(flat);
    return v;
}

TEST_P(FuskaDraw, SegmentsByTheProcessorForGXcopy) {
    harness::Screen &s = *screen;
    ASSERT_TRUE(s.zeroSegsForm());
    for (Pixel fg : {colour(0x8E3D5Bu), kAllOnes}) {
        SCOPED_TRACE(fg);
        GCPtr gc = s.createGC({.fg = fg});
        EXPECT_NE(s.ops(gc)->slot3.ZeroSegs, genSolidZeroSegs);
        // Leave the engine running: the segments must wait for it.
        s.drawSolidRects({{0, 0, 200, 80}}, colour(0x112233u), GXxor);
        s.zeroSegs(gc, segments());
        EXPECT_SCREEN_SAME(s);
    }
    EXPECT_TRUE(server::genCallsOf("genSolidZeroSegs").empty());
}

TEST_P(FuskaDraw, SegmentsThroughTheGenericRoutineOtherwise) {
    harness::Screen &s = *screen;
    struct {
        int alu;
        uint32_t pm;
    } cases[] = {{GXxor, ~0u}, {GXcopy, 0x0F}, {GXnand, ~0u}, {GXset, 0xF0F0F0F0u}};
    for (const auto &c : cases) {
        SCOPED_TRACE(caseName(c.alu, c.pm));
        server::clearGenCalls();
        GCPtr gc = s.createGC({.alu = c.alu, .planemask = c.pm, .fg = colour(0x6A6A6Au)});
        EXPECT_EQ(s.ops(gc)->slot3.ZeroSegs, genSolidZeroSegs);
        s.zeroSegs(gc, segments());
        EXPECT_EQ(server::genCallsOf("genSolidZeroSegs").size(), 1u);
        EXPECT_SCREEN_SAME(s);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, FuskaDraw, testing::Values(8, 15, 16, 24),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// ---- the engine operations a copy starts ----

class FuskaCopyOps : public testing::Test {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            "fuska", fuskaConfig(400, 60, 8),
            harness::Options{.pitch = 640, .reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(5);
        fuskaOf(*s).engine().clearLog();
    }
    const std::vector<sim::FuskaOp> &log() { return fuskaOf(*s).engine().log(); }
    std::unique_ptr<harness::Screen> s;
};

TEST_F(FuskaCopyOps, RightOnTheSameRowsGoesInStripsFromTheRight) {
    s->copyRect({30, 5, 130, 25}, {0, 5});
    ASSERT_EQ(log().size(), 4u);
    const int widths[] = {10, 30, 30, 30}, offsets[] = {90, 60, 30, 0};
    for (size_t i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log()[i].kind, sim::FuskaOpKind::Copy);
        EXPECT_EQ(log()[i].width, widths[i]);
        EXPECT_EQ(log()[i].height, 20);
        EXPECT_EQ(log()[i].srcX, offsets[i]);
        EXPECT_EQ(log()[i].dstX, 30 + offsets[i]);
        EXPECT_FALSE(log()[i].bottomUp);
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(FuskaCopyOps, ShiftWiderThanTheBoxIsOneOperation) {
    s->copyRect({200, 5, 300, 25}, {0, 5});
    ASSERT_EQ(log().size(), 1u);
    EXPECT_EQ(log()[0].width, 100);
    EXPECT_EQ(log()[0].srcX, 0);
    EXPECT_EQ(log()[0].dstX, 200);
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(FuskaCopyOps, DownwardCopiesRunBottomUp) {
    s->copyRect({10, 20, 60, 50}, {12, 5});
    ASSERT_EQ(log().size(), 1u);
    EXPECT_TRUE(log()[0].bottomUp);
    EXPECT_EQ(log()[0].srcY, 5 + 30 - 1);
    EXPECT_EQ(log()[0].dstY, 20 + 30 - 1);
    EXPECT_EQ(log()[0].rop, 0xCC);

    s->copyRect({10, 5, 60, 35}, {12, 20}, GXxor);
    ASSERT_EQ(log().size(), 2u);
    EXPECT_FALSE(log()[1].bottomUp);
    EXPECT_EQ(log()[1].srcY, 20);
    EXPECT_EQ(log()[1].dstY, 5);
    EXPECT_EQ(log()[1].rop, 0x66);
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(FuskaCopyOps, SpansAndPointsAreOneOperationEach) {
    GCPtr gc = s->createGC({.alu = GXxor, .fg = 0x5A});
    fuskaOf(*s).engine().clearLog();
    s->fillSpans(gc, {{10, 3}, {20, 4}}, {7, 0});
    ASSERT_EQ(log().size(), 2u);
    EXPECT_EQ(log()[0].kind, sim::FuskaOpKind::Fill);
    EXPECT_EQ(log()[0].width, 7);
    // A span of width 0 still starts an operation, one line high.
    EXPECT_EQ(log()[1].width, 0);
    EXPECT_EQ(log()[1].height, 1);
    EXPECT_EQ(log()[1].dstX, 20);
    EXPECT_EQ(log()[1].dstY, 4);
    s->drawPoints({{1, 2}, {3, 4}}, 0x77);
    ASSERT_EQ(log().size(), 4u);
    EXPECT_EQ(log()[3].width, 1);
    EXPECT_EQ(log()[3].height, 1);
    EXPECT_EQ(log()[3].rop, 0xCC);
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(FuskaCopyOps, FallbacksKeepTheirArguments) {
    BoxRec box = {10, 10, 20, 20};
    DDXPointRec src = {0, 0};
    WinOps *ops = s->winOps();
    s->call("CopyRect", [&] { ops->CopyRect(&box, &src, GXnand, 0x3C, s->drawable()); });
    s->call("DrawSolidRects",
            [&] { ops->DrawSolidRects(&box, 1, 0x42, GXnor, 0xFF, s->drawable()); });
    s->call("DrawPoints", [&] {
        ops->DrawPoints(&src, 1, 0x17, 0x10E /* GXnand in the low byte */, 0xF0, s->drawable());
    });
    using server::arg;
    auto copies = server::genCallsOf("genCopyRect");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].args, (std::vector<uint64_t>{arg(&box), arg(&src), arg(GXnand), arg(0x3Cu),
                                                     arg(s->drawable())}));
    auto rects = server::genCallsOf("genDrawSolidRects");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].args, (std::vector<uint64_t>{arg(&box), arg(1), arg(0x42u), arg(GXnor),
                                                    arg(0xFFu), arg(s->drawable())}));
    auto points = server::genCallsOf("genDrawPoints");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].args[3], arg(0x10E));
    EXPECT_TRUE(log().empty());
}

// ---- GC validation ----

TEST(FuskaValidate, EachGCGetsTheSolidFormOfItsOwnValues) {
    harness::Screen s("fuska", fuskaConfig(64, 32, 16),
                      {.pitch = 640, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr copy = s.createGC({.alu = GXcopy});
    GCPtr xorGC = s.createGC({.alu = GXxor});
    ZeroSegsProc fast = s.ops(copy)->slot3.ZeroSegs;
    EXPECT_NE(fast, genSolidZeroSegs);
    EXPECT_EQ(s.ops(xorGC)->slot3.ZeroSegs, genSolidZeroSegs);
    // Validating one GC leaves the other's routine alone, both ways.
    s.changeGC(copy, {.alu = GXcopy});
    EXPECT_EQ(s.ops(xorGC)->slot3.ZeroSegs, genSolidZeroSegs);
    s.changeGC(xorGC, {.alu = GXxor});
    EXPECT_EQ(s.ops(copy)->slot3.ZeroSegs, fast);
    // Both use the engine for rectangles and spans.
    EXPECT_NE(s.ops(xorGC)->FillRects, genSolidFillRects);
    EXPECT_EQ(s.ops(xorGC)->FillRects, s.ops(copy)->FillRects);
    EXPECT_EQ(s.ops(xorGC)->FS, s.ops(copy)->FS);
    EXPECT_EQ(s.ops(copy)->GCOp4, genSolidGCOp4);
}

TEST(FuskaValidate, RecordsByFillStylePlaneMaskAndAlu) {
    struct Case {
        const char *name;
        int depth;
        harness::GCSpec values;
        FillRectsProc fill; // null: the driver's own
        ZeroSegsProc segs;  // null: the driver's own (only checked for solid)
    } cases[] = {
        {"partial mask at 16 stays on the engine",
         16,
         {.planemask = 0x00FF},
         nullptr,
         genSolidZeroSegs},
        {"partial mask at 24 is generic",
         24,
         {.planemask = 0x00FFFF00},
         genSolidFillRects,
         genSolidZeroSegs},
        {"full low 24 bits at 24", 24, {.planemask = 0x00FFFFFF}, nullptr, nullptr},
        {"mask beyond 15 bits at 15", 15, {.planemask = 0x7FFF}, nullptr, genSolidZeroSegs},
        {"GXnor is generic", 8, {.alu = GXnor}, genSolidFillRects, genSolidZeroSegs},
        {"GXnand is generic", 8, {.alu = GXnand}, genSolidFillRects, genSolidZeroSegs},
        {"tiled", 8, {.fillStyle = FillTiled}, genTiledFillRects, nullptr},
        {"stippled", 8, {.fillStyle = FillStippled}, genStippledFillRects, nullptr},
        {"opaque stippled, fg equal to bg",
         8,
         {.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3},
         genOpStippledFillRects,
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::Screen s("fuska", fuskaConfig(64, 32, c.depth),
                          {.pitch = 640, .reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        harness::GCSpec values = c.values;
        if (values.fillStyle == FillTiled)
            values.tile = s.tile(2, 2, {1, 2, 3, 4});
        if (values.fillStyle == FillStippled || values.fillStyle == FillOpaqueStippled)
            values.stipple = s.stipple({"X.", ".X"});
        GCPtr gc = s.createGC(values);
        PrivOps *ops = s.ops(gc);
        ASSERT_NE(ops, nullptr);
        if (c.fill)
            EXPECT_EQ(ops->FillRects, c.fill);
        else
            EXPECT_NE(ops->FillRects, genSolidFillRects);
        if (c.values.fillStyle == FillSolid) {
            if (c.segs)
                EXPECT_EQ(ops->slot3.ZeroSegs, c.segs);
            else
                EXPECT_NE(ops->slot3.ZeroSegs, genSolidZeroSegs);
        }
    }
}

TEST(FuskaValidate, OnlyFunctionPlaneMaskAndFillStyleChangesPickARecord) {
    harness::Screen s("fuska", fuskaConfig(64, 32, 8),
                      {.pitch = 640, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.alu = GXcopy});
    PrivOps *before = s.ops(gc);
    s.changeGC(gc, {.alu = GXnand}, GCForeground | GCBackground);
    EXPECT_EQ(s.ops(gc), before);
    for (uint32_t bit : {GCFunction, GCPlaneMask, GCFillStyle}) {
        SCOPED_TRACE(bit);
        s.changeGC(gc, {.alu = GXcopy}, harness::kAllGCChanges);
        s.changeGC(gc, {.alu = GXnand}, bit);
        EXPECT_EQ(s.ops(gc)->FillRects, genSolidFillRects);
    }
}

} // namespace
