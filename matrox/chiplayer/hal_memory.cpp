// How much video memory the board carries, and the memory controller's
// read-back delay: the delays that read a pseudo-random fill back intact
// are found, and one well inside them is kept.
#include "hal_error.h"
#include "hsl.h"
#include "hsl_regs.h"

namespace {

using namespace hsl;

// Memory comes in steps of 2 MB on these boards.
constexpr uint32_t kProbeStep = 0x200000;
constexpr uint32_t kProbeMark = 0x5AC30000u;
constexpr uint32_t kProbeScratch = 0x10;
constexpr uint32_t kDelayMask = 0xF | 0xF << 5;
constexpr uint8_t kUntried = 0xFF;
constexpr uint8_t kScreenOff = 0x20, kSyncsOff = 0x30, kHiresMode = 0x80;

uint32_t memoryDword(BoardHandle *pBoard, uint32_t offset) {
    uint32_t v = 0;
    ClientReadMemoryDword(pBoard, offset, &v);
    return v;
}

uint32_t blocksOf(const BoardHandle *pBoard, uint32_t blockBytes) {
    return (pBoard->ulBaseMemory + pBoard->ulAddonMemory) / blockBytes;
}

uint8_t tryDelay(BoardHandle *pBoard, uint32_t delay, uint32_t checksum, uint8_t *results) {
    HALPSetMemoryReadBackValue(pBoard, delay);
    HALPReadBackMemory(pBoard, HAL_MEMORY_TEST_BYTES, HAL_MEMORY_BLOCK_BYTES, checksum,
                       &results[delay]);
    return results[delay];
}

struct Range {
    uint32_t first, last;
};

// Narrows the boundary between the good and the bad end of the delays;
// `goodLow` tells which end is good.
Range bisect(BoardHandle *pBoard, uint32_t checksum, uint8_t *results, bool goodLow) {
    uint32_t lo = 0, hi = 15;
    while (hi - lo > 1 && !hsl::failed(pBoard)) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (results[mid] == kUntried)
            tryDelay(pBoard, mid, checksum, results);
        const bool good = results[mid] == 1;
        if (good == goodLow)
            lo = mid;
        else
            hi = mid;
    }
    return goodLow ? Range{0, lo} : Range{hi, 15};
}

uint32_t chooseDelay(const BoardHandle *pBoard, Range r) {
    if (r.last == 0)
        return pBoard->HSLData.ulMemRdBk & 0x0F;
    if (r.first == 0)
        return r.last == 15 ? 8 : r.last / 3;
    if (r.last == 15)
        return r.first + (2 * (15 - r.first) + 1) / 3;
    return (r.first + r.last + 1) / 2;
}

} // namespace

extern "C" {

uint32_t Random(uint32_t a) {
    const uint32_t rotated = a >> 1 | a << 31;
    return a + (a ^ rotated);
}

// Probes the first word of each 2 MB step upwards. An address past the
// installed memory may answer with whatever the bus last carried, so before
// a step is read back a second location is written and read with another
// value; the first step is read again as well, so that memory that wraps
// around onto it is not counted twice.
uint32_t HALPDetectMemoryAvail(BoardHandle *pBoard, uint32_t maxBytes, uint32_t *pBytes) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t found = 0;
    for (uint32_t at = 0; at < maxBytes && !hsl::failed(pBoard); at += kProbeStep) {
        const uint32_t mark = kProbeMark | at >> 20;
        ClientWriteMemoryDword(pBoard, at, mark);
        ClientWriteMemoryDword(pBoard, kProbeScratch, ~mark);
        const bool scratchHolds = memoryDword(pBoard, kProbeScratch) == ~mark;
        const bool holds = memoryDword(pBoard, at) == mark;
        const bool firstKept = memoryDword(pBoard, 0) == kProbeMark;
        if (!scratchHolds || !holds || !firstKept)
            break;
        found = at + kProbeStep;
    }
    if (!hsl::failed(pBoard))
        *pBytes = found;
    return pBoard->ulErrorCode;
}

