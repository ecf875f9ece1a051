// What the nte tests share: the nine builds, their example boards (1024 x 768
// on 1 MB at 8 bits, 2 MB at 16, 4 MB at 24 in 32-bit pixels), the screen
// private as the family lays it out, and procedure wrappers that change the
// board after the example mode set.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "harness.h"
#include "models/s3_board.h"
#include "nfb.h"
#include "server.h"

namespace ntetest {

enum class Variant { Pravo, Skerl, Tunga };

struct Build {
    const char *name;
    Variant variant;
    int depth;
    int bitsPerPixel;
};

inline const Build kBuilds[] = {
    {"pravo8", Variant::Pravo, 8, 8},    {"pravo16", Variant::Pravo, 16, 16},
    {"pravo24", Variant::Pravo, 24, 32}, {"skerl8", Variant::Skerl, 8, 8},
    {"skerl16", Variant::Skerl, 16, 16}, {"skerl24", Variant::Skerl, 24, 32},
    {"tunga8", Variant::Tunga, 8, 8},    {"tunga16", Variant::Tunga, 16, 16},
    {"tunga24", Variant::Tunga, 24, 32},
};

inline const Build &build(const std::string &name) {
    for (const Build &b : kBuilds)
        if (name == b.name)
            return b;
    throw std::invalid_argument("no nte build " + name);
}

inline std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

inline const char *boardFile(Variant v) {
    switch (v) {
    case Variant::Pravo:
        return "s3/nte/pravo.graf";
    case Variant::Skerl:
        return "s3/nte/skerl.graf";
    default:
        return "s3/nte/tunga.graf";
    }
}

// The build's example board, with the memory and depth its depth needs.
inline graf::Config exampleConfig(const Build &b) {
    graf::Config c = harness::loadConfig(boardFile(b.variant));
    c.ints["DEPTH"] = b.depth;
    c.ints["MEMSIZE"] = b.depth == 8 ? 0x100000 : b.depth == 16 ? 0x200000 : 0x400000;
    if (b.bitsPerPixel == 32)
        c.ints["BITSPERPIXEL"] = 32;
    return c;
}

// The build's board at its smallest mode, 640 x 48 on 1 MB: drawing tests
// compare a small screen. The video BIOS gives the lines below it as the
// OffScreenArea.
inline graf::Config smallConfig(const Build &b, int height = 48) {
    graf::Config c = exampleConfig(b);
    c.ints["PIXWIDTH"] = 640;
    c.ints["PIXHEIGHT"] = height;
    c.ints["MEMSIZE"] = 0x100000;
    return c;
}

// "SetGraphics" becomes the example mode set followed by `after` (procedure
// language), so a test can leave the board as a BIOS or another mode would.
inline void afterModeSet(graf::Config &c, const std::string &after) {
    graf::Builder g;
    g.config() = c;
    g.config().procedures["ExampleModeSet"] = c.procedures.at("SetGraphics");
    g.procedure("SetGraphics", "call ExampleModeSet\n" + after + "\nresult = 1\n");
    c = g.build();
}

// ---- the screen private ----

// The fields every build has, after the variant's head.
#define NTE_TEST_PRIVATE_TAIL                                                                      \
    int32_t dacShift;                                                                              \
    int32_t width, height, depth;                                                                  \
    int32_t osX, osY, osWidth, osHeight;                                                           \
    int32_t scratchX, scratchY, scratchWidth, scratchHeight;                                       \
    int32_t fontSlotCount;                                                                         \
    void *fontSlots;                                                                               \
    int32_t clipRight, clipBottom;                                                                 \
    int32_t cursorLine;                                                                            \
    uint16_t crtcDataPort, crtcIndexPort;                                                          \
    int32_t cursorHotX, cursorHotY;                                                                \
    CursorPtr currentCursor;                                                                       \
    uint8_t cursorFgIndex, cursorBgIndex;                                                          \
    int32_t pixTransExtBug;

struct PravoPrivate {
    uint8_t *memBase;
    int32_t pitch;
    NTE_TEST_PRIVATE_TAIL
};
struct SkerlPrivate {
    NTE_TEST_PRIVATE_TAIL
};
struct TungaPrivate {
    uint8_t *memBase;
    NTE_TEST_PRIVATE_TAIL
};

// What the tests read of a private, whatever the variant.
struct Private {
    uint8_t *memBase = nullptr;
    int32_t pitch = 0;
    int32_t dacShift, width, height, depth;
    int32_t osX, osY, osWidth, osHeight;
    int32_t scratchX, scratchY, scratchWidth, scratchHeight;
    int32_t fontSlotCount;
    const void *fontSlots = nullptr;
    int32_t clipRight, clipBottom, cursorLine;
    uint16_t crtcDataPort, crtcIndexPort;
    int32_t cursorFgIndex, cursorBgIndex;
    CursorPtr currentCursor = nullptr;
    int32_t pixTransExtBug;
};

// One text font slot as the family lays it out: the plane that holds the
// font and the top-left pixel of each code's 16 x 16 cell.
struct FontSlot {
    uint32_t planeMask;
    struct {
        uint16_t x, y;
    } cells[256];
};

inline const FontSlot &fontSlot(const Private &p, int slot) {
    return static_cast<const FontSlot *>(p.fontSlots)[slot];
}

template <class P> Private copyTail(const P &p) {
    Private o;
    o.dacShift = p.dacShift;
    o.width = p.width;
    o.height = p.height;
    o.depth = p.depth;
    o.osX = p.osX;
    o.osY = p.osY;
    o.osWidth = p.osWidth;
    o.osHeight = p.osHeight;
    o.scratchX = p.scratchX;
    o.scratchY = p.scratchY;
    o.scratchWidth = p.scratchWidth;
    o.scratchHeight = p.scratchHeight;
    o.fontSlotCount = p.fontSlotCount;
    o.fontSlots = p.fontSlots;
    o.cursorFgIndex = p.cursorFgIndex;
    o.cursorBgIndex = p.cursorBgIndex;
    o.currentCursor = p.currentCursor;
    o.clipRight = p.clipRight;
    o.clipBottom = p.clipBottom;
    o.cursorLine = p.cursorLine;
    o.crtcDataPort = p.crtcDataPort;
    o.crtcIndexPort = p.crtcIndexPort;
    o.pixTransExtBug = p.pixTransExtBug;
    return o;
}

// The private index the driver took: the last one the server handed out.
inline int privateIndex() {
    return server::screenPrivateCount() - 1;
}

inline Private privateOf(harness::Screen &s, Variant v) {
    void *raw = s.screen()->devPrivates[privateIndex()].ptr;
    if (!raw)
        throw std::runtime_error("no nte private");
    switch (v) {
    case Variant::Pravo: {
        const auto *p = static_cast<const PravoPrivate *>(raw);
        Private o = copyTail(*p);
        o.memBase = p->memBase;
        o.pitch = p->pitch;
        return o;
    }
    case Variant::Skerl:
        return copyTail(*static_cast<const SkerlPrivate *>(raw));
    default: {
        const auto *p = static_cast<const TungaPrivate *>(raw);
        Private o = copyTail(*p);
        o.memBase = p->memBase;
        return o;
    }
    }
}

inline sim::S3Adapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<sim::S3Adapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not an s3 adapter");
    return *a;
}

// A pixel of video memory anywhere the engine reaches (off the screen too),
// at the engine's line length and pixel size.
inline uint32_t vramPixel(harness::Screen &s, int x, int y) {
    sim::S3EngineCore &e = board(s).engine();
    const int bytes = e.pixelBits() / 8;
    const uint8_t *p =
        board(s).vram()->data() + (size_t(y) * e.linePixels() + size_t(x)) * size_t(bytes);
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

inline bool ran(const std::string &procedure) {
    for (const graf::Run &r : graf::runLog())
        if (r.procedure == procedure)
            return true;
    return false;
}

} // namespace ntetest
