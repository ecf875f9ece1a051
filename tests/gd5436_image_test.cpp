// The gd5436 drivers' image slots: pixel images under every alu and plane
// mask, read-back, and 1-bit images expanded by the engine, in every build on
// the simulated adapter with the strict BitBLT model. Pixels are compared with
// the reference renderer; staging is checked against the ScratchArea's limits
// with a canary in the CursorArea (the last kilobyte of video memory).
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gd5436_fixture.h"
#include "harness.h"
#include "models/cirrus_blt.h"
#include "models/gd5436_adapter.h"
#include "server.h"

namespace {

using namespace gd5436test;

// Screen layouts. Roomy: a ScratchArea of thousands of lines. Tight: pitch
// 640, 6 ScratchArea lines, the CursorArea reaching 256 bytes into the last
// of them. Cramped: pitch 424, one ScratchArea line of which only 48 bytes lie
// before the CursorArea. Full: pitch 512, one ScratchArea line that the
// CursorArea fills from its start, so nothing can be staged.
struct Layout {
    const char *name;
    int width, height;
    int pitch; // 0: the row plus 40 bytes
};
const Layout kRoomy = {"roomy", 96, 64, 0};
const Layout kTight = {"tight", 96, 812, 640};
const Layout kCramped = {"cramped", 96, 1234, 424};
const Layout kFull = {"full", 96, 1022, 512};

graf::Config configFor(const Build &b, const Layout &l) {
    return gd5436Config(b, l.width, l.height, l.pitch);
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = uint8_t(rng());
    return v;
}

class Gd5436Image : public ::testing::TestWithParam<Build> {
  protected:
    void start(const Layout &layout = kRoomy) {
        s = std::make_unique<harness::Screen>(GetParam().name, configFor(GetParam(), layout),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        plantCanary();
        server::clearGenCalls();
        blt().clearStats();
        blt().clearLog();
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::CirrusBltCore &blt() { return dynamic_cast<sim::Gd5436Adapter &>(*s->adapter()).blt(); }
    int pb() const { return GetParam().pixelBytes; }
    int clientBytes() const { return pb() == 3 ? 4 : pb(); }
    uint32_t all() const { return s->allPlanes(); }
    uint32_t partial() const { return s->allPlanes() & 0xA5F0F3u; }
    Pixel colour(uint32_t seed) const { return testColour(seed, s->allPlanes()); }
    uint8_t *vram() const { return s->screenMemory(); }

    // A pattern in the CursorArea that no staging may touch.
    void plantCanary() {
        s->drain();
        for (uint32_t i = 0; i < 1024; i++)
            vram()[kCursorArea + i] = uint8_t(i * 7 + 3);
    }
    void expectCanary() {
        s->drain();
        int touched = 0;
        for (uint32_t i = 0; i < 1024; i++)
            touched += vram()[kCursorArea + i] != uint8_t(i * 7 + 3);
        EXPECT_EQ(touched, 0) << "bytes of the CursorArea changed";
    }

    // A random client image for `b` with `extra` bytes after each row; at
    // depth 15 the pixels leave their top bit clear, as the server's do.
    std::vector<uint8_t> image(const BoxRec &b, int extra, uint32_t seed, int *stride) {
        *stride = (b.x2 - b.x1) * clientBytes() + extra;
        std::vector<uint8_t> v =
            randomBytes(size_t(*stride) * size_t(b.y2 - b.y1 > 0 ? b.y2 - b.y1 : 1), seed);
        if (GetParam().depth == 15)
            for (size_t i = 1; i < v.size(); i += 2)
                v[i] &= 0x7F;
        return v;
    }

    std::unique_ptr<harness::Screen> s;
};

// ---- pixel images ----

const std::vector<BoxRec> kImageBoxes = {
    box(0, 0, 1, 1),     box(0, 0, 96, 64),   box(3, 5, 40, 6),    box(95, 10, 96, 40),
    box(17, 20, 30, 51), box(60, 63, 93, 64), box(40, 40, 40, 50), // empty
};

// Every alu under an all-ones, a partial and an empty plane mask; strides
// longer than the row and odd widths.
TEST_P(Gd5436Image, DrawImageMatchesTheRendererUnderEveryAluAndPlaneMask) {
    start();
    uint32_t seed = 1;
    for (uint32_t pm : {all(), partial(), 0u}) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " planemask " + std::to_string(pm));
            for (const BoxRec &b : kImageBoxes) {
                int stride;
                std::vector<uint8_t> px = image(b, int(seed % 3) * 4 + 3, seed, &stride);
                s->drawImage(b, px, stride, alu, pm);
                seed++;
            }
            EXPECT_SCREEN_SAME(*s);
        }
    }
    expectCanary();
}

