#include "configs.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace drvrun {

namespace {

const EmbeddedConfig *embeddedConfig(const std::string &path) {
    for (const EmbeddedConfig *c = embeddedConfigs(); c->path; c++)
        if (path == c->path)
            return c;
    return nullptr;
}

struct Parsed {
    drivertable::Table table;
    std::string error;
};

const Parsed &parsed() {
    static const Parsed p = [] {
        Parsed out;
        for (const EmbeddedConfig *t = embeddedTables(); t->path; t++)
            if (!drivertable::parse(std::string(t->text, t->size), t->path, out.table, out.error))
                break;
        if (out.error.empty())
            drivertable::check(out.table, out.error);
        if (!out.error.empty())
            out.table = drivertable::Table{};
        return out;
    }();
    return p;
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
    const drivertable::Driver *d = table().driver(driver);
    if (!d)
        return {};
    std::vector<std::string> adapters = d->adapters;
    std::sort(adapters.begin(), adapters.end());
    return adapters;
}

const drivertable::Table &table() {
    return parsed().table;
}

const std::string &tableError() {
    return parsed().error;
}

const drivertable::Board *boardFor(const std::string &driver, const std::string &board) {
    return board.empty() ? table().defaultBoard(driver) : table().board(driver + "/" + board);
}

bool loadBoardConfig(const drivertable::Board &b, graf::Config &out, std::string &error) {
    auto read = [](const std::string &path, std::string &text, std::string &why) {
        const EmbeddedConfig *c = embeddedConfig(path);
        if (!c) {
            why = path + " was not embedded";
            return false;
        }
        text.assign(c->text, c->size);
        return true;
    };
    return drivertable::configOf(b, read, out, error);
}

bool loadConfigFile(const std::string &path, graf::Config &out, std::string &error) {
    out = graf::Config{};
    // The store reads only a regular file of bounded size: a directory, a
    // pipe or a device is refused before anything is read from it.
    return graf::load(path, out, error);
}

} // namespace drvrun
