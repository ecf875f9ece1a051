// The Matrox chip layer's board data and memory on the "mga" board: finding
// the board-data block in the option ROM (and falling back to the legacy
// image), decoding both structure versions, the eclipse and twister clock
// records, the memory size probe and the read-back delay calibration.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal_error.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "pcibus.h"
#include "pcicfg.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

constexpr uint32_t kPinsAt = 0x7E00;

std::vector<uint8_t> block(int version, std::vector<std::pair<int, uint8_t>> bytes = {}) {
    sim::MgaRom r;
    r.pinsVersion = version;
    r.pinsBytes = std::move(bytes);
    return sim::buildMgaPins(r);
}

// ---------------------------------------------------------------- ROM search

struct SearchCase {
    const char *what;
    std::function<void(sim::MgaRom &)> arrange;
    int expectAt; // offset of the block the copy must hold; -1 none
    uint32_t version;
};

TEST(BiosReadPins, FindsTheBlockAndLeavesTheWindowAsItWas) {
    const SearchCase cases[] = {
        {"version 3", [](sim::MgaRom &) {}, int(kPinsAt), 0x2001},
        {"version 4", [](sim::MgaRom &r) { r.pinsVersion = 4; }, int(kPinsAt), 0x2001},
        {"a bad sum, then a good block", [](sim::MgaRom &r) { r.badSumCopyAt = 0x1000; },
         int(kPinsAt), 0x2001},
        {"a length of 129 is passed over", [](sim::MgaRom &r) { r.overlongAt = 0x1000; },
         int(kPinsAt), 0x2001},
        {"the older block behind 0x7FFC", [](sim::MgaRom &r) { r.pinsVersion = 0; }, int(kPinsAt),
         0x2001},
        {"PCIR revision 0x0311", [](sim::MgaRom &r) { r.pcirRevision = 0x0311; }, int(kPinsAt),
         0x11003},
        {"no PCIR: the revision byte",
         [](sim::MgaRom &r) {
             r.pcir = false;
             r.revisionByte = 0x21;
         },
         int(kPinsAt), 0x21000},
    };
    for (const SearchCase &c : cases) {
        Board s;
        sim::MgaRom r;
        r.outputMode = 0x42;
        c.arrange(r);
        s.rom(r);
        const std::vector<uint8_t> rom = s.mga->rom();
        const uint32_t option = s.config(0x40), romBase = s.config(0x30);
        s.h()->HSLData.ulPLLFreqRef = 0x5A5A5A5Au; // just past the copy
        uint32_t version = 0x77;
        EXPECT_EQ(HSLBIOSReadPins(s.h(), &version), 0u) << c.what;
        EXPECT_EQ(version, c.version) << c.what;
        const size_t length = r.pinsVersion == 4 ? 128 : 64;
        EXPECT_EQ(std::memcmp(s.h()->HSLData.aucPInS, &rom[size_t(c.expectAt)], length), 0)
            << c.what;
        EXPECT_EQ(s.h()->HSLData.ulPLLFreqRef, 0x5A5A5A5Au) << c.what;
        EXPECT_EQ(s.h()->ulBiosOutputMode, 0x42u) << c.what;
        EXPECT_FALSE(s.mga->romShown()) << c.what;
        EXPECT_EQ(s.config(0x40), option) << c.what;
        EXPECT_EQ(s.config(0x30), romBase) << c.what;
        EXPECT_TRUE(s.failures.empty()) << c.what;
    }
}

TEST(BiosReadPins, WithoutABlockTheLegacyImageIsSearched) {
    struct Case {
        const char *what;
        bool romSignature;
        int romPins, legacyPins; // versions, -1 none
        uint32_t error;
    } cases[] = {
        {"no ROM signature, a good legacy image", false, 3, 3, 0},
        {"no block in either", true, -1, -1, CLIENT_ERR_NO_PINS},
        {"a block only in the legacy image", true, -1, 4, 0},
    };
    for (const Case &c : cases) {
        Board s;
        sim::MgaRom r;
        r.signature = c.romSignature;
        r.pinsVersion = c.romPins;
        s.rom(r);
        sim::MgaRom legacy;
        legacy.pinsVersion = c.legacyPins;
        legacy.pinsOffset = 0x6000;
        const std::vector<uint8_t> image = sim::buildMgaRom(legacy);
        std::memcpy(s.priv.legacyBios, image.data(), image.size());
        uint32_t version = 0;
        EXPECT_EQ(HSLBIOSReadPins(s.h(), &version), c.error) << c.what;
        EXPECT_EQ(version, 0x2001u) << c.what;
        if (c.legacyPins >= 0) {
            EXPECT_EQ(std::memcmp(s.h()->HSLData.aucPInS, &image[0x6000], 64), 0) << c.what;
        }
        EXPECT_FALSE(s.mga->romShown()) << c.what;
    }
}

TEST(BiosReadPins, TvOutTextMarksTheOutputMode) {
    struct Case {
        const char *text;
        bool tvOut;
    } cases[] = {
        {" IBM QUARN (V2.1 TVO)", true},
        {" IBM QUARN (V2.1 XYZ) (V2.1 TVO)", false}, // the first "(V" ends the scan
        {" IBM QUARN (VERSION 2)", false},
        {" ACME QUARN (V2.1 TVO)", false}, // not an " IBM" text
        {" IBM QUARN", false},
    };
    for (const Case &c : cases) {
        Board s;
        sim::MgaRom r;
        r.text = c.text;
        s.rom(r);
        uint32_t version = 0;
        EXPECT_EQ(HSLBIOSReadPins(s.h(), &version), 0u) << c.text;
        EXPECT_EQ((s.h()->ulBiosOutputMode & 0x100) != 0, c.tvOut) << c.text;
    }
}

