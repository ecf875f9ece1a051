// The board data block in the option ROM: finding it, the BIOS version, and
// decoding the two structure versions into the handle's board words, limits
// and system clock records.
#include "hal_error.h"
#include "hal_dispatch.h"
#include "hsl.h"
#include "hsl_ecl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

constexpr uint32_t kOptionRomEnable = 0x40000000u;
constexpr uint16_t kRomSignature = 0xAA55, kPinsMark = 0x412E;
constexpr uint32_t kPinsMaxBytes = 128, kOldPinsBytes = 64;
constexpr uint32_t kRomSearchEnd = 0x10000;
constexpr uint32_t kRomPcirPointer = 0x18, kPcirRevision = 0x12, kRomRevisionByte = 5;
constexpr uint32_t kRomOutputMode = 0x7FF1, kRomOldPinsPointer = 0x7FFC;
constexpr uint32_t kRomText = 0x1D, kRomTextEnd = 0x80;
constexpr uint32_t kPcirSignature = 0x52494350; // "PCIR"
constexpr uint32_t kIbmText = 0x4D424920;       // " IBM"
constexpr uint32_t kOutputModeTvOut = 0x100;

constexpr uint32_t kVcoDefault = 230000;
constexpr uint32_t kMctlwtstDefault = 0x01250A21;
constexpr uint32_t kCrtcExt6Default = 0x20002;
constexpr uint32_t kRefSlow = 14318, kRefFast = 27000;
constexpr uint32_t kMB = 0x100000;
constexpr char kNoSerial[] = "*** NO SERIAL NUMBER ***";

// The ROM shows at the frame-buffer address while OPTION bit 30 and the
// expansion-ROM enable are set.
struct RomWindow {
    uint32_t option = 0, romBase = 0;
};

RomWindow openRom(BoardHandle *pBoard, uint32_t base) {
    RomWindow w;
    ClientReadConfigSpaceDword(pBoard, kCfgOption, &w.option);
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, w.option | kOptionRomEnable);
    ClientReadConfigSpaceDword(pBoard, kCfgRomBase, &w.romBase);
    ClientWriteConfigSpaceDword(pBoard, kCfgRomBase, base | 1);
    return w;
}

void closeRom(BoardHandle *pBoard, const RomWindow &w) {
    ClientWriteConfigSpaceDword(pBoard, kCfgRomBase, w.romBase);
    ClientWriteConfigSpaceDword(pBoard, kCfgOption, w.option);
}

uint32_t romDword(BoardHandle *pBoard, uint32_t offset) {
    uint32_t v = 0;
    ClientReadMemoryDword(pBoard, offset, &v);
    return v;
}

uint8_t romByte(BoardHandle *pBoard, uint32_t offset) {
    uint8_t v = 0;
    ClientReadMemoryByte(pBoard, offset, &v);
    return v;
}

// Copies `length` bytes into the block copy; true when they sum to 0.
bool copyBlock(BoardHandle *pBoard, uint32_t from, uint32_t length) {
    uint8_t *pins = pBoard->HSLData.aucPInS;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; i++) {
        pins[i] = romByte(pBoard, from + i);
        sum = static_cast<uint8_t>(sum + pins[i]);
    }
    return sum == 0;
}

bool hasSignature(BoardHandle *pBoard) {
    return romByte(pBoard, 0) == 0x55 && romByte(pBoard, 1) == 0xAA;
}

// The version from the "PCIR" structure's revision: false without one.
bool pcirVersion(BoardHandle *pBoard, uint32_t *pVersion) {
    const uint32_t pcir = romDword(pBoard, kRomPcirPointer) & 0xFFFF;
    if (romDword(pBoard, pcir) != kPcirSignature)
        return false;
    const uint32_t v = romDword(pBoard, pcir + kPcirRevision);
    *pVersion = ((v & 0xF0) >> 4) << 16 | (v & 0x0F) << 12 | ((v >> 8) & 0xFF);
    return true;
}

// " IBM" texts mark TV-out boards by "TVO" six places after a "(V".
bool tvOutText(BoardHandle *pBoard) {
    for (uint32_t at = kRomText; at < kRomTextEnd; at++) {
        const uint8_t c = romByte(pBoard, at);
        if (c == 0)
            return false;
        if (c == '(' && romByte(pBoard, at + 1) == 'V')
            return romByte(pBoard, at + 6) == 'T' && romByte(pBoard, at + 7) == 'V' &&
                   romByte(pBoard, at + 8) == 'O';
    }
    return false;
}

// ---- reading the block copy ----

