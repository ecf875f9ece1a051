// The wexla board (model "wexla"): the Weitek first-generation accelerator
// with a VGA beside it and an ICD2061A clock synthesiser on two lines of one
// of three ports.
//
// Configuration:
//   adapter wexla
//   int VIDEO_MEMORY = 0x200000  video memory fitted: 1 or 2 MB
//   int CLOCK_PORT = 0x3C2       the port whose lines drive the synthesiser:
//                                 0x3C2 the VGA misc output (data 0x08,
//                                 clock 0x04), 0xF886 (data 0x08, clock
//                                 0x04) or 0x7C88 (data 0x40, clock 0x80)
//   int MISC_OUTPUT = 0x67       the misc output's value at power-up
//   int PORT_7C88 = 0, PORT_F886 = 0, PORT_FC84 = 0
//                                 the board ports' values at power-up
//   memory BASE LENGTH            the default area: the chip's window, at
//                                 least 0x200000 plus the memory fitted
//
// Register window (32-bit accesses only; any other offset or width is a
// failure), offsets from the window's start, every register kept as written:
// - 0x100004 system configuration: the pitch (displayPitch()) is the sum of
//   its three line-length fields, bits 20-22, 17-19 and 14-16, each a power
//   of two in bytes as the chip's second generation codes them (the model's
//   choice: the first generation's fields are not given otherwise);
// - 0x10000C, 0x100108-0x100114, 0x100118, 0x100120-0x10012C, 0x100130,
//   0x100138 (screen repaint control, bit 5 the picture), 0x100184 (memory
//   configuration), 0x100188, 0x100190;
// - 0x180190, 0x18020C, 0x180210 and 0x180214.
// - The drawing engine, first generation (weitek_engine.h): status at
//   0x18C000, commands, colours, plane mask, raster, clip (0x180220 and
//   0x180224), coordinates at 0x181008-0x181318 and the 1-bit data ports at
//   0x1F0080-0x1F00FC. The system configuration word gives it the pitch;
//   pixels are one byte.
// The frame buffer at 0x200000 is plain memory to the processor, which
// must not touch it while the engine is busy.
//
// Ports: the VGA registers (misc output written at 0x3C2, read at 0x3CC; the
// palette DAC at 0x3C6-0x3C9), and the board's byte ports 0x7C88, 0xF886,
// 0xF887 and 0xFC84, each kept as written (an access of 16 or 32 bits is a
// failure). Every write of the four board ports is recorded.
//
// The clock port: every write feeds the synthesiser's two lines. A transfer
// starts with a write that changes the port; from then on the bits outside
// the two lines must keep the value the port had, and once the synthesiser
// has taken its word the port must get that value back before the clock
// falls again. Anything else is a failure.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/icd2061a.h"
#include "models/weitek_engine.h"
#include "vga.h"

namespace sim {

// One port's two synthesiser lines and the decoder behind them.
class WexlaClockPort {
  public:
    WexlaClockPort(Machine &m, uint16_t port, uint8_t data, uint8_t clock, uint8_t initial);
    void written(uint8_t value);

    uint16_t port() const { return port_; }
    const Icd2061a &synth() const { return icd_; }
    // No transfer under way: the last one gave the port its value back.
    bool atRest() const { return state_ == State::Rest; }

  private:
    enum class State { Rest, Sending, Stopped };
    void fail(const std::string &why);

    Machine &machine_;
    uint16_t port_;
    uint8_t data_, clock_;
    uint8_t value_;
    uint8_t start_ = 0;
    State state_ = State::Rest;
    Icd2061a icd_;
};

class WexlaAdapter : public Adapter {
  public:
    static constexpr uint32_t kFrameOffset = 0x200000;
    static constexpr uint16_t kMiscPort = 0x3C2;
    static constexpr uint16_t kTulipPort = 0x7C88;
    static constexpr uint16_t kOlivePort = 0xF886;
    static constexpr uint16_t kOliveControl = 0xF887;
    static constexpr uint16_t kOliveEnable = 0xFC84;
    static constexpr uint32_t kSysConfig = 0x100004;
    static constexpr uint32_t kSrCtl = 0x100138;
    static constexpr uint32_t kMemConf = 0x100184;
    static constexpr uint32_t kClipMin = 0x180220;
    static constexpr uint32_t kClipMax = 0x180224;

    WexlaAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "wexla"; }
    VideoMemory *vram() override { return &vram_; }
    std::string describe() const override;
    uint32_t displayPitch() const override;
    void drain() override { engine_.drain(); }
    WeitekEngine &engine() { return engine_; }

    // A register of the window as last written (0 when never written).
    uint32_t reg(uint32_t offset) const;
    bool wasWritten(uint32_t offset) const { return regs_.count(offset) != 0; }
    WexlaClockPort &clockPort() { return *clock_; }
    vga::VgaCore &vga() { return *vga_; }
    uint8_t portValue(uint16_t port) const;
    // Every write of a board port (0x7C88, 0xF886, 0xF887, 0xFC84), in order.
    const std::vector<uint8_t> &portWrites(uint16_t port) const;

    // The window's register side, for its devices.
    uint32_t regRead(uint32_t offset, int width);
    void regWrite(uint32_t offset, int width, uint32_t value);
    // The board ports' side.
    uint32_t portIn(uint16_t port, int width);
    void portOut(uint16_t port, int width, uint32_t value);

  private:
    Machine &machine_;
    VideoMemory vram_;
    WeitekEngine engine_;
    WeitekFirstGenFront front_;
    vga::VgaCore *vga_ = nullptr;
    WexlaClockPort *clock_ = nullptr;
    std::map<uint32_t, uint32_t> regs_;
    std::map<uint16_t, uint8_t> ports_;
    std::map<uint16_t, std::vector<uint8_t>> portWrites_;
};

} // namespace sim
