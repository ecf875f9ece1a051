// The dulmo board's blitter and line engine: what a start (0x33CE), a line
// control write (GR 0x60) or a write to the frame buffer does under the
// operation mode in GR 0x5A. Pixels are addressed y x pitch + x; every
// pixel the engine writes goes through the raster op of 0x33C7 (its truth
// table indexed by 2 x source + destination, bit by bit) under the plane
// mask in GR 0x08.
//
// Modes:
// - 0xC1 copy: width 0x23C2, height 0x23C4, source 0x63C0/0x63C2,
//   destination 0x63CC/0x63CE; start 1 runs forward from the top-left
//   corners, 0x41 backward (addresses decreasing) from the bottom-right
//   corners given. Pixels are copied one at a time in that order, so an
//   overlapping copy in the wrong direction smears as the hardware would.
// - 0x01 copy of the special chip revision: what it does with the raster op
//   is not documented; the model copies the source plainly (plane mask
//   applied, raster op ignored).
// - 0xC2 fill with GR 0x43, the destination box as for a copy.
// - 0xC3 lines in GR 0x60: 0x5F draws from the start 0x63C0/0x63C2 with the
//   error terms e, e1, e2 (GR 0x66-0x6B, signed 16-bit, low byte first), the
//   length (GR 0x64/0x65) and the octant (GR 0x63: 4 x decreasing, 2 y
//   decreasing, 1 y-major) by the zero-width rule (a pixel, then a diagonal
//   step adding e2 when e > 0, else a major step adding e1); 0x18 draws from
//   the start to the end point 0x83CC/0x83CE once 0x83CE is written, both
//   ends included, by the same rule with e1 = 2 dminor, e2 = 2 dminor - 2
//   dmajor and e = 2 dminor - dmajor.
// - 0x50 and 0xC0 after a start: colour expansion of 1-bit data the
//   processor writes, one byte at a time, to frame-buffer byte 0: the bit
//   offset in the first byte from 0x63C0, ceil((width + offset) / 8) bytes a
//   row, most significant bit leftmost; 1 bits take GR 0x43, 0 bits GR 0x44
//   (0xC0) or nothing (0x50).
// - 0x51 colour expansion of 1-bit data in video memory from the bit address
//   0x63C2:0x63C0, rows 4 bytes apart. Its bits are read least significant
//   bit leftmost: the order glyph bits are loaded in unchanged under 0x04,
//   so a glyph drawn from video memory draws as the same glyph fed through
//   0x50.
// - 0x50 with no operation started: a 32-bit write at (y x pitch / 8) + 4k
//   paints the 32 pixels from x = 32k on line y with GR 0x43 wherever a bit
//   is 1: its bytes in address order, most significant bit leftmost.
// - 0x04: processor writes store their bytes unchanged (glyph loading).
// - 0xC0 with no operation started: processor writes go through the raster
//   op and the plane mask.
#include <cstdio>
#include <cstdlib>

#include "models/dulmo_board.h"

namespace sim {

namespace {

constexpr int kBusyReads = 3;

int portSlot(uint16_t port) {
    int bank = (port & 0xFFF0) == 0x23C0 ? 0 : (port & 0xFFF0) == 0x63C0 ? 1 : 2;
    return bank * 16 + (port & 0xF);
}

} // namespace

uint16_t DulmoAdapter::reg(uint16_t port) const {
    if ((port & 0xFFF0) == 0x23C0)
        return r23_[port & 0xF];
    if ((port & 0xFFF0) == 0x63C0)
        return r63_[port & 0xF];
    return r83_[port & 0xF];
}

bool DulmoAdapter::written(uint16_t port) const {
    return written_[static_cast<size_t>(portSlot(port))];
}

void DulmoAdapter::noteRegister(uint16_t port) {
    uint16_t even = static_cast<uint16_t>(port & ~1u);
    if ((even & 0xFFF0) == 0x23C0 || (even & 0xFFF0) == 0x63C0 || (even & 0xFFF0) == 0x83C0)
        written_[static_cast<size_t>(portSlot(even))] = true;
    if (expanding_)
        fail("engine register written while an expansion still takes " +
             std::to_string(static_cast<int>(expandBytes_.size())) + " data bytes");
    // The end point's last word starts a line drawn to it.
    if (even == 0x83CE && gr_[0x5A] == 0xC3 && gr_[0x60] == 0x18)
        lineToEnd();
}

bool DulmoAdapter::need(std::initializer_list<uint16_t> ports, const char *what) {
    for (uint16_t p : ports)
        if (!written(p)) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%s started without register 0x%X", what, p);
            fail(buf);
            return false;
        }
    return true;
}

void DulmoAdapter::occupy() {
    busyReads_ = kBusyReads;
    // An engine start is progress to the machine's watchdog.
    machine_.guardVideoMemory(vram_, true);
    machine_.guardVideoMemory(vram_, false);
}

void DulmoAdapter::resetEngine() {
    expanding_ = false;
    expandBytes_.clear();
}

bool DulmoAdapter::takesData() const {
    return expanding_;
}

