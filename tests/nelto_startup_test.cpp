// nelto start-up: Init per depth and its failures, the engine reset and its
// fixtures (idle at start, never starting, hung), the bounded wait, the mode
// set's registers and screen clear, blanking, the console switch, the
// hardware clip, the GC and window records and the life cycle.
#include "../s3/nelto/nelto.h"
#include "nelto_fixture.h"

namespace neltotest {
namespace {

harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// ---- Init per depth ----

struct DepthCase {
    int depth;
    graf::Config (*config)();
    VisualRec visual;
    bool accelerated;
};

const DepthCase kDepthCases[] = {
    {8, [] { return neltoConfig(64, 16, 8); }, {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0}, true},
    {15,
     [] { return neltoConfig(64, 16, 15); },
     {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0},
     true},
    {16,
     [] { return neltoConfig(64, 16, 16); },
     {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0},
     true},
    {24,
     [] { return neltoConfig(64, 16, 24); },
     {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0},
     true},
    // ACCEL 1 does not change depth 32.
    {32,
     [] {
         graf::Config c = neltoConfig(64, 16, 32);
         c.ints["ACCEL"] = 1;
         return c;
     },
     {0, TrueColor, 8, 256, 32, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0},
     false},
    // ACCEL 0 at depth 16: the generic routines, the 16-bit image pair.
    {16,
     [] {
         graf::Config c = neltoConfig(64, 16, 16);
         c.ints["ACCEL"] = 0;
         return c;
     },
     {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0},
     false},
};

class NeltoInitDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(NeltoInitDepth, VisualRecordsAndHooks) {
    const DepthCase &c = GetParam();
    harness::Screen s("nelto", c.config(), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.class_, c.visual.class_);
    EXPECT_EQ(v.bitsPerRGBValue, c.visual.bitsPerRGBValue);
    EXPECT_EQ(v.ColormapEntries, c.visual.ColormapEntries);
    EXPECT_EQ(v.nplanes, c.visual.nplanes);
    EXPECT_EQ(v.redMask, c.visual.redMask);
    EXPECT_EQ(v.greenMask, c.visual.greenMask);
    EXPECT_EQ(v.blueMask, c.visual.blueMask);
    EXPECT_EQ(v.offsetRed, c.visual.offsetRed);
    EXPECT_EQ(v.offsetGreen, c.visual.offsetGreen);

    WinOps *ops = s.winOps();
    ASSERT_NE(ops, nullptr);
    EXPECT_EQ(ops->CopyRect == genCopyRect, !c.accelerated);
    EXPECT_EQ(ops->DrawSolidRects == genDrawSolidRects, !c.accelerated);
    EXPECT_EQ(ops->DrawMonoImage == genDrawMonoImage, !c.accelerated);
    EXPECT_EQ(ops->DrawOpaqueMonoImage == genDrawOpaqueMonoImage, !c.accelerated);
    EXPECT_EQ(ops->DrawPoints == genDrawPoints, !c.accelerated);
    EXPECT_EQ(ops->SetClipRegions == genWinOp14, !c.accelerated);
    EXPECT_EQ(ops->TileRects, genTileRects);
    EXPECT_EQ(ops->DrawMonoGlyphs, genDrawMonoGlyphs);
    EXPECT_NE(ops->DrawImage, nullptr);
    EXPECT_NE(ops->ReadImage, nullptr);

    bool pseudo = c.depth == 8;
    EXPECT_EQ(s.nfb()->SetColor == (SetColorProc)NoopDDA, !pseudo);
    EXPECT_EQ(s.nfb()->LoadColormap == genLoadColormap, pseudo);
    EXPECT_EQ(s.registered().optionFlags, 0x20);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().pointerArgs, (std::vector<int>{0, 1}));
    ASSERT_NE(s.sysInfo(), nullptr);
    EXPECT_EQ(s.sysInfo()->sysInfoValue, 5.0f);
    EXPECT_EQ(s.sysInfo()->sysInfoFlag3, 1);
    PrivOps *tmpl = s.nfb()->gcTemplate->ops;
    ASSERT_NE(tmpl, nullptr);
    EXPECT_EQ(tmpl->slot3.ZeroSegs, genSolidZeroSegs);
    EXPECT_STREQ(s.info()->driverName, "nelto");
    ASSERT_EQ(server::pixmapFormats().size(), 1u);
    EXPECT_EQ(server::pixmapFormats()[0].depth, c.depth);

