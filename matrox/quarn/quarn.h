/*
 * The Matrox driver's screen private, its PCI access and what its sources
 * share. The chip layer (matrox/chiplayer) reaches the board only through
 * the client services here, which find this record through the board
 * handle's ulClientPrivate.
 */
#ifndef QUARN_H
#define QUARN_H

#include <stdint.h>

#include "hal_records.h"
#include "nfb.h"
#include "pcicfg.h"

#define QUARN_PCI_VENDOR 0x102B

/* The values the loaded engine set-up was made with. */
enum {
    QUARN_SHADOW_ALU,
    QUARN_SHADOW_PLANEMASK,
    QUARN_SHADOW_FG,
    QUARN_SHADOW_BG,
    QUARN_SHADOW_TRANSPARENT,
    QUARN_SHADOWS
};

typedef struct _quarnFontSlot {
    int32_t stride; /* bytes per glyph row */
    int32_t offset; /* in video memory */
} quarnFontSlot;

typedef struct _quarnScreenPrivate {
    uint8_t *regs; /* the control-register window (the default area) */
    uint8_t *fb;   /* the frame buffer ("FBM") */
    int32_t pitch; /* pixels */
    int32_t lineBytes;
    int32_t width; /* as drawn: 832 for an 800-pixel screen at depth 8 */
    int32_t height;
    int32_t depth; /* bits per pixel: 8, 16 or 32 */
    int32_t bytesPerPixel;
    PciLocation pciLocation;
    int32_t engineState; /* the loaded engine set-up, 0 none */
    int32_t shadow[QUARN_SHADOWS];
    int32_t requestedWidth; /* PIXWIDTH */
    int32_t memorySize;
    uint32_t modeSet;
    int32_t drawOrigin; /* pixels */
    int32_t freeMemory;
    int32_t clip[4]; /* left, right, top and bottom line addresses */
    int32_t cursor[4];
    uint32_t dactype; /* 0 external DAC, 1 integrated */
    quarnFontSlot fontSlot[2];
    int32_t pciFd; /* the PCI configuration device, -1 when not open */
    BoardHandle *board;
    /* The legacy video BIOS image (grafinfo area "BIOS"), null without one. */
    uint8_t *legacyBios;
} quarnScreenPrivate;

#define QUARN_LEGACY_BIOS_BYTES 0x10000

/* Register window offsets (VGA port P at 0x1C00 + P). */
#define QUARN_PIXEL_WIDTH 0x1C04
#define QUARN_PLANE_MASK 0x1C1C
#define QUARN_ENGINE_PITCH 0x1C8C
#define QUARN_DRAW_ORIGIN 0x1C94
#define QUARN_STATUS 0x1E14
#define QUARN_MEMORY_CONTROL 0x1E1C
#define QUARN_MISC_WRITE 0x1FC2
#define QUARN_SEQ_INDEX 0x1FC4
#define QUARN_SEQ_DATA 0x1FC5
#define QUARN_CRTC_INDEX 0x1FD4
#define QUARN_CRTC_DATA 0x1FD5
#define QUARN_CRTCEXT_INDEX 0x1FDE
#define QUARN_CRTCEXT_DATA 0x1FDF
#define QUARN_PALETTE_WRITE 0x3C00
#define QUARN_PALETTE_DATA 0x3C01
#define QUARN_PALETTE_READ 0x3C03
#define QUARN_DAC_DATA 0x3C0A
#define QUARN_STATUS_BUSY 0x10000u

/* Off-screen memory below the end: two text-font slots. */
#define QUARN_FONT_AREA 0x11800
#define QUARN_FONT_SLOT 0x8C00

