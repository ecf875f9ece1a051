// savage start-up and screen state: Init's keys, areas and failures, the
// mode set (CR58, CR66, the engine control bit, the plane mask primed),
// the switch to text and back, the bounded wait on a hung engine, life over
// generations; and the command port's strictness on sequences the driver
// must never send.
#include "savage_fixture.h"

namespace savagetest {
namespace {

harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

struct InitFailure {
    const char *name;
    void (*change)(graf::Config &);
    std::string message;
};

const InitFailure kInitFailures[] = {
    // STATUSMASK is read before the pixel keys: with both gone only its
    // message comes.
    {"NoStatusMaskBeforeAnyPixelKey",
     [](graf::Config &c) {
         c.ints.erase("STATUSMASK");
         c.ints.erase("PIXWIDTH");
     },
     "savage: can't find STATUSMASK info in grafinfo file.\n"},
    {"NoPixwidth", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     "savage: can't find pixel info in grafinfo file.\n"},
    {"NoDepth", [](graf::Config &c) { c.ints.erase("DEPTH"); },
     "savage: can't find pixel info in grafinfo file.\n"},
    {"Depth12", [](graf::Config &c) { c.ints["DEPTH"] = 12; },
     "savage: DEPTH 12 is not 8, 15, 16, 24 or 32.\n"},
    {"LineShorterThanTheRow", [](graf::Config &c) { c.ints["PIXBYTES"] = 100; },
     "savage: a screen of 64 x 16 with 100 bytes a line is not possible at depth 16.\n"},
    {"NoRegs",
     [](graf::Config &c) {
         c.adapter.clear();
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name == "REGS"; });
     },
     "savage: Missing REGS for registers in grafinfo file.\n"},
    {"NoSetGraphics", [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     "grafinfo file needs PROCEDURE SetGraphics\n"},
    {"NoRoomForTheCursor",
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 512;
         c.ints["PIXBYTES"] = 1024;
         c.ints["PIXHEIGHT"] = 1024;
     },
     "savage: the screen and its cursor need 1050624 bytes of video memory, the board has "
     "1048576.\n"},
};

class SavageInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(SavageInitFailure, FailsWithItsMessageAndHoldsNothing) {
    const InitFailure &f = GetParam();
    graf::Config cfg = savageConfig(64, 16, 16);
    f.change(cfg);
    harness::Screen s("savage", cfg, {.reporter = [](const std::string &) {}});
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), std::vector<std::string>{f.message});
    EXPECT_TRUE(server::fatalErrors().empty());
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, SavageInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

