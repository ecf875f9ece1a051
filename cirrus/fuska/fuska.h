/*
 * Private header of the fuska driver: an accelerator with a memory-mapped 2D
 * engine and tiled video memory, one library for depths 8, 15, 16 and 24.
 *
 * It names the register block, its bits and the engine's draw definitions,
 * declares the screen private with its off-screen layout and the routines
 * the source files share. Every drawing routine branches on the screen's
 * root depth at run time.
 */
#ifndef FUSKA_H
#define FUSKA_H

#include "driver.h"

/* ---- Register block (memory area REGS), byte offsets ---- */

/* Display offset (pitch in 8-byte units), ten bits over three registers. */
#define REG_DISPLAY_OFFSET_LOW 0x4C /* bits 0-7 */
#define REG_DISPLAY_OFFSET_B8 0x6C  /* bit 8 in bit 4 */
#define REG_DISPLAY_OFFSET_B9 0x74  /* bit 9 in bit 0 */
#define DISPLAY_OFFSET_B8_BIT 0x10
#define DISPLAY_OFFSET_B9_BIT 0x01

#define REG_PALETTE_CONTROL 0xB0 /* 8 bits */
#define PALETTE_BLANK 0x80       /* the display shows nothing */
#define PALETTE_EXTENDED 0x08    /* DAC writes reach the cursor colours */

#define REG_PIXEL_FORMAT 0xC0 /* 16 bits */
#define PIXEL_FORMAT_DEPTH15 0x0200

#define REG_CURSOR_POSITION 0xE0 /* 32 bits: x in 0-15, y in 16-31 */
#define REG_CURSOR_PRESET 0xE4   /* 16 bits: hidden columns in 8-14, rows in 0-6 */
#define REG_CURSOR_CONTROL 0xE6  /* 16 bits */
#define REG_CURSOR_LOCATION 0xE8 /* 16 bits: CursorArea offset >> 8 */
#define CURSOR_ENABLE 0x0001
#define CURSOR_PRESET_MASK 0x7F
#define CURSOR_PRESET_X_SHIFT 8
#define CURSOR_LOCATION_SHIFT 8

#define REG_DISPLAY_TILING 0xEA /* 16 bits */
#define REG_ENGINE_TILING 0x2C4 /* 16 bits */
#define TILING_ENABLE 0x80
#define TILING_TILES_SHIFT 8

#define REG_MODE_CONTROL 0x3FC /* 32 bits */
#define MODE_CONTROL_BIT0 0x00000001u

#define REG_STATUS 0x400 /* 16 bits */
#define STATUS_BUSY 0x0007

#define REG_PIXEL_SIZE 0x402 /* 16 bits: (bytes per pixel - 1) << 13 */
#define PIXEL_SIZE_SHIFT 13
#define REG_TILES_PER_LINE 0x407 /* 8 bits */

#define REG_DESTINATION 0x520    /* 32 bits: x in 0-15, y in 16-31 (pixels) */
#define REG_PATTERN_OFFSET 0x52A /* 16 bits */
#define REG_SOURCE 0x540         /* 32 bits, pixels */
#define REG_MONO_SOURCE 0x544    /* 32 bits: x in bits of 1-bit data, y in lines */
#define REG_MONO_SOURCE2 0x564   /* 32 bits: always the same as REG_MONO_SOURCE */
#define REG_DRAW_DEFINITION 0x584
#define REG_FOREGROUND 0x5E0
#define REG_BACKGROUND 0x5E4 /* also the solid fill colour */
#define REG_PLANE_MASK 0x5E8
#define REG_EXTENT 0x700 /* 32 bits: width in 0-15, height in 16-31; starts */

/* Draw definitions; the low byte takes the ROP3 code. */
#define DD_COPY 0x11102000u
#define DD_BOTTOM_UP 0x80000000u
#define DD_FILL 0x11702000u
#define DD_EXPAND_TRANSPARENT 0x11552100u
#define DD_EXPAND_OPAQUE 0x11502000u
#define DD_PATTERN 0x11902000u
#define DD_FILL_SOURCE_COPY 0x117000CCu /* programmed first by the screen clear */

#define XY(x, y) ((uint32_t)(uint16_t)(y) << 16 | (uint32_t)(uint16_t)(x))

/* ---- Off-screen layout ---- */

#define CURSOR_SIZE 64
#define CURSOR_PLANE_BYTES (CURSOR_SIZE / 8)
#define CURSOR_ROW_BYTES (CURSOR_PLANE_BYTES * 2)
#define CURSOR_ROWS_PER_LINE 8
#define STRIP_ALIGN 16     /* the strip line is a multiple of this */
#define STRIP_LINES 16     /* cursor and pattern cell; the ScratchArea follows */
#define PATTERN_COLUMN 128 /* byte column of the pattern cell in the strip */
#define TILE_BYTES 128     /* bytes of one tile row */

