// The condor family on the "mga" board (device 0x0525, revision 0x80 and
// above): the operation table, what PInS byte 95 lets the chip layer do
// (memory initialisation, system clock, PLL search), the codes in condor's
// modules, the routes it admits, and mode sets on a board whose data claims
// flat-panel support.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hal.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_con.h"
#include "hsl_crtc2.h"
#include "hsl_tou.h"
#include "hsl_tou_mode.h"
#include "hal_vidparam.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

constexpr uint32_t kClockSelect = 0x54, kBiosClockSelect = 0x01906419u;

graf::Builder condorBoard(int byte95) {
    char pins[16];
    std::snprintf(pins, sizeof pins, "95=0x%02X", byte95);
    return mgaBoard(0x0525)
        .integer("PCI_REVISION", 0x85)
        .integer("MEMSIZE", int(8 * kMB))
        .string("PINS_BYTES", pins)
        .memory("FBM", kFbBase, 32 * kMB);
}

SysClockInfo clockOf(uint32_t khz, uint8_t div) {
    SysClockInfo c{};
    c.ulSystemPllFreq = khz;
    c.ulMCTLWTST = 0x01234567;
    c.ucGraphicClockDiv = c.ucMemoryClockDiv = c.ucWarpClockDiv = div;
    return c;
}

// A condor board the chip layer has read.
struct Condor : Board {
    explicit Condor(int byte95) : Board(condorBoard(byte95)) {
        HSLData &d = h()->HSLData;
        d.ulPLLFreqRef = 27000;
        d.ulVCOMax = d.ulSystemVCOMax = 230000;
        EXPECT_EQ(HALGetBoardInfo(h()), 0u) << std::hex << h()->ulErrorCode;
        EXPECT_EQ(h()->HSLData.aucPInS[95], byte95);
    }
    bool wrote(const std::string &what) {
        for (const std::string &l : traceLines())
            if (l.find(what) != std::string::npos)
                return true;
        return false;
    }
};

ModeInfo mode(uint32_t w, int32_t h, int32_t bpp, int32_t type = 0x1200000) {
    return vgaMode(w, h, bpp, type);
}

