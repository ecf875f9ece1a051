// The neo drivers (yssen8, yssen16) at start-up: the chip's engine values
// and cursor place, the raster-op table, the panel outputs across the
// console switch, blanking, best sizes, GC validation, images with the
// plane mask in software, too-short memory areas, the palette, and two
// screens sharing the driver's records.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "models/neomagic.h"
#include "server.h"

namespace {

using sim::NeoAdapter;

// The screen private, field by field as the driver has it.
struct Private {
    uint8_t *fbBase;
    uint8_t *regBase;
    int32_t width, height, pitch;
    uint8_t cursorImage[1024], cursorBlank[1024], cursorShifted[1024];
    int32_t hotX, hotY;
    uint32_t cursorAddrCode;
    int32_t lastShiftX, lastShiftY;
    uint8_t *cursorMem;
    uint32_t cursorRegs;
    int32_t internDisp, externDisp;
    uint32_t savedGR20, bltFlags, blitMode;
};

const Private &privateOf(harness::Screen &s) {
    return *static_cast<const Private *>(
        s.screen()->devPrivates[server::screenPrivateCount() - 1].ptr);
}

NeoAdapter &board(harness::Screen &s) {
    return *dynamic_cast<NeoAdapter *>(s.adapter());
}

void *symbol(const std::string &driver, const std::string &name) {
    void *h = dlopen(harness::driverPath(driver).c_str(), RTLD_NOW | RTLD_NOLOAD);
    void *p = h ? dlsym(h, name.c_str()) : nullptr;
    if (h)
        dlclose(h);
    return p;
}

harness::Options gtestOptions() {
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    return o;
}

graf::Config config(const char *file, int depth, int width, int height) {
    graf::Config c = harness::loadConfig(std::string("portable/neo/") + file);
    c.ints["DEPTH"] = depth;
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = height;
    return c;
}

const char *driverFor(int depth) {
    return depth == 16 ? "yssen16" : "yssen8";
}

// ---- the chip's values ----

struct ChipCase {
    const char *name;
    int chipCode; // the board's CR1A
    int chipId;   // the CHIPID key, -1 for none
    int noAccel;  // the NOACCEL key, -1 for none
    int depth, width;
    uint32_t bltFlags, blitMode, cursorAddrCode, cursorRegs;
    const char *records; // 209X, 2200 or DFB
};

void PrintTo(const ChipCase &c, std::ostream *os) {
    *os << c.name;
}

class NeoChips : public ::testing::TestWithParam<ChipCase> {};

TEST_P(NeoChips, EngineValuesAndCursorPlace) {
    const ChipCase &c = GetParam();
    graf::Config cfg = config("yssen-2200.graf", c.depth, c.width, 200);
    cfg.ints["CHIPCODE"] = c.chipCode;
    if (c.chipId >= 0)
        cfg.ints["CHIPID"] = c.chipId;
    if (c.noAccel >= 0)
        cfg.ints["NOACCEL"] = c.noAccel;
    harness::Screen s(driverFor(c.depth), cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    const Private &p = privateOf(s);
    if (c.bltFlags) {
        EXPECT_EQ(p.bltFlags, c.bltFlags);
    }
    if (c.blitMode) {
        EXPECT_EQ(p.blitMode, c.blitMode);
    }
    EXPECT_EQ(p.cursorAddrCode, c.cursorAddrCode);
    EXPECT_EQ(p.cursorRegs, c.cursorRegs);
    EXPECT_EQ(p.cursorMem, c.cursorAddrCode ? p.fbBase + c.cursorAddrCode * 1024 : nullptr);
    // The chip's engine records, with the solid ones for the GC template;
    // the chip's cursor wherever it has one.
    const std::string d = driverFor(c.depth);
    const std::string r = c.records;
    EXPECT_EQ(s.winOps(), symbol(d, d + (r == "DFB" ? "DFBWinOps" : "WinOps" + r)));
    EXPECT_EQ(static_cast<void *>(s.nfb()->gcTemplate->ops),
              symbol(d, d + (r == "DFB" ? "DFBSolidPrivOps" : "SolidPrivOps" + r)));
    EXPECT_EQ(s.registered().swCursor, c.cursorRegs == 0);
    EXPECT_EQ(s.registered().pointerAccepted, c.cursorRegs != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, NeoChips,
    ::testing::Values(
        ChipCase{"Code2At640", 2, -1, -1, 8, 640, 0x8A000900, 0, 0x47E, 0x100, "209X"},
        ChipCase{"Code3At1024", 3, -1, -1, 8, 1024, 0x8A001100, 0, 0x47E, 0x100, "209X"},
        ChipCase{"Code3At1024Depth16", 3, -1, -1, 16, 1024, 0x8A001200, 0, 0x47E, 0x100, "209X"},
        ChipCase{"Code4At800", 4, -1, -1, 8, 800, 0x82000D00, 0, 0x7FF, 0x100, "209X"},
        ChipCase{"ChipId53OverridesTheRegister", 3, 0x53, -1, 8, 640, 0x82000900, 0, 0x47F, 0x100,
                 "209X"},
        // A width the engine has no line length for is drawn by the processor.
        ChipCase{"Code3WidthWithoutCode", 3, -1, -1, 8, 1280, 0x8A000100, 0, 0x47E, 0x100, "DFB"},
        ChipCase{"Code5At1280", 5, -1, -1, 8, 1280, 0, 0x1900, 0x9FF, 0x1000, "2200"},
        ChipCase{"Code5At1280Depth16", 5, -1, -1, 16, 1280, 0, 0x1A00, 0x9FF, 0x1000, "2200"},
        ChipCase{"Code5WidthWithoutCode", 5, -1, -1, 8, 1000, 0, 0x100, 0x9FF, 0x1000, "DFB"},
        ChipCase{"OtherCode", 7, -1, -1, 8, 640, 0, 0, 0, 0, "DFB"},
        ChipCase{"NoAccel", 3, -1, 1, 8, 640, 0, 0, 0, 0, "DFB"},
        ChipCase{"NoAccelZero", 3, -1, 0, 8, 640, 0x8A000900, 0, 0x47E, 0x100, "209X"}),
    [](const auto &info) { return std::string(info.param.name); });

// Each build draws one pixel size: a screen of another depth is not taken
// (its images would be read and written at the wrong size).
TEST(NeoProbe, OnlyTheBuildsOwnDepth) {
    struct Case {
        const char *driver;
        int depth, bitsPerPixel;
        bool taken;
    };
    const Case cases[] = {{"yssen8", 8, 8, true},     {"yssen8", 16, 16, false},
                          {"yssen16", 16, 16, true},  {"yssen16", 8, 8, false},
                          {"yssen16", 15, 16, false}, {"yssen8", 8, 16, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.driver) + " depth " + std::to_string(c.depth));
        harness::beginCase();
        harness::Options o = gtestOptions();
        o.depth = c.depth;
        o.bitsPerPixel = c.bitsPerPixel;
        harness::Screen s(c.driver, config("yssen-209x.graf", c.depth, 640, 48), o);
        EXPECT_EQ(s.probe() != 0, c.taken);
    }
}

TEST(NeoRasterOps, EachAluWithItsBitsReversed) {
    harness::Screen s("yssen8", config("yssen-209x.graf", 8, 640, 480));
    ASSERT_TRUE(s.probe());
    const auto *table = static_cast<const uint8_t *>(symbol("yssen8", "yssen8RasterOps"));
    ASSERT_NE(table, nullptr);
    const uint8_t want[16] = {0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE,
                              0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(table[i], want[i]) << i;
}

// ---- panel outputs, blanking, best sizes ----

TEST(NeoPanel, OutputsWhileShownAndTheConsolesOwnAfterwards) {
    struct Case {
        int intern, extern_; // -1: key absent
        int before;          // GR20 as the BIOS left it
        int shown;           // GR20 while the X screen shows, -1: never touched
    };
    for (Case c : {Case{1, 1, 0xA4, 0xA7}, Case{0, 1, 0xA6, 0xA5}, Case{-1, -1, 0x51, 0x52},
                   Case{0, 0, 0x51, -1}}) {
        SCOPED_TRACE(std::to_string(c.intern) + "/" + std::to_string(c.extern_));
        harness::beginCase();
        graf::Config cfg = config("yssen-209x.graf", 8, 640, 480);
        cfg.ints.erase("INTERN_DISP");
        if (c.intern >= 0)
            cfg.ints["INTERN_DISP"] = c.intern;
        if (c.extern_ >= 0)
            cfg.ints["EXTERN_DISP"] = c.extern_;
        cfg.ints["GR20"] = c.before;
        harness::Screen s("yssen8", cfg, gtestOptions());
        ASSERT_TRUE(s.start()) << s.failureText();
        auto &gc = board(s).vga().gc;
        const size_t writesBefore = [&] {
            size_t n = 0;
            for (const auto &w : gc.writes())
                n += w.index == NeoAdapter::GR20;
            return n;
        }();
        EXPECT_EQ(gc.reg(NeoAdapter::GR20), c.shown < 0 ? c.before : c.shown);
        EXPECT_EQ(writesBefore, c.shown < 0 ? 0u : 1u);
        EXPECT_TRUE(s.setText());
        EXPECT_EQ(gc.reg(NeoAdapter::GR20), c.before);
        // The register block's first word is the engine's status: only the
        // cursor registers are written.
        EXPECT_EQ(board(s).registerWords().count(0x100), 1u);
    }
}

TEST(NeoPanel, SetTextWithoutCursorRegistersWritesNoRegisterWord) {
    graf::Config cfg = config("yssen-209x.graf", 8, 640, 480);
    cfg.ints["NOACCEL"] = 1;
    harness::Screen s("yssen8", cfg, gtestOptions());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.setText();
    EXPECT_TRUE(board(s).registerWords().empty());
}

TEST(NeoBlank, ThroughSequencerRegisterOne) {
    harness::Screen s("yssen16", config("yssen-209x.graf", 16, 640, 480), gtestOptions());
    ASSERT_TRUE(s.start());
    const uint8_t sr1 = board(s).vga().seq.reg(1);
    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_TRUE(board(s).blanked());
    EXPECT_EQ(board(s).vga().seq.reg(1) & ~0x20, sr1 & ~0x20);
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_FALSE(board(s).blanked());
}

TEST(NeoQueryBestSize, CursorsAreCutToTheScreen) {
    struct Case {
        int width, height, cls;
        uint16_t w, h, wantW, wantH;
    };
    for (Case c : {Case{1024, 768, CursorShape, 128, 128, 128, 128},
                   Case{100, 100, CursorShape, 128, 128, 100, 100},
                   Case{100, 100, TileShape, 128, 128, 128, 128}}) {
        harness::beginCase();
        harness::Screen s("yssen8", config("yssen-209x.graf", 8, c.width, c.height),
                          gtestOptions());
        ASSERT_TRUE(s.start());
        EXPECT_EQ(s.queryBestSize(c.cls, c.w, c.h), std::make_pair(c.wantW, c.wantH));
    }
}

// ---- validation ----

TEST(NeoValidate, RecordsByFillStyleAluAndPlaneMask) {
    struct Case {
        int depth, style, alu;
        uint32_t mask;
        const char *record;
    };
    const Case cases[] = {
        {8, FillSolid, GXcopy, ~0u, "SolidPrivOpsGXcopy209X"},
        {8, FillSolid, GXxor, ~0u, "SolidPrivOps209X"},
        {8, FillSolid, GXxor, 0x0F, "DFBPlanemaskSolidPrivOps"},
        {8, FillSolid, GXcopy, 0xFF00FF, "SolidPrivOpsGXcopy209X"},
        {16, FillSolid, GXcopy, 0xFF00, "DFBPlanemaskSolidPrivOps"},
        {16, FillTiled, GXcopy, 0x0F, "DFBTiledPrivOps"},
        {16, FillStippled, GXcopy, 0x0F, "DFBPlanemaskStippledPrivOps"},
        {8, FillStippled, GXor, ~0u, "DFBStippledPrivOps"},
        // An opaque stipple in one colour keeps its own record.
        {8, FillOpaqueStippled, GXcopy, ~0u, "DFBOpStippledPrivOps"},
        {16, FillOpaqueStippled, GXcopy, 0xFF, "DFBPlanemaskOpStippledPrivOps"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.record);
        harness::beginCase();
        harness::Screen s(driverFor(c.depth), config("yssen-209x.graf", c.depth, 640, 480),
                          gtestOptions());
        ASSERT_TRUE(s.start());
        harness::GCSpec gcv{
            .fillStyle = c.style, .alu = c.alu, .planemask = c.mask, .fg = 3, .bg = 3};
        if (c.style == FillTiled)
            gcv.tile = s.tile(2, 2, {1, 2, 3, 4});
        if (c.style == FillStippled || c.style == FillOpaqueStippled)
            gcv.stipple = s.stipple({"X.", ".X"});
        GCPtr gc = s.createGC(gcv);
        const std::string d = driverFor(c.depth);
        EXPECT_EQ(static_cast<void *>(s.ops(gc)), symbol(d, d + c.record));
    }
}

// ---- images ----

class NeoImages : public ::testing::TestWithParam<int> {};

TEST_P(NeoImages, PlaneMaskAndAlusInSoftware) {
    const int depth = GetParam();
    const int bpp = depth / 8;
    harness::Screen s(driverFor(depth), config("yssen-209x.graf", depth, 64, 24), gtestOptions());
    ASSERT_TRUE(s.start());
    s.fillRandom(3);
    const std::vector<uint32_t> masks = depth == 8
                                            ? std::vector<uint32_t>{~0u, 0x0F, 0xFF00, 0xA5}
                                            : std::vector<uint32_t>{~0u, 0xFF00, 0x0F0F, 0xF0000};
    int k = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t mask : masks) {
            const int w = 1 + k % 9, h = 1 + k % 4, stride = w * bpp + k % 3;
            const BoxRec box = {int16_t(k % 50), int16_t(k % 20), int16_t(k % 50 + w),
                                int16_t(k % 20 + h)};
            std::vector<uint8_t> px(size_t(stride * (h - 1) + w * bpp));
            for (size_t i = 0; i < px.size(); i++)
                px[i] = uint8_t(i * 31 + size_t(k));
            s.drawImage(box, px, stride, alu, mask);
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            EXPECT_SCREEN_SAME(s);
            EXPECT_EQ(s.readImage(box, stride), s.expectedImage(box, stride));
            k++;
        }
    s.drawImage({5, 5, 5, 9}, {}, 4, GXxor);
    EXPECT_EQ(s.readImage({5, 5, 5, 9}, 4, 0x11), std::vector<uint8_t>(size_t(4 * 4), 0x11));
    EXPECT_SCREEN_SAME(s);
}

INSTANTIATE_TEST_SUITE_P(Builds, NeoImages, ::testing::Values(8, 16),
                         [](const auto &info) { return "Depth" + std::to_string(info.param); });

// ---- memory areas ----

TEST(NeoAreas, ShortAreasCountAsMissing) {
    struct Case {
        const char *name;
        const char *area;
        uint32_t length;
        int noAccel;
    };
    for (Case c : {Case{"NoFrameBuffer", "MEM_BASE1", 0, 0},
                   Case{"FrameBufferShorterThanTheScreen", "MEM_BASE1", 0x4000, 1},
                   Case{"FrameBufferShorterThanTheCursor", "MEM_BASE1", 0x100000, 0},
                   Case{"NoRegisterBlock", "MEM_BASE2", 0, 1},
                   Case{"RegisterBlockWithoutTheHostWindow", "MEM_BASE2", 0x1000, 0}}) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        graf::Config cfg = config("yssen-209x.graf", 8, 640, 480);
        cfg.ints["NOACCEL"] = c.noAccel;
        for (size_t i = 0; i < cfg.areas.size(); i++)
            if (cfg.areas[i].name == c.area) {
                if (c.length == 0)
                    cfg.areas.erase(cfg.areas.begin() + long(i));
                else
                    cfg.areas[i].length = c.length;
                break;
            }
        harness::Screen s("yssen8", cfg);
        ASSERT_TRUE(s.probe());
        EXPECT_FALSE(s.init());
        EXPECT_EQ(s.fatalMessage(), "neo: Missing MEMORY in grafinfo file.\n");
    }
    // Without a cursor place or the engine, a short register block will do.
    harness::beginCase();
    graf::Config cfg = config("yssen-209x.graf", 8, 640, 480);
    cfg.ints["NOACCEL"] = 1;
    for (auto &a : cfg.areas)
        if (a.name == "MEM_BASE2")
            a.length = 0x1000;
    harness::Screen s("yssen8", cfg, gtestOptions());
    EXPECT_TRUE(s.start()) << s.failureText();
}

// The frame buffer may be mapped longer than the board's memory: the screen
// and the cursor image must fit the memory, or Init says why and stops
// before anything reaches past it.
TEST(NeoAreas, ScreenOrCursorPastVideoMemory) {
    struct Case {
        const char *name;
        const char *file;
        int depth, width, height;
        int memSize; // -1: no MEMSIZE key (the board then has 2 MB)
        bool starts;
    };
    for (Case c : {Case{"ScreenPastMemory", "yssen-209x.graf", 16, 640, 1806, 0x200000, false},
                   Case{"ScreenFillsMemory", "yssen-209x.graf", 16, 640, 1638, 0x200000, true},
                   Case{"ScreenPastDefaultMemory", "yssen-209x.graf", 8, 1024, 2049, -1, false},
                   Case{"CursorPastMemory", "yssen-2200.graf", 8, 640, 48, 0x200000, false},
                   Case{"CursorPastDefaultMemory", "yssen-2200.graf", 8, 640, 48, -1, false},
                   Case{"CursorAtTheTop", "yssen-2200.graf", 8, 640, 48, 0x280000, true}}) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        graf::Config cfg = config(c.file, c.depth, c.width, c.height);
        if (c.memSize < 0)
            cfg.ints.erase("MEMSIZE");
        else
            cfg.ints["MEMSIZE"] = c.memSize;
        for (auto &a : cfg.areas)
            if (a.name == "MEM_BASE1")
                a.length = 0x400000;
        harness::Screen s(c.depth == 8 ? "yssen8" : "yssen16", cfg, gtestOptions());
        if (c.starts) {
            ASSERT_TRUE(s.start()) << s.failureText();
            GCPtr gc = s.createGC({.alu = GXcopy, .fg = 0x5A});
            const int16_t w = int16_t(c.width), h = int16_t(c.height);
            s.fillRects(gc, {{0, int16_t(h - 2), w, h}});
            s.copyRect({0, int16_t(h - 4), 32, h}, {int16_t(w - 40), int16_t(h - 4)});
            EXPECT_SCREEN_SAME(s);
        } else {
            ASSERT_TRUE(s.probe());
            EXPECT_FALSE(s.init());
            EXPECT_EQ(s.fatalMessage(), "neo: Missing MEMORY in grafinfo file.\n");
        }
    }
}

