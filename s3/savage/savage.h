/*
 * Private header of the savage driver: S3's Savage chips through a drawing
 * engine fed with command words on one port of the register area REGS, one
 * library for depths 8, 15, 16, 24 (in 4-byte pixels) and 32.
 *
 * It names the command port, the status and control words and the command
 * words, declares the screen private and the routines the source files
 * share. The cursor, palette, blanking and segment routines are nelto's,
 * built under this driver's prefix (savage_shared.cpp).
 */
#ifndef SAVAGE_H
#define SAVAGE_H

#include "driver.h"
#include "nelto_crtc.h"

/* ---- Register area (REGS), byte offsets ---- */

#define REG_COMMAND_PORT 0x10000
#define REG_STATUS 0x48C00
#define REG_ENGINE_CONTROL 0x48C18
#define ENGINE_CONTROL_ON 0x8u

/* ---- Command words ---- */

#define CMD_PLANE_MASK 0x960100D7u /* followed by the mask */
#define CMD_END 0xC0020000u        /* closes every sequence */
#define CMD_FILL_COLOUR 0x4B008000u
#define CMD_FILL 0x4B000000u /* no colour: GXclear, GXinvert, GXset */
#define CMD_COPY 0x4B000020u
#define CMD_COPY_BACKWARD 0x48000020u
#define CMD_NOSOURCE_BACKWARD 0x48000000u
#define CMD_MONO_TRANSPARENT 0x4B00C260u
#define CMD_MONO_OPAQUE 0x4B00C060u
#define CMD_CLIP_ONLY 0x4B004000u
#define CMD_IMAGE 0x4B004040u
#define ONE_PIXEL 0x10001u /* size word 1 x 1 */

#define MONO_COLUMN 32 /* pixels a bitmap word */
#define IMAGE_COLUMN 4 /* image rows start on 4-pixel boundaries */

/* The bounded wait's limit. */
#define SAVAGE_WAIT_LIMIT 0x8FFFFFF

#define CR66 0x66
#define CR66_RESET_BITS 0x03
#define CR66_RELEASE 0x02

typedef struct _savageScreenPrivate {
    uint8_t *fbBase;           /* the frame buffer (MEMORY) */
    volatile uint8_t *regBase; /* the register area (REGS) */
    uint32_t fbPhys;           /* physical base of MEMORY */
    int32_t width, height;     /* PIXWIDTH, PIXHEIGHT */
    int32_t pitchBytes;        /* PIXBYTES */
    int32_t cursorHotX, cursorHotY;
    int32_t cursorSlot; /* 1024-byte unit of the cursor image */
    CursorPtr currentCursor;
    Pixel cursorFgPixel, cursorBgPixel;
    int32_t newCursColor;
    uint32_t statusMask;      /* STATUSMASK: all set when the engine is idle */
    uint32_t planeMaskShadow; /* the plane mask last sent; ~0 after SetGraphics */
    int32_t noFill;           /* NOFILL: fills to the server */
} savageScreenPrivate, *savageScreenPrivPtr;

#if defined(__i386__)
DRV_STATIC_ASSERT(sizeof(savageScreenPrivate) == 64, "the screen private is sixteen words");
#endif

extern int savageScreenPrivateIndex;
extern const uint32_t savageROP[16];
extern volatile uint32_t savageWait;

#define SAVAGE_PRIV(pScreen)                                                                       \
    ((savageScreenPrivPtr)(pScreen)->devPrivates[savageScreenPrivateIndex].ptr)

static inline GrafinfoHandle savageGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Pixel sizes ---- */

/* Depth 24 is held in 4-byte pixels. */
static inline int savageBytesPerPixel(int depth) {
    return depth >= 24 ? 4 : (depth + 1) / 8;
}

/* The pixel bits a plane mask reaches. Depth 32 keeps all four bytes: a
 * mask cut to three would leave every pixel's top byte undrawn. */
static inline uint32_t savageDepthMask(int depth) {
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

/* ---- Register access ---- */

static inline void savageWrite(const savageScreenPrivate *priv, uint32_t reg, uint32_t v) {
    mmWrite32(priv->regBase + reg, v);
}
static inline uint32_t savageRead(const savageScreenPrivate *priv, uint32_t reg) {
    return mmRead32(priv->regBase + reg);
}

/* A command sequence staged in words and sent to the port in bursts. */
#define SEQ_BURST_WORDS 64
typedef struct {
    savageScreenPrivate *priv;
    uint32_t n;
    uint32_t words[SEQ_BURST_WORDS];
} savageSeq;

static inline void savageSeqFlush(savageSeq *q) {
    if (q->n)
        mmWriteRep32(q->priv->regBase + REG_COMMAND_PORT, q->words, q->n);
    q->n = 0;
}
static inline void savageSeqPut(savageSeq *q, uint32_t word) {
    q->words[q->n++] = word;
    if (q->n == SEQ_BURST_WORDS)
        savageSeqFlush(q);
}

static inline uint32_t savageXY(int x, int y) {
    return (uint32_t)(uint16_t)x | (uint32_t)(uint16_t)y << 16;
}

/* ---- Shared routines ---- */

/* savage.cpp */
void savageEngineIdleWait(const savageScreenPrivate *priv);
void savageSetGraphics(ScreenPtr);
Bool savageSetText(ScreenPtr);

/* savage_ops.cpp */
void savagePlaneMask(savageSeq *q, uint32_t planemask, int depth);
void savageCopyRect(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void savageDrawSolidRects(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr);
void savageDrawPoints(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr);
void savageSolidFS(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void savageSolidZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int count);
void savageDrawMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void savageDrawOpaqueMonoImage(BoxPtr, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                               int alu, uint32_t planemask, DrawablePtr);
void savageDrawImage(BoxPtr, uint8_t *pixels, int stride, int alu, uint32_t planemask, DrawablePtr);
void savageReadImage(BoxPtr, uint8_t *dst, int stride, DrawablePtr);

/* savage_shared.cpp (nelto_common.inc) */
Bool savageSetup(int unused, ScreenConfig *config);
void savageCloseScreen(int index, ScreenPtr);
void savageSaveGState(ScreenPtr);
void savageRestoreGState(ScreenPtr);
int savageBlankScreen(int on, ScreenPtr);
void savageZeroSegs(GCPtr, DrawablePtr, ZeroSegRec *, int count, int bpp);
void savageCursorInitialize(ScreenPtr);
void savageColorCursor(ScreenPtr);
void savageSetColor(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr);
void savageRestoreColormap(ScreenPtr);
Bool savageSoftwareCursorAsked(GrafinfoHandle);
Bool savageCheckMemory(int32_t height, int32_t pitchBytes, uint32_t mapped, Bool hardwareCursor,
                       const char *message, const char *badCode);

#endif
