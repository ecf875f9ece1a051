// NeoMagic notebook graphics boards (model "neomagic"): the standard VGA
// registers with the chip's extension registers, a linearly mapped frame
// buffer and a memory-mapped register block.
//
// Configuration:
//   adapter neomagic
//   int CHIPCODE = CODE      what CRTC register 0x1A holds in its low five
//                            bits (default 3)
//   int MEMSIZE = BYTES      video memory (default 2 MB; at most 4 MB)
//   int GR20 = VALUE         the panel register as the BIOS leaves it (default 0x02)
//   memory MEM_BASE1 BASE LENGTH   the frame buffer (linear, from offset 0)
//   memory MEM_BASE2 BASE LENGTH   the register block (2 MB on the chips)
// Other areas of the configuration become plain memory.
//
// Registers: CR1A (chip code), GR09, GR0E, GR11 and GR20 at 0x3CE/0x3CF, SR1
// bit 5 (the picture off) at 0x3C4/0x3C5, the DAC. The register block
// records every 32-bit word written; its first word is the engine's status
// register, which is read-only: a write to it is reported (reads give 0,
// the engine idle).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "adapter.h"
#include "vga.h"

namespace sim {

class NeoBoard;

class NeoAdapter : public Adapter {
  public:
    static constexpr uint8_t CR1A = 0x1A, GR20 = 0x20;

    NeoAdapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    std::string describe() const override;

    vga::VgaCore &vga();
    // The last value written to each word of the register block, by offset.
    const std::map<uint32_t, uint32_t> &registerWords() const;
    bool blanked() const;

  private:
    std::string model_;
    NeoBoard *board_;
};

} // namespace sim
