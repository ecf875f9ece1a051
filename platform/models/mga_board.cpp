// The "mga" board model; its registers and choices are listed in mga_board.h.
#include "models/mga_board.h"

#include "models/mga_i2c.h"

#include "xalu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

using namespace mga;

constexpr uint32_t kMB = 0x100000;
constexpr uint32_t kRomPcir = 0x100, kRomText = 0x1D, kRomTextEnd = 0x80;
constexpr uint32_t kRomOutputMode = 0x7FF1, kRomOldPins = 0x7FFC, kRomCodeBytes = 0x8000;
constexpr int kLockReads = 3;
constexpr uint64_t kLockMicros = 1000;
constexpr uint32_t kVcoMin = 50000;
constexpr int kRetirePerRead = 8, kBusyReads = 2;
constexpr uint32_t kStatusBusy = 0x10000;
constexpr uint32_t EngCommand = 0x1C00, EngPixelWidth = 0x1C04, EngPlaneMask = 0x1C1C,
                   EngForeground = 0x1C24, EngStart = 0x1C40, EngEnd = 0x1C44, EngSign = 0x1C58,
                   EngLength = 0x1C5C, EngSourceEnd = 0x1C60, EngSourceStart = 0x1C6C,
                   EngSourcePitch = 0x1C74, EngPitch = 0x1C8C, EngDestY = 0x1C90,
                   EngOrigin = 0x1C94, EngClipTop = 0x1C98, EngClipBottom = 0x1C9C,
                   EngClipLeft = 0x1CA0, EngClipRight = 0x1CA4, EngLeft = 0x1CA8, EngRight = 0x1CAC,
                   kStartForm = 0x100;
constexpr uint32_t EngBackground = 0x1C20, EngPattern = 0x1C30, EngShift = 0x1C50,
                   EngError = 0x1C64, EngErrorMinor = 0x1C60, EngErrorDiagonal = 0x1C68,
                   EngLineX = 0x1CB0;
constexpr uint32_t kPlainRegs[] = {
    0x1E1C, MemReadBack, 0x1E4C, 0x1E58,
    0x1E5C, 0x1E70,      0x2CB8, 0x3E40 /* DVD strobe lines, bytes 0x3E40 and 0x3E43 */};

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intKey(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

std::string stringKey(const graf::Config &cfg, const char *key, const char *fallback) {
    auto it = cfg.strings.find(key);
    return it == cfg.strings.end() ? fallback : it->second;
}

bool flagKey(const graf::Config &cfg, const char *key) {
    return std::find(cfg.flags.begin(), cfg.flags.end(), key) != cfg.flags.end();
}

uint32_t widthMask(int width) {
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

// "OFFSET=VALUE ..." of PINS_BYTES.
std::vector<std::pair<int, uint8_t>> parsePinsBytes(const std::string &text) {
    std::vector<std::pair<int, uint8_t>> out;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const size_t eq = word.find('=');
        size_t used = 0, usedValue = 0;
        long offset = -1, value = -1;
        try {
            if (eq != std::string::npos) {
                offset = std::stol(word.substr(0, eq), &used, 0);
                value = std::stol(word.substr(eq + 1), &usedValue, 0);
            }
        } catch (const std::exception &) {
            offset = -1;
        }
        if (eq == std::string::npos || used != eq || usedValue != word.size() - eq - 1 ||
            offset < 0 || offset > 127 || value < 0 || value > 255)
            throw std::invalid_argument("mga board: PINS_BYTES takes OFFSET=VALUE pairs (offset "
                                        "0-127, value 0-255), not \"" +
                                        word + "\"");
        out.emplace_back(int(offset), uint8_t(value));
    }
    return out;
}

void put16(std::vector<uint8_t> &b, uint32_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

uint8_t sum(const std::vector<uint8_t> &b, size_t from, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; i++)
        s = uint8_t(s + b[from + i]);
    return s;
}

} // namespace

// ---------------------------------------------------------------- ROM builder

std::vector<uint8_t> buildMgaPins(const MgaRom &r) {
    const bool v4 = r.pinsVersion == 4;
    std::vector<uint8_t> p(v4 ? 128 : 64, 0);
    p[0] = 0x2E;
    p[1] = 0x41;
    p[2] = uint8_t(p.size());
    p[5] = uint8_t(v4 ? 4 : 3);
    put16(p, 10, r.deviceId);
    std::memcpy(&p[12], "QRN0000000000001", 16);
    p[34] = 0x01;
    const uint32_t mb = r.memoryBytes / kMB;
    if (v4) {
        for (int i = 38; i <= 43; i++)
            p[size_t(i)] = 0xFF;
        p[55] = 50; // VGA system clock, MHz
        p[65] = 100;
        p[75] = 100;
        for (int i : {61, 62, 63, 64, 71, 72, 73, 74, 81, 82, 83, 84})
            p[size_t(i)] = 0xFF;
        p[86] = 0x88;
        const uint8_t code = mb >= 32 ? 3 : mb >= 16 ? 2 : mb >= 8 ? 1 : 0;
        p[92] = uint8_t(code << 2);
    } else {
        for (int i = 36; i <= 40; i++)
            p[size_t(i)] = 0xFF;
        p[43] = 50; // VGA clock, MHz
        p[44] = 60; // mode clock
        p[45] = p[46] = p[47] = 0xFF;
        p[48] = p[49] = p[50] = p[51] = 0xFF;
        p[54] = 0x02;
        const uint8_t code = mb >= 8 ? 2 : mb >= 4 ? 1 : 0;
        p[55] = uint8_t(0x12 | code << 6);
        p[56] = 0x88;
        p[60] = 0xFF; // no second mode clock
    }
    if (r.pinsVersion == 0) {
        // The older block has no mark: its first byte is its length.
        p[0] = 64;
        p[1] = 0;
    }
    for (const auto &[offset, value] : r.pinsBytes)
        if (size_t(offset) < p.size())
            p[size_t(offset)] = value;
    const size_t last = p.size() - 1;
    p[last] = uint8_t(p[last] - sum(p, 0, p.size()) + (r.goodSum ? 0 : 1));
    return p;
}

std::vector<uint8_t> buildMgaRom(const MgaRom &r) {
    std::vector<uint8_t> rom(kRomBytes, 0xFF);
    std::fill(rom.begin(), rom.begin() + kRomCodeBytes, 0);
    if (r.signature) {
        rom[0] = 0x55;
        rom[1] = 0xAA;
    }
    rom[2] = uint8_t(kRomCodeBytes / 512);
    rom[5] = r.revisionByte;
    put16(rom, 0x18, kRomPcir);
    const size_t textLength = std::min<size_t>(r.text.size(), kRomTextEnd - kRomText - 1);
    std::memcpy(&rom[kRomText], r.text.data(), textLength);
    if (r.pcir) {
        std::memcpy(&rom[kRomPcir], "PCIR", 4);
        put16(rom, kRomPcir + 4, kVendor);
        put16(rom, kRomPcir + 6, r.deviceId);
        put16(rom, kRomPcir + 0x0A, 0x18);
        rom[kRomPcir + 0x0F] = 0x03; // class: display
        put16(rom, kRomPcir + 0x10, kRomCodeBytes / 512);
        put16(rom, kRomPcir + 0x12, r.pcirRevision);
        rom[kRomPcir + 0x15] = 0x80; // last image
    }
    if (r.pinsVersion >= 0) {
        std::vector<uint8_t> pins = buildMgaPins(r);
        std::copy(pins.begin(), pins.end(), rom.begin() + r.pinsOffset);
        if (r.badSumCopyAt >= 0) {
            MgaRom bad = r;
            bad.goodSum = false;
            std::vector<uint8_t> copy = buildMgaPins(bad);
            std::copy(copy.begin(), copy.end(), rom.begin() + r.badSumCopyAt);
        }
        put16(rom, kRomOldPins, r.pinsOffset);
    }
    if (r.overlongAt >= 0) {
        rom[size_t(r.overlongAt)] = 0x2E;
        rom[size_t(r.overlongAt) + 1] = 0x41;
        rom[size_t(r.overlongAt) + 2] = 129;
    }
    rom[kRomOutputMode] = r.outputMode;
    return rom;
}

