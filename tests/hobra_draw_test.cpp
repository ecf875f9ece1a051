// hobra's engine drawing: the words the transfer routines put on the data
// port, the FIFO waits of the span and transfer routines, and pixels against
// the reference renderer for copies, solid boxes, spans, points, segments and
// tiles on both boards; the clip in both register forms and the console
// switch's clear.
#include <algorithm>
#include <bit>
#include <memory>

#include "hobra_fixture.h"

using namespace hobratest;

namespace {

// The words written to the data port after the first write of `command`.
std::vector<uint16_t> dataWords(const sim::Trace &t, uint16_t command) {
    std::vector<uint16_t> words;
    bool started = false;
    for (const PortWrite &w : engineWrites(t)) {
        if (w.first == sim::hobraport::Command && w.second == command)
            started = true;
        else if (started && w.first == sim::hobraport::PixelData)
            words.push_back(w.second);
    }
    return words;
}

// The FIFO room each wait asked for: a wait reads the status until bit
// (8 - n) is clear, and each read drains one entry, so the last read of a
// run of reads shows 8 - n queued entries when the run spun at least once.
std::vector<int> waits(const sim::Trace &t) {
    std::vector<int> out;
    uint32_t last = 0;
    bool inRun = false;
    for (const sim::Access &a : t.runs()) {
        const bool status =
            a.kind == sim::Access::PortIn &&
            (a.address == sim::hobraport::Command || a.address == sim::hobraport::Status2);
        if (status) {
            last = a.value;
            inRun = true;
        } else if (a.kind == sim::Access::PortOut && inRun) {
            out.push_back(8 - std::popcount(last & 0xFFu));
            inRun = false;
        }
    }
    return out;
}

// `n` register writes the engine takes without effect, behind status reads
// that saw the FIFO empty and the engine idle.
void queueWrites(int n) {
    for (int i = 0; i < 100 && (inw(0x9AE8) & 0x201); i++)
        ;
    for (int i = 0; i < n; i++)
        outw(0xF6E8, 0x07);
}

std::string caseName(int alu, uint32_t pm) {
    return "alu " + std::to_string(alu) + " planemask " + std::to_string(pm);
}

// ---- the data port ----

TEST(HobraTransfer, ImageWordsRunOnAcrossRowsAndReadNothingPastTheImage) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    struct Case {
        BoxRec box;
        int stride;
        std::vector<uint16_t> words; // pixel i of the buffer is i + 1
    };
    const Case cases[] = {
        // 3 x 3, stride 4: the odd last row's word is its last pixel alone.
        {{3, 2, 6, 5}, 4, {0x0201, 0x0503, 0x0706, 0x0A09, 0x000B}},
        {{0, 0, 1, 3}, 1, {0x0201, 0x0003}},                 // 1 x 3
        {{5, 7, 9, 9}, 4, {0x0201, 0x0403, 0x0605, 0x0807}}, // 4 x 2 burst
        {{10, 1, 13, 2}, 3, {0x0201, 0x0003}},               // an odd total
        {{20, 10, 22, 12}, 5, {0x0201, 0x0706}},             // even width, wider stride
    };
    for (const Case &c : cases) {
        const int w = c.box.x2 - c.box.x1, h = c.box.y2 - c.box.y1;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        std::vector<uint8_t> pixels(size_t(c.stride) * size_t(h - 1) + size_t(w));
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = uint8_t(i + 1);
        s.machine().clearTrace();
        s.drawImage(c.box, pixels, c.stride);
        EXPECT_EQ(dataWords(s.machine().trace(), 0x53F1), c.words);
        EXPECT_SCREEN_SAME(s);
    }
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraTransfer, AcrossPlaneWordsAreTheSameWithAndWithoutRepbug) {
    for (int repbug : {0, 1}) {
        SCOPED_TRACE("REPBUG " + std::to_string(repbug));
        graf::Config c = smallBoard(8);
        c.ints["REPBUG"] = repbug;
        harness::Screen s("hobra", c, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        uint8_t bytes[] = {0x01, 0x80, 0x0F, 0xF0, 0xFF, 0x00};
        s.machine().clearTrace();
        privateOf(s).apBlockOut(bytes, 6);
        std::vector<uint16_t> words;
        for (const PortWrite &w : engineWrites(s.machine().trace()))
            if (w.first == sim::hobraport::PixelData)
                words.push_back(w.second);
        EXPECT_EQ(words, (std::vector<uint16_t>{0x0010, 0x0200, 0x001E, 0x1E00, 0x1E1E, 0}));

        // A long transfer needs no allocation: with every one refused, each
        // byte still becomes its word.
        std::vector<uint8_t> many(300);
        for (size_t i = 0; i < many.size(); i++)
            many[i] = uint8_t(i * 7);
        server::failAllocationAfter(0);
        s.machine().clearTrace();
        privateOf(s).apBlockOut(many.data(), int(many.size()));
        server::failAllocationAfter(-1);
        words.clear();
        for (const PortWrite &w : engineWrites(s.machine().trace()))
            if (w.first == sim::hobraport::PixelData)
                words.push_back(w.second);
        ASSERT_EQ(words.size(), many.size());
        EXPECT_EQ(words[1], 0x001C);   // 0x07: pixels 0 to 2 in bits 4, 3, 2
        EXPECT_EQ(words[299], 0x0816); // 0x2D
        EXPECT_EQ(s.failureText(), "");
        s.freeScreen();
    }
}

// With four entries free the burst is four words, then the status again.
TEST(HobraTransfer, BurstsAreSizedToTheFreeEntries) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    queueWrites(4);
    uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    s.machine().clearTrace();
    privateOf(s).apBlockOut(bytes, 6); // the burst-paced routine without REPBUG
    std::vector<std::string> seen;
    for (const sim::Access &a : s.machine().trace().runs())
        if (a.kind == sim::Access::PortIn)
            seen.push_back("status " + std::to_string(a.value & 0xFF));
        else if (a.kind == sim::Access::PortOut && a.address == sim::hobraport::PixelData)
            seen.push_back("word");
    ASSERT_GE(seen.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 5),
              (std::vector<std::string>{"status 15", "word", "word", "word", "word"}));
    EXPECT_EQ(seen[5].substr(0, 6), "status");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "word"), 6);
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraTransfer, F82C481WaitsForAnEmptyFifoBeforeTheFirstDataWord) {
    for (int key : {0, 1}) {
        SCOPED_TRACE("F82C481 " + std::to_string(key));
        graf::Config c = smallBoard(8);
        c.ints["F82C481"] = key;
        harness::Screen s("hobra", c, quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.machine().clearTrace();
        s.drawImage({0, 0, 4, 1}, {1, 2, 3, 4}, 4);
        // The status reads between the command and the first data word.
        std::vector<uint32_t> between;
        bool afterCommand = false;
        for (const sim::Access &a : s.machine().trace().runs()) {
            if (a.kind == sim::Access::PortOut && a.address == sim::hobraport::Command)
                afterCommand = true;
            else if (afterCommand && a.kind == sim::Access::PortOut)
                break;
            else if (afterCommand && a.kind == sim::Access::PortIn)
                between.push_back(a.value & 0xFF);
        }
        ASSERT_FALSE(between.empty());
        if (key)
            EXPECT_EQ(between.back(), 0u); // FIFO empty
        else
            EXPECT_NE(between.back(), 0u); // the burst goes behind the command
        EXPECT_SCREEN_SAME(s);
        s.freeScreen();
    }
}

// ---- pixels on both boards ----

class HobraDraw : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", smallBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
    }
    uint32_t someMask() const { return GetParam() == 8 ? 0x5Au : 0x0Au; }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Planes, HobraDraw, testing::Values(8, 4),
                         [](const auto &info) { return "planes" + std::to_string(info.param); });

