// Device models of the standard VGA registers that every adapter of this
// project carries: sequencer, graphics controller, CRT controller, attribute
// controller, DAC, miscellaneous output and input status 1. Chip models build
// on them: they preset registers, and react to register writes through the
// hooks (extended sequencer registers, cursor colour access in the DAC).
//
// Every model is a PortDevice of byte-wide ports: the machine splits a 16-bit
// access into its two bytes, low port first, so an outw to an index port
// selects the register and writes it in one go, as on a PC bus.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "machine.h"

namespace sim::vga {

namespace port {
constexpr uint16_t AttrIndex = 0x3C0; // index and data, by the flip-flop
constexpr uint16_t AttrData = 0x3C1;  // read only
constexpr uint16_t MiscWrite = 0x3C2; // reads give input status 0
constexpr uint16_t SeqIndex = 0x3C4;
constexpr uint16_t SeqData = 0x3C5;
constexpr uint16_t DacMask = 0x3C6;
constexpr uint16_t DacReadIndex = 0x3C7; // reads give the DAC state
constexpr uint16_t DacWriteIndex = 0x3C8;
constexpr uint16_t DacData = 0x3C9;
constexpr uint16_t MiscRead = 0x3CC;
constexpr uint16_t GcIndex = 0x3CE;
constexpr uint16_t GcData = 0x3CF;
constexpr uint16_t CrtcIndex = 0x3D4;
constexpr uint16_t CrtcData = 0x3D5;
constexpr uint16_t InputStatus1 = 0x3DA; // writes go to feature control
} // namespace port

// An index port and the data port after it, with 256 registers behind them.
class IndexedRegisters : public PortDevice {
  public:
    struct Write {
        uint8_t index; // the whole index byte as written
        uint8_t value;
    };

    explicit IndexedRegisters(uint16_t indexPort) : indexPort_(indexPort) {}
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m) { m.attachPorts(indexPort_, 2, this); }

    uint16_t indexPort() const { return indexPort_; }
    uint8_t index() const { return index_; }
    uint8_t reg(uint8_t i) const { return regs_[i]; }
    // Presets a register (power-on or strapping values) without the hooks.
    void setReg(uint8_t i, uint8_t v) { regs_[i] = v; }
    // Bits of the index byte that select a register. Some chips use the other
    // bits as data (the cursor position's low bits); they still reach the hooks.
    void setIndexMask(uint8_t mask) { indexMask_ = mask; }
    // Every data write, in order.
    const std::vector<Write> &writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }

    // Called after a data write is stored, with the whole index byte.
    std::function<void(uint8_t index, uint8_t value)> onWrite;
    // When set, supplies the value a data read returns (status bits and the like).
    std::function<uint8_t(uint8_t index, uint8_t stored)> onRead;

  private:
    uint8_t readByte(uint16_t port);
    void writeByte(uint16_t port, uint8_t value);

    uint16_t indexPort_;
    uint8_t index_ = 0;
    uint8_t indexMask_ = 0xFF;
    std::array<uint8_t, 256> regs_{};
    std::vector<Write> writes_;
};

class Sequencer : public IndexedRegisters {
  public:
    Sequencer() : IndexedRegisters(port::SeqIndex) {}
};

class GraphicsController : public IndexedRegisters {
  public:
    GraphicsController() : IndexedRegisters(port::GcIndex) {}
};

// The register protection of CR11 bit 7 is not modelled: every write lands.
class Crtc : public IndexedRegisters {
  public:
    Crtc() : IndexedRegisters(port::CrtcIndex) {}
};

// Port 0x3C0 takes an index and a data byte in turn; reading input status 1
// sends it back to expecting an index. Bit 5 of the index byte is the palette
// address source: 0 blanks the picture while the palette is being loaded.
class AttributeController : public PortDevice {
  public:
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m);

    void resetFlipFlop() { expectIndex_ = true; }
    bool expectingIndex() const { return expectIndex_; }
    uint8_t index() const { return index_ & 0x1F; }
    bool screenEnabled() const { return (index_ & 0x20) != 0; }
    uint8_t reg(uint8_t i) const { return regs_[i & 0x1F]; }
    void setReg(uint8_t i, uint8_t v) { regs_[i & 0x1F] = v; }

    std::function<void(uint8_t index, uint8_t value)> onWrite;

  private:
    Machine *machine_ = nullptr;
    bool expectIndex_ = true;
    uint8_t index_ = 0x20; // the picture is on after a mode set
    std::array<uint8_t, 32> regs_{};
};

