// The nte family's tiled boxes in every variant and depth (and the pattern
// sizes stipples share): the pattern staged in the ScratchArea and widened
// there, each box covered by one blit, by replication inside the box or by
// bands of pieces, and what the ScratchArea cannot hold handed to the
// generic routines unchanged.
// Pixels are compared with the reference renderer; the strict engine model
// reports a wait that does not cover its writes.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "nte_tile_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

// Small boxes, one box larger than a blit, under every alu and two masks:
// the replicable alus repeat the box's own pixels, the others go by bands.
TEST_P(NteTile, TilesUnderEveryAluAndMask) {
    int stride;
    std::vector<uint8_t> t = tile(7, 5, 1, &stride);
    const std::vector<BoxRec> boxes = {box(0, 0, 9, 4), box(20, 3, 60, 11), box(5, 12, 600, 47),
                                       box(70, 0, 70, 10) /* empty */, box(630, 40, 640, 48)};
    const std::vector<uint32_t> masks = {s->allPlanes(), s->allPlanes() & 0x3CC3A5u};
    for (uint32_t pm : masks)
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            clearCounts();
            s->tileRects(boxes, t, stride, 7, 5, {3, -2}, alu, pm);
            EXPECT_SCREEN_SAME(*s);
            EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
            const bool replicable =
                alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
            // Staging, and for a replicable alu the large box repeated.
            EXPECT_EQ(server::genCallsOf("nfbReplicateArea").size(), replicable ? 2u : 1u);
        }
    expectEngineDefaults();
}

// One box with a replicable alu is the generic routine's, with the
// arguments unchanged; two are staged. Any other alu stages a single box.
TEST_P(NteTile, OneReplicableBoxIsGeneric) {
    int stride;
    std::vector<uint8_t> t = tile(8, 8, 2, &stride);
    s->tileRects({box(10, 10, 50, 30)}, t, stride, 8, 8, {0, 0}, GXcopy);
    std::vector<server::GenCall> calls = server::genCallsOf("genTileRects");
    ASSERT_EQ(calls.size(), 1u);
    using server::arg;
    EXPECT_EQ(calls[0].args[4], arg(8));
    EXPECT_EQ(calls[0].args[7], arg(int(GXcopy)));
    EXPECT_EQ(calls[0].args[9], arg(s->drawable()));
    // Boxes below a tile: W and H two tiles, W' and H' one, a box one blit.
    for (int alu : {int(GXcopy), int(GXinvert)}) {
        clearCounts();
        std::vector<BoxRec> boxes = {box(100, 5, 106, 11)};
        if (alu == GXcopy)
            boxes.push_back(box(200, 5, 206, 11));
        s->tileRects(boxes, t, stride, 8, 8, {0, 0}, alu);
        EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
        EXPECT_EQ(ownBlits(), boxes.size());
    }
    EXPECT_SCREEN_SAME(*s);
}

// Pattern origins left, right, above and below the boxes give the same
// phase as the renderer's.
TEST_P(NteTile, OriginsOnEverySide) {
    int stride;
    std::vector<uint8_t> t = tile(5, 3, 3, &stride);
    const std::vector<BoxRec> boxes = {box(10, 10, 33, 20), box(40, 2, 47, 45)};
    for (DDXPointRec org : std::vector<DDXPointRec>{{-13, -7}, {500, 40}, {12, 11}, {-1, 47}}) {
        SCOPED_TRACE(std::to_string(org.x) + ", " + std::to_string(org.y));
        s->tileRects(boxes, t, stride, 5, 3, org, GXxor);
        EXPECT_SCREEN_SAME(*s);
    }
}

// The staging draws into the ScratchArea whatever the client's clip, and
// the clip cuts the boxes and is there again afterwards. A box the clip
// cuts is not repeated from its own pixels, which the clip kept out.
TEST_P(NteTile, UnderAClientClip) {
    const BoxRec clip = box(50, 4, 400, 40);
    int stride;
    std::vector<uint8_t> t = tile(6, 4, 4, &stride);
    s->setClipRegions({clip});
    for (int alu : {int(GXcopy), int(GXxor)}) {
        ref::Canvas before = s->mirror();
        const std::vector<BoxRec> boxes = {box(0, 0, 200, 48), box(300, 10, 500, 20),
                                           box(100, 20, 110, 25)};
        s->tileRects(boxes, t, stride, 6, 4, {1, 2}, alu);
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 640; x++)
                if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2)
                    s->mirror().put(x, y, before.get(x, y));
        EXPECT_SCREEN_SAME(*s);
        const sim::S3Regs &r = engine().regs();
        EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
                  (std::vector<int>{50, 4, 399, 39}));
    }
    s->setClipRegions({});
}

