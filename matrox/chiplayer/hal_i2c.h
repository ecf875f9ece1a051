/*
 * The chip layer's software I2C master and the line routines it drives the
 * buses through. A caller describes one step of a transfer (start, a byte,
 * acknowledge, stop) in an I2CCommand; the engine works the clock and data
 * lines through the operation table's five I2C slots, timed with ClientWait.
 */
#ifndef QUARN_HAL_I2C_H
#define QUARN_HAL_I2C_H

#include <stdint.h>

#include "hal_records.h"

typedef struct _I2CCommand {
    uint32_t ulOperation; /* I2C_OP_* */
    uint32_t ulReserved;
    uint32_t ucData; /* the byte to write, or the byte read (8 bits) */
    uint32_t flControl;
    uint32_t ulStatus;    /* I2C_STATUS_* */
    uint32_t ulClockRate; /* the half-bit time is 100000 / (2 x rate) wait units */
} I2CCommand;

QUARN_STATIC_ASSERT(sizeof(I2CCommand) == 24, "I2CCommand is six words");

enum { I2C_OP_NULL = 0, I2C_OP_READ = 1, I2C_OP_WRITE = 2, I2C_OP_NOTHING = 4, I2C_OP_RESET = 8 };

enum {
    I2C_START = 0x01,
    I2C_STOP = 0x02,
    I2C_RESTART = 0x04,
    I2C_ACK = 0x10,
    I2C_NAK = 0x20,
    I2C_CHECK_CLOCK = 0x40,
    I2C_EXTRA_CLOCK = 0x80
};

enum {
    I2C_STATUS_OK = 0,
    I2C_STATUS_BUSY = 2, /* bus not free at a start, or the step refused */
    I2C_STATUS_NO_ACK = 3,
    I2C_STATUS_CLOCK_LOW = 0xB1
};

#define HALP_ERR_I2C_OPERATION 0x80302090u /* an operation the engine does not know */
#define HSL_ERR_I2C_SET_SCL_PORT 0xB080B120u
#define HSL_ERR_I2C_GET_SCL_PORT 0xB080C120u
#define HSL_ERR_I2C_SET_SDA_PORT 0xB080E120u
#define HSL_ERR_I2C_GET_SDA_PORT 0xB080F120u
#define HSL_ERR_I2C_MAX_CLOCK_PORT 0xB0811120u

#define I2C_PORTS 8

#ifdef __cplusplus
extern "C" {
#endif

uint32_t HALI2CExecute(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CExecute(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPReadI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPWriteI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPNullI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPResetI2C(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CStart(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CStop(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CAck(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CNak(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CReadByte(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CWriteByte(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);
uint32_t HALPI2CWaitAck(BoardHandle *pBoard, uint32_t port, I2CCommand *pCmd);

/* The line routines the families put in the I2C slots. */
uint32_t HSLDACI2CSetSCL(BoardHandle *pBoard, uint32_t port, uint32_t level);
uint32_t HSLDACI2CGetSCL(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel);
uint32_t HSLDACI2CSetSDA(BoardHandle *pBoard, uint32_t port, uint32_t level);
uint32_t HSLDACI2CGetSDA(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel);
uint32_t HSLDACI2CAltGetSCL(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel);
uint32_t HSLDACI2CAltGetSDA(BoardHandle *pBoard, uint32_t port, uint8_t *pLevel);
uint32_t HSLDACGetMaxI2CClock(BoardHandle *pBoard, uint32_t port, uint32_t *pRate);

#ifdef __cplusplus
}
#endif

#endif