// ---------------------------------------------------------------- devices

// The control-register window.
class MgaRegisters : public MemDevice {
  public:
    explicit MgaRegisters(MgaBoard &b) : b_(b) {}
    uint32_t read(uint32_t offset, int width) override {
        const uint32_t v = b_.read(offset, width);
        b_.busValue_ = v;
        return v;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        b_.busValue_ = value;
        b_.write(offset, width, value);
    }

  private:
    MgaBoard &b_;
};

// The option ROM over the start of the frame buffer.
class MgaRomDevice : public MemDevice {
  public:
    explicit MgaRomDevice(MgaBoard &b) : b_(b) {}
    uint32_t read(uint32_t offset, int width) override {
        uint32_t v = 0;
        for (int i = 0; i < width; i++) {
            const uint32_t at = offset + uint32_t(i);
            const uint8_t byte = at < b_.rom_.size() ? b_.rom_[at] : 0xFF;
            v |= uint32_t(byte) << (8 * i);
        }
        b_.busValue_ = v;
        return v;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        b_.machine_.fail("mga board: a " + std::to_string(width * 8) + "-bit write of " +
                         hex(value) + " to the option ROM at " + hex(offset));
    }

  private:
    MgaBoard &b_;
};

// What answers past the installed memory: the bus keeps the last value.
class MgaBus : public MemDevice {
  public:
    explicit MgaBus(MgaBoard &b) : b_(b) {}
    uint32_t read(uint32_t, int width) override { return b_.busValue_ & widthMask(width); }
    void write(uint32_t, int, uint32_t value) override { b_.busValue_ = value; }

  private:
    MgaBoard &b_;
};

// Configuration space: writes to the subsystem alias, to read-only dwords
// and to the enable bits have effects beyond the plain storage.
class MgaConfig : public PciFunction {
  public:
    MgaConfig(MgaBoard &b, uint8_t subclass)
        : PciFunction(kVendor, b.deviceId_, 0x03, subclass), b_(b) {}
    void configWrite(int reg, int size, uint32_t value) override {
        if (reg < 0 || reg >= 256 || size < 1 || size > 4)
            return;
        if (b_.toucanRestoresHeader(reg, size, value))
            return;
        for (int i = 0; i < size && reg + i < 256; i++)
            if (writableDword((reg + i) / 4) == 0) {
                b_.machine_.fail("mga board: configuration write of " + hex(value) + " at " +
                                 hex(uint32_t(reg)) + ", a read-only register");
                return;
            }
        const uint32_t option = get(CfgOption, 4), option2 = get(CfgOption2, 4),
                       option3 = get(CfgOption3, 4), power = get(CfgPower, 4);
        PciFunction::configWrite(reg, size, value);
        b_.checkClockSelect(option, option2);
        b_.toucanConfigWritten(reg, option3, power);
        if (reg / 4 == CfgSubsystemWrite / 4)
            set(CfgSubsystem, 4, get(CfgSubsystemWrite, 4));
        b_.configChanged(reg);
    }
    void writable(int reg, uint32_t mask) {
        setWritable(reg, 4, mask);
        masks_[size_t(reg / 4)] = mask;
    }
    uint32_t writableDword(int dword) const { return masks_[size_t(dword)]; }

  private:
    MgaBoard &b_;
    std::array<uint32_t, 64> masks_{};
};

// ---------------------------------------------------------------- the board

