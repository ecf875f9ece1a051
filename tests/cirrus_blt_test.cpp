// The Cirrus BitBLT engine model against hand-worked pixels and its protocol:
// every operation on a small video memory, and the strictness that catches a
// driver's missing waits. Registers are reached as a driver reaches them,
// through the accessors and the machine's dispatch to the memory-mapped block.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hwio.h"
#include "machine.h"
#include "models/cirrus_blt.h"
#include "refrender.h"

namespace {

using sim::BltKind;
using M = sim::CirrusBltMmio;

constexpr uint32_t kVramSize = 0x10000;
constexpr uint32_t kPitch = 64;
constexpr uint32_t kRegs = 0x3FFF00;
constexpr uint8_t kCopy = 0x0D; // GXcopy

class CirrusBlt : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Machine::reset();
        m = &sim::Machine::current();
        vram = m->own<sim::VideoMemory>(kVramSize);
        fb = m->addLinearAperture("fb", 0xE0000000, 0x400000, *vram);
        core = m->own<sim::CirrusBltCore>(*vram);
        mmio = m->own<sim::CirrusBltMmio>(*core);
        m->mapDevice(fb + kRegs, M::kSize, mmio);
        mem = vram->data();
    }

    // ---- register access, as a driver does it ----
    void w8(uint32_t off, uint8_t v) { mmWrite8(fb + kRegs + off, v); }
    void w16(uint32_t off, uint16_t v) { mmWrite16(fb + kRegs + off, v); }
    void w32(uint32_t off, uint32_t v) { mmWrite32(fb + kRegs + off, v); }
    uint8_t status() { return mmRead8(fb + kRegs + M::Status); }
    void waitIdle() {
        for (int i = 0; i < 100 && (status() & sim::bltstatus::Busy); i++) {
        }
    }
    void waitRoom() {
        for (int i = 0; i < 100 && (status() & sim::bltstatus::NoRoom); i++) {
        }
    }
    void setSource(uint32_t addr) {
        w16(M::SrcAddr, uint16_t(addr));
        w8(M::SrcAddrHigh, uint8_t(addr >> 16));
    }
    void setSize(uint32_t widthBytes, uint32_t rows) {
        w16(M::Width, uint16_t(widthBytes - 1));
        w16(M::Height, uint16_t(rows - 1));
    }
    // A single-start operation, run to its end.
    void run(uint8_t mode, uint8_t rop, uint32_t dst, uint32_t src, uint32_t widthBytes,
             uint32_t rows, uint16_t dstPitch = kPitch, uint16_t srcPitch = kPitch) {
        w8(M::Rop, rop);
        setSource(src);
        w16(M::SrcPitch, srcPitch);
        w32(M::DstAddr, dst);
        w16(M::DstPitch, dstPitch);
        setSize(widthBytes, rows);
        w8(M::Mode, mode);
        w8(M::Status, sim::bltstatus::Start);
        waitIdle();
    }

    std::vector<std::string> failures() const { return m->failures(); }
    bool failedWith(const std::string &part) const {
        for (const std::string &f : m->failures())
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::vector<uint8_t> bytes(uint32_t addr, uint32_t n) const {
        return std::vector<uint8_t>(mem + addr, mem + addr + n);
    }
    void setBytes(uint32_t addr, std::vector<uint8_t> v) {
        std::memcpy(mem + addr, v.data(), v.size());
    }

    sim::Machine *m = nullptr;
    sim::VideoMemory *vram = nullptr;
    sim::CirrusBltCore *core = nullptr;
    sim::CirrusBltMmio *mmio = nullptr;
    uint8_t *fb = nullptr;
    uint8_t *mem = nullptr;
};

using Bytes = std::vector<uint8_t>;

// ---- raster operations ----

