// The grafinfo store: the text format, the calls the drivers make, and the
// procedure language run against device models on the simulated machine.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "grafinfo.h"
#include "grafstore.h"
#include "machine.h"

namespace {

// Records every port access in order and answers reads from a script.
class FakePorts : public sim::PortDevice {
  public:
    struct Op {
        bool out;
        uint16_t port;
        int width;
        uint32_t value;
        bool operator==(const Op &) const = default;
    };
    std::vector<Op> ops;
    uint32_t nextRead = 0;

    uint32_t in(uint16_t port, int width) override {
        ops.push_back({false, port, width, nextRead});
        return nextRead++;
    }
    void out(uint16_t port, int width, uint32_t value) override {
        ops.push_back({true, port, width, value});
    }
};

// A register block that remembers writes by offset.
class FakeRegs : public sim::MemDevice {
  public:
    std::vector<std::pair<uint32_t, uint32_t>> writes; // offset, value
    uint32_t read(uint32_t offset, int) override { return 0x1000 + offset; }
    void write(uint32_t offset, int, uint32_t value) override { writes.push_back({offset, value}); }
};

class Grafstore : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Machine::reset();
        graf::releaseAll();
        graf::clearRunLog();
        failures.clear();
        sim::Machine::current().setFailureHandler(
            [this](const std::string &m) { failures.push_back(m); });
    }
    void TearDown() override { graf::releaseAll(); }

    // A handle whose areas are mapped as plain memory on the machine.
    GrafinfoHandle mapped(graf::Config c) {
        for (graf::MemoryArea &a : c.areas)
            a.mapped = sim::Machine::current().addArea(a.name.empty() ? "MEMORY" : a.name,
                                                       a.physBase, a.length);
        return graf::makeHandle(c);
    }

    GrafinfoHandle parsed(const std::string &text) {
        graf::Config c;
        std::string error;
        EXPECT_TRUE(graf::parse(text, "test.graf", c, error)) << error;
        return mapped(c);
    }

    std::vector<std::string> failures;
};

// ------------------------------------------------------------- parsing --

const char *const kGoodFile = R"(# a board
adapter gd5480
int PIXWIDTH = 1024
int NEG = -2147483648
int MASK = 0xFFFFFFFF
string MODE = "graphics \"hi\" \\ # not a comment"
flag FAST   # trailing comment
memory 0xA0000 0x10000
memory REGS 0xFE000000 0x100
procedure Empty { }
procedure SetMode(a, b, c, d) {
    out8 0x3C4, 0x12
    out16 0x3C4, a << 8 | 0x13
    out32 0x3C4, b
    x = in8 0x3C5
    y = in16 0x3C5
    z = in32 0x3C5
    write8 MEMORY, 0, 1
    write16 REGS, 2, 0xBEEF
    write32 REGS, 4, c
    m = read8 REGS, 0
    n = read16 REGS, 2
    o = read32 MEMORY, 4
    if d == 1 {
        result = 1
    } else if d == 2 {
        result = 2
    } else {
        repeat 3 {
            result = result + $PIXWIDTH
        }
    }
    call Empty
    r = call Empty
    wait 10
    if 0 {
        fail
        return
    }
}
)";

TEST_F(Grafstore, ParsesEveryStatementKind) {
    graf::Config c;
    std::string error;
    ASSERT_TRUE(graf::parse(kGoodFile, "board.graf", c, error)) << error;
    EXPECT_EQ(c.source, "board.graf");
    EXPECT_EQ(c.adapter, "gd5480");
    EXPECT_EQ(c.ints.at("PIXWIDTH"), 1024);
    EXPECT_EQ(c.ints.at("NEG"), INT32_MIN);
    EXPECT_EQ(c.ints.at("MASK"), -1);
    EXPECT_EQ(c.strings.at("MODE"), "graphics \"hi\" \\ # not a comment");
    EXPECT_EQ(c.flags, std::vector<std::string>{"FAST"});
    ASSERT_EQ(c.areas.size(), 2u);
    EXPECT_EQ(c.areas[0].name, "");
    EXPECT_EQ(c.areas[0].physBase, 0xA0000u);
    EXPECT_EQ(c.areas[0].length, 0x10000u);
    EXPECT_EQ(c.areas[1].name, "REGS");
    EXPECT_EQ(c.areas[1].physBase, 0xFE000000u);
    EXPECT_EQ(c.procedures.size(), 2u);

    GrafinfoHandle h = graf::makeHandle(c);
    EXPECT_EQ(graf::parameterCount(h, "SetMode"), 4);
    EXPECT_EQ(graf::parameterCount(h, "Empty"), 0);
    EXPECT_EQ(graf::parameterCount(h, "Absent"), -1);
    EXPECT_EQ(graf::parameterCount(h, "setmode"), -1) << "names are case-sensitive";
}

