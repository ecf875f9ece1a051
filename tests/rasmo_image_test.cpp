// rasmo images, read-back, monochrome images and glyphs through the pixel
// transfer port: pixels against the reference renderer at both depths, the
// transfer forms (words or bytes), the narrowed scissors, and glyphs cut at
// the clip's right edge.
#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

class RasmoImage : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(128, 96, GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
    }
    int cb() const { return GetParam() / 8; }
    uint32_t someMask() const { return GetParam() == 8 ? 0xC3u : 0x3CF0u; }
    static std::vector<uint8_t> bytes(size_t n, uint32_t seed) {
        std::vector<uint8_t> v(n);
        for (uint8_t &b : v) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        return v;
    }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoImage, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// Widths 1 to 5, contiguous and padded rows; the image buffers are exactly
// as long as the rows need, so a transfer reading past them is caught.
TEST_P(RasmoImage, ImagesAndReadBack) {
    int x = 2;
    for (int w = 1; w <= 5; w++)
        for (int pad : {0, 1, 3}) {
            SCOPED_TRACE("width " + std::to_string(w) + " pad " + std::to_string(pad));
            const int h = 3, stride = w * cb() + pad;
            const BoxRec box = {int16_t(x), int16_t(5 + pad * 10), int16_t(x + w),
                                int16_t(5 + pad * 10 + h)};
            const std::vector<uint8_t> px = bytes(size_t(stride * (h - 1) + w * cb()), w * 7 + pad);
            s->drawImage(box, px, stride);
            const BoxRec shifted = {int16_t(box.x1), int16_t(box.y1 + 40), int16_t(box.x2),
                                    int16_t(box.y2 + 40)};
            s->drawImage(shifted, px, stride, GXxor, someMask());
            EXPECT_SCREEN_SAME(*s);
            for (const BoxRec &b : {box, shifted})
                for (int rstride : {0, stride + 2})
                    EXPECT_EQ(s->readImage(b, rstride), s->expectedImage(b, rstride));
            x += w + 2;
        }
    // A large read-back, longer than any status poll.
    const BoxRec all = {0, 0, 128, 96};
    EXPECT_EQ(s->readImage(all), s->expectedImage(all));
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoImage, MonoImagesFromEveryStartingBit) {
    for (int startBit = 0; startBit < 16; startBit++)
        for (int w : {1, 10, 17}) {
            SCOPED_TRACE("start bit " + std::to_string(startBit) + " width " + std::to_string(w));
            const int n = (startBit % 8 + w + 7) / 8 + startBit / 8;
            const int x = 3 + startBit * 7, y = w == 1 ? 0 : w == 10 ? 12 : 24;
            // Three rows: contiguous rows of an odd byte count end in half a
            // transfer.
            const BoxRec box = {int16_t(x), int16_t(y), int16_t(x + w), int16_t(y + 3)};
            // Contiguous rows, and rows 5 bytes apart.
            for (int stride : {n, 5}) {
                if (stride < n)
                    continue;
                const std::vector<uint8_t> bits = bytes(size_t(stride * 2 + n), startBit + w);
                s->drawMonoImage(box, bits, startBit, stride, 0x7A31u & s->allPlanes(),
                                 stride == 5 ? GXxor : GXcopy);
                const BoxRec below = {box.x1, int16_t(box.y1 + 40), box.x2, int16_t(box.y2 + 40)};
                s->drawOpaqueMonoImage(below, bits, startBit, stride, 0x1C2Du & s->allPlanes(),
                                       0x0F0Fu & s->allPlanes(), stride == 5 ? GXand : GXcopy,
                                       stride == 5 ? someMask() : ~0u);
                EXPECT_SCREEN_SAME(*s);
            }
        }
    EXPECT_EQ(s->failureText(), "");
}

