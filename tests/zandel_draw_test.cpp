// zandel's drawing engine work: fills, spans, points, segments, copies,
// images and the clip, against the reference renderer on the zandel board's
// engine model; and the model's strictness and the driver's bounded waits.
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "hwio.h"
#include "zandel_fixture.h"

namespace {

using namespace zandeltest;

struct Size {
    const char *file;
    int pixelSize;
};
// The three example boards hold the three pixel sizes.
const Size kSizes[] = {{kRgb525File, 1}, {kVlbFile, 2}, {kRgb511File, 4}};

// The smallest screen the tests need: 64 x 16, a line the system
// configuration word holds at every pixel size.
graf::Config sizedConfig(const Size &size, int width = 64, int height = 16) {
    return zandelConfig(size.file, width, height);
}

ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = std::abs(dx), ady = std::abs(dy);
    const int major = std::max(adx, ady), minor = std::min(adx, ady);
    ZeroSegRec s{};
    s.x = static_cast<int16_t>(x1);
    s.y = static_cast<int16_t>(y1);
    s.signdx = static_cast<int16_t>(dx < 0 ? -1 : 1);
    s.signdy = static_cast<int16_t>(dy < 0 ? -1 : 1);
    s.axis = static_cast<int16_t>(adx >= ady ? 0 : 1);
    s.len = static_cast<int16_t>(major + 1);
    s.e = 2 * minor - major;
    s.e1 = 2 * minor;
    s.e2 = 2 * minor - 2 * major;
    return s;
}

// The register window as the driver maps it.
uint8_t *window(harness::Screen &s) {
    for (const graf::MemoryArea &a : s.graf().areas)
        if (a.name.empty() || a.name == "MEMORY")
            return static_cast<uint8_t *>(a.mapped);
    return nullptr;
}

// ---- pixels: every solid figure x alu x plane mask x pixel size ----

TEST(ZandelDraw, SolidFiguresMatchTheRendererForEveryAluMaskAndPixelSize) {
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", sizedConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(7u + static_cast<uint32_t>(size.pixelSize));
        server::clearGenCalls();
        const uint32_t all = s.allPlanes();
        const uint32_t masks[] = {all, 0x5A3CC3u & all, 0};
        for (int alu = 0; alu < 16; alu++) {
            for (uint32_t mask : masks) {
                SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", alu " +
                             std::to_string(alu) + ", plane mask " + std::to_string(mask));
                const Pixel fg = (0x9E3779B9u * static_cast<uint32_t>(alu + 1)) & all;
                GCPtr gc = s.createGC({.alu = alu, .planemask = mask, .fg = fg});
                s.fillRects(gc, {{1, 1, 9, 4}, {30, 2, 31, 3}, {62, 0, 64, 16}});
                s.drawSolidRects({{12, 1, 20, 5}}, fg ^ 0x0F, alu, mask);
                // An empty span draws nothing (a line from x to x - 1 would
                // draw both its ends).
                s.fillSpans(gc, {{2, 6}, {40, 7}, {63, 8}, {30, 12}}, {10, 1, 1, 0});
                s.drawPoints({{0, 0}, {63, 15}, {22, 9}}, fg, alu, mask);
                s.zeroSegs(
                    gc, {segment(3, 10, 40, 14), segment(50, 15, 45, 8), segment(33, 11, 33, 11)});
                s.polyZeroSeg(gc, {{4, 12, 41, 15}, {52, 15, 47, 6}, {60, 2, 60, 2}});
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
            }
        }
        for (const server::GenCall &c : server::genCalls())
            ADD_FAILURE() << c.routine;
    }
}

// The alu counts by its low byte; a low byte past the sixteen functions
// changes nothing.
TEST(ZandelDraw, AluByItsLowByte) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(2);
    s.drawSolidRects({{1, 1, 20, 8}}, 0x5A, GXxor | 0x300);
    s.copyRect({30, 2, 40, 9}, {0, 0}, GXclear | 0x100);
    s.drawImage({44, 1, 50, 4}, std::vector<uint8_t>(18, 0x42), 6, GXor | 0x7F00);
    s.drawSolidRects({{1, 10, 60, 15}}, 0x33, 0x20);
    s.copyRect({2, 9, 30, 16}, {30, 0}, 0x11);
    EXPECT_SCREEN_SAME(s);
}

