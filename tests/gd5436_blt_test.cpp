// The gd5436 drivers' engine drawing (copies, solid rectangles, spans,
// points, GXcopy segments), their operation records and validation, run
// through every build on the simulated adapter with the strict BitBLT model:
// pixels against the reference renderer, fallbacks against the server's call
// log, and the engine protocol (every missing wait is a model failure, which
// the harness turns into a test failure).
#include <cstdio>
#include <memory>
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

constexpr int kWidth = 96, kHeight = 64;

graf::Config configFor(const Build &b) {
    return gd5436Config(b, kWidth, kHeight);
}

// Terms of the segment from (x1, y1) to (x2, y2), end point included.
ZeroSegRec segment(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int major = adx >= ady ? adx : ady, minor = adx >= ady ? ady : adx;
    ZeroSegRec s{};
    s.x = int16_t(x1);
    s.y = int16_t(y1);
    s.signdx = int16_t(dx < 0 ? -1 : 1);
    s.signdy = int16_t(dy < 0 ? -1 : 1);
    s.axis = int16_t(adx >= ady ? 0 : 1);
    s.len = int16_t(major + 1);
    s.e = 2 * minor - major;
    s.e1 = 2 * minor;
    s.e2 = 2 * minor - 2 * major;
    return s;
}

std::string aluName(int alu) {
    return "alu " + std::to_string(alu);
}

class Gd5436Blt : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().name, configFor(GetParam()),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(7);
        server::clearGenCalls();
        blt().clearStats();
        blt().clearLog();
    }
    // The driver frees its screen private, as at a server reset.
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::CirrusBltCore &blt() { return dynamic_cast<sim::Gd5436Adapter &>(*s->adapter()).blt(); }
    uint32_t all() const { return s->allPlanes(); }
    // A plane mask with one pixel bit missing.
    uint32_t partial() const { return s->allPlanes() & ~0x10u; }
    Pixel colour(uint32_t seed) const { return testColour(seed, s->allPlanes()); }

    std::unique_ptr<harness::Screen> s;
};

// ---- copies ----

// All eight overlap directions with rows and columns one apart, a far copy and
// copies between the screen's corners, under every alu: the driver picks the
// direction, the model smears a wrong one.
TEST_P(Gd5436Blt, CopyRectMatchesTheRendererInEveryDirectionAndAlu) {
    const int w = 30, h = 12, x = 20, y = 20;
    const int shifts[][2] = {{1, 0},   {-1, 0}, {0, 1},  {0, -1},  {1, 1},
                             {-1, -1}, {1, -1}, {-1, 1}, {-17, 9}, {33, -15}};
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE(aluName(alu));
        for (auto [dx, dy] : shifts)
            s->copyRect(box(x + dx, y + dy, x + dx + w, y + dy + h), {int16_t(x), int16_t(y)}, alu);
        s->copyRect(box(kWidth - 7, kHeight - 5, kWidth, kHeight), {0, 0}, alu);
        s->copyRect(box(0, 0, 7, 5), {kWidth - 7, kHeight - 5}, alu);
        s->copyRect(box(0, 30, kWidth, 31), {0, 31}, alu); // a whole line, one up
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCallsOf("genCopyRect").empty());
    EXPECT_EQ(blt().stats().starts, 16u * 13u);
}

