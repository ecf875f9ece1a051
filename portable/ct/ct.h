/*
 * Private header of the ct driver source: Chips & Technologies
 * portable-computer chips (65550/65554, 65548, 6430x) at 8 and 16 bits per
 * pixel, with their BitBlt engine.
 *
 * One source is built six times; CT_BUILD_<NAME> picks the build's traits
 * record and DRV_NAME names its identifiers (NAME(Init) is jorra16Init in
 * the jorra16 build). What the files share without exporting carries the
 * family prefix ct.
 */
#ifndef CT_H
#define CT_H

#include <string.h>

#include "driver.h"

/* ---- Names carrying the build's driver name ---- */

#define CT_CAT2(a, b) a##b
#define CT_CAT(a, b) CT_CAT2(a, b)
#define CT_STR2(a) #a
#define CT_STR(a) CT_STR2(a)
#define NAME(x) CT_CAT(DRV_NAME, x)
#define DRIVER_NAME CT_STR(DRV_NAME)

/* ---- Build traits ---- */

typedef enum { CT_65550, CT_65548, CT_6430X } CtChip;

typedef struct _CtTraits {
    CtChip chip;
    int bytesPerPixel;   /* 2 or 1 */
    uint32_t defaultOps; /* the operation mask before any option */
    int hardwareCursor;  /* the hardware cursor at start */
    uint32_t hostUnit;   /* bytes of one unit of host data: 8 or 4 */
} CtTraits;

#if defined(CT_BUILD_JORRA16)
static const CtTraits ctTraits = {CT_65550, 2, 0x98C98, 0, 8};
#elif defined(CT_BUILD_JORRA8)
static const CtTraits ctTraits = {CT_65550, 1, 0x98C98, 0, 8};
#elif defined(CT_BUILD_BELKI16)
static const CtTraits ctTraits = {CT_65548, 2, 0, 1, 4};
#elif defined(CT_BUILD_BELKI8)
static const CtTraits ctTraits = {CT_65548, 1, 0, 1, 4};
#elif defined(CT_BUILD_CORDO16)
static const CtTraits ctTraits = {CT_6430X, 2, 0, 1, 4};
#elif defined(CT_BUILD_CORDO8)
static const CtTraits ctTraits = {CT_6430X, 1, 0, 1, 4};
#else
#error "no ct build selected (CT_BUILD_<NAME>)"
#endif

#if defined(CT_BUILD_JORRA16) || defined(CT_BUILD_BELKI16) || defined(CT_BUILD_CORDO16)
#define CT_16BIT 1
#else
#define CT_16BIT 0
#endif
#if defined(CT_BUILD_CORDO16) || defined(CT_BUILD_CORDO8)
#define CT_IS_6430X 1
#else
#define CT_IS_6430X 0
#endif
#if defined(CT_BUILD_JORRA16) || defined(CT_BUILD_JORRA8)
#define CT_65550_BUILD 1
#else
#define CT_65550_BUILD 0
#endif

#define CT_IS_65550 (ctTraits.chip == CT_65550)
#define CT_BPP (ctTraits.bytesPerPixel)

/* ---- Ports and extension registers ---- */

#define CT_XR_INDEX 0x3D6
#define CT_XR_DATA 0x3D7
#define CT_ATTR_INDEX 0x3C0
#define CT_INPUT_STATUS_1 0x3DA /* reading it resets the attribute flip-flop */
#define CT_DAC_WRITE_INDEX 0x3C8
#define CT_DAC_DATA 0x3C9

#define CT_ATTR_PICTURE_OFF 0x00
#define CT_ATTR_PICTURE_ON 0x20

#define XR_VERSION 0x00
#define XR_CONFIG 0x01
#define XR_DEVICE_LOW 0x02
#define XR_DEVICE_HIGH 0x03
#define XR_REVISION 0x04
#define XR_IO_BASE 0x07     /* 65548 and 6430x: the engine's I/O base */
#define XR_LINEAR_BASE 0x08 /* 65548: bits 20-27 of the linear base; 65550: bus */
#define XR_MEMORY_65548 0x0F
#define XR_BITBLT 0x20 /* 65550: bit 0 busy, bit 1 engine reset, bits 4-5 mode */
#define XR_MISC_40 0x40
#define XR_MEMORY_65550 0x43

#define XR07_ENGINE_PORTS 0xF4
#define XR20_BUSY 0x01
#define XR20_RESET 0x02
#define XR20_ENABLE 0x10
#define XR20_CLEAR_5 0xDF
#define XR20_CLEAR_1 0xFD
#define XR03_ENGINE 0x02
#define XR03_CLEAR_1 0xFD
#define XR40_ENGINE 0x02

