// The Cirrus hardware-cursor model on its own: position bits in the index
// byte, the DAC entries it takes while colour access is on, and where and how
// it reads its pattern for each size and pattern select. Registers are
// reached through the machine's ports, as a driver reaches them.
#include <cstring>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "machine.h"
#include "models/cirrus_cursor.h"
#include "vga.h"

namespace {

using sim::CirrusCursor;
using Pixel = CirrusCursor::Pixel;
using Entry = sim::vga::Dac::Entry;
namespace port = sim::vga::port;

constexpr uint32_t kVramSize = 0x80000;
constexpr uint32_t kArea = kVramSize - CirrusCursor::kPatternArea;

class CirrusCursorModel : public ::testing::Test {
  protected:
    void start(CirrusCursor::Sizes sizes) {
        sim::Machine::reset();
        m = &sim::Machine::current();
        vram = m->own<sim::VideoMemory>(kVramSize);
        vga = &sim::vga::VgaCore::create(*m);
        vga->seq.setIndexMask(0x1F);
        cursor = m->own<CirrusCursor>(*vram, vga->seq, sizes);
        cursor->attach(*vga);
    }

    void seq(uint8_t index, uint8_t value) {
        m->portOut(port::SeqIndex, 2, uint32_t(value) << 8 | index);
    }
    void dacWrite(uint8_t index, Entry raw) {
        m->portOut(port::DacWriteIndex, 1, index);
        for (uint8_t c : {raw.r, raw.g, raw.b})
            m->portOut(port::DacData, 1, c);
    }

