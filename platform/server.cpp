// The stand-in display server: the server's services and data that nfb.h
// declares (all but the port routines and nap, which belong to the simulated
// machine, and the generic drawing routines, in generic.cpp), and the records
// the server owns. See server.h for the test side.
#include "server.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "machine.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRV_SERVER_POOL 1
#endif
#endif
#if !defined(DRV_SERVER_POOL) && defined(__SANITIZE_ADDRESS__)
#define DRV_SERVER_POOL 1
#endif
#ifdef DRV_SERVER_POOL
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Bytes the server fills fresh Xalloc blocks with, so a driver that reads
// memory it never wrote sees garbage rather than a lucky zero.
constexpr uint8_t kFreshFill = 0xA5;

// Slot 0 of every GC, window and font private array belongs to the server
// itself; it holds this value so a driver reading the wrong index notices.
constexpr int32_t kServerPrivateMark = 0x5e5e5e5e;

struct ScreenHolder {
    ScreenRec rec{};
    std::vector<DevUnion> privates;
    std::vector<VisualRec> visuals;
    std::unique_ptr<nfbScreenPrivate> nfbPriv;
    std::unique_ptr<nfbGCPrivate> gcTemplate;
    std::vector<std::unique_ptr<struct ColormapHolder>> colormaps;
};

struct ColormapHolder {
    ColormapRec rec{};
    std::vector<Entry> red, green, blue;
};

struct WindowHolder {
    WindowRec rec{};
    std::vector<DevUnion> privates;
    nfbWindowPrivate priv{};
};

struct GCHolder {
    GCRec rec{};
    std::vector<DevUnion> privates;
    nfbGCPrivate priv{};
    RegionRec clip{};
    std::vector<std::unique_ptr<uint8_t[]>> blocks;
    // Client clip rectangles relative to the drawable (none: not clipped),
    // the dash list, and the composite clip's data block when it has several
    // rectangles (RegDataRec, then the boxes).
    bool clientClipped = false;
    std::vector<BoxRec> clientClip;
    std::vector<uint8_t> dashes;
    std::vector<int32_t> clipData;
};

struct PixmapHolder {
    PixmapRec rec{};
    std::vector<uint8_t> data;
};

struct FontHolder {
    FontRec rec{};
    std::vector<DevUnion> privates;
    nfbFontPrivate priv{};
};

struct LiveBlock {
    uint32_t size;
    uint64_t serial;
};

// The live blocks by address: an open-addressed table with linear probing,
// so tracking a block costs no allocation of its own. Drivers allocate and
// free thousands of small blocks per screen generation; a node per block
// made the tracking dearer than the drivers' own work under the sanitizers.
class BlockTable {
  public:
    LiveBlock *find(void *p) {
        if (slots_.empty())
            return nullptr;
        for (size_t i = home(p);; i = (i + 1) & mask()) {
            if (!slots_[i].ptr)
                return nullptr;
            if (slots_[i].ptr == p)
                return &slots_[i].block;
        }
    }
    void insert(void *p, LiveBlock b) {
        if ((count_ + 1) * 2 > slots_.size())
            grow();
        size_t i = home(p);
        while (slots_[i].ptr && slots_[i].ptr != p)
            i = (i + 1) & mask();
        if (!slots_[i].ptr)
            count_++;
        slots_[i] = {p, b};
    }
    // Removes p's entry, shifting back the entries its slot kept from their
    // home so every lookup still finds its entry before an empty slot.
    bool erase(void *p, LiveBlock *was = nullptr) {
        if (slots_.empty())
            return false;
        size_t i = home(p);
        while (slots_[i].ptr != p) {
            if (!slots_[i].ptr)
                return false;
            i = (i + 1) & mask();
        }
        if (was)
            *was = slots_[i].block;
        for (size_t j = (i + 1) & mask(); slots_[j].ptr; j = (j + 1) & mask()) {
            size_t h = home(slots_[j].ptr);
            // Move j's entry into the hole unless its home lies after the hole.
            if (((j - h) & mask()) >= ((j - i) & mask())) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = {};
        count_--;
        return true;
    }
    size_t size() const { return count_; }
    // Empties the table, keeping its slots for the next server: a server
    // per test case or fuzz input would otherwise grow a new table from
    // nothing for every one, touching fresh memory at each doubling.
    void clear() {
        if (count_ > 0)
            std::fill(slots_.begin(), slots_.end(), Slot{});
        count_ = 0;
        if (slots_.size() > kKeptSlots)
            std::vector<Slot>().swap(slots_);
    }
    template <class F> void forEach(F f) const {
        for (const Slot &s : slots_)
            if (s.ptr)
                f(s.ptr, s.block);
    }

  private:
    static constexpr size_t kKeptSlots = size_t{1} << 16;
    struct Slot {
        void *ptr = nullptr;
        LiveBlock block{};
    };
    size_t mask() const { return slots_.size() - 1; }
    size_t home(void *p) const {
        // Blocks of one kilobyte of heap keep neighbouring slots, so a driver
        // walking its blocks in order walks the table in order too; the
        // kilobytes themselves are scattered by mixing every address bit.
        uint64_t a = reinterpret_cast<uintptr_t>(p);
        uint64_t v = a >> 10;
        v ^= v >> 33;
        v *= 0xFF51AFD7ED558CCDull;
        v ^= v >> 33;
        v *= 0xC4CEB9FE1A85EC53ull;
        v ^= v >> 33;
        return static_cast<size_t>(v << 6 | (a >> 4 & 63)) & mask();
    }
    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        count_ = 0;
        for (const Slot &s : old)
            if (s.ptr)
                insert(s.ptr, s.block);
    }
    std::vector<Slot> slots_;
    size_t count_ = 0;
};

