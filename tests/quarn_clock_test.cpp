// The Matrox chip layer's clocks and first display controller on the "mga"
// board: the PLL search, the pixel and system PLLs with their retries and the
// beat guard, the DAC set-up per depth, the eclipse and twister system
// clock, and the CRTC timing, start, pitch, priority and zoom.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal_error.h"
#include "hsl.h"
#include "pcibus.h"
#include "pcicfg.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

// A board with the limits a version-3 block of all defaults gives.
struct Clocked : Board {
    explicit Clocked(graf::Builder b = mgaBoard()) : Board(std::move(b)) {
        HSLData &d = h()->HSLData;
        d.ulPLLFreqRef = 27000;
        d.ulVCOMax = d.ulSystemVCOMax = 230000;
    }
    bool pllLocked(bool pixel) {
        uint8_t v = 0;
        HSLDACReadRegister(h(), pixel ? 0x4F : 0x2F, &v);
        return (v & 0x40) != 0;
    }
};

// The driver's 1024 x 768 mode at 65000 kHz.
ModeInfo mode1024(int bpp = 8) {
    ModeInfo m{};
    m.ulDispWidth = 1024;
    m.lDispHeight = 768;
    m.lDeskWidth = 1024;
    m.lDeskHeight = 768;
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
    m.ulFBPitch = 1024;
    return m;
}

// ---------------------------------------------------------------- PLL search

TEST(PllSearch, TheTableOfParameters) {
    struct Case {
        uint32_t freq, selector;
        uint32_t m, n, p, s;
    } cases[] = {
        {65000, 0, 4, 23, 1, 1},  // 64800 kHz
        {108000, 0, 1, 15, 1, 3}, // exact
        {25175, 0, 6, 51, 7, 3},  // 25071 kHz
        {250000, 0, 3, 36, 0, 3}, // above the limit: P 0, the limit raised
        {68000, 0, 1, 9, 1, 1},   // 67500 from every M: the smallest wins
        {200000, 1, 4, 36, 0, 3}, // the system selector
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.HSLData.ulPLLFreqRef = 27000;
        h.HSLData.ulVCOMax = 230000;
        h.HSLData.ulSystemVCOMax = 230000;
        uint32_t m = 99, n = 99, p = 99, s = 99;
        EXPECT_EQ(HSLDACComputePLLParam(&h, c.freq, c.selector, &m, &n, &p, &s), 0u) << c.freq;
        EXPECT_EQ(m, c.m) << c.freq;
        EXPECT_EQ(n, c.n) << c.freq;
        EXPECT_EQ(p, c.p) << c.freq;
        EXPECT_EQ(s, c.s) << c.freq;
    }
    // The selector picks the limit: 100000 kHz with a system limit of 150000
    // cannot run its VCO at 200000.
    BoardHandle h{};
    h.HSLData.ulPLLFreqRef = 27000;
    h.HSLData.ulVCOMax = 230000;
    h.HSLData.ulSystemVCOMax = 150000;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLDACComputePLLParam(&h, 100000, 0, &m, &n, &p, &s);
    EXPECT_EQ(p, 1u);
    HSLDACComputePLLParam(&h, 100000, 1, &m, &n, &p, &s);
    EXPECT_EQ(p, 0u);
    EXPECT_EQ(s, 1u) << "VCO 100000: range 1 starts there";
}

TEST(PllSearch, AVcoOfFiftyMegahertzOrLessIsRefused) {
    for (uint32_t freq : {6250u, 5000u, 0u}) {
        BoardHandle h{};
        h.HSLData.ulPLLFreqRef = 27000;
        h.HSLData.ulVCOMax = 230000;
        uint32_t m = 99, n = 99, p = 99, s = 99;
        EXPECT_EQ(HSLDACComputePLLParam(&h, freq, 0, &m, &n, &p, &s), HSL_ERR_DAC_PLL_RANGE)
            << freq;
        EXPECT_EQ(m + n + p + s, 4 * 99u) << "no value handed back";
    }
    // 6251 kHz: VCO 50008, just above.
    BoardHandle h{};
    h.HSLData.ulPLLFreqRef = 27000;
    h.HSLData.ulVCOMax = 230000;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    EXPECT_EQ(HSLDACComputePLLParam(&h, 6251, 0, &m, &n, &p, &s), 0u);
    EXPECT_EQ(p, 7u);

    // Through the pixel PLL: nothing is programmed.
    Clocked b;
    ModeInfo slow = mode1024();
    slow.lPixClock = 5000;
    const uint8_t before = b.mga->dacReg(0x4C);
    machine().clearTrace();
    EXPECT_EQ(HSLDACPIXPLLSET(b.h(), &slow), HSL_ERR_DAC_PLL_RANGE);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(b.mga->dacReg(0x4C), before);
}

