// The "wd90c33" board model; its registers, keys and choices are listed in
// wd90c33.h.
#include "models/wd90c33.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint16_t kPortBlock = 0x23C0, kPortReg = 0x23C2, kPortDataLow = 0x23C4,
                   kPortDataHigh = 0x23C6, kPortE1 = 0x23C8, kPortE2 = 0x23CA, kPortE = 0x23CC,
                   kPortStatus = 0x23CE;
constexpr uint16_t kEnginePorts = 16;
constexpr uint8_t GR9 = 0x09, GR0B = 0x0B;
constexpr uint32_t kGranule = 0x1000;
constexpr int kBusyReads = 2;
constexpr uint16_t kStatusBusy = 0x80;

// Block 1 registers.
enum : int {
    R1Command = 0,
    R1Mode,
    R1SrcX,
    R1SrcY,
    R1DstX,
    R1DstY,
    R1Width,
    R1Height,
    R1Rop,
    R1ClipLeft,
    R1ClipRight,
    R1ClipTop,
    R1ClipBottom
};
// Block 3 registers (pairs: low byte, high byte).
enum : int {
    R3Fg = 2,
    R3Bg = 4,
    R3ReadMask = 6,
    R3SourcePlane = 8,
    R3PlaneMask = 10,
    R3LineLength = 1
};

constexpr uint16_t kCmdCopy = 0x200, kCmdPattern = 0x204, kCmdExpand = 0x208,
                   kCmdMonoPattern = 0x20C, kCmdFill = 0x210, kCmdHostColour = 0x220,
                   kCmdHostMono = 0x238, kCmdLine = 0x810;
constexpr uint16_t kDirLeft = 0x100, kDirUp = 0x80, kYMajor = 0x40;
constexpr uint16_t kModeSizeMask = 0xF00, kMode8 = 0x400, kMode16 = 0x800, kModeBase = 0x60,
                   kModeTransparent = 0x80, kModeKindMask = 0x1F;
constexpr uint16_t kKindScreen = 0, kKindHostMono = 3, kKindHostColour = 5;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

void fail(const std::string &why) {
    Machine::current().fail("wd90c33: " + why);
}

uint32_t memSizeOf(const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    int size = it == cfg.ints.end() ? 0x100000 : it->second;
    if (size != 0x40000 && size != 0x80000 && size != 0x100000)
        throw std::invalid_argument("wd90c33 board: no memory size " +
                                    hex(static_cast<uint32_t>(size)) + " (256 KB, 512 KB or 1 MB)");
    return static_cast<uint32_t>(size);
}

uint8_t memoryCode(uint32_t size) {
    return size == 0x40000 ? 0x40 : size == 0x80000 ? 0x80 : 0xC0;
}

uint32_t aluOf(int alu, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    if (alu & 1)
        r |= s & d;
    if (alu & 2)
        r |= s & ~d;
    if (alu & 4)
        r |= ~s & d;
    if (alu & 8)
        r |= ~s & ~d;
    return r;
}

} // namespace

class Wd90c33Window : public MemDevice {
  public:
    explicit Wd90c33Window(Wd90c33Board &b) : board_(b) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;

  private:
    Wd90c33Board &board_;
};

class Wd90c33Ports : public PortDevice {
  public:
    explicit Wd90c33Ports(Wd90c33Board &b) : board_(b) {}
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;

  private:
    Wd90c33Board &board_;
};

class Wd90c33Board {
  public:
    Wd90c33Board(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), window(*this), ports(*this) {
        vgaCore.attach(m);
        vgaCore.gc.setReg(GR0B, memoryCode(static_cast<uint32_t>(vram.size())));
        vgaCore.gc.onWrite = [this](uint8_t index, uint8_t value) {
            if (index == GR9)
                bankWrites.push_back(value);
        };
        m.attachPorts(kPortBlock, kEnginePorts, &ports, 2);
        b1[R1ClipRight] = 0xFFF;
        b1[R1ClipBottom] = 0xFFF;
        for (auto &area : cfg.areas) {
            if (!area.name.empty() && area.name != "MEMORY")
                continue;
            if (area.length != Wd90c33Adapter::kWindowBytes)
                throw std::invalid_argument("wd90c33 board: the default memory area is the "
                                            "64 KB window; it is " +
                                            hex(area.length) + " bytes");
            windowHost = m.addWindow("MEMORY", area.physBase, area.length, vram);
            area.mapped = windowHost;
            m.mapDevice(windowHost, area.length, &window);
        }
        mapPlainAreas(cfg, m);
    }

