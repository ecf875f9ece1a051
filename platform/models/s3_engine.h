// The 8514/A-style drawing engine of the S3 accelerators: one core that holds
// the engine's registers by their role and draws on an adapter's video memory,
// and two front ends through which a driver reaches it (16-bit I/O ports at
// the 8514/A addresses, and the memory-mapped engine window). Every difference
// between the chips that carry such an engine (port addresses, FIFO depth,
// coordinate and error-term widths, command words, how the read mask selects a
// plane) is a parameter of the core (S3ChipParams), so the Mach32 and 8514/A
// boards can give their own.
//
// The core is strict: whatever the engine's protocol does not allow at that
// moment goes to sim::Machine::current().fail() with a message that begins
// with the chip's name ("s3 engine: "):
// - a register write beyond the FIFO room the last status read showed (the
//   queue drains one entry per status read, so a wait sees the room grow step
//   by step; pixel-transfer words are not counted);
// - a host-data or read-back command while the engine is busy;
// - a register write while pixel-transfer words are owed, and a transfer word
//   (written or read) that no command asked for;
// - a pixel-data read before a status read showed data ready;
// - a command while a 32-bit register has only its low half written;
// - a processor access to video memory while the engine is busy (the
//   machine's guard);
// - an operation that would reach past video memory (it draws nothing);
// - a command word outside the chip's table, a mix that takes a source the
//   command does not have, a pixel-control value or multifunction index the
//   engine does not know.
//
// Choices where the chip descriptions leave details open:
// - An operation executes at its command write (host-data rectangles as their
//   words arrive); the engine then reads busy for a few status reads. Pixels
//   are processed in the order the direction bits give, so a blit in the wrong
//   direction over an overlap smears its source, as on the chip.
// - Coordinates are counters of coordBits bits (12 on the S3) that wrap. A
//   start left of column 0 written as a negative number is its two's
//   complement: with 12 bits, x = -5 starts at column 4091, those first pixels
//   fall outside the right scissor (which cannot exceed 4095 and is normally
//   the line's end) and the walk wraps on to column 0. A driver's monochrome
//   image that starts a few bits early and hides them with the left scissor
//   therefore draws the same at column 0 as anywhere else.
// - Scissors hold 12-bit values and are applied to every destination pixel of
//   every operation except a read-back (which returns the whole rectangle).
// - A pixel's address is (y x line length + x) x pixel size; the line length
//   in pixels and the pixel size (4, 8, 16 or 32 bits) are set by the board.
//   4-bit pixels are packed two to a byte, the left pixel in the high nibble.
// - Lines draw exactly `count` (major axis) pixels from the current position:
//   after each pixel, an error term above 0 takes a diagonal step and adds e2,
//   otherwise a step along the major axis adds e1. e and e1 are signed values
//   of errBits and axialBits bits (13), e2 of diagBits bits (14). The point
//   command draws count + 1 pixels rightwards. Neither moves the current
//   position, and the error term register reads back as written.
// - Host pixel data: each 16-bit transfer carries four 4-bit pixels (low byte
//   first, high nibble first in each byte), two 8-bit pixels (left in the low
//   byte) or one 16-bit pixel; a 32-bit pixel takes two transfers, low half
//   first. Host 1-bit data: 16 pixels a transfer (low byte first) or 8 in a
//   byte transfer, the leftmost pixel in each byte's top bit. Every row starts
//   on a new transfer; the bits or pixels past the row's end are dropped.
// - Under a 16-bit command a byte access to the transfer port is one transfer
//   whose high byte is 0 (reads take the low byte of a transfer) and a 32-bit
//   access is two transfers, low half first; under an 8-bit command every byte
//   of an access is one transfer, low byte first.
// - Read-back returns the rectangle's pixels packed as host pixel data; data
//   ready shows from the status read after the engine's busy reads. Each row
//   read counts as progress for the machine's watchdog: the transfer port is
//   a stream, not a status that is polled.
// - Colour source 0 of a mix is the background colour. A mix register takes
//   bits 0-3 (the mix code) and 5-6 (the source); other bits are reported.
// - At 32-bit pixels the colours and the masks take two writes each, low half
//   first; at other sizes one write sets the register (upper half 0). Power-on
//   and reset leave the masks all ones.
// - 0x42E8 (subsystem control) with bit 15 resets the engine: the queue, a
//   running operation, owed transfer words and half-written registers are
//   dropped; other register values stay. 0x42E8 and 0x4AE8 sit before the
//   FIFO and are not counted in it.
// - The 16-entry FIFO of the Mach32 does not fit in status bits 0-7; its
//   front end shows S3Status::fifo on a port of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

