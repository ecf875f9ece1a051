/*
 * The condor family (device 0x0525 from revision 0x80): toucan's design on a
 * chip with fewer outputs. Its routines are the toucan bodies run with the
 * condor family records (hsl_con.cpp): the same steps, condor's codes
 * (modules 0x18 and 0x19 in place of 0x0C and 0x0D), and these
 * differences:
 *   - PInS byte 95 steers the board set-up: bit 0 lets the memory be
 *     initialised, bit 1 the system clock be programmed (clear: the clock
 *     the video BIOS left, SysClockVGA, stays in force), bit 2 makes the PLL
 *     values come from the search rather than the video BIOS;
 *   - validation passes routes 1, 2, 9 and 10 only; no TV, flat-panel or
 *     second-CRT output, no dual-controller priorities;
 *   - no flat-panel port or pixel-clock routing (slots 29 and 30 stay
 *     empty), so the steps that would release them are left out;
 *   - SetDisplayStart serves the first CRTC; a second-CRTC mode set places
 *     its own start addresses;
 *   - EDID from the main connector only; the add-on probe finds nothing.
 */
#ifndef QUARN_HSL_CON_H
#define QUARN_HSL_CON_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the condor chip operations and mode layer: toucan's, with the
 * condor modules. */
#define HSL_ERR_CON_SYSCLOCK_RATIO 0xB18091C0u
#define HSL_ERR_CON_SYSCLOCK_LOCK 0xB18091B0u
#define HSL_ERR_CON_ROUTE 0xB19191D0u        /* no route for the lModeType value */
#define HSL_ERR_CON_NO_OUTPUT_HW 0xB1901060u /* a route condor has no output for */

/* PInS byte 95: what the board data lets the chip layer do itself. */
#define HSL_CON_PINS_GATES 95
#define HSL_CON_PINS_MEMORY_INIT 0x01
#define HSL_CON_PINS_SYSTEM_CLOCK 0x02
#define HSL_CON_PINS_PLL_SEARCH 0x04

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLCONInitAccess(BoardHandle *pBoard);
uint32_t HSLCONValidatePhysAddr(BoardHandle *pBoard);
uint32_t HSLCONGetBoardInfo(BoardHandle *pBoard);
uint32_t HSLCONGetPInSInfo(BoardHandle *pBoard);
uint32_t HSLCONInitExtraJmpTbl(BoardHandle *pBoard);
uint32_t HSLCONWaitEngineNotBusy(BoardHandle *pBoard);
uint32_t HSLCONProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock);
uint32_t HSLCONPowerUp(BoardHandle *pBoard);
uint32_t HSLCONSGRAMInit(BoardHandle *pBoard);
uint32_t HSLCONInitHardware(BoardHandle *pBoard);
uint32_t HSLCONSetPowerState(BoardHandle *pBoard, uint32_t state);
uint32_t HSLCONSwitchToVGA(BoardHandle *pBoard);
/* Output 0 reads the main connector's EDID; any other output marks the
 * second monitor absent. */
uint32_t HSLCONGetMonitorEDID(BoardHandle *pBoard, uint32_t output);
uint32_t HSLCONGetPrimaryMonitorEDID(BoardHandle *pBoard);
uint32_t HSLCONGetAddOnInfo(BoardHandle *pBoard);
/* Not in the operation table: returns the word. */
uint32_t HSLCONCustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord);
/* Writes toucan's default board data; nothing calls it. */
uint32_t HSLCONCSetDefaultPins(BoardHandle *pBoard);

uint32_t HSLCONValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute);
uint32_t HSLCONValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONValidateLatency(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONComputePitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y, uint32_t crtc);
uint32_t HSLCONDisableCRTC1Output(BoardHandle *pBoard);
uint32_t HSLCONDisableCRTC2Output(BoardHandle *pBoard);

uint32_t HSLCONSetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToDacCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToDacCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToDacTV_YUV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToTV_YUVRev0(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCONSetModeCRTC2ToTV_YUV(BoardHandle *pBoard, ModeInfo *pMode);

#ifdef __cplusplus
}
#endif

#endif
