// The timings a monitor offers for a screen size, from the EDID its output
// keeps: established and standard timings through the VESA mode records,
// detailed timing descriptors, and the EDID 2.0 layout's timing codes and
// detailed timings. Also turns an EDID 2.0 block into a 1.1 block.
#include "hal_error.h"
#include "hal_monitor.h"
#include "hsl_regs.h"

namespace {

constexpr uint32_t kEndMark = 0xFFFFFFFFu;

constexpr ModeInfo row(uint32_t w, int32_t h, int32_t zoom, int32_t refresh, int32_t hrate,
                       int32_t clock, int32_t hfp, int32_t hsync, int32_t hbp, int32_t vfp,
                       int32_t vsync, int32_t vbp, int32_t signal) {
    ModeInfo m{};
    m.ulDispWidth = w;
    m.lDispHeight = h;
    m.lZoom = zoom;
    m.lRefreshRate = refresh;
    m.lHorizontalRate = hrate;
    m.lPixClock = clock;
    m.lHFPorch = hfp;
    m.lHSync = hsync;
    m.lHBPorch = hbp;
    m.lVFPorch = vfp;
    m.lVSync = vsync;
    m.lVBPorch = vbp;
    m.lSignalMode = signal;
    return m;
}

constexpr ModeInfo endMark() {
    ModeInfo m{};
    m.ulDispWidth = kEndMark;
    return m;
}

} // namespace

extern "C" {
// The VESA mode records by size (horizontal rate in kHz, clock in kHz).
constexpr ModeInfo VesaParam[VESA_PARAM_ROWS] = {
    row(320, 200, 0, 85, 36, 14640, 8, 32, 48, 3, 3, 16, 0),
    row(320, 240, 0, 85, 43, 17485, 8, 32, 48, 3, 3, 16, 0),
    row(320, 400, 0, 85, 38, 15360, 8, 32, 48, 6, 6, 32, 0),
    row(400, 300, 0, 75, 47, 25000, 16, 40, 80, 3, 3, 16, 0),
    row(512, 384, 0, 85, 34, 22000, 16, 64, 48, 1, 3, 16, 0),
    row(640, 350, 0, 85, 38, 31500, 32, 64, 96, 32, 3, 60, 4),
    row(640, 400, 0, 85, 38, 31500, 32, 64, 96, 1, 3, 41, 8),
    row(640, 480, 0, 60, 31, 25175, 16, 96, 48, 10, 2, 33, 0),
    row(640, 480, 0, 72, 38, 31500, 24, 40, 128, 9, 3, 28, 0),
    row(640, 480, 0, 75, 38, 31500, 16, 64, 120, 1, 3, 16, 0),
    row(640, 480, 0, 85, 43, 36000, 56, 56, 80, 1, 3, 25, 0),
    row(720, 400, 0, 85, 38, 35500, 36, 72, 108, 1, 3, 42, 8),
    row(800, 600, 0, 56, 35, 36000, 24, 72, 128, 1, 2, 22, 12),
    row(800, 600, 0, 60, 38, 40000, 40, 128, 88, 1, 4, 23, 12),
    row(800, 600, 0, 72, 48, 50000, 56, 120, 64, 37, 6, 23, 12),
    row(800, 600, 0, 75, 47, 49500, 16, 80, 160, 1, 3, 21, 12),
    row(800, 600, 0, 85, 54, 56250, 32, 64, 152, 1, 3, 27, 12),
    row(1024, 768, 0, 43, 36, 44900, 8, 176, 56, 0, 4, 20, 13),
    row(1024, 768, 0, 60, 48, 65000, 24, 136, 160, 3, 6, 29, 0),
    row(1024, 768, 0, 70, 56, 75000, 24, 136, 144, 3, 6, 29, 0),
    row(1024, 768, 0, 75, 60, 78750, 16, 96, 176, 1, 3, 28, 12),
    row(1024, 768, 0, 85, 69, 94500, 48, 96, 208, 1, 3, 36, 12),
    row(1152, 864, 1, 75, 68, 108000, 64, 128, 256, 1, 3, 32, 12),
    row(1152, 864, 2, 75, 68, 108000, 64, 128, 256, 1, 3, 32, 12),
    row(1152, 864, 4, 75, 68, 110150, 128, 128, 256, 1, 3, 32, 12),
    row(1280, 960, 0, 60, 60, 108000, 96, 112, 312, 1, 3, 36, 12),
    row(1280, 960, 0, 85, 86, 148500, 64, 160, 224, 1, 3, 47, 12),
    row(1280, 1024, 0, 60, 64, 108000, 48, 112, 248, 1, 3, 38, 12),
    row(1280, 1024, 0, 75, 80, 135000, 16, 144, 248, 1, 3, 38, 12),
    row(1280, 1024, 0, 85, 91, 157500, 64, 160, 224, 1, 3, 44, 12),
    row(1600, 1200, 0, 60, 75, 162000, 64, 192, 304, 1, 3, 46, 12),
    row(1600, 1200, 0, 65, 81, 175500, 64, 192, 304, 1, 3, 46, 12),
    row(1600, 1200, 0, 70, 88, 189000, 64, 192, 304, 1, 3, 46, 12),
    row(1600, 1200, 0, 75, 94, 202500, 64, 192, 304, 1, 3, 46, 12),
    row(1600, 1200, 0, 85, 106, 229500, 64, 192, 304, 1, 3, 46, 12),
    row(1792, 1344, 0, 60, 84, 204750, 128, 200, 328, 1, 3, 46, 12),
    row(1792, 1344, 0, 75, 106, 261000, 96, 216, 352, 1, 3, 69, 12),
    row(1856, 1392, 0, 60, 86, 218250, 96, 224, 352, 1, 3, 43, 12),
    row(1856, 1392, 0, 75, 113, 288000, 128, 224, 352, 1, 3, 104, 12),
    row(1920, 1440, 0, 60, 90, 234000, 128, 208, 344, 1, 3, 56, 12),
    row(1920, 1440, 0, 75, 113, 297000, 144, 224, 352, 1, 3, 56, 12),
    endMark(),
};
} // extern "C"

