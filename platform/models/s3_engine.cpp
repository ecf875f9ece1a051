// The 8514/A-style engine core and its front ends; the model's choices are
// listed in s3_engine.h.
#include "models/s3_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

std::string hex(uint32_t v, int digits = 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

const char *regName(S3Reg r) {
    switch (r) {
    case S3Reg::CurX:
        return "current x";
    case S3Reg::CurY:
        return "current y";
    case S3Reg::DestX:
        return "destination x";
    case S3Reg::DestY:
        return "destination y";
    case S3Reg::ErrTerm:
        return "error term";
    case S3Reg::MajorAxis:
        return "major axis count";
    case S3Reg::Command:
        return "command";
    case S3Reg::BgColour:
        return "background colour";
    case S3Reg::FgColour:
        return "foreground colour";
    case S3Reg::WriteMask:
        return "write mask";
    case S3Reg::ReadMask:
        return "read mask";
    case S3Reg::BgMix:
        return "background mix";
    case S3Reg::FgMix:
        return "foreground mix";
    case S3Reg::Multi:
        return "multifunction";
    case S3Reg::PixelData:
        return "pixel transfer";
    case S3Reg::SubsystemControl:
        return "subsystem control";
    case S3Reg::AdvancedFunction:
        return "advanced function control";
    case S3Reg::Count:
        break;
    }
    return "?";
}

const char *const kHalfNames[4] = {"background colour", "foreground colour", "write mask",
                                   "read mask"};

int signExtend(uint32_t v, int bits) {
    uint32_t m = 1u << (bits - 1);
    v &= (1u << bits) - 1;
    return int(v ^ m) - int(m);
}

bool isHostOp(S3Op op) {
    return op == S3Op::HostPixels || op == S3Op::HostBits || op == S3Op::ReadBack;
}

std::vector<S3Command> s3Commands() {
    std::vector<S3Command> t;
    t.push_back({0x52B3, S3Op::Fill});
    // Blits: bit 0x20 x increasing, bit 0x80 y increasing.
    for (uint16_t w : {0xC0F3, 0xC0D3, 0xC073, 0xC053})
        t.push_back({w, S3Op::Blit, (w & 0x20) != 0, (w & 0x80) != 0});
    t.push_back({0x201B, S3Op::Point});
    for (uint16_t base : {0x2017, 0x2057})
        for (uint16_t dir : {0x00, 0x20, 0x80, 0xA0}) {
            uint16_t w = uint16_t(base | dir);
            t.push_back({w, S3Op::Line, (w & 0x20) != 0, (w & 0x80) != 0, (w & 0x40) != 0});
        }
    t.push_back({0x53F1, S3Op::HostPixels});
    t.push_back({0x53B1, S3Op::HostPixels});
    t.push_back({0x53F3, S3Op::HostBits, true, true, false, 16});
    t.push_back({0x51F3, S3Op::HostBits, true, true, false, 8});
    t.push_back({0x53F0, S3Op::ReadBack});
    return t;
}

S3ChipParams makeS3Params() {
    S3ChipParams p;
    p.name = "s3 engine";
    p.fifoDepth = 8;
    p.coordBits = 12;
    p.multiIndices = 0x041F; // height, the four scissors, pixel control
    p.commands = s3Commands();
    p.ports = {{0x42E8, S3Reg::SubsystemControl},
               {0x4AE8, S3Reg::AdvancedFunction},
               {0x82E8, S3Reg::CurY},
               {0x86E8, S3Reg::CurX},
               {0x8AE8, S3Reg::DestY},
               {0x8EE8, S3Reg::DestX},
               {0x92E8, S3Reg::ErrTerm},
               {0x96E8, S3Reg::MajorAxis},
               {0x9AE8, S3Reg::Command},
               {0xA2E8, S3Reg::BgColour},
               {0xA6E8, S3Reg::FgColour},
               {0xAAE8, S3Reg::WriteMask},
               {0xAEE8, S3Reg::ReadMask},
               {0xB6E8, S3Reg::BgMix},
               {0xBAE8, S3Reg::FgMix},
               {0xBEE8, S3Reg::Multi},
               {0xE2E8, S3Reg::PixelData},
               {0xE2EA, S3Reg::PixelData}};
    return p;
}

} // namespace

const char *s3OpName(S3Op op) {
    switch (op) {
    case S3Op::Fill:
        return "fill";
    case S3Op::Blit:
        return "blit";
    case S3Op::Point:
        return "point";
    case S3Op::Line:
        return "line";
    case S3Op::HostPixels:
        return "host pixels";
    case S3Op::HostBits:
        return "host 1-bit data";
    case S3Op::ReadBack:
        return "read-back";
    case S3Op::Count:
        break;
    }
    return "?";
}

