// Mach64 start-up: Probe and Init of the three builds per depth, the memory
// size and the off-screen layout, the mode procedures and the CRT table, the
// register block's place, the engine defaults, every refusal with its
// message, and the life cycle over two generations.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

#include "mach64_fixture.h"

namespace m64test {
namespace {

// ---- Init per build and depth ----

struct DepthCase {
    Build build;
    int depth;
    uint32_t memoryKB; // the example board's memory
};

const DepthCase kDepthCases[] = {
    {kTesk, 8, 2048},  {kTesk, 16, 2048},  {kTesk, 32, 2048},
    {kVandu, 8, 2048}, {kVandu, 16, 2048}, {kVandu, 32, 2048},
    {kMerro, 8, 1024}, {kMerro, 16, 1024}, {kMerro, 32, 1024},
};

class Mach64InitDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(Mach64InitDepth, ModeEngineDefaultsAreasAndHooks) {
    const DepthCase &c = GetParam();
    harness::Screen s(c.build.driver, m64Config(c.build, c.depth), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::Mach64Adapter &a = boardOf(s);
    const int bpp = c.depth / 8;

    // The mode the procedures set from the 640 x 480 table, in the depth's width.
    EXPECT_TRUE(a.acceleratorDisplay());
    EXPECT_EQ(a.displayWidth(), 640);
    EXPECT_EQ(a.displayHeight(), 480);
    EXPECT_EQ(a.pixelWidthCode(), c.depth == 8 ? 2 : c.depth == 16 ? 4 : 6);
    EXPECT_EQ(s.pitch(), 640 * bpp);
    EXPECT_FALSE(a.blanked());
    EXPECT_EQ(a.queued(), 0);

    // Engine defaults, in the engine and in the shadows.
    const uint32_t pixWidth = pixWidthWord(c.build, c.depth);
    EXPECT_EQ(a.engineReg(DP_PIX_WIDTH), pixWidth);
    EXPECT_EQ(a.engineReg(DST_OFF_PITCH), 80u << 22);
    EXPECT_EQ(a.engineReg(SRC_OFF_PITCH), 80u << 22);
    EXPECT_EQ(a.engineReg(SC_LEFT_RIGHT), 639u << 16);
    EXPECT_EQ(a.engineReg(SC_TOP_BOTTOM), uint32_t(kHeight - 1) << 16);
    EXPECT_EQ(a.engineReg(DP_CHAIN_MASK), c.depth == 16 ? 0x8410u : 0x8080u);
    EXPECT_EQ(a.engineReg(DP_MIX), 0x70003u);
    EXPECT_EQ(a.engineReg(DP_SRC), 0x100u);
    EXPECT_EQ(a.engineReg(DST_CNTL), 0x23u);
    EXPECT_EQ(a.engineReg(CONTEXT_MASK), 0xFFFFFFFFu);
    EXPECT_EQ(a.reg(GEN_TEST_CNTL) & 0x100, 0x100u);
    EXPECT_EQ(a.reg(OVR_CLR), 1u);
    EXPECT_EQ(a.reg(EXT_MEM_CNTL), std::string(c.build.driver) == "tesk" ? 0x01000000u : 0u);
    const teskScreenPrivate &p = privateOf(s);
    EXPECT_EQ(p.shadowPixWidth, pixWidth);
    EXPECT_EQ(p.shadowScissorX, 639u << 16);
    EXPECT_EQ(p.pitchWord, 80u << 22);
    EXPECT_EQ(p.pixWidthCode, uint32_t(a.pixelWidthCode()));

    // The areas, counted in lines of the screen's own bytes per pixel.
    const int lines = int(c.memoryKB * 1024 / uint32_t(640 * bpp)) - kHeight;
    EXPECT_EQ(
        (std::vector<int>{p.offScreen.x, p.offScreen.y, p.offScreen.width, p.offScreen.height}),
        (std::vector<int>{0, kHeight, 640, lines}));
    EXPECT_EQ(
        (std::vector<int>{p.glyphArea.x, p.glyphArea.y, p.glyphArea.width, p.glyphArea.height}),
        (std::vector<int>{0, kHeight + 2, 576, 46}));
    EXPECT_EQ((std::vector<int>{p.tileArea.x, p.tileArea.y, p.tileArea.width, p.tileArea.height}),
              (std::vector<int>{576, kHeight + 2, 64, 46}));
    EXPECT_EQ((std::vector<int>{p.fontArea.x, p.fontArea.y, p.fontArea.width, p.fontArea.height}),
              (std::vector<int>{0, kHeight + 49, 640, lines - 50}));
    EXPECT_LE(uint64_t(p.fontArea.y + p.fontArea.height) * 640 * uint64_t(bpp),
              uint64_t(c.memoryKB) * 1024);
    EXPECT_EQ(p.clipMaxX, 639);
    EXPECT_EQ(p.clipMaxY, kHeight - 1);
    EXPECT_EQ(p.cursorSize, 64);
    EXPECT_EQ(p.dacShift, 10);

    // The visual and the hooks.
    ASSERT_EQ(s.screen()->numVisuals, 1);
    const VisualRec &v = s.screen()->visuals[0];
    EXPECT_EQ(v.nplanes, c.depth);
    EXPECT_EQ(v.class_, c.depth == 8 ? PseudoColor : TrueColor);
    EXPECT_EQ(v.bitsPerRGBValue, 6);
    EXPECT_EQ(v.ColormapEntries, 256);
    EXPECT_EQ(v.redMask, c.depth == 8 ? 0u : c.depth == 16 ? 0xF800u : 0xFF0000u);
    EXPECT_EQ(s.nfb()->SetColor == (SetColorProc)NoopDDA, c.depth != 8);
    EXPECT_NE(s.nfb()->LoadColormap, nullptr);
    EXPECT_NE(s.nfb()->LoadColormap, (LoadColormapProc)NoopDDA);
    EXPECT_NE(s.nfb()->BlankScreen, nullptr);
    EXPECT_NE(s.nfb()->ClearFont, nullptr);
    EXPECT_EQ(s.nfb()->driverFlag, 1);
    // Spans and segments are the engine's, rectangles the server's.
    EXPECT_NE(s.nfb()->gcTemplate->ops->slot3.ZeroSeg, genSolidZeroSeg);
    EXPECT_NE(s.nfb()->gcTemplate->ops->FS, genSolidFS);
    EXPECT_EQ(s.nfb()->gcTemplate->ops->FillRects, genSolidFillRects);
    EXPECT_EQ(s.registered().optionFlags, 0);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_TRUE(s.registered().swCursor);
    EXPECT_EQ(s.registered().pointerFuncs, nullptr);
    ASSERT_NE(s.sysInfo(), nullptr);
    EXPECT_EQ(s.sysInfo()->sysInfoValue, 5.0f);
    EXPECT_EQ((std::vector<int>{s.sysInfo()->sysInfoWord0, s.sysInfo()->sysInfoFlag1,
                                s.sysInfo()->sysInfoFlag2, s.sysInfo()->sysInfoFlag3}),
              (std::vector<int>{0, 1, 1, 1}));
    EXPECT_STREQ(s.info()->driverName, c.build.driver);
    ASSERT_EQ(server::pixmapFormats().size(), 1u);
    EXPECT_EQ(server::pixmapFormats()[0].bitsPerPixel, c.depth);
    EXPECT_TRUE(messages().empty()) << messages()[0];
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, Mach64InitDepth, testing::ValuesIn(kDepthCases),
                         [](const auto &info) {
                             return std::string(info.param.build.driver) +
                                    std::to_string(info.param.depth);
                         });

// ---- Memory size ----

struct MemoryCase {
    Build build;
    const char *chipId; // "new" or "old": the board the build runs on
    uint32_t memCntl;
    int32_t memoryKB; // 0: a bad value
};

const MemoryCase kMemoryCases[] = {
    {kTesk, "new", 1, 1024}, {kTesk, "new", 3, 2048},        {kTesk, "new", 7, 4096},
    {kTesk, "new", 9, 6144}, {kTesk, "new", 11, 8128},       {kTesk, "new", 0xF0, 0},
    {kTesk, "new", 2, 0},    {kTesk, "new", 0xFFFFFFF5u, 0}, {kVandu, "new", 0x13, 2048},
    {kVandu, "new", 5, 0},   {kVandu, "old", 1, 1024},       {kVandu, "old", 5, 8128},
    {kVandu, "old", 0, 0},   {kVandu, "old", 6, 0},          {kVandu, "old", 0xF9, 1024},
    {kMerro, "old", 0, 512}, {kMerro, "old", 2, 2048},       {kMerro, "old", 4, 6144},
    {kMerro, "old", 7, 0},
};

class Mach64Memory : public testing::TestWithParam<MemoryCase> {};

// Every code of the build's coding gives its size, and every other code
// restores text mode before ending the server.
TEST_P(Mach64Memory, SizeFromTheMemoryCode) {
    const MemoryCase &c = GetParam();
    graf::Config cfg = m64Config(c.build);
    if (std::string(c.chipId) == "new") {
        cfg.ints["CHIP_ID"] = 0x01004754;
    } else {
        cfg.ints["CHIP_ID"] = 0x00004758;
    }
    cfg.ints["MEM_CNTL"] = int(c.memCntl);
    harness::Screen s(c.build.driver, cfg, {.reporter = [](const std::string &) {}});
    ASSERT_TRUE(s.probe());
    if (c.memoryKB == 0) {
        EXPECT_FALSE(s.init());
        EXPECT_EQ(s.fatalMessage(), "\n Memory size: bad value");
        EXPECT_FALSE(boardOf(s).acceleratorDisplay()) << "text mode restored first";
        EXPECT_EQ(graf::runLog().back().procedure, "SetText");
        return;
    }
    ASSERT_TRUE(s.init()) << s.failureText();
    const teskScreenPrivate &p = privateOf(s);
    EXPECT_EQ(p.offScreen.height, int32_t(uint32_t(c.memoryKB) * 1024 / 640) - kHeight);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Memory, testing::ValuesIn(kMemoryCases), [](const auto &info) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%s_%X", info.param.build.driver, info.param.chipId,
                  info.param.memCntl);
    return std::string(buf);
});

struct FitCase {
    Build build;
    int width, height, depth;
    uint32_t memSize; // board bytes
    int lines;        // off-screen lines, or -1: "Insufficient Memory"
};

const FitCase kFitCases[] = {
    {kTesk, 1280, 1024, 8, 0x100000, -1}, // (1024 + 110) x 1280 > 1 MB
    {kTesk, 1024, 768, 8, 0x100000, 256},
    // One byte a pixel would let these pass; the screen's bytes do not fit.
    {kTesk, 1024, 768, 16, 0x100000, -1},
    // vandu leaves text to the server here: the glyph and tile lines suffice.
    {kVandu, 800, 600, 32, 0x200000, 55},
    {kTesk, 800, 600, 32, 0x200000, -1},
    {kVandu, 800, 400, 32, 0x200000, 255},
    {kMerro, 640, 480, 8, 0x80000, 339}, // merro's 512 KB
    {kMerro, 640, 480, 16, 0x80000, -1},
};

class Mach64Fit : public testing::TestWithParam<FitCase> {};

TEST_P(Mach64Fit, ScreenAndAreasFitVideoMemory) {
    const FitCase &c = GetParam();
    graf::Config cfg = m64Config(c.build, c.depth, c.width, c.height);
    cfg.ints["MEMSIZE"] = int(c.memSize);
    if (c.memSize == 0x80000)
        cfg.ints["CHIP_ID"] = 0x00004758;
    harness::Screen s(c.build.driver, cfg, {.reporter = [](const std::string &) {}});
    ASSERT_TRUE(s.probe());
    if (c.lines < 0) {
        EXPECT_FALSE(s.init());
        EXPECT_EQ(s.fatalMessage(), "\nInsufficient Memory for this configuration.");
        return;
    }
    ASSERT_TRUE(s.init()) << s.failureText();
    EXPECT_EQ(privateOf(s).offScreen.height, c.lines);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Fit, testing::ValuesIn(kFitCases), [](const auto &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.width) + "x" +
           std::to_string(info.param.height) + "x" + std::to_string(info.param.depth);
});

