// The Matrox board (model "mga"), register side: PCI configuration space,
// the 16 KB control-register window (VGA register images, CRTC extension
// registers, the integrated DAC with its look-up table, indexed registers
// and two PLLs, status and memory-control registers), video memory in a
// linear aperture with the bus answering past it, the option ROM shown at
// the frame-buffer address while enabled, and the legacy BIOS image. The
// drawing engine (fills, points and screen copies; its other operations
// are refused as unknown command words) works on video memory through the
// engine registers, behind a FIFO.
//
// Configuration:
//   adapter mga
//   int PCI_DEVICE = ID       0x0519, 0x0520, 0x0521, 0x0525, 0x1000 or
//                             0x1001 (default 0x0521)
//   int PCI_REVISION = N      revision byte (default 3)
//   int PCI_SUBCLASS = N      display subclass (default 0, VGA compatible)
//   int PCI_SUBSYSTEM = WORD  configuration dword 0x2C (default 0)
//   int MEMSIZE = BYTES       video memory: 2 to 32 MB in whole 2 MB steps
//                             (default 4 MB)
//   int PINS_VERSION = N      board data in the option ROM: 3 or 4 (a marked
//                             block; default 4 on device 0x0525, else 3), 0
//                             (the older 64-byte block behind 0x7FFC) or -1
//                             (none)
//   string PINS_BYTES = "OFFSET=VALUE ..."  bytes of the block set before
//                             its sum (decimal or 0x hex each)
//   int PCIR_REVISION = WORD  the revision word of the ROM's "PCIR"
//                             structure (default 0x0102)
//   string ROM_TEXT = "TEXT"  the text from ROM offset 0x1D
//   int ROM_OUTPUT_MODE = N   ROM byte 0x7FF1
//   flag NO_ROM               the ROM carries no 0x55 0xAA signature
//   int PLL_REF = KHZ         PLL reference, 27000 (default) or 14318
//   int PLL_VCO_MAX = KHZ     highest VCO either PLL locks at (230000)
//   string PLL = "normal"     fixtures: "never" (the pixel PLL never locks),
//                             "retry" (each PLL locks only after its power
//                             is cycled: DAC register 0x1A bit 3 for the
//                             pixel PLL, OPTION bit 5 for the system PLL)
//   flag LUT_READ_FAULT       fixture: the look-up table reads back inverted
//   flag DVD                  a DVD decoder on the DAC pins: pin 6 reads low
//                             while released
//   int DDC_BYTES = N         the monitor's DDC memory: 128 (default), 256,
//                             or 0 (no monitor answers)
//   int DDC_PORT = N          its I2C port (default 0)
//   string I2C_FIXTURE = "none"  "clock-low" (a device holds the clock low)
//                             or "bus-busy" (one holds the data line low)
//   int I2C_FIXTURE_PORT = N  the port of the fixture (default 0)
//   int READBACK_GOOD_MIN = D, READBACK_GOOD_MAX = D
//                             read-back delays (register 0x1E44 bits 0-3)
//                             at which memory reads come back intact
//                             (default 0 and 15)
//   int COMPENSATION_ZERO_READS = N  fixture (device 0x0525): the buffer
//                             compensation byte 0x1E4D reads 0 this many
//                             times before it answers (default 0)
//   memory BASE 0x4000        MEMORY: the control-register window (a
//                             shorter area holds what fits)
//   memory FBM BASE LENGTH    the frame-buffer aperture (16 MB, 32 MB on
//                             device 0x0525, on a real board)
//   memory BIOS 0xC0000 0x10000  optional: the legacy video BIOS image,
//                             which the board fills with its ROM
//
// PCI configuration (the function a machine's PCI bus lists): vendor 0x102B,
// class 3 (display), the subclass above. Writable: 0x04 bits 0-2 (I/O,
// memory, master), 0x0C bits 8-15, 0x10 bits 24-31 (25-31 on 0x0525; the
// frame buffer's base), 0x14 bits 14-31 (the register window's base), 0x30
// bits 16-31 and bit 0 (ROM base and enable), 0x3C bits 0-7, 0x40 OPTION
// (bits 0-5, 7, 10-12, 14, 15-20, 22, 28, 30), 0x4C (a write sets the
// subsystem id read at 0x2C), 0x50 OPTION2 bits 12-17 (and 24-27 on 0x0525),
// 0x54 OPTION3, 0xE0
// bits 0-1 (power state), 0xF8 (AGP command). Other bits keep their value;
// a write to a dword without a writable bit is reported.
//
// Register window (byte offsets; VGA port P at 0x1C00 + P):
//   0x1C00-0x1CFF  drawing-engine registers (a read gives the last value
//                  written); a write at register + 0x100 stores the value
//                  and starts the operation the command word 0x1C00 names
//   0x1E10         FIFO status, read only: free entries (64; 16 on 0x0525)
//   0x1E14         status: bit 3 vertical retrace (set at every fourth read),
//                  bit 16 engine busy, bit 17 engine idle; bit 31 a mark
//                  software may write, every other bit read only
//   0x1E1C, 0x1E44 (memory read-back: delay in bits 0-3), 0x1E4C, 0x1E58,
//   0x1E5C, 0x1E70, 0x2CB8   plain 32-bit registers
//   0x1FC0/0x1FC1  attribute index and data by the flip-flop, which a read of
//                  0x1FDA resets; 0x1FC2 miscellaneous output (write),
//                  0x1FCC (read); sequencer 0x1FC4/5; graphics 0x1FCE/F;
//                  CRTC 0x1FD4/5, where CR11 bit 7 keeps CR0-CR7 from
//                  changing; CRTCEXT0-7 at 0x1FDE/F
//   0x3C00-0x3C0F  DAC: 0x3C00 palette write index and indexed-register
//                  index, 0x3C01 palette data (red, green, blue, 8 bits
//                  each), 0x3C02 pixel read mask, 0x3C03 palette read
//                  index, 0x3C0A indexed data; the other bytes are latched
//   0x3C10-0x3C4C  the second CRTC (device 0x0525 only): 32-bit registers,
//                  a narrower or unaligned access is reported (see below)
//   0x3C48 (0x0525) the second controller's line count, read only; the
//                  toucan choices (clock select 0x54, reset word 0xE0, buffer
//                  compensation 0x1E4C/0x1E4D) are told in mga_board.cpp
//   Anything else, or a write to a read-only register, is reported; such
//   reads give all ones.
//
// Choices where the hardware description leaves details open:
// - A wider access to a VGA port is split into bytes, low byte first; bytes
//   past 0x1FDF in such an access read 0 (a 32-bit read of CRTCEXT data is
//   how software reaches the memory factor).
// - A PLL locks three status reads (or 1 ms, whichever comes first) after
//   it was programmed or powered up with M 1-6,
//   N 7-127, P 0, 1, 3 or 7 and a VCO (reference x (N + 1) / (M + 1))
//   from 50000 kHz to PLL_VCO_MAX, while powered (pixel PLL: DAC register
//   0x1A bit 3; system PLL: OPTION bit 5); status bit 6 (registers 0x2F,
//   0x4F) shows the lock. Both start powered and locked at 25175 kHz and
//   the system clock; writing M, N or P drops the lock.
// - The bus past installed memory: an access through the accessors past
//   the video memory reads the last value the board saw on the bus (the
//   last value written or read at the register window, read from memory or
//   written past it); writes there are lost.
// - Read-back delays outside the good range flip bit 0 of every byte that
//   an accessor reads from video memory (plain processor reads are not
//   affected).
// - The engine: every engine register write takes a FIFO entry (a write
//   with none free is reported, and lost); each read of 0x1E10 or 0x1E14
//   lets the engine take 8 entries. An operation draws when it starts; the
//   engine then stays busy for two status reads after the FIFO emptied.
//   From an operation's start until the FIFO is empty and the engine idle,
//   a processor access to video memory is reported (set-up writes alone
//   change no memory and do not close it). Command words (alu in bits 16-19, reversed;
//   bit 4 set exactly when the alu reads the destination, else reported):
//     ALU | 0x40007804, with or without bit 26: solid fill of lines
//       0x1C90 to 0x1C90 + length - 1 (0x1C5C; 0 draws nothing) from x
//       0x1CA8 to 0x1CAC, right edge excluded, in the foreground 0x1C24
//     ALU | 0x44000003: a line from 0x1C40 to 0x1C44 (y in bits 16-31, x in
//       0-15); only a point (start equal to end) is drawn
//     ALU | 0x04004008: screen copy of `length` lines from x 0x1CA8 to
//       0x1CAC (both included) at line 0x1C90, down (or up with sign bit
//       2), left to right (or right to left with sign bit 0), pixel by
//       pixel in that order; source from start address 0x1C6C, stepping
//       by the signed pitch 0x1C74 a line; the end address 0x1C60 must be
//       start + width - 1 (start - width + 1 right to left)
//     ALU | 0x3004, transparent with bit 30: pattern fill as the solid fill,
//       foreground where the 16 x 8 pattern (0x1C30-0x1C3C, row r in the low
//       half of word r / 2 when r is even, the high half when odd, column c
//       in bit c) has a 1, background 0x1C20 where it has a 0 (left alone
//       when transparent); pixel (x, y) takes column (x + 0x1C50 bits 0-3)
//       mod 16 and row (y + 0x1C50 bits 4-6) mod 8
//     ALU | 0x04004800: a zero-width line of length 0x1C5C pixels from x
//       0x1CB0, y 0x1C90; sign 0x1C58 bit 0 x major, bit 1 x decreasing, bit
//       2 y decreasing; error 0x1C64, minor step 0x1C60, diagonal 0x1C68:
//       each pixel, then a diagonal step while the error is positive, else
//       a major one, the error growing by the step's term (the terms are
//       the whole 32-bit words)
//     ALU | 0x04006008: colour blit from video memory, as the screen copy
//     ALU | 0x6008, transparent with bit 30: expansion from video memory:
//       the source addresses count bits (least significant bit of a byte
//       first), a 1 gives the foreground, a 0 the background (or nothing)
//   The blits also start at 0x1D90 (destination line). The direction bits of
//   0x1C58 belong to the screen copy (the only blit that overlaps itself);
//   the blits from staged memory run left to right, top to bottom.
//   Pixels: address origin 0x1C94 + y x pitch 0x1C8C + x (pixels, width by
//   0x1C04: 0, 1, 2 for 1, 2, 4 bytes), alu and plane mask 0x1C1C; clipped
//   to x 0x1CA0 to 0x1CA4 and line addresses 0x1C98 to 0x1C9C (both
//   included). 0x1C50 is taken as pattern alignment and not used by these.
//   A blit whose right edge lies left of its left edge is reported.
// - System clock (eclipse and twister devices): the source (OPTION bits
//   0-1) and the dividers (OPTION bits 3, 4, on twister 7; OPTION2 bits
//   14-17 on eclipse) may change only in a write that finds and leaves the
//   clock stopped (OPTION bit 2), and the system PLL's M, N and P may not be
//   written while it drives the running clock (OPTION bits 0-1 = 1, bit 2
//   clear); either is reported. The other devices select their clocks
//   elsewhere and are not checked here.
// - The I2C buses behind DAC registers 0x2A (pin direction) and 0x2B (pin
//   data): see mga_i2c.h. Eclipse boards from revision 3 and 0x0525 boards
//   read port 0 on pins 2 and 0.
// - The second CRTC (device 0x0525): control 0x3C10 (bit 0 enable, bit 20
//   the DAC takes this controller's pixels instead of the first's, bits
//   21-23 format: 1 15-bit, 2 16-bit, 4 32-bit, 5 and 7 video formats),
//   horizontal 0x3C14 and 0x3C18, vertical 0x3C1C and 0x3C20 (displayed
//   size - 8 and - 1 in the high halves), preload 0x3C24, start addresses
//   0x3C28-0x3C3C, line offset 0x3C40 in bytes, 0x3C44 and data control
//   0x3C4C plain. Every bit holds what was written. The packed formats show
//   from the start address 0x3C28 (the second field's, which a progressive
//   picture uses alone). CRTC extension 8 bit 0 is bit 21 of the first
//   CRTC's start address.
// - The option ROM (64 KB, all ones past its image) is shown at frame-buffer
//   offset 0 while OPTION bit 30 and ROM-base bit 0 are set and the ROM
//   base equals the frame buffer's; it is read only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter.h"
#include "pcibus.h"

