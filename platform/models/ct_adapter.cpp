// The "ct" adapter model; its registers and choices are listed in
// ct_adapter.h.
#include "models/ct_adapter.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

void fail(const std::string &why) {
    Machine::current().fail("ct adapter: " + why);
}

CtChip chipOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("CHIP");
    if (it == cfg.strings.end() || it->second == "65550")
        return CtChip::C65550;
    if (it->second == "65554")
        return CtChip::C65554;
    if (it->second == "65548")
        return CtChip::C65548;
    if (it->second == "6430x")
        return CtChip::C6430x;
    throw std::invalid_argument("ct adapter: CHIP is \"65550\", \"65554\", \"65548\" or "
                                "\"6430x\", not \"" +
                                it->second + "\"");
}

bool is65550(CtChip c) {
    return c == CtChip::C65550 || c == CtChip::C65554;
}

// The memory sizes each chip's strap code can tell, by code.
std::vector<uint32_t> memorySizes(CtChip c) {
    if (sim::is65550(c))
        return {0x100000, 0x200000};
    if (c == CtChip::C65548)
        return {0x40000, 0x80000, 0x100000};
    return {0x80000, 0x100000, 0x200000};
}

uint32_t memSizeOf(CtChip c, const graf::Config &cfg) {
    uint32_t size = c == CtChip::C65550 || c == CtChip::C65554 ? 0x200000 : 0x100000;
    auto it = cfg.ints.find("MEMSIZE");
    if (it != cfg.ints.end())
        size = static_cast<uint32_t>(it->second);
    for (uint32_t s : memorySizes(c))
        if (s == size)
            return size;
    throw std::invalid_argument("ct adapter: MEMSIZE " + hex(size) +
                                " is not a memory size this chip can have");
}

const char *regName(bool br, int reg) {
    static const char *const br_[] = {"BR00", "BR01", "BR02", "BR03", "BR04",
                                      "BR05", "BR06", "BR07", "BR08"};
    static const char *const dr_[] = {"DR00", "DR01", "DR02", "DR03",
                                      "DR04", "DR05", "DR06", "DR07"};
    return br ? br_[reg] : dr_[reg];
}

} // namespace

// The engine of either layout: registers, operations, busy time and
// strictness.
class CtEngine {
  public:
    CtEngine(VideoMemory &vram, Machine &m, bool br, int pixelBytes)
        : vram_(vram), machine_(m), br_(br), bpp_(pixelBytes) {}

    // A register write: `reg` 0-8 at `byteOffset` within it.
    void write(int reg, int byteOffset, int width, uint32_t value) {
        const char *name = regName(br_, reg);
        if (reg == 0) {
            if (width != 2 || (byteOffset != 0 && byteOffset != 2)) {
                fail(std::string(name) + " written as " + std::to_string(8 * width) +
                     " bits at byte " + std::to_string(byteOffset) +
                     ": its pitch halves are 16-bit registers");
                return;
            }
        } else if (width != 4 || byteOffset != 0) {
            fail(std::string(name) + " written as " + std::to_string(8 * width) + " bits at byte " +
                 std::to_string(byteOffset) + ": it is a 32-bit register");
            return;
        }
        if (owed_ > 0)
            dropOwed(std::string(name) + " written");
        if (busy()) {
            fail(std::string(name) + " written with " + hex(value) + " while the engine is busy");
            return;
        }
        if (reg == 0) {
            uint32_t shift = uint32_t(byteOffset) * 8;
            regs_[0] = (regs_[0] & ~(0xFFFFu << shift)) | (value & 0xFFFF) << shift;
        } else {
            regs_[reg] = value;
        }
        if (reg == sizeReg())
            start();
    }

    uint32_t read(int reg) const { return regs_[reg]; }

    // One status read; true while busy.
    bool poll() {
        statusReads_++;
        if (owed_ > 0)
            dropOwed("status read");
        if (busyLeft_ == 0) {
            setGuard(false);
            return false;
        }
        busyLeft_--;
        busyReads_++;
        return true;
    }

    bool awaitingData() const { return owed_ > 0; }

