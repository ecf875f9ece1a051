// garsk's start-up, register set-up, console switch, blanking, palette and
// GC validation through the library on the garsk board model.
#include <functional>
#include <string>
#include <vector>

#include "garsk_fixture.h"
#include "grafstore.h"

namespace {

using namespace garsktest;

const char kPixelInfo[] = "GARSK: can't find pixel info in grafinfo file.\n";
const char kHardware[] = "GARSK:  Failed to Initialize Hardware\n";

// ---- Init ----

TEST(GarskInit, BothBoardsComeUpWithTheirRecordsAndDraw) {
    struct Case {
        const char *file;
        const char *fbType;
        const char *records;
    };
    const Case cases[] = {{kBankFile, "BANK", "garskBankedWinOps"},
                          {kFlatFile, "LINEAR", "garskFlatWinOps"},
                          {kFlatFile, "bank", "garskFlatWinOps"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " FBTYPE " + c.fbType);
        harness::beginCase();
        graf::Config cfg = garskConfig(c.file, 128, 64);
        cfg.strings["FBTYPE"] = c.fbType;
        harness::Screen s("garsk", cfg, strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(static_cast<void *>(s.winOps()), exported(c.records));
        EXPECT_EQ(s.pitch(), 1024);
        EXPECT_EQ(s.nfb()->gcTemplate->ops, exported("garskSolidPrivOps"));
        // Flags 0: the solid record's slot three is a single segment.
        EXPECT_FALSE(s.zeroSegsForm());
        EXPECT_EQ(s.sysInfo(), exported("garskSysInfo"));
        s.fillRandom(3);
        s.drawSolidRects({{5, 6, 70, 40}}, 0x5A, GXxor);
        EXPECT_SCREEN_SAME(s);
        EXPECT_TRUE(server::errorMessages().empty());
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

TEST(GarskInit, MonitorSizeDefaults) {
    graf::Config cfg = garskConfig(kBankFile, 64, 32);
    cfg.ints.erase("MON_WIDTH");
    cfg.ints.erase("MON_HEIGHT");
    harness::Screen s("garsk", cfg, strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.screen()->mmWidth, 381);
    EXPECT_EQ(s.screen()->mmHeight, 308);
}

struct InitFailure {
    const char *name;
    const char *file;
    std::function<void(graf::Config &)> change;
    std::vector<std::string> messages;
};

const InitFailure kInitFailures[] = {
    {"NoWidth", kBankFile, [](graf::Config &c) { c.ints.erase("PIXWIDTH"); }, {kPixelInfo}},
    {"NoHeight", kBankFile, [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); }, {kPixelInfo}},
    {"ZeroWidth", kBankFile, [](graf::Config &c) { c.ints["PIXWIDTH"] = 0; }, {kPixelInfo}},
    {"NegativeHeight", kBankFile, [](graf::Config &c) { c.ints["PIXHEIGHT"] = -4; }, {kPixelInfo}},
    // Without the key the board is flat, so the flat board is the one.
    {"NoFbType",
     kFlatFile,
     [](graf::Config &c) { c.strings.erase("FBTYPE"); },
     {"GARSK:  Unable to determine FBTYPE from grafinfo file\n"}},
    {"NoClass",
     kBankFile,
     [](graf::Config &c) { c.strings.erase("CLASS"); },
     {"GARSK:  Missing Class in Grafinfo File.\n", kHardware}},
    {"NoMemory",
     kBankFile,
     [](graf::Config &c) { c.areas.clear(); },
     {"GARSK:  Missing Memory in grafinfo file. \n", kHardware}},
    // The off-screen cells begin at line 768 of the 1024-byte pitch.
    {"WiderThanThePitch",
     kFlatFile,
     [](graf::Config &c) { c.ints["PIXWIDTH"] = 1025; },
     {kHardware}},
    {"HigherThanTheCells",
     kBankFile,
     [](graf::Config &c) { c.ints["PIXHEIGHT"] = 769; },
     {kHardware}},
    {"NoSetGraphics",
     kBankFile,
     [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     {"grafinfo file needs PROCEDURE SetGraphics\n", kHardware}},
};

class GarskInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(GarskInitFailure, FailsWithItsMessagesAndKeepsNothing) {
    const InitFailure &f = GetParam();
    graf::Config cfg = garskConfig(f.file, 64, 32);
    f.change(cfg);
    harness::Screen s("garsk", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), f.messages);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, GarskInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(GarskInit, FailingSetGraphicsAndServerRefusalsReturnZero) {
    struct Case {
        const char *name;
        std::function<void(harness::Screen &)> arrange;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"SetGraphicsFails",
         [](harness::Screen &s) { graf::setProcedureFails(s.grafinfo(), "SetGraphics", true); },
         {"grafinfo file needs PROCEDURE SetGraphics\n", kHardware}},
        {"ScreenInit", [](harness::Screen &) { server::failScreenInit(true); }, {}},
        {"AddVisual", [](harness::Screen &) { server::failAddVisual(true); }, {}},
        {"Colormap", [](harness::Screen &) { server::failCreateColormap(true); }, {}},
        {"Private",
         [](harness::Screen &) { server::failAllocationAfter(0); },
         {"GARSK:  Memory allocation Error.\n",
          "GARSK:  Couldn't allocate screen private data.\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), quiet());
        c.arrange(s);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::errorMessages(), c.messages);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// The index is taken once per generation; a refused index is asked for
// again by the next Init of that generation instead of being taken as had.
TEST(GarskInit, PrivateIndexPerGenerationAndAfterARefusal) {
    harness::Screen a("garsk", garskConfig(kBankFile, 64, 32), quiet());
    server::failScreenPrivateIndex(true);
    ASSERT_TRUE(a.probe());
    EXPECT_FALSE(a.init());
    EXPECT_EQ(server::errorMessages(),
              (std::vector<std::string>{"GARSK:  Allocation error.\n",
                                        "GARSK:  Couldn't allocate screen private index.\n"}));
    server::failScreenPrivateIndex(false);
    const int before = server::screenPrivateCount();
    harness::Screen b("garsk", garskConfig(kFlatFile, 64, 32),
                      {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(b.start()) << b.failureText();
    EXPECT_EQ(server::screenPrivateCount(), before + 1);
    // A second screen of the same generation reuses that index.
    harness::Screen c("garsk", garskConfig(kBankFile, 64, 32),
                      {.screenNumber = 2, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(c.start()) << c.failureText();
    EXPECT_EQ(server::screenPrivateCount(), before + 1);
    c.fillRandom(1);
    c.drawSolidRects({{1, 1, 30, 20}}, 0x11);
    EXPECT_SCREEN_SAME(c);
    b.freeScreen();
    c.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// Runs of the procedure "SetGraphics" so far, counted by the sequencer
// writes it makes (index 1, then the clocking byte 0x01).
int setGraphicsRuns(harness::Screen &s) {
    int n = 0;
    for (const auto &w : garskOf(s).vga().seq.writes())
        n += w.index == 1 && w.value == 0x01;
    return n;
}

TEST(GarskInit, TheModeIsSetInTheFirstGenerationOnlyAndAtEverySwitch) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(setGraphicsRuns(s), 1);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(setGraphicsRuns(s), 1);
    // The engine defaults and the sprite-off write come again, the mode not.
    EXPECT_EQ(garskOf(s).engine().reg(sim::GarskEngine::MmuControl), 0x71u);
    s.sysInfo()->SetText(s.screen());
    s.sysInfo()->SetGraphics(s.screen());
    EXPECT_EQ(setGraphicsRuns(s), 2);
    s.fillRandom(2);
    s.drawSolidRects({{3, 3, 40, 20}}, 0x77, GXor);
    EXPECT_SCREEN_SAME(s);
}

// ---- the register set-up ----

TEST(GarskInitHW, SpriteOffThenEngineDefaultsThenMmuControl) {
    harness::Screen s("garsk", garskConfig(kFlatFile, 64, 32), strict());
    ASSERT_TRUE(s.probe());
    s.machine().clearTrace();
    ASSERT_TRUE(s.init()) << s.failureText();
    const std::vector<RegWrite> want = {
        {0x32, 1, 1},    {0x34, 1, 0},    {0x94, 2, 0},    {0x96, 2, 0},   {0x9D, 1, 0},
        {0x8A, 2, 1023}, {0x8C, 2, 1023}, {0x88, 2, 1023}, {0x8F, 1, 0},   {0x8E, 1, 0},
        {0x9C, 1, 0},    {0x98, 2, 0},    {0x9A, 2, 0},    {0x13, 1, 0x71}};
    EXPECT_EQ(registerWrites(s), want);
    // The sprite is turned off before the first engine register.
    const auto &trace = s.machine().trace();
    size_t spriteIndex = trace.size(), spriteData = trace.size(), firstReg = trace.size();
    for (size_t i = 0; i < trace.size(); i++) {
        const sim::Access &a = trace[i];
        if (a.kind == sim::Access::PortOut && a.address == 0x217A && a.value == 0xF7)
            spriteIndex = std::min(spriteIndex, i);
        if (a.kind == sim::Access::PortOut && a.address == 0x217B && a.value == 0)
            spriteData = std::min(spriteData, i);
        if (a.kind == sim::Access::MemWrite && a.address >= 0x1FF00)
            firstReg = std::min(firstReg, i);
    }
    EXPECT_LT(spriteIndex, spriteData);
    EXPECT_LT(spriteData, firstReg);
    EXPECT_EQ(garskOf(s).sprite().reg(0xF7), 0);
}

// ---- blanking and the palette ----

TEST(GarskBlank, ScreenOffBitOnlyWhileActive) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto &seq = garskOf(s).vga().seq;
    seq.setReg(1, 0x09);
    EXPECT_EQ(s.nfb()->BlankScreen(1, s.screen()), 1);
    EXPECT_EQ(seq.reg(1), 0x29);
    EXPECT_EQ(s.nfb()->BlankScreen(0, s.screen()), 1);
    EXPECT_EQ(seq.reg(1), 0x09);
    server::setScreenActive(0);
    s.machine().clearTrace();
    EXPECT_EQ(s.nfb()->BlankScreen(1, s.screen()), 1);
    EXPECT_TRUE(s.machine().trace().empty());
    EXPECT_EQ(seq.reg(1), 0x09);
}

TEST(GarskPalette, ComponentsGoOutShiftedByTen) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto &dac = garskOf(s).vga().dac;
    dac.clearWrites();
    s.nfb()->SetColor(0, 200, 0xFFFF, 0x8000, 0x07FF, nullptr);
    ASSERT_EQ(dac.writes().size(), 1u);
    EXPECT_EQ(dac.writes()[0].index, 200);
    EXPECT_EQ(dac.writes()[0].raw, (sim::vga::Dac::Entry{0x3F, 0x20, 0x01}));
}

// ---- GC validation ----

TEST(GarskValidate, FillStyleTableAndOpaqueStippleColours) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    PixmapPtr tile = s.tile(2, 2, {1, 2, 3, 4});
    PixmapPtr stip = s.stipple({"X.", ".X"});
    struct Case {
        harness::GCSpec values;
        FillRectsProc fill;
    };
    const Case cases[] = {
        {{.fillStyle = FillSolid}, genSolidFillRects},
        {{.fillStyle = FillTiled, .tile = tile}, genTiledFillRects},
        {{.fillStyle = FillStippled, .stipple = stip}, genStippledFillRects},
        {{.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 4, .stipple = stip},
         genOpStippledFillRects},
        {{.fillStyle = FillOpaqueStippled, .fg = 5, .bg = 5, .stipple = stip}, genSolidFillRects},
    };
    for (const Case &c : cases) {
        GCPtr gc = s.createGC(c.values);
        EXPECT_EQ(s.ops(gc)->FillRects, c.fill) << "fill style " << c.values.fillStyle;
    }
    // One colour, then two: the record follows the colours.
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 5, .bg = 5, .stipple = stip});
    EXPECT_EQ(s.ops(gc)->FillRects, genSolidFillRects);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 6, .bg = 5, .stipple = stip},
               GCForeground);
    EXPECT_EQ(s.ops(gc)->FillRects, genOpStippledFillRects);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 6, .bg = 6, .stipple = stip},
               GCBackground);
    EXPECT_EQ(s.ops(gc)->FillRects, genSolidFillRects);
    // No fill style in the change mask: the record stays.
    s.changeGC(gc,
               {.fillStyle = FillOpaqueStippled, .alu = GXxor, .fg = 6, .bg = 6, .stipple = stip},
               GCFunction);
    EXPECT_EQ(s.ops(gc)->FillRects, genSolidFillRects);
}

} // namespace