    // Drawing through whatever the records hold matches the renderer.
    s.fillRandom(3);
    s.drawSolidRects({{1, 1, 40, 9}}, 0x5A5A5A5A & s.allPlanes(), GXxor);
    s.copyRect({10, 2, 60, 15}, {0, 0});
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(All, NeltoInitDepth, testing::ValuesIn(kDepthCases), [](const auto &info) {
    return "depth" + std::to_string(info.param.depth) + (info.index == 5 ? "noaccel" : "");
});

// ---- Init failures ----

struct InitFailure {
    const char *name;
    void (*change)(graf::Config &);
    std::string message;
};

const InitFailure kInitFailures[] = {
    {"NoPixwidth", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     "nelto: can't find pixel info in grafinfo file.\n"},
    {"NoPixbytes", [](graf::Config &c) { c.ints.erase("PIXBYTES"); },
     "nelto: can't find pixel info in grafinfo file.\n"},
    {"NoPixheight", [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); },
     "nelto: can't find pixel info in grafinfo file.\n"},
    {"NoDepth", [](graf::Config &c) { c.ints.erase("DEPTH"); },
     "nelto: can't find pixel info in grafinfo file.\n"},
    {"Depth12", [](graf::Config &c) { c.ints["DEPTH"] = 12; },
     "nelto: DEPTH 12 is not 8, 15, 16, 24 or 32.\n"},
    {"Depth4", [](graf::Config &c) { c.ints["DEPTH"] = 4; },
     "nelto: DEPTH 4 is not 8, 15, 16, 24 or 32.\n"},
    {"LineShorterThanTheRow", [](graf::Config &c) { c.ints["PIXBYTES"] = 100; },
     "nelto: a screen of 64 x 16 with 100 bytes a line is not possible at depth 16.\n"},
    {"NegativeHeight", [](graf::Config &c) { c.ints["PIXHEIGHT"] = -16; },
     "nelto: a screen of 64 x -16 with 128 bytes a line is not possible at depth 16.\n"},
    {"StrideBeyondItsField", [](graf::Config &c) { c.ints["PIXBYTES"] = 0x10000; },
     "nelto: a screen of 64 x 16 with 65536 bytes a line is not possible at depth 16.\n"},
    // A mode nobody described is refused.
    {"NoSetGraphics", [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     "grafinfo file needs PROCEDURE SetGraphics\n"},
    {"SetGraphicsFails",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("SetGraphics", "fail");
         c = b.build();
     },
     "grafinfo file needs PROCEDURE SetGraphics\n"},
    // 1024 lines of 1024 bytes fill 1 MB: no unit left for the cursor.
    {"NoRoomForTheCursor",
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 512;
         c.ints["PIXBYTES"] = 1024;
         c.ints["PIXHEIGHT"] = 1024;
     },
     "nelto: the screen and its cursor need 1050624 bytes of video memory, the board has "
     "1048576.\n"},
};

class NeltoInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(NeltoInitFailure, FailsWithItsMessageAndHoldsNothing) {
    const InitFailure &f = GetParam();
    graf::Config cfg = neltoConfig(64, 16, 16);
    f.change(cfg);
    harness::Screen s("nelto", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), std::vector<std::string>{f.message});
    EXPECT_TRUE(server::fatalErrors().empty());
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, NeltoInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(NeltoInit, MissingMemoryArea) {
    // The board needs its area, so the driver meets a configuration without
    // one only on another board: plain memory, no adapter.
    graf::Config cfg = neltoConfig(64, 16, 8);
    cfg.adapter.clear();
    cfg.areas.clear();
    harness::Screen s("nelto", cfg, {.reporter = [](const std::string &) {}});
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(),
              std::vector<std::string>{"nelto: Missing MEMORY in grafinfo file.\n"});
}

TEST(NeltoInit, ServerRefusalsFailQuietly) {
    struct Refusal {
        const char *name;
        void (*on)();
    } refusals[] = {
        {"allocation", [] { server::failAllocationAfter(0); }},
        {"screen init", [] { server::failScreenInit(true); }},
        {"visual", [] { server::failAddVisual(true); }},
        {"colormap", [] { server::failCreateColormap(true); }},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.name);
        harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
        server::failAllocationAfter(-1);
        server::failScreenInit(false);
        server::failAddVisual(false);
        server::failCreateColormap(false);
        server::clearErrorMessages();
        r.on();
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(server::errorMessages().empty());
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// A refused private index fails every Init of its generation without using
// the index; the next generation asks again.
TEST(NeltoInit, RefusedPrivateIndexFailsTheWholeGeneration) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    server::failScreenPrivateIndex(true);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    server::failScreenPrivateIndex(false);
    int before = server::screenPrivateCount();
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::screenPrivateCount(), before);
    EXPECT_EQ(server::liveBlockCount(), 0u);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), before + 1);
}

