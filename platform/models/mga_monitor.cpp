#include "models/mga_monitor.h"

#include <stdexcept>

namespace sim {

namespace {

void balance(std::vector<uint8_t> &b, size_t first, size_t count, size_t at) {
    uint8_t sum = 0;
    for (size_t i = first; i < first + count; i++)
        if (i != at)
            sum = uint8_t(sum + b[i]);
    b[at] = uint8_t(-sum);
}

} // namespace

bool EdidMemory::write(uint8_t byte) {
    if (offsetNext_)
        pointer_ = byte;
    offsetNext_ = false;
    return true;
}

uint8_t EdidMemory::read() {
    const uint8_t v = bytes_[pointer_ % bytes_.size()];
    pointer_ = uint8_t((pointer_ + 1) % bytes_.size());
    if (pointer_ % 128 == 0)
        reads_++;
    return v;
}

Edid1::Edid1() : b_(128, 0) {
    const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    for (int i = 0; i < 8; i++)
        b_[size_t(i)] = header[i];
    b_[8] = 0x34; // maker and product
    b_[9] = 0x12;
    b_[10] = 0x01;
    b_[18] = 1;
    b_[19] = 3;
    b_[21] = 32;
    b_[22] = 24;
    for (int i = 38; i < 54; i++)
        b_[size_t(i)] = 1; // standard-timing slots unused
}

Edid1 &Edid1::established(int byte, int bit) {
    if (byte < 35 || byte > 37 || bit < 0 || bit > 7)
        throw std::invalid_argument("Edid1: established timings are bits of bytes 35-37");
    b_[size_t(byte)] = uint8_t(b_[size_t(byte)] | 1u << bit);
    return *this;
}

Edid1 &Edid1::standard(int slot, uint8_t c0, uint8_t c1) {
    b_[size_t(38 + 2 * slot)] = c0;
    b_[size_t(39 + 2 * slot)] = c1;
    return *this;
}

Edid1 &Edid1::descriptor(int slot, const std::vector<uint8_t> &d) {
    if (d.size() != 18 || slot < 0 || slot > 3)
        throw std::invalid_argument("Edid1: four descriptors of 18 bytes");
    for (size_t i = 0; i < 18; i++)
        b_[size_t(54 + 18 * slot) + i] = d[i];
    return *this;
}

Edid1 &Edid1::rangeLimits(int slot, uint8_t minV, uint8_t maxV, uint8_t minH, uint8_t maxH,
                          uint8_t clock10MHz) {
    std::vector<uint8_t> d(18, 0);
    d[3] = 0xFD;
    d[5] = minV;
    d[6] = maxV;
    d[7] = minH;
    d[8] = maxH;
    d[9] = clock10MHz;
    return descriptor(slot, d);
}

Edid1 &Edid1::set(int offset, uint8_t value) {
    b_.at(size_t(offset)) = value;
    return *this;
}

std::vector<uint8_t> Edid1::bytes() const {
    std::vector<uint8_t> v = b_;
    balance(v, 0, 128, 127);
    return v;
}

std::vector<uint8_t> detailedTiming(uint32_t clockKHz, uint32_t width, uint32_t hblank,
                                    uint32_t height, uint32_t vblank, uint32_t hfp, uint32_t hsync,
                                    uint32_t vfp, uint32_t vsync, uint8_t flags) {
    std::vector<uint8_t> d(18, 0);
    const uint32_t clock = clockKHz / 10;
    d[0] = uint8_t(clock);
    d[1] = uint8_t(clock >> 8);
    d[2] = uint8_t(width);
    d[3] = uint8_t(hblank);
    d[4] = uint8_t((width >> 8) << 4 | (hblank >> 8 & 0xF));
    d[5] = uint8_t(height);
    d[6] = uint8_t(vblank);
    d[7] = uint8_t((height >> 8) << 4 | (vblank >> 8 & 0xF));
    d[8] = uint8_t(hfp);
    d[9] = uint8_t(hsync);
    d[10] = uint8_t((vfp & 0xF) << 4 | (vsync & 0xF));
    d[11] = uint8_t((hfp >> 8 & 3) << 6 | (hsync >> 8 & 3) << 4 | (vfp >> 4 & 3) << 2 |
                    (vsync >> 4 & 3));
    d[17] = flags;
    return d;
}

Edid2::Edid2() : b_(256, 0) {
    b_[0] = 0x20;
    b_[1] = 0x34; // maker and product
    b_[2] = 0x12;
    b_[3] = 0x02;
    b_[4] = 0x00;
}

Edid2 &Edid2::code(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3) {
    codes_.push_back({c0, c1, c2, c3});
    return *this;
}

Edid2 &Edid2::detailed(const std::vector<uint8_t> &d) {
    if (d.size() != 18)
        throw std::invalid_argument("Edid2: a detailed timing is 18 bytes");
    detailed_.push_back(d);
    return *this;
}

Edid2 &Edid2::blocks(int ranges, int frequencies) {
    ranges_ = ranges;
    frequencies_ = frequencies;
    return *this;
}

Edid2 &Edid2::set(int offset, uint8_t value) {
    b_.at(size_t(offset)) = value;
    return *this;
}

std::vector<uint8_t> Edid2::bytes() const {
    std::vector<uint8_t> v = b_;
    v[126] = uint8_t((v[126] & ~0x1Fu) | unsigned(ranges_ & 7) << 2 | unsigned(frequencies_ & 3));
    v[127] = uint8_t(codes_.size() << 3 | (detailed_.size() & 7));
    size_t at = 128 + 8 * size_t(ranges_) + 27 * size_t(frequencies_);
    for (const auto &c : codes_) {
        for (uint8_t x : c)
            if (at < 256)
                v[at++] = x;
    }
    for (const auto &d : detailed_)
        for (uint8_t x : d)
            if (at < 256)
                v[at++] = x;
    balance(v, 0, 128, 124);
    if (at < 256)
        balance(v, 128, 128, 255);
    return v;
}

std::vector<uint8_t> withBadSum(std::vector<uint8_t> bytes) {
    bytes.at(16) = uint8_t(bytes[16] + 1); // the week of manufacture
    return bytes;
}

EdidMemory *attachMonitor(MgaI2cBus &bus, int port, uint8_t address, std::vector<uint8_t> bytes) {
    auto m = std::make_unique<EdidMemory>(address, std::move(bytes));
    EdidMemory *raw = m.get();
    bus.addSlave(port, std::move(m));
    return raw;
}

} // namespace sim
