// The nte family's image slots under the strict s3 engine model, in every
// variant and depth: pixel images written through the transfer port or the
// engine window and read back three ways, monochrome images from every
// starting bit, under a client clip and left of column 0, and glyphs. Pixels
// are compared with the reference renderer. Caller buffers end exactly at
// their last row's data, so a read past it is caught by the address
// sanitizer; transfer counts show what crosses the bus.
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

// Rows of `rowBytes` at `stride`, the buffer ending at the last row's data.
std::vector<uint8_t> rows(int h, int stride, int rowBytes, uint32_t seed) {
    return randomBytes(size_t(h - 1) * size_t(stride) + size_t(rowBytes), seed);
}

class NteImage : public testing::TestWithParam<Build> {
  protected:
    void start(graf::Config c) {
        s = std::make_unique<harness::Screen>(GetParam().name, c,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        server::clearGenCalls();
        engine().clearStats();
    }
    void SetUp() override { start(smallConfig(GetParam())); }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::S3EngineCore &engine() { return board(*s).engine(); }
    int clientBytes() const { return GetParam().bitsPerPixel / 8; }
    std::vector<uint32_t> masks() const { return {s->allPlanes(), s->allPlanes() & 0xA5F0F3u}; }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    // A client image of `b`, `extra` bytes of stride beyond each row; the
    // pixels keep to the depth's bits, as the server's do.
    std::vector<uint8_t> image(const BoxRec &b, int extra, uint32_t seed, int *stride) {
        int row = (b.x2 - b.x1) * clientBytes();
        *stride = row + extra;
        std::vector<uint8_t> v = rows(b.y2 - b.y1, *stride, row, seed);
        if (GetParam().depth == 24)
            for (size_t i = 3; i < v.size(); i += 4)
                v[i] = 0;
        return v;
    }
    void expectEngineDefaults() {
        const sim::S3Regs &r = engine().regs();
        EXPECT_EQ(r.pixelControl, 0xA000);
        EXPECT_EQ(r.scissorLeft, 0);
    }

    std::unique_ptr<harness::Screen> s;
};

const std::vector<BoxRec> kImageBoxes = {box(0, 0, 1, 1),     box(3, 5, 40, 6),
                                         box(17, 20, 24, 31), box(631, 40, 640, 48),
                                         box(100, 2, 137, 9), box(0, 0, 640, 3)};

// Odd widths, strides beyond the row, every alu under full and partial masks.
TEST_P(NteImage, DrawImageUnderEveryAluAndMask) {
    uint32_t seed = 1;
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            for (const BoxRec &b : kImageBoxes) {
                int stride;
                std::vector<uint8_t> px = image(b, int(seed % 4) * 3, seed, &stride);
                s->drawImage(b, px, stride, alu, pm);
                seed++;
            }
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCalls().empty());
}

// (w + 1) / 2 transfers a row at 8 bits (the odd last pixel alone in a
// padded one), w at 16, 2w at 32-bit pixels.
TEST_P(NteImage, DrawImageSendsTheRowsTransfersAndNoMore) {
    const BoxRec b = box(10, 10, 17, 13); // 7 wide
    int stride;
    std::vector<uint8_t> px = image(b, 0, 3, &stride);
    s->drawImage(b, px, stride);
    EXPECT_SCREEN_SAME(*s);
    int perRow = GetParam().bitsPerPixel == 8 ? 4 : GetParam().bitsPerPixel == 16 ? 7 : 14;
    EXPECT_EQ(engine().stats().transfersIn, uint64_t(perRow) * 3u);
    EXPECT_FALSE(engine().transferOwed());
}

// What was drawn comes back, at strides beyond the row, the bytes between
// rows untouched.
TEST_P(NteImage, ReadImageGivesBackWhatWasDrawn) {
    uint32_t seed = 40;
    for (const BoxRec &b : kImageBoxes) {
        SCOPED_TRACE(std::to_string(b.x1) + "," + std::to_string(b.y1) + " " +
                     std::to_string(b.x2 - b.x1) + "x" + std::to_string(b.y2 - b.y1));
        int stride;
        std::vector<uint8_t> px = image(b, 0, seed++, &stride);
        s->drawImage(b, px, stride);
        std::vector<uint8_t> back = s->readImage(b);
        ASSERT_GE(back.size(), px.size());
        EXPECT_TRUE(std::equal(px.begin(), px.end(), back.begin()));
        int wide = stride + 5;
        EXPECT_EQ(s->readImage(b, wide), s->expectedImage(b, wide));
    }
    // Over the random screen, after an xor through a partial mask.
    s->drawSolidRects({box(0, 0, 640, 48)}, colour(7), GXxor, masks()[1]);
    const BoxRec all = box(0, 0, 640, 48);
    EXPECT_EQ(s->readImage(all), s->expectedImage(all));
    EXPECT_FALSE(engine().transferOwed());
}

