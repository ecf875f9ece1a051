// NeoMagic notebook graphics boards (model "neomagic"): the standard VGA
// registers with the chip's extension registers, a linearly mapped frame
// buffer and a memory-mapped register block with the drawing engine.
//
// Configuration:
//   adapter neomagic
//   int CHIPCODE = CODE      what CRTC register 0x1A holds in its low five
//                            bits (default 3); it also picks the engine:
//                            2, 3, 4 and 0x53 the 209X engine, 5 the 2200
//                            engine, any other none
//   int MEMSIZE = BYTES      video memory (default 2 MB; at most 4 MB)
//   int GR20 = VALUE         the panel register as the BIOS leaves it (default 0x02)
//   memory MEM_BASE1 BASE LENGTH   the frame buffer (linear, from offset 0)
//   memory MEM_BASE2 BASE LENGTH   the register block (2 MB on the chips)
// Other areas of the configuration become plain memory.
//
// Registers: CR1A (chip code), GR09, GR0E, GR11 and GR20 at 0x3CE/0x3CF, SR1
// bit 5 (the picture off) at 0x3C4/0x3C5, the DAC. The register block
// records every word written (registerWords()); its first word is the
// engine's status register, which is read-only.
//
// The engine (209X and 2200), 32-bit registers at byte offsets of the block:
//   0  status, bit 0 busy          12 foreground       16 background
//   2  (2200) mode, 16 bits: pixel size 0x100 one byte, 0x200 two; line
//      length by bits 10-12 (2 640, 3 800, 4 1024, 6 1280 pixels). A 32-bit
//      store there also puts its upper half into the command's lower half.
//   4  command: bits 16-19 the raster op, a truth table indexed by
//      source bit x 2 + destination bit (the X alu with its four bits
//      reversed); low byte 0x00 copy top-left first, 0x13 copy bottom-right
//      first (both coordinates counted down), 0x08 solid fill from the
//      foreground, 0xC4 monochrome expansion from host data, transparent,
//      0xC0 the same, opaque (0 bits take the background); bit 25 (2200)
//      addresses as y << 16 | x, else byte offsets (copies only). The 209X
//      takes its mode from the command's bits 8-12 (as the 2200's mode
//      register) and always addresses by y << 16 | x.
//   20 (2200) pitches of byte-offset copies: destination in the low half,
//      source in the high half
//   32 source bit offset (must be 0: no other is modelled)
//   36 source                       44 destination
//   48 size, height << 16 | width; writing it starts the operation. A width
//      or height of 0 draws nothing.
// Colours: at one byte per pixel the low 8 bits of the register, at two the
// low 16. Monochrome data goes to the host-data window, 1 MB from offset
// 0x100000 of the block: any 32-bit store there is the stream's next word,
// four bytes, the first in the low-order byte, the leftmost pixel in each
// byte's top bit, rows of (width + 7) / 8 bytes following one another with
// no gap; the operation takes exactly that many words (the last partly
// used).
//
// The cursor (chips with an engine), 32-bit registers from offset 0x100
// (209X) or 0x1000 (2200) of the block: 0 enable (bit 0), 4 x and 8 y of
// the image's top-left pixel (signed), 12 background and 16 foreground
// (0x00BBGGRR), 20 the image address code with its nibbles turned: bits
// 8-11 the code's low four bits, bits 0-7 its upper eight. The image is
// read from video memory at code x 1 KB: 64 rows of 16 bytes, 8 bytes of
// plane 0 then 8 of plane 1, the leftmost pixel in each byte's top bit.
// Plane 1 marks the pixels shown; plane 0 chooses the background (1) or
// the foreground (0). An image reaching past video memory shows nothing.
//
// Strictness: the engine stays busy for kBusyReads status reads after a
// start (after the last stream word for an expansion). Reported as
// failures: a register write while busy, a register write while stream
// words are missing, a surplus stream word, a processor access to video
// memory while busy, an operation reaching past video memory, a register
// the engine does not have, a command or mode it does not know. A board
// without an engine records the writes and reads its status as idle.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "adapter.h"
#include "vga.h"

namespace sim {

class NeoBoard;

class NeoAdapter : public Adapter {
  public:
    static constexpr uint8_t CR1A = 0x1A, GR20 = 0x20;
    static constexpr uint32_t kHostData = 0x100000, kHostDataBytes = 0x100000;
    static constexpr int kBusyReads = 3;

    enum class Engine { None, Gen209X, Gen2200 };

    // One write to the engine's registers (offsets below 52) or the
    // host-data window, in order.
    struct RegWrite {
        uint32_t offset;
        int width;
        uint32_t value;
        bool operator==(const RegWrite &) const = default;
    };
    struct Stats {
        uint64_t starts = 0, hostWords = 0, statusReads = 0;
    };

    enum class CursorPixel { Transparent, Background, Foreground };
    struct CursorState {
        bool enabled = false;
        int32_t x = 0, y = 0;
        uint32_t background = 0, foreground = 0;
        uint32_t imageOffset = 0; // in video memory
    };

    NeoAdapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    std::string describe() const override;
    void drain() override;

    vga::VgaCore &vga();
    // The last value written to each word of the register block, by offset.
    const std::map<uint32_t, uint32_t> &registerWords() const;
    bool blanked() const;

    Engine engine() const;
    bool busy() const;
    const std::vector<RegWrite> &log() const;
    void clearLog();
    const Stats &stats() const;

    // The cursor registers' offset in the block (0 without a cursor).
    uint32_t cursorRegisters() const;
    CursorState cursor() const;
    // What the cursor shows at a screen position.
    CursorPixel cursorAt(int x, int y) const;
    // Writes to the cursor registers since clearLog(), as (offset from the
    // cursor's first register, value).
    const std::vector<RegWrite> &cursorLog() const;

  private:
    std::string model_;
    NeoBoard *board_;
};

} // namespace sim
