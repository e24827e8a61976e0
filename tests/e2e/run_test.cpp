// Whole runs of vorpkg.exe under Wine: platform dispatch on the real version
// query, argument handling, and what every run leaves in the drive root.
#include "process.h"
#include "winfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::set<std::string> RootEntries() {
    std::vector<std::string> v = ListDir("C:");
    return std::set<std::string>(v.begin(), v.end());
}

std::vector<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> out;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(out));
    return out;
}

struct VersionRow {
    const char* winver;
    int exitCode;
};

void PrintTo(const VersionRow& r, std::ostream* os) { *os << r.winver; }

class UnsupportedVersion : public testing::TestWithParam<VersionRow> {};

// Nothing runs on these systems: the run ends with 9.
TEST_P(UnsupportedVersion, EndsWithNine) {
    TempDir pkg;
    auto before = RootEntries();
    RunSpec spec;
    spec.winver = GetParam().winver;
    spec.startDir = pkg.path();
    RunResult r = RunVorpkg(spec);
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
    // One temporary name was made and freed: nothing is left in the root.
    for (const std::string& n : Added(before, RootEntries())) EXPECT_NE(n.rfind("QVT", 0), 0u) << n;
}

INSTANTIATE_TEST_SUITE_P(Wine, UnsupportedVersion,
                         testing::Values(VersionRow{"winxp", 9}, VersionRow{"win10", 9}),
                         [](const testing::TestParamInfo<VersionRow>& info) { return std::string(info.param.winver); });

// Two arguments are ignored: an in-place run in the start directory.
TEST(Arguments, TwoAreTreatedAsNone) {
    TempDir pkg;
    auto before = RootEntries();
    RunSpec spec;
    spec.winver = "winxp";
    spec.startDir = pkg.path();
    spec.args = {pkg.path(), "second"};
    RunResult r = RunVorpkg(spec);
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
    EXPECT_TRUE(Added(before, RootEntries()).empty()) << "no staging area for two arguments";
}

// One argument that is no usable directory: never stage the start directory.
TEST(Arguments, OneThatIsNotADirectoryIsRefused) {
    TempDir start;
    WriteFileBytes(start / "a-file", "x");
    for (std::string arg : {std::string("C:\\no\\such\\package"), start / "a-file", std::string("")}) {
        auto before = RootEntries();
        RunSpec spec;
        spec.winver = "win2k";
        spec.startDir = start.path();
        spec.args = {arg};
        RunResult r = RunVorpkg(spec);
        EXPECT_EQ(r.exitCode, 1) << arg;
        std::vector<std::string> expected = {"Unable to use package directory: " + arg,
                                             "Copying update files to the hard drive failed."};
        EXPECT_EQ(r.lines(), expected) << arg;
        EXPECT_TRUE(Added(before, RootEntries()).empty()) << "nothing staged for " << arg;
    }
}

// The real version query under each version Wine can report.
TEST(Platform, SupportedVersionsRunAnUpdate) {
    for (const char* winver : {"nt40", "win2k", "win2003"}) {
        TempDir pkg;
        RunSpec spec;
        spec.winver = winver;
        spec.startDir = pkg.path();
        RunResult r = RunVorpkg(spec);
        // No utility in the package and no tool log: the update finds nothing.
        EXPECT_EQ(r.exitCode, 0) << winver << "\n" << r.out;
        ASSERT_FALSE(r.lines().empty()) << winver;
        EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 0") << winver;
    }
}

TEST(StartDirectory, DriveRootRuns) {
    RunSpec spec;
    spec.winver = "winxp";
    spec.startDir = "E:\\";
    RunResult r = RunVorpkg(spec);
    EXPECT_EQ(r.exitCode, 9);
    ASSERT_FALSE(r.lines().empty());
    EXPECT_EQ(r.lines().back(), "Return Code from vorpkg is 9");
}

}  // namespace
