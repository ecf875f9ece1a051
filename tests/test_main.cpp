// The test programs' main: every test case runs in one process, each starting
// as if in a process of its own (harness::beginCase(): fresh driver copies, a
// fresh server and machine), which is much cheaper than a process per case.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

class FreshCase : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &) override { harness::beginCase(); }
};

} // namespace

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new FreshCase);
    return RUN_ALL_TESTS();
}
