// The harness's look at a picture that is not linear (4-bit pixels two to a
// byte, 16-bit pixels in two byte halves): a settled comparison, whole or
// within a box, finds every pixel that differs from the mirror and names the
// first in reading order.
#include <gtest/gtest.h>

#include "pilo_fixture.h"

namespace {

using pilotest::smallConfig;

class HarnessPicture : public ::testing::TestWithParam<int> {};

TEST_P(HarnessPicture, SettledComparisonsFindEveryChangedPixel) {
    harness::Screen s("pilo", smallConfig(GetParam(), 64, 16),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    ASSERT_TRUE(s.adapter()->nonLinearPicture());
    s.fillRandom(7);
    EXPECT_EQ(s.compareSettled().count, 0);
    EXPECT_EQ(s.compareSettledIn({0, 0, 64, 16}).count, 0);

    // Two pixels changed behind the mirror's back, the later one in reading
    // order changed first.
    sim::Adapter &a = *s.adapter();
    const uint32_t mask = GetParam() == 4 ? 0xF : 0xFFFF;
    const uint32_t at40 = a.pictureAt(40, 9), at5 = a.pictureAt(5, 12);
    a.setPictureAt(40, 9, ~at40 & mask);
    a.setPictureAt(5, 12, ~at5 & mask);

    ref::Diff whole = s.compareSettled();
    EXPECT_EQ(whole.count, 2);
    EXPECT_EQ(whole.firstX, 40);
    EXPECT_EQ(whole.firstY, 9);
    EXPECT_EQ(whole.want, at40);
    EXPECT_EQ(whole.got, ~at40 & mask);

    struct Case {
        BoxRec box;
        int count, firstX, firstY;
    };
    for (Case c : {Case{{0, 0, 64, 16}, 2, 40, 9}, Case{{0, 10, 64, 16}, 1, 5, 12},
                   Case{{41, 0, 64, 16}, 0, -1, -1}, Case{{40, 9, 41, 10}, 1, 40, 9},
                   Case{{-8, -8, 200, 200}, 2, 40, 9}, Case{{6, 0, 40, 16}, 0, -1, -1}}) {
        SCOPED_TRACE("box " + std::to_string(c.box.x1) + "," + std::to_string(c.box.y1) + " " +
                     std::to_string(c.box.x2) + "," + std::to_string(c.box.y2));
        ref::Diff d = s.compareSettledIn(c.box);
        EXPECT_EQ(d.count, c.count);
        EXPECT_EQ(d.firstX, c.firstX);
        EXPECT_EQ(d.firstY, c.firstY);
    }
    // Put back, the picture is the mirror's again.
    a.setPictureAt(40, 9, at40);
    a.setPictureAt(5, 12, at5);
    EXPECT_EQ(s.compareSettled().count, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, HarnessPicture, ::testing::Values(4, 16),
                         [](const auto &info) { return "Depth" + std::to_string(info.param); });

} // namespace
