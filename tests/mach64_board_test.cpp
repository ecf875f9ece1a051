// The mach64 board model, register side: the command FIFO and its status
// bits, the engine reset, the REGS block behind graphics register 6, the
// aperture's block or its absence, the latched bus bits, the memory strap
// by chip class, the window's read pages and the boards it refuses.
#include "hwio.h"
#include "mach64_fixture.h"

namespace m64test {
namespace {

struct Bench {
    explicit Bench(graf::Config cfg)
        : screen("vandu", cfg,
                 {.reporter = [this](const std::string &m) { failures.push_back(m); }}) {}
    sim::Mach64Adapter &board() { return boardOf(screen); }
    uint8_t *area(const char *name) { return screen.machine().findArea(name)->host; }
    uint32_t *block() { return reinterpret_cast<uint32_t *>(area("REGS") + 0xFC00); }
    uint32_t in(int index) { return mmRead32(block() + index); }
    void out(int index, uint32_t v) { mmWrite32(block() + index, v); }

    std::vector<std::string> failures;
    harness::Screen screen;
};

graf::Config alwaysBoard() {
    return m64Config(kMerro);
}

TEST(Mach64Board, FifoStatusCountsQueuedEntries) {
    Bench b(alwaysBoard());
    b.out(GEN_TEST_CNTL, 0x100);
    for (int i = 0; i < 16; i++)
        b.out(DP_FRGD_CLR, uint32_t(i));
    EXPECT_EQ(b.board().queued(), 16);
    // Each status read lets the engine take one entry.
    EXPECT_EQ(b.in(FIFO_STAT), 0x7FFFu);
    EXPECT_EQ(b.in(GUI_STAT)&1, 1u);
    EXPECT_EQ(b.in(FIFO_STAT), 0x1FFFu);
    EXPECT_EQ(b.in(DP_FRGD_CLR), 15u) << "a read gives the value last written";
    EXPECT_EQ(b.board().engineReg(DP_FRGD_CLR), 2u);
    while (b.in(GUI_STAT)&1)
        ;
    EXPECT_EQ(b.in(FIFO_STAT), 0u);
    EXPECT_EQ(b.board().engineReg(DP_FRGD_CLR), 15u);
    EXPECT_TRUE(b.failures.empty());
}

TEST(Mach64Board, FullFifoOverrunsAndTheResetClearsIt) {
    Bench b(alwaysBoard());
    b.out(GEN_TEST_CNTL, 0x100);
    for (int i = 0; i < 17; i++)
        b.out(DP_MIX, uint32_t(i));
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("FIFO full"), std::string::npos) << b.failures[0];
    EXPECT_EQ(b.in(FIFO_STAT)&0x80000000u, 0x80000000u);
    EXPECT_EQ(b.in(DP_MIX), 15u) << "the 17th write was lost";
    b.out(GEN_TEST_CNTL, 0);
    EXPECT_EQ(b.in(FIFO_STAT), 0u) << "entries dropped, overrun cleared";
    EXPECT_EQ(b.board().resets(), 1);
    // With the engine off its registers take nothing.
    b.out(DP_MIX, 1);
    EXPECT_EQ(b.failures.size(), 2u);
    EXPECT_EQ(b.board().queued(), 0);
}

TEST(Mach64Board, RegsBlockBehindGraphicsRegister6) {
    Bench b(m64Config(kVandu));
    outpw(0x3CE, 0x0506);
    EXPECT_EQ(b.in(CONFIG_CHIP_ID), 0xFFFFFFFFu);
    b.out(CRTC_GEN_CNTL, 0x40);
    EXPECT_EQ(b.failures.size(), 2u);
    EXPECT_EQ(b.board().reg(CRTC_GEN_CNTL), 0u);
    outpw(0x3CE, 0x0106);
    EXPECT_EQ(b.in(CONFIG_CHIP_ID), 0x01004754u);
    b.out(CRTC_GEN_CNTL, 0x40);
    EXPECT_TRUE(b.board().blanked());
    EXPECT_EQ(b.failures.size(), 2u);
    // The aperture's block answers whatever register 6 says.
    outpw(0x3CE, 0x0506);
    EXPECT_EQ(mmRead32(b.area("APERTURE") + 0x3FFC00 + 4 * CONFIG_CHIP_ID), 0x01004754u);
    EXPECT_EQ(b.failures.size(), 2u);
}

TEST(Mach64Board, ApertureWithoutBlockFloats) {
    graf::Config cfg = m64Config(kTesk);
    cfg.flags.push_back("NO_APERTURE_REGS");
    Bench b(cfg);
    EXPECT_EQ(mmRead32(b.area("APERTURE") + 0x7FFC00 + 4 * CONFIG_CHIP_ID), 0xFFFFFFFFu);
    EXPECT_EQ(mmRead32(b.area("APERTURE") + 0x3FFC00 + 4 * CONFIG_CHIP_ID), 0xFFFFFFFFu);
    EXPECT_TRUE(b.failures.empty());
}

TEST(Mach64Board, BusBitsClearWhenWrittenWithOnes) {
    Bench b(alwaysBoard());
    b.out(BUS_CNTL, 0x12);
    b.board().latchBusError(0xA00000);
    EXPECT_EQ(b.in(BUS_CNTL), 0xA00012u);
    b.out(BUS_CNTL, 0x800012);
    EXPECT_EQ(b.in(BUS_CNTL), 0x200012u);
    b.out(BUS_CNTL, (b.in(BUS_CNTL)&0xFF00FFFF) | 0xAE0000);
    EXPECT_EQ(b.in(BUS_CNTL), 0x12u);
}

TEST(Mach64Board, FixturesFromTheConfiguration) {
    graf::Config cfg = alwaysBoard();
    cfg.flags.push_back("FIFO_OVERRUN");
    cfg.ints["BUS_ERROR"] = 0x800000;
    cfg.strings["ENGINE"] = "busy";
    Bench b(cfg);
    EXPECT_EQ(b.in(FIFO_STAT), 0x80000000u);
    EXPECT_EQ(b.in(BUS_CNTL), 0x800000u);
    EXPECT_EQ(b.in(GUI_STAT), 1u);
    b.out(GEN_TEST_CNTL, 0x100);
    b.out(GEN_TEST_CNTL, 0);
    EXPECT_EQ(b.in(FIFO_STAT), 0u);
    EXPECT_EQ(b.in(GUI_STAT), 1u) << "no reset helps a stuck engine";
}

TEST(Mach64Board, MemoryStrapByChipClass) {
    struct Case {
        uint32_t chipId;
        int memSize;
        uint32_t code;
    } cases[] = {
        {0x01004750, 0x100000, 1}, {0x00004750, 0x200000, 3},  {0x01004754, 0x400000, 7},
        {0x01005654, 0x600000, 9}, {0x0100475A, 0x7F0000, 11}, {0x00004754, 0x80000, 0},
        {0x00004758, 0x200000, 2}, {0x00004758, 0x7F0000, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chipId);
        harness::beginCase();
        graf::Config cfg = alwaysBoard();
        cfg.ints["CHIP_ID"] = int(c.chipId);
        cfg.ints["MEMSIZE"] = c.memSize;
        Bench b(cfg);
        EXPECT_EQ(b.in(MEM_CNTL), c.code);
        EXPECT_EQ(b.board().vram()->size(), size_t(c.memSize));
    }
}

TEST(Mach64Board, ReadPagesMoveTheWindow) {
    Bench b(alwaysBoard());
    uint8_t *vram = b.board().vram()->data();
    vram[3 * 0x8000 + 5] = 0xA5;
    vram[4 * 0x8000 + 6] = 0x5A;
    b.out(MEM_VGA_RP_SEL, 3 | 4 << 16);
    EXPECT_EQ(b.area("MEMORY")[5], 0xA5);
    EXPECT_EQ(b.area("MEMORY")[0x8000 + 6], 0x5A);
    EXPECT_TRUE(b.failures.empty());
    b.out(MEM_VGA_RP_SEL, 3 | 7 << 16);
    EXPECT_EQ(b.failures.size(), 1u);
}

TEST(Mach64Board, RefusesBoardsNeverMade) {
    struct Case {
        const char *name;
        void (*change)(graf::Config &);
    } cases[] = {
        {"MemorySize", [](graf::Config &c) { c.ints["MEMSIZE"] = 0x300000; }},
        {"NewClass512K",
         [](graf::Config &c) {
             c.ints["CHIP_ID"] = 0x01004750;
             c.ints["MEMSIZE"] = 0x80000;
         }},
        {"Window", [](graf::Config &c) { c.areas[0].length = 0x20000; }},
        {"ShortRegs", [](graf::Config &c) { c.areas[1].length = 0x8000; }},
        {"Aperture",
         [](graf::Config &c) {
             c.areas.push_back({"APERTURE", 0xE0000000, 0x200000});
         }},
        {"MemoryBeyondAperture",
         [](graf::Config &c) {
             c.ints["MEMSIZE"] = 0x400000;
             c.areas.push_back({"APERTURE", 0xE0000000, 0x400000});
         }},
        {"Engine", [](graf::Config &c) { c.strings["ENGINE"] = "slow"; }},
        {"Regs", [](graf::Config &c) { c.strings["REGS"] = "sometimes"; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness::beginCase();
        graf::Config cfg = alwaysBoard();
        c.change(cfg);
        EXPECT_THROW(harness::Screen("merro", cfg, quiet()), std::invalid_argument);
    }
}

// ---- the drawing engine's protocol ----

// The engine set up for 8-bit pixels on a 640-pixel pitch, all scissors
// open, GXcopy.
void engineReady(Bench &b) {
    b.out(GEN_TEST_CNTL, 0x100);
    const std::pair<int, uint32_t> setup[] = {
        {DST_OFF_PITCH, 80u << 22},
        {SC_LEFT_RIGHT, 0x7FFF0000u},
        {SC_TOP_BOTTOM, 0x7FFF0000u},
        {DP_WRITE_MASK, ~0u},
        {DP_MIX, 0x70007u},
        {DP_PIX_WIDTH, 0x20202u},
        {DST_CNTL, 3},
        {CLR_CMP_CNTL, 0},
    };
    for (auto [index, value] : setup)
        b.out(index, value);
    while (b.in(GUI_STAT)&1)
        ;
}

void waitIdle(Bench &b) {
    while (b.in(GUI_STAT)&1)
        ;
}

TEST(Mach64Engine, HostDataIsOwedClosedByOneZeroWordAndNeverUnasked) {
    Bench b(alwaysBoard());
    engineReady(b);
    uint8_t *vram = b.board().vram()->data();
    b.out(DP_SRC, 0x200);
    b.out(DST_Y_X, 3u << 16 | 2);
    b.out(DST_HEIGHT_WIDTH, 5u << 16 | 1);
    b.out(HOST_DATA0, 0x44332211);
    b.out(HOST_DATA0, 0xAAAAAA55);
    b.out(HOST_DATA0, 0);
    waitIdle(b);
    EXPECT_TRUE(b.failures.empty());
    EXPECT_EQ(std::vector<uint8_t>(vram + 2 * 640 + 3, vram + 2 * 640 + 9),
              (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x00}));

    b.out(HOST_DATA0, 0);
    waitIdle(b);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("no operation waits for"), std::string::npos) << b.failures[0];

    // A start while data is owed; a closing word that is not 0.
    b.out(DST_HEIGHT_WIDTH, 8u << 16 | 1);
    b.out(HOST_DATA0, 1);
    b.out(DST_HEIGHT_WIDTH, 4u << 16 | 1);
    b.out(HOST_DATA0, 1);
    b.out(HOST_DATA0, 7);
    waitIdle(b);
    ASSERT_EQ(b.failures.size(), 3u);
    EXPECT_NE(b.failures[1].find("owes 1 host data words"), std::string::npos) << b.failures[1];
    EXPECT_NE(b.failures[2].find("closing host data word 0x7"), std::string::npos) << b.failures[2];
}

TEST(Mach64Engine, IdleWaitWhileDataIsOwedIsReported) {
    Bench b(alwaysBoard());
    engineReady(b);
    b.out(DP_SRC, 0x200);
    b.out(DST_Y_X, 0);
    b.out(DST_HEIGHT_WIDTH, 9u << 16 | 1);
    b.out(HOST_DATA0, 1);
    waitIdle(b);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("still owes 2 host data words"), std::string::npos)
        << b.failures[0];
}

