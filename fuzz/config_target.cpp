// Fuzz target: a driver's example configuration with values taken from the
// input (sizes, depths, pitches, memory sizes and areas, keys dropped or
// added, procedures that fail or answer otherwise), through Probe and Init
// as the server calls them. Any configuration must either give a working screen (it draws as
// the reference renderer does and frees everything it took) or make the
// driver return 0 after saying why (ErrorF or FatalError). Nothing may
// crash, touch memory outside the simulated areas, or trip a device model.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_common.h"

namespace fuzzconfig {

namespace {

constexpr int kMaxEdits = 12;
// The stand-in mirrors the whole screen in host memory; larger screens than
// this are no configuration a board could hold anyway.
constexpr int64_t kMaxScreenPixels = int64_t{1} << 23;
constexpr uint32_t kMaxAreaLength = 0x1000000;

const std::vector<std::string> kIntKeys = {
    "PIXWIDTH",   "PIXHEIGHT",  "DEPTH",      "PITCH",      "MEMSIZE",    "PIXBYTES",
    "MON_WIDTH",  "MON_HEIGHT", "WINDOWADDR", "CURSORADDR", "FUZZ_EXTRA", "PIXELSIZE",
    "MEM_OFFSET", "RAMDAC",     "CLOCK_TYPE", "PIXCLOCK",   "OEM",
    // libquarn: its cursor switch and timing overrides
    "HWCURSOR", "PixelClk", "HVisible", "HFrontPorch", "HSync", "HBackPorch", "VVisible",
    "VFrontPorch", "VSync", "VBackPorch", "InterlaceEnable", "HSyncPol", "VSyncPol"};

// String keys a driver chooses by (the frame buffer's form, the board's
// class), and values for them: the exact ones, near misses and none.
const std::vector<std::string> kStringKeys = {"FBTYPE", "CLASS"};
const std::vector<std::string> kStringValues = {"BANK", "bank", "", "x", "LINEAR", "BANK "};

const std::vector<int> kValues = {
    0,       -1,       1,        2,        4,        7,        8,        15,      16,      24,
    32,      64,       320,      480,      600,      640,      768,      800,     1023,    1024,
    1152,    1280,     1600,     1920,     2048,     2400,     4096,     0x8000,  0xA0000, 0xC0000,
    0xFC000, 0x100000, 0x180000, 0x200000, 0x3FFFFF, 0x400000, 0x800000, INT_MAX, INT_MIN, -1024};

int value(fuzz::Input &in) {
    switch (in.range(0, 3)) {
    case 0:
        return static_cast<int>(in.u32());
    case 1:
        return in.range(-4, 4100);
    default:
        return in.pick(kValues);
    }
}

int intKey(const graf::Config &cfg, const char *name) {
    auto it = cfg.ints.find(name);
    return it == cfg.ints.end() ? 0 : it->second;
}

// An answer for a procedure: anything, or near what the drivers ask the
// configuration about (video memory in 64 KB units, the bytes of a row).
int answer(fuzz::Input &in, const graf::Config &cfg) {
    switch (in.range(0, 3)) {
    case 0:
        return value(in);
    case 1: {
        static const std::vector<int> units = {0,  1,  2,  4,  8,  15,   16,    24,
                                               31, 32, 33, 63, 64, 0xFF, 0x100, 0x7FFF};
        return in.flag() ? in.pick(units) : (intKey(cfg, "MEMSIZE") >> 16) + in.range(-2, 2);
    }
    case 2: {
        int64_t row = int64_t{intKey(cfg, "PIXWIDTH")} * ((int64_t{intKey(cfg, "DEPTH")} + 1) / 8);
        static const std::vector<int> deltas = {-8, -4, -3, -2, -1, 1, 2, 3, 4, 7, 8, 64, 1024};
        int64_t v = in.flag() ? row + in.pick(deltas) : row * in.range(0, 4);
        return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
    }
    default:
        return in.range(-8, 8);
    }
}

// Procedures a driver reads the answer of.
const std::vector<std::string> kAsked = {"InstalledMemory", "GetScreenPitch"};
// Where a procedure that answers otherwise keeps its own code.
const std::string kOwnCode = "FuzzOwnCode";

// Procedures named in FUZZ_KEEP_PROCEDURES (comma-separated) are never made
// to fail, removed or made to answer otherwise: the edit is passed over, so
// a run can look past a known fault without changing what any input means.
bool kept(const std::string &name) {
    static const std::string list = [] {
        const char *env = std::getenv("FUZZ_KEEP_PROCEDURES");
        return env ? "," + std::string(env) + "," : std::string();
    }();
    return list.find("," + name + ",") != std::string::npos;
}

// `name` runs as before (so does whatever it programs), then answers `v`.
// The memory size is never more than the board has (MEMSIZE, in the 64 KB
// units the configurations count in): a larger answer describes another
// board, one the driver cannot tell from this one.
void answerWith(graf::Config &cfg, const std::string &name, int v) {
    std::string own = kOwnCode + name;
    if (!cfg.procedures.count(own))
        cfg.procedures[own] = cfg.procedures[name];
    // The same parameters, so that the driver's arguments still fit.
    int count = graf::parameterCount(graf::makeHandle(cfg), own);
    std::string params;
    for (int i = 1; i <= count; i++)
        params += (i > 1 ? ", p" : "p") + std::to_string(i);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(v));
    std::string text = "procedure " + name + (count > 0 ? "(" + params + ")" : "") +
                       " {\n    r = call " + own + (count > 0 ? " " + params : "") +
                       "\n    result = " + hex + "\n";
    if (name == "InstalledMemory")
        text += "    if result < 0 || result > ($MEMSIZE >> 16) {\n"
                "        result = $MEMSIZE >> 16\n"
                "    }\n";
    text += "}\n";
    graf::Config parsed;
    std::string error;
    if (!graf::parse(text, cfg.source, parsed, error))
        throw std::logic_error(error);
    cfg.procedures[name] = parsed.procedures.at(name);
}

// One change to the configuration; `log` says what it was.
void edit(fuzz::Input &in, graf::Config &cfg, std::vector<std::string> &failing, std::string &log) {
    switch (in.range(0, 9)) {
    case 0:
    case 1:
    case 2: {
        const std::string &key = in.pick(kIntKeys);
        cfg.ints[key] = value(in);
        log += " " + key + "=" + std::to_string(cfg.ints[key]);
        break;
    }
    case 3: {
        const std::string &key = in.pick(kIntKeys);
        cfg.ints.erase(key);
        log += " -" + key;
        break;
    }
    case 4: // a procedure that exists but does not run
        if (!cfg.procedures.empty()) {
            auto it = cfg.procedures.begin();
            std::advance(it, in.range(0, static_cast<int>(cfg.procedures.size()) - 1));
            if (kept(it->first)) {
                log += " " + it->first + ":kept";
                break;
            }
            failing.push_back(it->first);
            log += " " + it->first + ":fails";
        }
        break;
    case 5: // a procedure that is not there
        if (!cfg.procedures.empty()) {
            auto it = cfg.procedures.begin();
            std::advance(it, in.range(0, static_cast<int>(cfg.procedures.size()) - 1));
            if (kept(it->first)) {
                log += " " + it->first + ":kept";
                break;
            }
            log += " -" + it->first;
            cfg.procedures.erase(it);
        }
        break;
    case 6: // a memory area of another size or place, or none
        if (!cfg.areas.empty()) {
            size_t i = static_cast<size_t>(in.range(0, static_cast<int>(cfg.areas.size()) - 1));
            int how = in.range(0, 3);
            std::string name = cfg.areas[i].name.empty() ? "MEMORY" : cfg.areas[i].name;
            if (how == 0)
                cfg.areas.erase(cfg.areas.begin() + static_cast<long>(i));
            else if (how == 1)
                cfg.areas[i].length = static_cast<uint32_t>(in.range(0, 1 << 24) & ~0xFFF);
            else if (how == 2)
                cfg.areas[i].length = static_cast<uint32_t>(in.pick(kValues)) % kMaxAreaLength;
            else
                cfg.areas[i].physBase = in.u32() & ~0xFFFu;
            log += how == 0 ? " -" + name
                            : " " + name + "@" + std::to_string(cfg.areas[i].physBase) + "+" +
                                  std::to_string(cfg.areas[i].length);
        }
        break;
    case 7: { // keys of other types under known names
        const std::string &key = in.pick(kIntKeys);
        if (key == "FUZZ_EXTRA") {
            // In its place, the string and flag keys that choose how a
            // screen is drawn: set, changed or dropped.
            switch (in.range(0, 4)) {
            case 0:
                cfg.strings["GLYPH_CACHE"] = in.flag() ? "YES" : "NO";
                log += " GLYPH_CACHE=" + cfg.strings["GLYPH_CACHE"];
                break;
            case 1:
                cfg.strings.erase("GLYPH_CACHE");
                log += " -GLYPH_CACHE";
                break;
            case 2:
                if (std::find(cfg.flags.begin(), cfg.flags.end(), "USEDFB") == cfg.flags.end())
                    cfg.flags.push_back("USEDFB");
                log += " USEDFB";
                break;
            case 3:
                cfg.flags.erase(std::remove(cfg.flags.begin(), cfg.flags.end(), "USEDFB"),
                                cfg.flags.end());
                log += " -USEDFB";
                break;
            default:
                cfg.strings["FBTYPE"] = in.flag() ? "BANK" : "FLAT";
                log += " FBTYPE=" + cfg.strings["FBTYPE"];
                break;
            }
            break;
        }
        if (in.flag())
            cfg.strings[key] = "x";
        else
            cfg.flags.push_back(key);
        log += " " + key + ":other-type";
        break;
    }
    case 9: { // a string key changed or dropped
        const std::string &key = in.pick(kStringKeys);
        if (in.flag()) {
            cfg.strings.erase(key);
            log += " -" + key;
        } else {
            cfg.strings[key] = in.pick(kStringValues);
            log += " " + key + "=\"" + cfg.strings[key] + "\"";
        }
        break;
    }
    default: { // a procedure that runs but answers otherwise
        std::vector<std::string> asked, any;
        for (const auto &[name, code] : cfg.procedures) {
            if (name.rfind(kOwnCode, 0) == 0)
                continue;
            any.push_back(name);
            if (std::find(kAsked.begin(), kAsked.end(), name) != kAsked.end())
                asked.push_back(name);
        }
        if (any.empty())
            break;
        std::string name = !asked.empty() && in.range(0, 3) > 0 ? in.pick(asked) : in.pick(any);
        int v = answer(in, cfg);
        if (kept(name)) {
            log += " " + name + ":kept";
            break;
        }
        answerWith(cfg, name, v);
        log += " " + name + ":answers=" + std::to_string(v);
        break;
    }
    }
}

// The pilo board's geometry keys stand for what the mode leaves, and the
// pilo mode follows the memory and the depth (the driver's fixed layouts):
// once those are edited the keys follow them, or the board would be one that
// no mode makes and no driver can tell from the one it was told of.
void piloGeometry(graf::Config &cfg) {
    if (cfg.adapter != "s3_pilo")
        return;
    auto key = [&](const char *name, int fallback) {
        auto it = cfg.ints.find(name);
        return it == cfg.ints.end() ? fallback : it->second;
    };
    const int memory = key("MEMSIZE", 0x100000), depth = key("DEPTH", 0);
    const int width = key("PIXWIDTH", 0);
    int line = 1024, bits = 8, halves = 0;
    if (depth == 16) {
        if (memory == 0x80000)
            return; // no layout: the driver refuses it
        line = 2048;
        halves = 1;
    } else if (depth == 4) {
        line = memory == 0x80000 ? 1024 : 2048;
        bits = 4;
    } else if (depth == 8) {
        line = memory == 0x200000 && width > 1024 ? 1280 : 1024;
    } else {
        return; // the driver refuses the depth
    }
    cfg.ints["ENGINELINE"] = line;
    cfg.ints["ENGINEBITS"] = bits;
    cfg.ints["BYTEHALVES"] = halves;
}

bool screenTooLarge(const graf::Config &cfg) {
    auto key = [&](const char *name) -> int64_t {
        auto it = cfg.ints.find(name);
        return it == cfg.ints.end() ? 0 : std::max(it->second, 0);
    };
    int64_t w = key("PIXWIDTH"), h = key("PIXHEIGHT");
    return w * h > kMaxScreenPixels || w > 0x7FFF || h > 0x7FFF;
}

// A configuration's own procedure stopping on a runtime error (an absent
// key it reads, say) is the configuration's fault, not the driver's: the
// procedure counts as not run and the driver must cope with that.
bool procedureError(const graf::Config &cfg, const std::string &m) {
    return m.rfind(cfg.source + ":", 0) == 0 && m.find(": procedure ") != std::string::npos;
}

// A small drawing check on a screen that came up: the corners and edges,
// where a screen that does not fit its memory shows it. Pixels are compared
// when the stand-in knows where the screen lies (the sizing keys are the
// example's own); otherwise the device models still catch every access
// outside video memory.
void draw(harness::Screen &s, fuzz::Input &in, bool comparePixels,
          std::vector<std::string> &failures) {
    int w = s.width(), h = s.height();
    if (w <= 0 || h <= 0)
        return; // nothing to draw on
    comparePixels = comparePixels && s.screenMemory();
    if (comparePixels)
        s.fillRandom(in.u32());
    // The first fill after start-up, sometimes in all ones (a colour a driver
    // may take for its own "nothing loaded yet" mark).
    uint32_t fg = in.range(0, 7) == 0 ? ~0u : in.u32() & s.allPlanes();
    GCPtr gc = s.createGC({.alu = in.range(0, 15), .fg = fg});
    if (!gc)
        return;
    auto cx = [&](int v) { return static_cast<int16_t>(std::clamp(v, 0, w)); };
    auto cy = [&](int v) { return static_cast<int16_t>(std::clamp(v, 0, h)); };
    s.fillRects(gc, {{0, 0, cx(w), cy(1)},
                     {cx(w - 33), cy(h - 17), cx(w), cy(h)},
                     {cx(w / 3), cy(h / 3), cx(w / 2), cy(h / 2)}});
    int cw = std::min(40, w), ch = std::min(8, h);
    s.copyRect({0, cy(h - ch), cx(cw), cy(h)}, {cx(w - cw), 0});
    s.drawPoints({{static_cast<int16_t>(w - 1), static_cast<int16_t>(h - 1)}},
                 in.u32() & s.allPlanes());
    if (!comparePixels)
        return;
    ref::Diff d = s.expectSame();
    if (d.count > 0)
        failures.push_back("drawing on the new screen differs: " + d.describe());
}

} // namespace

