// The ct on-board heap, the plane-mask patterns and the 8-bit colormap.
// The heap and the patterns have no window slot of their own: their
// sources are compiled into this program (the 16-bit 65548 build, in a
// namespace under a driver name of its own)
// and driven on a screen private over the simulated adapter's memory. What
// Init and FreeScreen make of them is tested through the libraries.
#include "driver.h" // before the sources below, so that they share the server's types

#include <string.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ct_fixture.h"

namespace h16 {
#define DRV_NAME inner16
#define CT_BUILD_BELKI16
#include "../portable/ct/ct_blt.cpp"
#include "../portable/ct/ct_heap.cpp"
#include "../portable/ct/ct_pattern.cpp"
int inner16ScreenPrivateIndex = 0;
#undef DRV_NAME
#undef CT_BUILD_BELKI16
} // namespace h16

namespace {

using namespace cttest;
using Messages = std::vector<std::string>;

// A screen private of the compiled-in 16-bit build over the adapter's
// memory, at the screen index the build reads it from.
class HeapUnit : public ::testing::Test {
  protected:
    void make(int width = 64, int height = 32, int memSize = 0x100000,
              std::vector<std::pair<std::string, int>> xr = {}) {
        graf::Config cfg = ctConfig(kBelki16, width, height);
        cfg.ints["MEMSIZE"] = memSize;
        for (const auto &[k, v] : xr)
            cfg.ints[k] = v;
        s = std::make_unique<harness::Screen>("belki16", cfg, options());
        sim::Machine::makeCurrent(&s->machine());
        h16::inner16ScreenPrivateIndex = AllocateScreenPrivateIndex();
        screen = server::createScreen(0);
        std::memset(&priv, 0, sizeof priv);
        priv.fbBase = ctOf(*s).memory();
        priv.fbSize = 0x100000;
        priv.width = priv.pitch = width;
        priv.height = height;
        priv.bytesPerPixel = 2;
        priv.stride = 2 * width;
        priv.allPlanes = 0xFFFF;
        screen->devPrivates[h16::inner16ScreenPrivateIndex].ptr = &priv;
    }
    void TearDown() override {
        if (screen) {
            h16::inner16OnboardClose(screen);
            server::destroyScreen(screen);
        }
    }
    h16::ctOnboardHeap *heap() { return priv.heap; }
    h16::ctOnboardChunk *alloc(int w, int h, int pitch = 0) {
        return h16::inner16OnboardAlloc(screen, w, h, pitch, "caller.cpp", 42);
    }
    void free(h16::ctOnboardChunk *c) { h16::inner16OnboardFree(screen, c, "caller.cpp", 43); }
    std::vector<h16::ctOnboardChunk *> chunks() {
        std::vector<h16::ctOnboardChunk *> out;
        for (h16::ctOnboardChunk *c = heap()->chunks; c; c = c->next)
            out.push_back(c);
        return out;
    }
    // The chunks tile the memory after the screen, in order, with their
    // offsets following their addresses.
    void expectTiled() {
        uint8_t *at = heap()->freeBase;
        uint64_t total = 0;
        h16::ctOnboardChunk *prev = nullptr;
        for (h16::ctOnboardChunk *c : chunks()) {
            ASSERT_EQ(c->prev, prev);
            ASSERT_EQ(c->vaddr, at);
            ASSERT_EQ(c->offset, c->vaddr - priv.fbBase);
            at += c->size * 2;
            total += c->size;
            prev = c;
        }
        ASSERT_EQ(total, heap()->freeSize);
    }

