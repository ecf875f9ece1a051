/*
 * Private header of the zandel driver: the Weitek second-generation
 * accelerator on PCI or on the VL bus, at 1, 2 or 4 bytes per pixel.
 *
 * The chip's configuration registers (native mode, the clock synthesiser's
 * serial lines) are bytes of its PCI configuration space. On PCI they are
 * reached through the system's configuration device; a VL-bus board answers
 * the same byte indices at an index and a data port. Which of the two serves
 * a screen is chosen once per screen and kept as a table of four functions
 * in its private.
 */
#ifndef ZANDEL_H
#define ZANDEL_H

#include "driver.h"
#include "pcicfg.h"

/* ---- Configuration space ---- */

#define ZANDEL_VENDOR_ID 0x100E
#define ZANDEL_DEVICE_ID 0x9100

/* VL-bus configuration ports, 8-bit accesses: the register's byte index to
 * the index port, then its byte at the data port. */
#define ZANDEL_VLB_INDEX 0x9100
#define ZANDEL_VLB_DATA 0x9104

#define ZANDEL_CFG_MODE 0x41  /* bit 1 clear: native mode */
#define ZANDEL_CFG_CLOCK 0x42 /* the clock synthesiser's serial lines */
#define ZANDEL_MODE_NOT_NATIVE 0x02

/* The PCI side's one handle for the whole process: the device's descriptor
 * (-1 while not open) and where the board sits. */
typedef struct _ZandelPciHandle {
    int fd;
    PciLocation location;
} ZandelPciHandle;

typedef void *(*ZandelCfgOpenProc)(int device, int vendor, int index);
typedef void (*ZandelCfgCloseProc)(void *handle);
typedef int (*ZandelCfgWriteProc)(void *handle, int reg, int value);
typedef int (*ZandelCfgReadProc)(void *handle, int reg, uint8_t *out);

/* ---- Chip registers: byte offsets from the register window, 32-bit ---- */

#define ZANDEL_SYSCONFIG 0x004 /* pixel size and line length; bits 0-2 the revision */
#define ZANDEL_INTERRUPT_EN 0x008
#define ZANDEL_PREFETCH 0x00C
#define ZANDEL_HRZT 0x108
#define ZANDEL_HRZSR 0x10C
#define ZANDEL_HRZBR 0x110
#define ZANDEL_HRZBF 0x114
#define ZANDEL_HRZIPT 0x118
#define ZANDEL_VRTT 0x120
#define ZANDEL_VRTSR 0x124
#define ZANDEL_VRTBR 0x128
#define ZANDEL_VRTBF 0x12C
#define ZANDEL_VRTIPT 0x130
#define ZANDEL_SRTCTL 0x138  /* screen repaint timing control */
#define ZANDEL_SRTCTL2 0x140 /* sync polarities */
#define ZANDEL_MEMCONF 0x184
#define ZANDEL_RFPERIOD 0x188
#define ZANDEL_RLMAX 0x190
#define ZANDEL_POWERUP 0x198 /* strapping, read only */
#define ZANDEL_DAC(k) (0x200 + 4 * (k))

#define ZANDEL_SRTCTL_PICTURE 0x20 /* picture on */
#define ZANDEL_MEMCONF_SKEW_SHIFT 27
#define ZANDEL_MEMCONF_PROBE 0x114A48BD

/* Power-up word: bit 3 half memory, bit 4 narrow banks, bits 5-7 clock
 * type, bits 12-15 RAMDAC type (any set: a 64-bit memory bus). */
#define ZANDEL_PU_HALF 0x08
#define ZANDEL_PU_NARROW 0x10
#define ZANDEL_PU_CLOCK_SHIFT 5
#define ZANDEL_PU_RAMDAC_SHIFT 12

/* Drawing-engine registers the mode set gives their defaults. */
#define ZANDEL_PLANE_MASK 0x2208
#define ZANDEL_DRAW_MODE 0x220C
#define ZANDEL_PATTERN_ORIGIN 0x2190
#define ZANDEL_PAT_ORIGIN_X 0x2210
#define ZANDEL_PAT_ORIGIN_Y 0x2214

/* Drawing engine: status and command reads, parameters, coordinates and
 * data ports. */
