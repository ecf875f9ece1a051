// The board-information sequence, the chip dispatch and the public entry
// points that hand a call to the board's chip family through its operation
// table; the VGA text-mode save and restore.
#include <stdarg.h>

#include "client.h"
#include "hal.h"
#include "hal_error.h"
#include "hal_monitor.h"
#include "hal_dispatch.h"
#include "hal_vidparam.h"
#include "hsl_con.h"
#include "hsl_ecl.h"
#include "hsl_tou.h"

namespace {

constexpr uint32_t kHalStructRev = 1;
constexpr uint8_t kCondorRevision = 0x80;

HSLJumpSlot notInitialised() {
    return reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction);
}

// Calls slot `slot` with its own argument types; an empty slot answers
// through HSLTBLNotInitFunction itself, which takes any arguments.
template <class... Args> uint32_t callSlot(BoardHandle *pBoard, int slot, Args... args) {
    const HSLJumpSlot fn = pBoard->HSLJumpTable.apfnSlot[slot];
    if (fn == notInitialised())
        return HSLTBLNotInitFunction(pBoard);
    return reinterpret_cast<uint32_t (*)(BoardHandle *, Args...)>(fn)(pBoard, args...);
}

template <class... Args> uint32_t dispatch(BoardHandle *pBoard, int slot, Args... args) {
    pBoard->ulErrorCode = HAL_OK;
    callSlot(pBoard, slot, args...);
    return pBoard->ulErrorCode;
}

struct Family {
    HSLJumpSlot initAccess, getBoardInfo, initExtra;
};

template <class F> HSLJumpSlot slotOf(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

// VGA register images in the register window: port P at 0x1C00 + P.
constexpr uint32_t kMiscWrite = 0x1FC2, kMiscRead = 0x1FCC, kSeqIndex = 0x1FC4, kSeqData = 0x1FC5,
                   kCrtcIndex = 0x1FD4, kCrtcData = 0x1FD5, kAttr = 0x1FC0, kAttrData = 0x1FC1,
                   kStatus1 = 0x1FDA, kGcIndex = 0x1FCE, kGcData = 0x1FCF, kExtIndex = 0x1FDE,
                   kExtData = 0x1FDF;
constexpr uint8_t kVideoOn = 0x20;

uint8_t indexedRead(BoardHandle *pBoard, uint32_t index, uint32_t data, uint8_t i) {
    uint8_t v = 0;
    ClientWriteRegisterByte(pBoard, index, i);
    ClientReadRegisterByte(pBoard, data, &v);
    return v;
}

void indexedWrite(BoardHandle *pBoard, uint32_t index, uint32_t data, uint8_t i, uint8_t v) {
    ClientWriteRegisterByte(pBoard, index, i);
    ClientWriteRegisterByte(pBoard, data, v);
}

} // namespace