const S3Command *S3ChipParams::command(uint16_t word) const {
    for (const S3Command &c : commands)
        if (c.word == word)
            return &c;
    return nullptr;
}

bool S3ChipParams::roleAt(uint16_t port, S3Reg *reg) const {
    for (const S3PortRole &p : ports)
        if (p.port == (port & ~1u)) {
            *reg = p.reg;
            return true;
        }
    return false;
}

const S3ChipParams &s3ChipParams() {
    static const S3ChipParams params = makeS3Params();
    return params;
}

uint32_t s3Mix(int code, uint32_t s, uint32_t d) {
    switch (code & 0x0F) {
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
        return ~(s & d);
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
    default:
        return ~(s | d);
    }
}

// ---- the core ----

S3EngineCore::S3EngineCore(VideoMemory &vram, const S3ChipParams &chip, int busyReads)
    : vram_(vram), chip_(chip), busyReads_(busyReads < 0 ? 0 : busyReads) {}

void S3EngineCore::fail(const std::string &what) const {
    Machine::current().fail(chip_.name + ": " + what);
}

void S3EngineCore::setPixelBits(int bits) {
    if (bits != 4 && bits != 8 && bits != 16 && bits != 32)
        throw std::invalid_argument(chip_.name + ": no " + std::to_string(bits) + "-bit pixels");
    pixelBits_ = bits;
    halfWritten_ = {};
}

S3Status S3EngineCore::readStatus() {
    stats_.statusReads++;
    S3Status s;
    const int free = chip_.fifoDepth - queued_;
    s.fifo = uint16_t((1u << queued_) - 1);
    s.busy = busy();
    Transfer &t = transfer_;
    if (t.active && t.toHost && t.readyLeft == 0) {
        s.dataReady = true;
        t.readySeen = true;
    }
    roomSeen_ = free;
    writesSince_ = 0;
    // One step of progress per read.
    if (queued_ > 0)
        queued_--;
    if (busyLeft_ > 0)
        busyLeft_--;
    if (t.active && t.toHost && t.readyLeft > 0)
        t.readyLeft--;
    if (running_ && busyLeft_ == 0 && queued_ == 0 && !t.active) {
        running_ = false;
        setGuard(false);
    }
    return s;
}

uint16_t S3EngineCore::read(S3Reg reg) {
    switch (reg) {
    case S3Reg::Command:
        return readStatus().word();
    case S3Reg::ErrTerm:
        return regs_.errTerm;
    case S3Reg::AdvancedFunction:
        return regs_.advancedFunction;
    case S3Reg::PixelData:
        return uint16_t(readData(2));
    default:
        fail(std::string("read of the ") + regName(reg) + " register, which is write-only");
        return 0xFFFF;
    }
}

void S3EngineCore::write(S3Reg reg, uint16_t value) {
    switch (reg) {
    case S3Reg::SubsystemControl:
        subsystemControl(value);
        return;
    case S3Reg::AdvancedFunction:
        regs_.advancedFunction = value;
        return;
    case S3Reg::PixelData:
        writeData(value, 2);
        return;
    default:
        break;
    }
    stats_.registerWrites++;
    if (transfer_.active) {
        fail(std::string("register write (") + regName(reg) + " " + hex(value) +
             ") while pixel-transfer words are owed (row " + std::to_string(transfer_.row) +
             " of " + std::to_string(transfer_.h) + ")");
        return;
    }
    const bool wasBusy = busy();
    if (writesSince_ >= roomSeen_)
        fail(std::string("register write (") + regName(reg) + " " + hex(value) +
             ") beyond the FIFO room the last status read showed (" + std::to_string(roomSeen_) +
             " free, " + std::to_string(writesSince_) + " written since)");
    writesSince_++;
    if (queued_ < chip_.fifoDepth)
        queued_++;
    if (reg == S3Reg::Command)
        command(value, wasBusy);
    else
        store(reg, value);
}

void S3EngineCore::store32(uint32_t &reg, int index, uint16_t value) {
    bool &half = halfWritten_[size_t(index)];
    if (pixelBits_ != 32) {
        reg = value;
        return;
    }
    if (!half)
        reg = (reg & 0xFFFF0000u) | value;
    else
        reg = (reg & 0xFFFFu) | uint32_t(value) << 16;
    half = !half;
}

