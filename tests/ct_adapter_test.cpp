// The ct adapter model on its own: identity and strap registers per chip,
// the engine's register layouts, its busy time and its strictness, reached
// as a driver reaches them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "hwio.h"
#include "machine.h"
#include "models/ct_adapter.h"
#include "nfb.h"

namespace {

using sim::CtAdapter;

class CtModel : public ::testing::Test {
  protected:
    void make(const char *chip, uint32_t area = 0x420000) {
        sim::Machine::reset();
        m = &sim::Machine::current();
        m->setFailureHandler([this](const std::string &f) { failures.push_back(f); });
        cfg =
            graf::Builder().adapter("ct").string("CHIP", chip).memory("", 0xE0000000, area).build();
        adapter.reset(static_cast<CtAdapter *>(sim::makeAdapter(cfg, *m).release()));
        ASSERT_NE(adapter, nullptr);
        mem = static_cast<uint8_t *>(cfg.areas[0].mapped);
    }
    void TearDown() override {
        if (m)
            m->setFailureHandler(nullptr);
    }
    uint8_t xr(uint8_t index) {
        outb(0x3D6, index);
        return inb(0x3D7);
    }
    bool failedWith(const std::string &part) const {
        for (const std::string &f : failures)
            if (f.find(part) != std::string::npos)
                return true;
        return false;
    }