namespace {

constexpr STDDDCEntry stdTiming(int vesaRow, uint8_t c0, uint8_t c1) {
    STDDDCEntry e{};
    e.Mode = VesaParam[vesaRow];
    e.aucCode[0] = c0;
    e.aucCode[1] = c1;
    return e;
}

constexpr STDDDCEntry stdEnd() {
    STDDDCEntry e{};
    e.Mode = endMark();
    return e;
}

// Established-timing slots: bit b of EDID byte 35 + k is slot 8k + b; -1 is
// a timing not offered.
constexpr int kEstabRows[24] = {13, 12, 9,  8,  -1, 7,  -1, -1, 28, 20, 19, 18,
                                17, -1, 15, 14, -1, -1, -1, -1, -1, -1, -1, -1};

constexpr ModeInfo estab(int slot) {
    return kEstabRows[slot] < 0 ? ModeInfo{} : VesaParam[kEstabRows[slot]];
}

// The timing words a monitor's timing gives a caller's record: the refresh
// rate to the sync polarity (words 7 to 18).
constexpr int kTimingFirstWord = 7, kTimingWords = 12;

void copyTiming(ModeInfo *to, const ModeInfo &from) {
    const int32_t *src = &from.lRefreshRate;
    int32_t *dst = &to->lRefreshRate;
    for (int i = 0; i < kTimingWords; i++)
        dst[i] = src[i];
}
static_assert(offsetof(ModeInfo, lRefreshRate) == kTimingFirstWord * 4 &&
                  offsetof(ModeInfo, lSignalMode) == (kTimingFirstWord + kTimingWords - 1) * 4,
              "the timing block is words 7 to 18");

bool sameSize(const ModeInfo &a, const ModeInfo *request) {
    return a.ulDispWidth == request->ulDispWidth && a.lDispHeight == request->lDispHeight;
}

const MonitorInfo &monitorOf(const BoardHandle *pBoard, uint32_t output) {
    return output == 0 ? pBoard->PrimaryMonitor : pBoard->SecondMonitor;
}

uint32_t majorOf(const MonitorInfo &m) {
    return m.ulEDIDVersion >> 4 & 0xF;
}

uint32_t detailedWidth(const uint8_t *d) {
    return d[2] + ((d[4] & 0xF0u) << 4);
}
int32_t detailedHeight(const uint8_t *d) {
    return int32_t(d[5] + ((d[7] & 0xF0u) << 4));
}

// Calls `take` with each timing of the kind that fits the request, in the
// order the EDID lists them, until it answers true. False when a decoder
// recorded an error.
template <class Take>
void walkEDID1Established(const uint8_t *e, const ModeInfo *request, Take take) {
    for (int byte = 0; byte < 3; byte++)
        for (int bit = 0; bit < 8; bit++) {
            if (!(e[35 + byte] >> bit & 1))
                continue;
            const ModeInfo &slot = EstabParam[8 * byte + bit];
            if (slot.ulDispWidth != 0 && sameSize(slot, request) && take(slot))
                return;
        }
}

template <class Take> void walkEDID1Standard(const uint8_t *e, const ModeInfo *request, Take take) {
    for (int pair = 0; pair < 8; pair++) {
        const uint8_t c0 = e[38 + 2 * pair], c1 = e[39 + 2 * pair];
        if (c0 == 1 || c1 == 1)
            continue;
        for (const STDDDCEntry *s = STDDDCParam; s->Mode.ulDispWidth != kEndMark; s++)
            if (s->aucCode[0] == c0 && s->aucCode[1] == c1 && sameSize(s->Mode, request) &&
                take(s->Mode))
                return;
    }
}

template <class Take> void walkEDID1Detailed(const uint8_t *e, const ModeInfo *request, Take take) {
    for (int at = 54; at <= 108; at += 18) {
        const uint8_t *d = e + at;
        if (d[0] == 0 && d[1] == 0)
            continue;
        ModeInfo t{};
        t.ulDispWidth = detailedWidth(d);
        t.lDispHeight = detailedHeight(d);
        if (!sameSize(t, request))
            continue;
        HALPDecodeDetailedTiming(d, &t);
        if (take(t))
            return;
    }
}

template <class Take>
void walkEDID2Codes(BoardHandle *pBoard, const uint8_t *e, const ModeInfo *request, Take take) {
    const uint32_t n = edid2::count(e, edid2::kCodes);
    for (uint32_t i = 0; i < n && !hsl::failed(pBoard); i++) {
        ModeInfo t{};
        HALPGetEDID2TimingCodesInfo(pBoard, &t, edid2::entry(e, edid2::kCodes, i));
        if (hsl::failed(pBoard) || !sameSize(t, request))
            continue;
        for (const ModeInfo *v = VesaParam; v->ulDispWidth != kEndMark; v++)
            if (sameSize(*v, request) && v->lRefreshRate == t.lRefreshRate) {
                if (take(*v))
                    return;
                break;
            }
    }
}

template <class Take>
void walkEDID2Detailed(BoardHandle *pBoard, const uint8_t *e, const ModeInfo *request, Take take) {
    const uint32_t n = edid2::count(e, edid2::kDetailed);
    for (uint32_t i = 0; i < n && !hsl::failed(pBoard); i++) {
        ModeInfo t{};
        HALPGetEDID2DetailedTimingInfo(pBoard, &t, edid2::entry(e, edid2::kDetailed, i));
        if (sameSize(t, request) && take(t))
            return;
    }
}

// Counting and picking over one walk.
template <class Walk> uint32_t countOf(Walk walk) {
    uint32_t n = 0;
    walk([&](const ModeInfo &) {
        n++;
        return false;
    });
    return n;
}

template <class Walk> bool pick(Walk walk, uint32_t index, ModeInfo *pMode) {
    uint32_t n = 0;
    bool found = false;
    walk([&](const ModeInfo &t) {
        if (n++ != index)
            return false;
        copyTiming(pMode, t);
        found = true;
        return true;
    });
    return found;
}

// A version-1 pick: an index past the matches is xx40, or xx70 when none
// match.
template <class Walk>
uint32_t pickEDID1(BoardHandle *pBoard, Walk walk, ModeInfo *pMode, uint32_t index,
                   uint32_t pastCode, uint32_t noneCode) {
    if (pick(walk, index, pMode))
        return pBoard->ulErrorCode;
    return SetErr(pBoard, countOf(walk) == 0 ? noneCode : pastCode);
}

// Layout of an EDID 2.0 block in full width: S1 to S4 of the map bytes.
struct Layout {
    uint32_t ranges, rangeStart, freqs, freqStart, codes, codeStart, detailed, detailedStart;
};

Layout layoutOf(const uint8_t *e) {
    const uint8_t m = e[126], n = e[127], l = e[128];
    Layout o{};
    o.ranges = m >> 2 & 7;
    o.rangeStart = (m & 0x20) ? 128u + 1u + (l & 0x1Fu) * ((l & 0x80) ? 3u : 1u) : 128u;
    o.freqs = m & 3;
    o.freqStart = o.rangeStart + 8 * o.ranges;
    o.codes = n >> 3;
    o.codeStart = o.freqStart + 27 * o.freqs;
    o.detailed = n & 7;
    o.detailedStart = o.codeStart + 4 * o.codes;
    return o;
}

constexpr uint32_t kEdid2Bytes = 256, kCodeBytes = 4, kDescriptorBytes = 18;

uint8_t aspectBits(uint8_t c2) {
    switch (c2) {
    case 100:
        return 0x00;
    case 125:
        return 0x80;
    case 178:
        return 0xC0;
    default:
        return 0x40;
    }
}

} // namespace

