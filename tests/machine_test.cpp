// The simulated machine, the host register accessors, the adapter registry
// and the standard VGA register models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "hwio.h"
#include "machine.h"
#include "nfb.h"
#include "vga.h"

namespace {

using sim::Access;
using sim::Machine;

// Logs every access and answers reads with a value derived from the port.
class RecordingPorts : public sim::PortDevice {
  public:
    struct Op {
        bool out;
        uint16_t port;
        int width;
        uint32_t value;
        bool operator==(const Op &) const = default;
    };
    uint32_t in(uint16_t port, int width) override {
        uint32_t v = static_cast<uint32_t>(port & 0xFF) * 0x01010101u;
        if (width < 4)
            v &= (1u << (8 * width)) - 1;
        ops.push_back({false, port, width, v});
        return v;
    }
    void out(uint16_t port, int width, uint32_t value) override {
        ops.push_back({true, port, width, value});
    }
    std::vector<Op> ops;
};

// A status register whose busy bit never clears unless the test says so;
// writes (an index) change nothing, and nothing is logged.
class SteadyPort : public sim::PortDevice {
  public:
    uint32_t in(uint16_t, int) override { return value; }
    void out(uint16_t, int, uint32_t) override {}
    uint32_t value = 0x80;
};

class RecordingRegs : public sim::MemDevice {
  public:
    struct Op {
        bool write;
        uint32_t offset;
        int width;
        uint32_t value;
        bool operator==(const Op &) const = default;
    };
    uint32_t read(uint32_t offset, int width) override {
        ops.push_back({false, offset, width, 0xA5A5A5A5u});
        return 0xA5A5A5A5u & (width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        ops.push_back({true, offset, width, value});
    }
    std::vector<Op> ops;
};

// Every test starts on a fresh machine whose failures are collected.
class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Machine::reset();
        m = &Machine::current();
        m->setFailureHandler([this](const std::string &msg) { failures.push_back(msg); });
    }
    void TearDown() override { Machine::reset(); }
    bool failedWith(const std::string &text) const {
        for (auto &f : failures)
            if (f.find(text) != std::string::npos)
                return true;
        return false;
    }

    Machine *m = nullptr;
    std::vector<std::string> failures;
};

using MachineDeathTest = MachineTest;

// ---- memory areas ----

TEST_F(MachineTest, AreaIsZeroFilledAndFoundByNameAndAddress) {
    uint8_t *a = m->addArea("REGS", 0xC0000, 0x2000);
    uint8_t *b = m->addArea("MEMORY", 0xA0000, 100);
    for (int i = 0; i < 0x2000; i++)
        ASSERT_EQ(a[i], 0) << i;
    a[0x1FFF] = 1;
    b[99] = 2;

    ASSERT_NE(m->findArea("REGS"), nullptr);
    EXPECT_EQ(m->findArea("REGS")->host, a);
    EXPECT_EQ(m->findArea("REGS")->physBase, 0xC0000u);
    EXPECT_EQ(m->findArea("MEMORY")->length, 100u);
    EXPECT_EQ(m->findArea("NONE"), nullptr);
    EXPECT_EQ(m->areaAt(a + 0x1FFF), m->findArea("REGS"));
    EXPECT_EQ(m->areaAt(b + 50), m->findArea("MEMORY"));
    EXPECT_EQ(m->areaAt(b + 100), nullptr);
    EXPECT_EQ(m->regionIndex("REGS"), 0);
    EXPECT_EQ(m->regionIndex("MEMORY"), 1);
    EXPECT_EQ(m->regionIndex("NONE"), -1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 4096, 0u) << "areas start on a page";
}

TEST_F(MachineDeathTest, RawAccessJustOutsideAnAreaFaults) {
    uint8_t *a = m->addArea("MEMORY", 0xA0000, 0x10000);
    EXPECT_DEATH(a[0x10000] = 1, "");
    EXPECT_DEATH(a[-1] = 1, "");
    // An odd length is rounded to the page for raw accesses.
    uint8_t *b = m->addArea("ODD", 0, 100);
    b[4095] = 1;
    EXPECT_DEATH(b[4096] = 1, "");
}

TEST_F(MachineTest, AccessorsCheckTheExactLength) {
    uint8_t *a = m->addArea("ODD", 0, 100);
    mmWrite32(a + 96, 0x11223344);
    EXPECT_EQ(mmRead8(a + 99), 0x11);
    EXPECT_THROW(mmWrite8(a + 100, 1), sim::Abort);
    EXPECT_THROW(mmRead32(a + 98), sim::Abort);
    int local = 0;
    EXPECT_THROW(mmRead32(&local), sim::Abort);
    EXPECT_TRUE(failedWith("access outside the simulated areas: write8"));
    EXPECT_TRUE(failedWith("access outside the simulated areas: read32"));
}

// ---- video memory views ----

TEST_F(MachineTest, LinearAndWindowViewsStayInStepAcrossBankChanges) {
    sim::VideoMemory vram(1 << 20);
    uint8_t *lin = m->addLinearAperture("LFB", 0xE0000000, 1 << 20, vram);
    uint8_t *win = m->addWindow("WIN", 0xA0000, 0x10000, vram);

    lin[0x12345] = 0x5A;
    EXPECT_EQ(vram.data()[0x12345], 0x5A);
    EXPECT_EQ(win[0x2345], 0) << "bank 0 shows the start";
    m->setWindowOffset(win, 0x10000);
    EXPECT_EQ(win[0x2345], 0x5A);

    win[0xFFFF] = 0x77;
    mmWrite16(win + 0x10, 0xBEEF);
    EXPECT_EQ(lin[0x1FFFF], 0x77);
    EXPECT_EQ(mmRead16(lin + 0x10010), 0xBEEF);

    m->setWindowOffset(win, 0xF0000);
    win[0] = 0x42;
    EXPECT_EQ(vram.data()[0xF0000], 0x42);
    m->setWindowOffset(win, 0);
    EXPECT_EQ(win[0], lin[0]);
}

