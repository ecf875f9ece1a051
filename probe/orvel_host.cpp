// orvel in the host build: the probe's steps on a simulated machine built
// from a board file (by default the VL-bus zandel board, embedded), the
// privilege request recorded where the target would make it.
//
//   orvel [--board FILE] [--trace FILE]
//   orvel --help
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "adapter.h"
#include "grafstore.h"
#include "machine.h"
#include "orvel.h"

extern const char kOrvelDefaultBoard[];
extern const char kOrvelDefaultBoardName[];

namespace {

const char kUsage[] = "usage: orvel [--board FILE] [--trace FILE]\n"
                      "Looks for a zandel board on the VL bus of a simulated machine built\n"
                      "from FILE (default: the embedded %s) and prints its memory base.\n"
                      "Exit status: 0 board found, 1 no board, 2 bad usage or input.\n"
                      "--trace FILE writes the privilege request and every port access.\n";

// The privilege requests made, and how many accesses the machine had seen at
// each, so the trace shows them in their place.
struct PrivilegeCall {
    int cmd;
    int arg;
    size_t before;
};
std::vector<PrivilegeCall> privilegeCalls;

int bad(const std::string &why) {
    std::fprintf(stderr, "orvel: %s\n", why.c_str());
    return 2;
}

bool writeTrace(FILE *f, const sim::Machine &m) {
    size_t next = 0, i = 0;
    auto calls = [&](size_t upTo) {
        for (; next < privilegeCalls.size() && privilegeCalls[next].before <= upTo; next++)
            std::fprintf(f, "sysi86 %d, %d\n", privilegeCalls[next].cmd, privilegeCalls[next].arg);
    };
    for (const sim::Access &a : m.trace()) {
        calls(i++);
        std::fprintf(f, "%s\n", m.describe(a).c_str());
    }
    calls(SIZE_MAX);
    return std::fflush(f) == 0 && !std::ferror(f);
}

} // namespace

extern "C" int sysi86(int cmd, ...) {
    va_list ap;
    va_start(ap, cmd);
    const int arg = va_arg(ap, int);
    va_end(ap);
    privilegeCalls.push_back({cmd, arg, sim::Machine::current().accessCount()});
    return 0;
}

int main(int argc, char **argv) {
    std::string boardPath, tracePath;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" && argc == 2) {
            std::printf(kUsage, kOrvelDefaultBoardName);
            return 0;
        }
        if ((arg == "--board" || arg == "--trace") && i + 1 < argc) {
            (arg == "--board" ? boardPath : tracePath) = argv[++i];
            continue;
        }
        if (arg == "--board" || arg == "--trace")
            return bad(arg + " needs a file name");
        return bad("unknown argument \"" + arg + "\" (orvel --help)");
    }

    graf::Config cfg;
    std::string error;
    const bool read = boardPath.empty()
                          ? graf::parse(kOrvelDefaultBoard, kOrvelDefaultBoardName, cfg, error)
                          : graf::load(boardPath, cfg, error);
    if (!read)
        return bad(error);

    // Opened before the run, so that a trace that cannot be written stops
    // it before anything is printed.
    FILE *trace = nullptr;
    if (!tracePath.empty() && (trace = std::fopen(tracePath.c_str(), "w")) == nullptr)
        return bad(tracePath + ": cannot write: " + std::strerror(errno));

    sim::Machine &m = sim::Machine::current();
    // An empty bus answers 0xFF: no board there is no fault of the probe's.
    m.setFailureHandler([](const std::string &message) {
        if (message.rfind("unclaimed port", 0) != 0)
            std::fprintf(stderr, "orvel: simulated machine: %s\n", message.c_str());
    });
    int status;
    try {
        if (!sim::makeAdapter(cfg, m))
            throw std::invalid_argument("no adapter model \"" + cfg.adapter + "\"");
    } catch (const std::exception &e) {
        if (trace)
            std::fclose(trace);
        return bad(cfg.source + ": " + e.what());
    }
    try {
        status = orvelProbe();
    } catch (const sim::Abort &e) {
        // The machine stopped an access nothing answers: no board there.
        std::fflush(stdout);
        std::fprintf(stderr, "orvel: %s\n", e.what());
        status = 1;
    }
    std::fflush(stdout);
    if (trace) {
        const bool ok = writeTrace(trace, m);
        if (std::fclose(trace) != 0 || !ok)
            return bad(tracePath + ": cannot write the trace");
    }
    return status;
}
