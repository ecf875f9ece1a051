// dulmo's images, the banked window, monochrome images and glyphs, and the
// off-screen glyph cache, against the reference renderer and the board's
// registers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dulmo_fixture.h"

namespace {

using namespace dulmotest;

constexpr int kW = 96, kH = 40;

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

int countGr(const sim::Machine &m, int index, int value) {
    int n = 0;
    for (int v : grWrites(m, index))
        n += v == value;
    return n;
}

// ---- images ----

TEST(DulmoImages, DrawAndReadEveryAluMaskAndAlignment) {
    for (const char *file : {kFlatFile, kBankFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        auto s = startScreen(sized(file, kW, kH));
        s->fillRandom(11);
        int i = 0;
        for (int alu = 0; alu < 16; alu++)
            for (uint32_t mask : {0xFFu, 0x0Fu}) {
                int x = (i * 7) % 80, y = (i * 3) % 34, w = 1 + i % 13, h = 1 + i % 5;
                std::vector<uint8_t> px = randomBytes(size_t(w + 3) * size_t(h), uint32_t(i));
                s->drawImage(box(x, y, x + w, y + h), px, w + 3, alu, mask);
                i++;
            }
        EXPECT_SCREEN_SAME(*s);
        for (int x = 0; x < 8; x++)
            for (int w : {1, 2, 3, 4, 5, 9, 17}) {
                BoxRec b = box(x, 3 + w, x + w, 5 + w);
                EXPECT_EQ(s->readImage(b, w + 2), s->expectedImage(b, w + 2)) << x << " " << w;
            }
    }
}

TEST(DulmoImages, XorUnderMask0FChangesOnlyTheLowBits) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    s->fillRandom(2);
    std::vector<uint8_t> before = s->readImage(box(0, 0, 16, 4));
    s->drawImage(box(0, 0, 16, 4), std::vector<uint8_t>(64, 0xFF), 16, GXxor, 0x0F);
    std::vector<uint8_t> after = s->readImage(box(0, 0, 16, 4));
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_EQ(after[i], uint8_t(before[i] ^ 0x0F));
    EXPECT_SCREEN_SAME(*s);
}

// ---- the banked window ----

TEST(DulmoBank, PageRegistersChangeOnlyAtABankBoundary) {
    // 64 lines of 1024 bytes a bank in 4 KB page units; 32 lines of 2048
    // bytes on the 1280-wide set-up in 16 KB units. (The 1280-wide screen
    // at other depths, lines of 1024 bytes, is refused on a banked board:
    // its lines would run past the window.)
    struct Case {
        const char *name;
        int width, unit, y1, y2;
        int low, high;
    } cases[] = {{"Pitch1024", 1024, 4096, 60, 70, 0x10, 0x18},
                 {"Width1280", 1280, 16384, 28, 38, 0x04, 0x06}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        graf::Config cfg = sized(kBankFile, c.width, 80);
        cfg.ints["BANK_UNIT"] = c.unit;
        auto s = startScreen(cfg);
        s->machine().clearTrace();
        (void)s->readImage(box(4, c.y1, 20, c.y2));
        EXPECT_EQ(grWrites(s->machine(), 0x45), (std::vector<int>{0, c.low}));
        EXPECT_EQ(grWrites(s->machine(), 0x46), (std::vector<int>{c.low / 2, c.high}));
        // Still in the second bank: no page register written.
        s->machine().clearTrace();
        (void)s->readImage(box(4, c.y2 - 4, 20, c.y2));
        EXPECT_TRUE(grWrites(s->machine(), 0x45).empty());
        s->fillRandom(3);
        s->drawImage(box(1000, 20, 1024, 50), randomBytes(24 * 30, 4), 24, GXxor, 0x3C);
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST(DulmoBank, RestoreGStateForgetsTheBank) {
    auto s = startScreen(sized(kBankFile, kW, kH));
    s->drawPoints({{3, 3}}, 7);
    s->machine().clearTrace();
    s->drawPoints({{4, 4}}, 7);
    EXPECT_TRUE(grWrites(s->machine(), 0x45).empty());
    s->switchAway();
    s->switchBack();
    s->machine().clearTrace();
    s->drawPoints({{5, 5}}, 7);
    EXPECT_EQ(grWrites(s->machine(), 0x45), (std::vector<int>{0}));
    EXPECT_EQ(grWrites(s->machine(), 0x46), (std::vector<int>{8}));
    s->syncMirror();
}

TEST(DulmoBank, ImagesAndPointsAcrossBanks) {
    auto s = startScreen(sized(kBankFile, 256, 200));
    s->fillRandom(6);
    std::vector<uint8_t> px = randomBytes(size_t(200) * 150, 3);
    s->drawImage(box(7, 20, 207, 170), px, 200, GXxor, 0xF3);
    s->drawPoints({{0, 63}, {1, 64}, {255, 127}, {2, 128}, {3, 199}, {4, 0}}, 0x81, GXor, 0x7F);
    EXPECT_SCREEN_SAME(*s);
    BoxRec b = box(3, 50, 250, 140);
    EXPECT_EQ(s->readImage(b), s->expectedImage(b));
}

// ---- monochrome images ----

TEST(DulmoMono, TransparentAndOpaqueEveryAluAndStartBit) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    s->fillRandom(7);
    std::vector<uint8_t> bits = randomBytes(8 * 12, 1);
    int i = 0;
    for (int alu = 0; alu < 16; alu++)
        for (int startBit : {0, 3, 13, 21}) {
            int x = (i * 5) % 70, y = (i * 3) % 28, w = 1 + (i * 7) % 23;
            BoxRec b = box(x, y, x + w, y + 11);
            if (i % 2)
                s->drawOpaqueMonoImage(b, bits, startBit, 8, Pixel(0x10 + alu), 0xE1, alu,
                                       alu % 3 ? 0xFFu : 0x3Cu);
            else
                s->drawMonoImage(b, bits, startBit, 8, Pixel(0x10 + alu), alu,
                                 alu % 3 ? 0xFFu : 0x3Cu);
            i++;
        }
    EXPECT_SCREEN_SAME(*s);
}

// An empty box starts no operation, so the bytes its start bits would take
// never reach video memory as plain writes.
TEST(DulmoMono, EmptyBoxesTouchNothing) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    s->fillRandom(3);
    std::vector<uint8_t> bits = randomBytes(4 * 3, 5);
    for (BoxRec b : {box(10, 10, 10, 13), box(10, 10, 16, 10)}) {
        s->drawOpaqueMonoImage(b, bits, 3, 4, 0x55, 0x90, GXcopy, 0xFF);
        s->drawMonoImage(b, bits, 13, 4, 0x55);
    }
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoMono, StartBit13Width6SendsTwoBytesARowFromBit5) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    std::vector<uint8_t> bits = randomBytes(4 * 3, 9);
    s->machine().clearTrace();
    s->drawMonoImage(box(10, 10, 16, 13), bits, 13, 4, 0x55);
    int dataBytes = 0, offset = -1;
    for (const sim::Access &a : s->machine().trace()) {
        if (a.kind == sim::Access::MemWrite) {
            EXPECT_EQ(a.width, 1);
            EXPECT_EQ(a.address, 0u);
            dataBytes++;
        }
        if (a.kind == sim::Access::PortOut && a.address == 0x63C0)
            offset = int(a.value);
    }
    EXPECT_EQ(offset, 5);
    EXPECT_EQ(dataBytes, 6);
    EXPECT_SCREEN_SAME(*s);
}