// Every alu through copy, fill and expansion: 0xCC against 0xAA meets all
// four combinations of a source and a destination bit.
TEST_F(CirrusBlt, EveryRopCodeActsAsItsXFunction) {
    for (int alu = 0; alu < 16; alu++) {
        const uint8_t code = sim::kCirrusRopCodes[size_t(alu)];
        const uint8_t want = uint8_t(ref::applyAlu(alu, 0xCC, 0xAA));
        SCOPED_TRACE("alu " + std::to_string(alu));

        setBytes(0, {0xCC});
        setBytes(100, {0xAA});
        run(0x00, code, 100, 0, 1, 1);
        EXPECT_EQ(mem[100], want) << "copy";

        setBytes(200, {0xAA});
        w32(M::Fg, 0xCC);
        w8(M::ModeExt, sim::bltext::SolidFill);
        run(0xC0, code, 200, 0, 1, 1);
        EXPECT_EQ(mem[200], want) << "fill";

        // One opaque pixel from a 1 bit (fg 0xCC) and one from a 0 bit (bg 0xCC).
        setBytes(300, {0x80});
        setBytes(400, {0xAA, 0xAA});
        w32(M::Bg, 0xCC);
        run(0x80, code, 400, 300, 2, 1);
        EXPECT_EQ(bytes(400, 2), Bytes({want, want})) << "expansion";
    }
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, UnknownRopCodeIsReportedAndDoesNotRun) {
    setBytes(0, {0x11});
    setBytes(100, {0x22});
    run(0x00, 0x0C, 100, 0, 1, 1);
    EXPECT_TRUE(failedWith("unknown raster operation 0x0C"));
    EXPECT_EQ(mem[100], 0x22);
    EXPECT_EQ(core->stats().starts, 0u);
}

// ---- copies ----

TEST_F(CirrusBlt, ForwardCopyWithDifferentPitches) {
    setBytes(0, {1, 2, 3, 4});
    setBytes(4, {5, 6, 7, 8}); // source rows 4 bytes apart
    run(0x00, kCopy, 1000, 0, 3, 2, /*dstPitch*/ 10, /*srcPitch*/ 4);
    EXPECT_EQ(bytes(1000, 4), Bytes({1, 2, 3, 0}));
    EXPECT_EQ(bytes(1010, 4), Bytes({5, 6, 7, 0}));
    EXPECT_EQ(core->stats().opsOf(BltKind::CopyForward), 1u);
}

// A backward copy takes the addresses of the last byte and walks down and left.
TEST_F(CirrusBlt, BackwardCopyWalksFromTheLastByte) {
    setBytes(0, {1, 2, 3});
    setBytes(kPitch, {4, 5, 6});
    run(0x01, kCopy, 1000 + kPitch + 2, kPitch + 2, 3, 2);
    EXPECT_EQ(bytes(1000, 3), Bytes({1, 2, 3}));
    EXPECT_EQ(bytes(1000 + kPitch, 3), Bytes({4, 5, 6}));
    EXPECT_EQ(core->stats().opsOf(BltKind::CopyBackward), 1u);
}

// The eight overlap directions, rows and columns one apart, each in the
// direction a driver picks (backward when the source address is lower): the
// result is that of a copy through a buffer.
TEST_F(CirrusBlt, OverlappingCopiesInTheRightDirectionMatchABufferedCopy) {
    const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    const int w = 5, h = 4, x = 10, y = 10;
    for (auto [dx, dy] : dirs) {
        SCOPED_TRACE("dx " + std::to_string(dx) + " dy " + std::to_string(dy));
        for (uint32_t i = 0; i < 32 * kPitch; i++)
            mem[i] = uint8_t(i * 7 + 3);
        std::vector<uint8_t> want(mem, mem + 32 * kPitch);
        std::vector<uint8_t> buf;
        for (int r = 0; r < h; r++)
            for (int c = 0; c < w; c++)
                buf.push_back(mem[(y + r) * kPitch + x + c]);
        for (int r = 0; r < h; r++)
            for (int c = 0; c < w; c++)
                want[(y + dy + r) * kPitch + x + dx + c] = buf[r * w + c];

        uint32_t s = y * kPitch + x, d = (y + dy) * kPitch + x + dx;
        if (s < d)
            run(0x01, kCopy, d + (h - 1) * kPitch + w - 1, s + (h - 1) * kPitch + w - 1, w, h);
        else
            run(0x00, kCopy, d, s, w, h);
        EXPECT_EQ(std::vector<uint8_t>(mem, mem + 32 * kPitch), want);
    }
    EXPECT_TRUE(failures().empty());
}

