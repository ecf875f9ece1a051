// The fuska board and 2D engine models against hand-worked pixels and their
// protocol: operations on a small video memory, the generic ROP3 evaluation,
// the register lanes, and the strictness that catches a driver's missing
// waits and wrong accesses. Registers are reached through the accessors, as
// a driver reaches them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "adapter.h"
#include "hwio.h"
#include "models/fuska_adapter.h"
#include "refrender.h"

namespace {

namespace R = sim::fuskareg;
namespace DD = sim::fuskadd;

constexpr uint32_t kMem = 0x10000;
constexpr uint32_t kPitch = 5 * 128;

class FuskaEngineModel : public testing::Test {
  public:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        m->setFailureHandler([this](const std::string &f) { failures.push_back(f); });
        cfg = graf::Builder()
                  .adapter("fuska")
                  .integer("MEMSIZE", kMem)
                  .memory("", 0xE0000000, kMem)
                  .memory("REGS", 0xE1000000, 0x1000)
                  .build();
        adapter = sim::makeAdapter(cfg, *m);
        ASSERT_NE(adapter, nullptr);
        a = dynamic_cast<sim::FuskaAdapter *>(adapter.get());
        regs = a->registers();
        fb = a->frameBuffer();
        mem = a->vram()->data();
        setMode(1);
    }

    void w8(uint32_t off, uint8_t v) { mmWrite8(regs + off, v); }
    void w16(uint32_t off, uint16_t v) { mmWrite16(regs + off, v); }
    void w32(uint32_t off, uint32_t v) { mmWrite32(regs + off, v); }
    uint16_t status() { return mmRead16(regs + R::Status); }
    void waitIdle() {
        for (int i = 0; i < 100 && (status() & 7); i++) {
        }
    }
    void setMode(int bytesPerPixel, int tiles = 5) {
        w16(R::PixelSize, uint16_t((bytesPerPixel - 1) << 13));
        w8(R::TilesPerLine, uint8_t(tiles));
        w16(R::EngineTiling, uint16_t(tiles << 8 | 0x80));
        n = bytesPerPixel;
    }
    static uint32_t xy(int x, int y) { return uint32_t(y) << 16 | uint32_t(x); }
    void run(uint32_t dd, uint32_t dst, int w, int h, uint32_t planeMask = ~0u) {
        w32(R::DrawDefinition, dd);
        w32(R::PlaneMask, planeMask);
        w32(R::Destination, dst);
        w32(R::Extent, xy(w, h));
        waitIdle();
    }
    uint32_t px(int x, int y) const {
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v |= uint32_t(mem[uint32_t(y) * kPitch + uint32_t(x * n + i)]) << (8 * i);
        return v;
    }
    void put(int x, int y, uint32_t v) {
        for (int i = 0; i < n; i++)
            mem[uint32_t(y) * kPitch + uint32_t(x * n + i)] = uint8_t(v >> (8 * i));
    }

    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<sim::Adapter> adapter;
    sim::FuskaAdapter *a = nullptr;
    uint8_t *regs = nullptr, *fb = nullptr, *mem = nullptr;
    int n = 1;
    std::vector<std::string> failures;
};

