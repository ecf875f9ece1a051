/*
 * Private header of the gd5436 driver family (GD5436, GD5446, GD5480).
 *
 * One source is built seven times; GD5436_BUILD_<NAME> picks the build's
 * traits record and DRV_NAME names its identifiers (NAME(Init) is brisko8Init
 * in the brisko8 build). This header names the chip's registers, bits and
 * codes, declares the screen private and the routines the source files share.
 */
#ifndef GD5436_H
#define GD5436_H

#include "driver.h"

/* ---- Names carrying the build's driver name ---- */

#define GD_CAT2(a, b) a##b
#define GD_CAT(a, b) GD_CAT2(a, b)
#define GD_STR2(a) #a
#define GD_STR(a) GD_STR2(a)
#define NAME(x) GD_CAT(DRV_NAME, x)
#define DRIVER_NAME GD_STR(DRV_NAME)

/* ---- Build traits ---- */

enum Gd5436Pitch {
    PITCH_FROM_PROCEDURE, /* "GetScreenPitch", with the memory checks */
    PITCH_FROM_KEY        /* the key PITCH */
};

typedef struct _Gd5436Traits {
    int pixelBytes;        /* bytes of one pixel in video memory */
    int depth;             /* the visual's depth */
    uint32_t planeMaskAll; /* every pixel bit of the depth set */
    uint8_t modeDepthBits; /* added to the expansion, fill and transparent modes */
    enum Gd5436Pitch pitchFrom;
    Bool transparentStipple; /* StippledPrivOps accelerated */
    Bool pixel24;            /* 3-byte pixels: 24-bit image, bitmap and text paths */
    Bool pseudoColor;        /* own SetColor, genLoadColormap, palette reload */
} Gd5436Traits;

#if defined(GD5436_BUILD_BRISKO8)
static const Gd5436Traits gd5436Traits = {1, 8, 0xFF, 0x00, PITCH_FROM_PROCEDURE, 1, 0, 1};
#elif defined(GD5436_BUILD_BRISKO15)
static const Gd5436Traits gd5436Traits = {2, 15, 0x7FFF, 0x10, PITCH_FROM_PROCEDURE, 1, 0, 0};
#elif defined(GD5436_BUILD_BRISKO16)
static const Gd5436Traits gd5436Traits = {2, 16, 0xFFFF, 0x10, PITCH_FROM_PROCEDURE, 1, 0, 0};
#elif defined(GD5436_BUILD_BRISKO24)
static const Gd5436Traits gd5436Traits = {3, 24, 0xFFFFFF, 0x20, PITCH_FROM_PROCEDURE, 0, 1, 0};
#elif defined(GD5436_BUILD_LOMVI8)
static const Gd5436Traits gd5436Traits = {1, 8, 0xFF, 0x00, PITCH_FROM_KEY, 0, 0, 1};
#elif defined(GD5436_BUILD_LOMVI16)
static const Gd5436Traits gd5436Traits = {2, 16, 0xFFFF, 0x10, PITCH_FROM_KEY, 1, 0, 0};
#elif defined(GD5436_BUILD_HADRA24)
static const Gd5436Traits gd5436Traits = {3, 24, 0xFFFFFF, 0x20, PITCH_FROM_KEY, 0, 1, 0};
#else
#error "no gd5436 build selected (GD5436_BUILD_<NAME>)"
#endif

#define PIXEL_BYTES (gd5436Traits.pixelBytes)
#define PLANEMASK_ALL (gd5436Traits.planeMaskAll)

/* ---- VGA ports and the chip's extended sequencer registers ---- */

#define VGA_ATTR_INDEX 0x3C0 /* attribute controller index/data (flip-flop) */
#define VGA_SEQ_INDEX 0x3C4  /* sequencer index; outw puts the value in the high byte */
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_INPUT_STATUS_1 0x3DA /* reading it resets the attribute flip-flop */

/* Attribute index byte: bit 5 (palette address source) set lets the
 * controller read the palette again, which shows the picture. */
#define ATTR_PICTURE_OFF 0x00
#define ATTR_PICTURE_ON 0x20

#define SR_CURSOR_X 0x10 /* bits 10-3 of x; bits 2-0 ride in index bits 7-5 */
#define SR_CURSOR_Y 0x11 /* likewise for y */
#define SR_CURSOR_CTRL 0x12
#define SR_CURSOR_IMAGE 0x13 /* which pattern of the last 16 KB is shown */
#define SR_CONFIG 0x17       /* bit 6 cleared while the processor writes the pattern */

#define SR12_CURSOR_OFF 0x00
#define SR12_COLOUR_ACCESS 0x02 /* DAC entries 0 and 15 reach the cursor colours */
#define SR12_CURSOR_ON_64 0x05  /* cursor enabled, 64 x 64 pattern */
/* SR13 at 64 x 64: bits 5-2 pick one of the 16 1 KB patterns that make up
 * the last 16 KB of the chip's memory; 0x3F is the last kilobyte. */