    std::unique_ptr<harness::Screen> s;
    ScreenPtr screen = nullptr;
    h16::ctScreenPrivate priv;
};

TEST_F(HeapUnit, RandomAllocationsFreesAndLocksKeepTheInvariants) {
    make();
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    const uint32_t available = h16::inner16OnboardAvailable(screen);
    EXPECT_EQ(available, 0x100000u / 2 - 64 * 32);
    std::mt19937 rng(7);
    std::vector<h16::ctOnboardChunk *> used;
    for (int step = 0; step < 600; step++) {
        SCOPED_TRACE("step " + std::to_string(step));
        int what = int(rng() % 10);
        if (what < 5) {
            int w = 1 + int(rng() % 64), h = 1 + int(rng() % 80);
            h16::ctOnboardChunk *c = alloc(w, h, w * 2);
            if (c) {
                EXPECT_EQ(c->size, uint32_t((w * h + 63) / 64 * 64));
                EXPECT_EQ(c->state, 2);
                EXPECT_EQ(c->pitchValue, w * 2);
                used.push_back(c);
            }
        } else if (what < 9 && !used.empty()) {
            size_t k = rng() % used.size();
            h16::ctOnboardChunk *c = used[k];
            uint8_t *where = c->vaddr;
            used.erase(used.begin() + long(k));
            free(c);
            // The free chunk now covering that memory has no free, unlocked
            // neighbour left to join.
            for (h16::ctOnboardChunk *f : chunks())
                if (f->vaddr <= where && where < f->vaddr + f->size * 2) {
                    EXPECT_EQ(f->state, 1);
                    EXPECT_FALSE(f->next && f->next->state == 1);
                    EXPECT_FALSE(f->prev && f->prev->state == 1);
                }
        } else {
            std::vector<h16::ctOnboardChunk *> all = chunks();
            // Locks on any chunk; unlocks only of used ones, which cannot
            // leave two free chunks side by side.
            h16::ctOnboardChunk *c = all[rng() % all.size()];
            if (!(c->state & 0x8))
                h16::inner16OnboardLock(c);
            else if (c->state != 9)
                h16::inner16OnboardUnlock(c);
        }
        expectTiled();
        EXPECT_EQ(h16::inner16OnboardAvailable(screen), available);
        if (HasFailure())
            break;
    }
    EXPECT_TRUE(server::errorMessages().size() <= 600u);
}

TEST_F(HeapUnit, SizesSplitsJoinsAndLocks) {
    make();
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    // 8 x 8 and 5 x 5 both take one granule of 64 pixels.
    h16::ctOnboardChunk *a = alloc(8, 8, 16);
    h16::ctOnboardChunk *b = alloc(5, 5);
    h16::ctOnboardChunk *c = alloc(8, 8);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->size, 64u);
    EXPECT_EQ(b->size, 64u);
    EXPECT_EQ(b->vaddr, a->vaddr + 128);
    EXPECT_EQ(h16::inner16OnboardOffset(a, 3, 2), a->offset + 6 + 32);
    EXPECT_EQ(h16::inner16OnboardVAddr(c), a->vaddr + 256);
    // Wider than a scan line: none, and nothing said.
    EXPECT_EQ(alloc(65, 1), nullptr);
    EXPECT_TRUE(server::errorMessages().empty());
    // The middle of three free chunks joins all three with the rest.
    free(a);
    free(c); // joins the rest after it
    EXPECT_EQ(chunks().size(), 3u);
    free(b);
    ASSERT_EQ(chunks().size(), 1u);
    EXPECT_EQ(chunks()[0]->size, heap()->freeSize);
    EXPECT_EQ(chunks()[0]->ownerLine, 0);
    // A locked free chunk is passed over and not joined.
    a = alloc(8, 8);
    b = alloc(8, 8);
    free(a);
    h16::inner16OnboardLock(chunks()[0]);
    c = alloc(8, 8);
    EXPECT_EQ(c->vaddr, b->vaddr + 128);
    free(b);
    EXPECT_EQ(chunks()[0]->state, 9);
    EXPECT_EQ(chunks()[1]->state, 1);
    // Freeing a locked used chunk unlocks it.
    h16::inner16OnboardLock(c);
    free(c);
    EXPECT_EQ(chunks().back()->state, 1);
    expectTiled();
}