// The ROP3 codes of the sixteen X functions, evaluated generically, against
// the reference renderer's alus, and two codes that read the pattern.
TEST_F(FuskaEngineModel, Rop3CodesMatchTheXFunctions) {
    const uint8_t codes[16] = {0x00, 0x88, 0x44, 0xCC, 0x22, 0xAA, 0x66, 0xEE,
                               0x11, 0x99, 0x55, 0xDD, 0x33, 0xBB, 0x77, 0xFF};
    for (int alu = 0; alu < 16; alu++) {
        SCOPED_TRACE(alu);
        for (int x = 0; x < 4; x++)
            put(x, 0, 0xC5);
        w32(R::Background, 0x3A3A3A3A);
        run(DD::Fill | codes[alu], xy(0, 0), 4, 1);
        EXPECT_EQ(px(2, 0), ref::applyAlu(alu, 0x3A, 0xC5) & 0xFF);
    }
    // The source feeds the pattern operand too: 0xF0 copies, 0x0F inverts.
    w32(R::Background, 0x3A3A3A3A);
    run(DD::Fill | 0xF0, xy(0, 1), 1, 1);
    EXPECT_EQ(px(0, 1), 0x3Au);
    run(DD::Fill | 0x0F, xy(0, 1), 1, 1);
    EXPECT_EQ(px(0, 1), 0xC5u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(FuskaEngineModel, ColourAndMaskLanesFollowTheAddress) {
    w32(R::Background, 0x44332211);
    run(DD::Fill | 0xCC, xy(0, 0), 8, 1);
    EXPECT_EQ(px(0, 0), 0x11u);
    EXPECT_EQ(px(1, 0), 0x22u);
    EXPECT_EQ(px(6, 0), 0x33u);
    run(DD::Fill | 0xFF, xy(0, 1), 4, 1, 0x0F00F0FF);
    EXPECT_EQ(px(0, 1), 0xFFu);
    EXPECT_EQ(px(1, 1), 0xF0u);
    EXPECT_EQ(px(2, 1), 0x00u);
    EXPECT_EQ(px(3, 1), 0x0Fu);

    setMode(2);
    w32(R::Background, 0xBBBBAAAA);
    run(DD::Fill | 0xCC, xy(0, 2), 2, 1);
    EXPECT_EQ(px(0, 2), 0xAAAAu);
    EXPECT_EQ(px(1, 2), 0xBBBBu);

    setMode(3);
    w32(R::Background, 0x99ABCDEF);
    run(DD::Fill | 0xCC, xy(0, 3), 2, 1, 0xFF00FFFF);
    EXPECT_EQ(px(1, 3), 0x00CDEFu);    // the mask leaves the top byte
    EXPECT_EQ(mem[3 * kPitch + 6], 0); // the next pixel
    EXPECT_TRUE(failures.empty());
}

// Fills at every pixel size over memory that holds other values, from odd
// columns and over several rows: with codes that leave the destination
// unread and ones that read it, with the whole plane mask and part of it.
// Every byte is as the per-pixel rule leaves it: the colour and the mask
// lane the byte address picks, then the code.
TEST_F(FuskaEngineModel, FillsMatchThePerPixelRule) {
    const uint8_t codes[] = {0xCC, 0xF0, 0x00, 0xFF, 0x33, 0x66, 0x88, 0x5A};
    uint32_t seed = 99;
    for (int bytes = 1; bytes <= 3; bytes++)
        for (uint32_t mask : {~0u, 0xF00FFF0Fu})
            for (uint8_t code : codes) {
                SCOPED_TRACE(std::to_string(bytes) + " bytes, code " + std::to_string(code) +
                             ", plane mask " + std::to_string(mask));
                setMode(bytes);
                for (uint32_t i = 0; i < kMem; i++) {
                    seed = seed * 1103515245u + 12345u;
                    mem[i] = uint8_t(seed >> 16);
                }
                std::vector<uint8_t> want(mem, mem + kMem);
                const uint32_t colour = 0x8C4A2E17;
                const int x0 = 3, y0 = 2, w = 13, h = 4;
                for (int y = y0; y < y0 + h; y++)
                    for (int x = x0; x < x0 + w; x++)
                        for (int k = 0; k < bytes; k++) {
                            const uint32_t at = uint32_t(y) * kPitch + uint32_t(x * bytes + k);
                            // The byte lane of the registers this byte takes.
                            const uint32_t pixelAt = at - uint32_t(k);
                            const int shift = bytes == 1   ? 8 * int(pixelAt & 3)
                                              : bytes == 2 ? 8 * int(pixelAt & 2)
                                                           : 0;
                            const uint8_t s = uint8_t(colour >> (shift + 8 * k));
                            const uint8_t m = uint8_t(mask >> (shift + 8 * k));
                            const uint8_t d = want[at];
                            uint8_t r = 0;
                            for (int bit = 0; bit < 8; bit++) {
                                const int sb = (s >> bit) & 1, db = (d >> bit) & 1;
                                r |= uint8_t(((code >> (sb * 6 + db)) & 1) << bit);
                            }
                            want[at] = uint8_t((d & ~m) | (r & m));
                        }
                w32(R::Background, colour);
                run(DD::Fill | code, xy(x0, y0), w, h, mask);
                size_t differ = 0, first = 0;
                for (size_t i = 0; i < kMem; i++)
                    if (mem[i] != want[i] && differ++ == 0)
                        first = i;
                EXPECT_EQ(differ, 0u) << "the first at offset " << first;
                ASSERT_TRUE(failures.empty()) << failures.front();
            }
}

TEST_F(FuskaEngineModel, CopiesInTheirOrder) {
    for (int x = 0; x < 8; x++)
        put(x, 0, uint32_t(x + 1));
    // Same rows, source left of the destination in one operation: it smears
    // as the chip does.
    w32(R::Source, xy(0, 0));
    run(DD::Copy | 0xCC, xy(2, 0), 6, 1);
    EXPECT_EQ(px(7, 0), 2u);
    EXPECT_EQ(px(4, 0), 1u);

    // Bottom-up: the positions name the bottom rows.
    for (int y = 0; y < 4; y++)
        put(0, y, uint32_t(0x10 + y));
    w32(R::Source, xy(0, 2));
    run(DD::BottomUp | DD::Copy | 0xCC, xy(0, 3), 1, 3);
    EXPECT_EQ(px(0, 3), 0x12u);
    EXPECT_EQ(px(0, 2), 0x11u);
    EXPECT_EQ(px(0, 1), 0x10u);
    EXPECT_EQ(px(0, 0), 0x10u);
    ASSERT_EQ(a->engine().log().size(), 2u);
    EXPECT_TRUE(a->engine().log()[1].bottomUp);
    EXPECT_TRUE(failures.empty());
}

TEST_F(FuskaEngineModel, ColourExpansionTakesTheLowBitFirst) {
    // Line 10 from bit 4, low bit first: pixels 0 to 5 are 1 0 1 1 1 1.
    mem[10 * kPitch + 0] = 0xD0; // bits 4, 6, 7
    mem[10 * kPitch + 1] = 0x03; // bits 8, 9
    w32(R::Foreground, 0x77777777);
    w32(R::Background, 0x55555555);
    for (int x = 0; x < 8; x++)
        put(x, 0, 0xEE);
    w32(R::MonoSource, xy(4, 10));
    w32(R::MonoSource2, xy(4, 10));
    run(DD::ExpandTransparent | 0xCC, xy(0, 0), 6, 1);
    const uint32_t transparent[6] = {0x77, 0xEE, 0x77, 0x77, 0x77, 0x77};
    for (int x = 0; x < 6; x++)
        EXPECT_EQ(px(x, 0), transparent[x]) << x;
    run(DD::ExpandOpaque | 0xCC, xy(0, 1), 6, 1);
    EXPECT_EQ(px(1, 1), 0x55u);
    EXPECT_EQ(px(0, 1), 0x77u);

    w32(R::MonoSource2, xy(0, 10));
    run(DD::ExpandOpaque | 0xCC, xy(0, 2), 6, 1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("second monochrome source"), std::string::npos);
}

TEST_F(FuskaEngineModel, PatternFillRepeatsTheCell) {
    setMode(2);
    // Cell at line 20, byte column 128: row r pixel c = r << 8 | c.
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            uint32_t at = 20 * kPitch + 128 + uint32_t(r * 16 + c * 2);
            uint32_t o = at - 20 * kPitch - 128;
            at = 20 * kPitch + 128 + (o / 128) * kPitch + o % 128;
            mem[at] = uint8_t(c);
            mem[at + 1] = uint8_t(r);
        }
    w16(R::PatternOffset, 3);
    w32(R::MonoSource, xy(128, 20));
    run(DD::Pattern | 0xCC, xy(0, 0), 16, 10);
    EXPECT_EQ(px(3, 0), 0x0000u);
    EXPECT_EQ(px(2, 0), 0x0007u);
    EXPECT_EQ(px(13, 9), 0x0102u);
    EXPECT_TRUE(failures.empty());
}

// At 3 bytes a pixel a cell row is 32 bytes (24 used), so rows 4 to 7 lie
// on the next line. Rows follow the destination's screen line (y mod 8);
// columns are shifted by the pattern offset, a 16-bit value that may stand
// for a negative origin.
TEST_F(FuskaEngineModel, PatternCellOfThreeBytePixelsOnTwoLines) {
    setMode(3);
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            uint32_t o = uint32_t(r * 32 + c * 3);
            uint32_t at = 20 * kPitch + 128 + (o / 128) * kPitch + o % 128;
            mem[at] = uint8_t(c);
            mem[at + 1] = uint8_t(r);
            mem[at + 2] = 0xA0;
        }
    w16(R::PatternOffset, uint16_t(-3));
    w32(R::MonoSource, xy(128, 20));
    run(DD::Pattern | 0xCC, xy(10, 5), 9, 6);
    // (10, 5): row 5, column (10 + 3) mod 8 = 5.
    EXPECT_EQ(px(10, 5), 0xA00505u);
    // (13, 10): row 2, column 0.
    EXPECT_EQ(px(13, 10), 0xA00200u);
    // (18, 7): row 7 from the second line, column 5.
    EXPECT_EQ(px(18, 7), 0xA00705u);
    EXPECT_TRUE(failures.empty());
}

