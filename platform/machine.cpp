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
#include "machine.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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
// guarded ranges live in a fixed table rather than in the machine.
struct GuardSlot {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> length{0}; // 0: free
    std::atomic<uintptr_t> owner{0};  // the VideoMemory the range shows
};
constexpr int kGuardSlots = 512;
GuardSlot guardSlots[kGuardSlots];
std::atomic<int> pendingBusyFaults{0};
std::atomic<bool> handlerInstalled{false};
struct sigaction previousAction;

void segvHandler(int sig, siginfo_t *info, void *context) {
    (void)sig;
    (void)context;
    uintptr_t addr = reinterpret_cast<uintptr_t>(info->si_addr);
    bool guarded = false;
    for (auto &slot : guardSlots) {
        uintptr_t len = slot.length.load(std::memory_order_relaxed);
        if (len != 0 && addr - slot.start.load(std::memory_order_relaxed) < len)
            guarded = true;
    }
    if (guarded) {
        // Report later from a safe point, give the memory back and let the
        // instruction run again: the access itself completes.
        pendingBusyFaults.fetch_add(1, std::memory_order_relaxed);
        for (auto &slot : guardSlots) {
            uintptr_t len = slot.length.load(std::memory_order_relaxed);
            if (len == 0)
                continue;
            mprotect(reinterpret_cast<void *>(slot.start.load(std::memory_order_relaxed)), len,
                     PROT_READ | PROT_WRITE);
            slot.length.store(0, std::memory_order_relaxed);
        }
        return;
    }
    // Not ours: hand the fault back to whoever handled it before (the
    // sanitizer or the default action). Returning retries the instruction,
    // which faults again into that handler.
    sigaction(SIGSEGV, &previousAction, nullptr);
    handlerInstalled.store(false);
}

void installHandler() {
    if (handlerInstalled.load())
        return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = segvHandler;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, &previousAction) != 0)
        systemError("sigaction");
    handlerInstalled.store(true);
}

bool addGuardSlot(uintptr_t start, uintptr_t length, uintptr_t owner) {
    for (auto &slot : guardSlots) {
        if (slot.length.load() != 0)
            continue;
        slot.start.store(start);
        slot.owner.store(owner);
        slot.length.store(length);
        return true;
    }
    return false;
}

bool ownerGuarded(uintptr_t owner) {
    for (auto &slot : guardSlots)
        if (slot.length.load() != 0 && slot.owner.load() == owner)
            return true;
    return false;
}

void clearGuardSlots(uintptr_t owner) {
    for (auto &slot : guardSlots)
        if (slot.owner.load() == owner)
            slot.length.store(0);
}

Machine *currentMachine = nullptr;

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

} // namespace

// ---- video memory ----