// Bitmap of `b` from starting bit `startBit`, ending at the last byte the
// last row uses.
std::vector<uint8_t> bitmap(const BoxRec &b, int startBit, int stride, uint32_t seed) {
    int rowBytes = (startBit + (b.x2 - b.x1) + 7) / 8;
    return rows(b.y2 - b.y1, stride, rowBytes, seed);
}

// Every starting bit 0 to 31, transparent and opaque, at several widths and
// edges of the screen, x1 = 0 and x1 smaller than the bit offset included.
TEST_P(NteImage, MonoImagesFromEveryStartingBit) {
    const std::vector<BoxRec> boxes = {box(0, 0, 9, 5), box(2, 6, 35, 10), box(40, 12, 41, 15),
                                       box(600, 20, 640, 26), box(101, 30, 118, 48)};
    uint32_t seed = 100;
    for (int startBit = 0; startBit < 32; startBit++) {
        SCOPED_TRACE("starting bit " + std::to_string(startBit));
        for (const BoxRec &b : boxes) {
            int stride = (startBit + (b.x2 - b.x1) + 7) / 8 + int(seed % 3);
            std::vector<uint8_t> bits = bitmap(b, startBit, stride, seed);
            if (seed % 2)
                s->drawMonoImage(b, bits, startBit, stride, colour(seed), GXcopy);
            else
                s->drawOpaqueMonoImage(b, bits, startBit, stride, colour(seed), colour(seed + 1),
                                       GXxor);
            seed++;
        }
        EXPECT_SCREEN_SAME(*s);
    }
    expectEngineDefaults();
}

TEST_P(NteImage, MonoImagesUnderEveryAluAndMask) {
    const BoxRec b = box(30, 3, 77, 20);
    uint32_t seed = 7;
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            int startBit = int(seed % 16);
            int stride = (startBit + 47 + 7) / 8 + 1;
            std::vector<uint8_t> bits = bitmap(b, startBit, stride, seed);
            s->drawMonoImage(b, bits, startBit, stride, colour(seed), alu, pm);
            const BoxRec o = box(100, 21, 131, 40);
            std::vector<uint8_t> more = bitmap(o, startBit, stride, seed + 50);
            s->drawOpaqueMonoImage(o, more, startBit, stride, colour(seed + 1), colour(seed + 2),
                                   alu, pm);
            seed++;
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCalls().empty());
}

// Starting bit 13: the rows start one byte in, the engine's rectangle 5
// pixels left of x1, and the left scissor hides them.
TEST_P(NteImage, StartingBit13SkipsAByteAndCutsFivePixels) {
    const BoxRec b = box(20, 4, 31, 8); // 11 wide: 16 bits from the rectangle's start
    const int stride = 4;
    std::vector<uint8_t> bits = bitmap(b, 13, stride, 21);
    bits[0] = 0xFF; // the first byte is skipped whatever it holds
    s->drawOpaqueMonoImage(b, bits, 13, stride, colour(1), colour(2), GXcopy);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(engine().stats().transfersIn, 4u) << "one 16-bit transfer a row";
    expectEngineDefaults();
}

// Under a client clip the left scissor never opens left of it, and the clip
// is there again afterwards.
TEST_P(NteImage, MonoImageUnderAClientClip) {
    const BoxRec clip = box(50, 0, 300, 48);
    s->setClipRegions({clip});
    const BoxRec b = box(40, 10, 90, 30); // starts left of the clip
    const int startBit = 6, stride = 8;
    std::vector<uint8_t> bits = bitmap(b, startBit, stride, 5);
    ref::Canvas before = s->mirror();
    s->drawOpaqueMonoImage(b, bits, startBit, stride, colour(3), colour(4), GXcopy);
    for (int y = b.y1; y < b.y2; y++)
        for (int x = b.x1; x < clip.x1; x++)
            s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(engine().regs().scissorLeft, 50);
    EXPECT_EQ(engine().regs().scissorRight, 299);
    // A fill left of the clip still draws nothing there.
    before = s->mirror();
    s->drawSolidRects({box(0, 40, 100, 44)}, colour(5), GXcopy);
    for (int y = 40; y < 44; y++)
        for (int x = 0; x < clip.x1; x++)
            s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    s->setClipRegions({});
    expectEngineDefaults();
}

