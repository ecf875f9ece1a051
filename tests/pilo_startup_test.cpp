// The pilo driver's start-up: the engine presence test, the records it hands
// over, the visual of each depth and its keys, the memory code, the board's
// ports and flags, and every failure of Init with its message.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

// Probe and Init only: the layout tests need no root window or mirror.
bool initOnly(harness::Screen &s) {
    return s.probe() && s.init();
}

// ---------------------------------------------------------------- probe --

TEST(PiloProbe, FindsTheEngineByTheErrorTermEchoAndLocksAgain) {
    harness::Screen s("pilo", boardConfig(1024, 8, 1024, 768),
                      {.reporter = HARNESS_GTEST_REPORTER});
    sim::PiloAdapter &a = board(s);
    EXPECT_TRUE(s.probe());
    ASSERT_FALSE(server::pixmapFormats().empty());
    EXPECT_EQ(server::pixmapFormats().back().depth, 8);
    EXPECT_EQ(a.engine().regs().errTerm, 0x123);
    EXPECT_EQ(a.cr(0x38), 0xB7);
    EXPECT_EQ(a.cr(0x39), 0x5A);
    // With CR39 locked again the engine's ports stay on: the write to CR40
    // is one the lock ignores.
    ASSERT_FALSE(a.lockedWrites().empty());
    EXPECT_EQ(a.lockedWrites().back().index, 0x40);
}

TEST(PiloProbe, FailsWithoutTheEngineAndRegistersNothing) {
    graf::Config c = boardConfig(1024, 8, 1024, 768);
    c.ints["ENGINE"] = 0;
    harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
    EXPECT_FALSE(s.probe());
    EXPECT_TRUE(server::pixmapFormats().empty());
}

TEST(PiloProbe, ReturnsWhatThePixmapFormatCallReturns) {
    harness::Screen s("pilo", boardConfig(1024, 4, 640, 480), {.reporter = HARNESS_GTEST_REPORTER});
    server::setPixmapFormatResult(0);
    EXPECT_FALSE(s.probe());
    ASSERT_EQ(server::pixmapFormats().size(), 1u);
    EXPECT_EQ(server::pixmapFormats()[0].depth, 4);
    EXPECT_EQ(server::pixmapFormats()[0].bitsPerPixel, 8); // one byte a pixel in pixmaps
}

// -------------------------------------------------------------- records --

TEST(PiloRecords, HandsOverItsRecordsHooksAndOptions) {
    harness::Screen s("pilo", boardConfig(1024, 8, 1024, 768),
                      {.reporter = HARNESS_GTEST_REPORTER});
    EXPECT_STREQ(s.info()->driverName, "pilo");
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();
    SysInfo *si = s.sysInfo();
    ASSERT_NE(si, nullptr);
    EXPECT_EQ(si->sysInfoWord0, 0);
    EXPECT_TRUE(si->SetGraphics && si->SetText && si->SaveGState && si->RestoreGState &&
                si->FreeScreen);
    EXPECT_EQ(si->sysInfoFlag1, 1);
    EXPECT_EQ(si->sysInfoFlag2, 1);
    EXPECT_EQ(si->sysInfoFlag3, 1);
    EXPECT_EQ(si->sysInfoValue, 5.0f);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().optionFlags, 0); // single-segment ZeroSeg
    nfbScreenPrivate *nfb = s.nfb();
    EXPECT_NE(nfb->SetColor, nullptr);
    EXPECT_NE(nfb->LoadColormap, nullptr);
    EXPECT_NE(nfb->BlankScreen, nullptr);
    EXPECT_NE(nfb->ValidateWindowPriv, nullptr);
    EXPECT_EQ(s.ops(s.createGC()), nfb->gcTemplate->ops);
    EXPECT_NE(s.screen()->QueryBestSize, nullptr);
    EXPECT_NE(s.defaultColormap(), nullptr);
    EXPECT_TRUE(ran("SetGraphics"));
    EXPECT_EQ(s.screen()->mmWidth, 320);
    EXPECT_EQ(s.screen()->mmHeight, 240);

    // Best sizes: a cursor is 64 x 64 whatever was asked; smaller tiles and
    // stipples stay as asked; another class changes nothing.
    struct Ask {
        int cls;
        uint16_t w, h, wantW, wantH;
    };
    for (const Ask &q : {Ask{CursorShape, 16, 100, 64, 64}, Ask{TileShape, 10, 20, 10, 20},
                         Ask{StippleShape, 30, 40, 30, 40}, Ask{7, 3000, 3000, 3000, 3000}}) {
        uint16_t w = q.w, h = q.h;
        s.screen()->QueryBestSize(q.cls, &w, &h, s.screen());
        EXPECT_EQ(w, q.wantW) << "class " << q.cls;
        EXPECT_EQ(h, q.wantH) << "class " << q.cls;
    }
}

