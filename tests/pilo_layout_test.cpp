// The pilo driver's seven off-screen layouts, one table: clip edges, areas,
// cursor, the largest screen (one pixel more is refused, after the text mode
// is back, with the sizes in two messages), and the best sizes that follow
// from the areas.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

constexpr const char *kSizeFatal =
    "piloInit(): invalid grafinfo value for PIXWIDTH, PIXHEIGHT, or DEPTH.\n";

// Probe and Init only: the layout tests need no root window or mirror.
bool initOnly(harness::Screen &s) {
    return s.probe() && s.init();
}

// ------------------------------------------------------------- layouts --

struct LayoutCase {
    const char *name;
    int memoryKB, depth, width, height;
    int clipRight, clipBottom;
    Area glyph, tile;
    bool software;
    int cursorAddress;
    Area cursor;
    int maxWidth, maxHeight;
};

class PiloLayout : public testing::TestWithParam<LayoutCase> {};

// Each row at its largest screen: the clip edges, the areas, the cursor; the
// engine's registers take the clip edges, and one pixel more in either
// direction is refused.
TEST_P(PiloLayout, LaysOutTheRowAndRefusesALargerScreen) {
    const LayoutCase &l = GetParam();
    {
        harness::Screen s("pilo", boardConfig(l.memoryKB, l.depth, l.width, l.height),
                          {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(initOnly(s)) << s.failureText();
        const Private &p = privateOf(s);
        EXPECT_EQ(p.memoryKB, l.memoryKB);
        EXPECT_EQ(p.clipRight, l.clipRight);
        EXPECT_EQ(p.clipBottom, l.clipBottom);
        EXPECT_EQ(
            (std::vector<int>{p.glyphArea.x, p.glyphArea.y, p.glyphArea.width, p.glyphArea.height}),
            (std::vector<int>{l.glyph.x, l.glyph.y, l.glyph.width, l.glyph.height}));
        EXPECT_EQ(
            (std::vector<int>{p.tileArea.x, p.tileArea.y, p.tileArea.width, p.tileArea.height}),
            (std::vector<int>{l.tile.x, l.tile.y, l.tile.width, l.tile.height}));
        EXPECT_EQ(p.softwareCursor, l.software ? 1 : 0);
        if (l.software) {
            EXPECT_EQ((std::vector<int>{p.saveUnderX, p.saveUnderY, p.spriteFgX, p.spriteFgY,
                                        p.spriteBgX, p.spriteBgY}),
                      (std::vector<int>{1280, 943, 1360, 943, 1440, 943}));
            // The TileArea ends above the cursor's areas.
            EXPECT_LT(p.tileArea.y + p.tileArea.height, 943 + 1);
        } else {
            EXPECT_EQ(p.cursorAddress, l.cursorAddress);
            EXPECT_EQ((std::vector<int>{p.cursorArea.x, p.cursorArea.y, p.cursorArea.width,
                                        p.cursorArea.height}),
                      (std::vector<int>{l.cursor.x, l.cursor.y, l.cursor.width, l.cursor.height}));
            // The address is the byte offset of the area's first line.
            sim::PiloAdapter &a = board(s);
            EXPECT_EQ(uint64_t(p.cursorArea.y) * a.displayPitch() / 1024, l.cursorAddress);
        }
        // The areas lie apart.
        const Area &g = p.glyphArea, &t = p.tileArea;
        bool overlap = g.x < t.x + t.width && t.x < g.x + g.width && g.y < t.y + t.height &&
                       t.y < g.y + g.height;
        EXPECT_FALSE(overlap);
        // Best sizes: half the TileArea for tiles, the GlyphArea for stipples.
        uint16_t w = 4096, h = 4096;
        s.screen()->QueryBestSize(TileShape, &w, &h, s.screen());
        EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{t.width / 2, t.height / 2}));
        w = h = 4096;
        s.screen()->QueryBestSize(StippleShape, &w, &h, s.screen());
        EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{g.width, g.height}));
        w = h = 1;
        s.screen()->QueryBestSize(CursorShape, &w, &h, s.screen());
        EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{l.depth == 16 ? 32 : 64, 64}));
        const sim::S3Regs &r = board(s).engine().regs();
        EXPECT_EQ(r.scissorRight, l.clipRight);
        EXPECT_EQ(r.scissorBottom, l.clipBottom);
        EXPECT_TRUE(server::errorMessages().empty()) << s.failureText();
    }
    for (auto [w, h] : {std::pair{l.maxWidth + 1, l.height}, std::pair{l.width, l.maxHeight + 1}}) {
        harness::Screen s("pilo", boardConfig(l.memoryKB, l.depth, w, h));
        EXPECT_FALSE(initOnly(s)) << w << " x " << h;
        EXPECT_EQ(s.fatalMessage(), kSizeFatal) << w << " x " << h;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PiloLayout,
    testing::Values(LayoutCase{"HalfMegDepth4",
                               512,
                               4,
                               1024,
                               768,
                               1023,
                               1023,
                               {0, 768, 1024, 128},
                               {0, 896, 1024, 126},
                               false,
                               511,
                               {0, 1022, 1024, 2},
                               1024,
                               768},
                    LayoutCase{"HalfMegDepth8",
                               512,
                               8,
                               640,
                               480,
                               1023,
                               511,
                               {0, 480, 1024, 30},
                               {640, 0, 384, 480},
                               false,
                               511,
                               {0, 511, 1024, 1},
                               640,
                               480},
                    LayoutCase{"OneMegDepth4Lines1022",
                               1024,
                               4,
                               1280,
                               1022,
                               2047,
                               1023,
                               {1280, 0, 768, 512},
                               {1280, 512, 768, 510},
                               false,
                               1023,
                               {0, 1023, 2048, 1},
                               1280,
                               1024},
                    LayoutCase{"OneMegDepth4Lines1023",
                               1024,
                               4,
                               1280,
                               1023,
                               2047,
                               1023,
                               {1280, 0, 768, 512},
                               {1280, 512, 768, 431},
                               true,
                               0,
                               {0, 0, 0, 0},
                               1280,
                               1024},
                    LayoutCase{"TwoMegDepth4Lines1024",
                               2048,
                               4,
                               1280,
                               1024,
                               2047,
                               1023,
                               {1280, 0, 768, 512},
                               {1280, 512, 768, 431},
                               true,
                               0,
                               {0, 0, 0, 0},
                               1280,
                               1024},
                    LayoutCase{"OneMegDepth8",
                               1024,
                               8,
                               1024,
                               768,
                               1023,
                               1023,
                               {0, 768, 1024, 128},
                               {0, 896, 1024, 126},
                               false,
                               1023,
                               {0, 1023, 1024, 1},
                               1024,
                               768},
                    // One column more takes the 1280-column layout, which refuses 1281.
                    LayoutCase{"TwoMegDepth8Width1024",
                               2048,
                               8,
                               1024,
                               768,
                               1023,
                               1023,
                               {0, 768, 1024, 128},
                               {0, 896, 1024, 126},
                               false,
                               1023,
                               {0, 1023, 1024, 1},
                               1280,
                               768},
                    LayoutCase{"TwoMegDepth8Width1025",
                               2048,
                               8,
                               1025,
                               1024,
                               1279,
                               1637,
                               {0, 1024, 1280, 512},
                               {0, 1536, 1280, 100},
                               false,
                               2045,
                               {0, 1636, 1024, 1},
                               1280,
                               1024},
                    LayoutCase{"OneMegDepth16",
                               1024,
                               16,
                               640,
                               480,
                               2047,
                               511,
                               {0, 480, 2048, 30},
                               {640, 0, 384, 480},
                               false,
                               1022,
                               {0, 511, 2048, 1},
                               640,
                               480}),
    [](const testing::TestParamInfo<LayoutCase> &i) { return std::string(i.param.name); });

