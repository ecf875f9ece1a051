// The toucan mode layer: output routes, the checks of a mode against the
// board, pitch and placement, the mode set on either controller as the
// "mga" board shows it, the display start, the priorities of both
// controllers and the flat-panel port and pixel-clock routing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "hal.h"
#include "hal_error.h"
#include "hsl.h"
#include "hsl_crtc2.h"
#include "hsl_tou_mode.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

ModeInfo mode(uint32_t w, int32_t h, int32_t bpp, int32_t type = 0x1200000) {
    return vgaMode(w, h, bpp, type);
}

// A copy of `m` with `f`'s changes, for a row of a table.
ModeInfo with(ModeInfo m, const std::function<void(ModeInfo &)> &f) {
    f(m);
    return m;
}

uint32_t quiet(BoardHandle *b) {
    return b->ulErrorCode;
}
uint32_t quietClock(BoardHandle *b, SysClockInfo *) {
    return b->ulErrorCode;
}

// The toucan body with the set-up routines of the board family left out:
// the board below is set up as they leave it.
hsldual::ModeFamily testFamily() {
    hsldual::ModeFamily f = hsldual::kToucanModeFamily;
    f.powerUp = quiet;
    f.initHardware = quiet;
    f.programSystemClock = quietClock;
    return f;
}

// A dual-head board as the family's set-up leaves it: board words, memory
// initialised, both controllers without output, the port and clock slots
// filled.
struct Toucan : Board {
    explicit Toucan(uint32_t memory = 8 * kMB, uint32_t features = 0)
        : Board(mgaBoard(0x0525).integer("MEMSIZE", int(memory))) {
        BoardHandle *b = h();
        b->ulChipRev = 1;
        b->flFeatures = features;
        b->ulBaseMemory = memory;
        b->flStraps |= 2;
        HSLData &d = b->HSLData;
        d.ulPLLFreqRef = 27000;
        d.ulVCOMax = d.ulSystemVCOMax = 230000;
        d.ulPclkMax8 = d.ulPclkMax16 = d.ulPclkMax24 = d.ulPclkMax32 = 230000;
        b->CurrentModeCRTC1.lModeType = 0x100000;
        b->CurrentModeCRTC2.lModeType = 0x180000;
        b->CurrentSysClock.ulSystemPllFreq = 100000;
        b->CurrentSysClock.ucMemoryClockDiv = 0x11;
        slot(HSL_SLOT_CONTROL_MAFC_PORT, reinterpret_cast<HSLJumpSlot>(HSLTOUControlMAFCPort));
        slot(HSL_SLOT_ROUTE_PIXEL_CLOCK, reinterpret_cast<HSLJumpSlot>(HSLTOURoutePixelClock));
        slot(HSL_SLOT_PROGRAM_SYSTEM_CLOCK, reinterpret_cast<HSLJumpSlot>(quietClock));
        memoryInitialised();
    }
    void slot(int i, HSLJumpSlot fn) { h()->HSLJumpTable.apfnSlot[i] = fn; }
    uint32_t crtc2(uint32_t offset) { return mga->crtc2(offset); }
    uint32_t validated(ModeInfo &m) {
        HSLTOUValidateMode(h(), &m);
        return HSLTOUValidateVideoParameters(h(), &m);
    }
};

// ------------------------------------------------------------------ routes

