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

    S3Cursor(const VideoMemory &vram, const vga::Crtc &crtc) : vram_(vram), crtc_(crtc) {}

    bool enabled() const { return cr(0x45) & 0x01; }
    int x() const { return (cr(0x46) & 0x07) << 8 | cr(0x47); }
    int y() const { return (cr(0x48) & 0x07) << 8 | cr(0x49); }
    int hiddenColumns() const { return cr(0x4E) & 0x3F; }
    int hiddenRows() const { return cr(0x4F) & 0x3F; }
    uint32_t imageOffset() const { return uint32_t((cr(0x4C) & 0x0F) << 8 | cr(0x4D)) * 1024; }
    bool maskAndSource() const { return cr(0x55) & 0x10; }
    uint8_t foreground() const { return cr(0x0E); }
    uint8_t background() const { return cr(0x0F); }

    // The whole image as video memory now holds it.
    Image image() const;
    // What the cursor shows at a screen position (Transparent where it is off
    // or does not cover the position).
    Pixel at(int screenX, int screenY) const;

  private:
    uint8_t cr(uint8_t index) const { return crtc_.reg(index); }
    Pixel pixel(const uint8_t *row, int column) const;

    const VideoMemory &vram_;
    const vga::Crtc &crtc_;
};

} // namespace sim
