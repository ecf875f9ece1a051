// The dual-head mode layer: which controller and outputs a mode type asks
// for, the checks of a mode against the board, pitch and placement, the
// mode set on a working copy of the caller's record with its eighteen
// routes, and the memory-request priorities when both controllers display.
#include <stdint.h>

#include <initializer_list>

#include "hal_addon.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_board.h"
#include "hsl_single.h"
#include "hsl_crtc2.h"
#include "hsl_tou.h"
#include "hsl_regs.h"
#include "hsl_tou_mode.h"
#include "hsl_mav_tables.h"

namespace {

using namespace hsl;
using hsldual::ModeFamily;

constexpr uint32_t kMaxDeskWidth = 4096;
constexpr uint32_t kMaxPitchWidth = 8191;
constexpr uint32_t kMaxSurface = 0x1000000;
constexpr uint32_t kMaxCrtc2Clock = 135000;
constexpr uint32_t kStatusMemoryMark = 0x80000000u;
constexpr uint8_t XPixelClock = 0x1A, XMisc = 0x1E, XPanelMode = 0x1F, XClockControl = 0x20;
constexpr uint32_t kFlatPanelFeatures = 0x6000, kEncoderFeatures = 0x180, kSecondModule = 0x100;
constexpr uint32_t kMonitorPanelPort = 0x40;
constexpr uint8_t kTVModeFlatClock = 7;
constexpr uint32_t kCrtc2OnDac = 0x100004u | CRTC2_CONTROL_ENABLE;

struct RouteEntry {
    uint32_t value;
    uint32_t route;
};

constexpr RouteEntry kRoutes[] = {
    {0x00100000, DUAL_ROUTE_CRTC1_NO_OUTPUT}, {0x01200000, DUAL_ROUTE_CRTC1_DAC},
    {0x11600000, DUAL_ROUTE_CRTC1_DAC_FLAT},  {0x09600000, DUAL_ROUTE_CRTC1_DAC_CRT},
    {0x03600000, DUAL_ROUTE_CRTC1_DAC_TV},    {0x10400000, DUAL_ROUTE_CRTC1_FLAT},
    {0x08400000, DUAL_ROUTE_CRTC1_CRT},       {0x02400000, DUAL_ROUTE_CRTC1_TV},
    {0x00180000, DUAL_ROUTE_CRTC2_NO_OUTPUT}, {0x01280000, DUAL_ROUTE_CRTC2_DAC},
    {0x11680000, DUAL_ROUTE_CRTC2_DAC_FLAT},  {0x09680000, DUAL_ROUTE_CRTC2_DAC_CRT},
    {0x03680000, DUAL_ROUTE_CRTC2_DAC_TV},    {0x05680000, DUAL_ROUTE_CRTC2_DAC_TV_YUV},
    {0x10480000, DUAL_ROUTE_CRTC2_FLAT},      {0x08480000, DUAL_ROUTE_CRTC2_CRT},
    {0x02480000, DUAL_ROUTE_CRTC2_TV},        {0x04C80000, DUAL_ROUTE_CRTC2_TV_YUV},
};

uint32_t routeOf(uint32_t masked) {
    for (const RouteEntry &r : kRoutes)
        if (r.value == masked)
            return r.route;
    return DUAL_ROUTE_NONE;
}

bool crtc2Mode(const ModeInfo *m) {
    return (m->lModeType & MODE_TYPE_CRTC2) != 0;
}

bool inRoutes(uint32_t route, std::initializer_list<uint32_t> list) {
    for (uint32_t r : list)
        if (r == route)
            return true;
    return false;
}

// The format codes of the second CRTC that validation admits.
bool admittedFormat(int32_t bpp) {
    switch (bpp) {
    case 0x20000:
    case 0x30000:
    case 0x40000:
    case 0x50000:
    case 0x70000:
    case 0x80000:
    case 0x90000:
    case 0xA0000:
        return true;
    default:
        return false;
    }
}

uint32_t maxHeight(const ModeInfo *m) {
    const int32_t h = m->lDeskHeight > m->lDispHeight ? m->lDeskHeight : m->lDispHeight;
    return h > 0 ? uint32_t(h) : 0;
}

// Bytes of `lines` lines of `pitch` pixels, saturating where an
// unvalidated mode would pass 64 bits.
uint64_t surfaceBytes(uint64_t lines, uint64_t pitch, uint64_t bytes) {
    uint64_t v = 0;
    if (__builtin_mul_overflow(lines, pitch, &v) || __builtin_mul_overflow(v, bytes, &v))
        return UINT64_MAX;
    return v;
}

uint32_t err(const ModeFamily &f, BoardHandle *b, uint32_t toucanCode) {
    return SetErr(b, hsldual::familyCode(f, toucanCode));
}

void writeReg(BoardHandle *b, uint32_t offset, uint32_t v) {
    ClientWriteRegisterDword(b, offset, v);
}

uint8_t readDac(BoardHandle *b, uint8_t index) {
    uint8_t v = 0;
    HSLDACReadRegister(b, index, &v);
    return v;
}

// Waits until the second CRTC's line counter reads `lines`. The counter
// runs while the controller displays, so a bounded wait only gives up on a
// controller that stopped; nothing is recorded then, as a wait that ends
// early leaves only a torn first frame.
void waitCrtc2Line(BoardHandle *b, uint32_t lines) {
    for (uint32_t i = 0; i < HSL_POLL_READS && !failed(b); i++)
        if ((readReg(b, CRTC2_VCOUNT) & 0xFFF) == lines)
            return;
}

// The second HD15 connector's module keeps its own output off until bit 7
// of its byte is cleared.
void secondModuleByte(BoardHandle *b) {
    if ((b->flFeatures & kSecondModule) == 0)
        return;
    uint8_t v = 0;
    HSLMAVI2CReadSecondHD15Module(b, &v);
    HSLMAVI2CWriteSecondHD15Module(b, v & 0x7Fu);
}

// The TV encoder and the second CRT take a line 8 pixels longer on the
// visible side; the record's own values come back right after the call.
void widened(BoardHandle *b, ModeInfo *m, uint32_t (*set)(BoardHandle *, ModeInfo *)) {
    m->ulDispWidth += 8;
    m->lHBPorch = int32_t(uint32_t(m->lHBPorch) - 8);
    set(b, m);
    m->ulDispWidth -= 8;
    m->lHBPorch = int32_t(uint32_t(m->lHBPorch) + 8);
}

// The copy the second-CRT routes program: porches and sync in whole units
// of 8 pixels. Its pitch goes back to the record, which the rest of the
// mode set programs the line offset from.
ModeInfo roundedCopy(const ModeFamily &f, const ModeInfo *m) {
    ModeInfo c = *m;
    if (f.roundedCrtCopy) {
        c.lHFPorch &= ~7;
        c.lHSync &= ~7;
        c.lHBPorch &= ~7;
    }
    return c;
}

void crtPreload(BoardHandle *b, const ModeInfo *m) {
    HSLCRTC2SetPreload(b, m->ulDispWidth + (uint32_t(m->lHFPorch) & ~7u) + 23,
                       uint32_t(m->lDispHeight) + uint32_t(m->lVFPorch) + 2);
}

void dacSteps(BoardHandle *b, ModeInfo *m) {
    HSLDACInit(b, m);
    HSLDACPIXPLLSET(b, m);
    HSLDACWaitForVSync(b);
}

void panelMode(BoardHandle *b) {
    if (b->ulChipRev != 0)
        HSLDACWriteRegister(b, XPanelMode, 0xC1);
}

void routePort(const ModeFamily &f, BoardHandle *b, uint32_t code) {
    if (!f.portSlots)
        return;
    callSlot(b, HSL_SLOT_CONTROL_MAFC_PORT, code);
    callSlot(b, HSL_SLOT_ROUTE_PIXEL_CLOCK, code);
}

void releasePort(const ModeFamily &f, BoardHandle *b) {
    routePort(f, b, 0);
}

// ---- the routes ----

void routeCrtc1Dac(const ModeFamily &f, BoardHandle *b, ModeInfo *m, bool flat) {
    hsldual::computePitch(f, b, m);
    HSLCRTCSet(b, m);
    dacSteps(b, m);
    HSLDACScreenOn(b);
    if (flat) {
        HSLFlatEnableMAFC(b, 1);
        panelMode(b);
        HSLEnablePanelLinkModuleOutput(b, 1);
    } else if (f.route2Flat && !failed(b) &&
               (b->SecondMonitor.flMonitor & kMonitorPanelPort) != 0) {
        panelMode(b);
        HSLFlatEnableMAFC(b, 1);
        HSLEnablePanelLinkModuleOutput(b, 1);
    }
}

void routeCrtc1DacCrt(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    ModeInfo c = roundedCopy(f, m);
    hsldual::computePitch(f, b, &c);
    widened(b, &c, HSLCRTCSet);
    dacSteps(b, &c);
    HSLDACScreenOn(b);
    HSLMAVSetGPIO(b, 0);
    secondModuleByte(b);
    HSLMAVSetCRTOutMode(b, &c);
    if (!failed(b))
        m->ulFBPitch = c.ulFBPitch;
}

void routeCrtc1DacTv(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    hsldual::computePitch(f, b, m);
    if (m->ulDispWidth >= 800)
        widened(b, m, HSLCRTCSet);
    else
        HSLCRTCSet(b, m);
    dacSteps(b, m);
    hsldual::computeDstOrg(f, b, m);
    HSLDACScreenOn(b);
    HSLMAVSetGPIO(b, 1);
    secondModuleByte(b);
    HSLMAVSetTVOutMode(b, m);
}

void routeCrtc2Dac(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    hsldual::computePitch(f, b, m);
    HSLCRTC2Set(b, m);
    dacSteps(b, m);
    if (!failed(b))
        writeReg(b, CRTC2_CONTROL, readReg(b, CRTC2_CONTROL) | kCrtc2OnDac);
}

void routeCrtc2Flat(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    const bool encoder = (b->flFeatures & kEncoderFeatures) != 0;
    if (b->ulChipRev == 0 || (b->ulChipRev == 1 && !encoder)) {
        err(f, b, HSL_ERR_TOU_FLAT_CRTC2);
        return;
    }
    hsldual::computePitch(f, b, m);
    HSLCRTC2Set(b, m);
    if (!encoder)
        HSLAV9110SetPixelPLL(b, uint32_t(m->lPixClock));
    else
        HSLMAVPIXPLLSET(b, m);
    HSLDACWriteRegister(b, XPanelMode, 0xC1);
    routePort(f, b, 6);
    HSLEnablePanelLinkModuleOutput(b, 1);
}

void routeCrtc2Crt(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    ModeInfo c = roundedCopy(f, m);
    hsldual::computePitch(f, b, &c);
    widened(b, &c, HSLCRTC2Set);
    HSLMAVSetGPIO(b, 0);
    secondModuleByte(b);
    HSLMAVSetCRTOutMode(b, &c);
    crtPreload(b, &c);
    if (!failed(b))
        m->ulFBPitch = c.ulFBPitch;
}

void routeCrtc2Tv(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    hsldual::computePitch(f, b, m);
    if (m->ulDispWidth >= 800)
        widened(b, m, HSLCRTC2Set);
    else
        HSLCRTC2Set(b, m);
    HSLMAVSetGPIO(b, 1);
    secondModuleByte(b);
    HSLMAVSetTVOutModeCRTC2(b, m);
    crtPreload(b, m);
}

// The first encoder revision takes its YUV timing from the TV tables: the
// record gets the table's size and its twelve timing words.
void routeCrtc2YuvRev0(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    ModeInfo tv{};
    tv.lModeType = MODE_TYPE_INTERLACED_CRTC2;
    tv.ulDispWidth = m->ulDispWidth;
    tv.lDispHeight = m->lDispHeight;
    HSLMAVGetTVParameters(b, &tv, b->TVState.ucTVStandard);
    if (failed(b))
        return;
    m->ulDispWidth = tv.ulDispWidth;
    m->lDispHeight = tv.lDispHeight;
    int32_t *to = &m->lRefreshRate;
    const int32_t *from = &tv.lRefreshRate;
    for (int i = 0; i < 12; i++)
        to[i] = from[i];
    HSLCRTC2Set(b, m);
    hsldual::computePitch(f, b, m);
    HSLMAVSetTVYUVModeToucanRev0(b, m);
    HSLCRTC2SetPreload(b, m->ulDispWidth + 40, uint32_t(m->lDispHeight) - 1);
}

void routeCrtc2Yuv(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    if (f.yuvThroughEncoder) {
        HSLCRTC2Set(b, m);
        hsldual::computePitch(f, b, m);
        HSLMAVSetGPIO(b, 1);
        secondModuleByte(b);
        HSLMAVSetTVYUVMode(b, m);
    } else {
        hsldual::computePitch(f, b, m);
        HSLMAVCRTC2SetITU656(b, m);
        HSLMAVSetGPIO(b, 1);
        secondModuleByte(b);
    }
    HSLCRTC2SetPreload(b, 0, 0);
}

// ---- priorities ----

// Scales a product without overflow; false when it does not fit.
bool mul(int64_t a, int64_t b, int64_t &out) {
    return !__builtin_mul_overflow(a, b, &out);
}

// A level and its class in one priority byte.
uint8_t priorityByte(int64_t level) {
    uint32_t cls = 0;
    if (level > 7) {
        level = 7;
        cls = 2;
    } else if (level < 0) {
        level = 0;
    } else if (level >= 4) {
        cls = 2;
    } else if (level >= 1) {
        cls = 1;
    }
    return uint8_t((uint32_t(level) & 7) | cls << 4);
}

int64_t firstFactor(int32_t bpp) {
    switch (bpp) {
    case 8:
        return 48;
    case 15:
        return 24;
    case 16:
        return 26;
    case 24:
        return 16;
    case 32:
        return 12;
    default:
        return 0;
    }
}

int64_t secondFactor(int32_t bpp) {
    if (bpp == 32)
        return 4;
    if (bpp == 15 || bpp == 16 || admittedFormat(bpp))
        return 8;
    return 0;
}

// The two levels, or false where the arithmetic has no answer (a zero
// divisor, a depth without a factor, a product past 64 bits).
bool dualLevels(const BoardHandle *b, const ModeInfo *m1, const ModeInfo *m2, int64_t &level1,
                int64_t &level2) {
    const int64_t b1 = firstFactor(m1->lBpp), b2 = secondFactor(m2->lBpp);
    if (b1 == 0 || b2 == 0 || m1->lPixClock == 0 || m2->lPixClock == 0)
        return false;
    const int64_t t1 = 1000000 / int64_t(m1->lPixClock), t2 = 1000000 / int64_t(m2->lPixClock);
    const uint32_t d = b->CurrentSysClock.ucMemoryClockDiv;
    const int64_t memDivisor = int64_t(d >> 4) * b->CurrentSysClock.ulSystemPllFreq;
    if (memDivisor == 0)
        return false;
    const int64_t m = int64_t(d & 15) * 1000000 / memDivisor;
    const int64_t den1 = -8 * b1 * t1, den2 = -8 * b2 * t2;
    if (den1 == 0 || den2 == 0)
        return false;
    int64_t a = 0, c = 0;
    if (!mul(3 - 46 * b1, t1, a) || !mul(100, 192 * m + a, a))
        return false;
    const int64_t q1 = a / den1, q2 = -2700 * m / den1;
    if (!mul(1 - 46 * b2, t2, c) || !mul(100, 64 * m + c, c))
        return false;
    const int64_t q3 = c / den2, q4 = -900 * m / den2;
    int64_t q3q2 = 0, q4q2 = 0;
    if (!mul(q3, q2, q3q2) || !mul(q4, q2, q4q2))
        return false;
    const int64_t divisor = 1 - q4q2 / 10000;
    if (divisor == 0)
        return false;
    const int64_t x = (q1 - q3q2 / 100) / divisor;
    int64_t xq4 = 0;
    if (!mul(x, q4, xq4))
        return false;
    const int64_t y = q3 - xq4 / 100;
    level1 = x / 100;
    level2 = y / 100;
    return true;
}

void setPriorities(const ModeFamily &f, BoardHandle *b, uint32_t cleared) {
    const bool first = (b->CurrentModeCRTC1.lModeType & MODE_TYPE_NO_OUTPUT) == 0;
    const bool second = (b->CurrentModeCRTC2.lModeType & MODE_TYPE_NO_OUTPUT) == 0;
    if (first && second) {
        if (!f.dualPriorities)
            return;
        uint8_t p1 = 0, p2 = 0;
        HSLTOUHipriDualUnit(b, &b->CurrentModeCRTC1, &b->CurrentModeCRTC2, &p1, &p2);
        if ((readExt(b, 6) & 0x77) != p1) {
            HSLDACWaitForVSync(b);
            HSLDACScreenOff(b);
            writeExt(b, 6, p1);
            HSLDACScreenOn(b);
        }
        const uint32_t next = cleared | uint32_t(p2 & 7) << 4 | uint32_t((p2 >> 4) & 7) << 8;
        const uint32_t now = readReg(b, CRTC2_CONTROL);
        if (next != now) {
            writeReg(b, CRTC2_CONTROL, now & ~CRTC2_CONTROL_ENABLE);
            writeReg(b, CRTC2_CONTROL, next & ~CRTC2_CONTROL_ENABLE);
            writeReg(b, CRTC2_CONTROL, next);
        }
    } else if (first) {
        HSLCRTCSetPriorityRequest(b);
    } else if (second) {
        writeReg(b, CRTC2_CONTROL, cleared & ~CRTC2_CONTROL_ENABLE);
        writeReg(b, CRTC2_CONTROL, cleared);
    }
}

// Where the new first-CRTC mode leaves video memory for others. A surface
// past the end of memory leaves none.
void setFreeMemory(BoardHandle *b, const ModeInfo *m) {
    const uint64_t bytes = singleBytesPerPixel(m->lBpp);
    const uint64_t surface = surfaceBytes(maxHeight(m), m->ulFBPitch, bytes);
    const uint64_t org = uint64_t(uint32_t(m->lDstOrg)) * bytes;
    const uint64_t start = surface > UINT64_MAX - org ? UINT64_MAX : surface + org;
    const uint64_t memory = uint64_t(b->ulBaseMemory) + b->ulAddonMemory;
    b->ulFreeMemStart1 = start > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(start);
    b->ulFreeMemSize1 = start >= memory ? 0 : uint32_t(memory - start);
    b->ulFreeMemStart2 = b->ulFreeMemSize2 = 0;
}

} // namespace

