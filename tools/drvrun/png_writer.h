// The final screen as a picture a person can look at.
#pragma once

#include <cstdio>
#include <string>

#include "refrender.h"
#include "x11.h"

namespace drvrun {

// Writes `screen` to `file` as an 8-bit RGB PNG. Pixels are decoded with the
// screen's first visual: TrueColor by its masks, PseudoColor (or no visual)
// through the 3-3-2 palette the runner loads. False with libpng's message in
// `error` when libpng gave up (a write that failed among them); the caller
// flushes and closes the file, and checks that too.
bool writePng(FILE *file, const ref::Canvas &screen, const VisualRec *visual, std::string &error);

} // namespace drvrun
