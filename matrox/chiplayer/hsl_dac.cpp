// The integrated DAC: its indexed registers, its set-up for a mode, the PLL
// parameter search every clock uses, the pixel and system PLLs (with the
// guard that keeps the two from beating against each other), and the
// screen and power controls on the DAC side.
#include "hal_error.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

// Indexed DAC registers.
constexpr uint8_t XPixelFormat = 0x19, XPixelClock = 0x1A, XGeneral = 0x1D, XMisc = 0x1E,
                  XSysPllM = 0x2C, XSysPllN = 0x2D, XSysPllP = 0x2E, XSysPllStatus = 0x2F,
                  XPixPllM = 0x4C, XPixPllN = 0x4D, XPixPllP = 0x4E, XPixPllStatus = 0x4F;
constexpr uint8_t kClockSourcePll = 0x1, kClockSourceMask = 0x3, kClockOff = 0x4,
                  kPixPllPower = 0x8;
constexpr uint8_t kMiscDacOn = 0x01, kMiscLut8 = 0x08, kMiscPowerUp = 0x10;
constexpr uint8_t kPllLocked = 0x40;
constexpr uint32_t kOptionSource = 0x3, kOptionStop = 0x4, kOptionPllPower = 0x20;
constexpr uint8_t kSeqScreenOff = 0x20, kSeqDotClock = 0x08;
constexpr uint8_t kMiscClockSelect = 0x0C;
constexpr uint32_t kPowerCycleWait = 10000;
constexpr uint32_t kVcoFloor = 50000;
constexpr uint32_t kBeatDistance = 600;
constexpr uint32_t kStatusRetrace = 0x8;
constexpr uint32_t kBiosPllCall = 0xDD01;
constexpr uint8_t kCondorRevision = 0x80;

uint8_t dacRead(BoardHandle *pBoard, uint8_t index) {
    uint8_t v = 0;
    HSLDACReadRegister(pBoard, index, &v);
    return v;
}

void dacSetBits(BoardHandle *pBoard, uint8_t index, uint8_t set, uint8_t clear = 0) {
    const uint8_t v = dacRead(pBoard, index);
    HSLDACWriteRegister(pBoard, index, uint8_t((v & ~clear) | set));
}

// Reads the selected indexed register until its lock bit shows, at most
// HSL_POLL_READS times; true when it locked.
bool waitLock(BoardHandle *pBoard, uint8_t status) {
    ClientWriteRegisterByte(pBoard, kDacIndex, status);
    for (uint32_t reads = 0; reads < HSL_POLL_READS; reads++) {
        uint8_t v = 0;
        ClientReadRegisterByte(pBoard, kDacData, &v);
        if (hsl::failed(pBoard))
            return false;
        if (v & kPllLocked)
            return true;
    }
    return false;
}

bool waitStatusBit(BoardHandle *pBoard, uint32_t bit) {
    for (uint32_t reads = 0; reads < HSL_POLL_READS; reads++) {
        uint32_t v = 0;
        ClientReadRegisterDword(pBoard, kStatus, &v);
        if (hsl::failed(pBoard))
            return false;
        if (v & bit)
            return true;
    }
    return false;
}

uint32_t option(BoardHandle *pBoard) {
    return readConfig(pBoard, kCfgOption);
}

void writeOption(BoardHandle *pBoard, uint32_t v) {
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, v);
}

// Stops the system clock, moves it to the PCI clock (or back to the PLL)
// and lets it run again, one write at a time.
void selectSystemSource(BoardHandle *pBoard, uint32_t source) {
    uint32_t v = option(pBoard) | kOptionStop;
    writeOption(pBoard, v);
    v = (v & ~kOptionSource) | source;
    writeOption(pBoard, v);
    writeOption(pBoard, v & ~kOptionStop);
}

void programPll(BoardHandle *pBoard, uint8_t first, uint32_t m, uint32_t n, uint32_t p,
                uint32_t s) {
    HSLDACWriteRegister(pBoard, first, m);
    HSLDACWriteRegister(pBoard, uint8_t(first + 1), n);
    HSLDACWriteRegister(pBoard, uint8_t(first + 2), p | s << 3);
}

uint32_t vcoOf(uint32_t ref, uint8_t m, uint8_t n) {
    return (uint32_t(n) + 1) * ref / (uint32_t(m) + 1);
}

} // namespace

