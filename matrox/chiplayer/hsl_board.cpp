// The board steps the chip families share (hsl_board.h).
#include "hsl_board.h"

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_monitor.h"
#include "hal_dispatch.h"
#include "hsl_ecl.h"
#include "hsl_mav_tables.h"

namespace {

using namespace hsl;

constexpr uint32_t kCfgRegisters = 0x14, kCfgSubsystem = 0x2C, kCfgInterrupt = 0x3C,
                   kCfgSubsystemWrite = 0x4C, kCfgAgpCommand = 0xF8;
constexpr uint32_t kRegisterMask = 0xFFFFC000u, kFrameBufferMask = 0xFF000000u;
constexpr uint32_t kRegisterBytes = 0x4000;
constexpr uint32_t kStatusBusy = 0x10000, kStatusIdle = 0x20000;
constexpr uint32_t kPowerRegs[] = {0x1E70, 0x1E1C, 0x1E58, 0x1E5C};
constexpr uint8_t XPixelClock = 0x1A, XMisc = 0x1E;

uint32_t dacWord(BoardHandle *b, uint8_t first) {
    return uint32_t(dacRead(b, first)) << 16 | uint32_t(dacRead(b, uint8_t(first + 1))) << 8 |
           dacRead(b, uint8_t(first + 2));
}

void dacWriteWord(BoardHandle *b, uint8_t first, uint32_t w) {
    HSLDACWriteRegister(b, first, (w >> 16) & 0xFF);
    HSLDACWriteRegister(b, uint8_t(first + 1), (w >> 8) & 0xFF);
    HSLDACWriteRegister(b, uint8_t(first + 2), w & 0xFF);
}

bool sumsToZero(const uint8_t *p, uint32_t n) {
    uint8_t s = 0;
    for (uint32_t i = 0; i < n; i++)
        s = uint8_t(s + p[i]);
    return s == 0;
}

void clearPending(BoardHandle *b) {
    if (failed(b))
        b->ulErrorCode = HAL_OK;
}

// The result of an EDID read; the read never fails, whatever it met.
uint32_t setMonitorResult(BoardHandle *b, MonitorInfo &m, bool ok, uint32_t version) {
    m.ulEDIDVersion = ok ? version : 0;
    if (ok)
        m.flMonitor |= MONITOR_CONNECTED | MONITOR_EDID_VALID;
    else
        m.flMonitor &= ~uint32_t(MONITOR_CONNECTED | MONITOR_EDID_VALID);
    clearPending(b);
    return b->ulErrorCode;
}

} // namespace

namespace hsl {

uint32_t boardInitAccess(BoardHandle *pBoard, uint32_t frameBufferBytes) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLData &d = pBoard->HSLData;
    d.ulBaseRegister = readConfig(pBoard, kCfgRegisters) & kRegisterMask;
    ClientOpenRegisterBase(pBoard, d.ulBaseRegister, kRegisterBytes);
    d.ulFrameBuffer = readConfig(pBoard, kCfgFrameBuffer) & kFrameBufferMask;
    ClientOpenMemoryBase(pBoard, d.ulFrameBuffer, frameBufferBytes);
    return pBoard->ulErrorCode;
}

uint32_t boardValidatePhysAddr(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t regs = readConfig(pBoard, kCfgRegisters) & kRegisterMask;
    const uint32_t fb = readConfig(pBoard, kCfgFrameBuffer) & kFrameBufferMask;
    if (!failed(pBoard) &&
        (regs != pBoard->HSLData.ulBaseRegister || fb != pBoard->HSLData.ulFrameBuffer))
        pBoard->ulErrorCode = HSL_ERR_PHYS_ADDR;
    return pBoard->ulErrorCode;
}

uint32_t boardWaitEngineNotBusy(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    // A failed read ends the waits: the sequence touches the board no more.
    while ((readReg(pBoard, kStatus) & kStatusBusy) != 0 && !failed(pBoard)) {
    }
    while ((readReg(pBoard, kStatus) & kStatusIdle) == 0 && !failed(pBoard)) {
    }
    return pBoard->ulErrorCode;
}

void boardCrtcInfo(BoardHandle *pBoard) {
    const HSLData &d = pBoard->HSLData;
    uint32_t *info = pBoard->flCRTCInfo;
    info[2] = info[3] = d.ulPclkMax8;
    info[4] = d.ulPclkMax16;
    info[5] = d.ulPclkMax24;
    info[6] = d.ulPclkMax32;
    info[7] = 0x8001;
    info[8] = 0;
    ClientReadConfigSpaceDword(pBoard, kCfgInterrupt, &pBoard->ulIntCtrlReg);
}

