// Step changes of a mode's timing. Every recomputation keeps the refresh
// rate: the pixel clock follows the totals (or the rate, for the refresh
// steps), and the horizontal rate follows the clock.
#include "hal_vidparam.h"

#include "hal.h"
#include "hal_error.h"
#include "hsl.h"

namespace {

constexpr uint32_t kCoarseMask = ~7u; // horizontal values step from a multiple of 8
constexpr uint32_t kCoarseStep = 8;
constexpr uint32_t kLargestValue = 65536; // above it, as unsigned, a value went negative
constexpr uint32_t kKilo = 1000;

bool failed(const BoardHandle *pBoard) {
    return !IsNotAnError(pBoard->ulErrorCode);
}

bool interlaced(const ModeInfo *m) {
    return (m->lSignalMode & SIGNAL_INTERLACED) != 0;
}

bool lineDoubled(BoardHandle *pBoard, ModeInfo *m) {
    uint8_t doubled = 0;
    HSLCRTUseLineDoubling(pBoard, m, &doubled);
    return doubled != 0;
}

// The fields are signed but the timing arithmetic is unsigned 32-bit: a
// product beyond 32 bits wraps rather than overflowing a signed word.
uint32_t u(int32_t v) {
    return static_cast<uint32_t>(v);
}

// New lPixClock and lHorizontalRate from the record's totals and rate. A
// horizontal total of 0 (a caller's record can give one) leaves both 0,
// which the family's validation refuses, instead of dividing by it.
void recompute(ModeInfo *m, bool doubled) {
    const uint32_t height = u(m->lDispHeight);
    const uint32_t ht = u(m->lHFPorch) + m->ulDispWidth + u(m->lHSync) + u(m->lHBPorch);
    uint32_t vt = u(m->lVFPorch) + u(m->lVSync) + u(m->lVBPorch);
    if (interlaced(m))
        vt = ((height >> 1) + vt) * 2;
    else
        vt += height;
    if (doubled)
        vt += height;
    if (ht == 0) {
        m->lPixClock = 0;
        m->lHorizontalRate = 0;
        return;
    }
    const uint32_t pixClock = u(m->lRefreshRate) * vt * ht / kKilo;
    m->lPixClock = static_cast<int32_t>(pixClock);
    m->lHorizontalRate = static_cast<int32_t>(pixClock * kKilo / ht / kKilo);
}

enum class Change { Up, Down, CoarseUp, CoarseDown };

int32_t changed(int32_t v, Change c) {
    switch (c) {
    case Change::Up:
        return static_cast<int32_t>(u(v) + 1);
    case Change::Down:
        return static_cast<int32_t>(u(v) - 1);
    case Change::CoarseUp:
        return static_cast<int32_t>((u(v) & kCoarseMask) + kCoarseStep);
    case Change::CoarseDown:
        return static_cast<int32_t>((u(v) & kCoarseMask) - kCoarseStep);
    }
    return v;
}

// What one single step changes, and the code of its bound (0: none).
struct Step {
    int32_t ModeInfo::*field;
    Change change;
    uint32_t boundCode;
    bool asksDoubling;
};

bool pastBound(const ModeInfo *m, const Step &s) {
    if (s.boundCode == 0)
        return false;
    const uint32_t v = u(m->*s.field);
    return s.field == &ModeInfo::lRefreshRate ? v == 0 : v > kLargestValue;
}

uint32_t single(BoardHandle *pBoard, ModeInfo *pMode, const Step &s) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    // Line doubling is judged on the record as the caller gave it.
    const bool doubled = s.asksDoubling && lineDoubled(pBoard, pMode);
    pMode->*s.field = changed(pMode->*s.field, s.change);
    recompute(pMode, doubled);
    if (pastBound(pMode, s))
        return SetErr(pBoard, s.boundCode);
    return HALValidateVideoParameters(pBoard, pMode);
}

