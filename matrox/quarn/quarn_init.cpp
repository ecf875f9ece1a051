// Screen initialisation: the board on the PCI bus, the chip layer's view of
// it, the screen private and board handle, the visual, the hooks and
// operation records, the mode, the cursor and colormap, the console switch
// and the text-font slots. FreeScreen undoes the per-generation part.
#include <string.h>

#include "client.h"
#include "driver.h"
#include "hal.h"
#include "hal_error.h"
#include "hwio.h"
#include "quarn.h"

extern "C" {

int quarnScreenPrivateIndex = -1;
int quarnGeneration = -1;
int mga_status, mga_mask, mga_board;
VgaInfo vgainfo;
uint8_t *quarnMGA1064Window;

} // extern "C"

namespace {

constexpr uint32_t kRegisterWindow = 0x4000;
constexpr uint32_t kFrameWindow = 0x1000000, kFrameWindowWide = 0x2000000;
constexpr uint16_t kWideDevice = 0x0525;
// The search order of the device ids: the first found wins.
constexpr uint32_t kSearchIds[] = {0x0519, 0x051A, 0x051B, 0x051F, 0x0520,
                                   0x0521, 0x0525, 0x1001, 0x1000};
constexpr int kDefaultMonitorMm = 300;
constexpr uint32_t kProbeA = 0x300000, kProbeB = 0x500000, kProbeApart = 0x100;

// The probe's answer, kept for the board it was found on: the probe writes
// into video memory, so later generations and screens of that board reuse
// it; a screen on another board probes its own memory (taking the first
// board's answer would place the font slots and the image read's marker past
// a smaller board's memory).
int memorySizeCache = -1;
PciLocation memorySizeBoard;
uint32_t memorySizeChip;

} // namespace

// ---------------------------------------------------------------- records
// Slots whose routines this driver does not accelerate yet hold the
// server's generic ones.

