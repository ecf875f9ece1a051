/*
 * Private header of the neo drivers: NeoMagic notebook graphics chips with a
 * linearly mapped frame buffer and a memory-mapped register block.
 *
 * One source is built twice; NEO_BUILD_<NAME> picks the build's traits and
 * DRV_NAME names its identifiers (NAME(Init) is yssen8Init in the yssen8
 * build). What the builds share under one name carries the prefix neo.
 */
#ifndef NEO_H
#define NEO_H

#include "driver.h"

#define NEO_CAT2(a, b) a##b
#define NEO_CAT(a, b) NEO_CAT2(a, b)
#define NEO_STR2(a) #a
#define NEO_STR(a) NEO_STR2(a)
#define NAME(x) NEO_CAT(DRV_NAME, x)
#define DRIVER_NAME NEO_STR(DRV_NAME)

/* ---- Build traits ---- */

typedef struct _neoTraits {
    int pixelBytes;         /* bytes of one pixel */
    uint32_t planeMaskFull; /* plane-mask bits that count as a full mask */
    uint32_t bltChip;       /* chip bits of the 209X mode, codes 2 and 3 */
    uint32_t bltChipLater;  /* the same, codes 4 and 0x53 */
    uint32_t blitModeBase;  /* the 2200 mode word's base */
    Bool palette;           /* the build loads the DAC itself */
} neoTraits;

#if defined(NEO_BUILD_YSSEN8)
static const neoTraits neoBuild = {1, 0xFF, 0x8A000100, 0x82000100, 0x100, 1};
#elif defined(NEO_BUILD_YSSEN16)
static const neoTraits neoBuild = {2, 0xFFFF, 0x8A000200, 0x82000200, 0x200, 0};
#else
#error "no neo build selected (NEO_BUILD_<NAME>)"
/* ---- Hardware cursor (neo_cursor.cpp) ---- */

void NAME(CursorInitialize)(ScreenPtr);
void neoRestoreCursor(ScreenPtr);

/* ---- Accelerated drawing (neo_accel.cpp) ---- */

void NAME(CopyRect209X)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2200)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2070)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects209X)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2200)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2070)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints209X)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2200)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2070)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(SolidFS209X)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2200)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2070)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(DrawMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);

#endif

/* ---- Ports and registers ---- */

#define VGA_SEQ_INDEX 0x3C4
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9
#define VGA_GC_INDEX 0x3CE
#define VGA_GC_DATA 0x3CF
#define VGA_CRTC_INDEX 0x3D4
#define VGA_CRTC_DATA 0x3D5

#define SR_CLOCKING 0x01
#define SR1_SCREEN_OFF 0x20
#define CR_CHIP_CODE 0x1A
#define CHIP_CODE_MASK 0x1F
#define GR_PANEL 0x20
#define GR20_INTERNAL 0x02
#define GR20_EXTERNAL 0x01
#define GR20_OUTPUTS 0x03

/* Extension set-up of every mode set: GR09, GR0E, GR11. */
#define GR09_UNLOCK 0x2609
#define GR0E_SETUP 0x100E
#define GR11_SETUP 0xC011

#define DAC_COMPONENT_SHIFT 10

/* ---- Chips ---- */

#define CHIP_NONE (-1)
#define CHIP_2090 2
#define CHIP_2093 3
#define CHIP_2097 4
#define CHIP_2160 0x53
#define CHIP_2200 5

/* ---- Drawing engine (209X, 2200, 2070) ---- */

/* Engine registers: 32-bit words, byte offsets from regBase. */
#define ENG_STATUS 0
#define ENG_MODE 2 /* 2200: the mode word, stored as 32 bits */
#define ENG_COMMAND 4
#define ENG_FG 12
#define ENG_BG 16
#define ENG_PLANEMASK 20 /* 2070 */
#define ENG_PITCHES 20   /* 2200 copies: pitch << 16 | pitch */
#define ENG_SIZE2070 24
#define ENG_SRC_PITCH 28 /* 2070 */
#define ENG_SRC_BIT 32
#define ENG_SRC 36
#define ENG_DST_PITCH 40 /* 2070 */
#define ENG_DST 44
#define ENG_SIZE 48 /* writing it starts the engine (2070: the destination) */

#define STATUS_BUSY 0x1

/* The host-data window: 1 MB of 32-bit words in the register block. */
#define HOST_DATA_OFFSET 0x100000
#define HOST_DATA_WORDS (0x100000 / 4)

/* Command bits. */
#define CMD_ROP_SHIFT 16
#define CMD_BOTTOM_RIGHT 0x13
#define CMD_SOLID 0x08
#define CMD_MONO 0xC0
#define CMD_MONO_TRANSPARENT 0xC4
#define CMD209X_XY 0x1000000
#define CMD2200_COPY 0x80000000u
#define CMD2200_FILL 0x83000000u
#define CMD2200_MONO 0x82000000u

#define SIZE_ONE_PIXEL 0x10001
#define SIZE_ONE_ROW 0x10000

