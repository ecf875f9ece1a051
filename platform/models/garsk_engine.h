// The garsk accelerator: a memory-mapped register block and three 8 KB
// aperture windows onto video memory, with an engine that combines pattern
// (P), source (S) and destination (D) by a ROP3 code per pixel. The board
// (garsk_board.h) places the block and the windows in its memory area.
//
// Register block, offsets from 0x1FF00 of the memory area; every access
// must be one of these fields at its own width (8, 16 or 32 bits), and
// reads give back what was written (the status register excepted):
//   0x00 / 0x04 / 0x08  32  MMU base 0 / 1 / 2: the video address each
//                           aperture window shows from its first byte
//   0x13  8  MMU control    0x31  8  operation state
//   0x32  8  sync enable    0x34  8  interrupt mask
//   0x36  8  status (read only): bit 0 an operation runs, bit 1 the memory
//            interface is busy (below)
//   0x80 32  pattern address      0x84 32  source address
//   0x88 / 0x8A / 0x8C 16  pattern / source / destination line offset
//            (line length less one; the destination's is 1023 here)
//   0x8E  8  bus size: the unit of each processor write to window 0, 0 a
//            byte, 1 a 16-bit word, 2 a 32-bit word
//   0x8F  8  direction: 0 forward, 3 backward in x and y from the given
//            (bottom-right) addresses, for destination, source and pattern
//   0x90 / 0x92  8  pattern / source wrap: low nibble the width (2 to 6: 4,
//            8, 16, 32 or 64 bytes), high nibble the height (0 to 3: 1, 2,
//            4 or 8 lines), 7 in a nibble no wrap. 0x02 is a 4-byte colour
//            cell, 0x77 a screen area. A wrapped operand repeats from the
//            address given: column i of line j reads address + (j mod H) x
//            line length + (i mod W), backward the same distance down.
//   0x94 / 0x96  16  x / y position (kept)
//   0x98 / 0x9A  16  x / y count: width and height less one
//   0x9C  8  routing: what processor data written to window 0 means
//            0x00 nothing: one byte written to window 0 starts the operation
//                 at MMU base 0 plus the offset written
//            0x01 source pixels, a byte each (surplus bytes of a row's last
//                 unit are dropped)
//            0x02 a 1-bit mix mask, least significant bit leftmost: regFgRop
//                 where it is 1, regBgRop where it is 0; each row takes
//                 whole bus units and drops their surplus bits
//            0x11 one source pixel per byte, at the address written (MMU
//                 base 0 plus the offset); the counts are not used
//   0x9D  8  reload (kept)   0x9E  8  background ROP3   0x9F  8  ROP3
//            (regFgRop: also every operation without a mix mask)
//   0xA0 32  destination address (kept)
//
// Model choices:
// - Only the wrap codes above and the directions 0 and 3 are supported
//   (those the driver uses); another is a failure when an operation starts.
// - An operation draws at its start (routing 0) or as its data arrives. A
//   started operation keeps bit 0 set for a few status reads, by its size;
//   an operation fed by processor data keeps it set from its first unit to
//   its last and ends with that unit.
// - Bit 1 is set for two status reads after any write through an aperture
//   (the data is still being taken) and whenever bit 0 is set for a
//   started operation (the engine holds the memory interface): a colour
//   or pattern written through an aperture waits for both.
// - The off-screen cells, the scratch line and the tile area are plain
//   video memory to the engine.
//
// Strict, each a failure: a write to a register at 0x80 or above while
// bit 0 is set (the bus size excepted while an operation takes data: it
// sets the unit of the next writes); a write through window 1 or 2 while
// bit 1 is set; processor data to window 0 when no operation was set up
// since the last one (a register write sets one up) or of another width
// than the bus size; a register write (the bus size excepted) or drain()
// while an operation still waits for data; under routing 0 a write to
// window 0 that is not one byte, or made while the operation before runs.
#pragma once

#include <cstdint>
#include <string>

#include "machine.h"

namespace sim {

class GarskEngine {
  public:
    static constexpr uint32_t kBlockOffset = 0x1FF00;
    static constexpr uint32_t kBlockLength = 0xA4;
    static constexpr uint32_t kWindowsOffset = 0x18000;
    static constexpr uint32_t kWindowLength = 0x2000;
    static constexpr uint32_t kWindowsLength = 3 * kWindowLength;

    enum Reg : uint32_t {
        MmuBase0 = 0x00,
        MmuBase1 = 0x04,
        MmuBase2 = 0x08,
        MmuControl = 0x13,
        OpState = 0x31,
        SyncEnable = 0x32,
        IntMask = 0x34,
        Status = 0x36,
        PatternAddr = 0x80,
        SourceAddr = 0x84,
        PatternYOffset = 0x88,
        SourceYOffset = 0x8A,
        DestYOffset = 0x8C,
        BusSize = 0x8E,
        Direction = 0x8F,
        PatternWrap = 0x90,
        SourceWrap = 0x92,
        XPos = 0x94,
        YPos = 0x96,
        XCount = 0x98,
        YCount = 0x9A,
        Routing = 0x9C,
        Reload = 0x9D,
        BgRop = 0x9E,
        FgRop = 0x9F,
        DestAddr = 0xA0,
    };
    static constexpr uint8_t kBusy = 0x01, kDataBusy = 0x02;

    GarskEngine(Machine &m, VideoMemory &vram) : machine_(m), vram_(vram) {}

    // The register block and the windows, offsets from their own start.
    uint32_t regRead(uint32_t offset, int width);
    void regWrite(uint32_t offset, int width, uint32_t value);
    uint32_t windowRead(uint32_t offset, int width);
    void windowWrite(uint32_t offset, int width, uint32_t value);

    // A register as last written (0 before).
    uint32_t reg(uint32_t offset) const;
    uint8_t status() const;
    // Ends the running operation at once (an operation still waiting for
    // data is a failure).
    void drain();
    // Operations started so far (routing 0 starts and processor-fed ones).
    int operations() const { return operations_; }

  private:
    struct Wrap {
        uint32_t width = 0, height = 0; // 0: no wrap
    };
    bool decodeWrap(uint32_t code, const char *which, Wrap &out);
    uint32_t operandAddress(uint32_t base, const Wrap &wrap, uint32_t pitch, uint32_t i,
                            uint32_t j) const;
    void pixel(uint32_t i, uint32_t j, int sourceByte, int mixBit);
    bool beginOperation(uint32_t windowOffset);
    void endOperation();
    void feed(uint32_t value, int width);
    void startFill(uint32_t windowOffset);
    void pixelWrites(uint32_t windowOffset, uint32_t value, int width);
    void fail(const std::string &why);
    void tick();

    Machine &machine_;
    VideoMemory &vram_;
    uint8_t regs_[kBlockLength] = {};
    // The operation in progress.
    bool armed_ = false;   // registers written since the last start
    bool waiting_ = false; // takes processor data
    uint32_t dest_ = 0, rows_ = 0, width_ = 0, row_ = 0, filled_ = 0;
    Wrap patWrap_, srcWrap_;
    bool backward_ = false;
    int busyReads_ = 0; // status reads until a started operation ends
    int dataReads_ = 0; // status reads until aperture data is taken
    int operations_ = 0;
};

} // namespace sim