// The model processes bytes in address order, so a copy in the wrong
// direction over an overlap smears its source as the chip would.
TEST_F(CirrusBlt, ForwardCopyOverlappingToTheRightSmears) {
    setBytes(0, {1, 2, 3, 4});
    run(0x00, kCopy, 1, 0, 3, 1);
    EXPECT_EQ(bytes(0, 4), Bytes({1, 1, 1, 1}));
}

TEST_F(CirrusBlt, CopyReachingBeyondVideoMemoryIsReportedAndDoesNotRun) {
    setBytes(kVramSize - 2, {9, 9});
    run(0x00, kCopy, kVramSize - 2, 0, 4, 1);
    EXPECT_TRUE(failedWith("copy destination reaches beyond video memory"));
    EXPECT_EQ(bytes(kVramSize - 2, 2), Bytes({9, 9}));

    // Backwards, the rows below the last one come first in memory.
    run(0x01, kCopy, 1000 + 3, 3, 4, 2);
    EXPECT_TRUE(failedWith("copy source reaches beyond video memory"));
    EXPECT_EQ(core->stats().starts, 0u);
}

// ---- transparent copies ----

// At 1 pixel byte the register is compared by byte lane: its low byte for an
// even destination address, its high byte for an odd one.
TEST_F(CirrusBlt, TransparentCopyAtOnePixelByteComparesByByteLane) {
    const Bytes src = {0xFE, 0x01, 0xFE, 0xFE, 0x02, 0xFE};
    struct Case {
        uint16_t trans;
        Bytes want;
    } cases[] = {
        {0xFEFE, {0x55, 0x01, 0x55, 0x55, 0x02, 0x55}},
        // Only the low byte written: odd destinations are not transparent.
        {0x00FE, {0x55, 0x01, 0x55, 0xFE, 0x02, 0xFE}},
    };
    for (const Case &k : cases) {
        setBytes(0, src);
        setBytes(1000, Bytes(6, 0x55));
        w16(M::Trans, k.trans);
        run(0x08, kCopy, 1000, 0, 6, 1);
        EXPECT_EQ(bytes(1000, 6), k.want) << std::hex << k.trans;
    }
    EXPECT_EQ(core->stats().opsOf(BltKind::TransparentCopy), 2u);
}

TEST_F(CirrusBlt, TransparentCopyAtTwoPixelBytesComparesWholePixels) {
    // Pixels 0x12FE, 0xFEFE (transparent), 0xFE12.
    setBytes(0, {0xFE, 0x12, 0xFE, 0xFE, 0x12, 0xFE});
    setBytes(1000, Bytes(6, 0x55));
    w16(M::Trans, 0xFEFE);
    run(0x18, kCopy, 1000, 0, 6, 1);
    EXPECT_EQ(bytes(1000, 6), Bytes({0xFE, 0x12, 0x55, 0x55, 0x12, 0xFE}));

    // Backwards over the same pixels: the same result.
    setBytes(1000, Bytes(6, 0x55));
    run(0x19, kCopy, 1005, 5, 6, 1);
    EXPECT_EQ(bytes(1000, 6), Bytes({0xFE, 0x12, 0x55, 0x55, 0x12, 0xFE}));
}

// ---- solid fill ----

TEST_F(CirrusBlt, SolidFillAtEachPixelSize) {
    struct Case {
        uint8_t mode;
        int pb;
        Bytes pixel;
    } cases[] = {{0xC0, 1, {0x33}}, {0xD0, 2, {0x33, 0x22}}, {0xE0, 3, {0x33, 0x22, 0x11}}};
    for (const Case &k : cases) {
        std::memset(mem, 0, 4 * kPitch);
        w32(M::Fg, 0x44112233);
        w32(M::Bg, 0x99999999);
        w8(M::ModeExt, 5);
        run(k.mode, kCopy, kPitch + k.pb, 0, 2 * k.pb, 2);
        Bytes row(size_t(4 * k.pb), 0);
        for (int i = 0; i < 2 * k.pb; i++)
            row[size_t(k.pb + i)] = k.pixel[size_t(i % k.pb)];
        EXPECT_EQ(bytes(0, 4 * k.pb), Bytes(size_t(4 * k.pb), 0)) << k.pb;
        EXPECT_EQ(bytes(kPitch, 4 * k.pb), row) << k.pb;
        EXPECT_EQ(bytes(2 * kPitch, 4 * k.pb), row) << k.pb;
        EXPECT_EQ(bytes(3 * kPitch, 4 * k.pb), Bytes(size_t(4 * k.pb), 0)) << k.pb;
    }
    EXPECT_EQ(core->stats().opsOf(BltKind::Fill), 3u);
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, FillWidthThatSplitsAPixelIsReported) {
    w8(M::ModeExt, 5);
    run(0xE0, kCopy, 0, 0, 4, 1);
    EXPECT_TRUE(failedWith("not a whole number of 3-byte pixels"));
}