namespace edid2 {

const uint8_t *entry(const uint8_t *pEdid, Kind kind, uint32_t i) {
    const Layout o = layoutOf(pEdid);
    const uint32_t size = kind == kCodes ? kCodeBytes : kDescriptorBytes;
    const uint32_t start = (kind == kCodes ? o.codeStart : o.detailedStart) + i * size;
    if (i >= (kind == kCodes ? o.codes : o.detailed) || start + size > kEdid2Bytes)
        return nullptr;
    return pEdid + start;
}

uint32_t count(const uint8_t *pEdid, Kind kind) {
    uint32_t n = 0;
    while (entry(pEdid, kind, n) != nullptr)
        n++;
    return n;
}

} // namespace edid2

extern "C" {

constexpr STDDDCEntry STDDDCParam[32] = {
    stdTiming(7, 0x31, 0x40),  stdTiming(8, 0x31, 0x4C),
    stdTiming(9, 0x31, 0x4F),  stdTiming(10, 0x31, 0x59),
    stdTiming(13, 0x45, 0x40), stdTiming(14, 0x45, 0x4C),
    stdTiming(15, 0x45, 0x4F), stdTiming(16, 0x45, 0x59),
    stdTiming(18, 0x61, 0x40), stdTiming(19, 0x61, 0x4A),
    stdTiming(20, 0x61, 0x4F), stdTiming(21, 0x61, 0x59),
    stdTiming(22, 0x71, 0x4F), stdTiming(23, 0x71, 0x4F),
    stdTiming(24, 0x71, 0x4F), stdTiming(25, 0x81, 0x40),
    stdTiming(26, 0x81, 0x59), stdTiming(27, 0x81, 0x80),
    stdTiming(28, 0x81, 0x8F), stdTiming(29, 0x81, 0x99),
    stdTiming(30, 0xA9, 0x40), stdTiming(31, 0xA9, 0x45),
    stdTiming(32, 0xA9, 0x4A), stdTiming(33, 0xA9, 0x4F),
    stdTiming(34, 0xA9, 0x59), stdTiming(35, 0xC1, 0x40),
    stdTiming(36, 0xC1, 0x4F), stdTiming(37, 0xC9, 0x40),
    stdTiming(38, 0xC9, 0x4F), stdTiming(39, 0xD1, 0x40),
    stdTiming(40, 0xD1, 0x4F), stdEnd(),
};

constexpr ModeInfo EstabParam[24] = {
    estab(0),  estab(1),  estab(2),  estab(3),  estab(4),  estab(5),  estab(6),  estab(7),
    estab(8),  estab(9),  estab(10), estab(11), estab(12), estab(13), estab(14), estab(15),
    estab(16), estab(17), estab(18), estab(19), estab(20), estab(21), estab(22), estab(23),
};

void HALPDecodeDetailedTiming(const uint8_t *d, ModeInfo *t) {
    const uint32_t width = detailedWidth(d), height = uint32_t(detailedHeight(d));
    const uint32_t hblank = d[3] + ((d[4] & 0x0Fu) << 8);
    const uint32_t vblank = d[6] + ((d[7] & 0x0Fu) << 8);
    t->lPixClock = int32_t((d[1] * 256u + d[0]) * 10u);
    t->lHFPorch = int32_t(d[8] + ((d[11] >> 6) << 8));
    t->lHSync = int32_t(d[9] + ((d[11] & 0x30u) << 4));
    t->lHBPorch = int32_t(hblank) - t->lHFPorch - t->lHSync;
    t->lHOvscan = d[15];
    t->lVFPorch = int32_t(((d[11] >> 2 & 3u) << 4) | (d[10] >> 4));
    t->lVSync = int32_t(((d[11] & 3u) << 4) | (d[10] & 0x0Fu));
    t->lVBPorch = int32_t(vblank) - t->lVFPorch - t->lVSync;
    t->lVOvscan = d[16];
    // The totals are the active size plus the blanking; a descriptor whose
    // totals are 0 has no rates rather than a division by zero.
    const uint32_t htotal = width + hblank, vtotal = height + vblank;
    const uint32_t refresh =
        htotal * vtotal == 0 ? 0 : uint32_t(t->lPixClock) * 1000u / (htotal * vtotal);
    t->lRefreshRate = int32_t(refresh);
    // Lines per second in kHz: the refresh rate times the lines of a frame.
    t->lHorizontalRate = int32_t(refresh * vtotal / 1000u);
    int32_t signal = (d[17] & 0x80) ? SIGNAL_INTERLACED : 0;
    if ((d[17] & 0x18) == 0x18)
        signal |= (d[17] & 6) * 2;
    t->lSignalMode = signal;
}

uint32_t HALPCalcEDID2Offset(BoardHandle *pBoard, const uint8_t *pEdid, uint8_t *pOffsets) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    // The record keeps the layout's own bytes, which wrap past 255; the
    // readers use edid2::entry, which does not.
    const Layout o = layoutOf(pEdid);
    const uint32_t words[8] = {o.ranges, o.rangeStart, o.freqs,    o.freqStart,
                               o.codes,  o.codeStart,  o.detailed, o.detailedStart};
    for (int i = 0; i < 8; i++)
        pOffsets[i] = uint8_t(words[i]);
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID2DetailedTimingInfo(BoardHandle *pBoard, ModeInfo *pMode,
                                        const uint8_t *pDescriptor) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    pMode->ulDispWidth = detailedWidth(pDescriptor);
    pMode->lDispHeight = detailedHeight(pDescriptor);
    HALPDecodeDetailedTiming(pDescriptor, pMode);
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID2TimingCodesInfo(BoardHandle *pBoard, ModeInfo *pMode, const uint8_t *c) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t width = c[0] * 16u + 256u;
    pMode->ulDispWidth = width;
    if (c[2] == 0)
        SetErr(pBoard, HALP_ERR_EDID2_ASPECT);
    else
        pMode->lDispHeight = int32_t((width * 100u / c[2]) & ~7u);
    pMode->lRefreshRate = c[3];
    pMode->lSignalMode = 0;
    return pBoard->ulErrorCode;
}