TEST_P(HobraDraw, SolidBoxesSpansAndPointsOverAlusAndPlaneMasks) {
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu = GXclear; alu <= GXset; alu++) {
            SCOPED_TRACE(caseName(alu, pm));
            const Pixel fg = 0x9Cu & s->allPlanes();
            GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = fg});
            // Empty boxes among them are skipped, the walk goes on.
            s->drawSolidRects({{0, 0, 10, 10},
                               {5, 5, 5, 20},
                               {20, 20, 30, 30},
                               {40, 9, 60, 9},
                               {100, 40, 128, 64}},
                              fg ^ 0x5, alu, pm);
            // A zero width among the spans draws nothing; the pairs close up.
            s->fillSpans(gc, {{60, 30}, {61, 31}, {0, 32}, {127, 33}, {70, 34}},
                         {10, 0, 128, 1, 3});
            s->drawPoints({{0, 0}, {127, 0}, {0, 63}, {127, 63}, {64, 48}}, fg + 3, alu, pm);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(HobraDraw, CopiesInEveryOverlapDirection) {
    struct Case {
        const char *what;
        BoxRec dst;
        DDXPointRec src;
    };
    const Case cases[] = {
        {"right and down", {25, 14, 65, 44}, {20, 10}},
        {"left and up", {20, 10, 60, 40}, {25, 14}},
        {"right and up", {25, 10, 65, 40}, {20, 14}},
        {"left and down", {20, 14, 60, 44}, {25, 10}},
        {"one pixel right", {21, 10, 61, 40}, {20, 10}},
        {"onto itself", {20, 10, 60, 40}, {20, 10}},
        {"one pixel", {127, 63, 128, 64}, {0, 0}},
        {"empty", {30, 30, 30, 40}, {0, 0}},
        {"empty height", {30, 30, 40, 29}, {0, 0}},
    };
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu : {GXcopy, GXxor, GXinvert, GXorReverse})
            for (const Case &c : cases) {
                SCOPED_TRACE(std::string(c.what) + " " + caseName(alu, pm));
                s->copyRect(c.dst, c.src, alu, pm);
                EXPECT_SCREEN_SAME(*s);
            }
    EXPECT_EQ(s->failureText(), "");
}

