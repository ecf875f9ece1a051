/*
 * Step changes of a display mode's timing (HALModifyVideoParameters): move
 * the picture, widen or narrow it, change the refresh rate, a porch, a sync
 * width, a sync polarity or interlacing, one step at a time.
 *
 * Each step changes one or two timing fields of the caller's ModeInfo,
 * recomputes lPixClock and lHorizontalRate from the new totals so that the
 * refresh rate stays where it was (or moves by one hertz), and hands the
 * result to the family's video-parameter validation through
 * HALValidateVideoParameters, whose result is the step's. A step does
 * nothing while the handle's word holds an error. A step that passes its
 * bound (a porch or sync below zero, a refresh rate of 0) records its code
 * and skips the validation; the changed field stays in the record.
 */
#ifndef QUARN_HAL_VIDPARAM_H
#define QUARN_HAL_VIDPARAM_H

#include <stdint.h>

#include "hal_records.h"

/* Codes of the step module. */
#define HALP_ERR_REFRESH_ZERO 0x80502130u
#define HALP_ERR_HFPORCH_NEGATIVE 0x80504130u
#define HALP_ERR_HSYNC_NEGATIVE 0x80505130u
#define HALP_ERR_HBPORCH_NEGATIVE 0x80506130u
#define HALP_ERR_VFPORCH_NEGATIVE 0x80507130u
#define HALP_ERR_VSYNC_NEGATIVE 0x80508130u
#define HALP_ERR_VBPORCH_NEGATIVE 0x80509130u

#ifdef __cplusplus
extern "C" {
#endif

/* The public entry point: one step change of the given type; the routines
 * below are its private steps. */
uint32_t HALModifyVideoParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type,
                                  uint32_t value);

/* `on` not 0 sets the bit (positive sync, interlaced), 0 clears it. */
uint32_t HALPChangeHorizontalSyncPolarity(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on);
uint32_t HALPChangeVerticalSyncPolarity(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on);
uint32_t HALPChangeInterlaceMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t on);

/* Two porches at once: the first step, then the second unless the first
 * failed, then one more validation. */
uint32_t HALPMoveDisplayToRight(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPMoveDisplayToLeft(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPMoveDisplayToUp(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPMoveDisplayToDown(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPExpandDisplayToHorizontal(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPExpandDisplayToVertical(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPShrinkDisplayToHorizontal(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPShrinkDisplayToVertical(BoardHandle *pBoard, ModeInfo *pMode);

/* Horizontal porches and sync move in steps of 8 pixels from a multiple of
 * 8, vertical ones by a line. */
uint32_t HALPIncrementPixelClock(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementVerticalRefreshRate(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementHorizontalRate(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementHorizontalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementHorizontalSync(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementHorizontalBackPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementVerticalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementVerticalSync(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPIncrementVerticalBackPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementPixelClock(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementVerticalRefreshRate(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementHorizontalRate(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementHorizontalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementHorizontalSync(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementHorizontalBackPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementVerticalFrontPorch(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementVerticalSync(BoardHandle *pBoard, ModeInfo *pMode);
uint32_t HALPDecrementVerticalBackPorch(BoardHandle *pBoard, ModeInfo *pMode);

/* The step change types 13 to 38, by type; null outside them. */
typedef uint32_t (*HALPVideoStepRoutine)(BoardHandle *pBoard, ModeInfo *pMode);
HALPVideoStepRoutine HALPVideoStepFor(uint32_t type);

#ifdef __cplusplus
}
#endif

#endif
