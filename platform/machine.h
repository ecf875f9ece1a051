// The simulated machine: a port bus and a memory space with device models,
// reached by the drivers through the register accessors (hwio.h) and the
// server's inb/outb/inw/outw. Memory areas are host buffers between guard
// pages; video memory belongs to its adapter model and can be seen linearly
// or through a banked window. Every access is traced; time is virtual; a
// poll that never ends is stopped by the watchdog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

class PciBus;

// A device on the port bus. `width` is 1, 2 or 4 bytes.
class PortDevice {
  public:
    virtual ~PortDevice() = default;
    virtual uint32_t in(uint16_t port, int width) = 0;
    virtual void out(uint16_t port, int width, uint32_t value) = 0;
};

// A device in memory space (register block, data port, window in a special
// write mode). `offset` counts from the start of the region it was mapped at.
class MemDevice {
  public:
    virtual ~MemDevice() = default;
    virtual uint32_t read(uint32_t offset, int width) = 0;
    virtual void write(uint32_t offset, int width, uint32_t value) = 0;
};

// An adapter's video memory. The linear view and every window view are
// mappings of the same pages, so they are always in step.
class VideoMemory {
  public:
    explicit VideoMemory(size_t size);
    ~VideoMemory();
    VideoMemory(const VideoMemory &) = delete;
    VideoMemory &operator=(const VideoMemory &) = delete;
    size_t size() const { return size_; }
    // The model's own view, always accessible (device models draw through it).
    uint8_t *data() const { return data_; }
    int fd() const { return fd_; }

  private:
    size_t size_;
    int fd_;
    uint8_t *data_;
};

struct Access {
    enum Kind : uint8_t { PortIn, PortOut, MemRead, MemWrite };
    Kind kind;
    uint8_t width;    // bytes
    uint32_t address; // port, or offset within `region`
    uint32_t value;
    int region; // index of the memory region, -1 for ports
    // How many identical accesses in a row this entry stands for (see Trace).
    uint32_t repeat = 1;

    bool isRead() const { return kind == PortIn || kind == MemRead; }
    bool sameAs(const Access &o) const {
        return kind == o.kind && width == o.width && address == o.address && value == o.value &&
               region == o.region;
    }
};

// The accesses of the machine, in order. A driver waiting for an engine reads
// one status location millions of times, so a run of identical reads (same
// kind, width, location and value, back to back) is kept as ONE stored entry
// whose `repeat` counts the reads; every other access is an entry of its own.
//
// Everything public sees the expanded sequence, as if each access were stored:
// size() counts every access, t[i] is the i-th access, and iteration visits a
// run's entry `repeat` times. The element seen is the stored entry, so its
// `repeat` tells the length of the run it belongs to. runs() gives the stored
// entries for readers that want to walk a long trace quickly.
class Trace {
  public:
    class iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Access;
        using difference_type = std::ptrdiff_t;
        using pointer = const Access *;
        using reference = const Access &;
        iterator() = default;
        reference operator*() const { return *run_; }
        pointer operator->() const { return run_; }
        iterator &operator++() {
            if (++k_ == run_->repeat) {
                ++run_;
                k_ = 0;
            }
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator &) const = default;

      private:
        friend class Trace;
        iterator(const Access *run, uint32_t k) : run_(run), k_(k) {}
        const Access *run_ = nullptr;
        uint32_t k_ = 0; // which access of the run
    };

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The i-th access (i < size()).
    const Access &operator[](size_t i) const {
        // Without any run longer than one access, stored and expanded agree.
        return runs_.size() == count_ ? runs_[i] : runs_[runOf(i)];
    }
    iterator begin() const { return iterator(runs_.data(), 0); }
    iterator end() const { return iterator(runs_.data() + runs_.size(), 0); }
    const std::vector<Access> &runs() const { return runs_; }

  private:
    friend class Machine;
    // Called for every access: plain indexing rather than back() and
    // iterators, which cost stack temporaries in the sanitizer build.
    void add(const Access &a) {
        count_++;
        size_t n = runs_.size();
        if (n != 0 && a.isRead()) {
            Access &last = runs_.data()[n - 1];
            if (last.repeat != UINT32_MAX && last.sameAs(a)) {
                last.repeat++;
                return;
            }
        }
        runs_.push_back(a);
        runs_.data()[n].repeat = 1;
    }
    void clear() {
        runs_.clear();
        starts_.clear();
        count_ = 0;
    }
    size_t runOf(size_t i) const;
    std::vector<Access> runs_;
    size_t count_ = 0;
    // Index of each stored entry's first access, filled in on demand by
    // operator[]: entries never change once a later one exists, and a run's
    // start stays put while it grows, so what was filled in stays right.
    mutable std::vector<size_t> starts_;
};

