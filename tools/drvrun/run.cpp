#include "run.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <random>
#include <stdexcept>

#include "adapter.h"
#include "configs.h"
#include "harness.h"
#include "refrender.h"
#include "server.h"
#include "png_writer.h"

namespace drvrun {

namespace {

// A driver may end the process itself during Init (an option that asks it
// to restore the console and leave, say). The run is not over then: its
// report is cut short, and status 0 would pass for success. While a watch
// is alive, an exit says so on one line and ends with status 1.
const char *exitWatchDriver = nullptr;

void exitDuringInit() {
    if (!exitWatchDriver)
        return;
    std::fflush(nullptr);
    std::fprintf(stdout, "drvrun: %s ended the process during Init\n", exitWatchDriver);
    std::fflush(stdout);
    _exit(kExitFailed);
}

class ExitWatch {
  public:
    explicit ExitWatch(const std::string &driver) : name_(driver) {
        static bool registered = std::atexit(exitDuringInit) == 0;
        (void)registered;
        exitWatchDriver = name_.c_str();
    }
    ~ExitWatch() { exitWatchDriver = nullptr; }
    ExitWatch(const ExitWatch &) = delete;
    ExitWatch &operator=(const ExitWatch &) = delete;

  private:
    std::string name_;
};

// The demo scene is laid out for the smallest mode the drivers offer.
constexpr int kSceneWidth = 640;
constexpr int kSceneHeight = 480;
constexpr size_t kFailuresShown = 5;
constexpr int64_t kMaxScreenPixels = int64_t{1} << 27;
// Items in the scene's long lists (boxes, segments, glyphs): more than any
// engine's queue holds twice over, so a wait left out inside a batch shows.
constexpr int kLongList = 40;

const std::vector<std::string> kSteps = {
    "Probe",
    "Init",
    "root-window",
    "palette",
    "fill-copy",
    "image",
    "read-back",
    "fill-xor",
    "fill-alus",
    "fill-planemask",
    "spans",
    "solid-rects",
    "copy",
    "copy-xor",
    "copy-planemask",
    "bitmap",
    "opaque-bitmap",
    "bitmap-offset",
    "glyphs",
    "text",
    "text-transparent",
    "tile",
    "tiled-fill",
    "stippled-fill",
    "opaque-stippled",
    "segments",
    "points",
    "gc-polylines",
    "gc-segments",
    "gc-rectangles",
    "gc-dashes",
    "cursor",
    "console-switch",
    "repaint", // the scene again, as the server repaints on return
    "fill-after-switch",
    "FreeScreen",
};

// ======================= the report =======================

// How a step is judged.
enum class Kind {
    Life,     // a call of the server's order: no pixels to check
    Draw,     // drawing: pixels against the mirror, accelerated or generic
    ReadBack, // ReadImage against the mirror (the step sets `differ` itself)
    Cursor,   // the hardware cursor: the visible screen must not change
};

struct StepResult {
    std::string name;
    std::string path; // "accel", "generic", "hw", "-", "n/a"
    size_t bus = 0;   // bus accesses during the step
    int differ = -1;  // pixels that differ from the reference; -1 not checked
    bool failed = false;
    std::vector<std::string> generic; // gen* routines the step ended in
    std::vector<std::string> lines;   // the driver's messages, failures, notes
};

std::string header() {
    char buf[120];
    std::snprintf(buf, sizeof buf, "  %-18s %-8s %9s %7s", "step", "path", "bus", "differ");
    return buf;
}

std::string row(const StepResult &r) {
    char buf[160];
    std::string differ = r.differ < 0 ? "-" : std::to_string(r.differ);
    std::snprintf(buf, sizeof buf, "  %-18s %-8s %9zu %7s", r.name.c_str(), r.path.c_str(), r.bus,
                  differ.c_str());
    std::string s = buf;
    if (r.failed)
        s += "  FAILED";
    for (size_t i = 0; i < r.generic.size(); i++)
        s += (i ? "," : "  ") + r.generic[i];
    return s;
}

// Messages end in their own newline, or not; print each on a line.
std::string messageLine(const std::string &prefix, const std::string &text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    std::string out = prefix;
    for (char c : t) {
        out += c;
        if (c == '\n')
            out += std::string(6 + prefix.size(), ' ');
    }
    return out;
}

bool fileExists(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void storePixel(uint8_t *p, int n, uint32_t v) {
    for (int i = 0; i < n; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = std::abs(dx), ady = std::abs(dy);
    const int major = std::max(adx, ady), minor = std::min(adx, ady);
    ZeroSegRec s{};
    s.x = static_cast<int16_t>(x1);
    s.y = static_cast<int16_t>(y1);
    s.signdx = static_cast<int16_t>(dx < 0 ? -1 : 1);
    s.signdy = static_cast<int16_t>(dy < 0 ? -1 : 1);
    s.axis = static_cast<int16_t>(adx >= ady ? 0 : 1);
    s.len = static_cast<int16_t>(major + 1);
    s.e = 2 * minor - major;
    s.e1 = 2 * minor;
    s.e2 = 2 * minor - 2 * major;
    return s;
}

const std::vector<std::string> kArrow = {
    "B...........", "BB..........", "BFB.........", "BFFB........", "BFFFB.......", "BFFFFB......",
    "BFFFFFB.....", "BFFFFFFB....", "BFFFFFFFB...", "BFFFFFFFFB..", "BFFFFFBBBBB.", "BFFBFFB.....",
    "BFB.BFFB....", "BB..BFFB....", "B....BFFB...", ".....BBB....",
};

// Letters for the characters the scene writes (driver and board names), 5 x 7
// in an 8 x 16 cell, so a person can read the picture; every other code keeps
// random bits.
const std::pair<char, std::array<const char *, 7>> kLetters[] = {
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
    {'a', {"     ", "     ", " ### ", "    #", " ####", "#   #", " ####"}},
    {'b', {"#    ", "#    ", "#### ", "#   #", "#   #", "#   #", "#### "}},
    {'c', {"     ", "     ", " ### ", "#    ", "#    ", "#   #", " ### "}},
    {'d', {"    #", "    #", " ####", "#   #", "#   #", "#   #", " ####"}},
    {'e', {"     ", "     ", " ### ", "#   #", "#####", "#    ", " ### "}},
    {'f', {"  ## ", " #  #", " #   ", "###  ", " #   ", " #   ", " #   "}},
    {'g', {"     ", " ####", "#   #", "#   #", " ####", "    #", " ### "}},
    {'h', {"#    ", "#    ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {'i', {"  #  ", "     ", " ##  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'j', {"   # ", "     ", "  ## ", "   # ", "   # ", "#  # ", " ##  "}},
    {'k', {"#    ", "#    ", "#  # ", "# #  ", "##   ", "# #  ", "#  # "}},
    {'l', {" ##  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'m', {"     ", "     ", "## # ", "# # #", "# # #", "#   #", "#   #"}},
    {'n', {"     ", "     ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {'o', {"     ", "     ", " ### ", "#   #", "#   #", "#   #", " ### "}},
    {'p', {"     ", "     ", "#### ", "#   #", "#### ", "#    ", "#    "}},
    {'q', {"     ", "     ", " ## #", "#  ##", " ####", "    #", "    #"}},
    {'r', {"     ", "     ", "# ## ", "##  #", "#    ", "#    ", "#    "}},
    {'s', {"     ", "     ", " ####", "#    ", " ### ", "    #", "#### "}},
    {'t', {" #   ", " #   ", "###  ", " #   ", " #   ", " #  #", "  ## "}},
    {'u', {"     ", "     ", "#   #", "#   #", "#   #", "#  ##", " ## #"}},
    {'v', {"     ", "     ", "#   #", "#   #", "#   #", " # # ", "  #  "}},
    {'w', {"     ", "     ", "#   #", "#   #", "# # #", "# # #", " # # "}},
    {'x', {"     ", "     ", "#   #", " # # ", "  #  ", " # # ", "#   #"}},
    {'y', {"     ", "     ", "#   #", "#   #", " ####", "    #", " ### "}},
    {'z', {"     ", "     ", "#####", "   # ", "  #  ", " #   ", "#####"}},
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'/', {"    #", "    #", "   # ", "  #  ", " #   ", "#    ", "#    "}},
    {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
    {'_', {"     ", "     ", "     ", "     ", "     ", "     ", "#####"}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
};

std::unique_ptr<harness::Font> readableFont() {
    auto font = harness::Font::random(8, 16, 128, 7);
    for (const auto &[code, rows] : kLetters) {
        // The glyph pointers point into these bitmaps: rewrite them in place.
        std::vector<uint8_t> &bm = font->bitmaps[static_cast<size_t>(code)];
        std::fill(bm.begin(), bm.end(), 0);
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 5; x++)
                if (rows[static_cast<size_t>(y)][x] == '#')
                    bm[static_cast<size_t>((y + 5) * font->stride)] |=
                        static_cast<uint8_t>(1 << (x + 1));
    }
    return font;
}

// A configuration file may hold anything; the complaint quoting it stays
// one readable line.
std::string printable(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

// ======================= the files a run writes =======================

// A file the run writes (--png, --trace). It is opened before the run, so a
// path that cannot be written is bad input found at once; a write that fails
// later (a full disk, /dev/full) is found by ok() or close().
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() {
        if (file_)
            std::fclose(file_);
    }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // False with `error`: "cannot write PATH: why".
    bool open(const std::string &path, std::string &error) {
        path_ = path;
        // O_NONBLOCK: a pipe that nothing reads from is refused (ENXIO)
        // rather than blocking the open for ever. Writes block as usual.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            error = whyNot(errno == ENXIO ? "nothing reads from the pipe" : std::strerror(errno));
            return false;
        }
        int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0 ||
            !(file_ = fdopen(fd, "wb"))) {
            error = whyNot(std::strerror(errno));
            ::close(fd);
            return false;
        }
        return true;
    }

    FILE *get() const { return file_; }
    const std::string &path() const { return path_; }

    // False once a write has failed; the first failure's reason is kept.
    bool ok() {
        if (file_ && errno_ == 0 && std::ferror(file_))
            errno_ = errno ? errno : EIO;
        return errno_ == 0;
    }

    // Writes out what is buffered and closes; false with `error` when any
    // write failed.
    bool close(std::string &error) {
        if (!file_)
            return true;
        if (std::fflush(file_) != 0 && errno_ == 0)
            errno_ = errno;
        ok();
        if (std::fclose(file_) != 0 && errno_ == 0)
            errno_ = errno;
        file_ = nullptr;
        if (errno_ == 0)
            return true;
        error = whyNot(std::strerror(errno_));
        return false;
    }

  private:
    std::string whyNot(const std::string &why) const {
        return "cannot write " + printable(path_) + ": " + why;
    }

    FILE *file_ = nullptr;
    std::string path_;
    int errno_ = 0;
};

// ======================= one driver's run =======================

class Runner {
  public:
    Runner(const RunOptions &o, std::ostream &out, std::ostream &err, OutputFile &png,
           OutputFile &trace)
        : opt_(o), out_(out), err_(err), png_(png), trace_(trace) {}
    int run(const std::string &driverPath, const std::string &driverName, const graf::Config &cfg,
            const std::string &configName);

  private:
    using Action = std::function<void()>;
    void step(const std::string &name, Kind kind, const Action &action);
    void collectMessages(StepResult &r);
    void checkPixels(StepResult &r);
    bool sameBytes();
    void injectFault();
    void writeTrace(const std::string &name);
    void emit(const StepResult &r);

    bool bringUp();
    void scene();
    void palette();
    void fills();
    void images();
    void copies();
    void bitmaps();
    void text();
    void patterns();
    void lines();
    void gcLines();
    void cursor();
    void spriteCursor();
    void consoleSwitch();
    void repaint(const ref::Canvas &shown);
    void close();
    std::string drive(const graf::Config &cfg, const std::string &configName);
    std::vector<std::string> closeOutputs();
    int finish(const std::string &failure);

    BoxRec box(int x1, int y1, int x2, int y2) const;
    uint32_t color() { return rng_() & s_->allPlanes(); }
    uint32_t someMask() const { return s_->allPlanes() & 0x5AC35Au; }
    std::vector<uint8_t> clientPixels(int count);
    int countDiffering(const std::vector<uint8_t> &want, const std::vector<uint8_t> &got) const;

    const RunOptions &opt_;
    std::ostream &out_;
    std::ostream &err_;
    OutputFile &png_;
    OutputFile &trace_;
    std::string driver_;
    std::unique_ptr<harness::Screen> s_;
    std::mt19937 rng_{20240607u};
    std::vector<std::string> reported_; // failures since the last step
    size_t errorsSeen_ = 0;
    StepResult current_;
    std::vector<StepResult> results_;
    ref::Canvas finalScreen_;
    VisualRec visual_{};
    bool haveVisual_ = false;
    std::unique_ptr<harness::Font> font_;
    std::unique_ptr<harness::Cursor> cursor_;
    bool cursorRealized_ = false; // the hardware cursor, until FreeScreen
};

BoxRec Runner::box(int x1, int y1, int x2, int y2) const {
    auto cx = [&](int v) { return static_cast<int16_t>(std::clamp(v, 0, s_->width())); };
    auto cy = [&](int v) { return static_cast<int16_t>(std::clamp(v, 0, s_->height())); };
    return {cx(x1), cy(y1), cx(x2), cy(y2)};
}

std::vector<uint8_t> Runner::clientPixels(int count) {
    int cb = ref::clientPixelBytes(s_->mirror());
    std::vector<uint8_t> p(static_cast<size_t>(count) * static_cast<size_t>(cb));
    for (int i = 0; i < count; i++)
        storePixel(p.data() + static_cast<size_t>(i) * static_cast<size_t>(cb), cb, color());
    return p;
}

int Runner::countDiffering(const std::vector<uint8_t> &want,
                           const std::vector<uint8_t> &got) const {
    size_t cb = static_cast<size_t>(ref::clientPixelBytes(s_->mirror()));
    int n = 0;
    for (size_t i = 0; i + cb <= want.size() && i + cb <= got.size(); i += cb)
        if (!std::equal(want.begin() + static_cast<long>(i),
                        want.begin() + static_cast<long>(i + cb),
                        got.begin() + static_cast<long>(i)))
            n++;
    return n;
}

// ---- steps ----

void Runner::step(const std::string &name, Kind kind, const Action &action) {
    current_ = StepResult{};
    current_.name = name;
    server::clearGenCalls();
    s_->machine().clearTrace();
    action();
    StepResult r = std::move(current_);
    r.bus = s_->machine().accessCount();
    writeTrace(name);
    // Generic routines a life-cycle call uses (genLoadColormap in Init) are
    // the driver's choice, not a fallback.
    bool fellBack = false;
    if (kind != Kind::Life)
        for (const server::GenCall &g : server::genCalls()) {
            if (std::find(r.generic.begin(), r.generic.end(), g.routine) == r.generic.end())
                r.generic.push_back(g.routine);
            // Layer helpers (nfbReplicateArea) serve accelerated paths too.
            fellBack |= g.routine.rfind("gen", 0) == 0;
        }
    if (r.path.empty()) {
        if (fellBack)
            r.path = "generic";
        else if (kind == Kind::Draw || kind == Kind::ReadBack)
            r.path = "accel";
        else if (kind == Kind::Cursor)
            r.path = "hw";
        else
            r.path = "-";
    }
    if (opt_.faultStep == name)
        injectFault();
    if (kind == Kind::Draw || kind == Kind::Cursor)
        checkPixels(r);
    collectMessages(r);
    emit(r);
    results_.push_back(std::move(r));
}

// The driver's own log lines of a step, each under the driver's name, so
// they are not taken for drvrun's verdict. A message that repeats is shown
// once with its count, and empty ones (some sources log "" after every DAC
// access) are only counted: a log shows nothing for them either.
void Runner::collectMessages(StepResult &r) {
    const std::vector<std::string> &errors = server::errorMessages();
    std::vector<std::pair<std::string, size_t>> seen;
    size_t empty = 0;
    for (; errorsSeen_ < errors.size(); errorsSeen_++) {
        const std::string &m = errors[errorsSeen_];
        if (m.find_first_not_of(" \t\r\n") == std::string::npos) {
            empty++;
            continue;
        }
        auto it =
            std::find_if(seen.begin(), seen.end(), [&](const auto &e) { return e.first == m; });
        if (it == seen.end())
            seen.emplace_back(m, 1);
        else
            it->second++;
    }
    const std::string prefix = driver_ + " ErrorF: ";
    for (const auto &[m, count] : seen) {
        std::string text = m;
        // A message may begin with the line feed that ends the one before.
        text.erase(0, text.find_first_not_of('\n'));
        r.lines.push_back(messageLine(prefix, text) +
                          (count > 1 ? " (" + std::to_string(count) + " times)" : ""));
    }
    if (empty > 0)
        r.lines.push_back(prefix + std::to_string(empty) +
                          (empty == 1 ? " empty message" : " empty messages"));
    // A driver on the wrong adapter fails at every access: a few tell the story.
    const size_t shown = std::min<size_t>(reported_.size(), kFailuresShown);
    for (size_t i = 0; i < shown; i++)
        r.lines.push_back(messageLine("failure: ", reported_[i]));
    if (reported_.size() > shown)
        r.lines.push_back("... and " + std::to_string(reported_.size() - shown) + " more failures");
    if (!reported_.empty())
        r.failed = true;
    reported_.clear();
}

// Rows byte for byte first: the full comparison is slow, and only needed to
// describe a difference. The engine is not drained: a server issues its next
// call at once, so the driver must wait itself before it touches video memory.
bool Runner::sameBytes() {
    s_->settle();
    const uint8_t *mem = s_->screenMemory();
    const ref::Canvas &want = s_->mirror();
    if (!mem || want.bytesPerPixel != s_->bytesPerPixel())
        return false;
    size_t row = static_cast<size_t>(want.width) * static_cast<size_t>(want.bytesPerPixel);
    for (int y = 0; y < want.height; y++)
        if (std::memcmp(want.bytes.data() + static_cast<size_t>(y) * want.pitch,
                        mem + static_cast<size_t>(y) * static_cast<size_t>(s_->pitch()), row))
            return false;
    return true;
}

void Runner::checkPixels(StepResult &r) {
    if (sameBytes()) {
        r.differ = 0;
        return;
    }
    ref::Diff d = s_->compareSettled();
    r.differ = d.count;
    if (d.count > 0) {
        r.lines.push_back("differs from the reference: " + d.describe());
        // Later steps are judged on their own pixels.
        s_->syncMirror();
    }
}

// A test aid: one wrong pixel, as a faulty engine would leave it.
void Runner::injectFault() {
    s_->drain();
    if (uint8_t *mem = s_->screenMemory())
        mem[s_->pitch() + s_->bytesPerPixel()] ^= 0x55;
    else if (sim::Adapter *a = s_->adapter(); a && a->nonLinearPicture())
        a->setPictureAt(1, 1, a->pictureAt(1, 1) ^ 0x5);
}

void Runner::writeTrace(const std::string &name) {
    sim::Machine &m = s_->machine();
    // After a failed write the rest is not tried: the run reports it at the end.
    if (FILE *f = trace_.get(); f && trace_.ok()) {
        std::fprintf(f, "# %s\n", name.c_str());
        for (const sim::Access &a : m.trace()) {
            // A wait reads one location many times: one line, with the count.
            std::string line = m.describe(a);
            if (a.repeat > 1)
                line += " (" + std::to_string(a.repeat) + " times)";
            std::fprintf(f, "%s\n", line.c_str());
        }
    }
    m.clearTrace();
}

void Runner::emit(const StepResult &r) {
    bool wrong = r.failed || r.differ > 0;
    if (opt_.brief && !wrong)
        return;
    out_ << row(r) << "\n";
    for (const std::string &l : r.lines)
        out_ << "      " << l << "\n";
    out_.flush();
}

// ---- the server's order ----

bool Runner::bringUp() {
    Bool probed = 0;
    step("Probe", Kind::Life, [&] {
        probed = s_->probe();
        if (!probed)
            current_.failed = true;
    });
    if (!probed)
        return false;
    Bool initialised = 0;
    step("Init", Kind::Life, [&] {
        ExitWatch watch(driver_);
        initialised = s_->init();
        if (!s_->fatalMessage().empty())
            current_.lines.push_back(messageLine(driver_ + " FatalError: ", s_->fatalMessage()));
        if (!initialised)
            current_.failed = true;
    });
    if (!initialised)
        return false;
    if (s_->screen()->numVisuals > 0 && s_->screen()->visuals) {
        visual_ = s_->screen()->visuals[0];
        haveVisual_ = true;
    }
    if (opt_.checkOnly)
        return true;
    bool rooted = false;
    step("root-window", Kind::Life, [&] {
        s_->createRoot();
        s_->tellRootClip();
        s_->syncMirror();
        rooted = s_->winOps() != nullptr;
        if (!rooted)
            current_.failed = true;
    });
    return rooted;
}

// A 3-3-2 palette on a PseudoColor screen, so the picture shows colours.
void Runner::palette() {
    if (!haveVisual_ || visual_.class_ != 3)
        return;
    step("palette", Kind::Life, [&] {
        int entries = std::min<int>(256, visual_.ColormapEntries);
        for (int i = 0; i < entries; i++) {
            auto level = [](int v, int max) { return static_cast<uint16_t>(v * 0xFFFF / max); };
            s_->setColor(i, level((i >> 5) & 7, 7), level((i >> 2) & 7, 7), level(i & 3, 3));
        }
    });
}

void Runner::fills() {
    step("fill-copy", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXcopy, .fg = color()});
        s_->fillRects(gc, {box(0, 0, s_->width(), s_->height())});
        s_->changeGC(gc, {.alu = GXcopy, .fg = color()});
        s_->fillRects(gc, {box(40, 40, 200, 120),
                           box(s_->width() - 60, s_->height() - 40, s_->width(), s_->height()),
                           box(5, 5, 6, 6), box(7, 7, 7, 30)});
    });
}

void Runner::images() {
    step("image", Kind::Draw, [&] {
        int cb = ref::clientPixelBytes(s_->mirror());
        // A padded stride and an odd position, as clients send them.
        BoxRec a = box(20, 140, 320, 300);
        int stride = 300 * cb + 4;
        std::vector<uint8_t> pixels = clientPixels(stride / cb * 160 + 1);
        s_->drawImage(a, pixels, stride);
        BoxRec b = box(333, 141, 350, 174);
        s_->drawImage(b, clientPixels(17 * 33), 17 * cb);
        // Right after one another: an image some drivers write with the
        // processor follows one their engine draws, and the other way round.
        s_->drawImage(box(352, 141, 380, 160), clientPixels(28 * 19), 28 * cb, GXxor, someMask());
        s_->drawImage(box(352, 162, 380, 174), clientPixels(28 * 12), 28 * cb);
    });
    step("read-back", Kind::ReadBack, [&] {
        int n = 0;
        for (const BoxRec &b : {box(18, 138, 323, 303), box(1, 1, 2, 2), box(333, 141, 380, 174)}) {
            std::vector<uint8_t> want = s_->expectedImage(b);
            std::vector<uint8_t> got = s_->readImage(b);
            n += countDiffering(want, got);
        }
        current_.differ = n;
        if (n > 0)
            current_.lines.push_back("ReadImage gave " + std::to_string(n) +
                                     " pixels that differ from the screen");
    });
    step("fill-xor", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXxor, .fg = color()});
        s_->fillRects(gc, {box(60, 160, 200, 260), box(250, 200, 400, 280)});
    });
    step("fill-alus", Kind::Draw, [&] {
        for (int alu = GXclear; alu <= GXset; alu++) {
            GCPtr gc = s_->createGC({.alu = alu, .fg = color()});
            s_->fillRects(gc, {box(24 + alu * 18, 150, 38 + alu * 18, 290)});
        }
    });
    step("fill-planemask", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXcopy, .planemask = someMask(), .fg = color()});
        s_->fillRects(gc, {box(30, 250, 180, 296)});
        s_->changeGC(gc, {.alu = GXxor, .planemask = someMask(), .fg = color()});
        s_->fillRects(gc, {box(190, 250, 310, 296)});
    });
    step("spans", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXcopy, .fg = color()});
        std::vector<DDXPointRec> starts;
        std::vector<int> widths;
        for (int i = 0; i < 60; i++) {
            starts.push_back({static_cast<int16_t>(420 - i), static_cast<int16_t>(40 + i)});
            widths.push_back(2 * i + 1);
        }
        s_->fillSpans(gc, starts, widths);
    });
    step("solid-rects", Kind::Draw, [&] {
        s_->drawSolidRects({box(430, 120, 520, 180), box(525, 120, 600, 180)}, color());
        s_->drawSolidRects({box(440, 130, 590, 170)}, color(), GXor);
        // A long list, more boxes than any engine's queue holds twice over.
        std::vector<BoxRec> row;
        for (int i = 0; i < kLongList; i++)
            row.push_back(
                box(432 + i % 20 * 8, 182 + i / 20 * 8, 438 + i % 20 * 8, 188 + i / 20 * 8));
        s_->drawSolidRects(row, color());
    });
}

