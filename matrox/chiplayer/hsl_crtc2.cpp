// The second display controller. Its pixel format comes from the mode's
// lBpp, which for this controller holds a depth or a format code; one table
// gives each value its control and data-control bits, the line-offset
// factors and the way its start addresses are laid out.
#include <stdint.h>

#include "hal_error.h"
#include "hsl_crtc2.h"
#include "hsl_board.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

// How the start addresses of a format are laid out (see setStart).
enum class Start : uint8_t { Packed, Interleaved, ThreePlanes, TwoFields, FieldPlanes };

struct Format {
    int32_t bpp;
    uint32_t code;        // control bits 21-23
    uint8_t dataControl;  // data-control low byte
    uint32_t setFactor;   // line offset = pitch x this, in HSLCRTC2Set
    uint32_t pitchFactor; // and in HSLCRTC2SetPitch; 0 means pitch / 2
    Start start;
    uint32_t scale; // start-address scale of the packed and two-field layouts
};

constexpr Format kFormats[] = {
    {15, 1, 0x00, 2, 2, Start::Packed, 2},
    {16, 2, 0x00, 2, 2, Start::Packed, 2},
    {32, 4, 0x00, 4, 4, Start::Packed, 4},
    {0x10000, 4, 0x00, 4, 4, Start::Packed, 4},
    {0x20000, 7, 0x07, 2, 1, Start::ThreePlanes, 1},
    {0x30000, 7, 0x07, 2, 1, Start::ThreePlanes, 1},
    {0x40000, 5, 0x87, 2, 2, Start::Interleaved, 2},
    {0x50000, 5, 0x07, 2, 2, Start::Interleaved, 2},
    {0x60000, 4, 0x00, 2, 4, Start::TwoFields, 4},
    {0x70000, 7, 0x07, 1, 0, Start::FieldPlanes, 1},
    {0x80000, 7, 0x07, 1, 0, Start::FieldPlanes, 1},
    {0x90000, 5, 0x87, 1, 1, Start::TwoFields, 2},
    {0xA0000, 5, 0x07, 1, 1, Start::TwoFields, 2},
};

const Format *formatOf(int32_t bpp) {
    for (const Format &f : kFormats)
        if (f.bpp == bpp)
            return &f;
    return nullptr;
}

void writeReg(BoardHandle *b, uint32_t offset, uint32_t v) {
    ClientWriteRegisterDword(b, offset, v);
}

// The horizontal values the controller counts in units of 8 pixels.
uint32_t eightfold(int32_t v) {
    return uint32_t(v) & ~7u;
}

// Start addresses of the pixel at `base` (pitch units from the surface
// origins f0 and g0), all in unsigned arithmetic as the registers wrap.
void setStart(BoardHandle *b, const Format &fmt, const ModeInfo &m, uint32_t base) {
    const uint32_t p = m.ulFBPitch;
    const uint32_t lines = uint32_t(m.lDeskHeight);
    uint32_t f = uint32_t(m.lDisplayOrg) + base;
    uint32_t g = uint32_t(m.lDisplayOrg2) + base;
    switch (fmt.start) {
    case Start::Packed: {
        f *= fmt.scale;
        const uint32_t s = p * fmt.scale;
        if (m.lModeType & 1) {
            writeReg(b, CRTC2_START0_FIRST, f);
            writeReg(b, CRTC2_START0_SECOND, f + s);
        } else {
            writeReg(b, CRTC2_START0_SECOND, f);
        }
        break;
    }
    case Start::Interleaved: {
        f *= 2;
        const uint32_t s = 2 * p;
        writeReg(b, CRTC2_START0_FIRST, f);
        writeReg(b, CRTC2_START0_SECOND, f + s);
        break;
    }
    case Start::ThreePlanes: {
        const uint32_t s = p;
        writeReg(b, CRTC2_START0_FIRST, f);
        writeReg(b, CRTC2_START0_SECOND, f + s);
        const uint32_t f2 = f + lines * s;
        writeReg(b, CRTC2_START1_FIRST, f2);
        writeReg(b, CRTC2_START1_SECOND, f2 + (s >> 1));
        const uint32_t f3 = f2 + (((s >> 1) * lines) >> 1);
        writeReg(b, CRTC2_START2_FIRST, f3);
        writeReg(b, CRTC2_START2_SECOND, f3 + (s >> 1));
        break;
    }
    case Start::TwoFields:
        writeReg(b, CRTC2_START0_FIRST, f * fmt.scale);
        writeReg(b, CRTC2_START0_SECOND, g * fmt.scale);
        break;
    case Start::FieldPlanes: {
        const uint32_t s = p >> 2;
        writeReg(b, CRTC2_START0_FIRST, f);
        writeReg(b, CRTC2_START0_SECOND, g);
        const uint32_t d = lines * s;
        writeReg(b, CRTC2_START1_FIRST, f + d);
        writeReg(b, CRTC2_START1_SECOND, g + d);
        const uint32_t u = ((s >> 1) * lines) >> 1;
        writeReg(b, CRTC2_START2_FIRST, f + d + u);
        writeReg(b, CRTC2_START2_SECOND, g + d + u);
        break;
    }
    }
}

} // namespace

