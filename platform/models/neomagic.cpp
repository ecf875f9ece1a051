// The "neomagic" board model; its registers, keys and choices are listed in
// neomagic.h.
#include "models/neomagic.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t SR1 = 0x01, kSr1ScreenOff = 0x20;
constexpr uint32_t kMaxMemory = 0x400000;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int intOf(const graf::Config &cfg, const char *key, int fallback) {
    auto it = cfg.ints.find(key);
    return it == cfg.ints.end() ? fallback : it->second;
}

uint32_t memSizeOf(const graf::Config &cfg) {
    int size = intOf(cfg, "MEMSIZE", 0x200000);
    if (size < 0x100000 || static_cast<uint32_t>(size) > kMaxMemory || (size & 0xFFFF))
        throw std::invalid_argument("neomagic board: no memory size " +
                                    hex(static_cast<uint32_t>(size)));
    return static_cast<uint32_t>(size);
}

} // namespace

class NeoRegisters : public MemDevice {
  public:
    explicit NeoRegisters(NeoBoard &b) : board_(b) {}
    uint32_t read(uint32_t offset, int width) override;
    void write(uint32_t offset, int width, uint32_t value) override;

  private:
    NeoBoard &board_;
};

namespace {

using Engine = NeoAdapter::Engine;

// Engine registers, byte offsets.
constexpr uint32_t kStatus = 0, kMode = 2, kCommand = 4, kForeground = 12, kBackground = 16,
                   kPitches = 20, kSrcBit = 32, kSource = 36, kDestination = 44, kSize = 48,
                   kEngineEnd = 52, kCursorBytes = 24;
constexpr uint32_t kBusyBit = 1;
constexpr uint32_t kAddressXY = 0x02000000;

Engine engineOf(int chipCode) {
    switch (chipCode & 0xFF) {
    case 2:
    case 3:
    case 4:
    case 0x53:
        return Engine::Gen209X;
    case 5:
        return Engine::Gen2200;
    default:
        return Engine::None;
    }
}

// Bit (s x 2 + d) of the 4-bit op is the result for source bit s and
// destination bit d.
uint32_t ropOf(uint32_t rop, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    if (rop & 1)
        r |= ~s & ~d;
    if (rop & 2)
        r |= ~s & d;
    if (rop & 4)
        r |= s & ~d;
    if (rop & 8)
        r |= s & d;
    return r;
}

int lineLengthOf(uint32_t code) {
    switch ((code >> 10) & 7) {
    case 2:
        return 640;
    case 3:
        return 800;
    case 4:
        return 1024;
    case 6:
        return 1280;
    default:
        return 0;
    }
}

} // namespace

class NeoBoard {
  public:
    NeoBoard(graf::Config &cfg, Machine &m)
        : vram(memSizeOf(cfg)), regs(*this), engine(engineOf(intOf(cfg, "CHIPCODE", 3))) {
        vgaCore.attach(m);
        vgaCore.crtc.setReg(NeoAdapter::CR1A, static_cast<uint8_t>(intOf(cfg, "CHIPCODE", 3)));
        vgaCore.gc.setReg(NeoAdapter::GR20, static_cast<uint8_t>(intOf(cfg, "GR20", 0x02)));
        for (auto &area : cfg.areas) {
            if (area.name == "MEM_BASE1") {
                area.mapped = m.addLinearAperture(area.name, area.physBase, area.length, vram);
            } else if (area.name == "MEM_BASE2" && area.length > 0) {
                uint8_t *host = m.addArea(area.name, area.physBase, area.length);
                m.mapDevice(host, area.length, &regs);
                area.mapped = host;
            }
        }
        mapPlainAreas(cfg, m);
    }

    void fail(const std::string &what) { Machine::current().fail("neomagic: " + what); }

    // ---- busy state ----

    bool busy() const { return busyLeft > 0 || owed > 0; }

    void setGuard(bool on) {
        if (on == guarded)
            return;
        guarded = on;
        Machine::current().guardVideoMemory(vram, on);
    }

