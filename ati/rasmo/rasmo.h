/*
 * Private header of the rasmo driver: the ATI Mach32 at 8 or 16 bits per
 * pixel, everything through I/O ports (the 8514/A-compatible engine
 * registers and the Mach32's extended registers); video memory is reached by
 * the engine only.
 *
 * It names the ports and the values the driver writes, declares the screen
 * private and the routines the source files share.
 */
#ifndef RASMO_H
#define RASMO_H

#include "driver.h"
#include "gcops.h"

/* ---- Ports (16-bit unless marked) ---- */

#define DAC_MASK 0x02EA     /* 8-bit */
#define DAC_W_INDEX 0x02EC  /* 8-bit */
#define DAC_DATA 0x02ED     /* 8-bit: red, green, blue in turn */
#define MEM_INFO 0x36EE     /* read: memory size in bits 2-3 */
#define MEM_BOUNDARY 0x42EE /* 8-bit */
#define SUBSYS_CNTL 0x42E8
#define GE_STAT 0x9AE8   /* read: engine status */
#define FIFO_STAT 0x9AEE /* read: one bit per queued FIFO entry */
#define SRC_X_START 0xB2EE
#define SRC_X_END 0xBEEE
#define SCISSOR_LEFT 0xDAEE
#define SCISSOR_TOP 0xDEEE
#define SCISSOR_RIGHT 0xE2EE  /* inclusive */
#define SCISSOR_BOTTOM 0xE6EE /* inclusive */
#define ENGINE_CLEAR 0xEEEE

/* Engine registers of the drawing routines. */
#define CUR_Y 0x82E8
#define CUR_X 0x86E8
#define SRC_Y 0x8AE8 /* source y of copies */
#define SRC_X 0x8EE8 /* source x of copies */
#define BKGD_COLOR 0xA2E8
#define FRGD_COLOR 0xA6E8
#define WRT_MASK 0xAAE8
#define RD_MASK 0xAEE8
#define PIX_TRANS 0xE2E8   /* 16-bit transfers */
#define PIX_TRANS_8 0xE2E9 /* 8-bit transfers */
#define PATT_DATA_INDEX 0x82EE
#define PATT_DATA 0x8EEE
#define RUN_LENGTH 0x96EE /* writing it draws the run */
#define LINE_OPTIONS 0xA2EE
#define DEST_X_START 0xA6EE
#define DEST_X_END 0xAAEE /* exclusive */
#define DEST_Y_END 0xAEEE /* exclusive; writing it starts the rectangle */
#define BKGD_MIX 0xB6EE
#define FRGD_MIX 0xBAEE
#define SRC_Y_DIR 0xC2EE
#define DATA_PATH 0xCEEE
#define PATT_LENGTH 0xD2EE
#define PATT_INDEX 0xD6EE

/* Data-path configurations (DATA_PATH). */
#define DP_SOLID 0x2011        /* the foreground colour */
#define DP_MONO_PATTERN 0x2031 /* fg or bg by the monochrome pattern */
#define DP_HOST_BITS_8 0x2051  /* fg or bg by host bits, 8-bit transfers */
#define DP_HOST_BITS_16 0x3251 /* fg or bg by host bits, 16-bit transfers */
#define DP_PLANE 0x2071        /* fg or bg by one plane of video memory */
#define DP_HOST_PIX_8 0x4011
#define DP_HOST_PIX_16 0x5211
#define DP_READ_8 0x4010
#define DP_READ_16 0x5210
#define DP_COPY 0x6011
#define DP_COLOUR_PATTERN 0xA011 /* the colour pattern registers */

#define LINE_OPTIONS_RUN 12 /* plain rightward runs, end pixel not drawn */
#define PATT_INDEX_MONO 16  /* PATT_DATA_INDEX of the monochrome pattern */
#define PATT_INDEX_COLOUR 0 /* PATT_DATA_INDEX of the colour pattern words */
#define SRC_Y_DOWN 1
#define SRC_Y_UP 0
#define GE_DATA_READY 0x0100
#define DATA_READY_LIMIT 0x1000000 /* status reads before a read goes on */
#define DATA_BATCH 8               /* transfers per FIFO wait */

