// The gd6 engine primitives that no window slot reaches yet (the transparent
// copy out of the staging area, copies to the staging area at an offset, the
// linear blit and the replication of a tile across an area), tested from
// inside: both builds' sources are compiled into this program, each in a
// namespace of its own under a driver name of its own, and started on the
// simulated adapter like the libraries.
#include "driver.h" // before the sources below, so that they share the server's types

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"
#include "models/gd6_adapter.h"

namespace b8 {
#define DRV_NAME inner8
#define GD6_BUILD_TOLVA8
#include "../cirrus/gd6/gd6.cpp"
#include "../cirrus/gd6/gd6_blt.cpp"
#include "../cirrus/gd6/gd6_cursor.cpp"
#include "../cirrus/gd6/gd6_image.cpp"
#include "../cirrus/gd6/gd6_solid.cpp"
#include "../cirrus/gd6/gd6_text.cpp"
#include "../cirrus/gd6/gd6_tile.cpp"
#undef DRV_NAME
#undef GD6_BUILD_TOLVA8
#undef GD6_DRAW_MONO_GLYPHS
#undef GD6_DRAW_FONT_TEXT
#undef GD6_H
} // namespace b8

namespace b16 {
#define DRV_NAME inner16
#define GD6_BUILD_TOLVA16
#include "../cirrus/gd6/gd6.cpp"
#include "../cirrus/gd6/gd6_blt.cpp"
#include "../cirrus/gd6/gd6_cursor.cpp"
#include "../cirrus/gd6/gd6_image.cpp"
#include "../cirrus/gd6/gd6_solid.cpp"
#include "../cirrus/gd6/gd6_text.cpp"
#include "../cirrus/gd6/gd6_tile.cpp"
#undef DRV_NAME
#undef GD6_BUILD_TOLVA16
} // namespace b16

namespace {

// The screen-private fields the tests look at, from either build's record.
struct Fields {
    uint32_t windowSize, chunk, bankShift, alignShift, gr0bBits;
    uint32_t windowAddr, cursorAddr, patternAddr;
    bool patternKnown;
    int cursorSize;
};

template <class Priv> Fields fieldsOf(const void *p) {
    const Priv *v = static_cast<const Priv *>(p);
    return {v->windowSize, v->chunk,      v->bankShift,   v->alignShift,        v->gr0bBits,
            v->windowAddr, v->cursorAddr, v->patternAddr, v->patternKnown != 0, v->cursorSize};
}

struct Build {
    const char *name;
    const char *library; // the library of the same build, for the harness
    const char *config;
    ScreenInfo *info;
    void (*blitToWindowOffset)(DrawablePtr, int, int, int, int, uint32_t, int);
    void (*blitFromWindow)(DrawablePtr, DDXPointPtr, int, int, int, int, int, int);
    void (*transparentBlit)(DrawablePtr, DDXPointPtr, int, int, int, int, int, Pixel, int);
    void (*linearBlit)(BoxPtr, uint32_t, int, DrawablePtr);
    void (*replicate)(uint32_t, int, int, int, int, int, DrawablePtr);
    Fields (*fields)(ScreenPtr);
};

void PrintTo(const Build &b, std::ostream *os) {
    *os << b.name;
}

const Build kBuilds[] = {
    {"tolva8", "tolva8", "cirrus/gd6/tolva8.graf", &b8::inner8ScreenInfo, b8::gd6BlitToWindowOffset,
     b8::inner8BlitFromWindow, b8::inner8TransparentBlitFromWindow, b8::inner8LinearBlit,
     b8::inner8ReplicateLinear,
     [](ScreenPtr p) {
         return fieldsOf<b8::gd6ScreenPrivate>(p->devPrivates[b8::inner8ScreenPrivateIndex].ptr);
     }},
    {"tolva16", "tolva16", "cirrus/gd6/tolva16.graf", &b16::inner16ScreenInfo,
     b16::gd6BlitToWindowOffset, b16::inner16BlitFromWindow, b16::inner16TransparentBlitFromWindow,
     b16::inner16LinearBlit, b16::inner16ReplicateLinear,
     [](ScreenPtr p) {
         return fieldsOf<b16::gd6ScreenPrivate>(p->devPrivates[b16::inner16ScreenPrivateIndex].ptr);
     }},
};

class Gd6Primitives : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override { start(harness::loadConfig(GetParam().config)); }

