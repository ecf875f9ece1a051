// fuska start-up: Init and its failures, the tiles-per-line choice and the
// tiling registers, the display-offset fix-up, the off-screen layout, the
// screen clear, blanking, the console switch and the life cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../cirrus/fuska/fuska.h"
#include "harness.h"
#include "models/fuska_adapter.h"

namespace {

constexpr int kTiles[] = {5, 8, 10, 13, 16, 20, 26, 32};

int tiledPitch(int width, int depth) {
    int bytes = width * ((depth + 1) / 8);
    for (int t : kTiles)
        if (t * 128 >= bytes)
            return t * 128;
    return bytes;
}

graf::Config fuskaConfig(int width, int height, int depth, int memSize = 0x400000) {
    graf::Config cfg = harness::loadConfig("cirrus/fuska/fuska.graf");
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["DEPTH"] = depth;
    cfg.ints["MEMSIZE"] = memSize;
    return cfg;
}

harness::Options options(int width, int depth) {
    return {.pitch = tiledPitch(width, depth), .reporter = HARNESS_GTEST_REPORTER};
}

sim::FuskaAdapter &fuskaOf(harness::Screen &s) {
    return *dynamic_cast<sim::FuskaAdapter *>(s.adapter());
}

const fuskaScreenPrivate &privOf(harness::Screen &s) {
    int index = server::screenPrivateCount() - 1;
    return *static_cast<fuskaScreenPrivate *>(s.screen()->devPrivates[index].ptr);
}

// Writes to the register block since the trace was last cleared.
struct RegWrite {
    uint32_t offset;
    int width;
    uint32_t value;
    bool operator==(const RegWrite &) const = default;
};

std::vector<RegWrite> regWrites(harness::Screen &s) {
    std::vector<RegWrite> out;
    int regs = s.machine().regionIndex("REGS");
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::MemWrite && a.region == regs)
            out.push_back({a.address, a.width, a.value});
    return out;
}

std::string show(const std::vector<RegWrite> &w) {
    std::string s;
    char buf[48];
    for (const RegWrite &r : w) {
        std::snprintf(buf, sizeof buf, "  %d-bit 0x%X <- 0x%X\n", 8 * r.width, r.offset, r.value);
        s += buf;
    }
    return s;
}

// ---- Init failures ----

struct InitFailure {
    const char *name;
    void (*change)(graf::Config &);
    std::vector<std::string> messages;
    bool textMode; // the adapter went back to text mode
};