    void hostWord(uint32_t value) {
        if (owed_ == 0) {
            fail("host data word " + hex(value) + " with no operation waiting for it");
            return;
        }
        for (int i = 0; i < 4; i++)
            data_.push_back(uint8_t(value >> (8 * i)));
        if (--owed_ == 0) {
            run(pending_);
            stayBusy(opBusy_);
        }
    }

    void setBusyReads(uint64_t n) { opBusy_ = n; }
    void stayBusy(uint64_t n) {
        busyLeft_ += n;
        if (busyLeft_ > 0)
            setGuard(true);
    }
    bool busy() const { return busyLeft_ > 0 || owed_ > 0; }
    void drain() {
        if (owed_ > 0)
            dropOwed("the engine was drained");
        busyLeft_ = 0;
        setGuard(false);
    }

    uint64_t statusReads_ = 0, busyReads_ = 0;
    std::vector<CtOp> ops;

  private:
    // What an operation takes from its registers, in either layout.
    struct Decoded {
        uint32_t control, srcPitch, dstPitch, src, dst, width, height;
        uint32_t colour;              // the solid colour (BR01, DR03)
        uint32_t fg, bg;              // the expansion colours (BR02/BR01, DR03/DR02)
        uint32_t skip;                // 65550: leading bits of every monochrome row (BR03)
        uint32_t pattern, patternRow; // the 8 x 8 colour pattern and its first row
        bool xDec, yDec, host, solidSource, solidPattern, mono, transparent;
    };

    int sizeReg() const { return br_ ? 8 : 7; }

    Decoded decode(const CtOp &op) const {
        Decoded d{};
        const uint32_t *r = op.regs;
        uint32_t pitchMask = br_ ? 0x1FFF : 0xFFF;
        d.srcPitch = r[0] & pitchMask;
        d.dstPitch = (r[0] >> 16) & pitchMask;
        d.control = r[4];
        if (br_) {
            d.src = r[6] & 0x7FFFFF;
            d.dst = r[7] & 0x7FFFFF;
            d.width = r[8] & 0x1FFF;
            d.height = (r[8] >> 16) & 0x1FFF;
            d.colour = r[1];
            d.xDec = d.control & 0x100;
            d.yDec = d.control & 0x200;
            d.host = d.control & 0x400;
            d.solidSource = d.control & 0x80000;
            d.solidPattern = d.control & 0x40000;
            d.mono = d.control & 0x1000;
            d.transparent = d.control & 0x2000;
            d.fg = r[2];
            d.bg = r[1];
            d.skip = r[3] & 0x3F;
            d.pattern = r[5] & 0x1FFFFF;
            d.patternRow = (d.control >> 20) & 7;
        } else {
            d.src = r[5] & 0x1FFFFF;
            d.dst = r[6] & 0x1FFFFF;
            d.width = r[7] & 0xFFF;
            d.height = (r[7] >> 16) & 0xFFF;
            d.colour = r[3];
            d.yDec = !(d.control & 0x100);
            d.xDec = !(d.control & 0x200);
            d.host = d.control & 0x4000;
            d.solidSource = d.control & 0x400;
            d.solidPattern = false;
            d.mono = d.control & 0x800;
            d.transparent = d.control & 0x2000;
            d.fg = r[3];
            d.bg = r[2];
            d.skip = 0;
            d.pattern = r[1] & 0x1FFFFF;
            d.patternRow = (d.control >> 16) & 7;
        }
        return d;
    }

    // Control bits this model does not know, by layout.
    uint32_t unknownBits(uint32_t control) const {
        return br_ ? control & ~0x7C37FFu : control & ~0x76FFFu;
    }