#ifdef DRV_SERVER_POOL
// Small driver blocks under AddressSanitizer. Its allocator records the
// call stack of every allocation and every free, which for a driver that
// keeps thousands of small blocks a screen generation (a node per cache
// cell) cost more than the drawing the fuzzers check. Small blocks come
// from chunks instead, poisoned with the sanitizer's own shadow so that the
// checks stay: a block is addressable exactly over its size (the last
// granule to the byte), a redzone of its own follows it, and a freed block
// stays poisoned in a first-in first-out quarantine of megabytes
// before its memory serves again, so a read or write past a block or after
// its Xfree is still reported (as a use of poisoned memory, with the stack
// of the access but not of the allocation).
class SmallPool {
  public:
    static constexpr uint32_t kMax = 256; // larger blocks come from malloc
    void *allocate(uint32_t size) {
        Class &c = classes_[classOf(size)];
        void *p;
        if (!c.aged.empty()) {
            p = c.aged.back();
            c.aged.pop_back();
        } else {
            if (c.next == c.end && !newChunk(c))
                return nullptr;
            p = c.next;
            c.next += c.stride;
        }
        ASAN_UNPOISON_MEMORY_REGION(p, size ? size : 1);
        return p;
    }
    void release(void *p, uint32_t size) {
        Class &c = classes_[classOf(size)];
        ASAN_POISON_MEMORY_REGION(p, c.stride - kRedzone);
        if (!c.ring) {
            c.capacity = kQuarantineBytes / c.stride;
            c.ring = std::make_unique_for_overwrite<void *[]>(c.capacity);
        }
        if (c.count == c.capacity) {
            // The oldest freed block has served its time.
            c.aged.push_back(c.ring[c.head]);
            c.head = (c.head + 1) % c.capacity;
            c.count--;
        }
        c.ring[(c.head + c.count) % c.capacity] = p;
        c.count++;
    }
    ~SmallPool() {
        for (uint8_t *chunk : chunks_) {
            ASAN_UNPOISON_MEMORY_REGION(chunk, kChunk);
            std::free(chunk);
        }
    }

  private:
    static constexpr uint32_t kGranule = 16;
    static constexpr uint32_t kRedzone = 16;
    static constexpr size_t kChunk = size_t{1} << 16;
    // Freed bytes of one size kept poisoned before their memory serves again:
    // several generations of the largest glyph caches, and little enough
    // that a run soon reuses memory rather than touching fresh pages.
    static constexpr size_t kQuarantineBytes = size_t{4} << 20;
    struct Class {
        uint32_t stride = 0;
        uint8_t *next = nullptr, *end = nullptr;
        // The quarantine: a ring of freed blocks, oldest at head; and the
        // blocks that left it, ready to serve again.
        std::unique_ptr<void *[]> ring;
        size_t capacity = 0, head = 0, count = 0;
        std::vector<void *> aged;
    };
    static size_t classOf(uint32_t size) { return size ? (size - 1) / kGranule : 0; }
    bool newChunk(Class &c) {
        auto *chunk = static_cast<uint8_t *>(std::malloc(kChunk));
        if (!chunk)
            return false;
        ASAN_POISON_MEMORY_REGION(chunk, kChunk);
        chunks_.push_back(chunk);
        // A redzone before the first block too, so an underrun is seen.
        c.next = chunk + kRedzone;
        c.end = c.next + (kChunk - kRedzone) / c.stride * c.stride;
        return true;
    }

  public:
    SmallPool() {
        for (size_t i = 0; i < std::size(classes_); i++)
            classes_[i].stride = static_cast<uint32_t>((i + 1) * kGranule + kRedzone);
    }

  private:
    Class classes_[kMax / kGranule];
    std::vector<uint8_t *> chunks_;
};

SmallPool &smallPool() {
    static SmallPool *pool = new SmallPool; // never destroyed: blocks may outlive exit
    return *pool;
}

void *rawAllocate(uint32_t size) {
    if (size <= SmallPool::kMax)
        return smallPool().allocate(size);
    return std::malloc(size);
}

void rawFree(void *p, uint32_t size) {
    if (size <= SmallPool::kMax)
        smallPool().release(p, size);
    else
        std::free(p);
}
#else
void *rawAllocate(uint32_t size) {
    return std::malloc(size ? size : 1);
}

void rawFree(void *p, uint32_t) {
    std::free(p);
}
#endif

struct State {
    // messages
    std::vector<std::string> errors, fatals, memoryErrors;
    bool echo = std::getenv("DRV_ECHO_ERRORF") != nullptr;
    // memory
    BlockTable blocks;
    uint64_t allocations = 0;
    long allocationsLeft = -1; // negative: no limit
    // indices
    int screenPrivates = 0;
    bool refuseScreenIndex = false;
    int gcPrivates = 2; // 0: the server's own, 1: the frame-buffer layer's
    std::map<int, uint32_t> gcPrivateSizes;
    // records
    std::map<ScreenPtr, std::unique_ptr<ScreenHolder>> screens;
    std::map<WindowPtr, std::unique_ptr<WindowHolder>> windows;
    std::map<GCPtr, std::unique_ptr<GCHolder>> gcs;
    std::map<PixmapPtr, std::unique_ptr<PixmapHolder>> pixmaps;
    std::map<FontPtr, std::unique_ptr<FontHolder>> fonts;
    std::map<int, server::ScreenState> screenStates;
    ActiveScreen active[MAXSCREENS] = {};
    uint32_t nextId = 0x100;
    // knobs
    std::vector<server::PixmapFormat> formats;
    Bool pixmapFormatResult = 1, pointerResult = 1, screenActive = 1;
    Bool spriteResult = 1;
    bool failScreenInit = false, failAddVisual = false, failColormap = false;
    // generic routines
    std::vector<server::GenCall> genCalls;
    uint64_t helpValidateCalls = 0;
    int validateResult = 0; // what the last ValidateWindowGC returned

    // The server goes away with the process: what drivers still hold goes
    // with it (tests see it through liveBlocks() before).
    ~State() {
        blocks.forEach([](void *p, const LiveBlock &b) { rawFree(p, b.size); });
    }
};

std::unique_ptr<State> &statePtr() {
    static std::unique_ptr<State> s = std::make_unique<State>();
    return s;
}

State &st() {
    return *statePtr();
}

std::string vformat(const char *format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, ap);
    out.resize(static_cast<size_t>(n));
    return out;
}

void memoryError(const std::string &m) {
    st().memoryErrors.push_back(m);
    sim::Machine::current().fail("server: " + m);
}

bool mayAllocate() {
    State &s = st();
    if (s.allocationsLeft == 0)
        return false;
    if (s.allocationsLeft > 0)
        s.allocationsLeft--;
    return true;
}

void *newBlock(uint32_t size) {
    void *p = rawAllocate(size);
    if (!p)
        return nullptr;
    std::memset(p, kFreshFill, size);
    State &s = st();
    s.blocks.insert(p, {size, ++s.allocations});
    return p;
}

ScreenHolder *holderOf(ScreenPtr pScreen) {
    auto it = st().screens.find(pScreen);
    return it == st().screens.end() ? nullptr : it->second.get();
}

void fillPaddingTable(PaddingInfo *table) {
    // Rows are padded to 32 bits at every depth; the pixel size is the one the
    // server stores that depth in (depth 24 as 32-bit pixels).
    for (int depth = 1; depth <= 32; depth++) {
        int bpp = depth == 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : depth <= 16 ? 16 : 32;
        int pixelsPerWord = 32 / bpp;
        int log2 = 0;
        while ((1 << log2) < pixelsPerWord)
            log2++;
        table[depth] = {pixelsPerWord - 1, log2, 2};
    }
}

