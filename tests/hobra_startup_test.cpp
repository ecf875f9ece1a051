// The hobra driver's start-up on the ibm8514 board model: the probe with its
// engine echo, Init over its grafinfo keys with every failure and its
// message, the off-screen layouts of the example boards, the engine start's
// register sequence, GC validation and two server generations.
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "hobra_fixture.h"
#include "server.h"

namespace {

using namespace hobratest;

harness::Options opts() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// ---------------------------------------------------------- example boards --

TEST(HobraStartup, EightPlaneBoardHandsOverItsRecordsAndLaysOutTheLinesBelow) {
    harness::Screen s("hobra", board(kBoard8), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();

    const server::PixmapFormat &f = server::pixmapFormats().back();
    EXPECT_EQ((std::vector<int>{f.depth, f.bitsPerPixel}), (std::vector<int>{8, 8}));
    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.class_, PseudoColor);
    EXPECT_EQ(v.nplanes, 8);
    EXPECT_EQ(v.ColormapEntries, 256);
    EXPECT_EQ(v.bitsPerRGBValue, 6);
    EXPECT_EQ(s.screen()->mmWidth, 320);
    EXPECT_EQ(s.screen()->mmHeight, 240);

    SysInfo *si = s.sysInfo();
    ASSERT_NE(si, nullptr);
    EXPECT_TRUE(si->SetGraphics && si->SetText && si->SaveGState && si->RestoreGState &&
                si->FreeScreen);
    EXPECT_EQ(si->sysInfoFlag3, 1);
    EXPECT_EQ(si->sysInfoValue, 5.0f);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().optionFlags, 0);
    EXPECT_NE(s.registered().spriteFuncs, nullptr);
    nfbScreenPrivate *nfb = s.nfb();
    EXPECT_EQ(nfb->driverFlag, 1);
    EXPECT_TRUE(nfb->SetColor && nfb->LoadColormap && nfb->BlankScreen && nfb->ValidateWindowPriv);
    EXPECT_NE(reinterpret_cast<void *>(nfb->LoadColormap),
              reinterpret_cast<void *>(genLoadColormap));

    Private &p = privateOf(s);
    EXPECT_EQ((std::vector<int>{p.width, p.height, p.depth, p.dacShift}),
              (std::vector<int>{1024, 768, 8, 10}));
    EXPECT_EQ((std::vector<int>{p.saveUnderX, p.saveUnderY, p.saveUnderSize, p.cursorMax}),
              (std::vector<int>{0, 768, 64, 48}));
    EXPECT_EQ((std::vector<int>{p.cursorFgX, p.cursorFgY, p.cursorBgX, p.cursorBgY}),
              (std::vector<int>{64, 768, 112, 768}));
    EXPECT_EQ(rect(p.tileArea), (std::vector<int>{160, 768, 864, 64}));
    EXPECT_EQ(rect(p.planeArea), (std::vector<int>{0, 832, 1024, 192}));
    EXPECT_EQ(box(p.fullClip), (std::vector<int>{0, 0, 1024, 1024}));
    EXPECT_EQ(box(p.clip), box(p.fullClip));
    EXPECT_EQ((std::vector<int>{p.palWrite, p.palRead, p.palMask, p.palData}),
              (std::vector<int>{0x2EC, 0x2EB, 0x2EA, 0x2ED}));
    EXPECT_EQ(p.pendingCapacity, 256);
    EXPECT_EQ(p.pendingCount, 0);
    EXPECT_NE(p.pending, nullptr);
    EXPECT_EQ(p.blanked, 0);
    EXPECT_EQ(p.waitBeforeData, 0);

