/*
 * The display server's own records, by the fields the drivers use.
 *
 * The interface is a 32-bit one: on the target every pointer, int and pixel
 * is one 32-bit word. Fields the server gives a width keep it here through
 * fixed-width types; the rest are plain words or pointers.
 */
#ifndef DRV_X11_H
#define DRV_X11_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int Bool;
typedef uint32_t Pixel;
typedef uint32_t XID;

#define MAXSCREENS 16

/* X11 raster operations; the server passes them as a word whose low byte counts. */
enum {
    GXclear = 0,
    GXand = 1,
    GXandReverse = 2,
    GXcopy = 3,
    GXandInverted = 4,
    GXnoop = 5,
    GXxor = 6,
    GXor = 7,
    GXnor = 8,
    GXequiv = 9,
    GXinvert = 10,
    GXorReverse = 11,
    GXcopyInverted = 12,
    GXorInverted = 13,
    GXnand = 14,
    GXset = 15
};

/* Fill styles (GCRec.fillStyle). */
enum { FillSolid = 0, FillTiled = 1, FillStippled = 2, FillOpaqueStippled = 3 };

/* GC change-mask bits the drivers test. */
enum {
    GCFunction = 0x1,
    GCPlaneMask = 0x2,
    GCForeground = 0x4,
    GCBackground = 0x8,
    GCLineWidth = 0x10,
    GCFillStyle = 0x100,
    GCTile = 0x400,
    GCStipple = 0x800
};

/* Visual classes. */
enum { PseudoColor = 3, TrueColor = 4 };

/* QueryBestSize classes. */
enum { CursorShape = 0, TileShape = 1, StippleShape = 2 };

typedef struct _Box {
    int16_t x1, y1, x2, y2; /* x2 and y2 lie one past the last pixel */
} BoxRec, *BoxPtr;

typedef struct _DDXPoint {
    int16_t x, y;
} DDXPointRec, *DDXPointPtr;

typedef struct _xSegment {
    int16_t x1, y1, x2, y2; /* both end points are drawn */
} xSegment;

typedef struct _xColorItem {
    uint32_t pixel;
    uint16_t red, green, blue;
    uint8_t flags;
    uint8_t pad;
} xColorItem;

typedef union _DevUnion {
    void *ptr;
    int32_t val;
} DevUnion;

typedef struct _Screen ScreenRec, *ScreenPtr;
typedef struct _Visual VisualRec, *VisualPtr;
typedef struct _Colormap ColormapRec, *ColormapPtr;
typedef struct _Cursor CursorRec, *CursorPtr;
typedef struct _GC GCRec, *GCPtr;

/* A visual offered to the server; `vid` is assigned by the server. */
struct _Visual {
    uint32_t vid;
    uint16_t class_; /* 3 PseudoColor, 4 TrueColor */
    uint16_t bitsPerRGBValue;
    uint16_t ColormapEntries;
    uint16_t nplanes; /* the visual's depth */
    uint32_t redMask, greenMask, blueMask;
    uint32_t offsetRed, offsetGreen, offsetBlue;
};

/* The header of windows and pixmaps. */
typedef struct _Drawable {
    uint8_t type;
    uint8_t class_;
    uint8_t depth;
    uint8_t bitsPerPixel;
    XID id;
    int16_t x, y; /* a window's position on the screen */
    uint16_t width, height;
    ScreenPtr pScreen;
    uint32_t serialNumber;
} DrawableRec, *DrawablePtr;

enum { DRAWABLE_WINDOW = 0, DRAWABLE_PIXMAP = 1 };

typedef struct _Pixmap {
    DrawableRec drawable;
    int32_t refcnt;
    int32_t devKind;  /* bytes per row */
    void *devPrivate; /* the pixels; for depth 1, least significant bit leftmost */
} PixmapRec, *PixmapPtr;

typedef struct _Window {
    DrawableRec drawable;
    struct _Window *parent;
    DevUnion *devPrivates;
} WindowRec, *WindowPtr;

typedef struct _RegData {
    int32_t size;
    int32_t numRects;
    /* BoxRec rects[size] follows */
} RegDataRec, *RegDataPtr;

typedef struct _Region {
    BoxRec extents;
    RegDataPtr data; /* null for a single rectangle */
} RegionRec, *RegionPtr;

#define REGION_RECTS(r) ((r)->data ? (BoxPtr)((r)->data + 1) : &(r)->extents)
#define REGION_NUM_RECTS(r) ((r)->data ? (r)->data->numRects : 1)

typedef struct _Font {
    int32_t maxPrivate; /* private slots in front of devPrivates */
    DevUnion *devPrivates;
} FontRec, *FontPtr;

