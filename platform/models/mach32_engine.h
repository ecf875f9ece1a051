// The Mach32 drawing engine: the 8514/A-style core of models/s3_engine.h with
// the Mach32's parameters, and the front end of its extended registers.
//
// The front end (Mach32ExtPorts) answers every port of the engine: the core's
// 8514/A registers are passed on to the core (S3EnginePorts with
// mach32ChipParams()), the extended registers the Mach32 adds are its own.
// All of them sit behind one 16-entry command FIFO:
// - 0x9AEE read: the FIFO status, k queued entries setting the k low bits
//   (a driver waiting for n free entries tests bit 0x10000 >> n). Reading it
//   is a status read of the core and lets the engine progress by one step.
// - 0x9AE8 read: the core's status word, with busy (0x200) also while an
//   extended operation runs or owes transfer words, and data ready (0x100)
//   while a read-back has pixels for the host and the FIFO has drained.
// - 0xCEEE: the data-path configuration; a value outside the table below is
//   reported and not taken.
// - 0xB6EE and 0xBAEE: the background and foreground mix, which are the
//   core's mix registers.
// - 0xDAEE, 0xDEEE, 0xE2EE, 0xE6EE: the left, top, right and bottom scissors
//   (inclusive), which are the core's scissors; values take 12 bits.
// - 0xB2EE and 0xBEEE (source x start and end), 0xC2EE (source y direction:
//   1 down, 0 up) and 0xEEEE (cleared at engine start): kept as written.
//
// The extended rectangle: 0xA6EE (x start), 0xAAEE (x end), 0xAEEE (y end);
// the write of the y end starts it. x covers the half-open range between x
// start and x end, right to left when the start is the larger; y runs from
// the current y (0x82E8) towards the y end, which is not drawn. The current
// x (0x86E8) plays no part in it. Coordinates are 16-bit two's complement
// numbers; pixels outside the scissors are not drawn (so a start left of 0
// is harmless).
//
// Runs: a write of 0x96EE draws a run of that many steps from the current
// position when 0xA2EE bit 3 is set: bits 5-7 are the direction (0 right,
// 1 up-right, 2 up, 3 up-left, 4 left, 5 down-left, 6 down, 7 down-right),
// bit 2 leaves the end pixel undrawn. Afterwards the current position is the
// run's end.
//
// Lines from error terms: with 0xA2EE bit 3 clear a write of 0x96EE draws a
// line of that many steps from the current position, bit 6 making y the
// major axis, bit 5 stepping x up and bit 7 y up (both down otherwise). The
// error term is 0x92E8, the axial increment 0x8AE8 and the diagonal one
// 0x8EE8 (13, 13 and 14 bits, two's complement): before each step a term of
// 0 or less steps along the major axis and adds the axial increment, a
// positive one steps diagonally and adds the diagonal one; bit 2 leaves the
// end pixel undrawn, and the current position ends on it. These are the
// terms the server's segment slots carry.
// Lines by end points: a write of 0 to 0x9AEE rewinds the end-point index;
// four writes of 0xFEEE then give x1, y1, x2, y2 (16-bit two's complement)
// and the fourth draws the line. Which pixels: the model's reading, one
// pixel per position along the major axis (x when |dx| >= |dy|), the one
// whose minor coordinate lies nearest the true line, a tie taking the
// smaller coordinate (the reference renderer's thin-line rule). Bit 2 of
// the line options last written leaves the end pixel undrawn, its other
// bits play no part; the current position ends on the end point. A further
// 0xFEEE write without the rewind, or any other value written to 0x9AEE, is
// reported.
// In the line options, bit 10 (0x400, given with dashed lines) changes
// nothing in this model: the data path alone says where the pixels' colours
// come from.
//
// Pixel sources by data path (the mixes take their code, bits 0-3; the data
// path, not the mix's source bits, says what the source is):
// - 0x2011: the foreground colour (foreground mix); rectangles and runs.
// - 0x2031: the monochrome pattern registers: the bit at the pattern index
//   picks the foreground (foreground mix) or the background (background
//   mix); runs only. 0x82EE selects where 0x8EEE writes go (16 and 17: the
//   two words of the 32-bit monochrome pattern; each write moves the index
//   on by one; colour pattern data, 0 to 15, is not modelled), 0xD2EE holds
//   the pattern length - 1, 0xD6EE the index of the bit the next pixel uses
//   (readable), which advances with every pixel a run or line draws and
//   wraps at the length, running on from one run or line to the next. Pattern bit i is bit (i / 8)
//   * 8 + 7 - i % 8 of its word.
// - 0x2051, 0x3251: host bits, 8- or 16-bit transfers: 1 picks foreground,
//   0 background, as above; most significant bit of each byte first, the
//   low byte of a 16-bit transfer first.
// - 0x2071: one bit plane of video memory (the read plane mask): a source
//   pixel with a read-mask bit set picks the foreground, else the background.
// - 0x4011, 0x5211: host pixels, 8-bit transfers (one 8-bit pixel) or 16-bit
//   transfers (two 8-bit pixels, the first in the low byte, or one 16-bit
//   pixel); foreground mix.
// - 0x4010, 0x5210: the rectangle's pixels read to the host, packed as host
//   pixels; the scissors do not apply.
// - 0x6011: video memory: the source is read from its current position
//   (0x8EE8, 0x8AE8) through the source x range of 0xB2EE and 0xBEEE (the
//   half-open range between them): left to right from the current position
//   when the source x start is the smaller, else right to left from just
//   left of it; past the range's end the source wraps to the range's other
//   end on the next source line in 0xC2EE's direction. So a text cell is
//   read linearly and a copy row by row. The source is masked by the read
//   mask, as the core's blits are. Foreground mix.
// - 0xA011: the colour pattern registers; runs only. 0x82EE 0 to 15 select
//   the sixteen colour pattern words (each 0x8EEE write moves the index on
//   by one): two 8-bit pixels a word, the first in the low byte, or one
//   16-bit pixel. The pixel at the pattern index is the source (foreground
//   mix); the index steps and wraps as for the monochrome pattern. A length
//   past the words held (32 pixels of 8 bits, 16 of 16) is reported.
// - A run under a host-pixel data path (0x4011, 0x5211) takes its pixels from
//   the transfer port, as a rectangle one line high does.
// The 8514-style copy: the command 0xC0B1 written to 0x9AE8 (left to right,
// top to bottom) copies a block of 0x96E8 + 1 by the height (0xBEE8) + 1
// pixels from the current position (0x86E8, 0x82E8) to the destination
// (0x8EE8, 0x8AE8) when the data path (0xCEEE) is video memory (0x6011);
// under any other data path the command goes to the core's 8514/A copy, whose
// mix register says the source. The mix is the
// foreground mix's code (0xBAEE), the source bits of the mix register play no
// part; the write mask, the read mask and the scissors apply as to the
// rectangles. Afterwards the current position is where it was and the
// destination row is the one just below the block (the destination x stays),
// so a next copy may take its destination row from the engine. Other command
// words go to the core as before. The front end's copy reads busy for the
// default number of status reads.
// Host data (and read-back) is one stream over the rectangle in its drawing
// order: a row's end does not start a new transfer; the bits or pixels past
// the rectangle's end in the last transfer are dropped.
//
// Strictness, as the core's, with the choices below:
// - Every register write and every host-data transfer takes a FIFO entry and
//   must fit in the room the last status read showed.
// - 8-bit transfers are byte accesses at 0xE2E9, 16-bit transfers 16-bit
//   accesses at 0xE2E8; any other access to the transfer port is reported.
// - A register write while transfer words are owed, a transfer no operation
//   asked for, a read-back word taken before a status read showed data
//   ready, and an operation that reaches past video memory (it draws
//   nothing) are reported.
// - A host-data or read-back operation may start while an earlier operation
//   runs (it queues behind it).
// - Every extended register takes 16-bit writes only; a byte access, a read
//   of a write-only register or a write of the read-only FIFO status is
//   reported.
// - Operations execute at their start; the engine then reads busy for a few
//   status reads.
// - A stalled FIFO (setStalledFifo, for tests): after each write the FIFO
//   status shows all 16 entries taken, one more freeing per status read, so a
//   driver's wait for n free entries reads 0x9AEE exactly n + 1 times and the
//   waits can be read off the trace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"
#include "models/s3_engine.h"

