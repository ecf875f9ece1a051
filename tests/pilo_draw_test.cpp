// pilo drawing through the engine at depths 4 (packed pixels), 8 and 16 (two
// byte halves): copies in every direction, solid boxes, points and images,
// over alus and plane masks, compared with the reference renderer; and the
// command words and corners a copy starts from.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

// Plane masks of a depth: all planes, and some that keep planes apart (at
// depth 16 each byte half alone).
std::vector<uint32_t> masksOf(int depth) {
    switch (depth) {
    case 4:
        return {~0u, 0x5, 0xA};
    case 8:
        return {~0u, 0x3C, 0xC3};
    default:
        return {~0u, 0x00FF, 0xFF00, 0x0FF0};
    }
}

Pixel colourOf(int depth, int k) {
    const uint32_t c = 0xA5C3u * uint32_t(k + 1) + 0x1234u;
    return depth == 16 ? (c & 0xFFFF) : depth == 8 ? (c & 0xFF) : (c & 0xF);
}

class PiloDraw : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s_ =
            std::make_unique<harness::Screen>("pilo", smallConfig(GetParam(), 80, 24),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        s_->fillRandom(5);
    }
    harness::Screen &s() { return *s_; }
    std::unique_ptr<harness::Screen> s_;
};

// Every direction of a copy, overlapping and apart, with every alu and each
// plane mask in turn.
TEST_P(PiloDraw, CopiesInEveryDirectionOverAlusAndMasks) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    const std::vector<std::pair<int, int>> shifts = {{1, 0},  {-1, 0}, {0, 1},   {0, -1}, {5, 3},
                                                     {-5, 3}, {5, -3}, {-5, -3}, {0, 0},  {-30, 2}};
    int k = 0;
    for (auto [dx, dy] : shifts)
        for (int alu = 0; alu < 16; alu += 5, k++) {
            const BoxRec dst = {20, 8, 47, 17};
            DDXPointRec src = {int16_t(dst.x1 - dx), int16_t(dst.y1 - dy)};
            SCOPED_TRACE("shift " + std::to_string(dx) + ", " + std::to_string(dy) + " alu " +
                         std::to_string(alu));
            s().copyRect(dst, src, alu, masks[size_t(k) % masks.size()]);
            EXPECT_SCREEN_SAME(s());
        }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(PiloDraw, SolidBoxesOverAlusAndMasks) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t mask : masks) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            s().drawSolidRects({{0, 0, 7, 3}, {10, 5, 79, 6}, {3, 20, 4, 24}, {9, 9, 9, 12}},
                               colourOf(depth, alu), alu, mask);
            EXPECT_SCREEN_SAME(s());
        }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(PiloDraw, PointsOverAlusAndMasks) {
    const int depth = GetParam();
    const std::vector<uint32_t> masks = masksOf(depth);
    sim::S3EngineCore &e = board(s()).engine();
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t mask : masks) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            s().drawPoints({{0, 0}, {79, 23}, {1, 0}, {40, 11}, {40, 11}}, colourOf(depth, alu),
                           alu, mask);
            EXPECT_SCREEN_SAME(s());
        }
    const uint64_t commands = e.stats().commands;
    s().drawPoints({}, 1);
    EXPECT_EQ(e.stats().commands, commands);
    EXPECT_SCREEN_SAME(s());
}

// Images of every width class (odd, not a multiple of 4, contiguous or not)
// written and read back; the caller's data is never read past its end (the
// harness hands over exactly the bytes the box needs).
TEST_P(PiloDraw, ImagesWrittenAndReadAtEveryWidth) {
    const int depth = GetParam();
    const int bpp = depth == 16 ? 2 : 1;
    const std::vector<uint32_t> masks = masksOf(depth);
    int k = 0;
    for (int w : {1, 2, 3, 4, 5, 7, 8, 13})
        for (int extra : {0, 3}) {
            for (int h : {1, 3}) {
                const int stride = (w + extra) * bpp;
                const BoxRec box = {int16_t(2 + w), int16_t(1 + h), int16_t(2 + 2 * w),
                                    int16_t(1 + 2 * h)};
                std::vector<uint8_t> pixels(size_t(stride) * size_t(h - 1) + size_t(w * bpp));
                for (size_t i = 0; i < pixels.size(); i++)
                    pixels[i] = uint8_t(i * 29 + size_t(k) * 7 + 3);
                const int alu = (k * 3) % 16;
                SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + " stride " +
                             std::to_string(stride));
                s().drawImage(box, pixels, stride, alu, masks[size_t(k) % masks.size()]);
                EXPECT_SCREEN_SAME(s());
                EXPECT_EQ(s().readImage(box, stride), s().expectedImage(box, stride));
                k++;
            }
        }
    // Stride 0 is the box's own width.
    const BoxRec box = {31, 2, 38, 6};
    EXPECT_EQ(s().readImage(box, 0), s().expectedImage(box, 0));
}

// The server's generic text routine reaches the screen through the
// driver's image slots.
TEST_P(PiloDraw, GenericTextDrawsThroughTheImageSlots) {
    // Without text-font slots the text slot takes the font's private.
    std::unique_ptr<harness::Font> font = harness::Font::random(6, 9, 64, 3);
    EXPECT_EQ(s().drawText({2, 12, 2 + 6 * 5, 21}, harness::textRun(5), *font,
                           colourOf(GetParam(), 3), colourOf(GetParam(), 4)),
              -1);
    EXPECT_SCREEN_SAME(s());
    EXPECT_FALSE(server::genCallsOf("genDrawFontText").empty());
}