TEST(BiosGetVersion, FromTheConfiguredBaseOrTheWordIsLeftAlone) {
    struct Case {
        const char *what;
        bool signature, pcir;
        uint32_t error, version;
    } cases[] = {
        {"PCIR", true, true, 0, 0x2001},
        {"no signature", false, true, HSL_ERR_BIOS_NO_ROM, 0x99},
        {"no PCIR", true, false, HSL_ERR_BIOS_NO_ROM, 0x99},
    };
    for (const Case &c : cases) {
        Board s;
        s.h()->HSLData.ulFrameBuffer = 0; // not the base this routine uses
        sim::MgaRom r;
        r.signature = c.signature;
        r.pcir = c.pcir;
        r.revisionByte = 0x21;
        s.rom(r);
        const uint32_t option = s.config(0x40), romBase = s.config(0x30);
        uint32_t version = 0x99;
        EXPECT_EQ(HSLBIOSGetVersion(s.h(), &version), c.error) << c.what;
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_FALSE(s.mga->romShown()) << c.what << ": the ROM is hidden again";
        EXPECT_EQ(s.config(0x40), option) << c.what;
        EXPECT_EQ(s.config(0x30), romBase) << c.what;
    }
}

// ---------------------------------------------------------------- decoding

struct DecodeCase {
    const char *what;
    std::vector<std::pair<int, uint8_t>> bytes;
    std::function<uint32_t(const BoardHandle &)> field;
    uint32_t expected;
};

uint32_t vco(const BoardHandle &b) {
    return b.HSLData.ulVCOMax;
}
uint32_t sysVco(const BoardHandle &b) {
    return b.HSLData.ulSystemVCOMax;
}
uint32_t pclk8(const BoardHandle &b) {
    return b.HSLData.ulPclkMax8;
}
uint32_t pclk16(const BoardHandle &b) {
    return b.HSLData.ulPclkMax16;
}
uint32_t pclk24(const BoardHandle &b) {
    return b.HSLData.ulPclkMax24;
}
uint32_t pclk32(const BoardHandle &b) {
    return b.HSLData.ulPclkMax32;
}
uint32_t serial16(const BoardHandle &b) {
    return std::string(b.SerialNumber) == "QRN0000000000001" ? 1 : 0;
}
uint32_t noSerial(const BoardHandle &b) {
    return std::memcmp(b.SerialNumber, "*** NO SERIAL NUMBER ***", 25) == 0 ? 1 : 0;
}

