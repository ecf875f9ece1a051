// The ct builds' engine and processor drawing against the reference
// renderer: copies in every direction, solid rectangles, points, zero-width
// segments and images, over alus and plane masks, at both pixel sizes on
// each chip; the generic fallbacks with the caller's arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define CT_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define CT_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define CT_POISON(p, n) ((void)(p), (void)(n))
#define CT_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

#include "ct_fixture.h"
#include "refrender.h"

namespace {

using namespace cttest;

const int kAlus[] = {GXclear, GXand, GXcopy, GXxor, GXnoop, GXinvert, GXequiv, GXset};

class CtDraw : public ::testing::TestWithParam<Build> {
  protected:
    void start(std::vector<std::string> args = {}) {
        b = GetParam();
        s = std::make_unique<harness::Screen>(b.driver, ctConfig(b), options(args));
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        server::clearGenCalls();
        ctOf(*s).clearOps();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    Pixel colour(uint32_t seed) const { return (0x5AC3E1u * (seed + 1)) & s->allPlanes(); }
    // A mask missing one plane of the depth, with bits above it too.
    uint32_t partialMask() const { return 0xFFFF0000u | (s->allPlanes() & ~0x4u); }
    int bpp() const { return s->bytesPerPixel(); }
    WinOps *win() { return s->winOps(); }
    sim::CtAdapter &adapter() { return ctOf(*s); }

    // An image drawn straight through the slot from a buffer that holds the
    // image's rows and nothing more, its first pixel `lead` bytes into the
    // allocation, the bytes before it poisoned: the sanitizers see any read
    // outside the rows.
    void drawImage(const BoxRec &box, int lead, int stride, int alu, uint32_t planemask = ~0u,
                   uint32_t seed = 1) {
        int w = box.x2 - box.x1, h = box.y2 - box.y1;
        size_t bytes = size_t(lead) + size_t(stride) * size_t(h - 1) + size_t(w * bpp());
        std::vector<uint8_t> buf(bytes);
        std::mt19937 rng(seed);
        for (uint8_t &v : buf)
            v = uint8_t(rng());
        uint8_t *pixels = buf.data() + lead;
        ref::drawImage(s->mirror(), box, pixels, stride, alu, planemask);
        BoxRec b2 = box;
        CT_POISON(buf.data(), size_t(lead));
        s->call("DrawImage",
                [&] { win()->DrawImage(&b2, pixels, stride, alu, planemask, s->drawable()); });
        CT_UNPOISON(buf.data(), size_t(lead));
    }

    Build b;
    std::unique_ptr<harness::Screen> s;
};

// ---- copies ----

TEST_P(CtDraw, CopiesInEveryDirection) {
    start();
    // Source offsets from the destination: above (bottom-up), left in the
    // same rows (right to left), below, right, equal, above-left, apart.
    const DDXPointRec offsets[] = {{0, -1}, {-1, 0}, {0, 1}, {1, 0}, {0, 0}, {-3, -2}, {20, 9}};
    for (int alu : {GXcopy, GXxor, GXorInverted})
        for (const DDXPointRec &o : offsets) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " offset " + std::to_string(o.x) + "," +
                         std::to_string(o.y));
            BoxRec dst = {8, 6, 38, 20};
            s->copyRect(dst, {int16_t(dst.x1 + o.x), int16_t(dst.y1 + o.y)}, alu);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCalls().empty());
}

// ---- solid rectangles ----

TEST_P(CtDraw, SolidRectsOverAlusAndPlaneMasks) {
    start();
    const std::vector<BoxRec> boxes = {{0, 0, 5, 3}, {10, 4, 63, 31}, {30, 0, 31, 1}};
    uint32_t seed = 0;
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t mask : {~0u, s->allPlanes(), partialMask()}) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            s->drawSolidRects(boxes, colour(seed++), alu, mask);
            EXPECT_SCREEN_SAME(*s);
        }
}

// ---- points ----

