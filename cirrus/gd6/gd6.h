/*
 * Private header of the gd6 driver family: banked Cirrus Logic GD542x-class
 * adapters whose BitBLT engine is programmed through the graphics-controller
 * index/data ports.
 *
 * One source is built twice; GD6_BUILD_<NAME> picks the build's traits record
 * and DRV_NAME names its identifiers (NAME(Init) is tolva16Init in the
 * tolva16 build). Routines shared by the builds under one name carry the
 * family prefix gd6.
 *
 * The processor sees video memory only through the bank window. From every
 * mode set on the bank register shows the staging area at WINDOWADDR; every
 * pixel the processor moves passes through it, and the engine copies between
 * it and the visible screen. An operation that moves the bank elsewhere puts
 * it back before it returns.
 */
#ifndef GD6_H
#define GD6_H

#include "driver.h"

/* ---- Names carrying the build's driver name ---- */

#define GD6_CAT2(a, b) a##b
#define GD6_CAT(a, b) GD6_CAT2(a, b)
#define GD6_STR2(a) #a
#define GD6_STR(a) GD6_STR2(a)
#define NAME(x) GD6_CAT(DRV_NAME, x)
#define DRIVER_NAME GD6_STR(DRV_NAME)

/* ---- Build traits ---- */

typedef struct _Gd6Traits {
    int pixelBytes;            /* Bpp: bytes of one pixel */
    uint32_t planeMaskAll;     /* every pixel bit of the depth */
    int alignShiftSmall;       /* alignment of the expansion windows, small modes */
    int alignShiftLarge;       /* the same in large modes */
    uint8_t modeDepthBits;     /* added to the transparent-copy and expansion modes */
    Bool chunkHalved;          /* the staged square holds half as many pixels a side */
    uint8_t gr0bExpand;        /* GR0B bits of the processor colour expansion */
    uint32_t expandBytesShift; /* window byte -> video memory bytes in that mode (log2) */
} Gd6Traits;

#if defined(GD6_BUILD_TOLVA16)
static const Gd6Traits gd6Traits = {2, 0xFFFF, 16, 18, 0x10, 1, 0x14, 4};
#elif defined(GD6_BUILD_TOLVA8)
static const Gd6Traits gd6Traits = {1, 0xFF, 15, 17, 0x00, 0, 0x0E, 3};
#else
#error "no gd6 build selected (GD6_BUILD_<NAME>)"
#endif

#define BPP (gd6Traits.pixelBytes)
#define PLANEMASK_ALL (gd6Traits.planeMaskAll)

/* ---- VGA ports ---- */

#define VGA_ATTR_INDEX 0x3C0
#define VGA_SEQ_INDEX 0x3C4 /* outw: index in the low byte, value in the high */
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_GC_INDEX 0x3CE
#define VGA_GC_DATA 0x3CF
#define VGA_INPUT_STATUS_1 0x3DA /* reading it resets the attribute flip-flop */

#define ATTR_PICTURE_OFF 0x00
#define ATTR_PICTURE_ON 0x20 /* palette address source: the picture shows */

#define SR_MAP_MASK 0x02
#define SR_DRAM_CONTROL 0x0F /* bits 4-3 tell the cursor size the chip offers */
#define SR_CURSOR_X 0x10
#define SR_CURSOR_Y 0x11
#define SR_CURSOR_CTRL 0x12
#define SR0F_CURSOR_SHIFT 3
#define SR0F_CURSOR_MASK 0x3
#define SR0F_CURSOR_64 2
#define SR12_CURSOR_OFF 0x00
#define MAP_MASK_ALL 0xFF

#define DAC_COMPONENT_SHIFT 10 /* 16-bit component down to the DAC's 6 bits */
#define DAC_COMPONENT_MASK 0x3F

/* ---- Graphics-controller registers ---- */