// Drivers leave the solid-fill extension set after a fill; other operations
// ignore it.
TEST_F(CirrusBlt, ModeExtensionLeftFromAFillDoesNotChangeACopy) {
    w8(M::ModeExt, 5);
    setBytes(0, {7, 8});
    run(0x00, kCopy, 500, 0, 2, 1);
    EXPECT_EQ(bytes(500, 2), Bytes({7, 8}));
    EXPECT_TRUE(failures().empty());
}

// ---- colour expansion ----

// Rows are packed, (pixels + 7) / 8 bytes each, most significant bit leftmost.
TEST_F(CirrusBlt, OpaqueExpansionReadsPackedRows) {
    // 10 pixels wide: two bytes per row, the second row right after the first.
    setBytes(0, {0xA5, 0x80, 0x01, 0x40});
    w32(M::Fg, 0xF1);
    w32(M::Bg, 0xB0);
    run(0x80, kCopy, 1000, 0, 10, 2);
    const uint8_t F = 0xF1, B = 0xB0;
    EXPECT_EQ(bytes(1000, 11), Bytes({F, B, F, B, B, F, B, F, F, B, 0}));
    EXPECT_EQ(bytes(1000 + kPitch, 10), Bytes({B, B, B, B, B, B, B, F, B, F}));
    EXPECT_EQ(core->stats().opsOf(BltKind::Expand), 1u);
}

// The skip leaves out the first pixels of every row, source bits and
// destination pixels alike; at 3 pixel bytes it counts bytes.
TEST_F(CirrusBlt, TransparentExpansionWithSkipAtEachPixelSize) {
    struct Case {
        uint8_t mode;
        int pb;
        uint8_t skip;
    } cases[] = {{0x88, 1, 3}, {0x98, 2, 3}, {0xA8, 3, 9}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.pb);
        std::memset(mem + 1000, 0x55, 2 * kPitch);
        setBytes(0, {0xFF, 0x40}); // 9 pixels, one row: bits 0-7 and 9 set
        w32(M::Fg, 0x00332211);
        w8(M::Skip, k.skip);
        run(k.mode, kCopy, 1000, 0, uint32_t(10 * k.pb), 1);
        for (int x = 0; x < 11; x++) {
            const bool drawn = x >= 3 && (x < 8 || x == 9);
            for (int b = 0; b < k.pb; b++)
                EXPECT_EQ(mem[1000 + x * k.pb + b], drawn ? uint8_t(0x11 * (b + 1)) : 0x55)
                    << "pixel " << x << " byte " << b;
        }
        w8(M::Skip, 0);
    }
    EXPECT_EQ(core->stats().opsOf(BltKind::TransparentExpand), 3u);
    EXPECT_TRUE(failures().empty());
}

// The register block leaves the 0 bits alone, whatever the transparent and
// background colours hold; its transparent colour is for copies only.
TEST_F(CirrusBlt, RegisterBlockTransparentExpansionIgnoresTheTransparentColour) {
    for (uint16_t trans : {uint16_t(0x1111), uint16_t(0x2222)}) {
        SCOPED_TRACE(trans);
        std::memset(mem + 1000, 0x55, 16);
        setBytes(0, {0xA0}); // pixels 1 0 1 0
        w32(M::Fg, 0x1111);
        w32(M::Bg, 0x3333);
        w16(M::Trans, trans);
        run(0x98, kCopy, 1000, 0, 8, 1);
        EXPECT_EQ(bytes(1000, 8), Bytes({0x11, 0x11, 0x55, 0x55, 0x11, 0x11, 0x55, 0x55}));
    }
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, SkipThatSplitsA24BitPixelIsReported) {
    w8(M::Skip, 4);
    run(0xA8, kCopy, 1000, 0, 24, 1);
    EXPECT_TRUE(failedWith("skip count 4 at 3 pixel bytes"));
    EXPECT_EQ(core->stats().starts, 0u);
}