// ---- Mode procedures and CRT tables ----

// Wraps "SetGraphics" and "SetMode" so that each run leaves its four
// arguments in REGS (at 0x9000 + 16 x slot) before the board's own runs.
graf::Config recordingArguments(graf::Config cfg) {
    cfg.procedures["BoardSetGraphics"] = cfg.procedures["SetGraphics"];
    cfg.procedures["BoardSetMode"] = cfg.procedures["SetMode"];
    graf::Builder b;
    b.config() = cfg;
    b.procedure("SetGraphics(a, b, c, d)", R"(
        write32 REGS, 0x9000, a
        write32 REGS, 0x9004, b
        write32 REGS, 0x9008, c
        write32 REGS, 0x900C, d
        result = call BoardSetGraphics a, b, c, d)");
    b.procedure("SetMode(a, b, c, d)", R"(
        slot = 0x9010
        if a == 0xA009 {
            slot = 0x9020
        }
        write32 REGS, slot, a
        write32 REGS, slot + 4, b
        write32 REGS, slot + 8, c
        write32 REGS, slot + 12, d
        result = call BoardSetMode a, b, c, d)");
    return b.build();
}

std::vector<uint32_t> recorded(harness::Screen &s, uint32_t slot) {
    const uint8_t *regs = static_cast<const uint8_t *>(s.machine().findArea("REGS")->host);
    std::vector<uint32_t> v(4);
    std::memcpy(v.data(), regs + 0x9000 + 16 * slot, 16);
    return v;
}

