/*
 * Private header of the garsk driver: ET4000-family accelerators with a
 * memory-mapped accelerator and three memory-mapping apertures, one 8-bit
 * PseudoColor screen at a fixed line pitch of 1024 bytes, its frame buffer
 * either linear or seen through a 64 KB window.
 *
 * Whatever the frame buffer's form, the register block and the three
 * aperture windows lie at fixed offsets from the start of the default memory
 * area. Each aperture shows video memory from the address its base register
 * holds; a write to aperture 0 feeds or starts the accelerator.
 */
#ifndef GARSK_H
#define GARSK_H

#include "driver.h"

/* ---- Offsets from the start of the default memory area ---- */

#define GARSK_AP_WINDOW0 0x18000
#define GARSK_AP_WINDOW1 0x1A000
#define GARSK_AP_WINDOW2 0x1C000
#define GARSK_MMU_BASE0 0x1FF00
#define GARSK_MMU_BASE1 0x1FF04
#define GARSK_MMU_BASE2 0x1FF08
#define GARSK_MMU_CONTROL 0x1FF13
#define GARSK_OP_STATE 0x1FF31
#define GARSK_SYNC_ENABLE 0x1FF32
#define GARSK_INT_MASK 0x1FF34
#define GARSK_STATUS 0x1FF36
#define GARSK_PATTERN_ADDR 0x1FF80
#define GARSK_SOURCE_ADDR 0x1FF84
#define GARSK_PATTERN_Y_OFFSET 0x1FF88
#define GARSK_SOURCE_Y_OFFSET 0x1FF8A
#define GARSK_DEST_Y_OFFSET 0x1FF8C
#define GARSK_BUS_SIZE 0x1FF8E
#define GARSK_DIRECTION 0x1FF8F
#define GARSK_PATTERN_WRAP 0x1FF90
#define GARSK_SOURCE_WRAP 0x1FF92
#define GARSK_X_POS 0x1FF94
#define GARSK_Y_POS 0x1FF96
#define GARSK_X_COUNT 0x1FF98
#define GARSK_Y_COUNT 0x1FF9A
#define GARSK_ROUTING 0x1FF9C
#define GARSK_RELOAD 0x1FF9D
#define GARSK_BG_ROP 0x1FF9E
#define GARSK_FG_ROP 0x1FF9F
#define GARSK_DEST_ADDR 0x1FFA0

/* Status bits: an operation runs; aperture data is still being taken. */
#define GARSK_STATUS_BUSY 0x01
#define GARSK_STATUS_DATA 0x02

#define GARSK_MMU_CONTROL_VALUE 0x71

/* What CPU data written to aperture 0 means. */
#define GARSK_ROUTE_NONE 0x00
#define GARSK_ROUTE_SOURCE 0x01
#define GARSK_ROUTE_MIX 0x02
#define GARSK_ROUTE_PIXEL 0x11

#define GARSK_BUS_8 0
#define GARSK_BUS_16 1
#define GARSK_BUS_32 2

#define GARSK_FORWARD 0
#define GARSK_BACKWARD 3

#define GARSK_WRAP_CELL 0x02 /* a 4-byte colour cell */
#define GARSK_WRAP_NONE 0x77 /* a screen source */
#define GARSK_ROP_KEEP_DEST 0xAA

/* ---- Video memory past the visible screen (line pitch 1024) ---- */

#define GARSK_PITCH 1024
#define GARSK_MAX_WIDTH 1024
#define GARSK_MAX_HEIGHT 768
#define GARSK_CELL_PATTERN 0xC0000 /* plane mask, or the opaque foreground */
#define GARSK_CELL_OPAQUE_BG 0xC0004
#define GARSK_CELL_FG 0xC0100
#define GARSK_CURSOR_AREA 0xC0200
#define GARSK_TILE_PATTERN 0xC0400
#define GARSK_SCRATCH_AREA 0xC0800 /* line 770 */
#define GARSK_TILE_AREA_Y 775
#define GARSK_TILE_AREA_WIDTH 1024
#define GARSK_TILE_AREA_HEIGHT 248

