// The condor family: the toucan bodies run with condor's family records.
// What condor does its own way is in the records (codes, the board-data
// gates of PInS byte 95, no revision steps, no line probe, the DAC routes
// only, no dual priorities, no flat-panel port slots) and in the few
// routines below that differ from toucan's outright.
#include "hsl_con.h"

#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_board.h"
#include "hsl_regs.h"
#include "hsl_tou.h"
#include "hsl_tou_mode.h"

namespace {

using namespace hsl;

// Condor's engine capabilities above the base value: toucan's without
// bit 19.
constexpr uint32_t kCondorEngineCapsHigh = 0x1EF77000u; // bits 12-14, 16-18, 20-23, 25-28

// Toucan's codes in condor's modules.
constexpr uint32_t kChipModule = 0x18, kModeModule = 0x19;

} // namespace

namespace hsldual {

const Family kCondor = {HSL_ERR_CON_SYSCLOCK_RATIO,
                        HSL_ERR_CON_SYSCLOCK_LOCK,
                        0, // GetMonitorEDID has no bad output on condor
                        0, // CustomCall is not installed
                        kCondorEngineCapsHigh,
                        false, // no revision-dependent power-up steps
                        false, // the standard line readers always
                        true,  // PInS byte 95 gates memory and clock
                        HSLCONProgramSystemClock,
                        HSLCONSGRAMInit,
                        HSLCONPowerUp,
                        HSLCONWaitEngineNotBusy,
                        HSLCONDisableCRTC1Output,
                        nullptr}; // the return to VGA leaves the second CRTC alone

// Condor has no routines for the flat-panel port and the pixel-clock
// routing (slots 29 and 30): with nothing to release or route, the steps
// that would call them are left out rather than failing every mode set on
// a board whose data claims flat-panel support.
const ModeFamily kCondorModeFamily = {
    kChipModule, kModeModule, HSLCONPowerUp, HSLCONInitHardware, HSLCONProgramSystemClock,
    true,  // only the routes without flat panel, second CRT or TV
    false, // no dual-controller priorities
    false, // route 2 never turns a flat panel on
    false, // routes 4 and 16 program the record's own porches
    false, // a first-CRTC mode set releases no port
    false, // SetDisplayStart serves the first CRTC only
    false, // no revision-0 chips
    false, // no port slots
    true,  // the YUV route through the encoder's YUV mode
};

} // namespace hsldual

using hsldual::kCondor;
using hsldual::kCondorModeFamily;

extern "C" {

// ---- chip operations ----

uint32_t HSLCONInitAccess(BoardHandle *pBoard) {
    return HSLTOUInitAccess(pBoard);
}
uint32_t HSLCONValidatePhysAddr(BoardHandle *pBoard) {
    return HSLTOUValidatePhysAddr(pBoard);
}
uint32_t HSLCONGetPInSInfo(BoardHandle *pBoard) {
    return hsldual::getPInSInfo(pBoard, kCondor);
}
uint32_t HSLCONGetBoardInfo(BoardHandle *pBoard) {
    return hsldual::getBoardInfo(pBoard, kCondor);
}

uint32_t HSLCONInitExtraJmpTbl(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLJumpSlot *s = pBoard->HSLJumpTable.apfnSlot;
    s[HSL_SLOT_SET_POWER_STATE] = slotOf(HSLCONSetPowerState);
    s[HSL_SLOT_VALIDATE_MODE] = slotOf(HSLCONValidateMode);
    s[HSL_SLOT_VALIDATE_VIDEO_PARAMETERS] = slotOf(HSLCONValidateVideoParameters);
    s[HSL_SLOT_SWITCH_TO_VGA] = slotOf(HSLCONSwitchToVGA);
    s[HSL_SLOT_SET_MODE] = slotOf(HSLCONSetMode);
    s[HSL_SLOT_PROGRAM_SYSTEM_CLOCK] = slotOf(HSLCONProgramSystemClock);
    s[HSL_SLOT_SET_DISPLAY_START] = slotOf(HSLCONSetDisplayStart);
    s[HSL_SLOT_DETECT_TV] = slotOf(HSLMAVDetectTV);
    s[HSL_SLOT_I2C_SET_SCL] = slotOf(HSLDACI2CSetSCL);
    s[HSL_SLOT_I2C_GET_SCL] = slotOf(HSLDACI2CGetSCL);
    s[HSL_SLOT_I2C_SET_SDA] = slotOf(HSLDACI2CSetSDA);
    s[HSL_SLOT_I2C_GET_SDA] = slotOf(HSLDACI2CGetSDA);
    s[HSL_SLOT_GET_MAX_I2C_CLOCK] = slotOf(HSLDACGetMaxI2CClock);
    s[HSL_SLOT_GET_MONITOR_EDID] = slotOf(HSLCONGetMonitorEDID);
    s[HSL_SLOT_GET_ADD_ON_INFO] = slotOf(HSLCONGetAddOnInfo);
    s[HSL_SLOT_SENCE_MONITOR_LOAD] = slotOf(HSLDACSenceMonitorLoad);
    s[HSL_SLOT_INIT_HARDWARE] = slotOf(HSLCONInitHardware);
    s[HSL_SLOT_VALIDATE_PHYS_ADDR] = slotOf(HSLCONValidatePhysAddr);
    return pBoard->ulErrorCode;
}

uint32_t HSLCONWaitEngineNotBusy(BoardHandle *pBoard) {
    return HSLTOUWaitEngineNotBusy(pBoard);
}
// With PInS byte 95 bit 1 clear it returns at once: the clock the video
// BIOS programmed stays.
uint32_t HSLCONProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock) {
    return hsldual::programSystemClock(pBoard, pClock, kCondor);
}
uint32_t HSLCONPowerUp(BoardHandle *pBoard) {
    return hsldual::powerUp(pBoard, kCondor);
}
uint32_t HSLCONSGRAMInit(BoardHandle *pBoard) {
    return hsldual::sgramInit(pBoard, kCondor);
}
uint32_t HSLCONInitHardware(BoardHandle *pBoard) {
    return hsldual::initHardware(pBoard, kCondor);
}
uint32_t HSLCONSetPowerState(BoardHandle *pBoard, uint32_t state) {
    return hsldual::setPowerState(pBoard, state, kCondor);
}
uint32_t HSLCONSwitchToVGA(BoardHandle *pBoard) {
    return hsldual::switchToVGA(pBoard, kCondor);
}

