// The Mach64 drawing engine: what the engine does with the register writes
// that leave the board's command FIFO (mach64_board.h). It draws rectangles
// and Bresenham lines into video memory.
//
// Registers (word indices; rectangle words hold x or the width in the high
// half, y or the height in the low half):
//   64 DST_OFF_PITCH   offset in 8-byte units (bits 0-19), pitch in units of
//                      8 pixels (bits 22-31)
//   67 DST_Y_X         y in bits 0-14, x in bits 16-30 (bits 15 and 31 are
//                      taken and ignored)
//   70 DST_HEIGHT_WIDTH  height bits 0-14, width bits 16-30; the write starts
//                      a rectangle
//   72-75 DST_BRES_LNTH, ERR, INC, DEC: the write of the length (bits 0-14)
//                      starts a line from DST_Y_X: each pixel is drawn, then an
//                      error of 0 or less takes an axial step and adds INC, a
//                      positive one a diagonal step and adds DEC (32-bit terms)
//   76 DST_CNTL        bit 0 x left to right, bit 1 y top to bottom, bit 2
//                      y is the line's major axis, bit 3 x advances by the
//                      width after each rectangle, bit 5 a line's last pixel
//                      is drawn (else LNTH - 1 pixels)
//   96 SRC_OFF_PITCH   as DST_OFF_PITCH, for the blit source
//   99, 102 SRC_Y_X, SRC_HEIGHT1_WIDTH1; 105, 108 SRC_Y_X_START,
//                      SRC_HEIGHT2_WIDTH2; 109 SRC_CNTL: bit 0 the source
//                      repeats its first rectangle, bit 1 (with bit 0) it then
//                      repeats the second rectangle, bit 2 linear source (one
//                      stream of pixels from the offset plus SRC_Y_X's x, in
//                      drawing order, no pitch)
//   128 HOST_DATA0     host data words (below)
//   170, 173 SC_LEFT_RIGHT, SC_TOP_BOTTOM: inclusive scissors, right and
//                      bottom in the high half; pixels outside are not drawn
//   176-182 DP_BKGD_CLR, DP_FRGD_CLR, DP_WRITE_MASK, DP_CHAIN_MASK (taken),
//                      DP_PIX_WIDTH, DP_MIX, DP_SRC
//   192-194 CLR_CMP_CLR, CLR_CMP_MASK, CLR_CMP_CNTL (bits 0-2: 0 always
//                      write, 1 never, 4 skip where the masked destination
//                      differs from the colour, 5 skip where it equals it;
//                      bits 24-25: 0 the destination is compared, 1 the blit
//                      source pixel, which only a blit with every pixel
//                      foreground from the source may ask for; other
//                      values, and a line asking for the source, reported)
//
// Data path:
// - DP_SRC: background source bits 0-2, foreground source bits 8-10 (0 the
//   background colour, 1 the foreground colour, 2 host data, 3 the blit
//   source), monochrome source bits 16-17 (0 every pixel foreground, 2 host
//   bits, 3 blit-source bits): a 1 picks the foreground source and mix, a 0
//   the background ones. Pattern sources are not modelled and reported.
// - DP_MIX: foreground mix bits 16-20, background mix bits 0-4, the 8514/A
//   codes 0-15; other codes are reported.
// - DP_PIX_WIDTH: destination code bits 0-3, blit source bits 8-11, host
//   data bits 16-19 (0 one bit, 2 8-bit, 4 16-bit, 6 32-bit pixels; others
//   reported), bit 24 one-bit data holds its first pixel in the least
//   significant bit (else the most significant). Bits 4-7 are taken and
//   ignored. A colour source must have the destination's code.
// - A one-bit destination (code 0) is video memory as an array of bits,
//   ordered in each byte by bit 24 as one-bit data is; a pixel takes bit 0
//   of the mix, so only the two colour registers may be its sources. One-bit
//   host data written there without bit 24 thus lands byte for byte as sent.
// - A linear one-bit source (SRC_CNTL bit 2) reads pixel k of the operation
//   (in drawing order) from bit k of the stream at SRC_OFF_PITCH's offset,
//   ordered by bit 24.
// - DP_WRITE_MASK: the pixel bits written.
//
// Host data: an operation that takes host data owes ceil(pixels x bits /
// 32) words, one stream over the rectangle in drawing order, the first pixel
// in the low-order bits of the first word (colour) or by bit 24 (one bit).
// After the last of them the model takes exactly one more word and drops it:
// every host path of the drivers closes an operation with one 0 word. The
// pixels are drawn as the words arrive.
//
// Choices and strictness:
// - An operation runs at its start (host data operations as their words
//   arrive), pixel by pixel in its order, each source pixel read when it is
//   reached: a copy over itself in the wrong direction smears.
// - Busy: after each operation the engine stays busy for a few status reads
//   of the board. From the moment a start register or host data enters the
//   FIFO until a GUI_STAT read finds the engine idle, a processor access to
//   video memory is reported.
// - Reported: a start while a host operation still owes data or its closing
//   word, host data no operation waits for, a closing word other than 0, a
//   GUI_STAT read with the FIFO empty while host data is owed (a wait that
//   never ends; the operation is dropped), a pixel read or written outside
//   video memory (not drawn), and the unmodelled codes above.
// - DST_Y_X is not moved by rectangles or lines, except by bit 3 of DST_CNTL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

