// The "savage" board model; its registers, sequences and choices are listed
// in savage_board.h.
#include "models/savage_board.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint8_t CR13 = 0x13, CR51 = 0x51, CR67 = 0x67;
constexpr int kBusyReads = 2;

constexpr uint32_t kBackward = 0x48000000, kForward = 0x4B000000;
constexpr uint32_t kLowFillColour = 0x8000, kLowFill = 0x0000, kLowCopy = 0x0020,
                   kLowClipOnly = 0x4000, kLowImage = 0x4040, kLowMonoTransparent = 0xC260,
                   kLowMonoOpaque = 0xC060;

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

void fail(const std::string &why) {
    Machine::current().fail("savage engine: " + why);
}

const graf::MemoryArea *areaNamed(const graf::Config &cfg, const std::string &name) {
    for (const graf::MemoryArea &a : cfg.areas)
        if (a.name == name)
            return &a;
    return nullptr;
}

bool hangsOf(const graf::Config &cfg) {
    auto it = cfg.strings.find("ENGINE");
    if (it == cfg.strings.end() || it->second == "running")
        return false;
    if (it->second == "hangs")
        return true;
    throw std::invalid_argument("savage board: ENGINE is \"running\" or \"hangs\", not \"" +
                                it->second + "\"");
}

// ROP3 over source and destination (the pattern taken as 0).
uint32_t rop3(uint8_t code, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int idx = 0; idx < 4; idx++)
        if (code & (1u << idx))
            r |= ((idx & 2) ? s : ~s) & ((idx & 1) ? d : ~d);
    return r;
}

uint32_t pixelMask(int n) {
    return n >= 4 ? ~0u : (1u << (8 * n)) - 1;
}

int lo16(uint32_t v) {
    return int(v & 0xFFFF);
}
int hi16(uint32_t v) {
    return int(v >> 16);
}

} // namespace

// The command port, status and control words in the register area.
class SavageEngine : public MemDevice {
  public:
    SavageEngine(VideoMemory &vram, Machine &m, const vga::Crtc &crtc, bool hangs)
        : vram_(vram), machine_(m), crtc_(crtc), hangs_(hangs) {}

    uint32_t read(uint32_t offset, int width) override {
        if (width == 4 && offset == savagereg::Status)
            return status();
        if (width == 4 && offset == savagereg::Control)
            return control_;
        fail(std::to_string(8 * width) + "-bit read at REGS + " + hex(offset) + " is no register");
        return 0;
    }

    void write(uint32_t offset, int width, uint32_t value) override {
        if (width == 4 && offset == savagereg::CommandPort) {
            word(value);
            return;
        }
        if (width == 4 && offset == savagereg::Control) {
            if (!(value & savagereg::kControlOn) && open()) {
                fail("engine turned off with a sequence open (command " + hex(cmd_) + ")");
                closeSequence();
            }
            control_ = value;
            return;
        }
        fail(std::to_string(8 * width) + "-bit write of " + hex(value) + " at REGS + " +
             hex(offset) + " is no register");
    }

    void drain() {
        if (open()) {
            fail("drained with a sequence open (command " + hex(cmd_) + ")");
            closeSequence();
        }
        busyLeft_ = 0;
        if (!hangs_)
            setGuard(false);
    }

    int pixelBytes() const {
        switch (crtc_.reg(CR67) >> 4) {
        case 0x0:
            return 1;
        case 0x3:
        case 0x5:
            return 2;
        case 0xD:
            return 4;
        default:
            return 0;
        }
    }
    uint32_t pitch() const {
        return (uint32_t(crtc_.reg(CR13)) | uint32_t((crtc_.reg(CR51) >> 4) & 3) << 8) * 8;
    }
    bool on() const { return control_ & savagereg::kControlOn; }

    uint32_t planemask = ~0u;
    std::vector<SavageOp> log;
    std::vector<uint32_t> words;

  private:
    enum class State : uint8_t { Idle, MaskValue, Open };

    bool open() const { return state_ == State::Open; }

    void setGuard(bool busy) {
        if (busy == guarded_)
            return;
        guarded_ = busy;
        machine_.guardVideoMemory(vram_, busy);
    }

