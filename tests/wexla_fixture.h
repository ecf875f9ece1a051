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

// An example board at another size; PIXBYTES follows the width.
inline graf::Config wexlaConfig(const char *file, int width = 64, int height = 16) {
    graf::Config cfg = harness::loadConfig(file);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["PIXBYTES"] = width;
    return cfg;
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