extern "C" {

uint32_t HSLCRTC2Set(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const ModeInfo &m = *pMode;
    // Unsigned arithmetic: an unvalidated mode wraps in the register fields
    // rather than overflowing.
    const uint32_t w = m.ulDispWidth & ~7u, ov = eightfold(m.lHOvscan), fp = eightfold(m.lHFPorch),
                   bp = eightfold(m.lHBPorch), sw = eightfold(m.lHSync);
    const uint32_t htotal = w + 2 * ov + fp + bp + sw;
    const uint32_t hsyncStart = w + ov + fp, hsyncEnd = hsyncStart + sw;
    const uint32_t h = uint32_t(m.lDispHeight), vov = uint32_t(m.lVOvscan);
    const uint32_t vtotal =
        h + 2 * vov + uint32_t(m.lVFPorch) + uint32_t(m.lVBPorch) + uint32_t(m.lVSync);
    const uint32_t vsyncStart = h + vov + uint32_t(m.lVFPorch),
                   vsyncEnd = vsyncStart + uint32_t(m.lVSync);

    const Format *fmt = formatOf(m.lBpp);
    uint32_t control = readReg(pBoard, CRTC2_CONTROL) & ~CRTC2_CONTROL_FORMAT_MASK;
    uint32_t dataControl = readReg(pBoard, CRTC2_DATA_CONTROL) & ~0xFFu;
    if (fmt) {
        control |= fmt->code << CRTC2_CONTROL_FORMAT_SHIFT;
        dataControl |= fmt->dataControl;
    }
    writeReg(pBoard, CRTC2_CONTROL, control);
    writeReg(pBoard, CRTC2_DATA_CONTROL, dataControl);
    writeReg(pBoard, CRTC2_HPARAM, (w - 8) << 16 | ((htotal - 8) & 0xFFFF));
    writeReg(pBoard, CRTC2_HSYNC, (hsyncEnd - 8) << 16 | ((hsyncStart - 8) & 0xFFFF));
    writeReg(pBoard, CRTC2_VPARAM, (h - 1) << 16 | ((vtotal - 1) & 0xFFFF));
    writeReg(pBoard, CRTC2_VSYNC, (vsyncEnd - 1) << 16 | ((vsyncStart - 1) & 0xFFFF));
    writeReg(pBoard, CRTC2_OFFSET, m.ulFBPitch * (fmt ? fmt->setFactor : 1));
    const uint32_t misc = readReg(pBoard, CRTC2_MISC);
    writeReg(pBoard, CRTC2_MISC, (misc & 0xF000FFFFu) | ((h + 1) & 0xFFF) << 16);
    return pBoard->ulErrorCode;
}

// A value outside the format table leaves the line offset as it was: there
// is no unit to count it in, and validation keeps such values away.
uint32_t HSLCRTC2SetPitch(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const Format *fmt = formatOf(pMode->lBpp);
    if (!fmt)
        return pBoard->ulErrorCode;
    uint32_t offset =
        fmt->pitchFactor ? pMode->ulFBPitch * fmt->pitchFactor : pMode->ulFBPitch >> 1;
    if (pMode->lSignalMode & SIGNAL_INTERLACED)
        offset *= 2;
    writeReg(pBoard, CRTC2_OFFSET, offset);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTC2SetDisplayStart(BoardHandle *pBoard, uint32_t x, uint32_t y) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    ModeInfo &m = pBoard->CurrentModeCRTC2;
    if (const Format *fmt = formatOf(m.lBpp))
        setStart(pBoard, *fmt, m, x + y * m.ulFBPitch);
    if (!failed(pBoard)) {
        m.lDisplayStartX = int32_t(x);
        m.lDisplayStartY = int32_t(y);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTC2SetPreload(BoardHandle *pBoard, uint32_t h, uint32_t v) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    writeReg(pBoard, CRTC2_PRELOAD, v * 65536u + h);
    return pBoard->ulErrorCode;
}

uint32_t HSLCRTC2Disable(BoardHandle *pBoard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t control = readReg(pBoard, CRTC2_CONTROL);
    writeReg(pBoard, CRTC2_CONTROL,
             (control & ~(CRTC2_CONTROL_ENABLE | CRTC2_CONTROL_RUN)) | CRTC2_CONTROL_STOPPED);
    return pBoard->ulErrorCode;
}

} // extern "C"
