// The "mga" board model, register side: configuration space, the option ROM
// behind its two enable bits, the bus past installed memory, the picture the
// display registers describe, the PLL lock, the VGA images, the read-back
// delay, its strictness, and the ROM builder.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "hwio.h"
#include "machine.h"
#include "models/mga_board.h"
#include "models/mga_i2c.h"
#include "nfb.h"
#include "pcibus.h"
#include "pcicfg.h"

#include <fcntl.h>

namespace {

using namespace sim::mga;

constexpr uint32_t kMB = 0x100000;

graf::Builder board(int device = 0x0521, uint32_t memory = 4 * kMB) {
    graf::Builder b;
    b.adapter("mga")
        .integer("PCI_DEVICE", device)
        .integer("MEMSIZE", int(memory))
        .memory("", 0xD0000000u, 0x4000)
        .memory("FBM", 0xC0000000u, device == 0x0525 ? 32 * kMB : 16 * kMB);
    return b;
}

struct Bench {
    explicit Bench(graf::Builder b) : cfg(b.build()) {
        machine().setFailureHandler([this](const std::string &m) { failures.push_back(m); });
        auto made = sim::makeAdapter(cfg, machine());
        mga.reset(dynamic_cast<sim::MgaBoard *>(made.release()));
    }
    ~Bench() { machine().setFailureHandler(nullptr); }
    static sim::Machine &machine() { return sim::Machine::current(); }
    uint8_t *area(const char *name) {
        for (auto &a : cfg.areas)
            if (a.name == name || (a.name.empty() && std::string(name) == "MEMORY"))
                return static_cast<uint8_t *>(a.mapped);
        return nullptr;
    }
    uint8_t *regs() { return area("MEMORY"); }
    uint8_t *fb() { return area("FBM"); }
    uint8_t in8(uint32_t off) { return mmRead8(regs() + off); }
    void out8(uint32_t off, uint8_t v) { mmWrite8(regs() + off, v); }
    uint32_t in32(uint32_t off) { return mmRead32(regs() + off); }
    void out32(uint32_t off, uint32_t v) { mmWrite32(regs() + off, v); }
    void crtc(int i, uint8_t v) {
        out8(0x1FD4, uint8_t(i));
        out8(0x1FD5, v);
    }
    void ext(int i, uint8_t v) {
        out8(0x1FDE, uint8_t(i));
        out8(0x1FDF, v);
    }
    void dac(uint8_t i, uint8_t v) {
        out8(0x3C00, i);
        out8(0x3C0A, v);
    }
    uint8_t dacIn(uint8_t i) {
        out8(0x3C00, i);
        return in8(0x3C0A);
    }

    graf::Config cfg;
    std::vector<std::string> failures;
    std::unique_ptr<sim::MgaBoard> mga;
};

TEST(MgaBoard, ConfigurationSpaceKeepsItsReadOnlyFields) {
    Bench b(board(0x0525).integer("PCI_REVISION", 0x85).integer("PCI_SUBSYSTEM", 0x12345678));
    sim::MgaBoard &m = *b.mga;
    EXPECT_EQ(m.configRead(CfgId, 4), 0x0525102Bu);
    EXPECT_EQ(m.configRead(CfgClass, 4), 0x03000085u) << "display controller, VGA compatible";
    EXPECT_EQ(m.configRead(CfgFrameBuffer, 4), 0xC0000000u);
    EXPECT_EQ(m.configRead(CfgRegisters, 4), 0xD0000000u);
    EXPECT_EQ(m.configRead(CfgCommand, 1) & 1, 1u) << "I/O decoding on";

    m.configWrite(CfgOption, 4, 0xFFFFFFFFu);
    EXPECT_EQ(m.configRead(CfgOption, 4), 0x505FDCBFu) << "only the named OPTION bits change";
    m.configWrite(CfgRegisters, 4, 0xFFFFFFFFu);
    EXPECT_EQ(m.configRead(CfgRegisters, 4), 0xFFFFC000u);
    m.configWrite(CfgSubsystemWrite, 4, 0xCAFE102Bu);
    EXPECT_EQ(m.configRead(CfgSubsystem, 4), 0xCAFE102Bu) << "0x4C writes the subsystem id";
    m.configWrite(CfgOption2, 1, 0xFF);
    EXPECT_EQ(m.configRead(CfgOption2, 4), 0u) << "OPTION2 bits 12-17 only";
    EXPECT_TRUE(b.failures.empty());

    m.configWrite(CfgId, 4, 0);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("read-only"), std::string::npos) << b.failures[0];
    EXPECT_EQ(m.configRead(CfgId, 4), 0x0525102Bu);
}

