// Mach64 monochrome images through the engine model, compared with the
// reference renderer in the three builds at depths 8, 16 and 32: transparent
// and opaque expansion at every starting bit of two words, widths around a
// word and wider than the FIFO, the width test that hands a box wider than
// the screen to the server, and the host-data words where pixels cannot
// tell (the shift, the closing word, the FIFO waits).
#include <algorithm>
#include <dlfcn.h>
#include <random>

#include "mach64_fixture.h"

namespace m64test {
namespace {

struct MonoCase {
    Build build;
    int depth;
};

std::string monoCaseName(const testing::TestParamInfo<MonoCase> &info) {
    return std::string(info.param.build.driver) + std::to_string(info.param.depth);
}

std::vector<MonoCase> monoCases() {
    std::vector<MonoCase> out;
    for (const Build &b : kBuilds)
        for (int depth : {8, 16, 32})
            out.push_back({b, depth});
    return out;
}

// Random bits for `height` lines of `stride` bytes that end exactly where
// the last line's bits do: a read past them is the sanitizer's to see.
std::vector<uint8_t> monoBits(int startBit, int width, int height, int stride, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bits(size_t(stride * (height - 1) + (startBit + width + 7) / 8));
    for (uint8_t &b : bits)
        b = uint8_t(rng());
    return bits;
}

class Mach64Mono : public testing::TestWithParam<MonoCase> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(
            GetParam().build.driver, m64Config(GetParam().build, GetParam().depth), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        s->fillRandom(11);
    }
    Pixel colour(uint32_t seed) const { return (seed * 0x9E3779B1u) & s->allPlanes(); }
    std::unique_ptr<harness::Screen> s;
};

// Starting bits 0 to 63 (37: one word on, shift 5) at widths around a word
// and one wider than the FIFO (a one-entry wait before each of its words);
// the strict FIFO model reports any write past the room waited for.
TEST_P(Mach64Mono, EveryStartingBitAndWidthBothKinds) {
    const uint32_t masks[] = {~0u, 0x00F0F0F5u};
    for (int width : {1, 31, 32, 33, 600}) {
        for (int start = 0; start < 64; start++) {
            int alu = start % 16;
            uint32_t pm = masks[start % 2];
            int stride = (start + width + 31) / 32 * 4 + 4 * (start % 3);
            int height = width == 600 ? 2 : 3;
            std::vector<uint8_t> bits = monoBits(start, width, height, stride, uint32_t(start));
            int x = width == 600 ? start % 40 : (start * 19) % (640 - width);
            int y = start % (16 - height);
            BoxRec box = {int16_t(x), int16_t(y), int16_t(x + width), int16_t(y + height)};
            if (start % 2)
                s->drawMonoImage(box, bits, start, stride, colour(uint32_t(start)), alu, pm);
            else
                s->drawOpaqueMonoImage(box, bits, start, stride, colour(uint32_t(start)),
                                       colour(uint32_t(start) + 99), alu, pm);
        }
        SCOPED_TRACE("width " + std::to_string(width));
        EXPECT_SCREEN_SAME(*s);
    }
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
}

// As wide as the screen the engine draws; one pixel wider, the server does,
// with the call unchanged (the alu as its low byte).
TEST_P(Mach64Mono, ScreenWideBoxesAndWider) {
    int stride = 84;
    std::vector<uint8_t> bits = monoBits(3, 641, 4, stride, 5);
    s->drawMonoImage({0, 1, 640, 5}, bits, 3, stride, colour(1), GXxor);
    s->drawOpaqueMonoImage({0, 6, 640, 10}, bits, 3, stride, colour(2), colour(3), GXcopy);
    EXPECT_TRUE(server::genCallsOf("genDrawMonoImage").empty());
    EXPECT_TRUE(server::genCallsOf("genDrawOpaqueMonoImage").empty());
    EXPECT_SCREEN_SAME(*s);

    BoxRec wide = {0, 2, 641, 6};
    s->winOps()->DrawMonoImage(&wide, bits.data(), 3, stride, colour(4), 0x100 | GXor, 0xFF,
                               s->drawable());
    std::vector<server::GenCall> calls = server::genCallsOf("genDrawMonoImage");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], uint64_t(uintptr_t(&wide)));
    EXPECT_EQ(calls[0].args[1], uint64_t(uintptr_t(bits.data())));
    EXPECT_EQ(calls[0].args[2], 3u);
    EXPECT_EQ(calls[0].args[3], uint64_t(stride));
    EXPECT_EQ(calls[0].args[5], uint64_t(GXor));
    EXPECT_EQ(calls[0].args[6], 0xFFu);
    s->drawOpaqueMonoImage({0, 8, 641, 12}, bits, 3, stride, colour(5), colour(6), GXand);
    EXPECT_EQ(server::genCallsOf("genDrawOpaqueMonoImage").size(), 1u);
    // The server's routine draws through the driver's image slots; the
    // mirror takes the transparent one as well.
    ref::drawMonoImage(s->mirror(), wide, bits.data(), 3, stride, colour(4), GXor, 0xFF);
    EXPECT_SCREEN_SAME(*s);
}

