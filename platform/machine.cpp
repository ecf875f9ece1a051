// The simulated machine. Memory areas are real host mappings so that a
// driver's plain loads and stores work and its overruns fault: every area sits
// in a reservation with an inaccessible page on each side. Video memory is a
// memfd, so the model's own view, the linear aperture and any banked window are
// mappings of the same pages and can never disagree.
//
// Placement choice: an area starts on a page boundary (as the server's
// mappings of physical memory do, and as drivers that compute register
// addresses from the mapped base expect). A raw access faults from the first
// page past the area's length; accesses through the accessors are checked
// against the exact length.
//
// Pages the processor may not simply own are kept closed and served by the
// fault handler (x86-64 Linux):
// - A page a device shares with memory (a register block that does not fill
//   its page): a plain access to the memory part opens the page for exactly
//   one instruction (the trap flag is set in the interrupted context, and the
//   trap that follows closes the page again); the device's bytes read 0xFF
//   meanwhile and what is written there is put back. A string instruction
//   traps after each element, so a copy through the page works element by
//   element. A plain access that starts in the device part, or a write that
//   changes it, is reported.
// - A page with no memory at all (devices only, or past the video memory a
//   view shows): the first plain access is reported, and a read-only page of
//   0xFF bytes is put there, so reads give 0xFF without further faults; a
//   write runs on a private copy of it for one instruction and is lost.
#include "machine.h"

#include "pcibus.h"

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

// The busy-engine guard catches processor accesses with its own SIGSEGV
// handler, which AddressSanitizer must let the program install.
extern "C" __attribute__((weak)) const char *__asan_default_options() {
    return "allow_user_segv_handler=1:handle_segv=1";
}