// The server's own screen hooks, for drivers that save and wrap them.
Bool defaultCreateGC(GCPtr) {
    return 1;
}
void defaultQueryBestSize(int, uint16_t *, uint16_t *, ScreenPtr) {}
Bool defaultSaveScreen(ScreenPtr, int) {
    return 1;
}

void serverValidateGC(GCPtr, uint32_t, DrawablePtr); // below the layer's own steps
void noopChangeGC(GCPtr, uint32_t) {}
void noopCopyGC(GCPtr, uint32_t, GCPtr) {}
void noopDestroyGC(GCPtr) {}
void noopChangeClip(GCPtr, int, void *, int) {}
void noopDestroyClip(GCPtr) {}
void noopCopyClip(GCPtr, GCPtr) {}
const GCFuncs kServerGCFuncs = {serverValidateGC, noopChangeGC,    noopCopyGC,  noopDestroyGC,
                                noopChangeClip,   noopDestroyClip, noopCopyClip};

} // namespace

// ======================= extern "C" data =======================

extern "C" {

ActiveScreen *ddxActiveScreens[MAXSCREENS];
uint8_t ddxBitSwap[256];
uint32_t serverGeneration = 1;
WindowPtr WindowTable[MAXSCREENS];
PaddingInfo PixmapWidthPaddingInfo[33];
// Every alu but clear, copy, copyInverted and set reads the destination.
uint8_t rop_needs_dst[16] = {0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0};
int enforceProtocol = 1;
int nfbGCPrivateIndex = 1;
int nfbWindowPrivateIndex = 1;
int nfbFontPrivateIndex = 1;

} // extern "C"

namespace {
// The server's data as it is when the server starts. Drivers may write to
// some of it (their screen's table entries), so a fresh start sets it anew.
void initServerData() {
    for (int i = 0; i < 256; i++) {
        uint8_t r = 0;
        for (int b = 0; b < 8; b++)
            if (i & (1 << b))
                r |= static_cast<uint8_t>(0x80 >> b);
        ddxBitSwap[i] = r;
    }
    fillPaddingTable(PixmapWidthPaddingInfo);
    std::fill(std::begin(ddxActiveScreens), std::end(ddxActiveScreens), nullptr);
    std::fill(std::begin(WindowTable), std::end(WindowTable), nullptr);
    serverGeneration = 1;
    enforceProtocol = 1;
    nfbGCPrivateIndex = 1;
    nfbWindowPrivateIndex = 1;
    nfbFontPrivateIndex = 1;
}

struct TableInit {
    TableInit() { initServerData(); }
} tableInit;
} // namespace

// ======================= memory, messages, indices =======================

extern "C" void *Xalloc(uint32_t size) {
    if (!mayAllocate())
        return nullptr;
    return newBlock(size);
}

extern "C" void *Xrealloc(void *ptr, uint32_t size) {
    if (!ptr)
        return Xalloc(size);
    State &s = st();
    LiveBlock *it = s.blocks.find(ptr);
    if (!it) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "Xrealloc of %p, which is not a live block", ptr);
        memoryError(buf);
        return nullptr;
    }
    if (!mayAllocate())
        return nullptr;
    // Always move, so a driver that keeps the old pointer is caught.
    uint32_t oldSize = it->size;
    void *p = newBlock(size);
    if (!p)
        return nullptr;
    std::memcpy(p, ptr, oldSize < size ? oldSize : size);
    s.blocks.erase(ptr);
    rawFree(ptr, oldSize);
    return p;
}

extern "C" void Xfree(void *ptr) {
    if (!ptr)
        return;
    State &s = st();
    LiveBlock was;
    if (!s.blocks.erase(ptr, &was)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "Xfree of %p, which is not a live block", ptr);
        memoryError(buf);
        return;
    }
    rawFree(ptr, was.size);
}

extern "C" void ErrorF(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string m = vformat(format, ap);
    va_end(ap);
    st().errors.push_back(m);
    if (st().echo)
        std::fputs(m.c_str(), stderr);
}

extern "C" void FatalError(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string m = vformat(format, ap);
    va_end(ap);
    st().fatals.push_back(m);
    if (st().echo)
        std::fprintf(stderr, "Fatal server error: %s", m.c_str());
    throw server::FatalErrorCalled(m);
}

extern "C" int AllocateScreenPrivateIndex(void) {
    State &s = st();
    if (s.refuseScreenIndex)
        return -1;
    int index = s.screenPrivates++;
    for (auto &[pScreen, h] : s.screens) {
        h->privates.resize(static_cast<size_t>(s.screenPrivates), DevUnion{});
        pScreen->devPrivates = h->privates.data();
    }
    return index;
}

extern "C" int AllocateGCPrivateIndex(void) {
    return st().gcPrivates++;
}

extern "C" Bool AllocateGCPrivate(ScreenPtr, int index, uint32_t size) {
    State &s = st();
    if (index < 2 || index >= s.gcPrivates)
        return 0;
    uint32_t &have = s.gcPrivateSizes[index];
    if (size > have)
        have = size;
    return 1;
}

// ======================= pixmap formats, screens =======================

extern "C" Bool ddxAddPixmapFormat(int depth, int bitsPerPixel, int scanlinePad) {
    st().formats.push_back({depth, bitsPerPixel, scanlinePad});
    return st().pixmapFormatResult;
}

extern "C" Bool vexoSysInfoInit(ScreenPtr pScreen, SysInfo *info) {
    server::screenState(pScreen->myNum).sysInfo = info;
    return 1;
}

extern "C" Bool vexoPointerInitialize(ScreenPtr pScreen, PointerFuncs *funcs, int first, ...) {
    server::ScreenState &ss = server::screenState(pScreen->myNum);
    ss.pointerFuncs = funcs;
    ss.pointerArgs = {first};
    // Two forms: (screen, funcs, 0, 1) and (screen, funcs, 1).
    if (first == 0) {
        va_list ap;
        va_start(ap, first);
        ss.pointerArgs.push_back(va_arg(ap, int));
        va_end(ap);
    }
    ss.pointerAccepted = st().pointerResult != 0;
    return st().pointerResult;
}

extern "C" Bool vexoSWCursorInitialize(ScreenPtr pScreen) {
    server::screenState(pScreen->myNum).swCursor = true;
    return 1;
}

extern "C" Bool vexoSpriteInitialize(ScreenPtr pScreen, SpriteCursorFuncs *funcs) {
    server::screenState(pScreen->myNum).spriteFuncs = funcs;
    return st().spriteResult;
}

