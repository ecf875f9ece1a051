/*
 * The clock synthesiser: a serial device on two lines of some I/O port, a
 * data line and a clock line. Each routine sends the low 24 bits of a word,
 * lowest first; bits 21-23 of the word select the synthesiser register it
 * loads. The other bits of the port carry other functions of the board and
 * keep their value throughout.
 *
 * Protocol, one port write a step: data high; unlock pulses with data high;
 * a start of two clock pulses with data low; per bit its complement at a
 * falling clock edge and then the bit at the next rising edge; a stop pulse
 * with data high.
 */
#include "wexla.h"

#define ICD_WORD_BITS 24
#define ICD_UNLOCK_PULSES 5
#define ICD_OLIVE_UNLOCK_PULSES 7
#define DELAY_UNIT_PASSES 1000000u
#define TULIP_SETTLE_PASSES 7500u

typedef void (*PortWriter)(uint16_t port, uint8_t value);

/* One bit a group of four writes: the complement falls in with the clock
 * going low, the bit itself is taken as the clock rises again. */
static void icdSendBits(PortWriter put, uint16_t port, uint8_t m, uint8_t data, uint8_t clock,
                        uint32_t word) {
    for (int i = 0; i < ICD_WORD_BITS; i++) {
        const uint8_t bit = (word >> i) & 1 ? data : 0;
        const uint8_t complement = (uint8_t)(bit ^ data);
        put(port, (uint8_t)(m | complement | clock));
        put(port, (uint8_t)(m | complement));
        put(port, (uint8_t)(m | bit));
        put(port, (uint8_t)(m | bit | clock));
    }
}

static void icdStart(PortWriter put, uint16_t port, uint8_t m, uint8_t clock) {
    put(port, m);
    put(port, (uint8_t)(m | clock));
    put(port, m);
    put(port, (uint8_t)(m | clock));
}

/* A pulse with data high where a 25th bit would be. */
static void icdStop(PortWriter put, uint16_t port, uint8_t m, uint8_t data, uint8_t clock) {
    put(port, (uint8_t)(m | data | clock));
    put(port, (uint8_t)(m | data));
    put(port, (uint8_t)(m | data | clock));
}

static void outbWriter(uint16_t port, uint8_t value) {
    outb(port, value);
}

static void outpWriter(uint16_t port, uint8_t value) {
    outp(port, value);
}

static void directWriter(uint16_t port, uint8_t value) {
    ioOut8(port, value);
}

void wexlaDelay(int n) {
    for (int i = 0; i < n; i++)
        ioSpin(DELAY_UNIT_PASSES);
}

void wexlaProgramICDesign(uint32_t word) {
    const uint8_t start = inb(WEXLA_MISC_READ);
    const uint8_t d = WEXLA_MISC_DATA, k = WEXLA_MISC_CLOCK;
    const uint8_t m = (uint8_t)(start & ~(d | k));
    outb(WEXLA_MISC_WRITE, (uint8_t)(m | d));
    for (int i = 0; i < ICD_UNLOCK_PULSES; i++) {
        outb(WEXLA_MISC_WRITE, (uint8_t)(m | d));
        outb(WEXLA_MISC_WRITE, (uint8_t)(m | d | k));
    }
    icdStart(outbWriter, WEXLA_MISC_WRITE, m, k);
    icdSendBits(outbWriter, WEXLA_MISC_WRITE, m, d, k, word);
    icdStop(outbWriter, WEXLA_MISC_WRITE, m, d, k);
    outb(WEXLA_MISC_WRITE, (uint8_t)(m | d | k));
    outb(WEXLA_MISC_WRITE, start);
}

void wexlaProgramICDesignTulip(uint32_t word) {
    const uint8_t start = inp(WEXLA_TULIP_PORT);
    const uint8_t d = WEXLA_TULIP_DATA, k = WEXLA_TULIP_CLOCK;
    const uint8_t m = (uint8_t)(start & ~(d | k));
    outp(WEXLA_TULIP_PORT, (uint8_t)(m | d));
    for (int i = 0; i < ICD_UNLOCK_PULSES; i++) {
        outp(WEXLA_TULIP_PORT, (uint8_t)(m | d | k));
        outp(WEXLA_TULIP_PORT, (uint8_t)(m | d));
    }
    icdStart(outpWriter, WEXLA_TULIP_PORT, m, k);
    icdSendBits(outpWriter, WEXLA_TULIP_PORT, m, d, k, word);
    icdStop(outpWriter, WEXLA_TULIP_PORT, m, d, k);
    outp(WEXLA_TULIP_PORT, (uint8_t)(m | d | k));
    outp(WEXLA_TULIP_PORT, start);
}