namespace sim {

namespace {

const char *const kBusyMessage = "processor access to video memory while the engine is busy";

size_t pageSize() {
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

size_t roundUp(size_t n) {
    size_t p = pageSize();
    return (n + p - 1) / p * p;
}

uintptr_t pageDown(uintptr_t a) {
    return a / pageSize() * pageSize();
}

[[noreturn]] void systemError(const char *what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void protect(void *addr, size_t len, int prot) {
    if (len != 0 && mprotect(addr, len, prot) != 0)
        systemError("mprotect");
}

std::string hex(uint64_t v, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
    return buf;
}

// ---- state shared with the SIGSEGV handler ----
// The handler may only touch lock-free atomics and call mprotect, so the
// guard's state lives in fixed tables rather than in the machine. Several
// machines may live side by side (a screen each): each claims its entries
// and frees them when it goes.
//
// An owner is one video memory shown by views on the machine:
//   armed:   its engine is busy and no processor access was caught yet;
//   closed:  the raw ranges of its views are PROT_NONE;
//   touched: the processor opened them while the engine was idle.
// Armed implies closed. Closed but not armed is an idle engine whose views
// nobody touched since: the first touch opens them without a report.
struct GuardOwner {
    std::atomic<bool> claimed{false}; // by a machine
    std::atomic<bool> armed{false};
    std::atomic<bool> closed{false};
    std::atomic<bool> touched{false};
};
// One raw range of a view (whole pages), registered for as long as the view
// has that layout, whatever the engine does.
struct GuardRange {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> length{0}; // 0: free
    std::atomic<int> owner{0};
};
constexpr int kGuardOwners = 64;
constexpr int kGuardRanges = 512;
GuardOwner guardOwners[kGuardOwners];
GuardRange guardRanges[kGuardRanges];
// Scans stop here: no slot at or past it is in use.
std::atomic<int> guardOwnersUsed{0};
std::atomic<int> guardRangesUsed{0};
std::atomic<int> pendingBusyFaults{0};
std::atomic<bool> handlerInstalled{false};
struct sigaction previousAction;

// Pages the fault handler serves (see the top of this file), registered for
// as long as their area has that layout. Offsets are from `start`.
constexpr int kSpecialRanges = 1024;
constexpr int kMaxDeviceSpans = 4; // devices one page may hold
struct SpecialRange {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> length{0}; // 0: free
    // An always open view of the page's memory; null where there is none.
    std::atomic<uint8_t *> alias{nullptr};
    std::atomic<int> owner{-1}; // guard owner of that memory
    std::atomic<int> spans{0};
    std::atomic<uint32_t> span[kMaxDeviceSpans]{}; // device bytes: begin << 16 | end
    // Where a report about the range goes.
    std::atomic<const void *> machine{nullptr};
    std::atomic<int> area{-1};
    std::atomic<uint32_t> areaOffset{0}; // of `start`
    std::atomic<bool> reported{false};   // one report per range and layout
};
SpecialRange specialRanges[kSpecialRanges];
std::atomic<int> specialRangesUsed{0};

// Plain accesses to device or unbacked bytes caught by the handler, reported
// by their machine at its next safe point. A full list drops the newest.
struct RawReport {
    const void *machine;
    int area;
    uint32_t offset;
    bool write;
    bool device;
};
constexpr int kRawReports = 64;
RawReport rawReports[kRawReports];
std::atomic<int> rawReportCount{0};
// Busy faults plus raw reports not yet handed to a machine: the accessors
// test only this.
std::atomic<int> pendingReports{0};

// The pages opened for the instruction being stepped (one instruction may
// reach several), with the device bytes they hid.
constexpr int kMaxSteps = 4;
struct Step {
    uintptr_t page;
    int range;
    bool discard;   // a write to a page where nothing answers
    uint8_t *saved; // a page, made when the handler is installed
};
Step steps[kMaxSteps];
std::atomic<int> stepCount{0};
std::atomic<bool> trapHandlerInstalled{false};
struct sigaction previousTrapAction;
// A page of 0xFF bytes, mapped privately where nothing answers.
int discardFd = -1;
size_t handlerPage = 0; // the page size, read once outside the handler

constexpr uint64_t kTrapFlag = 0x100;      // EFLAGS.TF
constexpr uint64_t kPageFaultWrite = 0x02; // page-fault error code: a write

// The owner whose view holds `addr`, or -1.
int guardOwnerAt(uintptr_t addr) {
    int n = guardRangesUsed.load(std::memory_order_relaxed);
    for (int i = 0; i < n; i++) {
        const GuardRange &r = guardRanges[i];
        uintptr_t len = r.length.load(std::memory_order_relaxed);
        if (len != 0 && addr - r.start.load(std::memory_order_relaxed) < len)
            return r.owner.load(std::memory_order_relaxed);
    }
    return -1;
}

// Gives the processor back the views of `owner`, or of every owner for -1.
// Returns false if an mprotect failed.
bool openViews(int owner) {
    bool ok = true;
    int n = guardRangesUsed.load(std::memory_order_relaxed);
    for (int i = 0; i < n; i++) {
        const GuardRange &r = guardRanges[i];
        uintptr_t len = r.length.load(std::memory_order_relaxed);
        int o = r.owner.load(std::memory_order_relaxed);
        if (len == 0 || (owner >= 0 && o != owner) ||
            !guardOwners[o].closed.load(std::memory_order_relaxed))
            continue;
        void *start = reinterpret_cast<void *>(r.start.load(std::memory_order_relaxed));
        ok = mprotect(start, len, PROT_READ | PROT_WRITE) == 0 && ok;
    }
    int owners = guardOwnersUsed.load(std::memory_order_relaxed);
    for (int o = 0; o < owners; o++)
        if (owner < 0 || o == owner)
            guardOwners[o].closed.store(false, std::memory_order_relaxed);
    return ok;
}

// A caught access ends the busy period of every engine: one report per
// period, and the memory is given back so the access can complete.
bool endEveryGuard() {
    int owners = guardOwnersUsed.load(std::memory_order_relaxed);
    for (int o = 0; o < owners; o++)
        guardOwners[o].armed.store(false, std::memory_order_relaxed);
    return openViews(-1);
}

// ---- pages the handler serves ----

int specialAt(uintptr_t addr) {
    int n = specialRangesUsed.load(std::memory_order_relaxed);
    for (int i = 0; i < n; i++) {
        const SpecialRange &r = specialRanges[i];
        uintptr_t len = r.length.load(std::memory_order_relaxed);
        if (len != 0 && addr - r.start.load(std::memory_order_relaxed) < len)
            return i;
    }
    return -1;
}

uint32_t spanBegin(uint32_t span) {
    return span >> 16;
}
uint32_t spanEnd(uint32_t span) {
    return span & 0xFFFF;
}

bool inDeviceSpan(const SpecialRange &r, uint32_t offset) {
    int n = r.spans.load(std::memory_order_relaxed);
    for (int i = 0; i < n; i++) {
        uint32_t s = r.span[i].load(std::memory_order_relaxed);
        if (offset >= spanBegin(s) && offset < spanEnd(s))
            return true;
    }
    return false;
}

void queueRawReport(const SpecialRange &r, uint32_t offset, bool write, bool device) {
    int n = rawReportCount.load(std::memory_order_relaxed);
    if (n < kRawReports) {
        rawReports[n] = RawReport{
            r.machine.load(std::memory_order_relaxed), r.area.load(std::memory_order_relaxed),
            r.areaOffset.load(std::memory_order_relaxed) + offset, write, device};
        rawReportCount.store(n + 1, std::memory_order_relaxed);
    }
    pendingReports.fetch_add(1, std::memory_order_relaxed);
}

// The page of 0xFF bytes where nothing answers: read-only, so reads need no
// fault, or a writable private copy for one instruction.
bool mapDiscard(uintptr_t page, bool writable) {
    int prot = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    return mmap(reinterpret_cast<void *>(page), handlerPage, prot, MAP_PRIVATE | MAP_FIXED,
                discardFd, 0) != MAP_FAILED;
}

// Opens a page for the faulting instruction only: a page shared by memory
// and devices (the device bytes read 0xFF meanwhile), or a writable copy of
// the discard page.
bool beginStep(int range, uintptr_t page, bool discard, ucontext_t *uc) {
    int n = stepCount.load(std::memory_order_relaxed);
    if (n == kMaxSteps)
        return false;
    Step &st = steps[n];
    if (discard) {
        if (!mapDiscard(page, true))
            return false;
    } else {
        const SpecialRange &r = specialRanges[range];
        uint8_t *alias = r.alias.load(std::memory_order_relaxed);
        int spans = r.spans.load(std::memory_order_relaxed);
        for (int i = 0; i < spans; i++) {
            uint32_t s = r.span[i].load(std::memory_order_relaxed);
            for (uint32_t b = spanBegin(s); b < spanEnd(s); b++) {
                st.saved[b] = alias[b];
                alias[b] = 0xFF;
            }
        }
        if (mprotect(reinterpret_cast<void *>(page), handlerPage, PROT_READ | PROT_WRITE) != 0)
            return false;
    }
    st.page = page;
    st.range = range;
    st.discard = discard;
    stepCount.store(n + 1, std::memory_order_relaxed);
    uc->uc_mcontext.gregs[REG_EFL] |= static_cast<greg_t>(kTrapFlag);
    return true;
}

// Closes a stepped page again: what was written where nothing answers is
// lost, and a write that reached a device's bytes is reported and undone.
void endStep(const Step &st) {
    if (st.discard) {
        mapDiscard(st.page, false);
        return;
    }
    mprotect(reinterpret_cast<void *>(st.page), handlerPage, PROT_NONE);
    SpecialRange &r = specialRanges[st.range];
    uint8_t *alias = r.alias.load(std::memory_order_relaxed);
    int spans = r.spans.load(std::memory_order_relaxed);
    for (int i = 0; i < spans; i++) {
        uint32_t s = r.span[i].load(std::memory_order_relaxed);
        for (uint32_t b = spanBegin(s); b < spanEnd(s); b++) {
            if (alias[b] != 0xFF && !r.reported.exchange(true, std::memory_order_relaxed))
                queueRawReport(r, b, true, true);
            alias[b] = st.saved[b];
        }
    }
}

// A plain access to a page the handler serves; false if it cannot be served.
bool takeSpecialFault(int range, uintptr_t addr, void *context) {
    SpecialRange &r = specialRanges[range];
    auto *uc = static_cast<ucontext_t *>(context);
    bool write = (uc->uc_mcontext.gregs[REG_ERR] & kPageFaultWrite) != 0;
    uintptr_t start = r.start.load(std::memory_order_relaxed);
    uintptr_t page = start + (addr - start) / handlerPage * handlerPage;
    auto offset = static_cast<uint32_t>(addr - start);
    bool device = inDeviceSpan(r, offset);
    if (r.alias.load(std::memory_order_relaxed) == nullptr) {
        if (!r.reported.exchange(true, std::memory_order_relaxed))
            queueRawReport(r, offset, write, device);
        return write ? beginStep(range, page, true, uc) : mapDiscard(page, false);
    }
    int owner = r.owner.load(std::memory_order_relaxed);
    if (device) {
        if (!r.reported.exchange(true, std::memory_order_relaxed))
            queueRawReport(r, offset, write, true);
    } else if (owner >= 0 && guardOwners[owner].armed.load(std::memory_order_relaxed)) {
        pendingBusyFaults.fetch_add(1, std::memory_order_relaxed);
        pendingReports.fetch_add(1, std::memory_order_relaxed);
        endEveryGuard();
    }
    return beginStep(range, page, false, uc);
}

void segvHandler(int sig, siginfo_t *info, void *context) {
    (void)sig;
    auto addr = reinterpret_cast<uintptr_t>(info->si_addr);
    int owner = guardOwnerAt(addr);
    if (owner >= 0 && guardOwners[owner].closed.load(std::memory_order_relaxed)) {
        // Report later from a safe point (busy), or just open the idle
        // memory again; either way the instruction runs again and completes.
        if (guardOwners[owner].armed.load(std::memory_order_relaxed)) {
            pendingBusyFaults.fetch_add(1, std::memory_order_relaxed);
            pendingReports.fetch_add(1, std::memory_order_relaxed);
            endEveryGuard();
        } else {
            guardOwners[owner].touched.store(true, std::memory_order_relaxed);
            openViews(owner);
        }
        return;
    }
    int range = specialAt(addr);
    if (range >= 0 && takeSpecialFault(range, addr, context))
        return;
    // Not ours: hand the fault back to whoever handled it before (the
    // sanitizer or the default action). Returning retries the instruction,
    // which faults again into that handler.
    sigaction(SIGSEGV, &previousAction, nullptr);
    handlerInstalled.store(false);
}

// The instruction that ran with a page opened for it is done.
void trapHandler(int sig, siginfo_t *info, void *context) {
    (void)sig;
    (void)info;
    int n = stepCount.load(std::memory_order_relaxed);
    if (n == 0) {
        // Not a step of ours: let the previous disposition have it.
        sigaction(SIGTRAP, &previousTrapAction, nullptr);
        trapHandlerInstalled.store(false);
        raise(SIGTRAP);
        return;
    }
    for (int i = n - 1; i >= 0; i--)
        endStep(steps[i]);
    stepCount.store(0, std::memory_order_relaxed);
    static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_EFL] &=
        ~static_cast<greg_t>(kTrapFlag);
}

void makeDiscardPage() {
    if (discardFd >= 0)
        return;
    int fd = memfd_create("discard", MFD_CLOEXEC);
    if (fd < 0)
        systemError("memfd_create");
    std::vector<uint8_t> ones(pageSize(), 0xFF);
    if (ftruncate(fd, static_cast<off_t>(pageSize())) != 0 ||
        pwrite(fd, ones.data(), ones.size(), 0) != static_cast<ssize_t>(ones.size())) {
        close(fd);
        systemError("discard page");
    }
    // Kept for the life of the process: pages mapped from it may outlive
    // every machine that made them.
    discardFd = fd;
}

void installHandler() {
    if (handlerPage == 0) {
        handlerPage = pageSize();
        for (Step &st : steps)
            st.saved = new uint8_t[handlerPage];
        makeDiscardPage();
    }
    if (!handlerInstalled.load(std::memory_order_relaxed)) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = segvHandler;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGSEGV, &action, &previousAction) != 0)
            systemError("sigaction");
        handlerInstalled.store(true);
    }
    if (!trapHandlerInstalled.load(std::memory_order_relaxed)) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = trapHandler;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGTRAP, &action, &previousTrapAction) != 0)
            systemError("sigaction");
        trapHandlerInstalled.store(true);
    }
}

