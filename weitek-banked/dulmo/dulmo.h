/*
 * dulmo: 1024- and 1280-class accelerated boards behind a controller-select
 * register, several to a machine, as 8-bit PseudoColor screens.
 */
#ifndef DULMO_H
#define DULMO_H

#include <stdint.h>
#include <string.h>

#include "hwio.h"
#include "nfb.h"

/* ---- Ports ---- */
#define DULMO_SELECT 0x83C4 /* controller select; reads the board's own id */
#define DULMO_DELAY 0x84    /* read between palette accesses */
#define DULMO_GR_INDEX 0x3CE
#define DULMO_GR_DATA 0x3CF
#define DULMO_SEQ_INDEX 0x3C4
#define DULMO_SEQ_DATA 0x3C5
#define DULMO_DAC_READ_INDEX 0x3C7
#define DULMO_DAC_WRITE_INDEX 0x3C8
#define DULMO_DAC_DATA 0x3C9
#define DULMO_STATUS 0x63CA  /* engine status and control */
#define DULMO_CONTROL 0x33CE /* start and control */
#define DULMO_ROP 0x33C7
#define DULMO_BLT_MODE 0x33CF
#define DULMO_WIDTH 0x23C2
#define DULMO_HEIGHT 0x23C4
#define DULMO_GLYPH_BLIT 0x23CA
#define DULMO_SRC_X 0x63C0
#define DULMO_SRC_Y 0x63C2
#define DULMO_DST_X 0x63CC
#define DULMO_DST_Y 0x63CE
#define DULMO_END_X 0x83CC
#define DULMO_END_Y 0x83CE

/* Cursor ports. */
#define DULMO_CURSOR_CMD 0x13C9
#define DULMO_CURSOR_CTL 0x13C6
#define DULMO_CURSOR_DATA 0x13C7
#define DULMO_CURSOR_ADDR 0x83C8
#define DULMO_CURSOR_COLOUR 0x83C9
#define DULMO_CURSOR_X_LO 0x93C8
#define DULMO_CURSOR_X_HI 0x93C9
#define DULMO_CURSOR_Y_LO 0x93C6
#define DULMO_CURSOR_Y_HI 0x93C7

/* Status bits. */
#define DULMO_BUSY 0x40
#define DULMO_IN_PROGRESS 0x80
#define DULMO_STATUS_SETUP_BITS 0x18 /* bits 3 and 4 */
#define DULMO_STATUS_EXPAND 0x10

/* Graphics registers. */
#define GR_PLANE_MASK 0x08
#define GR_CHIP_ID 0x0C
#define GR_CHIP_REV 0x0D
#define GR_UNLOCK 0x0F
#define GR_UNLOCK_KEY 5
#define GR_GLYPH_STATE 0x10
#define GR_FG 0x43
#define GR_BG 0x44
#define GR_PAGE_LOW 0x45
#define GR_PAGE_HIGH 0x46
#define GR_OP_MODE 0x5A
#define GR_LINE_CTL 0x60
#define GR_OCTANT 0x63
#define GR_LINE_LEN 0x64
#define GR_LINE_E 0x66
#define GR_LINE_E1 0x68
#define GR_LINE_E2 0x6A

/* Operation modes (GR 0x5A). */
#define OP_PROCESSOR 0xC0
#define OP_COPY 0xC1
#define OP_COPY_REV 0x01
#define OP_FILL 0xC2
#define OP_LINE 0xC3
#define OP_EXPAND 0x50
#define OP_EXPAND_MEMORY 0x51
#define OP_LOAD_GLYPH 0x04

/* Line control (GR 0x60). */
#define LINE_LOAD 0x5E
#define LINE_DRAW 0x5F
#define LINE_TO_END 0x18

/* Start codes (0x33CE). */
#define START_FORWARD 1
#define START_BACKWARD 0x41
#define ENGINE_RESET 0

#define BLT_COPY_FILL 0xC0
#define BLT_EXPAND 0x80

#define ENGINE_WAIT_READS 250000

/* ---- The screen private ---- */

typedef struct _dulmoScreenPrivate {
    uint8_t *apertureBase;
    int32_t gr10Pending;
    int32_t engineBusy;
    int32_t glyphCacheOn;
    int32_t primaryScreen;
    int8_t controllerId;
    int32_t cursorOffsetX, cursorOffsetY;
    struct _dulmoGlyphEntry **glyphBuckets;
    struct _dulmoGlyphEntry *glyphEntries;
    int32_t glyphNext;
    WinOps *winOps;
    PrivOps *solidOps;
    int32_t bankCache;
    int32_t pixWidth;
    int32_t pitch, pitchShift;
    int32_t cursorSize;
    uint8_t dacSave[768];
    int32_t chipRevisionFlag;
    /* The screen's grafinfo handle and the MEMORY area's length, kept for
     * the console switch and the glyph cache's bounds. */
    GrafinfoHandle grafinfo;
    uint32_t apertureLength;
    int32_t pixHeight;
} dulmoScreenPrivate, *dulmoScreenPrivPtr;