/* This board's port holds nothing else: it starts from 0 and ends at 0. */
void wexlaProgramICDesignOlive(uint32_t word) {
    const uint8_t d = WEXLA_OLIVE_DATA, k = WEXLA_OLIVE_CLOCK;
    outb(WEXLA_OLIVE_PORT, d);
    for (int i = 0; i < ICD_OLIVE_UNLOCK_PULSES; i++) {
        outb(WEXLA_OLIVE_PORT, d);
        outb(WEXLA_OLIVE_PORT, (uint8_t)(d | k));
    }
    outb(WEXLA_OLIVE_PORT, d);
    icdStart(outbWriter, WEXLA_OLIVE_PORT, 0, k);
    icdSendBits(outbWriter, WEXLA_OLIVE_PORT, 0, d, k, word);
    icdStop(outbWriter, WEXLA_OLIVE_PORT, 0, d, k);
    outb(WEXLA_OLIVE_PORT, 0);
    outb(WEXLA_OLIVE_PORT, 0);
}

/* Tulip boards need the lines to settle before the port is touched again. */
void wexlaTulipSettle(void) {
    ioSpin(TULIP_SETTLE_PASSES);
    outp(WEXLA_TULIP_PORT, inp(WEXLA_TULIP_PORT));
}

/* ---- Direct access with interrupts off ---- */

/* What these routines send for a word. */
static uint32_t directWord(uint32_t word) {
    return ~(word << 4);
}

/* Unlock from `m` (data high, clock low), start, the bits, the stop; the
 * caller has turned interrupts off and puts the port back. */
static void directSend(uint16_t port, uint8_t m, int unlockPulses, Bool extraBase, uint32_t word) {
    const uint8_t d = WEXLA_MISC_DATA, k = WEXLA_MISC_CLOCK;
    const uint8_t low = (uint8_t)(m & ~d);
    ioOut8(port, m);
    for (int i = 0; i < unlockPulses; i++) {
        ioOut8(port, m);
        ioOut8(port, (uint8_t)(m | k));
    }
    if (extraBase)
        ioOut8(port, m);
    icdStart(directWriter, port, low, k);
    icdSendBits(directWriter, port, low, d, k, directWord(word));
    icdStop(directWriter, port, low, d, k);
}

static uint8_t directBase(uint8_t misc) {
    return (uint8_t)((misc & ~WEXLA_MISC_CLOCK) | WEXLA_MISC_DATA);
}

void wexlapr1(uint32_t word) {
    ioInterruptsOff();
    const uint8_t misc = ioIn8(WEXLA_MISC_READ);
    directSend(WEXLA_MISC_WRITE, directBase(misc), ICD_UNLOCK_PULSES, 0, word);
    ioOut8(WEXLA_MISC_WRITE, misc);
    ioInterruptsOn();
}

void wexlapr2(uint32_t word) {
    wexlapr1(word);
}

void wexlapr1Olive(uint32_t word) {
    ioInterruptsOff();
    directSend(WEXLA_OLIVE_PORT, WEXLA_OLIVE_DATA, ICD_OLIVE_UNLOCK_PULSES, 1, word);
    ioOut8(WEXLA_OLIVE_PORT, 0);
    ioInterruptsOn();
}

/* The misc output value read at the start goes back to the register it came
 * from: its read port takes no writes. */
void wexlapr2Olive(uint32_t word) {
    ioInterruptsOff();
    const uint8_t misc = ioIn8(WEXLA_MISC_READ);
    directSend(WEXLA_OLIVE_PORT, directBase(misc), ICD_UNLOCK_PULSES, 0, word);
    ioOut8(WEXLA_MISC_WRITE, misc);
    ioInterruptsOn();
}