TEST(ToucanRoutes, TheTable) {
    struct Case {
        int32_t type;
        uint32_t monitor;
        uint32_t route; // 0: refused
        int32_t typeAfter;
    } cases[] = {
        {0x00100000, 0, 1, 0x00100000},
        {0x01200000, 0, 2, 0x01200000},
        {0x00200000, 0, 2, 0x01200000},
        {0x11600000, 0, 3, 0x11600000},
        {0x09600000, 0, 4, 0x09600000},
        {0x03600000, 0, 5, 0x03600000},
        {0x10400000, 0, 6, 0x10400000},
        {0x08400000, 0, 7, 0x08400000},
        {0x02400000, 0, 8, 0x02400000},
        {0x00180000, 0, 9, 0x00180000},
        {0x01280000, 0, 10, 0x01280000},
        {0x00280000, 0, 10, 0x01280000},
        {0x11680000, 0, 11, 0x11680000},
        {0x09680000, 0, 12, 0x09680000},
        {0x03680000, 0, 13, 0x03680000},
        {0x05680000, 0, 14, 0x05680000},
        {0x10480000, 0, 15, 0x10480000},
        {0x08480000, 0, 16, 0x08480000},
        {0x02480000, 0, 17, 0x02480000},
        {0x04C80000, 0, 18, 0x04C80000},
        // bit 0 and other bits outside the route mask ride along
        {0x01200001, 0, 2, 0x01200001},
        // a second output picked from the second monitor
        {0x00600000, 0x08, 3, 0x11600000},
        {0x00600000, 0x18, 3, 0x11600000},
        {0x00600000, 0x10, 5, 0x03600000},
        {0x00600000, 0x01, 4, 0x09600000},
        {0x00400000, 0x01, 7, 0x08400000},
        {0x00480000, 0x10, 17, 0x02480000},
        {0x00600000, 0x00, 0, 0x01600000},
        // no route
        {0, 0, 0, 0},
        {0x00080000, 0, 0, 0x00080000},
        {0x01000000, 0, 0, 0x01000000},
        {0x03200000, 0, 0, 0x03200000},
        {0x00C00000, 0, 0, 0x00C00000},
        {0x21200000, 0, 2, 0x21200000},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.SecondMonitor.flMonitor = c.monitor;
        ModeInfo m = mode(640, 480, 8, c.type);
        uint32_t route = 99;
        const uint32_t code = HSLTOUValidateOutputMode(&h, &m, &route);
        EXPECT_EQ(route, c.route) << std::hex << c.type << " " << c.monitor;
        EXPECT_EQ(code, c.route ? 0u : HSL_ERR_TOU_ROUTE) << std::hex << c.type;
        EXPECT_EQ(m.lModeType, c.typeAfter) << std::hex << c.type << " " << c.monitor;
    }
}

TEST(ToucanRoutes, RefusedRoutesRecordTheirCodes) {
    struct Case {
        uint32_t (*routine)(BoardHandle *, ModeInfo *);
        uint32_t code;
    } cases[] = {
        {HSLTOUSetModeCRTC1ToCRT, 0xB0D080E0u},     {HSLTOUSetModeCRTC1ToTV, 0xB0D090E0u},
        {HSLTOUSetModeCRTC2ToDacFlat, 0xB0D130E0u}, {HSLTOUSetModeCRTC2ToDacCRT, 0xB0D140E0u},
        {HSLTOUSetModeCRTC2ToDacTV, 0xB0D150E0u},   {HSLTOUSetModeCRTC2ToDacTV_YUV, 0xB0D160E0u},
    };
    for (const Case &c : cases) {
        Toucan b;
        ModeInfo m = mode(640, 480, 16);
        machine().clearTrace();
        EXPECT_EQ(c.routine(b.h(), &m), c.code);
        EXPECT_TRUE(machine().trace().empty()) << std::hex << c.code;
    }
    // The flat panel on the second CRTC needs a later revision, or an encoder on revision 1.
    for (uint32_t rev : {0u, 1u}) {
        Toucan b;
        b.h()->ulChipRev = rev;
        ModeInfo m = mode(640, 480, 16, 0x10480000);
        EXPECT_EQ(HSLTOUSetModeCRTC2ToFlat(b.h(), &m), HSL_ERR_TOU_FLAT_CRTC2) << rev;
    }
}

// ------------------------------------------------------------- mode checks