/* One record of the built-in mode table, in a setup file's layout. */
typedef struct _VidsetMode {
    int16_t index; /* -1 ends the table */
    int16_t depth;
    uint32_t pixelClock; /* kHz */
    int16_t HVisible;
    int16_t HFrontPorch;
    int16_t HSync;
    int16_t HBackPorch;
    int16_t spare16;
    int16_t VVisible;
    int16_t VFrontPorch;
    int16_t VSync;
    int16_t VBackPorch;
    int16_t spare26;
    int16_t spare28;
    int16_t InterlaceEnable;
    int16_t HSyncPol;
    int16_t VSyncPol;
    int16_t spare[32];
} VidsetMode;

#define QUARN_VIDSET_HEADER 140
#define QUARN_VIDSET_RECORDS 24

typedef struct _QuarnVidset {
    char header[QUARN_VIDSET_HEADER]; /* title and monitor description */
    VidsetMode modes[QUARN_VIDSET_RECORDS];
} QuarnVidset;

#ifdef __cplusplus
static_assert(sizeof(VidsetMode) == 100, "a mode record is 100 bytes");
static_assert(sizeof(QuarnVidset) == 140 + 24 * 100, "the table's header and 24 records");
#endif

#define QUARN_PRIV(pScreen)                                                                        \
    ((quarnScreenPrivate *)(pScreen)->devPrivates[quarnScreenPrivateIndex].ptr)

#ifdef __cplusplus
extern "C" {
#endif

extern int quarnScreenPrivateIndex;
extern int quarnGeneration;
extern int mga_status, mga_mask, mga_board;
extern VgaInfo vgainfo;
extern ModeInfo gModeInfo;
extern VidsetMode vparm;
extern QuarnVidset quarnDefaultVidset;

/* Screen initialisation (quarn_init.cpp). */
Bool quarnProbe(int unused, ScreenConfig *config);
Bool quarnInit(int index, ScreenPtr pScreen, int argc, char **argv);
void quarnFreeScreen(int index, ScreenPtr pScreen);
void quarnValidateWindowPriv(WindowPtr pWin);
int quarnCountMem(quarnScreenPrivate *priv);

/* Modes (quarn_mode.cpp). */
Bool quarnInitHW(ScreenPtr pScreen);
void quarnmake_vid(const VidsetMode *record);
void QUARNVidInit(int unused, quarnScreenPrivate *priv);
/* 0 when the record's totals leave no rate to compute (the mode is refused). */
int quarnConvertToModeInfo(const VidsetMode *record, const void *timing, ModeInfo *mode);
uint32_t __test(BoardHandle *pBoard, uint32_t value);
void quarnErrorFBoardHandle(BoardHandle *pBoard);
void quarnErrorFHSLData(HSLData *pData);
void quarnErrorFModeInfo(ModeInfo *pMode);
void quarnErrorFSysClockInfo(SysClockInfo *pClock);
void trace(const char *text);

/* The engine frame, solid operations and colormap (quarn_solid.cpp). */
extern const uint32_t quarnALU[16];
void MGA_WAIT(quarnScreenPrivate *priv, uint32_t count);
void quarnWaitIdle(quarnScreenPrivate *priv);
uint32_t PixelReplicate(const quarnScreenPrivate *priv, uint32_t value);
void quarnNormalSetup(const quarnScreenPrivate *priv, uint32_t *a, uint32_t *b, uint32_t *c);
bool quarnPlaneMaskRule(const quarnScreenPrivate *priv);
bool GenericFallback(const quarnScreenPrivate *priv, uint32_t planemask);
bool quarnNeedsSetup(quarnScreenPrivate *priv, int state, const int32_t values[QUARN_SHADOWS],
                     unsigned used);
enum {
    QUARN_USES_ALU = 1,
    QUARN_USES_PLANEMASK = 2,
    QUARN_USES_FG = 4,
    QUARN_USES_BG = 8,
    QUARN_USES_TRANSPARENT = 16
};
void quarnClip(quarnScreenPrivate *priv, const BoxRec *boxes, int count);
void quarnSetClipRegions(BoxPtr boxes, int count, DrawablePtr pDraw);
int quarnValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw);
void quarnSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count);
void quarnSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count);
void quarnDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw);
void quarnDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw);
void quarnCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw);
void quarnDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw);
void quarnReadImage(BoxPtr box, uint8_t *out, int stride, DrawablePtr pDraw);
void quarnDrawImageRaw_8bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                            DrawablePtr pDraw);
void quarnDrawImageRaw_16bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw);
void quarnDrawImageRaw_32bpp(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                             DrawablePtr pDraw);

