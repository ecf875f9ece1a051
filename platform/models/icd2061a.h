// The ICD2061A dual clock synthesiser's serial interface, as boards wire it
// to two lines of some register: a data line and a clock line. Whoever owns
// the register hands every new state of the two lines to feed().
//
// Protocol (one word): an unlock of at least five rising clock edges with
// data high; a start of two clock pulses with data low; 24 bits, lowest
// first, each as its complement at a falling clock edge and then the bit
// itself at the next rising edge; a stop, which is a pulse with data high
// in place of a 25th bit. The word's bits 21-23 select the register it loads
// (2 the pixel clock, 3 the memory clock, 6 the control register). Anything
// else, a bit whose two halves agree, a stop before the 24th bit or a 25th
// bit, is a malformed sequence and reported.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

class Icd2061a {
  public:
    explicit Icd2061a(std::function<void(const std::string &)> fail) : fail_(std::move(fail)) {}

    void feed(bool data, bool clock);

    // Every word loaded, in order, and the last word of each register.
    const std::vector<uint32_t> &words() const { return words_; }
    bool loaded(int reg) const { return regs_.count(reg) != 0; }
    uint32_t word(int reg) const;
    // The frequency a clock word makes, in 10 kHz units: 2 x 14.318 MHz x
    // (P + 3) / (Q + 2), halved M times.
    static uint32_t frequency(uint32_t word);

  private:
    enum class State { Unlock, Start, Bits };
    void malformed(const std::string &why);
    void rising(bool data);
    void falling(bool data);

    std::function<void(const std::string &)> fail_;
    bool data_ = true, clock_ = true;
    State state_ = State::Unlock;
    int unlock_ = 0;
    int startPulses_ = 0;
    bool haveComplement_ = false;
    bool complement_ = false;
    int bits_ = 0;
    uint32_t shift_ = 0;
    std::vector<uint32_t> words_;
    std::map<int, uint32_t> regs_;
};

} // namespace sim
