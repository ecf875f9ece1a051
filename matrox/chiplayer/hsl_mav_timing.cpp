// The TV encoder's clock synthesiser and timing generator: the 20-word
// timing record and where each word goes, the clock search, the record
// built from a mode's own timings (a flat panel or a second CRT clocked by
// the encoder), the picture's position and scale on the TV from the mode's
// four TV words, the vertical-reset phase correction, and YUV output from
// the second display controller.
//
// Record words and their registers (two-byte registers low byte first):
//   0 80 M, 1 81 N, 2 82 0x80 | S << 3 | P, 3 90 horizontal scale,
//   4 91-92 vertical scale, 5 9A horizontal position, 6 9C horizontal
//   reference, 7 9E horizontal active end, 8 A0 horizontal total, 9 A2
//   vertical position, 10 A4 vertical sync end, 11 A6 vertical active start,
//   12 A8 vertical total - 1, 13 98, 14 AE, 15 96 horizontal total, 16 AA
//   vertical reset, 17 AC vertical offset, 18 BE vertical border, 19 C2
//   horizontal border.
#include "client.h"
#include "hsl.h"
#include "hsl_mav.h"
#include "hsl_mav_io.h"
#include "hsl_regs.h"

namespace {

using namespace mav;

constexpr uint32_t kRefKHz = 27000;
constexpr uint32_t kMaxVcoProduct = 220000000u;
constexpr uint32_t kMaxScaleWidth = 92288; // horizontal scale x width stays below
constexpr uint32_t kScaledWidth = 92160;

// The timing registers after the scale pair, in the order HSLMAVSetCRTC
// writes them: words 5 to 17, two bytes each.
constexpr uint8_t kWordRegs[13] = {0x9A, 0x9C, 0x9E, 0xA0, 0xA2, 0xA4, 0xA6,
                                   0xA8, 0x98, 0xAE, 0x96, 0xAA, 0xAC};

uint32_t htotalOf(const ModeInfo *m) {
    return m->ulDispWidth + uint32_t(m->lHFPorch) + uint32_t(m->lHSync) + uint32_t(m->lHBPorch);
}

uint32_t vtotalOf(const ModeInfo *m) {
    return uint32_t(m->lDispHeight) + uint32_t(m->lVFPorch) + uint32_t(m->lVSync) +
           uint32_t(m->lVBPorch);
}

bool adjusted(const ModeInfo *m) {
    for (int32_t w : m->alTVAdjust)
        if (w != -1)
            return true;
    return false;
}

// The vertical reset word corrected for the pixel depth and the chip. The
// position calculation takes the narrow-mode term on the second controller
// whether or not the mode drives a TV (`anyOutput`).
uint32_t vrst(const BoardHandle *pBoard, const ModeInfo *pMode, uint32_t v, bool anyOutput) {
    switch (pMode->lBpp) {
    case 15:
    case 16:
        v += 10;
        break;
    case 24:
        v += 14;
        break;
    case 32:
        v += 15;
        break;
    default:
        break;
    }
    const uint32_t chip = pBoard->ulChipID >> 16;
    if (chip == 0x0520 || chip == 0x0521) {
        v -= 1;
    } else if (chip == 0x0525) {
        if (pMode->lModeType & MODE_TYPE_CRTC2) {
            if (pMode->lBpp == 15 || pMode->lBpp == 16)
                v += 2;
            else if (pMode->lBpp == 32)
                v -= 3;
            if (pMode->ulDispWidth <= 640 && (anyOutput || (pMode->lModeType & MODE_TYPE_TV)))
                v += 8;
        } else {
            v -= 1;
        }
    }
    return v;
}

uint32_t sOfVco(uint32_t vco) {
    return vco < 100000 ? 0 : vco < 140000 ? 1 : vco < 180000 ? 2 : 3;
}

} // namespace

