// The Mach64 board (model "mach64"), register side: the standard VGA
// registers, the Mach64's memory-mapped register block with its command
// FIFO, the palette DAC behind the block's byte registers, the CRTC as the
// mode procedures program it, and video memory behind the 64 KB VGA window
// and the linear aperture. The drawing engine (mach64_engine.h) takes the
// FIFO's entries as they leave it; so does onEngineWrite.
//
// Configuration:
//   adapter mach64
//   int MEMSIZE = BYTES      video memory: 0x100000, 0x200000, 0x400000,
//                            0x600000 or 0x7F0000 (8128 KB), and 0x80000 on
//                            an older-class chip; default 0x100000
//   int CHIP_ID = WORD       CONFIG_CHIP_ID: type in bits 0-15, revision
//                            field in bits 24-26 (default 0x01004750, a
//                            Rage Pro)
//   int MEM_CNTL = WORD      MEM_CNTL as strapped (default: the memory code
//                            of MEMSIZE in the chip class's coding)
//   int DAC_TYPE = N         CONFIG_STAT0 bits 9-11 (default 0)
//   string REGS = "window"   the block in REGS answers only while VGA
//                 "always"   graphics register 6 selects the 128 KB map
//                            ("window", the default), or always
//   string ENGINE = "normal" fixtures: "busy" (GUI_STAT never idle), "fifo"
//                            (FIFO_STAT bit 0 never clears); no reset helps
//   flag NO_APERTURE_REGS    the aperture decodes no register block
//   flag FIFO_OVERRUN        fixture: the FIFO's overrun bit latched at power-on
//   int BUS_ERROR = BITS     fixture: BUS_CNTL bits 16-23 latched at power-on
//   memory BASE 0x10000          MEMORY: the VGA window, two 32 KB read pages
//   memory REGS BASE LENGTH      at least 64 KB: the block at 0xFC00, plain
//                                memory elsewhere (the mode procedures'
//                                exchange buffer at 0xA000)
//   memory APERTURE BASE LENGTH  optional, 4 or 8 MB: video memory from its
//                                start, the block in its last 1 KB
//
// Chip class: a Rage Pro (types 0x4742, 0x4744, 0x4749, 0x4750, 0x4751), or
// a Mach64 of type 0x4754, 0x5654, 0x4755, 0x5655, 0x4756 or 0x475A with a
// revision field other than 0, is of the newer class: MEM_CNTL bits 0-3 hold
// 1, 3, 7, 9 or 11 for 1, 2, 4, 6 MB and 8128 KB. Every other chip codes
// 512 KB to 8128 KB as 0 to 5 in bits 0-2.
//
// Registers (word index = byte offset / 4):
//   7 CRTC_GEN_CNTL    bit 6 blanks; bits 8-10 the pixel width code (2, 3,
//                      4, 5, 6: 8, 15, 16, 24, 32 bits); bit 24 the
//                      accelerator's display (else VGA)
//   0, 2, 5            CRTC_H_TOTAL_DISP (bits 16-23: characters - 1),
//                      CRTC_V_TOTAL_DISP (bits 16-26: lines - 1),
//                      CRTC_OFF_PITCH (bits 22-31: pitch in 8 pixels)
//   40 BUS_CNTL        bits 16-23 are latched status: a 1 written clears it
//   44 MEM_CNTL        strapped, writable; 46 MEM_VGA_RP_SEL: the 32 KB read
//                      pages of the window, bits 0-7 and 16-23
//   52 GEN_TEST_CNTL   0 at power-on; bit 8 enables the engine; taking it
//                      from 1 to 0 resets the engine: the FIFO is emptied
//                      (its entries lost) and the overrun bit cleared
//   56 CONFIG_CHIP_ID, 57 CONFIG_STAT0: read only
//   64-206             engine registers: a write enters the 16-entry FIFO;
//                      a read gives the value last written
//   196 FIFO_STAT      k queued entries set the k low bits; bit 31 overrun
//   206 GUI_STAT       bit 0 while entries are queued, the engine runs or an
//                      operation waits for host data
//   bytes 0xC0-0xC3    DAC write index, data, mask, read index (the VGA DAC)
//
// Hardware cursor: a 64 x 64 sprite over the picture, shown while
// GEN_TEST_CNTL bit 7 is set.
//   26 CUR_OFFSET      image address in 8-byte units (bits 0-19)
//   27 CUR_HORZ_VERT_POSN  screen x of the sprite's left column (bits 0-10),
//                      y of its top row (bits 16-26)
//   28 CUR_HORZ_VERT_OFF   x offset (bits 0-5), y offset (bits 16-21)
//   24, 25 CUR_CLR0, CUR_CLR1  background and foreground colour: red bits
//                      24-31, green 16-23, blue 8-15 (bits 0-7 taken and
//                      ignored)
//   The image is 1024 bytes, 64 rows of 16 bytes, four 2-bit pixels a byte
//   with the first pixel in the low bits: code 0 the background colour, 1
//   the foreground, 2 the screen shows through, 3 the screen inverted. The
//   x offset skips that many pixels at the left of each row: screen column
//   x + c shows image column offset + c. The y offset hides that many rows
//   at the bottom: screen row y + r shows image row r for r below 64 minus
//   the offset. On a board whose DAC type (CONFIG_STAT0 bits 9-11) is 5 the
//   colours come from the DAC's two cursor colour registers instead (8 bits
//   a component): a write of bit 0 set to FIFO_STAT's offset points the DAC
//   write index and data registers at them (index 0 background, 1
//   foreground, red, green, blue each, the index stepping after blue) until
//   a write with bit 0 clear points them back at the palette.
//
// Choices where the description leaves details open:
// - The FIFO moves one entry to the engine at every read of FIFO_STAT or
//   GUI_STAT (a poll is what lets time pass); an engine register write with
//   16 entries queued is reported, latches the overrun and is lost, and so is
//   one while the engine is disabled.
// - Writes to GUI_STAT, and bits of FIFO_STAT's but the cursor colour
//   select, are taken and ignored.
// - The window shows vram from 32 KB page RPS0; RPS1 must be the page after
//   it (the machine shows one contiguous window), else it is reported.
// - An access to the REGS block while register 6 hides it is reported,
//   reads all ones and writes nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/mach64_engine.h"
#include "vga.h"

