// Register offsets in the control-register window and small helpers for the
// indexed registers, all through the client services (so each does nothing
// once the handle's word holds an error). Internal to the chip layer.
#ifndef QUARN_HSL_REGS_H
#define QUARN_HSL_REGS_H

#include <stdint.h>

#include "client.h"
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hal_records.h"

namespace hsl {

// VGA port P appears at 0x1C00 + P.
constexpr uint32_t kMiscWrite = 0x1FC2, kMiscRead = 0x1FCC, kSeqIndex = 0x1FC4, kSeqData = 0x1FC5,
                   kCrtcIndex = 0x1FD4, kCrtcData = 0x1FD5, kExtIndex = 0x1FDE, kExtData = 0x1FDF;
constexpr uint32_t kStatus = 0x1E14, kMemReadBack = 0x1E44;
constexpr uint32_t kDacIndex = 0x3C00, kDacPalette = 0x3C01, kDacMask = 0x3C02, kDacData = 0x3C0A;
// PCI configuration.
constexpr uint32_t kCfgId = 0x00, kCfgCommand = 0x04, kCfgFrameBuffer = 0x10, kCfgRomBase = 0x30,
                   kCfgOption = 0x40, kCfgOption2 = 0x50;

inline uint8_t readIndexed(BoardHandle *pBoard, uint32_t index, uint32_t data, uint8_t i) {
    uint8_t v = 0;
    ClientWriteRegisterByte(pBoard, index, i);
    ClientReadRegisterByte(pBoard, data, &v);
    return v;
}

inline void writeIndexed(BoardHandle *pBoard, uint32_t index, uint32_t data, uint8_t i,
                         uint32_t v) {
    ClientWriteRegisterByte(pBoard, index, i);
    ClientWriteRegisterByte(pBoard, data, v & 0xFF);
}

inline uint8_t readSeq(BoardHandle *b, uint8_t i) {
    return readIndexed(b, kSeqIndex, kSeqData, i);
}
inline void writeSeq(BoardHandle *b, uint8_t i, uint32_t v) {
    writeIndexed(b, kSeqIndex, kSeqData, i, v);
}
inline uint8_t readCrtc(BoardHandle *b, uint8_t i) {
    return readIndexed(b, kCrtcIndex, kCrtcData, i);
}
inline void writeCrtc(BoardHandle *b, uint8_t i, uint32_t v) {
    writeIndexed(b, kCrtcIndex, kCrtcData, i, v);
}
inline uint8_t readExt(BoardHandle *b, uint8_t i) {
    return readIndexed(b, kExtIndex, kExtData, i);
}
inline void writeExt(BoardHandle *b, uint8_t i, uint32_t v) {
    writeIndexed(b, kExtIndex, kExtData, i, v);
}

inline uint32_t readConfig(BoardHandle *b, uint32_t reg) {
    uint32_t v = 0;
    ClientReadConfigSpaceDword(b, reg, &v);
    return v;
}

inline bool failed(const BoardHandle *b) {
    return !IsNotAnError(b->ulErrorCode);
}

// Calls operation slot `slot` with its own argument types; an empty slot
// answers through HSLTBLNotInitFunction itself, which takes any arguments.
template <class... Args> uint32_t callSlot(BoardHandle *pBoard, int slot, Args... args) {
    const HSLJumpSlot fn = pBoard->HSLJumpTable.apfnSlot[slot];
    if (fn == nullptr || fn == reinterpret_cast<HSLJumpSlot>(HSLTBLNotInitFunction))
        return HSLTBLNotInitFunction(pBoard);
    return reinterpret_cast<uint32_t (*)(BoardHandle *, Args...)>(fn)(pBoard, args...);
}

} // namespace hsl

#endif