    void start() {
        CtOp op{};
        for (int i = 0; i < 9; i++)
            op.regs[i] = regs_[i];
        ops.push_back(op);
        Decoded d = decode(op);
        if (uint32_t bits = unknownBits(d.control)) {
            fail(std::string(br_ ? "BR04" : "DR04") + " " + hex(d.control) + " holds bits " +
                 hex(bits) + " this model does not know; the operation does not run");
            return;
        }
        // An empty operation draws nothing and takes no data.
        if (d.width == 0 || d.height == 0)
            return;
        if (!br_ && d.solidSource && !replicated(d.colour)) {
            fail("DR03 " + hex(d.colour) + " does not hold the pixel replicated over 32 bits");
            return;
        }
        if (d.mono && (!d.host || d.solidSource)) {
            fail(std::string(br_ ? "BR04 " : "DR04 ") + hex(d.control) +
                 ": monochrome expansion takes host data only; the operation does not run");
            return;
        }
        if (!br_ && d.mono && (!replicated(d.fg) || !replicated(d.bg))) {
            fail("DR03 " + hex(d.fg) + " or DR02 " + hex(d.bg) +
                 " does not hold the pixel replicated over 32 bits");
            return;
        }
        if (d.host) {
            // Whole units of the stream: quadwords on the 65550, words else.
            uint32_t unit = br_ ? 8 : 4;
            uint64_t bytes;
            if (d.mono) {
                // Each row of bits starts on a word of its own.
                uint64_t rowBytes = (d.skip + d.width / uint32_t(bpp_) + 7) / 8;
                bytes = uint64_t(d.height) * ((rowBytes + 3) / 4 * 4);
            } else {
                bytes = (d.src & (unit - 1)) + uint64_t(d.height - 1) * d.srcPitch + d.width;
            }
            bytes = (bytes + unit - 1) / unit * unit;
            owed_ = uint32_t(bytes / 4);
            data_.clear();
            pending_ = op;
            setGuard(true);
            return;
        }
        run(op);
        stayBusy(opBusy_);
    }

    bool replicated(uint32_t c) const {
        if (bpp_ == 2)
            return (c & 0xFFFF) == c >> 16;
        return (c & 0xFF) * 0x01010101u == c;
    }

    uint8_t colourByte(uint32_t colour, uint32_t addr) const {
        uint32_t k = br_ ? addr % uint32_t(bpp_) : addr % 4;
        return uint8_t(colour >> (8 * k));
    }

    static uint8_t rop3(uint8_t rop, uint8_t p, uint8_t s, uint8_t d) {
        uint8_t out = 0;
        for (int bit = 0; bit < 8; bit++) {
            int index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
            out |= uint8_t(((rop >> index) & 1) << bit);
        }
        return out;
    }

    // Byte `i` of row `r` from `base`, in the operation's direction: rows
    // from the start corner down (or up), bytes to the right (or, from the
    // start pixel's last byte, to the left).
    int64_t at(const Decoded &d, uint32_t base, uint32_t pitch, uint32_t r, uint32_t i) const {
        int64_t row = d.yDec ? -int64_t(r) : int64_t(r);
        int64_t col = d.xDec ? int64_t(bpp_ - 1) - int64_t(i) : int64_t(i);
        return int64_t(base) + row * int64_t(pitch) + col;
    }

    bool inside(const Decoded &d, uint32_t base, uint32_t pitch) const {
        int64_t a = at(d, base, pitch, 0, 0), b = at(d, base, pitch, d.height - 1, d.width - 1);
        int64_t lo = a < b ? a : b, hi = a < b ? b : a;
        int64_t c = at(d, base, pitch, 0, d.width - 1), e = at(d, base, pitch, d.height - 1, 0);
        lo = std::min({lo, c, e});
        hi = std::max({hi, c, e});
        return lo >= 0 && hi < int64_t(vram_.size());
    }

    void run(const CtOp &op) {
        Decoded d = decode(op);
        if (!inside(d, d.dst, d.dstPitch)) {
            fail("operation " + describe(d) + " reaches outside video memory; it does not run");
            return;
        }
        bool screenSource = !d.host && !d.solidSource;
        if (screenSource && !inside(d, d.src, d.srcPitch)) {
            fail("operation " + describe(d) + " reads outside video memory; it does not run");
            return;
        }
        uint8_t rop = uint8_t(d.control & 0xFF);
        uint8_t *mem = vram_.data();
        if (d.mono) {
            expand(d, rop, mem);
            return;
        }
        // The 8 x 8 pattern is read from video memory when the raster
        // operation depends on it: 8 pixels a row, rows one after another.
        bool usesPattern = !d.solidPattern && ((rop >> 4) != (rop & 0xF));
        if (usesPattern && uint64_t(d.pattern) + 64u * uint32_t(bpp_) > vram_.size()) {
            fail("pattern at " + hex(d.pattern) + " lies outside video memory");
            return;
        }
        uint32_t hostOffset = d.src & (br_ ? 7u : 3u);
        for (uint32_t r = 0; r < d.height; r++)
            for (uint32_t i = 0; i < d.width; i++) {
                int64_t a = at(d, d.dst, d.dstPitch, r, i);
                uint8_t s = 0, p = 0;
                if (d.host)
                    s = data_[hostOffset + r * d.srcPitch + i];
                else if (d.solidSource)
                    s = colourByte(d.colour, uint32_t(a));
                else
                    s = mem[at(d, d.src, d.srcPitch, r, i)];
                if (d.solidPattern)
                    p = colourByte(d.colour, uint32_t(a));
                else if (usesPattern)
                    p = patternByte(d, r, uint32_t(a));
                mem[a] = rop3(rop, p, s, mem[a]);
            }
    }