extern "C" {

uint32_t HSLTBLNotInitFunction(BoardHandle *pBoard, ...) {
    if (IsNotAnError(pBoard->ulErrorCode))
        SetErr(pBoard, HSL_ERR_SLOT_NOT_INITIALISED);
    return pBoard->ulErrorCode;
}

uint32_t HSLInitDeviceJumpTable(BoardHandle *pBoard) {
    if (!IsNotAnError(pBoard->ulErrorCode))
        return pBoard->ulErrorCode;
    uint32_t id = ~0u;
    ClientReadConfigSpaceDword(pBoard, 0, &id);
    Family f{};
    switch (id >> 16) {
    case 0x0520:
    case 0x0521:
        f = {slotOf(HSLECLInitAccess), slotOf(HSLECLGetBoardInfo), slotOf(HSLECLInitExtraJmpTbl)};
        break;
    case 0x1000:
    case 0x1001:
        f = {slotOf(HSLTWIInitAccess), slotOf(HSLTWIGetBoardInfo), slotOf(HSLTWIInitExtraJmpTbl)};
        break;
    case 0x0525:
        if (pBoard->ulChipRev < kCondorRevision)
            f = {slotOf(HSLTOUInitAccess), slotOf(HSLTOUGetBoardInfo),
                 slotOf(HSLTOUInitExtraJmpTbl)};
        else
            f = {slotOf(HSLCONInitAccess), slotOf(HSLCONGetBoardInfo),
                 slotOf(HSLCONInitExtraJmpTbl)};
        break;
    default:
        return SetErr(pBoard, HSL_ERR_NO_CHIP_FAMILY);
    }
    HSLJumpSlot *slots = pBoard->HSLJumpTable.apfnSlot;
    slots[HSL_SLOT_INIT_ACCESS] = f.initAccess;
    slots[HSL_SLOT_GET_BOARD_INFO] = f.getBoardInfo;
    slots[HSL_SLOT_INIT_EXTRA_JMP_TBL] = f.initExtra;
    return pBoard->ulErrorCode;
}

uint32_t HSLInit(BoardHandle *pBoard) {
    if (!IsNotAnError(pBoard->ulErrorCode))
        return pBoard->ulErrorCode;
    for (HSLJumpSlot &s : pBoard->HSLJumpTable.apfnSlot)
        s = notInitialised();
    HSLInitDeviceJumpTable(pBoard);
    callSlot(pBoard, HSL_SLOT_INIT_ACCESS);
    callSlot(pBoard, HSL_SLOT_GET_BOARD_INFO);
    callSlot(pBoard, HSL_SLOT_INIT_EXTRA_JMP_TBL);
    return pBoard->ulErrorCode;
}

uint32_t HALGetBoardInfo(BoardHandle *pBoard) {
    pBoard->ulErrorCode = HAL_OK;
    pBoard->HSLData.ulHSLStructSize = HSL_DATA_SIZE;
    pBoard->HSLJumpTable.ulJmpTblStructSize = HSL_JUMP_TABLE_SIZE;
    pBoard->ulHALStructSize = HAL_STRUCT_SIZE;
    pBoard->HSLData.ulHSLStructRev = kHalStructRev;
    pBoard->HSLJumpTable.ulJmpTblStructRev = kHalStructRev;
    pBoard->ulHALStructRev = kHalStructRev;
    ClientReadConfigSpaceDword(pBoard, 0x00, &pBoard->ulChipID);
    ClientReadConfigSpaceDword(pBoard, 0x2C, &pBoard->ulSubSystemID);
    uint32_t classRev = ~0u;
    ClientReadConfigSpaceDword(pBoard, 0x08, &classRev);
    pBoard->ulChipRev = classRev & 0xFF;
    HSLInit(pBoard);
    if (((classRev >> 16) & 0xFF) == 0)
        pBoard->flStraps |= 1;
    ModeInfo *current[] = {&pBoard->CurrentModeCRTC1, &pBoard->CurrentModeCRTC2};
    for (ModeInfo *m : current) {
        m->ulDispWidth = 0;
        m->lDispHeight = m->lDeskWidth = m->lDeskHeight = 0;
    }
    pBoard->CurrentSysClock.ulSystemPllFreq = 0;
    return pBoard->ulErrorCode;
}

// ---- slot dispatchers ----

uint32_t HALSetPowerState(BoardHandle *pBoard, uint32_t state) {
    return dispatch(pBoard, HSL_SLOT_SET_POWER_STATE, state);
}
uint32_t HALValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return dispatch(pBoard, HSL_SLOT_VALIDATE_MODE, pMode);
}
uint32_t HALValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return dispatch(pBoard, HSL_SLOT_VALIDATE_VIDEO_PARAMETERS, pMode);
}
uint32_t HALSwitchToVGA(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SWITCH_TO_VGA);
}
uint32_t HALSetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return dispatch(pBoard, HSL_SLOT_SET_MODE, pMode);
}
uint32_t HALSetSystemClock(BoardHandle *pBoard, uint32_t word) {
    return dispatch(pBoard, HSL_SLOT_PROGRAM_SYSTEM_CLOCK, word);
}
uint32_t HALSetDisplayStart(BoardHandle *pBoard, uint32_t a, uint32_t b, uint32_t c) {
    return dispatch(pBoard, HSL_SLOT_SET_DISPLAY_START, a, b, c);
}
uint32_t HALInitHardware(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_INIT_HARDWARE);
}
uint32_t HALValidatePhysAddr(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_VALIDATE_PHYS_ADDR);
}
uint32_t HALCustomCall(BoardHandle *pBoard, uint32_t a, uint32_t b, uint32_t c) {
    return dispatch(pBoard, HSL_SLOT_CUSTOM_CALL, a, b, c);
}

