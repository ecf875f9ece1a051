// The garsk accelerator model; its registers and choices are listed in
// garsk_engine.h.
#include "models/garsk_engine.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

struct Field {
    uint32_t offset;
    int width; // bytes
    const char *name;
};

constexpr Field kFields[] = {
    {GarskEngine::MmuBase0, 4, "MMU base 0"},
    {GarskEngine::MmuBase1, 4, "MMU base 1"},
    {GarskEngine::MmuBase2, 4, "MMU base 2"},
    {GarskEngine::MmuControl, 1, "MMU control"},
    {GarskEngine::OpState, 1, "operation state"},
    {GarskEngine::SyncEnable, 1, "sync enable"},
    {GarskEngine::IntMask, 1, "interrupt mask"},
    {GarskEngine::Status, 1, "status"},
    {GarskEngine::PatternAddr, 4, "pattern address"},
    {GarskEngine::SourceAddr, 4, "source address"},
    {GarskEngine::PatternYOffset, 2, "pattern line offset"},
    {GarskEngine::SourceYOffset, 2, "source line offset"},
    {GarskEngine::DestYOffset, 2, "destination line offset"},
    {GarskEngine::BusSize, 1, "bus size"},
    {GarskEngine::Direction, 1, "direction"},
    {GarskEngine::PatternWrap, 1, "pattern wrap"},
    {GarskEngine::SourceWrap, 1, "source wrap"},
    {GarskEngine::XPos, 2, "x position"},
    {GarskEngine::YPos, 2, "y position"},
    {GarskEngine::XCount, 2, "x count"},
    {GarskEngine::YCount, 2, "y count"},
    {GarskEngine::Routing, 1, "routing"},
    {GarskEngine::Reload, 1, "reload"},
    {GarskEngine::BgRop, 1, "background ROP"},
    {GarskEngine::FgRop, 1, "foreground ROP"},
    {GarskEngine::DestAddr, 4, "destination address"},
};

const Field *fieldAt(uint32_t offset) {
    for (const Field &f : kFields)
        if (f.offset == offset)
            return &f;
    return nullptr;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// Status reads a started operation keeps bit 0 set for, by its size.
int busyReadsFor(uint32_t pixels) {
    const uint32_t extra = pixels / 256;
    return 2 + static_cast<int>(extra > 30 ? 30 : extra);
}

constexpr int kDataReads = 2;

uint8_t rop3(uint8_t rop, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t r = 0;
    for (int idx = 0; idx < 8; idx++) {
        if (((rop >> idx) & 1) == 0)
            continue;
        const uint8_t pp = (idx & 4) ? p : static_cast<uint8_t>(~p);
        const uint8_t ss = (idx & 2) ? s : static_cast<uint8_t>(~s);
        const uint8_t dd = (idx & 1) ? d : static_cast<uint8_t>(~d);
        r |= static_cast<uint8_t>(pp & ss & dd);
    }
    return r;
}

} // namespace

void GarskEngine::fail(const std::string &why) {
    machine_.fail("garsk accelerator: " + why);
}

uint32_t GarskEngine::reg(uint32_t offset) const {
    const Field *f = fieldAt(offset);
    if (f == nullptr)
        return 0;
    uint32_t v = 0;
    std::memcpy(&v, regs_ + offset, static_cast<size_t>(f->width));
    return v;
}

uint8_t GarskEngine::status() const {
    uint8_t s = 0;
    if (busyReads_ > 0 || waiting_)
        s |= kBusy;
    if (busyReads_ > 0 || dataReads_ > 0)
        s |= kDataBusy;
    return s;
}

void GarskEngine::tick() {
    if (dataReads_ > 0)
        dataReads_--;
    if (busyReads_ > 0 && --busyReads_ == 0)
        machine_.guardVideoMemory(vram_, false);
}

uint32_t GarskEngine::regRead(uint32_t offset, int width) {
    const Field *f = fieldAt(offset);
    if (f == nullptr || f->width != width) {
        fail(std::to_string(8 * width) + "-bit read at register offset " + hex(offset) +
             ", where no field of that width is");
        return 0;
    }
    if (offset == Status) {
        const uint8_t s = status();
        tick();
        return s;
    }
    return reg(offset);
}

void GarskEngine::regWrite(uint32_t offset, int width, uint32_t value) {
    const Field *f = fieldAt(offset);
    if (f == nullptr || f->width != width) {
        fail(std::to_string(8 * width) + "-bit write of " + hex(value) + " at register offset " +
             hex(offset) + ", where no field of that width is");
        return;
    }
    if (offset == Status) {
        fail("write of " + hex(value) + " to the status register, which is read only");
        return;
    }
    const bool operation = offset >= PatternAddr;
    if (waiting_ && offset != BusSize && (operation || offset == MmuBase0)) {
        fail(std::string(f->name) + " written while the operation still waits for data (row " +
             std::to_string(row_) + " of " + std::to_string(rows_) + "): it was left short");
        endOperation();
    } else if (operation && busyReads_ > 0) {
        fail(std::string(f->name) + " written " + hex(value) +
             " while an operation runs (status bit 0 set)");
    }
    std::memcpy(regs_ + offset, &value, static_cast<size_t>(width));
    if (operation || offset == MmuBase0)
        armed_ = true;
}

