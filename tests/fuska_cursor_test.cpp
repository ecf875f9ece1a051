// fuska hardware cursor (image in the CursorArea, position, edge clipping by
// the preset, colours in the extended palette) and the palette at depth 8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "models/fuska_adapter.h"

namespace {

using Pixel = sim::FuskaAdapter::CursorPixel;
using Entry = sim::vga::Dac::Entry;

graf::Config fuskaConfig(int depth) {
    graf::Config cfg = harness::loadConfig("cirrus/fuska/fuska.graf");
    cfg.ints["PIXWIDTH"] = 640;
    cfg.ints["PIXHEIGHT"] = 480;
    cfg.ints["DEPTH"] = depth;
    return cfg;
}

int pitchFor(int depth) {
    return depth == 8 ? 640 : depth == 24 ? 2048 : 1280;
}

class FuskaCursor : public testing::Test {
  protected:
    void start(int depth = 8) {
        s.reset();
        s = std::make_unique<harness::Screen>(
            "fuska", fuskaConfig(depth),
            harness::Options{.pitch = pitchFor(depth), .reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        a = dynamic_cast<sim::FuskaAdapter *>(s->adapter());
    }
    void SetUp() override { start(); }

    // The image the adapter shows, as rows of '.', 'B' and 'F'.
    std::vector<std::string> shown(int w, int h) const {
        auto image = a->cursorImage();
        std::vector<std::string> rows;
        for (int y = 0; y < h; y++) {
            std::string r;
            for (int x = 0; x < w; x++) {
                Pixel p = image[size_t(y)][size_t(x)];
                r += p == Pixel::Transparent ? '.' : p == Pixel::Background ? 'B' : 'F';
            }
            rows.push_back(r);
        }
        return rows;
    }
    bool blankFrom(int x0, int y0) const {
        auto image = a->cursorImage();
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++)
                if ((x >= x0 || y >= y0) && image[size_t(y)][size_t(x)] != Pixel::Transparent)
                    return false;
        return true;
    }

    std::unique_ptr<harness::Screen> s;
    sim::FuskaAdapter *a = nullptr;
};

TEST_F(FuskaCursor, ImageKeepsItsShapeAndRowLayout) {
    // Asymmetric in every byte, so a mirrored byte would show.
    std::vector<std::string> rows = {
        "FB..............", "FFB.............", "F.FB............", "F..FB...........",
        "FFFFFB..........", "B...............", ".......F........", "........F.......",
        "...............F", "..............BF", "FFFFFFFF........", "........BBBBBBBB",
        "F...............", ".F..............", "..F.............", "...F............",
    };
    auto c = harness::makeCursor(rows, 0, 0);
    s->setCursor(c->ptr(), 100, 100);
    EXPECT_EQ(shown(16, 16), rows);
    EXPECT_TRUE(blankFrom(16, 16));

    // Raw rows: 16 bytes each, eight rows to a line of the CursorArea.
    const uint8_t *mem = a->vram()->data() + a->cursorOffset();
    for (int r = 0; r < 64; r++) {
        SCOPED_TRACE(r);
        const uint8_t *row = mem + (r / 8) * 640 + (r % 8) * 16;
        for (int j = 2; j < 8; j++) {
            EXPECT_EQ(row[j], 0);
            EXPECT_EQ(row[8 + j], 0);
        }
        if (r >= 16) {
            EXPECT_EQ(row[0] | row[1] | row[8] | row[9], 0);
        }
    }
    // Row 0 "FB": plane 0 (source under mask) leftmost bit, plane 1 two bits.
    EXPECT_EQ(mem[0], 0x80);
    EXPECT_EQ(mem[8], 0xC0);
}

TEST_F(FuskaCursor, RegistersAfterSetCursor) {
    auto c = harness::makeCursor({"XX", "XX"}, 1, 1);
    s->setCursor(c->ptr(), 200, 100);
    EXPECT_TRUE(a->cursorEnabled());
    // The CursorArea is the strip line after the screen: 480 x 640 bytes.
    EXPECT_EQ(a->cursorOffset(), 480u * 640u);
    EXPECT_EQ(a->cursorX(), 199);
    EXPECT_EQ(a->cursorY(), 99);
    EXPECT_EQ(a->cursorHiddenX(), 0);
    EXPECT_EQ(a->cursorHiddenY(), 0);
    s->moveCursor(300, 5);
    EXPECT_EQ(a->cursorX(), 299);
    EXPECT_EQ(a->cursorY(), 4);
}

struct EdgeCase {
    const char *name;
    int xhot, yhot, x, y;
    int posX, posY, hiddenX, hiddenY;
};

TEST_F(FuskaCursor, EdgesAreClippedByThePreset) {
    const EdgeCase cases[] = {
        {"inside", 8, 8, 100, 50, 92, 42, 0, 0},
        {"left and top", 8, 8, 5, 3, 0, 0, 3, 5},
        {"top only", 0, 20, 30, 4, 30, 0, 0, 16},
        {"corner at the hot spot", 63, 63, 0, 0, 0, 0, 63, 63},
        {"hot spot beyond the image", 70, 2, 100, 50, 37, 48, 0, 0},
        {"hot spot beyond, at the edge", 200, 2, 10, 1, 0, 0, 53, 1},
    };
    for (const EdgeCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto cursor = harness::makeCursor({"X"}, c.xhot, c.yhot);
        s->setCursor(cursor->ptr(), c.x, c.y);
        EXPECT_EQ(a->cursorX(), c.posX);
        EXPECT_EQ(a->cursorY(), c.posY);
        EXPECT_EQ(a->cursorHiddenX(), c.hiddenX);
        EXPECT_EQ(a->cursorHiddenY(), c.hiddenY);
        // The image itself is never shifted.
        EXPECT_EQ(shown(1, 1), std::vector<std::string>{"F"});
    }
}

TEST_F(FuskaCursor, PaddingBitsAndOversizeCursorsAreCut) {
    std::vector<std::string> rows(70, std::string(70, 'X'));
    rows[0] = std::string(69, '.') + "X";
    auto big = harness::makeCursor(rows, 0, 0);
    s->setCursor(big->ptr(), 50, 50);
    std::vector<std::string> want(64, std::string(64, 'F'));
    want[0] = std::string(64, '.');
    EXPECT_EQ(shown(64, 64), want);

    // 5 pixels wide, with set bits in the padding of every row.
    auto narrow = harness::makeCursor({"XXXXX", "B...F", "XXXXX"}, 0, 0);
    for (size_t i = 0; i < narrow->source.size(); i++) {
        narrow->source[i] |= 0xE0;
        narrow->mask[i] |= 0xE0;
    }
    s->setCursor(narrow->ptr(), 50, 50);
    EXPECT_EQ(shown(8, 3), (std::vector<std::string>{"FFFFF...", "B...F...", "FFFFF..."}));
    EXPECT_TRUE(blankFrom(5, 3));
}

TEST_F(FuskaCursor, NullCursorHidesIt) {
    auto c = harness::makeCursor({"X"}, 0, 0);
    s->setCursor(c->ptr(), 10, 10);
    ASSERT_TRUE(a->cursorEnabled());
    s->setCursor(nullptr, 20, 20);
    EXPECT_FALSE(a->cursorEnabled());
    EXPECT_EQ(a->cursorX(), 10);
    EXPECT_EQ(s->realizeCursor(c->ptr()), 1);
    EXPECT_EQ(s->unrealizeCursor(c->ptr()), 1);
}

TEST_F(FuskaCursor, DownloadWaitsForTheEngine) {
    s->drawSolidRects({{0, 0, 640, 480}}, 0x33, GXxor);
    ASSERT_TRUE(a->engine().busy());
    auto c = harness::makeCursor({"XB"}, 0, 0);
    s->setCursor(c->ptr(), 10, 10);
    EXPECT_TRUE(s->failures().empty()) << s->failureText();
    EXPECT_EQ(shown(2, 1), std::vector<std::string>{"FB"});
}

TEST_F(FuskaCursor, ColoursGoToTheExtendedPaletteAtEveryDepth) {
    for (int depth : {8, 16, 24}) {
        SCOPED_TRACE(depth);
        start(depth);
        s->setColor(0, 0x1000, 0x2000, 0x3000);
        s->setColor(15, 0x1000, 0x2000, 0x3000);
        Entry before0 = a->dacEntry(0), before15 = a->dacEntry(15);
        auto c = harness::makeCursor({"XB"}, 0, 0, 0xFFFF, 0x8000, 0x0400, 0x0C00, 0x4000, 0xFC00);
        s->setCursor(c->ptr(), 10, 10);
        EXPECT_EQ(a->cursorForeground(), (Entry{0x3F, 0x20, 0x01}));
        EXPECT_EQ(a->cursorBackground(), (Entry{0x03, 0x10, 0x3F}));
        EXPECT_FALSE(a->extendedPalette());
        EXPECT_EQ(a->dacEntry(0), before0);
        EXPECT_EQ(a->dacEntry(15), before15);
    }
}

// ---- palette ----

TEST_F(FuskaCursor, SetColorWritesTheDac) {
    s->setColor(7, 0xFFFF, 0x8000, 0x0400);
    EXPECT_EQ(a->dacEntry(7), (Entry{0x3F, 0x20, 0x01}));
    // An index the DAC does not have changes nothing.
    a->vga().dac.clearWrites();
    s->setColor(256, 0xFFFF, 0xFFFF, 0xFFFF);
    s->setColor(-1, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_TRUE(a->vga().dac.writes().empty());
    EXPECT_EQ(a->dacEntry(0), (Entry{0, 0, 0}));
}

TEST_F(FuskaCursor, InstalledColormapReachesTheDac) {
    ColormapPtr map = server::createColormap(s->screen(), &s->screen()->visuals[0]);
    for (int i = 0; i < 256; i++)
        map->red[i].co.local = {uint16_t(i << 8), uint16_t(0xFFFF - (i << 8)), uint16_t(i * 97)};
    s->installColormap(map);
    for (int i : {0, 1, 100, 255}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a->dacEntry(i), (Entry{uint8_t(i >> 2), uint8_t((0xFFFF - (i << 8)) >> 10),
                                         uint8_t(uint16_t(i * 97) >> 10)}));
    }
}

} // namespace
