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

uint32_t HSLCONInitAccess(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLCONGetBoardInfo(BoardHandle *pBoard) {
    return notYet(pBoard);
}
uint32_t HSLCONInitExtraJmpTbl(BoardHandle *pBoard) {
    return notYet(pBoard);
}

uint32_t HALPChangeHorizontalSyncPolarity(BoardHandle *pBoard, ModeInfo *, uint32_t) {
    return notYet(pBoard);
}
uint32_t HALPChangeVerticalSyncPolarity(BoardHandle *pBoard, ModeInfo *, uint32_t) {
    return notYet(pBoard);
}
uint32_t HALPChangeInterlaceMode(BoardHandle *pBoard, ModeInfo *, uint32_t) {
    return notYet(pBoard);
}
uint32_t HALPVideoStep(BoardHandle *pBoard, ModeInfo *, uint32_t) {
    return notYet(pBoard);
}

} // extern "C"
