/*
 * The services the driver side supplies to the chip layer: every register,
 * memory and PCI configuration access and every delay of the chip layer goes
 * through them. Each takes the board handle first and returns its error
 * word; while the word holds an error a service does nothing (the sequence
 * that failed touches the hardware no more) and leaves its outputs alone.
 * Register offsets count from the mapped 16 KB control-register window,
 * memory offsets from the mapped frame-buffer window; each register and
 * memory service is one load or store of its width.
 */
#ifndef QUARN_CLIENT_H
#define QUARN_CLIENT_H

#include <stdint.h>

#include "hal_records.h"

#ifdef __cplusplus
extern "C" {
#endif

uint32_t ClientReadConfigSpaceByte(BoardHandle *pBoard, uint32_t reg, uint8_t *value);
uint32_t ClientReadConfigSpaceDword(BoardHandle *pBoard, uint32_t reg, uint32_t *value);
uint32_t ClientWriteConfigSpaceByte(BoardHandle *pBoard, uint32_t reg, uint32_t value);
uint32_t ClientWriteConfigSpaceDword(BoardHandle *pBoard, uint32_t reg, uint32_t value);

/* The windows are mapped by the driver already: the bases and sizes are not used. */
uint32_t ClientOpenRegisterBase(BoardHandle *pBoard, uint32_t physBase, uint32_t size);
uint32_t ClientCloseRegisterBase(BoardHandle *pBoard);
uint32_t ClientReadRegisterByte(BoardHandle *pBoard, uint32_t offset, uint8_t *value);
uint32_t ClientReadRegisterDword(BoardHandle *pBoard, uint32_t offset, uint32_t *value);
uint32_t ClientWriteRegisterByte(BoardHandle *pBoard, uint32_t offset, uint32_t value);
uint32_t ClientWriteRegisterDword(BoardHandle *pBoard, uint32_t offset, uint32_t value);

uint32_t ClientOpenMemoryBase(BoardHandle *pBoard, uint32_t physBase, uint32_t size);
uint32_t ClientCloseMemoryBase(BoardHandle *pBoard);
uint32_t ClientReadMemoryByte(BoardHandle *pBoard, uint32_t offset, uint8_t *value);
uint32_t ClientReadMemoryDword(BoardHandle *pBoard, uint32_t offset, uint32_t *value);
uint32_t ClientWriteMemoryByte(BoardHandle *pBoard, uint32_t offset, uint32_t value);
uint32_t ClientWriteMemoryDword(BoardHandle *pBoard, uint32_t offset, uint32_t value);

/* No system device is offered: each of these records its code. */
uint32_t ClientOpenSystemDevice(BoardHandle *pBoard);
uint32_t ClientCloseSystemDevice(BoardHandle *pBoard);
uint32_t ClientReadSystemDeviceByte(BoardHandle *pBoard);
uint32_t ClientReadSystemDeviceDword(BoardHandle *pBoard);
uint32_t ClientWriteSystemDeviceByte(BoardHandle *pBoard);
uint32_t ClientWriteSystemDeviceDword(BoardHandle *pBoard);

uint32_t InitTimer(BoardHandle *pBoard);
/* Waits until `clock` has advanced by `count` ticks. */
uint32_t ClientWait(BoardHandle *pBoard, uint32_t count);
/* The board-data block and the BIOS version from the legacy video BIOS
 * image, when the option ROM gave none. */
uint32_t ClientGetBiosInfo(BoardHandle *pBoard, uint8_t *pins, uint32_t *version);
/* No video BIOS calls are made: the register image comes back as it went. */
uint32_t ClientCallBiosInt10(BoardHandle *pBoard, BiosCallRegisters *regs);

#ifdef __cplusplus
}
#endif

#endif
