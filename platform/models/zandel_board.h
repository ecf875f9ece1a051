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
//   int MEMSIZE = 0x200000      video memory fitted: 1, 2 or 4 MB (4 MB only in
//                                wide banks)
//   int POWERUP = 0x8000        the power-up configuration word (0x198): bit 3
//                                half memory, bit 4 narrow banks, bits 5-7
//                                clock type, bits 12-15 RAMDAC type (any set:
//                                a 64-bit memory bus)
//   int REVISION = 2            chip revision, bits 0-2 of the system
//                                configuration register as read back
//   string DAC = "..."          the RAMDAC: "rgb525", "rgb511" or "bt485"; by
//                                default what bits 12-15 of POWERUP name (8
//                                the RGB525, 4 the RGB511, others Bt485-class)
//   int DAC_ID = 0x80           what a Bt485-class RAMDAC's register 10 shows
//                                while bit 7 of its register 6 is clear
//   int RGB525_TEXT = SEED      the RGB525's registers as the text mode left
//                                them: register r holds SEED + 37r (0: all 0)
//   int MEM_OFFSET = 0x800000   where the frame buffer starts in the window
//                                (the driver's key; page aligned, at least
//                                0x80000, past every register)
//   memory BASE LENGTH          the default area: the chip's register window,
//                                at least MEM_OFFSET plus the memory fitted
//
// Configuration space (the same 256 bytes on either bus): identity, class
// 3/0 (VGA-compatible display controller), the memory base at 0x10-0x13;
// software may change the command bits of 0x04 and registers 0x41 (bit 1
// clear: native mode; 0x02 at power-up) and 0x42 (the clock synthesiser's
// serial lines). Every write of 0x41 and 0x42 is recorded.
//
// Register window (32-bit accesses only; any other offset or width, or a
// write to a read-only register, is a failure):
// - 0x004 system configuration: the pitch (displayPitch()) from its four
//   line-length fields; bits 0-2 read back as the revision.
// - 0x008, 0x00C, 0x108-0x12C (CRTC), 0x130, 0x138 (SRTCTL), 0x140
//   (SRTCTL2), 0x184 (memory configuration), 0x188, 0x190: kept as written.
// - 0x198 power-up word: read only.
// - 0x200 + 4k, k = 0-15: RAMDAC register k. A write must carry its byte in
//   all four lanes; a read gives the byte in bits 16-23, the other lanes 0.
//   The RGB525 reaches its 256 registers by index low (4), index high (5,
//   must be 0) and data (6); the RGB511 by index (0) and data (10). Every
//   type keeps a palette: write index 0, then red, green, blue at 1.
// - 0x2000-0x22FF, 0x3000-0x33FF, 0x62000-0x62FFF, 0x72000-0x72FFF: the
//   drawing engine, second generation (weitek_engine.h): status, commands,
//   parameters, coordinates, colours and the image and 1-bit data ports.
//   The system configuration word gives it the pixel size and pitch.
// The frame buffer at MEM_OFFSET is plain memory to the processor. Accesses
// through the accessors (the driver's memory probe) reach it only while the
// bank code in bits 0-2 of the memory configuration (bit 2 wide banks, bits
// 0-1 banks - 1) fits the memory fitted: the same bank width, and no more
// than the memory there (a bank is 1 MB wide, 512 KB narrow). Otherwise
// writes are lost and reads give the last value driven on the bus.
//
// Configuration register 0x42 drives an ICD2061A clock synthesiser (data 8,
// clock 4, bit 0 set in every byte; see icd2061a.h).
//
// On the VL bus an 8-bit write of a byte index to 0x9100 selects the byte
// an 8-bit access to 0x9104 then reads or writes. Strict: a data access that
// does not come directly after its index write (another access of the
// machine in between, or a second data access), an access of 16 or 32 bits,
// or one to 0x9101-0x9103 or 0x9105-0x9107 is a failure. On PCI the two
// ports answer as an empty bus does: reads 0xFF, writes lost.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "adapter.h"
#include "models/icd2061a.h"
#include "models/weitek_engine.h"
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

    enum class Dac { Rgb525, Rgb511, Bt485 };

    ZandelAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "zandel"; }
    VideoMemory *vram() override { return &vram_; }
    std::string describe() const override;
    uint32_t displayPitch() const override;
    void drain() override { engine_.drain(); }
    WeitekEngine &engine() { return engine_; }

    // A chip register as last written (the power-up word for 0x198).
    uint32_t reg(uint32_t offset) const;
    uint32_t memOffset() const { return memOffset_; }
    Dac dac() const { return dac_; }
    uint8_t dacReg(int k) const { return dacRegs_[static_cast<size_t>(k & 15)]; }
    const std::array<uint8_t, 256> &rgb525() const { return rgb525_; }
    const std::array<uint8_t, 256> &rgb511() const { return rgb511_; }
    std::array<uint8_t, 256> &rgb525() { return rgb525_; }
    const Icd2061a &clockSynth() const { return icd_; }
    const std::array<uint8_t, 3> &paletteEntry(int i) const {
        return palette_[static_cast<size_t>(i & 0xFF)];
    }
    // Whether the memory configuration's bank code fits the memory fitted.
    bool bankCodeFits() const;

    // The register window's and the frame buffer's sides, for the devices.
    uint32_t regRead(uint32_t offset, int width);
    void regWrite(uint32_t offset, int width, uint32_t value);
    uint32_t probeRead(uint32_t offset, int width);
    void probeWrite(uint32_t offset, int width, uint32_t value);

    bool onPci() const { return onPci_; }
    ZandelConfigSpace &config() { return *config_; }
    Machine &machine() { return machine_; }
    bool nativeMode() const { return (config_->byte(kModeReg) & kNotNative) == 0; }
    // Every byte written to 0x41 and 0x42, in order.
    const std::vector<uint8_t> &modeWrites() const { return modeWrites_; }
    const std::vector<uint8_t> &clockWrites() const { return clockWrites_; }

  private:
    friend class ZandelConfigSpace;
    void clockLines(uint8_t value);
    void dacWrite(int k, uint8_t value);
    uint8_t dacRead(int k);

    Machine &machine_;
    VideoMemory vram_;
    WeitekEngine engine_;
    WeitekSecondGenFront front_;
    uint32_t memOffset_ = 0;
    uint32_t powerUp_ = 0;
    uint32_t revision_ = 0;
    bool wideBanks_ = true;
    Dac dac_ = Dac::Rgb525;
    std::map<uint32_t, uint32_t> regs_;
    std::array<uint8_t, 16> dacRegs_{};
    std::array<uint8_t, 256> rgb525_{};
    std::array<uint8_t, 256> rgb511_{};
    uint32_t busValue_ = 0;
    uint8_t dacId_ = 0x80;
    std::array<std::array<uint8_t, 3>, 256> palette_{};
    uint8_t paletteIndex_ = 0;
    int paletteComponent_ = 0;
    Icd2061a icd_;
    bool onPci_ = true;
    ZandelConfigSpace *config_ = nullptr;
    std::vector<uint8_t> modeWrites_;
    std::vector<uint8_t> clockWrites_;
};

} // namespace sim
