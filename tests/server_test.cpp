// The stand-in server's own mechanisms: memory accounting and refusal,
// private indices, generations, messages, the frame-buffer layer's helpers,
// colormaps, and the generic routines drawing through a window's slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "harness.h"
#include "machine.h"
#include "refrender.h"
#include "server.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SERVER_TEST_ASAN 1
#endif
#endif
#if !defined(SERVER_TEST_ASAN) && defined(__SANITIZE_ADDRESS__)
#define SERVER_TEST_ASAN 1
#endif
#ifdef SERVER_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

using server::arg;

// ======================= memory =======================

TEST(ServerMemory, XallocBlocksAreAccountedUntilFreed) {
    EXPECT_EQ(server::liveBlockCount(), 0u);
    void *a = Xalloc(16);
    void *b = Xalloc(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::vector<server::Block> live = server::liveBlocks();
    ASSERT_EQ(live.size(), 2u);
    EXPECT_EQ(live[0].ptr, a);
    EXPECT_EQ(live[0].size, 16u);
    EXPECT_EQ(live[1].ptr, b);

    // Xrealloc keeps the contents, moves the block and keeps one live block.
    std::memset(a, 0x3C, 16);
    void *a2 = Xrealloc(a, 64);
    ASSERT_NE(a2, nullptr);
    EXPECT_NE(a2, a);
    EXPECT_EQ(static_cast<uint8_t *>(a2)[15], 0x3C);
    EXPECT_EQ(server::liveBlockCount(), 2u);

    Xfree(a2);
    Xfree(b);
    Xfree(nullptr);
    EXPECT_EQ(server::liveBlockCount(), 0u);
    EXPECT_TRUE(server::memoryErrors().empty());
}

TEST(ServerMemory, AllocationsFailOnDemand) {
    server::failAllocationAfter(1);
    void *a = Xalloc(8);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Xalloc(8), nullptr);
    // A refused Xrealloc leaves the old block as it was.
    static_cast<uint8_t *>(a)[0] = 7;
    EXPECT_EQ(Xrealloc(a, 32), nullptr);
    ASSERT_EQ(server::liveBlockCount(), 1u);
    EXPECT_EQ(static_cast<uint8_t *>(a)[0], 7);

    server::failAllocationAfter(-1);
    void *b = Xalloc(8);
    EXPECT_NE(b, nullptr);
    Xfree(a);
    Xfree(b);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

TEST(ServerMemory, FreeingWhatIsNotLiveIsReportedAndHarmless) {
    void *a = Xalloc(4);
    Xfree(a);
    Xfree(a); // a second time
    int local = 0;
    EXPECT_EQ(Xrealloc(&local, 8), nullptr);
    ASSERT_EQ(server::memoryErrors().size(), 2u);
    EXPECT_NE(server::memoryErrors()[0].find("Xfree"), std::string::npos);
    EXPECT_NE(server::memoryErrors()[1].find("Xrealloc"), std::string::npos);
    EXPECT_EQ(sim::Machine::current().failures().size(), 2u);
}

// A screen's worth of small blocks, resized and freed in a scrambled order:
// every block stays found, with its size and allocation order, until it goes.
TEST(ServerMemory, ThousandsOfBlocksFreedInAnyOrderStayTracked) {
    std::mt19937 rng(49);
    struct Held {
        void *ptr;
        uint32_t size;
        uint64_t serial;
    };
    std::vector<Held> held;
    const uint64_t first = server::allocationCount();
    for (uint32_t i = 0; i < 5000; i++) {
        uint32_t size = i % 7 * 4;
        void *p = Xalloc(size);
        ASSERT_NE(p, nullptr);
        held.push_back({p, size, first + i + 1});
    }
    std::shuffle(held.begin(), held.end(), rng);
    // Every tenth block moves: a new serial, the old address no longer live.
    for (size_t i = 0; i < held.size(); i += 10) {
        void *moved = Xrealloc(held[i].ptr, held[i].size + 8);
        ASSERT_NE(moved, nullptr);
        held[i] = {moved, held[i].size + 8, server::allocationCount()};
    }
    auto expectLive = [&](size_t from) {
        std::vector<Held> want(held.begin() + static_cast<long>(from), held.end());
        std::sort(want.begin(), want.end(),
                  [](const Held &a, const Held &b) { return a.serial < b.serial; });
        std::vector<server::Block> live = server::liveBlocks();
        ASSERT_EQ(live.size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(live[i].ptr, want[i].ptr);
            EXPECT_EQ(live[i].size, want[i].size);
            EXPECT_EQ(live[i].serial, want[i].serial);
        }
    };
    for (size_t i = 0; i < held.size(); i++) {
        if (i % 1250 == 0)
            expectLive(i);
        Xfree(held[i].ptr);
        EXPECT_EQ(server::liveBlockCount(), held.size() - i - 1);
    }
    EXPECT_TRUE(server::memoryErrors().empty());
}

#ifdef SERVER_TEST_ASAN
// Under the sanitizer, a driver block of any size is addressable exactly
// over its size: the byte after it and the bytes before it are poisoned,
// as is the whole block once freed, and a freed block's memory does not
// come back soon (so a late use of it is still seen).
TEST(ServerMemory, BlocksArePoisonedPastTheirEndsAndOnceFreed) {
    std::vector<std::pair<uint8_t *, uint32_t>> held;
    for (uint32_t size : {1u, 3u, 8u, 13u, 16u, 17u, 24u, 60u, 64u, 65u, 255u, 256u, 257u, 4000u}) {
        auto *p = static_cast<uint8_t *>(Xalloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u) << size;
        EXPECT_EQ(__asan_region_is_poisoned(p, size), nullptr) << size;
        EXPECT_EQ(p[size - 1], 0xA5) << size; // the fresh fill
        EXPECT_TRUE(__asan_address_is_poisoned(p + size)) << size;
        EXPECT_TRUE(__asan_address_is_poisoned(p - 1)) << size;
        held.push_back({p, size});
    }
    // Growing moves the block; the old one is poisoned, the new one open.
    auto *moved = static_cast<uint8_t *>(Xrealloc(held[3].first, 40));
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(__asan_address_is_poisoned(held[3].first));
    EXPECT_EQ(__asan_region_is_poisoned(moved, 40), nullptr);
    EXPECT_TRUE(__asan_address_is_poisoned(moved + 40));
    held[3] = {moved, 40};
    for (auto [p, size] : held) {
        Xfree(p);
        for (uint32_t i = 0; i < size; i++)
            ASSERT_TRUE(__asan_address_is_poisoned(p + i)) << size << " byte " << i;
    }
    // Many blocks of the same sizes later, none has a freed block's address.
    std::vector<void *> later;
    for (int i = 0; i < 20000; i++) {
        void *p = Xalloc(held[i % held.size()].second);
        for (auto [old, size] : held)
            ASSERT_NE(p, old);
        later.push_back(p);
    }
    for (void *p : later)
        Xfree(p);
    EXPECT_TRUE(server::memoryErrors().empty());
}
#endif

// ======================= indices and generations =======================

TEST(ServerIndices, ScreenPrivateIndicesGrowEveryScreen) {
    ScreenPtr s = server::createScreen(0);
    int i0 = AllocateScreenPrivateIndex();
    EXPECT_EQ(i0, 0);
    int token = 42;
    s->devPrivates[i0].ptr = &token;
    int i1 = AllocateScreenPrivateIndex();
    EXPECT_EQ(i1, 1);
    // The array grew and kept what was there.
    EXPECT_EQ(s->devPrivates[i0].ptr, &token);
    EXPECT_EQ(s->devPrivates[i1].ptr, nullptr);
    // A screen made later has room for every index.
    ScreenPtr t = server::createScreen(1);
    t->devPrivates[i1].ptr = &token;

    server::failScreenPrivateIndex(true);
    EXPECT_EQ(AllocateScreenPrivateIndex(), -1);
    server::failScreenPrivateIndex(false);
    EXPECT_EQ(AllocateScreenPrivateIndex(), 2);
    server::destroyScreen(t);
    server::destroyScreen(s);
}

TEST(ServerIndices, GCPrivatesAndTheLayersIndices) {
    int index = AllocateGCPrivateIndex();
    EXPECT_NE(index, nfbGCPrivateIndex);
    ScreenPtr s = server::createScreen(0);
    EXPECT_TRUE(AllocateGCPrivate(s, index, 16));
    EXPECT_FALSE(AllocateGCPrivate(s, index + 1, 16)); // not handed out
    ASSERT_TRUE(nfbScreenInit(s, 64, 32, 100, 50));
    GCPtr gc = server::createGC(s, 8);
    ASSERT_NE(gc->devPrivates[index].ptr, nullptr);
    std::memset(gc->devPrivates[index].ptr, 0xFF, 16); // 16 bytes are there
    EXPECT_NE(NFB_GC_PRIV(gc), nullptr);

    Text8FontInfo info{};
    FontPtr f = server::createFont(&info);
    EXPECT_GE(f->maxPrivate, nfbFontPrivateIndex);
    EXPECT_EQ(NFB_FONT_PRIV(f)->text8Info, &info);
    server::destroyFont(f);
    server::destroyGC(gc);
    server::destroyScreen(s);
}

TEST(ServerIndices, GenerationStartsAtOneAndChangesAtEveryReset) {
    EXPECT_EQ(serverGeneration, 1u);
    server::resetGeneration();
    uint32_t second = serverGeneration;
    EXPECT_NE(second, 1u);
    server::resetGeneration();
    EXPECT_NE(serverGeneration, second);
    EXPECT_NE(serverGeneration, 1u);
}

// ======================= messages =======================

TEST(ServerMessages, ErrorFIsCapturedFormatted) {
    ErrorF("memsize not enough for %d\n", 786432);
    ErrorF("%s: %x", "brisko8", 0xBEEFu);
    ASSERT_EQ(server::errorMessages().size(), 2u);
    EXPECT_EQ(server::errorMessages()[0], "memsize not enough for 786432\n");
    EXPECT_EQ(server::errorMessages()[1], "brisko8: beef");
    server::clearErrorMessages();
    EXPECT_TRUE(server::errorMessages().empty());
}

TEST(ServerMessages, FatalErrorThrowsItsExactMessage) {
    try {
        FatalError("%s: can't find %s in grafinfo file\n", "tesk", "PITCH");
        FAIL() << "FatalError returned";
    } catch (const server::FatalErrorCalled &e) {
        EXPECT_EQ(e.message, "tesk: can't find PITCH in grafinfo file\n");
        EXPECT_STREQ(e.what(), e.message.c_str());
    }
    ASSERT_EQ(server::fatalErrors().size(), 1u);
    EXPECT_EQ(server::fatalErrors()[0], "tesk: can't find PITCH in grafinfo file\n");
}

// ======================= tables =======================

TEST(ServerTables, BitSwapPaddingAndDestinationAlus) {
    EXPECT_EQ(ddxBitSwap[0x01], 0x80);
    EXPECT_EQ(ddxBitSwap[0x12], 0x48);
    EXPECT_EQ(ddxBitSwap[0xF0], 0x0F);
    EXPECT_EQ(ddxBitSwap[0xA5], 0xA5);
    EXPECT_EQ(ddxBitSwap[0xFE], 0x7F);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(ddxBitSwap[ddxBitSwap[i]], i) << "reversing twice gives " << i;
    struct Pad {
        int width, depth, bytes;
    };
    for (Pad p : {Pad{1, 1, 4}, Pad{32, 1, 4}, Pad{33, 1, 8}, Pad{64, 1, 8}, Pad{5, 8, 8},
                  Pad{4, 8, 4}, Pad{3, 16, 8}, Pad{3, 15, 8}, Pad{1, 24, 4}, Pad{3, 24, 12}})
        EXPECT_EQ(PixmapBytePad(p.width, p.depth), p.bytes) << p.width << " at " << p.depth;
    for (int alu = 0; alu < 16; alu++) {
        bool reads = alu != GXclear && alu != GXcopy && alu != GXcopyInverted && alu != GXset;
        EXPECT_EQ(rop_needs_dst[alu] != 0, reads) << alu;
    }
}

// The other names of the port routines reach the same simulated ports.
struct PortLog : sim::PortDevice {
    std::vector<std::pair<uint16_t, uint32_t>> outs;
    uint32_t in(uint16_t port, int width) override { return width == 2 ? 0xBEEF : port & 0xFF; }
    void out(uint16_t port, int, uint32_t value) override { outs.push_back({port, value}); }
};

TEST(ServerPorts, ByteAndWordFormsUnderOtherNames) {
    PortLog dev;
    sim::Machine::current().attachPorts(0x2E8, 2, &dev, 2);
    outpw(0x2E8, 0x1234);
    outp(0x2E9, 0x56);
    EXPECT_EQ(inpw(0x2E8), 0xBEEF);
    EXPECT_EQ(inp(0x2E9), 0xE9);
    ASSERT_EQ(dev.outs.size(), 2u);
    EXPECT_EQ(dev.outs[0], (std::pair<uint16_t, uint32_t>{0x2E8, 0x1234}));
    EXPECT_EQ(dev.outs[1], (std::pair<uint16_t, uint32_t>{0x2E9, 0x56}));
    sim::Machine::reset();
}

// ======================= frame-buffer layer =======================

TEST(FrameBufferLayer, ScreenInitVisualsOptionsAndRegistrations) {
    ScreenPtr s = server::createScreen(0);
    ASSERT_TRUE(nfbScreenInit(s, 640, 480, 300, 200));
    EXPECT_EQ(s->width, 640);
    EXPECT_EQ(s->mmHeight, 200);
    nfbScreenPrivate *p = NFB_SCREEN_PRIV(s);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->gcTemplate, nullptr);
    EXPECT_EQ(p->installedCmap, nullptr);

    VisualRec v = {0, TrueColor, 6, 64, 16, 0xF800, 0x7E0, 0x1F, 11, 5, 0};
    ASSERT_TRUE(nfbAddVisual(s, &v));
    EXPECT_EQ(s->numVisuals, 1);
    EXPECT_EQ(s->rootDepth, 16);
    EXPECT_EQ(s->visuals[0].redMask, 0xF800u);
    EXPECT_NE(s->visuals[0].vid, 0u); // the server assigns it

    nfbSetOptions(s, 50, NFB_OPT_ZEROSEGS, 0);
    EXPECT_EQ(server::screenState(0).optionFlags, NFB_OPT_ZEROSEGS);
    EXPECT_EQ(server::screenState(0).optionsVersion, 50);

    PointerFuncs pf{};
    EXPECT_TRUE(vexoPointerInitialize(s, &pf, 0, 1));
    EXPECT_EQ(server::screenState(0).pointerArgs, (std::vector<int>{0, 1}));
    server::setPointerResult(0);
    EXPECT_FALSE(vexoPointerInitialize(s, &pf, 1));
    EXPECT_EQ(server::screenState(0).pointerArgs, (std::vector<int>{1}));
    EXPECT_FALSE(server::screenState(0).pointerAccepted);
    server::setPointerResult(1);

    EXPECT_TRUE(ddxAddPixmapFormat(16, 16, 32));
    ASSERT_EQ(server::pixmapFormats().size(), 1u);
    EXPECT_EQ(server::pixmapFormats()[0].bitsPerPixel, 16);
    server::destroyScreen(s);
}