#define SR13_LAST_PATTERN 0x3F
#define SR13_PATTERN_SHIFT 2
#define SR13_PATTERNS 16
#define SR17_CURSOR_WRITE_BLOCK 0x40

#define CURSOR_POSITION_SHIFT 5 /* index bits 7-5 take position bits 2-0 */
#define CURSOR_POSITION_MASK 0x7FF

#define DAC_CURSOR_BG_INDEX 0
#define DAC_CURSOR_FG_INDEX 15
#define DAC_COMPONENT_SHIFT 10 /* 16-bit component down to the DAC's 6 bits */

/* ---- BitBLT register block, at fbBase + BLT_BLOCK_OFFSET ---- */

#define BLT_BLOCK_OFFSET 0x3FFF00u

#define BLT_BG_COLOUR 0x00
#define BLT_FG_COLOUR 0x04
#define BLT_WIDTH 0x08  /* bytes less one */
#define BLT_HEIGHT 0x0A /* lines less one */
#define BLT_DST_PITCH 0x0C
#define BLT_SRC_PITCH 0x0E
#define BLT_DST_ADDR 0x10 /* with autostart on, writing it starts the operation */
#define BLT_SRC_ADDR 0x14
#define BLT_SRC_ADDR_HI 0x16
#define BLT_SKIP 0x17 /* source bits skipped in the first byte of an expansion */
#define BLT_MODE 0x18
#define BLT_ROP 0x1A
#define BLT_MODE_EXT 0x1B
#define BLT_TRANSPARENT 0x1C
#define BLT_STATUS 0x40

/* Status byte, read */
#define BLT_STATUS_BUSY 0x01
#define BLT_STATUS_FULL 0x10 /* cannot take another autostart operation */
/* Status byte, written */
#define BLT_START 0x02
#define BLT_AUTOSTART 0x80
#define BLT_AUTOSTART_OFF 0x00

/* Mode byte; the expansion, fill and transparent modes take modeDepthBits. */
#define BLT_MODE_COPY 0x00
#define BLT_MODE_BACKWARDS 0x01
#define BLT_MODE_TRANSPARENT_COPY 0x08
#define BLT_MODE_EXPAND 0x80
#define BLT_MODE_EXPAND_TRANSPARENT 0x88
#define BLT_MODE_SOLID_FILL 0xC0
#define BLT_MODE_EXT_SOLID 0x05
#define BLT_MODE_EXT_INVERT_SOURCE 0x02 /* an expansion takes the 0 bits as set */
#define BLT_MODE_EXT_NONE 0x00

/* The engine's waits: both poll the status byte without a bound. */
static inline void EngineIdleWait(volatile uint8_t *bltBase) {
    while (mmRead8(bltBase + BLT_STATUS) & BLT_STATUS_BUSY)
        ;
}

static inline void EngineRoomWait(volatile uint8_t *bltBase) {
    while (mmRead8(bltBase + BLT_STATUS) & BLT_STATUS_FULL)
        ;
}

/* ---- Register writes for the image, bitmap and pattern paths ---- */

static inline void gd5436BltWrite8(volatile uint8_t *blt, uint32_t reg, uint8_t v) {
    mmWrite8(blt + reg, v);
}
static inline void gd5436BltWrite16(volatile uint8_t *blt, uint32_t reg, uint16_t v) {
    mmWrite16(blt + reg, v);
}
static inline void gd5436BltWrite32(volatile uint8_t *blt, uint32_t reg, uint32_t v) {
    mmWrite32(blt + reg, v);
}

/* The colour registers take the pixel at its own width: 8, 16 or 32 bits. */
static inline void gd5436BltWriteColour(volatile uint8_t *blt, uint32_t reg, Pixel colour) {
    if (PIXEL_BYTES == 1)
        gd5436BltWrite8(blt, reg, (uint8_t)colour);
    else if (PIXEL_BYTES == 2)
        gd5436BltWrite16(blt, reg, (uint16_t)colour);
    else
        gd5436BltWrite32(blt, reg, colour & PLANEMASK_ALL);
}

/* Source address: bits 0-15, then bits 16-23. */
static inline void gd5436BltWriteSource(volatile uint8_t *blt, uint32_t addr) {
    gd5436BltWrite16(blt, BLT_SRC_ADDR, (uint16_t)addr);
    gd5436BltWrite8(blt, BLT_SRC_ADDR_HI, (uint8_t)(addr >> 16));
}

/* Width in bytes and height in lines, each less one; never an empty extent. */
static inline void gd5436BltWriteSize(volatile uint8_t *blt, int widthBytes, int lines) {
    gd5436BltWrite16(blt, BLT_WIDTH, (uint16_t)(widthBytes - 1));
    gd5436BltWrite16(blt, BLT_HEIGHT, (uint16_t)(lines - 1));
}

/* ---- Screen private ---- */

