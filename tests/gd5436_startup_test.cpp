// The gd5436 family's start-up across its seven builds: the records it hands
// over, the off-screen layout Init computes, every failure of Init with its
// message and whether the adapter goes back to text mode, the private across
// server generations, and the palette, blanking and console-switch hooks, all
// on the example board configurations and the GD54xx adapter model.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "models/gd5436_adapter.h"
#include "server.h"

namespace {

// The driver's screen private, field by field as the family lays it out; the
// layout tests read what Init computed.
struct Gd5436Private {
    uint8_t *fbBase;
    volatile uint8_t *bltBase;
    int width, height;
    int pitch;
    int offX, offY;
    int offWidth;
    int offHeight;
    int offAddr;
    int memSize;
    int cursorSize;
    int16_t cursorHotX, cursorHotY;
    int cursorShifted;
    CursorPtr currentCursor;
    uint8_t savedSR17;
};

struct Build {
    const char *name;
    const char *board; // example configuration
    int depth;
    bool pitchProcedure; // "GetScreenPitch" flavour
    bool pseudoColor;
    VisualRec visual;
};

const Build kBuilds[] = {
    {"brisko8", "gd5480", 8, true, true, {0, 3, 8, 256, 8, 0, 0, 0, 0, 0, 0}},
    {"brisko15", "gd5480", 15, true, false, {0, 4, 5, 32, 15, 0x7C00, 0x3E0, 0x1F, 10, 5, 0}},
    {"brisko16", "gd5480", 16, true, false, {0, 4, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0}},
    {"brisko24", "gd5480", 24, true, false, {0, 4, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0}},
    {"lomvi8", "gd5446", 8, false, true, {0, 3, 8, 256, 8, 0, 0, 0, 0, 0, 0}},
    {"lomvi16", "gd5446", 16, false, false, {0, 4, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0}},
    {"hadra24", "gd5436", 24, false, false, {0, 4, 8, 256, 24, 0xFF0000, 0xFF00, 0xFF, 16, 8, 0}},
};

const Build &build(const std::string &name) {
    for (const Build &b : kBuilds)
        if (name == b.name)
            return b;
    throw std::invalid_argument("no build " + name);
}

std::string buildName(const testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

// The build's example board, at a screen size that fits its 2 MB.
graf::Config exampleConfig(const Build &b) {
    graf::Config c = harness::loadConfig(std::string("cirrus/gd5436/") + b.board + ".graf");
    c.ints["DEPTH"] = b.depth;
    if (b.depth == 24 || std::string(b.board) == "gd5436") {
        c.ints["PIXWIDTH"] = 800;
        c.ints["PIXHEIGHT"] = 600;
    }
    if (!b.pitchProcedure)
        c.ints["PITCH"] = c.ints["PIXWIDTH"] * ((b.depth + 1) / 8);
    return c;
}

// The example board with the screen size given, "InstalledMemory" answering
// `installed` and the pitch coming from "GetScreenPitch" or PITCH.
graf::Config sizedConfig(const Build &b, int width, int height, int installed, int pitch) {
    graf::Builder g;
    g.config() = exampleConfig(b);
    g.integer("PIXWIDTH", width).integer("PIXHEIGHT", height);
    // The example timings know three resolutions; these layouts need none.
    g.procedure("SetTimings", "out16 0x3D4, 0x0E11");
    g.procedure("InstalledMemory", "result = " + std::to_string(installed));
    if (b.pitchProcedure)
        g.procedure("GetScreenPitch", "result = " + std::to_string(pitch));
    else
        g.integer("PITCH", pitch);
    return g.build();
}

sim::Gd5436Adapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<sim::Gd5436Adapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not a gd54xx adapter");
    return *a;
}

// The private index the driver took: the last one the server handed out.
int privateIndex() {
    return server::screenPrivateCount() - 1;
}

Gd5436Private *privateOf(harness::Screen &s) {
    return static_cast<Gd5436Private *>(s.screen()->devPrivates[privateIndex()].ptr);
}

bool ran(const std::string &procedure) {
    for (const graf::Run &r : graf::runLog())
        if (r.procedure == procedure)
            return true;
    return false;
}

std::vector<std::string> procedureRuns() {
    std::vector<std::string> names;
    for (const graf::Run &r : graf::runLog())
        names.push_back(r.procedure);
    return names;
}

// After a failed Init the private stays in devPrivates (the server ends
// there); it must be the only block the driver holds. The test frees it.
void expectOnlyPrivateLeft(harness::Screen &s) {
    std::vector<server::Block> live = server::liveBlocks();
    int index = privateIndex();
    void *priv = index >= 0 ? s.screen()->devPrivates[index].ptr : nullptr;
    for (const server::Block &b : live)
        EXPECT_EQ(b.ptr, priv) << "a block of " << b.size << " bytes besides the private";
    if (priv)
        Xfree(priv);
}

// ---------------------------------------------------------------- records --

class Gd5436Records : public testing::TestWithParam<Build> {};

TEST_P(Gd5436Records, HandsOverItsRecordsAndHooks) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_NE(s.info(), nullptr);
    EXPECT_STREQ(s.info()->driverName, b.name);
    for (void *w : s.info()->reserved)
        EXPECT_EQ(w, nullptr);
    ASSERT_TRUE(s.start()) << s.failureText();

