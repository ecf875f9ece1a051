// zandel's mode-set pieces, compiled into this program: the system
// configuration word, the memory probe and the words derived from it, the
// CRTC timing and the clock synthesisers, against the zandel board model.
#include "driver.h" // before the sources below, so that they share the server's types
#include "pcicfg.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "harness.h"
#include "machine.h"
#include "models/zandel_board.h"
#include "server.h"

namespace zm {
#include "../weitek-banked/zandel/zandel_backend.cpp"
#include "../weitek-banked/zandel/zandel_cfg.cpp"
#include "../weitek-banked/zandel/zandel_clock.cpp"
#include "../weitek-banked/zandel/zandel_dac.cpp"
} // namespace zm

int zm::zandelScreenPrivateIndex = 0;

namespace {

using sim::Machine;
using sim::ZandelAdapter;

// ---- pure computations ----

TEST(ZandelSysConf, LineLengthsInPowersOfTwo) {
    struct Case {
        int pixelSize, width;
        uint32_t word;
    };
    const Case cases[] = {
        {1, 1024, 0x28003000}, {2, 800, 0x2C543000}, {4, 1280, 0x74603000},
        {1, 1000, 0x0858F000}, // 104 bytes no field can hold are dropped
        {1, 32, 0x08007000},   {3, 0, 0x1C003000},   {5, 0, 0x3000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(zm::zandelBuildSysConf(c.pixelSize, c.width * c.pixelSize), c.word)
            << c.pixelSize << " x " << c.width;
}

TEST(ZandelLog2, HalvingsDownToOne) {
    EXPECT_EQ(zm::_zandel_log2(1), 0);
    EXPECT_EQ(zm::_zandel_log2(1024), 10);
    EXPECT_EQ(zm::_zandel_log2(3), 1);
    EXPECT_EQ(zm::_zandel_log2(0), 0) << "no halving reaches 1 from 0: none counted";
}

TEST(ZandelIcd2061a, WordsForFrequencies) {
    struct Case {
        int frequency, override;
        uint32_t word;
    };
    const Case cases[] = {
        {0, 0, 0x082083},    {3150, 0, 0x082083},  {2500, 0, 0x01C8C1},
        {6500, 0, 0x0B4423}, {13500, 0, 0x007805}, {6500, 0x123456, 0x123456},
    };
    for (const Case &c : cases)
        EXPECT_EQ(zm::zandelCalc_ICD2061a(c.frequency, c.override), c.word)
            << std::hex << c.frequency;
    // What the words make, by the synthesiser's own formula: within half a
    // per cent of the frequency asked for over the range boards use.
    for (int f = 2000; f <= 13500; f += 250) {
        const uint32_t made = sim::Icd2061a::frequency(zm::zandelCalc_ICD2061a(f, 0));
        EXPECT_NEAR(static_cast<double>(made), f, f * 0.005) << f;
    }
}

TEST(ZandelRgb525, FrequencyCodes) {
    struct Case {
        int frequency, code;
    };
    const Case cases[] = {
        {1625, 0x00},
        {3150, 0x3D},
        {5040, 0x64},
        {6500, 0x80},
        {10000, 0xA3},
        {12800, 0xBF},
        {25000, 0xFC},
        {12900, 0xC0},
        {24950, 0xFC},
        // Just above 12800 the fourth range rounds down to 12800: its code.
        {12801, 0xBF},
        {12850, 0xBF},
        {12899, 0xBF},
        // No range holds these: the nearest range's limit.
        {0, 0x00},
        {1600, 0x00},
        {3210, 0x3F},
        {3240, 0x40},
        {6420, 0x7F},
        {6480, 0x80},
        {25001, 0xFC},
        {40000, 0xFC},
    };
    for (const Case &c : cases)
        EXPECT_EQ(zm::_zandel_Calc_IBM525(c.frequency), c.code) << c.frequency;
}

TEST(ZandelRgb511, SynthesiserBytes) {
    struct Case {
        int frequency;
        uint8_t bytes[3];
    };
    const Case cases[] = {
        {2517, {0x1A, 0xC0, 0x88}}, // table rows win
        {6600, {0x23, 0x42, 0x66}},
        {2600, {0x1B, 0xC0, 0x88}}, // computed
        {0, {0xFE, 0xC0, 0x88}},    // ends rather than doubling 0 for ever
    };
    for (const Case &c : cases) {
        uint8_t got[3] = {};
        zm::zandelCalc511Synth(c.frequency, got);
        EXPECT_EQ(std::vector<uint8_t>(got, got + 3), std::vector<uint8_t>(c.bytes, c.bytes + 3))
            << c.frequency;
    }
}

// Timing with the sync and blank moved apart: the loop ends and nothing
// goes below 0, also where the blank would start before the line.
TEST(ZandelTiming, SyncAndBlankMovedApartWithinRange) {
    struct Case {
        const char *what;
        int ramdac, busWidth, pixelSize, width, hsp, hbp, hfp;
        uint32_t hrzsr, hrzbr, hrzbf, hrzt;
    };
    const Case cases[] = {
        // RGB525, 64-bit bus, skew 2 below: no adjustment needed.
        {"1024 wide", 8, 64, 1, 1024, 136, 160, 24, 16, 31, 159, 167},
        // Bt485-class: 12 / 4 pixels earlier; the blank moves on past the sync.
        {"blank before the line", 0, 32, 1, 64, 8, 0, 0, 0, 1, 17, 17},
        {"sync taken back", 0, 32, 1, 64, 40, 0, 4, 2, 3, 19, 26},
        {"sync taken back to 0, blank moved on", 0, 32, 1, 64, 12, 0, 4, 0, 1, 17, 19},
    };
    for (const Case &c : cases) {
        zm::zandelScreenPrivate p{};
        p.ramdacType = c.ramdac;
        p.busWidth = c.busWidth;
        p.pixelSize = c.pixelSize;
        p.width = c.width;
        p.height = 768;
        p.revision = 2;
        p.timing[0] = c.hsp;
        p.timing[1] = c.hbp;
        p.timing[2] = c.hfp;
        p.timing[5] = 6;
        p.timing[6] = 29;
        p.timing[7] = 3;
        const zm::ZandelTiming t = zm::zandelComputeTiming(&p, c.busWidth == 64 ? 2 : 0);
        EXPECT_EQ(t.hrzsr, c.hrzsr) << c.what;
        EXPECT_EQ(t.hrzbr, c.hrzbr) << c.what;
        EXPECT_EQ(t.hrzbf, c.hrzbf) << c.what;
        EXPECT_EQ(t.hrzt, c.hrzt) << c.what;
        EXPECT_LT(t.hrzsr, t.hrzbr) << c.what;
        EXPECT_EQ(t.vrtsr, 6u);
        EXPECT_EQ(t.vrtbr, 35u);
        EXPECT_EQ(t.vrtbf, 803u);
        EXPECT_EQ(t.vrtt, 806u);
    }
}

// ---- through the board model ----

struct Board {
    graf::Config cfg;
    std::unique_ptr<sim::Adapter> adapter;
    zm::zandelScreenPrivate priv{};
    ZandelAdapter &zandel() { return static_cast<ZandelAdapter &>(*adapter); }
};

class ZandelBoard : public ::testing::Test {
  protected:
    void SetUp() override {
        zm::pciFound = -1;
        zm::PciHandle.fd = -1;
        Machine::current().setFailureHandler(
            [this](const std::string &f) { failures.push_back(f); });
    }
    // A PCI board and a screen private as Init leaves it for a 1024 x 768
    // mode at `pixelSize`, its configuration space open.
    std::unique_ptr<Board> board(int powerUp, int memSize, int pixelSize = 1) {
        auto b = std::make_unique<Board>();
        b->cfg = graf::Builder()
                     .adapter("zandel")
                     .integer("POWERUP", powerUp)
                     .integer("MEMSIZE", memSize)
                     .memory("", 0xE0000000, 0x1000000)
                     .build();
        b->adapter = sim::makeAdapter(b->cfg, Machine::current());
        zm::zandelScreenPrivate &p = b->priv;
        p.registers = static_cast<uint8_t *>(b->cfg.areas[0].mapped);
        p.memOffset = 0x800000;
        p.frameBuffer = p.registers + p.memOffset;
        p.pixelSize = pixelSize;
        p.width = 1024;
        p.height = 768;
        p.revision = 2;
        p.ramdacType = (powerUp >> 12) & 0xF;
        p.pixClock = p.pixClockConfig = 6500;
        p.memClock = p.memClockConfig = 4000;
        p.cyclesPerRowMiss = 4;
        p.timing[0] = 136;
        p.timing[1] = 160;
        p.timing[2] = 24;
        p.timing[4] = 1;
        p.timing[5] = 6;
        p.timing[6] = 29;
        p.timing[7] = 3;
        p.timing[9] = 1;
        p.deviceId = 0x9100;
        p.vendorId = 0x100E;
        EXPECT_TRUE(zm::zandelChooseCfgSpace(&p));
        return b;
    }
    std::vector<std::string> failures;
};

TEST_F(ZandelBoard, BackEndFindsTheMemoryFittedAndDerivesItsWords) {
    struct Case {
        const char *what;
        int powerUp, memSize, pixClock;
        int megabytes;
        uint32_t memConf, srtCtl;
        int memClock;
    };
    const Case cases[] = {
        {"wide banks, 4 MB", 0x1000, 0x400000, 6500, 4, 0xD1580037, 0x5E5, 4000},
        {"narrow banks, 2 MB", 0x0010, 0x200000, 6500, 2, 0xDA980033, 0x3E5, 4000},
        {"wide banks, 2 MB, memory clock trimmed", 0x1000, 0x200000, 3150, 2, 0xD0180035, 0x3E4,
         2744},
        // One bank on a 64-bit bus, every test failing: taken as 1 MB.
        {"wide banks, 1 MB on a 64-bit bus", 0x1000, 0x100000, 6500, 1, 0xD0180034, 0x1E4, 4000},
        {"narrow banks, 1 MB", 0x0010, 0x100000, 6500, 1, 0xD1580031, 0x1E4, 4000},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        SetUp();
        auto b = board(c.powerUp, c.memSize);
        b->priv.pixClockConfig = c.pixClock;
        b->priv.overrideMemClock = 0x1234;
        zm::zandelBackendSequence(&b->priv, nullptr);
        ZandelAdapter &z = b->zandel();
        EXPECT_EQ(b->priv.memoryMB, c.megabytes) << c.what;
        EXPECT_EQ(z.reg(0x184), c.memConf) << c.what << std::hex << " " << z.reg(0x184);
        EXPECT_EQ(z.reg(0x138), c.srtCtl) << c.what << std::hex << " " << z.reg(0x138);
        EXPECT_EQ(z.reg(0x140), 0u) << c.what;
        EXPECT_EQ(b->priv.memConf, c.memConf) << c.what;
        EXPECT_EQ(b->priv.memClock, c.memClock) << c.what;
        EXPECT_EQ(b->priv.overrideMemClock, c.memClock == 4000 ? 0x1234 : 0) << c.what;
        EXPECT_EQ(z.reg(0x188), static_cast<uint32_t>(c.memClock * 16 / 100)) << c.what;
        EXPECT_EQ(z.displayPitch(), 1024u) << c.what;
        EXPECT_TRUE(failures.empty()) << c.what << ": " << failures.front();
    }
}

TEST_F(ZandelBoard, BackEndWritesItsRegistersInOrder) {
    auto b = board(0x8000, 0x400000);
    b->priv.timing[4] = 0; // HP 0: negative horizontal sync
    Machine &m = Machine::current();
    m.clearTrace();
    zm::zandelBackendSequence(&b->priv, nullptr);
    // The writes to the register window, apart from the probe's.
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    for (const sim::Access &a : m.trace())
        if (a.kind == sim::Access::MemWrite && a.address < 0x800000)
            writes.push_back({a.address, a.value});
    const std::vector<std::pair<uint32_t, uint32_t>> want = {
        {0x004, 0x28003000},  {0x184, 0x114A48BD}, {0x184, 0x37}, {0x184, 0xD1580037},
        {0x138, 0x5E5},       {0x140, 0x1},        {0x10C, 16},   {0x110, 31},
        {0x114, 159},         {0x108, 167},        {0x124, 6},    {0x128, 35},
        {0x12C, 803},         {0x120, 806},        {0x00C, 0x80}, {0x118, 0},
        {0x130, 0},           {0x188, 640},        {0x190, 250},  {0x2208, 0xFF},
        {0x220C, 10},         {0x2190, 0},         {0x2210, 0},   {0x2214, 0},
        {0x2208, 0xFFFFFFFF},
    };
    EXPECT_EQ(writes, want);
    EXPECT_TRUE(failures.empty()) << failures.front();

    // A later mode set reuses the words found, and given CRTC keys reach
    // the registers unchanged, zeros included.
    b->priv.hrzsr = 1;
    b->priv.hrzbr = 0;
    b->priv.hrzbf = 3;
    b->priv.hrzt = 4;
    b->priv.vrtsr = 0;
    b->priv.vrtbr = 6;
    b->priv.vrtbf = 7;
    b->priv.vrtt = 8;
    m.clearTrace();
    zm::zandelBackendSequence(&b->priv, nullptr);
    std::vector<std::pair<uint32_t, uint32_t>> crtc;
    for (const sim::Access &a : m.trace())
        if (a.kind == sim::Access::MemWrite && a.address >= 0x108 && a.address <= 0x12C &&
            a.address != 0x118)
            crtc.push_back({a.address, a.value});
    const std::vector<std::pair<uint32_t, uint32_t>> given = {
        {0x10C, 1}, {0x110, 0}, {0x114, 3}, {0x108, 4},
        {0x124, 0}, {0x128, 6}, {0x12C, 7}, {0x120, 8},
    };
    EXPECT_EQ(crtc, given);
    EXPECT_EQ(b->zandel().reg(0x184), 0xD1580037u);
    EXPECT_EQ(b->zandel().reg(0x140), 0x1u);
}

TEST_F(ZandelBoard, SerialWordsReachTheSynthesiser) {
    auto b = board(0x8000, 0x200000);
    std::mt19937 rng(79);
    std::vector<uint32_t> sent;
    for (int i = 0; i < 12; i++) {
        const uint32_t word = rng() & 0xFFFFFF;
        const size_t before = b->zandel().clockWrites().size();
        zm::zandelWriteIC(&b->priv, word);
        EXPECT_EQ(b->zandel().clockWrites().size() - before, 114u);
        sent.push_back(word);
    }
    EXPECT_EQ(b->zandel().clockSynth().words(), sent);
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(ZandelBoard, ClockSetUpsLoadTheirRegisters) {
    // The Bt485-class path: five words, memory clock first.
    auto b = board(0x8000, 0x200000);
    b->priv.icdCtrlPixClk = 16;
    zm::zandelSetClock(&b->priv, 6500, 4000);
    const std::vector<uint32_t> words = {0x600000 | zm::zandelCalc_ICD2061a(4000, 0),
                                         0x400000 | 0x0B4423, 0xC18010, 0xC38000, 0xC00000};
    EXPECT_EQ(b->zandel().clockSynth().words(), words);

    // The RGB525 path by clock type.
    struct Case {
        int clockType, pll525;
        std::vector<uint32_t> words; // after the memory clock's
        int refDivider;              // register 0x14; -1 not written
        const char *message;
    };
    const Case cases[] = {
        {0, 0, {0x400000 | 0x0B4423}, 0x19, nullptr},
        {0, 1, {0x400000 | zm::zandelCalc_ICD2061a(5000, 0), 0xC18010}, 0x19, nullptr},
        {1, 0, {}, 4000 / 200, nullptr},
        {5, 0, {}, -1, "zandel: clock type not supported"},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        SetUp();
        auto r = board(0x8000, 0x200000);
        r->priv.clockType = c.clockType;
        r->priv.pll525 = c.pll525;
        r->priv.icdCtrl525Ref = 16;
        r->zandel().rgb525()[0x14] = 0xEE;
        zm::_zandel_Set525Clock(&r->priv, 6500);
        std::vector<uint32_t> want = {0x600000 | zm::zandelCalc_ICD2061a(4000, 0)};
        want.insert(want.end(), c.words.begin(), c.words.end());
        EXPECT_EQ(r->zandel().clockSynth().words(), want) << c.clockType;
        const auto &regs = r->zandel().rgb525();
        EXPECT_EQ(regs[0x14], c.refDivider < 0 ? 0xEE : c.refDivider) << c.clockType;
        EXPECT_EQ(regs[0x20], 0x80) << c.clockType;
        EXPECT_EQ(regs[0x10], 2);
        EXPECT_EQ(regs[0x02], 0x27);
        EXPECT_EQ(regs[0x70], 1);
        const auto &log = server::errorMessages();
        if (c.message)
            EXPECT_EQ(log, std::vector<std::string>{c.message});
        else
            EXPECT_TRUE(log.empty());
        EXPECT_TRUE(failures.empty()) << failures.front();
    }
}

TEST_F(ZandelBoard, Rgb511SynthesisersAndTheirDelays) {
    auto b = board(0x4000, 0x200000, 2);
    const uint64_t start = Machine::current().nowMicros();
    zm::zandelSet511Clock(&b->priv, 2600, 2517);
    const auto &regs = b->zandel().rgb511();
    EXPECT_EQ(std::vector<uint8_t>(regs.begin() + 0x58, regs.begin() + 0x5B),
              (std::vector<uint8_t>{0x1A, 0xC0, 0x88}));
    EXPECT_EQ(std::vector<uint8_t>(regs.begin() + 0x48, regs.begin() + 0x4B),
              (std::vector<uint8_t>{0x1B, 0xC0, 0x88}));
    EXPECT_EQ(regs[7], 0);
    EXPECT_EQ(regs[8], 0x48);
    EXPECT_EQ(b->zandel().dacReg(6), 0x82);
    EXPECT_EQ(Machine::current().nowMicros() - start, 40000u);
    EXPECT_TRUE(failures.empty()) << failures.front();
}

// The synthesiser's lines take the protocol only: a word cut short fails.
TEST_F(ZandelBoard, SynthesiserRefusesMalformedSequences) {
    auto b = board(0x8000, 0x200000);
    auto put = [&](std::initializer_list<int> bytes) {
        for (int v : bytes)
            b->priv.cfgWrite(b->priv.cfgHandle, 0x42, v);
    };
    put({0x0D, 0x09, 0x0D, 0x01, 0x05}); // start after one unlock pulse
    EXPECT_EQ(failures.size(), 1u);
    put({0x0C}); // bit 0 cleared
    EXPECT_EQ(failures.size(), 2u);
    failures.clear();
    put({0x0D, 0x09, 0x0D, 0x09, 0x0D, 0x09, 0x0D, 0x09, 0x0D, 0x09, 0x0D, // unlock
         0x01, 0x05, 0x01, 0x05,                                           // start
         0x0D, 0x09, 0x0D});                                               // stop, no bits
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_TRUE(b->zandel().clockSynth().words().empty());
}

TEST(ZandelBoardModel, RefusesBoardsItCannotBe) {
    struct Case {
        const char *what;
        int memSize, powerUp, memOffset;
        uint32_t length;
    };
    const Case cases[] = {
        {"3 MB", 0x300000, 0x8000, 0x800000, 0x1000000},
        {"4 MB in narrow banks", 0x400000, 0x8010, 0x800000, 0x1000000},
        {"window short of the memory", 0x400000, 0x8000, 0x800000, 0xB00000},
        {"frame buffer among the registers", 0x100000, 0x8000, 0x40000, 0x1000000},
        {"frame buffer off a page", 0x100000, 0x8000, 0x800800, 0x1000000},
    };
    for (const Case &c : cases) {
        graf::Config cfg = graf::Builder()
                               .adapter("zandel")
                               .integer("MEMSIZE", c.memSize)
                               .integer("POWERUP", c.powerUp)
                               .integer("MEM_OFFSET", c.memOffset)
                               .memory("", 0xE0000000, c.length)
                               .build();
        auto m = Machine::make();
        EXPECT_THROW(sim::makeAdapter(cfg, *m), std::invalid_argument) << c.what;
    }
}

} // namespace
