// dulmo at start-up and across console switches: Init's failures and
// choices, the controller ids of several boards on one bus, the palette
// save and restore, the engine wait, the server's frame-buffer path, GC
// validation and the hardware cursor.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dulmo_fixture.h"

namespace {

using namespace dulmotest;

// ---- Init ----

struct InitCase {
    const char *name;
    const char *file;
    std::vector<std::pair<std::string, int>> ints;
    std::vector<std::string> dropInts;
    bool ok;
    const char *message; // logged; empty for none
    int pitch, pitchShift, cursor;
};

void PrintTo(const InitCase &c, std::ostream *os) {
    *os << c.name;
}

class DulmoInit : public ::testing::TestWithParam<InitCase> {};

TEST_P(DulmoInit, MessagesPitchAndCursor) {
    const InitCase &c = GetParam();
    graf::Config cfg = harness::loadConfig(c.file);
    for (auto &[k, v] : c.ints)
        cfg.ints[k] = v;
    for (auto &k : c.dropInts)
        cfg.ints.erase(k);
    harness::Screen s("dulmo", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_EQ(s.init() != 0, c.ok) << s.failureText();
    if (*c.message) {
        EXPECT_TRUE(errorLogged(c.message)) << s.failureText();
    }
    if (c.ok) {
        const dulmoScreenPrivate &p = privateOf(s);
        EXPECT_EQ(p.pitch, c.pitch);
        EXPECT_EQ(p.pitchShift, c.pitchShift);
        EXPECT_EQ(p.cursorSize, c.cursor);
        EXPECT_EQ(board(s).cursorSize(), c.cursor);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boards, DulmoInit,
    ::testing::Values(
        InitCase{"Flat1024", kFlatFile, {}, {}, true, "", 1024, 10, 32},
        InitCase{"Wide1280",
                 kWideFile,
                 {},
                 {},
                 true,
                 "dulmo: Could not enable glyph cache.\n",
                 2048,
                 11,
                 64},
        // The pitch at other depths: lines shorter than the screen, as given.
        InitCase{"Depth4At1024", kFlatFile, {{"DEPTH", 4}}, {}, true, "", 512, 9, 32},
        InitCase{"Depth4At1280", kWideFile, {{"DEPTH", 4}}, {}, true, "", 1024, 10, 64},
        InitCase{"NoDepthIs8", kFlatFile, {}, {"DEPTH"}, true, "", 1024, 10, 32},
        InitCase{"NoDepthWideIs8", kWideFile, {}, {"DEPTH"}, true, "", 2048, 11, 64},
        InitCase{"NoWidth",
                 kFlatFile,
                 {},
                 {"PIXWIDTH"},
                 false,
                 "dulmo: Grafinfo PIXWIDTH or PIXHEIGHT error.\n",
                 0,
                 0,
                 0},
        InitCase{"ZeroHeight",
                 kFlatFile,
                 {{"PIXHEIGHT", 0}},
                 {},
                 false,
                 "dulmo: Grafinfo PIXWIDTH or PIXHEIGHT error.\n",
                 0,
                 0,
                 0},
        InitCase{"NegativeWidth",
                 kFlatFile,
                 {{"PIXWIDTH", -8}},
                 {},
                 false,
                 "dulmo: Grafinfo PIXWIDTH or PIXHEIGHT error.\n",
                 0,
                 0,
                 0},
        // 2049 lines of 1024 bytes do not fit the 2 MB area.
        InitCase{"LongerThanTheArea",
                 kFlatFile,
                 {{"PIXHEIGHT", 2049}},
                 {},
                 false,
                 "dulmo: Grafinfo MEMORY error.\n",
                 0,
                 0,
                 0},
        // At depth 4 the lines are 512 bytes: the last line of 1024 pixels
        // runs past the area, and a banked line past the window.
        InitCase{"LastLinePastTheArea",
                 kFlatFile,
                 {{"DEPTH", 4}, {"PIXHEIGHT", 4096}},
                 {},
                 false,
                 "dulmo: Grafinfo MEMORY error.\n",
                 0,
                 0,
                 0},
        // The page registers reach 1 MB in 4 KB units.
        InitCase{"BankedPastThePageRegisters",
                 kBankFile,
                 {{"PIXHEIGHT", 1025}},
                 {},
                 false,
                 "dulmo: Grafinfo MEMORY error.\n",
                 0,
                 0,
                 0},
        InitCase{"BankedAllThePageRegistersReach",
                 kBankFile,
                 {{"PIXHEIGHT", 1024}},
                 {},
                 true,
                 "",
                 1024,
                 10,
                 32},
        InitCase{"BankedLineLongerThanThePitch",
                 kBankFile,
                 {{"DEPTH", 4}},
                 {},
                 false,
                 "dulmo: Grafinfo MEMORY error.\n",
                 0,
                 0,
                 0},
        InitCase{"NotTheBoard",
                 kFlatFile,
                 {{"CHIP", 0x28}},
                 {},
                 false,
                 "dulmo: The configured graphics adapter is not a Dulmoion 1024 or 1280.\n",
                 0,
                 0,
                 0},
        InitCase{"NotTheBoardHigh",
                 kFlatFile,
                 {{"CHIP", 0x78}},
                 {},
                 false,
                 "dulmo: Configure the correct graphics adapter and try again.\n",
                 0,
                 0,
                 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DulmoInit, AcceptedChipIdsAndTheRevisionFlag) {
    for (int chip : {0x30, 0x33, 0x37, 0x70, 0x71, 0x77}) {
        for (int rev : {0, 1}) {
            SCOPED_TRACE(std::to_string(chip) + " rev " + std::to_string(rev));
            harness::beginCase();
            graf::Config cfg = sized(kFlatFile, 64, 16);
            cfg.ints["CHIP"] = chip;
            cfg.ints["CHIP_REV"] = rev;
            auto s = startScreen(cfg);
            EXPECT_EQ(privateOf(*s).chipRevisionFlag, chip == 0x71 && rev == 1 ? 1 : 0);
        }
    }
}

TEST(DulmoInit, MissingStringKeysAndAreaFail) {
    struct Case {
        const char *what;
        const char *message;
    } cases[] = {{"FBTYPE", "dulmo: Grafinfo FBTYPE error.\n"},
                 {"MEMORY", "dulmo: Grafinfo MEMORY error.\n"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        graf::Config cfg = sized(kFlatFile, 64, 16);
        if (std::string(c.what) == "MEMORY")
            cfg.areas.clear();
        else
            cfg.strings.erase(c.what);
        harness::Screen s("dulmo", cfg, quiet());
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(errorLogged(c.message));
    }
}

TEST(DulmoInit, CacheOnlyOnAFlatScreenWithRoomForIt) {
    struct Case {
        const char *file;
        bool cache;
    } cases[] = {{kCacheFile, true}, {kWideFile, false}, {kBankFile, false}, {kFlatFile, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        harness::beginCase();
        graf::Config cfg = harness::loadConfig(c.file);
        cfg.strings["GLYPH_CACHE"] = "YES";
        auto s = startScreen(cfg);
        EXPECT_EQ(privateOf(*s).glyphCacheOn, c.cache ? 1 : 0);
        EXPECT_EQ(s->nfb()->ClearFont != nullptr, c.cache);
        EXPECT_EQ(errorLogged("dulmo: Could not enable glyph cache.\n"),
                  !c.cache && std::string(c.file) != kBankFile);
    }
}

TEST(DulmoInit, GlyphCacheRefusedWhenTheAreaEndsBeforeIt) {
    graf::Config cfg = sized(kCacheFile, 64, 16);
    cfg.areas[0].length = 0xDF000;
    auto s = startScreen(cfg);
    EXPECT_EQ(privateOf(*s).glyphCacheOn, 0);
    EXPECT_TRUE(errorLogged("dulmo: Could not enable glyph cache.\n"));
}

TEST(DulmoInit, AFailedIndexAllocationIsTriedAgainByTheNextScreen) {
    graf::Config cfg = sized(kFlatFile, 64, 16);
    {
        harness::Screen s("dulmo", cfg, quiet());
        server::failScreenPrivateIndex(true);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(errorLogged("dulmo: Screen private index allocation error.\n"));
        server::failScreenPrivateIndex(false);
        // Another screen of the same generation takes an index after all.
        ASSERT_TRUE(s.init()) << s.failureText();
        EXPECT_NO_THROW(privateOf(s));
    }
}

TEST(DulmoInit, MissingOrFailingSetGraphicsFailsTheHardware) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "fails" : "missing");
        harness::beginCase();
        graf::Config cfg = sized(kFlatFile, 64, 16);
        if (!fails)
            cfg.procedures.erase("SetGraphics");
        harness::Screen s("dulmo", cfg, quiet());
        if (fails)
            graf::setProcedureFails(s.grafinfo(), "SetGraphics", true);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_TRUE(errorLogged("grafinfo file needs PROCEDURE SetGraphics\n"));
        EXPECT_TRUE(errorLogged("dulmo: FAILED TO INITIALIZE HARDWARE.\n"));
    }
}

TEST(DulmoInit, RecordsOptionsAndTheSolidTemplate) {
    auto flat = startScreen(sized(kFlatFile, 64, 16));
    EXPECT_EQ(flat->registered().optionsVersion, 50);
    EXPECT_EQ(flat->registered().optionFlags, 0);
    PrivOps *solid = flat->nfb()->gcTemplate->ops;
    EXPECT_EQ(solid->FillRects, genSolidFillRects);
    EXPECT_NE(solid->FS, genSolidFS) << "the flat record fills spans itself";
    EXPECT_NE(flat->pointer(), nullptr);
    EXPECT_EQ(flat->registered().pointerArgs, (std::vector<int>{0, 1}));
}

// ---- the server's frame-buffer code ----

TEST(DulmoUsedfb, TheLayerDrawsAndTheDriverKeepsPaletteCursorAndSwitch) {
    auto s = std::make_unique<harness::Screen>("dulmo", sized(kUsedfbFile, 64, 16), strict());
    ASSERT_TRUE(s->probe());
    ASSERT_TRUE(s->init()) << s->failureText();
    EXPECT_TRUE(errorLogged("dulmo: Using CFB code, index 0\n"));
    ScreenPtr screen = s->screen();
    nfbScreenPrivate *nfb = s->nfb();
    EXPECT_EQ(nfb->screenPixmap.devPrivate, s->graf().areas[0].mapped);
    EXPECT_EQ(nfb->screenPixmap.devKind, 64) << "the layer's line is the width";
    EXPECT_EQ(nfb->ValidateWindowPriv, nullptr);
    EXPECT_EQ(screen->InstallColormap, nfbInstallColormap);
    EXPECT_EQ(screen->StoreColors, nfbStoreColors);
    EXPECT_EQ(screen->SaveScreen, nfbSaveScreen);
    EXPECT_EQ(screen->whitePixel, 1u);
    EXPECT_EQ(screen->blackPixel, 0u);
    EXPECT_FALSE(s->registered().optionsSet);
    // The palette through the layer's hook reaches the board.
    xColorItem item{};
    item.pixel = 7;
    item.red = 0x1200;
    item.green = 0x3400;
    item.blue = 0x5600;
    screen->StoreColors(s->defaultColormap(), 1, &item);
    EXPECT_EQ(board(*s).paletteEntry(7), (std::array<uint8_t, 3>{0x12, 0x34, 0x56}));
    screen->SaveScreen(screen, 1);
    EXPECT_TRUE(board(*s).blanked());
    s->switchAway();
    s->switchBack();
    EXPECT_FALSE(board(*s).blanked());
    s->freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(DulmoUsedfb, WithABankedScreenIsFatal) {
    graf::Config cfg = sized(kUsedfbFile, 64, 16);
    cfg.strings["FBTYPE"] = "BANK";
    cfg.areas[0].length = 0x10000;
    harness::Screen s("dulmo", cfg, quiet());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "dulmo: Incompatible grafinfo USEDFB and BANK.\n");
}

// ---- several boards on one bus ----

TEST(DulmoBoards, ThreeScreensTakeIds0To2) {
    auto a = startScreen(harness::loadConfig(setFile(0)), strict(0));
    auto b = startScreen(harness::loadConfig(setFile(1)), strict(1, a.get()));
    auto c = startScreen(harness::loadConfig(setFile(2)), strict(2, a.get()));
    EXPECT_EQ(privateOf(*a).controllerId, 0);
    EXPECT_EQ(privateOf(*b).controllerId, 1);
    EXPECT_EQ(privateOf(*c).controllerId, 2);
    EXPECT_EQ(privateOf(*a).primaryScreen, 1);
    EXPECT_EQ(privateOf(*c).primaryScreen, 0);
    // Each board got its own palette: the default colormap's white at 1.
    for (auto *s : {a.get(), b.get(), c.get()})
        EXPECT_EQ(board(*s).paletteEntry(1), (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
}

TEST(DulmoBoards, AFirstBoardOtherThanThePrimaryRefusesTheNext) {
    graf::Config first = harness::loadConfig(setFile(2));
    auto a = startScreen(first, strict(0));
    EXPECT_EQ(privateOf(*a).controllerId, 2);
    graf::Config second = harness::loadConfig(setFile(0));
    harness::Screen b("dulmo", second, strict(1, a.get()));
    ASSERT_TRUE(b.probe());
    EXPECT_FALSE(b.init());
    EXPECT_TRUE(errorLogged("dulmo: Dulmoion multi-screen support NOT enabled.\n"));
    EXPECT_TRUE(errorLogged("dulmo: Primary controller must be first (ID = 0).\n"));
    EXPECT_TRUE(errorLogged("dulmo: FAILED TO INITIALIZE HARDWARE.\n"));
}

// Random calls on three screens, interleaved: every access reaches the board
// the driver selected (the model fails any access to another), and every
// screen keeps its own pixels.
TEST(DulmoBoards, InterleavedCallsNeverReachAnUnselectedBoard) {
    auto a = startScreen(sized(setFile(0), 96, 48), strict(0));
    auto b = startScreen(sized(setFile(1), 96, 48), strict(1, a.get()));
    auto c = startScreen(sized(setFile(2), 96, 48), strict(2, a.get()));
    std::vector<harness::Screen *> screens = {a.get(), b.get(), c.get()};
    for (size_t i = 0; i < screens.size(); i++)
        screens[i]->fillRandom(uint32_t(i + 1));
    std::mt19937 rng(7);
    auto coord = [&](int n) { return int(rng() % uint32_t(n)); };
    for (int step = 0; step < 60; step++) {
        harness::Screen &s = *screens[rng() % 3];
        int x = coord(80), y = coord(40);
        switch (rng() % 6) {
        case 0:
            s.drawSolidRects(
                {{int16_t(x), int16_t(y), int16_t(x + 1 + coord(15)), int16_t(y + 1 + coord(7))}},
                rng() & 0xFF, int(rng() % 16), rng() & 0xFF);
            break;
        case 1:
            s.copyRect({int16_t(x), int16_t(y), int16_t(x + 12), int16_t(y + 6)},
                       {int16_t(coord(80)), int16_t(coord(40))}, int(rng() % 16));
            break;
        case 2:
            s.drawPoints({{int16_t(x), int16_t(y)}, {int16_t(y), int16_t(x / 2)}}, rng() & 0xFF);
            break;
        case 3: {
            std::vector<uint8_t> px(12 * 5);
            for (auto &v : px)
                v = uint8_t(rng());
            s.drawImage({int16_t(x), int16_t(y), int16_t(x + 12), int16_t(y + 5)}, px, 12,
                        int(rng() % 16), rng() & 0xFF);
            break;
        }
        case 4:
            s.setColor(int(rng() % 256), uint16_t(rng()), uint16_t(rng()), uint16_t(rng()));
            break;
        default:
            s.moveCursor(x, y);
            break;
        }
    }
    for (harness::Screen *s : screens)
        EXPECT_SCREEN_SAME(*s);
}

// ---- palette ----

TEST(DulmoPalette, SavedOnceAndRestoredAtEverySwitchToText) {
    graf::Config cfg = sized(kFlatFile, 64, 16);
    auto s = std::make_unique<harness::Screen>("dulmo", cfg, strict());
    // The console's palette before the server starts.
    for (int i = 0; i < 256; i++)
        board(*s).setPaletteEntry(i, uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
    ASSERT_TRUE(s->start());
    EXPECT_EQ(board(*s).unpacedPaletteAccesses(), 0) << "every data access follows a delay";
    EXPECT_EQ(privateOf(*s).dacSave[3 * 5 + 2], uint8_t(35));
    auto expectConsole = [&] {
        for (int i : {0, 1, 100, 255})
            EXPECT_EQ(board(*s).paletteEntry(i),
                      (std::array<uint8_t, 3>{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)}))
                << i;
    };
    s->setColor(100, 0, 0, 0);
    s->switchAway();
    expectConsole();
    s->switchBack();
    EXPECT_NE(board(*s).paletteEntry(100), (std::array<uint8_t, 3>{100, 155, 188}));
    // A second generation sets the palette up again; the console's palette
    // is still the one to give back.
    ASSERT_TRUE(s->nextGeneration()) << s->failureText();
    EXPECT_NE(board(*s).paletteEntry(1), (std::array<uint8_t, 3>{1, 254, 7}));
    s->switchAway();
    expectConsole();
    EXPECT_EQ(board(*s).unpacedPaletteAccesses(), 0);
}

TEST(DulmoPalette, AnIndexPastTheColormapWritesNothing) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    s->machine().clearTrace();
    s->setColor(256, 0xFFFF, 0xFFFF, 0xFFFF);
    for (const PortAccess &a : portAccesses(s->machine()))
        EXPECT_EQ(a.port, 0x83C4) << "only the controller select";
    s->machine().clearTrace();
    s->setColor(255, 0xAB00, 0xCD00, 0xEF00);
    EXPECT_EQ(board(*s).paletteEntry(255), (std::array<uint8_t, 3>{0xAB, 0xCD, 0xEF}));
}

// ---- engine wait ----

TEST(DulmoEngine, AStuckEngineIsResetAfter250000FurtherReads) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    board(*s).setStuck(true);
    s->machine().clearTrace();
    s->saveGState();
    int reads = 0;
    bool reset = false;
    for (const PortAccess &a : portAccesses(s->machine())) {
        if (!a.write && a.port == 0x63CA && !reset)
            reads++;
        if (a.write && a.port == 0x33CE && a.value == 0)
            reset = true;
    }
    EXPECT_EQ(reads, 250001);
    EXPECT_TRUE(reset);
    EXPECT_EQ(board(*s).resets(), 1);
    // The driver goes on with an engine that works again.
    s->restoreGState();
    s->drawSolidRects({{2, 2, 9, 9}}, 5);
    EXPECT_SCREEN_SAME(*s);
}

// ---- GC validation ----

TEST(DulmoValidate, FillStylesAndTheOpaqueStippleThatTurnsSolid) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    PixmapPtr st = s->stipple({"X.", ".X"});
    struct Case {
        int style;
        Pixel fg, bg;
        const char *ops;
    } cases[] = {{FillSolid, 1, 0, "solid"},
                 {FillTiled, 1, 0, "tiled"},
                 {FillStippled, 1, 0, "stippled"},
                 {FillOpaqueStippled, 3, 3, "solid"},
                 {FillOpaqueStippled, 3, 4, "opstippled"}};
    auto name = [&](PrivOps *ops) -> std::string {
        if (ops->FillRects == genSolidFillRects)
            return "solid";
        if (ops->FillRects == genTiledFillRects)
            return "tiled";
        if (ops->FillRects == genStippledFillRects)
            return "stippled";
        if (ops->FillRects == genOpStippledFillRects)
            return "opstippled";
        return "?";
    };
    for (const Case &c : cases) {
        GCPtr gc = s->createGC({.fillStyle = c.style,
                                .fg = c.fg,
                                .bg = c.bg,
                                .tile = s->tile(1, 1, {1}),
                                .stipple = st});
        EXPECT_EQ(name(s->ops(gc)), c.ops) << c.style << " " << c.fg << " " << c.bg;
    }
    // Equal colours, then different ones: only the colours change.
    GCPtr gc = s->createGC({.fillStyle = FillOpaqueStippled, .fg = 2, .bg = 2, .stipple = st});
    ASSERT_EQ(name(s->ops(gc)), "solid");
    s->changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 2, .bg = 9, .stipple = st},
                GCBackground);
    EXPECT_EQ(name(s->ops(gc)), "opstippled");
}

// ---- cursor ----

TEST(DulmoCursor, ImageKeepsTheFirstColumnsAndEveryRow) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    std::vector<std::string> rows(20, std::string(40, 'X'));
    rows[19] = std::string(40, 'B');
    auto c = harness::makeCursor(rows, 0, 0);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    const uint8_t *image = static_cast<const uint8_t *>(c->rec.devPriv[0]);
    ASSERT_NE(image, nullptr);
    for (int row = 0; row < 32; row++)
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(image[row * 4 + i], row < 19 ? 0xFF : 0) << row;
            EXPECT_EQ(image[128 + row * 4 + i], row < 20 ? 0xFF : 0) << row;
        }
    s->setCursor(c->ptr(), 10, 4);
    EXPECT_EQ(board(*s).cursorAt(10, 4), 2);
    EXPECT_EQ(board(*s).cursorAt(41, 22), 2);
    EXPECT_EQ(board(*s).cursorAt(41, 23), 1);
    EXPECT_EQ(board(*s).cursorAt(42, 4), -1) << "past the 32 columns kept";
    EXPECT_EQ(board(*s).cursorColour(2), (std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}));
}

