/*
 * gd5436 family: the image slots. Pixel images move through the linear frame
 * buffer by the processor: read back; GXcopy copied straight in; other alus
 * staged in the ScratchArea and applied by one engine copy; partial plane
 * masks merged byte by byte. 1-bit images are staged in the ScratchArea with
 * their bits reversed (the engine takes the leftmost pixel in the most
 * significant bit) and expanded by the engine.
 *
 * The 3-byte-pixel builds take 32-bit client pixels: three bytes are stored,
 * low byte first, and read back into the low three bytes of a client pixel,
 * whose fourth byte is left as it was.
 */
#include "gd5436.h"

/* ---- Processor image paths ---- */

/* Client pixels: 1 or 2 bytes, or 4 when video memory holds 3-byte pixels. */
#define CLIENT_PIXEL_BYTES (gd5436Traits.pixel24 ? 4 : PIXEL_BYTES)

static uint8_t *gd5436ScreenAddress(gd5436ScreenPrivPtr priv, int x, int y) {
    return priv->fbBase + gd5436PixelOffset(priv, x, y);
}

static Bool gd5436AllPlanes(uint32_t planemask) {
    return (planemask & PLANEMASK_ALL) == PLANEMASK_ALL;
}

/* Four client pixels into 12 bytes of 3-byte pixels and back, a word at a
 * time (separate word stores keep the writes to video memory fast); both the
 * host and the target are little-endian. */
static void gd5436Pack4(uint8_t *d, const uint8_t *s) {
    uint32_t p[4];
    __builtin_memcpy(p, s, sizeof p);
    uint32_t o0 = (p[0] & 0xFFFFFF) | p[1] << 24;
    uint32_t o1 = (p[1] >> 8 & 0xFFFF) | p[2] << 16;
    uint32_t o2 = (p[2] >> 16 & 0xFF) | p[3] << 8;
    __builtin_memcpy(d, &o0, 4);
    __builtin_memcpy(d + 4, &o1, 4);
    __builtin_memcpy(d + 8, &o2, 4);
}

/* The client pixels' fourth bytes are kept. */
static void gd5436Unpack4(uint8_t *d, const uint8_t *s) {
    uint32_t i[3], p[4];
    __builtin_memcpy(i, s, sizeof i);
    __builtin_memcpy(p, d, sizeof p);
    p[0] = (p[0] & 0xFF000000) | (i[0] & 0xFFFFFF);
    p[1] = (p[1] & 0xFF000000) | i[0] >> 24 | (i[1] & 0xFFFF) << 8;
    p[2] = (p[2] & 0xFF000000) | i[1] >> 16 | (i[2] & 0xFF) << 16;
    p[3] = (p[3] & 0xFF000000) | i[2] >> 8;
    __builtin_memcpy(d, p, sizeof p);
}

#if defined(__SSE2__)
/* Where the processor has 128-bit vector registers, the body of a row goes
 * through them four pixels at a time, as two 64-bit halves of two pixels each
 * (the loads and stores below compile to single moves). Without them the
 * compiler would split every vector operation into word operations, and the
 * word routines above are the better choice. */
#define GD5436_WIDE_ROWS 1

typedef uint64_t gd5436Halves __attribute__((vector_size(16)));

/* Four client pixels packed into 12 bytes: in each half the second pixel is
 * moved down one byte over the first pixel's fourth byte, and each half is
 * stored as one 8-byte word, the second at d + 6. Every word carries two
 * bytes past its six, which the next store overwrites: the caller leaves at
 * least one more pixel of the row after the group. */
static inline void gd5436Pack4Wide(uint8_t *d, const uint8_t *s) {
    gd5436Halves p;
    __builtin_memcpy(&p, s, sizeof p);
    gd5436Halves q = p >> 8;
    gd5436Halves r = q ^ ((p ^ q) & 0xFFFFFF);
    uint64_t lo = r[0], hi = r[1];
    __builtin_memcpy(d, &lo, sizeof lo);
    __builtin_memcpy(d + 6, &hi, sizeof hi);
}

/* 12 bytes of 3-byte pixels into four client pixels, their fourth bytes kept:
 * the halves are read as 8-byte words at s and s + 6, two bytes past the
 * group (the caller leaves at least one more pixel of the row after it). */