    uint32_t status() {
        stats.statusReads++;
        const bool wasBusy = busy();
        if (owed == 0 && busyLeft > 0 && --busyLeft == 0)
            setGuard(false);
        return wasBusy ? kBusyBit : 0;
    }

    void drain() {
        busyLeft = 0;
        owed = 0;
        setGuard(false);
    }

    // ---- register block ----

    uint32_t readRegister(uint32_t offset, int width) {
        if (engine != Engine::None && offset < 4) {
            if (offset != kStatus)
                fail("read of " + std::to_string(8 * width) + " bits at " + hex(offset) +
                     ", inside the status word");
            return status();
        }
        if (engine != Engine::None && offset >= NeoAdapter::kHostData &&
            offset < NeoAdapter::kHostData + NeoAdapter::kHostDataBytes) {
            fail("read of the host-data window at " + hex(offset));
            return 0;
        }
        auto it = words.find(offset);
        return it == words.end() ? 0 : it->second;
    }

    void writeRegister(uint32_t offset, int width, uint32_t value) {
        if (engine == Engine::None) {
            if (offset < 4) {
                fail("write of " + hex(value) +
                     " to the engine's status word, which is read-only (" +
                     std::to_string(8 * width) + " bits at " + hex(offset) + ")");
                return;
            }
            words[offset] = value;
            return;
        }
        if (offset >= NeoAdapter::kHostData &&
            offset < NeoAdapter::kHostData + NeoAdapter::kHostDataBytes) {
            log.push_back({offset, width, value});
            hostWord(offset, width, value);
            return;
        }
        if (offset >= kEngineEnd) {
            const uint32_t c = cursorRegisters();
            if (offset >= c && offset < c + kCursorBytes)
                cursorLog.push_back({offset - c, width, value});
            words[offset] = value;
            return;
        }
        log.push_back({offset, width, value});
        engineWrite(offset, width, value);
    }

    void engineWrite(uint32_t offset, int width, uint32_t value) {
        if (owed > 0) {
            fail("register write of " + hex(value) + " at " + hex(offset) + " while " +
                 std::to_string(owed) + " host-data words are missing");
            return;
        }
        if (busy()) {
            fail("register write of " + hex(value) + " at " + hex(offset) +
                 " while the engine is busy");
            return;
        }
        if (engine == Engine::Gen2200 && offset == kMode && (width == 4 || width == 2)) {
            mode = value & 0xFFFF;
            // The store's upper half reaches the command word's lower half.
            if (width == 4)
                reg[kCommand / 4] = (reg[kCommand / 4] & 0xFFFF0000u) | value >> 16;
            return;
        }
        if (width != 4 || (offset & 3) != 0 || !hasRegister(offset)) {
            fail("write of " + hex(value) + " (" + std::to_string(8 * width) + " bits) at " +
                 hex(offset) + ", which the " + engineName() + " engine does not have");
            return;
        }
        reg[offset / 4] = value;
        words[offset] = value;
        if (offset == kSize)
            start();
    }

    bool hasRegister(uint32_t offset) const {
        switch (offset) {
        case kCommand:
        case kForeground:
        case kBackground:
        case kSrcBit:
        case kSource:
        case kDestination:
        case kSize:
            return true;
        case kPitches:
            return engine == Engine::Gen2200;
        default:
            return false;
        }
    }

    std::string engineName() const { return engine == Engine::Gen2200 ? "2200" : "209X"; }

    // ---- operations ----

    struct Op {
        uint32_t rop = 0;
        int pixelBytes = 1;
        int lineLength = 0;
        bool xy = true;
        int w = 0, h = 0;
    };

