// The twister family on the "mga" board (device 0x1001, synchronous
// memory): its mode set and the steps it shares with eclipse, its codes
// through the public entry points and the operation table, and libquarn
// drawing on it under the plane-mask rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal.h"
#include "hal_addon.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_vidparam.h"
#include "hal_dispatch.h"
#include "harness.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_twi.h"
#include "models/mga_i2c.h"
#include "quarn_seam.h"
#include "server.h"

namespace {

using namespace quarnseam;

ModeInfo mode(uint32_t w, int32_t h, int bpp, int32_t deskW = 0, int32_t deskH = 0) {
    ModeInfo m = vgaMode(w, h, bpp);
    m.lDeskWidth = deskW ? deskW : int32_t(w);
    m.lDeskHeight = deskH ? deskH : h;
    m.lHorizontalRate = 31;
    return m;
}

graf::Builder twisterBoard(int memoryType5 = 1) {
    return mgaBoard(0x1001)
        .integer("PCI_REVISION", 1)
        .integer("MEMSIZE", int(8 * kMB))
        .string("PINS_BYTES", memoryType5 ? "52=0x10" : "");
}

// A twister board the chip layer has read.
struct Twister : Board {
    explicit Twister(graf::Builder b = twisterBoard()) : Board(std::move(b)) {
        EXPECT_EQ(HALGetBoardInfo(h()), 0u) << std::hex << h()->ulErrorCode;
    }
    std::string firstFailure() const { return failures.empty() ? "" : failures[0]; }
};

// Calls an operation-table slot with its own argument types.
template <class... Args> uint32_t viaSlot(BoardHandle *h, int slot, Args... args) {
    h->ulErrorCode = 0;
    const HSLJumpSlot fn = h->HSLJumpTable.apfnSlot[slot];
    if (fn == reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction))
        return HSLTBLNotInitFunction(h);
    return reinterpret_cast<uint32_t (*)(BoardHandle *, Args...)>(fn)(h, args...);
}

// ---------------------------------------------------------------- board

TEST(TwisterBoard, BoardWordsAndTheOperationTable) {
    Twister b;
    const BoardHandle &h = *b.h();
    EXPECT_EQ(h.ulMemoryType, 5u);
    EXPECT_EQ(h.flEngineCaps1, 0x10572BBu) << "no block mode on synchronous memory";
    EXPECT_EQ(h.flCRTCInfo[7], 0x8001u);
    EXPECT_EQ(h.flCRTCInfo[2], h.HSLData.ulPclkMax8);
    const HSLJumpSlot *s = h.HSLJumpTable.apfnSlot;
    const auto notInit = reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction);
    for (int slot = 0; slot < HSL_SLOT_COUNT; slot++)
        EXPECT_EQ(s[slot] == notInit, slot == HSL_SLOT_MODIFY_TV_PARAMETERS) << slot;
    EXPECT_EQ(s[HSL_SLOT_SET_MODE], reinterpret_cast<HSLJumpSlot>(HSLTWISetMode));
    EXPECT_EQ(s[HSL_SLOT_PROGRAM_SYSTEM_CLOCK],
              reinterpret_cast<HSLJumpSlot>(HSLTWIProgramSystemClock));
    EXPECT_EQ(s[HSL_SLOT_CUSTOM_CALL], reinterpret_cast<HSLJumpSlot>(HSLTWICustomCall));

    Twister other(twisterBoard(0).integer("PCI_REVISION", 3));
    EXPECT_EQ(other.h()->flEngineCaps1, 0x10572BBu | 0x800u);
    EXPECT_EQ(other.h()->HSLJumpTable.apfnSlot[HSL_SLOT_I2C_GET_SCL],
              reinterpret_cast<HSLJumpSlot>(HSLDACI2CGetSCL))
        << "no other reader from revision 3";
    EXPECT_EQ(other.h()->HSLJumpTable.apfnSlot[HSL_SLOT_I2C_GET_SDA],
              reinterpret_cast<HSLJumpSlot>(HSLDACI2CGetSDA));
}