    uint32_t status() {
        if (hangs_ && started_) {
            setGuard(true);
            return 0;
        }
        if (open())
            return 0;
        if (busyLeft_ > 0) {
            if (--busyLeft_ == 0)
                setGuard(false);
            return 0;
        }
        return savagereg::kIdleBits;
    }

    void closeSequence() {
        state_ = State::Idle;
        args_.clear();
        busyLeft_ += kBusyReads;
    }

    // Header words before the rectangles or data, by the low half.
    static int headerWords(uint32_t low) {
        switch (low) {
        case kLowFillColour:
            return 1;
        case kLowFill:
            return 0;
        case kLowCopy:
            return 3;
        case kLowClipOnly:
        case kLowImage:
            return 3;
        case kLowMonoTransparent:
            return 4;
        case kLowMonoOpaque:
            return 5;
        default:
            return -1;
        }
    }
    static bool repeats(uint32_t low) { return low == kLowFillColour || low == kLowFill; }

    // Data words owed after the header, or -1 when the size is not allowed.
    int64_t dataWords(uint32_t low, uint32_t size, int n) const {
        const int64_t w = lo16(size), h = hi16(size);
        if (low == kLowImage) {
            if (w % 4) {
                fail("image width " + std::to_string(w) + " is no multiple of 4 pixels");
                return -1;
            }
            return w * n / 4 * h;
        }
        if (low == kLowMonoTransparent || low == kLowMonoOpaque) {
            if (w % 32) {
                fail("monochrome width " + std::to_string(w) + " is no multiple of 32 pixels");
                return -1;
            }
            return w / 32 * h;
        }
        return 0;
    }

    bool startCommand(uint32_t value) {
        const uint32_t low = value & 0xFFFF;
        if ((value & 0xFF000000) != kForward && (value & 0xFF000000) != kBackward) {
            fail("word " + hex(value) + " is no command word");
            return false;
        }
        if (headerWords(low) < 0) {
            fail("command " + hex(value) + " has an unknown low half");
            return false;
        }
        if ((value & 0xFF000000) == kBackward && low != kLowCopy && low != kLowFill) {
            fail("command " + hex(value) + " runs backward but is no copy or plain fill");
            return false;
        }
        if (!on()) {
            fail("command " + hex(value) + " while engine control bit 0x8 is clear");
            return false;
        }
        if (pixelBytes() == 0) {
            fail("command " + hex(value) + " with no pixel size in CR67 (" + hex(crtc_.reg(CR67)) +
                 ")");
            return false;
        }
        cmd_ = value;
        owed_ = -1;
        args_.clear();
        state_ = State::Open;
        started_ = true;
        setGuard(true);
        return true;
    }

    void word(uint32_t value) {
        words.push_back(value);
        switch (state_) {
        case State::Idle:
            if (value == savagereg::kPlaneMaskWord)
                state_ = State::MaskValue;
            else
                startCommand(value);
            return;
        case State::MaskValue:
            planemask = value;
            state_ = State::Idle;
            return;
        case State::Open:
            argument(value);
            return;
        }
    }

    void argument(uint32_t value) {
        const uint32_t low = cmd_ & 0xFFFF;
        const size_t header = size_t(headerWords(low));
        if (repeats(low)) {
            const bool whole = args_.size() >= header && (args_.size() - header) % 2 == 0;
            if (value == savagereg::kEndWord && whole) {
                finish();
                return;
            }
            if (whole && value == savagereg::kPlaneMaskWord) {
                fail("plane-mask word inside command " + hex(cmd_));
                closeSequence();
                return;
            }
            args_.push_back(value);
            return;
        }
        if (args_.size() < header) {
            if (value == savagereg::kEndWord) {
                fail("end word after " + std::to_string(args_.size()) + " of the " +
                     std::to_string(header) + " words command " + hex(cmd_) + " takes");
                closeSequence();
                return;
            }
            args_.push_back(value);
            if (args_.size() == header) {
                owed_ = dataWords(low, value, pixelBytes());
                if (owed_ < 0)
                    closeSequence();
            }
            return;
        }
        if (owed_ > 0) {
            args_.push_back(value);
            owed_--;
            return;
        }
        if (value == savagereg::kEndWord) {
            finish();
            return;
        }
        fail("word " + hex(value) + " after the data of command " + hex(cmd_) +
             " where the end word belongs");
        closeSequence();
    }

