// The S3 hardware cursor, as every S3 board shows it: a 64 x 64 image that
// the chip fetches from video memory, placed and enabled by CRTC extension
// registers.
//
// Registers (CRTC indices):
//   CR45 bit 0        cursor shown
//   CR46, CR47        x position, bits 10-8 and 7-0
//   CR48, CR49        y position, bits 10-8 and 7-0
//   CR4C, CR4D        image address in units of 1024 bytes, bits 11-8 and 7-0
//   CR4E, CR4F        columns and rows of the image hidden off the left and
//                     top edges (0 to 63): the image is shown from there
//   CR0E, CR0F        foreground and background colour (palette indices)
//   CR55 bit 0x10     how the word pairs of the image are read (below)
//
// Choices where the chip descriptions leave details open:
// - The image is 1024 bytes: 64 rows of 16 bytes, each row four pairs of
//   16-bit words, each pair 16 pixels. Within a word the low byte holds the
//   left 8 pixels, the leftmost in its top bit.
// - With CR55 bit 0x10 set the first word of a pair is a mask and the second
//   a source: mask 0 is transparent, mask 1 shows the foreground where the
//   source bit is 1 and the background where it is 0. With the bit clear the
//   pair is an AND and an XOR word: AND 1 XOR 0 transparent, AND 1 XOR 1
//   inverts the screen, AND 0 shows the background (XOR 0) or the foreground
//   (XOR 1).
// - The image address counts 1024-byte units whatever the pixel size or line
//   length; an image that would reach past video memory shows nothing.
// - Byte-halves layout (a 16-bit picture kept as two 8-bit halves of an
//   engine line, the pilo board's BYTEHALVES): the chip counts the picture in
//   bytes, so the x position and the hidden columns are byte columns, two to
//   a screen pixel, and a pixel shows what its first byte column shows. The
//   image is two planes of 512 bytes, the AND plane at the image address and
//   the XOR plane 1024 bytes further on (the other byte half); each of the 64
//   rows is 8 bytes, one bit a byte column, the low byte of each word first
//   and its top bit leftmost. Only the AND/XOR reading applies (no CR55 mask
//   and source form).
#pragma once

#include <cstdint>
#include <vector>

#include "machine.h"
#include "vga.h"

namespace sim {

class S3Cursor {
  public:
    static constexpr int kSize = 64;
    static constexpr uint32_t kImageBytes = 1024;
    enum class Pixel : uint8_t { Transparent, Background, Foreground, Invert };
    using Image = std::vector<std::vector<Pixel>>; // kSize rows of kSize pixels

    enum class Layout : uint8_t { WordPairs, ByteHalves };

    S3Cursor(const VideoMemory &vram, const vga::Crtc &crtc, Layout layout = Layout::WordPairs)
        : vram_(vram), crtc_(crtc), layout_(layout) {}

    bool enabled() const { return cr(0x45) & 0x01; }
    int x() const { return (cr(0x46) & 0x07) << 8 | cr(0x47); }
    int y() const { return (cr(0x48) & 0x07) << 8 | cr(0x49); }
    int hiddenColumns() const { return cr(0x4E) & 0x3F; }
    int hiddenRows() const { return cr(0x4F) & 0x3F; }
    uint32_t imageOffset() const { return uint32_t((cr(0x4C) & 0x0F) << 8 | cr(0x4D)) * 1024; }
    bool maskAndSource() const { return cr(0x55) & 0x10; }
    uint8_t foreground() const { return cr(0x0E); }
    uint8_t background() const { return cr(0x0F); }

    // The whole image as video memory now holds it (in the byte-halves
    // layout 64 byte columns, 32 screen pixels).
    Image image() const;
    // What the cursor shows at a screen position (Transparent where it is off
    // or does not cover the position).
    Pixel at(int screenX, int screenY) const;

    static constexpr uint32_t kHalfOffset = 1024; // byte halves: the XOR plane
    static constexpr uint32_t kPlaneRowBytes = 8; // byte halves: a row of a plane

  private:
    uint8_t cr(uint8_t index) const { return crtc_.reg(index); }
    Pixel pixel(const uint8_t *row, int column) const;
    Pixel halvesPixel(uint32_t at, int row, int column) const;
    bool imageFits(uint32_t at) const;
    Pixel imagePixel(uint32_t at, int row, int column) const;

    const VideoMemory &vram_;
    const vga::Crtc &crtc_;
    Layout layout_;
};

} // namespace sim
