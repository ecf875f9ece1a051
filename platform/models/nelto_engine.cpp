// The nelto 2D engine model; the choices it makes where the register
// description is open are listed in nelto_engine.h.
#include "models/nelto_engine.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

void fail(const std::string &why) {
    Machine::current().fail("nelto engine: " + why);
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

uint32_t *field(NeltoEngineRegs &r, uint32_t offset) {
    switch (offset) {
    case neltoreg::SrcBase:
        return &r.srcBase;
    case neltoreg::DstBase:
        return &r.dstBase;
    case neltoreg::ClipX:
        return &r.clipX;
    case neltoreg::ClipY:
        return &r.clipY;
    case neltoreg::Strides:
        return &r.strides;
    case neltoreg::MonoPattern0:
        return &r.monoPattern0;
    case neltoreg::MonoPattern1:
        return &r.monoPattern1;
    case neltoreg::PatternBg:
        return &r.patternBg;
    case neltoreg::PatternFg:
        return &r.patternFg;
    case neltoreg::SourceBg:
        return &r.sourceBg;
    case neltoreg::SourceFg:
        return &r.sourceFg;
    case neltoreg::Command:
        return &r.command;
    case neltoreg::Size:
        return &r.size;
    case neltoreg::Source:
        return &r.source;
    case neltoreg::Destination:
        return &r.destination;
    case neltoreg::SrcBase2:
        return &r.srcBase2;
    case neltoreg::DstBase2:
        return &r.dstBase2;
    case neltoreg::Strides2:
        return &r.strides2;
    case neltoreg::PatternBg3:
        return &r.patternBg3;
    case neltoreg::PatternFg3:
        return &r.patternFg3;
    default:
        return nullptr;
    }
}

// ROP3 on whole words: bit (P << 2 | S << 1 | D) of the code.
uint32_t rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int idx = 0; idx < 8; idx++) {
        if (!(code & (1u << idx)))
            continue;
        r |= ((idx & 4) ? p : ~p) & ((idx & 2) ? s : ~s) & ((idx & 1) ? d : ~d);
    }
    return r;
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

uint32_t pixelMask(int n) {
    return n >= 4 ? ~0u : (1u << (8 * n)) - 1;
}

int xOf(uint32_t v) {
    return int(v >> 16);
}
int yOf(uint32_t v) {
    return int(v & 0xFFFF);
}

bool hostSource(uint32_t cmd) {
    return (cmd & neltocmd::HostSource) != 0;
}
bool monoSource(uint32_t cmd) {
    return (cmd & neltocmd::MonoSource) != 0;
}

// Bytes of one host data row, padded to 32-bit words.
uint32_t hostRowBytes(const NeltoOp &op) {
    uint32_t bytes = monoSource(op.command) ? uint32_t(op.width + 7) / 8
                                            : uint32_t(op.width) * uint32_t(op.pixelBytes);
    return (bytes + 3) / 4 * 4;
}

// The first and last column (or row) a command covers from corner `at`.
void span(int at, int count, bool positive, int &lo, int &hi) {
    lo = positive ? at : at - count + 1;
    hi = positive ? at + count - 1 : at;
}

// Rows [top, bottom] and columns [left, right] from `base` with `stride`
// bytes a row must lie in video memory.
bool inMemory(const char *what, uint32_t base, uint32_t stride, int left, int right, int top,
              int bottom, int n, size_t size) {
    if (left > right || top > bottom)
        return true;
    if (left < 0 || top < 0) {
        fail(std::string(what) + " reaches left of column 0 or above row 0");
        return false;
    }
    uint64_t first = uint64_t(base) + uint64_t(top) * stride + uint64_t(left) * uint64_t(n);
    uint64_t end = uint64_t(base) + uint64_t(bottom) * stride + uint64_t(right + 1) * uint64_t(n);
    if (end > size || first >= size) {
        fail(std::string(what) + " rows " + std::to_string(top) + " to " + std::to_string(bottom) +
             ", columns " + std::to_string(left) + " to " + std::to_string(right) +
             " reach beyond video memory");
        return false;
    }
    return true;
}

} // namespace

