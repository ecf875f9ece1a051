// The eclipse mode layer: pitch and desktop placement, the checks against
// memory and clock limits, the output route a mode type asks for, and the
// mode set on a working copy of the caller's record with its six routes.
// The checks and routes twister shares take the family's record.
#include "hal_error.h"
#include "hal_addon.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_single.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint32_t kMaxWidth = 8191;
constexpr uint32_t kStatusMemoryMark = 0x80000000u;
constexpr uint32_t kRouteMask = 0x13700000u;
constexpr uint8_t XMisc = 0x1E;

uint32_t maxHeight(const ModeInfo *m) {
    return uint32_t(m->lDeskHeight > m->lDispHeight ? m->lDeskHeight : m->lDispHeight);
}

} // namespace

namespace hsl {

uint32_t singleBytesPerPixel(int32_t bpp) {
    switch (bpp) {
    case 8:
        return 1;
    case 15:
    case 16:
        return 2;
    case 24:
        return 3;
    case 32:
        return 4;
    default:
        return 0;
    }
}

uint32_t singleRouteOf(uint32_t masked) {
    switch (masked) {
    case 0x100000:
        return ROUTE_CRTC1_NO_OUTPUT;
    case 0x1200000:
        return ROUTE_CRTC1_DAC;
    case 0x11600000:
        return ROUTE_CRTC1_DAC_FLAT;
    case 0x3600000:
        return ROUTE_CRTC1_DAC_TV;
    case 0x10400000:
        return ROUTE_CRTC1_FLAT;
    case 0x2400000:
        return ROUTE_CRTC1_TV;
    default:
        return ROUTE_NONE;
    }
}

void singleDacSteps(BoardHandle *b, ModeInfo *m) {
    HSLCRTCSet(b, m);
    HSLDACInit(b, m);
    HSLDACPIXPLLSET(b, m);
    HSLDACWaitForVSync(b);
    HSLDACScreenOn(b);
}

void singleFreeMemory(BoardHandle *pBoard, const ModeInfo *pMode) {
    if (failed(pBoard))
        return;
    const uint32_t b = singleBytesPerPixel(pMode->lBpp);
    pBoard->ulFreeMemStart1 =
        (maxHeight(pMode) * pMode->ulFBPitch + uint32_t(pMode->lDisplayOrg)) * b;
    pBoard->ulFreeMemSize1 = pBoard->ulBaseMemory + pBoard->ulAddonMemory - pBoard->ulFreeMemStart1;
    pBoard->ulFreeMemStart2 = pBoard->ulFreeMemSize2 = 0;
}

uint32_t singleValidateOutputMode(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode,
                                  uint32_t *pRoute) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    int32_t &t = pMode->lModeType;
    if (t & MODE_TYPE_DAC)
        t |= MODE_TYPE_DAC_ON;
    if ((t & MODE_TYPE_SECOND_OUTPUT) && !(t & (MODE_TYPE_TV | MODE_TYPE_FLAT_PANEL))) {
        const uint32_t mon = pBoard->SecondMonitor.flMonitor;
        if (mon & MONITOR_DIGITAL)
            t |= MODE_TYPE_FLAT_PANEL;
        else if (mon & MONITOR_TV)
            t |= MODE_TYPE_TV;
    }
    *pRoute = singleRouteOf(uint32_t(t) & kRouteMask);
    if (*pRoute == ROUTE_NONE)
        SetErr(pBoard, f.codes.route);
    return pBoard->ulErrorCode;
}

uint32_t singleComputePitch(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t route = 0;
    f.validateOutputMode(pBoard, pMode, &route);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t w = pMode->ulDispWidth;
    if (uint32_t(pMode->lDeskWidth) > w)
        w = uint32_t(pMode->lDeskWidth);
    if (pMode->ulFBPitch > w)
        w = pMode->ulFBPitch;
    uint32_t unit = 0;
    switch (pMode->lBpp) {
    case 8:
    case 24:
        unit = 64;
        break;
    case 15:
    case 16:
    case 32:
        unit = 32;
        break;
    default:
        return SetErr(pBoard, f.codes.pitchDepth);
    }
    pMode->ulFBPitch = (w + unit - 1) / unit * unit;
    if (pMode->ulFBPitch == pMode->ulDispWidth &&
        (route == ROUTE_CRTC1_DAC_TV || route == ROUTE_CRTC1_TV) && pMode->ulDispWidth > 640)
        pMode->ulFBPitch = (pMode->ulFBPitch + 64) / 64 * 64;
    if (w > kMaxWidth)
        SetErr(pBoard, f.codes.pitchWidth);
    return pBoard->ulErrorCode;
}

