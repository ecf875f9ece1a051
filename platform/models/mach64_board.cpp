// The "mach64" board model; its registers and choices are listed in
// mach64_board.h.
#include "models/mach64_board.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace sim {

namespace {

using namespace m64reg;

constexpr uint32_t kMemorySizes[] = {0x80000, 0x100000, 0x200000, 0x400000, 0x600000, 0x7F0000};
constexpr uint32_t kNewCodes[] = {0, 1, 3, 7, 9, 11};
constexpr uint32_t kWindowBytes = 0x10000, kPage = 0x8000;
constexpr uint32_t kAperture4 = 0x400000, kAperture8 = 0x800000;
constexpr int kMaxHiddenReports = 8;
constexpr int kCursorSize = 64;
constexpr uint32_t kDacCursorType = 5;

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

bool newClassChip(uint32_t chipId) {
    const uint32_t type = chipId & 0xFFFF;
    switch (type) {
    case 0x4742:
    case 0x4744:
    case 0x4749:
    case 0x4750:
    case 0x4751:
        return true;
    case 0x4754:
    case 0x5654:
    case 0x4755:
    case 0x5655:
    case 0x4756:
    case 0x475A:
        return (chipId & 0x07000000) != 0;
    default:
        return false;
    }
}

size_t memorySlot(uint32_t size) {
    for (size_t i = 0; i < std::size(kMemorySizes); i++)
        if (kMemorySizes[i] == size)
            return i;
    throw std::invalid_argument("mach64 board: no memory size " + hex(size) +
                                " (0x80000, 0x100000, 0x200000, 0x400000, 0x600000, 0x7F0000)");
}

} // namespace

// The register block at one place of an area. `gated`: the REGS instance of
// a board whose block needs register 6's 128 KB map. `absent`: a place where
// the board decodes nothing and the bus floats.
class Mach64Block : public MemDevice {
  public:
    Mach64Block(Mach64Adapter &board, bool gated, bool absent)
        : board_(board), gated_(gated), absent_(absent) {}

    uint32_t read(uint32_t offset, int width) override {
        if (!visible("read", offset))
            return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
        if (width == 1)
            return board_.readByte(offset);
        const uint32_t word = board_.read(int(offset / 4));
        return width == 4 ? word : (word >> (8 * (offset & 3))) & 0xFFFF;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (!visible("write", offset))
            return;
        if (width == 1) {
            board_.writeByte(offset, uint8_t(value));
            return;
        }
        if (width != 4) {
            Machine::current().fail("mach64 board: a " + std::to_string(width * 8) +
                                    "-bit register write at " + hex(offset));
            return;
        }
        board_.write(int(offset / 4), value);
    }

  private:
    bool visible(const char *what, uint32_t offset) {
        if (absent_)
            return false;
        // Memory map select (bits 3-2) 0: 0xA0000-0xBFFFF, 128 KB.
        if (!gated_ || (board_.gr6() & 0x0C) == 0)
            return true;
        if (board_.hidden_++ < kMaxHiddenReports)
            Machine::current().fail(std::string("mach64 board: register ") + what + " at " +
                                    hex(offset) + " through REGS while graphics register 6 (" +
                                    hex(board_.gr6()) + ") hides the block");
        return false;
    }

    Mach64Adapter &board_;
    bool gated_;
    bool absent_;
};