    // ---- status, queue and busy state ----

    bool busy() const { return busyLeft > 0 || owed > 0; }

    uint16_t status() {
        stats.statusReads++;
        uint16_t v = uint16_t(queued & 0xF);
        if (busy())
            v |= kStatusBusy;
        if (queued > 0)
            queued--;
        if (busyLeft > 0 && --busyLeft == 0 && owed == 0)
            setGuard(false);
        return v;
    }

    void setGuard(bool on) {
        if (on == guarded)
            return;
        guarded = on;
        Machine::current().guardVideoMemory(vram, on);
    }

    void startBusy() {
        busyLeft = kBusyReads;
        setGuard(true);
    }

    void drain() {
        queued = 0;
        busyLeft = 0;
        owed = 0;
        setGuard(false);
    }

    // ---- register writes ----

    bool dataOwed(const char *what, uint32_t value) {
        if (owed == 0)
            return false;
        fail(std::string(what) + " " + hex(value) + " while " + std::to_string(owed) +
             " host-data words are owed");
        return true;
    }

    void registerWrite(uint16_t value) {
        stats.registerWrites++;
        if (dataOwed("register write", value))
            return;
        if (queued >= Wd90c33Adapter::kQueueDepth)
            fail("register write " + hex(value) + " with the queue full (" +
                 std::to_string(queued) + " waiting)");
        else
            queued++;
        const int r = value >> 12;
        const uint16_t v = value & 0xFFF;
        log.push_back({uint8_t(block), uint8_t(r), v});
        if (block == 3) {
            b3[size_t(r)] = v;
            return;
        }
        if (block != 1) {
            fail("register write " + hex(value) + " to block " + std::to_string(block) +
                 ", which the engine does not have");
            return;
        }
        b1[size_t(r)] = v;
        if (r == R1Command)
            command(v);
    }

    uint32_t pair(int r) const { return (b3[size_t(r)] & 0xFF) | (b3[size_t(r) + 1] & 0xFF) << 8; }
    int pixelBytes() const { return (b1[R1Mode] & kModeSizeMask) == kMode16 ? 2 : 1; }
    uint32_t pixelBits() const { return pixelBytes() == 2 ? 0xFFFF : 0xFF; }
    uint32_t lineLength() const { return b3[R3LineLength]; }

    uint32_t readPixel(uint64_t addr) const {
        uint32_t v = vram.data()[addr];
        if (pixelBytes() == 2)
            v |= uint32_t(vram.data()[addr + 1]) << 8;
        return v;
    }

    uint64_t addressOf(int64_t x, int64_t y) const {
        return uint64_t(y * int64_t(lineLength()) + x) * uint64_t(pixelBytes());
    }

    bool inMemory(int64_t x, int64_t y) {
        if (x < 0 || y < 0 || addressOf(x, y) + uint64_t(pixelBytes()) > vram.size()) {
            if (!pastMemory)
                fail("operation reaches past video memory at (" + std::to_string(x) + ", " +
                     std::to_string(y) + ")");
            pastMemory = true;
            return false;
        }
        return true;
    }

    uint32_t sourcePixel(int64_t x, int64_t y) {
        return inMemory(x, y) ? readPixel(addressOf(x, y)) : 0;
    }

    // One destination pixel through the clip, the raster operation and the
    // plane mask.
    void put(int64_t x, int64_t y, uint32_t src) {
        if (x < b1[R1ClipLeft] || x > b1[R1ClipRight] || y < b1[R1ClipTop] || y > b1[R1ClipBottom])
            return;
        if (!inMemory(x, y))
            return;
        const uint64_t a = addressOf(x, y);
        const uint32_t d = readPixel(a);
        const uint32_t pm = pair(R3PlaneMask) & pixelBits();
        const uint32_t v = (aluOf(alu(), src, d) & pm) | (d & ~pm);
        vram.data()[a] = uint8_t(v);
        if (pixelBytes() == 2)
            vram.data()[a + 1] = uint8_t(v >> 8);
    }

    int alu() const { return (b1[R1Rop] >> 8) & 15; }
    bool transparent() const { return (b1[R1Mode] & kModeTransparent) != 0; }
    int width() const { return b1[R1Width] + 1; }
    int height() const { return b1[R1Height] + 1; }

