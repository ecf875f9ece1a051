// The fuska board model; its choices are listed in fuska_adapter.h.
#include "models/fuska_adapter.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint32_t kDisplayOffsetLow = 0x4C, kDisplayOffsetB8 = 0x6C, kDisplayOffsetB9 = 0x74,
                   kPaletteControl = 0xB0, kPixelFormat = 0xC0, kCursorPosition = 0xE0,
                   kCursorPreset = 0xE4, kCursorControl = 0xE6, kCursorLocation = 0xE8,
                   kDisplayTiling = 0xEA, kModeControl = 0x3FC;
constexpr uint8_t kPaletteBlank = 0x80, kPaletteExtended = 0x08;
constexpr uint8_t SR07 = 0x07;

struct DisplayReg {
    uint32_t offset;
    int width;
};
constexpr DisplayReg kDisplayRegs[] = {
    {kDisplayOffsetLow, 1}, {kDisplayOffsetB8, 1}, {kDisplayOffsetB9, 1}, {kPaletteControl, 1},
    {kPixelFormat, 2},      {kCursorPosition, 4},  {kCursorPreset, 2},    {kCursorControl, 2},
    {kCursorLocation, 2},   {kDisplayTiling, 2},   {kModeControl, 4},
};

template <class Regs> uint32_t displayOffsetOf(const Regs &r) {
    return r.get(kDisplayOffsetLow, 1) | (r.get(kDisplayOffsetB8, 1) & 0x10) << 4 |
           (r.get(kDisplayOffsetB9, 1) & 1) << 9;
}

bool isDisplayReg(uint32_t offset, int width) {
    for (const DisplayReg &r : kDisplayRegs)
        if (r.offset == offset && r.width == width)
            return true;
    return false;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

uint32_t memSizeOf(const graf::Config &cfg) {
    auto it = cfg.ints.find("MEMSIZE");
    uint32_t size =
        it == cfg.ints.end() ? FuskaAdapter::kDefaultMemSize : static_cast<uint32_t>(it->second);
    if (size == 0 || size % 0x10000 != 0 || size > 0xFF0000)
        throw std::invalid_argument("fuska adapter: MEMSIZE must be a multiple of 64 KB up to "
                                    "0xFF0000");
    return size;
}

} // namespace

// The register block: engine registers to the engine, display registers
// stored here.
class FuskaRegisters : public MemDevice {
  public:
    explicit FuskaRegisters(FuskaEngine &engine) : engine_(engine) {}

    uint32_t read(uint32_t offset, int width) override {
        if (FuskaEngine::owns(offset))
            return engine_.read(offset, width);
        if (!isDisplayReg(offset, width)) {
            reject("read", offset, width, 0);
            return 0;
        }
        return get(offset, width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (FuskaEngine::owns(offset)) {
            if (offset == fuskareg::Extent && beforeStart)
                beforeStart();
            engine_.write(offset, width, value);
            return;
        }
        if (!isDisplayReg(offset, width)) {
            reject("write", offset, width, value);
            return;
        }
        for (int i = 0; i < width; i++)
            bytes_[offset + uint32_t(i)] = uint8_t(value >> (8 * i));
    }
    uint32_t get(uint32_t offset, int width) const {
        uint32_t v = 0;
        for (int i = 0; i < width; i++)
            v |= uint32_t(bytes_[offset + uint32_t(i)]) << (8 * i);
        return v;
    }

    // Called before each write that starts an engine operation.
    std::function<void()> beforeStart;

  private:
    void reject(const char *what, uint32_t offset, int width, uint32_t value) {
        std::string s = "fuska: " + std::to_string(8 * width) + "-bit " + what + " at " +
                        hex(offset) + " is not a register access";
        if (std::string(what) == "write")
            s += " (value " + hex(value) + ")";
        Machine::current().fail(s);
    }

    FuskaEngine &engine_;
    std::array<uint8_t, FuskaAdapter::kRegsSize> bytes_{};
};

class FuskaBoard {
  public:
    FuskaBoard(graf::Config &cfg, Machine &m) : vram(memSizeOf(cfg)), engine(vram), regs(engine) {
        vga.attach(m);
        vga.dac.onEntryWrite = [this](uint8_t index, vga::Dac::Entry raw) {
            if (!(regs.get(kPaletteControl, 1) & kPaletteExtended))
                return false;
            extended[index & 15] = {static_cast<uint8_t>(raw.r & 0x3F),
                                    static_cast<uint8_t>(raw.g & 0x3F),
                                    static_cast<uint8_t>(raw.b & 0x3F)};
            return true;
        };
        regs.beforeStart = [this] { checkDisplay(); };
        mapAreas(cfg, m);
    }

    // The picture is only right when the display reads lines as long as the
    // ones the engine draws, with the same tiles and pixel size. Checked when
    // drawing starts, in graphics mode only (text mode does not show video
    // memory); a disagreement is reported once until it changes.
    void checkDisplay() {
        if (!(vga.seq.reg(SR07) & 1))
            return;
        const FuskaEngineRegs &e = engine.regs();
        const uint32_t shown = displayOffsetOf(regs) * 8, line = engine.pitch();
        const uint32_t tiles = (regs.get(kDisplayTiling, 2) >> 8) & 0xFF;
        const uint32_t shownBytes = ((regs.get(kPixelFormat, 2) >> 12) & 3) + 1;
        const uint32_t drawnBytes = ((e.pixelSize >> 13) & 3) + 1;
        std::string why;
        if (shown != line)
            why = "the display shows lines of " + std::to_string(shown) +
                  " bytes, the engine draws lines of " + std::to_string(line);
        else if (tiles != e.tilesPerLine)
            why = "display tiling control " + hex(regs.get(kDisplayTiling, 2)) +
                  " disagrees with " + std::to_string(e.tilesPerLine) + " tiles per line";
        else if (shownBytes != drawnBytes)
            why = "pixel format " + hex(regs.get(kPixelFormat, 2)) + " shows " +
                  std::to_string(shownBytes) + " bytes a pixel, the engine draws " +
                  std::to_string(drawnBytes);
        if (why != displayFault && !why.empty())
            Machine::current().fail("fuska: " + why);
        displayFault = why;
    }

