// Add-on devices on the "mga" board's second bus: detection over fixtures
// of devices, each failed candidate's release, the flat-panel link module
// and the AV9110 word it clocks out, the audio processor, and the TV
// encoder's register transfers and packing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl.h"
#include "models/mga_addons.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

template <class F> HSLJumpSlot slot(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

struct Bus : Board {
    Bus() : Board(mgaBoard(0x0521).integer("PCI_REVISION", 2)) {
        HSLJumpSlot *s = h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_I2C_SET_SCL] = slot(HSLDACI2CSetSCL);
        s[HSL_SLOT_I2C_SET_SDA] = slot(HSLDACI2CSetSDA);
        s[HSL_SLOT_I2C_GET_SCL] = slot(HSLDACI2CGetSCL);
        s[HSL_SLOT_I2C_GET_SDA] = slot(HSLDACI2CGetSDA);
        s[HSL_SLOT_GET_MAX_I2C_CLOCK] = slot(HSLDACGetMaxI2CClock);
    }
    sim::MgaI2cBus &bus() { return mga->i2c(); }
    // No module behind the expanders: the board without add-ons.
    void unplugModules() {
        for (uint8_t a : {0x44, 0x74, 0x40})
            bus().setExpanderPresent(a, false);
    }
    bool busFree() { return bus().scl(1) && bus().sda(1); }
    std::string firstFailure() { return failures.empty() ? "" : failures[0]; }
};

// ---------------------------------------------------------------- detection