const uint8_t *pinsOf(const BoardHandle *pBoard) {
    return pBoard->HSLData.aucPInS;
}

uint32_t le16(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t le32(const uint8_t *p) {
    return le16(p) | le16(p + 2) << 16;
}

uint32_t pcbRevision(const uint8_t *p) {
    return (p[34] & 0x0Fu) | uint32_t(p[34] >> 4) << 16 | uint32_t(p[35]) << 20;
}

uint32_t memReadBack(uint8_t low, uint8_t high) {
    return (low & 0x0Fu) | uint32_t(low >> 4) << 5 | (high & 3u) << 22 | uint32_t(high >> 4) << 25;
}

void copySerial(BoardHandle *pBoard, const uint8_t *p) {
    if (p[12] >= 0x20 && p[12] <= 0x80) {
        pBoard->SerialNumber[16] = 0;
        memcopy(pBoard->SerialNumber, p + 12, 16);
    } else {
        memcopy(pBoard->SerialNumber, kNoSerial, sizeof kNoSerial);
    }
}

// Version-3 limits: (byte + 100) MHz, 0xFF the default.
uint32_t limit3(uint8_t b, uint32_t fallback) {
    return b == 0xFF ? fallback : (uint32_t(b) + 100) * 1000;
}

// Version-4 limits: byte x 4 MHz.
uint32_t limit4(uint8_t b, uint32_t fallback) {
    return b == 0xFF ? fallback : uint32_t(b) * 4000;
}

// A ratio code scales the system PLL above the clock it feeds: the PLL runs
// at clock x denominator / numerator.
uint32_t pllForRatio(uint32_t clockKHz, uint8_t ratio) {
    switch (ratio) {
    case 0x13:
        return clockKHz * 3;
    case 0x25:
        return (clockKHz * 5) >> 1;
    case 0x49:
        return (clockKHz * 9) >> 2;
    case 0x12:
        return clockKHz * 2;
    case 0x23:
        return (clockKHz * 3) >> 1;
    default:
        return clockKHz;
    }
}

// Version-4 divider field: 6 and 7 keep the ratio byte as it was.
bool dividerCode(uint32_t field, uint8_t *ratio) {
    static const uint8_t kCodes[] = {0x13, 0x25, 0x49, 0x12, 0x23, 0x11};
    if (field >= sizeof kCodes)
        return false;
    *ratio = kCodes[field];
    return true;
}

uint8_t clockDesc(uint32_t options, int sourceShift, int dutyShift) {
    return static_cast<uint8_t>(((options >> dutyShift) & 0xF) | ((options >> sourceShift) & 3)
                                                                     << 4);
}

// The packed offset of a version-4 field in the unpacked record.
uint32_t unpacked(uint32_t packed) {
    if (packed <= 45)
        return packed;
    if (packed <= 55)
        return packed + 2;
    if (packed <= 65)
        return packed + 3;
    if (packed <= 75)
        return packed + 5;
    return packed + 7;
}

// ---- version-3 family readers ----

bool bit(uint8_t b, int n) {
    return (b >> n & 1) != 0;
}

uint8_t ratio3(uint8_t select, int fullBit, uint8_t flags, int twoThirdsBit) {
    if (bit(select, fullBit))
        return 0x11;
    return bit(flags, twoThirdsBit) ? 0x23 : 0x12;
}

uint32_t addonMB(const BoardHandle *pBoard) {
    return pBoard->ulAddonMemory >> 20;
}

// Byte 44, or 45-47 for 2, 4 or 8 MB of add-on memory.
uint8_t modeClockByte(const BoardHandle *pBoard) {
    const uint8_t *p = pinsOf(pBoard);
    switch (addonMB(pBoard)) {
    case 2:
        return p[45];
    case 4:
        return p[46];
    case 8:
        return p[47];
    default:
        return p[44];
    }
}

void detectAddon(BoardHandle *pBoard, uint32_t maxBytes) {
    uint32_t total = 0;
    HALPDetectMemoryAvail(pBoard, maxBytes, &total);
    if (hsl::failed(pBoard))
        return;
    pBoard->ulAddonMemory = total > pBoard->ulBaseMemory ? total - pBoard->ulBaseMemory : 0;
}

void clearClockRecords(BoardHandle *pBoard) {
    SysClockInfo *records[] = {&pBoard->SysClockVGA, &pBoard->SysClockMode1,
                               &pBoard->SysClockMode2};
    for (SysClockInfo *c : records) {
        c->ulMCTLWTST = pBoard->HSLData.ulMCTLWTST;
        c->ucGraphicClockDesc = c->ucMemoryClockDesc = c->ucWarpClockDesc = 0;
    }
}

void setRatios(SysClockInfo *c, uint8_t graphics, uint8_t memory, uint8_t warp) {
    c->ucGraphicClockDiv = graphics;
    c->ucMemoryClockDiv = memory;
    c->ucWarpClockDiv = warp;
    c->ulSystemPllFreq = pllForRatio(c->ulSystemPllFreq, graphics);
}

} // namespace