TEST(ToucanModeCheck, PitchPlacementSizesAndMemory) {
    struct Case {
        const char *what;
        ModeInfo m;
        uint32_t features, code, pitch;
        int32_t dstOrg, displayOrg;
    } cases[] = {
        {"route 2 keeps the width", mode(1024, 768, 8), 0, 0, 1024, 0, 0},
        {"route 4 takes the next 64 above", mode(1024, 768, 8, 0x09600000), 0x180, 0, 1088, 0, 0},
        {"route 17 above 640", mode(1024, 768, 0x20000, 0x02480000), 0x180, 0, 1088, 0, 0},
        {"route 17 at 640", mode(640, 480, 16, 0x02480000), 0x180, 0, 640, 0, 0},
        {"15 bits in 32s", mode(808, 600, 15), 0, 0, 832, 0, 0},
        {"a larger pitch stays a lower bound",
         with(mode(640, 480, 8), [](ModeInfo &m) { m.ulFBPitch = 700; }), 0, 0, 704, 0, 0},
        {"route 17 at 720 x 576", mode(720, 576, 16, 0x02480000), 0x180, 0, 736, 0, 0},
        {"route 17 at 768 x 576", mode(768, 576, 16, 0x02480000), 0x180, HSL_ERR_TOU_SIZE, 0, 0, 0},
        {"route 16 below 640", mode(512, 384, 16, 0x08480000), 0x180, HSL_ERR_TOU_SIZE, 0, 0, 0},
        {"route 16 above 1280", mode(1600, 1200, 16, 0x08480000), 0x180, HSL_ERR_TOU_SIZE, 0, 0, 0},
        {"16 bits on 8 MB", mode(1024, 768, 16), 0, 0, 1024, 0, 0},
        {"16 bits on 8 MB past 3.5 MB",
         with(mode(1024, 768, 16), [](ModeInfo &m) { m.lDisplayOrg = 3670016; }), 0,
         HSL_ERR_TOU_MEMORY, 1024, 3670016, 3670016},
        {"a surface above 16 MB", mode(4096, 2100, 16), 0, HSL_ERR_TOU_MEMORY, 4096, 0, 0},
        {"640 on 800", with(mode(800, 600, 8), [](ModeInfo &m) { m.lDeskWidth = 640; }), 0, 0, 832,
         128, 48},
        {"desktop wider, lower",
         with(mode(640, 480, 8),
              [](ModeInfo &m) {
                  m.lDeskWidth = 800;
                  m.lDeskHeight = 400;
              }),
         0, 0, 832, 40 * 832, 0},
        {"24 bits: the display origin in 16s",
         with(mode(800, 600, 24), [](ModeInfo &m) { m.lDeskWidth = 760; }), 0, 0, 832, 64,
         44 & ~15},
        {"format codes count no memory", mode(720, 576, 0x70000, 0x02480000), 0x180, 0, 768, 0, 0},
        {"desktop wider than 4096",
         with(mode(640, 480, 8), [](ModeInfo &m) { m.lDeskWidth = 4097; }), 0,
         HSL_ERR_TOU_DESK_WIDTH, 0, 0, 0},
        {"a flat panel the board lacks", mode(640, 480, 8, 0x11600000), 0x180,
         HSL_ERR_TOU_NO_OUTPUT_HW, 0, 0, 0},
        {"an encoder the board lacks", mode(640, 480, 8, 0x09600000), 0x6000,
         HSL_ERR_TOU_NO_OUTPUT_HW, 0, 0, 0},
        {"zoom 2 on route 2", with(mode(640, 480, 8), [](ModeInfo &m) { m.lZoom = 2; }), 0, 0, 640,
         0, 0},
        {"zoom 2 on route 10",
         with(mode(640, 480, 16, 0x1280000), [](ModeInfo &m) { m.lZoom = 2; }), 0, HSL_ERR_TOU_ZOOM,
         0, 0, 0},
        {"8 bits on the second CRTC", mode(640, 480, 8, 0x1280000), 0, HSL_ERR_TOU_DEPTH, 0, 0, 0},
        {"a format code on the first CRTC", mode(640, 480, 0x20000), 0, HSL_ERR_TOU_DEPTH, 0, 0, 0},
        {"0x60000 never passes", mode(640, 480, 0x60000, 0x1280000), 0, HSL_ERR_TOU_DEPTH, 0, 0, 0},
        {"depth 12 on the no-output route", mode(640, 480, 12, 0x100000), 0,
         HSL_ERR_TOU_PITCH_DEPTH, 0, 0, 0},
        {"no route", mode(640, 480, 8, 0), 0, HSL_ERR_TOU_ROUTE, 0, 0, 0},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulBaseMemory = 8 * kMB;
        h.flFeatures = c.features;
        ModeInfo m = c.m;
        EXPECT_EQ(HSLTOUValidateMode(&h, &m), c.code) << c.what;
        if (c.pitch) {
            EXPECT_EQ(m.ulFBPitch, c.pitch) << c.what;
            EXPECT_EQ(m.lDstOrg, c.dstOrg) << c.what;
            EXPECT_EQ(m.lDisplayOrg, c.displayOrg) << c.what;
        }
    }
}

