// The "ct" adapter model; its registers and choices are listed in
// ct_adapter.h.
#include "models/ct_adapter.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

void fail(const std::string &why) {
    Machine::current().fail("ct adapter: " + why);
}

CtChip chipOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("CHIP");
    if (it == cfg.strings.end() || it->second == "65550")
        return CtChip::C65550;
    if (it->second == "65554")
        return CtChip::C65554;
    if (it->second == "65548")
        return CtChip::C65548;
    if (it->second == "6430x")
        return CtChip::C6430x;
    throw std::invalid_argument("ct adapter: CHIP is \"65550\", \"65554\", \"65548\" or "
                                "\"6430x\", not \"" +
                                it->second + "\"");
}

bool is65550(CtChip c) {
    return c == CtChip::C65550 || c == CtChip::C65554;
}

// The memory sizes each chip's strap code can tell, by code.
std::vector<uint32_t> memorySizes(CtChip c) {
    if (sim::is65550(c))
        return {0x100000, 0x200000};
    if (c == CtChip::C65548)
        return {0x40000, 0x80000, 0x100000};
    return {0x80000, 0x100000, 0x200000};
}

uint32_t memSizeOf(CtChip c, const graf::Config &cfg) {
    uint32_t size = c == CtChip::C65550 || c == CtChip::C65554 ? 0x200000 : 0x100000;
    auto it = cfg.ints.find("MEMSIZE");
    if (it != cfg.ints.end())
        size = static_cast<uint32_t>(it->second);
    for (uint32_t s : memorySizes(c))
        if (s == size)
            return size;
    throw std::invalid_argument("ct adapter: MEMSIZE " + hex(size) +
                                " is not a memory size this chip can have");
}

const char *regName(bool br, int reg) {
    static const char *const br_[] = {"BR00", "BR01", "BR02", "BR03", "BR04",
                                      "BR05", "BR06", "BR07", "BR08"};
    static const char *const dr_[] = {"DR00", "DR01", "DR02", "DR03",
                                      "DR04", "DR05", "DR06", "DR07"};
    return br ? br_[reg] : dr_[reg];
}

} // namespace

// The engine of either layout: registers, busy time, strictness.
class CtEngine {
  public:
    CtEngine(VideoMemory &vram, Machine &m, bool br) : vram_(vram), machine_(m), br_(br) {}

    // A register write: `reg` 0-8, `half` 0 or 2 for the two pitch halves.
    void write(int reg, int byteOffset, int width, uint32_t value) {
        const char *name = regName(br_, reg);
        if (reg == 0) {
            if (width != 2 || (byteOffset != 0 && byteOffset != 2)) {
                fail(std::string(name) + " written as " + std::to_string(8 * width) +
                     " bits at byte " + std::to_string(byteOffset) +
                     ": its pitch halves are 16-bit registers");
                return;
            }
        } else if (width != 4 || byteOffset != 0) {
            fail(std::string(name) + " written as " + std::to_string(8 * width) + " bits at byte " +
                 std::to_string(byteOffset) + ": it is a 32-bit register");
            return;
        }
        if (busy()) {
            fail(std::string(name) + " written with " + hex(value) + " while the engine is busy");
            return;
        }
        if (reg == 0) {
            uint32_t shift = uint32_t(byteOffset) * 8;
            regs_[0] = (regs_[0] & ~(0xFFFFu << shift)) | (value & 0xFFFF) << shift;
        } else {
            regs_[reg] = value;
        }
        if (reg == sizeReg())
            start();
    }

    uint32_t read(int reg) const { return regs_[reg]; }

    // One status read; true while busy.
    bool poll() {
        statusReads_++;
        if (busyLeft_ == 0) {
            setGuard(false);
            return false;
        }
        busyLeft_--;
        busyReads_++;
        return true;
    }

    void hostWord(uint32_t value) {
        fail("host data word " + hex(value) + " with no operation waiting for it");
    }

    void setBusyReads(uint64_t n) { opBusy_ = n; }
    void stayBusy(uint64_t n) {
        busyLeft_ += n;
        if (busyLeft_ > 0)
            setGuard(true);
    }
    bool busy() const { return busyLeft_ > 0; }
    void drain() {
        busyLeft_ = 0;
        setGuard(false);
    }

    uint64_t statusReads_ = 0, busyReads_ = 0;
    std::vector<CtOp> ops;

