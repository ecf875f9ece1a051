// The "neomagic" board model; its registers, keys and choices are listed in
// neomagic.h.
#include "models/neomagic.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t SR1 = 0x01, kSr1ScreenOff = 0x20;
constexpr uint32_t kMaxMemory = 0x400000;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intOf(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

uint32_t memSizeOf(const graf::Config &cfg) {
    int size = intOf(cfg, "MEMSIZE", 0x200000);
    if (size < 0x100000 || static_cast<uint32_t>(size) > kMaxMemory || (size & 0xFFFF))
        throw std::invalid_argument("neomagic board: no memory size " +
                                    hex(static_cast<uint32_t>(size)));
    return static_cast<uint32_t>(size);
}

} // namespace

class NeoRegisters : public MemDevice {
  public:
    explicit NeoRegisters(NeoBoard &b) : board_(b) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;

  private:
    NeoBoard &board_;
};

class NeoBoard {
  public:
    NeoBoard(graf::Config &cfg, Machine &m) : vram(memSizeOf(cfg)), regs(*this) {
        vgaCore.attach(m);
        vgaCore.crtc.setReg(NeoAdapter::CR1A, static_cast<uint8_t>(intOf(cfg, "CHIPCODE", 3)));
        vgaCore.gc.setReg(NeoAdapter::GR20, static_cast<uint8_t>(intOf(cfg, "GR20", 0x02)));
        for (auto &area : cfg.areas) {
            if (area.name == "MEM_BASE1") {
                area.mapped = m.addLinearAperture(area.name, area.physBase, area.length, vram);
            } else if (area.name == "MEM_BASE2" && area.length > 0) {
                uint8_t *host = m.addArea(area.name, area.physBase, area.length);
                m.mapDevice(host, area.length, &regs);
                area.mapped = host;
            }
        }
        mapPlainAreas(cfg, m);
    }

    uint32_t readRegister(uint32_t offset, int width) {
        (void)width;
        auto it = words.find(offset);
        return it == words.end() ? 0 : it->second;
    }

    void writeRegister(uint32_t offset, int width, uint32_t value) {
        if (offset < 4) {
            Machine::current().fail("neomagic: write of " + hex(value) +
                                    " to the engine's status word, which is read-only (" +
                                    std::to_string(8 * width) + " bits at " + hex(offset) + ")");
            return;
        }
        words[offset] = value;
    }

    VideoMemory vram;
    vga::VgaCore vgaCore;
    NeoRegisters regs;
    std::map<uint32_t, uint32_t> words;
};

uint32_t NeoRegisters::read(uint32_t offset, int width) {
    return board_.readRegister(offset, width);
}

void NeoRegisters::write(uint32_t offset, int width, uint32_t value) {
    board_.writeRegister(offset, width, value);
}

NeoAdapter::NeoAdapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<NeoBoard>(cfg, m)) {}

VideoMemory *NeoAdapter::vram() {
    return &board_->vram;
}
vga::VgaCore &NeoAdapter::vga() {
    return board_->vgaCore;
}
const std::map<uint32_t, uint32_t> &NeoAdapter::registerWords() const {
    return board_->words;
}
bool NeoAdapter::blanked() const {
    return (board_->vgaCore.seq.reg(SR1) & kSr1ScreenOff) != 0;
}

std::string NeoAdapter::describe() const {
    std::string s = model_ + ": chip code " + hex(board_->vgaCore.crtc.reg(CR1A) & 0x1F) + ", " +
                    std::to_string(board_->vram.size() / 1024) + " KB, GR20 " +
                    hex(board_->vgaCore.gc.reg(GR20));
    if (blanked())
        s += ", blanked";
    return s;
}

namespace {
AdapterRegistration neomagic("neomagic", adapterFactory<NeoAdapter>("neomagic"));
} // namespace

} // namespace sim