TEST(PllSearch, CondorBoardsAskTheVideoBiosAndSearchWhenItDoesNotAnswer) {
    // The driver offers no BIOS call: the image comes back as it went, and
    // the frequency's own bytes are no PLL values, so the search runs.
    BoardHandle h{};
    h.ulChipRev = 0x80;
    h.HSLData.ulPLLFreqRef = 27000;
    h.HSLData.ulVCOMax = 230000;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    EXPECT_EQ(HSLDACComputePLLParam(&h, 65000, 0, &m, &n, &p, &s), 0u);
    EXPECT_EQ(n, 23u);
    EXPECT_EQ(m, 4u);
    EXPECT_EQ(p, 1u);
    EXPECT_EQ(s, 1u);
    // With byte 95 bit 2 set the search runs without asking.
    h.HSLData.aucPInS[95] = 0x04;
    m = n = p = s = 0;
    EXPECT_EQ(HSLDACComputePLLParam(&h, 65000, 0, &m, &n, &p, &s), 0u);
    EXPECT_EQ(n, 23u);
    // A toucan revision searches too.
    h.HSLData.aucPInS[95] = 0;
    h.ulChipRev = 0x7F;
    EXPECT_EQ(HSLDACComputePLLParam(&h, 108000, 0, &m, &n, &p, &s), 0u);
    EXPECT_EQ(n, 15u);
}

// ---------------------------------------------------------------- pixel PLL

TEST(PixelPll, ProgramsLocksAndDrivesThePixelClock) {
    Clocked b;
    ModeInfo m = mode1024();
    EXPECT_EQ(HSLDACPIXPLLSET(b.h(), &m), 0u);
    EXPECT_EQ(b.mga->dacReg(0x4C), 4);
    EXPECT_EQ(b.mga->dacReg(0x4D), 23);
    EXPECT_EQ(b.mga->dacReg(0x4E), 1 | 1 << 3);
    EXPECT_EQ(b.mga->dacReg(0x1A) & 0x7, 1) << "source the PLL, clock on";
    EXPECT_EQ(b.mga->misc() & 0x0C, 0x0C);
    EXPECT_TRUE(b.pllLocked(true));
    EXPECT_EQ(b.mga->pllKHz(true), 64800u);
    EXPECT_TRUE(b.failures.empty());
}

TEST(PixelPll, APllThatLocksOnlyAfterItsPowerIsCycled) {
    Clocked b(mgaBoard().string("PLL", "retry"));
    machine().setPollLimit(2 * HSL_POLL_READS);
    ModeInfo m = mode1024();
    EXPECT_EQ(HSLDACPIXPLLSET(b.h(), &m), 0u);
    EXPECT_TRUE(b.pllLocked(true));
    EXPECT_EQ(b.mga->dacReg(0x1A) & 0xF, 0x9) << "powered, on, from the PLL";
    EXPECT_TRUE(b.failures.empty());
}

TEST(PixelPll, APllThatNeverLocksIsAnErrorAndTheClockStaysOff) {
    Clocked b(mgaBoard().string("PLL", "never"));
    machine().setPollLimit(2 * HSL_POLL_READS);
    ModeInfo m = mode1024();
    EXPECT_EQ(HSLDACPIXPLLSET(b.h(), &m), HSL_ERR_DAC_PIXEL_PLL);
    EXPECT_EQ(b.mga->dacReg(0x1A) & 0x4, 0x4) << "the pixel clock is left off";
    EXPECT_TRUE(b.failures.empty());
}

// ---------------------------------------------------------------- beat guard

uint32_t gLoweredKHz;
int gProgrammed;
uint32_t recordClock(BoardHandle *pBoard, SysClockInfo *c) {
    gLoweredKHz = c->ulSystemPllFreq;
    gProgrammed++;
    return pBoard->ulErrorCode;
}

TEST(BeatGuard, ASystemVcoCloserThan600KilohertzIsMovedAway) {
    // Power-on system PLL: M 4, N 37, P 1. A pixel PLL of M 4, N 36 lies one
    // reference fifth below: 599 kHz with a reference of 2995, 600 with 3000.
    struct Case {
        uint32_t ref;
        int programmed;
        uint32_t lowered;
    } cases[] = {{2995, 1, (2995 * 37 / 5 - 600) / 2}, {3000, 0, 0}};
    for (const Case &c : cases) {
        Clocked b;
        b.h()->HSLData.ulPLLFreqRef = c.ref;
        b.h()->CurrentSysClock.ucMemoryClockDiv = 0x12;
        b.h()->HSLJumpTable.apfnSlot[HSL_SLOT_PROGRAM_SYSTEM_CLOCK] =
            reinterpret_cast<HSLJumpSlot>(recordClock);
        HSLDACWriteRegister(b.h(), 0x4C, 4);
        HSLDACWriteRegister(b.h(), 0x4D, 36);
        gProgrammed = 0;
        gLoweredKHz = 0;
        EXPECT_EQ(HSLDACAdjustSystemPLL(b.h()), 0u) << c.ref;
        EXPECT_EQ(gProgrammed, c.programmed) << c.ref;
        EXPECT_EQ(gLoweredKHz, c.lowered) << c.ref;
    }
    // A wide pixel VCO is lowered by 0.7 percent rather than 600 kHz.
    Clocked b;
    b.h()->HSLJumpTable.apfnSlot[HSL_SLOT_PROGRAM_SYSTEM_CLOCK] =
        reinterpret_cast<HSLJumpSlot>(recordClock);
    HSLDACWriteRegister(b.h(), 0x4C, 4);
    HSLDACWriteRegister(b.h(), 0x4D, 37); // the system PLL's own VCO, 205200
    gProgrammed = 0;
    HSLDACAdjustSystemPLL(b.h());
    EXPECT_EQ(gProgrammed, 1);
    EXPECT_EQ(gLoweredKHz, (205200u - 205200u * 7 / 1000) / 2);
}

