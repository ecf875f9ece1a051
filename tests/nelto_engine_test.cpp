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