NeltoEngine::NeltoEngine(VideoMemory &vram, Machine &m, Start start)
    : vram_(vram), machine_(m), start_(start), running_(start == Start::Running) {}

void NeltoEngine::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    machine_.guardVideoMemory(vram_, on);
}

void NeltoEngine::dropOwed(const std::string &why) {
    fail(why + " while " + std::to_string(owed_) + " host data words of command " +
         hex(pending_.command) + " are owed; the command is dropped");
    owed_ = 0;
    words_.clear();
    finish();
}

void NeltoEngine::drain() {
    if (owed_ > 0)
        dropOwed("the engine was drained");
    busyLeft_ = 0;
    queued_ = 0;
    if (!hung_)
        setGuard(false);
}

bool NeltoEngine::pollStart() {
    if (running_)
        return true;
    if (start_ == Start::Never || resetStage_ != 3)
        return false;
    if (machine_.nowMicros() - resetAt_ < kStartMicros)
        return false;
    running_ = true;
    resetStage_ = 0;
    return true;
}

uint32_t NeltoEngine::read(uint32_t offset, int width) {
    if (width != 4 || offset != neltoreg::Status) {
        uint32_t *f = width == 4 ? field(regs_, offset) : nullptr;
        if (!f) {
            fail(std::to_string(8 * width) + "-bit read at " + hex(offset) +
                 " is not a register access");
            return 0;
        }
        return *f;
    }
    if (owed_ > 0)
        dropOwed("status read");
    if (!pollStart() || hung_)
        return 0;
    if (busyLeft_ > 0) {
        if (queued_ > 0)
            queued_--;
        if (--busyLeft_ == 0) {
            queued_ = 0;
            setGuard(false);
        }
        return 0;
    }
    return neltoreg::kIdle;
}

void NeltoEngine::write(uint32_t offset, int width, uint32_t value) {
    if (width != 4) {
        fail(std::to_string(8 * width) + "-bit write of " + hex(value) + " at " + hex(offset) +
             " is not a register access");
        return;
    }
    if (offset < neltoreg::HostDataEnd) {
        if (owed_ == 0) {
            fail("host data word " + hex(value) + " with none owed");
            return;
        }
        words_.push_back(value);
        if (--owed_ == 0) {
            pending_.hostWords = uint32_t(words_.size());
            if (run(pending_))
                log_.push_back(pending_);
            words_.clear();
            finish();
        }
        return;
    }
    if (owed_ > 0)
        dropOwed("register write of " + hex(value) + " at " + hex(offset));
    if (offset == neltoreg::Status) {
        if (value == neltoreg::kResetHold) {
            resetStage_ = 1;
            running_ = false;
            hung_ = false;
            busyLeft_ = 0;
            queued_ = 0;
            setGuard(false);
        } else if (value == neltoreg::kResetRelease && resetStage_ == 1) {
            resetStage_ = 2;
        }
        return;
    }
    uint32_t *f = field(regs_, offset);
    if (!f) {
        fail("write of " + hex(value) + " at " + hex(offset) + " is not a register access");
        return;
    }
    if (busyLeft_ > 0) {
        if (queued_ == kQueueEntries)
            fail("register write of " + hex(value) + " at " + hex(offset) +
                 " with the command queue full (" + std::to_string(kQueueEntries) + " entries)");
        else
            queued_++;
    }
    *f = value;
    if (offset == neltoreg::Command)
        command();
    else if (offset == neltoreg::Destination && (regs_.command & neltocmd::AutoExecute)) {
        NeltoOp op{};
        begin(op);
    }
}