// The engine's registers by role; the chip's port table gives their addresses.
enum class S3Reg : uint8_t {
    CurX,
    CurY,
    DestX, // also the diagonal step e2 of a line
    DestY, // also the axial step e1 of a line
    ErrTerm,
    MajorAxis,
    Command, // read: status
    BgColour,
    FgColour,
    WriteMask,
    ReadMask,
    BgMix,
    FgMix,
    Multi, // index in bits 12-15
    PixelData,
    SubsystemControl,
    AdvancedFunction,
    Count
};

enum class S3Op : uint8_t { Fill, Blit, Point, Line, HostPixels, HostBits, ReadBack, Count };
const char *s3OpName(S3Op);

struct S3Command {
    uint16_t word;
    S3Op op;
    bool incX = true, incY = true; // blits and lines
    bool yMajor = false;           // lines
    int transferBits = 16;         // host data and read-back: 16 or 8
};

struct S3PortRole {
    uint16_t port;
    S3Reg reg;
};

struct S3ChipParams {
    std::string name; // prefix of every report
    int fifoDepth = 8;
    int coordBits = 12; // positions and sizes
    int errBits = 13, axialBits = 13, diagBits = 14;
    // Plane k of a plane expansion is chosen by read-mask bit k + this.
    int readMaskPlaneShift = 0;
    // Multifunction indices the engine takes (bit n for index n).
    uint16_t multiIndices = 0;
    // Plane k of a plane expansion is chosen by read-mask bit (k + shift)
    // modulo the pixel size instead (the top plane by the low bits).
    bool readMaskRotates = false;
    // 8514/A boards (all false on the S3):
    // - pixel-transfer words take FIFO entries as register writes do;
    bool transfersQueue = false;
    // - host pixel data of a rectangle is one stream of pixels, row after
    //   row, a row's end not starting a new transfer;
    bool hostPixelStream = false;
    // - host-data and read-back commands may queue behind a running
    //   operation, and read-back words may be taken without a data-ready
    //   status (the engine keeps pace with the port reads);
    bool hostOpsQueue = false;
    // Word bit of each pixel of a host 1-bit transfer, leftmost first (its
    // size is the pixels a transfer carries); empty: the S3 layout above.
    std::vector<uint8_t> hostBitOrder;
    std::vector<S3Command> commands;
    std::vector<S3PortRole> ports;
    // The command of a word, or null.
    const S3Command *command(uint16_t word) const;
    // The role at a port (either byte of a 16-bit register), or false.
    bool roleAt(uint16_t port, S3Reg *reg) const;
};

// The S3 chips: 8-entry FIFO, 12-bit coordinates, read-mask bit k = plane k.
const S3ChipParams &s3ChipParams();

namespace s3status {
constexpr uint16_t FifoMask = 0x00FF;
constexpr uint16_t DataReady = 0x0100;
constexpr uint16_t Busy = 0x0200;
} // namespace s3status

namespace s3mix {
constexpr uint8_t CodeMask = 0x0F;
constexpr uint8_t SourceMask = 0x60;
constexpr uint8_t BgColour = 0x00;
constexpr uint8_t FgColour = 0x20;
constexpr uint8_t Host = 0x40;
constexpr uint8_t Memory = 0x60;
} // namespace s3mix

namespace s3multi {
constexpr uint16_t Height = 0x0000;
constexpr uint16_t ScissorTop = 0x1000;
constexpr uint16_t ScissorLeft = 0x2000;
constexpr uint16_t ScissorBottom = 0x3000;
constexpr uint16_t ScissorRight = 0x4000;
constexpr uint16_t PixelControl = 0xA000;
} // namespace s3multi

namespace s3pixctl {
constexpr uint16_t Foreground = 0xA000; // every pixel takes the foreground mix
constexpr uint16_t HostBits = 0xA080;   // host 1-bit data chooses the mix
constexpr uint16_t MemoryBits = 0xA0C0; // the read-mask plane of the source chooses
} // namespace s3pixctl

