// The nte family's screen state under the strict s3 engine model: the mode
// switch with its engine defaults and cleared screen in every variant and
// depth, the return to text mode, the full-extent scissors, blanking, a
// console switch, and the GC validation's choice of records.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

bool visibleScreenIsZero(harness::Screen &s) {
    s.drain();
    const uint8_t *mem = s.screenMemory();
    size_t row = size_t(s.width()) * size_t(s.bytesPerPixel());
    for (int y = 0; y < s.height(); y++)
        for (size_t i = 0; i < row; i++)
            if (mem[size_t(y) * size_t(s.pitch()) + i] != 0)
                return false;
    return true;
}

class NteState : public testing::TestWithParam<Build> {};

// Every write behind a wait that covers it, the 32-bit registers in halves,
// the window turned on by port before the first store into it: any slip is
// a failure the model reports to the test.
TEST_P(NteState, SetGraphicsClearsTheScreenAndSetsTheEngineDefaults) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::S3Adapter &a = board(s);
    s.setClipRegions({{5, 6, 70, 80}});
    s.fillRandom(3);
    s.setGraphics();
    EXPECT_TRUE(visibleScreenIsZero(s));
    const sim::S3Regs &r = a.engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{0, 0, 1023, 767}));
    EXPECT_EQ(r.readMask & s.allPlanes(), s.allPlanes());
    EXPECT_EQ(r.pixelControl, 0xA000);
    EXPECT_EQ(r.writeMask & s.allPlanes(), s.allPlanes());
    EXPECT_EQ(r.fgColour, 0u);
    EXPECT_EQ(a.cr(0x50) & 0x30, b.depth == 8 ? 0x00 : b.depth == 16 ? 0x10 : 0x30);
    if (b.variant == Variant::Tunga) {
        EXPECT_TRUE(r.advancedFunction & 0x20);
    }
    // The OffScreenArea is drawn into again once the scissors are restored.
    s.restoreGState();
    EXPECT_EQ(r.scissorRight, 1023);
    EXPECT_EQ(r.scissorBottom, 1023);
    s.freeScreen();
}

// "SetText" sees an engine that has finished its clear.
TEST_P(NteState, SetTextClearsTheScreenBeforeTheProcedureRuns) {
    const Build &b = GetParam();
    graf::Config c = exampleConfig(b);
    graf::Builder g;
    g.config() = c;
    g.config().procedures["ExampleSetText"] = c.procedures.at("SetText");
    g.procedure("SetText", "status = in16 0x9AE8\n"
                           "if status & 0x200 {\n    fail\n}\n"
                           "call ExampleSetText\nresult = 1\n");
    harness::Screen s(b.name, g.build(), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    s.saveGState();
    EXPECT_EQ(s.setText(), 1);
    EXPECT_FALSE(board(s).enginePortsOn()); // the example text mode
    EXPECT_TRUE(visibleScreenIsZero(s));
    s.setGraphics();
    s.restoreGState();
    s.freeScreen();
}

// The screen given back draws again, into the OffScreenArea too.
TEST_P(NteState, ConsoleSwitchAndDrawAgain) {
    const Build &b = GetParam();
    harness::Screen s(b.name, exampleConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.switchAway();
    s.switchBack();
    s.fillRandom(9);
    s.drawSolidRects({{1, 2, 40, 30}, {1000, 750, 1024, 768}}, 0x1234567 & s.allPlanes(), GXxor);
    s.copyRect({100, 100, 140, 120}, {90, 95});
    s.copyRect({10, 40, 60, 60}, {20, 50});
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
}

INSTANTIATE_TEST_SUITE_P(Builds, NteState, testing::ValuesIn(kBuilds), buildName);

TEST(NteBlank, OnlySr1Bit0x20Changes) {
    harness::Screen s("skerl8", exampleConfig(build("skerl8")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::S3Adapter &a = board(s);
    for (uint8_t before : {0x00, 0x01, 0xDF, 0xFF}) {
        SCOPED_TRACE(int(before));
        for (bool on : {true, false}) {
            a.vga().seq.setReg(0x01, before);
            EXPECT_EQ(s.blankScreen(on), 1);
            EXPECT_EQ(a.sr(0x01), on ? (before | 0x20) : (before & ~0x20));
            EXPECT_EQ(a.blanked(), on);
        }
    }
    s.freeScreen();
}

TEST(NteSaveGState, TouchesNothing) {
    harness::Screen s("tunga24", exampleConfig(build("tunga24")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.saveGState();
    EXPECT_EQ(s.machine().accessCount(), 0u);
    s.freeScreen();
}

// The record a GC gets: by fill style, and for an opaque stipple by whether
// its colours differ, also when only a colour changed.
TEST(NteValidate, RecordByFillStyleAndOpaqueStippleColours) {
    harness::Screen s("pravo8", exampleConfig(build("pravo8")),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3});
    PrivOps *solid = s.nfb()->gcTemplate->ops;
    EXPECT_EQ(s.ops(gc), solid);
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 3}, GCForeground);
    PrivOps *opaque = s.ops(gc);
    EXPECT_NE(opaque, solid);
    // Slot 1 is the driver's own, the others generic.
    EXPECT_NE(reinterpret_cast<void *>(opaque->FillRects),
              reinterpret_cast<void *>(genOpStippledFillRects));
    EXPECT_EQ(reinterpret_cast<void *>(opaque->FS), reinterpret_cast<void *>(genOpStippledFS));
    s.changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4}, GCBackground);
    EXPECT_EQ(s.ops(gc), solid);
    // Other styles do not look at the colours.
    s.changeGC(gc, {.fillStyle = FillTiled, .fg = 4, .bg = 4}, GCFillStyle);
    EXPECT_EQ(reinterpret_cast<void *>(s.ops(gc)->FillRects),
              reinterpret_cast<void *>(genTiledFillRects));
    s.changeGC(gc, {.fillStyle = FillStippled, .fg = 4, .bg = 4}, GCFillStyle);
    EXPECT_NE(reinterpret_cast<void *>(s.ops(gc)->FillRects),
              reinterpret_cast<void *>(genStippledFillRects));
    EXPECT_EQ(reinterpret_cast<void *>(s.ops(gc)->FS), reinterpret_cast<void *>(genStippledFS));
    s.freeScreen();
}

} // namespace
