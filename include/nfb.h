/*
 * The frame-buffer layer's records, the records a driver hands to the server,
 * and the server's services. Every driver library is built against this file
 * alone (with x11.h, grafinfo.h and hwio.h); the server supplies every function
 * and datum declared here.
 */
#ifndef DRV_NFB_H
#define DRV_NFB_H

#include <stdarg.h>
#include <stdint.h>
/* The C library's own declarations of the system calls below come first, so
 * that these repeat them whatever a source includes afterwards. */
#include <stdio.h>
#include <time.h>

#include "x11.h"
#include "grafinfo.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _nfbFontPrivate nfbFontPrivate, *nfbFontPrivPtr;
typedef struct _nfbGCPrivate nfbGCPrivate, *nfbGCPrivPtr;

/* ---- Binding and console-switch records ---- */

typedef Bool (*ProbeProc)(int unused, struct _ScreenConfig *config);
typedef Bool (*InitProc)(int index, ScreenPtr pScreen, int argc, char **argv);

/* The one record a driver library exports: <driver>ScreenInfo. */
typedef struct _ScreenInfo {
    ProbeProc Probe; /* `Setup` in some drivers */
    InitProc Init;
    const char *driverName;
    void *reserved[9]; /* nine words of 0 */
} ScreenInfo;

typedef void (*ScreenProc)(ScreenPtr);
typedef Bool (*ScreenBoolProc)(ScreenPtr);
typedef void (*FreeScreenProc)(int index, ScreenPtr);

/* The console-switch record handed to vexoSysInfoInit. */
typedef struct _SysInfo {
    int32_t sysInfoWord0; /* 0 */
    ScreenProc SetGraphics;
    ScreenBoolProc SetText;
    ScreenProc SaveGState;
    ScreenProc RestoreGState;
    FreeScreenProc FreeScreen; /* `CloseScreen` in some drivers */
    int32_t sysInfoFlag1;      /* 1 */
    int32_t sysInfoFlag2;      /* 1 */
    int32_t sysInfoFlag3;      /* 1; 0 in some drivers */
    float sysInfoValue;        /* 5.0 */
} SysInfo;

/* The server's configuration of one screen. */
typedef struct _ScreenConfig {
    int32_t serverWord0;
    uint8_t depth;
    uint8_t bitsPerPixel;
    uint8_t scanlinePad;
    uint8_t serverByte;
    int32_t serverWord1; /* not read by drivers */
    GrafinfoHandle grafinfo;
} ScreenConfig;

typedef struct _ActiveScreen {
    int32_t index;
    ScreenConfig *config;
} ActiveScreen;

/* ---- GC operations ---- */

/* One entry of a ZeroSegs list. */
typedef struct _ZeroSegRec {
    int16_t x, y;   /* start pixel */
    int16_t signdx; /* +1 or -1 */
    int16_t signdy; /* +1 or -1, in lines */
    int16_t axis;   /* 0: x is the major axis */
    int16_t len;    /* pixels to draw */
    int32_t e, e1, e2;
} ZeroSegRec;

typedef void (*FillRectsProc)(GCPtr, DrawablePtr, BoxPtr boxes, int count);
typedef void (*FillSpansProc)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
typedef void (*ZeroSegProc)(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1,
                            int e, int e1, int e2, int len);
typedef void (*ZeroSegsProc)(GCPtr, DrawablePtr, ZeroSegRec *segs, int count);
typedef void (*GCOpProc)(void); /* slots whose roles only the server knows */

typedef struct _PrivOps {
    FillRectsProc FillRects;
    FillSpansProc FS;
    union {
        ZeroSegsProc ZeroSegs; /* solid records under nfbSetOptions flag 0x20 */
        ZeroSegProc ZeroSeg;   /* solid records without it */
        GCOpProc GCOp3;        /* the other records */
    } slot3;
    GCOpProc GCOp4;
    GCOpProc GCOp5;
    GCOpProc GCOp6;
} PrivOps;

/* ---- Window operations ---- */

typedef struct _MonoGlyphRec {
    BoxRec box;
    int32_t stride; /* bytes per bitmap row */
    uint8_t *bits;
    int32_t glyphKey;
} MonoGlyphRec;

typedef void (*CopyRectProc)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
typedef void (*DrawSolidRectsProc)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                                   DrawablePtr);
typedef void (*DrawImageProc)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                              DrawablePtr);
typedef void (*DrawMonoImageProc)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                  int alu, uint32_t planemask, DrawablePtr);
typedef void (*DrawOpaqueMonoImageProc)(BoxPtr box, uint8_t *bits, int startBit, int stride,
                                        Pixel fg, Pixel bg, int alu, uint32_t planemask,
                                        DrawablePtr);