TEST_F(Grafstore, RejectsMalformedFilesWithLineAndReason) {
    struct Case {
        const char *text;
        const char *error;
    };
    const Case cases[] = {
        {"bogus 1", "f:1: unknown statement 'bogus'"},
        {"\n\nint X = 12z", "f:3: bad number '12z'"},
        {"int X = 0x100000000", "f:1: bad number '0x100000000'"},
        {"int X = -2147483649", "f:1: bad number '2147483649'"},
        {"int X =", "f:1: bad number (missing)"},
        {"int X = 1 2", "f:1: unexpected '2' at end of statement"},
        {"string S = \"abc", "f:1: unterminated string"},
        {"string S = \"a\\qb\"", "f:1: bad escape '\\q' in string"},
        {"string S = abc", "f:1: expected a quoted string, found 'abc'"},
        {"int X = 1\nflag X", "f:2: duplicate key 'X'"},
        {"string X = \"a\"\nint X = 1", "f:2: duplicate key 'X'"},
        {"memory 0 0x10\nmemory MEMORY 0x10 0x10", "f:2: duplicate memory area 'MEMORY'"},
        {"memory REGS 0 0", "f:1: memory area of length 0"},
        {"memory REGS 0xFFFFFFF0 0x20", "f:1: memory area reaches past 4 GB"},
        {"memory REGS zz 0x20", "f:1: bad number for the base 'zz'"},
        {"adapter a\nadapter b", "f:2: duplicate adapter"},
        {"procedure P {\n out8 1, 2\n", "f:1: missing '}' for the block opened here"},
        {"procedure P {\n if 1 {\n out8 1, 2\n}\n", "f:1: missing '}' for the block opened here"},
        {"procedure P {\n}\nprocedure P {\n}", "f:3: duplicate procedure 'P'"},
        {"procedure P {\n frob 1\n}", "f:2: unknown procedure statement 'frob'"},
        {"procedure P {\n x 1\n}", "f:2: unknown procedure statement 'x'"},
        {"procedure P {\n out8 1 2\n}", "f:2: expected ',', found '2'"},
        {"procedure P {\n x = (1 + 2\n}", "f:2: expected ')' at end of line"},
        {"procedure P {\n x = 1 +\n}", "f:2: expected an expression at end of line"},
        {"procedure P {\n x = 0x1G\n}", "f:2: bad number '0x1G'"},
        {"procedure P {\n x = y @ 2\n}", "f:2: unexpected character '@'"},
        {"procedure P {\n x = $\n}", "f:2: '$' must be followed by a key name"},
        {"procedure P {\n in8 = 1\n}", "f:2: 'in8' cannot be assigned"},
        {"procedure P {\n if = 1\n}", "f:2: expected an expression, found '='"},
        {"procedure P {\n x = out8\n}", "f:2: 'out8' cannot be used in an expression"},
        {"procedure P {\n write8 3, 0, 0\n}", "f:2: expected a memory area name, found '3'"},
        {"procedure P {\n} else {\n}", "f:2: 'else' without 'if'"},
        {"procedure P {\n repeat 2 {\n } else {\n }\n}", "f:3: 'else' without 'if'"},
        {"procedure P {\n if 1 {\n } else\n}", "f:3: expected '{' or 'if' after 'else'"},
        {"procedure P {\n if 1 {\n } x\n}", "f:3: unexpected 'x' after '}'"},
        {"procedure P {\n if 1\n}", "f:2: expected '{' at end of line"},
        {"procedure P {\n fail now\n}", "f:2: unexpected 'now' at end of statement"},
        {"procedure P(a, b, c, d, e) {\n}", "f:1: a procedure takes at most 4 parameters"},
        {"procedure P(a, a) {\n}", "f:1: duplicate parameter 'a'"},
        {"procedure P(result) {\n}", "f:1: 'result' cannot name a parameter"},
        {"procedure P { out8 1, 2\n}", "f:1: unexpected 'out8' at end of statement"},
    };
    for (const Case &k : cases) {
        graf::Config c;
        c.adapter = "untouched";
        std::string error;
        EXPECT_FALSE(graf::parse(k.text, "f", c, error)) << k.text;
        EXPECT_EQ(error, k.error) << k.text;
        EXPECT_EQ(c.adapter, "untouched") << "a failed parse leaves the output alone";
    }
}

TEST_F(Grafstore, LoadsFilesAndReportsMissingOnes) {
    std::string path = ::testing::TempDir() + "grafstore_load.graf";
    {
        std::ofstream out(path);
        out << "int A = 7\r\nprocedure P {\r\n  result = $A\r\n}\r\n";
    }
    graf::Config c;
    std::string error;
    ASSERT_TRUE(graf::load(path, c, error)) << error;
    EXPECT_EQ(c.source, path);
    EXPECT_EQ(c.ints.at("A"), 7);
    std::remove(path.c_str());

    EXPECT_FALSE(graf::load(path, c, error));
    EXPECT_EQ(error, path + ": cannot open file");
}

