// Glyphs and font text of the gd6 drivers against the reference renderer:
// tolva8's glyphs and fast text written by the processor in the chip's
// colour-expansion write mode, the general text path that stages the glyph
// bits and lets the engine expand them (tolva16's slot, tolva8's fallback),
// and the slow path that draws each character as a monochrome image; the
// fallbacks to the server's routines and a count of 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "gd6_fixture.h"
#include "harness.h"
#include "models/gd6_adapter.h"

namespace {

using namespace gd6test;

// Glyph bitmaps that outlive the call, with random bits also past each
// glyph's width and in the padding of its rows: only the box's pixels count.
struct GlyphSet {
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> glyphs;

    void add(const BoxRec &b, int padding, std::mt19937 &rng) {
        const int w = b.x2 - b.x1, h = b.y2 - b.y1;
        const int stride = (w + 7) / 8 + padding;
        bitmaps.emplace_back(size_t(stride) * size_t(h) + 1);
        for (uint8_t &v : bitmaps.back())
            v = uint8_t(rng());
        glyphs.push_back({b, stride, bitmaps.back().data(), int32_t(glyphs.size())});
    }
};

// A font whose glyph rows carry random bits past the glyph's width, and
// characters without a bitmap: every code 3 mod 7, and the codes from 240 on
// past the font's count. Opaque text draws their cells in the background.
std::unique_ptr<harness::Font> noisyFont(int width, int height, uint32_t seed) {
    auto f = harness::Font::random(width, height, 256, seed);
    std::mt19937 rng(seed + 1);
    if (width % 8)
        for (auto &bm : f->bitmaps)
            for (int y = 0; y < height; y++)
                bm[size_t(y * f->stride + f->stride - 1)] |= uint8_t(rng() << (width % 8));
    for (size_t c = 3; c < f->glyphs.size(); c += 7)
        f->glyphs[c] = nullptr;
    f->info.nglyphs = 240;
    return f;
}

// The smallest tolva8 mode with 16 KB banks: 1024 x 1024 bytes, on the
// large-mode example's 2 MB board.
const Build kTolva8Large = {"tolva8large", "tolva8", "cirrus/gd6/tolva16-large.graf"};

graf::Config configOf(const Build &b) {
    graf::Config cfg = harness::loadConfig(b.config);
    if (std::string(b.name) == kTolva8Large.name) {
        cfg.ints["DEPTH"] = 8;
        cfg.ints["PIXWIDTH"] = 1024;
        cfg.ints["PIXHEIGHT"] = 1024;
        cfg.ints["PIXBYTES"] = 1024;
        cfg.ints["WINDOWADDR"] = 0x100000;
    }
    return cfg;
}

bool isTolva8(const Build &b) {
    return std::string(b.driver) == "tolva8";
}

const Build kTextBuilds[] = {kBuilds[0], kBuilds[1], kBuilds[2], kTolva8Large};
const Build kTolva8Builds[] = {kTolva8, kTolva8Large};

class Gd6TextBase {
  protected:
    void start(const Build &b, int windowSize = 0, bool gd5434 = false) {
        graf::Config cfg = configOf(b);
        if (windowSize)
            cfg.ints["WINDOWSIZE"] = windowSize;
        if (gd5434)
            cfg.ints["GD5434"] = 1;
        s = std::make_unique<harness::Screen>(b.driver, cfg,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(31);
        server::clearGenCalls();
        gd6()->blt().clearLog();
    }
    sim::Gd6Adapter *gd6() const { return dynamic_cast<sim::Gd6Adapter *>(s->adapter()); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u >> 9) & s->allPlanes(); }
    size_t expansions() const {
        size_t n = 0;
        for (const auto &op : gd6()->blt().log())
            n += op.kind == sim::BltKind::Expand || op.kind == sim::BltKind::TransparentExpand;
        return n;
    }
    // Runs of each width, opaque and transparent, under `alu`, from line
    // `top` down (about 150 lines).
    void drawRuns(int alu, uint32_t planemask = ~0u, int top = 3) {
        const int widths[] = {5, 8, 9, 12, 16, 17};
        int y = top;
        for (int w : widths) {
            auto font = noisyFont(w, 4 + w % 11, uint32_t(w));
            for (bool transparent : {false, true}) {
                SCOPED_TRACE("width " + std::to_string(w) +
                             (transparent ? ", transparent" : ", opaque"));
                const int x = 3 + (y * 5) % 13, count = 1 + (w + y) % 9;
                s->drawText(
                    {int16_t(x), int16_t(y), int16_t(x + count * w), int16_t(y + font->height)},
                    harness::textRun(count, w + y), *font, colour(uint32_t(y)),
                    colour(uint32_t(y + 1)), alu, planemask, transparent);
                EXPECT_SCREEN_SAME(*s);
                y += font->height + 2;
            }
        }
    }
    std::unique_ptr<harness::Screen> s;
    virtual const Build &build() const = 0;
    void start(int windowSize = 0, bool gd5434 = false) { start(build(), windowSize, gd5434); }
    virtual ~Gd6TextBase() = default;
};

class Gd6Text : public Gd6TextBase, public ::testing::TestWithParam<Build> {
  protected:
    const Build &build() const override { return GetParam(); }
};

// tolva8 in a small and a large mode: the processor's expansion windows are
// banked by the mode's granularity.
class Gd6Glyphs : public Gd6TextBase, public ::testing::TestWithParam<Build> {
  protected:
    const Build &build() const override { return GetParam(); }
};

// A fixture for cases of one build.
class Gd6TextOne : public Gd6TextBase, public ::testing::Test {
  protected:
    const Build &build() const override { return kTolva8; }
};

// ---- glyphs (tolva8) ----

// Lines where the processor reaches the glyphs: near the top, and near the
// bottom where the expansion window's bank is far from 0. (In the large mode
// an expansion window starts every 128 lines and the driver draws only what
// lies within the window's 64 KB of it.)
int nearTop() {
    return 8;
}
int nearBottom(const harness::Screen &s) {
    return s.height() - 124;
}

TEST_P(Gd6Glyphs, GlyphsAtEveryOffsetInsideAByte) {
    start();
    std::mt19937 rng(5);
    for (int top : {nearTop(), nearBottom(*s)}) {
        SCOPED_TRACE(top);
        GlyphSet set;
        for (int i = 0; i < 40; i++) {
            const int w = 1 + i % 19, h = 1 + i % 13;
            const int x = 8 * i + i % 8, y = top + (i * 7) % 30;
            set.add({int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + h)}, i % 3, rng);
        }
        s->drawMonoGlyphs(set.glyphs, colour(3));
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoGlyphs").empty());
    EXPECT_EQ(expansions(), 0u);
}

// A glyph at a pixel offset of 3 inside its byte writes one more byte per
// row than its width needs.
TEST_F(Gd6TextOne, GlyphInsideAByteTakesOneMoreBytePerRow) {
    start(kTolva8);
    std::mt19937 rng(6);
    struct Case {
        int x, w;
        uint64_t bytes;
    };
    for (Case c : {Case{16, 8, 4}, Case{19, 8, 8}, Case{24, 13, 8}, Case{27, 13, 12}}) {
        GlyphSet set;
        set.add({int16_t(c.x), 30, int16_t(c.x + c.w), 34}, 0, rng);
        uint64_t before = gd6()->expandedBytes();
        s->drawMonoGlyphs(set.glyphs, colour(uint32_t(c.x)));
        EXPECT_EQ(gd6()->expandedBytes() - before, c.bytes) << "x " << c.x << ", width " << c.w;
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(Gd6TextOne, GlyphsTheProcessorCannotDrawGoToTheGenericRoutine) {
    start(kTolva8);
    std::mt19937 rng(7);
    GlyphSet near, far;
    near.add({10, 10, 18, 20}, 0, rng);
    // 0 .. 100 lines apart: beyond the 64 KB window at 1024 bytes a line.
    far.add({10, 10, 18, 20}, 0, rng);
    far.add({10, 100, 18, 110}, 0, rng);
    s->drawMonoGlyphs(near.glyphs, colour(1), GXxor);
    s->drawMonoGlyphs(near.glyphs, colour(2), GXcopy, 0x7F);
    s->drawMonoGlyphs(far.glyphs, colour(3));
    EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), 3u);
    s->drawMonoGlyphs(near.glyphs, colour(4));
    EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), 3u);
    EXPECT_SCREEN_SAME(*s);
}

