// The S3 engine model against hand-worked pixels and the reference renderer,
// and its protocol: every operation on a small video memory, and the
// strictness that catches a driver's missing waits. Registers are reached as
// a driver reaches them: the server's port routines, the string transfers and
// the accessors into the engine window.
#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hwio.h"
#include "machine.h"
#include "models/s3_engine.h"
#include "nfb.h"
#include "refrender.h"

namespace {

using sim::S3Op;

constexpr uint32_t kVram = 0x20000;
constexpr int kLine = 64; // pixels per line
constexpr uint16_t kStatus = 0x9AE8, kCmd = 0x9AE8, kCurX = 0x86E8, kCurY = 0x82E8, kDestX = 0x8EE8,
                   kDestY = 0x8AE8, kErr = 0x92E8, kCount = 0x96E8, kBg = 0xA2E8, kFg = 0xA6E8,
                   kWmask = 0xAAE8, kRmask = 0xAEE8, kBgMix = 0xB6E8, kFgMix = 0xBAE8,
                   kMulti = 0xBEE8, kData = 0xE2E8, kReset = 0x42E8, kAdvanced = 0x4AE8;
constexpr uint16_t kFill = 0x52B3, kBlit = 0xC0F3, kPoint = 0x201B, kHostPixels = 0x53F1,
                   kHostBits16 = 0x53F3, kHostBits8 = 0x51F3, kReadBack = 0x53F0;

// The X alu to engine mix table the drivers program (GXclear .. GXset).
constexpr std::array<uint8_t, 16> kRasterOps = {0x01, 0x0C, 0x0D, 0x07, 0x0E, 0x03, 0x05, 0x0B,
                                                0x0F, 0x06, 0x00, 0x0A, 0x04, 0x09, 0x08, 0x02};
constexpr uint8_t kCopy = 0x07, kNoop = 0x03;

using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

class S3Engine : public ::testing::Test {
  public:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        vram = m->own<sim::VideoMemory>(kVram);
        fb = m->addLinearAperture("fb", 0xE0000000, kVram, *vram);
        core = m->own<sim::S3EngineCore>(*vram, sim::s3ChipParams());
        core->setLinePixels(kLine);
        ports = m->own<sim::S3EnginePorts>(*core);
        ports->attach(*m);
        mem = vram->data();
    }

    // ---- register access, as a driver does it ----
    uint16_t status() { return inw(kStatus); }
    void waitRoom(int n) {
        for (int i = 0; i < 100 && (status() & (0x100 >> n)); i++) {
        }
    }
    void waitIdle() {
        for (int i = 0; i < 100 && (status() & sim::s3status::Busy); i++) {
        }
    }
    void waitData() {
        for (int i = 0; i < 100 && !(status() & sim::s3status::DataReady); i++) {
        }
    }
    // Register writes in groups of at most 8, each after a wait for its room.
    void regs(const Writes &w) {
        for (size_t i = 0; i < w.size(); i += 8) {
            size_t n = std::min<size_t>(8, w.size() - i);
            waitRoom(int(n));
            for (size_t k = i; k < i + n; k++)
                outw(w[k].first, w[k].second);
        }
    }
    // A rectangle's position and size, then the command after an idle wait
    // when it moves host data.
    void rect(int x, int y, int w, int h, uint16_t cmd) {
        regs({{kCurX, uint16_t(x)},
              {kCurY, uint16_t(y)},
              {kCount, uint16_t(w - 1)},
              {kMulti, uint16_t(h - 1)}});
        if (cmd == kHostPixels || cmd == kHostBits16 || cmd == kHostBits8 || cmd == kReadBack)
            waitIdle();
        else
            waitRoom(1);
        outw(kCmd, cmd);
    }
    void scissors(int left, int top, int right, int bottom) {
        regs({{kMulti, uint16_t(0x2000 | left)},
              {kMulti, uint16_t(0x1000 | top)},
              {kMulti, uint16_t(0x4000 | right)},
              {kMulti, uint16_t(0x3000 | bottom)}});
    }