TEST(FrameBufferLayer, HelpValidateGCFillsThePrivateInScreenCoordinates) {
    ScreenPtr s = server::createScreen(0);
    ASSERT_TRUE(nfbScreenInit(s, 200, 100, 300, 300));
    PrivOps solid{};
    NFB_SCREEN_PRIV(s)->gcTemplate->ops = &solid;
    WindowPtr w = server::createWindow(s, 10, 20, 300, 50, 8, 8);
    GCPtr gc = server::createGC(s, 8);
    EXPECT_EQ(NFB_GC_PRIV(gc)->ops, &solid); // copied from the template

    PrivOps other{};
    NFB_GC_PRIV(gc)->ops = &other;
    gc->fgPixel = 0x12;
    gc->bgPixel = 0x34;
    gc->alu = GXxor;
    gc->planemask = 0x0F;
    gc->patOrg = {3, -4};
    EXPECT_EQ(nfbHelpValidateGC(gc, GCFunction | GCForeground, &w->drawable), 1);
    const nfbGCPrivate *p = NFB_GC_PRIV(gc);
    EXPECT_EQ(p->ops, &other); // left to the driver
    EXPECT_EQ(p->fgPixel, 0x12u);
    EXPECT_EQ(p->bgPixel, 0x34u);
    EXPECT_EQ(p->alu, GXxor);
    EXPECT_EQ(p->planemask, 0x0Fu);
    EXPECT_EQ(p->patOrg.x, 13);
    EXPECT_EQ(p->patOrg.y, 16);
    ASSERT_NE(p->compositeClip, nullptr);
    // The window clipped to the screen.
    EXPECT_EQ(p->compositeClip->extents.x1, 10);
    EXPECT_EQ(p->compositeClip->extents.y1, 20);
    EXPECT_EQ(p->compositeClip->extents.x2, 200);
    EXPECT_EQ(p->compositeClip->extents.y2, 70);
    EXPECT_EQ(REGION_NUM_RECTS(p->compositeClip), 1);
    server::destroyGC(gc);
    server::destroyWindow(w);
    server::destroyScreen(s);
}