// A driver that trusts a memory size larger than the board's reaches past
// the video memory: the first plain access is reported with its place, and
// every access completes as on a floating bus (reads 0xFF, writes lost).
TEST_F(MachineTest, ProcessorAccessPastVideoMemoryIsReportedOnceAndAnswersNothing) {
    sim::VideoMemory vram(1 << 20);
    volatile uint8_t *lin = m->addLinearAperture("LFB", 0xE0000000, 4 << 20, vram);
    volatile uint8_t *win = m->addWindow("WIN", 0xA0000, 0x10000, vram);
    m->setWindowOffset(const_cast<uint8_t *>(win), (1 << 20) - 0x8000);
    lin[(1 << 20) - 1] = 1;
    win[0x7FFF] = 3; // a window near the end shows only what exists
    EXPECT_EQ(vram.data()[(1 << 20) - 1], 3);
    EXPECT_TRUE(m->failures().empty());

    struct Case {
        const char *name;
        volatile uint8_t *first; // the access that is reported
        bool write;
        volatile uint8_t *later; // another page of the same run: not reported again
        const char *report;
    } cases[] = {
        {"aperture write", lin + (1 << 20) + 0x10, true, lin + (3 << 20),
         "processor write at LFB+0x100010: no memory or device answers there"},
        {"window read", win + 0x8004, false, win + 0xC000,
         "processor read at WIN+0x8004: no memory or device answers there"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = m->failures().size();
        if (c.write)
            *c.first = 0x5A;
        EXPECT_EQ(*c.first, 0xFF) << "a write there is lost";
        ASSERT_EQ(m->failures().size(), before + 1);
        EXPECT_EQ(m->failures().back(), c.report);
        *c.later = 7;
        EXPECT_EQ(*c.later, 0xFF);
        reinterpret_cast<volatile uint32_t *>(c.first)[1] = 0x12345678;
        EXPECT_EQ(reinterpret_cast<volatile uint32_t *>(c.first)[1], 0xFFFFFFFFu);
        EXPECT_EQ(m->failures().size(), before + 1);
    }
    // The accessors are refused there, as before.
    EXPECT_THROW(mmWrite8(const_cast<uint8_t *>(lin) + (1 << 20), 1), sim::Abort);
    EXPECT_THROW(mmRead8(const_cast<uint8_t *>(win) + 0x8000), sim::Abort);
    EXPECT_EQ(vram.data()[(1 << 20) - 1], 3) << "video memory itself is untouched";
}

// A register window with its frame buffer at an offset: registers (devices)
// first, video memory from the offset, nothing before it or past it.
TEST_F(MachineTest, ApertureWithMemoryAfterItsRegisters) {
    sim::VideoMemory vram(1 << 20);
    RecordingRegs regs;
    volatile uint8_t *area =
        m->addLinearApertureAfter("REGS", 0xE0000000, 0x300000, vram, 0x200000);
    m->mapDevice(const_cast<uint8_t *>(area) + 0x100, 0x100, &regs);

    area[0x200000] = 0x11;
    area[0x2FFFFF] = 0x22;
    mmWrite32(const_cast<uint8_t *>(area) + 0x200004, 0x33445566);
    EXPECT_EQ(vram.data()[0], 0x11);
    EXPECT_EQ(vram.data()[0xFFFFF], 0x22);
    EXPECT_EQ(vram.data()[4], 0x66);
    EXPECT_EQ(mmRead32(const_cast<uint8_t *>(area) + 0x104), 0xA5A5A5A5u);
    EXPECT_TRUE(m->failures().empty());

    // Before the memory: the device page's other bytes and other pages are
    // reported once each, as past the memory.
    EXPECT_EQ(area[0x10], 0xFF);
    EXPECT_EQ(area[0x1000], 0xFF);
    EXPECT_EQ(area[0x1FFFFF], 0xFF);
    EXPECT_EQ(m->failures().size(), 2u);
    EXPECT_THROW(mmRead8(const_cast<uint8_t *>(area) + 0x1000), sim::Abort);
    EXPECT_THROW(m->addLinearApertureAfter("ODD", 0, 0x3000, vram, 0x800), std::invalid_argument);
}

// A device that answers the accessors only: the processor's plain accesses
// to the same bytes reach memory.
TEST_F(MachineTest, AccessorDeviceLeavesPlainAccessesToMemory) {
    sim::VideoMemory vram(1 << 16);
    uint8_t *lin = m->addLinearAperture("LFB", 0xE0000000, 1 << 16, vram);
    RecordingRegs probe;
    m->mapAccessorDevice(lin + 0x100, 0x100, &probe);
    lin[0x104] = 0x77;
    EXPECT_EQ(vram.data()[0x104], 0x77);
    mmWrite32(lin + 0x104, 0x12345678);
    EXPECT_EQ(mmRead16(lin + 0x1FE), 0xA5A5);
    EXPECT_EQ(vram.data()[0x104], 0x77) << "the device took the accessor's write";
    mmWrite8(lin + 0x200, 0x99);
    EXPECT_EQ(vram.data()[0x200], 0x99) << "past the device: memory";
    const std::vector<RecordingRegs::Op> want = {{true, 4, 4, 0x12345678},
                                                 {false, 0xFE, 2, 0xA5A5A5A5u}};
    EXPECT_EQ(probe.ops, want);
    EXPECT_TRUE(m->failures().empty());
}

// ---- ports ----

TEST_F(MachineTest, WideAccessToByteDeviceSplitsLowByteFirst) {
    RecordingPorts dev;
    m->attachPorts(0x3C4, 4, &dev);
    using Op = RecordingPorts::Op;

    outw(0x3C4, 0x1234);
    EXPECT_EQ(dev.ops, (std::vector<Op>{{true, 0x3C4, 1, 0x34}, {true, 0x3C5, 1, 0x12}}));
    dev.ops.clear();
    ioOut32(0x3C4, 0x44332211);
    EXPECT_EQ(dev.ops, (std::vector<Op>{{true, 0x3C4, 1, 0x11},
                                        {true, 0x3C5, 1, 0x22},
                                        {true, 0x3C6, 1, 0x33},
                                        {true, 0x3C7, 1, 0x44}}));
    dev.ops.clear();
    EXPECT_EQ(inw(0x3C4), 0xC5C4);
    EXPECT_EQ(ioIn32(0x3C4), 0xC7C6C5C4u);
    EXPECT_TRUE(failures.empty());
    // The trace keeps the access as the driver made it.
    ASSERT_EQ(m->accessCount(), 4u);
    EXPECT_EQ(m->describe(m->trace()[0]), "out16 0x03C4 <- 0x1234");
    EXPECT_EQ(m->describe(m->trace()[2]), "in16 0x03C4 -> 0xC5C4");
}

TEST_F(MachineTest, WordDeviceSeesWordsAndByteAccessesStayBytes) {
    RecordingPorts dev;
    m->attachPorts(0x9AE8, 4, &dev, 2);
    using Op = RecordingPorts::Op;
    ioOut32(0x9AE8, 0xAAAABBBB);
    ioOut8(0x9AE8, 0x12);
    ioOut16(0x9AE8, 0x3456);
    EXPECT_EQ(dev.ops, (std::vector<Op>{{true, 0x9AE8, 2, 0xBBBB},
                                        {true, 0x9AEA, 2, 0xAAAA},
                                        {true, 0x9AE8, 1, 0x12},
                                        {true, 0x9AE8, 2, 0x3456}}));
}

TEST_F(MachineTest, UnclaimedPortsReadAllOnesAndAreReported) {
    EXPECT_EQ(inb(0x2E8), 0xFF);
    EXPECT_EQ(inw(0x2E8), 0xFFFF);
    EXPECT_EQ(ioIn32(0x2E8), 0xFFFFFFFFu);
    outb(0x2E9, 1);
    EXPECT_TRUE(failedWith("unclaimed port in8 0x02E8"));
    EXPECT_TRUE(failedWith("unclaimed port out8 0x02E9 <- 0x01"));
    // Half-claimed: the claimed byte comes from the device.
    RecordingPorts dev;
    m->attachPorts(0x3C4, 1, &dev);
    EXPECT_EQ(inw(0x3C4), 0xFFC4);
    EXPECT_TRUE(failedWith("unclaimed port in8 0x03C5"));
}

TEST_F(MachineTest, StringPortTransfersRepeatTheAccess) {
    RecordingPorts dev;
    m->attachPorts(0x1E0, 2, &dev);
    const uint8_t bytes[3] = {1, 2, 3};
    ioOutsb(0x1E0, bytes, 3);
    const uint8_t words[5] = {0, 0x11, 0x22, 0x33, 0x44}; // misaligned on purpose
    ioOutsw(0x1E0, words + 1, 2);
    uint8_t in[5] = {};
    ioInsw(0x1E0, in + 1, 2);
    EXPECT_EQ(dev.ops.size(), 3u + 4u + 4u);
    EXPECT_EQ(dev.ops[3].value, 0x11u);
    EXPECT_EQ(dev.ops[4].value, 0x22u);
    EXPECT_EQ(dev.ops[5].value, 0x33u);
    EXPECT_EQ(in[1], 0xE0);
    EXPECT_EQ(in[2], 0xE1);
    EXPECT_EQ(m->accessCount(), 3u + 2u + 2u);
}

// ---- memory devices and the trace ----

TEST_F(MachineTest, DeviceRangeReceivesAccessesAndEverythingIsTraced) {
    uint8_t *area = m->addArea("MMIO", 0xF0000000, 0x10000);
    RecordingRegs regs;
    m->mapDevice(area + 0x8000, 0x100, &regs);
    int region = m->regionIndex("MMIO");

    mmWrite32(area + 0x8040, 0x00000002);
    mmWrite8(area + 0x80FF, 0x7);
    EXPECT_EQ(mmRead16(area + 0x8010), 0xA5A5);
    mmWrite16(area + 0x10, 0x1234); // plain memory beside the device
    EXPECT_EQ(mmRead16(area + 0x10), 0x1234);
    EXPECT_EQ(area[0x10], 0x34);

    using Op = RecordingRegs::Op;
    EXPECT_EQ(
        regs.ops,
        (std::vector<Op>{{true, 0x40, 4, 2}, {true, 0xFF, 1, 7}, {false, 0x10, 2, 0xA5A5A5A5u}}));
    ASSERT_EQ(m->accessCount(), 5u);
    const Access &first = m->trace()[0];
    EXPECT_EQ(first.kind, Access::MemWrite);
    EXPECT_EQ(first.width, 4);
    EXPECT_EQ(first.address, 0x8040u);
    EXPECT_EQ(first.value, 2u);
    EXPECT_EQ(first.region, region);
    EXPECT_EQ(m->describe(first), "write32 MMIO+0x8040 <- 0x00000002");
    EXPECT_EQ(m->describe(m->trace()[2]), "read16 MMIO+0x8010 -> 0xA5A5");
    EXPECT_EQ(m->trace()[4].kind, Access::MemRead);

    m->clearTrace();
    m->setTracing(false);
    mmWrite8(area, 1);
    EXPECT_EQ(m->accessCount(), 0u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(MachineTest, BlockWritesAreSeparateAccesses) {
    uint8_t *area = m->addArea("MMIO", 0, 0x2000);
    RecordingRegs port;
    m->mapDevice(area + 0x1800, 4, &port);
    const uint32_t words[3] = {1, 2, 3};
    mmWriteRep32(area + 0x1800, words, 3);
    ASSERT_EQ(port.ops.size(), 3u);
    for (uint32_t i = 0; i < 3; i++) {
        EXPECT_EQ(port.ops[i].offset, 0u);
        EXPECT_EQ(port.ops[i].value, i + 1);
    }
    const uint8_t bytes[4] = {9, 8, 7, 6};
    mmWriteBytes(area + 0x10, bytes, 4);
    EXPECT_EQ(area[0x10], 9);
    EXPECT_EQ(area[0x13], 6);
    ASSERT_EQ(m->accessCount(), 7u);
    EXPECT_EQ(m->trace()[6].address, 0x13u);
}

// A status poll is stored once with a count, yet every view of the trace
// shows each access in order, as if all had been stored.
TEST_F(MachineTest, RunsOfIdenticalReadsAreStoredOnceAndCountedExactly) {
    SteadyPort status;
    m->attachPorts(0x3CE, 2, &status);
    uint8_t *area = m->addArea("MMIO", 0, 0x1000);
    constexpr size_t kPolls = 1000000;
    m->setPollLimit(2 * kPolls);

    outb(0x3CE, 0x31);
    for (size_t i = 0; i < kPolls; i++)
        ASSERT_EQ(ioIn8(0x3CF), 0x80);
    status.value = 0x00; // idle: the first differing read ends the run
    inb(0x3CF);
    inb(0x3CF);
    for (int i = 0; i < 3; i++) { // two locations in turn: no run
        mmRead32(area + 0x40);
        inb(0x3CF);
    }
    mmWrite8(area, 1); // identical writes are each an entry
    mmWrite8(area, 1);

    const size_t total = 1 + kPolls + 2 + 6 + 2;
    const sim::Trace &t = m->trace();
    EXPECT_EQ(m->accessCount(), total);
    EXPECT_EQ(t.size(), total);
    EXPECT_EQ(t.runs().size(), 1u + 1u + 1u + 6u + 2u);
    EXPECT_EQ(t.runs()[1].repeat, kPolls);

    struct Case {
        size_t index;
        const char *access;
    } cases[] = {
        {0, "out8 0x03CE <- 0x31"},         {1, "in8 0x03CF -> 0x80"},
        {kPolls, "in8 0x03CF -> 0x80"},     {kPolls + 1, "in8 0x03CF -> 0x00"},
        {kPolls + 2, "in8 0x03CF -> 0x00"}, {kPolls + 3, "read32 MMIO+0x40 -> 0x00000000"},
        {kPolls + 4, "in8 0x03CF -> 0x00"}, {total - 1, "write8 MMIO+0x0 <- 0x01"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(m->describe(t[c.index]), c.access) << c.index;

    // Iteration visits every access once, in order.
    size_t seen = 0, busy = 0, firstIdle = 0;
    for (const Access &a : t) {
        if (a.kind == Access::PortIn && a.value == 0x80)
            busy++;
        if (firstIdle == 0 && a.kind == Access::PortIn && a.value == 0x00)
            firstIdle = seen;
        seen++;
    }
    EXPECT_EQ(seen, total);
    EXPECT_EQ(busy, kPolls);
    EXPECT_EQ(firstIdle, kPolls + 1);
    EXPECT_EQ(std::count_if(t.begin(), t.end(),
                            [](const Access &a) { return a.kind == Access::MemWrite; }),
              2);

    m->clearTrace();
    EXPECT_EQ(m->accessCount(), 0u);
    EXPECT_TRUE(t.runs().empty());
    EXPECT_EQ(t.begin(), t.end());
    inb(0x3CF);
    EXPECT_EQ(m->describe(t[0]), "in8 0x03CF -> 0x00");
    EXPECT_TRUE(failures.empty());
}

// ---- devices sharing a page with memory ----

// A register block in the last 256 bytes of a 64 KB area whose other bytes
// are video memory or plain memory; a window also after a bank change.
class SharedPageTest : public MachineTest {
  protected:
    enum class Kind { Aperture, Plain, Window };
    static constexpr Kind kKinds[] = {Kind::Aperture, Kind::Plain, Kind::Window};
    static constexpr uint32_t kSize = 0x10000, kRegs = 0xFF00, kPage = 0xF000;

    // A fresh machine for each case of a table.
    void build(Kind kind) {
        Machine::reset();
        m = &Machine::current();
        failures.clear();
        m->setFailureHandler([this](const std::string &msg) { failures.push_back(msg); });
        regs.ops.clear();
        vram = std::make_unique<sim::VideoMemory>(2 * kSize);
        // What the register block hides must stay as it is.
        for (uint32_t i = 0; i < 2 * kSize; i++)
            vram->data()[i] = uint8_t(i * 13 + 1);
        switch (kind) {
        case Kind::Aperture:
            base = m->addLinearAperture("LFB", 0xE0000000, kSize, *vram);
            break;
        case Kind::Plain:
            base = m->addArea("LFB", 0xE0000000, kSize);
            break;
        case Kind::Window:
            base = m->addWindow("LFB", 0xA0000, kSize, *vram);
            break;
        }
        m->mapDevice(base + kRegs, 0x100, &regs);
        if (kind == Kind::Window)
            m->setWindowOffset(base, kSize);
        mem = kind == Kind::Plain ? nullptr : vram->data() + (kind == Kind::Window ? kSize : 0);
    }
    // The byte the processor's view shows at `offset`, read where the
    // memory really is.
    uint8_t backing(uint32_t offset) const {
        return mem != nullptr ? mem[offset] : mmRead8(base + offset);
    }
    void expectHiddenBytesKept() const {
        if (mem == nullptr)
            return;
        for (uint32_t i = kRegs; i < kSize; i++)
            ASSERT_EQ(mem[i], uint8_t((i + (mem != vram->data() ? kSize : 0)) * 13 + 1)) << i;
    }

    std::unique_ptr<sim::VideoMemory> vram;
    RecordingRegs regs;
    uint8_t *base = nullptr;
    uint8_t *mem = nullptr;
};

TEST_F(SharedPageTest, MemoryPartWorksAsMemoryForTheProcessorAndTheAccessors) {
    for (Kind kind : kKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        build(kind);
        volatile uint8_t *raw = base;

        // Single loads and stores at both ends of the memory part.
        raw[kPage] = 0x11;
        raw[kRegs - 1] = 0x22;
        *reinterpret_cast<volatile uint32_t *>(base + kRegs - 4) = 0x33445566;
        EXPECT_EQ(raw[kPage], 0x11);
        EXPECT_EQ(backing(kPage), 0x11);
        EXPECT_EQ(backing(kRegs - 4), 0x66);
        EXPECT_EQ(backing(kRegs - 1), 0x33);

        // Block copies and fills across the page boundary, both ways.
        std::vector<uint8_t> src(0x180), back(0x180);
        for (size_t i = 0; i < src.size(); i++)
            src[i] = uint8_t(i * 7 + 5);
        uint8_t *from = base + kPage - 0x100;
        std::memcpy(from, src.data(), src.size());
        std::memcpy(back.data(), from, back.size());
        EXPECT_EQ(back, src);
        for (uint32_t i = 0; i < src.size(); i++)
            ASSERT_EQ(backing(kPage - 0x100 + i), src[i]) << i;
        std::memset(base + kPage + 0x100, 0xC3, 0x80);
        EXPECT_EQ(backing(kPage + 0x17F), 0xC3);

        // The accessors reach memory beside the block and the block itself.
        mmWrite32(base + kPage + 0x10, 0xCAFEF00D);
        EXPECT_EQ(mmRead32(base + kPage + 0x10), 0xCAFEF00Du);
        EXPECT_EQ(*reinterpret_cast<volatile uint32_t *>(base + kPage + 0x10), 0xCAFEF00Du);
        mmWrite8(base + kRegs + 0x40, 2);
        EXPECT_EQ(mmRead16(base + kRegs + 0x10), 0xA5A5);
        using Op = RecordingRegs::Op;
        EXPECT_EQ(regs.ops, (std::vector<Op>{{true, 0x40, 1, 2}, {false, 0x10, 2, 0xA5A5A5A5u}}));
        expectHiddenBytesKept();
        EXPECT_TRUE(m->failures().empty()) << m->failures().front();
        EXPECT_THROW(mmRead32(base + kRegs - 2), sim::Abort) << "half memory, half device";
        EXPECT_TRUE(failedWith("no memory or device answers: read32 LFB+0xFEFE"));
    }
}

// A plain access to the block's bytes is a driver's fault: reported with its
// place, once per page, and harmless (reads 0xFF, writes reach nothing).
TEST_F(SharedPageTest, PlainAccessToTheDeviceIsReportedAndHarmless) {
    const std::string block = ": a device's registers, which answer only through the accessors";
    struct Case {
        const char *name;
        std::function<uint32_t(uint8_t *)> access; // returns what was read
        uint32_t read;
        const char *report;
    } cases[] = {
        {"read", [](uint8_t *b) { return uint32_t(*(volatile uint8_t *)(b + kRegs + 0x40)); }, 0xFF,
         "processor read at LFB+0xFF40"},
        {"write",
         [](uint8_t *b) {
             *(volatile uint32_t *)(b + kRegs + 0x10) = 0x12345678;
             return 0xFFu;
         },
         0xFF, "processor write at LFB+0xFF10"},
        {"write from the memory part into the block",
         [](uint8_t *b) {
             const uint32_t v = 0xAABBCCDD;
             std::memcpy(b + kRegs - 2, &v, sizeof v);
             return uint32_t(b[kRegs - 2] | b[kRegs - 1] << 8);
         },
         0xCCDD, "processor write at LFB+0xFF00"},
        {"read of the last byte", [](uint8_t *b) { return uint32_t(b[kSize - 1]); }, 0xFF,
         "processor read at LFB+0xFFFF"},
    };
    for (Kind kind : kKinds) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(static_cast<int>(kind)));
            build(kind);
            EXPECT_EQ(c.access(base), c.read);
            ASSERT_EQ(m->failures().size(), 1u);
            EXPECT_EQ(m->failures()[0], c.report + block);
            EXPECT_TRUE(regs.ops.empty()) << "the device saw nothing";
            expectHiddenBytesKept();
            c.access(base);
            EXPECT_EQ(m->failures().size(), 1u) << "one report per page";
            // The memory part still works.
            base[kPage] = 0x42;
            EXPECT_EQ(backing(kPage), 0x42);
        }
    }
}

// A page that holds nothing but a device: the same report, no crash.
TEST_F(MachineTest, PlainAccessToAWholeDevicePageIsReported) {
    uint8_t *area = m->addArea("MMIO", 0, 0x10000);
    RecordingRegs regs;
    m->mapDevice(area + 0x8000, 0x1000, &regs);
    area[0x7FFF] = 1;
    volatile uint8_t *raw = area;
    raw[0x8040] = 1;
    EXPECT_EQ(raw[0x8FFF], 0xFF);
    EXPECT_EQ(m->failures(),
              std::vector<std::string>{"processor write at MMIO+0x8040: a device's registers, "
                                       "which answer only through the accessors"});
    EXPECT_TRUE(regs.ops.empty());
    mmWrite8(area + 0x8FFF, 1);
    EXPECT_EQ(regs.ops.size(), 1u);
}

// The memory beside a register block is video memory like any other: the
// engine owns it while busy.
TEST_F(SharedPageTest, BusyGuardCoversTheMemoryPart) {
    build(Kind::Aperture);
    const std::string busy = "processor access to video memory while the engine is busy";
    volatile uint8_t *raw = base;
    struct Case {
        const char *name;
        std::function<void()> touch;
    } cases[] = {
        {"raw write", [&] { raw[kPage + 1] = 9; }},
        {"raw read", [&] { (void)raw[kRegs - 1]; }},
        {"accessor", [&] { mmWrite8(base + kPage + 2, 9); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = m->failures().size();
        m->guardVideoMemory(*vram, true);
        c.touch();
        c.touch();
        ASSERT_EQ(m->failures().size(), before + 1) << "one report per busy period";
        EXPECT_EQ(m->failures().back(), busy);
        m->guardVideoMemory(*vram, false);
        c.touch();
        EXPECT_EQ(m->failures().size(), before + 1);
    }
    EXPECT_EQ(mem[kPage + 1], 9);
    EXPECT_EQ(mem[kPage + 2], 9);
}

// ---- watchdog ----

TEST_F(MachineTest, WatchdogStopsAPollThatNeverEnds) {
    RecordingPorts dev;
    m->attachPorts(0x3CE, 2, &dev);
    m->setPollLimit(1000);
    int reads = 0;
    try {
        outb(0x3CE, 0x31);
        for (;;) {
            if ((inb(0x3CF) & 1) == 0)
                break; // never: the device answers 0xCF
            reads++;
        }
        FAIL() << "the poll ended";
    } catch (const sim::Abort &e) {
        EXPECT_STREQ(e.what(), "watchdog: in8 0x03CF -> 0xCF polled 1000 times without progress");
    }
    EXPECT_EQ(reads, 999);
    EXPECT_TRUE(failedWith("watchdog: in8 0x03CF"));
}

TEST_F(MachineTest, WatchdogCountsReadsWithoutProgress) {
    RecordingPorts dev;
    m->attachPorts(0x3CE, 2, &dev);
    uint8_t *area = m->addArea("MMIO", 0, 0x1000);
    m->setPollLimit(100);
    // A write that changes what was written there is progress.
    for (int i = 0; i < 1000; i++) {
        for (int j = 0; j < 99; j++)
            inb(0x3CF);
        mmWrite8(area, static_cast<uint8_t>(i));
    }
    // Reads of many locations are not a poll.
    for (int i = 0; i < 1000; i++)
        mmRead8(area + i);
    EXPECT_TRUE(failures.empty());
    // A loop over two status locations is.
    EXPECT_THROW(
        for (;;) {
            inb(0x3CF);
            mmRead32(area + 0x40);
        },
        sim::Abort);
    // So is one that selects its status register anew on every pass: the
    // index it writes is the one already there.
    int passes = 0;
    EXPECT_THROW(
        for (;; passes++) {
            outb(0x3CE, 0x31);
            inb(0x3CF);
        },
        sim::Abort);
    EXPECT_EQ(passes, 99);
}

// A driver's bounded wait on an engine that never goes idle: as many reads
// as the largest bound a driver uses, each cheap and none growing the trace;
// the next read is one too many for a watchdog set just above the bound.
TEST_F(MachineTest, LongestBoundedWaitStaysSmallAndMeetsTheWatchdog) {
    SteadyPort status;
    m->attachPorts(0x3CE, 2, &status);
    constexpr uint32_t kBound = 0x8FFFFFF;
    m->setPollLimit(uint64_t{kBound} + 1);
    outb(0x3CE, 0x31);
    uint32_t reads = 0;
    while (reads < kBound && (ioIn8(0x3CF) & 0x80) != 0)
        reads++;
    EXPECT_EQ(reads, kBound);
    EXPECT_EQ(m->accessCount(), 1u + kBound);
    EXPECT_EQ(m->trace().runs().size(), 2u);
    EXPECT_TRUE(failures.empty());

    EXPECT_THROW(ioIn8(0x3CF), sim::Abort);
    EXPECT_TRUE(failedWith("in8 0x03CF -> 0x80 polled 150994944 times without progress"));
}

// ---- busy video memory ----

TEST_F(MachineTest, ProcessorAccessWhileBusyIsReportedAndCompletes) {
    sim::VideoMemory vram(1 << 20);
    uint8_t *lin = m->addLinearAperture("LFB", 0xE0000000, 1 << 20, vram);
    uint8_t *win = m->addWindow("WIN", 0xA0000, 0x10000, vram);
    const std::string busy = "processor access to video memory while the engine is busy";

    m->guardVideoMemory(vram, true);
    vram.data()[0x100] = 0x11; // the engine's own view stays open
    lin[0x200] = 0x22;
    EXPECT_EQ(vram.data()[0x200], 0x22) << "the access completes";
    ASSERT_EQ(m->failures().size(), 1u);
    EXPECT_EQ(m->failures()[0], busy);
    EXPECT_EQ(failures, std::vector<std::string>{busy});

    // The next start guards again, the window view included.
    m->guardVideoMemory(vram, true);
    volatile uint8_t seen = win[0x100];
    EXPECT_EQ(seen, 0x11);
    EXPECT_EQ(m->failures().size(), 2u);

    m->guardVideoMemory(vram, true);
    mmWrite8(lin + 0x300, 0x33); // through an accessor: same rule
    EXPECT_EQ(m->failures().size(), 3u);
    EXPECT_EQ(vram.data()[0x300], 0x33);

    // Idle: free access.
    m->guardVideoMemory(vram, true);
    m->guardVideoMemory(vram, false);
    lin[0x400] = 1;
    win[0x400] = 2;
    EXPECT_EQ(m->failures().size(), 3u);
}

TEST_F(MachineTest, BankChangeWhileBusyKeepsTheGuard) {
    sim::VideoMemory vram(1 << 20);
    uint8_t *win = m->addWindow("WIN", 0xA0000, 0x10000, vram);
    m->guardVideoMemory(vram, true);
    m->setWindowOffset(win, 0x20000);
    win[5] = 9;
    EXPECT_EQ(vram.data()[0x20005], 9);
    EXPECT_EQ(m->failures().size(), 1u);
}

// An idle engine leaves its memory closed until the processor comes back;
// every way of coming back opens it without a report, and the same touch
// while the engine is busy is reported once.
TEST_F(MachineTest, EveryTouchOfIdleMemoryIsFreeAndOfBusyMemoryReported) {
    sim::VideoMemory vram(1 << 20);
    uint8_t *lin = m->addLinearAperture("LFB", 0xE0000000, 1 << 20, vram);
    uint8_t *win = m->addWindow("WIN", 0xA0000, 0x10000, vram);
    volatile uint8_t *rawLin = lin, *rawWin = win;
    const uint8_t *mem = vram.data();
    struct Case {
        const char *touch;
        std::function<void()> run;
        size_t at; // where video memory holds 0x5A afterwards
    } cases[] = {
        {"accessor write", [&] { mmWrite8(lin + 0x10, 0x5A); }, 0x10},
        {"accessor read of the window", [&] { EXPECT_EQ(mmRead8(win + 0x10), 0x5A); }, 0x10},
        {"raw write", [&] { rawLin[0x20] = 0x5A; }, 0x20},
        {"raw read of the window", [&] { EXPECT_EQ(rawWin[0x20], 0x5A); }, 0x20},
        {"raw write after a bank change",
         [&] {
             m->setWindowOffset(win, 0x30000);
             rawWin[0x30] = 0x5A;
         },
         0x30030},
        {"raw write after a bank change that shortens the window",
         [&] {
             m->setWindowOffset(win, (1 << 20) - 0x8000);
             rawWin[0x7FFF] = 0x5A;
         },
         (1 << 20) - 1},
    };
    for (bool busy : {false, true}) {
        m->setWindowOffset(win, 0);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.touch) + (busy ? " while busy" : " while idle"));
            size_t before = m->failures().size();
            // Operations without the processor in between keep the memory closed.
            for (int i = 0; i < 3; i++) {
                m->guardVideoMemory(vram, true);
                m->guardVideoMemory(vram, false);
            }
            m->guardVideoMemory(vram, busy);
            c.run();
            EXPECT_EQ(mem[c.at], 0x5A);
            EXPECT_EQ(m->failures().size(), before + (busy ? 1 : 0));
            m->guardVideoMemory(vram, false);
        }
    }
}

// Opening one idle memory leaves another's busy engine guarded; the report
// on that one ends the guard of every engine, until the next start.
TEST_F(MachineTest, EachVideoMemoryIsGuardedOnItsOwn) {
    sim::VideoMemory a(1 << 16), b(1 << 16);
    volatile uint8_t *la = m->addLinearAperture("A", 0xE0000000, 1 << 16, a);
    volatile uint8_t *lb = m->addLinearAperture("B", 0xD0000000, 1 << 16, b);
    m->guardVideoMemory(a, true);
    m->guardVideoMemory(a, false);
    m->guardVideoMemory(b, true);
    la[0] = 1;
    EXPECT_TRUE(m->failures().empty());
    lb[0] = 1;
    EXPECT_EQ(m->failures().size(), 1u);
    m->guardVideoMemory(a, true);
    lb[1] = 1;
    EXPECT_EQ(m->failures().size(), 1u);
    la[1] = 1;
    EXPECT_EQ(m->failures().size(), 2u);
    EXPECT_EQ(a.data()[1], 1);
    EXPECT_EQ(b.data()[1], 1);
}

// Machines side by side (a screen each): a busy engine on one guards only
// its own memory, and a machine that goes leaves the other's guard working.
TEST_F(MachineTest, EachMachineGuardsItsOwnVideoMemory) {
    sim::VideoMemory a(1 << 16), b(1 << 16);
    volatile uint8_t *la = m->addLinearAperture("A", 0xE0000000, 1 << 16, a);
    std::unique_ptr<Machine> other = Machine::make();
    std::vector<std::string> otherFailures;
    other->setFailureHandler([&](const std::string &msg) { otherFailures.push_back(msg); });
    volatile uint8_t *lb = other->addLinearAperture("B", 0xE0000000, 1 << 16, b);
    m->guardVideoMemory(a, true);
    lb[0] = 1;
    EXPECT_TRUE(other->failures().empty());
    other->guardVideoMemory(b, true);
    other->guardVideoMemory(b, false);
    la[0] = 1;
    EXPECT_EQ(m->failures().size(), 1u);
    m->guardVideoMemory(a, true);
    other.reset();
    la[1] = 1;
    EXPECT_EQ(m->failures().size(), 2u);
    EXPECT_TRUE(otherFailures.empty());
}

TEST_F(MachineDeathTest, OtherFaultsStillCrashWhileTheGuardIsInstalled) {
    sim::VideoMemory vram(1 << 16);
    uint8_t *lin = m->addLinearAperture("LFB", 0, 1 << 16, vram);
    uint8_t *area = m->addArea("MEMORY", 0, 0x1000);
    m->guardVideoMemory(vram, true);
    EXPECT_DEATH(area[0x1000] = 1, "");
    lin[0] = 1; // still caught after the death test's child is gone
    EXPECT_EQ(m->failures().size(), 1u);
}

// ---- machine life and time ----

TEST_F(MachineTest, ResetGivesAFreshMachineAndNapAdvancesVirtualTime) {
    m->addArea("MEMORY", 0, 0x1000);
    inb(0x80);
    EXPECT_EQ(nap(5), 0);
    EXPECT_EQ(m->nowMicros(), 5000u);
    EXPECT_FALSE(m->failures().empty());

    Machine::reset();
    Machine &fresh = Machine::current();
    EXPECT_EQ(fresh.findArea("MEMORY"), nullptr);
    EXPECT_EQ(fresh.accessCount(), 0u);
    EXPECT_EQ(fresh.nowMicros(), 0u);
    EXPECT_TRUE(fresh.failures().empty());
}

TEST_F(MachineTest, OwnedModelsLiveWithTheMachine) {
    struct Counted {
        explicit Counted(int *c) : c(c) { ++*c; }
        ~Counted() { --*c; }
        int *c;
    };
    int live = 0;
    m->own<Counted>(&live);
    EXPECT_EQ(live, 1);
    Machine::reset();
    EXPECT_EQ(live, 0);
}

// ---- adapter registry ----

class FakeAdapter : public sim::Adapter {
  public:
    std::string model() const override { return "fake-vga"; }
    sim::VideoMemory *vram() override { return nullptr; }
};

sim::AdapterRegistration fakeRegistration("fake-vga", [](graf::Config &cfg, Machine &m) {
    cfg.areas[0].mapped = m.addArea("OWN", cfg.areas[0].physBase, cfg.areas[0].length);
    sim::mapPlainAreas(cfg, m);
    return std::make_unique<FakeAdapter>();
});

TEST_F(MachineTest, RegistryBuildsAdaptersAndMapsPlainAreas) {
    graf::Config cfg;
    cfg.adapter = "fake-vga";
    cfg.areas.push_back({"", 0xA0000, 0x10000, nullptr});
    cfg.areas.push_back({"BIOS", 0xC0000, 0x8000, nullptr});

    auto names = sim::adapterModels();
    EXPECT_NE(std::find(names.begin(), names.end(), "fake-vga"), names.end());
    auto adapter = sim::makeAdapter(cfg, *m);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->model(), "fake-vga");
    EXPECT_EQ(cfg.areas[0].mapped, m->findArea("OWN")->host);
    ASSERT_NE(m->findArea("BIOS"), nullptr);
    EXPECT_EQ(cfg.areas[1].mapped, m->findArea("BIOS")->host);
    EXPECT_EQ(m->findArea("BIOS")->length, 0x8000u);

    cfg.adapter = "no-such-board";
    EXPECT_EQ(sim::makeAdapter(cfg, *m), nullptr);
    graf::Config plain;
    plain.areas.push_back({"", 0xA0000, 0x10000, nullptr});
    sim::mapPlainAreas(plain, *m);
    EXPECT_EQ(plain.areas[0].mapped, m->findArea("MEMORY")->host);
}

