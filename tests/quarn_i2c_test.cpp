// The Matrox chip layer's I2C master and line routines on the "mga" board's
// buses: a DDC memory read as the monitor code reads it, absent devices, a
// held clock, a busy bus, the clock limit, the line expanders behind port 1,
// and the refusals.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl.h"
#include "models/mga_i2c.h"
#include "pcibus.h"
#include "pcicfg.h"
#include "quarn_seam.h"

namespace {

using namespace quarnseam;

constexpr uint32_t kWarnClock = 0x40302080u;

// An eclipse board of revision 2: port 0 is read where it is driven.
graf::Builder plainBoard() {
    return mgaBoard().integer("PCI_REVISION", 2);
}

// A board whose operation table holds the line routines, as a family's
// table set-up leaves it; `alternative` puts in the port-0 readers of the
// boards that read it on pins 2 and 0.
struct Bus : Board {
    explicit Bus(graf::Builder b = plainBoard(), bool alternative = false) : Board(std::move(b)) {
        HSLJumpSlot *slots = h()->HSLJumpTable.apfnSlot;
        slots[HSL_SLOT_I2C_SET_SCL] = reinterpret_cast<HSLJumpSlot>(HSLDACI2CSetSCL);
        slots[HSL_SLOT_I2C_SET_SDA] = reinterpret_cast<HSLJumpSlot>(HSLDACI2CSetSDA);
        slots[HSL_SLOT_I2C_GET_SCL] =
            reinterpret_cast<HSLJumpSlot>(alternative ? HSLDACI2CAltGetSCL : HSLDACI2CGetSCL);
        slots[HSL_SLOT_I2C_GET_SDA] =
            reinterpret_cast<HSLJumpSlot>(alternative ? HSLDACI2CAltGetSDA : HSLDACI2CGetSDA);
        slots[HSL_SLOT_GET_MAX_I2C_CLOCK] = reinterpret_cast<HSLJumpSlot>(HSLDACGetMaxI2CClock);
    }
    sim::MgaI2cBus &bus() { return mga->i2c(); }
};

I2CCommand step(uint32_t operation, uint32_t data, uint32_t control, uint32_t rate = 5000) {
    I2CCommand c{};
    c.ulOperation = operation;
    c.ucData = data;
    c.flControl = control;
    c.ulClockRate = rate;
    return c;
}

// Reads `count` bytes from offset `offset` of the device at `address`, as the
// monitor code does: the address, the offset, the address again for reading
// behind a repeated start, the bytes acknowledged but the last, which ends
// with a not-acknowledge and a stop. The status of the first step that
// failed, else 0.
uint32_t readDevice(BoardHandle *b, uint32_t port, uint8_t address, uint8_t offset, int count,
                    uint8_t *out) {
    I2CCommand c = step(I2C_OP_WRITE, address, I2C_START | I2C_ACK | I2C_CHECK_CLOCK);
    HALPI2CExecute(b, port, &c);
    if (c.ulStatus == 0) {
        c = step(I2C_OP_WRITE, offset, I2C_ACK | I2C_CHECK_CLOCK);
        HALPI2CExecute(b, port, &c);
    }
    if (c.ulStatus == 0) {
        c = step(I2C_OP_WRITE, address | 1u, I2C_START | I2C_ACK | I2C_CHECK_CLOCK);
        HALPI2CExecute(b, port, &c);
    }
    if (c.ulStatus != 0) {
        const uint32_t status = c.ulStatus;
        I2CCommand release = step(I2C_OP_NULL, 0, I2C_NAK | I2C_STOP);
        HALPI2CExecute(b, port, &release);
        return status;
    }
    for (int i = 0; i < count; i++) {
        const bool last = i == count - 1;
        c = step(I2C_OP_READ, 0, last ? I2C_NAK | I2C_STOP : I2C_ACK);
        HALPI2CExecute(b, port, &c);
        out[i] = uint8_t(c.ucData);
    }
    return 0;
}

// ---------------------------------------------------------------- DDC reads

TEST(I2cDdc, ReadsTheMonitorsMemoryThroughTheRightPins) {
    struct Case {
        const char *what;
        int revision, bytes;
        bool alternative;
        uint8_t offset;
        uint32_t status;
    } cases[] = {
        {"revision 2, the ordinary readers", 2, 128, false, 0, 0},
        {"revision 3, the alternative readers", 3, 128, true, 0, 0},
        {"revision 2 with the alternative readers: port 5's idle lines", 2, 128, true, 0,
         I2C_STATUS_NO_ACK},
        {"revision 3 with the ordinary readers: pins 3 and 1 read only themselves", 3, 128, false,
         0, I2C_STATUS_NO_ACK},
        {"a 256-byte memory from offset 128", 2, 256, false, 128, 0},
    };
    for (const Case &c : cases) {
        Bus b(mgaBoard(0x0521).integer("PCI_REVISION", c.revision).integer("DDC_BYTES", c.bytes),
              c.alternative);
        uint8_t got[128];
        std::memset(got, 0xEE, sizeof got);
        EXPECT_EQ(readDevice(b.h(), 0, 0xA0, c.offset, 128, got), c.status) << c.what;
        EXPECT_EQ(b.h()->ulErrorCode, 0u) << c.what;
        if (c.status == 0) {
            EXPECT_EQ(std::memcmp(got, &b.mga->ddc()[c.offset], 128), 0) << c.what;
            EXPECT_EQ(b.bus().ddcPointer(), uint8_t((c.offset + 128) % c.bytes)) << c.what;
        }
        EXPECT_TRUE(b.bus().scl(0) && b.bus().sda(0)) << c.what << ": the bus is left free";
        // A master reading the wrong pins misses the memory's acknowledge
        // and stops in the middle of the byte the memory waits for: the
        // model reports that.
        EXPECT_EQ(b.failures.empty(), c.status == 0)
            << c.what << ": " << (b.failures.empty() ? "" : b.failures[0]);
    }
}

TEST(I2cDdc, AnAbsentDeviceIsAStatusNotAnError) {
    Bus b(plainBoard().integer("DDC_BYTES", 0));
    I2CCommand c = step(I2C_OP_WRITE, 0xA0, 0x51);
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &c), 0u);
    EXPECT_EQ(c.ulStatus, uint32_t(I2C_STATUS_NO_ACK));
    EXPECT_EQ(b.h()->ulErrorCode, 0u);
    // Another address on a bus with the memory: no acknowledge either.
    Bus other;
    c = step(I2C_OP_WRITE, 0xA2, 0x51);
    EXPECT_EQ(HALI2CExecute(other.h(), 0, &c), 0u);
    EXPECT_EQ(c.ulStatus, uint32_t(I2C_STATUS_NO_ACK));
    // Without the ack bit a silent device is not reported.
    c = step(I2C_OP_WRITE, 0xA2, I2C_START);
    HALI2CExecute(other.h(), 0, &c);
    EXPECT_EQ(c.ulStatus, 0u);
    EXPECT_TRUE(b.failures.empty());
    EXPECT_TRUE(other.failures.empty());
}