// Raised by the watchdog and by hard protocol faults, to leave the driver's
// call at once. Drivers are built with unwind tables, so it passes through them.
struct Abort : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Machine {
  public:
    // The machine the accessors reach: the one made current (each screen of
    // the harness has a machine of its own and makes it current while its
    // driver runs), else the process's own, made on first use.
    // Inline: every accessor call goes through here.
    static Machine &current() { return current_ != nullptr ? *current_ : create(); }
    // Drops the process's own machine; the next current() makes a fresh one.
    static void reset();
    // A machine of its own, for a screen; the accessors reach it once it is
    // made current. Destroying it while current makes none current.
    static std::unique_ptr<Machine> make();
    static void makeCurrent(Machine *m) { current_ = m; }

    // ---- memory areas, as the server maps them for a driver ----
    // Plain memory with guard pages before and after; zero-filled.
    uint8_t *addArea(const std::string &name, uint32_t physBase, uint32_t length);
    // A linear aperture of `length` bytes whose first bytes show `vram` from
    // `vramOffset`. Past the video memory nothing answers unless a device is
    // mapped there: the accessors are refused (Abort), and the processor's
    // first plain access is reported (area and offset) and completes as if
    // on a floating bus (reads 0xFF, writes lost).
    uint8_t *addLinearAperture(const std::string &name, uint32_t physBase, uint32_t length,
                               VideoMemory &vram, size_t vramOffset = 0);
    // A linear aperture of `length` bytes whose first `memStart` bytes (a
    // page multiple) hold no memory, as a register window before its frame
    // buffer: devices mapped there answer, any other access is treated as
    // past the video memory. From `memStart` on it shows `vram` from its
    // first byte.
    uint8_t *addLinearApertureAfter(const std::string &name, uint32_t physBase, uint32_t length,
                                    VideoMemory &vram, size_t memStart);
    // A window of `length` bytes onto `vram`, starting at bank offset 0.
    uint8_t *addWindow(const std::string &name, uint32_t physBase, uint32_t length,
                       VideoMemory &vram);
    // Show `vram` from `offset` in the window (the adapter's bank register).
    void setWindowOffset(uint8_t *window, size_t offset);
    struct Area {
        std::string name;
        uint32_t physBase = 0;
        uint32_t length = 0;
        uint8_t *host = nullptr;
    };
    const Area *findArea(const std::string &name) const;
    const Area *areaAt(const void *host) const;

    // ---- devices ----
    // Ports [first, first + count). A device of `portWidth` 1 sees a 16-bit
    // access as two byte accesses, low port first, as a PC bus splits it.
    void attachPorts(uint16_t first, uint16_t count, PortDevice *dev, int portWidth = 1);
    // Accesses through the accessors to [host, host + length) go to `dev`.
    // The range must lie inside an area and may share its pages with memory
    // (at most four devices in a page). The processor's plain accesses to
    // that memory work as memory, one instruction at a time (slowly) and
    // under the busy-engine guard; a plain access to the device's bytes is
    // reported (area and offset), reads 0xFF and writes nothing.
    void mapDevice(uint8_t *host, uint32_t length, MemDevice *dev);
    // Takes back every mapping of `dev`: its bytes are memory again (or
    // nothing, past a view's video memory). A device that comes and goes
    // (an option ROM shown over video memory while enabled) is mapped and
    // unmapped as its enable bits change.
    void unmapDevice(MemDevice *dev);
    // Accesses through the accessors past the video memory a linear
    // aperture shows go to `dev` (offsets from the aperture's start): a
    // board whose bus answers there. The processor's plain accesses there
    // are still reported as past the memory.
    void mapPastMemory(uint8_t *aperture, MemDevice *dev);
    // Values the accessors read from the video memory a view shows pass
    // through `filter` (offset within the view, width, value read): a board
    // whose reads come back wrong in some state. Null removes it.
    using ReadFilter = std::function<uint32_t(uint32_t offset, int width, uint32_t value)>;
    void filterMemoryReads(uint8_t *view, ReadFilter filter);
    // Accesses through the accessors to [host, host + length) go to `dev`;
    // the processor's plain accesses are untouched (memory stays memory).
    // For a model that must answer a probe made through the accessors (a
    // memory test under a bank configuration) where the processor draws
    // plainly, or host data a chip decodes over its video memory. Mapped
    // devices (mapDevice) take precedence.
    void mapAccessorDevice(uint8_t *host, uint32_t length, MemDevice *dev);
    // Keep a model alive as long as the machine.
    template <class T, class... A> T *own(A &&...args) {
        auto p = std::make_unique<T>(std::forward<A>(args)...);
        T *raw = p.get();
        owned_.push_back(std::unique_ptr<Owned>(new Holder<T>(std::move(p))));
        return raw;
    }

    // One object of type T (constructed from the machine) per machine and
    // `key`, made on first use and kept as long as the machine: what several
    // adapters on one bus share, such as a select latch in front of boards
    // that answer at the same ports.
    template <class T> T *sharedModel(const std::string &key) {
        auto it = shared_.find(key);
        if (it != shared_.end())
            return static_cast<T *>(it->second);
        T *made = own<T>(*this);
        shared_[key] = made;
        return made;
    }