#define ZANDEL_STATUS 0x2000
#define ZANDEL_BLIT_CMD 0x2004
#define ZANDEL_QUAD_CMD 0x2008
#define ZANDEL_STATUS_BUSY 0x40000000u
#define ZANDEL_STATUS_NO_CMD 0x80000000u
#define ZANDEL_RASTER 0x2218
#define ZANDEL_CLIP_MIN 0x2220
#define ZANDEL_CLIP_MAX 0x2224
#define ZANDEL_PATTERN(i) (0x2280 + 4 * (i))
#define ZANDEL_BYTE_CLIP_MIN 0x22A0
#define ZANDEL_BYTE_CLIP_MAX 0x22A4
#define ZANDEL_DEV_X0 0x3008
#define ZANDEL_DEV_X0Y0 0x3018
#define ZANDEL_DEV_X1Y1 0x3058
#define ZANDEL_DEV_X2 0x3088
#define ZANDEL_DEV_X2Y2 0x3098
#define ZANDEL_DEV_Y3 0x30D0
#define ZANDEL_DEV_X3Y3 0x30D8
#define ZANDEL_POINT_X 0x3208
#define ZANDEL_POINT_Y 0x3210
#define ZANDEL_LINE_X 0x3248
#define ZANDEL_LINE_Y 0x3250
#define ZANDEL_RECT_X 0x3308
#define ZANDEL_RECT_Y 0x3310
#define ZANDEL_COLOR0 0x62200
#define ZANDEL_COLOR1 0x62204
#define ZANDEL_IMAGE_DATA 0x6200C
#define ZANDEL_MONO_DATA(n) (0x72080 + 4 * ((n)-1)) /* one row of n bits */

/* Raster bits beside the ROP3 code: points, spans and lines carry 0x10000;
 * clear bits of a 1-bit transfer leave the screen alone under 0x8000. */
#define ZANDEL_RASTER_QUAD_LINE 0x10000
#define ZANDEL_RASTER_TRANSPARENT 0x8000

/* RAMDAC types */
#define ZANDEL_DAC_BT485 0
#define ZANDEL_DAC_BT485_1 1
#define ZANDEL_DAC_RGB511 4
#define ZANDEL_DAC_RGB525 8
#define ZANDEL_DAC_BT485_16 16

/* Clock synthesiser register selects, bits 21-23 of a serial word. */
#define ICD_SELECT_PIXEL 0x400000
#define ICD_SELECT_MEMORY 0x600000
#define ICD_SELECT_CONTROL 0xC00000

/* ---- Screen private ---- */

typedef struct _ZandelOffScreen {
    int32_t x, y, width, height;
} ZandelOffScreen;

typedef struct _zandelScreenPrivate {
    uint8_t *frameBuffer; /* registers + memOffset */
    uint8_t *registers;   /* the default memory area: the chip's register window */
    int32_t pixBytes;
    uint32_t sysConfig;
    int32_t revision;
    int32_t hrzt, hrzsr, hrzbr, hrzbf, vrtt, vrtsr, vrtbr, vrtbf;
    int32_t width, height;
    uint32_t memConf;
    int32_t pixelSize;
    int32_t memoryMB;
    int32_t memOffset;
    BoxRec screenBox;
    BoxRec clipBox;
    int32_t ramWrite, palData;
    uint32_t srtCtl, srtCtl2;
    ZandelOffScreen offScreen;
    int32_t deviceId, vendorId;
    int32_t clockType;
    int32_t ramdacType;
    int32_t busWidth;
    int32_t backendReady;
    int32_t pixClock, pixClockConfig;
    int32_t memClock, memClockConfig;
    int32_t cyclesPerRowMiss, overrideDotClock, overrideRefClock, overrideMemClock;
    int32_t icdSerPixClk, icdCtrlPixClk, icdSer525Ref, icdCtrl525Ref;
    int32_t refClkCnt525, vidClkFreq525;
    int32_t memCfgClr, memCfgSet, srtCtrlClr, srtCtrlSet;
    int32_t timing[10]; /* HSP HBP HFP HCO HP VSP VBP VFP VCO VP */
    int32_t pll525;
    uint32_t fillRop[16];
    uint32_t copyRop[16];
    uint8_t dacSave[256];
    void *cfgHandle;
    ZandelCfgOpenProc cfgOpen;
    ZandelCfgCloseProc cfgClose;
    ZandelCfgWriteProc cfgWrite;
    ZandelCfgReadProc cfgRead;
} zandelScreenPrivate, *zandelScreenPrivPtr;

extern int zandelScreenPrivateIndex;
#define ZANDEL_PRIVATE(pScreen)                                                                    \
    ((zandelScreenPrivPtr)((pScreen)->devPrivates[zandelScreenPrivateIndex].ptr))

/* ---- Configuration space (zandel_cfg.cpp) ---- */

