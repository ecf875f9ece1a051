// The toucan family's chip operations on the "mga" board (device 0x0525):
// board words and the operation table, the system clock, power-up with the
// buffer compensation, the power states, the return to VGA, monitor EDID
// and the custom calls.
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
#include "hsl_tou.h"
#include "hsl_tou_mode.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

// A toucan board with its 32 MB aperture.
graf::Builder toucanBoard(int revision = 3) {
    graf::Builder b;
    b.adapter("mga")
        .integer("PCI_DEVICE", 0x0525)
        .integer("PCI_REVISION", revision)
        .integer("MEMSIZE", int(8 * kMB))
        .memory("", kRegsBase, 0x4000)
        .memory("FBM", kFbBase, 32 * kMB)
        .memory("BIOS", 0xC0000, 0x10000);
    return b;
}

// A toucan board the chip layer has not read yet, with the PLL limits its
// board data would give.
struct Toucan : Board {
    explicit Toucan(graf::Builder b = toucanBoard()) : Board(std::move(b)) {
        HSLData &d = h()->HSLData;
        d.ulPLLFreqRef = 27000;
        d.ulVCOMax = d.ulSystemVCOMax = 230000;
        h()->ulChipRev = mga->revision();
    }
    bool systemPllLocked() {
        uint8_t v = 0;
        HSLDACReadRegister(h(), 0x2F, &v);
        return (v & 0x40) != 0;
    }
    uint32_t refresh() { return (config(0x40) >> 15) & 0x3F; }
    bool screenOn() { return (mga->seq(1) & 0x20) == 0; }
};

// A toucan board after HALGetBoardInfo.
struct ReadToucan : Toucan {
    explicit ReadToucan(graf::Builder b = toucanBoard()) : Toucan(std::move(b)) {
        EXPECT_EQ(HALGetBoardInfo(h()), 0u) << std::hex << h()->ulErrorCode;
    }
};

SysClockInfo clockOf(uint32_t khz, uint8_t g, uint8_t m, uint8_t w, uint8_t gd = 0, uint8_t md = 0,
                     uint8_t wd = 0) {
    SysClockInfo c{};
    c.ulSystemPllFreq = khz;
    c.ulMCTLWTST = 0x01234567;
    c.ucGraphicClockDiv = g;
    c.ucGraphicClockDesc = gd;
    c.ucMemoryClockDiv = m;
    c.ucMemoryClockDesc = md;
    c.ucWarpClockDiv = w;
    c.ucWarpClockDesc = wd;
    return c;
}

template <class F> HSLJumpSlot slotOf(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

// ---------------------------------------------------------- system clock

TEST(ToucanSystemClock, DividerCodesDescriptorsAndRefresh) {
    struct Case {
        const char *what;
        SysClockInfo c;
        uint32_t code, select, refresh;
    } cases[] = {
        // Each divider byte gives its code in the graphics, memory and warp fields.
        {"one third", clockOf(180000, 0x13, 0x13, 0x13), 0, 0 << 3 | 0 << 13 | 0 << 23, 14},
        {"two fifths", clockOf(180000, 0x25, 0x25, 0x25), 0, 1 << 3 | 1 << 13 | 1 << 23, 16},
        {"four ninths", clockOf(180000, 0x49, 0x49, 0x49), 0, 2 << 3 | 2 << 13 | 2 << 23, 18},
        {"one half", clockOf(180000, 0x12, 0x12, 0x12), 0, 3 << 3 | 3 << 13 | 3 << 23, 21},
        {"two thirds", clockOf(180000, 0x23, 0x23, 0x23), 0, 4 << 3 | 4 << 13 | 4 << 23, 28},
        {"the full clock", clockOf(100000, 0x11, 0x11, 0x11), 0, 5 << 3 | 5 << 13 | 5 << 23, 23},
        {"mixed", clockOf(180000, 0x11, 0x12, 0x23), 0, 5 << 3 | 3 << 13 | 4 << 23, 21},
        // Duty in the low nibble, source in bits 4-5 of each descriptor.
        {"descriptors", clockOf(180000, 0x12, 0x12, 0x12, 0x15, 0x2A, 0x37), 0,
         0x3u << 3 | 5u << 6 | 1u | 3u << 13 | 0xAu << 16 | 2u << 10 | 3u << 23 | 7u << 26 |
             3u << 20,
         21},
        // 66 MHz of memory clock: (66,000,000 - 66,667) / 4,266,688 = 15.
        {"66 MHz of memory", clockOf(132000, 0x12, 0x12, 0x12), 0, 3 << 3 | 3 << 13 | 3 << 23, 15},
        // An unknown byte counts as code 0 (one third) and is reported.
        {"an unknown memory divider", clockOf(180000, 0x12, 0x77, 0x12), HSL_ERR_TOU_SYSCLOCK_RATIO,
         3 << 3 | 0 << 13 | 3 << 23, 14},
    };
    for (const Case &c : cases) {
        Toucan b;
        SysClockInfo clock = c.c;
        EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &clock), c.code) << c.what;
        EXPECT_EQ(b.config(0x54), c.select) << c.what;
        EXPECT_EQ(b.refresh(), c.refresh) << c.what;
        b.h()->ulErrorCode = 0;
        EXPECT_NEAR(double(b.mga->pllKHz(false)), double(c.c.ulSystemPllFreq),
                    c.c.ulSystemPllFreq / 100.0)
            << c.what;
        EXPECT_TRUE(b.systemPllLocked()) << c.what;
        EXPECT_EQ(b.config(0x40) & 0x24, 0x20u) << c.what << ": running, PLL powered";
        EXPECT_TRUE(b.screenOn()) << c.what;
        if (c.code == 0)
            EXPECT_EQ(std::memcmp(&b.h()->CurrentSysClock, &c.c, sizeof c.c), 0) << c.what;
        else
            EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.failures.front();
    }
}

