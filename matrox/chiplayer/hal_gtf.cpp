// Timings from the VESA Generalized Timing Formula with its default
// blanking parameters (adjusted offset 30 %, adjusted gradient 300), a
// minimum vertical sync and back porch of 550 us, one line of front porch,
// three of sync, a horizontal sync of 8 % of the line and 8-pixel cells.
// Integer arithmetic throughout, with rounding division.
#include "hal_error.h"
#include "hal_monitor.h"

namespace {

constexpr uint32_t kMinSyncBackPorchUs = 550;
constexpr uint32_t kVSync = 3;
constexpr int32_t kSignalMode = SIGNAL_VSYNC_POSITIVE;

#define RD HALPGTFRoundDiv

// The horizontal words for a duty cycle `duty` in hundredths of a percent:
// the total pixels of a line.
uint32_t horizontal(ModeInfo *pMode, uint32_t width, uint32_t cells, uint32_t duty,
                    uint32_t *pHalfBlank) {
    const uint32_t blank = RD((3000 - duty) * 8 * cells, (duty + 7000) * 16); // 16-pixel units
    const uint32_t half = RD(blank * 16 / 2, 8);                              // cells
    const uint32_t total = 8 * cells + 16 * blank;
    const uint32_t sync = RD(total * 80, 1000) & ~7u;
    pMode->lHSync = int32_t(sync);
    pMode->lHBPorch = int32_t(8 * half);
    pMode->lHFPorch = int32_t(total - sync - 8 * half - width);
    *pHalfBlank = half;
    return total;
}

// The vertical words for `lines` sync-and-back-porch lines and N10 (ten
// times the total lines); true when the timing holds together.
bool vertical(ModeInfo *pMode, uint32_t width, uint32_t height, uint32_t total, uint32_t half,
              uint32_t lines, uint32_t n10) {
    const uint32_t sync = uint32_t(pMode->lHSync);
    const uint32_t frontPorchEnd = total - sync - 8 * half;
    const uint32_t activeLines = RD(n10, 10) - lines;
    pMode->lVFPorch = int32_t(activeLines - height);
    pMode->lVSync = kVSync;
    pMode->lVBPorch = int32_t(lines - kVSync);
    pMode->lSignalMode = kSignalMode;
    return frontPorchEnd < total - 8 * half && activeLines < 0xFFFFFFFDu &&
           frontPorchEnd >= width && activeLines >= height;
}

} // namespace

extern "C" {

uint32_t HALPGTFRoundDiv(uint32_t a, uint32_t d) {
    if (d == 0)
        return 0;
    const uint32_t q = a / d, r = a % d;
    const bool up = (d % 2 == 0) ? r >= d / 2 : r > d / 2;
    return up ? q + 1 : q;
}

uint32_t HALPGTFSqrt(uint32_t a, uint32_t hint) {
    uint32_t s = 1001 - hint;
    while (uint64_t(s) * s < a)
        s++;
    const uint64_t sq = uint64_t(s) * s, below = uint64_t(s - 1) * (s - 1);
    if (sq == a || sq - a <= a - below)
        return s;
    return s - 1;
}

uint32_t HALGetVerticalGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t refreshHz) {
    pBoard->ulErrorCode = HAL_OK;
    const uint32_t w = pMode->ulDispWidth, v = uint32_t(pMode->lDispHeight);
    const uint32_t p0 = RD(RD(1000000000u, refreshHz) - kMinSyncBackPorchUs * 1000, 10 * v + 10);
    const uint32_t lines = RD(kMinSyncBackPorchUs * 100, p0);
    const uint32_t n10 = (v + lines + 1) * 10;
    const uint32_t period = RD(p0 * RD(1000000000u, RD(n10 * p0, 10)), 10 * refreshHz);
    pMode->lRefreshRate = int32_t(RD(RD(1000000000u, RD(n10 * period, 10)), 10));
    uint32_t half = 0;
    const uint32_t total = horizontal(pMode, w, RD(w, 8), RD(period * 3000, 10000), &half);
    pMode->lPixClock = int32_t(RD(total * 100000, period));
    if (!vertical(pMode, w, v, total, half, lines, n10))
        SetErr(pBoard, HAL_ERR_GTF_VERTICAL);
    return pBoard->ulErrorCode;
}

uint32_t HALGetHorizontalGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t lineKHz) {
    pBoard->ulErrorCode = HAL_OK;
    const uint32_t cells = RD(pMode->ulDispWidth, 8), w = 8 * cells;
    const uint32_t v = uint32_t(pMode->lDispHeight);
    const uint32_t lines = RD(lineKHz * kMinSyncBackPorchUs, 1000);
    const uint32_t n10 = (v + lines + 1) * 10;
    pMode->lRefreshRate = int32_t(RD(RD(lineKHz * 100000, n10), 10));
    uint32_t half = 0;
    const uint32_t total = horizontal(pMode, w, cells, RD(30000, lineKHz), &half);
    pMode->ulDispWidth = w;
    pMode->lPixClock = int32_t(RD(total * 100000, RD(100000, lineKHz)));
    pMode->lHorizontalRate = int32_t(lineKHz);
    if (!vertical(pMode, w, v, total, half, lines, n10))
        SetErr(pBoard, HAL_ERR_GTF_HORIZONTAL);
    return pBoard->ulErrorCode;
}

uint32_t HALGetPixelClockGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t clockKHz) {
    pBoard->ulErrorCode = HAL_OK;
    const uint32_t cells = RD(pMode->ulDispWidth, 8), w = 8 * cells;
    const uint32_t v = uint32_t(pMode->lDispHeight);
    const uint32_t root = HALPGTFSqrt(RD(cells * 960000, clockKHz) * 100 + 490000, 300);
    const uint32_t duty = RD(RD(root * 50000 - 35000000, 3000) * 3000, 10000);
    uint32_t half = 0;
    const uint32_t total = horizontal(pMode, w, cells, duty, &half);
    pMode->ulDispWidth = w;
    pMode->lPixClock = int32_t(clockKHz);
    const uint32_t lineRate = RD(clockKHz, total);
    const uint32_t lines = RD(lineRate * kMinSyncBackPorchUs, 1000);
    const uint32_t n10 = (v + lines + 1) * 10;
    pMode->lRefreshRate = int32_t(RD(RD(lineRate * 100000, n10), 10));
    // The line rate in kHz, as the horizontal variant gives it.
    pMode->lHorizontalRate = int32_t(lineRate);
    if (!vertical(pMode, w, v, total, half, lines, n10))
        SetErr(pBoard, HAL_ERR_GTF_PIXEL_CLOCK);
    return pBoard->ulErrorCode;
}

} // extern "C"