struct ModeCase {
    Build build;
    int width, depth, frequency;
    uint32_t resolution;        // the SetGraphics word's resolution code
    std::vector<uint8_t> table; // bytes 0-21 (22-29 are 0)
    int displayHeight;
};

const ModeCase kModeCases[] = {
    {kTesk,
     800,
     32,
     60,
     0x6A80,
     {0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0x83, 0x63, 0x68, 0x10, 0x73,
      0x02, 0x57, 0x02, 0x58, 0x02, 0x04, 0xFF, 0xA0, 0x0F, 0x00, 0x00},
     600},
    {kVandu,
     640,
     16,
     77,
     0x1280,
     {0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0x66, 0x4F, 0x51, 0x28, 0xEF,
      0x01, 0xDF, 0x01, 0xDF, 0x01, 0x23, 0x08, 0x4E, 0x0C, 0x00, 0x04},
     480},
    // PIXHEIGHT is 16 whatever the table's 768 lines.
    {kMerro,
     1024,
     8,
     75,
     0x5580,
     {0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0xA3, 0x7F, 0x81, 0x0C, 0x1F,
      0x03, 0xFF, 0x02, 0x00, 0x03, 0x03, 0xFF, 0xC3, 0x1E, 0x00, 0x00},
     768},
    {kTesk,
     1280,
     8,
     70,
     0x8380,
     {0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0xD2, 0x9F, 0xA9, 0x0E, 0x29,
      0x04, 0xFF, 0x03, 0x00, 0x04, 0x05, 0xFF, 0x38, 0x31, 0x00, 0x00},
     1024},
    // 1600 has tables of its own per board family and the 1280 code.
    {kTesk,
     1600,
     8,
     72,
     0x8380,
     {0x00, 0x00, 0x80, 0x00, 0x00, 0x08, 0x03, 0xC7, 0xCC, 0x38, 0xE1,
      0x04, 0xAF, 0x04, 0xB0, 0x04, 0x23, 0xFF, 0xF0, 0x4B, 0x00, 0x00},
     1200},
    {kVandu,
     1600,
     8,
     60,
     0x8380,
     {0x00, 0x00, 0x80, 0x84, 0x00, 0x28, 0xFF, 0xC7, 0xCC, 0x31, 0xE4,
      0x04, 0xAF, 0x04, 0xB2, 0x04, 0x23, 0xFF, 0x30, 0x43, 0x00, 0x00},
     1200},
};