TEST(DulmoCursor, PlacedBySizeLessTheHotSpot) {
    auto s = startScreen(sized(kWideFile, 1280, 16));
    auto c =
        harness::makeCursor({"XXXX", "X..B"}, 3, 5, 0x1234, 0x5678, 0x9ABC, 0x0100, 0x0200, 0x0300);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 0, 0);
    EXPECT_EQ(board(*s).cursorX(), 61);
    EXPECT_EQ(board(*s).cursorY(), 59);
    EXPECT_EQ(board(*s).cursorColour(2), (std::array<uint8_t, 3>{0x12, 0x56, 0x9A}));
    EXPECT_EQ(board(*s).cursorColour(1), (std::array<uint8_t, 3>{0x01, 0x02, 0x03}));
    EXPECT_EQ(board(*s).cursorAt(-3, -5), 2);
    EXPECT_EQ(board(*s).cursorAt(0, -4), 1);
    EXPECT_EQ(board(*s).cursorAt(-2, -4), -1);
    s->moveCursor(100, 200);
    EXPECT_EQ(board(*s).cursorX(), 161);
    EXPECT_EQ(board(*s).cursorY(), 259);
}

TEST(DulmoCursor, HidingTouchesOnlyTheCommandPort) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    auto c = harness::makeCursor({"XX"}, 0, 0);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 5, 5);
    ASSERT_TRUE(board(*s).cursorShown());
    s->machine().clearTrace();
    s->setCursor(nullptr, 5, 5);
    std::vector<PortAccess> got = portAccesses(s->machine());
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].port, 0x83C4);
    EXPECT_EQ(got[1], (PortAccess{false, 0x13C9, 3, 1}));
    EXPECT_EQ(got[2], (PortAccess{true, 0x13C9, 0, 1}));
    EXPECT_FALSE(board(*s).cursorShown());
}