// The engine's rectangle is whole bytes wide; the scissors hide the extra
// bits only where the clip is wider, and go back to the clip afterwards.
TEST_P(RasmoImage, MonoImageNarrowsTheScissorsForOneCall) {
    const std::vector<uint8_t> bits = bytes(2 * 6, 5);
    s->machine().clearTrace();
    s->drawMonoImage({20, 10, 30, 16}, bits, 5, 2, 1);
    EXPECT_EQ(writesTo(*s, 0xA6EE), std::vector<uint32_t>{15});
    EXPECT_EQ(writesTo(*s, 0xAAEE), std::vector<uint32_t>{31});
    EXPECT_EQ(writesTo(*s, 0xDAEE), (std::vector<uint32_t>{20, 0}));
    EXPECT_EQ(writesTo(*s, 0xE2EE), (std::vector<uint32_t>{29, 2047}));
    EXPECT_SCREEN_SAME(*s);

    // A clip no wider than the box needs no narrowing.
    s->setClipRegions({{20, 0, 30, 96}});
    s->machine().clearTrace();
    s->drawOpaqueMonoImage({20, 30, 30, 36}, bits, 5, 2, 1, 2);
    EXPECT_EQ(writesTo(*s, 0xDAEE), std::vector<uint32_t>{});
    EXPECT_EQ(writesTo(*s, 0xE2EE), std::vector<uint32_t>{});
    s->setClipRegions({});
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// A glyph past the clip's right edge is cut there, whatever the glyph
// before it set; the clip's edge comes back at the end.
TEST_P(RasmoImage, GlyphsAreCutAtTheClipsRightEdge) {
    const BoxRec clip = {0, 0, 60, 96};
    s->setClipRegions({clip});
    std::vector<std::vector<uint8_t>> maps;
    std::vector<MonoGlyphRec> glyphs;
    const BoxRec boxes[] = {{50, 10, 66, 26}, {20, 10, 29, 26}, {45, 40, 71, 50}, {2, 60, 5, 61}};
    for (const BoxRec &b : boxes) {
        const int stride = (b.x2 - b.x1 + 7) / 8 + (glyphs.size() % 2);
        maps.push_back(bytes(size_t(stride * (b.y2 - b.y1)), uint32_t(b.x1)));
        glyphs.push_back({b, stride, maps.back().data(), int(glyphs.size())});
    }
    const ref::Canvas before = s->mirror();
    s->machine().clearTrace();
    s->drawMonoGlyphs(glyphs, 0x5Au, GXcopy);
    for (int y = 0; y < s->height(); y++)
        for (int x = clip.x2; x < s->width(); x++)
            s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(writesTo(*s, 0xE2EE), (std::vector<uint32_t>{59, 28, 59, 4, 59}));
    s->setClipRegions({});
    EXPECT_EQ(s->failureText(), "");
}

// Depth 8, 3 x 3: contiguous rows go out as one stream of five words, rows
// of odd width 4 bytes apart as bytes; a read 1 pixel wide reads bytes.
TEST(RasmoImageForms, WordsOrBytes) {
    harness::Screen s("rasmo", rasmoConfig(128, 96, 8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::Mach32Adapter &board = mach32Of(s);
    const std::vector<uint8_t> nine = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    s.machine().clearTrace();
    s.drawImage({10, 10, 13, 13}, nine, 3);
    EXPECT_EQ(board.ext().dataPathLog().back(), 0x5211);
    EXPECT_EQ(accessesAt(s, 0xE2E8, 2), 5u);
    EXPECT_EQ(accessesAt(s, 0xE2E9, 1), 0u);

    const std::vector<uint8_t> padded = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9};
    s.machine().clearTrace();
    s.drawImage({20, 10, 23, 13}, padded, 4);
    EXPECT_EQ(board.ext().dataPathLog().back(), 0x4011);
    EXPECT_EQ(accessesAt(s, 0xE2E8, 2), 0u);
    EXPECT_EQ(accessesAt(s, 0xE2E9, 1), 9u);
    EXPECT_SCREEN_SAME(s);

    s.machine().clearTrace();
    EXPECT_EQ(s.readImage({21, 10, 22, 13}), s.expectedImage({21, 10, 22, 13}));
    EXPECT_EQ(board.ext().dataPathLog().back(), 0x4010);
    EXPECT_EQ(accessesAt(s, 0xE2E9, 1), 3u);
    EXPECT_EQ(s.failureText(), "");
}

} // namespace
} // namespace rasmotest