// Copies queue: a copy cut into strips is issued back to back, positions
// and starts while the previous strip runs.
TEST_F(FuskaEngineModel, CopiesQueueBehindARunningCopy) {
    for (int x = 0; x < 8; x++)
        put(x, 0, uint32_t(x + 1));
    w32(R::DrawDefinition, DD::Copy | 0xCC);
    w32(R::PlaneMask, ~0u);
    w32(R::Source, xy(4, 0));
    w32(R::Destination, xy(6, 0));
    w32(R::Extent, xy(2, 1));
    w32(R::Source, xy(2, 0));
    w32(R::Destination, xy(4, 0));
    w32(R::Extent, xy(2, 1));
    EXPECT_EQ(status(), 0x3);
    EXPECT_TRUE(failures.empty());
    // Two operations of two reads each: busy for three more reads.
    EXPECT_EQ(status() & 1, 1);
    EXPECT_EQ(status() & 1, 1);
    EXPECT_EQ(status() & 1, 1);
    EXPECT_EQ(status(), 0);
    const uint32_t want[8] = {1, 2, 3, 4, 3, 4, 5, 6};
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(px(x, 0), want[x]) << x;
    EXPECT_EQ(a->engine().log().size(), 2u);
}

// Everything else a busy engine is given is a missing wait: the set-up of
// the next operation, a start of anything but a queued copy, and processor
// accesses to video memory. None of it is taken.
TEST_F(FuskaEngineModel, WhatABusyEngineRefuses) {
    struct Case {
        const char *name;
        uint32_t running; // draw definition of the operation left running
        std::function<void(FuskaEngineModel &)> act;
        const char *message;
    } cases[] = {
        {"pixel size", DD::Fill, [](FuskaEngineModel &t) { t.w16(R::PixelSize, 0x2000); },
         "while the engine is busy"},
        {"tiles per line", DD::Fill, [](FuskaEngineModel &t) { t.w8(R::TilesPerLine, 8); },
         "while the engine is busy"},
        {"engine tiling", DD::Copy, [](FuskaEngineModel &t) { t.w16(R::EngineTiling, 0x880); },
         "while the engine is busy"},
        {"draw definition", DD::Copy,
         [](FuskaEngineModel &t) { t.w32(R::DrawDefinition, DD::Fill | 0xCC); },
         "while the engine is busy"},
        {"foreground", DD::ExpandOpaque, [](FuskaEngineModel &t) { t.w32(R::Foreground, 1); },
         "while the engine is busy"},
        {"background", DD::Fill, [](FuskaEngineModel &t) { t.w32(R::Background, 1); },
         "while the engine is busy"},
        {"plane mask", DD::Copy, [](FuskaEngineModel &t) { t.w32(R::PlaneMask, 0xF); },
         "while the engine is busy"},
        {"pattern offset", DD::Pattern, [](FuskaEngineModel &t) { t.w16(R::PatternOffset, 3); },
         "while the engine is busy"},
        {"second fill", DD::Fill,
         [](FuskaEngineModel &t) {
             t.w32(R::Destination, xy(0, 8));
             t.w32(R::Extent, xy(4, 4));
         },
         "start of a fill while the engine is busy"},
        {"second expansion", DD::ExpandTransparent,
         [](FuskaEngineModel &t) { t.w32(R::Extent, xy(4, 4)); },
         "start of a transparent expansion while the engine is busy"},
        {"second pattern fill", DD::Pattern,
         [](FuskaEngineModel &t) { t.w32(R::Extent, xy(4, 4)); },
         "start of a pattern fill while the engine is busy"},
        {"processor read", DD::Copy, [](FuskaEngineModel &t) { (void)mmRead8(t.fb + 100); },
         "while the engine is busy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures.clear();
        a->engine().clearLog();
        setMode(1);
        const sim::FuskaEngineRegs before = a->engine().regs();
        w32(R::MonoSource, xy(128, 20));
        w32(R::MonoSource2, xy(128, 20));
        w32(R::Source, xy(0, 30));
        w32(R::DrawDefinition, c.running | 0xCC);
        w32(R::Destination, 0);
        w32(R::Extent, xy(4, 4));
        ASSERT_TRUE(failures.empty()) << failures[0];
        c.act(*this);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find(c.message), std::string::npos) << failures[0];
        EXPECT_EQ(a->engine().log().size(), 1u);
        const sim::FuskaEngineRegs &after = a->engine().regs();
        EXPECT_EQ(after.drawDefinition, c.running | 0xCC);
        EXPECT_EQ(after.pixelSize, before.pixelSize);
        EXPECT_EQ(after.tilesPerLine, before.tilesPerLine);
        EXPECT_EQ(after.engineTiling, before.engineTiling);
        EXPECT_EQ(after.planeMask, before.planeMask);
        EXPECT_EQ(after.foreground, before.foreground);
        EXPECT_EQ(after.background, before.background);
        EXPECT_EQ(after.patternOffset, before.patternOffset);
        waitIdle();
        (void)mmRead8(fb + 100);
        EXPECT_EQ(failures.size(), 1u);
    }
}

