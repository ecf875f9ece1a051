// The banked GD542x adapter model on its own: the bank window and its
// granularity, the processor's colour-expansion write modes, the engine
// behind the graphics-controller ports, and the hung-engine fixture. Ports
// and the window are reached as a driver reaches them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "adapter.h"
#include "grafstore.h"
#include "hwio.h"
#include "machine.h"
#include "models/gd6_adapter.h"
#include "nfb.h"

namespace {

using sim::Gd6Adapter;

class Gd6Model : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        m->setFailureHandler([this](const std::string &f) { failures.push_back(f); });
        cfg = graf::Builder().adapter("gd5428").memory("", 0xA0000, 0x10000).build();
        adapter.reset(static_cast<Gd6Adapter *>(sim::makeAdapter(cfg, *m).release()));
        ASSERT_NE(adapter, nullptr);
        win = adapter->window();
        mem = adapter->vram()->data();
    }
    void TearDown() override { m->setFailureHandler(nullptr); }

    void gr(uint8_t index, uint8_t value) { outw(0x3CE, uint16_t(value << 8 | index)); }
    uint8_t status() {
        outb(0x3CE, 0x31);
        return inb(0x3CF);
    }
    bool failedWith(const std::string &part) const {
        for (const std::string &f : failures)
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }

    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<Gd6Adapter> adapter;
    uint8_t *win = nullptr;
    uint8_t *mem = nullptr;
    std::vector<std::string> failures;
};

TEST_F(Gd6Model, WindowFollowsBankAndGranularity) {
    mem[0x5000] = 0x11;
    mem[0x14000] = 0x22;
    gr(0x09, 0x05); // 4 KB banks: 0x5000
    EXPECT_EQ(mmRead8(win), 0x11);
    gr(0x0B, 0x20); // 16 KB banks: bank 5 is 0x14000
    EXPECT_EQ(adapter->bankBase(), 0x14000u);
    EXPECT_EQ(mmRead8(win), 0x22);
    mmWrite16(win + 2, 0xBEEF);
    EXPECT_EQ(mem[0x14002], 0xEF);
    EXPECT_EQ(mem[0x14003], 0xBE);
    EXPECT_EQ(adapter->bankWrites(), std::vector<uint8_t>{0x05});
    EXPECT_TRUE(failures.empty());
}

struct ExpandCase {
    const char *what;
    uint8_t gr0b, gr5;
    int pixelBytes;
    bool opaque;
};

class Gd6Expand : public Gd6Model, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(Gd6Expand, EachByteBecomesEightPixels) {
    const ExpandCase &c = GetParam();
    std::memset(mem, 0x77, 0x40000);
    gr(0x00, 0x12); // background
    gr(0x10, 0x34);
    gr(0x01, 0xAB); // foreground
    gr(0x11, 0xCD);
    gr(0x0B, c.gr0b);
    gr(0x05, c.gr5);
    gr(0x09, 0x02);          // expanded address 0x2000
    mmWrite8(win + 3, 0xA1); // 1010 0001, leftmost pixel in bit 7
    const uint32_t at = (0x2000 + 3) * 8 * uint32_t(c.pixelBytes);
    for (int k = 0; k < 8; k++) {
        bool on = (0xA1 >> (7 - k)) & 1;
        for (int b = 0; b < c.pixelBytes; b++) {
            uint8_t want = on ? (b ? 0xCD : 0xAB) : c.opaque ? (b ? 0x34 : 0x12) : 0x77;
            EXPECT_EQ(mem[at + k * c.pixelBytes + b], want) << "pixel " << k << " byte " << b;
        }
    }
    EXPECT_EQ(mem[at - 1], 0x77);
    EXPECT_EQ(mem[at + 8 * c.pixelBytes], 0x77);
    EXPECT_EQ(adapter->expandedBytes(), 1u);
    EXPECT_TRUE(failures.empty());
    // The processor cannot read in these modes.
    mmRead8(win);
    EXPECT_TRUE(failedWith("colour-expansion write mode"));
}

INSTANTIATE_TEST_SUITE_P(Modes, Gd6Expand,
                         ::testing::Values(ExpandCase{"8-bit transparent", 0x0E, 0x44, 1, false},
                                           ExpandCase{"8-bit opaque", 0x0E, 0x45, 1, true},
                                           ExpandCase{"16-bit transparent", 0x14, 0x44, 2, false},
                                           ExpandCase{"16-bit opaque", 0x14, 0x45, 2, true}),
                         [](const ::testing::TestParamInfo<ExpandCase> &i) {
                             std::string n = i.param.what;
                             for (char &ch : n)
                                 if (ch == ' ' || ch == '-')
                                     ch = '_';
                             return n;
                         });

TEST_F(Gd6Model, ExpansionNeedsExtendedWritesAndAPixelSize) {
    gr(0x05, 0x44);
    gr(0x0B, 0x00); // extended writes off: mode 4 is plain mode 0
    mmWrite8(win, 0x5A);
    EXPECT_EQ(mem[0], 0x5A);
    gr(0x0B, 0x04); // extended writes, but no 8-bit or 16-bit addressing
    mmWrite8(win, 0xFF);
    EXPECT_TRUE(failedWith("neither 8-bit nor 16-bit pixels"));
}

TEST_F(Gd6Model, EngineThroughGraphicsController) {
    for (int i = 0; i < 16; i++)
        mem[0x100 + i] = uint8_t(i + 1);
    gr(0x32, 0x0D); // GXcopy
    gr(0x2C, 0x00); // source 0x100
    gr(0x2D, 0x01);
    gr(0x2E, 0x00);
    gr(0x26, 16);   // source pitch
    gr(0x28, 0x00); // destination 0x800
    gr(0x29, 0x08);
    gr(0x2A, 0x00);
    gr(0x24, 16); // destination pitch
    gr(0x20, 15); // 16 bytes
    gr(0x21, 0);
    gr(0x22, 0); // 1 line
    gr(0x23, 0);
    gr(0x30, 0x00);
    gr(0x31, 0x02); // start
    EXPECT_TRUE(status() & 0x01) << "busy after the start";
    mmRead8(win);
    EXPECT_TRUE(failedWith("while the engine is busy"));
    failures.clear();
    while (status() & 0x01) {
    }
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(mem[0x800 + i], i + 1);
    EXPECT_TRUE(failures.empty());
}

TEST_F(Gd6Model, HungEngineRecoversAfterItsResets) {
    adapter->hangEngine(2);
    for (int i = 0; i < 5; i++)
        EXPECT_TRUE(status() & 0x01);
    gr(0x31, 0x04);
    EXPECT_TRUE(status() & 0x01);
    gr(0x31, 0x04);
    EXPECT_FALSE(status() & 0x01);
    const auto &w = adapter->waitStats();
    EXPECT_EQ(w.resets, 2u);
    EXPECT_EQ(w.busyReadsBeforeFirstReset, 5u);
    EXPECT_EQ(w.busyReads, 6u);
    EXPECT_EQ(w.statusReads, 7u);
}

TEST_F(Gd6Model, MemorySizeInSr0f) {
    EXPECT_EQ((adapter->sr(0x0F) >> 3) & 3, 2) << "1 MB";
    EXPECT_EQ(adapter->memSize(), 0x100000u);
}

} // namespace
