// The register accessors and the server's port routines of the host build:
// each access goes, in order, to the current simulated machine.
#include <cstring>

#include "hwio.h"
#include "machine.h"
#include "nfb.h"

namespace {

// Inline: it is on every access's path.
inline sim::Machine &machine() {
    return sim::Machine::current();
}

} // namespace

extern "C" {

uint8_t ioIn8(uint16_t port) {
    return static_cast<uint8_t>(machine().portIn(port, 1));
}
uint16_t ioIn16(uint16_t port) {
    return static_cast<uint16_t>(machine().portIn(port, 2));
}
uint32_t ioIn32(uint16_t port) {
    return machine().portIn(port, 4);
}
void ioOut8(uint16_t port, uint8_t v) {
    machine().portOut(port, 1, v);
}
void ioOut16(uint16_t port, uint16_t v) {
    machine().portOut(port, 2, v);
}
void ioOut32(uint16_t port, uint32_t v) {
    machine().portOut(port, 4, v);
}

// The buffers of string transfers need not be aligned, as with rep insw.
void ioInsw(uint16_t port, void *buf, uint32_t count) {
    auto *dst = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < count; i++) {
        uint16_t w = static_cast<uint16_t>(machine().portIn(port, 2));
        std::memcpy(dst + 2 * i, &w, sizeof w);
    }
}

void ioOutsw(uint16_t port, const void *buf, uint32_t count) {
    auto *src = static_cast<const uint8_t *>(buf);
    for (uint32_t i = 0; i < count; i++) {
        uint16_t w;
        std::memcpy(&w, src + 2 * i, sizeof w);
        machine().portOut(port, 2, w);
    }
}

void ioOutsb(uint16_t port, const void *buf, uint32_t count) {
    auto *src = static_cast<const uint8_t *>(buf);
    for (uint32_t i = 0; i < count; i++)
        machine().portOut(port, 1, src[i]);
}

uint8_t mmRead8(const volatile void *a) {
    return static_cast<uint8_t>(machine().memRead(a, 1));
}
uint16_t mmRead16(const volatile void *a) {
    return static_cast<uint16_t>(machine().memRead(a, 2));
}
uint32_t mmRead32(const volatile void *a) {
    return machine().memRead(a, 4);
}
void mmWrite8(volatile void *a, uint8_t v) {
    machine().memWrite(a, 1, v);
}
void mmWrite16(volatile void *a, uint16_t v) {
    machine().memWrite(a, 2, v);
}
void mmWrite32(volatile void *a, uint32_t v) {
    machine().memWrite(a, 4, v);
}

void mmWriteRep32(volatile void *a, const uint32_t *src, uint32_t count) {
    for (uint32_t i = 0; i < count; i++)
        machine().memWrite(a, 4, src[i]);
}

void mmWriteBytes(volatile void *a, const uint8_t *src, uint32_t n) {
    auto *dst = static_cast<volatile uint8_t *>(a);
    for (uint32_t i = 0; i < n; i++)
        machine().memWrite(dst + i, 1, src[i]);
}

// Each word is one bus access at its own address, as the processor's block
// move makes them.
void mmWriteBlock32(volatile void *a, const void *src, uint32_t count) {
    auto *dst = static_cast<volatile uint8_t *>(a);
    auto *from = static_cast<const uint8_t *>(src);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t w;
        std::memcpy(&w, from + 4 * i, sizeof w);
        machine().memWrite(dst + 4 * i, 4, w);
    }
}

void mmReadBlock32(const volatile void *a, void *dst, uint32_t count) {
    auto *src = static_cast<const volatile uint8_t *>(a);
    auto *to = static_cast<uint8_t *>(dst);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t w = machine().memRead(src + 4 * i, 4);
        std::memcpy(to + 4 * i, &w, sizeof w);
    }
}

uint8_t inb(uint16_t port) {
    return ioIn8(port);
}
void outb(uint16_t port, uint8_t value) {
    ioOut8(port, value);
}
uint16_t inw(uint16_t port) {
    return ioIn16(port);
}
void outw(uint16_t port, uint16_t value) {
    ioOut16(port, value);
}

void ioInterruptsOff(void) {
    machine().cpuStep(sim::Machine::CpuStep::InterruptsOff);
}
void ioInterruptsOn(void) {
    machine().cpuStep(sim::Machine::CpuStep::InterruptsOn);
}
void ioSpin(uint32_t passes) {
    machine().cpuStep(sim::Machine::CpuStep::Spin, passes);
}

// Time is virtual: a delay only moves the machine's clock.
long nap(long msec) {
    if (msec > 0)
        machine().advance(static_cast<uint64_t>(msec) * 1000);
    return 0;
}

} // extern "C"