void Runner::copies() {
    step("copy", Kind::Draw, [&] {
        s_->copyRect(box(340, 310, 460, 400), {20, 140});
        // Overlapping both ways: the engine must pick the direction.
        s_->copyRect(box(30, 150, 200, 250), {20, 140});
        s_->copyRect(box(20, 140, 190, 240), {30, 150});
    });
    step("copy-xor", Kind::Draw, [&] { s_->copyRect(box(470, 310, 600, 400), {40, 160}, GXxor); });
    step("copy-planemask", Kind::Draw, [&] {
        s_->copyRect(box(480, 20, 630, 100), {20, 140}, GXcopy, someMask());
    });
}

void Runner::bitmaps() {
    auto randomBits = [&](int stride, int rows) {
        std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(rows));
        for (uint8_t &b : bits)
            b = static_cast<uint8_t>(rng_());
        return bits;
    };
    step("bitmap", Kind::Draw, [&] {
        int stride = 16;
        s_->drawMonoImage(box(20, 310, 120, 370), randomBits(stride, 60), 0, stride, color());
    });
    step("opaque-bitmap", Kind::Draw, [&] {
        int stride = 16;
        s_->drawOpaqueMonoImage(box(130, 310, 237, 370), randomBits(stride, 60), 0, stride, color(),
                                color());
    });
    // Rows that start inside a byte, as a clipped bitmap's do; some drivers
    // leave them to the server's routines.
    step("bitmap-offset", Kind::Draw, [&] {
        int stride = 16;
        s_->drawMonoImage(box(23, 372, 120, 378), randomBits(stride, 6), 3, stride, color());
        s_->drawOpaqueMonoImage(box(130, 372, 230, 378), randomBits(stride, 6), 5, stride, color(),
                                color());
    });
    font_ = readableFont();
    step("glyphs", Kind::Draw, [&] {
        std::vector<MonoGlyphRec> glyphs;
        for (int i = 0; i < kLongList; i++) {
            int code = 'A' + i % 10;
            int x = 250 + i % 20 * 9, y = 310 + i / 20 * 18 + i % 3;
            BoxRec b = box(x, y, x + 8, y + 16);
            glyphs.push_back({b, font_->stride, font_->glyphs[static_cast<size_t>(code)], code});
        }
        s_->drawMonoGlyphs(glyphs, color(), GXcopy, ~0u, font_->priv());
    });
}