MgaBoard::MgaBoard(graf::Config &cfg, Machine &m)
    : machine_(m), vram_(uint32_t(intKey(cfg, "MEMSIZE", 4 * int(kMB)))) {
    const uint32_t memory = uint32_t(vram_.size());
    if (memory < 2 * kMB || memory > 32 * kMB || memory % (2 * kMB) != 0)
        throw std::invalid_argument("mga board: MEMSIZE is 2 to 32 MB in 2 MB steps, not " +
                                    hex(memory));
    deviceId_ = uint16_t(intKey(cfg, "PCI_DEVICE", 0x0521));
    switch (deviceId_) {
    case 0x0519:
    case 0x0520:
    case 0x0521:
    case 0x0525:
    case 0x1000:
    case 0x1001:
        break;
    default:
        throw std::invalid_argument("mga board: no device id " + hex(deviceId_) +
                                    " (0x0519, 0x0520, 0x0521, 0x0525, 0x1000, 0x1001)");
    }
    revision_ = uint8_t(intKey(cfg, "PCI_REVISION", 3));
    const int subclass = intKey(cfg, "PCI_SUBCLASS", 0);
    const bool toucanClass = deviceId_ == 0x0525;
    fifoEntries_ = toucanClass ? 16 : 64;

    pllRef_ = uint32_t(intKey(cfg, "PLL_REF", 27000));
    if (pllRef_ != 27000 && pllRef_ != 14318)
        throw std::invalid_argument("mga board: PLL_REF is 27000 or 14318, not " +
                                    std::to_string(pllRef_));
    vcoMax_ = uint32_t(intKey(cfg, "PLL_VCO_MAX", 230000));
    const std::string pll = stringKey(cfg, "PLL", "normal");
    if (pll == "never")
        pllFixture_ = PllFixture::Never;
    else if (pll == "retry")
        pllFixture_ = PllFixture::Retry;
    else if (pll != "normal")
        throw std::invalid_argument("mga board: PLL is \"normal\", \"never\" or \"retry\", not \"" +
                                    pll + "\"");
    goodMin_ = intKey(cfg, "READBACK_GOOD_MIN", 0);
    goodMax_ = intKey(cfg, "READBACK_GOOD_MAX", 15);
    lutReadFault_ = flagKey(cfg, "LUT_READ_FAULT");
    dvd_ = flagKey(cfg, "DVD");

    // I2C buses.
    const bool secondWiring =
        ((deviceId_ == 0x0520 || deviceId_ == 0x0521) && revision_ >= 3) || deviceId_ == 0x0525;
    i2c_ = std::make_unique<MgaI2cBus>(m, secondWiring);
    const int ddcBytes = intKey(cfg, "DDC_BYTES", 128);
    const int ddcPort = intKey(cfg, "DDC_PORT", 0);
    if (ddcBytes != 0 && ddcBytes != 128 && ddcBytes != 256)
        throw std::invalid_argument("mga board: DDC_BYTES is 0, 128 or 256, not " +
                                    std::to_string(ddcBytes));
    if (ddcPort < 0 || ddcPort >= MgaI2cBus::kPorts)
        throw std::invalid_argument("mga board: DDC_PORT is 0 to 7, not " +
                                    std::to_string(ddcPort));
    if (ddcBytes != 0) {
        ddc_ = MgaI2cBus::ddcImage(ddcBytes);
        i2c_->addDdcMemory(ddcPort, ddc_);
    }
    const std::string fixture = stringKey(cfg, "I2C_FIXTURE", "none");
    const int fixturePort = intKey(cfg, "I2C_FIXTURE_PORT", 0);
    if (fixturePort < 0 || fixturePort >= MgaI2cBus::kPorts)
        throw std::invalid_argument("mga board: I2C_FIXTURE_PORT is 0 to 7, not " +
                                    std::to_string(fixturePort));
    if (fixture == "clock-low")
        i2c_->setFixture(MgaI2cBus::Fixture::ClockLow, fixturePort);
    else if (fixture == "bus-busy")
        i2c_->setFixture(MgaI2cBus::Fixture::BusBusy, fixturePort);
    else if (fixture != "none")
        throw std::invalid_argument("mga board: I2C_FIXTURE is \"none\", \"clock-low\" or "
                                    "\"bus-busy\", not \"" +
                                    fixture + "\"");

    // ROM.
    MgaRom rom;
    rom.deviceId = deviceId_;
    rom.signature = !flagKey(cfg, "NO_ROM");
    rom.pcirRevision = uint16_t(intKey(cfg, "PCIR_REVISION", 0x0102));
    rom.pinsVersion = intKey(cfg, "PINS_VERSION", toucanClass ? 4 : 3);
    if (rom.pinsVersion != -1 && rom.pinsVersion != 0 && rom.pinsVersion != 3 &&
        rom.pinsVersion != 4)
        throw std::invalid_argument("mga board: PINS_VERSION is 3, 4, 0 or -1, not " +
                                    std::to_string(rom.pinsVersion));
    rom.pinsBytes = parsePinsBytes(stringKey(cfg, "PINS_BYTES", ""));
    rom.text = stringKey(cfg, "ROM_TEXT", rom.text.c_str());
    rom.outputMode = uint8_t(intKey(cfg, "ROM_OUTPUT_MODE", 0));
    rom.memoryBytes = memory;
    rom_ = buildMgaRom(rom);

    // Configuration space.
    config_ = m.own<MgaConfig>(*this, uint8_t(subclass));
    MgaConfig &c = *config_;
    c.set(CfgCommand, 4, 0x02900003); // I/O and memory decoding on
    c.set(CfgClass, 1, revision_);
    c.set(CfgSubsystem, 4, uint32_t(intKey(cfg, "PCI_SUBSYSTEM", 0)));
    c.set(CfgInterrupt, 4, 0x0100);
    c.set(CfgOption, 4, kOptionPllPower | 1);
    c.set(CfgAgpStatus, 4, toucanClass ? 0x1F000203u : 0);
    c.writable(CfgCommand, 0x7);
    c.writable(CfgLatency, 0xFF00);
    c.writable(CfgFrameBuffer, toucanClass ? 0xFE000000u : 0xFF000000u);
    c.writable(CfgRegisters, 0xFFFFC000u);
    c.writable(CfgRomBase, 0xFFFF0001u);
    c.writable(CfgInterrupt, 0xFF);
    c.writable(CfgOption, 0x505FDCBFu);
    c.writable(CfgSubsystemWrite, 0xFFFFFFFFu);
    c.writable(CfgOption2, toucanClass ? 0x0F03F000u : 0x3F000u);
    c.writable(CfgOption3, 0xFFFFFFFFu);
    c.writable(CfgPower, 0x3);
    c.writable(CfgAgpCommand, 0xFFFFFFFFu);
    if (toucanClass)
        toucanPowerOn(cfg);

    // Power-on state: the pixel PLL at 25175 kHz (M 6, N 51, P 7) feeding
    // the pixel clock, the DAC on with an 8-bit look-up table.
    dac_[XPixPllM] = 6;
    dac_[XPixPllN] = 51;
    dac_[XPixPllP] = 7 | 3 << 3;
    dac_[XSysPllM] = 4;
    dac_[XSysPllN] = 37;
    dac_[XSysPllP] = 1 | 2 << 3;
    dac_[XPixelClock] = 1 | kPixelPllPower;
    dac_[XMisc] = 0x19;
    dac_[0x2A] = 0;
    for (size_t i = 0; i < plainRegs_.size(); i++)
        plainRegs_[i] = {i < std::size(kPlainRegs) ? kPlainRegs[i] : 0xFFFFFFFFu, 0};
    seq_[1] = 0x00;
    engine_[(EngPlaneMask - EngineFirst) / 4] = 0xFFFFFFFFu;

    for (graf::MemoryArea &area : cfg.areas) {
        const std::string name = area.name.empty() ? "MEMORY" : area.name;
        if (name == "MEMORY") {
            uint8_t *host = m.addArea("MEMORY", area.physBase, area.length);
            const uint32_t decoded = std::min(area.length, kWindowBytes);
            if (decoded != 0)
                m.mapDevice(host, decoded, m.own<MgaRegisters>(*this));
            c.set(CfgRegisters, 4, area.physBase & 0xFFFFC000u);
            area.mapped = host;
        } else if (name == "FBM") {
            aperture_ = m.addLinearAperture("FBM", area.physBase, area.length, vram_);
            apertureBase_ = area.physBase;
            if (area.length > memory)
                m.mapPastMemory(aperture_, m.own<MgaBus>(*this));
            m.filterMemoryReads(aperture_, [this](uint32_t offset, int width, uint32_t value) {
                return readFilter(offset, width, value);
            });
            c.set(CfgFrameBuffer, 4, area.physBase & c.writableDword(CfgFrameBuffer / 4));
            area.mapped = aperture_;
        } else if (name == "BIOS") {
            if (area.physBase != kLegacyBiosBase || area.length != kRomBytes)
                throw std::invalid_argument("mga board: BIOS is the 64 KB image at 0xC0000, not " +
                                            hex(area.length) + " bytes at " + hex(area.physBase));
            uint8_t *host = m.addArea("BIOS", area.physBase, area.length);
            std::copy(rom_.begin(), rom_.end(), host);
            area.mapped = host;
        }
    }
    romDevice_ = m.own<MgaRomDevice>(*this);
    mapPlainAreas(cfg, m);
    m.pci().add(c);
}

MgaBoard::~MgaBoard() = default;

void MgaBoard::setRom(std::vector<uint8_t> image) {
    image.resize(kRomBytes, 0xFF);
    rom_ = std::move(image);
}

// ---- configuration space ----

PciFunction &MgaBoard::pci() {
    return *config_;
}

uint32_t MgaBoard::configRead(int reg, int size) const {
    return config_->get(reg, size);
}

void MgaBoard::configWrite(int reg, int size, uint32_t value) {
    config_->configWrite(reg, size, value);
}

void MgaBoard::configChanged(int reg) {
    if (reg / 4 == CfgOption / 4) {
        // The system PLL follows its power bit.
        const bool on = (configRead(CfgOption, 4) & kOptionPllPower) != 0;
        if (!on) {
            sysPll_.locked = false;
            sysPll_.countdown = -1;
        } else if (!sysPll_.locked && sysPll_.countdown < 0 && pllValid(false)) {
            sysPll_.cycled = true;
            sysPll_.countdown = kLockReads;
            sysPll_.since = machine_.nowMicros();
        }
    }
    updateRom();
}

bool MgaBoard::optionSelectsClocks() const {
    return deviceId_ == 0x0520 || deviceId_ == 0x0521 || deviceId_ == 0x1000 || deviceId_ == 0x1001;
}

// The system clock's source and dividers may change only while the clock
// is stopped (OPTION bit 2 set before and after the write).
void MgaBoard::checkClockSelect(uint32_t option, uint32_t option2) {
    if (!optionSelectsClocks())
        return;
    const bool twister = deviceId_ == 0x1000 || deviceId_ == 0x1001;
    const uint32_t optionBits = twister ? 0x9Bu : 0x1Bu, option2Bits = twister ? 0 : 0x3C000u;
    const uint32_t nowOption = configRead(CfgOption, 4), nowOption2 = configRead(CfgOption2, 4);
    const bool changed =
        ((option ^ nowOption) & optionBits) != 0 || ((option2 ^ nowOption2) & option2Bits) != 0;
    const bool stopped = (option & kOptionClockStop) != 0 && (nowOption & kOptionClockStop) != 0;
    if (changed && !stopped)
        machine_.fail("mga board: system clock source or dividers changed while the clock runs "
                      "(OPTION " +
                      hex(option) + " -> " + hex(nowOption) + ", OPTION2 " + hex(option2) + " -> " +
                      hex(nowOption2) + ")");
}