// ======================= colormaps =======================

struct ColorCall {
    int index;
    uint16_t r, g, b;
};
std::vector<ColorCall> colorCalls;
void recordSetColor(uint32_t, int index, uint16_t r, uint16_t g, uint16_t b, ScreenPtr) {
    colorCalls.push_back({index, r, g, b});
}
std::vector<ColormapPtr> loaded;
void recordLoadColormap(ColormapPtr m) {
    loaded.push_back(m);
}

class Colormaps : public ::testing::Test {
  protected:
    void SetUp() override {
        s = server::createScreen(0);
        ASSERT_TRUE(nfbScreenInit(s, 64, 64, 300, 300));
        VisualRec v = {0, PseudoColor, 8, 4, 8, 0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(nfbAddVisual(s, &v));
        NFB_SCREEN_PRIV(s)->SetColor = recordSetColor;
        NFB_SCREEN_PRIV(s)->LoadColormap = recordLoadColormap;
    }
    void TearDown() override { server::destroyScreen(s); }
    ScreenPtr s = nullptr;
};

TEST_F(Colormaps, DefaultColormapIsCreatedAndInstalled) {
    ASSERT_TRUE(cfbCreateDefColormap(s));
    ColormapPtr m = s->defColormap;
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(NFB_SCREEN_PRIV(s)->installedCmap, m);
    EXPECT_EQ(loaded, std::vector<ColormapPtr>{m});
    EXPECT_EQ(m->pVisual, &s->visuals[0]);
    EXPECT_EQ(m->red[s->whitePixel].co.local.green, 0xFFFF);
    EXPECT_EQ(m->red[s->blackPixel].co.local.green, 0);

    server::failCreateColormap(true);
    EXPECT_FALSE(mfbCreateDefColormap(s));
    server::failCreateColormap(false);
}

TEST_F(Colormaps, LoadColormapSetsEveryEntryFollowingSharedColours) {
    ColormapPtr m = server::createColormap(s, &s->visuals[0]);
    m->red[0].co.local = {1, 2, 3};
    SHAREDCOLOR r{0x1111, 1}, g{0x2222, 1}, b{0x3333, 1};
    m->red[2].co.shco = {&r, &g, &b};
    m->red[2].fShared = 1;
    m->red[3].co.local = {0xFFFF, 0, 0x8000};
    genLoadColormap(m);
    ASSERT_EQ(colorCalls.size(), 4u);
    EXPECT_EQ(colorCalls[0].index, 0);
    EXPECT_EQ(colorCalls[0].b, 3);
    EXPECT_EQ(colorCalls[1].r, 0);
    EXPECT_EQ(colorCalls[2].index, 2);
    EXPECT_EQ(colorCalls[2].r, 0x1111);
    EXPECT_EQ(colorCalls[2].g, 0x2222);
    EXPECT_EQ(colorCalls[2].b, 0x3333);
    EXPECT_EQ(colorCalls[3].b, 0x8000);

    xColorItem want{};
    want.red = 0x1000;
    want.green = 0x2000;
    want.blue = 0x3000;
    FakeAllocColor(m, &want);
    EXPECT_EQ(want.pixel, 2u); // the closest entry
}

// ======================= generic routines through a window =======================

// A window whose ReadImage, DrawImage and CopyRect work on a plain canvas in
// the screen's memory format, so the generic routines can be checked
// against the reference renderer without any adapter.
ref::Canvas *fakeMemory = nullptr;
std::vector<std::pair<BoxRec, DDXPointRec>> fakeCopies;

void fakeRead(BoxPtr box, uint8_t *dst, int stride, DrawablePtr) {
    ref::readImage(*fakeMemory, *box, dst, stride);
}
void fakeDraw(BoxPtr box, uint8_t *pixels, int stride, int alu, uint32_t pm, DrawablePtr) {
    ref::drawImage(*fakeMemory, *box, pixels, stride, alu, pm);
}
void fakeCopy(BoxPtr dst, DDXPointPtr src, int alu, uint32_t pm, DrawablePtr) {
    fakeCopies.push_back({*dst, *src});
    ref::copyRect(*fakeMemory, *dst, *src, alu, pm);
}
void fakeDownload(uint8_t **, int, int, int, int, int slot, ScreenPtr) {
    fakeCopies.push_back({{0, 0, 0, 0}, {static_cast<int16_t>(slot), 0}});
}

struct Format {
    int bytesPerPixel, depth, bitsPerPixel;
};

class GenericRoutines : public ::testing::TestWithParam<Format> {
  protected:
    static constexpr int W = 40, H = 24;
    void SetUp() override {
        Format f = GetParam();
        memory = ref::Canvas(W, H, f.bytesPerPixel, f.depth);
        std::mt19937 rng(7);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                memory.put(x, y, rng() & memory.pixelMask());
        fakeMemory = &memory;
        fakeCopies.clear();
        s = server::createScreen(0);
        ASSERT_TRUE(nfbScreenInit(s, W, H, 300, 300));
        ops.ReadImage = fakeRead;
        ops.DrawImage = fakeDraw;
        ops.CopyRect = fakeCopy;
        w = server::createWindow(s, 0, 0, W, H, f.depth, f.bitsPerPixel);
        NFB_WINDOW_PRIV(w)->ops = &ops;
        server::clearGenCalls();
    }
    void TearDown() override {
        server::destroyWindow(w);
        server::destroyScreen(s);
    }
    GCPtr gc(int alu, uint32_t planemask, Pixel fg) {
        GCPtr g = server::createGC(s, GetParam().depth);
        g->alu = static_cast<uint8_t>(alu);
        g->planemask = planemask;
        g->fgPixel = fg;
        nfbHelpValidateGC(g, ~0u, &w->drawable);
        return g;
    }
    void expectSame(const ref::Canvas &want) {
        ref::Diff d = ref::compare(want, memory);
        EXPECT_EQ(d.count, 0) << d.describe();
    }
    ref::Canvas memory;
    WinOps ops{};
    ScreenPtr s = nullptr;
    WindowPtr w = nullptr;
};

TEST_P(GenericRoutines, SolidFillDrawsThroughTheWindowAndLogsItsArguments) {
    GCPtr g = gc(GXxor, 0x5F5F5F5F, 0xA5C3E1);
    // The second box reaches past the screen's edge.
    BoxRec boxes[] = {{2, 3, 12, 9}, {30, 20, 60, 40}};
    ref::Canvas want = memory;
    ref::GCValues v;
    v.alu = GXxor;
    v.planemask = 0x5F5F5F5F;
    v.fg = 0xA5C3E1;
    ref::fillRects(want, v, boxes, 2);
    genSolidFillRects(g, &w->drawable, boxes, 2);
    expectSame(want);
    ASSERT_EQ(server::genCalls().size(), 1u);
    const server::GenCall &c = server::genCalls()[0];
    EXPECT_EQ(c.routine, "genSolidFillRects");
    EXPECT_EQ(c.args, (std::vector<uint64_t>{arg(g), arg(&w->drawable), arg(boxes), arg(2)}));
    server::destroyGC(g);
}

TEST_P(GenericRoutines, OverlappingCopyAndSegments) {
    ref::Canvas want = memory;
    BoxRec dst = {5, 4, 25, 14};
    DDXPointRec src = {8, 6};
    ref::copyRect(want, dst, src, GXcopy, ~0u);
    genCopyRect(&dst, &src, GXcopy, ~0u, &w->drawable);
    expectSame(want);

    GCPtr g = gc(GXcopy, ~0u, 3);
    ZeroSegRec segs[] = {{1, 1, 1, 1, 0, 12, -1, 2, -4}, {30, 20, -1, -1, 1, 9, 0, 3, -5}};
    ref::GCValues v;
    v.fg = 3;
    ref::zeroSegs(want, v, segs, 2);
    genSolidZeroSegs(g, &w->drawable, segs, 2);
    expectSame(want);

    ref::zeroSeg(want, v, 1, -1, 0, 3, 20, 1, -2, 4, 7);
    genSolidZeroSeg(g, &w->drawable, 1, -1, 0, 3, 20, 1, -2, 4, 7);
    expectSame(want);
    std::vector<server::GenCall> one = server::genCallsOf("genSolidZeroSeg");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].args,
              (std::vector<uint64_t>{arg(g), arg(&w->drawable), arg(1), arg(-1), arg(0), arg(3),
                                     arg(20), arg(1), arg(-2), arg(4), arg(7)}));
    server::destroyGC(g);
}

