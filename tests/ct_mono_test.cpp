// The ct builds' colour expansion: monochrome images, glyphs and 8-bit font
// text, by the host words each operation takes and by their pixels against
// the reference renderer, at both pixel sizes on each chip.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ct_fixture.h"
#include "refrender.h"

namespace {

using namespace cttest;

class CtMono : public ::testing::TestWithParam<Build> {
  protected:
    // The 65550's default mask leaves monochrome images to the server:
    // "-opsflag 0" gives them to the engine.
    void start() {
        b = GetParam();
        s = std::make_unique<harness::Screen>(b.driver, ctConfig(b), options({"-opsflag", "0"}));
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(5);
        server::clearGenCalls();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    // Host data words written since the trace was cleared.
    size_t hostWords() {
        size_t n = 0;
        int mem = s->machine().regionIndex("MEMORY");
        for (const sim::Access &a : s->machine().trace())
            if (a.kind == sim::Access::MemWrite && a.region == mem &&
                (is65550(b) ? a.address == 0x410000 : a.address < 0x400000))
                n++;
        return n;
    }
    std::vector<uint8_t> bits(size_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(n);
        for (uint8_t &x : v)
            x = uint8_t(rng());
        return v;
    }
    Pixel colour(uint32_t seed) const { return (0x5AC3E1u * (seed + 1)) & s->allPlanes(); }
    uint32_t partialMask() const { return s->allPlanes() & ~0x2u; }

    Build b;
    std::unique_ptr<harness::Screen> s;
};

// ---- host words ----

struct WordCase {
    const char *name;
    int w, h, startBit;
    size_t words65550, words;
};

const WordCase kWordCases[] = {
    // 2 bytes a row: 13 words; the 65550 completes the last quadword.
    {"glyphSized16x13", 16, 13, 0, 14, 13},
    // 5 bytes a row: two words a row, an even total.
    {"width40", 40, 3, 0, 6, 6},
    {"width64", 64, 3, 0, 6, 6},
    // After 3 skipped bits, 6 pixels take 2 bytes and 30 take 5.
    {"startBit3Width6", 6, 3, 3, 4, 3},
    {"startBit3Width30", 30, 2, 3, 4, 4},
};

TEST_P(CtMono, HostWordsOfAnImage) {
    start();
    for (const WordCase &c : kWordCases) {
        if (c.startBit && !is65550(b))
            continue; // the others give such images to the server
        SCOPED_TRACE(c.name);
        const int stride = 12;
        std::vector<uint8_t> data = bits(size_t(stride * c.h), uint32_t(c.w));
        s->machine().clearTrace();
        s->drawMonoImage({0, 2, int16_t(c.w), int16_t(2 + c.h)}, data, c.startBit, stride,
                         colour(1), GXcopy);
        EXPECT_EQ(hostWords(), is65550(b) ? c.words65550 : c.words);
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(CtMono, GlyphsOverThirtyTwoPixelsGoToTheServerOnThe65550) {
    start();
    std::vector<std::vector<uint8_t>> maps;
    std::vector<MonoGlyphRec> glyphs;
    const int widths[] = {8, 12, 33, 7};
    int x = 0;
    for (int i = 0; i < 4; i++) {
        maps.push_back(bits(size_t(8 * 10), uint32_t(i)));
        glyphs.push_back({{int16_t(x), 3, int16_t(x + widths[i]), 13}, 8, maps.back().data(), i});
        x += widths[i] + 1;
    }
    s->drawMonoGlyphs(glyphs, colour(2), GXcopy);
    EXPECT_SCREEN_SAME(*s);
    std::vector<server::GenCall> gen = server::genCallsOf("genDrawMonoGlyphs");
    if (is65550(b)) {
        ASSERT_EQ(gen.size(), 1u);
        EXPECT_EQ(gen[0].args[1], server::arg(2)) << "the third glyph and the one after it";
    } else {
        EXPECT_TRUE(gen.empty());
    }
}

// ---- pixels ----

TEST_P(CtMono, ImagesOverAlusMasksAndStartBits) {
    start();
    uint32_t seed = 3;
    for (int startBit : {0, 3, 11})
        for (int alu : {GXcopy, GXxor, GXclear, GXset, GXinvert, GXnoop, GXandInverted})
            for (uint32_t mask : {~0u, partialMask()}) {
                SCOPED_TRACE("start bit " + std::to_string(startBit) + " alu " +
                             std::to_string(alu));
                const int stride = 8;
                std::vector<uint8_t> data = bits(size_t(stride * 9), seed++);
                BoxRec box = {5, 4, 42, 13};
                s->drawMonoImage(box, data, startBit, stride, colour(seed), alu, mask);
                s->drawOpaqueMonoImage({20, 15, 57, 24}, data, startBit, stride, colour(seed + 1),
                                       colour(seed + 2), alu, mask);
                EXPECT_SCREEN_SAME(*s);
            }
    // The 65548 and 6430x give start bits inside a byte to the server.
    bool generic = !server::genCallsOf("genDrawMonoImage").empty();
    EXPECT_TRUE(generic) << "partial plane masks at least";
}

TEST_P(CtMono, UnalignedStartBitsOnlyThe65550Draws) {
    start();
    std::vector<uint8_t> data = bits(16 * 4, 9);
    s->drawMonoImage({1, 1, 30, 5}, data, 3, 16, colour(4), GXcopy);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(server::genCallsOf("genDrawMonoImage").empty(), is65550(b));
}

TEST_P(CtMono, OpaqueImageWithGXsetFillsTheBox) {
    start();
    std::vector<uint8_t> data = bits(4 * 6, 1);
    s->drawOpaqueMonoImage({3, 3, 30, 9}, data, 0, 4, colour(1), colour(2), GXset);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->mirror().get(3, 3), s->allPlanes());
}

TEST_P(CtMono, GlyphsOverAlusAndMasks) {
    start();
    std::vector<std::vector<uint8_t>> maps;
    std::vector<MonoGlyphRec> glyphs;
    for (int i = 0; i < 5; i++) {
        maps.push_back(bits(size_t(4 * 12), uint32_t(40 + i)));
        int16_t x = int16_t(2 + 12 * i);
        glyphs.push_back(
            {{x, int16_t(2 + i), int16_t(x + 9 + i), int16_t(14 + i)}, 4, maps.back().data(), i});
    }
    for (int alu : {GXcopy, GXxor, GXclear, GXset, GXinvert, GXnoop, GXorReverse})
        for (uint32_t mask : {~0u, partialMask()}) {
            SCOPED_TRACE("alu " + std::to_string(alu));
            s->drawMonoGlyphs(glyphs, colour(uint32_t(alu)), alu, mask);
            EXPECT_SCREEN_SAME(*s);
        }
}

TEST_P(CtMono, FontTextTransparentAndOpaque) {
    start();
    std::unique_ptr<harness::Font> font = harness::Font::random(8, 12, 256, 17);
    std::unique_ptr<harness::Font> wide = harness::Font::padded(11, 9, 3, 256, 18);
    for (int alu : {GXcopy, GXxor, GXset, GXnoop, GXclear}) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        s->drawText({3, 2, 3 + 8 * 6, 14}, harness::textRun(6), *font, colour(1), colour(2), alu,
                    ~0u, true);
        s->drawText({1, 16, 1 + 11 * 5, 25}, harness::textRun(5, 3), *wide, colour(3), colour(4),
                    alu, ~0u, true);
        EXPECT_SCREEN_SAME(*s);
    }
    s->drawText({3, 2, 3 + 8 * 6, 14}, harness::textRun(6), *font, colour(5), colour(6), GXcopy,
                ~0u, false);
    EXPECT_SCREEN_SAME(*s);
    // Opaque text is drawn as GXcopy whatever the GC's alu.
    BoxRec box = {2, 17, 2 + 8 * 5, 29};
    std::string text = harness::textRun(5, 9);
    std::vector<uint8_t> chars(text.begin(), text.end());
    ref::drawFontText(s->mirror(), box, chars.data(), 5, font->info, colour(7), colour(8), GXcopy,
                      ~0u, false);
    s->call("DrawFontText", [&] {
        s->winOps()->text.DrawFontText(&box, chars.data(), 5, font->priv(), colour(7), colour(8),
                                       GXxor, ~0u, 0, s->drawable());
    });
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(server::genCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, CtMono, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
