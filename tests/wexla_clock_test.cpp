// wexla's clock synthesiser routines, called one at a time on the wexla
// board model: the exact port writes of each, and the direct-access
// routines, which nothing in the driver calls (this program builds the
// driver's clock source in to reach them).
#include <string>
#include <vector>

#include "wexla.h"
#include "wexla_fixture.h"

namespace {

using namespace wexlatest;

// A board with its synthesiser on `port`, the machine current, no driver.
struct Board {
    explicit Board(int port, int misc = 0xA7, int f886 = 0)
        : s("wexla", config(port, misc, f886), strict()) {
        sim::Machine::makeCurrent(&s.machine());
        s.machine().clearTrace();
    }
    static graf::Config config(int port, int misc, int f886) {
        graf::Config cfg = harness::loadConfig(kMiscFile);
        cfg.ints["CLOCK_PORT"] = port;
        cfg.ints["MISC_OUTPUT"] = misc;
        cfg.ints["PORT_F886"] = f886;
        // The clock line high, the data line low, other bits 0x2D.
        cfg.ints["PORT_7C88"] = 0xAD;
        return cfg;
    }
    sim::WexlaAdapter &board() { return wexlaOf(s); }
    harness::Screen s;
};

// The four writes of each of 24 bits, lowest first: complement with the
// clock high, complement with it low, the bit, the bit with the clock high.
std::vector<uint8_t> bitGroups(uint8_t m, uint8_t d, uint8_t k, uint32_t word) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 24; i++) {
        const uint8_t bit = (word >> i) & 1 ? d : 0, inv = static_cast<uint8_t>(bit ^ d);
        out.insert(out.end(), {static_cast<uint8_t>(m | inv | k), static_cast<uint8_t>(m | inv),
                               static_cast<uint8_t>(m | bit), static_cast<uint8_t>(m | bit | k)});
    }
    return out;
}

void append(std::vector<uint8_t> &to, const std::vector<uint8_t> &more) {
    to.insert(to.end(), more.begin(), more.end());
}

// Through the misc output: m is the value read with bits 2 and 3 cleared;
// every other bit keeps its value and the register ends as it was.
TEST(WexlaClockRoutines, MiscOutputSendsTheWordIn116Writes) {
    Board b(0x3C2);
    wexlaProgramICDesign(0);
    const uint8_t m = 0xA3;
    std::vector<uint8_t> want = {static_cast<uint8_t>(m | 8)};
    for (int i = 0; i < 5; i++)
        append(want, {static_cast<uint8_t>(m | 8), static_cast<uint8_t>(m | 0x0C)});
    append(want, {m, static_cast<uint8_t>(m | 4), m, static_cast<uint8_t>(m | 4)});
    append(want, bitGroups(m, 8, 4, 0));
    append(want, {static_cast<uint8_t>(m | 0x0C), static_cast<uint8_t>(m | 8),
                  static_cast<uint8_t>(m | 0x0C), static_cast<uint8_t>(m | 0x0C), 0xA7});
    EXPECT_EQ(portWrites(b.s, 0x3C2), want);
    EXPECT_EQ(want.size(), 116u);
    EXPECT_EQ(portAccesses(b.s, sim::Access::PortIn, 0x3CC), 1);
    EXPECT_EQ(b.board().clockPort().synth().words(), std::vector<uint32_t>{0});
    EXPECT_TRUE(b.board().clockPort().atRest());
    EXPECT_EQ(b.board().vga().misc.value(), 0xA7);
}

TEST(WexlaClockRoutines, PortF886StartsFromZeroWithSevenUnlockPulses) {
    Board b(0xF886);
    wexlaProgramICDesignOlive(0xA5A5A5);
    std::vector<uint8_t> want = {8};
    for (int i = 0; i < 7; i++)
        append(want, {8, 0x0C});
    append(want, {8, 0, 4, 0, 4});
    append(want, bitGroups(0, 8, 4, 0xA5A5A5));
    append(want, {0x0C, 8, 0x0C, 0, 0});
    EXPECT_EQ(portWrites(b.s, 0xF886), want);
    EXPECT_EQ(want.size(), 121u);
    EXPECT_EQ(b.board().clockPort().synth().words(), std::vector<uint32_t>{0xA5A5A5});
    EXPECT_TRUE(b.board().clockPort().atRest());
    EXPECT_EQ(b.s.machine().trace().size(), 121u) << "nothing is read";
}

TEST(WexlaClockRoutines, Port7C88UsesItsHighBitsAndKeepsTheRest) {
    Board b(0x7C88);
    wexlaProgramICDesignTulip(0x123456);
    const uint8_t m = 0x2D;
    std::vector<uint8_t> want = {static_cast<uint8_t>(m | 0x40)};
    for (int i = 0; i < 5; i++)
        append(want, {static_cast<uint8_t>(m | 0xC0), static_cast<uint8_t>(m | 0x40)});
    append(want, {m, static_cast<uint8_t>(m | 0x80), m, static_cast<uint8_t>(m | 0x80)});
    append(want, bitGroups(m, 0x40, 0x80, 0x123456));
    append(want, {static_cast<uint8_t>(m | 0xC0), static_cast<uint8_t>(m | 0x40),
                  static_cast<uint8_t>(m | 0xC0), static_cast<uint8_t>(m | 0xC0), 0xAD});
    EXPECT_EQ(portWrites(b.s, 0x7C88), want);
    EXPECT_EQ(b.board().clockPort().synth().words(), std::vector<uint32_t>{0x123456});
    EXPECT_TRUE(b.board().clockPort().atRest());
}

// The direct routines send the complement of the word shifted left by 4,
// every port access between interrupts off and on.
TEST(WexlaClockRoutines, DirectRoutinesSendTheShiftedComplementWithInterruptsOff) {
    const uint32_t word = 0x0ABCDE;
    const uint32_t sent = ~(word << 4) & 0xFFFFFF;
    const struct {
        const char *name;
        void (*routine)(uint32_t);
        int port;
        int f886; // the port's value beforehand
    } cases[] = {{"wexlapr1", wexlapr1, 0x3C2, 0},
                 {"wexlapr2", wexlapr2, 0x3C2, 0},
                 {"wexlapr1Olive", wexlapr1Olive, 0xF886, 0},
                 {"wexlapr2Olive", wexlapr2Olive, 0xF886, 0xA7}};
    for (const auto &c : cases) {
        harness::beginCase();
        Board b(c.port, 0xA7, c.f886);
        c.routine(word);
        EXPECT_EQ(b.board().clockPort().synth().words(), std::vector<uint32_t>{sent}) << c.name;
        const auto &steps = b.s.machine().cpuSteps();
        ASSERT_EQ(steps.size(), 2u) << c.name;
        EXPECT_EQ(steps[0].kind, sim::Machine::CpuStep::InterruptsOff);
        EXPECT_EQ(steps[0].at, 0u) << c.name;
        EXPECT_EQ(steps[1].kind, sim::Machine::CpuStep::InterruptsOn);
        EXPECT_EQ(steps[1].at, b.s.machine().trace().size()) << c.name;
        EXPECT_TRUE(b.s.machine().interruptsEnabled());
        // The misc output is read back at its read port and never written
        // there; it ends with the value it had.
        EXPECT_EQ(portAccesses(b.s, sim::Access::PortOut, 0x3CC), 0) << c.name;
        EXPECT_EQ(b.board().vga().misc.value(), 0xA7) << c.name;
    }
}

} // namespace