TEST(MgaBoard, RomShowsOnlyWhileBothEnableBitsAreSet) {
    Bench b(board().integer("PCIR_REVISION", 0x0102));
    sim::MgaBoard &m = *b.mga;
    b.fb()[0] = 0x12; // a pixel, written as the processor does
    b.fb()[1] = 0x34;
    const uint32_t option = m.configRead(CfgOption, 4);

    m.configWrite(CfgOption, 4, option | kOptionRomEnable);
    EXPECT_FALSE(m.romShown()) << "OPTION bit 30 alone";
    EXPECT_EQ(mmRead16(b.fb()), 0x3412);
    m.configWrite(CfgOption, 4, option);
    m.configWrite(CfgRomBase, 4, 0xC0000000u | 1);
    EXPECT_FALSE(m.romShown()) << "ROM base bit 0 alone";
    EXPECT_EQ(mmRead16(b.fb()), 0x3412);

    m.configWrite(CfgOption, 4, option | kOptionRomEnable);
    ASSERT_TRUE(m.romShown());
    EXPECT_EQ(mmRead16(b.fb()), 0xAA55);
    const uint32_t pcir = mmRead16(b.fb() + 0x18);
    EXPECT_EQ(mmRead32(b.fb() + pcir), 0x52494350u) << "PCIR";
    EXPECT_EQ(mmRead16(b.fb() + pcir + 0x12), 0x0102);
    mmWrite8(b.fb() + 4, 0);
    ASSERT_EQ(b.failures.size(), 1u) << "the ROM takes no write";
    b.failures.clear();

    // Put back as the chip layer does: ROM base first, then OPTION.
    m.configWrite(CfgRomBase, 4, 0);
    EXPECT_FALSE(m.romShown());
    m.configWrite(CfgOption, 4, option);
    EXPECT_EQ(b.fb()[0], 0x12) << "plain pixels again at offset 0";
    EXPECT_EQ(mmRead16(b.fb()), 0x3412);
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, PastInstalledMemoryTheBusKeepsTheLastValue) {
    Bench b(board(0x0521, 2 * kMB));
    mmWrite32(b.fb() + 0x300000, 0x55);
    mmWrite32(b.fb() + 0x300100, 0xCC);
    EXPECT_EQ(mmRead32(b.fb() + 0x300000), 0xCCu) << "nothing holds the first value";
    EXPECT_EQ(mmRead8(b.fb() + 0x7FFFFF), 0xCC);
    b.out32(0x1E1C, 0x12345678);
    EXPECT_EQ(mmRead32(b.fb() + 0xF00000), 0x12345678u) << "a register access drives the bus too";

    mmWrite32(b.fb() + 0x100000, 0x55);
    mmWrite32(b.fb() + 0x100100, 0xCC);
    EXPECT_EQ(mmRead32(b.fb() + 0x100000), 0x55u) << "installed memory holds it";
    EXPECT_TRUE(b.failures.empty());
}