// The direction comes from the addresses: a lower source address copies
// backward from the last byte of both rectangles.
TEST_P(Gd5436Blt, CopyRectDirectionFollowsTheAddresses) {
    const uint32_t pb = uint32_t(GetParam().pixelBytes), pitch = uint32_t(s->pitch());
    struct Case {
        BoxRec dst;
        DDXPointRec src;
        sim::BltKind kind;
        uint32_t dstAddr, srcAddr;
    } cases[] = {
        // Source one line below: forwards, from the first byte.
        {box(10, 10, 20, 15),
         {10, 11},
         sim::BltKind::CopyForward,
         pitch * 10 + 10 * pb,
         pitch * 11 + 10 * pb},
        // Source one line above: backwards, from the last byte of the last row.
        {box(10, 11, 20, 16),
         {10, 10},
         sim::BltKind::CopyBackward,
         pitch * 15 + 20 * pb - 1,
         pitch * 14 + 20 * pb - 1},
        // Source one pixel left on the same rows: backwards.
        {box(11, 10, 21, 15),
         {10, 10},
         sim::BltKind::CopyBackward,
         pitch * 14 + 21 * pb - 1,
         pitch * 14 + 20 * pb - 1},
        {box(10, 10, 20, 15),
         {11, 10},
         sim::BltKind::CopyForward,
         pitch * 10 + 10 * pb,
         pitch * 10 + 11 * pb},
    };
    for (const Case &k : cases) {
        blt().clearLog();
        s->copyRect(k.dst, k.src, GXxor);
        ASSERT_EQ(blt().log().size(), 1u);
        const sim::BltOp &op = blt().log()[0];
        EXPECT_EQ(op.kind, k.kind);
        EXPECT_EQ(op.regs.dstAddr, k.dstAddr);
        EXPECT_EQ(op.regs.srcAddr, k.srcAddr);
        EXPECT_EQ(op.regs.width, 10 * pb - 1);
        EXPECT_EQ(op.regs.height, 4);
        EXPECT_EQ(op.regs.dstPitch, pitch);
        EXPECT_EQ(op.regs.srcPitch, pitch);
        EXPECT_EQ(op.regs.rop, sim::kCirrusRopCodes[GXxor]);
        EXPECT_FALSE(op.autostarted);
    }
    EXPECT_SCREEN_SAME(*s);
}

// ---- solid rectangles, spans and points ----

const std::vector<BoxRec> kBoxes = {
    box(0, 0, 1, 1),         box(kWidth - 1, kHeight - 1, kWidth, kHeight),
    box(0, 5, kWidth, 6),    box(10, 10, 40, 30),
    box(3, 40, 4, kHeight),  box(50, 50, 50, 60), // empty: no width
    box(60, 50, 70, 50),                          // empty: no height
    box(60, 20, kWidth, 22),
};

TEST_P(Gd5436Blt, SolidRectanglesMatchTheRendererUnderEveryAluAndPlaneMask) {
    GCPtr gc = s->createGC();
    for (uint32_t pm : {all(), partial(), ~0u}) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE(aluName(alu) + " planemask " + std::to_string(pm));
            s->drawSolidRects(kBoxes, colour(uint32_t(alu)), alu, pm);
            EXPECT_SCREEN_SAME(*s);
            s->changeGC(gc, {.alu = alu, .planemask = pm, .fg = colour(uint32_t(alu) + 16)});
            s->fillRects(gc, kBoxes);
            EXPECT_SCREEN_SAME(*s);
        }
    }
}

TEST_P(Gd5436Blt, SolidSpansMatchTheRendererUnderEveryAlu) {
    const std::vector<DDXPointRec> starts = {{0, 0},           {5, 1}, {kWidth - 1, 2},
                                             {0, kHeight - 1}, {7, 3}, {30, 4}};
    const std::vector<int> widths = {kWidth, 13, 1, 40, 0, 2};
    GCPtr gc = s->createGC();
    for (uint32_t pm : {all(), partial()}) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE(aluName(alu) + " planemask " + std::to_string(pm));
            s->changeGC(gc, {.alu = alu, .planemask = pm, .fg = colour(uint32_t(alu))});
            s->fillSpans(gc, starts, widths);
            EXPECT_SCREEN_SAME(*s);
        }
    }
}

TEST_P(Gd5436Blt, PointsMatchTheRendererUnderEveryAluAndPlaneMask) {
    std::vector<DDXPointRec> points = {
        {0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}};
    for (int i = 0; i < 40; i++)
        points.push_back({int16_t(i * 7 % kWidth), int16_t(i * 5 % kHeight)});
    points.push_back({14, 10}); // drawn twice: an xor must toggle back
    points.push_back({14, 10});
    for (uint32_t pm : {all(), partial()}) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE(aluName(alu) + " planemask " + std::to_string(pm));
            s->drawPoints(points, colour(uint32_t(alu)), alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    }
}