    // Draws the closed command.
    void finish() {
        const uint32_t low = cmd_ & 0xFFFF;
        const int n = pixelBytes();
        SavageOp op{cmd_, planemask, n, 0, 0};
        const size_t header = size_t(headerWords(low));
        if (repeats(low)) {
            const uint32_t colour = low == kLowFillColour ? args_[0] : 0;
            for (size_t i = header; i + 1 < args_.size(); i += 2) {
                rect(
                    args_[i], args_[i + 1], [&](int, int) { return colour; }, 0, 0xFFFF);
                op.rectangles++;
            }
        } else if (low == kLowCopy) {
            const int sx = lo16(args_[0]), sy = hi16(args_[0]);
            const int dx = lo16(args_[1]), dy = hi16(args_[1]);
            rect(
                args_[1], args_[2],
                [&](int x, int y) { return load(sx + (x - dx), sy + (y - dy)); }, 0, 0xFFFF);
            op.rectangles = 1;
        } else {
            const uint32_t clip = args_[0];
            const uint32_t pos = args_[header - 2], size = args_[header - 1];
            const int w = lo16(size);
            const int x0 = lo16(pos), y0 = hi16(pos);
            const uint32_t *data = args_.data() + header;
            op.dataWords = uint32_t(args_.size() - header);
            op.rectangles = 1;
            if (low == kLowClipOnly) {
                rect(
                    pos, size, [](int, int) { return 0u; }, lo16(clip), hi16(clip));
            } else if (low == kLowImage) {
                const int rowWords = w * n / 4;
                rect(
                    pos, size,
                    [&](int x, int y) {
                        uint32_t v = 0;
                        for (int b = 0; b < n; b++) {
                            const int k = (x - x0) * n + b;
                            const uint32_t wd = data[size_t((y - y0) * rowWords + k / 4)];
                            v |= ((wd >> (24 - 8 * (k % 4))) & 0xFF) << (8 * b);
                        }
                        return v;
                    },
                    lo16(clip), hi16(clip));
            } else {
                const int rowWords = w / 32;
                const uint32_t fg = args_[1];
                const uint32_t bg = low == kLowMonoOpaque ? args_[2] : 0;
                const bool transparent = low == kLowMonoTransparent;
                rect(
                    pos, size,
                    [&](int x, int y) -> int64_t {
                        const int i = x - x0;
                        const uint32_t wd = data[size_t((y - y0) * rowWords + i / 32)];
                        const bool set = (wd >> (31 - i % 32)) & 1;
                        if (!set && transparent)
                            return -1;
                        return set ? fg : bg;
                    },
                    lo16(clip), hi16(clip));
            }
        }
        log.push_back(op);
        closeSequence();
    }

    uint32_t load(int x, int y) const {
        const int n = pixelBytes();
        const uint64_t at = uint64_t(y) * pitch() + uint64_t(x) * uint64_t(n);
        if (x < 0 || y < 0 || at + uint64_t(n) > vram_.size())
            return 0;
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v |= uint32_t(vram_.data()[at + uint64_t(i)]) << (8 * i);
        return v;
    }