TEST(AddOnDetection, EachDetectorOverItsFixtures) {
    using Detector = uint32_t (*)(BoardHandle *, uint32_t *);
    struct Case {
        const char *what;
        Detector detect;
        void (*fixture)(Bus &);
        uint8_t factoryOpt;
        uint32_t featuresBefore, found, features;
        uint8_t HSLData::*field;
        uint8_t address;
    } cases[] = {
        {"encoder at 0x34 only", HSLDetectMaven,
         [](Bus &b) { sim::attachEncoder(b.bus(), 0x34, 0x19); }, 0, 0x100, 1, 0x80,
         &HSLData::ucI2CAddMaven, 0x34},
        {"encoder with factory option 0", HSLDetectMaven,
         [](Bus &b) { sim::attachEncoder(b.bus(), 0x36, 0x19); }, 0x01, 0, 1, 0x100,
         &HSLData::ucI2CAddMaven, 0x36},
        {"no encoder", HSLDetectMaven, [](Bus &) {}, 0, 0x180, 0, 0, &HSLData::ucI2CAddMaven, 0},
        {"decoder at 0xDA", HSLDetectVideoDecoder,
         [](Bus &b) { sim::attachDecoder(b.bus(), 0xDA); }, 0, 0, 1, 0,
         &HSLData::ucI2CAddVideoDecoder, 0xDA},
        {"panel-link module at 0x44 first", HSLDetectPanelLinkModule, [](Bus &) {}, 0, 0x4000, 1,
         0x2000, &HSLData::ucI2CAddPanelLinkModule, 0x44},
        {"module at 0x74 with factory option 6", HSLDetectPanelLinkModule,
         [](Bus &b) { b.bus().setExpanderPresent(0x44, false); }, 0x40, 0, 1, 0x4000,
         &HSLData::ucI2CAddPanelLinkModule, 0x74},
        {"no module", HSLDetectPanelLinkModule, [](Bus &b) { b.unplugModules(); }, 0, 0x6000, 0, 0,
         &HSLData::ucI2CAddPanelLinkModule, 0},
        {"tuner at 0xC4", HSLDetectTVTuner, [](Bus &b) { sim::attachTuner(b.bus(), 0xC4); }, 0,
         0x10000, 1, 0x8000, &HSLData::ucI2CAddTVTuner, 0xC4},
        {"tuner with factory option 4", HSLDetectTVTuner,
         [](Bus &b) { sim::attachTuner(b.bus(), 0xC0); }, 0x10, 0, 1, 0x10000,
         &HSLData::ucI2CAddTVTuner, 0xC0},
        {"second HD15 module", HSLDetectSecondHD15, [](Bus &) {}, 0, 0, 1, 0x40000,
         &HSLData::ucI2CAddHD15Module, 0x40},
        {"no second HD15 module", HSLDetectSecondHD15, [](Bus &b) { b.unplugModules(); }, 0,
         0x40000, 0, 0, &HSLData::ucI2CAddHD15Module, 0},
    };
    for (const Case &c : cases) {
        Bus b;
        c.fixture(b);
        b.h()->HSLData.ucFactoryOpt = c.factoryOpt;
        b.h()->flFeatures = c.featuresBefore | 0x80000000u; // a bit no detector owns
        b.h()->HSLData.*c.field = 0x99;
        uint32_t found = 7;
        EXPECT_EQ(c.detect(b.h(), &found), 0u) << c.what;
        EXPECT_EQ(found, c.found) << c.what;
        const uint32_t owned = c.featuresBefore | c.features;
        EXPECT_EQ(b.h()->flFeatures & (owned | 0x80000000u), c.features | 0x80000000u) << c.what;
        if (c.detect != HSLDetectVideoDecoder || c.found) {
            EXPECT_EQ(b.h()->HSLData.*c.field, c.address) << c.what;
        }
        EXPECT_TRUE(b.busFree()) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
    Bus b;
    sim::attachEncoder(b.bus(), 0x34, 0x19);
    uint32_t found = 0;
    HSLDetectMaven(b.h(), &found);
    EXPECT_EQ(b.h()->HSLData.ucMavenVersion, 0x19) << "the version from register 0xB2";
}

TEST(AddOnDetection, DecoderKindAndItsFeatures) {
    struct Case {
        const char *what;
        uint8_t address, factoryOpt, kind;
        uint32_t before, features;
    } cases[] = {
        {"0xDA: kind 1", 0xDA, 0, 1, 0, 0x220},
        {"0xDC: kind 1", 0xDC, 0, 1, 0, 0x220},
        {"0xDA with factory option 2: the motion-JPEG bits stay", 0xDA, 0x04, 1, 0x400, 0x420},
        {"0xDE: kind 0", 0xDE, 0, 0, 0, 0x440},
        {"0xD8: kind 0", 0xD8, 0x04, 0, 0, 0x440},
        {"none: both pairs cleared", 0, 0, 0, 0x660, 0},
    };
    for (const Case &c : cases) {
        Bus b;
        if (c.address)
            sim::attachDecoder(b.bus(), c.address);
        b.h()->HSLData.ucFactoryOpt = c.factoryOpt;
        b.h()->flFeatures = c.before;
        uint32_t found = 0, rr2 = 0, mjpeg = 0;
        HSLDetectVideoDecoder(b.h(), &found);
        HSLDetectRR2(b.h(), &rr2);
        HSLDetectMJPEG(b.h(), &mjpeg);
        EXPECT_EQ(found, c.address ? 1u : 0u) << c.what;
        EXPECT_EQ(b.h()->HSLData.ucVideoDecoderKind, c.kind) << c.what;
        EXPECT_EQ(b.h()->flFeatures, c.features) << c.what;
        EXPECT_EQ(mjpeg, (c.features & 0x600) != 0 && !(c.before & 0x400) ? 1u : 0u) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

// With nothing on the bus, each detector tries its candidates in turn and
// releases the bus after each with its own flags.
TEST(AddOnDetection, EachFailedCandidateReleasesTheBus) {
    using Detector = uint32_t (*)(BoardHandle *, uint32_t *);
    struct Case {
        const char *what;
        Detector detect;
        int releases;
    } cases[] = {
        {"encoder", HSLDetectMaven, 2},          {"decoder", HSLDetectVideoDecoder, 4},
        {"module", HSLDetectPanelLinkModule, 4}, {"audio", HSLDetectMSP, 3},
        {"tuner", HSLDetectTVTuner, 4},          {"second HD15", HSLDetectSecondHD15, 1},
    };
    for (const Case &c : cases) {
        Bus b;
        b.unplugModules();
        uint32_t found = 7;
        EXPECT_EQ(c.detect(b.h(), &found), 0u) << c.what;
        EXPECT_EQ(found, 0u) << c.what;
        EXPECT_EQ(b.bus().stops(1), c.releases) << c.what;
        EXPECT_TRUE(b.busFree()) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

TEST(AddOnDetection, WholeSequenceTwiceWithTheModuleRemoved) {
    Bus b;
    sim::attachEncoder(b.bus(), 0x36, 0x21);
    sim::attachDecoder(b.bus(), 0xDE);
    sim::AudioProcessor *silent = sim::attachAudio(b.bus(), 0x84, 0);
    sim::AudioProcessor *audio = sim::attachAudio(b.bus(), 0x88, 0x12345678);
    sim::attachTuner(b.bus(), 0xC6);
    EXPECT_EQ(HALPDetectAddOn(b.h()), 0u);
    const HSLData &d = b.h()->HSLData;
    EXPECT_EQ(d.ucI2CAddMaven, 0x36);
    EXPECT_EQ(d.ucMavenVersion, 0x21);
    EXPECT_EQ(d.ucI2CAddVideoDecoder, 0xDE);
    EXPECT_EQ(d.ucI2CAddPanelLinkModule, 0x44);
    EXPECT_EQ(d.ucI2CAddMSPChip, 0x88) << "the first non-zero version wins";
    EXPECT_EQ(d.ulMSPVersion, 0x12345678u);
    EXPECT_EQ(d.ucI2CAddTVTuner, 0xC6);
    EXPECT_EQ(b.h()->flFeatures & 0x7FFFF, 0x80u | 0x40 | 0x400 | 0x2000 | 0x8000);
    // The pass-through configuration: a reset, then four registers in order.
    EXPECT_EQ(audio->resets, 1);
    const std::vector<std::pair<uint16_t, uint16_t>> passThrough = {
        {0x000A, 0x0220}, {0x000D, 0x1900}, {0x0007, 0x4000}, {0x0013, 0x0C00}};
    EXPECT_EQ(audio->writes, passThrough);
    EXPECT_TRUE(silent->writes.empty());
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();

    b.bus().setExpanderPresent(0x44, false);
    b.bus().setExpanderPresent(0x74, false);
    EXPECT_EQ(HALPDetectAddOn(b.h()), 0u);
    EXPECT_EQ(d.ucI2CAddPanelLinkModule, 0);
    EXPECT_EQ(b.h()->flFeatures & 0x6000, 0u);
    EXPECT_EQ(d.ucI2CAddVideoDecoder, 0xDE) << "the decoder's address is kept";
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(AddOnDetection, DvdDecoderOnTheDacPins) {
    struct Case {
        bool dvd;
        uint8_t factoryOpt;
        uint32_t before, found, features;
    } cases[] = {{true, 0, 0, 1, 0x800}, {true, 0x02, 0x800, 1, 0x1800}, {false, 0, 0x1800, 0, 0}};
    for (const Case &c : cases) {
        graf::Builder g = mgaBoard(0x0521).integer("PCI_REVISION", 2);
        if (c.dvd)
            g.flag("DVD");
        Board b(std::move(g));
        b.h()->HSLData.ucFactoryOpt = c.factoryOpt;
        b.h()->flFeatures = c.before;
        uint32_t found = 7;
        EXPECT_EQ(HSLDetectDVD(b.h(), &found), 0u);
        EXPECT_EQ(found, c.found) << c.dvd;
        EXPECT_EQ(b.h()->flFeatures, c.features) << c.dvd;
        // The strobe lines are left as they were found.
        uint8_t enable = 0xEE;
        ClientReadRegisterByte(b.h(), 0x3E40, &enable);
        EXPECT_EQ(enable & 0x01, 0) << c.dvd;
        EXPECT_TRUE(b.failures.empty()) << (b.failures.empty() ? "" : b.failures[0]);
    }
}

// ---------------------------------------------------------------- module

TEST(PanelLinkModule, OutputAndTheMafcBits) {
    Bus b;
    b.h()->HSLData.ucI2CAddPanelLinkModule = 0x44;
    struct Case {
        uint32_t enable;
        uint8_t latch;
        uint32_t on;
    } cases[] = {{1, 0xEB, 1}, {0, 0xFF, 0}, {0x100, 0xFF, 0}, {0x1FF, 0xEB, 1}};
    for (const Case &c : cases) {
        b.h()->ulErrorCode = 0;
        EXPECT_EQ(HSLEnablePanelLinkModuleOutput(b.h(), c.enable), 0u) << c.enable;
        EXPECT_EQ(b.bus().expanderLatch(0x44), c.latch) << c.enable;
        uint32_t on = 7;
        HSLGetPanelLinkModuleOutputState(b.h(), &on);
        EXPECT_EQ(on, c.on) << c.enable;
    }
    uint8_t mafc = 0;
    HSLDACWriteRegister(b.h(), 0x1E, 0x03);
    HSLFlatEnableMAFC(b.h(), 0);
    HSLDACReadRegister(b.h(), 0x1E, &mafc);
    EXPECT_EQ(mafc, 0x07);
    HSLFlatEnableMAFC(b.h(), 1);
    HSLDACReadRegister(b.h(), 0x1E, &mafc);
    EXPECT_EQ(mafc, 0x05);
    // An unplugged module: the read gives 0, the write is not sent, no error.
    b.bus().setExpanderPresent(0x44, false);
    b.h()->ulErrorCode = 0;
    uint8_t v = 0x55;
    EXPECT_EQ(HSLReadPanelLinkModuleRegister(b.h(), &v), 0u);
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(PanelLinkModule, Av9110Word) {
    struct Case {
        uint32_t request, v;
    } cases[] = {{65000, 1}, {125000, 1}, {125001, 0}, {25175, 3}, {15626, 3}, {230000, 0}};
    for (const Case &c : cases) {
        Bus b;
        b.h()->HSLData.ucI2CAddPanelLinkModule = 0x44;
        auto av = sim::attachAv9110(b.bus(), 0x44);
        EXPECT_EQ(HSLAV9110SetPixelPLL(b.h(), c.request), 0u) << c.request;
        ASSERT_EQ(av->words, 1) << c.request;
        EXPECT_EQ(av->v(), c.v) << c.request;
        const uint32_t fixedOnes = 1u << 15 | 1u << 19 | 1u << 20 | 1u << 21 | 1u << 23;
        EXPECT_EQ(av->word & (fixedOnes | 1u << 16 | 1u << 22), fixedOnes) << c.request;
        EXPECT_GE(av->m(), 3u);
        EXPECT_GE(av->n(), 3u);
        // The doubled request, within one step of the synthesiser at the
        // chosen N and X (X x 14318 / N kHz), from below.
        const uint32_t f = c.request << c.v;
        const uint32_t got = (14318u * av->x() * av->m()) / av->n();
        EXPECT_LE(got, f) << c.request;
        EXPECT_LT(f - got, 14318u * av->x() / av->n()) << c.request << " gave " << got;
        EXPECT_EQ(av->frequency(), got >> c.v) << c.request;
        EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
    }
    // 0 would double for ever, below 15626 kHz the count overflows.
    for (uint32_t bad : {0u, 1000u, 15625u}) {
        Bus b;
        b.h()->HSLData.ucI2CAddPanelLinkModule = 0x44;
        auto av = sim::attachAv9110(b.bus(), 0x44);
        EXPECT_EQ(HSLAV9110SetPixelPLL(b.h(), bad), HSL_ERR_AV9110_RANGE) << bad;
        EXPECT_EQ(av->words, 0) << bad;
        EXPECT_EQ(b.bus().starts(1), 0) << bad;
    }
}

// ---------------------------------------------------------------- audio

TEST(AudioProcessor, VersionResetAndWrites) {
    Bus b;
    sim::AudioProcessor *audio = sim::attachAudio(b.bus(), 0x80, 0x12345678);
    uint32_t version = 0;
    EXPECT_EQ(HSLMSPI2CGetVersion(b.h(), 0x80, &version), 0u);
    EXPECT_EQ(version, 0x12345678u);
    const int stops = b.bus().stops(1);
    EXPECT_EQ(HSLMSPI2CGetVersion(b.h(), 0x84, &version), 0u) << "a silent address is no error";
    EXPECT_EQ(version, 0u);
    EXPECT_EQ(b.bus().stops(1), stops + 1) << "one bus release";
    b.h()->HSLData.ucI2CAddMSPChip = 0x80;
    EXPECT_EQ(HSLMSPI2CWriteWord(b.h(), 0x1234, 0xABCD), 0u);
    EXPECT_EQ(audio->regs[0x1234], 0xABCD);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();

    // A reset to an address nobody answers: the first transfer fails, the
    // second is not sent, the bus is not released; later steps do nothing.
    Bus silent;
    silent.h()->HSLData.ucI2CAddMSPChip = 0x88;
    EXPECT_EQ(HSLMSPSetAudioPassThroughMode(silent.h()), 0xB0E03122u);
    EXPECT_EQ(silent.bus().starts(1), 1);
    EXPECT_EQ(silent.bus().stops(1), 0);
    silent.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLMSPI2CWriteWord(silent.h(), 1, 2), 0xB0E04122u);
}

// ---------------------------------------------------------------- encoder

TEST(TvEncoderAccess, PackingAtEachWidth) {
    struct Case {
        uint32_t value, width;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {0xA5, 8, {0xA5}},          {160, 10, {0x28, 0x00}},
        {0x3FF, 10, {0xFF, 0x03}},  {160, 11, {0x14, 0x00}},
        {0x7FF, 11, {0xFF, 0x07}},  {0x7FFF, 15, {0xFF, 0x7F}},
        {0xBEEF, 16, {0xBE, 0xEF}}, {0x21F07C1F, 32, {0x21, 0xF0, 0x7C, 0x1F}},
    };
    for (const Case &c : cases) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(HSLMAVBitConvToEncoder(c.value, c.width, out), c.width);
        EXPECT_EQ(std::vector<uint8_t>(out, out + c.bytes.size()), c.bytes) << c.value;
        if (c.bytes.size() < 4) {
            EXPECT_EQ(out[c.bytes.size()], 0xEE) << c.value << ": no byte beyond the width";
        }
        uint32_t back = 0;
        EXPECT_EQ(HSLMAVBitConvFromEncoder(out, c.width, &back), c.width);
        EXPECT_EQ(back, c.value) << c.width;
    }
    uint8_t out[4] = {1, 2, 3, 4};
    uint32_t v = 99;
    EXPECT_EQ(HSLMAVBitConvToEncoder(0xFFFF, 12, out), 12u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(HSLMAVBitConvFromEncoder(out, 12, &v), 12u);
    EXPECT_EQ(v, 99u);
}

TEST(TvEncoderAccess, RegisterTransfers) {
    Bus b;
    sim::TvEncoder *enc = sim::attachEncoder(b.bus(), 0x36, 0x19);
    b.h()->HSLData.ucI2CAddMaven = 0x36;
    const uint8_t one = 0x5A, three[3] = {1, 2, 3};
    EXPECT_EQ(HSLMAVI2CWrite(b.h(), 0x80, &one, 1), 0u);
    EXPECT_EQ(HSLMAVI2CWrite(b.h(), 0x10, three, 0x103), 0u) << "the count's low 8 bits";
    EXPECT_EQ(enc->regs[0x80], 0x5A);
    EXPECT_EQ(enc->regs[0x10], 1);
    EXPECT_EQ(enc->regs[0x12], 3);
    uint8_t got[2] = {};
    EXPECT_EQ(HSLMAVI2CRead(b.h(), 0x11, got, 2), 0u);
    EXPECT_EQ(got[0], 2);
    EXPECT_EQ(got[1], 3);
    EXPECT_TRUE(b.busFree());
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();

    // A silent encoder: each transfer's code, and the sequence stops.
    Bus silent;
    silent.h()->HSLData.ucI2CAddMaven = 0x34;
    EXPECT_EQ(HSLMAVI2CRead(silent.h(), 0, got, 1), 0xB0403121u);
    const int starts = silent.bus().starts(1);
    EXPECT_EQ(HSLMAVI2CWrite(silent.h(), 0, &one, 1), 0xB0403121u);
    EXPECT_EQ(silent.bus().starts(1), starts) << "nothing sent after the error";
    silent.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLMAVI2CWrite(silent.h(), 0, &one, 1), 0xB0404121u);
    EXPECT_TRUE(silent.busFree());
}

TEST(TvEncoderAccess, SecondHD15ModuleByte) {
    Bus b;
    b.h()->HSLData.ucI2CAddHD15Module = 0x40;
    EXPECT_EQ(HSLMAVI2CWriteSecondHD15Module(b.h(), 0x1F0), 0u);
    EXPECT_EQ(b.bus().expanderLatch(0x40), 0xF0);
    uint8_t v = 0;
    EXPECT_EQ(HSLMAVI2CReadSecondHD15Module(b.h(), &v), 0u);
    EXPECT_EQ(v & 0xFC, 0xF0);
    b.bus().setExpanderPresent(0x40, false);
    EXPECT_EQ(HSLMAVI2CReadSecondHD15Module(b.h(), &v), 0u);
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// ------------------------------------------------- the families' port rules

// The whole detection through a family's GetAddOnInfo slot on a board the
// chip layer has read: the flat-panel module's I2C port by the family's
// rule, and on a twister reporting a subclass with bit 7 set, nothing
// probed at all.
TEST(AddOnFamilies, PanelLinkPortRules) {
    struct Case {
        const char *what;
        int device;
        bool at44, at74;
        uint8_t factoryOpt;
        uint8_t address, port;
        uint32_t panelFeature;
    } cases[] = {
        {"eclipse, module at 0x74", 0x0521, false, true, 0, 0x74, 2, 0x2000},
        {"eclipse, module at 0x74, option 6", 0x0521, false, true, 0x40, 0x74, 2, 0x4000},
        {"eclipse, module at 0x44", 0x0521, true, true, 0, 0x44, 0, 0x2000},
        {"eclipse, module at 0x44, option 6", 0x0521, true, false, 0x40, 0x44, 3, 0x4000},
        {"eclipse, no module", 0x0521, false, false, 0, 0, 0x5A, 0},
        {"twister, module at 0x74", 0x1001, false, true, 0, 0x74, 2, 0x2000},
        {"twister, module at 0x44", 0x1001, true, false, 0, 0x44, 3, 0x2000},
        {"twister, module at 0x44, option 6", 0x1000, true, true, 0x40, 0x44, 3, 0x4000},
        {"twister, no module", 0x1001, false, false, 0, 0, 0x5A, 0},
    };
    for (const Case &c : cases) {
        Board b(mgaBoard(c.device).integer("PCI_REVISION", 2));
        ASSERT_EQ(HALGetBoardInfo(b.h()), 0u) << c.what;
        sim::MgaI2cBus &bus = b.mga->i2c();
        bus.setExpanderPresent(0x44, c.at44);
        bus.setExpanderPresent(0x74, c.at74);
        HSLData &d = b.h()->HSLData;
        d.ucFactoryOpt = c.factoryOpt;
        d.ucI2CPortPanelLink = 0x5A;
        b.h()->ulErrorCode = 0;
        auto detect = reinterpret_cast<uint32_t (*)(BoardHandle *)>(
            b.h()->HSLJumpTable.apfnSlot[HSL_SLOT_GET_ADD_ON_INFO]);
        EXPECT_EQ(detect(b.h()), 0u) << c.what;
        EXPECT_EQ(d.ucI2CAddPanelLinkModule, c.address) << c.what;
        EXPECT_EQ(d.ucI2CPortPanelLink, c.port) << c.what;
        EXPECT_EQ(b.h()->flFeatures & 0x6000, c.panelFeature) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.failures.front();
    }
}

TEST(AddOnFamilies, TwisterWithSubclassBit7ProbesNothing) {
    for (int subclass : {0x80, 0x00}) {
        Board b(mgaBoard(0x1001).integer("PCI_REVISION", 1));
        ASSERT_EQ(HALGetBoardInfo(b.h()), 0u) << subclass;
        // The driver finds only a VGA-compatible subclass; the device then
        // reports another.
        b.mga->pci().set(0x0A, 1, uint32_t(subclass));
        sim::attachEncoder(b.mga->i2c(), 0x36, 0x19);
        b.h()->flFeatures = 0x100;
        b.h()->HSLData.ucI2CPortPanelLink = 0x5A;
        b.h()->ulErrorCode = 0;
        auto detect = reinterpret_cast<uint32_t (*)(BoardHandle *)>(
            b.h()->HSLJumpTable.apfnSlot[HSL_SLOT_GET_ADD_ON_INFO]);
        EXPECT_EQ(detect(b.h()), 0u) << subclass;
        const HSLData &d = b.h()->HSLData;
        if (subclass == 0x80) {
            EXPECT_EQ(b.mga->i2c().starts(1), 0) << "nothing on the add-on bus";
            EXPECT_EQ(b.h()->flFeatures, 0x100u) << "the features stay as they were";
            EXPECT_EQ(d.ucI2CAddMaven, 0);
            EXPECT_EQ(d.ucI2CAddPanelLinkModule, 0);
            EXPECT_EQ(d.ucI2CPortPanelLink, 0x5A);
        } else {
            EXPECT_GT(b.mga->i2c().starts(1), 0);
            EXPECT_EQ(d.ucI2CAddMaven, 0x36);
            EXPECT_EQ(b.h()->flFeatures & 0x180, 0x80u);
            EXPECT_EQ(d.ucI2CAddPanelLinkModule, 0x44);
            EXPECT_EQ(d.ucI2CPortPanelLink, 3);
        }
        EXPECT_TRUE(b.failures.empty()) << subclass << ": " << b.failures.front();
    }
}

} // namespace