TEST(Mach64Engine, ProcessorMayNotTouchMemoryWhileTheEngineWorks) {
    Bench b(alwaysBoard());
    engineReady(b);
    volatile uint8_t *window = b.area("MEMORY");
    b.out(DP_SRC, 0x100);
    b.out(DP_FRGD_CLR, 0x77);
    b.out(DST_Y_X, 0);
    b.out(DST_HEIGHT_WIDTH, 4u << 16 | 2);
    (void)b.in(FIFO_STAT); // the FIFO may drain; the engine is still busy
    (void)window[0];
    (void)b.in(FIFO_STAT);
    ASSERT_EQ(b.failures.size(), 1u) << "a read while busy";
    waitIdle(b);
    EXPECT_EQ(window[641], 0x77);
    EXPECT_EQ(b.failures.size(), 1u);
}

TEST(Mach64Engine, DrawingOutsideVideoMemoryIsReported) {
    Bench b(alwaysBoard());
    engineReady(b);
    b.out(DP_SRC, 0x100);
    const uint32_t lines = uint32_t(b.board().vram()->size() / 640);
    b.out(DST_Y_X, lines);
    b.out(DST_HEIGHT_WIDTH, 1u << 16 | 2);
    waitIdle(b);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("outside video memory"), std::string::npos) << b.failures[0];
}

} // namespace
} // namespace m64test