  private:
    int sizeReg() const { return br_ ? 8 : 7; }

    void start() {
        CtOp op{};
        for (int i = 0; i < 9; i++)
            op.regs[i] = regs_[i];
        ops.push_back(op);
        // An empty operation ends at once; any other takes its time.
        uint32_t size = regs_[sizeReg()];
        if ((size & 0xFFFF) != 0 && (size >> 16) != 0)
            stayBusy(opBusy_);
    }

    void setGuard(bool on) {
        if (on == guarded_)
            return;
        guarded_ = on;
        machine_.guardVideoMemory(vram_, on);
    }

    VideoMemory &vram_;
    Machine &machine_;
    bool br_;
    uint32_t regs_[9] = {};
    uint64_t opBusy_ = 2;
    uint64_t busyLeft_ = 0;
    bool guarded_ = false;
};

namespace {

// The 65550's register block in the MEMORY aperture.
class CtBlock : public MemDevice {
  public:
    explicit CtBlock(CtEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override {
        (void)width;
        return e_.read(int(offset / 4)) >> (8 * (offset % 4));
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        e_.write(int(offset / 4), int(offset % 4), width, value);
    }

  private:
    CtEngine &e_;
};

// The 65550's host-data port.
class CtHostPort : public MemDevice {
  public:
    explicit CtHostPort(CtEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override {
        (void)width;
        fail("read of the host-data port at +" + hex(offset));
        return 0xFFFFFFFF;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (width != 4 || offset != 0) {
            fail(std::to_string(8 * width) + "-bit host-data write at +" + hex(offset));
            return;
        }
        e_.hostWord(value);
    }

  private:
    CtEngine &e_;
};

// The 65548/6430x engine ports: DR00-DR07, 0x400 apart.
class CtPorts : public PortDevice {
  public:
    explicit CtPorts(CtEngine &e) : e_(e) {}
    uint32_t in(uint16_t port, int width) override {
        int reg = (port - ctreg::DrBase) / ctreg::DrStep;
        int byte = (port - ctreg::DrBase) % ctreg::DrStep;
        if (reg == 4) {
            if (width != 4 || byte != 0)
                fail(std::to_string(8 * width) + "-bit read of DR04 at byte " +
                     std::to_string(byte));
            return e_.read(4) | (e_.poll() ? ctreg::kDrBusy : 0);
        }
        return e_.read(reg) >> (8 * byte);
    }
    void out(uint16_t port, int width, uint32_t value) override {
        int reg = (port - ctreg::DrBase) / ctreg::DrStep;
        int byte = (port - ctreg::DrBase) % ctreg::DrStep;
        e_.write(reg, byte, width, value);
    }