// ---- version 1 ----

uint32_t HALPGetEDID1EstablishedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                             uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    *pCount = countOf([&](auto take) { walkEDID1Established(e, pMode, take); });
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID1StandardTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    *pCount = countOf([&](auto take) { walkEDID1Standard(e, pMode, take); });
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID1DetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    *pCount = countOf([&](auto take) { walkEDID1Detailed(e, pMode, take); });
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID1EstablishedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                       uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    return pickEDID1(
        pBoard, [&](auto take) { walkEDID1Established(e, pMode, take); }, pMode, index,
        HALP_ERR_ESTAB_INDEX, HALP_ERR_ESTAB_NONE);
}

uint32_t HALPGetEDID1StandardTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    return pickEDID1(
        pBoard, [&](auto take) { walkEDID1Standard(e, pMode, take); }, pMode, index,
        HALP_ERR_STD_INDEX, HALP_ERR_STD_NONE);
}

uint32_t HALPGetEDID1DetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    return pickEDID1(
        pBoard, [&](auto take) { walkEDID1Detailed(e, pMode, take); }, pMode, index,
        HALP_ERR_DETAILED_INDEX, HALP_ERR_DETAILED_NONE);
}

// ---- version 2 ----

uint32_t HALPGetEDID2TimingCodesNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                       uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    *pCount = countOf([&](auto take) { walkEDID2Codes(pBoard, e, pMode, take); });
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID2DetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                          uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    *pCount = countOf([&](auto take) { walkEDID2Detailed(pBoard, e, pMode, take); });
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID2TimingCodes(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                 uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    if (!pick([&](auto take) { walkEDID2Codes(pBoard, e, pMode, take); }, index, pMode))
        SetErr(pBoard, HALP_ERR_EDID2_CODES);
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEDID2DetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                    uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e = monitorOf(pBoard, output).aucEDID;
    if (!pick([&](auto take) { walkEDID2Detailed(pBoard, e, pMode, take); }, index, pMode))
        SetErr(pBoard, HALP_ERR_EDID2_DETAILED);
    return pBoard->ulErrorCode;
}

