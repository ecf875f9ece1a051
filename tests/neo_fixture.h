// What the neo tests share: the example boards at other sizes and depths,
// the screen private as the driver lays it out, the driver's exported
// records, and the builds on both engines.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grafstore.h"
#include "harness.h"
#include "models/neomagic.h"
#include "server.h"

namespace neotest {

using sim::NeoAdapter;

// The screen private, field by field as the driver has it.
struct Private {
    uint8_t *fbBase;
    uint8_t *regBase;
    int32_t width, height, pitch;
    uint8_t cursorImage[1024], cursorBlank[1024], cursorShifted[1024];
    int32_t hotX, hotY;
    uint32_t cursorAddrCode;
    int32_t lastShiftX, lastShiftY;
    uint8_t *cursorMem;
    uint32_t cursorRegs;
    int32_t internDisp, externDisp;
    uint32_t savedGR20, bltFlags, blitMode;
};

inline Private &privateOf(harness::Screen &s) {
    void *raw = s.screen()->devPrivates[server::screenPrivateCount() - 1].ptr;
    if (!raw)
        throw std::runtime_error("no neo private");
    return *static_cast<Private *>(raw);
}

inline NeoAdapter &board(harness::Screen &s) {
    auto *a = dynamic_cast<NeoAdapter *>(s.adapter());
    if (!a)
        throw std::runtime_error("not a neomagic adapter");
    return *a;
}

// A name the loaded driver exports (null when it does not).
inline void *symbol(const std::string &driver, const std::string &name) {
    void *h = dlopen(harness::driverPath(driver).c_str(), RTLD_NOW | RTLD_NOLOAD);
    void *p = h ? dlsym(h, name.c_str()) : nullptr;
    if (h)
        dlclose(h);
    return p;
}

inline harness::Options gtestOptions() {
    harness::Options o;
    o.reporter = HARNESS_GTEST_REPORTER;
    return o;
}

enum class Engine { E209X, E2200 };

inline const char *boardFile(Engine e) {
    return e == Engine::E2200 ? "yssen-2200.graf" : "yssen-209x.graf";
}

inline graf::Config config(Engine e, int depth, int width, int height) {
    graf::Config c = harness::loadConfig(std::string("portable/neo/") + boardFile(e));
    c.ints["DEPTH"] = depth;
    c.ints["PIXWIDTH"] = width;
    c.ints["PIXHEIGHT"] = height;
    return c;
}

inline const char *driverFor(int depth) {
    return depth == 16 ? "yssen16" : "yssen8";
}

// A build on an engine: the pixel tests run every pair.
struct Build {
    int depth;
    Engine engine;
};

inline std::string nameOf(const Build &b) {
    return std::string(driverFor(b.depth)) + (b.engine == Engine::E2200 ? "On2200" : "On209X");
}

inline std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return nameOf(info.param);
}

inline void PrintTo(const Build &b, std::ostream *os) {
    *os << nameOf(b);
}

inline const Build kBuilds[] = {
    {8, Engine::E209X}, {16, Engine::E209X}, {8, Engine::E2200}, {16, Engine::E2200}};

// The narrowest screen the engines have a line length for, a few rows high.
inline std::unique_ptr<harness::Screen> startScreen(const Build &b, int height = 24,
                                                    int width = 640) {
    auto s = std::make_unique<harness::Screen>(
        driverFor(b.depth), config(b.engine, b.depth, width, height), gtestOptions());
    EXPECT_TRUE(s->start()) << s->failureText();
    return s;
}

// A record the build exports, by the name after the build's prefix.
template <class T> T *record(const harness::Screen &s, int depth, const std::string &name) {
    (void)s;
    return static_cast<T *>(symbol(driverFor(depth), driverFor(depth) + name));
}

} // namespace neotest
