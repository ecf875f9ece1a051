// The TV encoder's output modes: TV from either display controller, colour
// bars, pass-through, a second CRT, YUV, and off; the TV standard and cable
// type; TV detection; the encoder's set-up from a register set and its
// reset. Each mode operation reprograms the whole encoder, so the standard,
// cable type and picture settings kept in TVState come back every time.
#include "hsl_mav.h"

#include "hsl_mav_io.h"
#include "hsl_regs.h"

namespace {

using namespace mav;

// Encoder registers.
constexpr uint32_t RSubcarrier = 0x00, RCable = 0xB0, RGpio = 0xB9, RGpioDir = 0x8C, RReset = 0x8E,
                   REnable = 0x3E, RTransfer = 0xB3, RSync = 0x95, RMafc = 0xD4, RSense = 0xB8,
                   RClock = 0x82, ROutput = 0x94, RFilter = 0x8D, ROptions = 0xBF, RInput = 0x33,
                   RYuv = 0xD3, RHTotal = 0xA0, RHPos = 0x9A;

constexpr uint8_t kGpioLine = 0x10, kGpioOut = 0x20, kGpioDirBit = 0x40;

// Where HSLMAVInitEncoder puts each word of the register set, and its width.
struct EncoderSlot {
    uint8_t reg, width;
};
constexpr EncoderSlot kEncoderSlots[19] = {
    {RSubcarrier, 32}, {0x04, 8},  {0x2C, 8}, {0x08, 8}, {0x0A, 8}, {0x09, 8},  {0x29, 8},
    {0x31, 11},        {0x17, 10}, {0x0B, 8}, {0x0C, 8}, {0x35, 8}, {0x10, 10}, {0x0E, 10},
    {0x1E, 10},        {0x20, 8},  {0x22, 8}, {0x25, 8}, {0x34, 8}};

// The B0 bits 0-2 of each cable type.
constexpr uint8_t kCableBits[4] = {0, 5, 1, 2};

uint8_t standardOf(const ModeInfo *pMode) {
    return uint8_t((uint32_t(pMode->lSignalMode) >> 4) & 0x0F);
}

void routeTo(BoardHandle *pBoard, uint32_t route) {
    hsl::callSlot(pBoard, HSL_SLOT_CONTROL_MAFC_PORT, route);
    hsl::callSlot(pBoard, HSL_SLOT_ROUTE_PIXEL_CLOCK, route);
}

// The picture settings, re-applied whole by every mode set-up.
void applySettings(BoardHandle *pBoard) {
    HSLMAVSetTVProcAmp(pBoard, &pBoard->TVState.TVSettings, 0);
    HSLMAVSetTVCableType(pBoard, pBoard->TVState.ucTVCableType);
}

// The encoder's register set for the current standard, written.
void loadEncoder(BoardHandle *pBoard) {
    EncoderParameters e{};
    HSLMAVGetEncoderParameters(pBoard, pBoard->TVState.ucTVStandard, &e);
    HSLMAVInitEncoder(pBoard, &e);
}

// Output-side registers shared by the TV, colour-bar and pass-through set-ups.
void outputLines(BoardHandle *pBoard) {
    rmw(pBoard, RGpio, uint8_t(~0x06), 0);
    rmw(pBoard, ROptions, 0xFF, 0x02);
}

uint32_t tvOut(BoardHandle *pBoard, ModeInfo *pMode, uint32_t route) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_TVOUT_NO_ENCODER);
    TVState &tv = pBoard->TVState;
    if (standardOf(pMode) != tv.ucTVStandard)
        return SetErr(pBoard, HSL_ERR_MAV_TVOUT_STANDARD);
    HSLMAVEnableEncoder(pBoard, 0);
    routeTo(pBoard, route);
    EncoderParameters e{};
    TVTimingParameters t{};
    HSLMAVGetEncoderParameters(pBoard, tv.ucTVStandard, &e);
    HSLMAVGetTimingParameters(pBoard, tv.ucTVStandard, pMode, &t);
    HSLMAVInitEncoder(pBoard, &e);
    HSLMAVEnableDataTransfer(pBoard, 1);
    rmw(pBoard, RCable, 0x07, 0);
    outputLines(pBoard);
    rmw(pBoard, ROutput, 0x0F, 0xB1);
    HSLMAVSetPLL(pBoard, &t);
    wr(pBoard, RGpioDir, 0x20);
    rmw(pBoard, RFilter, 0x0C, 0);
    HSLMAVSetCRTC(pBoard, pMode, &t);
    applySettings(pBoard);
    HSLMAVAdjustTVPosition(pBoard, pMode);
    HSLMAVEnableEncoder(pBoard, 1);
    HSLMAVSync(pBoard);
    HSLMAVApplyVrstPatch(pBoard, pMode);
    if (!failed(pBoard))
        tv.ucTVMode = TV_MODE_TV_OUT;
    return pBoard->ulErrorCode;
}

