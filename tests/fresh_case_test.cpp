// Every test case starts as if in a process of its own: the drivers keep
// static state (their private index, the generation they last saw), so a
// case that met a driver an earlier case had used would see that case's
// state. harness::beginCase() unloads the drivers and restarts the server;
// these cases fail when either is left out.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "server.h"

namespace {

const char *const kDriver = "brisko8";
const char *const kConfig = "cirrus/gd5436/gd5480.graf";

// A driver's first start in a fresh process: the server is new (generation
// 1, no index handed out, nothing allocated), Init asks for the server's
// first screen-private index and the screen draws.
void expectFirstStart() {
    ASSERT_EQ(serverGeneration, 1u);
    ASSERT_EQ(server::screenPrivateCount(), 0);
    ASSERT_EQ(server::liveBlockCount(), 0u);
    ASSERT_TRUE(server::genCalls().empty());
    harness::Screen s(kDriver, harness::loadConfig(kConfig), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), 1);
    s.drawSolidRects({{3, 2, 40, 9}}, 0x5A, GXxor);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
}

// Two cases in a row, as the test programs run them.
TEST(FreshCase, FirstCaseStartsTheDriver) {
    expectFirstStart();
}

TEST(FreshCase, SecondCaseStartsItAgainFromScratch) {
    expectFirstStart();
}

// A library that stays mapped (here: someone else holds it) cannot be
// reloaded; the next case gets a private copy with fresh static state.
TEST(FreshCase, ALibraryStillMappedIsLoadedAsACopy) {
    void *held = dlopen(harness::driverPath(kDriver).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(held, nullptr) << dlerror();
    expectFirstStart();
    harness::beginCase();
    expectFirstStart();
    dlclose(held);
}

// A restarted server with the driver still loaded, as a server that goes on
// running: the driver sees a new generation, asks for its index again and
// draws.
TEST(FreshCase, ARestartedServerStartsALoadedDriverAgain) {
    expectFirstStart();
    harness::restartServer();
    EXPECT_NE(serverGeneration, 1u);
    harness::Screen s(kDriver, harness::loadConfig(kConfig), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(server::screenPrivateCount(), 1);
    s.drawSolidRects({{5, 4, 30, 12}}, 0xA5, GXcopy);
    EXPECT_SCREEN_SAME(s);
}

} // namespace
