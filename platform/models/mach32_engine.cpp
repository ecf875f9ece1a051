// The Mach32 engine's parameters and its extended-register front end; the
// model's choices are listed in mach32_engine.h.
#include "models/mach32_engine.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

S3ChipParams makeMach32Params() {
    S3ChipParams p;
    p.name = "mach32 engine";
    p.fifoDepth = 16;
    p.coordBits = 12;
    p.multiIndices = 0x001F; // height and the four scissors
    p.transfersQueue = true;
    // The 8514/A-style copy, rightwards and downwards.
    p.commands = {{0xC0B1, S3Op::Blit, true, true}};
    p.ports = {{0x42E8, S3Reg::SubsystemControl},
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
               {0xE2E8, S3Reg::PixelData}};
    return p;
}

const uint16_t kDataPaths[] = {0x2011, 0x2031, 0x2051, 0x3251, 0x2071, 0x4011,
                               0x5211, 0x4010, 0x5210, 0x6011, 0xA011};

struct ExtPort {
    uint16_t port;
    const char *name;
};

const ExtPort kExtPorts[] = {
    {mach32port::PatternSelect, "pattern data index"},
    {mach32port::PatternData, "pattern data"},
    {mach32port::RunLength, "run length"},
    {mach32port::FifoStatus, "FIFO status"},
    {mach32port::LineOptions, "line options"},
    {mach32port::DestXStart, "destination x start"},
    {mach32port::DestXEnd, "destination x end"},
    {mach32port::DestYEnd, "destination y end"},
    {mach32port::SrcXStart, "source x start"},
    {mach32port::BgMix, "background mix"},
    {mach32port::FgMix, "foreground mix"},
    {mach32port::SrcXEnd, "source x end"},
    {mach32port::SrcYDir, "source y direction"},
    {mach32port::DataPath, "data-path configuration"},
    {mach32port::PatternLength, "pattern length"},
    {mach32port::PatternIndex, "pattern index"},
    {mach32port::ScissorLeft, "left scissor"},
    {mach32port::ScissorTop, "top scissor"},
    {mach32port::ScissorRight, "right scissor"},
    {mach32port::ScissorBottom, "bottom scissor"},
    {mach32port::EngineClear, "register 0xEEEE"},
    {mach32port::LineEndPoints, "line end points"},
};

const char *extName(uint16_t port) {
    for (const ExtPort &p : kExtPorts)
        if (p.port == port)
            return p.name;
    return nullptr;
}

// The multifunction index of each scissor port.
uint16_t scissorIndex(uint16_t port) {
    switch (port) {
    case mach32port::ScissorLeft:
        return s3multi::ScissorLeft;
    case mach32port::ScissorTop:
        return s3multi::ScissorTop;
    case mach32port::ScissorRight:
        return s3multi::ScissorRight;
    default:
        return s3multi::ScissorBottom;
    }
}

// Steps of the eight run directions (bits 5-7 of the line options).
const int kRunDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
const int kRunDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

constexpr uint16_t kRunOptionsRun = 0x0008;
constexpr uint16_t kRunOptionsNoLast = 0x0004;
constexpr int kRunDirShift = 5;
constexpr uint16_t kMonoPatternFirst = 16;
constexpr int kPatternBits = 32;
constexpr uint16_t kColourPatternWords = 16;
constexpr uint16_t kCommandPort = 0x9AE8;
constexpr uint16_t kCopyCommand = 0xC0B1;
constexpr uint16_t kCopyDataPath = 0x6011;
constexpr uint16_t kCopyDestXPort = 0x8EE8;
constexpr uint16_t kCopyDestYPort = 0x8AE8;

} // namespace

const S3ChipParams &mach32ChipParams() {
    static const S3ChipParams params = makeMach32Params();
    return params;
}

bool mach32DataPathKnown(uint16_t value) {
    for (uint16_t v : kDataPaths)
        if (v == value)
            return true;
    return false;
}

