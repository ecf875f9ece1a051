// Every driver library stands alone: loaded with RTLD_NOW | RTLD_LOCAL into a
// program that carries the stand-in, every import resolves, the library
// exports its ScreenInfo record and nothing else, and it imports nothing but
// the server's names and a few C library routines. A test program resolves
// malloc, printf or operator new from its own C and C++ libraries, so such an
// import loads here and fails only in the server, which exports neither.
//
// The driver tables (drivers.txt beside each source) say which names each
// library exports besides its ScreenInfo, and which boards each driver comes
// up on: every row is checked here, a wrong one failing with one line that
// names it.
//
// Also here: the bit positions of the GC's style word, which the static
// layout checks of layout.h cannot see.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivertable.h"
#include "harness.h"
#include "nfb.h"

namespace {

std::vector<std::string> drivers() {
    std::vector<std::string> out;
    std::stringstream list(DRV_DRIVER_LIST);
    for (std::string name; std::getline(list, name, ',');)
        if (!name.empty())
            out.push_back(name);
    return out;
}

std::string libraryPath(const std::string &name) {
    return std::string(DRV_LIB_DIR) + "/lib" + name + ".so";
}

// One dynamic symbol as nm lists it: the name without its version, and its
// type letter (U undefined, w/v weak undefined, T, D, B ... defined).
struct DynamicSymbol {
    std::string name;
    char type;
};

std::vector<DynamicSymbol> dynamicSymbols(const std::string &path, const char *which) {
    std::vector<DynamicSymbol> symbols;
    std::string cmd = std::string("nm -D ") + which + " --format=posix '" + path + "' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return symbols;
    char line[1024];
    while (fgets(line, sizeof line, p)) {
        std::istringstream fields(line);
        DynamicSymbol s{"", '?'};
        fields >> s.name >> s.type;
        s.name = s.name.substr(0, s.name.find('@'));
        symbols.push_back(s);
    }
    pclose(p);
    return symbols;
}

std::set<std::string> definedDynamicSymbols(const std::string &path) {
    std::set<std::string> names;
    for (const DynamicSymbol &s : dynamicSymbols(path, "--defined-only"))
        names.insert(s.name);
    return names;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The header text without comments and preprocessor lines.
std::string declarationsOnly(const std::string &text) {
    std::string out;
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "/*") == 0) {
            size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
            out += ' ';
        } else if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i) - 1; // the newline itself is kept
        } else if (lineStart && text[i] == '#') {
            while (i < text.size() && !(text[i] == '\n' && text[i - 1] != '\\'))
                ++i;
            out += '\n';
        } else {
            out += text[i];
            if (text[i] == '\n')
                lineStart = true;
            else if (!isspace(static_cast<unsigned char>(text[i])))
                lineStart = false;
        }
    }
    return out;
}

bool isIdentChar(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The name a file-scope declaration declares: the identifier before its
// parameter list for a function, otherwise the last identifier before an
// array bound or the end.
std::string declaredName(const std::string &decl) {
    size_t end = decl.find('(');
    if (end == std::string::npos)
        end = decl.find('[');
    if (end == std::string::npos)
        end = decl.size();
    while (end > 0 && isspace(static_cast<unsigned char>(decl[end - 1])))
        --end;
    size_t begin = end;
    while (begin > 0 && isIdentChar(decl[begin - 1]))
        --begin;
    return decl.substr(begin, end - begin);
}

// Every function and datum the interface headers declare at file scope:
// what the server supplies. Records, typedefs, the inline helpers (static
// inline definitions) and macro invocations declare nothing the server
// exports.
std::set<std::string> interfaceDeclarations() {
    std::set<std::string> names;
    const std::string dir = std::string(DRV_SOURCE_DIR) + "/include";
    DIR *d = opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent *e = readdir(d)) {
        const std::string file = e->d_name;
        if (file.size() < 3 || file.compare(file.size() - 2, 2, ".h") != 0)
            continue;
        const std::string text = declarationsOnly(readFile(dir + "/" + file));
        std::string decl;
        std::vector<bool> linkageBlock; // open braces: extern "C" or a body
        size_t bodies = 0;
        for (char c : text) {
            if (c == '{') {
                const bool linkage = bodies == 0 && decl.find("extern \"C\"") != std::string::npos;
                linkageBlock.push_back(linkage);
                if (linkage)
                    decl.clear();
                else
                    ++bodies;
            } else if (c == '}') {
                if (linkageBlock.empty())
                    continue;
                if (!linkageBlock.back() && --bodies == 0) {
                    // A function body ends its definition; a record's body
                    // is followed by the rest of its declaration.
                    size_t last = decl.find_last_not_of(" \t\n");
                    if (last != std::string::npos && decl[last] == ')')
                        decl.clear();
                }
                linkageBlock.pop_back();
            } else if (bodies > 0) {
                continue;
            } else if (c == ';') {
                std::istringstream words(decl);
                std::string first;
                words >> first;
                const std::string name = declaredName(decl);
                const bool macro =
                    name.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
                if (first != "typedef" && first != "struct" && first != "union" &&
                    first != "enum" && first != "static" && !name.empty() && !macro)
                    names.insert(name);
                decl.clear();
            } else {
                decl += c;
            }
        }
    }
    closedir(d);
    return names;
}