TEST(ToucanModeCheck, UnvalidatedExtremesNeitherOverflowNorWrap) {
    BoardHandle h{};
    h.ulBaseMemory = 32 * kMB;
    ModeInfo m = mode(0xFFFFFFF0u, 0x7FFFFFFF, 32);
    m.lDeskWidth = -8;
    m.lDisplayOrg = 0x7FFFFFF0;
    EXPECT_NE(HSLTOUValidateMode(&h, &m), 0u);
    h.ulErrorCode = 0;
    EXPECT_EQ(HSLTOUComputeDSTORG(&h, &m), 0u);
    h.ulErrorCode = 0;
    EXPECT_EQ(HSLTOUComputePitch(&h, &m), HSL_ERR_TOU_PITCH_WIDTH);
}

TEST(ToucanModeCheck, ClockChecksAndCapabilities) {
    struct Case {
        const char *what;
        ModeInfo m;
        uint32_t code, caps;
        int32_t panX;
    } cases[] = {
        {"8 bits", mode(640, 480, 8), 0, 0x35, 8},
        {"16 bits", mode(640, 480, 16), 0, 0x35, 4},
        {"24 bits", mode(640, 480, 24), 0, 0x34, 16},
        {"32 bits", mode(640, 480, 32), 0, 0x35, 2},
        {"second CRTC", mode(640, 480, 16, 0x1280000), 0, 0x05, 4},
        {"second CRTC, a format code", mode(720, 576, 0x20000, 0x1280000), 0, 0x05, 8},
        {"800 at 8 bits, zoom 2", with(mode(800, 600, 8), [](ModeInfo &m) { m.lZoom = 2; }), 0,
         0x35, 16},
        {"800 at 16 bits, zoom 2", with(mode(800, 600, 16), [](ModeInfo &m) { m.lZoom = 2; }), 0,
         0x35, 4},
        {"800 at 24 bits, zoom 4", with(mode(800, 600, 24), [](ModeInfo &m) { m.lZoom = 4; }), 0,
         0x34, 32},
        {"1600 at 8 bits, zoom 4", with(mode(1600, 1200, 8), [](ModeInfo &m) { m.lZoom = 4; }), 0,
         0x35, 16},
        {"no clock", with(mode(640, 480, 8), [](ModeInfo &m) { m.lPixClock = 0; }),
         HSL_ERR_TOU_NO_CLOCK, 0, 0},
        {"second CRTC above 135 MHz",
         with(mode(640, 480, 16, 0x1280000), [](ModeInfo &m) { m.lPixClock = 135001; }),
         HSL_ERR_TOU_CLOCK_LIMIT, 0, 0},
        {"first CRTC at 135.001 MHz",
         with(mode(640, 480, 16), [](ModeInfo &m) { m.lPixClock = 135001; }), 0, 0x35, 4},
        {"interlaced second CRTC",
         with(mode(640, 480, 16, 0x1280000), [](ModeInfo &m) { m.lSignalMode = 1; }),
         HSL_ERR_TOU_INTERLACE, 0, 0},
        {"interlaced second CRTC allowed",
         with(mode(720, 576, 0x70000, 0x4C80000), [](ModeInfo &m) { m.lSignalMode = 1; }), 0, 0x05,
         8},
        {"above the 16-bit limit",
         with(mode(640, 480, 16), [](ModeInfo &m) { m.lPixClock = 150001; }),
         HSL_ERR_TOU_CLOCK_LIMIT, 0, 0},
        {"above the VCO", with(mode(640, 480, 8), [](ModeInfo &m) { m.lPixClock = 220001; }),
         HSL_ERR_TOU_CLOCK_LIMIT, 0, 0},
        {"depth 12", mode(640, 480, 12), HSL_ERR_TOU_CLOCK_DEPTH, 0, 0},
        {"vertical overscan", with(mode(640, 480, 8), [](ModeInfo &m) { m.lVOvscan = 1; }),
         HSL_ERR_TOU_VOVSCAN, 0, 0},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        HSLData &d = h.HSLData;
        d.ulPclkMax8 = d.ulPclkMax24 = d.ulPclkMax32 = 220000;
        d.ulPclkMax16 = 150000;
        d.ulVCOMax = 220000;
        ModeInfo m = c.m;
        EXPECT_EQ(HSLTOUValidateVideoParameters(&h, &m), c.code) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(m.flModeCaps, c.caps) << c.what;
            EXPECT_EQ(m.lPanXStep, c.panX) << c.what;
            EXPECT_EQ(m.lPanYStep, 1) << c.what;
        }
    }
    // Memory type 5 has neither capability bit 0x1 nor 0x4.
    BoardHandle h{};
    h.ulMemoryType = 5;
    ModeInfo m = mode(640, 480, 8);
    HSLTOUSetModeCaps(&h, &m);
    EXPECT_EQ(m.flModeCaps, 0x30u);
}

