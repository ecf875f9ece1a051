// rasmo zero-width lines: the GC vector's Polylines, PolySegment and
// PolyRectangle, solid and dashed, against the reference renderer over alus,
// plane masks, both depths, a window at an offset and a one-rectangle clip;
// the ZeroSeg slot's engine terms and its pixel loop; the coordinate window
// and the dash patterns the engine cannot take going to the server's
// routines with the rest of the call; the clip removed after every call.
#include "rasmo_fixture.h"

#include "refrender.h"

namespace rasmotest {
namespace {

// A polyline with a run in each of the eight directions and two end-point
// segments, partly outside the clip.
const std::vector<DDXPointRec> kPolyline = {{4, 4},   {30, 4},  {30, 20}, {40, 30}, {50, 20},
                                            {44, 20}, {38, 26}, {38, 14}, {34, 10}, {41, 13},
                                            {39, 22}, {80, 60}, {70, 40}};
const std::vector<xSegment> kSegments = {{2, 40, 20, 40},  {20, 42, 2, 42},  {5, 45, 5, 60},
                                         {7, 60, 7, 45},   {10, 45, 20, 55}, {20, 45, 10, 55},
                                         {10, 65, 20, 55}, {30, 65, 22, 57}, {25, 40, 33, 43},
                                         {36, 60, 33, 41}, {50, 50, 50, 50}, {60, 10, 100, 70}};
const std::vector<xRectangle> kRects = {{44, 36, 10, 6}, {58, 30, 1, 1}, {60, 2, 40, 20}};

std::vector<DDXPointRec> relative(const std::vector<DDXPointRec> &pts) {
    std::vector<DDXPointRec> r = pts;
    for (size_t i = r.size() - 1; i > 0; i--) {
        r[i].x = int16_t(pts[i].x - pts[i - 1].x);
        r[i].y = int16_t(pts[i].y - pts[i - 1].y);
    }
    return r;
}

class RasmoLine : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(128, 96, GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        win = s->createWindow(9, 5, 110, 88);
        ASSERT_NE(win, nullptr);
    }
    DrawablePtr wd() { return &win->drawable; }
    uint32_t someMask() const { return GetParam() == 8 ? 0x5Au : 0xA5C3u; }

