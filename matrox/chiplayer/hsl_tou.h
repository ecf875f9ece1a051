/*
 * The toucan family's chip operations (hsl_tou.cpp): access to the two
 * windows, board words, the operation table with its I2C line probe, the
 * system clock, power-up and memory initialisation, power states, the
 * return to VGA text mode, monitor EDID, add-on detection and the custom
 * calls. Every routine takes the board handle first, does nothing while the
 * handle's word holds an error and returns the word. The mode layer is in
 * hsl_tou_mode.cpp.
 */
#ifndef QUARN_HSL_TOU_H
#define QUARN_HSL_TOU_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the toucan chip operations. */
#define HSL_ERR_TOU_SYSCLOCK_RATIO 0xB0C091C0u /* a divider byte outside the six codes */
#define HSL_ERR_TOU_SYSCLOCK_LOCK 0xB0C091B0u  /* system PLL not locked after the retry */
#define HSL_ERR_TOU_EDID_OUTPUT 0xB0C13130u    /* GetMonitorEDID: not 0, 1 or 2 */
#define HSL_ERR_TOU_CUSTOM_CALL 0xB0C15065u    /* CustomCall: not code 1 or 2 */

/* Custom-call codes. */
#define HSL_CUSTOM_CODEC_CLOCK 1u
#define HSL_CUSTOM_TV_GPIO 2u

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLTOUInitAccess(BoardHandle *pBoard);
uint32_t HSLTOUValidatePhysAddr(BoardHandle *pBoard);
uint32_t HSLTOUGetBoardInfo(BoardHandle *pBoard);
uint32_t HSLTOUGetPInSInfo(BoardHandle *pBoard);
uint32_t HSLTOUInitExtraJmpTbl(BoardHandle *pBoard);
uint32_t HSLTOUWaitEngineNotBusy(BoardHandle *pBoard);
uint32_t HSLTOUProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock);
uint32_t HSLTOUPowerUp(BoardHandle *pBoard);
uint32_t HSLTOUSGRAMInit(BoardHandle *pBoard);
uint32_t HSLTOUCompensatedBufferPatch(BoardHandle *pBoard);
uint32_t HSLTOUInitHardware(BoardHandle *pBoard);
uint32_t HSLTOUSetPowerState(BoardHandle *pBoard, uint32_t state);
uint32_t HSLTOUSwitchToVGA(BoardHandle *pBoard);
uint32_t HSLTOUGetMonitorEDID(BoardHandle *pBoard, uint32_t output);
uint32_t HSLTOUGetPrimaryMonitorEDID(BoardHandle *pBoard);
uint32_t HSLTOUGetSecondMonitorEDID(BoardHandle *pBoard);
uint32_t HSLTOUGetFlatPanelMonitorEDID(BoardHandle *pBoard);
uint32_t HSLTOUGetAddOnInfo(BoardHandle *pBoard);
/* pWord: the argument block (its first word is used); null does nothing. */
uint32_t HSLTOUCustomCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord);
uint32_t HSLTOUSetCodecClock(BoardHandle *pBoard, uint32_t code);
/* Writes the default board data into the PInS copy; nothing calls it. */
uint32_t HSLTOUCSetDefaultPins(BoardHandle *pBoard);

#ifdef __cplusplus
}

/* The two-controller families (toucan, and condor after it) share these
 * bodies; a family record names what differs: its codes, the routines of its
 * own it calls, and its flags. */
namespace hsldual {

struct Family {
    uint32_t ratioError, lockError, edidOutputError, customCallError;
    uint32_t engineCapsHigh; /* flEngineCaps1 bits set above the base value */
    bool revisionSteps;      /* revision 0 power-up word, revision 1 buffer patch */
    bool lineProbe;          /* the I2C line probe picks the line readers */
    bool boardDataGates;     /* PInS byte 95: bit 0 memory init, bit 1 system clock */
    uint32_t (*programSystemClock)(BoardHandle *, SysClockInfo *);
    uint32_t (*sgramInit)(BoardHandle *);
    uint32_t (*powerUp)(BoardHandle *);
    uint32_t (*waitEngineNotBusy)(BoardHandle *);
    uint32_t (*disableCrtc1Output)(BoardHandle *);
    uint32_t (*disableCrtc2Output)(BoardHandle *); /* null: no second-controller step */
};

extern const Family kToucan;

uint32_t getPInSInfo(BoardHandle *pBoard, const Family &f);
uint32_t getBoardInfo(BoardHandle *pBoard, const Family &f);
/* The line probe alone: true when the alternative line readers are needed. */
bool probeAltLineReaders(BoardHandle *pBoard);
uint32_t programSystemClock(BoardHandle *pBoard, SysClockInfo *pClock, const Family &f);
uint32_t sgramInit(BoardHandle *pBoard, const Family &f);
uint32_t powerUp(BoardHandle *pBoard, const Family &f);
uint32_t initHardware(BoardHandle *pBoard, const Family &f);
uint32_t setPowerState(BoardHandle *pBoard, uint32_t state, const Family &f);
uint32_t switchToVGA(BoardHandle *pBoard, const Family &f);
uint32_t customCall(BoardHandle *pBoard, uint32_t code, uint32_t *pWord, const Family &f);

} // namespace hsldual
#endif

#endif
