// The gd5436 drivers' glyph lists (DrawMonoGlyphs) and 8-bit font text
// (DrawFontText, the ten-argument form), run through every build on the
// simulated adapter with the strict BitBLT model: pixels against the reference
// renderer, the staging layout and the starts the engine saw, and the
// fallbacks to the server's generic routines (for alus the expansion cannot
// do, partial plane masks, and glyphs or runs too large for the staging
// space).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gd5436_fixture.h"
#include "harness.h"
#include "models/cirrus_blt.h"
#include "models/gd5436_adapter.h"
#include "server.h"

namespace {

using namespace gd5436test;

graf::Config configFor(const Build &b, int width, int height, int pitch) {
    return gd5436Config(b, width, height, pitch);
}

uint8_t bitSwap(uint8_t v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; i++)
        if (v & (1 << i))
            r |= uint8_t(0x80 >> i);
    return r;
}

// Glyph bitmaps that outlive the call, with random bits also past each
// glyph's width and in the padding of its rows: only the box's pixels count.
struct GlyphSet {
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> glyphs;

    void add(const BoxRec &b, int padding, std::mt19937 &rng) {
        const int w = b.x2 - b.x1 > 0 ? b.x2 - b.x1 : 0, h = b.y2 - b.y1 > 0 ? b.y2 - b.y1 : 0;
        const int stride = (w + 7) / 8 + padding;
        bitmaps.emplace_back(size_t(stride) * size_t(h) + 1);
        for (uint8_t &v : bitmaps.back())
            v = uint8_t(rng());
        glyphs.push_back({b, stride, bitmaps.back().data(), int32_t(glyphs.size())});
    }
};

bool sourceless(int alu) {
    return alu == GXclear || alu == GXinvert || alu == GXset;
}