TEST(TwisterBoard, SlotEightAnswersNotInitialised) {
    Twister b;
    ModeInfo m = mode(640, 480, 8);
    m.lModeType = 0x2600000;
    machine().clearTrace();
    EXPECT_EQ(HALModifyVideoParameters(b.h(), &m, 1, 0), HSL_ERR_SLOT_NOT_INITIALISED);
    EXPECT_TRUE(machine().trace().empty());
}

// ------------------------------------------------------------ mode checks

TEST(TwisterModeCheck, ZoomOnAnyDesktopAndPlacementAtZero) {
    struct Case {
        const char *what;
        ModeInfo m;
        uint32_t code, pitch;
    } cases[] = {
        {"desktop 1000 x 768", mode(1024, 768, 8, 1000, 768), 0, 1024},
        {"zoom 2 on a smaller desktop",
         [] {
             ModeInfo m = mode(1024, 768, 8, 640, 480);
             m.lZoom = 2;
             return m;
         }(),
         0, 1024},
        {"zoom 4 on a smaller desktop",
         [] {
             ModeInfo m = mode(800, 600, 16, 640, 480);
             m.lZoom = 4;
             return m;
         }(),
         0, 800},
        {"zoom 3",
         [] {
             ModeInfo m = mode(640, 480, 8);
             m.lZoom = 3;
             return m;
         }(),
         HSL_ERR_TWI_ZOOM, 0},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulBaseMemory = 8 * kMB;
        ModeInfo m = c.m;
        m.lDstOrg = m.lDisplayOrg = 99;
        EXPECT_EQ(HSLTWIValidateMode(&h, &m), c.code) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(m.ulFBPitch, c.pitch) << c.what;
            EXPECT_EQ(m.lDstOrg, 0) << c.what;
            EXPECT_EQ(m.lDisplayOrg, 0) << c.what;
        }
    }
}

TEST(TwisterModeCheck, CapabilitiesByMemoryType) {
    struct Case {
        uint32_t memoryType;
        int bpp;
        uint32_t caps;
        int32_t panX;
    } cases[] = {{5, 8, 0x10, 8}, {5, 16, 0x10, 4}, {6, 32, 0x15, 2}, {1, 24, 0x14, 8}};
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulMemoryType = c.memoryType;
        h.HSLData.ulPclkMax8 = h.HSLData.ulPclkMax16 = 220000;
        h.HSLData.ulPclkMax24 = h.HSLData.ulPclkMax32 = 220000;
        ModeInfo m = mode(640, 480, c.bpp);
        EXPECT_EQ(HSLTWIValidateVideoParameters(&h, &m), 0u);
        EXPECT_EQ(m.flModeCaps, c.caps) << c.memoryType << " " << c.bpp;
        EXPECT_EQ(m.lPanXStep, c.panX) << c.bpp;
        EXPECT_EQ(m.lPanYStep, 1);
    }
}

