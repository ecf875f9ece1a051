// The Western Digital WD90C33 accelerated VGA board (model "wd90c33"): the
// standard VGA registers, video memory seen by the processor only through a
// 64 KB window, and the drawing engine behind the I/O ports 0x23C0-0x23CE.
//
// Configuration:
//   adapter wd90c33
//   int MEMSIZE = BYTES      video memory: 0x40000, 0x80000 or 0x100000 (default)
//   memory BASE 0x10000      the default area is the processor's 64 KB window
// Other areas of the configuration become plain memory.
//
// Registers:
// - GR0B bits 7-6 hold the memory size as the BIOS leaves it (1: 256 KB,
//   2: 512 KB, 3: 1 MB). GR9 places the window in 4 KB units; the window is
//   decoded at all times, so every processor access to it goes through the
//   accessors (a plain load or store faults), and an access while the engine
//   is busy, or one beyond video memory, is reported.
// - 0x23C0 (16-bit write) selects the register block that 0x23C2 reaches;
//   0x23C2 (16-bit write) writes register (bits 15-12) of that block with the
//   12-bit value in bits 11-0. Blocks 1 and 3 are decoded:
//     block 1: 0 command (the write starts it), 1 mode, 2/3 source x/y (for
//       host data: pixels skipped at the start of every row), 4/5
//       destination x/y, 6/7 width - 1 / height - 1, 8 raster operation
//       (the X alu in bits 11-8), 9-12 clip left, right, top, bottom
//       (inclusive);
//     block 3: 0 (0 at set-up), 1 line length in engine pixels, 2/3
//       foreground, 4/5 background, 6/7 source read mask, 8/9 source plane
//       bits, 10/11 plane mask; each pair is the low and high byte of a
//       16-bit value.
// - 0x23C4/0x23C6 (16-bit writes) take host data, 0x23C8/0x23CA/0x23CC the
//   line's axial and diagonal error increments and its initial error term.
// - 0x23CE reads the status: the register writes waiting in the 8-entry
//   queue in bits 3-0, busy in bit 7. Each status read drains one queued
//   write, as the 8514/A-style engine core's queue does (block selects,
//   host data and error terms are not queued). The byte 0x20 written to
//   0x23CE is recorded (the driver writes it once at engine set-up).
//
// Commands (block 1 register 0) and mode words (register 1): the mode holds
// the pixel size (0x400: 8-bit engine pixels, 0x800: 16-bit), 0x60, 0x80 for
// transparent expansion, and the source kind in its low bits (0 video
// memory, 3 host monochrome, 5 host colour), which must agree with the
// command. Every destination pixel passes the clip, the raster operation and
// the plane mask.
//   0x200 copy (0x100 right to left, 0x80 bottom to top, the written corners
//         then being the right and bottom edges); 0x210 fill with the
//         foreground; 0x204 / 0x20C the 8 x 8 colour / monochrome pattern;
//   0x208 expansion of video memory; 0x220 host colour pixels; 0x238 host
//         monochrome; 0x810 line (0x100 x decreasing, 0x80 y decreasing,
//         0x40 y major).
//
// Choices where the chip description leaves details open:
// - An operation executes at its command write (host-data operations as
//   their words arrive); the engine then reads busy for two status reads.
// - Pixel address: (y x line length + x) x pixel size.
// - The pattern commands take the cell from the 64-pixel-aligned run that
//   holds the source's linear pixel address (y x line length + x), the low
//   6 bits of that address being the phase: row (phase / 8), column
//   (phase % 8).
// - A monochrome source from video memory (0x208, 0x20C) counts a pixel as
//   set when (pixel & read mask & source plane) is non-zero: a driver that
//   leaves the read mask at its power-on 0 sees only background.
// - Host colour data: 32-bit units, each written low half (0x23C4) then high
//   half (0x23C6); a row's first unit starts with the skipped pixels, every
//   row starts on a new unit, the pixels past the row's end are dropped;
//   pixels are little-endian in the unit (the first pixel in the low byte).
// - Host monochrome data: one write to 0x23C4 per group of 4 pixels from
//   bits 3-0, the leftmost in bit 3; a row takes ceil((skip + width) / 4)
//   groups.
// - Lines draw register 6 + 1 pixels from the start; after each pixel an
//   error term above 0 (at or above 0 when x decreases) takes a diagonal
//   step and adds e2, else an axial step adds e1. The driver of this board
//   lowers e by 1 for x decreasing, which this rule turns back into the
//   frame-buffer layer's pixels.
// - Power-on: clip 0..4095 both ways, masks 0.
// Strict: a register write with 8 queued, a register write or error term
// while host data is owed, a host-data word with no operation waiting (or a
// high half without its low half), a command or mode word the engine does
// not know, a register block other than 1 and 3, a pixel beyond video
// memory, and a processor access to the window while the engine is busy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter.h"
#include "vga.h"

namespace sim {

class Wd90c33Board;

class Wd90c33Adapter : public Adapter {
  public:
    static constexpr uint32_t kWindowBytes = 0x10000;
    static constexpr int kQueueDepth = 8;

    struct RegWrite {
        uint8_t block, reg;
        uint16_t value;
    };
    struct Stats {
        uint64_t statusReads = 0;
        uint64_t blockSelects = 0;
        uint64_t registerWrites = 0;
        uint64_t commands = 0;
        uint64_t hostWords = 0;
        uint64_t byte20Writes = 0;
    };

    Wd90c33Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;

    vga::VgaCore &vga();
    uint32_t memSize() const;
    uint8_t *window() const;
    // Where the window starts in video memory now (GR9 x 4 KB).
    uint32_t bankBase() const;
    // Engine registers as last written (block 1 or 3).
    uint16_t reg(int block, int r) const;
    bool busy() const;
    int queued() const;
    // Every engine register write, in order (block selects are counted in
    // the stats only).
    const std::vector<RegWrite> &regWrites() const;
    // Every GR9 value written, in order.
    const std::vector<uint8_t> &bankWrites() const;
    const Stats &stats() const;
    void clearLog();
    bool blanked() const;

  private:
    std::string model_;
    Wd90c33Board *board_;
};

} // namespace sim
