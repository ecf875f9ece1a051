// The TV encoder's table lookups: the board id, the keys each table
// compares, the misses and what they leave alone, the vertical-scale table
// and its fallback, the picture-setting kinds and the step changes of a TV
// mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quarn_tv_fixture.h"

namespace {

using namespace quarntv;

std::vector<uint32_t> words(const TVTimingParameters &t) {
    return std::vector<uint32_t>(t.aulWord, t.aulWord + TV_TIMING_WORDS);
}

TEST(TvTables, BoardIdByDeviceAndRevision) {
    const struct {
        uint32_t device, revision;
        uint8_t id;
    } cases[] = {{0x0525, 2, 1}, {0x0525, 0x85, 1}, {0x0525, 1, 0}, {0x0520, 2, 0}, {0x0521, 3, 0}};
    for (const auto &c : cases) {
        TvBoard b(0x14, c.device, c.revision);
        uint8_t id = 0xEE;
        EXPECT_EQ(HSLMAVGetBoardIDForParameters(b.h(), &id), 0u);
        EXPECT_EQ(id, c.id) << std::hex << c.device << " rev " << c.revision;
    }
    // The id picks the entry: board 1's white limit and encoder word 5.
    TvBoard board1(0x14, 0x0525, 2), board0(0x14, 0x0525, 1);
    uint32_t luma[4] = {};
    EXPECT_EQ(HSLMAVGetLumaParameters(board1.h(), 1, luma), 0u);
    EXPECT_EQ(luma[0], 242u);
    EXPECT_EQ(luma[1], 786u);
    EncoderParameters p{};
    EXPECT_EQ(HSLMAVGetEncoderParameters(board0.h(), 1, &p), 0u);
    EXPECT_EQ(p.aulWord[5], 64u);
    EXPECT_EQ(HSLMAVGetEncoderParameters(board1.h(), 1, &p), 0u);
    EXPECT_EQ(p.aulWord[5], 67u);
    EXPECT_EQ(p.aulWord[0], 0x21F07C1Fu);
}

TEST(TvTables, MissesRecordTheirCodeAndWriteNothing) {
    // 720 x 576 is a version-0x14 size only.
    TvBoard b(0x11, 0x0521, 2);
    ModeInfo m = tvMode(720, 576, 0);
    const ModeInfo before = m;
    EXPECT_EQ(HSLMAVGetTVParameters(b.h(), &m, 0), HSL_ERR_MAV_TVPARM);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    b.h()->ulErrorCode = 0;
    TVTimingParameters t;
    std::memset(&t, 0x5A, sizeof t);
    const TVTimingParameters tBefore = t;
    EXPECT_EQ(HSLMAVGetTimingParameters(b.h(), 0, &m, &t), HSL_ERR_MAV_TIMING_PARM);
    EXPECT_EQ(words(t), words(tBefore));
    // A pending error: the next lookup does nothing, even one that matches.
    ModeInfo vga = tvMode(640, 480, 0);
    EXPECT_EQ(HSLMAVGetTVParameters(b.h(), &vga, 0), HSL_ERR_MAV_TIMING_PARM);
    EXPECT_EQ(vga.lPixClock, 0);

    // An encoder version with no entries at all.
    TvBoard unknown(0x19, 0x0521, 2);
    const struct {
        const char *what;
        uint32_t code;
        uint32_t (*call)(BoardHandle *);
    } misses[] = {
        {"encoder", HSL_ERR_MAV_ENCODER_PARM,
         [](BoardHandle *h) {
             EncoderParameters p{};
             return HSLMAVGetEncoderParameters(h, 0, &p);
         }},
        {"colour bars", HSL_ERR_MAV_COLORBAR_PARM,
         [](BoardHandle *h) {
             TVTimingParameters p{};
             return HSLMAVGetColorBarTimingParameters(h, 0, &p);
         }},
        {"luminance", HSL_ERR_MAV_LUMA_PARM,
         [](BoardHandle *h) {
             uint32_t l[4] = {};
             return HSLMAVGetLumaParameters(h, 0, l);
         }},
        {"picture defaults", HSL_ERR_MAV_PROCAMP_PARM,
         [](BoardHandle *h) {
             TVProcAmpSettings s{};
             return HSLMAVGetTVProcAmp(h, &s, 0, TV_PROCAMP_DEFAULTS);
         }},
        {"ITU-R 656 on board 0", HSL_ERR_MAV_ITU656_PARM,
         [](BoardHandle *h) {
             ModeInfo m = tvMode(720, 576, 0);
             ITU656Parameters p{};
             return HSLMAVGetCVE2ITU656Parameters(h, &m, &p);
         }},
        {"the gamma end mark's key", HSL_ERR_MAV_GAMMA_PARM,
         [](BoardHandle *h) {
             uint32_t g[14] = {};
             return HSLMAVGetGammaParameters(h, 0xFF, g);
         }},
    };
    for (const auto &c : misses) {
        unknown.h()->ulErrorCode = 0;
        EXPECT_EQ(c.call(unknown.h()), c.code) << c.what;
    }
    // Without an encoder the mode lookups refuse before reading a table.
    TvBoard none(0x14, 0x0525, 2, false);
    EXPECT_EQ(HSLMAVGetTVParameters(none.h(), &vga, 0), HSL_ERR_MAV_TVPARM_NO_ENCODER);
    none.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLMAVGetVScaleTVParameters(none.h(), &vga, 0), HSL_ERR_MAV_VSCALE_NO_ENCODER);
}

