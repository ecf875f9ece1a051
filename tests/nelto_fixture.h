// Shared set-up of the nelto tests: a screen at one of the five depths on
// the nelto board, its engine's log and register traces at hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "harness.h"
#include "models/nelto_board.h"
#include "server.h"

namespace neltotest {

// Small enough to be cheap, wide enough for copies of 63 and 64 pixels in
// every direction.
constexpr int kWidth = 128, kHeight = 48;

inline int bytesPerPixel(int depth) {
    return depth == 32 ? 4 : (depth + 1) / 8;
}

inline graf::Config neltoConfig(int width, int height, int depth, int pitch = 0,
                                int memSize = 0x100000) {
    graf::Config cfg = harness::loadConfig("s3/nelto/nelto.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["PIXBYTES"] = pitch ? pitch : width * bytesPerPixel(depth);
    cfg.ints["MEMSIZE"] = memSize;
    return cfg;
}

inline sim::NeltoAdapter &neltoOf(harness::Screen &s) {
    return *dynamic_cast<sim::NeltoAdapter *>(s.adapter());
}

inline std::string depthName(const testing::TestParamInfo<int> &info) {
    return "depth" + std::to_string(info.param);
}

inline std::string caseName(int alu, uint32_t planemask) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "alu %d, plane mask 0x%X", alu, planemask);
    return buf;
}

inline uint32_t depthMask(int depth) {
    return depth == 32 ? ~0u : (1u << depth) - 1;
}

// Engine register writes (offsets from the register window) since the
// trace was last cleared.
struct RegWrite {
    uint32_t offset;
    uint32_t value;
    bool operator==(const RegWrite &) const = default;
};

inline std::vector<RegWrite> engineWrites(harness::Screen &s) {
    std::vector<RegWrite> out;
    int mem = s.machine().regionIndex("MEMORY");
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::MemWrite && a.region == mem && a.address >= 0x1000000)
            out.push_back({a.address - 0x1000000, a.value});
    return out;
}

inline std::string show(const std::vector<RegWrite> &w) {
    std::string s;
    char buf[48];
    for (const RegWrite &r : w) {
        std::snprintf(buf, sizeof buf, "  0x%X <- 0x%X\n", r.offset, r.value);
        s += buf;
    }
    return s;
}

// Plane masks: all ones, a partial one with bits above every depth, one
// that covers the low byte only.
const uint32_t kPlaneMasks[] = {~0u, 0xF0F0F05Au, 0x000000FFu};

// A pixel value with every bit set, beyond the depth too.
constexpr Pixel kAllOnes = ~Pixel{0};

class NeltoScreen : public testing::TestWithParam<int> {
  protected:
    void startScreen(int width = kWidth, int height = kHeight, graf::Config *cfg = nullptr) {
        depth = GetParam();
        s = std::make_unique<harness::Screen>("nelto",
                                              cfg ? *cfg : neltoConfig(width, height, depth),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(uint32_t(depth) * 7 + 1);
        server::clearGenCalls();
        engine().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::NeltoAdapter &adapter() { return neltoOf(*s); }
    sim::NeltoEngine &engine() { return adapter().neltoEngine(); }
    // Engine commands that drew something (no-ops and the resting copy of
    // pixel (0, 0) left out).
    size_t drawingOps() {
        size_t n = 0;
        for (const sim::NeltoOp &op : engine().log())
            n += op.type != sim::neltocmd::TypeNop && op.command != (0x01980922u | format());
        return n;
    }
    uint32_t format() const {
        return depth == 32 ? 0 : uint32_t((((depth + 1) >> 3) & 3) - 1) << 2;
    }
    bool accelerated() const { return depth != 32; }
    Pixel colour(uint32_t seed) const { return (0x5AC3E1u * (seed + 1)) & s->allPlanes(); }
    int clientBytes() const { return s->bytesPerPixel() >= 3 ? 4 : s->bytesPerPixel(); }
    std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(n);
        for (uint8_t &b : v)
            b = uint8_t(rng());
        return v;
    }

    int depth = 0;
    std::unique_ptr<harness::Screen> s;
};

const int kDepths[] = {8, 15, 16, 24, 32};

} // namespace neltotest