    bool modeFits(uint16_t cmd, uint16_t kind) {
        const uint16_t mode = b1[R1Mode];
        const uint16_t size = mode & kModeSizeMask;
        if ((size != kMode8 && size != kMode16) || (mode & kModeBase) != kModeBase ||
            (mode & kModeKindMask) != kind) {
            fail("command " + hex(cmd) + " with mode " + hex(mode));
            return false;
        }
        if (b1[R1Rop] & 0xFF) {
            fail("raster operation register " + hex(b1[R1Rop]) + " with bits outside 11-8");
            return false;
        }
        if (transparent() && cmd != kCmdExpand && cmd != kCmdMonoPattern && cmd != kCmdHostMono) {
            fail("transparent mode with command " + hex(cmd));
            return false;
        }
        return true;
    }

    void command(uint16_t cmd) {
        stats.commands++;
        pastMemory = false;
        if ((cmd & ~uint16_t(kDirLeft | kDirUp)) == kCmdCopy) {
            if (modeFits(cmd, kKindScreen))
                copy(cmd);
        } else if ((cmd & ~uint16_t(kDirLeft | kDirUp | kYMajor)) == kCmdLine) {
            if (modeFits(cmd, kKindScreen))
                line(cmd);
        } else if (cmd == kCmdFill) {
            if (modeFits(cmd, kKindScreen))
                fill();
        } else if (cmd == kCmdPattern || cmd == kCmdMonoPattern) {
            if (modeFits(cmd, kKindScreen))
                pattern(cmd == kCmdMonoPattern);
        } else if (cmd == kCmdExpand) {
            if (modeFits(cmd, kKindScreen))
                expand();
        } else if (cmd == kCmdHostColour) {
            if (modeFits(cmd, kKindHostColour))
                beginHost(false);
            return;
        } else if (cmd == kCmdHostMono) {
            if (modeFits(cmd, kKindHostMono))
                beginHost(true);
            return;
        } else {
            fail("command " + hex(cmd) + " the engine does not know");
            return;
        }
        startBusy();
    }

    // ---- screen operations ----

    void copy(uint16_t cmd) {
        const int w = width(), h = height();
        const int dx = (cmd & kDirLeft) ? -1 : 1, dy = (cmd & kDirUp) ? -1 : 1;
        const int64_t sx = b1[R1SrcX], sy = b1[R1SrcY], x = b1[R1DstX], y = b1[R1DstY];
        for (int j = 0; j < h; j++)
            for (int i = 0; i < w; i++)
                put(x + dx * i, y + dy * j, sourcePixel(sx + dx * i, sy + dy * j));
    }

    void fill() {
        const uint32_t fg = pair(R3Fg);
        for (int j = 0; j < height(); j++)
            for (int i = 0; i < width(); i++)
                put(int64_t(b1[R1DstX]) + i, int64_t(b1[R1DstY]) + j, fg);
    }

    bool monoSet(uint32_t pixel) const {
        return (pixel & pair(R3ReadMask) & pair(R3SourcePlane)) != 0;
    }

    void putMono(int64_t x, int64_t y, bool set) {
        if (set)
            put(x, y, pair(R3Fg));
        else if (!transparent())
            put(x, y, pair(R3Bg));
    }

    void pattern(bool mono) {
        const uint64_t linear = uint64_t(b1[R1SrcY]) * lineLength() + b1[R1SrcX];
        const uint64_t base = linear & ~uint64_t(63);
        const int px = int(linear & 7), py = int((linear >> 3) & 7);
        std::array<uint32_t, 64> cell{};
        for (int k = 0; k < 64; k++) {
            const uint64_t p = base + uint64_t(k);
            cell[size_t(k)] = sourcePixel(int64_t(p % lineLength()), int64_t(p / lineLength()));
        }
        for (int j = 0; j < height(); j++)
            for (int i = 0; i < width(); i++) {
                const uint32_t s = cell[size_t(((py + j) & 7) * 8 + ((px + i) & 7))];
                const int64_t x = int64_t(b1[R1DstX]) + i, y = int64_t(b1[R1DstY]) + j;
                if (mono)
                    putMono(x, y, monoSet(s));
                else
                    put(x, y, s);
            }
    }

    void expand() {
        for (int j = 0; j < height(); j++)
            for (int i = 0; i < width(); i++)
                putMono(int64_t(b1[R1DstX]) + i, int64_t(b1[R1DstY]) + j,
                        monoSet(sourcePixel(int64_t(b1[R1SrcX]) + i, int64_t(b1[R1SrcY]) + j)));
    }

