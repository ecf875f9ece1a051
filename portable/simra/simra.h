/*
 * Private header of the simra driver: adapters built on the WD90C33
 * accelerated VGA controller.
 *
 * The processor reaches video memory only through a 64 KB window placed by
 * GR9 in 4 KB units; the drawing engine sits behind the 16-bit ports
 * 0x23C0-0x23CE, where a block-select port chooses which register block the
 * register port writes. Every register write carries its register number in
 * bits 15-12 and a 12-bit value, so coordinates and sizes are 12-bit too.
 */
#ifndef SIMRA_H
#define SIMRA_H

#include "driver.h"

/* ---- VGA ports ---- */

#define VGA_ATTR_INDEX 0x3C0
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_GC_INDEX 0x3CE
#define VGA_GC_DATA 0x3CF
#define VGA_INPUT_STATUS_1 0x3DA /* reading it resets the attribute flip-flop */

#define ATTR_PICTURE_OFF 0x00
#define ATTR_PICTURE_ON 0x20

#define GR_BANK 0x09
#define GR_MEMORY 0x0B /* bits 7-6: the memory size */
#define GR_MEMORY_SHIFT 6

/* ---- Engine ports ---- */

#define WD_BLOCK_SELECT 0x23C0
#define WD_REGISTER 0x23C2 /* register in bits 15-12, value in 11-0 */
#define WD_HOST_LOW 0x23C4 /* host data: low half of a unit, or one mono group */
#define WD_HOST_HIGH 0x23C6
#define WD_LINE_E1 0x23C8 /* axial error increment */
#define WD_LINE_E2 0x23CA /* diagonal error increment */
#define WD_LINE_E 0x23CC  /* initial error term */
#define WD_STATUS 0x23CE  /* read: queue count and busy; byte write: 0x20 at set-up */

#define WD_STATUS_QUEUE 0x0F
#define WD_STATUS_BUSY 0x80
#define WD_ENGINE_ENABLE 0x20
#define WD_VALUE_MASK 0xFFF
#define WD_REG_SHIFT 12

/* Register blocks. */
#define WD_B1 1
#define WD_B3 3

/* Block 1. */
#define B1_COMMAND 0
#define B1_MODE 1
#define B1_SRC_X 2 /* host data: pixels skipped at the start of each row */
#define B1_SRC_Y 3
#define B1_DST_X 4
#define B1_DST_Y 5
#define B1_WIDTH 6  /* width - 1 */
#define B1_HEIGHT 7 /* height - 1 */
#define B1_ROP 8    /* (alu & 15) << 8 */
#define B1_CLIP_LEFT 9
#define B1_CLIP_RIGHT 10
#define B1_CLIP_TOP 11
#define B1_CLIP_BOTTOM 12

/* Block 3: each value pair takes the low byte first. */
#define B3_RESET 0
#define B3_LINE_LENGTH 1
#define B3_FG 2
#define B3_BG 4
#define B3_PIXEL_MASK 6
#define B3_SOURCE_PLANE 8
#define B3_PLANE_MASK 10

/* Commands. */
#define CMD_COPY 0x200
#define CMD_RIGHT_TO_LEFT 0x100
#define CMD_BOTTOM_TO_TOP 0x80
#define CMD_PATTERN 0x204
#define CMD_EXPAND 0x208
#define CMD_MONO_PATTERN 0x20C
#define CMD_FILL 0x210
#define CMD_HOST_COLOUR 0x220
#define CMD_HOST_MONO 0x238
#define CMD_LINE 0x810
#define CMD_LINE_X_DEC 0x100
#define CMD_LINE_Y_DEC 0x80
#define CMD_LINE_Y_MAJOR 0x40

/* Mode words, ORed with pixelSizeBits. */
#define MODE_SCREEN 0x60
#define MODE_SCREEN_TRANSPARENT 0xE0
#define MODE_HOST_MONO 0x63
#define MODE_HOST_MONO_TRANSPARENT 0xE3
#define MODE_HOST_COLOUR 0x65
#define MODE_TRANSPARENT 0x80

#define PIXEL_SIZE_8 0x400
#define PIXEL_SIZE_16 0x800

