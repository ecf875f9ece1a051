// hobra's monochrome images: pixels against the reference renderer on the
// direct path (across-plane transfers), the staged path (plane 0 of the
// planeArea and plane expansions) and the layer's fallbacks, at depths 8 and
// 4; the transfers, scissors and bands where pixels do not tell; empty
// boxes; the ATI clip form; the engine model's across-plane alignment.
#include <memory>

#include "adapter.h"
#include "hobra_fixture.h"
#include "machine.h"

using namespace hobratest;

namespace {

// `rows` rows of `stride` bytes of varied bits.
std::vector<uint8_t> bitmap(int rows, int stride, unsigned seed = 1) {
    std::vector<uint8_t> b(size_t(rows) * size_t(stride));
    unsigned v = seed * 2654435761u;
    for (uint8_t &byte : b) {
        v = v * 1103515245u + 12345u;
        byte = uint8_t(v >> 16);
    }
    return b;
}

// The command words of a trace, in order.
std::vector<uint16_t> commands(const sim::Trace &t) {
    std::vector<uint16_t> c;
    for (const PortWrite &w : engineWrites(t))
        if (w.first == sim::hobraport::Command)
            c.push_back(w.second);
    return c;
}

// Each command with the last value written to `port` before it.
std::vector<uint16_t> valuesAtCommands(const sim::Trace &t, uint16_t port) {
    std::vector<uint16_t> out;
    uint16_t last = 0xFFFF;
    for (const PortWrite &w : engineWrites(t))
        if (w.first == port)
            last = w.second;
        else if (w.first == sim::hobraport::Command)
            out.push_back(last);
    return out;
}

// The data-port words of across-plane transfers: those right after the
// command, up to the next write to another port.
size_t dataWords(const sim::Trace &t) {
    size_t n = 0;
    bool started = false;
    for (const PortWrite &w : engineWrites(t)) {
        if (w.first == sim::hobraport::Command)
            started = w.second == 0x53F3;
        else if (started && w.first == sim::hobraport::PixelData)
            n++;
        else
            started = false;
    }
    return n;
}

// The right-scissor values written through the multifunction register.
std::vector<uint16_t> rightScissors(const sim::Trace &t) {
    std::vector<uint16_t> out;
    for (const PortWrite &w : engineWrites(t))
        if (w.first == 0xFEE8 && (w.second & 0xF000) == 0x4000)
            out.push_back(w.second & 0x0FFF);
    return out;
}

size_t monoGenCalls() {
    return server::genCallsOf("genDrawMonoImage").size() +
           server::genCallsOf("genDrawOpaqueMonoImage").size();
}

enum class Path { Direct, Staged, Generic };

struct MonoCase {
    const char *what;
    BoxRec box;
    int startBit, stride;
    Path path;
};

// ---- pixels ----

class HobraMono : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>("hobra", smallBoard(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(7);
    }
    uint32_t someMask() const { return GetParam() == 8 ? 0xA5u : 0x06u; }

    // Draws the case transparent and opaque and checks pixels and path.
    void draw(const MonoCase &c, int alu, uint32_t pm, unsigned seed) {
        const int h = c.box.y2 - c.box.y1;
        const std::vector<uint8_t> bits = bitmap(h + 1, c.stride, seed);
        const Pixel fg = 0xC9u & s->allPlanes(), bg = 0x36u & s->allPlanes();
        for (bool opaque : {false, true}) {
            SCOPED_TRACE(opaque ? "opaque" : "transparent");
            server::clearGenCalls();
            s->drain();
            s->machine().clearTrace();
            if (opaque)
                s->drawOpaqueMonoImage(c.box, bits, c.startBit, c.stride, fg, bg, alu, pm);
            else
                s->drawMonoImage(c.box, bits, c.startBit, c.stride, fg, alu, pm);
            EXPECT_SCREEN_SAME(*s);
            const std::vector<uint16_t> cmds = commands(s->machine().trace());
            switch (c.path) {
            case Path::Direct:
                EXPECT_EQ(cmds, std::vector<uint16_t>{0x53F3});
                break;
            case Path::Staged:
                EXPECT_EQ(cmds, (std::vector<uint16_t>{0x53F3, 0xC0F3}));
                break;
            case Path::Generic:
                EXPECT_EQ(monoGenCalls(), 1u);
                break;
            }
            if (c.path != Path::Generic) {
                EXPECT_EQ(monoGenCalls(), 0u);
            }
        }
    }
    std::unique_ptr<harness::Screen> s;
};

INSTANTIATE_TEST_SUITE_P(Planes, HobraMono, testing::Values(8, 4),
                         [](const auto &info) { return "planes" + std::to_string(info.param); });

TEST_P(HobraMono, BitmapsDirectAndStagedOverAlusAndPlaneMasks) {
    const MonoCase cases[] = {
        {"16 x 16 at x 8, one transfer", {8, 4, 24, 20}, 0, 2, Path::Direct},
        {"10 wide at x 0, the scissor cuts the row", {0, 2, 10, 12}, 0, 2, Path::Direct},
        {"whole bytes, at the clip's right edge", {100, 40, 128, 60}, 0, 4, Path::Direct},
        {"rows one byte in, wider stride: row by row", {12, 30, 37, 40}, 8, 6, Path::Direct},
        {"16 x 16 at x 9", {9, 4, 25, 20}, 0, 2, Path::Staged},
        {"starting bit 11, width 20", {30, 10, 50, 30}, 11, 5, Path::Staged},
        {"aligned x, starting bit 3", {40, 44, 63, 50}, 3, 4, Path::Staged},
        {"odd x at the right and bottom edges", {121, 50, 128, 64}, 5, 2, Path::Staged},
        {"one pixel", {3, 63, 4, 64}, 7, 1, Path::Staged},
    };
    unsigned seed = 1;
    for (uint32_t pm : {s->allPlanes(), someMask()})
        for (int alu : {GXcopy, GXxor, GXandInverted, GXset, GXnor})
            for (const MonoCase &c : cases) {
                SCOPED_TRACE(std::string(c.what) + " alu " + std::to_string(alu) + " planemask " +
                             std::to_string(pm));
                draw(c, alu, pm, seed++);
            }
    EXPECT_EQ(s->failureText(), "");
}

// Boxes the frame-buffer layer may send empty: nothing reaches the engine on
// any path, and nothing goes to the layer.
TEST_P(HobraMono, EmptyBoxesDrawNothing) {
    const MonoCase cases[] = {
        {"aligned, width 0", {8, 4, 8, 20}, 0, 0, Path::Direct},
        {"aligned, height 0", {8, 4, 24, 4}, 0, 2, Path::Direct},
        {"row by row, height 0", {12, 4, 28, 4}, 8, 3, Path::Direct},
        {"staged, width 0", {9, 4, 9, 20}, 0, 2, Path::Staged},
        {"staged, height 0", {9, 4, 25, 4}, 3, 2, Path::Staged},
        {"staged, x2 left of x1", {30, 4, 20, 20}, 3, 2, Path::Staged},
        {"aligned, y2 above y1", {8, 20, 24, 4}, 0, 2, Path::Direct},
    };
    const std::vector<uint8_t> bits = bitmap(20, 4);
    for (const MonoCase &c : cases)
        for (bool opaque : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (opaque ? " opaque" : " transparent"));
            server::clearGenCalls();
            s->drain();
            s->machine().clearTrace();
            if (opaque)
                s->drawOpaqueMonoImage(c.box, bits, c.startBit, c.stride, 5, 9, GXxor);
            else
                s->drawMonoImage(c.box, bits, c.startBit, c.stride, 5, GXxor);
            EXPECT_TRUE(engineWrites(s->machine().trace()).empty());
            EXPECT_EQ(monoGenCalls(), 0u);
            EXPECT_SCREEN_SAME(*s);
        }
    EXPECT_EQ(s->failureText(), "");
}

