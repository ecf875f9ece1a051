// The system PLL of the eclipse and twister chips and the graphics, memory
// and warp clocks it feeds through fixed dividers. The clock is stopped
// while its source, its PLL and its dividers change.
#include "hal_error.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint8_t XSysPllM = 0x2C, XSysPllStatus = 0x2F;
constexpr uint8_t kPllLocked = 0x40;
constexpr uint32_t kOptionSource = 0x3, kOptionStop = 0x4, kOptionPllPower = 0x20;
constexpr uint32_t kOptionGraphicsDiv = 0x8, kOptionMemoryDiv = 0x10, kOptionWarpDiv = 0x80;
constexpr uint32_t kOption2Graphics = 1u << 14, kOption2Memory = 1u << 15, kOption2Warp = 1u << 16,
                   kOption2WarpDiv = 1u << 17;
constexpr uint32_t kOption2Clocks = 0xFu << 14;
constexpr uint32_t kRefreshShift = 15, kRefreshMask = 0x3Fu << kRefreshShift, kRefreshMax = 63;
constexpr uint32_t kPowerCycleWait = 10000;

struct Family {
    bool eclipse;
    uint32_t lockError, ratioError;
};

constexpr Family kEclipse{true, HSL_ERR_ECL_SYSCLOCK_LOCK, HSL_ERR_ECL_SYSCLOCK_RATIO};
constexpr Family kTwister{false, HSL_ERR_TWI_SYSCLOCK_LOCK, HSL_ERR_TWI_SYSCLOCK_RATIO};

struct Dividers {
    uint32_t option = 0, option2 = 0;
    uint32_t memoryKHz = 0;
    bool refused = false;
};

// The bits each ratio code sets, by family and clock; false for a code the
// family refuses.
bool eclipseBits(uint8_t ratio, uint32_t full, uint32_t *option, uint32_t twoThirds,
                 uint32_t *twoThirdsReg) {
    switch (ratio) {
    case 0x11:
        *option |= full;
        return true;
    case 0x12:
        return true;
    case 0x23:
        *twoThirdsReg |= twoThirds;
        return true;
    default:
        return false;
    }
}

Dividers dividersOf(const Family &f, const SysClockInfo &c) {
    Dividers d;
    const uint32_t freq = c.ulSystemPllFreq;
    bool ok = true;
    if (f.eclipse) {
        ok = eclipseBits(c.ucGraphicClockDiv, kOption2Graphics, &d.option2, kOptionGraphicsDiv,
                         &d.option) &&
             eclipseBits(c.ucMemoryClockDiv, kOption2Memory, &d.option2, kOptionMemoryDiv,
                         &d.option) &&
             eclipseBits(c.ucWarpClockDiv, kOption2Warp, &d.option2, kOption2WarpDiv, &d.option2);
    } else {
        auto twister = [&](uint8_t ratio, uint8_t none, uint8_t divided, uint32_t bit) {
            if (ratio == divided)
                d.option |= bit;
            return ratio == none || ratio == divided;
        };
        ok = twister(c.ucGraphicClockDiv, 0x12, 0x13, kOptionGraphicsDiv) &&
             twister(c.ucMemoryClockDiv, 0x12, 0x13, kOptionMemoryDiv) &&
             twister(c.ucWarpClockDiv, 0x11, 0x12, kOptionWarpDiv);
    }
    d.refused = !ok;
    // The estimate the refresh count is taken from.
    switch (c.ucMemoryClockDiv) {
    case 0x11:
        d.memoryKHz = freq;
        break;
    case 0x12:
        d.memoryKHz = freq / 2;
        break;
    case 0x23:
        d.memoryKHz = freq * 3 / 2;
        break;
    case 0x13:
        d.memoryKHz = freq * 3;
        break;
    default:
        break;
    }
    return d;
}

