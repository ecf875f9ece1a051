/*
 * The two-colour hardware cursor and its cache: up to four 32 x 32 images
 * loaded at once, so that going back to a recently used cursor only selects
 * its slot.
 */
#include "ct.h"

#define CT_CURSOR_SLOTS 4
#define CT_CURSOR_SLOT_BYTES 256
#define CT_CURSOR_SMALL 32
#define CT_CURSOR_LARGE 64

/* 65550: cursor registers through the index/data pair at 0x3B4/0x3B5. */
#define CT_CURSOR_INDEX 0x3B4
#define CT_CURSOR_DATA 0x3B5
#define XRA0_CONTROL 0xA0
#define XRA2_ADDRESS_LOW 0xA2
#define XRA3_ADDRESS_HIGH 0xA3
#define XRA4_X_LOW 0xA4
#define XRA5_X_HIGH 0xA5
#define XRA6_Y_LOW 0xA6
#define XRA7_Y_HIGH 0xA7
#define XR80_PALETTE 0x80
#define XRA0_OFF 0x00
#define XRA0_ON_32 0x01
#define XRA0_ON_64 0x05
#define XR80_CURSOR_COLOURS 0x01
#define XRA7_FIXED 0x80
#define CT550_CURSOR_ALIGN 0x1000
#define CT550_CURSOR_CHUNK_W 128

/* 65548 and 6430x: DR08-DR0C after the engine's ports. */
#define DR08_CURSOR 0xA3D0
#define DR09_CURSOR_COLOUR 0xA7D0
#define DR0A_CURSOR_FG 0xABD0
#define DR0B_CURSOR_X 0xAFD0
#define DR0B_CURSOR_Y 0xAFD2
#define DR0C_CURSOR_IMAGE 0xB3D0
#define DR08_ON 0x01
#define DR08_SIZE_64 0x02
#define DR08_SHOW 0x21
#define DR08_SLOT_SHIFT_LOW 2
#define DR08_SLOT_SHIFT_HIGH 22
#define DR08_LOAD_CLEAR 0xFE00FFFFu /* bits 16-24 */
#define DR08_SELECT_CLEAR 0xFF3FFFF3u
#define CT548_CURSOR_ALIGN 0x400
#define CT548_CURSOR_CHUNK_W 32

#define CT_CURSOR_CHUNK_H 64
#define CT_CURSOR_CHUNK_PITCH 16

#define CT_SIGN_MAGNITUDE 0x8000

typedef struct _ctCursorPriv {
    int32_t is64;
    uint8_t *andPlane;
    uint8_t *xorPlane;
    int32_t planeSize;
    int32_t slot; /* -1: not loaded */
    uint32_t stamp;
} ctCursorPriv, *ctCursorPrivPtr;

struct _ctCursorCache {
    CursorPtr slots[CT_CURSOR_SLOTS];
    uint32_t counter;
};

static inline ctCursorPrivPtr ctCursorPrivOf(ScreenPtr pScreen, CursorPtr pCursor) {
    return (ctCursorPrivPtr)pCursor->devPriv[pScreen->myNum];
}

/* ---- registers ---- */

static inline uint8_t ctReadCursorReg(uint8_t index) {
    outb(CT_CURSOR_INDEX, index);
    return inb(CT_CURSOR_DATA);
}

static inline void ctWriteCursorReg(uint8_t index, uint8_t value) {
    outb(CT_CURSOR_INDEX, index);
    outb(CT_CURSOR_DATA, value);
}

static inline void ctChangeDR08(uint32_t clear, uint32_t set) {
    ioOut32(DR08_CURSOR, (ioIn32(DR08_CURSOR) & clear) | set);
}

static inline uint32_t ctSlotFields(int slot) {
    return (uint32_t)slot << DR08_SLOT_SHIFT_LOW | (uint32_t)slot << DR08_SLOT_SHIFT_HIGH;
}

