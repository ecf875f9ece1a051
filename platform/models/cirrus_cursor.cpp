// The Cirrus hardware cursor model; its choices are listed in cirrus_cursor.h.
#include "models/cirrus_cursor.h"

namespace sim {

namespace {

constexpr uint8_t kSeqIndexMask = 0x1F;
constexpr int kIndexLowBitsShift = 5; // position bits 2-0 ride in index bits 7-5
constexpr uint8_t SR10 = 0x10, SR11 = 0x11, SR12 = 0x12, SR13 = 0x13;
constexpr uint8_t kSr12Show = 0x01, kSr12ColourAccess = 0x02, kSr12Large = 0x04;
constexpr uint8_t kDacCursorBg = 0x00, kDacCursorFg = 0x0F;
constexpr uint8_t kDacComponentMask = 0x3F;
constexpr uint32_t kLargePatternBytes = 1024, kSmallPatternBytes = 256;
constexpr int kLargeRowBytes = 16; // 8 bytes of plane 0, then 8 of plane 1

CirrusCursor::Pixel pixelOf(bool plane0, bool plane1) {
    using Pixel = CirrusCursor::Pixel;
    if (!plane1)
        return Pixel::Transparent;
    return plane0 ? Pixel::Foreground : Pixel::Background;
}

} // namespace

CirrusCursor::CirrusCursor(const VideoMemory &vram, const vga::Sequencer &seq, Sizes sizes)
    : vram_(vram), seq_(seq), sizes_(sizes) {}

void CirrusCursor::attach(vga::VgaCore &vga) {
    vga.seq.onWrite = [this](uint8_t index, uint8_t value) { sequencerWrite(index, value); };
    vga.dac.onEntryWrite = [this](uint8_t index, vga::Dac::Entry raw) {
        return dacEntryWrite(index, raw);
    };
}

void CirrusCursor::sequencerWrite(uint8_t index, uint8_t value) {
    uint8_t reg = index & kSeqIndexMask;
    int low = index >> kIndexLowBitsShift;
    if (reg == SR10)
        x_ = value << 3 | low;
    else if (reg == SR11)
        y_ = value << 3 | low;
}

bool CirrusCursor::dacEntryWrite(uint8_t index, vga::Dac::Entry raw) {
    if (!colourAccess())
        return false;
    vga::Dac::Entry e{static_cast<uint8_t>(raw.r & kDacComponentMask),
                      static_cast<uint8_t>(raw.g & kDacComponentMask),
                      static_cast<uint8_t>(raw.b & kDacComponentMask)};
    if (index == kDacCursorBg) {
        background_ = e;
        return true;
    }
    if (index == kDacCursorFg) {
        foreground_ = e;
        return true;
    }
    return false;
}

bool CirrusCursor::enabled() const {
    return sr(SR12) & kSr12Show;
}

bool CirrusCursor::colourAccess() const {
    return sr(SR12) & kSr12ColourAccess;
}

bool CirrusCursor::largeSelected() const {
    return sr(SR12) & kSr12Large;
}

int CirrusCursor::size() const {
    return sizes_ == Sizes::Only64 || largeSelected() ? kLargeSize : kSmallSize;
}

uint32_t CirrusCursor::patternOffset() const {
    uint32_t area = static_cast<uint32_t>(vram_.size()) - kPatternArea;
    if (size() == kLargeSize)
        return area + ((sr(SR13) >> 2) & 0xF) * kLargePatternBytes;
    return area + (sr(SR13) & 0x3F) * kSmallPatternBytes;
}

CirrusCursor::Image CirrusCursor::image() const {
    const int n = size(), rowBytes = n / 8;
    const uint8_t *pattern = vram_.data() + patternOffset();
    Image image(static_cast<size_t>(n), std::vector<Pixel>(static_cast<size_t>(n)));
    for (int y = 0; y < n; y++) {
        // The large pattern interleaves the planes row by row; the small one
        // stores all of plane 0 before plane 1.
        const uint8_t *plane0 =
            n == kLargeSize ? pattern + y * kLargeRowBytes : pattern + y * rowBytes;
        const uint8_t *plane1 = n == kLargeSize ? plane0 + rowBytes : pattern + (n + y) * rowBytes;
        for (int x = 0; x < n; x++) {
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            image[static_cast<size_t>(y)][static_cast<size_t>(x)] =
                pixelOf(plane0[x / 8] & bit, plane1[x / 8] & bit);
        }
    }
    return image;
}

} // namespace sim