// A glyph 9 wide sends its 2 bytes a row as one word; 17 wide a word and the
// odd byte. Bits beyond the glyph in its padded rows never show.
TEST_P(NteImage, GlyphsSendTheirRowsInWordsAndAnOddByte) {
    struct Case {
        int width, transfersPerRow;
    };
    for (Case c : {Case{9, 1}, Case{17, 2}, Case{8, 1}, Case{1, 1}, Case{33, 3}}) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        const int h = 6, stride = (c.width + 7) / 8 + 2;
        std::vector<std::vector<uint8_t>> bitmaps;
        std::vector<MonoGlyphRec> glyphs;
        for (int i = 0; i < 3; i++) {
            bitmaps.push_back(rows(h, stride, (c.width + 7) / 8, uint32_t(c.width * 10 + i)));
            int x = 5 + i * (c.width + 2);
            glyphs.push_back({box(x, 7 * i, x + c.width, 7 * i + h), stride, nullptr, i});
        }
        for (int i = 0; i < 3; i++)
            glyphs[size_t(i)].bits = bitmaps[size_t(i)].data();
        engine().clearStats();
        s->drawMonoGlyphs(glyphs, colour(uint32_t(c.width)), GXcopy);
        EXPECT_EQ(engine().stats().transfersIn, uint64_t(3 * h * c.transfersPerRow));
        EXPECT_SCREEN_SAME(*s);
    }
    expectEngineDefaults();
}