// ---- glyphs ----

std::vector<MonoGlyphRec> glyphRun(const harness::Font &f, int count, int first, int x0, int y0) {
    std::vector<MonoGlyphRec> g;
    for (int i = 0; i < count; i++) {
        int code = (first + i) % f.count;
        int x = x0 + (i * f.width) % (kW - f.width), y = y0 + ((i * f.width) / (kW - f.width)) % 4;
        g.push_back({box(x, y, x + f.width, y + f.height), f.stride, f.glyphs[size_t(code)], code});
    }
    return g;
}

TEST(DulmoGlyphs, UncachedGlyphsEveryAlu) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    s->fillRandom(4);
    auto f = harness::Font::padded(9, 13, 4, 40, 5);
    for (int alu = 0; alu < 16; alu++)
        s->drawMonoGlyphs(glyphRun(*f, 6, alu, alu * 3, alu % 20), Pixel(0x30 + alu), alu,
                          alu % 2 ? 0xFFu : 0xC3u, f->priv());
    EXPECT_SCREEN_SAME(*s);
}

TEST(DulmoGlyphs, NarrowStridesSendTheBytesARowCovers) {
    auto s = startScreen(sized(kFlatFile, kW, kH));
    // Five pixels wide in rows of 2 bytes: one byte a row reaches the board.
    auto f = harness::Font::padded(5, 7, 2, 10, 8);
    s->drawMonoGlyphs(glyphRun(*f, 10, 0, 0, 0), 0x44, GXcopy, 0xFF, f->priv());
    EXPECT_SCREEN_SAME(*s);
}