// ---- VGA models ----

class VgaTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        vga = &sim::vga::VgaCore::create(*m);
    }
    sim::vga::VgaCore *vga = nullptr;
};

TEST_F(VgaTest, AttributeFlipFlopAlternatesAndInputStatusResetsIt) {
    auto &attr = vga->attr;
    std::vector<std::pair<int, int>> writes;
    attr.onWrite = [&](uint8_t i, uint8_t v) { writes.push_back({i, v}); };

    inb(0x3DA);
    outb(0x3C0, 0x31); // index 0x11 with the picture on
    outb(0x3C0, 0x07);
    EXPECT_EQ(attr.reg(0x11), 0x07);
    EXPECT_TRUE(attr.expectingIndex());
    EXPECT_EQ(inb(0x3C0), 0x31);
    EXPECT_EQ(inb(0x3C1), 0x07);

    // Blanking as drivers do it: reset, then an index byte without bit 5.
    outb(0x3C0, 0x12); // leaves the flip-flop expecting data
    inb(0x3DA);
    outb(0x3C0, 0x00);
    EXPECT_FALSE(attr.screenEnabled());
    inb(0x3DA);
    outb(0x3C0, 0x20);
    EXPECT_TRUE(attr.screenEnabled());

    // Without the reset, a blanking byte that meets the flip-flop expecting
    // data lands in the selected register and the picture stays on.
    outb(0x3C0, 0x01); // data for index 0
    outb(0x3C0, 0x31);
    outb(0x3C0, 0x00);
    EXPECT_TRUE(attr.screenEnabled());
    EXPECT_EQ(attr.reg(0x00), 0x01);
    EXPECT_EQ(attr.reg(0x11), 0x00);
    EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{0x11, 0x07}, {0x00, 0x01}, {0x11, 0x00}}));
}