void S3EngineCore::store(S3Reg reg, uint16_t value) {
    switch (reg) {
    case S3Reg::CurX:
        regs_.curX = value;
        break;
    case S3Reg::CurY:
        regs_.curY = value;
        break;
    case S3Reg::DestX:
        regs_.destX = value;
        break;
    case S3Reg::DestY:
        regs_.destY = value;
        break;
    case S3Reg::ErrTerm:
        regs_.errTerm = value;
        break;
    case S3Reg::MajorAxis:
        regs_.majorAxis = value;
        break;
    case S3Reg::BgColour:
        store32(regs_.bgColour, 0, value);
        break;
    case S3Reg::FgColour:
        store32(regs_.fgColour, 1, value);
        break;
    case S3Reg::WriteMask:
        store32(regs_.writeMask, 2, value);
        break;
    case S3Reg::ReadMask:
        store32(regs_.readMask, 3, value);
        break;
    case S3Reg::BgMix:
    case S3Reg::FgMix:
        if (value & ~uint16_t(s3mix::CodeMask | s3mix::SourceMask))
            fail(std::string(regName(reg)) + " " + hex(value) +
                 " has bits the engine does not take");
        (reg == S3Reg::BgMix ? regs_.bgMix : regs_.fgMix) =
            uint8_t(value & (s3mix::CodeMask | s3mix::SourceMask));
        break;
    case S3Reg::Multi:
        multi(value);
        break;
    default:
        break;
    }
}

void S3EngineCore::multi(uint16_t value) {
    const int index = value >> 12;
    const uint16_t v = value & 0x0FFF;
    if (!(chip_.multiIndices & (1u << index))) {
        fail("multifunction index " + std::to_string(index) + " (" + hex(value) +
             ") is not modelled");
        return;
    }
    switch (value & 0xF000) {
    case s3multi::Height:
        regs_.height = v;
        break;
    case s3multi::ScissorTop:
        regs_.scissorTop = v;
        break;
    case s3multi::ScissorLeft:
        regs_.scissorLeft = v;
        break;
    case s3multi::ScissorBottom:
        regs_.scissorBottom = v;
        break;
    case s3multi::ScissorRight:
        regs_.scissorRight = v;
        break;
    case s3multi::PixelControl:
        if (value != s3pixctl::Foreground && value != s3pixctl::HostBits &&
            value != s3pixctl::MemoryBits) {
            fail("pixel control " + hex(value) + " is not one the engine knows");
            return;
        }
        regs_.pixelControl = value;
        break;
    default:
        break;
    }
}

void S3EngineCore::subsystemControl(uint16_t value) {
    if (!(value & s3ctl::Reset))
        return;
    stats_.resets++;
    transfer_ = Transfer{};
    queued_ = 0;
    busyLeft_ = 0;
    running_ = false;
    halfWritten_ = {};
    setGuard(false);
}

void S3EngineCore::command(uint16_t word, bool wasBusy) {
    const S3Command *c = chip_.command(word);
    if (c == nullptr) {
        fail("unknown command word " + hex(word));
        return;
    }
    for (size_t i = 0; i < halfWritten_.size(); i++)
        if (halfWritten_[i]) {
            fail("command " + hex(word) + " while the 32-bit " + kHalfNames[i] +
                 " has only its low half written");
            halfWritten_ = {};
            if (isHostOp(c->op))
                startTransfer(*c, false);
            return;
        }
    stats_.commands++;
    stats_.ops[size_t(c->op)]++;
    log_.push_back(word);
    const bool host = isHostOp(c->op);
    bool ok = true;
    if (host && wasBusy && !chip_.hostOpsQueue) {
        fail(std::string(s3OpName(c->op)) + " command " + hex(word) +
             " while the engine is busy (the driver waits for idle first)");
        ok = false;
    }
    ok = ok && validate(*c);
    if (ok && !fits(*c)) {
        fail(std::string(s3OpName(c->op)) + " command " + hex(word) +
             " reaches past video memory; it draws nothing");
        ok = false;
    }
    if (host)
        startTransfer(*c, ok);
    else if (ok)
        run(*c);
    beginBusy();
}

bool S3EngineCore::validate(const S3Command &c) {
    const std::string what = std::string(s3OpName(c.op)) + " command " + hex(c.word);
    if (linePixels_ == 0) {
        fail(what + " while the board sets no valid line width");
        return false;
    }
    if (c.op == S3Op::ReadBack)
        return true;
    const uint16_t pc = regs_.pixelControl;
    if (c.op == S3Op::HostBits && pc != s3pixctl::HostBits) {
        fail(what + " with pixel control " + hex(pc) + " (host bits need 0xA080)");
        return false;
    }
    if (pc == s3pixctl::HostBits && c.op != S3Op::HostBits) {
        fail(what + " with pixel control 0xA080, but the command carries no 1-bit data");
        return false;
    }
    if (pc == s3pixctl::MemoryBits && c.op != S3Op::Blit) {
        fail(what + " with pixel control 0xA0C0, but the command has no video-memory source");
        return false;
    }
    const bool bgUsed = pc != s3pixctl::Foreground;
    for (int k = 0; k < 2; k++) {
        if (k == 1 && !bgUsed)
            break;
        const uint8_t m = k == 0 ? regs_.fgMix : regs_.bgMix;
        const char *name = k == 0 ? "foreground mix" : "background mix";
        const uint8_t src = m & s3mix::SourceMask;
        if (src == s3mix::Host && c.op != S3Op::HostPixels) {
            fail(what + ": the " + name + " takes host pixel data, which the command has not");
            return false;
        }
        if (src == s3mix::Memory && c.op != S3Op::Blit) {
            fail(what + ": the " + name + " takes video memory, which the command does not read");
            return false;
        }
    }
    return true;
}

