// The gd6 drivers (tolva16, tolva8) at start-up and across console switches:
// the fatal configuration errors, the large-mode rule, the mode set's engine
// reset, bank and extension registers, the colormap reload, the engine wait's
// reset of a hung engine, and the bank register following a GXcopy segment.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "harness.h"
#include "models/gd6_adapter.h"

namespace {

using sim::Gd6Adapter;

struct Build {
    const char *driver;
    const char *config;
};

void PrintTo(const Build &b, std::ostream *os) {
    *os << b.config;
}

const Build kTolva8 = {"tolva8", "cirrus/gd6/tolva8.graf"};
const Build kTolva16 = {"tolva16", "cirrus/gd6/tolva16.graf"};
const Build kTolva16Large = {"tolva16", "cirrus/gd6/tolva16-large.graf"};

harness::Options gtestOptions() {
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    return o;
}

Gd6Adapter *gd6(harness::Screen &s) {
    return dynamic_cast<Gd6Adapter *>(s.adapter());
}

// GR writes of one index, in order.
std::vector<uint8_t> grWrites(harness::Screen &s, uint8_t index) {
    std::vector<uint8_t> out;
    for (const auto &w : gd6(s)->vga().gc.writes())
        if (w.index == index)
            out.push_back(w.value);
    return out;
}

// ---- fatal errors ----

struct FatalCase {
    Build build;
    const char *drop; // key or area to remove ("" for the default area)
    const char *message;
};

void PrintTo(const FatalCase &c, std::ostream *os) {
    *os << c.build.config << " without " << (*c.drop ? c.drop : "MEMORY");
}

class Gd6Fatal : public ::testing::TestWithParam<FatalCase> {};

TEST_P(Gd6Fatal, EndsTheServerWithItsMessage) {
    const FatalCase &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    if (std::string(c.drop).empty())
        cfg.areas.clear();
    else
        cfg.ints.erase(c.drop);
    harness::Screen s(c.build.driver, cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Gd6Fatal,
    ::testing::Values(
        FatalCase{kTolva8, "WINDOWADDR", "gd6: Need a value for WINDOWADDR in grafinfo file"},
        FatalCase{kTolva16, "WINDOWADDR", "gd6: Need a value for WINDOWADDR in grafinfo file"},
        FatalCase{kTolva8, "CURSORADDR", "gd6: Need a value for CURSORADDR in grafinfo file"},
        FatalCase{kTolva16, "CURSORADDR", "gd6: Need a value for CURSORADDR in grafinfo file"},
        FatalCase{kTolva8, "", "gd6: Missing MEMORY in grafinfo file.\n"},
        FatalCase{kTolva16, "", "gd6: Missing MEMORY in grafinfo file.\n"}));

class Gd6PixelKeys : public ::testing::TestWithParam<const char *> {};

TEST_P(Gd6PixelKeys, MissingKeyFailsWithMessage) {
    graf::Config cfg = harness::loadConfig(kTolva8.config);
    cfg.ints.erase(GetParam());
    harness::Screen s(kTolva8.driver, cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(s.fatalMessage().empty());
    ASSERT_FALSE(server::errorMessages().empty());
    EXPECT_EQ(server::errorMessages().back(), "gd6: can't find pixel info in grafinfo file.\n");
    EXPECT_EQ(server::liveBlockCount(), 0u) << "a failed Init keeps no private";
}

INSTANTIATE_TEST_SUITE_P(Keys, Gd6PixelKeys, ::testing::Values("PIXWIDTH", "PIXHEIGHT", "DEPTH"));

TEST(Gd6Start, WindowSizeBeyondTheWindowIsRefused) {
    graf::Config cfg = harness::loadConfig(kTolva8.config);
    cfg.ints["WINDOWSIZE"] = 0x20000;
    harness::Screen s(kTolva8.driver, cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "gd6: WINDOWSIZE is larger than the MEMORY window.\n");
}

// The window shows whole banks and the bank register has eight bits: a
// staging or cursor address the window cannot show exactly is refused.
struct BankCase {
    Build build;
    const char *key;
    int value;
    const char *message;
};

void PrintTo(const BankCase &c, std::ostream *os) {
    *os << c.build.config << " " << c.key << " " << c.value;
}

class Gd6BankAddress : public ::testing::TestWithParam<BankCase> {};

TEST_P(Gd6BankAddress, IsRefused) {
    const BankCase &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    cfg.ints[c.key] = c.value;
    harness::Screen s(c.build.driver, cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), c.message);
}

const char kWindowBank[] = "gd6: WINDOWADDR is not a bank boundary the bank register can reach.\n";
const char kCursorBank[] = "gd6: CURSORADDR is not a bank boundary the bank register can reach.\n";

INSTANTIATE_TEST_SUITE_P(
    Addresses, Gd6BankAddress,
    ::testing::Values(BankCase{kTolva8, "WINDOWADDR", 0xC0800, kWindowBank},
                      BankCase{kTolva8, "WINDOWADDR", 0x100000, kWindowBank},
                      BankCase{kTolva16Large, "WINDOWADDR", 0x181000, kWindowBank},
                      BankCase{kTolva16, "CURSORADDR", 0xFC100, kCursorBank},
                      BankCase{kTolva16Large, "CURSORADDR", 0x1FD000, kCursorBank}));

// ---- configurations that cannot give a working screen ----

// Bad sizes and depths fail Init with the pixel-info message, as missing
// pixel keys do; an unusable memory area or staging or cursor address ends
// the server with the message of the missing one, as the driver's other
// address and area errors do.
struct BadConfig {
    const char *name;
    Build build;
    void (*change)(graf::Config &);
    const char *message;
    bool fatal;
};

void PrintTo(const BadConfig &c, std::ostream *os) {
    *os << c.name;
}

const char kPixelInfo[] = "gd6: can't find pixel info in grafinfo file.\n";
const char kNoMemory[] = "gd6: Missing MEMORY in grafinfo file.\n";
const char kNoWindowAddr[] = "gd6: Need a value for WINDOWADDR in grafinfo file";
const char kNoCursorAddr[] = "gd6: Need a value for CURSORADDR in grafinfo file";
const char kSmallWindowSize[] = "gd6: WINDOWSIZE is too small to stage two pixels.\n";
const char kNoSetGraphics[] = "grafinfo file needs PROCEDURE SetGraphics\n";

void setWindowLength(graf::Config &c, uint32_t length) {
    for (auto &a : c.areas)
        if (a.name.empty())
            a.length = length;
}

const BadConfig kBadConfigs[] = {
    {"NegativeWidth", kTolva8, [](graf::Config &c) { c.ints["PIXWIDTH"] = -20997; }, kPixelInfo,
     false},
    // The default pitch of twice the width must not overflow.
    {"HugeNegativeWidthDefaultPitch", kTolva16,
     [](graf::Config &c) {
         c.ints["PIXWIDTH"] = -1667497984;
         c.ints.erase("PIXBYTES");
     },
     kPixelInfo, false},
    {"WidthBeyondCoordinates", kTolva8, [](graf::Config &c) { c.ints["PIXWIDTH"] = 0x8000; },
     kPixelInfo, false},
    {"ZeroHeight", kTolva16, [](graf::Config &c) { c.ints["PIXHEIGHT"] = 0; }, kPixelInfo, false},
    {"DepthZero", kTolva16,
     [](graf::Config &c) {
         c.ints["DEPTH"] = 0;
         c.ints["PIXWIDTH"] = 1;
     },
     kPixelInfo, false},
    {"Depth8InSixteenBitBuild", kTolva16, [](graf::Config &c) { c.ints["DEPTH"] = 8; }, kPixelInfo,
     false},
    {"Depth16InEightBitBuild", kTolva8, [](graf::Config &c) { c.ints["DEPTH"] = 16; }, kPixelInfo,
     false},
    {"PitchShorterThanLine", kTolva16, [](graf::Config &c) { c.ints["PIXBYTES"] = 1598; },
     kPixelInfo, false},
    {"PitchBeyondRegister", kTolva8,
     [](graf::Config &c) {
         c.ints["PIXBYTES"] = 0x10000;
         c.ints["PIXHEIGHT"] = 8;
     },
     kPixelInfo, false},
    // 1920 x 768 bytes in a mode of 4 KB banks, which reach 1 MB.
    {"ScreenBeyondBankReach", kTolva8, [](graf::Config &c) { c.ints["PIXBYTES"] = 1920; },
     kPixelInfo, false},
    // The staging paths halve their work down to one pixel, and a plane-masked
    // copy stages two side by side.
    {"WindowSizeOfOneByte", kTolva16, [](graf::Config &c) { c.ints["WINDOWSIZE"] = 1; },
     kSmallWindowSize, true},
    {"WindowSizeOfThreeBytes", kTolva16, [](graf::Config &c) { c.ints["WINDOWSIZE"] = 3; },
     kSmallWindowSize, true},
    {"WindowSizeOfOnePixel", kTolva8, [](graf::Config &c) { c.ints["WINDOWSIZE"] = 1; },
     kSmallWindowSize, true},
    {"NoModeProcedure", kTolva8, [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     kNoSetGraphics, false},
    {"Depth15InEightBitBuild", kTolva8, [](graf::Config &c) { c.ints["DEPTH"] = 15; }, kPixelInfo,
     false},
    {"WindowOf15Bytes", kTolva16, [](graf::Config &c) { setWindowLength(c, 15); }, kNoMemory, true},
    {"WindowShorterThanBank", kTolva8, [](graf::Config &c) { setWindowLength(c, 0x8000); },
     kNoMemory, true},
    {"StagingOverScreen", kTolva16, [](graf::Config &c) { c.ints["WINDOWADDR"] = 0xC0000; },
     kNoWindowAddr, true},
    // The last 4 KB of the staging area would hold the cursor bank.
    {"StagingOverCursor", kTolva8, [](graf::Config &c) { c.ints["WINDOWADDR"] = 0xEF000; },
     kNoWindowAddr, true},
    {"CursorOverScreen", kTolva16, [](graf::Config &c) { c.ints["CURSORADDR"] = 0xE0000; },
     kNoCursorAddr, true},
    {"CursorOverStaging", kTolva16, [](graf::Config &c) { c.ints["CURSORADDR"] = 0xFA000; },
     kNoWindowAddr, true},
};

class Gd6BadConfig : public ::testing::TestWithParam<BadConfig> {};

TEST_P(Gd6BadConfig, FailsInitWithItsMessage) {
    const BadConfig &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    c.change(cfg);
    harness::Screen s(c.build.driver, cfg);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    if (c.fatal) {
        EXPECT_EQ(s.fatalMessage(), c.message);
    } else {
        EXPECT_TRUE(s.fatalMessage().empty());
        ASSERT_FALSE(server::errorMessages().empty());
        EXPECT_EQ(server::errorMessages().back(), c.message);
        EXPECT_EQ(server::liveBlockCount(), 0u) << "a failed Init keeps no private";
    }
}

INSTANTIATE_TEST_SUITE_P(Configs, Gd6BadConfig, ::testing::ValuesIn(kBadConfigs),
                         [](const auto &info) { return std::string(info.param.name); });

// A mode procedure that exists but stops is as good as a missing one: the
// display would not show the rows the driver draws.
TEST(Gd6Start, FailingModeProcedureFailsInit) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config));
    graf::setProcedureFails(s.grafinfo(), "SetGraphics", true);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_TRUE(s.fatalMessage().empty());
    ASSERT_FALSE(server::errorMessages().empty());
    EXPECT_EQ(server::errorMessages().back(), kNoSetGraphics);
    EXPECT_EQ(server::liveBlockCount(), 0u) << "a failed Init keeps no private";
}