TEST(PinsVersion3, BytesToWords) {
    const DecodeCase cases[] = {
        {"VCO default", {{36, 0xFF}}, vco, 230000},
        {"system VCO default", {{36, 0xFF}}, sysVco, 230000},
        {"VCO", {{36, 50}}, sysVco, 150000},
        {"pixel 8 default is the VCO", {{36, 50}, {37, 0xFF}}, pclk8, 150000},
        {"pixel 8", {{37, 20}}, pclk8, 120000},
        {"pixel 16", {{38, 0}}, pclk16, 100000},
        {"pixel 24", {{39, 0xFF}, {36, 0xFF}}, pclk24, 230000},
        {"pixel 32", {{40, 155}}, pclk32, 255000},
        {"memory timing default",
         {{48, 0xFF}, {49, 0xFF}, {50, 0xFF}, {51, 0xFF}},
         [](const BoardHandle &b) { return b.HSLData.ulMCTLWTST; },
         0x01250A21},
        {"memory timing",
         {{48, 1}, {49, 2}, {50, 3}, {51, 0xFF}},
         [](const BoardHandle &b) { return b.HSLData.ulMCTLWTST; },
         0xFF030201},
        {"priority default",
         {{55, 0xFF}},
         [](const BoardHandle &b) { return b.HSLData.ulCRTCEXT6; },
         0x20002},
        {"priority",
         {{55, 0x2D}},
         [](const BoardHandle &b) { return b.HSLData.ulCRTCEXT6; },
         0x50005},
        {"base 00", {{55, 0x12}}, [](const BoardHandle &b) { return b.ulBaseMemory; }, 2 * kMB},
        {"base 01", {{55, 0x52}}, [](const BoardHandle &b) { return b.ulBaseMemory; }, 4 * kMB},
        {"base 10", {{55, 0x92}}, [](const BoardHandle &b) { return b.ulBaseMemory; }, 8 * kMB},
        {"base 11", {{55, 0xFF}}, [](const BoardHandle &b) { return b.ulBaseMemory; }, 2 * kMB},
        {"PCB revision nibbles",
         {{34, 0xA5}, {35, 0x3C}},
         [](const BoardHandle &b) { return b.ulPCBRev; },
         0x03CA0005},
        {"read-back",
         {{56, 0xA5}, {57, 0xB6}},
         [](const BoardHandle &b) { return b.HSLData.ulMemRdBk; },
         0x5 | 0xAu << 5 | 2u << 22 | 0xBu << 25},
        {"reference 14318",
         {{52, 0x20}},
         [](const BoardHandle &b) { return b.HSLData.ulPLLFreqRef; },
         14318},
        {"reference 27000",
         {{52, 0xDF}},
         [](const BoardHandle &b) { return b.HSLData.ulPLLFreqRef; },
         27000},
        {"DVD", {{3, 0xFF}}, [](const BoardHandle &b) { return b.ulDVDInfo; }, 0x1F},
        {"BIOS program",
         {{6, 0x78}, {7, 0x56}, {8, 0x34}, {9, 0x12}},
         [](const BoardHandle &b) { return b.ulBiosProg; },
         0x12345678},
        {"product",
         {{10, 0x25}, {11, 0x05}},
         [](const BoardHandle &b) { return b.ulProductID; },
         0x0525},
        {"video control",
         {{53, 0x41}},
         [](const BoardHandle &b) { return b.HSLData.ulVidCtrl; },
         0x41},
        {"memory configuration",
         {{54, 0x07}},
         [](const BoardHandle &b) { return b.HSLData.ulMemoryConfig; },
         7},
        {"OPTION2",
         {{58, 0x1C}},
         [](const BoardHandle &b) { return b.HSLData.ulOption2; },
         0x1C000},
        {"factory",
         {{59, 0x81}},
         [](const BoardHandle &b) { return uint32_t(b.HSLData.ucFactoryOpt); },
         0x81},
        {"memory type", {{52, 0x10}}, [](const BoardHandle &b) { return b.ulMemoryType; }, 0},
        {"serial", {}, serial16, 1},
        {"serial at 0x20",
         {{12, 0x20}},
         [](const BoardHandle &b) { return uint32_t(b.SerialNumber[0]); },
         0x20},
        {"serial at 0x80",
         {{12, 0x80}},
         [](const BoardHandle &b) { return uint32_t(uint8_t(b.SerialNumber[0])); },
         0x80},
        {"no serial below 0x20", {{12, 0x1F}}, noSerial, 1},
        {"no serial above 0x80", {{12, 0x81}}, noSerial, 1},
    };
    for (const DecodeCase &c : cases) {
        BoardHandle h{};
        std::memset(h.SerialNumber, 'x', sizeof h.SerialNumber);
        const std::vector<uint8_t> p = block(3, c.bytes);
        std::memcpy(h.HSLData.aucPInS, p.data(), p.size());
        EXPECT_EQ(HSLPIN30GetBoardInfo(&h), 0u) << c.what;
        EXPECT_EQ(c.field(h), c.expected) << c.what;
    }
}

TEST(PinsVersion4, UnpackingCarriesEachFieldToItsAlignedPlace) {
    BoardHandle h{};
    for (int i = 0; i < 128; i++)
        h.HSLData.aucPInS[i] = uint8_t(i + 1);
    uint8_t record[HSL_PINS40_RECORD_BYTES];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(HSLPIN40FillStruc(&h, record), 0u);
    // Packed offset, unpacked offset, bytes.
    struct Move {
        int from, to, count;
    } moves[] = {{0, 0, 46},  {46, 48, 4}, {50, 52, 6},  {57, 60, 4}, {61, 64, 4},
                 {65, 68, 1}, {67, 72, 4}, {71, 76, 4},  {75, 80, 1}, {77, 84, 4},
                 {81, 88, 4}, {85, 92, 8}, {127, 134, 1}};
    uint8_t expected[HSL_PINS40_RECORD_BYTES] = {};
    for (const Move &m : moves)
        for (int i = 0; i < m.count; i++)
            expected[m.to + i] = uint8_t(m.from + i + 1);
    for (int i = 0; i < HSL_PINS40_RECORD_BYTES; i++)
        EXPECT_EQ(record[i], expected[i]) << "record byte " << i;
}

