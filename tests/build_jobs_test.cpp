// scripts/jobs.sh, which every build command of the README and the test
// script takes its job count from: one job per core, no more than the free
// memory holds (a container's limit included), so a build never starts more
// compilers than the machine can keep.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Machine {
    const char *name;
    const char *cores;   // DRV_JOBS_CORES
    std::string meminfo; // contents of the stand-in /proc/meminfo
    std::string cgroup;  // contents of the stand-in cgroup limit ("" none)
    std::string jobsEnv; // JOBS ("" unset)
    int status;          // exit status of the script
    std::string output;  // what it prints on standard output
};

void PrintTo(const Machine &m, std::ostream *os) {
    *os << m.name;
}

class BuildJobs : public ::testing::TestWithParam<Machine> {};

TEST_P(BuildJobs, CountFitsCoresAndMemory) {
    const Machine &m = GetParam();
    char tmpl[] = "/tmp/build_jobs_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::ofstream(dir + "/meminfo") << m.meminfo;
    if (!m.cgroup.empty())
        std::ofstream(dir + "/memory.max") << m.cgroup;
    std::string cmd = "env -u JOBS DRV_JOBS_CORES=" + std::string(m.cores) + " DRV_JOBS_MEMINFO='" +
                      dir + "/meminfo' DRV_JOBS_CGROUP='" + dir + "/memory.max'";
    if (!m.jobsEnv.empty())
        cmd += " JOBS='" + m.jobsEnv + "'";
    cmd += " bash '" + std::string(DRV_SOURCE_DIR) + "/scripts/jobs.sh' 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    int st = pclose(p);
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), m.status);
    EXPECT_EQ(out, m.output);
}

std::string meminfo(long totalKb, long availableKb) {
    std::string s = "MemTotal:       " + std::to_string(totalKb) + " kB\nMemFree: 1000 kB\n";
    if (availableKb >= 0)
        s += "MemAvailable:   " + std::to_string(availableKb) + " kB\n";
    return s;
}

constexpr long kGB = 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Machines, BuildJobs,
    ::testing::Values(
        // The machine the README's first user had: every core.
        Machine{"EightCores23GB", "8", meminfo(23 * kGB, 22 * kGB), "", "", 0, "8\n"},
        // CI's: two cores, 4 GB of which some is taken.
        Machine{"TwoCores4GB", "2", meminfo(4 * kGB, 3 * kGB + kGB / 2), "", "", 0, "2\n"},
        // Many cores, little memory: the memory decides.
        Machine{"SixteenCores6GB", "16", meminfo(6 * kGB, 5 * kGB), "", "", 0, "3\n"},
        // Less than one job's worth free: still one job.
        Machine{"OneGBFree", "4", meminfo(2 * kGB, kGB), "", "", 0, "1\n"},
        // An old kernel without MemAvailable: the total counts.
        Machine{"NoMemAvailable", "4", meminfo(3 * kGB, -1), "", "", 0, "2\n"},
        // A container limited to 4 GB on a large host.
        Machine{"ContainerLimit", "8", meminfo(64 * kGB, 60 * kGB), "4294967296\n", "", 0, "2\n"},
        Machine{"ContainerWithoutLimit", "8", meminfo(64 * kGB, 60 * kGB), "max\n", "", 0, "8\n"},
        // Nothing known of the memory: the cores.
        Machine{"NoMeminfo", "6", "", "", "", 0, "6\n"},
        // JOBS is taken as given, and refused when it is no count.
        Machine{"JobsGiven", "8", meminfo(2 * kGB, kGB), "", "5", 0, "5\n"},
        Machine{"JobsZero", "8", meminfo(23 * kGB, 22 * kGB), "", "0", 2, ""},
        Machine{"JobsNotANumber", "8", meminfo(23 * kGB, 22 * kGB), "", "many", 2, ""}),
    [](const ::testing::TestParamInfo<Machine> &i) { return std::string(i.param.name); });

} // namespace
