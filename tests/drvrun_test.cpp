// drvrun as its users meet it: the real binary, its exit status and output,
// on good configurations, on every kind of bad input, and on a run whose
// drawing is made wrong on purpose (a hidden test option corrupts one pixel),
// so the comparison is seen to catch it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drivertable.h"

namespace {

struct Result {
    int status = -1;    // exit status; -1 when the program did not exit normally
    std::string output; // stdout and stderr together
    std::vector<std::string> lines;
};

Result drvrun(const std::string &args, const std::string &environment = "") {
    Result r;
    std::string cmd = environment + "'" + DRVRUN_PATH + "' " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.output.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::istringstream in(r.output);
    for (std::string l; std::getline(in, l);)
        r.lines.push_back(l);
    return r;
}

std::string source(const std::string &rel) {
    return std::string(DRV_SOURCE_DIR) + "/" + rel;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A scratch directory of the test's own, removed at the end.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/drvrun_test_XXXXXX";
        path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string &name, const std::string &content) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string path(const std::string &name) const { return path_ + "/" + name; }
    const std::string &root() const { return path_; }

  private:
    std::string path_;
};

// The example board with `from` replaced by `to` (the text must hold `from`).
std::string edited(const std::string &rel, const std::string &from, const std::string &to) {
    std::string s = readFile(source(rel));
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

// The example board without one procedure.
std::string withoutProcedure(const std::string &rel, const std::string &name) {
    std::string s = readFile(source(rel));
    size_t at = s.find("procedure " + name);
    size_t end = s.find("\n}\n", at);
    EXPECT_NE(end, std::string::npos) << name;
    if (at != std::string::npos && end != std::string::npos)
        s.erase(at, end + 3 - at);
    return s;
}

// The row of a step in the table: "  NAME  PATH  BUS  DIFFER ...".
std::vector<std::string> rowOf(const Result &r, const std::string &step) {
    for (const std::string &l : r.lines) {
        std::istringstream in(l);
        std::vector<std::string> fields;
        for (std::string f; in >> f;)
            fields.push_back(f);
        if (fields.size() >= 4 && fields[0] == step)
            return fields;
    }
    return {};
}

const char *const kDrawingSteps[] = {
    "fill-copy",
    "image",
    "read-back",
    "fill-xor",
    "fill-alus",
    "fill-planemask",
    "spans",
    "solid-rects",
    "copy",
    "copy-xor",
    "copy-planemask",
    "bitmap",
    "opaque-bitmap",
    "bitmap-offset",
    "glyphs",
    "text",
    "text-transparent",
    "tile",
    "tiled-fill",
    "stippled-fill",
    "opaque-stippled",
    "segments",
    "points",
    "fill-after-switch",
    "repaint",
};

// ---- a good run ----

TEST(DrvrunRun, DefaultConfigurationRunsEveryStepWithoutDifferences) {
    Result r = drvrun("run brisko8");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("brisko8 on cirrus/gd5436/gd5480.graf"), std::string::npos) << r.output;
    for (const char *life :
         {"Probe", "Init", "root-window", "palette", "cursor", "console-switch", "FreeScreen"})
        EXPECT_FALSE(rowOf(r, life).empty()) << life << "\n" << r.output;
    for (const char *step : kDrawingSteps) {
        std::vector<std::string> row = rowOf(r, step);
        ASSERT_FALSE(row.empty()) << step << "\n" << r.output;
        EXPECT_TRUE(row[1] == "accel" || row[1] == "generic") << step;
        EXPECT_EQ(row[3], "0") << step;
    }
    // Bus accesses are counted: Init programs the adapter.
    EXPECT_NE(rowOf(r, "Init")[2], "0");
    EXPECT_EQ(r.lines.back().rfind("brisko8: ok: ", 0), 0u) << r.output;
    EXPECT_NE(r.lines.back().find(" 0 pixels differ"), std::string::npos);
}

// The condor example: the chip layer's second dual-head family, with the
// clock and memory its video BIOS left.
TEST(DrvrunRun, TheCondorExampleRunsClean) {
    Result r = drvrun("run quarn --config '" + source("matrox/quarn/condor.graf") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.lines.back().rfind("quarn: ok: ", 0), 0u) << r.output;
    EXPECT_NE(r.lines.back().find(" 0 pixels differ"), std::string::npos) << r.output;
}

// Each step's shapes reach the driver's own routine wherever it has one:
// tiles and stipples come two boxes a call (fewer go to the server's
// routines in some drivers), bitmaps start on a byte.
TEST(DrvrunRun, StepsReachTheAcceleratedRoutines) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"tesk", {"tile", "stippled-fill", "opaque-stippled"}},
        {"hobra", {"tile", "stippled-fill", "opaque-stippled"}},
        {"nelto", {"bitmap", "opaque-bitmap"}},
    };
    for (const auto &[driver, steps] : cases) {
        Result r = drvrun("run " + driver);
        ASSERT_EQ(r.status, 0) << r.output;
        for (const std::string &step : steps) {
            std::vector<std::string> row = rowOf(r, step);
            ASSERT_GE(row.size(), 2u) << driver << " " << step << "\n" << r.output;
            EXPECT_EQ(row[1], "accel") << driver << " " << step << "\n" << r.output;
        }
    }
}

// A plane mask that is not all ones puts the gd5436 builds on the server's
// generic routines; the table names the routine, and accelerated fills stay
// accelerated.
TEST(DrvrunRun, GenericFallbacksAreTold) {
    Result r = drvrun("run lomvi16");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> masked = rowOf(r, "fill-planemask");
    ASSERT_EQ(masked.size(), 5u) << r.output;
    EXPECT_EQ(masked[1], "generic");
    EXPECT_EQ(masked[4], "genSolidFillRects");
    std::vector<std::string> plain = rowOf(r, "fill-copy");
    ASSERT_EQ(plain.size(), 4u) << r.output;
    EXPECT_EQ(plain[1], "accel");
}