/* ---- Ports ---- */

#define GARSK_SPRITE_INDEX 0x217A
#define GARSK_SPRITE_DATA 0x217B
#define GARSK_SPRITE_ENABLE 0xF7
#define GARSK_SEQ_INDEX 0x3C4
#define GARSK_SEQ_DATA 0x3C5
#define GARSK_SEQ_CLOCKING 0x01
#define GARSK_SEQ_SCREEN_OFF 0x20
#define GARSK_DAC_WRITE_INDEX 0x3C8
#define GARSK_DAC_DATA 0x3C9

/* ---- Defaults of keys the configuration may leave out (millimetres) ---- */

#define GARSK_DEFAULT_MON_WIDTH 381
#define GARSK_DEFAULT_MON_HEIGHT 308

/* ---- Screen private ---- */

typedef struct _garskScreenPrivate {
    uint8_t *apertureBase;
    volatile uint8_t *apWindow0;
    volatile uint8_t *apWindow1;
    volatile uint8_t *apWindow2;
    volatile uint32_t *mmuBase0;
    volatile uint32_t *mmuBase1;
    volatile uint32_t *mmuBase2;
    volatile uint8_t *mmuControl;
    volatile uint8_t *regOpState;
    volatile uint8_t *regSyncEnable;
    volatile uint8_t *regIntMask;
    volatile uint8_t *regStatus;
    volatile uint32_t *regPatternAddr;
    volatile uint32_t *regSourceAddr;
    volatile uint16_t *regPatternYOffset;
    volatile uint16_t *regSourceYOffset;
    volatile uint16_t *regDestYOffset;
    volatile uint8_t *regBusSize;
    volatile uint8_t *regDirection;
    volatile uint8_t *regPatternWrap;
    volatile uint8_t *regSourceWrap;
    volatile uint16_t *regXPos;
    volatile uint16_t *regYPos;
    volatile uint16_t *regXCount;
    volatile uint16_t *regYCount;
    volatile uint8_t *regRouting;
    volatile uint8_t *regReload;
    volatile uint8_t *regBgRop;
    volatile uint8_t *regFgRop;
    volatile uint32_t *regDestAddr;
    int32_t cursorHotX, cursorHotY, cursorHeight, cursorWidth;
    int32_t cursorWidthOneFlag;
    int32_t pitch;
    int32_t tileAreaWidth, tileAreaHeight;
    int16_t tileAreaX, tileAreaY;
    WinOps *winOps;
    PrivOps *solidOps;
    int32_t bankCache;
} garskScreenPrivate, *garskScreenPrivPtr;

extern int garskScreenPrivateIndex;
#define GARSK_PRIV(pScreen)                                                                        \
    ((garskScreenPrivPtr)((pScreen)->devPrivates[garskScreenPrivateIndex].ptr))

/* The private of the screen a window operation draws on. */
static inline garskScreenPrivPtr garskPrivOf(DrawablePtr pDraw) {
    return GARSK_PRIV(pDraw->pScreen);
}

/* ---- Register access ---- */

static inline void garskPut8(volatile uint8_t *reg, uint32_t v) {
    mmWrite8(reg, (uint8_t)v);
}
static inline void garskPut16(volatile uint16_t *reg, uint32_t v) {
    mmWrite16(reg, (uint16_t)v);
}
static inline void garskPut32(volatile uint32_t *reg, uint32_t v) {
    mmWrite32(reg, v);
}

/* The status waits have no bound: the engine always ends what it starts. */
static inline void garskWaitIdle(const garskScreenPrivate *priv) {
    while (mmRead8(priv->regStatus) & GARSK_STATUS_BUSY)
        ;
}
static inline void garskWaitData(const garskScreenPrivate *priv) {
    while (mmRead8(priv->regStatus) & GARSK_STATUS_DATA)
        ;
}

