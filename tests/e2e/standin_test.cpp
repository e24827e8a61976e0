// The self-test's stand-in utility: vorpkg-selftest.exe copied into a folder
// as mervane.exe, as the self-test puts it into its packages. Anywhere but
// in a package of a self-test running now (its scenario file beside it,
// marked with the one-off value whose mutex that self-test holds; here this
// test holds it) it must do nothing and say what it is, so that a copy left
// on a CD or by an interrupted self-test never passes for an update; in
// such a package it behaves as tools/mervane.exe.
#include "process.h"
#include "selftest/standin.h"
#include "winfs.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

const char kNotice[] =
    "This is vorpkg's self-test stand-in (vorpkg-selftest.exe), not the vendor's update utility mervane.exe: it "
    "has updated nothing.";
const char kMark[] = "# vorpkg self-test scenario 5eed0fca11ab1e00\n";

struct StandInRow {
    const char* name;
    const char* scenario;  // mervane.scenario beside it; nullptr: none
    bool goodLine;         // the first run's command line, or a line it refuses
    int exitCode;
    bool notice;           // says what it is, on standard output
    const char* traced;    // "" nothing, "line" the line, "refused" REFUSED: and the line
    bool log;              // VOR.LOG written
};

void PrintTo(const StandInRow& r, std::ostream* os) { *os << r.name; }

const StandInRow kRows[] = {
    {"no_scenario_file", nullptr, true, 4, true, "", false},
    {"scenario_without_the_mark", "first driver\n", true, 4, true, "", false},
    {"mark_not_on_the_first_line", "first clean\n# vorpkg self-test scenario\n", true, 4, true, "", false},
    {"empty_scenario_file", "", true, 4, true, "", false},
    {"mark_without_a_value", "# vorpkg self-test scenario\n", true, 4, true, "", false},
    {"no_self_test_holds_the_value", "# vorpkg self-test scenario 0ld0ld0ld0ld0ld0\n", true, 4, true, "", false},
    // In a package of the self-test's: the test utility's own checks.
    {"marked_line_refused", kMark, false, 2, false, "refused", false},
    {"marked_line_accepted", kMark, true, 0, false, "line", true},
};

class StandIn : public testing::TestWithParam<StandInRow> {};

TEST_P(StandIn, AnswersOnlyInATestPackage) {
    const StandInRow& row = GetParam();
    std::string live = std::string(kLiveMutexPrefix) + "5eed0fca11ab1e00";
    HANDLE held = CreateMutexA(nullptr, FALSE, live.c_str());
    ASSERT_NE(held, nullptr);
    TempDir dir;
    std::string exe = dir / "mervane.exe";
    ASSERT_TRUE(CopyFileA((BinDir() + "\\vorpkg-selftest.exe").c_str(), exe.c_str(), FALSE));
    WriteFileBytes(dir / "zorvad.inf", "[Version]\r\n");
    if (row.scenario != nullptr) WriteFileBytes(dir / "mervane.scenario", row.scenario);

    RunOptions opts;
    opts.program = exe;
    opts.startDir = dir.path();
    opts.args = {"/l", dir / "VOR.LOG", "/s", "/noreboot", "/i", dir / "zorvad.inf",
                 row.goodLine ? "/oisafe12" : "/oifast"};
    RunResult r = RunVorpkg(opts);

    EXPECT_EQ(r.exitCode, row.exitCode) << r.out;
    std::string line = exe + " /l " + (dir / "VOR.LOG") + " /s /noreboot /i " + (dir / "zorvad.inf") +
                       (row.goodLine ? " /oisafe12" : " /oifast");
    if (row.notice) {
        EXPECT_EQ(r.lines(), std::vector<std::string>{kNotice});
    } else {
        EXPECT_EQ(r.out.find("self-test stand-in"), std::string::npos) << r.out;
    }
    std::string traced = std::string(row.traced) == "line"      ? line + "\n"
                         : std::string(row.traced) == "refused" ? "REFUSED: " + line + "\n"
                                                                : "<missing>";
    EXPECT_EQ(ReadFileBytes(dir / "mervane.trace"), traced);
    EXPECT_EQ(FileExists(dir / "VOR.LOG"), row.log);
    CloseHandle(held);
}

INSTANTIATE_TEST_SUITE_P(Rows, StandIn, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<StandInRow>& i) { return i.param.name; });

}  // namespace
