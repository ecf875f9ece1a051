// Mach64 packed glyph store: the stream a glyph becomes (w x h bits, rows
// back to back, whatever the stride), its words through HOST_DATA0 with the
// FIFO waits, the cell in video memory holding the stream's bytes as sent,
// the cell's offset word, and the exported expansion from a cell.
#include <dlfcn.h>

#include <random>

#include "mach64_fixture.h"

namespace m64test {
namespace {

// A register access of the block: a read or a write, word index, value.
struct RegAccess {
    bool write;
    int index;
    uint32_t value;
};

std::vector<RegAccess> blockAccesses(harness::Screen &s) {
    teskScreenPrivate &p = privateOf(s);
    const std::string area = p.aperture ? "APERTURE" : "REGS";
    const uint32_t offset =
        p.aperture ? uint32_t(reinterpret_cast<uint8_t *>(p.regs) - p.aperture) : 0xFC00u;
    const int region = s.machine().regionIndex(area);
    std::vector<RegAccess> out;
    for (const sim::Access &a : s.machine().trace())
        if ((a.kind == sim::Access::MemWrite || a.kind == sim::Access::MemRead) &&
            a.region == region && a.width == 4 && a.address >= offset && a.address < offset + 0x400)
            out.push_back(
                {a.kind == sim::Access::MemWrite, int((a.address - offset) / 4), a.value});
    return out;
}

// The stream as the store must send it: pixel (i, j) is bit j x w + i, the
// first pixel in the least significant bit; zero bytes up to a whole word.
std::vector<uint32_t> expectedStream(const std::vector<uint8_t> &bits, int stride, int w, int h) {
    std::vector<uint32_t> words(size_t((w * h + 31) / 32), 0);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            if ((bits[size_t(j * stride + i / 8)] >> (i % 8)) & 1) {
                int k = j * w + i;
                words[size_t(k / 32)] |= 1u << (k % 32);
            }
    return words;
}

// Rows of `stride` bytes: the glyph's own bits from `tight` (rows of
// (w + 7) / 8 bytes), every bit past them random.
std::vector<uint8_t> padRows(const std::vector<uint8_t> &tight, int w, int h, int stride,
                             uint32_t seed) {
    std::mt19937 rng(seed);
    const int tightStride = (w + 7) / 8;
    std::vector<uint8_t> out(size_t(stride * h));
    for (uint8_t &b : out)
        b = uint8_t(rng());
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            uint8_t &b = out[size_t(j * stride + i / 8)];
            uint8_t bit = uint8_t(1u << (i % 8));
            b = (tight[size_t(j * tightStride + i / 8)] & bit) ? (b | bit) : (b & ~bit);
        }
    return out;
}

std::vector<uint8_t> randomGlyph(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    const int stride = (w + 7) / 8;
    std::vector<uint8_t> out(size_t(stride * h), 0);
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            if (rng() & 1)
                out[size_t(j * stride + i / 8)] |= uint8_t(1u << (i % 8));
    return out;
}

struct StreamCase {
    const char *name;
    int width, height;
    std::vector<uint8_t> bits; // rows of (width + 7) / 8 bytes; empty: random
    std::vector<uint32_t> words;
};

const StreamCase kStreams[] = {
    {"8x2", 8, 2, {0x81, 0x42}, {0x00004281u}},
    {"12x2", 12, 2, {0xFF, 0x0F, 0x01, 0x08}, {0x00801FFFu}},
    {"8x16", 8, 16, {}, {}},
    {"16x32", 16, 32, {}, {}},
    {"5x7", 5, 7, {}, {}},
    {"32x16", 32, 16, {}, {}},
};

struct StoreCase {
    Build build;
    bool padded;
};

class Mach64Store : public testing::TestWithParam<StoreCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().build.driver,
                                              m64Config(GetParam().build, 8, kWidth, 40), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(4);
    }
    std::unique_ptr<harness::Screen> s;
    nfbFontPrivate font{};
};