TEST_F(VgaTest, DacAutoIncrementsAfterEachThirdComponent) {
    auto &dac = vga->dac;
    outb(0x3C8, 0xFE);
    for (uint8_t v : {0x3F, 0x00, 0x15, 0xFF, 0x40, 0x81, 0x01, 0x02, 0x03})
        outb(0x3C9, v);
    EXPECT_EQ(dac.entry(0xFE), (sim::vga::Dac::Entry{0x3F, 0x00, 0x15}));
    EXPECT_EQ(dac.entry(0xFF), (sim::vga::Dac::Entry{0x3F, 0x00, 0x01}));
    EXPECT_EQ(dac.rawEntry(0xFF), (sim::vga::Dac::Entry{0xFF, 0x40, 0x81}));
    EXPECT_EQ(dac.entry(0x00), (sim::vga::Dac::Entry{1, 2, 3})) << "the index wraps";
    EXPECT_EQ(dac.writeIndex(), 1);
    ASSERT_EQ(dac.writes().size(), 3u);
    EXPECT_EQ(dac.writes()[1].index, 0xFF);

    // A new write index restarts the component count.
    outb(0x3C9, 0x10);
    outb(0x3C8, 5);
    for (uint8_t v : {4, 5, 6})
        outb(0x3C9, v);
    EXPECT_EQ(dac.entry(5), (sim::vga::Dac::Entry{4, 5, 6}));

    outb(0x3C7, 0xFE);
    EXPECT_EQ(inb(0x3C7), 0x03);
    std::vector<int> read;
    for (int i = 0; i < 6; i++)
        read.push_back(inb(0x3C9));
    EXPECT_EQ(read, (std::vector<int>{0x3F, 0x00, 0x15, 0x3F, 0x00, 0x01}));
    outb(0x3C6, 0x0F);
    EXPECT_EQ(dac.mask(), 0x0F);
    EXPECT_EQ(inb(0x3C6), 0x0F);
}

