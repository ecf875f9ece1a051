// pilo tiles and stipples at depths 4, 8 and 16: the tile staged in the
// TileArea, the stipple in plane 0 of the GlyphArea, both widened there by
// the layer and drawn by blits (one per small box, one and a replication
// inside the box for the alus that allow it, bands and columns otherwise;
// stipples in bands by plane expansion). Pixels are compared with the
// reference renderer; what the areas cannot hold goes to the generic
// routines unchanged; the glyph cache in planes 1 to 7 survives both.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "pilo_fixture.h"
#include "server.h"

namespace {

using namespace pilotest;

inline BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// Copies the layer makes through the window's CopyRect slot
// (nfbReplicateArea); the driver's own copies do not pass through it.
int gLayerCopies = 0;
CopyRectProc gDriverCopy = nullptr;
void countingCopy(BoxPtr dst, DDXPointPtr src, int alu, uint32_t pm, DrawablePtr d) {
    gLayerCopies++;
    gDriverCopy(dst, src, alu, pm, d);
}

class PiloPattern {
  protected:
    void start(const graf::Config &c) {
        s_ = std::make_unique<harness::Screen>(
            "pilo", c, harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s_->start()) << s_->failureText();
        s_->fillRandom(7);
        ops_ = *s_->winOps();
        gDriverCopy = ops_.CopyRect;
        ops_.CopyRect = countingCopy;
        NFB_WINDOW_PRIV(s_->root())->ops = &ops_;
        clearCounts();
    }
    harness::Screen &s() { return *s_; }
    sim::S3EngineCore &engine() { return board(s()).engine(); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s_->allPlanes(); }
    std::vector<uint8_t> tile(int w, int h, uint32_t seed, int *stride) {
        *stride = w * s().bytesPerPixel() + 4;
        std::vector<uint8_t> t(size_t(*stride * h));
        for (size_t i = 0; i < t.size(); i++)
            t[i] = uint8_t((i * 2654435761u + seed * 40503u) >> 13);
        return t;
    }
    void clearCounts() {
        engine().clearStats();
        engine().clearLog();
        gLayerCopies = 0;
        server::clearGenCalls();
    }
    // Copies and expansions the driver made itself since clearCounts(); at
    // depth 16 each is a blit in either byte half.
    uint64_t ownBlits() {
        const uint64_t halves = s().depth() == 16 ? 2 : 1;
        return (engine().stats().opsOf(sim::S3Op::Blit) - halves * uint64_t(gLayerCopies)) / halves;
    }
    // Rows of a stipple with one set bit per row, walking.
    static std::vector<std::string> walkingRows(int w, int h, int step) {
        std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
        for (int y = 0; y < h; y++) {
            rows[size_t(y)][size_t((y * step) % w)] = 'X';
            rows[size_t(y)][size_t((y * step + 3) % w)] = 'X';
        }
        return rows;
    }
    std::unique_ptr<harness::Screen> s_;
    WinOps ops_{};
};

// ---- tiles ----

// Boards whose TileArea holds two tiles each way and no more, so that the
// repeated width and height (repW, repH) are one tile: a box as large
// as the screen goes by replication or in bands and columns.
struct TileCase {
    const char *name;
    int memoryKB, depth, width, height;
    int tw, th; // repW = tw, repH = th
};

class PiloTile : public PiloPattern, public testing::TestWithParam<TileCase> {
  protected:
    void SetUp() override {
        const TileCase &c = GetParam();
        start(boardConfig(c.memoryKB, c.depth, c.width, c.height));
    }
};

// Small boxes, one exactly repW wide, one at least repH high, one as wide
// as the screen, an empty one; every alu with two masks; pattern origins
// right of and below the boxes, and left of and above them.
TEST_P(PiloTile, TilesUnderEveryAluAndMask) {
    const TileCase &c = GetParam();
    int stride;
    const std::vector<uint8_t> t = tile(c.tw, c.th, 1, &stride);
    const int W = c.width, H = c.height;
    const std::vector<BoxRec> boxes = {box(3, 2, 3 + c.tw / 10, 2 + c.th / 3),
                                       box(5, 4, 5 + c.tw, 7), box(W - 40, 0, W - 5, H),
                                       box(50, 9, 50, 20), box(0, H - 10, W, H)};
    const std::vector<uint32_t> masks = {s().allPlanes(), s().allPlanes() & 0xA5C3u};
    const std::vector<DDXPointRec> origins = {{int16_t(W - 3), int16_t(H - 2)}, {-13, -7}};
    int k = 0;
    for (uint32_t pm : masks)
        for (int alu = 0; alu < 16; alu++, k++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(pm));
            clearCounts();
            s().tileRects(boxes, t, stride, c.tw, c.th, origins[size_t(k) % 2], alu, pm);
            EXPECT_SCREEN_SAME(s());
            EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
            const bool replicable =
                alu == GXclear || alu == GXcopy || alu == GXcopyInverted || alu == GXset;
            // The staging, and for a replicable alu each box that is not small.
            EXPECT_EQ(server::genCallsOf("nfbReplicateArea").size(), replicable ? 4u : 1u);
        }
}