    bool decode(Op &op) {
        const uint32_t cmd = reg[kCommand / 4];
        const uint32_t modeBits = engine == Engine::Gen2200 ? mode : cmd & 0xFFFF;
        op.rop = (cmd >> 16) & 0xF;
        switch (modeBits & 0x300) {
        case 0x100:
            op.pixelBytes = 1;
            break;
        case 0x200:
            op.pixelBytes = 2;
            break;
        default:
            fail("no pixel size in the mode " + hex(modeBits));
            return false;
        }
        op.lineLength = lineLengthOf(modeBits);
        if (engine == Engine::Gen209X && op.lineLength == 1280)
            op.lineLength = 0;
        op.xy = engine == Engine::Gen209X || (cmd & kAddressXY) != 0;
        if (op.xy && op.lineLength == 0) {
            fail("no line length in the mode " + hex(modeBits));
            return false;
        }
        op.w = int(reg[kSize / 4] & 0xFFFF);
        op.h = int(reg[kSize / 4] >> 16);
        return true;
    }

    // Byte address of pixel (x, y) counted from a register's address.
    int64_t addressOf(const Op &op, uint32_t base, int64_t dx, int64_t dy, int64_t pitch) const {
        if (op.xy)
            return ((int64_t(base >> 16) + dy) * op.lineLength + int64_t(base & 0xFFFF) + dx) *
                   op.pixelBytes;
        return int64_t(base) + dy * pitch + dx * op.pixelBytes;
    }

    bool inside(const Op &op, int64_t first, int64_t last, const char *what) {
        const int64_t lo = std::min(first, last), hi = std::max(first, last) + op.pixelBytes;
        if (lo < 0 || hi > int64_t(vram.size())) {
            fail(std::string(what) + " reaches past video memory (" + hex(uint32_t(lo)) + " to " +
                 hex(uint32_t(hi)) + ")");
            return false;
        }
        return true;
    }

    uint32_t pixelAt(const Op &op, int64_t a) const {
        const uint8_t *p = vram.data() + a;
        return op.pixelBytes == 1 ? p[0] : uint32_t(p[0]) | uint32_t(p[1]) << 8;
    }

    void putPixel(const Op &op, int64_t a, uint32_t s) {
        uint8_t *p = vram.data() + a;
        const uint32_t d = pixelAt(op, a);
        const uint32_t v = ropOf(op.rop, s, d);
        p[0] = uint8_t(v);
        if (op.pixelBytes == 2)
            p[1] = uint8_t(v >> 8);
    }

    uint32_t colour(const Op &op, uint32_t offset) const {
        return reg[offset / 4] & (op.pixelBytes == 1 ? 0xFFu : 0xFFFFu);
    }

    void start() {
        stats.starts++;
        busyLeft = NeoAdapter::kBusyReads;
        setGuard(true);
        Op op;
        if (!decode(op))
            return;
        const uint32_t kind = reg[kCommand / 4] & 0xFF;
        switch (kind) {
        case 0x00:
        case 0x13:
            copy(op, kind == 0x13);
            return;
        case 0x08:
            fill(op);
            return;
        case 0xC0:
        case 0xC4:
            beginExpansion(op, kind == 0xC4);
            return;
        default:
            fail("command " + hex(reg[kCommand / 4]) + ": no operation " + hex(kind));
        }
    }

    void copy(const Op &op, bool backwards) {
        if (op.w == 0 || op.h == 0)
            return;
        const int64_t step = backwards ? -1 : 1;
        const uint32_t pitches = reg[kPitches / 4];
        const int64_t dPitch = pitches & 0xFFFF, sPitch = pitches >> 16;
        const uint32_t src = reg[kSource / 4], dst = reg[kDestination / 4];
        const int64_t lastX = step * (op.w - 1), lastY = step * (op.h - 1);
        if (!inside(op, addressOf(op, src, 0, 0, sPitch), addressOf(op, src, lastX, lastY, sPitch),
                    "copy source") ||
            !inside(op, addressOf(op, dst, 0, 0, dPitch), addressOf(op, dst, lastX, lastY, dPitch),
                    "copy destination"))
            return;
        // Pixel by pixel in the engine's order, so a copy run the wrong way
        // over its own source shows.
        for (int64_t j = 0; j < op.h; j++)
            for (int64_t i = 0; i < op.w; i++) {
                const uint32_t s = pixelAt(op, addressOf(op, src, step * i, step * j, sPitch));
                putPixel(op, addressOf(op, dst, step * i, step * j, dPitch), s);
            }
    }