// The 1024 x 768 8-bit mode at 65 MHz (M 4, N 23, P 1 gives 64800 kHz):
// 1344 x 806 dots.
TEST(MgaBoard, PictureOfA1024x768EightBitMode) {
    Bench b(board());
    b.crtc(0x11, 0x00);
    const std::pair<int, uint8_t> crtc[] = {{0, 0xA3},    {1, 0x7F},    {2, 0x7F},    {3, 0x07},
                                            {4, 0x82},    {5, 0x93},    {6, 0x24},    {7, 0xE5},
                                            {9, 0x20},    {0x10, 0x02}, {0x12, 0xFF}, {0x13, 0x40},
                                            {0x15, 0xFF}, {0x16, 0x25}, {0x0C, 0},    {0x0D, 0}};
    for (auto [i, v] : crtc)
        b.crtc(i, v);
    b.ext(0, 0);
    b.ext(1, 0);
    b.ext(2, 0);
    b.ext(3, 0x80);
    b.dac(XPixelFormat, 0);
    b.dac(XPixPllM, 4);
    b.dac(XPixPllN, 23);
    b.dac(XPixPllP, 1 | 1 << 3);
    b.out8(0x1FC2, 0x2F); // clock select 3: the pixel PLL
    while ((b.dacIn(XPixPllStatus) & kPllLocked) == 0)
        ;
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_TRUE(p.hires);
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 8);
    EXPECT_EQ(p.pitchBytes, 1024u);
    EXPECT_EQ(b.mga->displayPitch(), 1024u);
    EXPECT_EQ(p.startBytes, 0u);
    EXPECT_EQ(p.clockKHz, 64800u);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_FALSE(p.interlaced);
    EXPECT_FALSE(p.blanked);
    b.out8(0x1FC4, 1);
    b.out8(0x1FC5, 0x20);
    EXPECT_TRUE(b.mga->picture().blanked);
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, PllLocksAFewReadsAfterAValidProgrammingOnly) {
    struct Case {
        uint8_t m, n, p;
        bool locks;
    } cases[] = {
        {4, 23, 1, true},
        {6, 51, 7, true},
        {1, 15, 1, true},
        {0, 23, 1, false},
        {7, 23, 1, false},
        {4, 6, 1, false},
        {4, 128, 1, false},
        {4, 23, 2, false},
        {6, 10, 0, false} /* VCO 42428 kHz */,
        {1, 40, 0, false} /* VCO 553500 kHz */,
    };
    for (const Case &c : cases) {
        Bench b(board());
        b.dac(XPixPllM, c.m);
        b.dac(XPixPllN, c.n);
        b.dac(XPixPllP, c.p);
        EXPECT_EQ(b.dacIn(XPixPllStatus) & kPllLocked, 0) << "locks only after a few reads";
        bool locked = false;
        for (int i = 0; i < 10 && !locked; i++)
            locked = (b.dacIn(XPixPllStatus) & kPllLocked) != 0;
        EXPECT_EQ(locked, c.locks) << int(c.m) << " " << int(c.n) << " " << int(c.p);
        b.dac(XPixPllStatus, 0);
        EXPECT_EQ(b.failures.size(), 1u) << "the status register is read only";
    }
}

TEST(MgaBoard, RetryFixtureLocksOnlyAfterThePowerCycle) {
    Bench b(board().string("PLL", "retry"));
    b.dac(XPixPllM, 4);
    b.dac(XPixPllN, 23);
    b.dac(XPixPllP, 1);
    for (int i = 0; i < 10; i++)
        ASSERT_EQ(b.dacIn(XPixPllStatus) & kPllLocked, 0);
    const uint8_t clock = b.dacIn(XPixelClock);
    b.dac(XPixelClock, clock & ~kPixelPllPower);
    b.dac(XPixelClock, clock);
    int reads = 1;
    while ((b.dacIn(XPixPllStatus) & kPllLocked) == 0 && reads < 10)
        reads++;
    EXPECT_EQ(reads, 3);
}

TEST(MgaBoard, TheSystemClockChangesOnlyWhileStopped) {
    struct Step {
        int reg;
        uint32_t value; // written as a dword; reg -1 writes system PLL M
    };
    struct Case {
        const char *what;
        int device;
        std::vector<Step> steps;
        size_t failures;
    } cases[] = {
        {"the PLL written while it drives the running clock", 0x0521, {{-1, 4}}, 1},
        {"the PLL written on the PCI clock",
         0x0521,
         {{0x40, 0x25}, {0x40, 0x24}, {0x40, 0x20}, {-1, 4}},
         0},
        {"the PLL written with the clock stopped", 0x0521, {{0x40, 0x25}, {-1, 4}}, 0},
        {"the source changed while running", 0x0521, {{0x40, 0x20}}, 1},
        {"a divider changed while running", 0x1001, {{0x40, 0xA1}}, 1},
        {"an eclipse OPTION2 divider changed while running", 0x0521, {{0x50, 0x4000}}, 1},
        {"dividers changed while stopped",
         0x0521,
         {{0x40, 0x25}, {0x40, 0x3D}, {0x50, 0x3C000}, {0x40, 0x39}},
         0},
        {"eclipse's bit 7 is not a divider", 0x0521, {{0x40, 0xA1}}, 0},
        {"another device selects its clocks elsewhere", 0x0525, {{0x40, 0x20}, {-1, 4}}, 0},
    };
    for (const Case &c : cases) {
        Bench b(board(c.device));
        for (const Step &st : c.steps) {
            if (st.reg < 0)
                b.dac(XSysPllM, uint8_t(st.value));
            else
                b.mga->configWrite(st.reg, 4, st.value);
        }
        EXPECT_EQ(b.failures.size(), c.failures) << c.what;
    }
}

