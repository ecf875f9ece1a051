// The built-in mode table and mode setting: the record for the configured
// size and depth, with the grafinfo timing overrides, converted into the
// chip layer's ModeInfo and validated and set by it; the dumps of the chip
// layer's records.
#include <string.h>

#include "client.h"
#include "hal.h"
#include "hal_error.h"
#include "hwio.h"
#include "quarn.h"

namespace {

constexpr int16_t kEnd = -1;
constexpr int kAnyHeight = 864; // 1152 x 864 takes the 1152 x 882 record
constexpr int32_t kModeType = MODE_TYPE_DAC | MODE_TYPE_DAC_ON;

// A used record: every spare -1, no interlace, both polarities negative.
constexpr VidsetMode mode(int16_t index, int16_t depth, uint32_t clock, int16_t hVisible,
                          int16_t hFront, int16_t hSync, int16_t hBack, int16_t vVisible,
                          int16_t vFront, int16_t vSync, int16_t vBack) {
    VidsetMode m{};
    m.index = index;
    m.depth = depth;
    m.pixelClock = clock;
    m.HVisible = hVisible;
    m.HFrontPorch = hFront;
    m.HSync = hSync;
    m.HBackPorch = hBack;
    m.VVisible = vVisible;
    m.VFrontPorch = vFront;
    m.VSync = vSync;
    m.VBackPorch = vBack;
    for (int16_t &s : m.spare)
        s = -1;
    return m;
}

constexpr VidsetMode endRecord() {
    VidsetMode m{};
    m.index = m.depth = kEnd;
    m.pixelClock = 0xFFFFFFFFu;
    m.HVisible = m.HFrontPorch = m.HSync = m.HBackPorch = m.spare16 = kEnd;
    m.VVisible = m.VFrontPorch = m.VSync = m.VBackPorch = m.spare26 = m.spare28 = kEnd;
    m.InterlaceEnable = kEnd;
    for (int16_t &s : m.spare)
        s = -1;
    return m;
}

struct Timing {
    uint32_t clock;
    int16_t w, hf, hs, hb, h, vf, vs, vb;
};
constexpr Timing kTimings[] = {
    {27500, 640, 32, 96, 96, 480, 8, 6, 36},      {40500, 800, 32, 128, 128, 600, 2, 4, 14},
    {65000, 1024, 32, 128, 160, 768, 3, 6, 29},   {80500, 1152, 32, 128, 160, 882, 4, 8, 16},
    {110000, 1280, 32, 128, 288, 1024, 3, 3, 26}, {156000, 1600, 32, 160, 256, 1200, 10, 8, 48},
};
constexpr int16_t kDepths[] = {8, 16, 32};

constexpr QuarnVidset makeVidset() {
    QuarnVidset v{};
    const char title[] = "quarn built-in modes";
    for (size_t i = 0; i < sizeof title; i++)
        v.header[i] = title[i];
    int r = 0;
    for (int16_t index = 0; index < 6; index++)
        for (int16_t depth : kDepths) {
            const Timing &t = kTimings[index];
            v.modes[r++] =
                mode(index, depth, t.clock, t.w, t.hf, t.hs, t.hb, t.h, t.vf, t.vs, t.vb);
        }
    while (r < QUARN_VIDSET_RECORDS)
        v.modes[r++] = endRecord();
    return v;
}

} // namespace

extern "C" {

QuarnVidset quarnDefaultVidset = makeVidset();
ModeInfo gModeInfo;
VidsetMode vparm;

} // extern "C"

