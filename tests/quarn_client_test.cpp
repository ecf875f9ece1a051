// The seam between the Matrox chip layer and its driver: the status word's
// merge rule, the PCI routines on the configuration device, and the client
// services on the "mga" board (single accessor loads and stores, nothing at
// all after an error, the clock wait and the legacy BIOS search).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "client.h"
#include "clock_perror.h"
#include "grafstore.h"
#include "hal.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hal_vidparam.h"
#include "hsl_con.h"
#include "hsl_ecl.h"
#include "hsl_tou.h"
#include "machine.h"
#include "models/mga_board.h"
#include "nfb.h"
#include "pcibus.h"
#include "quarn.h"
#include "quarn_seam.h"
#include "server.h"

namespace {

using namespace quarnseam;

// ---------------------------------------------------------------- status word

TEST(HalErrorWord, MergeKeepsTheFirstErrorAndLetsWarningsGiveWay) {
    struct Case {
        uint32_t old, incoming, merged;
    } cases[] = {
        {0, 0x40302080u, 0x40302080u},           {0x40302080u, 0, 0x40302080u},
        {0x40302080u, 0x40000001u, 0x40302080u}, {0x40302080u, 0xA0203060u, 0xA0203060u},
        {0xA0203060u, 0xB0302060u, 0xA0203060u}, {0xA0203060u, 0, 0xA0203060u},
        {0xC0000000u, 0x40302080u, 0xC0000000u}, {0, 0xC0000000u, 0xC0000000u},
        {0x00000123u, 0x00000456u, 0x00000456u},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ReturnCorrectError(c.old, c.incoming), c.merged)
            << std::hex << c.old << " + " << c.incoming;
        BoardHandle h{};
        h.ulErrorCode = c.old;
        EXPECT_EQ(SetErr(&h, c.incoming), c.merged);
        EXPECT_EQ(h.ulErrorCode, c.merged);
    }
    EXPECT_EQ(IsNotAnError(0), 1u);
    EXPECT_EQ(IsNotAnError(0x40302080u), 1u);
    EXPECT_EQ(IsNotAnError(0x901000E0u), 0u);
    EXPECT_EQ(IsNotAnError(0xC0000000u), 0u) << "severity 11 counts as an error";
    EXPECT_EQ(HAL_CODE(HAL_SEVERITY_ERROR, HAL_LAYER_CHIP, 0x03, 0x03, HAL_REASON_NOT_AVAILABLE),
              HSL_ERR_SLOT_NOT_INITIALISED);
}

TEST(HalRecords, SizesTheChipLayerReportsAndStores) {
    EXPECT_EQ(offsetof(BoardHandle, HSLData), size_t(HAL_STRUCT_SIZE));
    EXPECT_EQ(sizeof(HSLData), size_t(HSL_DATA_SIZE));
    EXPECT_EQ(offsetof(HSLJumpTable, apfnSlot), 8u);
    EXPECT_EQ(sizeof(HSLJumpTable), 8 + HSL_SLOT_COUNT * sizeof(HSLJumpSlot));
    EXPECT_EQ(HSL_SLOT_COUNT, 34);
    // The host's handle holds 8-byte slots and pointers: 34 + 3 words more.
    EXPECT_EQ(sizeof(BoardHandle), size_t(HAL_HANDLE_SIZE) + (34 + 3) * (sizeof(void *) - 4));
}

// ---------------------------------------------------------------- PCI routines

TEST(QuarnPci, FindsOnlyItsVgaClassBoardFromTheFirstIndexEachTime) {
    Seam s;
    EXPECT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, 0x0520, &s.priv), -1);
    EXPECT_TRUE(sim::perrorLines().empty()) << "a board not on the bus is no failure";
    EXPECT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, 0x0521, &s.priv), 0);
    EXPECT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, 0x0521, &s.priv), 0)
        << "every search starts at index 0 again";
    EXPECT_EQ(machine().pci().opens(), 1) << "the device stays open";
    uint32_t id = 0;
    EXPECT_EQ(QUARN_PCI_Read_Config(0, 4, &id, &s.priv), 1);
    EXPECT_EQ(id, 0x0521102Bu);
    // Sixteen header reads per function looked at.
    EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG), 3 * 16 + 1);
}

