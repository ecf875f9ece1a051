/*
 * Private header of the nte driver family: S3 accelerators driven through
 * their 8514/A-style drawing engine.
 *
 * One source is built nine times: three ways of reaching the engine (pravo:
 * ports, with image reads from the linear frame buffer; skerl: ports only;
 * tunga: the memory-mapped engine window) at three depths (8, 16, and 24 in
 * 32-bit pixels). NTE_BUILD_<NAME> picks the build's traits record and
 * DRV_NAME names its identifiers (NAME(Init) is pravo8Init in the pravo8
 * build). This header names the engine's and the adapter's registers, bits
 * and codes, the waits and the register access of each variant, and declares
 * the screen private and the routines the source files share.
 */
#ifndef NTE_H
#define NTE_H

#include "driver.h"

/* ---- Names carrying the build's driver name ---- */

#define NTE_CAT2(a, b) a##b
#define NTE_CAT(a, b) NTE_CAT2(a, b)
#define NTE_STR2(a) #a
#define NTE_STR(a) NTE_STR2(a)
#define NAME(x) NTE_CAT(DRV_NAME, x)
#define DRIVER_NAME NTE_STR(DRV_NAME)

/* ---- Build traits ---- */

enum NteVariant {
    NTE_PRAVO, /* engine by ports; MEMORY is the linear frame buffer */
    NTE_SKERL, /* engine by ports; no memory area */
    NTE_TUNGA  /* engine through MEMORY, the memory-mapped engine window */
};

typedef struct _NteTraits {
    enum NteVariant variant;
    int depth;             /* the visual's depth */
    int pixelBytes;        /* bytes of one pixel in video memory */
    uint32_t planeMaskAll; /* every pixel bit of the depth set */
    int regWrites32;       /* writes a colour or mask register takes: 2 at 32-bit pixels */
} NteTraits;

#if defined(NTE_BUILD_PRAVO8)
static const NteTraits nteTraits = {NTE_PRAVO, 8, 1, 0xFF, 1};
#elif defined(NTE_BUILD_PRAVO16)
static const NteTraits nteTraits = {NTE_PRAVO, 16, 2, 0xFFFF, 1};
#elif defined(NTE_BUILD_PRAVO24)
static const NteTraits nteTraits = {NTE_PRAVO, 24, 4, 0xFFFFFF, 2};
#elif defined(NTE_BUILD_SKERL8)
static const NteTraits nteTraits = {NTE_SKERL, 8, 1, 0xFF, 1};
#elif defined(NTE_BUILD_SKERL16)
static const NteTraits nteTraits = {NTE_SKERL, 16, 2, 0xFFFF, 1};
#elif defined(NTE_BUILD_SKERL24)
static const NteTraits nteTraits = {NTE_SKERL, 24, 4, 0xFFFFFF, 2};
#elif defined(NTE_BUILD_TUNGA8)
static const NteTraits nteTraits = {NTE_TUNGA, 8, 1, 0xFF, 1};
#elif defined(NTE_BUILD_TUNGA16)
static const NteTraits nteTraits = {NTE_TUNGA, 16, 2, 0xFFFF, 1};
#elif defined(NTE_BUILD_TUNGA24)
static const NteTraits nteTraits = {NTE_TUNGA, 24, 4, 0xFFFFFF, 2};
#else
#error "no nte build selected (NTE_BUILD_<NAME>)"
#endif

/* The screen private's layout differs by variant (skerl keeps no memory
 * address, only pravo a pixels-per-line value), so these two are macros. */
#if defined(NTE_BUILD_PRAVO8) || defined(NTE_BUILD_PRAVO16) || defined(NTE_BUILD_PRAVO24)
#define NTE_HAS_MEMBASE 1
#define NTE_HAS_PITCH 1
#elif defined(NTE_BUILD_TUNGA8) || defined(NTE_BUILD_TUNGA16) || defined(NTE_BUILD_TUNGA24)
#define NTE_HAS_MEMBASE 1
#define NTE_HAS_PITCH 0
#else
#define NTE_HAS_MEMBASE 0
#define NTE_HAS_PITCH 0
#endif