TEST_P(CtDraw, PointsByTheProcessor) {
    start();
    std::vector<DDXPointRec> points = {{0, 0}, {63, 31}, {5, 7}, {6, 7}, {40, 2}};
    for (int alu : kAlus)
        for (uint32_t mask : {~0u, partialMask()}) {
            SCOPED_TRACE("alu " + std::to_string(alu));
            s->drawPoints(points, colour(uint32_t(alu)), alu, mask);
            EXPECT_SCREEN_SAME(*s);
        }
    // A mask with no plane of the depth draws nothing and does not wait.
    adapter().stayBusy(4);
    const uint64_t reads = adapter().statusReads();
    s->drawPoints(points, 0, GXset, ~s->allPlanes());
    EXPECT_EQ(adapter().statusReads(), reads);
    adapter().drain();
    EXPECT_SCREEN_SAME(*s);
}

// ---- zero-width segments ----

ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = std::abs(dx), ady = std::abs(dy);
    const int major = std::max(adx, ady), minor = std::min(adx, ady);
    ZeroSegRec z{};
    z.x = int16_t(x1);
    z.y = int16_t(y1);
    z.signdx = int16_t(dx < 0 ? -1 : 1);
    z.signdy = int16_t(dy < 0 ? -1 : 1);
    z.axis = int16_t(adx >= ady ? 0 : 1);
    z.len = int16_t(major + 1);
    z.e = 2 * minor - major;
    z.e1 = 2 * minor;
    z.e2 = 2 * minor - 2 * major;
    return z;
}

TEST_P(CtDraw, SegmentsInEveryOctant) {
    start();
    const int cx = 32, cy = 16;
    std::vector<ZeroSegRec> segs;
    for (auto [dx, dy] : std::vector<std::pair<int, int>>{
             {20, 5}, {5, 14}, {-5, 14}, {-20, 5}, {-20, -5}, {-5, -14}, {5, -14}, {20, -5}})
        segs.push_back(segment(cx, cy, cx + dx, cy + dy));
    segs.push_back(segment(3, 3, 3, 3));    // len 1
    segs.push_back(segment(0, 31, 63, 31)); // horizontal on the last row
    segs.push_back(segment(40, 0, 55, 15)); // 45 degrees
    for (int alu : {GXcopy, GXxor, GXset, GXclear, GXnoop, GXandReverse})
        for (uint32_t mask : {~0u, partialMask()}) {
            SCOPED_TRACE("alu " + std::to_string(alu));
            GCPtr gc = s->createGC({.alu = alu, .planemask = mask, .fg = colour(uint32_t(alu))});
            s->zeroSegs(gc, segs);
            EXPECT_SCREEN_SAME(*s);
        }
    // A mask whose bits all lie outside the depth draws nothing.
    GCPtr gc = s->createGC({.alu = GXset, .planemask = ~s->allPlanes()});
    s->zeroSegs(gc, segs);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(server::genCalls().empty());
}

// ---- images ----

struct ImageCase {
    const char *name;
    int w, h;
    int lead;       // bytes before the first pixel in its allocation
    int strideMore; // bytes a row has past the image
};

const ImageCase kImages[] = {
    {"oneRowAligned", 9, 1, 0, 0},
    {"oneRowUnaligned1", 9, 1, 1, 0},
    {"oneRowUnaligned3", 7, 1, 3, 0},
    {"oneRowUnaligned6", 5, 1, 6, 0},
    {"rowsContiguous", 8, 5, 0, 0},
    {"rowsWider", 6, 4, 0, 8},
    {"rowsWiderUnaligned", 5, 3, 2, 4},
    {"rowsWiderOdd", 3, 3, 0, 5},
    // Rows of no pixels owe the engine no data, however the pixels lie.
    {"emptyRowsUnaligned", 0, 3, 2, 4},
};

