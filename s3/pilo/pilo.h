/*
 * Private header of the pilo driver: an S3 accelerator whose 8514/A-style
 * drawing engine is reached through 16-bit I/O ports, at depth 4, 8 or 16
 * chosen at run time by the DEPTH key.
 *
 * Depth 4 and 8 share one set of drawing routines (no suffix); depth 16 has
 * its own (suffix 16), because its picture keeps each pixel as two bytes in
 * two halves of an 8-bit engine line (ByteHalves): the low byte of pixel
 * (x, y) at column x, the high byte at column x + 1024.
 */
#ifndef PILO_H
#define PILO_H

#include "driver.h"

/* ---- Engine ports (16-bit) ---- */

#define PILO_CUR_Y 0x82E8
#define PILO_CUR_X 0x86E8
#define PILO_DEST_Y 0x8AE8 /* also the axial step of a line */
#define PILO_DEST_X 0x8EE8 /* also the diagonal step of a line */
#define PILO_ERR_TERM 0x92E8
#define PILO_MAJ_AXIS 0x96E8 /* width less one */
#define PILO_CMD 0x9AE8      /* write: command; read: status */
#define PILO_STATUS 0x9AE8
#define PILO_BG_COLOUR 0xA2E8
#define PILO_FG_COLOUR 0xA6E8
#define PILO_WRITE_MASK 0xAAE8
#define PILO_READ_MASK 0xAEE8
#define PILO_BG_MIX 0xB6E8
#define PILO_FG_MIX 0xBAE8
#define PILO_MULTI 0xBEE8 /* index in bits 12-15, data in bits 0-11 */
#define PILO_PIX_TRANS 0xE2E8
#define PILO_SUBSYS_CTL 0x42E8
#define PILO_ADV_FUNC 0x4AE8

/* Status word */
#define STATUS_DATA_READY 0x100
#define STATUS_BUSY 0x200
#define PILO_FIFO_DEPTH 8

/* Multifunction indices */
#define MULTI_HEIGHT 0x0000
#define MULTI_CLIP_TOP 0x1000
#define MULTI_CLIP_LEFT 0x2000
#define MULTI_CLIP_BOTTOM 0x3000
#define MULTI_CLIP_RIGHT 0x4000
#define MULTI_VALUE_MASK 0x0FFF

/* Pixel control (multifunction index 0xA) */
#define PIXCNTL_FOREGROUND 0xA000  /* every pixel takes the foreground mix */
#define PIXCNTL_HOST_BITS 0xA080   /* host 1-bit data picks the mix */
#define PIXCNTL_MEMORY_BITS 0xA0C0 /* the read-mask plane of video memory picks */

/* Colour source of a mix, ORed with the mix code */
#define MIX_SRC_FOREGROUND 0x20
#define MIX_SRC_HOST 0x40
#define MIX_SRC_MEMORY 0x60
#define MIX_REPLACE 0x07 /* the source as it is */
#define MIX_KEEP 0x03    /* the destination unchanged */
#define MIX_ZERO 0x01

/* Command words */
#define CMD_FILL 0x52B3
#define CMD_HOST_PIXELS 0x53F1
#define CMD_READ_BACK 0x53F0
#define CMD_BLIT 0xC0F3
#define CMD_X_INCREASING 0x0020
#define CMD_Y_INCREASING 0x0080
#define CMD_POINT 0x201B
#define CMD_LINE_X_MAJOR 0x2017
#define CMD_LINE_Y_MAJOR 0x2057
#define CMD_EXPAND_BYTES 0x51F3 /* colour expansion of host bitmap bytes */
#define CMD_EXPAND_WORDS 0x53F3 /* the same, 16-bit transfers */

/* Line terms the error registers hold: e and e1 in 13 bits, e2 in 14. */
#define LINE_ERR_MIN (-4096)
#define LINE_ERR_MAX 4095
#define LINE_DIAG_MIN (-8192)
#define LINE_DIAG_MAX 8191

/* Subsystem control: engine reset, then the reset released with every
 * interrupt source enabled. */
#define SUBSYS_RESET 0x9000
#define SUBSYS_RUN 0x400F
/* Advanced function control: the enhanced (engine) mode on or off. */
#define ADV_FUNC_GRAPHICS 3
#define ADV_FUNC_TEXT 2

/* Positions written to the engine are 11-bit. */
#define PILO_COORD_MASK 0x7FF