#define NTE_PSEUDOCOLOR (nteTraits.depth == 8)
#define NTE_WINDOW (nteTraits.variant == NTE_TUNGA)
#define PLANEMASK_ALL (nteTraits.planeMaskAll)
#define REG32_WRITES (nteTraits.regWrites32)

/* ---- Engine registers (8514/A port addresses; window offsets in tunga) ---- */

#define NTE_CUR_Y 0x82E8
#define NTE_CUR_X 0x86E8
#define NTE_DEST_Y 0x8AE8 /* also the axial step e1 of a line */
#define NTE_DEST_X 0x8EE8 /* also the diagonal step e2 of a line */
#define NTE_ERR_TERM 0x92E8
#define NTE_MAJ_AXIS 0x96E8 /* width less one, line length */
#define NTE_CMD 0x9AE8      /* write: command; read (always by port): status */
#define NTE_STATUS 0x9AE8
#define NTE_BG_COLOUR 0xA2E8
#define NTE_FG_COLOUR 0xA6E8
#define NTE_WRITE_MASK 0xAAE8
#define NTE_READ_MASK 0xAEE8
#define NTE_BG_MIX 0xB6E8
#define NTE_FG_MIX 0xBAE8
#define NTE_MULTI 0xBEE8 /* index in bits 12-15, a 12-bit value below */
#define NTE_PIX_TRANS 0xE2E8
#define NTE_ADV_FUNC 0x4AE8 /* taken outside the FIFO; always by port */

/* Status word */
#define STATUS_FIFO_EMPTY_BIT 0x100 /* bit (0x100 >> n) set: fewer than n entries free */
#define STATUS_DATA_READY 0x100
#define STATUS_BUSY 0x200
#define NTE_FIFO_DEPTH 8

/* Multifunction indices */
#define MULTI_HEIGHT 0x0000
#define MULTI_SCISSOR_TOP 0x1000
#define MULTI_SCISSOR_LEFT 0x2000
#define MULTI_SCISSOR_BOTTOM 0x3000
#define MULTI_SCISSOR_RIGHT 0x4000
#define MULTI_VALUE_MASK 0x0FFF

/* Pixel control (multifunction index 0xA) */
#define PIXCNTL_FOREGROUND 0xA000  /* every pixel takes the foreground mix */
#define PIXCNTL_HOST_BITS 0xA080   /* host 1-bit data picks foreground or background */
#define PIXCNTL_MEMORY_BITS 0xA0C0 /* the read-mask plane of the source picks */

/* Colour source of the foreground mix, ORed with the mix code */
#define MIX_SRC_FOREGROUND 0x20
#define MIX_SRC_HOST 0x40
#define MIX_SRC_MEMORY 0x60

/* Command words */
#define CMD_FILL 0x52B3
#define CMD_BLIT 0xC0F3
#define CMD_X_INCREASING 0x0020
#define CMD_Y_INCREASING 0x0080
#define CMD_POINT 0x201B
#define CMD_LINE_X_MAJOR 0x2017
#define CMD_LINE_Y_MAJOR 0x2057
#define CMD_HOST_PIXELS 0x53F1   /* rectangle of host pixel data */
#define CMD_HOST_BITS 0x53F3     /* rectangle of host 1-bit data, expanded */
#define CMD_READ_BACK 0x53F0     /* rectangle read back to the host */
#define CMD_CURSOR_UPLOAD 0x53B1 /* host pixel data: the cursor image */

/* Ranges of the line registers: e and e1 13-bit, e2 14-bit signed values;
 * the length is the 12-bit major axis count. */
#define LINE_ERR_MIN (-4096)
#define LINE_ERR_MAX 4095
#define LINE_DIAG_MIN (-8192)
#define LINE_DIAG_MAX 8191