// The probe: the encoder's sense lines read while it drives a test level.
// Answers the connection bits, or 0 (no TV) when a transfer failed.
uint8_t probe(BoardHandle *pBoard) {
    HSLMAVReset(pBoard);
    wr(pBoard, 0x35, 0xA0);
    wrWidth(pBoard, 0x10, 0xA0, 10);
    wrWidth(pBoard, 0x0E, 0xA0, 10);
    wrWidth(pBoard, 0x3C, 0xA0, 10);
    const uint32_t total = rd16(pBoard, RHTotal);
    wr16(pBoard, RHPos, total - 2);
    HSLMAVEnableDataTransfer(pBoard, 1);
    rmw(pBoard, ROptions, 0xFF, 0x10);
    wr(pBoard, RCable, 1);
    wr(pBoard, 0x0B, 0);
    rd(pBoard, 0x06);
    wr(pBoard, 0x06, 0xF9);
    const uint8_t sense = rd(pBoard, RSense) & 0x0F;
    HSLMAVReset(pBoard);
    if (failed(pBoard))
        return 0;
    return uint8_t(~sense & 0x0F);
}

} // namespace

extern "C" {

// ---- validation ----

uint32_t HSLMAVValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_VALIDATE_NO_ENCODER);
    static const struct {
        uint32_t w;
        int32_t h;
    } kSizes[] = {{640, 400}, {640, 480}, {720, 480}, {720, 576}, {800, 600}, {1024, 768}};
    bool known = false;
    for (const auto &s : kSizes)
        known = known || (pMode->ulDispWidth == s.w && pMode->lDispHeight == s.h);
    if (!known)
        return SetErr(pBoard, HSL_ERR_MAV_VALIDATE_SIZE);
    if (pMode->lZoom != 1)
        return SetErr(pBoard, HSL_ERR_MAV_VALIDATE_ZOOM);
    if (int64_t(pMode->ulDispWidth) < int64_t(pMode->lDeskWidth) ||
        pMode->lDispHeight < pMode->lDeskHeight)
        return SetErr(pBoard, HSL_ERR_MAV_VALIDATE_DESK);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t standard = standardOf(pMode);
    if (standard > 1)
        return SetErr(pBoard, HSL_ERR_MAV_VIDEO_STANDARD);
    if (pMode->lRefreshRate != (standard == 0 ? 50 : 60))
        return SetErr(pBoard, HSL_ERR_MAV_VIDEO_REFRESH);
    return pBoard->ulErrorCode;
}

// ---- standard, cable, detection ----

uint32_t HSLMAVSetTVStandard(BoardHandle *pBoard, uint8_t standard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_STANDARD_NO_ENCODER);
    if (standard > 1)
        return SetErr(pBoard, HSL_ERR_MAV_STANDARD);
    pBoard->TVState.ucTVStandard = standard;
    if (pBoard->TVState.ucTVMode == TV_MODE_COLOR_BARS)
        HSLMAVSetTVColorBarMode(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVCableType(BoardHandle *pBoard, uint8_t cable) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_CABLE_NO_ENCODER);
    if (cable > 3)
        return SetErr(pBoard, HSL_ERR_MAV_CABLE);
    rmw(pBoard, RCable, uint8_t(~0x07), kCableBits[cable]);
    if (!failed(pBoard))
        pBoard->TVState.ucTVCableType = cable;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVDetectTV(BoardHandle *pBoard, uint8_t *pDetected) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    TVState &tv = pBoard->TVState;
    if (!hasEncoder(pBoard)) {
        tv.ucTVDetect = 0;
        *pDetected = 0;
        return pBoard->ulErrorCode;
    }
    // While an output runs the probe would disturb it: the last answer stands.
    if (tv.ucTVMode == TV_MODE_OFF)
        tv.ucTVDetect = probe(pBoard);
    *pDetected = (tv.ucTVDetect != 0 && tv.ucTVDetect != 7) ? 1 : 0;
    return pBoard->ulErrorCode;
}