extern "C" {

uint32_t HSLDACReadRegister(BoardHandle *pBoard, uint8_t index, uint8_t *pValue) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ClientWriteRegisterByte(pBoard, kDacIndex, index);
    ClientReadRegisterByte(pBoard, kDacData, pValue);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACWriteRegister(BoardHandle *pBoard, uint8_t index, uint32_t value) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ClientWriteRegisterByte(pBoard, kDacIndex, index);
    ClientWriteRegisterByte(pBoard, kDacData, value & 0xFF);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACInit(BoardHandle *pBoard, ModeInfo *pMode) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    ClientWriteRegisterByte(pBoard, kDacMask, 0xFF);
    dacSetBits(pBoard, XMisc, kMiscLut8);
    const uint32_t vidCtrl = pBoard->HSLData.ulVidCtrl;
    dacSetBits(pBoard, XGeneral, uint8_t((vidCtrl & 1) << 4), 0x10);
    dacSetBits(pBoard, XGeneral, uint8_t(((vidCtrl >> 6) & 1) << 5), 0x20);
    // Miscellaneous output bits 6 and 7 select negative syncs.
    uint8_t misc = 0;
    ClientReadRegisterByte(pBoard, kMiscRead, &misc);
    misc &= 0x3F;
    if ((pMode->lSignalMode & SIGNAL_HSYNC_POSITIVE) == 0)
        misc |= 0x40;
    if ((pMode->lSignalMode & SIGNAL_VSYNC_POSITIVE) == 0)
        misc |= 0x80;
    ClientWriteRegisterByte(pBoard, kMiscWrite, misc);
    uint8_t format = 0;
    switch (pMode->lBpp) {
    case 8:
        format = 0;
        break;
    case 15:
        format = 1;
        break;
    case 16:
        format = 2;
        break;
    case 24:
        format = 3;
        break;
    case 32:
        format = 7;
        break;
    default:
        SetErr(pBoard, HSL_ERR_DAC_DEPTH);
        break;
    }
    HSLDACWriteRegister(pBoard, XPixelFormat, format);
    if (pMode->lBpp != 8) {
        // Direct colour goes through the table as a ramp per component.
        ClientWriteRegisterByte(pBoard, kDacIndex, 0);
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t r = i, g = i, b = i;
            if (pMode->lBpp == 15) {
                r = g = b = i << 3;
            } else if (pMode->lBpp == 16) {
                r = b = i << 3;
                g = i << 2;
            }
            ClientWriteRegisterByte(pBoard, kDacPalette, r & 0xFF);
            ClientWriteRegisterByte(pBoard, kDacPalette, g & 0xFF);
            ClientWriteRegisterByte(pBoard, kDacPalette, b & 0xFF);
        }
    }
    dacSetBits(pBoard, XMisc, kMiscDacOn);
    return pBoard->ulErrorCode;
}

// Below 50 MHz of VCO the search has nothing to choose from: that is
// recorded as an error and no value is handed back, so no PLL is
// programmed with whatever the caller's variables held.
uint32_t HSLDACComputePLLParam(BoardHandle *pBoard, uint32_t freqKHz, uint32_t selector,
                               uint32_t *pM, uint32_t *pN, uint32_t *pP, uint32_t *pS) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const HSLData &d = pBoard->HSLData;
    if (pBoard->ulChipRev >= kCondorRevision && (d.aucPInS[95] & 0x04) == 0) {
        BiosCallRegisters regs{};
        regs.aulReg[0] = kBiosPllCall;
        regs.aulReg[1] = freqKHz;
        ClientCallBiosInt10(pBoard, &regs);
        if (hsl::failed(pBoard))
            return pBoard->ulErrorCode;
        // A BIOS service that did not answer leaves the frequency in the
        // word; its bytes are no PLL values, so search as other boards do.
        const uint32_t v = regs.aulReg[1];
        if (v != freqKHz) {
            *pN = v & 0xFF;
            *pM = (v >> 8) & 0xFF;
            *pP = (v >> 16) & 7;
            *pS = (v >> 19) & 0x1F;
            return pBoard->ulErrorCode;
        }
    }
    uint32_t limit = selector != 0 ? d.ulSystemVCOMax : d.ulVCOMax;
    if (freqKHz > limit)
        limit = freqKHz;
    const uint32_t tolerance = freqKHz * 5 / 1000;
    static const uint32_t kPostDividers[] = {7, 3, 1, 0};
    uint32_t p = 0;
    for (uint32_t candidate : kPostDividers)
        if (uint64_t(freqKHz) * (candidate + 1) <= limit) {
            p = candidate;
            break;
        }
    const uint32_t vco = freqKHz * (p + 1);
    if (vco <= kVcoFloor)
        return SetErr(pBoard, HSL_ERR_DAC_PLL_RANGE);
    uint32_t best = 0xFFFFFFFFu, bestM = 0, bestN = 0;
    for (uint32_t m = 1; m <= 6 && best > tolerance; m++)
        for (uint32_t n = 7; n <= 127 && best > tolerance; n++) {
            const uint32_t f = (n + 1) * d.ulPLLFreqRef / ((m + 1) * (p + 1));
            const uint32_t e = f > freqKHz ? f - freqKHz : freqKHz - f;
            if (e < best) {
                best = e;
                bestM = m;
                bestN = n;
            }
        }
    *pM = bestM;
    *pN = bestN;
    *pP = p;
    *pS = vco < 100000 ? 0 : vco < 140000 ? 1 : vco < 180000 ? 2 : 3;
    return pBoard->ulErrorCode;
}