TEST(QuarnPci, AnotherClassIsNotFound) {
    Seam s(mgaBoard().integer("PCI_SUBCLASS", 0x80));
    EXPECT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, 0x0521, &s.priv), -1);
    EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG), 0);
}

TEST(QuarnPci, ConfigurationChecksAndFailuresPrintTheRequestsName) {
    Seam s;
    s.open();
    const int before = machine().pci().requests(PCI_READ_CONFIG);
    uint32_t value = 0xDEAD;
    EXPECT_EQ(QUARN_PCI_Read_Config(256, 4, &value, &s.priv), -1);
    EXPECT_EQ(QUARN_PCI_Read_Config(0, 5, &value, &s.priv), -1);
    EXPECT_EQ(QUARN_PCI_Write_Config(256, 1, &value, &s.priv), -1);
    EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG), before) << "refused before any request";
    EXPECT_TRUE(sim::perrorLines().empty());

    EXPECT_EQ(QUARN_PCI_Read_Config(255, 4, &value, &s.priv), 1) << "the device decides there";
    EXPECT_EQ(value, 0xFFFFFF00u);
    // Size 0 passes the routine's check; the device refuses it.
    value = 0xDEAD;
    EXPECT_EQ(QUARN_PCI_Read_Config(0, 0, &value, &s.priv), -1);
    EXPECT_EQ(value, 0xDEADu) << "a failed read leaves the result alone";
    machine().pci().failRequest(PCI_WRITE_CONFIG, EIO);
    const uint32_t one = 1;
    EXPECT_EQ(QUARN_PCI_Write_Config(4, 1, &one, &s.priv), -1);
    EXPECT_EQ(sim::perrorLines(),
              (std::vector<std::string>{"PCI_READ_CONFIG: Invalid argument",
                                        "PCI_WRITE_CONFIG: Input/output error"}));
}

TEST(QuarnPci, SearchFailuresPrintTheirLines) {
    struct Case {
        const char *what;
        void (*arrange)(sim::PciBus &);
        const char *line;
    } cases[] = {
        {"no node", [](sim::PciBus &b) { b.setNode(sim::PciBus::Node::Missing); },
         "/dev/X/pci: No such file or directory"},
        {"no bus", [](sim::PciBus &b) { b.setBusPresent(false); },
         "PCI_BUS_PRESENT: No such device"},
        {"class walk", [](sim::PciBus &b) { b.failRequest(PCI_FIND_CLASS, EIO); },
         "PCI_FIND_CLASS: Input/output error"},
        {"header read", [](sim::PciBus &b) { b.failRequest(PCI_READ_CONFIG, EIO); },
         "PCI_READ_CONFIG: Input/output error"},
    };
    for (const Case &c : cases) {
        Seam s;
        c.arrange(machine().pci());
        EXPECT_EQ(QUARN_PCI_Find_Board(QUARN_PCI_VENDOR, 0x0521, &s.priv), -1) << c.what;
        EXPECT_EQ(sim::perrorLines(), std::vector<std::string>{c.line}) << c.what;
        if (s.priv.pciFd >= 0)
            close(s.priv.pciFd);
        s.priv.pciFd = -1;
    }
}

// ---------------------------------------------------------------- services

