// The S3 accelerator board (model "s3"): the standard VGA registers, the S3
// CRTC extension registers with their locks, the 8514/A-style engine
// (models/s3_engine.h) at its I/O ports and in the memory-mapped engine window,
// the S3 hardware cursor (models/s3_cursor.h), and video memory.
//
// Configuration:
//   adapter s3
//   int MEMSIZE = BYTES          video memory: 0x80000, 0x100000, 0x200000,
//                                0x300000 or 0x400000 (default 1 MB)
//   string MEMORYMAP = "linear"  the default area (MEMORY) is the linear frame
//                      "engine"  buffer (the default), or the 64 KB engine
//                                window (pixel transfer in its first 32 KB,
//                                registers at offset = port number)
// Other areas of the configuration become plain memory.
//
// Registers the board decodes (CRTC indices, reached at 0x3D4/0x3D5 while
// bit 0 of the miscellaneous output is set, at 0x3B4/0x3B5 while it is clear;
// input status 1 likewise at 0x3DA or 0x3BA):
// - CR36 bits 7-5: the memory code the BIOS leaves (0x00 4 MB, 0x40 3 MB,
//   0x80 2 MB, 0xC0 1 MB, 0xE0 512 KB); CR37 reads 0.
// - CR38 = 0x48 unlocks CR30-CR3F; CR39 with 0xA in its high nibble (0xA5 is
//   the usual key) unlocks CR40 and up. CR38 and CR39 themselves are always
//   written. A write to a locked register is ignored and recorded
//   (lockedWrites()). Both locks are closed at power-on.
// - CR40 bit 0: the engine's I/O ports answer only while it is set (clear at
//   power-on); any access to them while it is clear is reported. The window
//   is gated by 0x4AE8 bit 0x20 alone.
// - CR50 bits 7, 6 and 0: the engine's line length (0x00 1024, 0x01 1152,
//   0x40 640, 0x80 800, 0x81 1600, 0xC0 1280 pixels; 0x41 and 0xC1 give none,
//   and every engine command is then reported); bits 5-4 the pixel size
//   (0 8 bits, 1 16 bits, 3 32 bits; 2 is reported when written).
// - SR1 bit 0x20 turns the picture off.
// - The cursor registers of models/s3_cursor.h.
// Choices: an access to the CRTC or status port pair that the miscellaneous
// output does not select is reported (reads give 0xFF, writes are dropped).
// displayPitch() is the engine's line length in bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/s3_cursor.h"
#include "models/s3_engine.h"
#include "vga.h"

namespace sim {

class S3Board;

class S3Adapter : public Adapter {
  public:
    static constexpr uint32_t kDefaultMemSize = 0x100000;

    S3Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    vga::VgaCore &vga();
    S3EngineCore &engine();
    const S3Cursor &cursor() const;
    uint32_t memSize() const;
    // The default area as mapped: the linear frame buffer or the engine window.
    uint8_t *memory() const;
    bool engineWindow() const;

    uint8_t cr(uint8_t index) const;
    uint8_t sr(uint8_t index) const;
    bool monoCrtc() const; // miscellaneous output bit 0 clear
    bool blanked() const;  // SR1 bit 0x20
    bool enginePortsOn() const;
    // CRTC writes that a lock ignored, in order.
    const std::vector<vga::IndexedRegisters::Write> &lockedWrites() const;
    void clearLockedWrites();

  private:
    std::string model_;
    S3Board *board_;
};

} // namespace sim
