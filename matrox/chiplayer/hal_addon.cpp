// Optional devices: detection on the second I2C bus and the DAC pins, the
// flat-panel link module and its AV9110 clock, the MSP audio processor, and
// the TV encoder's and second HD15 module's register transfers.
#include "hal_addon.h"

#include "client.h"
#include "hal_error.h"
#include "hal_i2c.h"
#include "hsl_regs.h"

namespace {

constexpr uint32_t kSlowRate = 5000, kFastRate = 100000, kRelease = 500;
constexpr uint8_t kEncoderVersionReg = 0xB2;

I2CCommand i2cStep(uint32_t operation, uint32_t data, uint32_t control, uint32_t rate) {
    I2CCommand c{};
    c.ulOperation = operation;
    c.ucData = data;
    c.flControl = control;
    c.ulClockRate = rate;
    return c;
}

// One step on the add-on bus through the sequence's own entry: its status.
uint32_t run(BoardHandle *pBoard, uint32_t operation, uint32_t data, uint32_t control,
             uint32_t rate = kSlowRate, uint8_t *pRead = nullptr) {
    I2CCommand c = i2cStep(operation, data, control, rate);
    HALPI2CExecute(pBoard, ADDON_I2C_PORT, &c);
    if (pRead)
        *pRead = uint8_t(c.ucData);
    return c.ulStatus;
}

// A step through the public entry, which starts a fresh error word.
uint32_t runPublic(BoardHandle *pBoard, uint32_t operation, uint32_t data, uint32_t control,
                   uint32_t rate, uint8_t *pRead = nullptr) {
    I2CCommand c = i2cStep(operation, data, control, rate);
    HALI2CExecute(pBoard, ADDON_I2C_PORT, &c);
    if (pRead)
        *pRead = uint8_t(c.ucData);
    return c.ulStatus;
}

void release(BoardHandle *pBoard, uint32_t control) {
    run(pBoard, I2C_OP_NULL, 0, control);
    ClientWait(pBoard, kRelease);
}

bool opt(const BoardHandle *pBoard, int bit) {
    return (pBoard->HSLData.ucFactoryOpt >> bit & 1) != 0;
}

void setFeature(BoardHandle *pBoard, uint32_t pair, uint32_t bit) {
    pBoard->flFeatures = (pBoard->flFeatures & ~pair) | bit;
}

// Probes for each detector: true when the device at `a` answered.
bool probeMaven(BoardHandle *pBoard, uint8_t a, uint8_t *pVersion) {
    if (run(pBoard, I2C_OP_WRITE, a + 1u, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_WRITE, kEncoderVersionReg, I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP, kSlowRate, pVersion) == 0)
        return true;
    release(pBoard, I2C_NAK | I2C_STOP);
    return false;
}

bool probeDecoder(BoardHandle *pBoard, uint8_t a) {
    if (run(pBoard, I2C_OP_WRITE, a, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_WRITE, 0, I2C_ACK | I2C_STOP) == 0 &&
        run(pBoard, I2C_OP_WRITE, a + 1u, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_READ, 0, I2C_STOP) == 0)
        return true;
    release(pBoard, I2C_STOP);
    return false;
}

bool probeTuner(BoardHandle *pBoard, uint8_t a) {
    if (run(pBoard, I2C_OP_WRITE, a, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_WRITE, 0, I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_WRITE, a + 1u, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP) == 0)
        return true;
    release(pBoard, I2C_NAK | I2C_STOP);
    return false;
}

bool probeLatch(BoardHandle *pBoard, uint8_t a) {
    if (run(pBoard, I2C_OP_WRITE, a + 1u, I2C_START | I2C_ACK) == 0 &&
        run(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP) == 0)
        return true;
    release(pBoard, I2C_NAK | I2C_STOP);
    return false;
}

template <size_t N, class Probe>
uint8_t firstAnswering(BoardHandle *pBoard, const uint8_t (&candidates)[N], Probe probe) {
    for (uint8_t a : candidates) {
        if (hsl::failed(pBoard))
            return 0;
        if (probe(a))
            return a;
    }
    return 0;
}

constexpr uint8_t kMavenAddresses[] = {0x36, 0x34};
constexpr uint8_t kDecoderAddresses[] = {0xD8, 0xDA, 0xDC, 0xDE};
constexpr uint8_t kPanelLinkAddresses[] = {0x44, 0x74, 0x4C, 0x4E};
constexpr uint8_t kMspAddresses[] = {0x80, 0x84, 0x88};
constexpr uint8_t kTunerAddresses[] = {0xC0, 0xC2, 0xC4, 0xC6};
constexpr uint8_t kSecondHD15Addresses[] = {0x40};

// DVD decoder wiring: the DAC pins' enable and the decoder's strobe lines.
constexpr uint32_t kDvdEnable = 0x3E40, kDvdLines = 0x3E43;
constexpr uint8_t kDacGpioDirection = 0x2A, kDacGpioData = 0x2B, kDacMafc = 0x1E;

uint8_t readByte(BoardHandle *pBoard, uint32_t offset) {
    uint8_t v = 0;
    ClientReadRegisterByte(pBoard, offset, &v);
    return v;
}
void orByte(BoardHandle *pBoard, uint32_t offset, uint8_t bits) {
    ClientWriteRegisterByte(pBoard, offset, uint8_t(readByte(pBoard, offset) | bits));
}
void andByte(BoardHandle *pBoard, uint32_t offset, uint8_t bits) {
    ClientWriteRegisterByte(pBoard, offset, uint8_t(readByte(pBoard, offset) & bits));
}

// Module register bits of the AV9110's three-wire port.
constexpr uint8_t kAvData = 0x04, kAvSelect = 0x08, kAvClock = 0x80;
constexpr uint8_t kModuleOutputOn = 0xEB, kModuleOutputOff = 0xFF;
constexpr uint32_t kAvReference = 14318, kAvMaxDoubled = 125000;

uint32_t mspReadRegister(BoardHandle *pBoard, uint32_t address, uint8_t reg, uint32_t *pVersion,
                         uint32_t highShift) {
    uint8_t hi = 0, lo = 0;
    uint32_t status = run(pBoard, I2C_OP_WRITE, address, I2C_START | I2C_ACK);
    const uint8_t sub[3] = {0x13, 0x00, reg};
    for (int i = 0; i < 3 && status == 0; i++)
        status = run(pBoard, I2C_OP_WRITE, sub[i], I2C_ACK);
    if (status == 0)
        status = run(pBoard, I2C_OP_WRITE, address + 1u, I2C_START | I2C_ACK);
    if (status == 0) {
        status = run(pBoard, I2C_OP_READ, 0, I2C_ACK, kSlowRate, &hi);
        *pVersion += uint32_t(hi) << highShift;
    }
    if (status == 0) {
        status = run(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP, kSlowRate, &lo);
        *pVersion += uint32_t(lo) << (highShift - 8);
    }
    return status;
}

uint32_t mspSend(BoardHandle *pBoard, const uint8_t *bytes, int count) {
    uint32_t status =
        run(pBoard, I2C_OP_WRITE, pBoard->HSLData.ucI2CAddMSPChip, I2C_START | I2C_ACK);
    for (int i = 0; i < count && status == 0; i++)
        status = run(pBoard, I2C_OP_WRITE, bytes[i], i + 1 == count ? I2C_ACK | I2C_STOP : I2C_ACK);
    return status;
}

} // namespace

