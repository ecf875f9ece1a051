// The ct hardware cursor of the 65548 and 6430x builds and its four-slot
// cache: what the chip shows (from the adapter model) against the X cursor
// after every step, the image as the chip takes it, position, colours, the
// console switch, blanking and the fallbacks to the server's cursor.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ct_fixture.h"

namespace {

using namespace cttest;
using CursorPixel = sim::CtAdapter::CursorPixel;

// A cursor of random foreground, background and transparent pixels.
std::unique_ptr<harness::Cursor> randomCursor(int w, int h, uint32_t seed, int xhot = 0,
                                              int yhot = 0) {
    std::mt19937 rng(seed);
    std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
    for (std::string &r : rows)
        for (char &c : r)
            c = "FB."[rng() % 3];
    return harness::makeCursor(rows, xhot, yhot);
}

class CursorFixture : public ::testing::Test {
  protected:
    void startBuild(const Build &build, std::vector<std::string> args = {}) {
        b = build;
        s = std::make_unique<harness::Screen>(b.driver, ctConfig(b), options(std::move(args)));
        ASSERT_TRUE(s->start()) << s->failureText();
        server::clearErrorMessages();
    }
    void TearDown() override {
        if (!s)
            return;
        for (auto &c : cursors)
            if (c->rec.devPriv[0])
                s->unrealizeCursor(c->ptr());
        s->freeScreen();
        EXPECT_EQ(server::errorMessages(), std::vector<std::string>{});
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
    harness::Cursor *add(std::unique_ptr<harness::Cursor> c) {
        cursors.push_back(std::move(c));
        EXPECT_TRUE(s->realizeCursor(cursors.back()->ptr()));
        return cursors.back().get();
    }
    sim::CtAdapter &ct() { return ctOf(*s); }
    int shownSlot() { return int(ct().cursorReg(8) >> 2) & 3; }
    // The chip shows `c` with its hot spot at (x, y): every position of the
    // 64 x 64 square the image can cover, and around it.
    void expectShown(const harness::Cursor &c, int x, int y) {
        const CursorBits &bits = c.bits;
        int left = x - bits.xhot, top = y - bits.yhot;
        int wrong = 0;
        for (int sy = top - 2; sy < top + 66; sy++)
            for (int sx = left - 2; sx < left + 66; sx++) {
                int cx = sx - left, cy = sy - top;
                CursorPixel want = CursorPixel::Transparent;
                if (cx >= 0 && cy >= 0 && cx < bits.width && cy < bits.height) {
                    int k = cy * c.stride + cx / 8, bit = 1 << (cx % 8);
                    if (c.mask[size_t(k)] & bit)
                        want = c.source[size_t(k)] & bit ? CursorPixel::Foreground
                                                         : CursorPixel::Background;
                }
                if (ct().cursorAt(sx, sy) != want && wrong++ < 3)
                    ADD_FAILURE() << "cursor pixel " << cx << "," << cy << " shows "
                                  << int(ct().cursorAt(sx, sy)) << ", not " << int(want);
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(ct().cursorOn());
        EXPECT_EQ(ct().cursorSize(), bits.width > 32 || bits.height > 32 ? 64 : 32);
    }

    Build b;
    std::unique_ptr<harness::Screen> s;
    std::vector<std::unique_ptr<harness::Cursor>> cursors;
};

class CtCursor : public CursorFixture, public ::testing::WithParamInterface<Build> {
  protected:
    void start(std::vector<std::string> args = {}) { startBuild(GetParam(), std::move(args)); }
};

struct CacheStep {
    int cursor; // index into the case's cursors
    int slot;   // the slot shown after SetCursor
};

struct CacheCase {
    const char *name;
    std::vector<std::pair<int, int>> sizes; // the cursors' widths and heights
    std::vector<CacheStep> steps;
};

void PrintTo(const CacheCase &c, std::ostream *os) {
    *os << c.name;
}

const CacheCase kCacheCases[] = {
    // The fifth takes the first's slot (the smallest stamp); the first again
    // then takes the second's.
    {"fiveCursors",
     {{32, 32}, {20, 13}, {32, 7}, {5, 32}, {31, 31}},
     {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {0, 1}, {2, 2}}},
    // 33 x 20 is a 64 x 64 cursor: it empties the cache, so the small ones
    // load again from slot 0.
    {"wideCursorEmptiesTheCache",
     {{32, 32}, {16, 16}, {33, 20}},
     {{0, 0}, {1, 1}, {2, 0}, {1, 0}, {0, 1}}},
    // A 32 x 32 cursor after a 64 x 64 one takes its store; the 64 x 64 one
    // loads again at its own size.
    {"largeSmallLarge", {{64, 64}, {32, 32}}, {{0, 0}, {1, 0}, {0, 0}, {1, 0}}},
};

class CtCursorCache : public CursorFixture,
                      public ::testing::WithParamInterface<std::tuple<Build, CacheCase>> {};

TEST_P(CtCursorCache, ShownCursorAfterEveryStep) {
    const auto &[build, c] = GetParam();
    startBuild(build);
    std::vector<harness::Cursor *> cs;
    uint32_t seed = 3;
    for (const auto &[w, h] : c.sizes)
        cs.push_back(add(randomCursor(w, h, seed++, w / 3, h / 4)));
    int x = 10, y = 5;
    for (size_t i = 0; i < c.steps.size(); i++) {
        SCOPED_TRACE("step " + std::to_string(i));
        const CacheStep &st = c.steps[i];
        s->setCursor(cs[size_t(st.cursor)]->ptr(), x, y);
        EXPECT_EQ(shownSlot(), st.slot);
        expectShown(*cs[size_t(st.cursor)], x, y);
        x += 3;
        y += 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, CtCursorCache,
                         ::testing::Combine(::testing::Values(kBelki16, kCordo8),
                                            ::testing::ValuesIn(kCacheCases)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).driver) + "_" +
                                    std::get<1>(info.param).name;
                         });

// The image as the chip takes it: AND = not mask, XOR = mask and not
// source, the leftmost pixel in bit 7; on the 65548 as byte pairs in the
// store (slot s at 256 s), on the 6430x as port words, AND plane first.
TEST_P(CtCursor, ImageBytesAsTheChipTakesThem) {
    start();
    for (int side : {32, 64}) {
        SCOPED_TRACE(side);
        harness::Cursor *c = add(randomCursor(side == 32 ? 30 : 50, side == 32 ? 9 : 40, 7));
        std::vector<uint8_t> andPlane(size_t(side * side / 8), 0xFF),
            xorPlane(size_t(side * side / 8), 0);
        for (int y = 0; y < c->bits.height; y++)
            for (int x = 0; x < c->bits.width; x++) {
                int k = y * c->stride + x / 8, bit = 1 << (x % 8);
                size_t at = size_t(y * side / 8 + x / 8);
                uint8_t chip = uint8_t(0x80 >> (x % 8));
                if (c->mask[size_t(k)] & bit) {
                    andPlane[at] &= uint8_t(~chip);
                    if (!(c->source[size_t(k)] & bit))
                        xorPlane[at] |= chip;
                }
            }
        ct().clearCursorDataWords();
        s->setCursor(c->ptr(), 40, 20);
        if (b.chip == sim::CtChip::C6430x) {
            std::vector<uint32_t> want;
            for (const auto *plane : {&andPlane, &xorPlane})
                for (size_t i = 0; i < plane->size(); i += 4)
                    want.push_back(uint32_t((*plane)[i]) | uint32_t((*plane)[i + 1]) << 8 |
                                   uint32_t((*plane)[i + 2]) << 16 |
                                   uint32_t((*plane)[i + 3]) << 24);
            EXPECT_EQ(ct().cursorDataWords(), want);
        } else {
            const uint8_t *store = s->adapter()->vram()->data() + ct().cursorReg(12);
            ASSERT_EQ(ct().cursorReg(12) % 1024, 0u);
            std::vector<uint8_t> got(store, store + 2 * andPlane.size()), want;
            for (size_t i = 0; i < andPlane.size(); i++) {
                want.push_back(andPlane[i]);
                want.push_back(xorPlane[i]);
            }
            EXPECT_EQ(got, want);
        }
    }
}

// The position is the image's top-left corner in sign and magnitude: a hot
// spot 3 pixels right of the pointer gives 0x8003.
TEST_P(CtCursor, MoveCursorInSignAndMagnitude) {
    start();
    harness::Cursor *c = add(randomCursor(16, 16, 2, 3, 12));
    s->setCursor(c->ptr(), 0, 10);
    EXPECT_EQ(ct().cursorReg(11), 0x80028003u);
    s->moveCursor(30, 5);
    EXPECT_EQ(ct().cursorReg(11), 0x8007001Bu);
    expectShown(*c, 30, 5);
}

TEST_P(CtCursor, ColoursThroughRecolorCursor) {
    start();
    EXPECT_EQ(s->screen()->RecolorCursor != nullptr, true);
    harness::Cursor *c = add(randomCursor(8, 8, 1));
    c->rec.foreRed = 0xF800;
    c->rec.foreGreen = 0x0400;
    c->rec.foreBlue = 0x1234;
    c->rec.backRed = 0x0800;
    c->rec.backGreen = 0xFFFF;
    c->rec.backBlue = 0x8000;
    s->setCursor(c->ptr(), 4, 4);
    uint32_t dr09 = ct().cursorReg(9), dr0a = ct().cursorReg(10);
    if (b.chip == sim::CtChip::C65548) {
        EXPECT_EQ(dr09,
                  uint32_t(0x01 << 27 | 0x3F << 21 | 0x10 << 16 | 0x1F << 11 | 0x01 << 5 | 0x02));
    } else {
        EXPECT_EQ(dr09, 0x08FF80u);
        EXPECT_EQ(dr0a, 0xF80412u);
    }
    // Not displayed: nothing written.
    c->rec.backRed = 0xFFFF;
    s->recolorCursor(c->ptr(), 0);
    EXPECT_EQ(ct().cursorReg(9), dr09);
    s->recolorCursor(c->ptr(), 1);
    EXPECT_NE(ct().cursorReg(9), dr09);
}

TEST_P(CtCursor, UnrealizeHidesTheCurrentAndKeepsAReferencedCursor) {
    start();
    harness::Cursor *kept = add(randomCursor(10, 10, 4));
    harness::Cursor *shown = add(randomCursor(12, 12, 5));
    s->setCursor(kept->ptr(), 20, 10);
    s->setCursor(shown->ptr(), 20, 10);
    // Still referenced: the server would not free it yet.
    kept->rec.refcnt = 1;
    Bool r = 1;
    s->call("UnrealizeCursor",
            [&] { r = s->pointer()->UnrealizeCursor(s->screen(), kept->ptr()); });
    EXPECT_FALSE(r);
    EXPECT_NE(kept->rec.devPriv[0], nullptr);
    expectShown(*shown, 20, 10);
    EXPECT_TRUE(s->unrealizeCursor(shown->ptr()));
    EXPECT_FALSE(ct().cursorOn());
    EXPECT_EQ(shown->rec.devPriv[0], nullptr);
    // The kept cursor is still in its slot: selecting it loads nothing.
    ct().clearCursorDataWords();
    s->setCursor(kept->ptr(), 20, 10);
    EXPECT_EQ(shownSlot(), 0);
    EXPECT_TRUE(ct().cursorDataWords().empty());
    expectShown(*kept, 20, 10);
}

// The console switch empties the cache and turns the cursor off; given back,
// the cursor is on again and the next SetCursor loads its image anew.
// Blanking turns it off and on and keeps the cache.
TEST_P(CtCursor, SwitchEmptiesTheCacheAndBlankingKeepsIt) {
    start();
    harness::Cursor *a = add(randomCursor(32, 32, 8));
    harness::Cursor *c = add(randomCursor(32, 32, 9));
    s->setCursor(a->ptr(), 10, 10);
    s->setCursor(c->ptr(), 10, 10);
    EXPECT_EQ(shownSlot(), 1);
    s->blankScreen(true);
    EXPECT_FALSE(ct().cursorOn());
    s->blankScreen(false);
    EXPECT_TRUE(ct().cursorOn());
    ct().clearCursorDataWords();
    s->setCursor(a->ptr(), 10, 10);
    EXPECT_EQ(shownSlot(), 0) << "still loaded after blanking";
    EXPECT_TRUE(ct().cursorDataWords().empty());
    s->switchAway();
    EXPECT_FALSE(ct().cursorOn());
    s->switchBack();
    EXPECT_TRUE(ct().cursorOn());
    s->setCursor(c->ptr(), 12, 10);
    EXPECT_EQ(shownSlot(), 0) << "loaded again into the emptied cache";
    if (b.chip == sim::CtChip::C6430x) {
        EXPECT_EQ(ct().cursorDataWords().size(), 64u);
    }
    expectShown(*c, 12, 10);
}

// "-swcurs": the server draws the cursor and the cursor hooks stay silent.
TEST_P(CtCursor, SoftwareCursorOption) {
    start({"-swcurs"});
    EXPECT_TRUE(s->registered().swCursor);
    EXPECT_EQ(s->pointer(), nullptr);
    s->blankScreen(true);
    s->blankScreen(false);
    s->switchAway();
    s->switchBack();
    EXPECT_EQ(ct().cursorReg(8), 0u);
    EXPECT_FALSE(ct().cursorOn());
}

INSTANTIATE_TEST_SUITE_P(Builds, CtCursor, ::testing::Values(kBelki16, kBelki8, kCordo16, kCordo8),
                         buildName);

// The 65550 builds start with the server's cursor; the 65548 falls back to it
// when the heap has no room for the image store.
TEST(CtCursorFallback, ServerCursorWithoutTheHardwareOne) {
    for (const Build &b : {kJorra16, kBelki16}) {
        SCOPED_TRACE(b.driver);
        // belki16: 640 x 816 of 1 MB leaves 2,048 pixels, less than the
        // store's chunk once the plane-mask patterns have theirs.
        graf::Config cfg = b.chip == sim::CtChip::C65548 ? ctConfig(b, 640, 816) : ctConfig(b);
        harness::Screen s(b.driver, cfg, options());
        server::clearErrorMessages();
        ASSERT_TRUE(s.start()) << s.failureText();
        // The heap says it had no room; nothing else goes wrong.
        const std::vector<std::string> said = server::errorMessages();
        EXPECT_EQ(said.size(), b.chip == sim::CtChip::C65548 ? 1u : 0u);
        if (!said.empty()) {
            EXPECT_EQ(said[0].rfind("ctOnboardAlloc(): out of space: 32 x 64", 0), 0u) << said[0];
        }
        EXPECT_TRUE(s.registered().swCursor);
        EXPECT_EQ(s.pointer(), nullptr);
        s.freeScreen();
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

} // namespace
