// Step changes of a mode's timing: the changed fields, the recomputed pixel
// clock and horizontal rate, the bounds, and the validation each step hands
// its result to. Most cases run on a handle whose validation slot records
// what it was given; one board validates for real.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "hal.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hal_vidparam.h"
#include "hsl_ecl.h"
#include "quarn_seam.h"

namespace {

// What the validation slot saw: one copy of the record per call.
std::vector<ModeInfo> gValidated;
uint32_t gValidationCode = 0;

uint32_t recordingValidation(BoardHandle *pBoard, ModeInfo *pMode) {
    gValidated.push_back(*pMode);
    if (gValidationCode)
        SetErr(pBoard, gValidationCode);
    return pBoard->ulErrorCode;
}

// A handle whose family offers only the video-parameter validation.
struct Steps : ::testing::Test {
    Steps() {
        gValidated.clear();
        gValidationCode = 0;
        for (HSLJumpSlot &slot : h.HSLJumpTable.apfnSlot)
            slot = reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction);
        h.HSLJumpTable.apfnSlot[HSL_SLOT_VALIDATE_VIDEO_PARAMETERS] =
            reinterpret_cast<HSLJumpSlot>(recordingValidation);
    }
    BoardHandle h{};
};

// 640 x 480 at 60 Hz: HT 800, VT 525, 25.2 MHz (rounded as the steps do).
ModeInfo vga() {
    ModeInfo m = quarnseam::vgaMode(640, 480, 8);
    m.lHorizontalRate = 31;
    return m;
}

// 800 x 600 at 60 Hz: HT 1056, VT 628, wide enough for an interlace change
// through the public entry point.
ModeInfo svga() {
    ModeInfo m = vga();
    m.ulDispWidth = 800;
    m.lDispHeight = 600;
    m.lDeskWidth = 800;
    m.lDeskHeight = 600;
    m.lPixClock = 40000;
    m.lHorizontalRate = 37;
    m.lHFPorch = 40;
    m.lHSync = 128;
    m.lHBPorch = 88;
    m.lVFPorch = 1;
    m.lVSync = 4;
    m.lVBPorch = 23;
    return m;
}

int32_t clockFor(uint32_t refresh, uint32_t vt, uint32_t ht) {
    return int32_t(refresh * vt * ht / 1000);
}

// --------------------------------------------------------- single steps

TEST_F(Steps, PorchAndSyncStepsChangeTheirFieldAndKeepTheRefreshRate) {
    struct Case {
        const char *what;
        uint32_t type;
        int32_t ModeInfo::*field;
        int32_t from, to;
        uint32_t ht, vt; // totals after the step
    } cases[] = {
        {"front porch 20 up", 24, &ModeInfo::lHFPorch, 20, 24, 808, 525},
        {"front porch 20 down", 33, &ModeInfo::lHFPorch, 20, 8, 792, 525},
        {"front porch 16 up", 24, &ModeInfo::lHFPorch, 16, 24, 808, 525},
        {"sync 99 up", 25, &ModeInfo::lHSync, 99, 104, 808, 525},
        {"sync 99 down", 34, &ModeInfo::lHSync, 99, 88, 792, 525},
        {"back porch 8 down to 0", 35, &ModeInfo::lHBPorch, 8, 0, 752, 525},
        {"back porch 48 up", 26, &ModeInfo::lHBPorch, 48, 56, 808, 525},
        {"vertical front porch up", 27, &ModeInfo::lVFPorch, 10, 11, 800, 526},
        {"vertical front porch down", 36, &ModeInfo::lVFPorch, 10, 9, 800, 524},
        {"vertical sync up", 28, &ModeInfo::lVSync, 2, 3, 800, 526},
        {"vertical sync down to 0", 37, &ModeInfo::lVSync, 1, 0, 800, 523},
        {"vertical back porch up", 29, &ModeInfo::lVBPorch, 33, 34, 800, 526},
        {"vertical back porch down", 38, &ModeInfo::lVBPorch, 33, 32, 800, 524},
    };
    for (const Case &c : cases) {
        gValidated.clear();
        ModeInfo m = vga();
        m.*c.field = c.from;
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, 0), 0u) << c.what;
        EXPECT_EQ(m.*c.field, c.to) << c.what;
        EXPECT_EQ(m.lRefreshRate, 60) << c.what;
        EXPECT_EQ(m.lPixClock, clockFor(60, c.vt, c.ht)) << c.what;
        EXPECT_EQ(m.lHorizontalRate, int32_t(uint32_t(m.lPixClock) * 1000 / c.ht / 1000)) << c.what;
        ASSERT_EQ(gValidated.size(), 1u) << c.what;
        EXPECT_EQ(gValidated[0].lPixClock, m.lPixClock) << c.what;
    }
}