TEST(TvTables, ModeTimingsFillTheirWordsOnly) {
    TvBoard b(0x14, 0x0525, 2);
    ModeInfo m = tvMode(800, 600, 1);
    m.lBpp = 16;
    m.ulFBPitch = 832;
    EXPECT_EQ(HSLMAVGetTVParameters(b.h(), &m, 1), 0u);
    EXPECT_EQ(m.lRefreshRate, 60);
    EXPECT_EQ(m.lPixClock, 44625);
    EXPECT_EQ(m.lHBPorch, 97);
    EXPECT_EQ(m.lVBPorch, 90);
    EXPECT_EQ(m.lSignalMode, 16);
    EXPECT_EQ(std::vector<int32_t>(m.alTVAdjust, m.alTVAdjust + 4),
              (std::vector<int32_t>{66, 48, 35, 0}));
    EXPECT_EQ(m.lBpp, 16) << "words before 7 kept";
    EXPECT_EQ(m.ulFBPitch, 832u) << "words after 22 kept";

    // YUV modes: their own table, whatever the encoder version, through
    // lSignalMode only.
    TvBoard older(0x13, 0x0521, 2);
    ModeInfo y = tvMode(720, 486, 1);
    y.lModeType |= 0x800000;
    y.alTVAdjust[0] = 7;
    EXPECT_EQ(HSLMAVGetTVParameters(older.h(), &y, 1), 0u);
    EXPECT_EQ(y.lPixClock, 27000);
    EXPECT_EQ(y.lHFPorch, 146);
    EXPECT_EQ(y.lSignalMode, 17);
    EXPECT_EQ(y.alTVAdjust[0], 7);
}