#define ADV_FUNC_ENABLE_WINDOW 0x0020

/* The engine's coordinates are 12-bit counters: the screen and the
 * off-screen memory it reaches lie in a 4096 x 4096 space. */
#define NTE_COORD_LIMIT 4096

/* The tunga window: 64 KB, registers at offset = port number. */
#define NTE_WINDOW_SIZE 0x10000u

/* ---- VGA and S3 CRTC extension registers ---- */

#define VGA_MISC_READ 0x3CC
#define MISC_COLOUR_CRTC 0x01
#define CRTC_COLOUR_INDEX 0x3D4
#define CRTC_COLOUR_DATA 0x3D5
#define CRTC_MONO_INDEX 0x3B4
#define CRTC_MONO_DATA 0x3B5
#define VGA_SEQ_INDEX 0x3C4
#define VGA_SEQ_DATA 0x3C5
#define VGA_DAC_WRITE_INDEX 0x3C8
#define VGA_DAC_DATA 0x3C9

#define SR1 0x01
#define SR1_SCREEN_OFF 0x20

#define CR_CURSOR_FG 0x0E
#define CR_CURSOR_BG 0x0F
#define CR36 0x36 /* bits 7-5: the memory code the BIOS leaves */
#define CR37 0x37
#define CR38 0x38 /* 0x48 unlocks CR30-CR3F */
#define CR39 0x39 /* 0xA? unlocks CR40 and up */
#define CR40 0x40 /* bit 0: the engine's ports answer */
#define CR45 0x45 /* bit 0: hardware cursor shown */
#define CR46 0x46 /* cursor x, bits 10-8 */
#define CR47 0x47 /* cursor x, bits 7-0 */
#define CR48 0x48 /* cursor y, bits 10-8 */
#define CR49 0x49 /* cursor y, bits 7-0 */
#define CR4C 0x4C /* cursor image address in 1024-byte units, high bits */
#define CR4D 0x4D /* cursor image address in 1024-byte units, low byte */
#define CURSOR_UNIT 1024u
#define CURSOR_UNIT_MAX 0xFFFu /* CR4C bits 3-0 and CR4D */
#define CURSOR_IMAGE_BYTES 1024
#define CR4E 0x4E /* cursor columns hidden off the left edge */
#define CR4F 0x4F /* cursor rows hidden off the top edge */
#define CR50 0x50 /* bits 7, 6, 0: the engine's line length */
#define CR55 0x55 /* bit 0x10: the cursor image is mask and source words */

#define CR38_UNLOCK 0x48
#define CR39_UNLOCK 0xAD
#define CR40_ENGINE_ON 0x01
#define CR45_CURSOR_ON 0x01
#define CR55_MASK_SOURCE 0x10
#define CR36_MEMORY_CODE 0xE0
#define CR50_WIDTH_CODE 0xC1

/* ---- Screen private ---- */

#define FONT_CELL_SIZE 16
#define FONT_CELLS 256

typedef struct _FontSlot {
    uint32_t planeMask; /* the one bit plane that holds the slot's font */
    struct {
        uint16_t x, y;
    } cells[FONT_CELLS]; /* top-left pixel of each code's cell */
} FontSlot;