namespace hsldual {

const ModeFamily kToucanModeFamily = {
    0x0C,
    0x0D,
    HSLTOUPowerUp,
    HSLTOUInitHardware,
    HSLTOUProgramSystemClock,
    false,
    true,
    true,
    true,
    true,
    true,
    true,
};

uint32_t familyCode(const ModeFamily &f, uint32_t code) {
    const uint32_t module = (code >> HAL_MODULE_SHIFT) & 0xFF;
    const uint32_t mapped = module == 0x0C ? f.chipModule : module == 0x0D ? f.modeModule : module;
    return (code & ~(0xFFu << HAL_MODULE_SHIFT)) | mapped << HAL_MODULE_SHIFT;
}

uint32_t validateOutputMode(const ModeFamily &f, BoardHandle *b, ModeInfo *m, uint32_t *pRoute) {
    *pRoute = DUAL_ROUTE_NONE;
    if (failed(b))
        return b->ulErrorCode;
    int32_t &t = m->lModeType;
    if (t & MODE_TYPE_DAC)
        t |= MODE_TYPE_DAC_ON;
    constexpr int32_t specific =
        MODE_TYPE_TV | MODE_TYPE_TV2 | MODE_TYPE_SECOND_CRT | MODE_TYPE_FLAT_PANEL;
    if ((t & MODE_TYPE_SECOND_OUTPUT) && !(t & specific)) {
        const uint32_t mon = b->SecondMonitor.flMonitor;
        if (mon & MONITOR_DIGITAL)
            t |= MODE_TYPE_FLAT_PANEL;
        else if (mon & MONITOR_TV)
            t |= MODE_TYPE_TV;
        else if (mon & MONITOR_CONNECTED)
            t |= MODE_TYPE_SECOND_CRT;
    }
    *pRoute = routeOf(uint32_t(t) & MODE_TYPE_ROUTE_MASK);
    if (*pRoute == DUAL_ROUTE_NONE)
        err(f, b, HSL_ERR_TOU_ROUTE);
    return b->ulErrorCode;
}

uint32_t computePitch(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    if (failed(b))
        return b->ulErrorCode;
    uint32_t route = 0;
    validateOutputMode(f, b, m, &route);
    if (failed(b))
        return b->ulErrorCode;
    uint32_t w = m->ulDispWidth;
    if (uint32_t(m->lDeskWidth) > w)
        w = uint32_t(m->lDeskWidth);
    if (m->ulFBPitch > w)
        w = m->ulFBPitch;
    uint64_t unit = 0;
    if (m->lBpp == 8 || m->lBpp == 24 || admittedFormat(m->lBpp))
        unit = 64;
    else if (m->lBpp == 15 || m->lBpp == 16 || m->lBpp == 32)
        unit = 32;
    if (unit == 0) {
        err(f, b, HSL_ERR_TOU_PITCH_DEPTH);
    } else {
        m->ulFBPitch = uint32_t((w + unit - 1) / unit * unit);
        if (m->ulFBPitch == m->ulDispWidth &&
            (inRoutes(route, {4, 7, 12, 16}) ||
             (inRoutes(route, {5, 8, 13, 17}) && m->ulDispWidth > 640)))
            m->ulFBPitch = (m->ulFBPitch + 64) & ~63u;
    }
    if (w > kMaxPitchWidth)
        err(f, b, HSL_ERR_TOU_PITCH_WIDTH);
    return b->ulErrorCode;
}

// Where the desktop is smaller than the display on one axis and larger on
// the other, only the smaller axis is centred: the larger one's difference
// would be negative and place the desktop outside video memory.
uint32_t computeDstOrg(const ModeFamily &, BoardHandle *b, ModeInfo *m) {
    if (failed(b))
        return b->ulErrorCode;
    uint32_t unit = 32;
    if (m->lBpp == 8 || m->lBpp == 24)
        unit = 64;
    else if (m->lBpp == 32)
        unit = 16;
    uint32_t x0 = 0, y0 = 0;
    if (uint32_t(m->lDeskWidth) < m->ulDispWidth)
        x0 = (m->ulDispWidth - uint32_t(m->lDeskWidth)) / 2;
    if (m->lDeskHeight < m->lDispHeight)
        y0 = uint32_t(int64_t(m->lDispHeight) - m->lDeskHeight) / 2;
    uint32_t org = m->ulFBPitch * y0 + uint32_t(m->lDisplayOrg) + x0;
    uint32_t displayOrg = uint32_t(m->lDisplayOrg);
    if (org % 64 != 0) {
        const uint32_t grow = unit - org % unit;
        org += grow;
        displayOrg += grow;
    }
    m->lDstOrg = int32_t(org);
    m->lDisplayOrg = int32_t(displayOrg);
    if (m->lBpp == 24)
        m->lDisplayOrg &= ~15;
    return b->ulErrorCode;
}

uint32_t validateMode(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    if (failed(b))
        return b->ulErrorCode;
    uint32_t route = 0;
    validateOutputMode(f, b, m, &route);
    if (uint32_t(m->lDeskWidth) > kMaxDeskWidth)
        err(f, b, HSL_ERR_TOU_DESK_WIDTH);

    const bool flatRoute = inRoutes(route, {3, 6, 11, 15});
    const bool encoderRoute = inRoutes(route, {4, 5, 7, 8, 12, 13, 14, 16, 17, 18});
    if (f.dacRoutesOnly ? (flatRoute || encoderRoute)
                        : ((flatRoute && (b->flFeatures & kFlatPanelFeatures) == 0) ||
                           (encoderRoute && (b->flFeatures & kEncoderFeatures) == 0)))
        err(f, b, HSL_ERR_TOU_NO_OUTPUT_HW);

    const uint32_t w = m->ulDispWidth;
    const int32_t h = m->lDispHeight;
    if (inRoutes(route, {4, 15, 16})) {
        if (w < 640 || h < 400 || w > 1280 || h > 1024)
            err(f, b, HSL_ERR_TOU_SIZE);
    } else if (inRoutes(route, {5, 14, 17, 18})) {
        static const struct {
            uint32_t w;
            int32_t h;
        } sizes[] = {{640, 400}, {640, 480}, {712, 288}, {712, 240},
                     {720, 480}, {720, 576}, {800, 600}, {1024, 768}};
        bool listed = false;
        for (const auto &s : sizes)
            listed = listed || (s.w == w && s.h == h);
        if (!listed)
            err(f, b, HSL_ERR_TOU_SIZE);
    }

    const bool zoomable = inRoutes(route, {1, 2, 9});
    if (!(m->lZoom == 1 || (zoomable && (m->lZoom == 2 || m->lZoom == 4))))
        err(f, b, HSL_ERR_TOU_ZOOM);

    const int32_t bpp = m->lBpp;
    if (route >= 2 && route <= 8) {
        if (singleBytesPerPixel(bpp) == 0)
            err(f, b, HSL_ERR_TOU_DEPTH);
    } else if (route >= 10) {
        if (!(bpp == 15 || bpp == 16 || bpp == 32 || admittedFormat(bpp)))
            err(f, b, HSL_ERR_TOU_DEPTH);
    }

    computePitch(f, b, m);
    computeDstOrg(f, b, m);

    uint64_t size = 0, end = 0;
    if (const uint32_t bytes = singleBytesPerPixel(bpp)) {
        size = surfaceBytes(maxHeight(m), m->ulFBPitch, bytes);
        const uint64_t org = uint64_t(uint32_t(m->lDisplayOrg)) * bytes;
        end = size > UINT64_MAX - org ? UINT64_MAX : size + org;
    } else if (!admittedFormat(bpp) && bpp != 0x10000 && bpp != 0x60000) {
        err(f, b, HSL_ERR_TOU_DEPTH);
    }
    const uint64_t memory = uint64_t(b->ulBaseMemory) + b->ulAddonMemory;
    if (end > memory || size > kMaxSurface)
        err(f, b, HSL_ERR_TOU_MEMORY);
    return b->ulErrorCode;
}

uint32_t setModeCaps(const ModeFamily &, BoardHandle *b, ModeInfo *m) {
    if (failed(b))
        return b->ulErrorCode;
    uint32_t caps = 0;
    if (b->ulMemoryType != 5) {
        caps |= 0x4;
        if (m->lBpp != 24)
            caps |= 0x1;
    }
    if (!crtc2Mode(m))
        caps |= 0x30;
    m->flModeCaps = caps;
    const int32_t bpp = m->lBpp;
    int32_t step = 8;
    if (bpp == 15 || bpp == 16)
        step = 4;
    else if (bpp == 24)
        step = 16;
    else if (bpp == 32)
        step = 2;
    const uint32_t w = m->ulDispWidth;
    if ((w == 800 && bpp == 8 && m->lZoom > 1) ||
        (w == 800 && (bpp == 15 || bpp == 16 || bpp == 24) && m->lZoom > 2) ||
        ((w == 1600 || w == 1856) && bpp == 8 && m->lZoom > 2))
        step *= 2;
    m->lPanXStep = step;
    m->lPanYStep = 1;
    return b->ulErrorCode;
}

uint32_t validateVideoParameters(const ModeFamily &f, BoardHandle *b, ModeInfo *m) {
    if (failed(b))
        return b->ulErrorCode;
    const HSLData &d = b->HSLData;
    const uint32_t clock = uint32_t(m->lPixClock);
    if (clock == 0)
        err(f, b, HSL_ERR_TOU_NO_CLOCK);
    if (crtc2Mode(m) && clock > kMaxCrtc2Clock)
        err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
    if (crtc2Mode(m) && (m->lSignalMode & SIGNAL_INTERLACED) &&
        (m->lModeType & MODE_TYPE_INTERLACED_CRTC2) == 0)
        err(f, b, HSL_ERR_TOU_INTERLACE);
    switch (m->lBpp) {
    case 8:
        if (clock > d.ulPclkMax8)
            err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
        break;
    case 15:
    case 16:
        if (clock > d.ulPclkMax16)
            err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
        break;
    case 24:
        if (clock > d.ulPclkMax24)
            err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
        break;
    case 32:
        if (clock > d.ulPclkMax32)
            err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
        break;
    default:
        if (!admittedFormat(m->lBpp))
            err(f, b, HSL_ERR_TOU_CLOCK_DEPTH);
        break;
    }
    if (clock > d.ulVCOMax)
        err(f, b, HSL_ERR_TOU_CLOCK_LIMIT);
    if (m->lVOvscan != 0)
        err(f, b, HSL_ERR_TOU_VOVSCAN);
    HSLTOUValidateLatency(b, m);
    if (m->lModeType & MODE_TYPE_TV)
        HSLMAVValidateVideoParameters(b, m);
    return setModeCaps(f, b, m);
}

uint32_t disableCrtc1Output(const ModeFamily &f, BoardHandle *b) {
    if (failed(b))
        return b->ulErrorCode;
    const int32_t other = b->CurrentModeCRTC2.lModeType;
    if ((other & MODE_TYPE_DAC_ON) == 0)
        HSLDACDisableOutput(b);
    if ((other & MODE_TYPE_FLAT_PANEL) == 0 && (b->flFeatures & kFlatPanelFeatures) != 0) {
        HSLEnablePanelLinkModuleOutput(b, 0);
        releasePort(f, b);
    }
    if ((other & (MODE_TYPE_TV | MODE_TYPE_TV2 | MODE_TYPE_SECOND_CRT)) == 0 &&
        b->TVState.ucTVMode != kTVModeFlatClock && (b->flFeatures & kEncoderFeatures) != 0) {
        HSLMAVSetGPIO(b, 1);
        HSLMAVSetTVDisableMode(b);
    }
    if (f.releasePortWithoutCrtc2 && (other & MODE_TYPE_NO_OUTPUT) != 0)
        releasePort(f, b);
    return HSLCRTCDisable(b);
}

uint32_t disableCrtc2Output(const ModeFamily &f, BoardHandle *b) {
    if (failed(b))
        return b->ulErrorCode;
    const int32_t was = b->CurrentModeCRTC2.lModeType;
    if (was & MODE_TYPE_DAC_ON)
        HSLDACDisableOutput(b);
    if (was & MODE_TYPE_FLAT_PANEL) {
        HSLEnablePanelLinkModuleOutput(b, 0);
        releasePort(f, b);
    }
    if (was & (MODE_TYPE_TV | MODE_TYPE_TV2 | MODE_TYPE_SECOND_CRT))
        HSLMAVSetTVDisableMode(b);
    return HSLCRTC2Disable(b);
}

uint32_t runRoute(const ModeFamily &f, BoardHandle *b, ModeInfo *m, uint32_t route) {
    if (failed(b))
        return b->ulErrorCode;
    switch (route) {
    case DUAL_ROUTE_CRTC1_NO_OUTPUT:
        HSLCRTCDisable(b);
        m->lModeType = MODE_TYPE_NO_OUTPUT;
        break;
    case DUAL_ROUTE_CRTC1_DAC:
        routeCrtc1Dac(f, b, m, false);
        break;
    case DUAL_ROUTE_CRTC1_DAC_FLAT:
        routeCrtc1Dac(f, b, m, true);
        break;
    case DUAL_ROUTE_CRTC1_DAC_CRT:
        routeCrtc1DacCrt(f, b, m);
        break;
    case DUAL_ROUTE_CRTC1_DAC_TV:
        routeCrtc1DacTv(f, b, m);
        break;
    case DUAL_ROUTE_CRTC1_FLAT:
        routeCrtc1Dac(f, b, m, true);
        HSLDACWriteRegister(b, XMisc, readDac(b, XMisc) & ~1u);
        break;
    case DUAL_ROUTE_CRTC1_CRT:
        err(f, b, HSL_ERR_TOU_ROUTE7);
        break;
    case DUAL_ROUTE_CRTC1_TV:
        err(f, b, HSL_ERR_TOU_ROUTE8);
        break;
    case DUAL_ROUTE_CRTC2_NO_OUTPUT:
        HSLCRTC2Disable(b);
        m->lModeType = MODE_TYPE_CRTC2 | MODE_TYPE_NO_OUTPUT;
        break;
    case DUAL_ROUTE_CRTC2_DAC:
        routeCrtc2Dac(f, b, m);
        break;
    case DUAL_ROUTE_CRTC2_DAC_FLAT:
        err(f, b, HSL_ERR_TOU_ROUTE11);
        break;
    case DUAL_ROUTE_CRTC2_DAC_CRT:
        err(f, b, HSL_ERR_TOU_ROUTE12);
        break;
    case DUAL_ROUTE_CRTC2_DAC_TV:
        err(f, b, HSL_ERR_TOU_ROUTE13);
        break;
    case DUAL_ROUTE_CRTC2_DAC_TV_YUV:
        err(f, b, HSL_ERR_TOU_ROUTE14);
        break;
    case DUAL_ROUTE_CRTC2_FLAT:
        routeCrtc2Flat(f, b, m);
        break;
    case DUAL_ROUTE_CRTC2_CRT:
        routeCrtc2Crt(f, b, m);
        break;
    case DUAL_ROUTE_CRTC2_TV:
        routeCrtc2Tv(f, b, m);
        break;
    case DUAL_ROUTE_CRTC2_TV_YUV:
        if (f.yuvRev0 && b->ulChipRev == 0)
            routeCrtc2YuvRev0(f, b, m);
        else
            routeCrtc2Yuv(f, b, m);
        break;
    default:
        err(f, b, HSL_ERR_TOU_SET_ROUTE);
        break;
    }
    return b->ulErrorCode;
}

uint32_t runYuvRoute(const ModeFamily &f, BoardHandle *b, ModeInfo *m, bool rev0) {
    if (failed(b))
        return b->ulErrorCode;
    if (rev0)
        routeCrtc2YuvRev0(f, b, m);
    else
        routeCrtc2Yuv(f, b, m);
    return b->ulErrorCode;
}

uint32_t setMode(const ModeFamily &f, BoardHandle *b, ModeInfo *pMode) {
    if (failed(b))
        return b->ulErrorCode;
    const ModeInfo saved = *pMode;
    ModeInfo work = *pMode;
    ModeInfo *m = &work;

    if ((readReg(b, kStatus) & kStatusMemoryMark) == 0 && !failed(b)) {
        f.powerUp(b);
        b->CurrentModeCRTC1.ulDispWidth = 0;
    }
    if ((b->flStraps & 2) == 0) {
        b->flStraps |= 2;
        f.initHardware(b);
    }
    setModeCaps(f, b, m);
    computeDstOrg(f, b, m);
    uint32_t route = 0;
    validateOutputMode(f, b, m, &route);

    const bool second = crtc2Mode(m);
    if (!second) {
        const bool mode1 =
            m->lBpp == 8 || m->lBpp == 24 || (m->lBpp == 32 && m->ulDispWidth > 1024);
        if (!failed(b))
            f.programSystemClock(b, mode1 ? &b->SysClockMode1 : &b->SysClockMode2);
        HSLCRTCSelectHiresMode(b);
        disableCrtc1Output(f, b);
    } else {
        disableCrtc2Output(f, b);
    }

    if (!failed(b)) {
        if (inRoutes(route, {2, 3, 4, 6, 7}))
            HSLCRTCAdjustVideoParameters(b, m);
        if (route == DUAL_ROUTE_CRTC2_NO_OUTPUT &&
            (b->CurrentModeCRTC1.lModeType & MODE_TYPE_NO_OUTPUT) == 0)
            HSLDACWaitForVSync(b);
        runRoute(f, b, m, route);
    }

    if (!second && !failed(b))
        setFreeMemory(b, m);

    if (!failed(b)) {
        const uint32_t cleared = readReg(b, CRTC2_CONTROL) & ~CRTC2_CONTROL_PRIORITIES;
        if (!second) {
            HSLCRTCSetPitch(b, m);
            if (!failed(b))
                b->CurrentModeCRTC1 = *m;
            HSLDACSetZoom(b, uint32_t(m->lZoom));
            setDisplayStart(f, b, 0, 0, 0);
        } else {
            HSLCRTC2SetPitch(b, m);
            if (!failed(b))
                b->CurrentModeCRTC2 = *m;
            // The mode set places the second CRTC's start itself, also for
            // a family whose SetDisplayStart serves the first CRTC only.
            HSLCRTC2SetDisplayStart(b, 0, 0);
            writeReg(b, CRTC2_CONTROL, cleared);
        }
        if (!failed(b))
            setPriorities(f, b, cleared);
    }

    if (b->ulChipRev != 0 && !failed(b))
        HSLDACWriteRegister(b, XClockControl, (readDac(b, XClockControl) & 0xF0) | 4);

    if ((route == DUAL_ROUTE_CRTC2_DAC_TV_YUV || route == DUAL_ROUTE_CRTC2_TV_YUV) && !failed(b)) {
        waitCrtc2Line(b, 0);
        HSLMAVResetMAFCInterface(b);
    }

    *pMode = saved;
    return b->ulErrorCode;
}

uint32_t setDisplayStart(const ModeFamily &f, BoardHandle *b, uint32_t x, uint32_t y,
                         uint32_t crtc) {
    if (failed(b))
        return b->ulErrorCode;
    if (crtc == 1)
        return f.crtc2DisplayStart ? HSLCRTC2SetDisplayStart(b, x, y) : b->ulErrorCode;
    if (crtc != 0)
        return b->ulErrorCode;
    ModeInfo &m = b->CurrentModeCRTC1;
    uint32_t a = y * m.ulFBPitch + x + uint32_t(m.lDisplayOrg);
    switch (m.lBpp) {
    case 15:
    case 16:
        a >>= 2;
        break;
    case 24:
        a = uint32_t((uint64_t(a) * 3) >> 3);
        break;
    case 32:
        a >>= 1;
        break;
    default:
        a >>= 3;
        break;
    }
    writeExt(b, 8, (readExt(b, 8) & ~1u) | ((a >> 21) & 1));
    writeCrtc(b, 0x0D, a & 0xFF);
    writeCrtc(b, 0x0C, (a >> 8) & 0xFF);
    writeExt(b, 0, (readExt(b, 0) & 0xB0u) | ((a >> 16) & 0xF) | ((a >> 20) & 1) << 6);
    if (!failed(b)) {
        m.lDisplayStartX = int32_t(x);
        m.lDisplayStartY = int32_t(y);
    }
    return b->ulErrorCode;
}

} // namespace hsldual

