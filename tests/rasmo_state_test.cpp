// rasmo engine access and screen state: the hardware clip, the palette and
// the blanking through it, the console switch and the bounded idle wait.
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

class RasmoScreen : public testing::Test {
  protected:
    void start(int d) {
        depth = d;
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(64, 16, depth), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->machine().clearTrace();
        mach32Of(*s).dac().clearWrites();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    sim::Mach32Adapter &board() { return mach32Of(*s); }
    std::vector<uint16_t> scissors() {
        const sim::S3Regs &r = board().engine().regs();
        return {r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom};
    }
    int depth = 8;
    std::unique_ptr<harness::Screen> s;
};

// Both depths.
class RasmoState : public RasmoScreen, public testing::WithParamInterface<int> {
  protected:
    void SetUp() override { start(GetParam()); }
};

// Depth 8, the one with a palette.
class RasmoState8 : public RasmoScreen {
  protected:
    void SetUp() override { start(8); }
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoState, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// ---- the clip ----

TEST_P(RasmoState, ClipRegionsSetTheScissorsInclusive) {
    s->setClipRegions({{10, 20, 110, 220}, {0, 0, 5, 5}});
    EXPECT_EQ(scissors(), (std::vector<uint16_t>{10, 20, 109, 219}));
    const rasmoScreenPrivate &p = *privOf(*s);
    EXPECT_EQ((std::vector<int>{p.clipX1, p.clipY1, p.clipX2, p.clipY2}),
              (std::vector<int>{10, 20, 110, 220}));
    s->setClipRegions({});
    EXPECT_EQ(scissors(), (std::vector<uint16_t>{0, 0, 2047, 2047}));
    // Four writes after a wait for four FIFO entries.
    EXPECT_EQ(writesTo(*s, SCISSOR_RIGHT), (std::vector<uint32_t>{109, 2047}));
    EXPECT_GE(readsOf(*s, FIFO_STAT), 2u);
}

TEST_P(RasmoState, RestoreGStateWritesTheStoredClipAgain) {
    s->setClipRegions({{3, 4, 40, 12}});
    s->switchAway();
    s->machine().clearTrace();
    s->switchBack();
    EXPECT_EQ(scissors(), (std::vector<uint16_t>{3, 4, 39, 11}));
    EXPECT_EQ(writesTo(*s, SCISSOR_LEFT), (std::vector<uint32_t>{3}));
}

// ---- blanking and the palette ----

TEST_P(RasmoState, BlankingGoesThroughTheDepth8Palette) {
    sim::vga::Dac &dac = board().dac();
    if (depth == 16) {
        EXPECT_EQ(s->blankScreen(true), 0);
        EXPECT_EQ(s->blankScreen(false), 0);
        EXPECT_TRUE(portWrites(*s).empty()) << show(portWrites(*s));
        EXPECT_EQ(s->nfb()->SetColor, (SetColorProc)NoopDDA);
        EXPECT_EQ(s->nfb()->LoadColormap, (LoadColormapProc)NoopDDA);
        return;
    }
    s->setColor(0, 0xFFFF, 0xFFFF, 0xFFFF);
    s->setColor(5, 0x1000, 0x2000, 0x3000);
    EXPECT_EQ(s->blankScreen(true), 1);
    EXPECT_EQ(dac.mask(), 0);
    EXPECT_EQ(dac.entry(0), (sim::vga::Dac::Entry{0, 0, 0}));
    // While blanked, palette changes do not reach the DAC.
    dac.clearWrites();
    s->setColor(5, 0xFFFF, 0, 0);
    s->installColormap(s->defaultColormap());
    EXPECT_TRUE(dac.writes().empty());
    EXPECT_EQ(dac.entry(5), (sim::vga::Dac::Entry{4, 8, 12}));
    // Showing the picture loads the whole installed colormap and the mask.
    EXPECT_EQ(s->blankScreen(false), 1);
    EXPECT_EQ(dac.writes().size(), 256u);
    EXPECT_EQ(dac.writes().front().index, 0);
    EXPECT_EQ(dac.mask(), 0xFF);
    EXPECT_EQ(s->nfb()->SetColor == (SetColorProc)NoopDDA, false);
}

TEST_F(RasmoState8, SixteenBitComponentsReachTheSixBitDac) {
    s->setColor(7, 0xFFFF, 0x8000, 0x03FF);
    const std::vector<PortWrite> expected = {
        {DAC_W_INDEX, 7, 1}, {DAC_DATA, 63, 1}, {DAC_DATA, 32, 1}, {DAC_DATA, 0, 1}};
    EXPECT_EQ(portWrites(*s), expected) << show(portWrites(*s));
    EXPECT_EQ(board().dac().entry(7), (sim::vga::Dac::Entry{63, 32, 0}));
}

TEST_F(RasmoState8, SharedColormapEntriesLoadThroughTheirColours) {
    ColormapPtr map = server::createColormap(s->screen(), &s->screen()->visuals[0]);
    SHAREDCOLOR red{0xFC00, 1}, green{0x0400, 1}, blue{0x8000, 1};
    map->red[3].fShared = 1;
    map->red[3].co.shco = {&red, &green, &blue};
    map->red[4].co.local = {0x4000, 0x0000, 0xFFFF};
    s->installColormap(map);
    EXPECT_EQ(board().dac().entry(3), (sim::vga::Dac::Entry{63, 1, 32}));
    EXPECT_EQ(board().dac().entry(4), (sim::vga::Dac::Entry{16, 0, 63}));
    EXPECT_EQ(board().dac().mask(), 0xFF);
}

TEST_F(RasmoState8, NullColormapWritesNothing) {
    s->installColormap(nullptr);
    EXPECT_TRUE(portWrites(*s).empty());
}

// ---- the console switch ----

TEST_P(RasmoState, SetTextTwiceRunsSetTextOnce) {
    const uint64_t resets = board().engine().stats().resets;
    s->saveGState();
    EXPECT_EQ(writesTo(*s, SUBSYS_CNTL), (std::vector<uint32_t>{4}));
    s->setText();
    s->setText();
    EXPECT_EQ(runsOf("SetText"), 1);
    EXPECT_EQ(privOf(*s)->flags & RASMO_IN_GRAPHICS, 0u);
    EXPECT_EQ(s->adapter()->displayPitch(), 0u);

    s->setGraphics();
    s->setGraphics();
    EXPECT_EQ(runsOf("SetGraphics"), 2); // Init's and this one
    EXPECT_EQ(board().engine().stats().resets, resets + 1);
    EXPECT_EQ(privOf(*s)->flags & RASMO_IN_GRAPHICS, RASMO_IN_GRAPHICS);
    EXPECT_EQ(s->adapter()->displayPitch(), uint32_t(s->pitch()));
    s->restoreGState();
    // At depth 8 the picture is shown with the installed colormap.
    if (depth == 8) {
        EXPECT_EQ(board().dac().mask(), 0xFF);
        EXPECT_NE(s->nfb()->LoadColormap, (LoadColormapProc)NoopDDA);
    }
}

// The idle wait gives up after 1,048,576 status reads and goes on.
TEST_F(RasmoState8, IdleWaitIsBounded) {
    s->machine().setPollLimit(2000000);
    board().engine().setBusyReads(5000000);
    // A one-pixel copy leaves the engine busy far longer than the wait.
    s->call("copy", [] {
        inw(GE_STAT);
        outw(0x86E8, 0);
        outw(0x82E8, 0);
        outw(0x8EE8, 1);
        outw(0x8AE8, 0);
        outw(0x96E8, 0);
        outw(0xBEE8, 0);
        outw(GE_STAT, 0xC0B1);
    });
    s->machine().clearTrace();
    s->saveGState();
    EXPECT_EQ(readsOf(*s, GE_STAT), size_t{ENGINE_IDLE_LIMIT});
    EXPECT_EQ(writesTo(*s, SUBSYS_CNTL), (std::vector<uint32_t>{4}));
    board().engine().setBusyReads(2);
    board().engine().drain();
}

} // namespace
} // namespace rasmotest
