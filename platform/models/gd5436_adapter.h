// The Cirrus Logic GD5436, GD5446 and GD5480 adapters (models "gd5436",
// "gd5446", "gd5480"): the standard VGA registers, the chip's extended
// sequencer registers with the 64 x 64 hardware cursor, the hidden DAC
// register, video memory behind a 4 MB linear aperture, and the BitBLT
// register block at aperture offset 0x3FFF00.
//
// Configuration:
//   adapter gd5480 | gd5446 | gd5436
//   int MEMSIZE = BYTES      video memory: 0x80000, 0x100000 or 0x200000
//                            (default 0x200000, 2 MB)
//   memory BASE 0x400000     the default area is the linear aperture; it must
//                            be at least 4 MB long so the register block at
//                            0x3FFF00 lies inside it
// Other areas of the configuration become plain memory.
//
// Choices where the chip description leaves details open, or where the
// simulated machine sets limits:
// - The memory size is strapped into SR0F bits 4-3 as the BIOS leaves it:
//   1 for 512 KB, 2 for 1 MB, 3 for 2 MB. 4 MB boards are not modelled: the
//   register block at the aperture's top would hide memory the drivers use
//   with the processor (the machine maps devices by whole pages).
// - SR17 starts as 0x44 (memory-mapped registers enabled, at the top of the
//   linear aperture). While its bit 2 or bit 6 is clear the block does not
//   answer there, and any access to it is reported.
// - The sequencer decodes the low five bits of its index. Writes of SR10 and
//   SR11 take the cursor position's bits 2-0 from index bits 7-5 and its bits
//   10-3 from the data byte.
// - SR12: bit 0 shows the cursor, bit 1 gives DAC access to the cursor
//   colours (entries 0 and 15 become the background and foreground; other
//   entries still reach the palette), bit 2 selects the 64 x 64 pattern.
//   Only the 64 x 64 pattern is decoded here.
// - The patterns are the last 16 KB of video memory; with the 64 x 64 size
//   SR13 bits 5-2 pick one of its sixteen 1 KB patterns. Each pattern row is
//   8 bytes of plane 0 then 8 bytes of plane 1, leftmost pixel in the most
//   significant bit. Plane 1 clear is transparent; plane 1 set shows the
//   background colour, and the foreground with plane 0 set as well.
// - The hidden DAC register (four reads of 0x3C6, then a write) keeps the
//   pixel format; it does not change the DAC mask.
// - The screen is blanked while the attribute controller's index byte has
//   its palette-address-source bit (0x20) clear.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "adapter.h"
#include "models/cirrus_blt.h"
#include "vga.h"

namespace sim {

class Gd5436Board; // the machine-owned state behind an adapter

class Gd5436Adapter : public Adapter {
  public:
    static constexpr uint32_t kApertureSize = 0x400000;
    static constexpr uint32_t kBltOffset = 0x3FFF00;
    static constexpr uint32_t kDefaultMemSize = 0x200000;
    static constexpr uint32_t kPatternArea = 0x4000; // last 16 KB of video memory
    static constexpr int kCursorSize = 64;

    enum class CursorPixel : uint8_t { Transparent, Background, Foreground };
    using CursorImage = std::array<std::array<CursorPixel, kCursorSize>, kCursorSize>;

    Gd5436Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;

    vga::VgaCore &vga();
    const vga::VgaCore &vga() const;
    CirrusBltCore &blt();
    // The linear aperture as the driver sees it (the default memory area).
    uint8_t *aperture() const;
    uint32_t memSize() const;

    // ---- sequencer and cursor ----
    uint8_t sr(uint8_t index) const;
    bool cursorEnabled() const;
    bool cursorColourAccess() const;
    int cursorX() const;
    int cursorY() const;
    // Offset in video memory of the pattern SR13 selects.
    uint32_t cursorPatternOffset() const;
    CursorImage cursorImage() const;

    // ---- DAC ----
    vga::Dac::Entry dacEntry(int index) const;
    vga::Dac::Entry cursorBackground() const;
    vga::Dac::Entry cursorForeground() const;
    uint8_t hiddenDac() const;

    // ---- display ----
    bool blanked() const;
    bool extendedMode() const; // SR07 bit 0
    // CRTC offset register (CR13, with bit 8 from CR1B bit 4) in bytes.
    uint32_t crtcPitch() const;

  private:
    std::string model_;
    Gd5436Board *board_;
};

} // namespace sim
