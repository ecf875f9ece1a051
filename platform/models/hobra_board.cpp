// The "ibm8514" board model; its configuration and choices are listed in
// hobra_board.h.
#include "models/hobra_board.h"

#include <cstdio>
#include <set>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint16_t kAdvDisplayOn = 0x0001;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intOf(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

int planesOf(const graf::Config &cfg) {
    int planes = intOf(cfg, "PLANES", 8);
    if (planes != 4 && planes != 8)
        throw std::invalid_argument("ibm8514 board: PLANES is 4 or 8, not " +
                                    std::to_string(planes));
    return planes;
}

std::string kindOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("BOARD");
    if (it == cfg.strings.end())
        return "8514";
    if (it->second == "8514" || it->second == "ati" || it->second == "none")
        return it->second;
    throw std::invalid_argument("ibm8514 board: BOARD is \"8514\", \"ati\" or \"none\", not \"" +
                                it->second + "\"");
}

// One DAC register at a port of the board's choosing: the access goes to the
// DAC as if made at its VGA address.
class DacPort : public PortDevice {
  public:
    DacPort(vga::Dac &dac, uint16_t vgaPort) : dac_(dac), vgaPort_(vgaPort) {}
    uint32_t in(uint16_t, int width) override { return dac_.in(vgaPort_, width); }
    void out(uint16_t, int width, uint32_t value) override { dac_.out(vgaPort_, width, value); }

  private:
    vga::Dac &dac_;
    uint16_t vgaPort_;
};

} // namespace

class HobraBoard {
  public:
    HobraBoard(graf::Config &cfg, Machine &m)
        : vram(size_t(HobraAdapter::kLinePixels) * HobraAdapter::kLines),
          core(vram, hobraChipParams()), planes(planesOf(cfg)), kind(kindOf(cfg)),
          ports(core, kind == "ati") {
        core.setPixelBits(8);
        core.setLinePixels(HobraAdapter::kLinePixels);
        core.setPlanes((1u << planes) - 1);
        // Power-on: the FIFO is empty, so writes need no status read first.
        core.readStatus();
        core.clearStats();
        if (kind == "none") {
            for (const S3PortRole &p : hobraChipParams().ports)
                m.attachPorts(p.port, 2, &floating);
            m.attachPorts(hobraport::Status2, 2, &floating);
        } else {
            ports.attach(m);
        }
        attachDac(cfg, m);
        mapPlainAreas(cfg, m);
    }

    void attachDac(const graf::Config &cfg, Machine &m) {
        const struct {
            const char *key;
            int fallback;
            uint16_t vgaPort;
        } regs[] = {{"PALMASK", HobraAdapter::kDefaultPalMask, vga::port::DacMask},
                    {"PALREAD", HobraAdapter::kDefaultPalRead, vga::port::DacReadIndex},
                    {"PALWRITE", HobraAdapter::kDefaultPalWrite, vga::port::DacWriteIndex},
                    {"PALDATA", HobraAdapter::kDefaultPalData, vga::port::DacData}};
        std::set<int> taken;
        for (const auto &r : regs) {
            const int port = intOf(cfg, r.key, r.fallback);
            if (port <= 0 || port > 0xFFFF || !taken.insert(port).second)
                throw std::invalid_argument(std::string("ibm8514 board: ") + r.key + " " +
                                            hex(uint32_t(port)) +
                                            " is no free port of its own for the DAC");
            m.attachPorts(uint16_t(port), 1, m.own<DacPort>(dac, r.vgaPort));
        }
    }

    VideoMemory vram;
    S3EngineCore core;
    int planes;
    std::string kind;
    HobraEnginePorts ports;
    FloatingPorts floating;
    vga::Dac dac;
};

HobraAdapter::HobraAdapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<HobraBoard>(cfg, m)) {}

VideoMemory *HobraAdapter::vram() {
    return &board_->vram;
}
void HobraAdapter::drain() {
    board_->core.drain();
}
S3EngineCore &HobraAdapter::engine() {
    return board_->core;
}
vga::Dac &HobraAdapter::dac() {
    return board_->dac;
}
int HobraAdapter::planes() const {
    return board_->planes;
}
bool HobraAdapter::hasEngine() const {
    return board_->kind != "none";
}
bool HobraAdapter::atiScissors() const {
    return board_->kind == "ati";
}
bool HobraAdapter::displayOn() const {
    return (board_->core.regs().advancedFunction & kAdvDisplayOn) != 0;
}

std::string HobraAdapter::describe() const {
    std::string s = model_ + ": " + std::to_string(board_->planes) + " planes of 1024 x 1024";
    if (!hasEngine())
        return s + ", no engine";
    if (atiScissors())
        s += ", ATI scissor ports";
    s += displayOn() ? ", engine picture" : ", VGA passes through";
    s += ", DAC mask " + hex(board_->dac.mask());
    return s;
}

namespace {

AdapterRegistration hobra8514("ibm8514", adapterFactory<HobraAdapter>("ibm8514"));

} // namespace

} // namespace sim