// Without the row table the bitmap still gets drawn, by the layer.
TEST_P(HobraMono, RefusedRowTableGoesToTheLayer) {
    const std::vector<uint8_t> bits = bitmap(20, 3);
    for (bool opaque : {false, true}) {
        SCOPED_TRACE(opaque ? "opaque" : "transparent");
        server::clearGenCalls();
        server::failAllocationAfter(0);
        const BoxRec box = {9, 4, 25, 20};
        if (opaque)
            s->drawOpaqueMonoImage(box, bits, 2, 3, 5, 9, GXcopy);
        else
            s->drawMonoImage(box, bits, 2, 3, 5, GXcopy);
        server::failAllocationAfter(-1);
        EXPECT_EQ(monoGenCalls(), 1u);
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_EQ(s->failureText(), "");
}

// An image wider than the off-screen rectangle, or one whose staged rows
// would run past the planeArea, is the layer's.
TEST(HobraMonoLimits, TooWideForTheOffScreenAreaGoesToTheLayer) {
    graf::Config c = smallBoard(4, 256, 64);
    c.ints["OFFSCRW"] = 200;
    harness::Screen s("hobra", c, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(3);
    ASSERT_EQ(privateOf(s).offscrWidth, 200);
    ASSERT_EQ(privateOf(s).planeArea.width, 200);
    const MonoCase cases[] = {
        {"aligned, 204 wide", {0, 0, 204, 10}, 0, 26, Path::Generic},
        {"staged, 201 wide", {1, 12, 202, 20}, 0, 26, Path::Generic},
        {"200 wide at x 0: direct", {0, 22, 200, 30}, 0, 25, Path::Direct},
        // 200 pixels from bit 3 need 26 bytes: 208 staged pixels.
        {"200 wide from bit 3: staging too wide", {1, 32, 201, 40}, 3, 26, Path::Generic},
        {"192 wide from bit 3: staged", {1, 42, 193, 50}, 3, 25, Path::Staged},
    };
    for (const MonoCase &k : cases)
        for (bool opaque : {false, true}) {
            SCOPED_TRACE(std::string(k.what) + (opaque ? " opaque" : " transparent"));
            const std::vector<uint8_t> bits = bitmap(k.box.y2 - k.box.y1, k.stride);
            server::clearGenCalls();
            s.drain();
            s.machine().clearTrace();
            if (opaque)
                s.drawOpaqueMonoImage(k.box, bits, k.startBit, k.stride, 0xA, 0x5, GXcopy, 0xB);
            else
                s.drawMonoImage(k.box, bits, k.startBit, k.stride, 0xA, GXxor);
            EXPECT_SCREEN_SAME(s);
            EXPECT_EQ(monoGenCalls(), k.path == Path::Generic ? 1u : 0u);
            if (k.path != Path::Generic) {
                EXPECT_EQ(commands(s.machine().trace()).size(), k.path == Path::Direct ? 1u : 2u);
            }
        }
    EXPECT_EQ(s.failureText(), "");
}

// ---- what pixels do not tell ----

TEST(HobraMonoTrace, DirectTransfersAndTheRightScissor) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const BoxRec clip = privateOf(s).clip;
    ASSERT_EQ(clip.x2, 1024);
    struct Case {
        const char *what;
        BoxRec box;
        int stride;
        size_t words;
        std::vector<uint16_t> scissors; // right scissor values written
    };
    const Case cases[] = {
        {"16 x 16 at x 8", {8, 4, 24, 20}, 2, 32, {23, 1023}},
        {"10 wide at x 0", {0, 2, 10, 12}, 2, 20, {9, 1023}},
    };
    const std::vector<uint8_t> bits = bitmap(16, 2);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        s.drain();
        s.machine().clearTrace();
        s.drawOpaqueMonoImage(c.box, bits, 0, c.stride, 1, 2);
        const sim::Trace &t = s.machine().trace();
        EXPECT_EQ(commands(t), std::vector<uint16_t>{0x53F3});
        EXPECT_EQ(dataWords(t), c.words);
        EXPECT_EQ(rightScissors(t), c.scissors);
        // The width register holds whole bytes.
        EXPECT_EQ(valuesAtCommands(t, 0xD6E8), std::vector<uint16_t>{15});
        EXPECT_EQ(valuesAtCommands(t, 0xC6E8), std::vector<uint16_t>{uint16_t(c.box.x1)});
    }

    // A box reaching the clip's right edge leaves the scissors alone: under
    // a window's clip and under the full one.
    s.setClipRegions({{16, 0, 48, 30}});
    for (BoxRec box : {BoxRec{32, 0, 48, 8}, BoxRec{40, 0, 56, 8}}) {
        s.drain();
        s.machine().clearTrace();
        s.drawMonoImage(box, bits, 0, 2, 1);
        EXPECT_TRUE(rightScissors(s.machine().trace()).empty());
    }
    s.setClipRegions({});
    s.machine().clearTrace();
    s.drawMonoImage({1008, 0, 1024, 4}, bits, 0, 2, 1);
    EXPECT_TRUE(rightScissors(s.machine().trace()).empty());
    EXPECT_EQ(s.failureText(), "");
}