static inline void gd5436Unpack4Wide(uint8_t *d, const uint8_t *s) {
    const gd5436Halves first = {0xFFFFFF, 0xFFFFFF};
    const gd5436Halves second = {0xFFFFFF00000000, 0xFFFFFF00000000};
    const gd5436Halves kept = {0xFF000000FF000000, 0xFF000000FF000000};
    uint64_t lo, hi;
    __builtin_memcpy(&lo, s, sizeof lo);
    __builtin_memcpy(&hi, s + 6, sizeof hi);
    gd5436Halves p = {lo, hi}, c;
    __builtin_memcpy(&c, d, sizeof c);
    gd5436Halves r = (p & first) | (p << 8 & second) | (c & kept);
    __builtin_memcpy(d, &r, sizeof r);
}
#endif

/* One row of w client pixels into video memory. */
static void gd5436PutRow(uint8_t *d, const uint8_t *s, int w) {
    if (!gd5436Traits.pixel24) {
        __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
        return;
    }
    int x = 0;
#ifdef GD5436_WIDE_ROWS
    /* Sixteen pixels a step, then four, while a pixel follows the group. */
    for (; x + 17 <= w; x += 16, d += 48, s += 64) {
        gd5436Pack4Wide(d, s);
        gd5436Pack4Wide(d + 12, s + 16);
        gd5436Pack4Wide(d + 24, s + 32);
        gd5436Pack4Wide(d + 36, s + 48);
    }
    for (; x + 5 <= w; x += 4, d += 12, s += 16)
        gd5436Pack4Wide(d, s);
#endif
    for (; x + 4 <= w; x += 4, d += 12, s += 16)
        gd5436Pack4(d, s);
    for (; x < w; x++, d += 3, s += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

/* One row of w pixels out of video memory into client pixels. */
static void gd5436GetRow(uint8_t *d, const uint8_t *s, int w) {
    if (!gd5436Traits.pixel24) {
        __builtin_memcpy(d, s, (size_t)w * PIXEL_BYTES);
        return;
    }
    int x = 0;
#ifdef GD5436_WIDE_ROWS
    /* Sixteen pixels a step, then four, while a pixel follows the group. */
    for (; x + 17 <= w; x += 16, d += 64, s += 48) {
        gd5436Unpack4Wide(d, s);
        gd5436Unpack4Wide(d + 16, s + 12);
        gd5436Unpack4Wide(d + 32, s + 24);
        gd5436Unpack4Wide(d + 48, s + 36);
    }
    for (; x + 5 <= w; x += 4, d += 16, s += 12)
        gd5436Unpack4Wide(d, s);
#endif
    for (; x + 4 <= w; x += 4, d += 16, s += 12)
        gd5436Unpack4(d, s);
    for (; x < w; x++, d += 4, s += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

/* h rows of w client pixels into video memory at `dst`, `pitch` apart. */
static void gd5436PutRows(uint8_t *dst, int pitch, const uint8_t *pixels, int stride, int w,
                          int h) {
    for (int y = 0; y < h; y++)
        gd5436PutRow(dst + (intptr_t)y * pitch, pixels + (intptr_t)y * stride, w);
}

void NAME(ReadImage)(BoxPtr box, uint8_t *dst, int stride, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    EngineIdleWait(priv->bltBase);
    if (w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++)
        gd5436GetRow(dst + (intptr_t)y * stride, gd5436ScreenAddress(priv, box->x1, box->y1 + y),
                     w);
}

/* Any alu under any plane mask, byte by byte: new = (dst AND NOT pm) OR
 * (f(src, dst) AND pm). */
void gd5436DrawImageWithPlanemask(BoxPtr box, uint8_t *pixels, int stride, int alu,
                                  uint32_t planemask, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    alu &= 0xF;
    planemask &= PLANEMASK_ALL;
    EngineIdleWait(priv->bltBase);
    if (planemask == 0 || alu == GXnoop || w <= 0 || h <= 0)
        return;
    for (int y = 0; y < h; y++) {
        uint8_t *d = gd5436ScreenAddress(priv, box->x1, box->y1 + y);
        const uint8_t *s = pixels + (intptr_t)y * stride;
        for (int x = 0; x < w; x++) {
            for (int k = 0; k < PIXEL_BYTES; k++) {
                uint8_t pm = (uint8_t)(planemask >> (8 * k));
                uint8_t *db = d + x * PIXEL_BYTES + k;
                *db = (uint8_t)xMergeAlu(alu, s[x * CLIENT_PIXEL_BYTES + k], *db, pm);
            }
        }
    }
}

/* Whether h staged rows of `rowBytes`, `pitch` apart from offAddr, stay
 * inside the ScratchArea and clear of the CursorArea. */
static Bool gd5436RowsFit(const gd5436ScreenPrivate *priv, int rowBytes, int h) {
    uint64_t end =
        (uint64_t)(uint32_t)priv->offAddr + (uint64_t)(h - 1) * (uint32_t)priv->pitch + rowBytes;
    return h <= priv->offHeight && end <= gd5436ScratchEnd(priv);
}

/* The box cut at row `split`: its top part and the rest. */
static void gd5436SplitBox(const BoxRec *box, int split, BoxRec *top, BoxRec *rest) {
    *top = *box;
    *rest = *box;
    top->y2 = (int16_t)(box->y1 + split);
    rest->y1 = top->y2;
}

/* Other alus: the rows go into the ScratchArea and one engine copy applies
 * the alu. An image wider than the ScratchArea is merged by the processor; one
 * taller than it is halved until the halves fit. */
void gd5436DrawImageWithAlu(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                            DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    volatile uint8_t *blt = priv->bltBase;
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    if (w <= 0 || h <= 0)
        return;
    if (priv->offWidth < w) {
        gd5436DrawImageWithPlanemask(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    if (!gd5436RowsFit(priv, w * PIXEL_BYTES, h)) {
        if (h == 1) {
            gd5436DrawImageWithPlanemask(box, pixels, stride, alu, planemask, pDraw);
            return;
        }
        BoxRec top, rest;
        gd5436SplitBox(box, h / 2, &top, &rest);
        gd5436DrawImageWithAlu(&top, pixels, stride, alu, planemask, pDraw);
        gd5436DrawImageWithAlu(&rest, pixels + (intptr_t)stride * (h / 2), stride, alu, planemask,
                               pDraw);
        return;
    }
    EngineIdleWait(blt);
    gd5436PutRows(priv->fbBase + priv->offAddr, priv->pitch, pixels, stride, w, h);
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWriteSource(blt, (uint32_t)priv->offAddr);
    gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, box->x1, box->y1));
    gd5436BltWriteSize(blt, w * PIXEL_BYTES, h);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite16(blt, BLT_SRC_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite8(blt, BLT_MODE, BLT_MODE_COPY);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_START);
}

void NAME(DrawImage)(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t planemask,
                     DrawablePtr pDraw) {
    if (!gd5436AllPlanes(planemask)) {
        gd5436DrawImageWithPlanemask(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    if ((alu & 0xF) != GXcopy) {
        gd5436DrawImageWithAlu(box, pixels, stride, alu, planemask, pDraw);
        return;
    }
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    int w = box->x2 - box->x1, h = box->y2 - box->y1;
    EngineIdleWait(priv->bltBase);
    if (w <= 0 || h <= 0)
        return;
    gd5436PutRows(gd5436ScreenAddress(priv, box->x1, box->y1), priv->pitch, pixels, stride, w, h);
}

/* ---- 1-bit images by colour expansion ---- */

/* Where a bitmap starts: the byte holding its first pixel and the pixels to
 * skip in it. The blit starts `skip` pixels left of the box. */
typedef struct {
    uint8_t *bits;
    int skip; /* l: pixels left of the box in the first byte */
    int x0;   /* x1 - l */
    int w0;   /* x2 - x0 */
} gd5436BitmapStart;

static gd5436BitmapStart gd5436StartOf(const BoxRec *box, uint8_t *bits, int startBit) {
    gd5436BitmapStart b;
    b.skip = startBit & 7;
    b.bits = bits + (startBit >> 3);
    b.x0 = box->x1 - b.skip;
    b.w0 = box->x2 - b.x0;
    return b;
}

/* Bytes of one staged row: whole bytes of w0 pixels. */
static int gd5436BitmapRowBytes(int w0) {
    return (w0 + 7) / 8;
}

/* The skip register counts pixels, or bytes where a pixel takes three. */
static uint8_t gd5436SkipCount(int l) {
    return (uint8_t)(l * (gd5436Traits.pixel24 ? 3 : 1));
}

/* Rows of a bitmap, bit-reversed and packed one after the other at `dst`. */
static void gd5436StageBits(uint8_t *dst, const uint8_t *bits, int stride, int rowBytes, int h) {
    for (int y = 0; y < h; y++) {
        const uint8_t *s = bits + (intptr_t)y * stride;
        for (int i = 0; i < rowBytes; i++)
            *dst++ = ddxBitSwap[s[i]];
    }
}

/* A blit that starts left of the screen's first pixel on line 0 would need a
 * negative address; the generic routine draws it. */
static Bool gd5436StartsBeforeMemory(const BoxRec *box, int x0) {
    return x0 < 0 && box->y1 == 0;
}

static Bool gd5436AluIgnoresSource(int alu) {
    return alu == GXclear || alu == GXinvert || alu == GXset;
}

void NAME(DrawMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                         uint32_t planemask, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    volatile uint8_t *blt = priv->bltBase;
    gd5436BitmapStart b = gd5436StartOf(box, bits, startBit);
    int h = box->y2 - box->y1;
    alu &= 0xFF;
    if (gd5436StartsBeforeMemory(box, b.x0) || !gd5436AllPlanes(planemask) ||
        gd5436AluIgnoresSource(alu)) {
        genDrawMonoImage(box, b.bits, b.skip, stride, fg, alu, planemask, pDraw);
        return;
    }
    if (box->x2 <= box->x1 || h <= 0)
        return;
    int rowBytes = gd5436BitmapRowBytes(b.w0);
    /* Staged size against staging space, bytes with bytes. */
    if ((uint64_t)rowBytes * (uint64_t)h > gd5436ScratchBytes(priv)) {
        if (h == 1) {
            genDrawMonoImage(box, b.bits, b.skip, stride, fg, alu, planemask, pDraw);
            return;
        }
        BoxRec top, rest;
        gd5436SplitBox(box, h / 2, &top, &rest);
        NAME(DrawMonoImage)(&top, b.bits, b.skip, stride, fg, alu, planemask, pDraw);
        NAME(DrawMonoImage)
        (&rest, b.bits + (intptr_t)stride * (h / 2), b.skip, stride, fg, alu, planemask, pDraw);
        return;
    }
    EngineIdleWait(blt);
    gd5436StageBits(priv->fbBase + priv->offAddr, b.bits, stride, rowBytes, h);
    EngineIdleWait(blt);
    if (b.skip)
        gd5436BltWrite8(blt, BLT_SKIP, gd5436SkipCount(b.skip));
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWriteSource(blt, (uint32_t)priv->offAddr);
    gd5436BltWrite32(blt, BLT_DST_ADDR, gd5436PixelOffset(priv, b.x0, box->y1));
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWriteSize(blt, b.w0 * PIXEL_BYTES, h);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, fg);
    gd5436BltWrite8(blt, BLT_MODE, gd5436ModeFor(BLT_MODE_EXPAND_TRANSPARENT));
    gd5436BltWrite8(blt, BLT_STATUS, BLT_START);
    EngineIdleWait(blt);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, 0);
    if (b.skip)
        gd5436BltWrite8(blt, BLT_SKIP, 0);
}

/* Opaque rows go one at a time through offAddr, so a row must fit in one
 * line of the ScratchArea (and stay clear of the CursorArea); this compares
 * the staged bytes with bytes. */
static Bool gd5436OpaqueRowFits(const gd5436ScreenPrivate *priv, int w0) {
    uint32_t room = (uint32_t)priv->offWidth * (uint32_t)PIXEL_BYTES;
    uint32_t scratch = gd5436ScratchBytes(priv);
    if (scratch < room)
        room = scratch;
    return (uint32_t)gd5436BitmapRowBytes(w0) <= room;
}

/* Common set-up of an opaque bitmap: every row is one autostarted expansion
 * from offAddr, one line high. */
static void gd5436BeginOpaqueRows(gd5436ScreenPrivPtr priv, const gd5436BitmapStart *b, Pixel fg,
                                  Pixel bg, int alu, uint8_t mode) {
    volatile uint8_t *blt = priv->bltBase;
    EngineIdleWait(blt);
    if (b->skip)
        gd5436BltWrite8(blt, BLT_SKIP, gd5436SkipCount(b->skip));
    gd5436BltWrite8(blt, BLT_ROP, NAME(RasterOps)[alu & 0xF]);
    gd5436BltWriteSource(blt, (uint32_t)priv->offAddr);
    gd5436BltWriteSize(blt, b->w0 * PIXEL_BYTES, 1);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, fg);
    gd5436BltWriteColour(blt, BLT_BG_COLOUR, bg);
    gd5436BltWrite16(blt, BLT_DST_PITCH, (uint16_t)priv->pitch);
    gd5436BltWrite8(blt, BLT_MODE, gd5436ModeFor(mode));
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART);
}

static void gd5436EndOpaqueRows(volatile uint8_t *blt, const gd5436BitmapStart *b) {
    EngineIdleWait(blt);
    gd5436BltWrite8(blt, BLT_STATUS, BLT_AUTOSTART_OFF);
    gd5436BltWriteColour(blt, BLT_FG_COLOUR, 0);
    gd5436BltWriteColour(blt, BLT_BG_COLOUR, 0);
    if (b->skip)
        gd5436BltWrite8(blt, BLT_SKIP, 0);
}

/* Row y of the bitmap into the staging line, once the engine has drawn the
 * previous one from it. */
static void gd5436StageRow(gd5436ScreenPrivPtr priv, const gd5436BitmapStart *b, int stride,
                           int row) {
    EngineIdleWait(priv->bltBase);
    gd5436StageBits(priv->fbBase + priv->offAddr, b->bits + (intptr_t)row * stride, stride,
                    gd5436BitmapRowBytes(b->w0), 1);
}

/* Two transparent expansions per row: the 1 bits in fg, then, with the source
 * inverted, the 0 bits in bg through the same foreground register. */
static void gd5436OpaqueRows24(gd5436ScreenPrivPtr priv, const BoxRec *box,
                               const gd5436BitmapStart *b, int stride, Pixel fg, Pixel bg) {
    volatile uint8_t *blt = priv->bltBase;
    for (int y = box->y1; y < box->y2; y++) {
        gd5436StageRow(priv, b, stride, y - box->y1);
        uint32_t dst = gd5436PixelOffset(priv, b->x0, y);
        gd5436BltWrite32(blt, BLT_DST_ADDR, dst);
        EngineRoomWait(blt);
        gd5436BltWriteColour(blt, BLT_FG_COLOUR, bg);
        gd5436BltWrite8(blt, BLT_MODE_EXT, BLT_MODE_EXT_INVERT_SOURCE);
        gd5436BltWrite32(blt, BLT_DST_ADDR, dst);
        EngineRoomWait(blt);
        gd5436BltWrite8(blt, BLT_MODE_EXT, BLT_MODE_EXT_NONE);
        gd5436BltWriteColour(blt, BLT_FG_COLOUR, fg);
    }
}

void NAME(DrawOpaqueMonoImage)(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                               Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    gd5436ScreenPrivPtr priv = GD5436_PRIV(pDraw->pScreen);
    gd5436BitmapStart b = gd5436StartOf(box, bits, startBit);
    alu &= 0xFF;
    if (gd5436StartsBeforeMemory(box, b.x0) || !gd5436AllPlanes(planemask) ||
        !gd5436OpaqueRowFits(priv, b.w0)) {
        genDrawOpaqueMonoImage(box, b.bits, b.skip, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    if (box->x2 <= box->x1 || box->y2 <= box->y1)
        return;
    if (gd5436Traits.pixel24) {
        gd5436BeginOpaqueRows(priv, &b, fg, bg, alu, BLT_MODE_EXPAND_TRANSPARENT);
        gd5436OpaqueRows24(priv, box, &b, stride, fg, bg);
    } else {
        gd5436BeginOpaqueRows(priv, &b, fg, bg, alu, BLT_MODE_EXPAND);
        for (int y = box->y1; y < box->y2; y++) {
            gd5436StageRow(priv, &b, stride, y - box->y1);
            gd5436BltWrite32(priv->bltBase, BLT_DST_ADDR, gd5436PixelOffset(priv, b.x0, y));
        }
    }
    gd5436EndOpaqueRows(priv->bltBase, &b);
}
