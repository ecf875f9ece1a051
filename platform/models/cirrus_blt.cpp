// The Cirrus Logic BitBLT engine model; the choices it makes where the
// hardware description is open are listed in cirrus_blt.h.
#include "models/cirrus_blt.h"

#include <cstdio>

namespace sim {

namespace {

void fail(const std::string &why) {
    Machine::current().fail("cirrus blt: " + why);
}

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

// A raster operation as its truth table: bit (s << 1 | d) of `table` is the
// result for source bit s and destination bit d.
struct Rop {
    uint8_t code;
    uint8_t table;
};

// Engine code and truth table of each X function, in alu order.
constexpr std::array<Rop, 16> kRops = {{
    {0x00, 0x0}, // GXclear        0
    {0x05, 0x8}, // GXand          S & D
    {0x09, 0x4}, // GXandReverse   S & ~D
    {0x0D, 0xC}, // GXcopy         S
    {0x50, 0x2}, // GXandInverted  ~S & D
    {0x06, 0xA}, // GXnoop         D
    {0x59, 0x6}, // GXxor          S ^ D
    {0x6D, 0xE}, // GXor           S | D
    {0x90, 0x1}, // GXnor          ~(S | D)
    {0x95, 0x9}, // GXequiv        ~S ^ D
    {0x0B, 0x5}, // GXinvert       ~D
    {0xAD, 0xD}, // GXorReverse    S | ~D
    {0xD0, 0x3}, // GXcopyInverted ~S
    {0xD6, 0xB}, // GXorInverted   ~S | D
    {0xDA, 0x7}, // GXnand         ~(S & D)
    {0x0E, 0xF}, // GXset          1
}};

// The truth table of an engine code, or -1 for a code outside the sixteen.
int ropTable(uint8_t code) {
    for (const Rop &r : kRops)
        if (r.code == code)
            return r.table;
    return -1;
}

uint8_t applyRop(int table, uint8_t s, uint8_t d) {
    uint8_t r = 0;
    if (table & 0x1)
        r |= static_cast<uint8_t>(~s & ~d);
    if (table & 0x2)
        r |= static_cast<uint8_t>(~s & d);
    if (table & 0x4)
        r |= static_cast<uint8_t>(s & ~d);
    if (table & 0x8)
        r |= static_cast<uint8_t>(s & d);
    return r;
}

uint32_t regMask(BltReg reg) {
    switch (reg) {
    case BltReg::Bg:
    case BltReg::Fg:
    case BltReg::DstAddr:
        return 0xFFFFFFFFu;
    case BltReg::SrcAddr:
        return 0xFFFFFFu;
    case BltReg::Width:
    case BltReg::Height:
    case BltReg::DstPitch:
    case BltReg::SrcPitch:
    case BltReg::Trans:
        return 0xFFFFu;
    default:
        return 0xFFu;
    }
}

uint32_t regValue(const BltRegs &r, BltReg reg) {
    switch (reg) {
    case BltReg::Bg:
        return r.bg;
    case BltReg::Fg:
        return r.fg;
    case BltReg::Width:
        return r.width;
    case BltReg::Height:
        return r.height;
    case BltReg::DstPitch:
        return r.dstPitch;
    case BltReg::SrcPitch:
        return r.srcPitch;
    case BltReg::DstAddr:
        return r.dstAddr;
    case BltReg::SrcAddr:
        return r.srcAddr;
    case BltReg::Skip:
        return r.skip;
    case BltReg::Mode:
        return r.mode;
    case BltReg::Rop:
        return r.rop;
    case BltReg::ModeExt:
        return r.modeExt;
    case BltReg::Trans:
        return r.trans;
    case BltReg::Count:
        break;
    }
    return 0;
}

void setRegValue(BltRegs &r, BltReg reg, uint32_t v) {
    switch (reg) {
    case BltReg::Bg:
        r.bg = v;
        break;
    case BltReg::Fg:
        r.fg = v;
        break;
    case BltReg::Width:
        r.width = static_cast<uint16_t>(v);
        break;
    case BltReg::Height:
        r.height = static_cast<uint16_t>(v);
        break;
    case BltReg::DstPitch:
        r.dstPitch = static_cast<uint16_t>(v);
        break;
    case BltReg::SrcPitch:
        r.srcPitch = static_cast<uint16_t>(v);
        break;
    case BltReg::DstAddr:
        r.dstAddr = v;
        break;
    case BltReg::SrcAddr:
        r.srcAddr = v & 0xFFFFFFu;
        break;
    case BltReg::Skip:
        r.skip = static_cast<uint8_t>(v);
        break;
    case BltReg::Mode:
        r.mode = static_cast<uint8_t>(v);
        break;
    case BltReg::Rop:
        r.rop = static_cast<uint8_t>(v);
        break;
    case BltReg::ModeExt:
        r.modeExt = static_cast<uint8_t>(v);
        break;
    case BltReg::Trans:
        r.trans = static_cast<uint16_t>(v);
        break;
    case BltReg::Count:
        break;
    }
}

// ---- operations ----

// What one start does, decoded from the mode byte and mode extension.
struct Plan {
    BltKind kind;
    int pixelBytes;
    bool transparent;
    bool backward;
    bool invert;
    bool matchColour; // transparent expansion compares with the transparent colour
};

bool decode(const BltRegs &r, Plan &plan) {
    using namespace bltmode;
    const uint8_t m = r.mode;
    std::string why;
    switch (m & (Pixel16 | Pixel24)) {
    case 0:
        plan.pixelBytes = 1;
        break;
    case Pixel16:
        plan.pixelBytes = 2;
        break;
    case Pixel24:
        plan.pixelBytes = 3;
        break;
    default:
        why = "4-byte pixels";
    }
    plan.transparent = (m & Transparent) != 0;
    plan.backward = (m & Backward) != 0;
    plan.invert = (r.modeExt & bltext::InvertSource) != 0;
    if (!why.empty()) {
    } else if (m & 0x06) {
        why = "host-memory source or destination";
    } else if ((m & (Expand | Pattern)) == (Expand | Pattern)) {
        if (!(r.modeExt & bltext::SolidFill))
            why = "pattern colour expansion";
        else if (m & (Transparent | Backward))
            why = "transparent or backward fill";
        plan.kind = BltKind::Fill;
    } else if (m & Expand) {
        if (plan.backward)
            why = "backward colour expansion";
        plan.kind = plan.transparent ? BltKind::TransparentExpand : BltKind::Expand;
    } else if (m & Pattern) {
        if (m & (Transparent | Backward))
            why = "transparent or backward pattern copy";
        plan.kind = BltKind::PatternCopy;
    } else {
        if (plan.transparent && plan.pixelBytes == 3)
            why = "transparent copy at 3 pixel bytes";
        plan.kind = plan.transparent ? BltKind::TransparentCopy
                    : plan.backward  ? BltKind::CopyBackward
                                     : BltKind::CopyForward;
    }
    if (why.empty())
        return true;
    fail("unsupported mode " + hex2(m) + " (mode extension " + hex2(r.modeExt) + "): " + why);
    return false;
}

// The drawing itself, on the model's own view of video memory.
class Runner {
  public:
    Runner(VideoMemory &vram, const BltRegs &r, const Plan &p, int rop)
        : mem_(vram.data()), size_(vram.size()), r_(r), p_(p), rop_(rop),
          bytes_(uint32_t(r.width) + 1), rows_(uint32_t(r.height) + 1) {}

