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
    Mach32CursorRegs cursor;
};

void Mach32BoardPorts::attach(Machine &m) {
    m.attachPorts(mach32port::MemSize, 2, this, 2);
    m.attachPorts(mach32port::MemBoundary, 1, this);
    m.attachPorts(mach32port::LinePitch, 2, this, 2);
    m.attachPorts(mach32port::PixelSize, 2, this, 2);
    m.attachPorts(mach32port::DacMask, 4, this);
    // The cursor registers are byte registers: a 16-bit access reaches them
    // as two byte accesses.
    m.attachPorts(mach32port::CursorAddressLow, 2, this);
    m.attachPorts(mach32port::CursorAddressHigh, 2, this);
    m.attachPorts(mach32port::CursorX, 2, this);
    m.attachPorts(mach32port::CursorY, 2, this);
    m.attachPorts(mach32port::CursorColours, 2, this);
    m.attachPorts(mach32port::CursorHOffset, 3, this); // and 0x1EF0
    m.attachPorts(mach32port::CursorColour0, 2, this);
    m.attachPorts(mach32port::CursorColour1, 2, this);
}

namespace {

// Sets byte `port & 1` of a 16-bit register.
void setByte(uint16_t &reg, uint16_t port, uint32_t value) {
    if (port & 1)
        reg = uint16_t((reg & 0x00FF) | (value & 0xFF) << 8);
    else
        reg = uint16_t((reg & 0xFF00) | (value & 0xFF));
}

bool isCursorPort(uint16_t port) {
    const uint16_t base = uint16_t(port & ~1u);
    return base == mach32port::CursorAddressLow || base == mach32port::CursorAddressHigh ||
           base == mach32port::CursorX || base == mach32port::CursorY ||
           base == mach32port::CursorColours || base == mach32port::CursorHOffset ||
           port == mach32port::CursorHOffset + 2 || base == mach32port::CursorColour0 ||
           base == mach32port::CursorColour1;
}

// One byte write to the cursor registers.
void cursorOut(Mach32CursorRegs &c, uint16_t port, uint32_t value) {
    const uint16_t base = uint16_t(port & ~1u);
    c.writes++;
    switch (base) {
    case mach32port::CursorAddressLow:
        setByte(c.addressLow, port, value);
        return;
    case mach32port::CursorAddressHigh:
        if (port & 1)
            c.enable = uint8_t(value);
        else
            c.addressHigh = uint8_t(value);
        return;
    case mach32port::CursorX:
        setByte(c.x, port, value);
        return;
    case mach32port::CursorY:
        setByte(c.y, port, value);
        return;
    case mach32port::CursorColours:
        setByte(c.colours, port, value);
        return;
    case mach32port::CursorHOffset:
        if (port & 1)
            c.vOffset = uint8_t(value);
        else
            c.hOffset = uint8_t(value);
        return;
    case mach32port::CursorColour0:
        setByte(c.colour0, port, value);
        return;
    case mach32port::CursorColour1:
        setByte(c.colour1, port, value);
        return;
    default:
        return; // 0x1EF0: nothing answers
    }
}

} // namespace

uint32_t Mach32BoardPorts::in(uint16_t port, int width) {
    if (isCursorPort(port)) {
        Machine::current().fail("mach32 board: read at " + hex(port) +
                                ", a write-only cursor register");
        return 0xFFu;
    }
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
    if (isCursorPort(port) && width == 1) {
        cursorOut(board_.cursor, port, value);
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

const Mach32CursorRegs &Mach32Adapter::cursorRegs() const {
    return board_->cursor;
}
Mach32Cursor Mach32Adapter::cursor() const {
    return Mach32Cursor(board_->vram, board_->cursor);
}

// ---- the cursor ----

Mach32Cursor::Rgb Mach32Cursor::rgb(int colour) const {
    const uint16_t rg = colour ? r_.colour1 : r_.colour0;
    return {uint8_t(rg >> 8), uint8_t(rg), index(colour)};
}

Mach32Cursor::Pixel Mach32Cursor::sprite(int col, int row) const {
    const uint64_t at = uint64_t(imageOffset()) + uint64_t(row) * kRowBytes + uint64_t(col / 4);
    if (col < 0 || row < 0 || col >= kSize || at >= vram_.size())
        return Pixel::Transparent;
    return Pixel((vram_.data()[at] >> (2 * (col % 4))) & 3);
}

Mach32Cursor::Pixel Mach32Cursor::at(int screenX, int screenY) const {
    const int i = screenX - x(), j = screenY - y();
    if (!enabled() || i < 0 || j < 0 || i >= kSize - hOffset() || j >= kSize - vOffset())
        return Pixel::Transparent;
    return sprite(hOffset() + i, j);
}

std::vector<std::string> Mach32Cursor::shown() const {
    std::vector<std::string> rows;
    for (int j = 0; j < kSize - vOffset(); j++) {
        std::string row;
        for (int i = hOffset(); i < kSize; i++)
            row += "01.I"[int(sprite(i, j))];
        rows.push_back(row);
    }
    return rows;
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