TEST(MgaBoard, RetryFixtureCyclesTheSystemPllThroughOption) {
    Bench b(board().string("PLL", "retry"));
    b.mga->configWrite(0x40, 4, 0x25);
    b.dac(XSysPllM, 4);
    for (int i = 0; i < 10; i++)
        ASSERT_EQ(b.dacIn(XSysPllStatus) & kPllLocked, 0);
    b.mga->configWrite(0x40, 4, 0x05);
    b.mga->configWrite(0x40, 4, 0x25);
    // Powered up again, it locks within a millisecond.
    Bench::machine().advance(1000);
    EXPECT_EQ(b.dacIn(XSysPllStatus) & kPllLocked, kPllLocked);
    EXPECT_TRUE(b.failures.empty());
}

// Port 0's lines worked by hand through the DAC pins (clock pin 3, data
// pin 1): a released pin lets its line go high, a driven one pulls it low.
struct Wire {
    explicit Wire(Bench &b) : b(b) { b.dac(0x2B, 0); }
    void line(uint8_t pin, bool high) {
        dir = high ? uint8_t(dir & ~(1u << pin)) : uint8_t(dir | 1u << pin);
        b.dac(0x2A, dir);
    }
    void scl(bool high) { line(3, high); }
    void sda(bool high) { line(1, high); }
    bool sdaIn() { return (b.dacIn(0x2B) & 0x02) != 0; }
    void start() {
        sda(true);
        scl(true);
        sda(false);
        scl(false);
    }
    void stop() {
        sda(false);
        scl(true);
        sda(true);
    }
    void bit(bool v) {
        sda(v);
        scl(true);
        scl(false);
    }
    // Sends a byte and gives the acknowledge clock with the data released;
    // true when the slave acknowledged.
    bool byte(uint8_t v) {
        for (int i = 7; i >= 0; i--)
            bit(((v >> i) & 1) != 0);
        sda(true);
        const bool ack = !sdaIn();
        scl(true);
        scl(false);
        return ack;
    }
    Bench &b;
    uint8_t dir = 0;
};

TEST(MgaI2c, SlavesAnswerAndProtocolViolationsAreReported) {
    struct Case {
        const char *what;
        std::function<void(Wire &)> run;
        const char *failure; // a part of the expected report, or null
    } cases[] = {
        {"an addressed memory acknowledges",
         [](Wire &w) {
             w.start();
             EXPECT_TRUE(w.byte(0xA0));
             EXPECT_TRUE(w.byte(0x05));
             w.stop();
         },
         nullptr},
        {"another address is not acknowledged",
         [](Wire &w) {
             w.start();
             EXPECT_FALSE(w.byte(0xA4));
             w.stop();
         },
         nullptr},
        {"clock and data at once", [](Wire &w) { w.b.dac(0x2A, 0x0A); }, "in one step"},
        {"a stop inside a byte",
         [](Wire &w) {
             w.start();
             w.bit(true);
             w.bit(false);
             w.bit(true);
             w.stop();
         },
         "mid-bit"},
        {"the master holding the data line through the acknowledge",
         [](Wire &w) {
             w.start();
             for (int i = 7; i >= 0; i--)
                 w.bit(((0xA0 >> i) & 1) != 0); // ends driving a 0
             w.scl(true);
         },
         "never released"},
    };
    for (const Case &c : cases) {
        Bench b(board(0x0521).integer("PCI_REVISION", 2));
        Wire w(b);
        c.run(w);
        if (c.failure == nullptr) {
            EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.failures[0];
        } else {
            ASSERT_EQ(b.failures.size(), 1u) << c.what;
            EXPECT_NE(b.failures[0].find(c.failure), std::string::npos) << b.failures[0];
        }
    }
}

