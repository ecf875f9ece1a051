// The nte family's stippled and opaque-stippled boxes in every variant and
// depth: the stipple staged in plane 0 of the ScratchArea, widened there and
// expanded by blits through read mask 1 into the GC's colours. Pixels are
// compared with the reference renderer; the strict engine model reports a
// wait that does not cover its writes (the 24-bit set-ups take 9 and 11).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "nte_tile_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

class NteStipple : public NteTile {};

// Stippled and opaque-stippled boxes from the GC, under every alu (a few
// with a partial mask), origins on both sides, one box through the bands.
TEST_P(NteStipple, StipplesUnderEveryAluAndMask) {
    PixmapPtr st = s->stipple({"X..X.XX..X", "..XX....X.", "X.......XX", ".XXXXXX..."});
    const std::vector<BoxRec> boxes = {box(3, 1, 17, 9), box(30, 5, 400, 46), box(500, 0, 523, 7),
                                       box(10, 20, 10, 30) /* empty */};
    const std::vector<uint32_t> masks = {s->allPlanes(), s->allPlanes() & 0xC3A55Au};
    uint32_t seed = 1;
    for (int style : {FillStippled, FillOpaqueStippled})
        for (uint32_t pm : masks)
            for (int alu = 0; alu < 16; alu++) {
                // The partial mask under the alus that keep, read and combine.
                if (pm != s->allPlanes() && alu != GXcopy && alu != GXxor && alu != GXand &&
                    alu != GXorInverted)
                    continue;
                SCOPED_TRACE("style " + std::to_string(style) + " alu " + std::to_string(alu));
                GCPtr gc = s->createGC({.fillStyle = style,
                                        .alu = alu,
                                        .planemask = pm,
                                        .fg = colour(seed++),
                                        .bg = colour(seed++) ^ 1,
                                        .stipple = st,
                                        .patOrg = {int16_t(alu - 7), int16_t(3 - alu)}});
                s->fillRects(gc, boxes);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_TRUE(server::genCalls().size() == server::genCallsOf("nfbReplicateArea").size())
        << "a generic routine ran";
    expectEngineDefaults();
}

// An opaque stipple in one colour is drawn by the solid record.
TEST_P(NteStipple, OpaqueStippleInOneColourIsSolid) {
    PixmapPtr st = s->stipple({"X.", ".X"});
    GCPtr gc = s->createGC(
        {.fillStyle = FillOpaqueStippled, .alu = GXxor, .fg = 5, .bg = 5, .stipple = st});
    s->fillRects(gc, {box(4, 4, 40, 20)});
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(server::genCallsOf("genSolidFillRects").size(), 1u);
    EXPECT_TRUE(server::genCallsOf("nfbReplicateArea").empty());
}

// Stipple staging under a client clip: the ScratchArea gets the whole
// stipple, the boxes only what the clip lets through.
TEST_P(NteStipple, StippleUnderAClientClip) {
    const BoxRec clip = box(20, 10, 300, 30);
    PixmapPtr st = s->stipple({"XX..X...", "X.X..XX.", "...XX..X"});
    s->setClipRegions({clip});
    ref::Canvas before = s->mirror();
    GCPtr gc = s->createGC({.fillStyle = FillOpaqueStippled,
                            .alu = GXcopy,
                            .fg = colour(1),
                            .bg = colour(2),
                            .stipple = st,
                            .patOrg = {2, 1}});
    s->fillRects(gc, {box(0, 0, 320, 48), box(100, 12, 130, 20)});
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 640; x++)
            if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2)
                s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(engine().regs().scissorRight, 299);
    s->setClipRegions({});
}

INSTANTIATE_TEST_SUITE_P(Builds, NteStipple, testing::ValuesIn(kBuilds), buildName);

} // namespace
