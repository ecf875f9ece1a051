// The Weitek drawing engine core and the second generation's front end; the
// semantics and the choices made are listed in weitek_engine.h.
#include "models/weitek_engine.h"

#include <cstdio>
#include <cstring>

#include "refrender.h"

namespace sim {

namespace {

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

int16_t low16(uint32_t v) {
    return static_cast<int16_t>(v & 0xFFFF);
}

int16_t high16(uint32_t v) {
    return static_cast<int16_t>(v >> 16);
}

uint8_t lane(uint32_t word, uint32_t addr) {
    return static_cast<uint8_t>(word >> (8 * (addr & 3)));
}

uint8_t rop3(uint8_t code, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t out = 0;
    for (int bit = 0; bit < 8; bit++) {
        const int index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
        out = static_cast<uint8_t>(out | ((code >> index) & 1) << bit);
    }
    return out;
}

const char *paramName(WeitekEngine::Param p) {
    static const char *const names[] = {"colour 0",          "colour 1",          "raster",
                                        "plane mask",        "clip minimum",      "clip maximum",
                                        "byte clip minimum", "byte clip maximum", "pattern word 0",
                                        "pattern word 1",    "pattern word 2",    "pattern word 3"};
    return names[static_cast<size_t>(p)];
}

} // namespace

WeitekEngine::WeitekEngine(VideoMemory &vram, std::string who, int busyReads)
    : vram_(vram), who_(std::move(who)), busyReads_(busyReads < 0 ? 0 : busyReads) {}

void WeitekEngine::fail(const std::string &why) {
    Machine::current().fail(who_ + " engine: " + why);
}

void WeitekEngine::setGeometry(uint32_t pitch, int pixelBytes) {
    pitch_ = pitch;
    pixelBytes_ = pixelBytes;
}

void WeitekEngine::setBusyReads(int reads) {
    busyReads_ = reads < 0 ? 0 : reads;
}

void WeitekEngine::setStuck(bool stuck) {
    stuck_ = stuck;
    setGuard(busy());
}

void WeitekEngine::setGuard(bool on) {
    if (on == guarded_)
        return;
    guarded_ = on;
    Machine::current().guardVideoMemory(vram_, on);
}

void WeitekEngine::started() {
    if (busyReads_ == 0)
        return;
    busyLeft_ += busyReads_;
    setGuard(true);
}

void WeitekEngine::drain() {
    endTransfer("the end of the call");
    busyLeft_ = 0;
    stuck_ = false;
    setGuard(false);
}

// ---- status and commands ----

uint32_t WeitekEngine::status() {
    uint32_t v = 0;
    if (busy())
        v |= kStatusBusy;
    if (commandBlocked())
        v |= kStatusNoCommand;
    if (!stuck_ && busyLeft_ > 0 && --busyLeft_ == 0)
        setGuard(false);
    return v;
}

uint32_t WeitekEngine::blitCommand() {
    if (commandBlocked()) {
        if (!stuck_)
            --busyLeft_;
        return kStatusNoCommand | kStatusBusy;
    }
    endTransfer("a blit command");
    if (rasterOk())
        drawBlit();
    return busy() ? kStatusBusy : 0;
}

uint32_t WeitekEngine::quadCommand() {
    if (commandBlocked()) {
        fail("quad command read while status bit 31 is set (the engine cannot take a command)");
        return kStatusNoCommand;
    }
    endTransfer("a quad command");
    const bool complete =
        (figure_ == Figure::Point && vertexCount_ >= 1) ||
        ((figure_ == Figure::Line || figure_ == Figure::Rect) && vertexCount_ >= 2);
    if (!complete) {
        fail("quad command read without a complete figure loaded");
    } else if (rasterOk()) {
        drawQuad();
    }
    figure_ = Figure::None;
    vertexCount_ = 0;
    pendingX_ = false;
    return 0;
}

bool WeitekEngine::rasterOk() {
    const uint32_t r = param(Param::Raster);
    if ((r & ~(0xFFu | kRasterTransparent | kRasterIgnored)) != 0) {
        fail("raster " + hex(r) + " has bits this engine does not decode");
        return false;
    }
    if (pixelBytes_ != 1 && pixelBytes_ != 2 && pixelBytes_ != 4) {
        fail("start with a pixel size of " + std::to_string(pixelBytes_) + " bytes");
        return false;
    }
    if (pitch_ == 0) {
        fail("start before the system configuration gave a pitch");
        return false;
    }
    return true;
}

// ---- registers ----

void WeitekEngine::writeParam(Param p, uint32_t value) {
    if (busy()) {
        fail(std::string("write of ") + hex(value) + " to the " + paramName(p) +
             " while the engine is busy");
        return;
    }
    endTransfer("a parameter write");
    params_[static_cast<size_t>(p)] = value;
}

void WeitekEngine::writeVertex(Figure figure, bool isY, uint32_t value) {
    if (figure != figure_) {
        figure_ = figure;
        vertexCount_ = 0;
        pendingX_ = false;
    }
    const size_t slot = static_cast<size_t>(vertexCount_ % 2);
    if (!isY) {
        vx_[slot] = low16(value);
        pendingX_ = true;
        return;
    }
    if (!pendingX_) {
        fail("vertex y written before its x");
        return;
    }
    vy_[slot] = low16(value);
    pendingX_ = false;
    vertexCount_++;
    if (figure_ == Figure::Point)
        vertexCount_ = 1;
}

void WeitekEngine::writeDevice(Device d, uint32_t value) {
    endTransfer("a coordinate write");
    device_[static_cast<size_t>(d)] = value;
}

// ---- clips and pixels ----

bool WeitekEngine::inByteClip(int xb, int y) const {
    const uint32_t lo = param(Param::ByteClipMin), hi = param(Param::ByteClipMax);
    return xb >= high16(lo) && xb <= high16(hi) && y >= low16(lo) && y <= low16(hi);
}

bool WeitekEngine::inPixelClip(int x, int y) const {
    const uint32_t lo = param(Param::ClipMin), hi = param(Param::ClipMax);
    return x >= high16(lo) && x <= high16(hi) && y >= low16(lo) && y <= low16(hi);
}

bool WeitekEngine::pixelFits(int x, int y) const {
    if (x < 0 || y < 0)
        return false;
    const uint64_t xb = uint64_t(x) * uint64_t(pixelBytes_);
    return xb + uint64_t(pixelBytes_) <= pitch_ &&
           uint64_t(y) * pitch_ + xb + uint64_t(pixelBytes_) <= vram_.size();
}

void WeitekEngine::mergeByte(uint32_t addr, uint8_t s, uint8_t p) {
    uint8_t *m = vram_.data() + addr;
    const uint8_t mask = lane(param(Param::PlaneMask), addr);
    const uint8_t r = rop3(static_cast<uint8_t>(param(Param::Raster)), p, s, *m);
    *m = static_cast<uint8_t>((*m & ~mask) | (r & mask));
}

void WeitekEngine::drawPixel(int x, int y, uint32_t source) {
    if (!inPixelClip(x, y))
        return;
    const uint32_t base = uint32_t(y) * pitch_ + uint32_t(x) * uint32_t(pixelBytes_);
    for (int i = 0; i < pixelBytes_; i++) {
        const uint32_t addr = base + uint32_t(i);
        if (inByteClip(x * pixelBytes_ + i, y))
            mergeByte(addr, lane(source, addr), lane(param(Param::Colour0), addr));
    }
}

// ---- quads ----

void WeitekEngine::drawQuad() {
    const uint32_t source = param(Param::Colour1);
    std::vector<std::pair<int, int>> pixels;
    Op op{};
    op.raster = param(Param::Raster);
    switch (figure_) {
    case Figure::Point:
        op.kind = Op::Point;
        op.x1 = op.x2 = vx_[0];
        op.y1 = op.y2 = vy_[0];
        pixels.emplace_back(vx_[0], vy_[0]);
        break;
    case Figure::Line:
        op.kind = Op::Line;
        op.x1 = vx_[0], op.y1 = vy_[0], op.x2 = vx_[1], op.y2 = vy_[1];
        ref::thinLine(op.x1, op.y1, op.x2, op.y2, [&](int x, int y) { pixels.emplace_back(x, y); });
        pixels.emplace_back(op.x2, op.y2);
        break;
    case Figure::Rect:
        op.kind = Op::Rect;
        op.x1 = vx_[0], op.y1 = vy_[0], op.x2 = vx_[1], op.y2 = vy_[1];
        for (int y = op.y1; y < op.y2; y++)
            for (int x = op.x1; x < op.x2; x++)
                pixels.emplace_back(x, y);
        break;
    case Figure::None:
        return;
    }
    for (auto [x, y] : pixels) {
        if (inPixelClip(x, y) && !pixelFits(x, y)) {
            fail("quad pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                 ") lies past a line of " + std::to_string(pitch_) + " bytes or video memory");
            return;
        }
    }
    for (auto [x, y] : pixels)
        drawPixel(x, y, source);
    log_.push_back(op);
    started();
}

// ---- blits ----

void WeitekEngine::drawBlit() {
    const uint32_t s0 = device(Device::X0Y0), s1 = device(Device::X1Y1);
    const uint32_t d0 = device(Device::X2Y2), d1 = device(Device::X3Y3);
    const int sx = high16(s0), sy = low16(s0), sx2 = high16(s1), sy2 = low16(s1);
    const int dx = high16(d0), dy = low16(d0), dx2 = high16(d1), dy2 = low16(d1);
    const int w = dx2 - dx + 1, h = dy2 - dy + 1;
    if (sx2 - sx + 1 != w || sy2 - sy + 1 != h) {
        fail("blit source " + std::to_string(sx2 - sx + 1) + " x " + std::to_string(sy2 - sy + 1) +
             " bytes differs from its destination " + std::to_string(w) + " x " +
             std::to_string(h));
        return;
    }
    Op op{Op::Blit, dx, dy, dx2, dy2, param(Param::Raster)};
    if (w > 0 && h > 0) {
        for (auto [x, y] : {std::pair{sx, sy}, std::pair{dx, dy}}) {
            if (x < 0 || y < 0 || uint64_t(x) + uint64_t(w) > pitch_ ||
                uint64_t(y + h - 1) * pitch_ + uint64_t(x) + uint64_t(w) > vram_.size()) {
                fail("blit rows from (" + std::to_string(x) + ", " + std::to_string(y) + ") of " +
                     std::to_string(w) + " bytes reach past a line or video memory");
                return;
            }
        }
        snapshot_.resize(size_t(w) * size_t(h));
        for (int r = 0; r < h; r++)
            std::memcpy(snapshot_.data() + size_t(r) * size_t(w),
                        vram_.data() + uint32_t(sy + r) * pitch_ + uint32_t(sx), size_t(w));
        for (int r = 0; r < h; r++)
            for (int i = 0; i < w; i++) {
                if (!inByteClip(dx + i, dy + r))
                    continue;
                const uint32_t addr = uint32_t(dy + r) * pitch_ + uint32_t(dx + i);
                mergeByte(addr, snapshot_[size_t(r) * size_t(w) + size_t(i)],
                          lane(param(Param::Colour0), addr));
            }
    }
    log_.push_back(op);
    started();
}

// ---- transfers ----

bool WeitekEngine::beginTransfer(Transfer::Kind kind) {
    if (transfer_.kind == kind)
        return true;
    if (transfer_.kind != Transfer::None)
        endTransfer("a data word at another port");
    const int x0 = static_cast<int>(device(Device::X0));
    const uint32_t x1y1 = device(Device::X1Y1);
    const int x2 = static_cast<int>(device(Device::X2));
    if (high16(x1y1) != x0 || device(Device::Y3) != 1 || x2 <= x0) {
        fail("data word without a transfer set up (x0 " + std::to_string(x0) + ", x1y1 " +
             hex(x1y1) + ", x2 " + std::to_string(x2) + ", y3 " +
             std::to_string(device(Device::Y3)) + ")");
        return false;
    }
    if (!rasterOk())
        return false;
    transfer_.kind = kind;
    transfer_.x0 = x0;
    transfer_.x = x0;
    transfer_.x2 = x2;
    transfer_.y = low16(x1y1);
    transfer_.wordsPerRow = kind == Transfer::Image ? (x2 - x0 + 3) / 4 : 1;
    transfer_.wordsInRow = 0;
    transfer_.row.assign(size_t(transfer_.wordsPerRow) * 4, 0);
    return true;
}

void WeitekEngine::endTransfer(const char *why) {
    if (transfer_.kind == Transfer::None)
        return;
    if (transfer_.wordsInRow != 0)
        fail("image transfer ended by " + std::string(why) + " " +
             std::to_string(transfer_.wordsInRow) + " words into a row of " +
             std::to_string(transfer_.wordsPerRow) + " (a missing or surplus word)");
    if (transfer_.kind == Transfer::Mono && transfer_.x != transfer_.x0)
        fail("new transfer or operation (" + std::string(why) + ") while a 1-bit transfer owes " +
             std::to_string(transfer_.x2 - transfer_.x) + " pixels of row " +
             std::to_string(transfer_.y));
    transfer_ = Transfer{};
}

void WeitekEngine::imageWord(uint32_t value) {
    if (!beginTransfer(Transfer::Image))
        return;
    std::memcpy(transfer_.row.data() + size_t(transfer_.wordsInRow) * 4, &value, 4);
    if (++transfer_.wordsInRow < transfer_.wordsPerRow)
        return;
    transfer_.wordsInRow = 0;
    drawImageRow();
    transfer_.y++;
}

void WeitekEngine::drawImageRow() {
    const int x0 = transfer_.x0, x2 = transfer_.x2, y = transfer_.y;
    if (x0 < 0 || y < 0 || uint64_t(x2) > pitch_ ||
        uint64_t(y) * pitch_ + uint64_t(x2) > vram_.size()) {
        fail("image row " + std::to_string(y) + " bytes " + std::to_string(x0) + " to " +
             std::to_string(x2 - 1) + " reaches past a line or video memory");
        return;
    }
    for (int x = x0; x < x2; x++) {
        if (!inByteClip(x, y))
            continue;
        const uint32_t addr = uint32_t(y) * pitch_ + uint32_t(x);
        mergeByte(addr, transfer_.row[size_t(x - x0)], lane(param(Param::Colour0), addr));
    }
    log_.push_back({Op::ImageRow, x0, y, x2, y, param(Param::Raster)});
    started();
}

void WeitekEngine::monoWord(int bits, uint32_t value) {
    if (!beginTransfer(Transfer::Mono))
        return;
    if (bits > transfer_.x2 - transfer_.x) {
        fail("1-bit word of " + std::to_string(bits) + " bits at x " + std::to_string(transfer_.x) +
             " passes the row's end at " + std::to_string(transfer_.x2) +
             " (a word beyond the transfer's rows)");
        return;
    }
    drawMonoRow(bits, value);
    transfer_.x += bits;
    if (transfer_.x == transfer_.x2) {
        transfer_.x = transfer_.x0;
        transfer_.y++;
    }
}

void WeitekEngine::drawMonoRow(int bits, uint32_t value) {
    const int x0 = transfer_.x, y = transfer_.y;
    const bool transparent = (param(Param::Raster) & kRasterTransparent) != 0;
    for (int i = 0; i < bits; i++) {
        if (inPixelClip(x0 + i, y) && !pixelFits(x0 + i, y)) {
            fail("1-bit row " + std::to_string(y) + " pixel " + std::to_string(x0 + i) +
                 " lies past a line or video memory");
            return;
        }
    }
    for (int i = 0; i < bits; i++) {
        const bool set = ((value >> i) & 1) != 0;
        if (!set && transparent)
            continue;
        drawPixel(x0 + i, y, param(set ? Param::Colour1 : Param::Colour0));
    }
    log_.push_back({Op::MonoRow, x0, y, x0 + bits, y, param(Param::Raster)});
    started();
}

// ======================= second-generation front end =======================

namespace {

namespace gen2 {
constexpr uint32_t Status = 0x2000, Blit = 0x2004, Quad = 0x2008;
constexpr uint32_t PatternOrigin = 0x2190, DrawMode = 0x220C, PatOriginX = 0x2210,
                   PatOriginY = 0x2214;
constexpr uint32_t PlaneMask = 0x2208, Raster = 0x2218, ClipMin = 0x2220, ClipMax = 0x2224,
                   Pattern = 0x2280, ByteClipMin = 0x22A0, ByteClipMax = 0x22A4;
constexpr uint32_t X0 = 0x3008, X0Y0 = 0x3018, X1Y1 = 0x3058, X2 = 0x3088, X2Y2 = 0x3098,
                   Y3 = 0x30D0, X3Y3 = 0x30D8;
constexpr uint32_t PointX = 0x3208, PointY = 0x3210, LineX = 0x3248, LineY = 0x3250, RectX = 0x3308,
                   RectY = 0x3310;
constexpr uint32_t Colour0 = 0x62200, Colour1 = 0x62204, ImageData = 0x6200C;
constexpr uint32_t MonoFirst = 0x72080, MonoLast = 0x72080 + 4 * 31;
constexpr uint32_t kPlain[] = {PatternOrigin, DrawMode, PatOriginX, PatOriginY};
} // namespace gen2

struct ParamReg {
    uint32_t offset;
    WeitekEngine::Param param;
};
constexpr ParamReg kParams[] = {
    {gen2::Colour0, WeitekEngine::Param::Colour0},
    {gen2::Colour1, WeitekEngine::Param::Colour1},
    {gen2::Raster, WeitekEngine::Param::Raster},
    {gen2::PlaneMask, WeitekEngine::Param::PlaneMask},
    {gen2::ClipMin, WeitekEngine::Param::ClipMin},
    {gen2::ClipMax, WeitekEngine::Param::ClipMax},
    {gen2::ByteClipMin, WeitekEngine::Param::ByteClipMin},
    {gen2::ByteClipMax, WeitekEngine::Param::ByteClipMax},
    {gen2::Pattern, WeitekEngine::Param::Pattern0},
    {gen2::Pattern + 4, WeitekEngine::Param::Pattern1},
    {gen2::Pattern + 8, WeitekEngine::Param::Pattern2},
    {gen2::Pattern + 12, WeitekEngine::Param::Pattern3},
};

struct DeviceReg {
    uint32_t offset;
    WeitekEngine::Device device;
};
constexpr DeviceReg kDevices[] = {
    {gen2::X0, WeitekEngine::Device::X0},     {gen2::X0Y0, WeitekEngine::Device::X0Y0},
    {gen2::X1Y1, WeitekEngine::Device::X1Y1}, {gen2::X2, WeitekEngine::Device::X2},
    {gen2::X2Y2, WeitekEngine::Device::X2Y2}, {gen2::Y3, WeitekEngine::Device::Y3},
    {gen2::X3Y3, WeitekEngine::Device::X3Y3},
};

struct VertexReg {
    uint32_t offset;
    WeitekEngine::Figure figure;
    bool isY;
};
constexpr VertexReg kVertices[] = {
    {gen2::PointX, WeitekEngine::Figure::Point, false},
    {gen2::PointY, WeitekEngine::Figure::Point, true},
    {gen2::LineX, WeitekEngine::Figure::Line, false},
    {gen2::LineY, WeitekEngine::Figure::Line, true},
    {gen2::RectX, WeitekEngine::Figure::Rect, false},
    {gen2::RectY, WeitekEngine::Figure::Rect, true},
};

int plainIndex(uint32_t offset) {
    for (size_t i = 0; i < std::size(gen2::kPlain); i++)
        if (gen2::kPlain[i] == offset)
            return static_cast<int>(i);
    return -1;
}

} // namespace

bool WeitekSecondGenFront::owns(uint32_t offset) {
    if (offset == gen2::Status || offset == gen2::Blit || offset == gen2::Quad ||
        offset == gen2::ImageData || plainIndex(offset) >= 0)
        return true;
    if (offset >= gen2::MonoFirst && offset <= gen2::MonoLast && offset % 4 == 0)
        return true;
    for (const ParamReg &p : kParams)
        if (p.offset == offset)
            return true;
    for (const DeviceReg &d : kDevices)
        if (d.offset == offset)
            return true;
    for (const VertexReg &v : kVertices)
        if (v.offset == offset)
            return true;
    return false;
}

uint32_t WeitekSecondGenFront::read(uint32_t offset) {
    switch (offset) {
    case gen2::Status:
        return engine_.status();
    case gen2::Blit:
        return engine_.blitCommand();
    case gen2::Quad:
        return engine_.quadCommand();
    default:
        return reg(offset);
    }
}

void WeitekSecondGenFront::write(uint32_t offset, uint32_t value) {
    if (const int i = plainIndex(offset); i >= 0) {
        plain_[static_cast<size_t>(i)] = value;
        return;
    }
    if (offset == gen2::ImageData) {
        engine_.imageWord(value);
        return;
    }
    if (offset >= gen2::MonoFirst && offset <= gen2::MonoLast) {
        engine_.monoWord(static_cast<int>((offset - gen2::MonoFirst) / 4) + 1, value);
        return;
    }
    for (const ParamReg &p : kParams)
        if (p.offset == offset)
            return engine_.writeParam(p.param, value);
    for (const DeviceReg &d : kDevices)
        if (d.offset == offset)
            return engine_.writeDevice(d.device, value);
    for (const VertexReg &v : kVertices)
        if (v.offset == offset)
            return engine_.writeVertex(v.figure, v.isY, value);
    Machine::current().fail("weitek engine: write of " + hex(value) + " to " + hex(offset) +
                            ", which is read only");
}

uint32_t WeitekSecondGenFront::reg(uint32_t offset) const {
    if (const int i = plainIndex(offset); i >= 0)
        return plain_[static_cast<size_t>(i)];
    for (const ParamReg &p : kParams)
        if (p.offset == offset)
            return engine_.param(p.param);
    for (const DeviceReg &d : kDevices)
        if (d.offset == offset)
            return engine_.device(d.device);
    return 0;
}

void WeitekSecondGenFront::systemConfig(uint32_t w) {
    static const uint32_t f0[] = {0, 1024, 2048, 4096};
    static const uint32_t f1[] = {0, 0, 0, 128, 256, 512, 1024, 2048};
    static const uint32_t f2[] = {0, 0, 64, 128, 256, 512, 1024, 0};
    static const uint32_t f3[] = {0, 32, 64, 128, 256, 512, 0, 0};
    const uint32_t pitch =
        f0[(w >> 29) & 3] + f1[(w >> 20) & 7] + f2[(w >> 17) & 7] + f3[(w >> 14) & 7];
    // Bits 26-28: 2 one byte, 3 two bytes, 5 four bytes a pixel (7 three,
    // which no engine operation takes).
    static const int sizes[] = {0, 0, 1, 2, 0, 4, 0, 3};
    engine_.setGeometry(pitch, sizes[(w >> 26) & 7]);
}

} // namespace sim