TEST(PinsVersion4, BytesToWords) {
    auto type = [](const BoardHandle &b) { return b.ulMemoryType; };
    auto base = [](const BoardHandle &b) { return b.ulBaseMemory; };
    const DecodeCase cases[] = {
        {"VCO default", {{39, 0xFF}}, vco, 230000},
        {"VCO", {{39, 50}}, vco, 200000},
        {"system VCO default is the VCO", {{39, 50}, {38, 0xFF}}, sysVco, 200000},
        {"system VCO", {{38, 40}}, sysVco, 160000},
        {"pixel 8 default is the VCO", {{39, 50}, {40, 0xFF}}, pclk8, 200000},
        {"pixel 16 repeats 8", {{40, 45}, {41, 0xFF}}, pclk16, 180000},
        {"pixel 32 repeats 8", {{40, 45}, {41, 0xFF}, {42, 0xFF}, {43, 0xFF}}, pclk32, 180000},
        {"pixel 32 repeats 24", {{40, 45}, {42, 30}, {43, 0xFF}}, pclk32, 120000},
        {"pixel 24", {{42, 30}}, pclk24, 120000},
        {"reference",
         {{92, 0x01}},
         [](const BoardHandle &b) { return b.HSLData.ulPLLFreqRef; },
         14318},
        {"base 4 MB", {{92, 0x00}}, base, 4 * kMB},
        {"base 8 MB", {{92, 0x04}}, base, 8 * kMB},
        {"base 16 MB", {{92, 0x08}}, base, 16 * kMB},
        {"base 32 MB", {{92, 0x0C}}, base, 32 * kMB},
        {"memory type 5", {{92, 0x10}}, type, 5},
        {"memory type 2", {{92, 0xEF}}, type, 2},
        {"OPTION",
         {{53, 0xF8}},
         [](const BoardHandle &b) { return b.HSLData.ulOption; },
         0x10401C00},
        {"OPTION, other bits dropped",
         {{53, 0x07}},
         [](const BoardHandle &b) { return b.HSLData.ulOption; },
         0},
        {"read-back",
         {{86, 0xA5}, {87, 0xB6}},
         [](const BoardHandle &b) { return b.HSLData.ulMemRdBk; },
         0x5 | 0xAu << 5 | 2u << 22 | 0xBu << 25},
        {"VGA memory timing",
         {{61, 1}, {62, 2}, {63, 3}, {64, 4}},
         [](const BoardHandle &b) { return b.SysClockVGA.ulMCTLWTST; },
         0x04030201},
        {"mode 1 memory timing",
         {{71, 5}, {72, 6}, {73, 7}, {74, 8}},
         [](const BoardHandle &b) { return b.SysClockMode1.ulMCTLWTST; },
         0x08070605},
        {"mode 2 memory timing",
         {{81, 9}, {82, 10}, {83, 11}, {84, 12}},
         [](const BoardHandle &b) { return b.SysClockMode2.ulMCTLWTST; },
         0x0C0B0A09},
        {"video control",
         {{90, 0x41}},
         [](const BoardHandle &b) { return b.HSLData.ulVidCtrl; },
         0x41},
        {"factory",
         {{91, 0x81}},
         [](const BoardHandle &b) { return uint32_t(b.HSLData.ucFactoryOpt); },
         0x81},
        {"PCB revision",
         {{34, 0xA5}, {35, 0x3C}},
         [](const BoardHandle &b) { return b.ulPCBRev; },
         0x03CA0005},
        {"product",
         {{10, 0x25}, {11, 0x05}},
         [](const BoardHandle &b) { return b.ulProductID; },
         0x0525},
        {"serial", {}, serial16, 1},
        {"no serial", {{12, 0x05}}, noSerial, 1},
        {"VGA clock",
         {{55, 50}, {57, 0x18}, {58, 0}, {59, 0}, {60, 0}},
         [](const BoardHandle &b) { return b.SysClockVGA.ulSystemPllFreq; },
         50000},
        {"mode 1 clock from the system PLL, 2/3",
         {{65, 100}, {67, 0x21}, {68, 0}, {69, 0}, {70, 0}},
         [](const BoardHandle &b) { return b.SysClockMode1.ulSystemPllFreq; },
         150000},
        {"mode 2 clock",
         {{75, 90}, {77, 0x19}, {78, 0}, {79, 0}, {80, 0}},
         [](const BoardHandle &b) { return b.SysClockMode2.ulSystemPllFreq; },
         180000},
    };
    for (const DecodeCase &c : cases) {
        BoardHandle h{};
        std::vector<std::pair<int, uint8_t>> bytes = c.bytes;
        const std::vector<uint8_t> p = block(4, bytes);
        std::memcpy(h.HSLData.aucPInS, p.data(), p.size());
        EXPECT_EQ(HSLPIN40GetBoardInfo(&h), 0u) << c.what;
        EXPECT_EQ(c.field(h), c.expected) << c.what;
        EXPECT_EQ(h.ulAddonMemory, 0u) << "not the version-4 reader's";
    }
}

TEST(PinsVersion4, ClockOptionsToRatiosAndDescriptions) {
    struct Case {
        uint32_t field;
        uint8_t ratio;
        uint32_t pllKHz; // for 100 MHz from the system PLL
    } cases[] = {{0, 0x13, 300000}, {1, 0x25, 250000}, {2, 0x49, 225000}, {3, 0x12, 200000},
                 {4, 0x23, 150000}, {5, 0x11, 100000}, {6, 0x77, 100000}, {7, 0x77, 100000}};
    for (const Case &c : cases) {
        BoardHandle h{};
        SysClockInfo clock{};
        clock.ucGraphicClockDiv = clock.ucMemoryClockDiv = clock.ucWarpClockDiv = 0x77;
        // Graphics from the system PLL, duty 5; memory source 2, duty 9;
        // warp source 3, duty 0xC.
        const uint32_t options = 1 | c.field << 3 | 5 << 6 | 2 << 10 | c.field << 13 | 9 << 16 |
                                 3 << 20 | c.field << 23 | 0xCu << 26;
        h.ulErrorCode = 0x40302080u;
        EXPECT_EQ(HSLPIN40SetSystemClockInfo(&h, 100, options, &clock), 0x40302080u);
        EXPECT_EQ(clock.ulSystemPllFreq, c.pllKHz) << c.field;
        EXPECT_EQ(clock.ucGraphicClockDiv, c.ratio) << c.field;
        EXPECT_EQ(clock.ucMemoryClockDiv, c.ratio) << c.field;
        EXPECT_EQ(clock.ucWarpClockDiv, c.ratio) << c.field;
        EXPECT_EQ(clock.ucGraphicClockDesc, 0x15);
        EXPECT_EQ(clock.ucMemoryClockDesc, 0x29);
        EXPECT_EQ(clock.ucWarpClockDesc, 0x3C);
        // A graphics clock from another source leaves the PLL at the clock.
        SysClockInfo other{};
        HSLPIN40SetSystemClockInfo(&h, 100, (options & ~3u) | 2, &other);
        EXPECT_EQ(other.ulSystemPllFreq, 100000u) << c.field;
    }
}

