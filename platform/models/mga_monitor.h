// Monitors on the "mga" board's serial buses: the EDID memory a display
// carries (128 bytes of an EDID 1.x block or 256 of an EDID 2.0 block) at
// DDC address 0xA0, 0xA2 or 0xA6, and builders for the blocks.
//
// A memory behaves as a serial EEPROM: a byte written after its address
// sets the offset pointer, further written bytes are taken and dropped,
// reads run on from the pointer and wrap at the memory's end. Chosen:
// a monitor reached over a bus it is not on, or at another address, does
// not answer (no acknowledge), which is the master's concern, not a fault.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "models/mga_i2c.h"

namespace sim {

class EdidMemory : public I2cSlave {
  public:
    EdidMemory(uint8_t address, std::vector<uint8_t> bytes)
        : address_(address), bytes_(std::move(bytes)) {}
    uint8_t address() const override { return address_; }
    void addressed(bool read) override { offsetNext_ = !read; }
    bool write(uint8_t byte) override;
    uint8_t read() override;
    // Blocks read out whole since the memory was made (a read that ends at
    // the pointer's wrap counts one).
    int reads() const { return reads_; }

  private:
    uint8_t address_;
    std::vector<uint8_t> bytes_;
    uint8_t pointer_ = 0;
    bool offsetNext_ = false;
    int reads_ = 0;
};

// An EDID 1.3 block: header, a maker and product, version 1 revision 3,
// analogue input, a 32 x 24 cm screen, no timings; each setter fills its
// part, and bytes() gives the block with its sum.
class Edid1 {
  public:
    Edid1();
    Edid1 &established(int byte, int bit);                      // byte 35, 36 or 37
    Edid1 &standard(int slot, uint8_t c0, uint8_t c1);          // slot 0 to 7
    Edid1 &descriptor(int slot, const std::vector<uint8_t> &d); // slot 0 to 3, 18 bytes
    Edid1 &rangeLimits(int slot, uint8_t minV, uint8_t maxV, uint8_t minH, uint8_t maxH,
                       uint8_t clock10MHz);
    Edid1 &set(int offset, uint8_t value);
    std::vector<uint8_t> bytes() const;

  private:
    std::vector<uint8_t> b_;
};

// An 18-byte detailed timing descriptor.
std::vector<uint8_t> detailedTiming(uint32_t clockKHz, uint32_t width, uint32_t hblank,
                                    uint32_t height, uint32_t vblank, uint32_t hfp, uint32_t hsync,
                                    uint32_t vfp, uint32_t vsync, uint8_t flags = 0x18);

// An EDID 2.0 block of 256 bytes: version byte 0x20, map bytes 126, 127
// from the numbers given, timing codes and detailed timings where the
// layout puts them, each 128-byte half summing to 0.
class Edid2 {
  public:
    Edid2();
    Edid2 &code(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3);
    Edid2 &detailed(const std::vector<uint8_t> &d);
    // Range-limit and frequency-range blocks before the codes.
    Edid2 &blocks(int ranges, int frequencies);
    Edid2 &set(int offset, uint8_t value);
    std::vector<uint8_t> bytes() const;

  private:
    std::vector<uint8_t> b_;
    std::vector<std::vector<uint8_t>> codes_, detailed_;
    int ranges_ = 0, frequencies_ = 0;
};

// The same bytes with the first block's sum off by one (a byte nothing reads
// changed).
std::vector<uint8_t> withBadSum(std::vector<uint8_t> bytes);

// A monitor with these EDID bytes at `address` on the board's bus `port`.
EdidMemory *attachMonitor(MgaI2cBus &bus, int port, uint8_t address, std::vector<uint8_t> bytes);

} // namespace sim
