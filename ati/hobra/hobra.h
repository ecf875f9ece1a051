/*
 * Private header of the hobra driver: IBM 8514/A-compatible accelerators at
 * depth 4 or 8, reached only through the engine's 16-bit I/O ports and the
 * palette DAC's byte ports. Names the engine's ports, bits and codes, the
 * waits, and the screen private with its off-screen layout.
 */
#ifndef HOBRA_H
#define HOBRA_H

#include "driver.h"

/* ---- Engine ports ---- */

#define HOBRA_SUBSYS_CNTL 0x42E8
#define HOBRA_STATUS 0x9AE8  /* read: engine status */
#define HOBRA_CMD 0x9AE8     /* write: command word */
#define HOBRA_STATUS2 0xDAE8 /* read: the same status, for the block routines */
#define HOBRA_CUR_Y 0xC2E8
#define HOBRA_CUR_X 0xC6E8
#define HOBRA_DEST_Y 0xCAE8 /* also the axial error increment of a line */
#define HOBRA_DEST_X 0xCEE8 /* also the diagonal error increment of a line */
#define HOBRA_ERR_TERM 0xD2E8
#define HOBRA_MAJ_AXIS 0xD6E8
#define HOBRA_BG_COLOUR 0xE2E8
#define HOBRA_PIX_TRANS 0xE2E8 /* the same port while a transfer takes data */
#define HOBRA_FG_COLOUR 0xE6E8
#define HOBRA_WRITE_MASK 0xEAE8
#define HOBRA_READ_MASK 0xEEE8
#define HOBRA_BG_MIX 0xF6E8
#define HOBRA_FG_MIX 0xFAE8
#define HOBRA_MULTI 0xFEE8 /* index in bits 12-15, value in bits 0-11 */

/* ATI extended scissors: left, top, right, bottom (inclusive), 12 bits. */
#define HOBRA_ATI_SCISSOR_LEFT 0xDAEE
#define HOBRA_ATI_SCISSOR_TOP 0xDEEE
#define HOBRA_ATI_SCISSOR_RIGHT 0xE2EE
#define HOBRA_ATI_SCISSOR_BOTTOM 0xE6EE

/* Subsystem control at engine start: reset, then normal operation. */
#define SUBSYS_RESET 0x9000
#define SUBSYS_NORMAL 0x400F

/* Status word: bit (8 - n) set while fewer than n FIFO entries are free. */
#define STATUS_BUSY 0x0200
#define STATUS_FIFO_EMPTY 0x0001 /* clear: all eight entries free */
#define HOBRA_FIFO_DEPTH 8

/* Multifunction indexes */
#define MULTI_HEIGHT 0x0000
#define MULTI_SCISSOR_TOP 0x1000
#define MULTI_SCISSOR_LEFT 0x2000
#define MULTI_SCISSOR_BOTTOM 0x3000
#define MULTI_SCISSOR_RIGHT 0x4000
#define MULTI_MEM_CNTL 0x5000
#define MULTI_INDEX_8 0x8000
#define MULTI_INDEX_9 0x9000
#define MULTI_VALUE_MASK 0x0FFF
#define MEM_CNTL_START 0x0006

/* Pixel control (multifunction index 0xA) */
#define PIXCNTL_FOREGROUND 0xA000  /* every pixel takes the foreground mix */
#define PIXCNTL_HOST_BITS 0xA080   /* across-plane host bits pick the mix */
#define PIXCNTL_MEMORY_BITS 0xA0C0 /* the read-mask plane of the screen picks */

/* Colour source of a mix, ORed with the mix code */
#define MIX_SRC_BACKGROUND 0x00
#define MIX_SRC_FOREGROUND 0x20
#define MIX_SRC_HOST 0x40
#define MIX_SRC_MEMORY 0x60

/* Command words */
#define CMD_BLIT 0xC0F3
#define CMD_X_INCREASING 0x0020
#define CMD_Y_INCREASING 0x0080
#define CMD_FILL 0x80B3
#define CMD_IMAGE_WRITE 0x53F1
#define CMD_IMAGE_READ 0x53F0
#define CMD_ACROSS_PLANE 0x53F3
#define CMD_STROKE 0x201B