TEST_F(Steps, RefreshStepsMoveTheClockWithTheRate) {
    struct Case {
        uint32_t type;
        int32_t refresh, pixClock, hRate;
        size_t validations;
    } cases[] = {
        {22, 61, 25620, 32, 1}, // the vertical refresh rate
        {21, 61, 25620, 32, 1}, // the pixel clock: the same step
        {23, 61, 25620, 32, 2}, // the horizontal rate: validated once more
        {31, 59, 24780, 30, 1}, {30, 59, 24780, 30, 1}, {32, 59, 24780, 30, 2},
    };
    for (const Case &c : cases) {
        gValidated.clear();
        ModeInfo m = vga();
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, 0), 0u) << c.type;
        EXPECT_EQ(m.lRefreshRate, c.refresh) << c.type;
        EXPECT_EQ(m.lPixClock, c.pixClock) << c.type;
        EXPECT_EQ(m.lHorizontalRate, c.hRate) << c.type;
        EXPECT_EQ(gValidated.size(), c.validations) << c.type;
    }
}

TEST_F(Steps, AStepPastItsBoundKeepsTheChangeAndSkipsValidation) {
    struct Case {
        const char *what;
        uint32_t type;
        int32_t ModeInfo::*field;
        int32_t from, to;
        uint32_t code;
    } cases[] = {
        {"front porch 7", 33, &ModeInfo::lHFPorch, 7, -8, HALP_ERR_HFPORCH_NEGATIVE},
        {"front porch 0", 33, &ModeInfo::lHFPorch, 0, -8, HALP_ERR_HFPORCH_NEGATIVE},
        {"sync 5", 34, &ModeInfo::lHSync, 5, -8, HALP_ERR_HSYNC_NEGATIVE},
        {"back porch 3", 35, &ModeInfo::lHBPorch, 3, -8, HALP_ERR_HBPORCH_NEGATIVE},
        {"vertical front porch 0", 36, &ModeInfo::lVFPorch, 0, -1, HALP_ERR_VFPORCH_NEGATIVE},
        {"vertical sync 0", 37, &ModeInfo::lVSync, 0, -1, HALP_ERR_VSYNC_NEGATIVE},
        {"vertical back porch 0", 38, &ModeInfo::lVBPorch, 0, -1, HALP_ERR_VBPORCH_NEGATIVE},
        {"refresh 1", 31, &ModeInfo::lRefreshRate, 1, 0, HALP_ERR_REFRESH_ZERO},
        {"refresh 1, the clock step", 30, &ModeInfo::lRefreshRate, 1, 0, HALP_ERR_REFRESH_ZERO},
        {"refresh 1, the horizontal-rate step", 32, &ModeInfo::lRefreshRate, 1, 0,
         HALP_ERR_REFRESH_ZERO},
    };
    for (const Case &c : cases) {
        gValidated.clear();
        ModeInfo m = vga();
        m.*c.field = c.from;
        // The step's code is the first error: the public entry point's own
        // refresh check does not replace it.
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, 0), c.code) << c.what;
        EXPECT_EQ(m.*c.field, c.to) << c.what;
        EXPECT_TRUE(gValidated.empty()) << c.what;
    }
    // The recomputed clock stays with the negative porch.
    h.ulErrorCode = 0;
    ModeInfo m = vga();
    m.lHFPorch = 7;
    EXPECT_EQ(HALPDecrementHorizontalFrontPorch(&h, &m), HALP_ERR_HFPORCH_NEGATIVE);
    EXPECT_EQ(m.lPixClock, clockFor(60, 525, 776));
    // A large porch is no bound: only a wrapped one is.
    h.ulErrorCode = 0;
    m = vga();
    m.lHFPorch = 65536 + 8;
    EXPECT_EQ(HALPDecrementHorizontalFrontPorch(&h, &m), 0u);
    EXPECT_EQ(m.lHFPorch, 65536);
}

