// The ct fills of boxes and spans (solid, tiled, opaque-stippled) against the
// reference renderer, with tiles and stipples in the image cache as 8 x 8
// patterns or blocks; the generic routines they fall back to; and what the
// cache does when the heap has no room.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ct_fixture.h"

namespace {

using namespace cttest;

struct FillStyleCase {
    const char *name;
    int fillStyle;
    int w, h; // tile or stipple size; 0 for solid
};

const FillStyleCase kStyles[] = {
    {"solid", FillSolid, 0, 0},
    {"tile4x2", FillTiled, 4, 2},     // an 8 x 8 pattern
    {"tile5x3", FillTiled, 5, 3},     // a block
    {"tile16x16", FillTiled, 16, 16}, // random quadrants: a block
    {"stipple8x8", FillOpaqueStippled, 8, 8},
    {"stipple5x3", FillOpaqueStippled, 5, 3},
};

const int kAlus[] = {GXcopy, GXxor, GXandInverted, GXset, GXinvert, GXclear, GXnoop};

const DDXPointRec kOrigins[] = {{0, 0}, {3, 5}, {-3, -1}};

class CtFill : public ::testing::TestWithParam<Build> {
  protected:
    // "-opsflag 0": the 65550's default mask gives these fills to the server.
    void start(int width = 64, int height = 32,
               std::vector<std::pair<std::string, int>> keys = {{"ONBOARDMIN", 1000}}) {
        b = GetParam();
        graf::Config cfg = ctConfig(b, width, height);
        for (const auto &[k, v] : keys)
            cfg.ints[k] = v;
        s = std::make_unique<harness::Screen>(b.driver, cfg, options({"-opsflag", "0"}));
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(33);
        server::clearGenCalls();
        server::clearErrorMessages();
    }
    void TearDown() override {
        if (s) {
            s->freeScreen();
            EXPECT_EQ(server::liveBlockCount(), 0u);
        }
    }
    uint32_t partialMask() const { return s->allPlanes() & ~0x4u; }
    PixmapPtr randomTile(int w, int h, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint32_t> px(size_t(w * h));
        for (uint32_t &v : px)
            v = rng() & s->allPlanes();
        return s->tile(w, h, px);
    }
    PixmapPtr randomStipple(int w, int h, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
        for (std::string &r : rows)
            for (char &c : r)
                c = rng() & 1 ? 'X' : '.';
        return s->stipple(rows);
    }
    harness::GCSpec gcFor(const FillStyleCase &c, int alu, uint32_t mask, DDXPointRec org,
                          uint32_t seed) {
        harness::GCSpec v;
        v.fillStyle = c.fillStyle;
        v.alu = alu;
        v.planemask = mask;
        v.fg = 0x5A3 & s->allPlanes();
        v.bg = 0x1C6 & s->allPlanes();
        v.patOrg = org;
        if (c.fillStyle == FillTiled)
            v.tile = randomTile(c.w, c.h, seed);
        else if (c.fillStyle == FillOpaqueStippled)
            v.stipple = randomStipple(c.w, c.h, seed);
        return v;
    }
    // The GC's FillRects slot with these very boxes, the mirror drawn too.
    void fillRectsDirect(GCPtr gc, std::vector<BoxRec> &boxes) {
        ref::fillRects(s->mirror(), s->gcValues(gc), boxes.data(), int(boxes.size()));
        s->call("FillRects",
                [&] { s->ops(gc)->FillRects(gc, s->drawable(), boxes.data(), int(boxes.size())); });
    }