TEST(NeltoInit, RefusedHardwareCursorIsFatal) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), {.reporter = [](const std::string &) {}});
    server::setPointerResult(0);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
}

// The software cursor needs no image in video memory: a screen that fills
// it (1024 lines of 1024 bytes in 1 MB) is taken then.
TEST(NeltoInit, SoftwareCursorOnRequest) {
    struct Size {
        int width, pitch, height;
    };
    for (Size z : {Size{64, 64, 16}, Size{512, 1024, 1024}}) {
        SCOPED_TRACE(std::to_string(z.width) + " x " + std::to_string(z.height));
        graf::Config cfg = neltoConfig(z.width, z.height, 8, z.pitch);
        cfg.ints["USESWCURSOR"] = 1;
        harness::Screen s("nelto", cfg, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_TRUE(s.registered().swCursor);
        EXPECT_EQ(s.registered().pointerFuncs, nullptr);
    }
}

// The memory codes between the sizes name none: refused, not taken as the
// smallest board.
TEST(NeltoInit, MemoryCodesNamingNoSizeAreRefused) {
    for (uint8_t code : {0x20, 0x60, 0xA0}) {
        harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
        ASSERT_TRUE(s.probe());
        neltoOf(s).vga().crtc.setReg(0x36, code);
        EXPECT_FALSE(s.init()) << int(code);
        char text[80];
        std::snprintf(text, sizeof text, "nelto: memory code %#x in CR36 names no memory size.\n",
                      code);
        ASSERT_FALSE(server::errorMessages().empty());
        EXPECT_EQ(server::errorMessages().back(), text);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- the engine reset and the bounded wait ----

struct ResetCase {
    const char *engine;
    int resets; // resets the engine went through
    std::string fatal;
};

class NeltoReset : public testing::TestWithParam<ResetCase> {};

TEST_P(NeltoReset, StartsTheEngineOrSaysWhy) {
    const ResetCase &c = GetParam();
    graf::Config cfg = neltoConfig(64, 16, 8);
    cfg.strings["ENGINE"] = c.engine;
    std::vector<std::string> reported;
    harness::Screen s("nelto", cfg,
                      {.reporter = [&](const std::string &m) { reported.push_back(m); }});
    ASSERT_TRUE(s.probe());
    EXPECT_EQ(s.init(), c.fatal.empty());
    EXPECT_EQ(s.fatalMessage(), c.fatal);
    EXPECT_EQ(neltoOf(s).neltoEngine().resetsTried(), c.resets);
    if (c.fatal.empty()) {
        EXPECT_TRUE(reported.empty()) << reported[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NeltoReset,
                         testing::Values(ResetCase{"stopped", 1, ""}, ResetCase{"running", 0, ""},
                                         ResetCase{"never", 50, "cannot initialize S3D engine."}),
                         [](const auto &info) { return std::string(info.param.engine); });

// Each try waits 20 ms: the engine runs only after 0x8000, 0x4000, a
// command and the nap.
TEST(NeltoReset, OneTryIsHoldReleaseCommandAndANap) {
    harness::Screen s("nelto", neltoConfig(64, 16, 15), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_GE(s.machine().nowMicros(), 20000u);
    std::vector<RegWrite> w = engineWrites(s);
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(std::vector<RegWrite>(w.begin(), w.begin() + 4),
              (std::vector<RegWrite>{
                  {0x8504, 0x8000}, {0x8504, 0x4000}, {0xA500, 0x78010006}, {0xA8D4, 0}}))
        << show(w);
    // Back from the console the engine is still running: no reset.
    s.machine().clearTrace();
    s.switchAway();
    s.switchBack();
    for (const RegWrite &r : engineWrites(s))
        EXPECT_NE(r.offset, 0x8504u);
}

TEST(NeltoReset, HungEngineEndsThroughTheWatchdog) {
    graf::Config cfg = neltoConfig(64, 16, 8);
    cfg.strings["ENGINE"] = "hangs";
    std::vector<std::string> reported;
    harness::Screen s("nelto", cfg,
                      {.reporter = [&](const std::string &m) { reported.push_back(m); }});
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_NE(s.abortMessage().find("watchdog"), std::string::npos) << s.abortMessage();
}

// The one long test: with the watchdog out of the way, the bounded wait
// gives up after 0x8FFFFFF polls.
TEST(NeltoReset, HungEngineEndsTheServerAfterTheBoundedWait) {
    graf::Config cfg = neltoConfig(64, 16, 8);
    cfg.strings["ENGINE"] = "hangs";
    harness::Screen s("nelto", cfg, {.reporter = [](const std::string &) {}});
    s.machine().setPollLimit(0x10000000);
    s.machine().setTracing(false);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "nelto timeout");
    EXPECT_TRUE(s.abortMessage().empty());
}

// ---- the mode set ----

class NeltoModeSet : public NeltoScreen {};

TEST_P(NeltoModeSet, ProgramsTheWindowAndDefaultsAndClearsEveryByte) {
    startScreen(64, 16);
    sim::NeltoAdapter &a = adapter();
    a.vga().crtc.clearWrites();
    s->machine().clearTrace();
    s->setText();
    EXPECT_EQ(a.cr(0x58) & 0x13, 0);
    EXPECT_EQ(a.cr(0x40) & 0x01, 0);
    s->setGraphics();
    std::vector<sim::vga::IndexedRegisters::Write> cr;
    for (const auto &w : a.vga().crtc.writes())
        if (w.index >= 0x38)
            cr.push_back(w);
    // After the mode procedure (which locks the registers again): the
    // unlock, the enhanced mode, the window at MEMORY's base (0xE0000000),
    // the memory-mapped registers and the linear window.
    size_t from = 0;
    for (size_t i = 0; i < cr.size(); i++)
        if (cr[i].index == 0x38 && cr[i].value == 0x48)
            from = i;
    std::vector<uint8_t> order;
    for (size_t i = from; i < cr.size(); i++)
        order.push_back(cr[i].index);
    EXPECT_EQ(order, (std::vector<uint8_t>{0x38, 0x39, 0x40, 0x59, 0x5A, 0x53, 0x58}));
    ASSERT_GT(cr.size(), from + 1);
    EXPECT_EQ(cr[from + 1].value, 0xAD);
    EXPECT_EQ(a.cr(0x59), 0xE0);
    EXPECT_EQ(a.cr(0x5A), 0x00);
    EXPECT_EQ(a.cr(0x53) & 0x08, 0x08);
    EXPECT_EQ(a.cr(0x58) & 0x13, 0x13);
    EXPECT_EQ(a.cr(0x40) & 0x01, 0x01);
    EXPECT_EQ(a.undecodedAccesses(), 0);

    const sim::NeltoEngineRegs &r = engine().regs();
    int columns = depth == 32 ? 64 * 4 : 64;
    EXPECT_EQ(r.clipX, uint32_t(columns - 1));
    EXPECT_EQ(r.clipY, 15u);
    uint32_t pitch = uint32_t(64 * bytesPerPixel(depth));
    EXPECT_EQ(r.strides, pitch | pitch << 16);
    EXPECT_EQ(r.strides2, pitch | pitch << 16);
    EXPECT_EQ(r.monoPattern0, ~0u);
    EXPECT_EQ(r.monoPattern1, ~0u);
    // Every command carries the format term; at depth 32 it is 0, never
    // the formula's all-ones field.
    for (const RegWrite &w : engineWrites(*s)) {
        if (w.offset == 0xA500) {
            EXPECT_EQ(w.value & 0x1C, format()) << std::hex << w.value;
        }
    }
    // The clear ran to its end and left every byte of the screen 0.
    EXPECT_FALSE(engine().busy());
    s->drain();
    const uint8_t *mem = s->screenMemory();
    size_t nonzero = 0;
    for (size_t i = 0; i < size_t(16) * pitch; i++)
        nonzero += mem[i] != 0;
    EXPECT_EQ(nonzero, 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, NeltoModeSet, testing::ValuesIn(kDepths), depthName);

TEST(NeltoScreenState, BlankScreenTogglesSR1Only) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::NeltoAdapter &a = neltoOf(s);
    uint8_t before = a.sr(1);
    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_TRUE(a.blanked());
    EXPECT_EQ(a.sr(1), uint8_t(before | 0x20));
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_FALSE(a.blanked());
    EXPECT_EQ(a.sr(1), uint8_t(before & ~0x20));
}

TEST(NeltoScreenState, SwitchWhileTheEngineRunsWaitsFirst) {
    harness::Screen s("nelto", neltoConfig(64, 16, 16), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drawSolidRects({{0, 0, 64, 16}}, 0x1234);
    s.copyRect({0, 0, 30, 10}, {5, 5});
    ASSERT_TRUE(neltoOf(s).neltoEngine().busy());
    s.switchAway();
    s.switchBack();
    s.mirror() = ref::Canvas(64, 16, 2, 16);
    EXPECT_SCREEN_SAME(s);
}

// ---- the hardware clip ----

TEST(NeltoClip, FirstBoxOrTheScreen) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const sim::NeltoEngineRegs &r = neltoOf(s).neltoEngine().regs();
    s.setClipRegions({{10, 2, 30, 9}, {0, 0, 64, 16}});
    EXPECT_EQ(r.clipX, 10u << 16 | 29u);
    EXPECT_EQ(r.clipY, 2u << 16 | 8u);
    // The clip bounds what the engine draws.
    s.fillRandom(4);
    s.drawSolidRects({{0, 0, 64, 16}}, 0x77, GXcopy);
    s.mirror() = s.readScreen();
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 64; x++) {
            if (x >= 10 && x < 30 && y >= 2 && y < 9) {
                EXPECT_EQ(s.mirror().get(x, y), 0x77u);
            }
        }
    // An empty first box draws nothing, rather than wrapping to all.
    s.setClipRegions({{0, 0, 0, 5}});
    ref::Canvas before = s.readScreen();
    s.drawSolidRects({{0, 0, 64, 16}}, 0x11, GXcopy);
    EXPECT_EQ(ref::compare(before, s.readScreen()).count, 0);
    s.setClipRegions({});
    EXPECT_EQ(r.clipX, 63u);
    EXPECT_EQ(r.clipY, 15u);
    s.syncMirror();
    s.drawSolidRects({{0, 0, 64, 16}}, 0x22, GXcopy);
    EXPECT_SCREEN_SAME(s);
}

// ---- GC and window records ----

TEST(NeltoRecords, OpaqueStippleFollowsItsColours) {
    harness::Screen s("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    PixmapPtr st = s.stipple({"X.", ".X"});
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3, .stipple = st});
    PrivOps *solid = s.ops(gc);
    EXPECT_EQ(solid->FillRects, genSolidFillRects);
    // A colour change alone re-chooses the record.
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 4, .stipple = st},
               GCBackground);
    EXPECT_EQ(s.ops(gc)->FillRects, genOpStippledFillRects);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4, .stipple = st},
               GCForeground);
    EXPECT_EQ(s.ops(gc), solid);
    s.fillRandom(2);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 9, .stipple = st},
               GCBackground);
    s.fillRects(gc, {{2, 2, 40, 12}});
    EXPECT_SCREEN_SAME(s);
    // Other changes on other styles leave the record alone.
    GCPtr tiled = s.createGC({.fillStyle = FillTiled, .tile = s.tile(1, 1, {5})});
    PrivOps *ops = s.ops(tiled);
    s.changeGC(tiled, {.fillStyle = FillSolid}, GCForeground);
    EXPECT_EQ(s.ops(tiled), ops);
}