TEST(HobraMonoTrace, StagedBitmapsGoThroughPlaneZero) {
    harness::Screen s("hobra", smallBoard(8), quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    const Rect area = privateOf(s).planeArea;
    ASSERT_EQ(rect(area), (std::vector<int>{0, 128, 1024, 192}));
    struct Case {
        const char *what;
        BoxRec box;
        int startBit, stride;
        uint16_t sourceX, width; // width register of the store
        size_t words;
    };
    const Case cases[] = {
        {"16 x 16 at x 9", {9, 4, 25, 20}, 0, 2, 0, 15, 32},
        {"starting bit 11, width 20", {30, 10, 50, 30}, 11, 5, 3, 23, 60},
    };
    for (const Case &c : cases)
        for (bool opaque : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (opaque ? " opaque" : " transparent"));
            const std::vector<uint8_t> bits = bitmap(c.box.y2 - c.box.y1, c.stride);
            s.drain();
            s.machine().clearTrace();
            if (opaque)
                s.drawOpaqueMonoImage(c.box, bits, c.startBit, c.stride, 1, 2, GXxor, 0x3C);
            else
                s.drawMonoImage(c.box, bits, c.startBit, c.stride, 1, GXxor, 0x3C);
            const sim::Trace &t = s.machine().trace();
            const uint16_t ax = uint16_t(area.x + c.sourceX);
            EXPECT_EQ(commands(t), (std::vector<uint16_t>{0x53F3, 0xC0F3}));
            EXPECT_EQ(dataWords(t), c.words);
            // The store: plane 0 at the planeArea's corner, whole bytes.
            EXPECT_EQ(valuesAtCommands(t, 0xEAE8), (std::vector<uint16_t>{1, 0x3C}));
            EXPECT_EQ(valuesAtCommands(t, 0xD6E8),
                      (std::vector<uint16_t>{c.width, uint16_t(c.box.x2 - c.box.x1 - 1)}));
            // The expansion: plane 0 from the bit offset onto the box.
            EXPECT_EQ(valuesAtCommands(t, 0xEEE8), (std::vector<uint16_t>{0xFF, 2}));
            EXPECT_EQ(valuesAtCommands(t, 0xC6E8), (std::vector<uint16_t>{0, ax}));
            EXPECT_EQ(valuesAtCommands(t, 0xC2E8), (std::vector<uint16_t>{128, 128}));
            EXPECT_EQ(valuesAtCommands(t, 0xCEE8).back(), c.box.x1);
            EXPECT_EQ(valuesAtCommands(t, 0xCAE8).back(), c.box.y1);
            EXPECT_SCREEN_SAME(s);
        }
    EXPECT_EQ(s.failureText(), "");
}

