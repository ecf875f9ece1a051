// Timings from the Generalized Timing Formula: the rounding division and
// root it rests on, the three variants worked through their integer steps,
// and the rates that leave no room for the horizontal sync.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "hal_monitor.h"

namespace {

struct Handle {
    Handle() : h(std::make_unique<BoardHandle>()) { std::memset(h.get(), 0, sizeof *h); }
    std::unique_ptr<BoardHandle> h;
};

ModeInfo sized(uint32_t w, int32_t v) {
    ModeInfo m{};
    m.ulDispWidth = w;
    m.lDispHeight = v;
    m.lHorizontalRate = 777; // a value the vertical variant leaves as it was
    return m;
}

TEST(Gtf, RoundingDivisionAndRoot) {
    struct Case {
        uint32_t a, d, q;
    } cases[] = {{7, 2, 4},
                 {5, 2, 3},
                 {5, 3, 2},
                 {4, 3, 1},
                 {6, 4, 2},
                 {12, 0, 0},
                 {0, 0, 0},
                 {0xFFFFFFFFu, 1, 0xFFFFFFFFu},
                 {0xFFFFFFFFu, 2, 0x80000000u}};
    for (const Case &c : cases)
        EXPECT_EQ(HALPGTFRoundDiv(c.a, c.d), c.q) << c.a << " / " << c.d;
    // The nearest root: 701 x 701 = 491401, 702 x 702 = 492804.
    EXPECT_EQ(HALPGTFSqrt(490000, 300), 700u);
    EXPECT_EQ(HALPGTFSqrt(491400, 300), 701u);
    EXPECT_EQ(HALPGTFSqrt(492102, 300), 701u);
    EXPECT_EQ(HALPGTFSqrt(492103, 300), 702u);
    EXPECT_EQ(HALPGTFSqrt(1000000, 300), 1000u);
}

struct Expected {
    uint32_t width;
    int32_t refresh, hrate, clock, hfp, hsync, hbp, vfp, vbp;
};

void expectTiming(const ModeInfo &m, const Expected &e, const char *what) {
    EXPECT_EQ(m.ulDispWidth, e.width) << what;
    EXPECT_EQ(m.lRefreshRate, e.refresh) << what;
    EXPECT_EQ(m.lHorizontalRate, e.hrate) << what;
    EXPECT_EQ(m.lPixClock, e.clock) << what;
    EXPECT_EQ(m.lHFPorch, e.hfp) << what;
    EXPECT_EQ(m.lHSync, e.hsync) << what;
    EXPECT_EQ(m.lHBPorch, e.hbp) << what;
    EXPECT_EQ(m.lVFPorch, e.vfp) << what;
    EXPECT_EQ(m.lVSync, 3) << what;
    EXPECT_EQ(m.lVBPorch, e.vbp) << what;
    EXPECT_EQ(m.lSignalMode, 8) << what;
    EXPECT_EQ(m.lHSync % 8, 0) << what;
}

TEST(Gtf, ThreeVariantsWorkedThroughTheirSteps) {
    enum Variant { Vertical, Horizontal, PixelClock };
    struct Case {
        const char *what;
        Variant variant;
        uint32_t w;
        int32_t v;
        uint32_t rate;
        Expected e;
    } cases[] = {
        {"640 x 480 at 60 Hz", Vertical, 640, 480, 60, {640, 60, 777, 23873, 16, 64, 80, 1, 13}},
        {"1024 x 768 at 60 Hz",
         Vertical,
         1024,
         768,
         60,
         {1024, 60, 777, 64122, 56, 104, 160, 1, 23}},
        {"640 x 480 at 31 kHz", Horizontal, 640, 480, 31, {640, 62, 31, 24799, 16, 64, 80, 1, 14}},
        // The width is rounded to whole cells: 1020 is 128 cells.
        {"1020 x 768 at 48 kHz",
         Horizontal,
         1020,
         768,
         48,
         {1024, 60, 48, 64522, 56, 104, 160, 1, 23}},
        {"1024 x 768 at 65 MHz",
         PixelClock,
         1024,
         768,
         65000,
         {1024, 60, 48, 65000, 56, 104, 160, 1, 23}},
        {"636 x 480 at 25.175 MHz",
         PixelClock,
         636,
         480,
         25175,
         {640, 62, 31, 25175, 16, 64, 80, 1, 14}},
    };
    for (const Case &c : cases) {
        Handle b;
        b.h->ulErrorCode = 0xB0303065u; // a stale error: each variant starts afresh
        ModeInfo m = sized(c.w, c.v);
        uint32_t r = 0;
        if (c.variant == Vertical)
            r = HALGetVerticalGTFParams(b.h.get(), &m, c.rate);
        else if (c.variant == Horizontal)
            r = HALGetHorizontalGTFParams(b.h.get(), &m, c.rate);
        else
            r = HALGetPixelClockGTFParams(b.h.get(), &m, c.rate);
        EXPECT_EQ(r, 0u) << c.what;
        expectTiming(m, c.e, c.what);
        EXPECT_EQ(m.lDispHeight, c.v) << c.what;
    }
}

// Rates so low that the sync eats into the visible line: the front porch
// would be negative.
TEST(Gtf, TimingsWithoutRoomForTheSyncAreRefused) {
    Handle b;
    ModeInfo m = sized(640, 480);
    EXPECT_EQ(HALGetVerticalGTFParams(b.h.get(), &m, 22), 0xA0301070u);
    m = sized(640, 480);
    EXPECT_EQ(HALGetHorizontalGTFParams(b.h.get(), &m, 10), 0xA0302070u);
    m = sized(640, 480);
    EXPECT_EQ(HALGetPixelClockGTFParams(b.h.get(), &m, 10000), 0xA0303070u);
    // Nonsense input is computed without a fault: rates of 0 divide by
    // nothing.
    m = sized(640, 480);
    HALGetVerticalGTFParams(b.h.get(), &m, 0);
    m = sized(0, 0);
    HALGetHorizontalGTFParams(b.h.get(), &m, 0);
    m = sized(640, 480);
    HALGetPixelClockGTFParams(b.h.get(), &m, 0);
}

} // namespace
