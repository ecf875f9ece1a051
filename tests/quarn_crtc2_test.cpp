// The second display controller of the dual-head boards: timing, pixel
// format, line offset, start addresses, preload and stop, read back from
// the "mga" board's second-CRTC registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "hal_error.h"
#include "hsl_crtc2.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

struct DualHead : Board {
    DualHead() : Board(mgaBoard(0x0525)) {}
    uint32_t reg(uint32_t offset) { return mga->crtc2(offset); }
    void set(uint32_t offset, uint32_t v) { ClientWriteRegisterDword(h(), offset, v); }
};

ModeInfo mode(uint32_t w, int32_t h, int32_t bpp) {
    ModeInfo m{};
    m.ulDispWidth = w;
    m.lDispHeight = h;
    m.lDeskWidth = int32_t(w);
    m.lDeskHeight = h;
    m.lBpp = bpp;
    m.lModeType = 0x1280000;
    m.lZoom = 1;
    m.lPixClock = 65000;
    m.lHFPorch = 24;
    m.lHSync = 136;
    m.lHBPorch = 160;
    m.lVFPorch = 3;
    m.lVSync = 6;
    m.lVBPorch = 29;
    m.ulFBPitch = w;
    return m;
}

TEST(Crtc2Set, TimingInWholeCharactersAndTheHeightField) {
    DualHead b;
    b.set(CRTC2_MISC, 0xA000BEEFu);
    ModeInfo m = mode(1024, 768, 16);
    m.lHFPorch = 20;  // counted as 16
    m.lHSync = 139;   // as 136
    m.lHBPorch = 163; // as 160
    const ModeInfo before = m;
    EXPECT_EQ(HSLCRTC2Set(b.h(), &m), 0u);
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0) << "the caller's record is unchanged";
    // Sync start 1024 + 16 = 1040, written less 8; sync end 1040 + 136.
    EXPECT_EQ(b.reg(CRTC2_HSYNC), (1040u + 136 - 8) << 16 | 1032u);
    EXPECT_EQ(b.reg(CRTC2_HPARAM), (1024u - 8) << 16 | (1024u + 16 + 136 + 160 - 8));
    EXPECT_EQ(b.reg(CRTC2_VPARAM), 767u << 16 | (768u + 3 + 6 + 29 - 1));
    EXPECT_EQ(b.reg(CRTC2_VSYNC), (771u + 6 - 1) << 16 | (771u - 1));
    EXPECT_EQ(b.reg(CRTC2_MISC), 0xA000BEEFu | 769u << 16) << "bits 16-27 take height + 1";
    const sim::MgaBoard::SecondPicture p = b.mga->secondPicture();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    EXPECT_EQ(p.bitsPerPixel, 16);
    EXPECT_EQ(p.offsetBytes, 2048u);
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(Crtc2Set, EachFormatItsBitsAndOffsets) {
    struct Row {
        int32_t bpp;
        uint32_t code, dataControl, setOffset, pitchOffset;
    } rows[] = {
        // pitch 256 throughout
        {15, 1, 0x00, 512, 512},
        {16, 2, 0x00, 512, 512},
        {32, 4, 0x00, 1024, 1024},
        {0x10000, 4, 0x00, 1024, 1024},
        {0x20000, 7, 0x07, 512, 256},
        {0x30000, 7, 0x07, 512, 256},
        {0x40000, 5, 0x87, 512, 512},
        {0x50000, 5, 0x07, 512, 512},
        {0x60000, 4, 0x00, 512, 1024},
        {0x70000, 7, 0x07, 256, 128},
        {0x80000, 7, 0x07, 256, 128},
        {0x90000, 5, 0x87, 256, 256},
        {0xA0000, 5, 0x07, 256, 256},
        // outside the table: both cleared, the offset at the pitch; the
        // pitch routine leaves the register as it was
        {8, 0, 0x00, 256, 256},
    };
    for (const Row &r : rows) {
        DualHead b;
        b.set(CRTC2_CONTROL, 0x02E00011u);
        b.set(CRTC2_DATA_CONTROL, 0x12345678u);
        ModeInfo m = mode(256, 16, r.bpp);
        EXPECT_EQ(HSLCRTC2Set(b.h(), &m), 0u) << r.bpp;
        EXPECT_EQ(b.reg(CRTC2_CONTROL), 0x02000011u | r.code << 21) << std::hex << r.bpp;
        EXPECT_EQ(b.reg(CRTC2_DATA_CONTROL), 0x12345600u | r.dataControl) << std::hex << r.bpp;
        EXPECT_EQ(b.reg(CRTC2_OFFSET), r.setOffset) << std::hex << r.bpp;
        EXPECT_EQ(HSLCRTC2SetPitch(b.h(), &m), 0u);
        EXPECT_EQ(b.reg(CRTC2_OFFSET), r.pitchOffset) << std::hex << r.bpp;
        EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    }
}

TEST(Crtc2Pitch, InterlacedDoublesOnlyInThePitchRoutine) {
    DualHead b;
    ModeInfo m = mode(1024, 768, 16);
    m.lSignalMode = SIGNAL_INTERLACED;
    HSLCRTC2Set(b.h(), &m);
    EXPECT_EQ(b.reg(CRTC2_OFFSET), 2048u);
    HSLCRTC2SetPitch(b.h(), &m);
    EXPECT_EQ(b.reg(CRTC2_OFFSET), 4096u);
}

