/*
 * The chip layer's public entry points the driver side calls. Each takes the
 * board handle first, starts a fresh sequence (ulErrorCode 0) and returns
 * the handle's error word, except the two VGA routines, whose client calls
 * each test the word.
 */
#ifndef QUARN_HAL_H
#define QUARN_HAL_H

#include <stdint.h>

#include "hal_records.h"

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HALQueryLibraryVersion(void);
/* The handle's size on the target (1556): what the chip layer reports. */
uint32_t HALQueryHandleSize(void);
uint32_t HALQueryBoardSupport(BoardHandle *pBoard);
uint32_t HALGetBoardInfo(BoardHandle *pBoard);
uint32_t HALValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALSetMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALSwitchToVGA(BoardHandle *pBoard);
uint32_t HSLVGAReadVgaInfo(BoardHandle *pBoard, VgaInfo *pVga);
uint32_t HSLVGAWriteVgaInfo(BoardHandle *pBoard, VgaInfo *pVga);

#ifdef __cplusplus
}
#endif

#endif
