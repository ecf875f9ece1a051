// garsk's tiles and images: hardware-pattern and staged tiles against the
// reference renderer, images through the linear frame buffer, the window and
// the engine under every alu and plane mask, the lines the devices hide in
// the linear frame buffer, and the window's separate read and write
// segments.
#include <dlfcn.h>

#include <random>
#include <string>
#include <vector>

#include "garsk_fixture.h"
#include "hwio.h"
#include "refrender.h"
#include "xalu.h"

namespace {

using namespace garsktest;

constexpr int kWidth = 128, kHeight = 64;

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// A tile of `stride`-byte rows whose last row ends the buffer.
std::vector<uint8_t> tileBytes(int w, int h, int stride, uint32_t seed) {
    return randomBytes(static_cast<size_t>(stride * (h - 1) + w), seed);
}

int patternWrapWrites(harness::Screen &s, uint32_t value) {
    int n = 0;
    for (const RegWrite &w : registerWrites(s))
        n += w.offset == 0x90 && w.value == value;
    return n;
}

class GarskImageBoards : public testing::TestWithParam<const char *> {
  protected:
    void start(int width = kWidth, int height = kHeight) {
        screen_ = std::make_unique<harness::Screen>("garsk", garskConfig(GetParam(), width, height),
                                                    strict());
        ASSERT_TRUE(screen_->start()) << screen_->failureText();
    }
    harness::Screen &s() { return *screen_; }
    std::unique_ptr<harness::Screen> screen_;
};

std::string boardName(const testing::TestParamInfo<const char *> &info) {
    return std::string(info.param) == kBankFile ? "Bank" : "Flat";
}

// ---- tiles ----

struct HardwareTile {
    int w, h, stride;
    uint32_t wrapCode;
};

// Boxes left of and above the pattern origin, across it and below it: the
// pattern's phase must hold in each.
const std::vector<BoxRec> kTileBoxes = {
    {2, 1, 45, 20}, {40, 25, 127, 63}, {60, 3, 61, 4}, {0, 40, 37, 63}, {70, 10, 100, 33}};
const DDXPointRec kOrigin = {50, 30};

TEST_P(GarskImageBoards, HardwareTilesKeepThePhaseOfTheOrigin) {
    start();
    const HardwareTile cases[] = {
        {32, 8, 32, 0x35}, {32, 8, 40, 0x35}, {4, 1, 4, 0x02}, {64, 2, 64, 0x16}, {8, 4, 12, 0x23}};
    uint32_t seed = 1;
    for (const HardwareTile &t : cases)
        for (int alu : {GXcopy, GXxor, GXorInverted}) {
            SCOPED_TRACE(std::to_string(t.w) + "x" + std::to_string(t.h) + " stride " +
                         std::to_string(t.stride) + " alu " + std::to_string(alu));
            server::clearGenCalls();
            s().fillRandom(seed);
            s().machine().clearTrace();
            s().tileRects(kTileBoxes, tileBytes(t.w, t.h, t.stride, seed++), t.stride, t.w, t.h,
                          kOrigin, alu, 0xFF);
            EXPECT_EQ(patternWrapWrites(s(), t.wrapCode), 1);
            EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
            EXPECT_SCREEN_SAME(s());
        }
}

struct StagedTile {
    const char *what;
    int w, h, alu;
    uint32_t mask;
    std::vector<BoxRec> boxes;
};

// Tiles the pattern hardware cannot take, drawn from a copy staged below the
// screen: boxes smaller than the staged area take one copy, larger ones are
// replicated (alus that ignore the destination) or banded.
TEST_P(GarskImageBoards, StagedTilesForOtherSizesAndPartialMasks) {
    start();
    const std::vector<BoxRec> mixed = {{3, 2, 20, 9}, {0, 0, 128, 64}, {70, 33, 101, 60}};
    const std::vector<BoxRec> large = {{1, 1, 127, 63}, {5, 6, 120, 50}};
    const StagedTile cases[] = {
        {"24 wide copy", 24, 8, GXcopy, 0xFF, mixed},
        {"24 wide set", 24, 5, GXcopyInverted, 0xFF, mixed},
        {"24 wide xor, banded", 24, 8, GXxor, 0xFF, large},
        {"invert, banded", 24, 3, GXinvert, 0xFF, large},
        {"32x8 partial mask", 32, 8, GXcopy, 0x0F, mixed},
        {"32x8 partial mask xor", 32, 8, GXxor, 0x3C, large},
        {"odd 13x7 and", 13, 7, GXand, 0xFF, mixed},
    };
    uint32_t seed = 40;
    for (const StagedTile &t : cases) {
        SCOPED_TRACE(t.what);
        server::clearGenCalls();
        s().fillRandom(seed);
        s().tileRects(t.boxes, tileBytes(t.w, t.h, t.w, seed++), t.w, t.w, t.h, kOrigin, t.alu,
                      t.mask);
        EXPECT_TRUE(server::genCallsOf("genTileRects").empty());
        EXPECT_SCREEN_SAME(s());
    }
}

TEST_P(GarskImageBoards, TilesStagingCannotServeGoToTheGenericRoutine) {
    start();
    struct Case {
        const char *what;
        int w, h, alu;
        std::vector<BoxRec> boxes;
    };
    const Case cases[] = {
        {"one GXcopy box", 24, 8, GXcopy, {{3, 2, 100, 60}}},
        {"wider than 512", 516, 2, GXxor, {{0, 0, 128, 10}, {5, 20, 50, 30}}},
        {"higher than 124", 8, 125, GXcopy, {{0, 0, 30, 64}, {40, 0, 128, 64}}},
    };
    uint32_t seed = 70;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        server::clearGenCalls();
        s().fillRandom(seed);
        s().tileRects(c.boxes, tileBytes(c.w, c.h, c.w, seed++), c.w, c.w, c.h, kOrigin, c.alu,
                      0xFF);
        EXPECT_EQ(server::genCallsOf("genTileRects").size(), 1u);
        EXPECT_SCREEN_SAME(s());
    }
}

