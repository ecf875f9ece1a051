// The gd5436 drivers on a board with 4 MB (cirrus/gd5436/gd5446-4mb.graf):
// the BitBLT register block at aperture offset 0x3FFF00 then shares its page
// with the last kilobytes of video memory. A screen tall enough that the
// ScratchArea starts in that page makes the driver stage images and glyphs
// there with plain stores, beside the registers it reaches through the
// accessors; the pixels must come out as the reference renderer draws them,
// and the machine must see no plain access to the block. (No cursor here:
// the CursorArea's place on such a board is the driver's own matter.)
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gd5436_fixture.h"
#include "harness.h"
#include "models/cirrus_blt.h"
#include "models/gd5436_adapter.h"

namespace {

using namespace gd5436test;

constexpr uint32_t kFourMegabytes = 0x400000;
constexpr uint32_t kSharedPage = 0x3FF000; // video memory and the register block
// 64 pixels a line, 1024 bytes apart: 4092 lines end where the shared page
// begins, so the ScratchArea (staging) starts there; what is compared stays
// small.
constexpr int kWidth = 64, kPitch = 1024, kHeight = int(kSharedPage / kPitch);

// The example board with its own "InstalledMemory" (reading the strap), the
// mode procedure reduced to its result (no timings for this screen).
graf::Config fourMegabyteConfig(const Build &b) {
    graf::Builder g;
    g.config() = harness::loadConfig("cirrus/gd5436/gd5446-4mb.graf");
    g.adapter(b.adapter)
        .integer("PIXWIDTH", kWidth)
        .integer("PIXHEIGHT", kHeight)
        .integer("DEPTH", b.depth)
        .integer("PITCH", kPitch)
        .procedure("SetGraphics", "result = 1");
    return g.build();
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

class Gd5436FourMegabytes : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().name, fourMegabyteConfig(GetParam()),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(4);
        blt().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::Gd5436Adapter &board() { return dynamic_cast<sim::Gd5436Adapter &>(*s->adapter()); }
    sim::CirrusBltCore &blt() { return board().blt(); }
    int clientBytes() const { return GetParam().pixelBytes == 3 ? 4 : GetParam().pixelBytes; }
    Pixel colour(uint32_t seed) const { return (0x5AC3E1u * (seed + 1)) & s->allPlanes(); }
    // Engine operations that read their source from the shared page.
    size_t stagedInTheSharedPage() {
        size_t n = 0;
        for (const sim::BltOp &op : blt().log())
            n += op.regs.srcAddr >= kSharedPage && op.regs.srcAddr < kFourMegabytes;
        return n;
    }

    std::unique_ptr<harness::Screen> s;
};

// Every chip of the family is built with 4 MB and straps it as code 3 with
// bit 7; the banked model (GD5434), which shares the strap, still refuses
// the size.
TEST(Gd5436FourMegabyteStrap, EveryChipOfTheFamilyIsBuiltWithFourMegabytes) {
    struct Case {
        const char *adapter;
        bool built;
    } cases[] = {{"gd5480", true}, {"gd5446", true}, {"gd5436", true}, {"gd5434", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.adapter);
        std::unique_ptr<sim::Machine> m = sim::Machine::make();
        // The gd6 model's default area is its bank window.
        const uint32_t area = c.built ? sim::Gd5436Adapter::kApertureSize : 0x10000;
        graf::Config cfg = graf::Builder()
                               .adapter(c.adapter)
                               .memory("", c.built ? 0xE0000000 : 0xA0000, area)
                               .integer("MEMSIZE", int(kFourMegabytes))
                               .build();
        if (!c.built) {
            EXPECT_THROW(sim::makeAdapter(cfg, *m), std::invalid_argument);
            continue;
        }
        std::unique_ptr<sim::Adapter> a = sim::makeAdapter(cfg, *m);
        auto &board = dynamic_cast<sim::Gd5436Adapter &>(*a);
        EXPECT_EQ(board.memSize(), kFourMegabytes);
        EXPECT_EQ(board.sr(0x0F) & 0x98, 0x98) << "code 3 in bits 4-3, and bit 7";
    }
}

// Near the end of video memory: fills, copies, images and text, each checked
// against the renderer; images and glyphs are staged in the shared page.
TEST_P(Gd5436FourMegabytes, DrawingBesideTheRegisterBlockMatchesTheRenderer) {
    const int bottom = kHeight;
    GCPtr gc = s->createGC({.alu = GXxor, .fg = colour(1)});
    s->fillRects(gc, {box(0, bottom - 40, kWidth, bottom - 30), box(5, bottom - 9, 60, bottom)});
    s->drawSolidRects({box(3, bottom - 20, 40, bottom - 2)}, colour(2), GXcopy);
    s->copyRect(box(10, bottom - 25, 50, bottom - 1), {0, int16_t(bottom - 70)}, GXcopy);
    s->copyRect(box(0, bottom - 60, 30, bottom - 50), {20, int16_t(bottom - 58)}, GXinvert);
    EXPECT_SCREEN_SAME(*s);

    // GXxor goes through the ScratchArea and one engine copy; GXcopy is the
    // processor's own.
    for (int alu : {GXxor, GXcopy, GXandInverted}) {
        SCOPED_TRACE(alu);
        const BoxRec b = box(7, bottom - 33, 52, bottom - 17);
        const int stride = (b.x2 - b.x1) * clientBytes() + 4;
        std::vector<uint8_t> px = randomBytes(size_t(stride) * size_t(b.y2 - b.y1), uint32_t(alu));
        s->drawImage(b, px, stride, alu);
    }
    EXPECT_SCREEN_SAME(*s);

    auto font = harness::Font::random(8, 13, 256, 3);
    s->drawText(box(1, bottom - 14, 1 + 7 * 8, bottom - 1), harness::textRun(7, 5), *font,
                colour(3), colour(4), GXcopy);
    s->drawText(box(4, bottom - 45, 4 + 6 * 8, bottom - 32), harness::textRun(6, 40), *font,
                colour(5), colour(6), GXcopy, ~0u, true);
    EXPECT_SCREEN_SAME(*s);
    EXPECT_GT(stagedInTheSharedPage(), 0u) << "nothing was staged beside the register block";

    const BoxRec back = box(2, bottom - 50, 61, bottom);
    EXPECT_EQ(s->readImage(back), s->expectedImage(back));
}

// The builds that take their pitch from the key PITCH; hadra24 runs on the
// GD5436 model, which the model also builds with 4 MB.
const Build kPitchBuilds[] = {kBuilds[4], kBuilds[5], kBuilds[6]};

INSTANTIATE_TEST_SUITE_P(PitchBuilds, Gd5436FourMegabytes, testing::ValuesIn(kPitchBuilds),
                         buildName);

} // namespace
