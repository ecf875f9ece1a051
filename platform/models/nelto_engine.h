// The nelto board's memory-mapped 2D engine: blits from the screen or from
// host data (colour or monochrome), rectangle fills with a monochrome
// pattern, and no-op commands, with a ROP3 code over source, pattern and
// destination and a hardware clip. The board model (nelto_board.h) maps its
// register window at MEMORY + 0x1000000.
//
// Registers (byte offsets in the window, 32-bit accesses only):
//   0x0000-0x7FFF  host data: the words a command with a host source takes
//   0x8504   read: status, bit 0x2000 set while the engine is idle;
//            write: reset control (0x8000 holds the engine in reset, 0x4000
//            after it releases it)
//   0xA4D4, 0xA4D8  source and destination base (byte offsets in video memory)
//   0xA4DC   horizontal clip: left in bits 16-31, right (inclusive) in 0-15
//   0xA4E0   vertical clip: top in bits 16-31, bottom (inclusive) in 0-15
//   0xA4E4   strides in bytes: source in bits 0-15, destination in 16-31
//   0xA4E8, 0xA4EC  the 8 x 8 monochrome pattern, rows 0-3 and 4-7, a byte
//            a row, the leftmost pixel in the top bit
//   0xA4F0, 0xA4F4  pattern background and foreground colour
//   0xA4F8, 0xA4FC  source background and foreground colour
//   0xA500   command
//   0xA504   rectangle: width - 1 in bits 16-31, height in bits 0-15
//   0xA508   source corner: x in bits 16-31, y in bits 0-15
//   0xA50C   destination corner, the same layout
//   0xA8D4, 0xA8D8, 0xA8E4, 0xACF0, 0xACF4  the second and third register
//            sets' bases, strides and pattern colours: stored only
//
// The command word:
//   bit 0       autoexecute: the write of 0xA50C starts the command; without
//               it the write of the command word itself starts it
//   bit 1       clip: only pixels inside 0xA4DC/0xA4E0 are drawn
//   bits 2-4    destination format: 0 one byte a pixel, 1 two, 2 three
//   bit 5       draw enable
//   bit 6       monochrome source: host bits expanded to the source colours
//   bit 7       host source: the source comes through the host data port
//   bit 8       monochrome pattern (the only pattern this model knows)
//   bit 9       transparent: source 0 bits leave the destination
//   bits 10-11  host data alignment: 2 (0x800), rows padded to 32-bit words
//   bits 12-15  taken and ignored
//   bit 16      taken and ignored (drivers set it on narrow rectangles and
//               no-ops alike; it changes no pixel here)
//   bits 17-24  ROP3 code: bit (P << 2 | S << 1 | D) of it is the result
//   bit 25      x runs left to right (else right to left from the corners)
//   bit 26      y runs top to bottom (else bottom to top)
//   bits 27-30  type: 0 blit, 2 rectangle fill, 15 no-op; others reported
//
// Choices where the register description leaves details open:
// - Host data: a row of a monochrome source takes (width + 7) / 8 bytes,
//   a colour row width x pixel bytes; each row is padded to whole 32-bit
//   words, bytes in address order (the low byte of a word first), monochrome
//   bytes with the leftmost pixel in the top bit. A command with a host
//   source owes its words from its start, whatever its ROP.
// - Colour registers give a pixel their low 1, 2 or 3 bytes.
// - Coordinates and sizes are the full 16-bit halves; every pixel a command
//   reads or writes must lie in video memory, else the command is reported
//   and does not run.
// - A command runs completely at its start (for a host source: at its last
//   word), pixel by pixel in its order, reading each source pixel when it
//   gets there: a copy over itself in the wrong direction smears, as on the
//   chip.
// - Busy: each drawing command keeps the engine busy for a number of status
//   reads, added up over commands started back to back; a one-pixel command
//   is done before the next bus write arrives and keeps it busy for none.
//   The processor may not touch video memory while the engine is busy.
// - Queue: register writes made while the engine is busy wait in a command
//   queue of 16 entries, which gives back one entry per status read and is
//   empty once the engine is idle. A write that finds it full is reported
//   (and still taken, so the picture shows what was meant): a driver that
//   writes a list without the waits between its items is caught.
// - Strict: a register write (other than host data) while host words are
//   owed, host words when none are owed, and a status read while words are
//   owed are reported; the owed command is then dropped.
// - Start: after power-on the engine is stopped (status idle bit clear).
//   It runs only after 0x8000 and then 0x4000 to the reset control, then a
//   command, and then 20 ms of the machine's time; a drawing command while
//   it is stopped is reported. Fixtures (EngineStart): already running at
//   power-on; never starting; or starting and then hanging busy at its
//   first command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