// The engine sees what the driver's protocol says: the raster operation of
// the alu (GXnoop too), the fill mode of the pixel size, widths in bytes.
TEST_P(Gd5436Blt, FillsAreProgrammedInBytesWithTheAlusCode) {
    const uint32_t pb = uint32_t(GetParam().pixelBytes), pitch = uint32_t(s->pitch());
    const uint8_t depthBits = pb == 1 ? 0x00 : pb == 2 ? 0x10 : 0x20;
    for (int alu = 0; alu < 16; alu++) {
        blt().clearLog();
        s->drawSolidRects({box(10, 3, 20, 5)}, colour(1), alu);
        ASSERT_EQ(blt().log().size(), 1u) << aluName(alu);
        const sim::BltOp &op = blt().log()[0];
        EXPECT_EQ(op.kind, sim::BltKind::Fill);
        EXPECT_TRUE(op.autostarted);
        EXPECT_EQ(op.regs.rop, sim::kCirrusRopCodes[size_t(alu)]) << aluName(alu);
        EXPECT_EQ(op.regs.mode, 0xC0 | depthBits);
        EXPECT_EQ(op.regs.modeExt, 5);
        EXPECT_EQ(op.regs.width, 10 * pb - 1);
        EXPECT_EQ(op.regs.height, 1);
        EXPECT_EQ(op.regs.dstAddr, pitch * 3 + 10 * pb);
        EXPECT_EQ(op.regs.fg & s->allPlanes(), colour(1));
    }
}

// ---- the engine protocol ----

// A batch under a slow engine: every item waits for room, the engine queues
// one start, registers common to the batch are written once, and the batch
// ends idle with autostart off. Empty items never reach the engine.
TEST_P(Gd5436Blt, BatchesWaitForRoomWriteOnlyWhatChangesAndEndIdle) {
    blt().setBusyReads(5);
    std::vector<BoxRec> boxes;
    for (int i = 0; i < 40; i++)
        boxes.push_back(box(i * 2, i, i * 2 + 3, i + 2));
    boxes.push_back(box(5, 5, 5, 6));
    boxes.push_back(box(5, 5, 6, 5));
    s->drawSolidRects(boxes, colour(3), GXxor);
    EXPECT_EQ(blt().stats().starts, 40u);
    EXPECT_EQ(blt().stats().autostarts, 40u);
    EXPECT_GT(blt().stats().queuedStarts, 0u);
    EXPECT_EQ(blt().stats().registerWrites, 6u + 3u * 40u);
    EXPECT_FALSE(blt().busy());
    EXPECT_FALSE(blt().autostart());
    EXPECT_SCREEN_SAME(*s);

    blt().clearStats();
    std::vector<DDXPointRec> points;
    for (int i = 0; i < 30; i++)
        points.push_back({int16_t(i * 3), int16_t(i)});
    s->drawPoints(points, colour(4), GXcopy);
    EXPECT_EQ(blt().stats().starts, 30u);
    EXPECT_EQ(blt().stats().registerWrites, 6u + 2u + 30u);
    EXPECT_FALSE(blt().autostart());

    blt().clearStats();
    GCPtr gc = s->createGC({.alu = GXor, .fg = colour(5)});
    s->fillSpans(gc, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}, {5, 0, 7, 8});
    EXPECT_EQ(blt().stats().starts, 3u);
    EXPECT_EQ(blt().stats().registerWrites, 6u + 1u + 2u * 3u);
    EXPECT_FALSE(blt().autostart());
    EXPECT_SCREEN_SAME(*s);
}

// A copy returns while the engine runs; the next call and the processor's
// image read wait for it themselves.
TEST_P(Gd5436Blt, CopyReturnsRunningAndTheNextCallsWait) {
    blt().setBusyReads(4);
    s->copyRect(box(10, 10, 50, 30), {12, 11}, GXcopy);
    EXPECT_TRUE(blt().busy());
    EXPECT_FALSE(blt().autostart());
    s->copyRect(box(11, 10, 51, 30), {10, 10}, GXxor);
    s->drawSolidRects({box(0, 0, 20, 20)}, colour(6), GXand);
    s->copyRect(box(30, 30, 60, 60), {0, 0}, GXcopy);
    const BoxRec area = box(25, 25, 65, 62);
    EXPECT_EQ(s->readImage(area), s->expectedImage(area));
    EXPECT_SCREEN_SAME(*s);
}

