// The ct builds at start-up: server options and the operation mask, the
// chip report, Init's failures and visuals, the hardware set-up per chip,
// the engine's bounded wait and its time-out, the console switch, blanking
// and server generations.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ct_fixture.h"

namespace {

using namespace cttest;

using Messages = std::vector<std::string>;

// ---- options and the operation mask ----

struct OptionCase {
    const char *name;
    Build build;
    std::vector<std::string> args;
    Messages messages; // ErrorF lines of Init, in order
    bool gcIndexTaken; // a GC-private index for the wrapper
};

void PrintTo(const OptionCase &c, std::ostream *os) {
    *os << c.name;
}

const Messages kFirstFive = {"using genCopyRect()\n", "using genDrawSolidRects()\n",
                             "using CT(DrawImageFB)()\n", "using genDrawMonoImage()\n",
                             "using genDrawOpaqueMonoImage()\n"};
const Messages kNoWrap = {"using CT(ValidateWindowGCNoWrap)()\n",
                          "forcing genTiledFillRects()\n",
                          "forcing genTiledFS()\n",
                          "forcing genStippledFillRects()\n",
                          "forcing genStippledFS()\n",
                          "forcing genOpStippledFillRects()\n",
                          "forcing genOpStippledFS()\n"};
const Messages kEveryBit65548 = {"using genCopyRect()\n",
                                 "using genDrawSolidRects()\n",
                                 "using CT(DrawImageFB)()\n",
                                 "using genDrawMonoImage()\n",
                                 "using genDrawOpaqueMonoImage()\n",
                                 "can't replace ReadImage()\n",
                                 "using genDrawPoints()\n",
                                 "using genTileRects()\n",
                                 "using genDrawMonoGlyphs()\n",
                                 "using genDrawFontText()\n",
                                 "using genSolidFillRects()\n",
                                 "using genSolidFS()\n",
                                 "using genSolidZeroSegs()\n",
                                 "using genTiledFillRects()\n",
                                 "using genTiledFS()\n",
                                 "using genStippledFillRects()\n",
                                 "using genStippledFS()\n",
                                 "using genOpStippledFillRects()\n",
                                 "using genOpStippledFS()\n"};

Messages concat(Messages a, const Messages &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const OptionCase kOptionCases[] = {
    // The 65550's default mask speaks only of what it cannot do silently,
    // which is nothing, and leaves GCs unwrapped.
    {"jorra16Default", kJorra16, {}, {}, false},
    {"belki16Default", kBelki16, {}, {}, true},
    {"withPrefix", kBelki16, {"-opsflag", "0x1f"}, kFirstFive, true},
    {"withoutPrefix", kCordo8, {"-opsflag", "1f"}, kFirstFive, true},
    {"jorra16KeepsQuietBits",
     kJorra16,
     {"-opsflag", "1f"},
     {"using genCopyRect()\n", "using genDrawSolidRects()\n", "using CT(DrawImageFB)()\n"},
     true},
    {"jorra16MaskZero", kJorra16, {"-opsflag", "0"}, {}, true},
    {"readImage", kBelki8, {"-opsflag", "20"}, {"can't replace ReadImage()\n"}, true},
    {"noWrap65548", kBelki16, {"-opsflag", "80000"}, kNoWrap, false},
    {"everyBit65548", kBelki16, {"-opsflag", "fffff"}, concat(kEveryBit65548, kNoWrap), false},
    {"lastWordLeavesDefault", kBelki16, {"-opsflag"}, {}, true},
    // "-info" is taken as the mask word: not a number, so no mask and no report.
    {"infoConsumed", kCordo16, {"-opsflag", "-info"}, {}, true},
    {"notHexLeavesDefault", kJorra8, {"-opsflag", "zz"}, {}, false},
    {"noDash", kBelki16, {"opsflag", "1"}, {}, true},
    {"twoDashes", kBelki16, {"--opsflag", "1"}, {}, true},
    {"unknownWordsSkipped",
     kBelki16,
     {"-foo", "-opsflag", "2", "bar"},
     {"using genDrawSolidRects()\n"},
     true},
    {"swcurs", kBelki16, {"-swcurs"}, {}, true},
};

class CtOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(CtOptions, ApplyTheMaskWithItsMessagesInEveryGeneration) {
    const OptionCase &c = GetParam();
    harness::Screen s(c.build.driver, ctConfig(c.build), options(c.args));
    const int gcBefore = server::gcPrivateCount();
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::errorMessages(), c.messages);
    EXPECT_EQ(server::gcPrivateCount() - gcBefore, c.gcIndexTaken ? 1 : 0);
    // The 65548 and 6430x builds take the hardware cursor unless told not to.
    const bool hardware = c.build.chip != sim::CtChip::C65550 &&
                          std::find(c.args.begin(), c.args.end(), "-swcurs") == c.args.end();
    EXPECT_EQ(s.registered().swCursor, !hardware);
    EXPECT_EQ(s.pointer() != nullptr, hardware);
    // The records are the library's: a new generation applies the mask and
    // says so again.
    server::clearErrorMessages();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(server::errorMessages(), c.messages);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Words, CtOptions, ::testing::ValuesIn(kOptionCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the chip report ----

struct InfoCase {
    const char *name;
    Build build;
    const char *chip; // CHIP key, or null for the board's
    int memSize;      // 0: the board's
    std::vector<std::pair<std::string, int>> xr;
    Messages report;
};

void PrintTo(const InfoCase &c, std::ostream *os) {
    *os << c.name;
}

// The heap's words on a memory code the chip does not define.
const char kUnknown[] = "ctOnboardInit(): hardware memory configuration not recognized\n";
const char kAssumed[] = "ctOnboardInit(): assuming 1/2Mbyte installed\n";

const InfoCase kInfoCases[] = {
    {"c65550", kJorra16, nullptr, 0, {}, {"Chips 65550 Revision 01 ", "PCI Bus, 2MB VRAM\n"}},
    {"c65554VlBus1MB",
     kJorra8,
     "65554",
     0x100000,
     {{"XR08", 0}},
     {"Chips 65554 Revision 01 ", "VL Bus, 1MB VRAM\n"}},
    {"c65550Vendor",
     kJorra16,
     nullptr,
     0,
     {{"XR01", 0x11}},
     {"Warning: Chips 65550/65554 not detected (vendor_id=0x112c)\n"}},
    {"c65550Device",
     kJorra16,
     nullptr,
     0,
     {{"XR02", 0xE8}},
     {"Warning: Chips 65550/65554 not detected (device_id=0x00e8)\n"}},
    {"c65550DeviceHigh",
     kJorra16,
     nullptr,
     0,
     {{"XR03", 0x01}},
     {"Warning: Chips 65550/65554 not detected (device_id=0x01e0)\n"}},
    {"c65548",
     kBelki16,
     nullptr,
     0,
     {},
     {"Chips & Technologies 65548 Revision 1\n", "CPU Direct, 1MB VRAM\n"}},
    {"c65548Small",
     kBelki8,
     nullptr,
     0x40000,
     {{"XR01", 0x01}, {"XR00", 0xDC}},
     {"Chips & Technologies 65548 Revision 0\n", "Unknown Bus, 256KB VRAM\n"}},
    {"c65548Code3",
     kBelki16,
     nullptr,
     0,
     {{"XR0F", 0x03}},
     {"Chips & Technologies 65548 Revision 1\n", "CPU Direct, ?Mb VRAM\n", kUnknown, kAssumed}},
    {"c65548Missing",
     kBelki16,
     nullptr,
     0,
     {{"XR00", 0xDB}},
     {"Warning: C&T 65548 not detected (version register=0xdb)\n"}},
    {"c6430x",
     kCordo16,
     nullptr,
     0,
     {},
     {"Chips & Technologies 6430x Revision 1\n", "32-bit Local Bus, 1Mb VRAM, 32-bit Data Path\n"}},
    {"c6430xIsa",
     kCordo8,
     nullptr,
     0x80000,
     {{"XR01", 0x00}, {"XR00", 0xB7}},
     {"Chips & Technologies 6430x Revision 7\n", "16-bit ISA Bus, 512Kb VRAM, 16-bit Data Path\n"}},
    {"c6430xOther",
     kCordo16,
     nullptr,
     0x200000,
     {{"XR01", 0x02}},
     {"Chips & Technologies 6430x Revision 1\n", "?? Bus, 2Mb VRAM, 32-bit Data Path\n"}},
    {"c6430xCode3",
     kCordo16,
     nullptr,
     0,
     {{"XR04", 0x03}},
     {"Chips & Technologies 6430x Revision 1\n", "32-bit Local Bus, ?Mb VRAM, ~bit Data Path\n",
      kUnknown, kAssumed}},
    {"c6430xMissing",
     kCordo16,
     nullptr,
     0,
     {{"XR00", 0xA1}},
     {"Warning: C&T 6430x not detected (version register=0xa1)\n"}},
};

class CtInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(CtInfo, ReportsTheChipAndChangesNothing) {
    const InfoCase &c = GetParam();
    graf::Config cfg = ctConfig(c.build);
    if (c.chip)
        cfg.strings["CHIP"] = c.chip;
    if (c.memSize)
        cfg.ints["MEMSIZE"] = c.memSize;
    for (const auto &[key, value] : c.xr)
        cfg.ints[key] = value;
    harness::Screen s(c.build.driver, cfg, options({"-info"}));
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::errorMessages(), c.report);
}

INSTANTIATE_TEST_SUITE_P(Chips, CtInfo, ::testing::ValuesIn(kInfoCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- Init's failures ----

struct InitFailure {
    const char *name;
    Build build;
    void (*change)(graf::Config &);
    const char *message; // the one ErrorF line
};

void PrintTo(const InitFailure &c, std::ostream *os) {
    *os << c.name;
}

const char kPixelInfo[] = "Init(): can't find pixel info in grafinfo file.\n";
const char kMissingMemory[] = "Init(): Missing MEMORY in grafinfo file.\n";
const char kNoPatternRoom[] = "Init(): no room in video memory for the plane-mask patterns.\n";

const InitFailure kInitFailures[] = {
    {"noWidth", kJorra16, [](graf::Config &c) { c.ints.erase("PIXWIDTH"); }, kPixelInfo},
    {"noHeight", kBelki8, [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); }, kPixelInfo},
    {"noDepth", kCordo16, [](graf::Config &c) { c.ints.erase("DEPTH"); }, kPixelInfo},
    {"zeroWidth", kCordo8, [](graf::Config &c) { c.ints["PIXWIDTH"] = 0; }, kPixelInfo},
    {"depth24In16", kJorra16, [](graf::Config &c) { c.ints["DEPTH"] = 24; },
     "Init(): 24-bit depth not supported.\n"},
    {"depth16In8", kBelki8, [](graf::Config &c) { c.ints["DEPTH"] = 16; },
     "Init(): 16-bit depth not supported.\n"},
    {"depth8In16", kCordo16, [](graf::Config &c) { c.ints["DEPTH"] = 8; },
     "Init(): 8-bit depth not supported.\n"},
    {"noMemory", kBelki16, [](graf::Config &c) { c.areas.clear(); }, kMissingMemory},
    {"noMemory65550", kJorra8, [](graf::Config &c) { c.areas.clear(); }, kMissingMemory},
    // The engine's registers and host port lie beyond 4 MB of the aperture.
    {"short65550Area", kJorra16, [](graf::Config &c) { c.areas[0].length = 0x400000; },
     kMissingMemory},
    // The plane-mask patterns take a chunk 64 pixels wide (8 at 16 bits),
    // which the heap refuses on a narrower line.
    {"narrow8", kBelki8, [](graf::Config &c) { c.ints["PIXWIDTH"] = 8; }, kNoPatternRoom},
    {"narrow16", kCordo16, [](graf::Config &c) { c.ints["PIXWIDTH"] = 4; }, kNoPatternRoom},
    // Pitch, width and height fields hold 8191 (65550) or 4095 (others):
    // a 4096-pixel line at 16 bits is 8192 bytes.
    {"lineBeyondPitch65550", kJorra16,
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 4096;
         c.ints["PIXHEIGHT"] = 40;
     },
     "Init(): 4096x40 screen is too large for the BitBlt engine.\n"},
    {"lineBeyondPitch65548", kBelki8,
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 4096;
         c.ints["PIXHEIGHT"] = 40;
     },
     "Init(): 4096x40 screen is too large for the BitBlt engine.\n"},
    {"tallerThanEngine", kCordo8,
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 64;
         c.ints["PIXHEIGHT"] = 4096;
     },
     "Init(): 64x4096 screen is too large for the BitBlt engine.\n"},
};

