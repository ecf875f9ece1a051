// rasmo solid rectangles, spans, points and copies on the Mach32 engine:
// pixels against the reference renderer over alus, plane masks and both
// depths, the batched FIFO waits, the copy directions, count 0, and the GC
// vector's FillSpans and PolyPoint with their one-rectangle clip set and
// removed.
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

class RasmoDraw : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(128, 96, GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(7);
    }
    uint32_t someMask() const { return GetParam() == 8 ? 0x5Au : 0xA5C3u; }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoDraw, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

TEST_P(RasmoDraw, SolidFillsSpansAndPointsOverAlusAndPlaneMasks) {
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu = GXclear; alu <= GXset; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " planemask " + std::to_string(pm));
            const Pixel fg = 0x9C31u & s->allPlanes();
            GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = fg});
            s->fillRects(gc, {{2, 3, 30, 20}, {40, 5, 41, 6}, {50, 10, 127, 11}, {0, 90, 128, 96}});
            s->drawSolidRects({{10, 30, 20, 60}, {100, 40, 128, 44}, {5, 70, 6, 95}}, fg ^ 0x55,
                              alu, pm);
            s->fillSpans(gc, {{60, 30}, {61, 31}, {0, 32}, {127, 33}, {70, 34}},
                         {10, 1, 128, 1, 0});
            s->drawPoints({{0, 0}, {127, 0}, {0, 95}, {127, 95}, {64, 48}, {65, 48}}, fg + 3, alu,
                          pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(s->failureText(), "");
}

// Each routine waits once for its set-up and first item, then once per
// batch sized to fill the FIFO, the last partial batch after a smaller wait.
TEST_P(RasmoDraw, WaitsComeInBatches) {
    mach32Of(*s).ext().setStalledFifo(true);
    GCPtr gc = s->createGC({.fg = 5});
    auto boxes = [](int n) {
        std::vector<BoxRec> b;
        for (int i = 0; i < n; i++)
            b.push_back({int16_t(2 + 10 * i), 2, int16_t(9 + 10 * i), 9});
        return b;
    };
    auto points = [](int n) {
        std::vector<DDXPointRec> p;
        for (int i = 0; i < n; i++)
            p.push_back({int16_t(3 * i), 50});
        return p;
    };
    struct Case {
        const char *what;
        int n;
        std::vector<int> waits;
    };
    const Case fills[] = {{"FillRects", 1, {9}},
                          {"FillRects", 2, {9, 10}},
                          {"FillRects", 3, {9, 10}},
                          {"FillRects", 4, {9, 15}},
                          {"FillRects", 6, {9, 15, 10}},
                          {"FillRects", 7, {9, 15, 15}},
                          {"DrawSolidRects", 1, {9}},
                          {"DrawSolidRects", 2, {9, 5}},
                          {"DrawSolidRects", 3, {9, 10}},
                          {"DrawSolidRects", 4, {9, 10, 5}},
                          {"FS", 4, {8, 9}},
                          {"FS", 5, {8, 12}},
                          {"FS", 7, {8, 12, 9}},
                          {"DrawPoints", 2, {8, 12}},
                          {"DrawPoints", 6, {8, 15}},
                          {"DrawPoints", 8, {8, 15, 12}}};
    for (const Case &c : fills) {
        SCOPED_TRACE(std::string(c.what) + " x" + std::to_string(c.n));
        s->machine().clearTrace();
        const std::string what = c.what;
        if (what == "FillRects")
            s->fillRects(gc, boxes(c.n));
        else if (what == "DrawSolidRects")
            s->drawSolidRects(boxes(c.n), 7);
        else if (what == "FS")
            s->fillSpans(gc, points(c.n), std::vector<int>(size_t(c.n), 2));
        else
            s->drawPoints(points(c.n), 9);
        EXPECT_EQ(fifoWaits(*s), c.waits);
    }
    EXPECT_SCREEN_SAME(*s);
}

