// simra at start-up and across console switches: the video-memory layout,
// Probe's depths, Init's failures, the visuals, the engine set-up under the
// adapter-wide mode flag, the window rule, best sizes, validation, blanking
// and the palette.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "simra_fixture.h"

namespace {

using namespace simratest;
using sim::Wd90c33Adapter;
using RW = Wd90c33Adapter::RegWrite;

// ---- layout ----

struct LayoutCase {
    const char *name;
    int memoryKB, depth, width, height;
    int patternX, patternY, stagingY, stagingLines, glyphY, glyphLines;
};

void PrintTo(const LayoutCase &c, std::ostream *os) {
    *os << c.name;
}

class SimraLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SimraLayout, PatternCellStagingAndGlyphArea) {
    const LayoutCase &c = GetParam();
    auto s = startScreen(boardConfig(c.memoryKB, c.depth, c.width, c.height));
    const Private &p = privateOf(*s);
    EXPECT_EQ(p.memorySize, uint32_t(c.memoryKB) * 1024);
    EXPECT_EQ(p.patternX, c.patternX);
    EXPECT_EQ(p.patternY, c.patternY);
    EXPECT_EQ(p.tileAreaX, 0);
    EXPECT_EQ(p.tileAreaY, c.stagingY);
    EXPECT_EQ(p.tileAreaMaxHeight, c.stagingLines / 2);
    EXPECT_EQ(p.tileAreaMaxWidth, c.width / 2);
    EXPECT_EQ(p.glyphAreaY, c.glyphY);
    EXPECT_EQ(p.glyphAreaHeight, c.glyphLines);
    EXPECT_EQ(p.glyphAreaWidth, c.width);
    EXPECT_EQ(p.loadedKey, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, SimraLayout,
    ::testing::Values(
        // 1024 lines: 255 spare, staging capped at 64.
        LayoutCase{"OneMB1024x768x8", 1024, 8, 1024, 768, 64, 768, 769, 64, 833, 191},
        LayoutCase{"OneMB800x600x16", 1024, 16, 800, 600, 64, 600, 601, 26, 627, 28},
        // 512 lines, 28 spare: 14 staging lines would be too few to use.
        LayoutCase{"Staging14Becomes0", 512, 8, 1024, 483, 64, 483, 484, 0, 484, 28},
        // Exactly the screen's lines: nothing beyond it, the cell past the end.
        LayoutCase{"ExactlyPixHeight", 512, 8, 1024, 512, 64, 512, 513, 0, 513, 0},
        // 6553 lines of 160 pixels, of which the engine's 12-bit y reaches 4096.
        LayoutCase{"NarrowScreenEngineReach", 1024, 8, 160, 120, 64, 120, 121, 64, 185, 3911}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimraInit, TooLittleMemoryForTheModeFailsWithItsMessage) {
    harness::Screen s("simra", boardConfig(512, 16, 640, 480));
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(errorLogged("simra: insufficient memory for mode\n"));
    EXPECT_EQ(server::liveBlockCount(), 0u) << "the private of a failed Init is freed";
}

// ---- Probe and Init failures ----

TEST(SimraProbe, AcceptsDepths8To24AndRefusesOthers) {
    for (int depth : {8, 15, 16, 24, 4, 32}) {
        SCOPED_TRACE(depth);
        harness::Screen s("simra", smallConfig(8));
        s.config().depth = uint8_t(depth);
        server::clearErrorMessages();
        const bool ok = depth == 8 || depth == 15 || depth == 16 || depth == 24;
        EXPECT_EQ(s.probe() != 0, ok);
        EXPECT_EQ(errorLogged("simra: unsupported screen depth: " + std::to_string(depth) + "\n"),
                  !ok);
    }
}

TEST(SimraInit, Depth24PassesProbeButInitRefusesIt) {
    graf::Config cfg = boardConfig(1024, 16, 320, 200);
    harness::Screen s("simra", cfg);
    s.config().depth = 24;
    s.config().bitsPerPixel = 24;
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(errorLogged("simra: unsupported screen depth: 24\n"));
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

struct FailCase {
    const char *name;
    const char *drop; // key to remove, "MEMORY" for the default area
    int width;        // PIXWIDTH to set, 0 to keep
    const char *message;
};

class SimraInitFails : public ::testing::TestWithParam<FailCase> {};

TEST_P(SimraInitFails, WithTheMessageAndNothingLeftBehind) {
    const FailCase &c = GetParam();
    graf::Config cfg = smallConfig(8);
    if (std::string(c.drop) == "MEMORY")
        cfg.areas.clear();
    else if (*c.drop)
        cfg.ints.erase(c.drop);
    if (c.width)
        cfg.ints["PIXWIDTH"] = c.width;
    harness::Screen s("simra", cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(errorLogged(c.message)) << s.failureText();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SimraInitFails,
    ::testing::Values(
        FailCase{"NoPixWidth", "PIXWIDTH", 0, "simra: can't find pixel info in grafinfo file.\n"},
        FailCase{"NoPixHeight", "PIXHEIGHT", 0, "simra: can't find pixel info in grafinfo file.\n"},
        // A width of 0 would divide by a zero pitch; one beyond the engine's
        // 12-bit coordinates could not be drawn.
        FailCase{"ZeroWidth", "", -1, "simra: can't find pixel info in grafinfo file.\n"},
        FailCase{"WiderThanTheEngine", "", 4097,
                 "simra: can't find pixel info in grafinfo file.\n"},
        FailCase{"NoMemoryArea", "MEMORY", 0, "simra: missing MEMORY in grafinfo file.\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SimraInit, ServerRefusalsFailSilently) {
    for (int which = 0; which < 4; which++) {
        SCOPED_TRACE(which);
        harness::beginCase();
        harness::Screen s("simra", smallConfig(8));
        ASSERT_TRUE(s.probe());
        if (which == 0)
            server::failScreenInit(true);
        if (which == 1)
            server::failAddVisual(true);
        if (which == 2)
            server::failAllocationAfter(0);
        if (which == 3)
            server::failCreateColormap(true);
        EXPECT_FALSE(s.init());
        server::failAllocationAfter(-1);
        EXPECT_TRUE(server::errorMessages().empty());
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- visuals ----

TEST(SimraVisuals, MaskKeysSetMasksAndOffsetsAndAZeroMaskCountsAsAbsent) {
    graf::Config cfg = boardConfig(1024, 15, 320, 200);
    cfg.ints["REDMASK"] = 0x1F;
    cfg.ints["GRNMASK"] = 0;
    cfg.ints.erase("BLUMASK");
    auto s = startScreen(cfg);
    const VisualRec &v = s->screen()->visuals[0];
    EXPECT_EQ(v.class_, TrueColor);
    EXPECT_EQ(v.nplanes, 15);
    EXPECT_EQ(v.redMask, 0x1Fu);
    EXPECT_EQ(v.offsetRed, 0u);
    EXPECT_EQ(v.greenMask, 0x3E0u) << "a mask of 0 leaves the visual's own";
    EXPECT_EQ(v.offsetGreen, 5u);
    EXPECT_EQ(v.blueMask, 0x1Fu);
    EXPECT_EQ(v.offsetBlue, 0u);
}

TEST(SimraVisuals, Depth8IsPseudoColorWithRgbBits) {
    struct Case {
        int key; // -1: absent
        int bits;
    };
    for (Case c : {Case{-1, 6}, Case{8, 8}, Case{17, 6}, Case{0, 6}}) {
        SCOPED_TRACE(c.key);
        harness::beginCase();
        graf::Config cfg = smallConfig(8);
        if (c.key < 0)
            cfg.ints.erase("RGBBITS");
        else
            cfg.ints["RGBBITS"] = c.key;
        auto s = startScreen(cfg);
        const VisualRec &v = s->screen()->visuals[0];
        EXPECT_EQ(v.class_, PseudoColor);
        EXPECT_EQ(v.ColormapEntries, 256);
        EXPECT_EQ(v.bitsPerRGBValue, c.bits);
    }
}

// ---- engine set-up, mode flag and the console switch ----

std::vector<RW> setupWrites(uint16_t widthMinus1, uint16_t engineWidth, uint16_t lines) {
    return {{3, 0, 0},  {3, 1, engineWidth}, {1, 9, 0}, {1, 10, widthMinus1},
            {1, 11, 0}, {1, 12, lines}};
}

TEST(SimraStart, FirstInitRunsSetGraphicsAndProgramsTheEngineOnce) {
    auto s = startScreen(boardConfig(1024, 16, 800, 600));
    Wd90c33Adapter &b = board(*s);
    EXPECT_TRUE(ran("SetGraphics"));
    EXPECT_EQ(b.regWrites(), setupWrites(799, 800, 655));
    EXPECT_EQ(b.stats().byte20Writes, 1u);
    ASSERT_FALSE(b.bankWrites().empty());
    EXPECT_EQ(b.bankWrites().back(), 0);
    EXPECT_EQ(privateOf(*s).blockShadow, 1u);

    // A new generation finds the flag set: no procedure, no engine register,
    // but the window goes back to 0.
    b.clearLog();
    privateOf(*s).bankBase = 0x5000;
    graf::clearRunLog();
    ASSERT_TRUE(s->nextGeneration()) << s->failureText();
    EXPECT_FALSE(ran("SetGraphics"));
    EXPECT_TRUE(b.regWrites().empty());
    EXPECT_EQ(b.stats().byte20Writes, 0u);
    EXPECT_EQ(b.bankWrites(), std::vector<uint8_t>({0}));
    EXPECT_EQ(privateOf(*s).bankBase, 0u);
    s->freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(SimraStart, SetTextWaitsForTheEngineThenHandsBackTheMode) {
    auto s = startScreen(smallConfig(8));
    Wd90c33Adapter &b = board(*s);
    // An engine fill, started as the driver would, leaves it busy.
    sim::Machine &m = s->machine();
    m.portOut(0x23C0, 2, 1);
    m.portOut(0x23C2, 2, 0x1000 | 0x460);
    m.portOut(0x23C2, 2, 0x0210);
    ASSERT_TRUE(b.busy());
    graf::clearRunLog();
    EXPECT_TRUE(s->setText());
    EXPECT_FALSE(b.busy());
    EXPECT_TRUE(ran("SetText"));
    // Once in text mode a second SetText runs no procedure; SetGraphics sets
    // the mode and the engine again.
    graf::clearRunLog();
    s->setText();
    EXPECT_FALSE(ran("SetText"));
    b.clearLog();
    s->setGraphics();
    EXPECT_TRUE(ran("SetGraphics"));
    EXPECT_EQ(b.regWrites(), setupWrites(63, 64, 4095));
}

TEST(SimraStart, RestoreGStateReloadsTheColormapAndResetsWindowAndPattern) {
    auto s = startScreen(smallConfig(8));
    Wd90c33Adapter &b = board(*s);
    Private &p = privateOf(*s);
    s->switchAway();
    p.loadedKey = 7;
    p.bankBase = 0x3000;
    b.vga().dac.clearWrites();
    b.clearLog();
    s->switchBack();
    EXPECT_EQ(p.loadedKey, 0u);
    EXPECT_EQ(p.bankBase, 0u);
    EXPECT_EQ(b.bankWrites().back(), 0);
    EXPECT_EQ(b.vga().dac.writes().size(), 256u);
}

// ---- the window rule ----

TEST(SimraWindow, RowsMoveTheWindowForwardByWholeGranules) {
    // 4096 pixels a line at depth 8: row y starts at y x 0x1000.
    auto s = startScreen(boardConfig(1024, 8, 4096, 200));
    Wd90c33Adapter &b = board(*s);
    s->fillRandom(3);
    struct Case {
        BoxRec box;
        std::vector<uint8_t> bank;
        uint32_t base;
    };
    const Case cases[] = {
        // Rows at 0xE000 and 0xF000 fit; the row at 0x10000 moves the window
        // to 0xF000 so that it starts in the second granule.
        {{0, 14, 4096, 18}, {0x0F}, 0xF000},
        // A start past the window moves it to the start's own granule.
        {{8, 100, 40, 101}, {0x64}, 0x64000},
        // Rows going back below the window start it afresh.
        {{4000, 2, 4096, 4}, {0x02}, 0x2000},
    };
    for (const Case &c : cases) {
        b.clearLog();
        EXPECT_EQ(s->readImage(c.box), s->expectedImage(c.box));
        EXPECT_EQ(b.bankWrites(), c.bank);
        EXPECT_EQ(privateOf(*s).bankBase, c.base);
        EXPECT_EQ(b.bankBase(), c.base);
    }
    // Written back across the same move, through the processor.
    std::vector<uint8_t> pixels(4096 * 4);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint8_t(i * 13 + 1);
    s->drawImage({0, 14, 4096, 18}, pixels, 4096);
    EXPECT_SCREEN_SAME(*s);
}

// ---- best sizes ----

TEST(SimraQueryBestSize, AnswersByClassAndDepth) {
    struct Case {
        int depth, cls;
        uint16_t w, h, wantW, wantH;
        bool mfb;
    };
    const Case cases[] = {
        {8, CursorShape, 16, 16, 64, 64, false}, {16, CursorShape, 16, 20, 16, 20, true},
        {15, CursorShape, 32, 16, 32, 16, true}, {8, TileShape, 3, 3, 8, 8, false},
        {16, TileShape, 3, 2, 4, 8, false},      {16, StippleShape, 10, 9, 10, 9, false},
        {15, StippleShape, 1, 12, 4, 12, false}, {8, 7, 1, 1, 1, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " class " + std::to_string(c.cls));
        harness::beginCase();
        auto s = startScreen(smallConfig(c.depth));
        server::clearGenCalls();
        EXPECT_EQ(s->queryBestSize(c.cls, c.w, c.h), std::make_pair(c.wantW, c.wantH));
        EXPECT_EQ(server::genCallsOf("mfbQueryBestSize").size(), c.mfb ? 1u : 0u);
    }
}

// ---- validation ----

TEST(SimraValidate, WindowsOfTheScreenDepthsGetTheWindowOps) {
    auto s = startScreen(smallConfig(8));
    const WinOps *ops = s->winOps();
    ASSERT_NE(ops, nullptr);
    for (int depth : {8, 15, 16, 24, 1}) {
        WindowPtr w = server::createWindow(s->screen(), 0, 0, 8, 8, depth, depth > 16 ? 32 : 16);
        s->nfb()->ValidateWindowPriv(w);
        const bool ours = depth == 8 || depth == 15 || depth == 16;
        EXPECT_EQ(NFB_WINDOW_PRIV(w)->ops, ours ? ops : nullptr) << depth;
        server::destroyWindow(w);
    }
}

TEST(SimraValidate, FillStyleChoosesTheRecordAndAColourChangeChoosesAgain) {
    auto s = startScreen(smallConfig(8));
    GCPtr gc = s->createGC({.fillStyle = FillTiled, .tile = s->tile(2, 2, {1, 2, 3, 4})});
    const PrivOps *tiled = s->ops(gc);
    s->changeGC(
        gc,
        {.fillStyle = FillOpaqueStippled, .fg = 5, .bg = 5, .stipple = s->stipple({"X.", ".X"})});
    const PrivOps *solid = s->ops(gc);
    EXPECT_NE(solid, tiled);
    EXPECT_EQ(solid, s->ops(s->createGC()));
    // Only the foreground changes: the stipple has two colours again.
    gc->fgPixel = 6;
    s->validate(gc, GCForeground);
    const PrivOps *opaque = s->ops(gc);
    EXPECT_NE(opaque, solid);
    s->changeGC(gc, {.fillStyle = FillStippled, .stipple = s->stipple({"X.", ".X"})});
    EXPECT_NE(s->ops(gc), opaque);
    EXPECT_NE(s->ops(gc), solid);
    // A new tile or stipple makes the next fill load its pattern again.
    privateOf(*s).loadedKey = 9;
    s->validate(gc, 0x800);
    EXPECT_EQ(privateOf(*s).loadedKey, 0u);
}

// ---- blanking and palette ----

TEST(SimraBlank, ThroughTheAttributeController) {
    auto s = startScreen(smallConfig(16));
    EXPECT_EQ(s->blankScreen(true), 1);
    EXPECT_TRUE(board(*s).blanked());
    EXPECT_EQ(s->blankScreen(false), 1);
    EXPECT_FALSE(board(*s).blanked());
}

TEST(SimraPalette, SetColorShiftsByTheVisualsBits) {
    for (int bits : {6, 8}) {
        harness::beginCase();
        graf::Config cfg = smallConfig(8);
        cfg.ints["RGBBITS"] = bits;
        auto s = startScreen(cfg);
        auto &dac = board(*s).vga().dac;
        dac.clearWrites();
        s->setColor(7, 0xFFFF, 0x8000, 0x0400);
        ASSERT_EQ(dac.writes().size(), 1u);
        const int shift = 16 - bits;
        EXPECT_EQ(dac.writes()[0].index, 7);
        EXPECT_EQ(dac.writes()[0].raw.r, uint8_t(0xFFFF >> shift));
        EXPECT_EQ(dac.writes()[0].raw.g, uint8_t(0x8000 >> shift));
        EXPECT_EQ(dac.writes()[0].raw.b, uint8_t(0x0400 >> shift));
    }
}

TEST(SimraPalette, LoadColormapWritesAll256EntriesSharedOnesThroughTheirColours) {
    auto s = startScreen(smallConfig(8));
    auto &dac = board(*s).vga().dac;
    ColormapPtr map = server::createColormap(s->screen(), &s->screen()->visuals[0]);
    for (int i = 0; i < 256; i++)
        map->red[i].co.local = {uint16_t(i << 8), uint16_t(0xFFFF - (i << 8)), 0x1234};
    SHAREDCOLOR r{0xFC00, 1}, g{0x0400, 1}, b{0x8000, 1};
    map->red[5].fShared = 1;
    map->red[5].co.shco = {&r, &g, &b};
    dac.clearWrites();
    s->installColormap(map);
    ASSERT_EQ(dac.writes().size(), 256u);
    EXPECT_EQ(dac.writes()[0].index, 0);
    EXPECT_EQ(dac.writes()[255].index, 255);
    EXPECT_EQ(dac.writes()[5].raw, (sim::vga::Dac::Entry{63, 1, 32}));
    EXPECT_EQ(dac.writes()[200].raw, (sim::vga::Dac::Entry{50, 13, 4}));
}

TEST(SimraPalette, TrueColorMapsStageEveryPixelValueByMasks) {
    auto s = startScreen(smallConfig(8));
    auto &dac = board(*s).vga().dac;
    VisualRec v15 = {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0};
    ColormapPtr map = server::createColormap(s->screen(), &v15);
    for (int i = 0; i < 32; i++) {
        map->red[i].co.local.red = uint16_t(0x0800 * i);
        map->green[i].co.local.green = uint16_t(0x0800 * i + 0x400);
        map->blue[i].co.local.blue = uint16_t(0xF800 - 0x0800 * i);
    }
    dac.clearWrites();
    s->nfb()->LoadColormap(map);
    ASSERT_EQ(dac.writes().size(), 256u);
    for (int i : {0, 1, 0x21, 0xFF}) {
        SCOPED_TRACE(i);
        const auto &raw = dac.writes()[size_t(i)].raw;
        EXPECT_EQ(raw.r, 0); // bits 14-10 of an 8-bit index are 0
        EXPECT_EQ(raw.g, uint8_t((0x0800 * ((i & 0x3E0) >> 5) + 0x400) >> 11));
        EXPECT_EQ(raw.b, uint8_t((0xF800 - 0x0800 * (i & 0x1F)) >> 11));
    }
}

} // namespace