TEST(ClientServices, EachRegisterAndMemoryServiceIsOneAccessAtTheMappedBase) {
    Seam s;
    s.open();
    machine().clearTrace();
    uint8_t byte = 0;
    uint32_t word = 0;
    EXPECT_EQ(ClientWriteRegisterDword(s.h(), 0x1E1C, 0x12345678), 0u);
    EXPECT_EQ(ClientReadRegisterDword(s.h(), 0x1E1C, &word), 0u);
    EXPECT_EQ(ClientWriteRegisterByte(s.h(), 0x1FC4, 0x101), 0u);
    EXPECT_EQ(ClientReadRegisterByte(s.h(), 0x1FC4, &byte), 0u);
    EXPECT_EQ(ClientWriteMemoryDword(s.h(), 0x100, 0xA5A5A5A5u), 0u);
    EXPECT_EQ(ClientWriteMemoryByte(s.h(), 0x101, 0x1FF), 0u);
    EXPECT_EQ(ClientReadMemoryDword(s.h(), 0x100, &word), 0u);
    EXPECT_EQ(word, 0xA5A5FFA5u);
    EXPECT_EQ(ClientReadMemoryByte(s.h(), 0x300000, &byte), 0u) << "past installed memory";
    EXPECT_EQ(byte, 0xA5) << "the bus's last value";
    std::vector<std::string> trace;
    for (const sim::Access &a : machine().trace())
        trace.push_back(machine().describe(a));
    EXPECT_EQ(trace,
              (std::vector<std::string>{
                  "write32 MEMORY+0x1E1C <- 0x12345678", "read32 MEMORY+0x1E1C -> 0x12345678",
                  "write8 MEMORY+0x1FC4 <- 0x01", "read8 MEMORY+0x1FC4 -> 0x01",
                  "write32 FBM+0x100 <- 0xA5A5A5A5", "write8 FBM+0x101 <- 0xFF",
                  "read32 FBM+0x100 -> 0xA5A5FFA5", "read8 FBM+0x300000 -> 0xA5"}));

    // Configuration reads and writes reach the board, the ROM comes and goes.
    uint32_t option = 0;
    EXPECT_EQ(ClientReadConfigSpaceDword(s.h(), 0x40, &option), 0u);
    ClientWriteConfigSpaceDword(s.h(), 0x40, option | 0x40000000u);
    ClientWriteConfigSpaceDword(s.h(), 0x30, kFbBase | 1);
    ClientReadMemoryDword(s.h(), 0, &word);
    EXPECT_EQ(word & 0xFFFF, 0xAA55u);
    ClientWriteConfigSpaceDword(s.h(), 0x30, 0);
    ClientWriteConfigSpaceByte(s.h(), 0x43, 0x100 | (option >> 24));
    EXPECT_FALSE(s.mga->romShown());
    EXPECT_EQ(ClientReadConfigSpaceByte(s.h(), 0x08, &byte), 0u);
    EXPECT_EQ(byte, 3) << "the revision";
    EXPECT_TRUE(s.failures.empty());
}

TEST(ClientServices, AfterAnErrorNothingIsTouched) {
    Seam s;
    s.open();
    const uint32_t error = 0xB0101160u;
    s.h()->ulErrorCode = error;
    machine().clearTrace();
    const int requests =
        machine().pci().requests(PCI_READ_CONFIG) + machine().pci().requests(PCI_WRITE_CONFIG);
    const uint64_t now = machine().nowMicros();
    s.h()->ulMappedRegisters = nullptr;
    s.h()->ulMappedMemory = nullptr;
    uint8_t byte = 0x5A;
    uint32_t word = 0x5A5A5A5A;
    uint8_t pins[128];
    std::memset(pins, 0x77, sizeof pins);
    uint32_t version = 0x99;
    const uint32_t results[] = {
        ClientReadConfigSpaceByte(s.h(), 0, &byte),
        ClientReadConfigSpaceDword(s.h(), 0, &word),
        ClientWriteConfigSpaceByte(s.h(), 0x40, 0),
        ClientWriteConfigSpaceDword(s.h(), 0x40, 0),
        ClientOpenRegisterBase(s.h(), 0, 0),
        ClientOpenMemoryBase(s.h(), 0, 0),
        ClientReadRegisterByte(s.h(), 0x1FCC, &byte),
        ClientReadRegisterDword(s.h(), 0x1E14, &word),
        ClientWriteRegisterByte(s.h(), 0x1FC2, 0),
        ClientWriteRegisterDword(s.h(), 0x1E1C, 0),
        ClientReadMemoryByte(s.h(), 0, &byte),
        ClientReadMemoryDword(s.h(), 0, &word),
        ClientWriteMemoryByte(s.h(), 0, 0),
        ClientWriteMemoryDword(s.h(), 0, 0),
        ClientOpenSystemDevice(s.h()),
        ClientWriteSystemDeviceDword(s.h()),
        ClientWait(s.h(), 1000),
        ClientGetBiosInfo(s.h(), pins, &version),
        ClientCloseRegisterBase(s.h()),
        ClientCloseMemoryBase(s.h()),
        InitTimer(s.h()),
    };
    for (uint32_t r : results)
        EXPECT_EQ(r, error);
    EXPECT_EQ(s.h()->ulErrorCode, error);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(machine().pci().requests(PCI_READ_CONFIG) +
                  machine().pci().requests(PCI_WRITE_CONFIG),
              requests);
    EXPECT_EQ(machine().nowMicros(), now) << "no clock was read";
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(word, 0x5A5A5A5Au);
    EXPECT_EQ(pins[0], 0x77);
    EXPECT_EQ(version, 0x99u);
    EXPECT_EQ(s.h()->ulMappedRegisters, nullptr);
}

