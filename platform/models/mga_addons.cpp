#include "models/mga_addons.h"

#include <cstdio>

#include "machine.h"

namespace sim {

namespace {

void fail(const std::string &what) {
    Machine::current().fail(what);
}

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
    regs[size_t(index_)] = byte;
    step();
    return true;
}

uint8_t TvEncoder::read() {
    if (indexNext_) {
        fail("TV encoder: a read without its register number");
        return 0xFF;
    }
    if (index_ > 0xFF)
        return 0xFF;
    const uint8_t v = regs[size_t(index_)];
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
