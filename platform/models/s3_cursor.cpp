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

S3Cursor::Pixel S3Cursor::halvesPixel(uint32_t at, int row, int column) const {
    const uint32_t byte = at + uint32_t(row) * kPlaneRowBytes + uint32_t(column / 8);
    const int bit = 7 - column % 8;
    const bool andBit = (vram_.data()[byte] >> bit) & 1;
    const bool xorBit = (vram_.data()[byte + kHalfOffset] >> bit) & 1;
    if (andBit)
        return xorBit ? Pixel::Invert : Pixel::Transparent;
    return xorBit ? Pixel::Foreground : Pixel::Background;
}

bool S3Cursor::imageFits(uint32_t at) const {
    const uint64_t end = layout_ == Layout::ByteHalves
                             ? uint64_t(at) + kHalfOffset + kSize * kPlaneRowBytes
                             : uint64_t(at) + kImageBytes;
    return end <= vram_.size();
}

S3Cursor::Pixel S3Cursor::imagePixel(uint32_t at, int row, int column) const {
    if (layout_ == Layout::ByteHalves)
        return halvesPixel(at, row, column);
    return pixel(vram_.data() + at + uint32_t(row * kRowBytes), column);
}

S3Cursor::Image S3Cursor::image() const {
    Image img(kSize, std::vector<Pixel>(kSize, Pixel::Transparent));
    const uint32_t at = imageOffset();
    if (!imageFits(at))
        return img;
    for (int r = 0; r < kSize; r++)
        for (int c = 0; c < kSize; c++)
            img[size_t(r)][size_t(c)] = imagePixel(at, r, c);
    return img;
}

S3Cursor::Pixel S3Cursor::at(int screenX, int screenY) const {
    if (!enabled())
        return Pixel::Transparent;
    // The chip's column of the pixel: a byte column in the byte-halves layout.
    const int column = layout_ == Layout::ByteHalves ? 2 * screenX : screenX;
    const int c = column - x() + hiddenColumns();
    const int r = screenY - y() + hiddenRows();
    if (column < x() || screenY < y() || c >= kSize || r >= kSize)
        return Pixel::Transparent;
    const uint32_t at = imageOffset();
    if (!imageFits(at))
        return Pixel::Transparent;
    return imagePixel(at, r, c);
}

} // namespace sim
