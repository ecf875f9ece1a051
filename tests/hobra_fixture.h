// What the hobra tests share: the example boards, the screen private as the
// driver lays it out, the board model, and the engine writes of a trace.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "harness.h"
#include "models/hobra_board.h"
#include "nfb.h"
#include "server.h"

namespace hobratest {

inline const char *const kBoard8 = "ati/hobra/hobra.graf";
inline const char *const kBoard4 = "ati/hobra/hobra4.graf";
inline const char *const kBoardAti = "ati/hobra/hobra-ati.graf";

inline graf::Config board(const char *file = kBoard8) {
    return harness::loadConfig(file);
}

inline harness::Options quiet() {
    return {.reporter = HARNESS_GTEST_REPORTER};
}

// A small screen with the driver's off-screen layout: the planeArea below
// an 8-plane screen (1024 wide), the strip beside a 4-plane one (1024 less
// the screen's width). `file` names another board of the same planes.
inline graf::Config smallBoard(int planes, int width = 128, int height = 64,
                               const char *file = nullptr) {
    graf::Config c = board(file ? file : planes == 8 ? kBoard8 : kBoard4);
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = height;
    if (planes == 8) {
        c.ints["OFFSCRY"] = height;
    } else {
        c.ints["OFFSCRX"] = width;
        c.ints["OFFSCRW"] = 1024 - width;
    }
    return c;
}

// The driver's screen private, field by field.
struct Rect {
    int32_t x, y, width, height;
};
struct Private {
    int32_t width, height;
    int32_t depth;
    int32_t dacShift;
    uint8_t dacSave[768];
    void (*apBlockOut)(uint8_t *, int);
    int16_t cursorMax;
    int16_t saveUnderSize;
    int16_t saveUnderX, saveUnderY;
    int32_t savedX, savedY, savedWidth, savedHeight;
    int16_t cursorBgX, cursorBgY;
    int16_t cursorFgX, cursorFgY;
    CursorPtr currentCursor;
    Rect planeArea;
    Rect tileArea;
    int32_t offscrX, offscrY, offscrWidth, offscrHeight;
    int32_t glClassTotal;
    void *glClasses;
    int32_t bucketCount;
    int32_t bucketGrowth;
    void *buckets;
    Pixel batchFg;
    uint8_t batchAlu;
    uint32_t batchPlanemask;
    int32_t pendingCapacity;
    int32_t pendingCount;
    void *pending;
    GrafinfoHandle grafinfo;
    BoxRec fullClip;
    BoxRec clip;
    int32_t fontSlotCount;
    void *fontSlots;
    uint16_t palWrite, palRead, palData, palMask;
    int32_t waitBeforeData;
    int32_t blanked;
};

// The private index the driver took: the last one the server handed out.
inline int privateIndex() {
    return server::screenPrivateCount() - 1;
}

inline Private &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[privateIndex()].ptr;
    if (!raw)
        throw std::runtime_error("no hobra private");
    return *static_cast<Private *>(raw);
}

inline sim::HobraAdapter &adapter(harness::Screen &s) {
    auto *a = dynamic_cast<sim::HobraAdapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not an ibm8514 board");
    return *a;
}

inline std::vector<int> box(const BoxRec &b) {
    return {b.x1, b.y1, b.x2, b.y2};
}
inline std::vector<int> rect(const Rect &r) {
    return {r.x, r.y, r.width, r.height};
}

inline bool ran(const std::string &procedure) {
    for (const graf::Run &r : graf::runLog())
        if (r.procedure == procedure)
            return true;
    return false;
}

inline bool errorLogged(const std::string &message) {
    for (const std::string &m : server::errorMessages())
        if (m == message)
            return true;
    return false;
}

// The 16-bit port writes of a trace to ports at or above `from` (the
// engine's), in order.
using PortWrite = std::pair<uint16_t, uint16_t>;
inline std::vector<PortWrite> engineWrites(const sim::Trace &t, uint16_t from = 0x4000) {
    std::vector<PortWrite> w;
    for (const sim::Access &a : t.runs())
        if (a.kind == sim::Access::PortOut && a.width == 2 && a.address >= from)
            w.push_back({uint16_t(a.address), uint16_t(a.value)});
    return w;
}

// The byte writes of a trace to one port, in order.
inline std::vector<uint8_t> byteWrites(const sim::Trace &t, uint16_t port) {
    std::vector<uint8_t> w;
    for (const sim::Access &a : t.runs())
        if (a.kind == sim::Access::PortOut && a.width == 1 && a.address == port)
            w.push_back(uint8_t(a.value));
    return w;
}

} // namespace hobratest
