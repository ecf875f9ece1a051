// The "ibm8514" board model on its own, reached as a driver reaches it: the
// engine's echo and status, the FIFO with data-port words in it, 0xE2E8 as
// background colour or pixel transfer, the pixel stream, the read mask's
// plane choice, absent planes, the across-plane layout, the ATI scissor
// ports and the DAC at the configured ports. Then the driver's image write
// and read through it, against the reference renderer.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "adapter.h"
#include "grafstore.h"
#include "harness.h"
#include "hobra_fixture.h"
#include "machine.h"
#include "models/hobra_board.h"
#include "nfb.h"

namespace {

using sim::HobraAdapter;

class HobraBoardTest : public ::testing::Test {
  public:
    void SetUp() override { build(graf::Builder().adapter("ibm8514")); }

    void build(const graf::Builder &b) {
        adapter.reset();
        sim::Machine::reset();
        m = &sim::Machine::current();
        cfg = b.build();
        adapter.reset(static_cast<HobraAdapter *>(sim::makeAdapter(cfg, *m).release()));
        ASSERT_NE(adapter, nullptr);
        mem = adapter->vram()->data();
    }

    // Status reads until the engine is idle (FIFO empty, not busy).
    void idle() {
        for (int i = 0; i < 100 && (inw(0x9AE8) & 0x201); i++) {
        }
    }
    // A box filled with `colour` by the engine, waited for.
    void fill(int x, int y, int w, int h, uint16_t colour) {
        idle();
        outw(0xFAE8, 0x27);
        outw(0xE6E8, colour);
        outw(0xC6E8, uint16_t(x));
        outw(0xC2E8, uint16_t(y));
        outw(0xD6E8, uint16_t(w - 1));
        outw(0xFEE8, uint16_t(h - 1));
        outw(0x9AE8, 0x80B3);
        idle();
    }
    uint8_t at(int x, int y) const { return mem[y * 1024 + x]; }

