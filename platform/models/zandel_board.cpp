// The "zandel" board model; its registers and choices are listed in
// zandel_board.h.
#include "models/zandel_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint16_t kFirstPort = ZandelAdapter::kIndexPort;
constexpr uint16_t kPortCount = 8;

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

} // namespace

ZandelConfigSpace::ZandelConfigSpace(ZandelAdapter &board, uint16_t vendor, uint16_t device,
                                     uint16_t base)
    : PciFunction(vendor, device, 3, 0), board_(board) {
    set(0x10, 4, uint32_t{base} << 16);
    set(ZandelAdapter::kModeReg, 1, ZandelAdapter::kNotNative);
    setWritable(0x04, 1, 0x07);
    setWritable(ZandelAdapter::kModeReg, 1, 0xFF);
    setWritable(ZandelAdapter::kClockReg, 1, 0xFF);
}

void ZandelConfigSpace::configWrite(int reg, int size, uint32_t value) {
    PciFunction::configWrite(reg, size, value);
    for (int i = 0; i < size; i++) {
        const uint8_t b = static_cast<uint8_t>(value >> (8 * i));
        if (reg + i == ZandelAdapter::kModeReg)
            board_.modeWrites_.push_back(b);
        else if (reg + i == ZandelAdapter::kClockReg)
            board_.clockWrites_.push_back(b);
    }
}

ZandelAdapter::ZandelAdapter(graf::Config &cfg, Machine &m) : machine_(m) {
    const std::string bus = stringKey(cfg, "BUS", "pci");
    if (bus != "pci" && bus != "vlb")
        throw std::invalid_argument("zandel board: BUS is \"pci\" or \"vlb\", not \"" + bus + "\"");
    onPci_ = bus == "pci";
    uint32_t defaultBase = 0;
    for (const graf::MemoryArea &area : cfg.areas)
        if (area.name.empty() || area.name == "MEMORY")
            defaultBase = area.physBase >> 16;
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

std::string ZandelAdapter::describe() const {
    return std::string("zandel board on ") + (onPci_ ? "PCI" : "the VL bus") +
           (nativeMode() ? ", native mode" : ", VGA mode");
}

namespace {

AdapterRegistration
    zandelRegistration("zandel", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<ZandelAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
