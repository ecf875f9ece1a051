// zandel's start-up, mode set, console switch, blanking, palette and GC
// validation through the library on the zandel board model.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "pcibus.h"
#include "pcicfg.h"
#include "zandel_fixture.h"

namespace {

using namespace zandeltest;

// Reads and writes of one register window offset since the trace was cleared.
int accesses(harness::Screen &s, sim::Access::Kind kind, uint32_t offset) {
    const int mem = s.machine().regionIndex("MEMORY");
    int n = 0;
    for (const sim::Access &a : s.machine().trace())
        n += a.kind == kind && a.region == mem && a.address == offset;
    return n;
}

constexpr uint32_t kDac6 = 0x200 + 4 * 6;

// ---- Init ----

TEST(ZandelInit, DefaultsFindTheBoardOnPciAndDrawAtTheFrameBuffer) {
    graf::Config cfg = smallConfig();
    cfg.ints.erase("PIXCLOCK");
    harness::Screen s("zandel", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::ZandelAdapter &z = zandelOf(s);
    // One search for 0x100E:0x9100, then one descriptor kept open.
    EXPECT_EQ(s.machine().pci().requests(PCI_FIND_DEVICE), 2);
    EXPECT_EQ(sim::openPciDescriptors(), 1);
    EXPECT_TRUE(z.nativeMode());
    EXPECT_EQ(z.rgb525()[0x20], 0x3D) << "the RGB525 code of 3150";
    EXPECT_EQ(s.nfb()->driverFlag, 1);
    EXPECT_EQ(s.pitch(), 64);
    // The screen starts 0x800000 into the window, where the video memory is.
    s.fillRandom(81);
    s.drawSolidRects({{3, 2, 40, 9}}, 0x5A);
    EXPECT_EQ(s.expectSame().count, 0);
    EXPECT_TRUE(server::errorMessages().empty());
}

struct InitFailure {
    const char *name;
    std::function<void(graf::Config &)> change;
    const char *message; // "" for none
    bool leftNativeMode; // the chip was put back out of native mode
};

const InitFailure kInitFailures[] = {
    {"NoWidth", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     "zandel: can't find pixel info in grafinfo file.\n", false},
    {"ZeroHeight", [](graf::Config &c) { c.ints["PIXHEIGHT"] = 0; },
     "zandel: can't find pixel info in grafinfo file.\n", false},
    {"PixelSize3", [](graf::Config &c) { c.ints["PIXELSIZE"] = 3; },
     "zandel: can't find pixel info in grafinfo file.\n", false},
    // Two-byte pixels on a screen the server holds at 8 bits a pixel.
    {"PixelSizeOtherThanTheScreens", [](graf::Config &c) { c.ints["PIXELSIZE"] = 2; },
     "zandel: can't find pixel info in grafinfo file.\n", false},
    {"NoVco", [](graf::Config &c) { c.ints.erase("VCO"); },
     "zandel: Missing ZANDEL parms in grafinfo file.\n", false},
    {"RamdacType2", [](graf::Config &c) { c.ints["RAMDAC"] = 2; },
     "zandel: RAMDAC type not recognized.\n", true},
    {"Bt485ClassWithoutItsIdentity",
     [](graf::Config &c) {
         c.ints["POWERUP"] = 0;
         c.strings["DAC"] = "bt485";
         c.ints["DAC_ID"] = 0x40;
     },
     "zandel: RAMDAC type not recognized.\n", true},
    // Rows PIXBYTES apart must stay inside the memory ReadImage reads.
    {"RowsPastTheMemory", [](graf::Config &c) { c.ints["PIXBYTES"] = 0x40000; },
     "zandel: not enough memory for requested mode 64x16-256\n", true},
    // The engine draws at the system configuration's line, images are read
    // PIXBYTES apart: a line its fields cannot hold, or another PIXBYTES.
    {"LineTheWordCannotHold",
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 100;
         c.ints["PIXBYTES"] = 100;
     },
     "zandel: a line of 100 bytes is not what the system configuration holds (96)\n", true},
    {"PixBytesOtherThanTheLine", [](graf::Config &c) { c.ints["PIXBYTES"] = 128; },
     "zandel: a line of 128 bytes is not what the system configuration holds (64)\n", true},
};

class ZandelInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(ZandelInitFailure, FailsWithItsMessageAndHoldsNothing) {
    const InitFailure &f = GetParam();
    graf::Config cfg = smallConfig();
    f.change(cfg);
    harness::Screen s("zandel", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    std::vector<std::string> want;
    if (*f.message)
        want.push_back(f.message);
    EXPECT_EQ(server::errorMessages(), want);
    EXPECT_EQ(server::liveBlockCount(), 0u);
    if (f.leftNativeMode) {
        EXPECT_FALSE(zandelOf(s).nativeMode());
        EXPECT_GE(zandelOf(s).modeWrites().size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(All, ZandelInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ZandelInit, MissingMemoryAreaAndConfigurationSpace) {
    {
        graf::Config cfg = smallConfig();
        cfg.areas.clear();
        harness::Screen s("zandel", cfg, quiet());
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_EQ(server::errorMessages(),
                  std::vector<std::string>{"zandel: Missing MEMORY in grafinfo file.\n"});
    }
    server::clearErrorMessages();
    // Found by the search, but the device refuses the open that follows.
    harness::Screen s("zandel", smallConfig(), quiet());
    s.machine().pci().setOpenLimit(1);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(),
              std::vector<std::string>{"zandel: unable to open configuration space.\n"});
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(ZandelInit, ServerRefusalsFailQuietly) {
    struct Refusal {
        const char *name;
        void (*on)();
        void (*off)();
    } refusals[] = {
        {"private", [] { server::failAllocationAfter(0); },
         [] { server::failAllocationAfter(-1); }},
        {"index", [] { server::failScreenPrivateIndex(true); },
         [] { server::failScreenPrivateIndex(false); }},
        {"visual", [] { server::failAddVisual(true); }, [] { server::failAddVisual(false); }},
        {"colormap", [] { server::failCreateColormap(true); },
         [] { server::failCreateColormap(false); }},
    };
    for (const Refusal &r : refusals) {
        harness::beginCase();
        harness::Screen s("zandel", smallConfig(), quiet());
        ASSERT_TRUE(s.probe());
        r.on();
        EXPECT_FALSE(s.init()) << r.name;
        r.off();
        EXPECT_TRUE(server::errorMessages().empty()) << r.name;
        EXPECT_EQ(server::liveBlockCount(), 0u) << r.name;
    }
}

// 1024 x 768 at two bytes needs 1.5 MB: a 1 MB board refuses it after the
// text mode is back; 2 MB takes it.
TEST(ZandelInit, ModeLargerThanTheMemoryFound) {
    for (int megabytes : {1, 2}) {
        harness::beginCase();
        graf::Config cfg = zandelConfig(kRgb525File, 1024, 768);
        cfg.ints["PIXELSIZE"] = 2;
        cfg.ints["DEPTH"] = 16;
        cfg.ints["PIXBYTES"] = 2048;
        cfg.ints["MEMSIZE"] = megabytes << 20;
        harness::Screen s("zandel", cfg, quiet());
        ASSERT_TRUE(s.probe());
        const bool fits = megabytes == 2;
        EXPECT_EQ(s.init(), fits ? 1 : 0) << megabytes;
        sim::ZandelAdapter &z = zandelOf(s);
        EXPECT_EQ(z.nativeMode(), fits) << megabytes;
        EXPECT_EQ(z.reg(0x184), fits ? z.reg(0x184) : 0u) << "the chip's set-up undone";
        std::vector<std::string> want;
        if (!fits)
            want.push_back("zandel: not enough memory for requested mode 1024x768-64K\n");
        EXPECT_EQ(server::errorMessages(), want);
    }
}

TEST(ZandelInit, Bt485ClassIdentities) {
    for (int id : {0x80, 0xA0, 0x20, 0x2F}) {
        harness::beginCase();
        graf::Config cfg = zandelConfig(kVlbFile, 64, 16);
        cfg.ints["DAC_ID"] = id;
        harness::Screen s("zandel", cfg, strict());
        EXPECT_TRUE(s.start()) << std::hex << id << s.failureText();
        EXPECT_EQ(zandelOf(s).dacReg(6), 0x82) << "command register 0 at the mode set";
    }
}

// ---- the mode set of each example board ----

// A serial word by what it loads: the register select, and the frequency
// (within half a per cent) or the whole word for the control register.
struct ClockWord {
    uint32_t select;
    uint32_t value; // frequency in 10 kHz units, or the control word
};

struct ModeSet {
    const char *file;
    std::vector<ClockWord> clockWords; // the synthesiser's, in order
    uint32_t memConf, srtCtl;
    uint32_t clipMax, byteClipMax; // x from the screen's box, in bytes: looser on the right
};

TEST(ZandelModeSet, ExampleBoards) {
    const ModeSet cases[] = {
        // RGB525, 2 MB in wide banks on a 64-bit bus: memory clock, pixel clock.
        {kRgb525File,
         {{3, 4000}, {2, 6500}},
         0xD0180035,
         0x3E4,
         1023 << 16 | 2047,
         1023 << 16 | 2047},
        // Bt485-class on the VL bus, 1 MB on a 32-bit bus: five words.
        {kVlbFile,
         {{3, 4000}, {2, 2517}, {6, 0xC18010}, {6, 0xC38000}, {6, 0xC00000}},
         0xD0180034,
         0x1E4,
         1279 << 16 | 818,
         2558 << 16 | 818},
        // RGB511, 4 MB: its own synthesisers, no serial words.
        {kRgb511File, {}, 0xD1580037, 0x5E5, 3199u << 16 | 1309, 12796u << 16 | 1309},
    };
    for (const ModeSet &c : cases) {
        harness::beginCase();
        harness::Screen s("zandel", harness::loadConfig(c.file), strict());
        ASSERT_TRUE(s.start()) << c.file << s.failureText();
        sim::ZandelAdapter &z = zandelOf(s);
        EXPECT_EQ(z.modeWrites().front() & 0x02, 0) << c.file << ": native mode first";
        const std::vector<uint32_t> &words = z.clockSynth().words();
        ASSERT_EQ(words.size(), c.clockWords.size()) << c.file;
        for (size_t i = 0; i < words.size(); i++) {
            EXPECT_EQ(words[i] >> 21, c.clockWords[i].select) << c.file << " word " << i;
            if (c.clockWords[i].select == 6)
                EXPECT_EQ(words[i], c.clockWords[i].value) << c.file << " word " << i;
            else
                EXPECT_NEAR(sim::Icd2061a::frequency(words[i]), c.clockWords[i].value,
                            c.clockWords[i].value * 0.005)
                    << c.file << " word " << i;
        }
        EXPECT_EQ(z.reg(0x184), c.memConf) << c.file << std::hex << " " << z.reg(0x184);
        EXPECT_EQ(z.reg(0x138), c.srtCtl) << c.file << std::hex << " " << z.reg(0x138);
        EXPECT_EQ(z.reg(0x2220), 0u) << c.file;
        EXPECT_EQ(z.reg(0x2224), c.clipMax) << c.file << std::hex << " " << z.reg(0x2224);
        EXPECT_EQ(z.reg(0x22A4), c.byteClipMax) << c.file << std::hex << " " << z.reg(0x22A4);
        EXPECT_EQ(z.reg(0x008), 0x2Au) << c.file;
        EXPECT_EQ(static_cast<int>(z.displayPitch()), s.graf().ints["PIXBYTES"]) << c.file;
        // Blanking flips the picture bit only.
        s.blankScreen(true);
        EXPECT_EQ(z.reg(0x138), c.srtCtl & ~0x20u) << c.file;
        s.blankScreen(false);
        EXPECT_EQ(z.reg(0x138), c.srtCtl | 0x20) << c.file;
    }
}

// 64-byte lines over 4 MB make 65536 rows: the box and the clip stop at the
// last row a box can name.
TEST(ZandelModeSet, NarrowLinesKeepTheBoxInRange) {
    graf::Config cfg = smallConfig();
    cfg.ints["MEMSIZE"] = 0x400000;
    harness::Screen s("zandel", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(zandelOf(s).reg(0x2224), 63u << 16 | 0x7FFE);
    EXPECT_EQ(zandelOf(s).reg(0x22A4), 63u << 16 | 0x7FFE);
}

// ---- RAMDAC state over screens and generations ----

// The RGB525's text-mode registers are read once per process, from the first
// screen's board, and restored at every switch to text after nine fixed
// writes; the enable waits 120 ms, the switch to text 100 ms.
TEST(ZandelRgb525, TextModeRegistersSavedOnceRestoredEveryTime) {
    graf::Config cfg = smallConfig();
    cfg.ints["RGB525_TEXT"] = 0x11;
    // A second screen, on a board whose text mode differs.
    graf::Config other = smallConfig();
    other.ints["RGB525_TEXT"] = 0x22;
    harness::Screen first("zandel", cfg, strict());
    harness::Screen second("zandel", other,
                           {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    first.machine().clearTrace();
    second.machine().clearTrace();
    ASSERT_TRUE(first.start()) << first.failureText();
    EXPECT_EQ(accesses(first, sim::Access::MemRead, kDac6), 102);
    ASSERT_TRUE(second.start()) << second.failureText();
    EXPECT_EQ(accesses(second, sim::Access::MemRead, kDac6), 0) << "read once per process";
    const std::array<uint8_t, 256> text = [] {
        std::array<uint8_t, 256> t{};
        for (int r = 0; r < 256; r++)
            t[static_cast<size_t>(r)] = static_cast<uint8_t>(0x11 + 37 * r);
        return t;
    }();

    // Both screens, then the first in a later generation, go to text and back.
    const std::pair<harness::Screen *, bool> visits[] = {
        {&second, false}, {&first, false}, {&first, true}};
    for (auto [s, newGeneration] : visits) {
        if (newGeneration) {
            ASSERT_TRUE(s->nextGeneration()) << s->failureText();
        }
        sim::ZandelAdapter &z = zandelOf(*s);
        s->machine().clearTrace();
        const uint64_t before = s->machine().nowMicros();
        ASSERT_TRUE(s->setText());
        EXPECT_EQ(s->machine().nowMicros() - before, 100000u);
        EXPECT_FALSE(z.nativeMode());
        // 9 fixed writes, then the 102 registers.
        EXPECT_EQ(accesses(*s, sim::Access::MemWrite, kDac6), 9 + 102);
        for (int r : {0x00, 0x14, 0x20, 0x36, 0x48, 0x82, 0xA1})
            EXPECT_EQ(z.rgb525()[static_cast<size_t>(r)], text[static_cast<size_t>(r)]) << r;
        const uint64_t back = s->machine().nowMicros();
        s->setGraphics();
        EXPECT_EQ(s->machine().nowMicros() - back, 120000u);
        EXPECT_TRUE(z.nativeMode());
    }
    EXPECT_EQ(sim::openPciDescriptors(), 1);
}

// ---- palette ----

TEST(ZandelPalette, ComponentsTakeTheirHighBytes) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.setColor(7, 0xFFFF, 0x00FF, 0x8000);
    EXPECT_EQ(zandelOf(s).paletteEntry(7), (std::array<uint8_t, 3>{0xFF, 0x00, 0x80}));

    harness::beginCase();
    harness::Screen deep("zandel", zandelConfig(kVlbFile, 64, 16), strict());
    ASSERT_TRUE(deep.start()) << deep.failureText();
    deep.machine().clearTrace();
    deep.setColor(7, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(deep.machine().trace().size(), 0u) << "TrueColor: nothing reaches the RAMDAC";
}

// ---- GC validation ----

TEST(ZandelValidation, FillStyleDispatch) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr solid = s.createGC({.fillStyle = FillSolid});
    PrivOps *solidOps = s.ops(solid);
    ExtraGCOps *extra = s.gcPriv(solid)->extraOps;
    ASSERT_NE(extra, nullptr);

    // An opaque stipple in one colour draws solid, until its colours differ.
    GCPtr op = s.createGC(
        {.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3, .stipple = s.stipple({"X.", ".X"})});
    EXPECT_EQ(s.ops(op), solidOps);
    EXPECT_EQ(s.gcPriv(op)->extraOps, extra);
    s.changeGC(
        op, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 3, .stipple = s.stipple({"X.", ".X"})},
        GCForeground);
    EXPECT_NE(s.ops(op), solidOps);
    EXPECT_EQ(s.gcPriv(op)->extraOps, nullptr);

    // Other styles leave the extra operations as an earlier validation left
    // them, and each gets a record of its own.
    std::vector<PrivOps *> seen = {solidOps, s.ops(op)};
    for (int style : {FillTiled, FillStippled}) {
        s.changeGC(solid,
                   {.fillStyle = style,
                    .tile = s.tile(2, 2, {1, 2, 3, 4}),
                    .stipple = s.stipple({"X.", ".X"})},
                   GCFillStyle);
        EXPECT_EQ(s.gcPriv(solid)->extraOps, extra) << style;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), s.ops(solid)), 0) << style;
        seen.push_back(s.ops(solid));
    }
}

} // namespace
