// The banked Cirrus Logic GD542x-class adapters (models "gd5428" and
// "gd5434"): the standard VGA registers, the BitBLT engine reached through
// the graphics-controller indices, and video memory that the processor sees
// only through a bank window.
//
// Configuration:
//   adapter gd5428 | gd5434
//   int MEMSIZE = BYTES      video memory: 0x80000, 0x100000 or 0x200000
//                            (default 1 MB on the gd5428, 2 MB on the gd5434)
//   memory BASE LENGTH       the default area is the processor's bank window
//                            (usually 0xA0000, 64 KB; at most 128 KB)
// Other areas of the configuration become plain memory.
//
// Graphics-controller registers (ports 0x3CE/0x3CF): the engine's indices
// (GR0/GR1 and GR10-GR15 colours, GR20-GR2E sizes, pitches and addresses,
// GR30 mode, GR31 status and start, GR32 raster operation, GR34/GR35
// transparent colour) go to the engine's graphics-controller front end
// (CirrusBltGr); the adapter itself decodes GR5 (write mode), GR9 (bank
// offset) and GR0B (extension control).
//
// Choices where the chip description leaves details open, or where the
// simulated machine sets limits:
// - The window is decoded by the model at all times, so every processor
//   access to it goes through the accessors (a plain load or store faults).
//   The window shows video memory from GR9 x granularity, the granularity
//   being 16 KB while GR0B bit 5 is set and 4 KB otherwise; the granularity
//   in force at the time of each access counts.
// - Write modes: GR5 bits 2-0. Mode 0 stores the byte. With GR0B bit 2
//   (extended write modes) set, mode 4 expands each processor byte into 8
//   pixels, the foreground colour for every 1 bit and nothing for a 0 bit;
//   mode 5 writes the background colour for the 0 bits as well. The most
//   significant bit is the leftmost pixel. GR0B bit 4 selects 16-bit pixels
//   (window offset x 16 in video memory, colours GR1/GR11 and GR0/GR10), else
//   bit 1 selects 8-bit pixels (offset x 8, colours GR1 and GR0). Any other
//   combination, and a processor read in an expansion mode, is reported.
// - The memory size is strapped into SR0F bits 4-3 as the BIOS leaves it:
//   1 for 512 KB, 2 for 1 MB, 3 for 2 MB. A configuration may preset SR0F
//   with `int SR0F = VALUE` instead.
// - The sequencer decodes the low five bits of its index.
// - The hardware cursor is the Cirrus one (models/cirrus_cursor.h): SR10 and
//   SR11 position, SR12 control, SR13 pattern select, DAC entries 0 and 15 as
//   its colours, patterns in the last 16 KB of video memory. SR12 bit 2
//   selects the 64 x 64 pattern, else the 32 x 32 one.
// - The cursor registers SR10 to SR13 share the chip's internal bus with the
//   running engine: a write to one of them while the engine is busy is
//   reported (the driver waits for the engine first).
// - Transparent colour expansion by the engine leaves the destination where
//   the expanded pixel equals the transparent colour GR34/GR35 (see
//   cirrus_blt.h), not simply under the 0 bits.
// - Hung-engine fixture: hangEngine(n) makes the status register read busy
//   until the engine has been reset n times (GR31 bit 2); the engine's own
//   operations end as usual.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/cirrus_blt.h"
#include "models/cirrus_cursor.h"
#include "vga.h"

namespace sim {

class Gd6Board;

class Gd6Adapter : public Adapter {
  public:
    static constexpr uint32_t kMaxWindow = 0x20000;
    static constexpr uint8_t GR5 = 0x05, GR9 = 0x09, GR0B = 0x0B, GR31 = 0x31;

    // What the engine's status register saw.
    struct WaitStats {
        uint64_t statusReads = 0;
        uint64_t busyReads = 0;
        uint64_t resets = 0;                    // GR31 writes with bit 2
        uint64_t busyReadsBeforeFirstReset = 0; // busy reads before the first reset
        uint64_t readsAfterLastReset = 0;       // status reads since the last reset
    };

    Gd6Adapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    vga::VgaCore &vga();
    CirrusBltCore &blt();
    uint8_t *window() const;
    uint32_t windowLength() const;
    uint32_t memSize() const;

    uint8_t gr(uint8_t index) const;
    uint8_t sr(uint8_t index) const;
    // Where the window starts in video memory now.
    uint32_t bankBase() const;
    uint32_t granularity() const;
    // Every GR9 value written, in order.
    const std::vector<uint8_t> &bankWrites() const;
    void clearBankWrites();
    // Bytes the processor wrote in a colour-expansion mode.
    uint64_t expandedBytes() const;

    const CirrusCursor &cursor() const;

    // ---- hung-engine fixture ----
    void hangEngine(int resetsToRecover);
    bool hung() const;
    const WaitStats &waitStats() const;
    void clearWaitStats();

  private:
    std::string model_;
    Gd6Board *board_;
};

} // namespace sim
