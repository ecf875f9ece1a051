/*
 * The dual-head families' mode layer (hsl_tou_mode.cpp): output routes,
 * mode and clock checks, pitch and placement, the mode set on either
 * display controller, the display start, the memory-request priorities of
 * both controllers, and the flat-panel port and pixel-clock routing.
 *
 * The bodies serve toucan and, with a family record of its own, condor:
 * the record carries the family's code module numbers, the set-up routines
 * its mode set calls and the few steps where the two differ. The HSLTOU
 * routines are these bodies with the toucan record.
 */
#ifndef QUARN_HSL_TOU_MODE_H
#define QUARN_HSL_TOU_MODE_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the toucan mode layer (condor's carry its own module numbers). */
#define HSL_ERR_TOU_ROUTE 0xB0D191D0u
#define HSL_ERR_TOU_DESK_WIDTH 0xB0D01190u
#define HSL_ERR_TOU_NO_OUTPUT_HW 0xB0D01060u
#define HSL_ERR_TOU_SIZE 0xB0D01112u
#define HSL_ERR_TOU_ZOOM 0xB0D010F0u
#define HSL_ERR_TOU_DEPTH 0xB0D01100u
#define HSL_ERR_TOU_MEMORY 0xB0D01020u
#define HSL_ERR_TOU_PITCH_DEPTH 0xB0C0E100u
#define HSL_ERR_TOU_PITCH_WIDTH 0xB0C0E140u
#define HSL_ERR_TOU_NO_CLOCK 0xB0D02031u
#define HSL_ERR_TOU_CLOCK_LIMIT 0xB0D02030u
#define HSL_ERR_TOU_INTERLACE 0xB0D021D0u
#define HSL_ERR_TOU_CLOCK_DEPTH 0xB0D02100u
#define HSL_ERR_TOU_VOVSCAN 0xB0D02070u
#define HSL_ERR_TOU_SET_ROUTE 0xB0D041D0u
#define HSL_ERR_TOU_ROUTE7 0xB0D080E0u
#define HSL_ERR_TOU_ROUTE8 0xB0D090E0u
#define HSL_ERR_TOU_ROUTE11 0xB0D130E0u
#define HSL_ERR_TOU_ROUTE12 0xB0D140E0u
#define HSL_ERR_TOU_ROUTE13 0xB0D150E0u
#define HSL_ERR_TOU_ROUTE14 0xB0D160E0u
#define HSL_ERR_TOU_FLAT_CRTC2 0xB0D0F0E0u
#define HSL_ERR_TOU_MAFC_CODE 0xB0C14130u

/* lModeType bits of the dual-head routes beyond hal_records.h's. */
#define MODE_TYPE_INTERLACED_CRTC2 0x800000
#define MODE_TYPE_SECOND_CRT 0x8000000
#define MODE_TYPE_ROUTE_MASK 0x1FF80000u

/* Output routes of the dual-head families (0: none). */
enum {
    DUAL_ROUTE_NONE = 0,
    DUAL_ROUTE_CRTC1_NO_OUTPUT = 1,
    DUAL_ROUTE_CRTC1_DAC = 2,
    DUAL_ROUTE_CRTC1_DAC_FLAT = 3,
    DUAL_ROUTE_CRTC1_DAC_CRT = 4,
    DUAL_ROUTE_CRTC1_DAC_TV = 5,
    DUAL_ROUTE_CRTC1_FLAT = 6,
    DUAL_ROUTE_CRTC1_CRT = 7,
    DUAL_ROUTE_CRTC1_TV = 8,
    DUAL_ROUTE_CRTC2_NO_OUTPUT = 9,
    DUAL_ROUTE_CRTC2_DAC = 10,
    DUAL_ROUTE_CRTC2_DAC_FLAT = 11,
    DUAL_ROUTE_CRTC2_DAC_CRT = 12,
    DUAL_ROUTE_CRTC2_DAC_TV = 13,
    DUAL_ROUTE_CRTC2_DAC_TV_YUV = 14,
    DUAL_ROUTE_CRTC2_FLAT = 15,
    DUAL_ROUTE_CRTC2_CRT = 16,
    DUAL_ROUTE_CRTC2_TV = 17,
    DUAL_ROUTE_CRTC2_TV_YUV = 18
};