void DulmoAdapter::rop(uint32_t at, uint8_t src, uint8_t mask) {
    if (at >= vram_.size()) {
        fail("engine write past the video memory");
        return;
    }
    uint8_t &d = vram_.data()[at];
    uint8_t out = 0;
    for (int b = 0; b < 8; b++) {
        int s = (src >> b) & 1, dv = (d >> b) & 1;
        out |= static_cast<uint8_t>(((rop_ >> (2 * s + dv)) & 1) << b);
    }
    d = static_cast<uint8_t>((d & ~mask) | (out & mask));
}

void DulmoAdapter::start(uint8_t code) {
    if (expanding_) {
        fail("engine started while an expansion still takes data");
        return;
    }
    bool backward = code == 0x41;
    if (code != 1 && code != 0x41) {
        fail("unknown start code " + std::to_string(code));
        return;
    }
    switch (gr_[0x5A]) {
    case 0xC1:
    case 0x01:
        copy(backward, gr_[0x5A] == 0x01);
        break;
    case 0xC2:
        fill();
        break;
    case 0x50:
    case 0xC0:
        beginExpansion(false);
        return;
    case 0x51:
        beginExpansion(true);
        break;
    default:
        fail("start in operation mode " + std::to_string(gr_[0x5A]));
        return;
    }
    occupy();
}

void DulmoAdapter::copy(bool backward, bool plain) {
    if (!need({0x23C2, 0x23C4, 0x63C0, 0x63C2, 0x63CC, 0x63CE}, "copy"))
        return;
    int w = reg(0x23C2), h = reg(0x23C4);
    int sx = static_cast<int16_t>(reg(0x63C0)), sy = static_cast<int16_t>(reg(0x63C2));
    int dx = static_cast<int16_t>(reg(0x63CC)), dy = static_cast<int16_t>(reg(0x63CE));
    int step = backward ? -1 : 1;
    uint8_t savedRop = rop_;
    if (plain)
        rop_ = 0x0C;
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            int64_t s = int64_t{sy + step * r} * pitch_ + sx + step * c;
            int64_t d = int64_t{dy + step * r} * pitch_ + dx + step * c;
            if (s < 0 || d < 0 || s >= static_cast<int64_t>(vram_.size())) {
                fail("copy outside the video memory");
                rop_ = savedRop;
                return;
            }
            rop(static_cast<uint32_t>(d), vram_.data()[s], gr_[0x08]);
        }
    rop_ = savedRop;
}

void DulmoAdapter::fill() {
    if (!need({0x23C2, 0x23C4, 0x63CC, 0x63CE}, "fill"))
        return;
    int w = reg(0x23C2), h = reg(0x23C4);
    int dx = static_cast<int16_t>(reg(0x63CC)), dy = static_cast<int16_t>(reg(0x63CE));
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            int64_t d = int64_t{dy + r} * pitch_ + dx + c;
            if (d < 0) {
                fail("fill outside the video memory");
                return;
            }
            rop(static_cast<uint32_t>(d), gr_[0x43], gr_[0x08]);
        }
}

void DulmoAdapter::line(int x, int y, int e, int e1, int e2, int len, int octant) {
    int sdx = (octant & 4) ? -1 : 1, sdy = (octant & 2) ? -1 : 1;
    bool yMajor = (octant & 1) != 0;
    for (int i = 0; i < len; i++) {
        int64_t d = int64_t{y} * pitch_ + x;
        if (x < 0 || y < 0 || x >= static_cast<int>(pitch_) ||
            d >= static_cast<int64_t>(vram_.size())) {
            fail("line outside the video memory");
            return;
        }
        rop(static_cast<uint32_t>(d), gr_[0x43], gr_[0x08]);
        if (e > 0) {
            x += sdx;
            y += sdy;
            e += e2;
        } else {
            if (yMajor)
                y += sdy;
            else
                x += sdx;
            e += e1;
        }
    }
}

void DulmoAdapter::lineControl(uint8_t value) {
    if (value != 0x5F)
        return;
    if (gr_[0x5A] != 0xC3) {
        fail("line drawn outside line mode");
        return;
    }
    if (!need({0x63C0, 0x63C2}, "line"))
        return;
    auto word = [&](int i) {
        return static_cast<int16_t>(gr_[static_cast<size_t>(i)] | gr_[static_cast<size_t>(i + 1)]
                                                                      << 8);
    };
    int len = static_cast<uint16_t>(word(0x64));
    line(static_cast<int16_t>(reg(0x63C0)), static_cast<int16_t>(reg(0x63C2)), word(0x66),
         word(0x68), word(0x6A), len, gr_[0x63]);
    occupy();
}

void DulmoAdapter::lineToEnd() {
    if (busy()) {
        fail("line started while the engine is busy");
        return;
    }
    if (!need({0x63C0, 0x63C2, 0x83CC}, "line"))
        return;
    int x1 = static_cast<int16_t>(reg(0x63C0)), y1 = static_cast<int16_t>(reg(0x63C2));
    int x2 = static_cast<int16_t>(reg(0x83CC)), y2 = static_cast<int16_t>(reg(0x83CE));
    int adx = std::abs(x2 - x1), ady = std::abs(y2 - y1);
    bool yMajor = ady > adx;
    int dmaj = yMajor ? ady : adx, dmin = yMajor ? adx : ady;
    int octant = (x2 < x1 ? 4 : 0) | (y2 < y1 ? 2 : 0) | (yMajor ? 1 : 0);
    line(x1, y1, 2 * dmin - dmaj, 2 * dmin, 2 * dmin - 2 * dmaj, dmaj + 1, octant);
    occupy();
}