#define GR_BG0 0x00 /* expansion background, byte 0 (bytes 1-3 in GR10, GR12, GR14) */
#define GR_FG0 0x01 /* expansion foreground, byte 0 (bytes 1-3 in GR11, GR13, GR15) */
#define GR_WRITE_MODE 0x05
#define GR_BANK 0x09
#define GR_EXTENSIONS 0x0B
#define GR_BG1 0x10
#define GR_FG1 0x11
#define GR_BG2 0x12
#define GR_FG2 0x13
#define GR_BG3 0x14
#define GR_FG3 0x15
#define GR_WIDTH 0x20     /* two bytes: width in bytes less one */
#define GR_HEIGHT 0x22    /* two bytes: lines less one */
#define GR_DST_PITCH 0x24 /* two bytes */
#define GR_SRC_PITCH 0x26 /* two bytes */
#define GR_DST_ADDR 0x28  /* three bytes */
#define GR_SRC_ADDR 0x2C  /* three bytes */
#define GR_MODE 0x30
#define GR_STATUS 0x31
#define GR_ROP 0x32
#define GR_TRANSPARENT 0x34 /* two bytes */

#define WRITE_MODE_NORMAL 0x40
#define WRITE_MODE_EXPAND_TRANSPARENT 0x44
#define WRITE_MODE_EXPAND_OPAQUE 0x45

#define GR0B_EXTENDED_WRITES 0x04
#define GR0B_LARGE_BANKS 0x20 /* 16 KB bank granularity */

#define BLT_MODE_FORWARD 0x00
#define BLT_MODE_BACKWARD 0x01
#define BLT_MODE_TRANSPARENT 0x08 /* + modeDepthBits */
#define BLT_MODE_PATTERN 0x40
#define BLT_MODE_EXPAND 0x80             /* + modeDepthBits */
#define BLT_MODE_EXPAND_TRANSPARENT 0x88 /* + modeDepthBits */

#define BLT_STATUS_BUSY 0x01
#define BLT_START 0x02
#define BLT_RESET 0x04

/* Busy status reads after which each further one is preceded by a reset. */
#define ENGINE_BUSY_LIMIT 1000000u

/* Large modes ((DEPTH / 8) x PIXHEIGHT x PIXWIDTH from this size on). */
#define LARGE_MODE_BYTES 0x100000
#define BANK_SHIFT_SMALL 4
#define BANK_SHIFT_LARGE 6
#define BANK_INDEX_SHIFT 8 /* bank value = address >> (bankShift + 8) */

/* The cursor image ends this far into the cursor bank (4 KB or 16 KB banks),
 * where the chip fetches it; the colour pattern starts the bank. */
#define CURSOR_AREA_END_SMALL 0x2000
#define CURSOR_AREA_END_LARGE 0x4000

/* The processor window the driver assumes: one 64 KB bank. */
#define BANK_WINDOW_BYTES 0x10000

/* The server's coordinates are 16-bit; the engine's pitch registers too. */
#define MAX_SCREEN_DIMENSION 0x7FFF
#define MAX_PITCH 0xFFFF

/* The 8 x 8 colour pattern of the solid fills. */
#define PATTERN_PIXELS 64

/* ---- Screen private: nineteen 32-bit words on the target ---- */

typedef struct _gd6ScreenPrivate {
    uint8_t *windowBase;   /* the processor's bank window */
    uint32_t windowSize;   /* bytes usable in it */
    uint32_t chunk;        /* side of the largest square staged at once */
    uint32_t windowAddr;   /* WINDOWADDR: the staging area in video memory */
    uint32_t cursorAddr;   /* CURSORADDR: the cursor and colour-pattern bank */
    uint32_t patternAddr;  /* the 8 x 8 colour pattern (= cursorAddr) */
    uint32_t bankShift;    /* 4, or 6 in large modes */
    uint32_t alignShift;   /* alignment of the colour-expansion windows */
    int32_t width, height; /* PIXWIDTH, PIXHEIGHT */
    int32_t pitch;         /* PIXBYTES: bytes per scan line */
    int32_t cursorSize;    /* 32 or 64, read from the chip at every mode set */
    int16_t cursorHotX, cursorHotY;
    CursorPtr currentCursor;
    int32_t cursorShifted;
    uint32_t patternColour; /* colour the pattern holds, while patternKnown is set */
    uint8_t gr0bBits;       /* 0x20 in large modes, else 0; in every GR0B write */
    /* Every colour is a legal pattern colour, so whether the pattern holds
     * one at all is a flag of its own (sharing gr0bBits' word). */
    uint8_t patternKnown;
    uint8_t unused[2];
    int32_t gd5434;      /* GD5434 */
    int32_t gd5434Image; /* GD5434IMAGE */
} gd6ScreenPrivate, *gd6ScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(gd6ScreenPrivate) == 76, "the screen private is nineteen words");
#endif