void MgaBoard::updateRom() {
    const uint32_t option = configRead(CfgOption, 4);
    const uint32_t romBase = configRead(CfgRomBase, 4);
    const bool show = aperture_ != nullptr && (option & kOptionRomEnable) != 0 &&
                      (romBase & 1) != 0 && (romBase & 0xFFFF0000u) == apertureBase_;
    if (show == romShown_)
        return;
    romShown_ = show;
    if (show)
        machine_.mapDevice(aperture_, kRomBytes, romDevice_);
    else
        machine_.unmapDevice(romDevice_);
}

// ---- register window ----

void MgaBoard::noRegister(const char *what, uint32_t offset, int width) {
    machine_.fail(std::string("mga board: ") + what + " " + std::to_string(width * 8) +
                  "-bit access at register offset " + hex(offset));
}

uint32_t MgaBoard::reg(uint32_t offset) const {
    if (offset >= EngineFirst && offset < EngineEnd)
        return engine_[(offset - EngineFirst) / 4];
    if (offset == Status)
        return status_;
    if (offset == FifoStatus)
        return fifoEntries_;
    for (const auto &[at, value] : plainRegs_)
        if (at == offset)
            return value;
    return 0xFFFFFFFFu;
}

uint32_t MgaBoard::read(uint32_t offset, int width) {
    const uint32_t shift = 8 * (offset & 3);
    const bool inWord = (offset & 3) + uint32_t(width) <= 4;
    if (offset >= VgaFirst && offset < VgaEnd) {
        uint32_t v = 0;
        for (int i = 0; i < width; i++) {
            const uint32_t at = offset + uint32_t(i);
            if (at < VgaEnd)
                v |= uint32_t(vgaRead(at - 0x1C00)) << (8 * i);
        }
        return v;
    }
    if (offset >= DacFirst && offset < DacEnd && width == 1)
        return dacRead(offset - DacFirst);
    if (crtc2Holds(offset))
        return crtc2Read(offset, width);
    if (inWord && offset >= EngineFirst && offset < EngineEnd)
        return (engine_[(offset - EngineFirst) / 4] >> shift) & widthMask(width);
    const uint32_t word = offset & ~3u;
    if (inWord && word == Status) {
        retire(kRetirePerRead);
        settleEngine();
        // Vertical retrace shows at every fourth read.
        status_ = (status_ & ~(kStatusRetrace | kStatusBusy | kStatusIdle)) |
                  (++statusReads_ % 4 == 0 ? kStatusRetrace : 0) |
                  (busy() ? kStatusBusy : kStatusIdle);
        return (status_ >> shift) & widthMask(width);
    }
    if (inWord && word == FifoStatus) {
        retire(kRetirePerRead);
        return ((fifoEntries_ - uint32_t(queued_)) >> shift) & widthMask(width);
    }
    uint32_t toucan = 0;
    if (toucanRead(offset, width, toucan))
        return toucan;
    if (inWord)
        for (const auto &[at, value] : plainRegs_)
            if (at == word)
                return (value >> shift) & widthMask(width);
    noRegister("no register for a", offset, width);
    return widthMask(width);
}

void MgaBoard::write(uint32_t offset, int width, uint32_t value) {
    const uint32_t shift = 8 * (offset & 3);
    const bool inWord = (offset & 3) + uint32_t(width) <= 4;
    const uint32_t lanes = widthMask(width) << shift;
    auto merge = [&](uint32_t &held) { held = (held & ~lanes) | ((value << shift) & lanes); };
    if (offset >= VgaFirst && offset < VgaEnd) {
        for (int i = 0; i < width && offset + uint32_t(i) < VgaEnd; i++)
            vgaWrite(offset + uint32_t(i) - 0x1C00, uint8_t(value >> (8 * i)));
        return;
    }
    if (offset >= DacFirst && offset < DacEnd && width == 1) {
        dacWrite(offset - DacFirst, uint8_t(value));
        return;
    }
    if (crtc2Holds(offset)) {
        crtc2Write(offset, width, value);
        return;
    }
    if (offset >= EngineFirst && offset < EngineEnd) {
        if (width != 4 || (offset & 3) != 0) {
            noRegister("an engine register takes 32-bit writes only, not a", offset, width);
            return;
        }
        engineWrite(offset, value);
        return;
    }
    const uint32_t word = offset & ~3u;
    if (inWord && word == Status) {
        // Only the mark is software's; the rest is the chip's.
        const uint32_t mark = ((value << shift) & lanes) & kStatusMark;
        if ((lanes & kStatusMark) != 0)
            status_ = (status_ & ~kStatusMark) | mark;
        return;
    }
    if (inWord && word == FifoStatus) {
        noRegister("a write to the read-only FIFO status:", offset, width);
        return;
    }
    if (inWord && condorLacks(word)) {
        noRegister("a condor chip has no buffer compensation or revision power-up word:", offset,
                   width);
        return;
    }
    if (inWord)
        for (auto &[at, held] : plainRegs_)
            if (at == word) {
                merge(held);
                toucanWritten(offset, width, value);
                return;
            }
    noRegister("no register for a", offset, width);
}

uint32_t MgaBoard::readFilter(uint32_t, int width, uint32_t value) {
    const int delay = int(reg(MemReadBack) & 0xF);
    if (delay < goodMin_ || delay > goodMax_)
        value ^= 0x01010101u & widthMask(width);
    busValue_ = value;
    return value;
}

// ---- VGA register images ----

uint8_t MgaBoard::vgaRead(uint32_t port) {
    switch (port) {
    case 0x3C0:
        return attrIndex_;
    case 0x3C1:
        return attr_[attrIndex_ & 0x1F];
    case 0x3C2:
        return 0; // input status 0
    case 0x3C4:
        return seqIndex_;
    case 0x3C5:
        return seq_[seqIndex_ & 7];
    case 0x3CC:
        return misc_;
    case 0x3CE:
        return gcIndex_;
    case 0x3CF:
        return gc_[gcIndex_ & 0xF];
    case 0x3D4:
        return crtcIndex_;
    case 0x3D5:
        return crtc_[crtcIndex_ & 0x3F];
    case 0x3DA: {
        attrExpectIndex_ = true;
        const bool retrace = ++statusReads_ % 4 == 0;
        return uint8_t(retrace ? 0x09 : 0x00);
    }
    case 0x3DE:
        return crtcExtIndex_;
    case 0x3DF:
        return extReg(crtcExtIndex_);
    default:
        noRegister("no VGA register for a", port + 0x1C00, 1);
        return 0xFF;
    }
}

void MgaBoard::vgaWrite(uint32_t port, uint8_t value) {
    switch (port) {
    case 0x3C0:
        if (attrExpectIndex_)
            attrIndex_ = value;
        else
            attr_[attrIndex_ & 0x1F] = value;
        attrExpectIndex_ = !attrExpectIndex_;
        return;
    case 0x3C2:
        misc_ = value;
        return;
    case 0x3C4:
        seqIndex_ = value;
        return;
    case 0x3C5:
        seq_[seqIndex_ & 7] = value;
        return;
    case 0x3CE:
        gcIndex_ = value;
        return;
    case 0x3CF:
        gc_[gcIndex_ & 0xF] = value;
        return;
    case 0x3D4:
        crtcIndex_ = value;
        return;
    case 0x3D5: {
        const uint8_t i = crtcIndex_ & 0x3F;
        if (i <= 7 && (crtc_[0x11] & 0x80) != 0) {
            protectedWrites_++;
            return;
        }
        crtc_[i] = value;
        return;
    }
    case 0x3DA:
        feature_ = value;
        return;
    case 0x3DE:
        crtcExtIndex_ = value;
        return;
    case 0x3DF:
        extReg(crtcExtIndex_) = value;
        return;
    case 0x3C1:
    case 0x3CC:
        noRegister("a write to a read-only VGA register:", port + 0x1C00, 1);
        return;
    default:
        noRegister("no VGA register for a", port + 0x1C00, 1);
        return;
    }
}