namespace {

std::vector<std::string> check(const fuzz::Setup &setup, fuzz::Input &in, std::string &context) {
    std::vector<std::string> failures;
    if (fuzz::skipped(setup))
        return failures;
    graf::Config cfg = fuzz::configFor(setup);
    std::vector<std::string> failing;
    std::string log;
    for (int n = in.range(0, kMaxEdits); n > 0; n--)
        edit(in, cfg, failing, log);
    piloGeometry(cfg);
    graf::Config example = fuzz::configFor(setup);
    bool sizesAsExample = true;
    for (const char *key : {"PIXWIDTH", "PIXHEIGHT", "DEPTH", "PITCH", "PIXBYTES"})
        sizesAsExample = sizesAsExample && cfg.ints.count(key) == example.ints.count(key) &&
                         (!cfg.ints.count(key) || cfg.ints.at(key) == example.ints.at(key));
    context = setup.id + " (" + setup.board->describe() + ")" + (log.empty() ? "" : " with" + log);
    if (std::getenv("FUZZ_VERBOSE"))
        std::fprintf(stderr, "config: %s\n", context.c_str());
    if (screenTooLarge(cfg))
        return failures;

    std::vector<std::string> reported;
    // Each input on a server of its own (its screen-private indices would
    // pile up otherwise).
    fuzz::freshServer();
    uint64_t serial = server::allocationCount();
    server::clearErrorMessages();
    std::unique_ptr<harness::Screen> screen;
    try {
        screen = std::make_unique<harness::Screen>(
            setup.driver, cfg,
            harness::Options{.reporter = [&](const std::string &m) { reported.push_back(m); },
                             .serverArgs = setup.serverArgs});
    } catch (const std::invalid_argument &) {
        // The adapter models refuse boards that were never made (a memory
        // size the chip cannot have, an aperture it does not decode): no
        // driver meets those.
        sim::Machine::current().setFailureHandler(nullptr);
        graf::releaseAll();
        return failures;
    }
    harness::Screen &s = *screen;
    // Nothing reads the access trace here, and no input depends on how long
    // a wait for the display takes.
    s.machine().setTracing(false);
    s.machine().setTimeMayJump(true);
    for (const std::string &p : failing)
        graf::setProcedureFails(s.grafinfo(), p, true);
    auto collect = [&] {
        for (const std::string &m : reported)
            if (!procedureError(cfg, m))
                failures.push_back(m);
        reported.clear();
    };
    collect(); // what building the adapter for this configuration said

    bool probed = s.probe();
    collect();
    if (!probed || !failures.empty())
        return failures;
    bool up = s.init();
    collect();
    if (!up) {
        // Refusing is fine; refusing without a word is not.
        if (server::errorMessages().empty() && s.fatalMessage().empty() && failures.empty())
            failures.push_back(setup.driver + " Init returned 0 without a message");
        return failures;
    }
    s.createRoot();
    collect();
    if (failures.empty() && s.winOps())
        draw(s, in, sizesAsExample, failures);
    collect();
    // The server ends: the console gets the display back before the close,
    // so a driver that keeps the adapter's mode in process-wide state sets
    // it again on the next input's hardware.
    s.setText();
    collect();
    s.freeScreen();
    collect();
    std::vector<server::Block> left = fuzz::blocksSince(serial);
    if (!left.empty())
        failures.push_back(std::to_string(left.size()) +
                           " allocated block(s) still held after FreeScreen");
    return failures;
}

} // namespace

std::vector<std::string> run(const uint8_t *data, size_t size) {
    fuzz::Input in(data, size);
    std::string error;
    const fuzz::Setup *setup = fuzz::openInput(data, size, in, error);
    if (!setup)
        return error.empty() ? std::vector<std::string>{} : std::vector<std::string>{error};
    std::string context;
    std::vector<std::string> failures = check(*setup, in, context);
    for (std::string &f : failures)
        f = context + ": " + f;
    return failures;
}

} // namespace fuzzconfig

DRV_FUZZ_TARGET("config", fuzzconfig::run)

#ifdef DRV_FUZZ_ENTRY
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

// libFuzzer's mutations of the decisions; seven in eight inputs keep their
// setup, the others take any; a family that has had its share of the time
// gives way to the one that has had least (fuzz::Shares).
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned seed) {
    auto choose = [](const fuzz::Setup *own, unsigned s) -> const fuzz::Setup & {
        const std::vector<fuzz::Setup> &all = fuzz::setups();
        return fuzz::shares().next(own && s % 8 != 0 ? *own : all[(s >> 3) % all.size()]);
    };
    return fuzz::mutateDecisions(data, size, maxSize, seed, choose, LLVMFuzzerMutate);
}
#endif