TEST(ClientServices, SystemDeviceServicesRecordTheirCodes) {
    struct Case {
        uint32_t (*service)(BoardHandle *);
        uint32_t code;
    } cases[] = {
        {ClientOpenSystemDevice, 0x901000E0u},      {ClientCloseSystemDevice, 0x901100E0u},
        {ClientReadSystemDeviceByte, 0x901200E0u},  {ClientReadSystemDeviceDword, 0x901300E0u},
        {ClientWriteSystemDeviceByte, 0x901400E0u}, {ClientWriteSystemDeviceDword, 0x901500E0u},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        h.ulErrorCode = 0x40302080u;
        EXPECT_EQ(c.service(&h), c.code) << "an error replaces a warning";
    }
    BoardHandle h{};
    BiosCallRegisters regs{};
    regs.aulReg[0] = 0xDD01;
    regs.aulReg[1] = 65000;
    EXPECT_EQ(ClientCallBiosInt10(&h, &regs), 0u);
    EXPECT_EQ(regs.aulReg[0], 0xDD01u);
    EXPECT_EQ(regs.aulReg[1], 65000u) << "no BIOS call: the image comes back as it went";
}

TEST(ClientServices, WaitCountsClockTicksAcrossTheWrap) {
    BoardHandle h{};
    const uint64_t start = machine().nowMicros();
    ClientWait(&h, 0);
    EXPECT_EQ(machine().nowMicros() - start, 1u) << "count 0: one look at the clock";
    ClientWait(&h, 1000);
    EXPECT_EQ(machine().nowMicros() - start, 1u + 1001u);
    machine().advance(0xFFFFFFFFull - (machine().nowMicros() & 0xFFFFFFFFull) - 10);
    const uint64_t nearWrap = machine().nowMicros();
    ClientWait(&h, 100);
    EXPECT_EQ(machine().nowMicros() - nearWrap, 101u) << "the 32-bit clock wraps mid-wait";
}

// ---------------------------------------------------------------- BIOS search

struct BiosCase {
    const char *what;
    void (*arrange)(Seam &, uint8_t *bios);
    uint32_t error;
    uint32_t version; // the version going in is 0
    int pinsAt;       // offset of the block expected in the buffer; -1 untouched
};

void putPins(uint8_t *bios, uint32_t at, bool goodSum) {
    sim::MgaRom r;
    r.goodSum = goodSum;
    const std::vector<uint8_t> pins = sim::buildMgaPins(r);
    // What of it the image holds.
    std::memcpy(bios + at, pins.data(), std::min<size_t>(pins.size(), 0x10000 - at));
}

void clearPins(uint8_t *bios) {
    const uint32_t at = bios[0x7FFC] | bios[0x7FFD] << 8;
    std::memset(bios + at, 0, 64);
}

const BiosCase kBiosCases[] = {
    {"a good block", [](Seam &, uint8_t *) {}, 0, 0x2001, 0x7E00},
    {"I/O decoding off",
     [](Seam &s, uint8_t *) { s.mga->configWrite(sim::mga::CfgCommand, 1, 0x02); },
     CLIENT_ERR_NO_BIOS, 0, -1},
    {"no PCIR: version from byte 5",
     [](Seam &, uint8_t *b) {
         b[0x100] = 'X';
         b[5] = 0x21;
     },
     CLIENT_ERR_NO_BIOS, 0x21000, 0x7E00},
    {"no signature",
     [](Seam &, uint8_t *b) {
         b[0] = 0;
         b[5] = 0;
     },
     CLIENT_ERR_NO_BIOS, 0, 0x7E00},
    {"PCIR pointer past the image",
     [](Seam &, uint8_t *b) {
         b[0x18] = 0xF0;
         b[0x19] = 0xFF;
         std::memcpy(b + 0xFFF0, "PCIR", 4);
     },
     CLIENT_ERR_NO_BIOS, 0, 0x7E00},
    {"bad sum, then a good block",
     [](Seam &, uint8_t *b) {
         clearPins(b);
         putPins(b, 0x2000, false);
         putPins(b, 0x3000, true);
     },
     0, 0x2001, 0x3000},
    {"only a bad sum",
     [](Seam &, uint8_t *b) {
         clearPins(b);
         putPins(b, 0x2000, false);
     },
     CLIENT_ERR_NO_PINS, 0x2001, 0x2000},
    {"a block running past the image",
     [](Seam &, uint8_t *b) {
         clearPins(b);
         putPins(b, 0xFFF0, true); // the image holds its first 16 bytes
     },
     CLIENT_ERR_NO_PINS, 0x2001, -1},
    {"length 0 counts as found",
     [](Seam &, uint8_t *b) {
         clearPins(b);
         b[0x1000] = 0x2E;
         b[0x1001] = 0x41;
         b[0x1002] = 0;
     },
     0, 0x2001, -1},
};