void NeltoEngine::command() {
    const uint32_t cmd = regs_.command;
    const uint32_t type = (cmd >> neltocmd::TypeShift) & neltocmd::TypeMask;
    if (!running_) {
        if (resetStage_ == 2) {
            resetStage_ = 3;
            resetAt_ = machine_.nowMicros();
            resetsTried_++;
        }
        return;
    }
    if (start_ == Start::Hangs) {
        hung_ = true;
        setGuard(true);
        return;
    }
    if (!(cmd & neltocmd::AutoExecute) || type == neltocmd::TypeNop) {
        NeltoOp op{};
        begin(op);
    }
}

// Decodes the command with the rectangle registers as they are now and
// runs it, or waits for its host data.
void NeltoEngine::begin(NeltoOp &op) {
    const uint32_t cmd = regs_.command;
    op.command = cmd;
    op.type = (cmd >> neltocmd::TypeShift) & neltocmd::TypeMask;
    op.rop = uint8_t(cmd >> neltocmd::RopShift);
    op.regs = regs_;
    if (op.type == neltocmd::TypeNop) {
        log_.push_back(op);
        return;
    }
    if (!running_) {
        fail("command " + hex(cmd) + " started while the engine is stopped");
        return;
    }
    if (op.type != neltocmd::TypeBlit && op.type != neltocmd::TypeFill) {
        fail("command " + hex(cmd) + " has type " + std::to_string(op.type) +
             ", which is no blit, fill or no-op");
        return;
    }
    const uint32_t format = (cmd & neltocmd::FormatMask) >> neltocmd::FormatShift;
    if (format > 2) {
        fail("command " + hex(cmd) + " has destination format " + std::to_string(format) +
             ", which is no pixel size");
        return;
    }
    op.pixelBytes = int(format) + 1;
    op.width = xOf(regs_.size) + 1;
    op.height = yOf(regs_.size);
    op.dstX = xOf(regs_.destination);
    op.dstY = yOf(regs_.destination);
    op.srcX = xOf(regs_.source);
    op.srcY = yOf(regs_.source);
    if (op.type == neltocmd::TypeBlit && hostSource(cmd)) {
        if ((cmd & neltocmd::AlignMask) != neltocmd::AlignDword) {
            fail("command " + hex(cmd) + " takes host data aligned otherwise than to words");
            return;
        }
        owed_ = hostRowBytes(op) / 4 * uint32_t(op.height);
        pending_ = op;
        words_.clear();
        words_.reserve(owed_);
        if (owed_ > 0) {
            busyLeft_ += 1;
            setGuard(true);
            return;
        }
    } else if (op.type == neltocmd::TypeBlit && monoSource(cmd)) {
        fail("command " + hex(cmd) + " expands a monochrome source that is not host data");
        return;
    }
    if (run(op))
        log_.push_back(op);
    // A single pixel is drawn before the next write can arrive.
    if (op.width * op.height > 1)
        finish();
}

void NeltoEngine::finish() {
    busyLeft_ += busyReads_;
    if (busyLeft_ > 0)
        setGuard(true);
}

