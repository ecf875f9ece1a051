/*
 * The TV encoder's constant tables (hsl_mav_tabledata.cpp) and their
 * lookups (hsl_mav_tables.cpp), and the picture controls
 * (hsl_mav_procamp.cpp).
 *
 * Every entry starts with four key bytes; a table ends with an entry whose
 * first byte is 0xFF. A lookup walks its table from the start and takes
 * the first entry whose compared keys all match. The keys: the encoder's
 * version (ucMavenVersion), the TV standard (0: 625 lines, 50 Hz; 1: 525
 * lines, 60 Hz), the board id (HSLMAVGetBoardIDForParameters) and, where
 * the entry depends on it, the screen size. A key combination without an
 * entry records the table's code and leaves the caller's record as it was.
 */
#ifndef QUARN_HSL_MAV_TABLES_H
#define QUARN_HSL_MAV_TABLES_H

#include <stdint.h>

#include "hal_records.h"
#include "hsl_mav.h"

/* Codes of the table lookups. */
#define HSL_ERR_MAV_TVPARM_NO_ENCODER 0xB0501060u
#define HSL_ERR_MAV_TVPARM 0xB0501070u
#define HSL_ERR_MAV_ENCODER_PARM 0xB0502071u
#define HSL_ERR_MAV_TIMING_PARM 0xB0504071u
#define HSL_ERR_MAV_COLORBAR_PARM 0xB0505071u
#define HSL_ERR_MAV_PROCAMP_PARM 0xB0506071u
#define HSL_ERR_MAV_LUMA_PARM 0xB0507071u
#define HSL_ERR_MAV_GAMMA_PARM 0xB0508071u
#define HSL_ERR_MAV_MODIFY_NOT_ALLOWED 0xB05090E0u
#define HSL_ERR_MAV_MODIFY_RANGE 0xB0509130u
#define HSL_ERR_MAV_VSCALE_NO_ENCODER 0xB050A060u
#define HSL_ERR_MAV_VSCALE_PARM 0xB050A070u
#define HSL_ERR_MAV_ITU656_PARM 0xB050B070u
/* HSLMAVSetTVProcAmp on a board without an encoder. */
#define HSL_ERR_MAV_PROCAMP_NO_ENCODER 0xB0601060u

#define MAV_TABLE_END 0xFFu

/* HSLMAVGetTVProcAmp kinds. */
enum {
    TV_PROCAMP_MINIMA = 0,
    TV_PROCAMP_DEFAULTS = 1,
    TV_PROCAMP_MAXIMA = 2,
    TV_PROCAMP_STEPS = 3,
    TV_PROCAMP_CURRENT = 4,
    TV_PROCAMP_PRESET = 5
};

/* HSLMAVSetTVProcAmp groups, applied in the order of the comments. */
enum {
    TV_PROCAMP_FILTERS = 0x01,    /* 1st: text filter, dot-crawl freeze, black and white */
    TV_PROCAMP_DEFLICKER = 0x02,  /* 2nd */
    TV_PROCAMP_SATURATION = 0x04, /* 3rd */
    TV_PROCAMP_BRIGHTNESS = 0x08, /* 5th: both levels */
    TV_PROCAMP_CONTRAST = 0x10,   /* 6th: both levels again */
    TV_PROCAMP_HUE = 0x20,        /* 4th */
    TV_PROCAMP_GAMMA = 0x40,      /* 7th */
    TV_PROCAMP_ALL = 0x7F
};

/* flTVOptions bits. */
enum { TV_OPTION_TEXT_FILTER = 0x1, TV_OPTION_DOT_CRAWL_FREEZE = 0x2, TV_OPTION_BLACK_WHITE = 0x4 };

/* ---- table entries ---- */

typedef struct _MavEncoderEntry {
    uint8_t aucKey[4]; /* version, standard, board, 0 */
    EncoderParameters Params;
} MavEncoderEntry;

typedef struct _MavModeEntry {
    uint8_t aucKey[4]; /* version (not compared in the YUV table), standard, board, 0 */
    ModeInfo Mode;
} MavModeEntry;

typedef struct _MavTimingEntry {
    uint8_t aucKey[4]; /* version, standard, board, 0 */
    uint32_t ulWidth;  /* not compared in the colour-bar table */
    uint32_t ulHeight;
    TVTimingParameters Timing;
} MavTimingEntry;

typedef struct _MavVScaleEntry {
    uint8_t aucKey[4]; /* version, board, 0, 0; the standard is lSignalMode bit 4 */
    uint32_t aulScale[4];
    ModeInfo Mode;
} MavVScaleEntry;