class Mach64Mode : public testing::TestWithParam<ModeCase> {};

TEST_P(Mach64Mode, TableAndWordsReachTheProcedures) {
    const ModeCase &c = GetParam();
    graf::Config cfg =
        recordingArguments(m64Config(c.build, c.depth, c.width, kHeight, c.frequency));
    harness::Screen s(c.build.driver, cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const uint32_t code = c.depth == 8 ? 2 : c.depth == 16 ? 4 : 6;
    EXPECT_EQ(recorded(s, 0), (std::vector<uint32_t>{0xA002, 0, c.resolution | code, 0}));
    EXPECT_EQ(recorded(s, 1), (std::vector<uint32_t>{0xA002, 0xA000, 0x8180 | code, 0xB000}));
    EXPECT_EQ(recorded(s, 2), (std::vector<uint32_t>{0xA009, 0xA000, 0x8180 | code, 0xB000}));
    const uint8_t *regs = static_cast<const uint8_t *>(s.machine().findArea("REGS")->host);
    std::vector<uint8_t> buffer(regs + 0xA000, regs + 0xA000 + 30);
    std::vector<uint8_t> expected = c.table;
    expected.resize(30, 0);
    expected[19] = 0x80; // the query's answer
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(boardOf(s).displayWidth(), c.width);
    EXPECT_EQ(boardOf(s).displayHeight(), c.displayHeight);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Mode, testing::ValuesIn(kModeCases), [](const auto &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.width) + "at" +
           std::to_string(info.param.frequency);
});