TEST_F(Gd6TextOne, Tolva16LeavesGlyphsToTheServer) {
    start(kBuilds[1]);
    std::mt19937 rng(8);
    GlyphSet set;
    set.add({10, 10, 18, 20}, 0, rng);
    s->drawMonoGlyphs(set.glyphs, colour(1));
    EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").size(), 1u);
    EXPECT_SCREEN_SAME(*s);
}

// ---- the three text paths ----

// tolva8 with GXcopy: the fast path, processor expansion only (the opaque
// background is one pattern fill per run), near the top and the bottom. The
// first fill after Init is in the all-ones background.
TEST_P(Gd6Glyphs, FastTextByTheProcessor) {
    start();
    auto font = noisyFont(8, 10, 9);
    for (int top : {nearTop(), nearBottom(*s)}) {
        for (int transparent : {0, 1}) {
            const int y = top + 12 * transparent;
            s->drawText({41, int16_t(y), 41 + 9 * 8, int16_t(y + 10)}, harness::textRun(9, 5),
                        *font, colour(uint32_t(y)), ~Pixel(0), GXcopy, ~0u, transparent);
            EXPECT_SCREEN_SAME(*s);
        }
    }
    EXPECT_EQ(expansions(), 0u);
    EXPECT_GT(gd6()->expandedBytes(), 0u);
    // Every width; what the processor cannot reach goes the general way.
    drawRuns(GXcopy);
    drawRuns(GXcopy, ~0u, s->height() - 150);
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
}

