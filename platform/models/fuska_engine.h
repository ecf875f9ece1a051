// The fuska board's memory-mapped 2D engine: pixel-addressed copies, solid
// fills, colour expansion of 1-bit data and 8 x 8 pattern fills on tiled
// video memory, with a ROP3 code and a plane mask. The adapter model
// (fuska_adapter.h) hands it the accesses to its registers in the REGS area.
//
// Registers (byte offsets in the register block; an access must use the
// register's own offset and width, anything else is reported):
//   0x2C4 16  engine tiling control: (tiles per line << 8) | 0x80
//   0x400 16  status (read only): bit 0 an operation runs, bit 1 more are
//             queued behind it; bit 2 is never set here
//   0x402 16  pixel size: (bytes per pixel - 1) << 13
//   0x407  8  tiles per line; a line is tiles x 128 bytes
//   0x520 32  destination: x in bits 0-15, y in bits 16-31, in pixels
//   0x52A 16  pattern offset
//   0x540 32  source of copies, in pixels
//   0x544 32  monochrome source (x in bits of 1-bit data, y in lines) or
//             pattern cell (x a byte column, y a line)
//   0x564 32  second monochrome source: must equal 0x544 for an expansion
//   0x584 32  draw definition: operation in bits 8-30, ROP3 code in 0-7,
//             bit 31 bottom-up (copies only)
//   0x5E0 32  foreground colour; 0x5E4 background colour; 0x5E8 plane mask
//   0x700 32  extent: width in bits 0-15, height in 16-31; writing it starts
//             the operation
//
// Operations by draw definition (without the ROP3 byte):
//   0x11102000  copy from the source position (bottom-up with bit 31: the
//               positions name the bottom rows and rows go upward)
//   0x11702000  solid fill with the background colour
//   0x11552100  colour expansion, 0 bits leave the destination
//   0x11502000  colour expansion, 0 bits take the background colour
//   0x11902000  8 x 8 pattern fill from the pattern cell
//
// Choices where the register description leaves details open:
// - The ROP3 code is evaluated generically on each bit: bit (P << 2 | S << 1
//   | D) of the code is the result. The operation's source feeds both S and
//   P: the copied pixel, the fill colour, the expanded colour or the pattern
//   pixel.
// - The colour and plane-mask registers hold a 32-bit pattern: at 1 and 2
//   bytes per pixel a pixel takes the byte or 16-bit lane of its address
//   within the 32-bit word (so drivers repeat a pixel across the word), at 3
//   bytes the low three bytes.
// - Colour expansion reads rows of 1-bit data whose leftmost pixel is the
//   least significant bit of its byte; row r of the source is line y + r,
//   pixel i its bit x + i.
// - The pattern cell holds 8 rows of 8 pixels one after another (8 x bytes
//   per pixel bytes a row, 32 at 3 bytes per pixel of which 24 are used),
//   continuing on the next line after each 128 bytes. Destination pixel
//   (x, y) takes cell row y mod 8 and column (x - pattern offset) mod 8:
//   the pattern offset register (16 bits, so a negative origin wraps
//   harmlessly) only shifts columns, and rows are aligned to screen lines
//   that are multiples of 8. A driver aligns a pattern to its origin's y by
//   the order in which it loads the rows.
// - An operation runs completely at its start, pixel by pixel in its order
//   (rows downward, or upward bottom-up; pixels left to right), reading each
//   source pixel when it gets there: a copy over its own destination in the
//   wrong order smears, as on the chip.
// - Busy: each start keeps the engine busy for a number of status reads,
//   added up over operations started back to back. While busy the processor
//   may not touch video memory. The command queue holds copies only: the
//   position registers (0x520, 0x540, 0x544, 0x564) are taken at any time,
//   and a copy may start while another runs (a copy split into strips is
//   issued back to back), but a start of any other operation while busy is
//   reported and does not run. The draw definition, colours, plane mask and
//   pattern offset describe the running operation, and the tiling,
//   tiles-per-line and pixel-size registers its addressing: a write to any of
//   them while busy is reported and not taken. So a driver that leaves out a
//   wait before its next operation is caught, not merely queued.
// - A start with an unknown operation, a pixel size other than 1 to 3 bytes,
//   no tiles per line, tiling control that disagrees with the tiles per
//   line, or pixels beyond a line's end or video memory is reported and does
//   not run. An extent of width or height 0 draws nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

namespace fuskareg {
constexpr uint32_t EngineTiling = 0x2C4, Status = 0x400, PixelSize = 0x402, TilesPerLine = 0x407,
                   Destination = 0x520, PatternOffset = 0x52A, Source = 0x540, MonoSource = 0x544,
                   MonoSource2 = 0x564, DrawDefinition = 0x584, Foreground = 0x5E0,
                   Background = 0x5E4, PlaneMask = 0x5E8, Extent = 0x700;
} // namespace fuskareg

namespace fuskadd {
constexpr uint32_t Copy = 0x11102000, Fill = 0x11702000, ExpandTransparent = 0x11552100,
                   ExpandOpaque = 0x11502000, Pattern = 0x11902000, BottomUp = 0x80000000;
} // namespace fuskadd

struct FuskaEngineRegs {
    uint16_t engineTiling = 0, pixelSize = 0, patternOffset = 0;
    uint8_t tilesPerLine = 0;
    uint32_t destination = 0, source = 0, monoSource = 0, monoSource2 = 0;
    uint32_t drawDefinition = 0, foreground = 0, background = 0, planeMask = 0, extent = 0;
};

enum class FuskaOpKind : uint8_t { Copy, Fill, ExpandTransparent, ExpandOpaque, Pattern };
const char *fuskaOpKindName(FuskaOpKind);

// One operation the engine ran.
struct FuskaOp {
    FuskaOpKind kind;
    bool bottomUp;
    uint8_t rop;
    int pixelBytes;
    int dstX, dstY, srcX, srcY; // source: copy in pixels, else the 0x544 value
    int width, height;
    FuskaEngineRegs regs;
};

class FuskaEngine {
  public:
    static constexpr int kDefaultBusyReads = 2;

    explicit FuskaEngine(VideoMemory &vram, int busyReads = kDefaultBusyReads);
    FuskaEngine(const FuskaEngine &) = delete;
    FuskaEngine &operator=(const FuskaEngine &) = delete;

    // True for the offsets of the engine's registers.
    static bool owns(uint32_t offset);
    uint32_t read(uint32_t offset, int width);
    void write(uint32_t offset, int width, uint32_t value);

    // Status reads an operation stays busy for; 0 ends every one at once.
    void setBusyReads(int reads);
    // Finish everything and release video memory to the processor.
    void drain();
    bool busy() const { return running_; }
    const FuskaEngineRegs &regs() const { return regs_; }
    const std::vector<FuskaOp> &log() const { return log_; }
    void clearLog() { log_.clear(); }
    uint64_t starts() const { return starts_; }
    // Bytes per line as the engine addresses video memory (0 before a mode set).
    uint32_t pitch() const { return uint32_t(regs_.tilesPerLine) * 128u; }

  private:
    void start();
    bool run(FuskaOp &op);
    bool fillLeavesDestination(uint8_t rop, int n) const;
    void fillRows(const FuskaOp &op, uint32_t pitch, uint8_t *mem);
    void setGuard(bool on);

    VideoMemory &vram_;
    int busyReads_;
    FuskaEngineRegs regs_;
    bool running_ = false;
    bool guarded_ = false;
    int busyLeft_ = 0;
    uint64_t starts_ = 0;
    std::vector<FuskaOp> log_;
};

} // namespace sim