// ---- images ----

// Every width the bus units treat apart, under alus and plane masks; the
// source rows are unpadded and its last row ends the buffer.
TEST_P(GarskImageBoards, ImagesEveryAluAndMaskAndReadBack) {
    start();
    uint32_t seed = 100;
    for (int w : {1, 2, 3, 4, 5, 7, 33})
        for (int alu : {GXcopy, GXxor, GXandInverted, GXset})
            for (uint32_t mask : {0xFFu, 0x0Fu}) {
                SCOPED_TRACE("w " + std::to_string(w) + " alu " + std::to_string(alu) + " mask " +
                             std::to_string(mask));
                s().fillRandom(seed);
                const int h = 5;
                const BoxRec box = {static_cast<int16_t>(3 + w % 5), 7,
                                    static_cast<int16_t>(3 + w % 5 + w), 7 + h};
                s().drawImage(box, randomBytes(static_cast<size_t>(w * h), seed++), w, alu, mask);
                EXPECT_SCREEN_SAME(s());
                const BoxRec around = {static_cast<int16_t>(box.x1 - 1), 6,
                                       static_cast<int16_t>(box.x2 + 1), 13};
                EXPECT_EQ(s().readImage(around, 40), s().expectedImage(around, 40));
            }
}

// The apertures and the register block lie over lines 96 to 127 of the
// linear frame buffer; images there go through the engine and aperture 2.
TEST_P(GarskImageBoards, ImagesOverTheLinesTheDevicesHide) {
    start(1024, 136);
    s().fillRandom(5);
    const BoxRec rows = {0, 90, 1024, 131};
    s().drawImage(rows, randomBytes(1024 * 41, 6), 1024);
    const BoxRec block = {700, 120, 1000, 130}; // line 127 from 768 is the register block
    s().drawImage(block, randomBytes(300 * 10, 7), 300, GXxor, 0xFF);
    EXPECT_SCREEN_SAME(s());
    const BoxRec back = {5, 88, 1019, 133};
    EXPECT_EQ(s().readImage(back), s().expectedImage(back));
    const BoxRec reg = {760, 127, 940, 128};
    EXPECT_EQ(s().readImage(reg), s().expectedImage(reg));
}

INSTANTIATE_TEST_SUITE_P(Boards, GarskImageBoards, testing::Values(kBankFile, kFlatFile),
                         boardName);

// ---- the banked window ----