// The query's byte 19 picks the 32-bit visual, bit 4 first.
TEST(Mach64Visual32, ColourSupportPicksTheLayout) {
    struct Case {
        int support;
        uint32_t red, green, blue;
        const char *message;
    } cases[] = {
        {0x10, 0xFF, 0xFF00, 0xFF0000, nullptr},
        {0x20, 0xFF000000, 0xFF0000, 0xFF00, nullptr},
        {0x40, 0xFF00, 0xFF0000, 0xFF000000, nullptr},
        {0x80, 0xFF0000, 0xFF00, 0xFF, nullptr},
        {0xC0, 0xFF00, 0xFF0000, 0xFF000000, nullptr},
        {0x0F, 0xFF, 0xFF00, 0xFF0000, "\n Unknown color support 32bpp"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.support);
        harness::beginCase();
        graf::Config cfg = m64Config(kTesk, 32);
        cfg.ints["COLOR_SUPPORT"] = c.support;
        harness::Screen s("tesk", cfg, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        const VisualRec &v = s.screen()->visuals[0];
        EXPECT_EQ((std::vector<uint32_t>{v.redMask, v.greenMask, v.blueMask}),
                  (std::vector<uint32_t>{c.red, c.green, c.blue}));
        EXPECT_EQ(messages(),
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        s.freeScreen();
    }
}

// ---- The register block ----

struct PlaceCase {
    Build build;
    void (*change)(graf::Config &);
    const char *area;
    uint32_t offset;
    bool aperture;
};

const PlaceCase kPlaceCases[] = {
    {kTesk, [](graf::Config &) {}, "APERTURE", 0x7FFC00, true},
    {kVandu, [](graf::Config &) {}, "APERTURE", 0x3FFC00, true},
    // An aperture with no block in it: the driver reads all ones there.
    {kTesk, [](graf::Config &c) { c.flags.push_back("NO_APERTURE_REGS"); }, "REGS", 0xFC00, false},
    {kVandu, [](graf::Config &c) { c.flags.push_back("NO_APERTURE_REGS"); }, "REGS", 0xFC00, false},
    // No aperture at all: every access through the GR6 window, which the
    // board insists on.
    {kVandu,
     [](graf::Config &c) {
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name == "APERTURE"; });
     },
     "REGS", 0xFC00, false},
    {kMerro, [](graf::Config &) {}, "REGS", 0xFC00, false},
};