TEST_P(CtDraw, ImagesOverAlignmentsStridesAndAlus) {
    start();
    uint32_t seed = 1;
    for (const ImageCase &c : kImages)
        for (int alu : {GXcopy, GXxor, GXandInverted, GXinvert, GXnoop, GXclear}) {
            SCOPED_TRACE(std::string(c.name) + " alu " + std::to_string(alu));
            BoxRec box = {int16_t(3 + c.w), 2, int16_t(3 + 2 * c.w), int16_t(2 + c.h)};
            drawImage(box, c.lead, c.w * bpp() + c.strideMore, alu, ~0u, seed++);
            EXPECT_SCREEN_SAME(*s);
        }
    // Widths 1 to 9, one and two rows, partial plane masks.
    for (int w = 1; w <= 9; w++)
        for (int h : {1, 2}) {
            SCOPED_TRACE("width " + std::to_string(w) + " rows " + std::to_string(h));
            BoxRec box = {int16_t(w), int16_t(20 + h), int16_t(2 * w), int16_t(20 + 2 * h)};
            drawImage(box, w % 4, w * bpp(), GXcopy, ~0u, seed++);
            drawImage(box, 0, w * bpp(), GXxor, partialMask(), seed++);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_TRUE(server::genCalls().empty());
}

// Contiguous rows 4 bytes beyond a multiple of 8: whole words, but not
// whole quadwords. The 65550 draws them by the processor, the others by
// the engine.
TEST_P(CtDraw, RowsOfWholeWordsButNotQuadwords) {
    start();
    const int w = 12 / bpp();
    drawImage({4, 4, int16_t(4 + w), 10}, 0, 12, GXcopy);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(adapter().ops().size(), is65550(b) ? 0u : 1u);
}

TEST_P(CtDraw, ReadImageOfNothingStillWaits) {
    start();
    adapter().stayBusy(3);
    const uint64_t before = adapter().busyStatusReads();
    std::vector<uint8_t> got = s->readImage({5, 5, 5, 9}, 4);
    EXPECT_EQ(adapter().busyStatusReads() - before, 3u);
    EXPECT_EQ(got, std::vector<uint8_t>(16, 0xEE));
    BoxRec box = {1, 1, 40, 7};
    EXPECT_EQ(s->readImage(box), s->expectedImage(box));
}

// ---- generic fallbacks ----

// A plane mask missing one plane hands the request to the server's routine
// with the caller's very arguments.
TEST_P(CtDraw, PartialPlaneMasksGoToTheGenericRoutines) {
    start();
    const uint32_t mask = partialMask();
    BoxRec box = {2, 3, 20, 9};
    DDXPointRec point = {5, 11};
    DrawablePtr d = s->drawable();
    ref::copyRect(s->mirror(), box, point, GXxor, mask);
    s->call("CopyRect", [&] { win()->CopyRect(&box, &point, GXxor, mask, d); });
    ref::drawSolidRects(s->mirror(), &box, 1, 0x1234, GXor, mask);
    s->call("DrawSolidRects", [&] { win()->DrawSolidRects(&box, 1, 0x1234, GXor, mask, d); });
    std::vector<uint8_t> tile(size_t(4 * 4 * bpp()), 0x5A);
    DDXPointRec org = {1, 2};
    ref::tileRects(s->mirror(), &box, 1, tile.data(), 4 * bpp(), 4, 4, org, GXcopy, mask);
    s->call("TileRects", [&] {
        win()->TileRects(&box, 1, tile.data(), 4 * bpp(), 4, 4, &org, GXcopy, mask, d);
    });
    EXPECT_SCREEN_SAME(*s);
    using server::arg;
    auto calls = [](const char *name) { return server::genCallsOf(name); };
    ASSERT_EQ(calls("genCopyRect").size(), 1u);
    EXPECT_EQ(calls("genCopyRect")[0].args,
              (std::vector<uint64_t>{arg(&box), arg(&point), arg(GXxor), arg(mask), arg(d)}));
    ASSERT_EQ(calls("genDrawSolidRects").size(), 1u);
    EXPECT_EQ(
        calls("genDrawSolidRects")[0].args,
        (std::vector<uint64_t>{arg(&box), arg(1), arg(0x1234u), arg(GXor), arg(mask), arg(d)}));
    ASSERT_EQ(calls("genTileRects").size(), 1u);
    EXPECT_EQ(calls("genTileRects")[0].args,
              (std::vector<uint64_t>{arg(&box), arg(1), arg(tile.data()), arg(4 * bpp()), arg(4),
                                     arg(4), arg(&org), arg(GXcopy), arg(mask), arg(d)}));
}

// GXinvert, GXclear and GXset do not depend on the tile: solid fills (the
// 65550's default mask gives the slot to the server).
TEST_P(CtDraw, TileRectsWithoutATileDependence) {
    start({"-opsflag", "0"});
    std::vector<uint8_t> tile(size_t(8 * 8 * bpp()), 0x33);
    for (int alu : {GXinvert, GXclear, GXset, GXnoop}) {
        s->tileRects({{1, 1, 30, 20}, {40, 2, 63, 31}}, tile, 8 * bpp(), 8, 8, {0, 0}, alu);
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Builds, CtDraw, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
