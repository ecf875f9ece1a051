// The garsk board (model "garsk"): an ET4000-family accelerator with 1 MB
// of video memory, a memory-mapped accelerator (garsk_engine.h) and three
// aperture windows.
//
// Configuration:
//   adapter garsk
//   string FBTYPE = "BANK"      the form of the default memory area, as the
//                                driver reads it: "BANK" the 128 KB block,
//                                anything else (or none) the linear frame
//                                buffer
//   memory BASE LENGTH          the default area. Banked: at least 128 KB,
//                                the 64 KB window onto video memory at 0,
//                                the aperture windows at 0x18000, 0x1A000
//                                and 0x1C000 (8 KB each) and the register
//                                block at 0x1FF00-0x1FFA3; nothing answers
//                                at 0x10000-0x17FFF, 0x1E000-0x1FEFF and
//                                0x1FFA4-0x1FFFF. Flat: at least 1 MB, the
//                                video memory linearly from 0, with the
//                                aperture windows and the register block at
//                                the same offsets, over the lines of video
//                                memory that lie there (the devices win).
//
// Ports: the standard VGA registers (sequencer, DAC, input status 1 at
// 0x3DA, whose retrace bits come and go with virtual time), the window
// segment registers 0x3CB and 0x3CD (kept as written) and the sprite
// registers behind the index port 0x217A and the data port 0x217B (kept as
// written). The picture's line pitch is fixed at 1024 bytes.
#pragma once

#include <memory>
#include <string>

#include "adapter.h"
#include "models/garsk_engine.h"
#include "vga.h"

namespace sim {

class GarskAdapter : public Adapter {
  public:
    static constexpr uint32_t kVideoMemory = 0x100000;
    static constexpr uint32_t kBankedBlock = 0x20000;
    static constexpr uint32_t kPitch = 1024;
    static constexpr uint16_t kSpriteIndex = 0x217A;
    static constexpr uint16_t kSegmentLow = 0x3CB;
    static constexpr uint16_t kSegment = 0x3CD;

    GarskAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "garsk"; }
    VideoMemory *vram() override { return &vram_; }
    void drain() override { engine_.drain(); }
    std::string describe() const override;
    uint32_t displayPitch() const override { return kPitch; }

    bool banked() const { return banked_; }
    GarskEngine &engine() { return engine_; }
    vga::VgaCore &vga() { return *vga_; }
    vga::IndexedRegisters &sprite() { return sprite_; }
    uint8_t segmentRegister(uint16_t port) const;

  private:
    Machine &machine_;
    VideoMemory vram_;
    GarskEngine engine_;
    vga::VgaCore *vga_ = nullptr;
    vga::IndexedRegisters sprite_{kSpriteIndex};
    bool banked_ = false;
    uint8_t segmentLow_ = 0, segment_ = 0;
    friend class GarskSegmentPorts;
};

} // namespace sim
