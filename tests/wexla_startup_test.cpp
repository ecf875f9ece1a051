// wexla's start-up, mode set, clock programming, console switch, blanking,
// palette and GC validation through the library on the wexla board model.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "wexla_fixture.h"

namespace {

using namespace wexlatest;

constexpr uint32_t kSrCtl = 0x100138;
const char kInitLine[] = "wexlaInit(0)\n";
const char kPixelInfo[] = "wexla: can't find pixel info in grafinfo file.\n";
const char kNoMemory[] = "wexla: Missing MEMORY in grafinfo file.\n";
const char kNoParms[] = "wexla: Missing WEXLA parms in grafinfo file.\n";

std::vector<std::string> initAnd(const std::string &message = "") {
    std::vector<std::string> want = {kInitLine};
    if (!message.empty())
        want.push_back(message);
    return want;
}

std::vector<std::string> runNames() {
    std::vector<std::string> names;
    for (const graf::Run &r : graf::runLog())
        names.push_back(r.procedure);
    return names;
}

// ---- Init ----

// Without the optional keys: 300 mm, PIXBYTES the width, PIXELSIZE 1, no
// memory clock.
TEST(WexlaInit, DefaultsOfTheOptionalKeys) {
    graf::Config cfg = wexlaConfig(kMiscFile);
    for (const char *key : {"MON_WIDTH", "MON_HEIGHT", "PIXBYTES", "PIXELSIZE", "MEMSPEED"})
        cfg.ints.erase(key);
    harness::Screen s("wexla", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::errorMessages(), initAnd());
    EXPECT_EQ(s.screen()->mmWidth, 300);
    EXPECT_EQ(s.screen()->mmHeight, 300);
    EXPECT_EQ(wexlaOf(s).clockPort().synth().words(), std::vector<uint32_t>{kVclk});
    // The box is the line of 64 bytes over 2 MB, cut to 16 bits.
    EXPECT_EQ(wexlaOf(s).reg(sim::WexlaAdapter::kClipMax), (63u << 16) | 0x7FFE);

    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.class_, PseudoColor);
    EXPECT_EQ(v.bitsPerRGBValue, 8);
    EXPECT_EQ(v.ColormapEntries, 256);
    EXPECT_EQ(v.nplanes, 8);
    EXPECT_EQ(s.nfb()->driverFlag, 1);
    EXPECT_EQ(s.nfb()->LoadColormap, genLoadColormap);
    SysInfo *info = s.sysInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->sysInfoWord0, 0);
    EXPECT_EQ(info->sysInfoFlag1 + info->sysInfoFlag2 + info->sysInfoFlag3, 3);
    EXPECT_EQ(info->sysInfoValue, 5.0f);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// Every example board comes up with no failure of the model, and leaves its
// clock port as it found it.
TEST(WexlaInit, EachExampleBoardComesUp) {
    for (const char *file : {kOliveFile, kTulipFile, kMiscFile}) {
        harness::beginCase();
        harness::Screen s("wexla", harness::loadConfig(file), strict());
        ASSERT_TRUE(s.start()) << file << ": " << s.failureText();
        EXPECT_EQ(server::errorMessages(), initAnd()) << file;
        EXPECT_TRUE(wexlaOf(s).clockPort().atRest()) << file;
        EXPECT_EQ(s.pitch(), 1024) << file;
    }
}

struct InitFailure {
    const char *name;
    std::function<void(graf::Config &)> change;
    const char *message;
};

