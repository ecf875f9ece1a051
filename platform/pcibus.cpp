// The PCI bus of a simulated machine, its configuration device, and the
// stand-in's `open`, `ioctl` and `close`, which serve that device and hand
// everything else to the C library.

// The definitions of open/ioctl/close below must be the only ones in this
// file; the fortified headers would add inline ones of their own.
#undef _FORTIFY_SOURCE

#include "pcibus.h"

#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <stdexcept>

#include "machine.h"
#include "nfb.h"

namespace sim {

// ======================= functions =======================

PciFunction::PciFunction(uint16_t vendor, uint16_t device, uint8_t baseClass, uint8_t subClass) {
    set(0x00, 2, vendor);
    set(0x02, 2, device);
    set(0x0A, 1, subClass);
    set(0x0B, 1, baseClass);
}

uint32_t PciFunction::get(int reg, int size) const {
    uint32_t v = 0;
    for (int i = 0; i < size; i++) {
        const int r = reg + i;
        const uint32_t b = r < 256 ? space_[static_cast<size_t>(r)] : 0xFF;
        v |= b << (8 * i);
    }
    return v;
}

void PciFunction::set(int reg, int size, uint32_t value) {
    for (int i = 0; i < size && reg + i < 256; i++)
        space_[static_cast<size_t>(reg + i)] = static_cast<uint8_t>(value >> (8 * i));
}

void PciFunction::setWritable(int reg, int size, uint32_t mask) {
    for (int i = 0; i < size && reg + i < 256; i++)
        writable_[static_cast<size_t>(reg + i)] = static_cast<uint8_t>(mask >> (8 * i));
}

uint32_t PciFunction::configRead(int reg, int size) {
    return get(reg, size);
}

void PciFunction::configWrite(int reg, int size, uint32_t value) {
    for (int i = 0; i < size && reg + i < 256; i++) {
        const size_t r = static_cast<size_t>(reg + i);
        const uint8_t b = static_cast<uint8_t>(value >> (8 * i));
        space_[r] = static_cast<uint8_t>((space_[r] & ~writable_[r]) | (b & writable_[r]));
    }
}

// ======================= bus and device =======================

namespace {

// Bus 0; the device number in bits 3-7 of the half word, function 0.
PciLocation locationOf(size_t slot) {
    PciLocation loc;
    loc.word = 0;
    loc.half = static_cast<uint16_t>(slot << 3);
    return loc;
}

int failWith(int err) {
    errno = err;
    return -1;
}

} // namespace

PciLocation PciBus::add(PciFunction &f) {
    if (functions_.size() >= 32)
        throw std::length_error("PCI bus 0 has 32 device numbers");
    functions_.push_back(&f);
    return locationOf(functions_.size() - 1);
}

void PciBus::failRequest(uint32_t code, int err) {
    if (err == 0)
        faults_.erase(code);
    else
        faults_[code] = err;
}

int PciBus::requests(uint32_t code) const {
    auto it = requests_.find(code);
    return it == requests_.end() ? 0 : it->second;
}

int PciBus::open() {
    const Node n = node_ != Node::Auto ? node_ : functions_.empty() ? Node::Missing : Node::Present;
    if (n == Node::Missing)
        return failWith(ENOENT);
    if (n == Node::Refusing || openLimit_ == 0)
        return failWith(EACCES);
    if (openLimit_ > 0)
        openLimit_--;
    opens_++;
    return 0;
}

PciFunction *PciBus::at(const PciLocation &loc) const {
    if (loc.word != 0 || (loc.half & 7) != 0)
        return nullptr;
    const size_t slot = loc.half >> 3;
    return slot < functions_.size() ? functions_[slot] : nullptr;
}

int PciBus::find(PciFindRequest &r, bool byClass) const {
    unsigned seen = 0;
    r.found = 0;
    for (size_t slot = 0; slot < functions_.size(); slot++) {
        const PciFunction &f = *functions_[slot];
        const bool match = byClass ? f.baseClass() == r.vendor && f.subClass() == r.device
                                   : f.vendor() == r.vendor && f.device() == r.device;
        if (match && seen++ == r.index) {
            r.found = 1;
            r.location = locationOf(slot);
            break;
        }
    }
    return 0;
}

int PciBus::request(uint32_t code, void *arg, bool writable) {
    requests_[code]++;
    if (arg == nullptr)
        return failWith(EFAULT);
    const bool config = code == PCI_READ_CONFIG || code == PCI_WRITE_CONFIG;
    const bool search = code == PCI_FIND_DEVICE || code == PCI_FIND_CLASS;
    if (code != PCI_BUS_PRESENT && !config && !search)
        return failWith(ENOTTY);
    // Records are packed and may sit anywhere: work on aligned copies.
    PciFindRequest fr;
    PciConfigRequest cr;
    if (search)
        std::memcpy(&fr, arg, sizeof fr);
    if (config) {
        std::memcpy(&cr, arg, sizeof cr);
        if (cr.size == 0 || cr.size > 4 || cr.reg > 255)
            return failWith(EINVAL);
        if (code == PCI_WRITE_CONFIG && !writable)
            return failWith(EBADF);
    }
    auto fault = faults_.find(code);
    if (fault != faults_.end() && fault->second > 0)
        return failWith(fault->second);
    const bool done = fault == faults_.end();

    if (code == PCI_BUS_PRESENT) {
        if (!busPresent_)
            return failWith(ENODEV);
        // One bus, and how many functions it carries; nothing relies on more.
        uint8_t reply[PCI_BUS_PRESENT_REPLY_BYTES] = {};
        reply[0] = 1;
        reply[4] = static_cast<uint8_t>(functions_.size());
        std::memcpy(arg, reply, sizeof reply);
        return 0;
    }
    if (search) {
        find(fr, code == PCI_FIND_CLASS);
        if (!done)
            fr.found = 0;
        std::memcpy(arg, &fr, sizeof fr);
        return 0;
    }
    PciFunction *f = at(cr.location);
    if (f == nullptr)
        return failWith(ENODEV);
    cr.status = 0;
    if (done) {
        if (code == PCI_READ_CONFIG)
            cr.data = f->configRead(cr.reg, cr.size);
        else
            f->configWrite(cr.reg, cr.size, cr.data);
        cr.status = 1;
    }
    std::memcpy(arg, &cr, sizeof cr);
    return 0;
}

PciBus &currentPciBus() {
    return Machine::current().pci();
}

// ======================= descriptors =======================

namespace {

using OpenFn = int (*)(const char *, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);

template <class Fn> Fn next(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

OpenFn realOpen() {
    static const OpenFn f = next<OpenFn>("open");
    return f;
}

IoctlFn realIoctl() {
    static const IoctlFn f = next<IoctlFn>("ioctl");
    return f;
}

CloseFn realClose() {
    static const CloseFn f = next<CloseFn>("close");
    return f;
}

// Open descriptors of the device and whether each may write.
// Never destroyed: the C library and the sanitizers close descriptors after
// static destructors have run.
std::map<int, bool> &pciDescriptors() {
    static auto *table = new std::map<int, bool>;
    return *table;
}

int openPciDevice(int flags) {
    if (currentPciBus().open() < 0)
        return -1;
    // A descriptor of the C library's own, so that no file the program opens
    // can get the same number.
    const int fd = realOpen()("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    pciDescriptors()[fd] = (flags & O_ACCMODE) != O_RDONLY;
    return fd;
}

} // namespace

int openPciDescriptors() {
    return static_cast<int>(pciDescriptors().size());
}

void closePciDescriptors() {
    for (const auto &d : pciDescriptors())
        realClose()(d.first);
    pciDescriptors().clear();
}

} // namespace sim

extern "C" {

int open(const char *path, int flags, ...) {
    if (std::strcmp(path, PCI_DEVICE_PATH) == 0)
        return sim::openPciDevice(flags);
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        const mode_t mode = va_arg(ap, mode_t);
        va_end(ap);
        return sim::realOpen()(path, flags, mode);
    }
    return sim::realOpen()(path, flags);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    auto d = sim::pciDescriptors().find(fd);
    if (d != sim::pciDescriptors().end()) {
        if (request > UINT32_MAX) {
            errno = ENOTTY;
            return -1;
        }
        return sim::currentPciBus().request(static_cast<uint32_t>(request), arg, d->second);
    }
    return sim::realIoctl()(fd, request, arg);
}

int close(int fd) {
    sim::pciDescriptors().erase(fd);
    return sim::realClose()(fd);
}

} // extern "C"