extern "C" Bool vexoScreenActive(void) {
    return st().screenActive;
}

// ======================= frame-buffer layer =======================

extern "C" Bool nfbScreenInit(ScreenPtr pScreen, int width, int height, int mmWidth, int mmHeight) {
    ScreenHolder *h = holderOf(pScreen);
    if (!h || st().failScreenInit)
        return 0;
    pScreen->width = static_cast<int16_t>(width);
    pScreen->height = static_cast<int16_t>(height);
    pScreen->mmWidth = static_cast<int16_t>(mmWidth);
    pScreen->mmHeight = static_cast<int16_t>(mmHeight);

    h->gcTemplate = std::make_unique<nfbGCPrivate>();
    h->gcTemplate->alu = h->gcTemplate->alu0 = GXcopy;
    h->gcTemplate->planemask = h->gcTemplate->planemask0 = ~0u;

    h->nfbPriv = std::make_unique<nfbScreenPrivate>();
    nfbScreenPrivate *p = h->nfbPriv.get();
    p->screenPixmap.drawable.type = DRAWABLE_PIXMAP;
    p->screenPixmap.drawable.width = static_cast<uint16_t>(width);
    p->screenPixmap.drawable.height = static_cast<uint16_t>(height);
    p->screenPixmap.drawable.pScreen = pScreen;
    p->screenPixmap.refcnt = 1;
    p->gcTemplate = h->gcTemplate.get();
    pScreen->devPrivate = p;
    return 1;
}

// The frame-buffer layer's own screen set-up, as far as a driver relies on
// it: the devPrivate record, whose screen pixmap shows the frame buffer.
extern "C" Bool cfbScreenInit(ScreenPtr pScreen, void *fb, int width, int height, int mmWidth,
                              int mmHeight, int lineWidth) {
    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight))
        return 0;
    // The layer's record is a block of the server's memory, as the real
    // layer allocates it: a driver may copy its pixmap header and free it.
    auto *record = static_cast<nfbScreenPrivate *>(Xalloc(sizeof(nfbScreenPrivate)));
    if (!record) {
        pScreen->devPrivate = nullptr;
        return 0;
    }
    std::memcpy(record, pScreen->devPrivate, sizeof(nfbScreenPrivate));
    pScreen->devPrivate = record;
    // The layer offers its 8-bit visual, as its own set-up does.
    VisualRec visual = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
    if (!nfbAddVisual(pScreen, &visual)) {
        Xfree(record);
        pScreen->devPrivate = nullptr;
        return 0;
    }
    PixmapRec &pixmap = record->screenPixmap;
    pixmap.devPrivate = fb;
    // The depth is not known yet: a line of 8-bit pixels, as the 8-bit layer has it.
    pixmap.devKind = lineWidth;
    return 1;
}

// The layer's colormap hooks, for a screen whose hooks the layer's own
// screen set-up did not install: they keep the installed map in the
// record and reach the palette through its SetColor and LoadColormap.
extern "C" void nfbInstallColormap(ColormapPtr pmap) {
    if (!pmap || !pmap->pScreen)
        return;
    nfbScreenPrivate *p = NFB_SCREEN_PRIV(pmap->pScreen);
    if (!p || p->installedCmap == pmap)
        return;
    p->installedCmap = pmap;
    if (p->LoadColormap)
        p->LoadColormap(pmap);
}

extern "C" void nfbUninstallColormap(ColormapPtr pmap) {
    if (!pmap || !pmap->pScreen)
        return;
    ScreenPtr pScreen = pmap->pScreen;
    nfbScreenPrivate *p = NFB_SCREEN_PRIV(pScreen);
    if (!p || p->installedCmap != pmap)
        return;
    if (pScreen->defColormap && pScreen->defColormap != pmap)
        nfbInstallColormap(pScreen->defColormap);
}

extern "C" int nfbListInstalledColormaps(ScreenPtr pScreen, XID *list) {
    nfbScreenPrivate *p = pScreen ? NFB_SCREEN_PRIV(pScreen) : nullptr;
    if (!p || !p->installedCmap)
        return 0;
    if (list)
        list[0] = p->installedCmap->mid;
    return 1;
}

extern "C" void nfbStoreColors(ColormapPtr pmap, int n, xColorItem *items) {
    if (!pmap || !pmap->pScreen || !items)
        return;
    nfbScreenPrivate *p = NFB_SCREEN_PRIV(pmap->pScreen);
    if (!p || p->installedCmap != pmap || !p->SetColor)
        return;
    for (int i = 0; i < n; i++)
        p->SetColor(0, static_cast<int>(items[i].pixel), items[i].red, items[i].green,
                    items[i].blue, pmap->pScreen);
}

extern "C" Bool nfbSaveScreen(ScreenPtr pScreen, int on) {
    nfbScreenPrivate *p = pScreen ? NFB_SCREEN_PRIV(pScreen) : nullptr;
    if (p && p->BlankScreen)
        p->BlankScreen(on, pScreen);
    return 1;
}

extern "C" Bool nfbAddVisual(ScreenPtr pScreen, VisualPtr pVisual) {
    ScreenHolder *h = holderOf(pScreen);
    if (!h || !pVisual || st().failAddVisual)
        return 0;
    VisualRec v = *pVisual;
    v.vid = st().nextId++;
    h->visuals.push_back(v);
    pScreen->visuals = h->visuals.data();
    pScreen->numVisuals = static_cast<int32_t>(h->visuals.size());
    pScreen->rootDepth = static_cast<uint8_t>(pVisual->nplanes);
    if (h->nfbPriv)
        h->nfbPriv->screenPixmap.drawable.depth = static_cast<uint8_t>(pVisual->nplanes);
    return 1;
}

extern "C" void nfbSetOptions(ScreenPtr pScreen, int version, int flags, int) {
    server::ScreenState &ss = server::screenState(pScreen->myNum);
    ss.optionsSet = true;
    ss.optionsVersion = version;
    ss.optionFlags = flags;
    if (nfbScreenPrivate *p = NFB_SCREEN_PRIV(pScreen)) {
        p->layerOptions = version;
        p->layerFlags = flags;
    }
}

