// The configurations drvrun knows without a file: every example grafinfo file
// of the source tree, embedded at build time, and which of them each driver
// comes up on by default.
#pragma once

#include <cstddef>
#include <string>

#include "grafstore.h"

namespace drvrun {

// One embedded example file; `path` is relative to the source tree.
struct EmbeddedConfig {
    const char *path;
    const char *text;
    size_t size;
};

// A driver's default: the example file and integer keys it replaces
// ("KEY=VALUE KEY=VALUE", possibly empty).
struct DefaultConfig {
    const char *driver;
    const char *path;
    const char *overrides;
};

// Both tables end with an entry whose first field is null (generated source).
const EmbeddedConfig *embeddedConfigs();
const DefaultConfig *defaultConfigs();

// Null when the driver has no default configuration.
const DefaultConfig *defaultConfigFor(const std::string &driver);

// "cirrus/gd5436/gd5480.graf DEPTH=16": what a default is, for people.
std::string describe(const DefaultConfig &);

// Parses the driver's default configuration and applies its overrides. False
// with `error` set when there is none or it does not parse.
bool loadDefaultConfig(const std::string &driver, graf::Config &out, std::string &error);

// Parses a grafinfo file. False with `error` set to one line: "FILE: why"
// (it cannot be opened, is not a regular file, or is too large) or
// "FILE:LINE: why".
bool loadConfigFile(const std::string &path, graf::Config &out, std::string &error);

} // namespace drvrun
