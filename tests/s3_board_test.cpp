// The "s3" board model on its own: the CRTC at the port pair the
// miscellaneous output selects, the S3 register locks, the memory code, the
// engine's port gate and line width, blanking, the two meanings of MEMORY,
// and the hardware cursor. Ports and memory are reached as a driver reaches
// them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "hwio.h"
#include "machine.h"
#include "models/s3_board.h"
#include "nfb.h"

namespace {

using sim::S3Adapter;
using sim::S3Cursor;

constexpr uint32_t kHalfMeg = 0x80000;

class S3BoardTest : public ::testing::Test {
  public:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        build(base());
    }

    graf::Builder base() const {
        graf::Builder b;
        b.adapter("s3").integer("MEMSIZE", int(kHalfMeg)).memory("", 0xE0000000, kHalfMeg);
        return b;
    }
    void build(const graf::Builder &b) {
        cfg = b.build();
        adapter.reset(static_cast<S3Adapter *>(sim::makeAdapter(cfg, *m).release()));
        ASSERT_NE(adapter, nullptr);
        mem = adapter->vram()->data();
    }

    void cr(uint8_t index, uint8_t value) { outw(0x3D4, uint16_t(value << 8 | index)); }
    uint8_t crIn(uint8_t index) {
        outb(0x3D4, index);
        return inb(0x3D5);
    }
    void unlock() {
        cr(0x38, 0x48);
        cr(0x39, 0xA5);
    }
    void enginePortsOn() {
        unlock();
        cr(0x40, crIn(0x40) | 0x01);
    }
    // A one-line fill through the engine's ports, waited for.
    void fill(int x, int y, int w, uint16_t colour) {
        inw(0x9AE8);
        outw(0xBAE8, 0x27);
        outw(0xA6E8, colour);
        outw(0x86E8, uint16_t(x));
        outw(0x82E8, uint16_t(y));
        outw(0x96E8, uint16_t(w - 1));
        outw(0xBEE8, 0x0000);
        outw(0x9AE8, 0x52B3);
        for (int i = 0; i < 100 && (inw(0x9AE8) & 0x200); i++) {
        }
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

    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<S3Adapter> adapter;
    uint8_t *mem = nullptr;
};

// ---- CRTC ports ----

TEST_F(S3BoardTest, CrtcAndStatusFollowMiscOutputBitZero) {
    EXPECT_FALSE(adapter->monoCrtc());
    cr(0x0E, 0x12);
    EXPECT_EQ(adapter->cr(0x0E), 0x12);
    EXPECT_EQ(failureText(), "");

    outb(0x3C2, 0x66); // bit 0 clear: the 0x3Bx pair
    EXPECT_TRUE(adapter->monoCrtc());
    outw(0x3B4, 0x340E);
    EXPECT_EQ(adapter->cr(0x0E), 0x34);
    outb(0x3B4, 0x0E);
    EXPECT_EQ(inb(0x3B5), 0x34);
    outb(0x3C0, 0x11); // attribute index; a status read sends the flip-flop back
    inb(0x3BA);
    EXPECT_TRUE(adapter->vga().attr.expectingIndex());
    EXPECT_EQ(failureText(), "");

    cr(0x0E, 0x56);
    EXPECT_TRUE(failedWith("selects the ports at 0x3B4"));
    EXPECT_EQ(adapter->cr(0x0E), 0x34);
}

// ---- locks ----

struct LockCase {
    const char *what;
    uint8_t index;
    std::vector<std::pair<uint8_t, uint8_t>> keys; // CRTC writes before the write
    bool lands;
};

class S3Locks : public S3BoardTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(S3Locks, WriteLandsOnlyWhenUnlocked) {
    const LockCase &c = GetParam();
    for (auto [index, value] : c.keys)
        cr(index, value);
    const uint8_t before = adapter->cr(c.index);
    cr(c.index, 0x5B);
    EXPECT_EQ(adapter->cr(c.index), c.lands ? 0x5B : before);
    if (c.lands) {
        EXPECT_TRUE(adapter->lockedWrites().empty());
    } else {
        ASSERT_EQ(adapter->lockedWrites().size(), 1u);
        EXPECT_EQ(adapter->lockedWrites()[0].index, c.index);
        EXPECT_EQ(adapter->lockedWrites()[0].value, 0x5B);
    }
    EXPECT_EQ(failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, S3Locks,
    ::testing::Values(LockCase{"standard_register", 0x0E, {}, true},
                      LockCase{"cr31_locked", 0x31, {}, false},
                      LockCase{"cr31_by_cr38", 0x31, {{0x38, 0x48}}, true},
                      LockCase{"cr31_wrong_key", 0x31, {{0x38, 0x49}}, false},
                      LockCase{"cr31_not_by_cr39", 0x31, {{0x39, 0xA5}}, false},
                      LockCase{"cr30_locked", 0x30, {}, false},
                      LockCase{"cr45_locked", 0x45, {}, false},
                      LockCase{"cr45_by_cr39", 0x45, {{0x39, 0xA5}}, true},
                      LockCase{"cr45_by_relock_key", 0x45, {{0x39, 0xAD}}, true},
                      LockCase{"cr45_not_by_cr38", 0x45, {{0x38, 0x48}}, false},
                      LockCase{"cr45_wrong_key", 0x45, {{0x39, 0x5A}}, false},
                      LockCase{"cr50_relocked", 0x50, {{0x39, 0xA5}, {0x39, 0x00}}, false},
                      LockCase{"cr38_itself", 0x38, {}, true}),
    [](const ::testing::TestParamInfo<LockCase> &i) { return std::string(i.param.what); });

// ---- memory ----

TEST_F(S3BoardTest, MemoryCodeInCr36ForEverySize) {
    const std::pair<uint32_t, uint8_t> sizes[] = {
        {0x80000, 0xE0}, {0x100000, 0xC0}, {0x200000, 0x80}, {0x300000, 0x40}, {0x400000, 0x00}};
    for (auto [size, code] : sizes) {
        SCOPED_TRACE(size);
        sim::Machine::reset();
        m = &sim::Machine::current();
        build(base().integer("MEMSIZE", int(size)).memory("", 0xE0000000, size));
        EXPECT_EQ(adapter->memSize(), size);
        EXPECT_EQ((crIn(0x36) | crIn(0x37) << 8) & 0xE0, code);
    }
    graf::Config bad = base().integer("MEMSIZE", 0x180000).build();
    EXPECT_THROW(sim::makeAdapter(bad, *m), std::invalid_argument);
}

TEST_F(S3BoardTest, MemoryIsTheLinearFrameBufferByDefault) {
    EXPECT_FALSE(adapter->engineWindow());
    mem[0x1234] = 0x77;
    EXPECT_EQ(adapter->memory()[0x1234], 0x77);
    EXPECT_EQ(cfg.areas[0].mapped, adapter->memory());
}

TEST_F(S3BoardTest, MemoryIsTheEngineWindowByKey) {
    sim::Machine::reset();
    m = &sim::Machine::current();
    build(base().string("MEMORYMAP", "engine").memory("", 0xA0000, 0x10000));
    ASSERT_TRUE(adapter->engineWindow());
    uint8_t *win = adapter->memory();
    enginePortsOn();
    inw(0x9AE8);
    mmWrite16(win + 0xA6E8, 0x42);
    EXPECT_TRUE(failedWith("before 0x4AE8 bit 0x20"));

    outw(0x4AE8, inw(0x4AE8) | 0x20);
    inw(0x9AE8);
    mmWrite16(win + 0xBAE8, 0x47); // host data, copy
    mmWrite16(win + 0x86E8, 2);
    mmWrite16(win + 0x82E8, 1);
    mmWrite16(win + 0x96E8, 3);
    mmWrite16(win + 0xBEE8, 0);
    for (int i = 0; i < 100 && (inw(0x9AE8) & 0x200); i++) {
    }
    mmWrite16(win + 0x9AE8, 0x53F1);
    mmWrite32(win, 0x44332211);
    EXPECT_EQ(std::vector<uint8_t>(mem + 1024 + 2, mem + 1024 + 6),
              std::vector<uint8_t>({0x11, 0x22, 0x33, 0x44}));

    graf::Config bad = base().string("MEMORYMAP", "banked").build();
    EXPECT_THROW(sim::makeAdapter(bad, *m), std::invalid_argument);
}

// ---- engine gate and line width ----

TEST_F(S3BoardTest, EnginePortsAreDeadWhileCr40BitZeroIsClear) {
    EXPECT_FALSE(adapter->enginePortsOn());
    inw(0x9AE8);
    EXPECT_TRUE(failedWith("switched off"));
    outw(0x86E8, 5);
    EXPECT_EQ(adapter->engine().regs().curX, 0);

    m->clearTrace();
    sim::Machine::reset();
    m = &sim::Machine::current();
    build(base());
    cr(0x40, 0x01); // locked: ignored
    EXPECT_FALSE(adapter->enginePortsOn());
    enginePortsOn();
    fill(3, 0, 2, 0x9C);
    EXPECT_EQ(std::vector<uint8_t>(mem + 2, mem + 6), std::vector<uint8_t>({0, 0x9C, 0x9C, 0}));
    EXPECT_EQ(failureText(), "");
}

struct WidthCase {
    uint8_t cr50;
    uint32_t pixels;
    int bits;
};

class S3LineWidth : public S3BoardTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(S3LineWidth, Cr50SetsTheEngineLine) {
    const WidthCase &c = GetParam();
    enginePortsOn();
    cr(0x50, c.cr50);
    EXPECT_EQ(adapter->displayPitch(), c.pixels * uint32_t(c.bits) / 8);
    fill(0, 1, 1, 0x00A5);
    const uint32_t at = c.pixels * uint32_t(c.bits) / 8;
    EXPECT_EQ(mem[at], 0xA5);
    EXPECT_EQ(mem[at - 1], 0);
    EXPECT_EQ(failureText(), "");
}

INSTANTIATE_TEST_SUITE_P(Codes, S3LineWidth,
                         ::testing::Values(WidthCase{0x00, 1024, 8}, WidthCase{0x01, 1152, 8},
                                           WidthCase{0x40, 640, 8}, WidthCase{0x80, 800, 8},
                                           WidthCase{0x81, 1600, 8}, WidthCase{0xC0, 1280, 8},
                                           WidthCase{0x10, 1024, 16}, WidthCase{0xD0, 1280, 16}),
                         [](const ::testing::TestParamInfo<WidthCase> &i) {
                             return "cr50_" + std::to_string(i.param.cr50);
                         });

TEST_F(S3BoardTest, LineWidthCodeWithoutAWidthStopsTheEngine) {
    enginePortsOn();
    cr(0x50, 0x41);
    EXPECT_EQ(failureText(), ""); // the register itself takes the value
    fill(0, 0, 1, 0x11);
    EXPECT_TRUE(failedWith("no valid line width"));
    EXPECT_EQ(mem[0], 0);
}

TEST_F(S3BoardTest, Sr1BitFiveBlanks) {
    outw(0x3C4, 0x0101);
    EXPECT_FALSE(adapter->blanked());
    outw(0x3C4, 0x2101);
    EXPECT_TRUE(adapter->blanked());
}

// ---- cursor ----

// One pixel of each kind per pair of words, read in both CR55 modes.
TEST_F(S3BoardTest, CursorImageFromVideoMemoryInBothWordModes) {
    const uint32_t at = 3 * 1024;
    // Row 0: pixel 0 first 1 second 0, pixel 1 first 1 second 1, pixel 2 first
    // 0 second 1, pixel 3 first 0 second 0; pixel 9 (high byte) first 1
    // second 1; pixel 63 (last pair) first 0 second 1.
    mem[at + 0] = 0xC0;      // first word, low byte: pixels 0, 1
    mem[at + 1] = 0x40;      // first word, high byte: pixel 9
    mem[at + 2] = 0x60;      // second word, low byte: pixels 1, 2
    mem[at + 3] = 0x40;      // second word, high byte: pixel 9
    mem[at + 12 + 3] = 0x01; // last pair's second word, pixel 63
    unlock();
    cr(0x4C, 0x00);
    cr(0x4D, 0x03);
    EXPECT_EQ(adapter->cursor().imageOffset(), at);

    using P = S3Cursor::Pixel;
    struct Mode {
        uint8_t cr55;
        P p0, p1, p2, p3, p9, p63;
    };
    const Mode modes[] = {
        {0x10, P::Background, P::Foreground, P::Transparent, P::Transparent, P::Foreground,
         P::Transparent},
        {0x00, P::Transparent, P::Invert, P::Foreground, P::Background, P::Invert, P::Foreground},
    };
    for (const Mode &mode : modes) {
        SCOPED_TRACE(int(mode.cr55));
        cr(0x55, mode.cr55);
        const S3Cursor::Image img = adapter->cursor().image();
        EXPECT_EQ(img[0][0], mode.p0);
        EXPECT_EQ(img[0][1], mode.p1);
        EXPECT_EQ(img[0][2], mode.p2);
        EXPECT_EQ(img[0][3], mode.p3);
        EXPECT_EQ(img[0][9], mode.p9);
        EXPECT_EQ(img[0][63], mode.p63);
    }
}

TEST_F(S3BoardTest, CursorPositionColoursAndHiddenEdges) {
    const uint32_t at = 0;
    std::memset(mem + at, 0, 1024);
    mem[at + 16 * 3 + 0] = 0x10; // row 3, pixel 3: mask
    mem[at + 16 * 3 + 2] = 0x10; // source: foreground
    unlock();
    cr(0x55, 0x10);
    cr(0x0E, 0x0F);
    cr(0x0F, 0x01);
    cr(0x46, 0x01); // x 0x102
    cr(0x47, 0x02);
    cr(0x48, 0x00); // y 0x20
    cr(0x49, 0x20);
    cr(0x4E, 2); // two columns and one row hidden
    cr(0x4F, 1);
    EXPECT_EQ(adapter->cursor().x(), 0x102);
    EXPECT_EQ(adapter->cursor().y(), 0x20);
    EXPECT_EQ(adapter->cursor().foreground(), 0x0F);
    EXPECT_EQ(adapter->cursor().background(), 0x01);
    EXPECT_EQ(adapter->cursor().at(0x102 + 1, 0x20 + 2), S3Cursor::Pixel::Transparent); // off
    cr(0x45, 0x01);
    EXPECT_TRUE(adapter->cursor().enabled());
    EXPECT_EQ(adapter->cursor().at(0x102 + 1, 0x20 + 2), S3Cursor::Pixel::Foreground);
    EXPECT_EQ(adapter->cursor().at(0x102 + 3, 0x20 + 3), S3Cursor::Pixel::Transparent);
    EXPECT_EQ(adapter->cursor().at(0x102 + 62, 0x20), S3Cursor::Pixel::Transparent);
    EXPECT_EQ(adapter->cursor().at(0x101, 0x20 + 2), S3Cursor::Pixel::Transparent);
    EXPECT_NE(adapter->describe().find("cursor at (258, 32)"), std::string::npos);
}

} // namespace