namespace sim {

namespace mga {
constexpr uint16_t kVendor = 0x102B;
constexpr uint32_t kWindowBytes = 0x4000;
constexpr uint32_t kRomBytes = 0x10000;
constexpr uint32_t kLegacyBiosBase = 0xC0000;

// PCI configuration offsets.
constexpr int CfgId = 0x00, CfgCommand = 0x04, CfgClass = 0x08, CfgLatency = 0x0C,
              CfgFrameBuffer = 0x10, CfgRegisters = 0x14, CfgSubsystem = 0x2C, CfgRomBase = 0x30,
              CfgInterrupt = 0x3C, CfgOption = 0x40, CfgSubsystemWrite = 0x4C, CfgOption2 = 0x50,
              CfgOption3 = 0x54, CfgPower = 0xE0, CfgAgpStatus = 0xF4, CfgAgpCommand = 0xF8;
constexpr uint32_t kOptionPllSource = 0x3, kOptionClockStop = 0x4, kOptionPllPower = 0x20,
                   kOptionRomEnable = 0x40000000;

// Register window offsets.
constexpr uint32_t EngineFirst = 0x1C00, EngineEnd = 0x1E00, FifoStatus = 0x1E10, Status = 0x1E14,
                   VgaFirst = 0x1FC0, VgaEnd = 0x1FE0, DacFirst = 0x3C00, DacEnd = 0x3C10;
constexpr uint32_t MemReadBack = 0x1E44;
constexpr uint32_t kStatusRetrace = 0x8, kStatusIdle = 0x20000, kStatusMark = 0x80000000u;
constexpr uint32_t DacWriteIndex = 0x0, DacPalette = 0x1, DacMask = 0x2, DacReadIndex = 0x3,
                   DacData = 0xA;

// Indexed DAC registers.
constexpr uint8_t XPixelFormat = 0x19, XPixelClock = 0x1A, XGeneral = 0x1D, XMisc = 0x1E,
                  XGpioDirection = 0x2A, XGpioData = 0x2B, XSysPllM = 0x2C, XSysPllN = 0x2D,
                  XSysPllP = 0x2E, XSysPllStatus = 0x2F, XPixPllM = 0x4C, XPixPllN = 0x4D,
                  XPixPllP = 0x4E, XPixPllStatus = 0x4F;
constexpr uint8_t kPixelClockOff = 0x4, kPixelPllPower = 0x8, kPllLocked = 0x40;
// Toucan: clock select at power-on (every clock halved, on the PCI clock),
// its source fields, the compensation byte and the second controller's line
// count.
constexpr uint32_t kToucanClockPowerOn = 0x01806018u, kToucanSources = 0x00300C03u;
constexpr uint32_t kToucanCompensation = 0x1E4D, kToucanLineCount = 0x3C48;
constexpr uint32_t kToucanCompensationValue = 0x2A;
// Condor (device 0x0525 from revision 0x80): the clock select its video
// BIOS leaves (toucan's dividers, every clock from the system PLL), and the
// revision-0 power-up / buffer-compensation register it lacks.
constexpr uint8_t kCondorRevision = 0x80;
constexpr uint32_t kCondorClockBios = 0x01906419u, kCondorNoCompensation = 0x1E4C;
} // namespace mga

// An option ROM image for the board, as tests and the configuration ask.
struct MgaRom {
    uint16_t deviceId = 0x0521;
    bool signature = true;          // 0x55 0xAA at offset 0
    bool pcir = true;               // a "PCIR" structure behind the pointer at 0x18
    uint16_t pcirRevision = 0x0102; // its revision word (offset 0x12)
    uint8_t revisionByte = 0;       // offset 5, the older ROMs' version
    int pinsVersion = 3;            // 3 or 4; 0 the older block; -1 none
    uint32_t pinsOffset = 0x7E00;
    std::vector<std::pair<int, uint8_t>> pinsBytes; // set before the sum
    bool goodSum = true;
    // A copy of the block with a wrong sum at this offset (a candidate a
    // search must pass over), and a marked block whose length is 129.
    int badSumCopyAt = -1;
    int overlongAt = -1;
    uint8_t outputMode = 0; // offset 0x7FF1
    std::string text = " IBM COMPATIBLE QUARN";
    uint32_t memoryBytes = 0x400000; // sets the block's base-memory field
};

// The board-data block alone: 64 bytes (version 3 and the older block) or
// 128 (version 4), its sum 0 unless `goodSum` is false.
std::vector<uint8_t> buildMgaPins(const MgaRom &);
// The whole ROM, 64 KB.
std::vector<uint8_t> buildMgaRom(const MgaRom &);

class MgaRegisters;
class MgaRomDevice;
class MgaI2cBus;
class MgaBus;
class MgaConfig;

class MgaBoard : public Adapter {
  public:
    MgaBoard(graf::Config &cfg, Machine &m);
    ~MgaBoard() override;

