// Board recognition: which boards the chip layer drives at all.
#include "client.h"
#include "hal.h"
#include "hal_error.h"

namespace {

constexpr uint32_t kSupportedIds[] = {0x0520102B, 0x0521102B, 0x0525102B, 0x1000102B, 0x1001102B};

} // namespace

extern "C" {

uint32_t HALQueryLibraryVersion(void) {
    return 1;
}

uint32_t HALQueryHandleSize(void) {
    return HAL_HANDLE_SIZE;
}

// Only configuration space is read: an unsupported board is refused before
// anything is written to it.
uint32_t HALQueryBoardSupport(BoardHandle *pBoard) {
    pBoard->ulErrorCode = HAL_OK;
    uint32_t id = ~0u;
    ClientReadConfigSpaceDword(pBoard, 0, &id);
    for (uint32_t supported : kSupportedIds)
        if (id == supported)
            return pBoard->ulErrorCode;
    return SetErr(pBoard, HAL_ERR_BOARD_NOT_SUPPORTED);
}

} // extern "C"
