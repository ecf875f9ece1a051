// dulmo's blitter and line engine against the reference renderer: copies in
// every overlap direction, solid rectangles, points, zero-width segments in
// every octant and both engine forms, and solid spans from the host masks;
// on the flat and the banked board, under the strict engine model.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dulmo_fixture.h"

namespace {

using namespace dulmotest;

constexpr int kW = 96, kH = 40;

std::unique_ptr<harness::Screen> flatScreen(uint32_t seed = 1) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    s->fillRandom(seed);
    return s;
}

std::unique_ptr<harness::Screen> bankScreen(uint32_t seed = 1) {
    auto s = startScreen(sized(kBankFile, kW, kH));
    s->fillRandom(seed);
    return s;
}

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// ---- copies ----

struct CopyCase {
    const char *name;
    int dx, dy; // source offset from the destination
};

class DulmoCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(DulmoCopy, EveryAluAndMaskOnFlatAndBankedBoards) {
    const CopyCase &c = GetParam();
    for (const char *file : {kFlatFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(sized(file, kW, kH));
        s->fillRandom(3);
        for (int alu = 0; alu < 16; alu++)
            for (uint32_t mask : {0xFFu, 0x5Au}) {
                int x = 20 + (alu % 4) * 2, y = 10 + (alu / 4);
                s->copyRect(box(x, y, x + 30, y + 12), {int16_t(x + c.dx), int16_t(y + c.dy)}, alu,
                            mask);
            }
        EXPECT_SCREEN_SAME(*s);
    }
}

INSTANTIATE_TEST_SUITE_P(Overlaps, DulmoCopy,
                         ::testing::Values(CopyCase{"OneLineDownOntoItself", 0, -1},
                                           CopyCase{"OneLineUpOntoItself", 0, 1},
                                           CopyCase{"SameLineRight", -3, 0},
                                           CopyCase{"SameLineLeft", 3, 0},
                                           CopyCase{"UpLeft", -5, -4}, CopyCase{"DownRight", 5, 4},
                                           CopyCase{"Apart", 40, 14}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DulmoCopyDirection, DownwardRunsBackwardUpwardForward) {
    auto s = flatScreen();
    struct Case {
        int sx, sy;
        int start;
    } cases[] = {{10, 9, 0x41}, {10, 11, 1}, {9, 10, 0x41}, {11, 10, 1}};
    for (const Case &c : cases) {
        s->machine().clearTrace();
        s->copyRect(box(10, 10, 20, 15), {int16_t(c.sx), int16_t(c.sy)});
        int start = -1;
        for (const PortAccess &a : portAccesses(s->machine()))
            if (a.write && a.port == 0x33CE)
                start = int(a.value);
        EXPECT_EQ(start, c.start) << c.sx << "," << c.sy;
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoCopyRevision, GXcopyInsideOne2KBlockUsesTheSpecialMode) {
    graf::Config cfg = sized(kFlatFile, kW, kH);
    cfg.ints["CHIP"] = 0x71;
    cfg.ints["CHIP_REV"] = 1;
    auto s = startScreen(cfg);
    s->fillRandom(5);
    ASSERT_EQ(privateOf(*s).chipRevisionFlag, 1);
    struct Case {
        BoxRec dst;
        DDXPointRec src;
        int alu;
        int mode, rop;
    } cases[] = {
        // Lines 0 and 1 of 1024 bytes share the first 2 KB block.
        {box(10, 0, 30, 1), {40, 1}, GXcopy, 0x01, 0x06},
        {box(10, 1, 30, 2), {40, 2}, GXcopy, 0xC1, 0x0C},
        {box(10, 0, 30, 1), {40, 1}, GXxor, 0xC1, 0x06},
        {box(10, 4, 30, 5), {2, 5}, GXcopy, 0x01, 0x06},
    };
    for (const Case &c : cases) {
        s->machine().clearTrace();
        s->copyRect(c.dst, c.src, c.alu);
        std::vector<int> modes = grWrites(s->machine(), 0x5A);
        ASSERT_FALSE(modes.empty());
        EXPECT_EQ(modes.back(), c.mode) << c.dst.y1 << " " << c.alu;
        int rop = -1;
        for (const PortAccess &a : portAccesses(s->machine()))
            if (a.write && a.port == 0x33C7)
                rop = int(a.value);
        EXPECT_EQ(rop, c.rop);
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoCopyAfterGlyphs, GraphicsRegister10IsRewrittenOnce) {
    auto s = flatScreen();
    privateOf(*s).gr10Pending = 1;
    s->machine().clearTrace();
    s->copyRect(box(10, 10, 20, 15), {30, 20});
    s->copyRect(box(10, 20, 20, 25), {30, 10});
    std::vector<PortAccess> got = portAccesses(s->machine());
    int rewrites = 0;
    for (size_t i = 0; i + 2 < got.size(); i++)
        if (got[i] == PortAccess{true, 0x3CE, 0x10, 1} &&
            got[i + 1] == PortAccess{true, 0x3CF, 0x40, 1} &&
            got[i + 2] == PortAccess{true, 0x3CF, 0x28, 1})
            rewrites++;
    EXPECT_EQ(rewrites, 1);
    EXPECT_EQ(privateOf(*s).gr10Pending, 0);
    EXPECT_SCREEN_SAME(*s);
}

// ---- rectangles and points ----

TEST(DulmoRects, SolidRectanglesAndPointsEveryAlu) {
    for (const char *file : {kFlatFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(sized(file, kW, kH));
        s->fillRandom(9);
        for (int alu = 0; alu < 16; alu++) {
            int x = (alu % 8) * 11, y = (alu / 8) * 18;
            s->drawSolidRects({box(x, y, x + 9, y + 7), box(x + 2, y + 9, x + 3, y + 16)},
                              Pixel(0xA0 + alu), alu, alu & 1 ? 0xFFu : 0x3Cu);
            s->drawPoints({{int16_t(x), int16_t(y + 17)},
                           {int16_t(x + 5), int16_t(y + 8)},
                           {int16_t(kW - 1), int16_t(kH - 1)}},
                          Pixel(0x5A + alu), alu, alu & 2 ? 0xFFu : 0x0Fu);
        }
        EXPECT_SCREEN_SAME(*s);
    }
}

// ---- segments ----

// A segment from (x1, y1) to (x2, y2) as the layer hands it over.
ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    int adx = std::abs(x2 - x1), ady = std::abs(y2 - y1);
    ZeroSegRec r{};
    r.x = int16_t(x1);
    r.y = int16_t(y1);
    r.signdx = int16_t(x2 < x1 ? -1 : 1);
    r.signdy = int16_t(y2 < y1 ? -1 : 1);
    r.axis = int16_t(adx >= ady ? 0 : 1);
    int dmaj = std::max(adx, ady), dmin = std::min(adx, ady);
    r.e1 = 2 * dmin;
    r.e2 = 2 * dmin - 2 * dmaj;
    r.e = 2 * dmin - dmaj - (r.signdx < 0 ? 1 : 0);
    r.len = int16_t(dmaj + 1);
    return r;
}

TEST(DulmoSegments, EveryOctantLengthAndForm) {
    for (const char *file : {kFlatFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(sized(file, kW, kH));
        s->fillRandom(4);
        GCPtr gc = s->createGC({.alu = GXxor, .planemask = 0xF7, .fg = 0x6C});
        std::vector<ZeroSegRec> segs;
        const int cx = 48, cy = 20;
        // Eight octants, short (points path) and long (error-term form).
        for (auto [dx, dy] : {std::pair{17, 5},
                              {5, 17},
                              {-17, 5},
                              {-5, 17},
                              {17, -5},
                              {5, -17},
                              {-17, -5},
                              {-5, -17}})
            for (int len : {1, 2, 3, 4, 5, 19})
                segs.push_back(segment(cx, cy, cx + dx * len / 19, cy + dy * len / 19));
        // 45 degrees both ways: the end-point form.
        for (auto [dx, dy] : {std::pair{9, 9}, {-9, 9}, {9, -9}, {-9, -9}})
            segs.push_back(segment(20, 20, 20 + dx, 20 + dy));
        // Horizontal and vertical.
        segs.push_back(segment(2, 1, 90, 1));
        segs.push_back(segment(94, 38, 94, 2));
        s->zeroSegs(gc, segs);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_TRUE(server::genCallsOf("genSolidZeroSeg").empty());
    }
}

TEST(DulmoSegments, FormChosenByLengthAndTerms) {
    auto s = flatScreen();
    GCPtr gc = s->createGC({.fg = 0x21});
    struct Case {
        const char *name;
        ZeroSegRec seg;
        int lineControl; // last GR 0x60 value, -1 none (drawn as points)
    } cases[] = {
        {"FourPixels", segment(10, 10, 13, 11), -1},
        {"FivePixels", segment(10, 12, 14, 13), 0x5F},
        {"FortyFive", segment(10, 14, 19, 23), 0x18},
        {"E2OutOfRange", {10, 30, 1, 1, 0, 12, 1, 2, -4096}, -1},
        {"EOutOfRange", {10, 32, 1, 1, 0, 12, 2048, 2, -4}, -1},
        {"E1OutOfRange", {10, 34, 1, 1, 0, 12, 1, 2048, -4}, -1},
    };
    for (const Case &c : cases) {
        s->machine().clearTrace();
        s->zeroSegs(gc, {c.seg});
        std::vector<int> ctl = grWrites(s->machine(), 0x60);
        EXPECT_EQ(ctl.empty() ? -1 : ctl.back(), c.lineControl) << c.name;
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoSegments, ALengthBelowOneDrawsNothing) {
    auto s = flatScreen();
    GCPtr gc = s->createGC({.fg = 0x21});
    ZeroSegRec seg = segment(10, 10, 20, 10);
    seg.len = 0;
    s->machine().clearTrace();
    s->zeroSegs(gc, {seg});
    std::vector<PortAccess> got = portAccesses(s->machine());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].port, 0x83C4);
    EXPECT_SCREEN_SAME(*s);
}

// ---- spans ----

// The driver's span fill with the GC's first fill group, which is what the
// board is loaded from; the second group is set to other values.
void spansFirstGroup(harness::Screen &s, GCPtr gc, const std::vector<DDXPointRec> &starts,
                     const std::vector<int> &widths) {
    nfbGCPrivate *p = s.gcPriv(gc);
    ref::GCValues v = s.gcValues(gc);
    v.fg = p->fgPixel0;
    v.alu = p->alu0;
    v.planemask = p->planemask0;
    ref::fillSpans(s.mirror(), v, starts.data(), widths.data(), int(starts.size()));
    p->fgPixel = p->fgPixel0 ^ 0xFF;
    p->alu = uint8_t(p->alu0 ^ 5);
    p->planemask = ~p->planemask0;
    std::vector<DDXPointRec> st = starts;
    std::vector<int> w = widths;
    s.call("FS", [&] { p->ops->FS(gc, s.drawable(), st.data(), w.data(), int(st.size())); });
}

TEST(DulmoSpans, MasksOverEveryStartInAWordAndLengthsAcrossWords) {
    auto s = flatScreen(2);
    std::vector<DDXPointRec> starts;
    std::vector<int> widths;
    int y = 0;
    for (int b = 0; b < 32; b += 1) {
        for (int n : {1, 2, 31 - b, 32 - b, 33 - b, 40, 64}) {
            if (n < 1)
                continue;
            starts.push_back({int16_t(b + (y % 2) * 32), int16_t(y % kH)});
            widths.push_back(n);
            y++;
        }
    }
    for (int alu : {GXcopy, GXxor, GXandInverted}) {
        GCPtr gc = s->createGC(
            {.alu = alu, .planemask = alu == GXxor ? 0x0Fu : 0xFFu, .fg = Pixel(0x90 + alu)});
        SCOPED_TRACE(alu);
        spansFirstGroup(*s, gc, starts, widths);
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(DulmoSpans, ThirtyAtFortyWritesAStartMaskAWordAndAnEndMask) {
    auto s = flatScreen();
    GCPtr gc = s->createGC({.fg = 0x33});
    s->machine().clearTrace();
    spansFirstGroup(*s, gc, {{30, 3}}, {40});
    std::vector<uint32_t> words;
    for (const sim::Access &a : s->machine().trace())
        if (a.kind == sim::Access::MemWrite) {
            EXPECT_EQ(a.width, 4);
            words.push_back(a.value);
        }
    // Pixels 30 and 31 (bits 6 and 7 of the fourth byte, reversed), one
    // word of all 32, then pixels 64 to 69 (bits 0 to 5 of the first byte,
    // reversed).
    EXPECT_EQ(words, (std::vector<uint32_t>{0x03000000u, 0xFFFFFFFFu, 0x000000FCu}));
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoSpans, NoSpansTouchNothingButTheSelect) {
    auto s = flatScreen();
    GCPtr gc = s->createGC({.fg = 0x33});
    s->machine().clearTrace();
    spansFirstGroup(*s, gc, {}, {});
    EXPECT_EQ(portAccesses(s->machine()).size(), 1u);
}

TEST(DulmoSpans, TheBankedRecordLeavesSpansToTheServer) {
    auto s = bankScreen();
    GCPtr gc = s->createGC({.fg = 0x33});
    s->fillSpans(gc, {{30, 3}}, {40});
    EXPECT_EQ(server::genCallsOf("genSolidFS").size(), 1u);
    EXPECT_SCREEN_SAME(*s);
}

// ---- the engine's waits ----

TEST(DulmoEngineWaits, BackToBackOperationsWaitBeforeTheNext) {
    for (const char *file : {kFlatFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(sized(file, kW, kH));
        s->fillRandom(8);
        GCPtr gc = s->createGC({.fg = 0x44});
        std::vector<uint8_t> px(20 * 4, 0x77);
        // Each call straight after an engine operation; settle() keeps the
        // engine as busy as the next call finds it.
        s->copyRect(box(0, 0, 20, 4), {40, 20});
        s->settle();
        s->drawImage(box(5, 5, 25, 9), px, 20);
        s->drawSolidRects({box(30, 30, 50, 35)}, 9);
        s->settle();
        s->drawPoints({{1, 1}}, 3);
        s->zeroSegs(gc, {segment(0, 39, 60, 30)});
        s->settle();
        if (file == kFlatFile)
            spansFirstGroup(*s, gc, {{3, 38}}, {50});
        s->copyRect(box(60, 0, 90, 10), {0, 0});
        s->settle();
        (void)s->readImage(box(0, 0, 10, 10));
        EXPECT_SCREEN_SAME(*s);
    }
}

} // namespace