// Takes the raw reports of `machine` off the list, into `out` if given.
void dropRawReports(const void *machine, std::vector<RawReport> *out) {
    int n = rawReportCount.load(), kept = 0;
    for (int i = 0; i < n; i++) {
        if (rawReports[i].machine != machine)
            rawReports[kept++] = rawReports[i];
        else if (out != nullptr)
            out->push_back(rawReports[i]);
    }
    rawReportCount.store(kept);
    pendingReports.store(kept + pendingBusyFaults.load());
}

std::string rawAccessMessage(const std::string &area, const RawReport &r) {
    std::string s = std::string("processor ") + (r.write ? "write" : "read") + " at " + area + "+" +
                    hex(r.offset, 1);
    return s + (r.device ? ": a device's registers, which answer only through the accessors"
                         : ": no memory or device answers there");
}

const char *accessName(Access::Kind kind) {
    switch (kind) {
    case Access::PortIn:
        return "in";
    case Access::PortOut:
        return "out";
    case Access::MemRead:
        return "read";
    case Access::MemWrite:
        return "write";
    }
    return "?";
}

// The messages of the access paths are built out of line: a std::string in
// a function costs its every call stack set-up in the sanitizer build.
[[noreturn, gnu::noinline]] void stopPoll(Machine &m, const Access &what, uint64_t reads) {
    std::string message = "watchdog: " + m.describe(what) + " polled " + std::to_string(reads) +
                          " times without progress";
    m.fail(message);
    throw Abort(message);
}

[[gnu::noinline]] void unclaimedPort(Machine &m, const char *access, uint32_t port,
                                     const uint32_t *written) {
    std::string message = std::string("unclaimed port ") + access + " " + hex(port, 4);
    if (written != nullptr)
        message += " <- " + hex(*written, 2);
    m.fail(message);
}

} // namespace

// ---- video memory ----

namespace {

// Video memory given back by boards that went away, kept mapped for the next
// board of the same size. Test and fuzzing runs bring up a board for nearly
// every case: a fresh memory costs a page fault for every page the board
// clears, which took longer than a small screen's whole case. A reused one
// is cleared to zero as a fresh one reads.
struct SpareMemory {
    size_t size;
    int fd;
    uint8_t *data;
};
// Only memories a board clears whole are worth keeping: clearing a large one
// that a driver touches only in part costs more than the faults it saves.
constexpr size_t kSpareBytes = size_t{64} << 20, kLargestSpare = size_t{8} << 20;

std::vector<SpareMemory> &spareMemory() {
    static std::vector<SpareMemory> spares;
    return spares;
}

} // namespace