// Two screens of one library at different depths: each keeps its own image
// and segment routines.
TEST(NeltoRecords, ScreensOfTwoDepthsKeepTheirOwnRoutines) {
    harness::Screen a("nelto", neltoConfig(64, 16, 8), quiet());
    ASSERT_TRUE(a.start()) << a.failureText();
    harness::Screen b("nelto", neltoConfig(64, 16, 24),
                      {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(b.start()) << b.failureText();
    EXPECT_NE(a.winOps()->DrawImage, b.winOps()->DrawImage);
    GCPtr ga = a.createGC({.fg = 7});
    GCPtr gb = b.createGC({.fg = 0x123456});
    EXPECT_NE(a.ops(ga)->slot3.ZeroSegs, b.ops(gb)->slot3.ZeroSegs);
    for (harness::Screen *s : {&a, &b}) {
        s->fillRandom(5);
        std::vector<uint8_t> pixels(size_t(20 * 4 * 4), 0x5C);
        s->drawImage({3, 3, 23, 7}, pixels, 20 * 4, GXcopy);
        GCPtr gc = s == &a ? ga : gb;
        ZeroSegRec seg{};
        seg.x = 1;
        seg.y = 10;
        seg.signdx = 1;
        seg.signdy = 1;
        seg.len = 30;
        seg.e = -30;
        seg.e1 = 2;
        seg.e2 = -58;
        s->zeroSegs(gc, {seg});
        EXPECT_SCREEN_SAME(*s);
    }
    b.freeScreen();
    a.freeScreen();
}

TEST(NeltoLife, GenerationsAndClose) {
    harness::Screen s("nelto", neltoConfig(64, 16, 16), quiet());
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

} // namespace
} // namespace neltotest
