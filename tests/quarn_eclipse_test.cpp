// The eclipse family on the "mga" board: the chip layer's operations and
// mode layer through its public entry points, and libquarn coming up on
// them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_dispatch.h"
#include "harness.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

ModeInfo mode(uint32_t w, int32_t h, int bpp, int32_t deskW = 0, int32_t deskH = 0) {
    ModeInfo m{};
    m.ulDispWidth = w;
    m.lDispHeight = h;
    m.lDeskWidth = deskW ? deskW : int32_t(w);
    m.lDeskHeight = deskH ? deskH : h;
    m.lBpp = bpp;
    m.lModeType = 0x1200000;
    m.lZoom = 1;
    m.lRefreshRate = 60;
    m.lHorizontalRate = 48;
    m.lPixClock = 65000;
    m.lHFPorch = 32;
    m.lHSync = 128;
    m.lHBPorch = 160;
    m.lVFPorch = 3;
    m.lVSync = 6;
    m.lVBPorch = 29;
    return m;
}

// A board the chip layer has read: board data from its option ROM.
struct Eclipse : Board {
    explicit Eclipse(graf::Builder b = mgaBoard().integer("MEMSIZE", int(4 * kMB)))
        : Board(std::move(b)) {
        EXPECT_EQ(HALGetBoardInfo(h()), 0u);
    }
};

// ------------------------------------------------------ pitch and placement

TEST(EclipseModeCheck, PitchPlacementZoomAndMemory) {
    struct Case {
        const char *what;
        ModeInfo m;
        uint32_t memory;
        uint32_t code, pitch;
        int32_t dstOrg, displayOrg;
    } cases[] = {
        {"800 at 8 bits", mode(800, 600, 8), 4 * kMB, 0, 832, 0, 0},
        {"800 at 16 bits", mode(800, 600, 16), 4 * kMB, 0, 800, 0, 0},
        {"desktop 1000 x 768", mode(1024, 768, 8, 1000, 768), 4 * kMB, 0, 1024, 64, 52},
        {"desktop 1000 x 768 at 16 bits", mode(1024, 768, 16, 1000, 768), 4 * kMB, 0, 1024, 32, 20},
        {"desktop 1000 x 768 at 32 bits", mode(1024, 768, 32, 1000, 768), 4 * kMB, 0, 1024, 16, 4},
        // Narrower but taller: only the width is centred.
        {"desktop wider, lower", mode(640, 480, 8, 800, 400), 4 * kMB, 0, 832, 40 * 832, 0},
        {"desktop narrower, taller", mode(640, 480, 8, 576, 600), 4 * kMB, 0, 640, 64, 32},
        {"zoom 2 on a larger desktop",
         [] {
             ModeInfo m = mode(640, 480, 8, 800, 600);
             m.lZoom = 2;
             return m;
         }(),
         4 * kMB, 0, 832, 0, 0},
        {"zoom 2 on a smaller desktop",
         [] {
             ModeInfo m = mode(1024, 768, 8, 640, 480);
             m.lZoom = 2;
             return m;
         }(),
         4 * kMB, HSL_ERR_ECL_ZOOM, 0, 0, 0},
        {"zoom 3",
         [] {
             ModeInfo m = mode(640, 480, 8);
             m.lZoom = 3;
             return m;
         }(),
         4 * kMB, HSL_ERR_ECL_ZOOM, 0, 0, 0},
        {"more than memory", mode(1024, 768, 32), 2 * kMB, HSL_ERR_ECL_MEMORY, 1024, 0, 0},
        {"just memory", mode(1024, 512, 32), 2 * kMB, 0, 1024, 0, 0},
        {"desktop wider than 8191", mode(640, 480, 8, 8192, 480), 4 * kMB, HSL_ERR_ECL_DESK_WIDTH,
         0, 0, 0},
        {"depth 12", mode(640, 480, 12), 4 * kMB, HSL_ERR_ECL_PITCH_DEPTH, 0, 0, 0},
        {"TV without an encoder",
         [] {
             ModeInfo m = mode(640, 480, 8);
             m.lModeType = 0x2600000;
             return m;
         }(),
         4 * kMB, HSL_ERR_ECL_NO_TV, 0, 0, 0},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulBaseMemory = c.memory;
        ModeInfo m = c.m;
        EXPECT_EQ(HSLECLValidateMode(&h, &m), c.code) << c.what;
        if (c.pitch) {
            EXPECT_EQ(m.ulFBPitch, c.pitch) << c.what;
        }
        if (c.code == 0) {
            EXPECT_EQ(m.lDstOrg, c.dstOrg) << c.what;
            EXPECT_EQ(m.lDisplayOrg, c.displayOrg) << c.what;
        }
    }
}

