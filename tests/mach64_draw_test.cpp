// Mach64 drawing through the engine model, compared with the reference
// renderer in the three builds at depths 8, 16 and 32: solid rectangles,
// copies in every overlap direction, points, spans, segments, images written
// through the host-data port and read back through the aperture or the VGA
// window; the register words where there are no pixels.
#include <algorithm>
#include <random>

#include "mach64_fixture.h"

namespace m64test {
namespace {

struct DrawCase {
    Build build;
    int depth;
};

std::string drawCaseName(const testing::TestParamInfo<DrawCase> &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
}

const uint32_t kPlaneMasks[] = {~0u, 0x5A5A5AA5u};

class Mach64Draw : public testing::TestWithParam<DrawCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            GetParam().build.driver, m64Config(GetParam().build, GetParam().depth), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(3);
    }
    sim::Mach64Engine &engine() { return boardOf(*s).engine(); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    std::unique_ptr<harness::Screen> s;
};

TEST_P(Mach64Draw, SolidRectsAcrossAlusAndPlaneMasks) {
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks) {
            SCOPED_TRACE("alu " + std::to_string(alu) + ", mask " + std::to_string(pm));
            int o = alu * 7;
            s->drawSolidRects({{int16_t(o), 1, int16_t(o + 30), 9},
                               {40, 5, 40, 12}, // empty
                               {int16_t(600 - o), int16_t(alu % 8), 640, 16},
                               {9, 9, 3, 12}, // empty
                               {0, 15, 1, 16}},
                              colour(uint32_t(alu) + 1), alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCallsOf("genDrawSolidRects").empty());
}

// Lists longer than the 16-entry FIFO holds twice over: each box, point and
// span must wait for its own room.
TEST_P(Mach64Draw, LongListsWaitForRoomItemByItem) {
    std::vector<BoxRec> boxes;
    std::vector<DDXPointRec> points, starts;
    std::vector<int> widths;
    for (int i = 0; i < 20; i++) {
        boxes.push_back(
            {int16_t(i * 31), int16_t(i % 4), int16_t(i * 31 + 20), int16_t(9 + i % 7)});
        points.push_back({int16_t(i * 29 + 3), int16_t(15 - i % 5)});
        starts.push_back({int16_t(i * 30 + 5), int16_t(10 + i % 6)});
        widths.push_back(1 + i % 17);
    }
    s->drawSolidRects(boxes, colour(1), GXxor);
    s->drawPoints(points, colour(2));
    GCPtr gc = s->createGC({.fg = colour(3)});
    s->fillSpans(gc, starts, widths);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Mach64Draw, SolidRectsWithNoBoxesLookAtNone) {
    engine().clearLog();
    // A count of 0 with no boxes at all: nothing is read, nothing drawn.
    s->winOps()->DrawSolidRects(nullptr, 0, 1, GXcopy, ~0u, s->drawable());
    s->drain();
    EXPECT_TRUE(engine().log().empty());
    EXPECT_SCREEN_SAME(*s);
}

struct Copy {
    const char *name;
    BoxRec dst;
    DDXPointRec src;
};

const Copy kCopies[] = {
    {"down right", {20, 3, 83, 14}, {17, 1}},
    {"up left", {5, 0, 69, 12}, {12, 3}},
    {"right, same rows", {40, 2, 104, 15}, {33, 2}},
    {"left, same rows", {3, 2, 66, 15}, {9, 2}},
    {"down, same columns", {30, 4, 100, 16}, {30, 1}},
    {"up, same columns", {30, 0, 100, 12}, {30, 4}},
    {"down left", {0, 5, 50, 15}, {7, 2}},
    {"up right", {77, 0, 127, 11}, {70, 4}},
    {"one row down", {200, 1, 300, 16}, {200, 0}},
    {"one row up", {200, 0, 300, 15}, {200, 1}},
    {"onto itself", {50, 2, 60, 9}, {50, 2}},
    {"apart", {400, 0, 639, 7}, {100, 8}},
    {"empty", {40, 3, 40, 9}, {0, 0}},
};

TEST_P(Mach64Draw, CopiesInEveryDirection) {
    const int alus[] = {GXcopy, GXxor, GXinvert, GXorReverse};
    for (const Copy &c : kCopies)
        for (int alu : alus)
            for (uint32_t pm : kPlaneMasks) {
                SCOPED_TRACE(std::string(c.name) + ", alu " + std::to_string(alu));
                s->copyRect(c.dst, c.src, alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_TRUE(server::genCallsOf("genCopyRect").empty());
}

TEST_P(Mach64Draw, PointsSpansAndSegments) {
    for (int alu : {GXcopy, GXxor, GXand, GXnor, GXset})
        for (uint32_t pm : kPlaneMasks) {
            SCOPED_TRACE("alu " + std::to_string(alu));
            s->drawPoints({{0, 0}, {639, 15}, {int16_t(alu * 5), int16_t(alu)}, {64, 8}},
                          colour(uint32_t(alu) + 7), alu, pm);
            GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = colour(uint32_t(alu))});
            s->fillSpans(gc, {{3, 2}, {600, 15}, {0, 7}}, {40, 40, 1});
            // Segments of both axes and all four sign pairs; the terms are
            // the server's.
            std::vector<ZeroSegRec> segs;
            auto seg = [&](int x1, int y1, int x2, int y2) {
                int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
                int axis = dy > dx ? 1 : 0;
                int major = axis ? dy : dx, minor = axis ? dx : dy;
                ZeroSegRec r{};
                r.x = int16_t(x1);
                r.y = int16_t(y1);
                r.signdx = int16_t(x2 >= x1 ? 1 : -1);
                r.signdy = int16_t(y2 >= y1 ? 1 : -1);
                r.axis = int16_t(axis);
                r.len = int16_t(major + 1);
                r.e = 2 * minor - major - (x2 < x1 ? 0 : 1);
                r.e1 = 2 * minor;
                r.e2 = 2 * minor - 2 * major;
                segs.push_back(r);
            };
            seg(10, 1, 90, 14);
            seg(300, 14, 250, 0);
            seg(100, 0, 104, 15);
            seg(500, 15, 498, 0);
            seg(7, 7, 7, 7);
            s->zeroSegs(gc, segs);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCallsOf("genDrawPoints").empty());
    EXPECT_TRUE(server::genCallsOf("genSolidFS").empty());
    EXPECT_TRUE(server::genCallsOf("genSolidZeroSeg").empty());
}

// Images narrower than a word and wider than the FIFO, in rows that end
// exactly where the caller's buffer does (the sanitizer sees a read past it).
TEST_P(Mach64Draw, ImagesOfEveryWidthAndStride) {
    int bpp = s->bytesPerPixel();
    std::mt19937 rng(5);
    int n = 0;
    for (int width : {1, 2, 3, 4, 5, 20})
        for (int extra : {0, 3})
            for (int alu : {GXcopy, GXxor}) {
                SCOPED_TRACE("width " + std::to_string(width) + " extra " + std::to_string(extra));
                int height = 3;
                int stride = width * bpp + extra;
                std::vector<uint8_t> pixels(size_t(stride * (height - 1) + width * bpp));
                for (uint8_t &b : pixels)
                    b = uint8_t(rng());
                int x = 7 + 31 * n++;
                s->drawImage({int16_t(x), 2, int16_t(x + width), int16_t(2 + height)}, pixels,
                             stride, alu, alu == GXcopy ? ~0u : 0x0F0F0F0Fu);
                EXPECT_SCREEN_SAME(*s);
            }
    BoxRec box = {100, 1, 125, 15};
    EXPECT_EQ(s->readImage(box, 25 * bpp + 6), s->expectedImage(box, 25 * bpp + 6));
}

TEST_P(Mach64Draw, EmptyImagesStartNothing) {
    engine().clearLog();
    std::vector<uint8_t> none(16, 0x11);
    for (BoxRec b : {BoxRec{10, 2, 10, 5}, BoxRec{10, 2, 8, 5}, BoxRec{10, 5, 20, 5}}) {
        s->winOps()->DrawImage(&b, none.data(), 8, GXcopy, ~0u, s->drawable());
        std::vector<uint8_t> out(16, 0xEE);
        s->winOps()->ReadImage(&b, out.data(), 8, s->drawable());
        EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
    }
    s->drain();
    EXPECT_TRUE(engine().log().empty());
    EXPECT_SCREEN_SAME(*s);
}

std::vector<DrawCase> drawCases() {
    std::vector<DrawCase> out;
    for (const Build &b : kBuilds)
        for (int depth : {8, 16, 32})
            out.push_back({b, depth});
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Draw, testing::ValuesIn(drawCases()), drawCaseName);

// ---- register words ----

class Mach64Words : public testing::TestWithParam<Build> {
  protected:
    void start(graf::Config cfg) {
        s = std::make_unique<harness::Screen>(GetParam().driver, cfg, quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        regsArea = privateOf(*s).aperture ? "APERTURE" : "REGS";
        blockOffset =
            privateOf(*s).aperture
                ? uint32_t(reinterpret_cast<uint8_t *>(privateOf(*s).regs) - privateOf(*s).aperture)
                : 0xFC00u;
    }
    std::vector<RegWrite> writes() { return registerWrites(*s, blockOffset, regsArea); }
    std::unique_ptr<harness::Screen> s;
    std::string regsArea;
    uint32_t blockOffset = 0;
};

bool dataPath(int index) {
    return (index >= DP_BKGD_CLR && index <= DP_SRC) || index == DST_CNTL || index == SRC_CNTL;
}

TEST_P(Mach64Words, SecondIdenticalFillWritesNoDataPathRegister) {
    start(m64Config(GetParam()));
    s->drawSolidRects({{1, 1, 5, 5}}, 3, GXxor);
    s->machine().clearTrace();
    s->drawSolidRects({{1, 1, 5, 5}, {8, 2, 9, 3}}, 3, GXxor);
    std::vector<RegWrite> w = writes();
    for (const RegWrite &r : w)
        EXPECT_FALSE(dataPath(r.index)) << show(w);
    // Two writes a box (tesk reads DST_Y_X back first, it writes no more).
    EXPECT_EQ(std::count_if(w.begin(), w.end(),
                            [](const RegWrite &r) {
                                return r.index == DST_Y_X || r.index == DST_HEIGHT_WIDTH;
                            }),
              4)
        << show(w);
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(Mach64Words, SegmentDirectionWord) {
    start(m64Config(GetParam()));
    GCPtr gc = s->createGC({.fg = 9});
    s->machine().clearTrace();
    // axis 1 (y major), x decreasing, y increasing.
    s->zeroSegs(gc, {ZeroSegRec{20, 2, -1, 1, 1, 6, -3, 4, -6}});
    std::vector<RegWrite> w = writes();
    auto it =
        std::find_if(w.begin(), w.end(), [](const RegWrite &r) { return r.index == DST_CNTL; });
    ASSERT_NE(it, w.end()) << show(w);
    EXPECT_EQ(it->value, 0x26u);
    EXPECT_EQ(w.back().index, DST_BRES_LNTH);
    EXPECT_EQ(w.back().value, 6u);
    EXPECT_SCREEN_SAME(*s);
}

// After a one-bit routine left DP_PIX_WIDTH at 1 bit per pixel, points and
// spans still draw in the screen's format.
TEST_P(Mach64Words, PointsAndSpansSetTheScreenPixelWidth) {
    start(m64Config(GetParam()));
    teskScreenPrivate &p = privateOf(*s);
    // What a font download leaves behind.
    const bool bracketed = std::string(GetParam().driver) != "merro";
    p.shadowPixWidth = 0x1000000u;
    if (bracketed)
        outpw(0x3CE, 0x0106);
    mmWrite32(p.regs + DP_PIX_WIDTH, 0x1000000u);
    if (bracketed)
        outpw(0x3CE, 0x0506);
    s->drawPoints({{3, 3}, {4, 9}}, 0x21, GXcopy);
    GCPtr gc = s->createGC({.fg = 0x42});
    s->fillSpans(gc, {{10, 4}}, {30});
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(p.shadowPixWidth, pixWidthWord(GetParam(), 8));
}

TEST_P(Mach64Words, ReadImageSetsTheReadBitOnTheNewClassOnly) {
    graf::Config cfg = m64Config(GetParam());
    std::string drv = GetParam().driver;
    if (drv == "vandu")
        cfg.ints["CHIP_ID"] = 0x00004754; // revision field 0: the old class
    start(cfg);
    s->machine().clearTrace();
    s->readImage({0, 0, 4, 2});
    std::vector<RegWrite> w = writes();
    bool touched = std::any_of(w.begin(), w.end(), [](const RegWrite &r) {
        return r.index == MEM_BUF_CNTL && (r.value & 0x800000u);
    });
    EXPECT_EQ(touched, drv == "tesk") << show(w);
    bool anyMemBuf =
        std::any_of(w.begin(), w.end(), [](const RegWrite &r) { return r.index == MEM_BUF_CNTL; });
    EXPECT_EQ(anyMemBuf, drv == "tesk") << show(w);
}

// Without an aperture the read goes through the window's two read pages:
// the line at byte 0x17FF0 starts in page 2 and runs into page 3.
TEST_P(Mach64Words, ReadImageThroughTheWindowAcrossAPage) {
    graf::Config cfg = m64Config(GetParam(), 8, 1024, 100);
    cfg.areas.erase(std::remove_if(cfg.areas.begin(), cfg.areas.end(),
                                   [](const graf::MemoryArea &a) { return a.name == "APERTURE"; }),
                    cfg.areas.end());
    start(cfg);
    ASSERT_EQ(privateOf(*s).aperture, nullptr);
    s->fillRandom(9);
    s->machine().clearTrace();
    BoxRec box = {1008, 95, 1024, 97};
    EXPECT_EQ(s->readImage(box), s->expectedImage(box));
    std::vector<RegWrite> w = writes();
    std::vector<uint32_t> pages;
    for (const RegWrite &r : w)
        if (r.index == MEM_VGA_RP_SEL)
            pages.push_back(r.value);
    // 0x17FF0 and 0x183F0: the page register is written for every line.
    EXPECT_EQ(pages, (std::vector<uint32_t>{0x00030002u, 0x00040003u})) << show(w);
    // And the window agrees with the aperture-less screen after drawing.
    s->drawSolidRects({{1000, 90, 1024, 100}}, 0x33, GXxor);
    s->copyRect({0, 0, 50, 10}, {900, 90});
    EXPECT_SCREEN_SAME(*s);
}

// tesk's copies, fills and points return with the engine idle; the other
// builds return with the last operation still queued.
TEST_P(Mach64Words, OnlyTeskEndsRectangleOperationsIdle) {
    start(m64Config(GetParam()));
    const bool tesk = std::string(GetParam().driver) == "tesk";
    sim::Mach64Adapter &board = boardOf(*s);
    auto idle = [&] { return board.queued() == 0 && !board.engine().busy(); };
    s->drawSolidRects({{1, 1, 50, 9}}, 5, GXcopy);
    EXPECT_EQ(idle(), tesk);
    s->copyRect({100, 0, 140, 8}, {0, 2});
    EXPECT_EQ(idle(), tesk);
    s->drawPoints({{7, 7}}, 3, GXxor);
    EXPECT_EQ(idle(), tesk);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Words, testing::ValuesIn(kBuilds), buildName);

} // namespace
} // namespace m64test
