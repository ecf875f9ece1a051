// What the gd6 drawing tests share: the three builds on their example boards.
#pragma once

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace gd6test {

struct Build {
    const char *name; // for test names
    const char *driver;
    const char *config;
};

inline void PrintTo(const Build &b, std::ostream *os) {
    *os << b.name;
}

inline const Build kTolva8 = {"tolva8", "tolva8", "cirrus/gd6/tolva8.graf"};

inline const Build kBuilds[] = {
    kTolva8,
    {"tolva16", "tolva16", "cirrus/gd6/tolva16.graf"},
    {"tolva16large", "tolva16", "cirrus/gd6/tolva16-large.graf"},
};

inline std::string buildName(const ::testing::TestParamInfo<Build> &info) {
    return info.param.name;
}

} // namespace gd6test