int zandelPCI_FindDevice(int device, int vendor, int index);
void *zandelPCI_OpenCfgSpace(int device, int vendor, int index);
void zandelPCI_CloseCfgSpace(void *handle);
int zandelPCI_ReadCfgSpace(void *handle, int reg, uint8_t *out);
int zandelPCI_WriteCfgSpace(void *handle, int reg, int value);
void *zandelVLB_OpenCfgSpace(int device, int vendor, int index);
void zandelVLB_CloseCfgSpace(void *handle);
int zandelVLB_ReadCfgSpace(void *handle, int reg, uint8_t *out);
int zandelVLB_WriteCfgSpace(void *handle, int reg, int value);
/* Fills the private's table for the board the search finds (PCI) or not
 * (VL bus) and opens it; 0 when the handle could not be had. */
Bool zandelChooseCfgSpace(zandelScreenPrivPtr priv);
void zandelNativeMode(ScreenPtr pScreen, int on);
void zandelNativeModeOf(zandelScreenPrivPtr priv, int on);

/* ---- Register access ---- */

static inline uint32_t zandelRead(const zandelScreenPrivate *priv, uint32_t off) {
    return mmRead32(priv->registers + off);
}
static inline void zandelWrite(zandelScreenPrivate *priv, uint32_t off, uint32_t v) {
    mmWrite32(priv->registers + off, v);
}

/* ---- DAC registers (zandel_dac.cpp) ---- */

void zandelPutDacByte(zandelScreenPrivPtr priv, int k, int value);
int zandelGetDacByte(zandelScreenPrivPtr priv, int k);
void zandelPut525(zandelScreenPrivPtr priv, int reg, int value);
void zandelPut511(zandelScreenPrivPtr priv, int reg, int value);

/* ---- Memory probe, back end and timing (zandel_backend.cpp) ---- */

uint32_t zandelBuildSysConf(int pixelSize, int lineBytes);
/* The line length in bytes the word's four fields give. */
uint32_t zandelSysConfPitch(uint32_t word);
int _zandel_log2(uint32_t v);
int _zandel_TestMem(uint8_t *frameBuffer, int words);
int zandelSetupVideoBackend(zandelScreenPrivPtr priv);
void zandelWriteTiming(zandelScreenPrivPtr priv);
/* The sequence both RAMDAC enable routines run; `dacSetup` is the RAMDAC's
 * own register set-up, its third step. */
void zandelBackendSequence(zandelScreenPrivPtr priv, void (*dacSetup)(zandelScreenPrivPtr));

/* The words the timing writes, in the order HRZSR HRZBR HRZBF HRZT VRTSR
 * VRTBR VRTBF VRTT. */
typedef struct _ZandelTiming {
    uint32_t hrzsr, hrzbr, hrzbf, hrzt, vrtsr, vrtbr, vrtbf, vrtt;
} ZandelTiming;
ZandelTiming zandelComputeTiming(const zandelScreenPrivate *priv, uint32_t skew);

/* What the memory probe found, and the words it derives. */
typedef struct _ZandelMemLayout {
    int megabytes;
    int banks;
    uint32_t memConf, srtCtl, srtCtl2;
} ZandelMemLayout;
ZandelMemLayout zandelMemLayout(const zandelScreenPrivate *priv, uint32_t powerUp, int banks,
                                int megabytes, int fast);

/* ---- RAMDAC set-up, save and restore (zandel_ramdac.cpp) ---- */

void zandelCrt525Enable(zandelScreenPrivPtr priv, int mode);
void zandelCrt525Disable(zandelScreenPrivPtr priv);
void zandelCrt485Enable(zandelScreenPrivPtr priv, int mode);
void zandelCrt485Disable(zandelScreenPrivPtr priv);

/* ---- Frame, colormap and cursor (zandel.cpp, zandel_cmap.cpp) ---- */

extern PrivOps zandelSolidPrivOps;
extern PrivOps zandelTiledPrivOps;
extern PrivOps zandelStippledPrivOps;
extern PrivOps zandelOpStippledPrivOps;
extern ExtraGCOps zandelExtraGCOps;
extern WinOps zandelWinOps;
extern PointerFuncs zandelPointerFuncs;

void zandelSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr pScreen);
void zandelRestoreColormap(ScreenPtr pScreen);
Bool zandelCursorInitialize(ScreenPtr pScreen);
void zandelSetGraphics(ScreenPtr pScreen);
Bool zandelSetText(ScreenPtr pScreen);
int zandelValidateWindowGC(GCPtr pGC, uint32_t changes, DrawablePtr pDraw);
void zandelValidateWindowPriv(WindowPtr pWin);