namespace neltoreg {
constexpr uint32_t HostData = 0x0000, HostDataEnd = 0x8000, Status = 0x8504, SrcBase = 0xA4D4,
                   DstBase = 0xA4D8, ClipX = 0xA4DC, ClipY = 0xA4E0, Strides = 0xA4E4,
                   MonoPattern0 = 0xA4E8, MonoPattern1 = 0xA4EC, PatternBg = 0xA4F0,
                   PatternFg = 0xA4F4, SourceBg = 0xA4F8, SourceFg = 0xA4FC, Command = 0xA500,
                   Size = 0xA504, Source = 0xA508, Destination = 0xA50C, SrcBase2 = 0xA8D4,
                   DstBase2 = 0xA8D8, Strides2 = 0xA8E4, PatternBg3 = 0xACF0, PatternFg3 = 0xACF4;
constexpr uint32_t kIdle = 0x2000;
constexpr uint32_t kResetHold = 0x8000, kResetRelease = 0x4000;
constexpr uint32_t kWindowSize = 0x10000;
} // namespace neltoreg

namespace neltocmd {
constexpr uint32_t AutoExecute = 0x1, Clip = 0x2, FormatShift = 2, FormatMask = 0x1C,
                   DrawEnable = 0x20, MonoSource = 0x40, HostSource = 0x80, MonoPattern = 0x100,
                   Transparent = 0x200, AlignMask = 0xC00, AlignDword = 0x800, RopShift = 17,
                   XPositive = 0x2000000, YPositive = 0x4000000, TypeShift = 27, TypeMask = 0xF;
constexpr uint32_t TypeBlit = 0, TypeFill = 2, TypeNop = 15;
} // namespace neltocmd

struct NeltoEngineRegs {
    uint32_t srcBase = 0, dstBase = 0, clipX = 0, clipY = 0, strides = 0;
    uint32_t monoPattern0 = 0, monoPattern1 = 0;
    uint32_t patternBg = 0, patternFg = 0, sourceBg = 0, sourceFg = 0;
    uint32_t command = 0, size = 0, source = 0, destination = 0;
    uint32_t srcBase2 = 0, dstBase2 = 0, strides2 = 0, patternBg3 = 0, patternFg3 = 0;
};

// One command the engine ran (no-ops included).
struct NeltoOp {
    uint32_t command;
    uint32_t type;
    uint8_t rop;
    int pixelBytes; // 0 for a no-op
    int dstX, dstY, srcX, srcY, width, height;
    uint32_t hostWords; // taken from the host data port
    NeltoEngineRegs regs;
};

class NeltoEngine {
  public:
    enum class Start : uint8_t { Stopped, Running, Never, Hangs };
    static constexpr int kDefaultBusyReads = 2;
    static constexpr int kQueueEntries = 16;
    static constexpr uint64_t kStartMicros = 20000;

    NeltoEngine(VideoMemory &vram, Machine &m, Start start = Start::Stopped);
    NeltoEngine(const NeltoEngine &) = delete;
    NeltoEngine &operator=(const NeltoEngine &) = delete;

    uint32_t read(uint32_t offset, int width);
    void write(uint32_t offset, int width, uint32_t value);

    // Status reads a drawing command stays busy for; 0 ends every one at once.
    void setBusyReads(int reads) { busyReads_ = reads < 0 ? 0 : reads; }
    // Finish everything and release video memory; owed host words are
    // reported and the command dropped.
    void drain();
    bool busy() const { return busyLeft_ > 0 || hung_; }
    bool running() const { return running_; }
    uint32_t wordsOwed() const { return owed_; }
    // Register writes waiting in the command queue.
    int queued() const { return queued_; }
    const NeltoEngineRegs &regs() const { return regs_; }
    const std::vector<NeltoOp> &log() const { return log_; }
    void clearLog() { log_.clear(); }
    // Resets the engine went through (0x8000 then 0x4000 then a command).
    int resetsTried() const { return resetsTried_; }

  private:
    void command();
    void begin(NeltoOp &op);
    bool run(const NeltoOp &op);
    void finish();
    void dropOwed(const std::string &why);
    void setGuard(bool on);
    bool pollStart();

    VideoMemory &vram_;
    Machine &machine_;
    Start start_;
    int busyReads_ = kDefaultBusyReads;
    int busyLeft_ = 0;
    int queued_ = 0;
    bool guarded_ = false;
    bool running_ = false;
    bool hung_ = false;
    int resetStage_ = 0; // 1 held, 2 released, 3 a command after the release
    uint64_t resetAt_ = 0;
    int resetsTried_ = 0;
    NeltoEngineRegs regs_;
    NeltoOp pending_{};
    uint32_t owed_ = 0;
    std::vector<uint32_t> words_;
    std::vector<NeltoOp> log_;
};

} // namespace sim