    std::string model() const override { return "mga"; }
    VideoMemory *vram() override { return &vram_; }
    std::string describe() const override;
    uint32_t displayPitch() const override;

    // ---- PCI configuration space: the function on the machine's bus ----
    PciFunction &pci();
    uint32_t configRead(int reg, int size) const;
    void configWrite(int reg, int size, uint32_t value);
    uint16_t deviceId() const { return deviceId_; }
    uint8_t revision() const { return revision_; }

    // ---- state for tests ----
    uint8_t seq(int i) const { return seq_[size_t(i & 7)]; }
    uint8_t crtc(int i) const { return crtc_[size_t(i & 0x3F)]; }
    uint8_t crtcExt(int i) const { return crtcExt_[size_t(i & 7)]; }
    uint8_t gc(int i) const { return gc_[size_t(i & 0xF)]; }
    uint8_t attr(int i) const { return attr_[size_t(i & 0x1F)]; }
    uint8_t misc() const { return misc_; }
    uint8_t dacReg(int i) const { return dac_[size_t(i & 0xFF)]; }
    std::array<uint8_t, 3> palette(int i) const { return lut_[size_t(i & 0xFF)]; }
    uint32_t reg(uint32_t offset) const; // a 32-bit register as held
    bool romShown() const { return romShown_; }
    MgaI2cBus &i2c() { return *i2c_; }
    const std::vector<uint8_t> &ddc() const { return ddc_; }
    const std::vector<uint8_t> &rom() const { return rom_; }
    void setRom(std::vector<uint8_t> image);
    // Engine: FIFO entries queued, busy, and to rest (for inspection).
    int queued() const { return queued_; }
    bool busy() const { return queued_ > 0 || busyReads_ > 0; }
    void drain() override;
    // Operations started, by kind.
    int fills() const { return fills_; }
    int copies() const { return copies_; }
    int points() const { return points_; }
    int lines() const { return lines_; }
    int expansions() const { return expansions_; }
    // CR0-CR7 writes CR11 bit 7 kept out.
    int protectedWrites() const { return protectedWrites_; }

