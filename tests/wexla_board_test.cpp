// The wexla board model on its own: the boards it refuses to be, and the
// faults of a clock transfer and of register accesses it reports, so that a
// driver making them fails its tests.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hwio.h"
#include "wexla_fixture.h"

namespace {

using namespace wexlatest;

struct Refusal {
    const char *name;
    std::function<void(graf::Config &)> change;
    const char *reason;
};

const Refusal kRefusals[] = {
    {"ThreeMegabytes", [](graf::Config &c) { c.ints["VIDEO_MEMORY"] = 0x300000; },
     "VIDEO_MEMORY is 1 or 2 MB, not 0x300000"},
    {"NoSuchClockPort", [](graf::Config &c) { c.ints["CLOCK_PORT"] = 0x3C3; },
     "CLOCK_PORT is 0x3C2, 0x7C88 or 0xF886, not 0x3C3"},
    {"MiscOutputNotAByte", [](graf::Config &c) { c.ints["MISC_OUTPUT"] = 0x100; },
     "MISC_OUTPUT is a byte, not 256"},
    {"WindowShort", [](graf::Config &c) { c.areas[0].length = 0x3FF000; },
     "the register window of 0x3FF000 bytes does not reach past 0x200000 and 0x200000 bytes of "
     "memory"},
};

class WexlaBoardRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(WexlaBoardRefusal, SaysWhy) {
    graf::Config cfg = harness::loadConfig(kMiscFile);
    GetParam().change(cfg);
    try {
        harness::Screen s("wexla", cfg, quiet());
        ADD_FAILURE() << "the board was built";
    } catch (const std::invalid_argument &e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("the simulated machine cannot be built: wexla board: ") +
                      GetParam().reason);
    }
}

INSTANTIATE_TEST_SUITE_P(All, WexlaBoardRefusal, testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

// A board with its synthesiser on port 0xF886, collecting what it reports.
struct Board {
    Board()
        : s("wexla", config(), {.reporter = [this](const std::string &m) { seen.push_back(m); }}) {
        sim::Machine::makeCurrent(&s.machine());
    }
    static graf::Config config() {
        graf::Config cfg = harness::loadConfig(kOliveFile);
        cfg.ints["PORT_F886"] = 0x10;
        return cfg;
    }
    void send(const std::vector<uint8_t> &bytes) {
        for (uint8_t b : bytes)
            ioOut8(0xF886, b);
    }
    std::vector<std::string> seen;
    harness::Screen s;
};

// A whole word from the port's value 0x10: unlock, start, 24 bits of 0,
// stop, without the port's value given back.
std::vector<uint8_t> wordWithoutRestore() {
    std::vector<uint8_t> out = {0x18};
    for (int i = 0; i < 5; i++)
        out.insert(out.end(), {0x18, 0x1C});
    out.insert(out.end(), {0x10, 0x14, 0x10, 0x14});
    for (int i = 0; i < 24; i++)
        out.insert(out.end(), {0x1C, 0x18, 0x10, 0x14});
    out.insert(out.end(), {0x1C, 0x18, 0x1C});
    return out;
}

TEST(WexlaBoardClockPort, TakesAWellFormedWordAndComesToRest) {
    Board b;
    b.send(wordWithoutRestore());
    EXPECT_FALSE(wexlaOf(b.s).clockPort().atRest());
    b.send({0x10});
    EXPECT_TRUE(wexlaOf(b.s).clockPort().atRest());
    EXPECT_EQ(wexlaOf(b.s).clockPort().synth().words(), std::vector<uint32_t>{0});
    EXPECT_TRUE(b.seen.empty()) << b.seen.front();
}

TEST(WexlaBoardClockPort, ReportsTheFaultsOfATransfer) {
    const struct {
        const char *name;
        std::vector<uint8_t> bytes;
        const char *report;
    } cases[] = {
        {"OtherBitChanged", {0x18, 0x08}, "bits outside the clock lines changed from 0x10 to 0x8"},
        {"NewTransferBeforeRestore",
         {},
         "a new transfer began before the port was given back 0x10"},
        {"TooFewUnlockPulses",
         {0x18, 0x18, 0x1C, 0x18, 0x1C, 0x10, 0x14},
         "clock synthesiser: start after 2 unlock pulses, not 5 or more"},
    };
    for (const auto &c : cases) {
        harness::beginCase();
        Board b;
        std::vector<uint8_t> bytes = c.bytes;
        if (bytes.empty()) {
            bytes = wordWithoutRestore();
            bytes.push_back(0x18);
        }
        b.send(bytes);
        ASSERT_FALSE(b.seen.empty()) << c.name;
        EXPECT_NE(b.seen.front().find(std::string("wexla board: port 0xF886: ") + c.report),
                  std::string::npos)
            << c.name << ": " << b.seen.front();
    }
}

TEST(WexlaBoardRegisters, OnlyWholeWordsOfKnownRegisters) {
    Board b;
    uint8_t *window = static_cast<uint8_t *>(b.s.graf().areas[0].mapped);
    mmWrite32(window + 0x100184, 2);
    EXPECT_EQ(mmRead32(window + 0x100184), 2u);
    EXPECT_TRUE(b.seen.empty());
    mmWrite16(window + 0x100138, 0x20);
    mmWrite32(window + 0x100140, 1);
    ioOut16(0xFC84, 1);
    ASSERT_EQ(b.seen.size(), 3u);
    EXPECT_NE(b.seen[0].find("16-bit write to register 0x100138"), std::string::npos) << b.seen[0];
    EXPECT_NE(b.seen[1].find("to 0x100140, where no register is"), std::string::npos) << b.seen[1];
    EXPECT_NE(b.seen[2].find("16-bit write to port 0xFC84"), std::string::npos) << b.seen[2];
}

// The picture's line is the sum of the system configuration's three fields.
TEST(WexlaBoardRegisters, PitchFromTheSystemConfiguration) {
    Board b;
    uint8_t *window = static_cast<uint8_t *>(b.s.graf().areas[0].mapped);
    const struct {
        uint32_t sysConfig, pitch;
    } cases[] = {{0x00600000, 1024}, {0x00560000, 640}, {0x00584000, 800}, {0, 0}};
    for (const auto &c : cases) {
        mmWrite32(window + 0x100004, c.sysConfig);
        EXPECT_EQ(wexlaOf(b.s).displayPitch(), c.pitch) << std::hex << c.sysConfig;
    }
}

} // namespace
