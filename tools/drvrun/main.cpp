// drvrun: brings a driver up on its simulated adapter, as the display server
// would, and shows whether it draws correctly.
//
//   drvrun run DRIVER [--config FILE] [--set KEY=VALUE ...] [--png FILE] [--trace FILE]
//   drvrun run --all [--png-dir DIR]
//   drvrun check DRIVER [--config FILE] [--set KEY=VALUE ...]
//   drvrun list
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "configs.h"
#include "run.h"

namespace {

using namespace drvrun;

const char kUsage[] =
    "usage: drvrun run DRIVER [--config FILE] [--set KEY=VALUE ...] [--png FILE] [--trace FILE]\n"
    "       drvrun run --all [--png-dir DIR]\n"
    "       drvrun check DRIVER [--config FILE] [--set KEY=VALUE ...]\n"
    "       drvrun list\n"
    "  DRIVER is a name drvrun list shows, or the path of a driver library.\n"
    "  --config FILE  a grafinfo file instead of the driver's default board\n"
    "  --set KEY=VALUE  changes a key of the configuration (also written\n"
    "                 plainly, KEY=VALUE, as drvrun list shows them), so one\n"
    "                 board serves every depth: --set DEPTH=16\n"
    "  --png FILE     the final screen as a picture; --png-dir DIR one per driver\n"
    "  --trace FILE   every register access of the run, step by step\n"
    "exit status: 0 all went well, 1 a driver failed, 2 bad input\n"
    "  Bad input is said on one line, the last. A file --png or --trace\n"
    "  names that cannot be written is bad input, also when a write fails\n"
    "  only later (a full disk): then the run's report comes first. With\n"
    "  run --all, a picture that cannot be written fails its driver.\n";

// One line, as every other complaint.
int usage(const std::string &why) {
    std::cerr << "drvrun: " << why << " (drvrun help shows the usage)\n";
    return kExitBadInput;
}

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    RunOptions run;
    bool all = false;
    std::string pngDir; // run --all: one picture per driver in this folder
};

// A positional KEY=VALUE changes the configuration, as --set does; a driver
// path never looks like one (its name would hold a '/' or a '.').
bool looksLikeSetting(const std::string &arg) {
    std::string ignored;
    return arg.find('=') != std::string::npos && wellFormedSetting(arg, ignored);
}

// Fills `a`; returns an empty string or what is wrong.
std::string parse(int argc, char **argv, Arguments &a) {
    if (argc < 2)
        return "no command";
    a.command = argv[1];
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        auto value = [&](std::string &into) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return false;
            into = argv[++i];
            return true;
        };
        if (arg == "--set") {
            std::string setting, why;
            if (!value(setting))
                return arg + " needs a value";
            if (!wellFormedSetting(setting, why))
                return "--set " + why;
            a.run.settings.push_back(setting);
        } else if (looksLikeSetting(arg)) {
            a.run.settings.push_back(arg);
        } else if (arg == "--png-dir") {
            if (!value(a.pngDir))
                return arg + " needs a value";
        } else if (arg == "--config" || arg == "--png" || arg == "--trace" ||
                   arg == "--inject-fault") {
            std::string &into = arg == "--config"  ? a.run.configPath
                                : arg == "--png"   ? a.run.pngPath
                                : arg == "--trace" ? a.run.tracePath
                                                   : a.run.faultStep;
            if (!value(into))
                return arg + " needs a value";
        } else if (arg == "--all") {
            a.all = true;
        } else if (arg.rfind("--", 0) == 0) {
            return "unknown option " + arg;
        } else {
            a.positional.push_back(arg);
        }
    }
    if (!a.run.faultStep.empty()) {
        const std::vector<std::string> &steps = stepNames();
        if (std::find(steps.begin(), steps.end(), a.run.faultStep) == steps.end())
            return "no step named " + a.run.faultStep;
    }
    return "";
}

// ---- list ----

int list() {
    std::vector<std::string> names = installedDrivers();
    if (names.empty()) {
        std::cerr << "drvrun: no driver libraries in " << driverDirectory() << "\n";
        return kExitFailed;
    }
    std::printf("%-10s %-8s %-5s %-10s %s\n", "driver", "adapter", "depth", "screen",
                "default configuration");
    for (const std::string &name : names) {
        std::string path, dummy, error;
        if (!resolveDriver(name, path, dummy, error) || !bindDriver(path, name, error)) {
            std::printf("%-10s %s\n", name.c_str(), error.c_str());
            continue;
        }
        graf::Config cfg;
        if (!loadDefaultConfig(name, cfg, error)) {
            std::printf("%-10s %-8s %-5s %-10s %s\n", name.c_str(), "-", "-", "-",
                        "no default configuration");
            continue;
        }
        auto key = [&](const char *k) {
            auto it = cfg.ints.find(k);
            return it == cfg.ints.end() ? std::string("?") : std::to_string(it->second);
        };
        std::string screen = key("PIXWIDTH") + "x" + key("PIXHEIGHT");
        std::printf("%-10s %-8s %-5s %-10s %s\n", name.c_str(), cfg.adapter.c_str(),
                    key("DEPTH").c_str(), screen.c_str(),
                    describe(*defaultConfigFor(name)).c_str());
    }
    return kExitOk;
}

// The report itself may fail to reach its file (standard output on a full
// disk): that is said on standard error, and the status tells it.
int reportWritten(int status) {
    errno = 0;
    std::cout.flush();
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout)
        return status;
    // The first failed write may have been long before: its errno is gone.
    std::cerr << "drvrun: cannot write the report to standard output"
              << (errno ? std::string(": ") + std::strerror(errno) : std::string()) << "\n";
    return kExitBadInput;
}

