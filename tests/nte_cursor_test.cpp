// The nte family's hardware cursor and palette hooks: the cursor image as
// the chip reads it, uploaded through the engine into its line in exactly
// the transfers the rectangle asks for; the cursor registers for position,
// hot spot and colours; the 8-bit palette with the cursor colours matched
// again when an entry under them changes, and reloaded after a mode set.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "nte_fixture.h"
#include "server.h"

namespace {

using namespace ntetest;

constexpr int kCursorLine8 = 48 + 128 + 127; // the ScratchArea's last line
constexpr int kCursorLineKey = 400;          // HWCURSORY, past the full extent

// A 1024 x 48 board with the OffScreenArea (0, 48, 1024, 256): the 8-bit
// builds take the hardware cursor by default on the ScratchArea's last
// line, the others are given HWCURSORY below the OffScreenArea.
graf::Config cursorBoard(const Build &b) {
    graf::Config c = exampleConfig(b);
    c.ints["PIXHEIGHT"] = 48;
    c.ints["OSX"] = 0;
    c.ints["OSY"] = 48;
    c.ints["OSWIDTH"] = 1024;
    c.ints["OSHEIGHT"] = 256;
    if (b.depth != 8)
        c.ints["HWCURSORY"] = kCursorLineKey;
    return c;
}

// The image the chip reads: 64 rows of four word pairs, a mask word and a
// source word each, the left 8 pixels in the low byte, leftmost in its top
// bit; nothing past the cursor's first 64 columns and rows.
std::vector<uint8_t> expectedImage(const std::vector<std::string> &rows) {
    std::vector<uint8_t> img(1024, 0);
    for (size_t r = 0; r < rows.size() && r < 64; r++)
        for (size_t c = 0; c < rows[r].size() && c < 64; c++) {
            char ch = rows[r][c];
            if (ch == '.' || ch == ' ')
                continue;
            size_t byte = 16 * r + 4 * (c / 16) + (c % 16) / 8;
            uint8_t bit = uint8_t(0x80 >> (c % 8));
            img[byte] |= bit;
            if (ch == 'F' || ch == 'X')
                img[byte + 2] |= bit;
        }
    return img;
}

std::vector<std::string> pattern(int w, int h, int seed) {
    std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            rows[size_t(y)][size_t(x)] = ".BF."[((x * 7 + y * 13 + seed) * 2654435761u >> 7) & 3];
    return rows;
}

// The cursor as the chip shows it from video memory is the cursor's
// picture: foreground, background and transparent where the rows say.
void expectPicture(const sim::S3Cursor &cursor, const std::vector<std::string> &rows) {
    sim::S3Cursor::Image img = cursor.image();
    for (int r = 0; r < 64; r++)
        for (int col = 0; col < 64; col++) {
            char ch = size_t(r) < rows.size() && size_t(col) < rows[size_t(r)].size()
                          ? rows[size_t(r)][size_t(col)]
                          : '.';
            sim::S3Cursor::Pixel want = ch == 'F'   ? sim::S3Cursor::Pixel::Foreground
                                        : ch == 'B' ? sim::S3Cursor::Pixel::Background
                                                    : sim::S3Cursor::Pixel::Transparent;
            ASSERT_EQ(img[size_t(r)][size_t(col)], want) << r << ", " << col;
        }
}

class NteCursor : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        s = std::make_unique<harness::Screen>(GetParam().name, cursorBoard(GetParam()),
                                              harness::Options{.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s->start()) << s->failureText();
        ASSERT_NE(s->pointer(), nullptr);
        ASSERT_TRUE(s->registered().pointerAccepted);
    }
    void TearDown() override {
        if (s)
            s->freeScreen();
    }
    sim::S3Adapter &a() { return board(*s); }
    int line() const { return GetParam().depth == 8 ? kCursorLine8 : kCursorLineKey; }
    // The 1024 bytes the upload left at the start of the cursor's line.
    std::vector<uint8_t> uploaded() {
        s->drain();
        sim::S3EngineCore &e = a().engine();
        const uint8_t *p =
            a().vram()->data() + size_t(line()) * e.linePixels() * size_t(e.pixelBits() / 8);
        return std::vector<uint8_t>(p, p + 1024);
    }