    void mapAreas(graf::Config &cfg, Machine &m) {
        for (auto &area : cfg.areas) {
            if (area.name.empty() || area.name == "MEMORY") {
                fb = m.addLinearAperture("MEMORY", area.physBase, area.length, vram);
                area.mapped = fb;
            } else if (area.name == "REGS") {
                if (area.length < FuskaAdapter::kRegsSize)
                    throw std::invalid_argument("fuska adapter: the REGS area must be at least "
                                                "0x800 bytes, it is " +
                                                hex(area.length));
                regBlock = m.addArea("REGS", area.physBase, area.length);
                area.mapped = regBlock;
                m.mapDevice(regBlock, area.length, &regs);
            }
        }
        mapPlainAreas(cfg, m);
    }

    VideoMemory vram;
    FuskaEngine engine;
    FuskaRegisters regs;
    vga::VgaCore vga;
    std::array<vga::Dac::Entry, 16> extended{};
    uint8_t *fb = nullptr;
    uint8_t *regBlock = nullptr;
    std::string displayFault; // the disagreement last reported
};

FuskaAdapter::FuskaAdapter(graf::Config &cfg, Machine &m) : board_(m.own<FuskaBoard>(cfg, m)) {}

VideoMemory *FuskaAdapter::vram() {
    return &board_->vram;
}
void FuskaAdapter::drain() {
    board_->engine.drain();
}
FuskaEngine &FuskaAdapter::engine() {
    return board_->engine;
}
vga::VgaCore &FuskaAdapter::vga() {
    return board_->vga;
}
uint8_t *FuskaAdapter::frameBuffer() const {
    return board_->fb;
}
uint8_t *FuskaAdapter::registers() const {
    return board_->regBlock;
}
uint32_t FuskaAdapter::memSize() const {
    return static_cast<uint32_t>(board_->vram.size());
}

uint32_t FuskaAdapter::reg(uint32_t offset, int width) const {
    return board_->regs.get(offset, width);
}
uint32_t FuskaAdapter::displayOffset() const {
    return displayOffsetOf(board_->regs);
}
bool FuskaAdapter::blanked() const {
    return reg(kPaletteControl, 1) & kPaletteBlank;
}
bool FuskaAdapter::extendedPalette() const {
    return reg(kPaletteControl, 1) & kPaletteExtended;
}
bool FuskaAdapter::graphicsMode() const {
    return board_->vga.seq.reg(SR07) & 1;
}
bool FuskaAdapter::cursorEnabled() const {
    return reg(kCursorControl, 2) & 1;
}
int FuskaAdapter::cursorX() const {
    return static_cast<int>(reg(kCursorPosition, 4) & 0xFFFF);
}
int FuskaAdapter::cursorY() const {
    return static_cast<int>(reg(kCursorPosition, 4) >> 16);
}
int FuskaAdapter::cursorHiddenX() const {
    return static_cast<int>((reg(kCursorPreset, 2) >> 8) & 0x7F);
}
int FuskaAdapter::cursorHiddenY() const {
    return static_cast<int>(reg(kCursorPreset, 2) & 0x7F);
}
uint32_t FuskaAdapter::cursorOffset() const {
    return reg(kCursorLocation, 2) << 8;
}

FuskaAdapter::CursorImage FuskaAdapter::cursorImage() const {
    CursorImage image{};
    const uint32_t pitch = ((reg(kDisplayTiling, 2) >> 8) & 0xFF) * 128;
    const uint8_t *mem = board_->vram.data();
    const size_t size = board_->vram.size();
    for (int y = 0; y < kCursorSize; y++) {
        const size_t at =
            cursorOffset() + static_cast<size_t>(y / 8) * pitch + static_cast<size_t>(y % 8) * 16;
        if (at + 16 > size)
            break;
        const uint8_t *plane0 = mem + at;
        const uint8_t *plane1 = plane0 + 8;
        for (int x = 0; x < kCursorSize; x++) {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            const bool p1 = plane1[x / 8] & bit, p0 = plane0[x / 8] & bit;
            image[static_cast<size_t>(y)][static_cast<size_t>(x)] =
                !p1 ? CursorPixel::Transparent
                    : (p0 ? CursorPixel::Foreground : CursorPixel::Background);
        }
    }
    return image;
}

vga::Dac::Entry FuskaAdapter::dacEntry(int index) const {
    return board_->vga.dac.entry(index);
}
vga::Dac::Entry FuskaAdapter::extendedEntry(int index) const {
    return board_->extended[static_cast<size_t>(index & 15)];
}

std::string FuskaAdapter::describe() const {
    std::string s = "fuska: " + std::to_string(memSize() / 1024) + " KB";
    s += graphicsMode() ? ", graphics mode" : ", text mode";
    s += ", " + std::to_string(board_->engine.regs().tilesPerLine) + " tiles per line";
    s += ", display pitch " + std::to_string(displayPitch());
    s += blanked() ? ", blanked" : ", picture on";
    s += ", cursor ";
    if (cursorEnabled())
        s += "at (" + std::to_string(cursorX()) + ", " + std::to_string(cursorY()) +
             "), image at " + hex(cursorOffset());
    else
        s += "off";
    return s;
}

namespace {

AdapterRegistration
    fuskaRegistration("fuska", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<FuskaAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
