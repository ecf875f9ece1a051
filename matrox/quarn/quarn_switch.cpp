// The console switch: text mode with the X palette saved, graphics with the
// mode, the engine defaults, the off-screen layout and the palette back;
// blanking and the driver's pauses.
#include "hal.h"
#include "hwio.h"
#include "quarn.h"

namespace {

constexpr int kPaletteEntries = 256;
constexpr int kGreyLoads = 5; // loads of the grey ramp before giving up on it
constexpr uint8_t kBlankBit = 0x20;

// Read by quarnSetText, written back by every later quarnSetGraphics.
uint8_t savedPalette[kPaletteEntries * 4];
bool savedPaletteValid = false;

// Default palette values pass through this table.
constexpr struct Lut {
    uint8_t v[256];
    constexpr Lut() : v() {
        for (int i = 0; i < 256; i++)
            v[i] = static_cast<uint8_t>(i);
    }
} quarnLut;

uint8_t *reg(quarnScreenPrivate *priv, uint32_t offset) {
    return priv->regs + offset;
}

void defaultEntry(int i, uint8_t rgb[3]) {
    rgb[0] = quarnLut.v[(((i >> 5) & 7) * 0x2492) >> 8];
    rgb[1] = quarnLut.v[(((i >> 2) & 7) * 0x2492) >> 8];
    rgb[2] = quarnLut.v[(i & 3) * 85];
}

void loadPalette(quarnScreenPrivate *priv, const uint8_t *rgb, int stride) {
    mmWrite8(reg(priv, QUARN_PALETTE_WRITE), 0);
    quarnDelay(1);
    for (int i = 0; i < kPaletteEntries; i++)
        for (int c = 0; c < 3; c++)
            mmWrite8(reg(priv, QUARN_PALETTE_DATA), rgb[i * stride + c]);
}

bool paletteReadsBack(quarnScreenPrivate *priv, const uint8_t *rgb) {
    mmWrite8(reg(priv, QUARN_PALETTE_READ), 0);
    quarnDelay(1);
    bool same = true;
    for (int i = 0; i < kPaletteEntries * 3; i++)
        if (mmRead8(reg(priv, QUARN_PALETTE_DATA)) != rgb[i])
            same = false;
    return same;
}

void restorePalette(quarnScreenPrivate *priv) {
    if (priv->dactype > 1)
        return;
    if (priv->depth == 8) {
        uint8_t rgb[kPaletteEntries * 3];
        for (int i = 0; i < kPaletteEntries; i++) {
            if (savedPaletteValid)
                for (int c = 0; c < 3; c++)
                    rgb[i * 3 + c] = savedPalette[i * 4 + c];
            else
                defaultEntry(i, &rgb[i * 3]);
        }
        loadPalette(priv, rgb, 3);
        return;
    }
    // A direct-colour depth goes through the look-up table as a grey ramp;
    // the integrated DAC's table at 16 bits belongs to the chip layer.
    if (priv->depth == 16 && priv->dactype == 1)
        return;
    uint8_t ramp[kPaletteEntries * 3];
    for (int i = 0; i < kPaletteEntries; i++)
        ramp[i * 3] = ramp[i * 3 + 1] = ramp[i * 3 + 2] = quarnLut.v[i];
    for (int load = 0; load < kGreyLoads; load++) {
        loadPalette(priv, ramp, 3);
        if (paletteReadsBack(priv, ramp))
            break;
    }
}

} // namespace

extern "C" {

uint32_t quarnDelay(uint32_t ticks) {
    const uint32_t start = static_cast<uint32_t>(clock());
    uint32_t passed = 0;
    while (passed < ticks)
        passed = static_cast<uint32_t>(clock()) - start;
    return passed;
}

void quarnoutMGA1064(uint8_t index, uint8_t value) {
    if (quarnMGA1064Window == nullptr)
        return;
    mmWrite8(quarnMGA1064Window + QUARN_PALETTE_WRITE, index);
    quarnDelay(10);
    mmWrite8(quarnMGA1064Window + QUARN_DAC_DATA, value);
    quarnDelay(10);
}

int quarnBlankScreen(int on, ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    mmWrite8(reg(priv, QUARN_SEQ_INDEX), 1);
    const uint8_t seq1 = mmRead8(reg(priv, QUARN_SEQ_DATA));
    mmWrite8(reg(priv, QUARN_SEQ_DATA),
             static_cast<uint8_t>(on ? seq1 | kBlankBit : seq1 & ~kBlankBit));
    return 1;
}

Bool quarnSetText(ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    priv->engineState = 0;
    if (priv->dactype <= 1) {
        mmWrite8(reg(priv, QUARN_PALETTE_READ), 0);
        quarnDelay(1);
        for (int i = 0; i < kPaletteEntries; i++)
            for (int c = 0; c < 3; c++)
                savedPalette[i * 4 + c] = mmRead8(reg(priv, QUARN_PALETTE_DATA));
    } else {
        ErrorF("Unknown dactype\n");
    }
    savedPaletteValid = true;
    HALSwitchToVGA(priv->board);
    HSLVGAWriteVgaInfo(priv->board, &vgainfo);
    return grafExec(ddxActiveScreens[pScreen->myNum]->config->grafinfo, "SetText", nullptr);
}

void quarnSetGraphics(ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    BoardHandle *board = priv->board;
    priv->engineState = 0;
    for (int32_t &c : priv->clip)
        c = -1;
    grafExec(ddxActiveScreens[pScreen->myNum]->config->grafinfo, "SetGraphics", nullptr);
    while (mmRead32(reg(priv, QUARN_STATUS)) & QUARN_STATUS_BUSY) {
    }
    if (priv->dactype == 0)
        mmWrite8(reg(priv, QUARN_MISC_WRITE), 0x25);
    mmWrite32(reg(priv, QUARN_PIXEL_WIDTH), 0);
    const uint32_t device = board->ulChipID >> 16;
    const bool twisterSdram =
        (board->ulMemoryType & 0xFF) == 5 && (device == 0x1000 || device == 0x1001);
    if (!twisterSdram)
        mmWrite32(reg(priv, QUARN_PLANE_MASK), 0xFFFFFFFFu);
    QUARNVidInit(0, priv);
    quarnClip(priv, nullptr, 0);

    const int32_t m = priv->memorySize;
    priv->freeMemory = m - (priv->height * priv->lineBytes +
                            priv->bytesPerPixel * priv->drawOrigin + QUARN_FONT_AREA);
    if (priv->freeMemory < priv->lineBytes) {
        quarnSetText(pScreen);
        quarnBlankScreen(0, pScreen);
        return;
    }
    priv->fontSlot[0].offset = m - QUARN_FONT_AREA;
    priv->fontSlot[1].offset = m - QUARN_FONT_SLOT;
    restorePalette(priv);
    mmWrite8(reg(priv, QUARN_CRTCEXT_INDEX), 1);
    mmWrite8(reg(priv, QUARN_CRTCEXT_DATA), mmRead8(reg(priv, QUARN_CRTCEXT_DATA)) & 0xCF);
    quarnBlankScreen(0, pScreen);
    mmWrite32(reg(priv, QUARN_PIXEL_WIDTH), static_cast<uint32_t>(priv->depth >> 4));
    mmWrite32(reg(priv, QUARN_ENGINE_PITCH), static_cast<uint32_t>(priv->pitch));
    mmWrite32(reg(priv, QUARN_DRAW_ORIGIN), static_cast<uint32_t>(priv->drawOrigin));
}

void quarnSaveGState(ScreenPtr) {}

void quarnRestoreGState(ScreenPtr) {}

} // extern "C"