bool GarskEngine::decodeWrap(uint32_t code, const char *which, Wrap &out) {
    const uint32_t x = code & 0xF, y = (code >> 4) & 0xF;
    out = {};
    if (x == 7)
        out.width = 0;
    else if (x >= 2 && x <= 6)
        out.width = 4u << (x - 2);
    else
        out.width = ~0u;
    if (y == 7)
        out.height = 0;
    else if (y <= 3)
        out.height = 1u << y;
    else
        out.height = ~0u;
    if (out.width == ~0u || out.height == ~0u || (code & ~0xFFu) != 0) {
        fail(std::string(which) + " wrap code " + hex(code) + " is not one the model supports");
        return false;
    }
    return true;
}

uint32_t GarskEngine::operandAddress(uint32_t base, const Wrap &wrap, uint32_t pitch, uint32_t i,
                                     uint32_t j) const {
    const uint32_t ii = wrap.width ? i % wrap.width : i;
    const uint32_t jj = wrap.height ? j % wrap.height : j;
    const uint32_t off = jj * pitch + ii;
    const uint32_t a = backward_ ? base - off : base + off;
    return a % static_cast<uint32_t>(vram_.size());
}

void GarskEngine::pixel(uint32_t i, uint32_t j, int sourceByte, int mixBit) {
    uint8_t *mem = vram_.data();
    const uint32_t size = static_cast<uint32_t>(vram_.size());
    const uint32_t pitch = reg(DestYOffset) + 1;
    const uint32_t off = j * pitch + i;
    const uint32_t d = (backward_ ? dest_ - off : dest_ + off) % size;
    const uint8_t p =
        mem[operandAddress(reg(PatternAddr), patWrap_, reg(PatternYOffset) + 1, i, j)];
    const uint8_t s =
        sourceByte >= 0
            ? static_cast<uint8_t>(sourceByte)
            : mem[operandAddress(reg(SourceAddr), srcWrap_, reg(SourceYOffset) + 1, i, j)];
    const uint8_t rop = static_cast<uint8_t>(mixBit == 0 ? reg(BgRop) : reg(FgRop));
    mem[d] = rop3(rop, p, s, mem[d]);
}

// Whether a ROP3 code reads the pattern, or the source.
static bool usesPattern(uint32_t rop) {
    return (((rop >> 4) ^ rop) & 0x0F) != 0;
}
static bool usesSource(uint32_t rop) {
    return (((rop >> 2) ^ rop) & 0x33) != 0;
}

bool GarskEngine::beginOperation(uint32_t windowOffset) {
    // An operand the raster codes do not read may have any wrap code.
    uint32_t rops = reg(FgRop);
    if (reg(Routing) == 2)
        rops |= reg(BgRop) << 8;
    const bool pattern = usesPattern(rops) || usesPattern(rops >> 8);
    const bool source = reg(Routing) != 1 && (usesSource(rops) || usesSource(rops >> 8));
    patWrap_ = {};
    srcWrap_ = {};
    if ((pattern && !decodeWrap(reg(PatternWrap), "pattern", patWrap_)) ||
        (source && !decodeWrap(reg(SourceWrap), "source", srcWrap_)))
        return false;
    const uint32_t direction = reg(Direction);
    if (direction != 0 && direction != 3) {
        fail("direction " + hex(direction) + " is not one the model supports (0 or 3)");
        return false;
    }
    backward_ = direction == 3;
    dest_ = reg(MmuBase0) + windowOffset;
    width_ = reg(XCount) + 1;
    rows_ = reg(YCount) + 1;
    row_ = 0;
    filled_ = 0;
    armed_ = false;
    operations_++;
    machine_.guardVideoMemory(vram_, true);
    return true;
}

void GarskEngine::endOperation() {
    waiting_ = false;
    if (busyReads_ == 0)
        machine_.guardVideoMemory(vram_, false);
}

void GarskEngine::startFill(uint32_t windowOffset) {
    if (!beginOperation(windowOffset))
        return;
    for (uint32_t j = 0; j < rows_; j++)
        for (uint32_t i = 0; i < width_; i++)
            pixel(i, j, -1, -1);
    busyReads_ = busyReadsFor(width_ * rows_);
}