/* 1-bit drawing and text (quarn_text.cpp). */
void quarnPutMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                       int alu, uint32_t planemask, DrawablePtr pDraw, int transparent);
void quarnDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw);
void quarnDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw);
void quarnDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw);
void quarnDownloadFont8(uint8_t **glyphs, int count, int width, int height, int stride, int slot,
                        ScreenPtr pScreen);
void quarnDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw);

/* The cursor (quarn_cursor.cpp). */
extern PointerFuncs quarnPointerFuncs;
void quarnCursorInitialize(ScreenPtr pScreen);
Bool quarnRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor);
Bool quarnUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor);
void quarnSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y);
void quarnMoveCursor(ScreenPtr pScreen, int x, int y);
void quarnRecolorCursor(ScreenPtr pScreen, CursorPtr pCursor, Bool displayed);
void quarnCursorOn(int on, ScreenPtr pScreen);
void quarnRestoreCursor(void);
void quarnSetSpritePos(uint8_t *dac, uint32_t dactype, int x, int y, int hotX, int hotY);
void quarnSetSpriteColor(uint8_t *dac, uint32_t dactype, uint16_t fr, uint16_t fgr, uint16_t fb,
                         uint16_t br, uint16_t bgr, uint16_t bb);
void quarnEnableSprite(uint8_t *dac, uint32_t dactype, int on);
void quarnLoadSprite(quarnScreenPrivate *priv, const uint8_t *image);

/* Stipples and segments (quarn_stipple.cpp). */
int quarnLoadStipple(uint8_t *engine, int w, int h, int stride, const uint8_t *bits);
void quarnStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count);
void quarnOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int count);
void quarnStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count);
void quarnOpStippledFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int count);
void quarnSolidZeroSegs(GCPtr pGC, DrawablePtr pDraw, ZeroSegRec *segs, int count);
void quarnSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen);
void quarnLoadColormap(ColormapPtr cmap);
extern PrivOps quarnSolidPrivOps, quarnTiledPrivOps, quarnStippledPrivOps, quarnOpStippledPrivOps;
extern WinOps quarnWinOps;

/* Console switch, blanking and pauses (quarn_switch.cpp). */
Bool quarnSetText(ScreenPtr pScreen);
void quarnSetGraphics(ScreenPtr pScreen);
void quarnSaveGState(ScreenPtr pScreen);
void quarnRestoreGState(ScreenPtr pScreen);
int quarnBlankScreen(int on, ScreenPtr pScreen);
uint32_t quarnDelay(uint32_t ticks);
void quarnoutMGA1064(uint8_t index, uint8_t value);
/* The register window quarnoutMGA1064 writes: the last screen initialised. */
extern uint8_t *quarnMGA1064Window;

/* 0 when a VGA-class function with this identity was found (its location
 * is kept in the private), -1 otherwise. */
int QUARN_PCI_Find_Board(uint32_t vendor, uint32_t device, quarnScreenPrivate *priv);
/* 1 and the value read, or -1 (result untouched). */
int QUARN_PCI_Read_Config(uint32_t reg, uint32_t size, uint32_t *result, quarnScreenPrivate *priv);
/* 1, or -1. */
int QUARN_PCI_Write_Config(uint32_t reg, uint32_t size, const uint32_t *value,
                           quarnScreenPrivate *priv);

#ifdef __cplusplus
}
#endif

#endif
