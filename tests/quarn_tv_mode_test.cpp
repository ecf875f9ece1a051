// The TV encoder on the "mga" board: detection, standard and cable type,
// mode validation, its clock search, the picture's position and scale, the
// vertical-reset phase, the records built from a mode, the output modes'
// refusals and, through the eclipse family's DAC-and-TV route, a TV picture
// on the encoder model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_mav.h"
#include "hsl_mav_tables.h"
#include "models/mga_addons.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

// An eclipse board read by the chip layer, with an encoder of `version` on
// its second bus (none when version is 0).
struct Tv : Board {
    explicit Tv(uint8_t version = 0x14, int device = 0x0521)
        : Board(mgaBoard(device).integer("MEMSIZE", int(4 * kMB))) {
        if (version != 0)
            enc = sim::attachEncoder(mga->i2c(), 0x36, version);
        EXPECT_EQ(HALGetBoardInfo(h()), 0u);
        EXPECT_EQ(HSLECLGetAddOnInfo(h()), 0u);
        h()->ulErrorCode = 0;
    }
    uint8_t reg(int r) const { return enc->regs[size_t(r)]; }
    bool wrote(int r) const {
        for (const auto &w : enc->writes)
            if (w.first == r)
                return true;
        return false;
    }
    std::string firstFailure() const { return failures.empty() ? "" : failures[0]; }
    sim::TvEncoder *enc = nullptr;
};

// A board whose word says it has an encoder where none answers.
struct Silent : Tv {
    Silent() : Tv(0) {
        h()->flFeatures |= 0x80;
        h()->HSLData.ucI2CAddMaven = 0x36;
    }
};

// The 720 x 576 mode of standard 0 (50 Hz) with the DAC and the TV on.
ModeInfo pal720(int bpp = 8) {
    ModeInfo m{};
    m.ulDispWidth = 720;
    m.lDispHeight = 576;
    m.lDeskWidth = 720;
    m.lDeskHeight = 576;
    m.lBpp = bpp;
    m.lModeType = 0x3600000;
    m.lZoom = 1;
    m.lRefreshRate = 50;
    m.lHorizontalRate = 31;
    m.lPixClock = 27706;
    m.lHFPorch = 16;
    m.lHSync = 64;
    m.lHBPorch = 88;
    m.lVFPorch = 16;
    m.lVSync = 4;
    m.lVBPorch = 28;
    m.lSignalMode = 0;
    for (int32_t &w : m.alTVAdjust)
        w = -1;
    return m;
}

// ---------------------------------------------------------------- detection

TEST(TvDetect, SenseBitsGiveTheConnectionAndOnlyOneByteIsWritten) {
    struct Case {
        uint8_t sense, detect, detected;
    } cases[] = {{0x0F, 0, 0}, {0x08, 7, 0}, {0x0E, 1, 1}, {0x0A, 5, 1}, {0xF0, 0x0F, 1}};
    for (const Case &c : cases) {
        Tv b;
        ASSERT_TRUE(b.h()->flFeatures & 0x180) << "the encoder was found";
        b.enc->sense = c.sense;
        uint8_t out[2] = {0xAA, 0xAA};
        EXPECT_EQ(HSLMAVDetectTV(b.h(), &out[0]), 0u);
        EXPECT_EQ(b.h()->TVState.ucTVDetect, c.detect) << int(c.sense);
        EXPECT_EQ(out[0], c.detected) << int(c.sense);
        EXPECT_EQ(out[1], 0xAA) << "the byte after the answer is untouched";
        // The probe's set-up: the horizontal position one line total less 2.
        EXPECT_EQ(b.reg(0xB3), 1);
        EXPECT_EQ(b.reg(0x06), 0xF9);
        EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
    }
}

TEST(TvDetect, ARunningOutputKeepsTheLastAnswerAndNoEncoderMeansNoTv) {
    Tv b;
    b.enc->sense = 0x0E;
    b.h()->TVState.ucTVMode = TV_MODE_TV_OUT;
    b.h()->TVState.ucTVDetect = 7;
    const int transfers = b.enc->transfers;
    uint8_t found = 0xAA;
    EXPECT_EQ(HSLMAVDetectTV(b.h(), &found), 0u);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(b.enc->transfers, transfers) << "the encoder is not probed while in use";

    Tv none(0);
    none.h()->TVState.ucTVDetect = 1;
    found = 0xAA;
    EXPECT_EQ(HSLMAVDetectTV(none.h(), &found), 0u);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(none.h()->TVState.ucTVDetect, 0);
}

TEST(TvDetect, AFailedProbeIsNotATv) {
    Silent b;
    b.h()->TVState.ucTVDetect = 1;
    uint8_t found = 0xAA;
    EXPECT_EQ(HSLMAVDetectTV(b.h(), &found), HSL_ERR_MAV_READ);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(b.h()->TVState.ucTVDetect, 0);
}