#define CURSOR_SIZE 64
#define CURSOR_AREA_BYTES (CURSOR_SIZE / 8 * CURSOR_SIZE * 2) /* 1024 */
#define CURSOR_PLANE_BYTES (CURSOR_SIZE / 8)                  /* one plane of a row */
#define CURSOR_ROW_BYTES (CURSOR_PLANE_BYTES * 2)             /* plane 0, then plane 1 */

typedef struct _gd5436ScreenPrivate {
    uint8_t *fbBase;           /* the mapped linear frame buffer */
    volatile uint8_t *bltBase; /* fbBase + BLT_BLOCK_OFFSET */
    int width, height;         /* PIXWIDTH, PIXHEIGHT */
    int pitch;                 /* bytes per scan line */
    int offX, offY;            /* ScratchArea origin */
    int offWidth;              /* ScratchArea width in pixels */
    int offHeight;             /* ScratchArea height in lines */
    int offAddr;               /* byte offset of the ScratchArea in video memory */
    int memSize;               /* video memory in bytes */
    int cursorSize;            /* 64 */
    int16_t cursorHotX, cursorHotY;
    int cursorShifted; /* the CursorArea holds a clipped copy */
    CursorPtr currentCursor;
    uint8_t savedSR17;
    uint8_t cursorPattern; /* SR13: the pattern that is the CursorArea */
} gd5436ScreenPrivate, *gd5436ScreenPrivPtr;

extern int NAME(ScreenPrivateIndex);

#define GD5436_PRIV(pScreen)                                                                       \
    ((gd5436ScreenPrivPtr)(pScreen)->devPrivates[NAME(ScreenPrivateIndex)].ptr)

static inline GrafinfoHandle gd5436Grafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* Byte offset of a pixel in video memory. */
static inline uint32_t gd5436PixelOffset(const gd5436ScreenPrivate *priv, int x, int y) {
    return (uint32_t)priv->pitch * (uint32_t)y + (uint32_t)x * (uint32_t)PIXEL_BYTES;
}

static inline uint8_t gd5436ModeFor(uint8_t mode) {
    return mode | gd5436Traits.modeDepthBits;
}

/* ---- Shared routines ---- */

/* gd5436.cpp */
extern uint8_t NAME(RasterOps)[16];
void gd5436InitRasterOps(void);
Bool gd5436InitHW(ScreenPtr);

/* gd5436_cmap.cpp */
void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr);
void gd5436RestoreCmap(ScreenPtr);
int NAME(BlankScreen)(int on, ScreenPtr);
/* Runs "SetGraphics" (and reloads the palette on 8-bit builds); 0 when the
 * procedure is missing or failed, so the display was never programmed. */
Bool gd5436SetGraphicsMode(ScreenPtr);
void NAME(SetGraphics)(ScreenPtr);
Bool NAME(SetText)(ScreenPtr);
void NAME(SaveGState)(ScreenPtr);
void NAME(RestoreGState)(ScreenPtr);

/* gd5436_cursor.cpp */
Bool NAME(CursorInitialize)(ScreenPtr);

/* Engine records and validation (gd5436_blt.cpp). */
extern PrivOps NAME(SolidPrivOps);
extern WinOps NAME(WinOps);
void NAME(ValidateWindowPriv)(WindowPtr);
int NAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);
void NAME(ReadImage)(BoxPtr, uint8_t *dst, int stride, DrawablePtr);
void NAME(DrawImage)(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);
void gd5436DrawImageWithPlanemask(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                                  DrawablePtr);
void gd5436DrawImageWithAlu(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                            DrawablePtr);
void NAME(DrawMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                               int alu, uint32_t planemask, DrawablePtr);

/* The end of the staging space, as a byte offset in video memory: the
 * ScratchArea's last line, or the start of the CursorArea where that reaches
 * into it, but never before the ScratchArea's start. Nothing staged may pass
 * it. */
static inline uint32_t gd5436ScratchEnd(const gd5436ScreenPrivate *priv) {
    uint32_t start = (uint32_t)priv->offAddr;
    uint32_t end =
        start + (uint32_t)(priv->offHeight > 0 ? priv->offHeight : 0) * (uint32_t)priv->pitch;
    uint32_t mem = (uint32_t)priv->memSize;
    uint32_t cursor = mem > CURSOR_AREA_BYTES ? mem - CURSOR_AREA_BYTES : 0;
    if (cursor < end)
        end = cursor;
    return end > start ? end : start;
}

/* Bytes that staging may fill from offAddr; 0 when there is no room. */
static inline uint32_t gd5436ScratchBytes(const gd5436ScreenPrivate *priv) {
    return gd5436ScratchEnd(priv) - (uint32_t)priv->offAddr;
}

/* gd5436_tile.cpp */
void NAME(TileRects)(BoxPtr, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void NAME(StippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(OpStippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);

/* gd5436_text.cpp */
void NAME(DrawMonoGlyphs)(MonoGlyphRec *, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr, DrawablePtr);
void NAME(DrawFontText)(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, int transparent, DrawablePtr);

#endif