// ---- DAC ----

uint8_t MgaBoard::dacRead(uint32_t offset) {
    switch (offset) {
    case DacWriteIndex:
        return lutWrite_;
    case DacPalette: {
        const uint8_t held = lut_[lutRead_][size_t(lutReadComponent_)];
        const uint8_t v = lutReadFault_ ? uint8_t(~held) : held;
        if (++lutReadComponent_ == 3) {
            lutReadComponent_ = 0;
            lutRead_++;
        }
        return v;
    }
    case DacReadIndex:
        return lutRead_;
    case DacData:
        return indexedRead(lutWrite_);
    default:
        return dacBytes_[offset];
    }
}

void MgaBoard::dacWrite(uint32_t offset, uint8_t value) {
    switch (offset) {
    case DacWriteIndex:
        lutWrite_ = value;
        lutWriteComponent_ = 0;
        return;
    case DacPalette:
        lutPending_[size_t(lutWriteComponent_)] = value;
        if (++lutWriteComponent_ == 3) {
            lut_[lutWrite_++] = lutPending_;
            lutWriteComponent_ = 0;
        }
        return;
    case DacReadIndex:
        lutRead_ = value;
        lutReadComponent_ = 0;
        return;
    case DacData:
        indexedWrite(lutWrite_, value);
        return;
    default:
        dacBytes_[offset] = value;
        return;
    }
}

bool MgaBoard::pllPowered(bool pixel) const {
    return pixel ? (dac_[XPixelClock] & kPixelPllPower) != 0
                 : (configRead(CfgOption, 4) & kOptionPllPower) != 0;
}

uint32_t MgaBoard::pllKHz(bool pixel) const {
    const uint8_t base = pixel ? XPixPllM : XSysPllM;
    const uint32_t m = dac_[base] & 0x1F, n = dac_[base + 1] & 0x7F, p = dac_[base + 2] & 7;
    return uint32_t(uint64_t(pllRef_) * (n + 1) / ((m + 1) * (p + 1)));
}

bool MgaBoard::pllValid(bool pixel) const {
    const uint8_t base = pixel ? XPixPllM : XSysPllM;
    const uint32_t m = dac_[base], n = dac_[base + 1], p = dac_[base + 2] & 7;
    if (m < 1 || m > 6 || n < 7 || n > 127 || (p != 0 && p != 1 && p != 3 && p != 7) ||
        (dac_[base + 2] & 0xE0) != 0)
        return false;
    const uint32_t vco = pllRef_ * (n + 1) / (m + 1);
    return vco >= kVcoMin && vco <= vcoMax_;
}

void MgaBoard::reprogram(bool pixel) {
    Pll &pll = pixel ? pixPll_ : sysPll_;
    pll.locked = false;
    pll.cycled = false;
    pll.countdown = pllValid(pixel) && pllPowered(pixel) ? kLockReads : -1;
    pll.since = machine_.nowMicros();
}

uint8_t MgaBoard::indexedRead(uint8_t index) {
    if (index == XPixPllStatus || index == XSysPllStatus) {
        const bool pixel = index == XPixPllStatus;
        Pll &pll = pixel ? pixPll_ : sysPll_;
        bool mayLock = true;
        if (pixel && pllFixture_ == PllFixture::Never)
            mayLock = false;
        if (pllFixture_ == PllFixture::Retry && !pll.cycled)
            mayLock = false;
        if (!pll.locked && mayLock && pll.countdown > 0 &&
            (--pll.countdown == 0 || machine_.nowMicros() - pll.since >= kLockMicros))
            pll.locked = true;
        return pll.locked ? kPllLocked : 0;
    }
    if (index == XGpioData) {
        // Pins on a bus read its line; the others float high when released
        // and show what they drive.
        const uint8_t drive = dac_[XGpioDirection];
        uint8_t plain = uint8_t((dac_[XGpioData] & drive) | ~drive);
        // A DVD decoder pulls pin 6 low while the pin is released.
        if (dvd_ && (drive & 0x40) == 0)
            plain = uint8_t(plain & ~0x40);
        return uint8_t((plain & 0xC0) | (i2c_->readDacPins(drive, dac_[XGpioData]) & 0x3F));
    }
    return dac_[index];
}

void MgaBoard::indexedWrite(uint8_t index, uint8_t value) {
    switch (index) {
    case XPixPllStatus:
    case XSysPllStatus:
        noRegister("a write to a read-only PLL status register, DAC index", index, 1);
        return;
    case XPixPllM:
    case XPixPllN:
    case XPixPllP:
        dac_[index] = value;
        reprogram(true);
        return;
    case XSysPllM:
    case XSysPllN:
    case XSysPllP:
        if (optionSelectsClocks()) {
            const uint32_t option = configRead(CfgOption, 4);
            if ((option & kOptionPllSource) == 1 && (option & kOptionClockStop) == 0)
                machine_.fail("mga board: system PLL register " + hex(index) + " written while " +
                              "the PLL drives the running system clock (OPTION " + hex(option) +
                              ")");
        }
        toucanCheckPllWrite(index);
        dac_[index] = value;
        reprogram(false);
        return;
    case XPixelClock: {
        const bool was = pllPowered(true);
        dac_[index] = value;
        const bool now = pllPowered(true);
        if (was && !now) {
            pixPll_.locked = false;
            pixPll_.countdown = -1;
        } else if (!was && now) {
            pixPll_.cycled = true;
            pixPll_.countdown = pllValid(true) ? kLockReads : -1;
            pixPll_.since = machine_.nowMicros();
        }
        return;
    }
    case XGpioDirection:
    case XGpioData:
        dac_[index] = value;
        i2c_->setDacPins(dac_[XGpioDirection], dac_[XGpioData]);
        return;
    default:
        dac_[index] = value;
        return;
    }
}

// ---- the drawing engine ----

void MgaBoard::engineWrite(uint32_t offset, uint32_t value) {
    if (queued_ >= int(fifoEntries_)) {
        machine_.fail("mga engine: FIFO full (" + std::to_string(fifoEntries_) +
                      " entries): write of " + hex(value) + " at " + hex(offset) + " lost");
        return;
    }
    queued_++;
    const bool start = offset >= EngineFirst + kStartForm;
    // Only an operation can change video memory behind the processor's back:
    // set-up writes alone (plane mask, pixel width, origin) leave it open.
    if (start)
        machine_.guardVideoMemory(vram_, true);
    engine_[((start ? offset - kStartForm : offset) - EngineFirst) / 4] = value;
    if (start)
        engineStart();
}

void MgaBoard::retire(int entries) {
    queued_ = std::max(0, queued_ - entries);
}

// Called at status reads: once the FIFO is empty the engine finishes.
void MgaBoard::settleEngine() {
    if (queued_ == 0 && busyReads_ > 0)
        busyReads_--;
    if (!busy())
        machine_.guardVideoMemory(vram_, false);
}

void MgaBoard::drain() {
    queued_ = 0;
    busyReads_ = 0;
    machine_.guardVideoMemory(vram_, false);
}