    ASSERT_FALSE(server::pixmapFormats().empty());
    const server::PixmapFormat &f = server::pixmapFormats().back();
    EXPECT_EQ(f.depth, s.config().depth);
    EXPECT_EQ(f.bitsPerPixel, s.config().bitsPerPixel);
    EXPECT_EQ(f.scanlinePad, s.config().scanlinePad);

    ASSERT_EQ(s.screen()->numVisuals, 1);
    VisualRec v = s.screen()->visuals[0];
    VisualRec want = b.visual;
    v.vid = want.vid = 0; // the server's
    EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0);

    SysInfo *si = s.sysInfo();
    ASSERT_NE(si, nullptr);
    EXPECT_EQ(si->sysInfoWord0, 0);
    EXPECT_TRUE(si->SetGraphics && si->SetText && si->SaveGState && si->RestoreGState &&
                si->FreeScreen);
    EXPECT_EQ(si->sysInfoFlag1, 1);
    EXPECT_EQ(si->sysInfoFlag2, 1);
    EXPECT_EQ(si->sysInfoFlag3, 1);
    uint32_t bits;
    std::memcpy(&bits, &si->sysInfoValue, sizeof bits);
    EXPECT_EQ(bits, 0x40A00000u);

    EXPECT_TRUE(s.registered().optionsSet);
    EXPECT_EQ(s.registered().optionsVersion, 50);
    EXPECT_EQ(s.registered().optionFlags, NFB_OPT_ZEROSEGS);
    EXPECT_EQ(s.registered().pointerArgs, (std::vector<int>{0, 1}));

    nfbScreenPrivate *nfb = s.nfb();
    EXPECT_NE(nfb->gcTemplate->ops, nullptr);
    EXPECT_NE(nfb->BlankScreen, nullptr);
    EXPECT_NE(nfb->ValidateWindowPriv, nullptr);
    EXPECT_NE(s.winOps(), nullptr);
    if (b.pseudoColor) {
        EXPECT_NE(reinterpret_cast<void *>(nfb->SetColor), reinterpret_cast<void *>(NoopDDA));
        EXPECT_EQ(reinterpret_cast<void *>(nfb->LoadColormap),
                  reinterpret_cast<void *>(genLoadColormap));
    } else {
        EXPECT_EQ(reinterpret_cast<void *>(nfb->SetColor), reinterpret_cast<void *>(NoopDDA));
        EXPECT_EQ(reinterpret_cast<void *>(nfb->LoadColormap), reinterpret_cast<void *>(NoopDDA));
    }
    EXPECT_EQ(s.screen()->mmWidth, 320);
    EXPECT_EQ(s.screen()->mmHeight, 240);
    EXPECT_TRUE(server::errorMessages().empty());

    // The example board's procedures really set the mode.
    sim::Gd5436Adapter &a = board(s);
    EXPECT_TRUE(a.extendedMode());
    EXPECT_EQ(a.crtcPitch(), static_cast<uint32_t>(privateOf(s)->pitch));
    EXPECT_EQ(privateOf(s)->savedSR17, a.sr(0x17));
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Gd5436Records, testing::ValuesIn(kBuilds), buildName);