/* Defaults at engine start */
#define MIX_START_FG 0x27 /* GXcopy of the foreground colour */
#define MIX_START_BG 0x07 /* GXcopy of the background colour */
#define ALL_PLANES 0xFF

/* Positions reach the engine as 11 bits, scissors as 12. */
#define POS_MASK 0x7FF

/* The DAC ports of the 8514/A. */
#define DEFAULT_PALWRITE 0x2EC
#define DEFAULT_PALREAD 0x2EB
#define DEFAULT_PALMASK 0x2EA
#define DEFAULT_PALDATA 0x2ED
#define DAC_ENTRIES 256

/* ---- Waits ---- */

static inline uint16_t hobraStatus(void) {
    return inw(HOBRA_STATUS);
}

/* Room for the next n (1 to 8) register writes: status bit (8 - n) clear. */
static inline void FifoSpaceWait(int n) {
    while (hobraStatus() & (0x100 >> n))
        ;
}

/* The FIFO empty and the engine done with its last operation. */
static inline void EngineIdleWait(void) {
    while (hobraStatus() & (STATUS_BUSY | STATUS_FIFO_EMPTY))
        ;
}

extern uint32_t hobraRasterOps[16];

/* ---- Screen private ---- */

typedef void (*hobraAPBlockOutProc)(uint8_t *bytes, int count);

typedef struct _hobraPendingGlyph {
    int32_t cellPos; /* cell x in the low 16 bits, y in the high 16 */
    BoxRec box;
    int32_t readMask;
} hobraPendingGlyph;

typedef struct _hobraRect {
    int32_t x, y, width, height;
} hobraRect;

typedef struct _hobraScreenPrivate {
    int32_t width, height;
    int32_t depth;
    int32_t dacShift; /* 16 - bitsPerRGBValue: 16-bit component to DAC value */
    uint8_t dacSave[3 * DAC_ENTRIES];
    hobraAPBlockOutProc apBlockOut;
    int16_t cursorMax;
    int16_t saveUnderSize;
    int16_t saveUnderX, saveUnderY;
    int32_t savedX, savedY, savedWidth, savedHeight;
    int16_t cursorBgX, cursorBgY;
    int16_t cursorFgX, cursorFgY;
    CursorPtr currentCursor;
    hobraRect planeArea;
    hobraRect tileArea;
    int32_t offscrX, offscrY, offscrWidth, offscrHeight;
    int32_t glClassTotal;
    void *glClasses;
    int32_t bucketCount;
    int32_t bucketGrowth;
    void *buckets;
    Pixel batchFg;
    uint8_t batchAlu;
    uint32_t batchPlanemask;
    int32_t pendingCapacity;
    int32_t pendingCount;
    hobraPendingGlyph *pending;
    GrafinfoHandle grafinfo;
    BoxRec fullClip;
    BoxRec clip;
    int32_t fontSlotCount;
    void *fontSlots;
    uint16_t palWrite, palRead, palData, palMask;
    int32_t waitBeforeData;
    int32_t blanked;
    int32_t atiClip; /* ATICLIPREG: this screen's windows clip through the ATI ports */
} hobraScreenPrivate, *hobraScreenPrivPtr;

extern int hobraScreenPrivateIndex;

#define HOBRA_PRIV(pScreen)                                                                        \
    ((hobraScreenPrivPtr)(pScreen)->devPrivates[hobraScreenPrivateIndex].ptr)

/* The grafinfo of the screen's ScreenConfig. */
static inline GrafinfoHandle hobraScreenGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Shared routines ---- */

/* hobra.cpp */
extern PrivOps hobraSolidPrivOps;
extern WinOps hobraWinOps;
extern VisualRec hobraVisual;
void hobraInitHW(ScreenPtr);
void hobraCloseScreen(int index, ScreenPtr);
void hobraValidateWindowPriv(WindowPtr);

