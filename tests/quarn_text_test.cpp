// Monochrome images, glyphs and text fonts by colour expansion from video
// memory, compared with the reference renderer; the hardware cursor's
// realized image and its silence on the integrated DAC.
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
    c.ints["DEPTH"] = depth;
    return c;
}

struct Bench {
    explicit Bench(int depth, graf::Config cfg = {}, int32_t origin = 0, uint32_t memoryType = 0)
        : s(cfg.adapter.empty() ? smallBoard(depth) : cfg, 640 * (depth / 8),
            uint32_t(origin) * uint32_t(depth / 8)) {
        s.script->fbPitch = 640;
        s.script->dstOrg = origin;
        s.script->memoryType = memoryType;
        started = s.screen.start();
        if (started)
            s.screen.fillRandom(6);
    }
    harness::Screen &screen() { return s.screen; }
    // The values written to one engine register since the last clearTrace.
    std::vector<uint32_t> writesTo(uint32_t offset) {
        std::vector<uint32_t> v;
        const int regs = s.screen.machine().regionIndex("MEMORY");
        for (const sim::Access &a : s.screen.machine().trace())
            if (a.region == regs && a.kind == sim::Access::MemWrite && a.address == offset)
                v.push_back(a.value);
        return v;
    }
    Scripted s;
    bool started = false;
};

