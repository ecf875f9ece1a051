// What both fuzz targets share: reading decisions from the input bytes, the
// screens the drivers are known to come up on, and turning a target's
// failures into the abort libFuzzer reports.
//
// Each target body is a plain function returning the failures it saw. The
// fuzz build wraps it in LLVMFuzzerTestOneInput (DRV_FUZZ_ENTRY); the host
// build's replay test calls it directly on every corpus file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "grafstore.h"
#include "harness.h"
#include "server.h"

namespace fuzz {

// Decisions from the input, front to back. An exhausted input reads as
// zeros, so every prefix of an input is itself a valid input.
class Input {
  public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    size_t left() const { return size_ - std::min(pos_, size_); }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint32_t u16() { return byte() | static_cast<uint32_t>(byte()) << 8; }
    uint32_t u32() { return u16() | u16() << 16; }
    bool flag() { return byte() & 1; }
    // A value in [lo, hi] (inclusive); lo when the range is empty.
    int range(int lo, int hi) {
        if (hi <= lo)
            return lo;
        uint32_t span = static_cast<uint32_t>(hi - lo) + 1;
        uint32_t raw = span <= 0x100 ? byte() : span <= 0x10000 ? u16() : u32();
        return lo + static_cast<int>(raw % span);
    }
    template <class T> const T &pick(const std::vector<T> &v) {
        return v[static_cast<size_t>(range(0, static_cast<int>(v.size()) - 1))];
    }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// Bulk bytes (image pixels, bitmaps) from a seed the input gives, so large
// images cost the input four bytes, not their size.
class Bulk {
  public:
    explicit Bulk(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Never an empty buffer: the server hands over a real pointer even for
    // an image with nothing in it.
    std::vector<uint8_t> bytes(size_t n) {
        std::vector<uint8_t> out(std::max<size_t>(n, 1));
        for (size_t i = 0; i < out.size(); i += 8) {
            uint64_t v = next();
            for (size_t k = 0; k < 8 && i + k < out.size(); k++)
                out[i + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        return out;
    }

  private:
    uint64_t state_;
};

// A driver on one of the example configurations, with integer keys replaced
// so that one board description serves several builds and screen sizes, and
// optionally procedures replaced (`extra`, in the grafinfo text format).
struct Setup {
    const char *driver;
    const char *file; // from the source tree
    std::vector<std::pair<const char *, int>> keys;
    const char *extra = nullptr;
};

// CRT timings for the small test modes of the GD543x boards, whose example
// files know only 640 x 480 and up: horizontal values in 8-pixel characters,
// vertical ones in lines, every mode below 256 lines.
inline constexpr const char *kSmallModeTimings = R"(
procedure SetTimings {
    chars = ($PIXWIDTH + 7) / 8
    lines = $PIXHEIGHT
    out16 0x3D4, 0x0E11
    out16 0x3D4, ((chars + 4) << 8) | 0x00
    out16 0x3D4, ((chars - 1) << 8) | 0x01
    out16 0x3D4, (chars << 8) | 0x02
    out16 0x3D4, 0x8203
    out16 0x3D4, ((chars + 1) << 8) | 0x04
    out16 0x3D4, 0x8005
    out16 0x3D4, ((lines + 10) << 8) | 0x06
    out16 0x3D4, 0x1007
    out16 0x3D4, 0x4009
    out16 0x3D4, ((lines + 2) << 8) | 0x10
    out16 0x3D4, 0x8C11
    out16 0x3D4, ((lines - 1) << 8) | 0x12
    out16 0x3D4, (lines << 8) | 0x15
    out16 0x3D4, ((lines + 9) << 8) | 0x16
    out16 0x3D4, 0x0008
    out16 0x3D4, 0x0014
    out16 0x3D4, 0xE317
    out16 0x3D4, 0xFF18
}
)";

// Screens every driver is known to come up on (the drivers' example
// configurations, at sizes their rules accept). The first byte of an input
// picks one, modulo the count. New entries only ever go at the end, and a
// file kept in fuzz/regressions or fuzz/pending starts with its setup's
// index itself, so that what it means never changes (the seeds all start
// below 17).
inline const std::vector<Setup> &setups() {
    static const std::vector<Setup> table = {
        {"brisko8", "cirrus/gd5436/gd5480.graf", {{"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"brisko15",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 15}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"brisko16",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"brisko24",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 24}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"lomvi8", "cirrus/gd5436/gd5446.graf", {{"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"lomvi16",
         "cirrus/gd5436/gd5446.graf",
         {{"DEPTH", 16}, {"PITCH", 2048}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 480}}},
        {"hadra24",
         "cirrus/gd5436/gd5436.graf",
         {{"PIXWIDTH", 640}, {"PIXHEIGHT", 480}, {"PITCH", 1920}}},
        {"brisko8", "cirrus/gd5436/gd5480.graf", {}},
        {"hadra24", "cirrus/gd5436/gd5436.graf", {}},
        {"fuska", "cirrus/fuska/fuska.graf", {}},
        {"tolva16", "cirrus/gd6/tolva16.graf", {}},
        {"tolva8", "cirrus/gd6/tolva8.graf", {}},
        // Rows wider than the screen come from PITCH in the builds that read it.
        {"lomvi8",
         "cirrus/gd5436/gd5446.graf",
         {{"PIXWIDTH", 640}, {"PIXHEIGHT", 480}, {"PITCH", 1024}}},
        {"hadra24",
         "cirrus/gd5436/gd5436.graf",
         {{"PIXWIDTH", 640}, {"PIXHEIGHT", 480}, {"PITCH", 2048}}},
        {"lomvi8", "cirrus/gd5436/gd5446.graf", {{"PIXWIDTH", 800}, {"PIXHEIGHT", 600}}},
        {"brisko24",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 24}, {"PIXWIDTH", 800}, {"PIXHEIGHT", 600}}},
        {"tolva16", "cirrus/gd6/tolva16-large.graf", {}},
        // Small screens: an input costs little, and the fuzzer runs many
        // more of them. Odd widths, rows wider than the screen and every
        // depth a build draws at.
        {"brisko8",
         "cirrus/gd5436/gd5480.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}},
         kSmallModeTimings},
        {"brisko15",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 15}, {"PIXWIDTH", 100}, {"PIXHEIGHT", 75}},
         kSmallModeTimings},
        {"brisko16",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 64}, {"PIXHEIGHT", 48}},
         kSmallModeTimings},
        {"brisko24",
         "cirrus/gd5436/gd5480.graf",
         {{"DEPTH", 24}, {"PIXWIDTH", 120}, {"PIXHEIGHT", 90}},
         kSmallModeTimings},
        {"lomvi8",
         "cirrus/gd5436/gd5446.graf",
         {{"PIXWIDTH", 96}, {"PIXHEIGHT", 64}, {"PITCH", 96}},
         kSmallModeTimings},
        {"lomvi8",
         "cirrus/gd5436/gd5446.graf",
         {{"PIXWIDTH", 100}, {"PIXHEIGHT", 60}, {"PITCH", 128}},
         kSmallModeTimings},
        {"lomvi16",
         "cirrus/gd5436/gd5446.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 80}, {"PIXHEIGHT", 60}, {"PITCH", 160}},
         kSmallModeTimings},
        {"hadra24",
         "cirrus/gd5436/gd5436.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}, {"PITCH", 480}},
         kSmallModeTimings},
        {"hadra24",
         "cirrus/gd5436/gd5436.graf",
         {{"PIXWIDTH", 72}, {"PIXHEIGHT", 40}, {"PITCH", 256}},
         kSmallModeTimings},
        {"fuska", "cirrus/fuska/fuska.graf", {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}}},
        {"fuska", "cirrus/fuska/fuska.graf", {{"DEPTH", 8}, {"PIXWIDTH", 96}, {"PIXHEIGHT", 72}}},
        {"fuska", "cirrus/fuska/fuska.graf", {{"DEPTH", 15}, {"PIXWIDTH", 64}, {"PIXHEIGHT", 48}}},
        {"fuska", "cirrus/fuska/fuska.graf", {{"DEPTH", 24}, {"PIXWIDTH", 120}, {"PIXHEIGHT", 90}}},
        {"tolva16",
         "cirrus/gd6/tolva16.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}, {"PIXBYTES", 320}}},
        {"tolva16",
         "cirrus/gd6/tolva16.graf",
         {{"PIXWIDTH", 100}, {"PIXHEIGHT", 75}, {"PIXBYTES", 256}}},
        {"tolva8",
         "cirrus/gd6/tolva8.graf",
         {{"PIXWIDTH", 128}, {"PIXHEIGHT", 96}, {"PIXBYTES", 128}}},
        {"tolva8",
         "cirrus/gd6/tolva8.graf",
         {{"PIXWIDTH", 72}, {"PIXHEIGHT", 40}, {"PIXBYTES", 80}}},
        // The GD5434's variants: the server expands stipples and mono images.
        {"tolva16",
         "cirrus/gd6/tolva16.graf",
         {{"PIXWIDTH", 96},
          {"PIXHEIGHT", 64},
          {"PIXBYTES", 192},
          {"GD5434", 1},
          {"GD5434IMAGE", 1}}},
        // The GD5434 board below the large-mode size (4 KB banks), and a
        // fuska row whose bytes are no multiple of 8.
        {"tolva16",
         "cirrus/gd6/tolva16-large.graf",
         {{"PIXWIDTH", 160},
          {"PIXHEIGHT", 120},
          {"PIXBYTES", 320},
          {"WINDOWADDR", 0xE0000},
          {"CURSORADDR", 0xFE000}}},
        {"fuska", "cirrus/fuska/fuska.graf", {{"DEPTH", 8}, {"PIXWIDTH", 100}, {"PIXHEIGHT", 75}}},
        // nelto at its five depths on small screens (lines wider than the
        // screen at 16 bits), unaccelerated at 16 bits, and its example.
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}, {"PIXBYTES", 160}}},
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"DEPTH", 15}, {"PIXWIDTH", 100}, {"PIXHEIGHT", 75}, {"PIXBYTES", 200}}},
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 64}, {"PIXHEIGHT", 48}, {"PIXBYTES", 256}}},
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"DEPTH", 24}, {"PIXWIDTH", 120}, {"PIXHEIGHT", 90}, {"PIXBYTES", 360}}},
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"DEPTH", 32}, {"PIXWIDTH", 72}, {"PIXHEIGHT", 40}, {"PIXBYTES", 288}}},
        {"nelto",
         "s3/nelto/nelto.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 96}, {"PIXHEIGHT", 64}, {"PIXBYTES", 192}, {"ACCEL", 0}}},
        {"nelto", "s3/nelto/nelto.graf", {}},
        // savage at its five depths on small screens (lines in whole 8-byte
        // units, wider than the screen at 16 bits; 4-byte pixels at 24), and
        // its example.
        {"savage",
         "s3/savage/savage.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}, {"PIXBYTES", 160}}},
        {"savage",
         "s3/savage/savage.graf",
         {{"DEPTH", 15}, {"PIXWIDTH", 100}, {"PIXHEIGHT", 75}, {"PIXBYTES", 200}}},
        {"savage",
         "s3/savage/savage.graf",
         {{"DEPTH", 16}, {"PIXWIDTH", 64}, {"PIXHEIGHT", 48}, {"PIXBYTES", 256}, {"NOFILL", 1}}},
        {"savage",
         "s3/savage/savage.graf",
         {{"DEPTH", 24},
          {"BITSPERPIXEL", 32},
          {"PIXWIDTH", 120},
          {"PIXHEIGHT", 90},
          {"PIXBYTES", 480}}},
        {"savage",
         "s3/savage/savage.graf",
         {{"DEPTH", 32}, {"PIXWIDTH", 72}, {"PIXHEIGHT", 40}, {"PIXBYTES", 288}}},
        {"savage", "s3/savage/savage.graf", {}},
        // The nine nte builds on small screens: each engine access (ports
        // with the frame buffer, ports only, the memory-mapped window) at its
        // three depths, on lines of 640 pixels and of the example's 1024.
        {"pravo8", "s3/nte/pravo.graf", {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}}},
        {"pravo16", "s3/nte/pravo.graf", {{"DEPTH", 16}, {"PIXWIDTH", 100}, {"PIXHEIGHT", 75}}},
        {"pravo24",
         "s3/nte/pravo.graf",
         {{"MEMSIZE", 0x200000},
          {"DEPTH", 24},
          {"BITSPERPIXEL", 32},
          {"PIXWIDTH", 96},
          {"PIXHEIGHT", 64}}},
        {"skerl8", "s3/nte/skerl.graf", {{"PIXWIDTH", 120}, {"PIXHEIGHT", 90}}},
        {"skerl16", "s3/nte/skerl.graf", {{"DEPTH", 16}, {"PIXWIDTH", 64}, {"PIXHEIGHT", 48}}},
        {"skerl24",
         "s3/nte/skerl.graf",
         {{"MEMSIZE", 0x200000},
          {"DEPTH", 24},
          {"BITSPERPIXEL", 32},
          {"PIXWIDTH", 80},
          {"PIXHEIGHT", 60}}},
        {"tunga8", "s3/nte/tunga.graf", {{"PIXWIDTH", 700}, {"PIXHEIGHT", 40}}},
        {"tunga16", "s3/nte/tunga.graf", {{"DEPTH", 16}, {"PIXWIDTH", 128}, {"PIXHEIGHT", 96}}},
        {"tunga24",
         "s3/nte/tunga.graf",
         {{"MEMSIZE", 0x200000},
          {"DEPTH", 24},
          {"BITSPERPIXEL", 32},
          {"PIXWIDTH", 72},
          {"PIXHEIGHT", 40}}},
        // rasmo at both depths, and a screen too tall to leave a font area.
        {"rasmo",
         "ati/rasmo/rasmo.graf",
         {{"PIXWIDTH", 128}, {"PIXHEIGHT", 96}, {"MEMSIZE", 0x80000}}},
        {"rasmo",
         "ati/rasmo/rasmo-2m.graf",
         {{"PIXWIDTH", 96}, {"PIXHEIGHT", 72}, {"MEMSIZE", 0x80000}}},
        {"rasmo",
         "ati/rasmo/rasmo.graf",
         {{"PIXWIDTH", 128}, {"PIXHEIGHT", 1340}, {"MEMSIZE", 0x80000}}},
        // pilo at depths 8, 4 and 16, on its three boards.
        {"pilo", "s3/pilo/pilo.graf", {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}}},
        {"pilo",
         "s3/pilo/pilo.graf",
         {{"DEPTH", 4},
          {"PIXWIDTH", 100},
          {"PIXHEIGHT", 75},
          {"ENGINELINE", 2048},
          {"ENGINEBITS", 4}}},
        {"pilo",
         "s3/pilo/pilo.graf",
         {{"DEPTH", 16},
          {"PIXWIDTH", 96},
          {"PIXHEIGHT", 64},
          {"ENGINELINE", 2048},
          {"BYTEHALVES", 1}}},
        {"pilo", "s3/pilo/pilo-512k.graf", {{"PIXWIDTH", 72}, {"PIXHEIGHT", 40}}},
        {"pilo",
         "s3/pilo/pilo-2m.graf",
         {{"PIXWIDTH", 120}, {"PIXHEIGHT", 90}, {"ENGINELINE", 1024}}},
        // hobra on its three boards (8 planes, 4 planes with the area beside
        // the screen, the ATI board with the slow forms).
        {"hobra", "ati/hobra/hobra.graf", {{"PIXWIDTH", 128}, {"PIXHEIGHT", 64}, {"OFFSCRY", 64}}},
        {"hobra",
         "ati/hobra/hobra4.graf",
         {{"PIXWIDTH", 96}, {"PIXHEIGHT", 64}, {"OFFSCRX", 96}, {"OFFSCRW", 928}}},
        {"hobra",
         "ati/hobra/hobra-ati.graf",
         {{"PIXWIDTH", 120}, {"PIXHEIGHT", 90}, {"OFFSCRY", 90}, {"REPBUG", 1}, {"F82C481", 1}}},
        // The three Mach64 builds at depths 8, 16 and 32.
        {"tesk", "ati/mach64/tesk.graf", {{"PIXWIDTH", 640}, {"PIXHEIGHT", 32}}},
        {"vandu", "ati/mach64/vandu.graf", {{"DEPTH", 16}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 32}}},
        {"merro", "ati/mach64/merro.graf", {{"DEPTH", 32}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 32}}},
        // pilo with the sprite cursor (no CursorArea), the hardware cursor
        // at 16 bits without the mode registers, and the 2 MB wide layout's
        // glyph and tile areas.
        {"pilo",
         "s3/pilo/pilo.graf",
         {{"DEPTH", 4},
          {"PIXWIDTH", 96},
          {"PIXHEIGHT", 1023},
          {"ENGINELINE", 2048},
          {"ENGINEBITS", 4}}},
        {"pilo",
         "s3/pilo/pilo-2m.graf",
         {{"DEPTH", 16},
          {"PIXWIDTH", 64},
          {"PIXHEIGHT", 48},
          {"ENGINELINE", 2048},
          {"BYTEHALVES", 1}}},
        {"pilo", "s3/pilo/pilo-2m.graf", {{"PIXWIDTH", 1100}, {"PIXHEIGHT", 40}}},
        // The Mach64 builds at their other depths: glyph cells at 32 bits,
        // the older chip with 512 KB, a wider screen at 8 bits.
        {"tesk", "ati/mach64/tesk.graf", {{"DEPTH", 32}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 48}}},
        {"vandu", "ati/mach64/vandu.graf", {{"DEPTH", 8}, {"PIXWIDTH", 800}, {"PIXHEIGHT", 40}}},
        {"merro",
         "ati/mach64/merro.graf",
         {{"DEPTH", 16},
          {"PIXWIDTH", 640},
          {"PIXHEIGHT", 40},
          {"MEMSIZE", 0x80000},
          {"CHIP_ID", 0x00004758}}},
        {"merro", "ati/mach64/merro.graf", {{"DEPTH", 8}, {"PIXWIDTH", 640}, {"PIXHEIGHT", 16}}},
        // hobra with a glyph cache that fills up and no text slot, one text
        // slot that every font shares, and a plane area the bands divide.
        {"hobra",
         "ati/hobra/hobra.graf",
         {{"PIXWIDTH", 128},
          {"PIXHEIGHT", 64},
          {"OFFSCRY", 64},
          {"OFFSCRW", 172},
          {"OFFSCRH", 128}}},
        {"hobra",
         "ati/hobra/hobra4.graf",
         {{"PIXWIDTH", 96},
          {"PIXHEIGHT", 64},
          {"OFFSCRX", 0},
          {"OFFSCRY", 768},
          {"OFFSCRW", 1024},
          {"OFFSCRH", 256}}},
        {"hobra",
         "ati/hobra/hobra.graf",
         {{"PIXWIDTH", 96},
          {"PIXHEIGHT", 40},
          {"OFFSCRY", 40},
          {"OFFSCRH", 128},
          {"OFFSCRW", 200}}},
        // rasmo with a cursor cut to 56 wide, the server's cursor, and at 16
        // bits on a small screen.
        {"rasmo",
         "ati/rasmo/rasmo.graf",
         {{"PIXWIDTH", 1280}, {"PIXHEIGHT", 16}, {"MEMSIZE", 0x80000}}},
        {"rasmo",
         "ati/rasmo/rasmo.graf",
         {{"PIXWIDTH", 128}, {"PIXHEIGHT", 96}, {"MEMSIZE", 0x80000}, {"USESWCURSOR", 1}}},
        {"rasmo",
         "ati/rasmo/rasmo.graf",
         {{"PIXWIDTH", 128}, {"PIXHEIGHT", 96}, {"DEPTH", 16}, {"MEMSIZE", 0x80000}}},
        // simra at its three depths with every off-screen area; with a glyph
        // area but no staging area; with neither; and with no line beyond
        // the screen, where even the pattern cell is missing.
        {"simra",
         "portable/simra/simra.graf",
         {{"PIXWIDTH", 160}, {"PIXHEIGHT", 120}, {"MEMSIZE", 0x40000}}},
        {"simra",
         "portable/simra/simra16.graf",
         {{"DEPTH", 15},
          {"REDMASK", 0x7C00},
          {"GRNMASK", 0x3E0},
          {"BLUMASK", 0x1F},
          {"PIXWIDTH", 100},
          {"PIXHEIGHT", 75}}},
        {"simra", "portable/simra/simra16.graf", {{"PIXWIDTH", 64}, {"PIXHEIGHT", 48}}},
        {"simra",
         "portable/simra/simra.graf",
         {{"PIXWIDTH", 1024}, {"PIXHEIGHT", 230}, {"MEMSIZE", 0x40000}}},
        {"simra",
         "portable/simra/simra16.graf",
         {{"PIXWIDTH", 1024}, {"PIXHEIGHT", 120}, {"MEMSIZE", 0x40000}}},
        {"simra",
         "portable/simra/simra.graf",
         {{"PIXWIDTH", 1024}, {"PIXHEIGHT", 256}, {"MEMSIZE", 0x40000}}},
    };
    return table;
}