    // The picture the display registers describe.
    struct Picture {
        int width = 0, height = 0; // pixels and lines shown
        int bitsPerPixel = 0;      // 8, 15, 16, 24 or 32 (DAC register 0x19)
        uint32_t pitchBytes = 0, startBytes = 0;
        uint32_t clockKHz = 0; // pixel PLL, when it drives the pixel clock
        int refreshHz = 0;
        bool interlaced = false, doubled = false, blanked = false, hires = false;
    };
    Picture picture() const;
    // ---- the second CRTC (device 0x0525) ----
    struct SecondPicture {
        bool enabled = false, onDac = false; // control bits 0 and 20
        int width = 0, height = 0;           // pixels and lines shown
        int htotal = 0, vtotal = 0, hsyncStart = 0, hsyncEnd = 0, vsyncStart = 0, vsyncEnd = 0;
        int format = 0;       // control bits 21-23
        int bitsPerPixel = 0; // 15, 16 or 32 for the packed formats, else 0
        uint32_t offsetBytes = 0, startBytes = 0;
        // Plane starts: first plane first and second field, then the second
        // and third planes (0x3C2C, 0x3C28, 0x3C3C, 0x3C38, 0x3C34, 0x3C30).
        std::array<uint32_t, 6> planeStarts{};
        uint8_t dataControl = 0;
    };
    SecondPicture secondPicture() const;
    uint32_t crtc2(uint32_t offset) const { return crtc2_[(offset - 0x3C10) / 4 & 0xF]; }
    uint8_t crtcExt8() const { return crtcExt8_; }