    sim::Machine *m = nullptr;
    sim::VideoMemory *vram = nullptr;
    sim::vga::VgaCore *vga = nullptr;
    CirrusCursor *cursor = nullptr;
};

TEST_F(CirrusCursorModel, PositionTakesItsLowBitsFromTheIndexByte) {
    start(CirrusCursor::Sizes::Both);
    struct Case {
        uint8_t index, value;
        int x, y;
    };
    const Case cases[] = {
        {0x10, 0x00, 0, 0},
        {0xF0, 0x00, 7, 0},
        {0x31, 0x80, 7, 1025},
        {0xF0, 0xFF, 2047, 1025},
        {0x11, 0x01, 2047, 8},
        // Other registers leave the position alone, whatever the index's high bits.
        {0xF2, 0x55, 2047, 8},
        {0xE3, 0x12, 2047, 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << int(c.index) << " value " << int(c.value));
        seq(c.index, c.value);
        EXPECT_EQ(cursor->x(), c.x);
        EXPECT_EQ(cursor->y(), c.y);
    }
}

TEST_F(CirrusCursorModel, ColourAccessDivertsOnlyEntriesZeroAndFifteen) {
    start(CirrusCursor::Sizes::Only64);
    // Colour access off: the palette takes every entry.
    dacWrite(0, {1, 2, 3});
    dacWrite(15, {4, 5, 6});
    EXPECT_EQ(vga->dac.entry(0), (Entry{1, 2, 3}));
    EXPECT_EQ(vga->dac.entry(15), (Entry{4, 5, 6}));
    EXPECT_EQ(cursor->background(), Entry{});

    seq(0x12, 0x02);
    EXPECT_TRUE(cursor->colourAccess());
    EXPECT_FALSE(cursor->enabled());
    dacWrite(0, {0xFF, 0x40, 0x3F});
    dacWrite(15, {0x7F, 0x80, 0x01});
    dacWrite(7, {9, 10, 11});
    EXPECT_EQ(cursor->background(), (Entry{0x3F, 0x00, 0x3F}));
    EXPECT_EQ(cursor->foreground(), (Entry{0x3F, 0x00, 0x01}));
    EXPECT_EQ(vga->dac.entry(0), (Entry{1, 2, 3}));
    EXPECT_EQ(vga->dac.entry(15), (Entry{4, 5, 6}));
    EXPECT_EQ(vga->dac.entry(7), (Entry{9, 10, 11}));

    seq(0x12, 0x01);
    dacWrite(15, {7, 8, 9});
    EXPECT_EQ(vga->dac.entry(15), (Entry{7, 8, 9}));
    EXPECT_EQ(cursor->foreground(), (Entry{0x3F, 0x00, 0x01}));
    EXPECT_TRUE(cursor->enabled());
}

struct PatternCase {
    const char *name;
    CirrusCursor::Sizes sizes;
    uint8_t sr12, sr13;
    int size;
    uint32_t offset;
};

void PrintTo(const PatternCase &c, std::ostream *os) {
    *os << c.name;
}

std::string patternName(const testing::TestParamInfo<PatternCase> &info) {
    return info.param.name;
}

class CirrusCursorPattern : public CirrusCursorModel,
                            public testing::WithParamInterface<PatternCase> {};

// The pattern is filled with a mark at three pixels (top-left foreground,
// top-right background, bottom-right foreground) in the layout its size
// uses; every other pixel is transparent, so a wrong plane, row stride or
// pattern offset shows.
TEST_P(CirrusCursorPattern, IsReadFromTheSelectedPatternInItsSizesLayout) {
    const PatternCase &c = GetParam();
    start(c.sizes);
    seq(0x12, c.sr12);
    seq(0x13, c.sr13);
    ASSERT_EQ(cursor->size(), c.size);
    ASSERT_EQ(cursor->patternOffset(), c.offset);

    // Garbage in every pattern around the selected one.
    std::memset(vram->data() + kArea, 0xFF, CirrusCursor::kPatternArea);
    uint8_t *pattern = vram->data() + c.offset;
    const int rowBytes = c.size / 8, patternBytes = c.size * c.size / 4;
    std::memset(pattern, 0, size_t(patternBytes));
    auto plane = [&](int p, int y) {
        return c.size == 64 ? pattern + y * 16 + p * 8 : pattern + (p * c.size + y) * rowBytes;
    };
    const int last = c.size - 1;
    plane(0, 0)[0] = 0x80;
    plane(1, 0)[0] = 0x80;
    plane(1, 0)[rowBytes - 1] = 0x01;
    plane(0, last)[rowBytes - 1] = 0x01;
    plane(1, last)[rowBytes - 1] = 0x01;
    plane(0, 1)[0] = 0x40; // plane 0 alone is transparent

    CirrusCursor::Image image = cursor->image();
    ASSERT_EQ(image.size(), size_t(c.size));
    for (int y = 0; y < c.size; y++) {
        ASSERT_EQ(image[size_t(y)].size(), size_t(c.size));
        for (int x = 0; x < c.size; x++) {
            Pixel want = Pixel::Transparent;
            if ((x == 0 && y == 0) || (x == last && y == last))
                want = Pixel::Foreground;
            else if (x == last && y == 0)
                want = Pixel::Background;
            EXPECT_EQ(image[size_t(y)][size_t(x)], want) << x << ", " << y;
        }
    }
}

const PatternCase kPatterns[] = {
    {"Large_LastPattern", CirrusCursor::Sizes::Both, 0x05, 0x3F, 64, kArea + 15 * 1024},
    {"Large_FirstPattern", CirrusCursor::Sizes::Both, 0x04, 0x03, 64, kArea},
    {"Large_Fifth", CirrusCursor::Sizes::Both, 0x07, 0x14, 64, kArea + 5 * 1024},
    {"Small_LastPattern", CirrusCursor::Sizes::Both, 0x01, 0x3F, 32, kArea + 63 * 256},
    {"Small_Ninth", CirrusCursor::Sizes::Both, 0x00, 0x09, 32, kArea + 9 * 256},
    // Without the small size, SR12 bit 2 clear still shows the 64 x 64 pattern.
    {"Only64_Bit2Clear", CirrusCursor::Sizes::Only64, 0x01, 0x3F, 64, kArea + 15 * 1024},
    {"Only64_Bit2Set", CirrusCursor::Sizes::Only64, 0x05, 0x0B, 64, kArea + 2 * 1024},
};

INSTANTIATE_TEST_SUITE_P(Sizes, CirrusCursorPattern, testing::ValuesIn(kPatterns), patternName);

} // namespace