TEST(ClientGetBiosInfo, SearchesTheLegacyImage) {
    for (const BiosCase &c : kBiosCases) {
        Seam s;
        s.open();
        c.arrange(s, s.priv.legacyBios);
        uint8_t expected[128];
        std::memset(expected, 0x77, sizeof expected);
        if (c.pinsAt >= 0) {
            const uint8_t length = s.priv.legacyBios[c.pinsAt + 2];
            std::memcpy(expected, s.priv.legacyBios + c.pinsAt, length);
        }
        uint8_t pins[128];
        std::memset(pins, 0x77, sizeof pins);
        uint32_t version = 0;
        EXPECT_EQ(ClientGetBiosInfo(s.h(), pins, &version), c.error) << c.what;
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_EQ(std::memcmp(pins, expected, sizeof pins), 0) << c.what;
    }
}

TEST(ClientGetBiosInfo, AConfigurationWithoutTheImageHasNone) {
    Seam s(mgaBoard().without("BIOS"));
    s.open();
    ASSERT_EQ(s.priv.legacyBios, nullptr);
    uint8_t pins[128] = {};
    uint32_t version = 7;
    EXPECT_EQ(ClientGetBiosInfo(s.h(), pins, &version), CLIENT_ERR_NO_BIOS);
    EXPECT_EQ(version, 7u);
}

// ---------------------------------------------------------------- mode conversion

struct ConvertCase {
    const char *what;
    VidsetMode record;
    int refresh, hRate, signal, bpp;
};

VidsetMode record(int depth, uint32_t clock, int w, int hf, int hs, int hb, int h, int vf, int vs,
                  int vb, int interlace = 0, int hpol = 0, int vpol = 0) {
    VidsetMode m{};
    m.depth = int16_t(depth);
    m.pixelClock = clock;
    m.HVisible = int16_t(w);
    m.HFrontPorch = int16_t(hf);
    m.HSync = int16_t(hs);
    m.HBackPorch = int16_t(hb);
    m.VVisible = int16_t(h);
    m.VFrontPorch = int16_t(vf);
    m.VSync = int16_t(vs);
    m.VBackPorch = int16_t(vb);
    m.InterlaceEnable = int16_t(interlace);
    m.HSyncPol = int16_t(hpol);
    m.VSyncPol = int16_t(vpol);
    return m;
}

TEST(QuarnConvertToModeInfo, RatesPolaritiesInterlaceAndDepth) {
    const ConvertCase cases[] = {
        {"640 x 480", record(8, 27500, 640, 32, 96, 96, 480, 8, 6, 36), 60, 31, 0, 8},
        {"1024 x 768 at 16", record(16, 65000, 1024, 32, 128, 160, 768, 3, 6, 29), 60, 48, 0, 15},
        {"polarities", record(32, 65000, 1024, 32, 128, 160, 768, 3, 6, 29, 0, 1, 1), 60, 48, 0xC,
         32},
        // 1344 x (3 + 29 + 6 + 383) dots a field.
        {"interlaced", record(8, 65000, 1024, 32, 128, 160, 768, 3, 6, 29, 1), 114, 48, 1, 8},
    };
    for (const ConvertCase &c : cases) {
        ModeInfo m;
        std::memset(&m, 0x5A, sizeof m);
        ASSERT_EQ(quarnConvertToModeInfo(&c.record, &c.record.pixelClock, &m), 1) << c.what;
        EXPECT_EQ(m.lRefreshRate, c.refresh) << c.what;
        EXPECT_EQ(m.lHorizontalRate, c.hRate) << c.what;
        EXPECT_EQ(m.lSignalMode, c.signal) << c.what;
        EXPECT_EQ(m.lBpp, c.bpp) << c.what;
        EXPECT_EQ(m.ulDispWidth, uint32_t(c.record.HVisible));
        EXPECT_EQ(m.lDeskHeight, c.record.VVisible);
        EXPECT_EQ(m.lZoom, 1);
        EXPECT_EQ(m.lDstOrg, 0);
        EXPECT_EQ(m.ulFBPitch, 0x5A5A5A5Au) << "words the conversion does not own stay";
    }
    ModeInfo m{};
    const VidsetMode flat = record(8, 27500, 0, 0, 0, 0, 480, 8, 6, 36);
    EXPECT_EQ(quarnConvertToModeInfo(&flat, &flat.pixelClock, &m), 0) << "a zero total";
    const VidsetMode noField = record(8, 27500, 640, 32, 96, 96, 1, 0, 0, 0, 1);
    EXPECT_EQ(quarnConvertToModeInfo(&noField, &noField.pixelClock, &m), 0)
        << "an interlaced field of no lines";
}