TEST(DulmoCursor, TheImageStaysWhileTheCursorIsStillReferenced) {
    auto s = startScreen(sized(kFlatFile, 64, 16));
    auto c = harness::makeCursor({"XX"}, 0, 0);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    size_t held = server::liveBlockCount();
    // Still referenced: the driver is asked directly, since the harness's
    // unrealize is the server freeing the cursor (count 0).
    c->rec.refcnt = 1;
    Bool r = 0;
    s->call("UnrealizeCursor", [&] { r = s->pointer()->UnrealizeCursor(s->screen(), c->ptr()); });
    EXPECT_TRUE(r);
    EXPECT_EQ(server::liveBlockCount(), held);
    EXPECT_NE(c->rec.devPriv[0], nullptr);
    c->rec.refcnt = 0;
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
    EXPECT_EQ(server::liveBlockCount(), held - 1);
}

TEST(DulmoLife, CloseLeavesNothingAndHidesTheCursor) {
    for (const char *file : {kFlatFile, kCacheFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(harness::loadConfig(file));
        auto c = harness::makeCursor({"XX"}, 0, 0);
        ASSERT_TRUE(s->realizeCursor(c->ptr()));
        s->setCursor(c->ptr(), 1, 1);
        c->rec.refcnt = 0;
        s->unrealizeCursor(c->ptr());
        s->freeScreen();
        EXPECT_FALSE(board(*s).cursorShown());
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

} // namespace