// ------------------------------------------------- standard and cable type

TEST(TvCable, EachTypeSetsTheLowBitsAndKeepsTheRest) {
    struct Case {
        uint8_t type, bits;
    } cases[] = {{0, 0}, {1, 5}, {2, 1}, {3, 2}};
    for (const Case &c : cases) {
        Tv b;
        b.enc->regs[0xB0] = 0xAF;
        EXPECT_EQ(HSLMAVSetTVCableType(b.h(), c.type), 0u);
        EXPECT_EQ(b.reg(0xB0), 0xA8 | c.bits) << int(c.type);
        EXPECT_EQ(b.h()->TVState.ucTVCableType, c.type);
    }
}

TEST(TvCable, BadArgumentsAndMissingEncodersChangeNothing) {
    Tv b;
    b.enc->regs[0xB0] = 0xAF;
    b.h()->TVState.ucTVCableType = 2;
    b.h()->TVState.ucTVStandard = 1;
    EXPECT_EQ(HSLMAVSetTVCableType(b.h(), 4), HSL_ERR_MAV_CABLE);
    b.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLMAVSetTVStandard(b.h(), 2), HSL_ERR_MAV_STANDARD);
    b.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLMAVSetTVStandard(b.h(), 0), 0u);
    EXPECT_EQ(b.reg(0xB0), 0xAF);
    EXPECT_EQ(b.h()->TVState.ucTVCableType, 2);
    EXPECT_EQ(b.h()->TVState.ucTVStandard, 0);
    EXPECT_TRUE(b.enc->writes.empty());

    Silent s;
    EXPECT_EQ(HSLMAVSetTVCableType(s.h(), 1), HSL_ERR_MAV_READ);
    EXPECT_EQ(s.h()->TVState.ucTVCableType, 0) << "kept when the encoder is silent";
}

TEST(TvRefusals, WithoutAnEncoderEachOperationSaysSoAndSendsNothing) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
        uint32_t code;
    } cases[] = {
        {"ValidateMode",
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             return HSLMAVValidateMode(h, &m);
         },
         0xB0701060u},
        {"SetTVStandard", [](BoardHandle *h) { return HSLMAVSetTVStandard(h, 0); }, 0xB0706060u},
        {"SetTVCableType", [](BoardHandle *h) { return HSLMAVSetTVCableType(h, 0); }, 0xB0707060u},
        {"SetTVOutMode",
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             return HSLMAVSetTVOutMode(h, &m);
         },
         0xB0709060u},
        {"SetTVOutModeCRTC2",
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             return HSLMAVSetTVOutModeCRTC2(h, &m);
         },
         0xB0709060u},
        {"SetTVColorBarMode", [](BoardHandle *h) { return HSLMAVSetTVColorBarMode(h); },
         0xB070A060u},
        {"SetTVPassThroughMode", [](BoardHandle *h) { return HSLMAVSetTVPassThroughMode(h, 1); },
         0xB070B060u},
        {"SetTVYUVMode", [](BoardHandle *h) { return HSLMAVSetTVYUVMode(h, nullptr); },
         0xB0718060u},
        {"SetTVYUVModeToucanRev0",
         [](BoardHandle *h) { return HSLMAVSetTVYUVModeToucanRev0(h, nullptr); }, 0xB0718060u},
        {"SetTVDisableMode", [](BoardHandle *h) { return HSLMAVSetTVDisableMode(h); }, 0xB070D060u},
        {"SetGPIO", [](BoardHandle *h) { return HSLMAVSetGPIO(h, 1); }, 0xB071A060u},
        {"GetGPIOOutputState",
         [](BoardHandle *h) {
             uint8_t s = 0;
             return HSLMAVGetGPIOOutputState(h, &s);
         },
         0xB071D060u},
        {"PIXPLLSET",
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             return HSLMAVPIXPLLSET(h, &m);
         },
         0xB071B060u},
    };
    for (const Case &c : cases) {
        Tv b;
        b.h()->flFeatures &= ~0x180u;
        const int transfers = b.enc->transfers;
        EXPECT_EQ(c.call(b.h()), c.code) << c.what;
        EXPECT_EQ(b.enc->transfers, transfers) << c.what;
        EXPECT_EQ(b.h()->TVState.ucTVMode, 0) << c.what;
    }
}

TEST(TvRefusals, AModeOfTheOtherStandardProgramsNothing) {
    Tv b;
    ModeInfo m = pal720();
    m.lSignalMode = 0x10;
    EXPECT_EQ(HSLMAVSetTVOutMode(b.h(), &m), HSL_ERR_MAV_TVOUT_STANDARD);
    EXPECT_TRUE(b.enc->writes.empty());
    EXPECT_EQ(b.h()->TVState.ucTVMode, 0);
}