#ifdef __cplusplus

namespace hsldual {

/* What one dual-head family's mode layer does its own way. */
struct ModeFamily {
    uint32_t chipModule; /* module number of the chip-operation codes (0x0C toucan) */
    uint32_t modeModule; /* and of the mode-layer codes (0x0D toucan) */
    uint32_t (*powerUp)(BoardHandle *);
    uint32_t (*initHardware)(BoardHandle *);
    uint32_t (*programSystemClock)(BoardHandle *, SysClockInfo *);
    /* Only the DAC routes pass validation (routes 1, 2, 9, 10). */
    bool dacRoutesOnly;
    /* Both controllers displaying get their priorities computed. */
    bool dualPriorities;
    /* Route 2 turns the flat panel on when the second monitor asks for it. */
    bool route2Flat;
    /* Routes 4 and 16 work on a copy with their porches in whole 8 pixels. */
    bool roundedCrtCopy;
    /* A first-CRTC mode set also releases the flat-panel port when the
     * second CRTC has no output. */
    bool releasePortWithoutCrtc2;
    /* SetDisplayStart serves the second CRTC. */
    bool crtc2DisplayStart;
    /* The YUV route on revision 0 uses the first encoder set-up. */
    bool yuvRev0;
    /* The flat-panel port and pixel-clock routing slots (29, 30) exist;
     * without them the steps that release or route them are left out. */
    bool portSlots = true;
    /* The YUV route of later revisions programs the second CRTC and the
     * encoder's YUV mode rather than the ITU-656 stream. */
    bool yuvThroughEncoder = false;
};

extern const ModeFamily kToucanModeFamily;

/* A toucan code in the family's modules. */
uint32_t familyCode(const ModeFamily &f, uint32_t toucanCode);

uint32_t validateOutputMode(const ModeFamily &f, BoardHandle *b, ModeInfo *m, uint32_t *pRoute);
uint32_t validateMode(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t validateVideoParameters(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t setModeCaps(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t computePitch(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t computeDstOrg(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t setMode(const ModeFamily &f, BoardHandle *b, ModeInfo *m);
uint32_t setDisplayStart(const ModeFamily &f, BoardHandle *b, uint32_t x, uint32_t y,
                         uint32_t crtc);
uint32_t runRoute(const ModeFamily &f, BoardHandle *b, ModeInfo *m, uint32_t route);
/* The YUV route's set-up for the first encoder revision (rev0) or later. */
uint32_t runYuvRoute(const ModeFamily &f, BoardHandle *b, ModeInfo *m, bool rev0);
uint32_t disableCrtc1Output(const ModeFamily &f, BoardHandle *b);
uint32_t disableCrtc2Output(const ModeFamily &f, BoardHandle *b);

} // namespace hsldual

extern "C" {
#endif

uint32_t HSLTOUValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute);
uint32_t HSLTOUValidateMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUValidateLatency(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUComputePitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetMode(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y, uint32_t crtc);
uint32_t HSLTOUHipriDualUnit(BoardHandle *pBoard, ModeInfo *pMode1, ModeInfo *pMode2,
                             uint8_t *pPriority1, uint8_t *pPriority2);
uint32_t HSLTOUControlMAFCPort(BoardHandle *pBoard, uint32_t code);
uint32_t HSLTOURoutePixelClock(BoardHandle *pBoard, uint32_t code);
uint32_t HSLTOUDisableCRTC1Output(BoardHandle *pBoard);
uint32_t HSLTOUDisableCRTC2Output(BoardHandle *pBoard);

uint32_t HSLTOUSetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToDacCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToDac(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToDacCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToDacTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToDacTV_YUV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToFlat(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToCRT(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToTV(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToTV_YUVRev0(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLTOUSetModeCRTC2ToTV_YUV(BoardHandle *pBoard, ModeInfo *pMode);

#ifdef __cplusplus
}
#endif

#endif