extern int NAME(ScreenPrivateIndex);

#define GD6_PRIV(pScreen) ((gd6ScreenPrivPtr)(pScreen)->devPrivates[NAME(ScreenPrivateIndex)].ptr)

static inline gd6ScreenPrivPtr gd6PrivOf(DrawablePtr pDraw) {
    return GD6_PRIV(pDraw->pScreen);
}

static inline GrafinfoHandle gd6Grafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* Byte address of a pixel of the visible screen. */
static inline uint32_t gd6ScreenAddr(const gd6ScreenPrivate *priv, int x, int y) {
    return (uint32_t)x * (uint32_t)BPP + (uint32_t)priv->pitch * (uint32_t)y;
}

static inline Bool gd6FullPlanemask(uint32_t planemask) {
    return (planemask & PLANEMASK_ALL) == PLANEMASK_ALL;
}

/* ---- Register access (gd6_blt.cpp) ---- */

static inline void gd6WriteGR(uint8_t index, uint8_t value) {
    outw(VGA_GC_INDEX, (uint16_t)(value << 8 | index));
}

static inline uint8_t gd6ReadGR(uint8_t index) {
    outb(VGA_GC_INDEX, index);
    return inb(VGA_GC_DATA);
}

/* A multi-byte engine value, low byte first in consecutive registers. */
static inline void gd6WriteGR16(uint8_t index, uint32_t value) {
    gd6WriteGR(index, (uint8_t)value);
    gd6WriteGR((uint8_t)(index + 1), (uint8_t)(value >> 8));
}

static inline void gd6WriteGR24(uint8_t index, uint32_t value) {
    gd6WriteGR16(index, value);
    gd6WriteGR((uint8_t)(index + 2), (uint8_t)(value >> 16));
}

extern uint8_t NAME(RasterOps)[16];
void gd6InitRasterOps(void);
void gd6EngineIdleWait(void);
void gd6EngineStart(void);
void gd6EngineReset(void);
/* Bank register for a video-memory address, in the normal address space. */
void gd6SetBank(const gd6ScreenPrivate *priv, uint32_t address);
void gd6RestoreBank(const gd6ScreenPrivate *priv);
uint32_t gd6BankBase(const gd6ScreenPrivate *priv, uint32_t address);

/* ---- Engine primitives (gd6_blt.cpp) ---- */

void NAME(BlitToWindow)(DrawablePtr, int x, int y, int w, int h, int windowPitch);
void gd6BlitToWindowOffset(DrawablePtr, int x, int y, int w, int h, uint32_t offset,
                           int windowPitch);
void NAME(BlitFromWindow)(DrawablePtr, DDXPointPtr windowPoint, int x, int y, int w, int h,
                          int windowPitch, int alu);
void NAME(TransparentBlitFromWindow)(DrawablePtr, DDXPointPtr windowPoint, int x, int y, int w,
                                     int h, int windowPitch, Pixel transparent, int alu);
void NAME(LinearBlit)(BoxPtr box, uint32_t base, int pitch, DrawablePtr);
void NAME(ReplicateLinear)(uint32_t base, int areaWidth, int areaHeight, int tileWidth,
                           int tileHeight, int pitch, DrawablePtr);
void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void gd6CopyRectWithPlanemask(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask,
                              DrawablePtr);

/* ---- Processor access to the staging window (gd6_image.cpp) ---- */

/* The pixel op of the X function on whole pixels. */
uint32_t gd6WindowReadPixel(const uint8_t *at);
void gd6WindowWritePixel(uint8_t *at, uint32_t pixel);
void NAME(ReadImage)(BoxPtr, uint8_t *dst, int stride, DrawablePtr);
void NAME(DrawImage)(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawImageWithPlanemask)(int w, int h, uint8_t *pixels, int stride, int alu,
                                  uint32_t planemask, DrawablePtr);

/* Colour registers of the expansions: every byte of the pixel, repeated
 * over the register's four. */
void gd6SetExpandColours(Pixel fg, Pixel bg);
void gd6SetExpandForeground(Pixel fg);
void gd6ClearExpandColours(void);
/* The transparent colour register. */
void gd6WriteTransparentColour(Pixel transparent);
/* A 1-bit row into the window for the engine: most significant bit leftmost. */
void gd6WindowWriteSwapped(uint8_t *window, const uint8_t *bits, uint32_t n);