    void line(uint16_t cmd) {
        const int sx = (cmd & kDirLeft) ? -1 : 1, sy = (cmd & kDirUp) ? -1 : 1;
        const bool yMajor = (cmd & kYMajor) != 0;
        const int64_t threshold = sx < 0 ? -1 : 0;
        int64_t x = b1[R1DstX], y = b1[R1DstY], e = int16_t(errTerm);
        const int64_t e1 = int16_t(errAxial), e2 = int16_t(errDiagonal);
        for (int i = 0; i <= b1[R1Width]; i++) {
            put(x, y, pair(R3Fg));
            if (e > threshold) {
                x += sx;
                y += sy;
                e += e2;
            } else {
                if (yMajor)
                    y += sy;
                else
                    x += sx;
                e += e1;
            }
        }
    }

    // ---- host data ----

    void beginHost(bool mono) {
        hostMono = mono;
        hostSkip = b1[R1SrcX];
        hostRow = 0;
        hostCol = 0;
        const int perRow =
            mono ? (hostSkip + width() + 3) / 4 : ((hostSkip + width()) * pixelBytes() + 3) / 4 * 2;
        hostWordsPerRow = perRow;
        hostWordInRow = 0;
        owed = uint64_t(perRow) * uint64_t(height());
        lowHalf = false;
        startBusy();
        if (owed == 0)
            busyLeft = kBusyReads;
    }

    void hostPixel(uint32_t value) {
        const int col = hostCol++;
        if (col < hostSkip || col >= hostSkip + width())
            return;
        put(int64_t(b1[R1DstX]) + col - hostSkip, int64_t(b1[R1DstY]) + hostRow, value);
    }

    void hostWord(uint16_t port, uint16_t value) {
        stats.hostWords++;
        if (owed == 0) {
            fail("host-data word " + hex(value) + " at " + hex(port) +
                 " with no operation waiting");
            return;
        }
        if (hostMono) {
            if (port != kPortDataLow) {
                fail("monochrome host data at " + hex(port));
                return;
            }
            for (int k = 3; k >= 0; k--) {
                const int col = hostCol++;
                if (col >= hostSkip && col < hostSkip + width())
                    putMono(int64_t(b1[R1DstX]) + col - hostSkip, int64_t(b1[R1DstY]) + hostRow,
                            (value >> k) & 1);
            }
        } else {
            if ((port == kPortDataLow) == lowHalf) {
                fail(std::string("host colour data: ") +
                     (lowHalf ? "a low half twice" : "a high half without its low half"));
                return;
            }
            if (port == kPortDataLow) {
                lowHalf = true;
                pendingLow = value;
            } else {
                lowHalf = false;
                const uint32_t unit = pendingLow | uint32_t(value) << 16;
                const int n = 4 / pixelBytes();
                for (int k = 0; k < n; k++)
                    hostPixel(pixelBytes() == 2 ? (unit >> (16 * k)) & 0xFFFF
                                                : (unit >> (8 * k)) & 0xFF);
            }
        }
        owed--;
        if (++hostWordInRow == hostWordsPerRow) {
            hostWordInRow = 0;
            hostCol = 0;
            hostRow++;
        }
        if (owed == 0)
            busyLeft = kBusyReads;
    }

    // ---- ports ----

    uint32_t in(uint16_t port, int width) {
        if (port == kPortStatus && width == 2)
            return status();
        fail("read of port " + hex(port) + " (" + std::to_string(8 * width) + " bits)");
        return 0xFFFF;
    }

    void out(uint16_t port, int width, uint32_t value) {
        if (port == kPortStatus && width == 1) {
            if (value == 0x20)
                stats.byte20Writes++;
            else
                fail("byte " + hex(value) + " written to 0x23CE");
            return;
        }
        if (width != 2) {
            fail("write of " + std::to_string(8 * width) + " bits to port " + hex(port));
            return;
        }
        const uint16_t v = uint16_t(value);
        switch (port) {
        case kPortBlock:
            stats.blockSelects++;
            block = v;
            return;
        case kPortReg:
            registerWrite(v);
            return;
        case kPortDataLow:
        case kPortDataHigh:
            hostWord(port, v);
            return;
        case kPortE1:
        case kPortE2:
        case kPortE:
            if (dataOwed("error term", v))
                return;
            (port == kPortE1 ? errAxial : port == kPortE2 ? errDiagonal : errTerm) = v;
            return;
        default:
            fail("write to port " + hex(port) + ", which the engine does not have");
        }
    }

