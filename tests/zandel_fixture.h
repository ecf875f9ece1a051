// Shared set-up of the zandel tests: the example boards, made small where a
// test needs no more, and what the board model shows of them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "models/zandel_board.h"
#include "server.h"

namespace zandeltest {

inline const char *kRgb525File = "weitek-banked/zandel/zandel-pci-525.graf";
inline const char *kVlbFile = "weitek-banked/zandel/zandel-vlb.graf";
inline const char *kRgb511File = "weitek-banked/zandel/zandel-pci-511.graf";

// An example board at another size; PIXBYTES follows the line.
inline graf::Config zandelConfig(const char *file, int width, int height) {
    graf::Config cfg = harness::loadConfig(file);
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["PIXBYTES"] = width * cfg.ints["PIXELSIZE"];
    return cfg;
}

// The RGB525 board, small.
inline graf::Config smallConfig() {
    return zandelConfig(kRgb525File, 64, 16);
}

inline sim::ZandelAdapter &zandelOf(harness::Screen &s) {
    return *dynamic_cast<sim::ZandelAdapter *>(s.adapter());
}

inline harness::Options quiet() {
    return {.reporter = [](const std::string &) {}};
}

inline harness::Options strict() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

} // namespace zandeltest
