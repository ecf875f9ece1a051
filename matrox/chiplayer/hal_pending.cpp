// Chip operations whose families are not in this library yet: each answers
// as an operation the board does not offer (and touches nothing), never as
// a success.
#include "hal_pending.h"

#include "hal_error.h"

namespace {

uint32_t notYet(BoardHandle *pBoard) {
    if (IsNotAnError(pBoard->ulErrorCode))
        SetErr(pBoard, HSL_ERR_SLOT_NOT_INITIALISED);
    return pBoard->ulErrorCode;
}

} // namespace

extern "C" {

uint32_t HSLTWIInitAccess(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLTWIGetBoardInfo(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLTWIInitExtraJmpTbl(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLTWISGRAMInit(BoardHandle *pBoard) {
    return notYet(pBoard);
}

uint32_t HSLMAVSetGPIO(BoardHandle *pBoard, uint32_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVValidateMode(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVValidateVideoParameters(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVGetTVParameters(BoardHandle *pBoard, void *, uint8_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVModifyTVParameters(BoardHandle *pBoard, ModeInfo *, uint32_t, uint32_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVGetTVProcAmp(BoardHandle *pBoard, void *, uint8_t, uint8_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVProcAmp(BoardHandle *pBoard, uint32_t, uint32_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVStandard(BoardHandle *pBoard, uint8_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVCableType(BoardHandle *pBoard, uint8_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVDetectTV(BoardHandle *pBoard, void *) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVOutMode(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVColorBarMode(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVPassThroughMode(BoardHandle *pBoard, uint32_t) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVDisableMode(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetCRTOutMode(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVOutModeCRTC2(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVYUVModeToucanRev0(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVPIXPLLSET(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVCRTC2SetITU656(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}
uint32_t HSLMAVResetMAFCInterface(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLMAVSetTVYUVMode(BoardHandle *pBoard, ModeInfo *) {
    return notYet(pBoard);
}

} // extern "C"