TEST(ZandelDraw, ZeroSegmentOfLengthOneIsOnePoint) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    GCPtr gc = s.createGC({.fg = 0xC3});
    ZeroSegRec z = segment(20, 5, 30, 9);
    z.len = 1;
    s.zeroSegs(gc, {z});
    EXPECT_SCREEN_SAME(s);
}

TEST(ZandelDraw, NoSegmentsTouchNothing) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.fg = 0xC3});
    s.machine().clearTrace();
    s.polyZeroSeg(gc, {});
    EXPECT_EQ(s.machine().accessCount(), 0u);
}

// A GC validated solid keeps its ExtraGCOps when it turns tiled; the layer
// then draws its segments tiled, not through the solid routine.
TEST(ZandelDraw, SegmentsOfAGcTurnedTiledAreTiled) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    GCPtr gc = s.createGC({.fg = 0x11});
    PixmapPtr tile = s.tile(4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    s.changeGC(gc, {.fillStyle = FillTiled, .tile = tile}, GCFillStyle);
    ASSERT_NE(s.gcPriv(gc)->extraOps, nullptr);
    s.polyZeroSeg(gc, {{2, 3, 50, 9}, {10, 14, 12, 1}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_FALSE(server::genCallsOf("genTiledFS").empty());

    // An opaque stipple with equal colours draws solid, through the driver.
    server::clearGenCalls();
    PixmapPtr st = s.stipple({"X.X.", ".X.X"});
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 0x42, .bg = 0x42, .stipple = st});
    s.polyZeroSeg(gc, {{1, 1, 30, 12}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_TRUE(server::genCalls().empty());
}

// ---- copies ----

TEST(ZandelCopy, OverlappingCopiesInEveryDirection) {
    for (const Size &size : {kSizes[0], kSizes[1]}) {
        harness::Screen s("zandel", sizedConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(11);
        const int moves[][2] = {{3, 0}, {-3, 0},  {0, 2},  {0, -2},
                                {2, 2}, {-2, -2}, {3, -1}, {-1, 3}};
        for (const auto &m : moves) {
            SCOPED_TRACE("move " + std::to_string(m[0]) + ", " + std::to_string(m[1]));
            const BoxRec dst = {static_cast<int16_t>(20 + m[0]), static_cast<int16_t>(5 + m[1]),
                                static_cast<int16_t>(33 + m[0]), static_cast<int16_t>(12 + m[1])};
            s.copyRect(dst, {20, 5});
            const ref::Diff d = s.compareSettled();
            ASSERT_EQ(d.count, 0) << d.describe();
        }
        s.copyRect({40, 1, 50, 6}, {2, 9}, GXxor, 0x3C);
        s.copyRect({0, 0, 10, 16}, {54, 0}, GXandInverted);
        EXPECT_SCREEN_SAME(s);
    }
}

// GXclear and GXset copies are fills of the box: the source is not read.
TEST(ZandelCopy, ClearAndSetFillTheDestination) {
    harness::Screen s("zandel", sizedConfig(kSizes[1]), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(13);
    s.copyRect({4, 2, 14, 6}, {40, 3}, GXclear);
    s.copyRect({20, 2, 30, 6}, {40, 3}, GXset, 0xF0F0);
    EXPECT_SCREEN_SAME(s);
    for (const sim::WeitekEngine::Op &op : zandelOf(s).engine().log())
        EXPECT_NE(op.kind, sim::WeitekEngine::Op::Blit);
}

// ---- images ----

TEST(ZandelImage, RoundTripsOfOddWidthsUnpaddedAndPadded) {
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", sizedConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(17);
        const int b = size.pixelSize;
        uint32_t seed = 1;
        for (int width : {1, 3, 5, 7}) {
            for (int pad : {0, -1, 5}) { // -1: stride 0, rows one after another
                SCOPED_TRACE("pixel size " + std::to_string(b) + ", width " +
                             std::to_string(width) + ", pad " + std::to_string(pad));
                const int rows = 3;
                const int step = width * b + (pad < 0 ? 0 : pad);
                // Exactly the bytes the rows need: the last row ends the
                // buffer, so a read past it is seen by the sanitizer.
                std::vector<uint8_t> pixels(static_cast<size_t>(step * (rows - 1) + width * b));
                for (uint8_t &p : pixels)
                    p = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
                BoxRec box = {static_cast<int16_t>(9 + width), 2,
                              static_cast<int16_t>(9 + 2 * width), 2 + rows};
                const int alu = width == 5 ? GXxor : GXcopy;
                // Every plane, as most requests carry: at 4 bytes a pixel
                // the top byte is no part of the picture, and ReadImage
                // would show it if the driver wrote it.
                const uint32_t planes = ~0u;
                if (pad >= 0) {
                    s.drawImage(box, pixels, step, alu, planes);
                } else {
                    // The harness's stride 0 repeats the first row; the
                    // driver's steps by the row's length.
                    ref::drawImage(s.mirror(), box, pixels.data(), step, alu, planes);
                    s.call("DrawImage", [&] {
                        s.winOps()->DrawImage(&box, pixels.data(), 0, alu, planes, s.drawable());
                    });
                }
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
                const int readStride = pad < 0 ? 0 : step;
                EXPECT_EQ(s.readImage(box, readStride), s.expectedImage(box, readStride));
            }
        }
        s.drawImage({40, 8, 47, 12}, std::vector<uint8_t>(size_t(7 * 4 * b), 0x5A), 0, GXset,
                    0x0F0F0F);
        EXPECT_SCREEN_SAME(s);
    }
}

TEST(ZandelImage, RowOfThreeBytesSendsOneWord) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    const int mem = s.machine().regionIndex("MEMORY");
    s.machine().clearTrace();
    s.drawImage({5, 5, 8, 7}, {1, 2, 3, 4, 5, 6}, 3);
    int words = 0;
    for (const sim::Access &a : s.machine().trace())
        words += a.kind == sim::Access::MemWrite && a.region == mem && a.address == 0x6200C;
    EXPECT_EQ(words, 2);
    EXPECT_SCREEN_SAME(s);
}

// ---- clip ----

TEST(ZandelClip, FiguresAndCopiesStayInTheLoadedClip) {
    for (const Size &size : kSizes) {
        SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize));
        harness::Screen s("zandel", sizedConfig(size), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(19);
        const BoxRec clip = {10, 3, 30, 11};
        s.setClipRegions({clip, {40, 0, 64, 16}}); // only the first box counts
        ref::Canvas want = s.mirror();
        // A box half outside the clip, a copy reaching out of it (the byte
        // clip), an image over its right edge and a line across it.
        const BoxRec fill = {4, 6, 20, 14};
        const BoxRec copy = {22, 1, 36, 8};
        const BoxRec image = {25, 9, 33, 12};
        std::vector<uint8_t> pixels(size_t(8 * 3 * size.pixelSize), 0xA5);
        s.drawSolidRects({fill}, 0x77);
        s.copyRect(copy, {40, 0});
        s.drawImage(image, pixels, 0);
        GCPtr gc = s.createGC({.fg = 0x33});
        s.polyZeroSeg(gc, {{0, 4, 63, 10}});
        // What the mirror drew, inside the clip only.
        for (int y = clip.y1; y < clip.y2; y++)
            for (int x = clip.x1; x < clip.x2; x++)
                want.put(x, y, s.mirror().get(x, y));
        s.mirror() = want;
        EXPECT_SCREEN_SAME(s);

        // No boxes: the whole screen box again.
        s.setClipRegions({});
        s.drawSolidRects({{0, 0, 64, 16}}, 0x21);
        EXPECT_SCREEN_SAME(s);
    }
}

TEST(ZandelClip, NoBoxesClipToTheScreenBox) {
    graf::Config cfg = zandelConfig(kRgb525File, 1024, 768);
    cfg.ints["MEMSIZE"] = 0x100000;
    harness::Screen s("zandel", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.setClipRegions({{0, 0, 5, 5}});
    s.setClipRegions({});
    sim::ZandelAdapter &z = zandelOf(s);
    EXPECT_EQ(z.reg(0x2220), 0u);
    EXPECT_EQ(z.reg(0x2224), 1023u << 16 | 1023u);
    EXPECT_EQ(z.reg(0x22A0), 0u);
    EXPECT_EQ(z.reg(0x22A4), 1023u << 16 | 1023u);
}

// ---- the model's strictness and the driver's bounded waits ----

// Each case drives the register window as a faulty driver would and expects
// the model to say what went wrong.
struct Fault {
    const char *name;
    void (*act)(uint8_t *regs, uint8_t *frame);
    const char *failure; // part of the failure text
};

void startPoint(uint8_t *r) {
    mmWrite32(r + 0x2218, 0x20F0);
    mmWrite32(r + 0x3208, 3);
    mmWrite32(r + 0x3210, 3);
    (void)mmRead32(r + 0x2008);
}

const Fault kFaults[] = {
    {"ParameterWhileBusy",
     [](uint8_t *r, uint8_t *) {
         startPoint(r);
         mmWrite32(r + 0x62200, 0x12); // no idle wait before the colour
     },
     "colour 0 while the engine is busy"},
    {"QuadWhileBit31",
     [](uint8_t *r, uint8_t *) {
         startPoint(r);
         mmWrite32(r + 0x3208, 4);
         mmWrite32(r + 0x3210, 4);
         (void)mmRead32(r + 0x2008); // no wait for bit 31
     },
     "quad command read while status bit 31 is set"},
    {"MissingImageWord",
     [](uint8_t *r, uint8_t *) {
         mmWrite32(r + 0x2218, 0xCC);
         mmWrite32(r + 0x3008, 4);
         mmWrite32(r + 0x3058, 4u << 16 | 2);
         mmWrite32(r + 0x3088, 9); // 5 bytes: two words a row
         mmWrite32(r + 0x30D0, 1);
         mmWrite32(r + 0x6200C, 0x01020304);
         mmWrite32(r + 0x2218, 0xCC);
     },
     "1 words into a row of 2"},
    {"ProcessorWhileBusy",
     [](uint8_t *r, uint8_t *frame) {
         startPoint(r);
         frame[0] = 1;
     },
     ""},
};

void PrintTo(const Fault &c, std::ostream *os) {
    *os << c.name;
}

class ZandelModelStrict : public ::testing::TestWithParam<Fault> {};

TEST_P(ZandelModelStrict, FaultIsReported) {
    harness::Screen s("zandel", smallConfig(), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    ASSERT_TRUE(s.failures().empty()) << s.failureText();
    uint8_t *regs = window(s);
    ASSERT_NE(regs, nullptr);
    s.call("faulty driver", [&] { GetParam().act(regs, regs + 0x800000); });
    s.drain();
    ASSERT_FALSE(s.failures().empty());
    EXPECT_NE(s.failureText().find(GetParam().failure), std::string::npos) << s.failureText();
}

INSTANTIATE_TEST_SUITE_P(Faults, ZandelModelStrict, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

// An engine that never finishes: each wait gives up below the watchdog,
// says so once, and the operation goes no further.
TEST(ZandelWait, StuckEngineIsAbandonedWithOneMessage) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    zandelOf(s).engine().setStuck(true);
    const size_t before = zandelOf(s).engine().log().size();
    s.call("DrawSolidRects", [&] {
        BoxRec box = {1, 1, 5, 5};
        s.winOps()->DrawSolidRects(&box, 1, 3, GXcopy, ~0u, s.drawable());
    });
    EXPECT_EQ(zandelOf(s).engine().log().size(), before);
    ASSERT_EQ(server::errorMessages().size(), 1u);
    EXPECT_EQ(server::errorMessages()[0],
              "zandel: drawing engine timed out, operation abandoned\n");
    s.drain();
    s.drawSolidRects({{1, 1, 5, 5}}, 3);
    EXPECT_SCREEN_SAME(s);
}

} // namespace