TEST_F(HeapUnit, OutOfSpaceNamesTheCaller) {
    make(64, 32, 0x40000, {{"XR0F", 0}});
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    EXPECT_EQ(heap()->freeSize, 0x20000u - 2048);
    EXPECT_EQ(alloc(64, 2048), nullptr);
    EXPECT_EQ(server::errorMessages(),
              Messages{"ctOnboardAlloc(): out of space: 64 x 2048 from caller.cpp:42\n"});
}

// A second free, or a chunk of another heap, would tear the list: both are
// refused with one line and change nothing.
TEST_F(HeapUnit, DoubleAndForeignFreesChangeNothing) {
    make();
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    h16::ctOnboardChunk *a = alloc(8, 8);
    h16::ctOnboardChunk *b = alloc(8, 8);
    free(a);
    std::vector<h16::ctOnboardChunk> before;
    for (h16::ctOnboardChunk *c : chunks())
        before.push_back(*c);
    h16::ctOnboardChunk foreign = *b;
    server::clearErrorMessages();
    free(a);
    free(&foreign);
    EXPECT_EQ(server::errorMessages(),
              (Messages{"ctOnboardFree(): free of chunk not in use in this heap\n",
                        "ctOnboardFree(): free of chunk not in use in this heap\n"}));
    std::vector<h16::ctOnboardChunk *> after = chunks();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); i++)
        EXPECT_EQ(std::memcmp(after[i], &before[i], sizeof before[i]), 0) << i;
    free(b);
    EXPECT_EQ(chunks().size(), 1u);
}

TEST_F(HeapUnit, CloseReportsChunksInUseWithTheirOwners) {
    make();
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    h16::ctOnboardChunk *a = alloc(8, 8);
    alloc(16, 16);
    free(a);
    server::clearErrorMessages();
    h16::inner16OnboardClose(screen);
    ASSERT_EQ(server::errorMessages().size(), 1u);
    const std::string &line = server::errorMessages()[0];
    EXPECT_EQ(line.rfind("ctOnboardClose(): 0x", 0), 0u) << line;
    EXPECT_NE(line.find(" chunk not free: caller.cpp:42 size=256\n"), std::string::npos) << line;
    EXPECT_EQ(heap(), nullptr);
    // Without a heap: a free says so, a close says nothing.
    server::clearErrorMessages();
    free(a);
    h16::inner16OnboardClose(screen);
    EXPECT_EQ(server::errorMessages(), Messages{"ctOnboardFree(): free of chunk without heap\n"});
}

// The 16-bit pattern is rewritten only when the low 16 mask bits change.
TEST_F(HeapUnit, SixteenBitPatternFollowsTheMask) {
    make();
    ASSERT_TRUE(h16::inner16OnboardInit(screen));
    ASSERT_TRUE(h16::inner16MaskPatternInit(screen));
    h16::ctOnboardChunk *chunk = chunks()[0];
    EXPECT_EQ(chunk->pitchValue, 16);
    auto pattern = [&] {
        std::vector<uint16_t> p(64);
        std::memcpy(p.data(), chunk->vaddr, 128);
        return p;
    };
    EXPECT_EQ(pattern(), std::vector<uint16_t>(64, 0xFFFF));
    EXPECT_EQ(h16::inner16MaskPatternOffset(0x12345A5A), chunk->offset);
    EXPECT_EQ(pattern(), std::vector<uint16_t>(64, 0x5A5A));
    // Marked: an unchanged mask, or one changed above bit 15, writes nothing.
    std::memset(chunk->vaddr, 0, 2);
    h16::inner16MaskPatternOffset(0x5A5A);
    h16::inner16MaskPatternOffset(0xFFFF5A5A);
    EXPECT_EQ(pattern()[0], 0);
    h16::inner16MaskPatternOffset(0x0F0F);
    EXPECT_EQ(pattern(), std::vector<uint16_t>(64, 0x0F0F));
    h16::inner16MaskPatternClose(screen);
    EXPECT_EQ(h16::inner16MaskPatternOffset(0x1), 0);
    EXPECT_EQ(chunks().size(), 1u);
    EXPECT_EQ(chunks()[0]->state, 1);
}