class Mach64Registers : public testing::TestWithParam<PlaceCase> {};

TEST_P(Mach64Registers, FoundWhereTheBoardDecodesThem) {
    const PlaceCase &c = GetParam();
    graf::Config cfg = m64Config(c.build);
    c.change(cfg);
    harness::Screen s(c.build.driver, cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const teskScreenPrivate &p = privateOf(s);
    const uint8_t *area = static_cast<const uint8_t *>(s.machine().findArea(c.area)->host);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(p.regs), area + c.offset);
    EXPECT_EQ(reinterpret_cast<const uint8_t *>(p.regBytes), area + c.offset);
    EXPECT_EQ(p.aperture != nullptr, c.aperture);

    // Every later access goes there too, bracketed in tesk and vandu.
    s.machine().clearTrace();
    s.blankScreen(true);
    EXPECT_FALSE(registerWrites(s, c.offset, c.area).empty());
    size_t gr6 = 0;
    for (const sim::Access &a : s.machine().trace())
        gr6 += a.kind == sim::Access::PortOut && a.address == 0x3CE;
    EXPECT_EQ(gr6 != 0, std::string(c.build.driver) != "merro");
    EXPECT_TRUE(boardOf(s).blanked());
    EXPECT_EQ(boardOf(s).gr6() & 0x0C, 0x04) << "the 64 KB map after every access";
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Registers, testing::ValuesIn(kPlaceCases),
                         [](const auto &info) {
                             return std::string(info.param.build.driver) + "_" +
                                    std::to_string(info.index);
                         });

// merro reaches the block directly: on a board that hides it behind GR6 the
// board sees unbracketed accesses.
TEST(Mach64Registers, MerroOnAWindowedBoardIsSeen) {
    graf::Config cfg = m64Config(kMerro);
    cfg.strings["REGS"] = "window";
    std::vector<std::string> reported;
    harness::Screen s("merro", cfg,
                      {.reporter = [&](const std::string &m) { reported.push_back(m); }});
    s.probe();
    s.init();
    ASSERT_FALSE(reported.empty());
    EXPECT_NE(reported[0].find("graphics register 6"), std::string::npos) << reported[0];
    EXPECT_GT(boardOf(s).hiddenAccesses(), 0);
}

// ---- Refusals ----

struct Refusal {
    const char *name;
    void (*change)(graf::Config &);
    // The message with "%P" for the build's prefix in its spelling of that
    // message: TESK/VANDU/MERRO ("shout"), or TESK/vandu/merro ("area").
    const char *message;
    bool shout;
    const char *errorF; // an ErrorF before the FatalError, or null
};

void replaceProcedure(graf::Config &c, const char *name, const char *code) {
    graf::Builder b;
    b.config() = c;
    b.procedure(name, code);
    c = b.build();
}

