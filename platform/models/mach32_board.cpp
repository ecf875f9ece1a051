// The "mach32" board model; its registers and choices are listed in
// mach32_board.h.
#include "models/mach32_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

// The memory code of 0x36EE bits 2-3 for a supported size.
uint16_t memoryCode(uint32_t size) {
    switch (size) {
    case 0x80000:
        return 0;
    case 0x100000:
        return 1;
    case 0x200000:
        return 2;
    case 0x400000:
        return 3;
    default:
        throw std::invalid_argument("mach32 board: no memory size " + hex(size) +
                                    " (0.5, 1, 2 or 4 MB)");
    }
}

uint32_t memSizeOf(const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    const uint32_t size =
        it == cfg.ints.end() ? Mach32Adapter::kDefaultMemSize : static_cast<uint32_t>(it->second);
    memoryCode(size);
    return size;
}

constexpr uint16_t kPixelSizeMask = 0x0030;
constexpr uint16_t kPixel8 = 0x0010, kPixel16 = 0x0020;

} // namespace

// The configuration registers and the DAC at its 8514/A ports.
class Mach32BoardPorts : public PortDevice {
  public:
    explicit Mach32BoardPorts(Mach32Board &board) : board_(board) {}
    void attach(Machine &m);
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;

  private:
    Mach32Board &board_;
};

class Mach32Board {
  public:
    Mach32Board(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), core(vram, mach32ChipParams()), ext(core), boardPorts(*this) {
        core.setLinePixels(0);
        core.setPixelBits(8);
        // The front end answers the core's ports too, so that it sees every
        // register write while transfer words are owed.
        ext.attach(m);
        boardPorts.attach(m);
        mapPlainAreas(cfg, m);
    }

    VideoMemory vram;
    S3EngineCore core;
    Mach32ExtPorts ext;
    Mach32BoardPorts boardPorts;
    vga::Dac dac;
    uint8_t memBoundary = 0xFF;
    int memBoundaryWrites = 0;
};

void Mach32BoardPorts::attach(Machine &m) {
    m.attachPorts(mach32port::MemSize, 2, this, 2);
    m.attachPorts(mach32port::MemBoundary, 1, this);
    m.attachPorts(mach32port::LinePitch, 2, this, 2);
    m.attachPorts(mach32port::PixelSize, 2, this, 2);
    m.attachPorts(mach32port::DacMask, 4, this);
}

uint32_t Mach32BoardPorts::in(uint16_t port, int width) {
    if (port == mach32port::MemSize && width == 2)
        return uint32_t(memoryCode(uint32_t(board_.vram.size())) << 2);
    if (port >= mach32port::DacMask && port <= mach32port::DacData && width == 1)
        return board_.dac.in(uint16_t(vga::port::DacMask + (port - mach32port::DacMask)), 1);
    Machine::current().fail("mach32 board: " + std::to_string(8 * width) + "-bit read at " +
                            hex(port) + ", which the board does not answer");
    return width == 1 ? 0xFFu : 0xFFFFu;
}

void Mach32BoardPorts::out(uint16_t port, int width, uint32_t value) {
    S3EngineCore &core = board_.core;
    if (port >= mach32port::DacMask && port <= mach32port::DacData && width == 1) {
        board_.dac.out(uint16_t(vga::port::DacMask + (port - mach32port::DacMask)), 1, value);
        return;
    }
    if (port == mach32port::MemBoundary && width == 1) {
        board_.memBoundary = uint8_t(value);
        board_.memBoundaryWrites++;
        return;
    }
    if (port == mach32port::LinePitch && width == 2) {
        core.setLinePixels(8 * (value & 0xFFFF));
        return;
    }
    if (port == mach32port::PixelSize && width == 2) {
        switch (value & kPixelSizeMask) {
        case kPixel8:
            core.setPixelBits(8);
            return;
        case kPixel16:
            core.setPixelBits(16);
            return;
        default:
            break;
        }
        Machine::current().fail("mach32 board: pixel size " + hex(value) +
                                " at 0x7AEE is neither 8 (0x10) nor 16 bits (0x20)");
        return;
    }
    Machine::current().fail("mach32 board: " + std::to_string(8 * width) + "-bit write at " +
                            hex(port) + " <- " + hex(value) + ", which the board does not take");
}

Mach32Adapter::Mach32Adapter(const std::string &, graf::Config &cfg, Machine &m)
    : board_(m.own<Mach32Board>(cfg, m)) {}

VideoMemory *Mach32Adapter::vram() {
    return &board_->vram;
}
void Mach32Adapter::drain() {
    board_->core.drain();
    board_->ext.drain();
}
S3EngineCore &Mach32Adapter::engine() {
    return board_->core;
}
Mach32ExtPorts &Mach32Adapter::ext() {
    return board_->ext;
}
const Mach32ExtPorts &Mach32Adapter::ext() const {
    return board_->ext;
}
vga::Dac &Mach32Adapter::dac() {
    return board_->dac;
}
uint32_t Mach32Adapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}
uint8_t Mach32Adapter::memBoundary() const {
    return board_->memBoundary;
}
int Mach32Adapter::memBoundaryWrites() const {
    return board_->memBoundaryWrites;
}

uint32_t Mach32Adapter::displayPitch() const {
    const S3EngineCore &e = board_->core;
    return e.linePixels() * uint32_t(e.pixelBits()) / 8;
}

std::string Mach32Adapter::describe() const {
    const S3EngineCore &e = board_->core;
    std::string s = "mach32: " + std::to_string(memSize() / 1024) + " KB";
    if (e.linePixels() == 0)
        s += ", no line length set";
    else
        s += ", lines of " + std::to_string(e.linePixels()) + " pixels of " +
             std::to_string(e.pixelBits()) + " bits";
    s += ", DAC mask " + hex(board_->dac.mask());
    return s;
}

namespace {

AdapterRegistration mach32("mach32", adapterFactory<Mach32Adapter>("mach32"));

} // namespace

} // namespace sim