extern "C" int nfbHelpValidateGC(GCPtr pGC, uint32_t, DrawablePtr pDraw) {
    st().helpValidateCalls++;
    nfbGCPrivate *p = NFB_GC_PRIV(pGC);
    p->fgPixel = p->fgPixel0 = pGC->fgPixel;
    p->bgPixel = pGC->bgPixel;
    p->alu = p->alu0 = pGC->alu;
    p->planemask = p->planemask0 = pGC->planemask;
    // Drivers draw in screen coordinates, so the pattern origin is moved there.
    p->patOrg.x = static_cast<int16_t>(pGC->patOrg.x + pDraw->x);
    p->patOrg.y = static_cast<int16_t>(pGC->patOrg.y + pDraw->y);
    auto it = st().gcs.find(pGC);
    if (it != st().gcs.end()) {
        RegionRec &clip = it->second->clip;
        ScreenPtr pScreen = pDraw->pScreen;
        int x2 = pDraw->x + pDraw->width, y2 = pDraw->y + pDraw->height;
        if (pScreen) {
            x2 = x2 < pScreen->width ? x2 : pScreen->width;
            y2 = y2 < pScreen->height ? y2 : pScreen->height;
        }
        int x1 = pDraw->x > 0 ? pDraw->x : 0, y1 = pDraw->y > 0 ? pDraw->y : 0;
        clip.extents = {static_cast<int16_t>(x1), static_cast<int16_t>(y1),
                        static_cast<int16_t>(x2 > x1 ? x2 : x1),
                        static_cast<int16_t>(y2 > y1 ? y2 : y1)};
        clip.data = nullptr;
        p->compositeClip = &clip;
    }
    return 1;
}

extern "C" void nfbReplicateArea(BoxPtr box, int cellWidth, int cellHeight, uint32_t planemask,
                                 DrawablePtr pDraw) {
    using server::arg;
    server::logGenCall({"nfbReplicateArea",
                        {arg(box), arg(cellWidth), arg(cellHeight), arg(planemask), arg(pDraw)}});
    if (!box || cellWidth <= 0 || cellHeight <= 0 || pDraw->type != DRAWABLE_WINDOW)
        return;
    nfbWindowPrivate *wp = NFB_WINDOW_PRIV(reinterpret_cast<WindowPtr>(pDraw));
    if (!wp || !wp->ops || !wp->ops->CopyRect)
        return;
    const int x1 = box->x1, y1 = box->y1;
    const int w = box->x2 - x1, h = box->y2 - y1;
    if (w <= 0 || h <= 0)
        return;
    const int rows = cellHeight < h ? cellHeight : h;
    DDXPointRec origin = {static_cast<int16_t>(x1), static_cast<int16_t>(y1)};
    // Double the filled width with each copy, then the filled height; source
    // and destination never overlap.
    for (int done = cellWidth; done < w;) {
        int n = done < w - done ? done : w - done;
        BoxRec dst = {static_cast<int16_t>(x1 + done), static_cast<int16_t>(y1),
                      static_cast<int16_t>(x1 + done + n), static_cast<int16_t>(y1 + rows)};
        wp->ops->CopyRect(&dst, &origin, GXcopy, planemask, pDraw);
        done += n;
    }
    for (int done = rows; done < h;) {
        int n = done < h - done ? done : h - done;
        BoxRec dst = {static_cast<int16_t>(x1), static_cast<int16_t>(y1 + done),
                      static_cast<int16_t>(x1 + w), static_cast<int16_t>(y1 + done + n)};
        wp->ops->CopyRect(&dst, &origin, GXcopy, planemask, pDraw);
        done += n;
    }
}

extern "C" Bool nfbInitializeText8(ScreenPtr pScreen, int slots, int cellWidth, int cellHeight,
                                   DownloadFont8Proc download, int) {
    server::ScreenState &ss = server::screenState(pScreen->myNum);
    ss.text8 = true;
    ss.text8Slots = slots > 0 ? slots : 0;
    ss.text8CellWidth = cellWidth;
    ss.text8CellHeight = cellHeight;
    ss.downloadFont8 = download;
    ss.slotFonts.assign(static_cast<size_t>(ss.text8Slots), nullptr);
    ss.nextSlot = 0;
    return ss.text8Slots > 0 && download != nullptr;
}

extern "C" void nfbCloseText8(ScreenPtr pScreen) {
    server::ScreenState &ss = server::screenState(pScreen->myNum);
    ss.text8 = false;
    ss.text8Slots = 0;
    ss.downloadFont8 = nullptr;
    ss.slotFonts.clear();
    ss.nextSlot = 0;
}

extern "C" void nfbGCOpsCacheInit(void) {}
extern "C" void nfbGCOpsCacheReset(void) {}

// ======================= colormaps =======================

namespace {

int maskBits(uint32_t mask) {
    int n = 0;
    for (; mask; mask &= mask - 1)
        n++;
    return n;
}

// The default colormap's contents: black and white at 0 and 1 for a
// colormap visual, full ramps for a TrueColor one.
void fillDefaultColormap(ScreenPtr pScreen, ColormapHolder &cm) {
    const VisualRec &v = *cm.rec.pVisual;
    if (v.class_ == TrueColor) {
        size_t n = cm.red.size();
        for (size_t i = 0; i < n; i++) {
            uint16_t c = static_cast<uint16_t>(n > 1 ? i * 65535 / (n - 1) : 0);
            cm.red[i].co.local = {c, 0, 0};
            cm.green[i].co.local = {0, c, 0};
            cm.blue[i].co.local = {0, 0, c};
        }
        pScreen->blackPixel = 0;
        pScreen->whitePixel = v.redMask | v.greenMask | v.blueMask;
        return;
    }
    if (cm.red.size() > 1)
        cm.red[1].co.local = {0xFFFF, 0xFFFF, 0xFFFF};
    pScreen->blackPixel = 0;
    pScreen->whitePixel = 1;
}

Bool createDefColormap(ScreenPtr pScreen) {
    if (st().failColormap || pScreen->numVisuals < 1 || !pScreen->visuals)
        return 0;
    ColormapPtr map = server::createColormap(pScreen, &pScreen->visuals[0]);
    if (!map)
        return 0;
    ScreenHolder *h = holderOf(pScreen);
    fillDefaultColormap(pScreen, *h->colormaps.back());
    pScreen->defColormap = map;
    if (nfbScreenPrivate *p = NFB_SCREEN_PRIV(pScreen)) {
        p->installedCmap = map;
        if (p->LoadColormap)
            p->LoadColormap(map);
    }
    return 1;
}

void entryRGB(const Entry &e, uint16_t &r, uint16_t &g, uint16_t &b) {
    if (e.fShared) {
        r = e.co.shco.red ? e.co.shco.red->color : 0;
        g = e.co.shco.green ? e.co.shco.green->color : 0;
        b = e.co.shco.blue ? e.co.shco.blue->color : 0;
    } else {
        r = e.co.local.red;
        g = e.co.local.green;
        b = e.co.local.blue;
    }
}

} // namespace