TEST_F(FuskaEngineModel, BadStartsAndAccessesAreReported) {
    struct Case {
        const char *name;
        std::function<void(FuskaEngineModel &)> act;
        const char *message;
    } cases[] = {
        {"unknown operation", [](FuskaEngineModel &t) { t.run(0x11112000, xy(0, 0), 2, 2); },
         "unknown draw definition"},
        {"bottom-up fill",
         [](FuskaEngineModel &t) { t.run(DD::BottomUp | DD::Fill | 0xCC, xy(0, 9), 2, 2); },
         "bottom-up flag"},
        {"beyond a line", [](FuskaEngineModel &t) { t.run(DD::Fill | 0xCC, xy(600, 0), 41, 1); },
         "beyond a line"},
        {"beyond memory", [](FuskaEngineModel &t) { t.run(DD::Fill | 0xCC, xy(0, 101), 10, 3); },
         "beyond video memory"},
        {"bottom-up above line 0",
         [](FuskaEngineModel &t) {
             t.w32(R::Source, xy(0, 5));
             t.run(DD::BottomUp | DD::Copy | 0xCC, xy(0, 1), 1, 3);
         },
         "above line 0"},
        {"tiling disagrees",
         [](FuskaEngineModel &t) {
             t.w16(R::EngineTiling, 0x0880);
             t.run(DD::Fill | 0xCC, xy(0, 0), 1, 1);
         },
         "disagrees"},
        {"wrong width", [](FuskaEngineModel &t) { t.w16(R::Destination, 0); },
         "not a register access"},
        {"display register by the wrong width", [](FuskaEngineModel &t) { t.w16(0xB0, 0); },
         "not a register access"},
        {"unknown offset", [](FuskaEngineModel &t) { (void)mmRead32(t.regs + 0x600); },
         "not a register access"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures.clear();
        a->engine().clearLog();
        setMode(1);
        c.act(*this);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find(c.message), std::string::npos) << failures[0];
        EXPECT_TRUE(a->engine().log().empty());
        a->drain();
    }
}