    bool run() {
        switch (p_.kind) {
        case BltKind::CopyForward:
        case BltKind::CopyBackward:
        case BltKind::TransparentCopy:
            return copy();
        case BltKind::Fill:
            return fill();
        case BltKind::Expand:
        case BltKind::TransparentExpand:
            return expand();
        case BltKind::PatternCopy:
            return pattern();
        case BltKind::Count:
            break;
        }
        return false;
    }

  private:
    // [first, first + length) lies in video memory.
    bool inside(int64_t first, int64_t length) const {
        return first >= 0 && length >= 0 && first + length <= int64_t(size_);
    }
    bool outside(const char *what) const {
        fail(std::string(what) + " reaches beyond video memory");
        return false;
    }
    bool wholePixels() const {
        if (bytes_ % p_.pixelBytes == 0)
            return true;
        fail("width of " + std::to_string(bytes_) + " bytes is not a whole number of " +
             std::to_string(p_.pixelBytes) + "-byte pixels");
        return false;
    }
    uint8_t colourByte(uint32_t colour, uint32_t i) const {
        return uint8_t(colour >> (8 * (i % uint32_t(p_.pixelBytes))));
    }
    void put(int64_t addr, uint8_t s) { mem_[addr] = applyRop(rop_, s, mem_[addr]); }