const Refusal kRefusals[] = {
    {"NoPixwidth", [](graf::Config &c) { c.ints.erase("PIXWIDTH"); },
     "\nCan't find pixel info in grafinfo file.\n", false, nullptr},
    {"NoPixheight", [](graf::Config &c) { c.ints.erase("PIXHEIGHT"); },
     "\nCan't find pixel info in grafinfo file.\n", false, nullptr},
    {"NoDepth", [](graf::Config &c) { c.ints.erase("DEPTH"); },
     "%P: need grafinfo value for DEPTH\n", true, nullptr},
    {"NoFrequency", [](graf::Config &c) { c.ints.erase("FREQUENCY"); },
     "%P: need grafinfo value for FREQUENCY\n", true, nullptr},
    {"ZeroWidth", [](graf::Config &c) { c.ints["PIXWIDTH"] = 0; }, " invalid dimensions (0x16x8)\n",
     false, "\nMach 64: grafinfo error -"},
    {"NegativeHeight", [](graf::Config &c) { c.ints["PIXHEIGHT"] = -4; },
     " invalid dimensions (640x-4x8)\n", false, "\nMach 64: grafinfo error -"},
    {"Depth24", [](graf::Config &c) { c.ints["DEPTH"] = 24; }, " invalid dimensions (640x16x24)\n",
     false, nullptr},
    {"Depth15", [](graf::Config &c) { c.ints["DEPTH"] = 15; }, " invalid dimensions (640x16x15)\n",
     false, nullptr},
    {"Depth4", [](graf::Config &c) { c.ints["DEPTH"] = 4; }, " invalid dimensions (640x16x4)\n",
     false, nullptr},
    {"Depth1", [](graf::Config &c) { c.ints["DEPTH"] = 1; }, " invalid dimensions (640x16x1)\n",
     false, nullptr},
    {"NoMemory",
     [](graf::Config &c) {
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name.empty(); });
     },
     "%P: Missing MEMORY in grafinfo file.\n", false, nullptr},
    {"NoRegs",
     [](graf::Config &c) {
         std::erase_if(c.areas, [](const graf::MemoryArea &a) { return a.name == "REGS"; });
     },
     "%P: Missing Register MEMORY in grafinfo file.\n", false, nullptr},
    {"NoSetGraphics", [](graf::Config &c) { c.procedures.erase("SetGraphics"); },
     "%P: SetGraphics not specified in grafinfo file!\n", false, nullptr},
    {"SetGraphicsZero",
     [](graf::Config &c) { replaceProcedure(c, "SetGraphics(a, b, c, d)", "result = 0"); },
     "\nGraphics Initialization error:Check grafinfo file", false, nullptr},
    {"NoSetMode", [](graf::Config &c) { c.procedures.erase("SetMode"); },
     "\n%P: SetMode not specified in grafinfo file!\n", false, nullptr},
    {"SetModeZero",
     [](graf::Config &c) { replaceProcedure(c, "SetMode(a, b, c, d)", "result = 0"); },
     "\nCustom Mode Initialization error:Check grafinfo file", false, nullptr},
    {"QueryFails",
     [](graf::Config &c) {
         c.procedures["BoardSetMode"] = c.procedures["SetMode"];
         replaceProcedure(c, "SetMode(a, b, c, d)", R"(
             if a == 0xA009 {
                 fail
             }
             result = call BoardSetMode a, b, c, d)");
     },
     "QUERY", false, nullptr},
    {"NoTimingAt70Hz", [](graf::Config &c) { c.ints["FREQUENCY"] = 70; },
     "%P: no CRT timing for FREQUENCY 70 at PIXWIDTH 640\n", true, nullptr},
    {"NoTimingAt1152", [](graf::Config &c) { c.ints["PIXWIDTH"] = 1152; },
     "%P: no CRT timing for FREQUENCY 60 at PIXWIDTH 1152\n", true, nullptr},
};

std::string spelled(const Build &b, const Refusal &r) {
    const std::string driver = b.driver;
    if (std::string(r.message) == "QUERY")
        return driver == "tesk"    ? "\nTESK: Rage Pro Query failed!\n"
               : driver == "vandu" ? "\nVANDU: mach64 Query failed!\n"
                                   : "\nMERRO: mach64 Query failed!\n";
    std::string prefix = driver;
    for (char &ch : prefix)
        if (r.shout || driver == "tesk")
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
    std::string m = r.message;
    size_t at = m.find("%P");
    if (at != std::string::npos)
        m.replace(at, 2, prefix);
    return m;
}

class Mach64Refusal : public testing::TestWithParam<std::tuple<Build, Refusal>> {};