class Gd5436TextBase : public ::testing::TestWithParam<Build> {
  protected:
    void startScreen(int width, int height, int pitch) {
        w_ = width;
        h_ = height;
        s = std::make_unique<harness::Screen>(GetParam().name,
                                              configFor(GetParam(), width, height, pitch),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        server::clearGenCalls();
        blt().clearStats();
        blt().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::Gd5436Adapter &adapter() { return dynamic_cast<sim::Gd5436Adapter &>(*s->adapter()); }
    sim::CirrusBltCore &blt() { return adapter().blt(); }
    int pb() const { return GetParam().pixelBytes; }
    bool pixel24() const { return GetParam().pixelBytes == 3; }
    uint32_t offAddr() const { return uint32_t(s->pitch()) * uint32_t(h_); }
    Pixel colour(uint32_t seed) const { return testColour(seed, s->allPlanes()); }
    // The last kilobyte of video memory, where the cursor pattern lives.
    std::vector<uint8_t> cursorArea() {
        s->drain();
        const uint8_t *end = adapter().aperture() + kMemSize;
        return std::vector<uint8_t>(end - 1024, end);
    }
    // Every operation the engine ran since the log was cleared was of `kind`.
    void expectAllOf(sim::BltKind kind) {
        for (const sim::BltOp &op : blt().log())
            EXPECT_EQ(op.kind, kind) << sim::bltKindName(op.kind);
    }
    // After a batch the engine is back in single-start mode with a cleared
    // foreground.
    void expectEngineReleased() {
        EXPECT_FALSE(blt().autostart());
        EXPECT_EQ(blt().regs().fg, 0u);
    }

    std::unique_ptr<harness::Screen> s;
    int w_ = 0, h_ = 0;
};

// ---- a small screen with plenty of staging room ----

constexpr int kWidth = 96, kHeight = 64;

class Gd5436Text : public Gd5436TextBase {
  protected:
    void SetUp() override { startScreen(kWidth, kHeight, kWidth * GetParam().pixelBytes + 40); }
};

// Glyph widths 1 to 33 and some far beyond a 32-bit row, heights 1 to 23,
// padded and unpadded strides, at the screen's edges too; an empty glyph in
// the list is skipped. Every alu that reads the source is expanded by the
// engine, one start per glyph.
TEST_P(Gd5436Text, GlyphListsMatchTheRendererUnderEveryExpandedAlu) {
    std::mt19937 rng(3);
    GlyphSet set;
    std::vector<int> widths;
    for (int w = 1; w <= 33; w++)
        widths.push_back(w);
    for (int w : {40, 57, 64, kWidth})
        widths.push_back(w);
    for (size_t i = 0; i < widths.size(); i++) {
        const int w = widths[i], h = 1 + int(i % 23);
        const int x = int(rng() % uint32_t(kWidth - w + 1)),
                  y = int(rng() % uint32_t(kHeight - h + 1));
        set.add(box(x, y, x + w, y + h), int(i % 3), rng);
    }
    set.add(box(kWidth - 9, kHeight - 4, kWidth, kHeight), 0, rng); // bottom-right corner
    set.add(box(0, 0, 12, 7), 1, rng);                              // top-left corner
    set.add(box(20, 20, 20, 30), 0, rng);                           // empty
    const size_t drawn = set.glyphs.size() - 1;

    for (int alu = 0; alu < 16; alu++) {
        if (sourceless(alu))
            continue;
        SCOPED_TRACE("alu " + std::to_string(alu));
        blt().clearLog();
        s->drawMonoGlyphs(set.glyphs, colour(uint32_t(alu)), alu);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(blt().log().size(), drawn);
        expectAllOf(sim::BltKind::TransparentExpand);
        expectEngineReleased();
    }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoGlyphs").empty());
}

// Each glyph is staged at offAddr, (width + 7) / 8 bytes a row, bit-reversed,
// after the previous one has been drawn; the expansion takes the glyph's box.
TEST_P(Gd5436Text, GlyphsAreStagedOneAtATimeAtTheScratchArea) {
    std::mt19937 rng(5);
    GlyphSet set;
    set.add(box(4, 6, 14, 9), 2, rng);    // 10 wide: 2 bytes a row
    set.add(box(30, 40, 63, 45), 0, rng); // 33 wide: 5 bytes a row
    s->drawMonoGlyphs(set.glyphs, colour(1), GXxor);
    EXPECT_SCREEN_SAME(*s);

    ASSERT_EQ(blt().log().size(), 2u);
    const struct { int x, y, w, h; } want[] = {{4, 6, 10, 3}, {30, 40, 33, 5}};
    for (size_t i = 0; i < 2; i++) {
        const sim::BltOp &op = blt().log()[i];
        EXPECT_TRUE(op.autostarted);
        EXPECT_EQ(op.regs.srcAddr, offAddr());
        EXPECT_EQ(op.regs.dstAddr, uint32_t(s->pitch() * want[i].y + want[i].x * pb()));
        EXPECT_EQ(op.regs.width, want[i].w * pb() - 1);
        EXPECT_EQ(op.regs.height, want[i].h - 1);
        EXPECT_EQ(op.regs.dstPitch, s->pitch());
        EXPECT_EQ(op.regs.rop, sim::kCirrusRopCodes[GXxor]);
        EXPECT_EQ(op.regs.skip, 0);
    }
    // No glyph was started while the previous one still read the ScratchArea.
    EXPECT_EQ(blt().stats().queuedStarts, 0u);
    // The last glyph is what the ScratchArea holds.
    const MonoGlyphRec &last = set.glyphs[1];
    const uint8_t *staged = s->screenMemory() + offAddr();
    for (int r = 0; r < 5; r++)
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(staged[r * 5 + i], bitSwap(last.bits[r * last.stride + i]))
                << "row " << r << " byte " << i;
}

// Glyph widths 1 to 32 and beyond, transparent and opaque, under every alu:
// the engine's work or the generic routine's, the pixels are the renderer's.
// The expansion takes every alu that reads the source; the 3-byte builds
// draw opaque text only for GXcopy (background fill, then the characters).
TEST_P(Gd5436Text, FontTextMatchesTheRendererUnderEveryAlu) {
    const int widths[] = {1, 2, 3, 5, 7, 8, 9, 12, 15, 16, 17, 24, 31, 32, 33, 40, 47};
    std::vector<std::unique_ptr<harness::Font>> fonts;
    for (int w : widths)
        fonts.push_back(harness::Font::random(w, 3 + w % 13, 256, uint32_t(w)));
    int generic = 0;
    for (int alu = 0; alu < 16; alu++) {
        for (bool transparent : {true, false}) {
            SCOPED_TRACE("alu " + std::to_string(alu) + (transparent ? " transparent" : " opaque"));
            int y = 0;
            for (const auto &f : fonts) {
                const int count = std::min(11, kWidth / f->width);
                const int x = (kWidth - count * f->width) / 2;
                if (y + f->height > kHeight)
                    y = 0;
                s->drawText(box(x, y, x + count * f->width, y + f->height),
                            harness::textRun(count, alu), *f, colour(uint32_t(alu)),
                            colour(uint32_t(alu) + 7), alu, ~0u, transparent);
                y += f->height - 1; // runs overlap by a line
                if (sourceless(alu) || (pixel24() && !transparent && alu != GXcopy))
                    generic++;
            }
            EXPECT_SCREEN_SAME(*s);
            expectEngineReleased();
        }
    }
    EXPECT_EQ(int(server::genCallsOf("genDrawFontText").size()), generic);
}

// One expansion per character, autostarted, from consecutive 4-byte-rounded
// blocks; opaque text at 3 pixel bytes fills its background first.
TEST_P(Gd5436Text, FontTextStagesTheWholeRunAndStartsOncePerCharacter) {
    auto font = harness::Font::random(8, 13, 256, 9); // 13 bytes a glyph, blocks of 16
    const std::string run = {char(65), char(200), char(7)};
    const int x1 = 17, y1 = 21;
    for (bool transparent : {true, false}) {
        SCOPED_TRACE(transparent ? "transparent" : "opaque");
        blt().clearLog();
        s->drawText(box(x1, y1, x1 + 24, y1 + 13), run, *font, colour(1), colour(2), GXcopy, ~0u,
                    transparent);
        EXPECT_SCREEN_SAME(*s);

        std::vector<sim::BltOp> log = blt().log();
        if (pixel24() && !transparent) {
            ASSERT_FALSE(log.empty());
            const sim::BltOp &fill = log.front();
            EXPECT_EQ(fill.kind, sim::BltKind::Fill);
            EXPECT_FALSE(fill.autostarted);
            EXPECT_EQ(fill.regs.fg, colour(2));
            EXPECT_EQ(fill.regs.dstAddr, uint32_t(s->pitch() * y1 + x1 * 3));
            EXPECT_EQ(fill.regs.width, 24 * 3 - 1);
            EXPECT_EQ(fill.regs.height, 12);
            EXPECT_EQ(fill.regs.rop, sim::kCirrusRopCodes[GXcopy]);
            log.erase(log.begin());
        }
        const bool opaqueExpansion = !transparent && !pixel24();
        ASSERT_EQ(log.size(), 3u);
        for (size_t i = 0; i < 3; i++) {
            const sim::BltOp &op = log[i];
            EXPECT_EQ(op.kind,
                      opaqueExpansion ? sim::BltKind::Expand : sim::BltKind::TransparentExpand);
            EXPECT_TRUE(op.autostarted);
            EXPECT_EQ(op.regs.srcAddr, offAddr() + 16 * i);
            EXPECT_EQ(op.regs.dstAddr, uint32_t(s->pitch() * y1 + (x1 + 8 * int(i)) * pb()));
            EXPECT_EQ(op.regs.width, 8 * pb() - 1);
            EXPECT_EQ(op.regs.height, 12);
            EXPECT_EQ(op.regs.fg, colour(1));
            if (opaqueExpansion) {
                EXPECT_EQ(op.regs.bg, colour(2));
            }
        }
        // Each glyph's 13 rows, bit-reversed, at the start of its block.
        const uint8_t *staged = s->screenMemory() + offAddr();
        for (size_t i = 0; i < 3; i++)
            for (int r = 0; r < 13; r++)
                EXPECT_EQ(staged[16 * i + size_t(r)], bitSwap(font->glyphs[uint8_t(run[i])][r]))
                    << "character " << i << " row " << r;
        expectEngineReleased();
    }
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
}

// Rows that are not whole bytes and blocks that are not whole words: the
// block is rows x bytes raised to a multiple of 4, unchanged when it is one.
TEST_P(Gd5436Text, FontTextBlocksAreRoundedToWholeWords) {
    const struct {
        int width, height, block;
    } cases[] = {{10, 6, 12}, {10, 7, 16}, {17, 5, 16}, {32, 3, 12}, {33, 3, 16}, {1, 1, 4}};
    for (const auto &k : cases) {
        SCOPED_TRACE("font " + std::to_string(k.width) + " x " + std::to_string(k.height));
        auto font =
            harness::Font::random(k.width, k.height, 256, uint32_t(k.width * 100 + k.height));
        blt().clearLog();
        s->drawText(box(2, 3, 2 + 2 * k.width, 3 + k.height), harness::textRun(2, 50), *font,
                    colour(3), colour(4), GXcopy, ~0u, true);
        ASSERT_EQ(blt().log().size(), 2u);
        EXPECT_EQ(blt().log()[1].regs.srcAddr - blt().log()[0].regs.srcAddr, uint32_t(k.block));
    }
    EXPECT_SCREEN_SAME(*s);
}

// Fonts as they may come: rows padded past the glyph's bytes, codes the font
// has no glyph for (drawn blank, nothing read past the glyph table), and a
// box taller than the font (the rows below the font are blank).
TEST_P(Gd5436Text, FontTextReadsOnlyTheFontsGlyphsAndRows) {
    auto padded = harness::Font::padded(12, 9, 4, 256, 21);
    s->drawText(box(1, 1, 1 + 6 * 12, 10), harness::textRun(6, 3), *padded, colour(5), colour(6),
                GXcopy, ~0u, false);
    auto small = harness::Font::padded(9, 8, 2, 40, 22); // only codes 0 to 39
    const std::string codes = {char(3), char(39), char(40), char(200), char(255), char(0)};
    s->drawText(box(4, 20, 4 + 6 * 9, 28), codes, *small, colour(7), colour(8), GXcopy, ~0u, false);
    s->drawText(box(4, 30, 4 + 6 * 9, 30 + 14), codes, *small, colour(9), colour(10), GXcopy, ~0u,
                pixel24()); // opaque where the build expands opaquely
    small->glyphs[5] = nullptr;
    s->drawText(box(4, 50, 4 + 3 * 9, 58), {char(4), char(5), char(6)}, *small, colour(11),
                colour(12), GXcopy, ~0u, false);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
}

// A run ends at its box's right edge: characters starting past it are not
// drawn and the one it cuts is drawn only up to it, from rows staged at the
// cut width. A box wider than the run still ends at the run's last cell.
TEST_P(Gd5436Text, FontTextStopsAtTheBoxsRightEdge) {
    auto font = harness::Font::padded(17, 9, 4, 256, 31); // 3 bytes a row, random past them
    const struct {
        const char *what;
        int boxWidth;
        int starts, lastWidth; // expansions, and the last one's pixels
    } cases[] = {
        {"cuts the third cell after 5 pixels", 2 * 17 + 5, 3, 5},
        {"ends on a cell boundary", 2 * 17, 2, 17},
        {"narrower than one cell", 9, 1, 9},
        {"one pixel", 1, 1, 1},
        {"wider than the run", 6 * 17, 5, 17},
    };
    const int x1 = 3;
    int y = 0;
    for (const auto &k : cases) {
        for (bool transparent : {true, false}) {
            for (int alu : {GXcopy, GXxor}) {
                SCOPED_TRACE(std::string(k.what) + (transparent ? " transparent" : " opaque") +
                             " alu " + std::to_string(alu));
                const bool generic = pixel24() && !transparent && alu != GXcopy;
                const int top = y;
                y = (y + 5) % (kHeight - 9);
                blt().clearLog();
                s->drawText(box(x1, top, x1 + k.boxWidth, top + 9), harness::textRun(5, 11), *font,
                            colour(uint32_t(alu) + 3), colour(uint32_t(alu) + 4), alu, ~0u,
                            transparent);
                EXPECT_SCREEN_SAME(*s);
                expectEngineReleased();
                if (generic)
                    continue;
                std::vector<sim::BltOp> log = blt().log();
                if (pixel24() && !transparent) {
                    ASSERT_FALSE(log.empty());
                    const int cells = std::min(k.boxWidth, 5 * 17);
                    EXPECT_EQ(log.front().regs.width, cells * 3 - 1);
                    log.erase(log.begin());
                }
                ASSERT_EQ(int(log.size()), k.starts);
                EXPECT_EQ(log.back().regs.width, k.lastWidth * pb() - 1);
                EXPECT_EQ(log.back().regs.dstAddr,
                          uint32_t(s->pitch() * top + (x1 + (k.starts - 1) * 17) * pb()));
            }
        }
    }
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), pixel24() ? 5u : 0u);
}

