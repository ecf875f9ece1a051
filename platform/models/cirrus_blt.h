// The Cirrus Logic BitBLT engine: one core that holds the engine's registers
// and draws on an adapter's video memory, and the front ends through which a
// driver reaches those registers (the memory-mapped block of the GD543x/GD5446/
// GD5480 chips, the graphics-controller indices GR20.. of the banked chips).
//
// The core is strict, as every device model here: after a start the engine
// stays busy for a few status reads, during which the processor may not touch
// video memory and may write the registers only where the hardware buffers
// them (see CirrusBltCore). Every protocol violation goes to
// sim::Machine::current().fail() with a message that begins "cirrus blt: ".
//
// Choices where the hardware description leaves details open:
// - An operation executes completely at its start; its effects are only
//   visible to the processor once the engine reads idle, so the result is the
//   same as a gradual one. Bytes are processed in address order (forwards) or
//   in reverse address order (backwards), so a copy in the wrong direction over
//   an overlap smears its source, as on the chip.
// - Autostart starts an operation on the bus write that sets bits 16 to 23 of
//   the destination address (a 32-bit write of the address does).
// - The engine holds one queued start under autostart. While it runs with
//   autostart on and the queue is free, register writes are accepted: they
//   program the next operation. Busy without autostart, or with the queue
//   taken, the engine has no room (status bit 4) and takes no register write.
// - Pixel bytes come from mode bits 0x10 (2) and 0x20 (3); both together are
//   not modelled.
// - Transparent colour: at 1 pixel byte the 16-bit register is compared a
//   byte at a time, its low byte for a destination byte at an even address and
//   its high byte for one at an odd address (so a driver writes its colour in
//   both bytes); at 2 pixel bytes the whole register is one pixel. There is no
//   transparent copy at 3 pixel bytes (the register cannot hold the pixel).
// - Transparent colour expansion has two rules, one per front end. The
//   memory-mapped block leaves the destination under every 0 bit (its
//   transparent colour register serves colour-keyed copies only). The banked
//   chips' graphics-controller front end compares each expanded pixel (the
//   foreground for a 1 bit, the background for a 0 bit) with the transparent
//   colour as a transparent copy does, and leaves the destination where they
//   are equal: a driver gets 0 bits left alone by giving the background the
//   transparent colour. There is no such comparison at 3 pixel bytes.
// - Colour expansion reads packed 1-bit rows from video memory, each row
//   (width in pixels + 7) / 8 bytes starting on the byte after the previous,
//   most significant bit leftmost. The skip register leaves out the first
//   pixels of every row, source bits and destination pixels alike; it counts
//   pixels at 1 and 2 pixel bytes and bytes (three per pixel) at 3, where a
//   count that is not a multiple of 3 is reported.
// - Mode extension bit 0x02 inverts the expansion source: the 0 bits take the
//   foreground colour (and, opaque, the 1 bits the background). Bit 0x04
//   turns the pattern expansion (mode 0xC0) into a solid fill in the
//   foreground colour. Other operations ignore the mode extension, which
//   drivers leave set after a fill.
// - Mode 0x40 (without 0x80) copies an 8 x 8 colour pattern stored as 64
//   packed pixels at the source address, its first pixel at the operation's
//   top-left pixel.
// - Modes the engine does not support here (host-memory source or
//   destination, pattern colour expansion, transparent fill, backward
//   expansion) and raster-operation codes outside the sixteen X functions are
//   reported; such an operation does not run.
// - An operation that would reach beyond video memory is reported and does not
//   run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

// The engine's registers, as the core stores them.
enum class BltReg : uint8_t {
    Bg,       // background colour (32 bits)
    Fg,       // foreground colour (32 bits)
    Width,    // bytes less one (16 bits)
    Height,   // lines less one (16 bits)
    DstPitch, // bytes (16 bits)
    SrcPitch, // bytes (16 bits)
    DstAddr,  // bytes into video memory (32 bits)
    SrcAddr,  // bytes into video memory (24 bits)
    Skip,     // leading pixels (bytes at 3 pixel bytes) of each expansion row
    Mode,
    Rop,
    ModeExt,
    Trans, // transparent colour (16 bits)
    Count
};

