// Driving one driver through the server's call order on the stand-in, with a
// demo scene checked step by step against the reference renderer.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace drvrun {

// Exit statuses of the command.
enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,   // the driver did not come up, or a step went wrong
    kExitBadInput = 2, // usage, unknown driver, unreadable configuration, not a driver
};

struct RunOptions {
    std::string driver;                // name (brisko8) or path of the library
    std::string configPath;            // empty: the driver's default configuration
    std::vector<std::string> settings; // KEY=VALUE changes to the configuration
    std::string pngPath;               // empty: no picture
    std::string tracePath;             // empty: no bus trace
    std::string faultStep;             // test aid: corrupt one pixel after this step
    bool checkOnly = false;            // bind and initialise only
    bool brief = false;                // only the summary line and the rows that went wrong
};

// The library a driver name or path stands for, and the driver's name (the
// file name without "lib" and extension). False with a one-line `error`.
bool resolveDriver(const std::string &nameOrPath, std::string &path, std::string &name,
                   std::string &error);

// Loads the library and checks that it is a driver. False with `error`.
bool bindDriver(const std::string &path, const std::string &name, std::string &error);

// Driver names of the libraries in the driver directory, sorted.
std::vector<std::string> installedDrivers();

// The directory bare driver names are looked up in: DRVRUN_LIB_DIR from the
// environment, else the build's driver directory.
std::string driverDirectory();

// Names of the steps of a run, in order (for the fault option).
const std::vector<std::string> &stepNames();

// Runs (or checks) one driver; the report goes to `out`, bad input to `err`
// as one line. Returns an ExitStatus.
int runDriver(const RunOptions &, std::ostream &out, std::ostream &err);

} // namespace drvrun
