// wexla's engine fills, spans and copies and its processor points,
// segments and images against the reference renderer on the wexla board's
// first-generation engine model; the minterm tables, the clip, the model's
// strictness and the bounded wait.
#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "hwio.h"
#include "wexla_fixture.h"

namespace {

using namespace wexlatest;

constexpr uint32_t kRaster = 0x180218;
constexpr uint32_t kClipMin = 0x180220, kClipMax = 0x180224;

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

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    return v;
}

// A gen* call whose arguments from the second on are `tail`.
bool hasCall(const std::string &routine, const std::vector<uint64_t> &tail) {
    for (const server::GenCall &c : server::genCallsOf(routine))
        if (c.args.size() >= tail.size() + 1 &&
            std::equal(tail.begin(), tail.end(), c.args.begin() + 1))
            return true;
    return false;
}

// ---- pixels: every figure x alu x plane mask ----

// Rectangles, spans and copies in the engine (GXinvert generic), points
// and segments by the processor (generic unless GXcopy with every plane),
// images by the processor under every alu and mask.
TEST(WexlaDraw, FiguresMatchTheRendererForEveryAluAndMask) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(7);
    const std::vector<uint8_t> image = randomBytes(9 * 5, 3);
    struct Copy {
        BoxRec dst;
        DDXPointRec src;
    };
    // Overlapping copies in each direction, and one apart.
    const Copy copies[] = {{{10, 2, 22, 8}, {12, 3}},
                           {{12, 3, 24, 9}, {10, 2}},
                           {{40, 5, 52, 12}, {38, 7}},
                           {{38, 7, 50, 14}, {40, 5}},
                           {{26, 10, 34, 15}, {0, 0}}};
    for (int alu = 0; alu < 16; alu++) {
        for (uint32_t mask : {0xFFu, 0x0Fu, 0u}) {
            SCOPED_TRACE("alu " + std::to_string(alu) + ", plane mask " + std::to_string(mask));
            server::clearGenCalls();
            const Pixel fg = (0x9E3779B9u * static_cast<uint32_t>(alu + 1)) & 0xFF;
            GCPtr gc = s.createGC({.alu = alu, .planemask = mask, .fg = fg});
            s.fillRects(gc, {{1, 1, 9, 4}, {62, 0, 64, 16}});
            s.drawSolidRects({{12, 1, 20, 5}}, fg ^ 0x0F, alu, mask);
            s.fillSpans(gc, {{2, 6}, {40, 7}, {63, 8}}, {10, 1, 1});
            for (const Copy &c : copies)
                s.copyRect(c.dst, c.src, alu, mask);
            s.drawPoints({{0, 0}, {63, 15}, {22, 9}}, fg, alu, mask);
            s.zeroSegs(gc,
                       {segment(3, 10, 40, 14), segment(50, 15, 45, 8), segment(33, 11, 33, 11)});
            s.drawImage({53, 2, 60, 7}, image, 9, alu, mask);
            s.drawImage({1, 12, 6, 15}, image, 5, alu, mask);
            const ref::Diff d = s.compareSettled();
            ASSERT_EQ(d.count, 0) << d.describe();

            // The generic routes, with the caller's arguments.
            const bool invert = alu == GXinvert;
            EXPECT_EQ(hasCall("genDrawSolidRects", {1, fg ^ 0x0F, uint64_t(alu), mask}), invert);
            EXPECT_EQ(server::genCallsOf("genCopyRect").size(), invert ? 5u : 0u);
            for (const server::GenCall &c : server::genCallsOf("genCopyRect"))
                EXPECT_EQ(std::vector<uint64_t>(c.args.begin() + 2, c.args.begin() + 4),
                          std::vector<uint64_t>({uint64_t(alu), mask}));
            EXPECT_EQ(server::genCallsOf("genSolidFS").empty(), !invert);
            const bool plain = alu == GXcopy && mask == 0xFF;
            EXPECT_EQ(hasCall("genDrawPoints", {3, fg, uint64_t(alu), mask}), !plain);
            EXPECT_EQ(server::genCallsOf("genSolidZeroSeg").size(), plain ? 0u : 3u);
        }
    }
}

