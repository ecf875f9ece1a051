// rasmo GC and window validation: the fill-style records, the GC-ops cache
// (keys, vectors, sharing, the change bits and the serial rule), the pattern
// origin, the window records; and the stand-in's layer validation and GC
// vector calls that these rest on.
#include <set>

#include "rasmo_fixture.h"

namespace rasmotest {
namespace {

using Proc = void (*)(void);

template <class F> Proc p(F f) {
    return reinterpret_cast<Proc>(f);
}

// Every routine of the server that a vector may hold.
const std::set<Proc> &standinRoutines() {
    static const std::set<Proc> all = {
        p(nfbFillSpans),   p(nfbSetSpans),     p(nfbPutImage),     p(nfbCopyArea),
        p(nfbCopyPlane),   p(nfbPolyPoint),    p(nfbPolyFillRect), p(nfbImageGlyphBlt),
        p(nfbPushPixels),  p(nfbLineSS),       p(nfbSegmentSS),    p(nfbPolyRectangle),
        p(nfbLineSD),      p(nfbSegmentSD),    p(nfbZeroPolyArc),  p(nfbSolidPolyGlyphBlt),
        p(nfbPolyTEText8), p(nfbImageTEText8), p(miWideLine),      p(miWideDash),
        p(miZeroLine),     p(miPolySegment),   p(miPolyRectangle), p(miPolyArc),
        p(miZeroPolyArc),  p(miFillPolygon),   p(miPolyFillArc),   p(miPolyText8),
        p(miPolyText16),   p(miImageText8),    p(miImageText16),   p(miPolyGlyphBlt),
        p(miMiter),        p(mfbPushPixels)};
    return all;
}

// The template every vector starts from.
std::vector<Proc> templateSlots() {
    return {p(nfbFillSpans),    p(nfbSetSpans),      p(nfbPutImage),    p(nfbCopyArea),
            p(nfbCopyPlane),    p(nfbPolyPoint),     p(miWideLine),     p(miPolySegment),
            p(miPolyRectangle), p(miPolyArc),        p(miFillPolygon),  p(nfbPolyFillRect),
            p(miPolyFillArc),   p(miPolyText8),      p(miPolyText16),   p(miImageText8),
            p(miImageText16),   p(nfbImageGlyphBlt), p(miPolyGlyphBlt), p(nfbPushPixels),
            p(miMiter)};
}

bool driverRoutine(Proc f) {
    return f != nullptr && standinRoutines().count(f) == 0;
}

// The 21 slots of a vector, in order.
std::vector<Proc> slots(const GCOps *o) {
    return {p(o->FillSpans),     p(o->SetSpans),      p(o->PutImage),     p(o->CopyArea),
            p(o->CopyPlane),     p(o->PolyPoint),     p(o->Polylines),    p(o->PolySegment),
            p(o->PolyRectangle), p(o->PolyArc),       p(o->FillPolygon),  p(o->PolyFillRect),
            p(o->PolyFillArc),   p(o->PolyText8),     p(o->PolyText16),   p(o->ImageText8),
            p(o->ImageText16),   p(o->ImageGlyphBlt), p(o->PolyGlyphBlt), p(o->PushPixels),
            p(o->LineHelper)};
}

// A depth-8 screen with a 8-bit text font at hand.
class RasmoGC : public testing::Test {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("rasmo", rasmoConfig(64, 16, 8), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        font = harness::Font::random(8, 10, 16, 3);
        server::clearGenCalls();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    GCOps *ops(GCPtr gc) { return s->gcOps(gc); }
    // A GC on the root window with line and text values.
    GCPtr line(const harness::GCSpec &values, const harness::GCLines &lines) {
        return s->createGCOn(s->drawable(), values, lines);
    }

    std::unique_ptr<harness::Screen> s;
    std::unique_ptr<harness::Font> font;
    const std::vector<BoxRec> twoBoxes = {{0, 0, 8, 8}, {20, 2, 30, 9}};
};

// ---- the Part's vectors ----

// Key 0x3C: solid fill, thin solid lines, an 8-bit text font, one clip box.
TEST_F(RasmoGC, SolidThinTextOneBoxTakesTheFastRoutines) {
    GCPtr gc = line({}, {.font = font->font, .clip = {{1, 1, 40, 12}}});
    const GCOps *o = ops(gc);
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(driverRoutine(p(o->FillSpans)));
    EXPECT_TRUE(driverRoutine(p(o->PolyPoint)));
    EXPECT_TRUE(driverRoutine(p(o->Polylines)));
    EXPECT_TRUE(driverRoutine(p(o->PolySegment)));
    EXPECT_TRUE(driverRoutine(p(o->PolyRectangle)));
    const std::set<Proc> own = {p(o->FillSpans), p(o->PolyPoint), p(o->Polylines),
                                p(o->PolySegment), p(o->PolyRectangle)};
    EXPECT_EQ(own.size(), 5u) << "five routines of the driver's own";
    EXPECT_EQ(p(o->PolyArc), p(nfbZeroPolyArc));
    EXPECT_EQ(p(o->PolyText8), p(nfbPolyTEText8));
    EXPECT_EQ(p(o->ImageText8), p(nfbImageTEText8));
    EXPECT_EQ(p(o->PolyGlyphBlt), p(nfbSolidPolyGlyphBlt));
    EXPECT_EQ(p(o->PushPixels), p(nfbPushPixels));
    EXPECT_EQ(o->LineHelper, nullptr);
    // The rest is the template's.
    EXPECT_EQ(p(o->SetSpans), p(nfbSetSpans));
    EXPECT_EQ(p(o->PutImage), p(nfbPutImage));
    EXPECT_EQ(p(o->CopyArea), p(nfbCopyArea));
    EXPECT_EQ(p(o->CopyPlane), p(nfbCopyPlane));
    EXPECT_EQ(p(o->FillPolygon), p(miFillPolygon));
    EXPECT_EQ(p(o->PolyFillRect), p(nfbPolyFillRect));
    EXPECT_EQ(p(o->PolyFillArc), p(miPolyFillArc));
    EXPECT_EQ(p(o->PolyText16), p(miPolyText16));
    EXPECT_EQ(p(o->ImageText16), p(miImageText16));
    EXPECT_EQ(p(o->ImageGlyphBlt), p(nfbImageGlyphBlt));
}

// Key 0x1C: the same GC with two clip rectangles.
TEST_F(RasmoGC, SeveralClipBoxesTakeTheLayersRoutines) {
    GCPtr gc = line({}, {.font = font->font, .clip = twoBoxes});
    const GCOps *o = ops(gc);
    EXPECT_EQ(p(o->FillSpans), p(nfbFillSpans));
    EXPECT_EQ(p(o->PolyPoint), p(nfbPolyPoint));
    EXPECT_EQ(p(o->Polylines), p(nfbLineSS));
    EXPECT_EQ(p(o->PolySegment), p(nfbSegmentSS));
    EXPECT_EQ(p(o->PolyRectangle), p(nfbPolyRectangle));
    EXPECT_EQ(p(o->PolyArc), p(nfbZeroPolyArc));
    EXPECT_EQ(p(o->PolyText8), p(nfbPolyTEText8));
    EXPECT_EQ(o->LineHelper, nullptr);
}

// Key 0x01: tiled, wide dashed lines, no font, two clip boxes.
TEST_F(RasmoGC, TiledWideDashes) {
    PixmapPtr tile = s->tile(2, 2, {1, 2, 3, 4});
    GCPtr gc = line({.fillStyle = FillTiled, .tile = tile},
                    {.lineWidth = 3, .lineStyle = 1, .clip = twoBoxes});
    std::vector<Proc> expected = templateSlots();
    expected[6] = p(miWideDash);
    expected[19] = p(mfbPushPixels);
    expected[20] = nullptr;
    EXPECT_EQ(slots(ops(gc)), expected);
}

// A stippled GC with thin dashed lines keeps the template's lines.
TEST_F(RasmoGC, StippledThinDashesKeepTheTemplateLines) {
    PixmapPtr st = s->stipple({"X.", ".X"});
    GCPtr gc = line({.fillStyle = FillStippled, .stipple = st}, {.lineStyle = 2});
    std::vector<Proc> expected = templateSlots();
    expected[5] = slots(ops(gc))[5]; // one clip box: the driver's points
    expected[9] = p(miZeroPolyArc);
    expected[20] = nullptr;
    EXPECT_EQ(slots(ops(gc)), expected);
    EXPECT_TRUE(driverRoutine(p(ops(gc)->PolyPoint)));
    EXPECT_EQ(p(ops(gc)->Polylines), p(miWideLine));
    EXPECT_EQ(p(ops(gc)->PolySegment), p(miPolySegment));
    EXPECT_EQ(p(ops(gc)->PolyRectangle), p(miPolyRectangle));
}

// Thin solid lines with a fill other than solid, and dashed solid fills.
TEST_F(RasmoGC, ThinLinesByFillAndDash) {
    PixmapPtr st = s->stipple({"X.", ".X"});
    GCPtr opaque = s->createGC({.fillStyle = FillOpaqueStippled, .fg = 1, .bg = 2, .stipple = st});
    EXPECT_EQ(p(ops(opaque)->Polylines), p(miZeroLine));
    EXPECT_EQ(p(ops(opaque)->PolySegment), p(miPolySegment));
    EXPECT_EQ(p(ops(opaque)->PolyRectangle), p(nfbPolyRectangle));
    EXPECT_EQ(p(ops(opaque)->PolyArc), p(miZeroPolyArc));
    EXPECT_EQ(p(ops(opaque)->FillSpans), p(nfbFillSpans));
    EXPECT_EQ(p(ops(opaque)->PolyGlyphBlt), p(miPolyGlyphBlt));

    GCPtr dashed = line({}, {.lineStyle = 1});
    EXPECT_TRUE(driverRoutine(p(ops(dashed)->Polylines)));
    EXPECT_TRUE(driverRoutine(p(ops(dashed)->PolySegment)));
    EXPECT_TRUE(driverRoutine(p(ops(dashed)->PolyRectangle)));
    EXPECT_EQ(p(ops(dashed)->PolyArc), p(miZeroPolyArc));
    GCPtr solid = s->createGC({});
    EXPECT_NE(p(ops(dashed)->Polylines), p(ops(solid)->Polylines));
    EXPECT_NE(p(ops(dashed)->PolyRectangle), p(ops(solid)->PolyRectangle));

    GCPtr dashedClipped = line({}, {.lineStyle = 1, .clip = twoBoxes});
    EXPECT_EQ(p(ops(dashedClipped)->Polylines), p(nfbLineSD));
    EXPECT_EQ(p(ops(dashedClipped)->PolySegment), p(nfbSegmentSD));
    EXPECT_EQ(p(ops(dashedClipped)->PolyRectangle), p(miPolyRectangle));
}

// A font counts as 8-bit text only with the layer's private and its glyph set.
TEST_F(RasmoGC, TextKeyNeedsTheLayersFontPrivate) {
    GCPtr text = line({}, {.font = font->font});
    EXPECT_EQ(p(ops(text)->ImageText8), p(nfbImageTEText8));

    // A font whose private array ends before the layer's index.
    DevUnion none[1] = {};
    FontRec bare{};
    bare.maxPrivate = nfbFontPrivateIndex - 1;
    bare.devPrivates = none;
    GCPtr noPriv = line({}, {.font = &bare});
    EXPECT_EQ(p(ops(noPriv)->ImageText8), p(miImageText8));
    EXPECT_EQ(p(ops(noPriv)->PolyText8), p(miPolyText8));

    // The private without a glyph set.
    Text8FontInfo *info = font->priv()->text8Info;
    font->priv()->text8Info = nullptr;
    GCPtr noInfo = line({}, {.font = font->font});
    EXPECT_EQ(p(ops(noInfo)->ImageText8), p(miImageText8));
    EXPECT_EQ(ops(noInfo), ops(noPriv)) << "one key, one vector";
    font->priv()->text8Info = info;
}

// ---- sharing, change bits and the serial rule ----

TEST_F(RasmoGC, LikeGCsShareOneVector) {
    GCPtr a = s->createGC({.alu = GXxor, .fg = 3});
    GCPtr b = s->createGC({.alu = GXcopy, .planemask = 0x0F, .fg = 9});
    GCPtr c = line({}, {.lineWidth = 2});
    EXPECT_EQ(ops(a), ops(b));
    EXPECT_NE(ops(a), ops(c));
    // A vector per key, freed at the close.
    const size_t blocks = server::liveBlockCount();
    GCPtr d = line({}, {.lineWidth = 2, .clip = twoBoxes});
    EXPECT_EQ(server::liveBlockCount(), blocks + 1);
    (void)d;
    s->freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    s.reset();
}

TEST_F(RasmoGC, VectorChangesOnlyWithItsChangeBitsOrANewDrawable) {
    GCPtr gc = s->createGC({});
    GCOps *oneBox = ops(gc);
    // The clip becomes two boxes behind the GC's back: no rebuild without a
    // change bit while the drawable is the same.
    harness::applyGCLines(gc, {.clip = twoBoxes});
    s->validate(gc, GCForeground | GCBackground | GCFunction | GCPlaneMask);
    EXPECT_EQ(ops(gc), oneBox);
    for (uint32_t bit : {0x10u, 0x20u, 0x100u, 0x4000u, 0x8000u, 0x20000u, 0x40000u, 0x80000u}) {
        SCOPED_TRACE(bit);
        harness::applyGCLines(gc, {});
        s->validate(gc, GCForeground);
        ASSERT_EQ(ops(gc), oneBox);
        harness::applyGCLines(gc, {.clip = twoBoxes});
        s->validate(gc, bit);
        EXPECT_NE(ops(gc), oneBox);
        EXPECT_EQ(p(ops(gc)->FillSpans), p(nfbFillSpans));
        harness::applyGCLines(gc, {});
        s->validate(gc, bit);
        EXPECT_EQ(ops(gc), oneBox);
    }
}

TEST_F(RasmoGC, ANewDrawableSerialRebuildsTheVector) {
    GCPtr gc = line({}, {.clip = twoBoxes});
    GCOps *several = ops(gc);
    // A window placed so that the GC's second clip box falls off the screen:
    // one box left, and a different serial number.
    WindowPtr w = s->createWindow(40, 4, 20, 10);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(NFB_WINDOW_PRIV(w)->ops, s->winOps());
    s->validateOn(gc, &w->drawable, 0);
    EXPECT_NE(ops(gc), several);
    EXPECT_TRUE(driverRoutine(p(ops(gc)->FillSpans)));
    EXPECT_EQ(gc->serialNumber, w->drawable.serialNumber);
    // The serial number's top bit does not count.
    gc->serialNumber |= 0x80000000u;
    harness::applyGCLines(gc, {.clip = {{0, 0, 2, 2}, {4, 4, 6, 6}}});
    s->validateOn(gc, &w->drawable, 0);
    ASSERT_EQ(REGION_NUM_RECTS(s->gcPriv(gc)->compositeClip), 2);
    EXPECT_TRUE(driverRoutine(p(ops(gc)->FillSpans)));
}

TEST_F(RasmoGC, PatternOriginFollowsEveryValidation) {
    WindowPtr w = s->createWindow(30, 5, 20, 10);
    GCPtr gc = s->createGCOn(&w->drawable, {.patOrg = {3, 4}});
    EXPECT_EQ(s->gcPriv(gc)->patOrg.x, 33);
    EXPECT_EQ(s->gcPriv(gc)->patOrg.y, 9);
    PrivOps *record = s->ops(gc);
    GCOps *vector = ops(gc);
    harness::applyGCSpec(gc, {.fg = 7, .patOrg = {-2, 1}});
    s->validateOn(gc, &w->drawable, GCForeground);
    EXPECT_EQ(s->gcPriv(gc)->patOrg.x, 28);
    EXPECT_EQ(s->gcPriv(gc)->patOrg.y, 6);
    EXPECT_EQ(s->ops(gc), record);
    EXPECT_EQ(ops(gc), vector);
    // The layer filled the colours the driver's validation does not.
    EXPECT_EQ(s->gcPriv(gc)->fgPixel, 7u);
}

// ---- fill-style records ----

TEST_F(RasmoGC, FillStyleChoosesTheRecord) {
    PixmapPtr tile = s->tile(2, 1, {1, 2});
    PixmapPtr st = s->stipple({"X."});
    // Init gave the GC template the solid record.
    PrivOps *solid = s->nfb()->gcTemplate->ops;
    ASSERT_NE(solid, nullptr);
    EXPECT_TRUE(driverRoutine(p(solid->FillRects)));
    EXPECT_TRUE(driverRoutine(p(solid->FS)));
    EXPECT_TRUE(driverRoutine(p(solid->slot3.ZeroSeg)));
    EXPECT_EQ(solid->GCOp4, genSolidGCOp4);

    GCPtr plain = s->createGC({.alu = GXxor, .planemask = 0x0F});
    EXPECT_EQ(s->ops(plain), solid);
    PrivOps *tiled = s->ops(s->createGC({.fillStyle = FillTiled, .tile = tile}));
    EXPECT_EQ(tiled->FillRects, genTiledFillRects);
    EXPECT_EQ(tiled->FS, genTiledFS);
    EXPECT_EQ(tiled->slot3.GCOp3, genTiledGCOp3);
    PrivOps *stippled = s->ops(s->createGC({.fillStyle = FillStippled, .stipple = st}));
    EXPECT_TRUE(driverRoutine(p(stippled->FillRects)));
    EXPECT_EQ(stippled->FS, genStippledFS);
    EXPECT_EQ(stippled->GCOp6, genStippledGCOp6);
    PrivOps *opaque =
        s->ops(s->createGC({.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 5, .stipple = st}));
    EXPECT_TRUE(driverRoutine(p(opaque->FillRects)));
    EXPECT_NE(opaque->FillRects, stippled->FillRects);
    EXPECT_EQ(opaque->FS, genOpStippledFS);
    EXPECT_EQ(opaque->slot3.GCOp3, genOpStippledGCOp3);
    // Both colours alike: the solid record.
    EXPECT_EQ(
        s->ops(s->createGC({.fillStyle = FillOpaqueStippled, .fg = 4, .bg = 4, .stipple = st})),
        solid);
    // Other changes leave the record as it is.
    harness::applyGCSpec(plain, {.fillStyle = FillTiled, .tile = tile});
    s->validate(plain, GCFunction | GCPlaneMask);
    EXPECT_EQ(s->ops(plain), solid);
}

// Colours that come apart after the fill-style change leave the solid
// record: the opaque stipple must show both.
TEST_F(RasmoGC, OpaqueStippleDecidesAgainWhenItsColoursChange) {
    PixmapPtr st = s->stipple({"X.", ".X"});
    harness::GCSpec values{.fillStyle = FillOpaqueStippled, .fg = 6, .bg = 6, .stipple = st};
    GCPtr gc = s->createGC(values);
    PrivOps *solid = s->nfb()->gcTemplate->ops;
    EXPECT_EQ(s->ops(gc), solid);
    values.bg = 2;
    s->changeGC(gc, values, GCBackground);
    EXPECT_NE(s->ops(gc), solid);
    EXPECT_EQ(s->ops(gc)->FS, genOpStippledFS);
    values.fg = 2;
    s->changeGC(gc, values, GCForeground);
    EXPECT_EQ(s->ops(gc), solid);
    // A solid GC's record does not depend on its colours.
    GCPtr plain = s->createGC({.fg = 1, .bg = 1});
    s->changeGC(plain, {.fg = 1, .bg = 2}, GCBackground);
    EXPECT_EQ(s->ops(plain), solid);
}

// A vector that cannot be allocated: the GC takes the template.
TEST_F(RasmoGC, NoMemoryForAVectorGivesTheTemplate) {
    server::failAllocationAfter(0);
    GCPtr gc = line({}, {.lineWidth = 5});
    server::failAllocationAfter(-1);
    EXPECT_EQ(slots(ops(gc)), templateSlots());
    EXPECT_EQ(p(ops(gc)->LineHelper), p(miMiter));
    EXPECT_EQ(s->validate(gc, 0x10), 1);
    // The next validation that may rebuild builds the vector.
    EXPECT_EQ(ops(gc)->LineHelper, nullptr);
}

// ---- window records ----

TEST_F(RasmoGC, WindowRecordsByDepth) {
    WinOps *eight = s->winOps();
    ASSERT_NE(eight, nullptr);
    WindowPtr deep = server::createWindow(s->screen(), 0, 0, 4, 4, 16, 16);
    WindowPtr other = server::createWindow(s->screen(), 0, 0, 4, 4, 4, 8);
    WinOps sentinel{};
    NFB_WINDOW_PRIV(other)->ops = &sentinel;
    s->nfb()->ValidateWindowPriv(deep);
    s->nfb()->ValidateWindowPriv(other);
    WinOps *sixteen = NFB_WINDOW_PRIV(deep)->ops;
    ASSERT_NE(sixteen, nullptr);
    EXPECT_NE(sixteen, eight);
    EXPECT_EQ(NFB_WINDOW_PRIV(other)->ops, &sentinel);
    // The records differ in the tile slot (and the image slots), no more.
    EXPECT_NE(sixteen->TileRects, eight->TileRects);
    EXPECT_EQ(sixteen->CopyRect, eight->CopyRect);
    EXPECT_EQ(sixteen->DrawMonoGlyphs, eight->DrawMonoGlyphs);
    EXPECT_EQ(sixteen->SetClipRegions, eight->SetClipRegions);
    EXPECT_EQ(sixteen->ValidateWindowGC, eight->ValidateWindowGC);
    EXPECT_EQ(eight->WinOp11, genWinOp11);
    EXPECT_EQ(eight->WinOp13, genWinOp13);
    EXPECT_TRUE(driverRoutine(p(eight->CopyRect)));
    server::destroyWindow(deep);
    server::destroyWindow(other);
}

// ---- the stand-in: the layer's composite clip and the vector's calls ----

TEST_F(RasmoGC, CompositeClipOfAWindowPlacedAnywhere) {
    WindowPtr w = s->createWindow(50, -3, 30, 10);
    GCPtr gc = s->createGCOn(&w->drawable, {});
    RegionPtr clip = s->gcPriv(gc)->compositeClip;
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->data, nullptr);
    EXPECT_EQ(clip->extents.x1, 50);
    EXPECT_EQ(clip->extents.y1, 0);
    EXPECT_EQ(clip->extents.x2, 64);
    EXPECT_EQ(clip->extents.y2, 7);

