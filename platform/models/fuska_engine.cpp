// The fuska 2D engine model; the choices it makes where the register
// description is open are listed in fuska_engine.h.
#include "models/fuska_engine.h"

#include <cstdio>

namespace sim {

namespace {

void fail(const std::string &why) {
    Machine::current().fail("fuska engine: " + why);
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

struct RegInfo {
    uint32_t offset;
    int width;
    bool queued; // taken while the engine is busy
};

constexpr RegInfo kRegs[] = {
    {fuskareg::EngineTiling, 2, false}, {fuskareg::Status, 2, false},
    {fuskareg::PixelSize, 2, false},    {fuskareg::TilesPerLine, 1, false},
    {fuskareg::Destination, 4, true},   {fuskareg::PatternOffset, 2, false},
    {fuskareg::Source, 4, true},        {fuskareg::MonoSource, 4, true},
    {fuskareg::MonoSource2, 4, true},   {fuskareg::DrawDefinition, 4, false},
    {fuskareg::Foreground, 4, false},   {fuskareg::Background, 4, false},
    {fuskareg::PlaneMask, 4, false},    {fuskareg::Extent, 4, true},
};

const RegInfo *regAt(uint32_t offset) {
    for (const RegInfo &r : kRegs)
        if (r.offset == offset)
            return &r;
    return nullptr;
}

uint32_t *field(FuskaEngineRegs &r, uint32_t offset, int *width) {
    static uint32_t scratch;
    *width = 4;
    switch (offset) {
    case fuskareg::Destination:
        return &r.destination;
    case fuskareg::Source:
        return &r.source;
    case fuskareg::MonoSource:
        return &r.monoSource;
    case fuskareg::MonoSource2:
        return &r.monoSource2;
    case fuskareg::DrawDefinition:
        return &r.drawDefinition;
    case fuskareg::Foreground:
        return &r.foreground;
    case fuskareg::Background:
        return &r.background;
    case fuskareg::PlaneMask:
        return &r.planeMask;
    case fuskareg::Extent:
        return &r.extent;
    default:
        return &scratch;
    }
}

// ROP3 on whole words, with the source as both S and P.
uint32_t rop3(uint8_t code, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int idx = 0; idx < 8; idx++) {
        if (!(code & (1u << idx)))
            continue;
        uint32_t p = (idx & 4) ? s : ~s;
        uint32_t sv = (idx & 2) ? s : ~s;
        uint32_t dv = (idx & 1) ? d : ~d;
        r |= p & sv & dv;
    }
    return r;
}

// The lane of a 32-bit register that a pixel at byte address `addr` takes.
uint32_t lane(uint32_t reg, uint32_t addr, int pixelBytes) {
    switch (pixelBytes) {
    case 1:
        return (reg >> (8 * (addr & 3))) & 0xFF;
    case 2:
        return (reg >> (8 * (addr & 2))) & 0xFFFF;
    default:
        return reg & 0xFFFFFF;
    }
}

uint32_t loadPixel(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void storePixel(uint8_t *p, int n, uint32_t v) {
    for (int i = 0; i < n; i++)
        p[i] = uint8_t(v >> (8 * i));
}

bool decodeKind(uint32_t dd, FuskaOpKind &kind) {
    switch (dd & 0x7FFFFF00u) {
    case fuskadd::Copy:
        kind = FuskaOpKind::Copy;
        return true;
    case fuskadd::Fill:
        kind = FuskaOpKind::Fill;
        return true;
    case fuskadd::ExpandTransparent:
        kind = FuskaOpKind::ExpandTransparent;
        return true;
    case fuskadd::ExpandOpaque:
        kind = FuskaOpKind::ExpandOpaque;
        return true;
    case fuskadd::Pattern:
        kind = FuskaOpKind::Pattern;
        return true;
    default:
        return false;
    }
}

constexpr uint32_t kPatternRowWrap = 128;

} // namespace

const char *fuskaOpKindName(FuskaOpKind k) {
    switch (k) {
    case FuskaOpKind::Copy:
        return "copy";
    case FuskaOpKind::Fill:
        return "fill";
    case FuskaOpKind::ExpandTransparent:
        return "transparent expansion";
    case FuskaOpKind::ExpandOpaque:
        return "opaque expansion";
    case FuskaOpKind::Pattern:
        return "pattern fill";
    }
    return "?";
}

FuskaEngine::FuskaEngine(VideoMemory &vram, int busyReads)
    : vram_(vram), busyReads_(busyReads < 0 ? 0 : busyReads) {}

bool FuskaEngine::owns(uint32_t offset) {
    return regAt(offset) != nullptr;
}

void FuskaEngine::setBusyReads(int reads) {
    busyReads_ = reads < 0 ? 0 : reads;
}

void FuskaEngine::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    Machine::current().guardVideoMemory(vram_, on);
}

void FuskaEngine::drain() {
    running_ = false;
    busyLeft_ = 0;
    setGuard(false);
}

uint32_t FuskaEngine::read(uint32_t offset, int width) {
    const RegInfo *r = regAt(offset);
    if (!r || r->width != width) {
        fail(std::to_string(8 * width) + "-bit read at " + hex(offset) +
             " is not a register access");
        return 0;
    }
    if (offset == fuskareg::Status) {
        if (!running_)
            return 0;
        uint32_t status = 0x1;
        if (busyLeft_ > busyReads_)
            status |= 0x2;
        if (--busyLeft_ <= 0) {
            running_ = false;
            setGuard(false);
        }
        return status;
    }
    switch (offset) {
    case fuskareg::EngineTiling:
        return regs_.engineTiling;
    case fuskareg::PixelSize:
        return regs_.pixelSize;
    case fuskareg::TilesPerLine:
        return regs_.tilesPerLine;
    case fuskareg::PatternOffset:
        return regs_.patternOffset;
    default: {
        int w;
        return *field(regs_, offset, &w);
    }
    }
}

void FuskaEngine::write(uint32_t offset, int width, uint32_t value) {
    const RegInfo *r = regAt(offset);
    if (!r || r->width != width || offset == fuskareg::Status) {
        fail(std::to_string(8 * width) + "-bit write of " + hex(value) + " at " + hex(offset) +
             " is not a register access");
        return;
    }
    if (!r->queued && running_) {
        fail("write of " + hex(value) + " at " + hex(offset) + " while the engine is busy");
        return;
    }
    switch (offset) {
    case fuskareg::EngineTiling:
        regs_.engineTiling = uint16_t(value);
        return;
    case fuskareg::PixelSize:
        regs_.pixelSize = uint16_t(value);
        return;
    case fuskareg::TilesPerLine:
        regs_.tilesPerLine = uint8_t(value);
        return;
    case fuskareg::PatternOffset:
        regs_.patternOffset = uint16_t(value);
        return;
    default: {
        int w;
        *field(regs_, offset, &w) = value;
    }
    }
    if (offset == fuskareg::Extent)
        start();
}

void FuskaEngine::start() {
    FuskaOp op{};
    const uint32_t dd = regs_.drawDefinition;
    if (!decodeKind(dd, op.kind)) {
        fail("start with unknown draw definition " + hex(dd));
        return;
    }
    // Only copies queue; see the header.
    if (running_ && op.kind != FuskaOpKind::Copy) {
        fail("start of a " + std::string(fuskaOpKindName(op.kind)) + " while the engine is busy");
        return;
    }
    op.bottomUp = (dd & fuskadd::BottomUp) != 0;
    op.rop = uint8_t(dd);
    if (op.bottomUp && op.kind != FuskaOpKind::Copy) {
        fail("bottom-up flag on a " + std::string(fuskaOpKindName(op.kind)));
        return;
    }
    if ((regs_.pixelSize & ~0x6000u) != 0 || (regs_.pixelSize >> 13) > 2) {
        fail("start with pixel size register " + hex(regs_.pixelSize));
        return;
    }
    op.pixelBytes = (regs_.pixelSize >> 13) + 1;
    if (regs_.tilesPerLine == 0) {
        fail("start without tiles per line");
        return;
    }
    if (regs_.engineTiling != ((uint32_t(regs_.tilesPerLine) << 8) | 0x80)) {
        fail("engine tiling control " + hex(regs_.engineTiling) + " disagrees with " +
             std::to_string(regs_.tilesPerLine) + " tiles per line");
        return;
    }
    op.dstX = int(regs_.destination & 0xFFFF);
    op.dstY = int(regs_.destination >> 16);
    op.width = int(regs_.extent & 0xFFFF);
    op.height = int(regs_.extent >> 16);
    const uint32_t src = op.kind == FuskaOpKind::Copy ? regs_.source : regs_.monoSource;
    op.srcX = int(src & 0xFFFF);
    op.srcY = int(src >> 16);
    op.regs = regs_;
    if (!run(op))
        return;
    starts_++;
    log_.push_back(op);
    if (busyReads_ == 0)
        return;
    running_ = true;
    busyLeft_ += busyReads_;
    setGuard(true);
}

namespace {

// Checks that rows [top, top + h) of `w` pixels from column x lie in video
// memory and within a line; reports `what` otherwise.
bool inMemory(const char *what, int x, int top, int w, int h, int pixelBytes, uint32_t pitch,
              size_t size) {
    if (w == 0 || h == 0)
        return true;
    if (top < 0) {
        fail(std::string(what) + " starts above line 0");
        return false;
    }
    if (uint64_t(x + w) * uint64_t(pixelBytes) > pitch) {
        fail(std::string(what) + " columns " + std::to_string(x) + " to " +
             std::to_string(x + w - 1) + " reach beyond a line of " + std::to_string(pitch) +
             " bytes");
        return false;
    }
    uint64_t end = uint64_t(top + h - 1) * pitch + uint64_t(x + w) * uint64_t(pixelBytes);
    if (end > size) {
        fail(std::string(what) + " reaches beyond video memory");
        return false;
    }
    return true;
}

} // namespace

// Whether a fill with `rop` and the plane mask writes every bit of every
// pixel with a value the destination does not enter: the source feeds both
// the pattern and the source operand, so the code's bits for a pattern
// unlike the source never count, and the two that remain for each source
// bit must agree.
bool FuskaEngine::fillLeavesDestination(uint8_t rop, int n) const {
    const bool unread = ((rop >> 7) & 1) == ((rop >> 6) & 1) && (rop & 1) == ((rop >> 1) & 1);
    const uint32_t whole = n == 4 ? ~0u : (1u << (8 * n)) - 1;
    for (uint32_t k = 0; k < 4; k++)
        if ((lane(regs_.planeMask, k, n) & whole) != whole)
            return false;
    return unread;
}

// Such a fill: each pixel takes the value of its colour lane, which the
// byte address picks (two low bits at most).
void FuskaEngine::fillRows(const FuskaOp &op, uint32_t pitch, uint8_t *mem) {
    const int n = op.pixelBytes;
    uint32_t values[4];
    for (uint32_t k = 0; k < 4; k++)
        values[k] = rop3(op.rop, lane(regs_.background, k, n), 0);
    for (int r = 0; r < op.height; r++) {
        const uint32_t row = uint32_t(op.dstY + r) * pitch;
        for (int i = 0; i < op.width; i++) {
            const uint32_t daddr = row + uint32_t(op.dstX + i) * uint32_t(n);
            storePixel(mem + daddr, n, values[daddr & 3]);
        }
    }
}

bool FuskaEngine::run(FuskaOp &op) {
    const uint32_t pitch = this->pitch();
    const size_t size = vram_.size();
    const int n = op.pixelBytes;
    const int w = op.width, h = op.height;
    const int dstTop = op.bottomUp ? op.dstY - h + 1 : op.dstY;
    if (!inMemory("destination", op.dstX, dstTop, w, h, n, pitch, size))
        return false;
    uint8_t *mem = vram_.data();

    if (op.kind == FuskaOpKind::Copy) {
        const int srcTop = op.bottomUp ? op.srcY - h + 1 : op.srcY;
        if (!inMemory("source", op.srcX, srcTop, w, h, n, pitch, size))
            return false;
    } else if (op.kind == FuskaOpKind::ExpandOpaque || op.kind == FuskaOpKind::ExpandTransparent) {
        if (regs_.monoSource2 != regs_.monoSource) {
            fail("second monochrome source " + hex(regs_.monoSource2) + " differs from " +
                 hex(regs_.monoSource));
            return false;
        }
        uint64_t lastBit = uint64_t(op.srcX) + uint64_t(w);
        uint64_t end = uint64_t(op.srcY + h - 1) * pitch + (lastBit + 7) / 8;
        if (w != 0 && h != 0 && ((lastBit + 7) / 8 > pitch || end > size)) {
            fail("monochrome source reaches beyond its lines or video memory");
            return false;
        }
    } else if (op.kind == FuskaOpKind::Pattern) {
        uint32_t rowBytes = n == 3 ? 32 : 8u * uint32_t(n);
        uint32_t cellBytes = 8 * rowBytes;
        uint32_t lines = (cellBytes + kPatternRowWrap - 1) / kPatternRowWrap;
        uint64_t end = uint64_t(op.srcY + lines - 1) * pitch + uint64_t(op.srcX) +
                       (cellBytes < kPatternRowWrap ? cellBytes : kPatternRowWrap);
        if (uint64_t(op.srcX) + kPatternRowWrap > pitch || end > size) {
            fail("pattern cell reaches beyond its lines or video memory");
            return false;
        }
    }

    if (op.kind == FuskaOpKind::Fill && fillLeavesDestination(op.rop, n)) {
        fillRows(op, pitch, mem);
        return true;
    }

    for (int r = 0; r < h; r++) {
        const int dy = op.bottomUp ? op.dstY - r : op.dstY + r;
        for (int i = 0; i < w; i++) {
            const int dx = op.dstX + i;
            const uint32_t daddr = uint32_t(dy) * pitch + uint32_t(dx) * uint32_t(n);
            uint32_t s = 0;
            switch (op.kind) {
            case FuskaOpKind::Copy: {
                const int sy = op.bottomUp ? op.srcY - r : op.srcY + r;
                s = loadPixel(mem + uint32_t(sy) * pitch + uint32_t(op.srcX + i) * uint32_t(n), n);
                break;
            }
            case FuskaOpKind::Fill:
                s = lane(regs_.background, daddr, n);
                break;
            case FuskaOpKind::ExpandTransparent:
            case FuskaOpKind::ExpandOpaque: {
                const uint32_t bit = uint32_t(op.srcX + i);
                const uint8_t byte = mem[uint32_t(op.srcY + r) * pitch + bit / 8];
                const bool set = (byte >> (bit & 7)) & 1;
                if (!set && op.kind == FuskaOpKind::ExpandTransparent)
                    continue;
                s = lane(set ? regs_.foreground : regs_.background, daddr, n);
                break;
            }
            case FuskaOpKind::Pattern: {
                const uint32_t rowBytes = n == 3 ? 32 : 8u * uint32_t(n);
                const uint32_t row = uint32_t(dy) & 7;
                const uint32_t col = uint32_t(dx - regs_.patternOffset) & 7;
                const uint32_t o = row * rowBytes + col * uint32_t(n);
                const uint32_t at = uint32_t(op.srcY) * pitch + uint32_t(op.srcX) +
                                    (o / kPatternRowWrap) * pitch + o % kPatternRowWrap;
                s = loadPixel(mem + at, n);
                break;
            }
            }
            uint8_t *dp = mem + daddr;
            const uint32_t d = loadPixel(dp, n);
            const uint32_t m = lane(regs_.planeMask, daddr, n);
            storePixel(dp, n, (d & ~m) | (rop3(op.rop, s, d) & m));
        }
    }
    return true;
}

} // namespace sim
