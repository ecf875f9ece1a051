// The software I2C master: one step of a transfer per call, the lines
// worked through the operation table's I2C slots and timed by ClientWait.
// A device's answer (acknowledge, a free bus, a released clock) is reported
// in the command's status only; the error word carries the engine's own
// refusals and whatever the line routines merge.
#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint32_t kBusUnits = 100000;

uint32_t setScl(BoardHandle *pBoard, uint32_t port, uint32_t level) {
    return callSlot(pBoard, HSL_SLOT_I2C_SET_SCL, port, level);
}

uint32_t setSda(BoardHandle *pBoard, uint32_t port, uint32_t level) {
    return callSlot(pBoard, HSL_SLOT_I2C_SET_SDA, port, level);
}

uint8_t getSda(BoardHandle *pBoard, uint32_t port) {
    uint8_t v = 0;
    callSlot(pBoard, HSL_SLOT_I2C_GET_SDA, port, &v);
    return v & 1;
}

uint8_t getScl(BoardHandle *pBoard, uint32_t port) {
    uint8_t v = 0;
    callSlot(pBoard, HSL_SLOT_I2C_GET_SCL, port, &v);
    return v & 1;
}

// Wait units per bit fraction: 2 for the half-bit time h, 4 for q. A rate
// of 0 never reaches here through the public entry, which refuses it.
uint32_t units(const I2CCommand *pCmd, uint32_t parts) {
    if (pCmd->ulClockRate == 0)
        return 0;
    return uint32_t(uint64_t(kBusUnits) / (uint64_t(parts) * pCmd->ulClockRate));
}

void wait(BoardHandle *pBoard, uint32_t n) {
    ClientWait(pBoard, n);
}

bool refused(BoardHandle *pBoard, I2CCommand *pCmd) {
    pCmd->ulStatus = I2C_STATUS_BUSY;
    SetErr(pBoard, HALP_ERR_I2C_OPERATION);
    return true;
}

void framingBefore(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (pCmd->flControl & I2C_RESTART) {
        HALPI2CStop(pBoard, port, pCmd);
        HALPI2CStart(pBoard, port, pCmd);
    }
    if (pCmd->flControl & I2C_START)
        HALPI2CStart(pBoard, port, pCmd);
}

} // namespace

extern "C" {

uint32_t HALI2CExecute(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    pBoard->ulErrorCode = HAL_OK;
    pCmd->ulStatus = I2C_STATUS_OK;
    uint32_t max = 0;
    callSlot(pBoard, HSL_SLOT_GET_MAX_I2C_CLOCK, port, &max);
    if (pCmd->ulClockRate > max) {
        pCmd->ulClockRate = max;
        SetErr(pBoard, HALP_WARN_I2C_CLOCK);
    }
    // A rate of 0 has no bit time: refused like an unknown operation.
    if (pCmd->ulClockRate == 0 && !hsl::failed(pBoard)) {
        refused(pBoard, pCmd);
        return pBoard->ulErrorCode;
    }
    switch (pCmd->ulOperation) {
    case I2C_OP_NULL:
        HALPNullI2C(pBoard, port, pCmd);
        break;
    case I2C_OP_READ:
        HALPReadI2C(pBoard, port, pCmd);
        break;
    case I2C_OP_WRITE:
        HALPWriteI2C(pBoard, port, pCmd);
        break;
    case I2C_OP_RESET:
        HALPResetI2C(pBoard, port, pCmd);
        break;
    case I2C_OP_NOTHING:
        break;
    default:
        refused(pBoard, pCmd);
        break;
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPI2CExecute(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t before = pBoard->ulErrorCode;
    const uint32_t result = HALI2CExecute(pBoard, port, pCmd);
    pBoard->ulErrorCode = ReturnCorrectError(before, result);
    return pBoard->ulErrorCode;
}

uint32_t HALPReadI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    pCmd->ulStatus = I2C_STATUS_OK;
    framingBefore(pBoard, port, pCmd);
    HALPI2CReadByte(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_ACK)
        HALPI2CAck(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_NAK)
        HALPI2CNak(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_STOP)
        HALPI2CStop(pBoard, port, pCmd);
    return pBoard->ulErrorCode;
}

uint32_t HALPWriteI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    pCmd->ulStatus = I2C_STATUS_OK;
    framingBefore(pBoard, port, pCmd);
    HALPI2CWriteByte(pBoard, port, pCmd);
    HALPI2CWaitAck(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_STOP)
        HALPI2CStop(pBoard, port, pCmd);
    return pBoard->ulErrorCode;
}

uint32_t HALPNullI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    pCmd->ulStatus = I2C_STATUS_OK;
    framingBefore(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_NAK)
        HALPI2CNak(pBoard, port, pCmd);
    if (pCmd->flControl & I2C_STOP)
        HALPI2CStop(pBoard, port, pCmd);
    return pBoard->ulErrorCode;
}