    // Every pixel of a rectangle in the command's order, from the corner
    // `pos`; `source(x, y)` gives the source pixel, or a negative value to
    // leave the destination.
    template <class Source>
    void rect(uint32_t pos, uint32_t size, Source source, int clipLeft, int clipRight) {
        const int n = pixelBytes();
        const bool fwd = (cmd_ & 0xFF000000) == kForward;
        const int w = lo16(size), h = hi16(size);
        const int cx = lo16(pos), cy = hi16(pos);
        const uint8_t code = uint8_t(cmd_ >> 16);
        const uint32_t mask = pixelMask(n), pm = planemask & mask;
        const uint64_t stride = pitch();
        for (int r = 0; r < h; r++) {
            const int y = fwd ? cy + r : cy - r;
            for (int i = 0; i < w; i++) {
                const int x = fwd ? cx + i : cx - i;
                if (x < clipLeft || x > clipRight)
                    continue;
                const int64_t s = int64_t(source(x, y));
                if (s < 0)
                    continue;
                const uint64_t at = uint64_t(y) * stride + uint64_t(x) * uint64_t(n);
                if (x < 0 || y < 0 || at + uint64_t(n) > vram_.size()) {
                    fail("command " + hex(cmd_) + " reaches pixel (" + std::to_string(x) + ", " +
                         std::to_string(y) + ") beyond video memory");
                    return;
                }
                uint8_t *p = vram_.data() + at;
                uint32_t d = 0;
                for (int b = 0; b < n; b++)
                    d |= uint32_t(p[b]) << (8 * b);
                const uint32_t v = (d & ~pm) | (rop3(code, uint32_t(s), d) & pm);
                for (int b = 0; b < n; b++)
                    p[b] = uint8_t(v >> (8 * b));
            }
        }
    }

    VideoMemory &vram_;
    Machine &machine_;
    const vga::Crtc &crtc_;
    bool hangs_;
    bool started_ = false;
    bool guarded_ = false;
    int busyLeft_ = 0;
    uint32_t control_ = 0;
    State state_ = State::Idle;
    uint32_t cmd_ = 0;
    int64_t owed_ = -1;
    std::vector<uint32_t> args_;
};

SavageAdapter::SavageAdapter(graf::Config &cfg, Machine &m) : S3Adapter("savage", cfg, m) {
    const graf::MemoryArea *regs = areaNamed(cfg, "REGS");
    if (!regs || !regs->mapped)
        throw std::invalid_argument("savage board: no REGS area");
    if (regs->length < savagereg::kMinRegsLength)
        throw std::invalid_argument("savage board: REGS must be at least " +
                                    hex(savagereg::kMinRegsLength) + " bytes, it is " +
                                    hex(regs->length));
    engine_ = m.own<SavageEngine>(*vram(), m, vga().crtc, hangsOf(cfg));
    m.mapDevice(static_cast<uint8_t *>(regs->mapped), regs->length, engine_);
}

SavageEngine &SavageAdapter::savageEngine() {
    return *engine_;
}
const std::vector<SavageOp> &SavageAdapter::log() const {
    return engine_->log;
}
void SavageAdapter::clearLog() {
    engine_->log.clear();
}
const std::vector<uint32_t> &SavageAdapter::words() const {
    return engine_->words;
}
void SavageAdapter::clearWords() {
    engine_->words.clear();
}
uint32_t SavageAdapter::planemask() const {
    return engine_->planemask;
}
bool SavageAdapter::engineOn() const {
    return engine_->on();
}
int SavageAdapter::pixelBytes() const {
    return engine_->pixelBytes();
}

void SavageAdapter::drain() {
    S3Adapter::drain();
    engine_->drain();
}

uint32_t SavageAdapter::displayPitch() const {
    return engine_->pitch();
}

std::string SavageAdapter::describe() const {
    std::string s = "savage: " + std::to_string(memSize() / 1024) + " KB";
    s += ", display line " + std::to_string(displayPitch()) + " bytes";
    s += ", " + std::to_string(engine_->pixelBytes()) + " bytes a pixel";
    s += engine_->on() ? ", engine on" : ", engine off";
    s += blanked() ? ", blanked" : ", picture on";
    s += ", cursor ";
    const S3Cursor &c = cursor();
    if (c.enabled())
        s += "at (" + std::to_string(c.x()) + ", " + std::to_string(c.y()) + ") image " +
             hex(c.imageOffset());
    else
        s += "off";
    return s;
}

namespace {

AdapterRegistration
    savageRegistration("savage", [](graf::Config &cfg, Machine &m) -> std::unique_ptr<Adapter> {
        return std::make_unique<SavageAdapter>(cfg, m);
    });

} // namespace

} // namespace sim