// One box with a replicable alu is the generic routine's, arguments
// unchanged; two are staged; a single GXinvert box is staged too. A tile
// the TileArea cannot hold twice either way is generic.
TEST_P(PiloTile, WhatGoesToTheGenericRoutine) {
    const TileCase &c = GetParam();
    int stride;
    const std::vector<uint8_t> t = tile(c.tw, c.th, 2, &stride);
    s().tileRects({box(10, 1, 50, 9)}, t, stride, c.tw, c.th, {2, 3}, GXcopy, 0x3C);
    std::vector<server::GenCall> calls = server::genCallsOf("genTileRects");
    ASSERT_EQ(calls.size(), 1u);
    using server::arg;
    EXPECT_EQ(calls[0].args[1], arg(1));
    EXPECT_EQ(calls[0].args[3], arg(stride));
    EXPECT_EQ(calls[0].args[4], arg(c.tw));
    EXPECT_EQ(calls[0].args[5], arg(c.th));
    EXPECT_EQ(calls[0].args[7], arg(int(GXcopy)));
    EXPECT_EQ(calls[0].args[8], arg(0x3Cu));
    EXPECT_EQ(calls[0].args[9], arg(s().drawable()));
    for (int alu : {int(GXcopy), int(GXinvert)}) {
        clearCounts();
        std::vector<BoxRec> boxes = {box(20, 2, 26, 8)};
        if (alu == GXcopy)
            boxes.push_back(box(40, 2, 46, 8));
        s().tileRects(boxes, t, stride, c.tw, c.th, {0, 0}, alu);
        EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
        EXPECT_EQ(ownBlits(), boxes.size());
    }
    const Area ta = privateOf(s()).tileArea;
    for (auto [w, h] : {std::pair<int, int>{ta.width / 2 + 1, 3}, {3, ta.height / 2 + 1}}) {
        clearCounts();
        const std::vector<uint8_t> big = tile(w, h, 3, &stride);
        s().tileRects({box(0, 0, 30, 8), box(31, 0, 40, 8)}, big, stride, w, h, {1, 1}, GXxor);
        EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u) << w << " x " << h;
    }
    EXPECT_SCREEN_SAME(s());
}