    void fill(const Op &op) {
        if (op.w == 0 || op.h == 0)
            return;
        const uint32_t dst = reg[kDestination / 4];
        if (!op.xy) {
            fail("a fill with byte-offset addresses");
            return;
        }
        if (!inside(op, addressOf(op, dst, 0, 0, 0), addressOf(op, dst, op.w - 1, op.h - 1, 0),
                    "fill"))
            return;
        const uint32_t fg = colour(op, kForeground);
        for (int64_t j = 0; j < op.h; j++)
            for (int64_t i = 0; i < op.w; i++)
                putPixel(op, addressOf(op, dst, i, j, 0), fg);
    }

    // ---- monochrome expansion from host data ----

    void beginExpansion(const Op &op, bool transparentBits) {
        if (!op.xy) {
            fail("an expansion with byte-offset addresses");
            return;
        }
        if (reg[kSrcBit / 4] != 0) {
            fail("source bit offset " + hex(reg[kSrcBit / 4]));
            return;
        }
        const uint32_t dst = reg[kDestination / 4];
        if (op.w > 0 && op.h > 0 &&
            !inside(op, addressOf(op, dst, 0, 0, 0), addressOf(op, dst, op.w - 1, op.h - 1, 0),
                    "expansion"))
            return;
        expansion = op;
        transparent = transparentBits;
        rowBytes = (op.w + 7) / 8;
        streamByte = 0;
        owed = (uint64_t(rowBytes) * uint64_t(op.h) + 3) / 4;
    }

    void hostWord(uint32_t offset, int width, uint32_t value) {
        stats.hostWords++;
        if (owed == 0) {
            fail("host-data word " + hex(value) + " at " + hex(offset) +
                 " with no expansion waiting for one");
            return;
        }
        if (width != 4) {
            fail("a " + std::to_string(8 * width) + "-bit host-data store at " + hex(offset));
            return;
        }
        const Op &op = expansion;
        const uint64_t total = uint64_t(rowBytes) * uint64_t(op.h);
        const uint32_t dst = reg[kDestination / 4];
        const uint32_t fg = colour(op, kForeground), bg = colour(op, kBackground);
        for (int k = 0; k < 4 && streamByte < total; k++, streamByte++) {
            const uint8_t byte = uint8_t(value >> (8 * k));
            const int64_t row = int64_t(streamByte / uint64_t(rowBytes));
            const int64_t col0 = int64_t(streamByte % uint64_t(rowBytes)) * 8;
            for (int b = 0; b < 8 && col0 + b < op.w; b++) {
                const bool on = (byte >> (7 - b)) & 1;
                if (on || !transparent)
                    putPixel(op, addressOf(op, dst, col0 + b, row, 0), on ? fg : bg);
            }
        }
        if (--owed == 0)
            busyLeft = NeoAdapter::kBusyReads;
    }

    VideoMemory vram;
    vga::VgaCore vgaCore;
    NeoRegisters regs;
    Engine engine;
    std::map<uint32_t, uint32_t> words;

    uint32_t reg[kEngineEnd / 4] = {};
    uint32_t mode = 0;
    int busyLeft = 0;
    bool guarded = false;
    uint64_t owed = 0;
    Op expansion;
    bool transparent = false;
    int rowBytes = 0;
    uint64_t streamByte = 0;

    // ---- cursor ----

    uint32_t cursorRegisters() const {
        return engine == Engine::Gen2200 ? 0x1000 : engine == Engine::Gen209X ? 0x100 : 0;
    }

    uint32_t word(uint32_t offset) const {
        auto it = words.find(offset);
        return it == words.end() ? 0 : it->second;
    }