// ---- fallbacks ----

// A plane mask that is not all ones sends each window operation to its
// generic routine with the call's own arguments, the alu as its low byte.
TEST_P(Gd5436Blt, PartialPlaneMasksReachTheGenericRoutinesUnchanged) {
    WinOps *ops = s->winOps();
    DrawablePtr d = s->drawable();
    const int alu = 0x1206; // GXxor in the low byte
    const uint32_t pm = partial();
    BoxRec dst = box(5, 5, 15, 10);
    DDXPointRec src = {20, 20};
    BoxRec boxes[2] = {box(1, 1, 4, 4), box(30, 30, 33, 31)};
    DDXPointRec points[3] = {{1, 2}, {3, 4}, {5, 6}};
    const Pixel fg = colour(8);

    ops->CopyRect(&dst, &src, alu, pm, d);
    ops->DrawSolidRects(boxes, 2, fg, alu, pm, d);
    ops->DrawPoints(points, 3, fg, alu, pm, d);

    using server::arg;
    const auto copy = server::genCallsOf("genCopyRect");
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_EQ(copy[0].args,
              (std::vector<uint64_t>{arg(&dst), arg(&src), arg(GXxor), arg(pm), arg(d)}));
    const auto rects = server::genCallsOf("genDrawSolidRects");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].args, (std::vector<uint64_t>{arg(&boxes[0]), arg(2), arg(fg), arg(GXxor),
                                                    arg(pm), arg(d)}));
    const auto pts = server::genCallsOf("genDrawPoints");
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].args, (std::vector<uint64_t>{arg(&points[0]), arg(3), arg(fg), arg(GXxor),
                                                  arg(pm), arg(d)}));
    EXPECT_EQ(blt().stats().starts, 0u);
}

// The GC records' generic slots are the server's routines themselves, so the
// layer's arguments reach them as they are.
TEST_P(Gd5436Blt, GenericRecordSlotsReceiveTheLayersArguments) {
    DrawablePtr d = s->drawable();
    GCPtr masked = s->createGC({.planemask = partial(), .fg = colour(2)});
    GCPtr xorGC = s->createGC({.alu = GXxor, .fg = colour(3)});
    BoxRec boxes[2] = {box(1, 1, 4, 4), box(30, 30, 33, 31)};
    DDXPointRec starts[1] = {{2, 3}};
    int widths[1] = {5};
    ZeroSegRec segs[1] = {segment(5, 5, 20, 9)};

    s->ops(masked)->FillRects(masked, d, boxes, 2);
    s->ops(masked)->FS(masked, d, starts, widths, 1);
    s->ops(xorGC)->slot3.ZeroSegs(xorGC, d, segs, 1);

    using server::arg;
    const auto rects = server::genCallsOf("genSolidFillRects");
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].args, (std::vector<uint64_t>{arg(masked), arg(d), arg(&boxes[0]), arg(2)}));
    const auto spans = server::genCallsOf("genSolidFS");
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].args, (std::vector<uint64_t>{arg(masked), arg(d), arg(&starts[0]),
                                                    arg(&widths[0]), arg(1)}));
    const auto zero = server::genCallsOf("genSolidZeroSegs");
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero[0].args, (std::vector<uint64_t>{arg(xorGC), arg(d), arg(&segs[0]), arg(1)}));
    EXPECT_EQ(blt().stats().starts, 0u);
}

// ---- zero-width segments ----

