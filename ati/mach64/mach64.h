/*
 * Private header of the Mach64 driver source: ATI Rage Pro and Mach64
 * adapters through the Mach64's memory-mapped register block.
 *
 * One source is built three times: tesk (Rage Pro), vandu (Mach64) and merro
 * (Mach64, registers reached directly, older chip class, 3-bit memory code).
 * MACH64_BUILD_<NAME> picks the build's traits record and its identifier
 * prefixes: UNAME(Init) is TESKInit, vanduInit or merroInit, LNAME(CheckedWait)
 * teskCheckedWait, vanduCheckedWait or merroCheckedWait. This header names the
 * registers, bits and codes, the register access of each build, and declares
 * the screen private and the routines the source files share.
 */
#ifndef MACH64_H
#define MACH64_H

#include "driver.h"

/* ---- Names carrying the build's prefix ---- */

#define M64_CAT2(a, b) a##b
#define M64_CAT(a, b) M64_CAT2(a, b)
#define M64_STR2(a) #a
#define M64_STR(a) M64_STR2(a)

#if defined(MACH64_BUILD_TESK)
#define M64_UPPER TESK
#define M64_LOWER tesk
#define M64_SHOUT "TESK"     /* messages that name the driver in capitals */
#define M64_AREA_NAME "TESK" /* the missing-area messages */
#define M64_QUERY_FAILED "\nTESK: Rage Pro Query failed!\n"
#elif defined(MACH64_BUILD_VANDU)
#define M64_UPPER vandu
#define M64_LOWER vandu
#define M64_SHOUT "VANDU"
#define M64_AREA_NAME "vandu"
#define M64_QUERY_FAILED "\nVANDU: mach64 Query failed!\n"
#elif defined(MACH64_BUILD_MERRO)
#define M64_UPPER merro
#define M64_LOWER merro
#define M64_SHOUT "MERRO"
#define M64_AREA_NAME "merro"
#define M64_QUERY_FAILED "\nMERRO: mach64 Query failed!\n"
#else
#error "no Mach64 build selected (MACH64_BUILD_<NAME>)"
#endif

#define UNAME(x) M64_CAT(M64_UPPER, x)
#define LNAME(x) M64_CAT(M64_LOWER, x)
#define M64_PREFIX M64_STR(M64_UPPER) /* the labels' prefix: "TESK", "vandu", "merro" */

/* ---- Build traits ---- */

enum Mach64ChipClass {
    M64_CLASS_NEW,   /* always the newer class (Rage Pro) */
    M64_CLASS_PROBE, /* by CONFIG_CHIP_ID */
    M64_CLASS_OLD    /* always the older class */
};

typedef struct _Mach64Traits {
    int bracketed; /* the register block behind the GR6 window */
    enum Mach64ChipClass chipClass;
    int oldCodeFromZero;           /* old-class memory codes 0-5 (512 KB up), else 1-5 */
    int dstYXKeepsTopBits;         /* DST_Y_X keeps bits 15 and 31 of its value */
    int compositePixWidth;         /* DP_PIX_WIDTH carries the depth's code in bits 4-7 too */
    int extMemCntl;                /* start-up writes EXT_MEM_CNTL */
    int serverTextAt800x600x32;    /* 800 x 600 x 32 on 2 MB leaves text to the server */
    const uint8_t *const *crt1600; /* the build's three 1600 x 1200 tables (60, 72, 75 Hz) */
    int rectEndWaits;              /* copies, fills and points end with the idle wait */
} Mach64Traits;

extern const Mach64Traits m64Traits;

#if defined(MACH64_BUILD_VANDU)
#define M64_HAS_MEMORYKB 1
#else
#define M64_HAS_MEMORYKB 0
#endif
#if defined(MACH64_BUILD_MERRO)
#define M64_BRACKETED 0
#else
#define M64_BRACKETED 1
#endif

/* ---- Register block (word indices from `regs`) ---- */

