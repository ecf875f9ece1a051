// Lookups in the TV encoder's tables (hsl_mav_tabledata.cpp): the encoder
// register set, a mode's TV timings and vertical size steps, the encoder's
// timing record, the picture-control limits, luminance levels and gamma
// curves, the ITU-R 656 words, and the step changes of a TV mode.
#include "hal_error.h"
#include "hsl_mav_io.h"
#include "hsl_mav_tables.h"

namespace {

using mav::failed;
using mav::hasEncoder;

constexpr uint32_t kCondorDevice = 0x0525;
constexpr int kModeWords = 32;
// ModeInfo words a TV table fills: lRefreshRate (7) through lSignalMode
// (18), and through the last TV word (22) outside YUV output.
constexpr int kFirstTimingWord = 7, kSignalWord = 18, kLastTVWord = 22, kLastVScaleWord = 17;
constexpr int32_t kModeTypeYUV = 0x800000;
// lSignalMode bit 4: the 525-line standard.
constexpr int32_t kSignal525 = 0x10;
// Reference rates of the encoder's clock for a vertical-scale record: the
// 59.94 Hz standard runs 1000/1001 slower.
constexpr uint32_t kScaleRate625 = 54000, kScaleRate525 = 45045, kScaleClockFactor = 2700;

uint8_t boardId(const BoardHandle *pBoard) {
    return (pBoard->ulChipID >> 16) == kCondorDevice && pBoard->ulChipRev > 1 ? 1 : 0;
}

uint8_t version(const BoardHandle *pBoard) {
    return pBoard->HSLData.ucMavenVersion;
}

// ModeInfo is 32 words; the tables speak of them by number.
int32_t *modeWords(ModeInfo *pMode) {
    return reinterpret_cast<int32_t *>(pMode);
}
const int32_t *modeWords(const ModeInfo *pMode) {
    return reinterpret_cast<const int32_t *>(pMode);
}
static_assert(sizeof(ModeInfo) == kModeWords * sizeof(int32_t), "ModeInfo is all words");

void copyModeWords(ModeInfo *pTo, const ModeInfo *pFrom, int first, int last) {
    for (int i = first; i <= last; i++)
        modeWords(pTo)[i] = modeWords(pFrom)[i];
}

template <class Entry, class Match> const Entry *lookup(const Entry *table, Match match) {
    for (const Entry *e = table; e->aucKey[0] != MAV_TABLE_END; e++)
        if (match(*e))
            return e;
    return nullptr;
}

bool sameSize(const ModeInfo &a, const ModeInfo *pMode) {
    return a.ulDispWidth == pMode->ulDispWidth && a.lDispHeight == pMode->lDispHeight;
}

bool adjusted(const ModeInfo *pMode) {
    for (int32_t w : pMode->alTVAdjust)
        if (w != -1)
            return true;
    return false;
}

uint32_t vtotal(const ModeInfo *pMode) {
    return uint32_t(pMode->lDispHeight + pMode->lVFPorch + pMode->lVSync + pMode->lVBPorch);
}

// The timing record of a vertical size step: the entry's scale words and
// the mode's frame; the clock follows from the line length and the frame.
void scaleRecord(BoardHandle *pBoard, const MavVScaleEntry &e, const ModeInfo *pMode,
                 TVTimingParameters *pTiming) {
    uint32_t *t = pTiming->aulWord;
    const uint32_t lines = vtotal(pMode);
    t[4] = e.aulScale[0];
    t[8] = t[15] = e.aulScale[1];
    t[14] = e.aulScale[2];
    t[13] = e.aulScale[3];
    t[12] = lines - 1;
    t[10] = uint32_t(pMode->lVBPorch + pMode->lVSync);
    t[6] = 4;
    t[11] = 11;
    const uint32_t rate = (pMode->lSignalMode & kSignal525) ? kScaleRate525 : kScaleRate625;
    const uint32_t freq = (e.aulScale[1] + 2) * lines * kScaleClockFactor / rate;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLMAVComputePLLParam(pBoard, freq, &m, &n, &p, &s);
    if (failed(pBoard))
        return;
    t[0] = m;
    t[1] = n;
    t[2] = 0x80 | (s << 3) | p;
}

// The picture's offsets and horizontal size step.
bool positionStep(ModeInfo *pMode, uint32_t type) {
    int32_t *tv = pMode->alTVAdjust;
    switch (type) {
    case 13:
        tv[0] += 4;
        return true;
    case 14:
        tv[0] -= 4;
        return true;
    case 15:
        tv[1] -= 2;
        return true;
    case 16:
        tv[1] += 2;
        return true;
    case 17:
        tv[2] += 1;
        return true;
    case 19:
        tv[2] -= 1;
        return true;
    default:
        return false;
    }
}

// The porch steps move the picture by trading one porch for the other; a
// porch too short to give the step is refused and nothing moves.
bool porchStep(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type) {
    int32_t *grow = nullptr, *shrink = nullptr, by = 0, least = 0;
    switch (type) {
    case 24:
    case 35:
        grow = &pMode->lHFPorch, shrink = &pMode->lHBPorch, by = 8, least = 8;
        break;
    case 26:
    case 33:
        grow = &pMode->lHBPorch, shrink = &pMode->lHFPorch, by = 8, least = 8;
        break;
    case 27:
    case 38:
        grow = &pMode->lVFPorch, shrink = &pMode->lVBPorch, by = 1, least = 2;
        break;
    case 29:
    case 36:
        grow = &pMode->lVBPorch, shrink = &pMode->lVFPorch, by = 1, least = 2;
        break;
    default:
        return false;
    }
    if (*shrink < least) {
        SetErr(pBoard, HSL_ERR_MAV_MODIFY_RANGE);
        return true;
    }
    *grow += by;
    *shrink -= by;
    return true;
}

void fetchTiming(BoardHandle *pBoard, ModeInfo *pMode, TVTimingParameters *pTiming) {
    *pTiming = TVTimingParameters{};
    HSLMAVGetTimingParameters(pBoard, pBoard->TVState.ucTVStandard, pMode, pTiming);
}

} // namespace