extern "C" {

// ---- detection ----

uint32_t HSLDetectMaven(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    uint8_t version = 0;
    const uint8_t a = firstAnswering(pBoard, kMavenAddresses,
                                     [&](uint8_t x) { return probeMaven(pBoard, x, &version); });
    HSLData &d = pBoard->HSLData;
    if (a != 0) {
        *pFound = 1;
        d.ucI2CAddMaven = a;
        d.ucMavenVersion = version;
        setFeature(pBoard, FEATURE_ENCODER | FEATURE_ENCODER_ALT,
                   opt(pBoard, 0) ? FEATURE_ENCODER_ALT : FEATURE_ENCODER);
    } else {
        d.ucI2CAddMaven = 0;
        d.ucMavenVersion = 0;
        setFeature(pBoard, FEATURE_ENCODER | FEATURE_ENCODER_ALT, 0);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectVideoDecoder(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    const uint8_t a = firstAnswering(pBoard, kDecoderAddresses,
                                     [&](uint8_t x) { return probeDecoder(pBoard, x); });
    if (a != 0) {
        *pFound = 1;
        pBoard->HSLData.ucI2CAddVideoDecoder = a;
        pBoard->HSLData.ucVideoDecoderKind = (a == 0xDA || a == 0xDC) ? 1 : 0;
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectRR2(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    if (pBoard->HSLData.ucI2CAddVideoDecoder != 0) {
        *pFound = 1;
        pBoard->flFeatures |=
            pBoard->HSLData.ucVideoDecoderKind == 1 ? FEATURE_DECODER_RR2 : FEATURE_DECODER;
    } else {
        setFeature(pBoard, FEATURE_DECODER_RR2 | FEATURE_DECODER, 0);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectMJPEG(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    if (pBoard->HSLData.ucI2CAddVideoDecoder == 0) {
        setFeature(pBoard, FEATURE_MJPEG_RR2 | FEATURE_MJPEG, 0);
    } else if (pBoard->HSLData.ucVideoDecoderKind == 0) {
        pBoard->flFeatures |= FEATURE_MJPEG;
        *pFound = 1;
    } else if (!opt(pBoard, 2)) {
        pBoard->flFeatures |= FEATURE_MJPEG_RR2;
        *pFound = 1;
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectDVD(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    orByte(pBoard, kDvdEnable, 0x01);
    andByte(pBoard, kDvdLines, uint8_t(~0x04));
    andByte(pBoard, kDvdEnable, uint8_t(~0x01));
    ClientWriteRegisterByte(pBoard, hsl::kDacIndex, kDacGpioDirection);
    andByte(pBoard, hsl::kDacData, uint8_t(~0x40));
    ClientWriteRegisterByte(pBoard, hsl::kDacIndex, kDacGpioData);
    if (readByte(pBoard, hsl::kDacData) & 0x40) {
        setFeature(pBoard, FEATURE_DVD | FEATURE_DVD_ALT, 0);
        return pBoard->ulErrorCode;
    }
    *pFound = 1;
    pBoard->flFeatures |= opt(pBoard, 1) ? FEATURE_DVD_ALT : FEATURE_DVD;
    orByte(pBoard, kDvdEnable, 0x01);
    orByte(pBoard, kDvdLines, 0x40);
    andByte(pBoard, kDvdLines, uint8_t(~0x40));
    andByte(pBoard, kDvdEnable, uint8_t(~0x01));
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectPanelLinkModule(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    const uint8_t a = firstAnswering(pBoard, kPanelLinkAddresses,
                                     [&](uint8_t x) { return probeLatch(pBoard, x); });
    pBoard->HSLData.ucI2CAddPanelLinkModule = a;
    if (a != 0)
        *pFound = 1;
    setFeature(pBoard, FEATURE_PANEL_LINK | FEATURE_PANEL_LINK_ALT,
               a == 0           ? 0
               : opt(pBoard, 6) ? FEATURE_PANEL_LINK_ALT
                                : FEATURE_PANEL_LINK);
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectMSP(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    pBoard->HSLData.ucI2CAddMSPChip = 0;
    pBoard->HSLData.ulMSPVersion = 0;
    for (uint8_t a : kMspAddresses) {
        uint32_t version = 0;
        HSLMSPI2CGetVersion(pBoard, a, &version);
        if (hsl::failed(pBoard))
            break;
        if (version != 0) {
            *pFound = 1;
            pBoard->HSLData.ucI2CAddMSPChip = a;
            pBoard->HSLData.ulMSPVersion = version;
            break;
        }
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectTVTuner(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    const uint8_t a =
        firstAnswering(pBoard, kTunerAddresses, [&](uint8_t x) { return probeTuner(pBoard, x); });
    pBoard->HSLData.ucI2CAddTVTuner = a;
    if (a != 0)
        *pFound = 1;
    setFeature(pBoard, FEATURE_TUNER | FEATURE_TUNER_ALT,
               a == 0           ? 0
               : opt(pBoard, 4) ? FEATURE_TUNER_ALT
                                : FEATURE_TUNER);
    return pBoard->ulErrorCode;
}

uint32_t HSLDetectSecondHD15(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pFound = 0;
    const uint8_t a = firstAnswering(pBoard, kSecondHD15Addresses,
                                     [&](uint8_t x) { return probeLatch(pBoard, x); });
    pBoard->HSLData.ucI2CAddHD15Module = a;
    if (a != 0)
        *pFound = 1;
    setFeature(pBoard, FEATURE_SECOND_HD15, a == 0 ? 0 : FEATURE_SECOND_HD15);
    return pBoard->ulErrorCode;
}

uint32_t HALPDetectAddOn(BoardHandle *pBoard) {
    uint32_t found = 0;
    HSLDetectMaven(pBoard, &found);
    HSLDetectVideoDecoder(pBoard, &found);
    if (found)
        HSLDetectRR2(pBoard, &found);
    HSLDetectDVD(pBoard, &found);
    HSLDetectMJPEG(pBoard, &found);
    HSLDetectPanelLinkModule(pBoard, &found);
    HSLDetectMSP(pBoard, &found);
    if (found)
        HSLMSPSetAudioPassThroughMode(pBoard);
    HSLDetectTVTuner(pBoard, &found);
    return pBoard->ulErrorCode;
}

uint32_t HALPDetectNoTV(BoardHandle *pBoard, uint32_t *pFound) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    pBoard->TVState.ucTVDetect = 0;
    *pFound = 0;
    return pBoard->ulErrorCode;
}

uint32_t HALPGetEdidInCode(BoardHandle *pBoard) {
    return pBoard->ulErrorCode;
}

// ---- flat-panel link module ----

uint32_t HSLReadPanelLinkModuleRegister(BoardHandle *pBoard, uint8_t *pValue) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pValue = 0;
    const uint8_t a = pBoard->HSLData.ucI2CAddPanelLinkModule;
    if (run(pBoard, I2C_OP_WRITE, a + 1u, I2C_START | I2C_ACK, kFastRate) != 0)
        return pBoard->ulErrorCode;
    uint8_t v = 0;
    if (runPublic(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP, kFastRate, &v) == 0)
        *pValue = v;
    return pBoard->ulErrorCode;
}

uint32_t HSLWritePanelLinkModuleRegister(BoardHandle *pBoard, uint32_t value) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t a = pBoard->HSLData.ucI2CAddPanelLinkModule;
    if (run(pBoard, I2C_OP_WRITE, a, I2C_START | I2C_ACK, kFastRate) == 0)
        runPublic(pBoard, I2C_OP_WRITE, value & 0xFF, I2C_NAK | I2C_STOP, kFastRate);
    return pBoard->ulErrorCode;
}

uint32_t HSLEnablePanelLinkModuleOutput(BoardHandle *pBoard, uint32_t enable) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    return HSLWritePanelLinkModuleRegister(pBoard,
                                           (enable & 0xFF) ? kModuleOutputOn : kModuleOutputOff);
}

uint32_t HSLGetPanelLinkModuleOutputState(BoardHandle *pBoard, uint32_t *pOn) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t v = 0;
    HSLReadPanelLinkModuleRegister(pBoard, &v);
    *pOn = (v & 0x10) == 0 && (v & 0x40) != 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLFlatEnableMAFC(BoardHandle *pBoard, uint32_t enable) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ClientWriteRegisterByte(pBoard, hsl::kDacIndex, kDacMafc);
    uint8_t v = readByte(pBoard, hsl::kDacData);
    v = enable ? uint8_t(v & ~0x02) : uint8_t(v | 0x06);
    ClientWriteRegisterByte(pBoard, hsl::kDacData, v);
    return pBoard->ulErrorCode;
}

uint32_t HSLFlatAV9110WriteRegister(BoardHandle *pBoard, uint32_t word) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t r = 0;
    HSLReadPanelLinkModuleRegister(pBoard, &r);
    r = uint8_t(r & ~(kAvSelect | kAvClock | kAvData));
    HSLWritePanelLinkModuleRegister(pBoard, r);
    for (int i = 0; i < 24; i++) {
        r = (word >> i & 1) ? uint8_t(r | kAvData) : uint8_t(r & ~kAvData);
        HSLWritePanelLinkModuleRegister(pBoard, r);
        HSLWritePanelLinkModuleRegister(pBoard, uint8_t(r | kAvClock));
        HSLWritePanelLinkModuleRegister(pBoard, r);
    }
    r = uint8_t((r | kAvSelect | kAvClock) & ~kAvData);
    HSLWritePanelLinkModuleRegister(pBoard, r);
    return pBoard->ulErrorCode;
}

uint32_t HSLAV9110SetPixelPLL(BoardHandle *pBoard, uint32_t freqKHz) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    // Doubling runs for ever on 0, and below this the count overflows its
    // field into bit 19.
    if (freqKHz < AV9110_MIN_KHZ)
        return SetErr(pBoard, HSL_ERR_AV9110_RANGE);
    uint32_t f = freqKHz, v = 0;
    while (f <= kAvMaxDoubled) {
        f *= 2;
        v++;
    }
    uint32_t best = 0xFFFFFFFFu, bestM = 0, bestN = 0, bestX = 1;
    constexpr uint32_t kMultipliers[] = {1, 8};
    for (uint32_t x : kMultipliers)
        for (uint32_t n = 3; n <= 127; n++) {
            const uint32_t m = (uint64_t(n) * f / (x * kAvReference)) & 0xFF;
            const uint32_t made = x * m * kAvReference / n;
            const uint32_t err = made > f ? made - f : f - made;
            if (m >= 3 && m <= 127 && err < best) {
                best = err;
                bestM = m;
                bestN = n;
                bestX = x;
            }
        }
    const uint32_t word = bestM | bestN << 7 | (bestX == 8 ? 1u << 14 : 0) | 1u << 15 | v << 17 |
                          1u << 19 | 1u << 20 | 1u << 21 | 1u << 23;
    return HSLFlatAV9110WriteRegister(pBoard, word);
}

// ---- audio processor ----

uint32_t HSLMSPI2CGetVersion(BoardHandle *pBoard, uint32_t address, uint32_t *pVersion) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pVersion = 0;
    mspReadRegister(pBoard, address, 0x1E, pVersion, 24);
    const uint32_t status = mspReadRegister(pBoard, address, 0x1F, pVersion, 8);
    if (status != 0)
        run(pBoard, I2C_OP_NULL, 0, I2C_NAK | I2C_STOP);
    return pBoard->ulErrorCode;
}

uint32_t HSLMSPI2CSoftReset(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t reset[3] = {0x00, 0x80, 0x00}, resume[3] = {0x00, 0x00, 0x00};
    uint32_t status = mspSend(pBoard, reset, 3);
    if (status == 0)
        status = mspSend(pBoard, resume, 3);
    if (status != 0)
        SetErr(pBoard, HSL_ERR_MSP_RESET);
    return pBoard->ulErrorCode;
}

uint32_t HSLMSPI2CWriteWord(BoardHandle *pBoard, uint32_t reg, uint32_t value) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t bytes[5] = {0x12, uint8_t(reg >> 8), uint8_t(reg), uint8_t(value >> 8),
                              uint8_t(value)};
    if (mspSend(pBoard, bytes, 5) != 0)
        SetErr(pBoard, HSL_ERR_MSP_WRITE);
    return pBoard->ulErrorCode;
}

uint32_t HSLMSPSetAudioPassThroughMode(BoardHandle *pBoard) {
    HSLMSPI2CSoftReset(pBoard);
    HSLMSPI2CWriteWord(pBoard, 0x000A, 0x0220);
    HSLMSPI2CWriteWord(pBoard, 0x000D, 0x1900);
    HSLMSPI2CWriteWord(pBoard, 0x0007, 0x4000);
    HSLMSPI2CWriteWord(pBoard, 0x0013, 0x0C00);
    return pBoard->ulErrorCode;
}

// ---- TV encoder and second HD15 module ----

uint32_t HSLMAVI2CRead(BoardHandle *pBoard, uint32_t reg, uint8_t *pBytes, uint32_t count) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    count &= 0xFF;
    uint32_t status =
        run(pBoard, I2C_OP_WRITE, pBoard->HSLData.ucI2CAddMaven | 1u, I2C_START | I2C_ACK);
    if (status == 0)
        status = run(pBoard, I2C_OP_WRITE, reg & 0xFF, I2C_ACK);
    for (uint32_t i = 0; i + 1 < count && status == 0; i++)
        status = run(pBoard, I2C_OP_READ, 0, I2C_ACK, kSlowRate, &pBytes[i]);
    // A count of 0 reads nothing more than the register number's step.
    if (status == 0 && count != 0)
        status = run(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP, kSlowRate, &pBytes[count - 1]);
    if (status != 0) {
        run(pBoard, I2C_OP_NULL, 0, I2C_NAK | I2C_STOP);
        SetErr(pBoard, HSL_ERR_MAV_READ);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVI2CWrite(BoardHandle *pBoard, uint32_t reg, const uint8_t *pBytes, uint32_t count) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    count &= 0xFF;
    uint32_t status = run(pBoard, I2C_OP_WRITE, pBoard->HSLData.ucI2CAddMaven, I2C_START | I2C_ACK);
    if (status == 0)
        status = run(pBoard, I2C_OP_WRITE, reg & 0xFF, I2C_ACK);
    for (uint32_t i = 0; i + 1 < count && status == 0; i++)
        status = run(pBoard, I2C_OP_WRITE, pBytes[i], I2C_ACK);
    if (status == 0 && count != 0)
        status = run(pBoard, I2C_OP_WRITE, pBytes[count - 1], I2C_STOP);
    if (status != 0) {
        run(pBoard, I2C_OP_NULL, 0, I2C_STOP);
        SetErr(pBoard, HSL_ERR_MAV_WRITE);
    }
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVI2CReadSecondHD15Module(BoardHandle *pBoard, uint8_t *pValue) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pValue = 0;
    if (run(pBoard, I2C_OP_WRITE, pBoard->HSLData.ucI2CAddHD15Module + 1u, I2C_START | I2C_ACK,
            kFastRate) != 0)
        return pBoard->ulErrorCode;
    uint8_t v = 0;
    if (runPublic(pBoard, I2C_OP_READ, 0, I2C_NAK | I2C_STOP, kFastRate, &v) == 0)
        *pValue = v;
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVI2CWriteSecondHD15Module(BoardHandle *pBoard, uint32_t value) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (run(pBoard, I2C_OP_WRITE, pBoard->HSLData.ucI2CAddHD15Module, I2C_START | I2C_ACK,
            kFastRate) == 0)
        runPublic(pBoard, I2C_OP_WRITE, value & 0xFF, I2C_NAK | I2C_STOP, kFastRate);
    return pBoard->ulErrorCode;
}

uint32_t HSLMAVBitConvToEncoder(uint32_t value, uint32_t width, uint8_t *pBytes) {
    switch (width) {
    case 8:
        pBytes[0] = uint8_t(value);
        break;
    case 10:
    case 11:
    case 15:
    case 16: {
        const uint32_t low = width == 10 ? 2 : width == 11 ? 3 : width == 15 ? 7 : 8;
        pBytes[0] = uint8_t(value >> low);
        pBytes[1] = uint8_t(value & ((1u << low) - 1));
        break;
    }
    case 32:
        for (int i = 0; i < 4; i++)
            pBytes[i] = uint8_t(value >> (24 - 8 * i));
        break;
    default:
        break;
    }
    return width;
}

uint32_t HSLMAVBitConvFromEncoder(const uint8_t *pBytes, uint32_t width, uint32_t *pValue) {
    switch (width) {
    case 8:
        *pValue = pBytes[0];
        break;
    case 10:
    case 11:
    case 15:
    case 16: {
        const uint32_t low = width == 10 ? 2 : width == 11 ? 3 : width == 15 ? 7 : 8;
        *pValue = uint32_t(pBytes[0]) << low | pBytes[1];
        break;
    }
    case 32:
        *pValue = uint32_t(pBytes[0]) << 24 | uint32_t(pBytes[1]) << 16 | uint32_t(pBytes[2]) << 8 |
                  pBytes[3];
        break;
    default:
        break;
    }
    return width;
}

} // extern "C"
