// The "dulmo" board model and the select latch its boards share; the
// registers, keys and choices are listed in dulmo_board.h. The engine's
// operations are in dulmo_engine.cpp.
#include "models/dulmo_board.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intKey(const graf::Config &cfg, const std::string &name, int fallback) {
    auto it = cfg.ints.find(name);
    return it == cfg.ints.end() ? fallback : it->second;
}

bool hasFlag(const graf::Config &cfg, const std::string &name) {
    return std::find(cfg.flags.begin(), cfg.flags.end(), name) != cfg.flags.end();
}

// Ports of the boards, by the width the board decodes them at.
constexpr uint16_t kBytePorts[] = {0x3C4,  0x3C5,  0x3C7,  0x3C8,  0x3C9,  0x3CE,  0x3CF,
                                   0x63CA, 0x33C7, 0x33CE, 0x33CF, 0x13C6, 0x13C7, 0x13C9,
                                   0x83C8, 0x83C9, 0x93C6, 0x93C7, 0x93C8, 0x93C9};
constexpr uint16_t kWordPorts[] = {0x23C2, 0x23C4, 0x23CA, 0x63C0, 0x63C2,
                                   0x63CC, 0x63CE, 0x83CC, 0x83CE};

constexpr uint8_t kBusy = 0x40, kInProgress = 0x80;
constexpr uint8_t kUnlock = 5;

} // namespace

// ======================= the latch =======================

DulmoBus::DulmoBus(Machine &m) : machine_(m) {}

void DulmoBus::add(DulmoAdapter *board) {
    for (DulmoAdapter *b : boards_)
        if (b->id() == board->id())
            throw std::invalid_argument("two dulmo boards with id " + std::to_string(board->id()) +
                                        " on one bus");
    if (boards_.empty())
        selected_ = board->id();
    boards_.push_back(board);
    if (attached_)
        return;
    attached_ = true;
    machine_.attachPorts(kSelectPort, 1, this);
    machine_.attachPorts(kDelayPort, 1, this);
    for (uint16_t p : kBytePorts)
        machine_.attachPorts(p, 1, this);
    for (uint16_t p : kWordPorts)
        machine_.attachPorts(p, 2, this, 2);
}

void DulmoBus::remove(DulmoAdapter *board) {
    boards_.erase(std::remove(boards_.begin(), boards_.end(), board), boards_.end());
}

DulmoAdapter *DulmoBus::selectedBoard() const {
    for (DulmoAdapter *b : boards_)
        if (b->id() == selected_)
            return b;
    return nullptr;
}

uint32_t DulmoBus::in(uint16_t port, int width) {
    if (port == kDelayPort) {
        paced_ = true;
        return 0;
    }
    if (port == kSelectPort)
        return selected_;
    DulmoAdapter *b = selectedBoard();
    if (!b) {
        machine_.fail("dulmo: port " + hex(port) + " read while no board answers to id " +
                      std::to_string(selected_));
        return 0xFFFF;
    }
    return b->portIn(port, width);
}

void DulmoBus::out(uint16_t port, int width, uint32_t value) {
    if (port == kDelayPort)
        return;
    if (port == kSelectPort) {
        selected_ = static_cast<uint8_t>(value);
        return;
    }
    DulmoAdapter *b = selectedBoard();
    if (!b) {
        machine_.fail("dulmo: port " + hex(port) + " written while no board answers to id " +
                      std::to_string(selected_));
        return;
    }
    b->portOut(port, width, value);
}

// ======================= the board =======================

class DulmoAdapter::Memory : public MemDevice {
  public:
    explicit Memory(DulmoAdapter &b) : b_(b) {}
    uint32_t read(uint32_t offset, int width) override { return b_.memRead(offset, width); }
    void write(uint32_t offset, int width, uint32_t value) override {
        b_.memWrite(offset, width, value);
    }

  private:
    DulmoAdapter &b_;
};

