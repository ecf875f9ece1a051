// The "garsk" board model; its layout and choices are listed in
// garsk_board.h.
#include "models/garsk_board.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

class RegisterBlock : public MemDevice {
  public:
    explicit RegisterBlock(GarskEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override { return e_.regRead(offset, width); }
    void write(uint32_t offset, int width, uint32_t value) override {
        e_.regWrite(offset, width, value);
    }

  private:
    GarskEngine &e_;
};

class ApertureWindows : public MemDevice {
  public:
    explicit ApertureWindows(GarskEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override { return e_.windowRead(offset, width); }
    void write(uint32_t offset, int width, uint32_t value) override {
        e_.windowWrite(offset, width, value);
    }

  private:
    GarskEngine &e_;
};

// Bytes of the banked block where the board decodes nothing.
class Hole : public MemDevice {
  public:
    Hole(Machine &m, uint32_t start) : m_(m), start_(start) {}
    uint32_t read(uint32_t offset, int width) override {
        m_.fail("garsk board: " + std::to_string(8 * width) + "-bit read at MEMORY+" +
                hex(start_ + offset) + ", where nothing answers in the banked block");
        return 0xFFFFFFFFu >> (32 - 8 * width);
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        m_.fail("garsk board: " + std::to_string(8 * width) + "-bit write of " + hex(value) +
                " at MEMORY+" + hex(start_ + offset) +
                ", where nothing answers in the banked block");
    }

  private:
    Machine &m_;
    uint32_t start_;
};

} // namespace

class GarskSegmentPorts : public PortDevice {
  public:
    explicit GarskSegmentPorts(GarskAdapter &board) : board_(board) {}
    uint32_t in(uint16_t port, int) override {
        if (port == GarskAdapter::kSegmentLow)
            return board_.segmentLow_;
        if (port == GarskAdapter::kSegment)
            return board_.segment_;
        return 0xFF;
    }
    void out(uint16_t port, int, uint32_t value) override {
        if (port == GarskAdapter::kSegmentLow)
            board_.segmentLow_ = static_cast<uint8_t>(value);
        else if (port == GarskAdapter::kSegment)
            board_.segment_ = static_cast<uint8_t>(value);
    }

  private:
    GarskAdapter &board_;
};

GarskAdapter::GarskAdapter(graf::Config &cfg, Machine &m)
    : machine_(m), vram_(kVideoMemory), engine_(m, vram_) {
    auto fb = cfg.strings.find("FBTYPE");
    banked_ = fb != cfg.strings.end() && fb->second == "BANK";
    graf::MemoryArea *area = nullptr;
    for (graf::MemoryArea &a : cfg.areas)
        if (a.name.empty() || a.name == "MEMORY")
            area = &a;
    if (area != nullptr) {
        const uint32_t need = banked_ ? kBankedBlock : kVideoMemory;
        if (area->length < need)
            throw std::invalid_argument(std::string("garsk board: the default memory area of ") +
                                        hex(area->length) + " bytes is shorter than " +
                                        (banked_
                                             ? "the 128 KB block of window, apertures and registers"
                                             : "the 1 MB linear frame buffer"));
        uint8_t *host = banked_
                            ? m.addWindow("MEMORY", area->physBase, area->length, vram_)
                            : m.addLinearAperture("MEMORY", area->physBase, area->length, vram_);
        m.mapDevice(host + GarskEngine::kWindowsOffset, GarskEngine::kWindowsLength,
                    m.own<ApertureWindows>(engine_));
        m.mapDevice(host + GarskEngine::kBlockOffset, GarskEngine::kBlockLength,
                    m.own<RegisterBlock>(engine_));
        if (banked_) {
            constexpr uint32_t kHoles[][2] = {
                {0x10000, 0x8000},
                {GarskEngine::kWindowsOffset + GarskEngine::kWindowsLength,
                 GarskEngine::kBlockOffset -
                     (GarskEngine::kWindowsOffset + GarskEngine::kWindowsLength)},
                {GarskEngine::kBlockOffset + GarskEngine::kBlockLength,
                 kBankedBlock - (GarskEngine::kBlockOffset + GarskEngine::kBlockLength)}};
            for (const auto &h : kHoles)
                m.mapDevice(host + h[0], h[1], m.own<Hole>(m, h[0]));
        }
        area->mapped = host;
    }
    vga_ = &vga::VgaCore::create(m);
    sprite_.attach(m);
    m.attachPorts(kSegmentLow, 1, m.own<GarskSegmentPorts>(*this));
    m.attachPorts(kSegment, 1, m.own<GarskSegmentPorts>(*this));
    mapPlainAreas(cfg, m);
}

uint8_t GarskAdapter::segmentRegister(uint16_t port) const {
    return port == kSegmentLow ? segmentLow_ : segment_;
}

std::string GarskAdapter::describe() const {
    return std::string("garsk, ") + (banked_ ? "banked" : "flat") + ", 1 MB, sprite " +
           (sprite_.reg(0xF7) & 0x80 ? "on" : "off") + ", display pitch 1024 bytes";
}

namespace {
AdapterRegistration garskRegistration("garsk", [](graf::Config &cfg, Machine &m) {
    return std::unique_ptr<Adapter>(new GarskAdapter(cfg, m));
});
} // namespace

} // namespace sim