uint32_t singleValidateMode(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t memory = pBoard->ulBaseMemory + pBoard->ulAddonMemory;
    if (uint32_t(pMode->lDeskWidth) > kMaxWidth)
        return SetErr(pBoard, f.codes.deskWidth);
    const bool deskCovers = uint32_t(pMode->lDeskWidth) >= pMode->ulDispWidth &&
                            pMode->lDeskHeight >= pMode->lDispHeight;
    const bool zoomed = pMode->lZoom == 2 || pMode->lZoom == 4;
    if (pMode->lZoom != 1 && !(zoomed && (f.zoomAnyDesktop || deskCovers)))
        return SetErr(pBoard, f.codes.zoom);
    if (pMode->lModeType & MODE_TYPE_TV) {
        if ((pBoard->flFeatures & 0x180) == 0)
            return SetErr(pBoard, f.codes.noTv);
        HSLMAVValidateMode(pBoard, pMode);
    }
    f.computePitch(pBoard, pMode);
    f.computeDSTORG(pBoard, pMode);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t b = singleBytesPerPixel(pMode->lBpp);
    if (b == 0)
        return SetErr(pBoard, f.codes.modeDepth);
    const uint64_t needed =
        (uint64_t(maxHeight(pMode)) * pMode->ulFBPitch + uint32_t(pMode->lDisplayOrg)) * b;
    if (needed > memory)
        SetErr(pBoard, f.codes.memory);
    return pBoard->ulErrorCode;
}

uint32_t singleSetModeCaps(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t caps = f.modeCapsAlways;
    if (f.blockModeMemory(pBoard)) {
        caps |= 0x4;
        if (pMode->lBpp != 24)
            caps |= 0x1;
    }
    pMode->flModeCaps = caps;
    pMode->lPanXStep = (pMode->lBpp == 15 || pMode->lBpp == 16) ? 4 : pMode->lBpp == 32 ? 2 : 8;
    pMode->lPanYStep = 1;
    return pBoard->ulErrorCode;
}

uint32_t singleValidateVideoParameters(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const HSLData &d = pBoard->HSLData;
    if (pMode->lPixClock == 0)
        return SetErr(pBoard, f.codes.noClock);
    uint32_t limit = 0;
    switch (pMode->lBpp) {
    case 8:
        limit = d.ulPclkMax8;
        break;
    case 15:
    case 16:
        limit = d.ulPclkMax16;
        break;
    case 24:
        limit = d.ulPclkMax24;
        break;
    case 32:
        limit = d.ulPclkMax32;
        break;
    default:
        return SetErr(pBoard, f.codes.clockDepth);
    }
    if (uint32_t(pMode->lPixClock) > limit)
        return SetErr(pBoard, f.codes.clockLimit);
    if (pMode->lVOvscan != 0)
        return SetErr(pBoard, f.codes.vOvscan);
    f.validateLatency(pBoard, pMode);
    if (pMode->lModeType & MODE_TYPE_TV)
        HSLMAVValidateVideoParameters(pBoard, pMode);
    return f.setModeCaps(pBoard, pMode);
}

uint32_t singleDisableCRTC1Output(const SingleHead &f, BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const ModeInfo &current = pBoard->CurrentModeCRTC1;
    if (current.lModeType & MODE_TYPE_DAC_ON)
        HSLDACScreenOff(pBoard);
    const bool panel = f.panelOffByMode ? (current.lModeType & MODE_TYPE_FLAT_PANEL) != 0
                                        : (pBoard->flFeatures & 0x6000) != 0;
    if (panel) {
        HSLEnablePanelLinkModuleOutput(pBoard, 0);
        HSLFlatEnableMAFC(pBoard, 0);
    }
    if (pBoard->flFeatures & 0x180)
        HSLMAVSetTVDisableMode(pBoard);
    return HSLCRTCDisable(pBoard);
}

