// Entry points whose chip operations are not in this library yet: each
// answers as an operation the board does not offer (and touches nothing),
// never as a success.
#include "hal.h"
#include "hal_error.h"

namespace {

uint32_t notYet(BoardHandle *pBoard) {
    if (IsNotAnError(pBoard->ulErrorCode))
        SetErr(pBoard, HSL_ERR_SLOT_NOT_INITIALISED);
    return pBoard->ulErrorCode;
}

uint32_t freshNotYet(BoardHandle *pBoard) {
    pBoard->ulErrorCode = HAL_OK;
    return notYet(pBoard);
}

} // namespace

extern "C" {

uint32_t HALGetBoardInfo(BoardHandle *pBoard) {
    return freshNotYet(pBoard);
}
uint32_t HALValidateMode(BoardHandle *pBoard, ModeInfo *) {
    return freshNotYet(pBoard);
}
uint32_t HALValidateVideoParameters(BoardHandle *pBoard, ModeInfo *) {
    return freshNotYet(pBoard);
}
uint32_t HALSetMode(BoardHandle *pBoard, ModeInfo *) {
    return freshNotYet(pBoard);
}
uint32_t HALSwitchToVGA(BoardHandle *pBoard) {
    return freshNotYet(pBoard);
}
uint32_t HSLVGAReadVgaInfo(BoardHandle *pBoard, VgaInfo *) {
    return notYet(pBoard);
}
uint32_t HSLVGAWriteVgaInfo(BoardHandle *pBoard, VgaInfo *) {
    return notYet(pBoard);
}

} // extern "C"
