/*
 * What is connected to the board's outputs: DDC reads of EDID blocks, the
 * monitor records derived from them, the timings a monitor offers for a
 * screen size, and timings from the VESA Generalized Timing Formula.
 */
#ifndef QUARN_HAL_MONITOR_H
#define QUARN_HAL_MONITOR_H

#include <stdint.h>

#include "hal_records.h"

/* DDC and monitor information. */
#define HALP_ERR_DDC_NO_ANSWER 0x8010C0C0u
#define HAL_ERR_EDID_BLOCK 0xA01030A2u
#define HAL_ERR_EDID_SUM 0xA01030D0u
#define HALP_ERR_PROPERTIES_VERSION 0x801040A1u

/* Timing extraction. */
#define HAL_ERR_DDC_NO_EDID 0xA01020A0u
#define HAL_ERR_DDC_INDEX 0xA0102040u
#define HAL_ERR_DDC_NO_TIMING 0xA0102070u
#define HALP_ERR_ESTAB_NUMBER_VERSION 0x801060A1u
#define HALP_ERR_STD_NUMBER_VERSION 0x801070A1u
#define HALP_ERR_DETAILED_NUMBER_VERSION 0x801080A1u
#define HALP_ERR_ESTAB_EDID2 0x80109070u
#define HALP_ERR_ESTAB_VERSION 0x801090A1u
#define HALP_ERR_DETAILED_VERSION 0x8010A0A1u
#define HALP_ERR_STD_VERSION 0x8010B0A1u
#define HALP_ERR_ESTAB_INDEX 0x80404040u
#define HALP_ERR_ESTAB_NONE 0x80404070u
#define HALP_ERR_STD_INDEX 0x80405040u
#define HALP_ERR_STD_NONE 0x80405070u
#define HALP_ERR_DETAILED_INDEX 0x80406040u
#define HALP_ERR_DETAILED_NONE 0x80406070u
#define HALP_ERR_EDID2_DETAILED 0x80408070u
#define HALP_ERR_EDID2_CODES 0x8040B070u
#define HALP_ERR_EDID2_ASPECT 0x8040D130u

/* GTF. */
#define HAL_ERR_GTF_VERTICAL 0xA0301070u
#define HAL_ERR_GTF_HORIZONTAL 0xA0302070u
#define HAL_ERR_GTF_PIXEL_CLOCK 0xA0303070u

/* The DDC memory's address, and the clock rate of every DDC step. */
#define DDC_ADDRESS 0xA0u
#define DDC_CLOCK_RATE 5000u

/* The VESA mode records: 41 rows and an end mark whose width is all ones. */
#define VESA_PARAM_ROWS 42
/* An EDID standard-timing code and the mode record it stands for. */
typedef struct _STDDDCEntry {
    ModeInfo Mode;
    uint8_t aucCode[2];
    uint8_t aucSpare[2];
} STDDDCEntry;
QUARN_STATIC_ASSERT(sizeof(STDDDCEntry) == 132, "a standard-timing entry is 132 bytes");

#ifdef __cplusplus
extern "C" {
#endif

extern const ModeInfo VesaParam[VESA_PARAM_ROWS];
extern const STDDDCEntry STDDDCParam[32];
extern const ModeInfo EstabParam[24];

/* ---- DDC and monitor information ---- */
uint32_t HALGetMonitorInfo(BoardHandle *pBoard, uint32_t which);
uint32_t HALGetEdidContent(BoardHandle *pBoard, uint32_t block, uint8_t *pBuffer);
uint32_t HALPGetMonitorInfo(BoardHandle *pBoard, uint32_t which);
uint32_t HALPGetPrimaryMonitorInfo(BoardHandle *pBoard);
uint32_t HALPGetSecondMonitorInfo(BoardHandle *pBoard);
uint32_t HALPReadDDCByte(BoardHandle *pBoard, uint32_t port, uint32_t address, uint32_t offset,
                         uint8_t *pBuffer, uint32_t count);
uint32_t HALPGetEDIDVersion(BoardHandle *pBoard, const uint8_t *pEdid, uint32_t *pVersion);
uint32_t HALPDetectHD15ToTVAdaptor(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HALPGetMonitorProperties(BoardHandle *pBoard, uint32_t index);
uint32_t HALPGetMonitorLimits(BoardHandle *pBoard, uint32_t index);

/* ---- timing extraction ---- */
uint32_t HALGetDDCParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t index);
uint32_t HALPGetDDCEstablishedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                           uint32_t *pCount);
uint32_t HALPGetDDCStandardTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                        uint32_t *pCount);
uint32_t HALPGetDDCDetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                        uint32_t *pCount);
uint32_t HALPGetDDCEstablishedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                     uint32_t index);
uint32_t HALPGetDDCStandardTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                  uint32_t index);
uint32_t HALPGetDDCDetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                  uint32_t index);
uint32_t HALPGetEDID1EstablishedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                             uint32_t *pCount);
uint32_t HALPGetEDID1StandardTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount);
uint32_t HALPGetEDID1DetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount);
uint32_t HALPGetEDID1EstablishedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                       uint32_t index);
uint32_t HALPGetEDID1StandardTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index);
uint32_t HALPGetEDID1DetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index);
uint32_t HALPGetEDID2TimingCodesNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                       uint32_t *pCount);
uint32_t HALPGetEDID2DetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount);
uint32_t HALPGetEDID2TimingCodes(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                 uint32_t index);
uint32_t HALPGetEDID2DetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index);
/* The eight layout bytes of an EDID 2.0 block (block counts and 8-bit
 * starts). */
uint32_t HALPCalcEDID2Offset(BoardHandle *pBoard, const uint8_t *pEdid, uint8_t *pOffsets);
uint32_t HALPGetEDID2DetailedTimingInfo(BoardHandle *pBoard, ModeInfo *pMode,
                                        const uint8_t *pDescriptor);
uint32_t HALPGetEDID2TimingCodesInfo(BoardHandle *pBoard, ModeInfo *pMode, const uint8_t *pCode);
/* Rewrites the first 128 bytes of a 256-byte EDID 2.0 buffer as a 1.1 block. */
uint32_t HALPConvertEDID2toEDID1(BoardHandle *pBoard, uint8_t *pEdid);
/* Decodes an 18-byte detailed timing descriptor's timing words (7 to 18). */
void HALPDecodeDetailedTiming(const uint8_t *pDescriptor, ModeInfo *pMode);

/* ---- GTF ---- */
uint32_t HALGetVerticalGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t refreshHz);
uint32_t HALGetHorizontalGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t lineKHz);
uint32_t HALGetPixelClockGTFParams(BoardHandle *pBoard, ModeInfo *pMode, uint32_t clockKHz);
uint32_t HALPGTFRoundDiv(uint32_t a, uint32_t d);
uint32_t HALPGTFSqrt(uint32_t a, uint32_t hint);

#ifdef __cplusplus
}

namespace edid2 {
enum Kind { kCodes, kDetailed };
// Entry i of a kind in an EDID 2.0 block, or null when the layout puts it
// past the block's 256 bytes or it is beyond the layout's count. The starts
// are computed in full width here: the layout's own 8-bit starts wrap.
const uint8_t *entry(const uint8_t *pEdid, Kind kind, uint32_t i);
uint32_t count(const uint8_t *pEdid, Kind kind);
} // namespace edid2
#endif

#endif