namespace sim {

// 16-entry FIFO, 12-bit coordinates, the scissors and the height among the
// multifunction indices, pixel-transfer words counted in the FIFO.
const S3ChipParams &mach32ChipParams();

namespace mach32port {
constexpr uint16_t Status = 0x9AE8;
constexpr uint16_t CurY = 0x82E8;
constexpr uint16_t CurX = 0x86E8;
constexpr uint16_t PixelData = 0xE2E8;   // 16-bit transfers
constexpr uint16_t PixelDataHi = 0xE2E9; // 8-bit transfers
constexpr uint16_t PatternSelect = 0x82EE;
constexpr uint16_t PatternData = 0x8EEE;
constexpr uint16_t RunLength = 0x96EE;
constexpr uint16_t FifoStatus = 0x9AEE;
constexpr uint16_t LineOptions = 0xA2EE;
constexpr uint16_t DestXStart = 0xA6EE;
constexpr uint16_t DestXEnd = 0xAAEE;
constexpr uint16_t DestYEnd = 0xAEEE;
constexpr uint16_t SrcXStart = 0xB2EE;
constexpr uint16_t BgMix = 0xB6EE;
constexpr uint16_t FgMix = 0xBAEE;
constexpr uint16_t SrcXEnd = 0xBEEE;
constexpr uint16_t SrcYDir = 0xC2EE;
constexpr uint16_t DataPath = 0xCEEE;
constexpr uint16_t PatternLength = 0xD2EE;
constexpr uint16_t PatternIndex = 0xD6EE;
constexpr uint16_t ScissorLeft = 0xDAEE;
constexpr uint16_t ScissorTop = 0xDEEE;
constexpr uint16_t ScissorRight = 0xE2EE;
constexpr uint16_t ScissorBottom = 0xE6EE;
constexpr uint16_t EngineClear = 0xEEEE;
constexpr uint16_t LineEndPoints = 0xFEEE;
constexpr uint16_t ErrTerm = 0x92E8;
constexpr uint16_t AxialStep = 0x8AE8;
constexpr uint16_t DiagonalStep = 0x8EE8;
} // namespace mach32port

// The data-path configurations the engine knows.
bool mach32DataPathKnown(uint16_t value);

struct Mach32ExtRegs {
    uint16_t dataPath = 0;
    uint16_t srcXStart = 0, srcXEnd = 0, srcYDir = 1;
    uint16_t engineClear = 0;
    uint16_t destXStart = 0, destXEnd = 0, destYEnd = 0;
    uint16_t lineOptions = 0;
    uint16_t patternSelect = 0, patternLength = 0, patternIndex = 0;
    uint16_t monoPattern[2] = {0, 0};
    uint16_t colourPattern[16] = {};
    // The destination of 8514-style copies (0x8EE8, 0x8AE8), moved by them.
    uint16_t copyDestX = 0, copyDestY = 0;
    // The current position as the extended operations see it (written
    // through 0x86E8 / 0x82E8, moved by runs).
    uint16_t curX = 0, curY = 0;
    // Line end points given so far (0x9AEE rewinds, 0xFEEE fills).
    int endPointIndex = 0;
    uint16_t endPoints[4] = {0, 0, 0, 0};
};

// Counts of the extended operations, by kind.
struct Mach32ExtStats {
    uint64_t rectangles = 0, runs = 0, hostOps = 0, readBacks = 0, copies = 0;
};

// One 8514-style copy: source, destination, size.
struct Mach32Copy {
    int sx, sy, dx, dy, w, h;
    bool operator==(const Mach32Copy &) const = default;
};

class Mach32ExtPorts : public PortDevice {
  public:
    explicit Mach32ExtPorts(S3EngineCore &core) : core_(core), corePorts_(core) {}
    // The extended ports and, passed on to the core, the 8514/A ones.
    void attach(Machine &m);
    uint32_t in(uint16_t port, int width) override;
    void out(uint16_t port, int width, uint32_t value) override;
    // Ends a running operation (owed words are dropped) and the busy time.
    void drain();