/* The cursor registers take six words. */
#define CURSOR_REG_BYTES 24
#define CURSOR_IMAGE_BYTES 1024
/* The accelerated chips' host-data window ends the register block. */
#define REG_BLOCK_BYTES 0x200000
/* Video memory of a board whose configuration does not give MEMSIZE: the
 * amount these boards are built with. */
#define DEFAULT_VIDEO_MEMORY 0x200000u

#define DEFAULT_MONITOR_MM 300

/* ---- Screen private ---- */

typedef struct _neoScreenPrivate {
    uint8_t *fbBase;
    uint8_t *regBase;
    int32_t width, height;
    int32_t pitch;
    uint8_t cursorImage[CURSOR_IMAGE_BYTES];
    uint8_t cursorBlank[CURSOR_IMAGE_BYTES];
    uint8_t cursorShifted[CURSOR_IMAGE_BYTES];
    int32_t hotX, hotY;
    uint32_t cursorAddrCode;
    int32_t lastShiftX, lastShiftY;
    uint8_t *cursorMem;
    uint32_t cursorRegs;
    int32_t internDisp, externDisp;
    uint32_t savedGR20;
    uint32_t bltFlags;
    uint32_t blitMode;
    /* The cursor is set (SetCursor with one), and hidden while wholly
     * beyond the top or left edge; the console switch shows it again. */
    int32_t cursorShown, cursorParked;
} neoScreenPrivate, *neoScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(neoScreenPrivate) == 3148, "the screen private's layout");
/* ---- Hardware cursor (neo_cursor.cpp) ---- */

void NAME(CursorInitialize)(ScreenPtr);
void neoRestoreCursor(ScreenPtr);

/* ---- Accelerated drawing (neo_accel.cpp) ---- */

void NAME(CopyRect209X)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2200)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2070)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects209X)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2200)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2070)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints209X)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2200)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2070)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(SolidFS209X)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2200)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2070)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(DrawMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);

#endif

extern int NAME(ScreenPrivateIndex);

#define NEO_PRIV(pScreen) ((neoScreenPrivPtr)(pScreen)->devPrivates[NAME(ScreenPrivateIndex)].ptr)

static inline GrafinfoHandle neoGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Records (neo_ops.cpp) ---- */

extern "C" {
extern uint8_t NAME(RasterOps)[16];
extern PrivOps NAME(SolidPrivOps2070), NAME(SolidPrivOpsGXcopy2070);
extern PrivOps NAME(SolidPrivOps209X), NAME(SolidPrivOpsGXcopy209X);
extern PrivOps NAME(SolidPrivOps2200), NAME(SolidPrivOpsGXcopy2200);
extern PrivOps NAME(DFBSolidPrivOps), NAME(DFBSolidPrivOpsGXcopy), NAME(DFBPlanemaskSolidPrivOps);
extern PrivOps NAME(DFBTiledPrivOps);
extern PrivOps NAME(DFBStippledPrivOps), NAME(DFBPlanemaskStippledPrivOps);
extern PrivOps NAME(DFBOpStippledPrivOps), NAME(DFBPlanemaskOpStippledPrivOps);
extern WinOps NAME(WinOps2070), NAME(WinOps209X), NAME(WinOps2200), NAME(DFBWinOps);
}

/* The records neoInitRenderOps chose; process-wide, so the screen
 * initialised last decides them for every screen of the driver. */
extern PrivOps *NAME(SolidPrivOps);
extern PrivOps *NAME(SolidPrivOpsGXcopy);
extern PrivOps *NAME(PlanemaskSolidPrivOps);
extern PrivOps *NAME(TiledPrivOps);
extern PrivOps *NAME(StippledPrivOps);
extern PrivOps *NAME(PlanemaskStippledPrivOps);
extern PrivOps *NAME(OpStippledPrivOps);
extern PrivOps *NAME(PlanemaskOpStippledPrivOps);
extern WinOps *NAME(WinOps);

void neoInitRasterOps(void);
void neoInitRenderOps(ScreenPtr);
int NAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);

/* ---- Images (neo_image.cpp) ---- */

void NAME(ReadImage)(BoxPtr, uint8_t *dst, int stride, DrawablePtr);
void NAME(DrawImage)(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);

/* ---- Hardware cursor (neo_cursor.cpp) ---- */

void NAME(CursorInitialize)(ScreenPtr);
void neoRestoreCursor(ScreenPtr);

/* ---- Accelerated drawing (neo_accel.cpp) ---- */

void NAME(CopyRect209X)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2200)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(CopyRect2070)(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects209X)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2200)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects2070)(BoxPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints209X)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2200)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawPoints2070)(DDXPointPtr, int, Pixel, int alu, uint32_t planemask, DrawablePtr);
void NAME(SolidFS209X)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2200)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(SolidFS2070)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void NAME(DrawMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                             uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage209X)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage2200)(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                                   int alu, uint32_t planemask, DrawablePtr);

#endif