/* The high byte of a depth-16 pixel lies this many columns to the right. */
#define BYTE_HALF 1024

/* ---- VGA registers ---- */

#define VGA_ATTR 0x3C0
#define VGA_MISC_WRITE 0x3C2
#define VGA_SEQ_INDEX 0x3C4
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_MASK 0x3C6
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_MISC_READ 0x3CC
#define VGA_GC_INDEX 0x3CE
#define VGA_GC_DATA 0x3CF
#define MISC_COLOUR_CRTC 0x01

#define STATUS_VRETRACE 0x08
#define ATTR_DISPLAY_ON 0x20
#define SR1_SCREEN_OFF 0x20

#define CR11 0x11
#define CR13 0x13
#define CR31 0x31
#define CR32 0x32
#define CR34 0x34
#define CR35 0x35
#define CR36 0x36
#define CR38 0x38
#define CR39 0x39
#define CR3A 0x3A
#define CR3B 0x3B
#define CR40 0x40
#define CR42 0x42
#define CR43 0x43
#define CR45 0x45
/* Hardware cursor: position (high, low), image address in 1 KB units (high,
 * low), offsets into the image, colours. */
#define CR0E 0x0E
#define CR0F 0x0F
#define CR46 0x46
#define CR47 0x47
#define CR48 0x48
#define CR49 0x49
#define CR4C 0x4C
#define CR4D 0x4D
#define CR4E 0x4E
#define CR4F 0x4F
#define CR42_INTERLACED 0x20

#define CR38_UNLOCK 0x48
#define CR38_LOCK 0xB7
#define CR39_UNLOCK 0xA5
#define CR39_LOCK 0x5A
#define CR40_ENGINE_ON 0x01
#define CR32_TEXT_DAC_OFF 0x08
#define CR36_MEMORY_SHIFT 5
#define CR36_MEMORY_MASK 0x03
#define CR45_CURSOR_ON 0x01

/* ---- Screen private ---- */

typedef void (*QueryBestSizeProc)(int cls, uint16_t *width, uint16_t *height, ScreenPtr);

typedef struct _piloArea {
    int32_t x, y, width, height;
} piloArea;

typedef struct _piloScreenPrivate {
    int32_t width, height, depth;
    int32_t dacShift; /* right shift of a 16-bit colour component for the DAC */
    int32_t statusPort, crtcIndexPort, crtcDataPort;
    int32_t modeAssist, adjustCR13;
    int32_t memoryKB;
    int32_t textDacOn, graphicsShown;
    int32_t softwareCursor;
    /* hardware cursor */
    int16_t interlaced, cursorHotX, cursorHotY;
    uint16_t cursorAddress;
    piloArea cursorArea;
    xColorItem cursorFgItem, cursorBgItem;
    ColormapPtr cursorCmap;
    CursorPtr currentCursor;
    /* software cursor */
    CursorPtr spriteCursor;
    int32_t spriteWidth, spriteHeight;
    int16_t saveUnderX, saveUnderY;
    int16_t spriteFgX, spriteFgY, spriteBgX, spriteBgY;
    piloArea glyphArea, tileArea;
    /* glyph cache */
    int32_t glPlaneCount;
    void *glPlaneLists;
    int32_t glBucketCount, glBucketGrow;
    void *glBuckets;
    GrafinfoHandle grafinfo;
    int16_t clipRight, clipBottom; /* the whole frame buffer as the engine sees it */
    QueryBestSizeProc savedQueryBestSize;
    void *memBase; /* the default memory area, asked for and never used */
    uint32_t memLength;
    /* hardware cursor: shown by the last SetCursor, and where (hot spot) */
    int32_t cursorShown;
    int32_t cursorX, cursorY;
    int32_t blanked; /* BlankScreen took the picture away */
} piloScreenPrivate, *piloScreenPrivPtr;

extern int piloScreenPrivateIndex;

#define PILO_PRIV(pScreen) ((piloScreenPrivPtr)(pScreen)->devPrivates[piloScreenPrivateIndex].ptr)

extern uint8_t piloRasterOps[16];

/* ---- CRTC and VGA register access ---- */

static inline uint8_t piloReadCR(const piloScreenPrivate *priv, uint8_t index) {
    outb((uint16_t)priv->crtcIndexPort, index);
    return inb((uint16_t)priv->crtcDataPort);
}

static inline void piloWriteCR(const piloScreenPrivate *priv, uint8_t index, uint8_t value) {
    outb((uint16_t)priv->crtcIndexPort, index);
    outb((uint16_t)priv->crtcDataPort, value);
}