// What this program, which carries the stand-in, exports to the libraries.
const std::set<std::string> &standinExports() {
    static const std::set<std::string> names = [] {
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        return n > 0 ? definedDynamicSymbols(std::string(self, n)) : std::set<std::string>{};
    }();
    return names;
}

// The names the server supplies: declared by the interface and defined by
// the stand-in.
const std::set<std::string> &serverNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> out;
        for (const std::string &name : interfaceDeclarations())
            if (standinExports().count(name))
                out.insert(name);
        return out;
    }();
    return names;
}

// C library routines a driver may call; the compiler also emits calls to them
// for record copies and clears.
const std::set<std::string> kCLibrary = {"memcpy", "memset", "memmove", "memcmp"};
// What the compiler's own code adds: the stack protector's failure routine.
const std::set<std::string> kCompilerEmitted = {"__stack_chk_fail"};
// Weak references of the C start files linked into every shared library; the
// library works whether or not they resolve.
const std::set<std::string> kStartFilesWeak = {
    "__gmon_start__", "__cxa_finalize", "_ITM_registerTMCloneTable", "_ITM_deregisterTMCloneTable"};
// The sanitizer and coverage runtimes of instrumented host builds.
const char *const kInstrumentationPrefixes[] = {"__asan_", "__ubsan_", "__sanitizer_"};

