// The Weitek drawing engine: one core for both accelerator generations, with
// a small front end per generation that decodes its register offsets into
// the core's operations. The core draws quads (points, lines, rectangles),
// screen-to-screen blits, image transfers and 1-bit colour expansion on
// video memory, with a ROP3 raster code, a plane mask and two clips.
//
// Core semantics:
// - Geometry: the pixel size (1, 2 or 4 bytes) and the pitch come from the
//   system configuration word the board hands over (setGeometry()).
// - Raster register: bits 0-7 a ROP3 code, bit (P << 2 | S << 1 | D) of it
//   the result bit, with P the pattern colour, S the source, D the
//   destination. Bit 15 makes clear bits of a 1-bit transfer leave the
//   destination alone. Bits 13 (use the pattern) and 16 are accepted and
//   ignored, as are the four pattern words: the pattern here is always
//   colour 0 (the drivers load all-zero pattern words, which select colour 0
//   everywhere). Any other raster bit is reported.
// - Sources: a quad's source is colour 1, a blit's the source pixel, an
//   image transfer's the data written, a 1-bit transfer's colour 1 for set
//   bits and colour 0 for clear ones. Colours and the plane mask are 32-bit
//   patterns: a byte of video memory takes the byte lane of its address
//   within the word, so drivers replicate a pixel across the word.
// - Clips (inclusive): the pixel clip applies to quads and 1-bit transfers
//   (pixel coordinates), the byte clip to every byte any operation writes.
//   Anything reaching past a line's pitch or video memory is reported and
//   the operation does not run.
// - Quads: the point, line and rectangle vertex registers each take an x
//   then a y; a line or rectangle takes two vertices in turn, and writing
//   another figure's registers starts that figure afresh. The quad command
//   read draws the last figure loaded: a point; a line with both ends, by
//   the reference renderer's thin-line rule; a rectangle [x1, x2) x
//   [y1, y2). Vertices may be loaded while the previous figure still runs
//   (the drivers' sequences write them before waiting), so coordinate
//   registers are taken while busy.
// - Blits: source and destination corners, in bytes and inclusive, from the
//   device coordinate registers; the whole source is read before anything
//   is written, so overlaps in every direction copy as if from a snapshot.
// - Image transfers: device x0 (start byte x), x1y1 (start x << 16 | y, its
//   x must equal x0), x2 (end byte x, exclusive) and y3 (1) set up a
//   transfer; rows of ceil((x2 - x0) / 4) words follow at the image port,
//   each row advancing y. Bytes of a word beyond the row are ignored.
// - 1-bit transfers: the same registers in pixels; a word at the port for n
//   bits carries the next n pixels of the row, least significant bit
//   leftmost (no reversal). Clear bits take colour 0, or leave the screen
//   alone under raster bit 15. When the row reaches x2 the next one starts
//   at x0, one line down. The transfer's rows end only with the transfer:
//   a word whose bits pass x2 is beyond the transfer's rows, and a new
//   set-up or operation while a row is part way done leaves rows owed;
//   both are reported.
// - Status: bit 30 busy, bit 31 cannot take a command. Every start keeps the
//   engine busy for `busyReads` status reads (plus what was still owed); bit
//   31 shows while more than one read is owed. The blit command read returns
//   bit 31 set without starting while bit 31 is set.
//
// Strict (each reported through Machine::fail): a parameter register
// (colours, raster, plane mask, clips, pattern words) written while busy
// (not taken); a quad command read while bit 31 is set (not started); a quad
// read with an incomplete figure; a transfer left part way through a row
// when anything else happens (a missing or surplus data word); a data word
// with no transfer set up; a processor access to video memory while busy
// (the machine's guard).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

class WeitekEngine {
  public:
    static constexpr int kDefaultBusyReads = 2;
    static constexpr uint32_t kStatusBusy = 0x40000000u;
    static constexpr uint32_t kStatusNoCommand = 0x80000000u;
    static constexpr uint32_t kRasterTransparent = 0x8000u;
    static constexpr uint32_t kRasterIgnored = 0x2000u | 0x10000u;

    enum class Param {
        Colour0,
        Colour1,
        Raster,
        PlaneMask,
        ClipMin,
        ClipMax,
        ByteClipMin,
        ByteClipMax,
        Pattern0,
        Pattern1,
        Pattern2,
        Pattern3,
    };
    enum class Figure : uint8_t { None, Point, Line, Rect };
    enum class Device : uint8_t { X0, X0Y0, X1Y1, X2, X2Y2, Y3, X3Y3 };

