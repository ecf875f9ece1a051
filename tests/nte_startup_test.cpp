// The nte family's start-up across its nine builds: the records it hands
// over, the OffScreenArea from the keys or the video BIOS and what is laid
// out in it, the cursor choice, the memory and line-length codes, and every
// failure of Init with its message, on the example boards and the s3 model.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

bool errorLogged(const std::string &message) {
    for (const std::string &m : server::errorMessages())
        if (m == message)
            return true;
    return false;
}

// ---------------------------------------------------------------- records --

class NteRecords : public testing::TestWithParam<Build> {};

TEST_P(NteRecords, HandsOverItsRecordsAndLaysOutTheExampleBoard) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    EXPECT_STREQ(s.info()->driverName, b.name);
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();

    const server::PixmapFormat &f = server::pixmapFormats().back();
    EXPECT_EQ(f.depth, b.depth);
    EXPECT_EQ(f.bitsPerPixel, b.bitsPerPixel);
    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.class_, b.depth == 8 ? PseudoColor : TrueColor);
    EXPECT_EQ(v.nplanes, b.depth);
    EXPECT_EQ(v.bitsPerRGBValue, b.depth == 16 ? 6 : b.depth == 24 ? 8 : 6); // RGBBITS default

    SysInfo *si = s.sysInfo();
    ASSERT_NE(si, nullptr);
    EXPECT_TRUE(si->SetGraphics && si->SetText && si->SaveGState && si->RestoreGState &&
                si->FreeScreen);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().optionFlags, 0); // single-segment ZeroSeg
    nfbScreenPrivate *nfb = s.nfb();
    EXPECT_EQ(nfb->driverFlag, 1);
    EXPECT_EQ(reinterpret_cast<void *>(nfb->SetColor) == reinterpret_cast<void *>(NoopDDA),
              b.depth != 8);
    EXPECT_EQ(reinterpret_cast<void *>(nfb->LoadColormap),
              b.depth == 8 ? reinterpret_cast<void *>(genLoadColormap)
                           : reinterpret_cast<void *>(NoopDDA));

    // BIOS: 1024 x 1024 lines; the bottom strip wins over the empty right one.
    EXPECT_TRUE(ran("VideoBIOS"));
    Private p = privateOf(s, b.variant);
    EXPECT_EQ((std::vector<int>{p.osX, p.osY, p.osWidth, p.osHeight}),
              (std::vector<int>{0, 768, 1024, 256}));
    EXPECT_EQ(p.fontSlotCount, 16); // 512 cells: two fonts a plane, at most 16
    EXPECT_EQ(p.scratchY, 896);
    EXPECT_EQ(p.clipRight, 1023);
    EXPECT_EQ(p.clipBottom, 1023);
    EXPECT_EQ(p.crtcIndexPort, 0x3D4);
    sim::S3Adapter &a = board(s);
    if (b.depth == 8) {
        EXPECT_EQ(s.registered().pointerFuncs != nullptr, true);
        EXPECT_EQ(p.cursorLine, 1023);
        EXPECT_EQ(p.scratchHeight, 127);
        EXPECT_EQ(a.cursor().imageOffset(), 1023u * 1024);
    } else {
        EXPECT_TRUE(s.registered().swCursor);
        EXPECT_EQ(p.scratchHeight, 128);
    }
    if (b.variant == Variant::Pravo) {
        EXPECT_EQ(p.pitch, 1024);
    }
    // The BIOS relocked the registers; Init opened them again.
    EXPECT_EQ(a.cr(0x38), 0x48);
    EXPECT_EQ(a.cr(0x39), 0xAD);
    EXPECT_TRUE(a.enginePortsOn());
    // RestoreGState: scissors over the full extent.
    const sim::S3Regs &r = a.engine().regs();
    EXPECT_EQ(r.scissorRight, 1023);
    EXPECT_EQ(r.scissorBottom, 1023);

    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Builds, NteRecords, testing::ValuesIn(kBuilds), buildName);