// ---------------------------------------------------------------- DAC set-up

TEST(DacInit, FormatRampsAndSyncsPerDepth) {
    struct Case {
        int bpp;
        uint8_t format;
        std::function<std::array<uint8_t, 3>(int)> ramp; // null: table untouched
    } cases[] = {
        {8, 0, nullptr},
        {15, 1,
         [](int i) {
             return std::array<uint8_t, 3>{uint8_t(i << 3), uint8_t(i << 3), uint8_t(i << 3)};
         }},
        {16, 2,
         [](int i) {
             return std::array<uint8_t, 3>{uint8_t(i << 3), uint8_t(i << 2), uint8_t(i << 3)};
         }},
        {24, 3,
         [](int i) {
             return std::array<uint8_t, 3>{uint8_t(i), uint8_t(i), uint8_t(i)};
         }},
        {32, 7,
         [](int i) {
             return std::array<uint8_t, 3>{uint8_t(i), uint8_t(i), uint8_t(i)};
         }},
    };
    for (const Case &c : cases) {
        Clocked b;
        b.h()->HSLData.ulVidCtrl = 0x41;
        // A marked table, to see whether it is written.
        ClientWriteRegisterByte(b.h(), 0x3C00, 0);
        for (int i = 0; i < 256 * 3; i++)
            ClientWriteRegisterByte(b.h(), 0x3C01, 0x5A);
        HSLDACWriteRegister(b.h(), 0x1E, 0x10);
        ModeInfo m = mode1024(c.bpp);
        m.lSignalMode = 0x4; // positive horizontal sync
        EXPECT_EQ(HSLDACInit(b.h(), &m), 0u) << c.bpp;
        EXPECT_EQ(b.mga->dacReg(0x19), c.format) << c.bpp;
        EXPECT_EQ(b.mga->dacReg(0x1E), 0x19) << c.bpp << ": 8-bit table, DAC on";
        EXPECT_EQ(b.mga->dacReg(0x1D) & 0x30, 0x30) << c.bpp;
        EXPECT_EQ(b.mga->misc() & 0xC0, 0x80) << c.bpp << ": negative vertical sync only";
        for (int i = 0; i < 256; i++) {
            const auto expected = c.ramp ? c.ramp(i) : std::array<uint8_t, 3>{0x5A, 0x5A, 0x5A};
            ASSERT_EQ(b.mga->palette(i), expected) << c.bpp << " entry " << i;
        }
    }
    // A depth the DAC has no format for: refused, and the table left alone.
    Clocked b;
    ModeInfo m = mode1024(12);
    EXPECT_EQ(HSLDACInit(b.h(), &m), HSL_ERR_DAC_DEPTH);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(b.mga->palette(i), (std::array<uint8_t, 3>{0, 0, 0})) << i;
    EXPECT_EQ(b.mga->dacReg(0x19), 0);
}

// ---------------------------------------------------------------- system clock

SysClockInfo clockOf(uint32_t khz, uint8_t graphics, uint8_t memory, uint8_t warp) {
    SysClockInfo c{};
    c.ulSystemPllFreq = khz;
    c.ulMCTLWTST = 0x01250A21;
    c.ucGraphicClockDiv = graphics;
    c.ucMemoryClockDiv = memory;
    c.ucWarpClockDiv = warp;
    return c;
}

struct SysCase {
    const char *what;
    int device;
    SysClockInfo clock;
    uint32_t error;
    uint32_t option, option2; // divider bits expected (OPTION 3, 4, 7; OPTION2 14-17)
    uint32_t refresh;
};