static void ctCursorHide(void) {
    if (CT_IS_65550)
        ctWriteCursorReg(XRA0_CONTROL, XRA0_OFF);
    else
        ctChangeDR08(~(uint32_t)DR08_ON, 0);
}

static void ctCursorShow(void) {
    if (CT_IS_65550)
        ctWriteCursorReg(XRA0_CONTROL, XRA0_ON_32);
    else
        ctChangeDR08(~0u, DR08_SHOW);
}

/* ---- the cache ---- */

static void ctCacheInitialize(ScreenPtr pScreen, ctCursorCache *cache) {
    (void)pScreen;
    for (int s = 0; s < CT_CURSOR_SLOTS; s++)
        cache->slots[s] = 0;
    cache->counter = 0;
}

static void ctCacheUnloadCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    ctCursorPrivPtr cp = ctCursorPrivOf(pScreen, pCursor);
    if (!cp || cp->slot < 0)
        return;
    priv->cursorCache->slots[cp->slot] = 0;
    cp->slot = -1;
    cp->stamp = 0;
}

static void ctCacheUnloadAllCursors(ScreenPtr pScreen) {
    ctCursorCache *cache = CT_PRIV(pScreen)->cursorCache;
    if (!cache)
        return;
    for (int s = 0; s < CT_CURSOR_SLOTS; s++)
        if (cache->slots[s])
            ctCacheUnloadCursor(pScreen, cache->slots[s]);
}

/* The first empty slot, else the one used longest ago; of equal stamps the
 * later slot. */
static int ctCacheFindOldestCursor(ScreenPtr pScreen) {
    ctCursorCache *cache = CT_PRIV(pScreen)->cursorCache;
    int oldest = 0;
    uint32_t smallest = cache->counter;
    for (int s = 0; s < CT_CURSOR_SLOTS; s++) {
        if (!cache->slots[s])
            return s;
        uint32_t stamp = ctCursorPrivOf(pScreen, cache->slots[s])->stamp;
        if (stamp <= smallest) {
            smallest = stamp;
            oldest = s;
        }
    }
    return oldest;
}

/* Slot s of the store: AND bytes even, XOR bytes odd. */
static void ctCopyToStore(ctScreenPrivPtr priv, ctCursorPrivPtr cp) {
#if CT_IS_6430X
    (void)priv;
    (void)cp;
#else
    ctWaitIdle();
    uint8_t *at = priv->cursorImage + cp->slot * CT_CURSOR_SLOT_BYTES;
    for (int i = 0; i < cp->planeSize; i++) {
        mmWrite8(at + 2 * i, cp->andPlane[i]);
        mmWrite8(at + 2 * i + 1, cp->xorPlane[i]);
    }
#endif
}

static void ctWritePlanePort(const uint8_t *plane, int bytes) {
    for (int i = 0; i < bytes; i += 4) {
        uint32_t word = (uint32_t)plane[i] | (uint32_t)plane[i + 1] << 8 |
                        (uint32_t)plane[i + 2] << 16 | (uint32_t)plane[i + 3] << 24;
        ioOut32(DR0C_CURSOR_IMAGE, word);
    }
}

