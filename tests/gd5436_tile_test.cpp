// The gd5436 drivers' tiled boxes and stippled fills: a pattern staged in the
// ScratchArea, widened by replication and copied once per box from its phase.
// Every build on the simulated adapter with the strict BitBLT model: pixels
// against the reference renderer at pattern origins that are negative and not
// multiples of the pattern, the fallbacks against the server's call log, and
// a canary in the CursorArea that staging must leave alone.
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gd5436_fixture.h"
#include "harness.h"
#include "models/cirrus_blt.h"
#include "models/gd5436_adapter.h"
#include "server.h"

namespace {

using namespace gd5436test;

// Wide: a ScratchArea of hundreds of lines. Tight: pitch 640 and 6
// ScratchArea lines, the CursorArea reaching 256 bytes into the last one.
struct Layout {
    const char *name;
    int width, height;
    int pitch; // 0: the row plus 40 bytes
};
const Layout kWide = {"wide", 200, 100, 0};
const Layout kTight = {"tight", 96, 812, 640};

graf::Config configFor(const Build &b, const Layout &l) {
    return gd5436Config(b, l.width, l.height, l.pitch);
}

std::string aluName(int alu) {
    return "alu " + std::to_string(alu);
}

class Gd5436Tile : public ::testing::TestWithParam<Build> {
  protected:
    void start(const Layout &layout = kWide) {
        layout_ = &layout;
        s = std::make_unique<harness::Screen>(GetParam().name, configFor(GetParam(), layout),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(5);
        s->drain();
        for (uint32_t i = 0; i < 1024; i++)
            s->screenMemory()[kCursorArea + i] = uint8_t(i * 5 + 1);
        server::clearGenCalls();
        blt().clearStats();
        blt().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    void expectCanary() {
        s->drain();
        int touched = 0;
        for (uint32_t i = 0; i < 1024; i++)
            touched += s->screenMemory()[kCursorArea + i] != uint8_t(i * 5 + 1);
        EXPECT_EQ(touched, 0) << "bytes of the CursorArea changed";
    }

    sim::CirrusBltCore &blt() { return dynamic_cast<sim::Gd5436Adapter &>(*s->adapter()).blt(); }
    int pb() const { return GetParam().pixelBytes; }
    int clientBytes() const { return pb() == 3 ? 4 : pb(); }
    uint32_t all() const { return s->allPlanes(); }
    Pixel colour(uint32_t seed) const { return testColour(seed, s->allPlanes()); }
    uint32_t scratchAddr() const { return uint32_t(s->pitch()) * uint32_t(layout_->height); }
    int offWidth() const { return s->pitch() / pb(); }

    // A tile of random client pixels, `stride` bytes per row.
    std::vector<uint8_t> tile(int w, int h, uint32_t seed, int *stride) {
        *stride = w * clientBytes() + 4;
        std::vector<uint8_t> v(size_t(*stride) * size_t(h));
        std::mt19937 rng(seed);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const uint32_t p = rng() & all();
                for (int k = 0; k < clientBytes(); k++)
                    v[size_t(y * *stride + x * clientBytes() + k)] = uint8_t(p >> (8 * k));
            }
        return v;
    }

    // A random stipple pixmap.
    PixmapPtr stipple(int w, int h, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
        for (std::string &r : rows)
            for (char &c : r)
                c = rng() % 3 ? 'X' : '.';
        return s->stipple(rows);
    }

    // Where the operations that drew into the ScratchArea reach: one past
    // their last column and line, in pixels from the ScratchArea's origin.
    void stagedExtent(int *columns, int *lines) {
        *columns = *lines = 0;
        const uint32_t pitch = uint32_t(s->pitch());
        for (const sim::BltOp &op : blt().log()) {
            if (op.regs.dstAddr < scratchAddr())
                continue;
            // A backward copy holds the address of its last byte.
            const uint32_t at = op.regs.dstAddr - scratchAddr();
            const bool back = op.kind == sim::BltKind::CopyBackward;
            const int col = back ? int(at % pitch + 1) / pb()
                                 : int(at % pitch) / pb() + (op.regs.width + 1) / pb();
            const int line = int(at / pitch) + (back ? 1 : op.regs.height + 1);
            *columns = std::max(*columns, col);
            *lines = std::max(*lines, line);
        }
    }

    const Layout *layout_ = nullptr;
    std::unique_ptr<harness::Screen> s;
};

const std::vector<BoxRec> kBoxes = {
    box(0, 0, 1, 1),    box(199, 99, 200, 100), box(0, 10, 170, 11), box(13, 17, 113, 67),
    box(40, 5, 41, 95), box(150, 70, 197, 98),  box(60, 60, 60, 70), // empty
};

const DDXPointRec kOrigins[] = {{0, 0}, {-3, -5}, {5, 2}, {-13, 7}, {101, -1}};

TEST_P(Gd5436Tile, TilesMatchTheRendererAtEveryPhase) {
    start();
    struct Size {
        int w, h;
    } sizes[] = {{8, 8}, {5, 3}, {13, 7}, {1, 1}, {3, 1}, {32, 2}};
    uint32_t seed = 1;
    for (auto [tw, th] : sizes) {
        int stride;
        std::vector<uint8_t> t = tile(tw, th, seed++, &stride);
        for (DDXPointRec org : kOrigins) {
            for (int alu : {GXcopy, GXxor, GXandInverted}) {
                SCOPED_TRACE("tile " + std::to_string(tw) + "x" + std::to_string(th) + " origin " +
                             std::to_string(org.x) + "," + std::to_string(org.y) + " " +
                             aluName(alu));
                s->tileRects(kBoxes, t, stride, tw, th, org, alu);
                EXPECT_SCREEN_SAME(*s);
            }
        }
    }
    EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
    expectCanary();
}

TEST_P(Gd5436Tile, TilesMatchTheRendererUnderEveryAlu) {
    start();
    int stride;
    std::vector<uint8_t> t = tile(7, 5, 3, &stride);
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE(aluName(alu));
        s->tileRects({box(3, 4, 90, 33), box(100, 50, 101, 51)}, t, stride, 7, 5, {-2, -9}, alu);
        s->tileRects({box(20, 60, 77, 90)}, t, stride, 7, 5, {4, 3}, alu);
        EXPECT_SCREEN_SAME(*s);
    }
}

// The engine is used only where staging pays and fits; everything else goes
// to genTileRects with the call's arguments (the alu as its low byte).
TEST_P(Gd5436Tile, TileFallbacksFollowTheAluTheBoxesAndTheSpace) {
    start();
    const int wideTile = offWidth() / 2 + 1;
    struct Case {
        const char *what;
        std::vector<BoxRec> boxes;
        int tw, th, alu;
        bool all;
        bool generic;
    } cases[] = {
        {"one box, GXcopy", {box(5, 5, 50, 40)}, 8, 8, GXcopy, true, true},
        {"two boxes, GXcopy", {box(5, 5, 50, 40), box(60, 5, 70, 9)}, 8, 8, GXcopy, true, false},
        {"one box, GXxor", {box(5, 5, 50, 40)}, 8, 8, GXxor, true, false},
        {"one line high, GXcopy", {box(5, 5, 50, 6), box(5, 8, 90, 9)}, 8, 8, GXcopy, true, true},
        {"one line high, GXxor", {box(5, 5, 50, 6), box(5, 8, 90, 9)}, 8, 8, GXxor, true, false},
        {"one line high, GXset", {box(5, 5, 50, 6), box(5, 8, 90, 9)}, 8, 8, GXset, true, true},
        {"partial plane mask", {box(5, 5, 50, 40)}, 8, 8, GXxor, false, true},
        {"tile wider than half", {box(5, 5, 50, 40)}, wideTile, 2, GXxor, true, true},
    };
    WinOps *ops = s->winOps();
    using server::arg;
    for (Case &k : cases) {
        SCOPED_TRACE(k.what);
        server::clearGenCalls();
        int stride;
        std::vector<uint8_t> t = tile(k.tw, k.th, 9, &stride);
        DDXPointRec org = {-3, 4};
        const uint32_t pm = k.all ? all() : all() & ~0x2u;
        const int n = int(k.boxes.size());
        ops->TileRects(k.boxes.data(), n, t.data(), stride, k.tw, k.th, &org, 0x4400 | k.alu, pm,
                       s->drawable());
        const auto calls = server::genCallsOf("genTileRects");
        ASSERT_EQ(calls.size(), k.generic ? 1u : 0u);
        if (k.generic) {
            EXPECT_EQ(calls[0].args,
                      (std::vector<uint64_t>{arg(k.boxes.data()), arg(n), arg(t.data()),
                                             arg(stride), arg(k.tw), arg(k.th), arg(&org),
                                             arg(k.alu), arg(pm), arg(s->drawable())}));
        }
    }
}

// The staging rectangle: the larger of the boxes and the tile plus one tile
// each way, or just the tile along a side whose boxes are all 1 pixel.
TEST_P(Gd5436Tile, StagingCoversTheLargestBoxAtAnyPhase) {
    start();
    int stride;
    std::vector<uint8_t> t = tile(8, 8, 4, &stride);
    s->tileRects({box(0, 0, 100, 20), box(50, 40, 60, 90)}, t, stride, 8, 8, {0, 0}, GXcopy);
    int columns, lines;
    stagedExtent(&columns, &lines);
    EXPECT_EQ(columns, 108);
    EXPECT_EQ(lines, 58);
    EXPECT_EQ(server::genCallsOf("nfbReplicateArea").size(), 1u);

    server::clearGenCalls();
    blt().clearLog();
    s->tileRects({box(3, 3, 4, 4), box(30, 9, 31, 10)}, t, stride, 8, 8, {0, 0}, GXxor);
    EXPECT_TRUE(server::genCallsOf("nfbReplicateArea").empty());
    EXPECT_EQ(blt().log().size(), 2u);
    EXPECT_SCREEN_SAME(*s);
}

// A box at x 3 under a pattern origin at x 5 with a tile 8 wide starts at
// phase 6; a negative origin gives a positive phase.
TEST_P(Gd5436Tile, EachBoxIsOneCopyFromItsPhase) {
    start();
    int stride;
    std::vector<uint8_t> t = tile(8, 6, 2, &stride);
    s->tileRects({box(3, 10, 20, 14), box(9, 2, 12, 30)}, t, stride, 8, 6, {5, -17}, GXxor);
    const auto &log = blt().log();
    ASSERT_GE(log.size(), 2u);
    const sim::BltOp &first = log[log.size() - 2], &second = log[log.size() - 1];
    const uint32_t pitch = uint32_t(s->pitch()), p = uint32_t(pb());
    // (10 + 17) mod 6 = 3; (9 - 5) mod 8 = 4, (2 + 17) mod 6 = 1.
    EXPECT_EQ(first.regs.srcAddr, scratchAddr() + 3 * pitch + 6 * p);
    EXPECT_EQ(first.regs.dstAddr, 10 * pitch + 3 * p);
    EXPECT_EQ(first.regs.width, 17 * p - 1);
    EXPECT_EQ(first.regs.height, 3);
    EXPECT_EQ(second.regs.srcAddr, scratchAddr() + 1 * pitch + 4 * p);
    for (const sim::BltOp *op : {&first, &second}) {
        EXPECT_EQ(op->kind, sim::BltKind::CopyForward);
        EXPECT_TRUE(op->autostarted);
        EXPECT_EQ(op->regs.rop, sim::kCirrusRopCodes[GXxor]);
    }
    EXPECT_FALSE(blt().autostart());
    EXPECT_SCREEN_SAME(*s);
}

// ---- stipples ----

TEST_P(Gd5436Tile, StipplesMatchTheRendererAtEveryPhase) {
    start();
    struct Size {
        int w, h;
    } sizes[] = {{8, 8}, {13, 5}, {32, 3}, {1, 1}, {17, 2}, {40, 9}};
    uint32_t seed = 20;
    for (int style : {FillOpaqueStippled, FillStippled}) {
        for (auto [sw, sh] : sizes) {
            PixmapPtr st = stipple(sw, sh, seed++);
            for (DDXPointRec org : kOrigins) {
                for (int alu : {GXcopy, GXxor}) {
                    SCOPED_TRACE("style " + std::to_string(style) + " stipple " +
                                 std::to_string(sw) + "x" + std::to_string(sh) + " origin " +
                                 std::to_string(org.x) + "," + std::to_string(org.y) + " " +
                                 aluName(alu));
                    GCPtr gc = s->createGC({.fillStyle = style,
                                            .alu = alu,
                                            .fg = colour(seed),
                                            .bg = colour(seed + 7),
                                            .stipple = st,
                                            .patOrg = org});
                    s->fillRects(gc, kBoxes);
                    EXPECT_SCREEN_SAME(*s);
                }
            }
        }
    }
    EXPECT_TRUE(server::genCallsOf("genOpStippledFillRects").empty());
    EXPECT_EQ(server::genCallsOf("genStippledFillRects").empty(), GetParam().transparentStipple);
    expectCanary();
}

TEST_P(Gd5436Tile, StipplesMatchTheRendererUnderEveryAlu) {
    start();
    PixmapPtr st = stipple(11, 6, 77);
    for (int style : {FillOpaqueStippled, FillStippled}) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("style " + std::to_string(style) + " " + aluName(alu));
            GCPtr gc = s->createGC({.fillStyle = style,
                                    .alu = alu,
                                    .fg = colour(uint32_t(alu)),
                                    .bg = colour(uint32_t(alu) + 3),
                                    .stipple = st,
                                    .patOrg = {-7, 30}});
            s->fillRects(gc, {box(2, 3, 120, 40), box(130, 50, 131, 99)});
            EXPECT_SCREEN_SAME(*s);
        }
    }
}