// Layouts Init takes, each started and drawn on against the reference.
struct GoodConfig {
    const char *name;
    Build build;
    void (*change)(graf::Config &);
    int cursorSize;
};

void PrintTo(const GoodConfig &c, std::ostream *os) {
    *os << c.name;
}

const GoodConfig kGoodConfigs[] = {
    // The example's screen ends where its staging area starts, and its
    // cursor bank ends with video memory.
    {"ExampleUpToItsLimits", kTolva8, [](graf::Config &) {}, 64},
    // SR0F bits 4-3 select the cursor size, not a memory size: a 1 MB board
    // with the 32 x 32 cursor still holds 1024 x 768 at 8 bits.
    {"OneMegabyteBoardWith32Cursor", kTolva8, [](graf::Config &c) { c.ints["SR0F"] = 0x08; }, 32},
    {"OneMegabyteBoardWith32CursorOtherValue", kTolva16,
     [](graf::Config &c) { c.ints["SR0F"] = 0x18; }, 32},
    // The smallest windows that stage: two pixels.
    {"WindowSizeOfTwoPixels16", kTolva16, [](graf::Config &c) { c.ints["WINDOWSIZE"] = 4; }, 64},
    {"WindowSizeOfTwoPixels8", kTolva8, [](graf::Config &c) { c.ints["WINDOWSIZE"] = 2; }, 64},
    // Two-byte pixels with five bits a component.
    {"Depth15", kTolva16, [](graf::Config &c) { c.ints["DEPTH"] = 15; }, 64},
};