    // Frequency of a PLL's programming: reference x (N + 1) / ((M + 1) x (P + 1)).
    uint32_t pllKHz(bool pixel) const;

  private:
    friend class MgaRegisters;
    friend class MgaRomDevice;
    friend class MgaBus;
    friend class MgaConfig;
    struct Pll {
        int countdown = 0; // status reads until it locks; -1 never
        bool locked = true;
        bool cycled = false; // power went off and on since programming
        uint64_t since = 0;  // virtual time of the programming or power-up
    };
    uint32_t read(uint32_t offset, int width);
    void write(uint32_t offset, int width, uint32_t value);
    uint8_t vgaRead(uint32_t port);
    void vgaWrite(uint32_t port, uint8_t value);
    uint8_t dacRead(uint32_t offset);
    void dacWrite(uint32_t offset, uint8_t value);
    uint8_t indexedRead(uint8_t index);
    void indexedWrite(uint8_t index, uint8_t value);
    void reprogram(bool pixel);
    bool pllValid(bool pixel) const;
    bool pllPowered(bool pixel) const;
    void configChanged(int reg);
    bool optionSelectsClocks() const;
    void checkClockSelect(uint32_t option, uint32_t option2);
    void updateRom();
    // The toucan chips (device 0x0525): clock select, reset word, buffer
    // compensation and the second controller's line count.
    void toucanPowerOn(const graf::Config &cfg);
    bool toucanRestoresHeader(int reg, int size, uint32_t value);
    void toucanConfigWritten(int reg, uint32_t option3, uint32_t power);
    void toucanCheckPllWrite(uint8_t index);
    bool toucanRead(uint32_t offset, int width, uint32_t &value);
    void toucanWritten(uint32_t offset, int width, uint32_t value);
    // The condor chips (device 0x0525, revision 0x80 and above): what the
    // video BIOS set up before the driver came, and the registers the chip
    // does not have.
    bool condor() const;
    void condorPowerOn();
    bool condorLacks(uint32_t word) const;
    void noRegister(const char *what, uint32_t offset, int width);
    uint32_t readFilter(uint32_t offset, int width, uint32_t value);
    void engineWrite(uint32_t offset, uint32_t value);
    void engineStart();
    void retire(int entries);
    void settleEngine(); // at status reads; not the harness's settle()
    uint32_t eng(uint32_t offset) const { return engine_[(offset - mga::EngineFirst) / 4]; }
    bool pixelAt(int x, int y, uint8_t *&at) const;
    void plot(int x, int y, uint32_t src);
    void engineFill(int alu);
    void enginePoint(int alu);
    void engineCopy(int alu);
    enum class Source : uint8_t { Pixels, Bits };
    void engineBlit(Source source, bool transparent);
    void engineLine(int alu);
    void enginePatternFill(int alu, bool transparent);
    bool patternBit(int x, int y) const;
    // The second CRTC and the dual-head chips' ninth CRTC extension.
    bool dualHead() const { return deviceId_ == 0x0525; }
    bool crtc2Holds(uint32_t offset) const;
    uint32_t crtc2Read(uint32_t offset, int width);
    void crtc2Write(uint32_t offset, int width, uint32_t value);
    uint8_t &extReg(uint8_t index);

