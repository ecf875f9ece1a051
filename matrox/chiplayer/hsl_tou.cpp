// The toucan family's chip operations: access to the two windows, board
// words, the operation table, the system clock, power-up with the memory
// initialisation and the revision-1 buffer compensation, power states, the
// return to VGA text mode, monitor EDID, add-on detection and the custom
// calls. The bodies take a family record so that the next two-controller
// family can run them with its own codes and routines.
#include "hsl_tou.h"

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_monitor.h"
#include "hal_dispatch.h"
#include "hsl_tou_mode.h"
#include "hsl.h"
#include "hsl_board.h"
#include "hsl_ecl.h"
#include "hsl_mav_tables.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint32_t kCfgSubsystem = 0x2C, kCfgSubsystemWrite = 0x4C, kCfgClockSelect = 0x54,
                   kCfgReset = 0xE0, kCfgCompensation = 0xF4, kCfgAgpCommand = 0xF8;
constexpr uint32_t kFrameBufferBytes = 0x2000000;
constexpr uint32_t kStatusPoweredUp = 0x80000000u;
constexpr uint32_t kEngPixelWidth = 0x1C04, kMemControl = 0x1C08, kEngPlaneMask = 0x1C1C,
                   kRevision0PowerUp = 0x1E4C, kCompensation = 0x1E4C, kCompensationRead = 0x1E4D;
constexpr uint8_t XGpioDirection = 0x2A, XGpioData = 0x2B, XSysPllM = 0x2C, XSysPllN = 0x2D,
                  XSysPllP = 0x2E, XSysPllStatus = 0x2F;
constexpr uint8_t kPllLocked = 0x40;
constexpr uint32_t kOptionClockStop = 0x4, kOptionPllPower = 0x20, kOptionMemoryKind = 1u << 14;
constexpr uint32_t kOptionRefreshShift = 15, kOptionRefreshMask = 0x3Fu << kOptionRefreshShift;
constexpr uint32_t kRefreshMax = 63;
// The clock select word with its three source fields on the PCI clock.
constexpr uint32_t kClockSelectNoSources = 0xFFCFF3FCu;
constexpr uint32_t kPllPowerCycleWait = 10000;
constexpr uint32_t kMaxMemory = 0x2000000;
constexpr uint32_t kEngineCapsBase = 0x1FB, kEngineCapsLaterRevisions = 0x3FB,
                   kEngineCapsBlockMode = 0x800;
constexpr int32_t kNoOutputCrtc1 = 0x100000, kNoOutputCrtc2 = 0x180000;
constexpr uint8_t kPinsByte93 = 0x5D, kPinsGates = 95;
constexpr uint32_t kFeatureSecondHD15Default = 0x20000;

uint8_t readRegByte(BoardHandle *b, uint32_t offset) {
    uint8_t v = 0;
    ClientReadRegisterByte(b, offset, &v);
    return v;
}

bool gated(const BoardHandle *b, const hsldual::Family &f, uint8_t bit) {
    return f.boardDataGates && (b->HSLData.aucPInS[kPinsGates] & bit) == 0;
}

// ---- system clock ----

// The six divider codes: the ratio of the system PLL each clock runs at.
struct Divider {
    uint8_t byte;
    uint32_t num, den;
};
constexpr Divider kDividers[] = {{0x13, 1, 3}, {0x25, 2, 5}, {0x49, 4, 9},
                                 {0x12, 1, 2}, {0x23, 2, 3}, {0x11, 1, 1}};

// The code of a divider byte; false (and code 0) for one outside the six.
bool dividerCode(uint8_t byte, uint32_t *code) {
    for (uint32_t i = 0; i < 6; i++)
        if (kDividers[i].byte == byte) {
            *code = i;
            return true;
        }
    *code = 0;
    return false;
}

struct ClockSelect {
    uint32_t word = 0;
    uint32_t memoryKHz = 0;
    bool refused = false;
};

