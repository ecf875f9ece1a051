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
//                                memory that lie there: lines 96-119 behind
//                                the apertures and part of line 127 behind
//                                the register block. The devices win there:
//                                the processor reaches those bytes of video
//                                memory only through an aperture, the
//                                engine reaches them as any other.
//
// The banked window (the first 64 KB) shows 64 lines of 1024 bytes through
// a device, so every access goes through the accessors: reads from the read
// segment (0x3CD bits 4-7, 0x3CB bits 4-5 as its bits 4-5), writes to the
// write segment (0x3CD bits 0-3, 0x3CB bits 0-1 as its bits 4-5). A read
// and a write at one address may reach different lines; either past the
// video memory is a failure.
//
// The sprite: 64 x 64 pixels of 2 bits (the leftmost pixel in the low bits
// of each byte, 16 bytes a line) from the start address of registers
// 0xE8-0xEA (in 32-bit words), placed at the x position 0xE0/0xE1 and y
// position 0xE4/0xE5, its first 0xE2 columns and 0xE6 lines skipped; shown
// while register 0xF7 is 0x80. Input status 1 sets bit 7 through the
// vertical retrace, with bit 3.
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
    static constexpr uint32_t kWindow = 0x10000;
    static constexpr int kSprite = 64;
    // The segments the window reads from and writes to.
    uint32_t readSegment() const;
    uint32_t writeSegment() const;
    // The sprite's 2-bit code at a screen position (0 and 1 the colours, 2
    // transparent, 3 inverting), or -1 where the sprite is off or absent.
    int spriteAt(int x, int y) const;

  private:
    Machine &machine_;
    VideoMemory vram_;
    GarskEngine engine_;
    vga::VgaCore *vga_ = nullptr;
    vga::IndexedRegisters sprite_{kSpriteIndex};
    bool banked_ = false;
    uint8_t segmentLow_ = 0, segment_ = 0;
    friend class GarskSegmentPorts;
    friend class GarskBankWindow;
};

} // namespace sim
