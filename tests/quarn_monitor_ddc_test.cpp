// Monitors on the "mga" board's DDC buses: block reads from EDID memories at
// their three addresses, a silent bus, the EDID version, a caller's block
// read with its sum, the properties and limits derived from an EDID, and
// the detection sequence of both outputs around the family's operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hal_error.h"
#include "hal_i2c.h"
#include "hal_monitor.h"
#include "models/mga_monitor.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;
using sim::detailedTiming;
using sim::Edid1;
using sim::Edid2;

template <class F> HSLJumpSlot slot(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

// A board without its own DDC memory, whose operation table holds the line
// routines as a family leaves it (revision 2: port 0 read where driven).
struct Bus : Board {
    Bus() : Board(mgaBoard(0x0521).integer("PCI_REVISION", 2).integer("DDC_BYTES", 0)) {
        HSLJumpSlot *s = h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_I2C_SET_SCL] = slot(HSLDACI2CSetSCL);
        s[HSL_SLOT_I2C_SET_SDA] = slot(HSLDACI2CSetSDA);
        s[HSL_SLOT_I2C_GET_SCL] = slot(HSLDACI2CGetSCL);
        s[HSL_SLOT_I2C_GET_SDA] = slot(HSLDACI2CGetSDA);
        s[HSL_SLOT_GET_MAX_I2C_CLOCK] = slot(HSLDACGetMaxI2CClock);
    }
    sim::MgaI2cBus &bus() { return mga->i2c(); }
    sim::EdidMemory *monitor(uint8_t address, const std::vector<uint8_t> &bytes, int port = 0) {
        return sim::attachMonitor(bus(), port, address, bytes);
    }
    bool busFree(int port = 0) { return bus().scl(port) && bus().sda(port); }
    std::string firstFailure() { return failures.empty() ? "" : failures[0]; }
};

std::vector<uint8_t> edid13() {
    return Edid1().established(35, 5).bytes();
}

// ---------------------------------------------------------------- block reads