bool NeltoEngine::run(const NeltoOp &op) {
    const uint32_t cmd = op.command;
    const int n = op.pixelBytes, w = op.width, h = op.height;
    const bool xPos = cmd & neltocmd::XPositive, yPos = cmd & neltocmd::YPositive;
    const bool clip = cmd & neltocmd::Clip;
    const uint32_t srcStride = op.regs.strides & 0xFFFF, dstStride = op.regs.strides >> 16;
    const size_t size = vram_.size();
    if (!(cmd & neltocmd::DrawEnable) || h == 0)
        return true;

    int left, right, top, bottom;
    span(op.dstX, w, xPos, left, right);
    span(op.dstY, h, yPos, top, bottom);
    if (clip) {
        left = std::max(left, xOf(op.regs.clipX));
        right = std::min(right, yOf(op.regs.clipX));
        top = std::max(top, xOf(op.regs.clipY));
        bottom = std::min(bottom, yOf(op.regs.clipY));
    }
    if (!inMemory("destination", op.regs.dstBase, dstStride, left, right, top, bottom, n, size))
        return false;
    const bool fromScreen = op.type == neltocmd::TypeBlit && !hostSource(cmd);
    if (fromScreen) {
        int sl, sr, st, sb;
        span(op.srcX, w, xPos, sl, sr);
        span(op.srcY, h, yPos, st, sb);
        if (!inMemory("source", op.regs.srcBase, srcStride, sl, sr, st, sb, n, size))
            return false;
    }

    uint8_t *mem = vram_.data();
    const uint32_t mask = pixelMask(n);
    const uint32_t rowBytes = hostSource(cmd) ? hostRowBytes(op) : 0;
    const uint64_t pattern = uint64_t(op.regs.monoPattern1) << 32 | op.regs.monoPattern0;
    // A fill of one colour (no source, a pattern whose pixels all take one
    // value) with a code the destination does not enter stores one value
    // over the rectangle, row by row.
    if (op.type != neltocmd::TypeBlit) {
        const bool onePattern = pattern == 0 || pattern == ~uint64_t{0} ||
                                (op.regs.patternFg & mask) == (op.regs.patternBg & mask);
        const uint32_t p = (pattern == 0 ? op.regs.patternBg : op.regs.patternFg) & mask;
        const uint32_t v = rop3(op.rop, p, 0, 0) & mask;
        if (onePattern && v == (rop3(op.rop, p, 0, ~0u) & mask)) {
            for (int dy = top; dy <= bottom; dy++)
                for (int dx = left; dx <= right; dx++)
                    storePixel(mem + op.regs.dstBase + uint64_t(dy) * dstStride +
                                   uint64_t(dx) * uint64_t(n),
                               n, v);
            return true;
        }
    }
    for (int r = 0; r < h; r++) {
        const int dy = yPos ? op.dstY + r : op.dstY - r;
        const int sy = yPos ? op.srcY + r : op.srcY - r;
        for (int i = 0; i < w; i++) {
            const int dx = xPos ? op.dstX + i : op.dstX - i;
            const int sx = xPos ? op.srcX + i : op.srcX - i;
            if (dx < left || dx > right || dy < top || dy > bottom)
                continue;
            uint32_t s = 0;
            if (fromScreen) {
                s = loadPixel(mem + op.regs.srcBase + uint64_t(sy) * srcStride +
                                  uint64_t(sx) * uint64_t(n),
                              n);
            } else if (op.type == neltocmd::TypeBlit && monoSource(cmd)) {
                const uint32_t at = uint32_t(r) * rowBytes + uint32_t(i) / 8;
                const uint8_t byte = uint8_t(words_[at / 4] >> (8 * (at % 4)));
                const bool set = (byte >> (7 - i % 8)) & 1;
                if (!set && (cmd & neltocmd::Transparent))
                    continue;
                s = set ? op.regs.sourceFg : op.regs.sourceBg;
            } else if (op.type == neltocmd::TypeBlit) {
                s = 0;
                for (int k = 0; k < n; k++) {
                    const uint32_t at = uint32_t(r) * rowBytes + uint32_t(i * n + k);
                    s |= ((words_[at / 4] >> (8 * (at % 4))) & 0xFF) << (8 * k);
                }
            }
            const uint8_t row = uint8_t(pattern >> (8 * (dy & 7)));
            const uint32_t p = (row >> (7 - (dx & 7))) & 1 ? op.regs.patternFg : op.regs.patternBg;
            uint8_t *dp =
                mem + op.regs.dstBase + uint64_t(dy) * dstStride + uint64_t(dx) * uint64_t(n);
            const uint32_t d = loadPixel(dp, n);
            storePixel(dp, n, rop3(op.rop, p & mask, s & mask, d) & mask);
        }
    }
    return true;
}

} // namespace sim