// ZeroSegRec of the segment from (x1, y1) to (x2, y2), both end points
// drawn, its error terms multiplied by `scale` (the same line).
ZeroSegRec segment(int x1, int y1, int x2, int y2, int scale = 1) {
    const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    const int major = std::max(dx, dy), minor = std::min(dx, dy);
    ZeroSegRec z{};
    z.x = int16_t(x1);
    z.y = int16_t(y1);
    z.signdx = int16_t(x2 >= x1 ? 1 : -1);
    z.signdy = int16_t(y2 >= y1 ? 1 : -1);
    z.axis = int16_t(dx >= dy ? 0 : 1);
    z.len = int16_t(major + 1);
    z.e1 = 2 * minor * scale;
    z.e2 = (2 * minor - 2 * major) * scale;
    z.e = (2 * minor - major) * scale;
    return z;
}

TEST_P(HobraDraw, SegmentsByTheEngineWithinItsErrorRange) {
    ASSERT_FALSE(s->zeroSegsForm());
    const std::vector<ZeroSegRec> segs = {
        segment(10, 10, 120, 10),  segment(120, 12, 10, 12),    segment(5, 0, 5, 63),
        segment(7, 63, 7, 0),      segment(0, 0, 63, 63),       segment(127, 0, 64, 63),
        segment(20, 60, 120, 20),  segment(30, 5, 50, 60),      segment(90, 62, 80, 2),
        segment(100, 40, 100, 40), segment(20, 5, 22, 15, 512), // e2 -8192: still the engine's
    };
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu : {GXcopy, GXxor, GXandInverted, GXset}) {
            SCOPED_TRACE(caseName(alu, pm));
            server::clearGenCalls();
            GCPtr gc = s->createGC({.alu = alu, .planemask = pm, .fg = 0x3Bu & s->allPlanes()});
            s->zeroSegs(gc, segs);
            EXPECT_SCREEN_SAME(*s);
            EXPECT_TRUE(server::genCallsOf("genSolidZeroSeg").empty());
        }
    EXPECT_EQ(s->failureText(), "");
}

TEST_P(HobraDraw, SegmentsOutsideTheRangeGoToTheLayerAndEmptyOnesDrawNothing) {
    GCPtr gc = s->createGC({.alu = GXxor, .fg = 0x7});
    ZeroSegRec e1 = segment(10, 10, 18, 14, 512); // e1 4096
    ZeroSegRec e = segment(10, 20, 20, 20, 410);  // e -4100
    s->zeroSegs(gc, {e1, e});
    EXPECT_SCREEN_SAME(*s);
    const auto calls = server::genCallsOf("genSolidZeroSeg");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(int32_t(calls[0].args[8]), 4096); // e1, unchanged
    EXPECT_EQ(int32_t(calls[1].args[7]), -4100);

    ZeroSegRec none = segment(30, 30, 40, 30);
    none.len = 0;
    s->drain();
    s->machine().clearTrace();
    s->zeroSegs(gc, {none});
    EXPECT_TRUE(engineWrites(s->machine().trace()).empty());
    EXPECT_SCREEN_SAME(*s);
}