typedef void (*ReadImageProc)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);
typedef void (*DrawPointsProc)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                               DrawablePtr);
typedef void (*TileRectsProc)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                              int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask,
                              DrawablePtr);
typedef void (*DrawMonoGlyphsProc)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu,
                                   uint32_t planemask, nfbFontPrivPtr font, DrawablePtr);
typedef void (*DrawFontTextProc)(BoxPtr box, uint8_t *chars, int count, nfbFontPrivPtr font,
                                 Pixel fg, Pixel bg, int alu, uint32_t planemask, int transparent,
                                 DrawablePtr);
/* The form the layer calls after nfbInitializeText8: glyph width and font slot. */
typedef void (*DrawFontText8Proc)(BoxPtr box, uint8_t *chars, int count, int glyphWidth,
                                  int fontSlot, Pixel fg, Pixel bg, int alu, uint32_t planemask,
                                  int transparent, DrawablePtr);
typedef void (*WinOpProc)(void); /* slots whose roles only the server knows */
typedef void (*SetClipRegionsProc)(BoxPtr boxes, int count, DrawablePtr);
typedef int (*ValidateWindowGCProc)(GCPtr, uint32_t changes, DrawablePtr);

typedef struct _WinOps {
    CopyRectProc CopyRect;
    DrawSolidRectsProc DrawSolidRects;
    DrawImageProc DrawImage;
    DrawMonoImageProc DrawMonoImage;
    DrawOpaqueMonoImageProc DrawOpaqueMonoImage;
    ReadImageProc ReadImage;
    DrawPointsProc DrawPoints;
    TileRectsProc TileRects;
    DrawMonoGlyphsProc DrawMonoGlyphs;
    union {
        DrawFontTextProc DrawFontText;
        DrawFontText8Proc DrawFontText8;
    } text;
    WinOpProc WinOp11;
    WinOpProc WinOp12;
    WinOpProc WinOp13;
    SetClipRegionsProc SetClipRegions;
    ValidateWindowGCProc ValidateWindowGC;
} WinOps;

/* ---- Fonts ---- */

typedef struct _Text8FontInfo {
    int32_t usable;   /* non-zero when the glyph set may be used */
    uint8_t **glyphs; /* bitmaps by character code, least significant bit leftmost */
    int32_t nglyphs;
    int32_t glyphWidth;
    int32_t glyphHeight;
    int32_t glyphStride; /* bytes per bitmap row */
} Text8FontInfo;

struct _nfbFontPrivate {
    Text8FontInfo *text8Info;
    int32_t fontId; /* a driver's own cache key; 0 or less until set */
};

typedef void (*DownloadFont8Proc)(uint8_t **glyphs, int count, int width, int height, int stride,
                                  int fontSlot, ScreenPtr);

/* ---- Cursors ---- */

typedef struct _PointerFuncs {
    Bool (*RealizeCursor)(ScreenPtr, CursorPtr);
    Bool (*UnrealizeCursor)(ScreenPtr, CursorPtr);
    void (*SetCursor)(ScreenPtr, CursorPtr, int x, int y);
    void (*MoveCursor)(ScreenPtr, int x, int y);
} PointerFuncs;

typedef struct _SpriteCursorFuncs {
    Bool (*RealizeCursor)(ScreenPtr, CursorPtr);
    Bool (*UnrealizeCursor)(ScreenPtr, CursorPtr);
    void (*PutUpCursor)(ScreenPtr, CursorPtr, int x, int y, Pixel fg, Pixel bg);
    void (*SaveUnderCursor)(ScreenPtr, int x, int y, int w, int h);
    void (*RestoreUnderCursor)(ScreenPtr, int x, int y, int w, int h);
    void (*MoveCursor)(ScreenPtr, CursorPtr, int x, int y, int w, int h, int dx, int dy, Pixel fg,
                       Pixel bg);
    void (*ChangeSave)(ScreenPtr, int x, int y, int w, int h, int dx, int dy);
} SpriteCursorFuncs;

/* ---- Frame-buffer layer records ---- */

typedef void (*SetColorProc)(uint32_t unused, int index, uint16_t red, uint16_t green,
                             uint16_t blue, ScreenPtr);
typedef void (*LoadColormapProc)(ColormapPtr);
typedef void (*ClearFontProc)(nfbFontPrivPtr, ScreenPtr);
typedef int (*BlankScreenProc)(int on, ScreenPtr);
typedef void (*ValidateWindowPrivProc)(WindowPtr);

typedef struct _ExtraGCOps {
    void (*PolyZeroSeg)(GCPtr, DrawablePtr, xSegment *segs, int count);
} ExtraGCOps;

struct _nfbGCPrivate {
    RegionPtr compositeClip;
    PrivOps *ops;
    Pixel fgPixel0;
    uint8_t alu0;
    uint32_t planemask0;
    Pixel fgPixel;
    Pixel bgPixel;
    uint8_t alu;
    uint32_t planemask;
    DDXPointRec patOrg; /* in screen coordinates */
    ExtraGCOps *extraOps;
};