    bool failedWith(const std::string &part) const {
        for (const std::string &f : m->failures())
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string failureText() const {
        std::string s;
        for (const std::string &f : m->failures())
            s += f + "\n";
        return s;
    }

    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<HobraAdapter> adapter;
    uint8_t *mem = nullptr;
};

TEST_F(HobraBoardTest, EchoAtPowerOnAndNoneWithoutAnEngine) {
    outw(0xD2E8, 0x123); // the FIFO is empty at power-on: no status read first
    EXPECT_EQ(inw(0xD2E8), 0x123);
    EXPECT_EQ(failureText(), "");

    build(graf::Builder().adapter("ibm8514").string("BOARD", "none"));
    outw(0xD2E8, 0x123);
    EXPECT_EQ(inw(0xD2E8), 0xFFFF);
    EXPECT_EQ(failureText(), ""); // a probe may look where nothing answers
}

TEST_F(HobraBoardTest, StatusShowsQueuedEntriesAndBusyAtBothPorts) {
    idle();
    outw(0xE6E8, 1);
    outw(0xEAE8, 0xFF);
    outw(0xFAE8, 0x27);
    EXPECT_EQ(inw(0xDAE8) & 0xFF, 0x07); // three queued; the read drains one
    EXPECT_EQ(inw(0x9AE8) & 0xFF, 0x03);
    fill(0, 0, 4, 2, 9);
    EXPECT_EQ(inw(0x9AE8) & 0x201, 0);
    outw(0xC6E8, 0);
    outw(0xC2E8, 0);
    outw(0x9AE8, 0x80B3);
    EXPECT_TRUE(inw(0x9AE8) & 0x200);
    idle();
    EXPECT_EQ(at(3, 1), 9);
    EXPECT_EQ(failureText(), "");
}

TEST_F(HobraBoardTest, NinthWriteAndDataWordsBeyondTheRoomAreReported) {
    idle();
    for (int i = 0; i < 8; i++)
        outw(0xE6E8, uint16_t(i));
    EXPECT_EQ(failureText(), "");
    outw(0xE6E8, 8);
    EXPECT_TRUE(failedWith("beyond the FIFO room"));

    // Data words count: six set-up writes leave room for two words.
    build(graf::Builder().adapter("ibm8514"));
    idle();
    outw(0xFAE8, 0x47);
    outw(0xC6E8, 0);
    outw(0xC2E8, 0);
    outw(0xD6E8, 7);
    outw(0xFEE8, 0x0000);
    outw(0x9AE8, 0x53F1);
    outw(0xE2E8, 0x0201);
    outw(0xE2E8, 0x0403);
    EXPECT_EQ(failureText(), "");
    outw(0xE2E8, 0x0605);
    EXPECT_TRUE(failedWith("pixel-data write 0x0605 beyond the FIFO room"));
}

TEST_F(HobraBoardTest, PixelPortIsTheBackgroundColourOutsideATransfer) {
    idle();
    outw(0xE2E8, 0x5A);
    EXPECT_EQ(adapter->engine().regs().bgColour, 0x5Au);
    // A 3 x 3 image: one stream of nine pixels, two a word, left one low.
    outw(0xFAE8, 0x47);
    outw(0xC6E8, 10);
    outw(0xC2E8, 20);
    outw(0xD6E8, 2);
    outw(0xFEE8, 0x0002);
    outw(0x9AE8, 0x53F1);
    idle();
    for (uint16_t w : {0x0201, 0x0403, 0x0605, 0x0807})
        outw(0xE2E8, w);
    EXPECT_TRUE(adapter->engine().transferOwed());
    outw(0xE2E8, 0xEE09); // the high byte is past the box
    EXPECT_FALSE(adapter->engine().transferOwed());
    EXPECT_EQ(adapter->engine().regs().bgColour, 0x5Au);
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++)
            EXPECT_EQ(at(10 + col, 20 + row), 1 + 3 * row + col) << col << ", " << row;
    EXPECT_EQ(at(13, 22), 0);
    EXPECT_EQ(failureText(), "");
}

TEST_F(HobraBoardTest, ReadBackNeedsNoReadyStatusAndRowsStartOnAWord) {
    fill(0, 0, 4, 2, 0x33);
    fill(1, 1, 1, 1, 0x44);
    outw(0xC6E8, 0);
    outw(0xC2E8, 0);
    outw(0xD6E8, 3);
    outw(0xFEE8, 0x0001);
    outw(0x9AE8, 0x53F0); // behind the running fill, through the FIFO
    EXPECT_EQ(inw(0xE2E8), 0x3333);
    EXPECT_EQ(inw(0xE2E8), 0x3333);
    EXPECT_EQ(inw(0xE2E8), 0x4433);
    EXPECT_EQ(inw(0xE2E8), 0x3333);
    EXPECT_FALSE(adapter->engine().transferOwed());
    EXPECT_EQ(failureText(), "");
}

// The read-back may be late, never absent: a read with no read-back
// command pending is reported.
TEST_F(HobraBoardTest, DataReadWithoutAReadBackIsReported) {
    idle();
    inw(0xE2E8);
    EXPECT_TRUE(failedWith("pixel-data read that no command asked for"));
}

// Plane k of an expansion by read-mask bit k + 1, plane 7 by bit 0 (0x101
// as the driver writes it); a colour blit reads through the mask as written.
TEST_F(HobraBoardTest, ReadMaskChoosesThePlaneOfAnExpansion) {
    fill(0, 0, 8, 1, 0x81); // planes 0 and 7
    fill(0, 1, 8, 1, 0x01); // plane 0 only
    struct Case {
        uint16_t readMask;
        uint8_t row0, row1;
    };
    for (const Case &k :
         {Case{0x0101, 0xF0, 0x0F}, Case{0x0002, 0xF0, 0xF0}, Case{0x0004, 0x0F, 0x0F}}) {
        SCOPED_TRACE(k.readMask);
        idle();
        outw(0xEEE8, k.readMask);
        outw(0xFEE8, 0xA0C0);
        outw(0xFAE8, 0x27); // foreground colour where the plane is 1
        outw(0xF6E8, 0x07); // background colour where it is 0
        outw(0xE6E8, 0xF0);
        outw(0xE2E8, 0x0F);
        idle();
        outw(0xC6E8, 0);
        outw(0xC2E8, 0);
        outw(0xCEE8, 100);
        outw(0xCAE8, 0);
        outw(0xD6E8, 7);
        outw(0xFEE8, 0x0001);
        outw(0x9AE8, 0xC0F3);
        idle();
        EXPECT_EQ(at(100, 0), k.row0);
        EXPECT_EQ(at(107, 1), k.row1);
    }
    idle();
    outw(0xFEE8, 0xA000);
    outw(0xEEE8, 0x0F);
    outw(0xFAE8, 0x67); // the source through the read mask, unrotated
    idle();
    outw(0xC6E8, 0);
    outw(0xC2E8, 0);
    outw(0xCEE8, 200);
    outw(0xCAE8, 0);
    outw(0xD6E8, 0);
    outw(0xFEE8, 0x0000);
    outw(0x9AE8, 0xC0F3);
    idle();
    EXPECT_EQ(at(200, 0), 0x01);
    EXPECT_EQ(failureText(), "");
}

TEST_F(HobraBoardTest, AbsentPlanesReadZero) {
    build(graf::Builder().adapter("ibm8514").integer("PLANES", 4));
    fill(0, 0, 2, 1, 0xFF);
    EXPECT_EQ(at(0, 0), 0x0F);
    EXPECT_EQ(at(1, 0), 0x0F);
    EXPECT_EQ(failureText(), "");
}

// Eight pixels a word: leftmost in bit 4, then 3, 2, 1, 12, 11, 10, 9.
TEST_F(HobraBoardTest, AcrossPlaneWordsCarryEightPixels) {
    idle();
    outw(0xFEE8, 0xA080);
    outw(0xFAE8, 0x27);
    outw(0xF6E8, 0x07);
    outw(0xE6E8, 0x0C);
    outw(0xE2E8, 0x03);
    outw(0xC6E8, 0);
    outw(0xC2E8, 0);
    outw(0xD6E8, 15);
    idle();
    outw(0xFEE8, 0x0001);
    outw(0x9AE8, 0x53F3);
    // Row 0: pixels 0 and 7, then 8-15 all on; row 1 starts a new word.
    for (uint16_t w :
         {uint16_t(0x0010 | 0x0200), uint16_t(0x1E1E), uint16_t(0x0008), uint16_t(0x0000)})
        outw(0xE2E8, w);
    idle();
    const std::vector<uint8_t> row0 = {0x0C, 3,    3,    3,    3,    3,    3,    0x0C,
                                       0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C};
    for (int x = 0; x < 16; x++)
        EXPECT_EQ(at(x, 0), row0[size_t(x)]) << x;
    EXPECT_EQ(at(1, 1), 0x0C);
    EXPECT_EQ(at(0, 1), 3);
    EXPECT_EQ(failureText(), "");
}

TEST_F(HobraBoardTest, MultifunctionIndexesAndPortWidths) {
    idle();
    outw(0xFEE8, 0x5006);
    outw(0xFEE8, 0x8000);
    outw(0xFEE8, 0x9000);
    EXPECT_EQ(failureText(), "");
    outw(0xFEE8, 0x6000);
    EXPECT_TRUE(failedWith("multifunction index 6"));
    outb(0xE6E8, 1);
    EXPECT_TRUE(failedWith("8-bit write at 0xE6E8"));
    inw(0xE6E8);
    EXPECT_TRUE(failedWith("write-only"));
}

TEST_F(HobraBoardTest, AtiScissorPortsOnlyOnAtiBoards) {
    build(graf::Builder().adapter("ibm8514").string("BOARD", "ati"));
    idle();
    outw(0xDAEE, 5);
    outw(0xDEEE, 6);
    outw(0xE2EE, 0x1FF);
    outw(0xE6EE, 0x0FF);
    const sim::S3Regs &r = adapter->engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{5, 6, 0x1FF, 0xFF}));
    EXPECT_EQ(failureText(), "");

    build(graf::Builder().adapter("ibm8514"));
    outw(0xDAEE, 5);
    EXPECT_TRUE(failedWith("unclaimed port"));
}

