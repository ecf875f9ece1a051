// wexla's monochrome images, glyphs and text through the engine's 1-bit
// ports for GXcopy and the generic routines otherwise, and its tiles and
// opaque stipples staged below the screen, against the reference renderer.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "wexla_fixture.h"

namespace {

using namespace wexlatest;

constexpr uint32_t kClipMin = 0x180220, kClipMax = 0x180224;

// The mirror after `draw`, kept only inside `clip`, as the engine's clip
// keeps the screen.
void clipped(harness::Screen &s, const BoxRec &clip, const std::function<void()> &draw) {
    ref::Canvas before = s.mirror();
    draw();
    for (int y = 0; y < before.height; y++)
        for (int x = 0; x < before.width; x++)
            if (x >= clip.x1 && x < clip.x2 && y >= clip.y1 && y < clip.y2)
                before.put(x, y, s.mirror().get(x, y));
    s.mirror() = before;
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    return v;
}

// ---- monochrome images ----

// GXcopy in the engine: start bits inside the first byte and past it,
// widths ending inside, at and past a 32-pixel column (the last column one
// to four bytes), transparent and opaque, plane masks, some with the
// window's clip edge inside the box. Each source ends at its last row's
// last byte, so a read past it is seen.
TEST(WexlaMono, CopyImagesMatchTheRenderer) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(23);
    server::clearGenCalls();
    int k = 0;
    for (int startBit : {0, 5, 13}) {
        for (int width : {3, 24, 27, 28, 32, 33, 45, 56}) {
            for (bool opaque : {false, true}) {
                k++;
                const uint32_t mask = k % 3 == 0 ? 0x0F : 0xFF;
                const bool clip = k % 4 == 0;
                SCOPED_TRACE("start bit " + std::to_string(startBit) + ", width " +
                             std::to_string(width) + (opaque ? ", opaque" : "") +
                             (clip ? ", clipped" : ""));
                const int x1 = 64 - width - (k % 5), rows = 3;
                const int stride = (startBit + width + 7) / 8;
                const std::vector<uint8_t> bits = randomBytes(size_t(stride * rows), uint32_t(k));
                const BoxRec box = {static_cast<int16_t>(x1), static_cast<int16_t>(k % 12),
                                    static_cast<int16_t>(x1 + width),
                                    static_cast<int16_t>(k % 12 + rows)};
                const BoxRec window = {static_cast<int16_t>(x1 + 2), 0, 64, 16};
                if (clip)
                    s.setClipRegions({window});
                clipped(s, clip ? window : BoxRec{0, 0, 64, 16}, [&] {
                    if (opaque)
                        s.drawOpaqueMonoImage(box, bits, startBit, stride, 0x5A, 0x3C, GXcopy,
                                              mask);
                    else
                        s.drawMonoImage(box, bits, startBit, stride, 0x96, GXcopy, mask);
                });
                if (clip)
                    s.setClipRegions({});
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
            }
        }
    }
    EXPECT_TRUE(server::genCalls().empty());
}

