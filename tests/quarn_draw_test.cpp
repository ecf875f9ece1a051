// Solid drawing through the MGA engine model, compared with the reference
// renderer at depths 8, 16 and 32 (the scripted library on a 640 x 480
// screen): fills, spans, rectangles and points over every alu and two plane
// masks, copies in every overlap direction; the engine-state cache, the
// plane-mask rule, the clip, the fill-style choice, the colormap hooks and
// the engine model's strictness.
#include "hwio.h"
#include "quarn_fixture.h"
#include "server.h"

namespace quarntest {
namespace {

graf::Config smallBoard(int depth) {
    graf::Config c = board("eclipse");
    c.ints["PIXWIDTH"] = 640;
    c.ints["PIXHEIGHT"] = 480;
    c.ints["DEPTH"] = depth;
    if (depth == 32) {
        c.ints["DEPTH"] = 24;
        c.ints["BITSPERPIXEL"] = 32;
    }
    return c;
}

struct Drawn {
    explicit Drawn(int depth, graf::Config cfg = {})
        : s(cfg.adapter.empty() ? smallBoard(depth) : cfg, 640 * (depth / 8)) {
        s.script->fbPitch = 640;
        started = s.screen.start();
        if (started)
            s.screen.fillRandom(3);
    }
    harness::Screen &screen() { return s.screen; }
    sim::MgaBoard &mga() { return s.mga(); }
    Pixel colour(uint32_t seed) { return (seed * 0x9E3779B1u) & s.screen.allPlanes(); }
    // Register writes to the engine since the last clearTrace, as offsets.
    std::vector<uint32_t> engineWrites() {
        std::vector<uint32_t> out;
        const int regs = s.screen.machine().regionIndex("MEMORY");
        for (const sim::Access &a : s.screen.machine().trace())
            if (a.region == regs && a.kind == sim::Access::MemWrite && a.address >= 0x1C00 &&
                a.address < 0x1E00)
                out.push_back(a.address);
        return out;
    }
    Scripted s;
    bool started = false;
};

class QuarnDraw : public testing::TestWithParam<int> {};

const uint32_t kPlaneMasks[] = {~0u, 0x5A5A5AA5u};

TEST_P(QuarnDraw, FillsSpansRectanglesAndPointsOverAlusAndMasks) {
    Drawn d(GetParam());
    ASSERT_TRUE(d.started) << d.screen().failureText();
    for (int alu = 0; alu < 16; alu++)
        for (uint32_t pm : kPlaneMasks) {
            SCOPED_TRACE("alu " + std::to_string(alu) + ", mask " + std::to_string(pm));
            const int16_t o = int16_t(alu * 9);
            GCPtr gc = d.screen().createGC({.alu = alu, .planemask = pm, .fg = d.colour(alu + 1)});
            d.screen().fillRects(gc, {{o, 1, int16_t(o + 30), 9},
                                      {40, 5, 40, 12}, // empty
                                      {int16_t(600 - o), int16_t(alu % 8), 640, 16}});
            d.screen().fillSpans(gc, {{o, 20}, {int16_t(o + 3), 21}, {0, 22}}, {17, 0, 640});
            d.screen().drawSolidRects({{int16_t(o), 30, int16_t(o + 25), 40}, {0, 479, 1, 480}},
                                      d.colour(alu + 7), alu, pm);
            d.screen().drawPoints({{o, 50}, {639, 479}, {int16_t(o + 1), 51}}, d.colour(alu + 13),
                                  alu, pm);
            EXPECT_SCREEN_SAME(d.screen());
        }
    EXPECT_TRUE(server::genCallsOf("genSolidFillRects").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawPoints").empty());
    EXPECT_EQ(d.mga().points(), 16 * 2 * 3);
    EXPECT_TRUE(d.screen().failures().empty()) << d.screen().failureText();
}

struct Copy {
    const char *name;
    BoxRec dst;
    DDXPointRec src;
};

const Copy kCopies[] = {
    {"down right", {20, 3, 83, 14}, {17, 1}},
    {"up left", {5, 0, 69, 12}, {12, 3}},
    {"right, same rows", {40, 2, 104, 15}, {33, 2}},
    {"left, same rows", {3, 2, 66, 15}, {9, 2}},
    {"down left", {0, 5, 50, 15}, {7, 2}},
    {"up right", {77, 0, 127, 11}, {70, 4}},
    {"one line down, one right", {200, 1, 300, 16}, {199, 0}},
    {"onto itself", {50, 2, 60, 9}, {50, 2}},
    {"empty", {50, 2, 50, 9}, {0, 0}},
};

TEST_P(QuarnDraw, CopiesInEveryOverlapDirection) {
    Drawn d(GetParam());
    ASSERT_TRUE(d.started) << d.screen().failureText();
    int alu = 0;
    for (const Copy &c : kCopies) {
        SCOPED_TRACE(c.name);
        d.screen().copyRect(c.dst, c.src, GXcopy);
        EXPECT_SCREEN_SAME(d.screen());
        d.screen().copyRect(c.dst, c.src, alu % 15 + 1, kPlaneMasks[alu % 2]);
        alu++;
        EXPECT_SCREEN_SAME(d.screen());
    }
    EXPECT_EQ(d.mga().copies(), 2 * 8) << "every copy but the empty one on the engine";
    EXPECT_TRUE(d.screen().failures().empty()) << d.screen().failureText();
}

INSTANTIATE_TEST_SUITE_P(Depths, QuarnDraw, testing::Values(8, 16, 32),
                         [](const auto &info) { return "depth" + std::to_string(info.param); });

// A second identical fill writes only the per-box registers; a fill and a
// span alternating reload the set-up; so does a fill after a copy.
TEST(QuarnEngineCache, SetUpOnlyWhenTheStateOrItsValuesChange) {
    Drawn d(8);
    ASSERT_TRUE(d.started);
    GCPtr gc = d.screen().createGC({.fg = 5});
    const std::vector<uint32_t> perBox = {0x1CA8, 0x1CAC, 0x1C90, 0x1D5C};
    const std::vector<uint32_t> setUp = {0x1C00, 0x1C24, 0x1C1C};
    auto with = [](std::vector<uint32_t> a, const std::vector<uint32_t> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    d.screen().machine().clearTrace();
    d.screen().fillRects(gc, {{0, 0, 10, 10}});
    EXPECT_EQ(d.engineWrites(), with(setUp, perBox));
    d.screen().machine().clearTrace();
    d.screen().fillRects(gc, {{10, 10, 20, 20}});
    EXPECT_EQ(d.engineWrites(), perBox) << "the same fill again";
    d.screen().machine().clearTrace();
    d.screen().fillSpans(gc, {{0, 30}}, {5});
    EXPECT_EQ(d.engineWrites(), with(setUp, perBox)) << "spans are another state";
    d.screen().machine().clearTrace();
    d.screen().fillRects(gc, {{0, 0, 10, 10}});
    EXPECT_EQ(d.engineWrites(), with(setUp, perBox)) << "and back";
    d.screen().copyRect({100, 100, 110, 110}, {0, 0});
    d.screen().machine().clearTrace();
    d.screen().fillRects(gc, {{0, 0, 10, 10}});
    EXPECT_EQ(d.engineWrites(), with(setUp, perBox)) << "a copy in between";
    d.screen().changeGC(gc, {.fg = 6});
    d.screen().machine().clearTrace();
    d.screen().fillRects(gc, {{0, 0, 10, 10}});
    EXPECT_EQ(d.engineWrites(), with(setUp, perBox)) << "another colour";
    EXPECT_SCREEN_SAME(d.screen());
}

// The twister with memory type 5 at depth 16: a full mask draws (the
// register untouched), any other goes to the generic routine unchanged.
TEST(QuarnPlaneMaskRule, TwisterSdramAtSixteenBits) {
    struct Case {
        const char *what;
        uint32_t device, memoryType, planemask;
        bool generic, maskWritten;
    } cases[] = {
        {"full mask", 0x1001, 5, 0xFFFF, false, false},
        {"15 planes", 0x1001, 5, 0x7FFF, true, false},
        {"full in the low bits", 0x1000, 5, 0xABCDFFFF, false, false},
        {"other memory", 0x1001, 2, 0x7FFF, false, true},
        {"eclipse", 0x0521, 5, 0x7FFF, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        harness::beginCase();
        graf::Config cfg = smallBoard(16);
        cfg.ints["PCI_DEVICE"] = int(c.device);
        // The script answers the board's memory type.
        Scripted s(cfg, 1280);
        s.script->fbPitch = 640;
        s.script->memoryType = c.memoryType;
        ASSERT_TRUE(s.screen.start()) << c.what << s.screen.failureText();
        s.screen.fillRandom(4);
        s.screen.machine().clearTrace();
        server::clearGenCalls();
        s.screen.drawSolidRects({{3, 3, 40, 9}}, 0x1234, GXxor, c.planemask);
        GCPtr gc = s.screen.createGC({.planemask = c.planemask, .fg = 0x4321});
        s.screen.fillRects(gc, {{50, 3, 90, 9}});
        EXPECT_SCREEN_SAME(s.screen);
        EXPECT_EQ(server::genCallsOf("genDrawSolidRects").size(), c.generic ? 1u : 0u) << c.what;
        EXPECT_EQ(server::genCallsOf("genSolidFillRects").size(), c.generic ? 1u : 0u) << c.what;
        bool maskWritten = false;
        const int regs = s.screen.machine().regionIndex("MEMORY");
        for (const sim::Access &a : s.screen.machine().trace())
            maskWritten |=
                a.region == regs && a.kind == sim::Access::MemWrite && a.address == 0x1C1C;
        EXPECT_EQ(maskWritten, c.maskWritten) << c.what;
    }
}

TEST(QuarnClip, OnlyTheFirstBoxClips) {
    Drawn d(8);
    ASSERT_TRUE(d.started);
    d.screen().setClipRegions({{10, 10, 50, 40}, {100, 100, 200, 200}});
    d.screen().drawSolidRects({{0, 0, 640, 480}}, 7);
    EXPECT_TRUE(d.screen().failures().empty()) << d.screen().failureText();
    EXPECT_EQ(d.mga().reg(0x1CA0), 10u);
    EXPECT_EQ(d.mga().reg(0x1CA4), 49u);
    EXPECT_EQ(d.mga().reg(0x1C98), 10u * 640);
    EXPECT_EQ(d.mga().reg(0x1C9C), 39u * 640);
    d.screen().setClipRegions({});
    EXPECT_EQ(d.mga().reg(0x1CA4), 639u);
    EXPECT_EQ(d.mga().reg(0x1C9C), 479u * 640);
}

// An opaque stipple whose colours are equal is a solid fill, also when the
// colours come to be equal (or differ again) after the style was set.
TEST(QuarnValidate, OpaqueStippleWithEqualColoursIsSolid) {
    Drawn d(8);
    ASSERT_TRUE(d.started);
    PixmapPtr stipple = d.screen().stipple({"X.", ".X"});
    GCPtr gc = d.screen().createGC(
        {.fillStyle = FillOpaqueStippled, .fg = 3, .bg = 3, .stipple = stipple});
    PrivOps *solid = d.screen().ops(gc);
    d.screen().changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 3, .stipple = stipple},
                        GCForeground);
    EXPECT_NE(d.screen().ops(gc), solid) << "the foreground changed: stippled again";
    d.screen().changeGC(gc, {.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4, .stipple = stipple},
                        GCBackground);
    EXPECT_EQ(d.screen().ops(gc), solid);
    GCPtr plain = d.screen().createGC({.fg = 9});
    EXPECT_EQ(d.screen().ops(plain), solid);
}

TEST(QuarnColormap, EightBitsOnlyThroughTheDac) {
    Drawn d(8);
    ASSERT_TRUE(d.started);
    d.screen().setColor(9, 0x1234, 0xABCD, 0xFFFF);
    EXPECT_EQ(d.mga().palette(9), (std::array<uint8_t, 3>{0x12, 0xAB, 0xFF}));
    ColormapPtr map = d.screen().defaultColormap();
    ASSERT_NE(map, nullptr);
    // A shared entry is read through its pointers.
    SHAREDCOLOR r{0x4400, 1}, g{0x5500, 1}, b{0x6600, 1};
    Entry saved = map->red[2];
    map->red[2].fShared = 1;
    map->red[2].co.shco.red = &r;
    map->red[2].co.shco.green = &g;
    map->red[2].co.shco.blue = &b;
    map->red[3].fShared = 0;
    map->red[3].co.local = {0x0100, 0x0200, 0x0300};
    d.screen().machine().clearTrace();
    d.screen().installColormap(map);
    map->red[2] = saved;
    EXPECT_EQ(d.mga().palette(2), (std::array<uint8_t, 3>{0x44, 0x55, 0x66}));
    EXPECT_EQ(d.mga().palette(3), (std::array<uint8_t, 3>{1, 2, 3}));
    int addressWrites = 0, dataWrites = 0;
    const int regs = d.screen().machine().regionIndex("MEMORY");
    for (const sim::Access &a : d.screen().machine().trace()) {
        if (a.region != regs || a.kind != sim::Access::MemWrite)
            continue;
        addressWrites += a.address == 0x3C00;
        dataWrites += a.address == 0x3C01;
    }
    EXPECT_EQ(addressWrites, 1);
    EXPECT_EQ(dataWrites, 768);
    for (int depth : {16, 32}) {
        harness::beginCase();
        Drawn other(depth);
        ASSERT_TRUE(other.started);
        other.screen().machine().clearTrace();
        other.screen().setColor(9, 0x1234, 0xABCD, 0xFFFF);
        other.screen().installColormap(other.screen().defaultColormap());
        EXPECT_EQ(other.engineWrites().size(), 0u);
        const int r2 = other.screen().machine().regionIndex("MEMORY");
        for (const sim::Access &a : other.screen().machine().trace())
            EXPECT_FALSE(a.region == r2 && a.kind == sim::Access::MemWrite &&
                         (a.address == 0x3C00 || a.address == 0x3C01))
                << depth;
    }
}

// The engine model's rules, each with a small fixture.
TEST(QuarnEngineModel, Strictness) {
    struct Case {
        const char *what;
        void (*act)(uint8_t *regs, uint8_t *fb);
        const char *failure;
    } cases[] = {
        {"a write with the FIFO full",
         [](uint8_t *regs, uint8_t *) {
             for (int i = 0; i < 65; i++)
                 mmWrite32(regs + 0x1C24, uint32_t(i));
         },
         "FIFO full"},
        {"video memory while the engine works",
         [](uint8_t *regs, uint8_t *fb) {
             mmWrite32(regs + 0x1C00, 0x400C7804);
             mmWrite32(regs + 0x1CA8, 0);
             mmWrite32(regs + 0x1CAC, 4);
             mmWrite32(regs + 0x1C90, 0);
             mmWrite32(regs + 0x1D5C, 1);
             (void)mmRead8(fb);
         },
         "busy"},
        {"an unknown command",
         [](uint8_t *regs, uint8_t *) {
             mmWrite32(regs + 0x1C00, 0x000C0007);
             mmWrite32(regs + 0x1D5C, 1);
         },
         "not one it runs"},
        {"bit 4 against the alu",
         [](uint8_t *regs, uint8_t *) {
             mmWrite32(regs + 0x1C00, 0x400C7814);
             mmWrite32(regs + 0x1D5C, 1);
         },
         "bit 4"},
        {"a blit right edge left of its left edge",
         [](uint8_t *regs, uint8_t *) {
             mmWrite32(regs + 0x1C00, 0x040C4008);
             mmWrite32(regs + 0x1CA8, 10);
             mmWrite32(regs + 0x1CAC, 9);
             mmWrite32(regs + 0x1D6C, 0);
         },
         "left of its left edge"},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        Drawn d(8);
        ASSERT_TRUE(d.started);
        std::vector<std::string> failures;
        d.screen().machine().setFailureHandler(
            [&](const std::string &m) { failures.push_back(m); });
        c.act(d.screen().machine().findArea("MEMORY")->host,
              d.screen().machine().findArea("FBM")->host);
        d.screen().machine().failures();
        ASSERT_FALSE(failures.empty()) << c.what;
        EXPECT_NE(failures[0].find(c.failure), std::string::npos) << c.what << ": " << failures[0];
        d.mga().drain();
    }
}

} // namespace
} // namespace quarntest
