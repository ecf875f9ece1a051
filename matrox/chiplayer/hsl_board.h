// The board steps every family of the chip layer runs alike, whether it has
// one CRTC (eclipse, twister) or two (toucan, condor): the two windows, the
// engine wait, the board words, the TV and I2C slots of the operation table,
// the power states, the return to VGA text mode and the EDID readers. What a
// family does its own way it passes in. Each step tests the error word
// first and returns it. Internal to the chip layer.
#ifndef QUARN_HSL_BOARD_H
#define QUARN_HSL_BOARD_H

#include <stdint.h>

#include "hal_records.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace hsl {

inline uint8_t dacRead(BoardHandle *b, uint8_t index) {
    uint8_t v = 0;
    HSLDACReadRegister(b, index, &v);
    return v;
}

inline uint32_t readReg(BoardHandle *b, uint32_t offset) {
    uint32_t v = 0;
    ClientReadRegisterDword(b, offset, &v);
    return v;
}

template <class F> HSLJumpSlot slotOf(F fn) {
    return reinterpret_cast<HSLJumpSlot>(fn);
}

// The family's own routines the shared steps call.
struct BoardSteps {
    uint32_t (*waitEngineNotBusy)(BoardHandle *);
    uint32_t (*disableCrtc1Output)(BoardHandle *);
    uint32_t (*disableCrtc2Output)(BoardHandle *); // null: one CRTC
    uint32_t (*powerUp)(BoardHandle *);
    uint32_t (*programSystemClock)(BoardHandle *, SysClockInfo *);
    bool powerSaves1E70;      // the power states keep register 0x1E70
    bool restoreClearsStrap1; // power restore clears flStraps bit 1 first
};

// Opens the register window and a frame-buffer window of `frameBufferBytes`.
uint32_t boardInitAccess(BoardHandle *pBoard, uint32_t frameBufferBytes);
// HSL_ERR_PHYS_ADDR when either window moved since it was opened.
uint32_t boardValidatePhysAddr(BoardHandle *pBoard);
// Waits for the engine to leave busy, then to report idle.
uint32_t boardWaitEngineNotBusy(BoardHandle *pBoard);
// The pixel-clock limits into flCRTCInfo and the interrupt line word.
void boardCrtcInfo(BoardHandle *pBoard);
// The TV encoder's and the I2C lines' slots; `modifyTv` fills the slot of
// ModifyTVParameters, `altReaders` takes the other pins' line readers.
void boardTvAndI2CSlots(HSLJumpSlot *s, bool modifyTv, bool altReaders);
uint32_t boardSetPowerState(BoardHandle *pBoard, uint32_t state, const BoardSteps &f);
uint32_t boardSwitchToVGA(BoardHandle *pBoard, const BoardSteps &f);
// Up to 16 reads of a 128-byte EDID 1.x block at the DDC address on `port`;
// the attempts stop at one whose bytes sum to 0. `secondBus` resets the
// second bus's cached line state before each read.
uint32_t boardReadHD15Edid(BoardHandle *pBoard, MonitorInfo &m, uint32_t port, bool secondBus);
// The flat-panel module's EDID, 128 or 256 bytes, into SecondMonitor.
uint32_t boardReadFlatPanelEdid(BoardHandle *pBoard);

} // namespace hsl

#endif
