// What the simra tests share: the example boards with other memory sizes,
// depths and screen sizes, the screen private as the driver lays it out, and
// small screens for pixel tests.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "harness.h"
#include "models/wd90c33.h"
#include "nfb.h"
#include "server.h"

namespace simratest {

// The example board with the memory, depth and screen size given. Depth 15
// takes the 5-5-5 masks by key, as a board description would.
inline graf::Config boardConfig(int memoryKB, int depth, int width, int height) {
    graf::Config c = harness::loadConfig(depth == 8 ? "portable/simra/simra.graf"
                                                    : "portable/simra/simra16.graf");
    c.ints["MEMSIZE"] = memoryKB * 1024;
    c.ints["DEPTH"] = depth;
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = height;
    if (depth == 15) {
        c.ints["REDMASK"] = 0x7C00;
        c.ints["GRNMASK"] = 0x3E0;
        c.ints["BLUMASK"] = 0x1F;
    }
    return c;
}

// A small screen of the depth on 256 KB, for pixel tests.
inline graf::Config smallConfig(int depth, int width = 64, int height = 24) {
    return boardConfig(256, depth, width, height);
}

inline std::string depthName(const ::testing::TestParamInfo<int> &info) {
    return "Depth" + std::to_string(info.param);
}

inline harness::Options gtestOptions() {
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    return o;
}

// A started screen on a configuration, failing the test when it does not start.
inline std::unique_ptr<harness::Screen> startScreen(const graf::Config &cfg) {
    auto s = std::make_unique<harness::Screen>("simra", cfg, gtestOptions());
    EXPECT_TRUE(s->start()) << s->failureText();
    return s;
}

// ---- the screen private and the glyph cache, as the driver has them ----

struct GlyphCell {
    GlyphCell *next;
    int32_t fontId;
    int32_t glyphKey;
    int32_t x, y;
    uint8_t plane;
};

struct GlyphPlane {
    int32_t cellWidth, cellHeight;
    GlyphCell *cells;
    GlyphCell *freeList;
    int32_t cellCount;
};

struct Private {
    uint8_t *fbBase;
    uint32_t memorySize, pitch, engineWidth, pixelSizeBits, bankBase;
    int32_t tileAreaX, tileAreaY, patternX, patternY;
    int32_t loadedKind, tileAreaMaxWidth, tileAreaMaxHeight;
    uint32_t loadedKey;
    int32_t bytesPerPixel;
    uint32_t pixelMask;
    int32_t glyphAreaY, glyphAreaHeight, glyphAreaWidth;
    GlyphPlane *planes;
    GlyphCell **buckets;
    uint32_t blockShadow;
};

// The private index the driver took: the last one the server handed out.
inline int privateIndex() {
    return server::screenPrivateCount() - 1;
}

inline Private &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[privateIndex()].ptr;
    if (!raw)
        throw std::runtime_error("no simra private");
    return *static_cast<Private *>(raw);
}

inline sim::Wd90c33Adapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<sim::Wd90c33Adapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not a wd90c33 adapter");
    return *a;
}

inline bool ran(const std::string &procedure) {
    for (const graf::Run &r : graf::runLog())
        if (r.procedure == procedure)
            return true;
    return false;
}

inline bool errorLogged(const std::string &message) {
    for (const std::string &m : server::errorMessages())
        if (m == message)
            return true;
    return false;
}

// Engine register writes since the log was last cleared, as (block, register,
// value) triples.
using RegWrites = std::vector<sim::Wd90c33Adapter::RegWrite>;

inline bool operator==(const sim::Wd90c33Adapter::RegWrite &a,
                       const sim::Wd90c33Adapter::RegWrite &b) {
    return a.block == b.block && a.reg == b.reg && a.value == b.value;
}

inline void PrintTo(const sim::Wd90c33Adapter::RegWrite &w, std::ostream *os) {
    *os << "B" << int(w.block) << "[" << int(w.reg) << "]=0x" << std::hex << w.value << std::dec;
}

} // namespace simratest

namespace sim {
using simratest::operator==;
using simratest::PrintTo;
} // namespace sim