// A refused size puts the text mode back before the two messages and the
// fatal one; 512 KB at depth 16 has no layout at all.
TEST(PiloLayoutRefusal, RestoresTextModeThenReportsTheSizes) {
    struct Case {
        int memoryKB, depth, width, height, maxWidth, maxHeight;
    };
    for (const Case &c : {Case{512, 8, 1024, 768, 640, 480}, Case{512, 16, 640, 480, 0, 0}}) {
        harness::Screen s("pilo", boardConfig(c.memoryKB, c.depth, c.width, c.height));
        graf::clearRunLog();
        server::clearErrorMessages();
        EXPECT_FALSE(initOnly(s));
        EXPECT_EQ(s.fatalMessage(), kSizeFatal);
        EXPECT_TRUE(ran("SetText"));
        EXPECT_FALSE(ran("SetGraphics"));
        const std::vector<std::string> &m = server::errorMessages();
        ASSERT_EQ(m.size(), 2u) << s.failureText();
        EXPECT_EQ(m[0], "piloInit(): requested width,height (" + std::to_string(c.width) + ", " +
                            std::to_string(c.height) + ")\n");
        EXPECT_EQ(m[1], "piloInit(): is greater than allowed width,height (" +
                            std::to_string(c.maxWidth) + ", " + std::to_string(c.maxHeight) +
                            ")\n");
        EXPECT_EQ(board(s).engine().stats().commands, 0u);
    }
}

} // namespace
