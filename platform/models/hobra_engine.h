// The 8514/A front end of the 8514/A-style engine core (models/s3_engine.h):
// the engine as IBM 8514/A-compatible boards carry it, reached only through
// 16-bit I/O ports.
//
// Ports (16-bit accesses at the even address; anything else is reported):
//   0x42E8 subsystem control (bit 15 resets the engine; outside the FIFO)
//   0x4AE8 advanced function control (outside the FIFO; the board reads it)
//   0x9AE8 write: command; read: status. 0xDAE8 read: the same status.
//   0xC2E8 current y, 0xC6E8 current x, 0xCAE8 destination y (axial step),
//   0xCEE8 destination x (diagonal step), 0xD2E8 error term (reads back as
//   written: the probe's echo), 0xD6E8 major axis count.
//   0xE2E8 background colour; while a host-data command is owed words, the
//   pixel transfer instead (reads always take the read-back).
//   0xE6E8 foreground colour, 0xEAE8 write mask, 0xEEE8 read mask,
//   0xF6E8 background mix, 0xFAE8 foreground mix, 0xFEE8 multifunction.
//   ATI boards only: 0xDAEE, 0xDEEE, 0xE2EE, 0xE6EE scissors left, top,
//   right, bottom (inclusive), 12 bits each, queued like multifunction writes:
//   they are the scissors multifunction indexes 1 to 4 write, one set.
//
// Status: bits 0-7 the FIFO fill (k queued entries set the k low bits),
// 0x200 busy; the engine is idle when status & 0x201 is 0. Eight entries,
// one drained per status read.
//
// Multifunction indexes: 0 height, 1-4 scissors, 5 memory control, 8 and 9
// (taken, no effect modelled), 0xA pixel control (0xA000, 0xA080, 0xA0C0).
//
// Commands: 0xC0F3 blit (clearing 0x20 runs right to left, clearing 0x80
// bottom to top), 0x80B3 fill, 0x53F1 host pixels, 0x53F0 read-back, 0x53F3
// across-plane host data, 0x201B horizontal stroke of (major axis + 1)
// pixels, 0x2017 / 0x2057 lines (x / y major; 0x20 x increasing, 0x80 y
// increasing).
//
// Choices where the board descriptions leave details open:
// - Host pixel data (0x53F1) is one stream of 8-bit pixels, two a word, the
//   left one in the low byte, a row's end not starting a new word.
//   Read-back (0x53F0) gives each row from a new word (the driver reads rows
//   of even width, where the two readings agree).
// - Across-plane data (0x53F3) carries eight pixels a word, leftmost in bit 4,
//   then bits 3, 2, 1, 12, 11, 10, 9; the other bits are not looked at. Each
//   row starts on a new word. The transfer starts at an x that is a
//   multiple of 4 (the engine's across-plane alignment); any other x is
//   reported (the transfer still takes its words).
// - Every data-port word written takes a FIFO entry as a register write
//   does; a word beyond the room the last status read showed is reported.
//   Host-data and read-back commands may follow a running operation through
//   the FIFO, and read-back words need no data-ready status first.
// - Plane k of a plane expansion (pixel control 0xA0C0) is chosen by read
//   mask bit k + 1, plane 7 by bit 0 (the read mask rotated right by one);
//   a colour blit reads the planes through the read mask as written, not
//   rotated (a mask of 0xFF reads every plane either way).
#pragma once

#include <cstdint>

#include "machine.h"
#include "models/s3_engine.h"

namespace sim {

const S3ChipParams &hobraChipParams();

namespace hobraport {
constexpr uint16_t SubsystemControl = 0x42E8;
constexpr uint16_t AdvancedFunction = 0x4AE8;
constexpr uint16_t Command = 0x9AE8;
constexpr uint16_t Status2 = 0xDAE8;
constexpr uint16_t ErrTerm = 0xD2E8;
constexpr uint16_t PixelData = 0xE2E8;
constexpr uint16_t AtiScissorLeft = 0xDAEE;
constexpr uint16_t AtiScissorTop = 0xDEEE;
constexpr uint16_t AtiScissorRight = 0xE2EE;
constexpr uint16_t AtiScissorBottom = 0xE6EE;
} // namespace hobraport

class HobraEnginePorts : public PortDevice {
  public:
    // `atiScissors`: the board has the ATI scissor ports.
    HobraEnginePorts(S3EngineCore &core, bool atiScissors)
        : core_(core), atiScissors_(atiScissors) {}
    void attach(Machine &m);
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;

  private:
    bool wordAccess(const char *what, uint16_t port, int width, uint32_t value) const;
    S3EngineCore &core_;
    bool atiScissors_;
};

// Ports of a board without an 8514/A engine: nothing answers there, reads
// float to all ones and writes are lost, silently (a probe may look).
class FloatingPorts : public PortDevice {
  public:
    uint32_t in(uint16_t, int width) override {
        return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    }
    void out(uint16_t, int, uint32_t) override {}
};

} // namespace sim