// A GC gets the record of its fill style; an opaque stipple in one colour is
// a solid fill, while a tile or a transparent stipple stays what it is.
TEST(PiloValidation, RecordsByFillStyle) {
    for (int depth : {8, 16}) {
        harness::Screen s("pilo", smallConfig(depth), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        PrivOps *solid = s.ops(s.createGC());
        PixmapPtr tile = s.tile(2, 1, {1, 2});
        PixmapPtr stipple = s.stipple({"X."});
        PrivOps *tiled =
            s.ops(s.createGC({.fillStyle = FillTiled, .fg = 3, .bg = 3, .tile = tile}));
        PrivOps *stippled =
            s.ops(s.createGC({.fillStyle = FillStippled, .fg = 3, .bg = 3, .stipple = stipple}));
        GCPtr opaque =
            s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 4, .stipple = stipple});
        PrivOps *opStippled = s.ops(opaque);
        EXPECT_NE(tiled, solid);
        EXPECT_NE(stippled, solid);
        EXPECT_NE(opStippled, solid);
        EXPECT_NE(opStippled, stippled);
        s.changeGC(opaque, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4, .stipple = stipple},
                   GCForeground);
        EXPECT_EQ(s.ops(opaque), solid);
        // A change of other values leaves the record alone.
        s.changeGC(opaque, {.fillStyle = FillTiled, .fg = 4, .bg = 4, .tile = tile}, GCFunction);
        EXPECT_EQ(s.ops(opaque), solid);
    }
}

// -------------------------------------------------------------- visuals --

struct VisualCase {
    const char *name;
    int depth;
    std::vector<std::pair<const char *, int>> keys;
    int cls, rgbBits, entries;
    uint32_t red, green, blue, offRed, offGreen, offBlue;
    int dacShift;
};

class PiloVisual : public testing::TestWithParam<VisualCase> {};

TEST_P(PiloVisual, IsTheDepthsWithItsKeys) {
    const VisualCase &v = GetParam();
    int width = v.depth == 16 ? 640 : 1024;
    graf::Config c = boardConfig(1024, v.depth, width, 480);
    for (const auto &[key, value] : v.keys)
        c.ints[key] = value;
    harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(initOnly(s)) << s.failureText();
    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &got = s.screen()->visuals[0];
    EXPECT_EQ(got.class_, v.cls);
    EXPECT_EQ(got.nplanes, v.depth);
    EXPECT_EQ(got.bitsPerRGBValue, v.rgbBits);
    EXPECT_EQ(got.ColormapEntries, v.entries);
    EXPECT_EQ((std::vector<uint32_t>{got.redMask, got.greenMask, got.blueMask}),
              (std::vector<uint32_t>{v.red, v.green, v.blue}));
    EXPECT_EQ((std::vector<uint32_t>{got.offsetRed, got.offsetGreen, got.offsetBlue}),
              (std::vector<uint32_t>{v.offRed, v.offGreen, v.offBlue}));
    EXPECT_EQ(privateOf(s).dacShift, v.dacShift);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PiloVisual,
    testing::Values(
        VisualCase{"Depth4", 4, {}, PseudoColor, 6, 16, 0, 0, 0, 0, 0, 0, 10},
        VisualCase{"Depth8", 8, {}, PseudoColor, 6, 256, 0, 0, 0, 0, 0, 0, 10},
        VisualCase{"Depth8Rgb8", 8, {{"RGBBITS", 8}}, PseudoColor, 8, 256, 0, 0, 0, 0, 0, 0, 8},
        // A shift below 0 is none the DAC has: the key counts as absent.
        VisualCase{"Depth8Rgb17", 8, {{"RGBBITS", 17}}, PseudoColor, 6, 256, 0, 0, 0, 0, 0, 0, 10},
        // Depth 16: 5-5-5 by default, 32 entries; the palette shift is the
        // 6-bit DAC's.
        VisualCase{"Depth16", 16, {}, TrueColor, 5, 32, 0x7C00, 0x3E0, 0x1F, 10, 5, 0, 10},
        VisualCase{"Depth16Masks565",
                   16,
                   {{"RGBBITS", 6}, {"REDMASK", 0xF800}, {"GRNMASK", 0x7E0}, {"BLUMASK", 0x1F}},
                   TrueColor,
                   6,
                   64,
                   0xF800,
                   0x7E0,
                   0x1F,
                   11,
                   5,
                   0,
                   10},
        // 1 << 16 entries do not fit the visual's count; a mask of 0 or one
        // past the pixel's 16 bits is no mask.
        VisualCase{"Depth16OutOfRange",
                   16,
                   {{"RGBBITS", 16}, {"REDMASK", 0}, {"GRNMASK", 0x10000}},
                   TrueColor,
                   5,
                   32,
                   0x7C00,
                   0x3E0,
                   0x1F,
                   10,
                   5,
                   0,
                   10}),
    [](const testing::TestParamInfo<VisualCase> &i) { return std::string(i.param.name); });