// One operation the engine ran.
struct Mach64Op {
    enum Kind : uint8_t { Rect, Line } kind = Rect;
    int x = 0, y = 0, width = 0, height = 0; // line: width is the length
    uint32_t dpSrc = 0, dpMix = 0, pixWidth = 0, dstCntl = 0, srcCntl = 0;
    uint32_t hostWords = 0; // data words taken (the closing word not counted)
};

class Mach64Engine {
  public:
    static constexpr int kBusyReads = 2;

    Mach64Engine(VideoMemory &vram, Machine &m) : vram_(vram), machine_(m), regs_(256, 0) {}

    // A register write as it leaves the FIFO.
    void take(int index, uint32_t value);
    // A start register or host data entered the FIFO.
    void queued(int index);
    // A status read of the board (time passes); `fifoEmpty`: nothing left
    // queued. `gui`: the read is of GUI_STAT. Returns whether the engine is
    // still working (busy, or owed data).
    bool poll(bool fifoEmpty, bool gui);
    bool busy() const { return busyLeft_ > 0 || owed_ > 0; }
    // GEN_TEST_CNTL reset: the operation is dropped.
    void reset();
    // Finish: owed data is reported, the guard lifted.
    void drain();

    uint32_t wordsOwed() const { return owed_; }
    bool closingOwed() const { return closing_; }
    const std::vector<Mach64Op> &log() const { return log_; }
    void clearLog() { log_.clear(); }

  private:
    void fail(const std::string &m) const;
    void startRect();
    void startLine();
    void hostWord(uint32_t value);
    void finishOp();
    void plot(int x, int y, bool fg, uint32_t hostPixel);
    uint32_t sourcePixel(int n, int col, int row, bool &ok);
    bool pixelAddr(uint32_t offPitch, int x, int y, int bits, uint64_t &bitAddr) const;
    uint32_t readPixel(uint64_t bitAddr, int bits, bool &ok);
    void rectStep();
    void setGuard(bool on);

    VideoMemory &vram_;
    Machine &machine_;
    std::vector<uint32_t> regs_;
    int busyLeft_ = 0;
    bool guarded_ = false;
    // The running operation.
    Mach64Op op_;
    bool active_ = false;
    bool failedOp_ = false;
    uint32_t owed_ = 0;
    bool closing_ = false;
    int hostBits_ = 0;
    uint64_t hostBuf_ = 0;
    int hostHave_ = 0;
    int64_t pos_ = 0, total_ = 0; // pixels of the rectangle done / all
    std::vector<Mach64Op> log_;
};

} // namespace sim
