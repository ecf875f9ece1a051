// The nelto engine model's protocol, as a driver that gets it wrong meets it:
// host data counted per row, register writes and status reads while host
// words are owed, processor access while busy, the finite command queue,
// commands while stopped, the start that needs 20 ms, and engine access
// without the register decoding.
#include "hwio.h"
#include "nelto_fixture.h"

namespace neltotest {
namespace {

class NeltoEngineProtocol : public testing::Test {
  public:
    void SetUp() override { start(neltoConfig(64, 16, 8)); }
    void start(const graf::Config &cfg) {
        s = std::make_unique<harness::Screen>(
            "nelto", cfg,
            harness::Options{.reporter = [this](const std::string &m) { reported.push_back(m); }});
        ASSERT_TRUE(s->start()) << s->failureText();
        ASSERT_TRUE(reported.empty()) << reported[0];
        regs = neltoOf(*s).memory() + 0x1000000;
        engine().setBusyReads(2);
        engine().clearLog();
    }
    sim::NeltoEngine &engine() { return neltoOf(*s).neltoEngine(); }
    void write(uint32_t offset, uint32_t v) { mmWrite32(regs + offset, v); }
    uint32_t status() { return mmRead32(regs + 0x8504); }
    void idle() {
        while (!(status() & 0x2000))
            ;
    }
    bool saw(const std::string &what) {
        for (const std::string &m : s->machine().failures())
            if (m.find(what) != std::string::npos)
                return true;
        return false;
    }
    // A 9 x 2 monochrome expansion at (1, 1): two words a row.
    void startMono() {
        idle();
        write(0xA500, 0x06000BE3u | (0xCCu << 17));
        write(0xA508, 0);
        write(0xA504, 8u << 16 | 2u);
        write(0xA50C, 1u << 16 | 1u);
    }

