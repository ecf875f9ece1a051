/*
 * The twister family's operations and mode layer (hsl_twi.cpp). Most run
 * the eclipse family's steps with twister's codes and routines; every
 * routine takes the board handle first, does nothing while the handle's
 * word holds an error and returns the word.
 */
#ifndef QUARN_HSL_TWI_H
#define QUARN_HSL_TWI_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the twister family. */
#define HSL_ERR_TWI_NO_CLOCK 0xB0A03031u
#define HSL_ERR_TWI_CLOCK_LIMIT 0xB0A03030u
#define HSL_ERR_TWI_VOVSCAN 0xB0A03070u
#define HSL_ERR_TWI_CLOCK_DEPTH 0xB0A03100u
#define HSL_ERR_TWI_DESK_WIDTH 0xB0A02190u
#define HSL_ERR_TWI_ZOOM 0xB0A020F0u
#define HSL_ERR_TWI_NO_TV 0xB0A02110u
#define HSL_ERR_TWI_MODE_DEPTH 0xB0A02100u
#define HSL_ERR_TWI_MEMORY 0xB0A02020u
#define HSL_ERR_TWI_PITCH_DEPTH 0xB0A0D100u
#define HSL_ERR_TWI_PITCH_WIDTH 0xB0A0D140u
#define HSL_ERR_TWI_ROUTE 0xB13011D0u     /* ValidateOutputMode: no route */
#define HSL_ERR_TWI_SET_ROUTE 0xB13021D0u /* SetMode: no route */
#define HSL_ERR_TWI_TV_ALONE 0xB13040E0u  /* the TV-only route */
#define HSL_ERR_TWI_EDID_WHICH 0xB0A16130u
#define HSL_ERR_TWI_MAFC_MODE 0xB0A13130u
#define HSL_ERR_TWI_CUSTOM_CALL 0xB0A15065u /* every code */

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLTWIInitAccess(BoardHandle *pBoard);
uint32_t HSLTWIGetBoardInfo(BoardHandle *pBoard);
uint32_t HSLTWIInitExtraJmpTbl(BoardHandle *pBoard);
uint32_t HSLTWISGRAMInit(BoardHandle *pBoard);
uint32_t HSLTWISetPowerState(BoardHandle *pBoard, uint32_t state);
uint32_t HSLTWISwitchToVGA(BoardHandle *pBoard);
/* Does not test the error word itself: HSLCRTCSetDisplayStart does. */
uint32_t HSLTWISetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y);
uint32_t HSLTWIWaitEngineNotBusy(BoardHandle *pBoard);
uint32_t HSLTWIPowerUp(BoardHandle *pBoard);
uint32_t HSLTWIInitHardware(BoardHandle *pBoard);
uint32_t HSLTWIGetMonitorEDID(BoardHandle *pBoard, uint32_t which);
uint32_t HSLTWIGetPrimaryMonitorEDID(BoardHandle *pBoard);
uint32_t HSLTWIGetFlatPanelMonitorEDID(BoardHandle *pBoard);
uint32_t HSLTWIControlMAFCPort(BoardHandle *pBoard, uint32_t mode);
uint32_t HSLTWIRoutePixelClock(BoardHandle *pBoard, uint32_t route);
uint32_t HSLTWIValidatePhysAddr(BoardHandle *pBoard);
uint32_t HSLTWICustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord);
uint32_t HSLTWIGetAddOnInfo(BoardHandle *pBoard);

uint32_t HSLTWIValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIValidateLatency(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCaps(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIComputePitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute);
uint32_t HSLTWISetMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWISetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTWIDisableCRTC1Output(BoardHandle *pBoard);

#ifdef __cplusplus
}
#endif

#endif