constexpr Step kRefreshUp{&ModeInfo::lRefreshRate, Change::Up, 0, true};
constexpr Step kRefreshDown{&ModeInfo::lRefreshRate, Change::Down, HALP_ERR_REFRESH_ZERO, true};
constexpr Step kHFPorchUp{&ModeInfo::lHFPorch, Change::CoarseUp, 0, true};
constexpr Step kHSyncUp{&ModeInfo::lHSync, Change::CoarseUp, 0, true};
constexpr Step kHBPorchUp{&ModeInfo::lHBPorch, Change::CoarseUp, 0, true};
constexpr Step kVFPorchUp{&ModeInfo::lVFPorch, Change::Up, 0, true};
constexpr Step kVSyncUp{&ModeInfo::lVSync, Change::Up, 0, false};
constexpr Step kVBPorchUp{&ModeInfo::lVBPorch, Change::Up, 0, true};
constexpr Step kHFPorchDown{&ModeInfo::lHFPorch, Change::CoarseDown, HALP_ERR_HFPORCH_NEGATIVE,
                            true};
constexpr Step kHSyncDown{&ModeInfo::lHSync, Change::CoarseDown, HALP_ERR_HSYNC_NEGATIVE, true};
constexpr Step kHBPorchDown{&ModeInfo::lHBPorch, Change::CoarseDown, HALP_ERR_HBPORCH_NEGATIVE,
                            true};
constexpr Step kVFPorchDown{&ModeInfo::lVFPorch, Change::Down, HALP_ERR_VFPORCH_NEGATIVE, true};
constexpr Step kVSyncDown{&ModeInfo::lVSync, Change::Down, HALP_ERR_VSYNC_NEGATIVE, true};
constexpr Step kVBPorchDown{&ModeInfo::lVBPorch, Change::Down, HALP_ERR_VBPORCH_NEGATIVE, true};

// Both steps validate on their own; the pair validates once more when
// neither failed.
uint32_t pair(BoardHandle *pBoard, ModeInfo *pMode, const Step &first, const Step &second) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    single(pBoard, pMode, first);
    single(pBoard, pMode, second);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    return HALValidateVideoParameters(pBoard, pMode);
}

uint32_t polarity(BoardHandle *pBoard, ModeInfo *pMode, int32_t bit, uint32_t on) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (on)
        pMode->lSignalMode |= bit;
    else
        pMode->lSignalMode &= ~bit;
    return HALValidateVideoParameters(pBoard, pMode);
}

} // namespace

extern "C" {

uint32_t HALPChangeHorizontalSyncPolarity(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on) {
    return polarity(pBoard, pMode, SIGNAL_HSYNC_POSITIVE, on);
}

uint32_t HALPChangeVerticalSyncPolarity(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on) {
    return polarity(pBoard, pMode, SIGNAL_VSYNC_POSITIVE, on);
}

// Interlacing halves the frame rate the monitor sees for the same fields.
uint32_t HALPChangeInterlaceMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (on && !interlaced(pMode)) {
        pMode->lSignalMode |= SIGNAL_INTERLACED;
        pMode->lRefreshRate = static_cast<int32_t>(u(pMode->lRefreshRate) / 2);
    } else if (!on && interlaced(pMode)) {
        pMode->lSignalMode &= ~SIGNAL_INTERLACED;
        pMode->lRefreshRate = static_cast<int32_t>(u(pMode->lRefreshRate) * 2);
    }
    recompute(pMode, false);
    return HALValidateVideoParameters(pBoard, pMode);
}