extern "C" Bool cfbCreateDefColormap(ScreenPtr pScreen) {
    return createDefColormap(pScreen);
}
extern "C" Bool mfbCreateDefColormap(ScreenPtr pScreen) {
    return createDefColormap(pScreen);
}

extern "C" int FakeAllocColor(ColormapPtr pmap, xColorItem *item) {
    const VisualRec &v = *pmap->pVisual;
    if (v.class_ == TrueColor) {
        auto part = [](uint16_t c, uint32_t mask, uint32_t offset) {
            int bits = maskBits(mask);
            return bits ? (static_cast<uint32_t>(c) >> (16 - bits)) << offset : 0u;
        };
        item->pixel = part(item->red, v.redMask, v.offsetRed) |
                      part(item->green, v.greenMask, v.offsetGreen) |
                      part(item->blue, v.blueMask, v.offsetBlue);
        return 1;
    }
    // The closest entry of the map.
    uint64_t best = UINT64_MAX;
    for (int i = 0; i < v.ColormapEntries; i++) {
        uint16_t r, g, b;
        entryRGB(pmap->red[i], r, g, b);
        int64_t dr = r - item->red, dg = g - item->green, db = b - item->blue;
        uint64_t d = static_cast<uint64_t>(dr * dr + dg * dg + db * db);
        if (d < best) {
            best = d;
            item->pixel = static_cast<uint32_t>(i);
        }
    }
    return 1;
}

extern "C" void FakeFreeColor(ColormapPtr, Pixel) {}

extern "C" void NoopDDA(void) {}

extern "C" void genLoadColormap(ColormapPtr pmap) {
    using server::arg;
    server::logGenCall({"genLoadColormap", {arg(pmap)}});
    if (!pmap || !pmap->pVisual || !pmap->pScreen)
        return;
    nfbScreenPrivate *p = NFB_SCREEN_PRIV(pmap->pScreen);
    if (!p || !p->SetColor)
        return;
    const VisualRec &v = *pmap->pVisual;
    const bool direct = v.class_ == TrueColor && pmap->green && pmap->blue;
    for (int i = 0; i < v.ColormapEntries; i++) {
        uint16_t r, g, b;
        entryRGB(pmap->red[i], r, g, b);
        if (direct) {
            uint16_t unused;
            entryRGB(pmap->green[i], unused, g, unused);
            entryRGB(pmap->blue[i], unused, unused, b);
        }
        p->SetColor(0, i, r, g, b, pmap->pScreen);
    }
}

// ======================= the test side =======================

