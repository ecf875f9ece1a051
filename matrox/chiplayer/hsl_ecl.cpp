// The eclipse family's chip operations: access to the two windows, board
// words, the operation table, power states with their save area, the return
// to VGA text mode, memory initialisation, power-up and the one-time
// hardware initialisation, monitor EDID, the MAFC port, pixel-clock routing,
// the custom call and add-on detection. The steps twister shares are bodies
// that take the family's record (hsl_single.h); eclipse's entry points run
// them with its own.
#include "hal.h"
#include "hal_error.h"
#include "hal_addon.h"
#include "hal_monitor.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_mav_tables.h"
#include "hsl_single.h"
#include "hsl_board.h"
#include "hal_i2c.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint32_t kFrameBufferBytes = 0x1000000;
constexpr uint32_t kStatusMemoryMark = 0x80000000u;
constexpr uint32_t kMemControl = 0x1C08, kEngPixelWidth = 0x1C04, kEngPlaneMask = 0x1C1C;
constexpr uint8_t XPixelClock = 0x1A, XMisc = 0x1E;
constexpr uint32_t kEngineCaps = 0x16F771FB, kEngineCapsBlockMode = 0x800;

bool sgramLike(const BoardHandle *b) {
    return b->ulMemoryType == 5 || b->ulMemoryType == 6;
}

void writeConfigBits(BoardHandle *b, uint32_t reg, uint32_t mask, uint32_t bits) {
    const uint32_t v = readConfig(b, reg);
    ClientWriteConfigSpaceDword(b, reg, (v & ~mask) | (bits & mask));
}

// The mode the one-time initialisation sets: 640 x 480 at 8 bits, 60 Hz.
ModeInfo defaultMode() {
    ModeInfo m{};
    m.ulDispWidth = 640;
    m.lDispHeight = 480;
    m.lDeskWidth = 640;
    m.lDeskHeight = 480;
    m.lBpp = 8;
    m.lModeType = 0x1200000;
    m.lZoom = 1;
    m.lRefreshRate = 60;
    m.lHorizontalRate = 31;
    m.lPixClock = 25175;
    m.lHFPorch = 16;
    m.lHSync = 96;
    m.lHBPorch = 48;
    m.lVFPorch = 10;
    m.lVSync = 2;
    m.lVBPorch = 33;
    return m;
}

// The routines of the family's own that the board steps call.
BoardSteps stepsOf(const SingleHead &f) {
    return {
        f.waitEngineNotBusy, f.disableCRTC1Output,         nullptr, f.powerUp, f.programSystemClock,
        f.powerSaves1E70,    /*restoreClearsStrap1=*/false};
}

} // namespace

extern "C" {

// 80 columns, 25 rows, the screen off (sequencer register 1 bit 5).
const VgaInfo HSLVGAInfoDefault = {{0x20, 0x03, 0x00, 0x02},
                                   0x67,
                                   {0x5F, 0x4F, 0x50, 0x82, 0x55, 0x81, 0xBF, 0x1F, 0x00,
                                    0x4F, 0x0D, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x9C, 0x8E,
                                    0x8F, 0x28, 0x1F, 0x96, 0xB9, 0xA3, 0xFF},
                                   {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39,
                                    0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x0C, 0x00, 0x0F, 0x08},
                                   {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x0E, 0x00, 0xFF},
                                   {0, 0, 0}};

// The 64 colours of the text-mode attribute palette: bits 0-2 blue, green
// and red at two thirds, bits 3-5 the same at one third.
#define QUARN_EGA(i)                                                                               \
    uint8_t(((i)&4 ? 0xAA : 0) + ((i)&32 ? 0x55 : 0)),                                             \
        uint8_t(((i)&2 ? 0xAA : 0) + ((i)&16 ? 0x55 : 0)),                                         \
        uint8_t(((i)&1 ? 0xAA : 0) + ((i)&8 ? 0x55 : 0))
#define QUARN_EGA8(i)                                                                              \
    QUARN_EGA(i), QUARN_EGA(i + 1), QUARN_EGA(i + 2), QUARN_EGA(i + 3), QUARN_EGA(i + 4),          \
        QUARN_EGA(i + 5), QUARN_EGA(i + 6), QUARN_EGA(i + 7)
const uint8_t HSLVGADacDefault[192] = {QUARN_EGA8(0),  QUARN_EGA8(8),  QUARN_EGA8(16),
                                       QUARN_EGA8(24), QUARN_EGA8(32), QUARN_EGA8(40),
                                       QUARN_EGA8(48), QUARN_EGA8(56)};
#undef QUARN_EGA8
#undef QUARN_EGA

} // extern "C"