// Mode extension 2 draws the 0 bits in the foreground colour: the second pass
// of an opaque bitmap drawn as two transparent expansions.
TEST_F(CirrusBlt, InvertedExpansionDrawsZeroBitsInTheForeground) {
    setBytes(0, {0xA0}); // pixels 1 0 1 0
    std::memset(mem + 1000, 0x55, 12);
    w32(M::Fg, 0x112233);
    run(0xA8, kCopy, 1000, 0, 12, 1);
    w32(M::Fg, 0x445566);
    w8(M::ModeExt, sim::bltext::InvertSource);
    run(0xA8, kCopy, 1000, 0, 12, 1);
    EXPECT_EQ(bytes(1000, 12),
              Bytes({0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x66, 0x55, 0x44}));
}

// ---- unsupported modes ----

TEST_F(CirrusBlt, UnsupportedModesAreReportedAndDoNotRun) {
    struct Case {
        uint8_t mode, ext;
        const char *why;
    } cases[] = {
        {0x04, 0, "host-memory"},
        {0xC0, 0, "pattern colour expansion"},
        {0x81, 0, "backward colour expansion"},
        {0x28, 0, "transparent copy at 3 pixel bytes"},
        {0x30, 0, "4-byte pixels"},
        {0xC8, 5, "transparent or backward fill"},
    };
    for (const Case &k : cases) {
        w8(M::ModeExt, k.ext);
        run(k.mode, kCopy, 1000, 0, 6, 1);
        EXPECT_TRUE(failedWith(k.why)) << std::hex << int(k.mode);
    }
    EXPECT_EQ(core->stats().starts, 0u);
}

// ---- the register block ----

TEST_F(CirrusBlt, RegisterBlockAcceptsTheDriversAccessWidths) {
    w32(M::SrcAddr, 0x05123456); // source address and skip in one access
    EXPECT_EQ(core->regs().srcAddr, 0x123456u);
    EXPECT_EQ(core->regs().skip, 0x05);
    w8(M::SrcAddrHigh, 0x07);
    EXPECT_EQ(core->regs().srcAddr, 0x073456u);
    w16(M::Fg, 0xBEEF);
    w8(M::Fg, 0x11);
    EXPECT_EQ(core->regs().fg, 0xBE11u);
    w16(M::Width, 0x1234);
    EXPECT_EQ(mmRead16(fb + kRegs + M::Width), 0x1234);
    EXPECT_EQ(mmRead32(fb + kRegs + M::DstAddr), 0u);
    EXPECT_EQ(core->stats().registerWrites, 5u);
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, AccessOutsideTheRegistersIsReportedAndIgnored) {
    w8(0x19, 1);
    EXPECT_TRUE(failedWith("8-bit write at 0x19 outside the registers"));
    w16(M::Mode, 0x0180); // mode and the undefined byte after it
    EXPECT_TRUE(failedWith("16-bit write at 0x18"));
    EXPECT_EQ(core->regs().mode, 0);
    w32(0x1C, 0);
    EXPECT_TRUE(failedWith("32-bit write at 0x1C"));
    mmRead16(fb + kRegs + M::Status);
    EXPECT_TRUE(failedWith("16-bit read at 0x40"));
    w8(M::Status, 0x40);
    EXPECT_TRUE(failedWith("unknown status bits written: 0x40"));
    EXPECT_EQ(core->stats().registerWrites, 0u);
}

// ---- strictness ----

TEST_F(CirrusBlt, EngineStaysBusyForTheConfiguredStatusReads) {
    for (int k : {1, 2, 3}) {
        core->setBusyReads(k);
        w8(M::ModeExt, 5);
        w8(M::Rop, kCopy);
        setSize(1, 1);
        w32(M::DstAddr, 0);
        w8(M::Mode, 0xC0);
        w8(M::Status, sim::bltstatus::Start);
        for (int i = 0; i < k; i++)
            EXPECT_EQ(status(), sim::bltstatus::Busy | sim::bltstatus::NoRoom) << k;
        EXPECT_EQ(status(), 0) << k;
    }
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, RegisterWriteOrStartWhileBusyIsReported) {
    w8(M::ModeExt, 5);
    w8(M::Mode, 0xC0);
    w8(M::Rop, kCopy);
    setSize(1, 1);
    w8(M::Status, sim::bltstatus::Start);
    w32(M::DstAddr, 8); // no wait before the next operation's registers
    EXPECT_TRUE(failedWith("register write while the engine is busy"));
    w8(M::Status, sim::bltstatus::Start);
    EXPECT_TRUE(failedWith("start while the engine cannot take another operation"));
    EXPECT_EQ(core->stats().starts, 1u);
    waitIdle();
    w8(M::Status, sim::bltstatus::Start);
    EXPECT_EQ(core->stats().starts, 2u);
}