// Only what the MEMORY area maps can be drawn in, whatever memory the board
// has: an area that maps nothing leaves no room for the screen.
TEST(SavageInitFailure, MemoryAreaMappingNothingIsRefused) {
    graf::Config c = harness::loadConfig("s3/savage/savage.graf");
    for (graf::MemoryArea &a : c.areas)
        if (a.name.empty() || a.name == "MEMORY")
            a.length = 0;
    harness::Screen s("savage", c);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    ASSERT_EQ(server::errorMessages().size(), 1u);
    EXPECT_NE(server::errorMessages()[0].find("video memory, the board has 0.\n"),
              std::string::npos)
        << server::errorMessages()[0];
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// The software cursor needs no image in video memory: a screen that fills
// it (1024 lines of 1024 bytes in 1 MB) is taken then.
TEST(SavageInit, ScreenFillingMemoryWithTheSoftwareCursor) {
    graf::Config c = savageConfig(512, 1024, 16);
    c.ints["PIXBYTES"] = 1024;
    c.ints["USESWCURSOR"] = 1;
    harness::Screen s("savage", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_TRUE(s.registered().swCursor);
}

class SavageModeSet : public SavageScreen {};

TEST_P(SavageModeSet, TurnsTheEngineOnAndPrimesThePlaneMask) {
    startScreen(64, 16);
    sim::SavageAdapter &a = board();
    EXPECT_TRUE(a.engineOn());
    EXPECT_EQ(a.cr(0x58) & 0x13, 0x13);
    EXPECT_EQ(a.cr(0x66) & 0x03, 0x01);
    EXPECT_EQ(a.pixelBytes(), bytesPerPixel(depth));
    uint32_t mask = depth == 32 ? ~0u : depth == 24 ? 0xFFFFFFu : depthMask(depth);
    EXPECT_EQ(a.planemask(), mask);

    s->sysInfo()->SetText(s->screen());
    EXPECT_FALSE(a.engineOn());
    EXPECT_EQ(a.cr(0x58) & 0x13, 0);
    s->sysInfo()->SetGraphics(s->screen());
    EXPECT_TRUE(a.engineOn());
    EXPECT_EQ(a.words(), (std::vector<uint32_t>{sim::savagereg::kPlaneMaskWord, mask}));
}

INSTANTIATE_TEST_SUITE_P(Depths, SavageModeSet, testing::ValuesIn(kDepths), depthName);

TEST(SavageScreenState, SwitchWhileTheEngineRunsWaitsFirst) {
    harness::Screen s("savage", savageConfig(64, 16, 16), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drawSolidRects({{0, 0, 64, 16}}, 0x1234);
    s.copyRect({0, 0, 30, 10}, {5, 5});
    s.switchAway();
    s.switchBack();
    s.drawSolidRects({{2, 2, 20, 10}}, 0x4321, GXxor);
    s.drain();
    s.syncMirror();
    EXPECT_SCREEN_SAME(s);
}

TEST(SavageLife, GenerationsAndClose) {
    harness::Screen s("savage", savageConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    int index = server::screenPrivateCount();
    for (int generation = 1; generation <= 2; generation++) {
        SCOPED_TRACE(generation);
        ASSERT_TRUE(s.nextGeneration()) << s.failureText();
        EXPECT_EQ(server::screenPrivateCount(), index + generation);
        EXPECT_EQ(server::liveBlockCount(), 1u);
    }
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// ---- the command port's strictness ----

struct BadSequence {
    const char *name;
    std::vector<uint32_t> words;
    bool touchMemory; // the processor reads video memory after the words
    bool turnOff;     // the engine is turned off after the words
    std::string report;
};

const BadSequence kBadSequences[] = {
    {"UnknownWord", {0x12345678}, false, false, "is no command word"},
    {"UnknownLowHalf", {0x4BCC0001}, false, false, "unknown low half"},
    {"EndBeforeTheSize", {0x4BCC0020, 0x0, 0x10001, 0xC0020000}, false, false, "end word after"},
    // The end word counts as a data word while data is owed: the sequence
    // stays open and the next processor access shows it.
    {"EndBeforeTheData", {0x4BCC4040, 0x30000, 0x0, 0x10004, 0xC0020000}, true, false, ""},
    {"WordAfterTheData",
     {0x4BCC4000, 0x30000, 0x0, 0x10004, 0x5, 0xC0020000},
     false,
     false,
     "where the end word belongs"},
    {"ImageWidthOffItsColumns", {0x4BCC4040, 0x30000, 0x0, 0x10003}, false, false, "multiple of 4"},
    {"PlaneMaskInsideAFill",
     {0x4BCC8000, 0x1, 0x960100D7, 0xFF, 0xC0020000},
     false,
     false,
     "plane-mask word inside"},
    {"OpenWhenTheProcessorReads", {0x4BCC8000, 0x1}, true, false, ""},
    {"OpenWhenTurnedOff", {0x4BCC8000, 0x1}, false, true, "turned off with a sequence open"},
};

class SavagePort : public testing::TestWithParam<BadSequence> {};

TEST_P(SavagePort, ReportsASequenceTheDriverMustNotSend) {
    const BadSequence &b = GetParam();
    std::vector<std::string> reported;
    harness::Screen s("savage", savageConfig(64, 16, 8),
                      {.reporter = [&](const std::string &m) { reported.push_back(m); }});
    ASSERT_TRUE(s.start());
    ASSERT_TRUE(reported.empty()) << reported[0];
    uint8_t *regs = static_cast<uint8_t *>(s.graf().areas[1].mapped);
    ASSERT_EQ(s.graf().areas[1].name, "REGS");
    for (uint32_t w : b.words)
        s.machine().memWrite(regs + sim::savagereg::CommandPort, 4, w);
    if (b.touchMemory)
        (void)*static_cast<volatile uint8_t *>(s.graf().areas[0].mapped);
    if (b.turnOff)
        s.machine().memWrite(regs + sim::savagereg::Control, 4, 0);
    s.machine().failures();
    ASSERT_FALSE(reported.empty());
    EXPECT_NE(reported[0].find(b.report), std::string::npos) << reported[0];
}

INSTANTIATE_TEST_SUITE_P(All, SavagePort, testing::ValuesIn(kBadSequences),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SavagePortControl, CommandsAreRefusedWhileTheEngineIsOff) {
    std::vector<std::string> reported;
    harness::Screen s("savage", savageConfig(64, 16, 8),
                      {.reporter = [&](const std::string &m) { reported.push_back(m); }});
    ASSERT_TRUE(s.start());
    s.sysInfo()->SetText(s.screen());
    s.drawSolidRects({{0, 0, 8, 8}}, 1);
    ASSERT_FALSE(reported.empty());
    EXPECT_NE(reported[0].find("control bit 0x8 is clear"), std::string::npos) << reported[0];
}

// The one long test: with the watchdog out of the way, the bounded wait
// gives up after 0x8FFFFFF polls.
TEST(SavageWait, HungEngineEndsTheServerAfterTheBoundedWait) {
    graf::Config cfg = savageConfig(64, 16, 8);
    cfg.strings["ENGINE"] = "hangs";
    harness::Screen s("savage", cfg, {.reporter = [](const std::string &) {}});
    s.machine().setPollLimit(0x10000000);
    s.machine().setTracing(false);
    ASSERT_TRUE(s.start());
    s.drawSolidRects({{0, 0, 8, 8}}, 1);
    s.switchAway();
    EXPECT_EQ(s.fatalMessage(), "savage timeout");
}

} // namespace
} // namespace savagetest