TEST(MgaI2c, WiringExpandersAndFixtures) {
    // The second wiring: port 0 read on pins 2 and 0, pins 3 and 1 read only
    // themselves.
    for (int revision : {2, 3}) {
        Bench b(board(0x0521).integer("PCI_REVISION", revision).string("I2C_FIXTURE", "clock-low"));
        const uint8_t pins = b.dacIn(0x2B) & 0x0F;
        EXPECT_EQ(pins, revision == 2 ? 0x07 : 0x0B) << revision;
    }
    // A data line held low on port 5 of a revision-2 board: pin 0 reads it.
    Bench busy(board(0x0521)
                   .integer("PCI_REVISION", 2)
                   .string("I2C_FIXTURE", "bus-busy")
                   .integer("I2C_FIXTURE_PORT", 5));
    EXPECT_EQ(busy.dacIn(0x2B) & 0x0F, 0x0E);
    // An expander's latch pulls its port's lines.
    Bench b(board(0x0521).integer("PCI_REVISION", 2));
    b.out8(0x3C00, 0x2B);
    b.out8(0x3C0A, 0);
    auto line = [&b](uint8_t pin, bool high) {
        const uint8_t dir = b.mga->dacReg(0x2A);
        b.dac(0x2A, high ? uint8_t(dir & ~(1u << pin)) : uint8_t(dir | 1u << pin));
    };
    auto bit = [&](bool v) {
        line(4, v);
        line(5, true);
        line(5, false);
    };
    line(4, false); // start on port 1
    line(5, false);
    for (uint8_t byte : {uint8_t(0x40), uint8_t(0xFE)}) {
        for (int i = 7; i >= 0; i--)
            bit(((byte >> i) & 1) != 0);
        line(4, true);
        EXPECT_EQ(b.dacIn(0x2B) & 0x10, 0) << "acknowledged";
        line(5, true);
        line(5, false);
    }
    line(4, false);
    line(5, true);
    line(4, true);
    EXPECT_EQ(b.mga->i2c().expanderLatch(0x40), 0xFE);
    EXPECT_TRUE(b.mga->i2c().scl(4)) << "port 4's clock is the expander's bit 1";
    EXPECT_FALSE(b.mga->i2c().sda(4)) << "and its data bit 0";
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, VgaImagesFlipFlopProtectionAndExtensions) {
    Bench b(board());
    // CR11 bit 7 keeps CR0-CR7.
    b.crtc(0x11, 0x80);
    b.crtc(0, 0x55);
    b.crtc(0x12, 0x66);
    EXPECT_EQ(b.mga->crtc(0), 0);
    EXPECT_EQ(b.mga->crtc(0x12), 0x66);
    EXPECT_EQ(b.mga->protectedWrites(), 1);
    b.crtc(0x11, 0);
    b.crtc(0, 0x55);
    EXPECT_EQ(b.mga->crtc(0), 0x55);

    // Attribute index and data through one port; a status read resets.
    b.in8(0x1FDA);
    b.out8(0x1FC0, 0x05);
    b.out8(0x1FC0, 0x3C);
    b.out8(0x1FC0, 0x06); // index again
    b.in8(0x1FDA);
    b.out8(0x1FC0, 0x07);
    b.out8(0x1FC0, 0x11);
    EXPECT_EQ(b.mga->attr(5), 0x3C);
    EXPECT_EQ(b.mga->attr(7), 0x11);
    EXPECT_EQ(b.mga->attr(6), 0);

    // A 16-bit write selects and writes; CRTCEXT by its own pair.
    mmWrite16(b.regs() + 0x1FDE, 0x8003);
    EXPECT_EQ(b.mga->crtcExt(3), 0x80);
    b.out8(0x1FC2, 0x2F);
    EXPECT_EQ(b.in8(0x1FCC), 0x2F);
    // The memory factor read: 32 bits at the CRTCEXT data port.
    EXPECT_EQ(b.in32(0x1FDF), 0x80u);
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, StatusRetraceMarkAndPlainRegisters) {
    Bench b(board(0x0525));
    int retraces = 0;
    for (int i = 0; i < 8; i++)
        retraces += (b.in32(Status) & kStatusRetrace) != 0;
    EXPECT_EQ(retraces, 2);
    b.out32(Status, 0xFFFFFFFFu);
    EXPECT_EQ(b.in32(Status) & ~kStatusRetrace, kStatusMark | kStatusIdle)
        << "only the mark is writable";
    EXPECT_EQ(b.in32(FifoStatus), 16u);
    for (uint32_t r : {0x1C04u, 0x1C08u, 0x1C0Cu, 0x1C1Cu, 0x1E1Cu, 0x1E44u, 0x2CB8u}) {
        b.out32(r, 0xA5000000u | r);
        EXPECT_EQ(b.in32(r), 0xA5000000u | r) << std::hex << r;
    }
    b.out32(0x1E4C, 0x3344);
    EXPECT_EQ(b.in8(0x1E4D), 0x33);
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, AccessesOutsideTheRegisterMapAreReported) {
    struct Case {
        const char *what;
        void (*access)(Bench &);
    } cases[] = {
        {"unmapped read", [](Bench &b) { (void)b.in32(0x1000); }},
        {"unmapped write", [](Bench &b) { b.out32(0x2000, 1); }},
        {"FIFO status write", [](Bench &b) { b.out32(FifoStatus, 1); }},
        {"VGA DAC image", [](Bench &b) { b.out8(0x1FC8, 1); }},
        {"misc read port write", [](Bench &b) { b.out8(0x1FCC, 1); }},
    };
    for (const Case &c : cases) {
        Bench b(board());
        c.access(b);
        EXPECT_EQ(b.failures.size(), 1u) << c.what;
    }
}