TEST(ToucanSystemClock, ALowMemoryClockWrapsToTheLongestRefresh) {
    Toucan b;
    SysClockInfo c = clockOf(180000, 0x12, 0x13, 0x12);
    EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
    EXPECT_EQ(b.refresh(), 14u) << "60 MHz";
    // 20 kHz of memory clock: below 66.667 kHz the numerator wraps.
    Toucan low;
    SysClockInfo slow = clockOf(60, 0x12, 0x13, 0x12);
    HSLTOUProgramSystemClock(low.h(), &slow);
    EXPECT_EQ(low.refresh(), 63u);
}

TEST(ToucanSystemClock, TheSameRecordTouchesNothingUntilAPowerSave) {
    Toucan b;
    SysClockInfo c = clockOf(180000, 0x12, 0x12, 0x12);
    ASSERT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
    machine().clearTrace();
    const uint32_t select = b.config(0x54), option = b.config(0x40);
    EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(b.config(0x54), select);
    EXPECT_EQ(b.config(0x40), option);
    // A descriptor alone is a different clock.
    SysClockInfo other = c;
    other.ucWarpClockDesc = 0x01;
    EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &other), 0u);
    EXPECT_FALSE(machine().trace().empty());
    EXPECT_EQ(b.config(0x54) >> 26 & 0xF, 1u);

    ASSERT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
    ASSERT_EQ(HSLTOUSetPowerState(b.h(), HSL_POWER_SAVE), 0u);
    machine().clearTrace();
    EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
    EXPECT_FALSE(machine().trace().empty()) << "after a save the clock is programmed again";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanSystemClock, APllThatLocksAfterThePowerCycleAndOneThatNeverDoes) {
    {
        Toucan b(toucanBoard().string("PLL", "retry"));
        machine().setPollLimit(2 * HSL_POLL_READS);
        SysClockInfo c = clockOf(180000, 0x12, 0x12, 0x12);
        EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &c), 0u);
        EXPECT_TRUE(b.systemPllLocked());
        EXPECT_EQ(b.config(0x54) & 0x00300C03u, 0u);
        EXPECT_EQ(b.config(0x54), 0x3u << 3 | 3u << 13 | 3u << 23);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
    {
        // The VCO cannot reach what the record asks: the clocks are left on
        // the PCI clock with their source fields cleared, and the screen on.
        Toucan b(toucanBoard().integer("PLL_VCO_MAX", 150000));
        machine().setPollLimit(2 * HSL_POLL_READS);
        const uint32_t before = b.config(0x54);
        SysClockInfo c = clockOf(180000, 0x11, 0x12, 0x12, 0x10, 0x10, 0x10);
        EXPECT_EQ(HSLTOUProgramSystemClock(b.h(), &c), HSL_ERR_TOU_SYSCLOCK_LOCK);
        EXPECT_NE(b.config(0x54), before);
        EXPECT_EQ(b.config(0x54) & 0x00300C03u, 0u) << "no clock runs from the unlocked PLL";
        EXPECT_EQ(b.config(0x40) & 0x24, 0x20u);
        EXPECT_TRUE(b.screenOn());
        EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
}

