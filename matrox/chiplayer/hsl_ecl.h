/*
 * The eclipse family's operations (hsl_ecl.cpp) and mode layer
 * (hsl_ecl_mode.cpp). Every routine takes the board handle first, does
 * nothing while the handle's word holds an error and returns the word.
 */
#ifndef QUARN_HSL_ECL_H
#define QUARN_HSL_ECL_H

#include <stdint.h>

#include "hal_records.h"
/* The twister family runs the eclipse routines; callers of either see both. */
#include "hsl_twi.h"

/* Codes of the eclipse family. */
#define HSL_ERR_PHYS_ADDR 0x80000000u       /* stored, not merged */
#define HSL_ERR_ECL_EDID_WHICH 0xB0911130u  /* GetMonitorEDID: not 0 or 2 */
#define HSL_ERR_ECL_MAFC_MODE 0xB0912130u   /* ControlMAFCPort: not 0, 1 or 2 */
#define HSL_ERR_ECL_CUSTOM_CALL 0xB0C15065u /* CustomCall: not code 2 */
#define HSL_ERR_ECL_PITCH_DEPTH 0xB090C100u
#define HSL_ERR_ECL_PITCH_WIDTH 0xB090C140u
#define HSL_ERR_ECL_DESK_WIDTH 0xB0903190u
#define HSL_ERR_ECL_ZOOM 0xB09030F0u
#define HSL_ERR_ECL_NO_TV 0xB0903110u
#define HSL_ERR_ECL_MODE_DEPTH 0xB0903100u
#define HSL_ERR_ECL_MEMORY 0xB0903020u
#define HSL_ERR_ECL_NO_CLOCK 0xB0904031u
#define HSL_ERR_ECL_CLOCK_LIMIT 0xB0904030u
#define HSL_ERR_ECL_CLOCK_DEPTH 0xB0904100u
#define HSL_ERR_ECL_VOVSCAN 0xB0904070u
#define HSL_ERR_ROUTE 0xB12011D0u     /* ValidateOutputMode: no route */
#define HSL_ERR_SET_ROUTE 0xB12021D0u /* SetMode: no route */
#define HSL_ERR_TV_ALONE 0xB12040E0u  /* the TV-only route */

/* Power states the families act on. */
#define HSL_POWER_SAVE 0x80000008u
#define HSL_POWER_RESTORE 0x80000000u

/* Output routes of the single-head families. */
typedef enum {
    ROUTE_NONE = 0,
    ROUTE_CRTC1_NO_OUTPUT = 1,
    ROUTE_CRTC1_DAC = 2,
    ROUTE_CRTC1_DAC_FLAT = 3,
    ROUTE_CRTC1_DAC_TV = 4,
    ROUTE_CRTC1_FLAT = 5,
    ROUTE_CRTC1_TV = 6
} OutputRoute;

#ifdef __cplusplus
extern "C" {
#endif

/* The text-mode image and the 64-entry palette a return to VGA writes. */
extern const VgaInfo HSLVGAInfoDefault;
extern const uint8_t HSLVGADacDefault[192];

uint32_t HSLECLInitAccess(BoardHandle *pBoard);
uint32_t HSLECLGetBoardInfo(BoardHandle *pBoard);
uint32_t HSLECLInitExtraJmpTbl(BoardHandle *pBoard);
uint32_t HSLECLSGRAMInit(BoardHandle *pBoard);
uint32_t HSLECLSetPowerState(BoardHandle *pBoard, uint32_t state);
uint32_t HSLECLSwitchToVGA(BoardHandle *pBoard);
uint32_t HSLECLSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y);
uint32_t HSLECLWaitEngineNotBusy(BoardHandle *pBoard);
uint32_t HSLECLPowerUp(BoardHandle *pBoard);
uint32_t HSLECLInitHardware(BoardHandle *pBoard);
uint32_t HSLECLGetMonitorEDID(BoardHandle *pBoard, uint32_t which);
uint32_t HSLECLGetPrimaryMonitorEDID(BoardHandle *pBoard);
uint32_t HSLECLGetFlatPanelMonitorEDID(BoardHandle *pBoard);
uint32_t HSLECLControlMAFCPort(BoardHandle *pBoard, uint32_t mode);
uint32_t HSLECLRoutePixelClock(BoardHandle *pBoard, uint32_t route);
uint32_t HSLECLValidatePhysAddr(BoardHandle *pBoard);
uint32_t HSLECLCustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord);
uint32_t HSLECLGetAddOnInfo(BoardHandle *pBoard);

uint32_t HSLECLValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLValidateLatency(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLComputePitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute);
uint32_t HSLECLSetMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLSetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLECLDisableCRTC1Output(BoardHandle *pBoard);

#ifdef __cplusplus
}
#endif

#endif