TEST_P(NteImage, GlyphsUnderEveryAluAndMask) {
    std::vector<uint8_t> a = rows(13, 3, 3, 1), b = rows(10, 2, 2, 2);
    uint32_t seed = 1;
    for (uint32_t pm : masks())
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            std::vector<MonoGlyphRec> glyphs = {{box(3, 2, 20, 15), 3, a.data(), 1},
                                                {box(25, 30, 34, 40), 2, b.data(), 2},
                                                {box(40, 2, 40, 9), 2, b.data(), 3}}; // empty
            s->drawMonoGlyphs(glyphs, colour(seed++), alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, NteImage, testing::ValuesIn(kBuilds), buildName);

// ---- how each variant reads ----

// tunga reads a row of whole 32-bit words as one block of 32-bit loads
// unless PIXTRANSEXTBUG is set; any other row is 16-bit loads and, at 8
// bits, one byte load for the odd pixel.
TEST(NteTungaRead, RowsOfWholeWordsGoAsBlocksUnlessTheChipCannot) {
    struct Case {
        const char *build;
        int width, bug;
        int loads32, loads16, loads8; // per row
    };
    const Case cases[] = {
        {"tunga8", 7, 0, 0, 3, 1},  {"tunga8", 8, 0, 2, 0, 0},  {"tunga8", 8, 1, 0, 4, 0},
        {"tunga8", 7, 1, 0, 3, 1},  {"tunga16", 3, 0, 0, 3, 0}, {"tunga16", 4, 0, 2, 0, 0},
        {"tunga16", 4, 1, 0, 4, 0}, {"tunga24", 3, 0, 3, 0, 0}, {"tunga24", 3, 1, 0, 6, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.build) + " " + std::to_string(c.width) + " wide, bug " +
                     std::to_string(c.bug));
        harness::beginCase();
        graf::Config cfg = smallConfig(build(c.build));
        cfg.ints["PIXTRANSEXTBUG"] = c.bug;
        harness::Screen s(c.build, cfg, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(3);
        const BoxRec b = box(5, 6, 5 + c.width, 10);
        s.drain();
        s.machine().clearTrace();
        std::vector<uint8_t> got = s.readImage(b);
        int widths[5] = {};
        for (const sim::Access &a : s.machine().trace())
            if (a.kind == sim::Access::MemRead && a.address < 0x8000)
                widths[a.width]++;
        EXPECT_EQ(widths[4], 4 * c.loads32);
        EXPECT_EQ(widths[2], 4 * c.loads16);
        EXPECT_EQ(widths[1], 4 * c.loads8);
        EXPECT_EQ(got, s.expectedImage(b));
        s.freeScreen();
    }
}

// tunga writes a row of whole 32-bit words as one block of 32-bit stores
// over consecutive window addresses, any other row as 16-bit stores to the
// window's start.
TEST(NteTungaWrite, RowsOfWholeWordsGoAsBlocks) {
    struct Case {
        const char *build;
        int width;
        int stores32, stores16; // per row
    };
    const Case cases[] = {{"tunga8", 8, 2, 0},  {"tunga8", 7, 0, 4},  {"tunga8", 6, 0, 3},
                          {"tunga16", 3, 0, 3}, {"tunga16", 4, 2, 0}, {"tunga24", 3, 3, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.build) + " " + std::to_string(c.width) + " wide");
        harness::beginCase();
        const Build &b = build(c.build);
        harness::Screen s(c.build, smallConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        const BoxRec bx = box(5, 6, 5 + c.width, 10);
        const int row = c.width * b.bitsPerPixel / 8;
        std::vector<uint8_t> px = rows(4, row, row, uint32_t(c.width));
        if (b.depth == 24)
            for (size_t i = 3; i < px.size(); i += 4)
                px[i] = 0;
        s.drain();
        s.machine().clearTrace();
        s.drawImage(bx, px, row);
        int widths[5] = {};
        std::vector<uint32_t> blockAddresses;
        for (const sim::Access &a : s.machine().trace())
            if (a.kind == sim::Access::MemWrite && a.address < 0x8000) {
                widths[a.width]++;
                if (a.width == 4 && blockAddresses.size() < size_t(c.stores32))
                    blockAddresses.push_back(a.address);
            }
        EXPECT_EQ(widths[4], 4 * c.stores32);
        EXPECT_EQ(widths[2], 4 * c.stores16);
        for (size_t i = 0; i < blockAddresses.size(); i++)
            EXPECT_EQ(blockAddresses[i], 4 * i);
        EXPECT_SCREEN_SAME(s);
        s.freeScreen();
    }
}

// skerl reads back through the port exactly the words a row holds; pravo
// reads the frame buffer and leaves the engine alone.
TEST(NteRead, SkerlReadsExactlyTheRowsWordsAndPravoNone) {
    struct Case {
        const char *build;
        int width;
        uint64_t wordsPerRow;
    };
    for (Case c : {Case{"skerl16", 5, 5}, Case{"skerl8", 5, 3}, Case{"skerl24", 5, 10},
                   Case{"pravo16", 5, 0}}) {
        SCOPED_TRACE(std::string(c.build) + " " + std::to_string(c.width) + " wide");
        harness::beginCase();
        harness::Screen s(c.build, smallConfig(build(c.build)),
                          {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(8);
        sim::S3EngineCore &e = board(s).engine();
        e.clearStats();
        const BoxRec b = box(3, 4, 3 + c.width, 11);
        EXPECT_EQ(s.readImage(b), s.expectedImage(b));
        EXPECT_EQ(e.stats().transfersOut, c.wordsPerRow * 7u);
        EXPECT_FALSE(e.transferOwed());
        s.freeScreen();
    }
}

// A monochrome image whose rectangle starts left of column 0 wraps to the
// right end of the engine's 12-bit space. With an OffScreenArea asked to
// reach column 4095 (the driver cuts it to the engine's line) the wrapped
// pixels must not land in video memory lines further down, and the right
// scissor is as it was afterwards.
TEST(NteMonoWrap, PixelsLeftOfColumnZeroNeverReachVideoMemory) {
    for (const char *name : {"pravo8", "skerl16", "tunga24"}) {
        SCOPED_TRACE(name);
        harness::beginCase();
        graf::Config cfg = smallConfig(build(name));
        cfg.ints["OSX"] = 0;
        cfg.ints["OSY"] = 48;
        cfg.ints["OSWIDTH"] = 4096;
        cfg.ints["OSHEIGHT"] = 16;
        harness::Screen s(name, cfg, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        const int right = board(s).engine().regs().scissorRight;
        s.fillRandom(6);
        const BoxRec b = box(2, 4, 30, 20);
        std::vector<uint8_t> bits(size_t(16 * 6), 0xFF);
        s.drawOpaqueMonoImage(b, bits, 13, 6, 0x55, 0xAA, GXcopy);
        s.drawMonoImage(box(0, 22, 9, 30), bits, 7, 6, 0x33, GXxor);
        EXPECT_SCREEN_SAME(s);
        EXPECT_EQ(board(s).engine().regs().scissorRight, right);
        s.freeScreen();
    }
}

} // namespace