TEST(NteRecords, RgbBitsGivingNoShiftCountAsSix) {
    for (auto [given, taken] : {std::pair{8, 8}, {16, 16}, {17, 6}, {0, 6}, {-3, 6}}) {
        SCOPED_TRACE(given);
        server::clearErrorMessages();
        graf::Config c = exampleConfig(build("skerl8"));
        c.ints["RGBBITS"] = given;
        harness::Screen s("skerl8", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.screen()->visuals[0].bitsPerRGBValue, taken);
        EXPECT_EQ(privateOf(s, Variant::Skerl).dacShift, 16 - taken);
        s.freeScreen();
    }
}

// ------------------------------------------------------------ OS keys --

TEST(NteOffScreen, KeysGiveTheAreaWithoutTheBios) {
    graf::Config c = harness::loadConfig("s3/nte/skerl-keys.graf");
    harness::Screen s("skerl8", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_FALSE(ran("VideoBIOS"));
    Private p = privateOf(s, Variant::Skerl);
    EXPECT_EQ((std::vector<int>{p.osX, p.osY, p.osWidth, p.osHeight}),
              (std::vector<int>{0, 768, 1024, 255}));
    // HWCURSORY: the cursor's own line, the ScratchArea keeps all its lines.
    EXPECT_EQ(p.cursorLine, 1023);
    EXPECT_EQ(p.scratchY, 768 + 127);
    EXPECT_EQ(p.scratchHeight, 127);
    EXPECT_EQ(p.clipBottom, 1022);
    EXPECT_EQ(board(s).cursor().imageOffset(), 1023u * 1024);
    s.freeScreen();
}

// One cursor choice: the keys that differ from the 8-bit example board.
struct CursorCase {
    const char *label;
    const char *build;
    std::vector<std::pair<std::string, int>> keys;
    bool hardware;
    int cursorLine;    // when hardware
    int scratchHeight; // what the ScratchArea keeps
};

void PrintTo(const CursorCase &c, std::ostream *os) {
    *os << c.label;
}

class NteCursorChoice : public testing::TestWithParam<CursorCase> {};

TEST_P(NteCursorChoice, HardwareOrSoftware) {
    const CursorCase &k = GetParam();
    const Build &b = build(k.build);
    graf::Config c = exampleConfig(b);
    for (const auto &[key, value] : k.keys)
        c.ints[key] = value;
    harness::Screen s(b.name, c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.registered().swCursor, !k.hardware);
    EXPECT_EQ(s.registered().pointerFuncs != nullptr, k.hardware);
    Private p = privateOf(s, b.variant);
    if (k.hardware) {
        EXPECT_EQ(p.cursorLine, k.cursorLine);
    }
    EXPECT_EQ(p.scratchHeight, k.scratchHeight);
    s.freeScreen();
}

const std::vector<std::pair<std::string, int>> kOs(int x, int y, int w, int h) {
    return {{"OSX", x}, {"OSY", y}, {"OSWIDTH", w}, {"OSHEIGHT", h}};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NteCursorChoice,
    testing::Values(
        CursorCase{"Default", "tunga8", {}, true, 1023, 127},
        CursorCase{"OsxNotZero", "pravo8", kOs(16, 768, 1008, 256), false, 0, 128},
        CursorCase{"NarrowArea", "pravo8", kOs(0, 768, 1000, 256), false, 0, 128},
        CursorCase{"SixteenBits", "skerl16", {}, false, 0, 128},
        CursorCase{"TurnedOff", "skerl8", {{"S3HWCURSOR", 0}}, false, 0, 128},
        CursorCase{"HwCursorYAtSixteenBits", "pravo16", {{"HWCURSORY", 1000}}, true, 1000, 128},
        // Too few lines for a font store: the ScratchArea is the whole area.
        CursorCase{"OneLineArea", "pravo8", kOs(0, 768, 1024, 1), true, 768, 0},
        // No line at all cannot give one to the cursor.
        CursorCase{"NoLines", "pravo8", kOs(0, 768, 1024, 0), false, 0, 0}),
    [](const testing::TestParamInfo<CursorCase> &info) { return info.param.label; });

// ------------------------------------------------------- the BIOS query --

// One answer of the video BIOS on the 8-bit (or given) example board.
struct BiosCase {
    const char *label;
    const char *build;
    std::string answer; // procedure body of "VideoBIOS"
    std::vector<std::pair<std::string, int>> keys;
    std::vector<int> area; // osX, osY, osWidth, osHeight; empty for none
    bool failedMessage;
};

void PrintTo(const BiosCase &c, std::ostream *os) {
    *os << c.label;
}

std::string answer(int eax, int ebx, int ecx, int edx) {
    return "eax = " + std::to_string(eax) + "\nebx = " + std::to_string(ebx) +
           "\necx = " + std::to_string(ecx) + "\nedx = " + std::to_string(edx) + "\n";
}

class NteBios : public testing::TestWithParam<BiosCase> {};

TEST_P(NteBios, AnswerGivesTheArea) {
    const BiosCase &k = GetParam();
    const Build &b = build(k.build);
    graf::Config c = exampleConfig(b);
    for (const auto &[key, value] : k.keys)
        c.ints[key] = value;
    graf::Builder g;
    g.config() = c;
    if (k.answer.empty())
        g.without("VideoBIOS");
    else
        g.procedure("VideoBIOS", k.answer);
    harness::Screen s(b.name, g.build(), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    Private p = privateOf(s, b.variant);
    std::vector<int> got = {p.osX, p.osY, p.osWidth, p.osHeight};
    const std::vector<int> none = {0, 0, 0, 0};
    EXPECT_EQ(got, k.area.empty() ? none : k.area);
    EXPECT_EQ(errorLogged("nte: BIOS scanline size query failed, continuing...\n"),
              k.failedMessage);
    if (k.area.empty()) {
        EXPECT_EQ(p.fontSlotCount, 0);
        EXPECT_TRUE(s.registered().swCursor);
        EXPECT_EQ(p.clipRight, s.width() - 1);
        EXPECT_EQ(p.clipBottom, s.height() - 1);
    }
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NteBios,
    testing::Values(BiosCase{"AhNotZero", "pravo8", answer(0x014F, 1024, 1024, 1024), {}, {}, true},
                    BiosCase{"NoVideoBios", "skerl8", "", {}, {}, true},
                    BiosCase{"NoPixels", "tunga8", answer(0x4F, 1024, 0, 1024), {}, {}, false},
                    // Right strip 256 x 960 and bottom strip 1280 x 192 hold the same
                    // 245,760 pixels.
                    BiosCase{"EqualAreasTakeTheBottom",
                             "pravo8",
                             answer(0x4F, 1280, 1280, 960),
                             {},
                             {0, 768, 1280, 192},
                             false},
                    BiosCase{"RightStripLarger",
                             "pravo8",
                             answer(0x4F, 2048, 2048, 800),
                             {},
                             {1024, 0, 1024, 800},
                             false},
                    // Both sides of the right strip negative: their product is positive,
                    // the strip still holds nothing.
                    BiosCase{"NegativeSides", "pravo8", answer(0x4F, 512, 512, 100), {}, {}, false},
                    BiosCase{"AreaPastAWord",
                             "skerl8",
                             answer(0x4F, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF),
                             {},
                             {},
                             false},
                    // No more than a line's worth: 1024 pixels of one line.
                    BiosCase{"OneLine", "skerl8", answer(0x4F, 1024, 1024, 769), {}, {}, false},
                    // Lines past the engine's 12-bit coordinates are cut at 4096.
                    BiosCase{"LinesPastTheCoordinates",
                             "skerl8",
                             answer(0x4F, 1024, 1024, 6000),
                             {},
                             {0, 768, 1024, 4096 - 768},
                             false},
                    // VESABIOS6BUG recounts from the bytes per line and the memory.
                    BiosCase{"BiosBugSixteenBits",
                             "skerl16",
                             answer(0x4F, 2048, 77, 5),
                             {{"VESABIOS6BUG", 1}},
                             {0, 768, 1024, 256},
                             false},
                    BiosCase{"BiosBugThirtyTwoBitPixels",
                             "tunga24",
                             answer(0x4F, 4096, 77, 5),
                             {{"VESABIOS6BUG", 1}},
                             {0, 768, 1024, 256},
                             false},
                    BiosCase{"BiosBugDepthBelowEight",
                             "pravo8",
                             answer(0x4F, 1024, 1024, 1024),
                             {{"VESABIOS6BUG", 1}, {"DEPTH", 4}},
                             {},
                             false},
                    BiosCase{"BiosBugNoPixelsPerLine",
                             "skerl16",
                             answer(0x4F, 1, 1024, 1024),
                             {{"VESABIOS6BUG", 1}},
                             {},
                             false}),
    [](const testing::TestParamInfo<BiosCase> &info) { return info.param.label; });

// ------------------------------------------------------ the memory code --

TEST(NteMemoryCode, EachCodeGivesItsSizeToTheBiosRecount) {
    struct Case {
        uint8_t code;
        int lines; // 1024 bytes a line at 8 bits, less the 768 visible
    };
    for (Case k :
         {Case{0x00, 4096 - 768}, {0x40, 3072 - 768}, {0x80, 2048 - 768}, {0xC0, 1024 - 768}}) {
        SCOPED_TRACE(int(k.code));
        server::clearErrorMessages();
        graf::Config c = exampleConfig(build("skerl8"));
        c.ints["MEMSIZE"] = 0x400000;
        c.ints["VESABIOS6BUG"] = 1;
        afterModeSet(c, "out8 0x3D4, 0x36\nout8 0x3D5, " + std::to_string(k.code));
        harness::Screen s("skerl8", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(privateOf(s, Variant::Skerl).osHeight, k.lines);
        s.freeScreen();
    }
}

TEST(NteMemoryCode, HalfAMegabyteIsToldAndUsed) {
    graf::Config c = exampleConfig(build("pravo8"));
    c.ints["MEMSIZE"] = 0x80000;
    c.ints["PIXWIDTH"] = 640;
    c.ints["PIXHEIGHT"] = 480;
    harness::Screen s("pravo8", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    const std::vector<std::string> want = {"nte: Card says it only has 0.5 meg of memory!\n",
                                           "Half meg cards have not been tested with this ",
                                           "driver, let's see what happens.\n"};
    EXPECT_EQ(server::errorMessages(), want);
    Private p = privateOf(s, Variant::Pravo);
    // 640-byte lines: 819 of them in 512 KB.
    EXPECT_EQ((std::vector<int>{p.osX, p.osY, p.osWidth, p.osHeight}),
              (std::vector<int>{0, 480, 640, 339}));
    EXPECT_EQ(p.pitch, 640);
    s.freeScreen();
}

TEST(NteMemoryCode, CodesWithoutASizeEndTheServer) {
    for (uint8_t code : {0x20, 0x60, 0xA0}) {
        SCOPED_TRACE(int(code));
        server::clearErrorMessages();
        graf::Config c = exampleConfig(build("tunga16"));
        afterModeSet(c, "out8 0x3D4, 0x36\nout8 0x3D5, " + std::to_string(code | 0x1F));
        harness::Screen s("tunga16", c);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_EQ(s.fatalMessage(), "nte: Unable to determine card memory size!\n");
        char conf[40];
        std::snprintf(conf, sizeof conf, "nte: Invalid confg_reg=%x\n", code | 0x1F);
        EXPECT_EQ(server::errorMessages(), std::vector<std::string>{conf});
    }
}

// ------------------------------------------------------- the CR50 code --

TEST(NteLineLength, Cr50CodesGiveThePitchOfPravo) {
    struct Case {
        int code, pitch;
    };
    for (Case k :
         {Case{0x00, 1024}, {0x01, 1152}, {0x40, 640}, {0x80, 800}, {0x81, 1600}, {0xC0, 1280}}) {
        SCOPED_TRACE(k.code);
        server::clearErrorMessages();
        graf::Config c = exampleConfig(build("pravo8"));
        c.ints["PIXWIDTH"] = 640;
        c.ints["PIXHEIGHT"] = 480;
        afterModeSet(c, "out8 0x3D4, 0x50\nout8 0x3D5, " + std::to_string(k.code));
        harness::Screen s("pravo8", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(privateOf(s, Variant::Pravo).pitch, k.pitch);
        s.freeScreen();
    }
}

TEST(NteLineLength, CodesWithoutALengthAreFatalInPravoOnly) {
    for (const char *name : {"pravo8", "skerl8", "tunga8"}) {
        for (int code : {0x41, 0xC1}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(code));
            server::clearErrorMessages();
            graf::Config c = exampleConfig(build(name));
            afterModeSet(c, "out8 0x3D4, 0x50\nout8 0x3D5, " + std::to_string(code));
            // The engine without a line length refuses every command; only
            // what Init makes of the code counts here.
            harness::Screen s(name, c, {.reporter = [](const std::string &) {}});
            ASSERT_TRUE(s.probe());
            Bool ok = s.init();
            char invalid[48];
            std::snprintf(invalid, sizeof invalid, "nte: invalid system control register=%x\n",
                          code);
            if (build(name).variant == Variant::Pravo) {
                EXPECT_FALSE(ok);
                EXPECT_EQ(s.fatalMessage(), "nte: Failed to read screen pixel size\n");
                EXPECT_TRUE(errorLogged(invalid));
            } else {
                EXPECT_TRUE(ok);
                EXPECT_TRUE(s.fatalMessage().empty());
                EXPECT_FALSE(errorLogged(invalid));
                s.freeScreen();
            }
        }
    }
}

// ---------------------------------------------------------------- failures --

struct FailureCase {
    const char *label;
    const char *build;
    std::function<void(graf::Builder &)> change;
    const char *message; // ErrorF, or null for none
};

void PrintTo(const FailureCase &c, std::ostream *os) {
    *os << c.label;
}

class NteInitFailure : public testing::TestWithParam<FailureCase> {};

const char kPixelInfo[] = "NTE(): can't find pixel info in grafinfo file.\n";
const char kMemory[] = "nte: Missing MEMORY in grafinfo file.\n";
const char kNoModeProcedure[] = "grafinfo file needs PROCEDURE SetGraphics\n";

TEST_P(NteInitFailure, ReturnsZeroWithItsMessageAndKeepsNothing) {
    const FailureCase &k = GetParam();
    const Build &b = build(k.build);
    graf::Builder g;
    g.config() = exampleConfig(b);
    k.change(g);
    harness::Screen s(b.name, g.build());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(s.fatalMessage().empty()) << s.fatalMessage();
    if (k.message)
        EXPECT_EQ(server::errorMessages(), std::vector<std::string>{k.message});
    else
        EXPECT_TRUE(server::errorMessages().empty());
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NteInitFailure,
    testing::Values(
        FailureCase{"NoWidth", "pravo8", [](graf::Builder &g) { g.without("PIXWIDTH"); },
                    kPixelInfo},
        FailureCase{"NoHeight", "skerl16", [](graf::Builder &g) { g.without("PIXHEIGHT"); },
                    kPixelInfo},
        FailureCase{"NoDepth", "tunga24", [](graf::Builder &g) { g.without("DEPTH"); }, kPixelInfo},
        FailureCase{"ZeroWidth", "skerl8", [](graf::Builder &g) { g.integer("PIXWIDTH", 0); },
                    kPixelInfo},
        FailureCase{"NegativeHeight", "skerl8",
                    [](graf::Builder &g) { g.integer("PIXHEIGHT", -768); }, kPixelInfo},
        FailureCase{"WidthPastTheCoordinates", "tunga8",
                    [](graf::Builder &g) { g.integer("PIXWIDTH", 4097); }, kPixelInfo},
        FailureCase{"DepthOfAnotherBuild", "pravo16",
                    [](graf::Builder &g) { g.integer("DEPTH", 24); }, kPixelInfo},
        FailureCase{"NoMemoryPravo", "pravo24", [](graf::Builder &g) { g.without("MEMORY"); },
                    kMemory},
        FailureCase{"NoMemoryTunga", "tunga8", [](graf::Builder &g) { g.without("MEMORY"); },
                    kMemory},
        // The window's registers reach to 0xBEE8: half a window is too short.
        FailureCase{"ShortWindow", "tunga16",
                    [](graf::Builder &g) {
                        g.without("MEMORY").without("MEMORYMAP").memory("", 0xA0000, 0x8000);
                    },
                    kMemory},
        // Images are read from the frame buffer: it must hold the screen.
        FailureCase{"ShortFrameBuffer", "pravo8",
                    [](graf::Builder &g) { g.without("MEMORY").memory("", 0xE0000000, 0x80000); },
                    kMemory},
        // Without the mode the engine's ports are off: nothing past the
        // procedure may run.
        FailureCase{"NoModeProcedure", "tunga8", [](graf::Builder &g) { g.without("SetGraphics"); },
                    kNoModeProcedure},
        FailureCase{"FailingModeProcedure", "pravo24",
                    [](graf::Builder &g) { g.procedure("SetGraphics", "fail\n"); },
                    kNoModeProcedure},
        // 1025 lines of 1024 pixels at 8 bits, one line more than
        // 1 MB holds: the screen clear would run past video memory.
        FailureCase{"ScreenTallerThanMemory", "skerl8",
                    [](graf::Builder &g) { g.integer("PIXHEIGHT", 1025); },
                    "nte: a screen of 1024 x 1025 on lines of 1024 pixels needs more than the "
                    "1048576 bytes of video memory.\n"},
        FailureCase{"ScreenInit", "skerl8", [](graf::Builder &) { server::failScreenInit(true); },
                    nullptr},
        FailureCase{"AddVisual", "pravo16", [](graf::Builder &) { server::failAddVisual(true); },
                    nullptr},
        FailureCase{"Colormap", "tunga8", [](graf::Builder &) { server::failCreateColormap(true); },
                    nullptr},
        FailureCase{"PrivateIndex", "pravo8",
                    [](graf::Builder &) { server::failScreenPrivateIndex(true); }, nullptr},
        FailureCase{"PrivateMemory", "skerl24",
                    [](graf::Builder &) { server::failAllocationAfter(0); }, nullptr}),
    [](const testing::TestParamInfo<FailureCase> &info) { return info.param.label; });

TEST(NteInitFailure, RefusedPrivateIndexIsAskedForAgain) {
    const Build &b = build("skerl8");
    {
        harness::Screen s(b.name, exampleConfig(b));
        server::failScreenPrivateIndex(true);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
    }
    server::failScreenPrivateIndex(false);
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(privateOf(s, b.variant).width, 1024);
    s.freeScreen();
}

TEST(NteInitFailure, RefusedHardwareCursorEndsTheServer) {
    const Build &b = build("pravo8");
    harness::Screen s(b.name, exampleConfig(b));
    server::setPointerResult(0);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
}

// -------------------------------------------------------------- generations --

TEST(NteGenerations, EachGenerationTakesAnIndexAndFreeScreenGivesEverythingBack) {
    const Build &b = build("tunga8");
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    int first = privateIndex();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(privateIndex(), first + 1);
    EXPECT_EQ(privateOf(s, b.variant).fontSlotCount, 16);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