namespace {

// The twelve keys that replace a record's timing, in the order applied.
void applyOverrides(GrafinfoHandle graf, VidsetMode *m) {
    int v = 0;
    if (grafGetInt(graf, "PixelClk", &v))
        m->pixelClock = static_cast<uint32_t>(v);
    struct Key {
        const char *name;
        int16_t VidsetMode::*field;
    };
    static const Key keys[] = {
        {"HVisible", &VidsetMode::HVisible},
        {"HFrontPorch", &VidsetMode::HFrontPorch},
        {"HSync", &VidsetMode::HSync},
        {"HBackPorch", &VidsetMode::HBackPorch},
        {"VVisible", &VidsetMode::VVisible},
        {"VFrontPorch", &VidsetMode::VFrontPorch},
        {"VSync", &VidsetMode::VSync},
        {"VBackPorch", &VidsetMode::VBackPorch},
        {"InterlaceEnable", &VidsetMode::InterlaceEnable},
        {"HSyncPol", &VidsetMode::HSyncPol},
        {"VSyncPol", &VidsetMode::VSyncPol},
    };
    for (const Key &k : keys)
        if (grafGetInt(graf, k.name, &v))
            m->*k.field = static_cast<int16_t>(v);
}

const VidsetMode *findRecord(const quarnScreenPrivate *priv) {
    for (const VidsetMode &m : quarnDefaultVidset.modes) {
        if (m.index == kEnd)
            return nullptr;
        if (m.depth == priv->depth && m.HVisible == priv->requestedWidth &&
            (m.VVisible == priv->height || priv->height == kAnyHeight))
            return &m;
    }
    return nullptr;
}

void takeMode(quarnScreenPrivate *priv, const ModeInfo &m) {
    priv->lineBytes = static_cast<int32_t>(m.ulFBPitch) * (priv->depth / 8);
    priv->modeSet = 1;
    priv->pitch = static_cast<int32_t>(m.ulFBPitch);
    priv->drawOrigin = m.lDstOrg;
}

void unsupported(const quarnScreenPrivate *priv) {
    ErrorF("quarn: Unsupported resolution. %d (%#x)\n", priv->requestedWidth, priv->height);
}

} // namespace

