// neo drawing on the 209X and 2200 engines: both builds on both engines
// against the reference renderer (fills, spans, rectangles, points, copies
// in every direction, transparent and opaque monochrome images of widths 1
// to 33, empty boxes) over alus and plane masks; the register groups of
// the edge cases and the fallbacks with their arguments; the engine
// model's protocol; the 2070 routines' register traces.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hwio.h"
#include "neo_fixture.h"

namespace {

using namespace neotest;
using RW = NeoAdapter::RegWrite;

std::vector<uint32_t> masksOf(int depth) {
    // Only the depth's bits decide: 0x1FF is full at depth 8.
    return depth == 8 ? std::vector<uint32_t>{~0u, 0x3C, 0x1FF}
                      : std::vector<uint32_t>{~0u, 0x0FF0, 0xFFFF};
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 8 ? (c & 0xFF) : (c & 0xFFFF);
}

bool full(int depth, uint32_t mask) {
    const uint32_t m = depth == 8 ? 0xFF : 0xFFFF;
    return (mask & m) == m;
}

class NeoDraw : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s_ = startScreen(GetParam());
        s_->fillRandom(5);
        server::clearGenCalls();
    }
    void TearDown() override {
        // The accelerated paths ran on the engine.
        if (s_) {
            EXPECT_GT(board(*s_).stats().starts, 0u);
        }
    }
    harness::Screen &s() { return *s_; }
    int depth() const { return GetParam().depth; }
    std::unique_ptr<harness::Screen> s_;
};

TEST_P(NeoDraw, SpansRectanglesAndPointsOverAlusAndMasks) {
    const std::vector<uint32_t> masks = masksOf(depth());
    for (int alu = 0; alu < 16; alu++) {
        const uint32_t mask = masks[size_t(alu) % masks.size()];
        SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
        GCPtr gc = s().createGC({.alu = alu, .planemask = mask, .fg = colourOf(depth(), alu)});
        // Empty boxes and spans among the others draw nothing.
        s().fillRects(gc, {{0, 0, 7, 3}, {5, 5, 5, 9}, {10, 5, 640, 6}, {3, 20, 4, 24}});
        s().fillSpans(gc, {{1, 10}, {20, 11}, {639, 12}, {8, 13}}, {30, 0, 1, 600});
        s().drawSolidRects({{40, 1, 50, 2}, {9, 9, 9, 12}, {2, 14, 631, 19}, {7, 7, 8, 3}},
                           colourOf(depth(), alu + 1), alu, mask);
        s().drawPoints({{0, 0}, {639, 23}, {1, 0}, {40, 11}, {40, 11}}, colourOf(depth(), alu + 2),
                       alu, mask);
        EXPECT_SCREEN_SAME(s());
    }
    // A full mask never reaches the generic rectangles or points.
    for (const auto &g : server::genCalls())
        if (g.routine == "genDrawSolidRects" || g.routine == "genDrawPoints") {
            EXPECT_FALSE(full(depth(), uint32_t(g.args[4]))) << g.routine;
        }
}

// Every direction of a copy, overlapping and apart, level rows both ways.
TEST_P(NeoDraw, CopiesInEveryDirection) {
    const std::vector<uint32_t> masks = masksOf(depth());
    const std::vector<std::pair<int, int>> shifts = {{1, 0},  {-1, 0}, {0, 1},   {0, -1}, {5, 3},
                                                     {-5, 3}, {5, -3}, {-5, -3}, {0, 0},  {300, 2}};
    int k = 0;
    for (auto [dx, dy] : shifts)
        for (int alu : {GXcopy, GXxor, GXandInverted, GXset}) {
            const BoxRec dst = {320, 8, 347, 17};
            const DDXPointRec src = {int16_t(dst.x1 - dx), int16_t(dst.y1 - dy)};
            SCOPED_TRACE("shift " + std::to_string(dx) + ", " + std::to_string(dy) + " alu " +
                         std::to_string(alu));
            s().copyRect(dst, src, alu, masks[size_t(k++) % masks.size()]);
            EXPECT_SCREEN_SAME(s());
        }
    s().copyRect({10, 10, 10, 20}, {0, 0});
    s().copyRect({10, 10, 20, 10}, {0, 0});
    s().copyRect({0, 0, 640, 24}, {0, 0}, GXinvert);
    EXPECT_SCREEN_SAME(s());
}