    // Whether a pixel of `value` (a byte at 1 pixel byte, a pixel at 2) is the
    // transparent colour, for the destination at `dst`.
    bool isTransparentValue(uint32_t value, int64_t dst) const {
        if (p_.pixelBytes == 1)
            return uint8_t(value) == uint8_t(r_.trans >> ((dst & 1) ? 8 : 0));
        return uint16_t(value) == r_.trans;
    }
    // The same for the source unit at `src`.
    bool isTransparent(int64_t src, int64_t dst) const {
        const uint32_t v =
            p_.pixelBytes == 1 ? mem_[src] : uint32_t(mem_[src] | mem_[src + 1] << 8);
        return isTransparentValue(v, dst);
    }

    bool copy() {
        const int64_t step = p_.backward ? -1 : 1;
        const int unit = p_.transparent ? p_.pixelBytes : 1;
        if (p_.transparent && !wholePixels())
            return false;
        // Row r covers [start, start + bytes) forwards and (start - bytes, start] backwards.
        for (uint32_t row = 0; row < rows_; row++) {
            const int64_t d = int64_t(r_.dstAddr) + step * int64_t(row) * r_.dstPitch;
            const int64_t s = int64_t(r_.srcAddr) + step * int64_t(row) * r_.srcPitch;
            const int64_t dLow = p_.backward ? d - bytes_ + 1 : d;
            const int64_t sLow = p_.backward ? s - bytes_ + 1 : s;
            if (!inside(dLow, bytes_))
                return outside("copy destination");
            if (!inside(sLow, bytes_))
                return outside("copy source");
        }
        for (uint32_t row = 0; row < rows_; row++) {
            const int64_t d = int64_t(r_.dstAddr) + step * int64_t(row) * r_.dstPitch;
            const int64_t s = int64_t(r_.srcAddr) + step * int64_t(row) * r_.srcPitch;
            for (uint32_t i = 0; i < bytes_; i += unit) {
                // The unit's lowest byte: a backward walk meets its last byte first.
                const int64_t dUnit = p_.backward ? d - i - (unit - 1) : d + i;
                const int64_t sUnit = p_.backward ? s - i - (unit - 1) : s + i;
                if (p_.transparent && isTransparent(sUnit, dUnit))
                    continue;
                for (int k = 0; k < unit; k++) {
                    const int64_t off = p_.backward ? unit - 1 - k : k;
                    put(dUnit + off, mem_[sUnit + off]);
                }
            }
        }
        return true;
    }

    bool fill() {
        if (!wholePixels())
            return false;
        for (uint32_t row = 0; row < rows_; row++)
            if (!inside(int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch, bytes_))
                return outside("fill");
        for (uint32_t row = 0; row < rows_; row++) {
            const int64_t d = int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch;
            for (uint32_t i = 0; i < bytes_; i++)
                put(d + i, colourByte(r_.fg, i));
        }
        return true;
    }

    bool expand() {
        if (!wholePixels())
            return false;
        const uint32_t pb = uint32_t(p_.pixelBytes);
        const uint32_t pixels = bytes_ / pb;
        uint32_t skip = r_.skip;
        if (pb == 3) {
            if (skip % 3) {
                fail("skip count " + std::to_string(skip) +
                     " at 3 pixel bytes is not whole pixels");
                return false;
            }
            skip /= 3;
        }
        const uint32_t rowBytes = (pixels + 7) / 8;
        if (!inside(r_.srcAddr, int64_t(rowBytes) * rows_))
            return outside("colour-expansion source");
        for (uint32_t row = 0; row < rows_ && skip < pixels; row++) {
            const int64_t first = int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch + skip * pb;
            if (!inside(first, int64_t(pixels - skip) * pb))
                return outside("colour-expansion destination");
        }
        for (uint32_t row = 0; row < rows_; row++) {
            const uint8_t *bits = mem_ + r_.srcAddr + row * rowBytes;
            const int64_t d = int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch;
            for (uint32_t x = skip; x < pixels; x++) {
                bool on = (bits[x / 8] >> (7 - x % 8)) & 1;
                if (p_.invert)
                    on = !on;
                const uint32_t colour = on ? r_.fg : r_.bg;
                if (p_.transparent && !p_.matchColour && !on)
                    continue;
                if (p_.transparent && p_.matchColour && isTransparentValue(colour, d + x * pb))
                    continue;
                for (uint32_t k = 0; k < pb; k++)
                    put(d + x * pb + k, colourByte(colour, k));
            }
        }
        return true;
    }