// The processor meets a guarded video memory while the engine runs; once the
// status reads idle the memory is its own again.
TEST_F(CirrusBlt, ProcessorAccessWhileBusyIsReportedByTheMachine) {
    w8(M::ModeExt, 5);
    w8(M::Mode, 0xC0);
    w8(M::Rop, kCopy);
    w32(M::Fg, 0x77);
    setSize(4, 1);
    w32(M::DstAddr, 0);
    w8(M::Status, sim::bltstatus::Start);
    waitIdle();
    volatile uint8_t *pixels = fb;
    EXPECT_EQ(pixels[0], 0x77);
    pixels[100] = 1;
    EXPECT_TRUE(failures().empty());

    w8(M::Status, sim::bltstatus::Start);
    pixels[100] = 2;
    EXPECT_TRUE(failedWith("processor access to video memory while the engine is busy"));
}

// A batch as the drivers run it: autostart on, the common registers once,
// then per item a room wait, its size and its address.
TEST_F(CirrusBlt, AutostartBatchWithRoomWaitsRunsEveryItem) {
    core->setBusyReads(3);
    w8(M::Rop, kCopy);
    w32(M::Fg, 0xAB);
    w16(M::DstPitch, kPitch);
    w8(M::Mode, 0xC0);
    w8(M::ModeExt, 5);
    w8(M::Status, sim::bltstatus::Autostart);
    for (uint32_t i = 0; i < 6; i++) {
        waitRoom();
        setSize(i + 1, 1);
        w32(M::DstAddr, i * kPitch);
    }
    waitIdle();
    w8(M::Status, 0);
    for (uint32_t i = 0; i < 6; i++)
        EXPECT_EQ(bytes(i * kPitch, 7), [&] {
            Bytes row(7, 0);
            std::fill(row.begin(), row.begin() + i + 1, 0xAB);
            return row;
        }()) << i;
    EXPECT_TRUE(failures().empty());
    EXPECT_EQ(core->stats().starts, 6u);
    EXPECT_EQ(core->stats().autostarts, 6u);
    EXPECT_GT(core->stats().queuedStarts, 0u);
    EXPECT_FALSE(core->autostart());
}

TEST_F(CirrusBlt, AutostartHoldsOneQueuedStart) {
    core->setBusyReads(10); // the status reads below must not end the first operation
    w8(M::Mode, 0xC0);
    w8(M::ModeExt, 5);
    w8(M::Rop, kCopy);
    setSize(1, 1);
    w8(M::Status, sim::bltstatus::Autostart);
    w32(M::DstAddr, 0);
    EXPECT_EQ(status(), sim::bltstatus::Busy); // running, room for one more
    w32(M::DstAddr, 1);                        // queued
    EXPECT_EQ(status(), sim::bltstatus::Busy | sim::bltstatus::NoRoom);
    w32(M::DstAddr, 2); // no room
    EXPECT_TRUE(failedWith("start while the engine cannot take another operation"));
    w16(M::Width, 0);
    EXPECT_TRUE(failedWith("register write while the engine is busy"));
    EXPECT_EQ(core->stats().starts, 2u);
}

TEST_F(CirrusBlt, AutostartOffBeforeTheBatchEndsIsReported) {
    w8(M::Mode, 0xC0);
    w8(M::ModeExt, 5);
    w8(M::Rop, kCopy);
    setSize(1, 1);
    w8(M::Status, sim::bltstatus::Autostart);
    w32(M::DstAddr, 0);
    w8(M::Status, 0);
    EXPECT_TRUE(failedWith("register write while the engine is busy (autostart off)"));
}

