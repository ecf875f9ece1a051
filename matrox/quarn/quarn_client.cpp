// The client services: the chip layer's only way to the board, the PCI
// device and the clock. Each acts only while the handle's error word holds
// no error, writes its outputs only when it acts, and returns the word.
#include <stddef.h>

#include "client.h"
#include "hal_error.h"
#include "hwio.h"
#include "nfb.h"
#include "quarn.h"

namespace {

constexpr uint32_t kIoDecoding = 0x1;     // PCI command bit 0
constexpr uint32_t kAbsentFunction = ~0u; // what reading an absent function gives
constexpr uint16_t kPinsMark = 0x412E;
constexpr uint32_t kPinsMaxBytes = 128;
constexpr uint32_t kPcirPointer = 0x18, kPcirRevision = 0x12, kRevisionByte = 5;
constexpr uint32_t kPcirSignature = 0x52494350; // "PCIR"
constexpr uint32_t kVersionUnit = 4096;

quarnScreenPrivate *privateOf(BoardHandle *pBoard) {
    return static_cast<quarnScreenPrivate *>(pBoard->ulClientPrivate);
}

bool failed(const BoardHandle *pBoard) {
    return !IsNotAnError(pBoard->ulErrorCode);
}

uint8_t *registerAt(BoardHandle *pBoard, uint32_t offset) {
    return static_cast<uint8_t *>(pBoard->ulMappedRegisters) + offset;
}

uint8_t *memoryAt(BoardHandle *pBoard, uint32_t offset) {
    return static_cast<uint8_t *>(pBoard->ulMappedMemory) + offset;
}

// ---- the legacy video BIOS image ----

class BiosImage {
  public:
    explicit BiosImage(const uint8_t *base) : base_(base) {}
    // True when [offset, offset + bytes) lies inside the image.
    static bool holds(uint32_t offset, uint32_t bytes) {
        return offset <= QUARN_LEGACY_BIOS_BYTES && bytes <= QUARN_LEGACY_BIOS_BYTES - offset;
    }
    uint8_t byte(uint32_t offset) const { return mmRead8(base_ + offset); }
    uint16_t half(uint32_t offset) const {
        return static_cast<uint16_t>(byte(offset) | byte(offset + 1) << 8);
    }
    uint32_t word(uint32_t offset) const {
        return static_cast<uint32_t>(half(offset)) | static_cast<uint32_t>(half(offset + 2)) << 16;
    }

  private:
    const uint8_t *base_;
};

// Copies a marked block into `pins` while adding it up; true when it sums
// to 0. Only offsets whose word and whole block lie in the image are tried:
// a block may not run past the end of the image.
bool scanForPins(const BiosImage &image, uint8_t *pins) {
    for (uint32_t offset = 0; BiosImage::holds(offset, 4); offset++) {
        const uint32_t w = image.word(offset);
        const uint32_t length = (w >> 16) & 0xFF;
        if ((w & 0xFFFF) != kPinsMark || length > kPinsMaxBytes ||
            !BiosImage::holds(offset, length))
            continue;
        uint8_t sum = 0;
        for (uint32_t i = 0; i < length; i++) {
            pins[i] = image.byte(offset + i);
            sum = static_cast<uint8_t>(sum + pins[i]);
        }
        if (sum == 0)
            return true;
    }
    return false;
}

// The version from the "PCIR" structure's revision word: false when the
// image has no signature or the structure is missing or does not fit.
bool pcirVersion(const BiosImage &image, uint32_t *version) {
    if (image.byte(0) != 0x55 || image.byte(1) != 0xAA)
        return false;
    const uint32_t pcir = image.half(kPcirPointer);
    if (!BiosImage::holds(pcir, kPcirRevision + 2) || image.word(pcir) != kPcirSignature)
        return false;
    const uint32_t revision = image.half(pcir + kPcirRevision);
    *version = (revision & 0xFF) * kVersionUnit | revision >> 8;
    return true;
}

} // namespace

