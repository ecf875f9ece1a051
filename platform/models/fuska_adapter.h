// The fuska board (model "fuska"): an accelerator with a memory-mapped 2D
// engine (fuska_engine.h) and tiled video memory, the standard VGA registers
// (the mode procedures use the sequencer; the palette is the VGA DAC), and a
// register block for the display, palette control and hardware cursor.
//
// Configuration:
//   adapter fuska
//   int MEMSIZE = BYTES     video memory (default 0x400000, 4 MB; a multiple
//                           of 64 KB up to 0xFF0000)
//   memory BASE LENGTH      the default area: the linear frame buffer
//   memory REGS BASE LENGTH the register block, at least 0x800 bytes
// Other areas become plain memory.
//
// Display registers of the block (offset, width in bytes); any other offset
// or width outside the engine's registers is reported:
//   0x4C 1, 0x6C 1 (bit 4), 0x74 1 (bit 0)  display offset: the display line
//                           in 8-byte units, bits 0-7, 8 and 9
//   0xB0 1   bit 7 blanks the display; bit 3 sends DAC writes to the
//            extended palette (16 entries; 0 and 15 are the cursor's
//            background and foreground) instead of the palette
//   0xC0 2   pixel format: bits 12-13 the display's bytes per pixel - 1
//   0xEA 2   display tiling control: tiles per line in bits 8-15
//   0xE0 4   cursor position (x in bits 0-15, y in 16-31)
//   0xE4 2   cursor preset: columns hidden at the left in bits 8-14, rows at
//            the top in bits 0-6
//   0xE6 2   cursor control: bit 0 shows the cursor
//   0xE8 2   cursor location: offset of the image in video memory >> 8
//   0x3FC 4  mode control (stored)
//
// Choices where the description leaves details open:
// - Video memory is seen linearly: pixel (x, y) at y x pitch + x x bytes per
//   pixel, with a pitch of whole 128-byte tiles. The display reads lines of
//   display offset x 8 bytes.
// - The cursor image is 64 rows of 16 bytes, plane 0 then plane 1 (leftmost
//   pixel in the most significant bit), 8 rows on each of 8 lines at the
//   location, each line's rows in its first 128 bytes; the line pitch is the
//   display's tiles (bits 8-15 of 0xEA) x 128. Plane 1 clear is transparent;
//   set, it shows the background colour, or the foreground with plane 0 set.
// - The mode procedures mark graphics mode in bit 0 of sequencer register 7.
// - In graphics mode, every engine start checks that the display shows what
//   the engine draws: display offset x 8 equal to the engine's line (tiles
//   per line x 128), the tiles of 0xEA equal to the engine's, and the pixel
//   size of 0xC0 equal to the engine's. A disagreement is reported (once
//   until it changes); the operation still runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "adapter.h"
#include "models/fuska_engine.h"
#include "vga.h"

namespace sim {

class FuskaBoard;

class FuskaAdapter : public Adapter {
  public:
    static constexpr uint32_t kDefaultMemSize = 0x400000;
    static constexpr uint32_t kRegsSize = 0x800;
    static constexpr int kCursorSize = 64;

    enum class CursorPixel : uint8_t { Transparent, Background, Foreground };
    using CursorImage = std::array<std::array<CursorPixel, kCursorSize>, kCursorSize>;

    FuskaAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "fuska"; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;

    FuskaEngine &engine();
    vga::VgaCore &vga();
    uint8_t *frameBuffer() const;
    uint8_t *registers() const;
    uint32_t memSize() const;

    // The display registers as stored (little-endian), by offset and width.
    uint32_t reg(uint32_t offset, int width) const;
    uint32_t displayOffset() const; // 10 bits, in 8-byte units
    uint32_t displayPitch() const override { return displayOffset() * 8; }
    bool blanked() const;
    bool extendedPalette() const;
    bool graphicsMode() const; // SR07 bit 0

    bool cursorEnabled() const;
    int cursorX() const;
    int cursorY() const;
    int cursorHiddenX() const;
    int cursorHiddenY() const;
    uint32_t cursorOffset() const; // location register << 8
    CursorImage cursorImage() const;

    vga::Dac::Entry dacEntry(int index) const;
    vga::Dac::Entry extendedEntry(int index) const;
    vga::Dac::Entry cursorBackground() const { return extendedEntry(0); }
    vga::Dac::Entry cursorForeground() const { return extendedEntry(15); }

  private:
    FuskaBoard *board_;
};

} // namespace sim
