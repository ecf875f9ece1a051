/*
 * Private header of the nelto driver: S3's 3D-engine chip through its
 * memory-mapped 2D engine, one library for depths 8, 15, 16, 24 and 32.
 *
 * It names the engine's registers and command words, the CRTC registers the
 * driver programs, declares the screen private and the routines the source
 * files share. Drawing routines branch on the screen's root depth; the image
 * and segment routines exist once per pixel size.
 */
#ifndef NELTO_H
#define NELTO_H

#include "driver.h"
#include "nelto_crtc.h"

/* ---- Engine registers, byte offsets from regBase ---- */

#define NELTO_ENGINE_OFFSET 0x1000000 /* regBase from fbBase */

#define REG_HOST_DATA 0x0000
#define REG_STATUS 0x8504 /* read: status; write: reset control */
#define STATUS_IDLE 0x2000u
#define RESET_HOLD 0x8000u
#define RESET_RELEASE 0x4000u
#define REG_SRC_BASE 0xA4D4
#define REG_DST_BASE 0xA4D8
#define REG_CLIP_X 0xA4DC /* left << 16 | right (inclusive) */
#define REG_CLIP_Y 0xA4E0 /* top << 16 | bottom (inclusive) */
#define REG_STRIDES 0xA4E4
#define REG_MONO_PATTERN0 0xA4E8
#define REG_MONO_PATTERN1 0xA4EC
#define REG_PATTERN_BG 0xA4F0
#define REG_PATTERN_FG 0xA4F4
#define REG_SOURCE_BG 0xA4F8
#define REG_SOURCE_FG 0xA4FC
#define REG_COMMAND 0xA500
#define REG_SIZE 0xA504        /* (width - 1) << 16 | height */
#define REG_SOURCE 0xA508      /* x << 16 | y */
#define REG_DESTINATION 0xA50C /* x << 16 | y; starts an autoexecute command */
#define REG_SRC_BASE2 0xA8D4
#define REG_DST_BASE2 0xA8D8
#define REG_STRIDES2 0xA8E4
#define REG_PATTERN_BG3 0xACF0
#define REG_PATTERN_FG3 0xACF4

/* Command words; each takes the destination format term as well. */
#define CMD_RESET 0x78010002u       /* no-op with clip, as the reset wants it */
#define CMD_CLEAR 0x17E00123u       /* pattern fill, ROP 0xF0, clip, autoexecute */
#define CMD_COPY 0x00000923u        /* blit from the screen */
#define CMD_FILL 0x16000123u        /* pattern fill left to right, top to bottom */
#define CMD_MONO 0x06000BE3u        /* host bits, transparent 0 bits */
#define CMD_OPAQUE_MONO 0x060009E3u /* host bits, 0 bits in the background */
#define CMD_IMAGE 0x060009A3u       /* host pixels */
#define CMD_NOP 0x78000002u         /* ends a run of fills */
#define CMD_RESTING 0x01980922u     /* a 1 x 1 copy onto itself */
#define CMD_NARROW 0x00010000u      /* rectangles below 64 pixels (or bytes) */
#define CMD_X_POSITIVE 0x02000000u
#define CMD_Y_POSITIVE 0x04000000u
#define NARROW_LIMIT 64

#define XY(x, y) ((uint32_t)(uint16_t)(x) << 16 | (uint32_t)(uint16_t)(y))
#define SIZE_WH(w, h) ((uint32_t)(uint16_t)((w)-1) << 16 | (uint32_t)(uint16_t)(h))

/* The bounded wait's limit. */
#define NELTO_WAIT_LIMIT 0x8FFFFFF

typedef struct _neltoScreenPrivate {
    uint8_t *fbBase;           /* the frame buffer (MEMORY) */
    volatile uint8_t *regBase; /* fbBase + 0x1000000 */
    uint32_t fbPhys;           /* physical base of MEMORY */
    int32_t width, height;     /* PIXWIDTH, PIXHEIGHT */
    int32_t pitchBytes;        /* PIXBYTES */
    int32_t cursorHotX, cursorHotY;
    int32_t cursorSlot; /* 1024-byte unit of the cursor image */
    CursorPtr currentCursor;
    Pixel cursorFgPixel, cursorBgPixel;
    int32_t newCursColor;
    int32_t accel;
} neltoScreenPrivate, *neltoScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(neltoScreenPrivate) == 56, "the screen private is fourteen words");
#endif

