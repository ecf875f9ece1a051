#include "drivertable.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

namespace drivertable {

namespace {

bool isName(const std::string &s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    });
}

bool isIdentifier(const std::string &s) {
    return !s.empty() && !std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::all_of(s.begin(), s.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}

// A decimal, 0x hexadecimal or negative integer that fits an int.
bool parseInt(const std::string &s, int &out) {
    if (s.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > static_cast<long long>(UINT_MAX))
        return false;
    // Hexadecimal values up to 0xFFFFFFFF are bit patterns, as in grafinfo.
    out = static_cast<int>(static_cast<unsigned int>(v));
    return true;
}

std::vector<std::string> split(const std::string &s, char sep) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(s);
    while (std::getline(in, item, sep))
        out.push_back(item);
    return out;
}

std::string directoryOf(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// A file the table names: in its own directory, never above it.
bool isLocalFile(const std::string &s) {
    return isName(s) && s.find("..") == std::string::npos;
}

} // namespace

std::string Board::describe() const {
    std::string s = file;
    if (!keyText.empty())
        s += " " + keyText;
    if (!procedures.empty())
        s += " +" + procedures.substr(directoryOf(procedures).size());
    if (!serverArgText.empty())
        s += " " + serverArgText;
    return s;
}

const Driver *Table::driver(const std::string &name) const {
    for (const Driver &d : drivers)
        if (d.name == name)
            return &d;
    return nullptr;
}

const Board *Table::board(const std::string &id) const {
    for (const Board &b : boards)
        if (b.id == id)
            return &b;
    return nullptr;
}

const Board *Table::defaultBoard(const std::string &name) const {
    for (const Board &b : boards)
        if (b.driver == name && b.isDefault)
            return &b;
    return nullptr;
}

std::vector<const Board *> Table::runBoards(const std::string &name) const {
    std::vector<const Board *> out;
    if (const Board *d = defaultBoard(name))
        out.push_back(d);
    for (const Board &b : boards)
        if (b.driver == name && b.run && !b.isDefault)
            out.push_back(&b);
    return out;
}

bool parse(const std::string &text, const std::string &path, Table &into, std::string &error) {
    const std::string dir = directoryOf(path);
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        number++;
        const std::string where = path + ":" + std::to_string(number);
        auto fail = [&](const std::string &why) {
            error = where + ": " + why;
            return false;
        };
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream in(line);
        std::vector<std::string> f;
        for (std::string w; in >> w;)
            f.push_back(w);
        if (f.empty())
            continue;
        if (f[0] == "driver") {
            if (f.size() < 3)
                return fail("want: driver NAME ADAPTER[,ADAPTER...] [EXPORT ...]");
            Driver d{f[1], split(f[2], ','), {}, where};
            if (!isIdentifier(d.name))
                return fail("\"" + d.name + "\" is not a driver name");
            for (const std::string &a : d.adapters)
                if (!isName(a))
                    return fail("\"" + f[2] + "\" is not a list of adapter models");
            for (size_t i = 3; i < f.size(); i++) {
                if (!isIdentifier(f[i]))
                    return fail("\"" + f[i] + "\" is not an exported name");
                d.exports.push_back(f[i]);
            }
            into.drivers.push_back(std::move(d));
            continue;
        }
        static const std::map<std::string, std::pair<bool, bool>> kRoles = {
            // role: default, fuzz
            {"default", {true, false}},     {"board", {false, false}},     {"fuzz", {false, true}},
            {"default,fuzz", {true, true}}, {"board,fuzz", {false, true}},
        };
        auto role = kRoles.find(f[0]);
        if (role == kRoles.end())
            return fail("\"" + f[0] + "\" is no statement (driver, default, board or fuzz)");
        if (f.size() < 3)
            return fail("want: " + f[0] +
                        " DRIVER/BOARD FILE [KEY=VALUE ...] [-OPTION[=WORD] ...] [+PROCEDURES]");
        Board b;
        b.id = f[1];
        b.isDefault = role->second.first;
        b.run = f[0] != "fuzz";
        b.fuzz = role->second.second;
        b.where = where;
        size_t slash = b.id.find('/');
        if (slash == std::string::npos || !isIdentifier(b.id.substr(0, slash)) ||
            !isName(b.id.substr(slash + 1)))
            return fail("\"" + b.id + "\" is not DRIVER/BOARD");
        b.driver = b.id.substr(0, slash);
        if (!isLocalFile(f[2]))
            return fail("\"" + f[2] + "\" is not a file beside the table");
        b.file = dir + f[2];
        for (size_t i = 3; i < f.size(); i++) {
            if (f[i][0] == '-') {
                // A server option word, its argument joined by '='.
                size_t eq = f[i].find('=');
                if (f[i].size() < 2 || eq == 1 || eq + 1 == f[i].size())
                    return fail("\"" + f[i] + "\" is not -OPTION or -OPTION=WORD");
                b.serverArgs.push_back(f[i].substr(0, eq));
                if (eq != std::string::npos)
                    b.serverArgs.push_back(f[i].substr(eq + 1));
                b.serverArgText += (b.serverArgText.empty() ? "" : " ") + f[i];
                continue;
            }
            if (f[i][0] == '+') {
                if (!b.procedures.empty() || i + 1 != f.size() || !isLocalFile(f[i].substr(1)))
                    return fail("\"" + f[i] + "\": one +PROCEDURES file, last");
                b.procedures = dir + f[i].substr(1);
                continue;
            }
            size_t eq = f[i].find('=');
            int value = 0;
            if (eq == std::string::npos || !isIdentifier(f[i].substr(0, eq)) ||
                !parseInt(f[i].substr(eq + 1), value))
                return fail("\"" + f[i] + "\" is not KEY=VALUE with an integer value");
            b.keys.emplace_back(f[i].substr(0, eq), value);
            b.keyText += (b.keyText.empty() ? "" : " ") + f[i];
        }
        into.boards.push_back(std::move(b));
    }
    return true;
}