bool MgaBoard::pixelAt(int x, int y, uint8_t *&at) const {
    const int64_t pitch = int32_t(eng(EngPitch));
    const int64_t line = int64_t(int32_t(eng(EngOrigin))) + int64_t(y) * pitch;
    if (x < int32_t(eng(EngClipLeft)) || x > int32_t(eng(EngClipRight)) ||
        line < int32_t(eng(EngClipTop)) || line > int32_t(eng(EngClipBottom)))
        return false;
    const int64_t bytes = int64_t(1) << (eng(EngPixelWidth) & 3);
    const int64_t offset = (line + x) * bytes;
    if (offset < 0 || offset + bytes > int64_t(vram_.size())) {
        const_cast<Machine &>(machine_).fail("mga engine: pixel (" + std::to_string(x) + ", " +
                                             std::to_string(y) + ") outside video memory");
        return false;
    }
    at = vram_.data() + offset;
    return true;
}

void MgaBoard::plot(int x, int y, uint32_t src) {
    uint8_t *at = nullptr;
    if (!pixelAt(x, y, at))
        return;
    const int bytes = 1 << (eng(EngPixelWidth) & 3);
    uint32_t dst = 0;
    std::memcpy(&dst, at, size_t(bytes));
    const uint32_t alu = engineAlu_;
    const uint32_t merged = xMergeAlu(int(alu), src, dst, eng(EngPlaneMask));
    std::memcpy(at, &merged, size_t(bytes));
}

void MgaBoard::engineFill(int) {
    const int32_t top = int32_t(eng(EngDestY)), lines = int32_t(eng(EngLength));
    const int32_t left = int32_t(eng(EngLeft)), right = int32_t(eng(EngRight));
    const uint32_t fg = eng(EngForeground);
    for (int32_t y = top; y < top + lines; y++)
        for (int32_t x = left; x < right; x++)
            plot(x, y, fg);
    fills_++;
}

void MgaBoard::enginePoint(int) {
    const uint32_t from = eng(EngStart), to = eng(EngEnd);
    if (from != to) {
        machine_.fail("mga engine: a line from " + hex(from) + " to " + hex(to) +
                      " (only points are drawn this way)");
        return;
    }
    plot(int16_t(from & 0xFFFF), int16_t(from >> 16), eng(EngForeground));
    points_++;
}

// The line engine steps as a zero-width segment's terms say: a pixel, then
// a diagonal step while the error is positive, else a step along the major
// axis; the terms are taken as the full 32-bit words written.
void MgaBoard::engineLine(int) {
    const uint32_t sign = eng(EngSign);
    const int dx = (sign & 2) ? -1 : 1, dy = (sign & 4) ? -1 : 1;
    const bool xMajor = (sign & 1) != 0;
    int64_t err = int32_t(eng(EngError));
    const int64_t e1 = int32_t(eng(EngErrorMinor)), e2 = int32_t(eng(EngErrorDiagonal));
    int64_t x = int32_t(eng(EngLineX)), y = int32_t(eng(EngDestY));
    const int32_t len = int32_t(eng(EngLength));
    const uint32_t fg = eng(EngForeground);
    for (int32_t i = 0; i < len; i++) {
        if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX)
            plot(int(x), int(y), fg);
        if (err > 0) {
            x += dx;
            y += dy;
            err += e2;
        } else {
            if (xMajor)
                x += dx;
            else
                y += dy;
            err += e1;
        }
    }
    lines_++;
}

// The 16 x 8 pattern: row r in the low (even r) or high (odd r) half of
// pattern word r / 2, column c in bit c; 0x1C50 holds the x shift in bits
// 0-3 and the y shift in bits 4-6, added to the pixel's coordinates.
bool MgaBoard::patternBit(int x, int y) const {
    const uint32_t shift = eng(EngShift);
    const int col = int((uint32_t(x) + (shift & 0xF)) & 0xF);
    const int row = int((uint32_t(y) + ((shift >> 4) & 7)) & 7);
    const uint32_t word = eng(EngPattern + uint32_t(row / 2) * 4);
    const uint32_t half = (row & 1) ? word >> 16 : word & 0xFFFF;
    return ((half >> col) & 1) != 0;
}

void MgaBoard::enginePatternFill(int, bool transparent) {
    const int32_t top = int32_t(eng(EngDestY)), lines = int32_t(eng(EngLength));
    const int32_t left = int32_t(eng(EngLeft)), right = int32_t(eng(EngRight));
    const uint32_t fg = eng(EngForeground), bg = eng(EngBackground);
    for (int32_t y = top; y < top + lines; y++)
        for (int32_t x = left; x < right; x++) {
            const bool on = patternBit(x, y);
            if (on || !transparent)
                plot(x, y, on ? fg : bg);
        }
    fills_++;
}

void MgaBoard::engineCopy(int) {
    engineBlit(Source::Pixels, false);
}

void MgaBoard::engineBlit(Source source, bool transparent) {
    const uint32_t sign = eng(EngSign);
    const int32_t lines = int32_t(eng(EngLength)), srcPitch = int32_t(eng(EngSourcePitch));
    const int32_t top = int32_t(eng(EngDestY));
    const int32_t left = int32_t(eng(EngLeft)), right = int32_t(eng(EngRight));
    const int64_t start = int32_t(eng(EngSourceStart)), end = int32_t(eng(EngSourceEnd));
    if (right < left) {
        machine_.fail("mga engine: a blit whose right edge " + std::to_string(right) +
                      " lies left of its left edge " + std::to_string(left));
        return;
    }
    // Only the screen copy reads the direction bits; blits from staged
    // memory run left to right, top to bottom.
    const bool screenCopy = (eng(EngCommand) & ~0x000F0010u) == 0x04004008u;
    const bool rtl = screenCopy && (sign & 1) != 0, up = screenCopy && (sign & 4) != 0;
    const int32_t width = right - left + 1;
    if (end != (rtl ? start - (width - 1) : start + (width - 1))) {
        machine_.fail("mga engine: blit source from " + hex(uint32_t(start)) + " to " +
                      hex(uint32_t(end)) + " is not " + std::to_string(width) + " pixels " +
                      (rtl ? "right to left" : "left to right"));
        return;
    }
    const int bytes = 1 << (eng(EngPixelWidth) & 3);
    const uint32_t fg = eng(EngForeground), bg = eng(EngBackground);
    for (int32_t i = 0; i < lines; i++) {
        const int32_t y = up ? top - i : top + i;
        const int64_t row = start + int64_t(i) * srcPitch;
        for (int32_t k = 0; k < width; k++) {
            const int64_t at = rtl ? row - k : row + k;
            const int x = rtl ? right - k : left + k;
            if (source == Source::Bits) {
                // Bit addresses, least significant bit of each byte first.
                if (at < 0 || (at >> 3) >= int64_t(vram_.size())) {
                    machine_.fail("mga engine: expansion source outside video memory");
                    return;
                }
                const bool on = ((vram_.data()[at >> 3] >> (at & 7)) & 1) != 0;
                if (on || !transparent)
                    plot(x, y, on ? fg : bg);
                continue;
            }
            const int64_t from = at * bytes;
            if (from < 0 || from + bytes > int64_t(vram_.size())) {
                machine_.fail("mga engine: blit source outside video memory");
                return;
            }
            uint32_t src = 0;
            std::memcpy(&src, vram_.data() + from, size_t(bytes));
            plot(x, y, src);
        }
    }
    if (source == Source::Bits)
        expansions_++;
    else
        copies_++;
}