extern int neltoScreenPrivateIndex;
extern const uint32_t neltoROP[16];
extern const uint32_t neltoPROP[16];
extern volatile uint32_t neltoWait;

#define NELTO_PRIV(pScreen)                                                                        \
    ((neltoScreenPrivPtr)(pScreen)->devPrivates[neltoScreenPrivateIndex].ptr)

static inline GrafinfoHandle neltoGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Pixel sizes ---- */

static inline int neltoBytesPerPixel(int depth) {
    return depth == 32 ? 4 : (depth + 1) / 8;
}

static inline uint32_t neltoDepthMask(int depth) {
    switch (depth) {
    case 8:
        return 0xFF;
    case 15:
        return 0x7FFF;
    case 16:
        return 0xFFFF;
    case 24:
        return 0xFFFFFF;
    default:
        return 0xFFFFFFFFu;
    }
}

/* The engine routines run only under a plane mask with all the depth's bits. */
static inline Bool neltoFullMask(int depth, uint32_t planemask) {
    uint32_t m = neltoDepthMask(depth);
    return (planemask & m) == m;
}

/* The destination format term of the engine's command words. The engine
 * knows 1-, 2- and 3-byte pixels only: at depth 32 the formula would give
 * every command bit set, so the set-up commands take 0 there (8-bit pixels,
 * over four times the columns). */
static inline uint32_t neltoFormat(int depth) {
    if (depth == 32)
        return 0;
    return (uint32_t)((((depth + 1) >> 3) & 3) - 1) << 2;
}

/* Columns of the engine for a screen row: pixels, or bytes at depth 32. */
static inline int neltoEngineColumns(int width, int depth) {
    return depth == 32 ? width * 4 : width;
}

static inline uint32_t neltoPixelReplicate(int depth, uint32_t v) {
    if (depth == 8)
        return (v & 0xFF) * 0x01010101u;
    if (depth == 15 || depth == 16)
        return (v & 0xFFFF) * 0x00010001u;
    return v;
}

/* ---- Register access ---- */

static inline void neltoWrite(const neltoScreenPrivate *priv, uint32_t reg, uint32_t v) {
    mmWrite32(priv->regBase + reg, v);
}
static inline uint32_t neltoRead(const neltoScreenPrivate *priv, uint32_t reg) {
    return mmRead32(priv->regBase + reg);
}

/* ---- Shared routines ---- */

/* nelto.cpp */
void neltoEngineIdleWait(const neltoScreenPrivate *priv);
void neltoSetGraphics(ScreenPtr);
Bool neltoSetText(ScreenPtr);

/* nelto_ops.cpp */
void neltoCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void neltoDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                         DrawablePtr);
void neltoDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                     DrawablePtr);
void neltoDrawMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr);
void neltoDrawOpaqueMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                              int alu, uint32_t planemask, DrawablePtr);
void neltoSendRows(const neltoScreenPrivate *priv, const uint8_t *rows, int stride, int h,
                   int rowBytes, const uint8_t *swap);

/* nelto_image.cpp */
void nelto_8bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void nelto_16bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void nelto_24bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void nelto_32bppDrawImage(BoxPtr, uint8_t *, int, int, uint32_t, DrawablePtr);
void nelto_8bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void nelto_16bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void nelto_24bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void nelto_32bppReadImage(BoxPtr, uint8_t *, int, DrawablePtr);
void nelto_8bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void nelto_16bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void nelto_24bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);
void nelto_32bppSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int);

/* nelto_cursor.cpp (nelto_common.inc) */
Bool neltoSetup(int unused, ScreenConfig *config);
void neltoCloseScreen(int index, ScreenPtr);
void neltoSaveGState(ScreenPtr);
void neltoRestoreGState(ScreenPtr);
int neltoBlankScreen(int on, ScreenPtr);
void neltoZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int count, int bpp);
void neltoCursorInitialize(ScreenPtr);
void neltoColorCursor(ScreenPtr);
void neltoSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                   ScreenPtr);
void neltoRestoreColormap(ScreenPtr);
Bool neltoSoftwareCursorAsked(GrafinfoHandle);
Bool neltoCheckMemory(int32_t height, int32_t pitchBytes, uint32_t mapped, Bool hardwareCursor,
                      const char *message, const char *badCode);

#endif