// A file that is not a regular one is refused before it is read: a pipe with
// no writer would block for ever, a device would be read without end.
TEST_F(Grafstore, LoadsOnlyRegularFilesOfBoundedSize) {
    const std::string dir = ::testing::TempDir() + "grafstore_kinds";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string pipe = dir + "/pipe.graf";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string huge = dir + "/huge.graf";
    std::ofstream(huge) << "int A = 1\n";
    std::filesystem::resize_file(huge, graf::kMaxFileBytes + 1); // sparse: nothing written
    const std::string largest = dir + "/largest.graf";
    {
        std::string text = "int A = 1\n# ";
        text.resize(static_cast<size_t>(graf::kMaxFileBytes), '-');
        std::ofstream(largest, std::ios::binary) << text;
    }
    struct Case {
        std::string path, error;
    };
    const Case cases[] = {
        {dir, dir + ": is a directory"},
        {pipe, pipe + ": is a pipe, not a regular file"},
        {"/dev/zero", "/dev/zero: is a device, not a regular file"},
        {huge, huge + ": larger than 1 MB, too large for a grafinfo file"},
    };
    for (const Case &k : cases) {
        graf::Config c;
        std::string error;
        EXPECT_FALSE(graf::load(k.path, c, error)) << k.path;
        EXPECT_EQ(error, k.error);
    }
    graf::Config c;
    std::string error;
    EXPECT_TRUE(graf::load(largest, c, error)) << error;
    EXPECT_EQ(c.ints.at("A"), 1);
    std::filesystem::remove_all(dir);
}

// Blocks and expressions nest up to kMaxNesting levels; one more is a parse
// error on the line that goes too deep, rather than a parser or interpreter
// that runs out of stack.
TEST_F(Grafstore, NestingIsBoundedWithTheLineThatGoesTooDeep) {
    auto repeat = [](const std::string &s, int n) {
        std::string out;
        for (int i = 0; i < n; i++)
            out += s;
        return out;
    };
    const int most = graf::kMaxNesting;
    // The procedure's own block counts: `most - 1` blocks fit inside it.
    auto blocks = [&](const std::string &open, int n) {
        return "procedure P {\n" + repeat(open + "\n", n) + " result = 7\n" + repeat("}\n", n) +
               "}\n";
    };
    auto expression = [](const std::string &e) {
        return "int A = 1\nprocedure P {\n result = " + e + "\n}\n";
    };
    struct Case {
        const char *what;
        std::string fits, tooDeep, error;
        int result; // of the text that fits
    };
    const std::string exprError = "f:3: expression nested more than 256 levels deep";
    const Case cases[] = {
        {"parentheses", expression(repeat("(", most) + "$A" + repeat(")", most)),
         expression(repeat("(", most + 1) + "$A" + repeat(")", most + 1)), exprError, 1},
        {"unary minus", expression(repeat("-", most) + "5"),
         expression(repeat("-", most + 1) + "5"), exprError, 5},
        {"signs and parentheses", expression(repeat("~(", most / 2) + "0" + repeat(")", most / 2)),
         expression(repeat("!(", most / 2) + "-0" + repeat(")", most / 2)), exprError, 0},
        {"a chain of operators", expression("1" + repeat(" + 1", most)),
         expression("1" + repeat(" + 1", most + 1)), exprError, most + 1},
        {"right-nested operators", expression(repeat("1 + (", most) + "1" + repeat(")", most)),
         expression(repeat("1 + (", most) + "1 + 1" + repeat(")", most)), exprError, most + 1},
        {"if blocks", blocks("if 1 {", most - 1), blocks("if 1 {", most),
         "f:" + std::to_string(most + 1) + ": blocks nested more than 256 levels deep", 7},
        {"repeat blocks", blocks("repeat 1 {", most - 1), blocks("repeat 1 {", most),
         "f:" + std::to_string(most + 1) + ": blocks nested more than 256 levels deep", 7},
    };
    for (const Case &k : cases) {
        graf::Config c;
        std::string error;
        ASSERT_TRUE(graf::parse(k.fits, "f", c, error)) << k.what << ": " << error;
        GrafinfoHandle h = mapped(c);
        int r = -1;
        EXPECT_EQ(grafExec(h, "P", &r), 1) << k.what;
        EXPECT_EQ(r, k.result) << k.what;
        EXPECT_FALSE(graf::parse(k.tooDeep, "f", c, error)) << k.what;
        EXPECT_EQ(error, k.error) << k.what;
    }
    // Procedure text from C++ is bounded alike.
    try {
        graf::Builder().procedure("P", "result = " + repeat("-", most + 1) + "1");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "procedure P:1: expression nested more than 256 levels deep");
    }
    // A file of nothing but nesting, far past the bound, ends the same way.
    graf::Config c;
    std::string error;
    EXPECT_FALSE(
        graf::parse(expression(repeat("(", 100000) + "1" + repeat(")", 100000)), "f", c, error));
    EXPECT_EQ(error, exprError);
    EXPECT_FALSE(graf::parse(blocks("if 1 {", 100000), "f", c, error));
    EXPECT_EQ(error, "f:257: blocks nested more than 256 levels deep");

    // A chain of "else if" is no nesting: any length parses and runs.
    std::string chain = "procedure Pick(n) {\n if n == 0 {\n  result = 100\n";
    for (int i = 1; i < 4 * most; i++)
        chain += " } else if n == " + std::to_string(i) +
                 " {\n  result = " + std::to_string(100 + i) + "\n";
    chain += " } else {\n  result = -1\n }\n}\n";
    GrafinfoHandle h = parsed(chain);
    for (int n : {0, 1, 4 * most - 1, 4 * most}) {
        int r = 0;
        EXPECT_EQ(grafExec(h, "Pick", &r, n, 0, 0, 0), 1);
        EXPECT_EQ(r, n < 4 * most ? 100 + n : -1) << n;
    }
}