static int ctCacheLoadCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    ctCursorCache *cache = priv->cursorCache;
    ctCursorPrivPtr cp = ctCursorPrivOf(pScreen, pCursor);
    int slot;
    if (cp->is64) {
        ctCacheUnloadAllCursors(pScreen);
        cache->counter = 0;
        slot = 0;
    } else {
        /* A 64 x 64 image fills the whole store: a smaller one loaded
         * beside it would overwrite part of it. */
        if (cache->slots[0] && ctCursorPrivOf(pScreen, cache->slots[0])->is64)
            ctCacheUnloadCursor(pScreen, cache->slots[0]);
        slot = ctCacheFindOldestCursor(pScreen);
        if (cache->slots[slot])
            ctCacheUnloadCursor(pScreen, cache->slots[slot]);
    }
    cache->slots[slot] = pCursor;
    cp->slot = slot;
    if (CT_IS_65550) {
        (void)ctReadCursorReg(XRA0_CONTROL);
        ctWriteCursorReg(XRA0_CONTROL, cp->is64 ? XRA0_ON_64 : XRA0_ON_32);
        ctWriteCursorReg(XRA2_ADDRESS_LOW,
                         (uint8_t)((ctReadCursorReg(XRA2_ADDRESS_LOW) & 0x0F) | (slot * 16)));
    } else {
        ctChangeDR08(~(uint32_t)DR08_SIZE_64, cp->is64 ? DR08_SIZE_64 : 0);
        ctChangeDR08(DR08_LOAD_CLEAR, (uint32_t)slot << DR08_SLOT_SHIFT_HIGH);
    }
    if (CT_IS_6430X) {
        ctWritePlanePort(cp->andPlane, cp->planeSize);
        ctWritePlanePort(cp->xorPlane, cp->planeSize);
    } else {
        ctCopyToStore(priv, cp);
    }
    return slot;
}

static void ctCacheFree(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    Xfree(priv->cursorCache);
    priv->cursorCache = 0;
}

/* ---- the pointer functions ---- */

static Bool ctRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    CursorBitsPtr bits = pCursor->bits;
    int w = bits->width, h = bits->height;
    Bool is64 = w > CT_CURSOR_SMALL || h > CT_CURSOR_SMALL;
    int side = is64 ? CT_CURSOR_LARGE : CT_CURSOR_SMALL;
    int rowBytes = side / 8;
    int planeSize = rowBytes * side;
    if (w > side)
        w = side;
    if (h > side)
        h = side;
    ctCursorPrivPtr cp = (ctCursorPrivPtr)Xalloc(sizeof(ctCursorPriv) + 2 * (uint32_t)planeSize);
    if (!cp)
        return 0;
    cp->is64 = is64;
    cp->andPlane = (uint8_t *)(cp + 1);
    cp->xorPlane = cp->andPlane + planeSize;
    cp->planeSize = planeSize;
    cp->slot = -1;
    cp->stamp = 0;
    memset(cp->andPlane, 0xFF, (size_t)planeSize);
    memset(cp->xorPlane, 0x00, (size_t)planeSize);
    int stride = PixmapBytePad(bits->width, 1);
    for (int y = 0; y < h; y++)
        for (int k = 0; k < (w + 7) / 8; k++) {
            uint8_t mask = ddxBitSwap[bits->mask[y * stride + k]];
            uint8_t source = ddxBitSwap[bits->source[y * stride + k]];
            cp->andPlane[y * rowBytes + k] = (uint8_t)~mask;
            cp->xorPlane[y * rowBytes + k] = (uint8_t)(mask & ~source);
        }
    pCursor->devPriv[pScreen->myNum] = cp;
    return 1;
}

static void ctSetCursor(ScreenPtr, CursorPtr, int x, int y);

static Bool ctUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    if (pCursor->refcnt > 0)
        return 0;
    ctCursorPrivPtr cp = ctCursorPrivOf(pScreen, pCursor);
    if (!cp)
        return 1;
    if (cp->slot >= 0)
        ctCacheUnloadCursor(pScreen, pCursor);
    if (CT_PRIV(pScreen)->curCursor == pCursor)
        ctSetCursor(pScreen, 0, 0, 0);
    pCursor->devPriv[pScreen->myNum] = 0;
    Xfree(cp);
    return 1;
}

static uint16_t ctSignMagnitude(int v) {
    if (v < 0)
        return (uint16_t)(CT_SIGN_MAGNITUDE | ((uint32_t)-v & 0x7FFF));
    return (uint16_t)(v & 0x7FFF);
}