// The routines the layer may call with nothing to draw touch no port.
TEST_P(RasmoDraw, CountZeroDrawsNothing) {
    GCPtr gc = s->createGC({.fg = 3});
    s->machine().clearTrace();
    s->fillRects(gc, {});
    s->fillSpans(gc, {}, {});
    s->drawSolidRects({}, 1);
    s->drawPoints({}, 1);
    s->drawMonoGlyphs({}, 1);
    EXPECT_EQ(portWrites(*s), std::vector<PortWrite>{}) << show(portWrites(*s));
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(RasmoDraw, CopiesPickTheirDirection) {
    struct Case {
        const char *what;
        BoxRec dst;
        DDXPointRec src;
    };
    const Case cases[] = {
        {"one pixel right", {21, 10, 61, 40}, {20, 10}},
        {"one line down", {20, 11, 60, 41}, {20, 10}},
        {"right and down", {25, 14, 65, 44}, {20, 10}},
        {"left and up", {20, 10, 60, 40}, {23, 12}},
        {"onto itself", {20, 10, 60, 40}, {20, 10}},
        {"apart", {80, 50, 120, 90}, {3, 2}},
        {"one pixel wide, right", {71, 0, 72, 96}, {70, 0}},
    };
    for (const Case &c : cases)
        for (int alu : {GXcopy, GXxor, GXorInverted}) {
            SCOPED_TRACE(std::string(c.what) + " alu " + std::to_string(alu));
            s->copyRect(c.dst, c.src, alu, alu == GXxor ? someMask() : ~0u);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(s->failureText(), "");
}

// An empty box copies nothing: the engine is given no empty source range.
TEST_P(RasmoDraw, EmptyCopiesTouchNoPort) {
    const BoxRec boxes[] = {{126, 10, 126, 40}, {20, 30, 60, 30}};
    for (const BoxRec &b : boxes) {
        s->machine().clearTrace();
        s->copyRect(b, {3, 2});
        EXPECT_EQ(portWrites(*s), std::vector<PortWrite>{}) << show(portWrites(*s));
    }
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoDraw, OverlappingCopiesRunAgainstTheOverlap) {
    // One pixel right: right to left, x start x2 and x end x1.
    s->machine().clearTrace();
    s->copyRect({21, 10, 61, 40}, {20, 10});
    EXPECT_EQ(writesTo(*s, 0xA6EE), std::vector<uint32_t>{61});
    EXPECT_EQ(writesTo(*s, 0xAAEE), std::vector<uint32_t>{21});
    EXPECT_EQ(writesTo(*s, 0xC2EE), std::vector<uint32_t>{1});
    // One line down: bottom to top from y2 - 1 to the exclusive end y1 - 1.
    s->machine().clearTrace();
    s->copyRect({20, 11, 60, 41}, {20, 10});
    EXPECT_EQ(writesTo(*s, 0xA6EE), std::vector<uint32_t>{20});
    EXPECT_EQ(writesTo(*s, 0x82E8), std::vector<uint32_t>{40});
    EXPECT_EQ(writesTo(*s, 0xAEEE), std::vector<uint32_t>{10});
    EXPECT_EQ(writesTo(*s, 0xC2EE), std::vector<uint32_t>{0});
    EXPECT_SCREEN_SAME(*s);
}

// PolyPoint takes drawable-relative points, in mode 1 each from the one
// before, and clips to the GC's one rectangle; the clip is gone afterwards.
TEST_P(RasmoDraw, PolyPointRelativeOnAWindow) {
    WindowPtr win = s->createWindow(100, 50, 20, 20);
    ASSERT_NE(win, nullptr);
    const Pixel fg = 0x1234u & s->allPlanes();
    GCPtr gc = s->createGCOn(&win->drawable, {.alu = GXxor, .fg = fg});
    s->setClipRegions({{1, 2, 30, 40}});
    s->machine().clearTrace();
    // The last point lies right of the window and is clipped away.
    s->gcPolyPoint(gc, &win->drawable, {{10, 10}, {1, 0}, {1, 0}, {20, 0}}, CoordModePrevious);
    for (int x : {110, 111, 112})
        s->mirror().merge(x, 60, fg, GXxor, ~0u);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(writesTo(*s, 0xDAEE), (std::vector<uint32_t>{100, 0}));
    EXPECT_EQ(writesTo(*s, 0xDEEE), (std::vector<uint32_t>{50, 0}));
    EXPECT_EQ(writesTo(*s, 0xE2EE), (std::vector<uint32_t>{119, 2047}));
    EXPECT_EQ(writesTo(*s, 0xE6EE), (std::vector<uint32_t>{69, 2047}));
    EXPECT_EQ(writesTo(*s, 0x86E8), (std::vector<uint32_t>{110, 111, 112, 132}));

    // Mode 0: each point from the window's origin.
    s->gcPolyPoint(gc, &win->drawable, {{0, 0}, {19, 19}}, CoordModeOrigin);
    s->mirror().merge(100, 50, fg, GXxor, ~0u);
    s->mirror().merge(119, 69, fg, GXxor, ~0u);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// FillSpans hands the spans to the FS slot unchanged while the scissors
// clip them to the GC's one clip rectangle.
TEST_P(RasmoDraw, FillSpansClipToTheGCsRectangle) {
    const BoxRec clip = {10, 10, 50, 40};
    const Pixel fg = 0x4321u & s->allPlanes();
    GCPtr gc = s->createGCOn(s->drawable(), {.fg = fg}, {.clip = {clip}});
    const std::vector<DDXPointRec> starts = {{0, 5}, {0, 10}, {45, 20}, {12, 39}, {5, 40}};
    const std::vector<int> widths = {100, 100, 30, 3, 60};
    s->machine().clearTrace();
    s->gcFillSpans(gc, s->drawable(), starts, widths);
    for (size_t i = 0; i < starts.size(); i++)
        for (int x = starts[i].x; x < starts[i].x + widths[i]; x++)
            if (x >= clip.x1 && x < clip.x2 && starts[i].y >= clip.y1 && starts[i].y < clip.y2)
                s->mirror().put(x, starts[i].y, fg);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(writesTo(*s, 0xDAEE), (std::vector<uint32_t>{10, 0}));
    EXPECT_EQ(lastWrite(*s, 0xE2EE), 2047);
    EXPECT_EQ(lastWrite(*s, 0xE6EE), 2047);
    EXPECT_EQ(s->failureText(), "");
}

} // namespace
} // namespace rasmotest