// --------------------------------------------------------------- validation

TEST(TvValidate, SizesDesktopsZoomsStandardsAndRates) {
    struct Case {
        uint32_t w;
        int32_t h, deskW, deskH, zoom, signal, refresh;
        uint32_t mode, video;
    } cases[] = {
        {720, 576, 720, 576, 1, 0x00, 50, 0, 0},
        {720, 576, 800, 600, 1, 0x00, 50, 0xB0701113u, 0},
        {720, 576, 720, 600, 1, 0x00, 50, 0xB0701113u, 0},
        {1152, 864, 1152, 864, 1, 0x00, 50, 0xB0701112u, 0},
        {720, 400, 720, 400, 1, 0x00, 50, 0xB0701112u, 0},
        {640, 480, 640, 480, 2, 0x10, 60, 0xB07010F0u, 0},
        {1024, 768, 640, 480, 1, 0x10, 50, 0, 0xB0703111u},
        {800, 600, 800, 600, 1, 0x20, 60, 0, 0xB0703114u},
        {640, 400, 640, 400, 1, 0x00, 60, 0, 0xB0703111u},
    };
    for (const Case &c : cases) {
        Tv b;
        ModeInfo m = pal720();
        m.ulDispWidth = c.w;
        m.lDispHeight = c.h;
        m.lDeskWidth = c.deskW;
        m.lDeskHeight = c.deskH;
        m.lZoom = c.zoom;
        m.lSignalMode = c.signal;
        m.lRefreshRate = c.refresh;
        EXPECT_EQ(HSLMAVValidateMode(b.h(), &m), c.mode) << c.w << "x" << c.h;
        b.h()->ulErrorCode = 0;
        EXPECT_EQ(HSLMAVValidateVideoParameters(b.h(), &m), c.video) << c.w << "x" << c.h;
    }
}

// ------------------------------------------------------------ clock search

TEST(TvClock, SearchFindsTheFirstBestAndEndsForAnyFrequency) {
    struct Case {
        uint32_t khz, m, n, p, s;
    } cases[] = {
        {27000, 1, 7, 3, 1},      // exact, and the first of several exact answers
        {13500, 1, 3, 3, 0},      // exact at a VCO below 100 MHz
        {54000, 1, 15, 3, 3},     // exact, VCO 216 MHz
        {60000, 8, 79, 3, 3},     // the first exact ratio needs M = 8
        {60000000, 1, 126, 1, 3}, // past 55 GHz only P = 1 is searched: its top
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        uint32_t m = 99, n = 99, p = 99, s = 99;
        EXPECT_EQ(HSLMAVComputePLLParam(&h, c.khz, &m, &n, &p, &s), 0u);
        EXPECT_EQ(m, c.m) << c.khz;
        EXPECT_EQ(n, c.n) << c.khz;
        EXPECT_EQ(p, c.p) << c.khz;
        EXPECT_EQ(s, c.s) << c.khz;
    }
    // Frequencies for which no post divider is searched: the search ends and
    // the caller's values stay.
    for (uint32_t khz : {110000001u, 220000001u, 0xFFFFFFFFu}) {
        BoardHandle h{};
        uint32_t m = 99, n = 98, p = 97, s = 96;
        EXPECT_EQ(HSLMAVComputePLLParam(&h, khz, &m, &n, &p, &s), 0u);
        EXPECT_EQ(m, 99u) << khz;
        EXPECT_EQ(n, 98u) << khz;
        EXPECT_EQ(p, 97u) << khz;
        EXPECT_EQ(s, 96u) << khz;
    }
}

TEST(TvClock, TheClockRegistersTakeTheSearchResult) {
    Tv b;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLMAVComputePLLParam(b.h(), 27000, &m, &n, &p, &s);
    TVTimingParameters t{};
    t.aulWord[0] = m;
    t.aulWord[1] = n;
    t.aulWord[2] = 0x80 | s << 3 | p;
    EXPECT_EQ(HSLMAVSetPLL(b.h(), &t), 0u);
    EXPECT_EQ(b.reg(0x80), 1);
    EXPECT_EQ(b.reg(0x81), 7);
    EXPECT_EQ(b.reg(0x82), 0x8B);
    EXPECT_EQ(b.enc->clockKHz(), 27000u);
}

// ----------------------------------------------------------------- position

// The record of the 720 x 576 entry the position is worked out on.
TVTimingParameters pal720Record() {
    TVTimingParameters t{};
    const uint32_t w[20] = {7,  32, 139, 127, 32767, 4,   4,   734, 889, 33,
                            32, 11, 624, 0,   2043,  889, 712, 0,   159, 33};
    std::memcpy(t.aulWord, w, sizeof w);
    return t;
}