void Runner::text() {
    // The driver's name, so each driver's picture tells whose it is.
    const std::string words = driver_ + " ABC 0123";
    int w = static_cast<int>(words.size()) * font_->width;
    step("text", Kind::Draw,
         [&] { s_->drawText(box(20, 380, 20 + w, 396), words, *font_, color(), color()); });
    step("text-transparent", Kind::Draw, [&] {
        s_->drawText(box(20, 400, 20 + w, 416), words, *font_, color(), color(), GXcopy, ~0u, true);
    });
}

void Runner::patterns() {
    int cb = ref::clientPixelBytes(s_->mirror());
    step("tile", Kind::Draw, [&] {
        // Two boxes a call: some drivers stage a pattern only for more than one.
        s_->tileRects({box(250, 380, 290, 440), box(292, 380, 330, 440)}, clientPixels(64), 8 * cb,
                      8, 8, {3, 5});
        s_->tileRects({box(335, 383, 371, 400), box(335, 401, 371, 417)}, clientPixels(15), 5 * cb,
                      5, 3, {0, 0}, GXxor);
    });
    step("tiled-fill", Kind::Draw, [&] {
        std::vector<uint32_t> pixels;
        for (int i = 0; i < 64; i++)
            pixels.push_back(color());
        PixmapPtr tile = s_->tile(8, 8, pixels);
        GCPtr gc = s_->createGC({.fillStyle = FillTiled, .tile = tile, .patOrg = {2, 1}});
        s_->fillRects(gc, {box(380, 380, 414, 440), box(416, 380, 450, 440)});
        s_->fillSpans(gc, {{380, 445}, {383, 446}}, {60, 50});
    });
    const std::vector<std::string> rows = {"X.......", ".X.....X", "..X...X.", "...X.X..",
                                           "....X...", "...X.X..", "..X...X.", ".X.....X"};
    step("stippled-fill", Kind::Draw, [&] {
        PixmapPtr st = s_->stipple(rows);
        GCPtr gc = s_->createGC({.fillStyle = FillStippled, .fg = color(), .stipple = st});
        s_->fillRects(gc, {box(460, 380, 494, 440), box(496, 383, 530, 440)});
    });
    step("opaque-stippled", Kind::Draw, [&] {
        PixmapPtr st = s_->stipple(
            {"XXXX....XXXX....", "XXXX....XXXX....", "....XXXX....XXXX", "....XXXX....XXXX"});
        GCPtr gc = s_->createGC(
            {.fillStyle = FillOpaqueStippled, .fg = color(), .bg = color(), .stipple = st});
        s_->fillRects(gc, {box(540, 380, 578, 440), box(580, 381, 620, 440)});
    });
}