TEST_P(Gd5436Blt, ZeroSegmentsInEveryOctant) {
    std::vector<ZeroSegRec> segs;
    const int cx = 48, cy = 32;
    const int ends[][2] = {{30, 7},  {7, 30},  {-7, 30}, {-30, 7}, {-30, -7}, {-7, -30},
                           {7, -30}, {30, -7}, {20, 0},  {0, -20}, {15, 15},  {0, 0}};
    for (auto [dx, dy] : ends)
        segs.push_back(segment(cx, cy, cx + dx, cy + dy));
    segs.push_back(segment(0, 0, kWidth - 1, kHeight - 1));
    ZeroSegRec none = segment(3, 3, 10, 3);
    none.len = 0;
    segs.push_back(none);

    struct Case {
        int alu;
        bool all;
        bool generic;
    } cases[] = {{GXcopy, true, false}, {GXxor, true, true}, {GXcopy, false, true}};
    for (const Case &k : cases) {
        SCOPED_TRACE(aluName(k.alu) + (k.all ? " all planes" : " partial"));
        server::clearGenCalls();
        GCPtr gc = s->createGC(
            {.alu = k.alu, .planemask = k.all ? all() : partial(), .fg = colour(uint32_t(k.alu))});
        // A copy still running: the processor must wait before it draws.
        blt().setBusyReads(4);
        s->copyRect(box(60, 40, 90, 60), {61, 41}, GXcopy);
        s->zeroSegs(gc, segs);
        EXPECT_SCREEN_SAME(*s);
        EXPECT_EQ(server::genCallsOf("genSolidZeroSegs").size(), k.generic ? 1u : 0u);
    }
}

TEST_P(Gd5436Blt, ZeroSegmentTakesADiagonalStepOnAPositiveError) {
    GCPtr gc = s->createGC({.fg = colour(9)});
    ZeroSegRec seg{};
    seg.x = 10;
    seg.y = 20;
    seg.signdx = 1;
    seg.signdy = 1;
    seg.axis = 0;
    seg.len = 3;
    seg.e = -1;
    seg.e1 = 2;
    seg.e2 = -4;
    const ref::Canvas before = s->readScreen();
    s->zeroSegs(gc, {seg});
    const ref::Canvas after = s->readScreen();
    EXPECT_EQ(after.get(10, 20), colour(9));
    EXPECT_EQ(after.get(11, 20), colour(9));
    EXPECT_EQ(after.get(12, 21), colour(9));
    EXPECT_EQ(after.get(12, 20), before.get(12, 20));
    EXPECT_EQ(after.get(11, 21), before.get(11, 21));
    EXPECT_SCREEN_SAME(*s);
}

// ---- records and validation ----

enum Rec {
    PlanemaskSolid,
    Solid,
    GXcopySolid,
    Tiled,
    Stippled,
    PlanemaskStippled,
    OpStippled,
    PlanemaskOpStippled,
    Unknown
};

// Which record a GC holds: by its slots, and for the stipple records (whose
// engine fills are not in yet) by comparison with the plane-mask record.
Rec classify(const PrivOps *ops, const PrivOps *planemaskStippled,
             const PrivOps *planemaskOpStippled) {
    if (ops->GCOp4 == genSolidGCOp4) {
        if (ops->FillRects == genSolidFillRects)
            return PlanemaskSolid;
        return ops->slot3.ZeroSegs == genSolidZeroSegs ? Solid : GXcopySolid;
    }
    if (ops->GCOp4 == genTiledGCOp4 && ops->FillRects == genTiledFillRects)
        return Tiled;
    if (ops->GCOp4 == genStippledGCOp4)
        return ops == planemaskStippled ? PlanemaskStippled : Stippled;
    if (ops->GCOp4 == genOpStippledGCOp4)
        return ops == planemaskOpStippled ? PlanemaskOpStippled : OpStippled;
    return Unknown;
}