TEST(Crtc2DisplayStart, TheFiveLayouts) {
    struct Case {
        const char *what;
        int32_t bpp, type;
        uint32_t pitch;
        int32_t lines, org, org2;
        uint32_t x, y;
        // 0x3C2C, 0x3C28, 0x3C3C, 0x3C38, 0x3C34, 0x3C30; ~0 not written
        uint32_t starts[6];
    } cases[] = {
        {"three planes", 0x20000, 0, 64, 8, 0, 0, 0, 0, {0, 64, 512, 544, 640, 672}},
        {"three planes, moved", 0x30000, 0, 64, 8, 100, 0, 4, 1, {168, 232, 680, 712, 808, 840}},
        {"16 bits progressive",
         16,
         0,
         640,
         480,
         16,
         0,
         8,
         2,
         {~0u, (16 + 8 + 1280) * 2, ~0u, ~0u, ~0u, ~0u}},
        {"16 bits two fields", 16, 1, 640, 480, 0, 0, 0, 0, {0, 1280, ~0u, ~0u, ~0u, ~0u}},
        {"32 bits two fields", 32, 1, 640, 480, 0, 0, 2, 0, {8, 8 + 2560, ~0u, ~0u, ~0u, ~0u}},
        {"interleaved", 0x40000, 0, 720, 576, 10, 0, 0, 0, {20, 20 + 1440, ~0u, ~0u, ~0u, ~0u}},
        {"two origins, scale 2",
         0x90000,
         0,
         720,
         576,
         100,
         5000,
         1,
         0,
         {202, 10002, ~0u, ~0u, ~0u, ~0u}},
        {"two origins, scale 4",
         0x60000,
         0,
         720,
         576,
         100,
         5000,
         0,
         0,
         {400, 20000, ~0u, ~0u, ~0u, ~0u}},
        // s = 64 / 4 = 16, d = 8 x 16 = 128, u = (8 x 8) / 2 = 32
        {"field planes", 0x70000, 0, 64, 8, 0, 1000, 0, 0, {0, 1000, 128, 1128, 160, 1160}},
    };
    const uint32_t regs[6] = {CRTC2_START0_FIRST,  CRTC2_START0_SECOND, CRTC2_START1_FIRST,
                              CRTC2_START1_SECOND, CRTC2_START2_FIRST,  CRTC2_START2_SECOND};
    for (const Case &c : cases) {
        DualHead b;
        for (uint32_t r : regs)
            b.set(r, ~0u);
        ModeInfo &cur = b.h()->CurrentModeCRTC2;
        cur = mode(640, 480, c.bpp);
        cur.lModeType = 0x1280000 | c.type;
        cur.ulFBPitch = c.pitch;
        cur.lDeskHeight = c.lines;
        cur.lDisplayOrg = c.org;
        cur.lDisplayOrg2 = c.org2;
        EXPECT_EQ(HSLCRTC2SetDisplayStart(b.h(), c.x, c.y), 0u) << c.what;
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(b.reg(regs[i]), c.starts[i])
                << c.what << ", register " << std::hex << regs[i];
        EXPECT_EQ(cur.lDisplayStartX, int32_t(c.x)) << c.what;
        EXPECT_EQ(cur.lDisplayStartY, int32_t(c.y)) << c.what;
    }
}

TEST(Crtc2DisplayStart, AValueOutsideTheTableWritesNoStart) {
    DualHead b;
    b.h()->CurrentModeCRTC2 = mode(640, 480, 24);
    machine().clearTrace();
    EXPECT_EQ(HSLCRTC2SetDisplayStart(b.h(), 3, 4), 0u);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(b.h()->CurrentModeCRTC2.lDisplayStartX, 3);
    EXPECT_EQ(b.h()->CurrentModeCRTC2.lDisplayStartY, 4);
}

TEST(Crtc2Control, PreloadAndStop) {
    DualHead b;
    EXPECT_EQ(HSLCRTC2SetPreload(b.h(), 1071, 581), 0u);
    EXPECT_EQ(b.reg(CRTC2_PRELOAD), 581u << 16 | 1071u);
    b.set(CRTC2_CONTROL, 0x02F00775u);
    EXPECT_EQ(HSLCRTC2Disable(b.h()), 0u);
    EXPECT_EQ(b.reg(CRTC2_CONTROL), 0x00F0077Cu) << "bit 0 and 25 cleared, bit 3 set";
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
}

TEST(Crtc2Control, AnErrorPendingTouchesNothing) {
    const std::function<uint32_t(BoardHandle *)> calls[] = {
        [](BoardHandle *h) {
            ModeInfo m = mode(640, 480, 16);
            return HSLCRTC2Set(h, &m);
        },
        [](BoardHandle *h) {
            ModeInfo m = mode(640, 480, 16);
            return HSLCRTC2SetPitch(h, &m);
        },
        [](BoardHandle *h) { return HSLCRTC2SetDisplayStart(h, 8, 8); },
        [](BoardHandle *h) { return HSLCRTC2SetPreload(h, 1, 1); },
        HSLCRTC2Disable,
    };
    int i = 0;
    for (const auto &call : calls) {
        DualHead b;
        b.h()->CurrentModeCRTC2 = mode(640, 480, 16);
        b.h()->CurrentModeCRTC2.lDisplayStartX = 5;
        b.h()->ulErrorCode = 0xB0000001u;
        machine().clearTrace();
        EXPECT_EQ(call(b.h()), 0xB0000001u) << i;
        EXPECT_TRUE(machine().trace().empty()) << i;
        EXPECT_EQ(b.h()->CurrentModeCRTC2.lDisplayStartX, 5) << i;
        EXPECT_EQ(b.h()->CurrentModeCRTC2.lDisplayStartY, 0) << i;
        i++;
    }
}

TEST(Crtc2Model, ANarrowAccessIsAFault) {
    DualHead b;
    ClientWriteRegisterByte(b.h(), CRTC2_CONTROL, 1);
    ASSERT_EQ(b.failures.size(), 1u);
    EXPECT_NE(b.failures[0].find("32-bit accesses only"), std::string::npos) << b.failures[0];
}

} // namespace
