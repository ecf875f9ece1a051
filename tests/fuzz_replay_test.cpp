// Replays the fuzz inputs through the same target bodies the fuzz build runs
// under libFuzzer: the seed corpus (a few shards per target) and every input
// that once found a fault (one test each, under its file name). Inputs for
// faults not fixed yet wait in fuzz/pending and run only when asked
// (--gtest_also_run_disabled_tests). As under libFuzzer, the draw target
// keeps its screen from one input to the next; a test case frees it at its
// end.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "../fuzz/config_target.cpp"
#include "../fuzz/draw_target.cpp"

namespace {

using Body = std::vector<std::string> (*)(const uint8_t *, size_t);

struct Input {
    std::string target; // "draw" or "config"
    std::string path;
    std::string name;
};

// How an input appears in test output.
void PrintTo(const Input &in, std::ostream *os) {
    *os << in.target << "/" << in.name;
}

Body bodyOf(const std::string &target) {
    return target == "draw" ? fuzzdraw::run : fuzzconfig::run;
}

std::vector<Input> filesIn(const std::string &dir, const std::string &target) {
    std::string full = std::string(DRV_SOURCE_DIR) + "/fuzz/" + dir + "/" + target;
    std::vector<Input> out;
    if (DIR *d = opendir(full.c_str())) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.' && std::string(e->d_name).find('.') == std::string::npos)
                out.push_back({target, full + "/" + e->d_name, e->d_name});
        closedir(d);
    }
    std::sort(out.begin(), out.end(),
              [](const Input &a, const Input &b) { return a.name < b.name; });
    return out;
}

std::vector<Input> filesOf(const std::string &dir) {
    std::vector<Input> all = filesIn(dir, "draw"), config = filesIn(dir, "config");
    all.insert(all.end(), config.begin(), config.end());
    return all;
}

std::vector<std::string> replayFile(const std::string &target, const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return {"cannot read " + path};
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
    return bodyOf(target)(data.data(), data.size());
}

// An input that fails only after another (what a driver kept from an
// earlier screen) is stored with that one beside it as NAME.before, which
// replays first in the same process and must pass as well.
std::vector<std::string> replay(const Input &in) {
    std::vector<std::string> failures;
    if (std::ifstream(in.path + ".before"))
        for (const std::string &f : replayFile(in.target, in.path + ".before"))
            failures.push_back("before it: " + f);
    for (const std::string &f : replayFile(in.target, in.path))
        failures.push_back(f);
    return failures;
}

// Test names may hold only letters, digits and underscores.
std::string testName(const testing::TestParamInfo<Input> &info) {
    std::string n = info.param.target + "_" + info.param.name;
    for (char &c : n)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return n;
}

std::vector<uint8_t> bytesOf(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
}

// The setup an input names on its first line.
std::string setupOf(const Input &in) {
    std::vector<uint8_t> data = bytesOf(in.path);
    auto end = std::find(data.begin(), data.end(), '\n');
    return std::string(data.begin(), end);
}

template <class Param> class FuzzTest : public testing::TestWithParam<Param> {
  protected:
    void TearDown() override { fuzzdraw::releaseScreen(); }
};

class FuzzInput : public FuzzTest<Input> {};

TEST_P(FuzzInput, Replays) {
    for (const std::string &failure : replay(GetParam()))
        ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Regression, FuzzInput, testing::ValuesIn(filesOf("regressions")),
                         testName);
INSTANTIATE_TEST_SUITE_P(DISABLED_Pending, FuzzInput, testing::ValuesIn(filesOf("pending")),
                         testName);

// The seeds: many small inputs, in a few shards per target so that they run
// side by side.
constexpr int kSeedShards = 8;

struct Shard {
    std::string target;
    int index;
};

void PrintTo(const Shard &s, std::ostream *os) {
    *os << s.target << " " << s.index << "/" << kSeedShards;
}

std::vector<Shard> shards() {
    std::vector<Shard> out;
    for (const char *target : {"draw", "config"})
        for (int i = 0; i < kSeedShards; i++)
            out.push_back({target, i});
    return out;
}

std::string shardName(const testing::TestParamInfo<Shard> &info) {
    return info.param.target + std::to_string(info.param.index);
}

class FuzzSeeds : public FuzzTest<Shard> {};

// A shard's seeds setup by setup, so that one screen serves many in turn.
TEST_P(FuzzSeeds, Replay) {
    std::vector<Input> seeds = filesIn("corpus", GetParam().target), shard;
    EXPECT_GE(seeds.size(), static_cast<size_t>(kSeedShards)) << "too few seeds";
    for (size_t i = static_cast<size_t>(GetParam().index); i < seeds.size(); i += kSeedShards)
        shard.push_back(seeds[i]);
    std::stable_sort(shard.begin(), shard.end(),
                     [](const Input &a, const Input &b) { return setupOf(a) < setupOf(b); });
    for (const Input &seed : shard)
        for (const std::string &failure : replay(seed))
            ADD_FAILURE() << seed.name << ": " << failure;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, FuzzSeeds, testing::ValuesIn(shards()), shardName);

// Every stored input names a setup the driver tables have.
TEST(FuzzInputs, EveryStoredInputNamesASetup) {
    for (const char *dir : {"corpus", "regressions", "pending"})
        for (const Input &in : filesOf(dir)) {
            std::vector<uint8_t> data = bytesOf(in.path);
            fuzz::Input body(nullptr, 0);
            std::string error;
            EXPECT_NE(fuzz::openInput(data.data(), data.size(), body, error), nullptr)
                << dir << "/" << in.target << "/" << in.name << ": " << error;
        }
}

