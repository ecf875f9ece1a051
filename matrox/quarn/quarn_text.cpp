// 1-bit drawing by the engine's colour expansion from video memory:
// monochrome images and glyphs staged after the screen, and text from the
// two font slots below the end of video memory.
#include <string.h>

#include "hwio.h"
#include "quarn.h"

namespace {

constexpr uint32_t kCommand = 0x1C00, kBackground = 0x1C20, kForeground = 0x1C24, kLength = 0x1C5C,
                   kSourceEnd = 0x1C60, kSourceStart = 0x1C6C, kSourcePitch = 0x1C74,
                   kDestY = 0x1C90, kDestLeft = 0x1CA8, kDestRight = 0x1CAC, kGo = 0x100;
constexpr uint32_t kExpand = 0x6008, kTransparent = 0x40000000;
constexpr int kStageLimit = 7168; // bytes staged at once
constexpr int kCell = 128;        // bytes per character in a font slot
constexpr int kSlotGlyphs = 256;
enum { STATE_TEXT = 8, STATE_MONO = 10 };

void out(quarnScreenPrivate *priv, uint32_t offset, uint32_t value) {
    mmWrite32(priv->regs + offset, value);
}

// Staging after the visible screen, as a byte offset and as a bit address.
uint8_t *stagingBytes(const quarnScreenPrivate *priv) {
    return priv->fb + priv->height * priv->lineBytes + priv->bytesPerPixel * priv->drawOrigin;
}

uint32_t stagingBit(const quarnScreenPrivate *priv) {
    return static_cast<uint32_t>(priv->depth * (priv->drawOrigin + priv->height * priv->pitch));
}

// The processor may write video memory once the engine is idle, with every
// plane open.
void openForProcessor(quarnScreenPrivate *priv) {
    quarnWaitIdle(priv);
    if (!quarnPlaneMaskRule(priv)) {
        out(priv, QUARN_PLANE_MASK, 0xFFFFFFFFu);
        quarnWaitIdle(priv);
    }
}

void putMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg, int alu,
                  uint32_t planemask, DrawablePtr pDraw, int transparent) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    alu &= 0xFF;
    const int w = box->x2 - box->x1, rows = box->y2 - box->y1;
    const int rowBytes = (box->x2 + startBit - box->x1 + 7) / 8;
    if (priv->freeMemory < rowBytes || GenericFallback(priv, planemask)) {
        if (transparent)
            genDrawMonoImage(box, bits, startBit, stride, fg, alu, planemask, pDraw);
        else
            genDrawOpaqueMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw);
        return;
    }
    // An empty box starts nothing.
    if (w <= 0 || rows <= 0 || stride <= 0)
        return;
    const int32_t values[QUARN_SHADOWS] = {alu, 0, static_cast<int32_t>(fg),
                                           static_cast<int32_t>(bg), transparent};
    if (quarnNeedsSetup(priv, STATE_MONO, values,
                        QUARN_USES_ALU | QUARN_USES_FG | QUARN_USES_BG | QUARN_USES_TRANSPARENT)) {
        uint32_t f = fg, b = bg;
        quarnNormalSetup(priv, &f, &b, nullptr);
        MGA_WAIT(priv, 3);
        out(priv, kCommand, quarnALU[alu & 0xF] | kExpand | (transparent ? kTransparent : 0));
        out(priv, kForeground, f);
        out(priv, kBackground, b);
    }
    const uint32_t start = static_cast<uint32_t>(startBit) + stagingBit(priv);
    const uint32_t end = start + static_cast<uint32_t>(w) - 1;
    uint32_t mask = planemask;
    quarnNormalSetup(priv, &mask, nullptr, nullptr);
    // Passes never stage more than the free memory holds: whole rows that
    // fit, or a row's own bytes when not even one stride fits.
    const bool narrow = priv->freeMemory < stride;
    int perPass = narrow ? 1 : kStageLimit / stride;
    if (!narrow && perPass > priv->freeMemory / stride)
        perPass = priv->freeMemory / stride;
    if (perPass < 1)
        perPass = 1;
    uint8_t *staging = stagingBytes(priv);
    for (int done = 0; done < rows;) {
        const int p = rows - done < perPass ? rows - done : perPass;
        openForProcessor(priv);
        memcpy(staging, bits + done * stride, static_cast<size_t>(narrow ? rowBytes : p * stride));
        MGA_WAIT(priv, 8);
        if (done == 0) {
            out(priv, kSourcePitch, static_cast<uint32_t>(stride * 8));
            out(priv, kDestLeft, static_cast<uint32_t>(box->x1));
            out(priv, kDestRight, static_cast<uint32_t>(box->x2 - 1));
        }
        out(priv, kLength, static_cast<uint32_t>(p));
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
        out(priv, kDestY, static_cast<uint32_t>(box->y1 + done));
        out(priv, kSourceEnd, end);
        out(priv, kSourceStart + kGo, start);
        done += p;
    }
}

} // namespace

extern "C" {

void quarnPutMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, Pixel bg,
                       int alu, uint32_t planemask, DrawablePtr pDraw, int transparent) {
    putMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw, transparent);
}

void quarnDrawMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg, int alu,
                        uint32_t planemask, DrawablePtr pDraw) {
    putMonoImage(box, bits, startBit, stride, fg, 0, alu, planemask, pDraw, 1);
}

void quarnDrawOpaqueMonoImage(BoxPtr box, uint8_t *bits, int startBit, int stride, Pixel fg,
                              Pixel bg, int alu, uint32_t planemask, DrawablePtr pDraw) {
    putMonoImage(box, bits, startBit, stride, fg, bg, alu, planemask, pDraw, 0);
}