// ---------------------------------------------------------------- dispatch

TEST(HalBoardSupport, TheFiveDevicesAndNoOther) {
    for (int device : {0x0520, 0x0521, 0x0525, 0x1000, 0x1001, 0x0519}) {
        Seam s(mgaBoard(device));
        s.open();
        s.h()->ulErrorCode = 0xB0101160u;
        EXPECT_EQ(HALQueryBoardSupport(s.h()), device == 0x0519 ? 0xA0203060u : 0u) << device;
    }
}

TEST(HalGetBoardInfo, DispatchByDeviceAndRevision) {
    using Slot = HSLJumpSlot;
    struct Case {
        int device, revision;
        Slot access, info, extra;
    } cases[] = {
        {0x0521, 3, reinterpret_cast<Slot>(HSLECLInitAccess),
         reinterpret_cast<Slot>(HSLECLGetBoardInfo), reinterpret_cast<Slot>(HSLECLInitExtraJmpTbl)},
        {0x1001, 1, reinterpret_cast<Slot>(HSLTWIInitAccess),
         reinterpret_cast<Slot>(HSLTWIGetBoardInfo), reinterpret_cast<Slot>(HSLTWIInitExtraJmpTbl)},
        {0x0525, 0x7F, reinterpret_cast<Slot>(HSLTOUInitAccess),
         reinterpret_cast<Slot>(HSLTOUGetBoardInfo), reinterpret_cast<Slot>(HSLTOUInitExtraJmpTbl)},
        {0x0525, 0x80, reinterpret_cast<Slot>(HSLCONInitAccess),
         reinterpret_cast<Slot>(HSLCONGetBoardInfo), reinterpret_cast<Slot>(HSLCONInitExtraJmpTbl)},
    };
    for (const Case &c : cases) {
        Seam s(mgaBoard(c.device).integer("PCI_REVISION", c.revision));
        s.open();
        // Every family runs through.
        const bool built = true;
        EXPECT_EQ(HALGetBoardInfo(s.h()), built ? 0u : HSL_ERR_SLOT_NOT_INITIALISED) << c.device;
        const HSLJumpSlot *slots = s.h()->HSLJumpTable.apfnSlot;
        EXPECT_EQ(slots[HSL_SLOT_INIT_ACCESS], c.access);
        EXPECT_EQ(slots[HSL_SLOT_GET_BOARD_INFO], c.info);
        EXPECT_EQ(slots[HSL_SLOT_INIT_EXTRA_JMP_TBL], c.extra);
        EXPECT_EQ(s.h()->ulChipID, uint32_t(c.device) << 16 | 0x102B);
        EXPECT_EQ(s.h()->ulChipRev, uint32_t(c.revision));
        EXPECT_EQ(s.h()->ulHALStructSize, 1144u);
        EXPECT_EQ(s.h()->HSLData.ulHSLStructSize, 256u);
        EXPECT_EQ(s.h()->HSLJumpTable.ulJmpTblStructSize, 144u);
        EXPECT_EQ(s.h()->flStraps & 1, 1u) << "a VGA-compatible function";
    }
}

