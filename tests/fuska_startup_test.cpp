// fuska start-up, mode set, off-screen layout, blanking and console switch.
#include <gtest/gtest.h>

#include "harness.h"
#include "models/fuska_adapter.h"

namespace {

TEST(FuskaStartup, Smoke) {
    graf::Config cfg = harness::loadConfig("cirrus/fuska/fuska.graf");
    harness::Screen s("fuska", cfg, {.pitch = 2048, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    auto *a = dynamic_cast<sim::FuskaAdapter *>(s.adapter());
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->graphicsMode());
}

} // namespace
