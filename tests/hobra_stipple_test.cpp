// hobra's stippled fills: pixels against the reference renderer for the
// transparent and opaque forms over alus, plane masks and both depths; the
// stipple replicated in plane 0 of the planeArea; bands of whole stipple
// heights; the layer's fallbacks; empty boxes; the solid record for an
// opaque stipple in one colour.
#include <memory>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

// A screen with the planeArea 1024 x 192 below it (8 planes) or 896 x 960
// beside it (4 planes).
graf::Config stippleBoard(int planes, int width = 128, int height = 128) {
    graf::Config c = smallBoard(planes, width, height);
    if (planes == 8)
        c.ints["OFFSCRH"] = 256;
    return c;
}

// A stipple of `w` x `h` with varied bits, as rows of characters.
std::vector<std::string> pattern(int w, int h, unsigned seed = 1) {
    std::vector<std::string> rows;
    unsigned v = seed * 2654435761u;
    for (int y = 0; y < h; y++) {
        std::string r;
        for (int x = 0; x < w; x++) {
            v = v * 1103515245u + 12345u;
            r += (v >> 16) & 1 ? 'X' : '.';
        }
        rows.push_back(r);
    }
    return rows;
}

std::vector<uint16_t> commands(const sim::Trace &t) {
    std::vector<uint16_t> c;
    for (const PortWrite &w : engineWrites(t))
        if (w.first == sim::hobraport::Command)
            c.push_back(w.second);
    return c;
}

// The expansion blits (0xC0F3 under pixel control 0xA0C0): source corner,
// destination y and height - 1 of each.
struct Blit {
    uint16_t sx, sy, dy, heightLess1;
    bool operator==(const Blit &) const = default;
};
std::vector<Blit> expansions(const sim::Trace &t) {
    std::vector<Blit> out;
    uint16_t cx = 0, cy = 0, dy = 0, h = 0, pixctl = 0;
    for (const PortWrite &w : engineWrites(t)) {
        switch (w.first) {
        case 0xC6E8:
            cx = w.second;
            break;
        case 0xC2E8:
            cy = w.second;
            break;
        case 0xCAE8:
            dy = w.second;
            break;
        case 0xFEE8:
            if ((w.second & 0xF000) == 0)
                h = w.second;
            else if ((w.second & 0xF000) == 0xA000)
                pixctl = w.second;
            break;
        case 0x9AE8:
            if (w.second == 0xC0F3 && pixctl == 0xA0C0)
                out.push_back({cx, cy, dy, h});
            break;
        default:
            break;
        }
    }
    return out;
}

size_t stippleGenCalls() {
    return server::genCallsOf("genStippledFillRects").size() +
           server::genCallsOf("genOpStippledFillRects").size();
}

struct StippleCase {
    const char *what;
    int width, height; // of the stipple
    std::vector<BoxRec> boxes;
    DDXPointRec origin;
    bool generic;
};

class HobraStipple : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", stippleBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(13);
    }
    uint32_t someMask() const { return GetParam() == 8 ? 0x3Cu : 0x09u; }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Planes, HobraStipple, testing::Values(8, 4),
                         [](const auto &info) { return "planes" + std::to_string(info.param); });