// Count 0 draws nothing and leaves the engine alone.
TEST_P(Gd5436Text, CountZeroDrawsNothing) {
    auto font = harness::Font::random(8, 8, 256, 1);
    std::mt19937 rng(1);
    GlyphSet set;
    set.add(box(1, 1, 9, 9), 0, rng);
    WinOps *ops = s->winOps();
    BoxRec b = box(10, 10, 10, 18);
    uint8_t chars[] = {65, 0};
    for (bool transparent : {true, false})
        ops->text.DrawFontText(&b, chars, 0, font->priv(), colour(1), colour(2), GXcopy, ~0u,
                               transparent, s->drawable());
    ops->DrawMonoGlyphs(set.glyphs.data(), 0, colour(1), GXxor, ~0u, nullptr, s->drawable());
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(blt().stats().starts, 0u);
    EXPECT_EQ(blt().stats().registerWrites, 0u);
    EXPECT_TRUE(server::genCalls().empty());
}

// What the expansion cannot do goes to the generic routine of the slot with
// the call's own arguments, the alu and the transparent flag as their low
// bytes: the alus that do not read the source, a partial plane mask, and in
// the 3-byte builds opaque text under any alu but GXcopy.
TEST_P(Gd5436Text, WhatTheEngineCannotDrawGoesToTheGenericRoutines) {
    using server::arg;
    auto font = harness::Font::random(8, 10, 256, 4);
    std::mt19937 rng(8);
    GlyphSet set;
    set.add(box(3, 3, 13, 9), 1, rng);
    set.add(box(40, 30, 73, 40), 0, rng);
    WinOps *ops = s->winOps();
    DrawablePtr d = s->drawable();
    const uint32_t partial = s->allPlanes() & ~0x10u;
    uint8_t chars[] = {10, 20, 30, 40, 0};
    BoxRec b = box(20, 44, 52, 54);

    const struct {
        int alu;
        uint32_t planemask;
        int transparent;
        bool textGeneric, glyphsGeneric;
    } cases[] = {
        {0x100 | GXclear, ~0u, 1, true, true},   {0x100 | GXinvert, ~0u, 0, true, true},
        {0x300 | GXset, ~0u, 0x101, true, true}, {GXcopy, partial, 1, true, true},
        {GXxor, ~0u, 0x200, pixel24(), false}, // opaque: the flag's low byte is 0
        {0x400 | GXxor, ~0u, 1, false, false},   {GXcopy, ~0u, 0, false, false},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE("alu " + std::to_string(k.alu) + " transparent " +
                     std::to_string(k.transparent));
        server::clearGenCalls();
        blt().clearStats();
        const Pixel fg = colour(uint32_t(k.alu)), bg = colour(uint32_t(k.alu) + 1);
        ref::drawFontText(s->mirror(), b, chars, 4, font->info, fg, bg, k.alu & 0xF, k.planemask,
                          (k.transparent & 0xFF) != 0);
        ops->text.DrawFontText(&b, chars, 4, font->priv(), fg, bg, k.alu, k.planemask,
                               k.transparent, d);
        ref::drawMonoGlyphs(s->mirror(), set.glyphs.data(), 2, fg, k.alu & 0xF, k.planemask);
        ops->DrawMonoGlyphs(set.glyphs.data(), 2, fg, k.alu, k.planemask, font->priv(), d);
        EXPECT_SCREEN_SAME(*s);

        const auto textCalls = server::genCallsOf("genDrawFontText");
        const auto glyphs = server::genCallsOf("genDrawMonoGlyphs");
        ASSERT_EQ(textCalls.size(), k.textGeneric ? 1u : 0u);
        ASSERT_EQ(glyphs.size(), k.glyphsGeneric ? 1u : 0u);
        if (k.textGeneric) {
            EXPECT_EQ(textCalls[0].args,
                      (std::vector<uint64_t>{arg(&b), arg(chars), arg(4), arg(font->priv()),
                                             arg(fg), arg(bg), arg(k.alu & 0xFF), arg(k.planemask),
                                             arg(k.transparent & 0xFF), arg(d)}));
        }
        if (k.glyphsGeneric) {
            EXPECT_EQ(
                glyphs[0].args,
                (std::vector<uint64_t>{arg(set.glyphs.data()), arg(2), arg(fg), arg(k.alu & 0xFF),
                                       arg(k.planemask), arg(font->priv()), arg(d)}));
        }
        const uint64_t engineStarts = (k.textGeneric ? 0 : 4) + (k.glyphsGeneric ? 0 : 2) +
                                      (pixel24() && !k.textGeneric && !(k.transparent & 0xFF));
        EXPECT_EQ(blt().stats().starts, engineStarts);
    }
}

