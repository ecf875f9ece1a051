/*
 * The server's command-line options of the ct builds: the operation mask,
 * which hands accelerated slots back to the server's routines, the software
 * cursor, the chip report, and two ways to end the server early.
 */
#include "ct.h"

/* The two C library routines the options need, as the server's process
 * has them (declared here so that no header renames them). */
extern "C" int sscanf(const char *text, const char *format, ...);
extern "C" void exit(int status) __attribute__((noreturn));

#if CT_65550_BUILD
/* The 65550's default mask. */
uint32_t opsFlagVal = 0x98C98;
#endif

/* The twenty option bits in the order they are applied, closed by 0. */
static const uint32_t genOps[] = {0x1,    0x2,    0x4,     0x8,     0x10,    0x20,    0x40,
                                  0x80,   0x100,  0x200,   0x400,   0x800,   0x1000,  0x2000,
                                  0x4000, 0x8000, 0x10000, 0x20000, 0x40000, 0x80000, 0};

/* ---- Words ---- */

static Bool ctSameWord(const char *a, const char *b) {
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

/* The word read as hexadecimal, with or without its 0x. `converted` tells
 * whether either reading found a number. */
uint32_t atoh(const char *word, Bool *converted) {
    unsigned int value = 0;
    Bool ok = sscanf(word, "0x%x", &value) == 1;
    if (!ok)
        ok = sscanf(word, "%x", &value) == 1;
    if (converted)
        *converted = ok;
    return ok ? (uint32_t)value : 0;
}

/* ---- The mask ---- */

static void ctSay(const char *msg550, const char *msgOthers) {
    const char *msg = CT_IS_65550 ? msg550 : msgOthers;
    if (msg)
        ErrorF("%s", msg);
}

static void ctApplyBit(uint32_t bit) {
    WinOps &win = NAME(WinOps);
    switch (bit) {
    case 0x1:
        win.CopyRect = genCopyRect;
        ctSay("using genCopyRect()\n", "using genCopyRect()\n");
        break;
    case 0x2:
        win.DrawSolidRects = genDrawSolidRects;
        ctSay("using genDrawSolidRects()\n", "using genDrawSolidRects()\n");
        break;
    case 0x4:
        win.DrawImage = NAME(DrawImageFB);
        ctSay("using CT(DrawImageFB)()\n", "using CT(DrawImageFB)()\n");
        break;
    case 0x8:
        win.DrawMonoImage = genDrawMonoImage;
        ctSay(0, "using genDrawMonoImage()\n");
        break;
    case 0x10:
        win.DrawOpaqueMonoImage = genDrawOpaqueMonoImage;
        ctSay(0, "using genDrawOpaqueMonoImage()\n");
        break;
    case 0x20:
        ctSay("can't replace ReadImage()\n", "can't replace ReadImage()\n");
        break;
    case 0x40:
        win.DrawPoints = genDrawPoints;
        ctSay("using genDrawPoints()\n", "using genDrawPoints()\n");
        break;
    case 0x80:
        win.TileRects = genTileRects;
        ctSay(0, "using genTileRects()\n");
        break;
    case 0x100:
        win.DrawMonoGlyphs = genDrawMonoGlyphs;
        ctSay("using genDrawMonoGlyphs()\n", "using genDrawMonoGlyphs()\n");
        break;
    case 0x200:
        win.text.DrawFontText = genDrawFontText;
        ctSay("using genDrawFontText()\n", "using genDrawFontText()\n");
        break;
    case 0x400:
        NAME(SolidPrivOps).FillRects = genSolidFillRects;
        ctSay(0, "using genSolidFillRects()\n");
        break;
    case 0x800:
        NAME(SolidPrivOps).FS = genSolidFS;
        ctSay(0, "using genSolidFS()\n");
        break;
    case 0x1000:
        NAME(SolidPrivOps).slot3.ZeroSegs = genSolidZeroSegs;
        ctSay("using genSolidZeroSegs()\n", "using genSolidZeroSegs()\n");
        break;
    case 0x2000:
        NAME(TiledPrivOps).FillRects = genTiledFillRects;
        ctSay("using genTiledFillRects()\n", "using genTiledFillRects()\n");
        break;
    case 0x4000:
        NAME(TiledPrivOps).FS = genTiledFS;
        ctSay("using genTiledFS()\n", "using genTiledFS()\n");
        break;
    case 0x8000:
        NAME(StippledPrivOps).FillRects = genStippledFillRects;
        ctSay(0, "using genStippledFillRects()\n");
        break;
    case 0x10000:
        NAME(StippledPrivOps).FS = genStippledFS;
        ctSay(0, "using genStippledFS()\n");
        break;
    case 0x20000:
        NAME(OpStippledPrivOps).FillRects = genOpStippledFillRects;
        ctSay("using genOpStippledFillRects()\n", "using genOpStippledFillRects()\n");
        break;
    case 0x40000:
        NAME(OpStippledPrivOps).FS = genOpStippledFS;
        ctSay("using genOpStippledFS()\n", "using genOpStippledFS()\n");
        break;
    case 0x80000:
        win.ValidateWindowGC = NAME(ValidateWindowGCNoWrap);
        NAME(TiledPrivOps).FillRects = genTiledFillRects;
        NAME(TiledPrivOps).FS = genTiledFS;
        NAME(StippledPrivOps).FillRects = genStippledFillRects;
        NAME(StippledPrivOps).FS = genStippledFS;
        NAME(OpStippledPrivOps).FillRects = genOpStippledFillRects;
        NAME(OpStippledPrivOps).FS = genOpStippledFS;
        NAME(WrapGCFlag) = 0;
        ctSay(0, "using CT(ValidateWindowGCNoWrap)()\n");
        ctSay(0, "forcing genTiledFillRects()\n");
        ctSay(0, "forcing genTiledFS()\n");
        ctSay(0, "forcing genStippledFillRects()\n");
        ctSay(0, "forcing genStippledFS()\n");
        ctSay(0, "forcing genOpStippledFillRects()\n");
        ctSay(0, "forcing genOpStippledFS()\n");
        break;
    default:
        break;
    }
}

/* The records are the library's own: what the mask replaces stays replaced
 * for the library's life, and a later generation applies it again. */
void ctProcessOptions(ScreenPtr pScreen, int argc, char **argv) {
#if CT_65550_BUILD
    uint32_t mask = opsFlagVal;
#else
    uint32_t mask = ctTraits.defaultOps;
#endif
    Bool info = 0, text = 0;
    for (int i = 1; i < argc; i++) {
        const char *word = argv[i];
        if (!word || word[0] != '-')
            continue;
        const char *option = word + 1;
        if (ctSameWord(option, "opsflag")) {
            /* The mask word is consumed whatever it looks like. A word that
             * is no hexadecimal number at all leaves the mask as it was. */
            if (i + 1 < argc && argv[i + 1]) {
                Bool converted = 0;
                uint32_t value = atoh(argv[i + 1], &converted);
                if (converted)
                    mask = value;
            }
            i++;
        } else if (ctSameWord(option, "swcurs")) {
            NAME(HardwareCursorFlag) = 0;
        } else if (ctSameWord(option, "info")) {
            info = 1;
        } else if (ctSameWord(option, "init")) {
            NAME(InitOnlyFlag) = 1;
        } else if (ctSameWord(option, "text")) {
            text = 1;
        }
    }
    for (const uint32_t *bit = genOps; *bit; bit++)
        if (mask & *bit)
            ctApplyBit(*bit);
    if (info)
        ctGetInfo();
    if (text) {
        ctDoText(pScreen);
        exit(0);
    }
}

/* ---- The chip report ---- */

void ctGetInfo(void) {
#if CT_65550_BUILD
    uint8_t xr00 = ctReadXR(XR_VERSION), xr01 = ctReadXR(XR_CONFIG);
    if (xr00 != 0x2C || xr01 != 0x10) {
        ErrorF("Warning: Chips 65550/65554 not detected (vendor_id=0x%02x%02x)\n", xr01, xr00);
        return;
    }
    uint8_t xr02 = ctReadXR(XR_DEVICE_LOW), xr03 = ctReadXR(XR_DEVICE_HIGH);
    if ((xr02 != 0xE0 && xr02 != 0xE4) || xr03 != 0) {
        ErrorF("Warning: Chips 65550/65554 not detected (device_id=0x%02x%02x)\n", xr03, xr02);
        return;
    }
    uint8_t revision = ctReadXR(XR_REVISION);
    if (xr02 == 0xE0)
        ErrorF("Chips 65550 Revision %02d ", revision);
    else
        ErrorF("Chips 65554 Revision %02d ", revision);
    const char *bus = (ctReadXR(XR_LINEAR_BASE) & 0x01) ? "PCI Bus" : "VL Bus";
    const char *memory = (ctReadXR(XR_MEMORY_65550) & 0x02) ? "2MB VRAM" : "1MB VRAM";
    ErrorF("%s, %s\n", bus, memory);
#elif CT_IS_6430X
    uint8_t version = ctReadXR(XR_VERSION);
    if ((version >> 4) != 0xB) {
        ErrorF("Warning: C&T 6430x not detected (version register=0x%02x)\n", version);
        return;
    }
    ErrorF("Chips & Technologies 6430x Revision %d\n", version & 0x0F);
    static const char *const memory[] = {"512Kb VRAM, 16-bit Data Path",
                                         "1Mb VRAM, 32-bit Data Path", "2Mb VRAM, 32-bit Data Path",
                                         "?Mb VRAM, ~bit Data Path"};
    uint8_t busCode = ctReadXR(XR_CONFIG) & 0x03;
    const char *bus = busCode == 0   ? "16-bit ISA Bus"
                      : busCode == 3 ? "32-bit Local Bus"
                                     : "?? Bus";
    ErrorF("%s, %s\n", bus, memory[ctReadXR(XR_REVISION) & 0x03]);
#else
    uint8_t version = ctReadXR(XR_VERSION);
    if (version <= 0xDB) {
        ErrorF("Warning: C&T 65548 not detected (version register=0x%02x)\n", version);
        return;
    }
    ErrorF("Chips & Technologies 65548 Revision %d\n", version - 0xDC);
    static const char *const memory[] = {"256KB VRAM", "512KB VRAM", "1MB VRAM", "?Mb VRAM"};
    const char *bus = (ctReadXR(XR_CONFIG) & 0x03) == 3 ? "CPU Direct" : "Unknown Bus";
    ErrorF("%s, %s\n", bus, memory[ctReadXR(XR_MEMORY_65548) & 0x03]);
#endif
}