ClockSelect clockSelectOf(const SysClockInfo &c) {
    ClockSelect s;
    uint32_t graphics = 0, memory = 0, warp = 0;
    s.refused = !dividerCode(c.ucGraphicClockDiv, &graphics);
    s.refused = !dividerCode(c.ucMemoryClockDiv, &memory) || s.refused;
    s.refused = !dividerCode(c.ucWarpClockDiv, &warp) || s.refused;
    auto duty = [](uint8_t desc) { return uint32_t(desc) & 0xF; };
    auto source = [](uint8_t desc) { return (uint32_t(desc) >> 4) & 3; };
    s.word = graphics << 3 | duty(c.ucGraphicClockDesc) << 6 | source(c.ucGraphicClockDesc) |
             memory << 13 | duty(c.ucMemoryClockDesc) << 16 | source(c.ucMemoryClockDesc) << 10 |
             warp << 23 | duty(c.ucWarpClockDesc) << 26 | source(c.ucWarpClockDesc) << 20;
    const Divider &d = kDividers[memory];
    s.memoryKHz = d.num * c.ulSystemPllFreq / d.den;
    return s;
}

bool sameClock(const SysClockInfo &a, const SysClockInfo &b) {
    return a.ulSystemPllFreq == b.ulSystemPllFreq && a.ulMCTLWTST == b.ulMCTLWTST &&
           a.ucGraphicClockDiv == b.ucGraphicClockDiv &&
           a.ucGraphicClockDesc == b.ucGraphicClockDesc &&
           a.ucMemoryClockDiv == b.ucMemoryClockDiv && a.ucMemoryClockDesc == b.ucMemoryClockDesc &&
           a.ucWarpClockDiv == b.ucWarpClockDiv && a.ucWarpClockDesc == b.ucWarpClockDesc;
}

bool systemPllLocks(BoardHandle *pBoard) {
    ClientWriteRegisterByte(pBoard, kDacIndex, XSysPllStatus);
    for (uint32_t reads = 0; reads < HSL_POLL_READS && !failed(pBoard); reads++) {
        uint8_t v = 0;
        ClientReadRegisterByte(pBoard, kDacData, &v);
        if (v & kPllLocked)
            return true;
    }
    return false;
}

// The clock select word changes only with the system clock stopped.
void writeClockSelect(BoardHandle *pBoard, uint32_t option, uint32_t word) {
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option | kOptionClockStop);
    ClientWriteConfigSpaceDword(pBoard, kCfgClockSelect, word);
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option & ~kOptionClockStop);
}

// ---- buffer compensation ----

// Up to four measurements; 0 when none answered.
uint8_t measureCompensation(BoardHandle *pBoard) {
    uint8_t v = 0;
    for (int attempt = 0; attempt < 4 && v == 0 && !failed(pBoard); attempt++) {
        ClientWriteRegisterByte(pBoard, kCompensation, 8);
        ClientWait(pBoard, 1000);
        ClientWriteRegisterByte(pBoard, kCompensation, 0);
        ClientWait(pBoard, 20000);
        v = readRegByte(pBoard, kCompensationRead);
    }
    return v;
}

// Resets the chip through its reset word and writes its configuration
// header back.
void resetChip(BoardHandle *pBoard) {
    uint32_t header[16] = {};
    for (uint32_t i = 0; i < 16; i++)
        header[i] = readConfig(pBoard, i * 4);
    const uint32_t agp = readConfig(pBoard, kCfgAgpCommand);
    ClientWriteConfigSpaceDword(pBoard, kCfgReset, 3);
    ClientWait(pBoard, 1000);
    ClientWriteConfigSpaceDword(pBoard, kCfgReset, 0);
    for (uint32_t i = 0; i < 16; i++)
        ClientWriteConfigSpaceDword(pBoard, i * 4, header[i]);
    ClientWriteConfigSpaceDword(pBoard, kCfgSubsystemWrite, header[kCfgSubsystem / 4]);
    ClientWriteConfigSpaceDword(pBoard, kCfgAgpCommand, agp);
}

// The routines of the family's own that the board steps call.
BoardSteps stepsOf(const hsldual::Family &f) {
    return {f.waitEngineNotBusy,  f.disableCrtc1Output,    f.disableCrtc2Output,        f.powerUp,
            f.programSystemClock, /*powerSaves1E70=*/true, /*restoreClearsStrap1=*/true};
}

} // namespace