TEST(HalGetBoardInfo, NoFamilyForTheOlderDevice) {
    Seam s(mgaBoard(0x0519));
    s.open();
    EXPECT_EQ(HALGetBoardInfo(s.h()), HSL_ERR_NO_CHIP_FAMILY);
    for (HSLJumpSlot slot : s.h()->HSLJumpTable.apfnSlot)
        EXPECT_EQ(slot, reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction));
    // Each dispatcher starts afresh and meets the empty slot.
    ModeInfo mode{};
    EXPECT_EQ(HALValidateMode(s.h(), &mode), HSL_ERR_SLOT_NOT_INITIALISED);
    EXPECT_EQ(HALSetDisplayStart(s.h(), 0, 0, 0), HSL_ERR_SLOT_NOT_INITIALISED);
}

TEST(HalModifyVideoParameters, ChangeTypesAndTheRefreshRule) {
    struct Case {
        uint32_t type;
        uint32_t width;
        int refresh, signal;
        uint32_t code;
    } cases[] = {
        {0, 1024, 60, 0, HAL_ERR_CHANGE_TYPE},
        {39, 1024, 60, 0, HAL_ERR_CHANGE_TYPE},
        {1, 1024, 60, 0, HAL_ERR_CHANGE_NOT_ALLOWED},
        {6, 1024, 60, 0, HAL_ERR_CHANGE_NOT_ALLOWED},
        {8, 1024, 60, 0, HAL_ERR_CHANGE_NOT_ALLOWED},
        {10, 1024, 60, 0, HAL_ERR_CHANGE_NOT_ALLOWED},
        {12, 640, 60, 0, HAL_ERR_CHANGE_NOT_ALLOWED},
        {0, 1024, 39, 0, HAL_ERR_CHANGE_TYPE}, // the first error stays
        {1, 1024, 39, 1, HAL_ERR_CHANGE_NOT_ALLOWED},
    };
    for (const Case &c : cases) {
        BoardHandle h{};
        ModeInfo m{};
        m.ulDispWidth = c.width;
        m.lRefreshRate = c.refresh;
        m.lSignalMode = c.signal;
        h.ulErrorCode = 0xB0101160u;
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, c.type, 0), c.code) << c.type;
    }
    // A step reaches the family's validation, here an empty slot.
    BoardHandle h{};
    for (HSLJumpSlot &slot : h.HSLJumpTable.apfnSlot)
        slot = reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction);
    ModeInfo m{};
    m.ulDispWidth = 1024;
    m.lRefreshRate = 19;
    m.lSignalMode = 1;
    EXPECT_EQ(HALModifyVideoParameters(&h, &m, 7, 1), HSL_ERR_SLOT_NOT_INITIALISED);
    EXPECT_EQ(m.lSignalMode, 5);
    // The standard timings: the record of the zoom asked for, no second
    // one, and none for a size the table lacks.
    ModeInfo vesa{};
    vesa.ulDispWidth = 1152;
    vesa.lDispHeight = 864;
    vesa.lZoom = 2;
    EXPECT_EQ(HALGetVESAParameters(&h, &vesa, 0), 0u);
    EXPECT_EQ(vesa.lPixClock, 108000);
    EXPECT_EQ(vesa.lHFPorch, 64);
    EXPECT_EQ(HALGetVESAParameters(&h, &vesa, 1), HAL_ERR_VESA_NO_VARIANT);
    vesa.ulDispWidth = 1000;
    EXPECT_EQ(HALGetVESAParameters(&h, &vesa, 0), HAL_ERR_VESA_NO_ENTRY);
}

uint32_t tvStepDone(BoardHandle *pBoard, ModeInfo *, uint32_t, uint32_t) {
    return pBoard->ulErrorCode;
}

TEST(HalModifyVideoParameters, TheRefreshRuleAfterAStepThatSucceeds) {
    struct Case {
        int refresh, signal;
        uint32_t code;
    } cases[] = {{39, 0, HAL_ERR_REFRESH_TOO_LOW},
                 {40, 0, 0},
                 {19, 1, HAL_ERR_REFRESH_TOO_LOW},
                 {20, 1, 0},
                 {-1, 0, 0}}; // compared unsigned
    for (const Case &c : cases) {
        BoardHandle h{};
        h.HSLJumpTable.apfnSlot[HSL_SLOT_MODIFY_TV_PARAMETERS] =
            reinterpret_cast<HSLJumpSlot>(tvStepDone);
        ModeInfo m{};
        m.ulDispWidth = 1024;
        m.lModeType = 0x2000000; // a TV mode: the family's step
        m.lRefreshRate = c.refresh;
        m.lSignalMode = c.signal;
        EXPECT_EQ(HALModifyVideoParameters(&h, &m, 21, 0), c.code) << c.refresh;
    }
}