// Calls stack the blocks of their procedures: the blocks open through the
// calls of a run are bounded too (four procedures of the deepest nesting fit),
// and the run stops with a runtime error where it would go deeper.
TEST_F(Grafstore, NestingThroughCallsIsBoundedToo) {
    const int most = graf::kMaxNesting;
    // P0 calls P1 ... each inside `most - 1` blocks; the last one evaluates
    // the deepest expression.
    auto chain = [&](int procedures) {
        std::string text;
        for (int i = 0; i < procedures; i++) {
            text += "procedure P" + std::to_string(i) + " {\n";
            for (int k = 1; k < most; k++)
                text += "if 1 {\n";
            if (i + 1 < procedures) {
                text += " result = call P" + std::to_string(i + 1) + "\n";
            } else {
                text += " result = 1";
                for (int k = 0; k < most; k++)
                    text += " + 1";
                text += "\n";
            }
            for (int k = 0; k < most; k++)
                text += "}\n";
        }
        return text;
    };
    GrafinfoHandle fits = parsed(chain(4));
    int r = 0;
    EXPECT_EQ(grafExec(fits, "P0", &r), 1);
    EXPECT_EQ(r, most + 1);
    EXPECT_TRUE(failures.empty());

    // The fifth procedure starts on line 4 * (2 * most + 1) + 1.
    GrafinfoHandle deeper = parsed(chain(32));
    r = -1;
    EXPECT_EQ(grafExec(deeper, "P0", &r), 0);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "test.graf:" + std::to_string(4 * (2 * most + 1) + 1) +
                               ": procedure P4: blocks nested more than 1024 levels deep "
                               "through calls");
}

TEST_F(Grafstore, BuilderMakesConfigurationsAndRejectsBadCode) {
    graf::Config c = graf::Builder()
                         .adapter("gd5446")
                         .integer("PITCH", 2048)
                         .string("S", "x")
                         .flag("F")
                         .memory("", 0xA0000, 0x10000)
                         .memory("REGS", 0x1000, 0x100)
                         .procedure("SetMode(a, b)", "result = a + b")
                         .procedure("Gone", "result = 1")
                         .without("Gone")
                         .without("REGS")
                         .without("S")
                         .build();
    EXPECT_EQ(c.adapter, "gd5446");
    EXPECT_EQ(c.ints.at("PITCH"), 2048);
    EXPECT_FALSE(c.strings.count("S"));
    ASSERT_EQ(c.areas.size(), 1u);
    EXPECT_EQ(c.areas[0].name, "");
    EXPECT_FALSE(c.procedures.count("Gone"));
    GrafinfoHandle h = graf::makeHandle(c);
    int r = 0;
    EXPECT_EQ(grafExec(h, "SetMode", &r, 3, 4, 0, 0), 1);
    EXPECT_EQ(r, 7);

    struct Case {
        const char *name;
        const char *code;
        const char *error;
    };
    const Case bad[] = {
        {"P", "x = 1\nfrob", "procedure P:2: unknown procedure statement 'frob'"},
        {"P", "if 1 {\nx = 1", "procedure P:2: missing '}'"},
        {"P", "x = 1\n}\nx = 2", "procedure P:2: unexpected '}'"},
        {"P(a b)", "", "procedure P(a b):0: expected ',', found 'b'"},
    };
    for (const Case &k : bad) {
        try {
            graf::Builder().procedure(k.name, k.code);
            ADD_FAILURE() << "no error for " << k.code;
        } catch (const std::runtime_error &e) {
            EXPECT_STREQ(e.what(), k.error);
        }
    }
}

