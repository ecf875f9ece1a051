// The test harness: see harness.h.
#include "harness.h"

#include "pcibus.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

namespace harness {

namespace {

Reporter &defaultReporter() {
    static Reporter r = [](const std::string &m) { std::fprintf(stderr, "%s\n", m.c_str()); };
    return r;
}

int intKey(const graf::Config &cfg, const std::string &name, int fallback) {
    auto it = cfg.ints.find(name);
    return it == cfg.ints.end() ? fallback : it->second;
}

// The largest screen the harness keeps a reference picture of.
constexpr int64_t kMaxMirrorBytes = int64_t{1} << 28;

// The server's bits per pixel for a screen: what the configuration says
// (BITSPERPIXEL, for boards that hold depth 24 in 32-bit pixels), else the
// nearest size that holds the depth.
int bitsPerPixelFor(const graf::Config &cfg, int depth) {
    int named = intKey(cfg, "BITSPERPIXEL", 0);
    if (named == 8 || named == 16 || named == 24 || named == 32)
        return named;
    if (depth <= 8)
        return 8;
    if (depth <= 16)
        return 16;
    return depth <= 24 ? 24 : 32;
}

const graf::MemoryArea *defaultArea(const graf::Config &cfg) {
    for (const graf::MemoryArea &a : cfg.areas)
        if (a.name.empty())
            return &a;
    return nullptr;
}

uint32_t loadPixel(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

void storePixel(uint8_t *p, int n, uint32_t v) {
    for (int i = 0; i < n; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int boxWidth(const BoxRec &b) {
    return std::max(0, b.x2 - b.x1);
}
int boxHeight(const BoxRec &b) {
    return std::max(0, b.y2 - b.y1);
}

} // namespace

void setDefaultReporter(Reporter r) {
    defaultReporter() = std::move(r);
}

// ======================= drivers and configurations =======================

std::string driverPath(const std::string &nameOrPath) {
    if (nameOrPath.find('/') != std::string::npos)
        return nameOrPath;
    return std::string(DRV_LIB_DIR) + "/lib" + nameOrPath + ".so";
}

namespace {

// A driver library loaded in this test case.
struct LoadedDriver {
    void *handle = nullptr;
    ScreenInfo *info = nullptr;
};

std::map<std::string, LoadedDriver> &loadedDrivers() {
    static std::map<std::string, LoadedDriver> loaded;
    return loaded;
}

int screensMade = 0; // in this case
int screensOpen = 0; // Screen objects alive now

// A file of the process's own holding the bytes of `path`. The dynamic
// loader knows a library by its file, so a copy loads anew, with fresh
// static data, even while the original is still mapped. The caller removes
// it (removeCopy) once loaded: the mapping stays, and nothing is left behind
// by a process that ends abruptly.
std::string privateCopy(const std::string &path, std::string *error) {
    static int serial = 0;
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/drvcopy." +
                      std::to_string(getpid()) + "." + std::to_string(serial++);
    std::string copy = dir + path.substr(path.rfind('/'));
    std::ifstream in(path, std::ios::binary);
    if (mkdir(dir.c_str(), 0700) != 0 || !in) {
        if (error)
            *error = "cannot copy " + path + " to " + dir;
        return {};
    }
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
    out.close();
    if (!out) {
        if (error)
            *error = "cannot write " + copy;
        std::remove(copy.c_str());
        rmdir(dir.c_str());
        return {};
    }
    return copy;
}

void removeCopy(const std::string &copy) {
    if (copy.empty())
        return;
    std::remove(copy.c_str());
    rmdir(copy.substr(0, copy.rfind('/')).c_str());
}

} // namespace

ScreenInfo *loadDriver(const std::string &nameOrPath, std::string *error) {
    auto &loaded = loadedDrivers();
    const std::string path = driverPath(nameOrPath);
    if (auto it = loaded.find(path); it != loaded.end())
        return it->second.info;
    std::string base = path.substr(path.rfind('/') + 1);
    if (base.rfind("lib", 0) == 0)
        base = base.substr(3);
    if (size_t dot = base.find('.'); dot != std::string::npos)
        base = base.substr(0, dot);
    // A library an earlier case loaded and that stayed mapped would bring
    // that case's static state along: load a copy of it instead.
    std::string copy;
    if (void *stale = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(stale);
        copy = privateCopy(path, error);
        if (copy.empty())
            return nullptr;
    }
    // The library stays loaded to the end of the case: drivers keep static
    // state across generations.
    LoadedDriver d;
    d.handle = dlopen(copy.empty() ? path.c_str() : copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    removeCopy(copy);
    if (!d.handle) {
        if (error)
            *error = dlerror();
        return nullptr;
    }
    d.info = static_cast<ScreenInfo *>(dlsym(d.handle, (base + "ScreenInfo").c_str()));
    if (!d.info) {
        if (error)
            *error = path + " exports no " + base + "ScreenInfo";
        dlclose(d.handle);
        return nullptr;
    }
    loaded[path] = d;
    return d.info;
}

namespace {

void restartEverything() {
    graf::releaseAll();
    graf::clearRunLog();
    server::restart();
    sim::Machine::reset();
    screensOpen = 0;
    screensMade = 0;
}

} // namespace

void restartServer() {
    // The drivers stay loaded and remember the generation they last started
    // in: the new server's generation goes past every one they have seen, so
    // none takes a private index of an earlier server for its own.
    uint32_t seen = serverGeneration;
    restartEverything();
    while (serverGeneration <= seen)
        server::resetGeneration();
}

void beginCase() {
    // The server first: what it holds may point into the drivers. The
    // drivers are unloaded, so the server starts at generation 1.
    restartEverything();
    for (auto &[path, d] : loadedDrivers())
        dlclose(d.handle);
    loadedDrivers().clear();
    // Descriptors the unloaded drivers kept for the whole process.
    sim::closePciDescriptors();
}

graf::Config loadConfig(const std::string &path) {
    std::string full = path;
    if (!path.empty() && path[0] != '/')
        full = std::string(DRV_SOURCE_DIR) + "/" + path;
    graf::Config cfg;
    std::string error;
    if (!graf::load(full, cfg, error))
        throw std::runtime_error(error);
    return cfg;
}

// ======================= fonts and cursors =======================

std::unique_ptr<Font> Font::random(int width, int height, int count, uint32_t seed) {
    auto f = std::make_unique<Font>();
    f->width = width;
    f->height = height;
    f->count = count;
    f->stride = (width + 7) / 8;
    std::mt19937 rng(seed);
    f->bitmaps.resize(static_cast<size_t>(count));
    for (auto &bm : f->bitmaps) {
        bm.assign(static_cast<size_t>(f->stride) * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                if (rng() & 1)
                    bm[static_cast<size_t>(y * f->stride + x / 8)] |=
                        static_cast<uint8_t>(1 << (x % 8));
        f->glyphs.push_back(bm.data());
    }
    f->info = {1, f->glyphs.data(), count, width, height, f->stride};
    f->font = server::createFont(&f->info);
    return f;
}

std::unique_ptr<Font> Font::padded(int width, int height, int stride, int count, uint32_t seed) {
    auto f = std::make_unique<Font>();
    f->width = width;
    f->height = height;
    f->stride = stride;
    f->count = count;
    std::mt19937 rng(seed);
    f->bitmaps.resize(static_cast<size_t>(count));
    for (auto &bm : f->bitmaps) {
        bm.resize(static_cast<size_t>(stride) * static_cast<size_t>(height));
        for (uint8_t &v : bm)
            v = static_cast<uint8_t>(rng());
        f->glyphs.push_back(bm.data());
    }
    f->info = {1, f->glyphs.data(), count, width, height, stride};
    f->font = server::createFont(&f->info);
    return f;
}

std::string textRun(int count, int first) {
    std::string t;
    for (int i = 0; i < count; i++)
        t.push_back(static_cast<char>(static_cast<uint8_t>(first + i * 37)));
    return t;
}

Font::~Font() {
    if (font)
        server::destroyFont(font);
}

std::unique_ptr<Cursor> makeCursor(const std::vector<std::string> &rows, int xhot, int yhot,
                                   uint16_t fgRed, uint16_t fgGreen, uint16_t fgBlue,
                                   uint16_t bgRed, uint16_t bgGreen, uint16_t bgBlue) {
    auto c = std::make_unique<Cursor>();
    int w = 0;
    for (const std::string &r : rows)
        w = std::max(w, static_cast<int>(r.size()));
    int h = static_cast<int>(rows.size());
    c->stride = PixmapBytePad(w, 1);
    c->source.assign(static_cast<size_t>(c->stride) * static_cast<size_t>(h) + 1, 0);
    c->mask.assign(c->source.size(), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < static_cast<int>(rows[static_cast<size_t>(y)].size()); x++) {
            char ch = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
            size_t at = static_cast<size_t>(y * c->stride + x / 8);
            uint8_t bit = static_cast<uint8_t>(1 << (x % 8));
            if (ch == 'B' || ch == 'F' || ch == 'X')
                c->mask[at] |= bit;
            if (ch == 'F' || ch == 'X')
                c->source[at] |= bit;
        }
    c->bits.source = c->source.data();
    c->bits.mask = c->mask.data();
    c->bits.width = static_cast<uint16_t>(w);
    c->bits.height = static_cast<uint16_t>(h);
    c->bits.xhot = static_cast<uint16_t>(xhot);
    c->bits.yhot = static_cast<uint16_t>(yhot);
    c->bits.refcnt = 1;
    c->rec.bits = &c->bits;
    c->rec.foreRed = fgRed;
    c->rec.foreGreen = fgGreen;
    c->rec.foreBlue = fgBlue;
    c->rec.backRed = bgRed;
    c->rec.backGreen = bgGreen;
    c->rec.backBlue = bgBlue;
    c->rec.refcnt = 1;
    return c;
}

// ======================= the screen: life cycle =======================

Screen::Screen(const std::string &driver, const graf::Config &config, Options options)
    : driver_(driver), options_(std::move(options)) {
    // Drivers stay loaded with their static state, as in a server that goes
    // on running: so a screen made when the case's earlier ones are gone
    // starts a new server generation. Screens alive together are the
    // screens of one generation.
    num_ = options_.screenNumber;
    if (num_ < 0 || num_ >= MAXSCREENS)
        throw std::invalid_argument("screen number " + std::to_string(num_) + " out of range");
    if (screensMade++ > 0 && screensOpen == 0)
        server::resetGeneration();
    screensOpen++;
    if (options_.joinMachineOf)
        machine_ = options_.joinMachineOf->machine_;
    else
        machine_ = sim::Machine::make();
    activate();
    sim::Machine &m = *machine_;
    if (!options_.joinMachineOf)
        m.setFailureHandler([this](const std::string &msg) { report(msg); });

    std::string error;
    info_ = loadDriver(driver, &error);
    if (!info_)
        report("cannot load driver " + driver + ": " + error);

    GrafinfoHandle handle = graf::makeHandle(config);
    graf::Config &cfg = graf::configOf(handle);
    try {
        if (!cfg.adapter.empty()) {
            adapter_ = sim::makeAdapter(cfg, m);
            if (!adapter_)
                report("no adapter model named \"" + cfg.adapter +
                       "\"; its areas are plain memory");
        }
        sim::mapPlainAreas(cfg, m);
    } catch (const std::exception &e) {
        // A board that cannot exist as described (memory sizes or areas the
        // model refuses, or more than this machine can map): no screen.
        adapter_.reset();
        graf::release(handle);
        screensOpen--;
        throw std::invalid_argument(std::string("the simulated machine cannot be built: ") +
                                    e.what());
    }

    int depth = options_.depth ? options_.depth : intKey(cfg, "DEPTH", 8);
    // The server's record holds the depth in a byte; the mirror takes the
    // same value, whatever the DEPTH key said.
    depth = static_cast<uint8_t>(depth);
    int bpp = options_.bitsPerPixel ? options_.bitsPerPixel : bitsPerPixelFor(cfg, depth);
    config_.depth = static_cast<uint8_t>(depth);
    config_.bitsPerPixel = static_cast<uint8_t>(bpp);
    config_.scanlinePad = static_cast<uint8_t>(options_.scanlinePad);
    config_.grafinfo = handle;

    width_ = intKey(cfg, "PIXWIDTH", 0);
    height_ = intKey(cfg, "PIXHEIGHT", 0);
    bytesPerPixel_ = std::max(1, bpp / 8);
    // Any width a configuration names, without overflow: a pitch out of
    // range only makes screenMemory() find no screen.
    int64_t rowBytes = int64_t{width_} * bytesPerPixel_;
    pitch_ = options_.pitch
                 ? options_.pitch
                 : intKey(cfg, "PITCH",
                          static_cast<int>(std::clamp<int64_t>(rowBytes, INT32_MIN, INT32_MAX)));

    server::setActiveScreen(num_, &config_);
    newScreenRec();
}

Screen::~Screen() {
    dropScreenRecords();
    for (PixmapPtr p : pixmaps_)
        server::destroyPixmap(p);
    server::setActiveScreen(num_, nullptr);
    adapter_.reset();
    graf::release(config_.grafinfo);
    machine_.reset();
    screensOpen--;
}

void Screen::activate() const {
    sim::Machine::makeCurrent(machine_.get());
}

void Screen::report(const std::string &message) {
    failures_.push_back(message);
    const Reporter &r = options_.reporter ? options_.reporter : defaultReporter();
    if (r)
        r(message);
}

bool Screen::call(const std::string &what, const std::function<void()> &f) {
    activate();
    bool done = false;
    try {
        f();
        done = true;
    } catch (const server::FatalErrorCalled &e) {
        fatalMessage_ = e.message;
        report(driver_ + " " + what + ": FatalError: " + e.message);
    } catch (const sim::Abort &e) {
        abortMessage_ = e.what();
        report(driver_ + " " + what + ": aborted: " + e.what());
    }
    // The machine reports what its fault handler caught at its next entry;
    // the call's last plain accesses are the call's, so they are reported now.
    machine_->failures();
    return done;
}

bool Screen::driverReady(const char *what) const {
    activate();
    if (info_ && screen_)
        return true;
    const_cast<Screen *>(this)->report(std::string(what) + ": no driver or no screen");
    return false;
}

void Screen::newScreenRec() {
    screen_ = server::createScreen(num_);
}

void Screen::dropWindowsAndGCs() {
    for (GCPtr gc : gcs_)
        server::destroyGC(gc);
    gcs_.clear();
    for (WindowPtr w : windows_)
        server::destroyWindow(w);
    windows_.clear();
    if (root_) {
        if (WindowTable[num_] == root_)
            WindowTable[num_] = nullptr;
        server::destroyWindow(root_);
    }
    root_ = nullptr;
}

void Screen::dropScreenRecords() {
    dropWindowsAndGCs();
    if (screen_)
        server::destroyScreen(screen_);
    screen_ = nullptr;
}

Bool Screen::probe() {
    if (!driverReady("Probe"))
        return 0;
    Bool r = 0;
    call("Probe", [&] { r = info_->Probe(num_, &config_); });
    return r;
}

Bool Screen::init() {
    if (!driverReady("Init"))
        return 0;
    // The words live in copies of their own: a driver may keep pointers to
    // them, and the server's argv is writable.
    std::vector<std::string> words = {"X"};
    words.insert(words.end(), options_.serverArgs.begin(), options_.serverArgs.end());
    std::vector<std::vector<char>> storage;
    std::vector<char *> argv;
    for (const std::string &w : words) {
        storage.emplace_back(w.begin(), w.end());
        storage.back().push_back('\0');
    }
    for (std::vector<char> &w : storage)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Bool r = 0;
    fatalMessage_.clear();
    abortMessage_.clear();
    try {
        r = info_->Init(num_, screen_, static_cast<int>(words.size()), argv.data());
    } catch (const server::FatalErrorCalled &e) {
        // An expected way for Init to end: the test reads fatalMessage().
        fatalMessage_ = e.message;
        r = 0;
    } catch (const sim::Abort &e) {
        abortMessage_ = e.what();
        report(driver_ + " Init: aborted: " + e.what());
        r = 0;
    }
    if (r && !nfb()) {
        report(driver_ + " Init returned 1 without nfbScreenInit");
        r = 0;
    }
    if (r) {
        open_ = true;
        width_ = screen_->width;
        height_ = screen_->height;
        // A screen of negative size has nothing to mirror; say so rather
        // than fail building the mirror.
        if (width_ < 0 || height_ < 0) {
            report(driver_ + " Init returned 1 for a " + std::to_string(width_) + "x" +
                   std::to_string(height_) + " screen");
            width_ = height_ = 0;
        }
        if (int64_t{width_} * height_ * bytesPerPixel_ > kMaxMirrorBytes) {
            report(driver_ + " Init returned 1 for a " + std::to_string(width_) + "x" +
                   std::to_string(height_) + " screen, larger than the harness mirrors");
            width_ = height_ = 0;
            r = 0;
        }
        adoptDisplayPitch();
        resizeMirror();
    }
    return r;
}

bool Screen::start() {
    if (!probe())
        return false;
    if (!init())
        return false;
    createRoot();
    syncMirror();
    return winOps() != nullptr;
}

void Screen::createRoot() {
    if (!driverReady("createRoot"))
        return;
    if (root_)
        server::destroyWindow(root_);
    root_ =
        server::createWindow(screen_, 0, 0, width_, height_, config_.depth, config_.bitsPerPixel);
    WindowTable[screen_->myNum] = root_;
    if (nfb() && nfb()->ValidateWindowPriv)
        call("ValidateWindowPriv", [&] { nfb()->ValidateWindowPriv(root_); });
    // Without the hook the server's own frame-buffer code draws the screen.
    if (!winOps() && nfb() && nfb()->ValidateWindowPriv)
        report(driver_ + ": ValidateWindowPriv gave the root window no WinOps");
}

void Screen::tellRootClip() {
    // The root window's clip is the visible screen: a driver that keeps its
    // hardware clip from it must open it again to draw off the screen.
    if (winOps() && winOps()->SetClipRegions)
        setClipRegions({{0, 0, static_cast<int16_t>(width_), static_cast<int16_t>(height_)}});
}

void Screen::freeScreen() {
    // As at a server reset: GCs and windows go first (a driver that wraps
    // DestroyGC still has its private then), the screen last.
    dropWindowsAndGCs();
    if (open_ && sysInfo() && sysInfo()->FreeScreen)
        call("FreeScreen", [&] { sysInfo()->FreeScreen(num_, screen_); });
    else if (open_)
        report(driver_ + ": no SysInfo FreeScreen to call");
    open_ = false;
    dropScreenRecords();
}

bool Screen::nextGeneration() {
    if (open_)
        freeScreen();
    else
        dropScreenRecords();
    server::resetGeneration();
    newScreenRec();
    if (!init())
        return false;
    createRoot();
    syncMirror();
    return winOps() != nullptr;
}

// ======================= the screen: state =======================

WinOps *Screen::winOps() const {
    if (!root_)
        return nullptr;
    nfbWindowPrivate *wp = NFB_WINDOW_PRIV(root_);
    return wp ? wp->ops : nullptr;
}

server::ScreenState &Screen::registered() const {
    return server::screenState(screen_ ? screen_->myNum : 0);
}

bool Screen::zeroSegsForm() const {
    return (registered().optionFlags & NFB_OPT_ZEROSEGS) != 0;
}

std::string Screen::failureText() const {
    std::string out;
    for (const std::string &f : failures_)
        out += "failure: " + f + "\n";
    for (const std::string &e : server::errorMessages())
        out += "ErrorF: " + e;
    if (!fatalMessage_.empty())
        out += "FatalError: " + fatalMessage_;
    return out;
}

uint32_t Screen::allPlanes() const {
    return config_.depth >= 32 ? ~0u : (1u << config_.depth) - 1;
}

// ======================= GCs =======================

namespace {
void applySpec(GCPtr gc, const GCSpec &s) {
    gc->fillStyle = static_cast<uint32_t>(s.fillStyle) & 3;
    gc->alu = static_cast<uint8_t>(s.alu);
    gc->planemask = s.planemask;
    gc->fgPixel = s.fg;
    gc->bgPixel = s.bg;
    gc->tile = s.tile;
    gc->stipple = s.stipple;
    gc->patOrg = s.patOrg;
}
} // namespace

void applyGCSpec(GCPtr gc, const GCSpec &values) {
    applySpec(gc, values);
}

GCPtr Screen::createGC(const GCSpec &values) {
    if (!driverReady("createGC"))
        return nullptr;
    GCPtr gc = server::createGC(screen_, config_.depth);
    gcs_.push_back(gc);
    applySpec(gc, values);
    validate(gc, kAllGCChanges);
    return gc;
}

int Screen::changeGC(GCPtr gc, const GCSpec &values, uint32_t changes) {
    applySpec(gc, values);
    return validate(gc, changes);
}

int Screen::validate(GCPtr gc, uint32_t changes) {
    return validateOn(gc, drawable(), changes);
}

PixmapPtr Screen::tile(int width, int height, const std::vector<uint32_t> &pixels) {
    int cb = ref::clientPixelBytes(mirror_);
    int bpp = cb * 8;
    PixmapPtr p = server::createPixmap(screen_, width, height, config_.depth, bpp, width * cb);
    pixmaps_.push_back(p);
    auto *data = static_cast<uint8_t *>(p->devPrivate);
    for (size_t i = 0; i < pixels.size() && i < static_cast<size_t>(width * height); i++)
        storePixel(data + i * static_cast<size_t>(cb), cb, pixels[i]);
    return p;
}

PixmapPtr Screen::stipple(const std::vector<std::string> &rows) {
    int w = 0;
    for (const std::string &r : rows)
        w = std::max(w, static_cast<int>(r.size()));
    int h = static_cast<int>(rows.size());
    int stride = PixmapBytePad(w, 1);
    PixmapPtr p = server::createPixmap(screen_, w, h, 1, 1, stride);
    pixmaps_.push_back(p);
    auto *data = static_cast<uint8_t *>(p->devPrivate);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < static_cast<int>(rows[static_cast<size_t>(y)].size()); x++) {
            char c = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
            if (c == 'X' || c == '#' || c == '1')
                data[y * stride + x / 8] |= static_cast<uint8_t>(1 << (x % 8));
        }
    return p;
}

ref::GCValues Screen::gcValues(GCPtr gc) const {
    ref::GCValues v;
    const nfbGCPrivate *p = NFB_GC_PRIV(gc);
    v.fillStyle = static_cast<int>(gc->fillStyle);
    v.alu = p->alu;
    v.planemask = p->planemask;
    v.fg = p->fgPixel;
    v.bg = p->bgPixel;
    v.patOrg = p->patOrg;
    if (const PixmapRec *t = gc->tile) {
        v.tile = static_cast<const uint8_t *>(t->devPrivate);
        v.tileStride = t->devKind;
        v.tileWidth = t->drawable.width;
        v.tileHeight = t->drawable.height;
    }
    if (const PixmapRec *s = gc->stipple) {
        v.stipple = static_cast<const uint8_t *>(s->devPrivate);
        v.stippleStride = s->devKind;
        v.stippleWidth = s->drawable.width;
        v.stippleHeight = s->drawable.height;
    }
    return v;
}

// ======================= PrivOps slots =======================

void Screen::fillRects(GCPtr gc, const std::vector<BoxRec> &boxes) {
    PrivOps *o = gc ? ops(gc) : nullptr;
    if (!o || !o->FillRects) {
        report(driver_ + ": the GC has no FillRects slot");
        return;
    }
    ref::fillRects(mirror_, gcValues(gc), boxes.data(), static_cast<int>(boxes.size()));
    std::vector<BoxRec> b = boxes;
    call("FillRects", [&] { o->FillRects(gc, drawable(), b.data(), static_cast<int>(b.size())); });
}

void Screen::fillSpans(GCPtr gc, const std::vector<DDXPointRec> &starts,
                       const std::vector<int> &widths) {
    PrivOps *o = gc ? ops(gc) : nullptr;
    if (!o || !o->FS) {
        report(driver_ + ": the GC has no FS slot");
        return;
    }
    int n = static_cast<int>(std::min(starts.size(), widths.size()));
    ref::fillSpans(mirror_, gcValues(gc), starts.data(), widths.data(), n);
    std::vector<DDXPointRec> s = starts;
    std::vector<int> w = widths;
    call("FS", [&] { o->FS(gc, drawable(), s.data(), w.data(), n); });
}

void Screen::zeroSegs(GCPtr gc, const std::vector<ZeroSegRec> &segs) {
    PrivOps *o = gc ? ops(gc) : nullptr;
    if (!o || !o->slot3.GCOp3 || gc->fillStyle != FillSolid) {
        report(driver_ + ": zero-width segments need a solid GC with a slot three");
        return;
    }
    ref::zeroSegs(mirror_, gcValues(gc), segs.data(), static_cast<int>(segs.size()));
    std::vector<ZeroSegRec> s = segs;
    if (zeroSegsForm()) {
        call("ZeroSegs",
             [&] { o->slot3.ZeroSegs(gc, drawable(), s.data(), static_cast<int>(s.size())); });
        return;
    }
    for (const ZeroSegRec &z : s)
        call("ZeroSeg", [&] {
            o->slot3.ZeroSeg(gc, drawable(), z.signdx, z.signdy, z.axis, z.x, z.y, z.e, z.e1, z.e2,
                             z.len);
        });
}

void Screen::polyZeroSeg(GCPtr gc, const std::vector<xSegment> &segs) {
    PrivOps *o = gc ? ops(gc) : nullptr;
    if (!o || !o->FS) {
        report(driver_ + ": the GC has no FS slot");
        return;
    }
    std::vector<DDXPointRec> starts;
    const ref::GCValues values = gcValues(gc);
    for (const xSegment &sg : segs) {
        const size_t first = starts.size();
        ref::thinLine(sg.x1, sg.y1, sg.x2, sg.y2, [&](int x, int y) {
            starts.push_back({static_cast<int16_t>(x), static_cast<int16_t>(y)});
        });
        starts.push_back({sg.x2, sg.y2});
        const std::vector<int> ones(starts.size() - first, 1);
        ref::fillSpans(mirror_, values, starts.data() + first, ones.data(),
                       static_cast<int>(ones.size()));
    }
    const bool solid = gc->fillStyle == FillSolid ||
                       (gc->fillStyle == FillOpaqueStippled && gc->fgPixel == gc->bgPixel);
    ExtraGCOps *extra = gcPriv(gc)->extraOps;
    if (solid && extra && extra->PolyZeroSeg) {
        std::vector<xSegment> s = segs;
        call("PolyZeroSeg",
             [&] { extra->PolyZeroSeg(gc, drawable(), s.data(), static_cast<int>(s.size())); });
        return;
    }
    if (starts.empty())
        return;
    std::vector<int> widths(starts.size(), 1);
    call("FS", [&] {
        o->FS(gc, drawable(), starts.data(), widths.data(), static_cast<int>(starts.size()));
    });
}

void Screen::callUnnamedGCOp(GCPtr gc, int slot) {
    PrivOps *o = gc ? ops(gc) : nullptr;
    GCOpProc f = nullptr;
    if (o && slot == 3 && gc->fillStyle != FillSolid)
        f = o->slot3.GCOp3;
    else if (o && slot == 4)
        f = o->GCOp4;
    else if (o && slot == 5)
        f = o->GCOp5;
    else if (o && slot == 6)
        f = o->GCOp6;
    if (!f) {
        report(driver_ + ": no unnamed GC slot " + std::to_string(slot));
        return;
    }
    call("GCOp" + std::to_string(slot), [&] { f(); });
}

// ======================= WinOps slots =======================

#define HARNESS_SLOT(name)                                                                         \
    WinOps *w = winOps();                                                                          \
    if (!w || !w->name) {                                                                          \
        report(driver_ + ": no " #name " slot");                                                   \
        return;                                                                                    \
    }

void Screen::copyRect(const BoxRec &dst, DDXPointRec src, int alu, uint32_t planemask) {
    HARNESS_SLOT(CopyRect)
    ref::copyRect(mirror_, dst, src, alu, planemask);
    BoxRec d = dst;
    DDXPointRec s = src;
    call("CopyRect", [&] { w->CopyRect(&d, &s, alu, planemask, drawable()); });
}

void Screen::drawSolidRects(const std::vector<BoxRec> &boxes, Pixel fg, int alu,
                            uint32_t planemask) {
    HARNESS_SLOT(DrawSolidRects)
    int n = static_cast<int>(boxes.size());
    ref::drawSolidRects(mirror_, boxes.data(), n, fg, alu, planemask);
    std::vector<BoxRec> b = boxes;
    call("DrawSolidRects", [&] { w->DrawSolidRects(b.data(), n, fg, alu, planemask, drawable()); });
}

void Screen::drawImage(const BoxRec &box, const std::vector<uint8_t> &pixels, int stride, int alu,
                       uint32_t planemask) {
    HARNESS_SLOT(DrawImage)
    ref::drawImage(mirror_, box, pixels.data(), stride, alu, planemask);
    BoxRec b = box;
    std::vector<uint8_t> p = pixels;
    call("DrawImage", [&] { w->DrawImage(&b, p.data(), stride, alu, planemask, drawable()); });
}

std::vector<uint8_t> Screen::readImage(const BoxRec &box, int stride, uint8_t fill) {
    int cb = ref::clientPixelBytes(mirror_);
    if (stride == 0)
        stride = boxWidth(box) * cb;
    std::vector<uint8_t> out(static_cast<size_t>(stride) * static_cast<size_t>(boxHeight(box)),
                             fill);
    WinOps *w = winOps();
    if (!w || !w->ReadImage) {
        report(driver_ + ": no ReadImage slot");
        return out;
    }
    BoxRec b = box;
    call("ReadImage", [&] { w->ReadImage(&b, out.data(), stride, drawable()); });
    return out;
}

std::vector<uint8_t> Screen::expectedImage(const BoxRec &box, int stride, uint8_t fill) {
    int cb = ref::clientPixelBytes(mirror_);
    if (stride == 0)
        stride = boxWidth(box) * cb;
    std::vector<uint8_t> out(static_cast<size_t>(stride) * static_cast<size_t>(boxHeight(box)),
                             fill);
    ref::readImage(mirror_, box, out.data(), stride);
    return out;
}

void Screen::drawMonoImage(const BoxRec &box, const std::vector<uint8_t> &bits, int startBit,
                           int stride, Pixel fg, int alu, uint32_t planemask) {
    HARNESS_SLOT(DrawMonoImage)
    ref::drawMonoImage(mirror_, box, bits.data(), startBit, stride, fg, alu, planemask);
    BoxRec b = box;
    std::vector<uint8_t> m = bits;
    call("DrawMonoImage",
         [&] { w->DrawMonoImage(&b, m.data(), startBit, stride, fg, alu, planemask, drawable()); });
}

void Screen::drawOpaqueMonoImage(const BoxRec &box, const std::vector<uint8_t> &bits, int startBit,
                                 int stride, Pixel fg, Pixel bg, int alu, uint32_t planemask) {
    HARNESS_SLOT(DrawOpaqueMonoImage)
    ref::drawOpaqueMonoImage(mirror_, box, bits.data(), startBit, stride, fg, bg, alu, planemask);
    BoxRec b = box;
    std::vector<uint8_t> m = bits;
    call("DrawOpaqueMonoImage", [&] {
        w->DrawOpaqueMonoImage(&b, m.data(), startBit, stride, fg, bg, alu, planemask, drawable());
    });
}

void Screen::drawPoints(const std::vector<DDXPointRec> &points, Pixel fg, int alu,
                        uint32_t planemask) {
    HARNESS_SLOT(DrawPoints)
    int n = static_cast<int>(points.size());
    ref::drawPoints(mirror_, points.data(), n, fg, alu, planemask);
    std::vector<DDXPointRec> p = points;
    call("DrawPoints", [&] { w->DrawPoints(p.data(), n, fg, alu, planemask, drawable()); });
}

void Screen::tileRects(const std::vector<BoxRec> &boxes, const std::vector<uint8_t> &tile,
                       int tileStride, int tileWidth, int tileHeight, DDXPointRec patOrg, int alu,
                       uint32_t planemask) {
    HARNESS_SLOT(TileRects)
    int n = static_cast<int>(boxes.size());
    ref::tileRects(mirror_, boxes.data(), n, tile.data(), tileStride, tileWidth, tileHeight, patOrg,
                   alu, planemask);
    std::vector<BoxRec> b = boxes;
    std::vector<uint8_t> t = tile;
    DDXPointRec org = patOrg;
    call("TileRects", [&] {
        w->TileRects(b.data(), n, t.data(), tileStride, tileWidth, tileHeight, &org, alu, planemask,
                     drawable());
    });
}

void Screen::drawMonoGlyphs(const std::vector<MonoGlyphRec> &glyphs, Pixel fg, int alu,
                            uint32_t planemask, nfbFontPrivPtr font) {
    HARNESS_SLOT(DrawMonoGlyphs)
    int n = static_cast<int>(glyphs.size());
    ref::drawMonoGlyphs(mirror_, glyphs.data(), n, fg, alu, planemask);
    std::vector<MonoGlyphRec> g = glyphs;
    call("DrawMonoGlyphs",
         [&] { w->DrawMonoGlyphs(g.data(), n, fg, alu, planemask, font, drawable()); });
}

int Screen::drawText(const BoxRec &box, const std::string &chars, const Font &font, Pixel fg,
                     Pixel bg, int alu, uint32_t planemask, bool transparent) {
    WinOps *w = winOps();
    if (!w) {
        report(driver_ + ": no WinOps to draw text with");
        return -1;
    }
    int n = static_cast<int>(chars.size());
    ref::drawFontText(mirror_, box, reinterpret_cast<const uint8_t *>(chars.data()), n, font.info,
                      fg, bg, alu, planemask, transparent);
    std::vector<uint8_t> text(chars.begin(), chars.end());
    text.push_back(0);
    BoxRec b = box;
    DrawablePtr d = drawable();
    if (!registered().text8) {
        if (!w->text.DrawFontText) {
            report(driver_ + ": no DrawFontText slot");
            return -1;
        }
        call("DrawFontText", [&] {
            w->text.DrawFontText(&b, text.data(), n, font.priv(), fg, bg, alu, planemask,
                                 transparent, d);
        });
        return -1;
    }
    int slot = -1;
    call("DownloadFont8", [&] { slot = server::text8SlotFor(screen_, &font.info); });
    if (slot >= 0) {
        if (!w->text.DrawFontText8) {
            report(driver_ + ": no DrawFontText slot");
            return -1;
        }
        call("DrawFontText8", [&] {
            w->text.DrawFontText8(&b, text.data(), n, font.width, slot, fg, bg, alu, planemask,
                                  transparent, d);
        });
        return slot;
    }
    // A font no slot can hold: the layer draws it glyph by glyph.
    std::vector<uint8_t> blank(static_cast<size_t>(font.stride * font.height) + 1, 0);
    for (int i = 0; i < n; i++) {
        uint8_t code = text[static_cast<size_t>(i)];
        uint8_t *bits = code < font.count ? font.glyphs[code] : blank.data();
        BoxRec cell = {static_cast<int16_t>(box.x1 + i * font.width), box.y1,
                       static_cast<int16_t>(box.x1 + (i + 1) * font.width), box.y2};
        if (transparent && w->DrawMonoImage)
            call("DrawMonoImage",
                 [&] { w->DrawMonoImage(&cell, bits, 0, font.stride, fg, alu, planemask, d); });
        else if (!transparent && w->DrawOpaqueMonoImage)
            call("DrawOpaqueMonoImage", [&] {
                w->DrawOpaqueMonoImage(&cell, bits, 0, font.stride, fg, bg, alu, planemask, d);
            });
    }
    return -1;
}

void Screen::closeFont(const Font &font) {
    if (nfb() && nfb()->ClearFont)
        call("ClearFont", [&] { nfb()->ClearFont(font.priv(), screen_); });
    if (screen_)
        server::forgetText8Font(screen_, &font.info);
}

void Screen::setClipRegions(const std::vector<BoxRec> &boxes) {
    HARNESS_SLOT(SetClipRegions)
    std::vector<BoxRec> b = boxes;
    call("SetClipRegions",
         [&] { w->SetClipRegions(b.data(), static_cast<int>(b.size()), drawable()); });
}

void Screen::callUnnamedWinOp(int slot) {
    WinOps *w = winOps();
    WinOpProc f = nullptr;
    if (w && slot == 11)
        f = w->WinOp11;
    else if (w && slot == 12)
        f = w->WinOp12;
    else if (w && slot == 13)
        f = w->WinOp13;
    if (!f) {
        report(driver_ + ": no unnamed window slot " + std::to_string(slot));
        return;
    }
    call("WinOp" + std::to_string(slot), [&] { f(); });
}

#undef HARNESS_SLOT

// ======================= pixels =======================

void Screen::drain() {
    if (adapter_)
        call("drain", [&] { adapter_->drain(); });
}

uint8_t *Screen::screenMemory() const {
    size_t size = 0;
    uint8_t *base = nullptr;
    if (adapter_ && adapter_->vram()) {
        base = adapter_->vram()->data();
        size = adapter_->vram()->size();
    } else if (config_.grafinfo) {
        if (const graf::MemoryArea *a = defaultArea(graf::configOf(config_.grafinfo))) {
            base = static_cast<uint8_t *>(a->mapped);
            size = a->length;
        }
    }
    if (!base || width_ <= 0 || height_ <= 0 || nonLinear())
        return nullptr;
    // The whole visible screen must lie in the memory (sizes from a
    // configuration may be anything, so in 64 bits).
    int64_t row = int64_t{width_} * bytesPerPixel_;
    if (pitch_ < row)
        return nullptr;
    int64_t last = int64_t{options_.screenOffset} + int64_t{pitch_} * (height_ - 1) + row;
    if (last > static_cast<int64_t>(size))
        return nullptr;
    return base + options_.screenOffset;
}

bool Screen::nonLinear() const {
    return adapter_ && adapter_->nonLinearPicture();
}

void Screen::readPicture(ref::Canvas &c) const {
    activate();
    for (int y = 0; y < c.height; y++)
        for (int x = 0; x < c.width; x++)
            c.put(x, y, adapter_->pictureAt(x, y));
}

ref::Canvas Screen::readScreen() {
    drain();
    ref::Canvas c(std::max(width_, 0), std::max(height_, 0), bytesPerPixel_, config_.depth);
    if (nonLinear()) {
        readPicture(c);
        return c;
    }
    const uint8_t *mem = screenMemory();
    if (!mem) {
        report(driver_ + ": the visible screen (pitch " + std::to_string(pitch_) +
               ") does not fit the video memory");
        return c;
    }
    size_t row = static_cast<size_t>(width_) * bytesPerPixel_;
    for (int y = 0; y < height_; y++)
        std::memcpy(c.bytes.data() + static_cast<size_t>(y) * c.pitch,
                    mem + static_cast<size_t>(y) * pitch_, row);
    return c;
}

void Screen::settle() {
    if (adapter_)
        call("settle", [&] { adapter_->settle(); });
}

// The picture a model shows against the mirror within `box`, pixel by pixel
// in the order a comparison of whole canvases takes, so the count and the
// first difference come out as that one's would; no copy of the picture is
// made.
static ref::Diff comparePicture(const ref::Canvas &mirror, const sim::Adapter &adapter,
                                const BoxRec &box) {
    ref::Diff d;
    d.digits = 2 * mirror.bytesPerPixel;
    const uint32_t mask = mirror.pixelMask();
    const int x1 = std::max<int>(box.x1, 0), x2 = std::min<int>(box.x2, mirror.width);
    const int y1 = std::max<int>(box.y1, 0), y2 = std::min<int>(box.y2, mirror.height);
    for (int y = y1; y < y2; y++)
        for (int x = x1; x < x2; x++) {
            const uint32_t want = mirror.get(x, y) & mask;
            const uint32_t got = adapter.pictureAt(x, y) & mask;
            if (want != got && d.count++ == 0) {
                d.firstX = x;
                d.firstY = y;
                d.want = want;
                d.got = got;
            }
        }
    return d;
}

ref::Diff Screen::compareSettled() {
    settle();
    if (nonLinear()) {
        activate();
        return comparePicture(mirror_, *adapter_,
                              {0, 0, static_cast<int16_t>(std::min(mirror_.width, 0x7FFF)),
                               static_cast<int16_t>(std::min(mirror_.height, 0x7FFF))});
    }
    if (const uint8_t *mem = screenMemory())
        return ref::compare(mirror_, mem, pitch_);
    return expectSame();
}

ref::Diff Screen::compareSettledIn(const BoxRec &box) {
    if (!nonLinear())
        return compareSettled();
    settle();
    activate();
    // Outside the box the picture counts as the mirror, so only the box is
    // looked at.
    return comparePicture(mirror_, *adapter_, box);
}

ref::Diff Screen::expectSame() {
    drain();
    if (nonLinear())
        return ref::compare(mirror_, readScreen());
    const uint8_t *mem = screenMemory();
    if (!mem) {
        // Reported, and every pixel of the mirror counts as different.
        return ref::compare(mirror_, readScreen());
    }
    return ref::compare(mirror_, mem, pitch_);
}

void Screen::adoptDisplayPitch() {
    if (options_.pitch || !adapter_)
        return;
    int64_t row = int64_t{width_} * bytesPerPixel_;
    int64_t shown = adapter_->displayPitch();
    if (shown >= row && shown <= INT32_MAX)
        pitch_ = static_cast<int>(shown);
}

void Screen::resizeMirror() {
    int w = std::max(width_, 0), h = std::max(height_, 0);
    if (mirror_.width != w || mirror_.height != h || mirror_.bytesPerPixel != bytesPerPixel_ ||
        mirror_.depth != config_.depth)
        mirror_ = ref::Canvas(w, h, bytesPerPixel_, config_.depth);
}

void Screen::syncMirror() {
    resizeMirror();
    if (nonLinear()) {
        drain();
        readPicture(mirror_);
        return;
    }
    const uint8_t *mem = screenMemory();
    if (!mem) {
        std::fill(mirror_.bytes.begin(), mirror_.bytes.end(), 0);
        return;
    }
    drain();
    size_t row = static_cast<size_t>(width_) * bytesPerPixel_;
    for (int y = 0; y < height_; y++)
        std::memcpy(mirror_.bytes.data() + static_cast<size_t>(y) * mirror_.pitch,
                    mem + static_cast<size_t>(y) * pitch_, row);
}

void Screen::fillRandom(uint32_t seed) {
    drain();
    uint8_t *mem = screenMemory();
    if (!mem && !nonLinear()) {
        report(driver_ + ": no video memory to fill");
        return;
    }
    // splitmix64: cheap, and every pixel gets bits of its own.
    uint64_t state = seed;
    auto next = [&state] {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    uint32_t mask = allPlanes();
    if (!mem) {
        activate();
        for (int y = 0; y < height_; y++)
            for (int x = 0; x < width_; x++)
                adapter_->setPictureAt(x, y, static_cast<uint32_t>(next()) & mask);
        syncMirror();
        return;
    }
    for (int y = 0; y < height_; y++) {
        uint8_t *row = mem + static_cast<size_t>(y) * pitch_;
        for (int x = 0; x < width_; x++) {
            uint8_t *p = row + static_cast<size_t>(x) * bytesPerPixel_;
            // Bits above the depth keep what memory held.
            uint32_t keep = loadPixel(p, bytesPerPixel_) & ~mask;
            storePixel(p, bytesPerPixel_, keep | (static_cast<uint32_t>(next()) & mask));
        }
    }
    syncMirror();
}

// ======================= screen hooks =======================

void Screen::installColormap(ColormapPtr map) {
    if (!nfb())
        return;
    nfb()->installedCmap = map;
    if (nfb()->LoadColormap)
        call("LoadColormap", [&] { nfb()->LoadColormap(map); });
}

void Screen::setColor(int index, uint16_t red, uint16_t green, uint16_t blue) {
    if (!nfb() || !nfb()->SetColor) {
        report(driver_ + ": no SetColor hook");
        return;
    }
    call("SetColor", [&] { nfb()->SetColor(0, index, red, green, blue, screen_); });
}

int Screen::blankScreen(bool on) {
    if (!nfb() || !nfb()->BlankScreen) {
        report(driver_ + ": no BlankScreen hook");
        return 0;
    }
    int r = 0;
    call("BlankScreen", [&] { r = nfb()->BlankScreen(on ? 1 : 0, screen_); });
    return r;
}

// ======================= console switch =======================

#define HARNESS_SYSINFO(name, result)                                                              \
    SysInfo *si = sysInfo();                                                                       \
    if (!si || !si->name) {                                                                        \
        report(driver_ + ": no SysInfo " #name);                                                   \
        return result;                                                                             \
    }

void Screen::saveGState() {
    HARNESS_SYSINFO(SaveGState, )
    call("SaveGState", [&] { si->SaveGState(screen_); });
}

Bool Screen::setText() {
    HARNESS_SYSINFO(SetText, 0)
    Bool r = 0;
    call("SetText", [&] { r = si->SetText(screen_); });
    // What the slots held may be gone with the console's use of video memory.
    server::forgetText8Slots(screen_);
    return r;
}

void Screen::setGraphics() {
    HARNESS_SYSINFO(SetGraphics, )
    call("SetGraphics", [&] { si->SetGraphics(screen_); });
}

void Screen::restoreGState() {
    HARNESS_SYSINFO(RestoreGState, )
    call("RestoreGState", [&] { si->RestoreGState(screen_); });
}

#undef HARNESS_SYSINFO

void Screen::switchAway() {
    saveGState();
    setText();
}

void Screen::switchBack() {
    setGraphics();
    restoreGState();
}

// ======================= cursor =======================

Bool Screen::realizeCursor(CursorPtr c) {
    PointerFuncs *p = pointer();
    if (!p || !p->RealizeCursor) {
        report(driver_ + ": no RealizeCursor");
        return 0;
    }
    Bool r = 0;
    call("RealizeCursor", [&] { r = p->RealizeCursor(screen_, c); });
    return r;
}

Bool Screen::unrealizeCursor(CursorPtr c) {
    PointerFuncs *p = pointer();
    if (!p || !p->UnrealizeCursor) {
        report(driver_ + ": no UnrealizeCursor");
        return 0;
    }
    if (c)
        c->refcnt = 0;
    Bool r = 0;
    call("UnrealizeCursor", [&] { r = p->UnrealizeCursor(screen_, c); });
    return r;
}

void Screen::setCursor(CursorPtr c, int x, int y) {
    PointerFuncs *p = pointer();
    if (!p || !p->SetCursor) {
        report(driver_ + ": no SetCursor");
        return;
    }
    call("SetCursor", [&] { p->SetCursor(screen_, c, x, y); });
}

void Screen::moveCursor(int x, int y) {
    PointerFuncs *p = pointer();
    if (!p || !p->MoveCursor) {
        report(driver_ + ": no MoveCursor");
        return;
    }
    call("MoveCursor", [&] { p->MoveCursor(screen_, x, y); });
}

void Screen::recolorCursor(CursorPtr c, Bool displayed) {
    if (!driverReady("RecolorCursor") || !screen_->RecolorCursor)
        return;
    call("RecolorCursor", [&] { screen_->RecolorCursor(screen_, c, displayed); });
}

std::pair<uint16_t, uint16_t> Screen::queryBestSize(int cls, uint16_t width, uint16_t height) {
    if (!driverReady("QueryBestSize") || !screen_->QueryBestSize)
        return {width, height};
    call("QueryBestSize", [&] { screen_->QueryBestSize(cls, &width, &height, screen_); });
    return {width, height};
}

// ======================= sprite cursor =======================

#define HARNESS_SPRITE_SLOT(slot, callExpr)                                                        \
    SpriteCursorFuncs *f = sprite();                                                               \
    if (!f || !f->slot) {                                                                          \
        report(driver_ + ": no sprite " #slot);                                                    \
    } else {                                                                                       \
        call(#slot, [&] { callExpr; });                                                            \
    }

Bool Screen::spriteRealize(CursorPtr c) {
    Bool r = 0;
    HARNESS_SPRITE_SLOT(RealizeCursor, r = f->RealizeCursor(screen_, c));
    return r;
}

Bool Screen::spriteUnrealize(CursorPtr c) {
    Bool r = 0;
    HARNESS_SPRITE_SLOT(UnrealizeCursor, r = f->UnrealizeCursor(screen_, c));
    return r;
}

void Screen::spritePutUp(CursorPtr c, int x, int y, Pixel fg, Pixel bg) {
    HARNESS_SPRITE_SLOT(PutUpCursor, f->PutUpCursor(screen_, c, x, y, fg, bg));
}

void Screen::spriteSaveUnder(int x, int y, int w, int h) {
    HARNESS_SPRITE_SLOT(SaveUnderCursor, f->SaveUnderCursor(screen_, x, y, w, h));
}

void Screen::spriteRestoreUnder(int x, int y, int w, int h) {
    HARNESS_SPRITE_SLOT(RestoreUnderCursor, f->RestoreUnderCursor(screen_, x, y, w, h));
}

void Screen::spriteMove(CursorPtr c, int x, int y, int w, int h, int dx, int dy, Pixel fg,
                        Pixel bg) {
    HARNESS_SPRITE_SLOT(MoveCursor, f->MoveCursor(screen_, c, x, y, w, h, dx, dy, fg, bg));
}

void Screen::spriteChangeSave(int x, int y, int w, int h, int dx, int dy) {
    HARNESS_SPRITE_SLOT(ChangeSave, f->ChangeSave(screen_, x, y, w, h, dx, dy));
}

#undef HARNESS_SPRITE_SLOT

ref::Canvas withSprite(const ref::Canvas &scene, const CursorRec &cursor, int x, int y, Pixel fg,
                       Pixel bg, int maxSize) {
    ref::Canvas c = scene;
    const CursorBits &b = *cursor.bits;
    const int w = std::min<int>(b.width, maxSize), h = std::min<int>(b.height, maxSize);
    const int stride = PixmapBytePad(b.width, 1);
    for (int r = 0; r < h; r++)
        for (int col = 0; col < w; col++) {
            const int sx = x + col, sy = y + r;
            if (sx < 0 || sy < 0 || sx >= c.width || sy >= c.height)
                continue;
            const size_t at = static_cast<size_t>(r * stride + col / 8);
            const uint8_t bit = static_cast<uint8_t>(1 << (col % 8));
            if (!(b.mask[at] & bit))
                continue;
            c.put(sx, sy, ((b.source[at] & bit) ? fg : bg) & c.pixelMask());
        }
    return c;
}

SpriteRun driveSprite(Screen &s, CursorPtr cursor, const std::vector<DDXPointRec> &path,
                      const SpriteDrive &d) {
    SpriteRun run;
    if (!s.sprite()) {
        run.problems.push_back("the driver registered no sprite cursor");
        return run;
    }
    if (path.empty())
        return run;
    const ref::Canvas scene = s.mirror();
    const int side = d.saveSize;
    const int cw = std::min<int>(cursor->bits->width, d.maxCursor);
    const int ch = std::min<int>(cursor->bits->height, d.maxCursor);
    auto where = [](const char *what, int x, int y) {
        return std::string(what) + " (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    };
    auto check = [&](const ref::Canvas &want, const std::string &what) {
        s.mirror() = want;
        ref::Diff diff = s.expectSame();
        run.checks++;
        if (diff.count)
            run.problems.push_back("after " + what + ": " + diff.describe());
    };
    auto drawn = [&](DDXPointRec p) {
        return withSprite(scene, *cursor, p.x, p.y, d.fg, d.bg, d.maxCursor);
    };
    // The saved square with the cursor in its middle, or (every other one)
    // in its bottom-right corner, so that the cursor also reaches the last
    // visible column and line of a square that starts off the screen.
    int squares = 0;
    auto around = [&](DDXPointRec p) {
        const int k = squares++ % 2 ? 1 : 2;
        return DDXPointRec{static_cast<int16_t>(p.x - std::max(0, (side - cw) / k)),
                           static_cast<int16_t>(p.y - std::max(0, (side - ch) / k))};
    };
    auto inside = [&](DDXPointRec p, DDXPointRec sq) {
        return p.x >= sq.x && p.y >= sq.y && p.x + cw <= sq.x + side && p.y + ch <= sq.y + side;
    };

    if (!s.spriteRealize(cursor))
        run.problems.push_back("RealizeCursor returned 0");
    DDXPointRec sq = around(path[0]);
    s.spriteSaveUnder(sq.x, sq.y, side, side);
    s.spritePutUp(cursor, path[0].x, path[0].y, d.fg, d.bg);
    run.putUps++;
    check(drawn(path[0]), where("PutUpCursor at", path[0].x, path[0].y));
    for (size_t i = 1; i < path.size(); i++) {
        const DDXPointRec p = path[i];
        if (inside(p, sq)) {
            // The restore and the new drawing are one call: the old cursor
            // must be gone from the picture with the new one on it.
            s.spriteMove(cursor, sq.x, sq.y, side, side, p.x - sq.x, p.y - sq.y, d.fg, d.bg);
            run.moves++;
            run.restores++;
            check(drawn(p), where("MoveCursor to", p.x, p.y));
            continue;
        }
        const DDXPointRec next = around(p);
        s.spriteChangeSave(next.x, next.y, side, side, sq.x - next.x, sq.y - next.y);
        run.changeSaves++;
        run.restores++;
        check(scene, where("ChangeSave from", sq.x, sq.y) + where(" to", next.x, next.y));
        sq = next;
        s.spritePutUp(cursor, p.x, p.y, d.fg, d.bg);
        run.putUps++;
        check(drawn(p), where("PutUpCursor at", p.x, p.y));
    }
    s.spriteRestoreUnder(sq.x, sq.y, side, side);
    run.restores++;
    check(scene, where("RestoreUnderCursor at", sq.x, sq.y));
    if (!s.spriteUnrealize(cursor))
        run.problems.push_back("UnrealizeCursor returned 0");
    s.mirror() = scene;
    return run;
}

std::vector<DDXPointRec> spriteEdgePath(int width, int height) {
    auto p = [](int x, int y) {
        return DDXPointRec{static_cast<int16_t>(x), static_cast<int16_t>(y)};
    };
    const int w = width, h = height;
    return {p(20, 20),       p(26, 23),        p(-3, 40),        p(-20, -10),
            p(-14, -6),      p(w / 2, -5),     p(w - 10, h / 2), p(w - 6, h / 2 + 5),
            p(w - 5, h - 7), p(w / 3, h - 20), p(w / 2, h / 2),  p(w / 2 + 7, h / 2 - 4)};
}

} // namespace harness
