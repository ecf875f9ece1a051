// The ct GC wrapper seen from outside (a layer of GC functions below it that
// logs what reaches it) and the validation: the record chosen and the image
// cached, by change bits and fill style, in the wrapping and the plain mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ct_fixture.h"

namespace {

using namespace cttest;

// ---- a layer of GC functions below the driver's ----

struct Logged {
    int layer;
    std::string slot;
    std::vector<uint64_t> args;
    bool operator==(const Logged &) const = default;
};

std::vector<Logged> gLog;
const GCFuncs *gServerFuncs = nullptr;
bool gCreateFails = false;
extern const GCFuncs kLayerA, kLayerB;

using server::arg;

// Each slot logs, runs the server's slot with the GC's vector set to the
// server's as a wrapping layer must, and puts its own vector back.
template <int L> struct Layer {
    static const GCFuncs *self() { return L ? &kLayerB : &kLayerA; }
    static void validate(GCPtr gc, uint32_t changes, DrawablePtr d) {
        gLog.push_back({L, "ValidateGC", {arg(gc), changes, arg(d)}});
        gc->funcs = gServerFuncs;
        gServerFuncs->ValidateGC(gc, changes, d);
        gc->funcs = self();
    }
    static void change(GCPtr gc, uint32_t mask) {
        gLog.push_back({L, "ChangeGC", {arg(gc), mask}});
        // This layer hands the GC to the other one from now on.
        gc->funcs = mask == 0x40 ? (L ? &kLayerA : &kLayerB) : self();
    }
    static void copy(GCPtr src, uint32_t mask, GCPtr dst) {
        gLog.push_back({L, "CopyGC", {arg(src), mask, arg(dst)}});
    }
    static void destroy(GCPtr gc) { gLog.push_back({L, "DestroyGC", {arg(gc)}}); }
    static void changeClip(GCPtr gc, int type, void *value, int n) {
        gLog.push_back({L, "ChangeClip", {arg(gc), arg(type), arg(value), arg(n)}});
    }
    static void destroyClip(GCPtr gc) { gLog.push_back({L, "DestroyClip", {arg(gc)}}); }
    static void copyClip(GCPtr dst, GCPtr src) {
        gLog.push_back({L, "CopyClip", {arg(dst), arg(src)}});
    }
};

const GCFuncs kLayerA = {Layer<0>::validate, Layer<0>::change,     Layer<0>::copy,
                         Layer<0>::destroy,  Layer<0>::changeClip, Layer<0>::destroyClip,
                         Layer<0>::copyClip};
const GCFuncs kLayerB = {Layer<1>::validate, Layer<1>::change,     Layer<1>::copy,
                         Layer<1>::destroy,  Layer<1>::changeClip, Layer<1>::destroyClip,
                         Layer<1>::copyClip};

int gCreated = 0;

// The screen's CreateGC below the driver's: GCs take layer A and B in turn.
Bool layerCreateGC(GCPtr gc) {
    if (gCreateFails)
        return 0;
    gServerFuncs = gc->funcs;
    gc->funcs = gCreated++ % 2 ? &kLayerB : &kLayerA;
    return 1;
}

// The driver's GC private as its four words read on this host.
struct GCPrivView {
    const GCFuncs *savedFuncs;
    void *cachedImage;
    int32_t cachedWidth, cachedHeight;
};

class CtGC : public ::testing::TestWithParam<Build> {
  protected:
    void start(std::vector<std::string> args = {"-opsflag", "0"}) {
        b = GetParam();
        gLog.clear();
        gCreated = 0;
        gCreateFails = false;
        graf::Config cfg = ctConfig(b);
        cfg.ints["ONBOARDMIN"] = 1000;
        s = std::make_unique<harness::Screen>(b.driver, cfg, options(std::move(args)));
        s->screen()->CreateGC = layerCreateGC;
        ASSERT_TRUE(s->start()) << s->failureText();
        server::clearErrorMessages();
    }
    void TearDown() override {
        if (s) {
            s->freeScreen();
            // Every cached image went with its GC: the heap closes clean.
            EXPECT_EQ(server::errorMessages(), std::vector<std::string>{});
            EXPECT_EQ(server::liveBlockCount(), 0u);
        }
    }
    // The driver's private is under the last GC-private index taken.
    GCPrivView *priv(GCPtr gc) {
        return static_cast<GCPrivView *>(gc->devPrivates[server::gcPrivateCount() - 1].ptr);
    }
    std::string record(GCPtr gc) {
        PrivOps *o = s->ops(gc);
        if (o == s->nfb()->gcTemplate->ops)
            return "solid";
        if (o->slot3.GCOp3 == genTiledGCOp3)
            return "tiled";
        if (o->slot3.GCOp3 == genStippledGCOp3)
            return "stippled";
        if (o->slot3.GCOp3 == genOpStippledGCOp3)
            return "opaqueStippled";
        return "?";
    }
    // An image went to the cache since the last clear (host data taken).
    bool loaded() {
        for (const sim::CtOp &op : ctOf(*s).ops())
            if (op.regs[4] & (is65550(b) ? 0x400u : 0x4000u))
                return true;
        return false;
    }

