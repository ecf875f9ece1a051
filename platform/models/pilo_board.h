// The S3 board of the pilo driver (model "s3_pilo"): the standard VGA
// registers, the S3 CRTC extension registers with their locks, the
// 8514/A-style engine (models/s3_engine.h) at its I/O ports, and video
// memory of 512 KB, 1 MB or 2 MB.
//
// Configuration:
//   adapter s3_pilo
//   int MEMSIZE = BYTES        0x80000, 0x100000 (default) or 0x200000
//   int ENGINELINE = PIXELS    the engine's line as the mode leaves it: 1024
//                              (default), 1280 or 2048 pixels
//   int ENGINEBITS = BITS      the engine's pixels: 8 (default) or 4 (packed
//                              two to a byte, the left pixel in the high nibble)
//   int BYTEHALVES = 1         the picture is 16-bit pixels over an 8-bit
//                              engine line of 2048 columns: the low byte of
//                              pixel (x, y) at column x, the high byte at
//                              column x + 1024 (0, the default: the picture is
//                              the engine's pixels)
//   int CR36 = VALUE           the memory code the BIOS leaves (bits 6-5: 00
//                              2 MB, 10 1 MB, 11 512 KB; default by MEMSIZE)
//   int CR32 = VALUE, int CR42 = VALUE
//                              power-on values (CR32 bit 3: the text mode runs
//                              with the DAC off; CR42 bit 5: interlaced)
//   int ENGINE = 0             a board without the engine: its ports take
//                              writes and read all ones
// The geometry keys stand for the mode registers the chip has and the model
// does not decode (the 2K map, the enhanced 8-bit mode, the 16-bit DAC mode):
// a configuration gives what its mode procedure would leave.
//
// Registers the board decodes (CRTC indices at 0x3D4/0x3D5 while bit 0 of
// the miscellaneous output is set, at 0x3B4/0x3B5 while it is clear; input
// status 1 likewise at 0x3DA or 0x3BA):
// - CR38 = 0x48 unlocks CR30-CR3F; CR39 with 0xA in its high nibble unlocks
//   CR40 and up; a write to a locked register is ignored and recorded.
// - CR40 bit 0: the engine's ports answer only while it is set; any access
//   to them while it is clear is reported.
// - SR1 bit 0x20 turns the picture off.
// Choices: an access to the CRTC or status pair that the miscellaneous
// output does not select is reported. The engine's FIFO is empty at power-on
// (a driver may write one register before its first status read).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/s3_engine.h"
#include "vga.h"

namespace sim {

class PiloBoard;

class PiloAdapter : public Adapter {
  public:
    static constexpr uint32_t kDefaultMemSize = 0x100000;

    PiloAdapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;
    bool nonLinearPicture() const override;
    uint32_t pictureAt(int x, int y) const override;
    void setPictureAt(int x, int y, uint32_t value) override;

    vga::VgaCore &vga();
    S3EngineCore &engine();
    uint32_t memSize() const;
    uint8_t cr(uint8_t index) const;
    uint8_t sr(uint8_t index) const;
    bool blanked() const;
    bool enginePortsOn() const;
    bool byteHalves() const;
    const std::vector<vga::IndexedRegisters::Write> &lockedWrites() const;

  private:
    std::string model_;
    PiloBoard *board_;
};

} // namespace sim