TEST_F(HobraBoardTest, DacAnswersWhereTheKeysPutIt) {
    build(graf::Builder().adapter("ibm8514").integer("PALDATA", 0x3C9));
    outb(0x2EC, 7);
    outb(0x3C9, 0x3F);
    outb(0x3C9, 0x20);
    outb(0x3C9, 0x01);
    outb(0x2EA, 0x0F);
    EXPECT_EQ(adapter->dac().entry(7), (sim::vga::Dac::Entry{0x3F, 0x20, 0x01}));
    EXPECT_EQ(adapter->dac().mask(), 0x0F);
    outb(0x2EB, 7);
    EXPECT_EQ(inb(0x3C9), 0x3F);
    EXPECT_EQ(failureText(), "");
    EXPECT_THROW(build(graf::Builder().adapter("ibm8514").integer("PALDATA", 0x2EA)),
                 std::invalid_argument);
}

// ---- the driver's image routines through the board ----

struct ImageCase {
    BoxRec box;
    int stride; // 0: the width
};

void drawAndRead(harness::Screen &s, const std::vector<ImageCase> &cases, int alu,
                 uint32_t planemask) {
    uint32_t seed = 7;
    for (const ImageCase &k : cases) {
        SCOPED_TRACE(std::to_string(k.box.x1) + "," + std::to_string(k.box.y1) + " " +
                     std::to_string(k.box.x2 - k.box.x1) + "x" +
                     std::to_string(k.box.y2 - k.box.y1) + " stride " + std::to_string(k.stride));
        const int w = k.box.x2 - k.box.x1, h = k.box.y2 - k.box.y1;
        const int stride = k.stride ? k.stride : w;
        // Exactly the image's bytes: a read past them is caught.
        std::vector<uint8_t> pixels(size_t(stride) * size_t(h - 1) + size_t(w));
        for (uint8_t &p : pixels)
            p = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
        s.drawImage(k.box, pixels, stride, alu, planemask);
        EXPECT_SCREEN_SAME(s);
        EXPECT_EQ(s.readImage(k.box, k.stride), s.expectedImage(k.box, k.stride));
    }
}

