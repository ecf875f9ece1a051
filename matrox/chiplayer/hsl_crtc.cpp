// The first display controller: its VGA-compatible timing registers and the
// extension registers of the chip's own mode, line doubling, display start,
// pitch, the memory priority request and the zoom.
#include <stdint.h>

#include "hal_error.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint8_t kCr11Protect = 0x80;
constexpr uint8_t kExt0Interlace = 0x80, kExt0StartBit20 = 0x40, kExt0Kept = 0xB0;
constexpr uint8_t kExt3Hires = 0x80;
constexpr uint8_t kSeqScreenOff = 0x20;
constexpr uint8_t XZoom = 0x38;
constexpr uint32_t kDacIdDoubled = 0x3026;
constexpr int32_t kDoubledSurfaces = 0x60000;
constexpr int32_t kDoubledPitch = 0x10000;
constexpr int kRefreshSlack = 9;

bool interlaced(const ModeInfo *m) {
    return (m->lSignalMode & SIGNAL_INTERLACED) != 0;
}

uint32_t bit(int32_t v, int from, int to) {
    return uint32_t((v >> from) & 1) << to;
}

// Pitch and start count double on a DAC that takes two pixels a clock,
// unless the mode is one of the surfaces it shows as they are.
bool doubledByDac(const BoardHandle *pBoard, const ModeInfo *m) {
    return pBoard->flCRTCInfo[7] == kDacIdDoubled && (m->lModeType & kDoubledSurfaces) == 0;
}

bool lineDoubling(BoardHandle *pBoard, ModeInfo *m) {
    uint8_t doubled = 0;
    HSLCRTUseLineDoubling(pBoard, m, &doubled);
    return doubled != 0;
}

uint32_t bitsPerPixel(int32_t bpp) {
    return bpp == 15 ? 16u : uint32_t(bpp);
}

} // namespace