// ---------------------------------------------------------------- held lines

int gClockReads;
uint32_t countingGetScl(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel) {
    gClockReads++;
    return HSLDACI2CGetSCL(pBoard, port, pLevel);
}

TEST(I2cLines, AClockHeldLowIsWaitedForThenReportedByTheAcknowledge) {
    Bus b(plainBoard().string("I2C_FIXTURE", "clock-low"));
    b.h()->HSLJumpTable.apfnSlot[HSL_SLOT_I2C_GET_SCL] =
        reinterpret_cast<HSLJumpSlot>(countingGetScl);
    gClockReads = 0;
    EXPECT_EQ(HSLDACI2CSetSCL(b.h(), 0, 1), 0u);
    EXPECT_EQ(gClockReads, 201);
    EXPECT_EQ(b.h()->ulErrorCode, 0u);
    // The data line is released without waiting.
    gClockReads = 0;
    EXPECT_EQ(HSLDACI2CSetSDA(b.h(), 0, 1), 0u);
    EXPECT_EQ(gClockReads, 0);
    // A write step checking the clock at the acknowledge.
    I2CCommand c = step(I2C_OP_WRITE, 0xA0, I2C_START | I2C_CHECK_CLOCK);
    EXPECT_EQ(HALI2CExecute(b.h(), 0, &c), 0u);
    EXPECT_EQ(c.ulStatus, uint32_t(I2C_STATUS_CLOCK_LOW));
    // A free clock is waited for once.
    Bus free;
    free.h()->HSLJumpTable.apfnSlot[HSL_SLOT_I2C_GET_SCL] =
        reinterpret_cast<HSLJumpSlot>(countingGetScl);
    gClockReads = 0;
    HSLDACI2CSetSCL(free.h(), 0, 0);
    HSLDACI2CSetSCL(free.h(), 0, 1);
    EXPECT_EQ(gClockReads, 1);
    EXPECT_TRUE(free.failures.empty());
}