namespace hsldual {

uint32_t getPInSInfo(BoardHandle *pBoard, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLBIOSReadPins(pBoard, &pBoard->ulBiosVersion);
    HSLPIN40GetBoardInfo(pBoard);
    const uint32_t status = readReg(pBoard, kStatus);
    if (!failed(pBoard) && (status & kStatusPoweredUp) == 0)
        f.sgramInit(pBoard);
    uint32_t found = 0;
    HALPDetectMemoryAvail(pBoard, kMaxMemory, &found);
    if (!failed(pBoard))
        pBoard->ulAddonMemory = found > pBoard->ulBaseMemory ? found - pBoard->ulBaseMemory : 0;
    return pBoard->ulErrorCode;
}

uint32_t getBoardInfo(BoardHandle *pBoard, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    getPInSInfo(pBoard, f);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    boardCrtcInfo(pBoard);
    uint32_t caps = pBoard->ulChipRev > 2 ? kEngineCapsLaterRevisions : kEngineCapsBase;
    if (pBoard->ulMemoryType != 5)
        caps |= kEngineCapsBlockMode;
    pBoard->flEngineCaps1 = caps | f.engineCapsHigh;
    pBoard->CurrentModeCRTC1.lModeType = kNoOutputCrtc1;
    pBoard->CurrentModeCRTC2.lModeType = kNoOutputCrtc2;
    return pBoard->ulErrorCode;
}

bool probeAltLineReaders(BoardHandle *pBoard) {
    const uint8_t data = dacRead(pBoard, XGpioData), direction = dacRead(pBoard, XGpioDirection);
    HSLDACWriteRegister(pBoard, XGpioDirection, 0);
    HSLDACWriteRegister(pBoard, XGpioData, 0xFC);
    bool alt = (dacRead(pBoard, XGpioData) & 1) == 0;
    if (!alt) {
        // Pin 1 pulled low: where it shares its line with pin 0, both read low.
        HSLDACWriteRegister(pBoard, XGpioDirection, 2);
        alt = (dacRead(pBoard, XGpioData) & 3) == 0;
    }
    HSLDACWriteRegister(pBoard, XGpioDirection, direction);
    HSLDACWriteRegister(pBoard, XGpioData, data);
    return alt;
}

uint32_t programSystemClock(BoardHandle *pBoard, SysClockInfo *pClock, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (gated(pBoard, f, 2) || sameClock(*pClock, pBoard->CurrentSysClock))
        return pBoard->ulErrorCode;
    uint32_t option = readConfig(pBoard, kCfgOption);
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    const ClockSelect sel = clockSelectOf(*pClock);
    // Below 66.667 MHz the subtraction wraps, and the count is limited.
    uint32_t refresh = (sel.memoryKHz * 1000u - 66667u) / 4266688u;
    if (refresh > kRefreshMax)
        refresh = kRefreshMax;
    option = (option & ~kOptionRefreshMask) | refresh << kOptionRefreshShift;

    // Every clock onto the PCI clock while the PLL changes.
    writeClockSelect(pBoard, option, sel.word & kClockSelectNoSources);
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLDACComputePLLParam(pBoard, pClock->ulSystemPllFreq, 1, &m, &n, &p, &s);
    HSLDACWriteRegister(pBoard, XSysPllM, m);
    HSLDACWriteRegister(pBoard, XSysPllN, n);
    HSLDACWriteRegister(pBoard, XSysPllP, p | s << 3);
    bool locked = systemPllLocks(pBoard);
    if (!locked && !failed(pBoard)) {
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option & ~kOptionPllPower);
        ClientWait(pBoard, kPllPowerCycleWait);
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option | kOptionPllPower);
        ClientWait(pBoard, kPllPowerCycleWait);
        locked = (dacRead(pBoard, XSysPllStatus) & kPllLocked) != 0;
    }
    // An unlocked PLL drives nothing: the clocks stay on the PCI clock.
    if (locked)
        writeClockSelect(pBoard, option, sel.word);
    if (on)
        HSLDACScreenOn(pBoard);
    // Recorded last: the word stops every later access, and the clock
    // programming goes on with code 0 for a divider it does not know.
    if (!locked && !failed(pBoard))
        SetErr(pBoard, f.lockError);
    if (sel.refused && !failed(pBoard))
        SetErr(pBoard, f.ratioError);
    if (pBoard->ulErrorCode == HAL_OK)
        memcopy(&pBoard->CurrentSysClock, pClock, sizeof(SysClockInfo));
    return pBoard->ulErrorCode;
}