// -------------------------------------------------------------- priorities

TEST(ToucanPriorities, LevelsClassesAndZeroDivisors) {
    struct Case {
        const char *what;
        int32_t bpp1, clock1, bpp2, clock2;
        uint32_t systemPll;
        uint8_t divider, p1, p2;
    } cases[] = {
        {"level 9 and a negative one", 8, 15000, 16, 135000, 10000, 0x12, 0x27, 0x00},
        {"both in the second class", 8, 65000, 16, 25000, 100000, 0x11, 0x25, 0x25},
        {"both in the first class", 16, 25000, 16, 25000, 10000, 0x11, 0x12, 0x12},
        {"level 0", 16, 25000, 16, 25000, 10000, 0x12, 0x00, 0x00},
        {"pixel clock 0", 8, 0, 16, 25000, 100000, 0x11, 0, 0},
        {"second pixel clock 0", 8, 65000, 16, 0, 100000, 0x11, 0, 0},
        {"pixel clock above 1,000,000 kHz", 8, 1000001, 16, 25000, 100000, 0x11, 0, 0},
        {"system PLL cleared", 8, 65000, 16, 25000, 0, 0x11, 0, 0},
        {"divider without a numerator", 8, 65000, 16, 25000, 100000, 0x01, 0, 0},
        {"Q4 x Q2 from 10000 to 19999", 8, 25000, 16, 25000, 1000, 0x21, 0, 0},
        {"second CRTC at 8 bits", 8, 65000, 8, 25000, 100000, 0x11, 0, 0},
        {"first CRTC at a format code", 0x20000, 65000, 16, 25000, 100000, 0x11, 0, 0},
        {"negative clocks", 8, -65000, 16, -25000, 100000, 0x11, 0x26, 0x26},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.CurrentSysClock.ulSystemPllFreq = c.systemPll;
        h.CurrentSysClock.ucMemoryClockDiv = c.divider;
        ModeInfo m1 = mode(640, 480, c.bpp1), m2 = mode(640, 480, c.bpp2, 0x1280000);
        m1.lPixClock = c.clock1;
        m2.lPixClock = c.clock2;
        uint8_t p1 = 0xEE, p2 = 0xEE;
        EXPECT_EQ(HSLTOUHipriDualUnit(&h, &m1, &m2, &p1, &p2), 0u) << c.what;
        EXPECT_EQ(p1, c.p1) << c.what;
        EXPECT_EQ(p2, c.p2) << c.what;
    }
}

// ------------------------------------------------- port and clock routing