VideoMemory::VideoMemory(size_t size) : size_(size), fd_(-1), data_(nullptr) {
    if (size == 0)
        throw std::invalid_argument("video memory of 0 bytes");
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
    struct AreaRec {
        Area area;
        Kind kind = Kind::Plain;
        uint8_t *reservation = nullptr; // guard page included
        size_t reservationLength = 0;
        const VideoMemory *vram = nullptr;
        int vramFd = -1; // own duplicate: the window outlives nobody's fd
        size_t vramSize = 0;
        size_t vramOffset = 0;
        size_t accessible = 0;       // bytes from host reachable as memory
        std::vector<Range> raw;      // the accessible bytes outside device pages
        std::vector<Range> devPages; // pages taken by devices
    };
    struct DeviceRange {
        uint8_t *start;
        uint32_t length;
        MemDevice *dev;
        int area;
    };
    struct PortSlot {
        PortDevice *dev = nullptr;
        int width = 1;
    };
    struct PollEntry {
        uint64_t key = ~0ull;
        uint64_t count = 0;
        uint64_t lastUse = 0;
    };

    std::vector<AreaRec> areas;
    std::vector<DeviceRange> devices;
    std::vector<PortSlot> ports = std::vector<PortSlot>(65536);
    PollEntry polls[4];
    uint64_t pollClock = 0;

    ~Impl() {
        for (auto &a : areas) {
            clearGuardSlots(reinterpret_cast<uintptr_t>(a.vram));
            munmap(a.reservation, a.reservationLength);
            if (a.vramFd >= 0)
                close(a.vramFd);
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

    // Show vram from `offset` at the start of a view; the rest stays closed.
    void mapVram(AreaRec &a) {
        size_t body = roundUp(a.area.length == 0 ? 1 : a.area.length);
        size_t shown = 0;
        if (a.vramOffset < a.vramSize)
            shown = std::min<size_t>(a.area.length, a.vramSize - a.vramOffset);
        size_t shownPages = std::min(roundUp(shown), body);
        if (shownPages != 0) {
            void *p = mmap(a.area.host, shownPages, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED,
                           a.vramFd, static_cast<off_t>(a.vramOffset));
            if (p == MAP_FAILED)
                systemError("mmap video memory view");
        }
        if (body > shownPages) {
            void *p = mmap(a.area.host + shownPages, body - shownPages, PROT_NONE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
            if (p == MAP_FAILED)
                systemError("mmap closed part of view");
        }
        a.accessible = shown;
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
        uint8_t *p = a.area.host;
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

    // Apply the protections the area should have now.
    void applyProtection(AreaRec &a, bool guarded) {
        for (auto &r : a.devPages)
            protect(r.start, r.length, PROT_NONE);
        for (auto &r : a.raw)
            protect(r.start, roundUp(r.length), guarded ? PROT_NONE : PROT_READ | PROT_WRITE);
    }

    void guardArea(AreaRec &a) {
        applyProtection(a, true);
        for (auto &r : a.raw)
            if (!addGuardSlot(reinterpret_cast<uintptr_t>(r.start), roundUp(r.length),
                              reinterpret_cast<uintptr_t>(a.vram)))
                throw std::runtime_error("too many guarded video memory ranges");
    }

    int areaIndexOf(const volatile void *addr, int width) const {
        auto p = reinterpret_cast<const uint8_t *>(const_cast<const void *>(addr));
        for (size_t i = 0; i < areas.size(); i++) {
            const Area &ar = areas[i].area;
            if (p >= ar.host && p + width <= ar.host + ar.length)
                return static_cast<int>(i);
        }
        for (size_t i = 0; i < areas.size(); i++) {
            const Area &ar = areas[i].area;
            if (p >= ar.host && p < ar.host + ar.length)
                return static_cast<int>(i);
        }
        return -1;
    }

    const DeviceRange *deviceAt(const volatile void *addr) const {
        auto p = reinterpret_cast<const uint8_t *>(const_cast<const void *>(addr));
        for (auto &d : devices)
            if (p >= d.start && p < d.start + d.length)
                return &d;
        return nullptr;
    }

    bool rawAccessible(const AreaRec &a, const uint8_t *p, int width) const {
        for (auto &r : a.raw)
            if (p >= r.start && p + width <= r.start + r.length)
                return true;
        return false;
    }

    // Count a read of one location; returns the count of reads of it since
    // the last write anywhere. A few locations are tracked so that a loop
    // alternating between two status registers is caught as well.
    uint64_t countRead(uint64_t key) {
        pollClock++;
        PollEntry *victim = &polls[0];
        for (auto &e : polls) {
            if (e.key == key) {
                e.lastUse = pollClock;
                return ++e.count;
            }
            if (e.lastUse < victim->lastUse)
                victim = &e;
        }
        *victim = PollEntry{key, 1, pollClock};
        return 1;
    }

    void noteWrite() {
        for (auto &e : polls)
            e = PollEntry{};
    }
};

// ---- life cycle ----

Machine::Machine() : impl_(std::make_unique<Impl>()) {}

Machine::~Machine() {
    pendingBusyFaults.store(0);
    impl_.reset();
}

Machine &Machine::current() {
    if (currentMachine == nullptr)
        currentMachine = new Machine();
    return *currentMachine;
}

void Machine::reset() {
    Machine *old = currentMachine;
    currentMachine = nullptr;
    delete old;
}

// ---- areas ----

uint8_t *Machine::addArea(const std::string &name, uint32_t physBase, uint32_t length) {
    auto &a = impl_->reserve(name, physBase, length);
    a.kind = Impl::Kind::Plain;
    a.accessible = length;
    impl_->computeRaw(a);
    impl_->applyProtection(a, false);
    return a.area.host;
}

uint8_t *Machine::addLinearAperture(const std::string &name, uint32_t physBase, uint32_t length,
                                    VideoMemory &vram, size_t vramOffset) {
    if (vramOffset % pageSize() != 0)
        throw std::invalid_argument("linear aperture offset not on a page boundary");
    auto &a = impl_->reserve(name, physBase, length);
    a.kind = Impl::Kind::Linear;
    a.vram = &vram;
    a.vramFd = dup(vram.fd());
    a.vramSize = vram.size();
    a.vramOffset = vramOffset;
    impl_->mapVram(a);
    impl_->computeRaw(a);
    if (ownerGuarded(reinterpret_cast<uintptr_t>(&vram)))
        impl_->guardArea(a);
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
    for (auto &a : impl_->areas) {
        if (a.area.host != window || a.kind != Impl::Kind::Window)
            continue;
        if (a.vramOffset == offset)
            return;
        uintptr_t owner = reinterpret_cast<uintptr_t>(a.vram);
        bool guarded = ownerGuarded(owner);
        a.vramOffset = offset;
        impl_->mapVram(a);
        impl_->computeRaw(a);
        if (guarded) {
            // The old slots of this view describe the same addresses; renew them.
            for (auto &slot : guardSlots) {
                uintptr_t s = slot.start.load();
                if (slot.length.load() != 0 && s >= reinterpret_cast<uintptr_t>(a.area.host) &&
                    s < reinterpret_cast<uintptr_t>(a.area.host) + a.area.length)
                    slot.length.store(0);
            }
            impl_->guardArea(a);
        } else {
            impl_->applyProtection(a, false);
        }
        return;
    }
    throw std::invalid_argument("setWindowOffset: not a window");
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
        impl_->ports[p] = Impl::PortSlot{dev, portWidth};
}

void Machine::mapDevice(uint8_t *host, uint32_t length, MemDevice *dev) {
    int i = impl_->areaIndexOf(host, static_cast<int>(length));
    if (i < 0 || length == 0)
        throw std::invalid_argument("mapDevice: range not inside one area");
    auto &a = impl_->areas[static_cast<size_t>(i)];
    if (host + length > a.area.host + a.area.length)
        throw std::invalid_argument("mapDevice: range not inside one area");
    impl_->devices.push_back({host, length, dev, i});
    uintptr_t first = pageDown(reinterpret_cast<uintptr_t>(host));
    uintptr_t last = pageDown(reinterpret_cast<uintptr_t>(host) + length - 1);
    a.devPages.push_back({reinterpret_cast<uint8_t *>(first), last - first + pageSize()});
    bool guarded = a.vram != nullptr && ownerGuarded(reinterpret_cast<uintptr_t>(a.vram));
    if (guarded)
        guardVideoMemory(*const_cast<VideoMemory *>(a.vram), false);
    impl_->computeRaw(a);
    impl_->applyProtection(a, false);
    if (guarded)
        guardVideoMemory(*const_cast<VideoMemory *>(a.vram), true);
}

// ---- busy-engine guard ----

void Machine::guardVideoMemory(VideoMemory &vram, bool busy) {
    flushPending();
    uintptr_t owner = reinterpret_cast<uintptr_t>(&vram);
    if (busy == ownerGuarded(owner))
        return;
    if (busy)
        installHandler();
    else
        clearGuardSlots(owner);
    for (auto &a : impl_->areas) {
        if (a.vram != &vram)
            continue;
        if (busy)
            impl_->guardArea(a);
        else
            impl_->applyProtection(a, false);
    }
}

void Machine::flushPending() const {
    int n = pendingBusyFaults.exchange(0);
    auto *self = const_cast<Machine *>(this);
    for (int i = 0; i < n; i++)
        self->fail(kBusyMessage);
}

// A processor access through an accessor meets the same rule as a raw one,
// without the detour through the fault handler.
void Machine::checkBusy(int areaIndex) {
    auto &a = impl_->areas[static_cast<size_t>(areaIndex)];
    if (a.vram == nullptr || !ownerGuarded(reinterpret_cast<uintptr_t>(a.vram)))
        return;
    fail(kBusyMessage);
    for (auto &slot : guardSlots) {
        uintptr_t len = slot.length.load();
        if (len == 0)
            continue;
        protect(reinterpret_cast<void *>(slot.start.load()), len, PROT_READ | PROT_WRITE);
        slot.length.store(0);
    }
}

const std::vector<std::string> &Machine::failures() const {
    flushPending();
    return failures_;
}

// ---- accesses ----

void Machine::record(Access::Kind kind, int width, uint32_t address, uint32_t value, int region) {
    if (tracing_)
        trace_.push_back(Access{kind, static_cast<uint8_t>(width), address, value, region});
}

void Machine::watchRead(uint64_t key, const Access &what) {
    uint64_t n = impl_->countRead(key);
    if (n < pollLimit_)
        return;
    impl_->noteWrite();
    std::string message =
        "watchdog: " + describe(what) + " polled " + std::to_string(n) + " times without progress";
    fail(message);
    throw Abort(message);
}

uint32_t Machine::portIn(uint16_t port, int width) {
    flushPending();
    uint32_t value = 0;
    for (int done = 0; done < width;) {
        uint32_t p = port + static_cast<uint32_t>(done);
        const auto &slot = impl_->ports[p & 0xFFFF];
        int step = slot.dev ? std::min(slot.width, width - done) : 1;
        uint32_t part;
        if (slot.dev) {
            part = slot.dev->in(static_cast<uint16_t>(p), step);
        } else {
            part = 0xFF;
            fail("unclaimed port in8 " + hex(p, 4));
        }
        uint32_t mask = step == 4 ? 0xFFFFFFFFu : (1u << (8 * step)) - 1;
        value |= (part & mask) << (8 * done);
        done += step;
    }
    record(Access::PortIn, width, port, value, -1);
    watchRead(port, Access{Access::PortIn, static_cast<uint8_t>(width), port, value, -1});
    return value;
}

void Machine::portOut(uint16_t port, int width, uint32_t value) {
    flushPending();
    impl_->noteWrite();
    record(Access::PortOut, width, port, value, -1);
    for (int done = 0; done < width;) {
        uint32_t p = port + static_cast<uint32_t>(done);
        const auto &slot = impl_->ports[p & 0xFFFF];
        int step = slot.dev ? std::min(slot.width, width - done) : 1;
        uint32_t mask = step == 4 ? 0xFFFFFFFFu : (1u << (8 * step)) - 1;
        uint32_t part = (value >> (8 * done)) & mask;
        if (slot.dev)
            slot.dev->out(static_cast<uint16_t>(p), step, part);
        else
            fail("unclaimed port out8 " + hex(p, 4) + " <- " + hex(part, 2));
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
        // Inside an area, but past the video memory of an aperture or in a
        // device's page beside its registers.
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
    uint32_t value = 0;
    uint32_t offset = ai < 0 ? 0 : static_cast<uint32_t>(p - impl_->areas[ai].area.host);
    if (const auto *d = impl_->deviceAt(addr)) {
        value = d->dev->read(static_cast<uint32_t>(p - d->start), width);
    } else if (ai >= 0 && impl_->rawAccessible(impl_->areas[ai], p, width)) {
        checkBusy(ai);
        std::memcpy(&value, p, static_cast<size_t>(width));
    } else {
        noTarget(Access{Access::MemRead, static_cast<uint8_t>(width), offset, 0, ai}, p);
    }
    record(Access::MemRead, width, offset, value, ai);
    watchRead((1ull << 63) | reinterpret_cast<uintptr_t>(p),
              Access{Access::MemRead, static_cast<uint8_t>(width), offset, value, ai});
    return value;
}

void Machine::memWrite(volatile void *addr, int width, uint32_t value) {
    flushPending();
    impl_->noteWrite();
    auto p = reinterpret_cast<uint8_t *>(const_cast<void *>(addr));
    int ai = impl_->areaIndexOf(addr, width);
    uint32_t offset = ai < 0 ? 0 : static_cast<uint32_t>(p - impl_->areas[ai].area.host);
    if (const auto *d = impl_->deviceAt(addr)) {
        record(Access::MemWrite, width, offset, value, ai);
        d->dev->write(static_cast<uint32_t>(p - d->start), width, value);
    } else if (ai >= 0 && impl_->rawAccessible(impl_->areas[ai], p, width)) {
        record(Access::MemWrite, width, offset, value, ai);
        checkBusy(ai);
        std::memcpy(p, &value, static_cast<size_t>(width));
    } else {
        noTarget(Access{Access::MemWrite, static_cast<uint8_t>(width), offset, value, ai}, p);
    }
}

// ---- trace and failures ----

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

void Machine::fail(const std::string &message) {
    failures_.push_back(message);
    if (onFail_)
        onFail_(message);
    else
        std::fprintf(stderr, "simulated machine: %s\n", message.c_str());
}

} // namespace sim
