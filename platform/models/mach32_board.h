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
//
// The hardware cursor (write-only byte registers; a 16-bit write is two byte
// writes, low port first, as the bus splits it; reads are reported):
// - 0x0AEE-0x0AEF: the image address in 4-byte units, bits 0-15; 0x0EEE its
//   bits 16-23.
// - 0x0EEF: bit 7 shows the cursor.
// - 0x12EE-0x12EF, 0x16EE-0x16EF: the screen x and y of the shown sprite's
//   top-left pixel.
// - 0x1EEE: the horizontal offset, 0x1EEF the vertical offset. 0x1EF0 (the
//   high byte of a 16-bit write at 0x1EEF) is decoded by nothing: the write
//   is lost.
// - 0x1AEE-0x1AEF: colour 0 in the low byte and colour 1 in the high byte:
//   palette indexes at 8 bits per pixel, the blue components at 16.
// - 0x3AEE-0x3AEF, 0x3EEE-0x3EEF (16 bits per pixel): colour 0 and colour 1,
//   green in the low byte, red in the high byte.
// The sprite: 64 rows of 16 bytes, consecutive from the image address, four
// 2-bit codes a byte with the leftmost pixel in the low bits: 0 colour 0,
// 1 colour 1, 2 transparent, 3 the screen inverted (a choice: the driver
// never writes it). Each row is shown from the column the horizontal offset
// gives (the pixels left of it are skipped), 64 - offset pixels wide, at the
// cursor's x; the rows are shown from the image address down, 64 - vertical
// offset of them (the vertical offset hides rows at the bottom). Offsets
// above 63 show nothing; a sprite row past video memory shows nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

namespace mach32port {
constexpr uint16_t CursorAddressLow = 0x0AEE;
constexpr uint16_t CursorAddressHigh = 0x0EEE; // 8-bit
constexpr uint16_t CursorEnable = 0x0EEF;      // 8-bit
constexpr uint16_t CursorX = 0x12EE;
constexpr uint16_t CursorY = 0x16EE;
constexpr uint16_t CursorColours = 0x1AEE;
constexpr uint16_t CursorHOffset = 0x1EEE; // 8-bit
constexpr uint16_t CursorVOffset = 0x1EEF; // 8-bit
constexpr uint16_t CursorColour0 = 0x3AEE;
constexpr uint16_t CursorColour1 = 0x3EEE;
} // namespace mach32port

// The cursor registers as the board holds them.
struct Mach32CursorRegs {
    uint16_t addressLow = 0;
    uint8_t addressHigh = 0;
    uint8_t enable = 0;
    uint16_t x = 0, y = 0;
    uint16_t colours = 0; // 0x1AEE
    uint8_t hOffset = 0, vOffset = 0;
    uint16_t colour0 = 0, colour1 = 0; // 0x3AEE, 0x3EEE
    int writes = 0;                    // byte writes to the cursor registers
};

// What the cursor shows, from its registers and video memory.
class Mach32Cursor {
  public:
    static constexpr int kSize = 64;
    static constexpr int kRowBytes = 16;
    // By code: 0, 1, 2, 3.
    enum class Pixel : uint8_t { Colour0, Colour1, Transparent, Invert };
    struct Rgb {
        uint8_t red, green, blue;
        bool operator==(const Rgb &) const = default;
    };

    Mach32Cursor(const VideoMemory &vram, const Mach32CursorRegs &regs) : vram_(vram), r_(regs) {}

    bool enabled() const { return r_.enable & 0x80; }
    int x() const { return r_.x; }
    int y() const { return r_.y; }
    int hOffset() const { return r_.hOffset; }
    int vOffset() const { return r_.vOffset; }
    // The image address in bytes.
    uint32_t imageOffset() const { return (uint32_t(r_.addressHigh) << 16 | r_.addressLow) * 4u; }
    // Palette indexes (8 bits per pixel) and components (16 bits per pixel).
    uint8_t index(int colour) const { return uint8_t(colour ? r_.colours >> 8 : r_.colours); }
    Rgb rgb(int colour) const;
    // The code at column `col`, row `row` of the sprite from the image
    // address (offsets not applied); Transparent past video memory.
    Pixel sprite(int col, int row) const;
    // What the cursor shows at a screen position (Transparent where it is
    // off or does not reach).
    Pixel at(int screenX, int screenY) const;
    // The shown sprite as rows of characters: '0', '1', '.' (transparent),
    // 'I' (invert); (64 - vertical offset) rows of (64 - horizontal offset).
    std::vector<std::string> shown() const;

  private:
    const VideoMemory &vram_;
    const Mach32CursorRegs &r_;
};

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
    const Mach32CursorRegs &cursorRegs() const;
    Mach32Cursor cursor() const;

  private:
    Mach32Board *board_;
};

} // namespace sim
