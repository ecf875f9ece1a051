// The banked GD542x-class adapter model; its choices are listed in
// gd6_adapter.h.
#include "models/gd6_adapter.h"
#include "models/cirrus_crtc.h"
#include "models/cirrus_strap.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t SR0F = 0x0F;
constexpr uint8_t kSeqIndexMask = 0x1F;
constexpr uint8_t kWriteModeMask = 0x07;
constexpr uint8_t kWriteModeStore = 0, kWriteModeExpand = 4, kWriteModeExpandOpaque = 5;
constexpr uint8_t kGr0bBy8 = 0x02, kGr0bExtendedWrites = 0x04, kGr0bBy16 = 0x10,
                  kGr0bLargeBanks = 0x20;
constexpr uint32_t kSmallGranularity = 0x1000, kLargeGranularity = 0x4000;
constexpr uint8_t kSrCursorFirst = 0x10, kSrCursorLast = 0x13; // position, control, pattern

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

void fail(const std::string &why) {
    Machine::current().fail("gd6 adapter: " + why);
}

uint32_t memSizeOf(const std::string &model, const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    uint32_t size = model == "gd5434" ? 0x200000 : 0x100000;
    if (it != cfg.ints.end())
        size = static_cast<uint32_t>(it->second);
    cirrusMemoryStrap(size, "gd6");
    return size;
}

} // namespace

class Gd6Board;

// The processor's bank window, decoded by the adapter in every write mode.
class Gd6Window : public MemDevice {
  public:
    explicit Gd6Window(Gd6Board &board) : board_(board) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;

  private:
    Gd6Board &board_;
};

class Gd6Board {
  public:
    Gd6Board(const std::string &model, graf::Config &cfg, Machine &m)
        : vram(memSizeOf(model, cfg)), core(vram), gr(core), window(*this),
          cursor(vram, vgaCore.seq, CirrusCursor::Sizes::Both) {
        vgaCore.attach(m);
        uint8_t strap = cirrusMemoryStrap(static_cast<uint32_t>(vram.size()), "gd6");
        auto sr0f = cfg.ints.find("SR0F");
        vgaCore.seq.setReg(SR0F,
                           sr0f == cfg.ints.end() ? strap : static_cast<uint8_t>(sr0f->second));
        vgaCore.seq.setIndexMask(kSeqIndexMask);
        cursor.attach(vgaCore);
        auto cursorWrite = vgaCore.seq.onWrite;
        vgaCore.seq.onWrite = [this, cursorWrite](uint8_t index, uint8_t value) {
            cursorRegisterWrite(index);
            cursorWrite(index, value);
        };
        vgaCore.gc.setReg(Gd6Adapter::GR5, 0x40);
        vgaCore.gc.onWrite = [this](uint8_t index, uint8_t value) { grWrite(index, value); };
        vgaCore.gc.onRead = [this](uint8_t index, uint8_t stored) { return grRead(index, stored); };
        mapAreas(cfg, m);
    }

    void mapAreas(graf::Config &cfg, Machine &m) {
        for (auto &area : cfg.areas) {
            if (!area.name.empty() && area.name != "MEMORY")
                continue;
            if (area.length == 0 || area.length > Gd6Adapter::kMaxWindow)
                throw std::invalid_argument("gd6 adapter: the default memory area is the bank "
                                            "window, of at most 128 KB; it is " +
                                            hex(area.length) + " bytes");
            windowHost = m.addWindow("MEMORY", area.physBase, area.length, vram);
            windowLength = area.length;
            area.mapped = windowHost;
            m.mapDevice(windowHost, area.length, &window);
        }
        mapPlainAreas(cfg, m);
    }

    // ---- sequencer ----

    // The cursor registers are not written while the engine runs (see the
    // header): such a write is reported, and still takes effect.
    void cursorRegisterWrite(uint8_t index) {
        uint8_t reg = index & kSeqIndexMask;
        if (reg >= kSrCursorFirst && reg <= kSrCursorLast && core.busy())
            fail("cursor register SR" + hex(reg).substr(2) + " written while the engine is busy");
    }

    // ---- graphics controller ----

    void grWrite(uint8_t index, uint8_t value) {
        if (index == Gd6Adapter::GR31) {
            statusWrite(value);
        } else if (CirrusBltGr::handles(index)) {
            gr.write(index, value);
        } else if (index == Gd6Adapter::GR9) {
            bankWrites.push_back(value);
        }
    }