static inline uint8_t ctReadXR(uint8_t index) {
    outb(CT_XR_INDEX, index);
    return inb(CT_XR_DATA);
}

static inline void ctWriteXR(uint8_t index, uint8_t value) {
    outb(CT_XR_INDEX, index);
    outb(CT_XR_DATA, value);
}

/* ---- Engine registers ---- */

/* 65550: offsets from ct_membase. */
#define BR00_SRC_PITCH 0x400000 /* 16 bits */
#define BR00_DST_PITCH 0x400002 /* 16 bits */
#define BR01_BG 0x400004
#define BR02_FG 0x400008
#define BR03_MONO 0x40000C
#define BR04_CONTROL 0x400010
#define BR05_PATTERN 0x400014
#define BR06_SOURCE 0x400018
#define BR07_DEST 0x40001C
#define BR08_SIZE 0x400020
#define CT_HOST_PORT_65550 0x410000
/* The MEMORY area must reach the last byte of the host-data port. */
#define CT_MEMORY_NEEDED_65550 (CT_HOST_PORT_65550 + 4)
#define BR_PITCH_MASK 0x1FFF
#define BR_ADDR_MASK 0x7FFFFF
#define BR_PATTERN_MASK 0x1FFFFF
#define BR_SIZE_MASK 0x1FFF
#define BR03_MONO_BASE 0x04000000

/* 65548 and 6430x: I/O ports. */
#define DR00_SRC_PITCH 0x83D0 /* 16 bits */
#define DR00_DST_PITCH 0x83D2 /* 16 bits */
#define DR01_PATTERN 0x87D0
#define DR02_BG 0x8BD0
#define DR03_FG 0x8FD0
#define DR04_CONTROL 0x93D0
#define DR05_SOURCE 0x97D0
#define DR06_DEST 0x9BD0
#define DR07_SIZE 0x9FD0
#define DR04_BUSY 0x100000
#define DR_PITCH_MASK 0xFFF
#define DR_ADDR_MASK 0x1FFFFF
#define DR_SIZE_MASK 0xFFF

/* Control-word flags. */
#define CT550_COPY_XDEC 0x100
#define CT550_COPY_YDEC 0x200
#define CT550_HOST_COLOUR 0x400
#define CT550_MONO_OPAQUE 0x1400
#define CT550_MONO_TRANSPARENT 0x3400
#define CT550_SOLID 0x80000
#define CT550_SOLID_PATTERN 0xC0000
#define CT550_PATTERN_ROW_SHIFT 20
#define CT548_COPY_FORWARD 0x300
#define CT548_COPY_BOTTOM_UP 0x200
#define CT548_COPY_RIGHT_TO_LEFT 0x100
#define CT548_SOLID 0x700
#define CT548_HOST_COLOUR 0x4300
#define CT548_MONO_OPAQUE 0x4B00
#define CT548_MONO_TRANSPARENT 0x6B00
#define CT548_PATTERN 0x300
#define CT548_PATTERN_ROW_SHIFT 16

/* Busy readings after which an inline wait gives up. */
#define CT_WAIT_BOUND 0x1000000u
#define CT_SANITY_BOUND 1000000u

extern uint8_t *ct_membase;
extern uint32_t NAME(PixelOps)[16];
extern uint32_t NAME(PatternOps)[16];
extern uint32_t NAME(MaskOps)[16];

static inline Bool ctEngineBusy(void) {
    if (CT_IS_65550)
        return (ctReadXR(XR_BITBLT) & XR20_BUSY) != 0;
    return (ioIn32(DR04_CONTROL) & DR04_BUSY) != 0;
}

void NAME(BitBltTimeoutError)(void) __attribute__((noreturn));

/* The wait before every engine set-up and every processor access to video
 * memory: the engine gets a generous bound, and a stuck one ends the server. */
static inline void ctWaitIdle(void) {
    uint32_t count = 0;
    while (ctEngineBusy()) {
        if (count > CT_WAIT_BOUND)
            NAME(BitBltTimeoutError)();
        count++;
    }
}

/* ---- Engine set-up, per register layout ---- */

static inline void ctSetPitches(uint32_t src, uint32_t dst) {
    if (CT_IS_65550) {
        mmWrite16(ct_membase + BR00_SRC_PITCH, (uint16_t)(src & BR_PITCH_MASK));
        mmWrite16(ct_membase + BR00_DST_PITCH, (uint16_t)(dst & BR_PITCH_MASK));
    } else {
        ioOut16(DR00_SRC_PITCH, (uint16_t)(src & DR_PITCH_MASK));
        ioOut16(DR00_DST_PITCH, (uint16_t)(dst & DR_PITCH_MASK));
    }
}