TEST(SystemClock, DividersRefreshAndTheLockedPll) {
    const SysCase cases[] = {
        {"eclipse 1/2 at 200000", 0x0521, clockOf(200000, 0x12, 0x12, 0x12), 0, 0, 0, 23},
        {"eclipse 1/1", 0x0521, clockOf(100000, 0x11, 0x11, 0x11), 0, 0, 0x7u << 14, 23},
        {"eclipse 2/3 (the estimate is 3/2: capped)", 0x0521, clockOf(200000, 0x23, 0x23, 0x23), 0,
         0x18, 1u << 17, 63},
        {"eclipse refuses 1/3", 0x0521, clockOf(200000, 0x12, 0x13, 0x12),
         HSL_ERR_ECL_SYSCLOCK_RATIO, 0, 0, 0},
        {"twister 1/2, warp 1/1", 0x1001, clockOf(150000, 0x12, 0x12, 0x11), 0, 0, 0, 17},
        {"twister 1/3, warp 1/2", 0x1001, clockOf(60000, 0x13, 0x13, 0x12), 0, 0x98, 0, 42},
        {"twister refuses 1/1 graphics", 0x1001, clockOf(150000, 0x11, 0x12, 0x11),
         HSL_ERR_TWI_SYSCLOCK_RATIO, 0, 0, 0},
        {"twister refuses 2/3 memory", 0x1001, clockOf(150000, 0x12, 0x23, 0x11),
         HSL_ERR_TWI_SYSCLOCK_RATIO, 0, 0, 0},
    };
    for (const SysCase &c : cases) {
        Clocked b(mgaBoard(c.device));
        auto program = c.device == 0x0521 ? HSLECLProgramSystemClock : HSLTWIProgramSystemClock;
        const uint32_t option = b.config(0x40), option2 = b.config(0x50);
        SysClockInfo wanted = c.clock;
        EXPECT_EQ(program(b.h(), &wanted), c.error) << c.what;
        EXPECT_TRUE(b.failures.empty())
            << c.what << ": " << (b.failures.empty() ? "" : b.failures[0]);
        if (c.error != 0) {
            // The remaining steps touched nothing: the clock is where it was
            // and the screen stays off.
            EXPECT_EQ(b.config(0x40), option) << c.what;
            EXPECT_EQ(b.mga->seq(1) & 0x20, 0x20) << c.what;
            EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u) << c.what;
            continue;
        }
        const uint32_t now = b.config(0x40);
        EXPECT_EQ(now & 0x7, 1u) << c.what << ": the PLL drives the running clock";
        EXPECT_EQ(now & 0x98, c.option) << c.what;
        EXPECT_EQ((now >> 15) & 0x3F, c.refresh) << c.what;
        EXPECT_EQ(b.config(0x50) & 0x3C000, c.option2) << c.what;
        EXPECT_EQ(b.config(0x50) & ~0x3C000u, option2 & ~0x3C000u) << c.what;
        EXPECT_TRUE(b.pllLocked(false)) << c.what;
        const uint32_t khz = b.mga->pllKHz(false);
        EXPECT_LE(khz > c.clock.ulSystemPllFreq ? khz - c.clock.ulSystemPllFreq
                                                : c.clock.ulSystemPllFreq - khz,
                  c.clock.ulSystemPllFreq / 200)
            << c.what;
        EXPECT_EQ(std::memcmp(&b.h()->CurrentSysClock, &wanted, sizeof wanted), 0) << c.what;
        EXPECT_EQ(b.mga->seq(1) & 0x20, 0) << c.what << ": the screen is on again";
    }
}

TEST(SystemClock, TheSameRecordTwiceProgramsOnce) {
    Clocked b;
    SysClockInfo c = clockOf(200000, 0x12, 0x12, 0x12);
    EXPECT_EQ(HSLECLProgramSystemClock(b.h(), &c), 0u);
    machine().clearTrace();
    const int writes = machine().pci().requests(PCI_WRITE_CONFIG);
    c.ucGraphicClockDesc = 0x33; // not compared
    EXPECT_EQ(HSLECLProgramSystemClock(b.h(), &c), 0u);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(machine().pci().requests(PCI_WRITE_CONFIG), writes);
    // Another timing value is another clock.
    c.ulMCTLWTST = 0x01250A22;
    EXPECT_EQ(HSLECLProgramSystemClock(b.h(), &c), 0u);
    EXPECT_FALSE(machine().trace().empty());
}

TEST(SystemClock, AWarningKeepsTheClockFromCountingAsProgrammed) {
    Clocked b;
    b.h()->ulErrorCode = 0x40302080u;
    SysClockInfo c = clockOf(200000, 0x12, 0x12, 0x12);
    EXPECT_EQ(HSLECLProgramSystemClock(b.h(), &c), 0x40302080u);
    EXPECT_EQ(b.config(0x40) & 7, 1u) << "programmed all the same";
    EXPECT_EQ(b.h()->CurrentSysClock.ulSystemPllFreq, 0u);
}

TEST(SystemClock, APllThatLocksOnlyAfterThePowerCycleAndOneThatNeverDoes) {
    {
        Clocked b(mgaBoard().string("PLL", "retry"));
        machine().setPollLimit(2 * HSL_POLL_READS);
        SysClockInfo c = clockOf(200000, 0x12, 0x12, 0x12);
        EXPECT_EQ(HSLECLProgramSystemClock(b.h(), &c), 0u);
        EXPECT_TRUE(b.pllLocked(false));
        EXPECT_TRUE(b.failures.empty());
    }
    {
        // The board's VCO cannot reach what its board data promises.
        Clocked b(mgaBoard(0x1001).integer("PLL_VCO_MAX", 150000));
        machine().setPollLimit(2 * HSL_POLL_READS);
        SysClockInfo c = clockOf(200000, 0x12, 0x12, 0x11);
        EXPECT_EQ(HSLTWIProgramSystemClock(b.h(), &c), HSL_ERR_TWI_SYSCLOCK_LOCK);
        EXPECT_EQ(b.config(0x40) & 0x7, 0u) << "left on the PCI clock";
        EXPECT_EQ(b.mga->seq(1) & 0x20, 0x20) << "the screen stays off";
        EXPECT_TRUE(b.failures.empty());
    }
}

TEST(SystemClock, TheStandAloneSystemPll) {
    Clocked b;
    EXPECT_EQ(HSLDACSYSPLLSET(b.h(), 108000), 0u);
    EXPECT_EQ(b.mga->pllKHz(false), 108000u);
    EXPECT_EQ(b.config(0x40) & 7, 1u);
    EXPECT_TRUE(b.failures.empty());
}