    uint8_t grRead(uint8_t index, uint8_t stored) {
        if (index == Gd6Adapter::GR31)
            return statusRead();
        uint8_t v = stored;
        if (CirrusBltGr::handles(index))
            gr.read(index, &v);
        return v;
    }

    uint8_t statusRead() {
        stats.statusReads++;
        stats.readsAfterLastReset++;
        uint8_t v = 0;
        gr.read(Gd6Adapter::GR31, &v);
        if (hangResets > 0)
            v |= bltstatus::Busy;
        if (v & bltstatus::Busy) {
            stats.busyReads++;
            if (stats.resets == 0)
                stats.busyReadsBeforeFirstReset++;
        }
        return v;
    }

    void statusWrite(uint8_t value) {
        if (value & bltstatus::Reset) {
            stats.resets++;
            stats.readsAfterLastReset = 0;
            if (hangResets > 0)
                hangResets--;
        }
        gr.write(Gd6Adapter::GR31, value);
    }

    // ---- the window ----

    uint32_t granularity() const {
        return (vgaCore.gc.reg(Gd6Adapter::GR0B) & kGr0bLargeBanks) ? kLargeGranularity
                                                                    : kSmallGranularity;
    }
    uint32_t bankBase() const { return vgaCore.gc.reg(Gd6Adapter::GR9) * granularity(); }
    uint8_t writeMode() const {
        uint8_t mode = vgaCore.gc.reg(Gd6Adapter::GR5) & kWriteModeMask;
        if (!(vgaCore.gc.reg(Gd6Adapter::GR0B) & kGr0bExtendedWrites))
            mode &= 3;
        return mode;
    }
    bool expanding() const {
        uint8_t m = writeMode();
        return m == kWriteModeExpand || m == kWriteModeExpandOpaque;
    }

    bool engineIdle(const char *what, uint32_t offset) {
        if (!core.busy())
            return true;
        fail(std::string("processor ") + what + " of the window at " + hex(offset) +
             " while the engine is busy");
        return false;
    }

    uint32_t readWindow(uint32_t offset, int width) {
        engineIdle("read", offset);
        if (expanding()) {
            fail("processor read of the window at " + hex(offset) +
                 " in a colour-expansion write mode");
            return 0;
        }
        uint64_t addr = uint64_t(bankBase()) + offset;
        if (addr + uint64_t(width) > vram.size()) {
            fail("window read at " + hex(offset) + " beyond video memory (bank base " +
                 hex(bankBase()) + ")");
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < width; i++)
            v |= uint32_t(vram.data()[addr + uint64_t(i)]) << (8 * i);
        return v;
    }

    void writeWindow(uint32_t offset, int width, uint32_t value) {
        engineIdle("write", offset);
        for (int i = 0; i < width; i++)
            writeByte(offset + uint32_t(i), uint8_t(value >> (8 * i)));
    }

    void writeByte(uint32_t offset, uint8_t byte) {
        uint8_t mode = writeMode();
        if (mode == kWriteModeExpand || mode == kWriteModeExpandOpaque) {
            expand(offset, byte, mode == kWriteModeExpandOpaque);
            return;
        }
        if (mode != kWriteModeStore) {
            fail("processor write in unsupported write mode " + hex(mode));
            return;
        }
        uint64_t addr = uint64_t(bankBase()) + offset;
        if (addr >= vram.size()) {
            fail("window write at " + hex(offset) + " beyond video memory (bank base " +
                 hex(bankBase()) + ")");
            return;
        }
        vram.data()[addr] = byte;
    }

    void expand(uint32_t offset, uint8_t byte, bool opaque) {
        uint8_t gr0b = vgaCore.gc.reg(Gd6Adapter::GR0B);
        uint32_t pixelBytes = (gr0b & kGr0bBy16) ? 2 : (gr0b & kGr0bBy8) ? 1 : 0;
        if (pixelBytes == 0) {
            fail("colour-expansion write with GR0B " + hex(gr0b) +
                 " selecting neither 8-bit nor 16-bit pixels");
            return;
        }
        uint64_t addr = (uint64_t(bankBase()) + offset) * 8 * pixelBytes;
        if (addr + 8 * pixelBytes > vram.size()) {
            fail("colour-expansion write at " + hex(offset) + " beyond video memory");
            return;
        }
        expandedBytes++;
        const BltRegs &r = core.regs();
        for (uint32_t k = 0; k < 8; k++) {
            bool on = (byte >> (7 - k)) & 1;
            if (!on && !opaque)
                continue;
            uint32_t colour = on ? r.fg : r.bg;
            for (uint32_t b = 0; b < pixelBytes; b++)
                vram.data()[addr + k * pixelBytes + b] = uint8_t(colour >> (8 * b));
        }
    }