void Runner::lines() {
    step("segments", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXcopy, .fg = color()});
        std::vector<ZeroSegRec> segs = {segment(400, 200, 500, 230), segment(400, 200, 420, 290),
                                        segment(500, 300, 400, 250), segment(600, 210, 600, 290),
                                        segment(410, 295, 590, 295), segment(450, 250, 450, 250)};
        while (segs.size() < static_cast<size_t>(kLongList)) {
            const int x = 420 + int(rng_() % 160), y = 210 + int(rng_() % 80);
            segs.push_back(segment(x, y, x + int(rng_() % 41) - 20, y + int(rng_() % 21) - 10));
        }
        s_->zeroSegs(gc, segs);
        // The same kind of lines given by their end points, as the layer
        // hands them to a driver's own segment routine.
        std::vector<xSegment> ends = {{400, 205, 500, 235},
                                      {405, 200, 425, 290},
                                      {500, 295, 400, 245},
                                      {595, 210, 595, 290},
                                      {450, 255, 450, 255}};
        while (ends.size() < static_cast<size_t>(kLongList)) {
            const int x = 420 + int(rng_() % 160), y = 210 + int(rng_() % 80);
            ends.push_back({static_cast<int16_t>(x), static_cast<int16_t>(y),
                            static_cast<int16_t>(x + int(rng_() % 41) - 20),
                            static_cast<int16_t>(y + int(rng_() % 21) - 10)});
        }
        s_->polyZeroSeg(gc, ends);
    });
    step("points", Kind::Draw, [&] {
        int w = s_->width(), h = s_->height();
        std::vector<DDXPointRec> points = {
            {0, 0},
            {static_cast<int16_t>(w - 1), 0},
            {0, static_cast<int16_t>(h - 1)},
            {static_cast<int16_t>(w - 1), static_cast<int16_t>(h - 1)}};
        for (int i = 0; i < 50; i++)
            points.push_back({static_cast<int16_t>(540 + rng_() % 90),
                              static_cast<int16_t>(200 + rng_() % 100)});
        s_->drawPoints(points, color());
    });
}

