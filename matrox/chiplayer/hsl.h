/*
 * The chip layer's shared blocks, used by the chip families: the board data
 * from the option ROM, the memory size and read-back calibration. Every
 * routine takes the board handle first and returns its error word; unless
 * its comment says otherwise it does nothing while the word holds an error.
 */
#ifndef QUARN_HSL_H
#define QUARN_HSL_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the option-ROM module. */
#define HSL_ERR_BIOS_NO_ROM 0xB0102170u /* HSLBIOSGetVersion: no signature or "PCIR" */

/* The version-4 block unpacked so that its 32-bit fields are aligned. */
#define HSL_PINS40_RECORD_BYTES 136

/* Memory calibration geometry. */
#define HAL_MEMORY_BLOCK_BYTES 0x400000u
#define HAL_MEMORY_TEST_BYTES 0xC0000u
#define HAL_MEMORY_SEED 0x2CB0453Fu

/* Codes of the DAC module. */
#define HSL_ERR_DAC_DEPTH 0xB08071D0u      /* HSLDACInit: no pixel format for lBpp */
#define HSL_ERR_DAC_PLL_RANGE 0xB0805060u  /* HSLDACComputePLLParam: VCO of 50 MHz or less */
#define HSL_ERR_DAC_PIXEL_PLL 0xB08081A0u  /* HSLDACPIXPLLSET: no lock after the retry */
#define HSL_ERR_DAC_SYSTEM_PLL 0xB08091B0u /* HSLDACSYSPLLSET: no lock */
#define HSL_ERR_DAC_ZOOM 0xB08130F0u       /* HSLDACSetZoom: zoom other than 1, 2, 4 */
/* Codes of the eclipse and twister system clock programming. */
#define HSL_ERR_ECL_SYSCLOCK_LOCK 0xB09071B0u
#define HSL_ERR_ECL_SYSCLOCK_RATIO 0xB09071C0u
#define HSL_ERR_TWI_SYSCLOCK_LOCK 0xB0A071B0u
#define HSL_ERR_TWI_SYSCLOCK_RATIO 0xB0A071C0u

/* A lock or retrace wait gives up after this many reads. */
#define HSL_POLL_READS 10000000u

#ifdef __cplusplus
extern "C" {
#endif

/* ---- board data from the option ROM ---- */
uint32_t HSLBIOSReadPins(BoardHandle *pBoard, uint32_t *pVersion);
uint32_t HSLBIOSGetVersion(BoardHandle *pBoard, uint32_t *pVersion);
uint32_t HSLPIN30GetBoardInfo(BoardHandle *pBoard);
uint32_t HSLPIN40GetBoardInfo(BoardHandle *pBoard);
/* Neither tests the error word: they touch only the records they are given. */
uint32_t HSLPIN40FillStruc(BoardHandle *pBoard, uint8_t *pRecord);
uint32_t HSLPIN40SetSystemClockInfo(BoardHandle *pBoard, uint32_t clockMHz, uint32_t options,
                                    SysClockInfo *pClock);
uint32_t HSLECLGetPInSInfo(BoardHandle *pBoard);
uint32_t HSLTWIGetPInSInfo(BoardHandle *pBoard);
void *memcopy(void *dst, const void *src, uint32_t count);

/* ---- memory size and read-back timing ---- */
uint32_t HALPDetectMemoryAvail(BoardHandle *pBoard, uint32_t maxBytes, uint32_t *pBytes);
uint32_t HALPDetectMemoryReadBackValue(BoardHandle *pBoard);
uint32_t HALPFillMemory(BoardHandle *pBoard, uint32_t areaBytes, uint32_t blockBytes,
                        uint32_t *pChecksum);
uint32_t HALPReadBackMemory(BoardHandle *pBoard, uint32_t areaBytes, uint32_t blockBytes,
                            uint32_t checksum, uint8_t *pResult);
uint32_t HALPSetMemoryReadBackValue(BoardHandle *pBoard, uint32_t delay);
uint32_t Random(uint32_t a);

/* ---- integrated DAC and PLLs ---- */
uint32_t HSLDACReadRegister(BoardHandle *pBoard, uint8_t index, uint8_t *pValue);
uint32_t HSLDACWriteRegister(BoardHandle *pBoard, uint8_t index, uint32_t value);
uint32_t HSLDACInit(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLDACComputePLLParam(BoardHandle *pBoard, uint32_t freqKHz, uint32_t selector,
                               uint32_t *pM, uint32_t *pN, uint32_t *pP, uint32_t *pS);
uint32_t HSLDACPIXPLLSET(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLDACAdjustSystemPLL(BoardHandle *pBoard);
uint32_t HSLDACSYSPLLSET(BoardHandle *pBoard, uint32_t freqKHz);
uint32_t HSLDACWaitForVSync(BoardHandle *pBoard);
uint32_t HSLDACScreenState(BoardHandle *pBoard, uint8_t *pOn);
uint32_t HSLDACScreenOff(BoardHandle *pBoard);
uint32_t HSLDACScreenOn(BoardHandle *pBoard);
uint32_t HSLDACPowerUp(BoardHandle *pBoard);
uint32_t HSLDACDisableOutput(BoardHandle *pBoard);
uint32_t HSLDACSenceMonitorLoad(BoardHandle *pBoard, uint8_t *pLoaded);

/* ---- system clock ---- */
uint32_t HSLECLProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock);
uint32_t HSLTWIProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock);

/* ---- first CRTC ---- */
/* Does not test the error word. */
uint32_t HSLCRTUseLineDoubling(BoardHandle *pBoard, ModeInfo *pMode, uint8_t *pDouble);
uint32_t HSLCRTCSet(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCRTCSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y);
uint32_t HSLCRTCSetPitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCRTCSelectHiresMode(BoardHandle *pBoard);
uint32_t HSLCRTCSetPriorityRequest(BoardHandle *pBoard);
uint32_t HSLDACSetZoom(BoardHandle *pBoard, uint32_t zoom);
uint32_t HSLCRTCLock(BoardHandle *pBoard);
uint32_t HSLCRTCUnLock(BoardHandle *pBoard);
uint32_t HSLCRTCDisable(BoardHandle *pBoard);
uint32_t HSLCRTCAdjustVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);

#ifdef __cplusplus
}
#endif

#endif