// ---- output modes ----

uint32_t HSLMAVSetTVOutMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return tvOut(pBoard, pMode, 2);
}

uint32_t HSLMAVSetTVOutModeCRTC2(BoardHandle *pBoard, ModeInfo *pMode) {
    return tvOut(pBoard, pMode, 3);
}

uint32_t HSLMAVSetTVColorBarMode(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_COLORBAR_NO_ENCODER);
    TVState &tv = pBoard->TVState;
    HSLMAVEnableEncoder(pBoard, 0);
    EncoderParameters e{};
    TVTimingParameters t{};
    HSLMAVGetEncoderParameters(pBoard, tv.ucTVStandard, &e);
    HSLMAVGetColorBarTimingParameters(pBoard, tv.ucTVStandard, &t);
    HSLMAVInitEncoder(pBoard, &e);
    HSLMAVEnableEncoder(pBoard, 1);
    HSLMAVEnableDataTransfer(pBoard, 1);
    rmw(pBoard, RCable, 0x07, 0);
    outputLines(pBoard);
    rmw(pBoard, ROutput, 0x0F, 0x80);
    HSLMAVSetPLL(pBoard, &t);
    wr(pBoard, RGpioDir, 0x20);
    rmw(pBoard, RFilter, 0x0C, 0x10);
    HSLMAVSetCRTC(pBoard, &pBoard->CurrentModeCRTC1, &t);
    applySettings(pBoard);
    HSLMAVSync(pBoard);
    routeTo(pBoard, 0);
    if (!failed(pBoard))
        tv.ucTVMode = TV_MODE_COLOR_BARS;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVPassThroughMode(BoardHandle *pBoard, uint32_t master) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_PASSTHROUGH_NO_ENCODER);
    routeTo(pBoard, 1);
    HSLMAVEnableEncoder(pBoard, 0);
    loadEncoder(pBoard);
    HSLMAVEnableDataTransfer(pBoard, 1);
    if (master)
        wr(pBoard, RYuv, 0);
    const uint8_t v = uint8_t((rd(pBoard, ROutput) & 0x0F) | (master ? 0xC0 : 0x80));
    wr(pBoard, ROutput, v);
    wr(pBoard, RClock, master ? v : 0x20);
    wr(pBoard, RInput, 0x15);
    rmw(pBoard, RFilter, 0x08, 0x03);
    outputLines(pBoard);
    HSLMAVEnableEncoder(pBoard, 1);
    applySettings(pBoard);
    HSLMAVResetMAFCInterface(pBoard);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = master ? TV_MODE_PASS_THROUGH_MASTER : TV_MODE_PASS_THROUGH;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetCRTOutMode(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLMAVReset(pBoard);
    wr(pBoard, RCable, 3);
    rmw(pBoard, RGpio, uint8_t(~0x04), 0x02);
    rmw(pBoard, ROptions, 0xFF, 0x22);
    rmw(pBoard, RFilter, 0x0C, 0);
    wr(pBoard, RGpioDir, 0x20);
    rmw(pBoard, ROutput, 0x0F, 0xB0);
    TVTimingParameters t{};
    HSLMAVTimingFromMode(pBoard, pMode, 1, &t);
    HSLMAVSetPLL(pBoard, &t);
    HSLMAVSetCRTC(pBoard, pMode, &t);
    HSLMAVEnableDataTransfer(pBoard, 1);
    routeTo(pBoard, (pMode->lModeType & MODE_TYPE_CRTC2) ? 3 : 2);
    HSLMAVApplyVrstPatch(pBoard, pMode);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_CRT;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVYUVMode(BoardHandle *pBoard, ModeInfo *) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_YUV_NO_ENCODER);
    HSLMAVEnableEncoder(pBoard, 0);
    loadEncoder(pBoard);
    HSLMAVEnableDataTransfer(pBoard, 1);
    wr(pBoard, RClock, 0xA0);
    rmw(pBoard, RYuv, 0xFC, 0x01);
    rmw(pBoard, RGpioDir, 0x0F, 0x10);
    rmw(pBoard, ROutput, 0x0F, 0xA0);
    wr(pBoard, RInput, 0x15);
    rmw(pBoard, RFilter, 0x08, 0x03);
    outputLines(pBoard);
    applySettings(pBoard);
    routeTo(pBoard, 4);
    wr(pBoard, RClock, 0x20);
    HSLMAVEnableEncoder(pBoard, 1);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_YUV;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVYUVModeToucanRev0(BoardHandle *pBoard, ModeInfo *) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_YUV_NO_ENCODER);
    const uint8_t standard = pBoard->TVState.ucTVStandard;
    HSLMAVEnableEncoder(pBoard, 0);
    loadEncoder(pBoard);
    HSLMAVEnableDataTransfer(pBoard, 1);
    wr(pBoard, RClock, 0xA0);
    rmw(pBoard, RGpioDir, 0x0F, 0x10);
    rmw(pBoard, ROutput, 0x0F, 0xB0);
    wr(pBoard, RInput, 0x15);
    rmw(pBoard, RFilter, 0x08, 0x03);
    outputLines(pBoard);
    HSLMAVEnableEncoder(pBoard, 1);
    applySettings(pBoard);
    if (standard == 1) {
        const uint8_t total[2] = {0xB2, 0x06};
        HSLMAVI2CWrite(pBoard, RHTotal, total, 2);
        HSLMAVI2CWrite(pBoard, 0x96, total, 2);
        rmw(pBoard, RCable, 0x7F, 0);
        rmw(pBoard, RGpioDir, uint8_t(~0x10), 0);
    }
    if (standard == 1)
        rmw(pBoard, RMafc, 0xFF, 0x02);
    else
        rmw(pBoard, RMafc, uint8_t(~0x02), 0);
    if (standard == 1)
        HSLMAVSync(pBoard);
    routeTo(pBoard, 4);
    HSLMAVResetMAFCInterface(pBoard);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_YUV;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetTVDisableMode(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_DISABLE_NO_ENCODER);
    const uint8_t clock = rd(pBoard, RClock);
    if (!failed(pBoard) && !(clock & 0x80))
        wr(pBoard, RClock, clock | 0x80u);
    wr(pBoard, RGpioDir, 0);
    rmw(pBoard, ROutput, 0x0F, 0xA0);
    routeTo(pBoard, 0);
    HSLMAVReset(pBoard);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_OFF;
    uint8_t detected = 0;
    HSLMAVDetectTV(pBoard, &detected);
    return pBoard->ulErrorCode;
}