TEST(MgaBoard, ReadBackDelaysOutsideTheRangeCorruptReads) {
    Bench b(board().integer("READBACK_GOOD_MIN", 4).integer("READBACK_GOOD_MAX", 9));
    mmWrite32(b.fb() + 0x340000, 0x2CB0453Fu);
    for (uint32_t d : {0u, 3u, 4u, 9u, 10u, 15u}) {
        b.out32(MemReadBack, d | d << 5);
        const bool good = d >= 4 && d <= 9;
        EXPECT_EQ(mmRead32(b.fb() + 0x340000), good ? 0x2CB0453Fu : 0x2DB1443Eu) << d;
    }
    EXPECT_EQ(*reinterpret_cast<uint32_t *>(b.fb() + 0x340000), 0x2CB0453Fu)
        << "the processor's own reads are not affected";
}

TEST(MgaBoard, LegacyBiosImageAndPaletteAndPixelClock) {
    Bench b(board().memory("BIOS", 0xC0000, 0x10000));
    const uint8_t *bios = b.area("BIOS");
    ASSERT_NE(bios, nullptr);
    EXPECT_EQ(bios[0], 0x55);
    EXPECT_EQ(bios[1], 0xAA);
    EXPECT_EQ(std::memcmp(bios, b.mga->rom().data(), 0x10000), 0);

    b.out8(0x3C00, 0xFE);
    for (uint8_t v : {1, 2, 3, 4, 5, 6})
        b.out8(0x3C01, v);
    b.out8(0x3C03, 0xFF);
    EXPECT_EQ(b.in8(0x3C01), 4);
    EXPECT_EQ(b.mga->palette(0xFE), (std::array<uint8_t, 3>{1, 2, 3}));
    EXPECT_TRUE(b.failures.empty());
}

TEST(MgaBoard, RefusesBoardsItCannotBe) {
    const graf::Builder bad[] = {
        board(0x0522),
        board(0x0521, 3 * kMB),
        board(0x0521, 64 * kMB),
        board().integer("PINS_VERSION", 5),
        board().string("PINS_BYTES", "200=1"),
        board().string("PLL", "sometimes"),
        board().memory("BIOS", 0xC0000, 0x8000),
    };
    for (const graf::Builder &g : bad) {
        graf::Config cfg = g.build();
        EXPECT_THROW(sim::makeAdapter(cfg, sim::Machine::current()), std::invalid_argument);
    }
}