class CtInitFailure : public ::testing::TestWithParam<InitFailure> {};

TEST_P(CtInitFailure, ReturnsZeroWithItsMessageAndLeavesNothing) {
    const InitFailure &c = GetParam();
    graf::Config cfg = ctConfig(c.build);
    c.change(cfg);
    harness::Screen s(c.build.driver, cfg, options());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), Messages{c.message});
    EXPECT_TRUE(s.fatalMessage().empty());
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boards, CtInitFailure, ::testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(CtInit, AFailedPrivateAllocationFailsInit) {
    harness::Screen s("belki16", ctConfig(kBelki16), options());
    ASSERT_TRUE(s.probe());
    server::failAllocationAfter(0);
    EXPECT_FALSE(s.init());
    server::failAllocationAfter(-1);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// ---- visuals and what Init registers ----

class CtScreen : public ::testing::TestWithParam<Build> {};

TEST_P(CtScreen, OffersItsVisualAndRegistersItsRecords) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, ctConfig(b), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    ScreenPtr screen = s.screen();
    ASSERT_EQ(screen->numVisuals, 1);
    const VisualRec &v = screen->visuals[0];
    EXPECT_EQ(v.nplanes, b.depth);
    EXPECT_EQ(v.class_, b.depth == 8 ? PseudoColor : TrueColor);
    EXPECT_EQ(v.redMask, b.depth == 16 ? 0xF800u : 0u);
    ASSERT_NE(s.sysInfo(), nullptr);
    EXPECT_EQ(s.sysInfo()->sysInfoFlag3, 0);
    EXPECT_EQ(s.sysInfo()->sysInfoValue, 5.0f);
    EXPECT_TRUE(s.zeroSegsForm());
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().swCursor, b.chip == sim::CtChip::C65550);
    EXPECT_EQ(s.nfb()->LoadColormap == (LoadColormapProc)genLoadColormap, b.depth == 8);
    // The window record is the build's, and what it draws is right.
    s.fillRandom(3);
    GCPtr gc = s.createGC({.alu = GXxor, .fg = 0x5A5A});
    s.fillRects(gc, {{3, 2, 40, 20}});
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Builds, CtScreen, ::testing::ValuesIn(kBuilds), buildName);