#define WD_QUEUE_DEPTH 8
#define WD_COORD_LIMIT 4096 /* 12-bit coordinates */

/* ---- The window ---- */

#define WINDOW_BYTES 0x10000
#define WINDOW_GRANULE 0x1000
#define WINDOW_SHIFT 12

/* ---- Layout ---- */

#define PATTERN_PIXELS 64
#define STAGING_MAX_LINES 64
#define STAGING_MIN_LINES 16
#define GLYPH_MIN_LINES 8
#define DEFAULT_MONITOR_MM 300

/* ---- Glyph cache ---- */

#define GLYPH_BUCKETS 1024
#define GLYPH_BUCKET_MASK 0x3FF
#define GLYPH_MIN_CACHED 6 /* both sides below this: sent from the bitmap */
#define GLYPH_CLOSE_FIT 3
#define TEXT_FONT_KEY (-1)

typedef struct _simraGlyphCell {
    struct _simraGlyphCell *next;
    int32_t fontId;
    int32_t glyphKey;
    int32_t x, y;
    uint8_t plane;
} simraGlyphCell;

typedef struct _simraGlyphPlane {
    int32_t cellWidth, cellHeight;
    simraGlyphCell *cells;
    simraGlyphCell *freeList;
    int32_t cellCount;
} simraGlyphPlane;

/* ---- Screen private: twenty-two 32-bit words on the target ---- */

typedef struct _simraScreenPrivate {
    uint8_t *fbBase;
    uint32_t memorySize;
    uint32_t pitch;
    uint32_t engineWidth;
    uint32_t pixelSizeBits;
    uint32_t bankBase;
    int32_t tileAreaX, tileAreaY;
    int32_t patternX, patternY;
    int32_t loadedKind;
    int32_t tileAreaMaxWidth;
    int32_t tileAreaMaxHeight;
    uint32_t loadedKey;
    int32_t bytesPerPixel;
    uint32_t pixelMask;
    int32_t glyphAreaY;
    int32_t glyphAreaHeight;
    int32_t glyphAreaWidth;
    simraGlyphPlane *planes;
    simraGlyphCell **buckets;
    uint32_t blockShadow;
} simraScreenPrivate, *simraScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(simraScreenPrivate) == 88, "the screen private is twenty-two words");
DRV_STATIC_ASSERT(sizeof(simraGlyphCell) == 24, "a glyph cell is six words");
DRV_STATIC_ASSERT(sizeof(simraGlyphPlane) == 20, "a glyph plane is five words");
#endif

#define LOADED_STAGING 1
#define LOADED_PATTERN 2

extern int simraScreenPrivateIndex;
extern "C" {
extern int nextFontId;
}

#define SIMRA_PRIV(pScreen)                                                                        \
    ((simraScreenPrivPtr)(pScreen)->devPrivates[simraScreenPrivateIndex].ptr)

static inline simraScreenPrivPtr simraPrivOf(DrawablePtr pDraw) {
    return SIMRA_PRIV(pDraw->pScreen);
}

/* ---- Engine access (simra_engine.cpp) ---- */

/* An operation's view of the block-select shadow: it starts from the
 * private's and is stored back at the end. */
typedef struct _simraRegs {
    simraScreenPrivPtr priv;
    uint32_t block;
} simraRegs;

static inline simraRegs simraBegin(simraScreenPrivPtr priv) {
    simraRegs r = {priv, priv->blockShadow};
    return r;
}

static inline void simraEnd(simraRegs *r) {
    r->priv->blockShadow = r->block;
}

static inline void simraReg(simraRegs *r, uint32_t block, int reg, uint32_t value) {
    if (r->block != block) {
        ioOut16(WD_BLOCK_SELECT, (uint16_t)block);
        r->block = block;
    }
    ioOut16(WD_REGISTER, (uint16_t)((uint32_t)reg << WD_REG_SHIFT | (value & WD_VALUE_MASK)));
}

/* A 16-bit colour, mask or plane value: low byte, then high byte. */
static inline void simraReg16(simraRegs *r, int reg, uint32_t value) {
    simraReg(r, WD_B3, reg, value & 0xFF);
    simraReg(r, WD_B3, reg + 1, (value >> 8) & 0xFF);
}