const InitFailure kInitFailures[] = {
    {"NoPixwidth",
     [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     {"fuska: can't find pixel info in grafinfo file.\n"},
     true},
    {"NoPixheight",
     [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); },
     {"fuska: can't find pixel info in grafinfo file.\n"},
     true},
    {"NoDepth",
     [](graf::Config &c) { c.ints.erase("DEPTH"); },
     {"fuska: can't find pixel info in grafinfo file.\n"},
     true},
    {"NegativeWidth",
     [](graf::Config &c) { c.ints["PIXWIDTH"] = -640; },
     {"fuska: can't find pixel info in grafinfo file.\n"},
     true},
    {"Depth32",
     [](graf::Config &c) { c.ints["DEPTH"] = 32; },
     {"fuska: DEPTH 32 is not 8, 15, 16 or 24.\n"},
     true},
    {"NoInstalledMemory",
     [](graf::Config &c) { c.procedures.erase("InstalledMemory"); },
     {"grafinfo file needs PROCEDURE InstalledMemory\n"},
     true},
    {"NoRegs",
     [](graf::Config &c) {
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name == "REGS"; });
     },
     {"fuska: Missing REGS for registers in grafinfo file.\n"},
     true},
    {"NoMemory",
     [](graf::Config &c) {
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name.empty(); });
     },
     {"fuska: Missing MEMORY for fb in grafinfo file.\n"},
     true},
    // Without the mode procedure, or when it stops half way, the mode is
    // nobody's: refused, and text mode restored.
    {"NoSetGraphics",
     [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     {"grafinfo file needs PROCEDURE SetGraphics\n"},
     true},
    {"SetGraphicsFails",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("SetGraphics", "fail");
         c = b.build();
     },
     {"grafinfo file needs PROCEDURE SetGraphics\n"},
     true},
    {"NoGetScreenPitch",
     [](graf::Config &c) { c.procedures.erase("GetScreenPitch"); },
     {"grafinfo file needs PROCEDURE GetScreenPitch\n"},
     true},
    {"MemoryTooSmall",
     [](graf::Config &c) { c.ints["MEMSIZE"] = 0x100000; },
     {"memsize not enough for 1572864\n"},
     true},
    // Installed memory beyond what the default area maps does not count.
    {"AreaSmallerThanMemory",
     [](graf::Config &c) {
         for (auto &a : c.areas)
             if (a.name.empty())
                 a.length = 0x100000;
     },
     {"memsize not enough for 1572864\n"},
     true},
    // An area of no length maps nothing: no memory at all for the screen.
    {"EmptyArea",
     [](graf::Config &c) {
         for (auto &a : c.areas)
             if (a.name.empty())
                 a.length = 0;
     },
     {"memsize not enough for 1572864\n"},
     true},
    {"PitchBelowLine",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("GetScreenPitch", "result = 2000");
         c = b.build();
     },
     {"memsize not enough for 1572864 (with padding) pitch 2000\n"},
     true},
    // The engine draws lines of 2048 bytes and the display shows them: a
    // procedure that answers another pitch describes neither.
    {"PitchNotTheLine",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("GetScreenPitch", "result = 4096");
         c = b.build();
     },
     {"fuska: pitch 4096 is not the tiled line of 2048 bytes\n"},
     true},
    // Pitches whose strip or cursor address would overflow: no line of
    // ScratchArea fits, and nothing is computed from them.
    {"PitchBeyondMemory",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("GetScreenPitch", "result = 8388608");
         c = b.build();
     },
     {"Offscreen size 4194304 x -784\n",
      "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n"},
     false},
    {"PitchNearTheIntegerLimit",
     [](graf::Config &c) {
         graf::Builder b;
         b.config() = c;
         b.procedure("GetScreenPitch", "result = 2147483632");
         c = b.build();
     },
     {"Offscreen size 1073741816 x -784\n",
      "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n"},
     false},
    // 1024 x 752 at 1 byte: strip line 752, ScratchArea from line 768, which
    // is the end of 768 KB.
    {"NoOffscreenLeft",
     [](graf::Config &c) {
         c.ints["MEMSIZE"] = 0xC0000;
         c.ints["DEPTH"] = 8;
         c.ints["PIXHEIGHT"] = 752;
     },
     {"Offscreen size 1024 x 0\n",
      "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n"},
     false},
    // 1600 pixels of 3 bytes need 4800 bytes, more than 32 tiles.
    {"NoTilesPerLine",
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = 1600;
         c.ints["PIXHEIGHT"] = 1200;
         c.ints["DEPTH"] = 24;
         c.ints["MEMSIZE"] = 0x800000;
     },
     {"Cannot find enough TPL for 4800\n"},
     true},
};

class FuskaInitFailure : public testing::TestWithParam<InitFailure> {};

TEST_P(FuskaInitFailure, FailsWithItsMessages) {
    const InitFailure &f = GetParam();
    graf::Config cfg = fuskaConfig(1024, 768, 16);
    f.change(cfg);
    harness::Screen s("fuska", cfg, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), f.messages);
    EXPECT_EQ(fuskaOf(s).graphicsMode(), !f.textMode);
    EXPECT_TRUE(server::fatalErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(All, FuskaInitFailure, testing::ValuesIn(kInitFailures),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FuskaInit, ServerRefusalsFailQuietly) {
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
        harness::Screen s("fuska", fuskaConfig(1024, 768, 16), options(1024, 16));
        server::failScreenPrivateIndex(false);
        server::failAllocationAfter(-1);
        server::failScreenInit(false);
        server::failAddVisual(false);
        server::failCreateColormap(false);
        server::clearErrorMessages();
        r.on();
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(server::errorMessages().empty());
    }
}