extern "C" {

void *memcopy(void *dst, const void *src, uint32_t count) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    for (uint32_t i = 0; i < count; i++)
        d[i] = s[i];
    return dst;
}

uint32_t HSLBIOSReadPins(BoardHandle *pBoard, uint32_t *pVersion) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const RomWindow w = openRom(pBoard, pBoard->HSLData.ulFrameBuffer);
    bool notFound = true;
    if ((romDword(pBoard, 0) & 0xFFFF) == kRomSignature) {
        for (uint32_t at = 0; at < kRomSearchEnd && notFound && !hsl::failed(pBoard); at++) {
            const uint32_t d = romDword(pBoard, at);
            const uint32_t length = (d >> 16) & 0xFF;
            if ((d & 0xFFFF) == kPinsMark && length <= kPinsMaxBytes)
                notFound = !copyBlock(pBoard, at, length);
        }
        if (notFound) {
            const uint32_t old = romDword(pBoard, kRomOldPinsPointer) & 0xFFFF;
            copyBlock(pBoard, old, kOldPinsBytes);
            if (pinsOf(pBoard)[0] == kOldPinsBytes)
                notFound = false;
        }
        *pVersion = 0;
        if (hasSignature(pBoard))
            pcirVersion(pBoard, pVersion);
        if (*pVersion == 0) {
            const uint8_t b = romByte(pBoard, kRomRevisionByte);
            *pVersion = uint32_t(b >> 4) << 16 | (b & 0x0Fu) << 12;
        }
        pBoard->ulBiosOutputMode = romByte(pBoard, kRomOutputMode);
        if (romDword(pBoard, kRomText) == kIbmText && tvOutText(pBoard))
            pBoard->ulBiosOutputMode |= kOutputModeTvOut;
    }
    closeRom(pBoard, w);
    if (notFound)
        ClientGetBiosInfo(pBoard, pBoard->HSLData.aucPInS, pVersion);
    return pBoard->ulErrorCode;
}

// The version alone, with the ROM placed at the frame buffer's configured
// base. Without a signature or "PCIR" the caller's word is left as it was:
// the older revision byte is not trusted from a ROM that fails those checks.
// The ROM is hidden again before the failure is recorded.
uint32_t HSLBIOSGetVersion(BoardHandle *pBoard, uint32_t *pVersion) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t base = readConfig(pBoard, kCfgFrameBuffer) & 0xFF000000u;
    const RomWindow w = openRom(pBoard, base);
    uint32_t version = *pVersion;
    const bool found = hasSignature(pBoard) && pcirVersion(pBoard, &version);
    if (found && version == 0) {
        const uint8_t b = romByte(pBoard, kRomRevisionByte);
        version = uint32_t(b >> 4) << 16 | (b & 0x0Fu) << 12;
    }
    closeRom(pBoard, w);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    if (!found)
        return SetErr(pBoard, HSL_ERR_BIOS_NO_ROM);
    *pVersion = version;
    return pBoard->ulErrorCode;
}

uint32_t HSLPIN30GetBoardInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *p = pinsOf(pBoard);
    HSLData &d = pBoard->HSLData;
    pBoard->ulDVDInfo = p[3] & 0x1Fu;
    pBoard->ulBiosProg = le32(p + 6);
    pBoard->ulProductID = le16(p + 10);
    copySerial(pBoard, p);
    pBoard->ulPCBRev = pcbRevision(p);
    d.ulVCOMax = d.ulSystemVCOMax = limit3(p[36], kVcoDefault);
    d.ulPclkMax8 = limit3(p[37], d.ulVCOMax);
    d.ulPclkMax16 = limit3(p[38], d.ulVCOMax);
    d.ulPclkMax24 = limit3(p[39], d.ulVCOMax);
    d.ulPclkMax32 = limit3(p[40], d.ulVCOMax);
    d.ulMCTLWTST = le32(p + 48) == 0xFFFFFFFFu ? kMctlwtstDefault : le32(p + 48);
    d.ulPLLFreqRef = bit(p[52], 5) ? kRefSlow : kRefFast;
    d.ulVidCtrl = p[53];
    d.ulMemoryConfig = p[54];
    d.ulCRTCEXT6 = p[55] == 0xFF ? kCrtcExt6Default : (p[55] & 7u) | ((p[55] >> 3) & 7u) << 16;
    static const uint32_t kBase[] = {2 * kMB, 4 * kMB, 8 * kMB, 2 * kMB};
    pBoard->ulBaseMemory = kBase[p[55] >> 6];
    d.ulMemRdBk = memReadBack(p[56], p[57]);
    d.ulOption2 = uint32_t(p[58]) << 12;
    d.ucFactoryOpt = p[59];
    pBoard->ulMemoryType = 0;
    return pBoard->ulErrorCode;
}