TEST_P(HobraStipple, TransparentAndOpaqueOverAlusAndPlaneMasks) {
    const StippleCase cases[] = {
        {"8 x 8, boxes up to 100 x 100",
         8,
         8,
         {{0, 0, 100, 100}, {110, 3, 128, 20}, {101, 101, 128, 128}},
         {0, 0},
         false},
        {"odd size, origin right of and below the boxes",
         13,
         7,
         {{10, 5, 40, 30}, {50, 60, 51, 61}, {60, 70, 127, 127}},
         {300, 200},
         false},
        {"origin left of and above, one box", 5, 11, {{20, 20, 90, 80}}, {-37, -3}, false},
        {"32 wide with empty boxes among the boxes",
         32,
         3,
         {{0, 0, 0, 10}, {4, 4, 60, 60}, {70, 10, 90, 10}, {64, 64, 128, 100}},
         {1, 2},
         false},
    };
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu : {GXcopy, GXxor, GXand, GXorInverted})
            for (const StippleCase &c : cases)
                for (int style : {FillStippled, FillOpaqueStippled}) {
                    SCOPED_TRACE(std::string(c.what) + " alu " + std::to_string(alu) +
                                 " planemask " + std::to_string(pm) +
                                 (style == FillStippled ? " transparent" : " opaque"));
                    PixmapPtr st = s->stipple(pattern(c.width, c.height, unsigned(alu + pm)));
                    GCPtr gc = s->createGC({.fillStyle = style,
                                            .alu = alu,
                                            .planemask = pm,
                                            .fg = 0xA7u & s->allPlanes(),
                                            .bg = 0x5Bu & s->allPlanes(),
                                            .stipple = st,
                                            .patOrg = c.origin});
                    server::clearGenCalls();
                    s->fillRects(gc, c.boxes);
                    EXPECT_SCREEN_SAME(*s);
                    EXPECT_EQ(stippleGenCalls(), c.generic ? 1u : 0u);
                    EXPECT_EQ(server::genCallsOf("nfbReplicateArea").size(), c.generic ? 0u : 1u);
                }
    EXPECT_EQ(s->failureText(), "");
}

