/*
 * Optional devices on the board's second I2C bus and the DAC pins: their
 * detection, the flat-panel link module with its AV9110 clock synthesiser,
 * the MSP audio processor, and register access to the TV encoder and the
 * second HD15 module.
 */
#ifndef QUARN_HAL_ADDON_H
#define QUARN_HAL_ADDON_H

#include <stdint.h>

#include "hal_records.h"

/* flFeatures bits of the add-ons. */
enum {
    FEATURE_DECODER_RR2 = 0x20,
    FEATURE_DECODER = 0x40,
    FEATURE_ENCODER = 0x80,
    FEATURE_ENCODER_ALT = 0x100,
    FEATURE_MJPEG_RR2 = 0x200,
    FEATURE_MJPEG = 0x400,
    FEATURE_DVD = 0x800,
    FEATURE_DVD_ALT = 0x1000,
    FEATURE_PANEL_LINK = 0x2000,
    FEATURE_PANEL_LINK_ALT = 0x4000,
    FEATURE_TUNER = 0x8000,
    FEATURE_TUNER_ALT = 0x10000,
    FEATURE_SECOND_HD15 = 0x40000
};

#define ADDON_I2C_PORT 1u
#define HSL_ERR_MSP_RESET 0xB0E03122u
#define HSL_ERR_MSP_WRITE 0xB0E04122u
#define HSL_ERR_MAV_READ 0xB0403121u
#define HSL_ERR_MAV_WRITE 0xB0404121u
/* A pixel clock the AV9110 cannot be set to without overflowing its
 * doubling count (0, or below 15626 kHz). */
#define HSL_ERR_AV9110_RANGE 0xB0F01130u
/* The lowest request whose doubling count fits the word's two bits. */
#define AV9110_MIN_KHZ 15626u

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HALPDetectAddOn(BoardHandle *pBoard);
uint32_t HSLDetectMaven(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectVideoDecoder(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectRR2(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectDVD(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectMJPEG(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectPanelLinkModule(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectMSP(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectTVTuner(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HSLDetectSecondHD15(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HALPDetectNoTV(BoardHandle *pBoard, uint32_t *pFound);
uint32_t HALPGetEdidInCode(BoardHandle *pBoard);

uint32_t HSLReadPanelLinkModuleRegister(BoardHandle *pBoard, uint8_t *pValue);
uint32_t HSLWritePanelLinkModuleRegister(BoardHandle *pBoard, uint32_t value);
uint32_t HSLEnablePanelLinkModuleOutput(BoardHandle *pBoard, uint32_t enable);
uint32_t HSLGetPanelLinkModuleOutputState(BoardHandle *pBoard, uint32_t *pOn);
uint32_t HSLFlatEnableMAFC(BoardHandle *pBoard, uint32_t enable);
uint32_t HSLFlatAV9110WriteRegister(BoardHandle *pBoard, uint32_t word);
uint32_t HSLAV9110SetPixelPLL(BoardHandle *pBoard, uint32_t freqKHz);

uint32_t HSLMSPI2CGetVersion(BoardHandle *pBoard, uint32_t address, uint32_t *pVersion);
uint32_t HSLMSPI2CSoftReset(BoardHandle *pBoard);
uint32_t HSLMSPI2CWriteWord(BoardHandle *pBoard, uint32_t reg, uint32_t value);
uint32_t HSLMSPSetAudioPassThroughMode(BoardHandle *pBoard);

uint32_t HSLMAVI2CRead(BoardHandle *pBoard, uint32_t reg, uint8_t *pBytes, uint32_t count);
uint32_t HSLMAVI2CWrite(BoardHandle *pBoard, uint32_t reg, const uint8_t *pBytes, uint32_t count);
uint32_t HSLMAVI2CReadSecondHD15Module(BoardHandle *pBoard, uint8_t *pValue);
uint32_t HSLMAVI2CWriteSecondHD15Module(BoardHandle *pBoard, uint32_t value);
uint32_t HSLMAVBitConvToEncoder(uint32_t value, uint32_t width, uint8_t *pBytes);
uint32_t HSLMAVBitConvFromEncoder(const uint8_t *pBytes, uint32_t width, uint32_t *pValue);

#ifdef __cplusplus
}
#endif

#endif