uint32_t HSLPIN40FillStruc(BoardHandle *pBoard, uint8_t *pRecord) {
    const uint8_t *p = pinsOf(pBoard);
    for (uint32_t i = 0; i < HSL_PINS40_RECORD_BYTES; i++)
        pRecord[i] = 0;
    struct Run {
        uint32_t from, count;
    };
    // Bytes 56, 66, 76 and 93-126 are padding and are not carried.
    static const Run kRuns[] = {{0, 46}, {46, 10}, {57, 9}, {67, 9}, {77, 16}, {127, 1}};
    for (const Run &r : kRuns)
        memcopy(pRecord + unpacked(r.from), p + r.from, r.count);
    return pBoard->ulErrorCode;
}

uint32_t HSLPIN40SetSystemClockInfo(BoardHandle *pBoard, uint32_t clockMHz, uint32_t options,
                                    SysClockInfo *pClock) {
    const uint32_t clock = clockMHz * 1000;
    pClock->ulSystemPllFreq = clock;
    if (dividerCode((options >> 3) & 7, &pClock->ucGraphicClockDiv))
        pClock->ulSystemPllFreq = pllForRatio(clock, pClock->ucGraphicClockDiv);
    pClock->ucGraphicClockDesc = clockDesc(options, 0, 6);
    // Only a graphics clock taken from the system PLL scales the PLL.
    if ((options & 3) != 1)
        pClock->ulSystemPllFreq = clock;
    dividerCode((options >> 13) & 7, &pClock->ucMemoryClockDiv);
    pClock->ucMemoryClockDesc = clockDesc(options, 10, 16);
    dividerCode((options >> 23) & 7, &pClock->ucWarpClockDiv);
    pClock->ucWarpClockDesc = clockDesc(options, 20, 26);
    return pBoard->ulErrorCode;
}

uint32_t HSLPIN40GetBoardInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint8_t r[HSL_PINS40_RECORD_BYTES];
    HSLPIN40FillStruc(pBoard, r);
    auto at = [&r](uint32_t packed) { return r + unpacked(packed); };
    HSLData &d = pBoard->HSLData;
    pBoard->ulProductID = le16(at(10));
    pBoard->ulBiosProg = le32(at(6));
    pBoard->ulPCBRev = pcbRevision(r);
    pBoard->ulDVDInfo = *at(3) & 0x1Fu;
    d.ulVCOMax = limit4(*at(39), kVcoDefault);
    d.ulSystemVCOMax = limit4(*at(38), d.ulVCOMax);
    d.ulPclkMax8 = limit4(*at(40), d.ulVCOMax);
    d.ulPclkMax16 = limit4(*at(41), d.ulPclkMax8);
    d.ulPclkMax24 = limit4(*at(42), d.ulPclkMax16);
    d.ulPclkMax32 = limit4(*at(43), d.ulPclkMax24);
    pBoard->SysClockVGA.ulMCTLWTST = le32(at(61));
    pBoard->SysClockMode1.ulMCTLWTST = le32(at(71));
    pBoard->SysClockMode2.ulMCTLWTST = le32(at(81));
    const uint8_t flags = *at(92);
    pBoard->ulMemoryType = bit(flags, 4) ? 5 : 2;
    d.ulMemRdBk = memReadBack(*at(86), *at(87));
    const uint8_t option = *at(53);
    d.ulOption = uint32_t(bit(option, 7)) << 22 | uint32_t(bit(option, 6)) << 28 |
                 ((option >> 3) & 7u) << 10;
    copySerial(pBoard, r);
    d.ulVidCtrl = *at(90);
    pBoard->ulBaseMemory = (4 * kMB) << ((flags >> 2) & 3);
    d.ulPLLFreqRef = bit(flags, 0) ? kRefSlow : kRefFast;
    d.ucFactoryOpt = *at(91);
    HSLPIN40SetSystemClockInfo(pBoard, *at(55), le32(at(57)), &pBoard->SysClockVGA);
    HSLPIN40SetSystemClockInfo(pBoard, *at(65), le32(at(67)), &pBoard->SysClockMode1);
    HSLPIN40SetSystemClockInfo(pBoard, *at(75), le32(at(77)), &pBoard->SysClockMode2);
    return pBoard->ulErrorCode;
}