TEST(TvTables, OldMethodAndColourBarRecords) {
    TvBoard b(0x14, 0x0521, 2);
    ModeInfo m = tvMode(640, 480, 1);
    TVTimingParameters t{};
    EXPECT_EQ(HSLMAVGetTimingParameters(b.h(), 1, &m, &t), 0u);
    EXPECT_EQ(words(t), (std::vector<uint32_t>{11, 63, 147, 123, 28672, 59,  4,   707, 999, 115,
                                               75, 11, 599, 920, 32,    999, 758, 38,  99,  51}));
    // Board 1 differs from board 0 in one word of 800 x 600 at standard 1.
    TvBoard board1(0x14, 0x0525, 2);
    EXPECT_EQ(HSLMAVGetTimingParametersOldMethod(b.h(), 1, 800, 600, &t), 0u);
    EXPECT_EQ(t.aulWord[13], 448u);
    EXPECT_EQ(HSLMAVGetTimingParametersOldMethod(board1.h(), 1, 800, 600, &t), 0u);
    EXPECT_EQ(t.aulWord[13], 256u);

    const struct {
        uint8_t version, standard;
        uint32_t word5, word14;
    } bars[] = {{0x11, 0, 50, 53}, {0x13, 0, 50, 53}, {0x14, 0, 50, 54}, {0x14, 1, 41, 43}};
    for (const auto &c : bars) {
        TvBoard v(c.version, 0x0521, 2);
        EXPECT_EQ(HSLMAVGetColorBarTimingParameters(v.h(), c.standard, &t), 0u);
        EXPECT_EQ(t.aulWord[5], c.word5);
        EXPECT_EQ(t.aulWord[14], c.word14) << std::hex << int(c.version);
        EXPECT_EQ(t.aulWord[12], c.standard ? 524u : 624u);
    }
}

// Every timing record runs the encoder's generator on its mode's frame,
// scales that frame onto the TV's 625 or 525 lines, and has a clock near
// the mode's pixel clock: a check of the tuned rows against their modes.
TEST(TvTables, TimingRecordsMatchTheirModes) {
    for (const MavTimingEntry *e = MavTimingParm; e->aucKey[0] != MAV_TABLE_END; e++) {
        const MavModeEntry *m = MavTVParm;
        while (m->aucKey[0] != MAV_TABLE_END &&
               !(std::memcmp(m->aucKey, e->aucKey, 3) == 0 && m->Mode.ulDispWidth == e->ulWidth &&
                 uint32_t(m->Mode.lDispHeight) == e->ulHeight))
            m++;
        ASSERT_NE(m->aucKey[0], MAV_TABLE_END) << e->ulWidth << "x" << e->ulHeight;
        const ModeInfo &mode = m->Mode;
        const uint32_t *w = e->Timing.aulWord;
        const std::string row = std::to_string(e->aucKey[0]) + "/" + std::to_string(e->aucKey[1]) +
                                "/" + std::to_string(e->aucKey[2]) + " " +
                                std::to_string(e->ulWidth) + "x" + std::to_string(e->ulHeight);
        const uint32_t p = w[2] & 7, mm = w[0], n = w[1];
        const int32_t clock = int32_t((n + 1) * 27000 / ((p + 1) * (mm + 1)));
        EXPECT_LT(std::abs(clock - mode.lPixClock), mode.lPixClock / 50) << row;
        const uint32_t vtotal =
            uint32_t(mode.lDispHeight + mode.lVFPorch + mode.lVSync + mode.lVBPorch);
        const uint32_t htotal =
            mode.ulDispWidth + uint32_t(mode.lHFPorch + mode.lHSync + mode.lHBPorch);
        EXPECT_LE(std::abs(int32_t(w[12]) - int32_t(vtotal - 1)), 1) << row;
        const uint32_t lines = e->aucKey[1] ? 525 : 625;
        const uint32_t scale = std::min(32767u, 32768 * lines / vtotal);
        EXPECT_EQ(w[4], scale) << row;
        EXPECT_LE(std::abs(int32_t(w[8]) - int32_t(htotal)), 6) << row;
        EXPECT_EQ(w[15], w[8]) << row;
        EXPECT_GE(w[8], w[7]) << row << ": line total past the active end";
    }
}

