// The "zandel" board model; its registers and choices are listed in
// zandel_board.h.
#include "models/zandel_board.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint16_t kFirstPort = ZandelAdapter::kIndexPort;
constexpr uint16_t kPortCount = 8;
constexpr uint32_t kMB = 0x100000;
constexpr uint32_t kMinMemOffset = 0x80000;

// Register blocks the window decodes: [first, first + length).
constexpr uint32_t kSysBlock = 0x000, kSysBlockLength = 0x400;
constexpr struct {
    uint32_t first, length;
} kEngineBlocks[] = {{0x2000, 0x300}, {0x3000, 0x400}, {0x62000, 0x1000}, {0x72000, 0x1000}};

constexpr uint32_t kSysConfig = 0x004, kMemConf = 0x184, kPowerUp = 0x198;
constexpr uint32_t kDacBase = 0x200, kDacEnd = 0x240;
// Registers kept as written.
constexpr uint32_t kPlainRegs[] = {0x008, 0x00C, 0x108, 0x10C, 0x110, 0x114, 0x118, 0x120, 0x124,
                                   0x128, 0x12C, 0x130, 0x138, 0x140, 0x184, 0x188, 0x190};

constexpr int kRgb525IndexLow = 4, kRgb525IndexHigh = 5, kRgb525Data = 6;
constexpr int kRgb511Index = 0, kRgb511Data = 10;
constexpr int kPaletteIndex = 0, kPaletteData = 1;
constexpr int kBtCommand0 = 6, kBtCommand3 = 10;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intKey(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

std::string stringKey(const graf::Config &cfg, const char *key, const std::string &fallback) {
    auto it = cfg.strings.find(key);
    return it == cfg.strings.end() ? fallback : it->second;
}

size_t memorySize(const graf::Config &cfg) {
    const int size = intKey(cfg, "MEMSIZE", 2 * kMB);
    if (size != 1 * kMB && size != 2 * kMB && size != 4 * kMB)
        throw std::invalid_argument("zandel board: MEMSIZE is 1, 2 or 4 MB, not " +
                                    hex(static_cast<uint32_t>(size)));
    return static_cast<size_t>(size);
}

// The VL-bus pair: an index write, then one data access to the byte it
// selects, with nothing else on the machine in between.
class VlbConfigPorts : public PortDevice {
  public:
    VlbConfigPorts(Machine &m, ZandelConfigSpace &space) : m_(m), space_(space) {}

    uint32_t in(uint16_t port, int width) override {
        if (!check(port, width, false))
            return 0xFFFFFFFFu >> (32 - 8 * width);
        if (port == ZandelAdapter::kIndexPort)
            return index_;
        return space_.configRead(index_, 1);
    }

    void out(uint16_t port, int width, uint32_t value) override {
        if (!check(port, width, true))
            return;
        if (port == ZandelAdapter::kIndexPort) {
            index_ = static_cast<uint8_t>(value);
            selected_ = true;
            // The machine has recorded this write already.
            indexAt_ = m_.accessCount();
            return;
        }
        space_.configWrite(index_, 1, value & 0xFF);
    }

  private:
    bool check(uint16_t port, int width, bool write) {
        if (width != 1) {
            m_.fail("zandel board: " + std::to_string(8 * width) + "-bit " +
                    (write ? "write to" : "read of") + " configuration port " + hex(port) +
                    "; the ports take bytes only");
            return false;
        }
        if (port != ZandelAdapter::kIndexPort && port != ZandelAdapter::kDataPort) {
            m_.fail("zandel board: no configuration port at " + hex(port));
            return false;
        }
        if (port == ZandelAdapter::kDataPort) {
            // A read is recorded after the device answers, a write before.
            const size_t allowed = indexAt_ + (write ? 1 : 0);
            if (!selected_ || m_.accessCount() > allowed) {
                m_.fail(std::string("zandel board: configuration data ") +
                        (write ? "write" : "read") + " not directly after its index write to " +
                        hex(ZandelAdapter::kIndexPort));
                selected_ = false;
                return false;
            }
            selected_ = false;
        }
        return true;
    }

    Machine &m_;
    ZandelConfigSpace &space_;
    uint8_t index_ = 0;
    bool selected_ = false;
    size_t indexAt_ = 0;
};

// What the two ports show on a machine whose board is on PCI: nothing.
class EmptyBusPorts : public PortDevice {
  public:
    uint32_t in(uint16_t, int width) override { return 0xFFFFFFFFu >> (32 - 8 * width); }
    void out(uint16_t, int, uint32_t) override {}
};

// A block of the register window, at `base` in it.
class RegisterBlock : public MemDevice {
  public:
    RegisterBlock(ZandelAdapter &board, uint32_t base) : board_(board), base_(base) {}
    uint32_t read(uint32_t offset, int width) override {
        return board_.regRead(base_ + offset, width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        board_.regWrite(base_ + offset, width, value);
    }

  private:
    ZandelAdapter &board_;
    uint32_t base_;
};

// The frame buffer as the accessors reach it.
class FrameProbe : public MemDevice {
  public:
    explicit FrameProbe(ZandelAdapter &board) : board_(board) {}
    uint32_t read(uint32_t offset, int width) override { return board_.probeRead(offset, width); }
    void write(uint32_t offset, int width, uint32_t value) override {
        board_.probeWrite(offset, width, value);
    }

  private:
    ZandelAdapter &board_;
};

} // namespace

ZandelConfigSpace::ZandelConfigSpace(ZandelAdapter &board, uint16_t vendor, uint16_t device,
                                     uint16_t base)
    : PciFunction(vendor, device, 3, 0), board_(board) {
    set(0x10, 4, uint32_t{base} << 16);
    set(ZandelAdapter::kModeReg, 1, ZandelAdapter::kNotNative);
    set(ZandelAdapter::kClockReg, 1, 0x0D);
    setWritable(0x04, 1, 0x07);
    setWritable(ZandelAdapter::kModeReg, 1, 0xFF);
    setWritable(ZandelAdapter::kClockReg, 1, 0xFF);
}

void ZandelConfigSpace::configWrite(int reg, int size, uint32_t value) {
    PciFunction::configWrite(reg, size, value);
    for (int i = 0; i < size; i++) {
        const uint8_t b = static_cast<uint8_t>(value >> (8 * i));
        if (reg + i == ZandelAdapter::kModeReg) {
            board_.modeWrites_.push_back(b);
        } else if (reg + i == ZandelAdapter::kClockReg) {
            board_.clockWrites_.push_back(b);
            board_.clockLines(b);
        }
    }
}

ZandelAdapter::ZandelAdapter(graf::Config &cfg, Machine &m)
    : machine_(m), vram_(memorySize(cfg)), engine_(vram_, "zandel board"), front_(engine_),
      icd_([&m](const std::string &why) { m.fail("zandel board: " + why); }) {
    const std::string bus = stringKey(cfg, "BUS", "pci");
    if (bus != "pci" && bus != "vlb")
        throw std::invalid_argument("zandel board: BUS is \"pci\" or \"vlb\", not \"" + bus + "\"");
    onPci_ = bus == "pci";
    powerUp_ = static_cast<uint32_t>(intKey(cfg, "POWERUP", 0x8000));
    revision_ = static_cast<uint32_t>(intKey(cfg, "REVISION", 2)) & 7;
    wideBanks_ = (powerUp_ & 0x10) == 0;
    if (!wideBanks_ && vram_.size() > 2 * kMB)
        throw std::invalid_argument("zandel board: narrow banks hold at most 2 MB, not " +
                                    hex(static_cast<uint32_t>(vram_.size())));
    const uint32_t dacBits = (powerUp_ >> 12) & 0xF;
    const std::string dac = stringKey(cfg, "DAC",
                                      dacBits == 8   ? "rgb525"
                                      : dacBits == 4 ? "rgb511"
                                                     : "bt485");
    if (dac == "rgb525")
        dac_ = Dac::Rgb525;
    else if (dac == "rgb511")
        dac_ = Dac::Rgb511;
    else if (dac == "bt485")
        dac_ = Dac::Bt485;
    else
        throw std::invalid_argument("zandel board: DAC is \"rgb525\", \"rgb511\" or \"bt485\", "
                                    "not \"" +
                                    dac + "\"");
    const int memOffset = intKey(cfg, "MEM_OFFSET", 0x800000);
    if (memOffset < static_cast<int>(kMinMemOffset) || memOffset % 0x1000 != 0)
        throw std::invalid_argument(
            "zandel board: MEM_OFFSET " + hex(static_cast<uint32_t>(memOffset)) +
            " is not a page boundary past the registers (at least " + hex(kMinMemOffset) + ")");
    memOffset_ = static_cast<uint32_t>(memOffset);
    dacId_ = static_cast<uint8_t>(intKey(cfg, "DAC_ID", 0x80));
    if (const int seed = intKey(cfg, "RGB525_TEXT", 0); seed != 0)
        for (int r = 0; r < 256; r++)
            rgb525_[static_cast<size_t>(r)] = static_cast<uint8_t>(seed + 37 * r);

    uint32_t defaultBase = 0;
    graf::MemoryArea *window = nullptr;
    for (graf::MemoryArea &area : cfg.areas)
        if (area.name.empty() || area.name == "MEMORY")
            window = &area;
    if (window != nullptr) {
        defaultBase = window->physBase >> 16;
        if (window->length < memOffset_ + vram_.size())
            throw std::invalid_argument(
                "zandel board: the register window of " + hex(window->length) +
                " bytes does not reach past MEM_OFFSET " + hex(memOffset_) + " and " +
                hex(static_cast<uint32_t>(vram_.size())) + " bytes of memory");
        uint8_t *host =
            m.addLinearApertureAfter("MEMORY", window->physBase, window->length, vram_, memOffset_);
        m.mapDevice(host + kSysBlock, kSysBlockLength, m.own<RegisterBlock>(*this, kSysBlock));
        for (const auto &block : kEngineBlocks)
            m.mapDevice(host + block.first, block.length, m.own<RegisterBlock>(*this, block.first));
        m.mapAccessorDevice(host + memOffset_, static_cast<uint32_t>(vram_.size()),
                            m.own<FrameProbe>(*this));
        window->mapped = host;
    }

    const int vendor = intKey(cfg, "CHIP_VENDOR", 0x100E);
    const int device = intKey(cfg, "CHIP_DEVICE", 0x9100);
    const int base = intKey(cfg, "CFG_BASE", static_cast<int>(defaultBase));
    for (auto [key, v] :
         {std::pair{"CHIP_VENDOR", vendor}, {"CHIP_DEVICE", device}, {"CFG_BASE", base}})
        if (v < 0 || v > 0xFFFF)
            throw std::invalid_argument(std::string("zandel board: ") + key +
                                        " is a 16-bit value, not " + std::to_string(v));
    config_ = m.own<ZandelConfigSpace>(*this, static_cast<uint16_t>(vendor),
                                       static_cast<uint16_t>(device), static_cast<uint16_t>(base));
    if (onPci_) {
        m.pci().add(*config_);
        m.attachPorts(kFirstPort, kPortCount, m.own<EmptyBusPorts>(), 4);
    } else {
        m.attachPorts(kFirstPort, kPortCount, m.own<VlbConfigPorts>(m, *config_), 4);
    }
    mapPlainAreas(cfg, m);
}

// ---- configuration register 0x42: the synthesiser's lines ----

void ZandelAdapter::clockLines(uint8_t value) {
    if ((value & 0x01) == 0 || (value & ~0x0Du) != 0) {
        machine_.fail("zandel board: clock lines written " + hex(value) +
                      ": only data 0x08 and clock 0x04 change, 0x01 stays set");
        return;
    }
    icd_.feed((value & 0x08) != 0, (value & 0x04) != 0);
}

// ---- register window ----

uint32_t ZandelAdapter::reg(uint32_t offset) const {
    if (offset == kPowerUp)
        return powerUp_;
    if (WeitekSecondGenFront::owns(offset))
        return front_.reg(offset);
    auto it = regs_.find(offset);
    return it == regs_.end() ? 0 : it->second;
}

uint32_t ZandelAdapter::regRead(uint32_t offset, int width) {
    if (width != 4) {
        machine_.fail("zandel board: " + std::to_string(8 * width) + "-bit read of register " +
                      hex(offset) + "; registers take 32-bit accesses");
        return 0;
    }
    if (offset >= kDacBase && offset < kDacEnd && offset % 4 == 0)
        return uint32_t{dacRead(static_cast<int>((offset - kDacBase) / 4))} << 16;
    if (offset == kSysConfig)
        return (reg(kSysConfig) & ~7u) | revision_;
    if (offset == kPowerUp)
        return powerUp_;
    if (WeitekSecondGenFront::owns(offset))
        return front_.read(offset);
    for (uint32_t r : kPlainRegs)
        if (r == offset)
            return reg(offset);
    machine_.fail("zandel board: read of " + hex(offset) + ", where no register is");
    return 0;
}

void ZandelAdapter::regWrite(uint32_t offset, int width, uint32_t value) {
    if (width != 4) {
        machine_.fail("zandel board: " + std::to_string(8 * width) + "-bit write to register " +
                      hex(offset) + "; registers take 32-bit accesses");
        return;
    }
    if (offset >= kDacBase && offset < kDacEnd && offset % 4 == 0) {
        const uint8_t b = static_cast<uint8_t>(value);
        if (value != b * 0x01010101u)
            machine_.fail("zandel board: RAMDAC register " +
                          std::to_string((offset - kDacBase) / 4) + " written " + hex(value) +
                          "; a byte goes in all four lanes");
        else
            dacWrite(static_cast<int>((offset - kDacBase) / 4), b);
        return;
    }
    if (offset == kPowerUp) {
        machine_.fail("zandel board: write of " + hex(value) +
                      " to the power-up configuration, which is read only");
        return;
    }
    if (offset == kSysConfig) {
        regs_[offset] = value;
        front_.systemConfig(value);
        return;
    }
    if (WeitekSecondGenFront::owns(offset)) {
        front_.write(offset, value);
        return;
    }
    for (uint32_t r : kPlainRegs) {
        if (r == offset) {
            regs_[offset] = value;
            return;
        }
    }
    machine_.fail("zandel board: write of " + hex(value) + " to " + hex(offset) +
                  ", where no register is");
}

// ---- RAMDAC ----

void ZandelAdapter::dacWrite(int k, uint8_t value) {
    dacRegs_[static_cast<size_t>(k)] = value;
    if (k == kPaletteIndex) {
        paletteIndex_ = value;
        paletteComponent_ = 0;
    } else if (k == kPaletteData) {
        palette_[paletteIndex_][static_cast<size_t>(paletteComponent_)] = value;
        if (++paletteComponent_ == 3) {
            paletteComponent_ = 0;
            paletteIndex_ = static_cast<uint8_t>(paletteIndex_ + 1);
        }
    }
    if (dac_ == Dac::Rgb525 && k == kRgb525Data) {
        if (dacRegs_[kRgb525IndexHigh] != 0)
            machine_.fail("zandel board: RGB525 index high is " + hex(dacRegs_[kRgb525IndexHigh]) +
                          "; the registers end at 0xFF");
        else
            rgb525_[dacRegs_[kRgb525IndexLow]] = value;
    } else if (dac_ == Dac::Rgb511 && k == kRgb511Data) {
        rgb511_[dacRegs_[kRgb511Index]] = value;
    }
}

uint8_t ZandelAdapter::dacRead(int k) {
    if (dac_ == Dac::Rgb525 && k == kRgb525Data)
        return rgb525_[dacRegs_[kRgb525IndexLow]];
    if (dac_ == Dac::Rgb511 && k == kRgb511Data)
        return rgb511_[dacRegs_[kRgb511Index]];
    // The part's identification shows while command register 0 bit 7 is clear.
    if (dac_ == Dac::Bt485 && k == kBtCommand3 && (dacRegs_[kBtCommand0] & 0x80) == 0)
        return dacId_;
    return dacRegs_[static_cast<size_t>(k)];
}

// ---- the frame buffer through the accessors ----

bool ZandelAdapter::bankCodeFits() const {
    const uint32_t code = reg(kMemConf) & 7;
    const bool wide = (code & 4) != 0;
    const uint32_t banks = (code & 3) + 1;
    if (banks == 3 || wide != wideBanks_)
        return false;
    return banks * (wide ? kMB : kMB / 2) <= vram_.size();
}

uint32_t ZandelAdapter::probeRead(uint32_t offset, int width) {
    if (!bankCodeFits())
        return busValue_ & (width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1);
    uint32_t v = 0;
    std::memcpy(&v, vram_.data() + offset, static_cast<size_t>(width));
    return v;
}

void ZandelAdapter::probeWrite(uint32_t offset, int width, uint32_t value) {
    busValue_ = value;
    if (bankCodeFits())
        std::memcpy(vram_.data() + offset, &value, static_cast<size_t>(width));
}

// ---- pictures ----

uint32_t ZandelAdapter::displayPitch() const {
    const uint32_t w = reg(kSysConfig);
    static const uint32_t f0[] = {0, 1024, 2048, 4096};
    static const uint32_t f1[] = {0, 0, 0, 128, 256, 512, 1024, 2048};
    static const uint32_t f2[] = {0, 0, 64, 128, 256, 512, 1024, 0};
    static const uint32_t f3[] = {0, 32, 64, 128, 256, 512, 0, 0};
    return f0[(w >> 29) & 3] + f1[(w >> 20) & 7] + f2[(w >> 17) & 7] + f3[(w >> 14) & 7];
}

std::string ZandelAdapter::describe() const {
    return std::string("zandel board on ") + (onPci_ ? "PCI" : "the VL bus") +
           (nativeMode() ? ", native mode" : ", VGA mode") + ", pitch " +
           std::to_string(displayPitch()) + ", memory configuration " + hex(reg(kMemConf));
}

namespace {

AdapterRegistration
    zandelRegistration("zandel", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<ZandelAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