TEST(I2cLines, ABusHeldBusyIsReportedAtTheStart) {
    Bus b(plainBoard().string("I2C_FIXTURE", "bus-busy"));
    I2CCommand c = step(I2C_OP_NULL, 0, I2C_START);
    EXPECT_EQ(HALI2CExecute(b.h(), 0, &c), 0u);
    EXPECT_EQ(c.ulStatus, uint32_t(I2C_STATUS_BUSY));
    // On another port the bus is free.
    c = step(I2C_OP_NULL, 0, I2C_START | I2C_STOP);
    EXPECT_EQ(HALI2CExecute(b.h(), 5, &c), 0u);
    EXPECT_EQ(c.ulStatus, 0u);
    EXPECT_EQ(b.bus().starts(5), 1);
    EXPECT_EQ(b.bus().stops(5), 1);
}

// ---------------------------------------------------------------- the engine

TEST(I2cEngine, TheClockLimitWarningIsKeptAcrossTheStepsOfATransfer) {
    Bus b;
    I2CCommand c = step(I2C_OP_NOTHING, 0, 0, 200000);
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &c), kWarnClock);
    EXPECT_EQ(c.ulClockRate, 100000u);
    I2CCommand slow = step(I2C_OP_WRITE, 0xA0, 0x51, 5000);
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &slow), kWarnClock) << "the warning stays";
    EXPECT_EQ(slow.ulClockRate, 5000u) << "a rate below the limit stays";
    EXPECT_EQ(slow.ulStatus, 0u) << "and the step runs";
    I2CCommand stop = step(I2C_OP_RESET, 0, 0, 100000);
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &stop), kWarnClock);
    EXPECT_EQ(stop.ulClockRate, 100000u) << "the limit itself is allowed";
    // The public entry starts afresh: its own result only.
    I2CCommand again = step(I2C_OP_NOTHING, 0, 0, 5000);
    EXPECT_EQ(HALI2CExecute(b.h(), 0, &again), 0u);
    EXPECT_TRUE(b.failures.empty()) << (b.failures.empty() ? "" : b.failures[0]);
}

TEST(I2cEngine, WithAnErrorPendingOnlyThePublicEntryRuns) {
    Bus b;
    b.h()->ulErrorCode = 0xB0101160u;
    I2CCommand c = step(I2C_OP_WRITE, 0xA0, 0x51, 200000);
    c.ulStatus = 0x77;
    machine().clearTrace();
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &c), 0xB0101160u);
    EXPECT_EQ(c.ulStatus, 0x77u);
    EXPECT_EQ(c.ulClockRate, 200000u);
    EXPECT_TRUE(machine().trace().empty());
    EXPECT_EQ(HALI2CExecute(b.h(), 0, &c), kWarnClock);
    EXPECT_EQ(c.ulStatus, 0u);
    EXPECT_FALSE(machine().trace().empty());
}