static void ctMoveCursor(ScreenPtr pScreen, int x, int y) {
    CursorPtr pCursor = CT_PRIV(pScreen)->curCursor;
    if (!pCursor)
        return;
    uint16_t dx = ctSignMagnitude(x - pCursor->bits->xhot);
    uint16_t dy = ctSignMagnitude(y - pCursor->bits->yhot);
    if (CT_IS_65550) {
        ctWriteCursorReg(XRA4_X_LOW, (uint8_t)dx);
        ctWriteCursorReg(XRA5_X_HIGH, (uint8_t)((dx >> 8) & 0x07));
        ctWriteCursorReg(XRA6_Y_LOW, (uint8_t)dy);
        ctWriteCursorReg(XRA7_Y_HIGH, (uint8_t)(((dy >> 8) & 0x07) | XRA7_FIXED));
    } else {
        ioOut16(DR0B_CURSOR_X, dx);
        ioOut16(DR0B_CURSOR_Y, dy);
    }
}

static void ctRecolorCursor(ScreenPtr pScreen, CursorPtr pCursor, Bool displayed) {
    (void)pScreen;
    if (!displayed)
        return;
    const CursorRec *c = pCursor;
    if (CT_IS_65550) {
        uint8_t old = ctReadCursorReg(XR80_PALETTE);
        ctWriteCursorReg(XR80_PALETTE, (uint8_t)(old | XR80_CURSOR_COLOURS));
        outb(CT_DAC_WRITE_INDEX, 0);
        outb(CT_DAC_DATA, (uint8_t)(c->backRed >> 11));
        outb(CT_DAC_DATA, (uint8_t)(c->backGreen >> 10));
        outb(CT_DAC_DATA, (uint8_t)(c->backBlue >> 11));
        outb(CT_DAC_DATA, (uint8_t)(c->foreRed >> 11));
        outb(CT_DAC_DATA, (uint8_t)(c->foreGreen >> 10));
        outb(CT_DAC_DATA, (uint8_t)(c->foreBlue >> 11));
        ctWriteCursorReg(XR80_PALETTE, old);
    } else if (ctTraits.chip == CT_65548) {
        ioOut32(DR09_CURSOR_COLOUR,
                (uint32_t)(c->backRed >> 11) << 27 | (uint32_t)(c->backGreen >> 10) << 21 |
                    (uint32_t)(c->backBlue >> 11) << 16 | (uint32_t)(c->foreRed >> 11) << 11 |
                    (uint32_t)(c->foreGreen >> 10) << 5 | (uint32_t)(c->foreBlue >> 11));
    } else {
        ioOut32(DR09_CURSOR_COLOUR, (uint32_t)(c->backRed >> 8) << 16 |
                                        (uint32_t)(c->backGreen >> 8) << 8 |
                                        (uint32_t)(c->backBlue >> 8));
        ioOut32(DR0A_CURSOR_FG, (uint32_t)(c->foreRed >> 8) << 16 |
                                    (uint32_t)(c->foreGreen >> 8) << 8 |
                                    (uint32_t)(c->foreBlue >> 8));
    }
}

static void ctSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (!pCursor) {
        if (priv->curCursor) {
            ctCursorHide();
            priv->curCursor = 0;
        }
        return;
    }
    ctCursorPrivPtr cp = ctCursorPrivOf(pScreen, pCursor);
    if (!cp)
        return;
    ctCursorHide();
    if (cp->slot < 0)
        cp->slot = ctCacheLoadCursor(pScreen, pCursor);
    cp->stamp = priv->cursorCache->counter++;
    if (CT_IS_65550) {
        ctWriteCursorReg(XRA2_ADDRESS_LOW,
                         (uint8_t)((ctReadCursorReg(XRA2_ADDRESS_LOW) & 0x0F) | (cp->slot << 4)));
    } else {
        /* The size goes with the selection: the last load may have been of
         * the other size. */
        ctChangeDR08(DR08_SELECT_CLEAR & ~(uint32_t)DR08_SIZE_64,
                     ctSlotFields(cp->slot) | (cp->is64 ? DR08_SIZE_64 : 0));
    }
    priv->curCursor = pCursor;
    ctRecolorCursor(pScreen, pCursor, 1);
    ctMoveCursor(pScreen, x, y);
    ctCursorShow();
}