// Drivers named in FUZZ_SKIP_DRIVERS and setups whose index is in
// FUZZ_SKIP_SETUPS (both comma-separated) are passed over: an input for one
// of them does nothing. So a run can look past a known fault without
// changing what any input means.
inline bool skipped(const Setup &s) {
    auto listed = [](const char *var, const std::string &item) {
        static std::map<std::string, std::string> lists;
        auto it = lists.find(var);
        if (it == lists.end()) {
            const char *env = std::getenv(var);
            it = lists.emplace(var, env ? "," + std::string(env) + "," : "").first;
        }
        return it->second.find("," + item + ",") != std::string::npos;
    };
    return listed("FUZZ_SKIP_DRIVERS", s.driver) ||
           listed("FUZZ_SKIP_SETUPS", std::to_string(&s - setups().data()));
}

// The setup's configuration. Each file is parsed once per process: a parse
// costs more than a small screen's whole input.
inline graf::Config configFor(const Setup &s) {
    static std::map<const Setup *, graf::Config> parsed;
    auto it = parsed.find(&s);
    if (it == parsed.end()) {
        graf::Config cfg = harness::loadConfig(s.file);
        for (const auto &[key, value] : s.keys)
            cfg.ints[key] = value;
        if (s.extra) {
            graf::Config more;
            std::string error;
            if (!graf::parse(s.extra, cfg.source, more, error))
                throw std::runtime_error(error);
            for (auto &[name, code] : more.procedures)
                cfg.procedures[name] = code;
        }
        it = parsed.emplace(&s, std::move(cfg)).first;
    }
    return it->second;
}

