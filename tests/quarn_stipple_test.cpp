// Stippled fills and spans, zero-width segments and images through the MGA
// engine model, compared with the reference renderer (the scripted library
// on a 640 x 480 screen).
#include <random>

#include "hwio.h"
#include "quarn_fixture.h"
#include "server.h"

namespace quarntest {
namespace {

graf::Config smallBoard(int depth) {
    graf::Config c = board("eclipse");
    c.ints["PIXWIDTH"] = 640;
    c.ints["PIXHEIGHT"] = 480;
    c.ints["DEPTH"] = depth == 32 ? 24 : depth;
    if (depth == 32)
        c.ints["BITSPERPIXEL"] = 32;
    return c;
}

struct Bench {
    explicit Bench(int depth, graf::Config cfg = {}, uint32_t memoryType = 0)
        : s(cfg.adapter.empty() ? smallBoard(depth) : cfg, 640 * (depth / 8)) {
        s.script->fbPitch = 640;
        s.script->memoryType = memoryType;
        started = s.screen.start();
        if (started)
            s.screen.fillRandom(5);
    }
    harness::Screen &screen() { return s.screen; }
    // A depth-1 pixmap with rows `stride` bytes apart, bit (x, y) from `on`.
    PixmapPtr stipple(int w, int h, int stride, uint32_t seed) {
        PixmapPtr p = server::createPixmap(s.screen.screen(), w, h, 1, 1, stride);
        auto *bits = static_cast<uint8_t *>(p->devPrivate);
        std::mt19937 rng(seed);
        for (int i = 0; i < h * stride; i++)
            bits[i] = uint8_t(rng());
        return p;
    }
    Scripted s;
    bool started = false;
};

struct StippleCase {
    int w, h, stride;
    bool accelerated;
};

const StippleCase kStipples[] = {
    {16, 8, 2, true}, {16, 2, 2, true},  {8, 8, 1, true},  {4, 4, 1, true},
    {1, 1, 1, true},  {32, 8, 4, false}, {3, 3, 1, false}, {8, 8, 2, false},
};

TEST(QuarnStipple, PatternsOriginsAndRefusals) {
    for (int depth : {8, 32}) {
        harness::beginCase();
        Bench b(depth);
        ASSERT_TRUE(b.started) << b.screen().failureText();
        int seed = 1;
        for (const StippleCase &c : kStipples) {
            for (DDXPointRec origin : {DDXPointRec{0, 0}, DDXPointRec{3, 5}, DDXPointRec{-3, -1}}) {
                SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " stride " +
                             std::to_string(c.stride) + " origin " + std::to_string(origin.x) +
                             "," + std::to_string(origin.y) + " depth " + std::to_string(depth));
                PixmapPtr st = b.stipple(c.w, c.h, c.stride, uint32_t(seed++));
                server::clearGenCalls();
                for (int style : {FillStippled, FillOpaqueStippled}) {
                    GCPtr gc = b.screen().createGC({.fillStyle = style,
                                                    .alu = seed % 16,
                                                    .fg = 0x12345678u & b.screen().allPlanes(),
                                                    .bg = 0x9ABCDEF0u & b.screen().allPlanes(),
                                                    .stipple = st,
                                                    .patOrg = origin});
                    b.screen().fillRects(gc, {{3, 2, 41, 19}, {101, 7, 130, 30}, {5, 5, 5, 9}});
                    b.screen().fillSpans(gc, {{7, 40}, {8, 41}}, {33, 9});
                    EXPECT_SCREEN_SAME(b.screen());
                }
                const size_t generic = server::genCallsOf("genStippledFillRects").size() +
                                       server::genCallsOf("genOpStippledFillRects").size() +
                                       server::genCallsOf("genStippledFS").size() +
                                       server::genCallsOf("genOpStippledFS").size();
                EXPECT_EQ(generic, c.accelerated ? 0u : 4u);
            }
        }
        EXPECT_TRUE(b.screen().failures().empty()) << b.screen().failureText();
    }
}

// Two span calls that differ only in the pattern origin write their own shift.
TEST(QuarnStipple, EveryCallWritesItsPatternOffset) {
    Bench b(8);
    ASSERT_TRUE(b.started);
    PixmapPtr st = b.stipple(8, 8, 1, 7);
    GCPtr gc = b.screen().createGC({.fillStyle = FillStippled, .stipple = st, .patOrg = {0, 0}});
    b.screen().fillSpans(gc, {{10, 10}}, {20});
    EXPECT_EQ(b.s.mga().reg(0x1C50), 0u) << "offsets inside the stipple's period";
    b.screen().changeGC(gc, {.fillStyle = FillStippled, .stipple = st, .patOrg = {2, 3}}, 0);
    b.screen().fillSpans(gc, {{10, 11}}, {20});
    EXPECT_EQ(b.s.mga().reg(0x1C50), uint32_t(6 | 5 << 4));
    EXPECT_SCREEN_SAME(b.screen());
}

// Bresenham terms as the layer forms them for a segment from (x1, y1) to
// (x2, y2), both ends drawn.
ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    ZeroSegRec s{};
    const int adx = std::abs(x2 - x1), ady = std::abs(y2 - y1);
    s.x = int16_t(x1);
    s.y = int16_t(y1);
    s.signdx = int16_t(x2 >= x1 ? 1 : -1);
    s.signdy = int16_t(y2 >= y1 ? 1 : -1);
    s.axis = int16_t(adx >= ady ? 0 : 1);
    const int major = std::max(adx, ady), minor = std::min(adx, ady);
    s.len = int16_t(major + 1);
    s.e1 = 2 * minor;
    s.e2 = 2 * minor - 2 * major;
    s.e = 2 * minor - major - (s.signdx < 0 ? 1 : 0);
    return s;
}