using hsldual::kToucanModeFamily;

extern "C" {

uint32_t HSLTOUValidateOutputMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t *pRoute) {
    return hsldual::validateOutputMode(kToucanModeFamily, pBoard, pMode, pRoute);
}
uint32_t HSLTOUValidateMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::validateMode(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUValidateVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::validateVideoParameters(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUValidateLatency(BoardHandle *pBoard, ModeInfo *) {
    return pBoard->ulErrorCode;
}
uint32_t HSLTOUSetModeCaps(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::setModeCaps(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUComputePitch(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::computePitch(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUComputeDSTORG(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::computeDstOrg(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUSetMode(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::setMode(kToucanModeFamily, pBoard, pMode);
}
uint32_t HSLTOUSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y, uint32_t crtc) {
    return hsldual::setDisplayStart(kToucanModeFamily, pBoard, x, y, crtc);
}
uint32_t HSLTOUDisableCRTC1Output(BoardHandle *pBoard) {
    return hsldual::disableCrtc1Output(kToucanModeFamily, pBoard);
}
uint32_t HSLTOUDisableCRTC2Output(BoardHandle *pBoard) {
    return hsldual::disableCrtc2Output(kToucanModeFamily, pBoard);
}

// Both priorities stay 0 where the arithmetic has no answer: a pixel clock
// of 0 or above 1,000,000 kHz, a cleared system clock, a memory divider
// without a numerator, a depth without a factor, or Q4 x Q2 from 10000 to
// 19999. The lowest priority never starves either controller's refresh of
// the memory the other one reads.
uint32_t HSLTOUHipriDualUnit(BoardHandle *pBoard, ModeInfo *pMode1, ModeInfo *pMode2,
                             uint8_t *pPriority1, uint8_t *pPriority2) {
    *pPriority1 = *pPriority2 = 0;
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    int64_t level1 = 0, level2 = 0;
    if (dualLevels(pBoard, pMode1, pMode2, level1, level2)) {
        *pPriority1 = priorityByte(level1);
        *pPriority2 = priorityByte(level2);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLTOUControlMAFCPort(BoardHandle *pBoard, uint32_t code) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    static const uint8_t kBits[] = {0x06, 0x42, 0x02, 0x82, 0xC2, 0x04, 0x84};
    const uint8_t kept = readDac(pBoard, XMisc) & 0x19;
    // An unknown code still writes the kept bits: the port ends released.
    HSLDACWriteRegister(pBoard, XMisc, code < sizeof kBits ? kept | kBits[code] : kept);
    if (code >= sizeof kBits)
        SetErr(pBoard, HSL_ERR_TOU_MAFC_CODE);
    return pBoard->ulErrorCode;
}

uint32_t HSLTOURoutePixelClock(BoardHandle *pBoard, uint32_t code) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t pc = readDac(pBoard, XPixelClock);
    HSLDACWriteRegister(pBoard, XPixelClock, (pc & ~3u) | (code == 2 ? 2 : 1));
    if (code == 3 || code == 4 || code == 6) {
        if (code == 4) {
            uint32_t dc = readReg(pBoard, CRTC2_DATA_CONTROL);
            if (pBoard->TVState.ucTVStandard != 0)
                dc |= 0x10;
            writeReg(pBoard, CRTC2_DATA_CONTROL, dc);
        }
        uint32_t c = readReg(pBoard, CRTC2_CONTROL) | 0x2;
        writeReg(pBoard, CRTC2_CONTROL, c);
        if (code == 6)
            c &= ~0xC0000000u;
        else
            c |= 0xD0000000u;
        writeReg(pBoard, CRTC2_CONTROL, c);
        c |= CRTC2_CONTROL_ENABLE;
        writeReg(pBoard, CRTC2_CONTROL, c);
        c &= ~CRTC2_CONTROL_STOPPED;
        writeReg(pBoard, CRTC2_CONTROL, c);
        if (code == 4) {
            waitCrtc2Line(pBoard, 1);
            waitCrtc2Line(pBoard, 0);
            writeReg(pBoard, CRTC2_CONTROL, c | CRTC2_CONTROL_RUN);
        }
    }
    HSLCRTCUnLock(pBoard);
    const uint8_t ext1 = readExt(pBoard, 1);
    writeExt(pBoard, 1, code == 2 ? (ext1 | 0x88u) : (ext1 & ~0x88u));
    HSLCRTCLock(pBoard);
    return pBoard->ulErrorCode;
}

// ---- the route routines under their own names ----

#define DUAL_ROUTE_ROUTINE(name, route)                                                            \
    uint32_t name(BoardHandle *pBoard, ModeInfo *pMode) {                                          \
        return hsldual::runRoute(kToucanModeFamily, pBoard, pMode, route);                         \
    }

DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToNoOutput, DUAL_ROUTE_CRTC1_NO_OUTPUT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToDac, DUAL_ROUTE_CRTC1_DAC)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToDacFlat, DUAL_ROUTE_CRTC1_DAC_FLAT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToDacCRT, DUAL_ROUTE_CRTC1_DAC_CRT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToDacTV, DUAL_ROUTE_CRTC1_DAC_TV)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToFlat, DUAL_ROUTE_CRTC1_FLAT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToCRT, DUAL_ROUTE_CRTC1_CRT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC1ToTV, DUAL_ROUTE_CRTC1_TV)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToNoOutput, DUAL_ROUTE_CRTC2_NO_OUTPUT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToDac, DUAL_ROUTE_CRTC2_DAC)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToDacFlat, DUAL_ROUTE_CRTC2_DAC_FLAT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToDacCRT, DUAL_ROUTE_CRTC2_DAC_CRT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToDacTV, DUAL_ROUTE_CRTC2_DAC_TV)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToDacTV_YUV, DUAL_ROUTE_CRTC2_DAC_TV_YUV)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToFlat, DUAL_ROUTE_CRTC2_FLAT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToCRT, DUAL_ROUTE_CRTC2_CRT)
DUAL_ROUTE_ROUTINE(HSLTOUSetModeCRTC2ToTV, DUAL_ROUTE_CRTC2_TV)

uint32_t HSLTOUSetModeCRTC2ToTV_YUVRev0(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::runYuvRoute(kToucanModeFamily, pBoard, pMode, true);
}
uint32_t HSLTOUSetModeCRTC2ToTV_YUV(BoardHandle *pBoard, ModeInfo *pMode) {
    return hsldual::runYuvRoute(kToucanModeFamily, pBoard, pMode, false);
}

} // extern "C"