TEST_F(Steps, NothingHappensWhileTheWordHoldsAnError) {
    ModeInfo m = vga();
    h.ulErrorCode = 0xB0101160u;
    EXPECT_EQ(HALPIncrementHorizontalFrontPorch(&h, &m), 0xB0101160u);
    EXPECT_EQ(HALPMoveDisplayToLeft(&h, &m), 0xB0101160u);
    EXPECT_EQ(HALPChangeInterlaceMode(&h, &m, 1), 0xB0101160u);
    EXPECT_EQ(HALPChangeHorizontalSyncPolarity(&h, &m, 1), 0xB0101160u);
    EXPECT_EQ(HALPIncrementHorizontalRate(&h, &m), 0xB0101160u);
    EXPECT_EQ(HALPDecrementHorizontalRate(&h, &m), 0xB0101160u);
    const ModeInfo before = vga();
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    EXPECT_TRUE(gValidated.empty());
}

TEST_F(Steps, TheFamilysRefusalIsTheStepsResult) {
    gValidationCode = 0xB0D01234u;
    ModeInfo m = vga();
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 24, 0), 0xB0D01234u);
    EXPECT_EQ(m.lHFPorch, 24);
    // A warning the caller left is not carried into the step's validation.
    gValidationCode = 0;
    m = vga();
    h.ulErrorCode = HALP_WARN_I2C_CLOCK;
    EXPECT_EQ(HALPIncrementVerticalBackPorch(&h, &m), 0u);
}

// ------------------------------------------------------ compound steps

TEST_F(Steps, MovesAndSizeChangesRunTwoStepsThenValidateOnceMore) {
    struct Case {
        uint32_t type;
        int32_t hfp, hbp, vfp, vbp;
    } cases[] = {
        {13, 8, 56, 10, 33},  // right: front porch down, back porch up
        {14, 24, 40, 10, 33}, // left
        {15, 16, 48, 11, 32}, // up: back porch down, front porch up
        {16, 16, 48, 9, 34},  // down
        {17, 8, 40, 10, 33},  // wider
        {18, 16, 48, 9, 32},  // taller
        {19, 24, 56, 10, 33}, // narrower
        {20, 16, 48, 11, 34}, // lower
    };
    for (const Case &c : cases) {
        gValidated.clear();
        ModeInfo m = vga();
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, 0), 0u) << c.type;
        EXPECT_EQ(m.lHFPorch, c.hfp) << c.type;
        EXPECT_EQ(m.lHBPorch, c.hbp) << c.type;
        EXPECT_EQ(m.lVFPorch, c.vfp) << c.type;
        EXPECT_EQ(m.lVBPorch, c.vbp) << c.type;
        const uint32_t ht = 640 + uint32_t(m.lHFPorch + 96 + m.lHBPorch);
        const uint32_t vt = 480 + uint32_t(m.lVFPorch + 2 + m.lVBPorch);
        EXPECT_EQ(m.lPixClock, clockFor(60, vt, ht)) << c.type;
        EXPECT_EQ(gValidated.size(), 3u) << c.type;
    }
}

TEST_F(Steps, AMoveStopsAfterAFailedFirstStep) {
    ModeInfo m = vga();
    m.lHFPorch = 7;
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 13, 0), HALP_ERR_HFPORCH_NEGATIVE);
    EXPECT_EQ(m.lHFPorch, -8);
    EXPECT_EQ(m.lHBPorch, 48) << "the back porch is not increased";
    EXPECT_TRUE(gValidated.empty());

    // A refusal of the first step's validation stops the second as well.
    gValidationCode = 0xB0D01234u;
    h.ulErrorCode = 0;
    m = vga();
    EXPECT_EQ(HALPMoveDisplayToDown(&h, &m), 0xB0D01234u);
    EXPECT_EQ(m.lVBPorch, 34);
    EXPECT_EQ(m.lVFPorch, 10);
    EXPECT_EQ(gValidated.size(), 1u);

    // The second step's bound ends the move without the last validation.
    gValidationCode = 0;
    gValidated.clear();
    h.ulErrorCode = 0;
    m = vga();
    m.lHBPorch = 4;
    EXPECT_EQ(HALPMoveDisplayToLeft(&h, &m), HALP_ERR_HBPORCH_NEGATIVE);
    EXPECT_EQ(m.lHFPorch, 24);
    EXPECT_EQ(m.lHBPorch, -8);
    EXPECT_EQ(gValidated.size(), 1u);
}

// ---------------------------------------------- line doubling, interlace