TEST_F(CirrusBlt, DrainFinishesEverythingAndReleasesVideoMemory) {
    w8(M::Mode, 0xC0);
    w8(M::ModeExt, 5);
    w8(M::Rop, kCopy);
    setSize(1, 1);
    w8(M::Status, sim::bltstatus::Autostart);
    w32(M::DstAddr, 0);
    w32(M::DstAddr, 1);
    core->drain();
    EXPECT_FALSE(core->busy());
    EXPECT_FALSE(core->queued());
    volatile uint8_t *pixels = fb;
    pixels[0] = 1;
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBlt, OperationLogKeepsTheRegistersOfEachStart) {
    setBytes(0, {1, 2});
    run(0x00, 0x59, 1000, 0, 2, 1);
    ASSERT_EQ(core->log().size(), 1u);
    const sim::BltOp &op = core->log()[0];
    EXPECT_EQ(op.kind, BltKind::CopyForward);
    EXPECT_EQ(op.pixelBytes, 1);
    EXPECT_FALSE(op.autostarted);
    EXPECT_EQ(op.regs.rop, 0x59);
    EXPECT_EQ(op.regs.dstAddr, 1000u);
    EXPECT_EQ(op.regs.width, 1);
}

// ---- the graphics-controller front end ----

class CirrusBltGr : public CirrusBlt {
  protected:
    void gr(uint8_t index, uint8_t v) { ASSERT_TRUE(front().write(index, v)) << int(index); }
    void gr16(uint8_t index, uint16_t v) {
        gr(index, uint8_t(v));
        gr(uint8_t(index + 1), uint8_t(v >> 8));
    }
    void gr24(uint8_t index, uint32_t v) {
        gr16(index, uint16_t(v));
        gr(uint8_t(index + 2), uint8_t(v >> 16));
    }
    uint8_t grStatus() {
        uint8_t v = 0;
        EXPECT_TRUE(front().read(0x31, &v));
        return v;
    }
    sim::CirrusBltGr &front() {
        if (!gr_)
            gr_ = m->own<sim::CirrusBltGr>(*core);
        return *gr_;
    }
    sim::CirrusBltGr *gr_ = nullptr;
};

TEST_F(CirrusBltGr, IndicesMapOntoTheSameEngine) {
    setBytes(0, {0xFE, 0x01, 0xFE, 0x02});
    setBytes(1000, Bytes(4, 0x55));
    gr(0x32, kCopy);
    gr24(0x2C, 0);      // source
    gr16(0x26, kPitch); // source pitch
    gr24(0x28, 1000);   // destination
    gr16(0x24, kPitch);
    gr16(0x20, 3);
    gr16(0x22, 0);
    gr(0x34, 0xFE);
    gr(0x35, 0xFE);
    gr(0x30, 0x08);
    gr(0x31, sim::bltstatus::Start);
    EXPECT_TRUE(grStatus() & sim::bltstatus::Busy);
    while (grStatus() & sim::bltstatus::Busy) {
    }
    EXPECT_EQ(bytes(1000, 4), Bytes({0x55, 0x01, 0x55, 0x02}));

    // Colour bytes: GR1/GR11/GR13/GR15 foreground, GR0/GR10/GR12/GR14 background.
    for (uint8_t i : {0x01, 0x11, 0x13, 0x15, 0x00, 0x10, 0x12, 0x14})
        gr(i, i);
    EXPECT_EQ(core->regs().fg, 0x15131101u);
    EXPECT_EQ(core->regs().bg, 0x14121000u);
    uint8_t v = 0;
    EXPECT_FALSE(front().write(0x05, 0x40)); // the adapter's own register
    EXPECT_FALSE(front().read(0x2F, &v));
    EXPECT_TRUE(failures().empty());
}