// Each glyph is new to the cache, so it is stored into the next free cell
// and drawn from it.
TEST_P(Mach64Store, StreamWordsWaitsAndCellBytes) {
    const teskScreenPrivate &p = privateOf(*s);
    int key = 0;
    for (const StreamCase &c : kStreams) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> tight = c.bits.empty() ? randomGlyph(c.width, c.height, 7) : c.bits;
        std::vector<uint32_t> want =
            c.words.empty() ? expectedStream(tight, (c.width + 7) / 8, c.width, c.height) : c.words;
        int stride = (c.width + 7) / 8;
        std::vector<uint8_t> bits = tight;
        if (GetParam().padded) {
            stride += 2;
            bits = padRows(tight, c.width, c.height, stride, 11);
        }
        // The cell the glyph goes to: the next free one.
        const teskGlyphCell *cell = static_cast<teskGlyphCells *>(p.glyphCells)->cellFreeList;
        ASSERT_NE(cell, nullptr);
        const int cx = int(cell->cellPos & 0xFFFF), cy = int(cell->cellPos >> 16);

        s->machine().clearTrace();
        MonoGlyphRec g{
            {3, 4, int16_t(3 + c.width), int16_t(4 + c.height)}, stride, bits.data(), key++};
        s->drawMonoGlyphs({g}, 0x5A, GXxor, ~0u, &font);

        std::vector<RegAccess> acc = blockAccesses(*s);
        auto at = std::find_if(acc.begin(), acc.end(), [&](const RegAccess &a) {
            return a.write && a.index == DST_OFF_PITCH && a.value != p.pitchWord;
        });
        ASSERT_NE(at, acc.end());
        EXPECT_EQ(at->value, ((uint32_t(cy) * 640 + uint32_t(cx)) >> 3) | p.pitchWord);
        auto hw = std::find_if(at, acc.end(), [](const RegAccess &a) {
            return a.write && a.index == DST_HEIGHT_WIDTH;
        });
        ASSERT_NE(hw, acc.end());
        EXPECT_EQ(hw->value, uint32_t(want.size()) << 21 | 1u);
        // The words, the closing 0, and the FIFO polls among them.
        std::vector<uint32_t> sent;
        std::vector<int> pollsBefore;
        int polls = 0;
        for (auto it = hw + 1; it != acc.end() && sent.size() <= want.size(); ++it) {
            if (!it->write && it->index == FIFO_STAT)
                polls++;
            if (it->write && it->index == HOST_DATA0) {
                sent.push_back(it->value);
                pollsBefore.push_back(polls);
                polls = 0;
            }
        }
        std::vector<uint32_t> wantSent = want;
        wantSent.push_back(0);
        EXPECT_EQ(sent, wantSent);
        ASSERT_EQ(pollsBefore.size(), wantSent.size());
        const bool paced = wantSent.size() > 16;
        for (size_t i = 0; i < pollsBefore.size(); i++) {
            if (paced || i == 0)
                EXPECT_GT(pollsBefore[i], 0) << "word " << i;
            else
                EXPECT_EQ(pollsBefore[i], 0) << "word " << i;
        }
        // The cell holds the stream's bytes as they were sent.
        s->drain();
        const uint8_t *vram = boardOf(*s).vram()->data() + size_t(cy) * 640 + size_t(cx);
        for (size_t i = 0; i < want.size() * 4; i++)
            EXPECT_EQ(vram[i], uint8_t(want[i / 4] >> (8 * (i % 4)))) << "byte " << i;
        EXPECT_SCREEN_SAME(*s);
    }
}

std::vector<StoreCase> storeCases() {
    std::vector<StoreCase> out;
    for (const Build &b : kBuilds)
        for (bool padded : {false, true})
            out.push_back({b, padded});
    return out;
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Store, testing::ValuesIn(storeCases()), [](const auto &info) {
    return std::string(info.param.build.driver) + (info.param.padded ? "Padded" : "");
});

// The second cell of a 1024-pixel line at depth 8 lies at (64, 770): byte
// 788,544, offset word 98,568 with the pitch.
TEST(Mach64StoreCell, OffsetWordOfTheSecondCell) {
    harness::Screen s("vandu", m64Config(kVandu, 8, 1024, 768), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    nfbFontPrivate font{};
    std::vector<uint8_t> a = randomGlyph(8, 8, 1), b = randomGlyph(8, 8, 2);
    s.drawMonoGlyphs({{{0, 0, 8, 8}, 1, a.data(), 1}}, 1, GXcopy, ~0u, &font);
    s.machine().clearTrace();
    s.drawMonoGlyphs({{{8, 0, 16, 8}, 1, b.data(), 2}}, 1, GXcopy, ~0u, &font);
    std::vector<RegAccess> acc = blockAccesses(s);
    std::vector<uint32_t> offsets;
    for (const RegAccess &r : acc)
        if (r.write && (r.index == DST_OFF_PITCH || r.index == SRC_OFF_PITCH))
            offsets.push_back(r.value);
    const uint32_t pitch = 128u << 22;
    // Stored through the destination, drawn through the source, both put
    // back to the pitch alone.
    EXPECT_EQ(offsets, (std::vector<uint32_t>{98568u | pitch, pitch, 98568u | pitch, pitch}));
    EXPECT_SCREEN_SAME(s);
}

// The exported expansion draws a cell with the data path its caller left;
// a zero width or height writes nothing.
TEST(Mach64StoreExpansion, DrawsACellWithTheCallersDataPath) {
    for (const Build &b : kBuilds) {
        SCOPED_TRACE(b.driver);
        harness::beginCase();
        harness::Screen s(b.driver, m64Config(b, 16, kWidth, 40), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(2);
        void *lib = dlopen(harness::driverPath(b.driver).c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(lib, nullptr);
        const std::string name =
            std::string(b.driver == std::string("tesk") ? "TESK" : b.driver) + "Expansion";
        auto expansion = reinterpret_cast<void (*)(int, int, int, int, int, int, void *)>(
            dlsym(lib, name.c_str()));
        dlclose(lib);
        ASSERT_NE(expansion, nullptr) << name;

        nfbFontPrivate font{};
        std::vector<uint8_t> bits = randomGlyph(13, 9, 3);
        MonoGlyphRec g{{20, 2, 33, 11}, 2, bits.data(), 7};
        s.drawMonoGlyphs({g}, 0x1234, GXxor, 0xF0F0, &font);
        const teskGlyphCell *cell =
            static_cast<teskGlyphCells *>(privateOf(s).glyphCells)->cellUsedList;
        ASSERT_NE(cell, nullptr);
        const int cx = int(cell->cellPos & 0xFFFF), cy = int(cell->cellPos >> 16);

        s.machine().clearTrace();
        s.call("Expansion", [&] { expansion(0, 9, cx, cy, 100, 20, &privateOf(s)); });
        s.call("Expansion", [&] { expansion(13, 0, cx, cy, 100, 20, &privateOf(s)); });
        EXPECT_TRUE(blockAccesses(s).empty());

        s.call("Expansion", [&] { expansion(13, 9, cx, cy, 300, 25, &privateOf(s)); });
        MonoGlyphRec again = g;
        again.box = {300, 25, 313, 34};
        ref::drawMonoGlyphs(s.mirror(), &again, 1, 0x1234, GXxor, 0xF0F0);
        EXPECT_SCREEN_SAME(s);
    }
}

} // namespace
} // namespace m64test
