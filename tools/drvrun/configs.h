// The configurations drvrun knows without a file: every example grafinfo
// file and procedure file of the source tree and every driver table
// (<family>/<source>/drivers.txt), embedded at build time; the tables say
// which boards each driver comes up on, and which is its default.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "drivertable.h"
#include "grafstore.h"

namespace drvrun {

// One embedded file; `path` is relative to the source tree.
struct EmbeddedConfig {
    const char *path;
    const char *text;
    size_t size;
};

// Both lists end with an entry whose path is null (generated source).
const EmbeddedConfig *embeddedConfigs();
const EmbeddedConfig *embeddedTables();

// The embedded driver tables, parsed and checked once. When they are not
// sound (a build fault), the table is empty and `tableError()` says why in
// one line.
const drivertable::Table &table();
const std::string &tableError();

// The board drvrun runs `driver` on: `board` by its name (as in
// "pilo/512k", without the driver), or the default when `board` is empty.
// Null when there is none.
const drivertable::Board *boardFor(const std::string &driver, const std::string &board);

// Parses a board's configuration from the embedded files. False with
// `error` set when it does not parse.
bool loadBoardConfig(const drivertable::Board &, graf::Config &out, std::string &error);

// Whether `setting` has the form KEY=VALUE with KEY a grafinfo key name.
// False with `error`.
bool wellFormedSetting(const std::string &setting, std::string &error);

// Changes keys of a configuration, "KEY=VALUE" each, in order: an integer
// value (decimal, 0x hexadecimal, negative) sets the integer key, any other
// value a string key; a key the file has as a string stays a string. False
// with `error` for a value an integer key cannot take.
bool applySettings(const std::vector<std::string> &settings, graf::Config &cfg, std::string &error);

// The adapters a driver drives, as its line in the driver tables names them,
// sorted. Empty when the tables do not name the driver.
std::vector<std::string> adaptersOf(const std::string &driver);

// Parses a grafinfo file. False with `error` set to one line: "FILE: why"
// (it cannot be opened, is not a regular file, or is too large) or
// "FILE:LINE: why".
bool loadConfigFile(const std::string &path, graf::Config &out, std::string &error);

} // namespace drvrun
