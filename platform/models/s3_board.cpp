// The "s3" board model; its registers and choices are listed in s3_board.h.
#include "models/s3_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t CR36 = 0x36, CR38 = 0x38, CR39 = 0x39, CR40 = 0x40, CR50 = 0x50;
constexpr uint8_t kCr38Key = 0x48;
constexpr uint8_t kCr39Key = 0xA0, kCr39KeyMask = 0xF0;
constexpr uint8_t SR1 = 0x01, kSr1ScreenOff = 0x20;
constexpr uint16_t kMonoBase = 0x3B0, kColourBase = 0x3D0;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

// The CR36 memory code of a supported size.
uint8_t memoryCode(uint32_t size) {
    switch (size) {
    case 0x400000:
        return 0x00;
    case 0x300000:
        return 0x40;
    case 0x200000:
        return 0x80;
    case 0x100000:
        return 0xC0;
    case 0x80000:
        return 0xE0;
    default:
        throw std::invalid_argument("s3 board: no memory size " + hex(size) +
                                    " (0.5, 1, 2, 3 or 4 MB)");
    }
}

uint32_t memSizeOf(const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    uint32_t size =
        it == cfg.ints.end() ? S3Adapter::kDefaultMemSize : static_cast<uint32_t>(it->second);
    memoryCode(size);
    return size;
}

bool engineWindowOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("MEMORYMAP");
    if (it == cfg.strings.end() || it->second == "linear")
        return false;
    if (it->second == "engine")
        return true;
    throw std::invalid_argument("s3 board: MEMORYMAP is \"linear\" or \"engine\", not \"" +
                                it->second + "\"");
}

// The engine's line length in pixels from CR50, 0 for a code with none.
uint32_t lineWidthOf(uint8_t cr50) {
    switch (cr50 & 0xC1) {
    case 0x00:
        return 1024;
    case 0x01:
        return 1152;
    case 0x40:
        return 640;
    case 0x80:
        return 800;
    case 0x81:
        return 1600;
    case 0xC0:
        return 1280;
    default:
        return 0;
    }
}

} // namespace

class S3Board;

// The CRTC and input status 1 at the port pair the miscellaneous output
// selects, with the S3 register locks in front of the CRTC's data port.
class S3CrtcPorts : public PortDevice {
  public:
    explicit S3CrtcPorts(S3Board &board) : board_(board) {}
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
    S3Board &board_;
};

class S3Board {
  public:
    S3Board(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), core(vram, s3ChipParams()),
          ports(core, [this] { return (vga.crtc.reg(CR40) & 0x01) != 0; }), window(core),
          cursor(vram, vga.crtc), crtcPorts(*this) {
        vga.attach(m);
        crtcPorts.attach(m);
        ports.attach(m);
        vga.crtc.setReg(CR36, memoryCode(static_cast<uint32_t>(vram.size())));
        vga.crtc.onWrite = [this](uint8_t index, uint8_t value) {
            if (index == CR50)
                cr50Written(value);
        };
        cr50Written(vga.crtc.reg(CR50));
        mapAreas(cfg, m);
    }

    void cr50Written(uint8_t value) {
        core.setLinePixels(lineWidthOf(value));
        switch ((value >> 4) & 0x03) {
        case 0:
            core.setPixelBits(8);
            break;
        case 1:
            core.setPixelBits(16);
            break;
        case 3:
            core.setPixelBits(32);
            break;
        default:
            Machine::current().fail("s3 board: CR50 " + hex(value) +
                                    " selects pixel length 2, which the engine has not");
            break;
        }
    }

    bool locked(uint8_t index) const {
        if (index < 0x30 || index == CR38 || index == CR39)
            return false;
        if (index < 0x40)
            return vga.crtc.reg(CR38) != kCr38Key;
        return (vga.crtc.reg(CR39) & kCr39KeyMask) != kCr39Key;
    }