// The transparent stipple is staged in fg over NOT fg and copied with NOT fg
// as the transparent colour: its low byte in both bytes at one pixel byte.
TEST_P(Gd5436Tile, TransparentStippleUsesTheComplementOfTheForeground) {
    start();
    PixmapPtr st = stipple(8, 8, 1);
    GCPtr gc = s->createGC(
        {.fillStyle = FillStippled, .alu = GXcopy, .fg = 0x01, .stipple = st, .patOrg = {2, 3}});
    s->fillRects(gc, {box(10, 10, 50, 30), box(60, 10, 70, 20)});
    EXPECT_SCREEN_SAME(*s);
    if (!GetParam().transparentStipple) {
        EXPECT_EQ(server::genCallsOf("genStippledFillRects").size(), 1u);
        return;
    }
    EXPECT_TRUE(server::genCallsOf("genStippledFillRects").empty());
    const auto &log = blt().log();
    ASSERT_GE(log.size(), 2u);
    const sim::BltOp &copy = log.back();
    EXPECT_EQ(copy.kind, sim::BltKind::TransparentCopy);
    EXPECT_EQ(copy.regs.trans, pb() == 1 ? 0xFEFE : 0xFFFE);
    EXPECT_EQ(copy.regs.mode, pb() == 1 ? 0x08 : 0x18);
    bool stagedInComplement = false;
    for (const sim::BltOp &op : log)
        if (op.kind == sim::BltKind::Expand)
            stagedInComplement = (op.regs.bg & 0xFFu) == (copy.regs.trans & 0xFFu);
    EXPECT_TRUE(stagedInComplement);
}