bool check(const Table &t, std::string &error) {
    std::map<std::string, const Driver *> drivers;
    for (const Driver &d : t.drivers) {
        auto [it, fresh] = drivers.emplace(d.name, &d);
        if (!fresh) {
            error = d.where + ": driver " + d.name + " is already at " + it->second->where;
            return false;
        }
    }
    std::map<std::string, const Board *> ids, defaults;
    for (const Board &b : t.boards) {
        auto [it, fresh] = ids.emplace(b.id, &b);
        if (!fresh) {
            error = b.where + ": " + b.id + " is already at " + it->second->where;
            return false;
        }
        auto d = drivers.find(b.driver);
        if (d == drivers.end() || directoryOf(d->second->where) != directoryOf(b.where)) {
            error = b.where + ": " + b.id + ": no driver " + b.driver + " in this table";
            return false;
        }
        if (b.isDefault) {
            auto [other, first] = defaults.emplace(b.driver, &b);
            if (!first) {
                error = b.where + ": " + b.id + ": " + b.driver + " has its default at " +
                        other->second->where;
                return false;
            }
        }
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> sourceTreeFiles() {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string root = DRV_SOURCE_DIR;
    auto subdirectories = [](const std::string &dir) {
        std::vector<std::string> names;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                struct stat st {};
                // Build trees inside the source tree are no driver families.
                if (n[0] == '.' || n.rfind("build", 0) == 0 || n == "out")
                    continue;
                if (stat((dir + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    names.push_back(n);
            }
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const std::string &family : subdirectories(root))
        for (const std::string &source : subdirectories(root + "/" + family)) {
            const std::string rel = family + "/" + source + "/drivers.txt";
            std::ifstream in(root + "/" + rel, std::ios::binary);
            if (in)
                out.emplace_back(rel, std::string(std::istreambuf_iterator<char>(in),
                                                  std::istreambuf_iterator<char>()));
        }
    return out;
}

const Table &sourceTree() {
    static const Table table = [] {
        Table t;
        std::string error;
        for (const auto &[path, text] : sourceTreeFiles())
            if (!parse(text, path, t, error))
                throw std::runtime_error(error);
        if (!check(t, error))
            throw std::runtime_error(error);
        return t;
    }();
    return table;
}

Reader sourceTreeReader() {
    return [](const std::string &path, std::string &text, std::string &error) {
        std::ifstream in(std::string(DRV_SOURCE_DIR) + "/" + path, std::ios::binary);
        if (!in) {
            error = path + ": cannot open file";
            return false;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return true;
    };
}

bool configOf(const Board &b, const Reader &read, graf::Config &out, std::string &error) {
    std::string text;
    graf::Config cfg;
    if (!read(b.file, text, error) || !graf::parse(text, b.file, cfg, error)) {
        error = b.id + ": " + error;
        return false;
    }
    for (const auto &[key, value] : b.keys)
        cfg.ints[key] = value;
    if (!b.procedures.empty()) {
        graf::Config more;
        if (!read(b.procedures, text, error) || !graf::parse(text, b.procedures, more, error)) {
            error = b.id + ": " + error;
            return false;
        }
        for (auto &[name, code] : more.procedures)
            cfg.procedures[name] = code;
    }
    out = std::move(cfg);
    return true;
}

} // namespace drivertable
