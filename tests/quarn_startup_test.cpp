// The Matrox driver's start-up on the scripted chip layer: Init over its
// keys, areas, board search and the chip layer's answers; the built-in mode
// table; the memory probe; the console switch with its palette; FreeScreen.
#include <algorithm>
#include <string>
#include <vector>

#include "hwio.h"
#include "pcibus.h"
#include "quarn_fixture.h"
#include "server.h"

namespace quarntest {
namespace {

bool said(const std::string &text) {
    const auto &m = server::errorMessages();
    return std::find(m.begin(), m.end(), text) != m.end();
}

graf::Config eclipse() {
    return board("eclipse");
}

// ---- Init as a table ----

struct InitCase {
    const char *what;
    graf::Config (*config)();
    bool ok;
    const char *message; // an ErrorF text or part of one; empty: none
};

graf::Config withKey(const char *key, int value) {
    graf::Config c = eclipse();
    c.ints[key] = value;
    return c;
}

graf::Config withoutKey(const char *key) {
    graf::Config c = eclipse();
    c.ints.erase(key);
    return c;
}

graf::Config withoutArea(const char *name) {
    graf::Config c = eclipse();
    c.areas.erase(std::remove_if(c.areas.begin(), c.areas.end(),
                                 [&](const graf::MemoryArea &a) { return a.name == name; }),
                  c.areas.end());
    return c;
}

graf::Config withAreaLength(const char *name, uint32_t length) {
    graf::Config c = eclipse();
    for (graf::MemoryArea &a : c.areas)
        if (a.name == name)
            a.length = length;
    return c;
}

const InitCase kInitCases[] = {
    {"the example board", eclipse, true, ""},
    {"no PIXWIDTH", [] { return withoutKey("PIXWIDTH"); }, false,
     "quarn: can't find pixel info in grafinfo file.\n"},
    {"no DEPTH", [] { return withoutKey("DEPTH"); }, false,
     "quarn: can't find pixel info in grafinfo file.\n"},
    {"no default area", [] { return withoutArea(""); }, false,
     "quarn: Missing MEMORY in grafinfo file.\n"},
    {"no FBM", [] { return withoutArea("FBM"); }, false,
     "quarn: Missing FBM MEMORY in grafinfo file.\n"},
    {"a short register window", [] { return withAreaLength("", 0x2000); }, false,
     "quarn: MEMORY in grafinfo file is 8192 bytes; the register window needs 16384.\n"},
    {"a short FBM", [] { return withAreaLength("FBM", 0x800000); }, false,
     "quarn: FBM MEMORY in grafinfo file is 8388608 bytes; the frame buffer window needs "
     "16777216.\n"},
    {"DEPTH 4", [] { return withKey("DEPTH", 4); }, false,
     "quarn: Unsupported resolution. 1024 (0x300)\n"},
    {"a size the table lacks", [] { return withKey("PIXWIDTH", 1000); }, false,
     "quarn: Unsupported resolution. 1000 (0x300)\n"},
    {"overrides with no lines",
     [] {
         graf::Config c = eclipse();
         c.ints["VVisible"] = 0;
         c.ints["VFrontPorch"] = 0;
         c.ints["VSync"] = 0;
         c.ints["VBackPorch"] = 0;
         return c;
     },
     false, "quarn: Unsupported resolution. 1024 (0x300)\n"},
};

TEST(QuarnInit, KeysAreasAndTheModeTable) {
    for (const InitCase &c : kInitCases) {
        harness::beginCase();
        server::clearErrorMessages();
        Scripted s(c.config(), 1024);
        ASSERT_NE(s.script, nullptr);
        EXPECT_EQ(s.screen.start(), c.ok) << c.what << "\n" << s.screen.failureText();
        if (*c.message)
            EXPECT_TRUE(said(c.message)) << c.what << "\n" << s.screen.failureText();
        else
            EXPECT_TRUE(server::errorMessages().empty()) << c.what << "\n"
                                                         << s.screen.failureText();
        if (!c.ok) {
            EXPECT_EQ(server::liveBlockCount(), 0u) << c.what << ": a failed Init keeps nothing";
            EXPECT_EQ(sim::openPciDescriptors(), 0) << c.what;
            EXPECT_EQ(s.script->calls[QS_SET_MODE], 0) << c.what;
        }
    }
}

// The depth decides the visual and the converted lBpp; 800 at depth 8 draws
// 832 wide while the server and the mode table see 800; 1152 x 864 takes
// the 882-line record.
TEST(QuarnInit, DepthsAndWidths) {
    struct Case {
        int width, height, depth;
        int drawWidth, bytesPerPixel, visualDepth, bpp, modeHeight;
    } cases[] = {
        {800, 600, 8, 832, 1, 8, 8, 600},      {1024, 768, 15, 1024, 2, 15, 15, 768},
        {1024, 768, 16, 1024, 2, 15, 15, 768}, {640, 480, 24, 640, 4, 24, 32, 480},
        {1152, 864, 8, 1152, 1, 8, 8, 882},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        graf::Config cfg = eclipse();
        cfg.ints["PIXWIDTH"] = c.width;
        cfg.ints["PIXHEIGHT"] = c.height;
        cfg.ints["DEPTH"] = c.depth;
        if (c.depth == 24)
            cfg.ints["BITSPERPIXEL"] = 32;
        Scripted s(cfg, c.drawWidth * c.bytesPerPixel);
        s.script->fbPitch = uint32_t(c.drawWidth);
        ASSERT_TRUE(s.screen.start()) << c.width << " " << c.depth << s.screen.failureText();
        const quarnScreenPrivate *p = s.priv();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->width, c.drawWidth);
        EXPECT_EQ(p->requestedWidth, c.width);
        EXPECT_EQ(p->bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(s.screen.screen()->width, c.width) << "the server sees the configured width";
        EXPECT_EQ(s.screen.screen()->rootDepth, c.visualDepth);
        const QuarnScriptCall *v = s.call(QS_VALIDATE_MODE);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->mode.ulDispWidth, uint32_t(c.width));
        EXPECT_EQ(v->mode.lDispHeight, c.modeHeight);
        EXPECT_EQ(v->mode.lBpp, c.bpp);
        EXPECT_EQ(v->mode.lModeType, 0x1200000);
    }
}

// The chip layer's refusals: of the board, of the mode (Init fails: no mode
// was set, whatever the memory check would say).
TEST(QuarnInit, ChipLayerRefusals) {
    {
        Scripted s(eclipse(), 1024);
        s.script->results[QS_QUERY_BOARD_SUPPORT][0] = 0xA0203060u;
        server::clearErrorMessages();
        EXPECT_FALSE(s.screen.start());
        EXPECT_TRUE(server::errorMessages().empty()) << "a refused board is no message";
        EXPECT_EQ(s.script->calls[QS_GET_BOARD_INFO], 0);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
    harness::beginCase();
    {
        Scripted s(eclipse(), 1024);
        for (uint32_t &r : s.script->results[QS_VALIDATE_MODE])
            r = 0xB0903020u;
        server::clearErrorMessages();
        EXPECT_FALSE(s.screen.start());
        EXPECT_TRUE(said("QUARNVidInit: Invalid ModeInfo\n"));
        EXPECT_EQ(s.script->calls[QS_SET_MODE], 0);
        EXPECT_EQ(server::liveBlockCount(), 0u);
    }
}

// A refused private index or allocation fails Init, leaving nothing.
TEST(QuarnInit, RefusedIndexOrMemory) {
    struct Case {
        const char *what;
        void (*arrange)();
    } cases[] = {
        {"no private index", [] { server::failScreenPrivateIndex(true); }},
        {"no private", [] { server::failAllocationAfter(0); }},
        {"no board handle", [] { server::failAllocationAfter(1); }},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        Scripted s(eclipse(), 1024);
        c.arrange();
        EXPECT_FALSE(s.screen.start()) << c.what;
        server::failAllocationAfter(-1);
        server::failScreenPrivateIndex(false);
        EXPECT_EQ(server::liveBlockCount(), 0u) << c.what;
        EXPECT_EQ(sim::openPciDescriptors(), 0) << c.what;
    }
}

// 0x0519 comes first in the search: found, then refused by the chip layer.
TEST(QuarnInit, TheFirstDeviceOfTheSearchWins) {
    Scripted s(eclipse(), 1024);
    sim::PciFunction older(0x102B, 0x0519, 3, 0);
    s.screen.machine().pci().add(older);
    s.script->results[QS_QUERY_BOARD_SUPPORT][0] = 0xA0203060u;
    EXPECT_FALSE(s.screen.start());
    EXPECT_EQ(s.script->calls[QS_QUERY_BOARD_SUPPORT], 1);
    EXPECT_EQ(s.screen.machine().pci().requests(PCI_FIND_CLASS), 2)
        << "0x0519's walk found it second on the bus, and ended the search";
    EXPECT_EQ(s.script->calls[QS_GET_BOARD_INFO], 0);
}

// The overrides apply to this screen's copy: a later generation finds its
// record again and converts the same overridden mode.
TEST(QuarnInit, OverridesOverTwoGenerations) {
    graf::Config cfg = eclipse();
    cfg.ints["HVisible"] = 1000;
    cfg.ints["HFrontPorch"] = 40;
    Scripted s(cfg, 1024);
    ASSERT_TRUE(s.screen.start()) << s.screen.failureText();
    ASSERT_TRUE(s.screen.nextGeneration()) << s.screen.failureText();
    int seen = 0;
    for (int i = 0; i < s.script->logged; i++) {
        const QuarnScriptCall &c = s.script->log[i];
        if (c.entry != QS_VALIDATE_MODE)
            continue;
        seen++;
        EXPECT_EQ(c.mode.ulDispWidth, 1000u);
        EXPECT_EQ(c.mode.lHFPorch, 40);
        EXPECT_EQ(c.mode.lHSync, 128) << "a key left out keeps the table's value";
    }
    EXPECT_EQ(seen, 4) << "two validations a generation";
}

// ---- the memory probe ----

TEST(QuarnCountMem, TwoFourOrEightMegabytesCachedForTheLibrary) {
    for (uint32_t mb : {2u, 4u, 8u, 16u}) {
        harness::beginCase();
        graf::Config cfg = eclipse();
        cfg.ints["MEMSIZE"] = int(mb * kMB);
        cfg.ints["PIXWIDTH"] = 640;
        cfg.ints["PIXHEIGHT"] = 480;
        Scripted s(cfg, 640);
        ASSERT_TRUE(s.screen.start()) << mb << s.screen.failureText();
        EXPECT_EQ(uint32_t(s.priv()->memorySize), std::min(mb, 8u) * kMB) << mb;
    }
    harness::beginCase();
    graf::Config small = eclipse();
    small.ints["MEMSIZE"] = int(2 * kMB);
    small.ints["PIXWIDTH"] = 640;
    small.ints["PIXHEIGHT"] = 480;
    Scripted first(small, 640);
    ASSERT_TRUE(first.screen.start());
    first.screen.freeScreen();
    graf::Config big = small;
    big.ints["MEMSIZE"] = int(8 * kMB);
    Scripted second(big, 640);
    ASSERT_TRUE(second.screen.start());
    EXPECT_EQ(second.priv()->memorySize, int(2 * kMB)) << "the first probe's answer is kept";
}

// The answer belongs to the board it was found on: a screen on another board
// (another chip at another place) with less memory probes its own, or its font
// slots and the image read's marker would lie past its memory.
TEST(QuarnCountMem, AnotherBoardProbesItsOwnMemory) {
    harness::beginCase();
    graf::Config big = eclipse();
    big.ints["MEMSIZE"] = int(8 * kMB);
    big.ints["PIXWIDTH"] = 640;
    big.ints["PIXHEIGHT"] = 480;
    Scripted first(big, 640);
    ASSERT_TRUE(first.screen.start()) << first.screen.failureText();
    EXPECT_EQ(first.priv()->memorySize, int(8 * kMB));
    first.screen.freeScreen();
    graf::Config small = big;
    small.ints["MEMSIZE"] = int(4 * kMB);
    small.ints["PCI_DEVICE"] = 0x1001;
    Scripted second(small, 640);
    ASSERT_TRUE(second.screen.start()) << second.screen.failureText();
    EXPECT_EQ(second.priv()->memorySize, int(4 * kMB));
}

// ---- the console switch ----

// SetGraphics at start-up: the engine defaults and, at depth 8, the default
// palette (no text-mode palette saved yet).
TEST(QuarnSwitch, StartUpLoadsTheDefaultPaletteAndEngineDefaults) {
    Scripted s(eclipse(), 1024);
    ASSERT_TRUE(s.screen.start()) << s.screen.failureText();
    sim::MgaBoard &b = s.mga();
    // The first palette load (the default colormap's comes after it).
    std::vector<uint8_t> loaded;
    const int regs = s.screen.machine().regionIndex("MEMORY");
    for (const sim::Access &a : s.screen.machine().trace())
        if (a.region == regs && a.kind == sim::Access::MemWrite && a.address == 0x3C01)
            loaded.push_back(uint8_t(a.value));
    ASSERT_GE(loaded.size(), 768u);
    auto entry = [&](int i) {
        return std::array<uint8_t, 3>{loaded[size_t(i) * 3], loaded[size_t(i) * 3 + 1],
                                      loaded[size_t(i) * 3 + 2]};
    };
    EXPECT_EQ(entry(0x00), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(entry(0xE0), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(entry(0xFF), (std::array<uint8_t, 3>{255, 255, 255}));
    EXPECT_EQ(entry(0x25), (std::array<uint8_t, 3>{36, 36, 85}));
    EXPECT_EQ(b.reg(0x1C04), 0u) << "pixel width: depth >> 4";
    EXPECT_EQ(b.reg(0x1C8C), 1024u) << "pitch";
    EXPECT_EQ(b.reg(0x1C94), 0u) << "drawing origin";
    EXPECT_EQ(b.reg(0x1C1C), 0xFFFFFFFFu);
    EXPECT_EQ(b.crtcExt(1) & 0x30, 0) << "syncs on";
    EXPECT_FALSE(b.picture().blanked);
    EXPECT_EQ(s.priv()->fontSlot[0].offset, 0x400000 - 0x11800);
    EXPECT_EQ(s.priv()->fontSlot[1].offset, 0x400000 - 0x8C00);
    EXPECT_TRUE(s.screen.failures().empty()) << s.screen.failureText();
}

// Direct colour: a grey ramp read back until it holds (five loads at most);
// the twister's 16-bit table is the chip layer's, its plane mask too.
TEST(QuarnSwitch, GreyRampLoadsAndTheTwisterAtSixteenBits) {
    struct Case {
        const char *what;
        graf::Config (*config)();
        uint32_t chipId, memoryType;
        int pitchBytes;
        size_t paletteWrites;
        bool planeMaskWritten;
    } cases[] = {
        {"toucan at 32 bits", [] { return board("toucan"); }, 0x0525102B, 2, 1152 * 4, 768, true},
        {"a table that never reads back",
         [] {
             graf::Config c = board("toucan");
             c.flags.push_back("LUT_READ_FAULT");
             return c;
         },
         0x0525102B, 2, 1152 * 4, 5 * 768, true},
        {"twister at 16 bits", [] { return board("twister"); }, 0x1001102B, 5, 1280 * 2, 0, false},
    };
    for (const Case &c : cases) {
        harness::beginCase();
        Scripted s(c.config(), c.pitchBytes);
        s.script->memoryType = c.memoryType;
        ASSERT_TRUE(s.screen.start()) << c.what << s.screen.failureText();
        size_t paletteWrites = 0, maskWrites = 0;
        const int regs = s.screen.machine().regionIndex("MEMORY");
        for (const sim::Access &a : s.screen.machine().trace()) {
            if (a.region != regs || a.kind != sim::Access::MemWrite)
                continue;
            paletteWrites += a.address == 0x3C01;
            maskWrites += a.address == 0x1C1C;
        }
        EXPECT_EQ(paletteWrites, c.paletteWrites) << c.what;
        EXPECT_EQ(maskWrites != 0, c.planeMaskWritten) << c.what;
    }
}

// 4 MB, 1280 x 1024 at 16 bits, pitch 1280, origin 0.
TEST(QuarnSwitch, FreeMemoryAfterTheScreenAndTheFontArea) {
    graf::Config cfg = board("twister");
    cfg.ints["MEMSIZE"] = int(4 * kMB);
    Scripted s(cfg, 2560);
    s.script->fbPitch = 1280;
    ASSERT_TRUE(s.screen.start()) << s.screen.failureText();
    EXPECT_EQ(s.priv()->freeMemory, 1501184);
}

// Too little memory: back to text at once, and Init fails.
TEST(QuarnSwitch, TooLittleMemoryGoesBackToText) {
    graf::Config cfg = eclipse();
    cfg.ints["MEMSIZE"] = int(2 * kMB);
    cfg.ints["PIXWIDTH"] = 1600;
    cfg.ints["PIXHEIGHT"] = 1200;
    cfg.ints["DEPTH"] = 16;
    Scripted s(cfg, 3200);
    server::clearErrorMessages();
    EXPECT_FALSE(s.screen.start());
    EXPECT_TRUE(said("Not enough memory to support this resolution.\n"));
    EXPECT_GE(s.script->calls[QS_SWITCH_TO_VGA], 1);
    EXPECT_EQ(server::liveBlockCount(), 0u);
}

// A palette the clients loaded survives a switch to text and back.
TEST(QuarnSwitch, RoundTripKeepsTheClientPalette) {
    Scripted s(eclipse(), 1024);
    ASSERT_TRUE(s.screen.start()) << s.screen.failureText();
    uint8_t *regs = s.screen.machine().findArea("MEMORY")->host;
    mmWrite8(regs + 0x3C00, 7);
    for (uint8_t v : {11, 22, 33})
        mmWrite8(regs + 0x3C01, v);
    s.screen.switchAway();
    EXPECT_EQ(s.script->calls[QS_SWITCH_TO_VGA], 1);
    EXPECT_EQ(s.script->calls[QS_WRITE_VGA_INFO], 1);
    // Text mode loads its own colours.
    mmWrite8(regs + 0x3C00, 0);
    for (int i = 0; i < 768; i++)
        mmWrite8(regs + 0x3C01, 0);
    const int modeSets = s.script->calls[QS_SET_MODE];
    s.screen.switchBack();
    EXPECT_EQ(s.script->calls[QS_SET_MODE], modeSets + 1);
    EXPECT_EQ(s.mga().palette(7), (std::array<uint8_t, 3>{11, 22, 33}));
    EXPECT_EQ(s.screen.blankScreen(true), 1);
    EXPECT_TRUE(s.mga().picture().blanked);
    EXPECT_EQ(s.screen.blankScreen(false), 1);
    EXPECT_FALSE(s.mga().picture().blanked);
}

TEST(QuarnFreeScreen, LeavesNoBlockAndClosesTheDevice) {
    Scripted s(eclipse(), 1024);
    ASSERT_TRUE(s.screen.start());
    EXPECT_EQ(sim::openPciDescriptors(), 1);
    s.screen.freeScreen();
    EXPECT_EQ(server::liveBlockCount(), 0u);
    EXPECT_EQ(sim::openPciDescriptors(), 0);
}

} // namespace
} // namespace quarntest