const Mach32ExtPorts::Path *Mach32ExtPorts::pathOf(uint16_t value) {
    static const Path paths[] = {
        {0x2011, Source::Fg, 16},
        {0x2031, Source::Pattern, 16},
        {0x2051, Source::HostBits, 8},
        {0x3251, Source::HostBits, 16},
        {0x2071, Source::Plane, 16},
        {0x4011, Source::HostPixels, 8},
        {0x5211, Source::HostPixels, 16},
        {0x4010, Source::ReadBack, 8},
        {0x5210, Source::ReadBack, 16},
        {0x6011, Source::Memory, 16},
        {0xA011, Source::ColourPattern, 16},
    };
    for (const Path &p : paths)
        if (p.value == value)
            return &p;
    return nullptr;
}

void Mach32ExtPorts::fail(const std::string &what) const {
    Machine::current().fail(core_.chip().name + ": " + what);
}

void Mach32ExtPorts::attach(Machine &m) {
    for (const ExtPort &p : kExtPorts)
        m.attachPorts(p.port, 2, this, 2);
    for (const S3PortRole &p : core_.chip().ports)
        m.attachPorts(p.port, 2, this, 2);
}

// ---- pixels ----

bool Mach32ExtPorts::address(int x, int y, uint64_t *offset) const {
    if (x < 0 || y < 0 || core_.linePixels() == 0)
        return false;
    const uint64_t bytes = uint64_t(core_.pixelBits() / 8);
    *offset = (uint64_t(y) * core_.linePixels() + uint64_t(x)) * bytes;
    return *offset + bytes <= core_.vram().size();
}

uint32_t Mach32ExtPorts::pixelAt(uint64_t offset) const {
    const uint8_t *p = core_.vram().data() + offset;
    return core_.pixelBits() == 16 ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0]);
}

bool Mach32ExtPorts::inScissors(int x, int y) const {
    const S3Regs &r = core_.regs();
    return x >= r.scissorLeft && x <= r.scissorRight && y >= r.scissorTop && y <= r.scissorBottom;
}

void Mach32ExtPorts::plot(int x, int y, bool fg, uint32_t src) {
    uint64_t offset;
    if (!inScissors(x, y) || !address(x, y, &offset))
        return;
    const S3Regs &r = core_.regs();
    const uint32_t pm = core_.pixelBits() == 16 ? 0xFFFFu : 0xFFu;
    const uint32_t dst = pixelAt(offset);
    const uint32_t mixed = s3Mix((fg ? r.fgMix : r.bgMix) & s3mix::CodeMask, src & pm, dst);
    const uint32_t v = ((mixed & r.writeMask) | (dst & ~r.writeMask)) & pm;
    uint8_t *p = core_.vram().data() + offset;
    p[0] = uint8_t(v);
    if (core_.pixelBits() == 16)
        p[1] = uint8_t(v >> 8);
}

// ---- busy time ----

void Mach32ExtPorts::begin() {
    busyLeft_ = S3EngineCore::kDefaultBusyReads;
    guarded_ = true;
    Machine::current().guardVideoMemory(core_.vram(), true);
}

void Mach32ExtPorts::tick() {
    if (busyLeft_ > 0)
        busyLeft_--;
    if (guarded_ && !busy()) {
        guarded_ = false;
        Machine::current().guardVideoMemory(core_.vram(), false);
    }
}

void Mach32ExtPorts::drain() {
    op_ = Operation{};
    busyLeft_ = 0;
    if (guarded_) {
        guarded_ = false;
        Machine::current().guardVideoMemory(core_.vram(), false);
    }
}

uint16_t Mach32ExtPorts::statusWord() {
    const bool ready = op_.active && op_.path.source == Source::ReadBack && core_.queued() == 0;
    uint16_t word = core_.readStatus().word();
    tick();
    if (ready) {
        op_.readySeen = true;
        word |= s3status::DataReady;
    }
    if (busy())
        word |= s3status::Busy;
    return word;
}

// ---- the ports ----

