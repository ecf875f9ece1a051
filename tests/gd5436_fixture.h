// What the gd5436 drawing tests share: the seven builds, a small board on
// 512 KB ("InstalledMemory" 8) with the mode procedures reduced to their
// results, and geometry helpers.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "models/gd5436_adapter.h"
#include "nfb.h"

namespace gd5436test {

struct Build {
    const char *name;
    const char *adapter;
    int depth;
    int pixelBytes;
    bool transparentStipple;
};

inline const Build kBuilds[] = {
    {"brisko8", "gd5480", 8, 1, true},   {"brisko15", "gd5480", 15, 2, true},
    {"brisko16", "gd5480", 16, 2, true}, {"brisko24", "gd5480", 24, 3, false},
    {"lomvi8", "gd5446", 8, 1, false},   {"lomvi16", "gd5446", 16, 2, true},
    {"hadra24", "gd5436", 24, 3, false},
};

inline constexpr uint32_t kMemSize = 0x80000;
inline constexpr uint32_t kCursorArea = kMemSize - 1024; // the last kilobyte

// A `width` x `height` screen with `pitch` bytes per line (0: the row plus 40
// bytes, so lines are longer than their pixels).
inline graf::Config gd5436Config(const Build &b, int width, int height, int pitch = 0) {
    if (pitch == 0)
        pitch = width * b.pixelBytes + 40;
    return graf::Builder()
        .adapter(b.adapter)
        .memory("", 0xE0000000, sim::Gd5436Adapter::kApertureSize)
        .integer("MEMSIZE", int(kMemSize))
        .integer("PIXWIDTH", width)
        .integer("PIXHEIGHT", height)
        .integer("DEPTH", b.depth)
        .integer("PITCH", pitch)
        .procedure("InstalledMemory", "result = 8")
        .procedure("GetScreenPitch", "result = $PITCH")
        .procedure("SetGraphics", "result = 1")
        .procedure("SetText", "result = 1")
        .build();
}

// The drawing tests' colours: every fourth one has every pixel bit set (the
// plane mask of the depth, `all`), the others a mix of bits below it.
inline Pixel testColour(uint32_t seed, uint32_t all) {
    if (seed % 4 == 3)
        return all;
    return (0x5AC3E1u * (seed + 1)) & all;
}

inline BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

inline std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

} // namespace gd5436test
