// Register helpers of the TV encoder's routines: one register, a value at a
// packing width, and a 16-bit word low byte first. Each does nothing while
// the handle's word holds an error (the transfers test it).
#pragma once

#include <stdint.h>

#include "hal_addon.h"
#include "hal_error.h"
#include "hsl_mav.h"

namespace mav {

inline bool failed(const BoardHandle *b) {
    return !IsNotAnError(b->ulErrorCode);
}

inline bool hasEncoder(const BoardHandle *b) {
    return (b->flFeatures & HSL_MAV_FEATURES) != 0;
}

// A failed read answers 0; the error it leaves stops every later step.
inline uint8_t rd(BoardHandle *b, uint32_t reg) {
    uint8_t v = 0;
    HSLMAVI2CRead(b, reg, &v, 1);
    return v;
}

inline void wr(BoardHandle *b, uint32_t reg, uint32_t value) {
    const uint8_t v = uint8_t(value);
    HSLMAVI2CWrite(b, reg, &v, 1);
}

// Read-modify-write: keep the bits of `keep`, then OR `set`.
inline void rmw(BoardHandle *b, uint32_t reg, uint8_t keep, uint8_t set) {
    const uint8_t v = rd(b, reg);
    if (!failed(b))
        wr(b, reg, uint8_t((v & keep) | set));
}

// A value packed at `width` bits into consecutive registers.
inline void wrWidth(BoardHandle *b, uint32_t reg, uint32_t value, uint32_t width) {
    uint8_t bytes[4] = {};
    HSLMAVBitConvToEncoder(value, width, bytes);
    const uint32_t count = width == 8 ? 1 : width == 32 ? 4 : 2;
    HSLMAVI2CWrite(b, reg, bytes, count);
}

// A 16-bit register pair from a word, low byte first.
inline void wr16(BoardHandle *b, uint32_t reg, uint32_t word) {
    const uint8_t bytes[2] = {uint8_t(word), uint8_t(word >> 8)};
    HSLMAVI2CWrite(b, reg, bytes, 2);
}

inline uint32_t rd16(BoardHandle *b, uint32_t reg) {
    uint8_t bytes[2] = {};
    HSLMAVI2CRead(b, reg, bytes, 2);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
}

} // namespace mav
