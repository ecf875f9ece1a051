// Shared set-up of the rasmo tests: a screen on the mach32 board, the
// driver's screen private, and the port writes of the register traces.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../ati/rasmo/rasmo.h"
#include "grafstore.h"
#include "harness.h"
#include "models/mach32_board.h"
#include "server.h"

namespace rasmotest {

// Small screens keep the cases cheap; the layout cases take the real modes.
inline graf::Config rasmoConfig(int width, int height, int depth, int memSize = 0x80000) {
    graf::Config cfg = harness::loadConfig("ati/rasmo/rasmo.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["MEMSIZE"] = memSize;
    return cfg;
}

inline harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

inline sim::Mach32Adapter &mach32Of(harness::Screen &s) {
    return *dynamic_cast<sim::Mach32Adapter *>(s.adapter());
}

// The driver's private: the screen-private index it took is the last one
// the server handed out.
inline rasmoScreenPrivate *privOf(harness::Screen &s) {
    return static_cast<rasmoScreenPrivate *>(
        s.screen()->devPrivates[server::screenPrivateCount() - 1].ptr);
}

struct PortWrite {
    uint16_t port;
    uint32_t value;
    int width;
    bool operator==(const PortWrite &) const = default;
};

inline std::vector<PortWrite> portWrites(harness::Screen &s) {
    std::vector<PortWrite> out;
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::PortOut)
            out.push_back({uint16_t(a.address), a.value, a.width});
    return out;
}

// The writes to `port` alone.
inline std::vector<uint32_t> writesTo(harness::Screen &s, uint16_t port) {
    std::vector<uint32_t> out;
    for (const PortWrite &w : portWrites(s))
        if (w.port == port)
            out.push_back(w.value);
    return out;
}

inline size_t readsOf(harness::Screen &s, uint16_t port) {
    size_t n = 0;
    for (const sim::Access &r : s.machine().trace().runs())
        if (r.kind == sim::Access::PortIn && r.address == port)
            n += r.repeat;
    return n;
}

inline std::string show(const std::vector<PortWrite> &w) {
    std::string s;
    char buf[48];
    for (const PortWrite &p : w) {
        std::snprintf(buf, sizeof buf, "  0x%04X <- 0x%X (%d)\n", p.port, p.value, p.width);
        s += buf;
    }
    return s;
}

// The FIFO waits of the traced accesses: with a stalled FIFO
// (Mach32ExtPorts::setStalledFifo) a wait for n entries is a run of n + 1
// reads of the FIFO status.
inline std::vector<int> fifoWaits(harness::Screen &s) {
    std::vector<int> out;
    int run = 0;
    for (const sim::Access &a : s.machine().trace()) {
        if (a.kind == sim::Access::PortIn && a.address == 0x9AEE) {
            run++;
            continue;
        }
        if (run > 0)
            out.push_back(run - 1);
        run = 0;
    }
    if (run > 0)
        out.push_back(run - 1);
    return out;
}

// Port accesses of `width` bytes at `port`, in or out.
inline size_t accessesAt(harness::Screen &s, uint16_t port, int width) {
    size_t n = 0;
    for (const sim::Access &a : s.machine().trace())
        if ((a.kind == sim::Access::PortOut || a.kind == sim::Access::PortIn) &&
            a.address == port && a.width == width)
            n++;
    return n;
}

// The last value written to `port`, or -1.
inline int64_t lastWrite(harness::Screen &s, uint16_t port) {
    const std::vector<uint32_t> w = writesTo(s, port);
    return w.empty() ? -1 : int64_t(w.back());
}

// How often the grafinfo procedure ran so far.
inline int runsOf(const std::string &procedure) {
    int n = 0;
    for (const graf::Run &r : graf::runLog())
        n += r.procedure == procedure;
    return n;
}

} // namespace rasmotest