TEST(TvPosition, SizeStepsAtTheScaleLimit) {
    struct Case {
        int32_t step;
        uint32_t code, scale, activeEnd;
    } cases[] = {
        {64, 0, 128, 720},                  // 128 x 720 = 92160 < 92288: the end is cut to fit
        {65, HSL_ERR_MAV_POSITION, 129, 0}, // beyond the scale's range
        {0, 0, 64, 732},
        {-1, HSL_ERR_MAV_POSITION, 63, 0},
        {-64, HSL_ERR_MAV_POSITION, 0, 0}, // a zero scale divides nothing
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulChipID = 0x0521102B;
        ModeInfo m = pal720();
        m.alTVAdjust[0] = 0;
        m.alTVAdjust[1] = 0;
        m.alTVAdjust[2] = c.step;
        m.alTVAdjust[3] = 0;
        TVTimingParameters t = pal720Record();
        EXPECT_EQ(HSLMAVCalculateTVPosition(&h, &m, &t), 0u);
        EXPECT_EQ(t.aulWord[3], c.scale) << c.step;
        EXPECT_EQ(HSLMAVValidateTVPosition(&h, &m, &t), c.code) << c.step;
        if (c.code == 0) {
            EXPECT_EQ(t.aulWord[7], c.activeEnd) << c.step;
            EXPECT_EQ(t.aulWord[5], 5u);    // reference + offset + 1
            EXPECT_EQ(t.aulWord[16], 701u); // 720 - 2 + 16 - 32, one less on this chip
            EXPECT_EQ(t.aulWord[9], 33u);   // back porch + sync + 1
            EXPECT_EQ(t.aulWord[11], 30u);
            EXPECT_EQ(t.aulWord[18], 159u);
        }
    }
}

TEST(TvPosition, OffsetsPastTheEdgesAreRefusedNotWrapped) {
    struct Case {
        int32_t h, v;
        uint32_t code;
    } cases[] = {
        {0, 0, 0},
        {-800, 0, HSL_ERR_MAV_POSITION},    // the border would run below zero
        {0, -700, HSL_ERR_MAV_POSITION},    // so would the vertical border
        {200, 0, HSL_ERR_MAV_POSITION},     // the vertical reset past the line
        {0, 0x10000, HSL_ERR_MAV_POSITION}, // the offset past its register
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        ModeInfo m = pal720();
        m.alTVAdjust[0] = c.h;
        m.alTVAdjust[1] = c.v;
        m.alTVAdjust[2] = 0;
        m.alTVAdjust[3] = 0;
        TVTimingParameters t = pal720Record();
        HSLMAVCalculateTVPosition(&h, &m, &t);
        EXPECT_EQ(HSLMAVValidateTVPosition(&h, &m, &t), c.code) << c.h << "," << c.v;
    }
}

TEST(TvPosition, WideModesAndTheVersionBorderTerms) {
    struct Case {
        uint32_t w;
        int32_t h;
        uint8_t version;
        uint32_t border, vborder, vrst, activeEnd;
    } cases[] = {
        // (768 - 640 x 64 / 128) / 2 = 224, + 1 on version 0x13.
        // ((480 x 32767 / 32768) - 256) / 2 = 111.
        {640, 480, 0x14, 224, 111, 622, 652},
        {640, 480, 0x13, 225, 111, 622, 652},
        // 800 wide: - 2 and + 2, +8 and +20.
        {800, 600, 0x14, 182, 173, 792, 820},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.HSLData.ucMavenVersion = c.version;
        ModeInfo m = pal720();
        m.ulDispWidth = c.w;
        m.lDispHeight = c.h;
        for (int32_t &a : m.alTVAdjust)
            a = 0;
        TVTimingParameters t = pal720Record();
        HSLMAVCalculateTVPosition(&h, &m, &t);
        EXPECT_EQ(t.aulWord[19], c.border) << c.w << " " << int(c.version);
        EXPECT_EQ(t.aulWord[18], c.vborder) << c.w;
        EXPECT_EQ(t.aulWord[16], c.vrst) << c.w;
        EXPECT_EQ(t.aulWord[7], c.activeEnd) << c.w;
    }
}

// ------------------------------------------------------- vertical reset

