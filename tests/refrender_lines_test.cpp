// The reference renderer's thin lines (Polylines, PolySegment, PolyRectangle
// with line width 0) against hand-worked cases: the line rule, cap styles,
// closed polylines, the dashes across joints and afresh per item, double
// dashes, the clip and the drawable origin.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "refrender.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// The pixels of a canvas that are not 0, as (x, y).
Pixels drawn(const ref::Canvas &c) {
    Pixels p;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (c.get(x, y) != 0)
                p.insert({x, y});
    return p;
}

// A row of a canvas as characters: '.' for 0, '#' for 1, 'b' for 2.
std::string row(const ref::Canvas &c, int y, int width) {
    std::string s;
    for (int x = 0; x < width; ++x) {
        const uint32_t v = c.get(x, y);
        s += v == 0 ? '.' : v == 1 ? '#' : v == 2 ? 'b' : '?';
    }
    return s;
}

Pixels linePixels(int x1, int y1, int x2, int y2) {
    Pixels p;
    ref::thinLine(x1, y1, x2, y2, [&](int x, int y) { p.insert({x, y}); });
    return p;
}

TEST(RefLines, ThinLineRuleByHand) {
    // Nearest the true line; the tie at x = 1 (y 0.5) takes y 0.
    EXPECT_EQ(linePixels(0, 0, 4, 2), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(linePixels(4, 2, 0, 0), (Pixels{{4, 2}, {3, 1}, {2, 1}, {1, 0}}));
    EXPECT_EQ(linePixels(0, 0, 1, 3), (Pixels{{0, 0}, {0, 1}, {1, 2}}));
    EXPECT_EQ(linePixels(3, 3, 3, 3), Pixels{});
    EXPECT_EQ(linePixels(0, 0, -3, 3), (Pixels{{0, 0}, {-1, 1}, {-2, 2}}));
}

// Both directions draw one line: each with its end point added, the same
// pixels, one per position along the major axis, each next to the last.
TEST(RefLines, ThinLineIsTheSameBothWaysAndConnected) {
    for (int x2 = -7; x2 <= 7; ++x2)
        for (int y2 = -7; y2 <= 7; ++y2) {
            SCOPED_TRACE(std::to_string(x2) + "," + std::to_string(y2));
            Pixels ab = linePixels(0, 0, x2, y2), ba = linePixels(x2, y2, 0, 0);
            ab.insert({x2, y2});
            ba.insert({0, 0});
            EXPECT_EQ(ab, ba);
            EXPECT_EQ(ab.size(), size_t(std::max(std::abs(x2), std::abs(y2)) + 1));
            std::vector<std::pair<int, int>> order;
            ref::thinLine(0, 0, x2, y2, [&](int x, int y) { order.push_back({x, y}); });
            order.push_back({x2, y2});
            for (size_t i = 1; i < order.size(); ++i) {
                EXPECT_LE(std::abs(order[i].first - order[i - 1].first), 1);
                EXPECT_LE(std::abs(order[i].second - order[i - 1].second), 1);
            }
        }
}

// Under GXxor a pixel drawn twice would vanish: the counts show each pixel
// drawn once, the closed polyline without an extra end pixel.
TEST(RefLines, PolylineEndsAndCapStyles) {
    struct Case {
        std::vector<DDXPointRec> pts;
        int capStyle;
        size_t pixels;
    } cases[] = {
        {{{0, 0}, {10, 0}, {10, 10}, {0, 0}}, 1, 30},
        {{{0, 0}, {10, 0}}, 1, 11},
        {{{0, 0}, {10, 0}}, 0, 10},
        {{{0, 0}, {10, 0}, {10, 10}}, 0, 20},
        {{{3, 3}, {3, 3}}, 1, 1}, // two points always count as open
        {{{3, 3}}, 1, 0},
    };
    for (const Case &k : cases) {
        ref::Canvas c(16, 16, 1, 8);
        ref::LineValues v;
        v.alu = GXxor;
        v.capStyle = k.capStyle;
        ref::polylines(c, v, CoordModeOrigin, k.pts.data(), int(k.pts.size()));
        EXPECT_EQ(drawn(c).size(), k.pixels) << k.pts.size() << " points, cap " << k.capStyle;
    }
}

TEST(RefLines, PreviousModeAndOriginAndClip) {
    ref::LineValues v;
    v.origin = {2, 3};
    const std::vector<DDXPointRec> abs = {{1, 1}, {9, 1}, {9, 6}, {1, 9}};
    const std::vector<DDXPointRec> rel = {{1, 1}, {8, 0}, {0, 5}, {-8, 3}};
    ref::Canvas a(16, 16, 1, 8), b(16, 16, 1, 8);
    ref::polylines(a, v, CoordModeOrigin, abs.data(), 4);
    ref::polylines(b, v, CoordModePrevious, rel.data(), 4);
    EXPECT_EQ(drawn(a), drawn(b));
    EXPECT_TRUE(drawn(a).count({3, 4}));  // (1, 1) at the origin (2, 3)
    EXPECT_TRUE(drawn(a).count({3, 12})); // the last point

    // Two clip boxes: only their pixels.
    v.clip = {{0, 0, 8, 5}, {10, 10, 16, 16}};
    ref::Canvas c(16, 16, 1, 8);
    ref::polylines(c, v, CoordModeOrigin, abs.data(), 4);
    for (const auto &[x, y] : drawn(c))
        EXPECT_TRUE((x < 8 && y < 5) || (x >= 10 && y >= 10)) << x << "," << y;
    EXPECT_EQ(drawn(c), (Pixels{{3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}));
}

TEST(RefLines, DashesRunOnAcrossJointsAndStartAfreshPerItem) {
    ref::LineValues v;
    v.lineStyle = 1;
    v.dashes = {4, 4};
    v.dashOffset = 10; // index 2 of 8
    ref::Canvas c(20, 6, 1, 8);
    const DDXPointRec line[] = {{0, 0}, {15, 0}};
    ref::polylines(c, v, CoordModeOrigin, line, 2);
    EXPECT_EQ(row(c, 0, 16), "##....####....##");

    // A joint at x 5: the second segment goes on with the pattern.
    const DDXPointRec bent[] = {{0, 2}, {5, 2}, {5, 5}};
    v.dashOffset = 0;
    v.dashes = {3, 2};
    ref::polylines(c, v, CoordModeOrigin, bent, 3);
    EXPECT_EQ(row(c, 2, 6), "###..#");
    EXPECT_EQ(c.get(5, 3), 1u);
    EXPECT_EQ(c.get(5, 4), 1u);
    EXPECT_EQ(c.get(5, 5), 0u); // the end pixel, index 3

    // Segments: each from the offset.
    ref::Canvas s(10, 3, 1, 8);
    const xSegment segs[] = {{0, 0, 9, 0}, {0, 2, 9, 2}};
    ref::polySegment(s, v, segs, 2);
    EXPECT_EQ(row(s, 0, 10), "###..###..");
    EXPECT_EQ(row(s, 2, 10), "###..###..");
}

TEST(RefLines, DoubleDashAndOddLists) {
    ref::LineValues v;
    v.lineStyle = 2;
    v.fg = 1;
    v.bg = 2;
    v.dashes = {2, 1, 3}; // odd: twice over, on and off trading places
    v.capStyle = 0;
    ref::Canvas c(16, 1, 1, 8);
    const DDXPointRec line[] = {{0, 0}, {13, 0}};
    ref::polylines(c, v, CoordModeOrigin, line, 2);
    EXPECT_EQ(row(c, 0, 14), "##b###bb#bbb#.");
}

TEST(RefLines, RectangleOutlines) {
    ref::LineValues v;
    v.alu = GXxor;
    ref::Canvas c(12, 8, 1, 8);
    const xRectangle r[] = {{1, 1, 5, 3}};
    ref::polyRectangle(c, v, r, 1);
    EXPECT_EQ(row(c, 0, 8), "........");
    EXPECT_EQ(row(c, 1, 8), ".######.");
    EXPECT_EQ(row(c, 2, 8), ".#....#.");
    EXPECT_EQ(row(c, 4, 8), ".######.");

    // Dashes clockwise from the top-left corner, afresh per rectangle.
    v.alu = GXcopy;
    v.lineStyle = 1;
    v.dashes = {3, 3};
    ref::Canvas d(12, 8, 1, 8);
    const xRectangle two[] = {{0, 0, 4, 2}, {6, 0, 4, 2}};
    ref::polyRectangle(d, v, two, 2);
    EXPECT_EQ(row(d, 0, 11), "###...###..");
    EXPECT_EQ(row(d, 1, 11), "...........");
    EXPECT_EQ(row(d, 2, 11), "..###...###");
}

} // namespace