TEST_F(VgaTest, DacHookCanTakeEntriesElsewhere) {
    auto &dac = vga->dac;
    std::vector<int> taken;
    dac.onEntryWrite = [&](uint8_t i, sim::vga::Dac::Entry) {
        if (i != 15)
            return false;
        taken.push_back(i);
        return true;
    };
    outb(0x3C8, 14);
    for (int i = 0; i < 6; i++)
        outb(0x3C9, 0x20);
    EXPECT_EQ(dac.entry(14), (sim::vga::Dac::Entry{0x20, 0x20, 0x20}));
    EXPECT_EQ(dac.entry(15), sim::vga::Dac::Entry{});
    EXPECT_EQ(taken, std::vector<int>{15});
}

TEST_F(VgaTest, SequencerTakesIndexAndDataInOneWordWrite) {
    auto &seq = vga->seq;
    std::vector<std::pair<int, int>> seen;
    seq.onWrite = [&](uint8_t i, uint8_t v) { seen.push_back({i, v}); };
    outw(0x3C4, 0x0512);
    EXPECT_EQ(seq.reg(0x12), 0x05);
    EXPECT_EQ(seq.index(), 0x12);
    outb(0x3C4, 0x17);
    EXPECT_EQ(inb(0x3C5), 0x00);
    outb(0x3C5, 0x40);
    EXPECT_EQ(inw(0x3C4), 0x4017);

    // A chip that keeps data in the high index bits masks them off the
    // register number; its hook still sees the whole index byte.
    seq.setIndexMask(0x1F);
    outw(0x3C4, static_cast<uint16_t>((100 >> 3) << 8 | (100 & 7) << 5 | 0x10));
    EXPECT_EQ(seq.reg(0x10), 100 >> 3);
    EXPECT_EQ(seen.back(), (std::pair<int, int>{0x90, 12}));
    EXPECT_EQ(seq.writes().size(), 3u);

    seq.onRead = [](uint8_t i, uint8_t stored) -> uint8_t { return i == 0x0F ? 0x10 : stored; };
    outb(0x3C4, 0x0F);
    EXPECT_EQ(inb(0x3C5), 0x10);
}