template <class F> HSLJumpSlot slotOf(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

// -------------------------------------------------------- board and table

TEST(CondorBoard, TheOperationTableLeavesTheMissingOperationsEmpty) {
    Condor b(0x07);
    const HSLJumpSlot *s = b.h()->HSLJumpTable.apfnSlot;
    const struct {
        int slot;
        HSLJumpSlot fn;
    } filled[] = {
        {HSL_SLOT_SET_POWER_STATE, slotOf(HSLCONSetPowerState)},
        {HSL_SLOT_VALIDATE_MODE, slotOf(HSLCONValidateMode)},
        {HSL_SLOT_VALIDATE_VIDEO_PARAMETERS, slotOf(HSLCONValidateVideoParameters)},
        {HSL_SLOT_SWITCH_TO_VGA, slotOf(HSLCONSwitchToVGA)},
        {HSL_SLOT_SET_MODE, slotOf(HSLCONSetMode)},
        {HSL_SLOT_PROGRAM_SYSTEM_CLOCK, slotOf(HSLCONProgramSystemClock)},
        {HSL_SLOT_SET_DISPLAY_START, slotOf(HSLCONSetDisplayStart)},
        {HSL_SLOT_DETECT_TV, slotOf(HSLMAVDetectTV)},
        {HSL_SLOT_I2C_SET_SCL, slotOf(HSLDACI2CSetSCL)},
        {HSL_SLOT_I2C_GET_SCL, slotOf(HSLDACI2CGetSCL)},
        {HSL_SLOT_I2C_SET_SDA, slotOf(HSLDACI2CSetSDA)},
        {HSL_SLOT_I2C_GET_SDA, slotOf(HSLDACI2CGetSDA)},
        {HSL_SLOT_GET_MAX_I2C_CLOCK, slotOf(HSLDACGetMaxI2CClock)},
        {HSL_SLOT_INIT_ACCESS, slotOf(HSLCONInitAccess)},
        {HSL_SLOT_GET_BOARD_INFO, slotOf(HSLCONGetBoardInfo)},
        {HSL_SLOT_GET_MONITOR_EDID, slotOf(HSLCONGetMonitorEDID)},
        {HSL_SLOT_GET_ADD_ON_INFO, slotOf(HSLCONGetAddOnInfo)},
        {HSL_SLOT_SENCE_MONITOR_LOAD, slotOf(HSLDACSenceMonitorLoad)},
        {HSL_SLOT_INIT_EXTRA_JMP_TBL, slotOf(HSLCONInitExtraJmpTbl)},
        {HSL_SLOT_INIT_HARDWARE, slotOf(HSLCONInitHardware)},
        {HSL_SLOT_VALIDATE_PHYS_ADDR, slotOf(HSLCONValidatePhysAddr)},
    };
    std::vector<bool> seen(HSL_SLOT_COUNT);
    for (const auto &f : filled) {
        EXPECT_EQ(s[f.slot], f.fn) << "slot " << f.slot;
        seen[size_t(f.slot)] = true;
    }
    for (int i = 0; i < HSL_SLOT_COUNT; i++) {
        if (!seen[size_t(i)]) {
            EXPECT_EQ(s[i], slotOf(HSLTBLNotInitFunction)) << "slot " << i;
        }
    }
    EXPECT_EQ(HALCustomCall(b.h(), 1, 0, 0), HSL_ERR_SLOT_NOT_INITIALISED);

    // Toucan's engine capabilities without bit 19.
    const uint32_t caps = b.h()->flEngineCaps1;
    EXPECT_EQ(caps & 0x3FF, 0x3FBu);
    EXPECT_EQ(caps & 0x1EFFF000u, 0x1EF77000u);
    EXPECT_EQ(caps & (1u << 19), 0u);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lModeType, 0x100000);
    EXPECT_EQ(b.h()->CurrentModeCRTC2.lModeType, 0x180000);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(CondorBoard, NoSecondMonitorNoAddOnsNoSecondDisplayStart) {
    Condor b(0x04);
    b.h()->SecondMonitor.flMonitor = 0x43;
    b.h()->SecondMonitor.ulEDIDVersion = 0x13;
    b.h()->flFeatures = 0x6180;
    machine().clearTrace();
    EXPECT_EQ(HSLCONGetMonitorEDID(b.h(), 2), 0u);
    EXPECT_EQ(HSLCONGetMonitorEDID(b.h(), 7), 0u);
    EXPECT_EQ(b.h()->SecondMonitor.flMonitor, 0u);
    EXPECT_EQ(b.h()->SecondMonitor.ulEDIDVersion, 0u);
    EXPECT_EQ(HSLCONGetAddOnInfo(b.h()), 0u);
    EXPECT_EQ(b.h()->flFeatures, 0u);
    const ModeInfo crtc2 = b.h()->CurrentModeCRTC2;
    EXPECT_EQ(HALSetDisplayStart(b.h(), 16, 8, 1), 0u);
    EXPECT_TRUE(machine().trace().empty()) << traceLines().front();
    EXPECT_EQ(std::memcmp(&crtc2, &b.h()->CurrentModeCRTC2, sizeof crtc2), 0);
    EXPECT_EQ(HSLCONCustomCall(b.h(), 5, nullptr), 0u);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// The board model's condor: the clocks its video BIOS left running from the
// system PLL, and no register for toucan's compensation and power-up word.
TEST(CondorModel, TheBiosClocksAndTheMissingCompensationRegister) {
    Board b(condorBoard(0));
    EXPECT_EQ(b.config(kClockSelect), kBiosClockSelect);
    EXPECT_TRUE(b.failures.empty());
    ClientWriteRegisterDword(b.h(), 0x1E4C, 1);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("condor"), std::string::npos) << b.failures[0];
    // A toucan has the register.
    Board t(mgaBoard(0x0525).integer("PCI_REVISION", 1).memory("FBM", kFbBase, 32 * kMB));
    ClientWriteRegisterDword(t.h(), 0x1E4C, 1);
    EXPECT_TRUE(t.failures.empty()) << t.failures.front();
}

// ------------------------------------------------------------- byte 95

TEST(CondorBoardData, Byte95GatesMemoryInitialisationClockAndPllSearch) {
    struct Case {
        int byte95;
        bool memory, clock;
    } cases[] = {
        {0x00, false, false}, {0x01, true, false}, {0x02, false, true},
        {0x04, false, false}, {0x06, false, true}, {0x07, true, true},
    };
    for (const Case &c : cases) {
        Condor b(c.byte95);
        b.h()->SysClockVGA = clockOf(50000, 0x11);
        b.h()->SysClockMode1 = clockOf(120000, 0x12);
        b.h()->HSLData.ulMemRdBk = 0x9;
        const uint8_t pllM = b.mga->dacReg(0x2C), pllN = b.mga->dacReg(0x2D);
        machine().clearTrace();
        EXPECT_EQ(HSLCONPowerUp(b.h()), 0u) << c.byte95 << std::hex << " " << b.h()->ulErrorCode;
        EXPECT_EQ(b.wrote("0x1C04"), c.memory) << c.byte95;
        EXPECT_EQ(b.mga->reg(0x1E14) & 0x80000000u, 0x80000000u) << "powered up";
        if (c.clock) {
            EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 120000u) << c.byte95;
            EXPECT_NE(b.config(kClockSelect), kBiosClockSelect) << c.byte95;
            // The PLL values come from the search, whether or not the
            // board data asks for it: no video BIOS answers here.
            const uint32_t khz = b.mga->pllKHz(false);
            EXPECT_LE(khz > 120000 ? khz - 120000 : 120000 - khz, 600u) << c.byte95;
        } else {
            EXPECT_EQ(
                std::memcmp(&b.h()->CurrentSysClock, &b.h()->SysClockVGA, sizeof(SysClockInfo)), 0)
                << "the BIOS's clock is taken as in force, " << c.byte95;
            EXPECT_EQ(b.config(kClockSelect), kBiosClockSelect) << c.byte95;
            EXPECT_EQ(b.mga->dacReg(0x2C), pllM) << c.byte95;
            EXPECT_EQ(b.mga->dacReg(0x2D), pllN) << c.byte95;
        }
        EXPECT_TRUE(b.failures.empty()) << c.byte95 << ": " << b.failures.front();
    }
}

