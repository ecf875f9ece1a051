/*
 * Register access for every driver: direct port I/O beside the server's
 * inb/outb/inw/outw, string port transfers, and memory-mapped registers, data
 * ports and windows in special write modes. Plain linear frame-buffer pixels
 * are ordinary memory and do not go through here.
 *
 * On the target (i386) these are the port instructions and volatile loads and
 * stores. In the host build they are calls into the simulated machine, which
 * hands each access, in order, to the device model that owns the port or the
 * address.
 */
#ifndef DRV_HWIO_H
#define DRV_HWIO_H

#include <stddef.h>
#include <stdint.h>

#if defined(__i386__)

static inline uint8_t ioIn8(uint16_t port) {
    uint8_t v;
    __asm__ __volatile__("inb %w1, %b0" : "=a"(v) : "Nd"(port));
    return v;
}
static inline uint16_t ioIn16(uint16_t port) {
    uint16_t v;
    __asm__ __volatile__("inw %w1, %w0" : "=a"(v) : "Nd"(port));
    return v;
}
static inline uint32_t ioIn32(uint16_t port) {
    uint32_t v;
    __asm__ __volatile__("inl %w1, %0" : "=a"(v) : "Nd"(port));
    return v;
}
static inline void ioOut8(uint16_t port, uint8_t v) {
    __asm__ __volatile__("outb %b0, %w1" : : "a"(v), "Nd"(port));
}
static inline void ioOut16(uint16_t port, uint16_t v) {
    __asm__ __volatile__("outw %w0, %w1" : : "a"(v), "Nd"(port));
}
static inline void ioOut32(uint16_t port, uint32_t v) {
    __asm__ __volatile__("outl %0, %w1" : : "a"(v), "Nd"(port));
}
static inline void ioInsw(uint16_t port, void *buf, uint32_t count) {
    __asm__ __volatile__("cld; rep insw" : "+D"(buf), "+c"(count) : "d"(port) : "memory");
}
static inline void ioOutsw(uint16_t port, const void *buf, uint32_t count) {
    __asm__ __volatile__("cld; rep outsw" : "+S"(buf), "+c"(count) : "d"(port) : "memory");
}
static inline void ioOutsb(uint16_t port, const void *buf, uint32_t count) {
    __asm__ __volatile__("cld; rep outsb" : "+S"(buf), "+c"(count) : "d"(port) : "memory");
}

static inline uint8_t mmRead8(const volatile void *a) {
    return *(const volatile uint8_t *)a;
}
static inline uint16_t mmRead16(const volatile void *a) {
    return *(const volatile uint16_t *)a;
}
static inline uint32_t mmRead32(const volatile void *a) {
    return *(const volatile uint32_t *)a;
}
static inline void mmWrite8(volatile void *a, uint8_t v) {
    *(volatile uint8_t *)a = v;
}
static inline void mmWrite16(volatile void *a, uint16_t v) {
    *(volatile uint16_t *)a = v;
}
static inline void mmWrite32(volatile void *a, uint32_t v) {
    *(volatile uint32_t *)a = v;
}
/* `count` words, one after another, to one address (a data port). */
static inline void mmWriteRep32(volatile void *a, const uint32_t *src, uint32_t count) {
    for (uint32_t i = 0; i < count; i++)
        *(volatile uint32_t *)a = src[i];
}
/* `n` bytes to consecutive addresses of a window in a special write mode. */
static inline void mmWriteBytes(volatile void *a, const uint8_t *src, uint32_t n) {
    for (uint32_t i = 0; i < n; i++)
        ((volatile uint8_t *)a)[i] = src[i];
}
/* `count` 32-bit words to consecutive addresses from `a` (a transfer area
 * that takes a whole row as one block), and back; the memory side need not
 * be aligned. */
static inline void mmWriteBlock32(volatile void *a, const void *src, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        uint32_t w;
        __builtin_memcpy(&w, (const uint8_t *)src + 4 * i, sizeof w);
        ((volatile uint32_t *)a)[i] = w;
    }
}
static inline void mmReadBlock32(const volatile void *a, void *dst, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        uint32_t w = ((const volatile uint32_t *)a)[i];
        __builtin_memcpy((uint8_t *)dst + 4 * i, &w, sizeof w);
    }
}

/* The interrupt flag, for a transfer whose timing must not be stretched by an
 * interrupt handler, and a busy loop of `passes` passes of a volatile counter
 * for a delay the hardware needs. */
static inline void ioInterruptsOff(void) {
    __asm__ __volatile__("cli" : : : "memory");
}
static inline void ioInterruptsOn(void) {
    __asm__ __volatile__("sti" : : : "memory");
}
static inline void ioSpin(uint32_t passes) {
    volatile uint32_t i = 0;
    while (i < passes)
        i = i + 1;
}

#else /* host build: the simulated machine */

#ifdef __cplusplus
extern "C" {
#endif
uint8_t ioIn8(uint16_t port);
uint16_t ioIn16(uint16_t port);
uint32_t ioIn32(uint16_t port);
void ioOut8(uint16_t port, uint8_t v);
void ioOut16(uint16_t port, uint16_t v);
void ioOut32(uint16_t port, uint32_t v);
void ioInsw(uint16_t port, void *buf, uint32_t count);
void ioOutsw(uint16_t port, const void *buf, uint32_t count);
void ioOutsb(uint16_t port, const void *buf, uint32_t count);

uint8_t mmRead8(const volatile void *a);
uint16_t mmRead16(const volatile void *a);
uint32_t mmRead32(const volatile void *a);
void mmWrite8(volatile void *a, uint8_t v);
void mmWrite16(volatile void *a, uint16_t v);
void mmWrite32(volatile void *a, uint32_t v);
void mmWriteRep32(volatile void *a, const uint32_t *src, uint32_t count);
void mmWriteBytes(volatile void *a, const uint8_t *src, uint32_t n);
void mmWriteBlock32(volatile void *a, const void *src, uint32_t count);
void mmReadBlock32(const volatile void *a, void *dst, uint32_t count);
/* The interrupt flag and the busy loop are noted in the machine's record of
 * processor steps; a busy loop moves virtual time instead of spinning. */
void ioInterruptsOff(void);
void ioInterruptsOn(void);
void ioSpin(uint32_t passes);
#ifdef __cplusplus
}
#endif

#endif

#endif