Mach64Adapter::Mach64Adapter(graf::Config &cfg, Machine &m)
    : vram_(uint32_t(intKey(cfg, "MEMSIZE", 0x100000))), vga_(&vga::VgaCore::create(m)),
      regs_(256, 0), engine_(256, 0), draw_(vram_, m) {
    const uint32_t chipId = uint32_t(intKey(cfg, "CHIP_ID", 0x01004750));
    const size_t slot = memorySlot(uint32_t(vram_.size()));
    newClass_ = newClassChip(chipId);
    if (newClass_ && slot == 0)
        throw std::invalid_argument("mach64 board: a newer-class chip has no 512 KB code");
    const uint32_t code = newClass_ ? kNewCodes[slot] : uint32_t(slot);
    regs_[MemCntl] = uint32_t(intKey(cfg, "MEM_CNTL", int(code)));
    regs_[ConfigChipId] = chipId;
    regs_[ConfigStat0] = uint32_t(intKey(cfg, "DAC_TYPE", 0) & 7) << 9;

    const std::string engine = stringKey(cfg, "ENGINE", "normal");
    if (engine == "busy")
        fault_ = Fault::Busy;
    else if (engine == "fifo")
        fault_ = Fault::Fifo;
    else if (engine != "normal")
        throw std::invalid_argument("mach64 board: ENGINE is \"normal\", \"busy\" or \"fifo\", "
                                    "not \"" +
                                    engine + "\"");
    const std::string regsMode = stringKey(cfg, "REGS", "window");
    if (regsMode != "window" && regsMode != "always")
        throw std::invalid_argument("mach64 board: REGS is \"window\" or \"always\", not \"" +
                                    regsMode + "\"");
    overrun_ = std::find(cfg.flags.begin(), cfg.flags.end(), "FIFO_OVERRUN") != cfg.flags.end();
    busStatus_ = uint32_t(intKey(cfg, "BUS_ERROR", 0)) & 0xFF0000u;
    const bool apertureRegs =
        std::find(cfg.flags.begin(), cfg.flags.end(), "NO_APERTURE_REGS") == cfg.flags.end();

    for (graf::MemoryArea &area : cfg.areas) {
        const std::string name = area.name.empty() ? "MEMORY" : area.name;
        if (name == "MEMORY") {
            if (area.length != kWindowBytes)
                throw std::invalid_argument("mach64 board: MEMORY is the 64 KB VGA window, not " +
                                            hex(area.length) + " bytes");
            window_ = m.addWindow("MEMORY", area.physBase, area.length, vram_);
            area.mapped = window_;
        } else if (name == "REGS") {
            if (area.length < kWindowBytes)
                throw std::invalid_argument("mach64 board: REGS holds the block at 0xFC00, it "
                                            "is only " +
                                            hex(area.length) + " bytes");
            uint8_t *host = m.addArea("REGS", area.physBase, area.length);
            m.mapDevice(host + kRegsOffset, kBlockBytes,
                        m.own<Mach64Block>(*this, regsMode == "window", false));
            area.mapped = host;
        } else if (name == "APERTURE") {
            if (area.length != kAperture4 && area.length != kAperture8)
                throw std::invalid_argument("mach64 board: the aperture is 4 or 8 MB, not " +
                                            hex(area.length) + " bytes");
            if (vram_.size() > area.length - kBlockBytes)
                throw std::invalid_argument("mach64 board: " + hex(uint32_t(vram_.size())) +
                                            " bytes of memory do not fit a " + hex(area.length) +
                                            "-byte aperture");
            uint8_t *host = m.addLinearAperture("APERTURE", area.physBase, area.length, vram_);
            for (uint32_t place : {kAperture4, kAperture8}) {
                if (place > area.length)
                    continue;
                const bool block = apertureRegs && place == area.length;
                if (!block && place - kBlockBytes < vram_.size())
                    continue; // video memory answers there
                m.mapDevice(host + place - kBlockBytes, kBlockBytes,
                            m.own<Mach64Block>(*this, false, !block));
            }
            area.mapped = host;
        }
    }
    mapPlainAreas(cfg, m);
}

uint32_t Mach64Adapter::reg(int index) const {
    switch (index) {
    case BusCntl:
        return (regs_[BusCntl] & ~0xFF0000u) | busStatus_;
    default:
        return regs_[size_t(index & 0xFF)];
    }
}

void Mach64Adapter::retireOne() {
    if (fault_ == Fault::Fifo || fifo_.empty())
        return;
    auto [index, value] = fifo_.front();
    fifo_.pop_front();
    engine_[size_t(index)] = value;
    draw_.take(index, value);
    if (onEngineWrite)
        onEngineWrite(index, value);
}