// ----------------------------------------------------------- the calls --

TEST_F(Grafstore, AbsenceReturnsZeroAndWritesNothing) {
    GrafinfoHandle h = parsed("int I = 5\nstring S = \"s\"\nflag F\nmemory REGS 0 16\n"
                              "memory LATER 0 16\nprocedure P {\n result = 1\n}\n");
    graf::configOf(h).areas[1].mapped = nullptr; // never mapped by the adapter
    int i = -7;
    char sentinel[] = "keep";
    char *s = sentinel;
    uint32_t base = 11, len = 12;
    void *map = &base;
    GrafCode code = reinterpret_cast<GrafCode>(&len);
    int regs[4] = {1, 2, 3, 4};

    for (GrafinfoHandle handle : {h, GrafinfoHandle(nullptr), GrafinfoHandle(&i)}) {
        EXPECT_EQ(grafGetInt(handle, "i", &i), 0);
        EXPECT_EQ(grafGetString(handle, "s", &s), 0);
        EXPECT_EQ(grafQuery(handle, "f"), 0);
        EXPECT_EQ(grafGetMemInfo(handle, nullptr, &base, &len, &map), 0) << "no default area";
        EXPECT_EQ(grafGetMemInfo(handle, "regs", &base, &len, &map), 0);
        EXPECT_EQ(grafGetMemInfo(handle, "LATER", &base, &len, &map), 0) << "unmapped";
        EXPECT_EQ(grafExec(handle, "p", &i), 0);
        EXPECT_EQ(grafGetFunction(handle, "p", &code), 0);
        EXPECT_EQ(grafVBRun(handle, regs, 4), 0);
    }
    EXPECT_EQ(grafGetInt(h, nullptr, &i), 0);
    EXPECT_EQ(grafExec(h, nullptr, &i), 0);
    EXPECT_EQ(grafRunCode(nullptr, 0), 0);
    EXPECT_EQ(grafRunCode(code, 0), 0) << "not a code handle of the store";

    EXPECT_EQ(i, -7);
    EXPECT_EQ(s, sentinel);
    EXPECT_EQ(base, 11u);
    EXPECT_EQ(len, 12u);
    EXPECT_EQ(map, &base);
    EXPECT_EQ(code, reinterpret_cast<GrafCode>(&len));
    EXPECT_EQ(regs[0], 1);
    EXPECT_EQ(regs[3], 4);
    EXPECT_TRUE(graf::runLog().empty());
}

TEST_F(Grafstore, PresentKeysAreReported) {
    GrafinfoHandle h = parsed("int I = -5\nstring S = \"on\"\nflag F\n");
    int i = 0;
    char *s = nullptr;
    EXPECT_EQ(grafGetInt(h, "I", &i), 1);
    EXPECT_EQ(i, -5);
    EXPECT_EQ(grafGetInt(h, "I", nullptr), 1);
    EXPECT_EQ(grafGetString(h, "S", &s), 1);
    EXPECT_STREQ(s, "on");
    EXPECT_NE(grafQuery(h, "F"), 0);
    EXPECT_NE(grafQuery(h, "I"), 0) << "presence alone counts";
    EXPECT_EQ(grafGetInt(h, "S", &i), 0) << "a string is not an int";
}

TEST_F(Grafstore, MemInfoGivesDefaultAndNamedAreas) {
    GrafinfoHandle h = parsed("memory 0xA0000 0x20000\nmemory REGS 0xFE000000 0x1000\n");
    const graf::Config &c = graf::configOf(h);
    void *map = nullptr;
    uint32_t base = 0, len = 0;
    EXPECT_EQ(grafGetMemInfo(h, nullptr, nullptr, nullptr, &map), 1);
    EXPECT_EQ(map, c.areas[0].mapped);
    EXPECT_EQ(grafGetMemInfo(h, nullptr, &base, nullptr, &map), 1);
    EXPECT_EQ(base, 0xA0000u);
    EXPECT_EQ(len, 0u) << "length not asked for";
    EXPECT_EQ(grafGetMemInfo(h, "REGS", &base, &len, &map), 1);
    EXPECT_EQ(base, 0xFE000000u);
    EXPECT_EQ(len, 0x1000u);
    EXPECT_EQ(map, c.areas[1].mapped);
    EXPECT_EQ(grafGetMemInfo(h, "MEMORY", nullptr, &len, nullptr), 1);
    EXPECT_EQ(len, 0x20000u);
}

