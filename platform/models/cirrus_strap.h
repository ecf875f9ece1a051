// The memory-size strap the Cirrus Logic chips report in SR0F bits 4-3
// (1: 512 KB, 2: 1 MB, 3: 2 MB), shared by the adapter models.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sim {

// The strap for `size` bytes of video memory; other sizes are not boards
// these models build.
inline uint8_t cirrusMemoryStrap(uint32_t size, const std::string &model) {
    switch (size) {
    case 0x80000:
        return 1 << 3;
    case 0x100000:
        return 2 << 3;
    case 0x200000:
        return 3 << 3;
    default:
        throw std::invalid_argument(model +
                                    " adapter: MEMSIZE must be 0x80000, 0x100000 or 0x200000");
    }
}

} // namespace sim
