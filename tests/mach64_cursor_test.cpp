// The Mach64 hardware cursor, reached as the server would reach it: through
// the exported CursorInitialize (Init itself asks for the software cursor).
// The image the engine writes into off-screen memory and the sprite the
// board shows from it, the position and offset registers, both colour paths,
// hiding, the shared-bits rule, and the whole image line on a screen
// narrower than it.
#include <dlfcn.h>

#include "mach64_fixture.h"

namespace m64test {
namespace {

using CursorPixel = sim::Mach64Adapter::CursorPixel;
using Rgb = sim::Mach64Adapter::Rgb;

struct CursorCase {
    Build build;
    int depth;
};

std::string cursorCaseName(const testing::TestParamInfo<CursorCase> &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
}

std::string prefix(const Build &b) {
    return std::string(b.driver) == "tesk" ? "TESK" : b.driver;
}

// An asymmetric cursor: 10 x 5, hot spot (2, 1).
const std::vector<std::string> kArrow = {
    "FFFFFFFFBB", "F........B", "FBF.......", "F..B......", "FFFFF.....",
};

CursorPixel expectedPixel(char c) {
    return c == 'F'   ? CursorPixel::Foreground
           : c == 'B' ? CursorPixel::Background
                      : CursorPixel::Transparent;
}

// The 1024 image bytes: rows right-aligned, four pixels a byte, the first
// in the low bits; codes 0 background, 1 foreground, 2 transparent.
std::vector<uint8_t> expectedImage(const std::vector<std::string> &rows) {
    std::vector<uint8_t> img(1024, 0xAA);
    int w = 0;
    for (const std::string &r : rows)
        w = std::max(w, int(r.size()));
    w = std::min(w, 64);
    for (int r = 0; r < std::min(int(rows.size()), 64); r++)
        for (int k = 0; k < w; k++) {
            char c = k < int(rows[size_t(r)].size()) ? rows[size_t(r)][size_t(k)] : '.';
            int code = c == 'F' ? 1 : c == 'B' ? 0 : 2;
            int at = 64 - w + k;
            uint8_t &byte = img[size_t(r * 16 + at / 4)];
            byte = uint8_t((byte & ~(3 << (2 * (at % 4)))) | code << (2 * (at % 4)));
        }
    return img;
}

class Mach64Cursor : public testing::TestWithParam<CursorCase> {
  protected:
    void start(graf::Config cfg) {
        s = std::make_unique<harness::Screen>(GetParam().build.driver, cfg, quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        EXPECT_TRUE(s->registered().swCursor);
        void *lib =
            dlopen(harness::driverPath(GetParam().build.driver).c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(lib, nullptr);
        std::string name = prefix(GetParam().build) + "CursorInitialize";
        auto init = reinterpret_cast<Bool (*)(ScreenPtr)>(dlsym(lib, name.c_str()));
        dlclose(lib);
        ASSERT_NE(init, nullptr) << name;
        Bool r = 0;
        ASSERT_TRUE(s->call("CursorInitialize", [&] { r = init(s->screen()); }));
        EXPECT_EQ(r, 1);
        ASSERT_NE(s->pointer(), nullptr);
        EXPECT_EQ(s->registered().pointerArgs, std::vector<int>{1});
    }
    void start() { start(m64Config(GetParam().build, GetParam().depth)); }
    sim::Mach64Adapter &board() { return boardOf(*s); }
    // The cursor's registers written since the trace was cleared.
    std::vector<RegWrite> cursorWrites() {
        teskScreenPrivate &p = privateOf(*s);
        std::string area = p.aperture ? "APERTURE" : "REGS";
        uint32_t offset =
            p.aperture ? uint32_t(reinterpret_cast<uint8_t *>(p.regs) - p.aperture) : 0xFC00u;
        std::vector<RegWrite> out;
        for (const RegWrite &w : registerWrites(*s, offset, area))
            if ((w.index >= CUR_CLR0 && w.index <= CUR_HORZ_VERT_OFF) || w.index == GEN_TEST_CNTL)
                out.push_back(w);
        return out;
    }
    std::unique_ptr<harness::Screen> s;
};

// The image the engine wrote, the sprite over the screen, at every depth:
// source bits under a clear mask stay transparent.
TEST_P(Mach64Cursor, ImageAndSpriteOfAnAsymmetricCursor) {
    start();
    auto c = harness::makeCursor(kArrow, 2, 1, 0xFFFF, 0, 0, 0, 0, 0xFFFF);
    for (size_t i = 0; i < c->source.size(); i++)
        c->source[i] = uint8_t(c->source[i] | ~c->mask[i]);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 50, 6);
    s->drain();

    const teskScreenPrivate &p = privateOf(*s);
    uint32_t at = uint32_t(p.height) * uint32_t(p.width) * uint32_t(s->bytesPerPixel());
    ASSERT_EQ(board().cursorImageOffset(), at);
    const uint8_t *vram = board().vram()->data();
    EXPECT_EQ(std::vector<uint8_t>(vram + at, vram + at + 1024), expectedImage(kArrow));

    EXPECT_TRUE(board().cursorShown());
    EXPECT_EQ(board().cursorX(), 48);
    EXPECT_EQ(board().cursorY(), 5);
    for (int y = 3; y < 12; y++)
        for (int x = 45; x < 62; x++) {
            int k = x - 48, r = y - 5;
            CursorPixel want = k >= 0 && k < 10 && r >= 0 && r < 5
                                   ? expectedPixel(kArrow[size_t(r)][size_t(k)])
                                   : CursorPixel::Transparent;
            EXPECT_EQ(board().cursorAt(x, y), want) << x << ", " << y;
        }
    // The scissors are the screen's again, and the screen is untouched.
    EXPECT_EQ(board().reg(SC_LEFT_RIGHT), p.shadowScissorX);
    EXPECT_EQ(board().reg(SC_TOP_BOTTOM), p.shadowScissorY);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Cursor,
                         testing::Values(CursorCase{kTesk, 8}, CursorCase{kVandu, 8},
                                         CursorCase{kMerro, 8}, CursorCase{kTesk, 16},
                                         CursorCase{kVandu, 32}, CursorCase{kMerro, 16}),
                         cursorCaseName);

class Mach64CursorRegs : public Mach64Cursor {};

// A 16 x 16 cursor with its hot spot at (8, 8) moved to (3, 100): position
// (0, 92), offsets (48, 48).
TEST_P(Mach64CursorRegs, PositionWithTheHotSpotFloored) {
    start();
    std::vector<std::string> rows(16, std::string(16, 'F'));
    auto c = harness::makeCursor(rows, 8, 8);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 20, 20);
    s->machine().clearTrace();
    s->moveCursor(3, 100);
    std::vector<RegWrite> w = cursorWrites();
    const teskScreenPrivate &p = privateOf(*s);
    uint32_t offset = uint32_t(p.height * p.width / 8);
    EXPECT_EQ(w, (std::vector<RegWrite>{{CUR_HORZ_VERT_OFF, 48u << 16 | 48u},
                                        {CUR_OFFSET, offset},
                                        {CUR_HORZ_VERT_POSN, 92u << 16}}))
        << show(w);
    EXPECT_EQ(board().cursorAt(0, 92), CursorPixel::Foreground);
    EXPECT_EQ(board().cursorAt(15, 107), CursorPixel::Foreground);
    EXPECT_EQ(board().cursorAt(16, 92), CursorPixel::Transparent);
    EXPECT_EQ(board().cursorAt(0, 108), CursorPixel::Transparent);
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
}

// Hidden by a null cursor or x -1; a move before any cursor was set does
// nothing, a later one places the last cursor without showing it.
TEST_P(Mach64CursorRegs, HiddenThroughLaterMoves) {
    start();
    s->machine().clearTrace();
    s->setCursor(nullptr, 10, 10);
    s->moveCursor(10, 10);
    std::vector<RegWrite> w = cursorWrites();
    ASSERT_EQ(w.size(), 1u) << show(w);
    EXPECT_EQ(w[0].index, GEN_TEST_CNTL);
    EXPECT_FALSE(board().cursorShown());

    auto c = harness::makeCursor(kArrow, 2, 1);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 30, 8);
    EXPECT_TRUE(board().cursorShown());
    s->setCursor(nullptr, 0, 0);
    EXPECT_FALSE(board().cursorShown());
    s->moveCursor(40, 12);
    EXPECT_FALSE(board().cursorShown());
    EXPECT_EQ(board().reg(CUR_HORZ_VERT_POSN), 11u << 16 | 38u);
    EXPECT_EQ(board().cursorAt(38, 11), CursorPixel::Transparent);