uint32_t HALPResetI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    return HALPI2CStop(pBoard, port, pCmd);
}

// A data line that stays low after it was released belongs to a device
// still talking: the bus is busy, but the start goes on.
uint32_t HALPI2CStart(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t h = units(pCmd, 2);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 1);
    if (getSda(pBoard, port) == 0 && !hsl::failed(pBoard))
        pCmd->ulStatus = I2C_STATUS_BUSY;
    wait(pBoard, h);
    setScl(pBoard, port, 1);
    wait(pBoard, h);
    setSda(pBoard, port, 0);
    wait(pBoard, h);
    setScl(pBoard, port, 0);
    return pBoard->ulErrorCode;
}

uint32_t HALPI2CStop(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t h = units(pCmd, 2);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 0);
    wait(pBoard, h);
    setScl(pBoard, port, 1);
    wait(pBoard, h);
    setSda(pBoard, port, 1);
    if (pCmd->flControl & I2C_EXTRA_CLOCK) {
        setScl(pBoard, port, 0);
        wait(pBoard, h);
        setScl(pBoard, port, 1);
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPI2CAck(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t h = units(pCmd, 2);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 0);
    wait(pBoard, h);
    setScl(pBoard, port, 1);
    wait(pBoard, h);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 1);
    return pBoard->ulErrorCode;
}

uint32_t HALPI2CNak(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t h = units(pCmd, 2);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 1);
    wait(pBoard, h);
    setScl(pBoard, port, 1);
    wait(pBoard, h);
    setScl(pBoard, port, 0);
    return pBoard->ulErrorCode;
}

// The clock is low on entry.
uint32_t HALPI2CWriteByte(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t h = units(pCmd, 2);
    setSda(pBoard, port, 0);
    for (int bit = 7; bit >= 0; bit--) {
        setSda(pBoard, port, (pCmd->ucData >> bit) & 1);
        wait(pBoard, h);
        setScl(pBoard, port, 1);
        wait(pBoard, h);
        setScl(pBoard, port, 0);
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPI2CReadByte(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t q = units(pCmd, 4);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 1);
    for (int i = 0; i < 8; i++) {
        wait(pBoard, 2 * q);
        setScl(pBoard, port, 1);
        wait(pBoard, q);
        const uint8_t bit = getSda(pBoard, port);
        wait(pBoard, q);
        setScl(pBoard, port, 0);
        pCmd->ucData = ((pCmd->ucData << 1) | bit) & 0xFF;
    }
    return pBoard->ulErrorCode;
}

// The acknowledge is sampled while the clock is still low, before the
// ninth clock pulse.
uint32_t HALPI2CWaitAck(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t q = units(pCmd, 4);
    setScl(pBoard, port, 0);
    setSda(pBoard, port, 1);
    wait(pBoard, 2 * q);
    const uint8_t sda = getSda(pBoard, port);
    wait(pBoard, q);
    if (sda == 1 && (pCmd->flControl & I2C_ACK) && !hsl::failed(pBoard))
        pCmd->ulStatus = I2C_STATUS_NO_ACK;
    setScl(pBoard, port, 1);
    wait(pBoard, 2 * q);
    const uint8_t scl = getScl(pBoard, port);
    wait(pBoard, q);
    if (scl == 0 && (pCmd->flControl & I2C_CHECK_CLOCK) && !hsl::failed(pBoard))
        pCmd->ulStatus = I2C_STATUS_CLOCK_LOW;
    setScl(pBoard, port, 0);
    wait(pBoard, q);
    return pBoard->ulErrorCode;
}

} // extern "C"