    // The pattern's byte for destination byte `a` of row `r`: the pattern
    // row from the start row on, the column the destination pixel's x mod 8.
    uint8_t patternByte(const Decoded &d, uint32_t r, uint32_t a) const {
        uint32_t bpp = uint32_t(bpp_);
        uint32_t row = (d.patternRow + r) & 7;
        uint32_t column = (d.dstPitch ? (a % d.dstPitch) / bpp : 0) & 7;
        return vram_.data()[d.pattern + (row * 8 + column) * bpp + a % bpp];
    }

    // Colour expansion of host bits: the leftmost pixel in bit 7 of each
    // byte as sent, each row from a word of its own after `skip` bits; a 1
    // is the foreground, a 0 the background or, transparent, nothing.
    void expand(const Decoded &d, uint8_t rop, uint8_t *mem) {
        uint32_t pixels = d.width / uint32_t(bpp_);
        uint32_t rowBytes = (d.skip + pixels + 7) / 8;
        uint32_t rowStride = (rowBytes + 3) / 4 * 4;
        for (uint32_t r = 0; r < d.height; r++)
            for (uint32_t x = 0; x < pixels; x++) {
                uint32_t bit = d.skip + x;
                bool on = (data_[r * rowStride + bit / 8] >> (7 - bit % 8)) & 1;
                if (!on && d.transparent)
                    continue;
                for (int k = 0; k < bpp_; k++) {
                    int64_t a = at(d, d.dst, d.dstPitch, r, x * uint32_t(bpp_) + uint32_t(k));
                    uint8_t s = colourByte(on ? d.fg : d.bg, uint32_t(a));
                    mem[a] = rop3(rop, 0, s, mem[a]);
                }
            }
    }

    std::string describe(const Decoded &d) const {
        return hex(d.control) + " " + std::to_string(d.width) + " bytes x " +
               std::to_string(d.height) + " at " + hex(d.dst);
    }

    void dropOwed(const std::string &why) {
        fail(why + " while " + std::to_string(owed_) +
             " host data words are owed; the operation is dropped");
        owed_ = 0;
        data_.clear();
    }

    void setGuard(bool on) {
        if (on == guarded_)
            return;
        guarded_ = on;
        machine_.guardVideoMemory(vram_, on);
    }

    VideoMemory &vram_;
    Machine &machine_;
    bool br_;
    int bpp_;
    uint32_t regs_[9] = {};
    uint64_t opBusy_ = 2;
    uint64_t busyLeft_ = 0;
    bool guarded_ = false;
    uint32_t owed_ = 0;
    CtOp pending_{};
    std::vector<uint8_t> data_;
};

namespace {

// The 65550's register block in the MEMORY aperture.
class CtBlock : public MemDevice {
  public:
    explicit CtBlock(CtEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override {
        (void)width;
        return e_.read(int(offset / 4)) >> (8 * (offset % 4));
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        e_.write(int(offset / 4), int(offset % 4), width, value);
    }

  private:
    CtEngine &e_;
};

// The 65550's host-data port.
class CtHostPort : public MemDevice {
  public:
    explicit CtHostPort(CtEngine &e) : e_(e) {}
    uint32_t read(uint32_t offset, int width) override {
        (void)width;
        fail("read of the host-data port at +" + hex(offset));
        return 0xFFFFFFFF;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (width != 4 || offset != 0) {
            fail(std::to_string(8 * width) + "-bit host-data write at +" + hex(offset));
            return;
        }
        e_.hostWord(value);
    }

