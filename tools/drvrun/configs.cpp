#include "configs.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
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

// An integer as a grafinfo file writes it: decimal or 0x hexadecimal, with an
// optional minus sign, in 32 bits (0xFFFFFFFF is -1, as in the file).
bool integerValue(const std::string &text, int &out) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i += negative;
    int base = 10;
    if (text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    uint64_t v = 0;
    for (; i < text.size(); i++) {
        const int c = std::tolower(static_cast<unsigned char>(text[i]));
        int digit = c >= '0' && c <= '9'                 ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                         : -1;
        if (digit < 0)
            return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (v > 0xFFFFFFFFu)
            return false;
    }
    if (negative && v > 0x80000000u)
        return false;
    const uint32_t bits = static_cast<uint32_t>(negative ? 0u - v : v);
    out = static_cast<int>(static_cast<int32_t>(bits));
    return true;
}

} // namespace

bool wellFormedSetting(const std::string &setting, std::string &error) {
    const size_t eq = setting.find('=');
    const std::string key = setting.substr(0, eq);
    const bool keyOk = !key.empty() && !std::isdigit(static_cast<unsigned char>(key[0])) &&
                       std::all_of(key.begin(), key.end(), [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                       });
    if (eq != std::string::npos && keyOk)
        return true;
    error = "\"" + setting + "\" is not KEY=VALUE with KEY a grafinfo key";
    return false;
}

bool applySettings(const std::vector<std::string> &settings, graf::Config &cfg,
                   std::string &error) {
    for (const std::string &setting : settings) {
        if (!wellFormedSetting(setting, error))
            return false;
        const size_t eq = setting.find('=');
        const std::string key = setting.substr(0, eq), value = setting.substr(eq + 1);
        int number = 0;
        if (cfg.strings.count(key)) {
            cfg.strings[key] = value;
        } else if (integerValue(value, number)) {
            cfg.ints[key] = number;
        } else if (cfg.ints.count(key)) {
            error =
                setting + ": " + key + " is an integer key, \"" + value + "\" is not an integer";
            return false;
        } else {
            cfg.strings[key] = value;
        }
    }
    return true;
}

std::vector<std::string> adaptersOf(const std::string &driver) {
    std::vector<std::string> adapters;
    const DefaultConfig *d = defaultConfigFor(driver);
    if (!d)
        return adapters;
    const std::string path = d->path;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (const EmbeddedConfig *c = embeddedConfigs(); c->path; c++) {
        const std::string other = c->path;
        if (other.compare(0, folder.size(), folder) != 0 ||
            other.find('/', folder.size()) != std::string::npos)
            continue;
        graf::Config cfg;
        std::string ignored;
        if (graf::parse(std::string(c->text, c->size), c->path, cfg, ignored) &&
            !cfg.adapter.empty() &&
            std::find(adapters.begin(), adapters.end(), cfg.adapter) == adapters.end())
            adapters.push_back(cfg.adapter);
    }
    std::sort(adapters.begin(), adapters.end());
    return adapters;
}

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
