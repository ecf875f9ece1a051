#include "models/mga_addons.h"

#include <cstdio>

#include "machine.h"

namespace sim {

namespace {

void fail(const std::string &what) {
    Machine::current().fail(what);
}

constexpr int kSense = 0xB8, kEnable = 0x3E, kInput = 0x94;
constexpr int kInputController = 0xB, kClock = 0x82, kClockFromInput = 0x20;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

} // namespace

TvEncoder::TvEncoder(uint8_t address, uint8_t version) : regs(256, 0), address_(address) {
    regs[0xB2] = version;
}

void TvEncoder::addressed(bool) {
    indexNext_ = true;
    transfers++;
}

void TvEncoder::step() {
    if (++index_ > 0xFF)
        fail("TV encoder: a transfer runs past register 0xFF");
}

bool TvEncoder::write(uint8_t byte) {
    if (indexNext_) {
        index_ = byte;
        indexNext_ = false;
        return true;
    }
    if (index_ > 0xFF)
        return false;
    if (index_ == kSense) {
        fail("TV encoder: a write to the read-only sense register 0xB8");
        step();
        return true;
    }
    regs[size_t(index_)] = byte;
    writes.emplace_back(uint8_t(index_), byte);
    if (index_ == kEnable && byte == 0 && (regs[kInput] >> 4) == kInputController &&
        !(regs[kClock] & kClockFromInput) && clockKHz() == 0)
        fail("TV encoder: output enabled with a clock it cannot make (M " +
             std::to_string(regs[0x80]) + ", N " + std::to_string(regs[0x81]) + ", P " +
             std::to_string(regs[0x82] & 7) + ")");
    step();
    return true;
}

uint32_t TvEncoder::clockKHz() const {
    const uint32_t m = regs[0x80], n = regs[0x81], p = regs[0x82] & 7;
    if (m < 1 || m > 13 || n < 1 || n > 126 || (p != 1 && p != 3 && p != 7))
        return 0;
    return (n + 1) * 27000 / ((m + 1) * (p + 1));
}

TvEncoder::TvPicture TvEncoder::tvPicture() const {
    TvPicture t;
    t.on = regs[kEnable] == 0 && regs[0xB3] == 1;
    t.input = regs[kInput] >> 4;
    const uint32_t lines = uint32_t(regs[0x17]) * 4 + regs[0x18];
    const uint32_t carrier =
        uint32_t(regs[0]) << 24 | uint32_t(regs[1]) << 16 | uint32_t(regs[2]) << 8 | regs[3];
    if (lines == 625 && carrier == 0x2A098ACBu)
        t.standard = 0;
    else if (lines == 525 && (carrier == 0x21F07C1Fu || carrier == 0x21F072CCu))
        t.standard = 1;
    t.clockKHz = clockKHz();
    t.hTotal = reg16(0xA0);
    t.vTotal = reg16(0xA8) + 1;
    t.activeWidth = reg16(0x9E) - reg16(0x9C);
    t.activeLines = t.vTotal - reg16(0xA6);
    t.hPosition = reg16(0x9A);
    t.vPosition = reg16(0xA2);
    t.hScale = regs[0x90];
    t.vScale = reg16(0x91);
    const uint64_t frame = uint64_t(t.hTotal) * t.vTotal;
    if (frame != 0)
        t.frameHz = int((uint64_t(t.clockKHz) * 1000 + frame / 2) / frame);
    return t;
}

uint8_t TvEncoder::read() {
    if (indexNext_) {
        fail("TV encoder: a read without its register number");
        return 0xFF;
    }
    if (index_ > 0xFF)
        return 0xFF;
    const uint8_t v =
        index_ == kSense ? uint8_t((regs[kSense] & 0xF0) | (sense & 0x0F)) : regs[size_t(index_)];
    step();
    return v;
}

void SubAddressDevice::addressed(bool read) {
    if (!read)
        written_ = 0;
    readCount_ = 0;
}

bool SubAddressDevice::write(uint8_t byte) {
    if (written_++ == 0) {
        subAddress = byte;
        return true;
    }
    fail(what_ + ": a data byte after the sub-address");
    return false;
}

uint8_t SubAddressDevice::read() {
    if (readCount_++ != 0)
        fail(what_ + ": a read past its status byte");
    return 0x00;
}

AudioProcessor::AudioProcessor(uint8_t address, uint32_t version) : address_(address) {
    regs[0x1E] = uint16_t(version >> 16);
    regs[0x1F] = uint16_t(version);
}

void AudioProcessor::addressed(bool read) {
    reading_ = read;
    sent_ = 0;
    if (read) {
        if (in_.size() != 3 || in_[0] != 0x13)
            fail("audio processor: a read without sub-address 0x13 and a register number");
        else
            readReg_ = uint16_t(in_[1] << 8 | in_[2]);
    }
    in_.clear();
}

bool AudioProcessor::write(uint8_t byte) {
    if (in_.empty() && byte != 0x00 && byte != 0x12 && byte != 0x13) {
        fail("audio processor: sub-address " + hex(byte));
        return false;
    }
    const size_t limit = in_.empty() ? 5 : in_[0] == 0x12 ? 5 : 3;
    if (in_.size() >= limit) {
        fail("audio processor: more bytes than sub-address " + hex(in_[0]) + " takes");
        return false;
    }
    in_.push_back(byte);
    return true;
}

uint8_t AudioProcessor::read() {
    if (sent_ >= 2) {
        fail("audio processor: a read past a register's two bytes");
        return 0xFF;
    }
    const uint16_t v = regs.count(readReg_) ? regs[readReg_] : 0;
    return uint8_t(sent_++ == 0 ? v >> 8 : v);
}

void AudioProcessor::stopped() {
    if (reading_ || in_.empty()) {
        in_.clear();
        return;
    }
    // A read's sub-address part ends with a repeated start, not a stop.
    if (in_[0] == 0x12 && in_.size() == 5) {
        const uint16_t reg = uint16_t(in_[1] << 8 | in_[2]), val = uint16_t(in_[3] << 8 | in_[4]);
        regs[reg] = val;
        writes.push_back({reg, val});
    } else if (in_[0] == 0x00 && in_.size() == 3) {
        if (in_[1] == 0x80 && in_[2] == 0x00)
            resets++;
    } else {
        fail("audio processor: a transfer of " + std::to_string(in_.size()) +
             " bytes for sub-address " + hex(in_[0]));
    }
    in_.clear();
}

void Av9110::latch(uint8_t value) {
    const bool select = value & 0x08, clock = value & 0x80;
    const bool wasSelect = last_ & 0x08, wasClock = last_ & 0x80;
    if (!select && !wasClock && clock) {
        if (bits_ < 32)
            shift_ |= uint32_t((value & 0x04) ? 1 : 0) << bits_;
        bits_++;
    }
    if (select && !wasSelect) {
        if (bits_ != 24)
            fail("AV9110: a word of " + std::to_string(bits_) + " bits");
        word = shift_;
        words++;
        shift_ = 0;
        bits_ = 0;
    }
    last_ = value;
}

uint32_t Av9110::frequency() const {
    if (n() == 0)
        return 0;
    return (14318u * x() * m() / n()) >> v();
}

TvEncoder *attachEncoder(MgaI2cBus &bus, uint8_t address, uint8_t version) {
    auto d = std::make_unique<TvEncoder>(address, version);
    TvEncoder *raw = d.get();
    bus.addSlave(1, std::move(d));
    return raw;
}

SubAddressDevice *attachDecoder(MgaI2cBus &bus, uint8_t address) {
    auto d = std::make_unique<SubAddressDevice>(address, "video decoder");
    SubAddressDevice *raw = d.get();
    bus.addSlave(1, std::move(d));
    return raw;
}

SubAddressDevice *attachTuner(MgaI2cBus &bus, uint8_t address) {
    auto d = std::make_unique<SubAddressDevice>(address, "tuner");
    SubAddressDevice *raw = d.get();
    bus.addSlave(1, std::move(d));
    return raw;
}

AudioProcessor *attachAudio(MgaI2cBus &bus, uint8_t address, uint32_t version) {
    auto d = std::make_unique<AudioProcessor>(address, version);
    AudioProcessor *raw = d.get();
    bus.addSlave(1, std::move(d));
    return raw;
}

std::shared_ptr<Av9110> attachAv9110(MgaI2cBus &bus, uint8_t module) {
    auto av = std::make_shared<Av9110>();
    bus.watchExpander(module, [av](uint8_t v) { av->latch(v); });
    return av;
}

} // namespace sim