    // One operation the engine ran.
    struct Op {
        enum Kind : uint8_t { Point, Line, Rect, Blit, ImageRow, MonoRow } kind;
        int x1, y1, x2, y2; // figure vertices, blit destination corners, row start and end
        uint32_t raster;
    };

    WeitekEngine(VideoMemory &vram, std::string who, int busyReads = kDefaultBusyReads);
    WeitekEngine(const WeitekEngine &) = delete;
    WeitekEngine &operator=(const WeitekEngine &) = delete;

    void setGeometry(uint32_t pitch, int pixelBytes);
    uint32_t pitch() const { return pitch_; }
    int pixelBytes() const { return pixelBytes_; }

    uint32_t status();
    uint32_t blitCommand();
    uint32_t quadCommand();
    void writeParam(Param, uint32_t value);
    uint32_t param(Param p) const { return params_[static_cast<size_t>(p)]; }
    // A vertex register of `figure`: its x (isY false) or its y.
    void writeVertex(Figure figure, bool isY, uint32_t value);
    void writeDevice(Device, uint32_t value);
    uint32_t device(Device d) const { return device_[static_cast<size_t>(d)]; }
    void imageWord(uint32_t value);
    void monoWord(int bits, uint32_t value);

    // Status reads a start stays busy for; 0 ends every operation at once.
    void setBusyReads(int reads);
    // An engine that never comes back: busy and unable to take a command
    // for good (until drain()).
    void setStuck(bool stuck);
    // Finish everything, report a transfer left part way, release memory.
    void drain();
    bool busy() const { return stuck_ || busyLeft_ > 0; }
    const std::vector<Op> &log() const { return log_; }
    void clearLog() { log_.clear(); }

  private:
    struct Transfer {
        enum Kind : uint8_t { None, Image, Mono } kind = None;
        int x0 = 0, x = 0, x2 = 0, y = 0;
        int wordsPerRow = 0, wordsInRow = 0;
        std::vector<uint8_t> row;
    };

    void fail(const std::string &why);
    void started();
    void setGuard(bool on);
    bool commandBlocked() const { return stuck_ || busyLeft_ > 1; }
    bool rasterOk();
    // Ends an image or 1-bit transfer; `why` names what ended it.
    void endTransfer(const char *why);
    bool beginTransfer(Transfer::Kind kind);
    // Merges the byte at `addr` under the byte clip (x in bytes), the plane
    // mask and the raster with source `s` and pattern `p` (already in
    // the address's lane). False when the byte lies outside memory.
    void mergeByte(uint32_t addr, uint8_t s, uint8_t p);
    bool inByteClip(int xb, int y) const;
    bool inPixelClip(int x, int y) const;
    bool pixelFits(int x, int y) const;
    // Draws pixel (x, y) with `colour`'s lanes as the source, under both clips.
    void drawPixel(int x, int y, uint32_t source);
    void drawQuad();
    void drawBlit();
    void drawImageRow();
    void drawMonoRow(int bits, uint32_t value);

    VideoMemory &vram_;
    std::string who_;
    int busyReads_;
    int busyLeft_ = 0;
    bool stuck_ = false;
    bool guarded_ = false;
    uint32_t pitch_ = 0;
    int pixelBytes_ = 1;
    std::array<uint32_t, 12> params_{};
    std::array<uint32_t, 7> device_{};
    Figure figure_ = Figure::None;
    int vertexCount_ = 0;
    bool pendingX_ = false;
    std::array<int, 2> vx_{}, vy_{};
    Transfer transfer_;
    std::vector<Op> log_;
    std::vector<uint8_t> snapshot_;
};

// The second generation's register offsets, as the zandel board decodes
// them in its register window.
class WeitekSecondGenFront {
  public:
    explicit WeitekSecondGenFront(WeitekEngine &engine) : engine_(engine) {}
    static bool owns(uint32_t offset);
    uint32_t read(uint32_t offset);
    void write(uint32_t offset, uint32_t value);
    // The value last written at an engine offset (0 for none).
    uint32_t reg(uint32_t offset) const;
    // Pixel size and pitch from the system configuration word.
    void systemConfig(uint32_t word);

  private:
    WeitekEngine &engine_;
    // Engine-state registers the mode set loads and nothing here decodes.
    std::array<uint32_t, 4> plain_{};
};

} // namespace sim
