// The "s3_pilo" board model; its registers, keys and choices are listed in
// pilo_board.h.
#include "models/pilo_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t CR36 = 0x36, CR38 = 0x38, CR39 = 0x39, CR40 = 0x40;
constexpr uint8_t CR32 = 0x32, CR42 = 0x42;
constexpr uint8_t kCr38Key = 0x48;
constexpr uint8_t kCr39Key = 0xA0, kCr39KeyMask = 0xF0;
constexpr uint8_t SR1 = 0x01, kSr1ScreenOff = 0x20;
constexpr uint16_t kMonoBase = 0x3B0, kColourBase = 0x3D0;
constexpr uint32_t kHalfColumns = 1024;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

int intOf(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : static_cast<int>(it->second);
}

uint32_t memSizeOf(const graf::Config &cfg) {
    int size = intOf(cfg, "MEMSIZE", static_cast<int>(PiloAdapter::kDefaultMemSize));
    if (size != 0x80000 && size != 0x100000 && size != 0x200000)
        throw std::invalid_argument("s3_pilo board: no memory size " +
                                    hex(static_cast<uint32_t>(size)) + " (0.5, 1 or 2 MB)");
    return static_cast<uint32_t>(size);
}

// Bits 6-5 of CR36 by size.
uint8_t memoryCode(uint32_t size) {
    switch (size) {
    case 0x80000:
        return 0xE0;
    case 0x100000:
        return 0xC0;
    default:
        return 0x80;
    }
}

uint32_t lineOf(const graf::Config &cfg) {
    int line = intOf(cfg, "ENGINELINE", 1024);
    if (line != 1024 && line != 1280 && line != 2048)
        throw std::invalid_argument("s3_pilo board: ENGINELINE is 1024, 1280 or 2048, not " +
                                    std::to_string(line));
    return static_cast<uint32_t>(line);
}

int bitsOf(const graf::Config &cfg) {
    int bits = intOf(cfg, "ENGINEBITS", 8);
    if (bits != 4 && bits != 8)
        throw std::invalid_argument("s3_pilo board: ENGINEBITS is 4 or 8, not " +
                                    std::to_string(bits));
    return bits;
}

bool byteHalvesOf(const graf::Config &cfg) {
    int on = intOf(cfg, "BYTEHALVES", 0);
    if (on != 0 && on != 1)
        throw std::invalid_argument("s3_pilo board: BYTEHALVES is 0 or 1");
    return on == 1;
}

uint8_t byteOf(const graf::Config &cfg, const char *key, uint8_t fallback) {
    int v = intOf(cfg, key, fallback);
    if (v < 0 || v > 0xFF)
        throw std::invalid_argument(std::string("s3_pilo board: ") + key + " is a byte");
    return static_cast<uint8_t>(v);
}

// The engine's ports on a board that has no engine: the bus floats.
class NoEnginePorts : public PortDevice {
  public:
    uint32_t in(uint16_t, int width) override { return width == 1 ? 0xFFu : 0xFFFFu; }
    void out(uint16_t, int, uint32_t) override {}
};

} // namespace

class PiloCrtcPorts : public PortDevice {
  public:
    explicit PiloCrtcPorts(PiloBoard &board) : board_(board) {}
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    void attach(Machine &m) {
        m.attachPorts(kMonoBase + 4, 2, this);
        m.attachPorts(kMonoBase + 0xA, 1, this);
        m.attachPorts(kColourBase + 4, 2, this);
        m.attachPorts(kColourBase + 0xA, 1, this);
    }

  private:
    bool selected(const char *what, uint16_t port) const;
    PiloBoard &board_;
};

class PiloBoard {
  public:
    PiloBoard(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), core(vram, s3ChipParams()),
          ports(core, [this] { return (vga.crtc.reg(CR40) & 0x01) != 0; }), crtcPorts(*this),
          line(lineOf(cfg)), bits(bitsOf(cfg)), byteHalves(byteHalvesOf(cfg)) {
        if (byteHalves && (bits != 8 || line != 2048))
            throw std::invalid_argument(
                "s3_pilo board: the byte-halves picture needs an 8-bit engine line of 2048");
        vga.attach(m);
        crtcPorts.attach(m);
        if (intOf(cfg, "ENGINE", 1)) {
            ports.attach(m);
        } else {
            for (const S3PortRole &p : s3ChipParams().ports)
                m.attachPorts(p.port, 2, &noEngine, 2);
        }
        core.setPixelBits(bits);
        core.setLinePixels(line);
        // Power-on: the queue is empty, as a status read would show.
        core.readStatus();
        core.clearStats();
        vga.crtc.setReg(CR36, byteOf(cfg, "CR36", memoryCode(static_cast<uint32_t>(vram.size()))));
        vga.crtc.setReg(CR32, byteOf(cfg, "CR32", 0));
        vga.crtc.setReg(CR42, byteOf(cfg, "CR42", 0));
        mapPlainAreas(cfg, m);
    }

    bool locked(uint8_t index) const {
        if (index < 0x30 || index == CR38 || index == CR39)
            return false;
        if (index < 0x40)
            return vga.crtc.reg(CR38) != kCr38Key;
        return (vga.crtc.reg(CR39) & kCr39KeyMask) != kCr39Key;
    }

    // The byte of an 8-bit engine pixel, or null outside video memory.
    uint8_t *byteAt(uint64_t offset) {
        return offset < vram.size() ? vram.data() + offset : nullptr;
    }

    VideoMemory vram;
    vga::VgaCore vga;
    S3EngineCore core;
    S3EnginePorts ports;
    NoEnginePorts noEngine;
    PiloCrtcPorts crtcPorts;
    std::vector<vga::IndexedRegisters::Write> lockedWrites;
    uint32_t line;
    int bits;
    bool byteHalves;
};