TEST_P(Mach64Refusal, EndsTheServerWithTheBuildsMessage) {
    const auto &[b, r] = GetParam();
    graf::Config cfg = m64Config(b);
    r.change(cfg);
    harness::Screen s(b.driver, cfg, {.reporter = [](const std::string &) {}});
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::fatalErrors(), std::vector<std::string>{spelled(b, r)});
    EXPECT_EQ(messages(),
              r.errorF ? std::vector<std::string>{r.errorF} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Refusal,
                         testing::Combine(testing::ValuesIn(kBuilds), testing::ValuesIn(kRefusals)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).driver) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(Mach64Probe, ChecksDepthFormatAndSize) {
    struct Case {
        const char *missing;
        bool format;
        Bool result;
    } cases[] = {{nullptr, true, 1},     {"DEPTH", true, 0},     {"PIXWIDTH", true, 0},
                 {"PIXHEIGHT", true, 0}, {"FREQUENCY", true, 1}, {nullptr, false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.missing ? c.missing : c.format ? "all" : "format refused");
        harness::beginCase();
        graf::Config cfg = m64Config(kVandu);
        if (c.missing)
            cfg.ints.erase(c.missing);
        server::setPixmapFormatResult(c.format);
        harness::Screen s("vandu", cfg, quiet());
        EXPECT_EQ(s.probe(), c.result);
    }
}

// Refusals of the server make Init return 0 with nothing held.
TEST(Mach64Init, ServerRefusalsReturnZeroAndHoldNothing) {
    struct Case {
        const char *name;
        void (*on)();
    } cases[] = {
        {"private index", [] { server::failScreenPrivateIndex(true); }},
        {"private", [] { server::failAllocationAfter(0); }},
        {"glyph batch", [] { server::failAllocationAfter(1); }},
        {"nfbScreenInit", [] { server::failScreenInit(true); }},
        {"nfbAddVisual", [] { server::failAddVisual(true); }},
        {"colormap", [] { server::failCreateColormap(true); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        harness::Screen s("tesk", m64Config(kTesk), quiet());
        ASSERT_TRUE(s.probe());
        c.on();
        EXPECT_EQ(s.init(), 0);
        EXPECT_TRUE(server::fatalErrors().empty());
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// ---- Keys with defaults ----

TEST(Mach64Init, MonitorSizeNeedsBothKeys) {
    graf::Config cfg = m64Config(kTesk);
    cfg.ints.erase("MON_HEIGHT");
    harness::Screen s("tesk", cfg, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.screen()->mmWidth, 274);
    EXPECT_EQ(s.screen()->mmHeight, 207);
    s.freeScreen();
}

TEST(Mach64Init, RgbBitsWithinRangeSetTheDacShift) {
    struct Case {
        int rgbBits;
        int shift;
    } cases[] = {{8, 8}, {6, 10}, {1, 15}, {16, 0}, {0, 10}, {17, 10}, {-3, 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rgbBits);
        harness::beginCase();
        graf::Config cfg = m64Config(kMerro);
        cfg.ints["RGBBITS"] = c.rgbBits;
        harness::Screen s("merro", cfg, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(privateOf(s).dacShift, c.shift);
        s.setColor(7, 0xFFFF, 0x8000, 0x0100);
        sim::vga::Dac::Entry e = boardOf(s).vga().dac.rawEntry(7);
        EXPECT_EQ(e.r, uint8_t(0xFFFF >> c.shift));
        EXPECT_EQ(e.g, uint8_t(0x8000 >> c.shift));
        EXPECT_EQ(e.b, uint8_t(0x0100 >> c.shift));
        s.freeScreen();
    }
}

// ---- Life cycle ----

TEST(Mach64Life, TwoGenerationsHoldNothingAfterwards) {
    for (const Build &b : kBuilds) {
        SCOPED_TRACE(b.driver);
        harness::beginCase();
        harness::Screen s(b.driver, m64Config(b, 16), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        const int first = server::screenPrivateCount();
        ASSERT_TRUE(s.nextGeneration()) << s.failureText();
        EXPECT_EQ(server::screenPrivateCount(), first + 1) << "a new index per generation";
        EXPECT_TRUE(boardOf(s).acceleratorDisplay());
        EXPECT_EQ(boardOf(s).engineReg(SC_LEFT_RIGHT), 639u << 16);
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
        EXPECT_TRUE(messages().empty());
    }
}

} // namespace
} // namespace m64test
