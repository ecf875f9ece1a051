// garsk's accelerated window operations on the garsk board's accelerator:
// pixels against the reference renderer on both example boards, the bus
// units the images and glyphs use, the fallbacks, the model's strictness,
// and the routines the driver keeps but installs nowhere (reached through a
// build of the driver with every name visible).
#include <dlfcn.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "garsk_fixture.h"
#include "hwio.h"
#include "refrender.h"
#include "xalu.h"

namespace {

using namespace garsktest;

constexpr int kWidth = 128, kHeight = 64;
constexpr uint32_t kMasks[] = {0xFF, 0x0F, 0x00};

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Writes to aperture window 0 (0x18000-0x19FFF) since the trace was
// cleared, by width in bytes.
std::vector<int> window0Writes(harness::Screen &s) {
    const int mem = s.machine().regionIndex("MEMORY");
    std::vector<int> widths;
    for (const sim::Access &a : s.machine().trace())
        if (a.kind == sim::Access::MemWrite && a.region == mem && a.address >= 0x18000 &&
            a.address < 0x1A000)
            widths.push_back(a.width);
    return widths;
}

int countWrites(const std::vector<RegWrite> &writes, uint32_t offset) {
    int n = 0;
    for (const RegWrite &w : writes)
        n += w.offset == offset;
    return n;
}

class GarskBoards : public testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        screen_ = std::make_unique<harness::Screen>(
            "garsk", garskConfig(GetParam(), kWidth, kHeight), strict());
        ASSERT_TRUE(screen_->start()) << screen_->failureText();
    }
    harness::Screen &s() { return *screen_; }
    std::unique_ptr<harness::Screen> screen_;
};

std::string boardName(const testing::TestParamInfo<const char *> &info) {
    return std::string(info.param) == kBankFile ? "Bank" : "Flat";
}

// ---- fills and points ----

TEST_P(GarskBoards, SolidRectsAndPointsEveryAluAndMask) {
    server::clearGenCalls();
    uint32_t seed = 1;
    for (uint32_t mask : kMasks) {
        for (int alu = 0; alu < 16; alu++) {
            SCOPED_TRACE("alu " + std::to_string(alu) + " mask " + std::to_string(mask));
            s().fillRandom(seed++);
            s().drawSolidRects({{3, 2, 50, 30}, {40, 20, 127, 63}, {0, 60, 1, 61}}, 0xA5, alu,
                               mask);
            s().drawPoints({{0, 0}, {127, 63}, {64, 5}, {64, 6}, {10, 40}}, 0x3C, alu, mask);
            EXPECT_SCREEN_SAME(s());
        }
    }
    EXPECT_TRUE(server::genCalls().empty());
}

TEST_P(GarskBoards, NoBoxesTouchNothing) {
    s().machine().clearTrace();
    s().drawSolidRects({}, 0x12, GXcopy, 0x0F);
    EXPECT_TRUE(s().machine().trace().empty());
}

// Points write bytes whatever bus size the operation before left.
TEST_P(GarskBoards, PointsAfterAWideImageUnderAPartialMask) {
    s().fillRandom(7);
    const std::vector<uint8_t> bits = randomBytes(6 * 4, 9);
    s().drawMonoImage({10, 10, 58, 14}, bits, 0, 6, 0x81);
    s().drawPoints({{1, 1}, {2, 3}, {100, 50}}, 0x7E, GXxor, 0x0F);
    EXPECT_SCREEN_SAME(s());
}

// ---- copies ----

TEST_P(GarskBoards, CopiesOverlapInEveryDirection) {
    struct Case {
        const char *name;
        BoxRec dst;
        DDXPointRec src;
    };
    const Case cases[] = {
        {"below", {20, 15, 70, 45}, {20, 10}},       {"right", {26, 10, 76, 40}, {20, 10}},
        {"below-right", {23, 13, 73, 43}, {20, 10}}, {"above", {20, 5, 70, 35}, {20, 10}},
        {"left", {14, 10, 64, 40}, {20, 10}},        {"above-right", {30, 4, 80, 34}, {20, 10}},
        {"apart", {80, 40, 120, 60}, {2, 2}},        {"onto itself", {20, 10, 70, 40}, {20, 10}},
    };
    uint32_t seed = 100;
    for (const Case &c : cases) {
        for (uint32_t mask : {0xFFu, 0x0Fu, 0xF0u}) {
            for (int alu : {GXcopy, GXxor, GXandInverted}) {
                SCOPED_TRACE(std::string(c.name) + " mask " + std::to_string(mask) + " alu " +
                             std::to_string(alu));
                s().fillRandom(seed++);
                s().copyRect(c.dst, c.src, alu, mask);
                EXPECT_SCREEN_SAME(s());
                EXPECT_EQ(garskOf(s()).engine().reg(sim::GarskEngine::Direction), 0u);
            }
        }
    }
}