// ---- driver runs in a process of their own ----

// Runs one driver in a child process: drivers keep static state, and one that
// crashes must not take drvrun (or the other drivers of run --all) with it.
// With `output` the child's report comes back through a pipe; without, it
// goes where drvrun's own output goes. Returns the child's exit status.
int runInChild(const RunOptions &opt, std::string *output) {
    int fds[2] = {-1, -1};
    if (output && pipe(fds) != 0)
        return runDriver(opt, std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        if (output) {
            close(fds[0]);
            close(fds[1]);
        }
        return runDriver(opt, std::cout, std::cerr);
    }
    if (pid == 0) {
        if (output) {
            close(fds[0]);
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[1]);
        }
        int status = reportWritten(runDriver(opt, std::cout, std::cerr));
        std::cerr.flush();
        std::exit(status);
    }
    if (output) {
        close(fds[1]);
        char buf[4096];
        for (;;) {
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            output->append(buf, static_cast<size_t>(n));
        }
        close(fds[0]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    std::string crash = "drvrun: " + opt.driver + " crashed (signal " +
                        std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status)) +
                        ")\n";
    if (output)
        *output += crash;
    else
        std::cerr << crash;
    return kExitFailed;
}

// ---- run --all ----

int runAll(const RunOptions &base, const std::string &pngDir) {
    std::vector<std::string> names = installedDrivers();
    if (names.empty()) {
        std::cerr << "drvrun: no driver libraries in " << driverDirectory() << "\n";
        return kExitFailed;
    }
    int ok = 0, failed = 0, skipped = 0;
    const size_t n = names.size();
    for (size_t i = 0; i < n; i++) {
        std::ostringstream progress;
        progress << "[" << i + 1 << "/" << n << "] ";
        if (!defaultConfigFor(names[i])) {
            std::cout << progress.str() << names[i] << ": skipped: no default configuration\n";
            skipped++;
            continue;
        }
        // The number shows while the driver runs; its summary completes the line.
        std::cout << progress.str() << std::flush;
        RunOptions opt = base;
        opt.driver = names[i];
        opt.brief = true;
        if (!pngDir.empty())
            opt.pngPath = pngDir + "/" + names[i] + ".png";
        std::string output;
        int status = runInChild(opt, &output);
        if (status == kExitOk)
            ok++;
        else
            failed++;
        // The child's summary line is its last; rows that went wrong come first.
        std::istringstream lines(output);
        std::vector<std::string> all;
        for (std::string l; std::getline(lines, l);)
            all.push_back(l);
        if (all.empty())
            all.push_back(names[i] + ": FAILED: no report");
        // Bad input the driver's run found ends its report with
        // "drvrun: why"; in this list it is that driver's failure.
        if (all.back().rfind("drvrun: ", 0) == 0)
            all.back() = names[i] + ": FAILED: " + all.back().substr(8);
        std::cout << all.back() << "\n";
        for (size_t k = 0; k + 1 < all.size(); k++)
            std::cout << "      " << all[k] << "\n";
        std::cout.flush();
    }
    if (!pngDir.empty())
        std::cout << "pictures: " << pngDir << "/DRIVER.png\n";
    std::cout << "drvrun: " << n << " drivers: " << ok << " ok, " << failed << " failed, "
              << skipped << " skipped (no default configuration)\n";
    return failed ? kExitFailed : kExitOk;
}

} // namespace

int main(int argc, char **argv) {
    // A --trace or --png pipe whose reader went away is a write error to
    // report, not a signal that ends drvrun without a word.
    std::signal(SIGPIPE, SIG_IGN);
    // The usage, asked for alone or after a command (drvrun run --help),
    // wins over whatever else the line holds.
    bool help = argc == 2 && !std::strcmp(argv[1], "help");
    for (int i = 1; i < argc; i++)
        help |= !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h");
    if (help) {
        std::cout << kUsage;
        return reportWritten(kExitOk);
    }
    Arguments a;
    std::string wrong = parse(argc, argv, a);
    if (!wrong.empty())
        return usage(wrong);

    if (a.command == "list") {
        if (!a.positional.empty() || a.all || !a.run.settings.empty())
            return usage("list takes no arguments");
        return reportWritten(list());
    }
    if (a.command != "run" && a.command != "check")
        return usage("unknown command " + a.command);

    if (a.all) {
        if (a.command != "run" || !a.positional.empty() || !a.run.configPath.empty() ||
            !a.run.pngPath.empty() || !a.run.tracePath.empty() || !a.run.settings.empty())
            return usage("--all runs every driver on its default configuration");
        if (!a.pngDir.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(a.pngDir, ec);
            if (ec) {
                std::cerr << "drvrun: cannot make the folder " << a.pngDir << ": " << ec.message()
                          << "\n";
                return kExitBadInput;
            }
        }
        return reportWritten(runAll(a.run, a.pngDir));
    }
    if (!a.pngDir.empty())
        return usage("--png-dir goes with run --all");
    if (a.positional.size() != 1)
        return usage(a.positional.empty() ? "no driver given" : "one driver at a time");
    a.run.driver = a.positional[0];
    if (a.command == "check") {
        if (!a.run.pngPath.empty() || !a.run.tracePath.empty() || !a.run.faultStep.empty())
            return usage("check takes only --config and --set");
        a.run.checkOnly = true;
    }
    return reportWritten(runInChild(a.run, nullptr));
}
