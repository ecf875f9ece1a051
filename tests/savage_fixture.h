// Shared set-up of the savage tests: a screen at one of the five depths on
// the savage board, its command words and engine log at hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "harness.h"
#include "models/savage_board.h"
#include "server.h"

namespace savagetest {

// Small enough to be cheap, wide enough for several 32-pixel columns.
constexpr int kWidth = 96, kHeight = 40;

inline int bytesPerPixel(int depth) {
    return depth >= 24 ? 4 : (depth + 1) / 8;
}

// PIXBYTES is rounded up to the board's 8-byte line units.
inline graf::Config savageConfig(int width, int height, int depth, int memSize = 0x100000) {
    graf::Config cfg = harness::loadConfig("s3/savage/savage.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["PIXBYTES"] = (width * bytesPerPixel(depth) + 7) & ~7;
    cfg.ints["MEMSIZE"] = memSize;
    if (depth >= 24)
        cfg.ints["BITSPERPIXEL"] = 32;
    return cfg;
}

inline sim::SavageAdapter &savageOf(harness::Screen &s) {
    return *dynamic_cast<sim::SavageAdapter *>(s.adapter());
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

inline std::string show(const std::vector<uint32_t> &w) {
    std::string s;
    char buf[24];
    for (uint32_t v : w) {
        std::snprintf(buf, sizeof buf, " 0x%X", v);
        s += buf;
    }
    return s;
}

// How often the plane-mask word was sent.
inline size_t planeMaskPairs(const std::vector<uint32_t> &words) {
    size_t n = 0;
    for (size_t i = 0; i < words.size(); i++)
        if (words[i] == sim::savagereg::kPlaneMaskWord) {
            n++;
            i++;
        }
    return n;
}

// Plane masks: all ones, a partial one with bits above every depth, one
// that covers the low byte only.
const uint32_t kPlaneMasks[] = {~0u, 0xF0F0F05Au, 0x000000FFu};

constexpr Pixel kAllOnes = ~Pixel{0};

class SavageScreen : public testing::TestWithParam<int> {
  protected:
    void startScreen(int width = kWidth, int height = kHeight, graf::Config *cfg = nullptr) {
        depth = GetParam();
        s = std::make_unique<harness::Screen>("savage",
                                              cfg ? *cfg : savageConfig(width, height, depth),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(uint32_t(depth) * 7 + 1);
        server::clearGenCalls();
        board().clearLog();
        board().clearWords();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::SavageAdapter &board() { return savageOf(*s); }
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

} // namespace savagetest