extern "C" {

// ---- PCI configuration ----

uint32_t ClientReadConfigSpaceByte(BoardHandle *pBoard, uint32_t reg, uint8_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t data = kAbsentFunction;
    if (QUARN_PCI_Read_Config(reg, 1, &data, privateOf(pBoard)) == 1)
        *value = static_cast<uint8_t>(data);
    return pBoard->ulErrorCode;
}

uint32_t ClientReadConfigSpaceDword(BoardHandle *pBoard, uint32_t reg, uint32_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    QUARN_PCI_Read_Config(reg, 4, value, privateOf(pBoard));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteConfigSpaceByte(BoardHandle *pBoard, uint32_t reg, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t byte = value & 0xFF;
    QUARN_PCI_Write_Config(reg, 1, &byte, privateOf(pBoard));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteConfigSpaceDword(BoardHandle *pBoard, uint32_t reg, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    QUARN_PCI_Write_Config(reg, 4, &value, privateOf(pBoard));
    return pBoard->ulErrorCode;
}

// ---- control registers ----

uint32_t ClientOpenRegisterBase(BoardHandle *pBoard, uint32_t, uint32_t) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->ulMappedRegisters = privateOf(pBoard)->regs;
    return pBoard->ulErrorCode;
}

uint32_t ClientCloseRegisterBase(BoardHandle *pBoard) {
    return pBoard->ulErrorCode;
}

uint32_t ClientReadRegisterByte(BoardHandle *pBoard, uint32_t offset, uint8_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    *value = mmRead8(registerAt(pBoard, offset));
    return pBoard->ulErrorCode;
}

uint32_t ClientReadRegisterDword(BoardHandle *pBoard, uint32_t offset, uint32_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    *value = mmRead32(registerAt(pBoard, offset));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteRegisterByte(BoardHandle *pBoard, uint32_t offset, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    mmWrite8(registerAt(pBoard, offset), static_cast<uint8_t>(value));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteRegisterDword(BoardHandle *pBoard, uint32_t offset, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    mmWrite32(registerAt(pBoard, offset), value);
    return pBoard->ulErrorCode;
}

// ---- frame buffer (and the option ROM while it is shown there) ----

uint32_t ClientOpenMemoryBase(BoardHandle *pBoard, uint32_t, uint32_t) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->ulMappedMemory = privateOf(pBoard)->fb;
    return pBoard->ulErrorCode;
}

uint32_t ClientCloseMemoryBase(BoardHandle *pBoard) {
    return pBoard->ulErrorCode;
}

uint32_t ClientReadMemoryByte(BoardHandle *pBoard, uint32_t offset, uint8_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    *value = mmRead8(memoryAt(pBoard, offset));
    return pBoard->ulErrorCode;
}

uint32_t ClientReadMemoryDword(BoardHandle *pBoard, uint32_t offset, uint32_t *value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    *value = mmRead32(memoryAt(pBoard, offset));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteMemoryByte(BoardHandle *pBoard, uint32_t offset, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    mmWrite8(memoryAt(pBoard, offset), static_cast<uint8_t>(value));
    return pBoard->ulErrorCode;
}

uint32_t ClientWriteMemoryDword(BoardHandle *pBoard, uint32_t offset, uint32_t value) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    mmWrite32(memoryAt(pBoard, offset), value);
    return pBoard->ulErrorCode;
}

// ---- the system device nobody offers ----

static uint32_t noSystemDevice(BoardHandle *pBoard, uint32_t code) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    return SetErr(pBoard, code);
}

uint32_t ClientOpenSystemDevice(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_OPEN_SYSTEM_DEVICE);
}
uint32_t ClientCloseSystemDevice(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_CLOSE_SYSTEM_DEVICE);
}
uint32_t ClientReadSystemDeviceByte(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_READ_SYSTEM_DEVICE_BYTE);
}
uint32_t ClientReadSystemDeviceDword(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_READ_SYSTEM_DEVICE_DWORD);
}
uint32_t ClientWriteSystemDeviceByte(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_WRITE_SYSTEM_DEVICE_BYTE);
}
uint32_t ClientWriteSystemDeviceDword(BoardHandle *pBoard) {
    return noSystemDevice(pBoard, CLIENT_ERR_WRITE_SYSTEM_DEVICE_DWORD);
}

// ---- time ----

uint32_t InitTimer(BoardHandle *pBoard) {
    return pBoard->ulErrorCode;
}

uint32_t ClientWait(BoardHandle *pBoard, uint32_t count) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    // The clock is 32 bits wide on the target: differences wrap with it.
    const uint32_t start = static_cast<uint32_t>(clock());
    uint32_t now = start;
    while (now - start < count)
        now = static_cast<uint32_t>(clock());
    return pBoard->ulErrorCode;
}

// ---- video BIOS ----

uint32_t ClientGetBiosInfo(BoardHandle *pBoard, uint8_t *pins, uint32_t *version) {
    if (failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t command = kAbsentFunction;
    ClientReadConfigSpaceDword(pBoard, 4, &command);
    const uint8_t *bios = privateOf(pBoard)->legacyBios;
    if ((command & kIoDecoding) == 0 || bios == nullptr)
        return SetErr(pBoard, CLIENT_ERR_NO_BIOS);
    const BiosImage image(bios);
    if (!scanForPins(image, pins))
        SetErr(pBoard, CLIENT_ERR_NO_PINS);
    if (!pcirVersion(image, version))
        SetErr(pBoard, CLIENT_ERR_NO_BIOS);
    if (*version == 0)
        *version = kVersionUnit * image.byte(kRevisionByte);
    return pBoard->ulErrorCode;
}

uint32_t ClientCallBiosInt10(BoardHandle *pBoard, BiosCallRegisters *) {
    return pBoard->ulErrorCode;
}

} // extern "C"