TEST(EclipseModeCheck, TvRoutesWidenAPitchEqualToTheWidth) {
    struct Case {
        int32_t type;
        uint32_t width, pitch;
    } cases[] = {
        {0x3600000, 1024, 1088}, // DAC and TV
        {0x2400000, 1024, 1088}, // TV alone
        {0x3600000, 640, 640},   // not above 640
        {0x1200000, 1024, 1024}, // the DAC alone
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        ModeInfo m = mode(c.width, 480, 8);
        m.lModeType = c.type;
        EXPECT_EQ(HSLECLComputePitch(&h, &m), 0u);
        EXPECT_EQ(m.ulFBPitch, c.pitch) << std::hex << c.type << " " << std::dec << c.width;
    }
}

TEST(EclipseModeCheck, TheRouteTable) {
    struct Case {
        int32_t type;
        uint32_t secondMonitor;
        uint32_t route, code;
        int32_t typeAfter;
    } cases[] = {
        {0x1200000, 0, 2, 0, 0x1200000},    // what the driver asks
        {0x200000, 0, 2, 0, 0x1200000},     // the DAC turns the output on
        {0x100000, 0, 1, 0, 0x100000},      // no output
        {0x11600000, 0, 3, 0, 0x11600000},  // DAC and flat panel
        {0x3600000, 0, 4, 0, 0x3600000},    // DAC and TV
        {0x10400000, 0, 5, 0, 0x10400000},  // flat panel
        {0x2400000, 0, 6, 0, 0x2400000},    // TV
        {0x600000, 0x08, 3, 0, 0x11600000}, // a second output on a digital monitor
        {0x600000, 0x10, 4, 0, 0x3600000},  // on a TV
        {0x600000, 0, 0, HSL_ERR_ROUTE, 0x1600000},
        {0, 0, 0, HSL_ERR_ROUTE, 0},
        {0x1300000, 0, 0, HSL_ERR_ROUTE, 0x1300000},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.SecondMonitor.flMonitor = c.secondMonitor;
        ModeInfo m = mode(640, 480, 8);
        m.lModeType = c.type;
        uint32_t route = 99;
        EXPECT_EQ(HSLECLValidateOutputMode(&h, &m, &route), c.code) << std::hex << c.type;
        EXPECT_EQ(route, c.route) << std::hex << c.type;
        EXPECT_EQ(m.lModeType, c.typeAfter) << std::hex << c.type;
    }
}