const std::vector<ImageCase> kImages = {{{3, 2, 6, 5}, 4},      // 3 x 3, stride 4: rows share words
                                        {{0, 0, 1, 3}, 0},      // 1 x 3
                                        {{5, 7, 9, 9}, 4},      // 4 x 2 in one burst
                                        {{10, 1, 13, 2}, 0},    // 3 x 1: an odd total
                                        {{20, 10, 21, 11}, 0},  // 1 x 1
                                        {{1, 12, 18, 17}, 20},  // odd width, odd row count
                                        {{30, 3, 62, 13}, 40}}; // even width, wider stride

TEST(HobraImage, WriteAndReadEveryShape) {
    graf::Config c = hobratest::board(hobratest::kBoard8);
    c.ints["PIXWIDTH"] = 64;
    c.ints["PIXHEIGHT"] = 20;
    harness::Screen s("hobra", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    drawAndRead(s, kImages, GXcopy, ~0u);
    drawAndRead(s, {kImages[0], kImages[5]}, GXxor, 0x5A);
    s.freeScreen();
}

TEST(HobraImage, WaitBeforeDataAtDepth4) {
    graf::Config c = hobratest::board(hobratest::kBoard4);
    c.ints["PIXWIDTH"] = 64;
    c.ints["PIXHEIGHT"] = 20;
    c.ints["OFFSCRX"] = 64;
    c.ints["F82C481"] = 1;
    harness::Screen s("hobra", c, {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    drawAndRead(s, {kImages[0], kImages[1], kImages[5]}, GXand, 0x0E);
    // A fallback draws through the image routines.
    s.drawSolidRects({{2, 2, 40, 9}}, 0x6, GXor, 0x0F);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
}

} // namespace