// In graphics mode the display must show the lines the engine draws: its
// offset (8-byte units), the tiles of its tiling control and the pixel size
// of its pixel format against the engine's, checked as drawing starts.
TEST_F(FuskaEngineModel, DisplayMustShowTheEngineLine) {
    struct Case {
        const char *name;
        bool graphics;
        uint32_t offsetUnits; // display offset
        uint16_t displayTiling, pixelFormat;
        const char *message; // null: nothing reported
    } cases[] = {
        {"agreeing", true, 80, 0x0591, 0x0000, nullptr},
        {"offset bits 8 and 9 count", true, 0x280, 0x0591, 0x0000, "display shows lines of 5120"},
        {"line rounded down to 8 bytes", true, 79, 0x0591, 0x0000,
         "the display shows lines of 632 bytes, the engine draws lines of 640"},
        {"only the tile padding", true, 68, 0x0591, 0x0000, "display shows lines of 544"},
        {"display tiles differ", true, 80, 0x0892, 0x0000, "display tiling control 0x892"},
        {"pixel size differs", true, 80, 0x0591, 0x1400, "pixel format 0x1400"},
        {"text mode shows nothing", false, 79, 0x0892, 0x1400, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        failures.clear();
        setMode(1);
        outw(0x3C4, c.graphics ? 0x0107 : 0x0007);
        w8(0x4C, uint8_t(c.offsetUnits));
        w8(0x6C, uint8_t((c.offsetUnits >> 4) & 0x10));
        w8(0x74, uint8_t((c.offsetUnits >> 9) & 1));
        w16(0xEA, c.displayTiling);
        w16(0xC0, c.pixelFormat);
        w32(R::Background, 0);
        run(DD::Fill | 0xCC, xy(0, 0), 4, 1);
        // Reported once, not at every start.
        run(DD::Fill | 0xCC, xy(0, 1), 4, 1);
        if (!c.message) {
            EXPECT_TRUE(failures.empty()) << failures[0];
            continue;
        }
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find(c.message), std::string::npos) << failures[0];
    }
}

TEST_F(FuskaEngineModel, ExtendedPaletteTakesDacWritesWhileSelected) {
    w8(0xB0, 0x08);
    outb(0x3C8, 15);
    outb(0x3C9, 0x3F);
    outb(0x3C9, 0x01);
    outb(0x3C9, 0x02);
    w8(0xB0, 0x00);
    outb(0x3C8, 15);
    outb(0x3C9, 0x04);
    outb(0x3C9, 0x05);
    outb(0x3C9, 0x06);
    EXPECT_EQ(a->cursorForeground(), (sim::vga::Dac::Entry{0x3F, 0x01, 0x02}));
    EXPECT_EQ(a->dacEntry(15), (sim::vga::Dac::Entry{0x04, 0x05, 0x06}));
    EXPECT_TRUE(failures.empty());
}

} // namespace