TEST(EclipseModeCheck, ClockLimitsAndCapabilities) {
    struct Case {
        int bpp;
        int32_t clock, vOvscan;
        uint32_t memoryType, code, caps;
        int32_t panX;
    } cases[] = {
        {8, 25175, 0, 1, 0, 0x35, 8},
        {16, 25175, 0, 1, 0, 0x35, 4},
        {24, 25175, 0, 1, 0, 0x34, 8},
        {32, 25175, 0, 5, 0, 0x30, 2},
        {8, 0, 0, 1, HSL_ERR_ECL_NO_CLOCK, 0, 0},
        {8, 220001, 0, 1, HSL_ERR_ECL_CLOCK_LIMIT, 0, 0},
        {32, 150001, 0, 1, HSL_ERR_ECL_CLOCK_LIMIT, 0, 0},
        {12, 25175, 0, 1, HSL_ERR_ECL_CLOCK_DEPTH, 0, 0},
        {8, 25175, 1, 1, HSL_ERR_ECL_VOVSCAN, 0, 0},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.HSLData.ulPclkMax8 = 220000;
        h.HSLData.ulPclkMax16 = h.HSLData.ulPclkMax24 = 180000;
        h.HSLData.ulPclkMax32 = 150000;
        h.ulMemoryType = c.memoryType;
        ModeInfo m = mode(640, 480, c.bpp);
        m.lPixClock = c.clock;
        m.lVOvscan = c.vOvscan;
        EXPECT_EQ(HSLECLValidateVideoParameters(&h, &m), c.code) << c.bpp << " " << c.clock;
        if (c.code == 0) {
            EXPECT_EQ(m.flModeCaps, c.caps) << c.bpp;
            EXPECT_EQ(m.lPanXStep, c.panX) << c.bpp;
            EXPECT_EQ(m.lPanYStep, 1) << c.bpp;
        }
    }
}

// ---------------------------------------------------------------- mode set

TEST(EclipseSetMode, TheCallersRecordStaysAndTheCurrentModeIsAdjusted) {
    Eclipse b;
    ModeInfo m = mode(1024, 768, 8, 1000, 768);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m), 0u);
    const ModeInfo before = m;
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0) << "the caller's record is unchanged";
    const ModeInfo &cur = b.h()->CurrentModeCRTC1;
    EXPECT_EQ(cur.ulFBPitch, 1024u);
    EXPECT_EQ(cur.lDstOrg, 64);
    EXPECT_EQ(cur.lDisplayOrg, 52);
    EXPECT_EQ(cur.lModeType, 0x1200000);
    EXPECT_EQ(cur.flModeCaps, before.flModeCaps);
    EXPECT_EQ(b.h()->ulFreeMemStart1, 768u * 1024 + 52);
    EXPECT_EQ(b.h()->ulFreeMemSize1, 4 * kMB - (768u * 1024 + 52));
    EXPECT_EQ(b.h()->ulFreeMemStart2, 0u);
    EXPECT_TRUE(b.h()->flStraps & 2) << "the one-time initialisation ran";
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 8);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_EQ(p.pitchBytes, 1024u);
    // The start register counts 8-pixel units at 8 bits: 52 shows from 48.
    EXPECT_EQ(p.startBytes, 48u);
    EXPECT_FALSE(p.blanked);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(EclipseSetMode, EachDepthShowsItsPicture) {
    for (int bpp : {8, 16, 32}) {
        Eclipse b;
        ModeInfo m = vgaMode(640, 480, bpp);
        m.lHorizontalRate = 48;
        ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
        ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << bpp;
        const sim::MgaBoard::Picture p = b.mga->picture();
        EXPECT_EQ(p.width, 640) << bpp;
        EXPECT_EQ(p.bitsPerPixel, bpp) << bpp;
        EXPECT_EQ(p.pitchBytes, 640u * uint32_t(bpp / 8)) << bpp;
        EXPECT_EQ(p.refreshHz, 60) << bpp;
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
}

TEST(EclipseSetMode, ARefusedRouteProgramsNoTiming) {
    Eclipse b;
    ModeInfo m = mode(640, 480, 8);
    m.lModeType = 0;
    std::vector<uint8_t> before;
    for (int i = 0; i < 0x19; i++)
        before.push_back(b.mga->crtc(i));
    const uint8_t pixelFormat = b.mga->dacReg(0x19);
    EXPECT_EQ(HALSetMode(b.h(), &m), HSL_ERR_ROUTE);
    for (int i = 0; i < 0x19; i++)
        EXPECT_EQ(b.mga->crtc(i), before[size_t(i)]) << "CR" << i;
    EXPECT_EQ(b.mga->dacReg(0x19), pixelFormat);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u);
}