// The minterms the engine gets, from the X definitions over the fill's
// foreground F = 0xFF00 or the copy's source S = 0xCCCC and the
// destination D = 0xAAAA; the upper halves as the driver has always
// written them. GXinvert's entry never reaches the engine.
TEST(WexlaDraw, MintermsFollowTheAluDefinitions) {
    // X's codes: bit 0 for source and destination set, bit 1 for the source
    // alone, bit 2 for the destination alone, bit 3 for neither.
    auto x = [](int alu, uint32_t src, uint32_t dst) -> uint32_t {
        uint32_t v = 0;
        for (int bit = 0; bit < 4; bit++)
            if ((alu >> bit) & 1)
                v |= (bit & 2 ? ~src : src) & (bit & 1 ? ~dst : dst);
        return v & 0xFFFF;
    };
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::WexlaAdapter &w = wexlaOf(s);
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        const uint32_t upper = (alu >= GXnor && alu != GXinvert && alu != GXset) ? 0xFFFF0000u : 0;
        s.machine().clearTrace();
        s.drawSolidRects({{1, 1, 4, 4}}, 0x33, alu);
        const uint32_t fill = w.reg(kRaster);
        s.copyRect({10, 1, 14, 4}, {1, 1}, alu);
        const uint32_t copy = w.reg(kRaster);
        if (alu == GXinvert) {
            for (const sim::Access &a : s.machine().trace())
                EXPECT_FALSE(a.kind == sim::Access::MemWrite && a.address == kRaster);
            continue;
        }
        EXPECT_EQ(fill, upper | x(alu, 0xFF00, 0xAAAA));
        EXPECT_EQ(copy, upper | x(alu, 0xCCCC, 0xAAAA));
    }
}

TEST(WexlaDraw, SpanOfOnePixelIsItsOwnRectangle) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.fg = 0x5C});
    wexlaOf(s).engine().clearLog();
    s.fillSpans(gc, {{5, 7}}, {1});
    const auto &log = wexlaOf(s).engine().log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, sim::WeitekEngine::Op::Rect);
    EXPECT_EQ(std::vector<int>({log[0].x1, log[0].y1, log[0].x2, log[0].y2}),
              std::vector<int>({5, 7, 6, 8}));
    EXPECT_SCREEN_SAME(s);
}

// The first box becomes the engine's clip; none gives back the box of all
// video memory (2 MB of 64-byte lines: more than a box holds).
TEST(WexlaDraw, ClipFromTheFirstBoxOrTheScreen) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    s.setClipRegions({{4, 2, 30, 9}, {40, 0, 64, 16}});
    EXPECT_EQ(wexlaOf(s).reg(kClipMin), 4u << 16 | 2u);
    EXPECT_EQ(wexlaOf(s).reg(kClipMax), 29u << 16 | 8u);
    s.setClipRegions({});
    EXPECT_EQ(wexlaOf(s).reg(kClipMin), 0u);
    EXPECT_EQ(wexlaOf(s).reg(kClipMax), 63u << 16 | 0x7FFEu);
    s.drawSolidRects({{0, 0, 64, 16}}, 0x42, GXxor);
    EXPECT_SCREEN_SAME(s);
}