TEST(ToucanSystemClock, TheBoardReportsASelectChangeWhileTheClockRuns) {
    Toucan b;
    ClientWriteConfigSpaceDword(b.h(), 0x54, 0);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("0x54"), std::string::npos) << b.failures[0];
    Toucan pll;
    HSLDACWriteRegister(pll.h(), 0x2C, 4);
    EXPECT_TRUE(pll.failures.empty()) << "no clock runs from the PLL at power-on";
    const uint32_t option = pll.config(0x40);
    ClientWriteConfigSpaceDword(pll.h(), 0x40, option | 4);
    ClientWriteConfigSpaceDword(pll.h(), 0x54, pll.config(0x54) | 1u << 10);
    ClientWriteConfigSpaceDword(pll.h(), 0x40, option);
    EXPECT_TRUE(pll.failures.empty()) << "changed with the clock stopped";
    HSLDACWriteRegister(pll.h(), 0x2C, 4);
    EXPECT_EQ(pll.failures.size(), 1u) << "the memory clock runs from the PLL";
}

// A family that reads byte 95 of its board data, calling its own routines.
hsldual::Family gGated;
hsldual::Family gatedFamily() {
    hsldual::Family f = hsldual::kToucan;
    f.boardDataGates = true;
    f.programSystemClock = [](BoardHandle *b, SysClockInfo *c) {
        return hsldual::programSystemClock(b, c, gGated);
    };
    f.sgramInit = [](BoardHandle *b) { return hsldual::sgramInit(b, gGated); };
    f.powerUp = [](BoardHandle *b) { return hsldual::powerUp(b, gGated); };
    return f;
}

TEST(ToucanModel, LineCountAndHeaderWrites) {
    Toucan b;
    uint32_t first = 0, second = 0;
    ClientReadRegisterDword(b.h(), 0x3C48, &first);
    ClientReadRegisterDword(b.h(), 0x3C48, &second);
    EXPECT_NE(first, second) << "a poll sees the line count move";
    EXPECT_LT(second, 525u);
    // The header written back as it is, is taken; a changed read-only word is not.
    ClientWriteConfigSpaceDword(b.h(), 0x00, b.config(0x00));
    ClientWriteConfigSpaceDword(b.h(), 0x2C, b.config(0x2C));
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    ClientWriteConfigSpaceDword(b.h(), 0x08, b.config(0x08) ^ 1);
    EXPECT_EQ(b.failures.size(), 1u);
}