static inline void ctSetControl(uint32_t control) {
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR04_CONTROL, control);
    else
        ioOut32(DR04_CONTROL, control);
}

static inline void ctSetSource(uint32_t address) {
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR06_SOURCE, address & BR_ADDR_MASK);
    else
        ioOut32(DR05_SOURCE, address & DR_ADDR_MASK);
}

static inline void ctSetDest(uint32_t address) {
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR07_DEST, address & BR_ADDR_MASK);
    else
        ioOut32(DR06_DEST, address & DR_ADDR_MASK);
}

/* The colour as the engine takes it: masked to the pixel on the 65550,
 * replicated over 32 bits on the others. */
static inline uint32_t ctEngineColour(Pixel colour) {
    uint32_t pixel = CT_BPP == 2 ? (colour & 0xFFFF) : (colour & 0xFF);
    if (CT_IS_65550)
        return pixel;
    return CT_BPP == 2 ? (pixel | pixel << 16) : pixel * 0x01010101u;
}

/* The colour of solid fills (BR01 or DR03). */
static inline void ctSetSolidColour(Pixel colour) {
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR01_BG, ctEngineColour(colour));
    else
        ioOut32(DR03_FG, ctEngineColour(colour));
}

/* Writing the size starts the operation. */
static inline void ctStart(uint32_t widthBytes, uint32_t height) {
    if (CT_IS_65550)
        mmWrite32(ct_membase + BR08_SIZE, (widthBytes & BR_SIZE_MASK) | (height & BR_SIZE_MASK)
                                                                            << 16);
    else
        ioOut32(DR07_SIZE, (widthBytes & DR_SIZE_MASK) | (height & DR_SIZE_MASK) << 16);
}

/* ---- Screen private ---- */

typedef struct _ctCursorCache ctCursorCache;

/* One run of off-screen video memory, in address order with its neighbours. */
typedef struct _ctOnboardChunk {
    struct _ctOnboardChunk *next, *prev;
    uint8_t *vaddr;     /* mapped address of its first byte */
    uint32_t size;      /* pixels */
    int32_t pitchValue; /* the owner's line pitch in bytes (0 when free) */
    int32_t offset;     /* vaddr - fbBase: the address the engine uses */
    int32_t state;      /* 1 free, 2 used; bit 0x8 locked */
    const char *ownerFile;
    int32_t ownerLine;
} ctOnboardChunk;

typedef struct _ctOnboardHeap {
    uint8_t *freeBase; /* first byte after the visible screen */
    uint32_t freeSize; /* pixels beyond the visible screen */
    uint32_t granule;  /* allocation granularity in pixels */
    ctOnboardChunk *chunks;
} ctOnboardHeap;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(ctOnboardChunk) == 36, "a heap chunk is nine words");
DRV_STATIC_ASSERT(sizeof(ctOnboardHeap) == 16, "the heap header is four words");
#endif

typedef struct _ctScreenPrivate {
    uint8_t *fbBase; /* the MEMORY area as mapped */
    uint32_t fbSize; /* its length */
    int32_t pitch;   /* pixels per line (PIXWIDTH) */
    int32_t width;   /* PIXWIDTH */
    int32_t height;  /* PIXHEIGHT */
    int32_t depth;   /* DEPTH */
    uint32_t allPlanes;
    int32_t dacShift; /* 8-bit builds: right shift of colour components */
    int32_t stride;   /* bytes per line */
    int32_t bytesPerPixel;
    int32_t hwCursor;
    ctCursorCache *cursorCache;
    CursorPtr curCursor;
    ctOnboardHeap *heap;
    int32_t onboardMin;
    int32_t onboardMax;
    Bool (*wrappedCreateGC)(GCPtr);
#if !CT_IS_6430X
    ctOnboardChunk *cursorChunk;
    uint8_t *cursorImage;
#endif
} ctScreenPrivate, *ctScreenPrivPtr;

#if defined(__i386__)
#if CT_IS_6430X
DRV_STATIC_ASSERT(sizeof(ctScreenPrivate) == 68, "the 6430x screen private is 17 words");
#else
DRV_STATIC_ASSERT(sizeof(ctScreenPrivate) == 76, "the screen private is 19 words");
#endif
DRV_STATIC_ASSERT(offsetof(ctScreenPrivate, wrappedCreateGC) == 64, "wrappedCreateGC at word 16");
#endif

