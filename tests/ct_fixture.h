// What the ct tests share: the six builds on their example boards, small
// screens that keep cases cheap, and the adapter model at hand.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"
#include "models/ct_adapter.h"
#include "server.h"

namespace cttest {

struct Build {
    const char *driver;
    const char *config;
    int depth;
    sim::CtChip chip;
};

inline void PrintTo(const Build &b, std::ostream *os) {
    *os << b.driver;
}

inline const Build kJorra16 = {"jorra16", "portable/ct/jorra.graf", 16, sim::CtChip::C65550};
inline const Build kJorra8 = {"jorra8", "portable/ct/jorra.graf", 8, sim::CtChip::C65550};
inline const Build kBelki16 = {"belki16", "portable/ct/belki.graf", 16, sim::CtChip::C65548};
inline const Build kBelki8 = {"belki8", "portable/ct/belki.graf", 8, sim::CtChip::C65548};
inline const Build kCordo16 = {"cordo16", "portable/ct/cordo.graf", 16, sim::CtChip::C6430x};
inline const Build kCordo8 = {"cordo8", "portable/ct/cordo.graf", 8, sim::CtChip::C6430x};

inline const Build kBuilds[] = {kJorra16, kJorra8, kBelki16, kBelki8, kCordo16, kCordo8};

inline std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return info.param.driver;
}

inline bool is65550(const Build &b) {
    return b.chip == sim::CtChip::C65550 || b.chip == sim::CtChip::C65554;
}

// The build's example board at its depth, shrunk to `width` x `height`.
inline graf::Config ctConfig(const Build &b, int width = 64, int height = 32) {
    graf::Config cfg = harness::loadConfig(b.config);
    cfg.ints["DEPTH"] = b.depth;
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    return cfg;
}

inline harness::Options options(std::vector<std::string> serverArgs = {}) {
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    o.serverArgs = std::move(serverArgs);
    return o;
}

inline sim::CtAdapter &ctOf(harness::Screen &s) {
    return *dynamic_cast<sim::CtAdapter *>(s.adapter());
}

// Extension-register writes since the list was last cleared, without those
// of the example boards' mode procedures (XR81, XR2B, XR50).
inline std::vector<std::pair<int, int>> xrWrites(harness::Screen &s) {
    std::vector<std::pair<int, int>> out;
    for (const auto &w : ctOf(s).xrWrites())
        if (w.index != 0x81 && w.index != 0x2B && w.index != 0x50)
            out.push_back({w.index, w.value});
    return out;
}

} // namespace cttest