uint32_t Mach32ExtPorts::in(uint16_t port, int width) {
    const uint32_t none = width == 1 ? 0xFFu : 0xFFFFu;
    const uint16_t base = uint16_t(port & ~1u);
    if (base == mach32port::PixelData)
        return hostRead(port, width);
    if (base == mach32port::Status) {
        const uint16_t w = statusWord();
        return width == 1 ? (port & 1 ? uint32_t(w >> 8) : uint32_t(w & 0xFF)) : w;
    }
    const char *name = extName(base);
    if (!name)
        return corePorts_.in(port, width);
    if ((port == mach32port::FifoStatus || port == mach32port::PatternIndex) && width == 2) {
        if (port == mach32port::PatternIndex)
            return regs_.patternIndex;
        uint16_t fifo = core_.readStatus().fifo;
        tick();
        if (stalled_ && stallShown_ > 0)
            fifo = uint16_t(fifo | ((1u << stallShown_) - 1));
        if (stallShown_ > 0)
            stallShown_--;
        return fifo;
    }
    const bool readable = base == mach32port::FifoStatus || base == mach32port::PatternIndex;
    fail(std::to_string(8 * width) + "-bit read at " + hex(port) + " (" + name + ")" +
         (readable ? ", which takes 16-bit reads" : ", which is write-only"));
    return none;
}

void Mach32ExtPorts::out(uint16_t port, int width, uint32_t value) {
    const uint16_t v = uint16_t(value);
    const uint16_t base = uint16_t(port & ~1u);
    stallShown_ = 16;
    if (base == mach32port::PixelData) {
        hostTransfer(port, width, value);
        return;
    }
    const char *name = extName(base);
    // The subsystem control sits before the FIFO; its reset ends whatever
    // runs.
    if (base == 0x42E8) {
        corePorts_.out(port, width, value);
        if (width == 2 && (v & s3ctl::Reset))
            drain();
        return;
    }
    if (op_.active) {
        fail("register write (" + std::string(name ? name : "port " + hex(port)) + " " + hex(v) +
             ") while pixel-transfer words are owed (" + std::to_string(op_.done) + " of " +
             std::to_string(op_.rect.pixels()) + " pixels taken)");
        return;
    }
    if (!name) {
        if (width == 2 && port == kCommandPort && v == kCopyCommand &&
            regs_.dataPath == kCopyDataPath) {
            if (core_.queueFrontEndWrite("command", v))
                copyBlock();
            return;
        }
        corePorts_.out(port, width, value);
        if (width == 2 && port == mach32port::CurX)
            regs_.curX = v;
        if (width == 2 && port == mach32port::CurY)
            regs_.curY = v;
        if (width == 2 && port == kCopyDestXPort)
            regs_.copyDestX = v;
        if (width == 2 && port == kCopyDestYPort)
            regs_.copyDestY = v;
        return;
    }
    if (width != 2 || (port & 1)) {
        fail(std::to_string(8 * width) + "-bit write at " + hex(port) + " <- " + hex(value) +
             " (the " + name + " takes 16-bit writes)");
        return;
    }
    writeExt(port, v);
}

void Mach32ExtPorts::writeExt(uint16_t port, uint16_t v) {
    const std::string name = extName(port);
    switch (port) {
    case mach32port::FifoStatus:
        if (v != 0) {
            fail("write at 0x9AEE <- " + hex(v) +
                 ": only 0, the rewind of the line end points, is taken");
            return;
        }
        if (core_.queueFrontEndWrite("line end-point rewind", v))
            regs_.endPointIndex = 0;
        return;
    case mach32port::BgMix:
        core_.write(S3Reg::BgMix, v);
        return;
    case mach32port::FgMix:
        core_.write(S3Reg::FgMix, v);
        return;
    case mach32port::ScissorLeft:
    case mach32port::ScissorTop:
    case mach32port::ScissorRight:
    case mach32port::ScissorBottom:
        if (v & 0xF000) {
            fail(name + " " + hex(v) + " needs more than 12 bits");
            core_.queueFrontEndWrite(name, v);
            return;
        }
        core_.write(S3Reg::Multi, uint16_t(scissorIndex(port) | v));
        return;
    default:
        break;
    }
    if (!core_.queueFrontEndWrite(name, v))
        return;
    switch (port) {
    case mach32port::DataPath:
        if (!mach32DataPathKnown(v)) {
            fail("data-path configuration " + hex(v) + " is not one the engine knows");
            return;
        }
        regs_.dataPath = v;
        dataPathLog_.push_back(v);
        break;
    case mach32port::SrcXStart:
        regs_.srcXStart = v;
        break;
    case mach32port::SrcXEnd:
        regs_.srcXEnd = v;
        break;
    case mach32port::SrcYDir:
        regs_.srcYDir = v;
        break;
    case mach32port::DestXStart:
        regs_.destXStart = v;
        break;
    case mach32port::DestXEnd:
        regs_.destXEnd = v;
        break;
    case mach32port::DestYEnd:
        regs_.destYEnd = v;
        startRectangle();
        break;
    case mach32port::LineOptions:
        regs_.lineOptions = v;
        break;
    case mach32port::RunLength:
        runLine(v);
        break;
    case mach32port::PatternSelect:
        regs_.patternSelect = v;
        break;
    case mach32port::PatternData:
        patternData(v);
        break;
    case mach32port::PatternLength:
        regs_.patternLength = v;
        break;
    case mach32port::PatternIndex:
        regs_.patternIndex = v;
        break;
    case mach32port::LineEndPoints:
        endPoint(v);
        break;
    default:
        regs_.engineClear = v;
        break;
    }
}