DulmoAdapter::DulmoAdapter(const std::string &, graf::Config &cfg, Machine &m)
    : machine_(m),
      vram_(static_cast<size_t>(std::clamp(intKey(cfg, "VRAM", 0x200000), 0, 0x200000))) {
    int vram = intKey(cfg, "VRAM", 0x200000);
    if (vram < 0x10000 || vram > 0x200000)
        throw std::invalid_argument("dulmo: VRAM must lie between 64 KB and 2 MB");
    int id = intKey(cfg, "BOARD_ID", 0);
    if (id < 0 || id > 255)
        throw std::invalid_argument("dulmo: BOARD_ID must be a byte");
    id_ = static_cast<uint8_t>(id);
    gr_[0x0C] = static_cast<uint8_t>(intKey(cfg, "CHIP", 0x30));
    gr_[0x0D] = static_cast<uint8_t>(intKey(cfg, "CHIP_REV", 0));
    gr_[0x08] = 0xFF;
    gr_[0x5A] = 0xC0;
    cursorSize_ = (gr_[0x0C] >> 3) == 14 ? 64 : 32;
    cursorImage_.assign(static_cast<size_t>(cursorSize_ * cursorSize_ / 4), 0);
    int unit = intKey(cfg, "BANK_UNIT", 4096);
    if (unit != 4096 && unit != 16384)
        throw std::invalid_argument("dulmo: BANK_UNIT must be 4096 or 16384");
    bankUnit_ = static_cast<uint32_t>(unit);

    // The board shows lines of the length its mode class sets: 2048 bytes
    // on the 1280-wide set-up, 1024 on the others (half at other depths).
    int width = intKey(cfg, "PIXWIDTH", 1024);
    int depth = intKey(cfg, "DEPTH", 8);
    pitch_ = width == 1280 ? 2048 : 1024;
    if (depth != 8)
        pitch_ /= 2;

    auto fb = cfg.strings.find("FBTYPE");
    banked_ = fb != cfg.strings.end() && fb->second == "BANK";
    plainAperture_ = hasFlag(cfg, "USEDFB");
    for (graf::MemoryArea &a : cfg.areas) {
        if (!a.name.empty() && a.name != "MEMORY")
            continue;
        if (plainAperture_) {
            if (a.length > vram_.size())
                throw std::invalid_argument("dulmo: the MEMORY area is longer than the memory");
            a.mapped = m.addLinearAperture(a.name, a.physBase, a.length, vram_);
        } else {
            if (banked_ ? a.length != 0x10000 : a.length > vram_.size())
                throw std::invalid_argument(banked_ ? "dulmo: a banked window is 64 KB"
                                                    : "dulmo: the MEMORY area is longer than "
                                                      "the memory");
            if (a.length == 0)
                throw std::invalid_argument("dulmo: an empty MEMORY area");
            uint8_t *host = m.addArea(a.name, a.physBase, a.length);
            memory_ = m.own<Memory>(*this);
            m.mapDevice(host, a.length, memory_);
            a.mapped = host;
        }
    }
    bus_ = m.sharedModel<DulmoBus>("dulmo");
    bus_->add(this);
}

DulmoAdapter::~DulmoAdapter() {
    if (bus_)
        bus_->remove(this);
}

void DulmoAdapter::fail(const std::string &why) {
    machine_.fail("dulmo board " + std::to_string(id_) + ": " + why);
}

void DulmoAdapter::drain() {
    busyReads_ = 0;
    stuck_ = false;
}

std::string DulmoAdapter::describe() const {
    char buf[160];
    std::snprintf(buf, sizeof buf, "dulmo id %u: GR0C %s cursor %s at %d,%d%s", id_,
                  hex(gr_[0x0C]).c_str(), cursorShown() ? "shown" : "hidden", cursorX_, cursorY_,
                  blanked() ? " blanked" : "");
    return buf;
}

bool DulmoAdapter::engineRegister(uint16_t port) const {
    switch (port) {
    case 0x33C7:
    case 0x33CF:
    case 0x23C2:
    case 0x23C4:
    case 0x23CA:
    case 0x63C0:
    case 0x63C2:
    case 0x63CC:
    case 0x63CE:
    case 0x83CC:
    case 0x83CE:
        return true;
    default:
        return false;
    }
}

uint8_t DulmoAdapter::grRead(uint8_t index) {
    if (index >= 0x09 && index != 0x0F && gr_[0x0F] != kUnlock)
        return 0;
    return gr_[index];
}

void DulmoAdapter::grWrite(uint8_t index, uint8_t value) {
    if (index == 0x0C || index == 0x0D)
        return;
    if (index >= 0x09 && index != 0x0F && gr_[0x0F] != kUnlock)
        return;
    // The registers the engine works from (plane mask, colours, the page
    // registers, the operation mode and the line engine's) may not change
    // under a running operation.
    bool engine = index == 0x08 || index == 0x10 || index == 0x43 || index == 0x44 ||
                  index == 0x45 || index == 0x46 || index == 0x5A ||
                  (index >= 0x60 && index <= 0x6B);
    if (engine && busy())
        fail("GR " + hex(index) + " written while the engine is busy");
    gr_[index] = value;
    if (index == 0x60)
        lineControl(value);
}