/* Read, keep the bits of `keep`, set those of `set`, write back. */
static inline void piloModifyCR(const piloScreenPrivate *priv, uint8_t index, uint8_t keep,
                                uint8_t set) {
    piloWriteCR(priv, index, (uint8_t)((piloReadCR(priv, index) & keep) | set));
}

/* ---- Engine access ---- */

static inline uint16_t piloStatus(void) {
    return inw(PILO_STATUS);
}

/* Room for the next `n` register writes (1 to 8): status bit 8 - n clear. */
static inline void FifoSpaceWait(int n) {
    while (piloStatus() & (0x100 >> n))
        ;
}

/* Before a command that moves data through the transfer port. */
static inline void EngineIdleWait(void) {
    while (piloStatus() & STATUS_BUSY)
        ;
}

static inline void ReadDataWait(void) {
    while (!(piloStatus() & STATUS_DATA_READY))
        ;
}

static inline void piloOut(uint16_t port, uint32_t value) {
    outw(port, (uint16_t)value);
}

static inline void piloOutMulti(uint16_t index, int value) {
    outw(PILO_MULTI, (uint16_t)(index | ((uint32_t)value & MULTI_VALUE_MASK)));
}

static inline void piloOutPos(uint16_t port, int value) {
    outw(port, (uint16_t)((uint32_t)value & PILO_COORD_MASK));
}

/* A box with no pixels: its sizes less one would read as the widest the
 * registers hold. */
static inline int piloBoxEmpty(const BoxRec *b) {
    return b->x2 <= b->x1 || b->y2 <= b->y1;
}

/* ---- Shared routines ---- */

/* pilo.cpp */
void piloValidateWindowPriv(WindowPtr);

/* pilo_mode.cpp */
/* The mode switch; 0 when "SetGraphics" is missing or failed, which leaves
 * the engine alone and the display unprogrammed. */
Bool piloSetGraphicsMode(ScreenPtr);
void piloSetGraphics(ScreenPtr);
Bool piloSetText(ScreenPtr);
void piloSaveGState(ScreenPtr);
void piloRestoreGState(ScreenPtr);
void piloCloseScreen(int index, ScreenPtr);
void piloSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                  ScreenPtr);
void piloLoadColormap(ColormapPtr);
int piloBlankScreen(int on, ScreenPtr);
void piloHWCursorOn(int on, ScreenPtr);

/* pilo_engine.cpp */
/* The out routines take the bytes (or pixels) the caller's data really
 * holds: a last word that reaches past them is padded, never read beyond. */
void piloBlockOutW(const uint8_t *data, uint32_t count, uint32_t bytes);
void piloBlockOutB(const uint8_t *data, uint32_t count);
void piloBlockInW(uint8_t *buffer, uint32_t count);
void piloN2BlockOutW(const uint8_t *data, uint32_t count, uint32_t pixels);
void piloN2BlockInW(uint8_t *buffer, uint32_t count);
void piloB2BlockOutW(const uint8_t *data, uint32_t count, uint32_t pixels);
void piloB2BlockInW(uint8_t *buffer, uint32_t count);
void piloPixelBlit(int x, int y, int wm1, int hm1, int code, uint16_t pixelControl,
                   uint32_t readMask, uint32_t writeMask, uint16_t command);
void piloCpyRect(int sx, int sy, int dx, int dy, int wm1, int hm1, int code, uint32_t planemask,
                 uint16_t command);

/* pilo_ops.cpp */
void piloCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void piloCopyBox16(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void piloDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                        DrawablePtr);
void piloDrawSolidRects16(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr);
void piloDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                    DrawablePtr);
void piloDrawPoints16(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr);

/* pilo_image.cpp */
void piloDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                   DrawablePtr);
void piloDrawImage16(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr);
void piloReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);
void piloReadImage16(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);

/* pilo_line.cpp */
void piloLine(int x1, int y1, int e, int e1, int e2, int len, int code, Pixel fg,
              uint32_t planemask, uint16_t command);
void piloFillZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                     int e1, int e2, int len);
void piloFillZeroSeg16(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                       int e1, int e2, int len);

/* pilo_cursor.cpp */
void piloHWCursorInitialize(ScreenPtr);
void piloHWColorCursor(ScreenPtr, CursorPtr);
void piloHWCursorRematch(ScreenPtr);
void piloHWCursorRestore(ScreenPtr);