bool sameClock(const SysClockInfo &a, const SysClockInfo &b) {
    return a.ulSystemPllFreq == b.ulSystemPllFreq && a.ulMCTLWTST == b.ulMCTLWTST &&
           a.ucGraphicClockDiv == b.ucGraphicClockDiv && a.ucMemoryClockDiv == b.ucMemoryClockDiv &&
           a.ucWarpClockDiv == b.ucWarpClockDiv;
}

bool pllLocks(BoardHandle *pBoard) {
    ClientWriteRegisterByte(pBoard, kDacIndex, XSysPllStatus);
    for (uint32_t reads = 0; reads < HSL_POLL_READS && !hsl::failed(pBoard); reads++) {
        uint8_t v = 0;
        ClientReadRegisterByte(pBoard, kDacData, &v);
        if (v & kPllLocked)
            return true;
    }
    return false;
}

uint32_t programSystemClock(BoardHandle *pBoard, SysClockInfo *pClock, const Family &f) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (sameClock(*pClock, pBoard->CurrentSysClock))
        return pBoard->ulErrorCode;
    uint8_t on = 0;
    HSLDACScreenState(pBoard, &on);
    HSLDACScreenOff(pBoard);
    const Dividers d = dividersOf(f, *pClock);
    if (d.refused)
        SetErr(pBoard, f.ratioError);

    // Onto the PCI clock while the PLL changes.
    uint32_t option = readConfig(pBoard, kCfgOption);
    option |= kOptionStop;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    option &= ~kOptionSource;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    option &= ~kOptionStop;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    uint32_t option2 = 0;
    if (f.eclipse)
        option2 = readConfig(pBoard, kCfgOption2);

    uint32_t m = 0, n = 0, p = 0, s = 0;
    HSLDACComputePLLParam(pBoard, pClock->ulSystemPllFreq, 1, &m, &n, &p, &s);
    HSLDACWriteRegister(pBoard, XSysPllM, m);
    HSLDACWriteRegister(pBoard, XSysPllM + 1, n);
    HSLDACWriteRegister(pBoard, XSysPllM + 2, p | s << 3);
    if (!pllLocks(pBoard) && !hsl::failed(pBoard)) {
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option & ~kOptionPllPower);
        ClientWait(pBoard, kPowerCycleWait);
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option | kOptionPllPower);
        ClientWait(pBoard, kPowerCycleWait);
        uint8_t status = 0;
        HSLDACReadRegister(pBoard, XSysPllStatus, &status);
        if ((status & kPllLocked) == 0)
            SetErr(pBoard, f.lockError);
    }

    // The dividers and the source change with the clock stopped.
    option |= kOptionStop;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    if (f.eclipse) {
        option = (option & ~(kOptionGraphicsDiv | kOptionMemoryDiv)) | d.option;
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
        option2 = (option2 & ~kOption2Clocks) | d.option2;
        ClientWriteConfigSpaceDword(pBoard, kCfgOption2, option2);
    } else {
        option = (option & ~(kOptionGraphicsDiv | kOptionMemoryDiv | kOptionWarpDiv)) | d.option;
        ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    }
    option = (option & ~kOptionSource) | 1;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);
    uint32_t refresh = (d.memoryKHz * 1000 - 66667) / 4266688;
    if (refresh > kRefreshMax)
        refresh = kRefreshMax;
    option = (option & ~kRefreshMask & ~kOptionStop) | refresh << kRefreshShift;
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, option);

    // A warning keeps the clock from counting as programmed.
    if (pBoard->ulErrorCode == 0)
        memcopy(&pBoard->CurrentSysClock, pClock, sizeof(SysClockInfo));
    if (on)
        HSLDACScreenOn(pBoard);
    return pBoard->ulErrorCode;
}

} // namespace

extern "C" {

uint32_t HSLECLProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock) {
    return programSystemClock(pBoard, pClock, kEclipse);
}

uint32_t HSLTWIProgramSystemClock(BoardHandle *pBoard, SysClockInfo *pClock) {
    return programSystemClock(pBoard, pClock, kTwister);
}

} // extern "C"