// ---- the monochrome pattern ----

void Mach32ExtPorts::patternData(uint16_t v) {
    const uint16_t sel = regs_.patternSelect;
    if (sel < kColourPatternWords) {
        regs_.colourPattern[sel] = v;
        regs_.patternSelect = uint16_t(sel + 1);
        return;
    }
    if (sel != kMonoPatternFirst && sel != kMonoPatternFirst + 1) {
        fail("pattern data " + hex(v) + " at index " + std::to_string(sel) +
             ", which holds no pattern word");
        return;
    }
    regs_.monoPattern[sel - kMonoPatternFirst] = v;
    regs_.patternSelect = uint16_t(sel + 1);
}

bool Mach32ExtPorts::patternBit() {
    const int length = (regs_.patternLength % kPatternBits) + 1;
    const int i = regs_.patternIndex % length;
    const int j = i % 16;
    const bool on = (regs_.monoPattern[i / 16] >> ((j / 8) * 8 + 7 - j % 8)) & 1;
    regs_.patternIndex = uint16_t((i + 1) % length);
    return on;
}

uint32_t Mach32ExtPorts::colourPatternPixel() {
    const int length = regs_.patternLength + 1;
    const int i = regs_.patternIndex % length;
    regs_.patternIndex = uint16_t((i + 1) % length);
    if (core_.pixelBits() == 16)
        return regs_.colourPattern[i % kColourPatternWords];
    const uint16_t word = regs_.colourPattern[(i / 2) % kColourPatternWords];
    return i % 2 ? uint32_t(word >> 8) : uint32_t(word & 0xFF);
}

// ---- the video-memory source ----

bool Mach32ExtPorts::SourceWalk::next(int *sx, int *sy) {
    if (rightToLeft) {
        if (--x < lo) {
            x = hi - 1;
            y += dy;
        }
        *sx = x;
        *sy = y;
        return true;
    }
    *sx = x;
    *sy = y;
    if (++x >= hi) {
        x = lo;
        y += dy;
    }
    return true;
}

// ---- operations ----