void MgaBoard::engineStart() {
    const uint32_t cmd = eng(EngCommand);
    uint32_t alu = 0;
    for (int b = 0; b < 4; b++)
        if (cmd & (0x10000u << b))
            alu |= 8u >> b;
    engineAlu_ = alu;
    busyReads_ = kBusyReads;
    const bool readsDestination = alu != 0 && alu != 3 && alu != 12 && alu != 15;
    if (((cmd & 0x10) != 0) != readsDestination) {
        machine_.fail("mga engine: command " + hex(cmd) + ": bit 4 disagrees with alu " +
                      std::to_string(alu));
        return;
    }
    const uint32_t form = cmd & ~0x000F0010u;
    const bool transparent = (form & 0x40000000u) != 0;
    if ((form & ~0x04000000u) == 0x40007804u)
        engineFill(int(alu));
    else if ((form & ~0x40000000u) == 0x3004u)
        enginePatternFill(int(alu), transparent);
    else if (form == 0x44000003u)
        enginePoint(int(alu));
    else if (form == 0x04004800u)
        engineLine(int(alu));
    else if (form == 0x04004008u || form == 0x04006008u)
        engineBlit(Source::Pixels, false);
    else if ((form & ~0x40000000u) == 0x6008u)
        engineBlit(Source::Bits, transparent);
    else
        machine_.fail("mga engine: command word " + hex(cmd) + " is not one it runs");
}

// ---- the picture ----

MgaBoard::Picture MgaBoard::picture() const {
    Picture p;
    const auto bit = [](uint32_t v, int from, int to) { return ((v >> from) & 1) << to; };
    const uint32_t ext0 = crtcExt_[0], ext1 = crtcExt_[1], ext2 = crtcExt_[2];
    p.hires = (crtcExt_[3] & 0x80) != 0;
    p.interlaced = (ext0 & 0x80) != 0;
    p.doubled = (crtc_[9] & 1) != 0;
    p.blanked = (seq_[1] & 0x20) != 0;
    const uint32_t htotal = (crtc_[0] | bit(ext1, 0, 8)) + 5;
    const uint32_t hdisp = uint32_t(crtc_[1]) + 1;
    const uint32_t cr7 = crtc_[7];
    const uint32_t vtotal = (crtc_[6] | bit(cr7, 0, 8) | bit(cr7, 5, 9) | (ext2 & 3) << 10) + 2;
    const uint32_t vdisp = (crtc_[0x12] | bit(cr7, 1, 8) | bit(cr7, 6, 9) | bit(ext2, 2, 10)) + 1;
    p.width = int(hdisp * 8);
    int lines = int(vdisp);
    if (p.doubled)
        lines /= 2;
    if (p.interlaced)
        lines *= 2;
    p.height = lines;
    switch (dac_[XPixelFormat] & 7) {
    case 0:
        p.bitsPerPixel = 8;
        break;
    case 1:
        p.bitsPerPixel = 15;
        break;
    case 2:
        p.bitsPerPixel = 16;
        break;
    case 3:
        p.bitsPerPixel = 24;
        break;
    case 7:
        p.bitsPerPixel = 32;
        break;
    default:
        p.bitsPerPixel = 0;
        break;
    }
    // The offset counts 16-byte units of a line; an interlaced picture
    // takes every other line from memory.
    const uint32_t offset = crtc_[0x13] | ((ext0 >> 4) & 3) << 8;
    p.pitchBytes = offset * 16 / (p.interlaced ? 2 : 1);
    const uint32_t start = crtc_[0x0D] | uint32_t(crtc_[0x0C]) << 8 | (ext0 & 0xF) << 16 |
                           bit(ext0, 6, 20) | (dualHead() ? bit(crtcExt8_, 0, 21) : 0);
    p.startBytes = start * 8;
    const bool pllDrives = (dac_[XPixelClock] & 3) == 1 && (misc_ & 0x0C) == 0x0C &&
                           (dac_[XPixelClock] & kPixelClockOff) == 0;
    p.clockKHz = pllDrives && pixPll_.locked ? pllKHz(true) : 0;
    const uint64_t dots = uint64_t(htotal) * 8 * vtotal;
    if (p.clockKHz != 0 && dots != 0)
        p.refreshHz = int((uint64_t(p.clockKHz) * 1000 * (p.interlaced ? 2 : 1) + dots / 2) / dots);
    return p;
}

std::string MgaBoard::describe() const {
    const Picture p = picture();
    std::string s = "mga " + hex(deviceId_) + " rev " + std::to_string(revision_) + ", " +
                    std::to_string(vram_.size() / kMB) + " MB";
    std::string second;
    if (dualHead() && (crtc2_[0] & 1) != 0) {
        const SecondPicture q = secondPicture();
        second = ", second CRTC " + std::to_string(q.width) + "x" + std::to_string(q.height) +
                 " format " + std::to_string(q.format) + " offset " +
                 std::to_string(q.offsetBytes) + (q.onDac ? " on the DAC" : "");
    }
    if (!p.hires)
        return s + ", VGA mode" + second;
    s += ", " + std::to_string(p.width) + "x" + std::to_string(p.height) + "x" +
         std::to_string(p.bitsPerPixel) + " pitch " + std::to_string(p.pitchBytes) + " at " +
         std::to_string(p.clockKHz) + " kHz (" + std::to_string(p.refreshHz) + " Hz)";
    if (p.interlaced)
        s += ", interlaced";
    s += p.blanked ? ", blanked" : ", picture on";
    if (romShown_)
        s += ", option ROM shown";
    return s + second;
}

namespace {

AdapterRegistration mgaRegistration("mga",
                                    [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
                                        return std::make_unique<MgaBoard>(cfg, m);
                                    });

} // namespace

} // namespace sim

// ---- the second CRTC (dual-head chips) ----

namespace sim {

namespace {
constexpr uint32_t kCrtc2First = 0x3C10, kCrtc2End = 0x3C50;
// The vertical count belongs to the board's status group, not to this one.
constexpr uint32_t kCrtc2VCount = 0x3C48;
constexpr uint32_t kCrtc2Enable = 0x1, kCrtc2OnDac = 0x100000;
} // namespace

bool MgaBoard::crtc2Holds(uint32_t offset) const {
    return dualHead() && offset >= kCrtc2First && offset < kCrtc2End &&
           (offset & ~3u) != kCrtc2VCount;
}

uint32_t MgaBoard::crtc2Read(uint32_t offset, int width) {
    if (width != 4 || (offset & 3) != 0) {
        noRegister("the second CRTC takes 32-bit accesses only, not a", offset, width);
        return widthMask(width);
    }
    return crtc2_[(offset - kCrtc2First) / 4];
}

void MgaBoard::crtc2Write(uint32_t offset, int width, uint32_t value) {
    if (width != 4 || (offset & 3) != 0) {
        noRegister("the second CRTC takes 32-bit accesses only, not a", offset, width);
        return;
    }
    crtc2_[(offset - kCrtc2First) / 4] = value;
}

uint8_t &MgaBoard::extReg(uint8_t index) {
    if (dualHead() && index == 8)
        return crtcExt8_;
    return crtcExt_[index & 7];
}

MgaBoard::SecondPicture MgaBoard::secondPicture() const {
    SecondPicture p;
    const uint32_t control = crtc2(0x3C10);
    p.enabled = (control & kCrtc2Enable) != 0;
    p.onDac = (control & kCrtc2OnDac) != 0;
    const uint32_t hp = crtc2(0x3C14), hs = crtc2(0x3C18), vp = crtc2(0x3C1C), vs = crtc2(0x3C20);
    p.width = int(((hp >> 16) & 0xFFF) + 8);
    p.htotal = int((hp & 0xFFF) + 8);
    p.hsyncStart = int((hs & 0xFFF) + 8);
    p.hsyncEnd = int(((hs >> 16) & 0xFFF) + 8);
    p.height = int(((vp >> 16) & 0xFFF) + 1);
    p.vtotal = int((vp & 0xFFF) + 1);
    p.vsyncStart = int((vs & 0xFFF) + 1);
    p.vsyncEnd = int(((vs >> 16) & 0xFFF) + 1);
    p.format = int((control >> 21) & 7);
    p.bitsPerPixel = p.format == 1 ? 15 : p.format == 2 ? 16 : p.format == 4 ? 32 : 0;
    p.offsetBytes = crtc2(0x3C40);
    p.planeStarts = {crtc2(0x3C2C), crtc2(0x3C28), crtc2(0x3C3C),
                     crtc2(0x3C38), crtc2(0x3C34), crtc2(0x3C30)};
    p.startBytes = crtc2(0x3C28);
    p.dataControl = uint8_t(crtc2(0x3C4C));
    return p;
}

uint32_t MgaBoard::displayPitch() const {
    if (dualHead()) {
        const SecondPicture s = secondPicture();
        if (s.enabled && s.onDac)
            return s.offsetBytes;
    }
    return picture().pitchBytes;
}

} // namespace sim