// ---------------------------------------------------------------- CRTC

TEST(Crtc, The1024x768ModeRegistersAndPicture) {
    Clocked b;
    ModeInfo m = mode1024();
    EXPECT_EQ(HSLCRTCSet(b.h(), &m), 0u);
    struct Reg {
        int index;
        uint8_t value;
    } crtc[] = {{0x00, 0xA3}, {0x01, 0x7F}, {0x02, 0x7F}, {0x03, 0x07}, {0x04, 0x83}, {0x05, 0x93},
                {0x06, 0x24}, {0x07, 0xE5}, {0x08, 0x00}, {0x09, 0x20}, {0x10, 0x02}, {0x12, 0xFF},
                {0x15, 0xFF}, {0x16, 0x25}, {0x17, 0xC3}, {0x18, 0x00}};
    for (const Reg &r : crtc)
        EXPECT_EQ(b.mga->crtc(r.index), r.value) << "CR" << std::hex << r.index;
    EXPECT_EQ(b.mga->crtc(0x11) & 0x8F, 0x08) << "unprotected, sync end";
    EXPECT_EQ(b.mga->crtcExt(1), 0);
    EXPECT_EQ(b.mga->crtcExt(2), 0);
    EXPECT_EQ(b.mga->crtcExt(3), 0x80);
    EXPECT_EQ(b.mga->crtcExt(5), 0);
    EXPECT_EQ(b.mga->crtcExt(0) & 0x80, 0);
    EXPECT_EQ(HSLCRTCSetPitch(b.h(), &m), 0u);
    EXPECT_EQ(b.mga->crtc(0x13), 0x40);
    EXPECT_EQ(HSLDACInit(b.h(), &m), 0u);
    EXPECT_EQ(HSLDACPIXPLLSET(b.h(), &m), 0u);
    const sim::MgaBoard::Picture p = b.mga->picture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 8);
    EXPECT_EQ(p.pitchBytes, 1024u);
    EXPECT_EQ(p.refreshHz, 60);
    EXPECT_TRUE(p.hires);
    EXPECT_FALSE(p.interlaced);
    EXPECT_TRUE(b.failures.empty());
}

TEST(Crtc, InterlaceDoublingAndDepthScale) {
    struct Case {
        const char *what;
        std::function<void(ModeInfo &)> change;
        uint8_t cr12, cr9, ext0Interlace, ext3, ext5;
        int height;
    } cases[] = {
        {"interlaced: vdispend 383", [](ModeInfo &m) { m.lSignalMode = 1; }, 0x7F, 0x00, 0x80, 0x80,
         uint8_t((((1024 + 32 + 160) >> 3) * 10 + 5) / 20), 768},
        {"interlaced with no zoom given",
         [](ModeInfo &m) {
             m.lSignalMode = 1;
             m.lZoom = 0;
         },
         0x7F, 0x00, 0x80, 0x80, 76, 768},
        // 65000000 / 1344 / (3 + 1536 + 6 + 29) = 30 Hz: the refresh 30 asks
        // for every line twice.
        {"doubled", [](ModeInfo &m) { m.lRefreshRate = 30; }, 0xFF, 0x01, 0, 0x80, 0, 768},
        {"doubled within 9", [](ModeInfo &m) { m.lRefreshRate = 39; }, 0xFF, 0x01, 0, 0x80, 0, 768},
        {"not doubled at 10 off", [](ModeInfo &m) { m.lRefreshRate = 40; }, 0xFF, 0x20, 0, 0x80, 0,
         768},
        {"16 bits", [](ModeInfo &m) { m.lBpp = 16; }, 0xFF, 0x20, 0, 0x81, 0, 768},
        {"24 bits", [](ModeInfo &m) { m.lBpp = 24; }, 0xFF, 0x20, 0, 0x82, 0, 768},
        {"32 bits", [](ModeInfo &m) { m.lBpp = 32; }, 0xFF, 0x20, 0, 0x83, 0, 768},
    };
    for (const Case &c : cases) {
        Clocked b;
        ModeInfo m = mode1024();
        c.change(m);
        EXPECT_EQ(HSLCRTCSet(b.h(), &m), 0u) << c.what;
        EXPECT_EQ(b.mga->crtc(0x12), c.cr12) << c.what;
        EXPECT_EQ(b.mga->crtc(9), c.cr9) << c.what;
        EXPECT_EQ(b.mga->crtcExt(0) & 0x80, c.ext0Interlace) << c.what;
        EXPECT_EQ(b.mga->crtcExt(3), c.ext3) << c.what;
        EXPECT_EQ(b.mga->crtcExt(5), c.ext5) << c.what;
        EXPECT_EQ(b.mga->picture().height, c.height) << c.what;
    }
    // Totals a caller left at zero: never doubled, and nothing divides by them.
    BoardHandle h{};
    ModeInfo zero{};
    zero.lPixClock = 65000;
    zero.lRefreshRate = 0;
    uint8_t doubled = 7;
    EXPECT_EQ(HSLCRTUseLineDoubling(&h, &zero, &doubled), 0u);
    EXPECT_EQ(doubled, 0);
}

