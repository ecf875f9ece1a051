/*
 * Private header of the wexla driver: the Weitek first-generation
 * accelerator at one byte per pixel.
 *
 * The driver computes nothing of the mode: the grafinfo file gives every
 * CRTC, memory and control word, and the mode set writes them into the
 * chip's register window. The clock synthesiser takes ready-made serial
 * words; boards differ only in which port carries its two lines.
 */
#ifndef WEXLA_H
#define WEXLA_H

#include "driver.h"

/* ---- Chip registers: byte offsets from the register window, 32-bit ---- */

#define WEXLA_SYSCONFIG 0x100004 /* system configuration: the line length */
#define WEXLA_SYS_0C 0x10000C
#define WEXLA_HRZT 0x100108
#define WEXLA_HRZSR 0x10010C
#define WEXLA_HRZBR 0x100110
#define WEXLA_HRZBF 0x100114
#define WEXLA_HRZ_118 0x100118
#define WEXLA_VRTT 0x100120
#define WEXLA_VRTSR 0x100124
#define WEXLA_VRTBR 0x100128
#define WEXLA_VRTBF 0x10012C
#define WEXLA_VRT_130 0x100130
#define WEXLA_SRCTL 0x100138 /* screen repaint control */
#define WEXLA_MEMCONF 0x100184
#define WEXLA_MEM_188 0x100188
#define WEXLA_MEM_190 0x100190

/* Engine registers the mode set gives fixed values. */
#define WEXLA_ENG_190 0x180190
#define WEXLA_ENG_20C 0x18020C
#define WEXLA_ENG_210 0x180210
#define WEXLA_ENG_214 0x180214
#define WEXLA_CLIP_MIN 0x180220 /* x << 16 | y */
#define WEXLA_CLIP_MAX 0x180224 /* inclusive */

/* The drawing engine. Coordinates go in as x << 16 | y. */
#define WEXLA_STATUS 0x18C000
#define WEXLA_STATUS_BUSY 0x40000000u
#define WEXLA_BLIT_CMD 0x180004 /* read: starts the prepared copy */
#define WEXLA_QUAD_CMD 0x180008 /* read: starts the prepared fill */
#define WEXLA_FOREGROUND 0x180200
#define WEXLA_BACKGROUND 0x180204
#define WEXLA_PLANE_MASK 0x180208
#define WEXLA_RASTER 0x180218
#define WEXLA_DEV_X0 0x181008
#define WEXLA_DEV_X0Y0 0x181018
#define WEXLA_DEV_X1Y1 0x181058
#define WEXLA_DEV_X2 0x181088
#define WEXLA_DEV_X2Y2 0x181098
#define WEXLA_DEV_Y3 0x1810D0
#define WEXLA_DEV_X3Y3 0x1810D8
#define WEXLA_RECT_VERTEX 0x181318 /* written twice: two corners */
/* The 1-bit data port for rows of n bits, n = 1-32. */
#define WEXLA_MONO_DATA(n) (0x1F0080 + 4 * ((n)-1))

/* 1-bit expansion minterms: foreground where the bit is set, and the
 * destination (transparent) or the background (opaque) where clear. */
#define WEXLA_MINTERM_TRANSPARENT 0xEE22
#define WEXLA_MINTERM_OPAQUE 0xFC30

#define WEXLA_FRAME_OFFSET 0x200000
#define WEXLA_SRCTL_PICTURE 0x20 /* set: the picture is shown */

/* The values the mode set gives the registers the file does not name. */
#define WEXLA_SYS_0C_SETTING 0x80
#define WEXLA_MEM_188_SETTING 390
#define WEXLA_MEM_190_SETTING 250
#define WEXLA_ENG_20C_SETTING 10

/* ---- Clock synthesiser ports and lines ---- */

#define WEXLA_MISC_WRITE 0x3C2
#define WEXLA_MISC_READ 0x3CC
#define WEXLA_MISC_DATA 0x08
#define WEXLA_MISC_CLOCK 0x04

#define WEXLA_TULIP_PORT 0x7C88
#define WEXLA_TULIP_DATA 0x40
#define WEXLA_TULIP_CLOCK 0x80

#define WEXLA_OLIVE_PORT 0xF886
#define WEXLA_OLIVE_DATA 0x08
#define WEXLA_OLIVE_CLOCK 0x04
#define WEXLA_OLIVE_CONTROL 0xF887
#define WEXLA_OLIVE_ENABLE 0xFC84

/* Board variants, the grafinfo key OEM. */
#define WEXLA_OEM_OLIVE 1
#define WEXLA_OEM_TULIP 3

/* ---- Screen private ---- */