// Equal colours fill the box whatever the bits; a box of no lines sets the
// data path up and sends nothing.
TEST_P(Mach64Mono, OpaqueWithEqualColoursAndEmptyBoxes) {
    std::vector<uint8_t> bits = monoBits(0, 70, 5, 12, 8);
    s->drawOpaqueMonoImage({30, 4, 100, 9}, bits, 0, 12, colour(7), colour(7), GXcopy);
    EXPECT_SCREEN_SAME(*s);
    for (int x = 30; x < 100; x++)
        EXPECT_EQ(s->mirror().get(x, 6), colour(7));

    sim::Mach64Engine &engine = boardOf(*s).engine();
    engine.clearLog();
    std::vector<uint8_t> none(8, 0xFF);
    for (BoxRec b : {BoxRec{10, 3, 40, 3}, BoxRec{10, 3, 10, 8}}) {
        s->winOps()->DrawMonoImage(&b, none.data(), 0, 4, colour(1), GXcopy, ~0u, s->drawable());
        s->winOps()->DrawOpaqueMonoImage(&b, none.data(), 0, 4, colour(1), colour(2), GXcopy, ~0u,
                                         s->drawable());
    }
    s->drain();
    EXPECT_TRUE(engine.log().empty());
    EXPECT_EQ(privateOf(*s).shadowDpSrc, DP_SRC_HOST_BITS);
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(All, Mach64Mono, testing::ValuesIn(monoCases()), monoCaseName);

// ---- host-data words ----

class Mach64MonoWords : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().driver, m64Config(GetParam()), quiet());
        ASSERT_TRUE(s->start()) << s->failureText();
        teskScreenPrivate &p = privateOf(*s);
        regsArea = p.aperture ? "APERTURE" : "REGS";
        blockOffset =
            p.aperture ? uint32_t(reinterpret_cast<uint8_t *>(p.regs) - p.aperture) : 0xFC00u;
    }
    // Each HOST_DATA0 write, and whether FIFO_STAT was read since the
    // block's previous write.
    struct HostWord {
        uint32_t value;
        bool waited;
    };
    std::vector<HostWord> hostWords() {
        std::vector<HostWord> out;
        int region = s->machine().regionIndex(regsArea);
        bool polled = false;
        for (const sim::Access &a : s->machine().trace()) {
            if (a.region != region || a.address < blockOffset || a.address >= blockOffset + 0x400)
                continue;
            int index = int((a.address - blockOffset) / 4);
            if (a.kind == sim::Access::MemRead && index == FIFO_STAT)
                polled = true;
            if (a.kind != sim::Access::MemWrite)
                continue;
            if (index == HOST_DATA0)
                for (uint32_t n = 0; n < a.repeat; n++)
                    out.push_back({a.value, polled && n == 0});
            polled = false;
        }
        return out;
    }
    std::unique_ptr<harness::Screen> s;
    std::string regsArea;
    uint32_t blockOffset = 0;
};

