// rasmo stippled, opaque-stippled and tiled boxes: pixels against the
// reference renderer on the pattern path (monochrome and colour pattern
// registers) and the staging path (the pattern in the TileArea, boxes filled
// by doubling copies), over alus, plane masks and both depths; the choice of
// path and the server's routines for the rest; the copies the staging path
// makes; count 0, no memory for the offset table, and a client clip.
#include "rasmo_fixture.h"

// Inside loops: the first difference ends the case.
#define ASSERT_SAME_PIXELS(screen)                                                                 \
    do {                                                                                           \
        ::ref::Diff diff_ = (screen).expectSame();                                                 \
        ASSERT_EQ(diff_.count, 0) << diff_.describe();                                             \
    } while (0)

namespace rasmotest {
namespace {

BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// A stipple of random bits.
std::vector<std::string> randomRows(int w, int h, uint32_t seed) {
    std::vector<std::string> rows;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++) {
            seed = seed * 1103515245u + 12345u;
            r += (seed >> 16) & 1 ? 'X' : '.';
        }
        rows.push_back(r);
    }
    return rows;
}

class RasmoTile : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(128, 96, GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(5);
        server::clearGenCalls();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) >> 7 & s->allPlanes(); }
    uint32_t someMask() const { return GetParam() == 8 ? 0xA5u : 0x5AC3u; }
    // Random client pixels, rows `stride` bytes apart with nothing past the
    // last row's pixels (a read beyond them is caught).
    std::vector<uint8_t> tile(int w, int h, int stride, uint32_t seed) {
        std::vector<uint8_t> t(size_t(stride * (h - 1) + w * s->bytesPerPixel()));
        for (uint8_t &b : t) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        return t;
    }
    // Alus with the full mask, and a few that keep, read and combine under
    // a partial one.
    std::vector<std::pair<int, uint32_t>> alusAndMasks() const {
        std::vector<std::pair<int, uint32_t>> v;
        for (int alu = GXclear; alu <= GXset; alu++)
            v.push_back({alu, s->allPlanes()});
        for (int alu : {GXcopy, GXxor, GXcopyInverted, GXorInverted})
            v.push_back({alu, someMask()});
        return v;
    }
    sim::Mach32ExtPorts &ext() { return mach32Of(*s).ext(); }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Depths, RasmoTile, testing::Values(8, 16),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// Boxes wide and narrow, at the screen's edges, with pattern origins left
// of, right of and below them.
const std::vector<BoxRec> kBoxes = {box(3, 2, 103, 20), box(0, 30, 128, 41), box(50, 60, 51, 90),
                                    box(120, 88, 128, 96)};
const DDXPointRec kOrigins[] = {{0, 0}, {110, 70}, {-3, 5}};