    Machine &machine_;
    VideoMemory vram_;
    uint16_t deviceId_ = 0x0521;
    uint8_t revision_ = 3;
    MgaConfig *config_ = nullptr;
    uint8_t *aperture_ = nullptr;
    uint32_t apertureBase_ = 0;
    MgaRomDevice *romDevice_ = nullptr;
    bool romShown_ = false;
    std::vector<uint8_t> rom_;
    uint32_t busValue_ = 0xFFFFFFFFu;

    std::array<uint32_t, (mga::EngineEnd - mga::EngineFirst) / 4> engine_{};
    int queued_ = 0, busyReads_ = 0;
    int fills_ = 0, copies_ = 0, points_ = 0, lines_ = 0, expansions_ = 0;
    uint32_t engineAlu_ = 3;
    std::array<std::pair<uint32_t, uint32_t>, 8> plainRegs_{};
    uint32_t status_ = mga::kStatusIdle;
    uint64_t statusReads_ = 0;
    uint32_t fifoEntries_ = 64;
    std::array<uint8_t, 8> seq_{};
    std::array<uint8_t, 64> crtc_{};
    std::array<uint8_t, 8> crtcExt_{};
    std::array<uint8_t, 16> gc_{};
    std::array<uint8_t, 32> attr_{};
    uint8_t seqIndex_ = 0, crtcIndex_ = 0, crtcExtIndex_ = 0, gcIndex_ = 0, attrIndex_ = 0x20;
    bool attrExpectIndex_ = true;
    uint8_t misc_ = 0x67, feature_ = 0;
    int protectedWrites_ = 0;