    bool pattern() {
        if (!wholePixels())
            return false;
        const uint32_t pb = uint32_t(p_.pixelBytes);
        if (!inside(r_.srcAddr, 64 * pb))
            return outside("pattern source");
        for (uint32_t row = 0; row < rows_; row++)
            if (!inside(int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch, bytes_))
                return outside("pattern destination");
        for (uint32_t row = 0; row < rows_; row++) {
            const uint8_t *patRow = mem_ + r_.srcAddr + (row % 8) * 8 * pb;
            const int64_t d = int64_t(r_.dstAddr) + int64_t(row) * r_.dstPitch;
            for (uint32_t i = 0; i < bytes_; i++)
                put(d + i, patRow[((i / pb) % 8) * pb + i % pb]);
        }
        return true;
    }

    uint8_t *mem_;
    size_t size_;
    const BltRegs &r_;
    const Plan &p_;
    int rop_;
    uint32_t bytes_, rows_;
};

} // namespace

const std::array<uint8_t, 16> kCirrusRopCodes = [] {
    std::array<uint8_t, 16> codes{};
    for (size_t i = 0; i < codes.size(); i++)
        codes[i] = kRops[i].code;
    return codes;
}();

const char *bltKindName(BltKind k) {
    switch (k) {
    case BltKind::CopyForward:
        return "copy forward";
    case BltKind::CopyBackward:
        return "copy backward";
    case BltKind::TransparentCopy:
        return "transparent copy";
    case BltKind::Expand:
        return "colour expansion";
    case BltKind::TransparentExpand:
        return "transparent colour expansion";
    case BltKind::Fill:
        return "solid fill";
    case BltKind::PatternCopy:
        return "pattern copy";
    case BltKind::Count:
        break;
    }
    return "?";
}

// ---- the core ----

CirrusBltCore::CirrusBltCore(VideoMemory &vram, int busyReads)
    : vram_(vram), busyReads_(busyReads < 0 ? 0 : busyReads) {}

void CirrusBltCore::setBusyReads(int reads) {
    busyReads_ = reads < 0 ? 0 : reads;
}

void CirrusBltCore::store(const BltWrite &w) {
    const uint32_t laneMask = w.bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * w.bytes)) - 1;
    const uint32_t mask = (laneMask << (8 * w.lane)) & regMask(w.reg);
    const uint32_t old = regValue(regs_, w.reg);
    setRegValue(regs_, w.reg, (old & ~mask) | ((w.value << (8 * w.lane)) & mask));
    if (w.reg == BltReg::Rop && ropTable(regs_.rop) < 0)
        fail("unknown raster operation " + hex2(regs_.rop));
}

void CirrusBltCore::write(const BltWrite *fields, size_t count) {
    stats_.registerWrites++;
    bool starts = false;
    for (size_t i = 0; i < count; i++) {
        const BltWrite &w = fields[i];
        if (w.reg == BltReg::DstAddr && w.lane <= 2 && w.lane + w.bytes > 2)
            starts = autostart_;
    }
    // A write that starts an operation is judged as a start, once.
    if (!starts && !hasRoom())
        fail("register write while the engine is busy");
    for (size_t i = 0; i < count; i++)
        store(fields[i]);
    if (starts)
        requestStart(true);
}

uint32_t CirrusBltCore::read(BltReg reg, int lane, int bytes) const {
    const uint32_t v = regValue(regs_, reg) >> (8 * lane);
    return bytes >= 4 ? v : v & ((1u << (8 * bytes)) - 1);
}

uint8_t CirrusBltCore::readStatus() {
    stats_.statusReads++;
    uint8_t status = 0;
    if (running_)
        status |= bltstatus::Busy;
    if (!hasRoom())
        status |= bltstatus::NoRoom;
    if (running_ && --busyLeft_ <= 0) {
        if (queued_) {
            queued_ = false;
            busyLeft_ = busyReads_;
        } else {
            running_ = false;
            setGuard(false);
        }
    }
    return status;
}

