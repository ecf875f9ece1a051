// Shared set-up of the Mach64 tests: the three builds on their example
// boards, the board's registers and the driver's messages at hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness.h"
#include "models/mach64_board.h"
#include "server.h"

// The register names and the screen private; the private's fields are the
// same in every build up to vandu's last one.
#define MACH64_BUILD_VANDU
#include "../ati/mach64/mach64.h"
#undef MACH64_BUILD_VANDU

namespace m64test {

// A build and the example board it is shown on.
struct Build {
    const char *driver;
    const char *graf;
};

const Build kTesk = {"tesk", "ati/mach64/tesk.graf"};
const Build kVandu = {"vandu", "ati/mach64/vandu.graf"};
const Build kMerro = {"merro", "ati/mach64/merro.graf"};
const Build kBuilds[] = {kTesk, kVandu, kMerro};

// The smallest mode there is (the CRT tables start at 640 pixels), a few
// lines high: PIXHEIGHT plays no part in the timing.
constexpr int kWidth = 640, kHeight = 16;

inline graf::Config m64Config(const Build &b, int depth = 8, int width = kWidth,
                              int height = kHeight, int frequency = 60) {
    graf::Config cfg = harness::loadConfig(b.graf);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["FREQUENCY"] = frequency;
    return cfg;
}

inline sim::Mach64Adapter &boardOf(harness::Screen &s) {
    return *dynamic_cast<sim::Mach64Adapter *>(s.adapter());
}

inline harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// The ErrorF messages that say something (the DAC accesses log empty ones).
inline std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const std::string &m : server::errorMessages())
        if (!m.empty())
            out.push_back(m);
    return out;
}

inline size_t emptyMessages() {
    size_t n = 0;
    for (const std::string &m : server::errorMessages())
        n += m.empty();
    return n;
}

// Register writes through the block (word index, value) since the trace
// was cleared, wherever the block was reached.
struct RegWrite {
    int index;
    uint32_t value;
    bool operator==(const RegWrite &) const = default;
};

inline std::vector<RegWrite> registerWrites(harness::Screen &s, uint32_t blockOffset,
                                            const std::string &area) {
    std::vector<RegWrite> out;
    int region = s.machine().regionIndex(area);
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::MemWrite && a.region == region && a.width == 4 &&
            a.address >= blockOffset && a.address < blockOffset + 0x400)
            out.push_back({int((a.address - blockOffset) / 4), a.value});
    return out;
}

inline std::string show(const std::vector<RegWrite> &w) {
    std::string s;
    char buf[48];
    for (const RegWrite &r : w) {
        std::snprintf(buf, sizeof buf, "  %d <- 0x%X\n", r.index, r.value);
        s += buf;
    }
    return s;
}

// The private index the driver took: the last one the server handed out.
inline teskScreenPrivate &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[server::screenPrivateCount() - 1].ptr;
    if (!raw)
        throw std::runtime_error("no Mach64 private");
    return *static_cast<teskScreenPrivate *>(raw);
}

// Start-up leaves these in the engine (and in their shadows).
inline uint32_t pixWidthWord(const Build &b, int depth) {
    uint32_t code = depth == 8 ? 2 : depth == 16 ? 4 : 6;
    uint32_t dst = std::string(b.driver) == "tesk" ? code | code << 4 : code;
    return dst | code << 8 | code << 16;
}

inline std::string buildName(const testing::TestParamInfo<Build> &info) {
    return info.param.driver;
}

} // namespace m64test
