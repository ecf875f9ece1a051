// The Mach32 board (model "mach32"): the Mach32 engine of
// models/mach32_engine.h at its 8514/A and extended ports, linear video
// memory that only the engine reaches (the board maps no memory area), the
// board's configuration registers and a 6-bit palette DAC at the 8514/A DAC
// ports.
//
// Configuration:
//   adapter mach32
//   int MEMSIZE = BYTES   video memory: 0x80000, 0x100000, 0x200000 or
//                         0x400000 (default 1 MB)
// Areas of the configuration become plain memory.
//
// Board registers (16-bit unless marked; outside the engine's FIFO):
// - 0x36EE read: the installed memory in bits 2-3 (0 512 KB, 1 1 MB, 2 2 MB,
//   3 4 MB); the other bits read 0. Writes are reported.
// - 0x42EE (8-bit) write: the memory boundary; kept as written (the model
//   gives it no effect). Reads are reported.
// - 0x76EE write: the line length of video memory in units of 8 pixels (the
//   engine's and the picture's pitch); 0 (the power-on value) means none, and
//   every engine command is then reported.
// - 0x7AEE write: the pixel size in bits 4-5 (1: 8 bits, 2: 16 bits); other
//   values are reported and not taken. Power-on: 8 bits.
// - 0x2EA (8-bit): DAC pixel mask; 0x2EB read index; 0x2EC write index;
//   0x2ED data, red, green and blue in turn, 6 bits each (vga::Dac).
// The example grafinfo procedure "SetGraphics" sets 0x76EE and 0x7AEE for
// the configured mode; "SetText" clears the line length.
// displayPitch() is the line length in bytes.
#pragma once

#include <cstdint>
#include <string>

#include "adapter.h"
#include "models/mach32_engine.h"
#include "models/s3_engine.h"
#include "vga.h"

namespace sim {

class Mach32Board;

namespace mach32port {
constexpr uint16_t MemSize = 0x36EE;
constexpr uint16_t MemBoundary = 0x42EE;
constexpr uint16_t LinePitch = 0x76EE;
constexpr uint16_t PixelSize = 0x7AEE;
constexpr uint16_t DacMask = 0x2EA;
constexpr uint16_t DacReadIndex = 0x2EB;
constexpr uint16_t DacWriteIndex = 0x2EC;
constexpr uint16_t DacData = 0x2ED;
} // namespace mach32port

class Mach32Adapter : public Adapter {
  public:
    static constexpr uint32_t kDefaultMemSize = 0x100000;

    Mach32Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return "mach32"; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    S3EngineCore &engine();
    Mach32ExtPorts &ext();
    const Mach32ExtPorts &ext() const;
    vga::Dac &dac();
    uint32_t memSize() const;
    uint8_t memBoundary() const;
    // Writes of the memory boundary so far.
    int memBoundaryWrites() const;

  private:
    Mach32Board *board_;
};

} // namespace sim
