// The final screen as a picture a person can look at.
#pragma once

#include <string>

#include "refrender.h"
#include "x11.h"

namespace drvrun {

// Writes `screen` as an 8-bit RGB PNG. Pixels are decoded with the screen's
// first visual: TrueColor by its masks, PseudoColor (or no visual) through
// the 3-3-2 palette the runner loads. False with `error` set on failure.
bool writePng(const std::string &path, const ref::Canvas &screen, const VisualRec *visual,
              std::string &error);

} // namespace drvrun