namespace hsl {

uint32_t singleInitAccess(const SingleHead &, BoardHandle *pBoard) {
    return boardInitAccess(pBoard, kFrameBufferBytes);
}

uint32_t singleValidatePhysAddr(const SingleHead &, BoardHandle *pBoard) {
    return boardValidatePhysAddr(pBoard);
}

uint32_t singleGetBoardInfo(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    f.getPInSInfo(pBoard);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    boardCrtcInfo(pBoard);
    pBoard->flEngineCaps1 = f.engineCaps | (f.blockModeMemory(pBoard) ? kEngineCapsBlockMode : 0);
    return pBoard->ulErrorCode;
}

uint32_t singleInitExtraJmpTbl(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const bool alt = f.altI2CReaders && pBoard->ulChipRev >= 3;
    HSLJumpSlot *s = pBoard->HSLJumpTable.apfnSlot;
    s[HSL_SLOT_SET_POWER_STATE] = slotOf(f.setPowerState);
    s[HSL_SLOT_VALIDATE_MODE] = slotOf(f.validateMode);
    s[HSL_SLOT_VALIDATE_VIDEO_PARAMETERS] = slotOf(f.validateVideoParameters);
    s[HSL_SLOT_SWITCH_TO_VGA] = slotOf(f.switchToVGA);
    s[HSL_SLOT_SET_MODE] = slotOf(f.setMode);
    s[HSL_SLOT_PROGRAM_SYSTEM_CLOCK] = slotOf(f.programSystemClock);
    s[HSL_SLOT_SET_DISPLAY_START] = slotOf(f.setDisplayStart);
    boardTvAndI2CSlots(s, f.tvParameters, alt);
    s[HSL_SLOT_INIT_ACCESS] = slotOf(f.initAccess);
    s[HSL_SLOT_GET_BOARD_INFO] = slotOf(f.getBoardInfo);
    s[HSL_SLOT_GET_MONITOR_EDID] = slotOf(f.getMonitorEDID);
    s[HSL_SLOT_GET_ADD_ON_INFO] = slotOf(f.getAddOnInfo);
    s[HSL_SLOT_SENCE_MONITOR_LOAD] = slotOf(HSLDACSenceMonitorLoad);
    s[HSL_SLOT_INIT_EXTRA_JMP_TBL] = slotOf(f.initExtraJmpTbl);
    s[HSL_SLOT_CONTROL_MAFC_PORT] = slotOf(f.controlMAFCPort);
    s[HSL_SLOT_ROUTE_PIXEL_CLOCK] = slotOf(f.routePixelClock);
    s[HSL_SLOT_INIT_HARDWARE] = slotOf(f.initHardware);
    s[HSL_SLOT_VALIDATE_PHYS_ADDR] = slotOf(f.validatePhysAddr);
    s[HSL_SLOT_CUSTOM_CALL] = slotOf(f.customCall);
    return pBoard->ulErrorCode;
}

uint32_t singleWaitEngineNotBusy(const SingleHead &, BoardHandle *pBoard) {
    return boardWaitEngineNotBusy(pBoard);
}

uint32_t singleSetPowerState(const SingleHead &f, BoardHandle *pBoard, uint32_t state) {
    return boardSetPowerState(pBoard, state, stepsOf(f));
}

uint32_t singleSwitchToVGA(const SingleHead &f, BoardHandle *pBoard) {
    return boardSwitchToVGA(pBoard, stepsOf(f));
}

uint32_t singleSGRAMInit(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const HSLData &d = pBoard->HSLData;
    f.memoryTypeSetup(pBoard);
    ClientWriteRegisterDword(pBoard, kEngPlaneMask, 0xFFFFFFFFu);
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    ClientWriteRegisterDword(pBoard, kMemControl, d.ulMCTLWTST);
    writeConfigBits(pBoard, kCfgOption, 7u << 10, (d.ulMemoryConfig & 7) << 10);
    writeConfigBits(pBoard, kCfgOption2, 3u << 12, (d.ulOption2 & 3) << 12);
    ClientWriteRegisterDword(pBoard, kMemReadBack, readReg(pBoard, kMemReadBack) & ~(0xFu << 25));
    ClientWriteRegisterDword(pBoard, kMemReadBack, d.ulMemRdBk);
    ClientWait(pBoard, 200);
    ClientWriteRegisterDword(pBoard, kEngPixelWidth, 0x8000);
    writeConfigBits(pBoard, kCfgOption, 0x3Fu << 15, 9u << 15);
    if (on)
        HSLDACScreenOn(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t singlePowerUp(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (f.powerUpForgetsClock)
        pBoard->CurrentSysClock.ulSystemPllFreq = 0;
    HSLDACPowerUp(pBoard);
    f.programSystemClock(pBoard, &pBoard->SysClockMode1);
    const uint32_t status = readReg(pBoard, kStatus);
    if (!failed(pBoard) && (status & kStatusMemoryMark) == 0) {
        f.sgramInit(pBoard);
        ClientWriteRegisterDword(pBoard, kStatus, status | kStatusMemoryMark);
    }
    return pBoard->ulErrorCode;
}

uint32_t singleGetPrimaryMonitorEDID(const SingleHead &, BoardHandle *pBoard) {
    return boardReadHD15Edid(pBoard, pBoard->PrimaryMonitor, 0, false);
}

uint32_t singleGetFlatPanelMonitorEDID(const SingleHead &, BoardHandle *pBoard) {
    return boardReadFlatPanelEdid(pBoard);
}

uint32_t singleGetMonitorEDID(const SingleHead &f, BoardHandle *pBoard, uint32_t which) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (which == 0)
        return f.getPrimaryMonitorEDID(pBoard);
    if (which == 2)
        return f.getFlatPanelMonitorEDID(pBoard);
    return SetErr(pBoard, f.codes.edidWhich);
}

uint32_t singleControlMAFCPort(const SingleHead &f, BoardHandle *pBoard, uint32_t mode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    static const uint8_t kModeBits[] = {0x06, 0x42, 0x02};
    if (mode > 2)
        return SetErr(pBoard, f.codes.mafcMode);
    const uint8_t v = dacRead(pBoard, XMisc);
    HSLDACWriteRegister(pBoard, XMisc, (v & 0x19) | kModeBits[mode]);
    return pBoard->ulErrorCode;
}

uint32_t singleRoutePixelClock(const SingleHead &, BoardHandle *pBoard, uint32_t route) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t v = dacRead(pBoard, XPixelClock);
    HSLDACWriteRegister(pBoard, XPixelClock, (v & ~3u) | (route == 2 ? 2 : 1));
    HSLCRTCUnLock(pBoard);
    const uint8_t ext1 = readExt(pBoard, 1);
    writeExt(pBoard, 1, route == 2 ? (ext1 | 0x88) : (ext1 & ~0x88u));
    HSLCRTCLock(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t singleGetAddOnInfo(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLData &d = pBoard->HSLData;
    uint32_t found = 0;
    HSLDetectMaven(pBoard, &found);
    found = 0;
    HSLDetectVideoDecoder(pBoard, &found);
    if (found) {
        found = 0;
        HSLDetectRR2(pBoard, &found);
    }
    HSLDetectDVD(pBoard, &found);
    HSLDetectMJPEG(pBoard, &found);
    found = 0;
    HSLDetectPanelLinkModule(pBoard, &found);
    if (found && !failed(pBoard))
        d.ucI2CPortPanelLink = f.panelLinkPort(pBoard);
    found = 0;
    HSLDetectMSP(pBoard, &found);
    if (found)
        HSLMSPSetAudioPassThroughMode(pBoard);
    HSLDetectTVTuner(pBoard, &found);
    return pBoard->ulErrorCode;
}

} // namespace hsl

namespace {

// Eclipse's memory of types 5 and 6 leaves the block-mode features off.
bool eclipseBlockMode(const BoardHandle *b) {
    return !sgramLike(b);
}

void eclipseMemoryTypeSetup(BoardHandle *b) {
    writeConfigBits(b, kCfgOption, 1u << 14, sgramLike(b) ? 0 : 1u << 14);
}

uint8_t eclipsePanelLinkPort(const BoardHandle *b) {
    const uint8_t a = b->HSLData.ucI2CAddPanelLinkModule;
    if (a == 0x74)
        return 2;
    if (b->flFeatures & 0x2000)
        return 0;
    return a == 0x44 ? 3 : 0xFF;
}

} // namespace

namespace hsl {

const SingleHead kEclipseFamily = {
    .codes = {.noClock = HSL_ERR_ECL_NO_CLOCK,
              .clockLimit = HSL_ERR_ECL_CLOCK_LIMIT,
              .vOvscan = HSL_ERR_ECL_VOVSCAN,
              .clockDepth = HSL_ERR_ECL_CLOCK_DEPTH,
              .deskWidth = HSL_ERR_ECL_DESK_WIDTH,
              .zoom = HSL_ERR_ECL_ZOOM,
              .noTv = HSL_ERR_ECL_NO_TV,
              .modeDepth = HSL_ERR_ECL_MODE_DEPTH,
              .memory = HSL_ERR_ECL_MEMORY,
              .pitchDepth = HSL_ERR_ECL_PITCH_DEPTH,
              .pitchWidth = HSL_ERR_ECL_PITCH_WIDTH,
              .route = HSL_ERR_ROUTE,
              .setRoute = HSL_ERR_SET_ROUTE,
              .tvAlone = HSL_ERR_TV_ALONE,
              .edidWhich = HSL_ERR_ECL_EDID_WHICH,
              .mafcMode = HSL_ERR_ECL_MAFC_MODE,
              .customCall = HSL_ERR_ECL_CUSTOM_CALL},
    .initAccess = HSLECLInitAccess,
    .getBoardInfo = HSLECLGetBoardInfo,
    .initExtraJmpTbl = HSLECLInitExtraJmpTbl,
    .getPInSInfo = HSLECLGetPInSInfo,
    .setPowerState = HSLECLSetPowerState,
    .validateMode = HSLECLValidateMode,
    .validateVideoParameters = HSLECLValidateVideoParameters,
    .validateLatency = HSLECLValidateLatency,
    .setModeCaps = HSLECLSetModeCaps,
    .computePitch = HSLECLComputePitch,
    .computeDSTORG = HSLECLComputeDSTORG,
    .setMode = HSLECLSetMode,
    .validateOutputMode = HSLECLValidateOutputMode,
    .switchToVGA = HSLECLSwitchToVGA,
    .programSystemClock = HSLECLProgramSystemClock,
    .setDisplayStart = HSLECLSetDisplayStart,
    .waitEngineNotBusy = HSLECLWaitEngineNotBusy,
    .sgramInit = HSLECLSGRAMInit,
    .powerUp = HSLECLPowerUp,
    .initHardware = HSLECLInitHardware,
    .disableCRTC1Output = HSLECLDisableCRTC1Output,
    .getMonitorEDID = HSLECLGetMonitorEDID,
    .getPrimaryMonitorEDID = HSLECLGetPrimaryMonitorEDID,
    .getFlatPanelMonitorEDID = HSLECLGetFlatPanelMonitorEDID,
    .getAddOnInfo = HSLECLGetAddOnInfo,
    .controlMAFCPort = HSLECLControlMAFCPort,
    .routePixelClock = HSLECLRoutePixelClock,
    .validatePhysAddr = HSLECLValidatePhysAddr,
    .customCall = HSLECLCustomCall,
    .engineCaps = kEngineCaps,
    .modeCapsAlways = 0x30,
    .blockModeMemory = eclipseBlockMode,
    .tvParameters = true,
    .altI2CReaders = true,
    .zoomAnyDesktop = false,
    .panelOffByMode = false,
    .powerUpForgetsClock = true,
    .powerSaves1E70 = true,
    .memoryTypeSetup = eclipseMemoryTypeSetup,
    .panelLinkPort = eclipsePanelLinkPort,
};

} // namespace hsl

extern "C" {

uint32_t HSLECLInitAccess(BoardHandle *pBoard) {
    return singleInitAccess(kEclipseFamily, pBoard);
}
uint32_t HSLECLValidatePhysAddr(BoardHandle *pBoard) {
    return singleValidatePhysAddr(kEclipseFamily, pBoard);
}
uint32_t HSLECLGetBoardInfo(BoardHandle *pBoard) {
    return singleGetBoardInfo(kEclipseFamily, pBoard);
}
uint32_t HSLECLInitExtraJmpTbl(BoardHandle *pBoard) {
    return singleInitExtraJmpTbl(kEclipseFamily, pBoard);
}
uint32_t HSLECLWaitEngineNotBusy(BoardHandle *pBoard) {
    return singleWaitEngineNotBusy(kEclipseFamily, pBoard);
}
uint32_t HSLECLSetPowerState(BoardHandle *pBoard, uint32_t state) {
    return singleSetPowerState(kEclipseFamily, pBoard, state);
}
uint32_t HSLECLSwitchToVGA(BoardHandle *pBoard) {
    return singleSwitchToVGA(kEclipseFamily, pBoard);
}
uint32_t HSLECLSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y) {
    return HSLCRTCSetDisplayStart(pBoard, x, y);
}
uint32_t HSLECLSGRAMInit(BoardHandle *pBoard) {
    return singleSGRAMInit(kEclipseFamily, pBoard);
}
uint32_t HSLECLPowerUp(BoardHandle *pBoard) {
    return singlePowerUp(kEclipseFamily, pBoard);
}

uint32_t HSLECLInitHardware(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->flStraps |= 2;
    const bool vga = (readExt(pBoard, 3) & 0x80) == 0;
    VgaInfo saved{};
    if (vga)
        HSLVGAReadVgaInfo(pBoard, &saved);
    HSLECLPowerUp(pBoard);
    ModeInfo mode = defaultMode();
    HSLECLSetMode(pBoard, &mode);
    HSLDACScreenOff(pBoard);
    HALPDetectMemoryReadBackValue(pBoard);
    if (vga && !failed(pBoard)) {
        HSLECLSwitchToVGA(pBoard);
        HSLVGAWriteVgaInfo(pBoard, &saved);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLECLGetPrimaryMonitorEDID(BoardHandle *pBoard) {
    return singleGetPrimaryMonitorEDID(kEclipseFamily, pBoard);
}
uint32_t HSLECLGetFlatPanelMonitorEDID(BoardHandle *pBoard) {
    return singleGetFlatPanelMonitorEDID(kEclipseFamily, pBoard);
}
uint32_t HSLECLGetMonitorEDID(BoardHandle *pBoard, uint32_t which) {
    return singleGetMonitorEDID(kEclipseFamily, pBoard, which);
}
uint32_t HSLECLControlMAFCPort(BoardHandle *pBoard, uint32_t mode) {
    return singleControlMAFCPort(kEclipseFamily, pBoard, mode);
}
uint32_t HSLECLRoutePixelClock(BoardHandle *pBoard, uint32_t route) {
    return singleRoutePixelClock(kEclipseFamily, pBoard, route);
}

uint32_t HSLECLCustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (code != 2)
        return SetErr(pBoard, HSL_ERR_ECL_CUSTOM_CALL);
    const uint32_t f = pBoard->flFeatures;
    if (pBoard->HSLData.ucI2CAddMSPChip == 0 && (f & 0x180) != 0 && (f & 0x18000) != 0)
        HSLMAVSetGPIO(pBoard, *pWord);
    return pBoard->ulErrorCode;
}

uint32_t HSLECLGetAddOnInfo(BoardHandle *pBoard) {
    return singleGetAddOnInfo(kEclipseFamily, pBoard);
}

} // extern "C"