extern "C" {

// A mode whose refresh rate is what its timing gives with every line shown
// twice is meant to be doubled. A mode with no line or frame length (a
// caller's zero totals) is never doubled.
uint32_t HSLCRTUseLineDoubling(BoardHandle *pBoard, ModeInfo *pMode, uint8_t *pDouble) {
    *pDouble = 0;
    if (interlaced(pMode))
        return pBoard->ulErrorCode;
    const int64_t line =
        int64_t(pMode->ulDispWidth) + pMode->lHFPorch + pMode->lHSync + pMode->lHBPorch;
    const int64_t frame = int64_t(pMode->lVFPorch) + 2 * int64_t(pMode->lDispHeight) +
                          pMode->lVSync + pMode->lVBPorch;
    if (line <= 0 || frame <= 0)
        return pBoard->ulErrorCode;
    const int64_t rate = int64_t(pMode->lPixClock) * 1000 / line / frame;
    const int64_t diff = rate - pMode->lRefreshRate;
    if (diff <= kRefreshSlack && diff >= -kRefreshSlack)
        *pDouble = 1;
    return pBoard->ulErrorCode;
}

// A zoom of 0 (no zoom given) counts as 1 in the interlace offset.
uint32_t HSLCRTCSet(BoardHandle *pBoard, ModeInfo *pMode) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const ModeInfo &m = *pMode;
    const bool inter = interlaced(pMode);
    const bool doubled = lineDoubling(pBoard, pMode);
    const int32_t w = int32_t(m.ulDispWidth);
    int32_t v = m.lDispHeight;
    if (inter)
        v /= 2;
    if (doubled)
        v *= 2;
    const int32_t hblank = m.lHFPorch + m.lHBPorch + m.lHSync;
    const int32_t htotal = ((w + 2 * m.lHOvscan + hblank) >> 3) - 5;
    const int32_t hdispend = w / 8 - 1;
    const int32_t hblkstr = hdispend + m.lHOvscan / 8;
    const int32_t hblkend = hblkstr + (hblank >> 3);
    const int32_t hsyncstr = hblkstr + m.lHFPorch / 8;
    const int32_t hsyncend = hsyncstr + m.lHSync / 8;
    const int32_t vdispend = v - 1;
    const int32_t vtotal = v + 2 * m.lVOvscan + m.lVFPorch + m.lVBPorch + m.lVSync - 2;
    const int32_t vblkstr = m.lVOvscan + v - 1;
    const int32_t vsyncstr = vblkstr + m.lVFPorch;
    const int32_t vblkend = vsyncstr + m.lVSync + m.lVBPorch;

    writeCrtc(pBoard, 0x11, readCrtc(pBoard, 0x11) & ~kCr11Protect);
    writeCrtc(pBoard, 0x00, uint32_t(htotal));
    writeCrtc(pBoard, 0x01, uint32_t(hdispend));
    writeCrtc(pBoard, 0x02, uint32_t(hblkstr));
    writeCrtc(pBoard, 0x03, uint32_t(hblkend) & 0x1F);
    writeCrtc(pBoard, 0x04, uint32_t(hsyncstr));
    writeCrtc(pBoard, 0x05, (uint32_t(hsyncend) & 0x1F) | bit(hblkend, 5, 7));
    writeCrtc(pBoard, 0x06, uint32_t(vtotal));
    writeCrtc(pBoard, 0x07,
              bit(vtotal, 8, 0) | bit(vdispend, 8, 1) | bit(vsyncstr, 8, 2) | bit(vblkstr, 8, 3) |
                  bit(vtotal, 9, 5) | bit(vdispend, 9, 6) | bit(vsyncstr, 9, 7));
    writeCrtc(pBoard, 0x08, 0);
    writeCrtc(pBoard, 0x09, bit(vblkstr, 9, 5) | (doubled ? 1u : 0u));
    writeCrtc(pBoard, 0x10, uint32_t(vsyncstr));
    const uint8_t cr11 = readCrtc(pBoard, 0x11);
    writeCrtc(pBoard, 0x11, (cr11 & 0xF0u) | (uint32_t(vsyncstr + m.lVSync) & 0x0F));
    writeCrtc(pBoard, 0x12, uint32_t(vdispend));
    writeCrtc(pBoard, 0x15, uint32_t(vblkstr));
    writeCrtc(pBoard, 0x16, uint32_t(vblkend));
    writeCrtc(pBoard, 0x17, 0xC3);
    writeCrtc(pBoard, 0x18, 0);

    const uint8_t ext0 = readExt(pBoard, 0);
    writeExt(pBoard, 0, (ext0 & ~kExt0Interlace) | (inter ? kExt0Interlace : 0));
    writeExt(pBoard, 1,
             bit(htotal, 8, 0) | bit(hblkstr, 8, 1) | bit(hsyncstr, 8, 2) | bit(hblkend, 6, 6));
    writeExt(pBoard, 2,
             uint32_t((vtotal >> 10) & 3) | bit(vdispend, 10, 2) |
                 uint32_t((vblkstr >> 10) & 3) << 3 | uint32_t((vsyncstr >> 10) & 3) << 5);
    uint32_t scale = 0;
    if (m.lBpp == 15 || m.lBpp == 16)
        scale = 1;
    else if (m.lBpp == 24)
        scale = 2;
    else if (m.lBpp == 32)
        scale = 3;
    writeExt(pBoard, 3, kExt3Hires | scale);
    uint32_t ext5 = 0;
    if (inter) {
        const int32_t zoom = m.lZoom > 0 ? m.lZoom : 1;
        ext5 = uint32_t((((w + m.lHFPorch + m.lHBPorch) >> 3) * 10 + 5) / (zoom * 20));
    }
    writeExt(pBoard, 5, ext5);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCSetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ModeInfo &m = pBoard->CurrentModeCRTC1;
    uint32_t a = uint32_t(m.lDisplayOrg) + x + y * m.ulFBPitch;
    switch (m.lBpp) {
    case 15:
    case 16:
        a >>= 2;
        break;
    case 24:
        a = (a * 3) >> 3;
        break;
    case 32:
        a >>= 1;
        break;
    default:
        a >>= 3;
        break;
    }
    if (doubledByDac(pBoard, &m))
        a <<= 1;
    writeCrtc(pBoard, 0x0D, a & 0xFF);
    writeCrtc(pBoard, 0x0C, (a >> 8) & 0xFF);
    const uint8_t ext0 = readExt(pBoard, 0);
    writeExt(pBoard, 0,
             (ext0 & kExt0Kept) | ((a >> 16) & 0xF) | ((a & (1u << 20)) ? kExt0StartBit20 : 0));
    if (!hsl::failed(pBoard)) {
        m.lDisplayStartX = int32_t(x);
        m.lDisplayStartY = int32_t(y);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCSetPitch(BoardHandle *pBoard, ModeInfo *pMode) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t p = (pMode->ulFBPitch * bitsPerPixel(pMode->lBpp)) >> 7;
    if (pMode->lModeType & kDoubledPitch)
        p <<= 1;
    if (interlaced(pMode))
        p <<= 1;
    if (doubledByDac(pBoard, pMode))
        p <<= 1;
    writeCrtc(pBoard, 0x13, p & 0xFF);
    const uint8_t ext0 = readExt(pBoard, 0);
    writeExt(pBoard, 0, (ext0 & ~0x30u) | ((p >> 8) & 3) << 4);
    pBoard->CurrentModeCRTC1.ulFBPitch = pMode->ulFBPitch;
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCSelectHiresMode(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ext3 = readExt(pBoard, 3);
    if (hsl::failed(pBoard) || (ext3 & kExt3Hires) != 0)
        return pBoard->ulErrorCode;
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    ClientWait(pBoard, 10);
    writeExt(pBoard, 3, readExt(pBoard, 3) | kExt3Hires);
    uint8_t misc = 0;
    ClientReadRegisterByte(pBoard, kMiscRead, &misc);
    ClientWriteRegisterByte(pBoard, kMiscWrite, misc & ~0x02u);
    writeSeq(pBoard, 1, kSeqScreenOff);
    if (on)
        HSLDACScreenOn(pBoard);
    return pBoard->ulErrorCode;
}

// Nothing is computed once an error is recorded (the clocks it divides by
// may never have been programmed); a memory clock of 0 gives the lowest
// priority, as a negative level would.
uint32_t HSLCRTCSetPriorityRequest(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    const int64_t s = readExt(pBoard, 3) & 7;
    uint32_t wide = 0;
    ClientReadRegisterDword(pBoard, kExtData, &wide);
    const uint32_t k = (wide >> 22) & 3;
    const int64_t latency = k == 1 ? 41 : k == 2 ? 32 : 52;
    const SysClockInfo &clock = pBoard->CurrentSysClock;
    const uint32_t denominator = clock.ucMemoryClockDiv & 0xF;
    const int64_t mem = denominator == 0 ? 0
                                         : int64_t(clock.ulSystemPllFreq) *
                                               (clock.ucMemoryClockDiv >> 4) / denominator;
    const int64_t pix = pBoard->CurrentModeCRTC1.lPixClock;
    int64_t hiprilvl = 0, maxhipri = 0;
    if (mem > 0) {
        hiprilvl = (368 * mem - (s + 1) * (mem + latency * pix)) / (64 * mem);
        if (hiprilvl < 0)
            hiprilvl = 0;
        maxhipri = (s + 1) * pix / mem;
        if (maxhipri > hiprilvl)
            maxhipri = hiprilvl;
        if (maxhipri < 0)
            maxhipri = 0;
    }
    HSLDACScreenOff(pBoard);
    writeExt(pBoard, 6, uint32_t(hiprilvl & 7) | uint32_t(maxhipri & 7) << 4);
    if (on)
        HSLDACScreenOn(pBoard);
    return pBoard->ulErrorCode;
}

// With line doubling every zoomed line is doubled again: the scan-line
// count becomes 2, 4 or 8 lines a line for zoom 1, 2 or 4.
uint32_t HSLDACSetZoom(BoardHandle *pBoard, uint32_t zoom) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const bool doubled = lineDoubling(pBoard, &pBoard->CurrentModeCRTC1);
    uint32_t cr9 = readCrtc(pBoard, 9) & 0xE0u;
    uint32_t lines = 0;
    switch (zoom) {
    case 1:
        HSLDACWriteRegister(pBoard, XZoom, 0);
        lines = 1;
        break;
    case 2:
        HSLDACWriteRegister(pBoard, XZoom, 1);
        lines = 2;
        break;
    case 4:
        HSLDACWriteRegister(pBoard, XZoom, 3);
        lines = 4;
        break;
    default:
        SetErr(pBoard, HSL_ERR_DAC_ZOOM);
        break;
    }
    if (doubled)
        lines *= 2;
    if (lines > 0)
        cr9 |= lines - 1;
    writeCrtc(pBoard, 9, cr9);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCLock(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    writeCrtc(pBoard, 0x11, readCrtc(pBoard, 0x11) | kCr11Protect);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCUnLock(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t misc = 0;
    ClientReadRegisterByte(pBoard, kMiscRead, &misc);
    ClientWriteRegisterByte(pBoard, kMiscWrite, misc);
    writeCrtc(pBoard, 0x11, readCrtc(pBoard, 0x11) & ~kCr11Protect);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTCDisable(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    writeSeq(pBoard, 1, readSeq(pBoard, 1) | kSeqScreenOff);
    return pBoard->ulErrorCode;
}

// A line whose length in 64-bit words falls one short of the unit the
// zoom reads in gets 8 more pixels of back porch, the pixel clock rising
// with it so the line rate stays.
uint32_t HSLCRTCAdjustVideoParameters(BoardHandle *pBoard, ModeInfo *pMode) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ModeInfo &m = *pMode;
    const int32_t t = int32_t(m.ulDispWidth) + m.lHFPorch + m.lHBPorch + m.lHSync;
    int32_t u = 0;
    switch (m.lZoom) {
    case 1:
        u = 16;
        break;
    case 2:
        u = 32;
        break;
    case 4:
        u = 64;
        break;
    default:
        return pBoard->ulErrorCode;
    }
    int32_t h = 0;
    switch (m.lBpp) {
    case 8:
        h = t >> 3;
        break;
    case 15:
    case 16:
        h = t >> 2;
        break;
    case 24:
        h = (t * 3) >> 3;
        break;
    case 32:
        h = t >> 1;
        break;
    default:
        return pBoard->ulErrorCode;
    }
    if (t > 0 && u - h % u == 1) {
        m.lHBPorch += 8;
        m.lPixClock += int32_t(int64_t(m.lPixClock) * 8 / t);
    }
    return pBoard->ulErrorCode;
}

} // extern "C"