const InitFailure kInitFailures[] = {
    {"NoWidth", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); }, kPixelInfo},
    {"NoHeight", [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); }, kPixelInfo},
    {"ZeroWidth", [](graf::Config &c) { c.ints["PIXWIDTH"] = 0; }, kPixelInfo},
    {"NegativeHeight", [](graf::Config &c) { c.ints["PIXHEIGHT"] = -16; }, kPixelInfo},
    {"ZeroPixelSize", [](graf::Config &c) { c.ints["PIXELSIZE"] = 0; }, kPixelInfo},
    // The engine would draw at another line than the processor.
    {"LineOtherThanSysConfig", [](graf::Config &c) { c.ints["PIXBYTES"] = 128; }, kPixelInfo},
    {"SysConfigWithoutALine", [](graf::Config &c) { c.ints["SYSCONFIG"] = 0; }, kPixelInfo},
    {"NegativePixelSize", [](graf::Config &c) { c.ints["PIXELSIZE"] = -1; }, kPixelInfo},
    {"PixBytesBelowWidth", [](graf::Config &c) { c.ints["PIXBYTES"] = 63; }, kPixelInfo},
    // The box holds 16-bit coordinates.
    {"LineWiderThanABox", [](graf::Config &c) { c.ints["PIXELSIZE"] = 0x200; }, kPixelInfo},
    // 15 rows of 0x12000 bytes reach past 1 MB (they fit in 2).
    {"RowsPastOneMB",
     [](graf::Config &c) {
         c.ints["PIXBYTES"] = 0x12000;
         c.ints["MEMSIZE"] = 1;
     },
     kPixelInfo},
    {"RowsPastTwoMB", [](graf::Config &c) { c.ints["PIXBYTES"] = 0x24000; }, kPixelInfo},
    {"NoMemoryArea", [](graf::Config &c) { c.areas.clear(); }, kNoMemory},
    // An area that does not reach the frame buffer's end (plain memory:
    // the board model would refuse it).
    {"AreaShorterThanTheChip",
     [](graf::Config &c) {
         c.adapter.clear();
         c.areas[0].length = 0x200000 + 0xFF000;
         c.ints["MEMSIZE"] = 0;
     },
     kNoMemory},
    {"NoSysConfig", [](graf::Config &c) { c.ints.erase("SYSCONFIG"); }, kNoParms},
    {"NoHrzt", [](graf::Config &c) { c.ints.erase("HRZT"); }, kNoParms},
    {"NoHrzsr", [](graf::Config &c) { c.ints.erase("HRZSR"); }, kNoParms},
    {"NoHrzbr", [](graf::Config &c) { c.ints.erase("HRZBR"); }, kNoParms},
    {"NoHrzbf", [](graf::Config &c) { c.ints.erase("HRZBF"); }, kNoParms},
    {"NoVrtt", [](graf::Config &c) { c.ints.erase("VRTT"); }, kNoParms},
    {"NoVrtsr", [](graf::Config &c) { c.ints.erase("VRTSR"); }, kNoParms},
    {"NoVrtbr", [](graf::Config &c) { c.ints.erase("VRTBR"); }, kNoParms},
    {"NoVrtbf", [](graf::Config &c) { c.ints.erase("VRTBF"); }, kNoParms},
    {"NoVclk", [](graf::Config &c) { c.ints.erase("VCLK"); }, kNoParms},
    {"NoMemSize", [](graf::Config &c) { c.ints.erase("MEMSIZE"); }, kNoParms},
    {"NoRamWrite", [](graf::Config &c) { c.ints.erase("RAMWRITE"); }, kNoParms},
    {"NoPalData", [](graf::Config &c) { c.ints.erase("PALDATA"); }, kNoParms},
    {"NoSrCtl", [](graf::Config &c) { c.ints.erase("SRCTL"); }, kNoParms},
    {"NoOem", [](graf::Config &c) { c.ints.erase("OEM"); }, kNoParms},
    // The mode procedures: missing, or stopping half way.
    {"NoInitDac", [](graf::Config &c) { c.procedures.erase("InitDac"); },
     "grafinfo file needs PROCEDURE InitDac\n"},
    {"NoSetGraphics", [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     "grafinfo file needs PROCEDURE SetGraphics\n"},
    {"SetGraphicsFails",
     [](graf::Config &c) {
         graf::Builder b;
         b.procedure("SetGraphics", "fail\n");
         c.procedures["SetGraphics"] = b.build().procedures["SetGraphics"];
     },
     "grafinfo file needs PROCEDURE SetGraphics\n"},
};

class WexlaInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(WexlaInitFailure, FailsWithItsMessageAndHoldsNothing) {
    const InitFailure &f = GetParam();
    graf::Config cfg = wexlaConfig(kMiscFile);
    f.change(cfg);
    harness::Screen s("wexla", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), initAnd(f.message));
    EXPECT_EQ(server::liveBlockCount(), 0u);
    // A refusal before the mode set leaves the chip untouched; after it,
    // the text mode is given back last.
    const std::vector<std::string> runs = runNames();
    if (std::string(f.message).rfind("grafinfo file needs", 0) == 0) {
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.back(), "SetText");
        EXPECT_EQ(std::count(runs.begin(), runs.end(), "SetText"), 2);
    } else {
        EXPECT_TRUE(runs.empty());
        if (s.adapter() != nullptr) {
            EXPECT_FALSE(wexlaOf(s).wasWritten(kSrCtl));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, WexlaInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(WexlaInit, ServerRefusalsFailQuietly) {
    struct Refusal {
        const char *name;
        void (*on)();
        void (*off)();
    } refusals[] = {
        {"private", [] { server::failAllocationAfter(0); },
         [] { server::failAllocationAfter(-1); }},
        {"index", [] { server::failScreenPrivateIndex(true); },
         [] { server::failScreenPrivateIndex(false); }},
        {"screen", [] { server::failScreenInit(true); }, [] { server::failScreenInit(false); }},
        {"visual", [] { server::failAddVisual(true); }, [] { server::failAddVisual(false); }},
        {"colormap", [] { server::failCreateColormap(true); },
         [] { server::failCreateColormap(false); }},
    };
    for (const Refusal &r : refusals) {
        harness::beginCase();
        harness::Screen s("wexla", wexlaConfig(kMiscFile), quiet());
        ASSERT_TRUE(s.probe());
        r.on();
        EXPECT_FALSE(s.init()) << r.name;
        r.off();
        EXPECT_EQ(server::errorMessages(), initAnd()) << r.name;
        EXPECT_EQ(server::liveBlockCount(), 0u) << r.name;
    }
}

// Each generation takes one new index and finds its private there; Init
// names its screen every time.
TEST(WexlaInit, EveryGenerationTakesOneIndex) {
    harness::Screen s("wexla", wexlaConfig(kMiscFile), strict());
    const int before = server::screenPrivateCount();
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), before + 1);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), before + 2);
    EXPECT_EQ(server::errorMessages(), (std::vector<std::string>{kInitLine, kInitLine}));
    // The new generation's private drives the chip.
    s.nfb()->BlankScreen(1, s.screen());
    EXPECT_EQ(wexlaOf(s).reg(kSrCtl), 0x1C4u);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);

    harness::Screen second("wexla", wexlaConfig(kMiscFile),
                           {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(second.start()) << second.failureText();
    EXPECT_EQ(server::errorMessages().back(), "wexlaInit(1)\n");
}

// ---- Mode set ----

// The register writes of one mode set, in order, on a board whose
// procedures touch nothing.
TEST(WexlaModeSet, RegisterWritesInOrder) {
    graf::Config cfg = wexlaConfig(kMiscFile, 1024, 16);
    quietProcedures(cfg);
    harness::Screen s("wexla", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    graf::clearRunLog();
    s.sysInfo()->SetGraphics(s.screen());

    const int mem = s.machine().regionIndex("MEMORY");
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    for (const sim::Access &a : s.machine().trace()) {
        // Only the engine's status: the mode set waits for drawing to end.
        EXPECT_FALSE(a.region == mem && a.kind == sim::Access::MemRead &&
                     a.address != sim::WeitekFirstGenFront::kStatus)
            << a.address;
        if (a.region == mem && a.kind == sim::Access::MemWrite)
            writes.emplace_back(a.address, a.value);
    }
    const std::vector<std::pair<uint32_t, uint32_t>> want = {
        {0x10000C, 0x80},      {0x100118, 0},          {0x100130, 0},     {0x100188, 390},
        {0x100190, 250},       {0x18020C, 10},         {0x180190, 0},     {0x180210, 0},
        {0x180214, 0},         {0x100004, 0x00600000}, {0x180220, 0},     {0x180220, 0},
        {0x180224, 0x3FF07FF}, {0x100184, 2},          {0x10010C, 33},    {0x100110, 73},
        {0x100114, 329},       {0x100108, 335},        {0x100124, 5},     {0x100128, 34},
        {0x10012C, 802},       {0x100120, 805},        {0x100138, 0x1E4},
    };
    EXPECT_EQ(writes, want);
    EXPECT_EQ(runNames(),
              (std::vector<std::string>{"SetText", "InitDac", "InitDac", "SetGraphics"}));
    // The colormap is loaded again at the end: the palette's 256 entries.
    EXPECT_EQ(portAccesses(s, sim::Access::PortOut, 0x3C8), 256);
    EXPECT_EQ(portAccesses(s, sim::Access::PortOut, 0x3C9), 3 * 256);
}

// MEMSIZE below 2 is 1 MB, from 2 up 2 MB: the lines of the clip box and
// the lines below the screen follow; the register takes the key as it is.
TEST(WexlaModeSet, MemSizeChoosesOneOrTwoMegabytes) {
    const struct {
        int memSize;
        uint32_t lastLine;
    } cases[] = {{-1, 1023}, {0, 1023}, {1, 1023}, {2, 2047}, {3, 2047}};
    for (const auto &c : cases) {
        harness::beginCase();
        graf::Config cfg = wexlaConfig(kMiscFile, 1024, 16);
        cfg.ints["MEMSIZE"] = c.memSize;
        harness::Screen s("wexla", cfg, strict());
        ASSERT_TRUE(s.start()) << c.memSize << ": " << s.failureText();
        const sim::WexlaAdapter &b = wexlaOf(s);
        EXPECT_EQ(b.reg(sim::WexlaAdapter::kClipMax), 1023u << 16 | c.lastLine) << c.memSize;
        EXPECT_EQ(b.reg(sim::WexlaAdapter::kClipMin), 0u) << c.memSize;
        EXPECT_EQ(b.reg(sim::WexlaAdapter::kMemConf), static_cast<uint32_t>(c.memSize));
    }
}

// ---- Clock programming ----

struct ClockCase {
    const char *name;
    const char *file;
    int oem; // 0: the file's
    bool memSpeed;
    std::vector<uint32_t> words; // in the order the synthesiser takes them
    int spins;                   // busy loops of a million passes
    bool tulipSettle;            // and one of 7500 passes
    // Writes of the misc output, port 0x7C88 and port 0xF886: 116 a word on
    // the first two, 121 on the third; port 0x7C88 once more after its pause.
    std::vector<int> clockWrites;
};

const ClockCase kClockCases[] = {
    {"Olive",
     kOliveFile,
     0,
     false,
     {kVclk, kVclk | 0x200000, kVclk | 0x400000, 0xC18000, 0xA40000, 0xC38000},
     9,
     false,
     {0, 0, 6 * 121}},
    {"Tulip",
     kTulipFile,
     0,
     true,
     {kMemSpeed, 0xC10000, 0x900000, kVclk, kVclk | 0x200000, kVclk | 0x400000},
     6,
     true,
     {0, 6 * 116 + 1, 0}},
    {"TulipWithoutMemSpeed",
     kTulipFile,
     0,
     false,
     {0, 0xC10000, 0x900000, kVclk, kVclk | 0x200000, kVclk | 0x400000},
     6,
     true,
     {0, 6 * 116 + 1, 0}},
    {"MiscOutput", kMiscFile, 0, true, {kVclk, kMemSpeed}, 6, false, {2 * 116, 0, 0}},
    {"MiscOutputWithoutMemSpeed", kMiscFile, 0, false, {kVclk}, 6, false, {116, 0, 0}},
    // Any OEM but 1 and 3 is the misc output's.
    {"Oem0", kMiscFile, -5, true, {kVclk, kMemSpeed}, 6, false, {2 * 116, 0, 0}},
    {"Oem7", kMiscFile, 7, true, {kVclk, kMemSpeed}, 6, false, {2 * 116, 0, 0}},
};

class WexlaClocks : public testing::TestWithParam<ClockCase> {};

TEST_P(WexlaClocks, WordsDelaysAndBoardPorts) {
    const ClockCase &c = GetParam();
    graf::Config cfg = wexlaConfig(c.file);
    if (!c.memSpeed)
        cfg.ints.erase("MEMSPEED");
    if (c.oem != 0)
        cfg.ints["OEM"] = c.oem;
    // Bits besides the lines, which the routines must keep.
    cfg.ints["PORT_7C88"] = 0xAD;
    cfg.ints["MISC_OUTPUT"] = 0xA7;
    cfg.ints["PORT_FC84"] = 0x52;
    harness::Screen s("wexla", cfg, strict());
    ASSERT_TRUE(s.probe());
    ASSERT_TRUE(s.init()) << s.failureText();
    sim::WexlaAdapter &b = wexlaOf(s);
    EXPECT_EQ(b.clockPort().synth().words(), c.words);
    EXPECT_TRUE(b.clockPort().atRest());
    EXPECT_EQ(b.portValue(0x7C88), 0xAD);
    EXPECT_EQ(b.vga().misc.value(), 0xA7);
    const std::vector<int> clockWrites = {static_cast<int>(portWrites(s, 0x3C2).size()),
                                          static_cast<int>(portWrites(s, 0x7C88).size()),
                                          static_cast<int>(portWrites(s, 0xF886).size())};
    EXPECT_EQ(clockWrites, c.clockWrites);

    int spins = 0, settles = 0;
    for (const sim::Machine::CpuStep &step : s.machine().cpuSteps()) {
        ASSERT_EQ(step.kind, sim::Machine::CpuStep::Spin);
        spins += step.passes == 1000000;
        settles += step.passes == 7500;
    }
    EXPECT_EQ(spins, c.spins);
    EXPECT_EQ(settles, c.tulipSettle ? 1 : 0);

    const bool olive = std::string(c.name) == "Olive";
    EXPECT_EQ(b.portWrites(0xF887), olive ? std::vector<uint8_t>{0x80} : std::vector<uint8_t>{});
    EXPECT_EQ(b.portWrites(0xFC84), olive ? std::vector<uint8_t>{0x53} : std::vector<uint8_t>{});
    EXPECT_EQ(portAccesses(s, sim::Access::PortIn, 0xFC84), olive ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(All, WexlaClocks, testing::ValuesIn(kClockCases),
                         [](const auto &info) { return std::string(info.param.name); });

// On port 0xF886 the last word comes after the first InitDac, and a delay
// of three million passes follows each group of words.
TEST(WexlaClocks, OliveControlWordAfterTheFirstInitDac) {
    harness::Screen s("wexla", wexlaConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.sysInfo()->SetGraphics(s.screen());
    // InitDac's write of the DAC mask marks where it ran.
    std::vector<size_t> oliveWrites, dacMask;
    size_t i = 0;
    for (const sim::Access &a : s.machine().trace()) {
        if (a.kind == sim::Access::PortOut && a.address == 0xF886)
            oliveWrites.push_back(i);
        if (a.kind == sim::Access::PortOut && a.address == 0x3C6)
            dacMask.push_back(i);
        i++;
    }
    ASSERT_EQ(dacMask.size(), 2u);
    ASSERT_EQ(oliveWrites.size(), 6u * 121);
    EXPECT_LT(oliveWrites[5 * 121 - 1], dacMask[0]);
    EXPECT_GT(oliveWrites[5 * 121], dacMask[0]);
    EXPECT_LT(oliveWrites.back(), dacMask[1]);
    // Spins: three after the five words, three after InitDac, three after
    // the sixth word.
    std::vector<size_t> spinsAt;
    for (const sim::Machine::CpuStep &step : s.machine().cpuSteps())
        spinsAt.push_back(step.at);
    ASSERT_EQ(spinsAt.size(), 9u);
    EXPECT_GT(spinsAt[0], oliveWrites[5 * 121 - 1]);
    EXPECT_GT(spinsAt[3], dacMask[0]);
    EXPECT_LE(spinsAt[5], oliveWrites[5 * 121]);
    EXPECT_GT(spinsAt[6], oliveWrites.back());
    EXPECT_LT(spinsAt[8], dacMask[1]);
}

// ---- Console switch, blanking, palette ----

TEST(WexlaSwitch, SetTextRunsTheProcedureAlone) {
    graf::Config cfg = wexlaConfig(kMiscFile);
    quietProcedures(cfg);
    harness::Screen s("wexla", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    graf::clearRunLog();
    EXPECT_EQ(s.sysInfo()->SetText(s.screen()), 1);
    EXPECT_TRUE(s.machine().trace().empty());
    EXPECT_EQ(runNames(), std::vector<std::string>{"SetText"});
    // A procedure that does not run is the result.
    graf::setProcedureFails(s.grafinfo(), "SetText", true);
    EXPECT_EQ(s.sysInfo()->SetText(s.screen()), 0);
}

TEST(WexlaSwitch, BlankingFlipsThePictureBitOfTheRepaintControl) {
    const struct {
        int srCtl;
        int on;
        uint32_t want;
    } cases[] = {{0x1E4, 1, 0x1C4}, {0x1E4, 0, 0x1E4}, {0x1C4, 1, 0x1C4}, {0x1C4, 0, 0x1E4}};
    for (const auto &c : cases) {
        harness::beginCase();
        graf::Config cfg = wexlaConfig(kMiscFile);
        cfg.ints["SRCTL"] = c.srCtl;
        harness::Screen s("wexla", cfg, strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.nfb()->BlankScreen(c.on, s.screen()), 1);
        EXPECT_EQ(wexlaOf(s).reg(kSrCtl), c.want) << c.srCtl << " " << c.on;
    }
}

TEST(WexlaSwitch, SetColorWritesTheTopByteOfEachComponent) {
    harness::Screen s("wexla", wexlaConfig(kMiscFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.nfb()->SetColor(0xDEAD, 0x105, 0x1234, 0xABCD, 0xFF00, s.screen());
    EXPECT_EQ(portWrites(s, 0x3C8), std::vector<uint8_t>{0x05});
    EXPECT_EQ(portWrites(s, 0x3C9), (std::vector<uint8_t>{0x12, 0xAB, 0xFF}));
    const sim::vga::Dac::Entry raw = wexlaOf(s).vga().dac.rawEntry(5);
    EXPECT_EQ(raw, (sim::vga::Dac::Entry{0x12, 0xAB, 0xFF}));
}

// ---- GC validation ----

TEST(WexlaValidate, FillStyleChoosesTheRecordAndColoursMoveOpaqueStipples) {
    harness::Screen s("wexla", wexlaConfig(kMiscFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 7, .bg = 7});
    auto fill = [&] { return s.ops(gc)->FillRects; };
    EXPECT_EQ(fill(), genSolidFillRects) << "equal colours draw solid";
    // A colour change alone must move it off the solid record and back.
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 9, .bg = 7}, GCForeground);
    // The driver's own staged fill.
    const FillRectsProc opaque = fill();
    EXPECT_NE(opaque, genSolidFillRects);
    EXPECT_NE(opaque, genOpStippledFillRects);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 9, .bg = 9}, GCBackground);
    EXPECT_EQ(fill(), genSolidFillRects);

    const struct {
        int style;
        FillRectsProc want;
    } styles[] = {{FillSolid, genSolidFillRects},
                  {FillTiled, genTiledFillRects},
                  {FillStippled, genStippledFillRects},
                  {FillOpaqueStippled, opaque}};
    for (const auto &st : styles) {
        s.changeGC(gc, {.fillStyle = st.style, .fg = 1, .bg = 0}, GCFillStyle);
        EXPECT_EQ(fill(), st.want) << st.style;
    }
}

} // namespace