void Mach32ExtPorts::startRectangle() {
    const Path *path = pathOf(regs_.dataPath);
    if (!path || path->source == Source::Pattern || path->source == Source::ColourPattern) {
        fail("rectangle under data path " + hex(regs_.dataPath) +
             ", which this model does not draw");
        begin();
        return;
    }
    Rect r;
    const int a = int16_t(regs_.destXStart), b = int16_t(regs_.destXEnd);
    const int y0 = int16_t(regs_.curY), ye = int16_t(regs_.destYEnd);
    r.w = std::abs(b - a);
    r.dx = a <= b ? 1 : -1;
    r.x0 = a <= b ? a : a - 1;
    r.y0 = y0;
    r.h = std::abs(ye - y0);
    r.dy = ye >= y0 ? 1 : -1;

    SourceWalk src;
    const S3Regs &cr = core_.regs();
    const bool memorySource = path->source == Source::Memory || path->source == Source::Plane;
    if (memorySource) {
        const int s0 = int16_t(regs_.srcXStart), s1 = int16_t(regs_.srcXEnd);
        src.x = int16_t(cr.destX);
        src.y = int16_t(cr.destY);
        src.lo = s0 < s1 ? s0 : s1;
        src.hi = s0 < s1 ? s1 : s0;
        src.rightToLeft = s0 > s1;
        src.dy = regs_.srcYDir ? 1 : -1;
        if (src.hi == src.lo) {
            fail("video-memory source with an empty source x range (" + hex(regs_.srcXStart) +
                 " to " + hex(regs_.srcXEnd) + ")");
            begin();
            return;
        }
    }

    // Refused as a whole when any pixel it would touch lies past video memory.
    bool draws = core_.linePixels() != 0;
    if (!draws)
        fail("rectangle while the board sets no valid line width");
    const bool readBack = path->source == Source::ReadBack;
    SourceWalk check = src;
    for (int64_t k = 0; draws && k < r.pixels(); k++) {
        uint64_t offset;
        const int x = r.xAt(k), y = r.yAt(k);
        if ((readBack || inScissors(x, y)) && !address(x, y, &offset))
            draws = false;
        int sx, sy;
        if (memorySource && check.next(&sx, &sy) && !address(sx, sy, &offset))
            draws = false;
    }
    if (!draws && core_.linePixels() != 0)
        fail("rectangle " + std::to_string(r.w) + "x" + std::to_string(r.h) + " at " +
             std::to_string(r.x0) + ", " + std::to_string(r.y0) + " under data path " +
             hex(path->value) + " reaches past video memory; it draws nothing");
    stats_.rectangles++;

    switch (path->source) {
    case Source::Fg:
        for (int64_t k = 0; draws && k < r.pixels(); k++)
            plot(r.xAt(k), r.yAt(k), true, cr.fgColour);
        break;
    case Source::Memory:
    case Source::Plane:
        for (int64_t k = 0; draws && k < r.pixels(); k++) {
            int sx, sy;
            uint64_t offset;
            src.next(&sx, &sy);
            address(sx, sy, &offset);
            const uint32_t s = pixelAt(offset) & cr.readMask;
            if (path->source == Source::Memory)
                plot(r.xAt(k), r.yAt(k), true, s);
            else
                plot(r.xAt(k), r.yAt(k), s != 0, s != 0 ? cr.fgColour : cr.bgColour);
        }
        break;
    default:
        op_ = Operation{};
        op_.active = r.pixels() > 0;
        op_.draws = draws;
        op_.path = *path;
        op_.rect = r;
        if (readBack) {
            stats_.readBacks++;
            op_.readBack.assign(size_t(r.pixels()), 0);
            for (int64_t k = 0; draws && k < r.pixels(); k++) {
                uint64_t offset;
                if (address(r.xAt(k), r.yAt(k), &offset))
                    op_.readBack[size_t(k)] = pixelAt(offset);
            }
        } else {
            stats_.hostOps++;
        }
        break;
    }
    begin();
}

