// The configurations drvrun knows without a file: every example grafinfo file
// of the source tree, embedded at build time, and which of them each driver
// comes up on by default.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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

// Whether `setting` has the form KEY=VALUE with KEY a grafinfo key name.
// False with `error`.
bool wellFormedSetting(const std::string &setting, std::string &error);

// Changes keys of a configuration, "KEY=VALUE" each, in order: an integer
// value (decimal, 0x hexadecimal, negative) sets the integer key, any other
// value a string key; a key the file has as a string stays a string. False
// with `error` for a value an integer key cannot take.
bool applySettings(const std::vector<std::string> &settings, graf::Config &cfg, std::string &error);

// The adapters a driver drives: those of the example boards beside its
// source (the folder of its default board), sorted. Empty when the driver
// has no default board.
std::vector<std::string> adaptersOf(const std::string &driver);

// Parses a grafinfo file. False with `error` set to one line: "FILE: why"
// (it cannot be opened, is not a regular file, or is too large) or
// "FILE:LINE: why".
bool loadConfigFile(const std::string &path, graf::Config &out, std::string &error);

} // namespace drvrun