// The bytes of one register that one bus write sets: `bytes` bytes from byte
// `lane` (0 is the least significant), taken from the low bytes of `value`.
struct BltWrite {
    BltReg reg;
    uint8_t lane;
    uint8_t bytes;
    uint32_t value;
};

// Mode byte bits.
namespace bltmode {
constexpr uint8_t Backward = 0x01;
constexpr uint8_t Transparent = 0x08;
constexpr uint8_t Pixel16 = 0x10;
constexpr uint8_t Pixel24 = 0x20;
constexpr uint8_t Pattern = 0x40;
constexpr uint8_t Expand = 0x80;
} // namespace bltmode

// Mode extension bits.
namespace bltext {
constexpr uint8_t InvertSource = 0x02;
constexpr uint8_t SolidFill = 0x04;
} // namespace bltext

// Status and start byte.
namespace bltstatus {
constexpr uint8_t Busy = 0x01;   // read
constexpr uint8_t Start = 0x02;  // write
constexpr uint8_t Reset = 0x04;  // write: abandon the running and the queued operation
constexpr uint8_t NoRoom = 0x10; // read: no further autostart can be taken
constexpr uint8_t Autostart = 0x80;
} // namespace bltstatus

enum class BltKind : uint8_t {
    CopyForward,
    CopyBackward,
    TransparentCopy, // either direction
    Expand,          // opaque colour expansion
    TransparentExpand,
    Fill,
    PatternCopy,
    Count
};
const char *bltKindName(BltKind);

struct BltRegs {
    uint32_t bg = 0, fg = 0;
    uint16_t width = 0, height = 0;
    uint16_t dstPitch = 0, srcPitch = 0;
    uint32_t dstAddr = 0, srcAddr = 0;
    uint8_t skip = 0, mode = 0, rop = 0, modeExt = 0;
    uint16_t trans = 0;
};

// One operation the engine ran, with the registers it ran with.
struct BltOp {
    BltKind kind;
    int pixelBytes;
    bool autostarted; // started by the destination-address write
    BltRegs regs;
};

struct BltStats {
    uint64_t starts = 0;         // operations started (by either way)
    uint64_t autostarts = 0;     // of them, by the destination-address write
    uint64_t queuedStarts = 0;   // of them, taken while another was running
    uint64_t registerWrites = 0; // bus writes to registers other than the status byte
    uint64_t statusWrites = 0;
    uint64_t statusReads = 0;
    std::array<uint64_t, static_cast<size_t>(BltKind::Count)> ops{};
    uint64_t opsOf(BltKind k) const { return ops[static_cast<size_t>(k)]; }
};

// The engine's raster operation codes, by X alu (GXclear .. GXset).
extern const std::array<uint8_t, 16> kCirrusRopCodes;

// Which expanded pixels a transparent colour expansion leaves alone.
enum class BltTransparentExpansion : uint8_t {
    ZeroBits,      // those of the 0 bits
    MatchingColour // those whose colour equals the transparent colour
};

class CirrusBltCore {
  public:
    static constexpr int kDefaultBusyReads = 2;

    explicit CirrusBltCore(VideoMemory &vram, int busyReads = kDefaultBusyReads);
    CirrusBltCore(const CirrusBltCore &) = delete;
    CirrusBltCore &operator=(const CirrusBltCore &) = delete;

    // Status reads an operation stays busy for; 0 makes every operation end
    // at once (no strictness).
    void setBusyReads(int reads);
    // Set by the front end: the rule of the chips it belongs to.
    void setTransparentExpansion(BltTransparentExpansion rule) { transparentExpansion_ = rule; }
    BltTransparentExpansion transparentExpansion() const { return transparentExpansion_; }