/* ---- Monochrome images (gd6_image.cpp) ---- */

void NAME(DrawMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                               int alu, uint32_t planemask, DrawablePtr);
void NAME(AlignMonoImage)(uint8_t *dst, const uint8_t *src, int shift, int bytesPerRow, int stride,
                          int rows);

/* ---- Tiles and stipples (gd6_tile.cpp) ---- */

void NAME(TileRects)(BoxPtr, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void NAME(TileAreaSlow)(BoxPtr, DDXPointPtr windowPoint, int bandHeight, int columnWidth, int alu,
                        int windowPitch, DrawablePtr);
void gd6TileAreaSlowXExpand(BoxPtr band, DDXPointPtr windowPoint, int columnWidth, int alu,
                            int windowPitch, DrawablePtr);
void NAME(OpStippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(StippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void gd6StippleAreaSlow(BoxPtr, DDXPointPtr windowPoint, int bandHeight, int columnWidth, int alu,
                        int windowPitch, Pixel transparent, DrawablePtr);
void gd6StippleAreaSlowXExpand(BoxPtr band, DDXPointPtr windowPoint, int columnWidth, int alu,
                               int windowPitch, Pixel transparent, DrawablePtr);

/* ---- Glyphs and text (gd6_text.cpp) ---- */

void NAME(DrawFontTextGeneral)(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr);
void gd6SlowDrawFontText(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg,
                         int alu, uint32_t planemask, int transparent, DrawablePtr);
#if defined(GD6_BUILD_TOLVA8)
void NAME(DrawMonoGlyphs)(MonoGlyphRec *, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr, DrawablePtr);
void NAME(DrawFontText)(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, int transparent, DrawablePtr);
#define GD6_DRAW_MONO_GLYPHS NAME(DrawMonoGlyphs)
#define GD6_DRAW_FONT_TEXT NAME(DrawFontText)
#else
/* The 16-bit build leaves glyphs to the server and draws text by the engine. */
#define GD6_DRAW_MONO_GLYPHS genDrawMonoGlyphs
#define GD6_DRAW_FONT_TEXT NAME(DrawFontTextGeneral)
#endif

/* ---- Solid drawing and records (gd6_solid.cpp) ---- */

/* The build's own routines of the slots the GD5434 variants hand to the
 * server. */
#define GD6_STIPPLED_FILL_RECTS NAME(StippledFillRects)
#define GD6_DRAW_MONO_IMAGE NAME(DrawMonoImage)
#define GD6_DRAW_OPAQUE_MONO_IMAGE NAME(DrawOpaqueMonoImage)

extern PrivOps NAME(SolidPrivOps);
extern PrivOps NAME(StippledPrivOps);
extern WinOps NAME(WinOps);
void NAME(ValidateWindowPriv)(WindowPtr);
int NAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);
void NAME(DrawSolidRects)(BoxPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void gd6DrawSolidRectsWithPlanemask(BoxPtr, int count, Pixel fg, int alu, uint32_t planemask,
                                    DrawablePtr);
void gd6RenderRectWithPlanemask(int w, int h, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints)(DDXPointPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void NAME(SolidFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void NAME(SolidZeroSeg)(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                        int e1, int e2, int len);
void NAME(SolidZeroSegGXcopy)(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1,
                              int e, int e1, int e2, int len);
/* After the engine wait: the pattern holds `fg`, set up for copies with `alu`. */
void gd6BeginPatternFill(gd6ScreenPrivPtr priv, Pixel fg, int alu);
/* One pattern copy over w x h pixels from (x, y); both at least 1. */
void gd6PatternBox(const gd6ScreenPrivate *priv, int x, int y, int w, int h);

/* ---- Screen (gd6.cpp) ---- */

void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr);
void NAME(SetGraphics)(ScreenPtr);
Bool NAME(CursorInitialize)(ScreenPtr);

/* ---- Cursor (gd6_cursor.cpp) ---- */

void gd6DownloadCursor(ScreenPtr, CursorPtr, int sourceStride);
void gd6AdjustCursorImage(uint8_t *newSource, uint8_t *newMask, const uint8_t *source,
                          const uint8_t *mask, int shift, int bytesPerRow, int stride, int rows);

#endif