typedef struct _wexlaScreenPrivate {
    uint8_t *frameBuffer; /* registers + WEXLA_FRAME_OFFSET */
    uint8_t *registers;   /* the default memory area: the chip's window */
    int32_t pixBytes;
    uint32_t sysConfig;
    uint32_t hrzt, hrzsr, hrzbr, hrzbf, vrtt, vrtsr, vrtbr, vrtbf;
    uint32_t vclk;
    int32_t width, height;
    uint32_t memSpeed;
    int32_t pixelSize;
    int32_t memSize;
    BoxRec screenBox;
    BoxRec clipBox;
    int32_t ramWrite, palData;
    uint32_t srCtl;
    int32_t oem;
    int32_t offX, offY, offWidth, offHeight;
    /* What the last mode set found of its procedures: the name of the
     * first that is missing or failed, or null. */
    const char *failedProcedure;
} wexlaScreenPrivate, *wexlaScreenPrivPtr;

extern int wexlaScreenPrivateIndex;
#define WEXLA_PRIVATE(pScreen)                                                                     \
    ((wexlaScreenPrivPtr)((pScreen)->devPrivates[wexlaScreenPrivateIndex].ptr))

static inline void wexlaWrite(wexlaScreenPrivate *priv, uint32_t off, uint32_t v) {
    mmWrite32(priv->registers + off, v);
}

static inline uint32_t wexlaRead(wexlaScreenPrivate *priv, uint32_t off) {
    return mmRead32(priv->registers + off);
}

static inline GrafinfoHandle wexlaGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Frame, colormap and cursor (wexla.cpp, wexla_cmap.cpp) ---- */

extern PrivOps wexlaSolidPrivOps;
extern PrivOps wexlaTiledPrivOps;
extern PrivOps wexlaStippledPrivOps;
extern PrivOps wexlaOpStippledPrivOps;
extern WinOps wexlaWinOps;
extern PointerFuncs wexlaPointerFuncs;

void wexlaSetGraphics(ScreenPtr pScreen);
Bool wexlaSetText(ScreenPtr pScreen);
void wexlaSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr pScreen);
void wexlaRestoreColormap(ScreenPtr pScreen);
Bool wexlaCursorInitialize(ScreenPtr pScreen);
int wexlaValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw);
void wexlaValidateWindowPriv(WindowPtr pWin);
void writereg(uint32_t offset, uint32_t value, ScreenPtr pScreen);

/* ---- Drawing (wexla_engine.cpp, wexla_mono.cpp, wexla_tile.cpp) ---- */

/* Minterms by alu: fills (foreground as source) and copies (the screen as
 * source). GXinvert's entry is a marker the engine never gets. */
extern uint32_t wexlaFGRasterOps[16];
extern uint32_t wexlaFBRasterOps[16];
#define WEXLA_NO_MINTERM 0x1234
void wexlaBuildRasterOps(void);

/* The alu by its low byte; -1 past the sixteen functions (nothing drawn). */
static inline int wexlaAlu(int alu) {
    alu &= 0xFF;
    return alu <= GXset ? alu : -1;
}

/* Polls the status until the engine is idle; 0 (and a message) when it
 * never is. */
Bool EngineIdleWait(wexlaScreenPrivPtr priv);

void wexlaSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int n);
void wexlaSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                       int y1, int e, int e1, int e2, int len);
void wexlaCopyRect(BoxPtr box, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw);
void wexlaDrawSolidRects(BoxPtr boxes, int n, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr pDraw);
void wexlaDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw);
void wexlaReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw);
void wexlaDrawPoints(DDXPointPtr points, int n, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr pDraw);
void wexlaSetClipRegions(BoxPtr boxes, int n, DrawablePtr pDraw);

void wexlaDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw);
void wexlaDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw);
void wexlaDrawMonoGlyphs(MonoGlyphRec *glyphs, int n, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw);
void wexlaDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw);
void wexlagenDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr fontPriv, Pixel fg,
                          Pixel bg, int alu, uint32_t planemask, int transparent,
                          DrawablePtr pDraw);

void wexlaTileRects(BoxPtr boxes, int n, uint8_t *tile, int tileStride, int tw, int th,
                    DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw);
void wexlaTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                       uint32_t planemask, DrawablePtr pDraw);
void wexlaTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                              DrawablePtr pDraw);
void wexlaOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n);
void wexlaOpStippledFillAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                                 uint32_t planemask, DrawablePtr pDraw);
void wexlaOpStippledFillAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu,
                                        uint32_t planemask, DrawablePtr pDraw);

/* ---- Clock synthesiser (wexla_clock.cpp) ---- */

/* n x 1,000,000 passes of a busy loop. */
void wexlaDelay(int n);
void wexlaProgramICDesign(uint32_t word);
void wexlaProgramICDesignTulip(uint32_t word);
void wexlaProgramICDesignOlive(uint32_t word);
/* The pause and the port read and rewrite after a Tulip board's words. */
void wexlaTulipSettle(void);
/* The same protocol by direct port access with interrupts off; nothing in
 * the driver calls them. */
void wexlapr1(uint32_t word);
void wexlapr2(uint32_t word);
void wexlapr1Olive(uint32_t word);
void wexlapr2Olive(uint32_t word);

#endif