uint32_t Mach64Adapter::read(int index) {
    switch (index) {
    case FifoStat: {
        retireOne();
        draw_.poll(fifo_.empty(), false);
        uint32_t v = fifo_.empty() ? 0 : (1u << fifo_.size()) - 1;
        if (fault_ == Fault::Fifo || fifoHold_ > 0)
            v |= 1;
        if (fifoHold_ > 0)
            fifoHold_--;
        return v | (overrun_ ? kFifoErr : 0);
    }
    case GuiStat: {
        retireOne();
        const bool working = draw_.poll(fifo_.empty(), true);
        bool busy = !fifo_.empty() || working || fault_ == Fault::Busy || busyHold_ > 0;
        if (busyHold_ > 0)
            busyHold_--;
        return busy ? 1 : 0;
    }
    default:
        return reg(index);
    }
}

void Mach64Adapter::engineReset() {
    resets_++;
    fifo_.clear();
    draw_.reset();
    overrun_ = false;
    fifoHold_ = busyHold_ = 0;
}

void Mach64Adapter::setReadPages(uint32_t value) {
    const uint32_t page0 = value & 0xFF, page1 = (value >> 16) & 0xFF;
    if (page1 != page0 + 1)
        Machine::current().fail("mach64 board: MEM_VGA_RP_SEL " + hex(value) +
                                " shows pages that are not one after the other");
    const uint64_t offset = uint64_t(page0) * kPage;
    if (offset + kWindowBytes > vram_.size()) {
        Machine::current().fail("mach64 board: MEM_VGA_RP_SEL " + hex(value) +
                                " shows pages beyond video memory");
        return;
    }
    windowOffset_ = uint32_t(offset);
    if (window_)
        Machine::current().setWindowOffset(window_, windowOffset_);
}

void Mach64Adapter::write(int index, uint32_t value) {
    if (index >= EngineFirst && index <= EngineLast) {
        if (index == FifoStat) {
            cursorColourSelect_ = value & 1;
            return;
        }
        if (index == GuiStat)
            return;
        if (!(regs_[GenTestCntl] & kEngineEnable)) {
            Machine::current().fail("mach64 board: engine register " + std::to_string(index) +
                                    " written while GEN_TEST_CNTL disables the engine");
            return;
        }
        if (fifo_.size() >= size_t(kFifoEntries)) {
            overrun_ = true;
            Machine::current().fail("mach64 board: engine register " + std::to_string(index) +
                                    " written with the FIFO full (" + std::to_string(kFifoEntries) +
                                    " entries queued)");
            return;
        }
        fifo_.emplace_back(index, value);
        regs_[size_t(index)] = value;
        draw_.queued(index);
        return;
    }
    switch (index) {
    case ConfigChipId:
    case ConfigStat0:
        return;
    case BusCntl:
        busStatus_ &= ~(value & 0xFF0000u);
        regs_[BusCntl] = value & ~0xFF0000u;
        return;
    case GenTestCntl:
        if ((regs_[GenTestCntl] & kEngineEnable) && !(value & kEngineEnable))
            engineReset();
        regs_[GenTestCntl] = value;
        return;
    case MemVgaRpSel:
        regs_[MemVgaRpSel] = value;
        setReadPages(value);
        return;
    default:
        regs_[size_t(index & 0xFF)] = value;
        return;
    }
}

uint8_t Mach64Adapter::readByte(uint32_t offset) {
    switch (offset) {
    case 0xC0:
        return uint8_t(vga_->dac.in(vga::port::DacWriteIndex, 1));
    case 0xC1:
        return uint8_t(vga_->dac.in(vga::port::DacData, 1));
    case 0xC2:
        return uint8_t(vga_->dac.in(vga::port::DacMask, 1));
    case 0xC3:
        return uint8_t(vga_->dac.in(vga::port::DacReadIndex, 1));
    default:
        return uint8_t(read(int(offset / 4)) >> (8 * (offset & 3)));
    }
}