namespace {

DDXPointRec pt(int x, int y) {
    return {static_cast<int16_t>(x), static_cast<int16_t>(y)};
}

} // namespace

// Thin lines through the X GC's own vector, for drivers that build it: on a
// window at an offset with a one-rectangle clip, solid and dashed.
void Runner::gcLines() {
    WindowPtr w = s_->createWindow(20, 300, 360, 170);
    if (!w)
        return;
    DrawablePtr d = &w->drawable;
    GCPtr probe = s_->createGCOn(d, {.fg = color()});
    if (!probe || !s_->gcOps(probe) || !s_->gcOps(probe)->Polylines)
        return;
    const std::vector<BoxRec> clip = {box(4, 4, 350, 160)};
    const std::vector<DDXPointRec> poly = {pt(10, 10),  pt(120, 10), pt(120, 60),  pt(160, 100),
                                           pt(200, 60), pt(170, 60), pt(130, 100), pt(130, 30),
                                           pt(100, 0),  pt(150, 23), pt(140, 90),  pt(340, 165)};
    step("gc-polylines", Kind::Draw, [&] {
        GCPtr gc = s_->createGCOn(d, {.fg = color()}, {.clip = clip});
        s_->gcPolylines(gc, d, poly, CoordModeOrigin);
        ref::polylines(s_->mirror(), ref::lineValuesOf(gc, d), CoordModeOrigin, poly.data(),
                       static_cast<int>(poly.size()));
    });
    step("gc-segments", Kind::Draw, [&] {
        GCPtr gc = s_->createGCOn(d, {.alu = GXxor, .fg = color()}, {.capStyle = 0, .clip = clip});
        std::vector<xSegment> segs;
        for (int i = 0; i < 24; i++) {
            const int x = 200 + int(rng_() % 140), y = 10 + int(rng_() % 140);
            segs.push_back({static_cast<int16_t>(x), static_cast<int16_t>(y),
                            static_cast<int16_t>(x + int(rng_() % 41) - 20),
                            static_cast<int16_t>(y + int(rng_() % 41) - 20)});
        }
        segs.push_back({220, 20, 260, 20});
        segs.push_back({220, 30, 260, 70});
        s_->gcPolySegment(gc, d, segs);
        ref::polySegment(s_->mirror(), ref::lineValuesOf(gc, d), segs.data(),
                         static_cast<int>(segs.size()));
    });
    step("gc-rectangles", Kind::Draw, [&] {
        GCPtr gc = s_->createGCOn(d, {.fg = color()}, {.clip = clip});
        const std::vector<xRectangle> rects = {
            {10, 110, 60, 40}, {80, 120, 1, 1}, {100, 115, 30, 0}, {300, 130, 80, 50}};
        s_->gcPolyRectangle(gc, d, rects);
        ref::polyRectangle(s_->mirror(), ref::lineValuesOf(gc, d), rects.data(),
                           static_cast<int>(rects.size()));
    });
    step("gc-dashes", Kind::Draw, [&] {
        GCPtr gc =
            s_->createGCOn(d, {.fg = color(), .bg = color()},
                           {.lineStyle = 2, .dashOffset = 3, .dashes = {6, 3, 2, 3}, .clip = clip});
        const ref::LineValues v = ref::lineValuesOf(gc, d);
        std::vector<DDXPointRec> p = poly;
        for (DDXPointRec &q : p)
            q.y = static_cast<int16_t>(q.y + 4);
        s_->gcPolylines(gc, d, p, CoordModeOrigin);
        ref::polylines(s_->mirror(), v, CoordModeOrigin, p.data(), static_cast<int>(p.size()));
        const std::vector<xSegment> segs = {{180, 120, 250, 120}, {180, 125, 250, 150}};
        s_->gcPolySegment(gc, d, segs);
        ref::polySegment(s_->mirror(), v, segs.data(), static_cast<int>(segs.size()));
        const std::vector<xRectangle> rects = {{260, 100, 40, 30}};
        s_->gcPolyRectangle(gc, d, rects);
        ref::polyRectangle(s_->mirror(), v, rects.data(), static_cast<int>(rects.size()));
    });
}

