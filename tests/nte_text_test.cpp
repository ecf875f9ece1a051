// The nte family's text font store: how the FontArea is cut into slots on
// the planes of each depth, fonts downloaded into one plane of their cells,
// and text runs drawn from them with one plane-expanding blit per
// character, in every variant and depth. Pixels are compared with the
// reference renderer; the strict engine model reports any wait that does
// not cover its writes.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// A board of `width` x 48 whose OffScreenArea the keys give.
graf::Config offScreen(const Build &b, int width, int x, int y, int w, int h) {
    graf::Config c = exampleConfig(b);
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = 48;
    c.ints["OSX"] = x;
    c.ints["OSY"] = y;
    c.ints["OSWIDTH"] = w;
    c.ints["OSHEIGHT"] = h;
    return c;
}

bool slotTenIsGeneric(harness::Screen &s) {
    return reinterpret_cast<void *>(s.winOps()->text.DrawFontText) ==
           reinterpret_cast<void *>(genDrawFontText);
}

// ------------------------------------------------------------- the store --

struct Layout {
    const char *name;
    const char *build;
    int x, w, h;  // OffScreenArea from (x, 48)
    int slots;    // 0: no store
    int perPlane; // fonts a plane
    int scratchY; // where the ScratchArea starts
};

const Layout kLayouts[] = {
    {"1024x256 at depth 8: two fonts a plane", "skerl8", 0, 1024, 256, 16, 2, 48 + 128},
    {"1024x128 at depth 8: one a plane", "skerl8", 0, 1024, 128, 8, 1, 48 + 64},
    {"1024x256 at depth 16: capped at 16", "skerl16", 0, 1024, 256, 16, 2, 48 + 128},
    {"1024x256 at depth 24: capped at 16", "tunga24", 0, 1024, 256, 16, 2, 48 + 128},
    {"816x160: 255 cells, no store", "skerl8", 0, 816, 160, 0, 0, 48},
    {"1000 wide from 16: no partial column", "pravo8", 16, 1000, 256, 8, 1, 48 + 128},
};