/* ---- Drawing engine (zandel_engine.cpp) ---- */

/* The server hands an alu over as a word whose low byte counts; a low byte
 * past the sixteen functions changes nothing: -1 for those. */
static inline int zandelAlu(int alu) {
    alu &= 0xFF;
    return alu <= GXset ? alu : -1;
}

void _zandel_BuildRasterOps(zandelScreenPrivPtr priv);
uint32_t zandelPixelReplicate(int pixelSize, uint32_t v);
/* The plane mask the engine takes: replicated, and only the visual's
 * planes. */
uint32_t zandelPlaneMask(int pixelSize, uint32_t planemask);
/* The engine waits; each gives up after a bound far above any real wait,
 * says so once through ErrorF and returns 0, and the caller abandons its
 * operation. */
Bool zandelWaitIdle(zandelScreenPrivPtr priv);
Bool zandelWaitCommand(zandelScreenPrivPtr priv);
Bool zandelStartBlit(zandelScreenPrivPtr priv);
void zandelLoadClip(zandelScreenPrivPtr priv, const BoxRec *box, int32_t byteX2);
void zandelSolidFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n);
void zandelSolidFS(GCPtr pGC, DrawablePtr pDraw, DDXPointPtr points, int *widths, int n);
void zandelSolidZeroSeg(GCPtr pGC, DrawablePtr pDraw, int signdx, int signdy, int axis, int x1,
                        int y1, int e, int e1, int e2, int len);
void zandelPolyZeroSeg(GCPtr pGC, DrawablePtr pDraw, xSegment *segs, int count);
void zandelCopyRect(BoxPtr box, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr pDraw);
void zandelDrawSolidRects(BoxPtr boxes, int n, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr pDraw);
void zandelDrawImage(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw);
void zandelReadImage(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw);
void zandelDrawPoints(DDXPointPtr points, int n, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr pDraw);
void zandelSetClipRegions(BoxPtr boxes, int n, DrawablePtr pDraw);

/* ---- Monochrome images, glyphs and text (zandel_mono.cpp) ---- */

void zandelDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw);
void zandelDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw);
void zandelDrawMonoGlyphs(MonoGlyphRec *glyphs, int n, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr pDraw);
void zandelDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr font, Pixel fg, Pixel bg,
                        int alu, uint32_t planemask, int transparent, DrawablePtr pDraw);
void zandelgenDrawFontText(BoxPtr box, uint8_t *chars, int n, nfbFontPrivPtr font, Pixel fg,
                           Pixel bg, int alu, uint32_t planemask, int transparent,
                           DrawablePtr pDraw);

/* ---- Tiled and opaque-stippled fills (zandel_tile.cpp) ---- */

void zandelTileRects(BoxPtr boxes, int n, uint8_t *tile, int tileStride, int tw, int th,
                     DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr pDraw);
void zandelOpStippledFillRects(GCPtr pGC, DrawablePtr pDraw, BoxPtr boxes, int n);
void zandelTileAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                        uint32_t planemask, DrawablePtr pDraw);
void zandelTileAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu, uint32_t planemask,
                               DrawablePtr pDraw);
void zandelOpStippledFillAreaSlow(BoxPtr box, DDXPointPtr src, int band, int piece, int alu,
                                  uint32_t planemask, DrawablePtr pDraw);
void zandelOpStippledFillAreaSlowXExpand(BoxPtr box, DDXPointPtr src, int piece, int alu,
                                         uint32_t planemask, DrawablePtr pDraw);

static inline GrafinfoHandle zandelGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Clock synthesis (zandel_clock.cpp) ---- */

void zandelDelay(int msec);
uint32_t zandelCalc_ICD2061a(int frequency, int override);
void zandelWriteIC(zandelScreenPrivPtr priv, uint32_t word);
void zandelSetClock(zandelScreenPrivPtr priv, int pixelClock, int memClock);
void zandelSetMemClock(zandelScreenPrivPtr priv, int memClock);
int _zandel_Calc_IBM525(int frequency);
void _zandel_Set525Clock(zandelScreenPrivPtr priv, int pixelClock);
/* The three bytes of an RGB511 synthesiser for a frequency. */
void zandelCalc511Synth(int frequency, uint8_t bytes[3]);
void zandelProgram511Synth(zandelScreenPrivPtr priv, int frequency, int firstReg);
void zandelProgramLoadClockMult(zandelScreenPrivPtr priv, int frequency);
void zandelSet511Clock(zandelScreenPrivPtr priv, int pixelClock, int memClock);

#endif