// tolva16 always, tolva8 for other alus: the glyph bits staged, one engine
// expansion per character.
TEST_P(Gd6Text, GeneralTextByTheEngine) {
    start();
    for (int alu : {GXcopy, GXxor, GXand, GXequiv}) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        if (isTolva8(GetParam()) && alu == GXcopy)
            continue;
        gd6()->blt().clearLog();
        auto font = noisyFont(10, 12, 4);
        s->drawText({5, 40, 5 + 7 * 10, 52}, harness::textRun(7, 1), *font, colour(1), colour(2),
                    alu, ~0u, false);
        s->drawText({5, 60, 5 + 7 * 10, 72}, harness::textRun(7, 2), *font, colour(3), colour(4),
                    alu, ~0u, true);
        EXPECT_EQ(expansions(), 14u);
        drawRuns(alu);
    }
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
}

// When the staged glyphs would not fit the window, with GD5434 set, or with
// a partial plane mask: each character a monochrome image of its own.
TEST_P(Gd6Text, SlowTextCharacterByCharacter) {
    struct Case {
        const char *what;
        int windowSize;
        bool gd5434;
        uint32_t planemask;
        bool generic; // the monochrome images themselves go to the server
    };
    const Case cases[] = {
        {"small window", 64, false, ~0u, false},
        {"GD5434", 0, true, ~0u, false},
        {"partial plane mask", 0, false, 0x3C, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start(c.windowSize, c.gd5434);
        auto font = noisyFont(9, 10, 12);
        // Codes that all have bitmaps.
        s->drawText({3, 3, 3 + 5 * 9, 13}, harness::textRun(5, 0), *font, colour(1), colour(2),
                    GXxor, c.planemask, false);
        s->drawText({3, 20, 3 + 5 * 9, 30}, harness::textRun(5, 5), *font, colour(3), colour(4),
                    GXxor, c.planemask, true);
        EXPECT_SCREEN_SAME(*s);
        if (c.generic) {
            EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), 5u);
            EXPECT_EQ(server::genCallsOf("genDrawMonoImage").size(), 5u);
        } else {
            // Each character staged alone, at the window's origin; the
            // general path stages a run glyph after glyph.
            const uint32_t window = uint32_t(s->graf().ints.at("WINDOWADDR"));
            size_t fromOrigin = 0;
            for (const auto &op : gd6()->blt().log())
                fromOrigin += op.kind != sim::BltKind::CopyForward && op.regs.srcAddr == window;
            EXPECT_EQ(expansions(), 10u);
            EXPECT_EQ(fromOrigin, 10u);
        }
        // Characters without a bitmap: opaque, their cells in the background.
        const std::string missing = {char(3), char(40), char(250), char(10)};
        for (int transparent : {0, 1}) {
            s->drawText({3, 40, 3 + 4 * 9, 50}, missing, *font, colour(5), colour(6), GXxor,
                        c.planemask, transparent);
            EXPECT_SCREEN_SAME(*s);
        }
        // A box taller than the glyphs: the rows below them hold no glyph
        // bits (none may be read past the bitmaps), only background.
        for (int transparent : {0, 1}) {
            s->drawText({3, 55, 3 + 5 * 9, 71}, harness::textRun(5, 2), *font, colour(7), colour(8),
                        GXxor, c.planemask, transparent);
            EXPECT_SCREEN_SAME(*s);
        }
        drawRuns(GXor, c.planemask);
        EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
        s.reset();
    }
}