uint32_t sgramInit(BoardHandle *pBoard, const Family &f) {
    if (failed(pBoard) || gated(pBoard, f, 1))
        return pBoard->ulErrorCode;
    const HSLData &d = pBoard->HSLData;
    uint32_t option = readConfig(pBoard, kCfgOption);
    if (pBoard->ulMemoryType == 5)
        option &= ~kOptionMemoryKind;
    else
        option |= kOptionMemoryKind;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    ClientWriteRegisterDword(pBoard, kEngPlaneMask, 0xFFFFFFFFu);
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    ClientWriteRegisterDword(pBoard, kMemControl, pBoard->SysClockMode1.ulMCTLWTST);
    option = (readConfig(pBoard, kCfgOption) & 0xEFBFE3BFu) | d.ulOption;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    ClientWriteRegisterDword(pBoard, kMemReadBack, d.ulMemRdBk);
    ClientWait(pBoard, 200);
    ClientWriteRegisterDword(pBoard, kEngPixelWidth, 0x8000);
    if (on)
        HSLDACScreenOn(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t powerUp(BoardHandle *pBoard, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (gated(pBoard, f, 2))
        memcopy(&pBoard->CurrentSysClock, &pBoard->SysClockVGA, sizeof(SysClockInfo));
    else
        pBoard->CurrentSysClock.ulSystemPllFreq = 0;
    if (f.revisionSteps && pBoard->ulChipRev == 0)
        ClientWriteRegisterDword(pBoard, kRevision0PowerUp, 1);
    else if (f.revisionSteps && pBoard->ulChipRev == 1)
        HSLTOUCompensatedBufferPatch(pBoard);
    HSLDACPowerUp(pBoard);
    f.programSystemClock(pBoard, &pBoard->SysClockMode1);
    f.sgramInit(pBoard);
    const uint32_t status = readReg(pBoard, kStatus);
    ClientWriteRegisterDword(pBoard, kStatus, status | kStatusPoweredUp);
    return pBoard->ulErrorCode;
}

uint32_t initHardware(BoardHandle *pBoard, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->flStraps |= 2;
    f.powerUp(pBoard);
    ClientWriteRegisterDword(pBoard, 0x1C0C, 0);
    return pBoard->ulErrorCode;
}

uint32_t setPowerState(BoardHandle *pBoard, uint32_t state, const Family &f) {
    return boardSetPowerState(pBoard, state, stepsOf(f));
}

uint32_t switchToVGA(BoardHandle *pBoard, const Family &f) {
    return boardSwitchToVGA(pBoard, stepsOf(f));
}

uint32_t customCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord, const Family &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (code != HSL_CUSTOM_CODEC_CLOCK && code != HSL_CUSTOM_TV_GPIO)
        return SetErr(pBoard, f.customCallError);
    // Without an argument block there is nothing to act on.
    if (pWord == nullptr)
        return pBoard->ulErrorCode;
    if (code == HSL_CUSTOM_CODEC_CLOCK)
        return HSLTOUSetCodecClock(pBoard, *pWord);
    const uint32_t features = pBoard->flFeatures;
    if (pBoard->HSLData.ucI2CAddMSPChip == 0 && (features & 0x180) != 0 &&
        (features & 0x18000) != 0)
        HSLMAVSetGPIO(pBoard, *pWord);
    return pBoard->ulErrorCode;
}

const Family kToucan = {HSL_ERR_TOU_SYSCLOCK_RATIO,
                        HSL_ERR_TOU_SYSCLOCK_LOCK,
                        HSL_ERR_TOU_EDID_OUTPUT,
                        HSL_ERR_TOU_CUSTOM_CALL,
                        0x1EFF7000u, // bits 12-14, 16-23, 25-28
                        true,
                        true,
                        false,
                        HSLTOUProgramSystemClock,
                        HSLTOUSGRAMInit,
                        HSLTOUPowerUp,
                        HSLTOUWaitEngineNotBusy,
                        HSLTOUDisableCRTC1Output,
                        HSLTOUDisableCRTC2Output};

} // namespace hsldual

