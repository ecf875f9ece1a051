/*
 * Chip operations of the four families that are not in this library yet
 * (hal_pending.cpp): each answers as an operation the board does not offer,
 * touching nothing.
 */
#ifndef QUARN_HAL_PENDING_H
#define QUARN_HAL_PENDING_H

#include <stdint.h>

#include "hal_records.h"

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLTBLNotInitFunction(BoardHandle *pBoard, ...);
uint32_t HSLInit(BoardHandle *pBoard);
uint32_t HSLInitDeviceJumpTable(BoardHandle *pBoard);

uint32_t HSLTWIInitAccess(BoardHandle *pBoard);
uint32_t HSLTWIGetBoardInfo(BoardHandle *pBoard);
uint32_t HSLTWIInitExtraJmpTbl(BoardHandle *pBoard);
/* Memory initialisation of the twister chips. */
uint32_t HSLTWISGRAMInit(BoardHandle *pBoard);

/* TV routines the families call. */
uint32_t HSLMAVSetGPIO(BoardHandle *pBoard, uint32_t word);
uint32_t HSLMAVValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
/* The TV operations of slots 7 to 17. */
uint32_t HSLMAVGetTVParameters(BoardHandle *pBoard, void *pParams, uint8_t which);
uint32_t HSLMAVModifyTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type,
                                  uint32_t value);
uint32_t HSLMAVGetTVProcAmp(BoardHandle *pBoard, void *pValue, uint8_t a, uint8_t b);
uint32_t HSLMAVSetTVProcAmp(BoardHandle *pBoard, uint32_t a, uint32_t b);
uint32_t HSLMAVSetTVStandard(BoardHandle *pBoard, uint8_t standard);
uint32_t HSLMAVSetTVCableType(BoardHandle *pBoard, uint8_t cable);
uint32_t HSLMAVDetectTV(BoardHandle *pBoard, void *pFound);
uint32_t HSLMAVSetTVOutMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVColorBarMode(BoardHandle *pBoard);
uint32_t HSLMAVSetTVPassThroughMode(BoardHandle *pBoard, uint32_t master);
uint32_t HSLMAVSetTVDisableMode(BoardHandle *pBoard);
/* The TV routines the dual-head mode layer calls. */
uint32_t HSLMAVSetCRTOutMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVOutModeCRTC2(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVYUVModeToucanRev0(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVPIXPLLSET(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVCRTC2SetITU656(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVResetMAFCInterface(BoardHandle *pBoard);
uint32_t HSLMAVSetTVYUVMode(BoardHandle *pBoard, ModeInfo *pMode);

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