uint32_t DulmoAdapter::portIn(uint16_t port, int width) {
    switch (port) {
    case 0x3C4:
        return srIndex_;
    case 0x3C5:
        return sr_[srIndex_];
    case 0x3CE:
        return grIndex_;
    case 0x3CF:
        return grRead(grIndex_);
    case 0x3C7:
        return dacRead_;
    case 0x3C8:
        return dacWrite_;
    case 0x3C9: {
        if (!bus_->takePacing())
            unpaced_++;
        uint8_t v = palette_[dacRead_][static_cast<size_t>(dacReadComponent_)];
        if (++dacReadComponent_ == 3) {
            dacReadComponent_ = 0;
            dacRead_++;
        }
        return v;
    }
    case 0x63CA: {
        uint8_t v = status_ & static_cast<uint8_t>(~(kBusy | kInProgress));
        if (busy()) {
            v |= kBusy | kInProgress;
            if (busyReads_ > 0)
                busyReads_--;
        }
        return v;
    }
    case 0x33C7:
        return rop_;
    case 0x33CE:
        return control_;
    case 0x33CF:
        return r33CF_;
    case 0x13C6:
        return cursor13C6_;
    case 0x13C9:
        return cursorCmd_;
    case 0x83C8:
        return cursorAddress_;
    case 0x93C6:
        return cursorY_ & 0xFF;
    case 0x93C7:
        return cursorY_ >> 8;
    case 0x93C8:
        return cursorX_ & 0xFF;
    case 0x93C9:
        return cursorX_ >> 8;
    default:
        break;
    }
    if ((port & 0xFFF0) == 0x23C0)
        return r23_[port & 0xF];
    if ((port & 0xFFF0) == 0x63C0)
        return r63_[port & 0xF];
    if ((port & 0xFFF0) == 0x83C0)
        return r83_[port & 0xF];
    (void)width;
    return 0xFF;
}

void DulmoAdapter::portOut(uint16_t port, int width, uint32_t value) {
    uint8_t byte = static_cast<uint8_t>(value);
    if (engineRegister(port) && busy())
        fail("engine register " + hex(port) + " written while the engine is busy");
    switch (port) {
    case 0x3C4:
        srIndex_ = byte;
        return;
    case 0x3C5:
        sr_[srIndex_] = byte;
        return;
    case 0x3CE:
        grIndex_ = byte;
        return;
    case 0x3CF:
        grWrite(grIndex_, byte);
        return;
    case 0x3C7:
        dacRead_ = byte;
        dacReadComponent_ = 0;
        return;
    case 0x3C8:
        dacWrite_ = byte;
        dacWriteComponent_ = 0;
        return;
    case 0x3C9:
        if (!bus_->takePacing())
            unpaced_++;
        palette_[dacWrite_][static_cast<size_t>(dacWriteComponent_)] = byte;
        if (++dacWriteComponent_ == 3) {
            dacWriteComponent_ = 0;
            dacWrite_++;
        }
        return;
    case 0x63CA:
        if (busy())
            fail("engine status written while the engine is busy");
        status_ = byte;
        return;
    case 0x33C7:
        rop_ = byte & 0x0F;
        return;
    case 0x33CF:
        r33CF_ = byte;
        return;
    case 0x33CE:
        control_ = byte;
        if (byte == 0) {
            busyReads_ = 0;
            stuck_ = false;
            resets_++;
            resetEngine();
            return;
        }
        if (busy()) {
            fail("engine started while busy");
            return;
        }
        start(byte);
        return;
    case 0x13C6:
        cursor13C6_ = byte;
        return;
    case 0x13C9:
        cursorCmd_ = byte;
        return;
    case 0x13C7:
        if (cursorSize_ == 64 && (cursor13C6_ & 3) != 0)
            fail("64-pixel cursor image loaded while 0x13C6 bits 0-1 are set");
        if (cursorWrite_ < cursorImage_.size())
            cursorImage_[cursorWrite_] = byte;
        else
            fail("cursor image data past the image's end");
        cursorWrite_++;
        return;
    case 0x83C8:
        cursorAddress_ = byte;
        cursorWrite_ = byte;
        cursorColourComponent_ = 0;
        return;
    case 0x83C9:
        cursorColours_[cursorAddress_ & 3][static_cast<size_t>(cursorColourComponent_)] = byte;
        if (++cursorColourComponent_ == 3) {
            cursorColourComponent_ = 0;
            cursorAddress_++;
        }
        return;
    case 0x93C6:
        cursorY_ = static_cast<uint16_t>((cursorY_ & 0xFF00) | byte);
        return;
    case 0x93C7:
        cursorY_ = static_cast<uint16_t>((cursorY_ & 0xFF) | byte << 8);
        return;
    case 0x93C8:
        cursorX_ = static_cast<uint16_t>((cursorX_ & 0xFF00) | byte);
        return;
    case 0x93C9:
        cursorX_ = static_cast<uint16_t>((cursorX_ & 0xFF) | byte << 8);
        return;
    default:
        break;
    }
    uint16_t word = static_cast<uint16_t>(value);
    auto store = [&](std::array<uint16_t, 16> &regs) {
        if (width == 2)
            regs[port & 0xF] = word;
        else if (port & 1)
            regs[port & 0xE] = static_cast<uint16_t>((regs[port & 0xE] & 0xFF) | byte << 8);
        else
            regs[port & 0xE] = static_cast<uint16_t>((regs[port & 0xE] & 0xFF00) | byte);
    };
    if ((port & 0xFFF0) == 0x23C0)
        store(r23_);
    else if ((port & 0xFFF0) == 0x63C0)
        store(r63_);
    else if ((port & 0xFFF0) == 0x83C0)
        store(r83_);
    noteRegister(port);
}