namespace sim {

namespace m64reg {
constexpr int CurClr0 = 24, CurClr1 = 25, CurOffset = 26, CurHorzVertPosn = 27, CurHorzVertOff = 28;
constexpr uint32_t kCursorEnable = 0x80;
constexpr int CrtcHTotalDisp = 0, CrtcVTotalDisp = 2, CrtcOffPitch = 5, CrtcGenCntl = 7,
              BusCntl = 40, ExtMemCntl = 43, MemCntl = 44, MemVgaRpSel = 46, GenTestCntl = 52,
              ConfigChipId = 56, ConfigStat0 = 57, EngineFirst = 64, EngineLast = 206,
              FifoStat = 196, GuiStat = 206;
constexpr uint32_t kBlockBytes = 0x400, kRegsOffset = 0xFC00, kExchange = 0xA000;
constexpr uint32_t kBlank = 0x40, kExtDisplay = 0x01000000, kEngineEnable = 0x100,
                   kFifoErr = 0x80000000u;
constexpr int kFifoEntries = 16;
} // namespace m64reg

class Mach64Block;

class Mach64Adapter : public Adapter {
  public:
    enum class Fault : uint8_t { None, Busy, Fifo };

    Mach64Adapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "mach64"; }
    VideoMemory *vram() override { return &vram_; }
    std::string describe() const override;
    uint32_t displayPitch() const override;

    vga::VgaCore &vga() { return *vga_; }
    // A register as the chip holds it (engine registers: the value last
    // written, queued or not).
    uint32_t reg(int index) const;
    // Engine registers as the engine has taken them from the FIFO.
    uint32_t engineReg(int index) const { return engine_[size_t(index)]; }
    int queued() const { return int(fifo_.size()); }
    bool newClass() const { return newClass_; }
    bool blanked() const { return (reg(m64reg::CrtcGenCntl) & m64reg::kBlank) != 0; }
    bool acceleratorDisplay() const {
        return (reg(m64reg::CrtcGenCntl) & m64reg::kExtDisplay) != 0;
    }
    int displayWidth() const;
    int displayHeight() const;
    int pixelWidthCode() const { return int((reg(m64reg::CrtcGenCntl) >> 8) & 7); }
    uint8_t gr6() const { return vga_->gc.reg(6); }
    // Engine resets (GEN_TEST_CNTL bit 8 from 1 to 0).
    int resets() const { return resets_; }
    // Accesses refused because register 6 hid the REGS block.
    int hiddenAccesses() const { return hidden_; }
    uint32_t windowOffset() const { return windowOffset_; }
    Mach64Engine &engine() { return draw_; }