    const Mach32ExtRegs &regs() const { return regs_; }
    const Mach32ExtStats &stats() const { return stats_; }
    bool transferOwed() const { return op_.active; }
    bool busy() const { return busyLeft_ > 0 || op_.active || core_.busy(); }
    // Data-path values written, in order.
    const std::vector<uint16_t> &dataPathLog() const { return dataPathLog_; }
    // The 8514-style copies run, in order.
    const std::vector<Mach32Copy> &copyLog() const { return copyLog_; }
    void clearCopyLog() { copyLog_.clear(); }
    void setStalledFifo(bool on) { stalled_ = on; }

  private:
    enum class Source : uint8_t {
        Fg,
        Pattern,
        HostBits,
        Plane,
        HostPixels,
        ReadBack,
        Memory,
        ColourPattern
    };
    struct Path {
        uint16_t value;
        Source source;
        int transferBits; // host data and read-back
    };
    // A rectangle walked in drawing order.
    struct Rect {
        int x0 = 0, dx = 1, w = 0;
        int y0 = 0, dy = 1, h = 0;
        int64_t pixels() const { return int64_t(w) * h; }
        int xAt(int64_t k) const { return x0 + dx * int(k % w); }
        int yAt(int64_t k) const { return y0 + dy * int(k / w); }
    };
    // The video-memory source stream of copies and plane expansion.
    struct SourceWalk {
        int x = 0, y = 0, lo = 0, hi = 0, dy = 1;
        bool rightToLeft = false;
        bool next(int *sx, int *sy);
    };
    struct Operation {
        bool active = false;
        bool draws = true;
        Path path{};
        Rect rect;
        int64_t done = 0;               // pixels taken or given
        std::vector<uint32_t> readBack; // pixels for the host
        bool readySeen = false;
    };