    // The three calls through the GC's vector, each drawn on the mirror too.
    void drawAll(GCPtr gc) {
        const ref::LineValues v = ref::lineValuesOf(gc, wd());
        s->gcPolylines(gc, wd(), kPolyline, CoordModeOrigin);
        ref::polylines(s->mirror(), v, CoordModeOrigin, kPolyline.data(), int(kPolyline.size()));
        const auto rel = relative(kPolyline);
        s->gcPolylines(gc, wd(), rel, CoordModePrevious);
        ref::polylines(s->mirror(), v, CoordModePrevious, rel.data(), int(rel.size()));
        s->gcPolySegment(gc, wd(), kSegments);
        ref::polySegment(s->mirror(), v, kSegments.data(), int(kSegments.size()));
        s->gcPolyRectangle(gc, wd(), kRects);
        ref::polyRectangle(s->mirror(), v, kRects.data(), int(kRects.size()));
    }
    std::unique_ptr<harness::Screen> s;
    WindowPtr win = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoLine, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

TEST_P(RasmoLine, SolidAndDashedMatchTheRendererOverAlusAndPlaneMasks) {
    const Pixel fg = 0x9C31u & s->allPlanes(), bg = 0x1E57u & s->allPlanes();
    for (int style = 0; style <= 2; style++)
        for (uint32_t pm : {s->allPlanes(), someMask()})
            for (int alu = GXclear; alu <= GXset; alu++) {
                SCOPED_TRACE("style " + std::to_string(style) + " alu " + std::to_string(alu) +
                             " planemask " + std::to_string(pm));
                GCPtr gc = s->createGCOn(wd(), {.alu = alu, .planemask = pm, .fg = fg, .bg = bg},
                                         {.lineStyle = style,
                                          .capStyle = alu % 2,
                                          .dashOffset = alu,
                                          .dashes = {3, 2, 5, 1},
                                          .clip = {{2, 1, 100, 70}}});
                ASSERT_NE(s->gcOps(gc)->Polylines, style == 0 ? nfbLineSS : nfbLineSD);
                server::clearGenCalls();
                drawAll(gc);
                EXPECT_EQ(server::genCalls().size(), 0u);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_EQ(s->failureText(), "");
}

// The pattern's 32 bits, both words, and a double dash's gaps in the
// background with the GC's mix.
TEST_P(RasmoLine, LongPatternsAndDoubleDashGaps) {
    const std::vector<std::vector<uint8_t>> lists = {{4, 4}, {20, 12}, {1, 1, 2, 3, 7, 18}, {16}};
    for (const auto &dashes : lists)
        for (int cap : {0, 1}) {
            GCPtr gc = s->createGCOn(wd(), {.alu = GXxor, .fg = 0x71, .bg = 0x0E},
                                     {.lineStyle = 2,
                                      .capStyle = cap,
                                      .dashOffset = 37,
                                      .dashes = dashes,
                                      .clip = {{0, 0, 110, 88}}});
            drawAll(gc);
        }
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// The closed polyline of 30 pixels, the open one of 11 and, with cap style
// 0, no end pixel and base 0x20C; runs give only option and count after the
// first position.
TEST_P(RasmoLine, EndPixelByCapStyleAndClosure) {
    struct Case {
        std::vector<DDXPointRec> pts;
        int cap;
        size_t pixels;
        std::vector<uint32_t> runs, options;
    } cases[] = {
        {{{0, 0}, {10, 0}, {10, 10}, {0, 0}}, 1, 30, {10, 10, 10}, {0x20C, 0x20C, 0x2CC, 0x26C}},
        {{{0, 0}, {10, 0}}, 1, 11, {10, 1}, {0x20C, 0x20C}},
        {{{0, 0}, {10, 0}, {10, 10}, {0, 0}}, 0, 30, {10, 10, 10}, {0x20C, 0x20C, 0x2CC, 0x26C}},
        {{{0, 0}, {10, 0}}, 0, 10, {10}, {0x20C, 0x20C}}};
    for (const Case &k : cases) {
        GCPtr gc = s->createGCOn(s->drawable(), {.alu = GXxor, .fg = 1}, {.capStyle = k.cap});
        const ref::Canvas before = s->readScreen();
        s->machine().clearTrace();
        s->gcPolylines(gc, s->drawable(), k.pts, CoordModeOrigin);
        EXPECT_EQ(writesTo(*s, 0x96EE), k.runs);
        EXPECT_EQ(writesTo(*s, 0xA2EE), k.options);
        EXPECT_EQ(writesTo(*s, 0x86E8), std::vector<uint32_t>{0});
        const ref::Canvas got = s->readScreen();
        s->syncMirror();
        size_t n = 0;
        for (int y = 0; y < got.height; y++)
            for (int x = 0; x < got.width; x++)
                n += got.get(x, y) != before.get(x, y);
        EXPECT_EQ(n, k.pixels) << k.pts.size() << " points, cap " << k.cap;
    }
    EXPECT_EQ(s->failureText(), "");
}

// ZeroSeg: terms in the registers' ranges go to the engine, others are
// drawn pixel by pixel; both as the renderer draws the server's terms.
TEST_P(RasmoLine, ZeroSegEngineTermsOrPixelLoop) {
    struct Case {
        ZeroSegRec seg;
        bool engine;
    } cases[] = {
        {{10, 10, 1, 1, 0, 20, 0, 0, 0}, true},    // set below from e, e1, e2
        {{10, 30, 1, -1, 1, 15, 0, 0, 0}, false},  // e1 4096
        {{40, 40, -1, 1, 0, 12, 0, 0, 0}, true},   // e -4096, e1 4095, e2 0
        {{60, 60, 1, 1, 0, 9, 0, 0, 0}, false},    // e2 1
        {{80, 20, -1, -1, 1, 11, 0, 0, 0}, false}, // e -4097
    };
    cases[0].seg.e = -3, cases[0].seg.e1 = 14, cases[0].seg.e2 = -26;
    cases[1].seg.e = 5, cases[1].seg.e1 = 4096, cases[1].seg.e2 = -4000;
    cases[2].seg.e = -4096, cases[2].seg.e1 = 4095, cases[2].seg.e2 = 0;
    cases[3].seg.e = 1, cases[3].seg.e1 = 8, cases[3].seg.e2 = 1;
    cases[4].seg.e = -4097, cases[4].seg.e1 = 600, cases[4].seg.e2 = -20;
    GCPtr gc = s->createGC({.alu = GXinvert, .planemask = someMask(), .fg = 3});
    for (const Case &k : cases) {
        s->machine().clearTrace();
        s->zeroSegs(gc, {k.seg});
        const auto options = writesTo(*s, 0xA2EE);
        ASSERT_EQ(options.size(), 1u);
        if (k.engine) {
            EXPECT_EQ(options[0], uint32_t(k.seg.axis << 6 | 4 | (k.seg.signdx > 0 ? 0x20 : 0) |
                                           (k.seg.signdy > 0 ? 0x80 : 0)));
            EXPECT_EQ(writesTo(*s, 0x92E8), std::vector<uint32_t>{uint16_t(k.seg.e)});
            EXPECT_EQ(writesTo(*s, 0x96EE), std::vector<uint32_t>{uint32_t(k.seg.len)});
        } else {
            EXPECT_EQ(options[0], 12u);
            EXPECT_EQ(writesTo(*s, 0x96EE), std::vector<uint32_t>(size_t(k.seg.len), 1));
        }
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_EQ(s->failureText(), "");
}

// Outside -512 to 1535: a first point hands the whole call over, a later
// one the rest from the previous point, in mode 1 that point in drawable
// coordinates for the call; the caller's list stays as it was.
TEST_P(RasmoLine, CoordinateWindowHandsTheRestOver) {
    GCPtr gc = s->createGCOn(wd(), {.fg = 0x2A}, {.clip = {{0, 0, 110, 88}}});
    const ref::LineValues v = ref::lineValuesOf(gc, wd());
    struct Case {
        int mode;
        std::vector<DDXPointRec> pts;
        int from; // first point handed over; -1 none
    } cases[] = {
        {CoordModeOrigin, {{3, 3}, {50, 3}, {1527, 40}, {20, 60}}, 1},
        {CoordModePrevious, {{3, 3}, {47, 0}, {1477, 37}, {-1507, 20}}, 1},
        {CoordModePrevious, {{3, 3}, {20, 0}, {0, 20}, {-23, -23}}, -1},
        {CoordModeOrigin, {{3, -518}, {30, 30}, {40, 10}}, 0},
        {CoordModeOrigin, {{3, 3}, {30, -518}}, 0},
        {CoordModeOrigin, {{3, 3}, {30, -517}}, -1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE("mode " + std::to_string(k.mode) + " first " + std::to_string(k.pts[0].y));
        std::vector<DDXPointRec> pts = k.pts;
        server::clearGenCalls();
        s->machine().clearTrace();
        s->call("Polylines",
                [&] { s->gcOps(gc)->Polylines(wd(), gc, k.mode, int(pts.size()), pts.data()); });
        ref::polylines(s->mirror(), v, k.mode, k.pts.data(), int(k.pts.size()));
        EXPECT_SCREEN_SAME(*s);
        for (size_t i = 0; i < pts.size(); i++)
            EXPECT_TRUE(pts[i].x == k.pts[i].x && pts[i].y == k.pts[i].y) << i;
        const auto calls = server::genCallsOf("nfbLineSS");
        if (k.from < 0) {
            EXPECT_TRUE(calls.empty());
        } else {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].args, (std::vector<uint64_t>{server::arg(wd()), server::arg(gc),
                                                            server::arg(k.mode),
                                                            server::arg(int(pts.size()) - k.from),
                                                            server::arg(&pts[size_t(k.from)])}));
        }
        // A call that reached the engine left the whole space as the clip.
        if (k.from != 0 || k.pts[0].y >= -512) {
            EXPECT_EQ(lastWrite(*s, 0xDAEE), 0);
            EXPECT_EQ(lastWrite(*s, 0xE6EE), 2047);
        }
    }
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoLine, SegmentsAndRectanglesHandTheRestOver) {
    for (int style : {0, 1}) {
        GCPtr gc = s->createGCOn(wd(), {.fg = 0x35},
                                 {.lineStyle = style, .dashes = {2, 2}, .clip = {{0, 0, 90, 80}}});
        const ref::LineValues v = ref::lineValuesOf(gc, wd());
        std::vector<xSegment> segs = {{1, 1, 30, 1}, {2, 3, 1530, 3}, {5, 5, 30, 30}};
        std::vector<xRectangle> rects = {{2, 40, 10, 10}, {20, 40, 0, 10}, {40, 40, 5, 5}};
        std::vector<xRectangle> far = {{2, 60, 5, 5}, {1520, 60, 8, 5}};
        server::clearGenCalls();
        s->call("PolySegment",
                [&] { s->gcOps(gc)->PolySegment(wd(), gc, int(segs.size()), segs.data()); });
        s->call("PolyRectangle",
                [&] { s->gcOps(gc)->PolyRectangle(wd(), gc, int(rects.size()), rects.data()); });
        s->call("PolyRectangle",
                [&] { s->gcOps(gc)->PolyRectangle(wd(), gc, int(far.size()), far.data()); });
        ref::polySegment(s->mirror(), v, segs.data(), int(segs.size()));
        ref::polyRectangle(s->mirror(), v, rects.data(), int(rects.size()));
        ref::polyRectangle(s->mirror(), v, far.data(), int(far.size()));
        EXPECT_SCREEN_SAME(*s);
        const char *segFallback = style ? "nfbSegmentSD" : "nfbSegmentSS";
        const char *rectFallback = style ? "miPolyRectangle" : "nfbPolyRectangle";
        const auto sc = server::genCallsOf(segFallback);
        const auto rc = server::genCallsOf(rectFallback);
        ASSERT_EQ(sc.size(), 1u);
        EXPECT_EQ(sc[0].args[2], server::arg(2));
        EXPECT_EQ(sc[0].args[3], server::arg(&segs[1]));
        ASSERT_EQ(rc.size(), 2u);
        EXPECT_EQ(rc[0].args[2], server::arg(2));
        EXPECT_EQ(rc[0].args[3], server::arg(&rects[1]));
        EXPECT_EQ(rc[1].args[2], server::arg(1));
        EXPECT_EQ(rc[1].args[3], server::arg(&far[1]));
        EXPECT_EQ(lastWrite(*s, 0xE2EE), 2047);
    }
    EXPECT_EQ(s->failureText(), "");
}

// The pattern registers from the dash list and offset; lists the engine
// cannot hold go to the server's routine whole.
TEST_P(RasmoLine, DashPatternsAndTheirFallbacks) {
    struct Case {
        std::vector<uint8_t> dashes;
        int offset;
        std::vector<uint32_t> words; // empty: the fallback
        int length, index;
    } cases[] = {
        {{4, 4}, 10, {0x00F0}, 8, 2},
        {{4, 4}, 3, {0x00F0}, 8, 3},
        {{1, 2, 3, 4}, 0, {0x009C}, 10, 0},
        {{8, 8}, 0, {0x00FF, 0x0000}, 16, 0},
        {{12, 20}, 40, {0xF0FF, 0x0000}, 32, 8},
        {{20, 20}, 0, {}, 0, 0},
        {{2, 1, 3}, 0, {}, 0, 0},
        {{5}, 0, {}, 0, 0},
    };
    const std::vector<DDXPointRec> pts = {{2, 2}, {40, 2}, {40, 30}};
    for (const Case &k : cases) {
        SCOPED_TRACE("dashes " + std::to_string(k.dashes.size()) + " first " +
                     std::to_string(k.dashes[0]));
        GCPtr gc = s->createGCOn(wd(), {.fg = 0x44},
                                 {.lineStyle = 1, .dashOffset = k.offset, .dashes = k.dashes});
        server::clearGenCalls();
        s->machine().clearTrace();
        s->gcPolylines(gc, wd(), pts, CoordModeOrigin);
        ref::polylines(s->mirror(), ref::lineValuesOf(gc, wd()), CoordModeOrigin, pts.data(), 3);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(writesTo(*s, 0x8EEE), k.words);
        if (k.words.empty()) {
            EXPECT_EQ(server::genCallsOf("nfbLineSD").size(), 1u);
            EXPECT_TRUE(writesTo(*s, 0xD2EE).empty());
            continue;
        }
        EXPECT_EQ(writesTo(*s, 0xD2EE), std::vector<uint32_t>{uint32_t(k.length - 1)});
        EXPECT_EQ(writesTo(*s, 0xD6EE), std::vector<uint32_t>{uint32_t(k.index)});
        EXPECT_EQ(writesTo(*s, 0xB6EE), std::vector<uint32_t>{0x3}); // gaps untouched
    }
    EXPECT_EQ(s->failureText(), "");
}

// A dashed polyline that leaves the window: the fallback goes on with the
// engine's pattern index as the dash offset, which the GC gets back after.
TEST_P(RasmoLine, DashPhaseCarriedIntoTheFallback) {
    GCPtr gc = s->createGCOn(wd(), {.fg = 0x5C, .bg = 0x21},
                             {.lineStyle = 2, .dashOffset = 5, .dashes = {3, 4, 2, 2}});
    const ref::LineValues v = ref::lineValuesOf(gc, wd());
    for (int mode : {CoordModeOrigin, CoordModePrevious}) {
        std::vector<DDXPointRec> pts = {{2, 2}, {33, 2}, {40, 20}, {1700, 20}, {60, 70}};
        if (mode == CoordModePrevious)
            pts = relative(pts);
        server::clearGenCalls();
        s->gcPolylines(gc, wd(), pts, mode);
        ref::polylines(s->mirror(), v, mode, pts.data(), int(pts.size()));
        EXPECT_SCREEN_SAME(*s);
        ASSERT_EQ(server::genCallsOf("nfbLineSD").size(), 1u);
        EXPECT_EQ(server::genCallsOf("nfbLineSD")[0].args[3], server::arg(3));
        EXPECT_EQ(gc->dashOffset, 5);
    }
    EXPECT_EQ(s->failureText(), "");
}

// With a clip of several rectangles the vector holds the layer's routines,
// which the stand-in draws in software through the window's image slots.
TEST_P(RasmoLine, SeveralRectangleClipTakesTheLayersRoutines) {
    const std::vector<BoxRec> clip = {{0, 0, 40, 30}, {50, 35, 100, 80}};
    for (int style : {0, 1}) {
        GCPtr gc = s->createGCOn(wd(), {.alu = GXxor, .fg = 0x3C},
                                 {.lineStyle = style, .dashes = {5, 2}, .clip = clip});
        server::clearGenCalls();
        drawAll(gc);
        const std::vector<DDXPointRec> pts = {{1, 1}, {60, 40}, {3, 70}, {99, 79}};
        s->gcPolyPoint(gc, wd(), pts, CoordModeOrigin);
        ref::polyPoint(s->mirror(), ref::lineValuesOf(gc, wd()), CoordModeOrigin, pts.data(), 4);
        const std::vector<DDXPointRec> starts = {{9, 6}, {40, 50}};
        const std::vector<int> widths = {60, 80};
        s->gcFillSpans(gc, wd(), starts, widths);
        ref::clippedSpans(s->mirror(), ref::lineValuesOf(gc, wd()), starts.data(), widths.data(),
                          2);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(server::genCallsOf(style ? "nfbLineSD" : "nfbLineSS").size(), 2u);
        EXPECT_EQ(server::genCallsOf("nfbPolyPoint").size(), 1u);
        EXPECT_EQ(server::genCallsOf("nfbFillSpans").size(), 1u);
    }
    EXPECT_EQ(s->failureText(), "");
}

// The FIFO waits of each routine, from a stalled FIFO.
TEST_P(RasmoLine, Waits) {
    mach32Of(*s).ext().setStalledFifo(true);
    GCPtr solid = s->createGCOn(s->drawable(), {.fg = 5});
    GCPtr dashed = s->createGCOn(s->drawable(), {.fg = 5}, {.lineStyle = 1, .dashes = {9, 9}});
    struct Case {
        const char *what;
        std::function<void()> call;
        std::vector<int> waits;
    } cases[] = {
        {"polyline",
         [&] {
             s->gcPolylines(solid, s->drawable(), {{0, 0}, {9, 0}, {12, 5}}, 0);
         },
         {4, 5, 4, 5, 1, 4}},
        {"dashed polyline",
         [&] {
             s->gcPolylines(dashed, s->drawable(), {{0, 0}, {9, 0}, {12, 5}}, 0);
         },
         {4, 12, 4, 5, 1, 4}},
        {"segments",
         [&] {
             s->gcPolySegment(solid, s->drawable(), {{0, 0, 9, 0}, {0, 2, 5, 9}});
         },
         {4, 5, 4, 5, 4}},
        {"dashed segments",
         [&] {
             s->gcPolySegment(dashed, s->drawable(), {{0, 0, 9, 0}, {0, 2, 5, 9}});
         },
         {4, 11, 5, 6, 4}},
        {"rectangles",
         [&] {
             s->gcPolyRectangle(solid, s->drawable(), {{0, 0, 9, 9}, {20, 0, 3, 3}});
         },
         {4, 4, 10, 10, 4}},
        {"dashed rectangles",
         [&] {
             s->gcPolyRectangle(dashed, s->drawable(), {{0, 0, 9, 9}, {20, 0, 3, 3}});
         },
         {4, 10, 11, 11, 4}},
    };
    for (const Case &k : cases) {
        s->machine().clearTrace();
        k.call();
        EXPECT_EQ(fifoWaits(*s), k.waits) << k.what;
    }
    EXPECT_EQ(s->failureText(), "");
}

} // namespace
} // namespace rasmotest