// ---------------------------------------------------- hardware initialisation

TEST(EclipseInitHardware, InVgaModeTheTextImageComesBack) {
    Eclipse b;
    VgaInfo before{};
    HSLVGAReadVgaInfo(b.h(), &before);
    const uint8_t ext3 = b.mga->crtcExt(3);
    ASSERT_EQ(ext3 & 0x80, 0) << "the board starts in VGA mode";
    b.h()->flStraps &= ~2u;
    ASSERT_EQ(HALInitHardware(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    VgaInfo after{};
    HSLVGAReadVgaInfo(b.h(), &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(b.mga->crtcExt(3) & 0x80, 0);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u) << "text mode has no current mode";
    EXPECT_TRUE(b.mga->reg(0x1E14) & 0x80000000u) << "memory marked initialised";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(EclipseInitHardware, OutOfVgaModeTheDefaultModeStays) {
    Eclipse b;
    ClientWriteRegisterByte(b.h(), 0x1FDE, 3);
    ClientWriteRegisterByte(b.h(), 0x1FDF, 0x80);
    ASSERT_EQ(HALInitHardware(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.bitsPerPixel, 8);
    EXPECT_TRUE(p.blanked) << "the screen is left off";
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 640u);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lPixClock, 25175);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(EclipseSwitch, ToTextAndBackRestoresTheImageAndTheMode) {
    Eclipse b;
    VgaInfo text{};
    HSLVGAReadVgaInfo(b.h(), &text);
    ModeInfo m = mode(1024, 768, 8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSwitchToVGA(b.h()), 0u);
    HSLVGAWriteVgaInfo(b.h(), &text);
    VgaInfo now{};
    HSLVGAReadVgaInfo(b.h(), &now);
    EXPECT_EQ(std::memcmp(&text, &now, sizeof now), 0);
    EXPECT_EQ(b.mga->crtcExt(3) & 0x80, 0);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u);
    for (int i = 0; i < 64; i++) {
        const auto rgb = b.mga->palette(i);
        EXPECT_EQ(rgb[0], HSLVGADacDefault[3 * i]) << i;
        EXPECT_EQ(rgb[2], HSLVGADacDefault[3 * i + 2]) << i;
    }
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_FALSE(p.blanked);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// ------------------------------------------------------------- power states

TEST(EclipsePower, StatesZeroAndOneDoNothing) {
    Eclipse b;
    for (uint32_t state : {0u, 1u}) {
        machine().clearTrace();
        EXPECT_EQ(HALSetPowerState(b.h(), state), 0u);
        EXPECT_TRUE(machine().trace().empty()) << state;
    }
}

TEST(EclipsePower, SaveThenRestore) {
    Eclipse b;
    ModeInfo m = mode(1024, 768, 8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    ClientWriteRegisterDword(b.h(), 0x1E70, 0x1230);
    ClientWriteRegisterDword(b.h(), 0x1E58, 0x5858);
    HSLDACWriteRegister(b.h(), 0x44, 0x12);
    HSLDACWriteRegister(b.h(), 0x4A, 0x34);
    ASSERT_EQ(HALSetPowerState(b.h(), HSL_POWER_SAVE), 0u);
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u) << "the clock is forgotten";
    EXPECT_EQ(b.h()->HSLData.aulPowerSave[0], 0x1230u);
    EXPECT_EQ(b.h()->HSLData.aulPowerSave[2] >> 16, 0x12u);
    EXPECT_EQ(b.h()->HSLData.aulPowerSave[3] & 0xFF, 0x34u);
    ClientWriteRegisterDword(b.h(), 0x1E58, 0);
    HSLDACWriteRegister(b.h(), 0x44, 0);
    ASSERT_EQ(HALSetPowerState(b.h(), HSL_POWER_RESTORE), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.mga->reg(0x1E70), 0x1238u);
    EXPECT_EQ(b.mga->reg(0x1E58), 0x5858u);
    EXPECT_EQ(b.mga->dacReg(0x44), 0x12);
    EXPECT_EQ(b.mga->dacReg(0x1A) & 0x04, 0) << "the pixel clock runs again";
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, b.h()->SysClockVGA.ulSystemPllFreq);
    EXPECT_NE(b.h()->CurrentSysClock.ulSystemPllFreq, 0u) << "SysClockVGA programmed afresh";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// ------------------------------------------------------ refusals and errors

TEST(EclipseRefusals, CodesAndNothingTouched) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
        uint32_t code;
    } cases[] = {
        {"EDID selector 3", [](BoardHandle *h) { return HSLECLGetMonitorEDID(h, 3); },
         HSL_ERR_ECL_EDID_WHICH},
        {"MAFC mode 3", [](BoardHandle *h) { return HSLECLControlMAFCPort(h, 3); },
         HSL_ERR_ECL_MAFC_MODE},
        {"custom call 1", [](BoardHandle *h) { return HALCustomCall(h, 1, 0, 0); },
         HSL_ERR_ECL_CUSTOM_CALL},
    };
    for (const Case &c : cases) {
        Eclipse b;
        const uint8_t misc = b.mga->dacReg(0x1E);
        machine().clearTrace();
        EXPECT_EQ(c.call(b.h()), c.code) << c.what;
        EXPECT_TRUE(machine().trace().empty()) << c.what;
        EXPECT_EQ(b.mga->dacReg(0x1E), misc) << c.what;
    }
}

TEST(EclipseRefusals, MafcModesAndPixelClockRoutes) {
    Eclipse b;
    struct Mafc {
        uint32_t mode;
        uint8_t set;
    } modes[] = {{0, 0x06}, {1, 0x42}, {2, 0x02}};
    for (const Mafc &c : modes) {
        HSLDACWriteRegister(b.h(), 0x1E, 0xFF);
        EXPECT_EQ(HSLECLControlMAFCPort(b.h(), c.mode), 0u);
        EXPECT_EQ(b.mga->dacReg(0x1E), 0x19 | c.set) << c.mode;
    }
    EXPECT_EQ(HSLECLRoutePixelClock(b.h(), 2), 0u);
    EXPECT_EQ(b.mga->dacReg(0x1A) & 3, 2);
    EXPECT_EQ(b.mga->crtcExt(1) & 0x88, 0x88);
    EXPECT_EQ(HSLECLRoutePixelClock(b.h(), 1), 0u);
    EXPECT_EQ(b.mga->dacReg(0x1A) & 3, 1);
    EXPECT_EQ(b.mga->crtcExt(1) & 0x88, 0);
}

TEST(EclipseRefusals, PhysicalAddressesAreStoredNotMerged) {
    Eclipse b;
    EXPECT_EQ(HALValidatePhysAddr(b.h()), 0u);
    b.h()->HSLData.ulFrameBuffer ^= 0x01000000u;
    EXPECT_EQ(HALValidatePhysAddr(b.h()), HSL_ERR_PHYS_ADDR);
}

TEST(EclipseRefusals, AnErrorPendingTouchesNothing) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
    } cases[] = {
        {"SetPowerState", [](BoardHandle *h) { return HSLECLSetPowerState(h, HSL_POWER_SAVE); }},
        {"SwitchToVGA", HSLECLSwitchToVGA},
        {"SGRAMInit", HSLECLSGRAMInit},
        {"PowerUp", HSLECLPowerUp},
        {"InitHardware", HSLECLInitHardware},
        {"ValidatePhysAddr", HSLECLValidatePhysAddr},
        {"SetMode",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             return HSLECLSetMode(h, &m);
         }},
        {"RoutePixelClock", [](BoardHandle *h) { return HSLECLRoutePixelClock(h, 2); }},
        {"DisableCRTC1Output", HSLECLDisableCRTC1Output},
    };
    for (const Case &c : cases) {
        Eclipse b;
        b.h()->ulErrorCode = 0xB0000001u;
        machine().clearTrace();
        EXPECT_EQ(c.call(b.h()), 0xB0000001u) << c.what;
        EXPECT_TRUE(machine().trace().empty()) << c.what;
    }
}