// Every code of the family's column, each through the way a caller reaches
// it: the public entry points, else the operation table.
TEST(TwisterModeCheck, TheCodeColumn) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
        uint32_t code;
    } cases[] = {
        {"pixel clock 0",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lPixClock = 0;
             return HALValidateVideoParameters(h, &m);
         },
         HSL_ERR_TWI_NO_CLOCK},
        {"pixel clock above the limit",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 32);
             m.lPixClock = int32_t(h->HSLData.ulPclkMax32 + 1);
             return HALValidateVideoParameters(h, &m);
         },
         HSL_ERR_TWI_CLOCK_LIMIT},
        {"vertical overscan",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lVOvscan = 2;
             return HALValidateVideoParameters(h, &m);
         },
         HSL_ERR_TWI_VOVSCAN},
        {"depth 12 in the clock check",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 12);
             return HALValidateVideoParameters(h, &m);
         },
         HSL_ERR_TWI_CLOCK_DEPTH},
        {"desktop wider than 8191",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8, 8192, 480);
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_DESK_WIDTH},
        {"zoom 3",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lZoom = 3;
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_ZOOM},
        {"TV without an encoder",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lModeType = 0x2600000;
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_NO_TV},
        {"more than memory",
         [](BoardHandle *h) {
             ModeInfo m = mode(2048, 1536, 32);
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_MEMORY},
        {"depth 12 in the pitch rule",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 12);
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_PITCH_DEPTH},
        {"display wider than 8191",
         [](BoardHandle *h) {
             ModeInfo m = mode(8256, 2, 8, 640, 2);
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_PITCH_WIDTH},
        {"no output route",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lModeType = 0;
             return HALValidateMode(h, &m);
         },
         HSL_ERR_TWI_ROUTE},
        {"TV alone",
         [](BoardHandle *h) {
             ModeInfo m = mode(640, 480, 8);
             m.lModeType = 0x2400000;
             return HALSetMode(h, &m);
         },
         HSL_ERR_TWI_TV_ALONE},
        {"EDID selector 1",
         [](BoardHandle *h) { return viaSlot(h, HSL_SLOT_GET_MONITOR_EDID, 1u); },
         HSL_ERR_TWI_EDID_WHICH},
        {"MAFC mode 3", [](BoardHandle *h) { return viaSlot(h, HSL_SLOT_CONTROL_MAFC_PORT, 3u); },
         HSL_ERR_TWI_MAFC_MODE},
        {"custom call 2", [](BoardHandle *h) { return HALCustomCall(h, 2, 0, 0); },
         HSL_ERR_TWI_CUSTOM_CALL},
        {"custom call 7", [](BoardHandle *h) { return HALCustomCall(h, 7, 0, 0); },
         HSL_ERR_TWI_CUSTOM_CALL},
        {"system clock ratio 1/1",
         [](BoardHandle *h) {
             SysClockInfo c = h->SysClockMode1;
             c.ucGraphicClockDiv = 0x11;
             return viaSlot(h, HSL_SLOT_PROGRAM_SYSTEM_CLOCK, &c);
         },
         HSL_ERR_TWI_SYSCLOCK_RATIO},
    };
    for (const Case &c : cases) {
        Twister b;
        EXPECT_EQ(c.call(b.h()), c.code) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

// ---------------------------------------------------------------- mode set

TEST(TwisterSetMode, TheCallersRecordKeepsPitchPlacementAndCaps) {
    Twister b;
    ModeInfo m = mode(1024, 768, 16, 1000, 700);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m), 0u);
    m.lDstOrg = m.lDisplayOrg = 77;
    m.ulFBPitch = 0;
    m.flModeCaps = 0;
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(m.lDstOrg, 0) << "the desktop starts at the first byte";
    EXPECT_EQ(m.lDisplayOrg, 0);
    EXPECT_EQ(m.ulFBPitch, 1024u) << "the caller's record is not restored";
    EXPECT_EQ(m.flModeCaps, 0x10u);
    const ModeInfo &cur = b.h()->CurrentModeCRTC1;
    EXPECT_EQ(std::memcmp(&cur, &m, sizeof m), 0) << "the current mode is the caller's record";
    EXPECT_EQ(b.h()->ulFreeMemStart1, 768u * 1024 * 2);
    EXPECT_EQ(b.h()->ulFreeMemSize1, 8 * kMB - 768u * 1024 * 2);
    EXPECT_EQ(b.mga->reg(0x1E4C), 1u);
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 16);
    EXPECT_EQ(p.pitchBytes, 2048u);
    EXPECT_EQ(p.startBytes, 0u);
    EXPECT_FALSE(p.blanked);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// The engine's pixel width goes in before the route programs the DAC; the
