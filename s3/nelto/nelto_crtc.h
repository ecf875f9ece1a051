/*
 * The CRTC and cursor registers the nelto and savage drivers program alike,
 * and the indexed access to them at the colour CRTC ports.
 */
#ifndef NELTO_CRTC_H
#define NELTO_CRTC_H

#include "driver.h"

/* ---- CRTC ---- */

#define CRTC_INDEX 0x3D4
#define CRTC_DATA 0x3D5
#define SEQ_INDEX 0x3C4
#define SEQ_DATA 0x3C5
#define SR1 0x01
#define SR1_SCREEN_OFF 0x20
#define CR36 0x36
#define CR38 0x38
#define CR39 0x39
#define CR40 0x40
#define CR45 0x45
#define CR46 0x46
#define CR47 0x47
#define CR48 0x48
#define CR49 0x49
#define CR4A 0x4A
#define CR4B 0x4B
#define CR4C 0x4C
#define CR4D 0x4D
#define CR4E 0x4E
#define CR4F 0x4F
#define CR53 0x53
#define CR58 0x58
#define CR59 0x59
#define CR5A 0x5A
#define CR38_KEY 0x48
#define CR39_KEY 0xAD
#define CR40_ENHANCED 0x01
#define CR45_CURSOR_ON 0x01
#define CR53_KEEP 0xC1
#define CR53_MMIO 0x08
#define CR58_LINEAR 0x13

/* ---- Cursor ---- */

#define CURSOR_SIZE 64
#define CURSOR_IMAGE_BYTES 1024
#define CURSOR_UNIT 1024
#define CURSOR_HIDDEN_MAX 63

static inline uint8_t neltoInCR(uint8_t index) {
    outb(CRTC_INDEX, index);
    return inb(CRTC_DATA);
}
static inline void neltoOutCR(uint8_t index, uint8_t value) {
    outb(CRTC_INDEX, index);
    outb(CRTC_DATA, value);
}

#endif