typedef struct _nteScreenPrivate {
#if NTE_HAS_MEMBASE
    uint8_t *memBase; /* linear frame buffer (pravo) or engine window (tunga) */
#endif
#if NTE_HAS_PITCH
    int32_t pitch; /* pixels per scan line, from CR50 */
#endif
    int32_t dacShift; /* 16 - RGBBITS (8-bit builds) */
    int32_t width, height, depth;
    int32_t osX, osY, osWidth, osHeight; /* OffScreenArea */
    int32_t scratchX, scratchY, scratchWidth, scratchHeight;
    int32_t fontSlotCount;
    FontSlot *fontSlots;
    int32_t clipRight, clipBottom; /* scissors of the full drawing extent */
    int32_t cursorLine;            /* the line holding the hardware cursor image */
    uint16_t crtcDataPort, crtcIndexPort;
    int32_t cursorHotX, cursorHotY;
    CursorPtr currentCursor;
    uint8_t cursorFgIndex, cursorBgIndex;
    int32_t pixTransExtBug;
    /* The scissors that SetClipRegions (or the full extent) set last: the
     * monochrome routines move the left one and give it back, and the
     * driver's own off-screen drawing opens them all and gives them back. */
    int32_t scissorLeft, scissorRight;
    int32_t scissorTop, scissorBottom;
    /* The engine's line in pixels (CR50) and the video memory (CR36) the
     * mode left, 0 where the code names none: what the off-screen values
     * are checked against. */
    int32_t linePixels;
    uint32_t memoryBytes;
    /* The hardware cursor image's byte address, a multiple of the 1024-byte
     * units CR4C/CR4D count in: the first such address on cursorLine. */
    uint32_t cursorAddress;
} nteScreenPrivate, *nteScreenPrivPtr;

extern int NAME(ScreenPrivateIndex);

#define NTE_PRIV(pScreen) ((nteScreenPrivPtr)(pScreen)->devPrivates[NAME(ScreenPrivateIndex)].ptr)

static inline GrafinfoHandle nteGrafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- CRTC registers, through the ports Init chose ---- */

static inline uint8_t nteReadCR(const nteScreenPrivate *priv, uint8_t index) {
    outb(priv->crtcIndexPort, index);
    return inb(priv->crtcDataPort);
}

static inline void nteWriteCR(const nteScreenPrivate *priv, uint8_t index, uint8_t value) {
    outb(priv->crtcIndexPort, index);
    outb(priv->crtcDataPort, value);
}

/* ---- Engine access ---- */

/* The status is read by port in every variant. */
static inline uint16_t nteStatus(void) {
    return inw(NTE_STATUS);
}

/* Room for the next `n` register writes (1 to 8) in the engine's FIFO. */
static inline void FifoSpaceWait(int n) {
    while (nteStatus() & (STATUS_FIFO_EMPTY_BIT >> n))
        ;
}

/* Every command that moves pixel data to or from the host is written only
 * after this, and so is every processor access to video memory. */
static inline void EngineIdleWait(void) {
    while (nteStatus() & STATUS_BUSY)
        ;
}

/* One 16-bit engine register write: a port write, or in tunga a store at
 * the port's offset in the window. */
static inline void nteOutReg(const nteScreenPrivate *priv, uint16_t port, uint16_t value) {
#if NTE_HAS_MEMBASE
    if (NTE_WINDOW) {
        mmWrite16(priv->memBase + port, value);
        return;
    }
#endif
    (void)priv;
    outw(port, value);
}

/* A colour or mask register: at 32-bit pixels two writes, low half first,
 * each counted in the FIFO (REG32_WRITES). */
static inline void nteOutReg32(const nteScreenPrivate *priv, uint16_t port, uint32_t value) {
    nteOutReg(priv, port, (uint16_t)value);
    if (REG32_WRITES == 2)
        nteOutReg(priv, port, (uint16_t)(value >> 16));
}

static inline void nteOutMulti(const nteScreenPrivate *priv, uint16_t index, int value) {
    nteOutReg(priv, NTE_MULTI, (uint16_t)(index | ((uint32_t)value & MULTI_VALUE_MASK)));
}

/* A group of register writes behind waits that cover them: the first write
 * waits for room for the whole group, and a group longer than the FIFO waits
 * again for the rest once the room it saw is used up. */
typedef struct _NteQueue {
    const nteScreenPrivate *priv;
    int room; /* writes the last wait made room for, not yet made */
    int left; /* writes of the group still to come */
} NteQueue;

static inline NteQueue nteQueue(const nteScreenPrivate *priv, int writes) {
    NteQueue q = {priv, 0, writes};
    return q;
}

