// What both fuzz targets share: reading decisions from the input bytes, the
// screens the drivers are known to come up on (the fuzz setups of the driver
// tables) and which one an input names, and turning a target's failures into
// the abort libFuzzer reports.
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
#include <cstring>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "drivertable.h"
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

// A driver on one of the boards the driver table lists as fuzz setups
// (<family>/<source>/drivers.txt): an example configuration, with integer
// keys replaced so that one board description serves several builds and
// screen sizes, and optionally procedures replaced.
struct Setup {
    std::string id;     // "pilo/160x120": what an input names
    std::string driver; // "pilo"
    std::string file;   // from the source tree
    const drivertable::Board *board = nullptr;
    // Server command-line words Init is given ("-opsflag", "0").
    std::vector<std::string> serverArgs = {};
    std::string family; // the directory of its driver table: "s3/pilo"
};

// The directory of the table a row was read from ("s3/pilo" for
// "s3/pilo/drivers.txt:12"); the row's place when it has none.
inline std::string familyOf(const drivertable::Board &b) {
    size_t slash = b.where.rfind('/');
    return slash == std::string::npos ? b.where : b.where.substr(0, slash);
}

// The fuzz setups of a table, in its order (which means nothing: an input
// names its setup).
inline std::vector<Setup> setupsOf(const drivertable::Table &table) {
    std::vector<Setup> out;
    for (const drivertable::Board &b : table.boards)
        if (b.fuzz)
            out.push_back({b.id, b.driver, b.file, &b, b.serverArgs, familyOf(b)});
    return out;
}

// The setups of the source tree's driver table. Tests may put others in
// their place (useSetups).
inline std::vector<Setup> &currentSetups() {
    static std::vector<Setup> table = setupsOf(drivertable::sourceTree());
    return table;
}

inline const std::vector<Setup> &setups() {
    return currentSetups();
}

inline void useSetups(std::vector<Setup> s) {
    currentSetups() = std::move(s);
}

inline const Setup *findSetup(const std::string &id) {
    for (const Setup &s : setups())
        if (s.id == id)
            return &s;
    return nullptr;
}

// An input names its setup on its first line ("pilo/160x120\n"); the bytes
// after it are the decisions. So adding, removing or reordering setups
// never changes what a stored input means.
constexpr size_t kMaxSetupName = 64;

// The setup an input names and the decisions that follow. Null with `error`
// empty for an input that names none (empty, or an empty first line:
// libFuzzer's first input), null with `error` set (one line) for a name no
// setup has or a first line that is no name.
inline const Setup *openInput(const uint8_t *data, size_t size, Input &body, std::string &error) {
    error.clear();
    body = Input(data, 0);
    if (size == 0 || data[0] == '\n')
        return nullptr;
    const uint8_t *end =
        static_cast<const uint8_t *>(std::memchr(data, '\n', std::min(size, kMaxSetupName + 1)));
    if (!end) {
        error = "the input names no setup on its first line (an input of the old numbering, "
                "which named it by its first byte, is converted with fuzz/convert-old-input.py)";
        return nullptr;
    }
    std::string name(reinterpret_cast<const char *>(data), static_cast<size_t>(end - data));
    const Setup *s = findSetup(name);
    if (!s) {
        std::string shown;
        for (char c : name)
            shown += c >= 0x20 && c < 0x7F ? c : '?';
        error = "no setup named \"" + shown + "\" (the driver tables list the setups)";
        return nullptr;
    }
    size_t skip = static_cast<size_t>(end - data) + 1;
    body = Input(data + skip, size - skip);
    return s;
}