TEST(Crtc, DisplayStartAndPitch) {
    struct Start {
        int bpp;
        uint32_t pitch, x, y, dacId;
        uint32_t address;
    } starts[] = {
        {8, 1024, 8, 2, 0, (8 + 2 * 1024) >> 3},
        {16, 1024, 4, 1, 0, (4 + 1024) >> 2},
        {24, 1024, 8, 0, 0, (8 * 3) >> 3},
        {32, 1024, 2, 3, 0, (2 + 3 * 1024) >> 1},
        {8, 1024, 8, 2, 0x3026, ((8 + 2 * 1024) >> 3) << 1},
        {8, 2048, 0, 4096, 0, (4096u * 2048) >> 3}, // bit 20
    };
    for (const Start &c : starts) {
        Clocked b;
        ClientWriteRegisterByte(b.h(), 0x1FDE, 0);
        ClientWriteRegisterByte(b.h(), 0x1FDF, 0xBF);
        ModeInfo &m = b.h()->CurrentModeCRTC1;
        m.lBpp = c.bpp;
        m.ulFBPitch = c.pitch;
        b.h()->flCRTCInfo[7] = c.dacId;
        EXPECT_EQ(HSLCRTCSetDisplayStart(b.h(), c.x, c.y), 0u);
        const uint32_t a = c.address;
        EXPECT_EQ(b.mga->crtc(0x0D), a & 0xFF) << c.bpp;
        EXPECT_EQ(b.mga->crtc(0x0C), (a >> 8) & 0xFF) << c.bpp;
        EXPECT_EQ(b.mga->crtcExt(0), uint8_t(0xB0 | ((a >> 16) & 0xF) | ((a >> 20) & 1 ? 0x40 : 0)))
            << c.bpp << " " << std::hex << a;
        EXPECT_EQ(m.lDisplayStartX, int32_t(c.x));
        EXPECT_EQ(m.lDisplayStartY, int32_t(c.y));
    }
    struct Pitch {
        int bpp;
        uint32_t pitch;
        int32_t modeType, signal;
        uint32_t dacId, value;
    } pitches[] = {
        {8, 1600, 0x1200000, 0, 0, 100},     {15, 1024, 0x1200000, 0, 0, 128},
        {32, 1280, 0x1200000, 0, 0, 320},    {8, 1024, 0x1210000, 0, 0, 128},
        {8, 1024, 0x1200000, 1, 0, 128},     {8, 1024, 0x1200000, 0, 0x3026, 128},
        {8, 1024, 0x1220000, 0, 0x3026, 64}, {16, 1920, 0x1210000, 1, 0x3026, 1920},
    };
    for (const Pitch &c : pitches) {
        Clocked b;
        ModeInfo m = mode1024(c.bpp);
        m.ulFBPitch = c.pitch;
        m.lModeType = c.modeType;
        m.lSignalMode = c.signal;
        b.h()->flCRTCInfo[7] = c.dacId;
        ClientWriteRegisterByte(b.h(), 0x1FDE, 0);
        ClientWriteRegisterByte(b.h(), 0x1FDF, 0xCF);
        EXPECT_EQ(HSLCRTCSetPitch(b.h(), &m), 0u);
        EXPECT_EQ(b.mga->crtc(0x13), c.value & 0xFF) << c.bpp << " " << c.pitch;
        EXPECT_EQ(b.mga->crtcExt(0), uint8_t(0xCF | ((c.value >> 8) & 3) << 4))
            << c.bpp << " " << c.pitch;
        EXPECT_EQ(b.h()->CurrentModeCRTC1.ulFBPitch, c.pitch);
    }
}

TEST(Crtc, PriorityRequest) {
    struct Case {
        const char *what;
        uint8_t ext3;
        uint32_t sysKHz;
        uint8_t memoryDiv;
        int32_t pixKHz;
        uint8_t ext6;
    } cases[] = {
        // M = 100000, L = 52: (36800000 - 1 x (100000 + 3380000)) / 6400000 = 5;
        // maxhipri = 65000 / 100000 = 0.
        {"8 bits at 65000", 0x80, 200000, 0x12, 65000, 0x05},
        // s = 3: (36800000 - 4 x 3480000) / 6400000 = 3; 4 x 65000 / 100000 = 2.
        {"32 bits", 0x83, 200000, 0x12, 65000, 0x23},
        {"a negative numerator", 0x83, 200000, 0x12, 200000, 0x00},
        {"a memory clock of 0 (never programmed)", 0x80, 0, 0x12, 65000, 0x00},
        {"a ratio with no denominator", 0x80, 200000, 0x10, 65000, 0x00},
    };
    for (const Case &c : cases) {
        Clocked b;
        ClientWriteRegisterByte(b.h(), 0x1FDE, 3);
        ClientWriteRegisterByte(b.h(), 0x1FDF, c.ext3);
        ClientWriteRegisterByte(b.h(), 0x1FDE, 6);
        ClientWriteRegisterByte(b.h(), 0x1FDF, 0x77);
        b.h()->CurrentSysClock.ulSystemPllFreq = c.sysKHz;
        b.h()->CurrentSysClock.ucMemoryClockDiv = c.memoryDiv;
        b.h()->CurrentModeCRTC1.lPixClock = c.pixKHz;
        EXPECT_EQ(HSLCRTCSetPriorityRequest(b.h()), 0u) << c.what;
        EXPECT_EQ(b.mga->crtcExt(6), c.ext6) << c.what;
        EXPECT_EQ(b.mga->seq(1) & 0x20, 0) << c.what << ": the screen on again";
    }
    // With an error recorded nothing is computed or written.
    Clocked b;
    b.h()->ulErrorCode = 0xB09071B0u;
    machine().clearTrace();
    EXPECT_EQ(HSLCRTCSetPriorityRequest(b.h()), 0xB09071B0u);
    EXPECT_TRUE(machine().trace().empty());
}