// ---------------------------------------------------------------- family readers

graf::Builder withPins(graf::Builder b, int memMB, const std::string &bytes) {
    b.integer("MEMSIZE", memMB * int(kMB)).string("PINS_BYTES", bytes);
    return b;
}

struct ClockCase {
    const char *what;
    int memMB;
    const char *bytes;
    uint32_t addon, mode1, vga, mode2;
    uint8_t graphics, memory, warp;    // mode 1 and VGA
    uint8_t graphics2, memory2, warp2; // mode 2
};

TEST(EclipsePins, ClockRecordsByAddOnMemoryAndFlags) {
    // Base 2 MB (byte 55 bits 6-7 = 0); mode clocks 60, 70, 80, none.
    const char *clocks = "55=0x12 43=0xFF 44=60 45=70 46=80 47=0xFF ";
    const ClockCase cases[] = {
        {"no add-on", 2, "", 0, 120000, 120000, 120000, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12},
        {"2 MB add-on", 4, "", 2 * kMB, 140000, 140000, 140000, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12},
        {"4 MB add-on", 6, "", 4 * kMB, 160000, 160000, 160000, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12},
        {"8 MB add-on: byte 47 is 0xFF, byte 44 instead", 10, "", 8 * kMB, 120000, 120000, 120000,
         0x12, 0x12, 0x12, 0x12, 0x12, 0x12},
        {"VGA clock of its own, two thirds", 2, "43=50 52=0x01", 0, 90000, 75000, 90000, 0x23, 0x12,
         0x12, 0x23, 0x12, 0x12},
        {"byte 58 keeps all three at 1/1 over byte 52", 2, "52=0x23 58=0x1C", 0, 60000, 60000,
         60000, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11},
        {"memory and warp at 2/3", 2, "52=0x22", 0, 120000, 120000, 120000, 0x12, 0x23, 0x23, 0x12,
         0x23, 0x23},
        {"second clock, no add-on", 2, "60=100 61=0x00 62=0xA0", 0, 120000, 120000, 200000, 0x12,
         0x12, 0x12, 0x12, 0x12, 0x12},
        {"second clock lowered by byte 62's high nibble", 4, "60=100 61=0x00 62=0xA0", 2 * kMB,
         140000, 140000, 180000, 0x12, 0x12, 0x12, 0x12, 0x12, 0x12},
        {"second clock ratios from byte 61 (1/1)", 2, "60=100 61=0x1C", 0, 120000, 120000, 100000,
         0x12, 0x12, 0x12, 0x11, 0x11, 0x11},
        {"second clock ratios from byte 61 (2/3)", 2, "60=100 61=0xE0", 0, 120000, 120000, 150000,
         0x12, 0x12, 0x12, 0x23, 0x23, 0x23},
    };
    for (const ClockCase &c : cases) {
        Board s(withPins(mgaBoard(0x0521), c.memMB,
                         std::string(clocks) + "48=0x21 49=0x43 50=0x65 51=0x07 " + c.bytes));
        s.memoryInitialised();
        EXPECT_EQ(HSLECLGetPInSInfo(s.h()), 0u) << c.what;
        const BoardHandle &b = *s.h();
        EXPECT_EQ(b.ulBaseMemory, 2 * kMB) << c.what;
        EXPECT_EQ(b.ulAddonMemory, c.addon) << c.what;
        EXPECT_EQ(b.ulBiosVersion, 0x2001u) << c.what;
        EXPECT_EQ(b.SysClockMode1.ulSystemPllFreq, c.mode1) << c.what;
        EXPECT_EQ(b.SysClockVGA.ulSystemPllFreq, c.vga) << c.what;
        EXPECT_EQ(b.SysClockMode2.ulSystemPllFreq, c.mode2) << c.what;
        for (const SysClockInfo *r : {&b.SysClockMode1, &b.SysClockVGA}) {
            EXPECT_EQ(r->ucGraphicClockDiv, c.graphics) << c.what;
            EXPECT_EQ(r->ucMemoryClockDiv, c.memory) << c.what;
            EXPECT_EQ(r->ucWarpClockDiv, c.warp) << c.what;
        }
        EXPECT_EQ(b.SysClockMode2.ucGraphicClockDiv, c.graphics2) << c.what;
        EXPECT_EQ(b.SysClockMode2.ucMemoryClockDiv, c.memory2) << c.what;
        EXPECT_EQ(b.SysClockMode2.ucWarpClockDiv, c.warp2) << c.what;
        for (const SysClockInfo *r : {&b.SysClockMode1, &b.SysClockVGA, &b.SysClockMode2}) {
            EXPECT_EQ(r->ulMCTLWTST, 0x07654321u) << c.what;
            EXPECT_EQ(r->ucGraphicClockDesc | r->ucMemoryClockDesc | r->ucWarpClockDesc, 0)
                << c.what;
        }
        EXPECT_TRUE(s.failures.empty()) << c.what;
    }
}

