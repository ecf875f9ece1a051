// The "wexla" board model; its registers and choices are listed in
// wexla_board.h.
#include "models/wexla_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint32_t kMB = 0x100000;

// Register blocks the window decodes: [first, first + length).
constexpr uint32_t kSysBlock = 0x100000, kSysBlockLength = 0x200;
constexpr uint32_t kEngineBlock = 0x180000, kEngineBlockLength = 0x300;
// The engine's coordinates, its status and its 1-bit data ports.
constexpr struct {
    uint32_t first, length;
} kEngineBlocks[] = {{0x181000, 0x400}, {0x18C000, 0x4}, {0x1F0000, 0x100}};

constexpr uint32_t kRegisters[] = {0x100004, 0x10000C, 0x100108, 0x10010C, 0x100110,
                                   0x100114, 0x100118, 0x100120, 0x100124, 0x100128,
                                   0x10012C, 0x100130, 0x100138, 0x100184, 0x100188,
                                   0x100190, 0x180190, 0x18020C, 0x180210, 0x180214};

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intKey(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

uint8_t byteKey(const graf::Config &cfg, const char *key, int fallback) {
    const int v = intKey(cfg, key, fallback);
    if (v < 0 || v > 0xFF)
        throw std::invalid_argument(std::string("wexla board: ") + key + " is a byte, not " +
                                    std::to_string(v));
    return static_cast<uint8_t>(v);
}

size_t memorySize(const graf::Config &cfg) {
    const int size = intKey(cfg, "VIDEO_MEMORY", 2 * kMB);
    if (size != 1 * kMB && size != 2 * kMB)
        throw std::invalid_argument("wexla board: VIDEO_MEMORY is 1 or 2 MB, not " +
                                    hex(static_cast<uint32_t>(size)));
    return static_cast<size_t>(size);
}

class RegisterBlock : public MemDevice {
  public:
    RegisterBlock(WexlaAdapter &board, uint32_t base) : board_(board), base_(base) {}
    uint32_t read(uint32_t offset, int width) override {
        return board_.regRead(base_ + offset, width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        board_.regWrite(base_ + offset, width, value);
    }

  private:
    WexlaAdapter &board_;
    uint32_t base_;
};

class BoardPorts : public PortDevice {
  public:
    explicit BoardPorts(WexlaAdapter &board) : board_(board) {}
    uint32_t in(uint16_t port, int width) override { return board_.portIn(port, width); }
    void out(uint16_t port, int width, uint32_t value) override {
        board_.portOut(port, width, value);
    }

  private:
    WexlaAdapter &board_;
};

} // namespace

// ---- the clock port ----

WexlaClockPort::WexlaClockPort(Machine &m, uint16_t port, uint8_t data, uint8_t clock,
                               uint8_t initial)
    : machine_(m), port_(port), data_(data), clock_(clock), value_(initial),
      icd_([this](const std::string &why) { fail(why); }) {}

void WexlaClockPort::fail(const std::string &why) {
    machine_.fail("wexla board: port " + hex(port_) + ": " + why);
}

void WexlaClockPort::written(uint8_t value) {
    const uint8_t lines = static_cast<uint8_t>(data_ | clock_);
    const uint8_t before = value_;
    value_ = value;
    if (state_ == State::Rest) {
        if (value == before)
            return;
        start_ = before;
        state_ = State::Sending;
    }
    if (((value ^ start_) & ~lines) != 0)
        fail("bits outside the clock lines changed from " + hex(start_) + " to " + hex(value));
    if (state_ == State::Stopped) {
        if (value == start_) {
            state_ = State::Rest;
            return;
        }
        if ((before & clock_) != 0 && (value & clock_) == 0) {
            fail("a new transfer began before the port was given back " + hex(start_));
            state_ = State::Sending;
        }
    }
    const size_t words = icd_.words().size();
    icd_.feed((value & data_) != 0, (value & clock_) != 0);
    if (icd_.words().size() != words)
        state_ = State::Stopped;
}

// ---- the board ----

WexlaAdapter::WexlaAdapter(graf::Config &cfg, Machine &m)
    : machine_(m), vram_(memorySize(cfg)), engine_(vram_, "wexla board"), front_(engine_) {
    const int clockPort = intKey(cfg, "CLOCK_PORT", kMiscPort);
    uint8_t data = 0x08, clock = 0x04;
    if (clockPort == kTulipPort) {
        data = 0x40;
        clock = 0x80;
    } else if (clockPort != kMiscPort && clockPort != kOlivePort) {
        throw std::invalid_argument("wexla board: CLOCK_PORT is 0x3C2, 0x7C88 or 0xF886, not " +
                                    hex(static_cast<uint32_t>(clockPort)));
    }
    const uint8_t misc = byteKey(cfg, "MISC_OUTPUT", 0x67);
    ports_[kTulipPort] = byteKey(cfg, "PORT_7C88", 0);
    ports_[kOlivePort] = byteKey(cfg, "PORT_F886", 0);
    ports_[kOliveControl] = 0;
    ports_[kOliveEnable] = byteKey(cfg, "PORT_FC84", 0);

    vga_ = &vga::VgaCore::create(m);
    vga_->misc.out(kMiscPort, 1, misc);
    const uint16_t port = static_cast<uint16_t>(clockPort);
    clock_ = m.own<WexlaClockPort>(m, port, data, clock, port == kMiscPort ? misc : ports_[port]);
    if (port == kMiscPort)
        vga_->misc.onWrite = [this](uint8_t v) { clock_->written(v); };

    BoardPorts *ports = m.own<BoardPorts>(*this);
    m.attachPorts(kTulipPort, 1, ports, 4);
    m.attachPorts(kOlivePort, 2, ports, 4);
    m.attachPorts(kOliveEnable, 1, ports, 4);

    graf::MemoryArea *window = nullptr;
    for (graf::MemoryArea &area : cfg.areas)
        if (area.name.empty() || area.name == "MEMORY")
            window = &area;
    if (window != nullptr) {
        const uint32_t needed = kFrameOffset + static_cast<uint32_t>(vram_.size());
        if (window->length < needed)
            throw std::invalid_argument(
                "wexla board: the register window of " + hex(window->length) +
                " bytes does not reach past " + hex(kFrameOffset) + " and " +
                hex(static_cast<uint32_t>(vram_.size())) + " bytes of memory");
        uint8_t *host = m.addLinearApertureAfter("MEMORY", window->physBase, window->length, vram_,
                                                 kFrameOffset);
        m.mapDevice(host + kSysBlock, kSysBlockLength, m.own<RegisterBlock>(*this, kSysBlock));
        m.mapDevice(host + kEngineBlock, kEngineBlockLength,
                    m.own<RegisterBlock>(*this, kEngineBlock));
        for (const auto &block : kEngineBlocks)
            m.mapDevice(host + block.first, block.length, m.own<RegisterBlock>(*this, block.first));
        window->mapped = host;
    }
    mapPlainAreas(cfg, m);
}

uint32_t WexlaAdapter::reg(uint32_t offset) const {
    if (WeitekFirstGenFront::owns(offset))
        return front_.reg(offset);
    auto it = regs_.find(offset);
    return it == regs_.end() ? 0 : it->second;
}

uint32_t WexlaAdapter::regRead(uint32_t offset, int width) {
    if (width != 4) {
        machine_.fail("wexla board: " + std::to_string(8 * width) + "-bit read of register " +
                      hex(offset) + "; registers take 32-bit accesses");
        return 0;
    }
    if (WeitekFirstGenFront::owns(offset))
        return front_.read(offset);
    for (uint32_t r : kRegisters)
        if (r == offset)
            return reg(offset);
    machine_.fail("wexla board: read of " + hex(offset) + ", where no register is");
    return 0;
}

void WexlaAdapter::regWrite(uint32_t offset, int width, uint32_t value) {
    if (width != 4) {
        machine_.fail("wexla board: " + std::to_string(8 * width) + "-bit write to register " +
                      hex(offset) + "; registers take 32-bit accesses");
        return;
    }
    if (WeitekFirstGenFront::owns(offset)) {
        front_.write(offset, value);
        return;
    }
    for (uint32_t r : kRegisters) {
        if (r == offset) {
            regs_[offset] = value;
            if (offset == kSysConfig)
                front_.systemConfig(value);
            return;
        }
    }
    machine_.fail("wexla board: write of " + hex(value) + " to " + hex(offset) +
                  ", where no register is");
}

uint8_t WexlaAdapter::portValue(uint16_t port) const {
    auto it = ports_.find(port);
    return it == ports_.end() ? 0 : it->second;
}

const std::vector<uint8_t> &WexlaAdapter::portWrites(uint16_t port) const {
    static const std::vector<uint8_t> none;
    auto it = portWrites_.find(port);
    return it == portWrites_.end() ? none : it->second;
}

uint32_t WexlaAdapter::portIn(uint16_t port, int width) {
    if (width != 1) {
        machine_.fail("wexla board: " + std::to_string(8 * width) + "-bit read of port " +
                      hex(port) + "; the board's ports take bytes");
        return 0;
    }
    return portValue(port);
}

void WexlaAdapter::portOut(uint16_t port, int width, uint32_t value) {
    if (width != 1) {
        machine_.fail("wexla board: " + std::to_string(8 * width) + "-bit write to port " +
                      hex(port) + "; the board's ports take bytes");
        return;
    }
    const uint8_t b = static_cast<uint8_t>(value);
    ports_[port] = b;
    portWrites_[port].push_back(b);
    if (port == clock_->port())
        clock_->written(b);
}

uint32_t WexlaAdapter::displayPitch() const {
    return WeitekFirstGenFront::pitchOf(reg(kSysConfig));
}

std::string WexlaAdapter::describe() const {
    return "wexla board, synthesiser on port " + hex(clock_->port()) + ", " +
           std::to_string(vram_.size() / kMB) + " MB, pitch " + std::to_string(displayPitch()) +
           ((reg(kSrCtl) & 0x20) != 0 ? ", picture on" : ", picture off");
}

namespace {

AdapterRegistration
    wexlaRegistration("wexla", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<WexlaAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
