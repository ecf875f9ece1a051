// The zandel board (model "zandel"): the Weitek second-generation
// accelerator, on PCI or on the VL bus.
//
// Configuration:
//   adapter zandel
//   string BUS = "pci"          where the board sits: "pci" (a function on
//                                the machine's PCI bus) or "vlb" (its
//                                configuration bytes behind ports 0x9100 and
//                                0x9104)
//   int CHIP_VENDOR = 0x100E    identity bytes 0x00-0x01
//   int CHIP_DEVICE = 0x9100    identity bytes 0x02-0x03
//   int CFG_BASE = N            bytes 0x12-0x13: bits 16-31 of the memory
//                                base; by default those of the default
//                                memory area's physical base (0 without one)
//   memory BASE LENGTH          the default area: the chip's register window
//
// Configuration space (the same 256 bytes on either bus): identity, class
// 3/0 (VGA-compatible display controller), the memory base at 0x10-0x13;
// software may change the command bits of 0x04 and registers 0x41 (bit 1
// clear: native mode; 0x02 at power-up) and 0x42 (the clock synthesiser's
// serial lines). Every write of 0x41 and 0x42 is recorded.
//
// On the VL bus an 8-bit write of a byte index to 0x9100 selects the byte
// an 8-bit access to 0x9104 then reads or writes. Strict: a data access that
// does not come directly after its index write (another access of the
// machine in between, or a second data access), an access of 16 or 32 bits,
// or one to 0x9101-0x9103 or 0x9105-0x9107 is a failure. On PCI the two
// ports answer as an empty bus does: reads 0xFF, writes lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter.h"
#include "pcibus.h"

namespace sim {

class ZandelAdapter;

class ZandelConfigSpace : public PciFunction {
  public:
    ZandelConfigSpace(ZandelAdapter &board, uint16_t vendor, uint16_t device, uint16_t base);
    void configWrite(int reg, int size, uint32_t value) override;

  private:
    ZandelAdapter &board_;
};

class ZandelAdapter : public Adapter {
  public:
    static constexpr uint16_t kIndexPort = 0x9100;
    static constexpr uint16_t kDataPort = 0x9104;
    static constexpr int kModeReg = 0x41;
    static constexpr int kClockReg = 0x42;
    static constexpr uint8_t kNotNative = 0x02;

    ZandelAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "zandel"; }
    VideoMemory *vram() override { return nullptr; }
    std::string describe() const override;

    bool onPci() const { return onPci_; }
    ZandelConfigSpace &config() { return *config_; }
    Machine &machine() { return machine_; }
    bool nativeMode() const { return (config_->byte(kModeReg) & kNotNative) == 0; }
    // Every byte written to 0x41 and 0x42, in order.
    const std::vector<uint8_t> &modeWrites() const { return modeWrites_; }
    const std::vector<uint8_t> &clockWrites() const { return clockWrites_; }

  private:
    friend class ZandelConfigSpace;
    Machine &machine_;
    bool onPci_ = true;
    ZandelConfigSpace *config_ = nullptr;
    std::vector<uint8_t> modeWrites_;
    std::vector<uint8_t> clockWrites_;
};

} // namespace sim
