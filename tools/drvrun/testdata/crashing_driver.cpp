// A library that looks like a driver but dies in its Probe, as a broken
// driver can: drvrun must report it and go on.
#include <cstdlib>

#include "driver.h"

namespace {

Bool crashingProbe(int, ScreenConfig *) {
    std::abort();
}

Bool crashingInit(int, ScreenPtr, int, char **) {
    return 0;
}

} // namespace

extern "C" {
DRV_EXPORT ScreenInfo crashingScreenInfo = {crashingProbe, crashingInit, "crashing", {}};
}