TEST(DdcRead, ReadsAMemoryAtEachAddress) {
    const std::vector<uint8_t> two = Edid2().code(48, 0, 133, 60).bytes();
    struct Case {
        const char *what;
        uint8_t address;
        uint32_t offset, count;
    } cases[] = {
        {"one byte at 0xA0", 0xA0, 19, 1},
        {"a block at 0xA0", 0xA0, 0, 128},
        {"the second block at 0xA2", 0xA2, 128, 128},
        {"all 256 bytes at 0xA6", 0xA6, 0, 256},
    };
    for (const Case &c : cases) {
        Bus b;
        // The other two addresses hold another monitor's bytes.
        for (uint8_t a : {0xA0, 0xA2, 0xA6})
            b.monitor(a, a == c.address ? two : edid13());
        std::vector<uint8_t> got(c.count, 0xEE);
        EXPECT_EQ(HALPReadDDCByte(b.h(), 0, c.address, c.offset, got.data(), c.count), 0u)
            << c.what;
        EXPECT_EQ(std::memcmp(got.data(), &two[c.offset], c.count), 0) << c.what;
        EXPECT_TRUE(b.busFree()) << c.what;
        EXPECT_EQ(b.bus().stops(0), 1) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

TEST(DdcRead, ASilentDeviceReleasesTheBusAndIsAnError) {
    Bus b;
    b.monitor(0xA2, edid13());
    uint8_t got[4] = {1, 2, 3, 4};
    EXPECT_EQ(HALPReadDDCByte(b.h(), 0, 0xA0, 0, got, 4), 0x8010C0C0u);
    EXPECT_EQ(got[0], 1) << "nothing stored";
    EXPECT_TRUE(b.busFree());
    EXPECT_EQ(b.bus().stops(0), 1);
    EXPECT_TRUE(b.failures.empty()) << b.firstFailure();
    // A pending error: the read does not start.
    machine().clearTrace();
    EXPECT_EQ(HALPReadDDCByte(b.h(), 0, 0xA2, 0, got, 4), 0x8010C0C0u);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(b.bus().starts(0), 1);
}

TEST(DdcRead, EdidVersionWord) {
    std::vector<uint8_t> zeros(128, 0), noHeader = edid13();
    noHeader[1] = 0x55;
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        uint32_t version;
    } cases[] = {
        {"EDID 1.3", edid13(), 0x13},
        {"EDID 1.0 with a stray high nibble", Edid1().set(19, 0xF0).bytes(), 0x10},
        {"EDID 2.0", Edid2().bytes(), 0x20},
        {"zeros", zeros, 0},
        {"a broken header gives byte 0", noHeader, 0},
    };
    for (const Case &c : cases) {
        Bus b;
        uint32_t v = 0xEEEE;
        EXPECT_EQ(HALPGetEDIDVersion(b.h(), c.bytes.data(), &v), 0u) << c.what;
        EXPECT_EQ(v, c.version) << c.what;
    }
}

TEST(DdcRead, EdidContentByBlockWithItsSum) {
    const std::vector<uint8_t> one = edid13(), two = Edid2().code(48, 0, 133, 60).bytes();
    struct Case {
        const char *what;
        std::vector<uint8_t> monitor;
        uint32_t block, code;
    } cases[] = {
        {"block 0 of EDID 1.3", one, 0, 0},
        {"block 1 of EDID 2.0", two, 1, 0},
        {"a bad sum", sim::withBadSum(one), 0, 0xA01030D0u},
        {"no monitor", {}, 0, 0x8010C0C0u},
        {"block 2", one, 2, 0xA01030A2u},
    };
    for (const Case &c : cases) {
        Bus b;
        if (!c.monitor.empty())
            b.monitor(0xA0, c.monitor);
        uint8_t got[128];
        std::memset(got, 0xEE, sizeof got);
        b.h()->ulErrorCode = 0xB0303065u; // a stale error: the entry starts afresh
        EXPECT_EQ(HALGetEdidContent(b.h(), c.block, got), c.code) << c.what;
        if (c.code == 0)
            EXPECT_EQ(std::memcmp(got, &c.monitor[128 * c.block], 128), 0) << c.what;
        else
            EXPECT_EQ(got[0] & got[64] & got[127], 0xEE) << c.what << ": buffer untouched";
        EXPECT_EQ(b.bus().starts(0), c.block > 1 ? 0 : c.code == 0x8010C0C0u ? 1 : 2) << c.what;
        EXPECT_TRUE(b.busFree()) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

// ---------------------------------------------------------------- properties

struct Record {
    uint32_t flags, minV, maxV, minH, maxH, clock, width, height, prefW, prefH;
};

TEST(MonitorProperties, FromTheEdidOfEachVersion) {
    const std::vector<uint8_t> xga = detailedTiming(65000, 1024, 320, 768, 38, 24, 136, 3, 6);
    struct Case {
        const char *what;
        std::vector<uint8_t> edid;
        uint32_t code;
        Record r;
    } cases[] = {
        {"range limits: 60 stays 60, 120 gives 119, clock 14 gives 137900",
         Edid1().rangeLimits(2, 50, 60, 30, 120, 14).bytes(),
         0,
         {0x03, 50, 60, 30, 119, 137900, 320, 240, 0, 0}},
        {"the first range-limits descriptor counts",
         Edid1().rangeLimits(1, 40, 200, 31, 100, 20).rangeLimits(3, 1, 1, 1, 1, 1).bytes(),
         0,
         {0x03, 40, 197, 31, 99, 197000, 320, 240, 0, 0}},
        {"no range limits: image size only",
         Edid1().bytes(),
         0,
         {0x03, 0, 0, 0, 0, 0, 320, 240, 0, 0}},
        {"digital, GTF and a preferred timing",
         Edid1().set(20, 0x80).set(24, 0x03).descriptor(0, xga).bytes(),
         0,
         {0x0F, 0, 0, 0, 0, 0, 320, 240, 1024, 768}},
        {"a preferred timing flag over a non-timing descriptor",
         Edid1().set(24, 0x02).rangeLimits(0, 1, 2, 3, 4, 5).bytes(),
         0,
         {0x03, 1, 2, 3, 4, 49250, 320, 240, 0, 0}},
        {"EDID 2.0: digital, image size, the first detailed timing",
         Edid2()
             .detailed(xga)
             .set(79, 0x10)
             .set(114, 0x01)
             .set(115, 0x40)
             .set(116, 0x00)
             .set(117, 0xF0)
             .set(126, 0x40)
             .bytes(),
         0,
         {0x0B, 0, 0, 0, 0, 0, 320, 240, 1024, 768}},
        {"EDID 2.0 without the preferred flag",
         Edid2().detailed(xga).set(79, 0x0F).bytes(),
         0,
         {0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"EDID 2.0 with the flag and no detailed timing",
         Edid2().set(126, 0x40).bytes(),
         0,
         {0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"another version",
         Edid1().set(0, 0x30).set(1, 0).bytes(),
         0x801040A1u,
         {0x03, 9, 9, 9, 9, 9, 9, 9, 0, 0}},
    };
    for (const Case &c : cases) {
        for (uint32_t index : {0u, 1u}) {
            Bus b;
            MonitorInfo &m = index == 0 ? b.h()->PrimaryMonitor : b.h()->SecondMonitor;
            std::memcpy(m.aucEDID, c.edid.data(), c.edid.size());
            HALPGetEDIDVersion(b.h(), m.aucEDID, &m.ulEDIDVersion);
            // Stale values the steps must replace; GTF and digital set
            // before: the EDID decides them.
            m.flMonitor = 0x0F;
            m.ulMinVertRate = m.ulMaxVertRate = m.ulMinHorzRate = m.ulMaxHorzRate = 9;
            m.ulMaxPixelClock = m.ulMaxImageWidth = m.ulMaxImageHeight = 9;
            if (c.code == 0) {
                EXPECT_EQ(HALPGetMonitorProperties(b.h(), index), 0u) << c.what;
                EXPECT_EQ(HALPGetMonitorLimits(b.h(), index), 0u) << c.what;
            } else {
                EXPECT_EQ(HALPGetMonitorProperties(b.h(), index), c.code) << c.what;
                b.h()->ulErrorCode = 0;
                EXPECT_EQ(HALPGetMonitorLimits(b.h(), index), 0u) << c.what;
            }
            const Record got{m.flMonitor,        m.ulMinVertRate,    m.ulMaxVertRate,
                             m.ulMinHorzRate,    m.ulMaxHorzRate,    m.ulMaxPixelClock,
                             m.ulMaxImageWidth,  m.ulMaxImageHeight, m.ulPreferredWidth,
                             m.ulPreferredHeight};
            const Record &e = c.r;
            const uint32_t want[] = {e.flags | (c.code ? 0x0C : 0),
                                     e.minV,
                                     e.maxV,
                                     e.minH,
                                     e.maxH,
                                     e.clock,
                                     e.width,
                                     e.height,
                                     e.prefW,
                                     e.prefH};
            const uint32_t have[] = {got.flags | 0x03, got.minV,  got.maxV,   got.minH,  got.maxH,
                                     got.clock,        got.width, got.height, got.prefW, got.prefH};
            for (size_t i = 0; i < sizeof want / sizeof want[0]; i++)
                EXPECT_EQ(have[i], want[i]) << c.what << ", output " << index << ", field " << i;
        }
    }
}

// ---------------------------------------------------------------- detection

// Stand-ins for the chip family's operations, as the families' EDID
// routines use this layer: the primary monitor at 0xA0 on port 0, the flat
// panel at 0xA6, 0xA2 or 0xA0 on the panel-link port (an EDID 2.0 block read
// whole), the second HD15's monitor at 0xA0 on its port.
uint32_t familyEdid(BoardHandle *b, uint32_t which) {
    MonitorInfo &m = which == 0 ? b->PrimaryMonitor : b->SecondMonitor;
    m.flMonitor &= ~uint32_t(MONITOR_CONNECTED | MONITOR_EDID_VALID);
    m.ulEDIDVersion = 0;
    const uint32_t port = which == 0   ? 0
                          : which == 2 ? b->HSLData.ucI2CPortPanelLink
                                       : b->HSLData.ucI2CPortSecondHD15;
    std::vector<uint8_t> addresses = {0xA0};
    if (which == 2)
        addresses = {0xA6, 0xA2, 0xA0};
    // The families read the link module's register into the line cache
    // first: all its lines released.
    if (which != 0)
        b->HSLData.ulI2CChannel2Cache = 0xFF;
    for (uint8_t address : addresses) {
        b->ulErrorCode = 0;
        uint8_t e[256] = {};
        uint32_t version = 0, bytes = 128;
        if (HALPReadDDCByte(b, port, address, 0, e, 128) != 0)
            continue;
        HALPGetEDIDVersion(b, e, &version);
        if (version >> 4 == 2) {
            HALPReadDDCByte(b, port, address, 128, e + 128, 128);
            bytes = 256;
        } else if (version >> 4 != 1) {
            continue;
        }
        uint8_t sum = 0;
        for (uint32_t i = 0; i < bytes; i++)
            sum = uint8_t(sum + e[i]);
        if (sum != 0 || b->ulErrorCode != 0)
            continue;
        std::memcpy(m.aucEDID, e, bytes);
        m.ulEDIDVersion = version;
        m.flMonitor |= MONITOR_CONNECTED | MONITOR_EDID_VALID;
        break;
    }
    b->ulErrorCode = 0;
    return 0;
}

uint8_t gLoad, gTv;
int gTvCalls;
uint32_t senseLoad(BoardHandle *b, uint8_t *loaded) {
    *loaded = gLoad;
    return b->ulErrorCode;
}
uint32_t detectTv(BoardHandle *b, uint8_t *detected) {
    gTvCalls++;
    *detected = gTv;
    b->TVState.ucTVDetect = gTv;
    return b->ulErrorCode;
}

// The second HD15's lines as the adaptor leaves them: the data line pulls
// the clock with it when `gJoined`.
bool gJoined, gSdaLow, gHeldLow;
uint32_t adaptorSetSda(BoardHandle *b, uint32_t, uint32_t level) {
    gSdaLow = level == 0;
    return b->ulErrorCode;
}
uint32_t adaptorGetScl(BoardHandle *b, uint32_t, uint8_t *level) {
    *level = gHeldLow || (gJoined && gSdaLow) ? 0 : 1;
    return b->ulErrorCode;
}
uint32_t adaptorGetSda(BoardHandle *b, uint32_t, uint8_t *level) {
    *level = gHeldLow || gSdaLow ? 0 : 1;
    return b->ulErrorCode;
}

struct Outputs : Bus {
    Outputs() {
        HSLJumpSlot *s = h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_GET_MONITOR_EDID] = slot(familyEdid);
        s[HSL_SLOT_SENCE_MONITOR_LOAD] = slot(senseLoad);
        s[HSL_SLOT_DETECT_TV] = slot(detectTv);
        gLoad = gTv = 0;
        gTvCalls = 0;
        gJoined = gSdaLow = gHeldLow = false;
    }
    void adaptorLines() {
        HSLJumpSlot *s = h()->HSLJumpTable.apfnSlot;
        s[HSL_SLOT_I2C_SET_SDA] = slot(adaptorSetSda);
        s[HSL_SLOT_I2C_GET_SCL] = slot(adaptorGetScl);
        s[HSL_SLOT_I2C_GET_SDA] = slot(adaptorGetSda);
    }
};

TEST(MonitorDetection, PrimaryOutput) {
    struct Case {
        const char *what;
        std::vector<uint8_t> monitor;
        uint8_t load;
        uint32_t flags, version, maxV;
    } cases[] = {
        {"an EDID 1.3 monitor", Edid1().rangeLimits(0, 50, 120, 30, 70, 10).bytes(), 0, 0x03, 0x13,
         119},
        {"a monitor with a bad sum, sensed by its load", sim::withBadSum(edid13()), 1, 0x01, 0, 0},
        {"nothing", {}, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        Outputs b;
        if (!c.monitor.empty())
            b.monitor(0xA0, c.monitor);
        gLoad = c.load;
        b.h()->PrimaryMonitor.flMonitor = 0xFF;
        b.h()->ulErrorCode = 0xB0303065u;
        EXPECT_EQ(HALGetMonitorInfo(b.h(), 0), 0u) << c.what;
        EXPECT_EQ(b.h()->PrimaryMonitor.flMonitor, c.flags) << c.what;
        EXPECT_EQ(b.h()->PrimaryMonitor.ulEDIDVersion, c.version) << c.what;
        EXPECT_EQ(b.h()->PrimaryMonitor.ulMaxVertRate, c.maxV) << c.what;
        EXPECT_EQ(b.h()->SecondMonitor.flMonitor, 0u) << c.what;
        EXPECT_TRUE(b.busFree()) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

TEST(MonitorDetection, SecondOutput) {
    const std::vector<uint8_t> panel =
        Edid2()
            .detailed(detailedTiming(108000, 1280, 408, 1024, 42, 48, 112, 1, 3))
            .set(126, 0x40)
            .set(79, 0x20)
            .bytes();
    struct Case {
        const char *what;
        uint32_t features;
        std::vector<std::pair<uint8_t, std::vector<uint8_t>>> monitors; // on port 0
        bool adaptor;
        uint8_t tv;
        uint32_t flags, version;
        int tvCalls;
    } cases[] = {
        {"a flat panel at 0xA0 with EDID 2.0", 0x2000, {{0xA0, panel}}, false, 0, 0x0B, 0x20, 0},
        {"0xA6 before 0xA0", 0x4000, {{0xA0, edid13()}, {0xA6, panel}}, false, 0, 0x0B, 0x20, 0},
        {"no panel, a TV", 0x2000, {}, false, 1, 0x11, 0, 1},
        {"a second HD15 monitor", 0x20000, {{0xA0, edid13()}}, false, 0, 0x03, 0x13, 0},
        // The second HD15's own TV check marks the output connected only.
        {"a second HD15 with a TV", 0x40000, {}, false, 4, 0x01, 0, 1},
        {"the HD15-to-TV adaptor", 0x20000, {{0xA0, edid13()}}, true, 0, 0x20, 0, 1},
        {"the adaptor and a TV", 0x20000, {}, true, 1, 0x31, 0, 1},
        {"nothing at all", 0, {}, false, 0, 0, 0, 1},
    };
    for (const Case &c : cases) {
        Outputs b;
        b.h()->flFeatures = c.features;
        // Port 0, as on an eclipse board with the module's own port bit;
        // the primary output's routine is not run.
        b.h()->HSLData.ucI2CPortPanelLink = 0;
        b.h()->HSLData.ucI2CPortSecondHD15 = 0;
        for (const auto &mon : c.monitors)
            b.monitor(mon.first, mon.second, 0);
        if (c.adaptor) {
            b.adaptorLines();
            gJoined = true;
        }
        gTv = c.tv;
        EXPECT_EQ(HALGetMonitorInfo(b.h(), 1), 0u) << c.what;
        const MonitorInfo &m = b.h()->SecondMonitor;
        EXPECT_EQ(m.flMonitor, c.flags) << c.what;
        EXPECT_EQ(m.ulEDIDVersion, c.version) << c.what;
        EXPECT_EQ(gTvCalls, c.tvCalls) << c.what;
        if (c.version == 0x20) {
            EXPECT_EQ(std::memcmp(m.aucEDID, panel.data(), 256), 0) << c.what;
            EXPECT_EQ(m.ulPreferredWidth, 1280u) << c.what;
            EXPECT_EQ(m.ulPreferredHeight, 1024u) << c.what;
        }
        EXPECT_EQ(b.h()->PrimaryMonitor.flMonitor, 0u) << c.what;
        EXPECT_TRUE(b.failures.empty()) << c.what << ": " << b.firstFailure();
    }
}

TEST(MonitorDetection, HD15ToTVAdaptorLines) {
    struct Case {
        const char *what;
        bool joined, heldLow;
        uint32_t found;
    } cases[] = {
        {"lines joined", true, false, 1},
        {"separate lines", false, false, 0},
        {"lines held low", true, true, 0},
    };
    for (const Case &c : cases) {
        Outputs b;
        b.adaptorLines();
        gJoined = c.joined;
        gHeldLow = c.heldLow;
        uint32_t found = 7;
        EXPECT_EQ(HALPDetectHD15ToTVAdaptor(b.h(), &found), 0u) << c.what;
        EXPECT_EQ(found, c.found) << c.what;
        EXPECT_FALSE(gSdaLow) << c.what << ": the data line is released";
        EXPECT_EQ(b.h()->HSLData.ulI2CChannel2Cache, 0x7Fu) << c.what;
    }
}

} // namespace
