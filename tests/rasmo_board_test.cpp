// The "mach32" board model on its own: the memory size, the pitch and pixel
// size registers, the 6-bit DAC at the 8514/A DAC ports, and the engine's
// extended registers (the 16-entry FIFO and its status, the data path, the
// mixes and scissors that are the core's). Ports are reached as a driver
// reaches them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "adapter.h"
#include "grafstore.h"
#include "machine.h"
#include "models/mach32_board.h"
#include "nfb.h"

namespace {

using sim::Mach32Adapter;

class Mach32BoardTest : public ::testing::Test {
  public:
    void SetUp() override { build(0x100000); }
    void build(int memSize) {
        sim::Machine::reset();
        m = &sim::Machine::current();
        graf::Builder b;
        b.adapter("mach32").integer("MEMSIZE", memSize);
        cfg = b.build();
        adapter.reset(static_cast<Mach32Adapter *>(sim::makeAdapter(cfg, *m).release()));
        ASSERT_NE(adapter, nullptr);
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
    std::unique_ptr<Mach32Adapter> adapter;
};

TEST_F(Mach32BoardTest, MemorySizeCode) {
    const std::pair<int, uint16_t> sizes[] = {
        {0x80000, 0x0}, {0x100000, 0x4}, {0x200000, 0x8}, {0x400000, 0xC}};
    for (const auto &[size, code] : sizes) {
        build(size);
        EXPECT_EQ(inw(0x36EE), code) << size;
    }
    EXPECT_THROW(build(0x300000), std::invalid_argument);
}

TEST_F(Mach32BoardTest, PitchAndPixelSize) {
    EXPECT_EQ(adapter->displayPitch(), 0u);
    outw(0x7AEE, 0x20);
    outw(0x76EE, 104);
    EXPECT_EQ(adapter->engine().pixelBits(), 16);
    EXPECT_EQ(adapter->displayPitch(), 1664u);
    outw(0x7AEE, 0x10);
    EXPECT_EQ(adapter->displayPitch(), 832u);
    EXPECT_EQ(failureText(), "");
    outw(0x7AEE, 0x30);
    EXPECT_TRUE(failedWith("pixel size"));
    EXPECT_EQ(adapter->engine().pixelBits(), 8);
}

TEST_F(Mach32BoardTest, SixBitDacAtThe8514Ports) {
    outb(0x2EC, 5);
    outb(0x2ED, 0xFF);
    outb(0x2ED, 0x20);
    outb(0x2ED, 0x01);
    outb(0x2EA, 0x0F);
    EXPECT_EQ(adapter->dac().entry(5), (sim::vga::Dac::Entry{63, 32, 1}));
    EXPECT_EQ(adapter->dac().mask(), 0x0F);
    EXPECT_EQ(inb(0x2EA), 0x0F);
    outb(0x42EE, 0);
    EXPECT_EQ(adapter->memBoundary(), 0);
    EXPECT_EQ(failureText(), "");
}

// k queued entries set the k low bits; each status read lets one drain.
TEST_F(Mach32BoardTest, FifoStatusCountsQueuedEntries) {
    EXPECT_EQ(inw(0x9AEE), 0);
    for (int i = 0; i < 5; i++)
        outw(0xB2EE, uint16_t(i));
    EXPECT_EQ(inw(0x9AEE), 0x1F);
    EXPECT_EQ(inw(0x9AEE), 0x0F);
    EXPECT_EQ(failureText(), "");
    // Sixteen free entries: the seventeenth write is one too many.
    while (inw(0x9AEE) != 0)
        ;
    for (int i = 0; i < 16; i++)
        outw(0xDAEE, 0);
    EXPECT_EQ(failureText(), "");
    outw(0xCEEE, 0x2011);
    EXPECT_TRUE(failedWith("beyond the FIFO room the last status read showed (16 free, 16 written"))
        << failureText();
    EXPECT_EQ(inw(0x9AEE), 0xFFFF);
}

TEST_F(Mach32BoardTest, ExtendedRegistersAreTheCores) {
    inw(0x9AEE);
    outw(0xDAEE, 10);
    outw(0xDEEE, 20);
    outw(0xE2EE, 109);
    outw(0xE6EE, 219);
    outw(0xBAEE, 0x7);
    outw(0xB6EE, 0x3);
    outw(0xCEEE, 0x6011);
    outw(0xEEEE, 0);
    const sim::S3Regs &r = adapter->engine().regs();
    EXPECT_EQ(r.scissorLeft, 10);
    EXPECT_EQ(r.scissorTop, 20);
    EXPECT_EQ(r.scissorRight, 109);
    EXPECT_EQ(r.scissorBottom, 219);
    EXPECT_EQ(r.fgMix, 0x7);
    EXPECT_EQ(r.bgMix, 0x3);
    EXPECT_EQ(adapter->ext().regs().dataPath, 0x6011);
    EXPECT_EQ(failureText(), "");
}

TEST_F(Mach32BoardTest, WhatTheEngineDoesNotTakeIsReported) {
    struct Case {
        const char *what;
        void (*access)();
        const char *message;
    } cases[] = {
        {"unknown data path", [] { outw(0xCEEE, 0x1234); }, "not one the engine knows"},
        {"byte write", [] { outb(0xDAEE, 1); }, "takes 16-bit writes"},
        {"read of a write-only register", [] { inw(0xCEEE); }, "write-only"},
        {"scissor past 12 bits", [] { outw(0xE2EE, 0x1000); }, "more than 12 bits"},
        {"FIFO status write other than the rewind", [] { outw(0x9AEE, 1); }, "only 0"},
        {"a fifth end point without a rewind",
         [] {
             for (int i = 0; i < 5; i++)
                 outw(0xFEEE, 5);
         },
         "without a rewind"},
        {"rectangle with no data path", [] { outw(0xAEEE, 5); }, "data path 0x0000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        inw(0x9AEE);
        c.access();
        EXPECT_TRUE(failedWith(c.message)) << failureText();
    }
}

// ---- the extended operations ----

// A 128-pixel line at 8 bits, every FIFO entry free, scissors open, the
// mixes copying their source.
class Mach32OpsTest : public Mach32BoardTest {
  public:
    void SetUp() override {
        Mach32BoardTest::SetUp();
        outw(0x7AEE, 0x10);
        outw(0x76EE, 128 / 8);
        room();
        outw(0xE2EE, 127);
        outw(0xE6EE, 127);
        outw(0xBAEE, 0x7);
        outw(0xB6EE, 0x7);
        outw(0xA6E8, 0xAA);
        outw(0xA2E8, 0x55);
    }
    static void room() {
        while (inw(0x9AEE) != 0)
            ;
    }
    uint8_t px(int x, int y) const { return adapter->vram()->data()[y * 128 + x]; }
    // The pixels of rows y0..y1 (inclusive), columns 0..15, '.' for 0.
    std::string rows(int y0, int y1) const {
        std::string out;
        for (int y = y0; y <= y1; y++) {
            for (int x = 0; x < 16; x++)
                out += px(x, y) == 0 ? '.' : px(x, y) == 0xAA ? 'F' : px(x, y) == 0x55 ? 'B' : '?';
            out += '\n';
        }
        return out;
    }
    static void rect(int x0, int x1, int y0, int y1) {
        room();
        outw(0xA6EE, uint16_t(x0));
        outw(0xAAEE, uint16_t(x1));
        outw(0x82E8, uint16_t(y0));
        outw(0xAEEE, uint16_t(y1));
    }
};

// x covers the half-open range between x start and x end; y runs from the
// current y towards the y end, which is not drawn.
TEST_F(Mach32OpsTest, RectangleCoversItsHalfOpenRanges) {
    outw(0xCEEE, 0x2011);
    rect(2, 5, 1, 3);   // rows 1 and 2
    rect(9, 6, 4, 2);   // right to left, rows 4 and 3
    rect(-3, 1, 5, 6);  // left of column 0: only column 0
    rect(12, 12, 1, 6); // empty
    EXPECT_EQ(rows(0, 6), "................\n"
                          "..FFF...........\n"
                          "..FFF...........\n"
                          "......FFF.......\n"
                          "......FFF.......\n"
                          "F...............\n"
                          "................\n");
    EXPECT_EQ(failureText(), "");
}

// Runs of 0xA2EE bit 3: the direction in bits 5-7, bit 2 leaving the end
// pixel undrawn; the current position moves to the run's end.
TEST_F(Mach32OpsTest, RunsByDirectionFromTheCurrentPosition) {
    outw(0xCEEE, 0x2011);
    outw(0xA2EE, 12);
    outw(0x86E8, 1);
    outw(0x82E8, 1);
    outw(0x96EE, 3); // 1..3, ends at 4
    outw(0x96EE, 2); // 4..5, ends at 6
    room();
    outw(0xA2EE, 8 | 6 << 5);     // down, end pixel drawn
    outw(0x96EE, 2);              // (6, 1..3)
    outw(0xA2EE, 8 | 4 << 5 | 4); // left, end undrawn
    outw(0x96EE, 3);              // (6..4, 3)
    EXPECT_EQ(rows(0, 4), "................\n"
                          ".FFFFFF.........\n"
                          "......F.........\n"
                          "....FFF.........\n"
                          "................\n");
    EXPECT_EQ(adapter->ext().regs().curX, 3);
    EXPECT_EQ(adapter->ext().regs().curY, 3);
    EXPECT_EQ(failureText(), "");
    // Bit 3 clear: a line from the error terms, here all diagonal steps.
    room();
    outw(0xA2EE, 0x20 | 0x80);
    outw(0x92E8, 1);
    outw(0x8AE8, 0);
    outw(0x8EE8, 0);
    outw(0x96EE, 2);
    EXPECT_EQ(adapter->ext().regs().curX, 5);
    EXPECT_EQ(adapter->ext().regs().curY, 5);
    EXPECT_EQ(failureText(), "");
}

// Under 0x2031 the pattern bit at the index picks foreground or background;
// the index advances per pixel, wraps at the length and reads back.
TEST_F(Mach32OpsTest, PatternRunsStepTheIndex) {
    outw(0xCEEE, 0x2031);
    outw(0xA2EE, 12);
    outw(0x82EE, 16);
    outw(0x8EEE, 0x00F0); // pixels 0-3 set, 4-7 clear
    outw(0xD2EE, 5);      // six bits
    outw(0xD6EE, 2);
    outw(0x86E8, 0);
    outw(0x82E8, 0);
    room();
    outw(0x96EE, 8); // indices 2 3 4 5 0 1 2 3
    EXPECT_EQ(rows(0, 0), "FFBBFFFF........\n");
    EXPECT_EQ(inw(0xD6EE), 4);
    EXPECT_EQ(failureText(), "");
}

// Host pixels are one stream over the rectangle, first pixel low; words are
// owed until it is full, and a surplus one is reported.
TEST_F(Mach32OpsTest, HostPixelsAreOneStream) {
    outw(0xCEEE, 0x5211);
    rect(0, 3, 0, 3);
    room();
    for (uint16_t w : {0x0201, 0x0403, 0x0605, 0x0807})
        outw(0xE2E8, w);
    outw(0xBAEE, 0x7);
    EXPECT_TRUE(failedWith("while pixel-transfer words are owed")) << failureText();
    outw(0xE2E8, 0xEE09); // the high byte lies past the rectangle
    EXPECT_EQ(px(0, 0), 1);
    EXPECT_EQ(px(2, 0), 3);
    EXPECT_EQ(px(0, 1), 4);
    EXPECT_EQ(px(2, 2), 9);
    EXPECT_EQ(px(3, 2), 0);
    outw(0xE2E8, 0x1111);
    EXPECT_TRUE(failedWith("that no operation asked for")) << failureText();
    outw(0xCEEE, 0x4011);
    rect(0, 2, 5, 6);
    outw(0xE2E8, 0x0101);
    EXPECT_TRUE(failedWith("takes 8-bit transfers at 0xE2E9")) << failureText();
}

// Read-back: data ready shows once the FIFO has drained; a read before a
// status read showed it is reported.
TEST_F(Mach32OpsTest, ReadBackAfterDataReady) {
    for (int x = 0; x < 4; x++)
        adapter->vram()->data()[128 + x] = uint8_t(0x10 + x);
    outw(0xCEEE, 0x5210);
    rect(0, 4, 1, 2);
    int polls = 0;
    while (!(inw(0x9AE8) & 0x100) && polls < 100)
        polls++;
    EXPECT_GT(polls, 0);
    EXPECT_EQ(inw(0xE2E8), 0x1110);
    EXPECT_EQ(inw(0xE2E8), 0x1312);
    EXPECT_EQ(failureText(), "");
    rect(0, 4, 1, 2);
    inw(0xE2E8);
    EXPECT_TRUE(failedWith("before a status read showed data ready")) << failureText();
}

// A video-memory source reads from its current position through the source
// x range and wraps to the next line in 0xC2EE's direction; the read mask
// picks the plane of plane expansion.
TEST_F(Mach32OpsTest, SourceWrapsThroughItsRange) {
    uint8_t *vram = adapter->vram()->data();
    for (int x = 0; x < 128; x++) {
        vram[2 * 128 + x] = uint8_t(x);
        vram[3 * 128 + x] = uint8_t(0x80 | x);
    }
    outw(0xCEEE, 0x6011);
    room();
    outw(0xB2EE, 0);
    outw(0xBEEE, 128);
    outw(0xC2EE, 1);
    outw(0x8EE8, 124);
    outw(0x8AE8, 2);
    rect(0, 8, 10, 11);
    EXPECT_EQ(std::vector<uint8_t>(vram + 10 * 128, vram + 10 * 128 + 8),
              (std::vector<uint8_t>{124, 125, 126, 127, 0x80, 0x81, 0x82, 0x83}));
    // Right to left from just left of the current position, upwards: the
    // destination's pixels 6 down to 1 take 7..4 of line 3, then 7, 6 of
    // line 2.
    room();
    outw(0xB2EE, 8);
    outw(0xBEEE, 4);
    outw(0xC2EE, 0);
    outw(0x8EE8, 8);
    outw(0x8AE8, 3);
    rect(7, 1, 12, 13);
    EXPECT_EQ(std::vector<uint8_t>(vram + 12 * 128 + 1, vram + 12 * 128 + 7),
              (std::vector<uint8_t>{6, 7, 0x84, 0x85, 0x86, 0x87}));
    // Plane 0x04: sources 4..7 of line 2 set it, 0..3 do not.
    outw(0xCEEE, 0x2071);
    room();
    outw(0xAEE8, 0x04);
    outw(0xB2EE, 0);
    outw(0xBEEE, 128);
    outw(0xC2EE, 1);
    outw(0x8EE8, 0);
    outw(0x8AE8, 2);
    rect(0, 8, 0, 1);
    EXPECT_EQ(rows(0, 0), "BBBBFFFF........\n");
    EXPECT_EQ(failureText(), "");
}

} // namespace