TEST(FuskaInit, RefusedHardwareCursorIsFatal) {
    harness::Screen s("fuska", fuskaConfig(1024, 768, 16), options(1024, 16));
    server::setPointerResult(0);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
}

TEST(FuskaInit, RegistersRecordsAndHooks) {
    harness::Screen s("fuska", fuskaConfig(1024, 768, 8), options(1024, 8));
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_STREQ(s.info()->driverName, "fuska");
    ASSERT_EQ(server::pixmapFormats().size(), 1u);
    EXPECT_EQ(server::pixmapFormats()[0].depth, 8);

    SysInfo *si = s.sysInfo();
    ASSERT_NE(si, nullptr);
    EXPECT_EQ(si->sysInfoWord0, 0);
    EXPECT_EQ(si->sysInfoFlag1, 1);
    EXPECT_EQ(si->sysInfoFlag2, 1);
    EXPECT_EQ(si->sysInfoFlag3, 1);
    EXPECT_EQ(si->sysInfoValue, 5.0f);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().optionFlags, 0x20);
    EXPECT_EQ(s.registered().pointerArgs, (std::vector<int>{0, 1}));
    EXPECT_TRUE(s.registered().pointerAccepted);

    nfbScreenPrivate *nfb = s.nfb();
    EXPECT_EQ(nfb->LoadColormap, genLoadColormap);
    EXPECT_NE(nfb->SetColor, (SetColorProc)NoopDDA);
    // The GC template stays as the frame-buffer layer set it.
    EXPECT_EQ(nfb->gcTemplate->ops, nullptr);

    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.class_, PseudoColor);
    EXPECT_EQ(v.ColormapEntries, 256);
    EXPECT_EQ(v.nplanes, 8);
}