    std::unique_ptr<harness::Screen> s;
};

// Cursors 8 pixels wide (one pair holding a single byte in its low halves),
// 32 wide (two pairs a row), and larger than 64 x 64 (cut to it): the image
// lands in the cursor's line in 512 transfers that fill the rectangle, and
// the cursor is shown from there in its colours.
TEST_P(NteCursor, ImageUploadAndRegisters) {
    struct Case {
        int w, h;
    };
    for (const Case &c : {Case{8, 5}, Case{32, 64}, Case{70, 80}, Case{17, 1}}) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        std::vector<std::string> rows = pattern(c.w, c.h, c.w);
        auto cur = harness::makeCursor(rows, 0, 0);
        ASSERT_TRUE(s->realizeCursor(cur->ptr()));
        a().engine().clearStats();
        s->setCursor(cur->ptr(), 100, 20);
        EXPECT_EQ(uploaded(), expectedImage(rows));
        const sim::S3EngineCore &e = a().engine();
        EXPECT_EQ(e.stats().transfersIn, 512u);
        EXPECT_FALSE(e.transferOwed());
        EXPECT_EQ(e.regs().majorAxis, 1024 / (e.pixelBits() / 8) - 1);
        EXPECT_EQ(e.log().back(), 0x53B1);
        // The scissors are the full extent again.
        Private p = privateOf(*s, GetParam().variant);
        EXPECT_EQ(e.regs().scissorBottom, p.clipBottom);
        EXPECT_EQ(e.regs().scissorRight, p.clipRight);

        // The chip counts the image's address in units of 1024 bytes.
        const int unit = line() * int(e.linePixels()) * (e.pixelBits() / 8) / 1024;
        EXPECT_EQ(a().cr(0x4D), unit & 0xFF);
        EXPECT_EQ(a().cr(0x4C), unit >> 8);
        EXPECT_EQ(a().cr(0x45) & 1, 1);
        EXPECT_EQ(a().cr(0x55) & 0x10, 0x10);
        EXPECT_EQ(a().cr(0x47), 100);
        EXPECT_EQ(a().cr(0x49), 20);
        if (GetParam().depth == 8) {
            // White and black in the default colormap.
            EXPECT_EQ(a().cr(0x0E), 1);
            EXPECT_EQ(a().cr(0x0F), 0);
            EXPECT_EQ(p.currentCursor, cur->ptr());
        } else {
            EXPECT_EQ(a().cr(0x0E), 0);
            EXPECT_EQ(a().cr(0x0F), 0);
            EXPECT_EQ(p.currentCursor, nullptr);
        }
        // The chip finds the image where it was uploaded, at every depth.
        expectPicture(a().cursor(), rows);
        EXPECT_TRUE(s->unrealizeCursor(cur->ptr()));
    }
    // No cursor: it goes off and stays off.
    s->setCursor(nullptr, 0, 0);
    EXPECT_EQ(a().cr(0x45) & 1, 0);
    s->moveCursor(10, 10);
    EXPECT_EQ(a().cr(0x45) & 1, 0);
}

// The hot spot (5, 3) at (2, 10): the image starts at (-3, 7), so three
// columns are hidden and no row.
TEST_P(NteCursor, HotSpotAndEdges) {
    auto cur = harness::makeCursor(pattern(16, 16, 1), 5, 3);
    s->setCursor(cur->ptr(), 2, 10);
    EXPECT_EQ(a().cr(0x4E), 3);
    EXPECT_EQ(a().cr(0x4F), 0);
    EXPECT_EQ(a().cr(0x47), 0);
    EXPECT_EQ(a().cr(0x46), 0);
    EXPECT_EQ(a().cr(0x49), 7);
    EXPECT_EQ(a().cr(0x48), 0);
    s->moveCursor(1000, 700);
    EXPECT_EQ(a().cr(0x4E), 0);
    EXPECT_EQ(a().cr(0x47), 995 & 0xFF);
    EXPECT_EQ(a().cr(0x46), 995 >> 8);
    EXPECT_EQ(a().cr(0x49), 697 & 0xFF);
    EXPECT_EQ(a().cr(0x48), 697 >> 8);
    // Far off the top left: the registers hide at most the image's last
    // column and row.
    s->moveCursor(-200, -100);
    EXPECT_EQ(a().cr(0x4E), 63);
    EXPECT_EQ(a().cr(0x4F), 63);
    EXPECT_EQ(a().cr(0x47), 0);
    EXPECT_EQ(a().cr(0x49), 0);
}