// A box narrower than its characters ends the text at its right edge: four
// 8-pixel glyphs in 20 pixels, one glyph in 5, on the engine's path and on
// the character-by-character one (a partial plane mask), opaque and
// transparent.
TEST_P(Gd6Text, TextStopsAtTheBoxRightEdge) {
    start();
    auto font = noisyFont(8, 10, 7);
    struct Case {
        int chars, width;
    };
    int y = 3;
    for (uint32_t planemask : {~0u, 0x3Cu})
        for (Case c : {Case{4, 20}, Case{1, 5}, Case{3, 16}})
            for (bool transparent : {false, true}) {
                SCOPED_TRACE(std::to_string(c.chars) + " in " + std::to_string(c.width) +
                             (planemask == ~0u ? "" : ", plane mask") +
                             (transparent ? ", transparent" : ", opaque"));
                s->drawText({7, int16_t(y), int16_t(7 + c.width), int16_t(y + 10)},
                            harness::textRun(c.chars, 3), *font, colour(1), colour(2), GXxor,
                            planemask, transparent);
                EXPECT_SCREEN_SAME(*s);
                y += 12;
            }
    EXPECT_TRUE(server::genCallsOf("genDrawFontText").empty());
}

// Called with no characters, or a negative count, every path draws nothing.
TEST_P(Gd6Text, CountOfZeroOrLessDrawsNothing) {
    for (bool gd5434 : {false, true}) {
        start(0, gd5434);
        auto font = noisyFont(8, 8, 1);
        uint8_t chars[4] = {1, 2, 3, 4};
        BoxRec box = {10, 10, 42, 18};
        for (int count : {0, -1, -100})
            for (int transparent : {0, 1})
                for (int alu : {GXcopy, GXxor}) {
                    bool ok = s->call("DrawFontText", [&] {
                        s->winOps()->text.DrawFontText(&box, chars, count, font->priv(), 1, 2, alu,
                                                       ~0u, transparent, s->drawable());
                    });
                    EXPECT_TRUE(ok);
                }
        EXPECT_TRUE(gd6()->blt().log().empty());
        EXPECT_SCREEN_SAME(*s);
        s.reset();
    }
}

