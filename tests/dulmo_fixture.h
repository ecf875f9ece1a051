// Shared set-up of the dulmo tests: the example boards, made small where a
// test needs no more, the driver's screen private and the board model.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../weitek-banked/dulmo/dulmo.h"
#include "harness.h"
#include "models/dulmo_board.h"
#include "server.h"

namespace dulmotest {

inline const char *kFlatFile = "weitek-banked/dulmo/dulmo-1024.graf";
inline const char *kCacheFile = "weitek-banked/dulmo/dulmo-1024-cache.graf";
inline const char *kWideFile = "weitek-banked/dulmo/dulmo-1280-cache.graf";
inline const char *kBankFile = "weitek-banked/dulmo/dulmo-bank.graf";
inline const char *kUsedfbFile = "weitek-banked/dulmo/dulmo-usedfb.graf";

inline std::string setFile(int i) {
    return "weitek-banked/dulmo/dulmo-set-" + std::to_string(i) + ".graf";
}

// An example board at another screen size (the pitch stays the board's).
inline graf::Config sized(const std::string &file, int width, int height) {
    graf::Config cfg = harness::loadConfig(file);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    return cfg;
}

inline harness::Options strict(int screen = 0, harness::Screen *join = nullptr) {
    return {.screenNumber = screen, .reporter = HARNESS_GTEST_REPORTER, .joinMachineOf = join};
}

inline harness::Options quiet() {
    return {.reporter = [](const std::string &) {}};
}

inline std::unique_ptr<harness::Screen> startScreen(const graf::Config &cfg,
                                                    harness::Options options = strict()) {
    auto s = std::make_unique<harness::Screen>("dulmo", cfg, options);
    if (!s->start())
        throw std::runtime_error("dulmo did not start: " + s->failureText());
    return s;
}

inline dulmoScreenPrivate &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[server::screenPrivateCount() - 1].ptr;
    if (!raw)
        throw std::runtime_error("no dulmo private");
    return *static_cast<dulmoScreenPrivate *>(raw);
}

inline sim::DulmoAdapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<sim::DulmoAdapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not a dulmo board");
    return *a;
}

inline bool errorLogged(const std::string &m) {
    const auto &e = server::errorMessages();
    return std::find(e.begin(), e.end(), m) != e.end();
}

// Port accesses of the trace, in order (reads and writes).
struct PortAccess {
    bool write;
    uint16_t port;
    uint32_t value;
    int width;
    bool operator==(const PortAccess &) const = default;
};

inline std::vector<PortAccess> portAccesses(const sim::Machine &m) {
    std::vector<PortAccess> out;
    for (const sim::Access &a : m.trace())
        if (a.region < 0)
            out.push_back({a.kind == sim::Access::PortOut, static_cast<uint16_t>(a.address),
                           a.value, a.width});
    return out;
}

// The value last written to graphics register `index` in the trace.
inline std::vector<int> grWrites(const sim::Machine &m, int index) {
    std::vector<int> out;
    int current = -1;
    for (const sim::Access &a : m.trace()) {
        if (a.kind != sim::Access::PortOut)
            continue;
        if (a.address == 0x3CE)
            current = int(a.value & 0xFF);
        else if (a.address == 0x3CF && current == index)
            out.push_back(int(a.value & 0xFF));
    }
    return out;
}

} // namespace dulmotest
