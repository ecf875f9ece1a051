// The hobra driver's palette, blanking and console switch on the ibm8514
// board's DAC: the colour hooks at depths 4 and 8, blanking by the DAC's
// pixel mask or the board's procedures, the console's palette saved at
// start and given back at the switch to text, and the blanked return.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "hobra_fixture.h"
#include "server.h"

namespace {

using namespace hobratest;
using Entry6 = sim::vga::Dac::Entry;

harness::Options opts() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// The DAC writes of the trace since it was last cleared: index and data
// port bytes.
struct DacBytes {
    std::vector<uint8_t> index, data;
};
DacBytes dacBytes(harness::Screen &s) {
    return {byteWrites(s.machine().trace(), 0x2EC), byteWrites(s.machine().trace(), 0x2ED)};
}

void setEntry(ColormapPtr map, int i, uint16_t r, uint16_t g, uint16_t b) {
    map->red[i].fShared = 0;
    map->red[i].co.local.red = r;
    map->red[i].co.local.green = g;
    map->red[i].co.local.blue = b;
}

TEST(HobraPalette, SetColorAtDepth8) {
    harness::Screen s("hobra", board(kBoard8), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.setColor(5, 0xFFFF, 0x8000, 0x0000);
    DacBytes d = dacBytes(s);
    EXPECT_EQ(d.index, std::vector<uint8_t>{5});
    EXPECT_EQ(d.data, (std::vector<uint8_t>{0x3F, 0x20, 0x00}));
    EXPECT_EQ(adapter(s).dac().entry(5), (Entry6{0x3F, 0x20, 0x00}));

    s.machine().clearTrace();
    s.setColor(256, 0xFFFF, 0xFFFF, 0xFFFF); // not below ColormapEntries
    s.setColor(-1, 0xFFFF, 0xFFFF, 0xFFFF);  // compared unsigned
    d = dacBytes(s);
    EXPECT_TRUE(d.index.empty() && d.data.empty());
    s.freeScreen();
}

TEST(HobraPalette, SetColorAtDepth4FillsSixteenEntries) {
    graf::Config c = board(kBoard4);
    c.ints["RGBBITS"] = 8;
    harness::Screen s("hobra", c, opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    s.setColor(3, 0xFFFF, 0x8000, 0x1234);
    DacBytes d = dacBytes(s);
    std::vector<uint8_t> indexes, data;
    for (int i = 0; i < 16; i++) {
        indexes.push_back(uint8_t(3 + 16 * i));
        data.insert(data.end(), {0xFF, 0x80, 0x12});
    }
    EXPECT_EQ(d.index, indexes);
    EXPECT_EQ(d.data, data);
    EXPECT_EQ(adapter(s).dac().rawEntry(243), (Entry6{0xFF, 0x80, 0x12}));

    s.machine().clearTrace();
    s.setColor(16, 0, 0, 0);
    EXPECT_TRUE(dacBytes(s).index.empty());
    s.freeScreen();
}

TEST(HobraPalette, LoadColormapTakesLocalAndSharedEntries) {
    for (const char *file : {kBoard8, kBoard4}) {
        SCOPED_TRACE(file);
        harness::Screen s("hobra", board(file), opts());
        ASSERT_TRUE(s.start()) << s.failureText();
        ColormapPtr map = s.defaultColormap();
        const int entries = map->pVisual->ColormapEntries;
        for (int i = 0; i < entries; i++)
            setEntry(map, i, uint16_t((i & 63) << 10), uint16_t((63 - (i & 63)) << 10), 0x4000);
        SHAREDCOLOR red{0xFC00, 1}, green{0x0400, 1}, blue{0x8000, 1};
        map->red[1].fShared = 1;
        map->red[1].co.shco.red = &red;
        map->red[1].co.shco.green = &green;
        map->red[1].co.shco.blue = &blue;
        s.installColormap(map);
        sim::vga::Dac &dac = adapter(s).dac();
        EXPECT_EQ(dac.entry(1), (Entry6{0x3F, 0x01, 0x20}));
        for (int i = 0; i < 256; i++) {
            const int pixel = i % entries;
            if (pixel == 1)
                continue;
            ASSERT_EQ(dac.entry(i), (Entry6{uint8_t(pixel & 63), uint8_t(63 - (pixel & 63)), 0x10}))
                << "DAC entry " << i;
        }
        map->red[1].fShared = 0;
        s.freeScreen();
    }
}

// ---------------------------------------------------------------- blanking --

TEST(HobraBlank, PixelMaskAndTheColormapAsItIsAtUnblank) {
    harness::Screen s("hobra", board(kBoard8), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    sim::vga::Dac &dac = adapter(s).dac();
    ColormapPtr map = s.defaultColormap();
    setEntry(map, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    s.installColormap(map);
    ASSERT_EQ(dac.entry(0), (Entry6{0x3F, 0x3F, 0x3F}));

    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_EQ(dac.entry(0), (Entry6{0, 0, 0}));
    EXPECT_EQ(dac.mask(), 0x00);
    EXPECT_NE(privateOf(s).blanked, 0);

    // While blanked the hooks leave the DAC alone.
    s.machine().clearTrace();
    s.setColor(7, 0xFFFF, 0, 0);
    setEntry(map, 9, 0x8000, 0x8000, 0x8000);
    s.installColormap(map);
    EXPECT_TRUE(dacBytes(s).data.empty());

    // Unblanking loads the colormap as it is now.
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_EQ(dac.mask(), 0xFF);
    EXPECT_EQ(privateOf(s).blanked, 0);
    EXPECT_EQ(dac.entry(0), (Entry6{0x3F, 0x3F, 0x3F}));
    EXPECT_EQ(dac.entry(9), (Entry6{0x20, 0x20, 0x20}));
    EXPECT_FALSE(ran("BlankScreen") || ran("UnblankScreen"));
    s.freeScreen();
}

TEST(HobraBlank, BoardProceduresTakeThePixelMasksPlace) {
    harness::Screen s("hobra", board(kBoardAti), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    s.machine().clearTrace();
    EXPECT_EQ(s.blankScreen(true), 1);
    EXPECT_TRUE(ran("BlankScreen"));
    EXPECT_EQ(adapter(s).dac().entry(0), (Entry6{0, 0, 0}));
    EXPECT_EQ(adapter(s).dac().mask(), 0x00); // the procedure's doing
    EXPECT_EQ(byteWrites(s.machine().trace(), 0x2EA), std::vector<uint8_t>{0x00});
    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_TRUE(ran("UnblankScreen"));
    EXPECT_EQ(adapter(s).dac().mask(), 0xFF);
    s.freeScreen();
}

// ---------------------------------------------------------- console switch --

// The console's palette before Init comes back at every switch to text; the
// screen returns blanked until the server unblanks it.
TEST(HobraSwitch, RoundTripGivesTheConsoleItsPaletteAndComesBackBlanked) {
    harness::Screen s("hobra", board(kBoard8), opts());
    sim::vga::Dac &dac = adapter(s).dac();
    for (int i = 0; i < 256; i++)
        dac.setEntry(i, {uint8_t(i & 0x3F), uint8_t((i >> 2) & 0x3F), uint8_t(63 - (i & 0x3F))});
    std::vector<Entry6> console;
    for (int i = 0; i < 256; i++)
        console.push_back(dac.entry(i));
    ASSERT_TRUE(s.start()) << s.failureText();
    ColormapPtr map = s.defaultColormap();
    setEntry(map, 4, 0x1000, 0x2000, 0x3000);
    s.installColormap(map);

    s.switchAway();
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(dac.entry(i), console[size_t(i)]) << "entry " << i;
    EXPECT_EQ(dac.mask(), 0xFF);
    EXPECT_FALSE(adapter(s).displayOn()); // the example "SetText"
    EXPECT_FALSE(adapter(s).engine().busy());

    s.switchBack();
    EXPECT_TRUE(adapter(s).displayOn());
    EXPECT_NE(privateOf(s).blanked, 0);
    EXPECT_EQ(dac.mask(), 0x00);
    EXPECT_EQ(dac.entry(0), (Entry6{0, 0, 0}));
    const sim::S3Regs &r = adapter(s).engine().regs();
    EXPECT_EQ(r.pixelControl, 0xA000);
    EXPECT_EQ(r.writeMask & 0xFF, 0xFFu);
    EXPECT_EQ(r.readMask & 0xFF, 0xFFu);

    EXPECT_EQ(s.blankScreen(false), 1);
    EXPECT_EQ(dac.mask(), 0xFF);
    EXPECT_EQ(dac.entry(4), (Entry6{0x04, 0x08, 0x0C}));
    s.freeScreen();
}

TEST(HobraSwitch, IgnoreProbeNeitherSavesNorRestoresTheDac) {
    graf::Config c = board(kBoard8);
    c.flags.push_back("IGNOREPROBE");
    harness::Screen s("hobra", c, opts());
    ASSERT_EQ(s.probe(), 1);
    s.machine().clearTrace();
    ASSERT_EQ(s.init(), 1) << s.failureText();
    s.createRoot();
    for (const sim::Access &a : s.machine().trace().runs())
        EXPECT_FALSE(a.kind == sim::Access::PortIn && a.address == 0x2ED) << "a DAC read";
    s.setColor(2, 0xFFFF, 0xFFFF, 0xFFFF);
    s.machine().clearTrace();
    s.saveGState();
    EXPECT_EQ(s.setText(), 1);
    EXPECT_TRUE(byteWrites(s.machine().trace(), 0x2ED).empty());
    EXPECT_EQ(adapter(s).dac().entry(2), (Entry6{0x3F, 0x3F, 0x3F}));
    s.freeScreen();
}

TEST(HobraSwitch, SetTextPassesOnTheProceduresResult) {
    harness::Screen s("hobra", board(kBoard8), opts());
    ASSERT_TRUE(s.start()) << s.failureText();
    graf::setProcedureFails(s.grafinfo(), "SetText", true);
    EXPECT_EQ(s.setText(), 0);
    graf::setProcedureFails(s.grafinfo(), "SetText", false);
    s.setGraphics();
    EXPECT_EQ(s.setText(), 1);
    s.freeScreen();
}

} // namespace
