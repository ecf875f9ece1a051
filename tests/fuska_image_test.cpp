// fuska image write and read at the four depths: plain copies by the
// processor, other alus and plane masks staged in the ScratchArea and copied
// by the engine, GXnor, GXnand and partial depth-24 masks in software; images
// taller than the ScratchArea in halves; read-back. Pixels against the
// reference renderer, paths by the engine's log.
#include "fuska_fixture.h"

namespace {

using namespace fuskatest;

class FuskaImage : public FuskaScreen {};

struct ImageBox {
    const char *name;
    BoxRec box;
};

const ImageBox kBoxes[] = {
    {"odd width", {3, 5, 40, 22}},
    {"one pixel", {199, 79, 200, 80}},
    {"one column", {17, 0, 18, 80}},
    {"full rows", {0, 30, 200, 33}},
    {"odd origin and size", {101, 41, 178, 76}},
};

TEST_P(FuskaImage, EveryAluAndPlaneMaskMatchesTheRenderer) {
    startScreen();
    uint32_t seed = 1;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks)
            for (const ImageBox &b : kBoxes) {
                SCOPED_TRACE(caseName(alu, pm) + ", " + b.name);
                engine().clearLog();
                int w = b.box.x2 - b.box.x1, h = b.box.y2 - b.box.y1;
                int stride = w * clientBytes() + 3;
                s->drawImage(b.box, randomImage(h, stride, seed++), stride, alu, pm);
                uint32_t full = s->allPlanes() | (depth == 15 ? 0x8000u : 0u);
                bool plainCopy = alu == GXcopy && (pm & full) == full;
                bool engineCopy = !plainCopy && !fallsBack(depth, alu, pm);
                EXPECT_EQ(log().size(), engineCopy ? 1u : 0u);
                if (engineCopy) {
                    EXPECT_EQ(log()[0].kind, sim::FuskaOpKind::Copy);
                    EXPECT_EQ(log()[0].srcX, 0);
                    EXPECT_EQ(log()[0].srcY, kScratchY);
                    EXPECT_EQ(log()[0].dstX, b.box.x1);
                    EXPECT_EQ(log()[0].width, w);
                }
                EXPECT_SCREEN_SAME(*s);
            }
}

// The examples of the image paths: a GXxor image at depth 16 with a
// partial mask goes through the engine, at depth 24 through software.
TEST_P(FuskaImage, PartialMaskPathByDepth) {
    startScreen();
    const uint32_t pm = depth == 24 ? 0xF0F0Fu : 0xF0Fu;
    BoxRec box = {10, 10, 73, 50};
    int stride = 63 * clientBytes();
    s->drawImage(box, randomImage(40, stride, 9), stride, GXxor, pm);
    EXPECT_EQ(opsOf(sim::FuskaOpKind::Copy), depth == 24 ? 0u : 1u);
    EXPECT_SCREEN_SAME(*s);
}

// Back-to-back staged images: each waits for the previous copy before it
// rewrites the ScratchArea (the strict model reports any access while busy).
TEST_P(FuskaImage, StagedImagesWaitForTheEngine) {
    startScreen();
    engine().setBusyReads(50);
    for (int i = 0; i < 6; i++) {
        BoxRec box = {int16_t(i * 20), int16_t(i * 5), int16_t(i * 20 + 45), int16_t(i * 5 + 30)};
        int stride = 45 * clientBytes();
        s->drawImage(box, randomImage(30, stride, 30 + uint32_t(i)), stride, GXxor);
        s->drawImage(box, randomImage(30, stride, 40 + uint32_t(i)), stride, GXor);
        s->drawImage(box, randomImage(30, stride, 50 + uint32_t(i)), stride, GXcopy);
    }
    EXPECT_SCREEN_SAME(*s);
}