TEST(NteFontStore, SlotsByPlaneAndCell) {
    for (const Layout &l : kLayouts) {
        SCOPED_TRACE(l.name);
        harness::beginCase();
        const Build &b = build(l.build);
        harness::Screen s(b.name, offScreen(b, 1024, l.x, 48, l.w, l.h),
                          {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        Private p = privateOf(s, b.variant);
        const server::ScreenState &reg = s.registered();
        EXPECT_EQ(p.fontSlotCount, l.slots);
        EXPECT_EQ(p.scratchY, l.scratchY);
        EXPECT_EQ(slotTenIsGeneric(s), l.slots == 0);
        EXPECT_EQ(reg.text8, l.slots != 0);
        if (l.slots == 0) {
            // The whole OffScreenArea is the ScratchArea.
            EXPECT_EQ(p.scratchHeight, l.h);
            s.freeScreen();
            continue;
        }
        EXPECT_EQ(reg.text8Slots, l.slots);
        EXPECT_EQ(reg.text8CellWidth, 16);
        EXPECT_EQ(reg.text8CellHeight, 16);
        const int across = l.w / 16;
        for (int k = 0; k < l.slots; k++) {
            SCOPED_TRACE("slot " + std::to_string(k));
            const FontSlot &f = fontSlot(p, k);
            EXPECT_EQ(f.planeMask, 1u << (k / l.perPlane));
            // Slot k of a plane starts at cell 256 k, row by row.
            const int first = (k % l.perPlane) * 256;
            for (int code : {0, 1, across - 1, across, 255}) {
                const int cell = first + code;
                EXPECT_EQ(f.cells[code].x, l.x + 16 * (cell % across));
                EXPECT_EQ(f.cells[code].y, 48 + 16 * (cell / across));
            }
            for (int code = 0; code < 256; code++) {
                EXPECT_LE(f.cells[code].x + 16, l.x + l.w);
                EXPECT_LE(f.cells[code].y + 16, 48 + l.h / 2);
            }
        }
        if (l.perPlane == 2) {
            EXPECT_EQ(fontSlot(p, 1).cells[0].y, 48 + 64); // (osX, osY + 64)
        }
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// A screen without the store hands the ten-argument generic text routine to
// its windows, also after a generation that had the store; the text it
// draws is the generic routine's.
TEST(NteFontStore, NoStoreInALaterGenerationIsGenericAgain) {
    const Build &b = build("pravo8");
    harness::Screen s(b.name, offScreen(b, 640, 0, 48, 640, 256),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_FALSE(slotTenIsGeneric(s));
    auto font = harness::Font::random(8, 12, 128, 3);
    EXPECT_GE(s.drawText(box(10, 4, 90, 16), harness::textRun(10), *font, 1, 2), 0);
    EXPECT_SCREEN_SAME(s);

    s.graf().ints["OSHEIGHT"] = 100; // 40 x 3 cells
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    s.syncMirror();
    EXPECT_EQ(privateOf(s, b.variant).fontSlotCount, 0);
    EXPECT_EQ(privateOf(s, b.variant).scratchHeight, 100);
    EXPECT_TRUE(slotTenIsGeneric(s));
    EXPECT_FALSE(s.registered().text8);
    server::clearGenCalls();
    auto other = harness::Font::random(8, 12, 128, 4);
    EXPECT_EQ(s.drawText(box(20, 30, 100, 42), harness::textRun(10), *other, 3, 4, GXxor), -1);
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// Two screens of one build side by side, one with the store and one
// without: each draws text through the slot its own layer calls.
TEST(NteFontStore, ScreensWithAndWithoutTheStoreSideBySide) {
    const Build &b = build("tunga8");
    harness::Screen a(b.name, offScreen(b, 640, 0, 48, 640, 256),
                      {.screenNumber = 0, .reporter = HARNESS_GTEST_REPORTER});
    harness::Screen c(b.name, offScreen(b, 640, 0, 48, 640, 100),
                      {.screenNumber = 1, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(a.start()) << a.failureText();
    ASSERT_TRUE(c.start()) << c.failureText();
    a.fillRandom(1);
    c.fillRandom(2);
    auto font = harness::Font::random(7, 11, 200, 5);
    for (int round = 0; round < 2; round++) {
        EXPECT_GE(a.drawText(box(3, 2, 73, 13), harness::textRun(10, round), *font, 5, 6), 0);
        EXPECT_EQ(c.drawText(box(9, 20, 79, 31), harness::textRun(10, round), *font, 7, 8), -1);
        EXPECT_SCREEN_SAME(a);
        EXPECT_SCREEN_SAME(c);
    }
    c.freeScreen();
    a.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// ------------------------------------------------------------- drawing --

class NteText : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        // 40 x 8 cells: one font a plane, every slot on its own plane over
        // the same cells.
        s = std::make_unique<harness::Screen>(GetParam().name,
                                              offScreen(GetParam(), 640, 0, 48, 640, 256),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(9);
        server::clearGenCalls();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    sim::S3EngineCore &engine() { return board(*s).engine(); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    void expectEngineDefaults() {
        const sim::S3Regs &r = engine().regs();
        EXPECT_EQ(r.pixelControl, 0xA000);
        EXPECT_EQ(r.readMask & s->allPlanes(), s->allPlanes());
    }

    std::unique_ptr<harness::Screen> s;
};

// Transparent and opaque runs under every alu and two plane masks, fonts of
// several widths: each character one blit, the run advancing by exactly the
// glyph width.
TEST_P(NteText, RunsUnderEveryAluTransparentAndOpaque) {
    auto narrow = harness::Font::random(5, 9, 256, 1);
    auto wide = harness::Font::random(16, 16, 256, 2);
    auto mid = harness::Font::padded(11, 14, 4, 256, 3);
    const std::vector<uint32_t> masks = {s->allPlanes(), s->allPlanes() & 0x5AF0C3u};
    uint32_t seed = 1;
    for (uint32_t pm : masks)
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            engine().clearStats();
            std::string run = harness::textRun(12, alu);
            s->drawText(box(1, 0, 61, 9), run, *narrow, colour(seed), colour(seed + 1), alu, pm,
                        alu % 2 == 0);
            s->drawText(box(100, 3, 292, 19), run, *wide, colour(seed), colour(seed + 1), alu, pm,
                        alu % 2 == 1);
            s->drawText(box(300, 30, 432, 44), run, *mid, colour(seed), colour(seed + 1), alu, pm,
                        alu % 3 == 0);
            seed += 2;
            EXPECT_SCREEN_SAME(*s);
            EXPECT_EQ(engine().stats().opsOf(sim::S3Op::Blit), 3u * 12u);
        }
    EXPECT_TRUE(server::genCalls().empty()) << "a generic routine ran";
    expectEngineDefaults();
}

// Fonts on different planes of the same cells leave each other alone; a
// later font with fewer glyphs in a slot leaves no trace of the earlier one.
TEST_P(NteText, FontsShareCellsOnTheirOwnPlanes) {
    std::vector<std::unique_ptr<harness::Font>> fonts;
    for (int i = 0; i < 3; i++)
        fonts.push_back(harness::Font::random(8, 13, 256, 10 + uint32_t(i)));
    const std::string run = harness::textRun(20, 1);
    for (int round = 0; round < 2; round++)
        for (size_t i = 0; i < fonts.size(); i++) {
            EXPECT_EQ(s->drawText(box(8 * int(i), 13 * int(i), 8 * int(i) + 160, 13 * int(i) + 13),
                                  run, *fonts[i], colour(uint32_t(i)), colour(uint32_t(i) + 7)),
                      int(i));
            EXPECT_SCREEN_SAME(*s);
        }

    // Slot 0 again, now with 40 glyphs: the codes past them draw no bits.
    auto few = harness::Font::random(8, 13, 40, 20);
    server::ScreenState &reg = s->registered();
    s->call("DownloadFont8", [&] {
        reg.downloadFont8(few->glyphs.data(), few->count, 8, 13, few->stride, 0, s->screen());
    });
    std::vector<uint8_t> chars = {0, 39, 40, 100, 255, 7};
    BoxRec b = box(200, 20, 248, 33);
    ref::drawFontText(s->mirror(), b, chars.data(), 6, few->info, colour(3), colour(4), GXcopy, ~0u,
                      false);
    s->call("DrawFontText8", [&] {
        s->winOps()->text.DrawFontText8(&b, chars.data(), 6, 8, 0, colour(3), colour(4), GXcopy,
                                        ~0u, 0, s->drawable());
    });
    EXPECT_SCREEN_SAME(*s);
    expectEngineDefaults();
}

// The download lands whole under a client clip that does not reach the
// FontArea, and the clip is there again for the text itself.
TEST_P(NteText, DownloadUnderAClientClip) {
    const BoxRec clip = box(30, 5, 90, 20);
    auto font = harness::Font::random(9, 12, 256, 30);
    s->setClipRegions({clip});
    ref::Canvas before = s->mirror();
    const BoxRec run = box(20, 6, 110, 18);
    s->drawText(run, harness::textRun(10, 3), *font, colour(1), colour(2), GXxor);
    for (int y = run.y1; y < run.y2; y++)
        for (int x = run.x1; x < run.x2; x++)
            if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2)
                s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    const sim::S3Regs &r = engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{30, 5, 89, 19}));
    // Every glyph arrived, not only those the clip would have let through.
    s->setClipRegions({});
    s->drawText(box(0, 30, 450, 42), harness::textRun(50), *font, colour(3), colour(4));
    EXPECT_SCREEN_SAME(*s);
}

// A slot the store does not have, or glyphs wider or taller than its
// cells, go to the generic routine with the arguments unchanged.
TEST_P(NteText, WhatTheCellsCannotHoldIsGeneric) {
    Private p = privateOf(*s, GetParam().variant);
    uint8_t chars[] = {1, 2, 3};
    struct Case {
        int width, slot, height;
    };
    for (const Case &c : {Case{8, p.fontSlotCount, 10}, Case{8, -1, 10}, Case{17, 0, 10},
                          Case{0, 0, 10}, Case{8, 0, 17}}) {
        BoxRec b = box(10, 10, 10 + 3 * c.width, 10 + c.height);
        server::clearGenCalls();
        s->call("DrawFontText8", [&] {
            s->winOps()->text.DrawFontText8(&b, chars, 3, c.width, c.slot, 1, 2, GXcopy, ~0u, 1,
                                            s->drawable());
        });
        std::vector<server::GenCall> calls = server::genCallsOf("genWinOp10");
        ASSERT_EQ(calls.size(), 1u);
        using server::arg;
        EXPECT_EQ(calls[0].args, (std::vector<uint64_t>{arg(&b), arg(chars), arg(3), arg(c.width),
                                                        arg(c.slot), arg(1), arg(2), arg(GXcopy),
                                                        arg(~0u), arg(1), arg(s->drawable())}));
    }
}

// A run that starts left of or above the screen, or whose box ends before
// its last cell, draws only what the box and the screen hold.
TEST_P(NteText, RunsCutAtTheEdgesAndTheBox) {
    auto font = harness::Font::random(10, 14, 256, 40);
    s->drawText(box(-7, -5, 93, 9), harness::textRun(10, 5), *font, colour(1), colour(2), GXcopy);
    s->drawText(box(50, 20, 95, 34), harness::textRun(10, 6), *font, colour(3), colour(4), GXxor);
    s->drawText(box(600, 30, 640, 44), harness::textRun(4, 7), *font, colour(5), colour(6), GXcopy,
                ~0u, true);
    EXPECT_SCREEN_SAME(*s);
    expectEngineDefaults();
}

INSTANTIATE_TEST_SUITE_P(Builds, NteText, testing::ValuesIn(kBuilds), buildName);

// DownloadFont8 takes at most 256 glyphs and draws nothing beyond the
// 16 x 16 cell: glyphs 20 x 20 leave the next cells' plane as the cell's
// own glyph says.
TEST(NteDownload, AtMost256GlyphsAndNothingBeyondTheCell) {
    for (const char *name : {"pravo8", "skerl24"}) {
        SCOPED_TRACE(name);
        harness::beginCase();
        const Build &b = build(name);
        harness::Screen s(b.name, offScreen(b, 640, 0, 48, 640, 256),
                          {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        auto big = harness::Font::padded(20, 20, 4, 256, 50);
        // 300 glyph pointers: the last 44 must not be read.
        std::vector<uint8_t *> glyphs(big->glyphs.begin(), big->glyphs.end());
        glyphs.resize(300, nullptr);
        const int slot = 1;
        s.call("DownloadFont8", [&] {
            s.registered().downloadFont8(glyphs.data(), 300, 20, 20, big->stride, slot, s.screen());
        });
        s.drain();
        Private p = privateOf(s, b.variant);
        const FontSlot &f = fontSlot(p, slot);
        for (int code : {0, 1, 38, 39, 40, 255}) {
            SCOPED_TRACE("code " + std::to_string(code));
            const uint8_t *g = big->glyphs[size_t(code)];
            int wrong = 0;
            for (int y = 0; y < 16; y++)
                for (int x = 0; x < 16; x++) {
                    bool bit = (g[y * big->stride + x / 8] >> (x % 8)) & 1;
                    bool plane =
                        vramPixel(s, f.cells[code].x + x, f.cells[code].y + y) & f.planeMask;
                    wrong += bit != plane;
                }
            EXPECT_EQ(wrong, 0);
        }
        s.freeScreen();
    }
}

} // namespace