TEST_P(RasmoTile, StipplesOnThePatternPath) {
    const std::vector<std::vector<std::string>> stipples = {
        randomRows(16, 16, 1), randomRows(5, 3, 2), randomRows(32, 32, 3)};
    uint32_t seed = 1;
    for (const auto &rows : stipples) {
        PixmapPtr st = s->stipple(rows);
        for (int style : {FillStippled, FillOpaqueStippled})
            for (const auto &[alu, pm] : alusAndMasks()) {
                SCOPED_TRACE(std::to_string(rows[0].size()) + " wide, style " +
                             std::to_string(style) + ", alu " + std::to_string(alu) + ", mask " +
                             std::to_string(pm));
                GCPtr gc = s->createGC({.fillStyle = style,
                                        .alu = alu,
                                        .planemask = pm,
                                        .fg = colour(seed++),
                                        .bg = colour(seed++),
                                        .stipple = st,
                                        .patOrg = kOrigins[seed % 3]});
                s->fillRects(gc, kBoxes);
                ASSERT_SAME_PIXELS(*s);
            }
    }
    EXPECT_TRUE(server::genCalls().empty()) << server::genCalls()[0].routine;
    EXPECT_TRUE(ext().copyLog().empty());
    // A 16-wide stipple loads two pattern words a row.
    s->machine().clearTrace();
    GCPtr gc = s->createGC({.fillStyle = FillStippled, .stipple = s->stipple(stipples[0])});
    s->fillRects(gc, {box(0, 0, 100, 40)});
    EXPECT_EQ(writesTo(*s, PATT_DATA).size(), 32u);
    EXPECT_EQ(writesTo(*s, DATA_PATH), std::vector<uint32_t>{DP_MONO_PATTERN});
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(RasmoTile, TilesOnThePatternPath) {
    // Up to 32 pixels of 8 bits or 16 of 16 bits a row; odd widths at depth
    // 8 end in half a word.
    const int cb = s->bytesPerPixel();
    struct Shape {
        int w, h, stride;
    };
    const std::vector<Shape> shapes = GetParam() == 8
                                          ? std::vector<Shape>{{7, 5, 7}, {32, 3, 36}, {1, 2, 1}}
                                          : std::vector<Shape>{{16, 4, 32}, {5, 7, 12}, {1, 1, 2}};
    uint32_t seed = 3;
    for (const Shape &t : shapes) {
        const std::vector<uint8_t> pixels = tile(t.w, t.h, t.stride, seed++);
        for (const auto &[alu, pm] : alusAndMasks()) {
            SCOPED_TRACE(std::to_string(t.w) + " x " + std::to_string(t.h) + ", alu " +
                         std::to_string(alu));
            s->tileRects(kBoxes, pixels, t.stride, t.w, t.h, kOrigins[seed++ % 3], alu, pm);
            ASSERT_SAME_PIXELS(*s);
        }
    }
    EXPECT_TRUE(server::genCalls().empty()) << server::genCalls()[0].routine;
    EXPECT_TRUE(ext().copyLog().empty());
    // A row of sixteen words and its index write take two waits.
    ext().setStalledFifo(true);
    s->machine().clearTrace();
    const int w = 32 / cb;
    s->tileRects({box(0, 0, 40, 1)}, tile(w, 1, w * cb, 9), w * cb, w, 1, {0, 0});
    EXPECT_EQ(fifoWaits(*s), (std::vector<int>{5, 16, 1, 4}));
    EXPECT_EQ(writesTo(*s, DATA_PATH), std::vector<uint32_t>{DP_COLOUR_PATTERN});
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(s->failureText(), "");
}

// Narrow boxes and large patterns: staged in the TileArea when the raster op
// does not read the screen, else the server's routine; a transparent stipple
// past 32 pixels always goes to the server.
TEST_P(RasmoTile, StagingOrTheServer) {
    const std::vector<BoxRec> narrow = {box(10, 10, 18, 18), box(30, 5, 36, 60), box(0, 90, 8, 96),
                                        box(127, 0, 128, 1)};
    PixmapPtr small = s->stipple(randomRows(8, 8, 4));
    PixmapPtr wide = s->stipple(randomRows(40, 8, 5));
    // Past the colour pattern's limit at either depth.
    const int tw = GetParam() == 8 ? 33 : 17, stride = tw * s->bytesPerPixel() + 2;
    const std::vector<uint8_t> pixels = tile(tw, 5, stride, 6);
    uint32_t seed = 9;
    for (const auto &[alu, pm] : alusAndMasks()) {
        SCOPED_TRACE("alu " + std::to_string(alu) + ", mask " + std::to_string(pm));
        const bool staged = !rop_needs_dst[alu];
        server::clearGenCalls();
        ext().clearCopyLog();
        const DDXPointRec org = kOrigins[seed % 3];
        GCPtr gc = s->createGC({.fillStyle = FillOpaqueStippled,
                                .alu = alu,
                                .planemask = pm,
                                .fg = colour(seed++),
                                .bg = colour(seed++),
                                .stipple = small,
                                .patOrg = org});
        s->fillRects(gc, narrow);
        ASSERT_SAME_PIXELS(*s);
        EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), staged ? 0u : 1u);
        s->tileRects(kBoxes, pixels, stride, tw, 5, org, alu, pm);
        ASSERT_SAME_PIXELS(*s);
        EXPECT_EQ(server::genCallsOf("genTileRects").size(), staged ? 0u : 1u);
        EXPECT_EQ(ext().copyLog().empty(), !staged);
        GCPtr transparent = s->createGC({.fillStyle = FillStippled,
                                         .alu = alu,
                                         .planemask = pm,
                                         .fg = colour(seed++),
                                         .stipple = wide});
        s->fillRects(transparent, kBoxes);
        ASSERT_SAME_PIXELS(*s);
        EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), 1u);
    }
    EXPECT_EQ(s->failureText(), "");
}

