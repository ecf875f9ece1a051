// zandel's monochrome images, glyphs and text through the engine's 1-bit
// ports, against the reference renderer; and the ports' strictness.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hwio.h"
#include "zandel_fixture.h"

namespace {

using namespace zandeltest;

struct Size {
    const char *file;
    int pixelSize;
};
const Size kSizes[] = {{kRgb525File, 1}, {kVlbFile, 2}, {kRgb511File, 4}};

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

// Start bits inside the first byte and past it, widths that end inside,
// at and past a 32-pixel column, transparent and opaque, alus and plane
// masks in turn, some with the window's clip edge inside the box.
TEST(ZandelMono, ImagesMatchTheRenderer) {
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", zandelConfig(size.file, 64, 16), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(23);
        server::clearGenCalls();
        const uint32_t all = s.allPlanes();
        const uint32_t masks[] = {all, 0xA5C3F0u & all, 0};
        int k = 0;
        for (int startBit : {0, 5, 13}) {
            for (int width : {3, 27, 32, 33, 45}) {
                for (bool opaque : {false, true}) {
                    k++;
                    const int alu = (k * 7) % 16;
                    const uint32_t mask = masks[k % 3];
                    const bool clip = k % 4 == 0;
                    SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", start bit " +
                                 std::to_string(startBit) + ", width " + std::to_string(width) +
                                 (opaque ? ", opaque" : "") + ", alu " + std::to_string(alu) +
                                 (clip ? ", clipped" : ""));
                    const int x1 = 64 - width - (k % 5), rows = 3;
                    const int stride = (startBit + width + 7) / 8;
                    // The last row ends the buffer: a read past it is seen.
                    const std::vector<uint8_t> bits =
                        randomBytes(size_t(stride * rows), uint32_t(k));
                    const BoxRec box = {static_cast<int16_t>(x1), static_cast<int16_t>(k % 12),
                                        static_cast<int16_t>(x1 + width),
                                        static_cast<int16_t>(k % 12 + rows)};
                    const BoxRec window = {static_cast<int16_t>(x1 + 2), 0, 64, 16};
                    if (clip)
                        s.setClipRegions({window});
                    clipped(s, clip ? window : BoxRec{0, 0, 64, 16}, [&] {
                        if (opaque)
                            s.drawOpaqueMonoImage(box, bits, startBit, stride, 0x5A5A5A5A & all,
                                                  0x3C3C3C3C & all, alu, mask);
                        else
                            s.drawMonoImage(box, bits, startBit, stride, 0x96969696 & all, alu,
                                            mask);
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
}

// The image narrows the clip's left edge while it runs and loads the
// window's clip again after.
TEST(ZandelMono, NarrowedClipIsRestored) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.setClipRegions({{4, 1, 60, 15}});
    s.drawMonoImage({20, 3, 30, 5}, randomBytes(8, 1), 13, 4, 0x11);
    sim::ZandelAdapter &z = zandelOf(s);
    EXPECT_EQ(z.reg(0x2220), 4u << 16 | 1u);
    EXPECT_EQ(z.reg(0x22A0), 4u << 16 | 1u);
    // A box left of which the clip already cuts narrows nothing.
    s.machine().clearTrace();
    s.setClipRegions({{25, 1, 60, 15}});
    s.machine().clearTrace();
    s.drawMonoImage({20, 3, 30, 5}, randomBytes(8, 1), 13, 4, 0x11);
    for (const sim::Access &a : s.machine().trace())
        EXPECT_FALSE(a.kind == sim::Access::MemWrite && a.address == 0x2220);
}

// ---- glyphs ----

TEST(ZandelMono, GlyphListsMatchTheRenderer) {
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", zandelConfig(size.file, 64, 16), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(29);
        server::clearGenCalls();
        const uint32_t all = s.allPlanes();
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
            SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", alu " +
                         std::to_string(alu));
            s.drawMonoGlyphs(glyphs, 0xE7E7E7E7 & all, alu, 0x7F7F7F7F & all);
            const ref::Diff d = s.compareSettled();
            ASSERT_EQ(d.count, 0) << d.describe();
        }
        EXPECT_TRUE(server::genCalls().empty());
    }
}

// A glyph whose rows are not one or two bytes sends the whole list to the
// generic routine, unchanged.
TEST(ZandelMono, GlyphOfStrideFourGoesGenericWithTheWholeList) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(31);
    server::clearGenCalls();
    std::vector<uint8_t> narrow = randomBytes(6, 3), wide = randomBytes(24, 4);
    std::vector<MonoGlyphRec> glyphs = {{{2, 2, 8, 8}, 1, narrow.data(), 1},
                                        {{10, 2, 30, 8}, 4, wide.data(), 2}};
    s.drawMonoGlyphs(glyphs, 0x33, GXcopy);
    EXPECT_SCREEN_SAME(s);
    const auto calls = server::genCallsOf("genDrawMonoGlyphs");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[1], 2u);
    EXPECT_EQ(calls[0].args[2], 0x33u);
}

// ---- text ----