TEST_F(Grafstore, ExecRunsProceduresWithResultsArgumentsAndLog) {
    GrafinfoHandle h = parsed("procedure InstalledMemory {\n result = 0x110\n}\n"
                              "procedure SetMode(a, b, c, d) {\n result = a - b + c * d\n}\n"
                              "procedure SetText {\n}\n"
                              "procedure Refuse {\n fail\n result = 9\n}\n");
    int r = -1;
    EXPECT_EQ(grafExec(h, "InstalledMemory", &r), 1);
    EXPECT_EQ(r, 0x110);
    EXPECT_EQ(grafExec(h, "SetMode", &r, 100, 30, 5, -2), 1);
    EXPECT_EQ(r, 60);
    EXPECT_EQ(grafExec(h, "SetText", nullptr), 1);
    EXPECT_EQ(grafExec(h, "SetText", &r), 1);
    EXPECT_EQ(r, 0) << "the result defaults to 0";

    r = -1;
    EXPECT_EQ(grafExec(h, "Refuse", &r), 0);
    graf::setProcedureFails(h, "InstalledMemory", true);
    EXPECT_EQ(grafExec(h, "InstalledMemory", &r), 0);
    EXPECT_EQ(r, -1);
    graf::setProcedureFails(h, "InstalledMemory", false);
    EXPECT_EQ(grafExec(h, "InstalledMemory", &r), 1);
    EXPECT_TRUE(failures.empty());

    const std::vector<std::pair<std::string, int>> want = {{"InstalledMemory", 0x110},
                                                           {"SetMode", 60},
                                                           {"SetText", 0},
                                                           {"SetText", 0},
                                                           {"Refuse", 0},
                                                           {"InstalledMemory", 0},
                                                           {"InstalledMemory", 0x110}};
    const std::vector<bool> ran = {true, true, true, true, false, false, true};
    ASSERT_EQ(graf::runLog().size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(graf::runLog()[i].procedure, want[i].first) << i;
        EXPECT_EQ(graf::runLog()[i].result, want[i].second) << i;
        EXPECT_EQ(graf::runLog()[i].ran, ran[i]) << i;
    }
}

TEST_F(Grafstore, FunctionsAndVideoBiosRun) {
    GrafinfoHandle h = parsed("procedure BlankScreen {\n out8 0x3C6, 0\n}\n"
                              "procedure VideoBIOS {\n"
                              " if eax == 0x4F06 && ebx == 1 {\n"
                              "  ebx = 2048\n  ecx = 1024\n  eax = 0x4F\n"
                              " }\n}\n");
    FakePorts dev;
    sim::Machine::current().attachPorts(0x3C6, 1, &dev);
    GrafCode code = nullptr;
    ASSERT_EQ(grafGetFunction(h, "BlankScreen", &code), 1);
    GrafCode again = nullptr;
    ASSERT_EQ(grafGetFunction(h, "BlankScreen", &again), 1);
    EXPECT_EQ(code, again);
    EXPECT_EQ(grafRunCode(code, 0), 1);
    EXPECT_EQ(grafRunCode(code, 0), 1);
    EXPECT_EQ(dev.ops.size(), 2u);

    int regs[4] = {0x4F06, 1, 0, 7};
    EXPECT_EQ(grafVBRun(h, regs, 4), 1);
    EXPECT_EQ(regs[0], 0x4F);
    EXPECT_EQ(regs[1], 2048);
    EXPECT_EQ(regs[2], 1024);
    EXPECT_EQ(regs[3], 7);
    ASSERT_EQ(graf::runLog().size(), 3u);
    EXPECT_EQ(graf::runLog()[2].procedure, "VideoBIOS");
}

// -------------------------------------------------- procedure execution --

TEST_F(Grafstore, PortAccessesReachTheDeviceInOrder) {
    GrafinfoHandle h = parsed("procedure SetGraphics {\n"
                              " out8 0x3C4, 0x17\n"
                              " v = in8 0x3C5\n"
                              " out8 0x3C5, v | 0x140\n" // only the low byte goes out
                              " out16 0x3C4, 0x0212\n"
                              " w = in16 0x3D4\n"
                              " out32 0x3D4, 0x12345678\n"
                              " result = v + w\n"
                              "}\n");
    FakePorts seq, crtc;
    seq.nextRead = 0x21;
    crtc.nextRead = 0xAB;
    sim::Machine::current().attachPorts(0x3C4, 2, &seq);
    sim::Machine::current().attachPorts(0x3D4, 2, &crtc, 4);
    int r = 0;
    ASSERT_EQ(grafExec(h, "SetGraphics", &r), 1);
    EXPECT_TRUE(failures.empty()) << failures.front();
    using Op = FakePorts::Op;
    const std::vector<Op> wantSeq = {{true, 0x3C4, 1, 0x17},
                                     {false, 0x3C5, 1, 0x21},
                                     {true, 0x3C5, 1, 0x61},
                                     {true, 0x3C4, 1, 0x12},
                                     {true, 0x3C5, 1, 0x02}};
    EXPECT_EQ(seq.ops, wantSeq);
    const std::vector<Op> wantCrtc = {{false, 0x3D4, 2, 0xAB}, {true, 0x3D4, 4, 0x12345678}};
    EXPECT_EQ(crtc.ops, wantCrtc);
    EXPECT_EQ(r, 0x21 + 0xAB);
}