class Gd6GoodConfig : public ::testing::TestWithParam<GoodConfig> {};

TEST_P(Gd6GoodConfig, StartsAndDraws) {
    const GoodConfig &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    c.change(cfg);
    harness::Screen s(c.build.driver, cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto cursor = harness::makeCursor({"FB", "BF"}, 0, 0);
    s.setCursor(cursor->ptr(), 20, 20);
    EXPECT_TRUE(gd6(s)->cursor().enabled());
    EXPECT_EQ(gd6(s)->cursor().size(), c.cursorSize);
    s.fillRandom(3);
    s.drawSolidRects({{10, 10, 50, 30}}, 0x1234 & s.allPlanes(), GXxor);
    s.copyRect({60, 60, 90, 80}, {5, 5}, GXcopy, 0x5A & s.allPlanes());
    s.drawImage({100, 10, 104, 12}, std::vector<uint8_t>(16, 0x3C), 4 * s.bytesPerPixel(), GXcopy,
                0x0F0F & s.allPlanes());
    EXPECT_SCREEN_SAME(s);
    const BoxRec box = {7, 9, 31, 17};
    EXPECT_EQ(s.readImage(box), s.expectedImage(box));
}

INSTANTIATE_TEST_SUITE_P(Configs, Gd6GoodConfig, ::testing::ValuesIn(kGoodConfigs),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Gd6Start, RefusedPrivateIndexFailsInitUntilGranted) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config));
    ASSERT_TRUE(s.probe());
    server::failScreenPrivateIndex(true);
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::liveBlockCount(), 0u);
    server::failScreenPrivateIndex(false);
    EXPECT_TRUE(s.init()) << s.failureText();
}