// A fixed-seed run of random requests of every kind the staging area serves
// here (monochrome images, tiles, stipples, glyphs, text) between solid
// fills, with the screen compared after each; a small window makes the
// staged paths slice and fall back.
TEST_P(Gd6Text, RandomMixOfStagedRequests) {
    for (int windowSize : {0, 0x1000}) {
        SCOPED_TRACE(windowSize);
        start(windowSize);
        std::mt19937 rng(4321 + unsigned(windowSize));
        const int w = s->width(), h = s->height(), bpp = s->bytesPerPixel();
        auto coord = [&](int limit) { return int(rng() % unsigned(limit)); };
        auto box = [&](int maxW, int maxH) {
            int x1 = coord(w), y1 = coord(h);
            int x2 = std::min(w, x1 + 1 + coord(maxW)), y2 = std::min(h, y1 + 1 + coord(maxH));
            return BoxRec{short(x1), short(y1), short(x2), short(y2)};
        };
        auto bytes = [&](size_t n) {
            std::vector<uint8_t> v(n);
            for (auto &b : v)
                b = uint8_t(rng());
            return v;
        };
        auto fonts = std::vector<std::unique_ptr<harness::Font>>();
        for (int fw : {6, 8, 11})
            fonts.push_back(noisyFont(fw, 7 + fw % 5, uint32_t(fw)));
        for (int i = 0; i < 80; i++) {
            SCOPED_TRACE(i);
            const int alu = int(rng() % 16);
            const Pixel fg = colour(rng()), bg = colour(rng());
            switch (rng() % 6) {
            case 0: {
                BoxRec b = box(200, 80);
                int startBit = coord(16), bw = b.x2 - b.x1, bh = b.y2 - b.y1;
                int stride = (startBit + bw + 7) / 8 + coord(3);
                auto bits = bytes(size_t(stride * bh));
                if (rng() % 2)
                    s->drawMonoImage(b, bits, startBit, stride, fg, alu);
                else
                    s->drawOpaqueMonoImage(b, bits, startBit, stride, fg, bg, alu);
                break;
            }
            case 1: {
                int tw = 1 + coord(40), th = 1 + coord(24), stride = tw * bpp + coord(4);
                DDXPointRec org = {short(coord(200) - 100), short(coord(200) - 100)};
                s->tileRects({box(400, 300), box(60, 60)}, bytes(size_t(stride * th)), stride, tw,
                             th, org, alu);
                break;
            }
            case 2: {
                int tw = 1 + coord(40), th = 1 + coord(24);
                std::vector<std::string> rows(size_t(th), std::string(size_t(tw), '.'));
                for (auto &r : rows)
                    for (auto &c : r)
                        c = rng() % 2 ? 'X' : '.';
                GCPtr gc = s->createGC({.fillStyle = rng() % 2 ? FillStippled : FillOpaqueStippled,
                                        .alu = alu,
                                        .fg = fg,
                                        .bg = bg,
                                        .stipple = s->stipple(rows),
                                        .patOrg = {short(coord(64) - 32), short(coord(64) - 32)}});
                s->fillRects(gc, {box(500, 300), box(40, 40)});
                break;
            }
            case 3: {
                GlyphSet set;
                int x = coord(w - 200), y = coord(h - 40);
                for (int k = 0; k < 5; k++) {
                    int gw = 1 + coord(20), gh = 1 + coord(30);
                    set.add({short(x), short(y), short(x + gw), short(y + gh)}, coord(2), rng);
                    x += gw + coord(4);
                }
                s->drawMonoGlyphs(set.glyphs, fg, rng() % 3 ? GXcopy : alu);
                break;
            }
            case 4: {
                const harness::Font &f = *fonts[rng() % fonts.size()];
                int count = 1 + coord(20);
                int x = coord(w - count * f.width), y = coord(h - f.height);
                s->drawText({short(x), short(y), short(x + count * f.width), short(y + f.height)},
                            harness::textRun(count, coord(256)), f, fg, bg,
                            rng() % 2 ? GXcopy : alu, ~0u, rng() % 2);
                break;
            }
            case 5:
                s->drawSolidRects({box(100, 100)}, fg, alu);
                break;
            }
            EXPECT_SCREEN_SAME(*s);
            if (HasFailure())
                return;
        }
        s.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Text, ::testing::ValuesIn(kTextBuilds), buildName);
INSTANTIATE_TEST_SUITE_P(Builds, Gd6Glyphs, ::testing::ValuesIn(kTolva8Builds), buildName);

} // namespace