uint32_t HALPMoveDisplayToRight(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kHFPorchDown, kHBPorchUp);
}
uint32_t HALPMoveDisplayToLeft(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kHFPorchUp, kHBPorchDown);
}
uint32_t HALPMoveDisplayToUp(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kVBPorchDown, kVFPorchUp);
}
uint32_t HALPMoveDisplayToDown(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kVBPorchUp, kVFPorchDown);
}
uint32_t HALPExpandDisplayToHorizontal(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kHBPorchDown, kHFPorchDown);
}
uint32_t HALPExpandDisplayToVertical(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kVBPorchDown, kVFPorchDown);
}
uint32_t HALPShrinkDisplayToHorizontal(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kHBPorchUp, kHFPorchUp);
}
uint32_t HALPShrinkDisplayToVertical(BoardHandle *pBoard, ModeInfo *pMode) {
    return pair(pBoard, pMode, kVBPorchUp, kVFPorchUp);
}

uint32_t HALPIncrementPixelClock(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kRefreshUp);
}
uint32_t HALPIncrementVerticalRefreshRate(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kRefreshUp);
}
uint32_t HALPIncrementHorizontalRate(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    single(pBoard, pMode, kRefreshUp);
    return HALValidateVideoParameters(pBoard, pMode);
}
uint32_t HALPIncrementHorizontalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHFPorchUp);
}
uint32_t HALPIncrementHorizontalSync(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHSyncUp);
}
uint32_t HALPIncrementHorizontalBackPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHBPorchUp);
}
uint32_t HALPIncrementVerticalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVFPorchUp);
}
uint32_t HALPIncrementVerticalSync(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVSyncUp);
}
uint32_t HALPIncrementVerticalBackPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVBPorchUp);
}

uint32_t HALPDecrementPixelClock(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kRefreshDown);
}
uint32_t HALPDecrementVerticalRefreshRate(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kRefreshDown);
}
// A second validation would clear the bound's code: it runs only when the
// step left no error.
uint32_t HALPDecrementHorizontalRate(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    single(pBoard, pMode, kRefreshDown);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    return HALValidateVideoParameters(pBoard, pMode);
}
uint32_t HALPDecrementHorizontalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHFPorchDown);
}
uint32_t HALPDecrementHorizontalSync(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHSyncDown);
}
uint32_t HALPDecrementHorizontalBackPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kHBPorchDown);
}
uint32_t HALPDecrementVerticalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVFPorchDown);
}
uint32_t HALPDecrementVerticalSync(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVSyncDown);
}
uint32_t HALPDecrementVerticalBackPorch(BoardHandle *pBoard, ModeInfo *pMode) {
    return single(pBoard, pMode, kVBPorchDown);
}

HALPVideoStepRoutine HALPVideoStepFor(uint32_t type) {
    static const HALPVideoStepRoutine kByType[] = {
        HALPMoveDisplayToRight,
        HALPMoveDisplayToLeft,
        HALPMoveDisplayToUp,
        HALPMoveDisplayToDown,
        HALPExpandDisplayToHorizontal,
        HALPExpandDisplayToVertical,
        HALPShrinkDisplayToHorizontal,
        HALPShrinkDisplayToVertical,
        HALPIncrementPixelClock,
        HALPIncrementVerticalRefreshRate,
        HALPIncrementHorizontalRate,
        HALPIncrementHorizontalFrontPorch,
        HALPIncrementHorizontalSync,
        HALPIncrementHorizontalBackPorch,
        HALPIncrementVerticalFrontPorch,
        HALPIncrementVerticalSync,
        HALPIncrementVerticalBackPorch,
        HALPDecrementPixelClock,
        HALPDecrementVerticalRefreshRate,
        HALPDecrementHorizontalRate,
        HALPDecrementHorizontalFrontPorch,
        HALPDecrementHorizontalSync,
        HALPDecrementHorizontalBackPorch,
        HALPDecrementVerticalFrontPorch,
        HALPDecrementVerticalSync,
        HALPDecrementVerticalBackPorch,
    };
    constexpr uint32_t kFirst = 13;
    static_assert(sizeof(kByType) / sizeof(kByType[0]) == 38 - kFirst + 1, "types 13 to 38");
    if (type < kFirst || type - kFirst >= sizeof(kByType) / sizeof(kByType[0]))
        return nullptr;
    return kByType[type - kFirst];
}

} // extern "C"
