// The nelto board (model "nelto"): S3's 3D-engine chip as its 2D driver sees
// it. It is the S3 board of models/s3_board.h (standard VGA registers, the
// CR38/CR39 locks, CR36 memory code, CR40, CR50, SR1 blanking, the hardware
// cursor of models/s3_cursor.h and video memory) with the memory-mapped 2D
// engine of models/nelto_engine.h at MEMORY + 0x1000000, the linear window
// and register decoding of CR53, CR58, CR59 and CR5A, and the cursor colour
// stacks CR4A and CR4B.
//
// Configuration:
//   adapter nelto
//   int MEMSIZE = BYTES        video memory, as the s3 board takes it
//   string ENGINE = "stopped"  the engine after power-on: "stopped" (needs
//                               the reset, the default), "running" (idle at
//                               once), "never" (no reset starts it) or
//                               "hangs" (starts, then stays busy at its
//                               first command)
//   memory BASE LENGTH         the default area (MEMORY): the frame buffer
//                               from its start, the engine's registers at
//                               0x1000000; at least 0x1010000 bytes
//
// Registers beyond the s3 board's:
// - CR53 bit 0x08 turns the engine's memory-mapped registers on; CR58 bit
//   0x10 turns the linear window on; CR59 and CR5A hold bits 31-24 and 23-16
//   of its physical address. An engine register access while the registers
//   are off, the window is off or placed elsewhere than the MEMORY area's
//   base is reported (once until that changes); the access is still made.
// - CR4A and CR4B: the cursor's foreground and background colour, a stack
//   of three bytes each, written one byte after another from byte 0 after a
//   read of CR45. A fourth write without a CR45 read in between is reported.
// - CR13 with CR51 bits 5-4 as its bits 9-8: the display line in 8-byte
//   units (displayPitch()).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "models/nelto_engine.h"
#include "models/s3_board.h"

namespace sim {

class NeltoWindow;

class NeltoAdapter : public S3Adapter {
  public:
    static constexpr uint32_t kEngineOffset = 0x1000000;

    NeltoAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "nelto"; }
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    NeltoEngine &neltoEngine();
    // The colour stacks as last written, and how many bytes since the last
    // CR45 read.
    const std::array<uint8_t, 3> &cursorForeground() const { return fg_; }
    const std::array<uint8_t, 3> &cursorBackground() const { return bg_; }
    int foregroundWrites() const { return fgCount_; }
    int backgroundWrites() const { return bgCount_; }
    // Engine register accesses made while the decoding registers were wrong.
    int undecodedAccesses() const;

  private:
    void stackWrite(std::array<uint8_t, 3> &stack, int &count, uint8_t reg, uint8_t value);

    NeltoWindow *window_;
    std::array<uint8_t, 3> fg_{}, bg_{};
    int fgCount_ = 0, bgCount_ = 0;
};

} // namespace sim