    harness::applyGCLines(gc, {.clip = {{0, 3, 4, 5}, {10, 4, 40, 6}, {100, 0, 110, 2}}});
    s->validateOn(gc, &w->drawable, 0x80000);
    ASSERT_NE(clip->data, nullptr);
    EXPECT_EQ(REGION_NUM_RECTS(clip), 2);
    const BoxRec *b = REGION_RECTS(clip);
    EXPECT_EQ((std::vector<int>{b[0].x1, b[0].y1, b[0].x2, b[0].y2}),
              (std::vector<int>{50, 0, 54, 2}));
    EXPECT_EQ((std::vector<int>{b[1].x1, b[1].y1, b[1].x2, b[1].y2}),
              (std::vector<int>{60, 1, 64, 3}));
    EXPECT_EQ(p(ops(gc)->FillSpans), p(nfbFillSpans));
}

TEST_F(RasmoGC, LineValuesReachTheGC) {
    GCPtr gc = line({}, {.lineWidth = 4,
                         .lineStyle = 2,
                         .capStyle = 0,
                         .dashOffset = 3,
                         .dashes = {1, 2, 3},
                         .font = font->font});
    EXPECT_EQ(gc->lineWidth, 4);
    EXPECT_EQ(gc->lineStyle, 2u);
    EXPECT_EQ(gc->capStyle, 0u);
    EXPECT_EQ(gc->dashOffset, 3);
    ASSERT_EQ(gc->numInDashList, 3);
    EXPECT_EQ((std::vector<uint8_t>(gc->dash, gc->dash + 3)), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(gc->font, font->font);
    // Wide double dashes: the machine-independent dashed lines.
    EXPECT_EQ(p(ops(gc)->Polylines), p(miWideDash));
}

TEST_F(RasmoGC, VectorSlotsGetTheServersArguments) {
    WindowPtr w = s->createWindow(7, 2, 40, 10);
    GCPtr gc = s->createGCOn(&w->drawable, {}, {.clip = twoBoxes});
    server::clearGenCalls();
    s->gcPolyFillRect(gc, &w->drawable, {{-5, 1, 60, 3}});
    s->gcPolySegment(gc, &w->drawable, {{0, 0, 9, 9}, {3, 1, 3, 8}});
    EXPECT_EQ(s->gcPolyText8(gc, &w->drawable, 4, 9, "ab"), 4);
    const auto &calls = server::genCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].routine, "nfbPolyFillRect");
    EXPECT_EQ(calls[0].args[0], server::arg(&w->drawable));
    EXPECT_EQ(calls[0].args[1], server::arg(gc));
    EXPECT_EQ(calls[0].args[2], server::arg(1));
    EXPECT_EQ(calls[1].routine, "nfbSegmentSS");
    EXPECT_EQ(calls[1].args[2], server::arg(2));
    EXPECT_EQ(calls[2].routine, "miPolyText8");
    EXPECT_EQ(calls[2].args[2], server::arg(4));
    EXPECT_EQ(calls[2].args[4], server::arg(2));
}

} // namespace
} // namespace rasmotest