TEST(Gd5436Records, MonitorHeightDefaultsWhenOnlyTheWidthIsGiven) {
    graf::Builder g;
    g.config() = exampleConfig(build("brisko8"));
    g.integer("MON_WIDTH", 410).without("MON_HEIGHT");
    harness::Screen s("brisko8", g.build(), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.screen()->mmWidth, 410);
    EXPECT_EQ(s.screen()->mmHeight, 300);
    s.freeScreen();
}

TEST(Gd5436Records, ExampleBoardsReportTheirMemoryThroughSR0F) {
    for (int size : {0x80000, 0x100000, 0x200000}) {
        SCOPED_TRACE(size);
        graf::Config c = exampleConfig(build("brisko8"));
        c.ints["MEMSIZE"] = size;
        c.ints["PIXWIDTH"] = 640;
        c.ints["PIXHEIGHT"] = 480;
        harness::Screen s("brisko8", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        EXPECT_EQ(privateOf(s)->memSize, size);
        EXPECT_EQ(privateOf(s)->pitch, 640);
        EXPECT_EQ(board(s).crtcPitch(), 640u);
        s.freeScreen();
    }
}

// A board whose lines are padded past the row ("GetScreenPitch" gives 1088
// bytes at 1024 x 8): the driver, the display registers and the harness all
// take that pitch, and drawing lands where the picture shows it.
TEST(Gd5436Records, APaddedPitchFromTheProcedureIsThePictures) {
    graf::Builder g;
    g.config() = exampleConfig(build("brisko8"));
    g.integer("PIXWIDTH", 1024).integer("PIXHEIGHT", 768);
    g.procedure("GetScreenPitch", "result = 1088");
    harness::Screen s("brisko8", g.build(), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(privateOf(s)->pitch, 1088);
    EXPECT_EQ(board(s).crtcPitch(), 1088u);
    EXPECT_EQ(s.pitch(), 1088);
    s.drawSolidRects({{1000, 700, 1024, 768}, {0, 1, 30, 3}}, 0x7E);
    s.copyRect({900, 600, 1000, 650}, {980, 700});
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
}

// ----------------------------------------------------------------- layout --

struct LayoutCase {
    const char *what;
    const char *build;
    int width, height;
    int installed; // "InstalledMemory" result
    int pitch;
    const char *message; // null: Init succeeds
    bool setText;        // the adapter went back to text mode
    int memSize = 0, offWidth = 0, offHeight = 0, offAddr = 0;
};

std::string layoutName(const testing::TestParamInfo<LayoutCase> &info) {
    return info.param.what;
}

class Gd5436Layout : public testing::TestWithParam<LayoutCase> {};

TEST_P(Gd5436Layout, InitLaysOutTheScratchAreaOrRefuses) {
    const LayoutCase &c = GetParam();
    const Build &b = build(c.build);
    harness::Screen s(b.name, sizedConfig(b, c.width, c.height, c.installed, c.pitch),
                      {.reporter = HARNESS_GTEST_REPORTER});
    graf::clearRunLog();
    Bool ok = s.probe() && s.init();
    if (!c.message) {
        ASSERT_TRUE(ok) << s.failureText();
        EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();
        const Gd5436Private *p = privateOf(s);
        EXPECT_EQ(p->width, c.width);
        EXPECT_EQ(p->height, c.height);
        EXPECT_EQ(p->pitch, c.pitch);
        EXPECT_EQ(p->memSize, c.memSize);
        EXPECT_EQ(p->offX, 0);
        EXPECT_EQ(p->offY, c.height);
        EXPECT_EQ(p->offWidth, c.offWidth);
        EXPECT_EQ(p->offHeight, c.offHeight);
        EXPECT_EQ(p->offAddr, c.offAddr);
        EXPECT_EQ(p->cursorSize, 64);
        EXPECT_EQ(p->bltBase, p->fbBase + 0x3FFF00);
        EXPECT_EQ(p->fbBase, board(s).aperture());
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
        return;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(server::errorMessages(), std::vector<std::string>{c.message});
    EXPECT_EQ(ran("SetText"), c.setText);
    EXPECT_TRUE(ran("SetGraphics"));
    expectOnlyPrivateLeft(s);
}

const LayoutCase kLayoutCases[] = {
    // Only the low byte of "InstalledMemory" counts: 0x110 is 1 MB.
    {"Brisko8Xga1MB", "brisko8", 1024, 768, 0x110, 1024, nullptr, false, 0x100000, 1024, 255,
     786432},
    {"Brisko15TwoBytesAPixel", "brisko15", 800, 600, 0x10, 1600, nullptr, false, 0x100000, 800, 54,
     960000},
    {"Brisko16PitchEqualsRowBytes", "brisko16", 640, 480, 0x10, 1280, nullptr, false, 0x100000, 640,
     338, 614400},
    {"Brisko16PitchOneByteShort", "brisko16", 640, 480, 0x10, 1279,
     "memsize not enough for 614400 (with padding) pitch 1279\n", true},
    {"Brisko8MemoryTooSmall", "brisko8", 1024, 768, 0x08, 1024, "memsize not enough for 786432\n",
     true},
    {"Brisko24XgaIn2MB", "brisko24", 1024, 768, 0x20, 3072, "memsize not enough for 2359296\n",
     true},
    {"Brisko24Svga", "brisko24", 800, 600, 0x20, 2400, nullptr, false, 0x200000, 800, 272, 1440000},
    // memSize / pitch = PIXHEIGHT + 1 leaves no off-screen line.
    {"Brisko8NoScratchLine", "brisko8", 1024, 1023, 0x10, 1024,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    // The ScratchArea ends at line 1636, whose last 128 bytes are the
    // CursorArea's first.
    {"Brisko8Pitch640", "brisko8", 640, 480, 0x10, 640, nullptr, false, 0x100000, 640, 1157,
     307200},
    {"Lomvi8Xga1MB", "lomvi8", 1024, 768, 0x110, 1024, nullptr, false, 0x100000, 1024, 255, 786432},
    // The PITCH flavour makes no padding check...
    {"Lomvi16PitchOneUnitShort", "lomvi16", 640, 480, 0x10, 1272, nullptr, false, 0x100000, 636,
     343, 610560},
    // ...nor a memory check, and never goes back to text mode.
    {"Lomvi8MemoryTooSmall", "lomvi8", 1024, 768, 0x08, 1024,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    {"Hadra24Svga", "hadra24", 800, 600, 0x20, 2400, nullptr, false, 0x200000, 800, 272, 1440000},
    // A screen whose last row would end past video memory is refused all the
    // same, so that no drawing can reach beyond it.
    {"Lomvi16ScreenBeyondMemory", "lomvi16", 32767, 100, 0x01, 16,
     "memsize not enough for 6553400 (with padding) pitch 16\n", false},
    // A pitch of 0 or less leaves no ScratchArea (and divides nothing).
    {"Hadra24ZeroPitch", "hadra24", 800, 600, 0x20, 0,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    {"Lomvi8NegativePitch", "lomvi8", 800, 600, 0x20, -2400,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    // The CursorArea (the last kilobyte) may begin where the ScratchArea
    // does, leaving nothing to stage in...
    {"Brisko8CursorAreaAtTheScratchAreasStart", "brisko8", 512, 1022, 0x08, 512, nullptr, false,
     0x80000, 512, 1, 523264},
    // ...but not before it (a one-line ScratchArea 32 bytes past the
    // CursorArea's start), nor over visible pixels: with a pitch shorter than
    // the row the last row reaches 48 bytes into it.
    {"Brisko8CursorAreaBeforeTheScratchArea", "brisko8", 368, 1422, 0x08, 368,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    {"Lomvi8CursorAreaBeforeTheScratchArea", "lomvi8", 320, 202, 0x01, 320,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    {"Hadra24CursorAreaOverTheScreen", "hadra24", 120, 322, 0x01, 200,
     "Not enough offscreen memory available.\nTry a lower resolution or fewer colors.\n", false},
    // An answer beyond the mapped area is trusted only up to the register
    // block at 0x3FFF00, in whole kilobytes.
    {"Brisko8AnswerBeyondTheArea", "brisko8", 1024, 768, 0x7FFFFFFF, 1024, nullptr, false, 0x3FFC00,
     1024, 3326, 786432},
    {"Lomvi8AnswerMinusOne", "lomvi8", 1024, 768, -1, 1024, nullptr, false, 0x3FFC00, 1024, 3326,
     786432},
    // The display counts the pitch in 8-byte units.
    {"Brisko24PitchNotAWholeUnit", "brisko24", 640, 480, 0x20, 1921,
     "gd5436: pitch 1921 is not a multiple of 8.\n", true},
    // ...and holds nine bits of them: 4096 bytes would show as 0.
    {"Brisko16PitchPastTheOffsetRegister", "brisko16", 640, 480, 0x20, 4096,
     "gd5436: pitch 4096 is more than the 4088 bytes the display can show.\n", true},
};

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Layout, testing::ValuesIn(kLayoutCases), layoutName);

// ------------------------------------------------------- Init's failures --

struct FailureCase {
    const char *what;
    const char *build;
    void (*edit)(graf::Builder &);
    const char *message; // null: Init fails without one
    bool setGraphics;    // the mode was set
    bool setText;        // and taken back
};

std::string failureName(const testing::TestParamInfo<FailureCase> &info) {
    return info.param.what;
}

class Gd5436InitFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(Gd5436InitFailure, EndsWithItsMessageAndTheModeAsTheFlavourSays) {
    const FailureCase &c = GetParam();
    graf::Builder g;
    g.config() = exampleConfig(build(c.build));
    c.edit(g);
    harness::Screen s(c.build, g.build(), {.reporter = HARNESS_GTEST_REPORTER});
    graf::clearRunLog();
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    if (c.message)
        EXPECT_EQ(server::errorMessages(), std::vector<std::string>{c.message});
    else
        EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();
    EXPECT_EQ(ran("SetGraphics"), c.setGraphics) << testing::PrintToString(procedureRuns());
    EXPECT_EQ(ran("SetText"), c.setText) << testing::PrintToString(procedureRuns());
    expectOnlyPrivateLeft(s);
}

const char kPixelInfo[] = "gd5436: can't find pixel info in grafinfo file.\n";

const FailureCase kFailureCases[] = {
    {"Brisko8NoWidth", "brisko8", [](graf::Builder &g) { g.without("PIXWIDTH"); }, kPixelInfo,
     false, false},
    {"Brisko16NoHeight", "brisko16", [](graf::Builder &g) { g.without("PIXHEIGHT"); }, kPixelInfo,
     false, false},
    {"Lomvi8NoDepth", "lomvi8", [](graf::Builder &g) { g.without("DEPTH"); }, kPixelInfo, false,
     false},
    // A depth that is not the build's own would be drawn with the wrong pixels.
    {"Brisko8Depth12", "brisko8", [](graf::Builder &g) { g.integer("DEPTH", 12); }, kPixelInfo,
     false, false},
    {"Brisko16Depth15", "brisko16", [](graf::Builder &g) { g.integer("DEPTH", 15); }, kPixelInfo,
     false, false},
    {"Hadra24Depth32", "hadra24", [](graf::Builder &g) { g.integer("DEPTH", 32); }, kPixelInfo,
     false, false},
    // Sizes the server's 16-bit coordinates cannot hold count as missing.
    {"Brisko8ZeroWidth", "brisko8", [](graf::Builder &g) { g.integer("PIXWIDTH", 0); }, kPixelInfo,
     false, false},
    {"Hadra24HugeHeight", "hadra24", [](graf::Builder &g) { g.integer("PIXHEIGHT", 0x10000); },
     kPixelInfo, false, false},
    {"Lomvi16NoPitch", "lomvi16", [](graf::Builder &g) { g.without("PITCH"); },
     "gd5436: can't find pitch info in grafinfo file.\n", false, false},
    // A PITCH the display cannot show is refused before the mode is set.
    {"Lomvi16PitchNotAWholeUnit", "lomvi16", [](graf::Builder &g) { g.integer("PITCH", 1279); },
     "gd5436: pitch 1279 is not a multiple of 8.\n", false, false},
    {"Lomvi16PitchPastTheOffsetRegister", "lomvi16",
     [](graf::Builder &g) { g.integer("PITCH", 4096); },
     "gd5436: pitch 4096 is more than the 4088 bytes the display can show.\n", false, false},
    {"Brisko24NoInstalledMemory", "brisko24",
     [](graf::Builder &g) { g.without("InstalledMemory"); },
     "grafinfo file needs PROCEDURE InstalledMemory\n", false, false},
    {"Lomvi8NoInstalledMemory", "lomvi8", [](graf::Builder &g) { g.without("InstalledMemory"); },
     "grafinfo file needs PROCEDURE InstalledMemory\n", false, false},
    {"Brisko8NoMemoryArea", "brisko8", [](graf::Builder &g) { g.without("MEMORY"); },
     "gd5436: Missing MEMORY for fb in grafinfo file.\n", false, false},
    {"Hadra24NoMemoryArea", "hadra24", [](graf::Builder &g) { g.without("MEMORY"); },
     "gd5436: Missing MEMORY for fb in grafinfo file.\n", false, false},
    // Without its mode procedure the screen would be drawn but never shown.
    {"Brisko8NoSetGraphics", "brisko8", [](graf::Builder &g) { g.without("SetGraphics"); },
     "grafinfo file needs PROCEDURE SetGraphics\n", false, false},
    {"Lomvi16SetGraphicsFails", "lomvi16",
     [](graf::Builder &g) { g.procedure("SetGraphics", "fail"); },
     "grafinfo file needs PROCEDURE SetGraphics\n", true, false},
    {"Brisko15NoGetScreenPitch", "brisko15",
     [](graf::Builder &g) {
         g.without("GetScreenPitch").procedure("SetGraphics", "call SetMode 2048");
     },
     "grafinfo file needs PROCEDURE GetScreenPitch\n", true, true},
    {"Brisko8GetScreenPitchFails", "brisko8",
     [](graf::Builder &g) {
         g.procedure("GetScreenPitch", "fail").procedure("SetGraphics", "call SetMode 1024");
     },
     "grafinfo file needs PROCEDURE GetScreenPitch\n", true, true},
};

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436InitFailure, testing::ValuesIn(kFailureCases), failureName);

struct Refusal {
    const char *what;
    void (*set)(bool);
};

std::string refusalName(const testing::TestParamInfo<Refusal> &info) {
    return info.param.what;
}

class Gd5436ServerRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(Gd5436ServerRefusal, EndsInitWithoutAMessage) {
    const Refusal &r = GetParam();
    harness::Screen s("lomvi16", exampleConfig(build("lomvi16")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.probe());
    r.set(true);
    EXPECT_FALSE(s.init());
    r.set(false);
    EXPECT_TRUE(server::errorMessages().empty());
    if (std::string(r.what) == "PrivateIndex") {
        // Asked for again at the next Init.
        EXPECT_EQ(server::liveBlockCount(), 0u);
        ASSERT_TRUE(s.init());
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    } else {
        expectOnlyPrivateLeft(s);
    }
}

const Refusal kRefusals[] = {
    {"ScreenInit", [](bool on) { server::failScreenInit(on); }},
    {"AddVisual", [](bool on) { server::failAddVisual(on); }},
    {"DefaultColormap", [](bool on) { server::failCreateColormap(on); }},
    {"PrivateIndex", [](bool on) { server::failScreenPrivateIndex(on); }},
    {"Xalloc", [](bool on) { server::failAllocationAfter(on ? 0 : -1); }},
};

INSTANTIATE_TEST_SUITE_P(Lomvi16, Gd5436ServerRefusal, testing::ValuesIn(kRefusals), refusalName);

TEST(Gd5436InitFailure, RefusedHardwareCursorIsFatal) {
    harness::Screen s("brisko16", exampleConfig(build("brisko16")));
    server::setPointerResult(0);
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(s.fatalMessage(), "Cannot initialize Hardware Cursor\n");
    expectOnlyPrivateLeft(s);
}

// ------------------------------------------------------------- lifecycle --

class Gd5436Life : public testing::TestWithParam<Build> {};

TEST_P(Gd5436Life, PrivateIndexPerGenerationAndNothingLeftAfterClose) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    const int indices = server::screenPrivateCount();
    Gd5436Private *first = privateOf(s);
    ASSERT_NE(first, nullptr);

    // Init again within the generation keeps the index (and takes a new private).
    ASSERT_TRUE(s.init());
    EXPECT_EQ(server::screenPrivateCount(), indices);
    EXPECT_NE(privateOf(s), first);
    Xfree(first);

    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), indices + 1);
    Gd5436Private *second = privateOf(s);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->width, s.width());

    // A cursor moved across the edge allocates and frees its shifted copy.
    auto cursor = harness::makeCursor({"FFBBFFBBFF", "BFF", "..F"}, 1, 1);
    s.setCursor(cursor->ptr(), 100, 100);
    s.moveCursor(-2, 0);
    EXPECT_EQ(server::liveBlockCount(), 1u);

    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    EXPECT_TRUE(server::memoryErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Gd5436Life, testing::ValuesIn(kBuilds), buildName);

// ---------------------------------------------------------------- palette --

struct ColourCase {
    uint16_t component;
    uint8_t dac;
};

TEST(Gd5436Palette, SetColorWritesTheTopSixBitsOfEachComponent) {
    const ColourCase cases[] = {{0xFFFF, 0x3F}, {0xFC00, 0x3F}, {0xFBFF, 0x3E}, {0x8000, 0x20},
                                {0x0400, 0x01}, {0x03FF, 0x00}, {0x0000, 0x00}};
    harness::Screen s("brisko8", exampleConfig(build("brisko8")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::Gd5436Adapter &a = board(s);
    int index = 1;
    for (const ColourCase &c : cases) {
        SCOPED_TRACE(c.component);
        uint16_t other = static_cast<uint16_t>(~c.component);
        s.setColor(index, c.component, other, c.component);
        sim::vga::Dac::Entry e = a.dacEntry(index);
        EXPECT_EQ(e.r, c.dac);
        EXPECT_EQ(e.g, static_cast<uint8_t>(other >> 10));
        EXPECT_EQ(e.b, c.dac);
        index++;
    }
    s.setColor(255, 0xFFFF, 0, 0x8000);
    EXPECT_EQ(a.dacEntry(255), (sim::vga::Dac::Entry{0x3F, 0, 0x20}));

    // An index the DAC does not have is not written (it would wrap onto another).
    a.vga().dac.clearWrites();
    s.setColor(256, 0xFFFF, 0xFFFF, 0xFFFF);
    s.setColor(-1, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_TRUE(a.vga().dac.writes().empty());
    s.freeScreen();
}

// Fills the colormap: even entries in place, odd ones shared.
struct ColormapFill {
    std::vector<SHAREDCOLOR> shared;
    static uint16_t red(int i) { return static_cast<uint16_t>(i * 0x0101); }
    static uint16_t green(int i) { return static_cast<uint16_t>((255 - i) << 8); }
    static uint16_t blue(int i) { return static_cast<uint16_t>(i & 1 ? 0x00FF : 0xFF00); }

    explicit ColormapFill(ColormapPtr map) : shared(3 * 256) {
        for (int i = 0; i < map->pVisual->ColormapEntries; i++) {
            Entry &e = map->red[i];
            if (i & 1) {
                SHAREDCOLOR *sc = &shared[static_cast<size_t>(3 * i)];
                sc[0].color = red(i);
                sc[1].color = green(i);
                sc[2].color = blue(i);
                e.co.shco.red = &sc[0];
                e.co.shco.green = &sc[1];
                e.co.shco.blue = &sc[2];
                e.fShared = 1;
            } else {
                e.co.local.red = red(i);
                e.co.local.green = green(i);
                e.co.local.blue = blue(i);
                e.fShared = 0;
            }
        }
    }
};

uint8_t dacOfReloaded(uint16_t v) {
    return static_cast<uint8_t>(static_cast<uint16_t>(v | v << 8) >> 10);
}

class Gd5436ConsoleSwitch : public testing::TestWithParam<Build> {};

TEST_P(Gd5436ConsoleSwitch, TextAndBackWithThePaletteReloadedOnEightBitBuilds) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::Gd5436Adapter &a = board(s);
    ColormapPtr map = s.defaultColormap();
    ASSERT_NE(map, nullptr);
    ColormapFill fill(map);
    s.installColormap(map);

    // Taken away: SaveGState touches nothing, SetText runs the procedure.
    graf::clearRunLog();
    s.machine().clearTrace();
    s.saveGState();
    EXPECT_EQ(s.machine().accessCount(), 0u);
    EXPECT_TRUE(s.setText());
    EXPECT_EQ(procedureRuns(), std::vector<std::string>{"SetText"});
    EXPECT_FALSE(a.extendedMode());

    // Given back: SetGraphics sets the mode (which blacks the palette out),
    // 8-bit builds reload their colormap; RestoreGState touches nothing.
    graf::clearRunLog();
    a.vga().dac.clearWrites();
    s.setGraphics();
    EXPECT_EQ(procedureRuns(), std::vector<std::string>{"SetGraphics"});
    EXPECT_TRUE(a.extendedMode());
    EXPECT_FALSE(a.blanked());
    const auto &writes = a.vga().dac.writes();
    if (b.pseudoColor) {
        ASSERT_EQ(writes.size(), 512u);
        for (int i = 0; i < 256; i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(writes[static_cast<size_t>(256 + i)].index, i);
            EXPECT_EQ(a.dacEntry(i), (sim::vga::Dac::Entry{dacOfReloaded(ColormapFill::red(i)),
                                                           dacOfReloaded(ColormapFill::green(i)),
                                                           dacOfReloaded(ColormapFill::blue(i))}));
        }
        // 0xFF00 and 0x00FF both reach the top of the DAC's range.
        EXPECT_EQ(a.dacEntry(0).b, 0x3F);
        EXPECT_EQ(a.dacEntry(1).b, 0x3F);
    } else {
        EXPECT_EQ(writes.size(), 256u); // the procedure's own
        for (int i = 0; i < 256; i++)
            EXPECT_EQ(a.dacEntry(i), (sim::vga::Dac::Entry{0, 0, 0}));
    }
    s.machine().clearTrace();
    s.restoreGState();
    EXPECT_EQ(s.machine().accessCount(), 0u);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(AllBuilds, Gd5436ConsoleSwitch, testing::ValuesIn(kBuilds), buildName);

TEST(Gd5436ConsoleSwitch, SetTextReportsWhetherTheProcedureRan) {
    harness::Screen s("lomvi8", exampleConfig(build("lomvi8")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_TRUE(s.setText());
    graf::setProcedureFails(s.grafinfo(), "SetText", true);
    EXPECT_FALSE(s.setText());
    s.freeScreen();
}

TEST(Gd5436ConsoleSwitch, ReloadWithoutAnInstalledColormapWritesNothing) {
    harness::Screen s("brisko8", exampleConfig(build("brisko8")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.nfb()->installedCmap = nullptr;
    board(s).vga().dac.clearWrites();
    s.setGraphics();
    EXPECT_EQ(board(s).vga().dac.writes().size(), 256u); // the procedure's own
    s.freeScreen();
}

// --------------------------------------------------------------- blanking --

TEST(Gd5436Blanking, TheAttributeIndexTurnsThePictureOffAndOn) {
    harness::Screen s("hadra24", exampleConfig(build("hadra24")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::Gd5436Adapter &a = board(s);
    struct Step {
        bool on;
        uint32_t written;
        bool blanked;
    };
    for (Step step : {Step{true, 0x00, true}, Step{false, 0x20, false}, Step{true, 0x00, true}}) {
        SCOPED_TRACE(step.on);
        s.machine().clearTrace();
        EXPECT_EQ(s.blankScreen(step.on), 1);
        const auto &t = s.machine().trace();
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[0].kind, sim::Access::PortIn);
        EXPECT_EQ(t[0].address, 0x3DAu);
        EXPECT_EQ(t[1].kind, sim::Access::PortOut);
        EXPECT_EQ(t[1].address, 0x3C0u);
        EXPECT_EQ(t[1].value, step.written);
        EXPECT_EQ(a.blanked(), step.blanked);
    }
    // The mode set shows the picture again.
    s.setGraphics();
    EXPECT_FALSE(a.blanked());
    s.freeScreen();
}

} // namespace
