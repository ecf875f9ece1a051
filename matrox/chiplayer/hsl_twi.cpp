// The twister family: the eclipse steps run with twister's record (codes,
// routines and rules), and the routines of its own: desktop placement, the
// mode set, the DAC and flat-panel routes, memory set-up for synchronous
// memory, the one-time hardware initialisation, the custom call and the
// add-on detection's guard.
#include "hsl_twi.h"

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_regs.h"
#include "hsl_single.h"

namespace {

using namespace hsl;

constexpr uint32_t kEngineCaps = 0x10572BB;
constexpr uint32_t kEngPixelWidth = 0x1C04, kZoomControl = 0x1E4C;
constexpr uint32_t kCfgClassRevision = 0x08, kSubclassHighBit = 1u << 23;
constexpr uint8_t XGpioDirection = 0x2A, XGpioData = 0x2B;

// Synchronous memory (type 5) goes without the block-mode features.
bool twisterBlockMode(const BoardHandle *b) {
    return b->ulMemoryType != 5;
}

// Synchronous memory needs DAC pin 0 driven low; OPTION bit 14 is left as
// it is on these chips.
void twisterMemoryTypeSetup(BoardHandle *b) {
    if (b->ulMemoryType != 5)
        return;
    uint8_t v = 0;
    HSLDACReadRegister(b, XGpioDirection, &v);
    HSLDACWriteRegister(b, XGpioDirection, (v & 0xF0u) | 1);
    HSLDACReadRegister(b, XGpioData, &v);
    HSLDACWriteRegister(b, XGpioData, v & ~1u);
}

uint8_t twisterPanelLinkPort(const BoardHandle *b) {
    switch (b->HSLData.ucI2CAddPanelLinkModule) {
    case 0x74:
        return 2;
    case 0x44:
        return 3;
    default:
        return 0xFF;
    }
}

// The engine's pixel width for each depth; 0 for a depth it has none for.
uint32_t pixelWidthWord(int32_t bpp) {
    switch (bpp) {
    case 8:
        return 0x8000;
    case 15:
    case 16:
        return 0x8001;
    case 24:
        return 0x8003;
    case 32:
        return 0x8002;
    default:
        return 0;
    }
}

} // namespace

namespace hsl {

const SingleHead kTwisterFamily = {
    .codes = {.noClock = HSL_ERR_TWI_NO_CLOCK,
              .clockLimit = HSL_ERR_TWI_CLOCK_LIMIT,
              .vOvscan = HSL_ERR_TWI_VOVSCAN,
              .clockDepth = HSL_ERR_TWI_CLOCK_DEPTH,
              .deskWidth = HSL_ERR_TWI_DESK_WIDTH,
              .zoom = HSL_ERR_TWI_ZOOM,
              .noTv = HSL_ERR_TWI_NO_TV,
              .modeDepth = HSL_ERR_TWI_MODE_DEPTH,
              .memory = HSL_ERR_TWI_MEMORY,
              .pitchDepth = HSL_ERR_TWI_PITCH_DEPTH,
              .pitchWidth = HSL_ERR_TWI_PITCH_WIDTH,
              .route = HSL_ERR_TWI_ROUTE,
              .setRoute = HSL_ERR_TWI_SET_ROUTE,
              .tvAlone = HSL_ERR_TWI_TV_ALONE,
              .edidWhich = HSL_ERR_TWI_EDID_WHICH,
              .mafcMode = HSL_ERR_TWI_MAFC_MODE,
              .customCall = HSL_ERR_TWI_CUSTOM_CALL},
    .initAccess = HSLTWIInitAccess,
    .getBoardInfo = HSLTWIGetBoardInfo,
    .initExtraJmpTbl = HSLTWIInitExtraJmpTbl,
    .getPInSInfo = HSLTWIGetPInSInfo,
    .setPowerState = HSLTWISetPowerState,
    .validateMode = HSLTWIValidateMode,
    .validateVideoParameters = HSLTWIValidateVideoParameters,
    .validateLatency = HSLTWIValidateLatency,
    .setModeCaps = HSLTWISetModeCaps,
    .computePitch = HSLTWIComputePitch,
    .computeDSTORG = HSLTWIComputeDSTORG,
    .setMode = HSLTWISetMode,
    .validateOutputMode = HSLTWIValidateOutputMode,
    .switchToVGA = HSLTWISwitchToVGA,
    .programSystemClock = HSLTWIProgramSystemClock,
    .setDisplayStart = HSLTWISetDisplayStart,
    .waitEngineNotBusy = HSLTWIWaitEngineNotBusy,
    .sgramInit = HSLTWISGRAMInit,
    .powerUp = HSLTWIPowerUp,
    .initHardware = HSLTWIInitHardware,
    .disableCRTC1Output = HSLTWIDisableCRTC1Output,
    .getMonitorEDID = HSLTWIGetMonitorEDID,
    .getPrimaryMonitorEDID = HSLTWIGetPrimaryMonitorEDID,
    .getFlatPanelMonitorEDID = HSLTWIGetFlatPanelMonitorEDID,
    .getAddOnInfo = HSLTWIGetAddOnInfo,
    .controlMAFCPort = HSLTWIControlMAFCPort,
    .routePixelClock = HSLTWIRoutePixelClock,
    .validatePhysAddr = HSLTWIValidatePhysAddr,
    .customCall = HSLTWICustomCall,
    .engineCaps = kEngineCaps,
    .modeCapsAlways = 0x10,
    .blockModeMemory = twisterBlockMode,
    .tvParameters = false, // slot 8 keeps the routine that answers "not initialised"
    .altI2CReaders = false,
    .zoomAnyDesktop = true,
    .panelOffByMode = true,
    .powerUpForgetsClock = false,
    .powerSaves1E70 = false,
    .memoryTypeSetup = twisterMemoryTypeSetup,
    .panelLinkPort = twisterPanelLinkPort,
};

} // namespace hsl

