// Shared set-up of the wexla tests: the example boards, made small where a
// test needs no more, and what the board model shows of them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grafstore.h"
#include "harness.h"
#include "models/wexla_board.h"
#include "server.h"

namespace wexlatest {

// The three example boards: the synthesiser on port 0xF886 (OEM 1), on port
// 0x7C88 (OEM 3) and on the VGA misc output (OEM 2).
inline const char *kOliveFile = "weitek-banked/wexla/wexla-olive.graf";
inline const char *kTulipFile = "weitek-banked/wexla/wexla-tulip.graf";
inline const char *kMiscFile = "weitek-banked/wexla/wexla-misc.graf";

inline constexpr uint32_t kVclk = 0x14BC89;
inline constexpr uint32_t kMemSpeed = 0x708C89;

// The system configuration word whose three line-length fields add up to
// `bytes` (0 when none do).
inline uint32_t sysConfigFor(int bytes) {
    static const int f1[] = {0, 0, 0, 128, 256, 512, 1024, 2048};
    static const int f2[] = {0, 0, 64, 128, 256, 512, 1024, 0};
    static const int f3[] = {0, 32, 64, 128, 256, 512, 0, 0};
    // The widest fields first: a line of one power of two takes one field.
    for (uint32_t a = 8; a-- > 0;)
        for (uint32_t b = 8; b-- > 0;)
            for (uint32_t c = 8; c-- > 0;)
                if ((a == 0 || f1[a] != 0) && (b == 0 || f2[b] != 0) && (c == 0 || f3[c] != 0) &&
                    f1[a] + f2[b] + f3[c] == bytes)
                    return a << 20 | b << 17 | c << 14;
    return 0;
}

// An example board at another size; PIXBYTES and the line SYSCONFIG
// gives follow the width.
inline graf::Config wexlaConfig(const char *file, int width = 64, int height = 16) {
    graf::Config cfg = harness::loadConfig(file);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["PIXBYTES"] = width;
    cfg.ints["SYSCONFIG"] = static_cast<int>(sysConfigFor(width));
    return cfg;
}

// The same, for the drawing tests.
inline graf::Config drawConfig(const char *file, int width = 64, int height = 16) {
    return wexlaConfig(file, width, height);
}

// The chip's register window as the driver maps it.
inline uint8_t *registerWindow(harness::Screen &s) {
    for (const graf::MemoryArea &a : s.graf().areas)
        if (a.name.empty() || a.name == "MEMORY")
            return static_cast<uint8_t *>(a.mapped);
    return nullptr;
}

// Procedures that only agree, so a trace holds the driver's accesses alone.
inline void quietProcedures(graf::Config &cfg) {
    graf::Builder b;
    for (const char *name : {"SetText", "InitDac", "SetGraphics"})
        b.procedure(name, "result = 1\n");
    for (auto &[name, code] : b.build().procedures)
        cfg.procedures[name] = code;
}

inline sim::WexlaAdapter &wexlaOf(harness::Screen &s) {
    return *dynamic_cast<sim::WexlaAdapter *>(s.adapter());
}

inline harness::Options quiet() {
    return {.reporter = [](const std::string &) {}};
}

inline harness::Options strict() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// Every byte the driver wrote to a port since the trace was cleared.
inline std::vector<uint8_t> portWrites(harness::Screen &s, uint16_t port) {
    std::vector<uint8_t> out;
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::PortOut && a.address == port)
            out.push_back(static_cast<uint8_t>(a.value));
    return out;
}

// Accesses of one kind to a port since the trace was cleared.
inline int portAccesses(harness::Screen &s, sim::Access::Kind kind, uint16_t port) {
    int n = 0;
    for (const sim::Access &a : s.machine().trace())
        n += a.kind == kind && a.address == port && a.region < 0;
    return n;
}

} // namespace wexlatest