static PointerFuncs ctPointerFuncs = {ctRealizeCursor, ctUnrealizeCursor, ctSetCursor,
                                      ctMoveCursor};

/* ---- set-up, release and visibility ---- */

/* The store the images are copied to: a heap chunk with room for a whole
 * aligned kilobyte. */
static Bool ctCursorStore(ScreenPtr pScreen, ctScreenPrivPtr priv) {
#if CT_IS_6430X
    (void)pScreen;
    (void)priv;
    return 1;
#else
    int chunkW = CT_IS_65550 ? CT550_CURSOR_CHUNK_W : CT548_CURSOR_CHUNK_W;
    uint32_t align = CT_IS_65550 ? CT550_CURSOR_ALIGN : CT548_CURSOR_ALIGN;
    ctOnboardChunk *chunk = NAME(OnboardAlloc)(pScreen, chunkW, CT_CURSOR_CHUNK_H,
                                               CT_CURSOR_CHUNK_PITCH, __FILE__, __LINE__);
    if (!chunk)
        return 0;
    priv->cursorChunk = chunk;
    uint32_t offset = ((uint32_t)chunk->offset + align) & ~(align - 1);
    priv->cursorImage = priv->fbBase + offset;
    if (CT_IS_65550) {
        ctWriteCursorReg(XRA2_ADDRESS_LOW, (uint8_t)((ctReadCursorReg(XRA2_ADDRESS_LOW) & 0xF0) |
                                                     ((offset >> 12) & 0x0F)));
        ctWriteCursorReg(XRA3_ADDRESS_HIGH, (uint8_t)((ctReadCursorReg(XRA3_ADDRESS_HIGH) & 0xC0) |
                                                      ((offset >> 16) & 0x3F)));
    } else {
        ioOut32(DR0C_CURSOR_IMAGE, offset);
    }
    return 1;
#endif
}

void NAME(CursorInitialize)(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (priv->hwCursor && !ctCursorStore(pScreen, priv)) {
        /* No room for the images: the server draws this screen's cursor. */
        priv->hwCursor = 0;
    }
    if (!priv->hwCursor) {
        vexoSWCursorInitialize(pScreen);
        return;
    }
    priv->cursorCache = (ctCursorCache *)Xalloc(sizeof(ctCursorCache));
    if (!priv->cursorCache) {
#if !CT_IS_6430X
        NAME(OnboardFree)(pScreen, priv->cursorChunk, __FILE__, __LINE__);
        priv->cursorChunk = 0;
#endif
        priv->hwCursor = 0;
        vexoSWCursorInitialize(pScreen);
        return;
    }
    ctCacheInitialize(pScreen, priv->cursorCache);
    if (!vexoPointerInitialize(pScreen, &ctPointerFuncs, 1))
        FatalError("Cannot initialize Hardware Cursor\n");
    pScreen->RecolorCursor = ctRecolorCursor;
    priv->curCursor = 0;
}

void NAME(CursorFree)(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (!priv->hwCursor)
        return;
#if !CT_IS_6430X
    if (priv->cursorChunk) {
        NAME(OnboardFree)(pScreen, priv->cursorChunk, __FILE__, __LINE__);
        priv->cursorChunk = 0;
    }
#endif
    ctCacheUnloadAllCursors(pScreen);
    ctCacheFree(pScreen);
}

void ctCursorOn(ScreenPtr pScreen) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (priv->hwCursor && priv->curCursor)
        ctCursorShow();
}

void ctCursorOff(ScreenPtr pScreen, Bool unload) {
    ctScreenPrivPtr priv = CT_PRIV(pScreen);
    if (!priv->hwCursor)
        return;
    if (unload)
        ctCacheUnloadAllCursors(pScreen);
    ctCursorHide();
}