uint32_t HSLCONGetMonitorEDID(BoardHandle *pBoard, uint32_t output) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (output == 0)
        return HSLCONGetPrimaryMonitorEDID(pBoard);
    pBoard->SecondMonitor.flMonitor = 0;
    pBoard->SecondMonitor.ulEDIDVersion = 0;
    return pBoard->ulErrorCode;
}
uint32_t HSLCONGetPrimaryMonitorEDID(BoardHandle *pBoard) {
    return HSLTOUGetPrimaryMonitorEDID(pBoard);
}

// Condor boards carry no add-ons on the I2C bus.
uint32_t HSLCONGetAddOnInfo(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->flFeatures = 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLCONCustomCall(BoardHandle *pBoard, uint32_t, uint32_t *) {
    return pBoard->ulErrorCode;
}
uint32_t HSLCONCSetDefaultPins(BoardHandle *pBoard) {
    return HSLTOUCSetDefaultPins(pBoard);
}

// ---- mode layer ----

uint32_t HSLCONValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute) {
    return hsldual::validateOutputMode(kCondorModeFamily, pBoard, pMode, pRoute);
}
uint32_t HSLCONValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::validateMode(kCondorModeFamily, pBoard, pMode);
}
uint32_t HSLCONValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::validateVideoParameters(kCondorModeFamily, pBoard, pMode);
}
uint32_t HSLCONValidateLatency(BoardHandle *pBoard, ModeInfo *pMode) {
    return HSLTOUValidateLatency(pBoard, pMode);
}
uint32_t HSLCONSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::setModeCaps(kCondorModeFamily, pBoard, pMode);
}
uint32_t HSLCONComputePitch(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::computePitch(kCondorModeFamily, pBoard, pMode);
}
uint32_t HSLCONComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::computeDstOrg(kCondorModeFamily, pBoard, pMode);
}
uint32_t HSLCONSetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::setMode(kCondorModeFamily, pBoard, pMode);
}
// A request for the second CRTC does nothing.
uint32_t HSLCONSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y, uint32_t crtc) {
    return hsldual::setDisplayStart(kCondorModeFamily, pBoard, x, y, crtc);
}
uint32_t HSLCONDisableCRTC1Output(BoardHandle *pBoard) {
    return hsldual::disableCrtc1Output(kCondorModeFamily, pBoard);
}
uint32_t HSLCONDisableCRTC2Output(BoardHandle *pBoard) {
    return hsldual::disableCrtc2Output(kCondorModeFamily, pBoard);
}

#define CONDOR_ROUTE_ROUTINE(name, route)                                                          \
    uint32_t name(BoardHandle *pBoard, ModeInfo *pMode) {                                          \
        return hsldual::runRoute(kCondorModeFamily, pBoard, pMode, route);                         \
    }

CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToNoOutput, DUAL_ROUTE_CRTC1_NO_OUTPUT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToDac, DUAL_ROUTE_CRTC1_DAC)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToDacFlat, DUAL_ROUTE_CRTC1_DAC_FLAT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToDacCRT, DUAL_ROUTE_CRTC1_DAC_CRT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToDacTV, DUAL_ROUTE_CRTC1_DAC_TV)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToFlat, DUAL_ROUTE_CRTC1_FLAT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToCRT, DUAL_ROUTE_CRTC1_CRT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC1ToTV, DUAL_ROUTE_CRTC1_TV)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToNoOutput, DUAL_ROUTE_CRTC2_NO_OUTPUT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToDac, DUAL_ROUTE_CRTC2_DAC)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToDacFlat, DUAL_ROUTE_CRTC2_DAC_FLAT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToDacCRT, DUAL_ROUTE_CRTC2_DAC_CRT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToDacTV, DUAL_ROUTE_CRTC2_DAC_TV)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToDacTV_YUV, DUAL_ROUTE_CRTC2_DAC_TV_YUV)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToFlat, DUAL_ROUTE_CRTC2_FLAT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToCRT, DUAL_ROUTE_CRTC2_CRT)
CONDOR_ROUTE_ROUTINE(HSLCONSetModeCRTC2ToTV, DUAL_ROUTE_CRTC2_TV)

uint32_t HSLCONSetModeCRTC2ToTV_YUVRev0(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::runYuvRoute(kCondorModeFamily, pBoard, pMode, true);
}
uint32_t HSLCONSetModeCRTC2ToTV_YUV(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::runYuvRoute(kCondorModeFamily, pBoard, pMode, false);
}

} // extern "C"