// A font the layer cannot draw as 8-bit text is the generic routine's, and
// the driver stages and draws nothing of it.
TEST_P(Gd5436Text, FontWithoutUsableText8InfoGoesToTheGenericRoutine) {
    auto font = harness::Font::random(8, 8, 256, 6);
    font->info.usable = 0;
    const ref::Canvas before = s->readScreen();
    s->drawText(box(0, 0, 16, 8), harness::textRun(2), *font, colour(1), colour(2), GXcopy, ~0u,
                true);
    EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
    EXPECT_EQ(blt().stats().starts, 0u);
    EXPECT_EQ(ref::compare(before, s->readScreen()).count, 0);
}

// ---- screens whose staging room is one kilobyte ----

// Two layouts with 1024 bytes to stage in: a ScratchArea of one 1024-byte
// line with the CursorArea on the line after it, and a ScratchArea of two
// 640-byte lines whose last 256 bytes are the CursorArea's first.
struct Tight {
    const char *name;
    int width, height, pitch;
};
const Tight kTight[] = {{"OneLine", 256, 510, 1024}, {"CursorInLastLine", 200, 816, 640}};

class Gd5436TextTight : public Gd5436TextBase {
  protected:
    void SetUp() override {
        const Tight &t = kTight[tightIndex()];
        startScreen(t.width, t.height, t.pitch);
    }
    virtual size_t tightIndex() const = 0;

