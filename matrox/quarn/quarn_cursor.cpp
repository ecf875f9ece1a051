// The hardware cursor: a 32 x 32 two-plane image realized per cursor, and
// the DAC's cursor driven through its registers. Every DAC routine acts
// only for an external DAC (dactype 0); the integrated DAC of the boards
// this driver accepts shows no cursor of this kind.
#include <string.h>

#include "hwio.h"
#include "quarn.h"

namespace {

constexpr int kCursorSize = 32, kRowBytes = 4;
constexpr int kImageBytes = 2 + 2 * kCursorSize * kRowBytes; // hot spot, source, mask
constexpr int kSourceAt = 2, kMaskAt = 2 + kCursorSize * kRowBytes;
constexpr uint32_t kDacIndex = 0x3C00, kDacData = 0x3C0A, kCursorColourIndex = 0x3C04,
                   kCursorColourData = 0x3C05, kCursorRam = 0x3C0B, kCursorXLow = 0x3C0C,
                   kCursorXHigh = 0x3C0D, kCursorYLow = 0x3C0E, kCursorYHigh = 0x3C0F;
constexpr uint8_t kCursorControl = 6;
constexpr int kBankBytes = 256;

struct RevBits {
    uint8_t v[256];
    constexpr RevBits() : v() {
        for (int i = 0; i < 256; i++) {
            uint8_t r = 0;
            for (int b = 0; b < 8; b++)
                if (i & (1 << b))
                    r = static_cast<uint8_t>(r | 0x80 >> b);
            v[i] = r;
        }
    }
};
constexpr RevBits revBits;

uint8_t planData[kBankBytes];

void dacOut(uint8_t *dac, uint32_t offset, uint8_t value) {
    mmWrite8(dac + offset, value);
}

} // namespace

extern "C" {

void quarnSetSpritePos(uint8_t *dac, uint32_t dactype, int x, int y, int hotX, int hotY) {
    if (dactype != 0)
        return;
    const int X = x + kCursorSize - hotX, Y = y + kCursorSize - hotY;
    dacOut(dac, kCursorXLow, static_cast<uint8_t>(X));
    dacOut(dac, kCursorYLow, static_cast<uint8_t>(Y));
    dacOut(dac, kCursorXHigh, static_cast<uint8_t>(X >> 8));
    dacOut(dac, kCursorYHigh, static_cast<uint8_t>(Y >> 8));
}

void quarnSetSpriteColor(uint8_t *dac, uint32_t dactype, uint16_t fr, uint16_t fgr, uint16_t fb,
                         uint16_t br, uint16_t bgr, uint16_t bb) {
    if (dactype != 0)
        return;
    dacOut(dac, kCursorColourIndex, 1);
    const uint16_t components[6] = {br, bgr, bb, fr, fgr, fb};
    for (uint16_t c : components) {
        quarnDelay(1);
        dacOut(dac, kCursorColourData, static_cast<uint8_t>(c >> 8));
    }
}

void quarnEnableSprite(uint8_t *dac, uint32_t dactype, int on) {
    if (dactype != 0)
        return;
    dacOut(dac, kDacIndex, kCursorControl);
    const uint8_t control = mmRead8(dac + kDacData);
    dacOut(dac, kDacData, static_cast<uint8_t>(on ? control | 3 : control & ~3));
}

// Banks 0 and 2 take the source and mask planes of the realized image, 128
// bytes each, the rest of the bank zero; banks 1 and 3 are zero.
void quarnLoadSprite(quarnScreenPrivate *priv, const uint8_t *image) {
    priv->cursor[2] = image ? image[0] : 0;
    priv->cursor[3] = image ? image[1] : 0;
    uint8_t *dac = priv->regs + 0x3C00 - kDacIndex;
    quarnEnableSprite(dac, priv->dactype, 0);
    if (image == nullptr || priv->dactype != 0)
        return;
    uint8_t position[4];
    for (int i = 0; i < 4; i++) {
        position[i] = mmRead8(dac + kCursorXLow + static_cast<uint32_t>(i));
        dacOut(dac, kCursorXLow + static_cast<uint32_t>(i), 0);
    }
    dacOut(dac, kDacIndex, kCursorControl);
    const uint8_t control = mmRead8(dac + kDacData) & 0xF0;
    for (int bank = 0; bank < 4; bank++) {
        memset(planData, 0, sizeof planData);
        if (bank == 0 || bank == 2)
            memcpy(planData, image + (bank == 0 ? kSourceAt : kMaskAt), kCursorSize * kRowBytes);
        dacOut(dac, kDacIndex, kCursorControl);
        dacOut(dac, kDacData, static_cast<uint8_t>(control | bank << 2));
        dacOut(dac, kDacIndex, 0);
        for (uint8_t b : planData)
            dacOut(dac, kCursorRam, b);
    }
    for (int i = 0; i < 4; i++)
        dacOut(dac, kCursorXLow + static_cast<uint32_t>(i), position[i]);
    quarnEnableSprite(dac, priv->dactype, 1);
}

Bool quarnRealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    auto *image = static_cast<uint8_t *>(Xalloc(kImageBytes));
    if (image == nullptr)
        return 0;
    const CursorBits *bits = pCursor->bits;
    const PaddingInfo &pad = PixmapWidthPaddingInfo[1];
    const int stride = ((bits->width + pad.padRoundUp) >> pad.padPixelsLog2) << pad.padBytesLog2;
    const int w = bits->width < kCursorSize ? bits->width : kCursorSize;
    const int h = bits->height < kCursorSize ? bits->height : kCursorSize;
    const int used = (w + 7) / 8;
    image[0] = static_cast<uint8_t>(bits->xhot < kCursorSize - 1 ? bits->xhot : kCursorSize - 1);
    image[1] = static_cast<uint8_t>(bits->yhot < kCursorSize - 1 ? bits->yhot : kCursorSize - 1);
    for (int row = 0; row < kCursorSize; row++)
        for (int b = 0; b < kRowBytes; b++) {
            const bool inside = row < h && b < used;
            image[kSourceAt + row * kRowBytes + b] =
                inside ? revBits.v[bits->source[row * stride + b]] : 0xFF;
            image[kMaskAt + row * kRowBytes + b] =
                inside ? revBits.v[bits->mask[row * stride + b]] : 0x00;
        }
    pCursor->devPriv[pScreen->myNum] = image;
    return 1;
}