extern "C" {

using hsldual::kToucan;

uint32_t HSLTOUInitAccess(BoardHandle *pBoard) {
    return boardInitAccess(pBoard, kFrameBufferBytes);
}

uint32_t HSLTOUValidatePhysAddr(BoardHandle *pBoard) {
    return boardValidatePhysAddr(pBoard);
}

uint32_t HSLTOUGetPInSInfo(BoardHandle *pBoard) {
    return hsldual::getPInSInfo(pBoard, kToucan);
}

uint32_t HSLTOUGetBoardInfo(BoardHandle *pBoard) {
    return hsldual::getBoardInfo(pBoard, kToucan);
}

uint32_t HSLTOUInitExtraJmpTbl(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const bool alt = kToucan.lineProbe && hsldual::probeAltLineReaders(pBoard);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLJumpSlot *s = pBoard->HSLJumpTable.apfnSlot;
    s[HSL_SLOT_SET_POWER_STATE] = slotOf(HSLTOUSetPowerState);
    s[HSL_SLOT_VALIDATE_MODE] = slotOf(HSLTOUValidateMode);
    s[HSL_SLOT_VALIDATE_VIDEO_PARAMETERS] = slotOf(HSLTOUValidateVideoParameters);
    s[HSL_SLOT_SWITCH_TO_VGA] = slotOf(HSLTOUSwitchToVGA);
    s[HSL_SLOT_SET_MODE] = slotOf(HSLTOUSetMode);
    s[HSL_SLOT_PROGRAM_SYSTEM_CLOCK] = slotOf(HSLTOUProgramSystemClock);
    s[HSL_SLOT_SET_DISPLAY_START] = slotOf(HSLTOUSetDisplayStart);
    boardTvAndI2CSlots(s, true, alt);
    s[HSL_SLOT_GET_MONITOR_EDID] = slotOf(HSLTOUGetMonitorEDID);
    s[HSL_SLOT_GET_ADD_ON_INFO] = slotOf(HSLTOUGetAddOnInfo);
    s[HSL_SLOT_SENCE_MONITOR_LOAD] = slotOf(HSLDACSenceMonitorLoad);
    s[HSL_SLOT_CONTROL_MAFC_PORT] = slotOf(HSLTOUControlMAFCPort);
    s[HSL_SLOT_ROUTE_PIXEL_CLOCK] = slotOf(HSLTOURoutePixelClock);
    s[HSL_SLOT_INIT_HARDWARE] = slotOf(HSLTOUInitHardware);
    s[HSL_SLOT_VALIDATE_PHYS_ADDR] = slotOf(HSLTOUValidatePhysAddr);
    s[HSL_SLOT_CUSTOM_CALL] = slotOf(HSLTOUCustomCall);
    return pBoard->ulErrorCode;
}

uint32_t HSLTOUWaitEngineNotBusy(BoardHandle *pBoard) {
    return boardWaitEngineNotBusy(pBoard);
}

uint32_t HSLTOUProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock) {
    return hsldual::programSystemClock(pBoard, pClock, kToucan);
}

uint32_t HSLTOUPowerUp(BoardHandle *pBoard) {
    return hsldual::powerUp(pBoard, kToucan);
}

uint32_t HSLTOUSGRAMInit(BoardHandle *pBoard) {
    return hsldual::sgramInit(pBoard, kToucan);
}