// ---- set-up and small operations ----

uint32_t HSLMAVInitEncoder(BoardHandle *pBoard, const EncoderParameters *pParams) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t detected = 0;
    HSLMAVDetectTV(pBoard, &detected);
    HSLMAVReset(pBoard);
    for (int i = 0; i < 19; i++)
        wrWidth(pBoard, kEncoderSlots[i].reg, pParams->aulWord[i], kEncoderSlots[i].width);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetGPIO(BoardHandle *pBoard, uint32_t on) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_GPIO_NO_ENCODER);
    rmw(pBoard, RGpioDir, uint8_t(~kGpioDirBit), 0);
    if (on)
        rmw(pBoard, RGpio, 0xFF, kGpioLine | kGpioOut);
    else
        rmw(pBoard, RGpio, uint8_t(~kGpioOut), kGpioLine);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetGPIOOutputState(BoardHandle *pBoard, uint8_t *pState) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_GPIO_STATE_NO_ENCODER);
    const uint8_t v = rd(pBoard, RGpio);
    if (!failed(pBoard))
        *pState = v & kGpioOut;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVEnableEncoder(BoardHandle *pBoard, uint32_t on) {
    wr(pBoard, REnable, on ? 0 : 1);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVEnableDataTransfer(BoardHandle *pBoard, uint32_t on) {
    wr(pBoard, RTransfer, on ? 1 : 0);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSync(BoardHandle *pBoard) {
    wr(pBoard, RSync, 0x20);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVReset(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t state = 0;
    HSLMAVGetGPIOOutputState(pBoard, &state);
    const uint8_t reset[2] = {0xFF, 0x1E};
    HSLMAVI2CWrite(pBoard, RReset, reset, 2);
    HSLMAVSetGPIO(pBoard, state);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVResetMAFCInterface(BoardHandle *pBoard) {
    wr(pBoard, RMafc, 1);
    wr(pBoard, RMafc, 0);
    return pBoard->ulErrorCode;
}

} // extern "C"