void boardTvAndI2CSlots(HSLJumpSlot *s, bool modifyTv, bool altReaders) {
    s[HSL_SLOT_GET_TV_PARAMETERS] = slotOf(HSLMAVGetTVParameters);
    // Left out, the slot keeps the routine that answers "not initialised".
    if (modifyTv)
        s[HSL_SLOT_MODIFY_TV_PARAMETERS] = slotOf(HSLMAVModifyTVParameters);
    s[HSL_SLOT_GET_TV_PROC_AMP] = slotOf(HSLMAVGetTVProcAmp);
    s[HSL_SLOT_SET_TV_PROC_AMP] = slotOf(HSLMAVSetTVProcAmp);
    s[HSL_SLOT_SET_TV_STANDARD] = slotOf(HSLMAVSetTVStandard);
    s[HSL_SLOT_SET_TV_CABLE_TYPE] = slotOf(HSLMAVSetTVCableType);
    s[HSL_SLOT_DETECT_TV] = slotOf(HSLMAVDetectTV);
    s[HSL_SLOT_SET_TV_OUT_MODE] = slotOf(HSLMAVSetTVOutMode);
    s[HSL_SLOT_SET_TV_COLOR_BAR_MODE] = slotOf(HSLMAVSetTVColorBarMode);
    s[HSL_SLOT_SET_TV_PASS_THROUGH_MODE] = slotOf(HSLMAVSetTVPassThroughMode);
    s[HSL_SLOT_SET_TV_DISABLE_MODE] = slotOf(HSLMAVSetTVDisableMode);
    s[HSL_SLOT_I2C_SET_SCL] = slotOf(HSLDACI2CSetSCL);
    s[HSL_SLOT_I2C_GET_SCL] = altReaders ? slotOf(HSLDACI2CAltGetSCL) : slotOf(HSLDACI2CGetSCL);
    s[HSL_SLOT_I2C_SET_SDA] = slotOf(HSLDACI2CSetSDA);
    s[HSL_SLOT_I2C_GET_SDA] = altReaders ? slotOf(HSLDACI2CAltGetSDA) : slotOf(HSLDACI2CGetSDA);
    s[HSL_SLOT_GET_MAX_I2C_CLOCK] = slotOf(HSLDACGetMaxI2CClock);
}

uint32_t boardSetPowerState(BoardHandle *pBoard, uint32_t state, const BoardSteps &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLData &d = pBoard->HSLData;
    uint32_t *save = d.aulPowerSave;
    if (state == HSL_POWER_SAVE) {
        f.waitEngineNotBusy(pBoard);
        save[2] = dacWord(pBoard, 0x44);
        save[3] = dacWord(pBoard, 0x48);
        ClientReadConfigSpaceDword(pBoard, kCfgAgpCommand, &d.ulCS_PCI_AGP_CMD);
        ClientReadConfigSpaceDword(pBoard, kCfgSubsystem, &d.ulCS_PCI_SubSysID);
        if (f.powerSaves1E70)
            ClientReadRegisterDword(pBoard, kPowerRegs[0], &save[0]);
        ClientReadRegisterDword(pBoard, kPowerRegs[1], &save[1]);
        ClientReadRegisterDword(pBoard, kPowerRegs[2], &save[4]);
        ClientReadRegisterDword(pBoard, kPowerRegs[3], &save[5]);
        if (!failed(pBoard))
            pBoard->CurrentSysClock.ulSystemPllFreq = 0;
    } else if (state == HSL_POWER_RESTORE) {
        HSLDACScreenOff(pBoard);
        if (f.restoreClearsStrap1)
            pBoard->flStraps &= ~2u;
        f.powerUp(pBoard);
        f.programSystemClock(pBoard, &pBoard->SysClockVGA);
        HSLDACWriteRegister(pBoard, XPixelClock, dacRead(pBoard, XPixelClock) | 0x04);
        dacWriteWord(pBoard, 0x44, save[2]);
        dacWriteWord(pBoard, 0x48, save[3]);
        HSLDACWriteRegister(pBoard, XPixelClock, dacRead(pBoard, XPixelClock) & ~0x04u);
        ClientWriteConfigSpaceDword(pBoard, kCfgAgpCommand, d.ulCS_PCI_AGP_CMD);
        ClientWriteConfigSpaceDword(pBoard, kCfgSubsystemWrite, d.ulCS_PCI_SubSysID);
        if (f.powerSaves1E70)
            ClientWriteRegisterDword(pBoard, kPowerRegs[0], save[0] | 8);
        ClientWriteRegisterDword(pBoard, kPowerRegs[1], save[1]);
        ClientWriteRegisterDword(pBoard, kPowerRegs[2], save[4]);
        ClientWriteRegisterDword(pBoard, kPowerRegs[3], save[5]);
    }
    return pBoard->ulErrorCode;
}