// On the banked chips a transparent expansion leaves the destination where
// the expanded pixel (foreground for a 1 bit, background for a 0 bit) equals
// the transparent colour; at 1 pixel byte GR34 serves even and GR35 odd
// destination bytes.
TEST_F(CirrusBltGr, TransparentExpansionComparesTheExpandedPixel) {
    struct Case {
        const char *what;
        uint8_t mode;
        uint32_t fg, bg;
        uint16_t trans;
        Bytes want; // four pixels from bits 1 1 0 0 over 0x55
    } cases[] = {
        {"8-bit, background is the transparent colour",
         0x88,
         0xF1,
         0x0E,
         0x0E0E,
         {0xF1, 0xF1, 0x55, 0x55}},
        {"8-bit, background differs", 0x88, 0xF1, 0x0E, 0x7777, {0xF1, 0xF1, 0x0E, 0x0E}},
        {"8-bit, foreground is the transparent colour",
         0x88,
         0xF1,
         0x0E,
         0xF1F1,
         {0x55, 0x55, 0x0E, 0x0E}},
        {"8-bit, halves by byte lane", 0x88, 0xF1, 0x0E, 0xF10E, {0xF1, 0x55, 0x55, 0x0E}},
        {"16-bit, background is the transparent colour",
         0x98,
         0xBEEF,
         0x4110,
         0x4110,
         {0xEF, 0xBE, 0xEF, 0xBE, 0x55, 0x55, 0x55, 0x55}},
        {"16-bit, background differs",
         0x98,
         0xBEEF,
         0x4110,
         0x0000,
         {0xEF, 0xBE, 0xEF, 0xBE, 0x10, 0x41, 0x10, 0x41}},
        {"16-bit, all ones foreground",
         0x98,
         0xFFFFFFFF,
         0xFFFF0000,
         0x0000,
         {0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0x55, 0x55}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int pb = c.mode & 0x10 ? 2 : 1;
        std::memset(mem + 1000, 0x55, 16);
        setBytes(0, {0xC0});
        gr(0x01, uint8_t(c.fg));
        gr(0x11, uint8_t(c.fg >> 8));
        gr(0x00, uint8_t(c.bg));
        gr(0x10, uint8_t(c.bg >> 8));
        gr16(0x34, c.trans);
        gr(0x32, kCopy);
        gr24(0x2C, 0);
        gr24(0x28, 1000);
        gr16(0x24, kPitch);
        gr16(0x20, uint16_t(4 * pb - 1));
        gr16(0x22, 0);
        gr(0x30, c.mode);
        gr(0x31, sim::bltstatus::Start);
        while (grStatus() & sim::bltstatus::Busy) {
        }
        EXPECT_EQ(bytes(1000, uint32_t(4 * pb)), c.want);
    }
    EXPECT_TRUE(failures().empty());
}

TEST_F(CirrusBltGr, TransparentExpansionAt24BitsIsReported) {
    gr(0x32, kCopy);
    gr16(0x20, 11);
    gr16(0x22, 0);
    gr(0x30, 0xA8);
    gr(0x31, sim::bltstatus::Start);
    EXPECT_TRUE(failedWith("transparent colour expansion at 3 pixel bytes"));
    EXPECT_EQ(core->stats().starts, 0u);
}

// The 8 x 8 colour pattern copy of the banked chips, and their engine reset.
TEST_F(CirrusBltGr, PatternCopyAndReset) {
    for (int i = 0; i < 64; i++) {
        mem[2 * i] = uint8_t(i);
        mem[2 * i + 1] = 0x80;
    }
    gr(0x32, kCopy);
    gr24(0x2C, 0);
    gr24(0x28, 1000);
    gr16(0x24, kPitch);
    gr16(0x20, 2 * 10 - 1); // 10 pixels: the pattern repeats after 8
    gr16(0x22, 8);          // 9 rows
    gr(0x30, 0x50);
    gr(0x31, sim::bltstatus::Start);
    gr(0x31, sim::bltstatus::Reset); // abandons the wait: the engine is idle
    EXPECT_EQ(grStatus(), 0);
    EXPECT_EQ(mem[1000], 0);
    EXPECT_EQ(mem[1000 + 2 * 9], 1);              // column 9 is pattern column 1
    EXPECT_EQ(mem[1000 + kPitch * 8 + 2 * 3], 3); // row 8 is pattern row 0
    EXPECT_EQ(mem[1000 + kPitch * 2 + 2 * 5], 2 * 8 + 5);
    EXPECT_EQ(mem[1000 + kPitch * 2 + 2 * 5 + 1], 0x80);
    EXPECT_EQ(core->stats().opsOf(BltKind::PatternCopy), 1u);
    EXPECT_TRUE(failures().empty());
}

} // namespace