// ---- by version ----

uint32_t HALPGetDDCEstablishedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                           uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1EstablishedTimingNumber(pBoard, pMode, output, pCount);
    case 2:
        *pCount = 0;
        return pBoard->ulErrorCode;
    default:
        return SetErr(pBoard, HALP_ERR_ESTAB_NUMBER_VERSION);
    }
}

uint32_t HALPGetDDCStandardTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                        uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1StandardTimingNumber(pBoard, pMode, output, pCount);
    case 2:
        return HALPGetEDID2TimingCodesNumber(pBoard, pMode, output, pCount);
    default:
        return SetErr(pBoard, HALP_ERR_STD_NUMBER_VERSION);
    }
}

uint32_t HALPGetDDCDetailedTimingNumber(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                        uint32_t *pCount) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1DetailedTimingNumber(pBoard, pMode, output, pCount);
    case 2:
        return HALPGetEDID2DetailedTimingNumber(pBoard, pMode, output, pCount);
    default:
        return SetErr(pBoard, HALP_ERR_DETAILED_NUMBER_VERSION);
    }
}

uint32_t HALPGetDDCEstablishedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                     uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1EstablishedTiming(pBoard, pMode, output, index);
    case 2:
        return SetErr(pBoard, HALP_ERR_ESTAB_EDID2);
    default:
        return SetErr(pBoard, HALP_ERR_ESTAB_VERSION);
    }
}

