// The pilo mode switch with and without the built-in register set, the
// engine's reset and defaults, the cleared video memory, the text mode, the
// palette at each depth, blanking and a console switch.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

const uint8_t kSer[5] = {0x01, 0x21, 0x0F, 0x00, 0x0E};
const uint8_t kCrt[25] = {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
                          0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x8C,
                          0xDF, 0x80, 0x60, 0xE7, 0x04, 0xAB, 0xFF};
const uint8_t kCrt16[25] = {0xC3, 0x9F, 0xA1, 0x85, 0xA9, 0x01, 0x0B, 0x3E, 0x00,
                            0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEA, 0x8C,
                            0xDF, 0x00, 0x60, 0xE7, 0x04, 0xAB, 0xFF};
const uint8_t kGr[9] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x0F, 0xFF};

// The frame buffer as the engine sees it (the layout's clip edges) is 0.
bool allZero(harness::Screen &s) {
    sim::PiloAdapter &a = board(s);
    const Private &priv = privateOf(s);
    const size_t bytes = size_t(priv.clipRight + 1) * size_t(priv.clipBottom + 1) *
                         size_t(a.engine().pixelBits()) / 8;
    EXPECT_LE(bytes, a.vram()->size());
    const uint8_t *p = a.vram()->data();
    for (size_t i = 0; i < bytes && i < a.vram()->size(); i++)
        if (p[i])
            return false;
    return true;
}

void scribble(sim::PiloAdapter &a) {
    uint8_t *p = a.vram()->data();
    for (size_t i = 0; i < a.vram()->size(); i++)
        p[i] = uint8_t(i * 37 + 11);
}

// ------------------------------------------------------ the mode switch --

struct ModeCase {
    int memoryKB, depth, width, height;
};

class PiloModeAssist : public testing::TestWithParam<ModeCase> {};