// Through the operating system's device, as the driver finds its board: the
// class walk meets display controllers of subclass 0 only, and configuration
// writes reach the model's enable bits.
TEST(MgaBoard, OnTheBusFoundByClassOnlyWhenVgaCompatible) {
    Bench other(board(0x0521).integer("PCI_SUBCLASS", 0x80));
    Bench vga(board(0x1000));
    const int fd = open(PCI_DEVICE_PATH, O_RDWR);
    ASSERT_GE(fd, 0);
    PciFindRequest find{};
    find.vendor = 3;
    find.device = 0;
    ASSERT_EQ(ioctl(fd, PCI_FIND_CLASS, &find), 0);
    ASSERT_NE(find.found, 0u);
    PciConfigRequest rq{};
    rq.location = find.location;
    rq.size = 4;
    rq.reg = 0;
    ASSERT_EQ(ioctl(fd, PCI_READ_CONFIG, &rq), 0);
    EXPECT_EQ(rq.data, 0x1000102Bu) << "the display controller of another subclass is passed over";
    find.index = 1;
    find.found = 1;
    ASSERT_EQ(ioctl(fd, PCI_FIND_CLASS, &find), 0);
    EXPECT_EQ(find.found, 0u);

    rq.reg = CfgOption;
    ASSERT_EQ(ioctl(fd, PCI_READ_CONFIG, &rq), 0);
    rq.data |= kOptionRomEnable;
    ASSERT_EQ(ioctl(fd, PCI_WRITE_CONFIG, &rq), 0);
    rq.reg = CfgRomBase;
    rq.data = 0xC0000000u | 1;
    ASSERT_EQ(ioctl(fd, PCI_WRITE_CONFIG, &rq), 0);
    EXPECT_TRUE(vga.mga->romShown());
    EXPECT_FALSE(other.mga->romShown());
    close(fd);
}

// The engine's other operations at register level on a 64-pixel-wide 8-bit
// surface: pattern fills, expansion from bits, lines and colour blits.
struct EngineBench : Bench {
    EngineBench() : Bench(board()) {
        eng(0x1C04, 0);
        eng(0x1C8C, 64);
        eng(0x1C94, 0);
        eng(0x1CA0, 0);
        eng(0x1CA4, 63);
        eng(0x1C98, 0);
        eng(0x1C9C, 63 * 64);
        eng(0x1C1C, 0xFFFFFFFFu);
        eng(0x1C24, 0xEEEEEEEEu);
        eng(0x1C20, 0x11111111u);
    }
    void eng(uint32_t off, uint32_t v) {
        mmWrite32(regs() + off, v);
        while (in32(0x1E14) & 0x10000)
            ;
    }
    uint8_t px(int x, int y) { return mga->vram()->data()[y * 64 + x]; }
};