// A client clip that does not reach the cursor's line does not cut the
// upload, and is there again afterwards.
TEST_P(NteCursor, UploadUnderAClientClip) {
    s->setClipRegions({{10, 10, 50, 30}});
    std::vector<std::string> rows = pattern(64, 64, 3);
    auto cur = harness::makeCursor(rows, 0, 0);
    s->setCursor(cur->ptr(), 0, 0);
    EXPECT_EQ(uploaded(), expectedImage(rows));
    const sim::S3Regs &r = a().engine().regs();
    EXPECT_EQ((std::vector<int>{r.scissorLeft, r.scissorTop, r.scissorRight, r.scissorBottom}),
              (std::vector<int>{10, 10, 49, 29}));
    s->setClipRegions({});
}

INSTANTIATE_TEST_SUITE_P(Builds, NteCursor, testing::ValuesIn(kBuilds), buildName);

// Lines that are not whole 1024-byte units: 1152, 1280 and 1600 pixels at 8
// bits (where the hardware cursor is the default), and at 16 and 32 bits
// (given HWCURSORY). The image lies at the first unit the chip can fetch
// from, across the lines it reaches into, and shows as the cursor's picture.
struct LineCase {
    const char *build;
    int width;
};

TEST(NteCursorLines, PictureOnEveryLineLength) {
    const LineCase cases[] = {{"pravo8", 1152}, {"skerl8", 1280},  {"tunga8", 1600},
                              {"pravo16", 640}, {"skerl16", 1152}, {"tunga16", 1600},
                              {"pravo24", 800}, {"skerl24", 1152}, {"tunga24", 1600}};
    for (const LineCase &k : cases) {
        SCOPED_TRACE(std::string(k.build) + " on lines of " + std::to_string(k.width));
        const Build &b = build(k.build);
        graf::Config c = cursorBoard(b);
        c.ints["PIXWIDTH"] = k.width;
        c.ints["OSWIDTH"] = k.width;
        if (b.depth != 8)
            c.ints["HWCURSORY"] = 301;
        harness::Screen s(b.name, c, {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        ASSERT_TRUE(s.registered().pointerAccepted);
        sim::S3Adapter &a = board(s);
        std::vector<std::string> rows = pattern(64, 64, k.width);
        auto cur = harness::makeCursor(rows, 0, 0);
        s.setCursor(cur->ptr(), 30, 10);
        s.drain();
        EXPECT_FALSE(a.engine().transferOwed());
        expectPicture(a.cursor(), rows);
        // Off the screen's lines, and in the ScratchArea's last lines or on
        // the line asked for.
        const uint32_t lineBytes = a.engine().linePixels() * uint32_t(a.engine().pixelBits() / 8);
        const uint32_t at = a.cursor().imageOffset();
        EXPECT_GE(at, 48u * lineBytes);
        Private p = privateOf(s, b.variant);
        EXPECT_EQ(at / lineBytes, uint32_t(p.cursorLine));
        if (b.depth == 8) {
            EXPECT_EQ(p.scratchY + p.scratchHeight, p.cursorLine);
        }
        s.freeScreen();
    }
}

// ---------------------------------------------------------------- palette --

// The index of the first CRTC index write of `index` and of the first DAC
// write index access in the trace, or -1.
struct Order {
    long crtc = -1, dac = -1;
};
Order orderOf(harness::Screen &s, uint8_t crIndex) {
    Order o;
    long i = 0;
    for (const sim::Access &acc : s.machine().trace()) {
        if (acc.kind == sim::Access::PortOut && acc.address == 0x3D4 && acc.value == crIndex &&
            o.crtc < 0)
            o.crtc = i;
        if (acc.kind == sim::Access::PortOut && acc.address == 0x3C8 && o.dac < 0)
            o.dac = i;
        i++;
    }
    return o;
}

// SetColor on a cursor colour's index: the same colour as the cursor's
// leaves the match alone; another one matches again before the palette is
// written. Without a cursor nothing is matched.
TEST(NteSetColor, CursorColoursMatchedAgainBeforeTheWrite) {
    for (const char *name : {"pravo8", "skerl8", "tunga8"}) {
        SCOPED_TRACE(name);
        harness::beginCase();
        const Build &b = build(name);
        harness::Screen s(b.name, cursorBoard(b), {.reporter = HARNESS_GTEST_REPORTER});
        ASSERT_TRUE(s.start()) << s.failureText();
        sim::S3Adapter &a = board(s);
        s.defaultColormap()->red[1].co.local = {0x1234, 0, 0};
        s.machine().clearTrace();
        s.setColor(1, 0x1234, 0, 0);
        EXPECT_EQ(orderOf(s, 0x0E).crtc, -1) << "no cursor yet";

        auto cur = harness::makeCursor(pattern(8, 8, 2), 0, 0, 0x1234, 0, 0, 0, 0, 0);
        s.setCursor(cur->ptr(), 5, 5);
        ASSERT_EQ(a.cr(0x0E), 1);
        ASSERT_EQ(a.cr(0x0F), 0);
        struct Case {
            int index;
            uint16_t r, g, b;
            bool rematch;
        };
        for (const Case &c :
             {Case{1, 0x1234, 0, 0, false}, Case{1, 0x1234, 1, 0, true}, Case{0, 0, 0, 0, false},
              Case{0, 0, 0, 0x100, true}, Case{2, 0x5555, 0, 0, false}}) {
            SCOPED_TRACE(c.index);
            a.vga().crtc.setReg(0x0E, 0x77);
            s.machine().clearTrace();
            s.setColor(c.index, c.r, c.g, c.b);
            Order o = orderOf(s, 0x0E);
            EXPECT_EQ(a.cr(0x0E) != 0x77, c.rematch);
            if (c.rematch) {
                EXPECT_GE(o.crtc, 0);
                EXPECT_LT(o.crtc, o.dac);
            }
            sim::vga::Dac::Entry e = a.vga().dac.entry(c.index);
            EXPECT_EQ(e, (sim::vga::Dac::Entry{uint8_t(c.r >> 10), uint8_t(c.g >> 10),
                                               uint8_t(c.b >> 10)}));
        }
        s.freeScreen();
    }
}

// An 8-bit build at a depth below 8 writes each colour to the 16 entries
// 16 apart.
TEST(NteSetColor, BelowDepthEightSixteenEntries) {
    const Build &b = build("skerl8");
    graf::Config c = smallConfig(b);
    c.ints["DEPTH"] = 4;
    harness::Screen s(b.name, c,
                      {.depth = 4, .bitsPerPixel = 8, .reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::vga::Dac &dac = board(s).vga().dac;
    dac.clearWrites();
    s.setColor(3, 0xFC00, 0x8000, 0x0400);
    ASSERT_EQ(dac.writes().size(), 16u);
    for (int k = 0; k < 16; k++) {
        EXPECT_EQ(dac.writes()[size_t(k)].index, 3 + 16 * k);
        EXPECT_EQ(dac.entry(3 + 16 * k), (sim::vga::Dac::Entry{63, 32, 1}));
    }
    s.freeScreen();
}

// After a mode set the installed colormap's entries are in the DAC again,
// each as the colormap holds it.
TEST(NteRestoreColormap, EveryEntryAfterTheModeSet) {
    const Build &b = build("tunga8");
    harness::Screen s(b.name, smallConfig(b), {.reporter = HARNESS_GTEST_REPORTER});
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    map->red[5].co.local = {0x4000, 0x8000, 0xC000};
    map->red[255].co.local = {0xFFFF, 0x0400, 0x0800};
    s.switchAway();
    sim::vga::Dac &dac = board(s).vga().dac;
    dac.clearWrites();
    s.switchBack();
    EXPECT_EQ(dac.writes().size(), 256u);
    EXPECT_EQ(dac.entry(5), (sim::vga::Dac::Entry{0x10, 0x20, 0x30}));
    EXPECT_EQ(dac.entry(255), (sim::vga::Dac::Entry{63, 1, 2}));
    EXPECT_EQ(dac.entry(1), (sim::vga::Dac::Entry{63, 63, 63}));
    s.freeScreen();
}

} // namespace