// ---- through Init and FreeScreen ----

struct TooSmall {
    const char *name;
    Build build;
    int width, height;
    int memSize;    // MEMSIZE
    uint32_t area;  // MEMORY's length, 0 for the board's
    Messages lines; // the four messages
};

void PrintTo(const TooSmall &c, std::ostream *os) {
    *os << c.name;
}

const TooSmall kTooSmall[] = {
    {"c65548",
     kBelki16,
     1024,
     768,
     0x100000,
     0,
     {"memory_bits register = 0x2\n",
      "ctOnboardInit(): selected screen resolution requires more display memory\n",
      "ctOnboardInit(): present display memory = 1024Kb\n",
      "ctOnboardInit(): required display memory = 1536Kb\n"}},
    {"c65550",
     kJorra8,
     1024,
     1100,
     0x100000,
     0,
     {"memory_bits register = 0x0\n",
      "ctOnboardInit(): selected screen resolution requires more display memory\n",
      "ctOnboardInit(): present display memory = 1024Kb\n",
      "ctOnboardInit(): required display memory = 1100Kb\n"}},
    // A mapping shorter than the memory installed: the heap reaches only
    // what is mapped, and the screen must lie in it.
    {"shortArea6430x",
     kCordo16,
     640,
     480,
     0x100000,
     0x80000,
     {"memory_bits register = 0x1\n",
      "ctOnboardInit(): selected screen resolution requires more display memory\n",
      "ctOnboardInit(): present display memory = 512Kb\n",
      "ctOnboardInit(): required display memory = 600Kb\n"}},
};

class CtHeapTooSmall : public ::testing::TestWithParam<TooSmall> {};

