/*
 * The chip layer's status word: every outcome of a sequence of chip-layer
 * steps and client services in one 32-bit code, kept in the handle's
 * ulErrorCode. A sequence keeps its first error, so the caller sees the step
 * that failed first, and a step that finds an error recorded does nothing.
 *
 *   bits 31-30  severity: 00 success, 01 warning, 10 error (11 counts as one)
 *   bits 29-28  layer: 00 private routines, 01 client services, 10 public
 *               entry points, 11 chip-layer routines
 *   bits 27-20  module within the layer
 *   bits 19-12  function within the module
 *   bits 11-0   reason
 */
#ifndef QUARN_HAL_ERROR_H
#define QUARN_HAL_ERROR_H

#include <stdint.h>

#include "hal_records.h"

#define HAL_SEVERITY_SHIFT 30
#define HAL_LAYER_SHIFT 28
#define HAL_MODULE_SHIFT 20
#define HAL_FUNCTION_SHIFT 12
#define HAL_SEVERITY_MASK 0xC0000000u
#define HAL_REASON_MASK 0x00000FFFu

enum { HAL_SEVERITY_SUCCESS = 0, HAL_SEVERITY_WARNING = 1, HAL_SEVERITY_ERROR = 2 };
enum { HAL_LAYER_PRIVATE = 0, HAL_LAYER_CLIENT = 1, HAL_LAYER_PUBLIC = 2, HAL_LAYER_CHIP = 3 };

#define HAL_CODE(severity, layer, module, function, reason)                                        \
    ((uint32_t)(severity) << HAL_SEVERITY_SHIFT | (uint32_t)(layer) << HAL_LAYER_SHIFT |           \
     (uint32_t)(module) << HAL_MODULE_SHIFT | (uint32_t)(function) << HAL_FUNCTION_SHIFT |         \
     (uint32_t)(reason))

/* Reasons that recur across modules. */
enum {
    HAL_REASON_NOT_SUPPORTED = 0x060,
    HAL_REASON_NOT_AVAILABLE = 0x065,
    HAL_REASON_NOT_ALLOWED = 0x0E0
};

/* Codes of the public, dispatch, video-parameter and client modules. */
#define HAL_OK 0x00000000u
#define HAL_ERR_BOARD_NOT_SUPPORTED 0xA0203060u /* HALQueryBoardSupport */
#define HSL_ERR_NO_CHIP_FAMILY 0xB0302060u      /* HSLInitDeviceJumpTable */
#define HSL_ERR_SLOT_NOT_INITIALISED 0xB0303065u
#define HAL_ERR_VESA_NO_ENTRY 0xA0501070u
#define HAL_ERR_VESA_NO_VARIANT 0xA0501040u
#define HAL_ERR_CHANGE_NOT_ALLOWED 0xA05020E0u
#define HAL_ERR_CHANGE_TYPE 0xA0502130u
#define HAL_ERR_REFRESH_TOO_LOW 0xA0502111u
#define CLIENT_ERR_OPEN_SYSTEM_DEVICE 0x901000E0u
#define CLIENT_ERR_CLOSE_SYSTEM_DEVICE 0x901100E0u
#define CLIENT_ERR_READ_SYSTEM_DEVICE_BYTE 0x901200E0u
#define CLIENT_ERR_READ_SYSTEM_DEVICE_DWORD 0x901300E0u
#define CLIENT_ERR_WRITE_SYSTEM_DEVICE_BYTE 0x901400E0u
#define CLIENT_ERR_WRITE_SYSTEM_DEVICE_DWORD 0x901500E0u
#define CLIENT_ERR_NO_BIOS 0xB0102170u  /* I/O decoding off, or no ROM with "PCIR" */
#define CLIENT_ERR_NO_PINS 0xB0101160u  /* no valid board-data block */
#define HALP_WARN_I2C_CLOCK 0x40302080u /* the I2C step clamped a bus clock */

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the severity is success or warning, else 0. */
uint32_t IsNotAnError(uint32_t code);
/* The first error of a sequence sticks; a warning gives way only to an error. */
uint32_t ReturnCorrectError(uint32_t oldCode, uint32_t newCode);
/* Merges `code` into the handle's word and returns the result. */
uint32_t SetErr(BoardHandle *pBoard, uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