uint32_t HSLECLGetPInSInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    HSLBIOSReadPins(pBoard, &pBoard->ulBiosVersion);
    HSLPIN30GetBoardInfo(pBoard);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *p = pinsOf(pBoard);
    if (bit(p[52], 4))
        pBoard->ulMemoryType = bit(p[52], 6) ? 6 : 5;
    else
        pBoard->ulMemoryType = (p[54] & 7) <= 1 ? 1 : 2;
    uint32_t status = 0;
    ClientReadRegisterDword(pBoard, kStatus, &status);
    if (!hsl::failed(pBoard) && (status & 0x80000000u) == 0)
        HSLECLSGRAMInit(pBoard);
    detectAddon(pBoard, 0x1000000);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    clearClockRecords(pBoard);
    uint8_t mode = modeClockByte(pBoard);
    if (mode == 0xFF)
        mode = p[44];
    const uint8_t vga = p[43] == 0xFF ? mode : p[43];
    pBoard->SysClockMode1.ulSystemPllFreq = mode * 1000u;
    pBoard->SysClockVGA.ulSystemPllFreq = vga * 1000u;
    const uint8_t graphics = ratio3(p[58], 2, p[52], 0), memory = ratio3(p[58], 3, p[52], 1),
                  warp = ratio3(p[58], 4, p[52], 5);
    setRatios(&pBoard->SysClockMode1, graphics, memory, warp);
    setRatios(&pBoard->SysClockVGA, graphics, memory, warp);
    SysClockInfo &second = pBoard->SysClockMode2;
    if (p[60] == 0xFF) {
        memcopy(&second, &pBoard->SysClockMode1, sizeof second);
        return pBoard->ulErrorCode;
    }
    // The add-on thresholds compare the byte count as it stands.
    uint32_t clock = p[60] * 1000u;
    if (pBoard->ulAddonMemory >= 800000)
        clock -= (15u - (p[62] >> 4)) * 2000;
    else if (pBoard->ulAddonMemory >= 400000)
        clock -= (15u - (p[62] != 0 ? 1 : 0)) * 2000;
    second.ulSystemPllFreq = clock;
    setRatios(&second, ratio3(p[61], 2, p[61], 7), ratio3(p[61], 3, p[61], 6),
              ratio3(p[61], 4, p[61], 5));
    return pBoard->ulErrorCode;
}

// Twister's memory divider takes 1/2 or 1/3 only: a board that asks for the
// other memory ratio (byte 52 bit 1) gets 1/3, never a code the clock
// programming would refuse.
uint32_t HSLTWIGetPInSInfo(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    HSLBIOSReadPins(pBoard, &pBoard->ulBiosVersion);
    HSLPIN30GetBoardInfo(pBoard);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint8_t *p = pinsOf(pBoard);
    static const uint32_t kTypes[] = {1, 3, 0, 0, 2, 4};
    pBoard->ulMemoryType = bit(p[52], 4) ? 5 : kTypes[p[54] & 5];
    const uint32_t option = readConfig(pBoard, kCfgOption);
    if (!hsl::failed(pBoard) && (option & 3) == 0)
        HSLTWISGRAMInit(pBoard);
    detectAddon(pBoard, 0x1000000);
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    clearClockRecords(pBoard);
    const uint32_t mode = modeClockByte(pBoard) == 0xFF ? 60 : p[44];
    const uint32_t vga = p[43] == 0xFF ? mode : p[43];
    pBoard->SysClockMode1.ulSystemPllFreq = mode * 1000;
    pBoard->SysClockVGA.ulSystemPllFreq = vga * 1000;
    const uint8_t graphics = bit(p[52], 0) ? 0x13 : 0x12;
    const uint8_t memory = bit(p[52], 1) ? 0x13 : 0x12;
    const uint8_t warp = bit(p[52], 2) ? 0x12 : 0x11;
    setRatios(&pBoard->SysClockMode1, graphics, memory, warp);
    setRatios(&pBoard->SysClockVGA, graphics, memory, warp);
    memcopy(&pBoard->SysClockMode2, &pBoard->SysClockMode1, sizeof(SysClockInfo));
    return pBoard->ulErrorCode;
}

} // extern "C"