    void mapAreas(graf::Config &cfg, Machine &m) {
        const bool engine = engineWindowOf(cfg);
        for (auto &area : cfg.areas) {
            if (!area.name.empty() && area.name != "MEMORY")
                continue;
            if (engine) {
                if (area.length < S3EngineWindow::kSize)
                    throw std::invalid_argument(
                        "s3 board: the engine window is 64 KB, MEMORY is only " + hex(area.length) +
                        " bytes");
                memory = m.addArea("MEMORY", area.physBase, area.length);
                m.mapDevice(memory, S3EngineWindow::kSize, &window);
            } else {
                memory = m.addLinearAperture("MEMORY", area.physBase, area.length, vram);
            }
            area.mapped = memory;
            engineWindow = engine;
        }
        mapPlainAreas(cfg, m);
    }

    VideoMemory vram;
    vga::VgaCore vga;
    S3EngineCore core;
    S3EnginePorts ports;
    S3EngineWindow window;
    S3Cursor cursor;
    S3CrtcPorts crtcPorts;
    std::vector<vga::IndexedRegisters::Write> lockedWrites;
    uint8_t *memory = nullptr;
    bool engineWindow = false;
};

bool S3CrtcPorts::selected(const char *what, uint16_t port) const {
    const uint16_t base = (board_.vga.misc.value() & 0x01) ? kColourBase : kMonoBase;
    if ((port & 0xFFF0) == base)
        return true;
    Machine::current().fail("s3 board: port " + std::string(what) + " at " + hex(port) +
                            " while the miscellaneous output (" + hex(board_.vga.misc.value()) +
                            ") selects the ports at " + hex(base + 4));
    return false;
}

uint32_t S3CrtcPorts::in(uint16_t port, int width) {
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

void S3CrtcPorts::out(uint16_t port, int width, uint32_t value) {
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

S3Adapter::S3Adapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<S3Board>(cfg, m)) {}

VideoMemory *S3Adapter::vram() {
    return &board_->vram;
}
void S3Adapter::drain() {
    board_->core.drain();
}
vga::VgaCore &S3Adapter::vga() {
    return board_->vga;
}
S3EngineCore &S3Adapter::engine() {
    return board_->core;
}
const S3Cursor &S3Adapter::cursor() const {
    return board_->cursor;
}
uint32_t S3Adapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}
uint8_t *S3Adapter::memory() const {
    return board_->memory;
}
bool S3Adapter::engineWindow() const {
    return board_->engineWindow;
}
uint8_t S3Adapter::cr(uint8_t index) const {
    return board_->vga.crtc.reg(index);
}
uint8_t S3Adapter::sr(uint8_t index) const {
    return board_->vga.seq.reg(index);
}
bool S3Adapter::monoCrtc() const {
    return (board_->vga.misc.value() & 0x01) == 0;
}
bool S3Adapter::blanked() const {
    return (sr(SR1) & kSr1ScreenOff) != 0;
}
bool S3Adapter::enginePortsOn() const {
    return (cr(CR40) & 0x01) != 0;
}
const std::vector<vga::IndexedRegisters::Write> &S3Adapter::lockedWrites() const {
    return board_->lockedWrites;
}
void S3Adapter::clearLockedWrites() {
    board_->lockedWrites.clear();
}

uint32_t S3Adapter::displayPitch() const {
    const S3EngineCore &e = board_->core;
    return e.linePixels() * uint32_t(e.pixelBits()) / 8;
}

std::string S3Adapter::describe() const {
    const S3EngineCore &e = board_->core;
    std::string s = model_ + ": " + std::to_string(memSize() / 1024) + " KB";
    s += engineWindow() ? ", engine window" : ", linear frame buffer";
    s += ", lines of " + std::to_string(e.linePixels()) + " pixels of " +
         std::to_string(e.pixelBits()) + " bits";
    s += enginePortsOn() ? ", engine ports on" : ", engine ports off";
    s += blanked() ? ", blanked" : ", picture on";
    s += ", cursor ";
    const S3Cursor &c = cursor();
    if (c.enabled())
        s += "at (" + std::to_string(c.x()) + ", " + std::to_string(c.y()) + ") image " +
             hex(c.imageOffset());
    else
        s += "off";
    return s;
}

namespace {

AdapterRegistration s3("s3", adapterFactory<S3Adapter>("s3"));

} // namespace

} // namespace sim
