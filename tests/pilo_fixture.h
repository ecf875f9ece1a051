// What the pilo tests share: boards for each row of the driver's layout
// table (memory, depth, the engine geometry the mode leaves), the screen
// private as the driver lays it out, and small screens for pixel tests.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "harness.h"
#include "models/pilo_board.h"
#include "nfb.h"
#include "server.h"

namespace pilotest {

// The engine geometry a mode of this memory and depth leaves.
struct Geometry {
    int line, bits, byteHalves;
};

inline Geometry geometryFor(int memoryKB, int depth, int width) {
    if (depth == 16)
        return {2048, 8, 1};
    if (depth == 4)
        return {memoryKB == 512 ? 1024 : 2048, 4, 0};
    if (memoryKB == 2048 && width > 1024)
        return {1280, 8, 0};
    return {1024, 8, 0};
}

// The example board with the memory, depth and screen size given, and the
// engine geometry that goes with them.
inline graf::Config boardConfig(int memoryKB, int depth, int width, int height,
                                const char *file = "s3/pilo/pilo.graf") {
    graf::Config c = harness::loadConfig(file);
    c.ints["MEMSIZE"] = memoryKB * 1024;
    c.ints["DEPTH"] = depth;
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = height;
    Geometry g = geometryFor(memoryKB, depth, width);
    c.ints["ENGINELINE"] = g.line;
    c.ints["ENGINEBITS"] = g.bits;
    c.ints["BYTEHALVES"] = g.byteHalves;
    return c;
}

// A small screen of the depth on 1 MB, for pixel tests.
inline graf::Config smallConfig(int depth, int width = 80, int height = 24) {
    return boardConfig(1024, depth, width, height);
}

inline std::string depthName(const ::testing::TestParamInfo<int> &info) {
    return "Depth" + std::to_string(info.param);
}

// ---- the screen private, field by field as the driver has it ----

struct Area {
    int32_t x, y, width, height;
};

struct Private {
    int32_t width, height, depth;
    int32_t dacShift;
    int32_t statusPort, crtcIndexPort, crtcDataPort;
    int32_t modeAssist, adjustCR13;
    int32_t memoryKB;
    int32_t textDacOn, graphicsShown;
    int32_t softwareCursor;
    int16_t interlaced, cursorHotX, cursorHotY;
    uint16_t cursorAddress;
    Area cursorArea;
    xColorItem cursorFgItem, cursorBgItem;
    ColormapPtr cursorCmap;
    CursorPtr currentCursor;
    CursorPtr spriteCursor;
    int32_t spriteWidth, spriteHeight;
    int16_t saveUnderX, saveUnderY;
    int16_t spriteFgX, spriteFgY, spriteBgX, spriteBgY;
    Area glyphArea, tileArea;
    int32_t glPlaneCount;
    void *glPlaneLists;
    int32_t glBucketCount, glBucketGrow;
    void *glBuckets;
    GrafinfoHandle grafinfo;
    int16_t clipRight, clipBottom;
    void *savedQueryBestSize;
    void *memBase;
    uint32_t memLength;
};

// The private index the driver took: the last one the server handed out.
inline int privateIndex() {
    return server::screenPrivateCount() - 1;
}

inline const Private &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[privateIndex()].ptr;
    if (!raw)
        throw std::runtime_error("no pilo private");
    return *static_cast<const Private *>(raw);
}

inline sim::PiloAdapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<sim::PiloAdapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not an s3_pilo adapter");
    return *a;
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

} // namespace pilotest