    // "SetGraphics" showed the engine's picture; the scissors span fullClip.
    sim::HobraAdapter &a = adapter(s);
    EXPECT_TRUE(a.displayOn());
    const sim::S3Regs &r = a.engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{0, 0, 1023, 1023}));

    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(HobraStartup, FourPlaneBoardReachesTheStripBesideTheScreen) {
    harness::Screen s("hobra", board(kBoard4), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.nplanes, 4);
    EXPECT_EQ(v.ColormapEntries, 16);
    EXPECT_EQ(s.screen()->mmWidth, 274); // no MON keys
    EXPECT_EQ(s.screen()->mmHeight, 207);
    Private &p = privateOf(s);
    EXPECT_EQ(box(p.fullClip), (std::vector<int>{0, 0, 1024, 1024}));
    EXPECT_EQ(rect(p.tileArea), (std::vector<int>{800, 0, 224, 64}));
    EXPECT_EQ(rect(p.planeArea), (std::vector<int>{640, 64, 384, 960}));
    const sim::S3Regs &r = adapter(s).engine().regs();
    EXPECT_EQ(r.scissorRight, 1023);
    EXPECT_EQ(r.scissorBottom, 1023);
    s.freeScreen();
}

// ------------------------------------------------------------------ probe --

TEST(HobraProbe, WithoutAnEngineEchoItReadsNoKey) {
    // DEPTH 16 would be reported if the probe read it.
    graf::Config c = board();
    c.strings["BOARD"] = "none";
    c.ints["DEPTH"] = 16;
    harness::Screen s("hobra", c, opts());
    const size_t formats = server::pixmapFormats().size();
    EXPECT_EQ(s.probe(), 0);
    EXPECT_TRUE(server::errorMessages().empty());
    EXPECT_EQ(server::pixmapFormats().size(), formats);
}

TEST(HobraProbe, IgnoreProbeSkipsTheEcho) {
    graf::Config c = board();
    c.strings["BOARD"] = "none";
    c.flags.push_back("IGNOREPROBE");
    harness::Screen s("hobra", c, opts());
    EXPECT_EQ(s.probe(), 1) << s.failureText();
    EXPECT_TRUE(s.machine().trace().empty()); // not a port touched
}

TEST(HobraProbe, KeysAndTheirFailures) {
    struct Case {
        const char *name;
        std::function<void(graf::Config &)> change;
        Bool result;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"depth 4", [](graf::Config &c) { c.ints["DEPTH"] = 4; }, 1, nullptr},
        {"depth 16", [](graf::Config &c) { c.ints["DEPTH"] = 16; }, 0,
         "hobraProbe(): bad grafinfo DEPTH(16)\n"},
        {"no DEPTH", [](graf::Config &c) { c.ints.erase("DEPTH"); }, 0, nullptr},
        {"no PIXWIDTH", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); }, 0, nullptr},
        {"no PIXHEIGHT", [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); }, 0, nullptr},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        server::clearErrorMessages();
        graf::Config c = board();
        k.change(c);
        harness::Screen s("hobra", c, opts());
        EXPECT_EQ(s.probe(), k.result);
        if (k.message)
            EXPECT_EQ(server::errorMessages(), std::vector<std::string>{k.message});
        else
            EXPECT_TRUE(server::errorMessages().empty());
    }
    harness::Screen s("hobra", board(), opts());
    server::setPixmapFormatResult(0);
    EXPECT_EQ(s.probe(), 0);
    server::setPixmapFormatResult(1);
}

// ------------------------------------------------------------------- Init --

TEST(HobraInit, RequiredKeysEndTheServerByName) {
    for (const char *key :
         {"PIXWIDTH", "PIXHEIGHT", "DEPTH", "OFFSCRX", "OFFSCRY", "OFFSCRW", "OFFSCRH"}) {
        SCOPED_TRACE(key);
        graf::Config c = board();
        c.ints.erase(key);
        harness::Screen s("hobra", c, {});
        EXPECT_EQ(s.init(), 0);
        EXPECT_EQ(s.fatalMessage(), std::string("HOBRA: need grafinfo value for ") + key + "\n");
    }
}

TEST(HobraInit, OffScreenSizeLimits) {
    const std::string message =
        "HOBRA: off-screen memory needs at least 128 lines and be > 170  pixels wide.\n";
    struct Case {
        int width, height;
        bool fatal;
    };
    // The width is compared unsigned: -1 passes this check, and the area's
    // place refuses it (below).
    for (const Case &k : {Case{170, 256, true}, Case{1024, 127, true}, Case{171, 128, false}}) {
        SCOPED_TRACE(std::to_string(k.width) + " x " + std::to_string(k.height));
        graf::Config c = board();
        c.ints["OFFSCRW"] = k.width;
        c.ints["OFFSCRH"] = k.height;
        harness::Screen s("hobra", c, {});
        ASSERT_EQ(s.probe(), 1);
        EXPECT_EQ(s.init(), k.fatal ? 0 : 1) << s.failureText();
        EXPECT_EQ(s.fatalMessage(), k.fatal ? message : "");
        if (!k.fatal)
            s.freeScreen();
    }
}