    Build b;
    std::unique_ptr<harness::Screen> s;
};

TEST_P(CtGC, WrapperPassesEverySlotToTheLayerBelow) {
    start();
    GCPtr a = s->createGC();
    GCPtr bGC = s->createGC();
    ASSERT_EQ(priv(a)->savedFuncs, &kLayerA);
    ASSERT_EQ(priv(bGC)->savedFuncs, &kLayerB);
    const GCFuncs *wrapper = a->funcs;
    EXPECT_NE(wrapper, &kLayerA);
    EXPECT_EQ(bGC->funcs, wrapper);
    gLog.clear();
    int clipValue = 0;
    s->validate(a, GCFunction);
    s->gcChangeGC(a, 0x10);
    s->gcCopyGC(a, 0x4, bGC); // on the destination's layer
    s->gcChangeClip(a, 1, &clipValue, 3);
    s->gcDestroyClip(bGC);
    s->gcCopyClip(bGC, a);
    DrawablePtr d = s->drawable();
    EXPECT_EQ(gLog, (std::vector<Logged>{{0, "ValidateGC", {arg(a), GCFunction, arg(d)}},
                                         {0, "ChangeGC", {arg(a), 0x10}},
                                         {1, "CopyGC", {arg(a), 0x4, arg(bGC)}},
                                         {0, "ChangeClip", {arg(a), 1, arg(&clipValue), 3}},
                                         {1, "DestroyClip", {arg(bGC)}},
                                         {1, "CopyClip", {arg(bGC), arg(a)}}}));
    EXPECT_EQ(a->funcs, wrapper);
    EXPECT_EQ(bGC->funcs, wrapper);
    // The layer below swaps itself during a call: the swap holds.
    gLog.clear();
    s->gcChangeGC(a, 0x40);
    EXPECT_EQ(priv(a)->savedFuncs, &kLayerB);
    s->gcDestroyClip(a);
    EXPECT_EQ(gLog.back(), (Logged{1, "DestroyClip", {arg(a)}}));
    EXPECT_EQ(a->funcs, wrapper);
    gLog.clear();
    s->destroyGC(a);
    EXPECT_EQ(gLog, (std::vector<Logged>{{1, "DestroyGC", {arg(a)}}}));
}

TEST_P(CtGC, AFailedCreateLeavesTheGCUnwrapped) {
    start();
    const GCFuncs *wrapper = s->createGC()->funcs;
    gCreateFails = true;
    GCPtr gc = s->createGC();
    EXPECT_NE(gc->funcs, wrapper);
    EXPECT_EQ(priv(gc)->savedFuncs, nullptr);
    // The driver's CreateGC is still the screen's, around the same layer.
    gCreateFails = false;
    GCPtr next = s->createGC();
    EXPECT_EQ(next->funcs, wrapper);
    EXPECT_EQ(priv(next)->savedFuncs, &kLayerB);
}

// Without wrapping (option bit 0x80000) the screen's CreateGC stays as it
// was and no GC is wrapped.
TEST_P(CtGC, PlainModeWrapsNothing) {
    start({"-opsflag", "80000"});
    EXPECT_EQ(s->screen()->CreateGC, layerCreateGC);
    GCPtr gc = s->createGC();
    EXPECT_EQ(gc->funcs, &kLayerA);
}

struct Step {
    const char *what;
    void (*change)(harness::Screen &, GCPtr);
    uint32_t changes;
    const char *record;
    bool loads; // an image loaded into the cache by this validation
    enum { NoImage, Same, New } image;
};

struct ValidationCase {
    const char *name;
    harness::GCSpec (*initial)(harness::Screen &);
    const char *record; // after the first validation
    bool loads;
    std::vector<Step> steps;
};

void PrintTo(const ValidationCase &c, std::ostream *os) {
    *os << c.name;
}

harness::GCSpec tiled(harness::Screen &s) {
    return {.fillStyle = FillTiled,
            .tile = s.tile(5, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})};
}
harness::GCSpec opaqueStippled(harness::Screen &s) {
    return {.fillStyle = FillOpaqueStippled,
            .fg = 3,
            .bg = 5,
            .stipple = s.stipple({"X..X.", ".XX..", "X...X"})};
}
harness::GCSpec oneColourStipple(harness::Screen &s) {
    harness::GCSpec v = opaqueStippled(s);
    v.bg = v.fg;
    return v;
}
harness::GCSpec stippled(harness::Screen &s) {
    harness::GCSpec v = opaqueStippled(s);
    v.fillStyle = FillStippled;
    return v;
}
harness::GCSpec pixelTile(harness::Screen &) {
    return {.fillStyle = FillTiled};
}