struct TileCase {
    const char *what;
    int width, height; // of the tile
    std::vector<BoxRec> boxes;
    DDXPointRec origin;
    int alu;
    bool generic;     // genTileRects draws it
    int replications; // nfbReplicateArea calls when staged
};

TEST_P(HobraDraw, TilesStagedInTheTileAreaOrByTheLayer) {
    const TileCase cases[] = {
        {"one box, GXcopy", 16, 20, {{4, 4, 60, 50}}, {0, 0}, GXcopy, true, 0},
        {"two boxes, GXcopy", 16, 20, {{4, 4, 30, 30}, {40, 2, 120, 60}}, {3, 5}, GXcopy, false, 2},
        {"one box, GXxor", 16, 20, {{4, 4, 60, 30}}, {0, 0}, GXxor, false, 1},
        {"GXxor in bands", 16, 20, {{2, 1, 126, 63}, {0, 0, 5, 5}}, {1, 2}, GXxor, false, 1},
        {"origin right of and below",
         12,
         10,
         {{10, 5, 40, 30}, {50, 6, 51, 7}},
         {100, 60},
         GXor,
         false,
         1},
        {"wider than half the TileArea",
         440,
         4,
         {{0, 0, 100, 20}, {0, 30, 9, 40}},
         {0, 0},
         GXand,
         true,
         0},
        {"more than half its height",
         8,
         40,
         {{0, 0, 100, 20}, {0, 30, 9, 40}},
         {0, 0},
         GXxor,
         true,
         0},
    };
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (const TileCase &c : cases) {
            SCOPED_TRACE(std::string(c.what) + " planemask " + std::to_string(pm));
            std::vector<uint8_t> tile(size_t(c.width) * size_t(c.height));
            for (size_t i = 0; i < tile.size(); i++)
                tile[i] = uint8_t((i * 37 + i / size_t(c.width) * 11) & s->allPlanes());
            server::clearGenCalls();
            s->tileRects(c.boxes, tile, c.width, c.width, c.height, c.origin, c.alu, pm);
            EXPECT_SCREEN_SAME(*s);
            EXPECT_EQ(server::genCallsOf("genTileRects").size(), c.generic ? 1u : 0u);
            if (!c.generic) {
                EXPECT_EQ(int(server::genCallsOf("nfbReplicateArea").size()), c.replications);
            }
        }
    EXPECT_EQ(s->failureText(), "");
}

// ---- register traffic where pixels do not tell ----

TEST(HobraDrawTrace, SpansGoInPairsBehindAnEmptyFifo) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    GCPtr gc = s.createGC({.fg = 5});
    struct Case {
        std::vector<int> widths;
        std::vector<int> waits;
        int strokes;
    };
    const Case cases[] = {{{4, 5, 6}, {5, 8, 4}, 3},
                          {{4, 5}, {5, 8}, 2},
                          {{4, 0, 6, 0}, {5, 8}, 2}, // zero widths are left out
                          {{0}, {5}, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.widths.size());
        std::vector<DDXPointRec> starts;
        for (size_t i = 0; i < c.widths.size(); i++)
            starts.push_back({int16_t(3 + i), int16_t(2 * i)});
        queueWrites(8);
        s.machine().clearTrace();
        s.fillSpans(gc, starts, c.widths);
        EXPECT_EQ(waits(s.machine().trace()), c.waits);
        int strokes = 0;
        for (const PortWrite &w : engineWrites(s.machine().trace()))
            strokes += w == PortWrite{sim::hobraport::Command, 0x201B};
        EXPECT_EQ(strokes, c.strokes);
        EXPECT_SCREEN_SAME(s);
    }
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraDrawTrace, DownRightCopyStartsAtTheBottomRightCorners) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.copyRect({25, 14, 65, 44}, {20, 10}, GXcopy, 0xFF);
    const std::vector<PortWrite> expected = {{0xFEE8, 0xA000}, {0xEEE8, 0xFF},  {0xEAE8, 0xFF},
                                             {0xFAE8, 0x67},   {0xC6E8, 59},    {0xC2E8, 39},
                                             {0xCEE8, 64},     {0xCAE8, 43},    {0xD6E8, 39},
                                             {0xFEE8, 29},     {0x9AE8, 0xC053}};
    EXPECT_EQ(engineWrites(s.machine().trace()), expected);
    s.machine().clearTrace();
    s.copyRect({20, 10, 60, 40}, {25, 14});
    const std::vector<PortWrite> w = engineWrites(s.machine().trace());
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.back(), (PortWrite{0x9AE8, 0xC0F3}));
    EXPECT_SCREEN_SAME(s);
}