TEST(MgaEngine, PatternExpansionLineAndColourBlit) {
    EngineBench b;
    // Pattern: row r has bit c set when (c + r) is odd; shift x 3, y 5.
    for (int w = 0; w < 4; w++) {
        uint32_t word = 0;
        for (int half = 0; half < 2; half++)
            for (int c = 0; c < 16; c++)
                if ((c + 2 * w + half) & 1)
                    word |= 1u << (16 * half + c);
        b.eng(0x1C30 + 4 * uint32_t(w), word);
    }
    b.eng(0x1C50, 3 | 5 << 4);
    std::memset(b.mga->vram()->data(), 0x55, 64 * 64);
    for (bool transparent : {false, true}) {
        b.eng(0x1C00, (transparent ? 0x40000000u : 0) | 0xC0000 | 0x3004);
        b.eng(0x1CA8, 1);
        b.eng(0x1CAC, 20);
        b.eng(0x1C90, transparent ? 10 : 2);
        b.eng(0x1D5C, 3);
        const int top = transparent ? 10 : 2;
        for (int y = top; y < top + 3; y++)
            for (int x = 1; x < 20; x++) {
                const bool on = ((x + 3 + y + 5) & 1) != 0;
                EXPECT_EQ(b.px(x, y), on ? 0xEE : transparent ? 0x55 : 0x11) << x << "," << y;
            }
        EXPECT_EQ(b.px(20, top), 0x55) << "right edge excluded";
    }
    // Expansion: source bits at byte 4000 (bit address 32000), two rows of
    // 2 bytes, least significant bit first.
    b.mga->vram()->data()[4000] = 0x81;
    b.mga->vram()->data()[4001] = 0x02;
    b.mga->vram()->data()[4002] = 0xFF;
    b.mga->vram()->data()[4003] = 0x00;
    b.eng(0x1C00, 0x40000000u | 0xC0000 | 0x6008);
    b.eng(0x1C74, 16);
    b.eng(0x1CA8, 30);
    b.eng(0x1CAC, 39);
    b.eng(0x1C5C, 2);
    b.eng(0x1C90, 20);
    b.eng(0x1C58, 0);
    b.eng(0x1C60, 32000 + 9);
    b.eng(0x1D6C, 32000);
    const uint8_t want0[10] = {0xEE, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0xEE, 0x55, 0xEE};
    for (int x = 0; x < 10; x++) {
        EXPECT_EQ(b.px(30 + x, 20), want0[x]) << x;
        EXPECT_EQ(b.px(30 + x, 21), x < 8 ? 0xEE : 0x55) << x;
    }
    // A line: x major, right and down, 5 pixels with one diagonal step.
    b.eng(0x1C00, 0xC0000 | 0x04004800);
    b.eng(0x1C58, 1);
    b.eng(0x1C64, uint32_t(-3));
    b.eng(0x1C60, 2);
    b.eng(0x1C68, uint32_t(-6));
    b.eng(0x1CB0, 40);
    b.eng(0x1C90, 40);
    b.eng(0x1D5C, 5);
    // err -3 -> -1 -> 1 (diagonal after the third pixel) -> -5.
    EXPECT_EQ(b.px(40, 40), 0xEE);
    EXPECT_EQ(b.px(41, 40), 0xEE);
    EXPECT_EQ(b.px(42, 40), 0xEE);
    EXPECT_EQ(b.px(43, 41), 0xEE);
    EXPECT_EQ(b.px(44, 41), 0xEE);
    EXPECT_EQ(b.px(43, 40), 0x55);
    // A colour blit from a staged row, started by the destination line.
    for (int i = 0; i < 4; i++)
        b.mga->vram()->data()[5000 + i] = uint8_t(0xA0 + i);
    b.eng(0x1C00, 0xC0000 | 0x04006008);
    b.eng(0x1C5C, 1);
    b.eng(0x1C74, 64);
    b.eng(0x1C6C, 5000);
    b.eng(0x1C60, 5003);
    b.eng(0x1CA8, 2);
    b.eng(0x1CAC, 5);
    b.eng(0x1D90, 50);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(b.px(2 + i, 50), 0xA0 + i);
    EXPECT_EQ(b.mga->expansions(), 1);
    EXPECT_EQ(b.mga->lines(), 1);
    EXPECT_TRUE(b.failures.empty()) << b.failures[0];
}

uint8_t byteSum(const std::vector<uint8_t> &v, size_t from, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; i++)
        s = uint8_t(s + v[from + i]);
    return s;
}

TEST(MgaRomBuilder, BlocksSumToZeroAndSitWhereTheRomSays) {
    for (int version : {3, 4, 0}) {
        sim::MgaRom r;
        r.pinsVersion = version;
        r.pinsBytes = {{52, 0x10}};
        const std::vector<uint8_t> pins = sim::buildMgaPins(r);
        ASSERT_EQ(pins.size(), version == 4 ? 128u : 64u);
        EXPECT_EQ(byteSum(pins, 0, pins.size()), 0) << version;
        EXPECT_EQ(pins[52], 0x10);
        if (version == 0) {
            EXPECT_EQ(pins[0], 64) << "the older block starts with its length";
        } else {
            EXPECT_EQ(pins[0] | pins[1] << 8, 0x412E);
            EXPECT_EQ(pins[2], pins.size());
        }
        const std::vector<uint8_t> rom = sim::buildMgaRom(r);
        const uint32_t at = rom[0x7FFC] | rom[0x7FFD] << 8;
        EXPECT_EQ(std::memcmp(&rom[at], pins.data(), pins.size()), 0);
    }
    sim::MgaRom r;
    r.badSumCopyAt = 0x4000;
    r.outputMode = 0x21;
    r.text = " IBM (V1.0) TVO";
    const std::vector<uint8_t> rom = sim::buildMgaRom(r);
    EXPECT_NE(byteSum(rom, 0x4000, 64), 0);
    EXPECT_EQ(rom[0x7FF1], 0x21);
    EXPECT_EQ(std::memcmp(&rom[0x1D], " IBM", 4), 0);
}

} // namespace