    sim::Machine *m = nullptr;
    graf::Config cfg;
    std::unique_ptr<CtAdapter> adapter;
    uint8_t *mem = nullptr;
    std::vector<std::string> failures;
};

TEST_F(CtModel, IdentityAndStrapsPerChip) {
    make("65550");
    EXPECT_EQ(xr(0x00), 0x2C);
    EXPECT_EQ(xr(0x01), 0x10);
    EXPECT_EQ(xr(0x02), 0xE0);
    EXPECT_EQ(xr(0x43) & 0x02, 0x02);
    make("65548", 0x100000);
    EXPECT_EQ(xr(0x00), 0xDD);
    EXPECT_EQ(xr(0x0F) & 3, 2);
    make("6430x", 0x100000);
    EXPECT_EQ(xr(0x00) >> 4, 0xB);
    EXPECT_EQ(xr(0x04) & 3, 1);
    EXPECT_TRUE(failures.empty());
}

TEST_F(CtModel, MemoryMappedEngineOf65550) {
    make("65550");
    uint8_t *br = mem + 0x400000;
    mmWrite32(br, 0x08000800); // BR00 as one word
    EXPECT_TRUE(failedWith("pitch halves are 16-bit"));
    failures.clear();
    mmWrite16(br, 0x800);
    mmWrite16(br + 2, 0x800);
    mmWrite16(br + 0x10, 0xCC); // BR04 as 16 bits
    EXPECT_TRUE(failedWith("BR04 written as 16 bits"));
    failures.clear();
    mmWrite32(br + 0x20, 0x00100010); // BR08 starts a 16 x 16 operation
    ASSERT_EQ(adapter->ops().size(), 1u);
    EXPECT_EQ(adapter->ops()[0].regs[0], 0x08000800u);
    EXPECT_EQ(xr(0x20) & 1, 1);
    mmWrite32(br + 0x1C, 0); // BR07 while busy
    EXPECT_TRUE(failedWith("BR07 written with 0x0 while the engine is busy"));
    (void)mmRead32(mem); // the processor at video memory while busy
    m->failures();
    EXPECT_TRUE(failedWith("processor access to video memory while the engine is busy"));
    EXPECT_EQ(xr(0x20) & 1, 1); // busy for two status reads
    EXPECT_EQ(xr(0x20) & 1, 0);
    failures.clear();
    mmWrite32(br + 0x20, 0x00100000); // no width: over at once
    EXPECT_EQ(xr(0x20) & 1, 0);
    mmWrite32(mem + 0x410000, 0x12345678);
    EXPECT_TRUE(failedWith("host data word 0x12345678 with no operation waiting"));
}

TEST_F(CtModel, PortEngineOf65548And6430x) {
    for (const char *chip : {"65548", "6430x"}) {
        SCOPED_TRACE(chip);
        make(chip, 0x100000);
        ioOut32(0x83D0, 0x02800280);
        EXPECT_TRUE(failedWith("DR00 written as 32 bits"));
        failures.clear();
        ioOut16(0x83D2, 0x280);
        ioOut16(0x97D0, 0);
        EXPECT_TRUE(failedWith("DR05 written as 16 bits"));
        failures.clear();
        ioOut32(0x93D0, 0x3CC);
        ioOut32(0x9FD0, 0x00080010);
        ASSERT_EQ(adapter->ops().size(), 1u);
        EXPECT_EQ(adapter->ops()[0].regs[4], 0x3CCu);
        EXPECT_EQ(adapter->ops()[0].regs[0], 0x02800000u);
        EXPECT_EQ(ioIn32(0x93D0), 0x1003CCu);
        ioOut32(0x9BD0, 0x100);
        EXPECT_TRUE(failedWith("DR06 written with 0x100 while the engine is busy"));
        EXPECT_EQ(ioIn32(0x93D0), 0x1003CCu);
        EXPECT_EQ(ioIn32(0x93D0), 0x3CCu);
        EXPECT_EQ(adapter->busyStatusReads(), 2u);
    }
}

// On the 65548 and 6430x host data is written over video memory: the
// accessors reach the model there, plain processor accesses the memory.
TEST_F(CtModel, HostDataOverVideoMemory) {
    make("65548", 0x100000);
    uint8_t *vram = adapter->vram()->data();
    mem[0x10] = 0x77; // plain: memory, at full speed
    EXPECT_EQ(vram[0x10], 0x77);
    mmWrite32(mem + 0x20, 0x11223344); // an accessor, nothing owed: memory too
    EXPECT_EQ(vram[0x20], 0x44);
    EXPECT_EQ(mmRead8(mem + 0x23), 0x11);
    // A copy of host data: 4 bytes by 2 rows, rows 4 bytes apart.
    ioOut16(0x83D0, 4);
    ioOut16(0x83D2, 0x100);
    ioOut32(0x93D0, 0x43CC);
    ioOut32(0x97D0, 0);
    ioOut32(0x9BD0, 0x200);
    ioOut32(0x9FD0, 0x00020004);
    mmWrite32(mem + 0x40, 0xA1A2A3A4); // anywhere in the area
    EXPECT_EQ(vram[0x40], 0);
    ioOut32(0x9BD0, 0x300); // a register while a word is missing
    EXPECT_TRUE(failedWith("DR06 written while 1 host data words are owed"));
    failures.clear();
    ioOut32(0x9FD0, 0x00020004);
    mmWrite32(mem, 0xA1A2A3A4);
    mmWrite32(mem, 0xB1B2B3B4);
    EXPECT_EQ(vram[0x300], 0xA4);
    EXPECT_EQ(vram[0x403], 0xB1);
    mmWrite32(mem, 0xC1C2C3C4); // one too many, while the engine is busy
    EXPECT_TRUE(failedWith("write of MEMORY at +0x0 while the engine is busy"));
    EXPECT_EQ(vram[0], 0);
}

TEST_F(CtModel, HostDataPortOf65550TakesWholeQuadwords) {
    make("65550");
    uint8_t *br = mem + 0x400000;
    uint8_t *vram = adapter->vram()->data();
    mmWrite16(br, 8);
    mmWrite16(br + 2, 0x100);
    mmWrite32(br + 0x10, 0x4CC);
    mmWrite32(br + 0x18, 3); // the first pixel 3 bytes into the first quadword
    mmWrite32(br + 0x1C, 0x80);
    mmWrite32(br + 0x20, 0x00010003); // 3 bytes: one quadword
    mmWrite32(mem + 0x410000, 0x44332211);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(vram[0x80], 0);
    mmWrite32(mem + 0x410000, 0x88776655);
    EXPECT_EQ(vram[0x80], 0x44);
    EXPECT_EQ(vram[0x82], 0x66);
    for (int i = 0; i < 2; i++)
        xr(0x20);
    mmWrite32(mem + 0x410000, 0);
    EXPECT_TRUE(failedWith("host data word 0x0 with no operation waiting"));
}

TEST_F(CtModel, RefusesMemorySizesTheChipCannotHave) {
    sim::Machine::reset();
    m = &sim::Machine::current();
    graf::Config c = graf::Builder()
                         .adapter("ct")
                         .string("CHIP", "65548")
                         .integer("MEMSIZE", 0x200000)
                         .memory("", 0xE0000000, 0x100000)
                         .build();
    EXPECT_THROW(sim::makeAdapter(c, *m), std::invalid_argument);
    c.strings["CHIP"] = "65549";
    EXPECT_THROW(sim::makeAdapter(c, *m), std::invalid_argument);
}

} // namespace
