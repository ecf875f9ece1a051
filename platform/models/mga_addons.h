// Add-on devices of the "mga" board's second I2C bus (port 1), each a slave
// of MgaI2cBus, plus the AV9110 clock synthesiser behind the flat-panel link
// module's register (the line expander at 0x44, 0x74, ...).
//
//   TV encoder: 256 8-bit registers behind an index that counts up with each
//     byte; a write transfer takes the index then data; a read transfer
//     takes the index as its first byte after the read address, then sends.
//     Register 0xB2 holds the version. A transfer running past register
//     0xFF is a failure.
//     Register meanings this model gives the encoder (the hardware
//     description leaves them open; two-byte quantities low byte first):
//       00-03 colour subcarrier word (most significant byte first);
//       17-18 lines per frame, 10 bits (byte 0 x 4 + byte 1): 625 or 525;
//       3E 0 enables the encoder's output, 1 holds it;
//       B3 1 lets the input pixels in;
//       94 bits 4-7 the input: 0xB a display controller's pixels, 0x8 the
//          internal colour bars, 0xA YUV, 0xC pass-through as master;
//       80 M, 81 N, 82 0x80 | S << 3 | P: the clock (N + 1) x 27000 kHz /
//          ((M + 1)(P + 1)), made only for M 1-13, N 1-126 and P 1, 3
//          or 7 (a post divider of 2, 4 or 8);
//          82 bit 5 set: the synthesiser idle, the clock taken from the input;
//       90 horizontal scale (x/128), 91-92 vertical scale (x/32768);
//       9A horizontal position, 9C horizontal reference, 9E horizontal
//          active end, A0 horizontal total, A2 vertical position, A6
//          vertical active start, A8 vertical total - 1, AA vertical reset;
//       B8 the sense lines, read-only: bits 0-3 low where a TV input loads
//          the output (`sense`, 0x0F: nothing attached). A write is a
//          failure.
//     Enabling the output (3E = 0) with a display controller as the input
//     and its own clock set to one it cannot make is a failure. tvPicture() decodes the
//     running TV picture.
//   Video decoder and tuner: a sub-address byte then data in a write; a read
//     sends the status byte. More than one byte read per transfer, or a
//     data byte written to them, is a failure.
//   Audio processor: sub-address 0x12 takes a register number and a value
//     (16 bits each, high byte first), 0x13 a register number whose two
//     bytes a read behind a repeated start returns, 0x00 a reset word of two
//     bytes. Any other sub-address, a transfer with too few or too many
//     bytes, or a third byte read, is a failure.
//   AV9110: fed the module register's bits (0x08 select, low during a
//     word; 0x80 clock, data 0x04 taken on its rising edge), LSB first; a
//     word of other than 24 bits at the select's rising edge is a failure.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "models/mga_i2c.h"

namespace sim {

class TvEncoder : public I2cSlave {
  public:
    TvEncoder(uint8_t address, uint8_t version);
    uint8_t address() const override { return address_; }
    void addressed(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read() override;
    int bytesAfterReadAddress() const override { return 1; }
    std::vector<uint8_t> regs;
    int transfers = 0;
    uint8_t sense = 0x0F;
    std::vector<std::pair<uint8_t, uint8_t>> writes; // register, value, in order

    // The clock registers' synthesiser output in kHz; 0 when the dividers
    // are outside what the synthesiser makes.
    uint32_t clockKHz() const;
    struct TvPicture {
        bool on = false;   // output enabled, pixels let in
        int input = 0;     // register 94 bits 4-7
        int standard = -1; // 0: 625 lines, 50 Hz; 1: 525 lines, 60 Hz; -1 neither
        uint32_t clockKHz = 0;
        uint32_t hTotal = 0, vTotal = 0; // input pixels per line, lines per frame
        uint32_t activeWidth = 0;        // active end - reference
        uint32_t activeLines = 0;        // lines from the active start to the frame's end
        uint32_t hPosition = 0, vPosition = 0;
        uint32_t hScale = 0, vScale = 0;
        int frameHz = 0; // rounded
    };
    TvPicture tvPicture() const;
    uint32_t reg16(int r) const { return regs[size_t(r)] | uint32_t(regs[size_t(r) + 1]) << 8; }

  private:
    void step();
    uint8_t address_;
    int index_ = 0;
    bool indexNext_ = false;
};

class SubAddressDevice : public I2cSlave {
  public:
    SubAddressDevice(uint8_t address, const char *what) : address_(address), what_(what) {}
    uint8_t address() const override { return address_; }
    void addressed(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read() override;
    uint8_t subAddress = 0xFF;

  private:
    uint8_t address_;
    std::string what_;
    int written_ = 0, readCount_ = 0;
};

class AudioProcessor : public I2cSlave {
  public:
    AudioProcessor(uint8_t address, uint32_t version);
    uint8_t address() const override { return address_; }
    void addressed(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read() override;
    void stopped() override;
    std::map<uint16_t, uint16_t> regs;
    std::vector<std::pair<uint16_t, uint16_t>> writes; // in order
    int resets = 0;

  private:
    uint8_t address_;
    std::vector<uint8_t> in_;
    bool reading_ = false;
    int sent_ = 0;
    uint16_t readReg_ = 0;
};

class Av9110 {
  public:
    void latch(uint8_t value);
    uint32_t word = 0; // the last complete word
    int words = 0;
    uint32_t m() const { return word & 0x7F; }
    uint32_t n() const { return word >> 7 & 0x7F; }
    uint32_t x() const { return (word >> 14 & 1) ? 8 : 1; }
    uint32_t v() const { return word >> 17 & 3; }
    // The output frequency in kHz: reference x X x M / N, halved V times.
    uint32_t frequency() const;

  private:
    uint8_t last_ = 0xFF;
    uint32_t shift_ = 0;
    int bits_ = 0;
};

// Fixtures: the devices a board carries on port 1.
struct AddOns {
    TvEncoder *encoder = nullptr;
    SubAddressDevice *decoder = nullptr, *tuner = nullptr;
    AudioProcessor *audio = nullptr;
};
TvEncoder *attachEncoder(MgaI2cBus &bus, uint8_t address, uint8_t version);
SubAddressDevice *attachDecoder(MgaI2cBus &bus, uint8_t address);
SubAddressDevice *attachTuner(MgaI2cBus &bus, uint8_t address);
AudioProcessor *attachAudio(MgaI2cBus &bus, uint8_t address, uint32_t version);
// An AV9110 behind the expander at `module`.
std::shared_ptr<Av9110> attachAv9110(MgaI2cBus &bus, uint8_t module);

} // namespace sim