// A non-replicable alu covers a box in bands repH high and columns repW
// wide, each copied from the same corner: a box exactly repW wide and
// repH + 5 high is two copies, one as wide as the screen four.
TEST_P(PiloTile, BandsAndColumnsOfTheSlowPath) {
    const TileCase &c = GetParam();
    int stride;
    const std::vector<uint8_t> t = tile(c.tw, c.th, 4, &stride);
    struct Case {
        int alu;
        uint64_t own;
        size_t replications;
    };
    for (const Case &k : {Case{GXxor, 2 + 4, 1}, Case{GXinvert, 2 + 4, 1}, Case{GXcopy, 2, 3}}) {
        SCOPED_TRACE(k.alu);
        clearCounts();
        s().tileRects(
            {box(1, 0, 1 + c.tw, c.th + 5), box(0, c.height - c.th - 3, c.width, c.height)}, t,
            stride, c.tw, c.th, {-1, 4}, k.alu);
        EXPECT_SCREEN_SAME(s());
        EXPECT_EQ(ownBlits(), k.own);
        EXPECT_EQ(server::genCallsOf("nfbReplicateArea").size(), k.replications);
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, PiloTile,
                         testing::Values(TileCase{"Depth4", 512, 4, 480, 64, 400, 50},
                                         TileCase{"Depth8", 1024, 8, 480, 64, 400, 50},
                                         TileCase{"Depth16", 1024, 16, 180, 200, 130, 170}),
                         [](const testing::TestParamInfo<TileCase> &i) { return i.param.name; });

// ---- stipples ----

class PiloStipple : public PiloPattern, public testing::TestWithParam<int> {
  protected:
    void SetUp() override { start(smallConfig(GetParam(), 96, 40)); }
};

// Stippled and opaque-stippled boxes from the GC under every alu (a few with
// a partial mask), the first box empty in x and the rest still drawn,
// origins on both sides.
TEST_P(PiloStipple, StipplesUnderEveryAluAndMask) {
    PixmapPtr st = s().stipple({"X..X.XX..X", "..XX....X.", "X.......XX", ".XXXXXX..."});
    const std::vector<BoxRec> boxes = {box(10, 20, 10, 30) /* empty */, box(3, 1, 17, 9),
                                       box(30, 5, 90, 38), box(60, 0, 83, 7), box(0, 39, 96, 40)};
    const std::vector<uint32_t> masks = {s().allPlanes(), s().allPlanes() & 0xC35Au};
    uint32_t seed = 1;
    for (int style : {FillStippled, FillOpaqueStippled})
        for (uint32_t pm : masks)
            for (int alu = 0; alu < 16; alu++) {
                if (pm != s().allPlanes() && alu != GXcopy && alu != GXxor && alu != GXand &&
                    alu != GXorInverted)
                    continue;
                SCOPED_TRACE("style " + std::to_string(style) + " alu " + std::to_string(alu) +
                             " mask " + std::to_string(pm));
                GCPtr gc = s().createGC({.fillStyle = style,
                                         .alu = alu,
                                         .planemask = pm,
                                         .fg = colour(seed++),
                                         .bg = colour(seed++) ^ 1,
                                         .stipple = st,
                                         .patOrg = {int16_t(alu * 9 - 40), int16_t(50 - alu)}});
                s().fillRects(gc, boxes);
                EXPECT_SCREEN_SAME(s());
            }
    EXPECT_EQ(server::genCalls().size(), server::genCallsOf("nfbReplicateArea").size())
        << "a generic routine ran";
}

INSTANTIATE_TEST_SUITE_P(Depths, PiloStipple, testing::Values(4, 8, 16), depthName);

class PiloStippleBoard : public PiloPattern, public testing::Test {};

// A GlyphArea 128 lines high, a stipple of 20 lines and a box of 300: the
// staged copy is 128 lines, the bands 100, so the box is three expansions,
// each in the stipple's phase.
TEST_F(PiloStippleBoard, TallBoxInBandsOfWholeStipples) {
    start(smallConfig(8, 80, 310));
    ASSERT_EQ(privateOf(s()).glyphArea.height, 128);
    PixmapPtr st = s().stipple(walkingRows(6, 20, 5));
    for (int style : {FillStippled, FillOpaqueStippled}) {
        clearCounts();
        GCPtr gc = s().createGC({.fillStyle = style,
                                 .alu = GXxor,
                                 .fg = colour(3),
                                 .bg = colour(4),
                                 .stipple = st,
                                 .patOrg = {7, 13}});
        s().fillRects(gc, {box(5, 3, 40, 303), box(50, 0, 60, 10)});
        EXPECT_SCREEN_SAME(s());
        EXPECT_EQ(ownBlits(), 3u + 1u);
        EXPECT_EQ(engine().regs().height, 10 - 1);
    }
}

// What the GlyphArea cannot hold goes to the generic routine with the
// arguments unchanged: with the 512 KB depth-8 layout (30 lines) a
// stipple of 16 lines (15 still fits), and a stipple whose width and the
// widest box exceed the GlyphArea's width.
TEST_F(PiloStippleBoard, WhatGoesToTheGenericRoutine) {
    start(boardConfig(512, 8, 640, 16));
    struct Case {
        int w, h, boxWidth;
        bool generic;
    };
    for (const Case &c : {Case{8, 16, 40, true}, Case{8, 15, 40, false}, Case{500, 4, 525, true},
                          Case{500, 4, 524, false}})
        for (int style : {FillStippled, FillOpaqueStippled}) {
            SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " box " +
                         std::to_string(c.boxWidth) + " style " + std::to_string(style));
            clearCounts();
            GCPtr gc = s().createGC({.fillStyle = style,
                                     .alu = GXcopy,
                                     .fg = colour(1),
                                     .bg = colour(2),
                                     .stipple = s().stipple(walkingRows(c.w, c.h, 3))});
            std::vector<BoxRec> boxes = {box(2, 1, 2 + c.boxWidth, 15), box(600, 0, 610, 3)};
            s().fillRects(gc, boxes);
            const char *generic =
                style == FillStippled ? "genStippledFillRects" : "genOpStippledFillRects";
            std::vector<server::GenCall> calls = server::genCallsOf(generic);
            ASSERT_EQ(calls.size(), c.generic ? 1u : 0u);
            if (c.generic) {
                EXPECT_EQ(calls[0].args[0], server::arg(gc));
                EXPECT_EQ(calls[0].args[1], server::arg(s().drawable()));
                EXPECT_EQ(calls[0].args[3], server::arg(2));
                EXPECT_TRUE(server::genCallsOf("nfbReplicateArea").empty());
            }
            EXPECT_SCREEN_SAME(s());
        }
}

// ---- the glyph cache beside them ----