#define M64_REGS_IN_REGS 0xFC00u     /* the block in the REGS area */
#define M64_REGS_APERTURE8 0x7FFC00u /* ... at the end of an 8 MB aperture */
#define M64_REGS_APERTURE4 0x3FFC00u /* ... at the end of a 4 MB aperture */
#define M64_REGS_BYTES 0x400u
#define M64_EXCHANGE 0xA000u /* the mode procedures' exchange buffer in REGS */
#define M64_EXCHANGE_BYTES 30
#define M64_COLOR_SUPPORT_BYTE 19
#define M64_WINDOW_BYTES 0x10000u /* the VGA window and the REGS area */

#define CRTC_GEN_CNTL 7
#define MEM_BUF_CNTL 11
#define OVR_CLR 16
#define CUR_CLR0 24
#define CUR_CLR1 25
#define CUR_OFFSET 26
#define CUR_HORZ_VERT_POSN 27
#define CUR_HORZ_VERT_OFF 28
#define BUS_CNTL 40
#define EXT_MEM_CNTL 43
#define MEM_CNTL 44
#define MEM_VGA_RP_SEL 46
#define GEN_TEST_CNTL 52
#define CONFIG_CHIP_ID 56
#define CONFIG_STAT0 57
#define DST_OFF_PITCH 64
#define DST_Y_X 67
#define DST_HEIGHT 69
#define DST_HEIGHT_WIDTH 70
#define DST_BRES_LNTH 72
#define DST_BRES_ERR 73
#define DST_BRES_INC 74
#define DST_BRES_DEC 75
#define DST_CNTL 76
#define SRC_OFF_PITCH 96
#define SRC_Y_X 99
#define SRC_HEIGHT1_WIDTH1 102
#define SRC_Y_X_START 105
#define SRC_HEIGHT2_WIDTH2 108
#define SRC_CNTL 109
#define HOST_DATA0 128
#define HOST_CNTL 144
#define PAT_REG0 160
#define PAT_REG1 161
#define PAT_CNTL 162
#define SC_LEFT_RIGHT 170
#define SC_TOP_BOTTOM 173
#define DP_BKGD_CLR 176
#define DP_FRGD_CLR 177
#define DP_WRITE_MASK 178
#define DP_CHAIN_MASK 179
#define DP_PIX_WIDTH 180
#define DP_MIX 181
#define DP_SRC 182
#define CLR_CMP_CLR 192
#define CLR_CMP_MASK 193
#define CLR_CMP_CNTL 194
#define FIFO_STAT 196
#define CONTEXT_MASK 200
#define GUI_STAT 206

/* DAC byte registers (byte offsets from `regBytes`) */
#define DAC_W_INDEX 0xC0
#define DAC_DATA 0xC1
#define DAC_MASK 0xC2
#define DAC_R_INDEX 0xC3

/* Bits and words */
#define CRTC_BLANK 0x40u
#define CRTC_BIT11 0x800u
#define BUS_CNTL_KEEP 0xFF00FFFFu
#define BUS_CNTL_ACK 0x00AE0000u /* the latched error bits, written back as 1s */
#define GEN_ENGINE_ENABLE 0x100u
#define EXT_MEM_KEEP 0xF0FFFFFFu
#define EXT_MEM_SET 0x01000000u
#define FIFO_ERR 0x80000000u
#define FIFO_BUSY 0x1u /* an entry still queued */
#define GUI_ACTIVE 0x1u
#define CHIP_TYPE_MASK 0xFFFFu
#define CHIP_REV_FIELD 0x07000000u
#define NO_REGISTERS 0xFFFFFFFFu
#define DST_Y_X_KEEP 0x80008000u
#define BUS_ERROR_NEW 0x800000u
#define BUS_ERROR_OLD 0xA00000u

/* Engine defaults */
#define DP_SRC_FOREGROUND 0x100u
#define DP_SRC_HOST 0x200u
#define DP_SRC_BLIT 0x300u
#define SRC_CNTL_PATTERN 1u
#define DST_CNTL_X_RIGHT 0x1u
#define DST_CNTL_Y_DOWN 0x2u
#define DST_CNTL_Y_MAJOR 0x4u
#define DST_CNTL_LAST_PEL 0x20u
#define MEM_BUF_READ_ENABLE 0x800000u /* bit 23 before processor reads of video memory */
#define READ_PAGE_SHIFT 15
#define READ_PAGE_MASK 0x7FFFu
#define DP_MIX_DEFAULT 0x70003u
#define DST_CNTL_DEFAULT 0x23u
#define SRC_CNTL_DEFAULT 0x10u
#define CHAIN_MASK_16 0x8410u
#define CHAIN_MASK_OTHER 0x8080u