    // Runs of 8 x 64 characters, 64 bytes each: 16 fill the room exactly, 17
    // do not, whatever the ScratchArea's lines would hold.
    void runsUpToTheRoom() {
        auto font = harness::Font::random(8, 64, 256, 17);
        const std::vector<uint8_t> cursor = cursorArea();
        for (bool transparent : {true, false}) {
            server::clearGenCalls();
            s->drawText(box(3, 100, 3 + 16 * 8, 164), harness::textRun(16, 1), *font, colour(1),
                        colour(2), GXcopy, ~0u, transparent);
            EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
            s->drawText(box(3, 200, 3 + 17 * 8, 264), harness::textRun(17, 2), *font, colour(3),
                        colour(4), GXcopy, ~0u, transparent);
            EXPECT_EQ(server::genCallsOf("genDrawFontText").size(), 1u);
        }
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(cursorArea(), cursor) << "staging reached the cursor pattern";
    }

    // A 64 x 128 glyph (1024 bytes) is expanded; a 72 x 128 one (1152) sends
    // its whole list to the generic routine.
    void glyphsUpToTheRoom() {
        const std::vector<uint8_t> cursor = cursorArea();
        std::mt19937 rng(12);
        GlyphSet fits, tooLarge;
        fits.add(box(5, 10, 69, 138), 0, rng);
        fits.add(box(100, 10, 110, 20), 1, rng);
        tooLarge.add(box(100, 300, 110, 310), 1, rng);
        tooLarge.add(box(5, 300, 77, 428), 0, rng);
        s->drawMonoGlyphs(fits.glyphs, colour(5), GXor);
        EXPECT_TRUE(server::genCallsOf("genDrawMonoGlyphs").empty());
        EXPECT_EQ(blt().stats().starts, 2u);
        s->drawMonoGlyphs(tooLarge.glyphs, colour(6), GXor);
        EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), 1u);
        EXPECT_EQ(blt().stats().starts, 2u);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(cursorArea(), cursor) << "staging reached the cursor pattern";
    }
};