TEST_F(Grafstore, MemoryAccessesReachMappedDevices) {
    GrafinfoHandle h = parsed("memory 0xA0000 0x100\nmemory REGS 0xFE000000 0x100\n"
                              "procedure Program(base) {\n"
                              " write32 REGS, base + 4, 0xCAFEF00D\n"
                              " write16 REGS, base, 0x1234\n"
                              " r = read16 REGS, 0x20\n"
                              " write8 MEMORY, 0xFF, r\n"
                              " result = read8 MEMORY, 0xFF\n"
                              "}\n");
    FakeRegs regs;
    auto *host = static_cast<uint8_t *>(graf::configOf(h).areas[1].mapped);
    sim::Machine::current().mapDevice(host + 0x10, 0x20, &regs);
    int r = 0;
    ASSERT_EQ(grafExec(h, "Program", &r, 0x10, 0, 0, 0), 1);
    EXPECT_TRUE(failures.empty()) << failures.front();
    const std::vector<std::pair<uint32_t, uint32_t>> want = {{4, 0xCAFEF00D}, {0, 0x1234}};
    EXPECT_EQ(regs.writes, want);
    EXPECT_EQ(r, 0x10) << "read16 of offset 0x10 in the device, stored as one byte";
    auto *mem = static_cast<uint8_t *>(graf::configOf(h).areas[0].mapped);
    EXPECT_EQ(mem[0xFF], 0x10);
}

TEST_F(Grafstore, ControlFlowCallsAndTime) {
    GrafinfoHandle h = parsed("procedure Pick(n) {\n"
                              " if n < 0 {\n  result = -1\n"
                              " } else if n == 0 {\n  result = 100\n"
                              " } else if n >= 10 {\n  return\n  result = 5\n"
                              " } else {\n  repeat n {\n   result = result + 2\n  }\n }\n"
                              "}\n"
                              "procedure Outer(n) {\n"
                              " a = call Pick n\n call Pick\n wait a\n"
                              " repeat 0 {\n  fail\n }\n result = a\n"
                              "}\n"
                              "procedure Guarded(n) {\n call Check n\n result = 1\n}\n"
                              "procedure Check(n) {\n if n {\n  fail\n }\n}\n");
    struct Case {
        int n, want;
    };
    for (Case k : {Case{-3, -1}, Case{0, 100}, Case{4, 8}, Case{12, 0}}) {
        int r = 99;
        EXPECT_EQ(grafExec(h, "Pick", &r, k.n, 0, 0, 0), 1);
        EXPECT_EQ(r, k.want) << k.n;
    }
    uint64_t t0 = sim::Machine::current().nowMicros();
    int r = 0;
    EXPECT_EQ(grafExec(h, "Outer", &r, 3, 0, 0, 0), 1);
    EXPECT_EQ(r, 6);
    EXPECT_EQ(sim::Machine::current().nowMicros() - t0, 6u);
    EXPECT_EQ(grafExec(h, "Guarded", &r, 0, 0, 0, 0), 1);
    r = 42;
    EXPECT_EQ(grafExec(h, "Guarded", &r, 1, 0, 0, 0), 0) << "a failing callee fails the caller";
    EXPECT_EQ(r, 42);
    EXPECT_TRUE(failures.empty());
}