bool PiloCrtcPorts::selected(const char *what, uint16_t port) const {
    const uint16_t base = (board_.vga.misc.value() & 0x01) ? kColourBase : kMonoBase;
    if ((port & 0xFFF0) == base)
        return true;
    Machine::current().fail("s3_pilo board: port " + std::string(what) + " at " + hex(port) +
                            " while the miscellaneous output (" + hex(board_.vga.misc.value()) +
                            ") selects the ports at " + hex(base + 4));
    return false;
}

uint32_t PiloCrtcPorts::in(uint16_t port, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; i++) {
        const uint16_t p = uint16_t(port + i);
        uint8_t b = 0xFF;
        if (selected("read", p)) {
            if ((p & 0x0F) == 0x0A)
                b = uint8_t(board_.vga.status.in(vga::port::InputStatus1, 1));
            else
                b = uint8_t(board_.vga.crtc.in(uint16_t(vga::port::CrtcIndex + (p & 1)), 1));
        }
        v |= uint32_t(b) << (8 * i);
    }
    return v;
}

void PiloCrtcPorts::out(uint16_t port, int width, uint32_t value) {
    for (int i = 0; i < width; i++) {
        const uint16_t p = uint16_t(port + i);
        const uint8_t b = uint8_t(value >> (8 * i));
        if (!selected("write", p))
            continue;
        if ((p & 0x0F) == 0x0A) {
            board_.vga.status.out(vga::port::InputStatus1, 1, b);
        } else if ((p & 1) == 0) {
            board_.vga.crtc.out(vga::port::CrtcIndex, 1, b);
        } else if (board_.locked(board_.vga.crtc.index())) {
            board_.lockedWrites.push_back({board_.vga.crtc.index(), b});
        } else {
            board_.vga.crtc.out(vga::port::CrtcData, 1, b);
        }
    }
}

PiloAdapter::PiloAdapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<PiloBoard>(cfg, m)) {}

VideoMemory *PiloAdapter::vram() {
    return &board_->vram;
}
void PiloAdapter::drain() {
    board_->core.drain();
}
vga::VgaCore &PiloAdapter::vga() {
    return board_->vga;
}
S3EngineCore &PiloAdapter::engine() {
    return board_->core;
}
uint32_t PiloAdapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}
uint8_t PiloAdapter::cr(uint8_t index) const {
    return board_->vga.crtc.reg(index);
}
uint8_t PiloAdapter::sr(uint8_t index) const {
    return board_->vga.seq.reg(index);
}
bool PiloAdapter::blanked() const {
    return (sr(SR1) & kSr1ScreenOff) != 0;
}
bool PiloAdapter::enginePortsOn() const {
    return (cr(CR40) & 0x01) != 0;
}
bool PiloAdapter::byteHalves() const {
    return board_->byteHalves;
}
const std::vector<vga::IndexedRegisters::Write> &PiloAdapter::lockedWrites() const {
    return board_->lockedWrites;
}

uint32_t PiloAdapter::displayPitch() const {
    return board_->line * uint32_t(board_->bits) / 8;
}

bool PiloAdapter::nonLinearPicture() const {
    return board_->bits == 4 || board_->byteHalves;
}

uint32_t PiloAdapter::pictureAt(int x, int y) const {
    PiloBoard &b = *board_;
    if (x < 0 || y < 0)
        return 0;
    const uint64_t pixel = uint64_t(y) * b.line + uint64_t(x);
    if (b.byteHalves) {
        const uint8_t *lo = b.byteAt(pixel), *hi = b.byteAt(pixel + kHalfColumns);
        return (lo ? *lo : 0u) | (hi ? uint32_t(*hi) << 8 : 0u);
    }
    if (b.bits == 4) {
        const uint8_t *p = b.byteAt(pixel / 2);
        if (!p)
            return 0;
        return (pixel % 2) == 0 ? uint32_t(*p >> 4) : uint32_t(*p & 0x0F);
    }
    const uint8_t *p = b.byteAt(pixel);
    return p ? *p : 0u;
}

void PiloAdapter::setPictureAt(int x, int y, uint32_t value) {
    PiloBoard &b = *board_;
    if (x < 0 || y < 0)
        return;
    const uint64_t pixel = uint64_t(y) * b.line + uint64_t(x);
    if (b.byteHalves) {
        if (uint8_t *lo = b.byteAt(pixel))
            *lo = uint8_t(value);
        if (uint8_t *hi = b.byteAt(pixel + kHalfColumns))
            *hi = uint8_t(value >> 8);
        return;
    }
    if (b.bits == 4) {
        if (uint8_t *p = b.byteAt(pixel / 2))
            *p = (pixel % 2) == 0 ? uint8_t((*p & 0x0F) | (value & 0x0F) << 4)
                                  : uint8_t((*p & 0xF0) | (value & 0x0F));
        return;
    }
    if (uint8_t *p = b.byteAt(pixel))
        *p = uint8_t(value);
}

std::string PiloAdapter::describe() const {
    const PiloBoard &b = *board_;
    std::string s = model_ + ": " + std::to_string(memSize() / 1024) + " KB";
    s += ", engine lines of " + std::to_string(b.line) + " pixels of " + std::to_string(b.bits) +
         " bits";
    if (b.byteHalves)
        s += ", 16-bit picture in byte halves";
    s += enginePortsOn() ? ", engine ports on" : ", engine ports off";
    s += blanked() ? ", blanked" : ", picture on";
    return s;
}

namespace {

AdapterRegistration piloBoard("s3_pilo", adapterFactory<PiloAdapter>("s3_pilo"));

} // namespace

} // namespace sim