TEST(CondorBoardData, WithoutTheClockBitProgrammingTouchesNothing) {
    Condor b(0x05);
    SysClockInfo c = clockOf(150000, 0x12);
    machine().clearTrace();
    EXPECT_EQ(HSLCONProgramSystemClock(b.h(), &c), 0u);
    EXPECT_TRUE(machine().trace().empty()) << traceLines().front();
    EXPECT_NE(b.h()->CurrentSysClock.ulSystemPllFreq, 150000u);
}

// ---------------------------------------------------------------- modes

TEST(CondorModes, OnlyTheRoutesWithoutFlatPanelSecondCrtOrTvPass) {
    const int32_t routes[] = {0,          0x00100000, 0x01200000, 0x11600000, 0x09600000,
                              0x03600000, 0x10400000, 0x08400000, 0x02400000, 0x00180000,
                              0x01280000, 0x11680000, 0x09680000, 0x03680000, 0x05680000,
                              0x10480000, 0x08480000, 0x02480000, 0x04C80000};
    for (int route = 1; route <= 18; route++) {
        BoardHandle h{};
        h.ulBaseMemory = 8 * kMB;
        h.flFeatures = 0x6180; // flat panel and TV encoder claimed
        ModeInfo m = mode(640, 480, 16, routes[route]);
        const bool passes = route == 1 || route == 2 || route == 9 || route == 10;
        EXPECT_EQ(HSLCONValidateMode(&h, &m), passes ? 0u : HSL_ERR_CON_NO_OUTPUT_HW)
            << "route " << route;
    }
    BoardHandle h{};
    h.ulBaseMemory = 8 * kMB;
    ModeInfo none = mode(640, 480, 16, 0x40000000);
    EXPECT_EQ(HSLCONValidateMode(&h, &none), HSL_ERR_CON_ROUTE);
    // Every other code in condor's modules too.
    h.ulErrorCode = 0;
    ModeInfo zoom = mode(640, 480, 16);
    zoom.lZoom = 3;
    EXPECT_EQ(HSLCONValidateMode(&h, &zoom), 0xB19010F0u);
    h.ulErrorCode = 0;
    ModeInfo depth = mode(640, 480, 12);
    EXPECT_EQ(HSLCONComputePitch(&h, &depth), 0xB180E100u);
    h.ulErrorCode = 0;
    ModeInfo clock = mode(640, 480, 16);
    clock.lPixClock = 0;
    EXPECT_EQ(HSLCONValidateVideoParameters(&h, &clock), 0xB1902031u);
}

