// orvel as its users run it: a child process on a simulated machine built
// from a board file, its output, exit status and port trace.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/orvel_test_XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string &name, const std::string &content) const {
        std::string p = path(name);
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string path(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct Outcome {
    int status = -1;
    std::string out, err;
    std::vector<std::string> trace;
};

Outcome orvel(const TempDir &dir, const std::string &args) {
    const std::string out = dir.path("out"), err = dir.path("err");
    const std::string cmd =
        std::string("'") + ORVEL_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
    Outcome r;
    const int st = std::system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    r.trace = lines(readFile(dir.path("trace")));
    return r;
}

std::string board(const std::string &keys) {
    return "adapter zandel\nmemory 0x12000000 0x1000000\n" + keys;
}

struct Case {
    const char *name;
    const char *board; // null: the embedded default board
    int status;
    const char *out;
    size_t traceLines; // privilege call and port accesses; 0: no trace expected
};

// Each configuration byte is one index write and one data read, so a probe
// that stops after the vendor has 1 + 2 * 2 trace lines, after the device
// 1 + 4 * 2, and a full probe 1 + 6 * 2.
const Case kCases[] = {
    {"DefaultBoard", nullptr, 0, "0X1200\n", 13},
    {"BaseBytes0And0x12", "string BUS = \"vlb\"\nint CFG_BASE = 0x1200\n", 0, "0X1200\n", 13},
    {"BaseZero", "string BUS = \"vlb\"\nint CFG_BASE = 0\n", 0, "0\n", 13},
    {"HighBase", "string BUS = \"vlb\"\nint CFG_BASE = 0xFD01\n", 0, "0XFD01\n", 13},
    {"WrongVendor", "string BUS = \"vlb\"\nint CHIP_VENDOR = 0x100F\n", 1, "", 5},
    {"WrongDevice", "string BUS = \"vlb\"\nint CHIP_DEVICE = 0x9001\n", 1, "", 9},
    {"BoardOnPci", "string BUS = \"pci\"\n", 1, "", 5},
};

class OrvelProbe : public ::testing::TestWithParam<Case> {};

TEST_P(OrvelProbe, PrintsTheBaseOfABoardAnsweringOnTheVlBusOnly) {
    const Case &c = GetParam();
    TempDir dir;
    std::string args = "--trace '" + dir.path("trace") + "'";
    if (c.board)
        args += " --board '" + dir.file("board.graf", board(c.board)) + "'";
    const Outcome r = orvel(dir, args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.trace.size(), c.traceLines) << readFile(dir.path("trace"));
    EXPECT_EQ(r.trace[0], "sysi86 112, 3") << "the privilege comes before any port";
    for (size_t i = 1; i < r.trace.size(); i++) {
        const std::string want = i % 2 ? "out8 0x9100 <- " : "in8 0x9104 -> ";
        EXPECT_EQ(r.trace[i].rfind(want, 0), 0u) << "line " << i << ": " << r.trace[i];
    }
    // Vendor, device and base bytes in that order.
    const char *indices[] = {"0x00", "0x01", "0x02", "0x03", "0x12", "0x13"};
    for (size_t i = 1, k = 0; i < r.trace.size(); i += 2, k++)
        EXPECT_EQ(r.trace[i], std::string("out8 0x9100 <- ") + indices[k]);
}

INSTANTIATE_TEST_SUITE_P(Boards, OrvelProbe, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct BadUse {
    const char *name;
    const char *args; // @ stands for the scratch directory
    const char *message;
};

const BadUse kBadUses[] = {
    {"UnknownOption", "--verbose", "orvel: unknown argument \"--verbose\""},
    {"StrayArgument", "board.graf", "orvel: unknown argument \"board.graf\""},
    {"BoardWithoutFile", "--board", "orvel: --board needs a file name"},
    {"MissingBoardFile", "--board @/none.graf", "orvel: @/none.graf: cannot open file"},
    {"BoardOfNoModel", "--board @/nomodel.graf", "orvel: @/nomodel.graf: no adapter model"},
    {"BoardTheModelCannotBe", "--board @/isa.graf", "orvel: @/isa.graf: zandel board: BUS is"},
    {"TraceCannotBeWritten", "--trace @/no/such/dir", "orvel: @/no/such/dir: cannot write"},
};

std::string atDir(std::string s, const TempDir &dir) {
    for (size_t at; (at = s.find('@')) != std::string::npos;)
        s.replace(at, 1, dir.path("").substr(0, dir.path("").size() - 1));
    return s;
}

TEST(OrvelUsage, BadInputIsOneLineAndStatus2) {
    for (const BadUse &b : kBadUses) {
        TempDir dir;
        dir.file("nomodel.graf", "adapter nosuchboard\n");
        dir.file("isa.graf", board("string BUS = \"isa\"\n"));
        const Outcome r = orvel(dir, atDir(b.args, dir));
        EXPECT_EQ(r.status, 2) << b.name;
        EXPECT_EQ(r.out, "") << b.name;
        const std::vector<std::string> err = lines(r.err);
        ASSERT_EQ(err.size(), 1u) << b.name << ": " << r.err;
        EXPECT_EQ(err[0].rfind(atDir(b.message, dir), 0), 0u) << b.name << ": " << err[0];
    }
}

TEST(OrvelUsage, HelpSaysHowToRunIt) {
    TempDir dir;
    const Outcome r = orvel(dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: orvel [--board FILE] [--trace FILE]\n", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
}

} // namespace