bool instrumentation(const std::string &name) {
    for (const char *prefix : kInstrumentationPrefixes)
        if (name.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// C library routines a few drivers call besides those: the ct builds read
// their option words with sscanf and end the server with exit. Where the
// host's C library header is in view (the server interface declares clock
// and perror from it), sscanf is bound to its ISO C99 entry point.
const std::set<std::string> kCtImports = {"sscanf", "__isoc99_sscanf", "exit"};
const std::map<std::string, std::set<std::string>> kExtraImports = {
    {"jorra16", kCtImports}, {"jorra8", kCtImports},  {"belki16", kCtImports},
    {"belki8", kCtImports},  {"cordo16", kCtImports}, {"cordo8", kCtImports},
};

bool extraImport(const std::string &driver, const std::string &name) {
    const auto extra = kExtraImports.find(driver);
    return extra != kExtraImports.end() && extra->second.count(name);
}

bool allowedImport(const std::string &driver, const DynamicSymbol &s) {
    const bool weak = s.type == 'w' || s.type == 'v';
    return serverNames().count(s.name) || kCLibrary.count(s.name) || extraImport(driver, s.name) ||
           kCompilerEmitted.count(s.name) || (weak && kStartFilesWeak.count(s.name)) ||
           instrumentation(s.name);
}

// The driver tables (<family>/<source>/drivers.txt), or null when they are
// not sound (DriverTable.IsSound says why).
const drivertable::Table *driverTable() {
    try {
        return &drivertable::sourceTree();
    } catch (const std::exception &) {
        return nullptr;
    }
}

// Names a library exports: its ScreenInfo and what its table row lists
// (entry points the server or a companion program calls by name).
std::set<std::string> expectedExports(const drivertable::Driver &d) {
    std::set<std::string> names = {d.name + "ScreenInfo"};
    names.insert(d.exports.begin(), d.exports.end());
    return names;
}

// What differs between the names a library exports and those its row
// expects, one line naming the row.
std::string exportDifference(const drivertable::Driver &d, const std::set<std::string> &defined) {
    const std::set<std::string> expected = expectedExports(d);
    std::string lacks, extra;
    for (const std::string &n : expected)
        if (!defined.count(n))
            lacks += " " + n;
    for (const std::string &n : defined)
        if (!expected.count(n))
            extra += " " + n;
    if (lacks.empty() && extra.empty())
        return "";
    std::string line = d.where + ": driver " + d.name + ":";
    if (!lacks.empty())
        line += " the library lacks" + lacks + (extra.empty() ? "" : ";");
    if (!extra.empty())
        line += " the library also exports" + extra;
    return line;
}

class DriverLibrary : public ::testing::TestWithParam<std::string> {};

TEST_P(DriverLibrary, LoadsAloneAndExportsItsScreenInfoAndListedEntryPoints) {
    const std::string name = GetParam();
    const std::string path = libraryPath(name);
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();

    const std::string record = name + "ScreenInfo";
    auto *info = static_cast<ScreenInfo *>(dlsym(h, record.c_str()));
    ASSERT_NE(info, nullptr) << record << " is not exported";
    EXPECT_NE(info->Probe, nullptr);
    EXPECT_NE(info->Init, nullptr);
    ASSERT_NE(info->driverName, nullptr);
    EXPECT_STREQ(info->driverName, name.c_str());
    for (void *w : info->reserved)
        EXPECT_EQ(w, nullptr) << "the last nine words of ScreenInfo are 0";

    const drivertable::Table *table = driverTable();
    ASSERT_NE(table, nullptr);
    const drivertable::Driver *row = table->driver(name);
    ASSERT_NE(row, nullptr) << name << " has no row \"driver " << name
                            << " ...\" in the drivers.txt beside its source";
    EXPECT_EQ(exportDifference(*row, definedDynamicSymbols(path)), "");
    dlclose(h);
}

TEST_P(DriverLibrary, ImportsOnlyTheServersNamesAndCLibraryRoutines) {
    const std::string path = libraryPath(GetParam());
    const std::vector<DynamicSymbol> imports = dynamicSymbols(path, "--undefined-only");
    ASSERT_FALSE(imports.empty()) << "nm listed no imports of " << path;
    for (const DynamicSymbol &s : imports)
        EXPECT_TRUE(allowedImport(GetParam(), s))
            << GetParam() << " imports " << s.name << " ('" << s.type
            << "'), which the server does not supply";
}

// The derivation of the server's names from the headers finds every kind of
// declaration the interface has and nothing else, so the import check above
// is neither empty nor loose; and the stand-in supplies every one of them.
TEST(ServerNames, CoverServicesDataAndAccessorsOfEveryHeader) {
    const std::set<std::string> declared = interfaceDeclarations();
    for (const std::string &name : declared)
        EXPECT_TRUE(standinExports().count(name)) << "the stand-in does not supply " << name;
    for (const char *name : {"nfbScreenInit", "genSolidZeroSegs", "vexoPointerInitialize", "ErrorF",
                             "FatalError", "ddxActiveScreens", "nfbGCPrivateIndex",
                             "PixmapWidthPaddingInfo", "grafGetInt", "grafExec", "inb", "outw",
                             "ioIn8", "mmWrite32", "mmWriteBytes", "nap", "open", "ioctl", "close"})
        EXPECT_TRUE(serverNames().count(name)) << name;
    for (const char *name : {"ScreenInfo", "BoxRec", "x1", "xApplyAlu", "DRV_FIELD", "malloc"})
        EXPECT_FALSE(declared.count(name)) << name;
}

// The GC's style word, the word between dash and planemask: each bit-field
// set to all ones alone in a cleared record shows the bits it occupies.
struct StyleBits {
    const char *field;
    void (*set)(GCRec &);
    uint32_t bits;
};

const StyleBits kStyleBits[] = {
    {"lineStyle", [](GCRec &g) { g.lineStyle = 3; }, 0x3},
    {"capStyle", [](GCRec &g) { g.capStyle = 3; }, 0xC},
    {"joinStyle", [](GCRec &g) { g.joinStyle = 3; }, 0x30},
    {"fillStyle", [](GCRec &g) { g.fillStyle = 3; }, 0xC0},
    {"fillRule", [](GCRec &g) { g.fillRule = 1; }, 0x100},
    {"arcMode", [](GCRec &g) { g.arcMode = 1; }, 0x200},
    {"subWindowMode", [](GCRec &g) { g.subWindowMode = 1; }, 0x400},
    {"graphicsExposures", [](GCRec &g) { g.graphicsExposures = 1; }, 0x800},
    {"clientClipType", [](GCRec &g) { g.clientClipType = 3; }, 0x3000},
    {"miTranslate", [](GCRec &g) { g.miTranslate = 1; }, 0x4000},
    {"tileIsPixel", [](GCRec &g) { g.tileIsPixel = 1; }, 0x8000},
    {"unused", [](GCRec &g) { g.unused = 0xFFFF; }, 0xFFFF0000},
};

TEST(GCStyleWord, EachFieldHoldsItsBits) {
    const size_t word = offsetof(GCRec, dash) + sizeof(GCRec::dash);
    ASSERT_EQ(offsetof(GCRec, planemask), word + 4) << "the style word is one word";
    for (const StyleBits &b : kStyleBits) {
        GCRec g;
        memset(&g, 0, sizeof g);
        b.set(g);
        uint32_t raw;
        memcpy(&raw, reinterpret_cast<const char *>(&g) + word, sizeof raw);
        EXPECT_EQ(raw, b.bits) << b.field << " sets 0x" << std::hex << raw << " instead of 0x"
                               << b.bits;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, DriverLibrary, ::testing::ValuesIn(drivers()),
                         [](const auto &info) { return info.param; });

// ---- the driver tables ----

TEST(DriverTable, IsSound) {
    try {
        drivertable::sourceTree();
    } catch (const std::exception &e) {
        FAIL() << e.what();
    }
}

// Every driver row is a library the build makes, and every library has a row.
TEST(DriverTable, EveryRowIsABuiltLibrary) {
    const drivertable::Table *table = driverTable();
    ASSERT_NE(table, nullptr);
    const std::vector<std::string> built = drivers();
    for (const drivertable::Driver &d : table->drivers)
        EXPECT_NE(std::find(built.begin(), built.end(), d.name), built.end())
            << d.where << ": driver " << d.name << ": no such library is built";
    for (const std::string &name : built)
        EXPECT_NE(table->driver(name), nullptr) << name << ": no row in any drivers.txt";
    // A driver with boards has a default among them; one that comes up on
    // no board yet has none at all.
    for (const drivertable::Driver &d : table->drivers) {
        if (!table->runBoards(d.name).empty()) {
            EXPECT_NE(table->defaultBoard(d.name), nullptr)
                << d.where << ": driver " << d.name << " has no default board";
        }
    }
}

std::vector<std::string> boardIds() {
    std::vector<std::string> out;
    if (const drivertable::Table *t = driverTable())
        for (const drivertable::Board &b : t->boards)
            out.push_back(b.id);
    return out;
}

// A board of the table, its problem in one line naming the row: its
// configuration does not parse, names an adapter model its driver does not
// drive, or describes a board the adapter model refuses.
std::string boardProblem(const drivertable::Board &b) {
    const drivertable::Table &table = *driverTable();
    const drivertable::Driver &d = *table.driver(b.driver);
    graf::Config cfg;
    std::string error;
    if (!drivertable::configOf(b, drivertable::sourceTreeReader(), cfg, error))
        return b.where + ": " + error;
    if (std::find(d.adapters.begin(), d.adapters.end(), cfg.adapter) == d.adapters.end())
        return b.where + ": " + b.id + ": the board is a \"" + cfg.adapter + "\", which " + d.name +
               " does not drive (" + d.where + ")";
    try {
        harness::Screen screen(libraryPath(d.name), cfg);
    } catch (const std::exception &e) {
        return b.where + ": " + b.id + ": " + e.what();
    }
    return "";
}

class TableBoard : public ::testing::TestWithParam<std::string> {};

TEST_P(TableBoard, IsABoardItsAdapterModelAccepts) {
    const drivertable::Board *b = driverTable()->board(GetParam());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(boardProblem(*b), "");
}

INSTANTIATE_TEST_SUITE_P(AllBoards, TableBoard, ::testing::ValuesIn(boardIds()),
                         [](const auto &info) {
                             std::string n = info.param;
                             for (char &c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

// The checks above on rows made wrong on purpose: each fails with one line
// that names the row.
TEST(DriverTable, AWrongRowFailsWithALineNamingIt) {
    const drivertable::Table *table = driverTable();
    ASSERT_NE(table, nullptr);
    drivertable::Driver pilo = *table->driver("pilo");
    pilo.exports.push_back("piloMissingEntry");
    std::set<std::string> defined = definedDynamicSymbols(libraryPath("pilo"));
    EXPECT_EQ(exportDifference(pilo, defined),
              pilo.where + ": driver pilo: the library lacks piloMissingEntry");

    drivertable::Board board = *table->board("pilo/512k");
    board.keys.emplace_back("MEMSIZE", 0x12345);
    std::string problem = boardProblem(board);
    EXPECT_EQ(
        problem.rfind(board.where + ": pilo/512k: the simulated machine cannot be built: ", 0), 0u)
        << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;

    drivertable::Board other = *table->board("pilo/512k");
    other.driver = "rasmo";
    EXPECT_EQ(boardProblem(other),
              other.where +
                  ": pilo/512k: the board is a \"s3_pilo\", which rasmo does not drive (" +
                  table->driver("rasmo")->where + ")");
}

} // namespace