uint32_t singleSetModeCRTC1ToNoOutput(const SingleHead &, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLCRTCDisable(pBoard);
    pMode->lModeType = MODE_TYPE_NO_OUTPUT;
    return pBoard->ulErrorCode;
}

uint32_t singleSetModeCRTC1ToDacFlat(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    f.computePitch(pBoard, pMode);
    singleDacSteps(pBoard, pMode);
    HSLFlatEnableMAFC(pBoard, 1);
    HSLEnablePanelLinkModuleOutput(pBoard, 1);
    return pBoard->ulErrorCode;
}

uint32_t singleSetModeCRTC1ToDacTV(const SingleHead &f, BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    f.computePitch(pBoard, pMode);
    if (pMode->ulDispWidth >= 800) {
        pMode->ulDispWidth += 8;
        pMode->lHBPorch -= 8;
        HSLCRTCSet(pBoard, pMode);
        pMode->ulDispWidth -= 8;
        pMode->lHBPorch += 8;
    } else {
        HSLCRTCSet(pBoard, pMode);
    }
    HSLDACInit(pBoard, pMode);
    HSLDACPIXPLLSET(pBoard, pMode);
    HSLDACWaitForVSync(pBoard);
    HSLDACScreenOn(pBoard);
    HSLMAVSetTVOutMode(pBoard, pMode);
    return pBoard->ulErrorCode;
}

uint32_t singleSetModeCRTC1ToTV(const SingleHead &f, BoardHandle *pBoard, ModeInfo *) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    return SetErr(pBoard, f.codes.tvAlone);
}

} // namespace hsl

extern "C" {

uint32_t HSLECLValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute) {
    return singleValidateOutputMode(kEclipseFamily, pBoard, pMode, pRoute);
}
uint32_t HSLECLComputePitch(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleComputePitch(kEclipseFamily, pBoard, pMode);
}

// Where the desktop is smaller than the display on one axis and larger on
// the other, only the smaller axis is centred: the larger one's difference
// would be negative and place the desktop far outside video memory.
uint32_t HSLECLComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t dx = 0, dy = 0;
    const bool narrower = uint32_t(pMode->lDeskWidth) < pMode->ulDispWidth;
    const bool lower = pMode->lDeskHeight < pMode->lDispHeight;
    if (narrower || lower) {
        if (narrower)
            dx = (pMode->ulDispWidth - uint32_t(pMode->lDeskWidth)) >> 1;
        if (lower)
            dy = uint32_t(pMode->lDispHeight - pMode->lDeskHeight) >> 1;
    }
    pMode->lDisplayOrg = 0;
    uint32_t org = dx + dy * pMode->ulFBPitch;
    if (org % 64 != 0) {
        const uint32_t unit = (pMode->lBpp == 15 || pMode->lBpp == 16) ? 32
                              : pMode->lBpp == 32                      ? 16
                                                                       : 64;
        const uint32_t grow = unit - org % unit;
        pMode->lDisplayOrg = int32_t(grow);
        org += grow;
    }
    pMode->lDstOrg = int32_t(org);
    if (pMode->lBpp == 24)
        pMode->lDisplayOrg &= ~15;
    return pBoard->ulErrorCode;
}

uint32_t HSLECLValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleValidateMode(kEclipseFamily, pBoard, pMode);
}
uint32_t HSLECLValidateLatency(BoardHandle *pBoard, ModeInfo *) {
    return pBoard->ulErrorCode;
}
uint32_t HSLECLSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCaps(kEclipseFamily, pBoard, pMode);
}
uint32_t HSLECLValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleValidateVideoParameters(kEclipseFamily, pBoard, pMode);
}
uint32_t HSLECLDisableCRTC1Output(BoardHandle *pBoard) {
    return singleDisableCRTC1Output(kEclipseFamily, pBoard);
}
uint32_t HSLECLSetModeCRTC1ToNoOutput(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToNoOutput(kEclipseFamily, pBoard, pMode);
}

