// The simulated machine's PCI bus and the operating system's configuration
// device "/dev/X/pci" in front of it. Adapter models (and tests) put
// functions on the bus of their machine; the stand-in's `open`, `ioctl` and
// `close` serve that device to the drivers and pass every other path and
// descriptor to the C library unchanged.
//
// A descriptor of the device is not tied to the machine it was opened on: a
// request reaches the bus of the machine current when it is made, as each
// screen's machine stands for the system that screen's driver runs on. The
// drivers keep one descriptor for the whole process, across screens and
// server generations, and so it keeps working when the harness changes
// machines under it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "pcicfg.h"

namespace sim {

// One function: a 256-byte configuration space. Software changes only the
// bits marked writable; identity, class and every other read-only field keep
// what the model put there.
class PciFunction {
  public:
    PciFunction(uint16_t vendor, uint16_t device, uint8_t baseClass, uint8_t subClass);
    virtual ~PciFunction() = default;

    // A configuration access of `size` bytes (1-4) from `reg` (0-255), least
    // significant byte first. Bytes past the end of the space read 0xFF and
    // take no writes. Models override these to watch or to answer registers
    // with side effects, calling these for the plain storage.
    virtual uint32_t configRead(int reg, int size);
    virtual void configWrite(int reg, int size, uint32_t value);

    // The model's own view, regardless of the writable bits.
    uint8_t byte(int reg) const { return space_[static_cast<size_t>(reg)]; }
    uint32_t get(int reg, int size) const;
    void set(int reg, int size, uint32_t value);
    // Bits of [reg, reg + size) software may change (all clear at first).
    void setWritable(int reg, int size, uint32_t mask);

    uint16_t vendor() const { return static_cast<uint16_t>(get(0x00, 2)); }
    uint16_t device() const { return static_cast<uint16_t>(get(0x02, 2)); }
    uint8_t baseClass() const { return byte(0x0B); }
    uint8_t subClass() const { return byte(0x0A); }

  private:
    std::array<uint8_t, 256> space_{};
    std::array<uint8_t, 256> writable_{};
};

class PciBus {
  public:
    // What opening "/dev/X/pci" meets. Auto: the device exists once a
    // function is on the bus (a machine without PCI has no such device).
    enum class Node { Auto, Missing, Refusing, Present };
    // Makes a request answer as done but with its found or status word 0.
    static constexpr int kNotDone = -1;

    // Puts `f` (kept alive by its owner as long as the machine) at the next
    // device number of bus 0; returns the location find requests report.
    PciLocation add(PciFunction &f);
    const std::vector<PciFunction *> &functions() const { return functions_; }

    void setNode(Node n) { node_ = n; }
    // Without a bus the presence request fails (the device may still open).
    void setBusPresent(bool present) { busPresent_ = present; }
    // Every later request with `code` fails: with `err` > 0 the call returns
    // -1 and sets errno to it; with kNotDone it returns 0 and leaves the
    // found or status word 0. 0 ends the fault.
    void failRequest(uint32_t code, int err);
    // Opens beyond `n` more are refused (EACCES); negative: no limit.
    void setOpenLimit(int n) { openLimit_ = n; }

    // Successful opens and every request made, by code (also those that failed).
    int opens() const { return opens_; }
    int requests(uint32_t code) const;

    // The device's side of `open` and `ioctl`: 0, or -1 with errno set.
    int open();
    int request(uint32_t code, void *arg, bool writable);

  private:
    PciFunction *at(const PciLocation &loc) const;
    int find(PciFindRequest &r, bool byClass) const;
    std::vector<PciFunction *> functions_;
    Node node_ = Node::Auto;
    bool busPresent_ = true;
    int openLimit_ = -1;
    int opens_ = 0;
    std::map<uint32_t, int> faults_;
    std::map<uint32_t, int> requests_;
};

// The bus of the machine current now.
PciBus &currentPciBus();

// Descriptors of "/dev/X/pci" still open. A descriptor kept by a driver that
// has been unloaded is dead; the harness closes them all between cases.
int openPciDescriptors();
void closePciDescriptors();

} // namespace sim