struct RgbCase {
    int rgbBits; // -1: no key
    int visualBits;
};

class CtRgbBits : public ::testing::TestWithParam<RgbCase> {};

// RGBBITS outside 1-16 would make the DAC shift negative: it counts as absent.
TEST_P(CtRgbBits, SetsTheVisualsBitsPerRgbValue) {
    const RgbCase &c = GetParam();
    graf::Config cfg = ctConfig(kCordo8);
    if (c.rgbBits >= 0)
        cfg.ints["RGBBITS"] = c.rgbBits;
    harness::Screen s("cordo8", cfg, options());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.screen()->visuals[0].bitsPerRGBValue, c.visualBits);
}

INSTANTIATE_TEST_SUITE_P(Values, CtRgbBits,
                         ::testing::Values(RgbCase{-1, 6}, RgbCase{6, 6}, RgbCase{8, 8},
                                           RgbCase{0, 6}, RgbCase{17, 6}, RgbCase{16, 16}),
                         [](const auto &info) {
                             return info.param.rgbBits < 0
                                        ? std::string("absent")
                                        : "bits" + std::to_string(info.param.rgbBits);
                         });

// ---- the hardware set-up ----

struct HwCase {
    Build build;
    std::vector<std::pair<int, int>> writes; // after the mode procedure's
};