    // ---- front ends ----
    // One bus write to the registers (not the status byte); the fields are
    // the registers it covers.
    void write(const BltWrite *fields, size_t count);
    void write(std::initializer_list<BltWrite> fields) { write(fields.begin(), fields.size()); }
    uint32_t read(BltReg reg, int lane, int bytes) const;
    // Reading the status lets the engine progress by one step.
    uint8_t readStatus();
    void writeStatus(uint8_t value);

    // ---- harness ----
    // Finish every operation and release video memory to the processor.
    void drain();
    bool busy() const { return running_; }
    bool queued() const { return queued_; }
    bool autostart() const { return autostart_; }
    bool hasRoom() const { return !running_ || (autostart_ && !queued_); }
    const BltRegs &regs() const { return regs_; }
    const BltStats &stats() const { return stats_; }
    void clearStats() { stats_ = BltStats{}; }
    const std::vector<BltOp> &log() const { return log_; }
    void clearLog() { log_.clear(); }
    void setLogging(bool on) { logging_ = on; }
    VideoMemory &vram() { return vram_; }

  private:
    void store(const BltWrite &);
    void requestStart(bool autostarted);
    void beginBusy();
    void setGuard(bool on);
    bool execute(bool autostarted);

    VideoMemory &vram_;
    int busyReads_;
    BltRegs regs_;
    bool autostart_ = false;
    bool running_ = false;
    bool queued_ = false;
    bool guarded_ = false;
    int busyLeft_ = 0;
    BltStats stats_;
    std::vector<BltOp> log_;
    bool logging_ = true;
    BltTransparentExpansion transparentExpansion_ = BltTransparentExpansion::ZeroBits;
};

// The memory-mapped register block of the GD5436/GD5446/GD5480, 256 bytes
// mapped at the top of the linear aperture. Accesses of 8, 16 or 32 bits at
// the defined offsets are taken (also one that spans two registers); any byte
// of an access outside them is reported and the access ignored.
class CirrusBltMmio : public MemDevice {
  public:
    static constexpr uint32_t kSize = 0x100;
    // Register offsets.
    static constexpr uint32_t Bg = 0x00, Fg = 0x04, Width = 0x08, Height = 0x0A, DstPitch = 0x0C,
                              SrcPitch = 0x0E, DstAddr = 0x10, SrcAddr = 0x14, SrcAddrHigh = 0x16,
                              Skip = 0x17, Mode = 0x18, Rop = 0x1A, ModeExt = 0x1B, Trans = 0x1C,
                              Status = 0x40;

    explicit CirrusBltMmio(CirrusBltCore &core) : core_(core) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;
    CirrusBltCore &core() { return core_; }

  private:
    CirrusBltCore &core_;
};

// The graphics-controller view of the banked chips: the adapter model that
// owns ports 0x3CE/0x3CF hands every GR write and read here first and keeps
// the indices this front end does not take. Colours: GR0/GR10/GR12/GR14 are
// the background's bytes 0 to 3, GR1/GR11/GR13/GR15 the foreground's;
// GR20..GR2E the sizes, pitches and addresses (low byte first); GR30 mode;
// GR31 status and start (bit 2 resets the engine); GR32 raster operation;
// GR34/GR35 the transparent colour, which transparent colour expansion
// compares with each expanded pixel on these chips.
class CirrusBltGr {
  public:
    explicit CirrusBltGr(CirrusBltCore &core) : core_(core) {
        core_.setTransparentExpansion(BltTransparentExpansion::MatchingColour);
    }
    static bool handles(uint8_t index);
    // False (and nothing done) for an index the engine does not own.
    bool write(uint8_t index, uint8_t value);
    bool read(uint8_t index, uint8_t *value);
    CirrusBltCore &core() { return core_; }

  private:
    CirrusBltCore &core_;
};

} // namespace sim