extern int dulmoScreenPrivateIndex;

#define DULMO_PRIV(pScreen)                                                                        \
    ((dulmoScreenPrivPtr)(pScreen)->devPrivates[dulmoScreenPrivateIndex].ptr)
#define DULMO_DRAWABLE_PRIV(pDraw) DULMO_PRIV((pDraw)->pScreen)

/* ---- Register helpers ---- */

static inline void dulmoSelect(dulmoScreenPrivPtr p) {
    ioOut8(DULMO_SELECT, (uint8_t)p->controllerId);
}

static inline void dulmoSetGR(uint8_t index, uint8_t value) {
    ioOut8(DULMO_GR_INDEX, index);
    ioOut8(DULMO_GR_DATA, value);
}

static inline uint8_t dulmoGetGR(uint8_t index) {
    ioOut8(DULMO_GR_INDEX, index);
    return ioIn8(DULMO_GR_DATA);
}

/* The status register written back with the set-up bits cleared, and the
 * expansion bit set when `expand`. */
static inline void dulmoStatusSetup(int expand) {
    uint8_t v = ioIn8(DULMO_STATUS) & (uint8_t)~DULMO_STATUS_SETUP_BITS;
    ioOut8(DULMO_STATUS, expand ? (uint8_t)(v | DULMO_STATUS_EXPAND) : v);
}

void dulmoEngineIdleWait(void);
/* Wait for the engine when the last operation left it busy. */
static inline void dulmoWaitIfBusy(dulmoScreenPrivPtr p) {
    if (p->engineBusy)
        dulmoEngineIdleWait();
}
/* Before the processor touches the frame buffer. */
static inline void dulmoTakeFrameBuffer(dulmoScreenPrivPtr p) {
    if (p->engineBusy) {
        p->engineBusy = 0;
        dulmoEngineIdleWait();
    }
}
/* Unbounded wait for the operation in progress to end. */
static inline void dulmoWaitDone(void) {
    while (ioIn8(DULMO_STATUS) & DULMO_IN_PROGRESS)
        ;
}

extern const uint8_t alu_to_hwrop[16];

/* ---- Screen set-up and switch (dulmo.cpp) ---- */
Bool dulmoInitHW(ScreenPtr);
void dulmoSetGraphics(ScreenPtr);
Bool dulmoSetText(ScreenPtr);
void dulmoSaveDACState(ScreenPtr);
void dulmoRestoreDACState(ScreenPtr);
void dulmoRestoreColormap(ScreenPtr);
int dulmoBlankScreen(int on, ScreenPtr);
int dulmoValidateWindowGC(GCPtr, uint32_t changes, DrawablePtr);

/* ---- Blitter, lines, points, spans (dulmo_blit.cpp) ---- */
void dulmoZip(int width, int height, int x, int y);
void dulmoSquirt(uint32_t source, int height, int width, int x, int y);
void dulmoSpit(int x1, int y1, int x2, int y2);
void dulmoCopyRect(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void dulmoDrawSolidRects(BoxPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void dulmoDrawPoints(DDXPointPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void dulmoSolidZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                       int e1, int e2, int len);
void dulmoSolidFillSpans(GCPtr, DrawablePtr, DDXPointPtr, int *, int);

/* ---- Images and the banked window (dulmo_image.cpp) ---- */
void dulmoReadImage(BoxPtr, uint8_t *, int stride, DrawablePtr);
void dulmoDrawImage(BoxPtr, uint8_t *, int stride, int alu, uint32_t planemask, DrawablePtr);
void dulmoReadBankedImage(BoxPtr, uint8_t *, int stride, DrawablePtr);
void dulmoDrawBankedImage(BoxPtr, uint8_t *, int stride, int alu, uint32_t planemask, DrawablePtr);
void dulmoDrawBankedPoints(DDXPointPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);

/* ---- Mono images and glyphs (dulmo_glyph.cpp) ---- */
void dulmoDrawMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr);
void dulmoDrawOpaqueMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                              int alu, uint32_t planemask, DrawablePtr);
void dulmoUncachedDrawMonoGlyphs(MonoGlyphRec *, int, Pixel fg, int alu, uint32_t planemask,
                                 nfbFontPrivPtr, DrawablePtr);
void dulmoCachedDrawMonoGlyphs(MonoGlyphRec *, int, Pixel fg, int alu, uint32_t planemask,
                               nfbFontPrivPtr, DrawablePtr);
void dulmoGlyphCacheClearFont(nfbFontPrivPtr, ScreenPtr);
Bool dulmoInitGlyphCache(ScreenPtr);
void dulmoFreeGlyphCache(ScreenPtr);
void dulmoInvalidateGlyphCache(dulmoScreenPrivPtr);

/* ---- Cursor (dulmo_cursor.cpp) ---- */
void dulmoCursorInitialize(ScreenPtr);
void dulmoCursorOn(int on, ScreenPtr);

#endif