/* The 8514-style copy: width and height less one, from the current position
 * to the destination, which the extended copies take as their source. */
#define COPY_DEST_X 0x8EE8
#define COPY_DEST_Y 0x8AE8
#define MAJ_AXIS_PCNT 0x96E8
#define MULTI_HEIGHT 0xBEE8 /* index 0 of the multifunction register */
#define CMD 0x9AE8
#define CMD_COPY 0xC0B1 /* left to right, top to bottom */

/* The hardware cursor (board registers, outside the FIFO). */
#define CURSOR_ADDR_LO 0x0AEE /* image address in 4-byte units, bits 0-15 */
#define CURSOR_ADDR_HI 0x0EEE /* 8-bit: bits 16 and up */
#define CURSOR_ENABLE 0x0EEF  /* 8-bit */
#define CURSOR_X 0x12EE
#define CURSOR_Y 0x16EE
#define CURSOR_COLOURS 0x1AEE  /* depth 8: bg index low, fg index high */
#define CURSOR_H_OFFSET 0x1EEE /* 16-bit write: its high byte is overwritten */
#define CURSOR_V_OFFSET 0x1EEF /* 16-bit write at the odd port */
#define CURSOR_COLOUR0 0x3AEE  /* depth 16: red high, green low */
#define CURSOR_COLOUR1 0x3EEE
#define CURSOR_ON 0x80

/* Memory size: 512 KB shifted left by the two-bit code. */
#define MEM_INFO_SHIFT 2
#define MEM_INFO_CODE 3
#define MEM_UNIT 0x80000u

/* Engine control (SUBSYS_CNTL) and status (GE_STAT). */
#define SUBSYS_RESET 0x8000
#define SUBSYS_RUN 0x400F /* run, every status bit cleared */
#define SUBSYS_CLEAR_STATUS 0x0004
#define GE_BUSY 0x0200
#define ENGINE_IDLE_LIMIT 0x100000 /* status reads before a wait gives up */
#define FIFO_ENTRIES 16

/* The hardware clip with no clip: the engine's whole coordinate space. */
#define CLIP_LIMIT 2048

/* DAC: 6-bit components from the server's 16-bit ones. */
#define DAC_SHIFT 10
#define DAC_ALL_PLANES 0xFF
#define DIRECT_COLOR 5 /* visual class */

/* ---- Memory layout ---- */

#define PITCH_ALIGN 128        /* bytes */
#define MAX_LINES 1536         /* lines of video memory the engine reaches */
#define CURSOR_AREA_BYTES 1024 /* 64 lines of 16 bytes: 64 x 64 at 2 bits */
#define FONT_AREA_BYTES 25600  /* 128 cells of 200 pixels at depth 8 */
#define TILE_AREA_MIN 32       /* lines below (or columns beside) the screen */
#define DEFAULT_MONITOR_MM 300

/* ---- The screen private ---- */

#define RASMO_IN_GRAPHICS 0x2u /* the mode is set, the engine initialised */
#define RASMO_SW_CURSOR 0x4u   /* the software cursor is in use */

typedef struct _rasmoFontSlot {
    unsigned int planeMask;
    void *cells;
} rasmoFontSlot;

typedef struct _rasmoScreenPrivate {
    int32_t pitchBytes; /* PIXWIDTH x bytes per pixel, rounded up to 128 */
    int32_t pitch;      /* pixels per line */
    int32_t pixelShift; /* log2 of bytes per pixel */
    uint32_t flags;
    int32_t cursorOffset; /* byte offset of the CursorArea */
    int16_t cursorX, cursorY;
    uint8_t cursorMaxWidth, cursorMaxHeight;
    uint8_t spriteHotX, spriteHotY, spriteXOffset, spriteYOffset;
    int32_t fontOffset; /* byte offset of the FontArea; 0: none */
    int16_t fontX, fontY;
    void *fontCells;
    rasmoFontSlot fontSlots[4];
    int32_t offscreenWidth, offscreenHeight; /* the TileArea */
    int16_t offscreenX, offscreenY;
    int16_t clipX1, clipY1, clipX2, clipY2; /* x2 and y2 exclusive */
} rasmoScreenPrivate, *rasmoScreenPrivPtr;