/* VGA graphics controller register 6 through port 0x3CE: the 128 KB map
 * makes the register block visible, the 64 KB map hides it again. */
#define VGA_GC_INDEX 0x3CE
#define GR6_128K_MAP 0x0106
#define GR6_64K_MAP 0x0506

/* The engine's command FIFO. */
#define FIFO_ENTRIES 16

/* The checked wait's poll budget. */
#define WAIT_BUDGET 0xFFFFFFu

/* Pixel-width codes of the depths. */
#define PIX_WIDTH_8 2u
#define PIX_WIDTH_16 4u
#define PIX_WIDTH_32 6u

/* Mode procedure words. */
#define SETMODE_SET 0xA002
#define SETMODE_QUERY 0xA009
#define SETMODE_BUFFER 0xA000
#define SETMODE_WORD 0x8180
#define SETMODE_FOURTH 0xB000
#define SETGRAPHICS_FIRST 0xA002

/* The off-screen layout: lines the start-up needs beyond the screen. */
#define OFFSCREEN_LINES_NEEDED 110
#define CURSOR_SIZE 64
#define TILE_AREA_WIDTH 64
#define TILE_AREA_HEIGHT 46
#define GLYPH_AREA_TOP 2
#define FONT_AREA_TOP 49
#define FONT_AREA_SPARE 50
#define PENDING_GLYPHS 256
#define PENDING_GLYPH_BYTES 12

/* ---- Screen private ---- */

typedef struct _m64Area {
    int32_t x, y, width, height;
} m64Area;

typedef struct _teskScreenPrivate {
    uint8_t *memWindow; /* MEMORY: the 64 KB VGA window, two 32 KB read pages */
    uint8_t *regsArea;  /* REGS: its offset 0xA000 is the mode exchange buffer */
    uint8_t *aperture;  /* APERTURE (linear frame buffer) or null */
    uint32_t *regs;     /* the register block */
    uint8_t *regBytes;  /* the same address, for the DAC byte registers */
    int32_t width, height, depth;
    int32_t dacShift;
    uint8_t dacSave[768];
    uint32_t colorSupport;
    int16_t cursorSize;
    CursorPtr currentCursor;
    m64Area glyphArea;
    m64Area fontArea;
    m64Area tileArea;
    m64Area offScreen;
    void *glyphCells;
    int32_t bucketCount, bucketGrowth;
    void *buckets;
    uint32_t batchFg;
    uint8_t batchAlu;
    uint32_t batchPlanemask;
    int32_t pendingCapacity, pendingCount;
    void *pending;
    GrafinfoHandle grafinfo;
    int16_t clipMaxX, clipMaxY;
    int32_t fontSlotCount;
    void *fontSlots;
    uint16_t dacWriteIndex, dacReadIndex, dacData;
    uint32_t pixWidthCode;
    int32_t frequency;
    uint32_t pitchWord;
    uint32_t shadowDpSrc, shadowDpMix, shadowWriteMask, shadowFgColor, shadowBgColor,
        shadowPixWidth, shadowDstCntl, shadowSrcCntl, shadowScissorX, shadowScissorY,
        shadowCmpColor, shadowCmpMask;
#if M64_HAS_MEMORYKB
    int32_t memoryKB;
#endif
} teskScreenPrivate, *teskScreenPrivPtr;

extern int UNAME(ScreenPrivateIndex);

#define M64_PRIV(pScreen) ((teskScreenPrivPtr)(pScreen)->devPrivates[UNAME(ScreenPrivateIndex)].ptr)

/* ---- Register access ---- */

extern "C" {
#if M64_BRACKETED
DRV_EXPORT uint32_t UNAME(_MEMR32fn)(int index, teskScreenPrivate *priv);
#endif
DRV_EXPORT void UNAME(_OUTW)(uint16_t port, uint32_t value);
DRV_EXPORT uint32_t UNAME(_INW)(uint16_t port);
}