TEST_F(VgaTest, GraphicsControllerAndCrtcKeepTheirIndex) {
    outw(0x3CE, 0x0409);
    EXPECT_EQ(vga->gc.reg(0x09), 0x04);
    outb(0x3D4, 0x11);
    outb(0x3D5, 0x8E);
    EXPECT_EQ(inb(0x3D5), 0x8E);
    EXPECT_EQ(inb(0x3D5), 0x8E);
    EXPECT_EQ(inb(0x3D4), 0x11);
    EXPECT_EQ(vga->crtc.reg(0x11), 0x8E);
    outb(0x3C2, 0xE3);
    EXPECT_EQ(inb(0x3CC), 0xE3);
    EXPECT_EQ(vga->misc.value(), 0xE3);
    EXPECT_TRUE(failures.empty());
}

TEST_F(VgaTest, RetraceComesAndGoesInVirtualTime) {
    using sim::vga::InputStatus;
    struct Case {
        uint64_t micros;
        uint8_t status;
    } cases[] = {
        {0, 0x00},
        {25, 0x00},
        {26, InputStatus::kDisplayOff},
        {480 * 32, InputStatus::kDisplayOff},
        {490 * 32, InputStatus::kDisplayOff | InputStatus::kVerticalRetrace},
        {492 * 32 - 1, InputStatus::kDisplayOff | InputStatus::kVerticalRetrace},
        {492 * 32, InputStatus::kDisplayOff},
        {525 * 32, 0x00},
    };
    for (auto &c : cases)
        EXPECT_EQ(InputStatus::statusAt(c.micros), c.status) << c.micros;

    // A driver's wait for the start and the end of retrace terminates.
    int reads = 0;
    while ((inb(0x3DA) & 0x08) == 0)
        reads++;
    while ((inb(0x3DA) & 0x08) != 0)
        reads++;
    EXPECT_GT(reads, 64);
    EXPECT_LT(reads, 17000);
    EXPECT_TRUE(failures.empty());
}

