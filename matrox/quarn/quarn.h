/*
 * The Matrox driver's screen private, its PCI access and what its sources
 * share. The chip layer (matrox/chiplayer) reaches the board only through
 * the client services here, which find this record through the board
 * handle's ulClientPrivate.
 */
#ifndef QUARN_H
#define QUARN_H

#include <stdint.h>

#include "hal_records.h"
#include "pcicfg.h"

#define QUARN_PCI_VENDOR 0x102B

/* The values the loaded engine set-up was made with. */
enum {
    QUARN_SHADOW_ALU,
    QUARN_SHADOW_PLANEMASK,
    QUARN_SHADOW_FG,
    QUARN_SHADOW_BG,
    QUARN_SHADOW_TRANSPARENT,
    QUARN_SHADOWS
};

typedef struct _quarnFontSlot {
    int32_t stride; /* bytes per glyph row */
    int32_t offset; /* in video memory */
} quarnFontSlot;

typedef struct _quarnScreenPrivate {
    uint8_t *regs; /* the control-register window (the default area) */
    uint8_t *fb;   /* the frame buffer ("FBM") */
    int32_t pitch; /* pixels */
    int32_t lineBytes;
    int32_t width; /* as drawn: 832 for an 800-pixel screen at depth 8 */
    int32_t height;
    int32_t depth; /* bits per pixel: 8, 16 or 32 */
    int32_t bytesPerPixel;
    PciLocation pciLocation;
    int32_t engineState; /* the loaded engine set-up, 0 none */
    int32_t shadow[QUARN_SHADOWS];
    int32_t requestedWidth; /* PIXWIDTH */
    int32_t memorySize;
    uint32_t modeSet;
    int32_t drawOrigin; /* pixels */
    int32_t freeMemory;
    int32_t clip[4]; /* left, right, top and bottom line addresses */
    int32_t cursor[4];
    uint32_t dactype; /* 0 external DAC, 1 integrated */
    quarnFontSlot fontSlot[2];
    int32_t pciFd; /* the PCI configuration device, -1 when not open */
    BoardHandle *board;
    /* The legacy video BIOS image (grafinfo area "BIOS"), null without one. */
    uint8_t *legacyBios;
} quarnScreenPrivate;

#define QUARN_LEGACY_BIOS_BYTES 0x10000

#ifdef __cplusplus
extern "C" {
#endif

/* 0 when a VGA-class function with this identity was found (its location
 * is kept in the private), -1 otherwise. */
int QUARN_PCI_Find_Board(uint32_t vendor, uint32_t device, quarnScreenPrivate *priv);
/* 1 and the value read, or -1 (result untouched). */
int QUARN_PCI_Read_Config(uint32_t reg, uint32_t size, uint32_t *result, quarnScreenPrivate *priv);
/* 1, or -1. */
int QUARN_PCI_Write_Config(uint32_t reg, uint32_t size, const uint32_t *value,
                           quarnScreenPrivate *priv);

#ifdef __cplusplus
}
#endif

#endif