    // ---- engine strictness ----
    // While guarded, any processor access to the video memory's linear or
    // window views is reported as a failure (the engine owns the memory).
    // One report per busy period: the first caught access ends the guard on
    // every video memory until the next call with `busy` true.
    //
    // Models call this around every engine operation, so it is cheap: the
    // views are closed (mprotect) when the engine starts and are left closed
    // when it goes idle; the first processor access after that opens them
    // again, silently (from the fault handler, or before an accessor's copy).
    // A run of engine operations without processor accesses in between
    // therefore costs no system call at all. Once the processor is seen
    // between operations, the views are opened at the end of the next few
    // operations straight away, saving the fault (see machine.cpp).
    void guardVideoMemory(VideoMemory &vram, bool busy);

    // ---- accesses (the accessors and the server's port routines land here) ----
    uint32_t portIn(uint16_t port, int width);
    void portOut(uint16_t port, int width, uint32_t value);
    uint32_t memRead(const volatile void *addr, int width);
    void memWrite(volatile void *addr, int width, uint32_t value);

    // ---- trace ----
    // Runs of identical reads are stored once (see Trace); size(), indexing
    // and iteration still count and show every access.
    const Trace &trace() const { return trace_; }
    void clearTrace() {
        trace_.clear();
        cpuSteps_.clear();
    }
    size_t accessCount() const { return trace_.size(); }
    void setTracing(bool on) { tracing_ = on; }
    std::string describe(const Access &) const;
    int regionIndex(const std::string &areaName) const;

    // ---- PCI: the functions adapter models put on this machine's bus ----
    PciBus &pci();

    // ---- virtual time ----
    uint64_t nowMicros() const { return now_; }
    void advance(uint64_t micros) { now_ += micros; }
    // Where time may jump (fuzzing), models answer a status poll with the
    // next change of what it waits for instead of one bus cycle later: every
    // value read is still the one the hardware shows at the time read, but
    // a wait for the next frame costs a few reads, not thousands. Off by
    // default, so every poll keeps the bus's own pace.
    void setTimeMayJump(bool on) { timeMayJump_ = on; }
    bool timeMayJump() const { return timeMayJump_; }

    // ---- processor steps that reach no device ----
    // The interrupt flag (cli, sti) and busy loops, in order, each with the
    // number of accesses made before it (its place in the trace). A busy
    // loop moves virtual time by its passes, kSpinPassesPerMicro a
    // microsecond. Cleared with the trace.
    struct CpuStep {
        enum Kind : uint8_t { InterruptsOff, InterruptsOn, Spin };
        Kind kind;
        uint32_t passes; // Spin only
        size_t at;
    };
    static constexpr uint32_t kSpinPassesPerMicro = 100;
    void cpuStep(CpuStep::Kind kind, uint32_t passes = 0);
    const std::vector<CpuStep> &cpuSteps() const { return cpuSteps_; }
    bool interruptsEnabled() const { return interruptsEnabled_; }

    // ---- watchdog: reads of one location with no progress in between ----
    // Progress is a write of a value other than the last one written to the
    // same location, or an engine start (guardVideoMemory(.., true)); so a
    // wait loop that selects its status register by an index write each pass
    // is still caught.
    void setPollLimit(uint64_t reads) { pollLimit_ = reads; }

    // ---- failures ----
    // Every protocol violation a model sees is reported here; the harness turns
    // it into a test failure. Without a handler it is printed and kept.
    void fail(const std::string &message);
    void setFailureHandler(std::function<void(const std::string &)> h) { onFail_ = std::move(h); }
    // Also reports processor accesses the busy-engine guard caught since the
    // last call into the machine.
    const std::vector<std::string> &failures() const;

    ~Machine();

  private:
    Machine();
    struct Owned {
        virtual ~Owned() = default;
    };
    template <class T> struct Holder : Owned {
        explicit Holder(std::unique_ptr<T> p) : p(std::move(p)) {}
        std::unique_ptr<T> p;
    };
    struct Impl;
    static Machine &create();
    inline static Machine *current_ = nullptr;
    inline static Machine *own_ = nullptr; // the process's own
    // Reports the guard's catches; the common case (none) costs one load.
    void flushPending() const;
    void flushPendingSlow() const;
    void checkBusy(int areaIndex);
    void record(const Access &a) {
        if (tracing_)
            trace_.add(a);
    }
    void watchRead(uint64_t key, const Access &what);
    [[noreturn]] void noTarget(const Access &what, const volatile void *addr);
    std::unique_ptr<Impl> impl_;
    std::vector<std::unique_ptr<Owned>> owned_;
    std::map<std::string, void *> shared_; // sharedModel()
    std::unique_ptr<PciBus> pci_;          // made on first use
    Trace trace_;
    bool tracing_ = true;
    uint64_t now_ = 0;
    std::vector<CpuStep> cpuSteps_;
    bool interruptsEnabled_ = true;
    bool timeMayJump_ = false;
    uint64_t pollLimit_ = 1000000;
    std::vector<std::string> failures_;
    std::function<void(const std::string &)> onFail_;
};

} // namespace sim