TEST(TvTables, PictureSettingKinds) {
    TvBoard b(0x14, 0x0525, 2);
    TVProcAmpSettings s{};
    EXPECT_EQ(HSLMAVGetTVProcAmp(b.h(), &s, 0, TV_PROCAMP_DEFAULTS), 0u);
    EXPECT_EQ(s.ulSaturation, 114u);
    EXPECT_EQ(s.ulDeflicker, 2u);
    EXPECT_EQ(s.ulGamma, 10u);
    EXPECT_EQ(HSLMAVGetTVProcAmp(b.h(), &s, 1, TV_PROCAMP_PRESET), 0u);
    EXPECT_EQ(s.ulBrightness, 181u);
    EXPECT_EQ(HSLMAVGetTVProcAmp(b.h(), &s, 1, TV_PROCAMP_MAXIMA), 0u);
    EXPECT_EQ(s.ulGamma, 40u);
    EXPECT_EQ(s.ulReserved, 3u);

    // Kind 4 is the board's current record, even where no table entry is.
    TvBoard unknown(0x19, 0x0521, 2);
    unknown.h()->TVState.TVSettings.ulHue = 77;
    EXPECT_EQ(HSLMAVGetTVProcAmp(unknown.h(), &s, 0, TV_PROCAMP_CURRENT), 0u);
    EXPECT_EQ(s.ulHue, 77u);
    s.ulHue = 1;
    EXPECT_EQ(HSLMAVGetTVProcAmp(unknown.h(), &s, 0, 6), HSL_ERR_MAV_PROCAMP_PARM);
    EXPECT_EQ(s.ulHue, 1u) << "left as it was";
}

TEST(TvTables, ItuParametersByStandardAndSize) {
    TvBoard b(0x14, 0x0525, 2);
    b.standard() = 1;
    ModeInfo m = tvMode(720, 484, 1);
    ITU656Parameters p{};
    EXPECT_EQ(HSLMAVGetCVE2ITU656Parameters(b.h(), &m, &p), 0u);
    EXPECT_EQ(std::vector<uint32_t>(p.aulWord, p.aulWord + 8),
              (std::vector<uint32_t>{712, 850, 241, 261, 1440, 24, 126, 21}));
    b.standard() = 0;
    EXPECT_EQ(HSLMAVGetCVE2ITU656Parameters(b.h(), &m, &p), HSL_ERR_MAV_ITU656_PARM);
}

// ------------------------------------------------------------ TV output

// A TV mode as a user sets it up: the DAC and the TV on.
ModeInfo outputMode(const ModeInfo &timings, int standard) {
    ModeInfo m = timings;
    m.lDeskWidth = int32_t(m.ulDispWidth);
    m.lDeskHeight = m.lDispHeight;
    m.lBpp = 8;
    m.lModeType = MODE_TYPE_TV | MODE_TYPE_DAC_ON | MODE_TYPE_SECOND_OUTPUT | MODE_TYPE_DAC;
    m.lZoom = 1;
    m.lSignalMode = (m.lSignalMode & ~0xF0) | standard << 4;
    return m;
}

std::string rowName(const uint8_t *key, uint32_t width, int32_t height) {
    return std::to_string(key[0]) + "/" + std::to_string(key[1]) + "/" + std::to_string(key[2]) +
           " " + std::to_string(width) + "x" + std::to_string(height);
}

// Every TV mode of the tables, set up on the encoder model: the encoder
// runs the standard's frame at its rate, from a clock near the mode's. (The
// 720 x 480 display mode itself runs at 58.9 Hz: its frame is whole Hz
// away from 59.94.)
TEST(TvOutput, EveryTableModeRunsAtItsStandardsRate) {
    for (const MavModeEntry *e = MavTVParm; e->aucKey[0] != MAV_TABLE_END; e++) {
        const int standard = e->aucKey[1];
        const std::string row = rowName(e->aucKey, e->Mode.ulDispWidth, e->Mode.lDispHeight);
        ReadBoard b(e->aucKey[0]);
        if (e->aucKey[2] == 1)
            b.reportChip(0x0525, 2);
        b.h()->TVState.ucTVStandard = uint8_t(standard);
        ModeInfo m =
            outputMode(tvMode(e->Mode.ulDispWidth, e->Mode.lDispHeight, standard), standard);
        ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &m, uint8_t(standard)), 0u) << row;
        EXPECT_EQ(HSLMAVSetTVOutMode(b.h(), &m), 0u) << row;
        const sim::TvEncoder::TvPicture pic = b.enc->tvPicture();
        EXPECT_TRUE(pic.on) << row;
        EXPECT_EQ(pic.standard, standard) << row;
        EXPECT_LE(std::abs(pic.frameHz - (standard ? 60 : 50)), 1) << row;
        EXPECT_LT(std::abs(int32_t(pic.clockKHz) - m.lPixClock), m.lPixClock / 50) << row;
        EXPECT_TRUE(b.failures.empty()) << row << ": " << b.firstFailure();
    }
}