TEST(HalVga, SaveAndRestoreThroughTheRegisterImages) {
    Seam s;
    s.open();
    sim::MgaBoard &m = *s.mga;
    VgaInfo v{};
    for (int i = 0; i < 25; i++)
        v.aucCrtc[i] = uint8_t(0x40 + i);
    v.aucCrtc[0x11] = 0x8E; // protects CR0-CR7 again at the end
    v.ucMisc = 0x67;
    v.aucSeq[0] = 0x20;
    v.aucAttr[5] = 0x3C;
    v.aucGc[6] = 0x0E;
    ClientWriteRegisterByte(s.h(), 0x1FDE, 0);
    ClientWriteRegisterByte(s.h(), 0x1FDF, 0x5A);
    ClientWriteRegisterByte(s.h(), 0x1FD4, 0x11);
    ClientWriteRegisterByte(s.h(), 0x1FD5, 0x80);
    // The attribute flip-flop left expecting data: each routine resets it.
    ClientWriteRegisterByte(s.h(), 0x1FC0, 0x05);
    EXPECT_EQ(HSLVGAWriteVgaInfo(s.h(), &v), 0u);
    EXPECT_EQ(m.protectedWrites(), 0) << "CR11 cleared before CR0-CR7";
    for (int i = 0; i < 25; i++)
        EXPECT_EQ(m.crtc(i), v.aucCrtc[i]) << i;
    EXPECT_EQ(m.misc(), 0x67);
    EXPECT_EQ(m.seq(1), 0x20);
    EXPECT_EQ(m.attr(5), 0x3C);
    EXPECT_EQ(m.gc(6), 0x0E);
    EXPECT_EQ(m.crtcExt(0), 0);
    EXPECT_EQ(m.crtcExt(6), 0);
    VgaInfo back{}; // the flip-flop is left expecting data again
    EXPECT_EQ(HSLVGAReadVgaInfo(s.h(), &back), 0u);
    EXPECT_EQ(std::memcmp(&back, &v, 59), 0) << "what was written reads back";
    EXPECT_TRUE(s.failures.empty());
}

// ---------------------------------------------------------------- dumps

TEST(QuarnDumps, OneLinePerFieldInTheirColumns) {
    server::clearErrorMessages();
    SysClockInfo clock{};
    clock.ulSystemPllFreq = 0x30D40;
    clock.ucGraphicClockDesc = 0x12;
    quarnErrorFSysClockInfo(&clock);
    ModeInfo mode{};
    mode.ulDispWidth = 1024;
    mode.lModeType = 0x1200000;
    quarnErrorFModeInfo(&mode);
    const auto &m = server::errorMessages();
    ASSERT_EQ(m.size(), 8u + 23u);
    EXPECT_EQ(m[0], "ulSystemPllFreq   : 0x30d40\n");
    EXPECT_EQ(m[3], "ucGraphicClockDesc: 0x12\n");
    EXPECT_EQ(m[8], "ulDispWidth: 1024\n");
    EXPECT_EQ(m[14], "lModeType: 0x1200000\n");
    EXPECT_EQ(m.back(), "lDisplayStartY: 0\n");

    server::clearErrorMessages();
    BoardHandle board{};
    board.ulChipID = 0x0521102B;
    board.HSLData.ulHSLStructSize = 256;
    quarnErrorFBoardHandle(&board);
    const auto &b = server::errorMessages();
    EXPECT_EQ(b[0], "ulHALStructSize : 0x0\n");
    EXPECT_EQ(b[6], "ulChipID        : 0x521102b\n");
    const auto hsl = std::find(b.begin(), b.end(), "------- HSL Data\n");
    ASSERT_NE(hsl, b.end());
    EXPECT_EQ(hsl[1], "ulHSLStructSize        : 256\n");
    EXPECT_NE(std::find(b.begin(), b.end(), "------- Current System Clock\n"), b.end());
    trace("a line\n");
    EXPECT_EQ(server::errorMessages().back(), "a line\n");
}

} // namespace