TEST(HobraDrawTrace, SolidBoxesGoWholeAndSkipTheEmptyOnes) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.drawSolidRects({{0, 0, 10, 10}, {5, 5, 5, 20}, {20, 20, 30, 30}}, 9, GXcopy, 0xFF);
    const std::vector<PortWrite> expected = {
        {0xFEE8, 0xA000}, {0xFAE8, 0x27}, {0xE6E8, 9}, {0xEAE8, 0xFF}, {0xEEE8, 0xFF},
        {0xC6E8, 0},      {0xC2E8, 0},    {0xD6E8, 9}, {0xFEE8, 9},    {0x9AE8, 0x80B3},
        {0xC6E8, 20},     {0xC2E8, 20},   {0xD6E8, 9}, {0xFEE8, 9},    {0x9AE8, 0x80B3}};
    EXPECT_EQ(engineWrites(s.machine().trace()), expected);
    EXPECT_SCREEN_SAME(s);
}

TEST(HobraDrawTrace, ClipTakesTheFirstBoxOrTheFullClipInEitherRegisterForm) {
    for (const char *file : {kBoard8, kBoardAti}) {
        SCOPED_TRACE(file);
        const bool ati = file == kBoardAti;
        harness::Screen s("hobra", board(file), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        const BoxRec full = privateOf(s).fullClip;
        s.machine().clearTrace();
        s.setClipRegions({{10, 20, 30, 40}, {0, 0, 5, 5}, {50, 50, 60, 60}});
        EXPECT_EQ(box(privateOf(s).clip), (std::vector<int>{10, 20, 30, 40}));
        s.setClipRegions({});
        EXPECT_EQ(box(privateOf(s).clip), box(full));
        const uint16_t x2 = uint16_t((full.x2 - 1) & 0xFFF), y2 = uint16_t((full.y2 - 1) & 0xFFF);
        const std::vector<PortWrite> expected =
            ati ? std::vector<PortWrite>{{0xDAEE, 10}, {0xDEEE, 20}, {0xE2EE, 29}, {0xE6EE, 39},
                                         {0xDAEE, 0},  {0xDEEE, 0},  {0xE2EE, x2}, {0xE6EE, y2}}
                : std::vector<PortWrite>{{0xFEE8, 0x200A},
                                         {0xFEE8, 0x1014},
                                         {0xFEE8, 0x401D},
                                         {0xFEE8, 0x3027},
                                         {0xFEE8, 0x2000},
                                         {0xFEE8, 0x1000},
                                         {0xFEE8, uint16_t(0x4000 | x2)},
                                         {0xFEE8, uint16_t(0x3000 | y2)}};
        EXPECT_EQ(engineWrites(s.machine().trace()), expected);
        EXPECT_EQ(s.failureText(), "");
        s.freeScreen();
    }
}

TEST(HobraDrawTrace, SwitchToTheConsoleClearsScreenAndOffScreenMemory) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    const BoxRec full = privateOf(s).fullClip;
    s.switchAway();
    const uint8_t *vram = adapter(s).vram()->data();
    size_t nonZero = 0;
    for (int y = full.y1; y < full.y2; y++)
        for (int x = full.x1; x < full.x2; x++)
            nonZero += vram[size_t(y) * sim::HobraAdapter::kLinePixels + size_t(x)] != 0;
    EXPECT_EQ(nonZero, 0u);
    EXPECT_FALSE(adapter(s).engine().busy());
    s.switchBack();
    EXPECT_EQ(s.failureText(), "");
    s.freeScreen();
}

} // namespace
