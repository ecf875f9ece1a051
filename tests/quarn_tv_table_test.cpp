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
    TvBoard condor(0x14, 0x0525, 2), toucan(0x14, 0x0525, 1);
    uint32_t luma[4] = {};
    EXPECT_EQ(HSLMAVGetLumaParameters(condor.h(), 1, luma), 0u);
    EXPECT_EQ(luma[0], 242u);
    EXPECT_EQ(luma[1], 786u);
    EncoderParameters p{};
    EXPECT_EQ(HSLMAVGetEncoderParameters(toucan.h(), 1, &p), 0u);
    EXPECT_EQ(p.aulWord[5], 64u);
    EXPECT_EQ(HSLMAVGetEncoderParameters(condor.h(), 1, &p), 0u);
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
    TvBoard condor(0x14, 0x0525, 2);
    EXPECT_EQ(HSLMAVGetTimingParametersOldMethod(b.h(), 1, 800, 600, &t), 0u);
    EXPECT_EQ(t.aulWord[13], 448u);
    EXPECT_EQ(HSLMAVGetTimingParametersOldMethod(condor.h(), 1, 800, 600, &t), 0u);
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

} // namespace
