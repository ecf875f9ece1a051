// What the nte tile and stipple tests share: a 640 x 48 board with a
// ScratchArea of 640 x 128, and a root window whose record counts the copies
// the layer makes through it (nfbReplicateArea).
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace ntetest {

inline BoxRec box(int x1, int y1, int x2, int y2) {
    return {int16_t(x1), int16_t(y1), int16_t(x2), int16_t(y2)};
}

// A 640 x 48 board whose OffScreenArea is 640 x `height` below the screen:
// the ScratchArea is its lower half.
inline graf::Config board640(const Build &b, int height) {
    graf::Config c = smallConfig(b);
    c.ints["OSX"] = 0;
    c.ints["OSY"] = 48;
    c.ints["OSWIDTH"] = 640;
    c.ints["OSHEIGHT"] = height;
    return c;
}

// Copies the layer makes through the window's CopyRect slot (nfbReplicateArea),
// counted with their destinations; the driver's own copies do not pass
// through the record.
inline int gLayerCopies = 0;
inline std::vector<BoxRec> gLayerDestinations;
inline CopyRectProc gDriverCopy = nullptr;
inline void countingCopy(BoxPtr dst, DDXPointPtr src, int alu, uint32_t pm, DrawablePtr d) {
    gLayerCopies++;
    gLayerDestinations.push_back(*dst);
    gDriverCopy(dst, src, alu, pm, d);
}

class NteTile : public testing::TestWithParam<Build> {
  protected:
    void start(const graf::Config &c) {
        s = std::make_unique<harness::Screen>(GetParam().name, c,
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
        // The root window gets a copy of the driver's record whose CopyRect
        // counts what the layer copies.
        ops = *s->winOps();
        gDriverCopy = ops.CopyRect;
        ops.CopyRect = countingCopy;
        NFB_WINDOW_PRIV(s->root())->ops = &ops;
        server::clearGenCalls();
    }
    void SetUp() override { start(board640(GetParam(), 256)); } // ScratchArea 640 x 128
    void TearDown() override {
        if (s)
            s->freeScreen();
    }

    sim::S3EngineCore &engine() { return board(*s).engine(); }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    // A tile of random client pixels and its stride.
    std::vector<uint8_t> tile(int w, int h, uint32_t seed, int *stride) {
        *stride = w * s->bytesPerPixel() + 4;
        std::vector<uint8_t> t(size_t(*stride * h));
        for (size_t i = 0; i < t.size(); i++)
            t[i] = uint8_t((i * 2654435761u + seed * 40503u) >> 13);
        return t;
    }
    // Blits the driver made itself since the last clearStats().
    uint64_t ownBlits() const {
        return board(*s).engine().stats().opsOf(sim::S3Op::Blit) - uint64_t(gLayerCopies);
    }
    void clearCounts() {
        engine().clearStats();
        gLayerCopies = 0;
        gLayerDestinations.clear();
        server::clearGenCalls();
    }
    void expectEngineDefaults() {
        const sim::S3Regs &r = engine().regs();
        EXPECT_EQ(r.pixelControl, 0xA000);
        EXPECT_EQ(r.readMask & s->allPlanes(), s->allPlanes());
    }

    std::unique_ptr<harness::Screen> s;
    WinOps ops{};
};

} // namespace ntetest