TEST(Gd6Start, FailedVisualFreesThePrivate) {
    harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config));
    ASSERT_TRUE(s.probe());
    server::failAddVisual(true);
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(Gd6Start, NextGenerationTakesANewIndexAndKeepsDrawing) {
    harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    int indices = server::screenPrivateCount();
    s.drawSolidRects({{0, 0, 40, 40}}, 0xF800);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), indices + 1);
    EXPECT_EQ(server::liveBlockCount(), 1u) << "only the new generation's private";
    s.drawSolidRects({{20, 20, 60, 60}}, 0xF800);
    s.copyRect({100, 100, 140, 140}, {0, 0});
    EXPECT_SCREEN_SAME(s);
}

// The GD5434 variant leaves the cursor to the server except at 16 bits.
struct CursorCase {
    Build build;
    bool gd5434;
    bool software;
    int depth; // 0: the example's
};

void PrintTo(const CursorCase &c, std::ostream *os) {
    *os << c.build.config << (c.gd5434 ? " GD5434" : "");
    if (c.depth)
        *os << " DEPTH " << c.depth;
}

class Gd6CursorChoice : public ::testing::TestWithParam<CursorCase> {};

TEST_P(Gd6CursorChoice, ByVariantAndDepth) {
    const CursorCase &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    if (c.gd5434)
        cfg.ints["GD5434"] = 1;
    if (c.depth)
        cfg.ints["DEPTH"] = c.depth;
    harness::Screen s(c.build.driver, cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.screen()->rootDepth, c.depth ? c.depth : cfg.ints.at("DEPTH"));
    EXPECT_EQ(s.registered().swCursor, c.software);
    EXPECT_EQ(s.registered().pointerFuncs != nullptr, !c.software);
}

