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

// The 64 KB window of the banked block: reads from the read segment, writes
// to the write segment, each 64 lines of 1024 bytes.
class GarskBankWindow : public MemDevice {
  public:
    explicit GarskBankWindow(GarskAdapter &board) : board_(board) {}
    uint32_t read(uint32_t offset, int width) override {
        const uint64_t addr = uint64_t(board_.readSegment()) * GarskAdapter::kWindow + offset;
        if (addr + uint64_t(width) > board_.vram_.size()) {
            board_.machine_.fail("garsk board: window read at " + hex(offset) +
                                 " beyond video memory (read segment " +
                                 std::to_string(board_.readSegment()) + ")");
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < width; i++)
            v |= uint32_t{board_.vram_.data()[addr + uint64_t(i)]} << (8 * i);
        return v;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        const uint64_t addr = uint64_t(board_.writeSegment()) * GarskAdapter::kWindow + offset;
        if (addr + uint64_t(width) > board_.vram_.size()) {
            board_.machine_.fail("garsk board: window write at " + hex(offset) +
                                 " beyond video memory (write segment " +
                                 std::to_string(board_.writeSegment()) + ")");
            return;
        }
        for (int i = 0; i < width; i++)
            board_.vram_.data()[addr + uint64_t(i)] = static_cast<uint8_t>(value >> (8 * i));
    }

  private:
    GarskAdapter &board_;
};

// Input status 1 with bit 7 set through the vertical retrace, as the
// standard bit 3 is.
class GarskInputStatus : public PortDevice {
  public:
    explicit GarskInputStatus(vga::InputStatus &status) : status_(status) {}
    uint32_t in(uint16_t port, int width) override {
        uint32_t v = status_.in(port, width);
        if (v & vga::InputStatus::kVerticalRetrace)
            v |= 0x80;
        return v;
    }
    void out(uint16_t port, int width, uint32_t value) override { status_.out(port, width, value); }

  private:
    vga::InputStatus &status_;
};

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
        if (banked_)
            m.mapDevice(host, kWindow, m.own<GarskBankWindow>(*this));
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
    m.attachPorts(vga::port::InputStatus1, 1, m.own<GarskInputStatus>(vga_->status));
    sprite_.attach(m);
    m.attachPorts(kSegmentLow, 1, m.own<GarskSegmentPorts>(*this));
    m.attachPorts(kSegment, 1, m.own<GarskSegmentPorts>(*this));
    mapPlainAreas(cfg, m);
}

uint8_t GarskAdapter::segmentRegister(uint16_t port) const {
    return port == kSegmentLow ? segmentLow_ : segment_;
}

uint32_t GarskAdapter::readSegment() const {
    return uint32_t(segment_ >> 4) | (segmentLow_ & 0x30);
}

uint32_t GarskAdapter::writeSegment() const {
    return uint32_t(segment_ & 0x0F) | (uint32_t(segmentLow_ & 0x03) << 4);
}

int GarskAdapter::spriteAt(int x, int y) const {
    if (sprite_.reg(0xF7) != 0x80)
        return -1;
    const int sx = sprite_.reg(0xE0) | (sprite_.reg(0xE1) << 8);
    const int sy = sprite_.reg(0xE4) | (sprite_.reg(0xE5) << 8);
    const int column = x - sx + sprite_.reg(0xE2), row = y - sy + sprite_.reg(0xE6);
    if (x < sx || y < sy || column >= kSprite || row >= kSprite)
        return -1;
    const uint32_t start = 4 * (uint32_t(sprite_.reg(0xE8)) | uint32_t(sprite_.reg(0xE9)) << 8 |
                                uint32_t(sprite_.reg(0xEA) & 0x0F) << 16);
    const uint32_t addr = start + uint32_t(row) * kSprite / 4 + uint32_t(column) / 4;
    if (addr >= vram_.size())
        return -1;
    return (vram_.data()[addr] >> (2 * (column % 4))) & 3;
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