TEST(EclipsePins, MemoryTypeAndTheMemoryInitialisation) {
    struct Case {
        const char *bytes;
        uint32_t type;
    } cases[] = {{"52=0x10 54=0", 5}, {"52=0x50 54=0", 6}, {"52=0 54=0x01", 1},
                 {"52=0 54=0x02", 2}, {"52=0 54=0xFF", 2}, {"52=0 54=0xF8", 1}};
    for (const Case &c : cases) {
        Board s(withPins(mgaBoard(0x0521), 2, c.bytes));
        s.memoryInitialised();
        EXPECT_EQ(HSLECLGetPInSInfo(s.h()), 0u) << c.bytes;
        EXPECT_EQ(s.h()->ulMemoryType, c.type) << c.bytes;
    }
    // Memory not yet initialised: the chip's memory is set up (refresh
    // field 9, the board's memory configuration) before the records are
    // read; the mark stays for power-up to set.
    Board s(withPins(mgaBoard(0x0521), 2, "52=0 54=0x01"));
    EXPECT_EQ(HSLECLGetPInSInfo(s.h()), 0u);
    EXPECT_EQ((s.config(0x40) >> 15) & 0x3F, 9u);
    EXPECT_EQ(s.config(0x40) & (1u << 14), 1u << 14) << "not SGRAM";
    EXPECT_EQ(s.mga->reg(0x1E14) & 0x80000000u, 0u);
    EXPECT_NE(s.h()->SysClockMode1.ulSystemPllFreq, 0u);
    EXPECT_TRUE(s.failures.empty()) << s.failures.front();
}

TEST(TwisterPins, ClockRecordsAndMemoryType) {
    const char *clocks = "55=0x12 43=0xFF 44=50 45=70 46=0xFF 47=0xFF ";
    const ClockCase cases[] = {
        {"no add-on: byte 44", 2, "", 0, 100000, 100000, 100000, 0x12, 0x12, 0x11, 0x12, 0x12,
         0x11},
        {"2 MB add-on: byte 45 is not 0xFF, byte 44 all the same", 4, "", 2 * kMB, 100000, 100000,
         100000, 0x12, 0x12, 0x11, 0x12, 0x12, 0x11},
        {"4 MB add-on: byte 46 is 0xFF, 60 MHz", 6, "", 4 * kMB, 120000, 120000, 120000, 0x12, 0x12,
         0x11, 0x12, 0x12, 0x11},
        {"graphics tripled, warp halved, byte 58 ignored", 2, "43=40 52=0x05 58=0x1C 60=90", 0,
         150000, 120000, 150000, 0x13, 0x12, 0x12, 0x13, 0x12, 0x12},
        {"the other memory ratio is 1/3", 2, "52=0x02", 0, 100000, 100000, 100000, 0x12, 0x13, 0x11,
         0x12, 0x13, 0x11},
    };
    for (const ClockCase &c : cases) {
        Board s(withPins(mgaBoard(0x1001), c.memMB, std::string(clocks) + c.bytes));
        EXPECT_EQ(HSLTWIGetPInSInfo(s.h()), 0u) << c.what;
        const BoardHandle &b = *s.h();
        EXPECT_EQ(b.ulAddonMemory, c.addon) << c.what;
        EXPECT_EQ(b.SysClockMode1.ulSystemPllFreq, c.mode1) << c.what;
        EXPECT_EQ(b.SysClockVGA.ulSystemPllFreq, c.vga) << c.what;
        EXPECT_EQ(b.SysClockMode1.ucGraphicClockDiv, c.graphics) << c.what;
        EXPECT_EQ(b.SysClockMode1.ucMemoryClockDiv, c.memory) << c.what;
        EXPECT_EQ(b.SysClockMode1.ucWarpClockDiv, c.warp) << c.what;
        EXPECT_EQ(b.SysClockVGA.ucMemoryClockDiv, c.memory) << c.what;
        EXPECT_EQ(std::memcmp(&b.SysClockMode2, &b.SysClockMode1, sizeof(SysClockInfo)), 0)
            << c.what << ": the second mode clock is the first";
    }
    struct Type {
        const char *bytes;
        uint32_t type;
    } types[] = {{"52=0x10 54=0xFF", 5}, {"52=0 54=0", 1}, {"52=0 54=1", 3},
                 {"52=0 54=4", 2},       {"52=0 54=5", 4}, {"52=0 54=0xFA", 1}};
    for (const Type &t : types) {
        Board s(withPins(mgaBoard(0x1001), 2, t.bytes));
        EXPECT_EQ(HSLTWIGetPInSInfo(s.h()), 0u) << t.bytes;
        EXPECT_EQ(s.h()->ulMemoryType, t.type) << t.bytes;
    }
    // OPTION bits 0-1 both clear: the memory is initialised first.
    Board s(mgaBoard(0x1001));
    const uint32_t option = s.config(0x40);
    s.mga->configWrite(0x40, 4, option | 4); // the clock stopped while its source changes
    s.mga->configWrite(0x40, 4, (option | 4) & ~3u);
    s.mga->configWrite(0x40, 4, option & ~7u);
    EXPECT_EQ(HSLTWIGetPInSInfo(s.h()), 0u);
    EXPECT_EQ(s.config(0x40) >> 15 & 0x3F, 9u) << "the memory initialisation set the refresh";
    EXPECT_EQ(s.mga->reg(0x1C04), 0x8000u);
}