INSTANTIATE_TEST_SUITE_P(Variants, Gd6CursorChoice,
                         ::testing::Values(CursorCase{kTolva8, true, true, 0},
                                           CursorCase{kTolva8, false, false, 0},
                                           CursorCase{kTolva16, true, false, 0},
                                           CursorCase{kTolva16, false, false, 0},
                                           CursorCase{kTolva16, true, true, 15},
                                           CursorCase{kTolva16, false, false, 15}));

TEST(Gd6Start, RefusedHardwareCursorIsFatal) {
    harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config));
    server::setPointerResult(0);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
}

class Gd6Builds : public ::testing::TestWithParam<Build> {};

TEST_P(Gd6Builds, StartRegisterAndClose) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, harness::loadConfig(b.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    ASSERT_EQ(server::liveBlockCount(), 1u) << "the screen private";
    void *priv = server::liveBlocks()[0].ptr;
    EXPECT_TRUE(s.registered().optionsSet);
    EXPECT_EQ(s.registered().optionFlags, 0) << "slot three holds ZeroSeg";
    EXPECT_TRUE(s.registered().pointerFuncs != nullptr);
    ASSERT_NE(s.sysInfo(), nullptr);
    EXPECT_EQ(s.sysInfo()->sysInfoFlag3, 1);
    EXPECT_EQ(s.nfb()->gcTemplate->ops, s.ops(s.createGC({.alu = GXxor})));
    s.freeScreen();
    for (const server::Block &b : server::liveBlocks())
        EXPECT_NE(b.ptr, priv);
}

INSTANTIATE_TEST_SUITE_P(Configs, Gd6Builds, ::testing::Values(kTolva8, kTolva16, kTolva16Large));

// ---- the large-mode rule ----

struct ModeCase {
    Build build;
    int width, height, depth;
    uint32_t windowAddr;
    bool large;
};

void PrintTo(const ModeCase &c, std::ostream *os) {
    *os << c.build.driver << " " << c.width << "x" << c.height << "x" << c.depth;
}

class Gd6LargeMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(Gd6LargeMode, PicksGranularityAndBank) {
    const ModeCase &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.build.config);
    cfg.ints["MEMSIZE"] = 0x200000;
    cfg.ints["PIXWIDTH"] = c.width;
    cfg.ints["PIXHEIGHT"] = c.height;
    cfg.ints["DEPTH"] = c.depth;
    cfg.ints["PIXBYTES"] = c.width * c.depth / 8;
    cfg.ints["WINDOWADDR"] = int(c.windowAddr);
    cfg.ints["CURSORADDR"] = c.large ? 0x1FC000 : 0xFC000;
    harness::Screen s(c.build.driver, cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    Gd6Adapter *a = gd6(s);
    EXPECT_EQ((a->gr(Gd6Adapter::GR0B) & 0x20) != 0, c.large);
    EXPECT_EQ(a->gr(Gd6Adapter::GR0B) & 0x04, 0x04);
    EXPECT_EQ(a->gr(Gd6Adapter::GR9), c.large ? c.windowAddr >> 14 : c.windowAddr >> 12);
    EXPECT_EQ(a->bankBase(), c.windowAddr) << "the window shows the staging area";
}

INSTANTIATE_TEST_SUITE_P(Modes, Gd6LargeMode,
                         ::testing::Values(ModeCase{kTolva16, 1024, 768, 16, 0x1C0000, true},
                                           ModeCase{kTolva16, 800, 600, 16, 0xEB000, false},
                                           ModeCase{kTolva8, 1024, 768, 8, 0xC0000, false},
                                           ModeCase{kTolva8, 1280, 1024, 8, 0x1C0000, true}));

// ---- mode set ----