// Box 0, 0, 100, 50: one copy from the staged pattern, then copies of the
// box's drawn part doubling its width and then its height; the self-copies
// keep the raster op's result (GXcopyInverted applied once).
TEST_P(RasmoTile, CopiesDoubleTheDrawnPart) {
    using C = sim::Mach32Copy;
    const rasmoScreenPrivate &p = *privOf(*s);
    const int ox = p.offscreenX, oy = p.offscreenY;
    const int cb = s->bytesPerPixel();
    const std::vector<uint8_t> tall = tile(8, 33, 8 * cb, 12);
    PixmapPtr wide = s->stipple(randomRows(40, 8, 13));
    for (int alu : {GXcopy, GXcopyInverted, GXclear}) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        // An 8 x 33 tile (too tall for the pattern registers) at origin
        // (3, 1): widening copies of 8, 16, 32 and 36 pixels, then 17 lines.
        ext().clearCopyLog();
        s->tileRects({box(0, 0, 100, 50)}, tall, 8 * cb, 8, 33, {3, 1}, alu, someMask());
        ASSERT_SAME_PIXELS(*s);
        EXPECT_EQ(ext().copyLog(), (std::vector<C>{{ox, oy, ox + 8, oy, 8, 33},
                                                   {ox, oy, ox, oy + 33, 16, 33},
                                                   {ox + 5, oy + 32, 0, 0, 8, 33},
                                                   {0, 0, 8, 0, 8, 33},
                                                   {0, 0, 16, 0, 16, 33},
                                                   {0, 0, 32, 0, 32, 33},
                                                   {0, 0, 64, 0, 36, 33},
                                                   {0, 0, 0, 33, 100, 17}}));
        // A 40 x 8 opaque stipple: widening 40 and 20, then 8, 16 and 18
        // lines.
        ext().clearCopyLog();
        GCPtr gc = s->createGC({.fillStyle = FillOpaqueStippled,
                                .alu = alu,
                                .planemask = s->allPlanes(),
                                .fg = colour(1),
                                .bg = colour(2),
                                .stipple = wide});
        s->fillRects(gc, {box(0, 0, 100, 50)});
        ASSERT_SAME_PIXELS(*s);
        const std::vector<C> copies(ext().copyLog().begin() + 2, ext().copyLog().end());
        EXPECT_EQ(copies, (std::vector<C>{{ox, oy, 0, 0, 40, 8},
                                          {0, 0, 40, 0, 40, 8},
                                          {0, 0, 80, 0, 20, 8},
                                          {0, 0, 0, 8, 100, 8},
                                          {0, 0, 0, 16, 100, 16},
                                          {0, 0, 0, 32, 100, 18}}));
    }
    EXPECT_EQ(s->failureText(), "");
}

// Nothing to draw: no port is touched.
TEST_P(RasmoTile, CountZeroDrawsNothing) {
    const int cb = s->bytesPerPixel();
    PixmapPtr st = s->stipple(randomRows(8, 8, 7));
    GCPtr stippled = s->createGC({.fillStyle = FillStippled, .stipple = st});
    GCPtr opaque = s->createGC({.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = st});
    s->machine().clearTrace();
    s->fillRects(stippled, {});
    s->fillRects(opaque, {});
    s->tileRects({}, tile(8, 8, 8 * cb, 1), 8 * cb, 8, 8, {0, 0});
    s->tileRects({}, tile(40, 8, 40 * cb, 1), 40 * cb, 40, 8, {0, 0});
    EXPECT_EQ(portWrites(*s), std::vector<PortWrite>{}) << show(portWrites(*s));
    EXPECT_TRUE(server::genCalls().empty());
    EXPECT_SCREEN_SAME(*s);
}

// No memory for the pattern path's offset table: the server's routine, with
// the call's own arguments.
TEST_P(RasmoTile, NoMemoryForTheOffsetsGoesToTheServer) {
    const int cb = s->bytesPerPixel();
    PixmapPtr st = s->stipple(randomRows(8, 8, 8));
    GCPtr stippled = s->createGC({.fillStyle = FillStippled, .fg = 3, .stipple = st});
    GCPtr opaque = s->createGC({.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = st});
    server::failAllocationAfter(0);
    s->fillRects(stippled, kBoxes);
    s->fillRects(opaque, kBoxes);
    s->tileRects(kBoxes, tile(8, 8, 8 * cb, 1), 8 * cb, 8, 8, {2, 2}, GXxor);
    server::failAllocationAfter(-1);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 1u);
    ASSERT_EQ(server::genCallsOf("genTileRects").size(), 1u);
    EXPECT_EQ(server::genCallsOf("genTileRects")[0].args[1], server::arg(4));
    EXPECT_EQ(s->failureText(), "");
}

// Under a client clip the pattern path's runs are cut by the scissors; the
// staging path, whose self-copies would spread what the clip kept out, leaves
// the boxes to the server.
TEST_P(RasmoTile, UnderAClientClip) {
    const BoxRec clip = box(20, 10, 90, 50);
    s->setClipRegions({clip});
    ref::Canvas before = s->mirror();
    PixmapPtr st = s->stipple(randomRows(8, 8, 9));
    GCPtr stippled = s->createGC({.fillStyle = FillStippled, .alu = GXxor, .fg = 5, .stipple = st});
    GCPtr opaque = s->createGC({.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = st});
    s->fillRects(stippled, {box(0, 0, 128, 96)});
    s->fillRects(opaque, {box(10, 5, 18, 60), box(60, 40, 66, 90)});
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 128; x++)
            if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2)
                s->mirror().put(x, y, before.get(x, y));
    EXPECT_SCREEN_SAME(*s);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), 1u);
    EXPECT_TRUE(ext().copyLog().empty());
    s->setClipRegions({});
    EXPECT_EQ(s->failureText(), "");
}

} // namespace
} // namespace rasmotest
