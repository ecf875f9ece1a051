// rasmo start-up: Probe, the memory layouts Init cuts, its failures, the mode
// set and engine start, the second server generation and the close.
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

// ---- memory layout ----

struct Layout {
    const char *name;
    int width, height, depth, memSize;
    bool swCursorKey;
    int pitchBytes, pitch;
    bool swCursor;
    int cursorOffset, cursorX, cursorY;
    int fontOffset, fontX, fontY;
    int tileX, tileY, tileWidth, tileHeight;
};

const Layout kLayouts[] = {
    // The cursor area is the last 1024 bytes (line 1023), the font area the
    // 25,600 bytes below it, the TileArea the 230 lines between.
    {"mode1024x768x8on1MB", 1024, 768, 8, 0x100000, false, 1024, 1024, false, 0xFFC00, 0, 1023,
     0xF9800, 0, 998, 0, 768, 1024, 230},
    // 1600 bytes a line round up to 1664: 832 pixels.
    {"mode800x600x16on2MB", 800, 600, 16, 0x200000, false, 1664, 832, false, 2096128, 576, 1259,
     2070528, 256, 1244, 0, 600, 832, 644},
    // 4 MB counts as 1536 lines of 1024 bytes.
    {"mode1024x768x8on4MB", 1024, 768, 8, 0x400000, false, 1024, 1024, false, 1571840, 0, 1535,
     1546240, 0, 1510, 0, 768, 1024, 742},
    // 18 lines below the screen, 64 columns beside it: the TileArea moves
    // beside the screen with every line.
    {"tileAreaBeside", 960, 980, 8, 0x100000, false, 1024, 1024, false, 0xFFC00, 0, 1023, 0xF9800,
     0, 998, 960, 0, 64, 998},
    // USESWCURSOR: no cursor area; the fonts start at the top.
    {"softwareCursorKey", 1024, 768, 8, 0x100000, true, 1024, 1024, true, 0, 0, 0, 0xF9C00, 0, 999,
     0, 768, 1024, 231},
    // A screen that fills video memory: no room for the cursor or the fonts.
    {"fullMemory", 1024, 1024, 8, 0x100000, false, 1024, 1024, true, 0, 0, 0, 0, 0, 0, 0, 1024,
     1024, 0},
};

class RasmoLayout : public testing::TestWithParam<Layout> {};

