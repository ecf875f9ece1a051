// The Matrox driver's tests: its example boards, the driver built on the
// scripted chip layer (quarn_script.h) and a way into its screen private.
#pragma once

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>

#include "grafstore.h"
#include "harness.h"
#include "models/mga_board.h"
#include "quarn.h"
#include "quarn_script.h"

namespace quarntest {

constexpr uint32_t kMB = 0x100000;

inline graf::Config board(const char *name) {
    return harness::loadConfig(std::string("matrox/quarn/") + name + ".graf");
}

// A screen of the scripted library. The script is reset before anything
// runs; set it up, then start() the screen.
struct Scripted {
    explicit Scripted(const graf::Config &cfg, int pitchBytes = 0, uint32_t screenOffset = 0)
        : screen(QUARN_SCRIPTED_LIB, cfg, options(pitchBytes, screenOffset)) {
        void *lib = dlopen(QUARN_SCRIPTED_LIB, RTLD_NOW | RTLD_NOLOAD);
        script = lib ? static_cast<QuarnScript *>(dlsym(lib, "quarnScript")) : nullptr;
        if (lib)
            dlclose(lib);
        if (script)
            *script = QuarnScript{};
    }
    static harness::Options options(int pitchBytes, uint32_t screenOffset) {
        harness::Options o;
        o.pitch = pitchBytes;
        o.screenOffset = screenOffset;
        return o;
    }
    sim::MgaBoard &mga() { return *dynamic_cast<sim::MgaBoard *>(screen.adapter()); }
    // The private, through the board handle the chip layer was given.
    quarnScreenPrivate *priv() const {
        for (int i = 0; script && i < script->logged; i++)
            if (script->log[i].board)
                return static_cast<quarnScreenPrivate *>(script->log[i].board->ulClientPrivate);
        return nullptr;
    }
    // The n-th call of an entry point (its ModeInfo), or null.
    const QuarnScriptCall *call(QuarnScriptEntry entry, int n = 0) const {
        for (int i = 0; i < script->logged; i++)
            if (script->log[i].entry == entry && n-- == 0)
                return &script->log[i];
        return nullptr;
    }

    harness::Screen screen;
    QuarnScript *script = nullptr;
};

} // namespace quarntest