void DulmoAdapter::beginExpansion(bool fromMemory) {
    if (!need({0x23C2, 0x23C4, 0x63C0, 0x63CC, 0x63CE}, "expansion"))
        return;
    expandWidth_ = reg(0x23C2);
    expandHeight_ = reg(0x23C4);
    expandX_ = static_cast<int16_t>(reg(0x63CC));
    expandY_ = static_cast<int16_t>(reg(0x63CE));
    opaque_ = gr_[0x5A] == 0xC0;
    if (fromMemory) {
        if (!need({0x63C2}, "expansion"))
            return;
        uint32_t bitAddress = static_cast<uint32_t>(reg(0x63C2)) << 16 | reg(0x63C0);
        opaque_ = false;
        for (int r = 0; r < expandHeight_; r++) {
            expandRow_ = r;
            uint32_t rowBit = bitAddress + static_cast<uint32_t>(r) * 32;
            uint32_t byte = rowBit / 8;
            if (byte + 8 > vram_.size()) {
                fail("expansion source outside the video memory");
                return;
            }
            // Least significant bit leftmost (see above).
            for (int i = 0; i < expandWidth_; i++) {
                uint32_t bit = rowBit + static_cast<uint32_t>(i);
                if ((vram_.data()[bit / 8] >> (bit % 8)) & 1) {
                    int64_t d = int64_t{expandY_ + r} * pitch_ + expandX_ + i;
                    rop(static_cast<uint32_t>(d), gr_[0x43], gr_[0x08]);
                }
            }
        }
        return;
    }
    expandBit_ = reg(0x63C0);
    if (expandBit_ > 7) {
        fail("expansion bit offset above 7");
        return;
    }
    expandRowBytes_ = (expandWidth_ + expandBit_ + 7) / 8;
    expandRow_ = 0;
    expandBytes_.clear();
    expanding_ = expandWidth_ > 0 && expandHeight_ > 0;
}

void DulmoAdapter::expandRow(const uint8_t *bits, int startBit) {
    for (int i = 0; i < expandWidth_; i++) {
        int bit = startBit + i;
        bool set = (bits[bit / 8] >> (7 - bit % 8)) & 1;
        if (!set && !opaque_)
            continue;
        int64_t d = int64_t{expandY_ + expandRow_} * pitch_ + expandX_ + i;
        rop(static_cast<uint32_t>(d), set ? gr_[0x43] : gr_[0x44], gr_[0x08]);
    }
}

void DulmoAdapter::expansionByte(uint8_t byte) {
    expandBytes_.push_back(byte);
    if (static_cast<int>(expandBytes_.size()) < expandRowBytes_)
        return;
    expandRow(expandBytes_.data(), expandBit_);
    expandBytes_.clear();
    if (++expandRow_ == expandHeight_) {
        expanding_ = false;
        occupy();
    }
}

void DulmoAdapter::spanWord(uint32_t offset, int width, uint32_t value) {
    if (width != 4) {
        fail("a " + std::to_string(8 * width) + "-bit write in span mode");
        return;
    }
    uint32_t lineBytes = pitch_ / 8;
    uint32_t y = offset / lineBytes, k = (offset % lineBytes) / 4;
    for (int j = 0; j < 4; j++) {
        uint8_t byte = static_cast<uint8_t>(value >> (8 * j));
        for (int b = 0; b < 8; b++)
            if (byte & (0x80 >> b))
                rop(y * pitch_ + 32 * k + 8 * static_cast<uint32_t>(j) + static_cast<uint32_t>(b),
                    gr_[0x43], gr_[0x08]);
    }
}

bool DulmoAdapter::hostData(uint32_t offset, int width, uint32_t value) {
    if (expanding_) {
        if (offset != 0 || width != 1) {
            fail("expansion data written other than a byte at frame-buffer byte 0");
            return true;
        }
        expansionByte(static_cast<uint8_t>(value));
        return true;
    }
    switch (gr_[0x5A]) {
    case 0x50:
        if (offset != 0 || width != 1) {
            spanWord(offset, width, value);
            return true;
        }
        // A byte at frame-buffer byte 0 with no expansion started: the data
        // of an expansion that has had all its bytes already.
        fail("surplus expansion data byte");
        return true;
    case 0x04:
        for (int i = 0; i < width; i++) {
            uint32_t at = vramOffset(offset + static_cast<uint32_t>(i));
            if (at < vram_.size())
                vram_.data()[at] = static_cast<uint8_t>(value >> (8 * i));
        }
        return true;
    case 0xC0:
        return false;
    default:
        fail("processor write in operation mode " + std::to_string(gr_[0x5A]));
        return true;
    }
}

} // namespace sim