namespace server {

const std::vector<std::string> &fatalErrors() {
    return st().fatals;
}
const std::vector<std::string> &errorMessages() {
    return st().errors;
}
void clearErrorMessages() {
    st().errors.clear();
}
void setEchoErrorF(bool on) {
    st().echo = on;
}

std::vector<Block> liveBlocks() {
    std::vector<Block> out;
    st().blocks.forEach([&](void *p, const LiveBlock &b) { out.push_back({p, b.size, b.serial}); });
    std::sort(out.begin(), out.end(),
              [](const Block &a, const Block &b) { return a.serial < b.serial; });
    return out;
}
size_t liveBlockCount() {
    return st().blocks.size();
}
uint64_t allocationCount() {
    return st().allocations;
}
void failAllocationAfter(long n) {
    st().allocationsLeft = n < 0 ? -1 : n;
}
const std::vector<std::string> &memoryErrors() {
    return st().memoryErrors;
}

int screenPrivateCount() {
    return st().screenPrivates;
}
void failScreenPrivateIndex(bool on) {
    st().refuseScreenIndex = on;
}
int gcPrivateCount() {
    return st().gcPrivates;
}

void resetGeneration() {
    serverGeneration++;
}

void restart() {
    // What drivers still hold goes with the old server; its table's slots
    // serve the new one.
    BlockTable blocks;
    if (statePtr()) {
        State &old = st();
        old.blocks.forEach([](void *p, const LiveBlock &b) { rawFree(p, b.size); });
        old.blocks.clear();
        blocks = std::move(old.blocks);
    }
    statePtr() = std::make_unique<State>();
    st().blocks = std::move(blocks);
    initServerData();
}

ScreenPtr createScreen(int myNum) {
    auto h = std::make_unique<ScreenHolder>();
    h->visuals.reserve(32);
    h->privates.resize(static_cast<size_t>(st().screenPrivates), DevUnion{});
    ScreenRec &s = h->rec;
    s.myNum = myNum;
    s.devPrivates = h->privates.data();
    s.CreateGC = defaultCreateGC;
    s.QueryBestSize = defaultQueryBestSize;
    s.SaveScreen = defaultSaveScreen;
    ScreenPtr p = &h->rec;
    st().screens[p] = std::move(h);
    return p;
}

void destroyScreen(ScreenPtr pScreen) {
    auto it = st().screens.find(pScreen);
    if (it == st().screens.end())
        return;
    st().screenStates.erase(pScreen->myNum);
    // A record the frame-buffer layer's screen set-up allocated (or one a
    // driver put in its place) goes with the screen, as the layer's close
    // frees it.
    void *record = pScreen->devPrivate;
    if (record && record != it->second->nfbPriv.get() && st().blocks.find(record))
        Xfree(record);
    st().screens.erase(it);
}

void setActiveScreen(int index, ScreenConfig *config) {
    if (index < 0 || index >= MAXSCREENS)
        return;
    if (!config) {
        ddxActiveScreens[index] = nullptr;
        return;
    }
    st().active[index] = {index, config};
    ddxActiveScreens[index] = &st().active[index];
}

WindowPtr createWindow(ScreenPtr pScreen, int x, int y, int width, int height, int depth,
                       int bitsPerPixel) {
    auto h = std::make_unique<WindowHolder>();
    DrawableRec &d = h->rec.drawable;
    d.type = DRAWABLE_WINDOW;
    d.depth = static_cast<uint8_t>(depth);
    d.bitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
    d.id = st().nextId++;
    d.x = static_cast<int16_t>(x);
    d.y = static_cast<int16_t>(y);
    d.width = static_cast<uint16_t>(width);
    d.height = static_cast<uint16_t>(height);
    d.pScreen = pScreen;
    d.serialNumber = st().nextId++;
    h->privates.resize(static_cast<size_t>(nfbWindowPrivateIndex) + 1);
    h->privates[0].val = kServerPrivateMark;
    h->privates[static_cast<size_t>(nfbWindowPrivateIndex)].ptr = &h->priv;
    h->rec.devPrivates = h->privates.data();
    WindowPtr p = &h->rec;
    st().windows[p] = std::move(h);
    return p;
}

void destroyWindow(WindowPtr pWin) {
    for (WindowPtr &w : WindowTable)
        if (w == pWin)
            w = nullptr;
    st().windows.erase(pWin);
}

GCPtr createGC(ScreenPtr pScreen, int depth) {
    auto h = std::make_unique<GCHolder>();
    GCRec &gc = h->rec;
    gc.pScreen = pScreen;
    gc.depth = static_cast<uint8_t>(depth);
    gc.alu = GXcopy;
    gc.planemask = ~0u;
    gc.fgPixel = 1;
    gc.bgPixel = 0;
    gc.fillStyle = FillSolid;
    gc.lineWidth = 0;
    gc.funcs = &kServerGCFuncs;
    gc.serialNumber = st().nextId++;
    if (nfbScreenPrivate *sp = NFB_SCREEN_PRIV(pScreen); sp && sp->gcTemplate)
        h->priv = *sp->gcTemplate;
    h->privates.resize(static_cast<size_t>(st().gcPrivates));
    h->privates[0].val = kServerPrivateMark;
    h->privates[static_cast<size_t>(nfbGCPrivateIndex)].ptr = &h->priv;
    for (auto &[index, size] : st().gcPrivateSizes) {
        if (index >= st().gcPrivates)
            continue;
        h->blocks.push_back(std::make_unique<uint8_t[]>(size ? size : 1));
        h->privates[static_cast<size_t>(index)].ptr = h->blocks.back().get();
    }
    gc.devPrivates = h->privates.data();
    GCPtr p = &h->rec;
    st().gcs[p] = std::move(h);
    if (pScreen && pScreen->CreateGC)
        pScreen->CreateGC(p);
    return p;
}

void destroyGC(GCPtr pGC) {
    auto it = st().gcs.find(pGC);
    if (it == st().gcs.end())
        return;
    if (pGC->funcs && pGC->funcs->DestroyGC)
        pGC->funcs->DestroyGC(pGC);
    st().gcs.erase(pGC);
}

PixmapPtr createPixmap(ScreenPtr pScreen, int width, int height, int depth, int bitsPerPixel,
                       int devKind) {
    auto h = std::make_unique<PixmapHolder>();
    DrawableRec &d = h->rec.drawable;
    d.type = DRAWABLE_PIXMAP;
    d.depth = static_cast<uint8_t>(depth);
    d.bitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
    d.id = st().nextId++;
    d.width = static_cast<uint16_t>(width);
    d.height = static_cast<uint16_t>(height);
    d.pScreen = pScreen;
    d.serialNumber = st().nextId++;
    h->rec.refcnt = 1;
    h->rec.devKind = devKind;
    h->data.assign(static_cast<size_t>(devKind > 0 ? devKind : 0) *
                           static_cast<size_t>(height > 0 ? height : 0) +
                       1,
                   0);
    h->rec.devPrivate = h->data.data();
    PixmapPtr p = &h->rec;
    st().pixmaps[p] = std::move(h);
    return p;
}

void destroyPixmap(PixmapPtr p) {
    st().pixmaps.erase(p);
}

FontPtr createFont(Text8FontInfo *info) {
    auto h = std::make_unique<FontHolder>();
    h->priv.text8Info = info;
    h->priv.fontId = 0;
    h->privates.resize(static_cast<size_t>(nfbFontPrivateIndex) + 1);
    h->privates[0].val = kServerPrivateMark;
    h->privates[static_cast<size_t>(nfbFontPrivateIndex)].ptr = &h->priv;
    h->rec.devPrivates = h->privates.data();
    h->rec.maxPrivate = static_cast<int32_t>(h->privates.size()) - 1;
    FontPtr p = &h->rec;
    st().fonts[p] = std::move(h);
    return p;
}

void destroyFont(FontPtr p) {
    st().fonts.erase(p);
}

ScreenState &screenState(int myNum) {
    return st().screenStates[myNum];
}

const std::vector<PixmapFormat> &pixmapFormats() {
    return st().formats;
}
void setPixmapFormatResult(Bool b) {
    st().pixmapFormatResult = b;
}
void setPointerResult(Bool b) {
    st().pointerResult = b;
}
void setSpriteResult(Bool b) {
    st().spriteResult = b;
}
void setScreenActive(Bool b) {
    st().screenActive = b;
}
void failScreenInit(bool on) {
    st().failScreenInit = on;
}
void failAddVisual(bool on) {
    st().failAddVisual = on;
}
void failCreateColormap(bool on) {
    st().failColormap = on;
}

int text8SlotFor(ScreenPtr pScreen, const Text8FontInfo *font) {
    ScreenState &ss = screenState(pScreen->myNum);
    if (!ss.text8 || ss.text8Slots <= 0 || !ss.downloadFont8 || !font || !font->usable ||
        font->glyphWidth > ss.text8CellWidth || font->glyphHeight > ss.text8CellHeight)
        return -1;
    for (size_t i = 0; i < ss.slotFonts.size(); i++)
        if (ss.slotFonts[i] == font)
            return static_cast<int>(i);
    int slot = ss.nextSlot;
    ss.nextSlot = (ss.nextSlot + 1) % ss.text8Slots;
    ss.slotFonts[static_cast<size_t>(slot)] = font;
    ss.downloadFont8(font->glyphs, font->nglyphs, font->glyphWidth, font->glyphHeight,
                     font->glyphStride, slot, pScreen);
    return slot;
}

const Text8FontInfo *text8FontInSlot(ScreenPtr pScreen, int slot) {
    ScreenState &ss = screenState(pScreen->myNum);
    if (slot < 0 || static_cast<size_t>(slot) >= ss.slotFonts.size())
        return nullptr;
    return ss.slotFonts[static_cast<size_t>(slot)];
}

void forgetText8Font(ScreenPtr pScreen, const Text8FontInfo *font) {
    for (const Text8FontInfo *&f : screenState(pScreen->myNum).slotFonts)
        if (f == font)
            f = nullptr;
}

void forgetText8Slots(ScreenPtr pScreen) {
    for (const Text8FontInfo *&f : screenState(pScreen->myNum).slotFonts)
        f = nullptr;
}

const std::vector<GenCall> &genCalls() {
    return st().genCalls;
}
void clearGenCalls() {
    st().genCalls.clear();
}
std::vector<GenCall> genCallsOf(const std::string &routine) {
    std::vector<GenCall> out;
    for (const GenCall &c : st().genCalls)
        if (c.routine == routine)
            out.push_back(c);
    return out;
}
void logGenCall(GenCall call) {
    st().genCalls.push_back(std::move(call));
}

// ---- GC validation by the layer ----

void setGCClip(GCPtr pGC, const std::vector<BoxRec> *rects) {
    auto it = st().gcs.find(pGC);
    if (it == st().gcs.end())
        return;
    it->second->clientClipped = rects != nullptr;
    it->second->clientClip = rects ? *rects : std::vector<BoxRec>{};
}

void setGCDashes(GCPtr pGC, const std::vector<uint8_t> &dashes) {
    auto it = st().gcs.find(pGC);
    if (it == st().gcs.end())
        return;
    GCHolder &h = *it->second;
    h.dashes = dashes;
    pGC->numInDashList = static_cast<uint16_t>(h.dashes.size());
    pGC->dash = h.dashes.empty() ? nullptr : h.dashes.data();
}

void layerValidateGC(GCPtr pGC, DrawablePtr pDraw) {
    auto it = st().gcs.find(pGC);
    if (it == st().gcs.end() || !pDraw)
        return;
    GCHolder &h = *it->second;
    // The drawable's area on the screen.
    int ax1 = pDraw->x, ay1 = pDraw->y;
    int ax2 = ax1 + pDraw->width, ay2 = ay1 + pDraw->height;
    if (ScreenPtr pScreen = pDraw->pScreen) {
        ax2 = std::min(ax2, static_cast<int>(pScreen->width));
        ay2 = std::min(ay2, static_cast<int>(pScreen->height));
    }
    ax1 = std::max(ax1, 0);
    ay1 = std::max(ay1, 0);
    std::vector<BoxRec> boxes;
    auto add = [&](int x1, int y1, int x2, int y2) {
        x1 = std::max(x1, ax1);
        y1 = std::max(y1, ay1);
        x2 = std::min(x2, ax2);
        y2 = std::min(y2, ay2);
        if (x1 < x2 && y1 < y2)
            boxes.push_back({static_cast<int16_t>(x1), static_cast<int16_t>(y1),
                             static_cast<int16_t>(x2), static_cast<int16_t>(y2)});
    };
    if (!h.clientClipped)
        add(ax1, ay1, ax2, ay2);
    for (const BoxRec &b : h.clientClip)
        add(pDraw->x + b.x1, pDraw->y + b.y1, pDraw->x + b.x2, pDraw->y + b.y2);
    RegionRec &clip = h.clip;
    if (boxes.size() == 1) {
        clip.extents = boxes[0];
        clip.data = nullptr;
    } else {
        // An empty region or several rectangles: a data block with the count.
        clip.extents = {0, 0, 0, 0};
        if (!boxes.empty()) {
            clip.extents = boxes[0];
            for (const BoxRec &b : boxes) {
                clip.extents.x1 = std::min(clip.extents.x1, b.x1);
                clip.extents.y1 = std::min(clip.extents.y1, b.y1);
                clip.extents.x2 = std::max(clip.extents.x2, b.x2);
                clip.extents.y2 = std::max(clip.extents.y2, b.y2);
            }
        }
        const size_t words = (sizeof(RegDataRec) + boxes.size() * sizeof(BoxRec) + 3) / 4;
        h.clipData.assign(words, 0);
        auto *data = reinterpret_cast<RegDataRec *>(h.clipData.data());
        data->size = static_cast<int32_t>(boxes.size());
        data->numRects = static_cast<int32_t>(boxes.size());
        if (!boxes.empty())
            std::memcpy(data + 1, boxes.data(), boxes.size() * sizeof(BoxRec));
        clip.data = data;
    }
    NFB_GC_PRIV(pGC)->compositeClip = &clip;
}

int takeValidateResult() {
    int r = st().validateResult;
    st().validateResult = 0;
    return r;
}

} // namespace server

