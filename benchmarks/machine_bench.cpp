// Cost of one access on the simulated machine, in host time per access:
// port in/out and register reads/writes through the accessors, a processor
// access to video memory through an accessor, the busy-engine guard's
// start/idle pair (with and without the processor touching the memory in
// between), a status poll that returns the same value again and again, the
// memory in a page shared with a register block, and a bank change of a
// window. Everything here runs on a bare machine, without a
// driver, so only the machine's own bookkeeping is timed.
#include <cstdint>

#include <benchmark/benchmark.h>

#include "hwio.h"
#include "machine.h"

namespace {

using sim::Machine;

constexpr uint16_t kPort = 0x3CE;
// Large enough that no benchmark meets the watchdog.
constexpr uint64_t kNoPollLimit = ~0ull;
// The trace is emptied this often so that a long run stays in memory; the
// emptying is part of the measured cost, as it is in a test that clears it.
constexpr uint64_t kTraceChunk = 1 << 16;

// Answers with a value that changes on every read (no two polls alike), or
// with the same value always.
class Ports : public sim::PortDevice {
  public:
    explicit Ports(bool changing) : changing_(changing) {}
    uint32_t in(uint16_t, int) override { return changing_ ? ++n_ & 0xFF : 0x5A; }
    void out(uint16_t, int, uint32_t v) override { n_ = v; }

  private:
    bool changing_;
    uint32_t n_ = 0;
};

class Regs : public sim::MemDevice {
  public:
    uint32_t read(uint32_t, int) override { return ++n_; }
    void write(uint32_t, int, uint32_t v) override { n_ = v; }

  private:
    uint32_t n_ = 0;
};

// A fresh machine laid out as an adapter's: a few plain areas, a linear
// aperture with a register block inside it, and a banked window.
struct Board {
    Board() : vram(4 << 20) {
        Machine::reset();
        m = &Machine::current();
        m->setPollLimit(kNoPollLimit);
        m->addArea("BIOS", 0xC0000, 0x8000);
        m->addArea("LOW", 0, 0x1000);
        regsArea = m->addArea("MMIO", 0xF0000000, 0x10000);
        m->mapDevice(regsArea + 0x100, 0x100, &regs);
        aperture = m->addLinearAperture("LFB", 0xE0000000, 8 << 20, vram);
        m->mapDevice(aperture + (4 << 20) - 0x1000, 0x100, &blt);
        window = m->addWindow("WIN", 0xA0000, 0x10000, vram);
    }
    ~Board() { Machine::reset(); }
    void tick(uint64_t i) {
        if (i % kTraceChunk == 0)
            m->clearTrace();
    }

    sim::VideoMemory vram;
    Machine *m = nullptr;
    Regs regs, blt;
    uint8_t *regsArea = nullptr;
    uint8_t *aperture = nullptr;
    uint8_t *window = nullptr;
};

void PortIn(benchmark::State &state) {
    Board b;
    Ports dev(true);
    b.m->attachPorts(kPort, 2, &dev);
    uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ioIn8(kPort));
        b.tick(++i);
    }
}
BENCHMARK(PortIn);

void PortOut(benchmark::State &state) {
    Board b;
    Ports dev(true);
    b.m->attachPorts(kPort, 2, &dev);
    uint64_t i = 0;
    for (auto _ : state) {
        ioOut8(kPort, static_cast<uint8_t>(i));
        b.tick(++i);
    }
}
BENCHMARK(PortOut);

// A status poll answered the same every time: the trace keeps one entry.
void RepeatedPoll(benchmark::State &state) {
    Board b;
    Ports dev(false);
    b.m->attachPorts(kPort, 2, &dev);
    uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ioIn8(kPort));
        b.tick(++i);
    }
}
BENCHMARK(RepeatedPoll);

void MmioRead(benchmark::State &state) {
    Board b;
    uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mmRead32(b.regsArea + 0x140));
        b.tick(++i);
    }
}
BENCHMARK(MmioRead);

void MmioWrite(benchmark::State &state) {
    Board b;
    uint64_t i = 0;
    for (auto _ : state) {
        mmWrite32(b.regsArea + 0x140, static_cast<uint32_t>(i));
        b.tick(++i);
    }
}
BENCHMARK(MmioWrite);

// A processor write to video memory through an accessor (checked against
// the engine's state).
void VideoMemoryWrite(benchmark::State &state) {
    Board b;
    uint64_t i = 0;
    for (auto _ : state) {
        mmWrite32(b.aperture + 0x1000 + (i & 0xFFC), static_cast<uint32_t>(i));
        b.tick(++i);
    }
}
BENCHMARK(VideoMemoryWrite);

// One engine operation as a model reports it: busy on start, idle at the end.
void GuardToggle(benchmark::State &state) {
    Board b;
    for (auto _ : state) {
        b.m->guardVideoMemory(b.vram, true);
        b.m->guardVideoMemory(b.vram, false);
    }
}
BENCHMARK(GuardToggle);

// The same with the processor drawing into the frame buffer between two
// engine operations (the idle memory must open again for it).
void GuardToggleWithRawWrite(benchmark::State &state) {
    Board b;
    volatile uint8_t *fb = b.aperture;
    uint64_t i = 0;
    for (auto _ : state) {
        b.m->guardVideoMemory(b.vram, true);
        b.m->guardVideoMemory(b.vram, false);
        i++;
        fb[(i * 64) & 0xFFFF] = static_cast<uint8_t>(i);
    }
}
BENCHMARK(GuardToggleWithRawWrite);

// The memory beside a register block that shares its page: a processor
// store costs a fault that opens the page for the one instruction and a trap
// that closes it again; an accessor copies through the page's open view.
void SharedPageRawWrite(benchmark::State &state) {
    Board b;
    volatile uint8_t *page = b.aperture + (4 << 20) - 0x1000;
    uint64_t i = 0;
    for (auto _ : state) {
        i++;
        page[0x100 + (i & 0xEFF)] = static_cast<uint8_t>(i);
    }
}
BENCHMARK(SharedPageRawWrite);

void SharedPageAccessorWrite(benchmark::State &state) {
    Board b;
    uint8_t *page = b.aperture + (4 << 20) - 0x1000;
    uint64_t i = 0;
    for (auto _ : state) {
        mmWrite32(page + 0x100 + (i & 0xEFC), static_cast<uint32_t>(i));
        b.tick(++i);
    }
}
BENCHMARK(SharedPageAccessorWrite);

// The window alternates between two banks; the processor writes into each.
void BankSwitch(benchmark::State &state) {
    Board b;
    volatile uint8_t *win = b.window;
    uint64_t i = 0;
    for (auto _ : state) {
        i++;
        b.m->setWindowOffset(b.window, (i & 1) << 16);
        win[i & 0xFFFF] = static_cast<uint8_t>(i);
    }
}
BENCHMARK(BankSwitch);

// A bank register written with the bank it already holds.
void BankSwitchUnchanged(benchmark::State &state) {
    Board b;
    b.m->setWindowOffset(b.window, 0x10000);
    for (auto _ : state)
        b.m->setWindowOffset(b.window, 0x10000);
}
BENCHMARK(BankSwitchUnchanged);

} // namespace

BENCHMARK_MAIN();