// The area must lie in the 1024 x 1024 pixels of video memory, off the
// visible screen, from a column the across-plane transfer can start at (a
// multiple of 4): else one message ends the server.
TEST(HobraInit, OffScreenPlaceIsChecked) {
    struct Case {
        int x, y, width, height;
        bool fatal;
    };
    const Case cases[] = {
        {642, 0, 256, 512, true},   // not a multiple of 4
        {644, 0, 256, 512, false},  // beside a 640 x 480 screen
        {640, 0, 385, 512, true},   // past the right edge of memory
        {0, 900, 1024, 128, true},  // past the last line
        {0, 896, 1024, 128, false}, // up to the last line
        {-4, 768, 1024, 128, true}, // negative origin
        {0, 768, -1, 128, true},    // negative width
        {0, 400, 1024, 128, true},  // over the screen
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(std::to_string(k.x) + ", " + std::to_string(k.y) + ", " +
                     std::to_string(k.width) + " x " + std::to_string(k.height));
        graf::Config c = board();
        c.ints["PIXWIDTH"] = 640;
        c.ints["PIXHEIGHT"] = 480;
        c.ints["OFFSCRX"] = k.x;
        c.ints["OFFSCRY"] = k.y;
        c.ints["OFFSCRW"] = k.width;
        c.ints["OFFSCRH"] = k.height;
        harness::Screen s("hobra", c, {});
        ASSERT_EQ(s.probe(), 1);
        EXPECT_EQ(s.init(), k.fatal ? 0 : 1) << s.failureText();
        char text[200];
        std::snprintf(text, sizeof text,
                      "HOBRA: off-screen memory at (%d, %d), %d x %d, must lie in video memory "
                      "(1024 x 1024) off the screen, from a column that is a multiple of 4.\n",
                      k.x, k.y, k.width, k.height);
        EXPECT_EQ(s.fatalMessage(), k.fatal ? text : "");
        if (!k.fatal)
            s.freeScreen();
    }
}

TEST(HobraInit, InvalidDimensionsFailWithTwoMessagesAndKeepNothing) {
    for (auto [key, value, text] :
         {std::tuple{"PIXWIDTH", 0, " invalid dimensions (0x768x8)\n"},
          std::tuple{"PIXHEIGHT", -3, " invalid dimensions (1024x-3x8)\n"},
          // Video memory is 1024 x 1024 pixels.
          std::tuple{"PIXHEIGHT", 1025, " invalid dimensions (1024x1025x8)\n"},
          std::tuple{"PIXWIDTH", 1025, " invalid dimensions (1025x768x8)\n"},
          std::tuple{"DEPTH", 0, " invalid dimensions (1024x768x0)\n"},
          // Probe refuses it too; Init alone must not size a colormap by it.
          std::tuple{"DEPTH", 31, " invalid dimensions (1024x768x31)\n"}}) {
        SCOPED_TRACE(std::string(key) + " " + std::to_string(value));
        server::clearErrorMessages();
        graf::Config c = board();
        c.ints[key] = value;
        harness::Screen s("hobra", c, opts());
        EXPECT_EQ(s.init(), 0);
        EXPECT_EQ(server::errorMessages(),
                  (std::vector<std::string>{"8514a: grafinfo error -", text}));
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

TEST(HobraInit, MonitorSizeNeedsBothKeys) {
    struct Case {
        const char *drop;
        int width, height;
    };
    for (const Case &k :
         {Case{nullptr, 320, 240}, Case{"MON_WIDTH", 274, 207}, Case{"MON_HEIGHT", 274, 207}}) {
        SCOPED_TRACE(k.drop ? k.drop : "both");
        graf::Config c = board();
        if (k.drop)
            c.ints.erase(k.drop);
        harness::Screen s("hobra", c, opts());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.screen()->mmWidth, k.width);
        EXPECT_EQ(s.screen()->mmHeight, k.height);
        s.freeScreen();
    }
}

// Each DAC key alone moves only its own port; the board decodes the DAC
// where the keys say, so the driver's accesses land on it.
TEST(HobraInit, EachPaletteKeyAloneMovesItsPortOnly) {
    const char *keys[] = {"PALWRITE", "PALREAD", "PALMASK", "PALDATA"};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(keys[k]);
        graf::Config c = board();
        c.ints[keys[k]] = 0x3C6 + k;
        harness::Screen s("hobra", c, opts());
        ASSERT_TRUE(s.start()) << s.failureText();
        Private &p = privateOf(s);
        std::vector<int> want = {0x2EC, 0x2EB, 0x2EA, 0x2ED};
        want[size_t(k)] = 0x3C6 + k;
        EXPECT_EQ((std::vector<int>{p.palWrite, p.palRead, p.palMask, p.palData}), want);
        // The pixel mask stays at its own port whatever PALDATA says.
        EXPECT_EQ(s.blankScreen(true), 1);
        EXPECT_EQ(adapter(s).dac().mask(), 0);
        s.freeScreen();
    }
}