TEST(Gd6SetGraphics, ResetsEngineSetsBankAndMapMask) {
    harness::Screen s(kTolva16Large.driver, harness::loadConfig(kTolva16Large.config),
                      gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    Gd6Adapter *a = gd6(s);
    s.switchAway();
    a->vga().gc.clearWrites();
    s.machine().clearTrace();
    s.switchBack();
    EXPECT_EQ(grWrites(s, 0x31), std::vector<uint8_t>{0x04});
    EXPECT_EQ(grWrites(s, 0x09).back(), 0x180000 >> 14);
    EXPECT_EQ(grWrites(s, 0x0B).back(), 0x24);
    EXPECT_EQ(a->sr(0x02), 0xFF);
    // The cursor size is read from SR0F.
    bool readSr0f = false;
    const auto &t = s.machine().trace();
    for (size_t i = 0; i + 1 < t.size(); i++)
        if (t[i].kind == sim::Access::PortOut && t[i].address == 0x3C4 && t[i].value == 0x0F &&
            t[i + 1].kind == sim::Access::PortIn && t[i + 1].address == 0x3C5)
            readSr0f = true;
    EXPECT_TRUE(readSr0f);
}

TEST(Gd6SetGraphics, ReloadsPseudoColorMap) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    ASSERT_NE(map, nullptr);
    for (int i = 0; i < 256; i++) {
        map->red[i].fShared = 0;
        map->red[i].co.local.red = uint16_t(i << 8);
        map->red[i].co.local.green = uint16_t((255 - i) << 8);
        map->red[i].co.local.blue = uint16_t(0x40 << 8);
    }
    s.installColormap(map);
    s.switchAway();
    for (int i = 0; i < 256; i++)
        gd6(s)->vga().dac.setEntry(i, {0, 0, 0});
    s.switchBack();
    for (int i : {0, 1, 100, 255}) {
        auto e = gd6(s)->vga().dac.entry(i);
        EXPECT_EQ(e.r, i >> 2) << i;
        EXPECT_EQ(e.g, (255 - i) >> 2) << i;
        EXPECT_EQ(e.b, 0x10) << i;
    }
}

TEST(Gd6SetGraphics, ReloadsTrueColorMapThroughEveryPixelValue) {
    harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    ASSERT_NE(map, nullptr);
    for (int i = 0; i < 64; i++) {
        map->red[i].fShared = map->green[i].fShared = map->blue[i].fShared = 0;
        map->red[i].co.local.red = uint16_t(i * 0x0400);
        map->green[i].co.local.green = uint16_t(0xFC00 - i * 0x0400);
        map->blue[i].co.local.blue = uint16_t((i & 31) * 0x0800);
    }
    NFB_SCREEN_PRIV(s.screen())->installedCmap = map;
    s.switchAway();
    gd6(s)->vga().dac.clearWrites();
    s.switchBack();
    const auto &writes = gd6(s)->vga().dac.writes();
    ASSERT_EQ(writes.size(), 65536u);
    // The DAC index port takes the low byte of each pixel value.
    for (uint32_t p : {0u, 0x1234u, 0xF81Fu, 0xFFFFu}) {
        const auto &w = writes[p];
        EXPECT_EQ(w.index, p & 0xFF);
        uint32_t r = (p & 0xF800) >> 11, g = (p & 0x7E0) >> 5, b = p & 0x1F;
        auto six = [](uint16_t v) { return uint8_t((uint16_t(v | v << 8) >> 10) & 0x3F); };
        EXPECT_EQ(w.raw.r, six(uint16_t(r * 0x0400))) << p;
        EXPECT_EQ(w.raw.g, six(uint16_t(0xFC00 - g * 0x0400))) << p;
        EXPECT_EQ(w.raw.b, six(uint16_t(b * 0x0800))) << p;
    }
}

// ---- engine wait ----

TEST(Gd6EngineWait, ResetsHungEngineAndKeepsWaiting) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    Gd6Adapter *a = gd6(s);
    s.machine().setTracing(false);
    s.machine().setPollLimit(1500000);
    s.drawSolidRects({{10, 10, 30, 20}}, 0x11);
    a->hangEngine(3);
    a->clearWaitStats();
    s.drawSolidRects({{40, 10, 60, 20}}, 0x22);
    const auto &w = a->waitStats();
    EXPECT_FALSE(a->hung());
    EXPECT_EQ(w.busyReadsBeforeFirstReset, 1000000u);
    EXPECT_EQ(w.resets, 3u);
    // One read ends the wait, one more precedes the box's start.
    EXPECT_EQ(w.readsAfterLastReset, 2u) << "idle right after the third reset";
    EXPECT_SCREEN_SAME(s);
}