TEST_P(GenericRoutines, ReplicateAreaDoublesTheCellThroughCopyRect) {
    ref::Canvas want = memory;
    BoxRec box = {3, 2, 3 + 27, 2 + 19};
    ref::replicateArea(want, box, 4, 3, ~0u);
    nfbReplicateArea(&box, 4, 3, ~0u, &w->drawable);
    expectSame(want);
    // Filled width 4 -> 8 -> 16 -> 27 in three copies, height 3 -> 6 -> 12 -> 19 in three more.
    ASSERT_EQ(fakeCopies.size(), 6u);
    EXPECT_EQ(fakeCopies[0].first.x1, 7);
    EXPECT_EQ(fakeCopies[0].first.x2, 11);
    EXPECT_EQ(fakeCopies[2].first.x2, 30);
    EXPECT_EQ(fakeCopies[5].first.y2, 21);
    for (auto &[d, src] : fakeCopies) {
        EXPECT_EQ(src.x, 3);
        EXPECT_EQ(src.y, 2);
    }

    // An empty cell cannot be widened: nothing is copied (rather than
    // doubling a width of 0 forever), and an empty box is left alone.
    fakeCopies.clear();
    nfbReplicateArea(&box, 0, 3, ~0u, &w->drawable);
    nfbReplicateArea(&box, 4, 0, ~0u, &w->drawable);
    BoxRec empty = {5, 5, 5, 9};
    nfbReplicateArea(&empty, 1, 1, ~0u, &w->drawable);
    EXPECT_TRUE(fakeCopies.empty());
    expectSame(want);
}