// ---- standard timings and step changes ----

uint32_t HALGetVESAParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t variant) {
    pBoard->ulErrorCode = HAL_OK;
    size_t at = 0;
    bool steppedPast = false;
    for (;;) {
        while (VesaParam[at].ulDispWidth != 0xFFFFFFFFu &&
               !(VesaParam[at].ulDispWidth == pMode->ulDispWidth &&
                 VesaParam[at].lDispHeight == pMode->lDispHeight &&
                 (VesaParam[at].lZoom == 0 || VesaParam[at].lZoom == pMode->lZoom)))
            at++;
        if (variant != 0 && VesaParam[at].ulDispWidth != 0xFFFFFFFFu) {
            at++;
            steppedPast = true;
        }
        if (VesaParam[at].ulDispWidth == 0xFFFFFFFFu || variant == 0)
            break;
        variant--;
    }
    if (VesaParam[at].ulDispWidth == 0xFFFFFFFFu)
        return SetErr(pBoard, steppedPast ? HAL_ERR_VESA_NO_VARIANT : HAL_ERR_VESA_NO_ENTRY);
    const int32_t *from = &VesaParam[at].lRefreshRate;
    int32_t *to = &pMode->lRefreshRate;
    for (int i = 0; i < 12; i++)
        to[i] = from[i];
    return pBoard->ulErrorCode;
}

uint32_t HALModifyVideoParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type,
                                  uint32_t value) {
    pBoard->ulErrorCode = HAL_OK;
    if (pMode->lModeType & (MODE_TYPE_TV | MODE_TYPE_TV2)) {
        callSlot(pBoard, HSL_SLOT_MODIFY_TV_PARAMETERS, pMode, type, value);
    } else if (type == 7) {
        HALPChangeHorizontalSyncPolarity(pBoard, pMode, value);
    } else if (type == 11) {
        HALPChangeVerticalSyncPolarity(pBoard, pMode, value);
    } else if (type == 12) {
        if (pMode->lModeType & MODE_TYPE_CRTC2)
            SetErr(pBoard, HAL_ERR_CHANGE_NOT_ALLOWED);
        if (pMode->ulDispWidth <= 640)
            SetErr(pBoard, HAL_ERR_CHANGE_NOT_ALLOWED);
        if (IsNotAnError(pBoard->ulErrorCode))
            HALPChangeInterlaceMode(pBoard, pMode, value);
    } else if (HALPVideoStepRoutine step = HALPVideoStepFor(type)) {
        step(pBoard, pMode);
    } else if (type >= 1 && type <= 10) {
        SetErr(pBoard, HAL_ERR_CHANGE_NOT_ALLOWED);
    } else {
        SetErr(pBoard, HAL_ERR_CHANGE_TYPE);
    }
    const uint32_t refresh = static_cast<uint32_t>(pMode->lRefreshRate);
    const bool interlaced = (pMode->lSignalMode & SIGNAL_INTERLACED) != 0;
    if (refresh < (interlaced ? 20u : 40u))
        SetErr(pBoard, HAL_ERR_REFRESH_TOO_LOW);
    return pBoard->ulErrorCode;
}

uint32_t HALConvertEDID2toEDID1(BoardHandle *pBoard, uint8_t *edid1, const uint8_t *edid2) {
    pBoard->ulErrorCode = HAL_OK;
    uint8_t buffer[256];
    for (int i = 0; i < 256; i++)
        buffer[i] = edid2[i];
    HALPConvertEDID2toEDID1(pBoard, buffer);
    for (int i = 0; i < 128; i++)
        edid1[i] = buffer[i];
    return pBoard->ulErrorCode;
}

// ---- TV dispatchers ----