extern int NAME(ScreenPrivateIndex);
extern int NAME(GCPrivateIndex);
extern int NAME(HardwareCursorFlag);
extern int NAME(WrapGCFlag);
extern int NAME(InitOnlyFlag);

#define CT_PRIV(pScreen) ((ctScreenPrivPtr)(pScreen)->devPrivates[NAME(ScreenPrivateIndex)].ptr)

static inline ctScreenPrivPtr ctPrivOf(DrawablePtr pDraw) {
    return CT_PRIV(pDraw->pScreen);
}

static inline GrafinfoHandle ctGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Records ---- */

extern "C" {
extern PrivOps NAME(SolidPrivOps);
extern PrivOps NAME(TiledPrivOps);
extern PrivOps NAME(StippledPrivOps);
extern PrivOps NAME(OpStippledPrivOps);
extern WinOps NAME(WinOps);
extern SysInfo NAME(SysInfo);
}

/* ---- On-board heap (ct_heap.cpp) ---- */

Bool NAME(OnboardInit)(ScreenPtr);
void NAME(OnboardClose)(ScreenPtr);
/* Callers name the allocating statement: __FILE__, __LINE__. */
ctOnboardChunk *NAME(OnboardAlloc)(ScreenPtr, int width, int height, int pitchValue,
                                   const char *file, int line);
void NAME(OnboardFree)(ScreenPtr, ctOnboardChunk *, const char *file, int line);
void NAME(OnboardLock)(ctOnboardChunk *);
void NAME(OnboardUnlock)(ctOnboardChunk *);
int NAME(OnboardOffset)(ctOnboardChunk *, int x, int y);
uint8_t *NAME(OnboardVAddr)(ctOnboardChunk *);
uint32_t NAME(OnboardAvailable)(ScreenPtr);

/* ---- Plane-mask patterns (ct_pattern.cpp) ---- */

Bool NAME(MaskPatternInit)(ScreenPtr);
void NAME(MaskPatternClose)(ScreenPtr);
int NAME(MaskPatternOffset)(uint32_t planemask);

/* ---- Colormap (ct_cmap.cpp, 8-bit builds) ---- */

void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr);

/* ---- Engine layer (ct_blt.cpp) ---- */

void NAME(BitBltInit)(ScreenPtr);
void NAME(BitBltScreenSwitch)(ScreenPtr);
uint32_t NAME(BitBltSync)(void);
void NAME(BitBltSanityCheck)(void);
void NAME(BitBltInfoReset)(void);
void NAME(BitBltDebugF)(const char *format, ...);

/* ---- Switch and blanking (ct_switch.cpp) ---- */

void NAME(SetGraphics)(ScreenPtr);
Bool NAME(SetText)(ScreenPtr);
void NAME(SaveGState)(ScreenPtr);
void NAME(RestoreGState)(ScreenPtr);
int NAME(BlankScreen)(int on, ScreenPtr);
void NAME(ValidateWindowPriv)(WindowPtr);
void ctDoText(ScreenPtr);

/* ---- Hardware cursor (ct_cursor.cpp) ---- */

void NAME(CursorInitialize)(ScreenPtr);
void NAME(CursorFree)(ScreenPtr);
/* The hardware cursor's visibility; both do nothing without it. */
void ctCursorOn(ScreenPtr);
void ctCursorOff(ScreenPtr, Bool unload);

/* ---- Rectangles, points and segments (ct_rect.cpp, ct_seg.cpp) ---- */

static inline Bool ctAllPlanes(const ctScreenPrivate *priv, uint32_t planemask) {
    return (planemask & priv->allPlanes) == priv->allPlanes;
}

/* Byte address of (x, y) for the engine. */
static inline uint32_t ctAddress(const ctScreenPrivate *priv, int x, int y) {
    return (uint32_t)priv->stride * (uint32_t)y + (uint32_t)CT_BPP * (uint32_t)x;
}

/* The processor's pixel at (x, y). */
static inline uint8_t *ctPixel(const ctScreenPrivate *priv, int x, int y) {
    return priv->fbBase + ((uint32_t)y * (uint32_t)priv->pitch + (uint32_t)x) * CT_BPP;
}

static inline uint32_t ctLoadPixel(const uint8_t *at) {
    if (CT_BPP == 2) {
        uint16_t v;
        memcpy(&v, at, sizeof v);
        return v;
    }
    return *at;
}