// Setups swapped in for one test, the source tree's put back at its end.
class OtherSetups {
  public:
    explicit OtherSetups(std::vector<fuzz::Setup> s) {
        fuzzdraw::releaseScreen();
        fuzz::useSetups(std::move(s));
    }
    ~OtherSetups() {
        fuzzdraw::releaseScreen();
        fuzz::useSetups(fuzz::setupsOf(drivertable::sourceTree()));
    }
};

// An input keeps its driver and board when a setup is added in front of the
// one it names (and the others move), and one whose setup is gone fails to
// load with one line instead of running on another.
TEST(FuzzInputs, KeepTheirSetupWhenSetupsAreAddedOrRemoved) {
    const std::vector<Input> regressions = filesIn("regressions", "draw");
    ASSERT_FALSE(regressions.empty());
    const Input &stored = regressions.front();
    std::vector<uint8_t> data = bytesOf(stored.path);
    fuzz::Input body(nullptr, 0);
    std::string error;
    const fuzz::Setup *before = fuzz::openInput(data.data(), data.size(), body, error);
    ASSERT_NE(before, nullptr) << error;
    const std::string id = before->id, driver = before->driver, board = before->board->describe();

    // A table with a new setup in front of every other.
    drivertable::Table grown = drivertable::sourceTree();
    drivertable::Board added = *grown.board(id);
    added.id = added.driver + "/added-in-front";
    added.keys.emplace_back("PIXWIDTH", 96);
    grown.boards.insert(grown.boards.begin(), added);
    {
        OtherSetups swap(fuzz::setupsOf(grown));
        ASSERT_EQ(fuzz::setups().front().id, added.id);
        const fuzz::Setup *after = fuzz::openInput(data.data(), data.size(), body, error);
        ASSERT_NE(after, nullptr) << error;
        EXPECT_EQ(after->id, id);
        EXPECT_EQ(after->driver, driver);
        EXPECT_EQ(after->board->describe(), board);
        for (const std::string &failure : fuzzdraw::run(data.data(), data.size()))
            ADD_FAILURE() << stored.name << ": " << failure;
    }

    // The same table without that setup.
    drivertable::Table shrunk = drivertable::sourceTree();
    std::erase_if(shrunk.boards, [&](const drivertable::Board &b) { return b.id == id; });
    {
        OtherSetups swap(fuzz::setupsOf(shrunk));
        EXPECT_EQ(fuzz::openInput(data.data(), data.size(), body, error), nullptr);
        EXPECT_EQ(error, "no setup named \"" + id + "\" (the driver tables list the setups)");
        EXPECT_EQ(fuzzdraw::run(data.data(), data.size()), std::vector<std::string>{error});
        EXPECT_EQ(fuzzconfig::run(data.data(), data.size()), std::vector<std::string>{error});
    }
}

// Generated inputs share the fuzzing time evenly over the families however
// much more an input of one costs than one of another, even where the
// target would always stay on the setup it ran last; each setup of a family
// gets its turns; stored inputs take no share; the summary counts both.
TEST(FuzzShares, TimeIsSharedEvenlyOverFamilies) {
    std::vector<fuzz::Setup> setups = {
        {"slow/a", "slow", "", nullptr, {}, "s3/slow"},
        {"mid/a", "mid", "", nullptr, {}, "ati/mid"},
        {"mid/b", "mid", "", nullptr, {}, "ati/mid"},
        {"quick/a", "quick", "", nullptr, {}, "cirrus/quick"},
    };
    std::map<std::string, double> cost = {
        {"slow/a", 0.02}, {"mid/a", 0.002}, {"mid/b", 0.001}, {"quick/a", 0.0001}};
    fuzz::Shares shares(setups);
    // Stored inputs of the slow family first: they cost much and count for
    // nothing.
    for (int i = 0; i < 100; i++)
        shares.spent(setups[0], 1.0, false);
    std::map<std::string, double> family, setup;
    double total = 0;
    const fuzz::Setup *last = &setups[0];
    while (total < 6) {
        const fuzz::Setup &s = shares.next(*last);
        shares.spent(s, cost[s.id], true);
        family[s.family] += cost[s.id];
        setup[s.id] += cost[s.id];
        total += cost[s.id];
        last = &s;
    }
    for (const auto &[name, seconds] : family)
        EXPECT_NEAR(seconds, total / 3, fuzz::Shares::kSlice + 0.02) << name;
    EXPECT_NEAR(setup["mid/a"], setup["mid/b"], 2 * fuzz::Shares::kSlice);
    const std::string summary = shares.summary();
    EXPECT_EQ(summary.rfind("s3/slow ", 0), 0u) << summary;
    EXPECT_NE(summary.find(" + 100, ati/mid "), std::string::npos) << summary;
}

// Inputs that name no setup: an empty one (libFuzzer's first) does
// nothing; one of the old numbering fails with one line.
TEST(FuzzInputs, AnInputThatNamesNoSetup) {
    const std::vector<uint8_t> empty, newline = {'\n'}, old = {7, 0, 0, 3, 1};
    for (const std::vector<uint8_t> *in : {&empty, &newline}) {
        EXPECT_TRUE(fuzzdraw::run(in->data(), in->size()).empty());
        EXPECT_TRUE(fuzzconfig::run(in->data(), in->size()).empty());
    }
    std::vector<std::string> failures = fuzzconfig::run(old.data(), old.size());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind("the input names no setup on its first line", 0), 0u)
        << failures[0];
}

} // namespace