void Mach32ExtPorts::runLine(uint16_t length) {
    const uint16_t options = regs_.lineOptions;
    const Path *path = pathOf(regs_.dataPath);
    if (!(options & kRunOptionsRun)) {
        errorTermLine(length);
        return;
    }
    const bool hostPixels = path && path->source == Source::HostPixels;
    if (!path || (path->source != Source::Fg && path->source != Source::Pattern &&
                  path->source != Source::ColourPattern && !hostPixels)) {
        fail("run under data path " + hex(regs_.dataPath) +
             ", which has no colour, pattern or host-pixel source for runs");
        begin();
        return;
    }
    const int dir = (options >> kRunDirShift) & 7;
    const int dx = kRunDx[dir], dy = kRunDy[dir];
    const int x0 = int16_t(regs_.curX), y0 = int16_t(regs_.curY);
    const int steps = length;
    const int pixels = steps + ((options & kRunOptionsNoLast) ? 0 : 1);
    if (hostPixels) {
        if (dy != 0) {
            fail("host-pixel run in direction " + std::to_string(dir) +
                 ": only horizontal ones are modelled");
            begin();
            return;
        }
        hostRun(*path, x0, dx, pixels);
        regs_.curX = uint16_t(x0 + steps * dx);
        stats_.runs++;
        return;
    }
    const int patternLength = regs_.patternLength + 1;
    if (path->source == Source::ColourPattern &&
        patternLength > (core_.pixelBits() == 16 ? kColourPatternWords : 2 * kColourPatternWords)) {
        fail("colour pattern of " + std::to_string(patternLength) +
             " pixels: the pattern words hold no more than " +
             std::to_string(core_.pixelBits() == 16 ? 16 : 32));
        begin();
        return;
    }
    bool draws = core_.linePixels() != 0;
    for (int k = 0; draws && k < pixels; k++) {
        uint64_t offset;
        const int x = x0 + k * dx, y = y0 + k * dy;
        if (inScissors(x, y) && !address(x, y, &offset))
            draws = false;
    }
    if (!draws)
        fail("run of " + std::to_string(steps) + " from " + std::to_string(x0) + ", " +
             std::to_string(y0) +
             " reaches past video memory or has no line width; it draws "
             "nothing");
    const S3Regs &cr = core_.regs();
    for (int k = 0; draws && k < pixels; k++) {
        if (path->source == Source::ColourPattern) {
            plot(x0 + k * dx, y0 + k * dy, true, colourPatternPixel());
            continue;
        }
        const bool fg = path->source == Source::Fg || patternBit();
        plot(x0 + k * dx, y0 + k * dy, fg, fg ? cr.fgColour : cr.bgColour);
    }
    regs_.curX = uint16_t(x0 + steps * dx);
    regs_.curY = uint16_t(y0 + steps * dy);
    stats_.runs++;
    begin();
}

// A run of host pixels: an operation one line high that owes its pixels.
void Mach32ExtPorts::hostRun(const Path &path, int x0, int dx, int pixels) {
    Rect r;
    r.x0 = x0;
    r.dx = dx;
    r.w = pixels;
    r.y0 = int16_t(regs_.curY);
    r.h = 1;
    bool draws = core_.linePixels() != 0;
    for (int64_t k = 0; draws && k < r.pixels(); k++) {
        uint64_t offset;
        if (inScissors(r.xAt(k), r.y0) && !address(r.xAt(k), r.y0, &offset))
            draws = false;
    }
    if (!draws)
        fail("host-pixel run of " + std::to_string(pixels) + " from " + std::to_string(x0) + ", " +
             std::to_string(r.y0) +
             " reaches past video memory or has no line width; it draws nothing");
    op_ = Operation{};
    op_.active = r.pixels() > 0;
    op_.draws = draws;
    op_.path = path;
    op_.rect = r;
    stats_.hostOps++;
    begin();
}

// ---- the 8514-style copy ----

void Mach32ExtPorts::copyBlock() {
    const S3Regs &cr = core_.regs();
    const int w = (cr.majorAxis & 0xFFF) + 1, h = (cr.height & 0xFFF) + 1;
    const int sx = int16_t(regs_.curX), sy = int16_t(regs_.curY);
    const int dx = int16_t(regs_.copyDestX), dy = int16_t(regs_.copyDestY);
    bool draws = core_.linePixels() != 0;
    if (!draws)
        fail("8514-style copy while the board sets no valid line width");
    for (int row = 0; draws && row < h; row++)
        for (int col = 0; draws && col < w; col++) {
            uint64_t offset;
            if (!address(sx + col, sy + row, &offset) ||
                (inScissors(dx + col, dy + row) && !address(dx + col, dy + row, &offset)))
                draws = false;
        }
    if (!draws && core_.linePixels() != 0)
        fail("8514-style copy of " + std::to_string(w) + "x" + std::to_string(h) + " from " +
             std::to_string(sx) + ", " + std::to_string(sy) + " to " + std::to_string(dx) + ", " +
             std::to_string(dy) + " reaches past video memory; it draws nothing");
    // Row by row, each pixel read as the walk reaches it: an overlap in the
    // copy's direction smears, as on the chip.
    for (int row = 0; draws && row < h; row++)
        for (int col = 0; col < w; col++) {
            uint64_t offset;
            address(sx + col, sy + row, &offset);
            plot(dx + col, dy + row, true, pixelAt(offset) & cr.readMask);
        }
    stats_.copies++;
    copyLog_.push_back({sx, sy, dx, dy, w, h});
    regs_.copyDestY = uint16_t(dy + h);
    begin();
}