// The lines the window reads show, in order, from the trace: each window
// read at the read segment the ports held at that moment.
std::vector<int> linesRead(harness::Screen &s) {
    const int mem = s.machine().regionIndex("MEMORY");
    uint8_t seg = 0, low = 0;
    std::vector<int> lines;
    for (const sim::Access &a : s.machine().trace()) {
        if (a.kind == sim::Access::PortOut && a.address == sim::GarskAdapter::kSegment)
            seg = static_cast<uint8_t>(a.value);
        if (a.kind == sim::Access::PortOut && a.address == sim::GarskAdapter::kSegmentLow)
            low = static_cast<uint8_t>(a.value);
        if (a.kind == sim::Access::MemRead && a.region == mem && a.address < 0x10000) {
            const int line = static_cast<int>(((seg >> 4) | (low & 0x30)) * 64 + a.address / 1024);
            for (uint32_t r = 0; r < a.repeat; r++)
                if (lines.empty() || lines.back() != line)
                    lines.push_back(line);
        }
    }
    return lines;
}

TEST(GarskWindow, ReadSegmentChangesExactlyAtTheRow) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 200), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(9);
    for (BoxRec box : {BoxRec{3, 60, 40, 71}, BoxRec{0, 62, 64, 194}}) {
        s.machine().clearTrace();
        EXPECT_EQ(s.readImage(box), s.expectedImage(box));
        std::vector<int> want;
        for (int y = box.y1; y < box.y2; y++)
            want.push_back(y);
        EXPECT_EQ(linesRead(s), want);
    }
}

// The window reads one segment and writes another: a read-modify-write
// through one address takes a line of the read segment and puts the result
// on a line of the write segment.
TEST(GarskWindow, ReadsAndWritesReachTheirOwnSegments) {
    harness::Screen s("garsk", garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::GarskAdapter &board = garskOf(s);
    uint8_t *vram = board.vram()->data();
    const auto *area = s.machine().findArea("MEMORY");
    ASSERT_NE(area, nullptr);
    volatile uint8_t *window = area->host;
    struct Case {
        uint8_t seg, low;
        uint32_t readLine, writeLine;
    };
    const Case cases[] = {
        {0x12, 0x00, 64, 128}, {0xF0, 0x00, 15 * 64, 0}, {0x3C, 0x00, 3 * 64, 12 * 64}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.readLine) + " to " + std::to_string(c.writeLine));
        vram[c.readLine * 1024 + 77] = 0x5A;
        vram[c.writeLine * 1024 + 77] = 0x00;
        ioOut8(sim::GarskAdapter::kSegment, c.seg);
        ioOut8(sim::GarskAdapter::kSegmentLow, c.low);
        const uint8_t v = mmRead8(window + 77);
        EXPECT_EQ(v, 0x5A);
        mmWrite8(window + 77, static_cast<uint8_t>(v ^ 0xFF));
        EXPECT_EQ(vram[c.writeLine * 1024 + 77], 0xA5);
        if (c.readLine != c.writeLine) {
            EXPECT_EQ(vram[c.readLine * 1024 + 77], 0x5A);
        }
    }
    EXPECT_EQ(board.readSegment(), 3u);
    EXPECT_EQ(board.writeSegment(), 12u);
}

#ifdef GARSK_OPEN_LIB

template <class T> T openSymbol(const char *name) {
    void *h = dlopen(GARSK_OPEN_LIB, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(h, nullptr) << dlerror();
    void *p = h ? dlsym(h, name) : nullptr;
    EXPECT_NE(p, nullptr) << name;
    if (h)
        dlclose(h);
    return reinterpret_cast<T>(p);
}

using PointsProc = void (*)(DDXPointPtr, int, Pixel, int, uint32_t, DrawablePtr);

// The window point writer nothing installs: the processor's alu on each
// pixel, across segment boundaries in both directions (the plane mask is
// not applied).
TEST(GarskOpenWindow, PointWriterEveryAluAcrossSegments) {
    harness::Screen s(GARSK_OPEN_LIB, garskConfig(kBankFile, 64, 200), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    auto points = openSymbol<PointsProc>("garsk32DrawBankedPoints");
    ASSERT_NE(points, nullptr);
    std::vector<DDXPointRec> pts = {{0, 0}, {63, 63}, {5, 64}, {6, 63}, {7, 128}, {8, 199}, {9, 1}};
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        s.fillRandom(static_cast<uint32_t>(alu + 1));
        // A read leaves the read segment elsewhere than the last write.
        s.readImage({0, 130, 8, 140});
        points(pts.data(), static_cast<int>(pts.size()), 0x6C, alu, 0x0F, s.drawable());
        ref::drawPoints(s.mirror(), pts.data(), static_cast<int>(pts.size()), 0x6C, alu, 0xFF);
        EXPECT_SCREEN_SAME(s);
    }
}

#endif

} // namespace
