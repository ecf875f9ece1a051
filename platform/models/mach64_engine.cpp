// The Mach64 drawing engine; its registers and choices are listed in
// mach64_engine.h.
#include "models/mach64_engine.h"

#include <cstdio>

namespace sim {

namespace {

namespace r {
constexpr int DstOffPitch = 64, DstYX = 67, DstHeightWidth = 70, DstBresLnth = 72, DstBresErr = 73,
              DstBresInc = 74, DstBresDec = 75, DstCntl = 76, SrcOffPitch = 96, SrcYX = 99,
              SrcHW1 = 102, SrcYXStart = 105, SrcHW2 = 108, SrcCntl = 109, HostData0 = 128,
              ScLeftRight = 170, ScTopBottom = 173, DpBkgdClr = 176, DpFrgdClr = 177,
              DpWriteMask = 178, DpPixWidth = 180, DpMix = 181, DpSrc = 182, ClrCmpClr = 192,
              ClrCmpMask = 193, ClrCmpCntl = 194;
} // namespace r

enum Src : uint32_t { Bkgd = 0, Frgd = 1, Host = 2, Blit = 3 };

// CLR_CMP_CNTL bits 24-25: what is compared (0 destination, 1 blit source).
constexpr uint32_t kCmpWhich = 0x3000000, kCmpSource = 0x1000000;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// Bits per pixel of a DP_PIX_WIDTH code; 0 for one the model does not know.
int codeBits(uint32_t code) {
    switch (code) {
    case 0:
        return 1;
    case 2:
        return 8;
    case 4:
        return 16;
    case 6:
        return 32;
    default:
        return 0;
    }
}

uint32_t bitsMask(int bits) {
    return bits >= 32 ? ~0u : (1u << bits) - 1;
}

// The 8514/A mix codes; -1 for the codes beyond them.
int64_t mix(uint32_t code, uint32_t s, uint32_t d) {
    switch (code) {
    case 0x0:
        return ~d;
    case 0x1:
        return 0;
    case 0x2:
        return ~0u;
    case 0x3:
        return d;
    case 0x4:
        return ~s;
    case 0x5:
        return s ^ d;
    case 0x6:
        return ~(s ^ d);
    case 0x7:
        return s;
    case 0x8:
        return ~s | ~d;
    case 0x9:
        return ~s | d;
    case 0xA:
        return s | ~d;
    case 0xB:
        return s | d;
    case 0xC:
        return s & d;
    case 0xD:
        return s & ~d;
    case 0xE:
        return ~s & d;
    case 0xF:
        return ~s & ~d;
    default:
        return -1;
    }
}

// Reverses the bits of each byte: one-bit data with its first pixel in the
// most significant bit becomes least-significant-first.
uint32_t reverseBytes(uint32_t v) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i++)
        if (v & (1u << i))
            out |= 1u << ((i & ~7) + 7 - (i & 7));
    return out;
}

int16_t lo(uint32_t v) {
    return int16_t(v & 0xFFFF);
}
int16_t hi(uint32_t v) {
    return int16_t(v >> 16);
}

} // namespace

void Mach64Engine::fail(const std::string &m) const {
    machine_.fail("mach64 engine: " + m);
}

void Mach64Engine::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    machine_.guardVideoMemory(vram_, on);
}

void Mach64Engine::queued(int index) {
    if (index == r::DstHeightWidth || index == r::DstBresLnth || index == r::HostData0)
        setGuard(true);
}

bool Mach64Engine::poll(bool fifoEmpty, bool gui) {
    if (fifoEmpty && busyLeft_ > 0)
        busyLeft_--;
    if (gui && fifoEmpty && owed_ > 0) {
        fail("idle wait while the operation still owes " + std::to_string(owed_) +
             " host data words; the operation is dropped");
        owed_ = 0;
        active_ = false;
        closing_ = false;
    }
    bool working = busy();
    if (gui && fifoEmpty && !working)
        setGuard(false);
    return working;
}