void Mach64Adapter::writeByte(uint32_t offset, uint8_t value) {
    switch (offset) {
    case 0xC0:
        if (cursorColourSelect_) {
            dacCursorAt_ = (value & 1) * 3;
            return;
        }
        vga_->dac.out(vga::port::DacWriteIndex, 1, value);
        return;
    case 0xC1:
        if (cursorColourSelect_) {
            Rgb &c = dacCursor_[dacCursorAt_ / 3];
            (dacCursorAt_ % 3 == 0 ? c.red : dacCursorAt_ % 3 == 1 ? c.green : c.blue) = value;
            dacCursorAt_ = (dacCursorAt_ + 1) % 6;
            return;
        }
        vga_->dac.out(vga::port::DacData, 1, value);
        return;
    case 0xC2:
        vga_->dac.out(vga::port::DacMask, 1, value);
        return;
    case 0xC3:
        vga_->dac.out(vga::port::DacReadIndex, 1, value);
        return;
    default: {
        const int index = int(offset / 4);
        const int shift = int(8 * (offset & 3));
        write(index, (reg(index) & ~(0xFFu << shift)) | uint32_t(value) << shift);
        return;
    }
    }
}

void Mach64Adapter::drain() {
    settle();
    draw_.drain();
}

void Mach64Adapter::settle() {
    while (!fifo_.empty() && fault_ != Fault::Fifo)
        retireOne();
}

int Mach64Adapter::displayWidth() const {
    return int(((reg(CrtcHTotalDisp) >> 16) & 0xFF) + 1) * 8;
}

int Mach64Adapter::displayHeight() const {
    return int(((reg(CrtcVTotalDisp) >> 16) & 0x7FF) + 1);
}

uint32_t Mach64Adapter::displayPitch() const {
    static const uint32_t bytes[8] = {0, 0, 1, 2, 2, 3, 4, 0};
    if (!acceleratorDisplay())
        return 0;
    return (reg(CrtcOffPitch) >> 22) * 8 * bytes[pixelWidthCode()];
}

Mach64Adapter::CursorPixel Mach64Adapter::cursorImagePixel(int column, int row) const {
    constexpr int kRowBytes = 16;
    const uint64_t at = uint64_t(cursorImageOffset()) + uint64_t(row * kRowBytes + column / 4);
    if (column < 0 || column >= kCursorSize || row < 0 || row >= kCursorSize ||
        uint64_t(cursorImageOffset()) + kCursorSize * kRowBytes > vram_.size())
        return CursorPixel::Transparent;
    switch ((vram_.data()[at] >> (2 * (column % 4))) & 3) {
    case 0:
        return CursorPixel::Background;
    case 1:
        return CursorPixel::Foreground;
    case 2:
        return CursorPixel::Transparent;
    default:
        return CursorPixel::Invert;
    }
}

Mach64Adapter::CursorPixel Mach64Adapter::cursorAt(int x, int y) const {
    if (!cursorShown())
        return CursorPixel::Transparent;
    const int c = x - cursorX(), r = y - cursorY();
    if (c < 0 || r < 0 || c >= kCursorSize - cursorXOffset() || r >= kCursorSize - cursorYOffset())
        return CursorPixel::Transparent;
    return cursorImagePixel(cursorXOffset() + c, r);
}

Mach64Adapter::Rgb Mach64Adapter::cursorColour(bool foreground) const {
    if (((reg(ConfigStat0) >> 9) & 7) == kDacCursorType)
        return dacCursor_[foreground ? 1 : 0];
    const uint32_t v = reg(foreground ? CurClr1 : CurClr0);
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8)};
}

std::string Mach64Adapter::describe() const {
    std::string s = "mach64: " + std::to_string(vram_.size() / 1024) + " KB, chip " +
                    hex(reg(ConfigChipId)) + (newClass_ ? " (newer class)" : " (older class)");
    if (acceleratorDisplay())
        s += ", " + std::to_string(displayWidth()) + " x " + std::to_string(displayHeight()) +
             " pixel width code " + std::to_string(pixelWidthCode()) + ", line " +
             std::to_string(displayPitch()) + " bytes";
    else
        s += ", VGA display";
    s += blanked() ? ", blanked" : ", picture on";
    if (cursorShown())
        s += ", cursor at (" + std::to_string(cursorX()) + ", " + std::to_string(cursorY()) +
             ") offsets (" + std::to_string(cursorXOffset()) + ", " +
             std::to_string(cursorYOffset()) + ") image at " + hex(cursorImageOffset());
    s += ", " + std::to_string(fifo_.size()) + " FIFO entries";
    return s;
}

namespace {

AdapterRegistration
    mach64Registration("mach64", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<Mach64Adapter>(cfg, m);
    });

} // namespace

} // namespace sim