// ---------------------------------------------------------------- memory

TEST(MemoryAvail, FindsTheInstalledMemoryUpToTheLargestAsked) {
    struct Case {
        int memMB;
        uint32_t max, found;
    } cases[] = {{2, 16 * kMB, 2 * kMB},   {4, 16 * kMB, 4 * kMB},   {10, 16 * kMB, 10 * kMB},
                 {16, 16 * kMB, 16 * kMB}, {32, 16 * kMB, 16 * kMB}, {32, 32 * kMB, 32 * kMB},
                 {24, 32 * kMB, 24 * kMB}};
    for (const Case &c : cases) {
        Board s(mgaBoard().integer("MEMSIZE", c.memMB * int(kMB)).memory("FBM", kFbBase, 32 * kMB));
        uint32_t found = 0x99;
        EXPECT_EQ(HALPDetectMemoryAvail(s.h(), c.max, &found), 0u) << c.memMB;
        EXPECT_EQ(found, c.found) << c.memMB << " MB";
        EXPECT_TRUE(s.failures.empty());
    }
}

struct CalibrationCase {
    const char *what;
    int goodMin, goodMax;
    uint32_t delay;
};

TEST(MemoryReadBack, CalibrationChoosesADelayInsideTheGoodRange) {
    const CalibrationCase cases[] = {
        {"all good", 0, 15, 8},     {"0 to 5 good", 0, 5, 1}, {"10 to 15 good", 10, 15, 13},
        {"4 to 9 good", 4, 9, 7},   {"none good", 16, 15, 6}, {"only 15", 15, 15, 15},
        {"0 to 14 good", 0, 14, 4},
    };
    for (const CalibrationCase &c : cases) {
        Board s(mgaBoard()
                    .integer("MEMSIZE", int(4 * kMB))
                    .integer("READBACK_GOOD_MIN", c.goodMin)
                    .integer("READBACK_GOOD_MAX", c.goodMax));
        machine().setTracing(false);
        s.h()->ulBaseMemory = 4 * kMB;
        s.h()->HSLData.ulMemRdBk = 0x80000000u | 0x3u << 5 | 6; // board data's delay 6
        EXPECT_EQ(HALPDetectMemoryReadBackValue(s.h()), 0u) << c.what;
        const uint32_t fields = c.delay | c.delay << 5;
        EXPECT_EQ(s.h()->HSLData.ulMemRdBk, 0x80000000u | fields) << c.what;
        EXPECT_EQ(s.mga->reg(0x1E44), s.h()->HSLData.ulMemRdBk) << c.what;
        EXPECT_TRUE(s.failures.empty()) << c.what;
    }
}

TEST(MemoryReadBack, TheScreenIsTakenOutOfVgaModeOnlyWhileTesting) {
    for (bool vga : {true, false}) {
        Board s(mgaBoard().integer("MEMSIZE", int(4 * kMB)));
        s.h()->ulBaseMemory = 4 * kMB;
        ClientWriteRegisterByte(s.h(), 0x1FC4, 1);
        ClientWriteRegisterByte(s.h(), 0x1FC5, 0x01);
        ClientWriteRegisterByte(s.h(), 0x1FDE, 1);
        ClientWriteRegisterByte(s.h(), 0x1FDF, 0x02);
        ClientWriteRegisterByte(s.h(), 0x1FDE, 3);
        ClientWriteRegisterByte(s.h(), 0x1FDF, vga ? 0x01 : 0x81);
        machine().clearTrace();
        EXPECT_EQ(HALPDetectMemoryReadBackValue(s.h()), 0u);
        // The register writes before the first memory write, and after the
        // last memory read.
        std::vector<std::string> before, after;
        bool memorySeen = false;
        for (const std::string &line : traceLines()) {
            const bool memory = line.find("FBM") != std::string::npos;
            if (memory) {
                memorySeen = true;
                after.clear();
            } else if (line.rfind("write", 0) == 0) {
                (memorySeen ? after : before).push_back(line);
            }
        }
        if (vga) {
            EXPECT_EQ(before, (std::vector<std::string>{
                                  "write8 MEMORY+0x1FDE <- 0x03", "write8 MEMORY+0x1FC4 <- 0x01",
                                  "write8 MEMORY+0x1FC4 <- 0x01", "write8 MEMORY+0x1FC5 <- 0x21",
                                  "write8 MEMORY+0x1FDE <- 0x01", "write8 MEMORY+0x1FDE <- 0x01",
                                  "write8 MEMORY+0x1FDF <- 0x32", "write8 MEMORY+0x1FDE <- 0x03",
                                  "write8 MEMORY+0x1FDF <- 0x81"}));
            EXPECT_EQ(after, (std::vector<std::string>{
                                 "write8 MEMORY+0x1FDE <- 0x03", "write8 MEMORY+0x1FDF <- 0x01",
                                 "write8 MEMORY+0x1FDE <- 0x01", "write8 MEMORY+0x1FDF <- 0x02",
                                 "write8 MEMORY+0x1FC4 <- 0x01", "write8 MEMORY+0x1FC5 <- 0x01",
                                 "write32 MEMORY+0x1E44 <- 0x00000108"}));
        } else {
            EXPECT_EQ(before, std::vector<std::string>{"write8 MEMORY+0x1FDE <- 0x03"});
            EXPECT_EQ(after, std::vector<std::string>{"write32 MEMORY+0x1E44 <- 0x00000108"});
        }
        EXPECT_EQ(s.mga->seq(1), 0x01);
        EXPECT_EQ(s.mga->crtcExt(1), 0x02);
        EXPECT_EQ(s.mga->crtcExt(3), vga ? 0x01 : 0x81);
    }
}