uint32_t HSLDACPIXPLLSET(BoardHandle *pBoard, ModeInfo *pMode) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLDACComputePLLParam(pBoard, uint32_t(pMode->lPixClock), 0, &m, &n, &p, &s);
    dacSetBits(pBoard, XPixelClock, kClockOff);
    uint8_t misc = 0;
    ClientReadRegisterByte(pBoard, kMiscRead, &misc);
    ClientWriteRegisterByte(pBoard, kMiscWrite, misc | kMiscClockSelect);
    programPll(pBoard, XPixPllM, m, n, p, s);
    dacSetBits(pBoard, XPixelClock, kClockSourcePll, kClockSourceMask);
    if (!waitLock(pBoard, XPixPllStatus) && !hsl::failed(pBoard)) {
        // Cycling the PLL's power lets a stuck loop start again.
        dacSetBits(pBoard, XPixelClock, 0, kPixPllPower);
        ClientWait(pBoard, kPowerCycleWait);
        dacSetBits(pBoard, XPixelClock, kPixPllPower);
        ClientWait(pBoard, kPowerCycleWait);
        if ((dacRead(pBoard, XPixPllStatus) & kPllLocked) == 0)
            SetErr(pBoard, HSL_ERR_DAC_PIXEL_PLL);
    }
    const uint8_t seq1 = readSeq(pBoard, 1);
    writeSeq(pBoard, 1, seq1 & ~kSeqDotClock);
    dacSetBits(pBoard, XPixelClock, 0, kClockOff);
    HSLDACAdjustSystemPLL(pBoard);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACAdjustSystemPLL(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t pixM = dacRead(pBoard, XPixPllM), pixN = dacRead(pBoard, XPixPllN);
    dacRead(pBoard, XPixPllP);
    const uint8_t sysM = dacRead(pBoard, XSysPllM), sysN = dacRead(pBoard, XSysPllN),
                  sysP = dacRead(pBoard, XSysPllP);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t ref = pBoard->HSLData.ulPLLFreqRef;
    const uint32_t a = vcoOf(ref, sysM, sysN), b = vcoOf(ref, pixM, pixN);
    const uint32_t distance = a > b ? a - b : b - a;
    if (distance >= kBeatDistance)
        return pBoard->ulErrorCode;
    const uint32_t step = b * 7 / 1000;
    const uint32_t vco = b - (step >= kBeatDistance ? step : kBeatDistance);
    SysClockInfo lowered = pBoard->CurrentSysClock;
    lowered.ulSystemPllFreq = vco / ((sysP & 7u) + 1);
    callSlot(pBoard, HSL_SLOT_PROGRAM_SYSTEM_CLOCK, &lowered);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACSYSPLLSET(BoardHandle *pBoard, uint32_t freqKHz) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLDACComputePLLParam(pBoard, freqKHz, 1, &m, &n, &p, &s);
    selectSystemSource(pBoard, 0);
    programPll(pBoard, XSysPllM, m, n, p, s);
    if (!waitLock(pBoard, XSysPllStatus))
        SetErr(pBoard, HSL_ERR_DAC_SYSTEM_PLL);
    selectSystemSource(pBoard, 1);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACWaitForVSync(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    waitStatusBit(pBoard, kStatusRetrace);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACScreenState(BoardHandle *pBoard, uint8_t *pOn) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t seq1 = readSeq(pBoard, 1);
    if (!hsl::failed(pBoard))
        *pOn = (seq1 & kSeqScreenOff) == 0 ? 1 : 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLDACScreenOff(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    writeSeq(pBoard, 1, readSeq(pBoard, 1) | kSeqScreenOff);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACScreenOn(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    writeSeq(pBoard, 1, readSeq(pBoard, 1) & ~kSeqScreenOff);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACPowerUp(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    writeOption(pBoard, option(pBoard) | kOptionPllPower);
    waitLock(pBoard, XSysPllStatus);
    dacSetBits(pBoard, XPixelClock, kPixPllPower);
    waitLock(pBoard, XPixPllStatus);
    dacSetBits(pBoard, XMisc, kMiscDacOn | kMiscPowerUp);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACDisableOutput(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    dacSetBits(pBoard, XMisc, 0, kMiscDacOn);
    return pBoard->ulErrorCode;
}

uint32_t HSLDACSenceMonitorLoad(BoardHandle *pBoard, uint8_t *pLoaded) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    *pLoaded = 1;
    return pBoard->ulErrorCode;
}

} // extern "C"