// ---- lines ----

namespace {

int signExtend(uint16_t v, int bits) {
    const int m = 1 << (bits - 1);
    return (int(v & ((1u << bits) - 1)) ^ m) - m;
}

constexpr uint16_t kLineYMajor = 0x0040;
constexpr uint16_t kLineXUp = 0x0020;
constexpr uint16_t kLineYUp = 0x0080;

} // namespace

void Mach32ExtPorts::errorTermLine(uint16_t length) {
    const uint16_t options = regs_.lineOptions;
    const S3Regs &cr = core_.regs();
    const S3ChipParams &p = core_.chip();
    int err = signExtend(cr.errTerm, p.errBits);
    const int e1 = signExtend(cr.destY, p.axialBits);
    const int e2 = signExtend(cr.destX, p.diagBits);
    const int sx = (options & kLineXUp) ? 1 : -1, sy = (options & kLineYUp) ? 1 : -1;
    const bool yMajor = (options & kLineYMajor) != 0;
    int x = int16_t(regs_.curX), y = int16_t(regs_.curY);
    std::vector<std::pair<int, int>> pixels;
    for (int i = 0; i < length; i++) {
        pixels.push_back({x, y});
        if (err > 0) {
            x += sx;
            y += sy;
            err += e2;
        } else {
            if (yMajor)
                y += sy;
            else
                x += sx;
            err += e1;
        }
    }
    if (!(options & kRunOptionsNoLast))
        pixels.push_back({x, y});
    drawLine(pixels, "line of " + std::to_string(length) + " steps from " +
                         std::to_string(int16_t(regs_.curX)) + ", " +
                         std::to_string(int16_t(regs_.curY)));
    regs_.curX = uint16_t(x);
    regs_.curY = uint16_t(y);
}

void Mach32ExtPorts::endPoint(uint16_t v) {
    if (regs_.endPointIndex >= 4) {
        fail("line end point " + hex(v) + " at 0xFEEE after the fourth without a rewind (0x9AEE)");
        return;
    }
    regs_.endPoints[regs_.endPointIndex++] = v;
    if (regs_.endPointIndex < 4)
        return;
    const int x1 = int16_t(regs_.endPoints[0]), y1 = int16_t(regs_.endPoints[1]);
    const int x2 = int16_t(regs_.endPoints[2]), y2 = int16_t(regs_.endPoints[3]);
    // Along the major axis, the minor coordinate nearest the true line, a
    // tie taking the smaller one.
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
    const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    std::vector<std::pair<int, int>> pixels;
    for (int64_t i = 0; i < n; i++) {
        // The offset m minimising |m * n - minor * i|, the smaller on a tie.
        int64_t m = 0;
        const int64_t t = minor * i;
        m = t >= 0 ? t / n : -((-t + n - 1) / n); // floor
        if (2 * (t - m * n) > n)
            m++;
        const int64_t along = major < 0 ? -i : i;
        pixels.push_back(xMajor ? std::pair<int, int>{int(x1 + along), int(y1 + m)}
                                : std::pair<int, int>{int(x1 + m), int(y1 + along)});
    }
    if (!(regs_.lineOptions & kRunOptionsNoLast))
        pixels.push_back({x2, y2});
    drawLine(pixels, "line from " + std::to_string(x1) + ", " + std::to_string(y1) + " to " +
                         std::to_string(x2) + ", " + std::to_string(y2));
    regs_.curX = uint16_t(x2);
    regs_.curY = uint16_t(y2);
}

void Mach32ExtPorts::drawLine(const std::vector<std::pair<int, int>> &pixels,
                              const std::string &what) {
    const Path *path = pathOf(regs_.dataPath);
    if (!path || (path->source != Source::Fg && path->source != Source::Pattern)) {
        fail(what + " under data path " + hex(regs_.dataPath) +
             ", which has no colour or pattern source for lines");
        begin();
        return;
    }
    bool draws = core_.linePixels() != 0;
    for (const auto &[x, y] : pixels) {
        uint64_t offset;
        if (draws && inScissors(x, y) && !address(x, y, &offset))
            draws = false;
    }
    if (!draws)
        fail(what + " reaches past video memory or has no line width; it draws nothing");
    const S3Regs &cr = core_.regs();
    for (const auto &[x, y] : pixels) {
        if (!draws)
            break;
        const bool fg = path->source == Source::Fg || patternBit();
        plot(x, y, fg, fg ? cr.fgColour : cr.bgColour);
    }
    stats_.runs++;
    begin();
}