TEST(TvVrst, ThePhaseIsMovedToTheDepthsTarget) {
    struct Case {
        uint32_t r;
        uint8_t a, b;
        int bpp;
        int32_t type;
        uint32_t after;
    } cases[] = {
        {0x100, 4, 3, 8, 0x1200000, 0x100},  // phase 0, target 0
        {0x101, 3, 4, 16, 0x1200000, 0x102}, // phase 1 (from the reference), target 2
        {0x103, 0, 0, 8, 0x1200000, 0x104},  // phase 3 down to 0: four on
        {0x103, 0, 0, 32, 0x1200000, 0x103}, // already 3
        {0x102, 0, 0, 16, 0x1280000, 0x105}, // second controller: 1, four on from 2
        {0x103, 0, 0, 8, 0x3200000, 0x103},  // a 640-wide TV mode keeps its phase
    };
    for (const Case &c : cases) {
        Tv b;
        b.enc->regs[0xAA] = uint8_t(c.r);
        b.enc->regs[0xAB] = uint8_t(c.r >> 8);
        b.enc->regs[0x9A] = c.a;
        b.enc->regs[0x9C] = c.b;
        ModeInfo m = pal720(c.bpp);
        m.ulDispWidth = 640;
        m.lModeType = c.type;
        EXPECT_EQ(HSLMAVApplyVrstPatch(b.h(), &m), 0u);
        EXPECT_EQ(b.enc->reg16(0xAA), c.after) << std::hex << c.r << " " << std::dec << c.bpp;
    }
}

// ------------------------------------------------- records built from modes

