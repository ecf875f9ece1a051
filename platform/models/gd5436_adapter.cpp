// The GD5436/GD5446/GD5480 adapter model; its choices are listed in
// gd5436_adapter.h.
#include "models/gd5436_adapter.h"

#include "models/cirrus_crtc.h"
#include "models/cirrus_strap.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t kSeqIndexMask = 0x1F;
constexpr uint8_t SR07 = 0x07, SR0F = 0x0F, SR17 = 0x17;
constexpr uint8_t kSr17MmioEnable = 0x04, kSr17MmioAtTop = 0x40;
constexpr uint8_t kSr17PowerOn = kSr17MmioEnable | kSr17MmioAtTop;
constexpr int kHiddenDacReads = 4;

uint32_t memSizeOf(const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    uint32_t size =
        it == cfg.ints.end() ? Gd5436Adapter::kDefaultMemSize : static_cast<uint32_t>(it->second);
    cirrusMemoryStrap(size, "gd5436", true);
    return size;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

// The register block as the aperture decodes it: the engine's front end,
// answering only while SR17 places the block at the aperture's top.
class Gd5436RegisterWindow : public MemDevice {
  public:
    Gd5436RegisterWindow(vga::Sequencer &seq, CirrusBltMmio &mmio) : seq_(seq), mmio_(mmio) {}

    uint32_t read(uint32_t offset, int width) override {
        if (!mapped("read", offset))
            return 0xFFFFFFFFu >> (32 - 8 * width);
        return mmio_.read(offset, width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (mapped("write", offset))
            mmio_.write(offset, width, value);
    }

  private:
    bool mapped(const char *what, uint32_t offset) {
        uint8_t sr17 = seq_.reg(SR17);
        if ((sr17 & kSr17MmioEnable) && (sr17 & kSr17MmioAtTop))
            return true;
        Machine::current().fail("gd5436: register block " + std::string(what) + " at " +
                                hex(offset) + " while SR17 (" + hex(sr17) +
                                ") does not map it at the aperture top");
        return false;
    }

    vga::Sequencer &seq_;
    CirrusBltMmio &mmio_;
};

// Ports 0x3C6-0x3C9 in front of the DAC: four reads of the mask port open the
// hidden DAC register for the next write there; any other DAC access closes it.
class Gd5436DacPorts : public PortDevice {
  public:
    explicit Gd5436DacPorts(vga::Dac &dac) : dac_(dac) {}

    uint32_t in(uint16_t port, int width) override {
        uint32_t v = 0;
        for (int i = 0; i < width; i++)
            v |= static_cast<uint32_t>(readByte(static_cast<uint16_t>(port + i))) << (8 * i);
        return v;
    }
    void out(uint16_t port, int width, uint32_t value) override {
        for (int i = 0; i < width; i++)
            writeByte(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
    }
    uint8_t hidden() const { return hidden_; }

  private:
    uint8_t readByte(uint16_t port) {
        if (port != vga::port::DacMask) {
            reads_ = 0;
            return static_cast<uint8_t>(dac_.in(port, 1));
        }
        if (reads_ == kHiddenDacReads) {
            reads_ = 0;
            return hidden_;
        }
        reads_++;
        return static_cast<uint8_t>(dac_.in(port, 1));
    }
    void writeByte(uint16_t port, uint8_t value) {
        bool open = reads_ == kHiddenDacReads;
        reads_ = 0;
        if (port == vga::port::DacMask && open) {
            hidden_ = value;
            return;
        }
        dac_.out(port, 1, value);
    }

    vga::Dac &dac_;
    int reads_ = 0;
    uint8_t hidden_ = 0;
};

class Gd5436Board {
  public:
    Gd5436Board(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), core(vram), mmio(core), window(vga.seq, mmio), dacPorts(vga.dac),
          cursor(vram, vga.seq, CirrusCursor::Sizes::Only64) {
        vga.attach(m);
        m.attachPorts(vga::port::DacMask, 4, &dacPorts);
        vga.seq.setIndexMask(kSeqIndexMask);
        vga.seq.setReg(SR0F, cirrusMemoryStrap(static_cast<uint32_t>(vram.size()), "gd5436", true));
        vga.seq.setReg(SR17, kSr17PowerOn);
        cursor.attach(vga);
        mapAreas(cfg, m);
    }

    void mapAreas(graf::Config &cfg, Machine &m) {
        for (auto &area : cfg.areas) {
            if (!area.name.empty())
                continue;
            if (area.length < Gd5436Adapter::kApertureSize)
                throw std::invalid_argument("gd5436 adapter: the default memory area is the 4 MB "
                                            "linear aperture, it is only " +
                                            hex(area.length) + " bytes");
            aperture = m.addLinearAperture("MEMORY", area.physBase, area.length, vram);
            area.mapped = aperture;
            m.mapDevice(aperture + Gd5436Adapter::kBltOffset, CirrusBltMmio::kSize, &window);
        }
        mapPlainAreas(cfg, m);
    }

    VideoMemory vram;
    vga::VgaCore vga;
    CirrusBltCore core;
    CirrusBltMmio mmio;
    Gd5436RegisterWindow window;
    Gd5436DacPorts dacPorts;
    CirrusCursor cursor;
    uint8_t *aperture = nullptr;
};

Gd5436Adapter::Gd5436Adapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<Gd5436Board>(cfg, m)) {}

VideoMemory *Gd5436Adapter::vram() {
    return &board_->vram;
}
void Gd5436Adapter::drain() {
    board_->core.drain();
}
vga::VgaCore &Gd5436Adapter::vga() {
    return board_->vga;
}
const vga::VgaCore &Gd5436Adapter::vga() const {
    return board_->vga;
}
CirrusBltCore &Gd5436Adapter::blt() {
    return board_->core;
}
uint8_t *Gd5436Adapter::aperture() const {
    return board_->aperture;
}
uint32_t Gd5436Adapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}

uint8_t Gd5436Adapter::sr(uint8_t index) const {
    return board_->vga.seq.reg(index);
}
const CirrusCursor &Gd5436Adapter::cursor() const {
    return board_->cursor;
}

vga::Dac::Entry Gd5436Adapter::dacEntry(int index) const {
    return board_->vga.dac.entry(index);
}
uint8_t Gd5436Adapter::hiddenDac() const {
    return board_->dacPorts.hidden();
}

bool Gd5436Adapter::blanked() const {
    return !board_->vga.attr.screenEnabled();
}
bool Gd5436Adapter::extendedMode() const {
    return sr(SR07) & 0x01;
}

uint32_t Gd5436Adapter::crtcPitch() const {
    return cirrusDisplayPitch(board_->vga.crtc);
}

uint32_t Gd5436Adapter::displayPitch() const {
    return crtcPitch();
}

std::string Gd5436Adapter::describe() const {
    std::string s = model_ + ": " + std::to_string(memSize() / 1024) + " KB";
    s += extendedMode() ? ", extended mode" : ", VGA mode";
    s += " (SR07 " + hex(sr(SR07)) + ", hidden DAC " + hex(hiddenDac()) + ")";
    s += ", pitch " + std::to_string(crtcPitch());
    s += blanked() ? ", blanked" : ", picture on";
    s += ", cursor ";
    const CirrusCursor &c = cursor();
    if (c.enabled())
        s += "at (" + std::to_string(c.x()) + ", " + std::to_string(c.y()) + ")" +
             (c.largeSelected() ? " 64x64" : " 32x32") + " pattern " + hex(c.patternOffset());
    else
        s += "off";
    return s;
}

namespace {

AdapterRegistration gd5480("gd5480", adapterFactory<Gd5436Adapter>("gd5480"));
AdapterRegistration gd5446("gd5446", adapterFactory<Gd5436Adapter>("gd5446"));
AdapterRegistration gd5436("gd5436", adapterFactory<Gd5436Adapter>("gd5436"));

} // namespace

} // namespace sim