TEST_P(CtHeapTooSmall, FailsInitWithTheFourMessages) {
    const TooSmall &c = GetParam();
    graf::Config cfg = ctConfig(c.build, c.width, c.height);
    cfg.ints["MEMSIZE"] = c.memSize;
    if (c.area)
        cfg.areas[0].length = c.area;
    harness::Screen s(c.build.driver, cfg, options());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(server::errorMessages(), c.lines);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boards, CtHeapTooSmall, ::testing::ValuesIn(kTooSmall),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(CtHeapInit, UnknownMemoryCodeTakes512KB) {
    graf::Config cfg = ctConfig(kBelki16, 640, 420);
    cfg.ints["XR0F"] = 3;
    harness::Screen s("belki16", cfg, options());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    EXPECT_EQ(
        server::errorMessages(),
        (Messages{"ctOnboardInit(): hardware memory configuration not recognized\n",
                  "ctOnboardInit(): assuming 1/2Mbyte installed\n", "memory_bits register = 0x3\n",
                  "ctOnboardInit(): selected screen resolution requires more display "
                  "memory\n",
                  "ctOnboardInit(): present display memory = 512Kb\n",
                  "ctOnboardInit(): required display memory = 525Kb\n"}));
    // 640 x 300 fits: the first chunk (the pattern's) starts after it.
    cfg.ints["PIXHEIGHT"] = 300;
    server::clearErrorMessages();
    harness::Screen fits("belki16", cfg, options());
    ASSERT_TRUE(fits.start()) << fits.failureText();
    EXPECT_EQ(server::errorMessages().size(), 2u);
}

// 1024 x 1010 at 8 bits on 1 MB leaves 14,336 pixels; the patterns need 16,384.
TEST(CtHeapInit, PatternsThatDoNotFitFailInit) {
    graf::Config cfg = ctConfig(kBelki8, 1024, 1010);
    harness::Screen s("belki8", cfg, options());
    ASSERT_TRUE(s.probe());
    EXPECT_FALSE(s.init());
    // The heap's own line, then Init's reason.
    ASSERT_EQ(server::errorMessages().size(), 2u);
    const std::string &line = server::errorMessages()[0];
    EXPECT_EQ(line.rfind("ctOnboardAlloc(): out of space: 64 x 256 from ", 0), 0u) << line;
    EXPECT_NE(line.find("ct_pattern.cpp:"), std::string::npos) << line;
    EXPECT_EQ(server::errorMessages()[1],
              "Init(): no room in video memory for the plane-mask patterns.\n");
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

class CtHeapBuilds : public ::testing::TestWithParam<Build> {};

// The heap and the patterns live from Init to FreeScreen, generation after
// generation, and leave nothing behind: no block and no chunk in use.
TEST_P(CtHeapBuilds, PatternsInEveryGenerationAndNothingLeft) {
    const Build &b = GetParam();
    harness::Screen s(b.driver, ctConfig(b), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    for (int generation = 0; generation < 2; generation++) {
        const uint8_t *after = ctOf(s).vram()->data() + 64 * 32 * (b.depth == 8 ? 1 : 2);
        if (b.depth == 8) {
            for (int m : {0, 1, 0x5A, 255}) {
                for (int i = 0; i < 64; i++)
                    ASSERT_EQ(after[m * 64 + i], m) << "pattern " << m << " byte " << i;
            }
        } else {
            for (int i = 0; i < 128; i++) {
                ASSERT_EQ(after[i], 0xFF) << i;
            }
        }
        if (generation == 0) {
            ASSERT_TRUE(s.nextGeneration()) << s.failureText();
        }
    }
    s.freeScreen();
    EXPECT_EQ(server::errorMessages(), Messages{});
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Builds, CtHeapBuilds, ::testing::ValuesIn(kBuilds), buildName);

// ---- the 8-bit colormap ----

struct ColourCase {
    Build build;
    int rgbBits;
    int index;
    uint16_t red, green, blue;
    uint8_t dac[3];
};

void PrintTo(const ColourCase &c, std::ostream *os) {
    *os << c.build.driver << " RGBBITS " << c.rgbBits << " entry " << c.index;
}

class CtSetColor : public ::testing::TestWithParam<ColourCase> {};

TEST_P(CtSetColor, ShiftsEachComponentToTheDac) {
    const ColourCase &c = GetParam();
    graf::Config cfg = ctConfig(c.build);
    cfg.ints["RGBBITS"] = c.rgbBits;
    harness::Screen s(c.build.driver, cfg, options());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::vga::Dac &dac = ctOf(s).vga().dac;
    dac.clearWrites();
    s.setColor(c.index, c.red, c.green, c.blue);
    ASSERT_EQ(dac.writes().size(), 1u);
    EXPECT_EQ(dac.writes()[0].index, c.index);
    EXPECT_EQ(dac.writes()[0].raw, (sim::vga::Dac::Entry{c.dac[0], c.dac[1], c.dac[2]}));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CtSetColor,
    ::testing::Values(ColourCase{kJorra8, 6, 0, 0xFFFF, 0x8000, 0x0400, {0x3F, 0x20, 0x01}},
                      ColourCase{kBelki8, 8, 255, 0xFFFF, 0x8000, 0x0400, {0xFF, 0x80, 0x04}},
                      ColourCase{kCordo8, 6, 255, 0x1234, 0xFFFF, 0, {0x04, 0x3F, 0}}),
    [](const auto &info) {
        return std::string(info.param.build.driver) + "Bits" + std::to_string(info.param.rgbBits);
    });

// Reloading the installed map after a console switch goes through the DAC.
TEST(CtColormap, RestoreGStateReloadsTheDac) {
    harness::Screen s("cordo8", ctConfig(kCordo8), options());
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    map->red[7].co.local = {0xFFFF, 0, 0x8000};
    s.installColormap(map);
    sim::vga::Dac &dac = ctOf(s).vga().dac;
    dac.setEntry(7, {});
    s.switchAway();
    s.switchBack();
    EXPECT_EQ(dac.entry(7), (sim::vga::Dac::Entry{0x3F, 0, 0x20}));
}

} // namespace
