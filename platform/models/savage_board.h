// The savage board (model "savage"): the S3 board of models/s3_board.h
// (standard VGA registers, the CR38/CR39 locks, CR36 memory code, SR1
// blanking, the hardware cursor of models/s3_cursor.h and the linear frame
// buffer as MEMORY) with a drawing engine fed
// through one command port in the register area REGS.
//
// Configuration:
//   adapter savage
//   int MEMSIZE = BYTES         video memory, as the s3 board takes it
//   string ENGINE = "running"   "running" (the default) or "hangs": the
//                               status word never shows the engine idle
//   memory BASE LENGTH          the default area (MEMORY): the frame buffer
//   memory REGS BASE LENGTH     the register area, at least 0x50000 bytes
//
// Registers (32-bit accesses at REGS + offset; anything else is reported):
//   0x10000  command port: the words of each command sequence, in order
//   0x48C00  status (read): the idle bits kIdleBits (0x0002FFFF; the
//            example's STATUSMASK) all set when the engine is idle, 0 busy
//   0x48C18  engine control: bit 0x8 turns the engine on; command words
//            while it is clear are reported and dropped
// CR13 with CR51 bits 5-4 give the drawing pitch in 8-byte units, CR67
// bits 7-4 the pixel size: 0 one byte, 3 or 5 two bytes, 0xD four bytes
// (another code is reported at the first command).
//
// Command sequences: [0x960100D7 mask] command word ... 0xC0020000.
//   The plane-mask pair may stand alone or come before a command, never
//   inside one. A command word is 0x4B000000 (left to right, top to bottom)
//   or 0x48000000 (right to left, bottom to top from the corner given) with
//   the ROP3 code (over source S = 0xCC and destination) in bits 16-23 and
//   one of these low halves:
//     0x8000  fill with a colour: colour word, then position and size words
//             for each rectangle
//     0x0000  fill without a source: position and size words per rectangle
//     0x0020  copy: source position, destination position, size
//     0x4000  clip word, position, size (no data)
//     0x4040  image: clip word, position, size, then per row width x pixel
//             bytes as words, the first byte in bits 24-31
//     0xC260  monochrome, transparent: clip, fg, position, size, then per
//             row width / 32 words, the leftmost pixel in bit 31
//     0xC060  monochrome, opaque: clip, fg, bg, position, size, data
//   Position words are x | y << 16, size words width | height << 16, clip
//   words left | right (inclusive) << 16. Images take widths in multiples
//   of 4 pixels, monochrome images multiples of 32.
// Strict: an unknown word or one out of its place, an end word before all
// data words or any word after them but the end word, a sequence still open
// when the processor touches video memory or the engine is turned off, and
// a processor access to video memory while the engine is busy.
// Choices: a command runs at its end word, pixel by pixel in its order, and
// keeps the engine busy for a few status reads; the plane mask protects the
// pixel bits it leaves clear; pixels beyond video memory are reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "models/s3_board.h"

namespace sim {

namespace savagereg {
constexpr uint32_t CommandPort = 0x10000, Status = 0x48C00, Control = 0x48C18;
constexpr uint32_t kIdleBits = 0x0002FFFF;
constexpr uint32_t kControlOn = 0x8;
constexpr uint32_t kMinRegsLength = 0x50000;
constexpr uint32_t kPlaneMaskWord = 0x960100D7, kEndWord = 0xC0020000;
} // namespace savagereg

// One command the engine ran.
struct SavageOp {
    uint32_t command;
    uint32_t planemask;
    int pixelBytes;
    uint32_t dataWords;
    int rectangles;
};

class SavageEngine;

class SavageAdapter : public S3Adapter {
  public:
    SavageAdapter(graf::Config &cfg, Machine &m);

    std::string model() const override { return "savage"; }
    void drain() override;
    std::string describe() const override;
    uint32_t displayPitch() const override;

    SavageEngine &savageEngine();
    const std::vector<SavageOp> &log() const;
    void clearLog();
    // Every word written to the command port, plane-mask words included.
    const std::vector<uint32_t> &words() const;
    void clearWords();
    uint32_t planemask() const;
    bool engineOn() const;
    int pixelBytes() const; // from CR67, 0 for no size

  private:
    SavageEngine *engine_;
};

} // namespace sim
