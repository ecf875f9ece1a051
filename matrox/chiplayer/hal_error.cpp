// The status word's merge rule.
#include "hal_error.h"

namespace {

uint32_t severity(uint32_t code) {
    return code >> HAL_SEVERITY_SHIFT;
}

} // namespace

extern "C" {

uint32_t IsNotAnError(uint32_t code) {
    return severity(code) <= HAL_SEVERITY_WARNING ? 1 : 0;
}

uint32_t ReturnCorrectError(uint32_t oldCode, uint32_t newCode) {
    switch (severity(oldCode)) {
    case HAL_SEVERITY_SUCCESS:
        return newCode;
    case HAL_SEVERITY_WARNING:
        return IsNotAnError(newCode) ? oldCode : newCode;
    default:
        return oldCode;
    }
}

uint32_t SetErr(BoardHandle *pBoard, uint32_t code) {
    pBoard->ulErrorCode = ReturnCorrectError(pBoard->ulErrorCode, code);
    return pBoard->ulErrorCode;
}

} // extern "C"