TEST_P(NeoDraw, MonoImagesOfEveryWidthTransparentAndOpaque) {
    const std::vector<uint32_t> masks = masksOf(depth());
    for (int w = 1; w <= 33; w++) {
        // Room for the generic routine's start bit in every row.
        const int h = 1 + w % 4, stride = (w + 10) / 8 + (w % 3) * 2;
        std::vector<uint8_t> bits(size_t(stride * h));
        for (size_t i = 0; i < bits.size(); i++)
            bits[i] = uint8_t(i * 37 + size_t(w) * 11 + 5);
        const BoxRec box = {int16_t(3 + 17 * w), int16_t(w % 19), int16_t(3 + 17 * w + w),
                            int16_t(w % 19 + h)};
        const int alu = (w * 7) % 16;
        // Start bits other than 0 and partial masks go to the generic routines.
        const int startBit = w % 5 == 0 ? 3 : 0;
        const uint32_t mask = masks[size_t(w) % masks.size()];
        SCOPED_TRACE("w " + std::to_string(w));
        s().drawMonoImage(box, bits, startBit, stride, colourOf(depth(), w), alu, mask);
        s().drawOpaqueMonoImage({box.x1, int16_t(box.y1 + 1), box.x2, int16_t(box.y2 + 1)}, bits,
                                startBit, stride, colourOf(depth(), w + 1),
                                colourOf(depth(), w + 2), alu, mask);
        EXPECT_SCREEN_SAME(s());
    }
    s().drawMonoImage({5, 5, 5, 9}, {}, 0, 4, 1, GXxor);
    s().drawOpaqueMonoImage({5, 5, 9, 5}, {}, 0, 4, 1, 2, GXcopy);
    EXPECT_SCREEN_SAME(s());
    for (const auto &g : server::genCalls())
        if (g.routine == "genDrawMonoImage" || g.routine == "genDrawOpaqueMonoImage") {
            const size_t maskArg = g.routine == "genDrawMonoImage" ? 6 : 7;
            EXPECT_TRUE(g.args[2] != 0 || !full(depth(), uint32_t(g.args[maskArg]))) << g.routine;
        }
}

// The server's drawing after the engine's: the processor may touch the
// frame buffer between calls, which the engine's busy time would catch.
TEST_P(NeoDraw, ProcessorImagesBetweenEngineCalls) {
    const int bpp = depth() == 8 ? 1 : 2;
    std::vector<uint8_t> pixels(size_t(8 * 4 * bpp));
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint8_t(i * 13 + 1);
    for (int i = 0; i < 3; i++) {
        s().drawSolidRects({{int16_t(i), 0, 20, 5}}, colourOf(depth(), i), GXxor);
        s().settle();
        s().drawImage({int16_t(2 + i), 1, int16_t(10 + i), 5}, pixels, 8 * bpp);
        s().copyRect({30, 2, 40, 8}, {int16_t(i), 0});
        s().settle();
        EXPECT_EQ(s().readImage({30, 2, 40, 8}), s().expectedImage({30, 2, 40, 8}));
    }
    EXPECT_SCREEN_SAME(s());
}

INSTANTIATE_TEST_SUITE_P(Builds, NeoDraw, ::testing::ValuesIn(kBuilds), buildName);

