#include "configs.h"

#include <sstream>

namespace drvrun {

namespace {

const EmbeddedConfig *embeddedConfig(const std::string &path) {
    for (const EmbeddedConfig *c = embeddedConfigs(); c->path; c++)
        if (path == c->path)
            return c;
    return nullptr;
}

// The table's values were checked when it was embedded; a bad one here would
// be a build fault, so it is reported rather than ignored.
bool applyOverrides(const std::string &overrides, graf::Config &cfg, std::string &error) {
    std::istringstream in(overrides);
    for (std::string item; in >> item;) {
        size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0) {
            error = "bad default override \"" + item + "\"";
            return false;
        }
        try {
            cfg.ints[item.substr(0, eq)] = std::stoi(item.substr(eq + 1), nullptr, 0);
        } catch (const std::exception &) {
            error = "bad default override \"" + item + "\"";
            return false;
        }
    }
    return true;
}

} // namespace

const DefaultConfig *defaultConfigFor(const std::string &driver) {
    for (const DefaultConfig *d = defaultConfigs(); d->driver; d++)
        if (driver == d->driver)
            return d;
    return nullptr;
}

std::string describe(const DefaultConfig &d) {
    std::string s = d.path;
    if (d.overrides && *d.overrides)
        s += std::string(" ") + d.overrides;
    return s;
}

bool loadDefaultConfig(const std::string &driver, graf::Config &out, std::string &error) {
    const DefaultConfig *d = defaultConfigFor(driver);
    if (!d) {
        error = driver + " has no default configuration; give one with --config FILE";
        return false;
    }
    const EmbeddedConfig *c = embeddedConfig(d->path);
    if (!c) {
        error = std::string("the default configuration ") + d->path + " was not embedded";
        return false;
    }
    out = graf::Config{};
    if (!graf::parse(std::string(c->text, c->size), d->path, out, error))
        return false;
    return applyOverrides(d->overrides, out, error);
}

bool loadConfigFile(const std::string &path, graf::Config &out, std::string &error) {
    out = graf::Config{};
    // The store reads only a regular file of bounded size: a directory, a
    // pipe or a device is refused before anything is read from it.
    return graf::load(path, out, error);
}

} // namespace drvrun