typedef struct _nfbWindowPrivate {
    WinOps *ops;
} nfbWindowPrivate, *nfbWindowPrivPtr;

typedef struct _nfbScreenPrivate {
    PixmapRec screenPixmap; /* the layer's own fields come first */
    int32_t layerOptions;
    int32_t layerFlags;
    ColormapPtr installedCmap;
    nfbGCPrivPtr gcTemplate;
    SetColorProc SetColor;
    LoadColormapProc LoadColormap;
    void *layerWord0;
    ClearFontProc ClearFont;
    void *layerWord1;
    BlankScreenProc BlankScreen;
    ValidateWindowPrivProc ValidateWindowPriv;
    int32_t driverFlag;
} nfbScreenPrivate, *nfbScreenPrivPtr;

#define NFB_SCREEN_PRIV(pScreen) ((nfbScreenPrivPtr)(pScreen)->devPrivate)
#define NFB_GC_PRIV(pGC) ((nfbGCPrivPtr)(pGC)->devPrivates[nfbGCPrivateIndex].ptr)
#define NFB_WINDOW_PRIV(pWin) ((nfbWindowPrivPtr)(pWin)->devPrivates[nfbWindowPrivateIndex].ptr)
#define NFB_FONT_PRIV(pFont) ((nfbFontPrivPtr)(pFont)->devPrivates[nfbFontPrivateIndex].ptr)

/* nfbSetOptions flag: the solid record's slot three holds ZeroSegs. */
#define NFB_OPT_ZEROSEGS 0x20

/* ---- Frame-buffer layer services ---- */

Bool nfbScreenInit(ScreenPtr, int width, int height, int mmWidth, int mmHeight);
Bool nfbAddVisual(ScreenPtr, VisualPtr);
void nfbSetOptions(ScreenPtr, int version, int flags, int unused);
int nfbHelpValidateGC(GCPtr, uint32_t changes, DrawablePtr);
void nfbReplicateArea(BoxPtr box, int cellWidth, int cellHeight, uint32_t planemask, DrawablePtr);
Bool nfbInitializeText8(ScreenPtr, int slots, int cellWidth, int cellHeight, DownloadFont8Proc,
                        int unused);
void nfbCloseText8(ScreenPtr);
void nfbGCOpsCacheInit(void);
void nfbGCOpsCacheReset(void);
extern int nfbGCPrivateIndex;
extern int nfbWindowPrivateIndex;
extern int nfbFontPrivateIndex;

/* ---- Generic drawing routines ---- */

void genSolidFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void genSolidFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void genSolidZeroSeg(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                     int e1, int e2, int len);
void genSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void genSolidGCOp4(void);
void genSolidGCOp5(void);
void genSolidGCOp6(void);
void genTiledFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void genTiledFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void genTiledGCOp3(void);
void genTiledGCOp4(void);
void genTiledGCOp5(void);
void genTiledGCOp6(void);
void genStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void genStippledFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void genStippledGCOp3(void);
void genStippledGCOp4(void);
void genStippledGCOp5(void);
void genStippledGCOp6(void);
void genOpStippledFillRects(GCPtr, DrawablePtr, BoxPtr, int);
void genOpStippledFS(GCPtr, DrawablePtr, DDXPointPtr, int *, int);
void genOpStippledGCOp3(void);
void genOpStippledGCOp4(void);
void genOpStippledGCOp5(void);
void genOpStippledGCOp6(void);

void genCopyRect(BoxPtr, DDXPointPtr, int alu, uint32_t planemask, DrawablePtr);
void genDrawSolidRects(BoxPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void genDrawMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, int alu,
                      uint32_t planemask, DrawablePtr);
void genDrawOpaqueMonoImage(BoxPtr, uint8_t *, int startBit, int stride, Pixel fg, Pixel bg,
                            int alu, uint32_t planemask, DrawablePtr);