// The twister example board: every step matches the reference renderer, and
// its plane-mask rule sends the masked steps to the server's routines.
TEST(DrvrunRun, TwisterBoardUnderItsPlaneMaskRule) {
    Result r = drvrun("run quarn --config '" + source("matrox/quarn/twister.graf") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *step : kDrawingSteps) {
        std::vector<std::string> row = rowOf(r, step);
        ASSERT_FALSE(row.empty()) << step << "\n" << r.output;
        EXPECT_EQ(row[3], "0") << step;
    }
    for (const char *step : {"fill-planemask", "copy-planemask"})
        EXPECT_EQ(rowOf(r, step)[1], "generic") << step;
    EXPECT_EQ(rowOf(r, "fill-copy")[1], "accel");
    EXPECT_EQ(r.lines.back().rfind("quarn: ok: ", 0), 0u) << r.output;
}

TEST(DrvrunRun, PictureAndTraceAreWritten) {
    TempDir dir;
    Result r = drvrun("run hadra24 --png '" + dir.path("screen.png") + "' --trace '" +
                      dir.path("bus.trace") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    std::string png = readFile(dir.path("screen.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
    };
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(be32(16), 800u); // hadra24's example board is 800 x 600
    EXPECT_EQ(be32(20), 600u);

    std::string trace = readFile(dir.path("bus.trace"));
    EXPECT_EQ(trace.rfind("# Probe\n# Init\n", 0), 0u) << trace.substr(0, 200);
    EXPECT_NE(trace.find("# FreeScreen"), std::string::npos);
    EXPECT_NE(trace.find("out16 0x03C4"), std::string::npos); // the mode set
    // A wait that reads one register again and again is one line with its count.
    EXPECT_NE(trace.find(" times)\n"), std::string::npos);
}

// The console switch may leave video memory cleared, as the console left it;
// the server repaints on return, and so does the run: the final picture shows
// the scene, drawn again through the driver and checked as every step is.
TEST(DrvrunRun, TheSceneIsDrawnAgainAfterTheConsoleSwitch) {
    Result r = drvrun("run pravo8");
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> repaint = rowOf(r, "repaint");
    ASSERT_GE(repaint.size(), 4u) << r.output;
    EXPECT_NE(repaint[2], "0"); // the whole screen goes through the driver
    EXPECT_EQ(repaint[3], "0");
    // After the switch, before the last drawing step.
    EXPECT_LT(r.output.find("  console-switch "), r.output.find("  repaint "));
    EXPECT_LT(r.output.find("  repaint "), r.output.find("  fill-after-switch "));
}

// The driver's own log stays readable: each message once per step with its
// count, empty ones only counted, every line under the driver's name so it
// is not taken for drvrun's verdict; the cursor the run realized is released
// before the close, so no block of the driver is left over.
TEST(DrvrunRun, DriverMessagesAreFoldedAndMarked) {
    struct Case {
        const char *driver;
        std::vector<std::string> want;
    };
    for (const Case &c : {Case{"tesk", {"      tesk ErrorF: 1024 empty messages"}},
                          Case{"hobra",
                               {"      hobra ErrorF: assertion failure: hobraDispCur 327",
                                "      hobra ErrorF: assertion failure: hobraDispCur 382"}},
                          Case{"rasmo", {}}}) {
        Result r = drvrun(std::string("run ") + c.driver);
        EXPECT_EQ(r.status, 0) << r.output;
        for (const std::string &line : c.want)
            EXPECT_NE(std::find(r.lines.begin(), r.lines.end(), line), r.lines.end())
                << line << "\n"
                << r.output;
        std::vector<std::string> messages;
        for (const std::string &l : r.lines) {
            if (l.find("ErrorF:") == std::string::npos)
                continue;
            EXPECT_EQ(l.rfind(std::string("      ") + c.driver + " ErrorF: ", 0), 0u) << l;
            messages.push_back(l);
        }
        EXPECT_LT(messages.size(), 40u) << r.output;
        EXPECT_EQ(r.output.find("still held"), std::string::npos) << r.output;
    }
}

// ---- a driver whose drawing is wrong ----

TEST(DrvrunFault, OneWrongPixelFailsTheRunAndIsShownInItsStep) {
    Result r = drvrun("run brisko16 --inject-fault copy");
    EXPECT_EQ(r.status, 1) << r.output;
    std::vector<std::string> copy = rowOf(r, "copy");
    ASSERT_FALSE(copy.empty()) << r.output;
    EXPECT_EQ(copy[3], "1");
    EXPECT_NE(r.output.find("1 pixel differs, first at (1,1)"), std::string::npos) << r.output;
    // Only that step: later steps are judged on their own pixels.
    EXPECT_EQ(rowOf(r, "copy-xor")[3], "0");
    EXPECT_EQ(r.lines.back().rfind("brisko16: FAILED: ", 0), 0u) << r.output;
}

TEST(DrvrunFault, RunAllFailsWhenAnyDriverDiffers) {
    Result r = drvrun("run --all --inject-fault fill-xor");
    EXPECT_EQ(r.status, 1) << r.output;
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NE(r.lines.back().find(" boards: 0 ok, "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("] brisko8: FAILED: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("fill-xor"), std::string::npos);
}

// ---- run --all and list ----

// One full run, as a person makes it: progress and a line per driver, the
// summary, and the folder of pictures to look through afterwards.
TEST(DrvrunAll, EveryBuiltDriverWithProgressASummaryAndItsPicture) {
    TempDir dir;
    const std::string folder = dir.path("pictures");
    Result r = drvrun("run --all --png-dir '" + folder + "'");
    ASSERT_FALSE(r.lines.empty());
    const std::string &summary = r.lines.back();
    EXPECT_EQ(summary.rfind("drvrun: ", 0), 0u) << r.output;
    // The exit status follows the summary.
    bool anyFailed = summary.find(" 0 failed") == std::string::npos;
    EXPECT_EQ(r.status, anyFailed ? 1 : 0) << r.output;
    // Every driver on every board of the driver tables, the default under
    // the driver's name, the others under their full names: each passes.
    const drivertable::Table &table = drivertable::sourceTree();
    std::stringstream names(DRV_DRIVER_LIST);
    int drivers = 0, count = 0, skipped = 0;
    std::map<std::string, std::string> pictures; // contents -> driver and board
    for (std::string name; std::getline(names, name, ',');) {
        drivers++;
        std::vector<const drivertable::Board *> boards = table.runBoards(name);
        // A driver that comes up on no board yet is passed over, and draws
        // nothing.
        if (boards.empty()) {
            skipped++;
            EXPECT_NE(r.output.find("] " + name + ": skipped: no default configuration"),
                      std::string::npos)
                << r.output;
            EXPECT_TRUE(readFile(folder + "/" + name + ".png").empty()) << name;
            continue;
        }
        for (const drivertable::Board *b : boards) {
            count++;
            const std::string label = b->isDefault ? name : b->id;
            EXPECT_NE(r.output.find("] " + label + ": ok: "), std::string::npos) << label << "\n"
                                                                                 << r.output;
            std::string file = b->isDefault ? name : name + "-" + b->id.substr(name.size() + 1);
            std::string png = readFile(folder + "/" + file + ".png");
            EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << label;
            // Each picture is its own: the scene writes the driver's name, and
            // is on the screen again after the console switch.
            auto [it, fresh] = pictures.emplace(png, label);
            EXPECT_TRUE(fresh) << label << " drew the same picture as " << it->second;
        }
    }
    EXPECT_NE(r.output.find("/" + std::to_string(count + skipped) + "] "), std::string::npos)
        << r.output;
    EXPECT_EQ(summary, "drvrun: " + std::to_string(drivers) + " drivers on " +
                           std::to_string(count) + " boards: " + std::to_string(count) +
                           " ok, 0 failed, " + std::to_string(skipped) +
                           " skipped (no default configuration)");
    EXPECT_EQ(drvrun("run brisko8 --png-dir '" + folder + "'").status, 2);
}

// Drivers without a default configuration are skipped, not failed; the
// driver directory can be another one.
TEST(DrvrunAll, DriversWithoutADefaultAreSkipped) {
    TempDir dir;
    std::string copy = "cp '" + std::string(DRV_LIB_DIR) + "/libbrisko8.so' '" + DRVRUN_TESTDATA +
                       "/libzerorecord.so' '" + dir.root() + "/'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    Result r = drvrun("run --all", "DRVRUN_LIB_DIR='" + dir.root() + "' ");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("[1/2] brisko8: ok: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("[2/2] zerorecord: skipped: no default configuration"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.lines.back(),
              "drvrun: 2 drivers on 1 board: 1 ok, 0 failed, 1 skipped (no default configuration)");

    Result list = drvrun("list", "DRVRUN_LIB_DIR='" + dir.root() + "' ");
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("\nbrisko8    gd5480   8 "), std::string::npos) << list.output;
    // list binds every library it finds and says which are no drivers.
    EXPECT_NE(list.output.find("libzerorecord.so is not a driver"), std::string::npos)
        << list.output;
}

// A picture that cannot be written, found before or during the driver's run,
// fails that driver and says why on its line.
TEST(DrvrunAll, APictureThatCannotBeWrittenFailsItsDriver) {
    TempDir dir;
    std::string setup = "mkdir -p '" + dir.path("lib") + "' '" + dir.path("pictures/brisko8.png") +
                        "' && cp '" + DRV_LIB_DIR + "/libbrisko8.so' '" + DRV_LIB_DIR +
                        "/libbrisko16.so' '" + dir.path("lib") + "/' && ln -s /dev/full '" +
                        dir.path("pictures/brisko16.png") + "'";
    ASSERT_EQ(std::system(setup.c_str()), 0);
    const std::string pictures = dir.path("pictures");
    Result r = drvrun("run --all --png-dir '" + pictures + "'",
                      "DRVRUN_LIB_DIR='" + dir.path("lib") + "' ");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("[1/2] brisko16: FAILED: cannot write " + pictures +
                            "/brisko16.png: No space left on device\n      brisko16: ok: "),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("[2/2] brisko8: FAILED: cannot write " + pictures +
                            "/brisko8.png: Is a directory\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(
        r.lines.back(),
        "drvrun: 2 drivers on 2 boards: 0 ok, 2 failed, 0 skipped (no default configuration)");
}

TEST(DrvrunAll, AnEmptyDriverDirectoryIsAFailure) {
    TempDir dir;
    Result r = drvrun("run --all", "DRVRUN_LIB_DIR='" + dir.root() + "' ");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.lines, std::vector<std::string>{"drvrun: no driver libraries in " + dir.root()});
}

// One line per board, the default first and marked.
TEST(DrvrunList, EveryBoardWithAdapterDepthAndConfiguration) {
    Result r = drvrun("list");
    ASSERT_EQ(r.status, 0) << r.output;
    struct Want {
        const char *driver, *adapter, *depth, *board, *config;
    };
    std::vector<std::vector<std::string>> rows;
    for (const std::string &l : r.lines) {
        std::istringstream in(l);
        std::vector<std::string> fields;
        for (std::string f; in >> f;)
            fields.push_back(f);
        rows.push_back(fields);
    }
    auto rowOfBoard = [&](const std::string &board) {
        for (const std::vector<std::string> &row : rows)
            if (row.size() >= 6 && row[4] == board)
                return row;
        return std::vector<std::string>{};
    };
    for (const Want &w :
         {Want{"brisko8", "gd5480", "8", "brisko8/example", "cirrus/gd5436/gd5480.graf"},
          Want{"brisko24", "gd5480", "24", "brisko24/800x600", "cirrus/gd5436/gd5480.graf"},
          Want{"lomvi16", "gd5446", "16", "lomvi16/example", "cirrus/gd5436/gd5446.graf"},
          Want{"hadra24", "gd5436", "24", "hadra24/example", "cirrus/gd5436/gd5436.graf"},
          Want{"pilo", "s3_pilo", "8", "pilo/example", "s3/pilo/pilo.graf"},
          Want{"pilo", "s3_pilo", "4", "pilo/512k", "s3/pilo/pilo-512k.graf"},
          Want{"pilo", "s3_pilo", "16", "pilo/2m-d16", "s3/pilo/pilo-2m.graf"},
          Want{"rasmo", "mach32", "16", "rasmo/2m", "ati/rasmo/rasmo-2m.graf"}}) {
        std::vector<std::string> row = rowOfBoard(w.board);
        ASSERT_GE(row.size(), 6u) << w.board << "\n" << r.output;
        EXPECT_EQ(row[0], w.driver);
        EXPECT_EQ(row[1], w.adapter);
        EXPECT_EQ(row[2], w.depth);
        const bool isDefault = std::string(w.board).find("/example") != std::string::npos ||
                               std::string(w.board) == "brisko24/800x600";
        EXPECT_EQ(row[5], isDefault ? "*" : w.config) << w.board;
        EXPECT_EQ(row[isDefault ? 6 : 5], w.config) << w.board;
    }
    // A driver's default board comes first.
    for (const std::vector<std::string> &row : rows)
        if (!row.empty() && row[0] == "pilo") {
            EXPECT_EQ(row[4], "pilo/example") << r.output;
            break;
        }
}

// Another board than the default: by its name, or its full name.
TEST(DrvrunRun, AnotherBoardOfTheTable) {
    Result r = drvrun("check rasmo --board 2m");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.lines.back(), "rasmo/2m: the configuration works") << r.output;
    r = drvrun("check rasmo --board rasmo/2m");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.lines.back(), "rasmo/2m: the configuration works") << r.output;
}

// The Matrox driver on a dual-head board: its mode layer sets the first
// controller and every step draws as the reference does.
TEST(DrvrunRun, TheToucanBoardRunsClean) {
    Result r = drvrun("run quarn --config '" + source("matrox/quarn/toucan.graf") + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.lines.back().rfind("quarn: ok: ", 0), 0u) << r.output;
    EXPECT_NE(r.lines.back().find(" 0 pixels differ"), std::string::npos) << r.output;
}

// ---- check ----

// One example board serves every build and depth of its source: keys are
// changed on the command line, with --set or plainly as drvrun list shows
// them, after the default board's own changes.
TEST(DrvrunCheck, SettingsChangeTheBoard) {
    struct Case {
        std::string args, header;
    };
    for (const Case &c : {
             Case{"check lomvi16 --config '" + source("cirrus/gd5436/gd5446.graf") +
                      "' --set DEPTH=16",
                  "gd5446.graf DEPTH=16 (adapter gd5446, 1024x768, depth 16)"},
             Case{"check pravo16 --config '" + source("s3/nte/pravo.graf") +
                      "' --set DEPTH=16 --set MEMSIZE=0x200000",
                  "pravo.graf DEPTH=16 MEMSIZE=0x200000 (adapter s3, 1024x768, depth 16)"},
             Case{"check pravo16 --config '" + source("s3/nte/pravo.graf") +
                      "' MEMSIZE=0x200000 DEPTH=16",
                  "pravo.graf MEMSIZE=0x200000 DEPTH=16 (adapter s3, 1024x768, depth 16)"},
             Case{"check brisko16 PIXWIDTH=800 --set PIXHEIGHT=600",
                  "DEPTH=16 PIXWIDTH=800 PIXHEIGHT=600 (adapter gd5480, 800x600, depth 16)"},
         }) {
        Result r = drvrun(c.args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.output;
        ASSERT_FALSE(r.lines.empty());
        EXPECT_NE(r.lines[0].find(c.header), std::string::npos) << r.output;
        EXPECT_NE(r.lines.back().find(": the configuration works"), std::string::npos) << r.output;
    }
    // Without them the 16-bit build refuses the 8-bit board in its own words,
    // and the run says which changes its default board takes.
    Result r = drvrun("check pravo16 --config '" + source("s3/nte/pravo.graf") + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("pravo16 ErrorF: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(on its default board pravo16 takes MEMSIZE=0x200000 DEPTH=16; "),
              std::string::npos)
        << r.output;
}

TEST(DrvrunHelp, AfterAnyCommand) {
    for (const char *args : {"help", "--help", "run --help", "check -h", "list --help",
                             "run brisko8 --png --help", "frob --help"}) {
        Result r = drvrun(args);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.output;
        ASSERT_FALSE(r.lines.empty()) << args;
        EXPECT_EQ(r.lines[0].rfind("usage: drvrun run DRIVER ", 0), 0u) << args << "\n" << r.output;
    }
}

TEST(DrvrunCheck, AWorkingConfiguration) {
    Result r = drvrun("check brisko8 --config '" + source("cirrus/gd5436/gd5480.graf") + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.lines.back(), "brisko8: the configuration works") << r.output;
    // Bound and initialised only.
    EXPECT_TRUE(rowOf(r, "root-window").empty()) << r.output;
}

// The server's option words reach the driver's Init after argv[0].
TEST(DrvrunCheck, ServerArgsReachInit) {
    Result r = drvrun("check belki16 --server-args \"-opsflag 0x3\"");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("using genCopyRect()"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("using genDrawSolidRects()"), std::string::npos) << r.output;
}

// A driver that ends the process itself during Init ("-text" restores the
// console and exits with status 0) is a failed run, said on one line.
TEST(DrvrunCheck, ADriverEndingTheProcessInInitFails) {
    Result r = drvrun("check jorra16 --server-args -text");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.lines.back(), "drvrun: jorra16 ended the process during Init") << r.output;
}

struct BadConfig {
    const char *name;
    const char *driver;
    std::string text;
    const char *message; // the driver's own, as it gave it
};

void PrintTo(const BadConfig &c, std::ostream *os) {
    *os << c.name;
}

class DrvrunCheckFails : public ::testing::TestWithParam<BadConfig> {};

TEST_P(DrvrunCheckFails, SaysWhyWithTheDriversMessage) {
    const BadConfig &c = GetParam();
    TempDir dir;
    std::string file = dir.file("board.graf", c.text);
    Result r = drvrun(std::string("check ") + c.driver + " --config '" + file + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(r.lines.back(),
              std::string(c.driver) + ": the configuration does not work: Init returned 0")
        << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, DrvrunCheckFails,
    ::testing::Values(
        BadConfig{"LacksAProcedure", "lomvi8",
                  withoutProcedure("cirrus/gd5436/gd5446.graf", "InstalledMemory"),
                  "ErrorF: grafinfo file needs PROCEDURE InstalledMemory"},
        // The gd5446 board has no "GetScreenPitch": brisko8 needs one.
        BadConfig{"BoardOfAnotherBuild", "brisko8", readFile(source("cirrus/gd5436/gd5446.graf")),
                  "ErrorF: grafinfo file needs PROCEDURE GetScreenPitch"},
        // 1024 x 768 at 24 bits is 2.25 MB on a 2 MB board.
        BadConfig{
            "ModeLargerThanMemory", "hadra24",
            edited("cirrus/gd5436/gd5446.graf",
                   "int PIXWIDTH = 1024\nint PIXHEIGHT = 768\nint DEPTH = 8\nint PITCH = 1024",
                   "int PIXWIDTH = 1024\nint PIXHEIGHT = 768\nint DEPTH = 24\n"
                   "int PITCH = 3072"),
            "ErrorF: Not enough offscreen memory available."},
        BadConfig{"NothingButTheAdapter", "brisko8", "adapter gd5480\n", "brisko8 ErrorF: "},
        // The widest screen a key can name, of no height: nothing on the way
        // to the driver's refusal may overflow.
        BadConfig{"WidestScreenOfNoHeight", "brisko24",
                  edited("cirrus/gd5436/gd5480.graf",
                         "int PIXWIDTH = 1024\nint PIXHEIGHT = 768\nint DEPTH = 8",
                         "int PIXWIDTH = 0x7FFFFFFF\nint PIXHEIGHT = 0\nint DEPTH = 24"),
                  "ErrorF: gd5436: can't find pixel info in grafinfo file."},
        BadConfig{"WidestScreenOfNoHeightOnFuska", "fuska",
                  edited("cirrus/fuska/fuska.graf",
                         "int PIXWIDTH = 1024\nint PIXHEIGHT = 768\nint DEPTH = 16",
                         "int PIXWIDTH = 0x7FFFFFFF\nint PIXHEIGHT = 0\nint DEPTH = 24"),
                  "ErrorF: fuska: can't find pixel info in grafinfo file."}),
    [](const ::testing::TestParamInfo<BadConfig> &i) { return std::string(i.param.name); });

// ---- bad input: one line, exit status 2, never a crash ----

struct BadInput {
    const char *name;
    std::string args;   // "@" stands for the scratch directory
    std::string config; // written to @/bad.graf when not empty
    std::string message;
    std::string setup = ""; // a shell command run first, "@" as in args
};

void PrintTo(const BadInput &c, std::ostream *os) {
    *os << c.name;
}

class DrvrunBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(DrvrunBadInput, OneLineAndExitStatusTwo) {
    const BadInput &c = GetParam();
    TempDir dir;
    if (!c.config.empty())
        dir.file("bad.graf", c.config);
    auto inDir = [&](std::string text) {
        for (size_t at; (at = text.find('@')) != std::string::npos;)
            text.replace(at, 1, dir.root());
        return text;
    };
    if (!c.setup.empty()) {
        ASSERT_EQ(std::system(inDir(c.setup).c_str()), 0) << c.setup;
    }
    std::string message = inDir(c.message);
    // Input that once made drvrun wait for ever (a pipe, a device) must not
    // stop the tests: a hang shows as status 124.
    Result r = drvrun(inDir(c.args), "timeout 60 ");
    EXPECT_EQ(r.status, 2) << r.output;
    ASSERT_EQ(r.lines.size(), 1u) << r.output;
    EXPECT_EQ(r.lines[0].rfind("drvrun: ", 0), 0u) << r.output;
    EXPECT_NE(r.lines[0].find(message), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Inputs, DrvrunBadInput,
                         ::testing::Values(
                             BadInput{"UnknownDriver", "run nosuchdriver", "",
                                      "unknown driver \"nosuchdriver\""},
                             BadInput{"UnknownDriverCheck", "check nosuchdriver", "",
                                      "unknown driver"},
                             BadInput{"MissingLibraryPath", "run @/libgone.so", "",
                                      "no such driver library"},
                             BadInput{"NotADriver",
                                      std::string("run ") + DRVRUN_TESTDATA + "/libnotadriver.so",
                                      "", "is not a driver: it exports no notadriverScreenInfo"},
                             BadInput{"EmptyRecord",
                                      std::string("check ") + DRVRUN_TESTDATA + "/libzerorecord.so",
                                      "",
                                      "is not a driver: its zerorecordScreenInfo lacks Probe, Init "
                                      "or the name"},
                             BadInput{"NotALibrary", "run @/bad.graf", "int X = 1\n",
                                      "cannot load @/bad.graf"},
                             BadInput{"MissingConfig", "run brisko8 --config @/none.graf", "",
                                      "@/none.graf: cannot open file"},
                             BadInput{"ConfigIsADirectory", "check brisko8 --config @", "",
                                      ": is a directory"},
                             BadInput{"MalformedConfigLine", "check brisko8 --config @/bad.graf",
                                      "adapter gd5480\nint PIXWIDTH = 1024\nint PIXHEIGHT = \n",
                                      "@/bad.graf:3: "},
                             BadInput{"UnclosedProcedure", "run brisko8 --config @/bad.graf",
                                      "int DEPTH = 8\nprocedure SetMode {\n    out8 0x3C4, 1\n",
                                      "@/bad.graf:"},
                             BadInput{"BinaryConfig", "check brisko8 --config @/bad.graf",
                                      std::string("\x01\xFE\xB6\x00garbage", 11), "@/bad.graf:1: "},
                             BadInput{"NoCommand", "", "", "no command"},
                             BadInput{"UnknownCommand", "frob", "", "unknown command frob"},
                             BadInput{"NoDriver", "run", "", "no driver given"},
                             BadInput{"OptionWithoutValue", "run brisko8 --config", "",
                                      "--config needs a value"},
                             BadInput{"UnknownOption", "run brisko8 --fast", "",
                                      "unknown option --fast"},
                             BadInput{"AllWithAConfig", "run --all --config @/bad.graf", "",
                                      "--all"},
                             BadInput{"AllWithABoard", "run --all --board 512k", "", "--all"},
                             BadInput{"UnknownBoard", "run pilo --board nosuch", "",
                                      "drvrun: no board pilo/nosuch in the driver tables"},
                             BadInput{"BoardOfAnotherDriver", "check brisko8 --board 512k", "",
                                      "drvrun: no board brisko8/512k in the driver tables"},
                             BadInput{"BoardAndConfig",
                                      "check brisko8 --board example --config @/bad.graf", "",
                                      "--board and --config each name the configuration"},
                             BadInput{
                                 "ScreenBeyondTheStandIn", "check brisko8 --config @/bad.graf",
                                 "adapter gd5480\nint PIXWIDTH = 100000\nint PIXHEIGHT = 100000\n",
                                 "a 100000x100000 screen (PIXWIDTH x PIXHEIGHT) is more than the "
                                 "stand-in"},
                             BadInput{"PictureCannotBeWritten",
                                      "run brisko8 --png @/no/such/dir/screen.png", "",
                                      "cannot write @/no/such/dir/screen.png"},
                             BadInput{"TraceCannotBeWritten", "run brisko8 --trace @", "",
                                      "cannot write @"},
                             BadInput{"UnknownFaultStep", "run brisko8 --inject-fault nosuch", "",
                                      "no step named nosuch"},
                             // Boards for no adapter the models know, or for another driver's.
                             BadInput{"UnknownAdapter", "run brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "adapter gd5480",
                                             "adapter gd548"),
                                      "drvrun: @/bad.graf: no adapter model named \"gd548\"; the "
                                      "known adapters: "
                                      "ct, dulmo, fuska, garsk, gd5428, "},
                             BadInput{"NoAdapter", "check brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "adapter gd5480", ""),
                                      "drvrun: @/bad.graf: names no adapter (a line \"adapter "
                                      "MODEL\"); the known "
                                      "adapters: ct, dulmo, fuska, garsk, gd5428, "},
                             BadInput{"AnotherFamilysAdapter",
                                      "check tesk --config " + source("cirrus/gd5436/gd5480.graf"),
                                      "",
                                      ": a board for the gd5480 adapter; tesk drives the mach64 "
                                      "adapter"},
                             BadInput{"AnotherSourcesAdapter",
                                      "run brisko8 --config " + source("cirrus/gd6/tolva8.graf"),
                                      "",
                                      ": a board for the gd5428 adapter; brisko8 drives the "
                                      "gd5436, gd5446 or gd5480 "
                                      "adapters"},
                             // Settings that cannot be: no key, or a word for an integer key.
                             BadInput{"SettingWithoutAKey", "check brisko8 --set =16", "",
                                      "--set \"=16\" is not KEY=VALUE"},
                             BadInput{"SettingNotAnInteger", "run brisko16 --set DEPTH=sixteen", "",
                                      "DEPTH=sixteen: DEPTH is an integer key, \"sixteen\" is not "
                                      "an integer"},
                             BadInput{"SettingForEveryDriver", "run --all DEPTH=16", "", "--all"},
                             // Boards the adapter models refuse: no driver code runs.
                             BadInput{"MemsizeZero", "check brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "MEMSIZE = 0x200000",
                                             "MEMSIZE = 0"),
                                      "drvrun: @/bad.graf: the simulated machine cannot be built: "
                                      "gd5436 adapter: "
                                      "MEMSIZE must be 0x80000, 0x100000 or 0x200000"},
                             BadInput{"MemsizeNegative", "run brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "MEMSIZE = 0x200000",
                                             "MEMSIZE = -1"),
                                      "@/bad.graf: the simulated machine cannot be built: gd5436 "
                                      "adapter: MEMSIZE"},
                             BadInput{"MemsizeLargest", "check brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "MEMSIZE = 0x200000",
                                             "MEMSIZE = 0x7FFFFFFF"),
                                      "@/bad.graf: the simulated machine cannot be built: gd5436 "
                                      "adapter: MEMSIZE"},
                             BadInput{"MemsizeBetweenSizes", "run brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "MEMSIZE = 0x200000",
                                             "MEMSIZE = 0x300000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd5436 "
                                      "adapter: MEMSIZE"},
                             BadInput{"MemsizeOfAPage", "check brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf", "MEMSIZE = 0x200000",
                                             "MEMSIZE = 0x2000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd5436 "
                                      "adapter: MEMSIZE"},
                             BadInput{"ApertureOfAPage", "run brisko8 --config @/bad.graf",
                                      edited("cirrus/gd5436/gd5480.graf",
                                             "memory 0xF0000000 0x400000",
                                             "memory 0xF0000000 0x1000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd5436 "
                                      "adapter: the default "
                                      "memory area is the 4 MB linear aperture"},
                             BadInput{"BankedMemsizeZero", "check tolva8 --config @/bad.graf",
                                      edited("cirrus/gd6/tolva8.graf", "MEMSIZE = 0x100000",
                                             "MEMSIZE = 0"),
                                      "@/bad.graf: the simulated machine cannot be built: gd6 "
                                      "adapter: MEMSIZE"},
                             BadInput{"BankedMemsizeBetweenSizes", "run tolva8 --config @/bad.graf",
                                      edited("cirrus/gd6/tolva8.graf", "MEMSIZE = 0x100000",
                                             "MEMSIZE = 0x300000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd6 "
                                      "adapter: MEMSIZE"},
                             BadInput{"BankedMemsizeOfAPage", "check tolva8 --config @/bad.graf",
                                      edited("cirrus/gd6/tolva8.graf", "MEMSIZE = 0x100000",
                                             "MEMSIZE = 0x2000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd6 "
                                      "adapter: MEMSIZE"},
                             BadInput{"BankWindowOfAMegabyte", "run tolva8 --config @/bad.graf",
                                      edited("cirrus/gd6/tolva8.graf", "memory 0xA0000 0x10000",
                                             "memory 0xA0000 0x100000"),
                                      "@/bad.graf: the simulated machine cannot be built: gd6 "
                                      "adapter: the default "
                                      "memory area is the bank window"},
                             BadInput{"FuskaMemsizeNotInBlocks", "check fuska --config @/bad.graf",
                                      edited("cirrus/fuska/fuska.graf", "MEMSIZE = 0x400000",
                                             "MEMSIZE = 0x12345"),
                                      "@/bad.graf: the simulated machine cannot be built: fuska "
                                      "adapter: MEMSIZE must "
                                      "be a multiple of 64 KB"},
                             BadInput{"FuskaRegisterAreaTooSmall", "run fuska --config @/bad.graf",
                                      edited("cirrus/fuska/fuska.graf",
                                             "memory REGS 0xE1000000 0x1000",
                                             "memory REGS 0xE1000000 0x10"),
                                      "@/bad.graf: the simulated machine cannot be built: fuska "
                                      "adapter: the REGS area "
                                      "must be at least 0x800 bytes, it is 0x10"},
                             // Configuration files that are no files, or far too large for one.
                             BadInput{"ConfigIsADevice", "run brisko8 --config /dev/zero", "",
                                      "drvrun: /dev/zero: is a device, not a regular file"},
                             BadInput{"ConfigIsAPipeWithoutWriter",
                                      "check brisko8 --config @/pipe.graf", "",
                                      "drvrun: @/pipe.graf: is a pipe, not a regular file",
                                      "mkfifo '@/pipe.graf'"},
                             BadInput{"ConfigTooLarge", "check brisko8 --config @/huge.graf", "",
                                      "drvrun: @/huge.graf: larger than 1 MB, too large for a "
                                      "grafinfo file",
                                      "truncate -s 2M '@/huge.graf'"},
                             // Nesting far past the bound, which once overflowed the parser's
                             // stack.
                             BadInput{"ParenthesesNestedTooDeeply",
                                      "check brisko8 --config @/bad.graf",
                                      "procedure P {\n x = " + std::string(100000, '(') + "1" +
                                          std::string(100000, ')') + "\n}\n",
                                      "drvrun: @/bad.graf:2: expression nested more than 256 "
                                      "levels deep"},
                             BadInput{"MinusSignsNestedTooDeeply",
                                      "run brisko8 --config @/bad.graf",
                                      "procedure P {\n x = " + std::string(100000, '-') + "1\n}\n",
                                      "drvrun: @/bad.graf:2: expression nested more than 256 "
                                      "levels deep"},
                             BadInput{"BlocksNestedTooDeeply", "check brisko8 --config @/bad.graf",
                                      [] {
                                          std::string text = "procedure P {\n";
                                          for (int i = 0; i < 100000; i++)
                                              text += "if 1 {\n";
                                          return text;
                                      }(),
                                      "drvrun: @/bad.graf:257: blocks nested more than 256 levels "
                                      "deep"},
                             // A file to write that nothing would ever read.
                             BadInput{
                                 "PictureToAPipeWithoutReader", "run brisko8 --png @/screen.png",
                                 "",
                                 "drvrun: cannot write @/screen.png: nothing reads from the pipe",
                                 "mkfifo '@/screen.png'"},
                             BadInput{
                                 "TraceToAPipeWithoutReader", "run brisko8 --trace @/bus.trace", "",
                                 "drvrun: cannot write @/bus.trace: nothing reads from the pipe",
                                 "mkfifo '@/bus.trace'"},
                             BadInput{"PictureFolderIsADevice", "run --all --png-dir /dev/full", "",
                                      "drvrun: cannot make the folder /dev/full: Not a directory"}),
                         [](const ::testing::TestParamInfo<BadInput> &i) {
                             return std::string(i.param.name);
                         });

// A write that fails only during the run (a full disk): the report stands,
// then one line says which file is missing, and the status is bad input.
TEST(DrvrunOutput, AWriteThatFailsDuringTheRunEndsTheReport) {
    for (const char *option : {"--png", "--trace"}) {
        Result r = drvrun(std::string("run brisko8 ") + option + " /dev/full");
        EXPECT_EQ(r.status, 2) << option << "\n" << r.output;
        ASSERT_GE(r.lines.size(), 2u) << r.output;
        EXPECT_EQ(r.lines.back(), "drvrun: cannot write /dev/full: No space left on device")
            << r.output;
        EXPECT_EQ(r.lines[r.lines.size() - 2].rfind("brisko8: ok: ", 0), 0u) << r.output;
        // libpng says nothing of its own.
        EXPECT_EQ(r.output.find("libpng"), std::string::npos) << r.output;
    }
}

// The report itself that cannot be written is said on standard error.
TEST(DrvrunOutput, AReportThatCannotBeWrittenIsBadInput) {
    TempDir dir;
    std::string cmd =
        std::string("'") + DRVRUN_PATH + "' check brisko8 >/dev/full 2>'" + dir.path("err") + "'";
    int st = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
    EXPECT_EQ(readFile(dir.path("err")), "drvrun: cannot write the report to standard output\n");
}

// A driver that dies is reported, and run --all goes on past it.
TEST(DrvrunCrash, ADriverThatDiesIsReported) {
    Result r = drvrun(std::string("run ") + DRVRUN_TESTDATA + "/libcrashing.so --config '" +
                      source("cirrus/gd5436/gd5480.graf") + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    ASSERT_FALSE(r.lines.empty());
    EXPECT_NE(r.lines.back().find("crashing.so crashed (signal 6, Aborted)"), std::string::npos)
        << r.output;
}

// The bad-input message never carries raw bytes of the file to the terminal.
TEST(DrvrunBadInputText, ControlBytesOfAFileAreEscaped) {
    TempDir dir;
    std::string file = dir.file("bad.graf", std::string("\xB6\x07", 2));
    Result r = drvrun("check brisko8 --config '" + file + "'");
    EXPECT_EQ(r.status, 2) << r.output;
    for (unsigned char c : r.output)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << r.output;
}

// ---- the driver tables and example files, as embedded at build time ----

// Runs the embedding script on a tree of the test's own; true when it
// succeeded, with the generated source in `out`.
bool embed(const TempDir &tree, std::string &out) {
    std::string cmd = std::string("'") + DRVRUN_CMAKE + "' -DSOURCE_DIR='" + tree.root() +
                      "' -DOUTPUT='" + tree.path("out.cpp") + "' -P '" + DRVRUN_EMBED_SCRIPT +
                      "' >/dev/null 2>&1";
    bool ok = std::system(cmd.c_str()) == 0;
    out = readFile(tree.path("out.cpp"));
    return ok;
}

TEST(DrvrunEmbed, EveryTableGrafinfoAndProcedureFile) {
    TempDir tree;
    std::system(("mkdir -p '" + tree.path("fam/a") + "' '" + tree.path("build/x") + "'").c_str());
    tree.file("fam/a/one.graf", "# a board\nint DEPTH = 8\n");
    tree.file("fam/a/small.procs", "procedure P {\n}\n");
    tree.file("fam/a/drivers.txt", "driver alpha gd5480 alphaEntry\n"
                                   "default alpha/example one.graf DEPTH=16 +small.procs\n");
    tree.file("build/x/drivers.txt", "not a table\n");
    std::string out;
    ASSERT_TRUE(embed(tree, out)) << out;
    // Each file as bytes ("# a" first for the board), with its size.
    EXPECT_NE(out.find("{\"fam/a/one.graf\", reinterpret_cast<const char *>(kText0), 24}"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("0x23,0x20,0x61,"), std::string::npos);
    EXPECT_NE(out.find("{\"fam/a/small.procs\", reinterpret_cast<const char *>(kText1), 16}"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("{\"fam/a/drivers.txt\", reinterpret_cast<const char *>(kText2), "),
              std::string::npos)
        << out;
    // A build tree inside the source tree is no family.
    EXPECT_EQ(out.find("build/x"), std::string::npos) << out;
}

TEST(DrvrunEmbed, AMalformedTableLineStopsTheBuild) {
    for (const char *line :
         {"lonely\n", "driver\n", "driver dr-v gd5480\n", "driver a gd5480 bad-export\n",
          "default a one.graf\n", "default a/b gone.graf\n", "default a/b one.graf DEPTH=sixteen\n",
          "fuzz a/b one.graf +gone.procs\n", "board a/b ../one.graf\n", "dflt a/b one.graf\n"}) {
        TempDir tree;
        std::system(("mkdir -p '" + tree.path("fam/a") + "'").c_str());
        tree.file("fam/a/one.graf", "int DEPTH = 8\n");
        tree.file("fam/a/drivers.txt", std::string("driver a gd5480\n") + line);
        std::string out;
        EXPECT_FALSE(embed(tree, out)) << line;
    }
}

} // namespace