TEST(ToucanPort, MafcCodes) {
    const uint8_t bits[] = {0x06, 0x42, 0x02, 0x82, 0xC2, 0x04, 0x84};
    for (uint32_t code = 0; code <= 7; code++) {
        Toucan b;
        HSLDACWriteRegister(b.h(), 0x1E, 0xFF);
        const uint32_t result = HSLTOUControlMAFCPort(b.h(), code);
        EXPECT_EQ(result, code < 7 ? 0u : HSL_ERR_TOU_MAFC_CODE) << code;
        EXPECT_EQ(b.mga->dacReg(0x1E), 0x19 | (code < 7 ? bits[code] : 0)) << code;
    }
}

TEST(ToucanPort, PixelClockRoutes) {
    struct Case {
        uint32_t code;
        uint8_t tvStandard;
        uint32_t control; // the control word after, from 0x00000008
        uint32_t dataControl;
        uint8_t clockBits, ext1Bits;
    } cases[] = {
        {0, 0, 0x00000008u, 0x0, 1, 0x00},
        {2, 0, 0x00000008u, 0x0, 2, 0x88},
        {3, 0, 0xD0000003u, 0x0, 1, 0x00},
        // Code 4 waits for the second controller's frame to start over,
        // then lets it run.
        {4, 0, 0xD2000003u, 0x0, 1, 0x00},
        {4, 1, 0xD2000003u, 0x10, 1, 0x00},
        {6, 0, 0x00000003u, 0x0, 1, 0x00},
    };
    for (const Case &c : cases) {
        Toucan b;
        b.h()->TVState.ucTVStandard = c.tvStandard;
        ClientWriteRegisterDword(b.h(), CRTC2_CONTROL, 0x8);
        const uint8_t ext1 = 0x77;
        ClientWriteRegisterByte(b.h(), 0x1FDE, 1);
        ClientWriteRegisterByte(b.h(), 0x1FDF, ext1 | (c.code == 2 ? 0 : 0x88));
        EXPECT_EQ(HSLTOURoutePixelClock(b.h(), c.code), 0u) << c.code;
        EXPECT_EQ(b.crtc2(CRTC2_CONTROL), c.control) << c.code;
        EXPECT_EQ(b.crtc2(CRTC2_DATA_CONTROL), c.dataControl) << c.code;
        EXPECT_EQ(b.mga->dacReg(0x1A) & 3, c.clockBits) << c.code;
        EXPECT_EQ(b.mga->crtcExt(1), ext1 | c.ext1Bits) << c.code;
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
}

// --------------------------------------------------------------- mode set

TEST(ToucanSetMode, Route2ShowsThePictureAndSetsTheFreeMemory) {
    Toucan b;
    ModeInfo m = mode(640, 480, 16);
    ASSERT_EQ(b.validated(m), 0u);
    const ModeInfo before = m;
    ASSERT_EQ(hsldual::setMode(testFamily(), b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0) << "the caller's record is unchanged";
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.bitsPerPixel, 16);
    EXPECT_EQ(p.pitchBytes, 1280u);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_FALSE(p.blanked);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lModeType, 0x1200000);
    EXPECT_EQ(b.h()->ulFreeMemStart1, 640u * 480 * 2);
    EXPECT_EQ(b.h()->ulFreeMemSize1, 8 * kMB - 640u * 480 * 2);
    EXPECT_EQ(b.mga->dacReg(0x20) & 0xF, 4) << "the clock control of later revisions";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanSetMode, ASurfaceBeyondMemoryLeavesNoFreeMemory) {
    Toucan b(2 * kMB);
    ModeInfo m = mode(640, 480, 32);
    m.lDeskHeight = 4000; // never validated
    ASSERT_EQ(hsldual::setMode(testFamily(), b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->ulFreeMemStart1, 640u * 4000 * 4);
    EXPECT_EQ(b.h()->ulFreeMemSize1, 0u);
}

TEST(ToucanSetMode, Route10PutsTheSecondCrtcOnTheDac) {
    Toucan b;
    ModeInfo m = mode(640, 480, 16, 0x1280000);
    m.lDisplayOrg = 0x100000 / 2;
    ASSERT_EQ(b.validated(m), 0u);
    const ModeInfo before = m;
    ASSERT_EQ(HSLTOUSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0) << "the caller's record is unchanged";
    const sim::MgaBoard::SecondPicture p = b.mga->secondPicture();
    EXPECT_TRUE(p.enabled);
    EXPECT_TRUE(p.onDac);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.htotal, 800);
    EXPECT_EQ(p.vtotal, 525);
    EXPECT_EQ(p.bitsPerPixel, 16);
    EXPECT_EQ(p.offsetBytes, 1280u);
    EXPECT_EQ(p.startBytes, 0x100000u);
    EXPECT_EQ(b.crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_PRIORITIES, 0u);
    EXPECT_EQ(b.mga->displayPitch(), 1280u);
    EXPECT_EQ(b.h()->CurrentModeCRTC2.lModeType, 0x1280000);
    EXPECT_EQ(b.h()->ulFreeMemStart1, 0u) << "a second-CRTC mode leaves the free memory";
    EXPECT_NE(b.mga->describe().find("second CRTC 640x480"), std::string::npos)
        << b.mga->describe();
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanSetMode, BothControllersGetTheirPriorities) {
    Toucan b;
    ModeInfo m1 = mode(640, 480, 8);
    m1.lPixClock = 65000; // priorities from (8 bits, 65 MHz; 16 bits, 25 MHz)
    ModeInfo m2 = mode(640, 480, 16, 0x1280000);
    m2.lPixClock = 25000;
    m2.lDisplayOrg = 0x80000;
    ASSERT_EQ(hsldual::setMode(testFamily(), b.h(), &m1), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(hsldual::setMode(testFamily(), b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.mga->crtcExt(6) & 0x77, 0x25);
    EXPECT_EQ(b.crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_PRIORITIES, 0x250u);
    EXPECT_TRUE(b.crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_ENABLE);
    // Stopping the second CRTC hands the first its own request again.
    ModeInfo off = mode(640, 480, 16, 0x180000);
    ASSERT_EQ(hsldual::setMode(testFamily(), b.h(), &off), 0u);
    EXPECT_EQ(b.h()->CurrentModeCRTC2.lModeType, 0x180000);
    EXPECT_FALSE(b.crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_ENABLE);
    EXPECT_TRUE(b.crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_STOPPED);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// Through the public entry points on a board the chip layer has read.
TEST(ToucanSetMode, BothControllersThroughThePublicEntryPoints) {
    Board b(mgaBoard(0x0525)
                .integer("PCI_REVISION", 3)
                .integer("MEMSIZE", int(8 * kMB))
                .memory("FBM", kFbBase, 32 * kMB));
    b.h()->HSLData.ulPLLFreqRef = 27000;
    b.h()->HSLData.ulVCOMax = b.h()->HSLData.ulSystemVCOMax = 230000;
    b.h()->ulChipRev = 3;
    ASSERT_EQ(HALGetBoardInfo(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    ModeInfo m = mode(640, 480, 16);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    const ModeInfo before = m;
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0) << "the caller's record is unchanged";
    sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.bitsPerPixel, 16);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_FALSE(p.blanked);

    ModeInfo m2 = mode(640, 480, 16, 0x1280000);
    m2.lDisplayOrg = 0x100000;
    ASSERT_EQ(HALValidateMode(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALSetMode(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    const sim::MgaBoard::SecondPicture q = b.mga->secondPicture();
    EXPECT_TRUE(q.enabled && q.onDac);
    EXPECT_EQ(q.width, 640);
    EXPECT_EQ(q.startBytes, 0x200000u);
    uint8_t p1 = 0, p2 = 0;
    HSLTOUHipriDualUnit(b.h(), &b.h()->CurrentModeCRTC1, &b.h()->CurrentModeCRTC2, &p1, &p2);
    EXPECT_EQ(b.mga->crtcExt(6) & 0x77, p1);
    EXPECT_EQ((b.mga->crtc2(CRTC2_CONTROL) >> 4) & 0x77, p2);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanSetMode, NoRouteProgramsNoTiming) {
    Toucan b;
    ModeInfo m = mode(640, 480, 8, 0x1600000);
    std::vector<uint8_t> before;
    for (int i = 0; i < 0x19; i++)
        before.push_back(b.mga->crtc(i));
    EXPECT_EQ(hsldual::setMode(testFamily(), b.h(), &m), HSL_ERR_TOU_ROUTE);
    for (int i = 0; i < 0x19; i++)
        EXPECT_EQ(b.mga->crtc(i), before[size_t(i)]) << "CR" << i;
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lModeType, 0x100000);
}

// ----------------------------------------------------------- display start

TEST(ToucanDisplayStart, FirstCrtcReachesBit21) {
    Toucan b;
    ModeInfo &cur = b.h()->CurrentModeCRTC1;
    cur = mode(2048, 1536, 32);
    cur.ulFBPitch = 2048;
    cur.lDisplayOrg = 16;
    ClientWriteRegisterByte(b.h(), 0x1FDE, 0);
    ClientWriteRegisterByte(b.h(), 0x1FDF, 0xBF);
    // (1500 x 2048 + 8 + 16) / 2 = 1536012 = 0x17700C: bit 20 set, bit 21 clear;
    // (2100 x 2048) / 2 = 0x20D000: bit 21 set.
    EXPECT_EQ(HSLTOUSetDisplayStart(b.h(), 8, 1500, 0), 0u);
    EXPECT_EQ(b.mga->crtc(0x0D), 0x0C);
    EXPECT_EQ(b.mga->crtc(0x0C), 0x70);
    EXPECT_EQ(b.mga->crtcExt(0), 0xB0 | 0x7 | 0x40);
    EXPECT_EQ(b.mga->crtcExt8() & 1, 0);
    EXPECT_EQ(b.mga->picture().startBytes, 0x17700Cu * 8);
    cur.lDisplayOrg = 0;
    EXPECT_EQ(HSLTOUSetDisplayStart(b.h(), 0, 2100, 0), 0u);
    EXPECT_EQ(b.mga->crtcExt8() & 1, 1);
    EXPECT_EQ(b.mga->crtcExt(0), 0xB0);
    EXPECT_EQ(cur.lDisplayStartY, 2100);
    // CRTC 1 goes to the second controller.
    b.h()->CurrentModeCRTC2 = mode(640, 480, 16, 0x1280000);
    b.h()->CurrentModeCRTC2.ulFBPitch = 640;
    EXPECT_EQ(HSLTOUSetDisplayStart(b.h(), 2, 1, 1), 0u);
    EXPECT_EQ(b.crtc2(CRTC2_START0_SECOND), (640u + 2) * 2);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanErrors, AnErrorPendingTouchesNothing) {
    const std::function<uint32_t(BoardHandle *)> calls[] = {
        [](BoardHandle *h) {
            ModeInfo m = mode(640, 480, 8);
            return HSLTOUSetMode(h, &m);
        },
        [](BoardHandle *h) {
            ModeInfo m = mode(640, 480, 16, 0x1280000);
            return HSLTOUSetMode(h, &m);
        },
        [](BoardHandle *h) { return HSLTOUSetDisplayStart(h, 0, 0, 0); },
        [](BoardHandle *h) { return HSLTOUSetDisplayStart(h, 0, 0, 1); },
        [](BoardHandle *h) { return HSLTOUControlMAFCPort(h, 9); },
        [](BoardHandle *h) { return HSLTOURoutePixelClock(h, 4); },
        HSLTOUDisableCRTC1Output,
        HSLTOUDisableCRTC2Output,
    };
    int i = 0;
    for (const auto &call : calls) {
        Toucan b;
        b.h()->ulErrorCode = 0xB0000001u;
        machine().clearTrace();
        EXPECT_EQ(call(b.h()), 0xB0000001u) << i;
        EXPECT_TRUE(machine().trace().empty()) << i;
        i++;
    }
}

} // namespace