// Where time may jump, each wait a driver makes on input status 1 still
// ends, in a few reads, on the state it waits for; every value read is the
// one the frame shows at the time of the read, and time only goes forward.
// Waits come back to back (as a driver waits out several frames, or the
// start and then the end of a retrace) and between other accesses.
TEST_F(VgaTest, WaitsForTheDisplayEndAtOnceWhereTimeMayJump) {
    using sim::vga::InputStatus;
    m->setTimeMayJump(true);
    uint64_t readAt = 0;
    int reads = 0;
    auto status = [&] {
        readAt = m->nowMicros();
        uint8_t v = inb(0x3DA);
        EXPECT_EQ(v, InputStatus::statusAt(readAt)) << "read at " << readAt;
        EXPECT_GT(m->nowMicros(), readAt);
        reads++;
        return v;
    };
    struct Wait {
        const char *name;
        uint8_t bit;
        bool set; // waits until the bit is set (else clear)
    };
    const Wait waits[] = {
        {"retrace starts", InputStatus::kVerticalRetrace, true},
        {"retrace ends", InputStatus::kVerticalRetrace, false},
        {"blanking starts", InputStatus::kDisplayOff, true},
        {"display shows", InputStatus::kDisplayOff, false},
    };
    for (bool between : {false, true})
        for (int round = 0; round < 3; round++)
            for (const Wait &w : waits) {
                SCOPED_TRACE(std::string(w.name) + (between ? ", other accesses between" : ""));
                reads = 0;
                uint8_t v;
                do {
                    v = status();
                    if (between)
                        outb(0x3D4, 0x11);
                } while (((v & w.bit) != 0) != w.set && reads < 5000);
                EXPECT_LE(reads, 8);
            }
    // A frame's worth of retrace waits in a row costs little virtual time
    // more than the frames themselves.
    const uint64_t frame = InputStatus::kLineMicros * InputStatus::kLines;
    const uint64_t start = m->nowMicros();
    for (int i = 0; i < 17; i++) {
        while (!(status() & InputStatus::kVerticalRetrace)) {
        }
        while (status() & InputStatus::kVerticalRetrace) {
        }
    }
    EXPECT_LE(m->nowMicros() - start, 18 * frame);
    EXPECT_TRUE(failures.empty());
}

} // namespace