TEST(EclipseBoard, BoardWordsAndTheOperationTable) {
    Eclipse b;
    const BoardHandle &h = *b.h();
    EXPECT_EQ(h.flCRTCInfo[2], h.HSLData.ulPclkMax8);
    EXPECT_EQ(h.flCRTCInfo[6], h.HSLData.ulPclkMax32);
    EXPECT_EQ(h.flCRTCInfo[7], 0x8001u);
    EXPECT_EQ(h.flEngineCaps1 & ~0x800u, 0x16F771FBu);
    EXPECT_EQ(h.HSLData.ulBaseRegister, kRegsBase);
    EXPECT_EQ(h.HSLData.ulFrameBuffer, kFbBase);
    for (int slot = 0; slot < HSL_SLOT_COUNT; slot++)
        EXPECT_NE(h.HSLJumpTable.apfnSlot[slot],
                  reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction))
            << slot;
    EXPECT_EQ(h.HSLJumpTable.apfnSlot[HSL_SLOT_I2C_GET_SCL],
              reinterpret_cast<HSLJumpSlot>(HSLDACI2CAltGetSCL))
        << "revision 3 reads port 0 on the other pins";
}

// ------------------------------------------------------- libquarn on the chip

TEST(EclipseDriver, InitSetsTheDriversMode) {
    harness::Screen s("quarn", harness::loadConfig("matrox/quarn/eclipse.graf"));
    ASSERT_TRUE(s.start()) << s.failureText();
    auto &mga = dynamic_cast<sim::MgaBoard &>(*s.adapter());
    const sim::MgaBoard::Picture p = mga.picture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 8);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_EQ(p.pitchBytes, 1024u);
    EXPECT_FALSE(p.blanked);
    s.freeScreen();
}