uint32_t HALPGetDDCStandardTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                  uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1StandardTiming(pBoard, pMode, output, index);
    case 2:
        return HALPGetEDID2TimingCodes(pBoard, pMode, output, index);
    default:
        return SetErr(pBoard, HALP_ERR_STD_VERSION);
    }
}

uint32_t HALPGetDDCDetailedTiming(BoardHandle *pBoard, ModeInfo *pMode, uint32_t output,
                                  uint32_t index) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    switch (majorOf(monitorOf(pBoard, output))) {
    case 1:
        return HALPGetEDID1DetailedTiming(pBoard, pMode, output, index);
    case 2:
        return HALPGetEDID2DetailedTiming(pBoard, pMode, output, index);
    default:
        return SetErr(pBoard, HALP_ERR_DETAILED_VERSION);
    }
}

uint32_t HALGetDDCParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t index) {
    pBoard->ulErrorCode = HAL_OK;
    const uint32_t output = (pMode->lModeType & MODE_TYPE_SECOND_OUTPUT) ? 1 : 0;
    if (!(monitorOf(pBoard, output).flMonitor & MONITOR_EDID_VALID))
        return SetErr(pBoard, HAL_ERR_DDC_NO_EDID);
    uint32_t established = 0, standard = 0, detailed = 0;
    HALPGetDDCEstablishedTimingNumber(pBoard, pMode, output, &established);
    HALPGetDDCStandardTimingNumber(pBoard, pMode, output, &standard);
    HALPGetDDCDetailedTimingNumber(pBoard, pMode, output, &detailed);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (index < established)
        return HALPGetDDCEstablishedTiming(pBoard, pMode, output, index);
    index -= established;
    if (index < standard)
        return HALPGetDDCStandardTiming(pBoard, pMode, output, index);
    index -= standard;
    if (index < detailed)
        return HALPGetDDCDetailedTiming(pBoard, pMode, output, index);
    return SetErr(pBoard, established + standard + detailed != 0 ? HAL_ERR_DDC_INDEX
                                                                 : HAL_ERR_DDC_NO_TIMING);
}