TEST(TvFromMode, APanelClockedByTheEncoder) {
    Tv b;
    ModeInfo m = pal720(16);
    m.lModeType = 0x10480000;
    m.lPixClock = 27000;
    EXPECT_EQ(HSLMAVPIXPLLSET(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->TVState.ucTVMode, TV_MODE_PIXEL_CLOCK);
    EXPECT_EQ(b.reg(0x82) & 0x80, 0x80);
    EXPECT_EQ(b.enc->reg16(0x9A), 64u);  // sync
    EXPECT_EQ(b.enc->reg16(0x9C), 148u); // sync + back porch - 4
    EXPECT_EQ(b.enc->reg16(0x9E), 872u); // + width
    EXPECT_EQ(b.enc->reg16(0xA0), 889u); // total + 1
    EXPECT_EQ(b.enc->reg16(0xA2), 14u);
    EXPECT_EQ(b.enc->reg16(0xA4), 32u);
    EXPECT_EQ(b.enc->reg16(0xA6), 608u);
    EXPECT_EQ(b.enc->reg16(0xA8), 623u);
    EXPECT_EQ(b.enc->reg16(0x96), 888u);
    // 888 - 34, + 10 at 16 bits, - 1 on this chip.
    EXPECT_EQ(b.enc->reg16(0xAA) & ~3u, (888u - 34 + 10 - 1) & ~3u);
    EXPECT_EQ(b.enc->reg16(0xAC), 622u);
    EXPECT_EQ(b.reg(0xBE), 46);
    EXPECT_EQ(b.reg(0x8C), 0x20);
    EXPECT_EQ(b.reg(0x94) & 0xF0, 0xA0);
    EXPECT_EQ(b.reg(0xB3), 1);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvFromMode, ASecondCrtRoundsItsHorizontalTimings) {
    Tv b;
    ModeInfo m = pal720(8);
    m.lHFPorch = 18;
    m.lHSync = 67;
    m.lHBPorch = 93;
    EXPECT_EQ(HSLMAVSetCRTOutMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->TVState.ucTVMode, TV_MODE_CRT);
    EXPECT_EQ(b.enc->reg16(0x9A), 64u);
    EXPECT_EQ(b.enc->reg16(0x9C), 64u + 88 - 4);
    EXPECT_EQ(b.enc->reg16(0xA0), 720u + 16 + 64 + 88 + 1);
    EXPECT_EQ(b.enc->reg16(0xA2), 3u) << "the sync less one";
    EXPECT_EQ(b.reg(0xB0), 3);
    EXPECT_EQ(b.reg(0xB9) & 0x06, 0x02);
    EXPECT_EQ(b.reg(0xBF) & 0x22, 0x22);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// ---------------------------------------------------- small register steps

TEST(TvRegisters, GpioResetAndDisable) {
    Tv b;
    b.enc->regs[0x8C] = 0xFF;
    EXPECT_EQ(HSLMAVSetGPIO(b.h(), 1), 0u);
    EXPECT_EQ(b.reg(0x8C), 0xBF);
    EXPECT_EQ(b.reg(0xB9) & 0x30, 0x30);
    uint8_t state = 0;
    EXPECT_EQ(HSLMAVGetGPIOOutputState(b.h(), &state), 0u);
    EXPECT_EQ(state, 0x20);
    EXPECT_EQ(HSLMAVReset(b.h()), 0u);
    EXPECT_EQ(b.reg(0x8E), 0xFF);
    EXPECT_EQ(b.reg(0x8F), 0x1E);
    EXPECT_EQ(b.reg(0xB9) & 0x30, 0x30) << "the reset keeps the line's state";
    EXPECT_EQ(HSLMAVSetGPIO(b.h(), 0), 0u);
    EXPECT_EQ(b.reg(0xB9) & 0x30, 0x10);

    // Disable: register 82's bit 7 written only when clear; then a fresh probe.
    for (uint8_t clock : {0x8B, 0x0B}) {
        Tv d;
        d.enc->regs[0x82] = clock;
        d.enc->sense = 0x0E;
        d.h()->TVState.ucTVMode = TV_MODE_TV_OUT;
        EXPECT_EQ(HSLMAVSetTVDisableMode(d.h()), 0u);
        EXPECT_EQ(d.wrote(0x82), clock == 0x0B) << int(clock);
        EXPECT_EQ(d.reg(0x82), 0x8B);
        EXPECT_EQ(d.reg(0x8C), 0);
        EXPECT_EQ(d.h()->TVState.ucTVMode, 0);
        EXPECT_EQ(d.h()->TVState.ucTVDetect, 1) << "probed again once off";
        EXPECT_TRUE(d.failures.empty()) << d.firstFailure();
    }
}

TEST(TvRegisters, TheEncoderSetLandsAtItsWidths) {
    Tv b;
    EncoderParameters e{};
    const uint32_t w[19] = {0x2A098ACB, 0,  38,  126, 156, 64,  26,  1408, 625, 48,
                            33,         16, 255, 255, 829, 138, 138, 0,    73};
    std::memcpy(e.aulWord, w, sizeof w);
    EXPECT_EQ(HSLMAVInitEncoder(b.h(), &e), 0u);
    EXPECT_EQ(b.reg(0x00), 0x2A);
    EXPECT_EQ(b.reg(0x03), 0xCB);
    EXPECT_EQ(b.reg(0x31), 1408 >> 3);
    EXPECT_EQ(b.reg(0x32), 0);
    EXPECT_EQ(b.reg(0x17), 625 >> 2);
    EXPECT_EQ(b.reg(0x18), 1);
    EXPECT_EQ(b.reg(0x1E), 829 >> 2);
    EXPECT_EQ(b.reg(0x1F), 1);
    EXPECT_EQ(b.reg(0x34), 73);
    EXPECT_EQ(b.enc->tvPicture().standard, 0);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// ------------------------------------------------------------ whole routes

TEST(TvRoute, TheEclipseDacAndTvRouteShowsA625LinePicture) {
    Tv b;
    b.enc->sense = 0x0E;
    ModeInfo m = pal720(8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->TVState.ucTVMode, TV_MODE_TV_OUT);
    EXPECT_EQ(b.h()->TVState.ucTVDetect, 1) << "probed while the encoder was off";
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 720);
    EXPECT_EQ(p.height, 576);
    EXPECT_EQ(p.clockKHz, 0u) << "the controller's pixel clock comes from the encoder";
    const sim::TvEncoder::TvPicture tv = b.enc->tvPicture();
    // The controller's 888 x 624 frame at the encoder's clock: 50 frames too.
    EXPECT_EQ((uint64_t(tv.clockKHz) * 1000 + 888 * 624 / 2) / (888 * 624), 50u);
    EXPECT_TRUE(tv.on);
    EXPECT_EQ(tv.input, 0xB) << "the display controller's pixels";
    EXPECT_EQ(tv.standard, 0);
    EXPECT_EQ(tv.clockKHz, 27843u); // 33 x 27000 / (8 x 4)
    EXPECT_EQ(tv.frameHz, 50);
    EXPECT_EQ(tv.hTotal, 889u) << "the controller's 888 and one";
    EXPECT_EQ(tv.vTotal, 625u);
    EXPECT_EQ(tv.activeWidth, 730u);
    EXPECT_EQ(tv.hScale, 127u) << "not adjusted: the table's scale";
    EXPECT_EQ(b.reg(0xB0) & 0x07, 0) << "cable type 0";
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();

    // Off again: the encoder's output held, the probe run anew.
    b.enc->sense = 0x0F;
    EXPECT_EQ(HSLMAVSetTVDisableMode(b.h()), 0u);
    EXPECT_EQ(b.h()->TVState.ucTVMode, 0);
    EXPECT_EQ(b.h()->TVState.ucTVDetect, 0);
    EXPECT_EQ(b.reg(0x82) & 0x80, 0x80);
    EXPECT_EQ(b.reg(0x94) & 0xF0, 0xA0);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvRoute, TheModesTvWordsPlaceThePicture) {
    Tv b;
    ModeInfo m = pal720(8);
    m.ulDispWidth = 640;
    m.lDispHeight = 480;
    m.lDeskWidth = 640;
    m.lDeskHeight = 480;
    ASSERT_EQ(HSLMAVGetTVParameters(b.h(), &m, 0), 0u);
    ASSERT_EQ(m.alTVAdjust[2], 59) << "the table's size step";
    TVTimingParameters t{};
    ASSERT_EQ(HSLMAVGetTimingParameters(b.h(), 0, &m, &t), 0u);
    ASSERT_EQ(HSLMAVSetTVOutMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    const sim::TvEncoder::TvPicture tv = b.enc->tvPicture();
    EXPECT_EQ(tv.hScale, 59u + 64);
    EXPECT_EQ(tv.hPosition, t.aulWord[6] + 44 + 1);
    EXPECT_EQ(tv.vPosition, uint32_t(m.lVBPorch + m.lVSync + 53 + 1));
    EXPECT_EQ(b.enc->reg16(0xAC), 53u);
    EXPECT_EQ(tv.standard, 0);
    EXPECT_EQ(tv.frameHz, 50);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();

    // A size step past the scale's range: refused, the running picture kept.
    m.alTVAdjust[2] = 65;
    b.enc->writes.clear();
    EXPECT_EQ(HSLMAVAdjustTVPosition(b.h(), &m), HSL_ERR_MAV_POSITION);
    EXPECT_TRUE(b.enc->writes.empty());
    EXPECT_EQ(b.enc->tvPicture().hScale, 123u);
    EXPECT_EQ(m.alTVAdjust[2], 65) << "the mode's words stay";
}

TEST(TvRoute, ColourBarsFollowAStandardChangeAtOnce) {
    Tv b;
    EXPECT_EQ(HSLMAVSetTVColorBarMode(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->TVState.ucTVMode, TV_MODE_COLOR_BARS);
    sim::TvEncoder::TvPicture tv = b.enc->tvPicture();
    EXPECT_EQ(tv.input, 0x8);
    EXPECT_EQ(tv.standard, 0);
    EXPECT_EQ(tv.frameHz, 50);
    EXPECT_EQ(HSLMAVSetTVStandard(b.h(), 1), 0u) << std::hex << b.h()->ulErrorCode;
    tv = b.enc->tvPicture();
    EXPECT_EQ(tv.standard, 1);
    EXPECT_EQ(tv.frameHz, 60);
    EXPECT_EQ(tv.hTotal, 856u);
    EXPECT_EQ(b.h()->TVState.ucTVMode, TV_MODE_COLOR_BARS);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvRoute, ASilentEncoderStopsTheSetUpAndLeavesTheModeOff) {
    Silent b;
    ModeInfo m = pal720(8);
    EXPECT_EQ(HSLMAVSetTVOutMode(b.h(), &m), HSL_ERR_MAV_WRITE);
    EXPECT_EQ(b.h()->TVState.ucTVMode, 0);
}

TEST(TvModel, EnablingTheOutputOnAClockItCannotMakeIsAFailure) {
    Tv b;
    const uint8_t clock[3] = {0, 7, 0x8B}; // M 0
    HSLMAVI2CWrite(b.h(), 0x80, clock, 3);
    const uint8_t input = 0xB1;
    HSLMAVI2CWrite(b.h(), 0x94, &input, 1);
    EXPECT_TRUE(b.failures.empty());
    EXPECT_EQ(HSLMAVEnableEncoder(b.h(), 1), 0u);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("clock"), std::string::npos) << b.failures[0];
    b.failures.clear();
    const uint8_t sense = 0;
    HSLMAVI2CWrite(b.h(), 0xB8, &sense, 1);
    EXPECT_EQ(b.failures.size(), 1u) << "the sense register is read-only";
}

// The routes each output mode asks of the family, recorded: the eclipse
// family takes only routes 0 to 2, the other families' are not built here.
std::vector<uint32_t> gRoutes;
uint32_t recordRoute(BoardHandle *pBoard, uint32_t route) {
    gRoutes.push_back(route);
    return pBoard->ulErrorCode;
}

bool wroteValue(const sim::TvEncoder *enc, int r, uint8_t mask, uint8_t value) {
    for (const auto &w : enc->writes)
        if (w.first == r && (w.second & mask) == value)
            return true;
    return false;
}

TEST(TvOutputs, EachModeItsRoutesInputAndState) {
    struct Case {
        const char *what;
        uint8_t standard;
        std::function<uint32_t(BoardHandle *)> call;
        uint8_t mode;
        std::vector<uint32_t> routes;
        uint8_t input; // register 94 bits 4-7
        std::function<void(const sim::TvEncoder *, const char *)> check;
    } cases[] = {
        {"TV from the second controller",
         0,
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             return HSLMAVSetTVOutModeCRTC2(h, &m);
         },
         TV_MODE_TV_OUT,
         {3, 3},
         0xB,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_EQ(e->tvPicture().standard, 0) << w;
             EXPECT_EQ(e->tvPicture().frameHz, 50) << w;
         }},
        {"pass-through",
         0,
         [](BoardHandle *h) { return HSLMAVSetTVPassThroughMode(h, 0); },
         TV_MODE_PASS_THROUGH,
         {1, 1},
         0x8,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_EQ(e->regs[0x82], 0x20) << w;
             EXPECT_EQ(e->regs[0x33], 0x15) << w;
             EXPECT_FALSE(wroteValue(e, 0xD3, 0xFF, 0)) << w;
             EXPECT_EQ(e->regs[0xD4], 0) << w;
             EXPECT_TRUE(wroteValue(e, 0xD4, 0xFF, 1)) << w << ": the interface reset";
         }},
        {"pass-through master",
         0,
         [](BoardHandle *h) { return HSLMAVSetTVPassThroughMode(h, 1); },
         TV_MODE_PASS_THROUGH_MASTER,
         {1, 1},
         0xC,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_EQ(e->regs[0x82], e->regs[0x94]) << w;
             EXPECT_TRUE(wroteValue(e, 0xD3, 0xFF, 0)) << w;
         }},
        {"YUV",
         1,
         [](BoardHandle *h) { return HSLMAVSetTVYUVMode(h, nullptr); },
         TV_MODE_YUV,
         {4, 4},
         0xA,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_EQ(e->regs[0x82], 0x20) << w;
             EXPECT_EQ(e->regs[0xD3] & 0x03, 0x01) << w;
             EXPECT_EQ(e->regs[0x8C] >> 4, 0x1) << w;
             EXPECT_EQ(e->tvPicture().standard, 1) << w;
         }},
        {"YUV on the first toucan, standard 1",
         1,
         [](BoardHandle *h) { return HSLMAVSetTVYUVModeToucanRev0(h, nullptr); },
         TV_MODE_YUV,
         {4, 4},
         0xB,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_EQ(e->reg16(0xA0), 0x06B2u) << w;
             EXPECT_EQ(e->reg16(0x96), 0x06B2u) << w;
             EXPECT_TRUE(wroteValue(e, 0xD4, 0x02, 0x02)) << w;
             EXPECT_TRUE(wroteValue(e, 0x95, 0xFF, 0x20)) << w << ": synchronised";
             EXPECT_FALSE(wroteValue(e, 0xD3, 0, 0)) << w;
         }},
        {"YUV on the first toucan, standard 0",
         0,
         [](BoardHandle *h) { return HSLMAVSetTVYUVModeToucanRev0(h, nullptr); },
         TV_MODE_YUV,
         {4, 4},
         0xB,
         [](const sim::TvEncoder *e, const char *w) {
             EXPECT_FALSE(wroteValue(e, 0xD4, 0x02, 0x02)) << w;
             EXPECT_FALSE(wroteValue(e, 0x95, 0, 0)) << w;
         }},
        {"second CRT on the second controller",
         0,
         [](BoardHandle *h) {
             ModeInfo m = pal720();
             m.lModeType = 0x80000;
             return HSLMAVSetCRTOutMode(h, &m);
         },
         TV_MODE_CRT,
         {3, 3},
         0xB,
         [](const sim::TvEncoder *e, const char *w) { EXPECT_EQ(e->regs[0xB0], 3) << w; }},
    };
    for (const Case &c : cases) {
        Tv b;
        HSLJumpSlot *s = b.h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_CONTROL_MAFC_PORT] = reinterpret_cast<HSLJumpSlot>(recordRoute);
        s[HSL_SLOT_ROUTE_PIXEL_CLOCK] = reinterpret_cast<HSLJumpSlot>(recordRoute);
        b.h()->TVState.ucTVStandard = c.standard;
        b.h()->TVState.ucTVCableType = 1;
        gRoutes.clear();
        ASSERT_EQ(c.call(b.h()), 0u) << c.what << " " << std::hex << b.h()->ulErrorCode;
        EXPECT_EQ(b.h()->TVState.ucTVMode, c.mode) << c.what;
        EXPECT_EQ(gRoutes, c.routes) << c.what;
        EXPECT_EQ(b.reg(0x94) >> 4, c.input) << c.what;
        EXPECT_EQ(b.reg(0xB3), 1) << c.what << ": pixels let in";
        if (c.mode != TV_MODE_CRT) {
            EXPECT_EQ(b.reg(0x3E), 0) << c.what << ": the output on";
            EXPECT_EQ(b.reg(0xB0) & 0x07, 5) << c.what << ": the cable type again";
        }
        c.check(b.enc, c.what);
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

} // namespace