    void start(const graf::Config &cfg) {
        const Build &b = GetParam();
        harness::Options o;
        o.reporter = HARNESS_GTEST_REPORTER;
        s.reset(); // one screen at a time: the server's state is process-wide
        s = std::make_unique<harness::Screen>(b.library, cfg, o);
        static char arg0[] = "X";
        char *argv[] = {arg0, nullptr};
        Bool ok = 0;
        s->call("inner Init", [&] {
            ok = b.info->Probe(0, &s->config()) && b.info->Init(0, s->screen(), 1, argv);
        });
        ASSERT_TRUE(ok) << s->failureText();
        s->createRoot();
        s->fillRandom(5);
        bpp = s->bytesPerPixel();
        windowAddr = uint32_t(s->graf().ints.at("WINDOWADDR"));
        adapter = dynamic_cast<sim::Gd6Adapter *>(s->adapter());
        vram = adapter->vram()->data();
        adapter->blt().clearLog();
    }

    uint32_t pixelAt(uint32_t addr) const {
        return bpp == 1 ? vram[addr] : uint32_t(vram[addr] | vram[addr + 1] << 8);
    }
    void putPixel(uint32_t addr, uint32_t v) {
        vram[addr] = uint8_t(v);
        if (bpp == 2)
            vram[addr + 1] = uint8_t(v >> 8);
    }
    // Staging-area pixel (x, y) at window pitch r.
    uint32_t staged(int x, int y, int r) const { return windowAddr + uint32_t(x * bpp + y * r); }
    const std::vector<sim::BltOp> &ops() const { return adapter->blt().log(); }

    std::unique_ptr<harness::Screen> s;
    sim::Gd6Adapter *adapter = nullptr;
    uint8_t *vram = nullptr;
    uint32_t windowAddr = 0;
    int bpp = 1;
};

// A 16 x 16 tile over a 100 x 40 area: widths 32, 64, 100 and heights 32, 40.
TEST_P(Gd6Primitives, ReplicateDoublesTheTile) {
    const int r = 100 * bpp;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            putPixel(staged(x, y, r), uint32_t(x * 16 + y + 1) & s->allPlanes());
    GetParam().replicate(windowAddr, 100, 40, 16, 16, r, s->drawable());
    s->drain();
    ASSERT_EQ(ops().size(), 5u);
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 100; x++)
            ASSERT_EQ(pixelAt(staged(x, y, r)), pixelAt(staged(x % 16, y % 16, r)))
                << x << ", " << y;
}

TEST_P(Gd6Primitives, ReplicateWithATileAsWideAsTheAreaCopiesOnlyDown) {
    const int r = 16 * bpp;
    GetParam().replicate(windowAddr, 16, 40, 16, 16, r, s->drawable());
    s->drain();
    ASSERT_EQ(ops().size(), 2u);
    for (const sim::BltOp &op : ops())
        EXPECT_EQ((op.regs.dstAddr - windowAddr) % uint32_t(r), 0u) << "starts at column 0";
}

TEST_P(Gd6Primitives, LinearBlitOfAnEmptyBoxDoesNothing) {
    BoxRec empty = {5, 5, 5, 9};
    GetParam().linearBlit(&empty, windowAddr, 64, s->drawable());
    BoxRec flat = {5, 9, 8, 9};
    GetParam().linearBlit(&flat, windowAddr, 64, s->drawable());
    EXPECT_TRUE(ops().empty());
}