// With MODEASSIST the built-in set is loaded, the S3 registers are set for
// the depth and memory, the engine reset with its defaults, and the whole of
// video memory cleared.
TEST_P(PiloModeAssist, LoadsTheRegisterSetResetsTheEngineAndClearsMemory) {
    const ModeCase &m = GetParam();
    harness::Screen s("pilo", boardConfig(m.memoryKB, m.depth, m.width, m.height),
                      {.reporter = HARNESS_GTEST_REPORTER});
    sim::PiloAdapter &a = board(s);
    scribble(a);
    a.vga().crtc.setReg(0x31, 0xFF);
    a.vga().crtc.setReg(0x42, 0xFF);
    ASSERT_TRUE(s.probe() && s.init()) << s.failureText();
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(a.sr(uint8_t(i)), i == 0 ? 0x03 : i == 1 ? 0x01 : kSer[i]) << "SR" << i;
    const uint8_t *crt = m.depth == 16 ? kCrt16 : kCrt;
    for (int i = 0; i < 25; i++) {
        if (i != 0x13 || m.depth != 4 || m.memoryKB != 512) {
            EXPECT_EQ(a.cr(uint8_t(i)), crt[i]) << "CR" << i;
        }
    }
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(a.vga().gc.reg(uint8_t(i)), kGr[i]) << "GR" << i;
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(a.vga().attr.reg(uint8_t(i)), i);
    EXPECT_EQ(a.vga().attr.reg(16), m.depth == 4 ? 0x01 : 0x41);
    EXPECT_EQ(a.vga().misc.value(), 0xEF);
    const bool twoK = m.depth != 8 && m.memoryKB == 1024;
    EXPECT_EQ(a.cr(0x31), 0xC5 | 0x08 | (twoK ? 0x02 : 0));
    EXPECT_EQ(a.cr(0x32) & 0x40, twoK ? 0x40 : 0);
    EXPECT_EQ(a.cr(0x34) & 0x10, 0x10);
    EXPECT_EQ(a.cr(0x3A) & 0x10, m.depth == 4 ? 0 : 0x10);
    EXPECT_EQ(a.cr(0x3B), crt[0] - 5);
    EXPECT_EQ(a.cr(0x40) & 0x01, 0x01);
    EXPECT_EQ(a.cr(0x42), 0xD0 | (m.depth == 16 ? 0x04 : 0));
    EXPECT_EQ(a.cr(0x43) & 0x0F, m.depth == 16 ? 0x0D : 0);
    EXPECT_EQ(a.cr(0x45) & 0x03, 0);
    EXPECT_EQ(a.vga().dac.mask(), 0xFF);
    EXPECT_EQ(a.cr(0x38), 0xB7); // locked again
    // CR40 and up stay unlocked for the hardware cursor's registers: its
    // set-up after the mode set unlocks them (the sprite layout does not).
    EXPECT_EQ(a.cr(0x39), privateOf(s).softwareCursor ? 0x5A : 0xA5);
    EXPECT_FALSE(a.blanked());
    EXPECT_TRUE(a.vga().attr.screenEnabled());
    EXPECT_EQ(a.engine().regs().advancedFunction, 3);

    const sim::S3Regs &r = a.engine().regs();
    EXPECT_EQ(a.engine().stats().resets, 1u);
    EXPECT_EQ((std::vector<int>{r.scissorTop, r.scissorLeft, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{0, 0, privateOf(s).clipRight, privateOf(s).clipBottom}));
    EXPECT_EQ(r.bgMix, 0x07);
    EXPECT_EQ(r.fgMix, 0x27);
    EXPECT_EQ(r.writeMask, 0xFFu);
    EXPECT_EQ(r.readMask, 0xFFu);
    EXPECT_EQ(a.engine().log(), (std::vector<uint16_t>{0x52B3}));
    a.drain();
    EXPECT_TRUE(allZero(s));
}

INSTANTIATE_TEST_SUITE_P(Boards, PiloModeAssist,
                         testing::Values(ModeCase{512, 4, 640, 480}, ModeCase{1024, 4, 640, 480},
                                         ModeCase{1024, 8, 640, 480}, ModeCase{2048, 16, 640, 480}),
                         [](const testing::TestParamInfo<ModeCase> &i) {
                             return std::to_string(i.param.memoryKB) + "KDepth" +
                                    std::to_string(i.param.depth);
                         });

// CR13 is halved after the procedure only at 512 KB and depth 4, and only
// while ADJCR13 allows it.
TEST(PiloModeAssist, HalvesCR13OnlyForTheHalfMegabyteFourBitMode) {
    struct Case {
        int memoryKB, adjust, modeAssist;
        uint8_t cr13;
    };
    for (const Case &c : {Case{512, 1, 1, 0x40}, Case{512, 0, 1, 0x80}, Case{1024, 1, 1, 0x80},
                          Case{512, 1, 0, 0x00}}) {
        graf::Config cfg = boardConfig(c.memoryKB, 4, 640, 480);
        cfg.ints["ADJCR13"] = c.adjust;
        cfg.ints["MODEASSIST"] = c.modeAssist;
        harness::Screen s("pilo", cfg, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.probe() && s.init()) << s.failureText();
        EXPECT_EQ(board(s).cr(0x13), c.cr13) << c.memoryKB << " KB ADJCR13 " << c.adjust;
    }
}

// Without MODEASSIST the driver leaves the mode's registers to the procedure:
// only the DAC mask, the retrace waits, the engine, the memory clear and the
// screen-on steps are its own.
TEST(PiloModeAssist, WithoutItOnlyTheProcedureSetsTheMode) {
    harness::Screen s("pilo", harness::loadConfig("s3/pilo/pilo-2m.graf"),
                      {.reporter = HARNESS_GTEST_REPORTER});
    sim::PiloAdapter &a = board(s);
    scribble(a);
    ASSERT_TRUE(s.probe());
    a.vga().crtc.clearWrites();
    a.vga().seq.clearWrites();
    ASSERT_TRUE(s.init()) << s.failureText();
    EXPECT_TRUE(ran("SetGraphics"));
    // The driver's own CRTC accesses are the memory detection's (CR38, CR32,
    // CR36) and the hardware cursor's set-up (CR39, CR45); the procedure's are
    // CR31, CR3A, CR40 and the locks.
    for (const auto &w : a.vga().crtc.writes())
        EXPECT_TRUE(w.index == 0x38 || w.index == 0x39 || w.index == 0x31 || w.index == 0x3A ||
                    w.index == 0x40 || w.index == 0x45)
            << "CR" << std::hex << int(w.index);
    std::vector<int> seqIndices;
    for (const auto &w : a.vga().seq.writes())
        seqIndices.push_back(w.index);
    EXPECT_EQ(seqIndices, (std::vector<int>{0, 1})); // sequencer 0, screen on
    EXPECT_EQ(a.sr(0), 0x03);
    EXPECT_EQ(a.engine().stats().resets, 1u);
    a.drain();
    EXPECT_TRUE(allZero(s));
    EXPECT_EQ(a.vga().dac.mask(), 0xFF);
}

// ---------------------------------------------------------- text mode --

TEST(PiloSetText, UndoesTheExtensionsAndLeavesTheDacAsTheTextModeHadIt) {
    for (int cr32 : {0x00, 0x08}) {
        graf::Config c = boardConfig(1024, 16, 640, 480);
        c.ints["CR32"] = cr32;
        harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::PiloAdapter &a = board(s);
        graf::clearRunLog();
        EXPECT_TRUE(s.setText());
        EXPECT_TRUE(ran("SetText"));
        EXPECT_EQ(a.engine().regs().advancedFunction, 2);
        EXPECT_EQ(a.cr(0x31) & ~0xC5, 0);
        EXPECT_EQ(a.cr(0x32) & 0x40, 0);
        EXPECT_EQ(a.cr(0x34) & 0x10, 0);
        EXPECT_EQ(a.cr(0x3A) & 0x10, 0);
        EXPECT_EQ(a.cr(0x40) & 0x01, 0);
        EXPECT_EQ(a.cr(0x42) & 0x2F, 0);
        EXPECT_EQ(a.cr(0x43) & 0x0F, 0);
        EXPECT_EQ(a.cr(0x38), 0xB7);
        EXPECT_EQ(a.cr(0x39), 0x5A);
        EXPECT_EQ(a.vga().dac.mask(), cr32 ? 0x00 : 0xFF);
        EXPECT_EQ(privateOf(s).graphicsShown, 0);
    }
}

// ------------------------------------------------------------- palette --

// Every DAC write of a SetColor: index and the raw bytes.
std::vector<int> dacIndices(sim::PiloAdapter &a) {
    std::vector<int> out;
    for (const auto &w : a.vga().dac.writes())
        out.push_back(w.index);
    return out;
}

TEST(PiloSetColor, WritesOneEntryAtDepth8AndSixteenCopiesAtDepths4And16) {
    for (int depth : {4, 8, 16}) {
        harness::Screen s("pilo", smallConfig(depth), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::PiloAdapter &a = board(s);
        a.vga().dac.clearWrites();
        s.setColor(5, 0xFFFF, 0x8000, 0x0000);
        std::vector<int> want;
        if (depth == 8)
            want = {5};
        else
            for (int k = 0; k < 16; k++)
                want.push_back(5 + 16 * k);
        EXPECT_EQ(dacIndices(a), want) << "depth " << depth;
        for (const auto &w : a.vga().dac.writes())
            EXPECT_EQ(w.raw, (sim::vga::Dac::Entry{0x3F, 0x20, 0x00})) << "depth " << depth;

        // An index at or past the visual's entries changes nothing.
        a.vga().dac.clearWrites();
        s.setColor(s.screen()->visuals[0].ColormapEntries, 1, 2, 3);
        s.setColor(-1, 1, 2, 3);
        EXPECT_TRUE(a.vga().dac.writes().empty()) << "depth " << depth;
        EXPECT_EQ(a.vga().dac.mask(), 0xFF);
    }
}

TEST(PiloSetColor, ShiftsByRgbBits) {
    for (auto [bits, want] : {std::pair{8, 0xFF}, std::pair{6, 0x3F}}) {
        graf::Config c = smallConfig(8);
        c.ints["RGBBITS"] = bits;
        harness::Screen s("pilo", c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::PiloAdapter &a = board(s);
        a.vga().dac.clearWrites();
        s.setColor(200, 0xFFFF, 0x0100, 0x8000);
        ASSERT_EQ(a.vga().dac.writes().size(), 1u);
        const auto &raw = a.vga().dac.writes()[0].raw;
        EXPECT_EQ(raw.r, want);
        EXPECT_EQ(raw.g, bits == 8 ? 0x01 : 0x00);
        EXPECT_EQ(raw.b, bits == 8 ? 0x80 : 0x20);
    }
}

TEST(PiloLoadColormap, WritesEveryEntryOfTheVisual) {
    harness::Screen s("pilo", smallConfig(4), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::PiloAdapter &a = board(s);
    ColormapPtr cmap = s.defaultColormap();
    cmap->red[3].co.local = {0xFFFF, 0x0000, 0x4000};
    a.vga().dac.clearWrites();
    s.installColormap(cmap);
    EXPECT_EQ(a.vga().dac.writes().size(), 16u * 16u);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(a.vga().dac.rawEntry(3 + 16 * k), (sim::vga::Dac::Entry{0x3F, 0x00, 0x10}));
}

// A shared entry reads its colours through the shared cells; a cell that is
// not there reads as 0 rather than through a null pointer.
TEST(PiloLoadColormap, SharedEntriesAndMissingSharedCells) {
    harness::Screen s("pilo", smallConfig(8), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::PiloAdapter &a = board(s);
    ColormapPtr cmap = s.defaultColormap();
    SHAREDCOLOR red{}, blue{};
    red.color = 0xFFFF;
    blue.color = 0x8000;
    cmap->red[5].fShared = 1;
    cmap->red[5].co.shco.red = &red;
    cmap->red[5].co.shco.green = nullptr;
    cmap->red[5].co.shco.blue = &blue;
    s.installColormap(cmap);
    EXPECT_EQ(a.vga().dac.rawEntry(5), (sim::vga::Dac::Entry{0x3F, 0x00, 0x20}));
    cmap->red[5].fShared = 0;
    cmap->red[5].co.local = {0, 0, 0};
}

// ------------------------------------------------------------ blanking --

TEST(PiloBlankScreen, TurnsThePictureOffAndOnByDacMaskAndAttributeIndex) {
    for (int depth : {8, 16}) {
        harness::Screen s("pilo", smallConfig(depth), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::PiloAdapter &a = board(s);
        a.vga().crtc.setReg(0x45, 0x01);
        EXPECT_EQ(s.blankScreen(true), 1);
        EXPECT_EQ(a.vga().dac.mask(), 0x00);
        EXPECT_FALSE(a.vga().attr.screenEnabled());
        // At depth 16 the DAC mask does not hide the cursor.
        EXPECT_EQ(a.cr(0x45) & 0x01, depth == 16 ? 0 : 1);
        EXPECT_EQ(s.blankScreen(false), 1);
        EXPECT_EQ(a.vga().dac.mask(), 0xFF);
        EXPECT_TRUE(a.vga().attr.screenEnabled());
        // No cursor is shown: unblanking does not turn one on.
        EXPECT_EQ(a.cr(0x45) & 0x01, depth == 16 ? 0 : 1);
    }
}

// ------------------------------------------------------ console switch --

TEST(PiloConsoleSwitch, ComesBackClearedWithTheColormapAndAWorkingEngine) {
    harness::Screen s("pilo", smallConfig(8), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::PiloAdapter &a = board(s);
    ColormapPtr cmap = s.defaultColormap();
    cmap->red[9].co.local = {0x1234, 0x5678, 0x9ABC};
    s.installColormap(cmap);
    s.fillRandom(7);
    s.switchAway();
    EXPECT_EQ(a.engine().regs().advancedFunction, 2);
    a.vga().dac.clearWrites();
    s.switchBack();
    EXPECT_EQ(a.engine().stats().resets, 2u);
    EXPECT_EQ(a.vga().dac.writes().size(), 256u);
    EXPECT_EQ(a.vga().dac.writes()[9].index, 9);
    EXPECT_EQ(a.vga().dac.writes()[9].raw, (sim::vga::Dac::Entry{0x04, 0x15, 0x26}));
    s.mirror().bytes.assign(s.mirror().bytes.size(), 0);
    EXPECT_SCREEN_SAME(s);
    s.drawSolidRects({{3, 4, 20, 9}}, 0x5A);
    EXPECT_SCREEN_SAME(s);
}

} // namespace