extern "C" {

// ---- operations shared with eclipse ----

uint32_t HSLTWIInitAccess(BoardHandle *pBoard) {
    return singleInitAccess(kTwisterFamily, pBoard);
}
uint32_t HSLTWIValidatePhysAddr(BoardHandle *pBoard) {
    return singleValidatePhysAddr(kTwisterFamily, pBoard);
}
uint32_t HSLTWIGetBoardInfo(BoardHandle *pBoard) {
    return singleGetBoardInfo(kTwisterFamily, pBoard);
}
uint32_t HSLTWIInitExtraJmpTbl(BoardHandle *pBoard) {
    return singleInitExtraJmpTbl(kTwisterFamily, pBoard);
}
uint32_t HSLTWIWaitEngineNotBusy(BoardHandle *pBoard) {
    return singleWaitEngineNotBusy(kTwisterFamily, pBoard);
}
uint32_t HSLTWISetPowerState(BoardHandle *pBoard, uint32_t state) {
    return singleSetPowerState(kTwisterFamily, pBoard, state);
}
uint32_t HSLTWISwitchToVGA(BoardHandle *pBoard) {
    return singleSwitchToVGA(kTwisterFamily, pBoard);
}
uint32_t HSLTWISetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y) {
    return HSLCRTCSetDisplayStart(pBoard, x, y);
}
uint32_t HSLTWISGRAMInit(BoardHandle *pBoard) {
    return singleSGRAMInit(kTwisterFamily, pBoard);
}
uint32_t HSLTWIPowerUp(BoardHandle *pBoard) {
    return singlePowerUp(kTwisterFamily, pBoard);
}
uint32_t HSLTWIGetPrimaryMonitorEDID(BoardHandle *pBoard) {
    return singleGetPrimaryMonitorEDID(kTwisterFamily, pBoard);
}
uint32_t HSLTWIGetFlatPanelMonitorEDID(BoardHandle *pBoard) {
    return singleGetFlatPanelMonitorEDID(kTwisterFamily, pBoard);
}
uint32_t HSLTWIGetMonitorEDID(BoardHandle *pBoard, uint32_t which) {
    return singleGetMonitorEDID(kTwisterFamily, pBoard, which);
}
uint32_t HSLTWIControlMAFCPort(BoardHandle *pBoard, uint32_t mode) {
    return singleControlMAFCPort(kTwisterFamily, pBoard, mode);
}
uint32_t HSLTWIRoutePixelClock(BoardHandle *pBoard, uint32_t route) {
    return singleRoutePixelClock(kTwisterFamily, pBoard, route);
}