uint32_t boardSwitchToVGA(BoardHandle *pBoard, const BoardSteps &f) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    f.waitEngineNotBusy(pBoard);
    f.disableCrtc1Output(pBoard);
    if (f.disableCrtc2Output != nullptr)
        f.disableCrtc2Output(pBoard);
    HSLDACWriteRegister(pBoard, XMisc, dacRead(pBoard, XMisc) | 0x01);
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    HSLDACWriteRegister(pBoard, XMisc, dacRead(pBoard, XMisc) & ~0x08u);
    HSLDACWriteRegister(pBoard, 0x06, 0);
    HSLDACWriteRegister(pBoard, 0x38, 0);
    writeExt(pBoard, 1, 0x30);
    writeExt(pBoard, 3, 0);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    VgaInfo text = HSLVGAInfoDefault;
    HSLVGAWriteVgaInfo(pBoard, &text);
    writeExt(pBoard, 1, 0);
    ClientWriteRegisterByte(pBoard, kDacIndex, 0);
    for (uint8_t v : HSLVGADacDefault)
        ClientWriteRegisterByte(pBoard, kDacPalette, v);
    f.programSystemClock(pBoard, &pBoard->SysClockVGA);
    if (on)
        HSLDACScreenOn(pBoard);
    if (!failed(pBoard)) {
        ModeInfo &m = pBoard->CurrentModeCRTC1;
        m.ulDispWidth = 0;
        m.lDispHeight = m.lDeskWidth = m.lDeskHeight = 0;
    }
    return pBoard->ulErrorCode;
}

uint32_t boardReadHD15Edid(BoardHandle *pBoard, MonitorInfo &m, uint32_t port, bool secondBus) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    bool ok = false;
    uint32_t version = 0;
    for (int attempt = 0; attempt < 16 && !ok; attempt++) {
        clearPending(pBoard);
        if (secondBus)
            pBoard->HSLData.ulI2CChannel2Cache = 0x7F;
        uint8_t edid[128] = {};
        HALPReadDDCByte(pBoard, port, DDC_ADDRESS, 0, edid, 128);
        version = 0;
        HALPGetEDIDVersion(pBoard, edid, &version);
        if (failed(pBoard) || (version >> 4) != 1)
            continue;
        for (int i = 0; i < 128; i++)
            m.aucEDID[i] = edid[i];
        ok = sumsToZero(edid, 128);
    }
    return setMonitorResult(pBoard, m, ok, version);
}

uint32_t boardReadFlatPanelEdid(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    static const uint32_t kAddresses[] = {0xA6, 0xA2, 0xA0};
    MonitorInfo &m = pBoard->SecondMonitor;
    HSLData &d = pBoard->HSLData;
    bool ok = false;
    uint32_t version = 0;
    for (int attempt = 0; attempt < 2 && !ok; attempt++) {
        clearPending(pBoard);
        uint8_t reg = 0;
        HSLReadPanelLinkModuleRegister(pBoard, &reg);
        if (!failed(pBoard))
            d.ulI2CChannel2Cache = reg;
        for (uint32_t address : kAddresses) {
            uint8_t edid[256] = {};
            HALPReadDDCByte(pBoard, d.ucI2CPortPanelLink, address, 0, edid, 128);
            version = 0;
            HALPGetEDIDVersion(pBoard, edid, &version);
            if (failed(pBoard))
                break;
            uint32_t bytes = 0;
            if ((version >> 4) == 2) {
                HALPReadDDCByte(pBoard, d.ucI2CPortPanelLink, address, 128, edid + 128, 128);
                bytes = 256;
            } else if ((version >> 4) == 1) {
                bytes = 128;
            } else {
                continue;
            }
            if (failed(pBoard))
                break;
            for (uint32_t i = 0; i < bytes; i++)
                m.aucEDID[i] = edid[i];
            ok = sumsToZero(edid, bytes);
            break;
        }
    }
    return setMonitorResult(pBoard, m, ok, version);
}

} // namespace hsl