struct CacheScreen {
    std::unique_ptr<harness::Screen> s;
    CacheScreen() {
        s = startScreen(sized(kCacheFile, kW, kH));
        s->fillRandom(12);
    }
    int loads() const { return countGr(s->machine(), 0x5A, 0x04); }
    int flushes() const {
        int n = 0;
        for (const PortAccess &a : portAccesses(s->machine()))
            n += a.write && a.port == 0x23CA;
        return n;
    }
    int uncached() const { return countGr(s->machine(), 0x5A, 0x50); }
};

TEST(DulmoGlyphCache, CachedTextDrawsAsTheSameTextUncached) {
    CacheScreen c;
    auto f = harness::Font::padded(11, 15, 4, 30, 2);
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*f, 12, 0, 1, 2), 0x6A, GXxor, 0xFF, f->priv());
    EXPECT_EQ(c.loads(), 12);
    EXPECT_EQ(c.flushes(), 1);
    EXPECT_SCREEN_SAME(*c.s);
    // Again, elsewhere: every glyph comes from the cache.
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*f, 12, 0, 5, 20), 0x17, GXcopy, 0x7F, f->priv());
    EXPECT_EQ(c.loads(), 0);
    EXPECT_EQ(c.flushes(), 1);
    EXPECT_SCREEN_SAME(*c.s);
    // A copy after the batch rewrites the glyph state first.
    EXPECT_EQ(privateOf(*c.s).gr10Pending, 1);
    c.s->copyRect(box(0, 30, 20, 35), {40, 30});
    EXPECT_EQ(privateOf(*c.s).gr10Pending, 0);
    EXPECT_SCREEN_SAME(*c.s);
}

TEST(DulmoGlyphCache, GlyphsTooLargeOrEmptyGoUncachedMidBatch) {
    CacheScreen c;
    auto small = harness::Font::padded(8, 10, 4, 4, 3);
    auto tall = harness::Font::padded(6, 33, 4, 1, 4);
    auto wide = harness::Font::padded(33, 5, 8, 1, 5);
    std::vector<MonoGlyphRec> g = glyphRun(*small, 2, 0, 0, 0);
    // Keys of their own: a glyph is known by its font and key.
    g.push_back(glyphRun(*tall, 1, 0, 40, 2)[0]);
    g.back().glyphKey = 100;
    g.push_back(glyphRun(*wide, 1, 0, 50, 0)[0]);
    g.back().glyphKey = 101;
    MonoGlyphRec empty = glyphRun(*small, 1, 3, 70, 0)[0];
    empty.box.x2 = empty.box.x1;
    g.push_back(empty);
    g.push_back(glyphRun(*small, 1, 2, 80, 1)[0]);
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(g, 0x39, GXcopy, 0xFF, small->priv());
    EXPECT_EQ(c.loads(), 3);
    EXPECT_EQ(c.uncached(), 3) << "the tall, the wide and the empty glyph";
    EXPECT_SCREEN_SAME(*c.s);
}