    Build b;
    std::unique_ptr<harness::Screen> s;
};

const std::vector<BoxRec> kBoxes = {{3, 3, 40, 17}, {45, 0, 64, 32}, {0, 20, 30, 31}};
const std::vector<DDXPointRec> kSpanStarts = {{2, 1}, {7, 2}, {0, 18}, {20, 30}, {11, 12}};
const std::vector<int> kSpanWidths = {37, 1, 64, 0, 23};

TEST_P(CtFill, BoxesAndSpansMatchTheRenderer) {
    start();
    uint32_t seed = 1;
    for (const FillStyleCase &c : kStyles)
        for (int alu : kAlus)
            for (uint32_t mask : {s->allPlanes(), partialMask()})
                for (const DDXPointRec &org : kOrigins) {
                    SCOPED_TRACE(std::string(c.name) + " alu " + std::to_string(alu) + " mask " +
                                 std::to_string(mask) + " origin " + std::to_string(org.x) + "," +
                                 std::to_string(org.y));
                    GCPtr gc = s->createGC(gcFor(c, alu, mask, org, seed++));
                    s->fillRects(gc, kBoxes);
                    s->fillSpans(gc, kSpanStarts, kSpanWidths);
                    EXPECT_SCREEN_SAME(*s);
                    s->destroyGC(gc);
                }
    EXPECT_EQ(server::errorMessages(), std::vector<std::string>{});
}

// Everything but a full plane mask goes to the record's generic routine with
// the arguments it was given; a tile goes as the window operation
// genTileRects with the tile pixmap's own data.
TEST_P(CtFill, PartialMaskTakesTheGenericRoutine) {
    start();
    using server::arg;
    const uint32_t mask = partialMask();
    struct Expect {
        FillStyleCase style;
        const char *rects, *spans;
    };
    const Expect expects[] = {{kStyles[0], "genSolidFillRects", "genSolidFS"},
                              {kStyles[2], "genTileRects", "genTiledFS"},
                              {kStyles[4], "genOpStippledFillRects", "genOpStippledFS"}};
    for (const Expect &e : expects) {
        SCOPED_TRACE(e.style.name);
        GCPtr gc = s->createGC(gcFor(e.style, GXxor, mask, {3, 5}, 9));
        server::clearGenCalls();
        std::vector<BoxRec> boxes = kBoxes;
        fillRectsDirect(gc, boxes);
        std::vector<DDXPointRec> starts = kSpanStarts;
        std::vector<int> widths = kSpanWidths;
        ref::fillSpans(s->mirror(), s->gcValues(gc), starts.data(), widths.data(), 5);
        s->call("FS", [&] { s->ops(gc)->FS(gc, s->drawable(), starts.data(), widths.data(), 5); });
        EXPECT_SCREEN_SAME(*s);
        DrawablePtr d = s->drawable();
        auto rects = server::genCallsOf(e.rects);
        ASSERT_EQ(rects.size(), 1u);
        if (e.style.fillStyle == FillTiled) {
            PixmapPtr t = gc->tile;
            EXPECT_EQ(rects[0].args,
                      (std::vector<uint64_t>{
                          arg(boxes.data()), arg(3), arg(t->devPrivate), arg(t->devKind), arg(5),
                          arg(3), arg(&s->gcPriv(gc)->patOrg), arg(GXxor), arg(mask), arg(d)}));
        } else {
            EXPECT_EQ(rects[0].args,
                      (std::vector<uint64_t>{arg(gc), arg(d), arg(boxes.data()), arg(3)}));
        }
        auto spans = server::genCallsOf(e.spans);
        ASSERT_EQ(spans.size(), 1u);
        EXPECT_EQ(spans[0].args, (std::vector<uint64_t>{arg(gc), arg(d), arg(starts.data()),
                                                        arg(widths.data()), arg(5)}));
        s->destroyGC(gc);
    }
}

// GXset on an opaque stipple is a fill of all ones, drawn without the cache
// (the GC cached its stipple at validation; no copy from it is made).
TEST_P(CtFill, OpaqueStippleWithGXsetIsSolid) {
    start();
    GCPtr gc = s->createGC(gcFor(kStyles[5], GXset, s->allPlanes(), {0, 0}, 4));
    ctOf(*s).clearOps();
    s->fillRects(gc, {{2, 2, 30, 20}});
    s->fillSpans(gc, {{1, 25}}, {40});
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(ctOf(*s).ops().size(), 2u);
    // A solid colour for the source, no pattern or data from memory.
    const uint32_t solid = is65550(b) ? 0x80000u : 0x700u;
    for (const sim::CtOp &op : ctOf(*s).ops())
        EXPECT_EQ(op.regs[4] & solid, solid) << "a solid fill";
    EXPECT_TRUE(server::genCalls().empty());
}

// The stipple lands in the cache expanded to the GC's colours as a block
// (never a pattern), and a tile with a pixel value for its tile is never
// drawn from what the GC cached before.
TEST_P(CtFill, StippleBlocksAndPixelTiles) {
    start();
    GCPtr gc = s->createGC(gcFor(kStyles[4], GXcopy, s->allPlanes(), {1, 2}, 6));
    ctOf(*s).clearOps();
    s->fillRects(gc, {{0, 0, 64, 32}});
    EXPECT_SCREEN_SAME(*s);
    // A block is copied piece by piece: more than one operation for 64 x 32.
    EXPECT_GT(ctOf(*s).ops().size(), 1u);
    // The same GC turned to a tile given as a pixel value.
    gc->fillStyle = FillTiled;
    gc->tileIsPixel = 1;
    gc->tile = nullptr;
    s->validate(gc, GCFillStyle | GCTile);
    server::clearGenCalls();
    std::vector<BoxRec> boxes = {{4, 4, 20, 20}};
    s->call("FillRects", [&] { s->ops(gc)->FillRects(gc, s->drawable(), boxes.data(), 1); });
    EXPECT_EQ(server::genCallsOf("genTiledFillRects").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Builds, CtFill, ::testing::ValuesIn(kBuilds), buildName);

// With the heap full, a GC whose tile the cache refuses tries again at
// every fill and draws through the generic routine meanwhile, and so does a
// TileRects tile.
class CtFillNoRoom : public ::testing::TestWithParam<Build> {};

TEST_P(CtFillNoRoom, RefusedTilesFallBackAndRetry) {
    const Build &b = GetParam();
    // 640 x 800 at 16 bits on 1 MB leaves 12,288 free pixels: two 64 x 64
    // blocks take most of it.
    graf::Config cfg = ctConfig(b, 640, 800);
    harness::Screen s(b.driver, cfg, options());
    ASSERT_TRUE(s.start()) << s.failureText();
    std::mt19937 rng(8);
    auto tile = [&](int w, int h) {
        std::vector<uint32_t> px(size_t(w * h));
        for (uint32_t &v : px)
            v = rng() & 0xFFFF;
        return s.tile(w, h, px);
    };
    server::clearErrorMessages();
    std::vector<GCPtr> held;
    for (int i = 0; i < 8 && server::errorMessages().empty(); i++)
        held.push_back(s.createGC({.fillStyle = FillTiled, .tile = tile(64, 64)}));
    ASSERT_FALSE(server::errorMessages().empty()) << "the heap never filled";
    GCPtr refused = held.back();
    server::clearGenCalls();
    server::clearErrorMessages();
    for (int i = 0; i < 2; i++) {
        s.fillRects(refused, {{10, 10, 200, 100}});
        s.fillSpans(refused, {{3, 120}}, {300});
    }
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 2u);
    EXPECT_EQ(server::genCallsOf("genTiledFS").size(), 2u);
    // One refusal per fill: the load was tried every time.
    EXPECT_EQ(server::errorMessages().size(), 4u);
    std::vector<uint8_t> t(64 * 64 * 2, 0x3C);
    s.tileRects({{100, 200, 300, 260}}, t, 128, 64, 64, {5, 5}, GXcopy);
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), 3u);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Builds, CtFillNoRoom, ::testing::Values(kBelki16, kCordo16), buildName);

} // namespace