typedef struct _fuskaScreenPrivate {
    uint8_t *fbBase;           /* the frame buffer (default memory area) */
    volatile uint8_t *regBase; /* the register block (area REGS) */
    int32_t width, height;     /* PIXWIDTH, PIXHEIGHT */
    int32_t pitch;             /* bytes per scan line */
    int32_t offX, offY;        /* ScratchArea origin */
    int32_t offWidth;          /* ScratchArea width in pixels */
    int32_t offHeight;         /* ScratchArea height in lines */
    int32_t offAddr;           /* byte offset of the ScratchArea */
    int32_t memSize;           /* video memory in bytes */
    int32_t cursorAddr;        /* byte offset of the CursorArea */
    int32_t patternX;          /* byte column of the pattern cell */
    int32_t patternY;          /* strip line */
    int32_t patternAddr;       /* byte offset of the pattern cell */
    int16_t cursorHotX, cursorHotY;
    int32_t cursorSize;
    CursorPtr currentCursor;
    int32_t tilesPerLine;
} fuskaScreenPrivate, *fuskaScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(fuskaScreenPrivate) == 76, "the screen private is nineteen words");
#endif

extern int fuskaScreenPrivateIndex;
extern uint8_t fuskaRasterOps[16];

#define FUSKA_PRIV(pScreen)                                                                        \
    ((fuskaScreenPrivPtr)(pScreen)->devPrivates[fuskaScreenPrivateIndex].ptr)

static inline GrafinfoHandle fuskaGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Pixel size ---- */

static inline int fuskaBytesPerPixel(int depth) {
    return (depth + 1) / 8;
}

static inline int fuskaScreenBpp(ScreenPtr pScreen) {
    return fuskaBytesPerPixel(pScreen->rootDepth);
}

static inline uint32_t fuskaPixelMask(int depth) {
    if (depth == 8)
        return 0xFF;
    if (depth == 24)
        return 0xFFFFFF;
    return 0xFFFF;
}

/* A pixel value as the 32-bit colour registers take it: repeated across the
 * word at depths 8 to 16. */
static inline uint32_t fuskaPixelReplicate(int depth, uint32_t v) {
    if (depth == 8)
        return (v & 0xFF) * 0x01010101u;
    if (depth == 24)
        return v;
    return (v & 0xFFFF) * 0x00010001u;
}

/* The plane mask register's value: the pixel mask's bits, and at depth 24
 * the unused top byte set. */
static inline uint32_t fuskaPlaneMaskValue(int depth, uint32_t planemask) {
    uint32_t m = planemask & fuskaPixelMask(depth);
    if (depth == 24)
        m |= 0xFF000000u;
    return fuskaPixelReplicate(depth, m);
}

/* The alus the engine path leaves to the generic routines: GXnor, GXnand,
 * and any partial plane mask at depth 24. */
static inline Bool fuskaNeedsFallback(int depth, int alu, uint32_t planemask) {
    alu &= 0xFF;
    if (alu == GXnor || alu == GXnand)
        return 1;
    return depth == 24 && (planemask & 0xFFFFFF) != 0xFFFFFF;
}

/* ---- Register access ---- */

static inline void fuskaWrite8(const fuskaScreenPrivate *priv, uint32_t reg, uint8_t v) {
    mmWrite8(priv->regBase + reg, v);
}
static inline void fuskaWrite16(const fuskaScreenPrivate *priv, uint32_t reg, uint16_t v) {
    mmWrite16(priv->regBase + reg, v);
}
static inline void fuskaWrite32(const fuskaScreenPrivate *priv, uint32_t reg, uint32_t v) {
    mmWrite32(priv->regBase + reg, v);
}
static inline uint8_t fuskaRead8(const fuskaScreenPrivate *priv, uint32_t reg) {
    return mmRead8(priv->regBase + reg);
}
static inline uint16_t fuskaRead16(const fuskaScreenPrivate *priv, uint32_t reg) {
    return mmRead16(priv->regBase + reg);
}
static inline uint32_t fuskaRead32(const fuskaScreenPrivate *priv, uint32_t reg) {
    return mmRead32(priv->regBase + reg);
}

/* The engine runs beside the processor: every operation and every processor
 * access to video memory waits for it first. Unbounded, as the chip needs. */
static inline void fuskaEngineIdleWait(const fuskaScreenPrivate *priv) {
    while (fuskaRead16(priv, REG_STATUS) & STATUS_BUSY)
        ;
}

/* Position registers, then the extent, whose write starts the operation. */
static inline void fuskaStart(const fuskaScreenPrivate *priv, uint32_t reg, uint32_t position,
                              int w, int h) {
    fuskaWrite32(priv, reg, position);
    fuskaWrite32(priv, REG_EXTENT, XY(w, h));
}

/* ---- Shared routines ---- */

/* fuska.cpp */
void fuskaInitRasterOps(void);
int fuskaBlankScreen(int on, ScreenPtr);
void fuskaSetGraphics(ScreenPtr);
Bool fuskaSetText(ScreenPtr);
void fuskaValidateWindowPriv(WindowPtr);
extern WinOps fuskaWinOps;

/* fuska_cursor.cpp */
void fuskaSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr);
void fuskaRestoreCmap(ScreenPtr);
void fuskaCursorInitialize(ScreenPtr);

/* fuska_ops.cpp */
int fuskaValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);
void fuskaCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void fuskaDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr);
void fuskaDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr);

/* fuska_image.cpp */
void fuska_8bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void fuska_16bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void fuska_24bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void fuska_8bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void fuska_16bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void fuska_24bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);

/* fuska_text.cpp */
void fuskaDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr);
void fuskaDrawFontText(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr);

/* fuska_tile.cpp */
void fuskaTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);

#endif