TEST(I2cEngine, RefusedOperationsTouchNoLine) {
    struct Case {
        uint32_t operation, rate;
        uint32_t error, status;
    } cases[] = {
        {3, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {5, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {6, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {7, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {9, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {0xFFFFFFFF, 5000, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {4, 5000, 0, 0},
        // No bit time at all: refused like an unknown operation.
        {I2C_OP_WRITE, 0, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
        {I2C_OP_READ, 0, HALP_ERR_I2C_OPERATION, I2C_STATUS_BUSY},
    };
    for (const Case &c : cases) {
        Bus b;
        I2CCommand cmd = step(c.operation, 0xA0, 0x53, c.rate);
        cmd.ulStatus = 0x77;
        machine().clearTrace();
        EXPECT_EQ(HALI2CExecute(b.h(), 0, &cmd), c.error) << c.operation << " " << c.rate;
        EXPECT_EQ(cmd.ulStatus, c.status) << c.operation;
        for (const std::string &line : traceLines())
            EXPECT_EQ(line.find("0x3C0A"), std::string::npos) << c.operation << ": " << line;
        EXPECT_EQ(b.bus().starts(0), 0) << c.operation;
    }
}

TEST(I2cEngine, ReadStepsAcknowledgeAndRefuseAsAsked) {
    // After the address, a read with both acknowledge and not-acknowledge:
    // the memory sees the acknowledge and goes on; the extra clock of the
    // not-acknowledge is the next byte's first bit, which the master reads
    // as released.
    Bus b;
    I2CCommand c = step(I2C_OP_WRITE, 0xA0, 0x51);
    HALPI2CExecute(b.h(), 0, &c);
    c = step(I2C_OP_WRITE, 0x10, 0x50);
    HALPI2CExecute(b.h(), 0, &c);
    c = step(I2C_OP_WRITE, 0xA1, 0x51);
    HALPI2CExecute(b.h(), 0, &c);
    c = step(I2C_OP_READ, 0, I2C_ACK | I2C_NAK);
    EXPECT_EQ(HALPI2CExecute(b.h(), 0, &c), 0u);
    EXPECT_EQ(c.ucData, b.mga->ddc()[0x10]);
    EXPECT_EQ(b.bus().ddcPointer(), 0x12) << "the memory went on to the next byte";
    EXPECT_TRUE(b.failures.empty());
}

TEST(I2cEngine, TheExtraClockAfterAStop) {
    Bus b;
    I2CCommand c = step(I2C_OP_RESET, 0, I2C_EXTRA_CLOCK);
    EXPECT_EQ(HALI2CExecute(b.h(), 5, &c), 0u);
    EXPECT_EQ(b.bus().stops(5), 1);
    EXPECT_TRUE(b.bus().scl(5) && b.bus().sda(5));
    EXPECT_EQ(b.mga->dacReg(0x2A) & 0x05, 0) << "both lines released at the end";
}

// ---------------------------------------------------------------- line routines

TEST(I2cLines, ExpanderLinesChangeTheirBitOfTheCache) {
    struct Case {
        uint32_t port;
        bool clock;
        uint8_t address;
        uint32_t bit;
    } cases[] = {{4, false, 0x40, 0}, {2, false, 0x74, 1}, {2, true, 0x74, 0},
                 {3, true, 0x44, 0},  {4, true, 0x40, 1},  {3, false, 0x44, 1}};
    for (const Case &c : cases) {
        Bus b;
        b.h()->HSLData.ulI2CChannel2Cache = 0xFF;
        auto set = c.clock ? HSLDACI2CSetSCL : HSLDACI2CSetSDA;
        auto get = c.clock ? HSLDACI2CGetSCL : HSLDACI2CGetSDA;
        EXPECT_EQ(set(b.h(), c.port, 0), 0u) << c.port;
        EXPECT_EQ(b.h()->HSLData.ulI2CChannel2Cache, 0xFFu & ~(1u << c.bit)) << c.port;
        EXPECT_EQ(b.bus().expanderLatch(c.address), uint8_t(0xFF & ~(1u << c.bit))) << c.port;
        EXPECT_FALSE(c.clock ? b.bus().scl(int(c.port)) : b.bus().sda(int(c.port))) << c.port;
        uint8_t level = 0xFE;
        EXPECT_EQ(get(b.h(), c.port, &level), 0u);
        EXPECT_EQ(level, 0xFE) << c.port << ": the line reads low, other bits kept";
        EXPECT_EQ(set(b.h(), c.port, 1), 0u);
        EXPECT_EQ(b.h()->HSLData.ulI2CChannel2Cache, 0xFFu) << c.port;
        EXPECT_TRUE(c.clock ? b.bus().scl(int(c.port)) : b.bus().sda(int(c.port))) << c.port;
        EXPECT_EQ(get(b.h(), c.port, &level), 0u);
        EXPECT_EQ(level, 0xFF) << c.port;
        EXPECT_EQ(b.h()->ulErrorCode, 0u);
        EXPECT_TRUE(b.failures.empty())
            << c.port << ": " << (b.failures.empty() ? "" : b.failures[0]);
    }
}

TEST(I2cLines, DacPinsOfEachPortAndTheClockLimit) {
    struct Case {
        uint32_t port;
        uint8_t clockPin, dataPin;
    } cases[] = {{0, 3, 1}, {1, 5, 4}, {5, 2, 0}};
    for (const Case &c : cases) {
        Bus b;
        EXPECT_EQ(HSLDACI2CSetSCL(b.h(), c.port, 0), 0u);
        EXPECT_EQ(b.mga->dacReg(0x2A), 1 << c.clockPin);
        EXPECT_EQ(b.mga->dacReg(0x2B) & (1 << c.clockPin), 0);
        EXPECT_FALSE(b.bus().scl(int(c.port)));
        EXPECT_EQ(HSLDACI2CSetSDA(b.h(), c.port, 2), 0u) << "bit 0 of the level counts";
        EXPECT_EQ(b.mga->dacReg(0x2A), (1 << c.clockPin) | (1 << c.dataPin));
        uint8_t level = 0xFE;
        EXPECT_EQ(HSLDACI2CGetSDA(b.h(), c.port, &level), 0u);
        EXPECT_EQ(level, 0xFF) << "reading releases the line, which goes high";
        EXPECT_EQ(b.mga->dacReg(0x2A), 1 << c.clockPin);
        EXPECT_EQ(HSLDACI2CSetSCL(b.h(), c.port, 1), 0u);
        EXPECT_EQ(b.mga->dacReg(0x2A), 0);
        EXPECT_TRUE(b.bus().scl(int(c.port)));
    }
    for (uint32_t port = 0; port < 8; port++) {
        BoardHandle h{};
        uint32_t rate = 0;
        EXPECT_EQ(HSLDACGetMaxI2CClock(&h, port, &rate), 0u);
        EXPECT_EQ(rate, 100000u);
    }
}

TEST(I2cLines, PortsAboveSevenAreRefusedWithTheirCodes) {
    struct Case {
        const char *what;
        std::function<uint32_t(BoardHandle *)> call;
        uint32_t code;
    } cases[] = {
        {"set clock", [](BoardHandle *b) { return HSLDACI2CSetSCL(b, 8, 1); },
         HSL_ERR_I2C_SET_SCL_PORT},
        {"get clock",
         [](BoardHandle *b) {
             uint8_t v = 0;
             return HSLDACI2CGetSCL(b, 8, &v);
         },
         HSL_ERR_I2C_GET_SCL_PORT},
        {"set data", [](BoardHandle *b) { return HSLDACI2CSetSDA(b, 9, 1); },
         HSL_ERR_I2C_SET_SDA_PORT},
        {"get data",
         [](BoardHandle *b) {
             uint8_t v = 0;
             return HSLDACI2CGetSDA(b, 100, &v);
         },
         HSL_ERR_I2C_GET_SDA_PORT},
        {"alternative get data",
         [](BoardHandle *b) {
             uint8_t v = 0;
             return HSLDACI2CAltGetSDA(b, 8, &v);
         },
         HSL_ERR_I2C_GET_SDA_PORT},
        {"clock limit",
         [](BoardHandle *b) {
             uint32_t v = 7;
             const uint32_t r = HSLDACGetMaxI2CClock(b, 8, &v);
             EXPECT_EQ(v, 0u);
             return r;
         },
         HSL_ERR_I2C_MAX_CLOCK_PORT},
        {"a step on port 8",
         [](BoardHandle *b) {
             I2CCommand c = step(I2C_OP_WRITE, 0xA0, 0x51);
             const uint32_t r = HALI2CExecute(b, 8, &c);
             EXPECT_EQ(c.ulClockRate, 0u) << "lowered to the answer, 0";
             return r;
         },
         HSL_ERR_I2C_MAX_CLOCK_PORT},
    };
    for (const auto &c : cases) {
        Bus b;
        machine().clearTrace();
        EXPECT_EQ(c.call(b.h()), c.code) << c.what;
        EXPECT_TRUE(machine().trace().empty()) << c.what;
    }
}

// ---------------------------------------------------------------- the error word

TEST(I2cErrorRule, AfterAnErrorNoRoutineTouchesTheBoard) {
    using Primitive = uint32_t (*)(BoardHandle *, uint32_t, I2CCommand *);
    const std::pair<const char *, Primitive> primitives[] = {
        {"read", HALPReadI2C},
        {"write", HALPWriteI2C},
        {"null", HALPNullI2C},
        {"reset", HALPResetI2C},
        {"start", HALPI2CStart},
        {"stop", HALPI2CStop},
        {"ack", HALPI2CAck},
        {"nak", HALPI2CNak},
        {"read byte", HALPI2CReadByte},
        {"write byte", HALPI2CWriteByte},
        {"wait ack", HALPI2CWaitAck},
        {"execute", HALPI2CExecute},
    };
    for (const auto &[what, primitive] : primitives) {
        Bus b;
        b.h()->ulErrorCode = 0xB0101160u;
        I2CCommand c = step(I2C_OP_READ, 0x5A, 0xFF);
        c.ulStatus = 0x77;
        machine().clearTrace();
        EXPECT_EQ(primitive(b.h(), 0, &c), 0xB0101160u) << what;
        EXPECT_TRUE(machine().trace().empty()) << what;
        EXPECT_EQ(c.ulStatus, 0x77u) << what;
        EXPECT_EQ(c.ucData, 0x5Au) << what;
    }
    using Line = uint32_t (*)(BoardHandle *, uint32_t, uint8_t *);
    const Line getters[] = {HSLDACI2CGetSCL, HSLDACI2CGetSDA, HSLDACI2CAltGetSCL,
                            HSLDACI2CAltGetSDA};
    for (uint32_t port : {0u, 2u}) {
        for (Line get : getters) {
            Bus b;
            b.h()->ulErrorCode = 0xB0101160u;
            uint8_t v = 0x99;
            machine().clearTrace();
            EXPECT_EQ(get(b.h(), port, &v), 0xB0101160u);
            EXPECT_EQ(v, 0x99);
            EXPECT_TRUE(machine().trace().empty());
        }
        Bus b;
        b.h()->ulErrorCode = 0xB0101160u;
        b.h()->HSLData.ulI2CChannel2Cache = 0x5A;
        machine().clearTrace();
        EXPECT_EQ(HSLDACI2CSetSCL(b.h(), port, 0), 0xB0101160u);
        EXPECT_EQ(HSLDACI2CSetSDA(b.h(), port, 1), 0xB0101160u);
        uint32_t rate = 9;
        EXPECT_EQ(HSLDACGetMaxI2CClock(b.h(), port, &rate), 0xB0101160u);
        EXPECT_EQ(rate, 9u);
        EXPECT_TRUE(machine().trace().empty());
        EXPECT_EQ(b.h()->HSLData.ulI2CChannel2Cache, 0x5Au);
    }
}

} // namespace