// Visits the pixels of an operation in the order the engine takes them:
// fn(destination x, y, source x, y); the source is the blit's.
struct S3EngineCore::Walk {
    template <class Fn> static void rect(const S3EngineCore &e, const S3Command &c, Fn fn) {
        const S3Regs &r = e.regs_;
        const int w = e.coord(r.majorAxis) + 1;
        const int h = c.op == S3Op::Point ? 1 : e.coord(r.height) + 1;
        const bool blit = c.op == S3Op::Blit;
        const int dx0 = blit ? r.destX : r.curX, dy0 = blit ? r.destY : r.curY;
        const int sx = c.incX ? 1 : -1, sy = c.incY ? 1 : -1;
        for (int row = 0; row < h; row++)
            for (int col = 0; col < w; col++)
                if (!fn(e.coord(uint32_t(dx0 + sx * col)), e.coord(uint32_t(dy0 + sy * row)),
                        e.coord(uint32_t(r.curX + sx * col)), e.coord(uint32_t(r.curY + sy * row))))
                    return;
    }
    template <class Fn> static void line(const S3EngineCore &e, const S3Command &c, Fn fn) {
        const S3Regs &r = e.regs_;
        const S3ChipParams &p = e.chip_;
        int x = e.coord(r.curX), y = e.coord(r.curY);
        int err = signExtend(r.errTerm, p.errBits);
        const int e1 = signExtend(r.destY, p.axialBits);
        const int e2 = signExtend(r.destX, p.diagBits);
        const int len = e.coord(r.majorAxis);
        const int sx = c.incX ? 1 : -1, sy = c.incY ? 1 : -1;
        for (int i = 0; i < len; i++) {
            if (!fn(x, y, 0, 0))
                return;
            if (err > 0) {
                x += sx;
                y += sy;
                err += e2;
            } else {
                if (c.yMajor)
                    y += sy;
                else
                    x += sx;
                err += e1;
            }
            x = e.coord(uint32_t(x));
            y = e.coord(uint32_t(y));
        }
    }
};

bool S3EngineCore::inScissors(int x, int y) const {
    return x >= regs_.scissorLeft && x <= regs_.scissorRight && y >= regs_.scissorTop &&
           y <= regs_.scissorBottom;
}

bool S3EngineCore::address(int x, int y, uint64_t *bit) const {
    *bit = (uint64_t(y) * linePixels_ + uint64_t(x)) * uint64_t(pixelBits_);
    return *bit + uint64_t(pixelBits_) <= uint64_t(vram_.size()) * 8;
}