TEST(ToucanSystemClock, BoardDataCanGateTheClockAndTheMemoryInitialisation) {
    gGated = gatedFamily();
    const hsldual::Family &gated = gGated;
    Toucan b;
    b.h()->HSLData.aucPInS[95] = 0;
    machine().clearTrace();
    SysClockInfo c = clockOf(180000, 0x12, 0x12, 0x12);
    EXPECT_EQ(hsldual::programSystemClock(b.h(), &c, gated), 0u);
    EXPECT_EQ(hsldual::sgramInit(b.h(), gated), 0u);
    EXPECT_TRUE(machine().trace().empty());
    b.h()->SysClockVGA = clockOf(50000, 0x11, 0x11, 0x11);
    b.h()->HSLData.aucPInS[95] = 0x01;
    EXPECT_EQ(hsldual::powerUp(b.h(), gated), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 50000u) << "taken as in force";
    EXPECT_EQ(b.mga->reg(0x1E44), b.h()->HSLData.ulMemRdBk) << "the memory was initialised";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// ------------------------------------------------------ board information

TEST(ToucanBoard, BoardWordsByRevisionAndMemory) {
    struct Case {
        int revision, memory;
        uint32_t capsBase;
    } cases[] = {{1, 8, 0x1FB}, {2, 8, 0x1FB}, {3, 16, 0x3FB}, {3, 4, 0x3FB}};
    for (const Case &c : cases) {
        ReadToucan b(toucanBoard(c.revision).integer("MEMSIZE", c.memory * int(kMB)));
        const BoardHandle &h = *b.h();
        const uint32_t block = h.ulMemoryType == 5 ? 0 : 0x800;
        EXPECT_EQ(h.flEngineCaps1, c.capsBase | block | 0x1EFF7000u) << c.revision;
        EXPECT_EQ(h.flCRTCInfo[2], h.HSLData.ulPclkMax8);
        EXPECT_EQ(h.flCRTCInfo[3], h.HSLData.ulPclkMax8);
        EXPECT_EQ(h.flCRTCInfo[4], h.HSLData.ulPclkMax16);
        EXPECT_EQ(h.flCRTCInfo[5], h.HSLData.ulPclkMax24);
        EXPECT_EQ(h.flCRTCInfo[6], h.HSLData.ulPclkMax32);
        EXPECT_EQ(h.flCRTCInfo[7], 0x8001u);
        EXPECT_EQ(h.ulIntCtrlReg, b.config(0x3C));
        EXPECT_EQ(h.CurrentModeCRTC1.lModeType, 0x100000);
        EXPECT_EQ(h.CurrentModeCRTC2.lModeType, 0x180000);
        const uint32_t found = uint32_t(c.memory) * kMB;
        EXPECT_EQ(h.ulAddonMemory, found > h.ulBaseMemory ? found - h.ulBaseMemory : 0u)
            << c.memory << " MB, base " << h.ulBaseMemory;
        EXPECT_EQ(h.HSLData.ulBaseRegister, kRegsBase);
        EXPECT_EQ(h.HSLData.ulFrameBuffer, kFbBase);
        EXPECT_NE(b.mga->reg(0x1E44), 0xFFFFFFFFu);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
}

TEST(ToucanBoard, TheOperationTableAndTheLineProbe) {
    ReadToucan b;
    const HSLJumpSlot *s = b.h()->HSLJumpTable.apfnSlot;
    for (int slot = 0; slot < HSL_SLOT_COUNT; slot++)
        EXPECT_NE(s[slot], slotOf(HSLTBLNotInitFunction)) << slot;
    EXPECT_EQ(s[HSL_SLOT_SET_POWER_STATE], slotOf(HSLTOUSetPowerState));
    EXPECT_EQ(s[HSL_SLOT_PROGRAM_SYSTEM_CLOCK], slotOf(HSLTOUProgramSystemClock));
    EXPECT_EQ(s[HSL_SLOT_INIT_ACCESS], slotOf(HSLTOUInitAccess));
    EXPECT_EQ(s[HSL_SLOT_GET_MONITOR_EDID], slotOf(HSLTOUGetMonitorEDID));
    EXPECT_EQ(s[HSL_SLOT_CUSTOM_CALL], slotOf(HSLTOUCustomCall));
    EXPECT_EQ(s[HSL_SLOT_SET_MODE], slotOf(HSLTOUSetMode));
    EXPECT_EQ(s[HSL_SLOT_ROUTE_PIXEL_CLOCK], slotOf(HSLTOURoutePixelClock));
    // Port 0 shares its data line between pins 1 and 0 on this board.
    EXPECT_EQ(s[HSL_SLOT_I2C_GET_SCL], slotOf(HSLDACI2CAltGetSCL));
    EXPECT_EQ(s[HSL_SLOT_I2C_GET_SDA], slotOf(HSLDACI2CAltGetSDA));

    // The probe leaves the pins as it found them: released, reading high.
    HSLDACWriteRegister(b.h(), 0x2A, 0x00);
    uint8_t pins = 0;
    HSLDACReadRegister(b.h(), 0x2B, &pins);
    EXPECT_TRUE(hsldual::probeAltLineReaders(b.h()));
    EXPECT_EQ(b.mga->dacReg(0x2A), 0x00);
    uint8_t after = 0;
    HSLDACReadRegister(b.h(), 0x2B, &after);
    EXPECT_EQ(after, pins);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanBoard, PhysicalAddressesAreStoredNotMerged) {
    ReadToucan b;
    EXPECT_EQ(HALValidatePhysAddr(b.h()), 0u);
    b.h()->HSLData.ulBaseRegister ^= 0x4000u;
    EXPECT_EQ(HALValidatePhysAddr(b.h()), HSL_ERR_PHYS_ADDR);
}

TEST(ToucanBoard, DefaultBoardData) {
    BoardHandle h{};
    std::memset(h.HSLData.aucPInS, 0xA5, sizeof h.HSLData.aucPInS);
    EXPECT_EQ(HSLTOUCSetDefaultPins(&h), 0u);
    const uint8_t *p = h.HSLData.aucPInS;
    EXPECT_EQ(p[0] | p[1] << 8, 0x412E);
    EXPECT_EQ(p[2], 0x80);
    EXPECT_EQ(p[3], 0xA5) << "bytes not listed are left";
    EXPECT_EQ(p[0x2B], 0x3F);
    EXPECT_EQ(p[0x30] | p[0x33], 0);
    EXPECT_EQ(p[0x37], 0xCA);
    uint32_t w = 0;
    std::memcpy(&w, p + 0x48, 4);
    EXPECT_EQ(w, 0x0190A419u);
    std::memcpy(&w, p + 0x58, 4);
    EXPECT_EQ(w, 0x04A450A1u);
    EXPECT_EQ(p[0x5D], 0x77);
    EXPECT_EQ(p[0x63], 0x26);
    EXPECT_EQ(p[0x64], 0xA5);
}

// ----------------------------------------------- power-up and power states

TEST(ToucanPowerUp, RevisionStepsMemoryAndTheMark) {
    {
        Toucan b(toucanBoard(0));
        EXPECT_EQ(HSLTOUPowerUp(b.h()), 0u) << std::hex << b.h()->ulErrorCode;
        EXPECT_EQ(b.mga->reg(0x1E4C), 1u) << "revision 0: the power-up word";
        EXPECT_EQ(b.mga->reg(0x1E14) & 0x80000000u, 0x80000000u);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
    {
        // Revision 1: the measured compensation with the base from 0xF4.
        Toucan b(toucanBoard(1));
        EXPECT_EQ(HSLTOUPowerUp(b.h()), 0u);
        EXPECT_EQ(b.mga->reg(0x1E4C), 0x2Au << 8 | 3u << 21 | 0x1F000008u);
        EXPECT_EQ(b.mga->toucanResets(), 0);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
    {
        // Four silent measurements: 0x33 is written, and then read back.
        Toucan b(toucanBoard(1).integer("COMPENSATION_ZERO_READS", 4));
        EXPECT_EQ(HSLTOUCompensatedBufferPatch(b.h()), 0u);
        EXPECT_EQ(b.mga->reg(0x1E4C), 0x33u << 8 | 0x1F600008u);
        EXPECT_EQ(b.mga->toucanResets(), 0);
    }
    {
        // Silent past that: the chip is reset and its header written back.
        Toucan b(toucanBoard(1).integer("COMPENSATION_ZERO_READS", 5));
        const uint32_t regs = b.config(0x14), fb = b.config(0x10), cmd = b.config(0x04);
        ClientWriteConfigSpaceDword(b.h(), 0xF8, 0x104);
        ClientWriteConfigSpaceDword(b.h(), 0x4C, 0x1234102B);
        EXPECT_EQ(HSLTOUCompensatedBufferPatch(b.h()), 0u);
        EXPECT_EQ(b.mga->toucanResets(), 1);
        EXPECT_EQ(b.mga->reg(0x1E4C), 0x2Au << 8 | 0x1F600008u);
        EXPECT_EQ(b.config(0x14), regs);
        EXPECT_EQ(b.config(0x10), fb);
        EXPECT_EQ(b.config(0x04), cmd);
        EXPECT_EQ(b.config(0x2C), 0x1234102Bu);
        EXPECT_EQ(b.config(0xF8), 0x104u);
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
    {
        // Revisions from 2: neither step.
        Toucan b(toucanBoard(2));
        EXPECT_EQ(HSLTOUPowerUp(b.h()), 0u);
        EXPECT_EQ(b.mga->reg(0x1E4C), 0u);
    }
}

TEST(ToucanPowerUp, MemoryInitialisationAndInitHardware) {
    Toucan b;
    b.h()->ulMemoryType = 5;
    b.h()->HSLData.ulMemRdBk = 0x107;
    b.h()->HSLData.ulOption = 0x10000000u;
    b.h()->SysClockMode1 = clockOf(180000, 0x12, 0x12, 0x12);
    ClientWriteConfigSpaceDword(b.h(), 0x40, b.config(0x40) | 1u << 14);
    EXPECT_EQ(HSLTOUSGRAMInit(b.h()), 0u);
    EXPECT_EQ(b.config(0x40) & 1u << 14, 0u) << "SGRAM";
    EXPECT_EQ(b.config(0x40) & 0x10000000u, 0x10000000u);
    EXPECT_EQ(b.mga->reg(0x1C08), 0x01234567u);
    EXPECT_EQ(b.mga->reg(0x1C1C), 0xFFFFFFFFu);
    EXPECT_EQ(b.mga->reg(0x1E44), 0x107u);
    EXPECT_EQ(b.mga->reg(0x1C04), 0x8000u);
    EXPECT_TRUE(b.screenOn());
    b.h()->ulMemoryType = 2;
    EXPECT_EQ(HSLTOUSGRAMInit(b.h()), 0u);
    EXPECT_EQ(b.config(0x40) & 1u << 14, 1u << 14);

    EXPECT_EQ(HSLTOUInitHardware(b.h()), 0u);
    EXPECT_EQ(b.h()->flStraps & 2, 2u);
    EXPECT_EQ(b.mga->reg(0x1C0C), 0u);
    EXPECT_EQ(b.mga->reg(0x1E14) & 0x80000000u, 0x80000000u);
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 180000u);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanPower, SaveThenResume) {
    ReadToucan b;
    b.h()->SysClockVGA = clockOf(100000, 0x11, 0x12, 0x11);
    b.h()->SysClockMode1 = clockOf(180000, 0x12, 0x12, 0x12);
    ClientWriteRegisterDword(b.h(), 0x1E70, 0x1230);
    ClientWriteRegisterDword(b.h(), 0x1E1C, 0x1C1C);
    ClientWriteRegisterDword(b.h(), 0x1E58, 0x5858);
    ClientWriteRegisterDword(b.h(), 0x1E5C, 0x5C5C);
    for (uint8_t i = 0; i < 3; i++) {
        HSLDACWriteRegister(b.h(), uint8_t(0x44 + i), 0x11u * (i + 1));
        HSLDACWriteRegister(b.h(), uint8_t(0x48 + i), 0x44u + i);
    }
    ClientWriteConfigSpaceDword(b.h(), 0xF8, 0x0F00);
    ClientWriteConfigSpaceDword(b.h(), 0x4C, 0xBEEF102B);
    b.h()->flStraps |= 2;
    ASSERT_EQ(HALSetPowerState(b.h(), HSL_POWER_SAVE), 0u);
    const uint32_t *save = b.h()->HSLData.aulPowerSave;
    EXPECT_EQ(save[0], 0x1230u);
    EXPECT_EQ(save[1], 0x1C1Cu);
    EXPECT_EQ(save[2], 0x112233u);
    EXPECT_EQ(save[3], 0x444546u);
    EXPECT_EQ(save[4], 0x5858u);
    EXPECT_EQ(save[5], 0x5C5Cu);
    EXPECT_EQ(b.h()->HSLData.ulCS_PCI_AGP_CMD, 0x0F00u);
    EXPECT_EQ(b.h()->HSLData.ulCS_PCI_SubSysID, 0xBEEF102Bu);
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u);

    // What the sleep loses.
    for (uint32_t r : {0x1E70u, 0x1E1Cu, 0x1E58u, 0x1E5Cu})
        ClientWriteRegisterDword(b.h(), r, 0);
    for (uint8_t i = 0; i < 3; i++) {
        HSLDACWriteRegister(b.h(), uint8_t(0x44 + i), 0);
        HSLDACWriteRegister(b.h(), uint8_t(0x48 + i), 0);
    }
    ClientWriteConfigSpaceDword(b.h(), 0xF8, 0);
    ClientWriteConfigSpaceDword(b.h(), 0x4C, 0);
    ClientWriteRegisterDword(b.h(), 0x1E14, 0);

    ASSERT_EQ(HALSetPowerState(b.h(), HSL_POWER_RESTORE), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(b.mga->reg(0x1E70), 0x1238u);
    EXPECT_EQ(b.mga->reg(0x1E1C), 0x1C1Cu);
    EXPECT_EQ(b.mga->reg(0x1E58), 0x5858u);
    EXPECT_EQ(b.mga->reg(0x1E5C), 0x5C5Cu);
    for (uint8_t i = 0; i < 3; i++) {
        EXPECT_EQ(b.mga->dacReg(0x44 + i), 0x11 * (i + 1));
        EXPECT_EQ(b.mga->dacReg(0x48 + i), 0x44 + i);
    }
    EXPECT_EQ(b.mga->dacReg(0x1A) & 0x04, 0) << "the pixel clock runs again";
    EXPECT_EQ(b.config(0xF8), 0x0F00u);
    EXPECT_EQ(b.config(0x2C), 0xBEEF102Bu);
    EXPECT_EQ(b.mga->reg(0x1E14) & 0x80000000u, 0x80000000u) << "powered up";
    EXPECT_EQ(b.h()->flStraps & 2, 0u) << "the next mode set initialises the hardware";
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 100000u) << "the VGA clock last";
    EXPECT_EQ(b.config(0x54) >> 3 & 7, 5u);
    EXPECT_EQ(b.config(0x54) >> 13 & 7, 3u);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(ToucanPower, OtherStatesDoNothing) {
    ReadToucan b;
    for (uint32_t state : {0u, 1u, 0x80000001u, 0x80000004u}) {
        machine().clearTrace();
        EXPECT_EQ(HALSetPowerState(b.h(), state), 0u) << state;
        EXPECT_TRUE(machine().trace().empty()) << state;
    }
}

// ----------------------------------------------------------- back to VGA

uint32_t gDisabled;
uint32_t disableFirst(BoardHandle *pBoard) {
    gDisabled |= 1;
    return pBoard->ulErrorCode;
}
uint32_t disableSecond(BoardHandle *pBoard) {
    gDisabled |= 2;
    return pBoard->ulErrorCode;
}

TEST(ToucanSwitch, TextImagePaletteAndTheVgaClock) {
    ReadToucan b;
    hsldual::Family f = hsldual::kToucan;
    f.disableCrtc1Output = disableFirst;
    f.disableCrtc2Output = disableSecond;
    gDisabled = 0;
    b.h()->SysClockVGA = clockOf(100000, 0x11, 0x12, 0x11);
    b.h()->CurrentModeCRTC1.ulDispWidth = 1024;
    b.h()->CurrentModeCRTC1.lDeskHeight = 768;
    b.h()->CurrentModeCRTC1.lBpp = 16;
    HSLDACWriteRegister(b.h(), 0x1E, 0x08);
    EXPECT_EQ(hsldual::switchToVGA(b.h(), f), 0u) << std::hex << b.h()->ulErrorCode;
    EXPECT_EQ(gDisabled, 3u) << "both controllers' outputs stopped";
    EXPECT_EQ(b.mga->dacReg(0x1E) & 0x09, 0x01);
    EXPECT_EQ(b.mga->crtcExt(1), 0);
    EXPECT_EQ(b.mga->crtcExt(3), 0);
    EXPECT_EQ(b.mga->misc(), HSLVGAInfoDefault.ucMisc);
    EXPECT_EQ(b.mga->crtc(0), HSLVGAInfoDefault.aucCrtc[0]);
    EXPECT_EQ(b.mga->palette(7)[0], 0xAA);
    EXPECT_EQ(b.mga->palette(63)[2], 0xFF);
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 100000u);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.ulDispWidth, 0u);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lDeskHeight, 0);
    EXPECT_EQ(b.h()->CurrentModeCRTC1.lBpp, 16) << "only the first four words";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// ------------------------------------------------------------ monitor EDID

TEST(ToucanEdid, OutputsAndTheRefusal) {
    {
        ReadToucan b;
        EXPECT_EQ(HSLTOUGetMonitorEDID(b.h(), 0), 0u);
        const MonitorInfo &m = b.h()->PrimaryMonitor;
        EXPECT_EQ(m.flMonitor & 3, 3u);
        EXPECT_EQ(m.ulEDIDVersion >> 4, 1u);
        EXPECT_EQ(std::memcmp(m.aucEDID, b.mga->ddc().data(), 128), 0);
    }
    {
        // Nobody answers: still a success, the monitor marked absent.
        ReadToucan b(toucanBoard().integer("DDC_BYTES", 0));
        b.h()->PrimaryMonitor.flMonitor = 3;
        b.h()->SecondMonitor.flMonitor = 3;
        EXPECT_EQ(HSLTOUGetMonitorEDID(b.h(), 0), 0u);
        EXPECT_EQ(b.h()->PrimaryMonitor.flMonitor & 3, 0u);
        EXPECT_EQ(b.h()->PrimaryMonitor.ulEDIDVersion, 0u);
        EXPECT_EQ(HSLTOUGetMonitorEDID(b.h(), 1), 0u);
        EXPECT_EQ(b.h()->SecondMonitor.flMonitor & 3, 0u);
        EXPECT_EQ(b.h()->HSLData.ulI2CChannel2Cache, 0x7Fu);
        EXPECT_EQ(HSLTOUGetMonitorEDID(b.h(), 2), 0u);
        EXPECT_EQ(b.h()->SecondMonitor.flMonitor & 3, 0u);
    }
    {
        ReadToucan b;
        machine().clearTrace();
        EXPECT_EQ(HSLTOUGetMonitorEDID(b.h(), 3), HSL_ERR_TOU_EDID_OUTPUT);
        EXPECT_TRUE(machine().trace().empty());
    }
}

// ----------------------------------------------------------- custom calls

TEST(ToucanCustomCall, CodecClockTvPinsAndRefusals) {
    ReadToucan b;
    uint32_t word = 0x31;
    ClientWriteConfigSpaceDword(b.h(), 0x50, b.config(0x50) | 0x0F000000u);
    const uint32_t low = b.config(0x50) & 0x00FFFFFFu;
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 1, &word), 0u);
    EXPECT_EQ(b.config(0x50), low | 1u << 24 | 3u << 26);
    word = 0x02;
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 1, &word), 0u);
    EXPECT_EQ(b.config(0x50), low | 2u << 24);

    // Without an argument block, or without the TV encoder's pins, nothing.
    const uint32_t codec = b.config(0x50);
    machine().clearTrace();
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 1, nullptr), 0u);
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 2, nullptr), 0u);
    b.h()->flFeatures = 0x80;
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 2, &word), 0u) << "no tuner";
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(b.config(0x50), codec);

    EXPECT_EQ(HSLTOUCustomCall(b.h(), 3, &word), HSL_ERR_TOU_CUSTOM_CALL);
    b.h()->ulErrorCode = 0;
    EXPECT_EQ(HSLTOUCustomCall(b.h(), 0, nullptr), HSL_ERR_TOU_CUSTOM_CALL);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