extern "C" {

uint32_t HSLMAVGetBoardIDForParameters(BoardHandle *pBoard, uint8_t *pBoardId) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    *pBoardId = boardId(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetEncoderParameters(BoardHandle *pBoard, uint8_t standard,
                                    EncoderParameters *pParams) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavEncoderEntry *e = lookup(MavEncoderParm, [&](const MavEncoderEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == standard && x.aucKey[2] == board;
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_ENCODER_PARM);
    *pParams = e->Params;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint8_t standard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_TVPARM_NO_ENCODER);
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const bool yuv = (pMode->lModeType & kModeTypeYUV) != 0;
    const MavModeEntry *e = lookup(yuv ? MavTV_YUVParm : MavTVParm, [&](const MavModeEntry &x) {
        return (yuv || x.aucKey[0] == ver) && x.aucKey[1] == standard && x.aucKey[2] == board &&
               sameSize(x.Mode, pMode);
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_TVPARM);
    copyModeWords(pMode, &e->Mode, kFirstTimingWord, yuv ? kSignalWord : kLastTVWord);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetVScaleTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint8_t standard) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!hasEncoder(pBoard))
        return SetErr(pBoard, HSL_ERR_MAV_VSCALE_NO_ENCODER);
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavVScaleEntry *e = lookup(MavVScaleTVParm, [&](const MavVScaleEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == board &&
               uint32_t((x.Mode.lSignalMode & kSignal525) >> 4) == standard &&
               sameSize(x.Mode, pMode) && x.Mode.alTVAdjust[3] == pMode->alTVAdjust[3];
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_VSCALE_PARM);
    copyModeWords(pMode, &e->Mode, kFirstTimingWord, kLastVScaleWord);
    pMode->lSignalMode = e->Mode.lSignalMode;
    pMode->alTVAdjust[1] = e->Mode.alTVAdjust[1];
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetTimingParametersOldMethod(BoardHandle *pBoard, uint8_t standard, uint32_t width,
                                            uint32_t height, TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavTimingEntry *e = lookup(MavTimingParm, [&](const MavTimingEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == standard && x.aucKey[2] == board &&
               x.ulWidth == width && x.ulHeight == height;
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_TIMING_PARM);
    *pTiming = e->Timing;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetTimingParameters(BoardHandle *pBoard, uint8_t standard, ModeInfo *pMode,
                                   TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavVScaleEntry *e = lookup(MavVScaleTVParm, [&](const MavVScaleEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == board && sameSize(x.Mode, pMode) &&
               x.Mode.lSignalMode == pMode->lSignalMode &&
               x.Mode.alTVAdjust[3] == pMode->alTVAdjust[3];
    });
    if (e != nullptr)
        scaleRecord(pBoard, *e, pMode, pTiming);
    else
        HSLMAVGetTimingParametersOldMethod(pBoard, standard, pMode->ulDispWidth,
                                           uint32_t(pMode->lDispHeight), pTiming);
    if (adjusted(pMode)) {
        HSLMAVCalculateTVPosition(pBoard, pMode, pTiming);
        HSLMAVValidateTVPosition(pBoard, pMode, pTiming);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetColorBarTimingParameters(BoardHandle *pBoard, uint8_t standard,
                                           TVTimingParameters *pTiming) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavTimingEntry *e = lookup(MavTimingColorBarParm, [&](const MavTimingEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == standard && x.aucKey[2] == board;
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_COLORBAR_PARM);
    *pTiming = e->Timing;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetTVProcAmp(BoardHandle *pBoard, TVProcAmpSettings *pSettings, uint8_t standard,
                            uint8_t kind) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (kind == TV_PROCAMP_CURRENT) {
        *pSettings = pBoard->TVState.TVSettings;
        return pBoard->ulErrorCode;
    }
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavProcAmpEntry *e = lookup(MavProcAmpParm, [&](const MavProcAmpEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == standard && x.aucKey[2] == board &&
               x.aucKey[3] == kind;
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_PROCAMP_PARM);
    *pSettings = e->Settings;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetLumaParameters(BoardHandle *pBoard, uint8_t standard, uint32_t *pLuma) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t ver = version(pBoard), board = boardId(pBoard);
    const MavLumaEntry *e = lookup(MavLumaParm, [&](const MavLumaEntry &x) {
        return x.aucKey[0] == ver && x.aucKey[1] == standard && x.aucKey[2] == board;
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_LUMA_PARM);
    for (int i = 0; i < 4; i++)
        pLuma[i] = e->aulLuma[i];
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetGammaParameters(BoardHandle *pBoard, uint8_t key, uint32_t *pGamma) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const MavGammaEntry *e =
        lookup(MavGammaParm, [&](const MavGammaEntry &x) { return x.aucKey[0] == key; });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_GAMMA_PARM);
    for (int i = 0; i < 14; i++)
        pGamma[i] = e->aulGamma[i];
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVGetCVE2ITU656Parameters(BoardHandle *pBoard, ModeInfo *pMode,
                                       ITU656Parameters *pParams) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t standard = pBoard->TVState.ucTVStandard, board = boardId(pBoard);
    const MavITU656Entry *e = lookup(CVE2ITU656Parm, [&](const MavITU656Entry &x) {
        return x.aucKey[1] == standard && x.aucKey[2] == board && x.ulWidth == pMode->ulDispWidth &&
               x.ulHeight == uint32_t(pMode->lDispHeight);
    });
    if (e == nullptr)
        return SetErr(pBoard, HSL_ERR_MAV_ITU656_PARM);
    *pParams = e->Params;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVModifyTVParameters(BoardHandle *pBoard, ModeInfo *pMode, uint32_t type,
                                  uint32_t value) {
    (void)value;
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    if (!adjusted(pMode))
        return SetErr(pBoard, HSL_ERR_MAV_MODIFY_NOT_ALLOWED);
    TVTimingParameters timing;
    fetchTiming(pBoard, pMode, &timing);
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    int32_t &vstep = pMode->alTVAdjust[3];
    if (type == 18 || type == 20) {
        // The step stays in the mode even when it is out of range, as the
        // caller's record of what was asked.
        vstep += type == 18 ? 1 : -1;
        if (vstep > 5 || vstep <= 0)
            return SetErr(pBoard, HSL_ERR_MAV_MODIFY_RANGE);
        HSLMAVGetVScaleTVParameters(pBoard, pMode, pBoard->TVState.ucTVStandard);
        fetchTiming(pBoard, pMode, &timing);
    } else if (!positionStep(pMode, type) && !porchStep(pBoard, pMode, type)) {
        return SetErr(pBoard, type == 0 || type > 38 ? HSL_ERR_MAV_MODIFY_RANGE
                                                     : HSL_ERR_MAV_MODIFY_NOT_ALLOWED);
    }
    HSLMAVCalculateTVPosition(pBoard, pMode, &timing);
    HSLMAVValidateTVPosition(pBoard, pMode, &timing);
    return pBoard->ulErrorCode;
}

} // extern "C"