VideoMemory::VideoMemory(size_t size) : size_(size), fd_(-1), data_(nullptr) {
    if (size == 0)
        throw std::invalid_argument("video memory of 0 bytes");
    std::vector<SpareMemory> &spares = spareMemory();
    for (size_t i = spares.size(); i-- > 0;)
        if (spares[i].size == roundUp(size)) {
            fd_ = spares[i].fd;
            data_ = spares[i].data;
            spares.erase(spares.begin() + static_cast<long>(i));
            std::memset(data_, 0, roundUp(size));
            return;
        }
    fd_ = memfd_create("vram", MFD_CLOEXEC);
    if (fd_ < 0)
        systemError("memfd_create");
    // Whole pages, so that every view can map the last partial page.
    if (ftruncate(fd_, static_cast<off_t>(roundUp(size))) != 0) {
        close(fd_);
        systemError("ftruncate");
    }
    void *p = mmap(nullptr, roundUp(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) {
        close(fd_);
        systemError("mmap video memory");
    }
    data_ = static_cast<uint8_t *>(p);
}

VideoMemory::~VideoMemory() {
    std::vector<SpareMemory> &spares = spareMemory();
    size_t kept = 0;
    for (const SpareMemory &s : spares)
        kept += s.size;
    if (roundUp(size_) <= kLargestSpare && kept + roundUp(size_) <= kSpareBytes) {
        spares.push_back({roundUp(size_), fd_, data_});
        return;
    }
    munmap(data_, roundUp(size_));
    close(fd_);
}

// ---- the machine's private state ----

struct Machine::Impl {
    enum class Kind { Plain, Linear, Window };
    struct Range {
        uint8_t *start;
        size_t length;
    };
    struct DeviceRange {
        uint8_t *start;
        uint32_t length;
        MemDevice *dev;
    };
    // A device page (one page) or a run of pages past the memory a view
    // shows; the fault handler serves the processor's accesses there.
    struct Special {
        uint8_t *start;
        size_t length;
        uint8_t *alias; // always open view of the page's memory; null: none
        std::vector<std::pair<uint32_t, uint32_t>> spans; // device bytes [begin, end)
    };
    // A page of a plain area that a device shares: its bytes move to a memfd
    // so that they have a second, always open view.
    struct Backing {
        uint8_t *page;
        int fd;
        uint8_t *alias;
    };
    struct AreaRec {
        Area area;
        Kind kind = Kind::Plain;
        uint8_t *reservation = nullptr; // guard page included
        size_t reservationLength = 0;
        const VideoMemory *vram = nullptr;
        int owner = -1;  // guard owner of `vram`; -1 for plain memory
        int vramFd = -1; // own duplicate: the window outlives nobody's fd
        size_t vramSize = 0;
        size_t vramOffset = 0;
        size_t memStart = 0;                      // bytes before the memory a view shows
        size_t accessible = 0;                    // end of the bytes from host reachable as memory
        std::vector<DeviceRange> accessorDevices; // see mapAccessorDevice
        std::vector<Range> raw;                   // the accessible bytes outside device pages
        std::vector<Range> devPages;              // pages taken by devices
        std::vector<DeviceRange> devices;         // in mapping order, all inside the area
        std::vector<int> guardSlots;              // guardRanges entries holding `raw`
        std::vector<Special> special;             // pages the fault handler serves
        std::vector<int> specialSlots;            // specialRanges entries holding `special`
        std::vector<Backing> backings;            // plain pages shared with devices
        MemDevice *pastMemory = nullptr;          // accessor accesses past the memory
        ReadFilter readFilter;                    // accessor reads of the memory
    };
    // A video memory shown by views, and how its guard reopens the views
    // when the engine goes idle (see startGuard).
    struct OwnerRec {
        const VideoMemory *vram;
        int eagerRun = 0;  // idle periods to open at once after a touch
        int eagerLeft = 0; // of those, still to come
    };
    struct PortSlot {
        PortDevice *dev = nullptr;
        int width = 1;
    };
    // Bytes one device access takes: the device's width, at most what is
    // left; an unclaimed port answers byte by byte. (No std::min: its
    // reference arguments cost stack temporaries in the sanitizer build.)
    static int partWidth(const PortSlot &slot, int left) {
        if (slot.dev == nullptr)
            return 1;
        return slot.width < left ? slot.width : left;
    }
    struct PollEntry {
        uint64_t key = ~0ull;
        uint64_t count = 0;
        uint64_t lastUse = 0;
    };

    std::vector<AreaRec> areas;
    std::vector<OwnerRec> owners; // index: guard owner (vram null: another machine's)
    // The port space in pages of 256 ports, made when a device claims one:
    // a machine (one per screen, one per fuzz input) starts cheaply.
    struct PortPage {
        std::array<PortSlot, 256> slots{};
    };
    std::array<std::unique_ptr<PortPage>, 256> portPages;
    PortPage noDevices; // what an unclaimed page answers

    const PortSlot &port(uint32_t p) const {
        const PortPage *page = portPages[(p >> 8) & 0xFF].get();
        return (page ? page : &noDevices)->slots[p & 0xFF];
    }
    PortSlot &claimPort(uint32_t p) {
        auto &page = portPages[(p >> 8) & 0xFF];
        if (!page)
            page = std::make_unique<PortPage>();
        return page->slots[p & 0xFF];
    }
    PollEntry polls[4];
    PollEntry *lastPoll = &polls[0];
    bool pollsClear = true; // no read counted since the last write
    uint64_t pollClock = 0;
    // Accesses come in streaks to one area, owner or window: try the last
    // hit before scanning.
    mutable int lastArea = -1;
    int lastOwner = -1;
    int lastWindow = -1;

    ~Impl() {
        for (auto &a : areas) {
            releaseGuardSlots(a);
            releaseSpecialSlots(a);
        }
        for (size_t o = 0; o < owners.size(); o++) {
            if (owners[o].vram == nullptr)
                continue;
            guardOwners[o].armed.store(false);
            guardOwners[o].closed.store(false);
            guardOwners[o].touched.store(false);
            guardOwners[o].claimed.store(false);
        }
        for (auto &a : areas) {
            munmap(a.reservation, a.reservationLength);
            if (a.vramFd >= 0)
                close(a.vramFd);
            for (const Backing &b : a.backings) {
                munmap(b.alias, pageSize());
                close(b.fd);
            }
        }
    }

    AreaRec &reserve(const std::string &name, uint32_t physBase, uint32_t length) {
        size_t body = roundUp(length == 0 ? 1 : length);
        size_t total = body + 2 * pageSize();
        void *p =
            mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED)
            systemError("mmap area");
        AreaRec rec;
        rec.reservation = static_cast<uint8_t *>(p);
        rec.reservationLength = total;
        rec.area.name = name;
        rec.area.physBase = physBase;
        rec.area.length = length;
        rec.area.host = rec.reservation + pageSize();
        areas.push_back(std::move(rec));
        return areas.back();
    }

    // How many bytes of a view show video memory from `offset`.
    static size_t shownBytes(const AreaRec &a, size_t offset) {
        const size_t room = a.area.length - a.memStart;
        return offset < a.vramSize ? std::min<size_t>(room, a.vramSize - offset) : 0;
    }

    // Show vram from `offset` at `memStart` of a view; the rest stays closed.
    void mapVram(AreaRec &a) {
        size_t body = roundUp(a.area.length == 0 ? 1 : a.area.length);
        size_t shown = shownBytes(a, a.vramOffset);
        size_t shownEnd = std::min(a.memStart + roundUp(shown), body);
        if (a.memStart != 0) {
            void *p = mmap(a.area.host, a.memStart, PROT_NONE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED)
                systemError("mmap closed part of view");
        }
        if (shownEnd > a.memStart) {
            void *p = mmap(a.area.host + a.memStart, shownEnd - a.memStart, PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_FIXED, a.vramFd, static_cast<off_t>(a.vramOffset));
            if (p == MAP_FAILED)
                systemError("mmap video memory view");
        }
        if (body > shownEnd) {
            void *p = mmap(a.area.host + shownEnd, body - shownEnd, PROT_NONE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED)
                systemError("mmap closed part of view");
        }
        a.accessible = a.memStart + shown;
    }

    // Where the byte at `p` of a view lies in its video memory.
    static size_t vramAt(const AreaRec &a, const uint8_t *p) {
        return a.vramOffset + static_cast<size_t>(p - a.area.host) - a.memStart;
    }

    // A bank change that keeps the view's layout: only the pages the
    // processor may touch are mapped anew, each with the protection the
    // guard wants now, so no further call is needed.
    void remapRaw(AreaRec &a) {
        for (const Range &r : a.raw) {
            size_t at = vramAt(a, r.start);
            void *p = mmap(r.start, roundUp(r.length), rawProtection(a), MAP_SHARED | MAP_FIXED,
                           a.vramFd, static_cast<off_t>(at));
            if (p == MAP_FAILED)
                systemError("mmap video memory view");
        }
        if (a.special.empty())
            return;
        // Pages shared with a device show the new bank too, still closed.
        for (Special &sp : a.special) {
            if (sp.alias == nullptr)
                continue;
            size_t at = vramAt(a, sp.start);
            void *p = mmap(sp.start, sp.length, PROT_NONE, MAP_SHARED | MAP_FIXED, a.vramFd,
                           static_cast<off_t>(at));
            if (p == MAP_FAILED)
                systemError("mmap video memory view");
            sp.alias = a.vram->data() + at;
        }
        registerSpecial(a);
    }

    bool inDevicePage(const AreaRec &a, const uint8_t *p) const {
        for (auto &r : a.devPages)
            if (p >= r.start && p < r.start + r.length)
                return true;
        return false;
    }

    // The accessible bytes minus the pages devices took, split into runs.
    void computeRaw(AreaRec &a) {
        a.raw.clear();
        uint8_t *end = a.area.host + a.accessible;
        uint8_t *p = a.area.host + a.memStart;
        while (p < end) {
            if (inDevicePage(a, p)) {
                p += pageSize();
                continue;
            }
            uint8_t *q = p;
            while (q < end && !inDevicePage(a, q))
                q = std::min(end, q + pageSize());
            a.raw.push_back({p, static_cast<size_t>(q - p)});
            p = q;
        }
    }

    // Whether some byte of the page at `p` below `memEnd` is no device's.
    static bool hasMemory(const uint8_t *p, const uint8_t *memBegin, const uint8_t *memEnd,
                          const std::vector<std::pair<uint32_t, uint32_t>> &spans) {
        if (p < memBegin || p >= memEnd)
            return false;
        size_t end = std::min<size_t>(pageSize(), static_cast<size_t>(memEnd - p));
        // Whether the spans, taken from the left, leave a gap before `end`.
        std::vector<std::pair<uint32_t, uint32_t>> sorted(spans);
        std::sort(sorted.begin(), sorted.end());
        size_t covered = 0;
        for (auto &s : sorted) {
            if (s.first > covered)
                break;
            covered = std::max<size_t>(covered, s.second);
        }
        return covered < end;
    }

    // The page's bytes in a memfd, mapped closed at the page, with an open
    // view elsewhere; made once per page.
    uint8_t *backingFor(AreaRec &a, uint8_t *page) {
        for (const Backing &b : a.backings)
            if (b.page == page)
                return b.alias;
        size_t len = pageSize();
        int fd = memfd_create("shared page", MFD_CLOEXEC);
        if (fd < 0)
            systemError("memfd_create");
        if (ftruncate(fd, static_cast<off_t>(len)) != 0) {
            close(fd);
            systemError("ftruncate");
        }
        void *alias = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (alias == MAP_FAILED) {
            close(fd);
            systemError("mmap shared page");
        }
        // What the page held so far is the area's memory.
        protect(page, len, PROT_READ);
        std::memcpy(alias, page, len);
        if (mmap(page, len, PROT_NONE, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED)
            systemError("mmap shared page");
        a.backings.push_back({page, fd, static_cast<uint8_t *>(alias)});
        return static_cast<uint8_t *>(alias);
    }

    // The pages the fault handler serves: each device page (with the memory
    // beside its devices, if any), and the runs of pages past the memory.
    void computeSpecial(AreaRec &a) {
        a.special.clear();
        const size_t page = pageSize();
        std::vector<uint8_t *> pages;
        for (const Range &r : a.devPages)
            for (uint8_t *p = r.start; p < r.start + r.length; p += page)
                pages.push_back(p);
        std::sort(pages.begin(), pages.end());
        pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
        uint8_t *memBegin = a.area.host + a.memStart;
        uint8_t *memEnd = a.area.host + a.accessible;
        for (uint8_t *p : pages) {
            Special sp{p, page, nullptr, {}};
            for (const DeviceRange &d : a.devices) {
                uint8_t *b = std::max(d.start, p), *e = std::min(d.start + d.length, p + page);
                if (b < e)
                    sp.spans.push_back(
                        {static_cast<uint32_t>(b - p), static_cast<uint32_t>(e - p)});
            }
            if (sp.spans.size() > static_cast<size_t>(kMaxDeviceSpans))
                throw std::invalid_argument("mapDevice: more than " +
                                            std::to_string(kMaxDeviceSpans) +
                                            " devices in one page");
            if (hasMemory(p, memBegin, memEnd, sp.spans))
                sp.alias = a.kind == Kind::Plain ? backingFor(a, p) : a.vram->data() + vramAt(a, p);
            a.special.push_back(std::move(sp));
        }
        // The pages without memory: before the memory a view shows and past it.
        uint8_t *bodyEnd = a.area.host + roundUp(a.area.length == 0 ? 1 : a.area.length);
        const std::pair<uint8_t *, uint8_t *> empty[] = {
            {a.area.host, memBegin}, {a.area.host + roundUp(a.accessible), bodyEnd}};
        for (auto [p, end] : empty) {
            while (p < end) {
                if (inDevicePage(a, p)) {
                    p += page;
                    continue;
                }
                uint8_t *q = p;
                while (q < end && !inDevicePage(a, q))
                    q += page;
                a.special.push_back({p, static_cast<size_t>(q - p), nullptr, {}});
                p = q;
            }
        }
    }

    void releaseSpecialSlots(AreaRec &a) {
        for (int s : a.specialSlots)
            specialRanges[s].length.store(0);
        a.specialSlots.clear();
    }

    // Tell the fault handler which pages of the area it serves now.
    void registerSpecial(AreaRec &a) {
        releaseSpecialSlots(a);
        if (a.special.empty())
            return;
        installHandler();
        int index = static_cast<int>(&a - areas.data());
        int s = 0;
        for (const Special &sp : a.special) {
            while (s < kSpecialRanges && specialRanges[s].length.load() != 0)
                s++;
            if (s == kSpecialRanges)
                throw std::runtime_error("too many pages shared with devices");
            SpecialRange &r = specialRanges[s];
            r.start.store(reinterpret_cast<uintptr_t>(sp.start));
            r.alias.store(sp.alias);
            r.owner.store(a.owner);
            for (size_t i = 0; i < sp.spans.size(); i++)
                r.span[i].store(sp.spans[i].first << 16 | sp.spans[i].second);
            r.spans.store(static_cast<int>(sp.spans.size()));
            r.machine.store(this);
            r.area.store(index);
            r.areaOffset.store(static_cast<uint32_t>(sp.start - a.area.host));
            r.reported.store(false);
            r.length.store(sp.length);
            a.specialSlots.push_back(s);
            if (s >= specialRangesUsed.load())
                specialRangesUsed.store(s + 1);
        }
    }

    // The always open view of `width` bytes at `p` when they are all memory
    // of a page shared with devices, else null.
    static uint8_t *sharedMemory(const AreaRec &a, const uint8_t *p, int width) {
        for (const Special &sp : a.special) {
            if (sp.alias == nullptr || p < sp.start ||
                p + width > sp.start + static_cast<ptrdiff_t>(sp.length))
                continue;
            auto b = static_cast<uint32_t>(p - sp.start);
            uint32_t e = b + static_cast<uint32_t>(width);
            for (auto &span : sp.spans)
                if (b < span.second && span.first < e)
                    return nullptr;
            return sp.alias + b;
        }
        return nullptr;
    }

    // ---- the guard's tables ----

    // The guard owner of `vram`, or -1 when no view shows it.
    int ownerOf(const VideoMemory *vram) {
        if (lastOwner >= 0 && owners[static_cast<size_t>(lastOwner)].vram == vram)
            return lastOwner;
        for (size_t o = 0; o < owners.size(); o++)
            if (vram != nullptr && owners[o].vram == vram)
                return lastOwner = static_cast<int>(o);
        return -1;
    }

    int ownerFor(const VideoMemory *vram) {
        int o = ownerOf(vram);
        if (o >= 0)
            return o;
        // The first entry no machine holds.
        o = 0;
        while (o < kGuardOwners && guardOwners[o].claimed.load())
            o++;
        if (o == kGuardOwners)
            throw std::runtime_error("too many video memories");
        guardOwners[o].claimed.store(true);
        guardOwners[o].armed.store(false);
        guardOwners[o].closed.store(false);
        guardOwners[o].touched.store(false);
        if (owners.size() <= static_cast<size_t>(o))
            owners.resize(static_cast<size_t>(o) + 1, OwnerRec{nullptr});
        owners[static_cast<size_t>(o)] = OwnerRec{vram};
        if (o >= guardOwnersUsed.load())
            guardOwnersUsed.store(o + 1);
        return o;
    }

    static int rawProtection(const AreaRec &a) {
        bool closed = a.owner >= 0 && guardOwners[a.owner].closed.load(std::memory_order_relaxed);
        return closed ? PROT_NONE : PROT_READ | PROT_WRITE;
    }

    void releaseGuardSlots(AreaRec &a) {
        for (int s : a.guardSlots)
            guardRanges[s].length.store(0);
        a.guardSlots.clear();
    }

    // Tell the fault handler where the view's raw ranges are now.
    void registerRaw(AreaRec &a) {
        releaseGuardSlots(a);
        int s = 0;
        for (const Range &r : a.raw) {
            while (s < kGuardRanges && guardRanges[s].length.load() != 0)
                s++;
            if (s == kGuardRanges)
                throw std::runtime_error("too many guarded video memory ranges");
            guardRanges[s].start.store(reinterpret_cast<uintptr_t>(r.start));
            guardRanges[s].owner.store(a.owner);
            guardRanges[s].length.store(roundUp(r.length));
            a.guardSlots.push_back(s);
            if (s >= guardRangesUsed.load())
                guardRangesUsed.store(s + 1);
        }
    }

    // Apply the protections the area should have now.
    void applyProtection(const AreaRec &a) {
        for (auto &r : a.devPages)
            protect(r.start, r.length, PROT_NONE);
        int prot = rawProtection(a);
        for (auto &r : a.raw)
            protect(r.start, roundUp(r.length), prot);
    }

    // The raw ranges changed (new view, device, view length): recompute them
    // and make the fault handler and the protections agree.
    void relayout(AreaRec &a) {
        computeRaw(a);
        computeSpecial(a);
        if (a.owner >= 0)
            registerRaw(a);
        registerSpecial(a);
        applyProtection(a);
    }

    // Closing and opening the views cost a system call each (and, for pages
    // in use, a flush of the TLB); a touch of closed idle memory costs a
    // fault on top. So the views stay closed when the engine goes idle, and
    // a run of operations without the processor in between costs nothing.
    // Once the processor is seen coming back between operations, the views
    // are opened at once for the next 1, 3, 7 ... up to 63 idle periods
    // before looking again, so a driver that draws between every operation
    // takes one fault in 64 periods rather than one in each.
    static constexpr int kMaxEagerRun = 63;

    void startGuard(int owner) {
        GuardOwner &g = guardOwners[owner];
        learnFromIdlePeriod(owner);
        installHandler();
        if (!g.closed.load(std::memory_order_relaxed))
            closeViews(owner);
        g.armed.store(true);
    }

    void endGuard(int owner) {
        guardOwners[owner].armed.store(false);
        OwnerRec &o = owners[static_cast<size_t>(owner)];
        if (o.eagerLeft > 0) {
            o.eagerLeft--;
            if (!openViews(owner))
                systemError("mprotect");
        }
    }

    // At the start of an operation: did the processor come back in the idle
    // period now ending? (Unknown if the views were opened at once.)
    void learnFromIdlePeriod(int owner) {
        GuardOwner &g = guardOwners[owner];
        OwnerRec &o = owners[static_cast<size_t>(owner)];
        if (g.touched.exchange(false)) {
            o.eagerRun = std::min(2 * o.eagerRun + 1, kMaxEagerRun);
            o.eagerLeft = o.eagerRun;
        } else if (g.closed.load(std::memory_order_relaxed)) {
            o.eagerRun = 0;
            o.eagerLeft = 0;
        }
    }

    void closeViews(int owner) {
        for (const AreaRec &a : areas)
            if (a.owner == owner)
                for (const Range &r : a.raw)
                    protect(r.start, roundUp(r.length), PROT_NONE);
        guardOwners[owner].closed.store(true);
    }

    // ---- lookups ----

    static bool holds(const Area &ar, uintptr_t p, int width) {
        auto host = reinterpret_cast<uintptr_t>(ar.host);
        return p >= host && p + static_cast<unsigned>(width) <= host + ar.length;
    }

    int areaIndexOf(const volatile void *addr, int width) const {
        auto p = reinterpret_cast<uintptr_t>(addr);
        if (lastArea >= 0 && holds(areas[static_cast<size_t>(lastArea)].area, p, width))
            return lastArea;
        for (size_t i = 0; i < areas.size(); i++)
            if (holds(areas[i].area, p, width))
                return lastArea = static_cast<int>(i);
        // Partly inside: the area the access starts in, for the report.
        for (size_t i = 0; i < areas.size(); i++)
            if (holds(areas[i].area, p, 1))
                return static_cast<int>(i);
        return -1;
    }

    static const DeviceRange *deviceAt(const AreaRec &a, const uint8_t *p) {
        for (auto &d : a.devices)
            if (p >= d.start && p < d.start + d.length)
                return &d;
        return nullptr;
    }

    static const DeviceRange *accessorDeviceAt(const AreaRec &a, const uint8_t *p) {
        if (a.accessorDevices.empty())
            return nullptr;
        for (auto &d : a.accessorDevices)
            if (p >= d.start && p < d.start + d.length)
                return &d;
        return nullptr;
    }

    static bool rawAccessible(const AreaRec &a, const uint8_t *p, int width) {
        for (auto &r : a.raw)
            if (p >= r.start && p + width <= r.start + r.length)
                return true;
        return false;
    }

    AreaRec *windowAt(const uint8_t *host) {
        auto is = [&](int i) {
            const AreaRec &a = areas[static_cast<size_t>(i)];
            return a.area.host == host && a.kind == Kind::Window;
        };
        if (lastWindow >= 0 && is(lastWindow))
            return &areas[static_cast<size_t>(lastWindow)];
        for (size_t i = 0; i < areas.size(); i++)
            if (is(static_cast<int>(i)))
                return &areas[static_cast<size_t>(lastWindow = static_cast<int>(i))];
        return nullptr;
    }

    // ---- watchdog ----

    // Count a read of one location; returns the count of reads of it since
    // the last write anywhere. A few locations are tracked so that a loop
    // alternating between two status registers is caught as well.
    uint64_t countRead(uint64_t key) {
        pollClock++;
        pollsClear = false;
        if (lastPoll->key == key) {
            lastPoll->lastUse = pollClock;
            return ++lastPoll->count;
        }
        PollEntry *victim = &polls[0];
        for (auto &e : polls) {
            if (e.key == key) {
                e.lastUse = pollClock;
                lastPoll = &e;
                return ++e.count;
            }
            if (e.lastUse < victim->lastUse)
                victim = &e;
        }
        *victim = PollEntry{key, 1, pollClock};
        lastPoll = victim;
        return 1;
    }

    // The value last written to each of a number of locations (direct
    // mapped: a location that lost its entry counts as changed, which only
    // ever makes the watchdog more patient).
    struct LastWrite {
        uint64_t key = ~0ull;
        uint32_t value = 0;
    };
    std::array<LastWrite, 1024> lastWrites{};

    // A write is progress for the watchdog when it can have changed what a
    // poll sees: a value other than the last one written there. Rewriting an
    // index register with the index it already holds is not.
    bool writeChanges(uint64_t key, uint32_t value) {
        LastWrite &w = lastWrites[(key ^ (key >> 10) ^ (key >> 20)) & (lastWrites.size() - 1)];
        if (w.key == key && w.value == value)
            return false;
        w = {key, value};
        return true;
    }

    void noteWrite() {
        if (pollsClear)
            return;
        for (auto &e : polls)
            e = PollEntry{};
        pollsClear = true;
    }
};

// ---- life cycle ----

Machine::Machine() : impl_(std::make_unique<Impl>()) {}

Machine::~Machine() {
    pendingBusyFaults.store(0);
    dropRawReports(impl_.get(), nullptr);
    impl_.reset();
    if (current_ == this)
        current_ = nullptr;
    if (own_ == this)
        own_ = nullptr;
}

Machine &Machine::create() {
    if (own_ == nullptr)
        own_ = new Machine();
    current_ = own_;
    return *current_;
}

void Machine::reset() {
    delete own_;
    current_ = nullptr;
}

std::unique_ptr<Machine> Machine::make() {
    return std::unique_ptr<Machine>(new Machine());
}

PciBus &Machine::pci() {
    if (!pci_)
        pci_ = std::make_unique<PciBus>();
    return *pci_;
}

// ---- areas ----

uint8_t *Machine::addArea(const std::string &name, uint32_t physBase, uint32_t length) {
    auto &a = impl_->reserve(name, physBase, length);
    a.kind = Impl::Kind::Plain;
    a.accessible = length;
    impl_->relayout(a);
    return a.area.host;
}

uint8_t *Machine::addLinearAperture(const std::string &name, uint32_t physBase, uint32_t length,
                                    VideoMemory &vram, size_t vramOffset) {
    if (vramOffset % pageSize() != 0)
        throw std::invalid_argument("linear aperture offset not on a page boundary");
    int owner = impl_->ownerFor(&vram);
    auto &a = impl_->reserve(name, physBase, length);
    a.kind = Impl::Kind::Linear;
    a.vram = &vram;
    a.owner = owner;
    a.vramFd = dup(vram.fd());
    a.vramSize = vram.size();
    a.vramOffset = vramOffset;
    impl_->mapVram(a);
    // A view added while its memory is closed starts closed too.
    impl_->relayout(a);
    return a.area.host;
}

uint8_t *Machine::addLinearApertureAfter(const std::string &name, uint32_t physBase,
                                         uint32_t length, VideoMemory &vram, size_t memStart) {
    if (memStart % pageSize() != 0 || memStart >= length)
        throw std::invalid_argument("aperture memory start not on a page boundary inside it");
    int owner = impl_->ownerFor(&vram);
    auto &a = impl_->reserve(name, physBase, length);
    a.kind = Impl::Kind::Linear;
    a.vram = &vram;
    a.owner = owner;
    a.vramFd = dup(vram.fd());
    a.vramSize = vram.size();
    a.memStart = memStart;
    impl_->mapVram(a);
    impl_->relayout(a);
    return a.area.host;
}

uint8_t *Machine::addWindow(const std::string &name, uint32_t physBase, uint32_t length,
                            VideoMemory &vram) {
    uint8_t *host = addLinearAperture(name, physBase, length, vram, 0);
    impl_->areas.back().kind = Impl::Kind::Window;
    return host;
}

void Machine::setWindowOffset(uint8_t *window, size_t offset) {
    flushPending();
    if (offset % pageSize() != 0)
        throw std::invalid_argument("window offset not on a page boundary");
    Impl::AreaRec *a = impl_->windowAt(window);
    if (a == nullptr)
        throw std::invalid_argument("setWindowOffset: not a window");
    if (a->vramOffset == offset)
        return;
    bool sameLayout = a->memStart + Impl::shownBytes(*a, offset) == a->accessible;
    a->vramOffset = offset;
    if (sameLayout) {
        impl_->remapRaw(*a);
    } else {
        // Near the end of video memory the window shows less (or more).
        impl_->mapVram(*a);
        impl_->relayout(*a);
    }
}

const Machine::Area *Machine::findArea(const std::string &name) const {
    for (auto &a : impl_->areas)
        if (a.area.name == name)
            return &a.area;
    return nullptr;
}

const Machine::Area *Machine::areaAt(const void *host) const {
    int i = impl_->areaIndexOf(host, 1);
    return i < 0 ? nullptr : &impl_->areas[static_cast<size_t>(i)].area;
}

int Machine::regionIndex(const std::string &areaName) const {
    for (size_t i = 0; i < impl_->areas.size(); i++)
        if (impl_->areas[i].area.name == areaName)
            return static_cast<int>(i);
    return -1;
}

// ---- devices ----

void Machine::attachPorts(uint16_t first, uint16_t count, PortDevice *dev, int portWidth) {
    if (portWidth != 1 && portWidth != 2 && portWidth != 4)
        throw std::invalid_argument("port width must be 1, 2 or 4");
    for (uint32_t p = first; p < static_cast<uint32_t>(first) + count && p < 65536; p++)
        impl_->claimPort(p) = Impl::PortSlot{dev, portWidth};
}

void Machine::mapAccessorDevice(uint8_t *host, uint32_t length, MemDevice *dev) {
    int i = impl_->areaIndexOf(host, static_cast<int>(length));
    if (i < 0 || length == 0)
        throw std::invalid_argument("mapAccessorDevice: range not inside one area");
    auto &a = impl_->areas[static_cast<size_t>(i)];
    if (host + length > a.area.host + a.area.length)
        throw std::invalid_argument("mapAccessorDevice: range not inside one area");
    a.accessorDevices.push_back({host, length, dev});
}

void Machine::mapDevice(uint8_t *host, uint32_t length, MemDevice *dev) {
    int i = impl_->areaIndexOf(host, static_cast<int>(length));
    if (i < 0 || length == 0)
        throw std::invalid_argument("mapDevice: range not inside one area");
    auto &a = impl_->areas[static_cast<size_t>(i)];
    if (host + length > a.area.host + a.area.length)
        throw std::invalid_argument("mapDevice: range not inside one area");
    a.devices.push_back({host, length, dev});
    uintptr_t first = pageDown(reinterpret_cast<uintptr_t>(host));
    uintptr_t last = pageDown(reinterpret_cast<uintptr_t>(host) + length - 1);
    a.devPages.push_back({reinterpret_cast<uint8_t *>(first), last - first + pageSize()});
    impl_->relayout(a);
}

void Machine::unmapDevice(MemDevice *dev) {
    for (auto &a : impl_->areas) {
        auto gone = [dev](const Impl::DeviceRange &d) { return d.dev == dev; };
        if (std::none_of(a.devices.begin(), a.devices.end(), gone))
            continue;
        a.devices.erase(std::remove_if(a.devices.begin(), a.devices.end(), gone), a.devices.end());
        a.devPages.clear();
        for (const Impl::DeviceRange &d : a.devices) {
            uintptr_t first = pageDown(reinterpret_cast<uintptr_t>(d.start));
            uintptr_t last = pageDown(reinterpret_cast<uintptr_t>(d.start) + d.length - 1);
            a.devPages.push_back({reinterpret_cast<uint8_t *>(first), last - first + pageSize()});
        }
        impl_->relayout(a);
    }
}

void Machine::mapPastMemory(uint8_t *aperture, MemDevice *dev) {
    int i = impl_->areaIndexOf(aperture, 1);
    if (i < 0 || impl_->areas[static_cast<size_t>(i)].area.host != aperture ||
        impl_->areas[static_cast<size_t>(i)].kind != Impl::Kind::Linear)
        throw std::invalid_argument("mapPastMemory: not a linear aperture");
    impl_->areas[static_cast<size_t>(i)].pastMemory = dev;
}

void Machine::filterMemoryReads(uint8_t *view, ReadFilter filter) {
    int i = impl_->areaIndexOf(view, 1);
    if (i < 0 || impl_->areas[static_cast<size_t>(i)].area.host != view ||
        impl_->areas[static_cast<size_t>(i)].kind == Impl::Kind::Plain)
        throw std::invalid_argument("filterMemoryReads: not a view of video memory");
    impl_->areas[static_cast<size_t>(i)].readFilter = std::move(filter);
}

// ---- busy-engine guard ----

void Machine::guardVideoMemory(VideoMemory &vram, bool busy) {
    flushPending();
    // An engine started: whatever is polled next may change.
    if (busy)
        impl_->noteWrite();
    int owner = impl_->ownerOf(&vram);
    if (owner < 0)
        return; // no view shows it: nothing the processor could touch
    if (busy == guardOwners[owner].armed.load(std::memory_order_relaxed))
        return;
    if (busy)
        impl_->startGuard(owner);
    else
        impl_->endGuard(owner);
}

inline void Machine::flushPending() const {
    if (pendingReports.load(std::memory_order_relaxed) != 0)
        flushPendingSlow();
}

void Machine::flushPendingSlow() const {
    int n = pendingBusyFaults.exchange(0);
    std::vector<RawReport> mine;
    dropRawReports(impl_.get(), &mine);
    auto *self = const_cast<Machine *>(this);
    for (int i = 0; i < n; i++)
        self->fail(kBusyMessage);
    for (const RawReport &r : mine) {
        const auto &areas = impl_->areas;
        self->fail(rawAccessMessage(static_cast<size_t>(r.area) < areas.size()
                                        ? areas[static_cast<size_t>(r.area)].area.name
                                        : "region" + std::to_string(r.area),
                                    r));
    }
}

// A processor access through an accessor meets the same rule as a raw one,
// without the detour through the fault handler; memory closed by an idle
// engine is opened before the accessor copies.
void Machine::checkBusy(int areaIndex) {
    int owner = impl_->areas[static_cast<size_t>(areaIndex)].owner;
    if (owner < 0)
        return;
    GuardOwner &g = guardOwners[owner];
    if (g.armed.load(std::memory_order_relaxed)) {
        fail(kBusyMessage);
        if (!endEveryGuard())
            systemError("mprotect");
    } else if (g.closed.load(std::memory_order_relaxed)) {
        g.touched.store(true);
        if (!openViews(owner))
            systemError("mprotect");
    }
}

const std::vector<std::string> &Machine::failures() const {
    flushPending();
    return failures_;
}

// ---- accesses ----

void Machine::watchRead(uint64_t key, const Access &what) {
    uint64_t n = impl_->countRead(key);
    if (n < pollLimit_) [[likely]]
        return;
    impl_->noteWrite();
    stopPoll(*this, what, n);
}

uint32_t Machine::portIn(uint16_t port, int width) {
    flushPending();
    uint32_t value = 0;
    for (int done = 0; done < width;) {
        uint32_t p = port + static_cast<uint32_t>(done);
        const auto &slot = impl_->port(p);
        int step = Impl::partWidth(slot, width - done);
        uint32_t part;
        if (slot.dev) {
            part = slot.dev->in(static_cast<uint16_t>(p), step);
        } else {
            part = 0xFF;
            unclaimedPort(*this, "in8", p, nullptr);
        }
        uint32_t mask = step == 4 ? 0xFFFFFFFFu : (1u << (8 * step)) - 1;
        value |= (part & mask) << (8 * done);
        done += step;
    }
    const Access a{Access::PortIn, static_cast<uint8_t>(width), port, value, -1, 1};
    record(a);
    watchRead(port, a);
    return value;
}

void Machine::portOut(uint16_t port, int width, uint32_t value) {
    flushPending();
    if (impl_->writeChanges(uint64_t{port} | uint64_t(width) << 16, value))
        impl_->noteWrite();
    record(Access{Access::PortOut, static_cast<uint8_t>(width), port, value, -1, 1});
    for (int done = 0; done < width;) {
        uint32_t p = port + static_cast<uint32_t>(done);
        const auto &slot = impl_->port(p);
        int step = Impl::partWidth(slot, width - done);
        uint32_t mask = step == 4 ? 0xFFFFFFFFu : (1u << (8 * step)) - 1;
        uint32_t part = (value >> (8 * done)) & mask;
        if (slot.dev)
            slot.dev->out(static_cast<uint16_t>(p), step, part);
        else
            unclaimedPort(*this, "out8", p, &part);
        done += step;
    }
}

void Machine::noTarget(const Access &what, const volatile void *addr) {
    std::string message;
    if (what.region < 0) {
        message = std::string("access outside the simulated areas: ") + accessName(what.kind) +
                  std::to_string(what.width * 8) + " at " +
                  hex(reinterpret_cast<uintptr_t>(addr), 1);
        if (what.kind == Access::MemWrite)
            message += " <- " + hex(what.value, what.width * 2);
    } else {
        // Inside an area, but past the video memory of a view, or partly in
        // a device's registers.
        std::string d = describe(what);
        if (what.kind == Access::MemRead)
            d = d.substr(0, d.find(" -> "));
        message = "no memory or device answers: " + d;
    }
    fail(message);
    throw Abort(message);
}

uint32_t Machine::memRead(const volatile void *addr, int width) {
    flushPending();
    auto p = reinterpret_cast<const uint8_t *>(const_cast<const void *>(addr));
    int ai = impl_->areaIndexOf(addr, width);
    const Impl::AreaRec *a = ai < 0 ? nullptr : &impl_->areas[static_cast<size_t>(ai)];
    uint32_t offset = a == nullptr ? 0 : static_cast<uint32_t>(p - a->area.host);
    uint32_t value = 0;
    if (const auto *d = a == nullptr ? nullptr : Impl::deviceAt(*a, p)) {
        value = d->dev->read(static_cast<uint32_t>(p - d->start), width);
    } else if (const auto *ad = a == nullptr ? nullptr : Impl::accessorDeviceAt(*a, p)) {
        value = ad->dev->read(static_cast<uint32_t>(p - ad->start), width);
    } else if (a != nullptr && Impl::rawAccessible(*a, p, width)) {
        checkBusy(ai);
        std::memcpy(&value, p, static_cast<size_t>(width));
        if (a->readFilter)
            value = a->readFilter(offset, width, value);
    } else if (const uint8_t *mem = a == nullptr ? nullptr : Impl::sharedMemory(*a, p, width)) {
        checkBusy(ai);
        std::memcpy(&value, mem, static_cast<size_t>(width));
        if (a->readFilter)
            value = a->readFilter(offset, width, value);
    } else if (a != nullptr && a->pastMemory != nullptr && offset >= a->accessible) {
        value = a->pastMemory->read(offset, width);
    } else {
        noTarget(Access{Access::MemRead, static_cast<uint8_t>(width), offset, 0, ai, 1}, p);
    }
    const Access acc{Access::MemRead, static_cast<uint8_t>(width), offset, value, ai, 1};
    record(acc);
    watchRead((1ull << 63) | reinterpret_cast<uintptr_t>(p), acc);
    return value;
}

void Machine::memWrite(volatile void *addr, int width, uint32_t value) {
    flushPending();
    auto p = reinterpret_cast<uint8_t *>(const_cast<void *>(addr));
    if (impl_->writeChanges(1ull << 63 | uint64_t(width) << 56 | reinterpret_cast<uintptr_t>(p),
                            value))
        impl_->noteWrite();
    int ai = impl_->areaIndexOf(addr, width);
    const Impl::AreaRec *a = ai < 0 ? nullptr : &impl_->areas[static_cast<size_t>(ai)];
    uint32_t offset = a == nullptr ? 0 : static_cast<uint32_t>(p - a->area.host);
    const Access acc{Access::MemWrite, static_cast<uint8_t>(width), offset, value, ai, 1};
    if (const auto *d = a == nullptr ? nullptr : Impl::deviceAt(*a, p)) {
        record(acc);
        d->dev->write(static_cast<uint32_t>(p - d->start), width, value);
    } else if (const auto *ad = a == nullptr ? nullptr : Impl::accessorDeviceAt(*a, p)) {
        record(acc);
        ad->dev->write(static_cast<uint32_t>(p - ad->start), width, value);
    } else if (a != nullptr && Impl::rawAccessible(*a, p, width)) {
        record(acc);
        checkBusy(ai);
        std::memcpy(p, &value, static_cast<size_t>(width));
    } else if (uint8_t *mem = a == nullptr ? nullptr : Impl::sharedMemory(*a, p, width)) {
        record(acc);
        checkBusy(ai);
        std::memcpy(mem, &value, static_cast<size_t>(width));
    } else if (a != nullptr && a->pastMemory != nullptr && offset >= a->accessible) {
        record(acc);
        a->pastMemory->write(offset, width, value);
    } else {
        noTarget(acc, p);
    }
}

// ---- trace and failures ----

size_t Trace::runOf(size_t i) const {
    while (starts_.size() < runs_.size()) {
        size_t k = starts_.size();
        starts_.push_back(k == 0 ? 0 : starts_[k - 1] + runs_[k - 1].repeat);
    }
    auto after = std::upper_bound(starts_.begin(), starts_.end(), i);
    return static_cast<size_t>(after - starts_.begin()) - 1;
}

std::string Machine::describe(const Access &a) const {
    std::string s = accessName(a.kind) + std::to_string(a.width * 8) + " ";
    if (a.region < 0) {
        s += hex(a.address, 4);
    } else {
        const auto &areas = impl_->areas;
        std::string name = static_cast<size_t>(a.region) < areas.size()
                               ? areas[static_cast<size_t>(a.region)].area.name
                               : "region" + std::to_string(a.region);
        s += name + "+" + hex(a.address, 1);
    }
    bool toDevice = a.kind == Access::PortOut || a.kind == Access::MemWrite;
    s += toDevice ? " <- " : " -> ";
    s += hex(a.value, a.width * 2);
    return s;
}

void Machine::cpuStep(CpuStep::Kind kind, uint32_t passes) {
    if (kind == CpuStep::InterruptsOff)
        interruptsEnabled_ = false;
    else if (kind == CpuStep::InterruptsOn)
        interruptsEnabled_ = true;
    else
        now_ += passes / kSpinPassesPerMicro;
    if (tracing_)
        cpuSteps_.push_back({kind, passes, trace_.size()});
}

void Machine::fail(const std::string &message) {
    failures_.push_back(message);
    if (onFail_)
        onFail_(message);
    else
        std::fprintf(stderr, "simulated machine: %s\n", message.c_str());
}

} // namespace sim
