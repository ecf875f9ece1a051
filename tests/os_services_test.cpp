// The system calls and frame-buffer layer services the stand-in supplies for
// the drivers beside the server's: clock and perror, the layer's mask tables,
// its QueryBestSize and its screen set-up.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "clock_perror.h"
#include "machine.h"
#include "nfb.h"
#include "server.h"

namespace {

TEST(StandInClock, CountsMicrosecondsOfTheMachineAndWrapsAt32Bits) {
    sim::Machine &m = sim::Machine::current();
    const auto first = static_cast<uint32_t>(clock());
    EXPECT_EQ(static_cast<uint32_t>(clock()) - first, 1u) << "every call lets a tick pass";
    nap(2);
    EXPECT_EQ(static_cast<uint32_t>(clock()) - first, 2002u) << "nap moves the same clock";

    m.advance(0xFFFFFFFFull - (m.nowMicros() & 0xFFFFFFFFull) - 2);
    const auto before = static_cast<uint32_t>(clock());
    EXPECT_EQ(before, 0xFFFFFFFEu);
    clock();
    clock();
    const auto after = static_cast<uint32_t>(clock());
    EXPECT_EQ(after, 1u);
    EXPECT_EQ(after - before, 3u) << "an unsigned difference across the wrap";
}

TEST(StandInPerror, PrintsAsTheCLibraryAndKeepsItsLines) {
    sim::clearPerrorLines();
    errno = ENOENT;
    perror("/dev/X/pci");
    errno = EINVAL;
    perror("PCI_FIND_CLASS");
    perror(nullptr);
    EXPECT_EQ(errno, EINVAL) << "perror leaves errno alone";
    ASSERT_EQ(sim::perrorLines().size(), 3u);
    EXPECT_EQ(sim::perrorLines()[0], "/dev/X/pci: No such file or directory");
    EXPECT_EQ(sim::perrorLines()[1], "PCI_FIND_CLASS: Invalid argument");
    EXPECT_EQ(sim::perrorLines()[2], "Invalid argument");
}

TEST(FrameBufferTables, MasksCountPixelsFromTheLeastSignificantBit) {
    EXPECT_EQ(starttab[0], 0u);
    EXPECT_EQ(endtab[0], 0u);
    for (int i = 1; i < 32; i++) {
        EXPECT_EQ(starttab[i], 0xFFFFFFFFu << i) << i;
        EXPECT_EQ(endtab[i], (1u << i) - 1) << i;
        EXPECT_EQ(starttab[i] | endtab[i], 0xFFFFFFFFu);
    }
    EXPECT_EQ(partmasks[0][0], 0u);
    EXPECT_EQ(partmasks[3][4], 0x78u);
    EXPECT_EQ(partmasks[0][31], 0x7FFFFFFFu);
    EXPECT_EQ(partmasks[30][5], 0xC0000000u) << "pixels past the word are dropped";
}

TEST(FrameBufferQueryBestSize, ClampsCursorsAndRoundsPatterns) {
    ScreenRec screen{};
    screen.width = 640;
    screen.height = 480;
    struct Case {
        int cls;
        uint16_t w, h, bestW, bestH;
    } cases[] = {
        {CursorShape, 64, 64, 64, 64}, {CursorShape, 1000, 900, 640, 480},
        {TileShape, 5, 7, 8, 7},       {TileShape, 0, 3, 32, 3},
        {StippleShape, 32, 1, 32, 1},  {StippleShape, 40, 2, 64, 2},
    };
    for (const Case &c : cases) {
        uint16_t w = c.w, h = c.h;
        mfbQueryBestSize(c.cls, &w, &h, &screen);
        EXPECT_EQ(w, c.bestW) << c.cls << " " << c.w;
        EXPECT_EQ(h, c.bestH) << c.cls << " " << c.h;
    }
}

TEST(FrameBufferScreenInit, CreatesTheDevPrivateRecordOverTheFrameBuffer) {
    ScreenPtr screen = server::createScreen(0);
    static uint8_t frameBuffer[64 * 48];
    ASSERT_TRUE(cfbScreenInit(screen, frameBuffer, 64, 48, 20, 15, 64));
    ASSERT_NE(screen->devPrivate, nullptr);
    const PixmapRec &pixmap = static_cast<nfbScreenPrivate *>(screen->devPrivate)->screenPixmap;
    EXPECT_EQ(pixmap.devPrivate, frameBuffer);
    EXPECT_EQ(pixmap.devKind, 64);
    EXPECT_EQ(pixmap.drawable.width, 64);
    EXPECT_EQ(screen->height, 48);
    server::destroyScreen(screen);
}

} // namespace