TEST(NeoInit, MissingPixelKeysAndARefusedPrivate) {
    for (const char *key : {"PIXWIDTH", "PIXHEIGHT", "DEPTH", ""}) {
        SCOPED_TRACE(key);
        harness::beginCase();
        graf::Config cfg = config("yssen-209x.graf", 8, 640, 480);
        cfg.ints.erase(key);
        harness::Screen s("yssen8", cfg);
        ASSERT_TRUE(s.probe());
        if (!*key)
            server::failAllocationAfter(0);
        EXPECT_FALSE(s.init());
        server::failAllocationAfter(-1);
        EXPECT_EQ(server::errorMessages().size(), *key ? 1u : 0u);
        if (*key) {
            EXPECT_EQ(server::errorMessages()[0], "neo: can't find pixel info in grafinfo file.\n");
        }
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- palette ----

TEST(NeoPalette, SixBitDacAndTheInstalledMapAfterASwitch) {
    harness::Screen s("yssen8", config("yssen-209x.graf", 8, 640, 480), gtestOptions());
    ASSERT_TRUE(s.start());
    auto &dac = board(s).vga().dac;
    s.setColor(9, 0xFFFF, 0x8000, 0x0400);
    EXPECT_EQ(dac.entry(9), (sim::vga::Dac::Entry{63, 32, 1}));
    ColormapPtr map = s.defaultColormap();
    for (int i = 0; i < 256; i++)
        map->red[i].co.local = {uint16_t(i * 0x101), uint16_t(0xFFFF - i * 0x101), 0x8000};
    SHAREDCOLOR r{0x4000, 1}, g{0x2000, 1}, b{0x1000, 1};
    map->red[7].fShared = 1;
    map->red[7].co.shco = {&r, &g, &b};
    s.installColormap(map);
    for (int i = 0; i < 256; i++)
        dac.setEntry(i, {});
    s.switchAway();
    s.switchBack();
    EXPECT_EQ(dac.entry(7), (sim::vga::Dac::Entry{16, 8, 4}));
    for (int i : {0, 100, 255})
        EXPECT_EQ(dac.entry(i), (sim::vga::Dac::Entry{uint8_t((i * 0x101) >> 10),
                                                      uint8_t((0xFFFF - i * 0x101) >> 10), 32}))
            << i;
}

TEST(NeoPalette, TheSixteenBitBuildHasNone) {
    harness::Screen s("yssen16", config("yssen-209x.graf", 16, 640, 480), gtestOptions());
    ASSERT_TRUE(s.start());
    EXPECT_EQ(reinterpret_cast<void *>(s.nfb()->SetColor), reinterpret_cast<void *>(NoopDDA));
    EXPECT_EQ(reinterpret_cast<void *>(s.nfb()->LoadColormap), reinterpret_cast<void *>(NoopDDA));
}

// ---- two screens ----

TEST(NeoScreens, TheLaterInitDecidesBothScreensRecords) {
    graf::Config a = config("yssen-209x.graf", 8, 640, 480);
    graf::Config b = config("yssen-209x.graf", 8, 640, 480);
    b.ints["NOACCEL"] = 1;
    harness::Options oa = gtestOptions(), ob = gtestOptions();
    ob.screenNumber = 1;
    harness::Screen s1("yssen8", a, oa);
    ASSERT_TRUE(s1.start());
    EXPECT_EQ(privateOf(s1).cursorRegs, 0x100u);
    EXPECT_EQ(NFB_WINDOW_PRIV(s1.createWindow(0, 0, 8, 8))->ops,
              symbol("yssen8", "yssen8WinOps209X"));
    harness::Screen s2("yssen8", b, ob);
    ASSERT_TRUE(s2.start());
    EXPECT_EQ(privateOf(s2).cursorRegs, 0u);
    WindowPtr w = s1.createWindow(0, 0, 8, 8);
    EXPECT_EQ(NFB_WINDOW_PRIV(w)->ops, symbol("yssen8", "yssen8DFBWinOps"));
}

} // namespace
