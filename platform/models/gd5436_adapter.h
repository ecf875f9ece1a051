// The Cirrus Logic GD5436, GD5446 and GD5480 adapters (models "gd5436",
// "gd5446", "gd5480"): the standard VGA registers, the chip's extended
// sequencer registers with the 64 x 64 hardware cursor, the hidden DAC
// register, video memory behind a 4 MB linear aperture, and the BitBLT
// register block at aperture offset 0x3FFF00.
//
// Configuration:
//   adapter gd5480 | gd5446 | gd5436
//   int MEMSIZE = BYTES      video memory: 0x80000, 0x100000, 0x200000 or
//                            0x400000 (default 0x200000, 2 MB)
//   memory BASE 0x400000     the default area is the linear aperture; it must
//                            be at least 4 MB long so the register block at
//                            0x3FFF00 lies inside it
// Other areas of the configuration become plain memory.
//
// Choices where the chip description leaves details open, or where the
// simulated machine sets limits:
// - The memory size is strapped into SR0F bits 4-3 as the BIOS leaves it:
//   1 for 512 KB, 2 for 1 MB, 3 for 2 MB, and 3 with bit 7 set for 4 MB
//   (models/cirrus_strap.h). All three chips are built with 4 MB: they share
//   the aperture layout, and nothing in their description sets the GD5436
//   apart there.
// - On a 4 MB board the register block hides the last 256 bytes of video
//   memory from the processor (the engine and the cursor still reach them);
//   the rest of that page is video memory to plain loads and stores, and a
//   plain access to the block is reported by the machine.
// - SR17 starts as 0x44 (memory-mapped registers enabled, at the top of the
//   linear aperture). While its bit 2 or bit 6 is clear the block does not
//   answer there, and any access to it is reported.
// - The sequencer decodes the low five bits of its index.
// - The hardware cursor is the Cirrus one (models/cirrus_cursor.h): SR10 and
//   SR11 position, SR12 control, SR13 pattern select, DAC entries 0 and 15 as
//   its colours, patterns in the last 16 KB of video memory. Only the 64 x 64
//   pattern is decoded here, whatever SR12 bit 2 holds.
// - The hidden DAC register (four reads of 0x3C6, then a write) keeps the
//   pixel format; it does not change the DAC mask.
// - The screen is blanked while the attribute controller's index byte has
//   its palette-address-source bit (0x20) clear.
#pragma once

#include <cstdint>
#include <string>

#include "adapter.h"
#include "models/cirrus_blt.h"
#include "models/cirrus_cursor.h"
#include "vga.h"

namespace sim {

class Gd5436Board; // the machine-owned state behind an adapter

class Gd5436Adapter : public Adapter {
  public:
    static constexpr uint32_t kApertureSize = 0x400000;
    static constexpr uint32_t kBltOffset = 0x3FFF00;
    static constexpr uint32_t kDefaultMemSize = 0x200000;
    Gd5436Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    vga::VgaCore &vga();
    const vga::VgaCore &vga() const;
    CirrusBltCore &blt();
    // The linear aperture as the driver sees it (the default memory area).
    uint8_t *aperture() const;
    uint32_t memSize() const;

    // ---- sequencer and cursor ----
    uint8_t sr(uint8_t index) const;
    const CirrusCursor &cursor() const;

    // ---- DAC ----
    vga::Dac::Entry dacEntry(int index) const;
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