void Runner::cursor() {
    if (!s_->pointer() && s_->sprite()) {
        spriteCursor();
        return;
    }
    if (!s_->pointer()) {
        step("cursor", Kind::Life, [&] {
            current_.path = "n/a";
            current_.lines.push_back("no hardware cursor: the server draws it");
        });
        return;
    }
    cursor_ = harness::makeCursor(kArrow, 1, 1, 0xFFFF, 0xFFFF, 0x0000);
    step("cursor", Kind::Cursor, [&] {
        cursorRealized_ = s_->realizeCursor(cursor_->ptr());
        if (!cursorRealized_)
            current_.lines.push_back("RealizeCursor returned 0");
        int w = s_->width(), h = s_->height();
        s_->setCursor(cursor_->ptr(), 100, 100);
        for (auto [x, y] :
             {std::pair{w / 2, h / 2}, {w - 1, h - 1}, {0, 0}, {5, h - 2}, {w / 3, h / 4}})
            s_->moveCursor(x, y);
    });
}

// The sprite layer's rectangles for a driver that draws its cursor: the
// driver draws as much of a cursor as its best cursor size, and the layer
// saves a square around it with room for small moves (8 pixels each side).
static harness::SpriteDrive spriteDriveFor(harness::Screen &s) {
    harness::SpriteDrive d;
    d.fg = s.allPlanes();
    d.bg = 0;
    auto [w, h] = s.queryBestSize(CursorShape, 64, 64);
    d.maxCursor = std::max<int>(1, std::min<int>(w, h));
    d.saveSize = d.maxCursor + 16;
    return d;
}

// A cursor the driver draws itself: the server's sprite layer puts it up,
// moves it, changes the saved rectangle and restores it along every edge of
// the screen. The screen is compared after each step: with the cursor on the
// scene after each drawing, the scene itself after each restore, so the step
// leaves the screen as it found it.
void Runner::spriteCursor() {
    cursor_ = harness::makeCursor(kArrow, 1, 1, 0xFFFF, 0xFFFF, 0x0000);
    step("cursor", Kind::Cursor, [&] {
        current_.path = "sprite";
        harness::SpriteRun run = harness::driveSprite(
            *s_, cursor_->ptr(), harness::spriteEdgePath(s_->width(), s_->height()),
            spriteDriveFor(*s_));
        current_.lines.push_back(std::to_string(run.putUps) + " put-ups, " +
                                 std::to_string(run.moves) + " moves, " +
                                 std::to_string(run.changeSaves) + " save changes, " +
                                 std::to_string(run.restores) + " restores compared");
        for (const std::string &p : run.problems) {
            current_.lines.push_back("sprite: " + p);
            current_.failed = true;
        }
    });
}

void Runner::consoleSwitch() {
    const ref::Canvas shown = s_->mirror();
    step("console-switch", Kind::Life, [&] {
        s_->switchAway();
        s_->switchBack();
        // The server repaints the screen after a switch; what the console
        // left in video memory is not the driver's to keep.
        s_->syncMirror();
    });
    repaint(shown);
    step("fill-after-switch", Kind::Draw, [&] {
        GCPtr gc = s_->createGC({.alu = GXcopy, .fg = color()});
        s_->fillRects(gc, {box(560, 20, 630, 60)});
        s_->copyRect(box(560, 62, 630, 102), {560, 20});
    });
}

// Given the screen back, the server has every window repaint itself; here
// the scene the screen showed comes back in one image through the driver, so
// the final picture shows what the driver drew, whatever the console left in
// video memory.
void Runner::repaint(const ref::Canvas &shown) {
    step("repaint", Kind::Draw, [&] {
        const BoxRec all = box(0, 0, s_->width(), s_->height());
        const int stride = s_->width() * ref::clientPixelBytes(shown);
        std::vector<uint8_t> pixels(static_cast<size_t>(stride) *
                                    static_cast<size_t>(s_->height()));
        ref::readImage(shown, all, pixels.data(), stride);
        s_->drawImage(all, pixels, stride);
    });
}

void Runner::close() {
    step("FreeScreen", Kind::Life, [&] {
        if (font_)
            s_->closeFont(*font_);
        // The server frees its cursors before it closes the screen, and
        // each screen unrealizes what it realized.
        if (cursorRealized_ && !s_->unrealizeCursor(cursor_->ptr()))
            current_.lines.push_back("UnrealizeCursor returned 0");
        cursorRealized_ = false;
        size_t before = server::liveBlockCount();
        s_->freeScreen();
        size_t after = server::liveBlockCount();
        if (after > 0)
            current_.lines.push_back(std::to_string(after) + " of " + std::to_string(before) +
                                     " allocated blocks still held after FreeScreen");
    });
}