    NeoAdapter::CursorState cursor() const {
        NeoAdapter::CursorState c;
        const uint32_t base = cursorRegisters();
        if (base == 0)
            return c;
        c.enabled = word(base) & 1;
        c.x = int32_t(word(base + 4));
        c.y = int32_t(word(base + 8));
        c.background = word(base + 12);
        c.foreground = word(base + 16);
        const uint32_t a = word(base + 20);
        c.imageOffset = ((a >> 8 & 0xF) | (a & 0xFF) << 4) * 1024;
        return c;
    }

    NeoAdapter::CursorPixel cursorAt(int x, int y) const {
        using P = NeoAdapter::CursorPixel;
        const NeoAdapter::CursorState c = cursor();
        const int64_t col = int64_t(x) - c.x, row = int64_t(y) - c.y;
        if (!c.enabled || col < 0 || col >= 64 || row < 0 || row >= 64 ||
            uint64_t(c.imageOffset) + 1024 > vram.size())
            return P::Transparent;
        const uint8_t *line = vram.data() + c.imageOffset + row * 16;
        const int bit = 7 - int(col % 8);
        if (!((line[8 + col / 8] >> bit) & 1))
            return P::Transparent;
        return (line[col / 8] >> bit) & 1 ? P::Background : P::Foreground;
    }

    std::vector<NeoAdapter::RegWrite> log;
    std::vector<NeoAdapter::RegWrite> cursorLog;
    NeoAdapter::Stats stats;
};

uint32_t NeoRegisters::read(uint32_t offset, int width) {
    return board_.readRegister(offset, width);
}

void NeoRegisters::write(uint32_t offset, int width, uint32_t value) {
    board_.writeRegister(offset, width, value);
}

NeoAdapter::NeoAdapter(const std::string &model, graf::Config &cfg, Machine &m)
    : model_(model), board_(m.own<NeoBoard>(cfg, m)) {}

VideoMemory *NeoAdapter::vram() {
    return &board_->vram;
}
vga::VgaCore &NeoAdapter::vga() {
    return board_->vgaCore;
}
const std::map<uint32_t, uint32_t> &NeoAdapter::registerWords() const {
    return board_->words;
}
void NeoAdapter::drain() {
    board_->drain();
}
NeoAdapter::Engine NeoAdapter::engine() const {
    return board_->engine;
}
bool NeoAdapter::busy() const {
    return board_->busy();
}
const std::vector<NeoAdapter::RegWrite> &NeoAdapter::log() const {
    return board_->log;
}
void NeoAdapter::clearLog() {
    board_->log.clear();
    board_->cursorLog.clear();
}
uint32_t NeoAdapter::cursorRegisters() const {
    return board_->cursorRegisters();
}
NeoAdapter::CursorState NeoAdapter::cursor() const {
    return board_->cursor();
}
NeoAdapter::CursorPixel NeoAdapter::cursorAt(int x, int y) const {
    return board_->cursorAt(x, y);
}
const std::vector<NeoAdapter::RegWrite> &NeoAdapter::cursorLog() const {
    return board_->cursorLog;
}
const NeoAdapter::Stats &NeoAdapter::stats() const {
    return board_->stats;
}
bool NeoAdapter::blanked() const {
    return (board_->vgaCore.seq.reg(SR1) & kSr1ScreenOff) != 0;
}

std::string NeoAdapter::describe() const {
    std::string s = model_ + ": chip code " + hex(board_->vgaCore.crtc.reg(CR1A) & 0x1F) + ", " +
                    std::to_string(board_->vram.size() / 1024) + " KB, GR20 " +
                    hex(board_->vgaCore.gc.reg(GR20));
    if (board_->engine != Engine::None)
        s += std::string(", ") + board_->engineName() + " engine " +
             (board_->busy() ? "busy" : "idle");
    const NeoAdapter::CursorState c = board_->cursor();
    if (c.enabled)
        s += ", cursor at " + std::to_string(c.x) + ", " + std::to_string(c.y);
    if (blanked())
        s += ", blanked";
    return s;
}

namespace {
AdapterRegistration neomagic("neomagic", adapterFactory<NeoAdapter>("neomagic"));
} // namespace

} // namespace sim