// The palette DAC: three 6-bit components per entry, written and read in
// turn, the index advancing after the third. The read and write indexes are
// kept apart (the model's choice; drivers set the one they use first).
class Dac : public PortDevice {
  public:
    struct Entry {
        uint8_t r = 0, g = 0, b = 0;
        bool operator==(const Entry &) const = default;
    };
    struct Write {
        uint8_t index;
        Entry raw; // the bytes as written, before the 6-bit mask
    };

    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m) { m.attachPorts(port::DacMask, 4, this); }

    Entry entry(int i) const { return palette_[static_cast<size_t>(i & 0xFF)]; }
    Entry rawEntry(int i) const { return raw_[static_cast<size_t>(i & 0xFF)]; }
    void setEntry(int i, Entry e);
    uint8_t mask() const { return mask_; }
    uint8_t writeIndex() const { return writeIndex_; }
    uint8_t readIndex() const { return readIndex_; }
    // Every completed entry write, in order.
    const std::vector<Write> &writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }

    // Called with each completed entry; returning true means the chip took
    // the entry elsewhere (cursor colours) and the palette keeps its value.
    std::function<bool(uint8_t index, Entry raw)> onEntryWrite;

  private:
    uint8_t readByte(uint16_t port);
    void writeByte(uint16_t port, uint8_t value);

    std::array<Entry, 256> palette_{};
    std::array<Entry, 256> raw_{};
    std::vector<Write> writes_;
    uint8_t mask_ = 0xFF;
    uint8_t writeIndex_ = 0;
    uint8_t readIndex_ = 0;
    int writeStep_ = 0;
    int readStep_ = 0;
    uint8_t pending_[3] = {0, 0, 0};
    bool readMode_ = false;
};

// Miscellaneous output, written at 0x3C2 and read back at 0x3CC. A read of
// 0x3C2 is input status 0, which the model answers with 0.
class MiscOutput : public PortDevice {
  public:
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m);
    uint8_t value() const { return value_; }

    std::function<void(uint8_t value)> onWrite;

  private:
    uint8_t value_ = 0x67; // colour addressing (0x3Dx), RAM enabled, 28 MHz
};

// Input status 1 at 0x3DA. The picture is timed in the machine's virtual
// time as a 640 x 480 frame: 525 lines of 32 us, the last 45 blank, vertical
// retrace in lines 490 and 491, horizontal blanking in the last 6 us of each
// line. Bit 3 is set during vertical retrace; bit 0 whenever the display is
// not showing pixels. Each read takes 1 us of virtual time, as a bus cycle to
// a real adapter does, so that a poll for retrace sees it come and go.
class InputStatus : public PortDevice {
  public:
    static constexpr uint64_t kLineMicros = 32;
    static constexpr uint64_t kLines = 525;
    static constexpr uint64_t kVisibleLines = 480;
    static constexpr uint64_t kRetraceFirstLine = 490;
    static constexpr uint64_t kRetraceLines = 2;
    static constexpr uint64_t kLineBlankFrom = 26;
    static constexpr uint64_t kReadMicros = 1;
    static constexpr uint8_t kDisplayOff = 0x01;
    static constexpr uint8_t kVerticalRetrace = 0x08;

    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m);
    // The status the register shows at a given time.
    static uint8_t statusAt(uint64_t micros);
    // The first time after `micros` at which a bit of `bits` differs from
    // what it shows at `micros`; `micros` + 1 when none ever does.
    static uint64_t nextChange(uint64_t micros, uint8_t bits);
    uint8_t featureControl() const { return feature_; }

    // Called on every read (the attribute flip-flop reset).
    std::function<void()> onRead;

  private:
    // Where the machine's time may jump: how far a read moves it. A poll
    // waits for some bits to change and passes over changes of others;
    // bits whose change the reader went on past are taken as passed over,
    // and the next read comes when another bit changes. Once every bit has
    // been passed over, the reader waits for a state rather than an edge,
    // and the next read comes at the next change of any bit.
    uint64_t jump(uint64_t now, uint8_t status);

    Machine *machine_ = nullptr;
    uint8_t feature_ = 0;
    uint8_t last_ = 0, before_ = 0; // the last two values read
    int reads_ = 0;                 // reads so far, up to 2
    uint8_t passedOver_ = 0;
};

// The standard registers of one adapter, attached to the usual colour ports.
class VgaCore {
  public:
    // A core kept alive by the machine and attached to its ports.
    static VgaCore &create(Machine &m);
    VgaCore();
    VgaCore(const VgaCore &) = delete;
    VgaCore &operator=(const VgaCore &) = delete;
    void attach(Machine &m);

    Sequencer seq;
    GraphicsController gc;
    Crtc crtc;
    AttributeController attr;
    Dac dac;
    MiscOutput misc;
    InputStatus status;
};

} // namespace sim::vga
