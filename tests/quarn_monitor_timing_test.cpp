// The timings a monitor offers for a screen size: established, standard and
// detailed timings of EDID 1.x, timing codes and detailed timings behind the
// EDID 2.0 layout, the descriptor decoding, and the 2.0 to 1.1 conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "hal_monitor.h"
#include "hal_dispatch.h"
#include "models/mga_monitor.h"

namespace {

using sim::detailedTiming;
using sim::Edid1;
using sim::Edid2;

constexpr int32_t kUntouched = 0x5A5A5A5A;

struct Handle {
    Handle() : h(std::make_unique<BoardHandle>()) { std::memset(h.get(), 0, sizeof *h); }
    // A monitor whose EDID the family's routine has read.
    void monitor(const std::vector<uint8_t> &edid, int output = 0) {
        MonitorInfo &m = output == 0 ? h->PrimaryMonitor : h->SecondMonitor;
        h->ulErrorCode = 0;
        std::memcpy(m.aucEDID, edid.data(), edid.size());
        HALPGetEDIDVersion(h.get(), m.aucEDID, &m.ulEDIDVersion);
        m.flMonitor = MONITOR_CONNECTED | MONITOR_EDID_VALID;
    }
    std::unique_ptr<BoardHandle> h;
};

ModeInfo request(uint32_t w, int32_t v, int32_t modeType = 0) {
    ModeInfo m;
    int32_t *words = reinterpret_cast<int32_t *>(&m);
    for (size_t i = 0; i < sizeof m / 4; i++)
        words[i] = kUntouched;
    m.ulDispWidth = w;
    m.lDispHeight = v;
    m.lModeType = modeType;
    return m;
}

// 1024 x 768 at 60 Hz: 1344 x 806 in all at 65 MHz.
std::vector<uint8_t> xga60(uint8_t flags = 0x1E) {
    return detailedTiming(65000, 1024, 320, 768, 38, 24, 136, 3, 6, flags);
}
// 640 x 480 at 60 Hz as a descriptor.
std::vector<uint8_t> vga60() {
    return detailedTiming(25170, 640, 160, 480, 45, 16, 96, 10, 2, 0x18);
}

TEST(EdidTimings, PickedByIndexOverEstablishedStandardAndDetailed) {
    // Established 640 x 480 at 72 Hz (byte 35 bit 3) and 60 Hz (bit 5), the
    // standard code for 85 Hz.
    const Edid1 vgaMonitor = Edid1().established(35, 3).established(35, 5).standard(0, 0x31, 0x59);
    std::vector<uint8_t> rangeOnly(18, 0);
    rangeOnly[3] = 0xFD;
    std::vector<uint8_t> clock0A00(18, 0);
    clock0A00[1] = 0x0A;
    clock0A00[2] = 0x80; // 640
    clock0A00[4] = 0x20;
    clock0A00[5] = 0xE0; // 480
    clock0A00[7] = 0x10;
    struct Case {
        const char *what;
        std::vector<uint8_t> edid;
        uint32_t w;
        int32_t v;
        uint32_t index, code;
        int32_t refresh, clock;
    } cases[] = {
        {"established slot 3 comes first", vgaMonitor.bytes(), 640, 480, 0, 0, 72, 31500},
        {"then slot 5", vgaMonitor.bytes(), 640, 480, 1, 0, 60, 25175},
        {"then the standard code", vgaMonitor.bytes(), 640, 480, 2, 0, 85, 36000},
        {"nothing after it", vgaMonitor.bytes(), 640, 480, 3, 0xA0102040u, 0, 0},
        {"a detailed timing after them", Edid1(vgaMonitor).descriptor(1, vga60()).bytes(), 640, 480,
         3, 0, 59, 25170},
        {"a descriptor with clock bytes 00 0A is a timing",
         Edid1().descriptor(0, rangeOnly).descriptor(2, clock0A00).bytes(), 640, 480, 0, 0, 83,
         25600},
        {"a range-limits descriptor is not", Edid1().descriptor(0, rangeOnly).bytes(), 640, 480, 0,
         0xA0102070u, 0, 0},
        {"another size does not count", vgaMonitor.bytes(), 800, 600, 0, 0xA0102070u, 0, 0},
        {"established slot 4 offers nothing", Edid1().established(35, 4).bytes(), 0, 0, 0,
         0xA0102070u, 0, 0},
        {"empty standard slots hold 01", Edid1().standard(1, 0x01, 0x59).bytes(), 640, 480, 0,
         0xA0102070u, 0, 0},
        {"0x71 0x4F gives three records", Edid1().standard(3, 0x71, 0x4F).bytes(), 1152, 864, 0, 0,
         75, 108000},
        {"the second of them", Edid1().standard(3, 0x71, 0x4F).bytes(), 1152, 864, 1, 0, 75,
         108000},
        {"the third of them", Edid1().standard(3, 0x71, 0x4F).bytes(), 1152, 864, 2, 0, 75, 110150},
        {"and no fourth", Edid1().standard(3, 0x71, 0x4F).bytes(), 1152, 864, 3, 0xA0102040u, 0, 0},
        {"EDID 2.0 with nothing", Edid2().bytes(), 640, 480, 0, 0xA0102070u, 0, 0},
        {"EDID 2.0 timing code for 1024 x 768 at 60 Hz",
         Edid2().code(48, 0, 133, 60).detailed(xga60()).bytes(), 1024, 768, 0, 0, 60, 65000},
        {"EDID 2.0 detailed timing after the codes",
         Edid2().code(48, 0, 133, 60).detailed(xga60()).bytes(), 1024, 768, 1, 0, 60, 65000},
        {"a timing code at a rate no VESA record has", Edid2().code(48, 0, 133, 61).bytes(), 1024,
         768, 0, 0xA0102070u, 0, 0},
        {"a timing code with aspect 0", Edid2().code(48, 0, 0, 60).bytes(), 1024, 768, 0,
         0x8040D130u, 0, 0},
        {"a version other than 1 and 2", Edid1().set(0, 0x30).set(1, 0).bytes(), 640, 480, 0,
         0x801060A1u, 0, 0},
    };
    for (const Case &c : cases) {
        Handle b;
        b.monitor(c.edid);
        ModeInfo m = request(c.w, c.v);
        const ModeInfo before = m;
        EXPECT_EQ(HALGetDDCParameters(b.h.get(), &m, c.index), c.code) << c.what;
        if (c.code != 0) {
            EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << c.what << ": record untouched";
            continue;
        }
        EXPECT_EQ(m.lRefreshRate, c.refresh) << c.what;
        EXPECT_EQ(m.lPixClock, c.clock) << c.what;
        // Only the timing words change.
        EXPECT_EQ(m.ulDispWidth, c.w) << c.what;
        EXPECT_EQ(m.lZoom, kUntouched) << c.what;
        EXPECT_EQ(m.alTVAdjust[0], kUntouched) << c.what;
        EXPECT_EQ(m.ulFBPitch, uint32_t(kUntouched)) << c.what;
    }
}

TEST(EdidTimings, TheOutputAndItsEdidDecideTheSearch) {
    Handle b;
    ModeInfo m = request(640, 480);
    EXPECT_EQ(HALGetDDCParameters(b.h.get(), &m, 0), 0xA01020A0u) << "no EDID";
    b.monitor(Edid1().established(35, 5).bytes(), 1);
    EXPECT_EQ(HALGetDDCParameters(b.h.get(), &m, 0), 0xA01020A0u) << "the first output has none";
    m = request(640, 480, MODE_TYPE_SECOND_OUTPUT);
    EXPECT_EQ(HALGetDDCParameters(b.h.get(), &m, 0), 0u);
    EXPECT_EQ(m.lRefreshRate, 60);
    // The version dispatchers' refusals.
    b.h->SecondMonitor.ulEDIDVersion = 0x30;
    struct Case {
        uint32_t (*count)(BoardHandle *, ModeInfo *, uint32_t, uint32_t *);
        uint32_t (*pick)(BoardHandle *, ModeInfo *, uint32_t, uint32_t);
        uint32_t countCode, pickCode;
    } cases[] = {
        {HALPGetDDCEstablishedTimingNumber, HALPGetDDCEstablishedTiming, 0x801060A1u, 0x801090A1u},
        {HALPGetDDCStandardTimingNumber, HALPGetDDCStandardTiming, 0x801070A1u, 0x8010B0A1u},
        {HALPGetDDCDetailedTimingNumber, HALPGetDDCDetailedTiming, 0x801080A1u, 0x8010A0A1u},
    };
    for (const Case &c : cases) {
        uint32_t n = 99;
        b.h->ulErrorCode = 0;
        EXPECT_EQ(c.count(b.h.get(), &m, 1, &n), c.countCode);
        b.h->ulErrorCode = 0;
        EXPECT_EQ(c.pick(b.h.get(), &m, 1, 0), c.pickCode);
        // A pending error stops the next step before it starts.
        EXPECT_EQ(c.count(b.h.get(), &m, 1, &n), c.pickCode);
    }
    b.h->SecondMonitor.ulEDIDVersion = 0x20;
    b.h->ulErrorCode = 0;
    EXPECT_EQ(HALPGetDDCEstablishedTiming(b.h.get(), &m, 1, 0), 0x80109070u);
    // The pickers' own codes for an index past the matches.
    Handle one;
    one.monitor(Edid1().established(35, 5).standard(0, 0x31, 0x59).descriptor(0, vga60()).bytes());
    m = request(640, 480);
    EXPECT_EQ(HALPGetDDCEstablishedTiming(one.h.get(), &m, 0, 1), 0x80404040u);
    one.h->ulErrorCode = 0;
    EXPECT_EQ(HALPGetDDCStandardTiming(one.h.get(), &m, 0, 1), 0x80405040u);
    one.h->ulErrorCode = 0;
    EXPECT_EQ(HALPGetDDCDetailedTiming(one.h.get(), &m, 0, 1), 0x80406040u);
    m = request(800, 600);
    one.h->ulErrorCode = 0;
    EXPECT_EQ(HALPGetDDCDetailedTiming(one.h.get(), &m, 0, 0), 0x80406070u);
    Handle two;
    two.monitor(Edid2().bytes());
    EXPECT_EQ(HALPGetDDCDetailedTiming(two.h.get(), &m, 0, 0), 0x80408070u);
    two.h->ulErrorCode = 0;
    EXPECT_EQ(HALPGetDDCStandardTiming(two.h.get(), &m, 0, 0), 0x8040B070u);
}

TEST(EdidTimings, DetailedDescriptorDecoding) {
    Handle b;
    ModeInfo m{};
    EXPECT_EQ(HALPGetEDID2DetailedTimingInfo(b.h.get(), &m, xga60().data()), 0u);
    EXPECT_EQ(m.ulDispWidth, 1024u);
    EXPECT_EQ(m.lDispHeight, 768);
    EXPECT_EQ(m.lPixClock, 65000);
    EXPECT_EQ(m.lHFPorch, 24);
    EXPECT_EQ(m.lHSync, 136);
    EXPECT_EQ(m.lHBPorch, 160);
    EXPECT_EQ(m.lVFPorch, 3);
    EXPECT_EQ(m.lVSync, 6);
    EXPECT_EQ(m.lVBPorch, 29);
    EXPECT_EQ(m.lRefreshRate, 60);
    // 60 frames of 806 lines: 48 kHz, as the VESA record says.
    EXPECT_EQ(m.lHorizontalRate, 48);
    EXPECT_EQ(m.lSignalMode, 12);
    // Wide fields: porches and syncs past 8 bits, overscan, interlace; the
    // polarity bits count only for a separate-sync descriptor.
    std::vector<uint8_t> d = detailedTiming(148500, 1920, 280, 1080, 22, 600, 300, 40, 35, 0x80);
    d[15] = 2;
    d[16] = 3;
    ModeInfo w{};
    HALPGetEDID2DetailedTimingInfo(b.h.get(), &w, d.data());
    EXPECT_EQ(w.lHFPorch, 600);
    EXPECT_EQ(w.lHSync, 300);
    EXPECT_EQ(w.lHBPorch, 280 - 600 - 300);
    EXPECT_EQ(w.lVFPorch, 40);
    EXPECT_EQ(w.lVSync, 35);
    EXPECT_EQ(w.lHOvscan, 2);
    EXPECT_EQ(w.lVOvscan, 3);
    EXPECT_EQ(w.lSignalMode, 1);
    // Totals of 0: no rates, and no division by zero.
    std::vector<uint8_t> empty(18, 0);
    empty[1] = 0x0A;
    ModeInfo z{};
    z.lRefreshRate = z.lHorizontalRate = 5;
    HALPGetEDID2DetailedTimingInfo(b.h.get(), &z, empty.data());
    EXPECT_EQ(z.lPixClock, 25600);
    EXPECT_EQ(z.lRefreshRate, 0);
    EXPECT_EQ(z.lHorizontalRate, 0);
    // Timing codes: width from c0, height from the aspect ratio.
    const uint8_t code[4] = {48, 0, 133, 75};
    ModeInfo t{};
    EXPECT_EQ(HALPGetEDID2TimingCodesInfo(b.h.get(), &t, code), 0u);
    EXPECT_EQ(t.ulDispWidth, 1024u);
    EXPECT_EQ(t.lDispHeight, 768);
    EXPECT_EQ(t.lRefreshRate, 75);
    const uint8_t flat[4] = {48, 0, 0, 75};
    t.lDispHeight = 123;
    EXPECT_EQ(HALPGetEDID2TimingCodesInfo(b.h.get(), &t, flat), 0x8040D130u);
    EXPECT_EQ(t.lDispHeight, 123);
}

TEST(EdidTimings, Edid2LayoutStartsThatPassTheBlockEnd) {
    // A luminance table of 31 x 3 bytes puts S1 at 222, seven range blocks S2
    // at 278: in 8 bits the starts wrap to the block's beginning.
    Handle b;
    const uint8_t xgaCode[4] = {48, 0, 133, 60};
    std::vector<uint8_t> e = Edid2().bytes();
    e[126] = 0x20 | 7 << 2;
    e[127] = 31 << 3 | 7;
    e[128] = 0x80 | 31;
    // Where 8-bit starts would find a code and a descriptor.
    std::memcpy(&e[22], xgaCode, 4);
    const std::vector<uint8_t> d = xga60();
    std::memcpy(&e[22 + 4 * 31], d.data(), 18);
    uint8_t offsets[8];
    EXPECT_EQ(HALPCalcEDID2Offset(b.h.get(), e.data(), offsets), 0u);
    const uint8_t wrapped[8] = {7, 222, 0, 22, 31, 22, 7, uint8_t(22 + 124)};
    EXPECT_EQ(std::memcmp(offsets, wrapped, 8), 0);
    b.monitor(e);
    ModeInfo m = request(1024, 768);
    EXPECT_EQ(HALGetDDCParameters(b.h.get(), &m, 0), 0xA0102070u);

    // Three frequency blocks put the codes at 209: eleven fit before the end.
    Handle c;
    std::vector<uint8_t> f = Edid2().bytes();
    f[126] = 3;
    f[127] = 31 << 3 | 2;
    const uint8_t square[4] = {0, 0, 100, 60}; // 256 x 256
    for (int i = 0; i < 10; i++)
        std::memcpy(&f[209 + 4 * i], square, 4);
    std::memcpy(&f[209 + 4 * 10], xgaCode, 4);
    std::memcpy(&f[209 + 4 * 11], xgaCode, 1); // the twelfth would run past 255
    f[255] = 60;
    c.monitor(f);
    m = request(1024, 768);
    EXPECT_EQ(HALGetDDCParameters(c.h.get(), &m, 0), 0u);
    EXPECT_EQ(m.lPixClock, 65000);
    EXPECT_EQ(HALGetDDCParameters(c.h.get(), &m, 1), 0xA0102040u);
    EXPECT_EQ(edid2::count(f.data(), edid2::kCodes), 11u);
    EXPECT_EQ(edid2::count(f.data(), edid2::kDetailed), 0u);
}

TEST(EdidTimings, Edid2ConvertsToA11Block) {
    std::vector<uint8_t> e2 = Edid2()
                                  .code(48, 0, 133, 60)  // 1024 x 768 at 60
                                  .code(24, 0, 125, 140) // 640 x 512, rate clamped to 123
                                  .code(64, 0, 100, 20)  // 1280 x 1280, rate clamped to 60
                                  .detailed(xga60())
                                  .detailed(vga60())
                                  .set(5, 7)
                                  .set(6, 9)
                                  .set(66, 0x0F)
                                  .set(79, 0)
                                  .set(81, 0xE5)
                                  .set(91, 0x80)
                                  .set(114, 0x40) // 320 mm, little-endian here
                                  .set(115, 0x01)
                                  .set(116, 0xF0)
                                  .set(117, 0x00)
                                  .set(86, 0x78)
                                  .set(125, 1)
                                  .set(126, 0x40)
                                  .set(94, 0xAB)
                                  .set(103, 0xCD)
                                  .bytes();
    const std::vector<uint8_t> input = e2;
    Handle b;
    uint8_t e1[128];
    std::memset(e1, 0xEE, sizeof e1);
    EXPECT_EQ(HALConvertEDID2toEDID1(b.h.get(), e1, e2.data()), 0u);
    EXPECT_EQ(e2, input) << "the caller's block is left as it was";
    const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(std::memcmp(e1, header, 8), 0);
    EXPECT_EQ(std::memcmp(e1 + 8, &e2[1], 4), 0);
    EXPECT_EQ(e1[12] | e1[13] | e1[14] | e1[15], 0);
    EXPECT_EQ(e1[16], 7);
    EXPECT_EQ(e1[17], 9 + 58);
    EXPECT_EQ(e1[18], 1);
    EXPECT_EQ(e1[19], 1);
    EXPECT_EQ(e1[20], 0x0F);
    EXPECT_EQ(e1[21], (0x140 + 5) / 10);
    EXPECT_EQ(e1[22], (0xF0 + 5) / 10);
    EXPECT_EQ(e1[23], 0x78);
    EXPECT_EQ(e1[24], 0xE0 + 12 + 2 + 1);
    EXPECT_EQ(e1[25], 0xAB);
    EXPECT_EQ(e1[34], 0xCD);
    EXPECT_EQ(e1[35] | e1[36] | e1[37], 0);
    const uint8_t standard[16] = {97, 0x40, 49, 0x80 | 63, 129, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(e1 + 38, standard, 16), 0);
    const std::vector<uint8_t> first = xga60(), second = vga60();
    EXPECT_EQ(std::memcmp(e1 + 54, first.data(), 18), 0);
    for (int i = 1; i < 4; i++)
        EXPECT_EQ(std::memcmp(e1 + 54 + 18 * i, second.data(), 18), 0) << "descriptor " << i;
    EXPECT_EQ(e1[126], 0);
    uint8_t sum = 0;
    for (uint8_t x : e1)
        sum = uint8_t(sum + x);
    EXPECT_EQ(sum, 0);
    // The converted block offers what the original did.
    Handle one;
    one.monitor(std::vector<uint8_t>(e1, e1 + 128));
    EXPECT_EQ(one.h->PrimaryMonitor.ulEDIDVersion, 0x11u);
    ModeInfo m = request(1024, 768);
    EXPECT_EQ(HALGetDDCParameters(one.h.get(), &m, 0), 0u);
    EXPECT_EQ(m.lRefreshRate, 60);
    EXPECT_EQ(m.lPixClock, 65000);

    // Nothing but the header: no codes, no descriptors, the digital bit.
    std::vector<uint8_t> bare = Edid2().set(79, 0x10).bytes();
    EXPECT_EQ(HALConvertEDID2toEDID1(b.h.get(), e1, bare.data()), 0u);
    EXPECT_EQ(e1[20], 0x80);
    EXPECT_EQ(e1[24], 8);
    for (int i = 38; i < 126; i++)
        EXPECT_EQ(e1[i], 0) << "byte " << i;
}

} // namespace
