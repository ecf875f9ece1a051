/*
 * The TV encoder: its output modes (TV from either display controller,
 * YUV, second CRT, colour bars, pass-through), the TV standard and cable
 * type, TV detection, its clock synthesiser and timing generator, and the
 * placement of the picture on the TV (hsl_mav.cpp, hsl_mav_timing.cpp).
 * The encoder's state lives in the handle's TVState (hal_records.h). Every
 * routine takes the board handle first, does nothing while the handle's
 * word holds an error and returns the word.
 */
#ifndef QUARN_HSL_MAV_H
#define QUARN_HSL_MAV_H

#include <stddef.h>
#include <stdint.h>

#include "hal_records.h"

/* Codes of the encoder's mode operations. */
#define HSL_ERR_MAV_VALIDATE_NO_ENCODER 0xB0701060u
#define HSL_ERR_MAV_VALIDATE_SIZE 0xB0701112u
#define HSL_ERR_MAV_VALIDATE_DESK 0xB0701113u
#define HSL_ERR_MAV_VALIDATE_ZOOM 0xB07010F0u
#define HSL_ERR_MAV_VIDEO_STANDARD 0xB0703114u
#define HSL_ERR_MAV_VIDEO_REFRESH 0xB0703111u
#define HSL_ERR_MAV_STANDARD_NO_ENCODER 0xB0706060u
#define HSL_ERR_MAV_STANDARD 0xB0706130u
#define HSL_ERR_MAV_CABLE_NO_ENCODER 0xB0707060u
#define HSL_ERR_MAV_CABLE 0xB0707130u
#define HSL_ERR_MAV_TVOUT_NO_ENCODER 0xB0709060u
#define HSL_ERR_MAV_TVOUT_STANDARD 0xB0709114u
#define HSL_ERR_MAV_COLORBAR_NO_ENCODER 0xB070A060u
#define HSL_ERR_MAV_PASSTHROUGH_NO_ENCODER 0xB070B060u
#define HSL_ERR_MAV_DISABLE_NO_ENCODER 0xB070D060u
#define HSL_ERR_MAV_YUV_NO_ENCODER 0xB0718060u
#define HSL_ERR_MAV_GPIO_NO_ENCODER 0xB071A060u
#define HSL_ERR_MAV_PIXPLL_NO_ENCODER 0xB071B060u
#define HSL_ERR_MAV_POSITION 0xB071C115u
#define HSL_ERR_MAV_GPIO_STATE_NO_ENCODER 0xB071D060u

/* flFeatures bits that mean the board has an encoder. */
#define HSL_MAV_FEATURES 0x180u

/* ucTVMode values. */
enum {
    TV_MODE_OFF = 0,
    TV_MODE_TV_OUT = 1,
    TV_MODE_COLOR_BARS = 2,
    TV_MODE_PASS_THROUGH = 3,
    TV_MODE_CRT = 4,
    TV_MODE_YUV = 5,
    TV_MODE_PASS_THROUGH_MASTER = 6,
    TV_MODE_PIXEL_CLOCK = 7
};

/* The encoder's register set for one standard, in the order
 * HSLMAVInitEncoder writes it. */
typedef struct _EncoderParameters {
    uint32_t aulWord[19];
} EncoderParameters;

/* The encoder's clock and timing generator: words 0-2 the clock (M, N and
 * 0x80 | S << 3 | P), words 3-19 the timing registers (see
 * hsl_mav_timing.cpp for the register each goes to). */
#define TV_TIMING_WORDS 20
typedef struct _TVTimingParameters {
    uint32_t aulWord[TV_TIMING_WORDS];
} TVTimingParameters;

/* The second controller's and encoder's values for YUV output: 0, 1 the
 * horizontal pair, 2, 3 the vertical pair, 4, 5, 6 replacements for
 * encoder words 7, 2, 4, 7 the value of encoder register 33. */
typedef struct _ITU656Parameters {
    uint32_t aulWord[8];
} ITU656Parameters;