uint32_t HALPConvertEDID2toEDID1(BoardHandle *pBoard, uint8_t *pEdid) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *e2 = pEdid;
    uint8_t b[128] = {};
    static constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    for (int i = 0; i < 8; i++)
        b[i] = kHeader[i];
    for (int i = 0; i < 4; i++)
        b[8 + i] = e2[1 + i];
    b[16] = e2[5];
    b[17] = uint8_t(e2[6] + 58);
    b[18] = 1;
    b[19] = 1;
    b[20] = e2[79] < 16 ? e2[66] : 0x80;
    b[21] = uint8_t((e2[114] + e2[115] * 256u + 5) / 10);
    b[22] = uint8_t((e2[116] + e2[117] * 256u + 5) / 10);
    b[23] = e2[86];
    uint8_t features = uint8_t((e2[81] & 0xE0) + ((e2[91] & 0x80) ? 12 : 8));
    if (e2[126] & 0x40)
        features |= 2;
    if (e2[125] != 0)
        features |= 1;
    b[24] = features;
    for (int i = 0; i < 10; i++)
        b[25 + i] = e2[94 + i];
    const uint32_t codes = edid2::count(e2, edid2::kCodes);
    for (uint32_t i = 0; i < 8 && i < codes; i++) {
        const uint8_t *c = edid2::entry(e2, edid2::kCodes, i);
        uint8_t rate = c[3] < 60 ? 60 : c[3] > 123 ? 123 : c[3];
        b[38 + 2 * i] = uint8_t(c[0] * 2 + 1);
        b[39 + 2 * i] = uint8_t(aspectBits(c[2]) | (rate - 60));
    }
    const uint32_t detailed = edid2::count(e2, edid2::kDetailed);
    for (uint32_t i = 0; i < 4 && detailed != 0; i++) {
        const uint8_t *d = edid2::entry(e2, edid2::kDetailed, i < detailed ? i : detailed - 1);
        for (uint32_t k = 0; k < kDescriptorBytes; k++)
            b[54 + 18 * i + k] = d[k];
    }
    uint8_t sum = 0;
    for (int i = 0; i < 127; i++)
        sum = uint8_t(sum + b[i]);
    b[127] = uint8_t(-sum);
    for (int i = 0; i < 128; i++)
        pEdid[i] = b[i];
    return pBoard->ulErrorCode;
}

} // extern "C"
