/*
 * The chip layer's own routines of hal_dispatch.cpp that its other units
 * call: the empty-slot answer, the family choice and table set-up, and the
 * public entry points no other header declares.
 */
#ifndef QUARN_HAL_DISPATCH_H
#define QUARN_HAL_DISPATCH_H

#include <stdint.h>

#include "hal_records.h"
#include "hsl_mav.h"

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLTBLNotInitFunction(BoardHandle *pBoard, ...);
uint32_t HSLInit(BoardHandle *pBoard);
uint32_t HSLInitDeviceJumpTable(BoardHandle *pBoard);

uint32_t HALGetVESAParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t variant);
uint32_t HALConvertEDID2toEDID1(BoardHandle *pBoard, uint8_t *edid1, const uint8_t *edid2);

uint32_t HALSetPowerState(BoardHandle *pBoard, uint32_t state);
uint32_t HALSetSystemClock(BoardHandle *pBoard, uint32_t word);
uint32_t HALSetDisplayStart(BoardHandle *pBoard, uint32_t a, uint32_t b, uint32_t c);
uint32_t HALInitHardware(BoardHandle *pBoard);
uint32_t HALValidatePhysAddr(BoardHandle *pBoard);
uint32_t HALCustomCall(BoardHandle *pBoard, uint32_t a, uint32_t b, uint32_t c);

#ifdef __cplusplus
}
#endif

#endif