// Out of the staging area, leaving the screen where the source holds the
// transparent colour.
TEST_P(Gd6Primitives, TransparentBlitKeepsTransparentPixels) {
    const Pixel transparent = 0x5A5A & s->allPlanes();
    const int w = 24, h = 6, r = 32 * bpp;
    DDXPointRec from = {3, 2};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            putPixel(staged(from.x + x, from.y + y, r),
                     (x + y) % 3 == 0 ? transparent : uint32_t(x * 7 + y) & s->allPlanes());
    for (int alu : {GXcopy, GXxor}) {
        s->drain();
        ref::Canvas before = s->readScreen();
        GetParam().transparentBlit(s->drawable(), &from, 40, 50, w, h, r, transparent, alu);
        s->drain();
        ref::Canvas after = s->readScreen();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint32_t src = pixelAt(staged(from.x + x, from.y + y, r));
                uint32_t old = before.get(40 + x, 50 + y);
                uint32_t want = src == transparent ? old : ref::applyAlu(alu, src, old);
                ASSERT_EQ(after.get(40 + x, 50 + y), want & s->allPlanes())
                    << "alu " << alu << " at " << x << ", " << y;
            }
    }
}

// To the staging area at a byte offset and back out from a window point.
TEST_P(Gd6Primitives, ThroughTheWindowAtAnOffset) {
    const int w = 20, h = 7, r = 20 * bpp;
    const uint32_t offset = uint32_t(3 * r);
    GetParam().blitToWindowOffset(s->drawable(), 100, 60, w, h, offset, r);
    DDXPointRec point = {0, 3};
    GetParam().blitFromWindow(s->drawable(), &point, 300, 200, w, h, r, GXcopy);
    ref::copyRect(s->mirror(), {300, 200, 300 + w, 200 + h}, {100, 60}, GXcopy, ~0u);
    EXPECT_SCREEN_SAME(*s);
    ASSERT_EQ(ops().size(), 2u);
    EXPECT_EQ(ops()[0].regs.dstAddr, windowAddr + offset);
    EXPECT_EQ(ops()[0].regs.dstPitch, r);
}

TEST_P(Gd6Primitives, PrivateAfterInit) {
    Fields f = GetParam().fields(s->screen());
    EXPECT_EQ(f.windowSize, 0x10000u);
    EXPECT_EQ(f.chunk, bpp == 1 ? 256u : 128u) << "square root of the window, halved at 16 bits";
    EXPECT_EQ(f.bankShift, 4u);
    EXPECT_EQ(f.alignShift, bpp == 1 ? 15u : 16u);
    EXPECT_EQ(f.gr0bBits, 0u);
    EXPECT_EQ(f.patternAddr, f.cursorAddr);
    EXPECT_FALSE(f.patternKnown) << "no colour is taken for the pattern's before it is written";
    EXPECT_EQ(f.cursorSize, 64) << "SR0F bits 4-3 are 2 on a 1 MB board";
}

TEST_P(Gd6Primitives, LargeModePrivate) {
    graf::Config cfg = harness::loadConfig(GetParam().config);
    cfg.ints["MEMSIZE"] = 0x200000;
    // 1.25 MB at 8 bits, 1.5 MB at 16.
    const int width = bpp == 1 ? 1280 : 1024, height = bpp == 1 ? 1024 : 768;
    cfg.ints["PIXWIDTH"] = width;
    cfg.ints["PIXHEIGHT"] = height;
    cfg.ints["PIXBYTES"] = width * bpp;
    cfg.ints["WINDOWADDR"] = 0x1C0000;
    cfg.ints["CURSORADDR"] = 0x1FC000;
    cfg.ints["WINDOWSIZE"] = 0x8000;
    start(cfg);
    Fields f = GetParam().fields(s->screen());
    EXPECT_EQ(f.bankShift, 6u);
    EXPECT_EQ(f.alignShift, bpp == 1 ? 17u : 18u);
    EXPECT_EQ(f.gr0bBits, 0x20u);
    EXPECT_EQ(f.windowSize, 0x8000u);
    EXPECT_EQ(f.chunk, bpp == 1 ? 181u : 90u);
    EXPECT_EQ(f.cursorSize, 32) << "SR0F bits 4-3 are 3 on a 2 MB board";
}

TEST_P(Gd6Primitives, CursorSizeFromSr0f) {
    for (int sr0f : {0x08, 0x10, 0x18, 0x00}) {
        graf::Config cfg = harness::loadConfig(GetParam().config);
        cfg.ints["SR0F"] = sr0f;
        start(cfg);
        EXPECT_EQ(GetParam().fields(s->screen()).cursorSize, sr0f == 0x10 ? 64 : 32) << sr0f;
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd6Primitives, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &i) { return i.param.name; });

} // namespace