void genDrawPoints(DDXPointPtr, int, Pixel fg, int alu, uint32_t planemask, DrawablePtr);
void genTileRects(BoxPtr, int, uint8_t *tile, int tileStride, int tileWidth, int tileHeight,
                  DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void genDrawMonoGlyphs(MonoGlyphRec *, int, Pixel fg, int alu, uint32_t planemask, nfbFontPrivPtr,
                       DrawablePtr);
void genDrawFontText(BoxPtr, uint8_t *chars, int count, nfbFontPrivPtr, Pixel fg, Pixel bg, int alu,
                     uint32_t planemask, int transparent, DrawablePtr);
void genWinOp10(BoxPtr, uint8_t *chars, int count, int glyphWidth, int fontSlot, Pixel fg, Pixel bg,
                int alu, uint32_t planemask, int transparent, DrawablePtr);
void genWinOp11(void);
void genWinOp12(void);
void genWinOp13(void);
void genWinOp14(BoxPtr, int, DrawablePtr);
void genLoadColormap(ColormapPtr);

/* ---- Screen services ---- */

Bool vexoSysInfoInit(ScreenPtr, SysInfo *);
/* (screen, funcs, 0, 1) or (screen, funcs, 1); 0 means the hardware cursor was refused. */
Bool vexoPointerInitialize(ScreenPtr, PointerFuncs *, int, ...);
Bool vexoSWCursorInitialize(ScreenPtr);
Bool vexoSpriteInitialize(ScreenPtr, SpriteCursorFuncs *);
Bool vexoScreenActive(void);

/* ---- Server tables and services ---- */

extern ActiveScreen *ddxActiveScreens[MAXSCREENS];
Bool ddxAddPixmapFormat(int depth, int bitsPerPixel, int scanlinePad);
extern uint8_t ddxBitSwap[256];

void *Xalloc(uint32_t size);
void *Xrealloc(void *ptr, uint32_t size);
void Xfree(void *ptr);
void ErrorF(const char *format, ...) __attribute__((format(printf, 1, 2)));
void FatalError(const char *format, ...) __attribute__((format(printf, 1, 2), noreturn));

int AllocateScreenPrivateIndex(void);
int AllocateGCPrivateIndex(void);
Bool AllocateGCPrivate(ScreenPtr, int index, uint32_t size);
extern uint32_t serverGeneration;
extern WindowPtr WindowTable[MAXSCREENS];
extern PaddingInfo PixmapWidthPaddingInfo[33];
extern uint8_t rop_needs_dst[16];
extern int enforceProtocol;

void NoopDDA(void);
Bool cfbCreateDefColormap(ScreenPtr);
Bool mfbCreateDefColormap(ScreenPtr);
/* (screen, frame buffer, width, height, mm width, mm height, line width in
 * pixels): creates the screen's devPrivate record; 0 on failure. */
Bool cfbScreenInit(ScreenPtr, void *fb, int width, int height, int mmWidth, int mmHeight,
                   int lineWidth);
/* The layer's colormap and screen-saver hooks, for a screen a driver set up
 * with cfbScreenInit: they keep the record's installedCmap and reach the
 * palette through its SetColor and LoadColormap, and blank through its
 * BlankScreen. */
void nfbInstallColormap(ColormapPtr);
void nfbUninstallColormap(ColormapPtr);
int nfbListInstalledColormaps(ScreenPtr, XID *);
void nfbStoreColors(ColormapPtr, int n, xColorItem *);
Bool nfbSaveScreen(ScreenPtr, int on);
/* (class, width, height, screen): the sizes the frame-buffer layer handles best. */
void mfbQueryBestSize(int cls, uint16_t *width, uint16_t *height, ScreenPtr);
/* The layer's masks for 32 pixels a word, pixel i in bit i (its 1-bit data is
 * least significant bit leftmost): starttab[i] pixels i to 31, endtab[i]
 * pixels 0 to i - 1 (both 0 for i = 0), partmasks[i][n] n pixels from i. */
extern uint32_t starttab[32];
extern uint32_t endtab[32];
extern uint32_t partmasks[32][32];
int FakeAllocColor(ColormapPtr, xColorItem *);
void FakeFreeColor(ColormapPtr, Pixel);

/* The server's port routines: port first, then the value. With outw to an
 * index/data pair the low byte is the index and the high byte the data. */
uint8_t inb(uint16_t port);
void outb(uint16_t port, uint8_t value);
uint16_t inw(uint16_t port);
void outw(uint16_t port, uint16_t value);
/* The same routines under the names some drivers use: word forms (the Mach64
 * source) and byte forms. */
uint16_t inpw(uint16_t port);
void outpw(uint16_t port, uint16_t value);
uint8_t inp(uint16_t port);
void outp(uint16_t port, uint8_t value);

/* Delay in milliseconds. */
long nap(long msec);
/* The C library's own calls are declared as it declares them (it marks
 * those that never throw). */
#ifdef __THROW
#define DRV_SYSCALL_NOTHROW __THROW
#else
#define DRV_SYSCALL_NOTHROW
#endif
/* Processor time in ticks of one microsecond; the 32-bit count wraps. */
clock_t clock(void) DRV_SYSCALL_NOTHROW;
/* The message, ": " and the text of errno, on the error output. */
void perror(const char *s);

/* The operating system's calls for its devices (the PCI configuration device
 * of pcicfg.h), as its C library declares them. */
int open(const char *path, int flags, ...);
int ioctl(int fd, unsigned long request, ...) DRV_SYSCALL_NOTHROW;
int close(int fd);

#ifdef __cplusplus
}
#endif

#endif