namespace s3ctl {
constexpr uint16_t Reset = 0x8000;        // 0x42E8
constexpr uint16_t EnableWindow = 0x0020; // 0x4AE8
} // namespace s3ctl

// The result of mix `code` (0 to 15) on source and destination words.
uint32_t s3Mix(int code, uint32_t src, uint32_t dst);

struct S3Status {
    uint16_t fifo = 0; // bit (depth - n) set: fewer than n entries free
    bool dataReady = false;
    bool busy = false;
    // The 8514/A status word (an 8-entry FIFO in bits 0-7).
    uint16_t word() const {
        return uint16_t((fifo & s3status::FifoMask) | (dataReady ? s3status::DataReady : 0) |
                        (busy ? s3status::Busy : 0));
    }
};

struct S3Regs {
    uint16_t curX = 0, curY = 0, destX = 0, destY = 0, errTerm = 0, majorAxis = 0, height = 0;
    uint16_t scissorTop = 0, scissorLeft = 0, scissorBottom = 0xFFF, scissorRight = 0xFFF;
    uint16_t pixelControl = s3pixctl::Foreground;
    uint32_t bgColour = 0, fgColour = 0, writeMask = 0xFFFFFFFFu, readMask = 0xFFFFFFFFu;
    uint8_t bgMix = 0, fgMix = 0;
    uint16_t advancedFunction = 0;
};

struct S3Stats {
    uint64_t commands = 0;
    uint64_t statusReads = 0;
    uint64_t registerWrites = 0;
    uint64_t transfersIn = 0;  // words taken from the host
    uint64_t transfersOut = 0; // words read back
    uint64_t resets = 0;
    std::array<uint64_t, static_cast<size_t>(S3Op::Count)> ops{};
    uint64_t opsOf(S3Op op) const { return ops[static_cast<size_t>(op)]; }
};

class S3EngineCore {
  public:
    static constexpr int kDefaultBusyReads = 2;

    S3EngineCore(VideoMemory &vram, const S3ChipParams &chip, int busyReads = kDefaultBusyReads);
    S3EngineCore(const S3EngineCore &) = delete;
    S3EngineCore &operator=(const S3EngineCore &) = delete;

    // ---- the board ----
    void setPixelBits(int bits); // 4, 8, 16 or 32
    // Pixels per line; 0 means the board's register holds no valid width,
    // and every drawing command is then reported.
    void setLinePixels(uint32_t pixels) { linePixels_ = pixels; }
    void setBusyReads(int reads) { busyReads_ = reads < 0 ? 0 : reads; }
    // The pixel bits video memory holds (absent planes read 0 and take no
    // writes); all of them by default.
    void setPlanes(uint32_t planes) { planes_ = planes; }
    int pixelBits() const { return pixelBits_; }
    uint32_t linePixels() const { return linePixels_; }

    // ---- front ends ----
    // A 16-bit register write (not the pixel transfer).
    void write(S3Reg reg, uint16_t value);
    // A register read: the status (S3Reg::Command), the error term or the
    // advanced function control; any other is reported and reads 0xFFFF.
    uint16_t read(S3Reg reg);
    // Reading the status lets the engine progress by one step.
    S3Status readStatus();
    // One bus access of `bytes` (1, 2 or 4) to the pixel transfer.
    void writeData(uint32_t value, int bytes);
    uint32_t readData(int bytes);
    // A write to a register a front end keeps itself (the Mach32's extended
    // registers) behind the same FIFO: checked and counted as a core
    // register write is. False when it must not take effect (pixel-transfer
    // words are owed).
    bool queueFrontEndWrite(const std::string &name, uint16_t value);

    // ---- harness ----
    // Ends every operation (owed transfer words are dropped) and releases
    // video memory to the processor.
    void drain();
    bool busy() const { return running_ || queued_ > 0; }
    int queued() const { return queued_; }
    bool transferOwed() const { return transfer_.active; }
    const S3Regs &regs() const { return regs_; }
    const S3Stats &stats() const { return stats_; }
    void clearStats() { stats_ = S3Stats{}; }
    // The command words run, in order.
    const std::vector<uint16_t> &log() const { return log_; }
    void clearLog() { log_.clear(); }
    const S3ChipParams &chip() const { return chip_; }
    VideoMemory &vram() { return vram_; }

