/*
 * dulmo: images between the caller's memory and the frame buffer, flat or
 * through the banked window of two 32 KB halves, and banked points. Writes
 * go through the board's raster-op unit, which applies the alu and the
 * plane mask.
 */
#include "dulmo.h"

/* The banked window's geometry, set at each banked call. */
static int dy;         /* line mask within a bank */
static int dy2;        /* lines per bank as a shift */
static int dbank2;     /* page register units per bank as a shift */
static int dbank_half; /* page units to the second half */

static void dulmoImageSetup(dulmoScreenPrivPtr p) {
    dulmoSelect(p);
    dulmoTakeFrameBuffer(p);
    dulmoStatusSetup(0);
    dulmoSetGR(GR_OP_MODE, OP_PROCESSOR);
}

static void dulmoWriteSetup(dulmoScreenPrivPtr p, int alu, uint32_t planemask) {
    dulmoImageSetup(p);
    dulmoSetGR(GR_PLANE_MASK, (uint8_t)planemask);
    ioOut8(DULMO_ROP, alu_to_hwrop[alu & 15]);
}

/* One row from the frame buffer, aligned on the frame-buffer side. */
static void dulmoReadRow(const uint8_t *fb, uint8_t *dst, int n) {
    if (((uintptr_t)fb & 3) && n > 3) {
        while ((uintptr_t)fb & 3) {
            *dst++ = mmRead8(fb++);
            n--;
        }
    }
    for (; n >= 4; n -= 4, fb += 4, dst += 4) {
        uint32_t v = mmRead32(fb);
        memcpy(dst, &v, 4);
    }
    if (n >= 2) {
        uint16_t v = mmRead16(fb);
        memcpy(dst, &v, 2);
        fb += 2;
        dst += 2;
        n -= 2;
    }
    if (n)
        *dst = mmRead8(fb);
}

static void dulmoWriteRow(uint8_t *fb, const uint8_t *src, int n) {
    if (((uintptr_t)fb & 3) && n > 3) {
        while ((uintptr_t)fb & 3) {
            mmWrite8(fb++, *src++);
            n--;
        }
    }
    for (; n >= 4; n -= 4, fb += 4, src += 4) {
        uint32_t v;
        memcpy(&v, src, 4);
        mmWrite32(fb, v);
    }
    if (n >= 2) {
        uint16_t v;
        memcpy(&v, src, 2);
        mmWrite16(fb, v);
        fb += 2;
        src += 2;
        n -= 2;
    }
    if (n)
        mmWrite8(fb, *src);
}

void dulmoReadImage(BoxPtr pBox, uint8_t *dst, int stride, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoImageSetup(p);
    int w = pBox->x2 - pBox->x1, h = pBox->y2 - pBox->y1;
    const uint8_t *fb = p->apertureBase + ((uint32_t)pBox->y1 << p->pitchShift) + pBox->x1;
    for (int i = 0; i < h; i++, fb += p->pitch, dst += stride)
        dulmoReadRow(fb, dst, w);
}

void dulmoDrawImage(BoxPtr pBox, uint8_t *src, int stride, int alu, uint32_t planemask,
                    DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoWriteSetup(p, alu, planemask);
    int w = pBox->x2 - pBox->x1, h = pBox->y2 - pBox->y1;
    uint8_t *fb = p->apertureBase + ((uint32_t)pBox->y1 << p->pitchShift) + pBox->x1;
    for (int i = 0; i < h; i++, fb += p->pitch, src += stride) {
        if (w == 1)
            mmWrite8(fb, *src);
        else
            dulmoWriteRow(fb, src, w);
    }
}

/* ---- The banked window ---- */

static void dulmoBankGeometry(dulmoScreenPrivPtr p) {
    if (p->pitch == 2048) {
        dy = 31;
        dy2 = 5;
    } else if (p->pitch == 1024) {
        dy = 63;
        dy2 = 6;
    } else {
        dy = 127;
        dy2 = 7;
    }
    if (p->pixWidth == 1280) {
        dbank2 = 2;
        dbank_half = 2;
    } else {
        dbank2 = 4;
        dbank_half = 8;
    }
}

/* Shows the bank holding line `y`; true when the page registers changed. */
static int dulmoSelectBank(dulmoScreenPrivPtr p, int y) {
    int bank = y >> dy2;
    if (bank == p->bankCache)
        return 0;
    dulmoSetGR(GR_PAGE_LOW, (uint8_t)(bank << dbank2));
    dulmoSetGR(GR_PAGE_HIGH, (uint8_t)((bank << dbank2) + dbank_half));
    p->bankCache = bank;
    return 1;
}

static uint8_t *dulmoBankedRow(dulmoScreenPrivPtr p, int y, int x) {
    return p->apertureBase + ((uint32_t)(y & dy) << p->pitchShift) + x;
}

void dulmoReadBankedImage(BoxPtr pBox, uint8_t *dst, int stride, DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoImageSetup(p);
    dulmoBankGeometry(p);
    int w = pBox->x2 - pBox->x1, h = pBox->y2 - pBox->y1;
    const uint8_t *fb = 0;
    for (int i = 0; i < h; i++, dst += stride) {
        int y = pBox->y1 + i;
        if (dulmoSelectBank(p, y) || i == 0 || (y & dy) == 0)
            fb = dulmoBankedRow(p, y, pBox->x1);
        else
            fb += p->pitch;
        int n = 0;
        for (; n + 4 <= w; n += 4) {
            uint32_t v = mmRead32(fb + n);
            memcpy(dst + n, &v, 4);
        }
        for (; n < w; n++)
            dst[n] = mmRead8(fb + n);
    }
}

void dulmoDrawBankedImage(BoxPtr pBox, uint8_t *src, int stride, int alu, uint32_t planemask,
                          DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoWriteSetup(p, alu, planemask);
    dulmoBankGeometry(p);
    int w = pBox->x2 - pBox->x1, h = pBox->y2 - pBox->y1;
    uint8_t *fb = 0;
    for (int i = 0; i < h; i++, src += stride) {
        int y = pBox->y1 + i;
        if (dulmoSelectBank(p, y) || i == 0 || (y & dy) == 0)
            fb = dulmoBankedRow(p, y, pBox->x1);
        else
            fb += p->pitch;
        int n = 0;
        for (; n + 4 <= w; n += 4) {
            uint32_t v;
            memcpy(&v, src + n, 4);
            mmWrite32(fb + n, v);
        }
        for (; n < w; n++)
            mmWrite8(fb + n, src[n]);
    }
}

void dulmoDrawBankedPoints(DDXPointPtr pts, int count, Pixel fg, int alu, uint32_t planemask,
                           DrawablePtr pDraw) {
    dulmoScreenPrivPtr p = DULMO_DRAWABLE_PRIV(pDraw);
    dulmoWriteSetup(p, alu, planemask);
    dulmoBankGeometry(p);
    for (int i = 0; i < count; i++) {
        dulmoSelectBank(p, pts[i].y);
        mmWrite8(dulmoBankedRow(p, pts[i].y, pts[i].x), (uint8_t)fg);
    }
}