typedef struct _MavProcAmpEntry {
    uint8_t aucKey[4]; /* version, standard, board, kind */
    TVProcAmpSettings Settings;
} MavProcAmpEntry;

typedef struct _MavLumaEntry {
    uint8_t aucKey[4];   /* version, standard, board, 0 */
    uint32_t aulLuma[4]; /* black limit, white limit, two swing words */
} MavLumaEntry;

typedef struct _MavGammaEntry {
    uint8_t aucKey[4]; /* gamma key, 0, 0, 0 */
    uint32_t aulGamma[14];
} MavGammaEntry;

typedef struct _MavITU656Entry {
    uint8_t aucKey[4]; /* 0x14 (not compared), standard, board, 0 */
    uint32_t ulWidth;
    uint32_t ulHeight;
    ITU656Parameters Params;
} MavITU656Entry;

QUARN_STATIC_ASSERT(sizeof(MavEncoderEntry) == 80, "encoder entries are 80 bytes");
QUARN_STATIC_ASSERT(sizeof(MavModeEntry) == 132, "mode entries are 132 bytes");
QUARN_STATIC_ASSERT(sizeof(MavTimingEntry) == 92, "timing entries are 92 bytes");
QUARN_STATIC_ASSERT(sizeof(MavVScaleEntry) == 148, "scale entries are 148 bytes");
QUARN_STATIC_ASSERT(sizeof(MavProcAmpEntry) == 36, "picture-setting entries are 36 bytes");
QUARN_STATIC_ASSERT(sizeof(MavLumaEntry) == 20, "luminance entries are 20 bytes");
QUARN_STATIC_ASSERT(sizeof(MavGammaEntry) == 60, "gamma entries are 60 bytes");
QUARN_STATIC_ASSERT(sizeof(MavITU656Entry) == 44, "ITU-R 656 entries are 44 bytes");

#ifdef __cplusplus
extern "C" {
#endif

extern const MavEncoderEntry MavEncoderParm[];
extern const MavModeEntry MavTVParm[];
extern const MavModeEntry MavTV_YUVParm[];
extern const MavTimingEntry MavTimingParm[];
extern const MavTimingEntry MavTimingColorBarParm[];
extern const MavVScaleEntry MavVScaleTVParm[];
extern const MavProcAmpEntry MavProcAmpParm[];
extern const MavLumaEntry MavLumaParm[];
extern const MavGammaEntry MavGammaParm[];
extern const MavITU656Entry CVE2ITU656Parm[];

/* ---- lookups (hsl_mav_tables.cpp); HSLMAVGetEncoderParameters,
 * HSLMAVGetTimingParameters, HSLMAVGetColorBarTimingParameters and
 * HSLMAVGetCVE2ITU656Parameters are declared in hsl_mav.h ---- */

/* 1 on a chip of device 0x0525 past revision 1, else 0. */
uint32_t HSLMAVGetBoardIDForParameters(BoardHandle *pBoard, uint8_t *pBoardId);
/* Fills words 7 to 22 of the mode (7 to 18 for a YUV mode) from the table. */
uint32_t HSLMAVGetTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint8_t standard);
/* The mode's timings for its vertical size step (TV word 22). */
uint32_t HSLMAVGetVScaleTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint8_t standard);
uint32_t HSLMAVGetTimingParametersOldMethod(BoardHandle *pBoard, uint8_t standard, uint32_t width,
                                            uint32_t height, TVTimingParameters *pTiming);
/* kind 4 copies the current settings; the others read the table. */
uint32_t HSLMAVGetTVProcAmp(BoardHandle *pBoard, TVProcAmpSettings *pSettings, uint8_t standard,
                            uint8_t kind);
uint32_t HSLMAVGetLumaParameters(BoardHandle *pBoard, uint8_t standard, uint32_t *pLuma);
uint32_t HSLMAVGetGammaParameters(BoardHandle *pBoard, uint8_t key, uint32_t *pGamma);
/* One step of HALModifyVideoParameters on a TV mode; value is not read. */
uint32_t HSLMAVModifyTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type,
                                  uint32_t value);

/* ---- picture controls (hsl_mav_procamp.cpp) ---- */
uint32_t HSLMAVSetTextFilter(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetDotCrawlFreeze(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetOutputBW(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetSaturation(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetHue(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetDeflicker(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
/* Both levels from brightness and contrast together. */
uint32_t HSLMAVSetBrightness(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetConstrast(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);
uint32_t HSLMAVSetGamma(BoardHandle *pBoard, const TVProcAmpSettings *pSettings);

#ifdef __cplusplus
}
#endif

#endif