extern "C" {

DRV_EXPORT VisualRec quarnVisual8 = {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0};
DRV_EXPORT VisualRec quarnVisual15 = {0, TrueColor, 5, 256, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
DRV_EXPORT VisualRec quarnVisual24 = {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0};

DRV_EXPORT PrivOps quarnSolidPrivOps = {
    quarnSolidFillRects, quarnSolidFS,  {.ZeroSegs = quarnSolidZeroSegs},
    genSolidGCOp4,       genSolidGCOp5, genSolidGCOp6};
DRV_EXPORT PrivOps quarnTiledPrivOps = {genTiledFillRects, genTiledFS,    {.GCOp3 = genTiledGCOp3},
                                        genTiledGCOp4,     genTiledGCOp5, genTiledGCOp6};
DRV_EXPORT PrivOps quarnStippledPrivOps = {
    quarnStippledFillRects, quarnStippledFS,  {.GCOp3 = genStippledGCOp3},
    genStippledGCOp4,       genStippledGCOp5, genStippledGCOp6};
DRV_EXPORT PrivOps quarnOpStippledPrivOps = {
    quarnOpStippledFillRects, quarnOpStippledFS,  {.GCOp3 = genOpStippledGCOp3},
    genOpStippledGCOp4,       genOpStippledGCOp5, genOpStippledGCOp6};

DRV_EXPORT WinOps quarnWinOps = {quarnCopyRect,
                                 quarnDrawSolidRects,
                                 quarnDrawImage,
                                 quarnDrawMonoImage,
                                 quarnDrawOpaqueMonoImage,
                                 quarnReadImage,
                                 quarnDrawPoints,
                                 genTileRects,
                                 quarnDrawMonoGlyphs,
                                 {.DrawFontText8 = quarnDrawFontText},
                                 genWinOp11,
                                 genWinOp12,
                                 genWinOp13,
                                 quarnSetClipRegions,
                                 quarnValidateWindowGC};

DRV_EXPORT PointerFuncs quarnPointerFuncs = {quarnRealizeCursor, quarnUnrealizeCursor,
                                             quarnSetCursor, quarnMoveCursor};

DRV_EXPORT SysInfo quarnSysInfo = {0,
                                   quarnSetGraphics,
                                   quarnSetText,
                                   quarnSaveGState,
                                   quarnRestoreGState,
                                   quarnFreeScreen,
                                   1,
                                   1,
                                   1,
                                   5.0f};

DRV_EXPORT ScreenInfo quarnScreenInfo = {quarnProbe, quarnInit, "quarn", {}};

} // extern "C"

// ---------------------------------------------------------------- helpers

// A failed Init leaves nothing behind: no private, no handle, no open device.
static Bool quarnInitFails(ScreenPtr pScreen, quarnScreenPrivate *priv) {
    if (priv != nullptr) {
        if (priv->pciFd != -1)
            close(priv->pciFd);
        Xfree(priv->board);
        Xfree(priv);
    }
    pScreen->devPrivates[quarnScreenPrivateIndex].ptr = nullptr;
    return 0;
}

static int quarnNormaliseDepth(int depth) {
    if (depth > 16 && depth <= 32)
        return 32;
    if (depth > 8 && depth <= 16)
        return 16;
    return depth;
}

static VisualRec *quarnVisualFor(int depth) {
    switch (depth) {
    case 8:
        return &quarnVisual8;
    case 16:
        return &quarnVisual15;
    case 32:
        return &quarnVisual24;
    default:
        return nullptr;
    }
}

// The areas must hold the windows the chip layer opens on this board.
static Bool quarnAreasFit(GrafinfoHandle graf, uint32_t device) {
    uint32_t length = 0;
    grafGetMemInfo(graf, nullptr, nullptr, &length, nullptr);
    if (length < kRegisterWindow) {
        ErrorF("quarn: MEMORY in grafinfo file is %u bytes; the register window needs %u.\n",
               length, kRegisterWindow);
        return 0;
    }
    const uint32_t needed = device == kWideDevice ? kFrameWindowWide : kFrameWindow;
    grafGetMemInfo(graf, "FBM", nullptr, &length, nullptr);
    if (length < needed) {
        ErrorF("quarn: FBM MEMORY in grafinfo file is %u bytes; the frame buffer window needs "
               "%u.\n",
               length, needed);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- entry points

extern "C" {

Bool quarnProbe(int, ScreenConfig *config) {
    return ddxAddPixmapFormat(config->depth, config->bitsPerPixel, config->scanlinePad);
}

// Past installed memory only the bus answers, with the last value driven on
// it: a second write between the write and the read tells memory from bus.
int quarnCountMem(quarnScreenPrivate *priv) {
    const uint32_t chip = priv->board != nullptr ? priv->board->ulChipID : 0;
    if (memorySizeCache != -1 && chip == memorySizeChip &&
        memcmp(&priv->pciLocation, &memorySizeBoard, sizeof memorySizeBoard) == 0)
        return memorySizeCache;
    memorySizeBoard = priv->pciLocation;
    memorySizeChip = chip;
    mmWrite32(priv->fb + kProbeA, 0x55);
    mmWrite32(priv->fb + kProbeA + kProbeApart, 0xCC);
    if (mmRead32(priv->fb + kProbeA) != 0x55) {
        memorySizeCache = 0x200000;
    } else {
        mmWrite32(priv->fb + kProbeB, 0x66);
        mmWrite32(priv->fb + kProbeB + kProbeApart, 0x99);
        memorySizeCache = mmRead32(priv->fb + kProbeB) == 0x66 ? 0x800000 : 0x400000;
    }
    return memorySizeCache;
}

Bool quarnInit(int index, ScreenPtr pScreen, int, char **) {
    GrafinfoHandle graf = ddxActiveScreens[index]->config->grafinfo;
    if (serverGeneration != static_cast<uint32_t>(quarnGeneration)) {
        const int privateIndex = AllocateScreenPrivateIndex();
        if (privateIndex < 0)
            return 0;
        quarnScreenPrivateIndex = privateIndex;
        quarnGeneration = static_cast<int>(serverGeneration);
    }
    pScreen->devPrivates[quarnScreenPrivateIndex].ptr = nullptr;
    auto *priv = static_cast<quarnScreenPrivate *>(Xalloc(sizeof(quarnScreenPrivate)));
    if (priv == nullptr)
        return 0;
    memset(priv, 0, sizeof *priv);
    priv->pciFd = -1;
    pScreen->devPrivates[quarnScreenPrivateIndex].ptr = priv;
    // The target's handle is 1556 bytes (HALQueryHandleSize); the host's
    // holds wider pointers.
    priv->board = static_cast<BoardHandle *>(Xalloc(sizeof(BoardHandle)));
    if (priv->board == nullptr)
        return quarnInitFails(pScreen, priv);
    memset(priv->board, 0, sizeof(BoardHandle));
    BoardHandle *board = priv->board;
    board->ulClientPrivate = priv;

    int width = 0, height = 0, depth = 0;
    if (!grafGetInt(graf, "PIXWIDTH", &width) || !grafGetInt(graf, "PIXHEIGHT", &height) ||
        !grafGetInt(graf, "DEPTH", &depth) || width <= 0 || height <= 0 || width > 0x7FFF ||
        height > 0x7FFF) {
        /* Sizes the server's 16-bit coordinates cannot hold would overflow
         * every line and address computed from them. */
        ErrorF("quarn: can't find pixel info in grafinfo file.\n");
        return quarnInitFails(pScreen, priv);
    }
    void *mapped = nullptr;
    if (!grafGetMemInfo(graf, nullptr, nullptr, nullptr, &mapped)) {
        ErrorF("quarn: Missing MEMORY in grafinfo file.\n");
        return quarnInitFails(pScreen, priv);
    }
    priv->regs = static_cast<uint8_t *>(mapped);
    if (!grafGetMemInfo(graf, "FBM", nullptr, nullptr, &mapped)) {
        ErrorF("quarn: Missing FBM MEMORY in grafinfo file.\n");
        return quarnInitFails(pScreen, priv);
    }
    priv->fb = static_cast<uint8_t *>(mapped);
    if (grafGetMemInfo(graf, "BIOS", nullptr, nullptr, &mapped))
        priv->legacyBios = static_cast<uint8_t *>(mapped);
    int hwCursor = 0;
    grafGetInt(graf, "HWCURSOR", &hwCursor);

    depth = quarnNormaliseDepth(depth);
    VisualRec *visual = quarnVisualFor(depth);
    if (visual == nullptr) {
        ErrorF("quarn: Unsupported resolution. %d (%#x)\n", width, height);
        return quarnInitFails(pScreen, priv);
    }
    priv->requestedWidth = width;
    const int drawWidth = width == 800 && depth == 8 ? 832 : width;
    priv->pitch = priv->width = drawWidth;
    priv->bytesPerPixel = depth / 8;
    priv->lineBytes = priv->bytesPerPixel * drawWidth;
    priv->height = height;
    priv->depth = depth;
    priv->engineState = 0;
    for (int32_t &s : priv->shadow)
        s = -1;
    board->ulClientPrivate = priv;

    uint32_t device = 0;
    for (uint32_t id : kSearchIds)
        if (QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, id, priv) == 0) {
            device = id;
            break;
        }
    if (device == 0)
        return quarnInitFails(pScreen, priv);
    if (!quarnAreasFit(graf, device))
        return quarnInitFails(pScreen, priv);
    if (HALQueryBoardSupport(board) != 0)
        return quarnInitFails(pScreen, priv);
    InitTimer(board);
    HALGetBoardInfo(board);

    switch (board->ulChipID >> 16) {
    case 0x0520:
    case 0x0521:
    case 0x1000:
    case 0x1001:
        mga_status = 64;
        mga_mask = 127;
        mga_board = 3;
        break;
    case 0x0525:
        mga_status = 16;
        mga_mask = 31;
        mga_board = 3;
        ClientWriteRegisterDword(board, 0x1C0C, 0);
        ClientWriteRegisterDword(board, 0x2CB8, 0);
        break;
    default:
        return quarnInitFails(pScreen, priv);
    }
    HSLVGAReadVgaInfo(board, &vgainfo);
    quarnMGA1064Window = priv->regs;

    priv->drawOrigin = 0;
    int mmWidth = kDefaultMonitorMm, mmHeight = kDefaultMonitorMm;
    grafGetInt(graf, "MON_WIDTH", &mmWidth);
    grafGetInt(graf, "MON_HEIGHT", &mmHeight);
    if (!nfbScreenInit(pScreen, width, height, mmWidth, mmHeight) || !nfbAddVisual(pScreen, visual))
        return quarnInitFails(pScreen, priv);

    nfbScreenPrivate *nfb = NFB_SCREEN_PRIV(pScreen);
    nfb->gcTemplate->ops = &quarnSolidPrivOps;
    nfb->SetColor = quarnSetColor;
    nfb->LoadColormap = quarnLoadColormap;
    nfb->BlankScreen = quarnBlankScreen;
    nfb->driverFlag = 0;
    nfb->ValidateWindowPriv = quarnValidateWindowPriv;

    if (!quarnInitHW(pScreen))
        return quarnInitFails(pScreen, priv);
    if (hwCursor)
        quarnCursorInitialize(pScreen);
    else
        vexoSWCursorInitialize(pScreen);
    const Bool colormap =
        pScreen->rootDepth == 1 ? mfbCreateDefColormap(pScreen) : cfbCreateDefColormap(pScreen);
    if (!colormap)
        return quarnInitFails(pScreen, priv);
    vexoSysInfoInit(pScreen, &quarnSysInfo);
    nfbSetOptions(pScreen, 50, NFB_OPT_ZEROSEGS, 0);
    nfbInitializeText8(pScreen, 2, 32, 32, quarnDownloadFont8, 0);
    return 1;
}

void quarnFreeScreen(int, ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    nfbCloseText8(pScreen);
    if (priv == nullptr)
        return;
    // The last operations finish before the screen goes: the next
    // generation's Init reads and writes video memory while it sizes it.
    if (priv->regs != nullptr && mga_status != 0)
        quarnWaitIdle(priv);
    if (priv->pciFd != -1)
        close(priv->pciFd);
    if (quarnMGA1064Window == priv->regs)
        quarnMGA1064Window = nullptr;
    Xfree(priv->board);
    Xfree(priv);
    pScreen->devPrivates[quarnScreenPrivateIndex].ptr = nullptr;
}

void quarnValidateWindowPriv(WindowPtr pWin) {
    NFB_WINDOW_PRIV(pWin)->ops = &quarnWinOps;
}

} // extern "C"