// A planeArea of 64 lines: 150 rows go in bands of 64, 64 and 22, each
// below the one before, from the same staging corner.
TEST(HobraMonoTrace, TallBitmapsGoInBandsOfThePlaneAreaHeight) {
    graf::Config c = smallBoard(8, 128, 160);
    c.ints["OFFSCRH"] = 128;
    harness::Screen s("hobra", c, quiet());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.fillRandom(5);
    ASSERT_EQ(privateOf(s).planeArea.height, 64);
    const BoxRec box = {5, 4, 40, 154};
    const std::vector<uint8_t> bits = bitmap(150, 6);
    for (bool opaque : {false, true}) {
        SCOPED_TRACE(opaque ? "opaque" : "transparent");
        s.drain();
        s.machine().clearTrace();
        if (opaque)
            s.drawOpaqueMonoImage(box, bits, 2, 6, 0x81, 0x18, GXcopy);
        else
            s.drawMonoImage(box, bits, 2, 6, 0x81, GXor);
        EXPECT_SCREEN_SAME(s);
        const sim::Trace &t = s.machine().trace();
        EXPECT_EQ(commands(t),
                  (std::vector<uint16_t>{0x53F3, 0xC0F3, 0x53F3, 0xC0F3, 0x53F3, 0xC0F3}));
        std::vector<uint16_t> blitY, heights;
        const std::vector<uint16_t> ys = valuesAtCommands(t, 0xCAE8);
        const std::vector<uint16_t> hs = valuesAtCommands(t, 0xFEE8);
        for (size_t i = 1; i < ys.size(); i += 2) {
            blitY.push_back(ys[i]);
            heights.push_back(hs[i]);
        }
        EXPECT_EQ(blitY, (std::vector<uint16_t>{4, 68, 132}));
        EXPECT_EQ(heights, (std::vector<uint16_t>{63, 63, 21}));
    }
    // A planeArea this small has no room for text fonts, which Init says.
    EXPECT_TRUE(s.failures().empty()) << s.failureText();
}