TEST(MemoryReadBack, FillAndReadBackOverEveryBlock) {
    EXPECT_EQ(Random(0x2CB0453Fu), 0xE798ACDFu);
    Board s(mgaBoard().integer("MEMSIZE", int(8 * kMB)));
    machine().setTracing(false);
    s.h()->ulBaseMemory = 4 * kMB;
    s.h()->ulAddonMemory = 4 * kMB;
    uint32_t checksum = 0;
    EXPECT_EQ(HALPFillMemory(s.h(), 0xC0000, 0x400000, &checksum), 0u);
    uint32_t x = 0x2CB0453Fu, sum = 0;
    for (uint32_t i = 0; i < 0xC0000; i += 4) {
        x = Random(x);
        sum += x;
        ASSERT_EQ(s.vram32(0x340000 + i), x);
        ASSERT_EQ(s.vram32(0x740000 + i), x) << "the second block";
    }
    EXPECT_EQ(checksum, sum);
    EXPECT_EQ(s.vram32(0x33FFFC), 0u) << "nothing before the test area";
    uint8_t result = 7;
    EXPECT_EQ(HALPReadBackMemory(s.h(), 0xC0000, 0x400000, checksum, &result), 0u);
    EXPECT_EQ(result, 1);
    // A fault in the second block only.
    s.mga->vram()->data()[0x7FFFFC] ^= 0x10;
    EXPECT_EQ(HALPReadBackMemory(s.h(), 0xC0000, 0x400000, checksum, &result), 0u);
    EXPECT_EQ(result, 0);
    // Less than one block: nothing written, a checksum of 0, and good.
    s.h()->ulBaseMemory = 2 * kMB;
    s.h()->ulAddonMemory = 0;
    checksum = 5;
    EXPECT_EQ(HALPFillMemory(s.h(), 0xC0000, 0x400000, &checksum), 0u);
    EXPECT_EQ(checksum, 0u);
    EXPECT_EQ(HALPReadBackMemory(s.h(), 0xC0000, 0x400000, 1, &result), 0u);
    EXPECT_EQ(result, 1);
}

// ---------------------------------------------------------------- the error word

TEST(BoardDataErrorRule, AfterAnErrorNoRoutineTouchesTheBoard) {
    const std::pair<const char *, std::function<uint32_t(BoardHandle *)>> routines[] = {
        {"read pins",
         [](BoardHandle *b) {
             uint32_t v = 0;
             return HSLBIOSReadPins(b, &v);
         }},
        {"version",
         [](BoardHandle *b) {
             uint32_t v = 0;
             return HSLBIOSGetVersion(b, &v);
         }},
        {"version 3", HSLPIN30GetBoardInfo},
        {"version 4", HSLPIN40GetBoardInfo},
        {"eclipse", HSLECLGetPInSInfo},
        {"twister", HSLTWIGetPInSInfo},
        {"memory size",
         [](BoardHandle *b) {
             uint32_t v = 0x99;
             const uint32_t r = HALPDetectMemoryAvail(b, 0x1000000, &v);
             EXPECT_EQ(v, 0x99u);
             return r;
         }},
        {"calibration", HALPDetectMemoryReadBackValue},
        {"fill",
         [](BoardHandle *b) {
             uint32_t v = 0x99;
             const uint32_t r = HALPFillMemory(b, 0xC0000, 0x400000, &v);
             EXPECT_EQ(v, 0x99u);
             return r;
         }},
        {"read back",
         [](BoardHandle *b) {
             uint8_t v = 0x99;
             const uint32_t r = HALPReadBackMemory(b, 0xC0000, 0x400000, 0, &v);
             EXPECT_EQ(v, 0x99);
             return r;
         }},
        {"set delay", [](BoardHandle *b) { return HALPSetMemoryReadBackValue(b, 3); }},
    };
    for (const auto &[what, routine] : routines) {
        Board s(mgaBoard().integer("MEMSIZE", int(4 * kMB)));
        s.h()->ulBaseMemory = 4 * kMB;
        const BoardHandle before = *s.h();
        s.h()->ulErrorCode = 0xB0101160u;
        machine().clearTrace();
        const int requests =
            machine().pci().requests(PCI_READ_CONFIG) + machine().pci().requests(PCI_WRITE_CONFIG);
        EXPECT_EQ(routine(s.h()), 0xB0101160u) << what;
        EXPECT_TRUE(machine().trace().empty()) << what;
        EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG) +
                      machine().pci().requests(PCI_WRITE_CONFIG),
                  requests)
            << what;
        EXPECT_EQ(
            std::memcmp(&before.ulBiosVersion, &s.h()->ulBiosVersion,
                        offsetof(BoardHandle, HSLJumpTable) - offsetof(BoardHandle, ulBiosVersion)),
            0)
            << what << ": the handle is left alone";
    }
}

} // namespace