TEST(Gd6EngineWait, NoResetBelowTheLimit) {
    harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    Gd6Adapter *a = gd6(s);
    a->blt().setBusyReads(50);
    a->clearWaitStats();
    s.drawSolidRects({{0, 0, 8, 8}, {8, 8, 16, 16}, {16, 16, 24, 24}}, 0x1234);
    EXPECT_EQ(a->waitStats().resets, 0u);
    EXPECT_GT(a->waitStats().busyReads, 50u);
    EXPECT_SCREEN_SAME(s);
}

// ---- banks ----

// The bank values written to GR9 as the trace shows them.
std::vector<uint8_t> tracedBanks(harness::Screen &s) {
    std::vector<uint8_t> out;
    for (const auto &t : s.machine().trace())
        if (t.kind == sim::Access::PortOut && t.address == 0x3CE && t.width == 2 &&
            (t.value & 0xFF) == 0x09)
            out.push_back(uint8_t(t.value >> 8));
    return out;
}

TEST(Gd6Banks, GXcopySegmentFollowsTheBankAndReturns) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(7);
    GCPtr gc = s.createGC({.alu = GXcopy, .fg = 0x5A});
    s.machine().clearTrace();
    // A vertical line of 150 pixels from (100, 0) leaves the 64 KB window
    // at line 64 and again at line 128; each time the bank is the address
    // with its low 12 bits cleared.
    s.zeroSegs(gc, {{100, 0, 1, 1, 1, 150, -150, 0, -300}});
    EXPECT_EQ(tracedBanks(s), (std::vector<uint8_t>{0x00, 0x10, 0x20, 0xC0000 >> 12}));
    EXPECT_SCREEN_SAME(s);
}

TEST(Gd6Banks, LargeModeBanksAre16K) {
    harness::Screen s(kTolva16Large.driver, harness::loadConfig(kTolva16Large.config),
                      gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.alu = GXcopy, .fg = 0xBEEF});
    s.machine().clearTrace();
    // Down 40 lines from (0, 0): line 32 is at 0x10000, bank 4 of 16 KB.
    s.zeroSegs(gc, {{0, 0, 1, 1, 1, 40, -40, 0, -80}});
    EXPECT_EQ(tracedBanks(s), (std::vector<uint8_t>{0, 4, 0x180000 >> 14}));
    EXPECT_SCREEN_SAME(s);
}

TEST(Gd6Banks, PatternIsWrittenOncePerColour) {
    harness::Screen s(kTolva8.driver, harness::loadConfig(kTolva8.config), gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    const uint8_t cursorBank = 0xFE000 >> 12;
    auto patternLoads = [&] {
        int n = 0;
        for (uint8_t b : tracedBanks(s))
            n += b == cursorBank;
        return n;
    };
    s.machine().clearTrace();
    s.drawSolidRects({{0, 0, 10, 10}}, 0x33);
    s.drawSolidRects({{20, 0, 30, 10}}, 0x33, GXxor);
    EXPECT_EQ(patternLoads(), 1);
    s.drawPoints({{5, 50}}, 0x34);
    EXPECT_EQ(patternLoads(), 2);
    EXPECT_SCREEN_SAME(s);
}

// A mode set may reuse off-screen memory: the pattern is written again after
// a console switch even in the colour it held, all ones included.
TEST(Gd6Banks, ConsoleSwitchForgetsThePatternColour) {
    for (Pixel fg : {Pixel(0x7E0), ~Pixel(0)}) {
        SCOPED_TRACE(fg);
        harness::Screen s(kTolva16.driver, harness::loadConfig(kTolva16.config), gtestOptions());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.drawSolidRects({{0, 0, 10, 10}}, fg);
        s.switchAway();
        s.drain();
        std::memset(gd6(s)->vram()->data() + 0xFC000, 0xA5, 0x4000);
        s.switchBack();
        s.drawSolidRects({{20, 20, 40, 40}}, fg);
        EXPECT_SCREEN_SAME(s);
    }
}

} // namespace