// The ATI board keeps its scissors in the ATI ports' form: after a direct
// transfer narrowed and restored the right scissor under a window's clip,
// a later full clip still reaches the whole screen.
TEST(HobraMonoAti, DrawingRightOfAnOldClipAfterAMonoImage) {
    for (const char *file : {kBoard8, kBoardAti}) {
        SCOPED_TRACE(file);
        harness::Screen s("hobra", smallBoard(8, 128, 64, file), quiet());
        ASSERT_TRUE(s.start()) << s.failureText();
        s.fillRandom(9);
        const std::vector<uint8_t> bits = bitmap(8, 2);
        s.setClipRegions({{0, 0, 60, 64}});
        s.drawOpaqueMonoImage({0, 0, 10, 8}, bits, 0, 2, 0x11, 0x22);
        s.drawMonoImage({20, 10, 30, 18}, bits, 0, 2, 0x33);
        EXPECT_EQ(privateOf(s).clip.x2, 60);
        s.setClipRegions({});
        s.drawSolidRects({{70, 0, 128, 64}}, 0x44);
        s.drawOpaqueMonoImage({100, 20, 110, 28}, bits, 0, 2, 0x55, 0x66, GXxor);
        s.drawOpaqueMonoImage({110, 30, 122, 38}, bits, 0, 2, 0x55, 0x66, GXxor);
        EXPECT_SCREEN_SAME(s);
        EXPECT_EQ(s.failureText(), "");
        s.freeScreen();
    }
}

// ---- the engine model ----

class HobraAcrossPlaneModel : public ::testing::Test {
  public:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        cfg = graf::Builder().adapter("ibm8514").build();
        adapter = sim::makeAdapter(cfg, *m);
    }
    void idle() {
        for (int i = 0; i < 100 && (inw(0x9AE8) & 0x201); i++) {
        }
    }
    // One row of 8 pixels at x, all on.
    void transfer(uint16_t x) {
        idle();
        outw(0xFEE8, 0xA080);
        outw(0xFAE8, 0x27);
        outw(0xF6E8, 0x03);
        outw(0xC6E8, x);
        outw(0xC2E8, 0);
        outw(0xD6E8, 7);
        outw(0xFEE8, 0x0000);
        outw(0x9AE8, 0x53F3);
        idle();
        outw(0xE2E8, 0x1E1E);
        idle();
    }
    bool failedWith(const std::string &part) const {
        for (const std::string &f : m->failures())
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }
    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<sim::Adapter> adapter;
};

// The transfer starts at an x that is a multiple of 4 (negative ones too,
// as 11-bit positions); any other x is reported.
TEST_F(HobraAcrossPlaneModel, TransferAtAnXNotAMultipleOfFourIsReported) {
    for (uint16_t x : {0, 4, 1020, 0x7FC})
        transfer(x);
    EXPECT_TRUE(m->failures().empty());
    transfer(6);
    EXPECT_TRUE(failedWith("across-plane transfer 0x53F3 at x 6, which is not a multiple of 4"));
}

} // namespace