TEST(DulmoGlyphCache, The257thGlyphFlushesTheQueueFirst) {
    CacheScreen c;
    auto f = harness::Font::padded(4, 5, 4, 300, 6);
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*f, 257, 0, 0, 0), 0x0C, GXor, 0xFF, f->priv());
    EXPECT_EQ(c.loads(), 257);
    EXPECT_EQ(c.flushes(), 2);
    EXPECT_SCREEN_SAME(*c.s);
}

TEST(DulmoGlyphCache, AStillQueuedVictimIsDrawnUncachedAndRetried) {
    CacheScreen c;
    auto f = harness::Font::padded(4, 5, 4, 1100, 7);
    // Fill all 1024 entries; the next to be replaced is entry 0, glyph 0.
    for (int first = 0; first < 1024; first += 256)
        c.s->drawMonoGlyphs(glyphRun(*f, 256, first, 0, 0), 0x0C, GXcopy, 0xFF, f->priv());
    ASSERT_EQ(privateOf(*c.s).glyphNext, 0);
    c.s->machine().clearTrace();
    // Glyph 0 is found and queued; glyph 1030 would replace it.
    std::vector<MonoGlyphRec> g = glyphRun(*f, 1, 0, 0, 10);
    g.push_back(glyphRun(*f, 1, 1030, 20, 10)[0]);
    c.s->drawMonoGlyphs(g, 0x55, GXcopy, 0xFF, f->priv());
    EXPECT_EQ(c.loads(), 0);
    EXPECT_EQ(c.uncached(), 1);
    EXPECT_EQ(privateOf(*c.s).glyphNext, 0);
    // Next time the entry is free to be replaced.
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*f, 1, 1030, 40, 10), 0x56, GXcopy, 0xFF, f->priv());
    EXPECT_EQ(c.loads(), 1);
    EXPECT_EQ(privateOf(*c.s).glyphNext, 1);
    EXPECT_SCREEN_SAME(*c.s);
}

TEST(DulmoGlyphCache, GlyphsWithoutAFontAreNeverCached) {
    CacheScreen c;
    // Two fonts of different shapes, both drawn without a font: the same
    // keys must not find the other font's glyphs.
    auto a = harness::Font::padded(16, 8, 4, 4, 10);
    auto b = harness::Font::padded(13, 13, 4, 4, 11);
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*a, 4, 0, 0, 0), 0x3F, GXcopy, 0xFF, nullptr);
    c.s->drawMonoGlyphs(glyphRun(*b, 4, 0, 0, 10), 0x2E, GXcopy, 0xFF, nullptr);
    EXPECT_EQ(c.loads(), 0);
    EXPECT_EQ(c.uncached(), 2);
    EXPECT_SCREEN_SAME(*c.s);
}

TEST(DulmoGlyphCache, ClearFontAndRestoreGStateLoadGlyphsAnew) {
    CacheScreen c;
    auto f = harness::Font::padded(7, 9, 4, 20, 8);
    auto other = harness::Font::padded(7, 9, 4, 20, 9);
    c.s->drawMonoGlyphs(glyphRun(*f, 5, 0, 0, 0), 0x21, GXcopy, 0xFF, f->priv());
    c.s->drawMonoGlyphs(glyphRun(*other, 5, 0, 0, 20), 0x22, GXcopy, 0xFF, other->priv());
    c.s->closeFont(*f);
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*f, 5, 0, 10, 5), 0x23, GXcopy, 0xFF, f->priv());
    c.s->drawMonoGlyphs(glyphRun(*other, 5, 0, 10, 25), 0x24, GXcopy, 0xFF, other->priv());
    EXPECT_EQ(c.loads(), 5) << "only the cleared font's glyphs";
    c.s->switchAway();
    c.s->switchBack();
    c.s->syncMirror();
    c.s->machine().clearTrace();
    c.s->drawMonoGlyphs(glyphRun(*other, 5, 0, 30, 5), 0x25, GXcopy, 0xFF, other->priv());
    EXPECT_EQ(c.loads(), 5) << "the cache was forgotten";
    EXPECT_SCREEN_SAME(*c.s);
}

} // namespace