// ------------------------------------------------------------ the error word

TEST(ToucanRefusals, AnErrorPendingTouchesNothing) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
    } cases[] = {
        {"InitAccess", HSLTOUInitAccess},
        {"GetBoardInfo", HSLTOUGetBoardInfo},
        {"InitExtraJmpTbl", HSLTOUInitExtraJmpTbl},
        {"ProgramSystemClock",
         [](BoardHandle *h) {
             SysClockInfo c = clockOf(180000, 0x12, 0x12, 0x12);
             return HSLTOUProgramSystemClock(h, &c);
         }},
        {"PowerUp", HSLTOUPowerUp},
        {"SGRAMInit", HSLTOUSGRAMInit},
        {"CompensatedBufferPatch", HSLTOUCompensatedBufferPatch},
        {"InitHardware", HSLTOUInitHardware},
        {"SetPowerState", [](BoardHandle *h) { return HSLTOUSetPowerState(h, HSL_POWER_SAVE); }},
        {"SwitchToVGA", HSLTOUSwitchToVGA},
        {"GetMonitorEDID", [](BoardHandle *h) { return HSLTOUGetMonitorEDID(h, 0); }},
        {"GetAddOnInfo", HSLTOUGetAddOnInfo},
        {"CustomCall",
         [](BoardHandle *h) {
             uint32_t w = 1;
             return HSLTOUCustomCall(h, 1, &w);
         }},
        {"SetCodecClock", [](BoardHandle *h) { return HSLTOUSetCodecClock(h, 1); }},
        {"ValidatePhysAddr", HSLTOUValidatePhysAddr},
    };
    for (const Case &c : cases) {
        Toucan b(toucanBoard(1));
        b.h()->ulErrorCode = 0xB0000001u;
        machine().clearTrace();
        const uint32_t option = b.config(0x40), select = b.config(0x54);
        EXPECT_EQ(c.call(b.h()), 0xB0000001u) << c.what;
        EXPECT_TRUE(machine().trace().empty()) << c.what;
        EXPECT_EQ(b.config(0x40), option) << c.what;
        EXPECT_EQ(b.config(0x54), select) << c.what;
    }
}

} // namespace
