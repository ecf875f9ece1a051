// The S3 hardware cursor; its choices are listed in s3_cursor.h.
#include "models/s3_cursor.h"

namespace sim {

namespace {
constexpr int kRowBytes = 16;
constexpr int kPairBytes = 4;
constexpr int kPairPixels = 16;
} // namespace

S3Cursor::Pixel S3Cursor::pixel(const uint8_t *row, int column) const {
    const uint8_t *pair = row + (column / kPairPixels) * kPairBytes;
    const int k = column % kPairPixels;
    const int byte = k / 8, bit = 7 - k % 8;
    const bool first = (pair[byte] >> bit) & 1;
    const bool second = (pair[2 + byte] >> bit) & 1;
    if (maskAndSource()) {
        if (!first)
            return Pixel::Transparent;
        return second ? Pixel::Foreground : Pixel::Background;
    }
    if (first)
        return second ? Pixel::Invert : Pixel::Transparent;
    return second ? Pixel::Foreground : Pixel::Background;
}

S3Cursor::Image S3Cursor::image() const {
    Image img(kSize, std::vector<Pixel>(kSize, Pixel::Transparent));
    const uint32_t at = imageOffset();
    if (uint64_t(at) + kImageBytes > vram_.size())
        return img;
    for (int r = 0; r < kSize; r++) {
        const uint8_t *row = vram_.data() + at + uint32_t(r * kRowBytes);
        for (int c = 0; c < kSize; c++)
            img[size_t(r)][size_t(c)] = pixel(row, c);
    }
    return img;
}

S3Cursor::Pixel S3Cursor::at(int screenX, int screenY) const {
    if (!enabled())
        return Pixel::Transparent;
    const int c = screenX - x() + hiddenColumns();
    const int r = screenY - y() + hiddenRows();
    if (screenX < x() || screenY < y() || c >= kSize || r >= kSize)
        return Pixel::Transparent;
    const uint32_t at = imageOffset();
    if (uint64_t(at) + kImageBytes > vram_.size())
        return Pixel::Transparent;
    return pixel(vram_.data() + at + uint32_t(r * kRowBytes), c);
}

} // namespace sim