void quarnDrawMonoGlyphs(MonoGlyphRec *glyphs, int count, Pixel fg, int alu, uint32_t planemask,
                         nfbFontPrivPtr font, DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    if (GenericFallback(priv, planemask)) {
        genDrawMonoGlyphs(glyphs, count, fg, alu, planemask, font, pDraw);
        return;
    }
    alu &= 0xFF;
    priv->engineState = 0;
    const uint32_t command = quarnALU[alu & 0xF] | kTransparent | kExpand;
    const uint32_t sbit = stagingBit(priv);
    bool loaded = false;
    for (int i = 0; i < count; i++) {
        MonoGlyphRec &g = glyphs[i];
        const int rows = g.box.y2 - g.box.y1, w = g.box.x2 - g.box.x1;
        if (rows <= 0 || w <= 0)
            continue;
        const int bytes = rows * g.stride;
        if (bytes > kStageLimit || bytes > priv->freeMemory) {
            quarnDrawMonoImage(&g.box, g.bits, 0, g.stride, fg, alu, planemask, pDraw);
            loaded = false;
            continue;
        }
        openForProcessor(priv);
        memcpy(stagingBytes(priv), g.bits, static_cast<size_t>(bytes));
        uint32_t mask = planemask, f = fg;
        quarnNormalSetup(priv, &mask, &f, nullptr);
        if (!loaded) {
            MGA_WAIT(priv, 2);
            out(priv, kCommand, command);
            out(priv, kForeground, f);
            loaded = true;
        }
        MGA_WAIT(priv, 8);
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
        out(priv, kDestLeft, static_cast<uint32_t>(g.box.x1));
        out(priv, kDestRight, static_cast<uint32_t>(g.box.x2 - 1));
        out(priv, kDestY, static_cast<uint32_t>(g.box.y1));
        out(priv, kSourcePitch, static_cast<uint32_t>(g.stride * 8));
        out(priv, kLength, static_cast<uint32_t>(rows));
        out(priv, kSourceEnd, sbit + static_cast<uint32_t>(w) - 1);
        out(priv, kSourceStart + kGo, sbit);
    }
}

// A font whose glyphs do not fit a cell leaves its slot unused (stride -1).
void quarnDownloadFont8(uint8_t **glyphs, int count, int, int height, int stride, int slot,
                        ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    if (slot < 0 || slot > 1)
        return;
    quarnFontSlot &s = priv->fontSlot[slot];
    const int bytes = height * stride;
    if (bytes <= 0 || bytes > kCell) {
        s.stride = -1;
        return;
    }
    s.stride = stride;
    if (count > kSlotGlyphs)
        count = kSlotGlyphs;
    openForProcessor(priv);
    for (int i = 0; i < count; i++)
        memcpy(priv->fb + s.offset + kCell * i, glyphs[i], static_cast<size_t>(bytes));
    // The plane mask register now holds all ones, whatever the cached set-up.
    priv->engineState = 0;
}

void quarnDrawFontText(BoxPtr box, uint8_t *chars, int count, int glyphWidth, int slot, Pixel fg,
                       Pixel bg, int alu, uint32_t planemask, int transparent, DrawablePtr pDraw) {
    quarnScreenPrivate *priv = QUARN_PRIV(pDraw->pScreen);
    const bool usable = slot >= 0 && slot <= 1 && priv->fontSlot[slot].stride > 0;
    if (!usable || GenericFallback(priv, planemask)) {
        genWinOp10(box, chars, count, glyphWidth, slot, fg, bg, alu, planemask, transparent, pDraw);
        return;
    }
    alu &= 0xFF;
    transparent &= 0xFF;
    const int32_t values[QUARN_SHADOWS] = {alu, static_cast<int32_t>(planemask),
                                           static_cast<int32_t>(fg), static_cast<int32_t>(bg),
                                           transparent};
    if (quarnNeedsSetup(priv, STATE_TEXT, values, 0x1F)) {
        uint32_t mask = planemask, f = fg, b = bg;
        quarnNormalSetup(priv, &mask, &f, &b);
        MGA_WAIT(priv, 4);
        out(priv, kCommand, quarnALU[alu & 0xF] | kExpand | (transparent ? kTransparent : 0));
        out(priv, kForeground, f);
        out(priv, kBackground, b);
        if (!quarnPlaneMaskRule(priv))
            out(priv, QUARN_PLANE_MASK, mask);
    }
    const quarnFontSlot &s = priv->fontSlot[slot];
    MGA_WAIT(priv, 1);
    out(priv, kSourcePitch, static_cast<uint32_t>(s.stride * 8));
    int x = box->x1;
    for (int i = 0; i < count; i++, x += glyphWidth) {
        const uint32_t v =
            static_cast<uint32_t>(chars[i]) * kCell * 8 + static_cast<uint32_t>(s.offset) * 8;
        MGA_WAIT(priv, 6);
        out(priv, kDestLeft, static_cast<uint32_t>(x));
        out(priv, kDestRight, static_cast<uint32_t>(x + glyphWidth - 1));
        out(priv, kDestY, static_cast<uint32_t>(box->y1));
        out(priv, kLength, static_cast<uint32_t>(box->y2 - box->y1));
        out(priv, kSourceEnd, v + static_cast<uint32_t>(glyphWidth) - 1);
        out(priv, kSourceStart + kGo, v);
    }
}

} // extern "C"