uint32_t HSLTWIValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute) {
    return singleValidateOutputMode(kTwisterFamily, pBoard, pMode, pRoute);
}
uint32_t HSLTWIComputePitch(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleComputePitch(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWIValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleValidateMode(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWIValidateLatency(BoardHandle *pBoard, ModeInfo *) {
    return pBoard->ulErrorCode;
}
uint32_t HSLTWISetModeCaps(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCaps(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWIValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleValidateVideoParameters(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWIDisableCRTC1Output(BoardHandle *pBoard) {
    return singleDisableCRTC1Output(kTwisterFamily, pBoard);
}
uint32_t HSLTWISetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToNoOutput(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWISetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToDacFlat(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWISetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToDacTV(kTwisterFamily, pBoard, pMode);
}
uint32_t HSLTWISetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToTV(kTwisterFamily, pBoard, pMode);
}

// ---- twister's own ----

// The desktop always starts at the first byte of video memory.
uint32_t HSLTWIComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pMode->lDstOrg = 0;
    pMode->lDisplayOrg = 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLTWISetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLTWIComputePitch(pBoard, pMode);
    singleDacSteps(pBoard, pMode);
    return pBoard->ulErrorCode;
}

// The panel alone: the DAC is neither set up nor turned on.
uint32_t HSLTWISetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLTWIComputePitch(pBoard, pMode);
    HSLCRTCSet(pBoard, pMode);
    HSLDACPIXPLLSET(pBoard, pMode);
    HSLFlatEnableMAFC(pBoard, 1);
    HSLEnablePanelLinkModuleOutput(pBoard, 1);
    return pBoard->ulErrorCode;
}

// The mode set works on the caller's record and leaves in it the pitch,
// placement and capability words it wrote. The engine's pixel width is set
// before the route programs the CRTC and the DAC.
uint32_t HSLTWISetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t option = readConfig(pBoard, kCfgOption);
    if (!failed(pBoard) && (option & 3) == 0) {
        // The system clock does not run from the PLL yet.
        HSLTWIPowerUp(pBoard);
        pBoard->CurrentModeCRTC1.ulDispWidth = 0;
    }
    if ((pBoard->flStraps & 2) == 0) {
        pBoard->flStraps |= 2;
        HSLTWIInitHardware(pBoard);
    }
    uint32_t route = 0;
    HSLTWIValidateOutputMode(pBoard, pMode, &route);
    HSLTWIDisableCRTC1Output(pBoard);
    HSLCRTCSelectHiresMode(pBoard);
    const uint32_t width = pixelWidthWord(pMode->lBpp);
    if (width != 0)
        ClientWriteRegisterDword(pBoard, kEngPixelWidth, width);
    ClientWait(pBoard, 10);
    if (!failed(pBoard)) {
        switch (route) {
        case ROUTE_CRTC1_NO_OUTPUT:
            HSLTWISetModeCRTC1ToNoOutput(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC:
            HSLTWISetModeCRTC1ToDac(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC_FLAT:
            HSLTWISetModeCRTC1ToDacFlat(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC_TV:
            HSLTWISetModeCRTC1ToDacTV(pBoard, pMode);
            break;
        case ROUTE_CRTC1_FLAT:
            HSLTWISetModeCRTC1ToFlat(pBoard, pMode);
            break;
        case ROUTE_CRTC1_TV:
            HSLTWISetModeCRTC1ToTV(pBoard, pMode);
            break;
        default:
            SetErr(pBoard, HSL_ERR_TWI_SET_ROUTE);
            break;
        }
    }
    ClientWriteRegisterDword(pBoard, kZoomControl, 1);
    const bool mode1 =
        pMode->lBpp == 8 || pMode->lBpp == 24 || (pMode->lBpp == 32 && pMode->ulDispWidth > 1024);
    HSLTWIProgramSystemClock(pBoard, mode1 ? &pBoard->SysClockMode1 : &pBoard->SysClockMode2);
    HSLTWIComputeDSTORG(pBoard, pMode);
    singleFreeMemory(pBoard, pMode);
    HSLTWISetModeCaps(pBoard, pMode);
    HSLCRTCSetPitch(pBoard, pMode);
    if (!failed(pBoard))
        pBoard->CurrentModeCRTC1 = *pMode;
    HSLCRTCSetPriorityRequest(pBoard);
    HSLDACSetZoom(pBoard, uint32_t(pMode->lZoom));
    HSLCRTCSetDisplayStart(pBoard, 0, 0);
    return pBoard->ulErrorCode;
}

// No default mode and no read-back calibration: the memory comes up with
// the power-up alone.
uint32_t HSLTWIInitHardware(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->flStraps |= 2;
    return HSLTWIPowerUp(pBoard);
}

uint32_t HSLTWICustomCall(BoardHandle *pBoard, uint32_t, uint32_t *) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    return SetErr(pBoard, HSL_ERR_TWI_CUSTOM_CALL);
}

// A device reporting a subclass with bit 7 set carries no add-ons.
uint32_t HSLTWIGetAddOnInfo(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t classRevision = readConfig(pBoard, kCfgClassRevision);
    if (failed(pBoard) || (classRevision & kSubclassHighBit) != 0)
        return pBoard->ulErrorCode;
    return singleGetAddOnInfo(kTwisterFamily, pBoard);
}

} // extern "C"
