// The scripted chip layer (quarn_script.h), linked with the driver's
// sources into the test copy of libquarn.
#include "quarn_script.h"

#include "client.h"
#include "hal.h"

extern "C" __attribute__((visibility("default"))) QuarnScript quarnScript;
QuarnScript quarnScript;

namespace {

uint32_t answer(BoardHandle *pBoard, QuarnScriptEntry entry, const ModeInfo *mode) {
    QuarnScript &s = quarnScript;
    const int n = s.calls[entry]++;
    if (s.logged < kQuarnScriptLog) {
        QuarnScriptCall &c = s.log[s.logged++];
        c.entry = entry;
        c.board = pBoard;
        if (mode != nullptr)
            c.mode = *mode;
    }
    pBoard->ulErrorCode = n < kQuarnScriptResults ? s.results[entry][n] : 0;
    return pBoard->ulErrorCode;
}

} // namespace

extern "C" {

uint32_t HALQueryBoardSupport(BoardHandle *pBoard) {
    return answer(pBoard, QS_QUERY_BOARD_SUPPORT, nullptr);
}

uint32_t HALGetBoardInfo(BoardHandle *pBoard) {
    pBoard->ulErrorCode = 0;
    // The chip layer's access operation opens both windows first.
    ClientOpenRegisterBase(pBoard, 0, 0x4000);
    ClientOpenMemoryBase(pBoard, 0, 0x1000000);
    uint32_t id = quarnScript.chipId;
    if (id == 0)
        ClientReadConfigSpaceDword(pBoard, 0, &id);
    pBoard->ulChipID = id;
    pBoard->ulMemoryType = quarnScript.memoryType;
    return answer(pBoard, QS_GET_BOARD_INFO, nullptr);
}

uint32_t HSLVGAReadVgaInfo(BoardHandle *pBoard, VgaInfo *) {
    return answer(pBoard, QS_READ_VGA_INFO, nullptr);
}

uint32_t HALValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    const uint32_t r = answer(pBoard, QS_VALIDATE_MODE, pMode);
    if (r == 0) {
        pMode->ulFBPitch = quarnScript.fbPitch != 0 ? quarnScript.fbPitch : pMode->ulDispWidth;
        pMode->lDstOrg = quarnScript.dstOrg;
    }
    return r;
}

uint32_t HALValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return answer(pBoard, QS_VALIDATE_VIDEO_PARAMETERS, pMode);
}

uint32_t HALSetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return answer(pBoard, QS_SET_MODE, pMode);
}

uint32_t HALSwitchToVGA(BoardHandle *pBoard) {
    return answer(pBoard, QS_SWITCH_TO_VGA, nullptr);
}

uint32_t HSLVGAWriteVgaInfo(BoardHandle *pBoard, VgaInfo *) {
    return answer(pBoard, QS_WRITE_VGA_INFO, nullptr);
}

} // extern "C"