uint32_t HALPFillMemory(BoardHandle *pBoard, uint32_t areaBytes, uint32_t blockBytes,
                        uint32_t *pChecksum) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t blocks = blocksOf(pBoard, blockBytes);
    uint32_t sum = 0;
    for (uint32_t b = 0; b < blocks; b++) {
        const uint32_t area = b * blockBytes + blockBytes - areaBytes;
        uint32_t x = HAL_MEMORY_SEED;
        sum = 0;
        for (uint32_t i = 0; i < areaBytes; i += 4) {
            x = Random(x);
            ClientWriteMemoryDword(pBoard, area + i, x);
            sum += x;
        }
    }
    *pChecksum = sum;
    return pBoard->ulErrorCode;
}

uint32_t HALPReadBackMemory(BoardHandle *pBoard, uint32_t areaBytes, uint32_t blockBytes,
                            uint32_t checksum, uint8_t *pResult) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    const uint32_t blocks = blocksOf(pBoard, blockBytes);
    *pResult = 1;
    for (uint32_t b = 0; b < blocks && *pResult == 1; b++) {
        const uint32_t area = b * blockBytes + blockBytes - areaBytes;
        uint32_t sum = 0;
        for (uint32_t i = 0; i < areaBytes; i += 4)
            sum += memoryDword(pBoard, area + i);
        if (sum != checksum)
            *pResult = 0;
    }
    return pBoard->ulErrorCode;
}

uint32_t HALPSetMemoryReadBackValue(BoardHandle *pBoard, uint32_t delay) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t v = 0;
    ClientReadRegisterDword(pBoard, kMemReadBack, &v);
    v = (v & ~kDelayMask) | (delay & 0xF) | (delay & 0xF) << 5;
    ClientWriteRegisterDword(pBoard, kMemReadBack, v);
    return pBoard->ulErrorCode;
}

uint32_t HALPDetectMemoryReadBackValue(BoardHandle *pBoard) {
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    // The test areas are shown on no screen while they are written.
    const uint8_t ext3 = readExt(pBoard, 3);
    const bool vgaMode = (ext3 & kHiresMode) == 0;
    uint8_t seq1 = 0, ext1 = 0;
    if (vgaMode) {
        seq1 = readSeq(pBoard, 1);
        writeSeq(pBoard, 1, seq1 | kScreenOff);
        ext1 = readExt(pBoard, 1);
        writeExt(pBoard, 1, ext1 | kSyncsOff);
        writeExt(pBoard, 3, ext3 | kHiresMode);
    }
    uint32_t checksum = 0;
    HALPFillMemory(pBoard, HAL_MEMORY_TEST_BYTES, HAL_MEMORY_BLOCK_BYTES, &checksum);
    uint8_t results[16];
    for (uint8_t &r : results)
        r = kUntried;
    const bool lowGood = tryDelay(pBoard, 0, checksum, results) == 1;
    const bool highGood = tryDelay(pBoard, 15, checksum, results) == 1;
    Range range{0, 15};
    if (lowGood && !highGood) {
        range = bisect(pBoard, checksum, results, true);
    } else if (highGood && !lowGood) {
        range = bisect(pBoard, checksum, results, false);
    } else if (!lowGood && !highGood) {
        range = {0, 0};
        bool any = false;
        for (uint32_t d = 1; d <= 14; d++) {
            if (tryDelay(pBoard, d, checksum, results) != 1)
                continue;
            if (!any)
                range.first = d;
            range.last = d;
            any = true;
        }
    }
    const uint32_t delay = chooseDelay(pBoard, range);
    if (vgaMode) {
        writeExt(pBoard, 3, ext3);
        writeExt(pBoard, 1, ext1);
        writeSeq(pBoard, 1, seq1);
    }
    if (hsl::failed(pBoard))
        return pBoard->ulErrorCode;
    uint32_t &rdbk = pBoard->HSLData.ulMemRdBk;
    rdbk = (rdbk & ~kDelayMask) | delay | delay << 5;
    ClientWriteRegisterDword(pBoard, kMemReadBack, rdbk);
    return pBoard->ulErrorCode;
}

} // extern "C"
