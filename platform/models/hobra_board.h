// The IBM 8514/A-compatible board (model "ibm8514"): the 8514/A engine
// (models/hobra_engine.h) on 1024 x 1024 pixels of video memory in 4 or 8
// planes, and a palette DAC at four byte ports.
//
// Configuration:
//   adapter ibm8514
//   int PLANES = 8 | 4         planes of video memory (default 8); each
//                              pixel is a byte, the absent planes read 0
//   string BOARD = "8514"      the engine alone (the default)
//                  "ati"       an ATI board: the engine with the ATI scissor
//                              ports 0xDAEE, 0xDEEE, 0xE2EE, 0xE6EE
//                  "none"      no engine: its ports float (all ones, writes
//                              lost), as a VGA-only card answers a probe
//   int PALWRITE, PALREAD, PALMASK, PALDATA
//                              the DAC's write index, read index, pixel mask
//                              and data ports (defaults 0x2EC, 0x2EB, 0x2EA,
//                              0x2ED, the 8514/A's)
// The board has no memory area of its own; areas of the configuration become
// plain memory.
//
// Advanced function control (0x4AE8): bit 0 set shows the engine's picture
// (clear: the VGA beside it passes through), bit 2 the 1024-pixel display
// clock. The display's line is always 1024 pixels of a byte.
#pragma once

#include <cstdint>
#include <string>

#include "adapter.h"
#include "models/hobra_engine.h"
#include "models/s3_engine.h"
#include "vga.h"

namespace sim {

class HobraBoard;

class HobraAdapter : public Adapter {
  public:
    static constexpr uint32_t kLinePixels = 1024;
    static constexpr uint32_t kLines = 1024;
    static constexpr uint16_t kDefaultPalWrite = 0x2EC, kDefaultPalRead = 0x2EB,
                              kDefaultPalMask = 0x2EA, kDefaultPalData = 0x2ED;

    HobraAdapter(const std::string &model, graf::Config &cfg, Machine &m);

    std::string model() const override { return model_; }
    VideoMemory *vram() override;
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override { return kLinePixels; }

    S3EngineCore &engine();
    vga::Dac &dac();
    int planes() const;
    bool hasEngine() const;
    bool atiScissors() const;
    // Advanced function control bit 0: the engine's picture is shown.
    bool displayOn() const;

  private:
    std::string model_;
    HobraBoard *board_;
};

} // namespace sim