namespace sim {

// ---- the toucan chips (device 0x0525) ----
//
// Choices where the hardware description leaves details open:
// - Configuration 0x54 selects the graphics, memory and warp clocks: source
//   in bits 0-1, 10-11 and 20-21 (0 the PCI clock, otherwise a PLL), divider
//   codes in bits 3-5, 13-15 and 23-25, duty in 6-9, 16-19 and 26-29. It
//   powers on with every clock halved from the PCI clock. Any change to it
//   while OPTION bit 2 is clear (before or after the write) is reported, and
//   so is a write of the system PLL's M, N or P while a clock runs from it
//   (a source field not 0 and OPTION bit 2 clear).
// - Configuration 0x50 bits 24-27 select the codec clock (plain storage).
// - Configuration 0xE0 bits 0-1 at 3 hold the chip in reset; taking them
//   back to 0 resets the configuration header (0x04, 0x0C, 0x10, 0x14,
//   0x30, 0x3C; the subsystem id survives) to its power-on values, and the
//   software must write it back. A write that leaves a read-only header
//   dword (0x00-0x3C, 0xF8) as it is, is taken as such a restore and
//   accepted; every other write to a read-only dword stays reported.
// - Register 0x1E4C bit 3 set and then cleared by byte writes measures the
//   buffer compensation into byte 1 (0x1E4D): 0x2A. Byte 1 otherwise holds
//   what was written. The fixture COMPENSATION_ZERO_READS makes the first
//   reads of 0x1E4D answer 0 whatever it holds (default none). It never
//   stays 0: the driver's loop around it has no bound.
// - Register 0x3C48 (32-bit, read only) counts the second controller's
//   lines: 0 to 524, one line each 32 us of virtual time and one each read
//   (a poll on it sees it move even while no time passes).

void MgaBoard::toucanPowerOn(const graf::Config &cfg) {
    toucan_.zeroReads = intKey(cfg, "COMPENSATION_ZERO_READS", 0);
    if (toucan_.zeroReads < 0)
        throw std::invalid_argument("mga board: COMPENSATION_ZERO_READS is 0 or more");
    config_->set(CfgOption3, 4, kToucanClockPowerOn);
    condorPowerOn();
    for (int reg = 0; reg <= 0x3C; reg += 4)
        toucan_.header[size_t(reg / 4)] = config_->get(reg, 4);
}

bool MgaBoard::toucanRestoresHeader(int reg, int size, uint32_t value) {
    if (deviceId_ != 0x0525 || size != 4 || (reg & 3) != 0 || config_->writableDword(reg / 4) != 0)
        return false;
    if (reg > 0x3C && reg != CfgAgpCommand)
        return false;
    return config_->get(reg, 4) == value;
}

void MgaBoard::toucanConfigWritten(int reg, uint32_t option3, uint32_t power) {
    if (deviceId_ != 0x0525)
        return;
    const uint32_t option = configRead(CfgOption, 4);
    if (reg / 4 == CfgOption3 / 4 || reg / 4 == CfgOption / 4) {
        const uint32_t now = configRead(CfgOption3, 4);
        if (now != option3 && (option & kOptionClockStop) == 0)
            machine_.fail("mga board: clock select (configuration 0x54) changed from " +
                          hex(option3) + " to " + hex(now) + " while the clock runs (OPTION " +
                          hex(option) + ")");
    }
    if (reg / 4 == CfgPower / 4) {
        const uint32_t now = configRead(CfgPower, 4) & 3;
        if ((power & 3) == 3 && now == 0) {
            toucan_.resets++;
            for (int r :
                 {CfgCommand, CfgLatency, CfgFrameBuffer, CfgRegisters, CfgRomBase, CfgInterrupt})
                config_->set(r, 4, toucan_.header[size_t(r / 4)]);
            config_->set(CfgCommand, 4, toucan_.header[CfgCommand / 4] & ~0x7u);
            config_->set(CfgFrameBuffer, 4, 0);
            config_->set(CfgRegisters, 4, 0);
            updateRom();
        }
    }
}

void MgaBoard::toucanCheckPllWrite(uint8_t index) {
    if (deviceId_ != 0x0525)
        return;
    const uint32_t select = configRead(CfgOption3, 4), option = configRead(CfgOption, 4);
    if ((select & kToucanSources) != 0 && (option & kOptionClockStop) == 0)
        machine_.fail("mga board: system PLL register " + hex(index) +
                      " written while a clock runs from it (configuration 0x54 " + hex(select) +
                      ", OPTION " + hex(option) + ")");
}

bool MgaBoard::toucanRead(uint32_t offset, int width, uint32_t &value) {
    if (deviceId_ != 0x0525)
        return false;
    if (offset == kToucanCompensation && width == 1 && toucan_.zeroReads > 0) {
        toucan_.zeroReads--;
        value = 0;
        return true;
    }
    if (offset == kToucanLineCount && width == 4) {
        toucan_.lineReads++;
        value = uint32_t((machine_.nowMicros() / 32 + toucan_.lineReads) % 525);
        return true;
    }
    return false;
}

} // namespace sim

namespace sim {

void MgaBoard::toucanWritten(uint32_t offset, int width, uint32_t value) {
    if (deviceId_ != 0x0525 || offset != kToucanCompensation - 1 || width != 1)
        return;
    if ((value & 0x8) != 0) {
        toucan_.measuring = true;
        return;
    }
    if (!toucan_.measuring)
        return;
    toucan_.measuring = false;
    for (auto &[at, held] : plainRegs_)
        if (at == kToucanCompensation - 1)
            held = (held & ~0xFF00u) | kToucanCompensationValue << 8;
}

} // namespace sim

namespace sim {

// ---- the condor chips (device 0x0525, revision 0x80 and above) ----
//
// Choices where the hardware description leaves details open:
// - The video BIOS has run before the driver: the clock select
//   (configuration 0x54) holds toucan's dividers with every clock taken from
//   the system PLL, which runs locked at its power-on values. A condor whose
//   board data keeps the driver from programming the clock works on it; one
//   that lets the driver program it must first move the clocks off the PLL
//   (the toucan checks report otherwise).
// - Register 0x1E4C (the toucan revision-0 power-up word and revision-1
//   buffer compensation) does not exist: a write to it is reported.

bool MgaBoard::condor() const {
    return deviceId_ == 0x0525 && revision_ >= kCondorRevision;
}

void MgaBoard::condorPowerOn() {
    if (condor())
        config_->set(CfgOption3, 4, kCondorClockBios);
}

bool MgaBoard::condorLacks(uint32_t word) const {
    return condor() && word == kCondorNoCompensation;
}

} // namespace sim