TEST(FuskaInit, VisualsAndColormapHooksByDepth) {
    struct Case {
        int depth;
        VisualRec visual;
    } cases[] = {
        {8, {0, PseudoColor, 8, 256, 8, 0, 0, 0, 0, 0, 0}},
        {15, {0, TrueColor, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0}},
        {16, {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0}},
        {24, {0, TrueColor, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        harness::Screen s("fuska", fuskaConfig(640, 480, c.depth), options(640, c.depth));
        ASSERT_TRUE(s.start()) << s.failureText();
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
        bool pseudo = c.depth == 8;
        EXPECT_EQ(s.nfb()->SetColor == (SetColorProc)NoopDDA, !pseudo);
        EXPECT_EQ(s.nfb()->LoadColormap == (LoadColormapProc)NoopDDA, !pseudo);
    }
}

// ---- tiles per line and the tiling registers ----

struct TilingCase {
    int width, depth;
    int tiles;
    uint16_t displayTiling, pixelFormat;
    uint32_t displayOffset;                   // in 8-byte units
    void (*change)(graf::Config &) = nullptr; // to the example configuration
};

// A mode procedure that leaves the display offset as it was (0 at power-on).
void keepDisplayOffset(graf::Config &c) {
    graf::Config parsed;
    std::string error;
    ASSERT_TRUE(graf::parse("procedure SetDisplayOffset(units) {\n    r = units\n}\n", c.source,
                            parsed, error))
        << error;
    c.procedures["SetDisplayOffset"] = parsed.procedures.at("SetDisplayOffset");
}

class FuskaTiling : public testing::TestWithParam<TilingCase> {};

TEST_P(FuskaTiling, ModeSetProgramsTheTiling) {
    const TilingCase &c = GetParam();
    graf::Config cfg = fuskaConfig(c.width, 200, c.depth, 0x800000);
    if (c.change)
        c.change(cfg);
    harness::Screen s("fuska", cfg, options(c.width, c.depth));
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::FuskaAdapter &a = fuskaOf(s);
    int bpp = (c.depth + 1) / 8;
    EXPECT_EQ(a.engine().regs().tilesPerLine, c.tiles);
    EXPECT_EQ(a.engine().regs().pixelSize, (bpp - 1) << 13);
    EXPECT_EQ(a.engine().regs().engineTiling, (c.tiles << 8) | 0x80);
    EXPECT_EQ(a.reg(0xEA, 2), c.displayTiling);
    EXPECT_EQ(a.reg(0xC0, 2), c.pixelFormat);
    EXPECT_EQ(a.displayOffset(), c.displayOffset);
    EXPECT_EQ(a.reg(0x3FC, 4) & 1, 0u);
    EXPECT_EQ(privOf(s).tilesPerLine, c.tiles);
    // The pitch the driver works with is the display's line.
    EXPECT_EQ(privOf(s).pitch, c.tiles * 128);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FuskaTiling,
    testing::Values(
        // An exact fit keeps the procedure's display offset.
        TilingCase{640, 8, 5, 0x0591, 0x0000, 80}, TilingCase{1024, 16, 16, 0x1099, 0x1400, 256},
        TilingCase{800, 15, 13, 0x0D98, 0x1600, 208}, TilingCase{1024, 24, 26, 0x1A9F, 0x2400, 416},
        TilingCase{1600, 16, 26, 0x1A9B, 0x1400, 416},
        // 3840 bytes widen to 4096: the offset carries from bit 8 into bit 9.
        TilingCase{1280, 24, 32, 0x20A0, 0x2400, 512},
        // Lines that are no multiple of 8 bytes: the procedure's offset is
        // rounded down (125 and 12 units), yet the display must show the
        // engine's whole line of 1024 and 640 bytes.
        TilingCase{1001, 8, 8, 0x0892, 0x0000, 128}, TilingCase{100, 8, 5, 0x0591, 0x0000, 80},
        // A mode procedure that never sets the offset: still the whole line.
        TilingCase{96, 8, 5, 0x0591, 0x0000, 80, keepDisplayOffset}),
    [](const auto &info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.depth);
    });

TEST(FuskaModeSet, ProgramsRegistersInOrderAndClearsTheScreen) {
    harness::Screen s("fuska", fuskaConfig(1024, 768, 16), options(1024, 16));
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    s.setText();
    s.machine().clearTrace();
    s.setGraphics();
    std::vector<RegWrite> w = regWrites(s);
    // From the driver's own mode-control write on: the procedure's writes
    // come before it.
    auto first = std::find_if(w.begin(), w.end(),
                              [](const RegWrite &r) { return r.offset == 0x3FC && r.value == 0; });
    ASSERT_NE(first, w.end()) << show(w);
    std::vector<RegWrite> tail(first, w.end());
    std::vector<RegWrite> want = {
        {0x3FC, 4, 0},          {0x402, 2, 0x2000}, {0x407, 1, 16},
        {0xEA, 2, 0x1099},      {0xC0, 2, 0x1400},  {0x2C4, 2, 0x1080},
        {0x4C, 1, 0x00},        {0x6C, 1, 0x10},    {0x74, 1, 0x00},
        {0x584, 4, 0x117000CC}, {0x5E4, 4, 0},      {0x584, 4, 0x117020CC},
        {0x5E8, 4, 0xFFFFFFFF}, {0x520, 4, 0},      {0x700, 4, 768u << 16 | 1024},
        {0xB0, 1, 0x00},
    };
    EXPECT_EQ(tail, want) << show(tail);
    EXPECT_TRUE(fuskaOf(s).graphicsMode());
    EXPECT_FALSE(fuskaOf(s).blanked());
    // The clear ran to its end before the picture came back.
    EXPECT_FALSE(fuskaOf(s).engine().busy());
    s.mirror() = ref::Canvas(1024, 768, 2, 16);
    EXPECT_SCREEN_SAME(s);
}

TEST(FuskaModeSet, FailedTilingAtConsoleSwitchLeavesTextMode) {
    // A screen that fits, then a configuration change the next mode set
    // cannot tile: text mode, the message, tilesPerLine unchanged.
    harness::Screen s("fuska", fuskaConfig(1024, 200, 24, 0x800000), options(1024, 24));
    ASSERT_TRUE(s.start()) << s.failureText();
    s.switchAway();
    s.screen()->width = 1600;
    server::clearErrorMessages();
    s.setGraphics();
    EXPECT_EQ(server::errorMessages(),
              std::vector<std::string>{"Cannot find enough TPL for 4800\n"});
    EXPECT_FALSE(fuskaOf(s).graphicsMode());
    EXPECT_EQ(privOf(s).tilesPerLine, 26);
}

// ---- off-screen layout ----

struct LayoutCase {
    int width, height, depth, memSize;
    int pitch, strip, offWidth, offHeight;
};

class FuskaLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(FuskaLayout, StripCursorPatternAndScratchArea) {
    const LayoutCase &c = GetParam();
    // The screen's rows as the display registers show them.
    harness::Screen s("fuska", fuskaConfig(c.width, c.height, c.depth, c.memSize),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drawSolidRects({{0, 0, int16_t(c.width), int16_t(c.height)}}, 0x5A5A5A, GXxor);
    EXPECT_SCREEN_SAME(s);
    const fuskaScreenPrivate &p = privOf(s);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.pitch, c.pitch);
    EXPECT_EQ(p.memSize, c.memSize);
    EXPECT_EQ(p.cursorAddr, c.pitch * c.strip);
    EXPECT_EQ(p.cursorSize, 64);
    EXPECT_EQ(p.patternX, 128);
    EXPECT_EQ(p.patternY, c.strip);
    EXPECT_EQ(p.patternAddr, c.pitch * c.strip + 128);
    EXPECT_EQ(p.offX, 0);
    EXPECT_EQ(p.offY, c.strip + 16);
    EXPECT_EQ(p.offAddr, c.pitch * (c.strip + 16));
    EXPECT_EQ(p.offWidth, c.offWidth);
    EXPECT_EQ(p.offHeight, c.offHeight);
    EXPECT_EQ(p.fbBase, fuskaOf(s).frameBuffer());
    EXPECT_EQ(p.regBase, fuskaOf(s).registers());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FuskaLayout,
                         testing::Values(LayoutCase{1024, 768, 16, 0x400000, 2048, 768, 1024, 1264},
                                         LayoutCase{800, 600, 8, 0x100000, 1024, 608, 1024, 400},
                                         LayoutCase{800, 600, 24, 0x200000, 2560, 608, 853, 195},
                                         LayoutCase{640, 481, 15, 0x100000, 1280, 496, 640, 307},
                                         // 1001 bytes a row on 1024-byte lines.
                                         LayoutCase{1001, 768, 8, 0x100000, 1024, 768, 1024, 240}),
                         [](const auto &info) {
                             return std::to_string(info.param.height) + "lines" +
                                    std::to_string(info.param.depth);
                         });

// ---- blanking and the console switch ----

TEST(FuskaScreen, BlankScreenTogglesTheDisplayBitOnly) {
    harness::Screen s("fuska", fuskaConfig(640, 480, 8), options(640, 8));
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_TRUE(fuskaOf(s).blanked());
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_FALSE(fuskaOf(s).blanked());
    EXPECT_EQ(fuskaOf(s).reg(0xB0, 1), 0u);
}

TEST(FuskaScreen, ConsoleSwitchSequence) {
    harness::Screen s("fuska", fuskaConfig(640, 480, 8), options(640, 8));
    ASSERT_TRUE(s.start()) << s.failureText();
    auto cursor = harness::makeCursor({"XX", "XX"}, 0, 0);
    s.setCursor(cursor->ptr(), 10, 10);
    sim::FuskaAdapter &a = fuskaOf(s);
    ASSERT_TRUE(a.cursorEnabled());

    s.saveGState();
    EXPECT_TRUE(a.blanked());
    s.machine().clearTrace();
    s.setText();
    EXPECT_EQ(regWrites(s),
              (std::vector<RegWrite>{{0xB0, 1, 0x80}, {0xE6, 2, 0x0000}, {0xB0, 1, 0x00}}))
        << show(regWrites(s));
    EXPECT_FALSE(a.graphicsMode());
    EXPECT_FALSE(a.cursorEnabled());

    s.setGraphics();
    s.restoreGState();
    EXPECT_TRUE(a.graphicsMode());
    EXPECT_FALSE(a.blanked());
    EXPECT_EQ(a.engine().regs().tilesPerLine, 5);
    // The cursor stays off until the server sets one again.
    EXPECT_FALSE(a.cursorEnabled());
    s.setCursor(cursor->ptr(), 10, 10);
    EXPECT_TRUE(a.cursorEnabled());
}

TEST(FuskaScreen, SwitchWhileTheEngineRunsWaitsFirst) {
    harness::Screen s("fuska", fuskaConfig(640, 480, 16), options(640, 16));
    ASSERT_TRUE(s.start()) << s.failureText();
    s.drawSolidRects({{0, 0, 300, 200}}, 0x1234);
    ASSERT_TRUE(fuskaOf(s).engine().busy());
    s.switchAway();
    s.switchBack();
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
}

TEST(FuskaScreen, PaletteReloadedAfterModeSetAtDepth8) {
    harness::Screen s("fuska", fuskaConfig(640, 480, 8), options(640, 8));
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = server::createColormap(s.screen(), &s.screen()->visuals[0]);
    map->red[5].co.local = {0x8000, 0x4000, 0xFFFF};
    map->red[6].fShared = 1;
    SHAREDCOLOR r{0x00FC, 1}, g{0x0004, 1}, b{0, 1};
    map->red[6].co.shco = {&r, &g, &b};
    s.nfb()->installedCmap = map;
    s.switchAway();
    s.switchBack();
    sim::FuskaAdapter &a = fuskaOf(s);
    EXPECT_EQ(a.dacEntry(5), (sim::vga::Dac::Entry{0x20, 0x10, 0x3F}));
    // 8-bit values in the low byte reach the DAC's top bits.
    EXPECT_EQ(a.dacEntry(6), (sim::vga::Dac::Entry{0x3F, 0x01, 0x00}));
}

// ---- window privates and the life cycle ----

TEST(FuskaScreen, ImageSlotsFollowThePixelSize) {
    for (int depth : {8, 15, 16, 24}) {
        SCOPED_TRACE(depth);
        harness::Screen s("fuska", fuskaConfig(64, 16, depth), options(64, depth));
        ASSERT_TRUE(s.start()) << s.failureText();
        WinOps *ops = s.winOps();
        ASSERT_NE(ops->DrawImage, nullptr);
        ASSERT_NE(ops->ReadImage, nullptr);
        EXPECT_EQ(ops->DrawMonoImage, genDrawMonoImage);
        EXPECT_EQ(ops->DrawOpaqueMonoImage, genDrawOpaqueMonoImage);
        EXPECT_EQ(ops->WinOp11, genWinOp11);
        EXPECT_EQ(ops->SetClipRegions, genWinOp14);
        s.fillRandom(7);
        int cb = depth == 8 ? 1 : depth == 24 ? 4 : 2;
        std::vector<uint8_t> pixels(static_cast<size_t>(20 * 5 * cb));
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = static_cast<uint8_t>(i * 37 + 11);
        if (depth == 15)
            for (size_t i = 1; i < pixels.size(); i += 2)
                pixels[i] &= 0x7F;
        s.drawImage({3, 4, 23, 9}, pixels, 20 * cb);
        s.drawImage({30, 2, 50, 7}, pixels, 20 * cb, GXxor, 0x5A5A5A);
        EXPECT_SCREEN_SAME(s);
        EXPECT_EQ(s.readImage({1, 1, 40, 12}), s.expectedImage({1, 1, 40, 12}));
    }
}

TEST(FuskaLife, GenerationsAndClose) {
    harness::Screen s("fuska", fuskaConfig(640, 480, 16), options(640, 16));
    ASSERT_TRUE(s.start()) << s.failureText();
    int index = server::screenPrivateCount();
    for (int generation = 1; generation <= 2; generation++) {
        SCOPED_TRACE(generation);
        // Each generation takes a new index and a fresh private; the close
        // frees the private.
        ASSERT_TRUE(s.nextGeneration()) << s.failureText();
        EXPECT_EQ(server::screenPrivateCount(), index + generation);
        EXPECT_EQ(server::liveBlockCount(), 1u);
        EXPECT_EQ(privOf(s).tilesPerLine, 10);
        EXPECT_EQ(privOf(s).cursorAddr, 1280 * 480);
    }
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

} // namespace