// Every other alu goes to the generic routine with the caller's arguments.
TEST(WexlaMono, OtherAlusGoGenericUnchanged) {
    harness::Screen s("wexla", drawConfig(kTulipFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(29);
    const std::vector<uint8_t> bits = randomBytes(5 * 4, 9);
    for (int alu = 0; alu < 16; alu++) {
        if (alu == GXcopy)
            continue;
        SCOPED_TRACE("alu " + std::to_string(alu));
        server::clearGenCalls();
        s.drawMonoImage({10, 2, 40, 6}, bits, 3, 5, 0x71, alu, 0xF3);
        s.drawOpaqueMonoImage({20, 8, 50, 12}, bits, 3, 5, 0x71, 0x18, alu, 0xF3);
        const ref::Diff d = s.compareSettled();
        ASSERT_EQ(d.count, 0) << d.describe();
        const auto t = server::genCallsOf("genDrawMonoImage");
        const auto o = server::genCallsOf("genDrawOpaqueMonoImage");
        ASSERT_EQ(t.size(), 1u);
        ASSERT_EQ(o.size(), 1u);
        EXPECT_EQ(std::vector<uint64_t>(t[0].args.begin() + 2, t[0].args.begin() + 7),
                  std::vector<uint64_t>({3, 5, 0x71, uint64_t(alu), 0xF3}));
        EXPECT_EQ(std::vector<uint64_t>(o[0].args.begin() + 2, o[0].args.begin() + 8),
                  std::vector<uint64_t>({3, 5, 0x71, 0x18, uint64_t(alu), 0xF3}));
    }
}

// The image narrows only the clip's left edge while it runs and loads the
// window's edge again after.
TEST(WexlaMono, NarrowedClipIsRestored) {
    harness::Screen s("wexla", drawConfig(kOliveFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.setClipRegions({{4, 1, 60, 15}});
    s.machine().clearTrace();
    s.drawMonoImage({20, 3, 30, 5}, randomBytes(8, 1), 13, 4, 0x11);
    std::vector<uint32_t> clipMins;
    for (const sim::Access &a : s.machine().trace()) {
        EXPECT_FALSE(a.kind == sim::Access::MemWrite && a.address == kClipMax);
        if (a.kind == sim::Access::MemWrite && a.address == kClipMin)
            clipMins.push_back(static_cast<uint32_t>(a.value));
    }
    EXPECT_EQ(clipMins, std::vector<uint32_t>({20u << 16 | 1u, 4u << 16 | 1u}));
    EXPECT_EQ(wexlaOf(s).reg(kClipMin), 4u << 16 | 1u);
}

// ---- glyphs and text ----

TEST(WexlaMono, GlyphListsMatchTheRenderer) {
    harness::Screen s("wexla", drawConfig(kMiscFile), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(31);
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> glyphs;
    int x = 0;
    for (int width : {1, 5, 8, 9, 13, 16}) {
        const int stride = width <= 8 ? 1 : 2, height = 4 + width % 5;
        bitmaps.push_back(randomBytes(size_t(stride * height), uint32_t(width)));
        glyphs.push_back({{static_cast<int16_t>(x), 2, static_cast<int16_t>(x + width),
                           static_cast<int16_t>(2 + height)},
                          stride,
                          bitmaps.back().data(),
                          width});
        x += width + 1;
    }
    for (int alu : {GXcopy, GXxor, GXorInverted}) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        server::clearGenCalls();
        s.drawMonoGlyphs(glyphs, 0xE7, alu, 0x7F);
        const ref::Diff d = s.compareSettled();
        ASSERT_EQ(d.count, 0) << d.describe();
        EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").empty(), alu == GXcopy);
    }
}

// Narrow fonts in the engine for GXcopy; wide fonts and other alus through
// the window's own operations; opaque and transparent.
TEST(WexlaMono, FontTextMatchesTheRenderer) {
    struct Case {
        int width, height, stride;
    };
    const Case cases[] = {{6, 9, 1}, {8, 13, 3}, {12, 10, 2}, {16, 16, 4}, {20, 11, 3}};
    harness::Screen s("wexla", drawConfig(kOliveFile, 128, 40), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(37);
    int y = 0;
    for (const Case &c : cases) {
        auto font = harness::Font::padded(c.width, c.height, c.stride, 64, uint32_t(c.width));
        for (int alu : {GXcopy, GXxor, GXand}) {
            for (bool transparent : {false, true}) {
                SCOPED_TRACE("width " + std::to_string(c.width) + ", alu " + std::to_string(alu) +
                             (transparent ? ", transparent" : ""));
                server::clearGenCalls();
                const int n = 100 / c.width;
                const int top = y % (40 - c.height);
                const BoxRec box = {static_cast<int16_t>(transparent ? 3 : 0),
                                    static_cast<int16_t>(top),
                                    static_cast<int16_t>((transparent ? 3 : 0) + n * c.width),
                                    static_cast<int16_t>(top + c.height)};
                s.drawText(box, harness::textRun(n, c.width), *font, 0x6D, 0x12, alu, 0xF7,
                           transparent);
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
                if (alu == GXcopy && c.width <= 16) {
                    EXPECT_TRUE(server::genCalls().empty());
                }
                y += 7;
            }
        }
        s.closeFont(*font);
    }
}

// With the window's glyph slot the generic one, opaque text paints the
// background once over the whole box in the engine and then each glyph
// transparently.
TEST(WexlaMono, OpaqueWideTextWithAGenericGlyphSlot) {
    harness::Screen s("wexla", drawConfig(kOliveFile, 128, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(41);
    auto font = harness::Font::random(20, 12, 40, 6);
    WinOps *ops = s.winOps();
    const DrawMonoGlyphsProc own = ops->DrawMonoGlyphs;
    ops->DrawMonoGlyphs = genDrawMonoGlyphs;
    wexlaOf(s).engine().clearLog();
    s.drawText({4, 3, 104, 15}, harness::textRun(5), *font, 0x21, 0x84);
    ops->DrawMonoGlyphs = own;
    EXPECT_SCREEN_SAME(s);
    const auto &log = wexlaOf(s).engine().log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].kind, sim::WeitekEngine::Op::Rect);
    EXPECT_EQ(std::vector<int>({log[0].x1, log[0].y1, log[0].x2, log[0].y2}),
              std::vector<int>({4, 3, 104, 15}));
    for (size_t i = 1; i < log.size(); i++) {
        EXPECT_EQ(log[i].kind, sim::WeitekEngine::Op::MonoRow);
        EXPECT_EQ(log[i].raster, 0xEE22u);
    }
    s.closeFont(*font);
}

// Without memory for the glyph list, wide text still draws, a character at
// a time.
TEST(WexlaMono, WideTextWithoutMemoryDrawsCharacterByCharacter) {
    harness::Screen s("wexla", drawConfig(kOliveFile, 128, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(43);
    auto font = harness::Font::random(20, 12, 40, 6);
    server::failAllocationAfter(0);
    s.drawText({4, 3, 104, 15}, harness::textRun(5), *font, 0x21, 0x84);
    s.drawText({4, 17, 104, 29}, harness::textRun(5, 9), *font, 0x42, 0, GXcopy, ~0u, true);
    server::failAllocationAfter(-1);
    EXPECT_SCREEN_SAME(s);
    s.closeFont(*font);
}

// ---- tiles and opaque stipples ----

std::vector<uint8_t> tilePixels(int w, int h, uint32_t seed) {
    return randomBytes(size_t(w * h), seed);
}

// 160-pixel lines, room below the screen for a pattern twice over: one
// small box, boxes past the staged area under simple alus and others,
// GXinvert (not simple), origins off the boxes.
TEST(WexlaTile, TilesAndOpaqueStipplesMatchTheRenderer) {
    const std::vector<BoxRec> boxes = {
        {3, 2, 11, 9}, {20, 3, 37, 30}, {0, 0, 160, 48}, {5, 40, 155, 47}, {150, 1, 159, 46}};
    harness::Screen s("wexla", drawConfig(kOliveFile, 160, 48), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(53);
    PixmapPtr st = s.stipple({"X..X.", ".X...", "..XX.", "X...X"});
    for (int alu : {GXcopy, GXxor, GXinvert, GXcopyInverted, GXand}) {
        for (int tw : {3, 8, 21}) {
            SCOPED_TRACE("alu " + std::to_string(alu) + ", tile " + std::to_string(tw));
            server::clearGenCalls();
            s.tileRects(boxes, tilePixels(tw, 5, uint32_t(tw)), tw, tw, 5, {7, 200}, alu,
                        tw == 8 ? 0x3C : 0xFF);
            const ref::Diff d = s.compareSettled();
            ASSERT_EQ(d.count, 0) << d.describe();
            // GXinvert reads nothing of the pattern: it goes generic.
            EXPECT_EQ(server::genCallsOf("genTileRects").empty(), alu != GXinvert);
        }
        GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled,
                               .alu = alu,
                               .fg = 0x12,
                               .bg = 0xE1,
                               .stipple = st,
                               .patOrg = {3, -2}});
        s.fillRects(gc, boxes);
        const ref::Diff d = s.compareSettled();
        ASSERT_EQ(d.count, 0) << d.describe();
    }
}

// The window's clip must not cut the pattern staged off the screen, and
// the boxes are drawn under it again.
TEST(WexlaTile, StagingRightAfterASmallClip) {
    harness::Screen s("wexla", drawConfig(kOliveFile, 160, 48), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(67);
    s.setClipRegions({{0, 0, 60, 30}});
    s.tileRects({{2, 2, 20, 20}, {30, 5, 58, 28}}, tilePixels(8, 8, 11), 8, 8, 8, {0, 0}, GXxor);
    PixmapPtr st = s.stipple({"X..", ".X.", "..X"});
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 0x34, .bg = 0x21, .stipple = st});
    s.fillRects(gc, {{40, 1, 59, 4}, {1, 22, 25, 29}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(wexlaOf(s).reg(kClipMax), 59u << 16 | 29u) << "the window's clip is loaded again";
}

} // namespace