    std::array<uint8_t, 256> dac_{};
    std::array<uint8_t, 16> dacBytes_{};
    std::array<std::array<uint8_t, 3>, 256> lut_{};
    uint8_t lutWrite_ = 0, lutRead_ = 0;
    int lutWriteComponent_ = 0, lutReadComponent_ = 0;
    std::array<uint8_t, 3> lutPending_{};
    Pll pixPll_, sysPll_;
    uint32_t pllRef_ = 27000, vcoMax_ = 230000;
    enum class PllFixture : uint8_t { Normal, Never, Retry } pllFixture_ = PllFixture::Normal;
    int goodMin_ = 0, goodMax_ = 15;
    bool lutReadFault_ = false;
    bool dvd_ = false;
    std::unique_ptr<MgaI2cBus> i2c_;
    std::vector<uint8_t> ddc_;
    std::array<uint32_t, 16> crtc2_{};
    uint8_t crtcExt8_ = 0;

    struct Toucan {
        std::array<uint32_t, 16> header{}; // configuration 0x00-0x3C at power-on
        int zeroReads = 0;                 // compensation reads still answering 0
        uint64_t lineReads = 0;
        int resets = 0;
        bool measuring = false; // 0x1E4C bit 3 set by a byte write
    } toucan_;

  public:
    // Chip resets through configuration 0xE0 (toucan).
    int toucanResets() const { return toucan_.resets; }
};

} // namespace sim