static inline void nteQueueReg(NteQueue *q, uint16_t port, uint16_t value) {
    if (q->room == 0) {
        int n = q->left < 1 ? 1 : q->left > NTE_FIFO_DEPTH ? NTE_FIFO_DEPTH : q->left;
        FifoSpaceWait(n);
        q->room = n;
    }
    q->room--;
    q->left--;
    nteOutReg(q->priv, port, value);
}

/* A colour or mask register: REG32_WRITES writes. */
static inline void nteQueueReg32(NteQueue *q, uint16_t port, uint32_t value) {
    nteQueueReg(q, port, (uint16_t)value);
    if (REG32_WRITES == 2)
        nteQueueReg(q, port, (uint16_t)(value >> 16));
}

static inline void nteQueueMulti(NteQueue *q, uint16_t index, int value) {
    nteQueueReg(q, NTE_MULTI, (uint16_t)(index | ((uint32_t)value & MULTI_VALUE_MASK)));
}

/* The write mask over the depth's planes only: the bits of a 32-bit pixel
 * above depth 24 are no plane and stay as they are. */
static inline uint32_t ntePlanes(uint32_t planemask) {
    return planemask & PLANEMASK_ALL;
}

extern uint8_t NAME(RasterOps)[16];

/* The mix register's value: the alu's code with a colour source. */
static inline uint16_t nteMix(int alu, uint16_t source) {
    return (uint16_t)(NAME(RasterOps)[alu & 0xF] | source);
}

/* A box with no pixels; its sizes less one would be written as the widest
 * the 12-bit registers hold. */
static inline int nteBoxEmpty(const BoxRec *b) {
    return b->x2 <= b->x1 || b->y2 <= b->y1;
}

/* ---- Scissors ---- */

typedef struct _NteScissors {
    int32_t left, top, right, bottom;
} NteScissors;

/* ---- Shared routines ---- */

/* nte.cpp */
extern PrivOps NAME(SolidPrivOps);
Bool nteGetOffScreenDimensions(ScreenPtr);
void NAME(ValidateWindowPriv)(WindowPtr);

/* nte_engine.cpp */
void nteInitRasterOps(void);
void NAME(SetGraphics)(ScreenPtr);
typedef enum { NTE_MODE_SET, NTE_MODE_NO_PROCEDURE, NTE_MODE_TOO_LARGE } NteModeResult;
NteModeResult nteSetMode(ScreenPtr, Bool (*fits)(ScreenPtr));
Bool nteScreenFits(ScreenPtr);
Bool NAME(SetText)(ScreenPtr);
void NAME(SaveGState)(ScreenPtr);
void NAME(RestoreGState)(ScreenPtr);
int NAME(BlankScreen)(int on, ScreenPtr);
void NAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                    ScreenPtr);
void nteRestoreColormap(ScreenPtr);

/* nte_ops.cpp */
void NAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                          DrawablePtr);
void NAME(SetClipRegions)(BoxPtr boxes, int count, DrawablePtr);
void nteSetScissors(nteScreenPrivPtr, const NteScissors *);
NteScissors nteOpenScissors(nteScreenPrivPtr, int right, int bottom);
void NAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                      DrawablePtr);
void NAME(SolidZeroSeg)(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                        int e1, int e2, int len);

/* nte_image.cpp */
void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr);
void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);
void NAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr);
void NAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr);
void NAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                          nfbFontPrivPtr font, DrawablePtr);

/* nte_text.cpp */
Bool nteInitTE8(ScreenPtr, nteScreenPrivPtr);
void NAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int fontSlot,
                        Pixel fg, Pixel bg, int alu, uint32_t planemask, int transparent,
                        DrawablePtr);

/* nte_tile.cpp */
void NAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                     int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void NAME(StippledFillRects)(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void NAME(OpStippledFillRects)(GCPtr, DrawablePtr, BoxPtr boxes, int count);

/* nte_cursor.cpp */
Bool NAME(CursorInitialize)(ScreenPtr);
void NAME(ColorCursor)(ScreenPtr);

#endif