// ---- monochrome images ----

// Every start bit 0-13 and width 1-40, bitmaps exactly as long as their
// rows (the last row ends the buffer), transparent and opaque.
TEST_P(GarskBoards, MonoImagesEveryStartBitAndWidth) {
    uint32_t seed = 500;
    for (int startBit = 0; startBit < 14; startBit++) {
        SCOPED_TRACE("start bit " + std::to_string(startBit));
        s().fillRandom(seed++);
        for (int w = 1; w <= 40; w++) {
            const int h = 1 + w % 3;
            const int stride = (startBit + w + 7) / 8;
            const int x = (w * 37) % (kWidth - w), y = (w * 11) % (kHeight - h);
            const BoxRec box{static_cast<int16_t>(x), static_cast<int16_t>(y),
                             static_cast<int16_t>(x + w), static_cast<int16_t>(y + h)};
            const std::vector<uint8_t> bits = randomBytes(static_cast<size_t>(stride * h), seed++);
            const int alu = w % 4 == 0 ? GXxor : GXcopy;
            const uint32_t mask = w % 5 == 0 ? 0x0F : 0xFF;
            if (w % 2)
                s().drawMonoImage(box, bits, startBit, stride, 0x40 + w, alu, mask);
            else
                s().drawOpaqueMonoImage(box, bits, startBit, stride, 0x80 + w, 0x11 * (w % 15),
                                        alu);
        }
        EXPECT_SCREEN_SAME(s());
    }
}

TEST_P(GarskBoards, OpaqueImageOrInverted) {
    s().fillRandom(31);
    const std::vector<uint8_t> bits = randomBytes(3 * 5, 32);
    for (int startBit : {0, 5})
        s().drawOpaqueMonoImage({7, 9, 7 + 19, 14}, bits, startBit, 3, 0x35, 0xC6, GXorInverted);
    EXPECT_SCREEN_SAME(s());
}

INSTANTIATE_TEST_SUITE_P(Both, GarskBoards, testing::Values(kBankFile, kFlatFile), boardName);

