// Shared set-up of the fuska image, text and tile tests: a screen at one of
// the four depths on the fuska board, with its engine's log at hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "harness.h"
#include "models/fuska_adapter.h"
#include "server.h"

namespace fuskatest {

// 200 pixels need at most 600 bytes: five 128-byte tiles at every depth.
constexpr int kWidth = 200, kHeight = 80, kPitch = 640;
// With 1 MB the ScratchArea is lines 96 to 1637; with 64 KB lines 96 to 101.
constexpr uint32_t kMemSize = 0x100000, kSmallMemSize = 0x10000;
constexpr int kScratchY = 96, kSmallScratchLines = 6;

inline graf::Config fuskaConfig(int width, int height, int depth, uint32_t memSize) {
    graf::Config cfg = harness::loadConfig("cirrus/fuska/fuska.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["MEMSIZE"] = memSize;
    return cfg;
}

inline std::string depthName(const testing::TestParamInfo<int> &info) {
    return "depth" + std::to_string(info.param);
}

inline std::string caseName(int alu, uint32_t planemask) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "alu %d, plane mask 0x%X", alu, planemask);
    return buf;
}

// The alus and plane masks the engine paths leave to software or the server.
inline bool fallsBack(int depth, int alu, uint32_t planemask) {
    return alu == GXnor || alu == GXnand || (depth == 24 && (planemask & 0xFFFFFF) != 0xFFFFFF);
}

// A pixel value with every bit set, beyond the depth too: the colour
// registers must take the pixel's own bits only.
constexpr Pixel kAllOnes = ~Pixel{0};

// The colours of a case: every odd alu (GXcopy among them) draws with all
// ones, so each alu family meets that colour without doubling the cases.
inline Pixel caseColour(int alu, Pixel other) {
    return alu % 2 ? kAllOnes : other;
}

// Plane masks: all ones, a partial one with bits above every depth, one that
// covers the low byte only, and none.
const uint32_t kPlaneMasks[] = {~0u, 0xF0F0F05Au, 0x000000FFu, 0u};

class FuskaScreen : public testing::TestWithParam<int> {
  protected:
    void startScreen(uint32_t memSize = kMemSize, int width = kWidth, int height = kHeight) {
        depth = GetParam();
        s = std::make_unique<harness::Screen>(
            "fuska", fuskaConfig(width, height, depth, memSize),
            harness::Options{.pitch = kPitch, .reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(uint32_t(depth) * 7 + 1);
        server::clearGenCalls();
        engine().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::FuskaAdapter &adapter() { return dynamic_cast<sim::FuskaAdapter &>(*s->adapter()); }
    sim::FuskaEngine &engine() { return adapter().engine(); }
    const std::vector<sim::FuskaOp> &log() { return engine().log(); }
    size_t opsOf(sim::FuskaOpKind kind) {
        size_t n = 0;
        for (const sim::FuskaOp &op : log())
            n += op.kind == kind;
        return n;
    }
    Pixel colour(uint32_t seed) const { return (0x5AC3E1u * (seed + 1)) & s->allPlanes(); }
    // Client pixels: 1, 2 or 4 bytes each (4 at depth 24).
    int clientBytes() const {
        return s->bytesPerPixel() == 1 ? 1 : s->bytesPerPixel() == 2 ? 2 : 4;
    }
    // Random client pixels for a `w` x `h` image with rows `stride` bytes apart;
    // the bytes past each row and the top byte at depth 24 are random too.
    std::vector<uint8_t> randomImage(int h, int stride, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(size_t(stride) * size_t(h > 0 ? h : 0) + 1);
        for (uint8_t &b : v)
            b = uint8_t(rng());
        return v;
    }

    int depth = 0;
    std::unique_ptr<harness::Screen> s;
};

} // namespace fuskatest