// Every vertical size step likewise: its frame scaled onto the TV's lines
// at the standard's rate.
TEST(TvOutput, EveryVerticalSizeStepRunsAtItsStandardsRate) {
    for (const MavVScaleEntry *e = MavVScaleTVParm; e->aucKey[0] != MAV_TABLE_END; e++) {
        const int standard = (e->Mode.lSignalMode >> 4) & 1;
        const std::string row = rowName(e->aucKey, e->Mode.ulDispWidth, e->Mode.lDispHeight) +
                                " step " + std::to_string(e->Mode.alTVAdjust[3]);
        ReadBoard b(0x14);
        b.reportChip(0x0525, 2);
        b.h()->TVState.ucTVStandard = uint8_t(standard);
        ModeInfo m = outputMode(e->Mode, standard);
        EXPECT_EQ(HSLMAVSetTVOutMode(b.h(), &m), 0u) << row;
        const sim::TvEncoder::TvPicture pic = b.enc->tvPicture();
        EXPECT_EQ(pic.standard, standard) << row;
        EXPECT_EQ(pic.frameHz, standard ? 60 : 50) << row;
        EXPECT_EQ(pic.vScale, e->aulScale[0]) << row;
        EXPECT_EQ(pic.hTotal, e->aulScale[1]) << row;
        const uint32_t vtotal = uint32_t(m.lDispHeight + m.lVFPorch + m.lVSync + m.lVBPorch);
        EXPECT_EQ(pic.vTotal, vtotal) << row;
        EXPECT_TRUE(b.failures.empty()) << row << ": " << b.firstFailure();
    }
}

TEST(TvTables, VerticalStepFromTheScaleTableOrTheOldRecord) {
    ReadBoard b(0x14);
    b.reportChip(0x0525, 2);
    ModeInfo m = outputMode(tvMode(800, 600, 1), 1);
    ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &m, 1), 0u);
    ASSERT_EQ(m.alTVAdjust[3], 0);
    TVTimingParameters old{};
    EXPECT_EQ(HSLMAVGetTimingParameters(b.h(), 1, &m, &old), 0u);
    EXPECT_EQ(old.aulWord[4], 22937u) << "step 0: the size's own record";
    EXPECT_EQ(old.aulWord[13], 256u);

    m.alTVAdjust[3] = 3;
    TVTimingParameters t{};
    EXPECT_EQ(HSLMAVGetTimingParameters(b.h(), 1, &m, &t), 0u);
    EXPECT_EQ(t.aulWord[4], 25373u);
    EXPECT_EQ(t.aulWord[8], 998u);
    EXPECT_EQ(t.aulWord[15], 998u);
    EXPECT_EQ(t.aulWord[14], 1u);
    EXPECT_EQ(t.aulWord[13], 256u);
    EXPECT_EQ(t.aulWord[12], 749u) << "the mode's own frame";
    EXPECT_EQ(t.aulWord[10], 94u);
    EXPECT_EQ(t.aulWord[6], 4u);
    EXPECT_EQ(t.aulWord[11], 92u) << "placed: the back porch + 2";
    // (998 + 2) x 750 x 2700 / 45045 = 44955 kHz from the encoder's search.
    const uint32_t p = t.aulWord[2] & 7;
    const uint32_t clock = (t.aulWord[1] + 1) * 27000 / ((t.aulWord[0] + 1) * (p + 1));
    EXPECT_LT(std::abs(int32_t(clock) - 44955), 44955 / 100);
    EXPECT_EQ(t.aulWord[2] & 0x80, 0x80u);

    // The step's own timings, and its vertical offset.
    m.alTVAdjust[1] = 9;
    EXPECT_EQ(HSLMAVGetVScaleTVParameters(b.h(), &m, 1), 0u);
    EXPECT_EQ(m.lVFPorch, 27);
    EXPECT_EQ(m.lVBPorch, 47);
    EXPECT_EQ(m.alTVAdjust[1], 0);
    EXPECT_EQ(m.alTVAdjust[0], 66) << "the horizontal words kept";
    // No step 3 at standard 0 on board 0.
    ReadBoard board0(0x14);
    ModeInfo p0 = outputMode(tvMode(800, 600, 0), 0);
    p0.alTVAdjust[3] = 3;
    EXPECT_EQ(HSLMAVGetVScaleTVParameters(board0.h(), &p0, 0), HSL_ERR_MAV_VSCALE_PARM);
}

