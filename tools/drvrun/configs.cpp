#include "configs.h"

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

} // namespace

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