TEST(QuarnSegments, OctantsLengthZeroAlusAndMasks) {
    for (int depth : {8, 16}) {
        harness::beginCase();
        Bench b(depth);
        ASSERT_TRUE(b.started);
        const int cx = 200, cy = 200;
        std::vector<ZeroSegRec> segs;
        for (auto [dx, dy] : {std::pair{50, 13},
                              {13, 50},
                              {-13, 50},
                              {-50, 13},
                              {-50, -13},
                              {-13, -50},
                              {13, -50},
                              {50, -13},
                              {40, 0},
                              {0, -40}})
            segs.push_back(segment(cx, cy, cx + dx, cy + dy));
        ZeroSegRec empty = segment(10, 10, 20, 12);
        empty.len = 0;
        segs.push_back(empty);
        for (int alu = 0; alu < 16; alu += 3)
            for (uint32_t pm : {~0u, 0x00FF00F0u}) {
                SCOPED_TRACE("alu " + std::to_string(alu));
                GCPtr gc = b.screen().createGC({.alu = alu, .planemask = pm, .fg = 0xA5C3u});
                b.screen().zeroSegs(gc, segs);
                EXPECT_SCREEN_SAME(b.screen());
            }
        EXPECT_EQ(b.s.mga().lines(), 6 * 2 * 11) << "every segment reaches the engine";
    }
    // The sign word: x major going left and up 7, y major going right and down 0.
    Bench b(8);
    GCPtr gc = b.screen().createGC({});
    b.screen().zeroSegs(gc, {segment(300, 300, 250, 290)});
    EXPECT_EQ(b.s.mga().reg(0x1C58), 7u);
    b.screen().zeroSegs(gc, {segment(300, 300, 305, 340)});
    EXPECT_EQ(b.s.mga().reg(0x1C58), 0u);
}

std::vector<uint8_t> randomPixels(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &x : v)
        x = uint8_t(rng());
    return v;
}

TEST(QuarnImages, RoundTripsProcessorCopyAndStagedBlits) {
    for (int depth : {8, 16, 32}) {
        harness::beginCase();
        Bench b(depth);
        ASSERT_TRUE(b.started);
        const int bpp = depth / 8;
        const BoxRec box = {17, 9, 77, 31};
        const int stride = 60 * bpp + 5;
        std::vector<uint8_t> pixels = randomPixels(size_t(stride) * 22, uint32_t(depth));
        // A client's 24-bit pixels leave the top byte of each word clear.
        if (depth == 32)
            for (size_t row = 0; row < 22; row++)
                for (int x = 0; x < 60; x++)
                    pixels[row * size_t(stride) + size_t(x) * 4 + 3] = 0;
        b.screen().drawImage(box, pixels, stride, GXcopy);
        EXPECT_SCREEN_SAME(b.screen());
        EXPECT_EQ(b.s.mga().copies(), 0) << "GXcopy with a full mask: the processor";
        EXPECT_EQ(b.screen().readImage(box), b.screen().expectedImage(box));
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu));
            const int before = b.s.mga().copies();
            b.screen().drawImage({int16_t(100 + alu), 50, int16_t(140 + alu), 53}, pixels, stride,
                                 alu, alu % 2 ? ~0u : 0x0F0F0F0Fu);
            EXPECT_SCREEN_SAME(b.screen());
            if (alu != GXcopy) {
                EXPECT_EQ(b.s.mga().copies() - before, 3) << "a staged blit per row";
            }
        }
        b.screen().drawImage({5, 5, 5, 9}, pixels, stride, GXxor);
        EXPECT_SCREEN_SAME(b.screen());
        // The last byte of video memory after a read.
        b.screen().readImage({0, 0, 1, 1});
        EXPECT_EQ(b.s.mga().vram()->data()[b.s.priv()->memorySize - 1], 0xFF);
        EXPECT_TRUE(b.screen().failures().empty()) << b.screen().failureText();
    }
}

// The twister with memory type 5: a partial mask draws in software over
// every alu; mask 0 leaves the screen alone.
TEST(QuarnImages, SoftwarePathUnderThePlaneMaskRule) {
    graf::Config cfg = smallBoard(16);
    cfg.ints["PCI_DEVICE"] = 0x1001;
    Bench b(16, cfg, 5);
    ASSERT_TRUE(b.started) << b.screen().failureText();
    std::vector<uint8_t> pixels = randomPixels(2 * 40 * 4, 9);
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        b.screen().drawImage({int16_t(10 + alu), 10, int16_t(50 + alu), 14}, pixels, 80, alu,
                             0x7BDE);
        EXPECT_SCREEN_SAME(b.screen());
    }
    const std::vector<uint8_t> before = b.screen().readImage({0, 0, 100, 20});
    b.screen().drawImage({10, 10, 50, 14}, pixels, 80, GXset, 0);
    EXPECT_EQ(b.screen().readImage({0, 0, 100, 20}), before);
    EXPECT_EQ(b.s.mga().copies(), 0);
}

} // namespace
} // namespace quarntest