TEST_F(Grafstore, ExpressionsFollowThirtyTwoBitRules) {
    struct Case {
        const char *expr;
        int want;
    };
    const Case cases[] = {
        {"1 + 2 * 3", 7},
        {"(1 + 2) * 3", 9},
        {"10 - 4 - 3", 3},
        {"100 / 7 % 4", 2},
        {"-7 / 2", -3},
        {"-7 % 2", -1},
        {"0x80000000 / -1", INT32_MIN},
        {"0x80000000 % -1", 0},
        {"0xFFFFFFFF", -1},
        {"4294967295 + 2", 1},
        {"0x7FFFFFFF + 1", INT32_MIN},
        {"1 << 4 | 1", 17},
        {"0x80000000 >> 31", 1},
        {"1 << 32", 0},
        {"1 << -1", 0},
        {"0xF0 & 0x3C ^ 0x0F", 0x3F},
        {"~0", -1},
        {"!5", 0},
        {"!0", 1},
        {"-(-3)", 3},
        {"3 < 4 == 1", 1},
        {"-1 < 0", 1},
        {"2 >= 2 && 1 <= 0", 0},
        {"0 || 3 != 3 || 5 > 4", 1},
        {"0 && 1 / 0", 0},
        {"1 || $ABSENT", 1},
        {"$WIDTH * 3 / 2", 960},
        {"$NEG >> 28", 0xF},
    };
    graf::Builder b;
    b.integer("WIDTH", 640).integer("NEG", -1);
    for (size_t i = 0; i < std::size(cases); ++i)
        b.procedure("E" + std::to_string(i), std::string("result = ") + cases[i].expr);
    GrafinfoHandle h = graf::makeHandle(b.build());
    for (size_t i = 0; i < std::size(cases); ++i) {
        int r = 12345;
        EXPECT_EQ(grafExec(h, ("E" + std::to_string(i)).c_str(), &r), 1) << cases[i].expr;
        EXPECT_EQ(r, cases[i].want) << cases[i].expr;
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(Grafstore, RuntimeErrorsStopTheProcedureAndAreReported) {
    struct Case {
        const char *code;
        const char *failure;
    };
    const Case cases[] = {
        {"out8 0x80, 1\nx = 1 / (1 - 1)", "t.graf:4: procedure P: division by zero"},
        {"out8 0x80, 1\nx = y", "t.graf:4: procedure P: variable y read before it is set"},
        {"out8 0x80, 1\nx = $GONE", "t.graf:4: procedure P: no integer key GONE"},
        {"out8 0x80, 1\nout8 0x10000, 1", "t.graf:4: procedure P: port 65536 out of range"},
        {"out8 0x80, 1\nrepeat -1 {\n}", "t.graf:4: procedure P: negative repeat count -1"},
        {"out8 0x80, 1\nwait -5", "t.graf:4: procedure P: negative wait -5"},
        {"out8 0x80, 1\nwrite8 REGS, 0x10, 1",
         "t.graf:4: procedure P: offset 16 outside memory area REGS"},
        {"out8 0x80, 1\nwrite32 REGS, 13, 1",
         "t.graf:4: procedure P: offset 13 outside memory area REGS"},
        {"out8 0x80, 1\nx = read8 REGS, -1",
         "t.graf:4: procedure P: offset -1 outside memory area REGS"},
        {"out8 0x80, 1\nwrite8 MEMORY, 0, 1", "t.graf:4: procedure P: no memory area MEMORY"},
        {"out8 0x80, 1\nwrite8 LATER, 0, 1",
         "t.graf:4: procedure P: memory area LATER is not mapped"},
        {"out8 0x80, 1\ncall Nowhere", "t.graf:4: procedure P: no procedure Nowhere"},
        {"out8 0x80, 1\ncall Q 1", "t.graf:4: procedure P: too many arguments for Q"},
        {"out8 0x80, 1\ncall Loop", "t.graf:101: procedure Loop: calls nested too deeply"},
        {"out8 0x80, 1\nrepeat 0x7FFFFFFF {\n}",
         "t.graf:4: procedure P: statement budget exceeded (runaway loop?)"},
    };
    for (const Case &k : cases) {
        SetUp();
        std::string text = "memory REGS 0 0x10\nprocedure P {\n" + std::string(k.code) +
                           "\nresult = 1\n}\nprocedure Q {\n}\n";
        while (std::count(text.begin(), text.end(), '\n') < 99)
            text += "\n";
        text += "procedure Loop {\n call Loop\n}\nmemory LATER 0 4\n";
        graf::Config c;
        std::string error;
        ASSERT_TRUE(graf::parse(text, "t.graf", c, error)) << error;
        c.areas[0].mapped = sim::Machine::current().addArea("REGS", 0, 0x10);
        GrafinfoHandle h = graf::makeHandle(c);
        FakePorts post;
        sim::Machine::current().attachPorts(0x80, 1, &post);

        int r = -1;
        EXPECT_EQ(grafExec(h, "P", &r), 0) << k.code;
        EXPECT_EQ(r, -1) << k.code;
        EXPECT_EQ(post.ops.size(), 1u) << "statements before the error ran: " << k.code;
        ASSERT_EQ(failures.size(), 1u) << k.code;
        EXPECT_EQ(failures[0], k.failure);
        ASSERT_EQ(graf::runLog().size(), 1u);
        EXPECT_FALSE(graf::runLog()[0].ran);
    }
}

TEST_F(Grafstore, HandlesAreIndependentCopiesAndReleasedTogether) {
    graf::Config c = graf::Builder().integer("A", 1).build();
    GrafinfoHandle h1 = graf::makeHandle(c);
    GrafinfoHandle h2 = graf::makeHandle(c);
    graf::configOf(h1).ints["A"] = 2;
    int v = 0;
    EXPECT_EQ(grafGetInt(h2, "A", &v), 1);
    EXPECT_EQ(v, 1);
    graf::releaseAll();
    EXPECT_EQ(graf::findConfig(h1), nullptr);
    EXPECT_EQ(grafGetInt(h2, "A", &v), 0);
    EXPECT_THROW(graf::configOf(h1), std::invalid_argument);
}

} // namespace