// A board whose data claims the flat panel: the mode set skips the port
// and pixel-clock routing condor does not have, on either controller.
TEST(CondorSetMode, FlatPanelFeatureBitsDoNotStopEitherController) {
    Condor b(0x04);
    b.h()->flFeatures = 0x6000;
    ModeInfo m = mode(640, 480, 8);
    ASSERT_EQ(HALValidateMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALSetMode(b.h(), &m), 0u) << std::hex << b.h()->ulErrorCode;
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_FALSE(p.blanked);
    const uint8_t ext6 = b.mga->crtcExt(6);

    ModeInfo m2 = mode(640, 480, 16, 0x1280000);
    m2.lDisplayOrg = 0x100000;
    ASSERT_EQ(HALValidateMode(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALValidateVideoParameters(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    ASSERT_EQ(HALSetMode(b.h(), &m2), 0u) << std::hex << b.h()->ulErrorCode;
    const sim::MgaBoard::SecondPicture q = b.mga->secondPicture();
    EXPECT_TRUE(q.enabled && q.onDac);
    EXPECT_EQ(q.width, 640);
    EXPECT_EQ(q.startBytes, 0x200000u) << "the mode set placed the second CRTC's start";
    // No priorities for two displaying controllers.
    EXPECT_EQ(b.mga->crtcExt(6), ext6);
    EXPECT_EQ(b.mga->crtc2(CRTC2_CONTROL) & CRTC2_CONTROL_PRIORITIES, 0u);

    // Back to text: the second controller keeps its picture.
    ASSERT_EQ(HALSwitchToVGA(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_TRUE(b.mga->secondPicture().enabled);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// A step change of the timing is validated by condor's own checks.
TEST(CondorSteps, AStepChangeMeetsCondorsValidation) {
    Condor b(0x04);
    ModeInfo m = mode(640, 480, 8);
    EXPECT_EQ(HALModifyVideoParameters(b.h(), &m, 22, 0), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(m.lPixClock, 25620);
    EXPECT_EQ(m.flModeCaps & 0x30, 0x30u) << "condor's mode caps for the first CRTC";
    m = mode(640, 480, 8);
    m.lHBPorch = -640 - 16 - 96 - 8; // the increment below leaves no line
    EXPECT_EQ(HALModifyVideoParameters(b.h(), &m, 24, 0), 0xB1902031u);
    EXPECT_EQ(m.lPixClock, 0);
}

TEST(CondorErrors, AnErrorPendingTouchesNothing) {
    Condor b(0x07);
    b.h()->ulErrorCode = 0xB0101160u;
    machine().clearTrace();
    SysClockInfo c = clockOf(150000, 0x12);
    ModeInfo m = mode(640, 480, 8);
    EXPECT_EQ(HSLCONProgramSystemClock(b.h(), &c), 0xB0101160u);
    EXPECT_EQ(HSLCONPowerUp(b.h()), 0xB0101160u);
    EXPECT_EQ(HSLCONSetMode(b.h(), &m), 0xB0101160u);
    EXPECT_EQ(HSLCONGetMonitorEDID(b.h(), 1), 0xB0101160u);
    EXPECT_EQ(HSLCONGetAddOnInfo(b.h()), 0xB0101160u);
    EXPECT_EQ(HSLCONSetDisplayStart(b.h(), 0, 0, 0), 0xB0101160u);
    EXPECT_TRUE(machine().trace().empty());
}

} // namespace