    // The hardware cursor.
    enum class CursorPixel : uint8_t { Transparent, Background, Foreground, Invert };
    struct Rgb {
        uint8_t red = 0, green = 0, blue = 0;
        bool operator==(const Rgb &) const = default;
    };
    bool cursorShown() const { return (reg(m64reg::GenTestCntl) & m64reg::kCursorEnable) != 0; }
    int cursorX() const { return int(reg(m64reg::CurHorzVertPosn) & 0x7FF); }
    int cursorY() const { return int((reg(m64reg::CurHorzVertPosn) >> 16) & 0x7FF); }
    int cursorXOffset() const { return int(reg(m64reg::CurHorzVertOff) & 0x3F); }
    int cursorYOffset() const { return int((reg(m64reg::CurHorzVertOff) >> 16) & 0x3F); }
    uint32_t cursorImageOffset() const { return (reg(m64reg::CurOffset) & 0xFFFFF) * 8; }
    // Pixel (column, row) of the 64 x 64 image as video memory holds it
    // (Transparent when the image lies beyond video memory).
    CursorPixel cursorImagePixel(int column, int row) const;
    // What the cursor shows at a screen position: Transparent where it is
    // off or does not cover the position.
    CursorPixel cursorAt(int x, int y) const;
    // The colour of code 0 (background) or 1 (foreground), from the DAC's
    // cursor registers on a DAC of type 5, else from CUR_CLR0 / CUR_CLR1.
    Rgb cursorColour(bool foreground) const;
    // The DAC's own cursor colour registers (index 0 background, 1 foreground).
    Rgb dacCursorColour(int index) const { return dacCursor_[size_t(index & 1)]; }
    // FIFO_STAT's cursor colour select as last written.
    bool cursorColourSelect() const { return cursorColourSelect_; }
    // Every queued entry to the engine, then the engine to rest.
    void drain() override;
    // Every queued entry to the engine, which stays busy.
    void settle() override;

    // Fixtures.
    void latchOverrun() { overrun_ = true; }
    void latchBusError(uint32_t bits) { busStatus_ |= bits & 0xFF0000u; }
    // FIFO_STAT bit 0 (GUI_STAT bit 0) stays set for the next `reads` reads
    // of it, whatever is queued; a reset ends the hold.
    void holdFifo(uint64_t reads) { fifoHold_ = reads; }
    void holdBusy(uint64_t reads) { busyHold_ = reads; }
    void setFault(Fault f) { fault_ = f; }

    // Every entry as it leaves the FIFO for the engine.
    std::function<void(int index, uint32_t value)> onEngineWrite;

  private:
    friend class Mach64Block;
    uint32_t read(int index);
    void write(int index, uint32_t value);
    uint8_t readByte(uint32_t offset);
    void writeByte(uint32_t offset, uint8_t value);
    void retireOne();
    void engineReset();
    void setReadPages(uint32_t value);

    VideoMemory vram_;
    vga::VgaCore *vga_;
    uint8_t *window_ = nullptr;
    uint32_t windowOffset_ = 0;
    std::vector<uint32_t> regs_;
    std::vector<uint32_t> engine_;
    std::deque<std::pair<int, uint32_t>> fifo_;
    bool newClass_ = false;
    bool overrun_ = false;
    uint32_t busStatus_ = 0;
    uint64_t fifoHold_ = 0, busyHold_ = 0;
    Fault fault_ = Fault::None;
    int resets_ = 0;
    int hidden_ = 0;
    bool cursorColourSelect_ = false;
    Rgb dacCursor_[2];
    int dacCursorAt_ = 0; // component written next: index x 3 + red, green, blue
    Mach64Engine draw_;
};

} // namespace sim