const ValidationCase kValidations[] = {
    {"lineWidthKeepsRecordAndImage",
     tiled,
     "tiled",
     true,
     {{"line width", [](harness::Screen &, GCPtr gc) { gc->lineWidth = 3; }, GCLineWidth, "tiled",
       false, Step::Same}}},
    {"equalColoursGiveSolid",
     opaqueStippled,
     "opaqueStippled",
     true,
     {{"bg = fg", [](harness::Screen &, GCPtr gc) { gc->bgPixel = gc->fgPixel; }, GCBackground,
       "solid", false, Step::Same},
      {"fg again apart", [](harness::Screen &, GCPtr gc) { gc->fgPixel = 9; }, GCForeground,
       "opaqueStippled", true, Step::New}}},
    {"solidKeepsTheTileUntilTheNextImage",
     tiled,
     "tiled",
     true,
     {{"solid", [](harness::Screen &, GCPtr gc) { gc->fillStyle = FillSolid; }, GCFillStyle,
       "solid", false, Step::Same},
      {"opaque stipple",
       [](harness::Screen &s, GCPtr gc) {
           gc->fillStyle = FillOpaqueStippled;
           gc->stipple = s.stipple({"X.", ".X"});
       },
       GCFillStyle | GCStipple, "opaqueStippled", true, Step::New}}},
    {"colourChangeOfAOneColourStipple",
     oneColourStipple,
     "solid",
     false,
     {{"fg", [](harness::Screen &, GCPtr gc) { gc->fgPixel = 12; }, GCForeground, "opaqueStippled",
       true, Step::New}}},
    {"stippleCachedInOnes", stippled, "stippled", true, {}},
    {"pixelTileNotCached", pixelTile, "tiled", false, {}},
};

