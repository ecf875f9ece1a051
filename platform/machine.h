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
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

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
};

// Raised by the watchdog and by hard protocol faults, to leave the driver's
// call at once. Drivers are built with unwind tables, so it passes through them.
struct Abort : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Machine {
  public:
    // The one machine the accessors reach. A fresh one replaces the old.
    static Machine &current();
    static void reset();

    // ---- memory areas, as the server maps them for a driver ----
    // Plain memory with guard pages before and after; zero-filled.
    uint8_t *addArea(const std::string &name, uint32_t physBase, uint32_t length);
    // A linear aperture of `length` bytes whose first bytes show `vram` from
    // `vramOffset`; the rest of the aperture is inaccessible unless a device is
    // mapped there (the processor may only reach it through the accessors).
    uint8_t *addLinearAperture(const std::string &name, uint32_t physBase, uint32_t length,
                               VideoMemory &vram, size_t vramOffset = 0);
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
    // The range must lie inside an area; raw processor access to it faults.
    void mapDevice(uint8_t *host, uint32_t length, MemDevice *dev);
    // Keep a model alive as long as the machine.
    template <class T, class... A> T *own(A &&...args) {
        auto p = std::make_unique<T>(std::forward<A>(args)...);
        T *raw = p.get();
        owned_.push_back(std::unique_ptr<Owned>(new Holder<T>(std::move(p))));
        return raw;
    }

    // ---- engine strictness ----
    // While guarded, any processor access to the video memory's linear or
    // window views is reported as a failure (the engine owns the memory).
    void guardVideoMemory(VideoMemory &vram, bool busy);

    // ---- accesses (the accessors and the server's port routines land here) ----
    uint32_t portIn(uint16_t port, int width);
    void portOut(uint16_t port, int width, uint32_t value);
    uint32_t memRead(const volatile void *addr, int width);
    void memWrite(volatile void *addr, int width, uint32_t value);

    // ---- trace ----
    const std::vector<Access> &trace() const { return trace_; }
    void clearTrace() { trace_.clear(); }
    size_t accessCount() const { return trace_.size(); }
    void setTracing(bool on) { tracing_ = on; }
    std::string describe(const Access &) const;
    int regionIndex(const std::string &areaName) const;

    // ---- virtual time ----
    uint64_t nowMicros() const { return now_; }
    void advance(uint64_t micros) { now_ += micros; }

    // ---- watchdog: reads of one location with no write anywhere in between ----
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
    void flushPending() const;
    void checkBusy(int areaIndex);
    void record(Access::Kind kind, int width, uint32_t address, uint32_t value, int region);
    void watchRead(uint64_t key, const Access &what);
    [[noreturn]] void noTarget(const Access &what, const volatile void *addr);
    std::unique_ptr<Impl> impl_;
    std::vector<std::unique_ptr<Owned>> owned_;
    std::vector<Access> trace_;
    bool tracing_ = true;
    uint64_t now_ = 0;
    uint64_t pollLimit_ = 1000000;
    std::vector<std::string> failures_;
    std::function<void(const std::string &)> onFail_;
};

} // namespace sim