void GarskEngine::feed(uint32_t value, int width) {
    const uint32_t routing = reg(Routing);
    if (routing == 1) {
        for (int b = 0; b < width; b++)
            if (filled_ + static_cast<uint32_t>(b) < width_)
                pixel(filled_ + static_cast<uint32_t>(b), row_,
                      static_cast<int>((value >> (8 * b)) & 0xFF), -1);
        filled_ += static_cast<uint32_t>(width);
    } else {
        for (int b = 0; b < 8 * width; b++)
            if (filled_ + static_cast<uint32_t>(b) < width_)
                pixel(filled_ + static_cast<uint32_t>(b), row_, -1,
                      static_cast<int>((value >> b) & 1));
        filled_ += static_cast<uint32_t>(8 * width);
    }
    if (filled_ >= width_) {
        filled_ = 0;
        if (++row_ == rows_)
            endOperation();
    }
}

void GarskEngine::pixelWrites(uint32_t windowOffset, uint32_t value, int width) {
    uint8_t *mem = vram_.data();
    const uint32_t size = static_cast<uint32_t>(vram_.size());
    backward_ = false;
    patWrap_ = {};
    if (usesPattern(reg(FgRop)) && !decodeWrap(reg(PatternWrap), "pattern", patWrap_))
        return;
    const uint8_t p = mem[operandAddress(reg(PatternAddr), patWrap_, 0, 0, 0)];
    const uint8_t rop = static_cast<uint8_t>(reg(FgRop));
    for (int b = 0; b < width; b++) {
        const uint32_t d = (reg(MmuBase0) + windowOffset + static_cast<uint32_t>(b)) % size;
        mem[d] = rop3(rop, p, static_cast<uint8_t>(value >> (8 * b)), mem[d]);
    }
    operations_++;
    busyReads_ = 1;
}

void GarskEngine::windowWrite(uint32_t offset, int width, uint32_t value) {
    const uint32_t k = offset / kWindowLength, o = offset % kWindowLength;
    if (k != 0) {
        if (status() & kDataBusy)
            fail("write of " + hex(value) + " through aperture window " + std::to_string(k) +
                 " while status bit 1 is set (the memory interface is busy)");
        const uint32_t base = reg(k == 1 ? MmuBase1 : MmuBase2) + o;
        const uint32_t size = static_cast<uint32_t>(vram_.size());
        for (int b = 0; b < width; b++)
            vram_.data()[(base + static_cast<uint32_t>(b)) % size] =
                static_cast<uint8_t>(value >> (8 * b));
        dataReads_ = kDataReads;
        return;
    }
    dataReads_ = kDataReads;
    const uint32_t routing = reg(Routing);
    const uint32_t busSize = reg(BusSize);
    const int unit = busSize <= 2 ? 1 << busSize : 0;
    switch (routing) {
    case 0x00:
        if (width != 1) {
            fail(std::to_string(8 * width) + "-bit write to window 0 under routing 0, where one "
                                             "byte starts the operation");
        } else if (busyReads_ > 0) {
            fail("operation started while the one before still runs (status bit 0 set)");
        } else if (!armed_) {
            fail("write to window 0 with no operation set up since the last one");
        } else {
            startFill(o);
        }
        return;
    case 0x11:
        if (width != unit) {
            fail(std::to_string(8 * width) + "-bit pixel write to window 0 with bus size " +
                 std::to_string(busSize));
            return;
        }
        pixelWrites(o, value, width);
        return;
    case 0x01:
    case 0x02:
        if (width != unit) {
            fail(std::to_string(8 * width) + "-bit data write to window 0 with bus size " +
                 std::to_string(busSize));
            return;
        }
        if (!waiting_) {
            if (!armed_) {
                fail("data " + hex(value) +
                     " written to window 0 beyond what the operation's counts need");
                return;
            }
            if (!beginOperation(o))
                return;
            waiting_ = true;
        }
        feed(value, width);
        return;
    default:
        fail("write to window 0 under routing " + hex(routing) + ", which the model lacks");
    }
}

uint32_t GarskEngine::windowRead(uint32_t offset, int width) {
    const uint32_t k = offset / kWindowLength, o = offset % kWindowLength;
    const uint32_t base = reg(k == 0 ? MmuBase0 : k == 1 ? MmuBase1 : MmuBase2) + o;
    const uint32_t size = static_cast<uint32_t>(vram_.size());
    uint32_t v = 0;
    for (int b = 0; b < width; b++)
        v |= uint32_t{vram_.data()[(base + static_cast<uint32_t>(b)) % size]} << (8 * b);
    return v;
}

void GarskEngine::drain() {
    if (waiting_) {
        fail("operation left short: it waits for data of row " + std::to_string(row_) + " of " +
             std::to_string(rows_));
        waiting_ = false;
    }
    busyReads_ = 0;
    dataReads_ = 0;
    machine_.guardVideoMemory(vram_, false);
}

} // namespace sim