    s->setCursor(c->ptr(), 30, 8);
    s->moveCursor(-1, 8);
    EXPECT_FALSE(board().cursorShown());
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
}

// CUR_CLR0 and CUR_CLR1 take the high byte of each component; on a DAC of
// type 5 the six bytes go to the DAC's cursor colours instead, each after
// an empty message, and the palette keeps its entries.
TEST_P(Mach64CursorRegs, BothColourPaths) {
    for (int dacType : {0, 5}) {
        SCOPED_TRACE("DAC type " + std::to_string(dacType));
        graf::Config cfg = m64Config(GetParam().build);
        cfg.ints["DAC_TYPE"] = dacType;
        start(cfg);
        auto c = harness::makeCursor(kArrow, 0, 0, 0x1234, 0x5678, 0x9ABC, 0xFEDC, 0xBA98, 0x7654);
        ASSERT_TRUE(s->realizeCursor(c->ptr()));
        board().vga().dac.clearWrites();
        size_t before = emptyMessages();
        s->setCursor(c->ptr(), 5, 5);
        EXPECT_EQ(board().cursorColour(true), (Rgb{0x12, 0x56, 0x9A}));
        EXPECT_EQ(board().cursorColour(false), (Rgb{0xFE, 0xBA, 0x76}));
        if (dacType == 5) {
            EXPECT_EQ(board().reg(CUR_CLR0), 0u);
            EXPECT_EQ(board().reg(CUR_CLR1), 0u);
            EXPECT_FALSE(board().cursorColourSelect());
            EXPECT_TRUE(board().vga().dac.writes().empty());
            EXPECT_EQ(emptyMessages() - before, 7u);
        } else {
            EXPECT_EQ(board().reg(CUR_CLR0), 0xFEBA76FFu);
            EXPECT_EQ(board().reg(CUR_CLR1), 0x12569A00u);
            EXPECT_EQ(emptyMessages(), before);
        }
        EXPECT_TRUE(board().cursorShown());
        EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
        s.reset();
    }
}

// Bits shared by two cursors are realised once; the planes go with the last
// unrealise, and a move after that finds no cursor to place.
TEST_P(Mach64CursorRegs, SharedBitsAreRealisedOnce) {
    start();
    auto c = harness::makeCursor(kArrow, 0, 0);
    size_t blocks = server::liveBlockCount();
    c->bits.refcnt = 2;
    EXPECT_TRUE(s->realizeCursor(c->ptr()));
    EXPECT_EQ(c->bits.devPriv[0], nullptr);
    EXPECT_EQ(server::liveBlockCount(), blocks);
    c->bits.refcnt = 1;
    EXPECT_TRUE(s->realizeCursor(c->ptr()));
    EXPECT_NE(c->bits.devPriv[0], nullptr);
    EXPECT_EQ(server::liveBlockCount(), blocks + 3);
    s->setCursor(c->ptr(), 9, 9);
    c->bits.refcnt = 2;
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
    EXPECT_NE(c->bits.devPriv[0], nullptr);
    c->bits.refcnt = 1;
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
    EXPECT_EQ(c->bits.devPriv[0], nullptr);
    EXPECT_EQ(server::liveBlockCount(), blocks);
    s->machine().clearTrace();
    s->moveCursor(20, 20);
    EXPECT_TRUE(cursorWrites().empty()) << show(cursorWrites());
}

// A cursor larger than 64 x 64 shows its top-left 64 x 64 pixels.
TEST_P(Mach64CursorRegs, LargeCursorsShowTheirTopLeft) {
    start();
    std::vector<std::string> rows;
    for (int r = 0; r < 70; r++) {
        std::string row;
        for (int k = 0; k < 66; k++)
            row += (r * 7 + k * 3) % 5 == 0 ? '.' : (r + k) % 3 == 0 ? 'B' : 'F';
        rows.push_back(row);
    }
    auto c = harness::makeCursor(rows, 0, 0);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 0, 0);
    EXPECT_EQ(board().reg(CUR_HORZ_VERT_OFF), 0u);
    for (int r = 0; r < 64; r++)
        for (int k = 0; k < 64; k++)
            ASSERT_EQ(board().cursorImagePixel(k, r), expectedPixel(rows[size_t(r)][size_t(k)]))
                << k << ", " << r;
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
}