  private:
    CtEngine &e_;
};

// The 65548/6430x engine ports: DR00-DR07, 0x400 apart.
class CtPorts : public PortDevice {
  public:
    explicit CtPorts(CtEngine &e) : e_(e) {}
    uint32_t in(uint16_t port, int width) override {
        int reg = (port - ctreg::DrBase) / ctreg::DrStep;
        int byte = (port - ctreg::DrBase) % ctreg::DrStep;
        if (reg == 4) {
            if (width != 4 || byte != 0)
                fail(std::to_string(8 * width) + "-bit read of DR04 at byte " +
                     std::to_string(byte));
            return e_.read(4) | (e_.poll() ? ctreg::kDrBusy : 0);
        }
        return e_.read(reg) >> (8 * byte);
    }
    void out(uint16_t port, int width, uint32_t value) override {
        int reg = (port - ctreg::DrBase) / ctreg::DrStep;
        int byte = (port - ctreg::DrBase) % ctreg::DrStep;
        e_.write(reg, byte, width, value);
    }

  private:
    CtEngine &e_;
};

// The 65548/6430x MEMORY area as the accessors reach it: host data while
// an operation waits for it, video memory otherwise.
class CtHostWindow : public MemDevice {
  public:
    CtHostWindow(CtEngine &e, VideoMemory &vram) : e_(e), vram_(vram) {}
    uint32_t read(uint32_t offset, int width) override {
        if (e_.busy()) {
            fail("read of MEMORY at +" + hex(offset) + " while the engine is busy");
            return 0xFFFFFFFF;
        }
        uint32_t v = 0;
        for (int i = 0; i < width; i++)
            v |= uint32_t(byteAt(offset + uint32_t(i))) << (8 * i);
        return v;
    }
    void write(uint32_t offset, int width, uint32_t value) override {
        if (e_.awaitingData()) {
            if (width != 4)
                fail(std::to_string(8 * width) + "-bit host data write at +" + hex(offset));
            else
                e_.hostWord(value);
            return;
        }
        if (e_.busy()) {
            fail("write of MEMORY at +" + hex(offset) + " while the engine is busy");
            return;
        }
        for (int i = 0; i < width; i++) {
            uint32_t a = offset + uint32_t(i);
            if (a < vram_.size())
                vram_.data()[a] = uint8_t(value >> (8 * i));
        }
    }

  private:
    uint8_t byteAt(uint32_t a) const { return a < vram_.size() ? vram_.data()[a] : 0xFF; }
    CtEngine &e_;
    VideoMemory &vram_;
};

// The 65548/6430x cursor: DR08-DR0C, the ports after the engine's.
// Readings where the chip descriptions leave details open:
// - DR08 bit 0 shows the cursor, bit 1 makes it 64 x 64 (else 32 x 32);
//   bits 2-3 name the slot shown and bits 22-23 the slot a 6430x load goes
//   to; bit 5 is kept without a meaning of its own here.
// - The position (DR0B: x at 0xAFD0, y at 0xAFD2, 16-bit) is the image's
//   top-left corner, 15 bits of magnitude with bit 15 the sign.
// - The image, 32 x 32 or 64 x 64, is an AND and an XOR plane of rows of 4
//   or 8 bytes, the leftmost pixel in bit 7 of each byte: AND 1 XOR 0
//   transparent, AND 1 XOR 1 inverts the screen, AND 0 XOR 0 the
//   foreground, AND 0 XOR 1 the background.
// - 65548: the image lies in video memory at the offset in DR0C, slot s at
//   256 s, AND bytes even and XOR bytes odd; a 64 x 64 image fills the
//   whole kilobyte from slot 0.
// - 6430x: DR0C is a data port: after a DR08 write it takes the AND plane and
//   then the XOR plane of the slot in bits 22-23, at the size in bit 1, as
//   32-bit words (low byte first); a word beyond them, or a DR08 write
//   after some but not all of them, is reported.
class CtCursorPorts : public PortDevice {
  public:
    CtCursorPorts(bool is6430x, const VideoMemory &vram) : is6430x_(is6430x), vram_(vram) {}
    uint32_t in(uint16_t port, int width) override {
        int reg = (port - kFirst) / ctreg::DrStep, byte = (port - kFirst) % ctreg::DrStep;
        (void)width;
        return regs_[reg] >> (8 * byte);
    }
    void out(uint16_t port, int width, uint32_t value) override {
        int reg = (port - kFirst) / ctreg::DrStep, byte = (port - kFirst) % ctreg::DrStep;
        if (reg == 3) {
            if (width != 2 || (byte != 0 && byte != 2)) {
                fail("cursor position written as " + std::to_string(8 * width) + " bits at byte " +
                     std::to_string(byte));
                return;
            }
            uint32_t mask = 0xFFFFu << (8 * byte);
            regs_[3] = (regs_[3] & ~mask) | (value & 0xFFFF) << (8 * byte);
            return;
        }
        if (width != 4 || byte != 0) {
            fail("DR" + hex(uint32_t(8 + reg)) + " written as " + std::to_string(8 * width) +
                 " bits at byte " + std::to_string(byte));
            return;
        }
        if (reg == 4 && is6430x_) {
            dataWord(value);
            return;
        }
        if (reg == 0) {
            if (is6430x_ && loaded_ != 0 && loaded_ != loadWords())
                fail("cursor image cut short after " + std::to_string(loaded_) + " of " +
                     std::to_string(loadWords()) + " words");
            loaded_ = 0;
        }
        regs_[reg] = value;
    }