static inline void ctStorePixel(uint8_t *at, uint32_t value) {
    if (CT_BPP == 2) {
        uint16_t v = (uint16_t)value;
        memcpy(at, &v, sizeof v);
    } else {
        *at = (uint8_t)value;
    }
}

/* After the processor wrote video memory: one read of its first word. */
static inline void ctFlushProcessor(const ctScreenPrivate *priv) {
    (void)*(volatile uint32_t *)priv->fbBase;
}

void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects)(BoxPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints)(DDXPointPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void ctDrawPointsFB(DDXPointPtr, int count, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void NAME(TileRects)(BoxPtr, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void NAME(SolidZeroSegs)(GCPtr, DrawablePtr, ZeroSegRec *segs, int count);
uint32_t ctSolidZeroSegsFB(ZeroSegRec *segs, int count, int alu, Pixel fg, uint32_t mask,
                           DrawablePtr);

/* ---- Colour expansion (ct_mono.cpp) ---- */

#if CT_65550_BUILD
void NAME(DoDrawMonoImage)(uint8_t *fbBase, int dstPitch, uint32_t dst, int w, int h,
                           const uint8_t *bits, int stride, int startBit);
#else
void NAME(DoDrawMonoImage)(uint8_t *fbBase, int dstPitch, uint32_t dst, int w, int h,
                           const uint8_t *bits, int stride);
#endif
void NAME(DrawMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage)(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                               int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawMonoGlyphs)(MonoGlyphRec *, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr, DrawablePtr);
void NAME(DrawFontText)(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, int transparent, DrawablePtr);

/* ---- Image cache (ct_cache.cpp) ---- */

ctOnboardChunk *ctBuild8x8Tile(ScreenPtr, const uint8_t *tile, int stride, int w, int h);
ctOnboardChunk *ctBuild8x8Stipple(ScreenPtr, const uint8_t *bits, int stride, int w, int h);
/* A depth of 1 is a stipple in fg and bg; width and height give the image's
 * size and take the cached size back (0 when refused). */
ctOnboardChunk *NAME(ImageCacheLoad)(ScreenPtr, const uint8_t *pixels, int stride, int depth,
                                     int *width, int *height, Pixel fg, Pixel bg);
void NAME(ImageCacheFree)(ScreenPtr, ctOnboardChunk *);
void NAME(ImageCacheCopyRects)(BoxPtr, int count, ctOnboardChunk *, int width, int height,
                               DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void NAME(ImageCacheFS)(DDXPointPtr starts, int *widths, int count, ctOnboardChunk *, int width,
                        int height, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);

/* ---- GC wrapper and validation (ct_gc.cpp) ---- */

/* Per GC while GCs are wrapped: the vector below the wrapper and the GC's
 * tile or stipple in the image cache. */
typedef struct _ctGCPriv {
    const GCFuncs *savedFuncs;
    ctOnboardChunk *cachedImage;
    int32_t cachedWidth; /* 8 for an 8 x 8 pattern */
    int32_t cachedHeight;
} ctGCPriv, *ctGCPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(ctGCPriv) == 16, "the GC private is four words");
#endif

/* None while no GC-private index was taken. */
static inline ctGCPrivPtr ctGCPrivOf(GCPtr pGC) {
    if (NAME(GCPrivateIndex) < 0)
        return 0;
    return (ctGCPrivPtr)pGC->devPrivates[NAME(GCPrivateIndex)].ptr;
}

Bool NAME(CreateGC)(GCPtr);
int NAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);
int NAME(ValidateWindowGCNoWrap)(GCPtr, uint32_t changes, DrawablePtr);
int NAME(CacheGCPixmap)(GCPtr, PixmapPtr, Pixel fg, Pixel bg);

/* ---- Span and rectangle fills (ct_fill.cpp) ---- */

void NAME(SolidFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(SolidFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void NAME(TiledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(TiledFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void NAME(OpStippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(OpStippledFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void NAME(StippledFillRects)(GCPtr, DrawablePtr, BoxPtr, int count);
void NAME(StippledFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);

/* ---- Images (ct_image.cpp) ---- */

void NAME(DrawImage)(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);
void ctDrawImageSlow(DrawablePtr, int alu, int x, int y, int w, int h, const uint8_t *pixels,
                     int stride);
void NAME(DrawImageFB)(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                       DrawablePtr);
void NAME(ReadImage)(BoxPtr, uint8_t *dst, int stride, DrawablePtr);

/* ---- Options (ct_options.cpp) ---- */

void ctProcessOptions(ScreenPtr, int argc, char **argv);
uint32_t atoh(const char *word, Bool *converted);
void ctGetInfo(void);

#endif