// At 640 x 480 x 8 the image line is 1024 pixels, longer than a screen line:
// its last rows lie right of the screen's last column and must be written.
TEST_P(Mach64CursorRegs, WholeImageLineOnANarrowScreen) {
    start(m64Config(GetParam().build, 8, 640, 480));
    std::vector<std::string> rows(64, std::string(64, 'B'));
    rows[63] = std::string(64, 'F');
    auto c = harness::makeCursor(rows, 0, 0);
    ASSERT_TRUE(s->realizeCursor(c->ptr()));
    s->setCursor(c->ptr(), 600, 400);
    for (int k = 0; k < 64; k++) {
        EXPECT_EQ(board().cursorImagePixel(k, 62), CursorPixel::Background) << k;
        EXPECT_EQ(board().cursorImagePixel(k, 63), CursorPixel::Foreground) << k;
    }
    EXPECT_EQ(board().cursorAt(663, 463), CursorPixel::Foreground);
    const teskScreenPrivate &p = privateOf(*s);
    EXPECT_EQ(board().reg(SC_LEFT_RIGHT), p.shadowScissorX);
    EXPECT_EQ(board().reg(SC_TOP_BOTTOM), p.shadowScissorY);
    EXPECT_TRUE(s->unrealizeCursor(c->ptr()));
}

INSTANTIATE_TEST_SUITE_P(All, Mach64CursorRegs,
                         testing::Values(CursorCase{kTesk, 8}, CursorCase{kVandu, 8},
                                         CursorCase{kMerro, 8}),
                         cursorCaseName);

} // namespace
} // namespace m64test