uint32_t HSLTOUCompensatedBufferPatch(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t base = (readConfig(pBoard, kCfgCompensation) & 7) << 21 | 0x1F000008u;
    // No bound: the chip is reset until its compensation reads back.
    while (!failed(pBoard)) {
        uint8_t v = measureCompensation(pBoard);
        if (v == 0)
            v = 0x33;
        ClientWriteRegisterDword(pBoard, kCompensation, uint32_t(v) << 8 | base);
        if (readRegByte(pBoard, kCompensationRead) != 0 || failed(pBoard))
            break;
        resetChip(pBoard);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLTOUInitHardware(BoardHandle *pBoard) {
    return hsldual::initHardware(pBoard, kToucan);
}

uint32_t HSLTOUSetPowerState(BoardHandle *pBoard, uint32_t state) {
    return hsldual::setPowerState(pBoard, state, kToucan);
}

uint32_t HSLTOUSwitchToVGA(BoardHandle *pBoard) {
    return hsldual::switchToVGA(pBoard, kToucan);
}

uint32_t HSLTOUGetMonitorEDID(BoardHandle *pBoard, uint32_t output) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    switch (output) {
    case 0:
        return HSLTOUGetPrimaryMonitorEDID(pBoard);
    case 1:
        return HSLTOUGetSecondMonitorEDID(pBoard);
    case 2:
        return HSLTOUGetFlatPanelMonitorEDID(pBoard);
    default:
        return SetErr(pBoard, kToucan.edidOutputError);
    }
}

uint32_t HSLTOUGetPrimaryMonitorEDID(BoardHandle *pBoard) {
    return boardReadHD15Edid(pBoard, pBoard->PrimaryMonitor, 0, false);
}

uint32_t HSLTOUGetSecondMonitorEDID(BoardHandle *pBoard) {
    return boardReadHD15Edid(pBoard, pBoard->SecondMonitor, pBoard->HSLData.ucI2CPortSecondHD15,
                             true);
}

uint32_t HSLTOUGetFlatPanelMonitorEDID(BoardHandle *pBoard) {
    return boardReadFlatPanelEdid(pBoard);
}

uint32_t HSLTOUGetAddOnInfo(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLData &d = pBoard->HSLData;
    const uint32_t rev = pBoard->ulChipRev;
    uint32_t found = 0;
    HSLDetectMaven(pBoard, &found);
    if (found)
        HSLMAVSetGPIO(pBoard, 1);
    found = 0;
    HSLDetectVideoDecoder(pBoard, &found);
    if (found) {
        found = 0;
        HSLDetectRR2(pBoard, &found);
    }
    found = 0;
    HSLDetectDVD(pBoard, &found);
    found = 0;
    HSLDetectMJPEG(pBoard, &found);
    found = 0;
    HSLDetectPanelLinkModule(pBoard, &found);
    if (found && !failed(pBoard)) {
        const uint8_t a = d.ucI2CAddPanelLinkModule;
        const bool known = rev == 0 ? (a == 0x74 || a == 0x44) : (a == 0x4E || a == 0x4C);
        d.ucI2CPortPanelLink = known ? 6 : 0xFF;
    }
    found = 0;
    HSLDetectSecondHD15(pBoard, &found);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (found)
        d.ucI2CPortSecondHD15 = rev <= 1 ? 4 : 7;
    const uint32_t features = pBoard->flFeatures;
    if (!found && rev != 0 && (features & 0x80) != 0 &&
        ((features & 0x20) == 0 || (d.aucPInS[kPinsByte93] & 0x04) == 0)) {
        d.ucI2CPortSecondHD15 = 5;
        pBoard->flFeatures |= kFeatureSecondHD15Default;
    } else {
        pBoard->flFeatures &= ~kFeatureSecondHD15Default;
    }
    found = 0;
    HSLDetectMSP(pBoard, &found);
    if (found)
        HSLMSPSetAudioPassThroughMode(pBoard);
    found = 0;
    HSLDetectTVTuner(pBoard, &found);
    return pBoard->ulErrorCode;
}

uint32_t HSLTOUCustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord) {
    return hsldual::customCall(pBoard, code, pWord, kToucan);
}

uint32_t HSLTOUSetCodecClock(BoardHandle *pBoard, uint32_t code) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t v = readConfig(pBoard, kCfgOption2);
    ClientWriteConfigSpaceDword(pBoard, kCfgOption2,
                                (v & 0xF0FFFFFFu) | (code & 0x03) << 24 | (code & 0x30) << 22);
    return pBoard->ulErrorCode;
}

uint32_t HSLTOUCSetDefaultPins(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t *p = pBoard->HSLData.aucPInS;
    auto put32 = [p](uint32_t at, uint32_t v) {
        for (uint32_t i = 0; i < 4; i++)
            p[at + i] = uint8_t(v >> (8 * i));
    };
    static const uint8_t kBytes[][2] = {
        {0x00, 0x2E}, {0x01, 0x41}, {0x02, 0x80}, {0x04, 0x00}, {0x05, 0x04}, {0x24, 0xFF},
        {0x25, 0xFF}, {0x26, 0x3F}, {0x27, 0x3F}, {0x28, 0x3F}, {0x29, 0x3F}, {0x2A, 0x3F},
        {0x2B, 0x3F}, {0x2C, 0x28}, {0x2D, 0x28}, {0x34, 0x3F}, {0x35, 0xFF}, {0x36, 0xFF},
        {0x37, 0xCA}, {0x38, 0xFF}, {0x39, 0x32}, {0x44, 0x32}, {0x50, 0x32}, {0x5C, 0xBB},
        {0x5D, 0x77}, {0x5E, 0x0C}, {0x5F, 0x77}, {0x60, 0x0C}, {0x61, 0xEE}, {0x62, 0xEE},
        {0x63, 0x26}};
    for (const auto &b : kBytes)
        p[b[0]] = b[1];
    put32(0x30, 0);
    // The three system-clock records of the board data.
    static const uint32_t kClockRecords[] = {0x3C, 0x48, 0x54};
    for (uint32_t at : kClockRecords) {
        put32(at, 0x0190A419u);
        put32(at + 4, 0x04A450A1u);
    }
    return pBoard->ulErrorCode;
}

} // extern "C"