// GXcopy is the processor's copy; other alus with all planes are one engine
// copy from the ScratchArea; partial plane masks never reach the engine.
TEST_P(Gd5436Image, OtherAlusTakeOneEngineCopyFromTheScratchArea) {
    start();
    const BoxRec b = box(10, 20, 33, 31);
    int stride;
    std::vector<uint8_t> px = image(b, 8, 5, &stride);
    s->drawImage(b, px, stride, GXcopy);
    EXPECT_EQ(blt().stats().starts, 0u);
    s->drawImage(b, px, stride, GXxor, partial());
    EXPECT_EQ(blt().stats().starts, 0u);
    s->drawImage(b, px, stride, GXxor);
    ASSERT_EQ(blt().log().size(), 1u);
    const sim::BltOp &op = blt().log()[0];
    const uint32_t pitch = uint32_t(s->pitch());
    EXPECT_EQ(op.kind, sim::BltKind::CopyForward);
    EXPECT_EQ(op.regs.srcAddr, pitch * 64);
    EXPECT_EQ(op.regs.dstAddr, pitch * 20 + 10 * uint32_t(pb()));
    EXPECT_EQ(op.regs.width, 23 * pb() - 1);
    EXPECT_EQ(op.regs.height, 10);
    EXPECT_EQ(op.regs.srcPitch, pitch);
    EXPECT_EQ(op.regs.rop, sim::kCirrusRopCodes[GXxor]);
    EXPECT_FALSE(op.autostarted);
    EXPECT_SCREEN_SAME(*s);
}

// An image taller than the ScratchArea is halved until its parts fit; where
// not even one row fits before the CursorArea, the processor merges it.
TEST_P(Gd5436Image, TallImagesAreHalvedAndNeverReachTheCursorArea) {
    for (const Layout *l : {&kTight, &kCramped, &kFull}) {
        SCOPED_TRACE(l->name);
        start(*l);
        for (int alu : {GXxor, GXand, GXcopyInverted}) {
            const BoxRec boxes[] = {box(0, 0, 96, l->height), box(5, 100, 37, 113),
                                    box(90, 3, 96, 200)};
            for (const BoxRec &b : boxes) {
                int stride;
                std::vector<uint8_t> px = image(b, 12, uint32_t(alu + b.y1), &stride);
                s->drawImage(b, px, stride, alu);
            }
        }
        for (const sim::BltOp &op : blt().log())
            EXPECT_LE(op.regs.height + 1, l == &kTight ? 6 : 1);
        EXPECT_SCREEN_SAME(*s);
        expectCanary();
        s->freeScreen();
        s.reset();
    }
}

// What was drawn reads back; at 3 pixel bytes the client pixel's fourth byte
// is left as it was and the one written is ignored.
TEST_P(Gd5436Image, ReadImageGivesBackWhatWasDrawn) {
    start();
    const BoxRec b = box(7, 9, 58, 40);
    int stride;
    std::vector<uint8_t> px = image(b, 20, 3, &stride);
    s->drawImage(b, px, stride, GXcopy);
    std::vector<uint8_t> back = s->readImage(b, stride, 0xEE);
    EXPECT_EQ(back, s->expectedImage(b, stride, 0xEE));
    const int w = b.x2 - b.x1;
    for (int y = 0; y < b.y2 - b.y1; y++)
        for (int i = 0; i < w * clientBytes(); i++) {
            const size_t at = size_t(y * stride + i);
            const uint8_t want = (pb() == 3 && i % 4 == 3) ? 0xEE : px[at];
            ASSERT_EQ(back[at], want) << "row " << y << " byte " << i;
        }
    for (int y = 0; y < b.y2 - b.y1; y++) // beyond the row: untouched
        for (int i = w * clientBytes(); i < stride; i++)
            ASSERT_EQ(back[size_t(y * stride + i)], 0xEE);
}