    bool failedWith(const std::string &part) const {
        for (const std::string &f : m->failures())
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string failureText() const {
        std::string s;
        for (const std::string &f : m->failures())
            s += f + "\n";
        return s;
    }
    uint8_t &px(int x, int y) { return mem[y * kLine + x]; }

    sim::Machine *m = nullptr;
    sim::VideoMemory *vram = nullptr;
    sim::S3EngineCore *core = nullptr;
    sim::S3EnginePorts *ports = nullptr;
    uint8_t *fb = nullptr;
    uint8_t *mem = nullptr;
};

// ---- mixes ----

// Every X alu through the RasterOps table with each colour source and two
// write masks: 0xCC against 0xAA meets all four combinations of bits.
TEST_F(S3Engine, EveryMixActsAsItsAluWithEachSource) {
    for (uint32_t wmask : {0xFFu, 0x3Cu})
        for (int alu = 0; alu < 16; alu++) {
            const uint8_t code = kRasterOps[size_t(alu)];
            const uint8_t full = uint8_t(ref::applyAlu(alu, 0xCC, 0xAA));
            const uint8_t want = uint8_t((full & wmask) | (0xAA & ~wmask));
            SCOPED_TRACE("alu " + std::to_string(alu) + " write mask " + std::to_string(wmask));
            regs({{kWmask, uint16_t(wmask)}});

            px(0, 0) = 0xAA;
            regs({{kFgMix, uint16_t(code | 0x20)}, {kFg, 0xCC}});
            rect(0, 0, 1, 1, kFill);
            waitIdle();
            EXPECT_EQ(px(0, 0), want) << "foreground colour";

            px(1, 0) = 0xAA;
            regs({{kFgMix, uint16_t(code | 0x40)}});
            rect(1, 0, 1, 1, kHostPixels);
            outw(kData, 0x00CC);
            waitIdle();
            EXPECT_EQ(px(1, 0), want) << "host data";

            px(2, 0) = 0xAA;
            px(10, 5) = 0xCC;
            regs({{kFgMix, uint16_t(code | 0x60)},
                  {kCurX, 10},
                  {kCurY, 5},
                  {kDestX, 2},
                  {kDestY, 0},
                  {kCount, 0},
                  {kMulti, 0},
                  {kCmd, kBlit}});
            waitIdle();
            EXPECT_EQ(px(2, 0), want) << "video memory";
        }
    EXPECT_EQ(failureText(), "");
}

// ---- blits ----

// The eight overlap directions, one pixel apart, each run as the drivers run
// it (from the far corner, direction bits cleared): the result is that of a
// copy through a buffer. The same copy with every direction bit set smears
// whenever the source lies before the destination.
TEST_F(S3Engine, OverlappingBlitsInEachDirectionMatchABufferedCopy) {
    const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    const int w = 5, h = 4, x = 10, y = 10;
    regs({{kFgMix, uint16_t(kCopy | 0x60)}});
    for (auto [dx, dy] : dirs) {
        SCOPED_TRACE("dx " + std::to_string(dx) + " dy " + std::to_string(dy));
        for (int i = 0; i < 32 * kLine; i++)
            mem[i] = uint8_t(i * 7 + 3);
        std::vector<uint8_t> want(mem, mem + 32 * kLine);
        for (int r = 0; r < h; r++)
            for (int c = 0; c < w; c++)
                want[size_t((y + dy + r) * kLine + x + dx + c)] = px(x + c, y + r);
        const int sx = x, sy = y, x1 = x + dx, y1 = y + dy;
        const bool rtl = sx < x1, btt = sy < y1;
        uint16_t cmd = kBlit;
        if (rtl)
            cmd &= ~0x20;
        if (btt)
            cmd &= ~0x80;
        regs({{kCurX, uint16_t(rtl ? sx + w - 1 : sx)},
              {kCurY, uint16_t(btt ? sy + h - 1 : sy)},
              {kDestX, uint16_t(rtl ? x1 + w - 1 : x1)},
              {kDestY, uint16_t(btt ? y1 + h - 1 : y1)},
              {kCount, uint16_t(w - 1)},
              {kMulti, uint16_t(h - 1)},
              {kCmd, cmd}});
        waitIdle();
        EXPECT_EQ(std::vector<uint8_t>(mem, mem + 32 * kLine), want);
    }
    EXPECT_EQ(failureText(), "");

    for (int i = 0; i < 8; i++)
        px(i, 0) = uint8_t(i + 1);
    regs({{kCurX, 0}, {kCurY, 0}, {kDestX, 1}, {kDestY, 0}, {kCount, 3}, {kMulti, 0}});
    regs({{kCmd, kBlit}});
    waitIdle();
    EXPECT_EQ(std::vector<uint8_t>(mem, mem + 6), std::vector<uint8_t>({1, 1, 1, 1, 1, 6}));
}

// ---- scissors ----

struct ScissorCase {
    const char *what;
    std::function<void(S3Engine &)> draw; // covers (0,0)-(15,15) or part of it
};

class S3Scissors : public S3Engine, public ::testing::WithParamInterface<ScissorCase> {};

// Each operation drawn once with open scissors and once inside (4,2)-(11,9):
// the second run changes exactly the first run's pixels inside the scissors.
TEST_P(S3Scissors, EveryOperationStaysInside) {
    auto fillSource = [&] {
        for (int i = 0; i < 24 * kLine; i++)
            mem[i] = uint8_t(i * 13 + 1);
    };
    fillSource();
    GetParam().draw(*this);
    waitIdle();
    std::vector<uint8_t> open(mem, mem + 24 * kLine);

    fillSource();
    std::vector<uint8_t> before(mem, mem + 24 * kLine);
    scissors(4, 2, 11, 9);
    GetParam().draw(*this);
    waitIdle();
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < kLine; x++) {
            const bool inside = x >= 4 && x <= 11 && y >= 2 && y <= 9;
            const size_t i = size_t(y * kLine + x);
            ASSERT_EQ(mem[i], inside ? open[i] : before[i]) << "at " << x << ", " << y;
        }
    EXPECT_NE(open, before) << "the operation drew nothing";
    EXPECT_EQ(failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Operations, S3Scissors,
    ::testing::Values(ScissorCase{"fill",
                                  [](S3Engine &s) {
                                      s.regs({{kFgMix, kCopy | 0x20}, {kFg, 0x5A}});
                                      s.rect(0, 0, 16, 16, kFill);
                                  }},
                      ScissorCase{"blit",
                                  [](S3Engine &s) {
                                      s.regs({{kFgMix, 0x05 | 0x60}, // xor with the source
                                              {kCurX, 20},
                                              {kCurY, 3},
                                              {kDestX, 0},
                                              {kDestY, 0},
                                              {kCount, 15},
                                              {kMulti, 15},
                                              {kCmd, kBlit}});
                                  }},
                      ScissorCase{"point_run",
                                  [](S3Engine &s) {
                                      s.regs({{kFgMix, kCopy | 0x20},
                                              {kFg, 0x77},
                                              {kCurX, 0},
                                              {kCurY, 5},
                                              {kCount, 15},
                                              {kCmd, kPoint}});
                                  }},
                      ScissorCase{"line",
                                  [](S3Engine &s) {
                                      // Every step diagonal (e stays above 0).
                                      s.regs({{kFgMix, kCopy | 0x20},
                                              {kFg, 0x99},
                                              {kCurX, 0},
                                              {kCurY, 0},
                                              {kErr, 1},
                                              {kDestY, 0},
                                              {kDestX, 0},
                                              {kCount, 16},
                                              {kCmd, 0x2017 | 0x20 | 0x80}});
                                  }},
                      ScissorCase{"host_pixels",
                                  [](S3Engine &s) {
                                      s.regs({{kFgMix, kCopy | 0x40}});
                                      s.rect(0, 0, 16, 16, kHostPixels);
                                      for (int i = 0; i < 16 * 8; i++)
                                          outw(kData, uint16_t(i * 0x0301));
                                  }},
                      ScissorCase{"host_bits",
                                  [](S3Engine &s) {
                                      s.regs({{kFgMix, kCopy | 0x20},
                                              {kBgMix, kCopy},
                                              {kFg, 0xEE},
                                              {kBg, 0x11},
                                              {kMulti, 0xA080}});
                                      s.rect(0, 0, 16, 16, kHostBits16);
                                      for (int i = 0; i < 16; i++)
                                          outw(kData, uint16_t(0xA55A ^ (i * 0x1111)));
                                      s.regs({{kMulti, 0xA000}});
                                  }}),
    [](const ::testing::TestParamInfo<ScissorCase> &i) { return std::string(i.param.what); });

// ---- plane expansion ----

// Pixel control 0xA0C0: the read-mask plane of each source pixel chooses the
// mix; transparent (background mix noop) and opaque, over three planes.
TEST_F(S3Engine, PlaneExpansionFollowsTheReadMaskPlane) {
    const uint8_t source[8] = {0x01, 0x08, 0x80, 0x89, 0x00, 0xFF, 0x09, 0x81};
    for (int plane : {0, 3, 7})
        for (bool opaque : {false, true}) {
            SCOPED_TRACE("plane " + std::to_string(plane) + (opaque ? " opaque" : ""));
            std::memcpy(&px(0, 20), source, 8);
            std::memset(&px(0, 30), 0x33, 8);
            regs({{kRmask, uint16_t(1u << plane)},
                  {kMulti, 0xA0C0},
                  {kFgMix, kCopy | 0x20},
                  {kBgMix, uint16_t(opaque ? kCopy : kNoop)},
                  {kFg, 0xF0},
                  {kBg, 0x0F}});
            regs({{kCurX, 0},
                  {kCurY, 20},
                  {kDestX, 0},
                  {kDestY, 30},
                  {kCount, 7},
                  {kMulti, 0},
                  {kCmd, kBlit}});
            waitIdle();
            for (int i = 0; i < 8; i++) {
                const bool on = (source[i] >> plane) & 1;
                EXPECT_EQ(px(i, 30), on ? 0xF0 : opaque ? 0x0F : 0x33) << "pixel " << i;
            }
        }
    regs({{kMulti, 0xA000}, {kRmask, 0xFF}});
    EXPECT_EQ(failureText(), "");
}

// The read mask also masks the source of a plain blit.
TEST_F(S3Engine, ReadMaskMasksBlitSources) {
    px(0, 1) = 0xDB;
    regs({{kRmask, 0x0F},
          {kFgMix, kCopy | 0x60},
          {kCurX, 0},
          {kCurY, 1},
          {kDestX, 5},
          {kDestY, 1},
          {kCount, 0},
          {kMulti, 0},
          {kCmd, kBlit}});
    waitIdle();
    EXPECT_EQ(px(5, 1), 0x0B);
}

// ---- host 1-bit data ----

struct BitsCase {
    int width;
    bool words; // 0x53F3 with 16-bit transfers, else 0x51F3 with bytes
    bool opaque;
};

class S3HostBits : public S3Engine, public ::testing::WithParamInterface<BitsCase> {};

// Rows of a bitmap whose leftmost pixel is each byte's top bit, sent with the
// string transfers: each row starts on a new transfer, words low byte first.
TEST_P(S3HostBits, RowsExpandWithTheLeftmostPixelInTheTopBit) {
    const BitsCase &c = GetParam();
    const int h = 3, rowBytes = c.words ? 2 * ((c.width + 15) / 16) : (c.width + 7) / 8;
    std::vector<uint8_t> bits(size_t(rowBytes * h));
    for (size_t i = 0; i < bits.size(); i++)
        bits[i] = uint8_t(0x9D * (i + 1) ^ 0x5A);
    std::memset(mem, 0x44, 8 * kLine);
    regs({{kFgMix, kCopy | 0x20},
          {kBgMix, uint16_t(c.opaque ? kCopy : kNoop)},
          {kFg, 0xE1},
          {kBg, 0x1E},
          {kMulti, 0xA080}});
    rect(2, 1, c.width, h, c.words ? kHostBits16 : kHostBits8);
    if (c.words)
        ioOutsw(kData, bits.data(), uint32_t(bits.size() / 2));
    else
        ioOutsb(kData, bits.data(), uint32_t(bits.size()));
    EXPECT_FALSE(core->transferOwed());
    waitIdle();
    for (int r = 0; r < h; r++)
        for (int x = 0; x < kLine; x++) {
            uint8_t want = 0x44;
            const int col = x - 2;
            if (col >= 0 && col < c.width) {
                const bool on = (bits[size_t(r * rowBytes + col / 8)] >> (7 - col % 8)) & 1;
                want = on ? 0xE1 : c.opaque ? 0x1E : 0x44;
            }
            ASSERT_EQ(px(x, r + 1), want) << "row " << r << " x " << x;
        }
    EXPECT_EQ(px(2, 0), 0x44);
    EXPECT_EQ(px(2, 4), 0x44);
    EXPECT_EQ(failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(Widths, S3HostBits,
                         ::testing::Values(BitsCase{5, true, false}, BitsCase{16, true, true},
                                           BitsCase{20, true, false}, BitsCase{5, false, true},
                                           BitsCase{9, false, false}, BitsCase{24, false, true}),
                         [](const ::testing::TestParamInfo<BitsCase> &i) {
                             return std::to_string(i.param.width) +
                                    (i.param.words ? "_words" : "_bytes") +
                                    (i.param.opaque ? "_opaque" : "_transparent");
                         });

// A start left of column 0 (the monochrome image that begins a few bits into
// its first byte) wraps from column 4091: the hidden pixels fall beyond the
// right scissor and the rest land from column 0.
TEST_F(S3Engine, StartLeftOfColumnZeroWrapsPastTheRightScissor) {
    std::memset(mem, 0, kVram);
    scissors(0, 0, kLine - 1, 100);
    regs({{kFgMix, kCopy | 0x20}, {kBgMix, kCopy}, {kFg, 0xFF}, {kBg, 0x80}, {kMulti, 0xA080}});
    rect(-5, 0, 16, 1, kHostBits16);
    outw(kData, 0x0FFF); // 8 ones, then 4 zeros and 4 ones
    waitIdle();
    const std::vector<uint8_t> want = {0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80,
                                       0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(mem, mem + 12), want);
    // Nothing reached the columns 4091-4095 the wrap passes through.
    for (uint32_t x = 4091; x < 4096; x++)
        EXPECT_EQ(mem[x], 0) << x;
    EXPECT_EQ(failureText(), "");
}

// ---- pixel sizes: host pixels, fills and read-back ----

struct SizeCase {
    int bits;
    std::vector<uint32_t> pixels; // one row, left to right
    std::vector<uint16_t> words;  // the same row as transfers
};

class S3PixelSizes : public S3Engine, public ::testing::WithParamInterface<SizeCase> {
  protected:
    // The pixel at x of row y, addressed independently of the model.
    uint32_t pixel(int x, int y) const {
        const int bits = GetParam().bits;
        const size_t bit = size_t((y * kLine + x) * bits);
        const uint8_t *p = mem + bit / 8;
        switch (bits) {
        case 4:
            return bit % 8 ? (*p & 0x0Fu) : uint32_t(*p >> 4);
        case 8:
            return *p;
        case 16:
            return uint32_t(p[0] | p[1] << 8);
        default:
            return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
        }
    }
};

// A row written as host pixels lands packed as the pixel size packs it, reads
// back as the same transfers, and a fill at that size uses the whole colour
// (two halves, low first, at 32 bits).
TEST_P(S3PixelSizes, HostPixelsFillAndReadBack) {
    const SizeCase &c = GetParam();
    core->setPixelBits(c.bits);
    const int w = int(c.pixels.size());
    regs({{kFgMix, kCopy | 0x40}});
    rect(3, 2, w, 2, kHostPixels);
    for (int row = 0; row < 2; row++)
        for (uint16_t word : c.words)
            outw(kData, word);
    waitIdle();
    for (int row = 0; row < 2; row++)
        for (int i = 0; i < w; i++)
            EXPECT_EQ(pixel(3 + i, 2 + row), c.pixels[size_t(i)]) << "row " << row << " " << i;
    EXPECT_EQ(pixel(2, 2), 0u);
    EXPECT_EQ(pixel(3 + w, 2), 0u);

    rect(3, 3, w, 1, kReadBack);
    waitData();
    std::vector<uint16_t> back(c.words.size());
    ioInsw(kData, back.data(), uint32_t(back.size()));
    EXPECT_EQ(back, c.words);
    EXPECT_FALSE(core->transferOwed());

    const uint32_t colour = c.bits == 32 ? 0x89ABCDEFu : (1u << c.bits) - 2;
    if (c.bits == 32)
        regs({{kFg, 0xCDEF}, {kFg, 0x89AB}, {kFgMix, kCopy | 0x20}});
    else
        regs({{kFg, uint16_t(colour)}, {kFgMix, kCopy | 0x20}});
    rect(1, 6, 3, 1, kFill);
    waitIdle();
    EXPECT_EQ(pixel(0, 6), 0u);
    for (int x = 1; x < 4; x++)
        EXPECT_EQ(pixel(x, 6), colour) << x;
    EXPECT_EQ(pixel(4, 6), 0u);
    EXPECT_EQ(failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, S3PixelSizes,
    ::testing::Values(SizeCase{4, {1, 2, 3, 4, 5}, {0x3412, 0x0050}},
                      SizeCase{8, {0x11, 0x22, 0x33}, {0x2211, 0x0033}},
                      SizeCase{16, {0x1234, 0xFEDC}, {0x1234, 0xFEDC}},
                      SizeCase{32, {0x12345678, 0xCAFEF00D}, {0x5678, 0x1234, 0xF00D, 0xCAFE}}),
    [](const ::testing::TestParamInfo<SizeCase> &i) {
        return std::to_string(i.param.bits) + "_bits";
    });

// Fills at every pixel size over memory that holds other values, each alu
// that leaves the destination unread and some that read it, with the whole
// write mask and part of it: rectangles inside the scissors, cut by them on
// every side, starting on an odd pixel (half a byte at 4 bits), one pixel
// wide, and wrapping from column 4095 to column 0. Every byte of video
// memory is as the pixel-by-pixel rule leaves it.
class S3Fills : public S3Engine, public ::testing::WithParamInterface<int> {};

TEST_P(S3Fills, MatchThePixelByPixelRule) {
    const int bits = GetParam();
    core->setPixelBits(bits);
    const uint32_t pm = bits == 32 ? ~0u : (1u << bits) - 1;
    auto at = [&](std::vector<uint8_t> &m, int x, int y) -> uint8_t * {
        return m.data() + size_t((y * kLine + x) * bits) / 8;
    };
    auto get = [&](std::vector<uint8_t> &m, int x, int y) -> uint32_t {
        const uint8_t *p = at(m, x, y);
        if (bits == 4)
            return x % 2 ? (*p & 0x0Fu) : uint32_t(*p >> 4);
        uint32_t v = 0;
        for (int k = 0; k < bits / 8; k++)
            v |= uint32_t(p[k]) << (8 * k);
        return v;
    };
    auto set = [&](std::vector<uint8_t> &m, int x, int y, uint32_t v) {
        uint8_t *p = at(m, x, y);
        if (bits == 4)
            *p = x % 2 ? uint8_t((*p & 0xF0) | (v & 0x0F)) : uint8_t((*p & 0x0F) | (v & 0x0F) << 4);
        else
            for (int k = 0; k < bits / 8; k++)
                p[k] = uint8_t(v >> (8 * k));
    };
    auto write32 = [&](uint16_t port, uint32_t v) {
        if (bits == 32)
            regs({{port, uint16_t(v)}, {port, uint16_t(v >> 16)}});
        else
            regs({{port, uint16_t(v & pm)}});
    };
    struct Rect {
        const char *name;
        int x, y, w, h;
        int left, top, right, bottom; // scissors
    };
    const int right = kLine - 1;
    const Rect rects[] = {
        {"inside", 3, 2, 17, 5, 0, 0, right, 200},
        {"odd start, even width", 5, 9, 10, 3, 0, 0, right, 200},
        {"one pixel wide", 7, 1, 1, 6, 0, 0, right, 200},
        {"cut on every side", 1, 1, 40, 12, 4, 3, 30, 9},
        {"wholly outside the scissors", 40, 20, 5, 5, 0, 0, 30, 10},
        {"wraps from column 4095", 4093, 4, 8, 2, 0, 0, right, 200},
    };
    const int alus[] = {GXclear, GXcopy, GXcopyInverted, GXset, GXxor, GXand, GXinvert, GXnoop};
    uint32_t seed = 12345;
    std::vector<uint8_t> want(kVram);
    for (uint32_t wmask : {pm, 0x5A5A5A5Au & pm})
        for (const Rect &r : rects)
            for (int alu : alus) {
                SCOPED_TRACE(std::string(r.name) + ", alu " + std::to_string(alu) +
                             ", write mask " + std::to_string(wmask));
                for (uint32_t i = 0; i < kVram; i++) {
                    seed = seed * 1103515245u + 12345u;
                    mem[i] = uint8_t(seed >> 16);
                }
                std::memcpy(want.data(), mem, kVram);
                const uint32_t fg = 0xC3A5F00Fu & pm;
                scissors(r.left, r.top, r.right, r.bottom);
                write32(kWmask, wmask);
                write32(kFg, fg);
                regs({{kFgMix, uint16_t(kRasterOps[size_t(alu)] | 0x20)}});
                rect(r.x, r.y, r.w, r.h, kFill);
                waitIdle();
                for (int row = 0; row < r.h; row++)
                    for (int col = 0; col < r.w; col++) {
                        const int x = (r.x + col) & 0xFFF, y = (r.y + row) & 0xFFF;
                        if (x < r.left || x > r.right || y < r.top || y > r.bottom)
                            continue;
                        const uint32_t d = get(want, x, y);
                        const uint32_t v = uint32_t(ref::applyAlu(alu, fg, d));
                        set(want, x, y, ((v & wmask) | (d & ~wmask)) & pm);
                    }
                size_t differ = 0, first = 0;
                for (size_t i = 0; i < kVram; i++)
                    if (mem[i] != want[i] && differ++ == 0)
                        first = i;
                EXPECT_EQ(differ, 0u) << "bytes differ, the first at offset " << first << " (line "
                                      << first / size_t(kLine * bits / 8) << ")";
                ASSERT_EQ(failureText(), "");
            }
}

INSTANTIATE_TEST_SUITE_P(Sizes, S3Fills, ::testing::Values(4, 8, 16, 32),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::to_string(i.param) + "_bits";
                         });

// Reading a rectangle back is a stream, not a poll: a read-back of more
// identical words than the watchdog allows for a poll still ends.
TEST_F(S3Engine, LongReadBackOfEqualWordsIsNoEndlessPoll) {
    m->setPollLimit(100);
    regs({{kFgMix, kCopy | 0x40}});
    rect(0, 0, kLine, 8, kReadBack); // 8 rows of 32 words, all 0
    waitData();
    std::vector<uint16_t> back(size_t(kLine / 2) * 8, 0xFFFF);
    ioInsw(kData, back.data(), uint32_t(back.size()));
    EXPECT_EQ(back, std::vector<uint16_t>(back.size(), 0));
    EXPECT_FALSE(core->transferOwed());
    EXPECT_EQ(failureText(), "");
}

// ---- lines and points ----

// Segments in every octant against the reference renderer's ZeroSegRec rule,
// with error terms at the ends of their register widths.
TEST_F(S3Engine, LinesFollowTheZeroSegmentRule) {
    struct Seg {
        int signdx, signdy, axis, x1, y1, e, e1, e2, len;
    };
    const Seg segs[] = {
        {1, 1, 0, 2, 2, -3, 6, -10, 12},
        {-1, 1, 0, 40, 3, 1, 4, -12, 9},
        {1, -1, 1, 5, 30, 0, 10, -4, 14},
        {-1, -1, 1, 50, 40, -7, 4, -6, 20},
        {1, 1, 1, 20, 2, 2, 2, -8, 7},
        {1, -1, 0, 3, 50, -4095, 4095, -8192, 30},
        {-1, 1, 0, 60, 10, 4095, -4096, 8191, 5},
        {1, 1, 0, 0, 0, 0, 0, 0, 1},
    };
    std::memset(mem, 0, kVram);
    ref::Canvas want(kLine, 64, 1, 8, kLine);
    ref::GCValues gc;
    gc.fg = 0x6D;
    gc.alu = GXxor;
    regs({{kFgMix, uint16_t(kRasterOps[GXxor] | 0x20)}, {kFg, 0x6D}});
    for (const Seg &s : segs) {
        ref::zeroSeg(want, gc, s.signdx, s.signdy, s.axis, s.x1, s.y1, s.e, s.e1, s.e2, s.len);
        uint16_t cmd = s.axis ? 0x2057 : 0x2017;
        if (s.signdx > 0)
            cmd |= 0x20;
        if (s.signdy > 0)
            cmd |= 0x80;
        regs({{kCurX, uint16_t(s.x1)},
              {kCurY, uint16_t(s.y1)},
              {kErr, uint16_t(s.e)},
              {kDestY, uint16_t(s.e1)},
              {kDestX, uint16_t(s.e2)},
              {kCount, uint16_t(s.len)},
              {kCmd, cmd}});
    }
    waitIdle();
    const ref::Diff d = ref::compare(want, mem, kLine);
    EXPECT_EQ(d.count, 0) << d.describe();
    EXPECT_EQ(failureText(), "");
}

TEST_F(S3Engine, PointCommandDrawsCountPlusOnePixelsRightwards) {
    regs({{kFgMix, kCopy | 0x20}, {kFg, 0x3C}, {kCurX, 7}, {kCurY, 4}, {kCount, 2}});
    regs({{kCmd, kPoint}});
    waitIdle();
    EXPECT_EQ(std::vector<uint8_t>(&px(6, 4), &px(11, 4)),
              std::vector<uint8_t>({0, 0x3C, 0x3C, 0x3C, 0}));
    EXPECT_EQ(px(7, 3), 0);
    EXPECT_EQ(px(7, 5), 0);
}

// ---- status, FIFO and the registers read back ----

TEST_F(S3Engine, QueueDrainsOneEntryPerStatusRead) {
    EXPECT_EQ(status(), 0u); // idle, empty
    for (int i = 0; i < 8; i++)
        outw(kCurX, uint16_t(i));
    const uint16_t want[] = {0x2FF, 0x27F, 0x23F, 0x21F, 0x20F, 0x207, 0x203, 0x201, 0x000};
    for (uint16_t w : want)
        EXPECT_EQ(status(), w);
    // A wait for two free entries after a full queue sees them after two reads.
    for (int i = 0; i < 8; i++)
        outw(kCurX, uint16_t(i));
    int reads = 0;
    while (status() & 0x40)
        reads++;
    EXPECT_EQ(reads, 2);
    outw(kCurX, 1);
    outw(kCurX, 2);
    EXPECT_EQ(failureText(), "");
}

TEST_F(S3Engine, ErrorTermReadsBackAsWrittenAndResetDropsOwedWords) {
    regs({{kErr, 0xF123}});
    EXPECT_EQ(inw(kErr), 0xF123);
    regs({{kFgMix, kCopy | 0x40}});
    rect(0, 0, 8, 2, kHostPixels);
    outw(kData, 0x0101);
    EXPECT_TRUE(core->transferOwed());
    outw(kReset, 0x9000);
    outw(kReset, 0x400F);
    EXPECT_FALSE(core->transferOwed());
    EXPECT_EQ(status() & sim::s3status::Busy, 0);
    outw(kCurX, 0);
    EXPECT_EQ(core->stats().resets, 1u);
    EXPECT_EQ(failureText(), "");
}

// ---- strictness ----

struct StrictCase {
    const char *what;
    std::function<void(S3Engine &)> run;
    const char *message;
};

class S3Strict : public S3Engine, public ::testing::WithParamInterface<StrictCase> {};

TEST_P(S3Strict, ViolationIsReported) {
    EXPECT_FALSE(failedWith(GetParam().message));
    GetParam().run(*this);
    EXPECT_TRUE(failedWith(GetParam().message)) << failureText();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, S3Strict,
    ::testing::Values(
        StrictCase{"write_before_any_status_read", [](S3Engine &) { outw(kCurX, 1); },
                   "beyond the FIFO room"},
        StrictCase{"nine_writes_after_an_empty_queue",
                   [](S3Engine &) {
                       inw(kStatus);
                       for (int i = 0; i < 9; i++)
                           outw(kCurX, uint16_t(i));
                   },
                   "beyond the FIFO room"},
        StrictCase{"write_after_a_read_that_showed_a_full_queue",
                   [](S3Engine &) {
                       inw(kStatus);
                       for (int i = 0; i < 8; i++)
                           outw(kCurX, uint16_t(i));
                       inw(kStatus); // shows 0 free, though one entry drains
                       outw(kCurX, 9);
                   },
                   "beyond the FIFO room"},
        StrictCase{"host_data_command_while_busy",
                   [](S3Engine &s) {
                       s.regs({{kFgMix, kCopy | 0x20}});
                       s.rect(0, 0, 4, 4, kFill);
                       s.regs({{kFgMix, kCopy | 0x40}, {kCmd, kHostPixels}});
                   },
                   "while the engine is busy"},
        StrictCase{"read_back_command_while_busy",
                   [](S3Engine &s) {
                       s.rect(0, 0, 4, 4, kFill);
                       s.regs({{kCmd, kReadBack}});
                   },
                   "while the engine is busy"},
        StrictCase{"register_write_while_words_owed",
                   [](S3Engine &s) {
                       s.regs({{kFgMix, kCopy | 0x40}});
                       s.rect(0, 0, 4, 1, kHostPixels);
                       outw(kData, 0x0101);
                       outw(kCurX, 0);
                   },
                   "while pixel-transfer words are owed"},
        StrictCase{"word_not_owed",
                   [](S3Engine &s) {
                       s.regs({{kFgMix, kCopy | 0x40}});
                       s.rect(0, 0, 2, 1, kHostPixels);
                       outw(kData, 0x0101);
                       outw(kData, 0x0101);
                   },
                   "that no command asked for"},
        StrictCase{"read_not_owed", [](S3Engine &) { inw(kData); }, "that no command asked for"},
        StrictCase{"read_before_data_ready",
                   [](S3Engine &s) {
                       s.rect(0, 0, 2, 1, kReadBack);
                       inw(kData);
                   },
                   "before a status read showed data ready"},
        StrictCase{"half_written_colour",
                   [](S3Engine &s) {
                       s.core->setPixelBits(32);
                       s.regs({{kFgMix, kCopy | 0x20}, {kFg, 0x1234}});
                       s.rect(0, 0, 1, 1, kFill);
                   },
                   "has only its low half written"},
        StrictCase{"processor_access_while_busy",
                   [](S3Engine &s) {
                       s.rect(0, 0, 1, 1, kFill);
                       mmRead8(s.fb);
                   },
                   "processor access to video memory"},
        StrictCase{"operation_past_video_memory",
                   [](S3Engine &s) { s.rect(0, kVram / kLine, 1, 1, kFill); }, "past video memory"},
        StrictCase{"unknown_command",
                   [](S3Engine &s) {
                       s.regs({{kCmd, 0x1234}});
                   },
                   "unknown command word 0x1234"},
        StrictCase{"host_bits_without_pixel_control",
                   [](S3Engine &s) { s.rect(0, 0, 8, 1, kHostBits16); }, "host bits need 0xA080"}),
    [](const ::testing::TestParamInfo<StrictCase> &i) { return std::string(i.param.what); });

// The guard is the machine's: it names the video memory, not the engine. Pin
// that the engine keeps it up until the busy reads have passed.
TEST_F(S3Engine, VideoMemoryIsFreeOnceTheStatusReadsIdle) {
    regs({{kFgMix, kCopy | 0x20}, {kFg, 0x21}});
    rect(0, 0, 2, 1, kFill);
    EXPECT_TRUE(core->busy());
    waitIdle();
    EXPECT_FALSE(core->busy());
    EXPECT_EQ(mmRead8(fb + 1), 0x21);
    EXPECT_EQ(failureText(), "");
}

TEST_F(S3Engine, PastVideoMemoryDrawsNothing) {
    regs({{kFgMix, kCopy | 0x20}, {kFg, 0x77}});
    rect(kLine - 2, kVram / kLine - 1, 4, 2, kFill); // the second row is beyond
    waitIdle();
    EXPECT_TRUE(failedWith("past video memory"));
    EXPECT_EQ(mem[kVram - 1], 0);
}

// ---- the memory-mapped window ----

class S3Window : public S3Engine {
  public:
    void SetUp() override {
        S3Engine::SetUp();
        win = m->addArea("window", 0xA0000, sim::S3EngineWindow::kSize);
        window = m->own<sim::S3EngineWindow>(*core);
        m->mapDevice(win, sim::S3EngineWindow::kSize, window);
    }
    void store(uint16_t port, uint16_t v) { mmWrite16(win + port, v); }
    uint8_t *win = nullptr;
    sim::S3EngineWindow *window = nullptr;
};

TEST_F(S3Window, StoresAreReportedUntilTheWindowIsTurnedOn) {
    store(kCurX, 1);
    EXPECT_TRUE(failedWith("before 0x4AE8 bit 0x20"));
    EXPECT_EQ(core->regs().curX, 0);
    outw(kAdvanced, 0x0021);
    EXPECT_EQ(inw(kAdvanced), 0x0021);
    inw(kStatus);
    store(kCurX, 1);
    EXPECT_EQ(core->regs().curX, 1);
}

// Registers at offset = port number; the transfer area takes 32-bit stores as
// two transfers, 16-bit ones as one and a byte store as one with its high
// byte 0; reads mirror that.
TEST_F(S3Window, RegistersAndTransfersThroughTheWindow) {
    outw(kAdvanced, 0x0020);
    inw(kStatus);
    store(kFgMix, kCopy | 0x40);
    store(kCurX, 4);
    store(kCurY, 1);
    store(kCount, 4); // 5 pixels, 3 transfers a row
    store(kMulti, 1); // 2 rows
    waitIdle();
    store(kCmd, kHostPixels);
    mmWrite32(win, 0x44332211);
    mmWrite8(win + 0x10, 0x55);
    mmWrite16(win + 0x7FFE, 0x7766);
    mmWrite32(win + 0x100, 0xAA998877);
    EXPECT_FALSE(core->transferOwed());
    waitIdle();
    EXPECT_EQ(std::vector<uint8_t>(&px(4, 1), &px(10, 1)),
              std::vector<uint8_t>({0x11, 0x22, 0x33, 0x44, 0x55, 0}));
    EXPECT_EQ(std::vector<uint8_t>(&px(4, 2), &px(9, 2)),
              std::vector<uint8_t>({0x66, 0x77, 0x77, 0x88, 0x99}));

    // Three pixels read back: two transfers, the second with the last pixel
    // in its low byte; once as one 32-bit load, once as 16 and 8 bits.
    store(kCount, 2);
    store(kMulti, 0);
    waitIdle();
    store(kCmd, kReadBack);
    waitData();
    EXPECT_EQ(mmRead32(win), 0x00332211u);
    EXPECT_FALSE(core->transferOwed());
    waitIdle();
    store(kCmd, kReadBack);
    waitData();
    EXPECT_EQ(mmRead16(win + 0x20), 0x2211);
    EXPECT_EQ(mmRead8(win + 0x21), 0x33);
    EXPECT_FALSE(core->transferOwed());
    EXPECT_EQ(failureText(), "");
}

} // namespace