    std::unique_ptr<harness::Screen> s;
    std::vector<std::string> reported;
    uint8_t *regs = nullptr;
};

// Pattern fills over memory that holds other values, each pixel as the
// per-pixel rule has it (the pattern bit picks the colour, then the code
// with no source): codes that leave the destination unread and ones that
// read it; patterns of one bit value, mixed ones, and mixed ones of one
// colour; with and without the clip; from either corner.
TEST_F(NeltoEngineProtocol, PatternFillsMatchThePerPixelRule) {
    uint8_t *mem = neltoOf(*s).vram()->data();
    const size_t size = neltoOf(*s).vram()->size();
    constexpr uint32_t kStride = 64;
    const uint8_t codes[] = {0xF0, 0x00, 0xFF, 0x0F, 0x5A, 0xAA};
    const uint64_t patterns[] = {0, ~uint64_t{0}, 0x8142241818244281ull};
    struct Colours {
        uint32_t fg, bg;
    } colours[] = {{0x5C, 0xA3}, {0x77, 0x77}};
    uint32_t seed = 7;
    std::vector<uint8_t> want(size);
    for (bool clip : {false, true})
        for (bool forward : {true, false})
            for (uint64_t pattern : patterns)
                for (const Colours &c : colours)
                    for (uint8_t code : codes) {
                        SCOPED_TRACE(std::string(clip ? "clip" : "no clip") +
                                     (forward ? ", forward" : ", backward") + ", pattern " +
                                     std::to_string(pattern) + ", fg " + std::to_string(c.fg) +
                                     ", code " + std::to_string(code));
                        for (size_t i = 0; i < 16 * kStride; i++) {
                            seed = seed * 1103515245u + 12345u;
                            mem[i] = uint8_t(seed >> 16);
                        }
                        std::copy(mem, mem + size, want.begin());
                        const int x0 = forward ? 5 : 25, y0 = forward ? 3 : 9, w = 21, h = 7;
                        const int left = 8, right = 30, top = 4, bottom = 12;
                        for (int r = 0; r < h; r++)
                            for (int i = 0; i < w; i++) {
                                const int x = forward ? x0 + i : x0 - i;
                                const int y = forward ? y0 + r : y0 - r;
                                if (clip && (x < left || x > right || y < top || y > bottom))
                                    continue;
                                const uint8_t row = uint8_t(pattern >> (8 * (y & 7)));
                                const uint8_t p = uint8_t((row >> (7 - (x & 7))) & 1 ? c.fg : c.bg);
                                uint8_t &d = want[size_t(y) * kStride + size_t(x)];
                                uint8_t v = 0;
                                for (int bit = 0; bit < 8; bit++)
                                    v |= uint8_t(
                                        ((code >> (((p >> bit) & 1) * 4 + ((d >> bit) & 1))) & 1)
                                        << bit);
                                d = v;
                            }
                        idle();
                        write(0xA4D8, 0);                       // destination base
                        write(0xA4E4, kStride << 16 | kStride); // strides
                        write(0xA4DC, uint32_t(left) << 16 | uint32_t(right));
                        write(0xA4E0, uint32_t(top) << 16 | uint32_t(bottom));
                        write(0xA4E8, uint32_t(pattern));
                        write(0xA4EC, uint32_t(pattern >> 32));
                        write(0xA4F4, c.fg);
                        write(0xA4F0, c.bg);
                        uint32_t cmd = 0x16000123u | uint32_t(code) << 17;
                        if (!clip)
                            cmd &= ~0x2u;
                        if (!forward)
                            cmd &= ~0x6000000u;
                        write(0xA500, cmd);
                        write(0xA504, uint32_t(w - 1) << 16 | uint32_t(h));
                        write(0xA508, 0);
                        write(0xA50C, uint32_t(x0) << 16 | uint32_t(y0));
                        idle();
                        size_t differ = 0, first = 0;
                        for (size_t i = 0; i < size; i++)
                            if (mem[i] != want[i] && differ++ == 0)
                                first = i;
                        EXPECT_EQ(differ, 0u) << "the first at offset " << first;
                        ASSERT_TRUE(s->machine().failures().empty())
                            << s->machine().failures().front();
                    }
}

TEST_F(NeltoEngineProtocol, HostWordsArePaddedRows) {
    startMono();
    EXPECT_EQ(engine().wordsOwed(), 2u);
    write(0x0000, 0x000080FFu);
    write(0x0000, 0x00000080u);
    EXPECT_EQ(engine().wordsOwed(), 0u);
    ASSERT_EQ(engine().log().size(), 1u);
    idle();
    EXPECT_TRUE(s->machine().failures().empty());
}

struct Mistake {
    const char *name;
    void (*act)(NeltoEngineProtocol &);
    const char *message;
};

TEST_F(NeltoEngineProtocol, MistakesAreReported) {
    const Mistake mistakes[] = {
        {"register write while owed", [](NeltoEngineProtocol &t) { t.write(0xA4F4, 1); },
         "register write of 0x1 at 0xA4F4 while 2 host data words"},
        {"status read while owed", [](NeltoEngineProtocol &t) { t.status(); },
         "status read while 2 host data words"},
        {"surplus word",
         [](NeltoEngineProtocol &t) {
             t.write(0, 0);
             t.write(0, 0);
             t.write(0, 0);
         },
         "host data word 0x0 with none owed"},
        {"drained while owed", [](NeltoEngineProtocol &t) { t.s->drain(); },
         "the engine was drained while 2 host data words"},
    };
    for (const Mistake &m : mistakes) {
        SCOPED_TRACE(m.name);
        startMono();
        m.act(*this);
        EXPECT_TRUE(saw(m.message)) << s->failureText();
        engine().drain();
    }
}

TEST_F(NeltoEngineProtocol, ProcessorAccessWhileBusyIsReported) {
    idle();
    write(0xA500, 0x16000123u | (0xF0u << 17));
    write(0xA504, 3u << 16 | 2u);
    write(0xA50C, 0);
    ASSERT_TRUE(engine().busy());
    volatile uint8_t *fb = neltoOf(*s).memory();
    fb[100] = 1;
    EXPECT_FALSE(s->machine().failures().empty());
}

// Writes made while a command runs wait in a 16-entry queue that gives back
// an entry per status read; one-pixel commands never fill it.
TEST_F(NeltoEngineProtocol, TheCommandQueueHoldsSixteenWrites) {
    engine().setBusyReads(40);
    idle();
    write(0xA500, 0x16000123u | (0xF0u << 17));
    write(0xA504, 3u << 16 | 2u);
    write(0xA50C, 0); // starts: busy from here
    for (int i = 0; i < 16; i++)
        write(0xA4F4, uint32_t(i));
    EXPECT_EQ(engine().queued(), 16);
    EXPECT_TRUE(s->machine().failures().empty()) << s->failureText();
    status();
    write(0xA4F4, 16); // the entry the read gave back
    EXPECT_TRUE(s->machine().failures().empty()) << s->failureText();
    write(0xA4F4, 17);
    EXPECT_TRUE(saw("register write of 0x11 at 0xA4F4 with the command queue full (16 entries)"));
    idle();
    EXPECT_EQ(engine().queued(), 0);

    // Points: each a one-pixel fill, done before the next write arrives.
    reported.clear();
    write(0xA504, 1);
    for (int i = 0; i < 40; i++)
        write(0xA50C, uint32_t(i) << 16 | 3u);
    EXPECT_EQ(engine().queued(), 0);
    EXPECT_TRUE(reported.empty()) << reported[0];
}

TEST_F(NeltoEngineProtocol, CommandsNeedAKnownTypeAndFormat) {
    idle();
    write(0xA504, 0u << 16 | 1u);
    write(0xA500, 0x08000001u); // type 1
    write(0xA50C, 0);
    EXPECT_TRUE(saw("type 1"));
    write(0xA500, 0x1600013Fu); // format 7
    write(0xA50C, 0);
    EXPECT_TRUE(saw("destination format 7"));
}

TEST_F(NeltoEngineProtocol, AccessWithoutDecodingIsReported) {
    neltoOf(*s).vga().crtc.setReg(0x59, 0xD0);
    status();
    EXPECT_TRUE(saw("the linear window is at 0xD0000000"));
    neltoOf(*s).vga().crtc.setReg(0x59, 0xE0);
    neltoOf(*s).vga().crtc.setReg(0x53, 0x00);
    status();
    EXPECT_TRUE(saw("memory-mapped registers are off"));
}

// After a reset the engine reads stopped until 20 ms of machine time have
// passed since the command that followed the release.
TEST_F(NeltoEngineProtocol, StartNeedsHoldReleaseCommandAndTime) {
    write(0x8504, 0x8000);
    EXPECT_EQ(status() & 0x2000, 0u);
    write(0x8504, 0x4000);
    write(0xA500, 0x78010002u);
    EXPECT_EQ(status() & 0x2000, 0u);
    s->machine().advance(19999);
    EXPECT_EQ(status() & 0x2000, 0u);
    write(0xA500, 0x16000123u);
    write(0xA50C, 0);
    EXPECT_TRUE(saw("started while the engine is stopped"));
    s->machine().advance(1);
    EXPECT_EQ(status() & 0x2000, 0x2000u);
    // Release without hold does nothing.
    write(0x8504, 0x4000);
    write(0xA500, 0x78010002u);
    EXPECT_EQ(status() & 0x2000, 0x2000u);
}

} // namespace
} // namespace neltotest
