// The portable-computer chips of the ct drivers (model "ct"): the 65550 and
// 65554, the 65548 and the 6430x. Each has the standard VGA registers (the
// attribute controller's blanking and the DAC among them), extension
// registers XR00-XRFF at the index/data pair 0x3D6/0x3D7, and a BitBlt
// engine: one operation at a time, set up in a handful of registers and
// started by the write of its size.
//
// Configuration:
//   adapter ct
//   string CHIP = "65550"    "65550", "65554", "65548" or "6430x"
//   int MEMSIZE = BYTES      video memory: 65550/65554 1 MB or 2 MB (default
//                            2 MB), 65548 256 KB, 512 KB or 1 MB (default
//                            1 MB), 6430x 512 KB, 1 MB or 2 MB (default 1 MB)
//   int XRnn = VALUE         presets extension register nn (two hex digits)
//                            after the identity and strap values below; so
//                            XR0F (65548) or XR04 (6430x) = 3 gives the
//                            memory code the chips leave undefined, with
//                            MEMSIZE still the memory there is
//   memory BASE LENGTH       the default area (MEMORY): video memory from its
//                            start; on the 65550/65554 the engine registers
//                            at +0x400000 and the host-data port at +0x410000
//                            when the area reaches them
// Other areas become plain memory.
//
// Identity and straps, as the BIOS leaves them:
// - 65550/65554: XR00 0x2C, XR01 0x10 (vendor 0x102C), XR02 0xE0 (65550) or
//   0xE4 (65554), XR03 0, XR04 revision 1, XR08 bit 0 set (PCI bus), XR43
//   bit 1 set for 2 MB.
// - 65548: XR00 0xDD (revision 1), XR01 bits 1-0 = 3 (CPU direct), XR0F
//   bits 1-0 the memory code: 0 256 KB, 1 512 KB, 2 1 MB.
// - 6430x: XR00 0xB1 (revision 1), XR01 bits 1-0 = 3 (32-bit local bus),
//   XR04 bits 1-0 the memory code: 0 512 KB, 1 1 MB, 2 2 MB.
//
// The engine:
// - 65550/65554: BR00-BR08 at MEMORY + 0x400000, 32-bit registers 4 bytes
//   apart but BR00, whose source (+0) and destination (+2) pitch halves are
//   16-bit registers; BR08 starts the operation. XR20 bit 0 reads set while
//   the engine is busy. Host data: 32-bit writes to MEMORY + 0x410000.
// - 65548/6430x: DR00-DR07 at I/O ports 0x83D0 + 0x400 x n, 32-bit
//   registers but DR00, whose pitch halves (0x83D0, 0x83D2) are 16-bit;
//   DR07 starts the operation; DR04 bit 20 reads set while busy.
// - Operations work on bytes: pitches, addresses and the width in bytes
//   from the registers, a ROP3 code (control bits 0-7) over pattern P
//   (0xF0), source S (0xCC) and destination D (0xAA), byte by byte in the
//   operation's order, each source byte read when it is reached (a copy
//   over itself in the wrong direction smears, as on the chip).
// - Directions: 65550 0x100 x decreasing, 0x200 y decreasing; 65548/6430x
//   0x100 y increasing, 0x200 x increasing. Rows run from the start corner's
//   row; with x decreasing the start address is that of the row's last
//   pixel, and the row covers the width's bytes ending with that pixel's
//   last byte (the model's reading of "from the start corners").
// - Solid colour as an operand: 65550 0x80000 the source, 0x40000 the
//   pattern, colour BR01, masked to the pixel; 65548/6430x 0x400 the source,
//   colour DR03, which must hold the pixel replicated over 32 bits
//   (reported and not run otherwise). The pixel size is the one the mode
//   procedure sets up: the configuration's DEPTH (8: one byte, else two).
// - Host colour data: 65550 0x400, 65548/6430x 0x4000. The words form one
//   byte stream, the low byte of each word first; row r starts at the
//   source address's byte offset (BR06 bits 0-2, DR05 bits 0-1) plus r x
//   the source pitch. The operation owes the stream up to its last byte,
//   in whole quadwords on the 65550 and whole words on the others, and runs
//   when the last word arrives. The 65548/6430x take it as accessor writes
//   anywhere in MEMORY (mapAccessorDevice): host data while owed, video
//   memory otherwise; plain processor accesses stay memory.
// - An operation of width or height 0 draws nothing and takes no data;
//   one that would reach outside video memory is reported and not run.
// - An operation stays busy for a number of status reads (busyReads(),
//   2 by default), added up over operations started back to back.
// - Strict: an engine register written while the engine is busy, a pitch
//   half written as 32 bits, a 32-bit register written at another width, a
//   host-data word with no operation waiting for it, a register write or
//   status read while host data is owed (the operation is dropped), control
//   bits the model does not know, and any processor access to video memory
//   while the engine is busy or waits for data are reported.
// - The 65548/6430x cursor: DR08-DR0C at ports 0xA3D0-0xB3D0 (see the
//   readings in ct_adapter.cpp); cursorAt() tells what it shows where.
// - Fixture: stayBusy(n) makes the status read busy for the next n reads,
//   as an operation would, with video memory guarded meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "vga.h"

namespace sim {

enum class CtChip : uint8_t { C65550, C65554, C65548, C6430x };

namespace ctreg {
constexpr uint16_t XrIndex = 0x3D6, XrData = 0x3D7;
constexpr uint32_t BlockOffset = 0x400000, BlockSize = 0x24, HostPortOffset = 0x410000;
constexpr uint16_t DrBase = 0x83D0, DrStep = 0x400;
constexpr uint8_t XR20 = 0x20;
constexpr uint32_t kDrBusy = 0x100000;
constexpr uint8_t kXr20Busy = 0x01;
} // namespace ctreg

// One operation the engine was given: the registers at its start.
struct CtOp {
    uint32_t regs[9]; // BR00-BR08, or DR00-DR07 (regs[8] unused)
};

class CtEngine;

class CtAdapter : public Adapter {
  public:
    CtAdapter(const std::string &model, graf::Config &cfg, Machine &m);
    ~CtAdapter() override;

    std::string model() const override { return "ct"; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;

    CtChip chip() const;
    bool is65550() const { return chip() == CtChip::C65550 || chip() == CtChip::C65554; }
    vga::VgaCore &vga();
    uint8_t xr(uint8_t index) const;
    // Every XR data write, in order (index and value).
    const std::vector<vga::IndexedRegisters::Write> &xrWrites() const;
    void clearXrWrites();
    uint8_t *memory() const; // the MEMORY area as mapped

    // ---- the engine ----
    // Status reads an operation stays busy for (0: done at once).
    void setBusyReads(uint64_t reads);
    void stayBusy(uint64_t reads);
    bool busy() const;
    // Status reads seen (XR20 or DR04), and those that read busy.
    uint64_t statusReads() const;
    uint64_t busyStatusReads() const;
    const std::vector<CtOp> &ops() const;
    void clearOps();

    // ---- the cursor (65548 and 6430x) ----
    enum class CursorPixel : uint8_t { Transparent, Background, Foreground, Invert };
    // What the cursor shows at a screen position (Transparent where it is off
    // or does not cover it).
    CursorPixel cursorAt(int x, int y) const;
    bool cursorOn() const;
    int cursorSize() const; // 32 or 64
    int cursorX() const;    // the image's top-left corner
    int cursorY() const;
    uint32_t cursorReg(int n) const; // DR08 to DR0C as last written
    // 6430x: the words the DR0C data port took, in order.
    std::vector<uint32_t> cursorDataWords() const;
    void clearCursorDataWords();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