void CirrusBltCore::writeStatus(uint8_t value) {
    using namespace bltstatus;
    stats_.statusWrites++;
    if (value & Reset) {
        running_ = queued_ = false;
        setGuard(false);
    }
    if (value & ~(Start | Reset | Autostart)) {
        fail("unknown status bits written: " + hex2(value));
        return;
    }
    const bool autostart = (value & Autostart) != 0;
    if (autostart != autostart_) {
        // Autostart changes only on an idle engine; turning it off before the
        // last autostarted operation ends is the classic missing wait.
        if (running_)
            fail("register write while the engine is busy (autostart " +
                 std::string(autostart ? "on" : "off") + ")");
        autostart_ = autostart;
    }
    if (value & Start)
        requestStart(false);
}

void CirrusBltCore::requestStart(bool autostarted) {
    if (!hasRoom()) {
        fail("start while the engine cannot take another operation");
        return;
    }
    const bool whileRunning = running_;
    if (!execute(autostarted))
        return;
    stats_.starts++;
    if (autostarted)
        stats_.autostarts++;
    if (whileRunning) {
        stats_.queuedStarts++;
        queued_ = true;
    } else {
        beginBusy();
    }
}

void CirrusBltCore::beginBusy() {
    if (busyReads_ == 0)
        return;
    running_ = true;
    busyLeft_ = busyReads_;
    setGuard(true);
}

void CirrusBltCore::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    Machine::current().guardVideoMemory(vram_, on);
}

bool CirrusBltCore::execute(bool autostarted) {
    Plan plan{};
    if (!decode(regs_, plan))
        return false;
    plan.matchColour = transparentExpansion_ == BltTransparentExpansion::MatchingColour;
    if (plan.kind == BltKind::TransparentExpand && plan.matchColour && plan.pixelBytes == 3) {
        fail("unsupported mode " + hex2(regs_.mode) +
             ": transparent colour expansion at 3 pixel bytes has no colour to compare");
        return false;
    }
    const int table = ropTable(regs_.rop);
    if (table < 0) {
        fail("start with unknown raster operation " + hex2(regs_.rop));
        return false;
    }
    if (!Runner(vram_, regs_, plan, table).run())
        return false;
    stats_.ops[static_cast<size_t>(plan.kind)]++;
    if (logging_)
        log_.push_back(BltOp{plan.kind, plan.pixelBytes, autostarted, regs_});
    return true;
}

void CirrusBltCore::drain() {
    running_ = queued_ = false;
    busyLeft_ = 0;
    setGuard(false);
}

// ---- the memory-mapped front end ----

namespace {

struct Lane {
    bool defined;
    BltReg reg;
    uint8_t lane;
};

// What each byte of the block is.
Lane laneAt(uint32_t offset) {
    using M = CirrusBltMmio;
    struct Range {
        uint32_t first, bytes;
        BltReg reg;
        uint8_t firstLane;
    };
    static const Range ranges[] = {
        {M::Bg, 4, BltReg::Bg, 0},
        {M::Fg, 4, BltReg::Fg, 0},
        {M::Width, 2, BltReg::Width, 0},
        {M::Height, 2, BltReg::Height, 0},
        {M::DstPitch, 2, BltReg::DstPitch, 0},
        {M::SrcPitch, 2, BltReg::SrcPitch, 0},
        {M::DstAddr, 4, BltReg::DstAddr, 0},
        {M::SrcAddr, 3, BltReg::SrcAddr, 0},
        {M::Skip, 1, BltReg::Skip, 0},
        {M::Mode, 1, BltReg::Mode, 0},
        {M::Rop, 1, BltReg::Rop, 0},
        {M::ModeExt, 1, BltReg::ModeExt, 0},
        {M::Trans, 2, BltReg::Trans, 0},
    };
    for (const Range &r : ranges)
        if (offset >= r.first && offset < r.first + r.bytes)
            return {true, r.reg, uint8_t(r.firstLane + offset - r.first)};
    return {false, BltReg::Count, 0};
}

// The register fields an access covers; false when a byte is undefined.
bool fieldsOf(uint32_t offset, int width, uint32_t value, std::vector<BltWrite> &out) {
    for (int i = 0; i < width; i++) {
        const Lane l = laneAt(offset + uint32_t(i));
        if (!l.defined)
            return false;
        const uint8_t byte = uint8_t(value >> (8 * i));
        if (!out.empty() && out.back().reg == l.reg &&
            out.back().lane + out.back().bytes == l.lane) {
            out.back().value |= uint32_t(byte) << (8 * out.back().bytes);
            out.back().bytes++;
        } else {
            out.push_back(BltWrite{l.reg, l.lane, 1, byte});
        }
    }
    return true;
}

std::string accessName(const char *what, uint32_t offset, int width) {
    return std::to_string(8 * width) + "-bit " + what + " at " +
           (offset > 0xFF ? std::to_string(offset) : hex2(offset));
}

bool validWidth(int width) {
    return width == 1 || width == 2 || width == 4;
}

} // namespace

