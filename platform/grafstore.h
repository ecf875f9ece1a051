// The stand-in's grafinfo store: one configuration per screen, read from the
// project's text format or built in C++ by tests, reached by the drivers
// through the grafinfo calls of grafinfo.h.
//
// Text format (one statement per line, '#' starts a comment):
//   int NAME = VALUE            integer key (decimal, 0x hex, negative allowed)
//   string NAME = "TEXT"        string key
//   flag NAME                   flag key (presence counts)
//   memory [NAME] BASE LENGTH   memory area; no name (or the name MEMORY) is the
//                               default area
//   procedure NAME { ... }      a named procedure in the procedure language;
//                               NAME(a, b, c, d) declares up to four parameters
//   adapter MODEL               the device model the configuration is meant for
// The procedure language is documented in grafstore.cpp beside its interpreter.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "grafinfo.h"

namespace graf {

struct MemoryArea {
    std::string name; // empty for the default area
    uint32_t physBase = 0;
    uint32_t length = 0;
    void *mapped = nullptr; // the process address the server mapped it at
};

struct Procedure; // parsed code

struct Config {
    std::string adapter; // device model name, e.g. "gd5480"
    std::map<std::string, int> ints;
    std::map<std::string, std::string> strings;
    std::vector<std::string> flags;
    std::vector<MemoryArea> areas;
    std::map<std::string, std::shared_ptr<Procedure>> procedures;
    std::string source; // file name, for messages
};

// Blocks within a procedure, and operators, unary signs and parentheses
// within one expression, nest at most this deep; deeper text is a parse
// error, so neither the parser nor the interpreter can run out of stack.
constexpr int kMaxNesting = 256;

// The largest file load() reads: a hundred times the largest example board.
// The parsed form takes far more memory than the text, so the bound keeps a
// huge or endless file (a device) from exhausting it.
constexpr long kMaxFileBytes = 1L << 20;

// Parse the text format. On error returns false and sets `error` to
// "FILE:LINE: why".
bool parse(const std::string &text, const std::string &fileName, Config &out, std::string &error);
// Reads and parses a file. Only a regular file of at most kMaxFileBytes is
// read (a device or a pipe is refused before anything is read from it); on
// error `error` is one line: "FILE: why" or "FILE:LINE: why".
bool load(const std::string &path, Config &out, std::string &error);

// A C++ builder for tests.
class Builder {
  public:
    Builder &adapter(const std::string &m);
    Builder &integer(const std::string &name, int v);
    Builder &string(const std::string &name, const std::string &v);
    Builder &flag(const std::string &name);
    Builder &memory(const std::string &name, uint32_t base, uint32_t length);
    // `code` in the procedure language; a parse error throws std::runtime_error.
    Builder &procedure(const std::string &name, const std::string &code);
    Builder &without(const std::string &name); // drop a key, area or procedure
    Config build() const { return c_; }
    Config &config() { return c_; }

  private:
    Config c_;
};

// The handle a screen's ScreenConfig carries. The store keeps it alive.
GrafinfoHandle makeHandle(const Config &);
Config &configOf(GrafinfoHandle);
void release(GrafinfoHandle);
void releaseAll();

// Procedure runs, in order: name and result.
struct Run {
    std::string procedure;
    int result;
    bool ran = true; // false when it failed or stopped on a runtime error
};
const std::vector<Run> &runLog();
void clearRunLog();

// Make a procedure fail (exist, but report that it did not run) for tests.
void setProcedureFails(GrafinfoHandle, const std::string &name, bool fails);

// ---- what the grafinfo calls are built on ----

// The configuration behind a handle; null for a null or unknown handle.
Config *findConfig(GrafinfoHandle);
// Parameters the procedure declares; -1 when it is absent.
int parameterCount(GrafinfoHandle, const std::string &procedure);
// Variables a run starts with and hands back (the video BIOS registers).
using Variables = std::map<std::string, int>;
// Runs a procedure with `args` bound to its parameters in order (missing
// ones are 0). True when it exists and ran to its end; then `result` holds
// its result and `vars` the variables as it left them. A procedure that
// fails or stops on a runtime error (reported to the simulated machine)
// returns false. Every run of an existing procedure goes to the run log.
bool runProcedure(GrafinfoHandle, const std::string &procedure, const std::vector<int> &args,
                  Variables &vars, int &result);
// The code handle of a procedure, owned by the store; null when absent.
GrafCode codeOf(GrafinfoHandle, const std::string &procedure);
// Runs the procedure behind a code handle, as runProcedure without arguments.
bool runCode(GrafCode, int &result);

} // namespace graf
