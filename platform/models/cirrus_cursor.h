// The Cirrus Logic hardware cursor as the GD542x, GD543x, GD5446 and GD5480
// chips show it: the sequencer registers that place, enable and select it,
// the DAC entries that become its colours, and the pattern it fetches from
// the top of video memory. An adapter model owns one and attaches it to its
// standard VGA registers.
//
// Choices where the chip description leaves details open:
// - The sequencer decodes the low five bits of its index. Writes of SR10 and
//   SR11 take the cursor position's bits 2-0 from index bits 7-5 and its bits
//   10-3 from the data byte.
// - SR12: bit 0 shows the cursor, bit 1 gives DAC access to the cursor
//   colours (entries 0 and 15 become the background and foreground, kept as
//   6-bit components; other entries still reach the palette), bit 2 selects
//   the 64 x 64 pattern. Chips without the 32 x 32 size (Sizes::Only64) show
//   the 64 x 64 pattern whatever bit 2 holds.
// - The patterns are the last 16 KB of video memory. A 64 x 64 pattern is
//   1 KB, picked by SR13 bits 5-2: each row 8 bytes of plane 0 then 8 bytes
//   of plane 1. A 32 x 32 pattern is 256 bytes, picked by SR13 bits 5-0: 32
//   rows of plane 0 (4 bytes each), then 32 rows of plane 1. The leftmost
//   pixel is the most significant bit. Plane 1 clear is transparent; plane 1
//   set shows the background colour, and the foreground with plane 0 set.
#pragma once

#include <cstdint>
#include <vector>

#include "machine.h"
#include "vga.h"

namespace sim {

class CirrusCursor {
  public:
    static constexpr uint32_t kPatternArea = 0x4000; // last 16 KB of video memory
    static constexpr int kLargeSize = 64, kSmallSize = 32;

    // Whether SR12 bit 2 chooses between 32 x 32 and 64 x 64 on this chip.
    enum class Sizes : uint8_t { Only64, Both };
    enum class Pixel : uint8_t { Transparent, Background, Foreground };
    // size() rows of size() pixels.
    using Image = std::vector<std::vector<Pixel>>;

    CirrusCursor(const VideoMemory &vram, const vga::Sequencer &seq, Sizes sizes);
    CirrusCursor(const CirrusCursor &) = delete;
    CirrusCursor &operator=(const CirrusCursor &) = delete;

    // Takes the sequencer's write hook and the DAC's entry hook of `vga`,
    // which must be the core whose sequencer was given to the constructor.
    void attach(vga::VgaCore &vga);

    // The hooks themselves, for an adapter that has more to do in them.
    void sequencerWrite(uint8_t index, uint8_t value);
    // True when the entry went to a cursor colour instead of the palette.
    bool dacEntryWrite(uint8_t index, vga::Dac::Entry raw);

    bool enabled() const;
    bool colourAccess() const;
    bool largeSelected() const; // SR12 bit 2, whatever the chip makes of it
    int size() const;           // 32 or 64, as the chip shows it
    int x() const { return x_; }
    int y() const { return y_; }
    // Offset in video memory of the pattern SR13 selects.
    uint32_t patternOffset() const;
    Image image() const;
    vga::Dac::Entry background() const { return background_; }
    vga::Dac::Entry foreground() const { return foreground_; }

  private:
    uint8_t sr(uint8_t index) const { return seq_.reg(index); }

    const VideoMemory &vram_;
    const vga::Sequencer &seq_;
    Sizes sizes_;
    int x_ = 0, y_ = 0;
    vga::Dac::Entry background_, foreground_;
};

} // namespace sim
