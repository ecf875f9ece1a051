// The display pitch of the Cirrus Logic chips' CRTC, shared by the adapter
// models: the offset register counts 8-byte units, bits 7-0 in CR13 and
// bit 8 in CR1B bit 4.
#pragma once

#include <cstdint>

#include "vga.h"

namespace sim {

inline uint32_t cirrusDisplayPitch(const vga::Crtc &crtc) {
    uint32_t offset = crtc.reg(0x13) | ((crtc.reg(0x1B) & 0x10u) << 4);
    return offset * 8;
}

} // namespace sim