TEST(EclipseDriver, TheNextGenerationFindsTheEngineIdle) {
    graf::Config cfg = harness::loadConfig("matrox/quarn/eclipse.graf");
    cfg.ints["PIXWIDTH"] = 640;
    cfg.ints["PIXHEIGHT"] = 480;
    harness::Screen s("quarn", cfg);
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC();
    s.fillRects(gc, {{0, 0, 640, 480}});
    s.freeScreen();
    EXPECT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
    s.freeScreen();
}

TEST(EclipseDriver, NoBoardDataOrARefusedModeFailsInit) {
    struct Case {
        const char *what;
        std::function<void(graf::Config &)> edit;
    } cases[] = {
        {"no board data anywhere",
         [](graf::Config &c) {
             c.ints["PINS_VERSION"] = -1;
             for (auto it = c.areas.begin(); it != c.areas.end(); ++it)
                 if (it->name == "BIOS") {
                     c.areas.erase(it);
                     break;
                 }
         }},
        {"a mode larger than memory",
         [](graf::Config &c) {
             c.ints["MEMSIZE"] = 0x200000;
             c.ints["DEPTH"] = 32;
         }},
    };
    for (const Case &c : cases) {
        graf::Config cfg = harness::loadConfig("matrox/quarn/eclipse.graf");
        c.edit(cfg);
        harness::Screen s("quarn", cfg);
        EXPECT_FALSE(s.start()) << c.what;
        auto &mga = dynamic_cast<sim::MgaBoard &>(*s.adapter());
        EXPECT_EQ(mga.fills() + mga.copies() + mga.points(), 0) << c.what;
    }
}

} // namespace