    void fail(const std::string &what) const;
    static const Path *pathOf(uint16_t value);
    void writeExt(uint16_t port, uint16_t v);
    void startRectangle();
    void runLine(uint16_t length);
    void errorTermLine(uint16_t length);
    void endPoint(uint16_t v);
    // Draws a line's pixels from the data path's source, or reports it.
    void drawLine(const std::vector<std::pair<int, int>> &pixels, const std::string &what);
    void patternData(uint16_t v);
    bool patternBit();
    uint32_t colourPatternPixel();
    void hostRun(const Path &path, int x0, int dx, int pixels);
    void copyBlock();
    void hostTransfer(uint16_t port, int width, uint32_t value);
    uint32_t hostRead(uint16_t port, int width);
    void takePixel(bool fg, uint32_t src);
    uint16_t statusWord();
    void begin();
    void tick();

    // Pixel access at the board's pixel size and line length.
    bool address(int x, int y, uint64_t *offset) const;
    uint32_t pixelAt(uint64_t offset) const;
    bool inScissors(int x, int y) const;
    // Draws one pixel: the mix of `fg` (or the background mix) on `src`.
    void plot(int x, int y, bool fg, uint32_t src);

    S3EngineCore &core_;
    S3EnginePorts corePorts_;
    Mach32ExtRegs regs_;
    Mach32ExtStats stats_;
    Operation op_;
    int busyLeft_ = 0;
    bool guarded_ = false;
    bool stalled_ = false;
    int stallShown_ = 0; // entries a stalled FIFO still shows taken
    std::vector<uint16_t> dataPathLog_;
    std::vector<Mach32Copy> copyLog_;
};

} // namespace sim