    // ---- the window ----

    uint32_t bankBase() const { return uint32_t(vgaCore.gc.reg(GR9)) * kGranule; }

    bool windowAccess(const char *what, uint32_t offset, int width) {
        if (busy()) {
            fail(std::string("processor ") + what + " of the window at " + hex(offset) +
                 " while the engine is busy");
            return false;
        }
        if (uint64_t(bankBase()) + offset + uint64_t(width) > vram.size()) {
            fail(std::string("window ") + what + " at " + hex(offset) +
                 " beyond video memory (window at " + hex(bankBase()) + ")");
            return false;
        }
        return true;
    }

    VideoMemory vram;
    vga::VgaCore vgaCore;
    Wd90c33Window window;
    Wd90c33Ports ports;
    uint8_t *windowHost = nullptr;

    std::array<uint16_t, 16> b1{}, b3{};
    uint16_t block = 0;
    int queued = 0;
    int busyLeft = 0;
    bool guarded = false;
    bool pastMemory = false;
    uint16_t errAxial = 0, errDiagonal = 0, errTerm = 0;

    bool hostMono = false;
    int hostSkip = 0, hostRow = 0, hostCol = 0, hostWordsPerRow = 0, hostWordInRow = 0;
    uint64_t owed = 0;
    bool lowHalf = false;
    uint16_t pendingLow = 0;

    std::vector<Wd90c33Adapter::RegWrite> log;
    std::vector<uint8_t> bankWrites;
    Wd90c33Adapter::Stats stats;
};

uint32_t Wd90c33Window::read(uint32_t offset, int width) {
    if (!board_.windowAccess("read", offset, width))
        return 0xFFFFFFFFu >> (32 - 8 * width);
    const uint8_t *p = board_.vram.data() + board_.bankBase() + offset;
    uint32_t v = 0;
    for (int i = 0; i < width; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void Wd90c33Window::write(uint32_t offset, int width, uint32_t value) {
    if (!board_.windowAccess("write", offset, width))
        return;
    uint8_t *p = board_.vram.data() + board_.bankBase() + offset;
    for (int i = 0; i < width; i++)
        p[i] = uint8_t(value >> (8 * i));
}

uint32_t Wd90c33Ports::in(uint16_t port, int width) {
    return board_.in(port, width);
}

void Wd90c33Ports::out(uint16_t port, int width, uint32_t value) {
    board_.out(port, width, value);
}

Wd90c33Adapter::Wd90c33Adapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<Wd90c33Board>(cfg, m)) {}

VideoMemory *Wd90c33Adapter::vram() {
    return &board_->vram;
}
void Wd90c33Adapter::drain() {
    board_->drain();
}
vga::VgaCore &Wd90c33Adapter::vga() {
    return board_->vgaCore;
}
uint32_t Wd90c33Adapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}
uint8_t *Wd90c33Adapter::window() const {
    return board_->windowHost;
}
uint32_t Wd90c33Adapter::bankBase() const {
    return board_->bankBase();
}
uint16_t Wd90c33Adapter::reg(int block, int r) const {
    const auto &regs = block == 3 ? board_->b3 : board_->b1;
    return regs[size_t(r & 15)];
}
bool Wd90c33Adapter::busy() const {
    return board_->busy();
}
int Wd90c33Adapter::queued() const {
    return board_->queued;
}
const std::vector<Wd90c33Adapter::RegWrite> &Wd90c33Adapter::regWrites() const {
    return board_->log;
}
const std::vector<uint8_t> &Wd90c33Adapter::bankWrites() const {
    return board_->bankWrites;
}
const Wd90c33Adapter::Stats &Wd90c33Adapter::stats() const {
    return board_->stats;
}
void Wd90c33Adapter::clearLog() {
    board_->log.clear();
    board_->bankWrites.clear();
    board_->stats = Stats{};
}
bool Wd90c33Adapter::blanked() const {
    return !board_->vgaCore.attr.screenEnabled();
}

std::string Wd90c33Adapter::describe() const {
    std::string s = model_ + ": " + std::to_string(memSize() / 1024) + " KB, window at " +
                    hex(bankBase()) + ", engine " + (busy() ? "busy" : "idle") + ", " +
                    std::to_string(board_->queued) + " queued";
    if (blanked())
        s += ", blanked";
    return s;
}

namespace {
AdapterRegistration wd90c33("wd90c33", adapterFactory<Wd90c33Adapter>("wd90c33"));
} // namespace

} // namespace sim