// Images and reads at strides other than the row, read back exactly, and
// nothing written outside the box.
TEST(WexlaDraw, ImagesRoundTrip) {
    harness::Screen s("wexla", drawConfig(kTulipFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(9);
    for (int width : {1, 3, 4, 7, 13}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const BoxRec box = {static_cast<int16_t>(60 - width), 3, 60, 9};
        s.drawImage(box, randomBytes(size_t((width + 2) * 6), uint32_t(width)), width + 2);
        EXPECT_EQ(s.readImage(box, width + 5), s.expectedImage(box, width + 5));
        EXPECT_EQ(s.readImage(box), s.expectedImage(box));
    }
    EXPECT_SCREEN_SAME(s);
}

// A mode set coming back from the console while a fill still runs waits
// before it loads the engine's clip.
TEST(WexlaDraw, ModeSetWaitsForDrawingStillRunning) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drawSolidRects({{0, 0, 64, 16}}, 0x42);
    ASSERT_TRUE(wexlaOf(s).engine().busy());
    s.call("SetGraphics", [&] { s.sysInfo()->SetGraphics(s.screen()); });
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
    EXPECT_SCREEN_SAME(s);
}

// ---- the model's strictness ----

struct Fault {
    const char *name;
    void (*act)(uint8_t *regs, uint8_t *frame);
    const char *failure;
};

void startFill(uint8_t *r) {
    mmWrite32(r + 0x180218, 0xFF00);
    mmWrite32(r + 0x181318, 1u << 16 | 1u);
    mmWrite32(r + 0x181318, 4u << 16 | 4u);
    (void)mmRead32(r + 0x180008);
}

void transfer(uint8_t *r, int x1, int x2, int y) {
    mmWrite32(r + 0x180218, 0xEE22);
    mmWrite32(r + 0x1810D0, 1);
    mmWrite32(r + 0x181008, uint32_t(x1));
    mmWrite32(r + 0x181058, uint32_t(x1) << 16 | uint32_t(y));
    mmWrite32(r + 0x181088, uint32_t(x2));
}

const Fault kFaults[] = {
    {"ParameterWhileBusy",
     [](uint8_t *r, uint8_t *) {
         startFill(r);
         mmWrite32(r + 0x180200, 7);
     },
     "while the engine is busy"},
    {"CommandWhileBusy",
     [](uint8_t *r, uint8_t *) {
         startFill(r);
         (void)mmRead32(r + 0x180004);
     },
     "blit command read while the engine is busy"},
    {"FrameBufferWhileBusy",
     [](uint8_t *r, uint8_t *f) {
         startFill(r);
         f[100] = 1;
     },
     "busy"},
    {"WordPastTheRow",
     [](uint8_t *r, uint8_t *) {
         transfer(r, 4, 12, 2);
         mmWrite32(r + 0x1F0080 + 4 * 11, 0xFFF); // 12 bits for a row of 8
     },
     "passes the row's end"},
    {"RowLeftOwing",
     [](uint8_t *r, uint8_t *) {
         transfer(r, 4, 12, 2);
         mmWrite32(r + 0x1F0080 + 4 * 4, 0x1F); // 5 of the row's 8 bits
         mmWrite32(r + 0x181008, 20);
     },
     "owes 3 pixels"},
    {"WordWithoutATransfer", [](uint8_t *r, uint8_t *) { mmWrite32(r + 0x1F0080 + 4 * 7, 0xFF); },
     "without a transfer set up"},
};

void PrintTo(const Fault &c, std::ostream *os) {
    *os << c.name;
}

class WexlaModelStrict : public ::testing::TestWithParam<Fault> {};

TEST_P(WexlaModelStrict, FaultIsReported) {
    harness::Screen s("wexla", drawConfig(kOliveFile), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    uint8_t *regs = registerWindow(s);
    ASSERT_NE(regs, nullptr);
    s.call("faulty driver", [&] { GetParam().act(regs, regs + 0x200000); });
    s.drain();
    ASSERT_FALSE(s.failures().empty());
    EXPECT_NE(s.failureText().find(GetParam().failure), std::string::npos) << s.failureText();
}

INSTANTIATE_TEST_SUITE_P(Faults, WexlaModelStrict, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

// An engine that never finishes: each wait gives up, says so once, and the
// operation goes no further.
TEST(WexlaWait, StuckEngineIsAbandonedWithOneMessage) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    wexlaOf(s).engine().setStuck(true);
    const size_t before = wexlaOf(s).engine().log().size();
    s.call("DrawSolidRects", [&] {
        BoxRec box = {1, 1, 5, 5};
        s.winOps()->DrawSolidRects(&box, 1, 3, GXcopy, ~0u, s.drawable());
    });
    EXPECT_EQ(wexlaOf(s).engine().log().size(), before);
    const std::string timeout = "wexla: drawing engine timed out, operation abandoned\n";
    EXPECT_EQ(std::count(server::errorMessages().begin(), server::errorMessages().end(), timeout),
              1);
    s.drain();
    s.drawSolidRects({{1, 1, 5, 5}}, 3);
    EXPECT_SCREEN_SAME(s);
}

} // namespace