TEST_P(RasmoLayout, InitCutsTheOffScreenAreas) {
    const Layout &l = GetParam();
    graf::Config cfg = rasmoConfig(l.width, l.height, l.depth, l.memSize);
    if (l.swCursorKey)
        cfg.ints["USESWCURSOR"] = 1;
    harness::Screen s("rasmo", cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const rasmoScreenPrivate &p = *privOf(s);
    EXPECT_EQ(p.pitchBytes, l.pitchBytes);
    EXPECT_EQ(p.pitch, l.pitch);
    EXPECT_EQ(p.pixelShift, l.depth == 16 ? 1 : 0);
    EXPECT_EQ((p.flags & RASMO_SW_CURSOR) != 0, l.swCursor);
    EXPECT_EQ(p.flags & RASMO_IN_GRAPHICS, RASMO_IN_GRAPHICS);
    if (!l.swCursor) {
        EXPECT_EQ(p.cursorOffset, l.cursorOffset);
        EXPECT_EQ(p.cursorX, l.cursorX);
        EXPECT_EQ(p.cursorY, l.cursorY);
    }
    EXPECT_EQ(p.fontOffset, l.fontOffset);
    if (l.fontOffset) {
        EXPECT_EQ(p.fontX, l.fontX);
        EXPECT_EQ(p.fontY, l.fontY);
    }
    EXPECT_EQ(p.offscreenX, l.tileX);
    EXPECT_EQ(p.offscreenY, l.tileY);
    EXPECT_EQ(p.offscreenWidth, l.tileWidth);
    EXPECT_EQ(p.offscreenHeight, l.tileHeight);
    // The example mode procedure lays the picture out as the driver does.
    EXPECT_EQ(s.adapter()->displayPitch(), uint32_t(l.pitchBytes));
    EXPECT_EQ(mach32Of(s).memBoundary(), 0);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(Modes, RasmoLayout, testing::ValuesIn(kLayouts),
                         [](const auto &info) { return std::string(info.param.name); });

// One board per case.
class RasmoExampleBoard : public testing::TestWithParam<const char *> {};

TEST_P(RasmoExampleBoard, Starts) {
    {
        harness::Screen s("rasmo", harness::loadConfig(GetParam()), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        const int depth = s.depth();
        ASSERT_EQ(s.screen()->numVisuals, 1);
        const VisualRec &v = s.screen()->visuals[0];
        if (depth == 8) {
            EXPECT_EQ(v.class_, PseudoColor);
            EXPECT_EQ(v.ColormapEntries, 256);
        } else {
            EXPECT_EQ(v.class_, TrueColor);
            EXPECT_EQ(v.ColormapEntries, 64);
            EXPECT_EQ(v.redMask, 0xF800u);
            EXPECT_EQ(v.greenMask, 0x07E0u);
            EXPECT_EQ(v.blueMask, 0x001Fu);
            EXPECT_EQ(v.offsetRed, 11u);
            EXPECT_EQ(v.offsetGreen, 5u);
        }
        EXPECT_EQ(v.bitsPerRGBValue, 6);
        EXPECT_EQ(v.nplanes, depth);
        EXPECT_EQ(s.pitch(), depth == 8 ? 1024 : 1664);

        nfbScreenPrivate *nfb = s.nfb();
        EXPECT_EQ(nfb->driverFlag, 1);
        EXPECT_EQ(nfb->BlankScreen != nullptr, true);
        EXPECT_EQ(nfb->ValidateWindowPriv != nullptr, true);
        // The palette routines at depth 8 (the picture was shown), NoopDDA at 16.
        EXPECT_EQ(nfb->SetColor == (SetColorProc)NoopDDA, depth == 16);
        EXPECT_EQ(nfb->LoadColormap == (LoadColormapProc)NoopDDA, depth == 16);
        EXPECT_EQ(s.registered().optionsVersion, 50);
        EXPECT_EQ(s.registered().optionFlags, 0);
        // Four font slots of 10 by 20 pixel cells, and the driver's own text.
        EXPECT_TRUE(s.registered().text8);
        EXPECT_EQ(s.registered().text8Slots, 4);
        EXPECT_EQ(s.registered().text8CellWidth, 10);
        EXPECT_EQ(s.registered().text8CellHeight, 20);
        EXPECT_NE(s.winOps()->text.DrawFontText, genDrawFontText);
        SysInfo *si = s.sysInfo();
        ASSERT_NE(si, nullptr);
        EXPECT_EQ(si->sysInfoWord0, 0);
        EXPECT_EQ(si->sysInfoFlag1, 1);
        EXPECT_EQ(si->sysInfoFlag2, 1);
        EXPECT_EQ(si->sysInfoFlag3, 1);
        EXPECT_EQ(si->sysInfoValue, 5.0f);
        EXPECT_EQ(runsOf("SetGraphics"), 1);
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, RasmoExampleBoard,
                         testing::Values("ati/rasmo/rasmo.graf", "ati/rasmo/rasmo-2m.graf"),
                         [](const auto &info) {
                             return std::string(info.index == 0 ? "oneMB" : "twoMB");
                         });

// The engine start: reset, run, the bounded idle wait, the status clear and
// the defaults, then the whole coordinate space as the clip.
TEST(RasmoInit, EngineStartAndClip) {
    harness::Screen s("rasmo", rasmoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.probe());
    ASSERT_TRUE(s.init()) << s.failureText();
    std::vector<PortWrite> engine;
    for (const PortWrite &w : portWrites(s))
        if (w.port == SUBSYS_CNTL || w.port == ENGINE_CLEAR || w.port == SRC_X_START ||
            w.port == SRC_X_END || (w.port >= SCISSOR_LEFT && w.port <= SCISSOR_BOTTOM))
            engine.push_back(w);
    const std::vector<PortWrite> expected = {
        {SUBSYS_CNTL, 0x8000, 2},  {SUBSYS_CNTL, 0x400F, 2}, {SUBSYS_CNTL, 4, 2},
        {ENGINE_CLEAR, 0, 2},      {SRC_X_START, 0, 2},      {SRC_X_END, 1, 2},
        {SCISSOR_LEFT, 0, 2},      {SCISSOR_TOP, 0, 2},      {SCISSOR_RIGHT, 2047, 2},
        {SCISSOR_BOTTOM, 2047, 2},
    };
    EXPECT_EQ(engine, expected) << show(engine);
    const sim::S3Regs &r = mach32Of(s).engine().regs();
    EXPECT_EQ(r.scissorLeft, 0);
    EXPECT_EQ(r.scissorRight, 2047);
    EXPECT_EQ(mach32Of(s).ext().regs().srcXEnd, 1);
    EXPECT_GE(mach32Of(s).engine().stats().resets, 1u);
    // The memory size came from the board's register, not a key.
    EXPECT_GE(readsOf(s, MEM_INFO), 1u);
    s.freeScreen();
}

// The server keeps the depth in a byte, and the example files' mode follows
// that byte: a DEPTH whose low byte is 8 or 16 gives the engine the pixel
// size and line length the driver lays video memory out by. On a screen
// 1280 wide in 512 KB the cursor area sits at line 408 at depth 8, which
// 16-bit pixels would put past video memory.
struct DepthKey {
    const char *name;
    const char *file;
    int key, depth;
};

const DepthKey kDepthKeys[] = {
    {"eight", "ati/rasmo/rasmo.graf", 8, 8},
    {"sixteen", "ati/rasmo/rasmo.graf", 16, 16},
    {"eightInAWideKey", "ati/rasmo/rasmo.graf", 0xD08, 8},
    {"sixteenInAWideKey", "ati/rasmo/rasmo.graf", 0x110, 16},
    {"eightInANegativeKey", "ati/rasmo/rasmo.graf", -248, 8},
    {"sixteenInANegativeKey", "ati/rasmo/rasmo.graf", -240, 16},
    {"twoMBEightInAWideKey", "ati/rasmo/rasmo-2m.graf", 0x108, 8},
    {"twoMBSixteenInANegativeKey", "ati/rasmo/rasmo-2m.graf", -240, 16},
};

class RasmoDepthKey : public testing::TestWithParam<DepthKey> {};

TEST_P(RasmoDepthKey, ModeFollowsTheServersDepth) {
    const DepthKey &d = GetParam();
    graf::Config cfg = harness::loadConfig(d.file);
    cfg.ints["PIXWIDTH"] = 1280;
    cfg.ints["PIXHEIGHT"] = 16;
    cfg.ints["DEPTH"] = d.key;
    cfg.ints["MEMSIZE"] = 0x80000;
    harness::Screen s("rasmo", cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    ASSERT_EQ(s.depth(), d.depth);
    const rasmoScreenPrivate &p = *privOf(s);
    EXPECT_EQ(mach32Of(s).engine().pixelBits(), d.depth);
    EXPECT_EQ(s.adapter()->displayPitch(), uint32_t(p.pitchBytes));
    EXPECT_EQ(mach32Of(s).engine().linePixels(), uint32_t(p.pitch));
    // Fills and a copy at the screen's far edge land where the reference
    // puts them.
    s.fillRandom(7);
    GCPtr gc = s.createGC({.fg = 0x1234u & s.allPlanes()});
    s.fillRects(gc, {{0, 0, 1280, 1}, {1200, 8, 1280, 16}});
    s.copyRect({0, 12, 40, 16}, {1240, 0});
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(Keys, RasmoDepthKey, testing::ValuesIn(kDepthKeys),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- Probe and the failures ----

TEST(RasmoProbe, DepthsEightAndSixteenOnly) {
    for (int depth : {8, 16}) {
        harness::Screen s("rasmo", rasmoConfig(64, 16, depth), quiet());
        EXPECT_TRUE(s.probe());
        ASSERT_FALSE(server::pixmapFormats().empty());
        EXPECT_EQ(server::pixmapFormats().back().depth, depth);
    }
    EXPECT_TRUE(server::errorMessages().empty());
    harness::Screen s("rasmo", rasmoConfig(64, 16, 24),
                      {.bitsPerPixel = 32, .reporter = HARNESS_GTEST_REPORTER});
    EXPECT_FALSE(s.probe());
    EXPECT_EQ(server::errorMessages(),
              std::vector<std::string>{"rasmo: unsupported screen depth: 24\n"});
}

struct InitFailure {
    const char *name;
    void (*change)(graf::Config &);
    std::vector<std::string> messages;
};

const InitFailure kInitFailures[] = {
    {"noPixWidth",
     [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     {"rasmo: can't find pixel info in grafinfo file.\n"}},
    {"noPixHeight",
     [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); },
     {"rasmo: can't find pixel info in grafinfo file.\n"}},
    // Sizes with no lines to lay out, or past the engine's 2048 pixels.
    {"zeroWidth",
     [](graf::Config &c) { c.ints["PIXWIDTH"] = 0; },
     {"rasmo: can't find pixel info in grafinfo file.\n"}},
    {"negativeHeight",
     [](graf::Config &c) { c.ints["PIXHEIGHT"] = -16; },
     {"rasmo: can't find pixel info in grafinfo file.\n"}},
    {"widthPastTheEngine",
     [](graf::Config &c) { c.ints["PIXWIDTH"] = 2049; },
     {"rasmo: can't find pixel info in grafinfo file.\n"}},
    // 1024 x 768 at 16 bits needs 1.5 MB.
    {"notEnoughMemory",
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 1024;
         c.ints["PIXHEIGHT"] = 768;
         c.ints["DEPTH"] = 16;
         c.ints["MEMSIZE"] = 0x100000;
     },
     {"rasmo: not enough video memory on the", " Mach-32 card to run this graphics mode\n"}},
};

class RasmoInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(RasmoInitFailure, FailsWithItsMessages) {
    const InitFailure &f = GetParam();
    graf::Config cfg = rasmoConfig(64, 16, 8);
    f.change(cfg);
    harness::Screen s("rasmo", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), f.messages);
    EXPECT_TRUE(server::fatalErrors().empty());
    // Nothing of the mode was set, nothing is kept.
    EXPECT_EQ(runsOf("SetGraphics"), 0);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, RasmoInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RasmoInit, ServerRefusalsFailQuietly) {
    struct Refusal {
        const char *name;
        void (*on)();
    } refusals[] = {
        {"private index", [] { server::failScreenPrivateIndex(true); }},
        {"allocation", [] { server::failAllocationAfter(0); }},
        {"screen init", [] { server::failScreenInit(true); }},
        {"visual", [] { server::failAddVisual(true); }},
        {"colormap", [] { server::failCreateColormap(true); }},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.name);
        harness::Screen s("rasmo", rasmoConfig(64, 16, 8), quiet());
        server::failScreenPrivateIndex(false);
        server::failAllocationAfter(-1);
        server::failScreenInit(false);
        server::failAddVisual(false);
        server::failCreateColormap(false);
        server::clearErrorMessages();
        const size_t blocks = server::liveBlockCount();
        r.on();
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(server::errorMessages().empty());
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), blocks);
    }
    server::failCreateColormap(false);
}

// Without the mode procedure, or when it stops half way, the mode is
// nobody's: refused, text mode back, the text-font blocks freed.
TEST(RasmoInit, RefusesAMissingOrFailingSetGraphics) {
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "missing" : "failing");
        graf::Config cfg = rasmoConfig(64, 16, 8);
        if (missing) {
            cfg.procedures.erase("SetGraphics");
        } else {
            graf::Builder b;
            b.config() = cfg;
            b.procedure("SetGraphics", "fail");
            cfg = b.build();
        }
        harness::Screen s("rasmo", cfg, quiet());
        server::clearErrorMessages();
        const size_t blocks = server::liveBlockCount();
        const int textRuns = runsOf("SetText");
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_EQ(server::errorMessages(),
                  std::vector<std::string>{"grafinfo file needs PROCEDURE SetGraphics\n"});
        EXPECT_EQ(runsOf("SetText"), textRuns + 1);
        // Nothing is kept: neither the text-font blocks nor the private.
        EXPECT_EQ(server::liveBlockCount(), blocks);
    }
}