uint32_t HSLECLSetModeCRTC1ToDac(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLECLComputePitch(pBoard, pMode);
    singleDacSteps(pBoard, pMode);
    if (!failed(pBoard) && (pBoard->SecondMonitor.flMonitor & 0x40)) {
        HSLFlatEnableMAFC(pBoard, 1);
        HSLEnablePanelLinkModuleOutput(pBoard, 1);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLECLSetModeCRTC1ToDacFlat(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToDacFlat(kEclipseFamily, pBoard, pMode);
}

uint32_t HSLECLSetModeCRTC1ToFlat(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    HSLECLSetModeCRTC1ToDacFlat(pBoard, pMode);
    uint8_t v = 0;
    HSLDACReadRegister(pBoard, XMisc, &v);
    HSLDACWriteRegister(pBoard, XMisc, v & ~1u);
    return pBoard->ulErrorCode;
}

uint32_t HSLECLSetModeCRTC1ToDacTV(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToDacTV(kEclipseFamily, pBoard, pMode);
}
uint32_t HSLECLSetModeCRTC1ToTV(BoardHandle *pBoard, ModeInfo *pMode) {
    return singleSetModeCRTC1ToTV(kEclipseFamily, pBoard, pMode);
}

uint32_t HSLECLSetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const ModeInfo copy = *pMode;
    uint32_t status = 0;
    ClientReadRegisterDword(pBoard, kStatus, &status);
    if (!failed(pBoard) && (status & kStatusMemoryMark) == 0) {
        HSLECLPowerUp(pBoard);
        pBoard->CurrentModeCRTC1.ulDispWidth = 0;
    }
    if ((pBoard->flStraps & 2) == 0) {
        pBoard->flStraps |= 2;
        HSLECLInitHardware(pBoard);
    }
    uint32_t route = 0;
    HSLECLValidateOutputMode(pBoard, pMode, &route);
    const bool mode1 =
        pMode->lBpp == 8 || pMode->lBpp == 24 || (pMode->lBpp == 32 && pMode->ulDispWidth > 1024);
    HSLECLProgramSystemClock(pBoard, mode1 ? &pBoard->SysClockMode1 : &pBoard->SysClockMode2);
    HSLECLDisableCRTC1Output(pBoard);
    HSLCRTCSelectHiresMode(pBoard);
    if (!failed(pBoard)) {
        switch (route) {
        case ROUTE_CRTC1_NO_OUTPUT:
            HSLECLSetModeCRTC1ToNoOutput(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC:
            HSLCRTCAdjustVideoParameters(pBoard, pMode);
            HSLECLSetModeCRTC1ToDac(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC_FLAT:
            HSLCRTCAdjustVideoParameters(pBoard, pMode);
            HSLECLSetModeCRTC1ToDacFlat(pBoard, pMode);
            break;
        case ROUTE_CRTC1_DAC_TV:
            HSLECLSetModeCRTC1ToDacTV(pBoard, pMode);
            break;
        case ROUTE_CRTC1_FLAT:
            HSLCRTCAdjustVideoParameters(pBoard, pMode);
            HSLECLSetModeCRTC1ToFlat(pBoard, pMode);
            break;
        case ROUTE_CRTC1_TV:
            HSLECLSetModeCRTC1ToTV(pBoard, pMode);
            break;
        default:
            SetErr(pBoard, HSL_ERR_SET_ROUTE);
            break;
        }
    }
    ClientWriteRegisterDword(pBoard, 0x1C94, 0);
    ClientWriteRegisterDword(pBoard, 0x1E4C, 1);
    ClientWriteRegisterDword(pBoard, 0x1C1C, 0xFFFFFFFFu);
    HSLECLComputeDSTORG(pBoard, pMode);
    singleFreeMemory(pBoard, pMode);
    HSLECLSetModeCaps(pBoard, pMode);
    HSLCRTCSetPitch(pBoard, pMode);
    if (!failed(pBoard))
        pBoard->CurrentModeCRTC1 = *pMode;
    HSLCRTCSetPriorityRequest(pBoard);
    HSLDACSetZoom(pBoard, uint32_t(pMode->lZoom));
    HSLCRTCSetDisplayStart(pBoard, 0, 0);
    *pMode = copy;
    return pBoard->ulErrorCode;
}

} // extern "C"