/* pilo_sprite.cpp */
void piloSWCursorInitialize(ScreenPtr);

/* pilo_mono.cpp */
void piloOffsetBlockOutB(const uint8_t *bytes, uint32_t count, int shift);
void piloOffsetBlockOutW(const uint8_t *bytes, uint32_t count, int shift, uint32_t avail);
void piloCBlockOutB(const uint8_t *bytes, uint32_t count);
void piloCBlockOutW(const uint8_t *bytes, uint32_t count, uint32_t avail);
void piloFixedBlit(int x, int y, int wm1, int hm1, int clipRight, int code, Pixel fg,
                   uint32_t planemask, uint16_t command);
void piloOpaqueFixedBlit(int x, int y, int wm1, int hm1, int clipRight, int code, Pixel bg,
                         Pixel fg, uint32_t planemask, uint16_t command);
void piloDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                       uint32_t planemask, DrawablePtr);
void piloDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                             Pixel bg, int alu, uint32_t planemask, DrawablePtr);
void piloDrawMonoImage16(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void piloDrawOpaqueMonoImage16(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr);
void piloSetupStretchBlit(int code, Pixel fg, uint32_t readMask, uint32_t writeMask);
void piloSetupOpaqueStretchBlit(int code, Pixel bg, Pixel fg, uint32_t readMask,
                                uint32_t writeMask);
void piloStretchBlit(int sx, int sy, int dx, int dy, int wm1, int hm1, uint16_t command);

/* pilo_glyph.cpp: the glyph cache in bit planes 1 to 7 of the GlyphArea. */

/* A cell of one plane, on the plane's used or free list. */
typedef struct _piloGlyphCell {
    uintptr_t font; /* the font's private, taken as a number */
    int32_t glyph;
    int16_t x, y;
    struct _piloGlyphCell *next;
} piloGlyphCell;

typedef struct _piloGlPlaneList {
    piloGlyphCell *used, *free;
} piloGlPlaneList;

typedef struct _piloGlyphEntry {
    uint32_t inUse;
    uint32_t planeMask;
    uintptr_t font;
    int32_t glyph;
    int16_t x, y;
} piloGlyphEntry;

typedef struct _piloGlBucket {
    piloGlyphEntry *entries;
    int32_t capacity;
} piloGlBucket;

#if defined(__i386__)
static_assert(sizeof(piloGlyphCell) == 16, "GlyphCell is four words");
static_assert(sizeof(piloGlyphEntry) == 20, "GlyphEntry is five words");
static_assert(sizeof(piloGlBucket) == 8, "a bucket is two words");
#endif

/* Where a cached glyph lies: its plane and its cell's corner. */
typedef struct _piloGlCellPos {
    uint32_t planeMask;
    int16_t x, y;
} piloGlCellPos;

void piloGlCacheInit(ScreenPtr);
Bool piloGlAddCacheEntry(ScreenPtr, uintptr_t font, int32_t glyph, int width, int height,
                         piloGlCellPos *out);
void piloGlDeleteCacheEntry(ScreenPtr, uintptr_t font, int32_t glyph);
void piloGlClearCache(nfbFontPrivPtr font, ScreenPtr);
void piloGlFlushCache(ScreenPtr);
void piloGlCacheClose(ScreenPtr);
void piloSetupStretchGlyphBlit(int code, Pixel fg, uint32_t planemask);
void piloStretchGlyphBlit(int cellX, int cellY, int x, int y, int wm1, int hm1, uint32_t plane,
                          uint16_t command);
void piloDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                        nfbFontPrivPtr font, DrawablePtr);
void piloDrawMonoGlyphs16(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr);

/* pilo_tile.cpp: tiles staged in the TileArea, stipples in plane 0 of the
 * GlyphArea. */
void piloTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                   int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void piloTileRects16(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void piloTileAreaSlow(BoxPtr box, DDXPointPtr src, int bandHeight, int columnWidth, int alu,
                      uint32_t planemask, DrawablePtr, CopyRectProc copy);
void piloTileAreaSlowXExpand(BoxPtr band, DDXPointPtr src, int columnWidth, int alu,
                             uint32_t planemask, DrawablePtr, CopyRectProc copy);
void piloStippledFillRects(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void piloStippledFillRects16(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void piloOpStippledFillRects(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void piloOpStippledFillRects16(GCPtr, DrawablePtr, BoxPtr boxes, int count);

#endif