  private:
    struct Transfer {
        bool active = false;
        bool toHost = false;
        bool draws = true; // false when the operation was refused
        const S3Command *cmd = nullptr;
        int x0 = 0, y0 = 0, w = 0, h = 0;
        int row = 0;
        int wordInRow = 0; // transfers taken in the current row
        int perRow = 0;    // transfers a row
        uint32_t pending = 0;
        std::vector<uint16_t> out; // read-back words
        size_t next = 0;
        bool readySeen = false;
        int readyLeft = 0;
        int64_t streamed = 0; // pixels taken of a host pixel stream
    };
    struct Walk;

    void fail(const std::string &what) const;
    void store(S3Reg reg, uint16_t value);
    void store32(uint32_t &reg, int index, uint16_t value);
    void multi(uint16_t value);
    void subsystemControl(uint16_t value);
    void command(uint16_t word, bool wasBusy);
    bool validate(const S3Command &c);
    bool fits(const S3Command &c);
    void run(const S3Command &c);
    // The pixels of a fill or point run that wraps around no coordinate:
    // the rectangle [x0, x1] x [y0, y1] inside the scissors (empty when
    // x0 > x1 or y0 > y1). False for any other operation.
    bool plainRect(const S3Command &c, int &x0, int &x1, int &y0, int &y1) const;
    void fillRect(int x0, int x1, int y0, int y1);
    void startTransfer(const S3Command &c, bool draws);
    void feed(uint16_t word);
    void feedStream(uint16_t word);
    uint16_t drawWord();
    void endTransfer();
    void beginBusy();
    void setGuard(bool on);

    // Pixel access.
    uint32_t mask(int bits) const { return (1u << bits) - 1; }
    int coord(uint32_t v) const { return int(v & mask(chip_.coordBits)); }
    uint32_t pixelMask() const { return pixelBits_ == 32 ? 0xFFFFFFFFu : mask(pixelBits_); }
    bool inScissors(int x, int y) const;
    bool address(int x, int y, uint64_t *bit) const;
    uint32_t get(uint64_t bit) const;
    void put(uint64_t bit, uint32_t value);
    uint32_t compose(bool fg, uint32_t host, uint32_t source, uint32_t dst) const;
    void drawPixel(int x, int y, bool fg, uint32_t host, uint32_t source);

    VideoMemory &vram_;
    const S3ChipParams &chip_;
    int busyReads_;
    int pixelBits_ = 8;
    uint32_t linePixels_ = 1024;
    uint32_t planes_ = 0xFFFFFFFFu;
    S3Regs regs_;
    std::array<bool, 4> halfWritten_{}; // bg, fg, write mask, read mask
    int queued_ = 0;
    int roomSeen_ = 0; // free entries the last status read showed
    int writesSince_ = 0;
    bool running_ = false;
    int busyLeft_ = 0;
    bool guarded_ = false;
    Transfer transfer_;
    S3Stats stats_;
    std::vector<uint16_t> log_;
};

// The engine's 16-bit I/O ports, at the addresses of the chip's table. A byte
// access to the pixel transfer is a byte transfer; a byte read of the status
// is a status read; byte writes are taken by the subsystem and advanced
// function controls only. While `enabled` says no (the board's gate), every
// access is reported, writes are dropped and reads give all ones.
class S3EnginePorts : public PortDevice {
  public:
    S3EnginePorts(S3EngineCore &core, std::function<bool()> enabled = {})
        : core_(core), enabled_(std::move(enabled)) {}
    void attach(Machine &m);
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;

  private:
    bool open(const char *what, uint16_t port);
    S3EngineCore &core_;
    std::function<bool()> enabled_;
    uint16_t byteLatch_[2] = {0, 0}; // subsystem and advanced function controls
};

// The memory-mapped engine window, 64 KB: the pixel transfer in its first
// 32 KB (any address there, accesses of 8, 16 or 32 bits), the registers at
// offset = port number as 16-bit stores (the status readable as a 16-bit
// load). Until 0x4AE8 bit 0x20 has been set (by port) every access is
// reported and has no effect.
class S3EngineWindow : public MemDevice {
  public:
    static constexpr uint32_t kSize = 0x10000;
    static constexpr uint32_t kTransferArea = 0x8000;

    explicit S3EngineWindow(S3EngineCore &core) : core_(core) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;

  private:
    bool open(const char *what, uint32_t offset, int width);
    S3EngineCore &core_;
};

} // namespace sim