/* The GC function vector, as a driver that wraps it sees it. */
typedef struct _GCFuncs {
    void (*ValidateGC)(GCPtr, uint32_t changes, DrawablePtr);
    void (*ChangeGC)(GCPtr, uint32_t mask);
    void (*CopyGC)(GCPtr src, uint32_t mask, GCPtr dst);
    void (*DestroyGC)(GCPtr);
    void (*ChangeClip)(GCPtr, int type, void *value, int nrects);
    void (*DestroyClip)(GCPtr);
    void (*CopyClip)(GCPtr dst, GCPtr src);
} GCFuncs;

struct _GC {
    ScreenPtr pScreen;
    uint8_t depth;
    uint8_t alu;
    uint16_t lineWidth;
    uint16_t dashOffset;
    uint16_t numInDashList;
    uint8_t *dash;
    /* The style word: line style in bits 0-1, cap style in 2-3, fill style in 6-7,
     * tile-is-a-pixel in bit 15. */
    uint32_t lineStyle : 2;
    uint32_t capStyle : 2;
    uint32_t joinStyle : 2;
    uint32_t fillStyle : 2;
    uint32_t fillRule : 1;
    uint32_t arcMode : 1;
    uint32_t subWindowMode : 1;
    uint32_t graphicsExposures : 1;
    uint32_t clientClipType : 2;
    uint32_t miTranslate : 1;
    uint32_t tileIsPixel : 1;
    uint32_t unused : 16;
    uint32_t planemask;
    Pixel fgPixel;
    Pixel bgPixel;
    PixmapPtr tile;
    PixmapPtr stipple;
    DDXPointRec patOrg;
    FontPtr font;
    const GCFuncs *funcs;
    void *ops;
    DevUnion *devPrivates;
    uint32_t serialNumber;
};

typedef struct _CursorBits {
    uint8_t *source; /* rows padded as PixmapWidthPaddingInfo[1] says */
    uint8_t *mask;
    uint16_t width, height, xhot, yhot;
    int32_t refcnt;
    void *devPriv[MAXSCREENS]; /* per-screen driver images, by myNum */
} CursorBits, *CursorBitsPtr;

struct _Cursor {
    CursorBitsPtr bits;
    uint16_t foreRed, foreGreen, foreBlue;
    uint16_t backRed, backGreen, backBlue;
    int32_t refcnt;
    void *devPriv[MAXSCREENS];
};

/* A colour shared between entries; its first 16-bit word is the component. */
typedef struct _SharedColor {
    uint16_t color;
    int16_t refcnt;
} SHAREDCOLOR;

/* One colormap entry: components in place, or three pointers to shared colours
 * when fShared (the entry's fifth word on the target) is non-zero. */
typedef struct _Entry {
    union {
        struct {
            uint16_t red, green, blue;
        } local;
        struct {
            SHAREDCOLOR *red, *green, *blue;
        } shco;
    } co;
    int16_t refcnt;
    int32_t fShared;
} Entry;

struct _Colormap {
    VisualPtr pVisual;
    ScreenPtr pScreen;
    uint32_t mid;
    Entry *red;
    Entry *green;
    Entry *blue;
};

struct _Screen {
    int32_t myNum; /* index of ddxActiveScreens and WindowTable */
    int16_t width, height;
    int16_t mmWidth, mmHeight;
    uint8_t rootDepth;
    void *devPrivate; /* the frame-buffer layer's nfbScreenPrivate */
    DevUnion *devPrivates;
    int32_t numVisuals;
    VisualPtr visuals;
    Pixel whitePixel, blackPixel;
    ColormapPtr defColormap;

    Bool (*CloseScreen)(int index, ScreenPtr);
    void (*QueryBestSize)(int cls, uint16_t *width, uint16_t *height, ScreenPtr);
    Bool (*SaveScreen)(ScreenPtr, int on);
    void (*RecolorCursor)(ScreenPtr, CursorPtr, Bool displayed);
    Bool (*CreateGC)(GCPtr);
    void (*InstallColormap)(ColormapPtr);
    void (*UninstallColormap)(ColormapPtr);
    int (*ListInstalledColormaps)(ScreenPtr, XID *);
    void (*StoreColors)(ColormapPtr, int n, xColorItem *);
};

/* The server's table of pixmap row padding, indexed by depth. */
typedef struct _PaddingInfo {
    int32_t padRoundUp;
    int32_t padPixelsLog2;
    int32_t padBytesLog2;
} PaddingInfo;

#define PixmapBytePad(w, d)                                                                        \
    ((((w) + PixmapWidthPaddingInfo[d].padRoundUp) >> PixmapWidthPaddingInfo[d].padPixelsLog2)     \
     << PixmapWidthPaddingInfo[d].padBytesLog2)

#ifdef __cplusplus
}
#endif

#endif