extern "C" {

int quarnConvertToModeInfo(const VidsetMode *r, const void *, ModeInfo *m) {
    const uint32_t clock = r->pixelClock;
    const uint32_t htotal =
        static_cast<uint32_t>(r->HVisible + r->HFrontPorch + r->HSync + r->HBackPorch);
    const uint32_t vtotal =
        static_cast<uint32_t>(r->VVisible + r->VFrontPorch + r->VSync + r->VBackPorch);
    const uint32_t vField =
        static_cast<uint32_t>(r->VFrontPorch + r->VBackPorch + r->VSync + r->VVisible / 2);
    // Overrides can leave totals of 0: no rate to compute, no mode.
    if (htotal == 0 || vtotal == 0 || (r->InterlaceEnable != 0 && vField == 0))
        return 0;
    m->ulDispWidth = static_cast<uint32_t>(r->HVisible);
    m->lDeskWidth = r->HVisible;
    m->lDispHeight = m->lDeskHeight = r->VVisible;
    m->lBpp = r->depth == 16 ? 15 : r->depth;
    m->lModeType = kModeType;
    m->lZoom = 1;
    m->lRefreshRate = static_cast<int32_t>(clock * 1000 / (htotal * vtotal));
    m->lHorizontalRate = static_cast<int32_t>(clock / htotal);
    m->lPixClock = static_cast<int32_t>(clock);
    m->lHFPorch = r->HFrontPorch;
    m->lHSync = r->HSync;
    m->lHBPorch = r->HBackPorch;
    m->lVFPorch = r->VFrontPorch;
    m->lVSync = r->VSync;
    m->lVBPorch = r->VBackPorch;
    m->lHOvscan = m->lVOvscan = m->lSignalMode = 0;
    m->lDstOrg = m->lDisplayOrg = m->lDisplayStartX = m->lDisplayStartY = 0;
    if (r->HSyncPol != 0)
        m->lSignalMode |= SIGNAL_HSYNC_POSITIVE;
    if (r->VSyncPol != 0)
        m->lSignalMode |= SIGNAL_VSYNC_POSITIVE;
    if (r->InterlaceEnable != 0) {
        m->lRefreshRate = static_cast<int32_t>(clock * 1000 / (htotal * vField));
        m->lSignalMode |= SIGNAL_INTERLACED;
    }
    return 1;
}

void quarnmake_vid(const VidsetMode *record) {
    vparm = *record;
    // The record describes the whole mode: nothing of an earlier screen's
    // mode may go in with it, above all its pitch, which the chip layer
    // takes as a lower bound and would give this screen a wider line.
    memset(&gModeInfo, 0, sizeof gModeInfo);
    quarnConvertToModeInfo(&vparm, &vparm.pixelClock, &gModeInfo);
}

void QUARNVidInit(int, quarnScreenPrivate *priv) {
    BoardHandle *board = priv->board;
    if (HALValidateMode(board, &gModeInfo) != 0 ||
        HALValidateVideoParameters(board, &gModeInfo) != 0) {
        ErrorF("QUARNVidInit: Invalid ModeInfo\n");
        return;
    }
    HALSetMode(board, &gModeInfo);
    takeMode(priv, gModeInfo);
}

Bool quarnInitHW(ScreenPtr pScreen) {
    quarnScreenPrivate *priv = QUARN_PRIV(pScreen);
    BoardHandle *board = priv->board;
    priv->memorySize = quarnCountMem(priv);
    const VidsetMode *found = findRecord(priv);
    if (found == nullptr) {
        unsupported(priv);
        return 0;
    }
    // The overrides change a copy: the table stays as built for the next
    // generation and for other screens.
    VidsetMode record = *found;
    applyOverrides(ddxActiveScreens[pScreen->myNum]->config->grafinfo, &record);
    ModeInfo local;
    memset(&local, 0, sizeof local);
    if (!quarnConvertToModeInfo(&record, &record.pixelClock, &local)) {
        unsupported(priv);
        return 0;
    }
    // The line holds the whole screen whatever the overrides made of the
    // visible width (less than the screen's, or nothing at all): a shorter
    // pitch would fold the screen's lines onto each other.
    local.ulFBPitch = static_cast<uint32_t>(priv->width);
    priv->dactype = mga_board == 3 ? 1 : 0;
    const uint8_t control = mmRead8(priv->regs + QUARN_MEMORY_CONTROL);
    mmWrite32(priv->regs + QUARN_MEMORY_CONTROL, control & 0x9Bu);
    mmWrite8(priv->regs + QUARN_CRTC_INDEX, 0x11);
    mmWrite8(priv->regs + QUARN_CRTC_DATA, mmRead8(priv->regs + QUARN_CRTC_DATA) | 0x20);
    quarnmake_vid(&record);
    gModeInfo.ulFBPitch = local.ulFBPitch;

    if (HALValidateMode(board, &local) == 0 && HALValidateVideoParameters(board, &local) == 0) {
        HALSetMode(board, &local);
        takeMode(priv, local);
    }
    quarnSetGraphics(pScreen);
    // A mode the chip layer refused leaves nothing on the screen to draw on.
    if (!priv->modeSet)
        return 0;
    if (priv->freeMemory < priv->lineBytes) {
        ErrorF("Not enough memory to support this resolution.\n");
        return 0;
    }
    return 1;
}

uint32_t __test(BoardHandle *pBoard, uint32_t value) {
    const uint32_t result = HALValidateMode(pBoard, &gModeInfo);
    if (result != 0)
        return result;
    for (uint32_t offset = 0; offset < 0x400000; offset += 4)
        ClientWriteMemoryDword(pBoard, offset, value);
    for (uint32_t i = 0; i < 768; i++) {
        ClientWriteMemoryByte(pBoard, i * 4096 + 2 * i, 0xFF);
        ClientWriteMemoryByte(pBoard, i * 4096 + 2 * i + 1, 0xFF);
    }
    return ClientWait(pBoard, 3000000);
}

// ---- dumps ----

void trace(const char *text) {
    ErrorF("%s", text);
}

void quarnErrorFSysClockInfo(SysClockInfo *c) {
    ErrorF("ulSystemPllFreq   : 0x%x\n", c->ulSystemPllFreq);
    ErrorF("ulMCTLWTST        : 0x%x\n", c->ulMCTLWTST);
    ErrorF("ucGraphicClockDiv : 0x%x\n", c->ucGraphicClockDiv);
    ErrorF("ucGraphicClockDesc: 0x%x\n", c->ucGraphicClockDesc);
    ErrorF("ucMemoryClockDiv  : 0x%x\n", c->ucMemoryClockDiv);
    ErrorF("ucMemoryClockDesc : 0x%x\n", c->ucMemoryClockDesc);
    ErrorF("ucWarpClockDiv    : 0x%x\n", c->ucWarpClockDiv);
    ErrorF("ucWarpClockDesc   : 0x%x\n", c->ucWarpClockDesc);
}

void quarnErrorFModeInfo(ModeInfo *m) {
    ErrorF("ulDispWidth: %d\n", static_cast<int>(m->ulDispWidth));
    ErrorF("lDispHeight: %d\n", m->lDispHeight);
    ErrorF("lDeskWidth: %d\n", m->lDeskWidth);
    ErrorF("lDeskHeight: %d\n", m->lDeskHeight);
    ErrorF("ulFBPitch: %d\n", static_cast<int>(m->ulFBPitch));
    ErrorF("lBpp: %d\n", m->lBpp);
    ErrorF("lModeType: 0x%x\n", static_cast<unsigned>(m->lModeType));
    ErrorF("lZoom: %d\n", m->lZoom);
    ErrorF("lRefreshRate: %d\n", m->lRefreshRate);
    ErrorF("lPixClock: %d\n", m->lPixClock);
    ErrorF("lHFPorch: %d\n", m->lHFPorch);
    ErrorF("lHSync: %d\n", m->lHSync);
    ErrorF("lHBPorch: %d\n", m->lHBPorch);
    ErrorF("lHOvscan: %d\n", m->lHOvscan);
    ErrorF("lVFPorch: %d\n", m->lVFPorch);
    ErrorF("lVSync: %d\n", m->lVSync);
    ErrorF("lVBPorch: %d\n", m->lVBPorch);
    ErrorF("lVOvscan: %d\n", m->lVOvscan);
    ErrorF("lSignalMode: 0x%x\n", static_cast<unsigned>(m->lSignalMode));
    ErrorF("lDstOrg: %d\n", m->lDstOrg);
    ErrorF("lDisplayOrg: %d\n", m->lDisplayOrg);
    ErrorF("lDisplayStartX: %d\n", m->lDisplayStartX);
    ErrorF("lDisplayStartY: %d\n", m->lDisplayStartY);
}

void quarnErrorFHSLData(HSLData *d) {
    auto dec = [](const char *name, uint32_t v) {
        ErrorF("%-23s: %d\n", name, static_cast<int>(v));
    };
    auto hex = [](const char *name, uint32_t v) { ErrorF("%-23s: 0x%x\n", name, v); };
    dec("ulHSLStructSize", d->ulHSLStructSize);
    hex("ulHSLStructRev", d->ulHSLStructRev);
    hex("ulBaseRegister", d->ulBaseRegister);
    hex("ulFrameBuffer", d->ulFrameBuffer);
    dec("ulPLLRefFrequence", d->ulPLLRefFrequence);
    dec("ulI2CChannel2Cache", d->ulI2CChannel2Cache);
    hex("ucFactoryOpt", d->ucFactoryOpt);
    hex("ucI2CAddMaven", d->ucI2CAddMaven);
    hex("ucMavenVersion", d->ucMavenVersion);
    hex("ucI2CAddVideoDecoder", d->ucI2CAddVideoDecoder);
    hex("ucI2CAddPanelLinkModule", d->ucI2CAddPanelLinkModule);
    hex("ucI2CPortPanelLink", d->ucI2CPortPanelLink);
    hex("ucI2CAddPanelLink", d->ucI2CAddPanelLink);
    dec("ucI2CAddMSPChip", d->ucI2CAddMSPChip);
    dec("ucI2CAddTVTuner", d->ucI2CAddTVTuner);
    dec("ucI2CAddHD15Module", d->ucI2CAddHD15Module);
    hex("ucI2CPortSecondHD15", d->ucI2CPortSecondHD15);
    hex("ulMSPVersion", d->ulMSPVersion);
    dec("ulPLLFreqRef", d->ulPLLFreqRef);
    dec("ulVCOMax", d->ulVCOMax);
    dec("ulSystemVCOMax", d->ulSystemVCOMax);
    dec("ulPclkMax8", d->ulPclkMax8);
    dec("ulPclkMax16", d->ulPclkMax16);
    dec("ulPclkMax24", d->ulPclkMax24);
    dec("ulPclkMax32", d->ulPclkMax32);
    dec("ulMCTLWTST", d->ulMCTLWTST);
    dec("ulMemoryConfig", d->ulMemoryConfig);
    hex("ulVidCtrl", d->ulVidCtrl);
    hex("ulOption", d->ulOption);
    hex("ulOption2", d->ulOption2);
    hex("ulMemRdBk", d->ulMemRdBk);
    hex("ulCRTCEXT6", d->ulCRTCEXT6);
    hex("ulCS_PCI_AGP_CMD", d->ulCS_PCI_AGP_CMD);
    hex("ulCS_PCI_SubSysID", d->ulCS_PCI_SubSysID);
}

void quarnErrorFBoardHandle(BoardHandle *b) {
    auto hex = [](const char *name, uint32_t v) { ErrorF("%-16s: 0x%x\n", name, v); };
    hex("ulHALStructSize", b->ulHALStructSize);
    hex("ulHALStructRev", b->ulHALStructRev);
    hex("ulFreeMemStart1", b->ulFreeMemStart1);
    hex("ulFreeMemSize1", b->ulFreeMemSize1);
    hex("ulFreeMemStart2", b->ulFreeMemStart2);
    hex("ulFreeMemSize2", b->ulFreeMemSize2);
    hex("ulChipID", b->ulChipID);
    hex("ulChipRev", b->ulChipRev);
    hex("ulSubSystemID", b->ulSubSystemID);
    // The sixteen capability words on one line, as one conversion each.
    ErrorF("%-16s:", "flCRTCInfo");
    for (uint32_t w : b->flCRTCInfo)
        ErrorF(" 0x%x", w);
    ErrorF("\n");
    hex("ulBiosProg", b->ulBiosProg);
    hex("ulBiosVersion", b->ulBiosVersion);
    hex("ulBiosOutputMode", b->ulBiosOutputMode);
    hex("ulPCBRev", b->ulPCBRev);
    hex("ulProductID", b->ulProductID);
    hex("flFeatures", b->flFeatures);
    hex("flStraps", b->flStraps);
    hex("ulIntCtrlReg", b->ulIntCtrlReg);
    hex("flEngineCaps1", b->flEngineCaps1);
    hex("ulMemoryType", b->ulMemoryType);
    hex("ulBaseMemory", b->ulBaseMemory);
    hex("ulAddonMemory", b->ulAddonMemory);
    hex("ulDVDInfo", b->ulDVDInfo);
    ErrorF("------- HSL Data\n");
    quarnErrorFHSLData(&b->HSLData);
    ErrorF("------- Current System Clock\n");
    quarnErrorFSysClockInfo(&b->CurrentSysClock);
}

} // extern "C"