// Rows of n bytes go out in units the row fills: bytes, one word, two
// words for 3 bytes, ceil(n / 4) long words from 4 bytes on.
TEST(GarskMonoImage, BusUnitsByRowLength) {
    harness::Screen s("garsk", garskConfig(kBankFile, kWidth, kHeight), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    struct Case {
        int width;
        std::vector<int> unitsPerRow;
    };
    const Case cases[] = {{8, {1}},     {16, {2}},    {24, {2, 2}},    {32, {4}},
                          {40, {4, 4}}, {64, {4, 4}}, {65, {4, 4, 4}}, {20, {2, 2}}};
    for (const Case &c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        const int stride = (c.width + 7) / 8, h = 2;
        const std::vector<uint8_t> bits = randomBytes(static_cast<size_t>(stride * h), 3);
        s.machine().clearTrace();
        s.drawMonoImage({0, 0, static_cast<int16_t>(c.width), h}, bits, 0, stride, 9);
        std::vector<int> want;
        for (int r = 0; r < h; r++)
            want.insert(want.end(), c.unitsPerRow.begin(), c.unitsPerRow.end());
        // The colour cell goes through window 2, not window 0.
        EXPECT_EQ(window0Writes(s), want);
    }
    EXPECT_SCREEN_SAME(s);
}

// A start bit of 11 draws as start bit 3 one byte further in.
TEST(GarskMonoImage, StartBitElevenIsThreeAByteFurther) {
    harness::Screen s("garsk", garskConfig(kFlatFile, kWidth, kHeight), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    const std::vector<uint8_t> bits = randomBytes(5 * 4, 12);
    const std::vector<uint8_t> shifted(bits.begin() + 1, bits.end());
    s.machine().clearTrace();
    s.drawMonoImage({4, 4, 24, 8}, bits, 11, 5, 0x66);
    const std::vector<int> a = window0Writes(s);
    const std::vector<RegWrite> ra = registerWrites(s);
    s.machine().clearTrace();
    s.drawMonoImage({4, 4, 24, 8}, std::vector<uint8_t>(shifted.begin(), shifted.end()), 3, 5,
                    0x66);
    EXPECT_EQ(window0Writes(s), a);
    EXPECT_EQ(registerWrites(s), ra);
}

TEST(GarskMonoImage, OpaqueWithAPartialMaskFallsBackUnchanged) {
    harness::Screen s("garsk", garskConfig(kBankFile, kWidth, kHeight), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    server::clearGenCalls();
    const std::vector<uint8_t> bits = randomBytes(2 * 3, 5);
    s.machine().clearTrace();
    s.drawOpaqueMonoImage({1, 2, 14, 5}, bits, 3, 2, 0x12, 0x34, GXand, 0x7F);
    const auto calls = server::genCallsOf("genDrawOpaqueMonoImage");
    ASSERT_EQ(calls.size(), 1u);
    const std::vector<uint64_t> &a = calls[0].args;
    ASSERT_GE(a.size(), 8u);
    EXPECT_EQ(a[2], 3u);    // start bit
    EXPECT_EQ(a[3], 2u);    // stride
    EXPECT_EQ(a[4], 0x12u); // fg
    EXPECT_EQ(a[5], 0x34u); // bg
    EXPECT_EQ(a[6], uint64_t(GXand));
    EXPECT_EQ(a[7], 0x7Fu);
    // The generic routine reads the box back through the window first (its
    // segment ports); the driver itself wrote no register before that.
    bool driverWrote = false;
    const int mem = s.machine().regionIndex("MEMORY");
    for (const sim::Access &acc : s.machine().trace()) {
        if (acc.region == -1 && acc.address == sim::GarskAdapter::kSegment)
            break;
        driverWrote |= acc.kind == sim::Access::MemWrite && acc.region == mem &&
                       acc.address >= 0x1FF00 && acc.address < 0x20000;
    }
    EXPECT_FALSE(driverWrote);
    EXPECT_SCREEN_SAME(s);
}

// ---- glyphs ----

struct GlyphSet {
    std::vector<std::vector<uint8_t>> bitmaps;
    std::vector<MonoGlyphRec> recs;
    void add(int x, int y, int w, int h, int stride, uint32_t seed) {
        bitmaps.push_back(randomBytes(static_cast<size_t>(stride * (h > 0 ? h : 0)) + 0, seed));
        if (bitmaps.back().empty())
            bitmaps.back().push_back(0);
        recs.push_back({{static_cast<int16_t>(x), static_cast<int16_t>(y),
                         static_cast<int16_t>(x + w), static_cast<int16_t>(y + h)},
                        stride,
                        nullptr,
                        0});
    }
    std::vector<MonoGlyphRec> list() {
        for (size_t i = 0; i < recs.size(); i++)
            recs[i].bits = bitmaps[i].data();
        return recs;
    }
};

TEST(GarskGlyphs, MixedStridesAndSizesOnBothBoards) {
    for (const char *file : {kBankFile, kFlatFile}) {
        SCOPED_TRACE(file);
        harness::beginCase();
        harness::Screen s("garsk", garskConfig(file, kWidth, kHeight), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        GlyphSet g;
        // Strides 1-4 with the widths they hold, a stride wider than the
        // glyph needs, and empty glyphs that are skipped.
        g.add(0, 0, 6, 9, 1, 1);
        g.add(8, 0, 13, 9, 2, 2);
        g.add(24, 0, 7, 9, 2, 3);
        g.add(34, 0, 21, 9, 3, 4);
        g.add(58, 0, 12, 9, 3, 5);
        g.add(72, 0, 30, 9, 4, 6);
        g.add(104, 0, 0, 9, 1, 7);
        g.add(104, 20, 5, -2, 1, 8);
        g.add(3, 30, 24, 11, 3, 9); // stride 3 ending its buffer
        int seed = 20;
        for (int alu : {GXcopy, GXxor, GXset})
            for (uint32_t mask : {0xFFu, 0x33u}) {
                s.fillRandom(static_cast<uint32_t>(seed++));
                s.drawMonoGlyphs(g.list(), static_cast<Pixel>(0x90 + seed), alu, mask);
                EXPECT_SCREEN_SAME(s);
            }
    }
}

TEST(GarskGlyphs, CountRegistersOnlyOnChange) {
    harness::Screen s("garsk", garskConfig(kBankFile, kWidth, kHeight), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GlyphSet g;
    for (int i = 0; i < 6; i++)
        g.add(i * 10, 3, 8, 12, 1, static_cast<uint32_t>(i));
    g.add(70, 3, 8, 13, 1, 40); // taller: y count again, x count not
    s.fillRandom(4);
    s.machine().clearTrace();
    s.drawMonoGlyphs(g.list(), 0x21);
    const std::vector<RegWrite> w = registerWrites(s);
    EXPECT_EQ(countWrites(w, sim::GarskEngine::XCount), 1);
    EXPECT_EQ(countWrites(w, sim::GarskEngine::YCount), 2);
    EXPECT_SCREEN_SAME(s);
}

TEST(GarskGlyphs, NoPlanesOrNoopTouchNoRegister) {
    harness::Screen s("garsk", garskConfig(kBankFile, kWidth, kHeight), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    GlyphSet g;
    g.add(1, 1, 8, 8, 1, 3);
    for (auto [alu, mask] : {std::pair{GXcopy, 0u}, {GXnoop, 0xFFu}}) {
        s.machine().clearTrace();
        s.drawMonoGlyphs(g.list(), 0x21, alu, mask);
        EXPECT_TRUE(s.machine().trace().empty());
    }
    EXPECT_SCREEN_SAME(s);
}

// ---- the model's strictness ----

struct Raw {
    uint8_t *base;
    void reg8(uint32_t off, uint8_t v) { mmWrite8(base + 0x1FF00 + off, v); }
    void reg16(uint32_t off, uint16_t v) { mmWrite16(base + 0x1FF00 + off, v); }
    void reg32(uint32_t off, uint32_t v) { mmWrite32(base + 0x1FF00 + off, v); }
    uint8_t status() { return mmRead8(base + 0x1FF36); }
};

class GarskStrict : public testing::Test {
  protected:
    void SetUp() override {
        screen_ = std::make_unique<harness::Screen>(
            "garsk", garskConfig(kBankFile, 64, 32),
            harness::Options{.reporter = [this](const std::string &m) { failures_.push_back(m); }});
        ASSERT_TRUE(screen_->start());
        raw_.base = screen_->machine().findArea("MEMORY")->host;
    }
    // A one-box fill from the colour cell, started and left running.
    void startFill() {
        raw_.reg8(sim::GarskEngine::Routing, 0);
        raw_.reg16(sim::GarskEngine::XCount, 99);
        raw_.reg16(sim::GarskEngine::YCount, 9);
        raw_.reg32(sim::GarskEngine::MmuBase0, 0);
        mmWrite8(raw_.base + 0x18000, 0);
    }
    bool failed(const char *text) const {
        for (const std::string &f : failures_)
            if (f.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::unique_ptr<harness::Screen> screen_;
    std::vector<std::string> failures_;
    Raw raw_;
};

TEST_F(GarskStrict, RegisterWrittenWithoutTheBusyWait) {
    startFill();
    EXPECT_TRUE(raw_.status() & 1);
    raw_.reg16(sim::GarskEngine::XCount, 5);
    EXPECT_TRUE(failed("while an operation runs")) << testing::PrintToString(failures_);
}

TEST_F(GarskStrict, ColourCellWrittenWhileTheInterfaceIsBusy) {
    raw_.reg32(sim::GarskEngine::MmuBase2, 0xC0100);
    mmWrite32(raw_.base + 0x1C000, 0x01010101);
    mmWrite32(raw_.base + 0x1C000, 0x02020202);
    EXPECT_TRUE(failed("status bit 1 is set")) << testing::PrintToString(failures_);
    failures_.clear();
    while (raw_.status() & 2) {
    }
    mmWrite32(raw_.base + 0x1C000, 0x03030303);
    EXPECT_TRUE(failures_.empty()) << testing::PrintToString(failures_);
}

TEST_F(GarskStrict, DataBeyondTheCountsAndOperationsLeftShort) {
    raw_.reg8(sim::GarskEngine::Routing, 2);
    raw_.reg8(sim::GarskEngine::BusSize, 0);
    raw_.reg16(sim::GarskEngine::XCount, 7);
    raw_.reg16(sim::GarskEngine::YCount, 1);
    raw_.reg32(sim::GarskEngine::MmuBase0, 0);
    mmWrite8(raw_.base + 0x18000, 0xFF);
    mmWrite8(raw_.base + 0x18000, 0xFF);
    EXPECT_TRUE(failures_.empty()) << testing::PrintToString(failures_);
    mmWrite8(raw_.base + 0x18000, 0xFF);
    EXPECT_TRUE(failed("beyond what the operation's counts need"));
    failures_.clear();
    raw_.reg32(sim::GarskEngine::MmuBase0, 1024);
    mmWrite16(raw_.base + 0x18000, 0xFF);
    EXPECT_TRUE(failed("bus size")); // a word where the bus takes bytes
    mmWrite8(raw_.base + 0x18000, 0xFF);
    raw_.reg16(sim::GarskEngine::XCount, 3);
    EXPECT_TRUE(failed("left short"));
    failures_.clear();
    raw_.reg8(sim::GarskEngine::Routing, 0);
    raw_.reg32(sim::GarskEngine::MmuBase0, 0);
    mmWrite16(raw_.base + 0x18000, 0);
    EXPECT_TRUE(failed("where one byte starts the operation"));
}

TEST_F(GarskStrict, RegisterFieldsReadBackAndNothingElseAnswers) {
    struct Field {
        uint32_t offset;
        int width;
        uint32_t value;
    };
    const Field fields[] = {{0x00, 4, 0xC0123}, {0x13, 1, 0x71}, {0x80, 4, 0xC0003},
                            {0x88, 2, 63},      {0x8F, 1, 3},    {0x92, 1, 0x77},
                            {0x9A, 2, 0x1FF},   {0x9F, 1, 0xCA}, {0xA0, 4, 0x12345}};
    for (const Field &f : fields) {
        uint8_t *at = raw_.base + 0x1FF00 + f.offset;
        if (f.width == 1) {
            mmWrite8(at, static_cast<uint8_t>(f.value));
            EXPECT_EQ(mmRead8(at), f.value);
        } else if (f.width == 2) {
            mmWrite16(at, static_cast<uint16_t>(f.value));
            EXPECT_EQ(mmRead16(at), f.value);
        } else {
            mmWrite32(at, f.value);
            EXPECT_EQ(mmRead32(at), f.value);
        }
    }
    EXPECT_TRUE(failures_.empty()) << testing::PrintToString(failures_);
    mmWrite8(raw_.base + 0x1FF80, 1); // a byte of a 32-bit field
    EXPECT_TRUE(failed("where no field of that width is"));
    failures_.clear();
    mmWrite8(raw_.base + 0x1FF36, 0);
    EXPECT_TRUE(failed("read only"));
    failures_.clear();
    mmWrite8(raw_.base + 0x10000, 0); // between the window and the apertures
    EXPECT_TRUE(failed("nothing answers"));
}

TEST(GarskBoard, AreasItCannotBeAreRefusedWithTheReason) {
    struct Case {
        const char *file;
        uint32_t length;
        const char *why;
    };
    const Case cases[] = {{kBankFile, 0x10000, "the 128 KB block"},
                          {kFlatFile, 0x80000, "the 1 MB linear frame buffer"}};
    for (const Case &c : cases) {
        graf::Config cfg = garskConfig(c.file, 64, 32);
        cfg.areas[0].length = c.length;
        try {
            harness::Screen s("garsk", cfg, quiet());
            ADD_FAILURE() << c.file << " with " << c.length << " bytes was built";
        } catch (const std::invalid_argument &e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
}

// ---- the build with every name visible ----

#ifdef GARSK_OPEN_LIB

template <class T> T openSymbol(const char *name) {
    void *h = dlopen(GARSK_OPEN_LIB, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(h, nullptr) << dlerror();
    void *p = h ? dlsym(h, name) : nullptr;
    EXPECT_NE(p, nullptr) << name;
    if (h)
        dlclose(h);
    return reinterpret_cast<T>(p);
}

// The tables from the X alus as ROP3 codes: the source form with S 0xCC,
// the pattern form with P 0xF0, and the plane form taking the source form
// where the pattern (the mask) is 1 and the destination where it is 0.
TEST(GarskOpen, RasterOpTablesFollowFromTheAlus) {
    harness::Screen s(GARSK_OPEN_LIB, garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.probe());
    const uint8_t *src = openSymbol<const uint8_t *>("alu_to_src_rop");
    const uint8_t *pat = openSymbol<const uint8_t *>("alu_to_pat_rop");
    const uint8_t *plane = openSymbol<const uint8_t *>("alu_to_plane_rop");
    ASSERT_TRUE(src && pat && plane);
    for (int alu = 0; alu < 16; alu++) {
        const uint8_t s8 = static_cast<uint8_t>(xApplyAlu(alu, 0xCC, 0xAA));
        const uint8_t p8 = static_cast<uint8_t>(xApplyAlu(alu, 0xF0, 0xAA));
        EXPECT_EQ(src[alu], s8) << "alu " << alu;
        EXPECT_EQ(pat[alu], p8) << "alu " << alu;
        EXPECT_EQ(plane[alu], static_cast<uint8_t>((s8 & 0xF0) | 0x0A)) << "alu " << alu;
    }
}

using SpansProc = void (*)(GCPtr, DrawablePtr, DDXPointPtr, int *, int);

TEST(GarskOpen, SpanFillsKeptBesideTheInstalledRoutines) {
    for (const char *name : {"garskgarskSolidFillSpans", "garskSolidFillSpans"}) {
        SCOPED_TRACE(name);
        harness::beginCase();
        harness::Screen s(GARSK_OPEN_LIB, garskConfig(kFlatFile, kWidth, kHeight), strict());
        ASSERT_TRUE(s.start()) << s.failureText();
        SpansProc fill = openSymbol<SpansProc>(name);
        ASSERT_NE(fill, nullptr);
        std::vector<DDXPointRec> starts = {{0, 0}, {5, 3}, {100, 63}, {1, 10}, {60, 20}};
        std::vector<int> widths = {1, 7, 28, 0, 67};
        int seed = 1;
        for (int alu : {GXcopy, GXxor, GXnand})
            for (uint32_t mask : {0xFFu, 0x3Cu}) {
                s.fillRandom(static_cast<uint32_t>(seed++));
                GCPtr gc = s.createGC({.alu = alu, .planemask = mask, .fg = 0x9D});
                nfbGCPrivate *gp = s.gcPriv(gc);
                gp->fgPixel0 = 0x9D;
                gp->alu0 = static_cast<uint8_t>(alu);
                gp->planemask0 = mask;
                fill(gc, s.drawable(), starts.data(), widths.data(), 5);
                for (size_t i = 0; i < starts.size(); i++) {
                    const BoxRec b{starts[i].x, starts[i].y,
                                   static_cast<int16_t>(starts[i].x + widths[i]),
                                   static_cast<int16_t>(starts[i].y + 1)};
                    if (widths[i] > 0)
                        ref::drawSolidRects(s.mirror(), &b, 1, 0x9D, alu, mask);
                }
                EXPECT_SCREEN_SAME(s);
            }
        s.machine().clearTrace();
        GCPtr gc = s.createGC();
        fill(gc, s.drawable(), starts.data(), widths.data(), 0);
        EXPECT_TRUE(s.machine().trace().empty());
    }
}

TEST(GarskOpen, PlanarOpaqueImageUnderAnyMask) {
    harness::Screen s(GARSK_OPEN_LIB, garskConfig(kBankFile, kWidth, 300), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    using Proc = void (*)(BoxPtr, uint8_t *, int, int, Pixel, Pixel, int, uint32_t, DrawablePtr);
    Proc draw = openSymbol<Proc>("garskOpaqueMonoPlanarImage");
    ASSERT_NE(draw, nullptr);
    struct Case {
        BoxRec box;
        int startBit;
        int alu;
        uint32_t mask;
    };
    // The last case is taller than the scratch area's 254 lines.
    const Case cases[] = {{{3, 4, 40, 20}, 0, GXcopy, 0x0F},
                          {{50, 9, 61, 30}, 5, GXxor, 0xF0},
                          {{7, 40, 100, 44}, 13, GXorInverted, 0xFF},
                          {{0, 0, 20, 300}, 2, GXandReverse, 0x5A}};
    uint32_t seed = 70;
    for (const Case &c : cases) {
        s.fillRandom(seed++);
        const int w = c.box.x2 - c.box.x1, h = c.box.y2 - c.box.y1;
        const int stride = (c.startBit + w + 7) / 8;
        std::vector<uint8_t> bits = randomBytes(static_cast<size_t>(stride * h), seed++);
        BoxRec b = c.box;
        draw(&b, bits.data(), c.startBit, stride, 0x4B, 0xB2, c.alu, c.mask, s.drawable());
        ref::drawOpaqueMonoImage(s.mirror(), c.box, bits.data(), c.startBit, stride, 0x4B, 0xB2,
                                 c.alu, c.mask);
        EXPECT_SCREEN_SAME(s);
    }
}

// QuickGlyph sends whole words low byte first, then only the bytes the
// count still asks for; TriGlyphWr exactly three.
TEST(GarskOpen, GlyphWritersSendOnlyTheBytesThereAre) {
    harness::Screen s(GARSK_OPEN_LIB, garskConfig(kBankFile, 64, 32), strict());
    ASSERT_TRUE(s.start()) << s.failureText();
    using Quick = void (*)(volatile uint8_t *, const uint32_t *, int);
    using Tri = void (*)(volatile uint8_t *, const uint8_t *);
    Quick quick = openSymbol<Quick>("QuickGlyph");
    Tri tri = openSymbol<Tri>("TriGlyphWr");
    ASSERT_TRUE(quick && tri);
    uint8_t *base = s.machine().findArea("MEMORY")->host;
    // Each byte a one-row mask of eight pixels, so the engine takes exactly
    // as many bytes as the rows it was given.
    auto expect = [&](int rows) {
        while (mmRead8(base + 0x1FF36) & 3) {
        }
        mmWrite8(base + 0x1FF00 + sim::GarskEngine::Routing, 2);
        mmWrite8(base + 0x1FF00 + sim::GarskEngine::BusSize, 0);
        mmWrite16(base + 0x1FF00 + sim::GarskEngine::XCount, 7);
        mmWrite16(base + 0x1FF00 + sim::GarskEngine::YCount, static_cast<uint16_t>(rows - 1));
        mmWrite32(base + 0x1FF00 + sim::GarskEngine::MmuBase0, 0);
        s.machine().clearTrace();
    };
    auto sent = [&] {
        std::vector<uint32_t> out;
        for (const sim::Access &a : s.machine().trace())
            if (a.kind == sim::Access::MemWrite)
                out.push_back(a.value);
        return out;
    };
    for (int bytes = 1; bytes <= 9; bytes++) {
        SCOPED_TRACE(bytes);
        const size_t words = static_cast<size_t>((bytes + 3) / 4);
        std::unique_ptr<uint32_t[]> src(new uint32_t[words]);
        for (size_t i = 0; i < words; i++)
            src[i] = 0x04030201u + 0x04040404u * static_cast<uint32_t>(i);
        expect(bytes);
        quick(base + 0x18000, src.get(), bytes);
        std::vector<uint32_t> want;
        for (int i = 0; i < bytes; i++)
            want.push_back(static_cast<uint32_t>(i + 1));
        EXPECT_EQ(sent(), want);
    }
    std::unique_ptr<uint8_t[]> three(new uint8_t[3]{7, 8, 9});
    expect(3);
    tri(base + 0x18000, three.get());
    EXPECT_EQ(sent(), (std::vector<uint32_t>{7, 8, 9}));
    s.drain();
}

#endif

} // namespace