// Writes `body` behind the name of `setup`: a whole input.
inline std::vector<uint8_t> inputFor(const Setup &setup, const std::vector<uint8_t> &body) {
    std::vector<uint8_t> out(setup.id.begin(), setup.id.end());
    out.push_back('\n');
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Whether the inputs run now are generated ones: libFuzzer runs every
// stored input before it asks for the first mutation.
inline bool &generating() {
    static bool on = false;
    return on;
}

// Screens the draw target has brought up on a fresh server so far: an
// input that raised it paid for a start-up.
inline uint64_t &screenStarts() {
    static uint64_t n = 0;
    return n;
}

// libFuzzer's mutations of an input's decisions; the setup in front is the
// one `choose` picks (given the input's own, null when it names none, and
// the mutation's seed). The name itself is never mutated, so a mutated
// input always names a setup.
template <class Choose>
size_t mutateDecisions(uint8_t *data, size_t size, size_t maxSize, unsigned seed, Choose choose,
                       size_t (*mutate)(uint8_t *, size_t, size_t)) {
    generating() = true;
    if (maxSize <= kMaxSetupName + 1 || setups().empty())
        return 0;
    Input body(nullptr, 0);
    std::string error;
    const Setup *own = openInput(data, size, body, error);
    size_t skip = own ? own->id.size() + 1 : 0;
    const size_t room = maxSize - kMaxSetupName - 1;
    size_t n = std::min(size - skip, room);
    std::memmove(data, data + skip, n);
    n = mutate(data, n, room);
    const Setup &to = choose(own, seed);
    std::memmove(data + to.id.size() + 1, data, n);
    std::memcpy(data, to.id.data(), to.id.size());
    data[to.id.size()] = '\n';
    return n + to.id.size() + 1;
}

// Setups named in FUZZ_SKIP_SETUPS and drivers named in FUZZ_SKIP_DRIVERS
// (both comma-separated) are passed over: an input for one of them does
// nothing. So a run can look past a known fault without changing what any
// input means.
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
    return listed("FUZZ_SKIP_DRIVERS", s.driver) || listed("FUZZ_SKIP_SETUPS", s.id);
}