TEST(ZandelMono, FontTextMatchesTheRenderer) {
    struct Case {
        int width, height, stride;
        bool generic; // wider than the port's row unit
    };
    const Case cases[] = {{6, 9, 1, false},
                          {8, 13, 3, false},
                          {12, 10, 2, false},
                          {16, 16, 4, false},
                          {20, 11, 3, true}};
    for (const Size &size : kSizes) {
        harness::Screen s("zandel", zandelConfig(size.file, 128, 40), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(37);
        const uint32_t all = s.allPlanes();
        int y = 0;
        for (const Case &c : cases) {
            auto font = harness::Font::padded(c.width, c.height, c.stride, 64, uint32_t(c.width));
            for (bool transparent : {false, true}) {
                SCOPED_TRACE("pixel size " + std::to_string(size.pixelSize) + ", width " +
                             std::to_string(c.width) + (transparent ? ", transparent" : ""));
                server::clearGenCalls();
                const int n = 100 / c.width;
                const BoxRec box = {static_cast<int16_t>(transparent ? 3 : 0),
                                    static_cast<int16_t>(y % (40 - c.height)),
                                    static_cast<int16_t>((transparent ? 3 : 0) + n * c.width),
                                    static_cast<int16_t>(y % (40 - c.height) + c.height)};
                s.drawText(box, harness::textRun(n, c.width), *font, 0x6D6D6D6D & all,
                           0x12121212 & all, transparent ? GXxor : GXcopy, 0xFFF0FF0F & all,
                           transparent);
                const ref::Diff d = s.compareSettled();
                ASSERT_EQ(d.count, 0) << d.describe();
                EXPECT_EQ(server::genCallsOf("genDrawMonoGlyphs").empty(), !c.generic);
                y += 7;
            }
            s.closeFont(*font);
        }
    }
}

TEST(ZandelMono, OpaqueTextWithClearPaintsTheBoxZero) {
    harness::Screen s("zandel", smallConfig(), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(41);
    auto font = harness::Font::random(7, 9, 40, 5);
    s.drawText({3, 2, 38, 11}, harness::textRun(5), *font, 0x77, 0x55, GXclear);
    EXPECT_SCREEN_SAME(s);
    for (int y = 2; y < 11; y++)
        for (int x = 3; x < 38; x++)
            ASSERT_EQ(s.mirror().get(x, y), 0u);
    s.closeFont(*font);
}

// Without memory for the glyph list, wide text still draws, a character at
// a time, over the box its background filled.
TEST(ZandelMono, WideTextWithoutMemoryDrawsCharacterByCharacter) {
    harness::Screen s("zandel", zandelConfig(kRgb525File, 128, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(43);
    auto font = harness::Font::random(20, 12, 40, 6);
    server::clearGenCalls();
    server::failAllocationAfter(0);
    s.drawText({4, 3, 104, 15}, harness::textRun(5), *font, 0x21, 0x84);
    s.drawText({4, 17, 104, 29}, harness::textRun(5, 9), *font, 0x42, 0, GXxor, ~0u, true);
    server::failAllocationAfter(-1);
    EXPECT_SCREEN_SAME(s);
    // The driver's own image routine draws each character.
    EXPECT_TRUE(server::genCalls().empty());
    s.closeFont(*font);
}

// ---- the 1-bit ports' strictness ----

struct Fault {
    const char *name;
    void (*act)(uint8_t *regs);
    const char *failure;
};

void transfer(uint8_t *r, int x1, int x2, int y) {
    mmWrite32(r + 0x2218, 0xCC);
    mmWrite32(r + 0x3008, uint32_t(x1));
    mmWrite32(r + 0x3058, uint32_t(x1) << 16 | uint32_t(y));
    mmWrite32(r + 0x3088, uint32_t(x2));
    mmWrite32(r + 0x30D0, 1);
}

const Fault kFaults[] = {
    {"WordPastTheRow",
     [](uint8_t *r) {
         transfer(r, 4, 12, 2);
         mmWrite32(r + 0x72080 + 4 * 11, 0xFFF); // 12 bits for a row of 8
     },
     "passes the row's end"},
    {"NewTransferWhileRowsOwed",
     [](uint8_t *r) {
         transfer(r, 4, 12, 2);
         mmWrite32(r + 0x72080 + 4 * 4, 0x1F); // 5 of the row's 8 bits
         mmWrite32(r + 0x3008, 20);
     },
     "owes 3 pixels"},
};

void PrintTo(const Fault &c, std::ostream *os) {
    *os << c.name;
}

class ZandelMonoStrict : public ::testing::TestWithParam<Fault> {};

TEST_P(ZandelMonoStrict, FaultIsReported) {
    harness::Screen s("zandel", smallConfig(), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    uint8_t *regs = nullptr;
    for (const graf::MemoryArea &a : s.graf().areas)
        if (a.name.empty() || a.name == "MEMORY")
            regs = static_cast<uint8_t *>(a.mapped);
    ASSERT_NE(regs, nullptr);
    s.call("faulty driver", [&] { GetParam().act(regs); });
    s.drain();
    EXPECT_NE(s.failureText().find(GetParam().failure), std::string::npos) << s.failureText();
}

INSTANTIATE_TEST_SUITE_P(Faults, ZandelMonoStrict, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
