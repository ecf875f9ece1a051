// The "nelto" board model; its registers and choices are listed in
// nelto_board.h.
#include "models/nelto_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t CR13 = 0x13, CR45 = 0x45, CR4A = 0x4A, CR4B = 0x4B, CR51 = 0x51, CR53 = 0x53,
                  CR58 = 0x58, CR59 = 0x59, CR5A = 0x5A;
constexpr uint8_t kCr53Mmio = 0x08, kCr58Linear = 0x10;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

NeltoEngine::Start startOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("ENGINE");
    if (it == cfg.strings.end() || it->second == "stopped")
        return NeltoEngine::Start::Stopped;
    if (it->second == "running")
        return NeltoEngine::Start::Running;
    if (it->second == "never")
        return NeltoEngine::Start::Never;
    if (it->second == "hangs")
        return NeltoEngine::Start::Hangs;
    throw std::invalid_argument("nelto board: ENGINE is \"stopped\", \"running\", \"never\" or "
                                "\"hangs\", not \"" +
                                it->second + "\"");
}

const graf::MemoryArea &memoryArea(const graf::Config &cfg) {
    for (const graf::MemoryArea &a : cfg.areas)
        if (a.name.empty() || a.name == "MEMORY")
            return a;
    throw std::invalid_argument("nelto board: no MEMORY area");
}

} // namespace

// The engine's register window, behind the chip's decoding registers.
class NeltoWindow : public MemDevice {
  public:
    NeltoWindow(VideoMemory &vram, Machine &m, NeltoEngine::Start start, const vga::Crtc &crtc,
                uint32_t physBase)
        : engine(vram, m, start), crtc_(crtc), physBase_(physBase) {}

    uint32_t read(uint32_t offset, int width) override {
        checkDecoding();
        return engine.read(offset, width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        checkDecoding();
        engine.write(offset, width, value);
    }

    NeltoEngine engine;
    int undecoded = 0;

  private:
    void checkDecoding() {
        std::string why;
        const uint32_t window = uint32_t(crtc_.reg(CR59)) << 24 | uint32_t(crtc_.reg(CR5A)) << 16;
        if (!(crtc_.reg(CR53) & kCr53Mmio))
            why = "the memory-mapped registers are off (CR53 " + hex(crtc_.reg(CR53)) + ")";
        else if (!(crtc_.reg(CR58) & kCr58Linear))
            why = "the linear window is off (CR58 " + hex(crtc_.reg(CR58)) + ")";
        else if (window != (physBase_ & 0xFFFF0000u))
            why = "the linear window is at " + hex(window) + " (CR59, CR5A), MEMORY at " +
                  hex(physBase_);
        if (!why.empty()) {
            undecoded++;
            if (why != fault_)
                Machine::current().fail("nelto board: engine register access while " + why);
        }
        fault_ = why;
    }

    const vga::Crtc &crtc_;
    uint32_t physBase_;
    std::string fault_;
};

NeltoAdapter::NeltoAdapter(graf::Config &cfg, Machine &m) : S3Adapter("nelto", cfg, m) {
    const graf::MemoryArea &area = memoryArea(cfg);
    if (area.length < kEngineOffset + neltoreg::kWindowSize)
        throw std::invalid_argument("nelto board: MEMORY must reach the engine's registers at " +
                                    hex(kEngineOffset) + ", it is " + hex(area.length) + " bytes");
    vga::Crtc &crtc = vga().crtc;
    window_ = m.own<NeltoWindow>(*vram(), m, startOf(cfg), crtc, area.physBase);
    m.mapDevice(memory() + kEngineOffset, neltoreg::kWindowSize, window_);

    auto written = crtc.onWrite;
    crtc.onWrite = [this, written](uint8_t index, uint8_t value) {
        if (written)
            written(index, value);
        if (index == CR4A)
            stackWrite(fg_, fgCount_, index, value);
        else if (index == CR4B)
            stackWrite(bg_, bgCount_, index, value);
    };
    auto read = crtc.onRead;
    crtc.onRead = [this, read](uint8_t index, uint8_t stored) {
        if (index == CR45)
            fgCount_ = bgCount_ = 0;
        return read ? read(index, stored) : stored;
    };
}

void NeltoAdapter::stackWrite(std::array<uint8_t, 3> &stack, int &count, uint8_t reg,
                              uint8_t value) {
    if (count >= 3) {
        Machine::current().fail("nelto board: CR" + hex(reg).substr(2) +
                                " written a fourth time without a read of CR45");
        return;
    }
    stack[size_t(count++)] = value;
}

NeltoEngine &NeltoAdapter::neltoEngine() {
    return window_->engine;
}

int NeltoAdapter::undecodedAccesses() const {
    return window_->undecoded;
}

void NeltoAdapter::drain() {
    S3Adapter::drain();
    window_->engine.drain();
}

uint32_t NeltoAdapter::displayPitch() const {
    return (uint32_t(cr(CR13)) | uint32_t((cr(CR51) >> 4) & 3) << 8) * 8;
}

std::string NeltoAdapter::describe() const {
    const NeltoEngine &e = window_->engine;
    std::string s = "nelto: " + std::to_string(memSize() / 1024) + " KB";
    s += ", display line " + std::to_string(displayPitch()) + " bytes";
    s += e.running() ? ", engine running" : ", engine stopped";
    s += blanked() ? ", blanked" : ", picture on";
    s += ", cursor ";
    const S3Cursor &c = cursor();
    if (c.enabled())
        s += "at (" + std::to_string(c.x()) + ", " + std::to_string(c.y()) + ") image " +
             hex(c.imageOffset());
    else
        s += "off";
    return s;
}

namespace {

AdapterRegistration
    neltoRegistration("nelto", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<NeltoAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