// Plane 0 of the planeArea holds the stipple repeated over 108 x 108 for
// boxes up to 100 x 100; the other planes there and plane 0 beyond are
// left alone, and each box is one expansion.
TEST(HobraStippleStore, ReplicatedOverTheLargestBoxInPlaneZero) {
    harness::Screen s("hobra", stippleBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const Rect a = privateOf(s).planeArea;
    ASSERT_EQ(rect(a), (std::vector<int>{0, 192, 1024, 192}));
    uint8_t *vram = adapter(s).vram()->data();
    auto at = [&](int x, int y) -> uint8_t & {
        return vram[size_t(a.y + y) * 1024 + size_t(a.x + x)];
    };
    for (int y = 0; y < 120; y++)
        for (int x = 0; x < 120; x++)
            at(x, y) = 0xB4;
    const std::vector<std::string> rows = pattern(8, 8, 5);
    GCPtr gc = s.createGC({.fillStyle = FillStippled, .fg = 9, .stipple = s.stipple(rows)});
    s.drain();
    s.machine().clearTrace();
    s.fillRects(gc, {{0, 0, 100, 100}, {100, 10, 128, 50}, {3, 110, 53, 111}});
    EXPECT_SCREEN_SAME(s);
    for (int y = 0; y < 120; y++)
        for (int x = 0; x < 120; x++) {
            const bool inside = x < 108 && y < 108;
            const uint8_t bit = rows[size_t(y % 8)][size_t(x % 8)] == 'X' ? 1 : 0;
            ASSERT_EQ(at(x, y), inside ? uint8_t(0xB4 | bit) : 0xB4) << x << "," << y;
        }
    EXPECT_EQ(expansions(s.machine().trace()),
              (std::vector<Blit>{{0, 192, 0, 99}, {4, 194, 10, 39}, {3, 198, 110, 0}}));
    EXPECT_EQ(s.failureText(), "");
}

// A box 400 lines high: the whole planeArea height is replicated and the
// box goes in bands of 184, 184 and 32 lines from one source corner.
TEST(HobraStippleStore, TallBoxesGoInBandsOfWholeStippleHeights) {
    harness::Screen s("hobra", stippleBoard(8, 128, 420), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(17);
    const Rect a = privateOf(s).planeArea;
    ASSERT_EQ(a.height, 192);
    for (int style : {FillStippled, FillOpaqueStippled}) {
        SCOPED_TRACE(style == FillStippled ? "transparent" : "opaque");
        GCPtr gc = s.createGC({.fillStyle = style,
                               .alu = GXxor,
                               .fg = 0x71,
                               .bg = 0x0E,
                               .stipple = s.stipple(pattern(8, 8, 3)),
                               .patOrg = {2, 5}});
        s.drain();
        s.machine().clearTrace();
        s.fillRects(gc, {{10, 7, 110, 407}});
        EXPECT_SCREEN_SAME(s);
        const uint16_t sy = uint16_t(a.y + 2); // (7 - 5) mod 8
        EXPECT_EQ(expansions(s.machine().trace()),
                  (std::vector<Blit>{{0, sy, 7, 183}, {0, sy, 191, 183}, {0, sy, 375, 31}}));
    }
    EXPECT_EQ(s.failureText(), "");
}

// The layer fills when the stipple or the boxes do not fit the planeArea:
// here 200 x 192.
TEST(HobraStippleStore, StipplesOrBoxesTooLargeGoToTheLayer) {
    graf::Config c = stippleBoard(8, 256, 64);
    c.ints["OFFSCRW"] = 200;
    harness::Screen s("hobra", c, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(19);
    ASSERT_EQ(privateOf(s).planeArea.width, 200);
    const StippleCase cases[] = {
        {"101 wide: over half the width", 101, 2, {{0, 0, 120, 20}}, {0, 0}, true},
        {"100 wide", 100, 2, {{0, 0, 100, 20}}, {0, 0}, false},
        {"97 high: over half the height", 4, 97, {{0, 0, 30, 50}}, {0, 0}, true},
        {"box 193 wide with an 8 wide stipple",
         8,
         8,
         {{0, 0, 10, 10}, {5, 20, 198, 40}},
         {0, 0},
         true},
        {"box 192 wide", 8, 8, {{0, 0, 10, 10}, {5, 20, 197, 40}}, {0, 0}, false},
    };
    for (const StippleCase &k : cases)
        for (int style : {FillStippled, FillOpaqueStippled}) {
            SCOPED_TRACE(std::string(k.what) +
                         (style == FillStippled ? " transparent" : " opaque"));
            GCPtr gc = s.createGC({.fillStyle = style,
                                   .alu = GXcopy,
                                   .fg = 0x21,
                                   .bg = 0x12,
                                   .stipple = s.stipple(pattern(k.width, k.height, 7)),
                                   .patOrg = k.origin});
            server::clearGenCalls();
            s.fillRects(gc, k.boxes);
            EXPECT_SCREEN_SAME(s);
            EXPECT_EQ(server::genCallsOf(style == FillStippled ? "genStippledFillRects"
                                                               : "genOpStippledFillRects")
                          .size(),
                      k.generic ? 1u : 0u);
        }
    // A planeArea this narrow has no room for text fonts, which Init says.
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
}

// Boxes that are all empty draw nothing: no store, no band of height 0.
TEST(HobraStippleStore, OnlyEmptyBoxesDrawNothing) {
    harness::Screen s("hobra", stippleBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    for (int style : {FillStippled, FillOpaqueStippled}) {
        GCPtr gc =
            s.createGC({.fillStyle = style, .fg = 3, .bg = 4, .stipple = s.stipple(pattern(8, 8))});
        s.drain();
        s.machine().clearTrace();
        server::clearGenCalls();
        s.fillRects(gc, {{10, 10, 20, 10}, {30, 30, 30, 40}, {50, 50, 40, 60}});
        EXPECT_TRUE(commands(s.machine().trace()).empty());
        EXPECT_TRUE(server::genCalls().empty());
        EXPECT_SCREEN_SAME(s);
    }
    EXPECT_EQ(s.failureText(), "");
}

// An opaque stipple whose two colours are one is a solid fill: the GC gets
// the solid record and the stipple routine is never reached.
TEST(HobraStippleStore, OpaqueStippleInOneColourFillsSolid) {
    harness::Screen s("hobra", stippleBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC(
        {.fillStyle = FillOpaqueStippled, .fg = 6, .bg = 6, .stipple = s.stipple(pattern(8, 8))});
    server::clearGenCalls();
    s.fillRects(gc, {{0, 0, 50, 50}});
    EXPECT_SCREEN_SAME(s);
    EXPECT_EQ(server::genCallsOf("genSolidFillRects").size(), 1u);
    EXPECT_TRUE(server::genCallsOf("nfbReplicateArea").empty());
    EXPECT_EQ(s.failureText(), "");
}

} // namespace