uint32_t HALGetTVOutputParameters(BoardHandle *pBoard, void *p, uint32_t b) {
    return dispatch(pBoard, HSL_SLOT_GET_TV_PARAMETERS, p, static_cast<uint8_t>(b));
}
uint32_t HALGetTVProcAmp(BoardHandle *pBoard, void *p, uint32_t a, uint32_t b) {
    return dispatch(pBoard, HSL_SLOT_GET_TV_PROC_AMP, p, static_cast<uint8_t>(a),
                    static_cast<uint8_t>(b));
}
// The settings record goes by address: on a 64-bit host no 32-bit word
// can carry it.
uint32_t HALSetTVProcAmp(BoardHandle *pBoard, TVProcAmpSettings *pSettings, uint32_t groups) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_PROC_AMP, pSettings, groups);
}
uint32_t HALSetTVStandard(BoardHandle *pBoard, uint32_t b) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_STANDARD, static_cast<uint8_t>(b));
}
uint32_t HALSetTVCableType(BoardHandle *pBoard, uint32_t b) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_CABLE_TYPE, static_cast<uint8_t>(b));
}
uint32_t HALDetectTV(BoardHandle *pBoard, void *p) {
    return dispatch(pBoard, HSL_SLOT_DETECT_TV, p);
}
uint32_t HALSetTVOutMode(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_OUT_MODE, &pBoard->CurrentModeCRTC1);
}
uint32_t HALSetTVColorBarMode(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_COLOR_BAR_MODE);
}
uint32_t HALSetTVPassThroughMode(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_PASS_THROUGH_MODE, 0u);
}
uint32_t HALSetTVPassThroughMasterMode(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_PASS_THROUGH_MODE, 1u);
}
uint32_t HALSetTVDisableMode(BoardHandle *pBoard) {
    return dispatch(pBoard, HSL_SLOT_SET_TV_DISABLE_MODE);
}

// ---- VGA text mode ----

uint32_t HSLVGAReadVgaInfo(BoardHandle *pBoard, VgaInfo *v) {
    ClientReadRegisterByte(pBoard, kMiscRead, &v->ucMisc);
    for (uint8_t i = 0; i < 4; i++)
        v->aucSeq[i] = indexedRead(pBoard, kSeqIndex, kSeqData, uint8_t(i + 1));
    for (uint8_t i = 0; i < 25; i++)
        v->aucCrtc[i] = indexedRead(pBoard, kCrtcIndex, kCrtcData, i);
    uint8_t status = 0;
    for (uint8_t i = 0; i < 20; i++) {
        ClientReadRegisterByte(pBoard, kStatus1, &status);
        ClientWriteRegisterByte(pBoard, kAttr, i);
        ClientReadRegisterByte(pBoard, kAttrData, &v->aucAttr[i]);
    }
    ClientReadRegisterByte(pBoard, kStatus1, &status);
    ClientWriteRegisterByte(pBoard, kAttr, kVideoOn);
    for (uint8_t i = 0; i < 9; i++)
        v->aucGc[i] = indexedRead(pBoard, kGcIndex, kGcData, i);
    return pBoard->ulErrorCode;
}

uint32_t HSLVGAWriteVgaInfo(BoardHandle *pBoard, VgaInfo *v) {
    ClientWriteRegisterByte(pBoard, kMiscWrite, v->ucMisc);
    for (uint8_t i = 0; i < 4; i++)
        indexedWrite(pBoard, kSeqIndex, kSeqData, uint8_t(i + 1), v->aucSeq[i]);
    // CR11 bit 7 keeps CR0-CR7 from changing: clear it first.
    indexedWrite(pBoard, kCrtcIndex, kCrtcData, 0x11, 0);
    for (uint8_t i = 0; i < 25; i++)
        indexedWrite(pBoard, kCrtcIndex, kCrtcData, i, v->aucCrtc[i]);
    uint8_t status = 0;
    for (uint8_t i = 0; i < 20; i++) {
        ClientReadRegisterByte(pBoard, kStatus1, &status);
        ClientWriteRegisterByte(pBoard, kAttr, i);
        ClientWriteRegisterByte(pBoard, kAttr, v->aucAttr[i]);
    }
    ClientReadRegisterByte(pBoard, kStatus1, &status);
    ClientWriteRegisterByte(pBoard, kAttr, kVideoOn);
    for (uint8_t i = 0; i < 9; i++)
        indexedWrite(pBoard, kGcIndex, kGcData, i, v->aucGc[i]);
    indexedWrite(pBoard, kExtIndex, kExtData, 0, 0);
    indexedWrite(pBoard, kExtIndex, kExtData, 6, 0);
    return pBoard->ulErrorCode;
}

} // extern "C"
