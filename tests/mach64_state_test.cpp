// Mach64 screen state: the checked wait's reports and engine reset, the
// palette saved at start-up and restored for the console, colormap loading
// and the identity ramp, the scissors, the best sizes, the choice of GC
// records, blanking and the console switch.
#include <algorithm>

#include "hwio.h"

#include "mach64_fixture.h"

namespace m64test {
namespace {

std::unique_ptr<harness::Screen> started(const Build &b, int depth = 8,
                                         graf::Config *cfg = nullptr) {
    auto s = std::make_unique<harness::Screen>(b.driver, cfg ? *cfg : m64Config(b, depth), quiet());
    EXPECT_TRUE(s->start()) << s->failureText();
    return s;
}

size_t readsOf(harness::Screen &s, const teskScreenPrivate &p, int index) {
    const uint8_t *at = reinterpret_cast<const uint8_t *>(p.regs + index);
    const sim::Machine::Area *area = s.machine().areaAt(at);
    int region = s.machine().regionIndex(area->name);
    uint32_t offset = uint32_t(at - area->host);
    size_t n = 0;
    for (const sim::Access &a : s.machine().trace().runs())
        if (a.kind == sim::Access::MemRead && a.region == region && a.address == offset)
            n += a.repeat;
    return n;
}

// ---- The checked wait ----

// Reports name the wait and the one before it; each is followed by the
// engine reset, and the wait goes on.
TEST(Mach64Wait, OverrunAndBusPanicAreReportedAndReset) {
    struct Case {
        Build build;
        const char *board; // graf of the board it runs on
        uint32_t chipId;
        bool overrun;
        uint32_t busError;
        std::vector<std::string> messages;
    } cases[] = {
        {kMerro,
         kMerro.graf,
         0x00004758,
         true,
         0,
         {"\n Fifo Overrun at merroBlankScreen after merroSaveDACState"}},
        {kTesk,
         kTesk.graf,
         0x01004750,
         false,
         0x800000,
         {"\n Bus Panic at TESKBlankScreen after TESKSaveDACState"}},
        // Bit 21 counts on the older class only.
        {kTesk, kTesk.graf, 0x01004750, false, 0x200000, {}},
        {kMerro,
         kMerro.graf,
         0x00004758,
         false,
         0x200000,
         {"\n Bus Panic at merroBlankScreen after merroSaveDACState"}},
        {kVandu, kVandu.graf, 0x01004754, false, 0x200000, {}},
        {kVandu,
         kVandu.graf,
         0x00004754,
         false,
         0x200000,
         {"\n Bus Panic at vanduBlankScreen after vanduSaveDACState"}},
        {kVandu,
         kMerro.graf,
         0x00004758,
         false,
         0x200000,
         {"\n Bus Panic at vanduBlankScreen after vanduSaveDACState"}},
        // An overrun's reset clears the latched bus bits too: one report.
        {kVandu,
         kVandu.graf,
         0x01004754,
         true,
         0x800000,
         {"\n Fifo Overrun at vanduBlankScreen after vanduSaveDACState"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.build.driver) + " on " + c.board);
        harness::beginCase();
        graf::Config cfg = m64Config({c.build.driver, c.board});
        cfg.ints["CHIP_ID"] = int(c.chipId);
        auto s = started(c.build, 8, &cfg);
        sim::Mach64Adapter &a = boardOf(*s);
        if (c.overrun)
            a.latchOverrun();
        a.latchBusError(c.busError);
        server::clearErrorMessages();
        s->machine().clearTrace();
        EXPECT_EQ(s->blankScreen(true), 1);
        EXPECT_EQ(messages(), c.messages);
        EXPECT_EQ(a.resets(), int(c.messages.size()));
        EXPECT_EQ(a.reg(FIFO_STAT) & 0x80000000u, 0u);
        EXPECT_EQ(a.reg(BUS_CNTL) & 0xA00000u, c.messages.empty() ? c.busError : 0u);
        EXPECT_TRUE(a.blanked());
        if (!c.messages.empty()) {
            // The reset: latched bits acknowledged, the engine off and on,
            // CRTC_GEN_CNTL bit 11 cleared.
            std::vector<RegWrite> w = registerWrites(*s, 0xFC00, "REGS");
            if (w.empty())
                w = registerWrites(*s, std::string(c.build.driver) == "tesk" ? 0x7FFC00 : 0x3FFC00,
                                   "APERTURE");
            ASSERT_GE(w.size(), 4u) << show(w);
            EXPECT_EQ(w[0].index, BUS_CNTL);
            EXPECT_EQ(w[0].value & 0xFF0000u, 0xAE0000u);
            EXPECT_EQ(w[1], (RegWrite{GEN_TEST_CNTL, 0}));
            EXPECT_EQ(w[2], (RegWrite{GEN_TEST_CNTL, 0x100}));
            EXPECT_EQ(w[3].index, CRTC_GEN_CNTL);
            EXPECT_EQ(w[3].value & 0x800u, 0u);
        }
        s->freeScreen();
    }
}

// Before any wait has completed the report names no label, and the label
// survives a server reset.
TEST(Mach64Wait, PreviousLabelBeforeAnyAndAcrossGenerations) {
    harness::Screen s("merro", m64Config(kMerro), quiet());
    boardOf(s).latchOverrun();
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(messages(),
              std::vector<std::string>{"\n Fifo Overrun at merroBlankScreen after none"});
    s.setText();
    s.freeScreen();
    server::clearErrorMessages();
    boardOf(s).latchOverrun();
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_EQ(messages(),
              std::vector<std::string>{"\n Fifo Overrun at merroBlankScreen after Set Text"});
    s.freeScreen();
}

// The FIFO and the engine draw on one budget of 0xFFFFFF polls.
TEST(Mach64Wait, BudgetIsSharedAndRenewedAfterALongWait) {
    harness::Screen s("merro", m64Config(kMerro), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().setPollLimit(0x2000000);
    sim::Mach64Adapter &a = boardOf(s);
    const teskScreenPrivate &p = privateOf(s);

    // 0x7FFFFF polls for the FIFO leave 0x800000 for an engine that never
    // goes idle.
    server::clearErrorMessages();
    s.machine().clearTrace();
    a.holdFifo(0x7FFFFF + 1); // the overrun test's read comes first
    a.setFault(sim::Mach64Adapter::Fault::Busy);
    s.blankScreen(true);
    EXPECT_EQ(messages(), std::vector<std::string>{
                              "\nNot Going Idle at merroBlankScreen after merroSaveDACState"});
    EXPECT_EQ(readsOf(s, p, GUI_STAT), 0x800000u);
    EXPECT_EQ(a.resets(), 1);
    EXPECT_TRUE(a.blanked()) << "the wait returns and the work goes on";

    // A FIFO that never empties: reported after 0xFFFFFF polls, then the
    // engine gets a fresh budget.
    a.setFault(sim::Mach64Adapter::Fault::Fifo);
    server::clearErrorMessages();
    s.machine().clearTrace();
    s.blankScreen(false);
    EXPECT_EQ(messages(), std::vector<std::string>{"Long Wait@merroBlankScreen"});
    EXPECT_EQ(readsOf(s, p, FIFO_STAT), 1u + 0xFFFFFFu);
    EXPECT_EQ(a.resets(), 2);
    a.setFault(sim::Mach64Adapter::Fault::None);
    s.freeScreen();
}

// ---- Palette ----

sim::vga::Dac::Entry consolePalette(int i) {
    return {uint8_t(i * 7 & 0x3F), uint8_t(i * 13 & 0x3F), uint8_t(i * 29 & 0x3F)};
}

TEST(Mach64Dac, SavedAtStartRestoredForTheConsole) {
    for (const Build &b : kBuilds) {
        for (bool ignore : {false, true}) {
            SCOPED_TRACE(std::string(b.driver) + (ignore ? " IGNOREPROBE" : ""));
            harness::beginCase();
            graf::Config cfg = m64Config(b);
            if (ignore)
                cfg.flags.push_back("IGNOREPROBE");
            harness::Screen s(b.driver, cfg, quiet());
            sim::vga::Dac &dac = boardOf(s).vga().dac;
            for (int i = 0; i < 256; i++)
                dac.setEntry(i, consolePalette(i));
            ASSERT_TRUE(s.start()) << s.failureText();
            // The default colormap's 256 entries, and one pause after the
            // read index of the save.
            EXPECT_EQ(emptyMessages(), 256u * 4u + (ignore ? 0u : 1u));
            s.setColor(5, 0xFFFF, 0, 0);
            server::clearErrorMessages();
            s.switchAway();
            if (ignore) {
                EXPECT_EQ(dac.rawEntry(5), (sim::vga::Dac::Entry{0x3F, 0, 0}));
                EXPECT_EQ(emptyMessages(), 0u);
            } else {
                for (int i = 0; i < 256; i++)
                    ASSERT_EQ(dac.entry(i), consolePalette(i)) << i;
                EXPECT_EQ(emptyMessages(), 1u + 768u);
            }
            EXPECT_TRUE(messages().empty());
            s.switchBack();
            s.freeScreen();
        }
    }
}

TEST(Mach64Dac, ColormapAtDepth8AndIdentityRampElsewhere) {
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        harness::beginCase();
        auto s = started(kVandu, depth);
        sim::vga::Dac &dac = boardOf(*s).vga().dac;
        for (int i = 0; i < 256; i++)
            dac.setEntry(i, {0x15, 0x15, 0x15});
        ColormapPtr map = server::createColormap(s->screen(), &s->screen()->visuals[0]);
        for (int i = 0; i < 256; i++)
            map->red[i].co.local = {uint16_t(i << 8), uint16_t(0xFFFF - (i << 8)),
                                    uint16_t(i * 97)};
        SHAREDCOLOR red{0x8000, 1}, green{0x4000, 1}, blue{0xC000, 1};
        map->red[9].fShared = 1;
        map->red[9].co.shco = {&red, &green, &blue};
        server::clearErrorMessages();
        s->installColormap(map);
        EXPECT_EQ(emptyMessages(), 256u * 4u);
        for (int i = 0; i < 256; i++) {
            sim::vga::Dac::Entry want{uint8_t(i), uint8_t(i), uint8_t(i)};
            if (depth == 8)
                want = i == 9 ? sim::vga::Dac::Entry{0x20, 0x10, 0x30}
                              : sim::vga::Dac::Entry{uint8_t((i << 8) >> 10),
                                                     uint8_t((0xFFFF - (i << 8)) >> 10),
                                                     uint8_t((i * 97 & 0xFFFF) >> 10)};
            ASSERT_EQ(dac.rawEntry(i), want) << i;
        }
        // The SetColor hook on the PseudoColor screen, and nothing beyond
        // the visual's entries.
        if (depth == 8) {
            s->setColor(3, 0x1234, 0x5678, 0x9ABC);
            EXPECT_EQ(dac.rawEntry(3), (sim::vga::Dac::Entry{0x04, 0x15, 0x26}));
            size_t writes = dac.writes().size();
            s->setColor(256, 0xFFFF, 0xFFFF, 0xFFFF);
            EXPECT_EQ(dac.writes().size(), writes);
        }
        s->freeScreen();
    }
}

// ---- Scissors, best sizes, records ----

TEST(Mach64Clip, FirstBoxCutToTheScreenThroughTheShadows) {
    auto s = started(kTesk);
    sim::Mach64Adapter &a = boardOf(*s);
    struct Step {
        std::vector<BoxRec> boxes;
        uint32_t x, y;
    } steps[] = {
        {{{10, 2, 100, 12}, {0, 0, 5, 5}}, 99u << 16 | 10, 11u << 16 | 2},
        {{{-5, -3, 700, 40}}, 639u << 16, 15u << 16},
        {{{10, 2, 100, 12}}, 99u << 16 | 10, 11u << 16 | 2},
        {{}, 639u << 16, 15u << 16},
    };
    for (const Step &st : steps) {
        s->setClipRegions(st.boxes);
        EXPECT_EQ(a.reg(SC_LEFT_RIGHT), st.x);
        EXPECT_EQ(a.reg(SC_TOP_BOTTOM), st.y);
    }
    // The same clip again writes nothing.
    s->machine().clearTrace();
    s->setClipRegions({});
    EXPECT_TRUE(registerWrites(*s, 0x7FFC00, "APERTURE").empty());
    s->freeScreen();
}

// The scissors wait for room for both writes: a full FIFO is not written to.
TEST(Mach64Clip, WaitsForRoomForBothScissors) {
    for (const Build &b : kBuilds) {
        SCOPED_TRACE(b.driver);
        harness::beginCase();
        auto s = started(b);
        uint32_t *block = privateOf(*s).regs;
        for (int room : {0, 1}) {
            outpw(0x3CE, 0x0106);
            for (int i = boardOf(*s).queued(); i < 16 - room; i++)
                mmWrite32(block + DP_BKGD_CLR, uint32_t(i));
            outpw(0x3CE, 0x0506);
            s->setClipRegions({{int16_t(10 + room), 2, 100, 12}});
            EXPECT_EQ(boardOf(*s).reg(SC_LEFT_RIGHT), uint32_t(99 << 16 | (10 + room)));
        }
        s->freeScreen();
    }
}

TEST(Mach64BestSize, CursorAndTileArea) {
    auto s = started(kMerro);
    struct Case {
        int cls;
        uint16_t w, h, wantW, wantH;
    } cases[] = {{CursorShape, 100, 30, 64, 64}, {CursorShape, 8, 8, 64, 64},
                 {TileShape, 100, 30, 64, 30},   {StippleShape, 10, 50, 10, 46},
                 {TileShape, 64, 46, 64, 46},    {3, 500, 500, 500, 500}};
    for (const Case &c : cases) {
        uint16_t w = c.w, h = c.h;
        s->screen()->QueryBestSize(c.cls, &w, &h, s->screen());
        EXPECT_EQ(w, c.wantW) << c.cls;
        EXPECT_EQ(h, c.wantH) << c.cls;
    }
    s->freeScreen();
}

TEST(Mach64Validate, RecordByFillStyleAndOpaqueStippleColours) {
    auto s = started(kVandu);
    PixmapPtr stipple = s->stipple({"X.", ".X"});
    GCPtr gc = s->createGC();
    // Each style's record holds that style's server routine in slot 4 (its
    // FillRects may be the driver's own).
    auto record = [&] { return s->ops(gc)->GCOp4; };
    EXPECT_EQ(record(), genSolidGCOp4);
    auto gcValues = [&](int fillStyle, Pixel fg, Pixel bg, int alu = GXcopy) {
        harness::GCSpec v;
        v.fillStyle = fillStyle;
        v.fg = fg;
        v.bg = bg;
        v.alu = alu;
        v.tile = fillStyle == FillTiled ? s->tile(2, 1, {1, 2}) : nullptr;
        v.stipple = stipple;
        return v;
    };
    struct Step {
        harness::GCSpec gcValues;
        uint32_t changes;
        GCOpProc want;
    } steps[] = {
        {gcValues(FillTiled, 1, 0), GCFillStyle, genTiledGCOp4},
        {gcValues(FillStippled, 1, 0), GCFillStyle, genStippledGCOp4},
        {gcValues(FillOpaqueStippled, 3, 3), GCFillStyle, genSolidGCOp4},
        // The colours part: the opaque stipple record from now on.
        {gcValues(FillOpaqueStippled, 4, 3), GCForeground, genOpStippledGCOp4},
        {gcValues(FillOpaqueStippled, 4, 4), GCBackground, genSolidGCOp4},
        // An alu or plane mask change leaves the record.
        {gcValues(FillOpaqueStippled, 4, 4, GXxor), GCFunction | GCPlaneMask, genSolidGCOp4},
        {gcValues(FillSolid, 1, 0), GCFillStyle, genSolidGCOp4},
    };
    for (const Step &st : steps) {
        s->changeGC(gc, st.gcValues, st.changes);
        EXPECT_EQ(record(), st.want);
    }
    EXPECT_EQ(s->winOps()->SetClipRegions != genWinOp14, true);
    EXPECT_EQ(s->winOps()->ValidateWindowGC != nullptr, true);
    s->freeScreen();
}

// ---- Blanking and the console switch ----

TEST(Mach64Switch, RoundTripSetsTheModeAgain) {
    // vandu also on a board with no aperture whose block answers only in
    // the GR6 window: every access of the round trip must be bracketed.
    const Build windowed = {"vandu", "ati/mach64/merro.graf"};
    for (const Build &b : {kTesk, kVandu, kMerro, windowed}) {
        SCOPED_TRACE(std::string(b.driver) + " on " + b.graf);
        harness::beginCase();
        graf::Config cfg = m64Config(b, 16);
        if (std::string(b.graf) == windowed.graf && std::string(b.driver) == "vandu")
            cfg.strings["REGS"] = "window";
        auto s = started(b, 16, &cfg);
        sim::Mach64Adapter &a = boardOf(*s);
        s->setClipRegions({{10, 2, 100, 12}});
        EXPECT_EQ(s->blankScreen(true), 1);
        EXPECT_TRUE(a.blanked());

        s->switchAway();
        EXPECT_FALSE(a.acceleratorDisplay()) << "SetText ran";
        EXPECT_FALSE(a.blanked()) << "the console's picture shown";
        EXPECT_EQ(graf::runLog().back().procedure, "SetText");

        graf::clearRunLog();
        s->switchBack();
        std::vector<std::string> runs;
        for (const graf::Run &r : graf::runLog())
            runs.push_back(r.procedure);
        EXPECT_EQ(runs, (std::vector<std::string>{"SetGraphics", "SetMode", "SetMode"}));
        EXPECT_TRUE(a.acceleratorDisplay());
        EXPECT_EQ(a.displayWidth(), 640);
        EXPECT_EQ(a.pixelWidthCode(), 4);
        EXPECT_FALSE(a.blanked());
        const teskScreenPrivate &p = privateOf(*s);
        EXPECT_EQ(p.shadowScissorX, 639u << 16);
        EXPECT_EQ(p.shadowScissorY, 15u << 16);
        EXPECT_EQ(a.reg(SC_LEFT_RIGHT), 639u << 16);
        EXPECT_EQ(a.reg(SC_TOP_BOTTOM), 15u << 16);
        EXPECT_EQ(a.reg(SRC_OFF_PITCH), 80u << 22);
        EXPECT_EQ(a.reg(DP_PIX_WIDTH), pixWidthWord(b, 16));
        // The colormap reloaded: the identity ramp at depth 16.
        EXPECT_EQ(a.vga().dac.rawEntry(200), (sim::vga::Dac::Entry{200, 200, 200}));
        // Start-up blanks and shows the picture again around the engine set-up.
        s->blankScreen(true);
        s->setGraphics();
        EXPECT_FALSE(a.blanked());
        EXPECT_TRUE(messages().empty());
        s->freeScreen();
    }
}

TEST(Mach64Switch, MissingSetTextStaysInGraphics) {
    graf::Config cfg = m64Config(kTesk);
    cfg.procedures.erase("SetText");
    auto s = started(kTesk, 8, &cfg);
    EXPECT_EQ(s->setText(), 0);
    EXPECT_TRUE(boardOf(*s).acceleratorDisplay());
    s->freeScreen();
}

} // namespace
} // namespace m64test