// The setup's configuration. Each is read and parsed once per process: a
// parse costs more than a small screen's whole input.
inline graf::Config configFor(const Setup &s) {
    static std::map<std::string, graf::Config> parsed;
    auto it = parsed.find(s.id);
    if (it == parsed.end()) {
        graf::Config cfg;
        std::string error;
        if (!drivertable::configOf(*s.board, drivertable::sourceTreeReader(), cfg, error))
            throw std::runtime_error(error);
        it = parsed.emplace(s.id, std::move(cfg)).first;
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

// Fuzzing time shared out evenly over the families of drivers (the
// directories of the driver tables), so that a family whose inputs cost
// more does not take the time of the others. A run stays where the target
// would go until the family there has had a slice of time more than the one
// that has had least, then moves to that one, to the setup of it that has
// had least. Only the time of generated inputs counts: the stored ones are
// run whatever they cost.
class Shares {
  public:
    static constexpr double kSlice = 0.25; // seconds
    explicit Shares(const std::vector<Setup> &setups) : setups_(setups) {
        for (const Setup &s : setups_) {
            if (!byFamily_.count(s.family)) {
                byFamily_[s.family] = {};
                families_.push_back(s.family);
            }
            if (!skipped(s))
                byFamily_[s.family].runs = true;
        }
    }
    // What an input of `s` cost. `generated` is false for a stored input.
    void spent(const Setup &s, double seconds, bool generated) {
        Share &f = byFamily_[s.family];
        if (!generated) {
            f.stored++;
            return;
        }
        f.inputs++;
        f.seconds += seconds;
        bySetup_[s.id] += seconds;
    }
    // The setup of the next input, where the target would take `wanted`.
    const Setup &next(const Setup &wanted) const {
        const std::string *poorest = nullptr;
        for (const std::string &f : families_)
            if (byFamily_.at(f).runs &&
                (!poorest || byFamily_.at(f).seconds < byFamily_.at(*poorest).seconds))
                poorest = &f;
        if (!poorest ||
            byFamily_.at(wanted.family).seconds <= byFamily_.at(*poorest).seconds + kSlice)
            return wanted;
        const Setup *pick = nullptr;
        for (const Setup &s : setups_)
            if (s.family == *poorest && !skipped(s) && (!pick || seconds(s) < seconds(*pick)))
                pick = &s;
        return pick ? *pick : wanted;
    }
    // "s3/pilo 812 + 8, ...": inputs generated and stored per family, in
    // the tables' order.
    std::string summary() const {
        std::string out;
        for (const std::string &f : families_) {
            const Share &sh = byFamily_.at(f);
            out += (out.empty() ? "" : ", ") + f + " " + std::to_string(sh.inputs) + " + " +
                   std::to_string(sh.stored);
        }
        return out;
    }

  private:
    struct Share {
        uint64_t inputs = 0; // generated
        uint64_t stored = 0;
        double seconds = 0; // of the generated ones
        bool runs = false;  // a setup of it is not passed over
    };
    double seconds(const Setup &s) const {
        auto it = bySetup_.find(s.id);
        return it == bySetup_.end() ? 0 : it->second;
    }
    const std::vector<Setup> &setups_;
    std::vector<std::string> families_;
    std::map<std::string, Share> byFamily_;
    std::map<std::string, double> bySetup_;
};

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

// The processor time the process has used: what an input costs, whatever
// else the machine runs meanwhile.
inline double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Where fuzzing time goes (scripts/fuzz-costs.py): with FUZZ_COSTS=FILE in
// the environment, the inputs run and the processor seconds they took, per
// setup, are written to FILE, a line "SETUP INPUTS SECONDS STARTS
// START-SECONDS" each: the last two count the inputs that brought up a
// screen first (the draw target's start-ups) and what they took.
class Costs {
  public:
    static Costs *fromEnvironment() {
        static Costs *costs =
            std::getenv("FUZZ_COSTS") ? new Costs(std::getenv("FUZZ_COSTS")) : nullptr;
        return costs;
    }
    // `started`: the input brought up a screen on a fresh server first.
    void add(const Setup *s, double seconds, bool started) {
        Cost &c = bySetup_[s ? s->id : "-"];
        c.inputs++;
        c.seconds += seconds;
        if (started) {
            c.starts++;
            c.startSeconds += seconds;
        }
        write();
    }

  private:
    struct Cost {
        uint64_t inputs = 0;
        double seconds = 0;
        uint64_t starts = 0;
        double startSeconds = 0; // of the inputs that started a screen
    };
    explicit Costs(std::string path) : path_(std::move(path)) {}
    // Written after every input: libFuzzer may end the process without
    // running exit handlers.
    void write() const {
        if (FILE *f = std::fopen(path_.c_str(), "w")) {
            for (const auto &[setup, c] : bySetup_)
                std::fprintf(f, "%s %llu %.6f %llu %.6f\n", setup.c_str(),
                             static_cast<unsigned long long>(c.inputs), c.seconds,
                             static_cast<unsigned long long>(c.starts), c.startSeconds);
            std::fclose(f);
        }
    }
    std::string path_;
    std::map<std::string, Cost> bySetup_;
};

} // namespace fuzz

#ifdef DRV_FUZZ_ENTRY
namespace fuzz {

// The time shares of the process's setups.
inline Shares &shares() {
    static Shares *s = new Shares(setups()); // never destroyed: read at exit
    return *s;
}

// What an input cost, for the shares and FUZZ_COSTS. At exit the inputs
// each family got are printed on a line of their own, which .ci/run shows.
inline void account(const char *target, const uint8_t *data, size_t size, double seconds,
                    bool started) {
    static const char *name = nullptr;
    if (!name) {
        name = target;
        std::atexit([] {
            std::fprintf(stderr, "fuzz_%s inputs per family (generated + stored): %s\n", name,
                         shares().summary().c_str());
        });
    }
    Input body(nullptr, 0);
    std::string error;
    const Setup *s = openInput(data, size, body, error);
    if (s)
        shares().spent(*s, seconds, generating());
    if (Costs *costs = Costs::fromEnvironment())
        costs->add(s, seconds, started);
}

} // namespace fuzz

#define DRV_FUZZ_TARGET(name, run)                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {                      \
        const double start = ::fuzz::cpuSeconds();                                                 \
        const uint64_t starts = ::fuzz::screenStarts();                                            \
        std::vector<std::string> failures = run(data, size);                                       \
        ::fuzz::account(name, data, size, ::fuzz::cpuSeconds() - start,                            \
                        ::fuzz::screenStarts() != starts);                                         \
        ::fuzz::abortOnFailures(name, failures);                                                   \
        return 0;                                                                                  \
    }
#else
#define DRV_FUZZ_TARGET(name, run)
#endif