uint32_t S3EngineCore::get(uint64_t bit) const {
    const uint8_t *p = vram_.data() + bit / 8;
    switch (pixelBits_) {
    case 4:
        return (bit % 8) == 0 ? uint32_t(*p >> 4) : uint32_t(*p & 0x0F);
    case 8:
        return *p;
    case 16:
        return uint32_t(p[0] | p[1] << 8);
    default:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

void S3EngineCore::put(uint64_t bit, uint32_t v) {
    uint8_t *p = vram_.data() + bit / 8;
    v &= planes_;
    switch (pixelBits_) {
    case 4:
        if ((bit % 8) == 0)
            *p = uint8_t((*p & 0x0F) | (v & 0x0F) << 4);
        else
            *p = uint8_t((*p & 0xF0) | (v & 0x0F));
        break;
    case 8:
        *p = uint8_t(v);
        break;
    case 16:
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        break;
    default:
        for (int i = 0; i < 4; i++)
            p[i] = uint8_t(v >> (8 * i));
        break;
    }
}

uint32_t S3EngineCore::compose(bool fg, uint32_t host, uint32_t source, uint32_t dst) const {
    const uint8_t m = fg ? regs_.fgMix : regs_.bgMix;
    uint32_t s = 0;
    switch (m & s3mix::SourceMask) {
    case s3mix::BgColour:
        s = regs_.bgColour;
        break;
    case s3mix::FgColour:
        s = regs_.fgColour;
        break;
    case s3mix::Host:
        s = host;
        break;
    default:
        s = source;
        break;
    }
    const uint32_t pm = pixelMask();
    const uint32_t r = s3Mix(m & s3mix::CodeMask, s & pm, dst);
    return ((r & regs_.writeMask) | (dst & ~regs_.writeMask)) & pm;
}

void S3EngineCore::drawPixel(int x, int y, bool fg, uint32_t host, uint32_t source) {
    if (!inScissors(x, y))
        return;
    uint64_t bit;
    if (!address(x, y, &bit))
        return; // refused before the operation ran
    put(bit, compose(fg, host, source, get(bit)));
}

bool S3EngineCore::plainRect(const S3Command &c, int &x0, int &x1, int &y0, int &y1) const {
    if (c.op != S3Op::Fill && c.op != S3Op::Point)
        return false;
    const int top = int(mask(chip_.coordBits));
    auto span = [&](uint16_t start, int n, bool inc, int lo, int hi, int &a, int &b) {
        const int s = coord(start);
        if (inc ? s + n - 1 > top : s - (n - 1) < 0)
            return false;
        a = std::max(inc ? s : s - (n - 1), lo);
        b = std::min(inc ? s + n - 1 : s, hi);
        return true;
    };
    const int w = coord(regs_.majorAxis) + 1;
    const int h = c.op == S3Op::Point ? 1 : coord(regs_.height) + 1;
    return span(regs_.curX, w, c.incX, regs_.scissorLeft, regs_.scissorRight, x0, x1) &&
           span(regs_.curY, h, c.incY, regs_.scissorTop, regs_.scissorBottom, y0, y1);
}

void S3EngineCore::fillRect(int x0, int x1, int y0, int y1) {
    if (x0 > x1 || y0 > y1)
        return;
    const uint32_t pm = pixelMask();
    const int code = regs_.fgMix & s3mix::CodeMask;
    // Clear, set, not-source and source leave the destination unread; with
    // every bit writable each pixel takes one value.
    const bool constant =
        (code == 0x1 || code == 0x2 || code == 0x4 || code == 0x7) && (regs_.writeMask & pm) == pm;
    const uint32_t v = compose(true, 0, 0, 0) & planes_;
    const size_t n = size_t(x1 - x0 + 1);
    for (int y = y0; y <= y1; y++) {
        uint64_t bit;
        if (!address(x1, y, &bit)) {
            for (int x = x0; x <= x1; x++)
                drawPixel(x, y, true, 0, 0);
            continue;
        }
        address(x0, y, &bit);
        uint8_t *p = vram_.data() + bit / 8;
        if (constant && pixelBits_ == 8) {
            std::memset(p, int(v & 0xFF), n);
        } else if (constant && pixelBits_ == 4) {
            // Two pixels a byte, the left one in the high nibble: the ends
            // may be half bytes.
            size_t i = 0;
            if (bit % 8 != 0) {
                put(bit, v);
                i = 1;
                p++;
            }
            const size_t pairs = (n - i) / 2;
            std::memset(p, int((v & 0x0F) * 0x11), pairs);
            i += 2 * pairs;
            if (i < n)
                put(bit + uint64_t(i) * 4, v);
        } else if (constant && pixelBits_ >= 16) {
            const size_t bytes = size_t(pixelBits_ / 8);
            for (size_t i = 0; i < n; i++, p += bytes)
                for (size_t k = 0; k < bytes; k++)
                    p[k] = uint8_t(v >> (8 * k));
        } else {
            for (size_t i = 0; i < n; i++, bit += uint64_t(pixelBits_))
                put(bit, compose(true, 0, 0, get(bit)));
        }
    }
}

bool S3EngineCore::fits(const S3Command &c) {
    // A fill that wraps around no coordinate reaches furthest at the last
    // pixel of its last row inside the scissors.
    int x0, x1, y0, y1;
    if (plainRect(c, x0, x1, y0, y1)) {
        uint64_t last;
        return x0 > x1 || y0 > y1 || address(x1, y1, &last);
    }
    bool ok = true;
    uint64_t bit;
    auto check = [&](int dx, int dy, int sx, int sy) {
        if (c.op != S3Op::ReadBack && !inScissors(dx, dy))
            return true;
        ok = address(dx, dy, &bit) && (c.op != S3Op::Blit || address(sx, sy, &bit));
        return ok;
    };
    if (c.op == S3Op::Line)
        Walk::line(*this, c, check);
    else
        Walk::rect(*this, c, check);
    return ok;
}

void S3EngineCore::run(const S3Command &c) {
    uint32_t planes = regs_.readMask >> chip_.readMaskPlaneShift;
    if (chip_.readMaskRotates && chip_.readMaskPlaneShift > 0 && pixelBits_ < 32)
        planes =
            (planes | regs_.readMask << (pixelBits_ - chip_.readMaskPlaneShift)) & mask(pixelBits_);
    const bool expand = regs_.pixelControl == s3pixctl::MemoryBits;
    // Fills take each pixel on its own, so a rectangle is drawn row by row.
    int x0, x1, y0, y1;
    if (plainRect(c, x0, x1, y0, y1)) {
        fillRect(x0, x1, y0, y1);
        return;
    }
    auto draw = [&](int dx, int dy, int sx, int sy) {
        if (c.op != S3Op::Blit) {
            drawPixel(dx, dy, true, 0, 0);
            return true;
        }
        if (!inScissors(dx, dy))
            return true;
        uint64_t bit;
        address(sx, sy, &bit);
        const uint32_t raw = get(bit);
        drawPixel(dx, dy, !expand || (raw & planes) != 0, 0, raw & regs_.readMask);
        return true;
    };
    if (c.op == S3Op::Line)
        Walk::line(*this, c, draw);
    else
        Walk::rect(*this, c, draw);
}

// ---- pixel transfers ----

namespace {

// Bit position of pixel k (0 = leftmost) of a 16-bit transfer of packed pixels.
int packedShift(int bits, int k) {
    switch (bits) {
    case 4:
        return (k / 2) * 8 + ((k % 2) == 0 ? 4 : 0);
    case 8:
        return 8 * k;
    default:
        return 0;
    }
}

} // namespace

void S3EngineCore::startTransfer(const S3Command &c, bool draws) {
    Transfer &t = transfer_;
    t = Transfer{};
    t.active = true;
    t.toHost = c.op == S3Op::ReadBack;
    t.draws = draws;
    t.cmd = &c;
    t.x0 = coord(regs_.curX);
    t.y0 = coord(regs_.curY);
    t.w = coord(regs_.majorAxis) + 1;
    t.h = coord(regs_.height) + 1;
    if (c.op == S3Op::HostBits && !chip_.hostBitOrder.empty())
        t.perRow = (t.w + int(chip_.hostBitOrder.size()) - 1) / int(chip_.hostBitOrder.size());
    else if (c.op == S3Op::HostBits)
        t.perRow = (t.w + c.transferBits - 1) / c.transferBits;
    else if (pixelBits_ == 32)
        t.perRow = 2 * t.w;
    else
        t.perRow = (t.w * pixelBits_ + 15) / 16;
    if (!t.toHost)
        return;
    t.readyLeft = chip_.hostOpsQueue ? 0 : busyReads_;
    t.out.assign(size_t(t.perRow) * size_t(t.h), 0);
    if (!draws)
        return;
    const int per = pixelBits_ == 32 ? 1 : 16 / pixelBits_;
    for (int row = 0; row < t.h; row++) {
        uint16_t *words = t.out.data() + size_t(row) * size_t(t.perRow);
        for (int col = 0; col < t.w; col++) {
            uint64_t bit;
            address(coord(uint32_t(t.x0 + col)), coord(uint32_t(t.y0 + row)), &bit);
            const uint32_t v = get(bit);
            if (pixelBits_ == 32) {
                words[2 * col] = uint16_t(v);
                words[2 * col + 1] = uint16_t(v >> 16);
            } else {
                words[col / per] |= uint16_t(v << packedShift(pixelBits_, col % per));
            }
        }
    }
}

void S3EngineCore::endTransfer() {
    transfer_.active = false;
    transfer_.out.clear();
}

void S3EngineCore::feed(uint16_t word) {
    Transfer &t = transfer_;
    if (!t.active || t.toHost) {
        fail("pixel-data write " + hex(word) + " that no command asked for");
        return;
    }
    stats_.transfersIn++;
    if (chip_.hostPixelStream && t.cmd->op == S3Op::HostPixels && pixelBits_ < 32) {
        feedStream(word);
        return;
    }
    const int y = coord(uint32_t(t.y0 + t.row));
    if (t.draws && t.cmd->op == S3Op::HostBits && !chip_.hostBitOrder.empty()) {
        const int n = int(chip_.hostBitOrder.size());
        for (int j = 0; j < n; j++) {
            const int col = t.wordInRow * n + j;
            if (col >= t.w)
                break;
            const bool on = (word >> chip_.hostBitOrder[size_t(j)]) & 1;
            drawPixel(coord(uint32_t(t.x0 + col)), y, on, 0, 0);
        }
    } else if (t.draws && t.cmd->op == S3Op::HostBits) {
        const int n = t.cmd->transferBits;
        for (int j = 0; j < n; j++) {
            const int col = t.wordInRow * n + j;
            if (col >= t.w)
                break;
            const bool on = (word >> ((j / 8) * 8 + 7 - j % 8)) & 1;
            drawPixel(coord(uint32_t(t.x0 + col)), y, on, 0, 0);
        }
    } else if (t.draws && pixelBits_ == 32) {
        if (t.wordInRow % 2 == 0)
            t.pending = word;
        else
            drawPixel(coord(uint32_t(t.x0 + t.wordInRow / 2)), y, true,
                      t.pending | uint32_t(word) << 16, 0);
    } else if (t.draws) {
        const int per = 16 / pixelBits_;
        for (int k = 0; k < per; k++) {
            const int col = t.wordInRow * per + k;
            if (col >= t.w)
                break;
            drawPixel(coord(uint32_t(t.x0 + col)), y, true,
                      (word >> packedShift(pixelBits_, k)) & pixelMask(), 0);
        }
    }
    if (++t.wordInRow == t.perRow) {
        t.wordInRow = 0;
        if (++t.row == t.h)
            endTransfer();
    }
}

// Whole pixels as one stream over the rectangle: the pixel after a row's
// last one is the next row's first, even inside one transfer.
void S3EngineCore::feedStream(uint16_t word) {
    Transfer &t = transfer_;
    const int per = 16 / pixelBits_;
    const int64_t total = int64_t(t.w) * t.h;
    for (int k = 0; k < per && t.streamed < total; k++, t.streamed++) {
        if (!t.draws)
            continue;
        const int col = int(t.streamed % t.w), row = int(t.streamed / t.w);
        drawPixel(coord(uint32_t(t.x0 + col)), coord(uint32_t(t.y0 + row)), true,
                  (word >> packedShift(pixelBits_, k)) & pixelMask(), 0);
    }
    if (t.streamed == total)
        endTransfer();
}

uint16_t S3EngineCore::drawWord() {
    Transfer &t = transfer_;
    if (!t.active || !t.toHost) {
        fail("pixel-data read that no command asked for");
        return 0xFFFF;
    }
    if (!t.readySeen && !chip_.hostOpsQueue) {
        fail("pixel-data read before a status read showed data ready");
        t.readySeen = true; // one report per transfer
    }
    stats_.transfersOut++;
    const uint16_t w = t.out[t.next++];
    // Each word read moves the transfer on, unlike a status poll: a row
    // delivered tells the machine's watchdog so, or a read-back longer than
    // its poll limit would look like a loop that never ends.
    if (guarded_ && t.next % size_t(t.perRow) == 0)
        Machine::current().guardVideoMemory(vram_, true);
    if (t.next == t.out.size())
        endTransfer();
    return w;
}

void S3EngineCore::writeData(uint32_t value, int bytes) {
    if (chip_.transfersQueue && transfer_.active && !transfer_.toHost) {
        const int words = transfer_.cmd->transferBits == 8 ? bytes : bytes == 4 ? 2 : 1;
        for (int i = 0; i < words; i++) {
            if (writesSince_ >= roomSeen_)
                fail("pixel-data write " + hex(value) +
                     " beyond the FIFO room the last status read showed (" +
                     std::to_string(roomSeen_) + " free, " + std::to_string(writesSince_) +
                     " written since)");
            writesSince_++;
            if (queued_ < chip_.fifoDepth)
                queued_++;
        }
    }
    if (transfer_.active && transfer_.cmd->transferBits == 8) {
        for (int i = 0; i < bytes; i++)
            feed(uint16_t((value >> (8 * i)) & 0xFF));
        return;
    }
    switch (bytes) {
    case 1:
        feed(uint16_t(value & 0xFF));
        break;
    case 4:
        feed(uint16_t(value));
        feed(uint16_t(value >> 16));
        break;
    default:
        feed(uint16_t(value));
        break;
    }
}

uint32_t S3EngineCore::readData(int bytes) {
    switch (bytes) {
    case 1:
        return drawWord() & 0xFFu;
    case 4: {
        const uint32_t lo = drawWord();
        return lo | uint32_t(drawWord()) << 16;
    }
    default:
        return drawWord();
    }
}

bool S3EngineCore::queueFrontEndWrite(const std::string &name, uint16_t value) {
    stats_.registerWrites++;
    if (transfer_.active) {
        fail("register write (" + name + " " + hex(value) +
             ") while pixel-transfer words are owed (row " + std::to_string(transfer_.row) +
             " of " + std::to_string(transfer_.h) + ")");
        return false;
    }
    if (writesSince_ >= roomSeen_)
        fail("register write (" + name + " " + hex(value) +
             ") beyond the FIFO room the last status read showed (" + std::to_string(roomSeen_) +
             " free, " + std::to_string(writesSince_) + " written since)");
    writesSince_++;
    if (queued_ < chip_.fifoDepth)
        queued_++;
    return true;
}

// ---- busy state ----

void S3EngineCore::beginBusy() {
    running_ = true;
    busyLeft_ = busyReads_;
    setGuard(true);
}

void S3EngineCore::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    Machine::current().guardVideoMemory(vram_, on);
}

void S3EngineCore::drain() {
    transfer_ = Transfer{};
    queued_ = 0;
    busyLeft_ = 0;
    running_ = false;
    setGuard(false);
}

// ---- the port front end ----

void S3EnginePorts::attach(Machine &m) {
    for (const S3PortRole &p : core_.chip().ports)
        m.attachPorts(p.port, 2, this, 2);
}

bool S3EnginePorts::open(const char *what, uint16_t port) {
    if (!enabled_ || enabled_())
        return true;
    Machine::current().fail(core_.chip().name + ": port " + what + " at " + hex(port) +
                            " while the board has the engine's ports switched off");
    return false;
}

uint32_t S3EnginePorts::in(uint16_t port, int width) {
    const uint32_t none = width == 1 ? 0xFFu : 0xFFFFu;
    S3Reg reg = S3Reg::Count;
    if (!core_.chip().roleAt(port, &reg) || !open("read", port))
        return none;
    const bool high = (port & 1) != 0;
    if (reg == S3Reg::PixelData)
        return core_.readData(width);
    if (width != 1 && high) {
        Machine::current().fail(core_.chip().name + ": 16-bit read at odd port " + hex(port));
        return none;
    }
    const uint16_t v = core_.read(reg);
    if (width == 1)
        return high ? uint32_t(v >> 8) : uint32_t(v & 0xFF);
    return v;
}

void S3EnginePorts::out(uint16_t port, int width, uint32_t value) {
    S3Reg reg = S3Reg::Count;
    if (!core_.chip().roleAt(port, &reg) || !open("write", port))
        return;
    const bool high = (port & 1) != 0;
    if (reg == S3Reg::PixelData) {
        core_.writeData(value, width);
        return;
    }
    if (width == 2 && !high) {
        core_.write(reg, uint16_t(value));
        return;
    }
    if (width == 1 && (reg == S3Reg::SubsystemControl || reg == S3Reg::AdvancedFunction)) {
        uint16_t &latch = byteLatch_[reg == S3Reg::AdvancedFunction ? 1 : 0];
        if (reg == S3Reg::AdvancedFunction)
            latch = core_.regs().advancedFunction;
        latch = high ? uint16_t((latch & 0x00FF) | (value & 0xFF) << 8)
                     : uint16_t((latch & 0xFF00) | (value & 0xFF));
        core_.write(reg, latch);
        return;
    }
    Machine::current().fail(core_.chip().name + ": " + std::to_string(8 * width) +
                            "-bit write at " + hex(port) + " <- " + hex(value) +
                            " (the register takes 16-bit writes)");
}

// ---- the memory-mapped window ----

bool S3EngineWindow::open(const char *what, uint32_t offset, int width) {
    if (core_.regs().advancedFunction & s3ctl::EnableWindow)
        return true;
    Machine::current().fail(core_.chip().name + ": window " + what + std::to_string(8 * width) +
                            " at " + hex(offset) + " before 0x4AE8 bit 0x20 turned the window on");
    return false;
}

uint32_t S3EngineWindow::read(uint32_t offset, int width) {
    const uint32_t none = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    if (!open("read", offset, width))
        return none;
    if (offset < kTransferArea)
        return core_.readData(width);
    S3Reg reg = S3Reg::Count;
    if (width != 2 || (offset & 1) || !core_.chip().roleAt(uint16_t(offset), &reg)) {
        Machine::current().fail(core_.chip().name + ": window read" + std::to_string(8 * width) +
                                " at " + hex(offset) + " is no register load");
        return none;
    }
    return core_.read(reg);
}

void S3EngineWindow::write(uint32_t offset, int width, uint32_t value) {
    if (!open("write", offset, width))
        return;
    if (offset < kTransferArea) {
        core_.writeData(value, width);
        return;
    }
    S3Reg reg = S3Reg::Count;
    if (width != 2 || (offset & 1) || !core_.chip().roleAt(uint16_t(offset), &reg) ||
        reg == S3Reg::PixelData) {
        Machine::current().fail(core_.chip().name + ": window write" + std::to_string(8 * width) +
                                " at " + hex(offset) + " <- " + hex(value) +
                                " is no 16-bit register store");
        return;
    }
    core_.write(reg, uint16_t(value));
}

} // namespace sim