// ---- generations ----

// The mode is set at every start-up: a server whose generations do not
// start at 1, and a reset while on the console, both find a board with no
// line length, on which the engine would draw nothing.
TEST(RasmoGeneration, EveryStartUpSetsTheMode) {
    harness::restartServer();
    ASSERT_GT(serverGeneration, 1u);
    harness::Screen s("rasmo", rasmoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.adapter()->displayPitch(), 128u);
    s.switchAway();
    EXPECT_EQ(s.adapter()->displayPitch(), 0u);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(s.adapter()->displayPitch(), 128u);
    EXPECT_EQ(privOf(s)->flags & RASMO_IN_GRAPHICS, RASMO_IN_GRAPHICS);
    s.fillRandom(3);
    GCPtr gc = s.createGC({.fg = 5});
    s.fillRects(gc, {{3, 2, 40, 12}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(s.failureText(), "");
    s.freeScreen();
}

TEST(RasmoGeneration, SecondGenerationKeepsThePalette) {
    harness::Screen s("rasmo", rasmoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const int index = server::screenPrivateCount();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    // A new private index, the mode set again.
    EXPECT_EQ(server::screenPrivateCount(), index + 1);
    EXPECT_EQ(runsOf("SetGraphics"), 2);
    EXPECT_EQ(privOf(s)->flags & RASMO_IN_GRAPHICS, RASMO_IN_GRAPHICS);
    // The palette reaches the DAC as in the first generation.
    sim::Mach32Adapter &m = mach32Of(s);
    m.dac().clearWrites();
    s.setColor(9, 0xFFFF, 0x8000, 0x0400);
    ASSERT_EQ(m.dac().writes().size(), 1u);
    EXPECT_EQ(m.dac().entry(9), (sim::vga::Dac::Entry{63, 32, 1}));
    s.installColormap(s.defaultColormap());
    EXPECT_EQ(m.dac().writes().size(), 257u);
    EXPECT_EQ(m.dac().mask(), 0xFF);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
} // namespace rasmotest
