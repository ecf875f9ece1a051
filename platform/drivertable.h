// The driver table: for every driver build, the adapter models it drives,
// the names its library exports besides its ScreenInfo, and the example
// boards it comes up on. Each driver source keeps its part in a file
// `drivers.txt` beside it (<family>/<source>/drivers.txt), so a new family
// adds a file of its own and touches no list of another's.
//
// Format (one statement per line, '#' starts a comment):
//   driver NAME ADAPTER[,ADAPTER...] [EXPORT ...]
//   ROLE DRIVER/BOARD FILE [KEY=VALUE ...] [-OPTION[=WORD] ...] [+PROCEDURES]
// ROLE is `default` (the board drvrun brings the driver up on), `board`
// (another board `drvrun run --all` runs), `fuzz` (a fuzz setup), or
// `default,fuzz` / `board,fuzz`. DRIVER/BOARD names the board for good: a
// stored fuzz input names its setup so, and a name is never given to
// another board. FILE (a grafinfo file) and PROCEDURES (grafinfo text whose
// procedures replace the file's) are relative to the table's directory;
// KEY=VALUE replaces an integer key of the file; -OPTION[=WORD] is a server
// command-line word the driver's Init is given (with WORD as the next word).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "grafstore.h"

namespace drivertable {

struct Driver {
    std::string name;
    std::vector<std::string> adapters; // adapter models its boards may name
    std::vector<std::string> exports;  // besides <name>ScreenInfo
    std::string where;                 // "s3/pilo/drivers.txt:12"
};

struct Board {
    std::string id;     // "pilo/512k"
    std::string driver; // "pilo"
    bool isDefault = false;
    bool run = false; // drvrun run --all runs it (every default and board row)
    bool fuzz = false;
    std::string file; // from the source tree: "s3/pilo/pilo-512k.graf"
    std::vector<std::pair<std::string, int>> keys;
    std::string keyText;    // the keys as the table writes them
    std::string procedures; // from the source tree, or empty
    // Server command-line words after argv[0] ("-opsflag", "0"), and as the
    // table writes them ("-opsflag=0").
    std::vector<std::string> serverArgs;
    std::string serverArgText;
    std::string where;
    // "s3/pilo/pilo.graf DEPTH=4 +small.procs": what it is, for people.
    std::string describe() const;
};

struct Table {
    std::vector<Driver> drivers;
    std::vector<Board> boards;
    const Driver *driver(const std::string &name) const;
    const Board *board(const std::string &id) const;
    const Board *defaultBoard(const std::string &driver) const;
    // The boards drvrun runs for a driver: its default first.
    std::vector<const Board *> runBoards(const std::string &driver) const;
};

// Adds the statements of one table file (`path` from the source tree, as
// "s3/pilo/drivers.txt") to `into`. False with `error` "PATH:LINE: why".
bool parse(const std::string &text, const std::string &path, Table &into, std::string &error);

// What must hold across the files: every name once, every board's driver
// declared in the board's own file, at most one default per driver. False
// with `error` naming the row.
bool check(const Table &, std::string &error);

// Tables of the source tree (DRV_SOURCE_DIR/*/*/drivers.txt, sorted by
// path): each path with its text.
std::vector<std::pair<std::string, std::string>> sourceTreeFiles();

// Every table of the source tree, parsed and checked once; a fault throws
// std::runtime_error with its one line.
const Table &sourceTree();

// Reads a file from the source tree (a path as the table gives it).
using Reader = std::function<bool(const std::string &path, std::string &text, std::string &error)>;
Reader sourceTreeReader();

// The board's configuration: its file with the keys replaced and the
// procedures of its procedure file added. False with a one-line `error`.
bool configOf(const Board &, const Reader &, graf::Config &out, std::string &error);

} // namespace drivertable