    bool on() const { return regs_[0] & 0x01; }
    int size() const { return regs_[0] & 0x02 ? 64 : 32; }
    int shownSlot() const { return int(regs_[0] >> 2) & 3; }
    static int signMagnitude(uint32_t v) {
        int m = int(v & 0x7FFF);
        return v & 0x8000 ? -m : m;
    }
    int x() const { return signMagnitude(regs_[3] & 0xFFFF); }
    int y() const { return signMagnitude(regs_[3] >> 16); }

    CtAdapter::CursorPixel at(int sx, int sy) const {
        using P = CtAdapter::CursorPixel;
        if (!on())
            return P::Transparent;
        int cx = sx - x(), cy = sy - y(), n = size();
        if (cx < 0 || cy < 0 || cx >= n || cy >= n)
            return P::Transparent;
        uint32_t i = uint32_t(cy * (n / 8) + cx / 8);
        int bit = 7 - cx % 8;
        uint8_t andByte, xorByte;
        if (is6430x_) {
            uint32_t k = uint32_t(shownSlot()) * 128 + i;
            if (k >= kPlaneBytes)
                return P::Transparent;
            andByte = and_[k];
            xorByte = xor_[k];
        } else {
            uint64_t a = uint64_t(regs_[4]) + uint64_t(shownSlot()) * 256 + 2 * i;
            if (a + 1 >= vram_.size())
                return P::Transparent;
            andByte = vram_.data()[a];
            xorByte = vram_.data()[a + 1];
        }
        bool andBit = andByte >> bit & 1, xorBit = xorByte >> bit & 1;
        if (andBit)
            return xorBit ? P::Invert : P::Transparent;
        return xorBit ? P::Background : P::Foreground;
    }

    static constexpr uint16_t kFirst = ctreg::DrBase + 8 * ctreg::DrStep;
    static constexpr uint32_t kPlaneBytes = 512;
    bool is6430x_;
    const VideoMemory &vram_;
    uint32_t regs_[5] = {};
    uint8_t and_[kPlaneBytes] = {}, xor_[kPlaneBytes] = {};
    uint32_t loaded_ = 0;
    std::vector<uint32_t> dataWords;

