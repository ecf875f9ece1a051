// The I2C line routines: where each of the eight ports has its clock and
// data line. Three ports sit on the DAC's general-purpose pins; the others
// on line expanders reached over port 1.
#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint8_t XGpioDirection = 0x2A, XGpioData = 0x2B;
constexpr uint32_t kMaxClock = 100000;
constexpr uint32_t kExpanderRate = 5000, kExpanderWait = 500;
constexpr uint32_t kExpanderPort = 1;
constexpr int kClockRisePolls = 201;
constexpr uint32_t kClockRiseWait = 10;

struct Line {
    bool dac;       // a DAC pin, else an expander output
    uint8_t bit;    // pin number, or bit of the expander byte
    uint8_t device; // expander write address (read address + 1)
};

// Expander addresses of ports 6 and 7 come from the board's add-ons.
Line lineOf(const BoardHandle *pBoard, uint32_t port, bool clock) {
    const HSLData &d = pBoard->HSLData;
    switch (port) {
    case 0:
        return {true, uint8_t(clock ? 3 : 1), 0};
    case 1:
        return {true, uint8_t(clock ? 5 : 4), 0};
    case 2:
        return {false, uint8_t(clock ? 0 : 1), 0x74};
    case 3:
        return {false, uint8_t(clock ? 0 : 1), 0x44};
    case 4:
        return {false, uint8_t(clock ? 1 : 0), 0x40};
    case 5:
        return {true, uint8_t(clock ? 2 : 0), 0};
    case 6:
        return {false, uint8_t(clock ? 0 : 1), d.ucI2CAddPanelLinkModule};
    default:
        return {false, uint8_t(clock ? 0 : 1), d.ucI2CAddHD15Module};
    }
}

void dacChange(BoardHandle *pBoard, uint8_t index, uint8_t set, uint8_t clear) {
    uint8_t v = 0;
    HSLDACReadRegister(pBoard, index, &v);
    HSLDACWriteRegister(pBoard, index, uint8_t((v & ~clear) | set));
}

uint8_t dacPinRead(BoardHandle *pBoard, uint8_t release, uint8_t bit) {
    dacChange(pBoard, XGpioDirection, 0, release);
    uint8_t v = 0;
    HSLDACReadRegister(pBoard, XGpioData, &v);
    return (v >> bit) & 1;
}

void expanderStep(BoardHandle *pBoard, uint32_t operation, uint32_t data, uint32_t control,
                  I2CCommand *pCmd) {
    pCmd->ulOperation = operation;
    pCmd->ucData = data & 0xFF;
    pCmd->flControl = control;
    pCmd->ulClockRate = kExpanderRate;
    HALPI2CExecute(pBoard, kExpanderPort, pCmd);
}

void setLine(BoardHandle *pBoard, uint32_t port, bool clock, uint32_t level) {
    const Line l = lineOf(pBoard, port, clock);
    const uint8_t mask = uint8_t(1u << l.bit);
    if (l.dac) {
        if ((level & 1) == 0) {
            dacChange(pBoard, XGpioData, 0, mask);
            dacChange(pBoard, XGpioDirection, mask, 0);
            return;
        }
        dacChange(pBoard, XGpioDirection, 0, mask);
        if (!clock)
            return;
        // A device may still hold the clock low: give it time to let go.
        for (int i = 0; i < kClockRisePolls && !hsl::failed(pBoard); i++) {
            ClientWait(pBoard, kClockRiseWait);
            uint8_t high = 0;
            callSlot(pBoard, HSL_SLOT_I2C_GET_SCL, port, &high);
            if (high & 1)
                return;
        }
        return;
    }
    I2CCommand cmd{};
    expanderStep(pBoard, I2C_OP_WRITE, l.device, I2C_START | I2C_ACK, &cmd);
    ClientWait(pBoard, kExpanderWait);
    uint32_t &cache = pBoard->HSLData.ulI2CChannel2Cache;
    if (hsl::failed(pBoard))
        return;
    cache = (level & 1) ? cache | mask : cache & ~uint32_t(mask);
    expanderStep(pBoard, I2C_OP_WRITE, cache, I2C_STOP | I2C_NAK, &cmd);
}

void getLine(BoardHandle *pBoard, uint32_t port, bool clock, uint8_t *pLevel) {
    const Line l = lineOf(pBoard, port, clock);
    uint8_t bit = 0;
    if (l.dac) {
        bit = dacPinRead(pBoard, uint8_t(1u << l.bit), l.bit);
    } else {
        I2CCommand cmd{};
        expanderStep(pBoard, I2C_OP_WRITE, l.device + 1u, I2C_START | I2C_ACK, &cmd);
        ClientWait(pBoard, kExpanderWait);
        expanderStep(pBoard, I2C_OP_READ, 0, I2C_STOP | I2C_NAK, &cmd);
        bit = (cmd.ucData >> l.bit) & 1;
    }
    if (!hsl::failed(pBoard))
        *pLevel = uint8_t((*pLevel & ~1u) | bit);
}

uint32_t portRefused(BoardHandle *pBoard, uint32_t code) {
    return SetErr(pBoard, code);
}

} // namespace

extern "C" {

uint32_t HSLDACI2CSetSCL(BoardHandle *pBoard, uint32_t port, uint32_t level) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (port >= I2C_PORTS)
        return portRefused(pBoard, HSL_ERR_I2C_SET_SCL_PORT);
    setLine(pBoard, port, true, level);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACI2CSetSDA(BoardHandle *pBoard, uint32_t port, uint32_t level) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (port >= I2C_PORTS)
        return portRefused(pBoard, HSL_ERR_I2C_SET_SDA_PORT);
    setLine(pBoard, port, false, level);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACI2CGetSCL(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (port >= I2C_PORTS)
        return portRefused(pBoard, HSL_ERR_I2C_GET_SCL_PORT);
    getLine(pBoard, port, true, pLevel);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACI2CGetSDA(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (port >= I2C_PORTS)
        return portRefused(pBoard, HSL_ERR_I2C_GET_SDA_PORT);
    getLine(pBoard, port, false, pLevel);
    return pBoard->ulErrorCode;
}

// Boards that read port 0 on pins 2 (clock) and 0 (data); both pins of the
// line are released first.
uint32_t HSLDACI2CAltGetSCL(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel) {
    if (port != 0)
        return HSLDACI2CGetSCL(pBoard, port, pLevel);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t bit = dacPinRead(pBoard, 0x0C, 2);
    if (!hsl::failed(pBoard))
        *pLevel = uint8_t((*pLevel & ~1u) | bit);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACI2CAltGetSDA(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel) {
    if (port != 0)
        return HSLDACI2CGetSDA(pBoard, port, pLevel);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t bit = dacPinRead(pBoard, 0x03, 0);
    if (!hsl::failed(pBoard))
        *pLevel = uint8_t((*pLevel & ~1u) | bit);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACGetMaxI2CClock(BoardHandle *pBoard, uint32_t port, uint32_t *pRate) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (port >= I2C_PORTS) {
        *pRate = 0;
        return portRefused(pBoard, HSL_ERR_I2C_MAX_CLOCK_PORT);
    }
    *pRate = kMaxClock;
    return pBoard->ulErrorCode;
}

} // extern "C"