// system clock comes after the route.
TEST(TwisterSetMode, PixelWidthBeforeTheRoute) {
    struct Case {
        int bpp;
        uint32_t word;
    } cases[] = {{8, 0x8000}, {15, 0x8001}, {16, 0x8001}, {24, 0x8003}, {32, 0x8002}};
    for (const Case &c : cases) {
        Twister b;
        b.memoryInitialised();
        ModeInfo m = mode(640, 480, c.bpp);
        ASSERT_EQ(HALValidateMode(b.h(), &m), 0u) << c.bpp;
        machine().clearTrace();
        ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << c.bpp << std::hex << " " << b.h()->ulErrorCode;
        const int regs = machine().regionIndex("MEMORY");
        int width = -1, pixelFormat = -1, zoomControl = -1, i = 0;
        for (const sim::Access &a : machine().trace()) {
            if (a.region == regs && a.kind == sim::Access::MemWrite) {
                if (a.address == 0x1C04 && width < 0)
                    width = a.value == c.word ? i : -2;
                if (a.address == 0x3C00 && a.value == 0x19 && pixelFormat < 0)
                    pixelFormat = i;
                if (a.address == 0x1E4C && zoomControl < 0)
                    zoomControl = i;
            }
            i++;
        }
        EXPECT_GE(width, 0) << c.bpp << ": 0x1C04 not written with " << std::hex << c.word;
        EXPECT_LT(width, pixelFormat) << c.bpp;
        EXPECT_LT(pixelFormat, zoomControl) << c.bpp;
        EXPECT_EQ(b.mga->picture().bitsPerPixel, c.bpp) << c.bpp;
        EXPECT_TRUE(b.failures.empty()) << c.bpp << ": " << b.firstFailure();
    }
}