class Gd5436TextOneLine : public Gd5436TextTight {
    size_t tightIndex() const override { return 0; }
};
class Gd5436TextCursorInLastLine : public Gd5436TextTight {
    size_t tightIndex() const override { return 1; }
};

TEST_P(Gd5436TextOneLine, RunsLargerThanTheScratchAreaGoToTheGenericRoutine) {
    runsUpToTheRoom();
}
TEST_P(Gd5436TextOneLine, GlyphsLargerThanTheScratchAreaGoToTheGenericRoutine) {
    glyphsUpToTheRoom();
}
TEST_P(Gd5436TextCursorInLastLine, RunsReachingTheCursorAreaGoToTheGenericRoutine) {
    runsUpToTheRoom();
}
TEST_P(Gd5436TextCursorInLastLine, GlyphsReachingTheCursorAreaGoToTheGenericRoutine) {
    glyphsUpToTheRoom();
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Text, ::testing::ValuesIn(kBuilds), buildName);
INSTANTIATE_TEST_SUITE_P(Builds, Gd5436TextOneLine, ::testing::ValuesIn(kBuilds), buildName);
INSTANTIATE_TEST_SUITE_P(Builds, Gd5436TextCursorInLastLine, ::testing::ValuesIn(kBuilds),
                         buildName);

} // namespace