// ---- host data ----

void Mach32ExtPorts::takePixel(bool fg, uint32_t src) {
    Operation &o = op_;
    if (o.draws)
        plot(o.rect.xAt(o.done), o.rect.yAt(o.done), fg, src);
    if (++o.done == o.rect.pixels())
        o.active = false;
}

void Mach32ExtPorts::hostTransfer(uint16_t port, int width, uint32_t value) {
    if (!op_.active || op_.path.source == Source::ReadBack) {
        fail(std::to_string(8 * width) + "-bit pixel-data write " + hex(value) + " at " +
             hex(port) + " that no operation asked for");
        return;
    }
    const int bits = op_.path.transferBits;
    const bool byteOk = bits == 8 && port == mach32port::PixelDataHi && width == 1;
    const bool wordOk = bits == 16 && port == mach32port::PixelData && width == 2;
    if (!byteOk && !wordOk) {
        fail(std::to_string(8 * width) + "-bit pixel-data write at " + hex(port) +
             " under data path " + hex(op_.path.value) + ", which takes " + std::to_string(bits) +
             "-bit transfers at " +
             hex(bits == 8 ? mach32port::PixelDataHi : mach32port::PixelData));
        return;
    }
    core_.queueFrontEndWrite("pixel transfer", uint16_t(value));
    const S3Regs &cr = core_.regs();
    const int64_t total = op_.rect.pixels();
    if (op_.path.source == Source::HostBits) {
        for (int j = 0; j < bits && op_.active && op_.done < total; j++) {
            const bool on = (value >> ((j / 8) * 8 + 7 - j % 8)) & 1;
            takePixel(on, on ? cr.fgColour : cr.bgColour);
        }
        return;
    }
    if (core_.pixelBits() == 16) {
        if (bits == 8) {
            fail("8-bit transfers of 16-bit host pixels are not modelled");
            return;
        }
        takePixel(true, value & 0xFFFF);
        return;
    }
    for (int k = 0; k < bits / 8 && op_.active; k++)
        takePixel(true, (value >> (8 * k)) & 0xFF);
}

uint32_t Mach32ExtPorts::hostRead(uint16_t port, int width) {
    const uint32_t none = width == 1 ? 0xFFu : 0xFFFFu;
    if (!op_.active || op_.path.source != Source::ReadBack) {
        fail(std::to_string(8 * width) + "-bit pixel-data read at " + hex(port) +
             " that no operation asked for");
        return none;
    }
    const int bits = op_.path.transferBits;
    const bool byteOk = bits == 8 && port == mach32port::PixelDataHi && width == 1;
    const bool wordOk = bits == 16 && port == mach32port::PixelData && width == 2;
    if (!byteOk && !wordOk) {
        fail(std::to_string(8 * width) + "-bit pixel-data read at " + hex(port) +
             " under data path " + hex(op_.path.value) + ", which gives " + std::to_string(bits) +
             "-bit transfers at " +
             hex(bits == 8 ? mach32port::PixelDataHi : mach32port::PixelData));
        return none;
    }
    if (!op_.readySeen) {
        fail("pixel-data read before a status read showed data ready");
        op_.readySeen = true; // one report per read-back
    }
    const int64_t total = op_.rect.pixels();
    const int per = core_.pixelBits() == 16 ? 1 : bits / 8;
    const int shift = core_.pixelBits() == 16 ? 16 : 8;
    uint32_t v = 0;
    for (int k = 0; k < per && op_.done < total; k++) {
        v |= op_.readBack[size_t(op_.done)] << (shift * k);
        // Each row delivered is progress for the machine's watchdog: the
        // transfer port is a stream, not a status that is polled.
        if (++op_.done % op_.rect.w == 0)
            Machine::current().guardVideoMemory(core_.vram(), true);
    }
    if (op_.done == total)
        op_ = Operation{};
    return v;
}

} // namespace sim
