// The TV picture controls: the black and white levels from brightness and
// contrast, the filters and black-and-white output, the flicker filter, the
// gamma curve, the order the groups go out in and what the settings record
// keeps when the encoder is missing, silent or a table has no entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quarn_tv_fixture.h"

namespace {

using namespace quarntv;

TVProcAmpSettings settings(uint32_t options, uint32_t deflicker, uint32_t saturation,
                           uint32_t brightness, uint32_t contrast, uint32_t hue, uint32_t gamma) {
    return {options, deflicker, saturation, brightness, contrast, hue, gamma, 0};
}

TEST(TvLevels, BlackAndWhiteFromBrightnessAndContrast) {
    struct Case {
        const char *what;
        uint8_t standard;
        uint32_t device, brightness, contrast, black, white;
    } cases[] = {
        // centre 396, swing 162: black 234 raised to L0.
        {"defaults of standard 0", 0, 0x0521, 87, 121, 255, 558},
        // centre 671, swing 272: white 943 limited to L1.
        {"both at their maxima", 0, 0x0521, 255, 255, 399, 799},
        // centre 255, swing 272: black 255 - 272 is below L0, not a huge
        // unsigned number that passes the limit.
        {"swing wider than the centre", 0, 0x0521, 0, 255, 255, 527},
        // L = 240, 802, 64, 64: centre 410, swing 149.
        {"defaults of standard 1", 1, 0x0521, 100, 100, 261, 559},
        // Board 1's own white limit, 786.
        {"board 1 at the maxima", 0, 0x0525, 255, 255, 393, 786},
        // Far outside the range: both levels stay between the limits.
        {"settings past the maxima", 0, 0x0521, 4000, 0, 799, 799},
    };
    for (const Case &c : cases) {
        TvBoard b(0x14, c.device, 2);
        b.standard() = c.standard;
        TVProcAmpSettings s = settings(0, 2, 103, c.brightness, c.contrast, 0, 10);
        EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_BRIGHTNESS), 0u) << c.what;
        EXPECT_EQ(b.level(0x0E), c.black) << c.what;
        EXPECT_EQ(b.level(0x1E), c.white) << c.what;
        EXPECT_EQ(b.enc->writtenRegs(), (std::vector<int>{0x0E, 0x1E})) << c.what;
        EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
    }
}

TEST(TvPictureControls, FiltersAndBlackAndWhite) {
    TvBoard b;
    b.enc->regs[0x8D] = 0x41;
    b.enc->regs[0x20] = b.enc->regs[0x22] = 0x77;
    TVProcAmpSettings s =
        settings(TV_OPTION_TEXT_FILTER | TV_OPTION_DOT_CRAWL_FREEZE | TV_OPTION_BLACK_WHITE, 2, 200,
                 87, 121, 0, 10);
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_FILTERS), 0u);
    EXPECT_EQ(b.enc->regs[0x8D], 0x49) << "text filter bit 3, the other bits kept";
    EXPECT_EQ(b.enc->regs[0x20], 0);
    EXPECT_EQ(b.enc->regs[0x22], 0) << "black and white whatever the saturation";
    EXPECT_EQ(b.enc->writtenRegs(), (std::vector<int>{0x8D, 0x20, 0x22}))
        << "no subcarrier write at standard 0";

    // Saturation alone leaves black-and-white output alone.
    b.enc->log.clear();
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_SATURATION), 0u);
    EXPECT_TRUE(b.enc->log.empty());

    // Colour again, at standard 1 with the dot crawl frozen, then thawed.
    b.standard() = 1;
    s.flTVOptions = TV_OPTION_DOT_CRAWL_FREEZE;
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_FILTERS), 0u);
    EXPECT_EQ(b.enc->regs[0x8D], 0x41);
    EXPECT_EQ(std::vector<uint8_t>(&b.enc->regs[0], &b.enc->regs[4]),
              (std::vector<uint8_t>{0x21, 0xF0, 0x72, 0xCC}));
    EXPECT_EQ(b.enc->regs[0x20], 200);
    EXPECT_EQ(b.enc->regs[0x22], 200);
    s.flTVOptions = 0;
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_FILTERS), 0u);
    EXPECT_EQ(std::vector<uint8_t>(&b.enc->regs[0], &b.enc->regs[4]),
              (std::vector<uint8_t>{0x21, 0xF0, 0x7C, 0x1F}));
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvPictureControls, FlickerFilterValues) {
    // Settings past the maximum (2) keep the strongest filter.
    const struct {
        uint32_t setting;
        uint8_t value;
    } cases[] = {{0, 0x00}, {1, 0xB1}, {2, 0xA2}, {3, 0xA2}, {0xFFFFFFFFu, 0xA2}};
    for (const auto &c : cases) {
        TvBoard b;
        b.enc->regs[0x93] = 0x55;
        TVProcAmpSettings s = settings(0, c.setting, 0, 0, 0, 0, 0);
        EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_DEFLICKER), 0u);
        EXPECT_EQ(b.enc->regs[0x93], c.value) << c.setting;
    }
}