extern int rasmoScreenPrivateIndex;
extern int rasmoGeneration;

#define RASMO_PRIV(pScreen)                                                                        \
    ((rasmoScreenPrivPtr)(pScreen)->devPrivates[rasmoScreenPrivateIndex].ptr)

/* ---- rasmo.cpp: binding, start-up, memory layout ---- */

Bool rasmoInitMem(rasmoScreenPrivPtr priv, int width, int height, int depth);
uint32_t rasmoSizeMem(void);
Bool rasmoInitHW(ScreenPtr pScreen);
void rasmoRestoreMem(ScreenPtr pScreen);

/* ---- rasmo_engine.cpp: engine access, clip, palette, console switch ---- */

extern const uint16_t rasmoRasterOp[16];
void rasmoFifoSpaceWait(int entries);
void rasmoEngineIdleWait(void);
void rasmoInitCop(ScreenPtr pScreen);
void rasmoStopCop(ScreenPtr pScreen);
void rasmoSaveCop(ScreenPtr pScreen);
void rasmoRestoreCop(ScreenPtr pScreen);

void rasmoSetClip(BoxPtr boxes, int count, DrawablePtr pDraw);
void rasmoInitClip(ScreenPtr pScreen);
void rasmoRestoreClip(ScreenPtr pScreen);

void rasmoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen);
void rasmoLoadColormap(ColormapPtr pmap);
void rasmoBlankColormap(ScreenPtr pScreen);
void rasmoRestoreColormap(ScreenPtr pScreen);
int rasmoBlankScreen(int on, ScreenPtr pScreen);

Bool rasmoSetMode(ScreenPtr pScreen);
void rasmoSetGraphics(ScreenPtr pScreen);
Bool rasmoSetText(ScreenPtr pScreen);
void rasmoSaveGState(ScreenPtr pScreen);
void rasmoRestoreGState(ScreenPtr pScreen);

/* ---- rasmo_gc.cpp: operation records, GC and window validation ---- */

extern PrivOps rasmoSolidPrivOps;
extern PrivOps rasmoTiledPrivOps;
extern PrivOps rasmoStippledPrivOps;
extern PrivOps rasmoOpStippledPrivOps;
extern WinOps rasmoWinOps8;
extern WinOps rasmoWinOps16;
extern const GCOps rasmoCommonOps;

/* Bits of the GC-ops cache key. */
#define KEY_FILL_STYLE 0x03
#define KEY_SOLID_LINE 0x04
#define KEY_THIN 0x08
#define KEY_TEXT8 0x10
#define KEY_ONE_BOX 0x20
#define GCOPS_CACHE_SIZE 64

/* GC changes that can change the key or the composite clip. */
#define GC_LINE_WIDTH 0x10u
#define GC_LINE_STYLE 0x20u
#define GC_FILL_STYLE 0x100u
#define GC_FONT 0x4000u
#define GC_SUBWINDOW_MODE 0x8000u
#define GC_CLIP_X_ORIGIN 0x20000u
#define GC_CLIP_Y_ORIGIN 0x40000u
#define GC_CLIP_MASK 0x80000u
#define GC_OPS_CHANGES                                                                             \
    (GC_LINE_WIDTH | GC_LINE_STYLE | GC_FILL_STYLE | GC_FONT | GC_SUBWINDOW_MODE |                 \
     GC_CLIP_X_ORIGIN | GC_CLIP_Y_ORIGIN | GC_CLIP_MASK)
#define SERIAL_MASK 0x7FFFFFFFu

int rasmoValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw);
void rasmoValidateWindowPriv(WindowPtr pWin);
int rasmoGetGCOpsCacheIndex(GCPtr pGC);
GCOps *rasmoNewGCOps(int key);
void rasmoGCOpsCacheInit(void);
void rasmoGCOpsCacheReset(void);