TEST_P(Gd5436Blt, ValidationPicksTheRecordByFillStylePlaneMaskAndAlu) {
    enum Mask { All, Part, None, HighBits };
    struct Row {
        int fillStyle;
        Mask mask;
        int alu;
        Rec want;          // builds with the transparent stipple
        Rec wantNoStipple; // brisko24, lomvi8, hadra24
    } rows[] = {
        {FillSolid, All, GXcopy, GXcopySolid, GXcopySolid},
        {FillSolid, HighBits, GXcopy, GXcopySolid, GXcopySolid},
        {FillSolid, All, GXxor, Solid, Solid},
        {FillSolid, All, GXnoop, Solid, Solid},
        {FillSolid, Part, GXcopy, PlanemaskSolid, PlanemaskSolid},
        {FillSolid, None, GXxor, PlanemaskSolid, PlanemaskSolid},
        {FillTiled, All, GXcopy, Tiled, Tiled},
        {FillTiled, Part, GXxor, Tiled, Tiled},
        {FillStippled, All, GXcopy, Stippled, PlanemaskStippled},
        {FillStippled, All, GXxor, Stippled, PlanemaskStippled},
        {FillStippled, Part, GXcopy, PlanemaskStippled, PlanemaskStippled},
        {FillOpaqueStippled, All, GXcopy, OpStippled, OpStippled},
        {FillOpaqueStippled, All, GXand, OpStippled, OpStippled},
        {FillOpaqueStippled, Part, GXcopy, PlanemaskOpStippled, PlanemaskOpStippled},
    };
    PixmapPtr stipple = s->stipple({"X.", ".X"});
    auto maskOf = [&](Mask m) {
        return m == All ? all() : m == Part ? partial() : m == None ? 0u : ~0u;
    };
    auto opsFor = [&](int style, Mask m, int alu) {
        return s->ops(s->createGC(
            {.fillStyle = style, .alu = alu, .planemask = maskOf(m), .stipple = stipple}));
    };
    const PrivOps *pmStippled = opsFor(FillStippled, Part, GXcopy);
    const PrivOps *pmOpStippled = opsFor(FillOpaqueStippled, Part, GXcopy);
    EXPECT_EQ(pmStippled->FillRects, genStippledFillRects);
    EXPECT_EQ(pmOpStippled->FillRects, genOpStippledFillRects);

    for (const Row &r : rows) {
        const Rec want = GetParam().transparentStipple ? r.want : r.wantNoStipple;
        EXPECT_EQ(classify(opsFor(r.fillStyle, r.mask, r.alu), pmStippled, pmOpStippled), want)
            << "fill style " << r.fillStyle << " mask " << r.mask << " " << aluName(r.alu);
    }
    EXPECT_EQ(classify(s->nfb()->gcTemplate->ops, pmStippled, pmOpStippled), Solid);
}

// Only the fill style, plane mask and function bits of the change mask make
// the driver choose again.
TEST_P(Gd5436Blt, ValidationReactsOnlyToStylePlaneMaskAndFunction) {
    GCPtr gc = s->createGC();
    const PrivOps *copy = s->ops(gc);
    EXPECT_EQ(classify(copy, nullptr, nullptr), GXcopySolid);
    EXPECT_EQ(s->changeGC(gc, {.fg = colour(1)}, GCForeground), 1);
    EXPECT_EQ(s->ops(gc), copy);
    s->changeGC(gc, {.alu = GXxor, .fg = colour(1)}, GCForeground | GCBackground);
    EXPECT_EQ(s->ops(gc), copy);
    s->changeGC(gc, {.alu = GXxor, .fg = colour(1)}, GCFunction);
    EXPECT_EQ(classify(s->ops(gc), nullptr, nullptr), Solid);
    s->changeGC(gc, {.alu = GXxor, .planemask = 0x0F}, GCPlaneMask);
    EXPECT_EQ(classify(s->ops(gc), nullptr, nullptr), PlanemaskSolid);
    s->changeGC(gc, {.fillStyle = FillTiled, .alu = GXxor, .planemask = 0x0F}, GCFillStyle);
    EXPECT_EQ(classify(s->ops(gc), nullptr, nullptr), Tiled);
}

TEST_P(Gd5436Blt, WindowRecordHoldsTheDriversSlotsAndGenericRest) {
    WinOps *ops = s->winOps();
    ASSERT_NE(ops, nullptr);
    EXPECT_NE(ops->CopyRect, genCopyRect);
    EXPECT_NE(ops->DrawSolidRects, genDrawSolidRects);
    EXPECT_NE(ops->DrawPoints, genDrawPoints);
    EXPECT_NE(ops->DrawImage, nullptr);
    EXPECT_NE(ops->ReadImage, nullptr);
    EXPECT_EQ(ops->WinOp11, genWinOp11);
    EXPECT_EQ(ops->WinOp12, genWinOp12);
    EXPECT_EQ(ops->WinOp13, genWinOp13);
    EXPECT_EQ(ops->SetClipRegions, genWinOp14);
    EXPECT_NE(ops->ValidateWindowGC, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Blt, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
