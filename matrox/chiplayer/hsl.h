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

#ifdef __cplusplus
}
#endif

#endif