/* The window that shows the register block in tesk and vandu: opened before
 * and closed after every access. */
static inline void m64OpenRegisters(void) {
    if (M64_BRACKETED)
        outpw(VGA_GC_INDEX, GR6_128K_MAP);
}
static inline void m64CloseRegisters(void) {
    if (M64_BRACKETED)
        outpw(VGA_GC_INDEX, GR6_64K_MAP);
}

static inline uint32_t m64In(const teskScreenPrivate *priv, int index) {
#if M64_BRACKETED
    return UNAME(_MEMR32fn)(index, (teskScreenPrivate *)priv);
#else
    return mmRead32(priv->regs + index);
#endif
}

static inline void m64Out(const teskScreenPrivate *priv, int index, uint32_t value) {
    m64OpenRegisters();
    mmWrite32(priv->regs + index, value);
    m64CloseRegisters();
}

static inline uint8_t m64InByte(const teskScreenPrivate *priv, uint32_t offset) {
    m64OpenRegisters();
    uint8_t v = mmRead8(priv->regBytes + offset);
    m64CloseRegisters();
    return v;
}

static inline void m64OutByte(const teskScreenPrivate *priv, uint32_t offset, uint8_t value) {
    m64OpenRegisters();
    mmWrite8(priv->regBytes + offset, value);
    m64CloseRegisters();
}

/* A shadowed register: written only when its value changes. */
static inline void m64OutShadowed(teskScreenPrivate *priv, uint32_t *shadow, int index,
                                  uint32_t value) {
    if (*shadow == value)
        return;
    *shadow = value;
    m64Out(priv, index, value);
}

/* DST_Y_X as the build writes it (tesk keeps bits 15 and 31). */
static inline void m64OutDstYX(const teskScreenPrivate *priv, uint32_t value) {
    if (m64Traits.dstYXKeepsTopBits)
        value |= m64In(priv, DST_Y_X) & DST_Y_X_KEEP;
    m64Out(priv, DST_Y_X, value);
}

/* The destination field of DP_PIX_WIDTH (tesk repeats it in bits 4-7). */
static inline uint32_t m64DstPixWidth(uint32_t code) {
    return m64Traits.compositePixWidth ? code | code << 4 : code;
}

static inline int m64BytesPerPixel(int depth) {
    return depth / 8;
}

/* Room for the next `n` engine register writes (1 to 16): k queued entries
 * set the k low bits of FIFO_STAT. */
static inline void FifoSpaceWait(const teskScreenPrivate *priv, int n) {
    while (m64In(priv, FIFO_STAT) & (0x10000u >> n))
        ;
}

static inline GrafinfoHandle m64Grafinfo(ScreenPtr pScreen) {
    return ddxActiveScreens[pScreen->myNum]->config->grafinfo;
}

/* ---- Shared routines ---- */

extern uint32_t UNAME(RasterOps)[16];

/* mach64_engine.cpp */
void UNAME(BuildRasterOps)(void);
void LNAME(CheckedWait)(teskScreenPrivate *priv, const char *label);
void LNAME(EngineReset)(const teskScreenPrivate *priv);
Bool LNAME(NewChipClass)(const teskScreenPrivate *priv);
Bool UNAME(InitHW)(ScreenPtr);

/* mach64_state.cpp */
int UNAME(BlankScreen)(int on, ScreenPtr);
void UNAME(SetGraphics)(ScreenPtr);
Bool UNAME(SetText)(ScreenPtr);
/* SetText with or without the palette saved at start-up. */
Bool LNAME(ToText)(ScreenPtr, Bool restoreDac);
void UNAME(SaveGState)(ScreenPtr);
void UNAME(RestoreGState)(ScreenPtr);
void UNAME(SaveDACState)(ScreenPtr);
void UNAME(RestoreDACState)(ScreenPtr);
void UNAME(SetColor)(uint32_t unused, int index, uint16_t red, uint16_t green, uint16_t blue,
                     ScreenPtr);