void Mach64Engine::reset() {
    owed_ = 0;
    active_ = false;
    closing_ = false;
    busyLeft_ = 0;
}

void Mach64Engine::drain() {
    if (owed_ > 0)
        fail(std::to_string(owed_) + " host data words still owed at the end; dropped");
    reset();
    setGuard(false);
}

void Mach64Engine::take(int index, uint32_t value) {
    regs_[size_t(index)] = value;
    switch (index) {
    case r::DstHeightWidth:
        startRect();
        break;
    case r::DstBresLnth:
        startLine();
        break;
    case r::HostData0:
        hostWord(value);
        break;
    default:
        break;
    }
}

bool Mach64Engine::pixelAddr(uint32_t offPitch, int x, int y, int bits, uint64_t &bitAddr) const {
    const uint64_t offset = uint64_t(offPitch & 0xFFFFF) * 64;
    const uint64_t pitch = uint64_t(offPitch >> 22) * 8;
    if (x < 0 || y < 0)
        return false;
    bitAddr = offset + (uint64_t(y) * pitch + uint64_t(x)) * uint64_t(bits);
    return bitAddr + uint64_t(bits) <= uint64_t(vram_.size()) * 8;
}

uint32_t Mach64Engine::readPixel(uint64_t bitAddr, int bits, bool &ok) {
    ok = bitAddr + uint64_t(bits) <= uint64_t(vram_.size()) * 8;
    if (!ok)
        return 0;
    const uint8_t *p = vram_.data() + bitAddr / 8;
    if (bits == 1) {
        const int bit = int(bitAddr % 8);
        const bool lsbFirst = regs_[r::DpPixWidth] & 0x1000000;
        return (*p >> (lsbFirst ? bit : 7 - bit)) & 1;
    }
    uint32_t v = 0;
    for (int i = 0; i < bits / 8; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

// The blit source pixel of the rectangle's pixel n (column col, row row).
uint32_t Mach64Engine::sourcePixel(int n, int col, int row, bool &ok) {
    const uint32_t cntl = regs_[r::SrcCntl];
    const int bits = codeBits((regs_[r::DpPixWidth] >> 8) & 0xF);
    const uint32_t yx = regs_[r::SrcYX];
    const uint32_t offPitch = regs_[r::SrcOffPitch];
    uint64_t addr = 0;
    if (cntl & 4) {
        addr =
            uint64_t(offPitch & 0xFFFFF) * 64 + (uint64_t(hi(yx)) + uint64_t(n)) * uint64_t(bits);
        return readPixel(addr, bits, ok);
    }
    const int sx = (regs_[r::DstCntl] & 1) ? 1 : -1;
    const int sy = (regs_[r::DstCntl] & 2) ? 1 : -1;
    int x = hi(yx), y = lo(yx);
    int c = col, rr = row;
    if (cntl & 1) {
        const uint32_t hw1 = regs_[r::SrcHW1];
        const int w1 = hi(hw1), h1 = lo(hw1);
        const uint32_t hw2 = regs_[r::SrcHW2];
        const int w2 = hi(hw2), h2 = lo(hw2);
        const bool rotate = cntl & 2;
        if (w1 <= 0 || h1 <= 0 || (rotate && (w2 <= 0 || h2 <= 0))) {
            ok = false;
            return 0;
        }
        const uint32_t start = regs_[r::SrcYXStart];
        if (c >= w1) {
            if (rotate) {
                x = hi(start);
                c = (c - w1) % w2;
            } else {
                c %= w1;
            }
        }
        if (rr >= h1) {
            if (rotate) {
                y = lo(start);
                rr = (rr - h1) % h2;
            } else {
                rr %= h1;
            }
        }
    }
    if (!pixelAddr(offPitch, x + sx * c, y + sy * rr, bits, addr)) {
        ok = false;
        return 0;
    }
    return readPixel(addr, bits, ok);
}

// Draws pixel n of the running rectangle; `host` is its host data (a pixel
// or a bit) when the operation takes host data.
void Mach64Engine::plot(int x, int y, bool fgPixel, uint32_t colour) {
    const uint32_t lr = regs_[r::ScLeftRight], tb = regs_[r::ScTopBottom];
    if (x < lo(lr) || x > hi(lr) || y < lo(tb) || y > hi(tb))
        return;
    const uint32_t pw = regs_[r::DpPixWidth];
    const int bits = codeBits(pw & 0xF);
    uint64_t addr = 0;
    if (!pixelAddr(regs_[r::DstOffPitch], x, y, bits, addr)) {
        if (!failedOp_)
            fail("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                 ") lies outside video memory; not drawn");
        failedOp_ = true;
        return;
    }
    const uint32_t mask = bitsMask(bits);
    bool ok = true;
    const uint32_t d = readPixel(addr, bits, ok);
    const uint32_t cmp = regs_[r::ClrCmpCntl] & 7;
    const uint32_t cmpMask = regs_[r::ClrCmpMask];
    // Bit 24: the blit source pixel is compared instead of the destination.
    const uint32_t compared = (regs_[r::ClrCmpCntl] & kCmpSource) ? colour : d;
    const bool equal = (compared & cmpMask) == (regs_[r::ClrCmpClr] & cmpMask);
    if (cmp == 1 || (cmp == 4 && !equal) || (cmp == 5 && equal))
        return;
    const uint32_t dpMix = regs_[r::DpMix];
    const uint32_t code = fgPixel ? (dpMix >> 16) & 0x1F : dpMix & 0x1F;
    const int64_t m = mix(code, colour, d);
    if (m < 0) {
        if (!failedOp_)
            fail("mix code " + hex(code) + " is not modelled");
        failedOp_ = true;
        return;
    }
    const uint32_t wm = regs_[r::DpWriteMask] & mask;
    const uint32_t v = (d & ~wm) | (uint32_t(m) & wm);
    uint8_t *p = vram_.data() + addr / 8;
    if (bits == 1) {
        const int bit = int(addr % 8);
        const int at = (pw & 0x1000000) ? bit : 7 - bit;
        *p = uint8_t((*p & ~(1u << at)) | (v & 1u) << at);
        return;
    }
    for (int i = 0; i < bits / 8; i++)
        p[i] = uint8_t(v >> (8 * i));
}

void Mach64Engine::rectStep() {
    // One pixel of the rectangle with the host value in hostBuf_'s low bits.
    const int64_t n = pos_++;
    const int w = op_.width;
    const int col = int(n % w), row = int(n / w);
    const int x = op_.x + ((op_.dstCntl & 1) ? col : -col);
    const int y = op_.y + ((op_.dstCntl & 2) ? row : -row);
    const uint32_t dpSrc = op_.dpSrc;
    const uint32_t monoSrc = (dpSrc >> 16) & 3;
    uint32_t hostValue = 0;
    if (hostBits_ > 0) {
        hostValue = uint32_t(hostBuf_) & bitsMask(hostBits_);
        hostBuf_ >>= hostBits_;
        hostHave_ -= hostBits_;
    }
    bool fgPixel = true;
    bool ok = true;
    if (monoSrc == 2)
        fgPixel = hostValue & 1;
    else if (monoSrc == 3)
        fgPixel = sourcePixel(int(n), col, row, ok) & 1;
    const uint32_t which = fgPixel ? (dpSrc >> 8) & 7 : dpSrc & 7;
    uint32_t colour = 0;
    switch (which) {
    case Bkgd:
        colour = regs_[r::DpBkgdClr];
        break;
    case Frgd:
        colour = regs_[r::DpFrgdClr];
        break;
    case Host:
        colour = hostValue;
        break;
    default:
        colour = sourcePixel(int(n), col, row, ok);
        break;
    }
    if (!ok) {
        if (!failedOp_)
            fail("source pixel of (" + std::to_string(x) + ", " + std::to_string(y) +
                 ") lies outside video memory or its rectangle is empty");
        failedOp_ = true;
        return;
    }
    plot(x, y, fgPixel, colour);
}

void Mach64Engine::startRect() {
    if (owed_ > 0 || closing_) {
        fail("rectangle started while the previous operation owes " +
             (owed_ > 0 ? std::to_string(owed_) + " host data words" : "its closing word"));
        owed_ = 0;
        closing_ = false;
    }
    const uint32_t hw = regs_[r::DstHeightWidth], yx = regs_[r::DstYX];
    op_ = {};
    op_.kind = Mach64Op::Rect;
    op_.x = int((yx >> 16) & 0x7FFF);
    op_.y = int(yx & 0x7FFF);
    op_.width = int((hw >> 16) & 0x7FFF);
    op_.height = int(hw & 0x7FFF);
    op_.dpSrc = regs_[r::DpSrc];
    op_.dpMix = regs_[r::DpMix];
    op_.pixWidth = regs_[r::DpPixWidth];
    op_.dstCntl = regs_[r::DstCntl];
    op_.srcCntl = regs_[r::SrcCntl];
    failedOp_ = false;
    busyLeft_ = kBusyReads;

    const uint32_t pw = op_.pixWidth, dpSrc = op_.dpSrc;
    const uint32_t monoSrc = (dpSrc >> 16) & 3, fgSrc = (dpSrc >> 8) & 7, bgSrc = dpSrc & 7;
    const uint32_t dstCode = pw & 0xF, srcCode = (pw >> 8) & 0xF, hostCode = (pw >> 16) & 0xF;
    const bool bgUsed = monoSrc != 0;
    std::string bad;
    if (codeBits(dstCode) == 0)
        bad = "destination pixel width code " + std::to_string(dstCode);
    else if (dstCode == 0 && (fgSrc > Frgd || (bgUsed && bgSrc > Frgd)))
        bad = "one-bit destination with DP_SRC " + hex(dpSrc) + " (colour sources)";
    else if (monoSrc == 1 || fgSrc > 3 || (bgUsed && bgSrc > 3))
        bad = "DP_SRC " + hex(dpSrc) + " (pattern sources)";
    else if ((regs_[r::ClrCmpCntl] & kCmpWhich) > kCmpSource ||
             ((regs_[r::ClrCmpCntl] & kCmpSource) && (monoSrc != 0 || fgSrc != Blit)))
        bad = "CLR_CMP_CNTL " + hex(regs_[r::ClrCmpCntl]) + " with DP_SRC " + hex(dpSrc) +
              " (source compare of anything but a colour blit)";
    else if ((monoSrc == 2) && (fgSrc == Host || (bgUsed && bgSrc == Host)))
        bad = "DP_SRC " + hex(dpSrc) + " (host bits and host colour at once)";
    else if (monoSrc == 2 && hostCode != 0)
        bad = "one-bit host data with host pixel width code " + std::to_string(hostCode);
    else if ((fgSrc == Host || (bgUsed && bgSrc == Host)) && hostCode != dstCode)
        bad = "host pixel width code " + std::to_string(hostCode) + " for destination code " +
              std::to_string(dstCode);
    else if (monoSrc == 3 && srcCode != 0)
        bad = "one-bit blit source with source pixel width code " + std::to_string(srcCode);
    else if (monoSrc != 3 && (fgSrc == Blit || (bgUsed && bgSrc == Blit)) && srcCode != dstCode)
        bad = "blit source pixel width code " + std::to_string(srcCode) + " for destination code " +
              std::to_string(dstCode);
    if (!bad.empty()) {
        fail("rectangle with " + bad + " is not modelled; not drawn");
        log_.push_back(op_);
        return;
    }

    total_ = int64_t(op_.width) * op_.height;
    pos_ = 0;
    hostBuf_ = 0;
    hostHave_ = 0;
    hostBits_ = monoSrc == 2                                   ? 1
                : (fgSrc == Host || (bgUsed && bgSrc == Host)) ? codeBits(dstCode)
                                                               : 0;
    if (hostBits_ > 0) {
        owed_ = uint32_t((total_ * hostBits_ + 31) / 32);
        active_ = owed_ > 0;
        if (!active_)
            log_.push_back(op_);
        return;
    }
    while (pos_ < total_)
        rectStep();
    finishOp();
}

void Mach64Engine::finishOp() {
    if ((op_.dstCntl & 8) && op_.kind == Mach64Op::Rect) {
        uint32_t yx = regs_[r::DstYX];
        const uint32_t x = ((yx >> 16) + uint32_t(op_.width)) & 0x7FFF;
        regs_[r::DstYX] = (yx & 0x8000FFFFu) | x << 16;
    }
    busyLeft_ = kBusyReads;
    log_.push_back(op_);
}

void Mach64Engine::hostWord(uint32_t value) {
    if (owed_ == 0) {
        if (closing_) {
            closing_ = false;
            if (value != 0)
                fail("closing host data word " + hex(value) + " is not 0");
            return;
        }
        fail("host data word " + hex(value) + " that no operation waits for");
        return;
    }
    owed_--;
    op_.hostWords++;
    if (hostBits_ == 1 && !(op_.pixWidth & 0x1000000))
        value = reverseBytes(value);
    hostBuf_ |= uint64_t(value) << hostHave_;
    hostHave_ += 32;
    while (hostHave_ >= hostBits_ && pos_ < total_)
        rectStep();
    if (owed_ == 0) {
        active_ = false;
        closing_ = true;
        hostBuf_ = 0;
        hostHave_ = 0;
        finishOp();
    }
}

void Mach64Engine::startLine() {
    if (owed_ > 0 || closing_) {
        fail("line started while the previous operation owes " +
             (owed_ > 0 ? std::to_string(owed_) + " host data words" : "its closing word"));
        owed_ = 0;
        closing_ = false;
    }
    const uint32_t yx = regs_[r::DstYX], cntl = regs_[r::DstCntl];
    op_ = {};
    op_.kind = Mach64Op::Line;
    op_.x = int((yx >> 16) & 0x7FFF);
    op_.y = int(yx & 0x7FFF);
    op_.width = int(regs_[r::DstBresLnth] & 0x7FFF);
    op_.height = 1;
    op_.dpSrc = regs_[r::DpSrc];
    op_.dpMix = regs_[r::DpMix];
    op_.pixWidth = regs_[r::DpPixWidth];
    op_.dstCntl = cntl;
    op_.srcCntl = regs_[r::SrcCntl];
    failedOp_ = false;
    busyLeft_ = kBusyReads;
    const uint32_t dpSrc = op_.dpSrc;
    if (((dpSrc >> 16) & 3) != 0 || ((dpSrc >> 8) & 7) > Frgd || codeBits(op_.pixWidth & 0xF) < 8 ||
        (regs_[r::ClrCmpCntl] & kCmpWhich) != 0) {
        fail("line with DP_SRC " + hex(dpSrc) + " and DP_PIX_WIDTH " + hex(op_.pixWidth) +
             " is not modelled; not drawn");
        log_.push_back(op_);
        return;
    }
    const uint32_t colour = ((dpSrc >> 8) & 7) == Frgd ? regs_[r::DpFrgdClr] : regs_[r::DpBkgdClr];
    const int count = (cntl & 0x20) ? op_.width : op_.width - 1;
    const int sx = (cntl & 1) ? 1 : -1, sy = (cntl & 2) ? 1 : -1;
    const bool yMajor = cntl & 4;
    int64_t err = int32_t(regs_[r::DstBresErr]);
    const int64_t inc = int32_t(regs_[r::DstBresInc]), dec = int32_t(regs_[r::DstBresDec]);
    int x = op_.x, y = op_.y;
    for (int i = 0; i < count; i++) {
        plot(x, y, true, colour);
        if (err > 0) {
            x += sx;
            y += sy;
            err += dec;
        } else {
            if (yMajor)
                y += sy;
            else
                x += sx;
            err += inc;
        }
    }
    log_.push_back(op_);
}

} // namespace sim