// 640 x 240 shown with every line twice: its clock is what the doubled
// frame gives at 60 Hz.
ModeInfo doubled() {
    ModeInfo m = vga();
    m.lDispHeight = 240;
    m.lDeskHeight = 240;
    m.lVFPorch = 10;
    m.lVSync = 2;
    m.lVBPorch = 33;
    m.lPixClock = clockFor(60, 240 * 2 + 45, 800);
    return m;
}

TEST_F(Steps, ADoubledModeCountsItsLinesTwiceExceptForTheVerticalSyncIncrement) {
    ModeInfo m = doubled();
    EXPECT_EQ(HALPIncrementVerticalFrontPorch(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(60, 240 * 2 + 46, 800));

    m = doubled();
    EXPECT_EQ(HALPDecrementVerticalSync(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(60, 240 * 2 + 44, 800));

    m = doubled();
    EXPECT_EQ(HALPIncrementVerticalSync(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(60, 240 + 46, 800)) << "no line-doubling term";

    // The refresh steps keep the term too.
    m = doubled();
    EXPECT_EQ(HALPIncrementVerticalRefreshRate(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(61, 240 * 2 + 45, 800));

    // The ordinary mode is not doubled.
    m = vga();
    EXPECT_EQ(HALPIncrementVerticalFrontPorch(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(60, 526, 800));
}

TEST_F(Steps, InterlacingHalvesTheRateAndCountsHalfTheLines) {
    ModeInfo m = svga();
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 1), 0u);
    EXPECT_EQ(m.lSignalMode & SIGNAL_INTERLACED, SIGNAL_INTERLACED);
    EXPECT_EQ(m.lRefreshRate, 30);
    const uint32_t vt = (300 + 1 + 4 + 23) * 2;
    EXPECT_EQ(m.lPixClock, clockFor(30, vt, 1056));
    EXPECT_EQ(m.lHorizontalRate, int32_t(uint32_t(m.lPixClock) * 1000 / 1056 / 1000));
    ASSERT_EQ(gValidated.size(), 1u);

    // On again: no change but the recomputation.
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 1), 0u);
    EXPECT_EQ(m.lRefreshRate, 30);

    // Off: the rate doubles and every line counts.
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 0), 0u);
    EXPECT_EQ(m.lSignalMode & SIGNAL_INTERLACED, 0);
    EXPECT_EQ(m.lRefreshRate, 60);
    EXPECT_EQ(m.lPixClock, clockFor(60, 628, 1056));

    // An odd height loses its half line in the halving.
    m = svga();
    m.lDispHeight = 601;
    EXPECT_EQ(HALPChangeInterlaceMode(&h, &m, 1), 0u);
    EXPECT_EQ(m.lPixClock, clockFor(30, vt, 1056));

    // The public entry point refuses it on a 640-wide mode and a second
    // CRTC, before the step touches the record.
    gValidated.clear();
    m = vga();
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 1), HAL_ERR_CHANGE_NOT_ALLOWED);
    EXPECT_EQ(m.lRefreshRate, 60);
    m = svga();
    m.lModeType |= MODE_TYPE_CRTC2;
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 1), HAL_ERR_CHANGE_NOT_ALLOWED);
    EXPECT_EQ(m.lSignalMode, 0);
    EXPECT_TRUE(gValidated.empty());
}

TEST_F(Steps, InterlacingIgnoresLineDoubling) {
    ModeInfo m = doubled();
    m.ulDispWidth = 800; // the public entry point's lower bound
    m.lHFPorch = 16 - 160;
    m.lPixClock = clockFor(60, 240 * 2 + 45, 800);
    m.lSignalMode = SIGNAL_INTERLACED;
    m.lRefreshRate = 30;
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 12, 0), 0u);
    EXPECT_EQ(m.lRefreshRate, 60);
    EXPECT_EQ(m.lPixClock, clockFor(60, 240 + 45, 800));
}

// ------------------------------------------------------------ polarity