void UNAME(LoadColormap)(ColormapPtr);
void UNAME(RestoreColormap)(ScreenPtr);
int UNAME(ValidateWindowGC)(GCPtr, uint32_t changes, DrawablePtr);
void UNAME(ValidateWindowPriv)(WindowPtr);
void UNAME(SetClipRegions)(BoxPtr boxes, int count, DrawablePtr);
void UNAME(QueryBestSize)(int cls, uint16_t *width, uint16_t *height, ScreenPtr);
void UNAME(GlClearCache)(nfbFontPrivPtr, ScreenPtr);

/* mach64_draw.cpp */
void UNAME(CopyRect)(BoxPtr dst, DDXPointPtr src, int alu, uint32_t planemask, DrawablePtr);
void UNAME(DrawSolidRects)(BoxPtr boxes, int count, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr);
void UNAME(DrawPoints)(DDXPointPtr points, int count, Pixel fg, int alu, uint32_t planemask,
                       DrawablePtr);
void UNAME(SolidFS)(GCPtr, DrawablePtr, DDXPointPtr starts, int *widths, int count);
void UNAME(FillZeroSeg)(GCPtr, DrawablePtr, int signdx, int signdy, int axis, int x1, int y1, int e,
                        int e1, int e2, int len);
void UNAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                      DrawablePtr);
void UNAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr);

/* ---- Monochrome images, tiles and stipples, hardware cursor ---- */

#define DP_SRC_HOST_BITS 0x20100u /* 1-bit host data picks foreground or background */
#define SRC_CNTL_ROTATE 3u        /* source pattern, then the SRC_HEIGHT2_WIDTH2 rectangle */
/* Colour compare on the blit source: pixels equal to CLR_CMP_CLR are not drawn. */
#define CLR_CMP_SOURCE_EQUAL 0x1000005u
#define GEN_CURSOR_ENABLE 0x80u /* GEN_TEST_CNTL bit 7 */
#define CONFIG_STAT0_DAC_SHIFT 9
#define CONFIG_STAT0_DAC_MASK 7u
#define DAC_TYPE_CURSOR_IN_DAC 5 /* the cursor colours live in the DAC */
#define CURSOR_IMAGE_BYTES 1024
#define CURSOR_LINE_BITS 8199 /* the image as one line of 8199 / depth pixels */

/* mach64_mono.cpp */
void UNAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                          uint32_t planemask, DrawablePtr);
void UNAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                                Pixel bg, int alu, uint32_t planemask, DrawablePtr);
void UNAME(FixedDraw)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                      uint32_t planemask, DrawablePtr);
extern "C" {
DRV_EXPORT void UNAME(PackNSend)(teskScreenPrivate *priv, uint32_t *bits, int x, int y, int width,
                                 int height, int startBit, int stride);
}

/* mach64_tile.cpp */
void UNAME(TileRects)(BoxPtr boxes, int count, uint8_t *tile, int tileStride, int tileWidth,
                      int tileHeight, DDXPointPtr patOrg, int alu, uint32_t planemask, DrawablePtr);
void UNAME(StippledFillRects)(GCPtr, DrawablePtr, BoxPtr boxes, int count);
void UNAME(OpStippledFillRects)(GCPtr, DrawablePtr, BoxPtr boxes, int count);

/* mach64_cursor.cpp: the server may call CursorInitialize by name; Init
 * asks for the software cursor. */
extern "C" {
DRV_EXPORT Bool UNAME(CursorInitialize)(ScreenPtr);
}

/* ---- Packed glyph store, glyph cache and text fonts ---- */

/* A cell of the store: 512 bits (64 bytes), a 32 x 16 or 16 x 32 glyph. */
#define GLYPH_CELL_BITS 512
#define GLYPH_CACHE_MAX_WIDTH 32 /* the cache's glyphs: at most 32 wide */
#define GLYPH_BUCKETS 1024
#define GLYPH_BUCKET_GROWTH 3
#define FONT_CELL_WIDTH 16
#define FONT_CELL_HEIGHT 32
#define FONT_GLYPHS 256
#define DP_SRC_HOST_BITS_RAW 0x20000u /* 1-bit host data, both colours the background */
#define DP_SRC_BLIT_BITS 0x30100u     /* 1-bit blit source picks foreground or background */
#define DP_PIX_LSB_FIRST 0x1000000u   /* 1-bit data: first pixel in the least significant bit */
#define SRC_CNTL_LINEAR 4u
#define DST_CNTL_X_ADVANCE 0x8u