// Starting bit 37: the line starts at word 1 and every word sent is
// (word j >> 5) | (word j + 1 << 27); width 59 is two words, then the 0.
// The line's bits end in the bitmap's twelfth byte: the word after them is
// not read (the bitmap ends one byte later).
TEST_P(Mach64MonoWords, StartingBit37ShiftsByFive) {
    std::vector<uint8_t> bits = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD,
                                 0xEF, 0x10, 0x32, 0x54, 0x76, 0x98};
    s->machine().clearTrace();
    s->drawMonoImage({4, 2, 63, 3}, bits, 37, 16, 1, GXcopy);
    std::vector<HostWord> w = hostWords();
    ASSERT_EQ(w.size(), 3u);
    uint32_t w1 = 0xEFCDAB89u, w2 = 0x76543210u;
    EXPECT_EQ(w[0].value, w1 >> 5 | w2 << 27);
    EXPECT_EQ(w[1].value, w2 >> 5);
    EXPECT_EQ(w[2].value, 0u);
    EXPECT_SCREEN_SAME(*s);
}

// Up to 16 words a line share one wait; 19 words wait for one entry each.
TEST_P(Mach64MonoWords, WideLinesWaitBeforeEveryWord) {
    std::vector<uint8_t> bits = monoBits(0, 600, 2, 76, 3);
    s->machine().clearTrace();
    s->drawMonoImage({10, 4, 610, 6}, bits, 0, 76, 0x5A, GXxor);
    std::vector<HostWord> w = hostWords();
    ASSERT_EQ(w.size(), 2u * 20u);
    for (size_t i = 0; i < w.size(); i++)
        EXPECT_TRUE(w[i].waited) << "word " << i;
    EXPECT_SCREEN_SAME(*s);

    s->machine().clearTrace();
    std::vector<uint8_t> narrow = monoBits(0, 500, 1, 64, 4);
    s->drawMonoImage({0, 9, 500, 10}, narrow, 0, 64, 0x21, GXcopy);
    w = hostWords();
    ASSERT_EQ(w.size(), 17u);
    EXPECT_TRUE(w[0].waited);
    for (size_t i = 1; i < 16; i++)
        EXPECT_FALSE(w[i].waited) << "word " << i;
    EXPECT_TRUE(w[16].waited);
    EXPECT_SCREEN_SAME(*s);
}

// The exported entry sends a box whose data path the caller set up.
TEST_P(Mach64MonoWords, PackNSendIsExported) {
    void *lib = dlopen(harness::driverPath(GetParam().driver).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    std::string name =
        std::string(GetParam().driver == std::string("tesk") ? "TESK" : GetParam().driver) +
        "PackNSend";
    using PackNSend = void (*)(teskScreenPrivate *, uint32_t *, int, int, int, int, int, int);
    auto send = reinterpret_cast<PackNSend>(dlsym(lib, name.c_str()));
    dlclose(lib);
    ASSERT_NE(send, nullptr) << name;
    // A transparent expansion set up, then the bits sent by the entry.
    std::vector<uint8_t> bits = monoBits(9, 40, 3, 8, 6);
    BoxRec box = {100, 3, 140, 6};
    s->drawMonoImage(box, bits, 9, 8, 0x44, GXcopy);
    ref::drawMonoImage(s->mirror(), {200, 5, 240, 8}, bits.data(), 9, 8, 0x44, GXcopy, ~0u);
    s->call("PackNSend", [&] {
        send(&privateOf(*s), reinterpret_cast<uint32_t *>(bits.data()), 200, 5, 40, 3, 9, 8);
    });
    EXPECT_SCREEN_SAME(*s);
}

INSTANTIATE_TEST_SUITE_P(All, Mach64MonoWords, testing::ValuesIn(kBuilds), buildName);

} // namespace
} // namespace m64test