TEST_F(Steps, PolaritySetsAndClearsItsBitWithoutRecomputing) {
    struct Case {
        uint32_t type, on;
        int32_t from, to;
    } cases[] = {
        {7, 1, 0x0, 0x4},  {7, 0, 0xD, 0x9},  {7, 2, 0x8, 0xC},  {7, 0, 0x0, 0x0},
        {11, 1, 0x4, 0xC}, {11, 0, 0xF, 0x7}, {11, 1, 0x8, 0x8},
    };
    for (const Case &c : cases) {
        gValidated.clear();
        ModeInfo m = vga();
        m.lSignalMode = c.from;
        m.lPixClock = 12345; // not what the totals give: it stays
        m.lHorizontalRate = 7;
        m.lRefreshRate = c.from & SIGNAL_INTERLACED ? 30 : 60;
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, c.on), 0u) << c.type << " " << c.from;
        EXPECT_EQ(m.lSignalMode, c.to) << c.type << " " << c.from;
        EXPECT_EQ(m.lPixClock, 12345);
        EXPECT_EQ(m.lHorizontalRate, 7);
        EXPECT_EQ(gValidated.size(), 1u);
    }
}

// ------------------------------------------------------------ bad input

TEST_F(Steps, UnknownChangeTypesLeaveTheRecordAlone) {
    for (uint32_t type : {0u, 39u, 40u, 0xFFFFFFFFu}) {
        ModeInfo m = vga();
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, type, 1), HAL_ERR_CHANGE_TYPE) << type;
        const ModeInfo before = vga();
        EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << type;
    }
    for (uint32_t type : {1u, 6u, 8u, 10u}) {
        ModeInfo m = vga();
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, type, 1), HAL_ERR_CHANGE_NOT_ALLOWED) << type;
    }
    EXPECT_TRUE(gValidated.empty());
}

TEST_F(Steps, ProductsBeyondThirtyTwoBitsWrapUnsigned) {
    ModeInfo m{};
    m.ulDispWidth = 3800;
    m.lDispHeight = 5900;
    m.lHFPorch = 64;
    m.lHSync = 64;
    m.lHBPorch = 64; // HT 4000 after the step below
    m.lVFPorch = 40;
    m.lVSync = 30;
    m.lVBPorch = 30; // VT 6000
    m.lRefreshRate = 200;
    EXPECT_EQ(HALPIncrementHorizontalFrontPorch(&h, &m), 0u);
    const uint32_t ht = 3800 + 72 + 64 + 64, vt = 6000;
    const uint32_t clock = uint32_t(200u * vt * ht) / 1000;
    EXPECT_EQ(m.lPixClock, int32_t(clock));
    EXPECT_EQ(m.lHorizontalRate, int32_t(uint32_t(clock * 1000u) / ht / 1000));
}

TEST_F(Steps, AZeroHorizontalTotalGivesNoClockInsteadOfDividing) {
    ModeInfo m = vga();
    // Porches that cancel the width after the step.
    m.lHFPorch = 8 - 8;
    m.lHSync = 0;
    m.lHBPorch = -640 - 8;
    EXPECT_EQ(HALPIncrementHorizontalFrontPorch(&h, &m), 0u);
    EXPECT_EQ(m.lHFPorch, 8);
    EXPECT_EQ(m.lPixClock, 0);
    EXPECT_EQ(m.lHorizontalRate, 0);
    ASSERT_EQ(gValidated.size(), 1u);
    // All zero, through the refresh step.
    m = ModeInfo{};
    m.lRefreshRate = 60;
    EXPECT_EQ(HALPIncrementVerticalRefreshRate(&h, &m), 0u);
    EXPECT_EQ(m.lPixClock, 0);
    EXPECT_EQ(m.lHorizontalRate, 0);
}

// --------------------------------------- a board that validates for real

using namespace quarnseam;

struct Eclipse : Board {
    Eclipse() : Board(mgaBoard().integer("MEMSIZE", int(4 * kMB))) {
        EXPECT_EQ(HALGetBoardInfo(h()), 0u);
    }
};

TEST(StepsOnABoard, TheFamilyValidatesTheSteppedMode) {
    Eclipse b;
    ModeInfo m = vga();
    EXPECT_EQ(HALModifyVideoParameters(b.h(), &m, 22, 0), 0u);
    EXPECT_EQ(m.lPixClock, 25620);
    EXPECT_NE(m.flModeCaps, 0u) << "the family's mode caps were written";
    // A zero horizontal total: no clock, which the family refuses.
    m = vga();
    m.lHFPorch = 0;
    m.lHSync = 0;
    m.lHBPorch = -648;
    EXPECT_EQ(HALModifyVideoParameters(b.h(), &m, 24, 0), HSL_ERR_ECL_NO_CLOCK);
    EXPECT_EQ(m.lPixClock, 0);
    EXPECT_EQ(m.lHorizontalRate, 0);
    EXPECT_TRUE(b.failures.empty());
}

} // namespace