  private:
    CtEngine &e_;
};

const graf::MemoryArea *memoryArea(const graf::Config &cfg) {
    for (const graf::MemoryArea &a : cfg.areas)
        if (a.name.empty() || a.name == "MEMORY")
            return &a;
    return nullptr;
}

} // namespace

struct CtAdapter::Impl {
    Impl(CtChip c, uint32_t memSize, Machine &m)
        : chip(c), vram(memSize), engine(vram, m, sim::is65550(c)), xrRegs(ctreg::XrIndex) {}
    CtChip chip;
    VideoMemory vram;
    CtEngine engine;
    vga::VgaCore vgaCore;
    vga::IndexedRegisters xrRegs;
    uint8_t *memory = nullptr;
};

CtAdapter::CtAdapter(const std::string &model, graf::Config &cfg, Machine &m) {
    (void)model;
    CtChip c = chipOf(cfg);
    uint32_t size = memSizeOf(c, cfg);
    impl_ = std::make_unique<Impl>(c, size, m);
    impl_->vgaCore.attach(m);
    vga::IndexedRegisters &xr = impl_->xrRegs;
    xr.attach(m);

    uint8_t code = 0;
    std::vector<uint32_t> sizes = memorySizes(c);
    while (sizes[code] != size)
        code++;
    if (sim::is65550(c)) {
        xr.setReg(0x00, 0x2C);
        xr.setReg(0x01, 0x10);
        xr.setReg(0x02, c == CtChip::C65550 ? 0xE0 : 0xE4);
        xr.setReg(0x03, 0x00);
        xr.setReg(0x04, 0x01);
        xr.setReg(0x08, 0x01);
        xr.setReg(0x43, code == 1 ? 0x02 : 0x00);
    } else if (c == CtChip::C65548) {
        xr.setReg(0x00, 0xDD);
        xr.setReg(0x01, 0x03);
        xr.setReg(0x0F, code);
    } else {
        xr.setReg(0x00, 0xB1);
        xr.setReg(0x01, 0x03);
        xr.setReg(0x04, code);
    }
    for (const auto &[key, value] : cfg.ints) {
        unsigned index = 0;
        char tail = 0;
        if (key.size() == 4 && std::sscanf(key.c_str(), "XR%2x%c", &index, &tail) == 1)
            xr.setReg(uint8_t(index), uint8_t(value));
    }
    if (sim::is65550(c)) {
        CtEngine &e = impl_->engine;
        xr.onRead = [&e](uint8_t index, uint8_t stored) -> uint8_t {
            if (index != ctreg::XR20)
                return stored;
            return uint8_t((stored & ~ctreg::kXr20Busy) | (e.poll() ? ctreg::kXr20Busy : 0));
        };
    } else {
        CtPorts *ports = m.own<CtPorts>(impl_->engine);
        for (uint16_t r = 0; r < 8; r++)
            m.attachPorts(uint16_t(ctreg::DrBase + r * ctreg::DrStep), 4, ports, 4);
    }

    if (const graf::MemoryArea *area = memoryArea(cfg)) {
        graf::MemoryArea &a = const_cast<graf::MemoryArea &>(*area);
        a.mapped = m.addLinearAperture("MEMORY", a.physBase, a.length, impl_->vram);
        impl_->memory = static_cast<uint8_t *>(a.mapped);
        if (sim::is65550(c)) {
            if (a.length >= ctreg::BlockOffset + ctreg::BlockSize)
                m.mapDevice(impl_->memory + ctreg::BlockOffset, ctreg::BlockSize,
                            m.own<CtBlock>(impl_->engine));
            if (a.length >= ctreg::HostPortOffset + 4)
                m.mapDevice(impl_->memory + ctreg::HostPortOffset, 4,
                            m.own<CtHostPort>(impl_->engine));
        }
    }
    mapPlainAreas(cfg, m);
}

CtAdapter::~CtAdapter() = default;

VideoMemory *CtAdapter::vram() {
    return &impl_->vram;
}

void CtAdapter::drain() {
    impl_->engine.drain();
}

CtChip CtAdapter::chip() const {
    return impl_->chip;
}

vga::VgaCore &CtAdapter::vga() {
    return impl_->vgaCore;
}

uint8_t CtAdapter::xr(uint8_t index) const {
    return impl_->xrRegs.reg(index);
}

const std::vector<vga::IndexedRegisters::Write> &CtAdapter::xrWrites() const {
    return impl_->xrRegs.writes();
}

void CtAdapter::clearXrWrites() {
    impl_->xrRegs.clearWrites();
}

uint8_t *CtAdapter::memory() const {
    return impl_->memory;
}

void CtAdapter::setBusyReads(uint64_t reads) {
    impl_->engine.setBusyReads(reads);
}

void CtAdapter::stayBusy(uint64_t reads) {
    impl_->engine.stayBusy(reads);
}

bool CtAdapter::busy() const {
    return impl_->engine.busy();
}

uint64_t CtAdapter::statusReads() const {
    return impl_->engine.statusReads_;
}

uint64_t CtAdapter::busyStatusReads() const {
    return impl_->engine.busyReads_;
}

const std::vector<CtOp> &CtAdapter::ops() const {
    return impl_->engine.ops;
}

void CtAdapter::clearOps() {
    impl_->engine.ops.clear();
}

std::string CtAdapter::describe() const {
    static const char *const names[] = {"65550", "65554", "65548", "6430x"};
    std::string s = std::string("ct ") + names[int(impl_->chip)] + ": " +
                    std::to_string(impl_->vram.size() / 1024) + " KB";
    s += impl_->vgaCore.attr.screenEnabled() ? ", picture on" : ", blanked";
    s += impl_->engine.busy() ? ", engine busy" : ", engine idle";
    return s;
}

namespace {

AdapterRegistration ctRegistration("ct", adapterFactory<CtAdapter>("ct"));

} // namespace

} // namespace sim