void PrintTo(const HwCase &c, std::ostream *os) {
    *os << c.build.driver;
}

class CtInitHW : public ::testing::TestWithParam<HwCase> {};

TEST_P(CtInitHW, SetsTheEngineStateAfterTheModeProcedure) {
    const HwCase &c = GetParam();
    graf::Config cfg = ctConfig(c.build);
    cfg.areas[0].physBase = 0xE4500000;
    harness::Screen s(c.build.driver, cfg, options());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(xrWrites(s), c.writes);
    // A console switch sets the same state again, with no wait on the way in.
    ctOf(s).clearXrWrites();
    s.setGraphics();
    std::vector<std::pair<int, int>> again = xrWrites(s);
    std::vector<std::pair<int, int>> expected(c.writes.begin(), c.writes.begin() + 2);
    EXPECT_EQ(again, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Chips, CtInitHW,
    ::testing::Values(HwCase{kJorra16, {{0x20, 0x10}, {0x20, 0x10}}},
                      HwCase{kBelki16, {{0x40, 0x02}, {0x03, 0x02}, {0x07, 0xF4}, {0x08, 0x45}}},
                      HwCase{kCordo8, {{0x40, 0x02}, {0x03, 0x02}, {0x07, 0xF4}}}),
    [](const auto &info) { return std::string(info.param.build.driver); });

TEST(CtInitHW, InitOptionEndsTheServerAfterTheModeSet) {
    harness::Screen s("belki16", ctConfig(kBelki16), options({"-init"}));
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Intentional termination\n");
    EXPECT_EQ(xrWrites(s).size(), 4u);
}

// "-text" restores the console and ends the server with status 0.
TEST(CtInitDeathTest, TextOptionExitsWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            harness::Screen s("jorra16", ctConfig(kJorra16), options({"-text"}));
            s.probe();
            s.init();
            std::fprintf(stderr, "Init returned\n");
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- the engine's waits ----

struct WaitCase {
    const char *name;
    Build build;
    uint64_t busyReads;
    bool timesOut;
};

void PrintTo(const WaitCase &c, std::ostream *os) {
    *os << c.name;
}

class CtWaitBound : public ::testing::TestWithParam<WaitCase> {};

// SetText waits as every drawing routine does: 0x1000001 busy readings (the
// count reaching 0x1000000 before the last) pass; one more gives up, runs
// the recovery wait, which writes to the frame buffer on each busy reading
// (the busy engine's guard reports the first), and ends the server.
TEST_P(CtWaitBound, PassesUpToItsBoundThenTimesOut) {
    const WaitCase &c = GetParam();
    std::vector<std::string> reported;
    harness::Options o;
    o.reporter = [&](const std::string &m) { reported.push_back(m); };
    harness::Screen s(c.build.driver, ctConfig(c.build), o);
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().setPollLimit(0x10000000);
    s.machine().setTracing(false);
    sim::CtAdapter &a = ctOf(s);
    uint8_t *fb = a.vram()->data();
    std::memset(fb, 0xA5, 4);
    const uint64_t recovery = 5;
    a.stayBusy(c.busyReads + (c.timesOut ? recovery : 0));
    const uint64_t before = a.busyStatusReads();
    s.setText();
    if (c.timesOut) {
        EXPECT_EQ(s.fatalMessage(), "BitBlt engine timeout\n");
        EXPECT_EQ(a.busyStatusReads() - before, c.busyReads + recovery);
        uint32_t first;
        std::memcpy(&first, fb, 4);
        EXPECT_EQ(first, 0u) << "the recovery wait writes 0 to the frame buffer's first word";
        ASSERT_EQ(reported.size(), 2u);
        EXPECT_NE(reported[0].find("processor access to video memory while the engine is busy"),
                  std::string::npos)
            << reported[0];
    } else {
        EXPECT_TRUE(s.fatalMessage().empty());
        EXPECT_EQ(a.busyStatusReads() - before, c.busyReads);
        EXPECT_TRUE(reported.empty()) << reported[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CtWaitBound,
                         ::testing::Values(WaitCase{"xr20Passes", kJorra16, 0x1000001, false},
                                           WaitCase{"xr20TimesOut", kJorra16, 0x1000002, true},
                                           WaitCase{"dr04Passes", kBelki8, 0x1000001, false},
                                           WaitCase{"dr04TimesOut", kBelki8, 0x1000002, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the console switch ----

// Busy status readings that come after the first access of `what` (an XR
// data write or a CRTC write of the mode procedure), and before it.
struct WaitOrder {
    uint64_t busyBefore = 0, busyAfter = 0;
};

WaitOrder waitOrder(harness::Screen &s, bool br) {
    WaitOrder o;
    bool reached = false;
    uint8_t xrIndex = 0;
    for (const sim::Access &a : s.machine().trace()) {
        if (a.kind == sim::Access::PortOut && a.address == 0x3D6)
            xrIndex = uint8_t(a.value);
        bool busyRead =
            br ? a.kind == sim::Access::PortIn && a.address == 0x3D7 && xrIndex == 0x20 &&
                     (a.value & 1)
               : a.kind == sim::Access::PortIn && a.address == 0x93D0 && (a.value & 0x100000);
        if (busyRead)
            (reached ? o.busyAfter : o.busyBefore)++;
        if (a.kind == sim::Access::PortOut && (a.address == 0x3D7 || a.address == 0x3D4))
            reached = true;
    }
    return o;
}

class CtSwitch : public ::testing::TestWithParam<Build> {};

TEST_P(CtSwitch, SetTextWaitsFirstAndSetGraphicsDoesNot) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, ctConfig(b), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::CtAdapter &a = ctOf(s);

    a.stayBusy(3);
    s.machine().clearTrace();
    a.clearXrWrites();
    EXPECT_TRUE(s.setText());
    WaitOrder text = waitOrder(s, is65550(b));
    EXPECT_EQ(text.busyBefore, 3u);
    EXPECT_EQ(text.busyAfter, 0u);
    std::vector<std::pair<int, int>> reset = xrWrites(s);
    EXPECT_EQ(reset, (is65550(b) ? std::vector<std::pair<int, int>>{{0x20, 0x12}}
                                 : std::vector<std::pair<int, int>>{{0x03, 0x00}}));

    a.stayBusy(3);
    const uint64_t before = a.statusReads();
    s.setGraphics();
    // The 65550's read-modify-writes of XR20 read it twice; nothing polls.
    EXPECT_EQ(a.statusReads() - before, is65550(b) ? 2u : 0u);
    a.drain();
}

TEST_P(CtSwitch, RestoreGStateReloadsTheColormap) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, ctConfig(b), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.installColormap(s.defaultColormap());
    server::clearGenCalls();
    s.switchAway();
    s.switchBack();
    std::vector<server::GenCall> loads = server::genCallsOf("genLoadColormap");
    if (b.depth == 8) {
        ASSERT_EQ(loads.size(), 1u);
        EXPECT_EQ(loads[0].args[0], server::arg(s.defaultColormap()));
    } else {
        EXPECT_TRUE(loads.empty());
    }
    // Drawing goes on after the switch.
    GCPtr gc = s.createGC({.fg = 7});
    s.fillRects(gc, {{0, 0, 9, 9}});
    EXPECT_SCREEN_SAME(s);
}

TEST_P(CtSwitch, BlankScreenUsesTheAttributeController) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, ctConfig(b), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::vga::AttributeController &attr = ctOf(s).vga().attr;
    // An index write leaves the flip-flop expecting data: the driver must
    // reset it before its own index write.
    outb(0x3C0, 0x11);
    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_FALSE(attr.screenEnabled());
    outb(0x3C0, 0x11);
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_TRUE(attr.screenEnabled());
}

INSTANTIATE_TEST_SUITE_P(Builds, CtSwitch, ::testing::Values(kJorra16, kBelki8, kCordo16),
                         buildName);

} // namespace