// ------------------------------------------------------------ step changes

struct Step {
    uint32_t type;
    uint32_t code;
    // The words that change: TV words 19-22, HFP, HBP, VFP, VBP.
    int32_t tv[4], hfp, hbp, vfp, vbp;
};

TEST(TvModify, EachChangeTypeOnATvMode) {
    // 800 x 600 at standard 1 on board 1, at vertical size step 3.
    ReadBoard b(0x14);
    b.reportChip(0x0525, 2);
    b.h()->TVState.ucTVStandard = 1;
    ModeInfo base = outputMode(tvMode(800, 600, 1), 1);
    ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &base, 1), 0u);
    base.alTVAdjust[3] = 3;
    ASSERT_EQ(HSLMAVGetVScaleTVParameters(b.h(), &base, 1), 0u);
    base.alTVAdjust[1] = 10;
    const int32_t h = 66, v = 10, hs = 35;
    const Step steps[] = {
        {13, 0, {h + 4, v, hs, 3}, 16, 96, 27, 47},
        {14, 0, {h - 4, v, hs, 3}, 16, 96, 27, 47},
        {15, 0, {h, v - 2, hs, 3}, 16, 96, 27, 47},
        {16, 0, {h, v + 2, hs, 3}, 16, 96, 27, 47},
        {17, 0, {h, v, hs + 1, 3}, 16, 96, 27, 47},
        {19, 0, {h, v, hs - 1, 3}, 16, 96, 27, 47},
        // The size steps take the step's timings and vertical offset from
        // the scale table.
        {18, 0, {h, 0, hs, 4}, 16, 96, 18, 32},
        {20, 0, {h, 0, hs, 2}, 16, 96, 36, 62},
        {24, 0, {h, v, hs, 3}, 24, 88, 27, 47},
        {35, 0, {h, v, hs, 3}, 24, 88, 27, 47},
        {26, 0, {h, v, hs, 3}, 8, 104, 27, 47},
        {33, 0, {h, v, hs, 3}, 8, 104, 27, 47},
        {27, 0, {h, v, hs, 3}, 16, 96, 28, 46},
        {38, 0, {h, v, hs, 3}, 16, 96, 28, 46},
        {29, 0, {h, v, hs, 3}, 16, 96, 26, 48},
        {36, 0, {h, v, hs, 3}, 16, 96, 26, 48},
        {1, HSL_ERR_MAV_MODIFY_NOT_ALLOWED, {h, v, hs, 3}, 16, 96, 27, 47},
        {12, HSL_ERR_MAV_MODIFY_NOT_ALLOWED, {h, v, hs, 3}, 16, 96, 27, 47},
        {21, HSL_ERR_MAV_MODIFY_NOT_ALLOWED, {h, v, hs, 3}, 16, 96, 27, 47},
        {25, HSL_ERR_MAV_MODIFY_NOT_ALLOWED, {h, v, hs, 3}, 16, 96, 27, 47},
        {37, HSL_ERR_MAV_MODIFY_NOT_ALLOWED, {h, v, hs, 3}, 16, 96, 27, 47},
        {0, HSL_ERR_MAV_MODIFY_RANGE, {h, v, hs, 3}, 16, 96, 27, 47},
        {39, HSL_ERR_MAV_MODIFY_RANGE, {h, v, hs, 3}, 16, 96, 27, 47},
    };
    for (const Step &s : steps) {
        ModeInfo m = base;
        b.h()->ulErrorCode = 0;
        EXPECT_EQ(HSLMAVModifyTVParameters(b.h(), &m, s.type, 0xDEAD), s.code) << s.type;
        EXPECT_EQ(std::vector<int32_t>(m.alTVAdjust, m.alTVAdjust + 4),
                  std::vector<int32_t>(s.tv, s.tv + 4))
            << s.type;
        EXPECT_EQ(m.lHFPorch, s.hfp) << s.type;
        EXPECT_EQ(m.lHBPorch, s.hbp) << s.type;
        EXPECT_EQ(m.lVFPorch, s.vfp) << s.type;
        EXPECT_EQ(m.lVBPorch, s.vbp) << s.type;
    }
    EXPECT_TRUE(b.enc->writes.empty()) << "the encoder is not written";
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvModify, StepsPastTheirLimits) {
    ReadBoard b(0x14);
    b.reportChip(0x0525, 2);
    ModeInfo base = outputMode(tvMode(800, 600, 0), 0);
    ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &base, 0), 0u);

    // The last size step: one more is refused but stays in the mode.
    ModeInfo m = base;
    m.alTVAdjust[3] = 5;
    ASSERT_EQ(HSLMAVGetVScaleTVParameters(b.h(), &m, 0), 0u);
    const ModeInfo at5 = m;
    EXPECT_EQ(HSLMAVModifyTVParameters(b.h(), &m, 18, 0), HSL_ERR_MAV_MODIFY_RANGE);
    EXPECT_EQ(m.alTVAdjust[3], 6);
    EXPECT_EQ(m.lVFPorch, at5.lVFPorch);
    b.h()->ulErrorCode = 0;
    m = base;
    m.alTVAdjust[3] = 1;
    EXPECT_EQ(HSLMAVModifyTVParameters(b.h(), &m, 20, 0), HSL_ERR_MAV_MODIFY_RANGE);
    EXPECT_EQ(m.alTVAdjust[3], 0);

    // A porch too short for the step: refused, nothing moved.
    const struct {
        uint32_t type;
        int32_t ModeInfo::*porch;
        int32_t value;
    } shortPorches[] = {{24, &ModeInfo::lHBPorch, 7},
                        {26, &ModeInfo::lHFPorch, 7},
                        {27, &ModeInfo::lVBPorch, 1},
                        {29, &ModeInfo::lVFPorch, 1}};
    for (const auto &c : shortPorches) {
        b.h()->ulErrorCode = 0;
        m = base;
        m.*c.porch = c.value;
        const ModeInfo before = m;
        EXPECT_EQ(HSLMAVModifyTVParameters(b.h(), &m, c.type, 0), HSL_ERR_MAV_MODIFY_RANGE)
            << c.type;
        EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << c.type;
    }

    // A mode without adjustment words takes no steps.
    b.h()->ulErrorCode = 0;
    m = outputMode(tvMode(720, 576, 0), 0);
    ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &m, 0), 0u);
    const ModeInfo before = m;
    EXPECT_EQ(HSLMAVModifyTVParameters(b.h(), &m, 13, 0), HSL_ERR_MAV_MODIFY_NOT_ALLOWED);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
}

} // namespace