TEST(PiloMonitor, EitherSizeKeyMissingGivesTheDefaultSize) {
    graf::Config c = boardConfig(1024, 8, 640, 480);
    c.ints.erase("MON_HEIGHT");
    c.ints["MON_WIDTH"] = 400;
    harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(initOnly(s)) << s.failureText();
    EXPECT_EQ(s.screen()->mmWidth, 250);
    EXPECT_EQ(s.screen()->mmHeight, 180);
}

TEST(PiloMemory, CodeOneIsLoggedAndTakenAsOneMegabyte) {
    graf::Config c = boardConfig(2048, 8, 1024, 768);
    c.ints["CR36"] = 0xA0; // bits 6-5: 01
    harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(initOnly(s)) << s.failureText();
    EXPECT_EQ(privateOf(s).memoryKB, 1024);
    EXPECT_TRUE(
        errorLogged("piloInit(): card not reporting memory size correctly, assuming 1 Meg.\n"));
}

TEST(PiloBoardState, PortsFlagsAndKeysComeFromTheBoard) {
    struct Case {
        int cr32, modeAssist, adjust;
        bool mono;
    };
    for (const Case &c : {Case{0x00, 1, 1, false}, Case{0x08, 0, 0, true}}) {
        graf::Config cfg = boardConfig(1024, 8, 640, 480);
        cfg.ints["CR32"] = c.cr32;
        cfg.ints["MODEASSIST"] = c.modeAssist;
        cfg.ints["ADJCR13"] = c.adjust;
        harness::Screen s("pilo", cfg, {.reporter = HARNESS_GTEST_REPORTER});
        if (c.mono) {
            // Monochrome addressing: the CRTC and status at 0x3Bx, and an
            // engine the procedure left on.
            s.machine().portOut(0x3C2, 1, 0x66);
        }
        ASSERT_TRUE(initOnly(s)) << s.failureText();
        const Private &p = privateOf(s);
        EXPECT_EQ(p.textDacOn, c.cr32 ? 0 : 1);
        EXPECT_EQ(p.graphicsShown, c.cr32 ? 0 : 1);
        EXPECT_EQ(p.modeAssist, c.modeAssist);
        EXPECT_EQ(p.adjustCR13, c.adjust);
        EXPECT_EQ(p.crtcIndexPort, c.mono ? 0x3B4 : 0x3D4);
        EXPECT_EQ(p.crtcDataPort, c.mono ? 0x3B5 : 0x3D5);
        EXPECT_EQ(p.statusPort, c.mono ? 0x3BA : 0x3DA);
    }
}

// ------------------------------------------------------------ failures --