// Glyphs cached in planes 1 to 7 of the GlyphArea; the area's bytes can be
// compared before and after a fill.
class PiloPatternAndGlyphs : public PiloPattern, public testing::Test {
  protected:
    void cacheGlyphs(int count) {
        for (int k = 0; k < count; k++) {
            const int w = 3 + k % 18, h = 4 + (k * 7) % 27;
            std::vector<uint8_t> b(size_t((w + 7) / 8 * h));
            for (size_t i = 0; i < b.size(); i++)
                b[i] = uint8_t(i * 29 + size_t(k) * 83 + 1);
            bitmaps_.push_back(std::move(b));
            glyphs_.push_back(
                {box((k * 13) % 70, (k * 5) % 10, (k * 13) % 70 + w, (k * 5) % 10 + h), (w + 7) / 8,
                 nullptr, 1000 + k});
        }
        for (size_t i = 0; i < glyphs_.size(); i++)
            glyphs_[i].bits = bitmaps_[i].data();
        s().drawMonoGlyphs(glyphs_, colour(9), GXcopy, ~0u, &font_);
    }
    // The GlyphArea's bytes (8-bit engine pixels).
    std::vector<uint8_t> glyphArea() {
        s().drain();
        const Private &p = privateOf(s());
        const int line = int(engine().linePixels());
        std::vector<uint8_t> out;
        for (int y = 0; y < p.glyphArea.height; y++) {
            const uint8_t *row = engine().vram().data() + size_t(p.glyphArea.y + y) * size_t(line) +
                                 size_t(p.glyphArea.x);
            out.insert(out.end(), row, row + p.glyphArea.width);
        }
        return out;
    }
    // The glyphs again: all from their cells (no host bitmap), as the renderer
    // draws them.
    void redrawFromTheCache() {
        clearCounts();
        s().drawMonoGlyphs(glyphs_, colour(10), GXxor, ~0u, &font_);
        EXPECT_SCREEN_SAME(s());
        const std::vector<uint16_t> &l = engine().log();
        EXPECT_EQ(std::count(l.begin(), l.end(), uint16_t(0x53F3)), 0);
        EXPECT_EQ(l.size(), glyphs_.size());
    }
    nfbFontPrivate font_{};
    std::vector<std::vector<uint8_t>> bitmaps_;
    std::vector<MonoGlyphRec> glyphs_;
};

// On the 2 MB layout for screens wider than 1024 the TileArea lies below
// the GlyphArea: tiles staged across all of it leave every cached glyph.
TEST_F(PiloPatternAndGlyphs, TileFillKeepsTheGlyphCacheOn2MBWide) {
    start(boardConfig(2048, 8, 1100, 120));
    const Private &p = privateOf(s());
    ASSERT_EQ(p.glyphArea.y + p.glyphArea.height, 1536);
    cacheGlyphs(60);
    const std::vector<uint8_t> before = glyphArea();
    int stride;
    const std::vector<uint8_t> t = tile(600, 45, 5, &stride);
    for (int alu : {int(GXcopy), int(GXxor)}) {
        s().tileRects({box(0, 0, 1100, 120), box(3, 3, 900, 100)}, t, stride, 600, 45, {5, 5}, alu);
        EXPECT_SCREEN_SAME(s());
    }
    EXPECT_TRUE(glyphArea() == before) << "the tile fill wrote into the GlyphArea";
    redrawFromTheCache();
}

// A stipple is staged in plane 0 only: the glyphs in the other planes of the
// same lines stay.
TEST_F(PiloPatternAndGlyphs, StippleFillLeavesPlanes1To7) {
    start(smallConfig(8, 96, 40));
    cacheGlyphs(80);
    std::vector<uint8_t> before = glyphArea();
    PixmapPtr st = s().stipple(walkingRows(30, 40, 7));
    for (int style : {FillStippled, FillOpaqueStippled}) {
        GCPtr gc = s().createGC({.fillStyle = style,
                                 .alu = GXcopy,
                                 .fg = colour(1),
                                 .bg = colour(2),
                                 .stipple = st,
                                 .patOrg = {1, 2}});
        s().fillRects(gc, {box(0, 0, 96, 40), box(10, 10, 20, 20)});
        EXPECT_SCREEN_SAME(s());
    }
    std::vector<uint8_t> after = glyphArea();
    ASSERT_EQ(after.size(), before.size());
    size_t changed = 0, plane0 = 0;
    for (size_t i = 0; i < after.size(); i++) {
        changed += ((after[i] ^ before[i]) & 0xFE) != 0;
        plane0 += ((after[i] ^ before[i]) & 0x01) != 0;
    }
    EXPECT_EQ(changed, 0u);
    EXPECT_GT(plane0, 0u);
    redrawFromTheCache();
}

} // namespace