INSTANTIATE_TEST_SUITE_P(Depths, PiloDraw, testing::Values(4, 8, 16), depthName);

// ------------------------------------------------------- register level --

// An overlapping copy one pixel right runs right to left from the box's
// right edge; one line down runs bottom to top from its last line.
TEST(PiloCopyDirection, OverlapsStartAtTheFarEdge) {
    struct Case {
        DDXPointRec src;
        uint16_t command;
        int curX, curY, destX, destY;
    };
    const BoxRec dst = {10, 4, 30, 9};
    const Case cases[] = {
        {{9, 4}, 0xC0D3, 28, 4, 29, 4},
        {{10, 3}, 0xC073, 10, 7, 10, 8},
        {{11, 5}, 0xC0F3, 11, 5, 10, 4},
        {{9, 3}, 0xC053, 28, 7, 29, 8},
    };
    for (const Case &c : cases) {
        harness::Screen s("pilo", smallConfig(8, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::S3EngineCore &e = board(s).engine();
        e.clearLog();
        s.copyRect(dst, c.src);
        EXPECT_EQ(e.log(), (std::vector<uint16_t>{c.command}));
        const sim::S3Regs &r = e.regs();
        EXPECT_EQ((std::vector<int>{r.curX, r.curY, r.destX, r.destY, r.majorAxis, r.height}),
                  (std::vector<int>{c.curX, c.curY, c.destX, c.destY, 19, 4}));
    }
}

// Transfers of the image cases: rows padded to whole words one by one, or
// the image at once when it is contiguous and needs no padding.
TEST(PiloImageTransfers, RowsOrAllAtOnce) {
    harness::Screen s("pilo", smallConfig(8, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::S3EngineCore &e = board(s).engine();
    struct Case {
        int w, h, stride;
        uint64_t words;
    };
    for (const Case &c : {Case{3, 2, 3, 4}, Case{4, 2, 4, 4}, Case{5, 3, 9, 9}}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " stride " +
                     std::to_string(c.stride));
        std::vector<uint8_t> pixels(size_t(c.stride * (c.h - 1) + c.w));
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = uint8_t(i * 13 + 1);
        e.clearStats();
        s.drawImage({2, 2, int16_t(2 + c.w), int16_t(2 + c.h)}, pixels, c.stride);
        EXPECT_EQ(e.stats().transfersIn, c.words);
        EXPECT_SCREEN_SAME(s);
    }
}

// A 5-pixel read at depth 4 has the engine read 8 pixels a row and stores
// exactly 5 of them.
TEST(PiloImageTransfers, FiveWideReadAtDepth4) {
    harness::Screen s("pilo", smallConfig(4, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    const BoxRec box = {9, 3, 14, 6};
    EXPECT_EQ(s.readImage(box, 7), s.expectedImage(box, 7));
    EXPECT_EQ(board(s).engine().regs().majorAxis, 7);
}

// At depth 16 a 1 x 1 read takes its low byte from column x and its high
// byte from column x + 1024; a write under plane mask 0xFF00 leaves the low
// bytes.
TEST(PiloImageTransfers, ByteHalvesOfOnePixel) {
    harness::Screen s("pilo", smallConfig(16, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drain();
    uint8_t *v = board(s).vram()->data();
    v[4 * 2048 + 7] = 0x34;
    v[4 * 2048 + 7 + 1024] = 0x12;
    s.syncMirror();
    EXPECT_EQ(s.readImage({7, 4, 8, 5}), (std::vector<uint8_t>{0x34, 0x12}));

    s.fillRandom(4);
    s.drain();
    std::vector<uint8_t> low(v + 2 * 2048, v + 2 * 2048 + 6);
    s.drawImage({0, 2, 3, 3}, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, 6, GXcopy, 0xFF00);
    EXPECT_SCREEN_SAME(s);
    s.drain();
    EXPECT_EQ(std::vector<uint8_t>(v + 2 * 2048, v + 2 * 2048 + 6), low);
    EXPECT_EQ((std::vector<uint8_t>{v[2 * 2048 + 1024], v[2 * 2048 + 1025], v[2 * 2048 + 1026]}),
              (std::vector<uint8_t>{0x22, 0x44, 0x66}));
}

// At depth 16 the high byte of a pixel lies 1024 columns right of its low
// byte, to the last column of the engine's line.
TEST(PiloByteHalves, PointAtColumn1023HasItsHighByteAtColumn2047) {
    harness::Screen s("pilo", smallConfig(16, 64, 16), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    WinOps *ops = s.winOps();
    DDXPointRec p = {1023, 5};
    ASSERT_TRUE(
        s.call("DrawPoints", [&] { ops->DrawPoints(&p, 1, 0xBEEF, GXcopy, ~0u, s.drawable()); }));
    s.drain();
    const uint8_t *v = board(s).vram()->data();
    EXPECT_EQ(v[5 * 2048 + 1023], 0xEF);
    EXPECT_EQ(v[5 * 2048 + 2047], 0xBE);
}

} // namespace