    VideoMemory vram;
    vga::VgaCore vgaCore;
    CirrusBltCore core;
    CirrusBltGr gr;
    Gd6Window window;
    CirrusCursor cursor;
    uint8_t *windowHost = nullptr;
    uint32_t windowLength = 0;
    std::vector<uint8_t> bankWrites;
    uint64_t expandedBytes = 0;
    int hangResets = 0;
    Gd6Adapter::WaitStats stats;
};

uint32_t Gd6Window::read(uint32_t offset, int width) {
    return board_.readWindow(offset, width);
}

void Gd6Window::write(uint32_t offset, int width, uint32_t value) {
    board_.writeWindow(offset, width, value);
}

Gd6Adapter::Gd6Adapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<Gd6Board>(model, cfg, m)) {}

VideoMemory *Gd6Adapter::vram() {
    return &board_->vram;
}
void Gd6Adapter::drain() {
    board_->core.drain();
}
uint32_t Gd6Adapter::displayPitch() const {
    return cirrusDisplayPitch(board_->vgaCore.crtc);
}

vga::VgaCore &Gd6Adapter::vga() {
    return board_->vgaCore;
}
CirrusBltCore &Gd6Adapter::blt() {
    return board_->core;
}
uint8_t *Gd6Adapter::window() const {
    return board_->windowHost;
}
uint32_t Gd6Adapter::windowLength() const {
    return board_->windowLength;
}
uint32_t Gd6Adapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}
uint8_t Gd6Adapter::gr(uint8_t index) const {
    return board_->vgaCore.gc.reg(index);
}
uint8_t Gd6Adapter::sr(uint8_t index) const {
    return board_->vgaCore.seq.reg(index);
}
uint32_t Gd6Adapter::bankBase() const {
    return board_->bankBase();
}
uint32_t Gd6Adapter::granularity() const {
    return board_->granularity();
}
const std::vector<uint8_t> &Gd6Adapter::bankWrites() const {
    return board_->bankWrites;
}
void Gd6Adapter::clearBankWrites() {
    board_->bankWrites.clear();
}
uint64_t Gd6Adapter::expandedBytes() const {
    return board_->expandedBytes;
}
const CirrusCursor &Gd6Adapter::cursor() const {
    return board_->cursor;
}

void Gd6Adapter::hangEngine(int resetsToRecover) {
    board_->hangResets = resetsToRecover < 0 ? 0 : resetsToRecover;
}
bool Gd6Adapter::hung() const {
    return board_->hangResets > 0;
}
const Gd6Adapter::WaitStats &Gd6Adapter::waitStats() const {
    return board_->stats;
}
void Gd6Adapter::clearWaitStats() {
    board_->stats = WaitStats{};
}

std::string Gd6Adapter::describe() const {
    std::string s = model_ + ": " + std::to_string(memSize() / 1024) + " KB";
    s += ", window at " + hex(bankBase()) + " (GR9 " + hex(gr(GR9)) + ", " +
         std::to_string(granularity() / 1024) + " KB banks)";
    s += ", GR5 " + hex(gr(GR5)) + ", GR0B " + hex(gr(GR0B));
    s += board_->core.busy() ? ", engine busy" : ", engine idle";
    s += ", cursor ";
    const CirrusCursor &c = cursor();
    if (c.enabled())
        s += std::to_string(c.size()) + " x " + std::to_string(c.size()) + " at (" +
             std::to_string(c.x()) + ", " + std::to_string(c.y()) + ")";
    else
        s += "off";
    if (hung())
        s += " (hung)";
    return s;
}

namespace {

AdapterRegistration gd5428("gd5428", adapterFactory<Gd6Adapter>("gd5428"));
AdapterRegistration gd5434("gd5434", adapterFactory<Gd6Adapter>("gd5434"));

} // namespace

} // namespace sim