class CtGCValidation : public ::testing::TestWithParam<std::tuple<Build, ValidationCase>> {};

TEST_P(CtGCValidation, RecordAndCachedImage) {
    const Build b = std::get<0>(GetParam());
    const ValidationCase &c = std::get<1>(GetParam());
    // Blocks of a fifth of the free memory would be wider than this small
    // screen's lines: smaller ones fit.
    graf::Config cfg = ctConfig(b);
    cfg.ints["ONBOARDMIN"] = 1000;
    harness::Screen s(b.driver, cfg, options({"-opsflag", "0"}));
    ASSERT_TRUE(s.start()) << s.failureText();
    auto loaded = [&] {
        for (const sim::CtOp &op : ctOf(s).ops())
            if (op.regs[4] & (is65550(b) ? 0x400u : 0x4000u))
                return true;
        return false;
    };
    auto view = [&](GCPtr gc) {
        return static_cast<GCPrivView *>(gc->devPrivates[server::gcPrivateCount() - 1].ptr);
    };
    ctOf(s).clearOps();
    auto record = [&](GCPtr gc) -> std::string {
        PrivOps *o = s.ops(gc);
        if (o == s.nfb()->gcTemplate->ops)
            return "solid";
        if (o->slot3.GCOp3 == genTiledGCOp3)
            return "tiled";
        if (o->slot3.GCOp3 == genStippledGCOp3)
            return "stippled";
        return o->slot3.GCOp3 == genOpStippledGCOp3 ? "opaqueStippled" : "?";
    };
    GCPtr gc = s.createGC(c.initial(s));
    EXPECT_EQ(record(gc), c.record);
    EXPECT_EQ(loaded(), c.loads);
    EXPECT_EQ(view(gc)->cachedImage != nullptr, c.loads);
    for (const Step &st : c.steps) {
        SCOPED_TRACE(st.what);
        void *before = view(gc)->cachedImage;
        ctOf(s).clearOps();
        st.change(s, gc);
        s.validate(gc, st.changes);
        EXPECT_EQ(record(gc), st.record);
        EXPECT_EQ(loaded(), st.loads);
        if (st.image == Step::Same) {
            EXPECT_EQ(view(gc)->cachedImage, before);
        } else if (st.image == Step::New) {
            EXPECT_NE(view(gc)->cachedImage, nullptr);
        }
        // What is drawn from the GC now matches the renderer.
        s.fillRects(gc, {{1, 1, 30, 20}});
        EXPECT_SCREEN_SAME(s);
    }
    server::clearErrorMessages();
    s.freeScreen();
    EXPECT_EQ(server::errorMessages(), std::vector<std::string>{});
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, CtGCValidation,
                         ::testing::Combine(::testing::Values(kJorra16, kBelki8, kCordo16),
                                            ::testing::ValuesIn(kValidations)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).driver) + "_" +
                                    std::get<1>(info.param).name;
                         });

// The plain validation (the 65550's default) chooses again when a colour
// changes: an opaque stipple in one colour is solid until the colours part.
TEST_P(CtGC, ColourChangeChoosesAgainInBothModes) {
    for (const char *mask : {"0", "80000"}) {
        SCOPED_TRACE(mask);
        start({"-opsflag", mask});
        GCPtr gc = s->createGC(oneColourStipple(*s));
        EXPECT_EQ(record(gc), "solid");
        gc->fgPixel = 6;
        s->validate(gc, GCForeground);
        EXPECT_EQ(record(gc), "opaqueStippled");
        s->fillRects(gc, {{0, 0, 40, 30}});
        EXPECT_SCREEN_SAME(*s);
        // Plain mode gives every stipple to the server's routines.
        EXPECT_EQ(s->ops(gc)->FillRects == genOpStippledFillRects, std::string(mask) != "0");
        s->freeScreen();
        s.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, CtGC, ::testing::ValuesIn(kBuilds), buildName);

} // namespace