TEST_P(GenericRoutines, TextFromTheFontDownloadedIntoASlot) {
    nfbInitializeText8(s, 2, 8, 10, fakeDownload, 0);
    auto font = harness::Font::random(6, 9, 128, 3);
    int slot = server::text8SlotFor(s, &font->info);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(server::text8SlotFor(s, &font->info), 0); // downloaded once
    EXPECT_EQ(fakeCopies.size(), 1u);
    auto tall = harness::Font::random(6, 11, 128, 4);
    EXPECT_EQ(server::text8SlotFor(s, &tall->info), -1); // no cell holds it

    ref::Canvas want = memory;
    BoxRec box = {4, 5, 4 + 5 * 6, 5 + 9};
    uint8_t text[] = "Hello";
    ref::drawFontText(want, box, text, 5, font->info, 1, 2, GXcopy, ~0u, false);
    genWinOp10(&box, text, 5, 6, slot, 1, 2, GXcopy, ~0u, 0, &w->drawable);
    expectSame(want);

    nfbCloseText8(s);
    nfbCloseText8(s); // twice, and on a screen without slots
    EXPECT_EQ(server::text8SlotFor(s, &font->info), -1);
}

INSTANTIATE_TEST_SUITE_P(PixelSizes, GenericRoutines,
                         ::testing::Values(Format{1, 8, 8}, Format{2, 16, 16}, Format{3, 24, 24},
                                           Format{4, 24, 32}),
                         [](const auto &info) {
                             return "Bpp" + std::to_string(info.param.bytesPerPixel);
                         });

} // namespace

namespace {

// ======================= the harness on a real driver =======================

TEST(Harness, DrivesADriverThroughTwoGenerations) {
    harness::Screen s("brisko8", harness::loadConfig("cirrus/gd5436/gd5480.graf"),
                      {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    EXPECT_EQ(s.width(), 1024);
    s.fillRandom(5);
    GCPtr gc = s.createGC({.alu = GXxor, .fg = 0x5A});
    s.fillRects(gc, {{10, 10, 50, 20}, {1000, 700, 1024, 768}});
    s.copyRect({100, 100, 180, 140}, {90, 95});
    s.drawPoints({{0, 0}, {1023, 767}}, 0x33, GXor);
    auto font = harness::Font::random(8, 14, 256, 9);
    s.drawText({200, 300, 200 + 5 * 8, 314}, "fonts", *font, 1, 2);
    EXPECT_SCREEN_SAME(s);
    s.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    ASSERT_TRUE(s.nextGeneration()) << s.failureText();
    EXPECT_SCREEN_SAME(s);
}

} // namespace