// An image taller than the ScratchArea (6 lines here) is drawn in halves,
// and halves of halves, each with its own engine copy, top first.
TEST_P(FuskaImage, TallImagesGoInHalves) {
    startScreen(kSmallMemSize);
    BoxRec box = {5, 10, 150, 30};
    int stride = 145 * clientBytes();
    s->drawImage(box, randomImage(20, stride, 5), stride, GXequiv, depth == 24 ? ~0u : 0x3Cu);
    ASSERT_EQ(log().size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log()[i].height, 5);
        EXPECT_EQ(log()[i].dstY, 10 + 5 * int(i));
        EXPECT_EQ(log()[i].srcY, kScratchY);
    }
    // An odd height splits unevenly: 13 into 6 and 7, 7 into 3 and 4.
    engine().clearLog();
    BoxRec odd = {0, 50, 200, 63};
    stride = 200 * clientBytes();
    s->drawImage(odd, randomImage(13, stride, 6), stride, GXor);
    ASSERT_EQ(log().size(), 3u);
    EXPECT_EQ(log()[0].height, 6);
    EXPECT_EQ(log()[1].height, 3);
    EXPECT_EQ(log()[2].height, 4);
    EXPECT_EQ(log()[2].dstY, 59);
    EXPECT_SCREEN_SAME(*s);
}

// The whole screen at once through each path.
TEST_P(FuskaImage, LargeImages) {
    startScreen();
    BoxRec box = {0, 0, kWidth, kHeight};
    int stride = kWidth * clientBytes();
    for (int alu : {GXcopy, GXandReverse, GXnand}) {
        SCOPED_TRACE(alu);
        s->drawImage(box, randomImage(kHeight, stride, uint32_t(alu)), stride, alu);
        EXPECT_SCREEN_SAME(*s);
    }
}

TEST_P(FuskaImage, EmptyBoxesDrawNothing) {
    startScreen();
    std::vector<uint8_t> pixels(64, 0xA5);
    for (int alu : {GXcopy, GXxor, GXnand})
        for (BoxRec box : {BoxRec{10, 10, 10, 20}, BoxRec{10, 10, 20, 10}}) {
            s->drawImage(box, pixels, 16, alu);
        }
    EXPECT_TRUE(log().empty());
    EXPECT_SCREEN_SAME(*s);
}

TEST_P(FuskaImage, ReadBack) {
    startScreen();
    // Leave the engine running: the read must wait for it.
    engine().setBusyReads(50);
    s->drawSolidRects({{0, 0, 200, 80}}, colour(3), GXxor);
    struct {
        BoxRec box;
        int stride; // 0: the box width in client pixels
    } cases[] = {
        {{0, 0, 200, 80}, 0},    {{3, 7, 40, 8}, 0},        {{199, 0, 200, 80}, 0},
        {{11, 13, 48, 41}, 200}, {{150, 70, 199, 79}, 256},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.box.x1);
        // The prefill stays in the padding and, at depth 24, in the fourth byte
        // of every pixel.
        EXPECT_EQ(s->readImage(c.box, c.stride, 0xEE), s->expectedImage(c.box, c.stride, 0xEE));
        EXPECT_EQ(s->readImage(c.box, c.stride, 0x11), s->expectedImage(c.box, c.stride, 0x11));
    }
}

// What the driver writes reads back unchanged.
TEST_P(FuskaImage, WriteThenReadRoundTrips) {
    startScreen();
    BoxRec box = {7, 3, 130, 61};
    int w = 123, h = 58, stride = w * clientBytes();
    std::vector<uint8_t> pixels = randomImage(h, stride, 77);
    if (clientBytes() == 4)
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 0xEE; // the top byte is not stored; the read leaves the prefill
    s->drawImage(box, pixels, stride, GXcopy);
    std::vector<uint8_t> back = s->readImage(box, stride, 0xEE);
    pixels.resize(back.size());
    EXPECT_EQ(back, pixels);
}

INSTANTIATE_TEST_SUITE_P(Depths, FuskaImage, testing::Values(8, 15, 16, 24), depthName);

} // namespace
