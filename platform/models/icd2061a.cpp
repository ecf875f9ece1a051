// The ICD2061A serial decoder; see icd2061a.h.
#include "models/icd2061a.h"

namespace sim {

namespace {
constexpr int kUnlockEdges = 5;
constexpr int kWordBits = 24;
} // namespace

void Icd2061a::malformed(const std::string &why) {
    fail_("clock synthesiser: " + why + " (after " + std::to_string(bits_) + " bits)");
    state_ = State::Unlock;
    unlock_ = 0;
    bits_ = 0;
    shift_ = 0;
    haveComplement_ = false;
}

void Icd2061a::feed(bool data, bool clock) {
    const bool wasClock = clock_;
    data_ = data;
    clock_ = clock;
    if (clock && !wasClock)
        rising(data);
    else if (!clock && wasClock)
        falling(data);
}

void Icd2061a::falling(bool data) {
    switch (state_) {
    case State::Unlock:
        break;
    case State::Start:
        if (data)
            malformed("data high in the start pulses");
        break;
    case State::Bits:
        complement_ = data;
        haveComplement_ = true;
        break;
    }
}

void Icd2061a::rising(bool data) {
    switch (state_) {
    case State::Unlock:
        if (data) {
            unlock_++;
        } else if (unlock_ < kUnlockEdges) {
            malformed("start after " + std::to_string(unlock_) + " unlock pulses, not " +
                      std::to_string(kUnlockEdges) + " or more");
        } else {
            state_ = State::Start;
            startPulses_ = 1;
        }
        return;
    case State::Start:
        if (data) {
            malformed("data high in the start pulses");
            return;
        }
        state_ = State::Bits;
        bits_ = 0;
        shift_ = 0;
        haveComplement_ = false;
        return;
    case State::Bits:
        if (!haveComplement_) {
            malformed("a bit without its complement before it");
            return;
        }
        haveComplement_ = false;
        if (complement_ != data) {
            if (bits_ == kWordBits) {
                malformed("a 25th bit");
                return;
            }
            shift_ |= uint32_t{data} << bits_;
            bits_++;
            return;
        }
        if (!data || bits_ != kWordBits) {
            malformed(data ? "stop before the 24th bit" : "a bit sent twice as 0");
            return;
        }
        words_.push_back(shift_);
        regs_[static_cast<int>(shift_ >> 21)] = shift_;
        state_ = State::Unlock;
        unlock_ = 0;
        bits_ = 0;
        return;
    }
}

uint32_t Icd2061a::word(int reg) const {
    auto it = regs_.find(reg);
    return it == regs_.end() ? 0 : it->second;
}

uint32_t Icd2061a::frequency(uint32_t word) {
    const uint32_t p = (word >> 10) & 0x7F, m = (word >> 7) & 7, q = word & 0x7F;
    return (p + 3) * 5727 / (2 * (q + 2)) >> m;
}

} // namespace sim
