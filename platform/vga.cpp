// The standard VGA register models. Wider accesses arrive here only when a
// model is attached with a wider port width; the byte-wise helpers keep the
// same meaning either way (low byte at the lower port).
#include "vga.h"

#include <algorithm>
#include <cstdio>

namespace sim::vga {

namespace {

template <class ReadByte> uint32_t readBytes(uint16_t port, int width, ReadByte readByte) {
    uint32_t value = 0;
    for (int i = 0; i < width; i++)
        value |= static_cast<uint32_t>(readByte(static_cast<uint16_t>(port + i))) << (8 * i);
    return value;
}

template <class WriteByte>
void writeBytes(uint16_t port, int width, uint32_t value, WriteByte writeByte) {
    for (int i = 0; i < width; i++)
        writeByte(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
}

std::string hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

} // namespace

// ---- index/data pairs ----

uint32_t IndexedRegisters::in(uint16_t port, int width) {
    return readBytes(port, width, [this](uint16_t p) { return readByte(p); });
}

void IndexedRegisters::out(uint16_t port, int width, uint32_t value) {
    writeBytes(port, width, value, [this](uint16_t p, uint8_t v) { writeByte(p, v); });
}

uint8_t IndexedRegisters::readByte(uint16_t port) {
    if (port == indexPort_)
        return index_;
    uint8_t stored = regs_[index_ & indexMask_];
    return onRead ? onRead(index_, stored) : stored;
}

void IndexedRegisters::writeByte(uint16_t port, uint8_t value) {
    if (port == indexPort_) {
        index_ = value;
        return;
    }
    regs_[index_ & indexMask_] = value;
    writes_.push_back({index_, value});
    if (onWrite)
        onWrite(index_, value);
}

// ---- attribute controller ----

void AttributeController::attach(Machine &m) {
    machine_ = &m;
    m.attachPorts(port::AttrIndex, 2, this);
}

uint32_t AttributeController::in(uint16_t port, int width) {
    return readBytes(port, width, [this](uint16_t p) -> uint8_t {
        return p == port::AttrIndex ? index_ : regs_[index_ & 0x1F];
    });
}

void AttributeController::out(uint16_t port, int width, uint32_t value) {
    writeBytes(port, width, value, [this](uint16_t p, uint8_t v) {
        if (p != port::AttrIndex) {
            if (machine_)
                machine_->fail("vga attribute controller: write " + hex(v) +
                               " to the read-only data port 0x3C1");
            return;
        }
        if (expectIndex_) {
            index_ = v;
        } else {
            regs_[index_ & 0x1F] = v;
            if (onWrite)
                onWrite(index_ & 0x1F, v);
        }
        expectIndex_ = !expectIndex_;
    });
}

// ---- DAC ----

void Dac::setEntry(int i, Entry e) {
    auto k = static_cast<size_t>(i & 0xFF);
    raw_[k] = e;
    palette_[k] = Entry{static_cast<uint8_t>(e.r & 0x3F), static_cast<uint8_t>(e.g & 0x3F),
                        static_cast<uint8_t>(e.b & 0x3F)};
}

uint32_t Dac::in(uint16_t port, int width) {
    return readBytes(port, width, [this](uint16_t p) { return readByte(p); });
}

void Dac::out(uint16_t port, int width, uint32_t value) {
    writeBytes(port, width, value, [this](uint16_t p, uint8_t v) { writeByte(p, v); });
}

uint8_t Dac::readByte(uint16_t port) {
    switch (port) {
    case port::DacMask:
        return mask_;
    case port::DacReadIndex:
        return readMode_ ? 0x03 : 0x00;
    case port::DacWriteIndex:
        return writeIndex_;
    default: {
        const Entry &e = palette_[readIndex_];
        uint8_t v = readStep_ == 0 ? e.r : readStep_ == 1 ? e.g : e.b;
        if (++readStep_ == 3) {
            readStep_ = 0;
            readIndex_++;
        }
        return v;
    }
    }
}

void Dac::writeByte(uint16_t port, uint8_t value) {
    switch (port) {
    case port::DacMask:
        mask_ = value;
        return;
    case port::DacReadIndex:
        readIndex_ = value;
        readStep_ = 0;
        readMode_ = true;
        return;
    case port::DacWriteIndex:
        writeIndex_ = value;
        writeStep_ = 0;
        readMode_ = false;
        return;
    default:
        break;
    }
    pending_[writeStep_++] = value;
    if (writeStep_ < 3)
        return;
    writeStep_ = 0;
    uint8_t index = writeIndex_++;
    Entry raw{pending_[0], pending_[1], pending_[2]};
    writes_.push_back({index, raw});
    if (onEntryWrite && onEntryWrite(index, raw))
        return;
    setEntry(index, raw);
}

// ---- miscellaneous output ----

void MiscOutput::attach(Machine &m) {
    m.attachPorts(port::MiscWrite, 1, this);
    m.attachPorts(port::MiscRead, 1, this);
}

uint32_t MiscOutput::in(uint16_t port, int width) {
    return readBytes(port, width,
                     [this](uint16_t p) -> uint8_t { return p == port::MiscRead ? value_ : 0; });
}

void MiscOutput::out(uint16_t port, int width, uint32_t value) {
    writeBytes(port, width, value, [this](uint16_t p, uint8_t v) {
        // 0x3CC is read only on a VGA; a write there changes nothing.
        if (p != port::MiscWrite)
            return;
        value_ = v;
        if (onWrite)
            onWrite(v);
    });
}

// ---- input status 1 ----

void InputStatus::attach(Machine &m) {
    machine_ = &m;
    m.attachPorts(port::InputStatus1, 1, this);
}

uint8_t InputStatus::statusAt(uint64_t micros) {
    uint64_t inFrame = micros % (kLineMicros * kLines);
    uint64_t line = inFrame / kLineMicros;
    uint64_t inLine = inFrame % kLineMicros;
    uint8_t status = 0;
    if (line >= kRetraceFirstLine && line < kRetraceFirstLine + kRetraceLines)
        status |= kVerticalRetrace;
    if (line >= kVisibleLines || inLine >= kLineBlankFrom)
        status |= kDisplayOff;
    return status;
}

uint64_t InputStatus::nextChange(uint64_t micros, uint8_t bits) {
    const uint8_t now = statusAt(micros);
    // The status changes only at a line's start and where its blanking
    // begins; two frames cover every change there is.
    uint64_t t = micros;
    for (int edges = 0; edges < int(4 * kLines); edges++) {
        const uint64_t inLine = t % kLineMicros;
        t += inLine < kLineBlankFrom ? kLineBlankFrom - inLine : kLineMicros - inLine;
        if ((statusAt(t) ^ now) & bits)
            return t;
    }
    return micros + 1;
}

uint64_t InputStatus::jump(uint64_t now, uint8_t status) {
    // The reader went on after the read before this one: what had changed
    // then was not what it waits for. (A read that is no poll teaches
    // nothing true, but costs no more than a few reads later on.)
    if (reads_ >= 2)
        passedOver_ |= static_cast<uint8_t>(last_ ^ before_);
    reads_ = std::min(reads_ + 1, 2);
    before_ = last_;
    last_ = status;
    constexpr uint8_t kTimed = kDisplayOff | kVerticalRetrace;
    uint8_t watched = kTimed & static_cast<uint8_t>(~passedOver_);
    if (watched == 0) {
        // It passed over every change: it waits for a state, not an edge.
        passedOver_ = 0;
        watched = kTimed;
    }
    return nextChange(now, watched) - now;
}

uint32_t InputStatus::in(uint16_t port, int width) {
    return readBytes(port, width, [this](uint16_t) -> uint8_t {
        const uint64_t now = machine_ ? machine_->nowMicros() : 0;
        uint8_t status = statusAt(now);
        if (machine_)
            machine_->advance(machine_->timeMayJump() ? jump(now, status) : kReadMicros);
        if (onRead)
            onRead();
        return status;
    });
}

void InputStatus::out(uint16_t port, int width, uint32_t value) {
    writeBytes(port, width, value, [this](uint16_t, uint8_t v) { feature_ = v; });
}

// ---- the bundle ----

VgaCore::VgaCore() {
    status.onRead = [this] { attr.resetFlipFlop(); };
}

VgaCore &VgaCore::create(Machine &m) {
    VgaCore *core = m.own<VgaCore>();
    core->attach(m);
    return *core;
}

void VgaCore::attach(Machine &m) {
    seq.attach(m);
    gc.attach(m);
    crtc.attach(m);
    attr.attach(m);
    dac.attach(m);
    misc.attach(m);
    status.attach(m);
}

} // namespace sim::vga