// Patterns at the edges of what the ScratchArea (640 x 128) holds: a single
// pixel, a row, a column too tall for two copies, boxes at the screen's
// edges and wider than any blit.
TEST_P(NteTile, PatternsAtTheEdges) {
    struct Case {
        int w, h;
        bool generic;
    };
    const std::vector<BoxRec> boxes = {box(0, 0, 640, 48), box(639, 47, 640, 48),
                                       box(100, 0, 101, 48)};
    for (const Case &c : {Case{1, 1, false}, Case{33, 1, false}, Case{1, 64, false},
                          Case{3, 65, true}, Case{321, 2, true}}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        clearCounts();
        int stride;
        std::vector<uint8_t> t = tile(c.w, c.h, uint32_t(c.w * 31 + c.h), &stride);
        s->tileRects(boxes, t, stride, c.w, c.h, {int16_t(c.h), int16_t(-c.w)}, GXxor);
        EXPECT_EQ(server::genCallsOf("genTileRects").size(), c.generic ? 1u : 0u);
        std::vector<std::string> rows(size_t(c.h), std::string(size_t(c.w), '.'));
        for (int y = 0; y < c.h; y++)
            rows[size_t(y)][size_t((y * 5) % c.w)] = 'X';
        GCPtr gc = s->createGC({.fillStyle = FillOpaqueStippled,
                                .alu = GXcopy,
                                .fg = colour(1),
                                .bg = colour(2),
                                .stipple = s->stipple(rows),
                                .patOrg = {int16_t(-c.h), int16_t(c.w)}});
        s->fillRects(gc, boxes);
        EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), c.generic ? 1u : 0u);
        EXPECT_SCREEN_SAME(*s);
    }
    expectEngineDefaults();
}

INSTANTIATE_TEST_SUITE_P(Builds, NteTile, testing::ValuesIn(kBuilds), buildName);

// A 1024 x 64 screen with a ScratchArea of 1024 x 127 (the 8-bit hardware
// cursor takes its last line; the other depths give one line less to the
// OffScreenArea).
class NteTileGeometry : public NteTile {
  protected:
    void SetUp() override {
        graf::Config c = exampleConfig(GetParam());
        c.ints["PIXHEIGHT"] = 64;
        c.ints["OSX"] = 0;
        c.ints["OSY"] = 64;
        c.ints["OSWIDTH"] = 1024;
        c.ints["OSHEIGHT"] = GetParam().depth == 8 ? 256 : 254;
        start(c);
        Private p = privateOf(*s, GetParam().variant);
        scratchY = p.scratchY;
        ASSERT_EQ(p.scratchWidth, 1024);
        ASSERT_EQ(p.scratchHeight, 127);
    }
    int scratchY = 0;
};

// A 64 x 64 tile needs 128 lines: every tiled fill is generic. So is a
// 64 x 64 stipple, while a 64 x 63 one fits.
TEST_P(NteTileGeometry, TwoPatternsMustFit) {
    int stride;
    std::vector<uint8_t> t = tile(64, 64, 5, &stride);
    s->tileRects({box(0, 0, 100, 40), box(200, 0, 300, 64)}, t, stride, 64, 64, {0, 0}, GXxor);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    EXPECT_TRUE(server::genCallsOf("nfbReplicateArea").empty());
    std::vector<std::string> rows(64, std::string(64, '.'));
    for (int i = 0; i < 64; i++)
        rows[size_t(i)][size_t((i * 7) % 64)] = 'X';
    for (int h : {64, 63}) {
        clearCounts();
        std::vector<std::string> r(rows.begin(), rows.begin() + h);
        GCPtr gc = s->createGC(
            {.fillStyle = FillStippled, .alu = GXinvert, .fg = 3, .stipple = s->stipple(r)});
        s->fillRects(gc, {box(10, 10, 90, 40)});
        EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), h == 64 ? 1u : 0u);
    }
    EXPECT_SCREEN_SAME(*s);
}

// A 16 x 16 tile and boxes of at most 100 x 50: W 96, H 48, W' 80, H' 32.
// 70 x 20 is one blit; 100 x 50 with GXxor two bands (32 and 18 lines) of
// two pieces (80 and 20 pixels), with GXcopy one blit of its top left
// 80 x 32 repeated over the box.
TEST_P(NteTileGeometry, BoxesByOneBlitBandsOrReplication) {
    int stride;
    std::vector<uint8_t> t = tile(16, 16, 6, &stride);
    struct Case {
        int alu;
        uint64_t ownBlits;
        size_t replications;
    };
    for (const Case &c : {Case{GXxor, 1 + 4, 1}, Case{GXcopy, 1 + 1, 2}}) {
        SCOPED_TRACE(c.alu);
        clearCounts();
        s->tileRects({box(5, 2, 75, 22), box(300, 10, 400, 60)}, t, stride, 16, 16, {-3, 5}, c.alu);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(ownBlits(), c.ownBlits);
        std::vector<server::GenCall> reps = server::genCallsOf("nfbReplicateArea");
        ASSERT_EQ(reps.size(), c.replications);
        EXPECT_EQ(reps[0].args[1], server::arg(16));
        EXPECT_EQ(reps[0].args[2], server::arg(16));
        if (c.replications == 2) {
            EXPECT_EQ(reps[1].args[1], server::arg(80));
            EXPECT_EQ(reps[1].args[2], server::arg(32));
        }
        // The staged copy: 96 x 48 of whole tiles from the ScratchArea's corner.
        int right = 0, bottom = 0;
        for (const BoxRec &d : gLayerDestinations)
            if (d.y1 >= scratchY) {
                right = std::max<int>(right, d.x2);
                bottom = std::max<int>(bottom, d.y2);
            }
        EXPECT_EQ(right, 96);
        EXPECT_EQ(bottom, scratchY + 48);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, NteTileGeometry, testing::ValuesIn(kBuilds), buildName);

} // namespace