  private:
    uint32_t planeBytes() const { return regs_[0] & 0x02 ? 512 : 128; }
    uint32_t loadWords() const { return 2 * planeBytes() / 4; }
    void dataWord(uint32_t value) {
        dataWords.push_back(value);
        if (loaded_ >= loadWords()) {
            fail("cursor data word beyond the image (" + std::to_string(loadWords()) + " words)");
            return;
        }
        uint32_t planeWords = planeBytes() / 4;
        bool xorPlane = loaded_ >= planeWords;
        uint32_t at = uint32_t(regs_[0] >> 22 & 3) * 128 + (loaded_ % planeWords) * 4;
        loaded_++;
        if (at + 4 > kPlaneBytes) {
            fail("a 64 x 64 cursor image loaded into slot " + std::to_string(regs_[0] >> 22 & 3));
            return;
        }
        for (int k = 0; k < 4; k++)
            (xorPlane ? xor_ : and_)[at + uint32_t(k)] = uint8_t(value >> (8 * k));
    }
};

const graf::MemoryArea *memoryArea(const graf::Config &cfg) {
    for (const graf::MemoryArea &a : cfg.areas)
        if (a.name.empty() || a.name == "MEMORY")
            return &a;
    return nullptr;
}

} // namespace

struct CtAdapter::Impl {
    Impl(CtChip c, uint32_t memSize, Machine &m, int pixelBytes)
        : chip(c), vram(memSize), engine(vram, m, sim::is65550(c), pixelBytes),
          xrRegs(ctreg::XrIndex) {}
    CtChip chip;
    VideoMemory vram;
    CtEngine engine;
    vga::VgaCore vgaCore;
    vga::IndexedRegisters xrRegs;
    uint8_t *memory = nullptr;
    CtCursorPorts *cursor = nullptr;
};

CtAdapter::CtAdapter(const std::string &model, graf::Config &cfg, Machine &m) {
    (void)model;
    CtChip c = chipOf(cfg);
    uint32_t size = memSizeOf(c, cfg);
    auto depth = cfg.ints.find("DEPTH");
    int pixelBytes = depth != cfg.ints.end() && depth->second <= 8 ? 1 : 2;
    impl_ = std::make_unique<Impl>(c, size, m, pixelBytes);
    impl_->vgaCore.attach(m);
    vga::IndexedRegisters &xr = impl_->xrRegs;
    xr.attach(m);

    uint8_t code = 0;
    std::vector<uint32_t> sizes = memorySizes(c);
    while (sizes[code] != size)
        code++;
    if (sim::is65550(c)) {
        xr.setReg(0x00, 0x2C);
        xr.setReg(0x01, 0x10);
        xr.setReg(0x02, c == CtChip::C65550 ? 0xE0 : 0xE4);
        xr.setReg(0x03, 0x00);
        xr.setReg(0x04, 0x01);
        xr.setReg(0x08, 0x01);
        xr.setReg(0x43, code == 1 ? 0x02 : 0x00);
    } else if (c == CtChip::C65548) {
        xr.setReg(0x00, 0xDD);
        xr.setReg(0x01, 0x03);
        xr.setReg(0x0F, code);
    } else {
        xr.setReg(0x00, 0xB1);
        xr.setReg(0x01, 0x03);
        xr.setReg(0x04, code);
    }
    for (const auto &[key, value] : cfg.ints) {
        unsigned index = 0;
        char tail = 0;
        if (key.size() == 4 && std::sscanf(key.c_str(), "XR%2x%c", &index, &tail) == 1)
            xr.setReg(uint8_t(index), uint8_t(value));
    }
    if (sim::is65550(c)) {
        CtEngine &e = impl_->engine;
        xr.onRead = [&e](uint8_t index, uint8_t stored) -> uint8_t {
            if (index != ctreg::XR20)
                return stored;
            return uint8_t((stored & ~ctreg::kXr20Busy) | (e.poll() ? ctreg::kXr20Busy : 0));
        };
    } else {
        CtPorts *ports = m.own<CtPorts>(impl_->engine);
        for (uint16_t r = 0; r < 8; r++)
            m.attachPorts(uint16_t(ctreg::DrBase + r * ctreg::DrStep), 4, ports, 4);
        impl_->cursor = m.own<CtCursorPorts>(c == CtChip::C6430x, impl_->vram);
        for (uint16_t r = 0; r < 5; r++)
            m.attachPorts(uint16_t(CtCursorPorts::kFirst + r * ctreg::DrStep), 4, impl_->cursor, 4);
    }

    if (const graf::MemoryArea *area = memoryArea(cfg)) {
        graf::MemoryArea &a = const_cast<graf::MemoryArea &>(*area);
        a.mapped = m.addLinearAperture("MEMORY", a.physBase, a.length, impl_->vram);
        impl_->memory = static_cast<uint8_t *>(a.mapped);
        if (sim::is65550(c)) {
            if (a.length >= ctreg::BlockOffset + ctreg::BlockSize)
                m.mapDevice(impl_->memory + ctreg::BlockOffset, ctreg::BlockSize,
                            m.own<CtBlock>(impl_->engine));
            if (a.length >= ctreg::HostPortOffset + 4)
                m.mapDevice(impl_->memory + ctreg::HostPortOffset, 4,
                            m.own<CtHostPort>(impl_->engine));
        } else if (a.length > 0) {
            m.mapAccessorDevice(impl_->memory, a.length,
                                m.own<CtHostWindow>(impl_->engine, impl_->vram));
        }
    }
    mapPlainAreas(cfg, m);
}

CtAdapter::~CtAdapter() = default;

VideoMemory *CtAdapter::vram() {
    return &impl_->vram;
}

void CtAdapter::drain() {
    impl_->engine.drain();
}

CtChip CtAdapter::chip() const {
    return impl_->chip;
}

vga::VgaCore &CtAdapter::vga() {
    return impl_->vgaCore;
}

uint8_t CtAdapter::xr(uint8_t index) const {
    return impl_->xrRegs.reg(index);
}

const std::vector<vga::IndexedRegisters::Write> &CtAdapter::xrWrites() const {
    return impl_->xrRegs.writes();
}

void CtAdapter::clearXrWrites() {
    impl_->xrRegs.clearWrites();
}

uint8_t *CtAdapter::memory() const {
    return impl_->memory;
}

void CtAdapter::setBusyReads(uint64_t reads) {
    impl_->engine.setBusyReads(reads);
}

void CtAdapter::stayBusy(uint64_t reads) {
    impl_->engine.stayBusy(reads);
}

bool CtAdapter::busy() const {
    return impl_->engine.busy();
}

uint64_t CtAdapter::statusReads() const {
    return impl_->engine.statusReads_;
}

uint64_t CtAdapter::busyStatusReads() const {
    return impl_->engine.busyReads_;
}

const std::vector<CtOp> &CtAdapter::ops() const {
    return impl_->engine.ops;
}

void CtAdapter::clearOps() {
    impl_->engine.ops.clear();
}

CtAdapter::CursorPixel CtAdapter::cursorAt(int x, int y) const {
    return impl_->cursor ? impl_->cursor->at(x, y) : CursorPixel::Transparent;
}

bool CtAdapter::cursorOn() const {
    return impl_->cursor && impl_->cursor->on();
}

int CtAdapter::cursorSize() const {
    return impl_->cursor ? impl_->cursor->size() : 0;
}

int CtAdapter::cursorX() const {
    return impl_->cursor ? impl_->cursor->x() : 0;
}

int CtAdapter::cursorY() const {
    return impl_->cursor ? impl_->cursor->y() : 0;
}

uint32_t CtAdapter::cursorReg(int n) const {
    return impl_->cursor && n >= 8 && n <= 12 ? impl_->cursor->regs_[n - 8] : 0;
}

std::vector<uint32_t> CtAdapter::cursorDataWords() const {
    return impl_->cursor ? impl_->cursor->dataWords : std::vector<uint32_t>{};
}

void CtAdapter::clearCursorDataWords() {
    if (impl_->cursor)
        impl_->cursor->dataWords.clear();
}

std::string CtAdapter::describe() const {
    static const char *const names[] = {"65550", "65554", "65548", "6430x"};
    std::string s = std::string("ct ") + names[int(impl_->chip)] + ": " +
                    std::to_string(impl_->vram.size() / 1024) + " KB";
    s += impl_->vgaCore.attr.screenEnabled() ? ", picture on" : ", blanked";
    s += impl_->engine.busy() ? ", engine busy" : ", engine idle";
    if (cursorOn())
        s += ", cursor " + std::to_string(cursorSize()) + " at " + std::to_string(cursorX()) + "," +
             std::to_string(cursorY());
    return s;
}

namespace {

AdapterRegistration ctRegistration("ct", adapterFactory<CtAdapter>("ct"));

} // namespace

} // namespace sim
