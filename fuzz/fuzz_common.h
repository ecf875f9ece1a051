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
// so that one board description serves several builds and screen sizes.
struct Setup {
    const char *driver;
    const char *file; // from the source tree
    std::vector<std::pair<const char *, int>> keys;
};

// Screens every driver is known to come up on (the drivers' example
// configurations; small sizes first, since every step compares the screen).
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
        // Added later: new entries only ever go at the end, so that what an
        // input below 12 in its first byte means does not change. Rows
        // wider than the screen come from PITCH in the builds that read it.
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
    };
    return table;
}

// Drivers named in FUZZ_SKIP_DRIVERS (comma-separated) are passed over: an
// input for one of them does nothing. So a run can look past a known fault
// in one driver without changing what any input means.
inline bool skipped(const Setup &s) {
    const char *env = std::getenv("FUZZ_SKIP_DRIVERS");
    if (!env)
        return false;
    std::string list = std::string(",") + env + ",";
    return list.find("," + std::string(s.driver) + ",") != std::string::npos;
}

inline graf::Config configFor(const Setup &s) {
    graf::Config cfg = harness::loadConfig(s.file);
    for (const auto &[key, value] : s.keys)
        cfg.ints[key] = value;
    return cfg;
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
