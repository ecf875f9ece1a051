// The memory-size strap the Cirrus Logic chips report in SR0F, shared by the
// adapter models: bits 4-3 hold 1 for 512 KB, 2 for 1 MB, 3 for 2 MB. Two
// bits leave no code for a fourth size; a board with 4 MB keeps 3 there and
// sets bit 7 as well (the models' choice; software that reads only bits 4-3
// sees 2 MB on such a board).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sim {

inline constexpr uint8_t kCirrusStrapShift = 3;
inline constexpr uint8_t kCirrusStrap4MB = 0x80;

// The strap for `size` bytes of video memory; 0x400000 only where the model
// builds 4 MB boards (`fourMegabytes`), other sizes not at all.
inline uint8_t cirrusMemoryStrap(uint32_t size, const std::string &model,
                                 bool fourMegabytes = false) {
    switch (size) {
    case 0x80000:
        return 1 << kCirrusStrapShift;
    case 0x100000:
        return 2 << kCirrusStrapShift;
    case 0x200000:
        return 3 << kCirrusStrapShift;
    case 0x400000:
        if (fourMegabytes)
            return 3 << kCirrusStrapShift | kCirrusStrap4MB;
        break;
    default:
        break;
    }
    throw std::invalid_argument(model + " adapter: MEMSIZE must be 0x80000, 0x100000 or 0x200000" +
                                (fourMegabytes ? " (or 0x400000 for 4 MB)" : ""));
}

} // namespace sim