/* A cell position: x in the low 16 bits, y in the high 16 bits. */
static inline uint32_t m64CellPos(int x, int y) {
    return (uint32_t)(uint16_t)x | (uint32_t)(uint16_t)y << 16;
}

typedef struct _teskGlyphCell {
    uintptr_t fontKey; /* the nfbFontPrivate */
    uint32_t glyphKey;
    uint32_t cellPos;
    struct _teskGlyphCell *next;
} teskGlyphCell;

/* The cells: those holding a glyph (newest first) and the free ones, all
 * in one block. */
typedef struct _teskGlyphCells {
    teskGlyphCell *cellUsedList;
    teskGlyphCell *cellFreeList;
    teskGlyphCell *block;
} teskGlyphCells;

typedef struct _teskCacheEntry {
    int32_t used;
    uintptr_t fontKey;
    uint32_t glyphKey;
    uint32_t cellPos;
} teskCacheEntry;

/* A bucket gets its first entries with its first key. */
typedef struct _teskCacheBucket {
    teskCacheEntry *entries;
    int32_t size;
} teskCacheBucket;

typedef struct _teskPendingGlyph {
    uint32_t cellPos;
    int16_t x1, y1, x2, y2;
} teskPendingGlyph;

typedef struct _teskFontSlot {
    struct {
        uint16_t x, y;
    } cells[FONT_GLYPHS];
} teskFontSlot;

/* mach64_store.cpp */
uint32_t LNAME(CellOffsetWord)(const teskScreenPrivate *priv, int x, int y);
void UNAME(SetupStoreCompressed)(teskScreenPrivate *priv);
void UNAME(StoreCompressed)(int width, int height, int cellX, int cellY, const uint8_t *bitmap,
                            int stride, teskScreenPrivate *priv);
void UNAME(ResetFromCompressed)(teskScreenPrivate *priv);
void UNAME(ResetFromExpansion)(teskScreenPrivate *priv);
extern "C" {
DRV_EXPORT void UNAME(Expansion)(int width, int height, int cellX, int cellY, int dstX, int dstY,
                                 teskScreenPrivate *priv);
}

/* mach64_glyph.cpp */
Bool UNAME(GlCacheInit)(ScreenPtr);
void UNAME(GlCacheClose)(ScreenPtr);
int UNAME(GlReadCacheEntry)(ScreenPtr, uintptr_t fontKey, uint32_t glyphKey, uint32_t *cellPos);
int UNAME(GlAddCacheEntry)(ScreenPtr, uintptr_t fontKey, uint32_t glyphKey, int width, int height,
                           uint32_t *cellPos);
void UNAME(GlFlushCache)(ScreenPtr);
uint32_t LNAME(GlyphBucket)(uintptr_t fontKey, uint32_t glyphKey);
void UNAME(StartGlyphs)(DrawablePtr, Pixel fg, int alu, uint32_t planemask);
void UNAME(DrawMonoGlyphs)(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                           nfbFontPrivPtr font, DrawablePtr);

/* mach64.cpp: vandu's 800 x 600 x 32 screen on 2 MB leaves glyphs and text
 * to the server; its windows get ServerTextWinOps (mach64_state.cpp). */
Bool LNAME(LeavesTextToServer)(const teskScreenPrivate *priv);
extern WinOps UNAME(ServerTextWinOps);

/* mach64_text.cpp: InitializeText8 returns the slot count, or -1 when the
 * slot table cannot be had. */
int UNAME(InitializeText8)(ScreenPtr);
void UNAME(CloseText8)(ScreenPtr);
void UNAME(DownloadFont8)(uint8_t **glyphs, int count, int width, int height, int stride,
                          int fontSlot, ScreenPtr);
void UNAME(DrawFontText)(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int fontSlot,
                         Pixel fg, Pixel bg, int alu, uint32_t planemask, int transparent,
                         DrawablePtr);

extern PrivOps UNAME(SolidPrivOps);
extern PrivOps UNAME(TiledPrivOps);
extern PrivOps UNAME(StippledPrivOps);
extern PrivOps UNAME(OpStippledPrivOps);
extern WinOps UNAME(WinOps);

#endif