void Runner::scene() {
    palette();
    if (s_->width() < kSceneWidth || s_->height() < kSceneHeight) {
        out_ << "  (the demo scene needs at least " << kSceneWidth << "x" << kSceneHeight
             << "; no drawing on this screen)\n";
        return;
    }
    fills();
    images();
    copies();
    bitmaps();
    text();
    patterns();
    lines();
    gcLines();
    cursor();
    consoleSwitch();
}

int Runner::finish(const std::string &failure) {
    int accel = 0, generic = 0, differing = 0, pixels = 0, failed = 0;
    for (const StepResult &r : results_) {
        accel += r.path == "accel";
        generic += r.path == "generic";
        failed += r.failed;
        if (r.differ > 0) {
            differing++;
            pixels += r.differ;
        }
    }
    bool ok = failure.empty() && failed == 0 && differing == 0;
    // A board file of another build of the source (an 8-bit example for a
    // 16-bit build) fails with the driver's own words; the changes that
    // bring the driver up on its default board are the likely cure.
    const drivertable::Board *d = table().defaultBoard(driver_.substr(0, driver_.find('/')));
    if (!failure.empty() && !opt_.configPath.empty() && opt_.settings.empty() && d &&
        !d->keyText.empty())
        out_ << "  (on its default board " << driver_ << " takes " << d->keyText
             << "; --set KEY=VALUE changes a key of this file)\n";
    if (opt_.checkOnly) {
        out_ << driver_ << ": the configuration "
             << (ok ? "works" : "does not work: " + (failure.empty() ? "a step failed" : failure))
             << "\n";
        out_.flush();
        return ok ? kExitOk : kExitFailed;
    }
    if (!failure.empty()) {
        out_ << driver_ << ": FAILED: " << failure << "\n";
        out_.flush();
        return kExitFailed;
    }
    out_ << driver_ << ": " << (ok ? "ok" : "FAILED");
    out_ << ": " << results_.size() << " steps, " << accel << " accelerated, " << generic
         << " generic, " << pixels << (pixels == 1 ? " pixel differs" : " pixels differ");
    if (differing)
        out_ << " in " << differing << (differing == 1 ? " step" : " steps");
    if (failed)
        out_ << ", " << failed << " failed";
    out_ << "\n";
    out_.flush();
    return ok ? kExitOk : kExitFailed;
}

// Writes the picture and closes the files the run wrote. What could not be
// written, one line each ("cannot write PATH: why").
std::vector<std::string> Runner::closeOutputs() {
    std::vector<std::string> unwritten;
    std::string error;
    if (png_.get()) {
        std::string why;
        bool drawn = finalScreen_.width > 0 && finalScreen_.height > 0;
        if (drawn) {
            try {
                if (!writePng(png_.get(), finalScreen_, haveVisual_ ? &visual_ : nullptr, why))
                    why = "libpng: " + why;
            } catch (const std::bad_alloc &) {
                why = "not enough memory for the picture";
            }
        }
        // An I/O error says more than libpng's "Write Error" it led to.
        if (!png_.close(error))
            unwritten.push_back(error);
        else if (!why.empty())
            unwritten.push_back("cannot write " + printable(png_.path()) + ": " + printable(why));
        else if (!drawn)
            out_ << "no picture: the screen did not come up\n";
        else if (!opt_.brief)
            out_ << "picture: " << printable(png_.path()) << "\n";
    }
    if (!trace_.close(error))
        unwritten.push_back(error);
    return unwritten;
}

// Probe, Init and (unless only checking) the scene and the close. Returns
// why the driver did not come up, or an empty string.
std::string Runner::drive(const graf::Config &cfg, const std::string &configName) {
    std::vector<std::string> setup;
    setup.swap(reported_);
    if (!opt_.brief) {
        out_ << driver_ << " on " << configName << " (adapter "
             << (cfg.adapter.empty() ? "none" : cfg.adapter) << ", " << s_->width() << "x"
             << s_->height() << ", depth " << s_->depth() << ")\n";
        for (const std::string &m : setup)
            out_ << messageLine("  ", m) << "\n";
        out_ << header() << std::endl;
    }
    s_->machine().clearTrace();
    server::clearErrorMessages();
    errorsSeen_ = 0;

    if (!bringUp()) {
        const StepResult &last = results_.back();
        return last.name == "Probe"  ? "Probe returned 0"
               : last.name == "Init" ? "Init returned 0"
                                     : "the root window got no WinOps";
    }
    if (opt_.checkOnly)
        return "";
    scene();
    finalScreen_ = s_->readScreen();
    close();
    return "";
}

int Runner::run(const std::string &driverPath, const std::string &driverName,
                const graf::Config &cfg, const std::string &configName) {
    driver_ = driverName;
    // A board the simulated machine cannot be built from (a memory size or
    // area the adapter model refuses, more than this host can map) is bad
    // input: no driver code has run yet.
    try {
        s_ = std::make_unique<harness::Screen>(
            driverPath, cfg,
            harness::Options{.reporter = [this](const std::string &m) { reported_.push_back(m); },
                             .serverArgs = opt_.serverArgs});
    } catch (const std::exception &e) {
        const std::string lead = "the simulated machine cannot be built";
        std::string why = dynamic_cast<const std::bad_alloc *>(&e) ? "not enough memory" : e.what();
        if (why.rfind(lead, 0) != 0)
            why = lead + ": " + why;
        err_ << "drvrun: " << printable(configName) << ": " << printable(why) << "\n";
        return kExitBadInput;
    }
    std::string failure;
    try {
        failure = drive(cfg, configName);
    } catch (const std::exception &e) {
        // Whatever the stand-in could not go on from, in the middle of the
        // driver's run: the run failed, and says where it stopped.
        std::string what =
            dynamic_cast<const std::bad_alloc *>(&e) ? "not enough memory" : e.what();
        std::string step = current_.name.empty() ? "" : " in " + current_.name;
        failure = "the run stopped" + step + ": " + printable(what);
    }
    std::vector<std::string> unwritten = closeOutputs();
    int status = finish(failure);
    // The report stands; the files asked for are missing, which is bad input
    // (a path that cannot take them), found only now.
    for (const std::string &line : unwritten)
        err_ << "drvrun: " << line << "\n";
    return unwritten.empty() ? status : kExitBadInput;
}

} // namespace

// ======================= drivers =======================

std::string driverDirectory() {
    // Drivers built elsewhere (another build tree, an install) without a rebuild.
    const char *dir = std::getenv("DRVRUN_LIB_DIR");
    return dir && *dir ? dir : DRV_LIB_DIR;
}