namespace {

// The server's ValidateGC: the layer's composite clip, the drawable's
// ValidateWindowGC slot, then the layer's own values when the driver did not
// ask for them (also when the slot ends the server).
void serverValidateGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw) {
    WinOps *ops = nullptr;
    if (pDraw && pDraw->type == DRAWABLE_WINDOW)
        if (nfbWindowPrivate *wp = NFB_WINDOW_PRIV(reinterpret_cast<WindowPtr>(pDraw)))
            ops = wp->ops;
    if (!ops || !ops->ValidateWindowGC)
        return;
    server::layerValidateGC(pGC, pDraw);
    struct Finish {
        GCPtr gc;
        DrawablePtr d;
        uint64_t helps;
        ~Finish() { server::layerFinishValidateGC(gc, d, helps); }
    } finish{pGC, pDraw, server::helpValidateCount()};
    st().validateResult = ops->ValidateWindowGC(pGC, changes, pDraw);
}

} // namespace

namespace server {

uint64_t helpValidateCount() {
    return st().helpValidateCalls;
}

void layerFinishValidateGC(GCPtr pGC, DrawablePtr pDraw, uint64_t helpCallsBefore) {
    if (st().helpValidateCalls == helpCallsBefore) {
        nfbGCPrivate *p = NFB_GC_PRIV(pGC);
        p->fgPixel = p->fgPixel0 = pGC->fgPixel;
        p->bgPixel = pGC->bgPixel;
        p->alu = p->alu0 = pGC->alu;
        p->planemask = p->planemask0 = pGC->planemask;
    }
    if (pDraw)
        pGC->serialNumber = pDraw->serialNumber;
}

ColormapPtr createColormap(ScreenPtr pScreen, VisualPtr visual) {
    ScreenHolder *h = holderOf(pScreen);
    if (!h || !visual)
        return nullptr;
    auto cm = std::make_unique<ColormapHolder>();
    size_t n = visual->ColormapEntries;
    cm->red.assign(n, Entry{});
    cm->green.assign(n, Entry{});
    cm->blue.assign(n, Entry{});
    cm->rec.pVisual = visual;
    cm->rec.pScreen = pScreen;
    cm->rec.mid = st().nextId++;
    cm->rec.red = cm->red.data();
    cm->rec.green = cm->green.data();
    cm->rec.blue = cm->blue.data();
    h->colormaps.push_back(std::move(cm));
    return &h->colormaps.back()->rec;
}

} // namespace server

// ======================= port routines under other names =======================

// They reach the simulated machine through the server's own port routines.
extern "C" uint16_t inpw(uint16_t port) {
    return inw(port);
}
extern "C" void outpw(uint16_t port, uint16_t value) {
    outw(port, value);
}
extern "C" uint8_t inp(uint16_t port) {
    return inb(port);
}
extern "C" void outp(uint16_t port, uint8_t value) {
    outb(port, value);
}
