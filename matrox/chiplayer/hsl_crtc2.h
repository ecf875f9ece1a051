/*
 * The second display controller of the dual-head families: timing and pixel
 * format of a mode, display start, line pitch, preload and stop, all through
 * its 32-bit registers in the control-register window. Every routine takes
 * the board handle first, does nothing while the handle's word holds an
 * error, records no error of its own and returns the word.
 */
#ifndef QUARN_HSL_CRTC2_H
#define QUARN_HSL_CRTC2_H

#include <stdint.h>

#include "hal_records.h"

/* Register offsets of the second CRTC. */
#define CRTC2_CONTROL 0x3C10u
#define CRTC2_HPARAM 0x3C14u
#define CRTC2_HSYNC 0x3C18u
#define CRTC2_VPARAM 0x3C1Cu
#define CRTC2_VSYNC 0x3C20u
#define CRTC2_PRELOAD 0x3C24u
#define CRTC2_START0_SECOND 0x3C28u /* first plane */
#define CRTC2_START0_FIRST 0x3C2Cu
#define CRTC2_START2_SECOND 0x3C30u /* third plane */
#define CRTC2_START2_FIRST 0x3C34u
#define CRTC2_START1_SECOND 0x3C38u /* second plane */
#define CRTC2_START1_FIRST 0x3C3Cu
#define CRTC2_OFFSET 0x3C40u
#define CRTC2_MISC 0x3C44u
#define CRTC2_VCOUNT 0x3C48u
#define CRTC2_DATA_CONTROL 0x3C4Cu

/* Control word bits. */
#define CRTC2_CONTROL_ENABLE 0x1u
#define CRTC2_CONTROL_STOPPED 0x8u
#define CRTC2_CONTROL_FORMAT_SHIFT 21
#define CRTC2_CONTROL_FORMAT_MASK 0x00E00000u
#define CRTC2_CONTROL_RUN 0x02000000u /* cleared when stopped */
#define CRTC2_CONTROL_PRIORITIES 0x00000770u

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HSLCRTC2Set(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCRTC2SetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y);
uint32_t HSLCRTC2SetPitch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HSLCRTC2SetPreload(BoardHandle *pBoard, uint32_t h, uint32_t v);
uint32_t HSLCRTC2Disable(BoardHandle *pBoard);

#ifdef __cplusplus
}
#endif

#endif