bool resolveDriver(const std::string &nameOrPath, std::string &path, std::string &name,
                   std::string &error) {
    if (nameOrPath.empty()) {
        error = "no driver named";
        return false;
    }
    if (nameOrPath.find('/') == std::string::npos) {
        path = driverDirectory() + "/lib" + nameOrPath + ".so";
        name = nameOrPath;
        if (!fileExists(path)) {
            error = "unknown driver \"" + nameOrPath + "\" (no " + path + ")";
            return false;
        }
        return true;
    }
    path = nameOrPath;
    if (!fileExists(path)) {
        error = path + ": no such driver library";
        return false;
    }
    name = path.substr(path.rfind('/') + 1);
    if (name.rfind("lib", 0) == 0)
        name = name.substr(3);
    name = name.substr(0, name.find('.'));
    return true;
}

bool bindDriver(const std::string &path, const std::string &name, std::string &error) {
    // The library stays loaded (as the harness keeps it), so this costs nothing later.
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::string why = dlerror();
        if (why.rfind(path + ": ", 0) == 0)
            why = why.substr(path.size() + 2);
        error = "cannot load " + path + ": " + why;
        return false;
    }
    const std::string record = name + "ScreenInfo";
    if (!dlsym(h, record.c_str())) {
        error = path + " is not a driver: it exports no " + record;
        return false;
    }
    std::string why;
    ScreenInfo *info = harness::loadDriver(path, &why);
    if (!info) {
        error = "cannot load " + path + ": " + why;
        return false;
    }
    if (!info->Probe || !info->Init || !info->driverName) {
        error = path + " is not a driver: its " + record + " lacks Probe, Init or the name";
        return false;
    }
    return true;
}

std::vector<std::string> installedDrivers() {
    std::vector<std::string> names;
    DIR *d = opendir(driverDirectory().c_str());
    if (!d)
        return names;
    while (dirent *e = readdir(d)) {
        std::string f = e->d_name;
        if (f.size() > 6 && f.rfind("lib", 0) == 0 && f.compare(f.size() - 3, 3, ".so") == 0)
            names.push_back(f.substr(3, f.size() - 6));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> &stepNames() {
    return kSteps;
}

// The stand-in mirrors the whole screen in host memory before the driver
// sees the configuration, so absurd sizes are refused here rather than left
// to exhaust memory. Sizes a driver should refuse itself stay far below.
bool fitsTheStandIn(const graf::Config &cfg, std::string &error) {
    auto key = [&](const char *name) -> int64_t {
        auto it = cfg.ints.find(name);
        return it == cfg.ints.end() ? 0 : std::max(it->second, 0);
    };
    int64_t width = key("PIXWIDTH"), height = key("PIXHEIGHT");
    if (width * height <= kMaxScreenPixels)
        return true;
    error = "a " + std::to_string(width) + "x" + std::to_string(height) +
            " screen (PIXWIDTH x PIXHEIGHT) is more than the stand-in can hold";
    return false;
}

namespace {

std::string joined(const std::vector<std::string> &names, const std::string &last) {
    std::string s;
    for (size_t i = 0; i < names.size(); i++)
        s += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return s;
}

// A board the adapter models cannot be, or one for another driver's adapter,
// is bad input: the driver would run on plain memory, or meet registers it
// does not know, and fail in ways that say nothing about the board.
bool adapterFits(const std::string &driver, const graf::Config &cfg, std::string &error) {
    const std::vector<std::string> models = sim::adapterModels();
    if (std::find(models.begin(), models.end(), cfg.adapter) == models.end()) {
        error = (cfg.adapter.empty() ? std::string("names no adapter (a line \"adapter MODEL\")")
                                     : "no adapter model named \"" + cfg.adapter + "\"") +
                "; the known adapters: " + joined(models, ", ");
        return false;
    }
    const std::vector<std::string> own = adaptersOf(driver);
    if (own.empty() || std::find(own.begin(), own.end(), cfg.adapter) != own.end())
        return true;
    error = "a board for the " + cfg.adapter + " adapter; " + driver + " drives the " +
            joined(own, " or ") + (own.size() == 1 ? " adapter" : " adapters");
    return false;
}

int runDriverOrThrow(const RunOptions &opt, std::ostream &out, std::ostream &err) {
    std::string path, name, error;
    if (!resolveDriver(opt.driver, path, name, error) || !bindDriver(path, name, error)) {
        err << "drvrun: " << printable(error) << "\n";
        return kExitBadInput;
    }
    graf::Config cfg;
    std::string configName;
    // The report names a board other than the default by its full name.
    std::string label = opt.board.empty() ? name : name + "/" + opt.board;
    if (opt.configPath.empty()) {
        const drivertable::Board *board = boardFor(name, opt.board);
        if (!board) {
            err << "drvrun: "
                << printable(!tableError().empty() ? "the driver tables: " + tableError()
                             : opt.board.empty()
                                 ? name + " has no default board; give a configuration with "
                                          "--config FILE"
                                 : "no board " + label + " in the driver tables")
                << "\n";
            return kExitBadInput;
        }
        if (!loadBoardConfig(*board, cfg, error)) {
            err << "drvrun: " << printable(error) << "\n";
            return kExitBadInput;
        }
        configName = board->describe();
    } else {
        if (!loadConfigFile(opt.configPath, cfg, error)) {
            err << "drvrun: " << printable(error) << "\n";
            return kExitBadInput;
        }
        configName = opt.configPath;
    }
    if (!applySettings(opt.settings, cfg, error)) {
        err << "drvrun: " << printable(error) << "\n";
        return kExitBadInput;
    }
    for (const std::string &setting : opt.settings)
        configName += " " + setting;
    if (!adapterFits(name, cfg, error)) {
        err << "drvrun: " << printable(configName) << ": " << printable(error) << "\n";
        return kExitBadInput;
    }
    // Files the run will write are opened first, not after the whole scene.
    OutputFile png, trace;
    for (auto [file, path] : {std::pair{&png, &opt.pngPath}, {&trace, &opt.tracePath}})
        if (!path->empty() && !file->open(*path, error)) {
            err << "drvrun: " << error << "\n";
            return kExitBadInput;
        }
    if (!fitsTheStandIn(cfg, error)) {
        err << "drvrun: " << printable(configName) << ": " << error << "\n";
        return kExitBadInput;
    }
    Runner runner(opt, out, err, png, trace);
    return runner.run(path, label, cfg, configName);
}

} // namespace

int runDriver(const RunOptions &opt, std::ostream &out, std::ostream &err) {
    // The run catches what the stand-in throws; what is left (memory running
    // out while reading the configuration) still ends in one line.
    try {
        return runDriverOrThrow(opt, out, err);
    } catch (const std::exception &e) {
        std::string what =
            dynamic_cast<const std::bad_alloc *>(&e) ? "not enough memory" : e.what();
        err << "drvrun: " << printable(what) << "\n";
        return kExitBadInput;
    }
}

} // namespace drvrun