/* hobra_engine.cpp */
void hobraBuildRasterOps(void);
void hobraSetClipRegions(BoxPtr boxes, int count, DrawablePtr);
void atiSetClipRegions(BoxPtr boxes, int count, DrawablePtr);
/* Off-screen stores lie outside every window's clip: the scissors open to
 * `fullClip` while one is written and take the window's clip back after. */
void hobraOpenScissors(hobraScreenPrivPtr priv, BoxRec *saved);
void hobraCloseScissors(hobraScreenPrivPtr priv, const BoxRec *saved);

/* hobra_palette.cpp */
void hobraSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr);
void hobraLoadColormap(ColormapPtr);
void hobraRestoreColormap(ScreenPtr);
int hobraBlankScreen(int on, ScreenPtr);
void hobraSetGraphics(ScreenPtr);
Bool hobraSetText(ScreenPtr);
void hobraSaveGState(ScreenPtr);
void hobraRestoreGState(ScreenPtr);
void hobraSaveDACState(ScreenPtr);
void hobraRestoreDACState(ScreenPtr);

/* hobra_image.cpp */
void hobraInitTransMorgrify(void);
void hobraBlockOutW(uint16_t *words, int count);
void hobraSlowBlockOutW(uint16_t *words, int count);
void hobraBlockInW(uint16_t *words, int count);
void hobraAPBlockOutW(uint8_t *bytes, int count);
void hobraSlowAPBlockOutW(uint8_t *bytes, int count);
void hobraDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr);
void hobraReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);

/* hobra_draw.cpp */
void hobraCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void hobraDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr);
void hobraBlamOutBox(int x, int y, int widthLess1, int heightLess1);
void hobraDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr);
void hobraSolidFS(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void hobraFillZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                      int e1, int e2, int len);
void hobraTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int repW, int alu, uint32_t planemask,
                              DrawablePtr);
void hobraTileAreaSlow(BoxPtr box, DDXPointPtr src, int repH, int repW, int alu, uint32_t planemask,
                       DrawablePtr);
void hobraTileRects(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                    int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);

/* hobra_planexp.cpp */
void hobraSetupCardForBlit(Pixel fg, int alu, uint32_t readMask, uint32_t planemask);
void hobraSetupCardForOpaqueBlit(Pixel fg, Pixel bg, int alu, uint32_t readMask,
                                 uint32_t planemask);
void hobraStretchBlit(DrawablePtr, DDXPointPtr src, BoxPtr dst);
void hobraResetCardFromBlit(void);

/* hobra_mono.cpp */
void hobraDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr);
void hobraDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr);

/* hobra_stipple.cpp */
void hobraStippledFillRects(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void hobraOpStippledFillRects(GCPtr, DrawablePtr, BoxPtr boxes, int count);

/* ---- glyph cache, text fonts, display cursor ---- */

/* Where a glyph lies in the cache: its plane's read mask (and, once added,
 * write mask) and its cell's corner (x low 16 bits, y high 16 bits). */
typedef struct _hobraGlyphPlace {
    int32_t readMask;
    int32_t writeMask;
    int32_t cellPos;
} hobraGlyphPlace;

/* hobra_glyph.cpp */
Bool hobraGlCacheInit(ScreenPtr);
void hobraGlCacheClose(ScreenPtr);
int hobraGlReadCacheEntry(ScreenPtr, nfbFontPrivPtr font, int32_t glyph, hobraGlyphPlace *out);
int hobraGlAddCacheEntry(ScreenPtr, nfbFontPrivPtr font, int32_t glyph, int width, int height,
                         hobraGlyphPlace *out);
void hobraGlDeleteCacheEntry(ScreenPtr, nfbFontPrivPtr font, int32_t glyph);
void hobraGlClearCache(nfbFontPrivPtr font, ScreenPtr);
void hobraGlFlushCache(ScreenPtr);
void hobraDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr);

/* hobra_text.cpp */
void hobraInitializeText8(ScreenPtr);
void hobraCloseText8(ScreenPtr);
void hobraDownloadFont8(uint8_t **glyphs, int count, int width, int height, int stride, int slot,
                        ScreenPtr);
void hobraDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr);

/* hobra_cursor.cpp */
Bool hobraDCInitialize(ScreenPtr);
void hobraQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr);

#endif