TEST(Crtc, ZoomWithAndWithoutDoubling) {
    struct Case {
        uint32_t zoom;
        int refresh; // 30 asks for doubling
        uint32_t error;
        uint8_t dac38, cr9Low;
    } cases[] = {{1, 60, 0, 0, 0},
                 {2, 60, 0, 1, 1},
                 {4, 60, 0, 3, 3},
                 {1, 30, 0, 0, 1},
                 {2, 30, 0, 1, 3},
                 {4, 30, 0, 3, 7},
                 {3, 60, HSL_ERR_DAC_ZOOM, 0x55, 0x1F}};
    for (const Case &c : cases) {
        Clocked b;
        b.h()->CurrentModeCRTC1 = mode1024();
        b.h()->CurrentModeCRTC1.lRefreshRate = c.refresh;
        ClientWriteRegisterByte(b.h(), 0x1FD4, 9);
        ClientWriteRegisterByte(b.h(), 0x1FD5, 0xBF);
        HSLDACWriteRegister(b.h(), 0x38, 0x55);
        EXPECT_EQ(HSLDACSetZoom(b.h(), c.zoom), c.error) << c.zoom;
        EXPECT_EQ(b.mga->dacReg(0x38), c.dac38) << c.zoom;
        EXPECT_EQ(b.mga->crtc(9), uint8_t(0xA0 | c.cr9Low)) << c.zoom << " " << c.refresh;
    }
}

TEST(Crtc, TimingAdjustmentForLinesOneWordShortOfTheUnit) {
    // Line totals 1024 + 32 + 128 + back porch.
    struct Case {
        int bpp, zoom;
        int32_t hbp, hbpAfter, clockAfter;
    } cases[] = {
        {8, 1, 216, 224, 65000 + 65000 * 8 / 1400},  // 175 words: 15 of 16
        {8, 1, 160, 160, 65000},                     // 168 words: 8 of 16
        {16, 2, 220, 228, 65000 + 65000 * 8 / 1404}, // 351 words: 31 of 32
        {16, 1, 160, 160, 65000},                    // 336 words: 0 of 16
        {32, 4, 222, 230, 65000 + 65000 * 8 / 1406}, // 703 words: 63 of 64
        {24, 1, 179, 187, 65000 + 65000 * 8 / 1363}, // 511 words: 15 of 16
        {24, 1, 112, 112, 65000},                    // 486 words: 6 of 16
        {12, 1, 216, 216, 65000},                    // no line length at this depth
        {8, 3, 216, 216, 65000},                     // a zoom validation refuses
    };
    for (const Case &c : cases) {
        ModeInfo m = mode1024(c.bpp);
        m.lZoom = c.zoom;
        m.lHBPorch = c.hbp;
        BoardHandle h{};
        EXPECT_EQ(HSLCRTCAdjustVideoParameters(&h, &m), 0u);
        EXPECT_EQ(m.lHBPorch, c.hbpAfter) << c.bpp << " " << c.zoom << " " << c.hbp;
        EXPECT_EQ(m.lPixClock, c.clockAfter) << c.bpp << " " << c.zoom << " " << c.hbp;
    }
}

TEST(Crtc, HiresSwitchLockAndBlank) {
    Clocked b;
    ClientWriteRegisterByte(b.h(), 0x1FC2, 0x67);
    EXPECT_EQ(HSLCRTCSelectHiresMode(b.h()), 0u);
    EXPECT_EQ(b.mga->crtcExt(3) & 0x80, 0x80);
    EXPECT_EQ(b.mga->misc(), 0x65);
    EXPECT_EQ(b.mga->seq(1), 0x00) << "0x20, then the screen on again";
    // Already out of VGA mode: nothing at all.
    ClientWriteRegisterByte(b.h(), 0x1FC4, 1);
    ClientWriteRegisterByte(b.h(), 0x1FC5, 0x08);
    machine().clearTrace();
    EXPECT_EQ(HSLCRTCSelectHiresMode(b.h()), 0u);
    EXPECT_EQ(traceLines(), (std::vector<std::string>{"write8 MEMORY+0x1FDE <- 0x03",
                                                      "read8 MEMORY+0x1FDF -> 0x80"}));
    EXPECT_EQ(HSLCRTCLock(b.h()), 0u);
    EXPECT_EQ(b.mga->crtc(0x11) & 0x80, 0x80);
    EXPECT_EQ(HSLCRTCUnLock(b.h()), 0u);
    EXPECT_EQ(b.mga->crtc(0x11) & 0x80, 0);
    EXPECT_EQ(HSLCRTCDisable(b.h()), 0u);
    EXPECT_EQ(b.mga->seq(1), 0x28);
    uint8_t on = 7;
    EXPECT_EQ(HSLDACScreenState(b.h(), &on), 0u);
    EXPECT_EQ(on, 0);
    HSLDACScreenOn(b.h());
    HSLDACScreenState(b.h(), &on);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(HSLDACDisableOutput(b.h()), 0u);
    EXPECT_EQ(b.mga->dacReg(0x1E) & 1, 0);
    EXPECT_EQ(HSLDACPowerUp(b.h()), 0u);
    EXPECT_EQ(b.mga->dacReg(0x1E) & 0x11, 0x11);
    EXPECT_EQ(HSLDACWaitForVSync(b.h()), 0u);
    uint8_t loaded = 0;
    EXPECT_EQ(HSLDACSenceMonitorLoad(b.h(), &loaded), 0u);
    EXPECT_EQ(loaded, 1);
    EXPECT_TRUE(b.failures.empty());
}