std::vector<uint8_t> randomBits(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

TEST(QuarnMono, ImagesOverAlusMasksAndStartingBits) {
    for (int depth : {8, 16}) {
        harness::beginCase();
        Bench b(depth);
        ASSERT_TRUE(b.started) << b.screen().failureText();
        const std::vector<uint8_t> bits = randomBits(12 * 40, uint32_t(depth));
        for (int alu = 0; alu < 16; alu += 5)
            for (uint32_t pm : {~0u, 0x3C3Cu})
                for (int startBit : {0, 5}) {
                    SCOPED_TRACE("alu " + std::to_string(alu) + " start " +
                                 std::to_string(startBit));
                    b.screen().drawMonoImage({13, 7, 83, 40}, bits, startBit, 12, 0x5A5A, alu, pm);
                    b.screen().drawOpaqueMonoImage({101, 7, 171, 40}, bits, startBit, 12, 0x1234,
                                                   0x4321, alu, pm);
                    EXPECT_SCREEN_SAME(b.screen());
                }
        EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
        EXPECT_TRUE(b.screen().failures().empty()) << b.screen().failureText();
    }
}

TEST(QuarnMono, PassesOfAtMost7168Bytes) {
    Bench b(8);
    ASSERT_TRUE(b.started);
    const std::vector<uint8_t> bits = randomBits(128 * 100, 3);
    b.screen().machine().clearTrace();
    b.screen().drawMonoImage({0, 0, 600, 100}, bits, 0, 128, 7);
    EXPECT_EQ(b.writesTo(0x1C5C), (std::vector<uint32_t>{56, 44}));
    EXPECT_SCREEN_SAME(b.screen());
}

// Free memory of 700 bytes, less than the 800-byte stride: one row a pass,
// staging only the row's own bytes (never past the free memory).
TEST(QuarnMono, FreeMemoryBelowOneStride) {
    graf::Config c = smallBoard(8);
    c.ints["MEMSIZE"] = 0x200000;
    const int32_t origin = 0x200000 - 640 * 480 - 0x11800 - 700;
    Bench b(8, c, origin);
    ASSERT_TRUE(b.started) << b.screen().failureText();
    ASSERT_EQ(b.s.priv()->freeMemory, 700);
    const std::vector<uint8_t> bits = randomBits(800 * 6, 4);
    uint8_t *fontArea = b.s.mga().vram()->data() + 0x200000 - 0x11800;
    std::fill(fontArea, fontArea + 16, 0xA5);
    b.screen().machine().clearTrace();
    b.screen().drawOpaqueMonoImage({10, 10, 600, 16}, bits, 3, 800, 1, 2);
    EXPECT_EQ(b.writesTo(0x1C5C), std::vector<uint32_t>(6, 1)) << "one row a pass";
    EXPECT_SCREEN_SAME(b.screen());
    EXPECT_EQ(fontArea[0], 0xA5) << "the font slots stay untouched";
    EXPECT_TRUE(b.screen().failures().empty()) << b.screen().failureText();
}

TEST(QuarnMono, GlyphsSmallAndLarge) {
    Bench b(8);
    ASSERT_TRUE(b.started);
    const std::vector<uint8_t> big = randomBits(112 * 64, 5), bigger = randomBits(107 * 67, 6),
                               small = randomBits(2 * 12, 7);
    std::vector<MonoGlyphRec> glyphs = {
        {{5, 5, 21, 17}, 2, const_cast<uint8_t *>(small.data()), 0},
        {{30, 5, 130, 69}, 112, const_cast<uint8_t *>(big.data()), 0},     // 7168 bytes
        {{140, 5, 240, 72}, 107, const_cast<uint8_t *>(bigger.data()), 0}, // 7169 bytes
        {{250, 5, 266, 17}, 2, const_cast<uint8_t *>(small.data()), 0},
        {{270, 5, 286, 17}, 2, const_cast<uint8_t *>(small.data()), 0},
    };
    b.screen().machine().clearTrace();
    b.screen().drawMonoGlyphs(glyphs, 0x77, GXxor, 0xF0);
    EXPECT_SCREEN_SAME(b.screen());
    // The command word: once for the first small run, once after the large
    // glyph (its own set-up in between).
    EXPECT_EQ(b.writesTo(0x1C00).size(), 3u);
    EXPECT_EQ(b.writesTo(0x1C5C), (std::vector<uint32_t>{12, 64, 66, 1, 12, 12}))
        << "the 7169-byte glyph as an image: 66 rows of 107 bytes, then one";
}

TEST(QuarnText, SlotsCellsCountsAndTheMaskAfterADownload) {
    Bench b(8);
    ASSERT_TRUE(b.started);
    auto font = harness::Font::random(8, 16, 256, 9);
    GCPtr gc = b.screen().createGC({.planemask = 0x0F, .fg = 0xFF});
    b.screen().fillRects(gc, {{0, 100, 50, 120}});
    std::string chars = harness::textRun(20);
    chars.push_back(char(255));
    EXPECT_GE(
        b.screen().drawText({10, 10, 10 + 8 * 21, 26}, chars, *font, 3, 9, GXcopy, ~0u, false), 0);
    b.screen().fillRects(gc, {{60, 100, 110, 120}});
    EXPECT_SCREEN_SAME(b.screen());
    b.screen().drawText({10, 30, 10 + 8 * 21, 46}, chars, *font, 5, 0, GXor, 0x3F, true);
    b.screen().drawText({10, 50, 10, 66}, "", *font, 5, 0);
    EXPECT_SCREEN_SAME(b.screen());
    EXPECT_TRUE(server::genCallsOf("genWinOp10").empty());
    // A font too tall for its cell is drawn by the generic routine.
    auto wide = harness::Font::padded(8, 32, 8, 10, 12);
    b.screen().drawText({10, 70, 50, 102}, "abc", *wide, 1, 2);
    EXPECT_SCREEN_SAME(b.screen());
    EXPECT_EQ(server::genCallsOf("genWinOp10").size(), 1u);
}

TEST(QuarnText, APartialMaskOnTheTwisterGoesToTheGenericRoutine) {
    graf::Config cfg = smallBoard(16);
    cfg.ints["PCI_DEVICE"] = 0x1001;
    Bench b(16, cfg, 0, 5);
    ASSERT_TRUE(b.started) << b.screen().failureText();
    auto font = harness::Font::random(8, 16, 128, 13);
    server::clearGenCalls();
    b.screen().drawText({0, 0, 40, 16}, "hello", *font, 0x1234, 0x4321, GXcopy, 0x7FFF);
    EXPECT_EQ(server::genCallsOf("genWinOp10").size(), 1u);
    b.screen().drawText({0, 20, 40, 36}, "hello", *font, 0x1234, 0x4321, GXcopy, 0xFFFF);
    EXPECT_EQ(server::genCallsOf("genWinOp10").size(), 1u);
    EXPECT_SCREEN_SAME(b.screen());
}

TEST(QuarnCursor, RealizedImageHotSpotAndASilentDac) {
    graf::Config cfg = smallBoard(8);
    cfg.ints["HWCURSOR"] = 1;
    Bench b(8, cfg);
    ASSERT_TRUE(b.started) << b.screen().failureText();
    std::vector<std::string> rows(16, std::string(16, '.'));
    rows[0] = "FFFFFFFFBBBBBBBB";
    rows[1] = "F..............B";
    auto cursor = harness::makeCursor(rows, 3, 4);
    ASSERT_TRUE(b.screen().realizeCursor(cursor->ptr()));
    const auto *image = static_cast<const uint8_t *>(cursor->ptr()->devPriv[0]);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0], 3);
    EXPECT_EQ(image[1], 4);
    // Source row 0: pixels 0-7 set (bits reversed: 0xFF), pixels 8-15 clear.
    EXPECT_EQ(image[2], 0xFF);
    EXPECT_EQ(image[3], 0x00);
    EXPECT_EQ(image[4], 0xFF) << "filler past the width";
    EXPECT_EQ(image[130], 0xFF) << "mask row 0";
    EXPECT_EQ(image[131], 0xFF);
    EXPECT_EQ(image[132], 0x00);
    EXPECT_EQ(image[2 + 4 * 1], 0x80) << "pixel 0 of row 1 in the top bit";
    EXPECT_EQ(image[2 + 4 * 16], 0xFF) << "rows past the height";
    EXPECT_EQ(image[130 + 4 * 16], 0x00);
    b.screen().machine().clearTrace();
    b.screen().setCursor(cursor->ptr(), 100, 100);
    b.screen().moveCursor(120, 90);
    b.screen().recolorCursor(cursor->ptr(), 1);
    EXPECT_TRUE(b.screen().machine().trace().empty()) << "dactype 1: no register written";
    EXPECT_TRUE(b.screen().unrealizeCursor(cursor->ptr()));
    EXPECT_EQ(cursor->ptr()->devPriv[0], nullptr);

    std::vector<std::string> big(64, std::string(64, 'F'));
    auto large = harness::makeCursor(big, 40, 5);
    ASSERT_TRUE(b.screen().realizeCursor(large->ptr()));
    const auto *li = static_cast<const uint8_t *>(large->ptr()->devPriv[0]);
    EXPECT_EQ(li[0], 31);
    EXPECT_EQ(li[1], 5);
    b.screen().unrealizeCursor(large->ptr());
}

TEST(QuarnCursor, RefusedByTheServer) {
    graf::Config cfg = smallBoard(8);
    cfg.ints["HWCURSOR"] = 1;
    Scripted s(cfg, 640);
    s.script->fbPitch = 640;
    server::setPointerResult(0);
    EXPECT_FALSE(s.screen.init());
    EXPECT_EQ(s.screen.fatalMessage(), "quarn: Cannot initialize cursor.\n");
    server::setPointerResult(1);
}

} // namespace
} // namespace quarntest