// The unaccelerated records draw the same pictures with the server's routines.
TEST(NeoDrawNoAccel, GenericRoutinesThroughout) {
    graf::Config cfg = config(Engine::E2200, 16, 640, 16);
    cfg.ints["NOACCEL"] = 1;
    harness::Screen s("yssen16", cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    board(s).clearLog();
    s.drawSolidRects({{1, 1, 30, 9}}, 0x1234, GXxor);
    s.copyRect({40, 2, 60, 9}, {35, 1});
    s.drawMonoImage({3, 10, 12, 12}, {0xA5, 0x0F, 0x3C, 0xF0}, 0, 2, 0xF800, GXcopy);
    EXPECT_SCREEN_SAME(s);
    EXPECT_TRUE(board(s).log().empty());
    EXPECT_EQ(server::genCallsOf("genCopyRect").size(), 1u);
}

// ---- register groups ----

struct Started {
    std::unique_ptr<harness::Screen> s;
    Private *p;
};

Started started(int depth, Engine e, int width) {
    auto s = std::make_unique<harness::Screen>(driverFor(depth), config(e, depth, width, 16),
                                               gtestOptions());
    EXPECT_TRUE(s->start()) << s->failureText();
    Private *p = &privateOf(*s);
    board(*s).clearLog();
    server::clearGenCalls();
    return {std::move(s), p};
}

TEST(NeoRegisters, EdgeCasesAsTheEngineSeesThem) {
    struct Case {
        const char *what;
        int depth;
        Engine engine;
        int width;
        std::function<void(harness::Screen &)> draw;
        std::function<std::vector<RW>(const Private &)> want;
    };
    const Case cases[] = {
        {"209X copy to the right runs from the bottom-right", 8, Engine::E209X, 640,
         [](harness::Screen &s) {
             s.copyRect({12, 10, 16, 13}, {10, 10});
         },
         [](const Private &p) {
             return std::vector<RW>{{4, 4, p.bltFlags | 0x1000000 | 0xC0000 | 0x13},
                                    {36, 4, 12 << 16 | 13},
                                    {44, 4, 12 << 16 | 15},
                                    {48, 4, 0x30004}};
         }},
        {"2200 copy upwards runs from the top-left with byte offsets", 8, Engine::E2200, 1024,
         [](harness::Screen &s) {
             s.copyRect({0, 0, 8, 1}, {0, 1});
         },
         [](const Private &p) {
             return std::vector<RW>{{2, 4, p.blitMode},
                                    {4, 4, 0x80000000 | 0xC0000},
                                    {20, 4, 1024 << 16 | 1024},
                                    {36, 4, 1024},
                                    {44, 4, 0},
                                    {48, 4, 0x10008}};
         }},
        {"16-bit 2200 copy left runs from the top-left", 16, Engine::E2200, 640,
         [](harness::Screen &s) {
             s.copyRect({2, 3, 4, 4}, {5, 3});
         },
         [](const Private &p) {
             return std::vector<RW>{
                 {2, 4, 0x0A00},         {4, 4, 0x80000000 | 0xC0000}, {20, 4, 1280 << 16 | 1280},
                 {36, 4, 3 * 1280 + 10}, {44, 4, 3 * 1280 + 4},        {48, 4, 0x10002}};
             (void)p;
         }},
        {"209X GXxor fill: rop 6, the byte twice", 8, Engine::E209X, 640,
         [](harness::Screen &s) {
             s.drawSolidRects({{1, 1, 3, 3}}, 5, GXxor);
         },
         [](const Private &p) {
             return std::vector<RW>{{4, 4, p.bltFlags | 0x1060008},
                                    {12, 4, 0x505},
                                    {44, 4, 1 << 16 | 1},
                                    {48, 4, 0x20002}};
         }},
        {"2200 spans: one row each", 16, Engine::E2200, 800,
         [](harness::Screen &s) {
             GCPtr gc = s.createGC({.fg = 0x07E0});
             board(s).clearLog();
             s.fillSpans(gc, {{3, 4}}, {9});
         },
         [](const Private &p) {
             return std::vector<RW>{{2, 4, p.blitMode},
                                    {4, 4, 0x83000008 | 0xC0000},
                                    {12, 4, 0x07E0},
                                    {44, 4, 4 << 16 | 3},
                                    {48, 4, 0x10000 | 9}};
         }},
        {"20 x 3 image: 9 bytes in two full words and one", 8, Engine::E209X, 640,
         [](harness::Screen &s) {
             const std::vector<uint8_t> bits = {0x01, 0x02, 0x04, 0xFF, 0x10, 0x20,
                                                0x40, 0xFF, 0x80, 0x03, 0x0C, 0xFF};
             s.drawMonoImage({4, 5, 24, 8}, bits, 0, 4, 0x7A, GXcopy);
         },
         [](const Private &p) {
             // Bit-reversed bytes, row after row: 80 40 20 | 08 04 02 | 01 C0 30.
             return std::vector<RW>{{4, 4, p.bltFlags | 0xC4 | 0xC0000},
                                    {12, 4, 0x7A7A},
                                    {32, 4, 0},
                                    {36, 4, 0},
                                    {44, 4, 5 << 16 | 4},
                                    {48, 4, 0x30014},
                                    {0x100000, 4, 0x08204080},
                                    {0x100004, 4, 0xC0010204},
                                    {0x100008, 4, 0x30}};
         }},
        {"opaque image on the 2200 with both colours", 8, Engine::E2200, 640,
         [](harness::Screen &s) {
             s.drawOpaqueMonoImage({0, 0, 8, 1}, {0x81}, 0, 1, 3, 4);
         },
         [](const Private &p) {
             return std::vector<RW>{{2, 4, p.blitMode}, {4, 4, 0x820000C0 | 0xC0000},
                                    {12, 4, 0x303},     {16, 4, 0x404},
                                    {36, 4, 0},         {44, 4, 0},
                                    {48, 4, 0x10008},   {0x100000, 4, 0x81}};
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        Started st = started(c.depth, c.engine, c.width);
        c.draw(*st.s);
        EXPECT_EQ(board(*st.s).log(), c.want(*st.p));
        EXPECT_SCREEN_SAME(*st.s);
    }
}

// Partial masks and start bits other than 0 reach the generic routine with
// the caller's arguments, the alu as its low 8 bits.
TEST(NeoRegisters, FallbacksWithTheSameArguments) {
    for (Engine e : {Engine::E209X, Engine::E2200}) {
        harness::beginCase();
        Started st = started(8, e, 640);
        harness::Screen &s = *st.s;
        WinOps *ops = s.winOps();
        BoxRec box = {2, 2, 9, 5};
        uint8_t bits[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        DDXPointRec src = {0, 0};
        ASSERT_TRUE(s.call("fallbacks", [&] {
            ops->DrawOpaqueMonoImage(&box, bits, 3, 2, 1, 2, GXcopy, ~0u, s.drawable());
            ops->DrawMonoImage(&box, bits, 0, 2, 1, GXcopy, 0xFE, s.drawable());
            ops->DrawSolidRects(&box, 1, 7, 0x106, 0x7F, s.drawable());
            ops->CopyRect(&box, &src, 0x103, 0x80, s.drawable());
            ops->DrawPoints(&src, 1, 7, GXcopy, 0x7FFFFFFF & ~1u, s.drawable());
        }));
        using server::arg;
        const uint64_t d = arg(static_cast<const void *>(s.drawable()));
        const std::vector<server::GenCall> want = {
            {"genDrawOpaqueMonoImage",
             {arg(&box), arg(bits), arg(3), arg(2), arg(1u), arg(2u), arg(GXcopy), arg(~0u), d}},
            {"genDrawMonoImage",
             {arg(&box), arg(bits), arg(0), arg(2), arg(1u), arg(GXcopy), arg(0xFEu), d}},
            {"genDrawSolidRects", {arg(&box), arg(1), arg(7u), arg(6), arg(0x7Fu), d}},
            {"genCopyRect", {arg(&box), arg(&src), arg(3), arg(0x80u), d}},
            {"genDrawPoints", {arg(&src), arg(1), arg(7u), arg(GXcopy), arg(0x7FFFFFFEu), d}},
        };
        ASSERT_GE(server::genCalls().size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(server::genCalls()[i].routine, want[i].routine);
            EXPECT_EQ(server::genCalls()[i].args, want[i].args) << want[i].routine;
        }
        EXPECT_TRUE(board(s).log().empty());
    }
}

// ---- the engine model's protocol, driven as a driver would ----

class NeoModel : public ::testing::Test {
  protected:
    void SetUp() override { start(Engine::E209X); }
    void start(Engine e) {
        if (s) {
            s.reset();
            harness::beginCase();
        }
        harness::Options o;
        o.reporter = [this](const std::string &m) { failures.push_back(m); };
        s = std::make_unique<harness::Screen>("yssen8", config(e, 8, 640, 16), o);
        ASSERT_TRUE(s->start()) << s->failureText();
        regs = privateOf(*s).regBase;
        fb = privateOf(*s).fbBase;
        failures.clear();
    }
    void poke(const std::function<void()> &f) { s->call("poke", f); }
    void w(uint32_t off, uint32_t v) { mmWrite32(regs + off, v); }
    void waitIdle() {
        for (int i = 0; i < 100 && (mmRead32(regs) & 1); i++) {
        }
    }
    // A 209X GXcopy fill of w x h at (x, y) in colour c.
    void fill(int x, int y, int width, int height, uint32_t c) {
        w(4, privateOf(*s).bltFlags | 0x10C0008);
        w(12, c);
        w(44, uint32_t(y) << 16 | uint32_t(x));
        w(48, uint32_t(height) << 16 | uint32_t(width));
    }
    bool failed(const std::string &part) const {
        for (const std::string &f : failures)
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::unique_ptr<harness::Screen> s;
    uint8_t *regs = nullptr, *fb = nullptr;
    std::vector<std::string> failures;
};

TEST_F(NeoModel, ARegisterWriteWithoutTheIdleWaitFails) {
    poke([&] {
        fill(0, 0, 4, 1, 0x33);
        w(4, 0);
    });
    EXPECT_TRUE(failed("while the engine is busy")) << testing::PrintToString(failures);
    failures.clear();
    poke([&] {
        waitIdle();
        fill(0, 1, 4, 1, 0x44);
        waitIdle();
        w(4, 0);
    });
    EXPECT_TRUE(failures.empty()) << testing::PrintToString(failures);
    EXPECT_EQ(fb[0], 0x33);
    EXPECT_EQ(fb[640 + 3], 0x44);
}

TEST_F(NeoModel, TheProcessorMustNotTouchTheFrameBufferWhileBusy) {
    poke([&] {
        fill(0, 0, 4, 1, 0x33);
        fb[100] = 1;
    });
    EXPECT_FALSE(failures.empty());
}

TEST_F(NeoModel, StreamWordsExactlyAsManyAsTheImageNeeds) {
    // 9 x 2: two bytes a row, four in all: one word.
    auto expansion = [&] {
        w(4, privateOf(*s).bltFlags | 0xC0000 | 0xC4);
        w(12, 0x55);
        w(32, 0);
        w(36, 0);
        w(44, 2 << 16 | 8);
        w(48, 2 << 16 | 9);
    };
    poke([&] {
        expansion();
        w(12, 0x66); // the word is still missing
    });
    EXPECT_TRUE(failed("host-data words are missing")) << testing::PrintToString(failures);
    start(Engine::E209X);
    poke([&] {
        expansion();
        // Any address of the window takes the next word.
        w(0x1FFFFC, 0x0180FF80);
        w(0x100000, 0xFFFFFFFF);
    });
    EXPECT_TRUE(failed("with no expansion waiting")) << testing::PrintToString(failures);
    // Row 0: 0x80 then 0xFF: the first pixel and pixel 8; row 1: 0x80, 0x01.
    const uint8_t *row0 = fb + 2 * 640 + 8, *row1 = row0 + 640;
    EXPECT_EQ(row0[0], 0x55);
    EXPECT_EQ(row0[1], 0x00);
    EXPECT_EQ(row0[8], 0x55);
    EXPECT_EQ(row1[0], 0x55);
    EXPECT_EQ(row1[7], 0x00);
    EXPECT_EQ(row1[8], 0x00);
}

TEST_F(NeoModel, ASizeOfZeroDrawsNothing) {
    poke([&] {
        fill(0, 0, 0, 5, 0x33);
        waitIdle();
        fill(0, 0, 5, 0, 0x33);
        waitIdle();
    });
    EXPECT_TRUE(failures.empty()) << testing::PrintToString(failures);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(fb[i], 0) << i;
}

// The 2200's mode word at offset 2 is one 4-byte store: its low half is the
// mode, its upper half the command word's lower half.
TEST_F(NeoModel, TheModeStoreReachesTheCommandsLowerHalf) {
    start(Engine::E2200);
    board(*s).clearLog();
    poke([&] {
        w(4, 0x83060000);            // GXxor fill, the low half still to come
        w(2, 0x0008 << 16 | 0x1100); // one byte a pixel, 1024... and the fill bit
        w(12, 0x0F);
        w(44, 0);
        w(48, 0x10002);
        waitIdle();
    });
    EXPECT_EQ(board(*s).log()[1], (RW{2, 4, 0x00081100}));
    EXPECT_TRUE(failures.empty()) << testing::PrintToString(failures);
    // The line length came from the mode: 1024, though the screen is 640.
    EXPECT_EQ(fb[0], 0x0F);
    EXPECT_EQ(fb[1], 0x0F);
    EXPECT_EQ(fb[2], 0x00);
}

TEST_F(NeoModel, RegistersTheEngineDoesNotHaveAndItsStatusWord) {
    poke([&] {
        w(24, 1); // a 2070 register
        w(0, 1);  // the status word
        mmWrite32(regs + 2, 0x1100);
    });
    EXPECT_EQ(failures.size(), 3u) << testing::PrintToString(failures);
}

// ---- the 2070 routines: nothing selects them, so their register traces ----

std::vector<RW> blockWrites(harness::Screen &s) {
    const int region = s.machine().regionIndex("MEM_BASE2");
    std::vector<RW> out;
    for (const sim::Access &a : s.machine().trace().runs())
        if (a.kind == sim::Access::MemWrite && a.region == region)
            out.push_back({a.address, a.width, a.value});
    return out;
}

TEST(NeoEngine2070, CopyFillAndSpanTraces) {
    struct Case {
        const char *what;
        int depth;
        std::function<void(harness::Screen &, WinOps *, PrivOps *)> draw;
        std::vector<RW> want;
    };
    const std::vector<RW> pitches8 = {{28, 4, 640}, {40, 4, 640}, {32, 4, 0}, {44, 4, 0}};
    auto with = [](std::vector<RW> a, const std::vector<RW> &b, std::vector<RW> c) {
        std::vector<RW> out = std::move(a);
        out.insert(out.end(), b.begin(), b.end());
        out.insert(out.end(), c.begin(), c.end());
        return out;
    };
    const Case cases[] = {
        {"copy to the right, sizes less one", 8,
         [](harness::Screen &s, WinOps *w, PrivOps *) {
             BoxRec box = {12, 10, 16, 13};
             DDXPointRec src = {10, 10};
             w->CopyRect(&box, &src, GXcopy, 0xFF, s.drawable());
         },
         with(
             {{20, 4, 0xFF}}, pitches8,
             {{4, 4, 0x13}, {24, 4, 2 << 16 | 3}, {36, 4, 12 * 640 + 13}, {48, 4, 12 * 640 + 15}})},
        {"16-bit copy: the mask twice", 16,
         [](harness::Screen &s, WinOps *w, PrivOps *) {
             BoxRec box = {0, 0, 2, 1};
             DDXPointRec src = {0, 1};
             w->CopyRect(&box, &src, GXcopy, 0x00FF, s.drawable());
         },
         with({{20, 4, 0xFFFF}}, {{28, 4, 1280}, {40, 4, 1280}, {32, 4, 0}, {44, 4, 0}},
              {{4, 4, 0}, {24, 4, 1}, {36, 4, 1280}, {48, 4, 0}})},
        {"rectangles: whole sizes, all planes", 8,
         [](harness::Screen &s, WinOps *w, PrivOps *) {
             BoxRec box = {1, 2, 5, 4};
             w->DrawSolidRects(&box, 1, 7, GXcopy, 0x0F, s.drawable());
         },
         with({{4, 4, 8}, {20, 4, 0xFFFFFFFF}, {12, 4, 0x707}}, pitches8,
              {{24, 4, 2 << 16 | 4}, {48, 4, 2 * 640 + 1}})},
        {"16-bit points: the pixel's bytes swapped",
         16,
         [](harness::Screen &s, WinOps *w, PrivOps *) {
             DDXPointRec pt = {3, 1};
             w->DrawPoints(&pt, 1, 0x1234, GXcopy, ~0u, s.drawable());
         },
         {{4, 4, 8}, {20, 4, 0xFFFFFFFF}, {12, 4, 0x123412}, {24, 4, 0x10001}, {48, 4, 1286}}},
        {"spans: the alu is not asked", 8,
         [](harness::Screen &s, WinOps *, PrivOps *ops) {
             GCPtr gc = s.createGC({.alu = GXxor, .fg = 9});
             s.machine().clearTrace();
             DDXPointRec start = {3, 4};
             int width = 5;
             ops->FS(gc, s.drawable(), &start, &width, 1);
         },
         with({{4, 4, 0}, {20, 4, 0xFFFFFFFF}, {12, 4, 0x909}}, pitches8,
              {{24, 4, 0x10005}, {48, 4, 4 * 640 + 3}})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        // A chip without an engine of the later kinds: the block takes any word.
        graf::Config cfg = config(Engine::E209X, c.depth, 640, 16);
        cfg.ints["CHIPCODE"] = 7;
        harness::Screen s(driverFor(c.depth), cfg, gtestOptions());
        ASSERT_TRUE(s.start()) << s.failureText();
        auto *w = record<WinOps>(s, c.depth, "WinOps2070");
        auto *ops = record<PrivOps>(s, c.depth, "SolidPrivOps2070");
        ASSERT_TRUE(w && ops);
        s.machine().clearTrace();
        server::clearGenCalls();
        ASSERT_TRUE(s.call("2070", [&] { c.draw(s, w, ops); }));
        EXPECT_EQ(blockWrites(s), c.want);
        EXPECT_TRUE(server::genCalls().empty());
    }
}

TEST(NeoEngine2070, OtherAlusGoToTheGenericRoutines) {
    graf::Config cfg = config(Engine::E209X, 8, 640, 16);
    cfg.ints["CHIPCODE"] = 7;
    harness::Screen s("yssen8", cfg, gtestOptions());
    ASSERT_TRUE(s.start());
    auto *w = record<WinOps>(s, 8, "WinOps2070");
    BoxRec box = {1, 1, 4, 4};
    DDXPointRec pt = {2, 2};
    server::clearGenCalls();
    s.machine().clearTrace();
    ASSERT_TRUE(s.call("2070", [&] {
        w->CopyRect(&box, &pt, GXxor, ~0u, s.drawable());
        w->DrawSolidRects(&box, 1, 3, GXor, ~0u, s.drawable());
        w->DrawPoints(&pt, 1, 3, GXand, ~0u, s.drawable());
    }));
    EXPECT_EQ(server::genCallsOf("genCopyRect").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawSolidRects").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genDrawPoints").size(), 1u);
    EXPECT_TRUE(blockWrites(s).empty());
}

} // namespace