/* Starts an operation whose data is not fed by the processor. */
static inline void garskStart(garskScreenPrivate *priv) {
    mmWrite8(priv->apWindow0, 0);
}

static inline uint32_t garskAddress(const garskScreenPrivate *priv, int x, int y) {
    return (uint32_t)y * (uint32_t)priv->pitch + (uint32_t)x;
}

static inline bool garskFullMask(uint32_t planemask) {
    return (planemask & 0xFF) == 0xFF;
}

/* Every name the driver's files share has C linkage, as the records it
 * exports do. */
extern "C" {

/* ---- Records (garsk.cpp) ---- */

extern PrivOps garskSolidPrivOps;
extern PrivOps garskTiledPrivOps;
extern PrivOps garskStippledPrivOps;
extern PrivOps garskOpStippledPrivOps;
extern WinOps garskFlatWinOps;
extern WinOps garskBankedWinOps;
extern VisualRec garskVisual;
extern SysInfo garskSysInfo;

Bool garskInitHW(ScreenPtr pScreen);
int garskValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw);

/* ---- Accelerator operations (garsk_accel.cpp) ---- */

extern const uint8_t alu_to_src_rop[16];
extern const uint8_t alu_to_pat_rop[16];
extern const uint8_t alu_to_plane_rop[16];

void garskCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw);
void garskDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw);
void garskDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw);
/* The banked record's name for the same routine: points never touch the
 * window. */
void garskDrawBankedPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr pDraw);
void garskDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw);
void garskDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw);
void garskDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw);

/* Plane-mask set-up shared by the operations: the raster code to use, with
 * the mask loaded as the pattern when it is not full. `patternOffset` is
 * added to the pattern cell's address (a backward copy walks it backward). */
uint8_t garskPlaneMaskSetup(garskScreenPrivate *priv, int alu, uint32_t planemask,
                            uint32_t patternOffset);
/* A colour into one of the off-screen cells through aperture 2. */
void garskLoadCell(garskScreenPrivate *priv, uint32_t cell, Pixel pixel);

/* Both opaque colour cells (0xC0000 and 0xC0004), and the opaque expansion
 * of a w by h box at video address `addr` with the given raster codes. */
void garskLoadOpaqueCells(garskScreenPrivate *priv, Pixel fg, Pixel bg);
void garskOpaqueExpand(garskScreenPrivate *priv, uint32_t addr, int w, int h, const uint8_t *bits,
                       int startBit, int stride, Pixel fg, Pixel bg, uint8_t fgRop, uint8_t bgRop);

/* Routines nothing in the driver installs (garsk_spans.cpp). */
void garskgarskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths,
                              int count);
void garskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths, int count);
void testgarskSolidFillSpans(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr starts, int *widths,
                             int count);
void garskOpaqueMonoPlanarImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw);

/* ---- Tiles, images and the banked window (garsk_image.cpp) ---- */

void garskTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                    DrawablePtr pDraw);
void garskTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                       uint32_t planemask, DrawablePtr pDraw);
void garskTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                              DrawablePtr pDraw);
void garskDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw);
void garskReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw);
void garskDrawBankedImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw);
void garskReadBankedImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw);
/* Not installed: a point writer that combines pixels in the window. */
void garsk32DrawBankedPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                             DrawablePtr pDraw);
void garskSetReadSegment(int segment);
void garskSetWriteSegment(int segment);

/* ---- Hardware cursor (garsk_cursor.cpp; nothing installs it) ---- */

extern PointerFuncs garskPointerFuncs;
Bool garskCursorInitialize(ScreenPtr pScreen);

/* ---- Colour and glyph writers (garsk_fillcolor.cpp) ---- */

void LoadFillColor(Pixel pixel, volatile uint8_t *window, volatile uint8_t *status);
void TriGlyphWr(volatile uint8_t *port, const uint8_t *source);
void QuickGlyph(volatile uint8_t *port, const uint32_t *source, int bytes);
}

#endif