// ---------------------------------------------------------------- the error word

TEST(ClockErrorRule, AfterAnErrorNoRoutineTouchesTheBoard) {
    ModeInfo mode = mode1024();
    SysClockInfo clock = clockOf(200000, 0x12, 0x12, 0x12);
    const std::pair<const char *, std::function<uint32_t(BoardHandle *)>> routines[] = {
        {"DAC read",
         [](BoardHandle *b) {
             uint8_t v = 0x99;
             const uint32_t r = HSLDACReadRegister(b, 0x1E, &v);
             EXPECT_EQ(v, 0x99);
             return r;
         }},
        {"DAC write", [](BoardHandle *b) { return HSLDACWriteRegister(b, 0x1E, 0); }},
        {"DAC init", [&](BoardHandle *b) { return HSLDACInit(b, &mode); }},
        {"PLL search",
         [](BoardHandle *b) {
             uint32_t m = 9, n = 9, p = 9, s = 9;
             const uint32_t r = HSLDACComputePLLParam(b, 65000, 0, &m, &n, &p, &s);
             EXPECT_EQ(m + n + p + s, 36u);
             return r;
         }},
        {"pixel PLL", [&](BoardHandle *b) { return HSLDACPIXPLLSET(b, &mode); }},
        {"beat guard", HSLDACAdjustSystemPLL},
        {"system PLL", [](BoardHandle *b) { return HSLDACSYSPLLSET(b, 100000); }},
        {"vertical sync", HSLDACWaitForVSync},
        {"screen state",
         [](BoardHandle *b) {
             uint8_t v = 0x99;
             const uint32_t r = HSLDACScreenState(b, &v);
             EXPECT_EQ(v, 0x99);
             return r;
         }},
        {"screen off", HSLDACScreenOff},
        {"screen on", HSLDACScreenOn},
        {"power up", HSLDACPowerUp},
        {"disable output", HSLDACDisableOutput},
        {"monitor load",
         [](BoardHandle *b) {
             uint8_t v = 0x99;
             const uint32_t r = HSLDACSenceMonitorLoad(b, &v);
             EXPECT_EQ(v, 0x99);
             return r;
         }},
        {"eclipse clock", [&](BoardHandle *b) { return HSLECLProgramSystemClock(b, &clock); }},
        {"twister clock", [&](BoardHandle *b) { return HSLTWIProgramSystemClock(b, &clock); }},
        {"CRTC", [&](BoardHandle *b) { return HSLCRTCSet(b, &mode); }},
        {"start", [](BoardHandle *b) { return HSLCRTCSetDisplayStart(b, 8, 8); }},
        {"pitch", [&](BoardHandle *b) { return HSLCRTCSetPitch(b, &mode); }},
        {"hires", HSLCRTCSelectHiresMode},
        {"priority", HSLCRTCSetPriorityRequest},
        {"zoom", [](BoardHandle *b) { return HSLDACSetZoom(b, 2); }},
        {"lock", HSLCRTCLock},
        {"unlock", HSLCRTCUnLock},
        {"disable", HSLCRTCDisable},
        {"adjust",
         [&](BoardHandle *b) {
             ModeInfo m = mode1024();
             m.lHBPorch = 216;
             const uint32_t r = HSLCRTCAdjustVideoParameters(b, &m);
             EXPECT_EQ(m.lHBPorch, 216);
             return r;
         }},
    };
    for (const auto &[what, routine] : routines) {
        Clocked b;
        b.h()->ulErrorCode = 0xB0101160u;
        const BoardHandle before = *b.h();
        machine().clearTrace();
        const int requests =
            machine().pci().requests(PCI_READ_CONFIG) + machine().pci().requests(PCI_WRITE_CONFIG);
        EXPECT_EQ(routine(b.h()), 0xB0101160u) << what;
        EXPECT_TRUE(machine().trace().empty()) << what;
        EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG) +
                      machine().pci().requests(PCI_WRITE_CONFIG),
                  requests)
            << what;
        EXPECT_EQ(std::memcmp(&before, b.h(), offsetof(BoardHandle, HSLJumpTable)), 0)
            << what << ": the handle is left alone";
    }
}

} // namespace