static inline void simraB1(simraRegs *r, int reg, uint32_t value) {
    simraReg(r, WD_B1, reg, value);
}

/* Poll until at most `queued` register writes wait in the engine's queue. */
void simraWaitQueue(int queued);
static inline void simraWaitEmpty(void) {
    simraWaitQueue(0);
}
/* Poll until the engine has finished (before the processor touches video
 * memory). */
void simraWaitIdle(void);

/* The raster-operation register value of an X alu. */
static inline uint32_t simraRop(int alu) {
    return (uint32_t)(alu & 15) << 8;
}

/* Write GR9 and record where the window now starts. */
void simraSetBank(simraScreenPrivPtr priv, uint32_t bankBase);

/* A row-by-row walk through the window over rows of `n` bytes, `pitch`
 * bytes apart in video memory. */
typedef struct _simraWalk {
    uint8_t *at; /* the row's first byte in the window */
    uint32_t n;
    int32_t rel;
} simraWalk;

void simraWalkStart(simraScreenPrivPtr priv, simraWalk *w, uint32_t offset, uint32_t n);
void simraWalkNext(simraScreenPrivPtr priv, simraWalk *w);

/* Rows between the caller's memory and video memory through the window. */
void simraWindowRead(uint8_t *dst, const uint8_t *window, uint32_t n);
void simraWindowWrite(uint8_t *window, const uint8_t *src, uint32_t n);

/* Monochrome host data: one row of `groups` 4-pixel groups from `bits`,
 * starting with the second group of the first byte when `oddStart`. */
void simraSendMonoRow(const uint8_t *bits, int groups, Bool oddStart);

/* ---- Screen (simra.cpp) ---- */

Bool simraInitMem(ScreenPtr, int width, int height, int depth);
void simraInitHW(ScreenPtr);
int simraValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);

/* ---- Drawing (simra_solid.cpp, simra_image.cpp, simra_tile.cpp) ---- */

extern "C" {
extern PrivOps simraSolidPrivOps;
extern PrivOps simraTiledPrivOps;
extern PrivOps simraStippledPrivOps;
extern PrivOps simraOpStippledPrivOps;
extern WinOps simraWinOps;
}

void simraSolidFillRects(GCPtr, DrawablePtr, BoxPtr, int count);
void simraSolidFS(GCPtr, DrawablePtr, DDXPointPtr, int *widths, int count);
void simraSolidZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                       int e1, int e2, int len);
void simraCopyRect(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void simraDrawSolidRects(BoxPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void simraDrawPoints(DDXPointPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);

void simraReadImage(BoxPtr, uint8_t *dst, int stride, DrawablePtr);
void simraDrawImage(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);
void simraDrawMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr);
void simraDrawOpaqueMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                              int alu, uint32_t planemask, DrawablePtr);

void simraTiledFillRects(GCPtr, DrawablePtr, BoxPtr, int count);
void simraTiledFS(GCPtr, DrawablePtr, DDXPointPtr, int *widths, int count);
void simraStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int count);
void simraStippledFS(GCPtr, DrawablePtr, DDXPointPtr, int *widths, int count);
void simraOpStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int count);
void simraOpStippledFS(GCPtr, DrawablePtr, DDXPointPtr, int *widths, int count);
void simraTileRects(BoxPtr, int count, uint8_t *tile, int tileStride, int tileWidth, int tileHeight,
                    DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);

/* ---- Glyphs and text (simra_glyph.cpp) ---- */

void simraDrawMonoGlyphs(MonoGlyphRec *, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr, DrawablePtr);
void simraDrawFontText8(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, int transparent, DrawablePtr);
void simraClearFont(nfbFontPrivPtr, ScreenPtr);
void simraInitGlCache(simraScreenPrivPtr priv);
void simraDeallocGlCache(simraScreenPrivPtr priv);

/* ---- Colormap (simra_cmap.cpp) ---- */

void simraSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr);
void simraLoadColormap(ColormapPtr);

#endif