Bool quarnUnrealizeCursor(ScreenPtr pScreen, CursorPtr pCursor) {
    Xfree(pCursor->devPriv[pScreen->myNum]);
    pCursor->devPriv[pScreen->myNum] = nullptr;
    return 1;
}

void quarnSetCursor(ScreenPtr pScreen, CursorPtr pCursor, int x, int y) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    if (pCursor == nullptr) {
        quarnLoadSprite(priv, nullptr);
        return;
    }
    quarnLoadSprite(priv, static_cast<const uint8_t *>(pCursor->devPriv[pScreen->myNum]));
    quarnSetSpriteColor(priv->regs, priv->dactype, pCursor->foreRed, pCursor->foreGreen,
                        pCursor->foreBlue, pCursor->backRed, pCursor->backGreen, pCursor->backBlue);
    quarnSetSpritePos(priv->regs, priv->dactype, x, y, priv->cursor[2], priv->cursor[3]);
}

void quarnMoveCursor(ScreenPtr pScreen, int x, int y) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    quarnSetSpritePos(priv->regs, priv->dactype, x, y, priv->cursor[2], priv->cursor[3]);
}

void quarnRecolorCursor(ScreenPtr pScreen, CursorPtr pCursor, Bool displayed) {
    if (!displayed)
        return;
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    quarnSetSpriteColor(priv->regs, priv->dactype, pCursor->foreRed, pCursor->foreGreen,
                        pCursor->foreBlue, pCursor->backRed, pCursor->backGreen, pCursor->backBlue);
}

void quarnCursorOn(int on, ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    quarnEnableSprite(priv->regs, priv->dactype, on);
}

void quarnRestoreCursor(void) {}

void quarnCursorInitialize(ScreenPtr pScreen) {
    if (!vexoPointerInitialize(pScreen, &quarnPointerFuncs, 1))
        FatalError("quarn: Cannot initialize cursor.\n");
    pScreen->RecolorCursor = quarnRecolorCursor;
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    priv->cursor[0] = priv->cursor[1] = kCursorSize;
    quarnLoadSprite(priv, nullptr);
}

} // extern "C"