TEST(PiloInitFailure, MissingOrBadKeysEndTheServerWithTheirMessage) {
    struct Case {
        const char *key;
        int value; // INT32_MIN: removed
        const char *message;
    };
    const Case cases[] = {
        {"PIXWIDTH", INT32_MIN, "missing or invalid grafinfo value for PIXWIDTH"},
        {"PIXWIDTH", 0, "missing or invalid grafinfo value for PIXWIDTH"},
        {"PIXHEIGHT", INT32_MIN, "missing or invalid grafinfo value for PIXHEIGHT"},
        {"PIXHEIGHT", -3, "missing or invalid grafinfo value for PIXHEIGHT"},
        {"DEPTH", INT32_MIN, "missing grafinfo value for DEPTH"},
        {"DEPTH", 15, "invalid grafinfo value for DEPTH"},
    };
    for (const Case &c : cases) {
        graf::Config cfg = boardConfig(1024, 8, 640, 480);
        if (c.value == INT32_MIN)
            cfg.ints.erase(c.key);
        else
            cfg.ints[c.key] = c.value;
        harness::Screen s("pilo", cfg, {.depth = 8, .reporter = {}});
        EXPECT_FALSE(initOnly(s)) << c.key;
        EXPECT_EQ(s.fatalMessage(), std::string("piloInit(): ") + c.message + ".\n") << c.key;
    }
}

TEST(PiloInitFailure, ServerRefusalsReturnZero) {
    for (int step = 0; step < 4; step++) {
        harness::Screen s("pilo", boardConfig(1024, 8, 640, 480));
        ASSERT_TRUE(s.probe());
        server::failScreenInit(step == 0);
        server::failAddVisual(step == 1);
        server::failCreateColormap(step == 2);
        if (step == 3)
            server::failAllocationAfter(0);
        EXPECT_FALSE(s.init()) << step;
        EXPECT_TRUE(s.fatalMessage().empty()) << step;
        // Nothing is kept.
        EXPECT_EQ(server::liveBlockCount(), 0u) << step;
        server::failScreenInit(false);
        server::failAddVisual(false);
        server::failCreateColormap(false);
        server::failAllocationAfter(-1);
    }
}

// Without its mode procedure, or when it fails, the screen would be drawn
// but never shown and the engine found stopped: Init refuses with one
// message, leaves text mode behind and keeps nothing.
TEST(PiloInitFailure, MissingOrFailingModeProcedureIsRefused) {
    struct Case {
        const char *name;
        void (*edit)(graf::Builder &);
    };
    const Case cases[] = {
        {"missing", [](graf::Builder &g) { g.without("SetGraphics"); }},
        {"failing", [](graf::Builder &g) { g.procedure("SetGraphics", "fail"); }},
    };
    for (const Case &c : cases) {
        for (int depth : {4, 16}) {
            SCOPED_TRACE(std::string(c.name) + " at depth " + std::to_string(depth));
            graf::Builder g;
            g.config() = smallConfig(depth);
            c.edit(g);
            harness::Screen s("pilo", g.build(), {.depth = depth, .reporter = {}});
            ASSERT_TRUE(s.probe());
            EXPECT_FALSE(s.init());
            EXPECT_TRUE(s.fatalMessage().empty());
            EXPECT_TRUE(errorLogged("grafinfo file needs PROCEDURE SetGraphics\n"));
            EXPECT_TRUE(ran("SetText"));
            EXPECT_EQ(server::liveBlockCount(), 0u);
        }
    }
}

// A refused private index is asked for again: the next Init of the same
// generation succeeds instead of using an index it never got.
TEST(PiloInitFailure, RefusedPrivateIndexIsAskedForAgain) {
    harness::Screen s("pilo", boardConfig(1024, 8, 640, 480), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.probe());
    server::failScreenPrivateIndex(true);
    EXPECT_FALSE(s.init());
    server::failScreenPrivateIndex(false);
    EXPECT_TRUE(s.init()) << s.failureText();
    EXPECT_EQ(privateOf(s).width, 640);
}

// ------------------------------------------------------------ lifecycle --

TEST(PiloLifecycle, CloseScreenPutsTheHookBackAndFreesThePrivate) {
    harness::Screen s("pilo", boardConfig(1024, 8, 640, 480), {.reporter = HARNESS_GTEST_REPORTER});
    auto *before = s.screen()->QueryBestSize;
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_NE(s.screen()->QueryBestSize, before);
    const int index = privateIndex();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(privateIndex(), index + 1); // a new generation, a new index
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