int DulmoAdapter::cursorAt(int x, int y) const {
    if (!cursorShown())
        return -1;
    int i = x - (cursorX_ - cursorSize_), j = y - (cursorY_ - cursorSize_);
    if (i < 0 || j < 0 || i >= cursorSize_ || j >= cursorSize_)
        return -1;
    size_t row = static_cast<size_t>(j * cursorSize_ / 8 + i / 8);
    uint8_t bit = static_cast<uint8_t>(0x80 >> (i % 8));
    size_t plane = static_cast<size_t>(cursorSize_ * cursorSize_ / 8);
    if (!(cursorImage_[plane + row] & bit))
        return -1;
    return (cursorImage_[row] & bit) ? 2 : 1;
}

// ---- memory ----

uint32_t DulmoAdapter::vramOffset(uint32_t offset) const {
    if (!banked_)
        return offset;
    if (offset < kWindowHalf)
        return gr_[0x45] * bankUnit_ + offset;
    return gr_[0x46] * bankUnit_ + offset - kWindowHalf;
}

uint32_t DulmoAdapter::memRead(uint32_t offset, int width) {
    if (!selected())
        fail("memory read at " + hex(offset) + " while board " + std::to_string(bus_->selected()) +
             " is selected");
    if (busy())
        fail("memory read at " + hex(offset) + " while the engine is busy");
    uint32_t v = 0;
    for (int i = 0; i < width; i++) {
        uint32_t at = vramOffset(offset + static_cast<uint32_t>(i));
        if (at >= vram_.size()) {
            fail("memory read past the video memory at " + hex(at));
            return 0xFFFFFFFFu;
        }
        v |= static_cast<uint32_t>(vram_.data()[at]) << (8 * i);
    }
    return v;
}

void DulmoAdapter::writeByte(uint32_t at, uint8_t src) {
    if (at >= vram_.size()) {
        fail("memory write past the video memory at " + hex(at));
        return;
    }
    uint8_t &d = vram_.data()[at];
    uint8_t mask = gr_[0x08];
    uint8_t out = 0;
    for (int b = 0; b < 8; b++) {
        int s = (src >> b) & 1, dv = (d >> b) & 1;
        out |= static_cast<uint8_t>(((rop_ >> (2 * s + dv)) & 1) << b);
    }
    d = static_cast<uint8_t>((d & ~mask) | (out & mask));
}

void DulmoAdapter::memWrite(uint32_t offset, int width, uint32_t value) {
    if (!selected())
        fail("memory write at " + hex(offset) + " while board " + std::to_string(bus_->selected()) +
             " is selected");
    if (busy() && !takesData())
        fail("memory write at " + hex(offset) + " while the engine is busy");
    if (hostData(offset, width, value))
        return;
    for (int i = 0; i < width; i++)
        writeByte(vramOffset(offset + static_cast<uint32_t>(i)),
                  static_cast<uint8_t>(value >> (8 * i)));
}

AdapterRegistration dulmoRegistration("dulmo", adapterFactory<DulmoAdapter>("dulmo"));

} // namespace sim