TEST(TvGamma, CurvesAndTheBypassBit) {
    struct Case {
        uint32_t key;
        std::vector<uint8_t> regs; // 83 to 8B
        bool curve;
    } cases[] = {
        {0, {0x80, 0, 0, 0x1F, 0x10, 0x10, 0x10, 100, 200}, false},
        // Key 10 is key 0's curve without the bit-7 mark of keys below 10.
        {10, {0x00, 0, 0, 0x1F, 0x10, 0x10, 0x10, 100, 200}, false},
        {4, {0x83, 57, 223, 0x0F, 0x75, 0xD4, 0xFB, 91, 156}, true},
        {40, {119, 158, 183, 0xF8, 0xF4, 0xE5, 0x95, 78, 165}, true},
    };
    for (const Case &c : cases) {
        TvBoard b;
        b.enc->regs[0x8D] = c.curve ? 0x00 : 0xFF;
        TVProcAmpSettings s = settings(0, 0, 0, 0, 0, 0, c.key);
        EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_GAMMA), 0u) << c.key;
        EXPECT_EQ(std::vector<uint8_t>(&b.enc->regs[0x83], &b.enc->regs[0x8C]), c.regs) << c.key;
        EXPECT_EQ(b.enc->regs[0x8D], c.curve ? 0x04 : 0xFB) << c.key;
        EXPECT_EQ(b.enc->writtenRegs(),
                  (std::vector<int>{0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D}))
            << "each register once, in order";
    }
    // A key without a curve: its code, and no register written.
    TvBoard b;
    TVProcAmpSettings s = settings(0, 0, 0, 0, 0, 0, 5);
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, TV_PROCAMP_GAMMA), HSL_ERR_MAV_GAMMA_PARM);
    EXPECT_TRUE(b.enc->writtenRegs().empty());
    EXPECT_EQ(b.h()->TVState.TVSettings.ulGamma, 5u) << "the record is kept all the same";
}

TEST(TvPictureControls, AllGroupsInTheirOrderAndTheRecordKept) {
    TvBoard b;
    b.standard() = 1;
    TVProcAmpSettings s = settings(TV_OPTION_TEXT_FILTER, 1, 90, 100, 100, 33, 4);
    s.ulReserved = 0xABCD;
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &s, 0), 0u);
    EXPECT_EQ(b.enc->writtenRegs(),
              (std::vector<int>{0x8D, 0x00, 0x20, 0x22, 0x93, 0x20, 0x22, 0x25, 0x0E, 0x1E, 0x0E,
                                0x1E, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D}));
    EXPECT_EQ(b.enc->regs[0x25], 33);
    EXPECT_EQ(b.enc->regs[0x93], 0xB1);
    EXPECT_EQ(b.enc->regs[0x8D], 0x0C);
    const TVProcAmpSettings &kept = b.h()->TVState.TVSettings;
    EXPECT_EQ(kept.ulHue, 33u);
    EXPECT_EQ(kept.ulReserved, 0xABCDu);

    // The board's own record applied again, as a mode set-up does.
    b.enc->log.clear();
    EXPECT_EQ(HSLMAVSetTVProcAmp(b.h(), &b.h()->TVState.TVSettings, TV_PROCAMP_HUE), 0u);
    EXPECT_EQ(b.enc->writtenRegs(), std::vector<int>{0x25});
    EXPECT_EQ(b.h()->TVState.TVSettings.ulHue, 33u);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TvPictureControls, NoEncoderSilentEncoderAndAPendingError) {
    TVProcAmpSettings s = settings(0, 2, 103, 87, 121, 0, 10);

    TvBoard none(0x14, 0x0525, 2, false);
    const int starts = none.mga->i2c().starts(1);
    EXPECT_EQ(HSLMAVSetTVProcAmp(none.h(), &s, 0), HSL_ERR_MAV_PROCAMP_NO_ENCODER);
    EXPECT_EQ(none.mga->i2c().starts(1), starts) << "nothing on the bus";
    EXPECT_EQ(none.h()->TVState.TVSettings.ulSaturation, 0u) << "the record unchanged";

    // An encoder the board data names but that does not answer: the first
    // transfer's code, and the record kept for the next mode set-up.
    TvBoard silent(0x14, 0x0525, 2, false);
    silent.h()->flFeatures |= FEATURE_ENCODER;
    silent.h()->HSLData.ucI2CAddMaven = 0x34;
    EXPECT_EQ(HSLMAVSetTVProcAmp(silent.h(), &s, 0), HSL_ERR_MAV_READ);
    EXPECT_EQ(silent.h()->TVState.TVSettings.ulSaturation, 103u);

    TvBoard pending;
    pending.h()->ulErrorCode = HSL_ERR_MAV_POSITION;
    EXPECT_EQ(HSLMAVSetTVProcAmp(pending.h(), &s, 0), HSL_ERR_MAV_POSITION);
    EXPECT_TRUE(pending.enc->log.empty());
    EXPECT_EQ(pending.h()->TVState.TVSettings.ulSaturation, 0u);

    // No luminance entry for this encoder version: no level written.
    TvBoard unknown(0x19);
    EXPECT_EQ(HSLMAVSetTVProcAmp(unknown.h(), &s, TV_PROCAMP_BRIGHTNESS), HSL_ERR_MAV_LUMA_PARM);
    EXPECT_TRUE(unknown.enc->log.empty());
}

} // namespace