TEST(TwisterSetMode, FirstSetInitialisesOnceWithoutADefaultMode) {
    Twister b;
    ASSERT_EQ(b.h()->flStraps & 2, 0u);
    ASSERT_EQ(b.mga->reg(0x1E14) & 0x80000000u, 0u);
    ModeInfo m = mode(800, 600, 8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    machine().clearTrace();
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_TRUE(b.h()->flStraps & 2);
    EXPECT_TRUE(b.mga->reg(0x1E14) & 0x80000000u) << "memory marked initialised";
    // Synchronous memory: DAC pin 0 driven low, OPTION bit 14 untouched.
    EXPECT_EQ(b.mga->dacReg(0x2A) & 0x0F, 1);
    EXPECT_EQ(b.mga->dacReg(0x2B) & 0x01, 0);
    EXPECT_EQ(b.config(0x40) & (1u << 14), 0u);
    // No 640 x 480 default mode on the way: the CRTC is programmed once.
    const int regs = machine().regionIndex("MEMORY");
    int pixelFormats = 0;
    for (const sim::Access &a : machine().trace())
        pixelFormats += a.region == regs && a.kind == sim::Access::MemWrite &&
                        a.address == 0x3C00 && a.value == 0x19;
    EXPECT_EQ(pixelFormats, 1);
    EXPECT_EQ(b.mga->picture().width, 800);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// The routes of twister's own: the DAC alone never turns the panel on,
// whatever the second monitor says; the panel alone never sets up the DAC.
TEST(TwisterSetMode, DacAndPanelRoutes) {
    struct Case {
        const char *what;
        int32_t type;
        uint32_t secondMonitor;
        bool dacSetUp;
        uint8_t latch; // the module's output latch
        uint8_t mafc;  // DAC register 0x1E bits 1-2
    } cases[] = {
        {"DAC, a panel flagged on the second output", 0x1200000, 0x40, true, 0xFF, 0x06},
        {"panel alone", 0x10400000, 0, false, 0xEB, 0x04},
        {"DAC and panel", 0x11600000, 0, true, 0xEB, 0x04},
    };
    for (const Case &c : cases) {
        Twister b;
        b.memoryInitialised();
        b.h()->flStraps |= 2;
        b.h()->HSLData.ucI2CAddPanelLinkModule = 0x44;
        b.h()->SecondMonitor.flMonitor = c.secondMonitor;
        HSLEnablePanelLinkModuleOutput(b.h(), 0);
        HSLFlatEnableMAFC(b.h(), 0);
        ModeInfo m = mode(640, 480, 8);
        m.lModeType = c.type;
        ASSERT_EQ(HALValidateMode(b.h(), &m), 0u) << c.what;
        machine().clearTrace();
        ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << c.what << std::hex << " " << b.h()->ulErrorCode;
        const int regs = machine().regionIndex("MEMORY");
        bool pixelFormat = false;
        for (const sim::Access &a : machine().trace())
            pixelFormat |= a.region == regs && a.kind == sim::Access::MemWrite &&
                           a.address == 0x3C00 && a.value == 0x19;
        EXPECT_EQ(pixelFormat, c.dacSetUp) << c.what;
        EXPECT_EQ(b.mga->i2c().expanderLatch(0x44), c.latch) << c.what;
        EXPECT_EQ(b.mga->dacReg(0x1E) & 0x06, c.mafc) << c.what;
        EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 640u) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

TEST(TwisterSetMode, ARefusedRouteLeavesNoCurrentMode) {
    Twister b;
    ModeInfo m = mode(640, 480, 8);
    m.lModeType = 0x1300000;
    EXPECT_EQ(HALSetMode(b.h(), &m), HSL_ERR_TWI_ROUTE);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u);
}

TEST(TwisterSetMode, ToTextAndBack) {
    Twister b;
    VgaInfo text{};
    HSLVGAReadVgaInfo(b.h(), &text);
    ModeInfo m = mode(640, 480, 16);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSwitchToVGA(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.mga->crtcExt(3) & 0x80, 0);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u);
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, b.h()->SysClockVGA.ulSystemPllFreq);
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    EXPECT_EQ(b.mga->picture().width, 640);
    EXPECT_FALSE(b.mga->picture().blanked);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// --------------------------------------------------------- other operations

TEST(TwisterPower, SaveAndRestoreLeaveRegister1E70Alone) {
    Twister b;
    ModeInfo m = mode(640, 480, 8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u);
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u);
    ClientWriteRegisterDword(b.h(), 0x1E70, 0x1230);
    ClientWriteRegisterDword(b.h(), 0x1E58, 0x5858);
    b.h()->HSLData.aulPowerSave[0] = 0xDEAD;
    machine().clearTrace();
    ASSERT_EQ(HALSetPowerState(b.h(), 0x80000008u), 0u);
    ASSERT_EQ(HALSetPowerState(b.h(), 0x80000000u), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->HSLData.aulPowerSave[0], 0xDEADu);
    EXPECT_EQ(b.mga->reg(0x1E70), 0x1230u);
    EXPECT_EQ(b.mga->reg(0x1E58), 0x5858u);
    const int regs = machine().regionIndex("MEMORY");
    for (const sim::Access &a : machine().trace())
        EXPECT_FALSE(a.region == regs && a.address == 0x1E70) << machine().describe(a);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

// Power-up keeps the clock it knows: a system clock already programmed is
// not programmed again.
TEST(TwisterPower, PowerUpKeepsTheKnownClock) {
    Twister b;
    ASSERT_EQ(HSLTWIProgramSystemClock(b.h(), &b.h()->SysClockMode1), 0u);
    b.memoryInitialised();
    machine().clearTrace();
    ASSERT_EQ(HSLTWIPowerUp(b.h()), 0u);
    for (const sim::Access &a : machine().trace())
        EXPECT_FALSE(a.kind == sim::Access::MemWrite && a.address == 0x3C00 &&
                     (a.value == 0x2C || a.value == 0x2D || a.value == 0x2E))
            << "system PLL written again: " << machine().describe(a);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
}

TEST(TwisterOutput, OffTestsTheCurrentModesPanelBit) {
    struct Case {
        int32_t currentType;
        uint32_t features;
        bool panelOff;
    } cases[] = {{0x11600000, 0, true}, {0x1200000, 0x2000, false}};
    for (const Case &c : cases) {
        Twister b;
        b.h()->HSLData.ucI2CAddPanelLinkModule = 0x44;
        b.h()->CurrentModeCRTC1.lModeType = c.currentType;
        b.h()->flFeatures = c.features;
        HSLDACWriteRegister(b.h(), 0x1E, 0x19);
        EXPECT_EQ(HSLTWIDisableCRTC1Output(b.h()), 0u);
        // The MAFC port is turned off only with the panel.
        EXPECT_EQ((b.mga->dacReg(0x1E) & 0x06) == 0x06, c.panelOff) << std::hex << c.currentType;
        EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
    }
}

// --------------------------------------------------- libquarn on the chip

graf::Config smallTwister() {
    graf::Config cfg = harness::loadConfig("matrox/quarn/twister.graf");
    cfg.ints["PIXWIDTH"] = 640;
    cfg.ints["PIXHEIGHT"] = 480;
    return cfg;
}

TEST(TwisterDriver, InitSetsTheBoardsMode) {
    harness::Screen s("quarn", harness::loadConfig("matrox/quarn/twister.graf"));
    ASSERT_TRUE(s.start()) << s.failureText();
    auto &mga = dynamic_cast<sim::MgaBoard &>(*s.adapter());
    const sim::MgaBoard::Picture p = mga.picture();
    EXPECT_EQ(p.width, 1280);
    EXPECT_EQ(p.height, 1024);
    EXPECT_EQ(p.bitsPerPixel, 15) << "the driver shows depth 16 as 5-5-5";
    EXPECT_EQ(p.startBytes, 0u);
    EXPECT_FALSE(p.blanked);
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
    s.freeScreen();
}

// Under the plane-mask rule the plane-mask register is never written after
// start-up: a full mask draws on the engine, a partial one goes to the
// server's generic routines with the caller's arguments, and the pixels
// match the reference renderer either way.
TEST(TwisterDriver, PlaneMaskRuleOverTheDrawingOperations) {
    struct Case {
        const char *what;
        uint32_t planemask;
        bool generic;
    } cases[] = {{"all 16 planes", 0xFFFF, false},
                 {"all 16 in the low bits", 0xFFFF0000u | 0xFFFF, false},
                 {"15 planes", 0x7FFF, true},
                 {"one plane off", 0xFFFE, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        harness::Screen s("quarn", smallTwister());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(5);
        s.machine().clearTrace();
        server::clearGenCalls();
        const uint32_t pm = c.planemask;
        GCPtr gc = s.createGC({.alu = GXxor, .planemask = pm, .fg = 0x5A3C});
        s.fillRects(gc, {{3, 3, 60, 20}, {100, 40, 101, 41}});
        s.fillSpans(gc, {{10, 30}, {12, 31}}, {50, 1});
        s.drawSolidRects({{200, 5, 260, 30}}, 0x1234, GXcopy, pm);
        s.drawPoints({{300, 10}, {639, 479}}, 0xF00F, GXcopy, pm);
        s.copyRect({20, 100, 120, 150}, {25, 90}, GXcopy, pm);
        const std::vector<uint8_t> bits(4 * 16, 0xA5);
        s.drawMonoImage({400, 100, 432, 116}, bits, 0, 4, 0x7777, GXcopy, pm);
        s.drawOpaqueMonoImage({400, 200, 432, 216}, bits, 0, 4, 0x7777, 0x0101, GXcopy, pm);
        std::vector<uint8_t> glyph(2 * 12);
        for (size_t i = 0; i < glyph.size(); i++)
            glyph[i] = uint8_t(i * 37 + 11);
        s.drawMonoGlyphs({{{500, 300, 516, 312}, 2, glyph.data(), 0},
                          {{520, 300, 536, 312}, 2, glyph.data(), 0}},
                         0x3E3E, GXcopy, pm);
        EXPECT_SCREEN_SAME(s);
        const char *routines[] = {"genSolidFillRects",      "genSolidFS",       "genDrawSolidRects",
                                  "genDrawPoints",          "genCopyRect",      "genDrawMonoImage",
                                  "genDrawOpaqueMonoImage", "genDrawMonoGlyphs"};
        for (const char *r : routines)
            EXPECT_EQ(server::genCallsOf(r).size(), c.generic ? 1u : 0u) << r;
        const int regs = s.machine().regionIndex("MEMORY");
        for (const sim::Access &a : s.machine().trace())
            EXPECT_FALSE(a.region == regs && a.kind == sim::Access::MemWrite && a.address == 0x1C1C)
                << "plane mask written";
        EXPECT_TRUE(s.failures().empty()) << s.failureText();
        s.freeScreen();
    }
}

// A screen comes up on a narrower mode than the one before it in the same
// process (the next server, the library still loaded): its line is its own
// width, not the earlier screen's, so what it draws lands where the server
// expects it.
TEST(TwisterDriver, NarrowerScreenAfterAWiderOne) {
    harness::beginCase();
    {
        graf::Config wide = smallTwister();
        wide.ints["PIXWIDTH"] = 800;
        wide.ints["PIXHEIGHT"] = 600;
        harness::Screen s("quarn", wide);
        ASSERT_TRUE(s.start()) << s.failureText();
        s.setText();
        s.freeScreen();
    }
    harness::restartServer();
    harness::Screen s("quarn", smallTwister());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto &mga = dynamic_cast<sim::MgaBoard &>(*s.adapter());
    EXPECT_EQ(mga.picture().width, 640);
    EXPECT_EQ(mga.picture().pitchBytes, 640u * 2) << "the line shown is the screen's own";
    EXPECT_EQ(mga.reg(0x1C8C), 640u) << "and the engine's pitch";
    s.fillRandom(7);
    GCPtr gc = s.createGC({.alu = GXxor, .fg = 0x00B4});
    s.fillRects(gc, {{0, 0, 640, 1}, {213, 160, 320, 240}, {607, 463, 640, 480}});
    s.copyRect({0, 472, 40, 480}, {600, 0});
    EXPECT_SCREEN_SAME(s);
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
    s.freeScreen();
}

// A visible width overridden below the screen's (to nothing, as a key's
// value cut to 16 bits can make it) still leaves a line that holds the
// whole screen, so the drawing lands where the server expects it.
TEST(TwisterDriver, VisibleWidthOverriddenBelowTheScreens) {
    for (int visible : {0, 600}) {
        SCOPED_TRACE(visible);
        harness::beginCase();
        graf::Config cfg = smallTwister();
        cfg.ints["HVisible"] = visible;
        harness::Screen s("quarn", cfg);
        ASSERT_TRUE(s.start()) << s.failureText();
        auto &mga = dynamic_cast<sim::MgaBoard &>(*s.adapter());
        EXPECT_EQ(mga.reg(0x1C8C), 640u) << "the engine's pitch";
        s.fillRandom(3);
        GCPtr gc = s.createGC({.alu = GXcopy, .fg = 0x1234});
        s.fillRects(gc, {{0, 0, 640, 1}, {213, 160, 320, 240}, {607, 463, 640, 480}});
        s.copyRect({0, 472, 40, 480}, {600, 0});
        EXPECT_SCREEN_SAME(s);
        EXPECT_TRUE(s.failures().empty()) << s.failureText();
        s.freeScreen();
    }
}

} // namespace
