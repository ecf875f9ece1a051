// The frame-buffer layer's mask tables and its QueryBestSize, as the drivers
// that fall back on them rely on them.
#include <cstdint>

#include "nfb.h"
#include "server.h"

namespace {

constexpr int kPixels = 32; // pixels of a 32-bit word at one bit each

// n pixels from pixel i, pixel i in bit i; pixels past the word are dropped.
constexpr uint32_t run(int i, int n) {
    const uint64_t bits = n >= kPixels ? 0xFFFFFFFFull : (1ull << n) - 1;
    return static_cast<uint32_t>((bits << i) & 0xFFFFFFFFull);
}

struct Tables {
    uint32_t start[kPixels];
    uint32_t end[kPixels];
    uint32_t part[kPixels][kPixels];
};

constexpr Tables makeTables() {
    Tables t{};
    for (int i = 0; i < kPixels; i++) {
        t.start[i] = i == 0 ? 0 : run(i, kPixels - i);
        t.end[i] = run(0, i);
        for (int n = 0; n < kPixels; n++)
            t.part[i][n] = run(i, n);
    }
    return t;
}

constexpr Tables kTables = makeTables();
static_assert(kTables.start[1] == 0xFFFFFFFEu && kTables.end[31] == 0x7FFFFFFFu);
static_assert(kTables.part[30][4] == 0xC0000000u);

// A tile or stipple width the layer handles a word at a time: a power of two
// up to the word, whole words beyond.
uint16_t bestPatternWidth(uint16_t width) {
    if (width == 0)
        return kPixels;
    if (width > kPixels)
        return static_cast<uint16_t>((width + kPixels - 1) / kPixels * kPixels);
    uint16_t w = 1;
    while (w < width)
        w = static_cast<uint16_t>(w << 1);
    return w;
}

} // namespace

extern "C" {

uint32_t starttab[32];
uint32_t endtab[32];
uint32_t partmasks[32][32];

void mfbQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen) {
    // Logged as the generic routines are, so tests see which queries a
    // driver hands on.
    server::logGenCall(
        {"mfbQueryBestSize",
         {server::arg(cls), server::arg(width), server::arg(height), server::arg(pScreen)}});
    switch (cls) {
    case CursorShape:
        if (*width > pScreen->width)
            *width = static_cast<uint16_t>(pScreen->width);
        if (*height > pScreen->height)
            *height = static_cast<uint16_t>(pScreen->height);
        break;
    case TileShape:
    case StippleShape:
        *width = bestPatternWidth(*width);
        break;
    default:
        break;
    }
}

} // extern "C"

namespace {

// The tables are writable data, as the server has them; filled before main.
struct Fill {
    Fill() {
        for (int i = 0; i < kPixels; i++) {
            starttab[i] = kTables.start[i];
            endtab[i] = kTables.end[i];
            for (int n = 0; n < kPixels; n++)
                partmasks[i][n] = kTables.part[i][n];
        }
    }
} fill;

} // namespace