extern "C" {

uint32_t HSLMAVSetPLL(BoardHandle *pBoard, const TVTimingParameters *pTiming) {
    const uint8_t clock[3] = {uint8_t(pTiming->aulWord[0]), uint8_t(pTiming->aulWord[1]),
                              uint8_t(pTiming->aulWord[2])};
    HSLMAVI2CWrite(pBoard, 0x80, clock, 3);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVSetCRTC(BoardHandle *pBoard, ModeInfo *pMode, const TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t *t = pTiming->aulWord;
    wr(pBoard, 0x90, t[3]);
    wr16(pBoard, 0x91, t[4]);
    for (int i = 0; i < 13; i++) {
        const int word = 5 + i;
        const uint32_t v = word == 16 ? vrst(pBoard, pMode, t[16], false) : t[word];
        wr16(pBoard, kWordRegs[i], v);
    }
    wr(pBoard, 0xBE, t[18]);
    wr(pBoard, 0xC2, t[19]);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVComputePLLParam(BoardHandle *pBoard, uint32_t freqKHz, uint32_t *pM, uint32_t *pN,
                               uint32_t *pP, uint32_t *pS) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    // The largest post divider whose VCO stays in range; past the range of
    // P = 0 the halving would stand still, so it stops there.
    uint32_t p = 7;
    do {
        p = (p - (p > 0 ? 1 : 0)) / 2;
    } while (uint64_t(freqKHz) * (p + 1) > kMaxVcoProduct && p > 0);
    uint32_t best = 0xFFFFFFFFu, bm = 0, bn = 0, bp = 0;
    bool found = false;
    while (p > 0) {
        for (uint32_t m = 1; m <= 13; m++)
            for (uint32_t n = 1; n <= 126; n++) {
                const uint32_t f = (n + 1) * kRefKHz / ((p + 1) * (m + 1));
                const uint32_t err = f > freqKHz ? f - freqKHz : freqKHz - f;
                if (err < best) {
                    best = err;
                    bm = m;
                    bn = n;
                    bp = p;
                    found = true;
                }
            }
        p = (p - 1) / 2;
    }
    // A frequency past the synthesiser's reach leaves the caller's values.
    if (!found)
        return pBoard->ulErrorCode;
    *pM = bm;
    *pN = bn;
    *pP = bp;
    *pS = sOfVco((bn + 1) * kRefKHz / (bm + 1));
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVTimingFromMode(BoardHandle *pBoard, ModeInfo *pMode, uint32_t crtOut,
                              TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    ModeInfo m = *pMode;
    if (crtOut) {
        m.lHFPorch &= ~7;
        m.lHSync &= ~7;
        m.lHBPorch &= ~7;
    }
    uint32_t cm = 0, cn = 0, cp = 0, cs = 0;
    HSLDACComputePLLParam(pBoard, uint32_t(m.lPixClock), 0, &cm, &cn, &cp, &cs);
    const uint32_t w = m.ulDispWidth, h = uint32_t(m.lDispHeight);
    const uint32_t hs = uint32_t(m.lHSync), hbp = uint32_t(m.lHBPorch);
    const uint32_t vs = uint32_t(m.lVSync), vbp = uint32_t(m.lVBPorch);
    const uint32_t htotal = htotalOf(&m), vtotal = vtotalOf(&m);
    uint32_t *t = pTiming->aulWord;
    t[0] = cm;
    t[1] = cn;
    t[2] = 0x80 | (cs << 3) | cp;
    t[3] = 0;
    t[4] = 0;
    t[5] = hs;
    t[6] = hs + hbp - 4;
    t[7] = hs + hbp + w;
    t[8] = htotal + 1;
    t[9] = crtOut ? vs - 1 : 14;
    t[10] = vs + vbp;
    t[11] = t[10] + h;
    t[12] = vtotal - 1;
    t[13] = 0;
    t[14] = 0;
    t[15] = htotal;
    t[16] = htotal - 34;
    t[17] = vtotal - 2;
    t[18] = 46;
    t[19] = 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVPIXPLLSET(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_PIXPLL_NO_ENCODER);
    HSLMAVReset(pBoard);
    TVTimingParameters t{};
    HSLMAVTimingFromMode(pBoard, pMode, 0, &t);
    HSLMAVSetPLL(pBoard, &t);
    HSLMAVSetCRTC(pBoard, pMode, &t);
    HSLMAVEnableDataTransfer(pBoard, 1);
    wr(pBoard, 0x8C, 0x20);
    rmw(pBoard, 0x94, 0x0F, 0xA0);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_PIXEL_CLOCK;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVCalculateTVPosition(BoardHandle *pBoard, ModeInfo *pMode,
                                   TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    // Unsigned throughout: a position that runs below zero wraps to a value
    // the validation refuses.
    const uint32_t h = uint32_t(pMode->alTVAdjust[0]), v = uint32_t(pMode->alTVAdjust[1]),
                   hs = uint32_t(pMode->alTVAdjust[2]);
    const uint32_t w = pMode->ulDispWidth, height = uint32_t(pMode->lDispHeight);
    const bool wide = w >= 800;
    uint32_t *t = pTiming->aulWord;
    t[3] = hs + 64;
    t[5] = t[6] + h + 1;
    t[16] = vrst(pBoard, pMode, (wide ? w + 8 : w - 2) + uint32_t(pMode->lHFPorch) + h - 32, true);
    t[17] = v;
    t[19] = (768 - uint32_t(uint64_t(w + h) * t[3] / 128)) / 2;
    if (wide)
        t[19] -= 2;
    else if (pBoard->HSLData.ucMavenVersion == 0x13)
        t[19] += 1;
    t[18] = (uint32_t(uint64_t(height + v) * t[4] / 32768) - 256) / 2;
    if (wide)
        t[18] += 2;
    t[9] = uint32_t(pMode->lVBPorch) + uint32_t(pMode->lVSync) + t[17] + 1;
    t[7] = w + h + (wide ? 20 : 12);
    if (t[3] != 0 && uint64_t(t[3]) * t[7] >= kMaxScaleWidth)
        t[7] = kScaledWidth / t[3];
    t[11] = uint32_t(pMode->lVBPorch) + 2;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVValidateTVPosition(BoardHandle *pBoard, ModeInfo *pMode,
                                  TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t w = pMode->ulDispWidth;
    int64_t limit = int64_t(htotalOf(pMode)) + (w < 800 ? -3 : 7);
    switch (pMode->lBpp) {
    case 15:
    case 16:
        limit -= 22;
        break;
    case 24:
        limit -= 18;
        break;
    case 32:
        limit -= 17;
        break;
    default:
        limit -= 32;
        break;
    }
    const uint32_t *t = pTiming->aulWord;
    const bool ok = t[3] > 63 && t[3] <= 128 && uint64_t(t[3]) * w < kMaxScaleWidth &&
                    t[4] <= 0x7FFF && t[19] <= 255 && t[18] <= 255 && t[5] <= 0xFFFF &&
                    t[9] <= 0xFFFF && t[7] <= 0xFFFF && t[11] <= 0xFFFF && t[17] <= 0xFFFF &&
                    t[8] >= t[7] && int64_t(t[16]) <= limit;
    if (!ok)
        SetErr(pBoard, HSL_ERR_MAV_POSITION);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVAdjustTVPosition(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard) || !adjusted(pMode))
        return pBoard->ulErrorCode;
    TVTimingParameters t{};
    HSLMAVGetTimingParameters(pBoard, pBoard->TVState.ucTVStandard, pMode, &t);
    HSLMAVCalculateTVPosition(pBoard, pMode, &t);
    HSLMAVValidateTVPosition(pBoard, pMode, &t);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    wr(pBoard, 0x90, t.aulWord[3]);
    wr(pBoard, 0xC2, t.aulWord[19]);
    wr(pBoard, 0xBE, t.aulWord[18]);
    wr16(pBoard, 0x9A, t.aulWord[5]);
    wr16(pBoard, 0xA2, t.aulWord[9]);
    wr16(pBoard, 0x9E, t.aulWord[7]);
    wr16(pBoard, 0xA6, t.aulWord[11]);
    wr16(pBoard, 0xAA, t.aulWord[16]);
    wr16(pBoard, 0xAC, t.aulWord[17]);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVApplyVrstPatch(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t r = rd16(pBoard, 0xAA);
    const uint8_t a = rd(pBoard, 0x9A), b = rd(pBoard, 0x9C);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t d = (b >= a ? r - b : r - a) & 0xFF;
    const uint32_t phase = d & 3;
    const int32_t bpp = pMode->lBpp;
    uint32_t g = phase;
    if (pMode->lModeType & MODE_TYPE_CRTC2) {
        if (bpp == 15 || bpp == 16 || bpp == 32)
            g = 1;
    } else {
        g = bpp == 8 ? 0 : (bpp == 15 || bpp == 16 || bpp == 24) ? 2 : bpp == 32 ? 3 : phase;
    }
    if ((pMode->lModeType & MODE_TYPE_TV) && pMode->ulDispWidth == 640)
        g = phase;
    r = r + g - phase;
    if (g < phase)
        r += 4;
    wr16(pBoard, 0xAA, r);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVCRTC2SetITU656(BoardHandle *pBoard, ModeInfo *pMode) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    ITU656Parameters q{};
    HSLMAVGetCVE2ITU656Parameters(pBoard, pMode, &q);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t o = pMode->ulFBPitch;
    uint32_t x = 0, y = 0;
    ClientReadRegisterDword(pBoard, 0x3C10, &x);
    ClientReadRegisterDword(pBoard, 0x3C4C, &y);
    x &= ~(7u << 21);
    y &= ~0xFFu;
    uint32_t format = 0, low = 0, scale = 1;
    switch (pMode->lBpp) {
    case 15:
        format = 1, scale = 2;
        break;
    case 16:
        format = 2, scale = 2;
        break;
    case 32:
    case 0x10000:
        format = 4, scale = 4;
        break;
    case 0x20000:
    case 0x30000:
        format = 7, low = 0x07, scale = 2;
        break;
    case 0x40000:
        format = 5, low = 0x87, scale = 2;
        break;
    case 0x50000:
        format = 5, low = 0x07, scale = 2;
        break;
    case 0x60000:
        format = 4, scale = 2;
        break;
    case 0x70000:
    case 0x80000:
        format = 7, low = 0x07;
        break;
    case 0x90000:
        format = 5, low = 0x87;
        break;
    case 0xA0000:
        format = 5, low = 0x07;
        break;
    default:
        break;
    }
    o *= scale;
    const uint32_t *w = q.aulWord;
    ClientWriteRegisterDword(pBoard, 0x3C10, x | format << 21);
    ClientWriteRegisterDword(pBoard, 0x3C4C, y | low);
    ClientWriteRegisterDword(pBoard, 0x3C14, w[0] << 16 | w[1]);
    ClientWriteRegisterDword(pBoard, 0x3C18, 0);
    ClientWriteRegisterDword(pBoard, 0x3C1C, w[2] << 16 | w[3]);
    ClientWriteRegisterDword(pBoard, 0x3C20, 0);
    ClientWriteRegisterDword(pBoard, 0x3C40, o);
    uint32_t vcount = 0;
    ClientReadRegisterDword(pBoard, 0x3C44, &vcount);
    ClientWriteRegisterDword(pBoard, 0x3C44, (vcount & 0xF000FFFFu) | ((w[2] + 2) << 16));

    HSLMAVEnableEncoder(pBoard, 0);
    EncoderParameters e{};
    HSLMAVGetEncoderParameters(pBoard, pBoard->TVState.ucTVStandard, &e);
    e.aulWord[7] = w[4];
    e.aulWord[2] = w[5];
    e.aulWord[4] = w[6];
    HSLMAVInitEncoder(pBoard, &e);
    HSLMAVEnableDataTransfer(pBoard, 1);
    wr(pBoard, 0x82, 0xA0);
    rmw(pBoard, 0xD3, 0xFC, 0x01);
    rmw(pBoard, 0x8C, 0x0F, 0x10);
    rmw(pBoard, 0x94, 0x0F, 0xA0);
    wr(pBoard, 0x33, w[7]);
    rmw(pBoard, 0x06, 0xFF, 0x0E);
    rmw(pBoard, 0x8D, 0x08, 0x03);
    rmw(pBoard, 0xB9, uint8_t(~0x06), 0);
    rmw(pBoard, 0xBF, 0xFF, 0x02);
    HSLMAVSetTVProcAmp(pBoard, &pBoard->TVState.TVSettings, 0);
    HSLMAVSetTVCableType(pBoard, pBoard->TVState.ucTVCableType);
    hsl::callSlot(pBoard, HSL_SLOT_CONTROL_MAFC_PORT, 4u);
    hsl::callSlot(pBoard, HSL_SLOT_ROUTE_PIXEL_CLOCK, 4u);
    wr(pBoard, 0x82, 0x20);
    HSLMAVEnableEncoder(pBoard, 1);
    if (!failed(pBoard))
        pBoard->TVState.ucTVMode = TV_MODE_YUV;
    return pBoard->ulErrorCode;
}

} // extern "C"
