// Shared set-up of the garsk tests: the two example boards, the model's
// parts, and the library's own records found by name.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "models/garsk_board.h"
#include "server.h"

namespace garsktest {

inline const char *kBankFile = "weitek-banked/garsk/garsk-bank.graf";
inline const char *kFlatFile = "weitek-banked/garsk/garsk-flat.graf";

// An example board at another size (the pitch stays 1024).
inline graf::Config garskConfig(const char *file, int width = 1024, int height = 768) {
    graf::Config cfg = harness::loadConfig(file);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    return cfg;
}

inline sim::GarskAdapter &garskOf(harness::Screen &s) {
    return *dynamic_cast<sim::GarskAdapter *>(s.adapter());
}

inline harness::Options quiet() {
    return {.reporter = [](const std::string &) {}};
}

inline harness::Options strict() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// A name the loaded library exports (null when it does not).
inline void *exported(const char *name) {
    void *h = dlopen(harness::driverPath("garsk").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr)
        return nullptr;
    void *p = dlsym(h, name);
    dlclose(h);
    return p;
}

// The register-block writes of the trace since it was cleared: offset from
// the block (0x1FF00), width in bytes, value.
struct RegWrite {
    uint32_t offset;
    int width;
    uint32_t value;
    bool operator==(const RegWrite &) const = default;
};

inline std::vector<RegWrite> registerWrites(harness::Screen &s) {
    const int mem = s.machine().regionIndex("MEMORY");
    std::vector<RegWrite> out;
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::MemWrite && a.region == mem && a.address >= 0x1FF00 &&
            a.address < 0x20000)
            out.push_back({a.address - 0x1FF00, a.width, a.value});
    return out;
}

inline std::ostream &operator<<(std::ostream &o, const RegWrite &w) {
    return o << "{0x" << std::hex << w.offset << ", " << std::dec << w.width << ", 0x" << std::hex
             << w.value << std::dec << "}";
}

} // namespace garsktest