// ---- limits of the ScratchArea ----

// Six ScratchArea lines whose last one the CursorArea partly overlaps:
// patterns that fit are staged without touching it, the rest (a pattern whose
// double does not fit, a staging rectangle too high, or one whose last line
// would run into the CursorArea) go to the generic routines.
TEST_P(Gd5436Tile, StagingNeverReachesTheCursorArea) {
    start(kTight);
    int stride;
    std::vector<uint8_t> t = tile(40, 3, 6, &stride);
    const std::vector<BoxRec> low = {box(0, 0, 96, 3), box(0, 700, 96, 702)};
    s->tileRects(low, t, stride, 40, 3, {-1, -2}, GXcopy);
    // 136 pixels of staging: clear of the CursorArea only below 3 pixel bytes.
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), pb() == 3 ? 1u : 0u);
    s->tileRects({box(3, 5, 20, 9)}, t, stride, 40, 3, {0, 0}, GXxor); // 7 lines: too high
    EXPECT_EQ(server::genCallsOf("genTileRects").size(), pb() == 3 ? 2u : 1u);

    PixmapPtr flat = stipple(40, 2, 3), tall = stipple(8, 3, 4);
    GCPtr opaque = s->createGC({.fillStyle = FillOpaqueStippled,
                                .alu = GXcopy,
                                .fg = colour(1),
                                .bg = colour(2),
                                .stipple = flat,
                                .patOrg = {-5, 1}});
    GCPtr transparent =
        s->createGC({.fillStyle = FillStippled, .alu = GXxor, .fg = colour(3), .stipple = flat});
    s->fillRects(opaque, low);
    s->fillRects(transparent, low);
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), pb() == 3 ? 1u : 0u);
    GCPtr tallGC = s->createGC({.fillStyle = FillOpaqueStippled, .stipple = tall});
    s->fillRects(tallGC, {box(1, 1, 9, 2), box(30, 1, 38, 2)});
    EXPECT_EQ(server::genCallsOf("genOpStippledFillRects").size(), pb() == 3 ? 2u : 1u);
    EXPECT_SCREEN_SAME(*s);
    expectCanary();
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Tile, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