uint32_t CirrusBltMmio::read(uint32_t offset, int width) {
    if (offset == Status && width == 1)
        return core_.readStatus();
    std::vector<BltWrite> fields;
    if (!validWidth(width) || !fieldsOf(offset, width, 0, fields)) {
        fail(accessName("read", offset, width) + " outside the registers");
        return 0;
    }
    uint32_t v = 0;
    int shift = 0;
    for (const BltWrite &p : fields) {
        v |= core_.read(p.reg, p.lane, p.bytes) << shift;
        shift += 8 * p.bytes;
    }
    return v;
}

void CirrusBltMmio::write(uint32_t offset, int width, uint32_t value) {
    if (offset == Status && width == 1) {
        core_.writeStatus(uint8_t(value));
        return;
    }
    std::vector<BltWrite> fields;
    if (!validWidth(width) || !fieldsOf(offset, width, value, fields)) {
        fail(accessName("write", offset, width) + " outside the registers");
        return;
    }
    core_.write(fields.data(), fields.size());
}

// ---- the graphics-controller front end ----

namespace {

Lane grLane(uint8_t index) {
    switch (index) {
    case 0x00:
        return {true, BltReg::Bg, 0};
    case 0x01:
        return {true, BltReg::Fg, 0};
    case 0x10:
    case 0x12:
    case 0x14:
        return {true, BltReg::Bg, uint8_t((index - 0x10) / 2 + 1)};
    case 0x11:
    case 0x13:
    case 0x15:
        return {true, BltReg::Fg, uint8_t((index - 0x11) / 2 + 1)};
    case 0x20:
    case 0x21:
        return {true, BltReg::Width, uint8_t(index - 0x20)};
    case 0x22:
    case 0x23:
        return {true, BltReg::Height, uint8_t(index - 0x22)};
    case 0x24:
    case 0x25:
        return {true, BltReg::DstPitch, uint8_t(index - 0x24)};
    case 0x26:
    case 0x27:
        return {true, BltReg::SrcPitch, uint8_t(index - 0x26)};
    case 0x28:
    case 0x29:
    case 0x2A:
        return {true, BltReg::DstAddr, uint8_t(index - 0x28)};
    case 0x2C:
    case 0x2D:
    case 0x2E:
        return {true, BltReg::SrcAddr, uint8_t(index - 0x2C)};
    case 0x30:
        return {true, BltReg::Mode, 0};
    case 0x32:
        return {true, BltReg::Rop, 0};
    case 0x34:
    case 0x35:
        return {true, BltReg::Trans, uint8_t(index - 0x34)};
    default:
        return {false, BltReg::Count, 0};
    }
}

constexpr uint8_t kGrStatus = 0x31;

} // namespace

bool CirrusBltGr::handles(uint8_t index) {
    return index == kGrStatus || grLane(index).defined;
}

bool CirrusBltGr::write(uint8_t index, uint8_t value) {
    if (index == kGrStatus) {
        core_.writeStatus(value);
        return true;
    }
    const Lane l = grLane(index);
    if (!l.defined)
        return false;
    core_.write({BltWrite{l.reg, l.lane, 1, value}});
    return true;
}

bool CirrusBltGr::read(uint8_t index, uint8_t *value) {
    if (index == kGrStatus) {
        *value = core_.readStatus();
        return true;
    }
    const Lane l = grLane(index);
    if (!l.defined)
        return false;
    *value = uint8_t(core_.read(l.reg, l.lane, 1));
    return true;
}

} // namespace sim