// The server, grafinfo store and machine as at process start, with the
// drivers still loaded: under libFuzzer a driver library cannot be unloaded
// (its coverage counters stay registered), so only the server restarts
// (harness::restartServer(), not beginCase()). A fresh server also keeps the
// screen-private indices, which grow with every generation, from piling up.
inline void freshServer() {
    harness::restartServer();
}

// Driver allocations made since `serial` that are still held.
inline std::vector<server::Block> blocksSince(uint64_t serial) {
    std::vector<server::Block> out;
    for (const server::Block &b : server::liveBlocks())
        if (b.serial > serial)
            out.push_back(b);
    return out;
}

// In the fuzz build: any failure ends the run as a crash, which libFuzzer
// records together with the input.
inline void abortOnFailures(const char *target, const std::vector<std::string> &failures) {
    if (failures.empty())
        return;
    std::fprintf(stderr, "%s: %zu failure(s)\n", target, failures.size());
    for (const std::string &f : failures)
        std::fprintf(stderr, "  %s\n", f.c_str());
    std::abort();
}

} // namespace fuzz

#ifdef DRV_FUZZ_ENTRY
#define DRV_FUZZ_TARGET(name, run)                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {                      \
        ::fuzz::abortOnFailures(name, run(data, size));                                            \
        return 0;                                                                                  \
    }
#else
#define DRV_FUZZ_TARGET(name, run)
#endif
