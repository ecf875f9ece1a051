// The TV picture controls: text filter, dot-crawl freeze, black-and-white
// output, flicker filter, saturation, hue, the black and white levels from
// brightness and contrast, and the gamma curve. HSLMAVSetTVProcAmp applies
// a chosen group of them and keeps the record as the board's TVSettings,
// which every TV mode set-up applies again in full.
#include "hal_error.h"
#include "hsl_mav_io.h"
#include "hsl_mav_tables.h"

namespace {

using mav::failed;
using mav::hasEncoder;

// Encoder registers of the picture controls.
constexpr uint32_t kRegSubcarrier = 0x00, kRegBlack = 0x0E, kRegWhite = 0x1E,
                   kRegSaturationU = 0x20, kRegSaturationV = 0x22, kRegHue = 0x25, kRegGamma = 0x83,
                   kRegFilters = 0x8D, kRegDeflicker = 0x93;
constexpr uint8_t kFilterGamma = 0x04, kFilterText = 0x08;
constexpr uint8_t kGammaShallow = 0x80;
constexpr uint32_t kGammaFlatKey = 10;
// The 525-line colour subcarrier, and its variant whose phase repeats each
// frame so that dot crawl stands still.
constexpr uint32_t kSubcarrier525 = 0x21F07C1F, kSubcarrier525Frozen = 0x21F072CC;
constexpr uint32_t kLevelWidth = 10;

void writeReg(BoardHandle *pBoard, uint32_t reg, uint32_t value, uint32_t width = 8) {
    mav::wrWidth(pBoard, reg, value, width);
}

// Sets or clears `mask` in one register, keeping its other bits; nothing is
// written when the read failed.
void setBits(BoardHandle *pBoard, uint32_t reg, uint8_t mask, bool on) {
    mav::rmw(pBoard, reg, uint8_t(~mask), on ? mask : 0);
}

// Flicker-filter values of settings 0, 1 and 2. A setting beyond the
// table's maximum (2) gets the strongest filter: a control stepped past its
// end stays at the end rather than switching the filter off.
uint8_t deflickerValue(uint32_t setting) {
    static const uint8_t kValues[] = {0x00, 0xB1, 0xA2};
    return kValues[setting < 2 ? setting : 2];
}

int64_t clampLevel(int64_t v, int64_t lo, int64_t hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

} // namespace

extern "C" {

uint32_t HSLMAVSetTextFilter(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    setBits(pBoard, kRegFilters, kFilterText,
            (pSettings->flTVOptions & TV_OPTION_TEXT_FILTER) != 0);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetDotCrawlFreeze(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (pBoard->TVState.ucTVStandard != 1)
        return pBoard->ulErrorCode;
    const bool freeze = (pSettings->flTVOptions & TV_OPTION_DOT_CRAWL_FREEZE) != 0;
    writeReg(pBoard, kRegSubcarrier, freeze ? kSubcarrier525Frozen : kSubcarrier525, 32);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetOutputBW(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (pSettings->flTVOptions & TV_OPTION_BLACK_WHITE) {
        writeReg(pBoard, kRegSaturationU, 0);
        writeReg(pBoard, kRegSaturationV, 0);
    } else {
        HSLMAVSetSaturation(pBoard, pSettings);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetSaturation(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (pSettings->flTVOptions & TV_OPTION_BLACK_WHITE)
        return pBoard->ulErrorCode;
    writeReg(pBoard, kRegSaturationU, pSettings->ulSaturation);
    writeReg(pBoard, kRegSaturationV, pSettings->ulSaturation);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetHue(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    writeReg(pBoard, kRegHue, pSettings->ulHue);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetDeflicker(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    writeReg(pBoard, kRegDeflicker, deflickerValue(pSettings->ulDeflicker));
    return pBoard->ulErrorCode;
}

// The picture's centre level moves with brightness between the black limit
// and the white limit less the two swing words; its swing grows with
// contrast from L3 to half the luminance range. Signed arithmetic: a swing
// wider than the centre is above black must give a level below L0 that the
// limit then raises, not a wrapped one that passes it; out-of-range settings
// keep both levels inside L0..L1.
uint32_t HSLMAVSetBrightness(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t standard = pBoard->TVState.ucTVStandard;
    uint32_t luma[4] = {};
    TVProcAmpSettings maxima{};
    HSLMAVGetLumaParameters(pBoard, standard, luma);
    HSLMAVGetTVProcAmp(pBoard, &maxima, standard, TV_PROCAMP_MAXIMA);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const int64_t l0 = luma[0], l1 = luma[1], l2 = luma[2], l3 = luma[3];
    const int64_t bMax = maxima.ulBrightness ? maxima.ulBrightness : 1;
    const int64_t cMax = maxima.ulContrast ? maxima.ulContrast : 1;
    const int64_t centre = l0 + (l1 - l0 - l2 - l3) * int64_t(pSettings->ulBrightness) / bMax;
    const int64_t swing = l3 + ((l1 - l0) / 2 - l3) * int64_t(pSettings->ulContrast) / cMax;
    const int64_t black = clampLevel(centre - swing, l0, l1);
    const int64_t white = clampLevel(centre + swing, l0, l1);
    writeReg(pBoard, kRegBlack, uint32_t(black), kLevelWidth);
    writeReg(pBoard, kRegWhite, uint32_t(white), kLevelWidth);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetConstrast(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    return HSLMAVSetBrightness(pBoard, pSettings);
}

uint32_t HSLMAVSetGamma(BoardHandle *pBoard, const TVProcAmpSettings *pSettings) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t key = pSettings->ulGamma;
    uint32_t g[14] = {};
    HSLMAVGetGammaParameters(pBoard, uint8_t(key), g);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t regs[9] = {
        (g[6] & 0x7F) | (key < kGammaFlatKey ? kGammaShallow : 0u),
        g[10],
        g[13],
        (g[2] & 0x0F) | (g[0] << 4),
        (g[4] & 7) | ((g[1] & 4) << 3) | (g[3] << 4),
        (g[8] & 7) | ((g[1] & 2) << 3) | (g[7] << 4),
        (g[12] & 7) | ((g[1] & 1) << 3) | (g[11] << 4),
        g[5],
        g[9],
    };
    for (uint32_t i = 0; i < 9; i++)
        writeReg(pBoard, kRegGamma + i, regs[i]);
    // Keys 0 and 10 are the straight curve: the gamma stage is bypassed.
    setBits(pBoard, kRegFilters, kFilterGamma, key != 0 && key != kGammaFlatKey);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVProcAmp(BoardHandle *pBoard, TVProcAmpSettings *pSettings, uint32_t groups) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_PROCAMP_NO_ENCODER);
    if (groups == 0)
        groups = TV_PROCAMP_ALL;
    if (groups & TV_PROCAMP_FILTERS) {
        HSLMAVSetTextFilter(pBoard, pSettings);
        HSLMAVSetDotCrawlFreeze(pBoard, pSettings);
        HSLMAVSetOutputBW(pBoard, pSettings);
    }
    if (groups & TV_PROCAMP_DEFLICKER)
        HSLMAVSetDeflicker(pBoard, pSettings);
    if (groups & TV_PROCAMP_SATURATION)
        HSLMAVSetSaturation(pBoard, pSettings);
    if (groups & TV_PROCAMP_HUE)
        HSLMAVSetHue(pBoard, pSettings);
    if (groups & TV_PROCAMP_BRIGHTNESS)
        HSLMAVSetBrightness(pBoard, pSettings);
    if (groups & TV_PROCAMP_CONTRAST)
        HSLMAVSetConstrast(pBoard, pSettings);
    if (groups & TV_PROCAMP_GAMMA)
        HSLMAVSetGamma(pBoard, pSettings);
    // Kept even when a write failed: the next mode set-up applies it again.
    pBoard->TVState.TVSettings = *pSettings;
    return pBoard->ulErrorCode;
}

} // extern "C"