QUARN_STATIC_ASSERT(sizeof(EncoderParameters) == 76, "EncoderParameters is 19 words");
QUARN_STATIC_ASSERT(sizeof(TVTimingParameters) == 80, "TVTimingParameters is 20 words");
QUARN_STATIC_ASSERT(sizeof(ITU656Parameters) == 32, "ITU656Parameters is 8 words");
#if defined(__i386__)
QUARN_STATIC_ASSERT(sizeof(TVState) == 36 && offsetof(TVState, TVSettings) == 4,
                    "TVState is 36 bytes");
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- modes and outputs (hsl_mav.cpp) ---- */
uint32_t HSLMAVValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVStandard(BoardHandle *pBoard, uint8_t standard);
uint32_t HSLMAVSetTVCableType(BoardHandle *pBoard, uint8_t cable);
/* *pDetected is one byte: 1 when a TV answers, else 0. */
uint32_t HSLMAVDetectTV(BoardHandle *pBoard, uint8_t *pDetected);
uint32_t HSLMAVSetTVOutMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVOutModeCRTC2(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVColorBarMode(BoardHandle *pBoard);
uint32_t HSLMAVSetTVPassThroughMode(BoardHandle *pBoard, uint32_t master);
uint32_t HSLMAVSetCRTOutMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVYUVMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVYUVModeToucanRev0(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVSetTVDisableMode(BoardHandle *pBoard);
uint32_t HSLMAVInitEncoder(BoardHandle *pBoard, const EncoderParameters *pParams);
uint32_t HSLMAVSetGPIO(BoardHandle *pBoard, uint32_t on);
/* *pState is register B9's bit 0x20. */
uint32_t HSLMAVGetGPIOOutputState(BoardHandle *pBoard, uint8_t *pState);
uint32_t HSLMAVEnableEncoder(BoardHandle *pBoard, uint32_t on);
uint32_t HSLMAVEnableDataTransfer(BoardHandle *pBoard, uint32_t on);
uint32_t HSLMAVSync(BoardHandle *pBoard);
uint32_t HSLMAVReset(BoardHandle *pBoard);
uint32_t HSLMAVResetMAFCInterface(BoardHandle *pBoard);

/* ---- timing, clock and position (hsl_mav_timing.cpp) ---- */
uint32_t HSLMAVSetPLL(BoardHandle *pBoard, const TVTimingParameters *pTiming);
uint32_t HSLMAVSetCRTC(BoardHandle *pBoard, ModeInfo *pMode, const TVTimingParameters *pTiming);
/* Leaves M, N, P, S as they were when no candidate comes closer than the
 * largest error (only a frequency past the search's reach). */
uint32_t HSLMAVComputePLLParam(BoardHandle *pBoard, uint32_t freqKHz, uint32_t *pM, uint32_t *pN,
                               uint32_t *pP, uint32_t *pS);
uint32_t HSLMAVCalculateTVPosition(BoardHandle *pBoard, ModeInfo *pMode,
                                   TVTimingParameters *pTiming);
uint32_t HSLMAVValidateTVPosition(BoardHandle *pBoard, ModeInfo *pMode,
                                  TVTimingParameters *pTiming);
uint32_t HSLMAVAdjustTVPosition(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVApplyVrstPatch(BoardHandle *pBoard, ModeInfo *pMode);
/* The record built from a mode's own timings; crtOut selects the second-CRT
 * variant (vertical position word lVSync - 1). */
uint32_t HSLMAVTimingFromMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t crtOut,
                              TVTimingParameters *pTiming);
uint32_t HSLMAVPIXPLLSET(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLMAVCRTC2SetITU656(BoardHandle *pBoard, ModeInfo *pMode);

/* ---- the parameter tables and picture controls these call
 * (hsl_mav_tables.cpp, hsl_mav_procamp.cpp) ---- */
uint32_t HSLMAVGetEncoderParameters(BoardHandle *pBoard, uint8_t standard,
                                    EncoderParameters *pParams);
uint32_t HSLMAVGetTimingParameters(BoardHandle *pBoard, uint8_t standard, ModeInfo *pMode,
                                   TVTimingParameters *pTiming);
uint32_t HSLMAVGetColorBarTimingParameters(BoardHandle *pBoard, uint8_t standard,
                                           TVTimingParameters *pTiming);
uint32_t HSLMAVGetCVE2ITU656Parameters(BoardHandle *pBoard, ModeInfo *pMode,
                                       ITU656Parameters *pParams);
/* groups 0 means all. */
uint32_t HSLMAVSetTVProcAmp(BoardHandle *pBoard, TVProcAmpSettings *pSettings, uint32_t groups);

#ifdef __cplusplus
}
#endif

#endif