/* ---- rasmo_ops.cpp: the drawing routines the records hold ---- */

void rasmoSolidFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void rasmoSolidFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void rasmoSolidZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                       int e1, int e2, int len);
void rasmoStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void rasmoOpStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int);

void rasmoCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void rasmoDrawSolidRects(BoxPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void rasmoDrawMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr);
void rasmoDrawOpaqueMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                              int alu, uint32_t planemask, DrawablePtr);
void rasmoDrawPoints(DDXPointPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void rasmoTileRects8(BoxPtr, int, uint8_t *tile, int tileStride, int tileWidth, int tileHeight,
                     DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void rasmoTileRects16(BoxPtr, int, uint8_t *tile, int tileStride, int tileWidth, int tileHeight,
                      DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void rasmoDrawMonoGlyphs(MonoGlyphRec *, int, Pixel fg, int alu, uint32_t planemask, nfbFontPrivPtr,
                         DrawablePtr);

/* ---- rasmo_image.cpp: images, monochrome images and glyphs ---- */

void rasmoDrawImage8(BoxPtr, uint8_t *, int stride, int alu, uint32_t planemask, DrawablePtr);
void rasmoDrawImage16(BoxPtr, uint8_t *, int stride, int alu, uint32_t planemask, DrawablePtr);
void rasmoReadImage8(BoxPtr, uint8_t *, int stride, DrawablePtr);
void rasmoReadImage16(BoxPtr, uint8_t *, int stride, DrawablePtr);

/* ---- rasmo_cursor.cpp: hardware cursor and best sizes ---- */

#define CURSOR_SIZE 64
#define CURSOR_ROW_BYTES 16 /* a sprite row: 64 pixels of 2 bits */

void rasmoCursorInitialize(ScreenPtr pScreen);
void rasmoEnableCursor(int on);
void rasmoClearSpriteArea(ScreenPtr pScreen);
void rasmoLoadSprite(ScreenPtr pScreen, const uint8_t *image);
void rasmoSetSpriteColor(ScreenPtr pScreen, CursorPtr pCursor);
void rasmoRecolorCursor(ScreenPtr pScreen, CursorPtr pCursor, Bool displayed);
void rasmoRestoreCursor(ScreenPtr pScreen);
void rasmoQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr pScreen);

/* Off-screen stores (the sprite area, the font cells) must not be cut by a
 * window's clip: the scissors open over the whole engine space and the
 * stored clip comes back afterwards.
 * rasmoOpenClip returns 0 when there was no clip to lift. */
Bool rasmoOpenClip(ScreenPtr pScreen, BoxRec *saved);
void rasmoCloseClip(ScreenPtr pScreen, const BoxRec *saved);

/* ---- rasmo_text.cpp: 8-bit text fonts in bit planes ---- */

#define FONT_SLOTS 4
#define FONT_CELL_WIDTH 10
#define FONT_CELL_HEIGHT 20
#define FONT_CELL_PIXELS (FONT_CELL_WIDTH * FONT_CELL_HEIGHT)
#define FONT_CELLS_PER_AREA 64

Bool rasmoInitTE8(ScreenPtr pScreen);
void rasmoFreeTE8(ScreenPtr pScreen);
void rasmoDownloadFont8(uint8_t **glyphs, int count, int width, int height, int stride, int slot,
                        ScreenPtr pScreen);
void rasmoDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw);

void rasmoFillSpans(DrawablePtr, GCPtr, int nspans, DDXPointPtr starts, int *widths, int sorted);
void rasmoPolyPoint(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void rasmoLineSS(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void rasmoLineSD(DrawablePtr, GCPtr, int mode, int npt, DDXPointPtr points);
void rasmoSegmentSS(DrawablePtr, GCPtr, int nseg, xSegment *segs);
void rasmoSegmentSD(DrawablePtr, GCPtr, int nseg, xSegment *segs);
void rasmoRectangleSS(DrawablePtr, GCPtr, int nrects, xRectangle *rects);
void rasmoRectangleSD(DrawablePtr, GCPtr, int nrects, xRectangle *rects);

#endif
