// Every driver library stands alone: loaded with RTLD_NOW | RTLD_LOCAL into a
// program that carries the stand-in, every import resolves, and the library
// exports its ScreenInfo record and nothing else.
#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

std::set<std::string> definedDynamicSymbols(const std::string &path) {
    std::set<std::string> symbols;
    std::string cmd = "nm -D --defined-only --format=posix '" + path + "' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return symbols;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        symbols.insert(s.substr(0, s.find(' ')));
    }
    pclose(p);
    return symbols;
}

class DriverLibrary : public ::testing::TestWithParam<std::string> {};

TEST_P(DriverLibrary, LoadsAloneAndExportsOnlyItsScreenInfo) {
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

    EXPECT_EQ(definedDynamicSymbols(path), std::set<std::string>{record});
    dlclose(h);
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, DriverLibrary, ::testing::ValuesIn(drivers()),
                         [](const auto &info) { return info.param; });

} // namespace