// The builds whose video memory holds 3-byte pixels.
class Gd5436Image24 : public Gd5436Image {};

TEST_P(Gd5436Image24, ThreeBytePixelsArePackedLowByteFirst) {
    start();
    const uint32_t pitch = uint32_t(s->pitch());
    std::vector<uint8_t> px = {0x11, 0x22, 0x33, 0x99, 0x44, 0x55, 0x66, 0x77};
    s->drawImage(box(4, 2, 6, 3), px, 8, GXcopy);
    s->drain();
    const uint8_t *at = vram() + pitch * 2 + 12;
    EXPECT_EQ(std::vector<uint8_t>(at, at + 6),
              (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
    s->drawImage(box(4, 2, 6, 3), px, 8, GXxor);
    s->drain();
    EXPECT_EQ(std::vector<uint8_t>(at, at + 6), std::vector<uint8_t>(6, 0));
    s->syncMirror();
    vram()[pitch * 2 + 12] = 0x33;
    vram()[pitch * 2 + 13] = 0x22;
    vram()[pitch * 2 + 14] = 0x11;
    std::vector<uint8_t> got = s->readImage(box(4, 2, 5, 3), 4, 0xC7);
    EXPECT_EQ(got, (std::vector<uint8_t>{0x33, 0x22, 0x11, 0xC7}));
}

// Rows of every width from 1 to 24 pixels at an odd x, written and read back:
// rows go 16 and 4 pixels at a time and end with 1 to 4 pixels, and no row
// reaches past the box, on the screen or in the client's buffer (each image
// ends where its last row does).
TEST_P(Gd5436Image24, RowsOfEveryWidthMatchTheRendererAndReadBack) {
    start();
    for (int w = 1; w <= 24; w++) {
        SCOPED_TRACE("width " + std::to_string(w));
        const BoxRec b = box(3, 2 * w, 3 + w, 2 * w + 2);
        int stride;
        std::vector<uint8_t> px = image(b, 0, uint32_t(w), &stride);
        s->drawImage(b, px, stride, GXcopy);
        EXPECT_EQ(s->readImage(b, stride, 0x5C), s->expectedImage(b, stride, 0x5C));
    }
    EXPECT_SCREEN_SAME(*s);
}

// ---- 1-bit images ----

// Bitmap rows for a box of width w starting at `startBit`, `stride` bytes each.
std::vector<uint8_t> bitmap(int startBit, int w, int h, int extra, uint32_t seed, int *stride) {
    *stride = (startBit + w + 7) / 8 + extra;
    return randomBytes(size_t(*stride) * size_t(h), seed);
}

// Every starting bit from 0 to 31 at widths around 32 and at small ones,
// transparent and opaque, against the renderer.
TEST_P(Gd5436Image, MonoImagesMatchTheRendererForEveryStartingBit) {
    start();
    uint32_t seed = 100;
    for (int startBit = 0; startBit < 32; startBit++) {
        for (int w : {1, 7, 9, 31, 32, 33}) {
            SCOPED_TRACE("starting bit " + std::to_string(startBit) + " width " +
                         std::to_string(w));
            const int x = 1 + (startBit * 5 + w) % (96 - w), y = 1 + (startBit * 3) % 50;
            int stride;
            std::vector<uint8_t> bits = bitmap(startBit, w, 9, startBit % 3, seed++, &stride);
            s->drawMonoImage(box(x, y, x + w, y + 9), bits, startBit, stride, colour(seed),
                             startBit % 2 ? GXxor : GXcopy);
            s->drawOpaqueMonoImage(box(x, y + 3, x + w, y + 12), bits, startBit, stride,
                                   colour(seed + 1), colour(seed + 2),
                                   startBit % 2 ? GXcopy : GXor);
        }
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
    expectCanary();
}

TEST_P(Gd5436Image, MonoImagesMatchTheRendererUnderEveryAlu) {
    start();
    const BoxRec b = box(0, 1, 96, 30), edge = box(70, 50, 96, 64);
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE("alu " + std::to_string(alu));
        int stride;
        std::vector<uint8_t> bits = bitmap(13, 96, 29, 2, uint32_t(alu), &stride);
        s->drawMonoImage(b, bits, 13, stride, colour(uint32_t(alu)), alu);
        s->drawOpaqueMonoImage(edge, bits, 5, stride, colour(uint32_t(alu) + 1),
                               colour(uint32_t(alu) + 2), alu);
        EXPECT_SCREEN_SAME(*s);
    }
}

// The skip register counts bytes at 3 pixel bytes: the expansion starts l
// pixels left of the box and leaves them out.
TEST_P(Gd5436Image, TransparentBitmapSkipsTheLeadingBitsInPixelsOrBytes) {
    start();
    int stride;
    std::vector<uint8_t> bits = bitmap(13, 20, 4, 1, 9, &stride);
    s->drawMonoImage(box(30, 10, 50, 14), bits, 13, stride, colour(1), GXcopy);
    ASSERT_EQ(blt().log().size(), 1u);
    const sim::BltOp &op = blt().log()[0];
    EXPECT_EQ(op.kind, sim::BltKind::TransparentExpand);
    EXPECT_EQ(op.regs.skip, 5 * (pb() == 3 ? 3 : 1));
    EXPECT_EQ(op.regs.dstAddr, uint32_t(s->pitch()) * 10 + 25 * uint32_t(pb()));
    EXPECT_EQ(op.regs.width, 25 * pb() - 1);
    EXPECT_EQ(op.regs.height, 3);
    EXPECT_EQ(blt().regs().skip, 0);
    EXPECT_EQ(blt().regs().fg, 0u);
    EXPECT_SCREEN_SAME(*s);
}

// At 3 pixel bytes an opaque row is two transparent expansions, the second
// with the source inverted and the background in the foreground register.
TEST_P(Gd5436Image, OpaqueBitmapRowsAreExpandedOncePerRowOrTwiceAtThreeBytes) {
    start();
    int stride;
    std::vector<uint8_t> bits = bitmap(3, 40, 5, 0, 4, &stride);
    s->drawOpaqueMonoImage(box(20, 30, 60, 35), bits, 3, stride, colour(1), colour(2), GXcopy);
    const auto &log = blt().log();
    if (pb() == 3) {
        ASSERT_EQ(log.size(), 10u);
        for (size_t i = 0; i < log.size(); i++) {
            EXPECT_EQ(log[i].kind, sim::BltKind::TransparentExpand);
            EXPECT_EQ(log[i].regs.modeExt & sim::bltext::InvertSource, i % 2 ? 2 : 0);
            EXPECT_EQ(log[i].regs.fg & all(), i % 2 ? colour(2) : colour(1));
            EXPECT_EQ(log[i].regs.skip, 9);
        }
    } else {
        ASSERT_EQ(log.size(), 5u);
        for (const sim::BltOp &op : log) {
            EXPECT_EQ(op.kind, sim::BltKind::Expand);
            EXPECT_EQ(op.regs.skip, 3);
            EXPECT_TRUE(op.autostarted);
        }
    }
    EXPECT_FALSE(blt().autostart());
    EXPECT_EQ(blt().regs().skip, 0);
    EXPECT_SCREEN_SAME(*s);
}

// The generic routines get the bitmap advanced to the byte of its first pixel
// and the bits left in that byte.
TEST_P(Gd5436Image, BitmapsTheEngineCannotDrawGoToTheGenericRoutines) {
    start();
    int stride;
    std::vector<uint8_t> bits = bitmap(13, 30, 6, 1, 3, &stride);
    const Pixel fg = colour(1), bg = colour(2);
    struct Case {
        BoxRec b;
        int alu;
        uint32_t pm;
        bool transparentGeneric, opaqueGeneric;
    } cases[] = {
        {box(2, 0, 32, 6), GXcopy, all(), true, true},   // x0 = -3 on line 0
        {box(2, 1, 32, 7), GXcopy, all(), false, false}, // the same a line lower
        {box(10, 5, 40, 11), GXcopy, partial(), true, true},
        {box(10, 5, 40, 11), GXclear, all(), true, false},
        {box(10, 5, 40, 11), GXinvert, all(), true, false},
        {box(10, 5, 40, 11), GXset, all(), true, false},
        {box(10, 5, 40, 11), GXnoop, all(), false, false},
    };
    WinOps *ops = s->winOps();
    using server::arg;
    for (const Case &k : cases) {
        SCOPED_TRACE("box at " + std::to_string(k.b.x1) + "," + std::to_string(k.b.y1) + " alu " +
                     std::to_string(k.alu));
        server::clearGenCalls();
        BoxRec b = k.b;
        const int alu = 0x3300 | k.alu;
        ops->DrawMonoImage(&b, bits.data(), 13, stride, fg, alu, k.pm, s->drawable());
        ops->DrawOpaqueMonoImage(&b, bits.data(), 13, stride, fg, bg, alu, k.pm, s->drawable());
        const auto mono = server::genCallsOf("genDrawMonoImage");
        ASSERT_EQ(mono.size(), k.transparentGeneric ? 1u : 0u);
        if (k.transparentGeneric) {
            EXPECT_EQ(mono[0].args,
                      (std::vector<uint64_t>{arg(&b), arg(bits.data() + 1), arg(5), arg(stride),
                                             arg(fg), arg(k.alu), arg(k.pm), arg(s->drawable())}));
        }
        const auto opaque = server::genCallsOf("genDrawOpaqueMonoImage");
        ASSERT_EQ(opaque.size(), k.opaqueGeneric ? 1u : 0u);
        if (k.opaqueGeneric) {
            EXPECT_EQ(
                opaque[0].args,
                (std::vector<uint64_t>{arg(&b), arg(bits.data() + 1), arg(5), arg(stride), arg(fg),
                                       arg(bg), arg(k.alu), arg(k.pm), arg(s->drawable())}));
        }
    }
}

// Staging is measured in bytes: a tall narrow bitmap is halved until its
// packed rows fit before the CursorArea, and where not even a row fits (or an
// opaque row would run into the CursorArea) the generic routine draws it.
TEST_P(Gd5436Image, BitmapStagingStaysInsideTheScratchArea) {
    for (const Layout *l : {&kTight, &kCramped, &kFull}) {
        SCOPED_TRACE(l->name);
        start(*l);
        uint32_t seed = 50;
        for (int w : {1, 9, 17, 33, 90}) {
            const int h = l->height - 2;
            int stride;
            std::vector<uint8_t> bits = bitmap(6, w, h, 1, seed++, &stride);
            s->drawMonoImage(box(3, 1, 3 + w, 1 + h), bits, 6, stride, colour(seed), GXxor);
            s->drawOpaqueMonoImage(box(5, 2, 5 + w, 2 + h), bits, 6, stride, colour(seed + 1),
                                   colour(seed + 2), GXcopy);
        }
        EXPECT_SCREEN_SAME(*s);
        expectCanary();
        if (l == &kFull) {
            // No staging room at all: every bitmap is left to the generic
            // routines.
            EXPECT_FALSE(server::genCallsOf("genDrawMonoImage").empty());
            EXPECT_FALSE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
        } else {
            EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
            EXPECT_TRUE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
        }
        s->freeScreen();
        s.reset();
    }
}

// A call that finds the engine still running waits before it stages.
TEST_P(Gd5436Image, StagingWaitsForTheRunningOperation) {
    start();
    blt().setBusyReads(6);
    int stride;
    std::vector<uint8_t> px = image(box(0, 0, 40, 20), 0, 8, &stride);
    std::vector<uint8_t> bits = bitmap(0, 40, 20, 0, 9, &stride);
    const int bitStride = stride;
    for (int i = 0; i < 4; i++) {
        s->copyRect(box(10, 10, 50, 30), {11, 12}, GXcopy);
        s->drawImage(box(i, i, 40 + i, 20 + i), px, 40 * clientBytes(), GXxor);
        s->drawMonoImage(box(i, 30, 40 + i, 50), bits, 0, bitStride, colour(3), GXor);
        s->drawOpaqueMonoImage(box(i, 40, 40 + i, 60), bits, 0, bitStride, colour(4), colour(5),
                               GXcopy);
    }
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Image, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build> &info) {
                             return std::string(info.param.name);
                         });
INSTANTIATE_TEST_SUITE_P(Builds, Gd5436Image24,
                         ::testing::Values(kBuilds[3], kBuilds[6]), // brisko24, hadra24
                         [](const ::testing::TestParamInfo<Build> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