TEST(HobraInit, RgbBitsStaysInTheSharedVisual) {
    struct Case {
        int given; // 0: absent
        int taken;
    };
    // In one process: the visual keeps what an earlier Init stored.
    for (const Case &k : {Case{8, 8}, Case{0, 8}, Case{17, 8}, Case{5, 5}, Case{-2, 5}}) {
        SCOPED_TRACE(k.given);
        graf::Config c = board();
        if (k.given)
            c.ints["RGBBITS"] = k.given;
        harness::Screen s("hobra", c, opts());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(s.screen()->visuals[0].bitsPerRGBValue, k.taken);
        EXPECT_EQ(privateOf(s).dacShift, 16 - k.taken);
        s.freeScreen();
    }
}

TEST(HobraInit, OptionalKeysReachThePrivateAndTheRecords) {
    graf::Config c = board(kBoardAti);
    c.ints["F82C481"] = 1;
    c.ints["REPBUG"] = 1;
    harness::Screen s("hobra", c, opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    Private &p = privateOf(s);
    EXPECT_EQ(p.waitBeforeData, 1);
    void (*slow)(uint8_t *, int) = p.apBlockOut;
    SetClipRegionsProc ati = s.winOps()->SetClipRegions;
    s.freeScreen();

    // A board without the keys: the other across-plane routine, and its
    // own clip routine, not the ATI one the screen before it had.
    harness::Screen t("hobra", board(), opts());
    ASSERT_TRUE(t.start()) << t.failureText();
    EXPECT_NE(privateOf(t).apBlockOut, slow);
    EXPECT_EQ(privateOf(t).waitBeforeData, 0);
    EXPECT_NE(t.winOps()->SetClipRegions, ati);
    t.freeScreen();

    // And the ATI board again: the ATI routine.
    harness::Screen u("hobra", c, opts());
    ASSERT_TRUE(u.start()) << u.failureText();
    EXPECT_EQ(u.winOps()->SetClipRegions, ati);
    u.freeScreen();
}

TEST(HobraInit, RefusedIndexOrMemoryFailsInitAndKeepsNothing) {
    {
        harness::Screen s("hobra", board(), opts());
        server::failScreenPrivateIndex(true);
        EXPECT_EQ(s.init(), 0);
        server::failScreenPrivateIndex(false);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
    for (long allowed : {0L, 1L}) { // the private, then the glyph batch
        SCOPED_TRACE(allowed);
        harness::Screen s("hobra", board(), opts());
        server::failAllocationAfter(allowed);
        EXPECT_EQ(s.init(), 0);
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

TEST(HobraInit, FailedLayerCallsFailInit) {
    for (int which = 0; which < 3; which++) {
        SCOPED_TRACE(which);
        harness::Screen s("hobra", board(), opts());
        server::failScreenInit(which == 0);
        server::failAddVisual(which == 1);
        server::failCreateColormap(which == 2);
        EXPECT_EQ(s.init(), 0);
        server::failScreenInit(false);
        server::failAddVisual(false);
        server::failCreateColormap(false);
        EXPECT_TRUE(s.fatalMessage().empty());
    }
}

TEST(HobraInit, MissingSetGraphicsEndsTheServer) {
    graf::Config c = board();
    c.procedures.erase("SetGraphics");
    harness::Screen s("hobra", c, {});
    EXPECT_EQ(s.init(), 0);
    EXPECT_EQ(s.fatalMessage(), "HOBRA: SetGraphics not specified in grafinfo file!\n");
}

// The engine start, write by write, after "SetGraphics"; every write sits
// behind a wait the model accepts.
TEST(HobraInit, EngineStartSequence) {
    harness::Screen s("hobra", board(kBoard4), opts());
    ASSERT_EQ(s.probe(), 1);
    s.machine().clearTrace();
    ASSERT_EQ(s.init(), 1) << s.failureText();
    const std::vector<PortWrite> w = engineWrites(s.machine().trace());
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w[0], (PortWrite{0x4AE8, 0x0003})); // "SetGraphics"
    const std::vector<PortWrite> want = {
        {0x42E8, 0x9000}, {0xFEE8, 0x5006}, {0x42E8, 0x400F}, {0xE2E8, 0x0000},
        {0xE6E8, 0x00FF}, {0xEAE8, 0x00FF}, {0xEEE8, 0x00FF}, {0xF6E8, 0x0007},
        {0xFAE8, 0x0027}, {0xFEE8, 0xA000}, {0xFEE8, 0x8000}, {0xFEE8, 0x9000},
        {0xFEE8, 0x2000}, {0xFEE8, 0x1000}, {0xFEE8, 0x43FF}, {0xFEE8, 0x33FF}};
    EXPECT_EQ(std::vector<PortWrite>(w.begin() + 1, w.end()), want);
    EXPECT_EQ(adapter(s).engine().stats().resets, 1u);
    s.freeScreen();
}

// ------------------------------------------------------------- validation --

TEST(HobraValidate, FillStyleChoosesTheRecord) {
    harness::Screen s("hobra", board(), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    // Each record is told by its fourth slot, the layer's routine of its style.
    auto fillOf = [&](GCPtr gc) { return reinterpret_cast<void *>(s.ops(gc)->GCOp4); };
    auto fill = [](auto f) { return reinterpret_cast<void *>(f); };
    struct Case {
        int style;
        Pixel fg, bg;
        void *record;
    };
    for (const Case &k :
         {Case{FillSolid, 1, 0, fill(genSolidGCOp4)}, Case{FillTiled, 1, 0, fill(genTiledGCOp4)},
          Case{FillStippled, 1, 0, fill(genStippledGCOp4)},
          Case{FillOpaqueStippled, 1, 0, fill(genOpStippledGCOp4)},
          Case{FillOpaqueStippled, 7, 7, fill(genSolidGCOp4)}}) {
        SCOPED_TRACE(k.style);
        GCPtr gc = s.createGC({.fillStyle = k.style, .fg = k.fg, .bg = k.bg});
        EXPECT_EQ(fillOf(gc), k.record);
    }

    // Without the fill-style bit the record stays, whatever else changed.
    GCPtr gc = s.createGC({.fillStyle = FillTiled});
    s.changeGC(gc, {.fillStyle = FillSolid, .alu = GXxor}, GCFunction | GCPlaneMask);
    EXPECT_EQ(fillOf(gc), fill(genTiledGCOp4));

    // An opaque stipple in one colour gets the solid record, and the
    // stippled one back once its colours differ.
    GCPtr op = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3});
    EXPECT_EQ(fillOf(op), fill(genSolidGCOp4));
    s.changeGC(op, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 3}, GCForeground);
    EXPECT_EQ(fillOf(op), fill(genOpStippledGCOp4));
    s.changeGC(op, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4}, GCBackground);
    EXPECT_EQ(fillOf(op), fill(genSolidGCOp4));
    s.freeScreen();
}

// ------------------------------------------------------------ generations --

TEST(HobraGenerations, EveryInitTakesANewIndexAndAFreshPrivate) {
    harness::Screen s("hobra", board(), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    const int first = privateIndex();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(privateIndex(), first + 1);
    EXPECT_EQ(box(privateOf(s).fullClip), (std::vector<int>{0, 0, 1024, 1024}));
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
